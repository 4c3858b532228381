#include "library/headerio_linux.h"
#include "library/scan.h"
#include "base/fdio_linux.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reserving is virtual until rows are written; the cap keeps a folder of
// millions of non-images from asking for gigabytes.
constexpr std::size_t kRowReserveLimit = 1 << 16;

// Entry kinds that cannot be (or lead to) a regular file are dropped before
// any system call; links and unknown kinds are resolved with fstatat.
bool MayBeRegularFile(unsigned char type)
{
    return type == DT_REG || type == DT_LNK || type == DT_UNKNOWN;
}

// Reads the first 256 bytes of a file the listing showed as a regular file
// of at least that size. Should a FIFO or device be swapped in after the
// listing, O_NONBLOCK keeps it from stalling the scan and O_NOCTTY from
// becoming our terminal; its bytes then fail the magic like any other file.
bool ReadListedHeader(int dirFd, const char* name, HeaderBytes& header)
{
    const UniqueFd fd(openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    return fd && ReadHeaderFromFd(fd.get(), header).ok();
}

// The listing comes first, names packed into one buffer, so that the rows
// are reserved once instead of regrown while the files are read: every
// growth of a large row vector copies it into freshly faulted pages.
struct Listing {
    std::string names; // each followed by its NUL
    std::vector<std::size_t> starts;
};

// Directory entries are fetched in large batches: on a network share each
// batch is a round trip, and readdir's 32 KiB buffer holds only some
// hundred names.
constexpr std::size_t kListBatchBytes = 256 * 1024;

// The entries of one getdents64 batch; false when the batch is malformed.
bool AppendBatch(const char* batch, std::size_t size, Listing& listing)
{
    std::size_t pos = 0;
    while (pos < size) {
        if (size - pos < offsetof(dirent64, d_name) + 1)
            return false;
        dirent64 entry;
        std::memcpy(&entry, batch + pos, offsetof(dirent64, d_name));
        if (entry.d_reclen <= offsetof(dirent64, d_name) || entry.d_reclen > size - pos)
            return false;
        const char* name = batch + pos + offsetof(dirent64, d_name);
        const std::size_t nameMax = entry.d_reclen - offsetof(dirent64, d_name);
        const std::size_t nameLength = strnlen(name, nameMax);
        pos += entry.d_reclen;
        if (nameLength == nameMax || !MayBeRegularFile(entry.d_type))
            continue;
        listing.starts.push_back(listing.names.size());
        listing.names.append(name, nameLength);
        listing.names.push_back('\0');
    }
    return true;
}

Listing ListCandidates(int dirFd)
{
    Listing listing;
    std::unique_ptr<char[]> batch(new char[kListBatchBytes]);
    for (;;) {
        const ssize_t got = getdents64(dirFd, batch.get(), kListBatchBytes);
        if (got <= 0 || !AppendBatch(batch.get(), static_cast<std::size_t>(got), listing))
            break; // an error part way: the names listed so far still count
    }
    return listing;
}

// Type and size only: a network file system need not fetch the rest of
// the attributes, nor revalidate what it has cached.
bool ListedAsHeaderSizedFile(int dirFd, const char* name, std::uint64_t& size)
{
    struct statx listed;
    if (statx(dirFd, name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_SIZE, &listed) != 0)
        return false; // dangling links and link loops fail here and are skipped
    size = listed.stx_size;
    return S_ISREG(listed.stx_mode) && listed.stx_size >= kImageHeaderSize;
}

std::vector<LibraryRow> Scan(const std::string& folder, std::vector<ImageCondition>* conditions)
{
    std::vector<LibraryRow> rows;
    const std::string dirPath = ImagePath(folder, {});
    const UniqueFd dirFd(open(dirPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFd)
        return rows;
    Listing listing = ListCandidates(dirFd.get());
    rows.reserve(std::min<std::size_t>(listing.starts.size(), kRowReserveLimit));
    std::unordered_set<std::string_view> maps;
    if (conditions) {
        for (std::size_t start : listing.starts) {
            const std::string_view name(listing.names.c_str() + start);
            if (name.ends_with(".map"))
                maps.insert(name.substr(0, name.size() - 4));
        }
    }
    HeaderBytes header;
    std::uint64_t size = 0;
    for (std::size_t start : listing.starts) {
        const char* name = listing.names.c_str() + start;
        if (!ListedAsHeaderSizedFile(dirFd.get(), name, size))
            continue;
        if (!ReadListedHeader(dirFd.get(), name, header))
            continue;
        if (auto row = RowFromHeader(header, name)) {
            rows.push_back(std::move(*row));
            if (conditions)
                conditions->push_back(ConditionOf(header, size, maps.contains(name)));
        }
    }
    return rows;
}

} // namespace

std::vector<LibraryRow> ScanImageFolder(const std::string& folder) { return Scan(folder, nullptr); }

std::vector<LibraryRow> ScanImageFolder(const std::string& folder, std::vector<ImageCondition>& conditions)
{
    conditions.clear();
    return Scan(folder, &conditions);
}
