#include "library/datahash.h"

#include <cerrno>
#include <fcntl.h>
#include <vector>

#include "library/imagefile.h"
#include "base/fdio_linux.h"

IoStatus HashImageFile(const std::string& path, DataHashes& hashes)
{
    UniqueFd fd;
    struct stat st {};
    if (IoStatus opened = OpenRegularFile(path, O_RDONLY, fd, st); !opened.ok())
        return opened;
    if (static_cast<std::uint64_t>(st.st_size) < kImageHeaderSize)
        return IoStatus::Fail(ENODATA);
    DataHasher hasher;
    std::vector<std::uint8_t> buffer(1 << 20);
    std::uint64_t pos = kImageHeaderSize;
    for (;;) {
        ssize_t got = pread(fd.get(), buffer.data(), buffer.size(), static_cast<off_t>(pos));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return IoStatus::Fail(errno);
        }
        if (got == 0)
            break;
        hasher.Update(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got)));
        pos += static_cast<std::uint64_t>(got);
    }
    hashes = hasher.Finish();
    return IoStatus::Ok();
}
