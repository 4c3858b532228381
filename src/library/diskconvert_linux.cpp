#include "library/diskconvert.h"

#include <fcntl.h>
#include <stdio.h> // renameat2
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "library/sectormap.h"
#include "library/newname.h"
#include "base/fdio_linux.h"

namespace {

// Copies count bytes from `in` at inPos to `out` at its current end.
IoStatus CopyRange(int in, std::uint64_t inPos, int out, std::uint64_t count)
{
    off_t from = static_cast<off_t>(inPos);
    while (count > 0) {
        const ssize_t n = copy_file_range(in, &from, out, nullptr, static_cast<std::size_t>(std::min<std::uint64_t>(count, 1u << 30)), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)
                break; // the kernel cannot do it here: copy by hand
            return IoStatus::Fail(errno);
        }
        if (n == 0)
            return IoStatus::Fail(ENODATA);
        count -= static_cast<std::uint64_t>(n);
    }
    std::vector<std::uint8_t> buffer(std::min<std::uint64_t>(count, 1u << 20));
    while (count > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer.size()));
        if (IoStatus r = ReadExactlyAt(in, std::span(buffer.data(), want), static_cast<std::uint64_t>(from), ENODATA); !r.ok())
            return r;
        if (IoStatus w = WriteAll(out, std::span<const std::uint8_t>(buffer.data(), want), EIO); !w.ok())
            return w;
        from += static_cast<off_t>(want);
        count -= want;
    }
    return IoStatus::Ok();
}

// A file written under a temporary name beside its final one, renamed into
// place when complete and removed when anything fails.
class PendingFile {
public:
    explicit PendingFile(std::string target) : target_(std::move(target)), temp_(target_ + ".partXXXXXX") {}
    ~PendingFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!done_ && created_)
            ::unlink(temp_.c_str());
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    IoStatus Open()
    {
        fd_ = mkostemp(temp_.data(), O_CLOEXEC);
        if (fd_ < 0)
            return IoStatus::Fail(errno);
        created_ = true;
        ::fchmod(fd_, 0666 & ~CurrentUmask());
        return IoStatus::Ok();
    }
    int fd() const { return fd_; }

    IoStatus Commit(bool overwrite)
    {
        if (::fsync(fd_) != 0)
            return IoStatus::Fail(errno);
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            return IoStatus::Fail(errno);
        const int r = overwrite ? ::rename(temp_.c_str(), target_.c_str())
                                : ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE);
        if (r != 0)
            return IoStatus::Fail(errno);
        done_ = true;
        return IoStatus::Ok();
    }

private:
    static mode_t CurrentUmask()
    {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }

    std::string target_;
    std::string temp_;
    int fd_ = -1;
    bool created_ = false;
    bool done_ = false;
};

} // namespace

ConvertResult ExportImage(const std::string& imagePath, DiskFormat format, const std::string& target,
                          std::span<const std::uint64_t> unreadable, bool overwrite)
{
    UniqueFd in;
    struct stat st {};
    if (IoStatus opened = OpenRegularFile(imagePath, O_RDONLY, in, st); !opened.ok())
        return ConvertResult::Io(opened);
    HeaderBytes headerBytes{};
    if (IoStatus r = ReadExactlyAt(in.get(), headerBytes, 0, ENODATA); !r.ok())
        return ConvertResult::Io(r);
    if (!IsImageHeader(headerBytes.data(), headerBytes.size()))
        return ConvertResult::Problem(MessageId::NotAnImage, imagePath);
    const ImageHeader header = ReadHeader(headerBytes);
    const std::uint32_t bps = header.bytesPerSector;
    const std::uint64_t bytes = std::uint64_t{header.sectorCount} * bps;
    const std::uint64_t stored = std::min<std::uint64_t>(bytes, static_cast<std::uint64_t>(st.st_size) - kImageHeaderSize);
    const DiskGeometry* g = GeometryForSize(bytes, bps);
    if (format != DiskFormat::Raw && g == nullptr)
        return ConvertResult::Problem(MessageId::UnknownGeometry, imagePath,
                                      std::to_string(header.sectorCount) + " x " + std::to_string(bps));
    if (format == DiskFormat::Dim && g->dimType < 0)
        return ConvertResult::Problem(MessageId::DimCannotHold, std::string(g->name));
    if (!overwrite && ::access(target.c_str(), F_OK) == 0)
        return ConvertResult::Io(IoStatus::Fail(EEXIST));

    PendingFile out(target);
    if (IoStatus r = out.Open(); !r.ok())
        return ConvertResult::Io(r);
    if (format == DiskFormat::D88) {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(bytes), 0);
        if (IoStatus r = ReadExactlyAt(in.get(), std::span(data.data(), static_cast<std::size_t>(stored)), kImageHeaderSize, ENODATA); !r.ok())
            return ConvertResult::Io(r);
        std::vector<std::uint64_t> bad(unreadable.begin(), unreadable.end());
        for (std::uint64_t s = stored / bps; s < header.sectorCount; ++s)
            bad.push_back(s); // not in the file: unknown, so not good
        const std::vector<std::uint8_t> d88 = EncodeD88(*g, data, bad, header.texts[kTitle]);
        if (IoStatus w = WriteAll(out.fd(), d88, EIO); !w.ok())
            return ConvertResult::Io(w);
    } else {
        std::vector<std::uint8_t> prefix;
        if (format == DiskFormat::Fdi)
            prefix = EncodeFdiHeader(*g);
        else if (format == DiskFormat::Dim)
            prefix = EncodeDimHeader(*g, header.texts[kTitle]);
        if (IoStatus w = WriteAll(out.fd(), prefix, EIO); !w.ok())
            return ConvertResult::Io(w);
        if (IoStatus c = CopyRange(in.get(), kImageHeaderSize, out.fd(), stored); !c.ok())
            return ConvertResult::Io(c);
        if (stored < bytes && ::ftruncate(out.fd(), static_cast<off_t>(prefix.size() + bytes)) != 0)
            return ConvertResult::Io(IoStatus::Fail(errno));
    }
    return ConvertResult::Io(out.Commit(overwrite));
}

