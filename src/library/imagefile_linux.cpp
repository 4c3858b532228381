#include "library/headerio_linux.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "base/fdio_linux.h"

IoStatus ReadHeaderFromFd(int fd, HeaderBytes& header)
{
    return ReadExactly(fd, header, ENODATA);
}

IoStatus ReadHeaderFile(const std::string& path, HeaderBytes& header)
{
    UniqueFd fd;
    struct stat st {};
    if (IoStatus opened = OpenRegularFile(path, O_RDONLY, fd, st); !opened.ok())
        return opened;
    return ReadHeaderFromFd(fd.get(), header);
}
