#include "library/imagehold.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/fdio_linux.h"

ImageHold::ImageHold(ImageHold&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

ImageHold& ImageHold::operator=(ImageHold&& other) noexcept
{
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

IoStatus ImageHold::Take(const std::string& path, HoldKind kind)
{
    Release();
    UniqueFd fd;
    struct stat st {};
    if (IoStatus opened = OpenRegularFile(path, O_RDONLY, fd, st); !opened.ok())
        return opened;
    const int operation = (kind == HoldKind::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    while (::flock(fd.get(), operation) != 0) {
        if (errno != EINTR)
            return IoStatus::Fail(errno == EAGAIN ? EWOULDBLOCK : errno);
    }
    // Deleted between the open and the lock: nothing left to hold.
    if (::fstat(fd.get(), &st) != 0)
        return IoStatus::Fail(errno);
    if (st.st_nlink == 0)
        return IoStatus::Fail(ENOENT);
    fd_ = fd.release();
    return IoStatus::Ok();
}

IoStatus ImageHold::StillLinked(bool& linked) const
{
    linked = false;
    if (fd_ < 0)
        return IoStatus::Fail(EBADF);
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return IoStatus::Fail(errno);
    linked = st.st_nlink > 0;
    return IoStatus::Ok();
}

void ImageHold::Release()
{
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
}