ConvertResult ReadForeignFile(const std::string& path, ForeignFile& out)
{
    out = {};
    UniqueFd fd;
    struct stat st {};
    if (IoStatus opened = OpenRegularFile(path, O_RDONLY, fd, st); !opened.ok())
        return ConvertResult::Io(opened);
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const std::string ext = ExtensionOf(path);
    std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<std::uint64_t>(size, kD88HeaderSize)));
    if (IoStatus r = ReadExactlyAt(fd.get(), head, 0, ENODATA); !r.ok())
        return ConvertResult::Io(r);
    const std::optional<DiskFormat> format = DetectFormat(head, size, ext);
    if (!format)
        return ConvertResult::Problem(MessageId::UnknownFormat);
    out.format = *format;
    if (*format == DiskFormat::Raw) {
        ForeignDisk disk;
        disk.sourcePath = path;
        disk.rawBytes = size;
        const DiskGeometry* g = GeometryForRawFile(size, ext);
        disk.disk.geometry = g;
        disk.disk.bytesPerSector = g != nullptr ? g->bytesPerSector : 512;
        if (g != nullptr) {
            disk.disk.cylinders = g->cylinders;
            disk.disk.heads = g->heads;
            disk.disk.sectorsPerTrack = g->sectorsPerTrack;
        }
        if (size == 0 || size % disk.disk.bytesPerSector != 0 || size / disk.disk.bytesPerSector > UINT32_MAX)
            return ConvertResult::Problem(MessageId::RawNotWholeSectors, std::to_string(size));
        out.disks.push_back(std::move(disk));
        return {};
    }
    // The headed formats hold floppies: a file far larger than the biggest is refused unread.
    const std::uint64_t limit = *format == DiskFormat::D88 ? 16 * kMaxDecodedDisk : kMaxDecodedDisk + kFdiHeaderSize;
    if (size > limit)
        return ConvertResult::Problem(MessageId::TooLargeForFloppy, std::to_string(size));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (IoStatus r = ReadExactlyAt(fd.get(), bytes, 0, ENODATA); !r.ok())
        return ConvertResult::Io(r);
    DecodeResult decoded = *format == DiskFormat::D88   ? DecodeD88(bytes)
                           : *format == DiskFormat::Fdi ? DecodeFdi(bytes)
                                                        : DecodeDim(bytes);
    if (!decoded.ok())
        return ConvertResult::Problem(MessageId::DamagedFile, *format == DiskFormat::D88 ? "D88" : *format == DiskFormat::Fdi ? "FDI" : "DIM",
                                      decoded.error);
    for (DecodedDisk& d : decoded.disks) {
        ForeignDisk disk;
        disk.sourcePath = path;
        disk.suggestedTitle = d.name;
        disk.disk = std::move(d);
        out.disks.push_back(std::move(disk));
    }
    return {};
}

