#include "library/headerio_linux.h"
#include "library/scan.h"
#include "media/fdio_linux.h"

#include <algorithm>
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

Listing ListCandidates(DIR* dir)
{
    Listing listing;
    while (const dirent* entry = readdir(dir)) {
        if (!MayBeRegularFile(entry->d_type))
            continue;
        listing.starts.push_back(listing.names.size());
        listing.names.append(entry->d_name);
        listing.names.push_back('\0');
    }
    return listing;
}

} // namespace

std::vector<LibraryRow> ScanImageFolder(const std::string& folder)
{
    std::vector<LibraryRow> rows;
    std::string dirPath = ImagePath(folder, {});
    int dirFd = open(dirPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return rows;
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return rows;
    }
    Listing listing = ListCandidates(dir);
    rows.reserve(std::min<std::size_t>(listing.starts.size(), kRowReserveLimit));
    HeaderBytes header;
    for (std::size_t start : listing.starts) {
        const char* name = listing.names.c_str() + start;
        // Follows links: dangling links and link loops fail here and are skipped.
        struct stat listed;
        if (fstatat(dirFd, name, &listed, 0) != 0)
            continue;
        if (!S_ISREG(listed.st_mode) || listed.st_size < static_cast<off_t>(kImageHeaderSize))
            continue;
        if (!ReadListedHeader(dirFd, name, header))
            continue;
        if (auto row = RowFromHeader(header, name))
            rows.push_back(std::move(*row));
    }
    closedir(dir); // also closes dirFd
    return rows;
}
