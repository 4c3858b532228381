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

IoStatus WriteHeaderFile(const std::string& path, const HeaderBytes& header)
{
    int fd = OpenRetrying(path, O_WRONLY | O_NOCTTY);
    if (fd < 0)
        return IoStatus::Fail(errno);
    IoStatus status = WriteAllAt(fd, header, 0, EIO);
    // A failed close can be the first report of a failed write (NFS, full disk).
    if (close(fd) != 0 && status.ok())
        status = IoStatus::Fail(errno);
    return status;
}