namespace {

// Writes the sectors and the map of one disk into a new image file of
// folder behind a blank header; the header to write is returned. Synced:
// the sectors are flushed, then the header is written and flushed.
ConvertResult WriteImage(const std::string& folder, const ForeignDisk& disk, const ImageTexts& texts, bool synced,
                         std::string& path, HeaderBytes& header)
{
    const std::uint32_t bps = disk.disk.bytesPerSector;
    const std::uint64_t bytes = disk.disk.data.empty() ? disk.rawBytes : disk.disk.data.size();
    int error = 0;
    path = NewImageFileName(folder, error);
    if (path.empty())
        return ConvertResult::Io(IoStatus::Fail(error));
    // The name is ours now (created empty). Any failure removes the file and its map.
    auto fail = [&](IoStatus status) {
        ::unlink(MapPathOf(path).c_str());
        ::unlink(path.c_str());
        path.clear();
        return ConvertResult::Io(status);
    };
    UniqueFd out(OpenRetrying(path, O_WRONLY | O_CLOEXEC));
    if (!out)
        return fail(IoStatus::Fail(errno));
    header = BuildHeader(texts, 1, bps, static_cast<std::uint32_t>(bytes / bps));
    const HeaderBytes blank{};
    if (IoStatus w = WriteAll(out.get(), blank, EIO); !w.ok())
        return fail(w);
    if (disk.disk.data.empty()) {
        UniqueFd in;
        struct stat st {};
        if (IoStatus opened = OpenRegularFile(disk.sourcePath, O_RDONLY, in, st); !opened.ok())
            return fail(opened);
        if (IoStatus c = CopyRange(in.get(), disk.rawOffset, out.get(), bytes); !c.ok())
            return fail(c);
    } else if (IoStatus w = WriteAll(out.get(), disk.disk.data, EIO); !w.ok()) {
        return fail(w);
    }
    // The map before the header, so that nobody lists the image without it.
    if (!disk.disk.unreadable.empty()) {
        const std::string map = FormatMapfile(SectorMap::FromSectors(disk.disk.unreadable), bps, bytes / bps);
        UniqueFd m(OpenRetrying(MapPathOf(path), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (!m)
            return fail(IoStatus::Fail(errno));
        IoStatus w = WriteAll(m.get(), std::span(reinterpret_cast<const std::uint8_t*>(map.data()), map.size()), EIO);
        if (w.ok() && synced && ::fsync(m.get()) != 0)
            w = IoStatus::Fail(errno);
        if (w.ok() && ::close(m.release()) != 0)
            w = IoStatus::Fail(errno);
        if (!w.ok())
            return fail(w);
    }
    if (synced) {
        // The header only goes onto sectors that are on the disk: a crash in
        // between leaves a file without the magic, never listed.
        if (::fdatasync(out.get()) != 0)
            return fail(IoStatus::Fail(errno));
        if (IoStatus w = WriteAllAt(out.get(), header, 0, EIO); !w.ok())
            return fail(w);
        if (::fsync(out.get()) != 0)
            return fail(IoStatus::Fail(errno));
    }
    if (::close(out.release()) != 0)
        return fail(IoStatus::Fail(errno));
    return {};
}

IoStatus SyncFolder(const std::string& folder)
{
    UniqueFd dir(OpenRetrying(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return IoStatus::Fail(errno);
    return ::syncfs(dir.get()) == 0 ? IoStatus::Ok() : IoStatus::Fail(errno);
}

} // namespace

ConvertResult WriteImportedImage(const std::string& folder, const ForeignDisk& disk, const ImageTexts& texts,
                                 std::string& imagePath)
{
    HeaderBytes header{};
    ConvertResult r = WriteImage(folder, disk, texts, true, imagePath, header);
    if (!r.ok())
        imagePath.clear();
    return r;
}

ImportBatch::~ImportBatch()
{
    for (const Pending& p : pending_) {
        ::unlink(MapPathOf(p.path).c_str());
        ::unlink(p.path.c_str());
    }
}

ConvertResult ImportBatch::Add(const ForeignDisk& disk, const ImageTexts& texts, std::string& imagePath)
{
    Pending p{};
    ConvertResult r = WriteImage(folder_, disk, texts, false, p.path, p.header);
    imagePath = p.path;
    if (r.ok())
        pending_.push_back(std::move(p));
    return r;
}

IoStatus ImportBatch::Finish()
{
    if (pending_.empty())
        return IoStatus::Ok();
    if (IoStatus s = SyncFolder(folder_); !s.ok())
        return s;
    for (const Pending& p : pending_) {
        UniqueFd fd(OpenRetrying(p.path, O_WRONLY | O_CLOEXEC));
        if (!fd)
            return IoStatus::Fail(errno);
        if (IoStatus w = WriteAllAt(fd.get(), p.header, 0, EIO); !w.ok())
            return w;
    }
    if (IoStatus s = SyncFolder(folder_); !s.ok())
        return s;
    pending_.clear();
    return IoStatus::Ok();
}
