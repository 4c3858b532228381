#include "library/headerio_linux.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

IoStatus ReadHeaderFromFd(int fd, HeaderBytes& header)
{
    std::size_t done = 0;
    while (done < header.size()) {
        ssize_t n = read(fd, header.data() + done, header.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return IoStatus::Fail(errno);
        }
        if (n == 0)
            return IoStatus::Fail(ENODATA);
        done += static_cast<std::size_t>(n);
    }
    return IoStatus::Ok();
}

IoStatus ReadHeaderFile(const std::string& path, HeaderBytes& header)
{
    // O_NONBLOCK: a FIFO named like an image must not wait for a writer.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return IoStatus::Fail(errno);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : ENOTSUP;
        close(fd);
        return IoStatus::Fail(err);
    }
    IoStatus status = ReadHeaderFromFd(fd, header);
    close(fd);
    return status;
}

IoStatus WriteHeaderFile(const std::string& path, const HeaderBytes& header)
{
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return IoStatus::Fail(errno);
    IoStatus status;
    std::size_t done = 0;
    while (status.ok() && done < header.size()) {
        ssize_t n = pwrite(fd, header.data() + done, header.size() - done, static_cast<off_t>(done));
        if (n < 0) {
            if (errno != EINTR)
                status = IoStatus::Fail(errno);
        } else if (n == 0) {
            status = IoStatus::Fail(EIO); // no progress: never spin
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    // A failed close can be the first report of a failed write (NFS, full disk).
    if (close(fd) != 0 && status.ok())
        status = IoStatus::Fail(errno);
    return status;
}
