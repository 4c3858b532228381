#pragma once
// Descriptor helpers shared by the Linux file, device and settings code.
// Every call retries EINTR and keeps errno in the IoStatus it returns.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "base/iostatus.h"

// Owns one descriptor and closes it on destruction. Code that must hear
// what close reports (a late write error) closes release() itself.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// open() with O_CLOEXEC added, retried when a signal interrupts it.
int OpenRetrying(const std::string& path, int flags, mode_t mode = 0);

// Opens path (access O_RDONLY or O_RDWR) when it is a regular file, and
// fills st from the opened descriptor. A FIFO or device in its place must
// not act on being opened: O_NONBLOCK keeps a FIFO from waiting for a
// writer, O_NOCTTY a terminal from becoming ours; the check after the open
// then turns it away. A folder gives EISDIR, anything else ENOTSUP.
IoStatus OpenRegularFile(const std::string& path, int access, UniqueFd& fd, struct stat& st);

// All of bytes or a failure. End of file before the last byte gives atEnd.
IoStatus ReadExactly(int fd, std::span<std::uint8_t> bytes, int atEnd);
IoStatus ReadExactlyAt(int fd, std::span<std::uint8_t> bytes, std::uint64_t pos, int atEnd);

// All of bytes or a failure. A write that moves nothing gives stalled
// instead of being retried for ever.
IoStatus WriteAll(int fd, std::span<const std::uint8_t> bytes, int stalled);
IoStatus WriteAllAt(int fd, std::span<const std::uint8_t> bytes, std::uint64_t pos, int stalled);
