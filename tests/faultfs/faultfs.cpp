// A file system of the tests' own, for real read errors on a real block
// device: one file, "medium", over a backing file, whose chosen sectors fail
// to read with EIO and whose writes to chosen sectors are reported done but
// never stored; and "faults", whose text sets both lists:
//
//   bad 5 20 21
//   drop 7
//
// (sector numbers of 512 bytes; writing the file replaces the lists, an
// empty text lifts every fault). Both files are opened with direct I/O, so
// every request reaches this program and nothing is answered from the
// kernel's cache of the file. A loop device over "medium" is then a block
// device whose sectors fail and drop as chosen.
//
//   faultfs BACKING MOUNTPOINT    (runs in the foreground, single-threaded)
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

namespace {

constexpr std::uint64_t kSector = 512;

int backing = -1;
std::set<std::uint64_t> bad;
std::set<std::uint64_t> dropped;
std::string faultText;

bool Touches(const std::set<std::uint64_t>& sectors, off_t offset, std::size_t size)
{
    if (size == 0)
        return false;
    const auto first = static_cast<std::uint64_t>(offset) / kSector;
    const auto last = (static_cast<std::uint64_t>(offset) + size - 1) / kSector;
    const auto it = sectors.lower_bound(first);
    return it != sectors.end() && *it <= last;
}

void ParseFaults(const std::string& text)
{
    bad.clear();
    dropped.clear();
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        std::set<std::uint64_t>* into = kind == "bad" ? &bad : kind == "drop" ? &dropped : nullptr;
        std::uint64_t sector = 0;
        while (into != nullptr && words >> sector)
            into->insert(sector);
    }
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*)
{
    std::memset(st, 0, sizeof *st);
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    if (std::strcmp(path, "/medium") == 0) {
        struct stat b {};
        if (::fstat(backing, &b) != 0)
            return -errno;
        st->st_mode = S_IFREG | 0644;
        st->st_nlink = 1;
        st->st_size = b.st_size;
        return 0;
    }
    if (std::strcmp(path, "/faults") == 0) {
        st->st_mode = S_IFREG | 0644;
        st->st_nlink = 1;
        st->st_size = static_cast<off_t>(faultText.size());
        return 0;
    }
    return -ENOENT;
}

int ReadDir(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags)
{
    if (std::strcmp(path, "/") != 0)
        return -ENOENT;
    for (const char* name : {".", "..", "medium", "faults"})
        fill(buf, name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return 0;
}

int Open(const char* path, fuse_file_info* fi)
{
    if (std::strcmp(path, "/medium") != 0 && std::strcmp(path, "/faults") != 0)
        return -ENOENT;
    fi->direct_io = 1;
    fi->keep_cache = 0;
    return 0;
}

int Truncate(const char* path, off_t size, fuse_file_info*)
{
    if (std::strcmp(path, "/faults") == 0) {
        faultText.resize(static_cast<std::size_t>(size));
        ParseFaults(faultText);
        return 0;
    }
    return -EPERM; // the medium keeps its size
}

int Read(const char* path, char* buf, std::size_t size, off_t offset, fuse_file_info*)
{
    if (std::strcmp(path, "/faults") == 0) {
        if (static_cast<std::size_t>(offset) >= faultText.size())
            return 0;
        const std::size_t n = std::min(size, faultText.size() - static_cast<std::size_t>(offset));
        std::memcpy(buf, faultText.data() + offset, n);
        return static_cast<int>(n);
    }
    if (Touches(bad, offset, size))
        return -EIO;
    const ssize_t n = ::pread(backing, buf, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

int Write(const char* path, const char* buf, std::size_t size, off_t offset, fuse_file_info*)
{
    if (std::strcmp(path, "/faults") == 0) {
        if (faultText.size() < static_cast<std::size_t>(offset) + size)
            faultText.resize(static_cast<std::size_t>(offset) + size);
        std::memcpy(faultText.data() + offset, buf, size);
        ParseFaults(faultText);
        return static_cast<int>(size);
    }
    // Sector by sector, so that a dropped one leaves its neighbours written.
    std::size_t done = 0;
    while (done < size) {
        const auto pos = static_cast<std::uint64_t>(offset) + done;
        const std::size_t n = std::min<std::size_t>(size - done, kSector - pos % kSector);
        if (!dropped.count(pos / kSector)) {
            const ssize_t w = ::pwrite(backing, buf + done, n, static_cast<off_t>(pos));
            if (w < 0)
                return -errno;
            if (static_cast<std::size_t>(w) != n)
                return -EIO;
        }
        done += n;
    }
    return static_cast<int>(size);
}

int Fsync(const char*, int, fuse_file_info*)
{
    return ::fsync(backing) == 0 ? 0 : -errno;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s BACKING MOUNTPOINT\n", argv[0]);
        return 2;
    }
    backing = ::open(argv[1], O_RDWR | O_CLOEXEC);
    if (backing < 0) {
        std::perror(argv[1]);
        return 1;
    }
    fuse_operations ops{};
    ops.getattr = GetAttr;
    ops.readdir = ReadDir;
    ops.open = Open;
    ops.truncate = Truncate;
    ops.read = Read;
    ops.write = Write;
    ops.fsync = Fsync;
    char* args[] = {argv[0], argv[2], const_cast<char*>("-f"), const_cast<char*>("-s"),
                    const_cast<char*>("-o"), const_cast<char*>("attr_timeout=0,entry_timeout=0")};
    return fuse_main(6, args, &ops, nullptr);
}
