#include "library/imageedit.h"
#include "library/imagehold.h"
#include "library/sectormap.h"

#include "library/headerio_linux.h"
#include "base/fdio_linux.h"

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

    UniqueFd fd;
    // The path may have been replaced between the look and the open.
    if (IoStatus opened = OpenRegularFile(path, O_RDWR, fd, st); !opened.ok())
        return opened;

    // A file shorter than the header has nothing to rewrite (ENODATA).
    if (IoStatus read = ReadHeaderFromFd(fd.get(), header_); !read.ok())
        return read;
    fd_ = fd.release();
    return IoStatus::Ok();
}

IoStatus ImageHeaderFile::Recheck(bool& changed)
{
    changed = false;
    if (fd_ < 0)
        return IoStatus::Fail(EBADF);
    HeaderBytes now{};
    if (IoStatus read = ReadExactlyAt(fd_, now, 0, ENODATA); !read.ok())
        return read;
    changed = now != header_;
    header_ = now;
    return IoStatus::Ok();
}

IoStatus ImageHeaderFile::WriteTexts(const ImageTexts& texts)
{
    if (fd_ < 0)
        return IoStatus::Fail(EBADF);
    HeaderBytes updated = header_;
    RewriteDescriptivePart(updated, texts);
    if (IoStatus written = WriteAllAt(fd_, updated, 0, EIO); !written.ok())
        return written;
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
    // An image that another instance is creating, restoring or editing
    // stays. The hold is kept until the file is gone, so that nobody takes
    // it in between; a file this user cannot even read is deleted unheld.
    ImageHold hold;
    if (S_ISREG(st.st_mode))
        if (IoStatus taken = hold.Take(path, HoldKind::Exclusive); HeldElsewhere(taken))
            return taken;
    if (::unlink(path.c_str()) != 0)
        return LastError();
    return IoStatus::Ok();
}

std::vector<IoStatus> DeleteImageFiles(const std::vector<std::string>& paths)
{
    std::vector<IoStatus> results;
    results.reserve(paths.size());
    for (const std::string& path : paths) {
        results.push_back(DeleteImageFile(path));
        // The map of unreadable sectors goes with its image.
        if (results.back().ok())
            if (IoStatus st = DeleteImageFile(MapPathOf(path)); !st.ok() && st.error != ENOENT)
                results.back() = st;
    }
    return results;
}
