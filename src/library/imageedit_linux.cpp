#include "library/imageedit.h"

#include "library/headerio_linux.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

IoStatus LastError() { return IoStatus::Fail(errno); }

} // namespace

ImageHeaderFile::~ImageHeaderFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

IoStatus ImageHeaderFile::Open(const std::string& path)
{
    if (fd_ >= 0)
        return IoStatus::Fail(EBUSY);
    // Look before opening: opening a device or a pipe can have effects of
    // its own (a tape rewinds, a pipe blocks).
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return LastError();
    if (S_ISDIR(st.st_mode))
        return IoStatus::Fail(EISDIR);
    if (!S_ISREG(st.st_mode))
        return IoStatus::Fail(ENOTSUP);

    int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return LastError();
    // The path may have been replaced between the look and the open.
    int err = 0;
    if (::fstat(fd, &st) != 0)
        err = errno;
    else if (!S_ISREG(st.st_mode))
        err = ENOTSUP;
    if (err != 0) {
        ::close(fd);
        return IoStatus::Fail(err);
    }

    // A file shorter than the header has nothing to rewrite (ENODATA).
    const IoStatus read = ReadHeaderFromFd(fd, header_);
    if (!read.ok()) {
        ::close(fd);
        return read;
    }
    fd_ = fd;
    return IoStatus::Ok();
}

IoStatus ImageHeaderFile::WriteTexts(const ImageTexts& texts)
{
    if (fd_ < 0)
        return IoStatus::Fail(EBADF);
    HeaderBytes updated = header_;
    RewriteDescriptivePart(updated, texts);
    std::size_t put = 0;
    while (put < updated.size()) {
        ssize_t n = ::pwrite(fd_, updated.data() + put, updated.size() - put, static_cast<off_t>(put));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return LastError();
        if (n == 0)
            return IoStatus::Fail(EIO);
        put += static_cast<std::size_t>(n);
    }
    header_ = updated;
    return IoStatus::Ok();
}

IoStatus ImageHeaderFile::Close()
{
    if (fd_ < 0)
        return IoStatus::Ok();
    int fd = fd_;
    fd_ = -1;
    // A delayed write error shows up here; POSIX leaves the descriptor
    // closed either way, so it is never retried.
    if (::close(fd) != 0 && errno != EINTR)
        return LastError();
    return IoStatus::Ok();
}

IoStatus DeleteImageFile(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return LastError();
    if (S_ISDIR(st.st_mode))
        return IoStatus::Fail(EISDIR);
    if (S_ISLNK(st.st_mode)) {
        // Only a link to an image goes; the image it points to stays.
        struct stat target {};
        if (::stat(path.c_str(), &target) != 0 || !S_ISREG(target.st_mode))
            return IoStatus::Fail(ENOTSUP);
    } else if (!S_ISREG(st.st_mode)) {
        return IoStatus::Fail(ENOTSUP);
    }
    if (::unlink(path.c_str()) != 0)
        return LastError();
    return IoStatus::Ok();
}

std::vector<IoStatus> DeleteImageFiles(const std::vector<std::string>& paths)
{
    std::vector<IoStatus> results;
    results.reserve(paths.size());
    for (const std::string& path : paths)
        results.push_back(DeleteImageFile(path));
    return results;
}
