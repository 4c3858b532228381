#include "media/imagestream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kChunk = 64 * 1024;

class FileWriter : public ImageFileWriter {
public:
    explicit FileWriter(int fd) : fd_(fd) { buffer_.reserve(kChunk); }
    ~FileWriter() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    IoStatus Append(std::span<const std::uint8_t> bytes) override
    {
        if (fd_ < 0)
            return IoStatus::Fail(EBADF);
        if (buffer_.size() + bytes.size() > kChunk) {
            if (IoStatus st = Drain(); !st.ok())
                return st;
            if (bytes.size() >= kChunk)
                return WriteAll(bytes);
        }
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
        return IoStatus::Ok();
    }

    IoStatus Finish() override
    {
        if (fd_ < 0)
            return IoStatus::Fail(EBADF);
        IoStatus st = Drain();
        if (st.ok() && ::fsync(fd_) != 0)
            st = IoStatus::Fail(errno);
        // close() reports late write errors on some file systems (NFS).
        const int closed = ::close(fd_);
        fd_ = -1;
        if (st.ok() && closed != 0)
            st = IoStatus::Fail(errno);
        return st;
    }

private:
    IoStatus Drain()
    {
        IoStatus st = WriteAll(buffer_);
        buffer_.clear();
        return st;
    }

    IoStatus WriteAll(std::span<const std::uint8_t> bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return IoStatus::Fail(errno);
            }
            if (n == 0)
                return IoStatus::Fail(ENOSPC);
            done += static_cast<std::size_t>(n);
        }
        return IoStatus::Ok();
    }

    int fd_;
    std::vector<std::uint8_t> buffer_;
};

class FileReader : public ImageFileReader {
public:
    FileReader(int fd, std::uint64_t size) : fd_(fd), size_(size), buffer_(kChunk) {}
    ~FileReader() override { ::close(fd_); }

    std::uint64_t Size() const override { return size_; }

    IoStatus Read(std::span<std::uint8_t> bytes) override
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            if (pos_ == end_) {
                if (IoStatus st = Refill(); !st.ok())
                    return st;
            }
            const std::size_t take = std::min(bytes.size() - done, end_ - pos_);
            std::memcpy(bytes.data() + done, buffer_.data() + pos_, take);
            pos_ += take;
            done += take;
        }
        return IoStatus::Ok();
    }

private:
    IoStatus Refill()
    {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return IoStatus::Fail(errno);
            }
            if (n == 0)
                return IoStatus::Fail(ENODATA);
            pos_ = 0;
            end_ = static_cast<std::size_t>(n);
            return IoStatus::Ok();
        }
    }

    int fd_;
    std::uint64_t size_;
    std::vector<std::uint8_t> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
};

int OpenRetrying(const char* path, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = ::open(path, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

std::unique_ptr<ImageFileWriter> CreateImageFile(const std::string& path, IoStatus& status)
{
    const int fd = OpenRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
        status = IoStatus::Fail(errno);
        return nullptr;
    }
    status = IoStatus::Ok();
    return std::make_unique<FileWriter>(fd);
}

std::unique_ptr<ImageFileReader> OpenImageFile(const std::string& path, IoStatus& status)
{
    // A FIFO or device that took the image's name must not stall the window:
    // O_NONBLOCK makes their open return at once (regular files ignore it),
    // and the check below turns them away.
    const int fd = OpenRetrying(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        status = IoStatus::Fail(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        status = IoStatus::Fail(errno);
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        status = IoStatus::Fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        ::close(fd);
        return nullptr;
    }
    status = IoStatus::Ok();
    return std::make_unique<FileReader>(fd, static_cast<std::uint64_t>(st.st_size));
}
