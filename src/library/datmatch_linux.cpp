#include "library/datmatch.h"

#include <fcntl.h>

#include <vector>

#include "base/fdio_linux.h"

std::string LoadDatFile(const std::string& path, DatFile& out)
{
    out.path = path;
    UniqueFd fd;
    struct stat st {};
    if (IoStatus opened = OpenRegularFile(path, O_RDONLY, fd, st); !opened.ok())
        return path + ": " + opened.message();
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > kMaxDatFileBytes)
        return path + ": " + std::to_string(size) + " bytes, more than a dat file may have (" +
               std::to_string(kMaxDatFileBytes) + ")";
    std::vector<std::uint8_t> text(static_cast<std::size_t>(size));
    if (IoStatus r = ReadExactlyAt(fd.get(), text, 0, ENODATA); !r.ok())
        return path + ": " + r.message();
    if (std::string error = ParseDat(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), out);
        !error.empty())
        return path + ": " + error;
    return {};
}
