#include "media/imagestream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/fdio_linux.h"

namespace {

constexpr std::size_t kChunk = 64 * 1024;

class FileWriter : public ImageFileWriter {
public:
    explicit FileWriter(UniqueFd fd) : fd_(std::move(fd)) { buffer_.reserve(kChunk); }

    IoStatus Append(std::span<const std::uint8_t> bytes) override
    {
        if (!fd_)
            return IoStatus::Fail(EBADF);
        if (buffer_.size() + bytes.size() > kChunk) {
            if (IoStatus st = Drain(); !st.ok())
                return st;
            if (bytes.size() >= kChunk)
                return WriteAll(fd_.get(), bytes, ENOSPC);
        }
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
        return IoStatus::Ok();
    }

    IoStatus Finish() override
    {
        if (!fd_)
            return IoStatus::Fail(EBADF);
        IoStatus st = Drain();
        if (st.ok() && ::fsync(fd_.get()) != 0)
            st = IoStatus::Fail(errno);
        // close() reports late write errors on some file systems (NFS).
        const int closed = ::close(fd_.release());
        if (st.ok() && closed != 0)
            st = IoStatus::Fail(errno);
        return st;
    }

private:
    IoStatus Drain()
    {
        IoStatus st = WriteAll(fd_.get(), buffer_, ENOSPC);
        buffer_.clear();
        return st;
    }

    UniqueFd fd_;
    std::vector<std::uint8_t> buffer_;
};

class FileReader : public ImageFileReader {
public:
    FileReader(UniqueFd fd, std::uint64_t size) : fd_(std::move(fd)), size_(size), buffer_(kChunk) {}

    std::uint64_t Size() const override { return size_; }

    IoStatus Read(std::span<std::uint8_t> bytes) override
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            // What is left of a big request skips the buffer's copy.
            if (pos_ == end_ && bytes.size() - done >= kChunk) {
                if (IoStatus st = ReadSome(bytes.subspan(done), done); !st.ok())
                    return st;
                continue;
            }
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
        std::size_t n = 0;
        if (IoStatus st = ReadSome(buffer_, n); !st.ok())
            return st;
        pos_ = 0;
        end_ = n;
        return IoStatus::Ok();
    }

    // One read of up to into.size() bytes; got grows by what came.
    IoStatus ReadSome(std::span<std::uint8_t> into, std::size_t& got)
    {
        for (;;) {
            const ssize_t n = ::read(fd_.get(), into.data(), into.size());
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return IoStatus::Fail(errno);
            }
            if (n == 0)
                return IoStatus::Fail(ENODATA);
            got += static_cast<std::size_t>(n);
            return IoStatus::Ok();
        }
    }

    UniqueFd fd_;
    std::uint64_t size_;
    std::vector<std::uint8_t> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
};

class FilePatcher : public ImageFilePatcher {
public:
    explicit FilePatcher(UniqueFd fd) : fd_(std::move(fd)) {}

    IoStatus WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override
    {
        if (!fd_)
            return IoStatus::Fail(EBADF);
        return WriteAllAt(fd_.get(), bytes, offset, ENOSPC);
    }

    IoStatus Finish() override
    {
        if (!fd_)
            return IoStatus::Fail(EBADF);
        IoStatus st = ::fsync(fd_.get()) == 0 ? IoStatus::Ok() : IoStatus::Fail(errno);
        const int closed = ::close(fd_.release());
        if (st.ok() && closed != 0)
            st = IoStatus::Fail(errno);
        return st;
    }

private:
    UniqueFd fd_;
};

} // namespace

std::unique_ptr<ImageFilePatcher> OpenImageForPatching(const std::string& path, IoStatus& status)
{
    UniqueFd fd;
    struct stat st {};
    if (status = OpenRegularFile(path, O_RDWR, fd, st); !status.ok())
        return nullptr;
    return std::make_unique<FilePatcher>(std::move(fd));
}

std::unique_ptr<ImageFileWriter> CreateImageFile(const std::string& path, IoStatus& status)
{
    UniqueFd fd(OpenRetrying(path, O_WRONLY | O_CREAT | O_TRUNC, 0666));
    if (!fd) {
        status = IoStatus::Fail(errno);
        return nullptr;
    }
    status = IoStatus::Ok();
    return std::make_unique<FileWriter>(std::move(fd));
}

std::unique_ptr<ImageFileReader> OpenImageFile(const std::string& path, IoStatus& status)
{
    UniqueFd fd;
    struct stat st {};
    if (status = OpenRegularFile(path, O_RDONLY, fd, st); !status.ok())
        return nullptr;
    return std::make_unique<FileReader>(std::move(fd), static_cast<std::uint64_t>(st.st_size));
}
