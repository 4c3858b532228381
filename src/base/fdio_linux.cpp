#include "base/fdio_linux.h"

#include <cerrno>
#include <fcntl.h>

namespace {

// Runs step(done) until size bytes are moved; step returns what read or
// write returned for the rest from offset done.
template <typename Step>
IoStatus MoveAll(std::size_t size, int noProgress, Step step)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = step(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return IoStatus::Fail(errno);
        if (n == 0)
            return IoStatus::Fail(noProgress);
        done += static_cast<std::size_t>(n);
    }
    return IoStatus::Ok();
}

} // namespace

int OpenRetrying(const std::string& path, int flags, mode_t mode)
{
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

IoStatus OpenRegularFile(const std::string& path, int access, UniqueFd& fd, struct stat& st)
{
    UniqueFd opened(OpenRetrying(path, access | O_NONBLOCK | O_NOCTTY));
    if (!opened)
        return IoStatus::Fail(errno);
    if (::fstat(opened.get(), &st) != 0)
        return IoStatus::Fail(errno);
    if (S_ISDIR(st.st_mode))
        return IoStatus::Fail(EISDIR);
    if (!S_ISREG(st.st_mode))
        return IoStatus::Fail(ENOTSUP);
    fd = std::move(opened);
    return IoStatus::Ok();
}

IoStatus ReadExactly(int fd, std::span<std::uint8_t> bytes, int atEnd)
{
    return MoveAll(bytes.size(), atEnd,
                   [&](std::size_t done) { return ::read(fd, bytes.data() + done, bytes.size() - done); });
}

IoStatus ReadExactlyAt(int fd, std::span<std::uint8_t> bytes, std::uint64_t pos, int atEnd)
{
    return MoveAll(bytes.size(), atEnd, [&](std::size_t done) {
        return ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(pos + done));
    });
}

IoStatus WriteAll(int fd, std::span<const std::uint8_t> bytes, int stalled)
{
    return MoveAll(bytes.size(), stalled,
                   [&](std::size_t done) { return ::write(fd, bytes.data() + done, bytes.size() - done); });
}

IoStatus WriteAllAt(int fd, std::span<const std::uint8_t> bytes, std::uint64_t pos, int stalled)
{
    return MoveAll(bytes.size(), stalled, [&](std::size_t done) {
        return ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(pos + done));
    });
}
