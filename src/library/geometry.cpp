#include "library/geometry.h"

#include <array>

namespace {

// FDI drive types: 0x90 the 1 MB drives (2HD, 2HC), 0x30 the 1.44 MB mode,
// 0x10 the 2DD/2D drives. DIM media types: 0 2HD, 2 2HC, 9 2HQ.
constexpr std::array<DiskGeometry, 7> kGeometries{{
    {"2HD 1.44MB", 80, 2, 18, 512, D88Media::k2HD, 0x30, 9, "img"},
    {"2HC 1.2MB", 80, 2, 15, 512, D88Media::k2HD, 0x90, 2, "img"},
    {"2HD 1.25MB", 77, 2, 8, 1024, D88Media::k2HD, 0x90, 0, "hdm"},
    {"2DD 720KB", 80, 2, 9, 512, D88Media::k2DD, 0x10, -1, "img"},
    {"2DD 640KB", 80, 2, 8, 512, D88Media::k2DD, 0x10, -1, "img"},
    {"2D 320KB", 40, 2, 16, 256, D88Media::k2D, 0x10, -1, "img"},
    {"2ED 2.88MB", 80, 2, 36, 512, D88Media::k2HD, 0x30, -1, "img"},
}};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

std::uint8_t DiskGeometry::SizeCode() const
{
    std::uint8_t n = 0;
    while ((128u << n) < bytesPerSector && n < 7)
        ++n;
    return n;
}

std::span<const DiskGeometry> KnownGeometries() { return kGeometries; }

const DiskGeometry* GeometryForSize(std::uint64_t bytes, std::uint32_t bytesPerSector)
{
    for (const DiskGeometry& g : kGeometries)
        if (g.Bytes() == bytes && g.bytesPerSector == bytesPerSector)
            return &g;
    return nullptr;
}

const DiskGeometry* GeometryForRawFile(std::uint64_t fileSize, std::string_view extension)
{
    const DiskGeometry* found = nullptr;
    for (const DiskGeometry& g : kGeometries)
        if (g.Bytes() == fileSize)
            found = &g;
    if (found != nullptr && (extension == "hdm" || extension == "xdf") && found->bytesPerSector != 1024)
        return nullptr;
    return found;
}

std::string ExtensionOf(std::string_view fileName)
{
    const auto slash = fileName.find_last_of('/');
    const auto dot = fileName.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    std::string ext(fileName.substr(dot + 1));
    for (char& c : ext)
        c = Lower(c);
    return ext;
}

bool IsRawExtension(std::string_view extension)
{
    for (std::string_view e : {"img", "ima", "hdm", "xdf", "hd4", "hd5", "dd6", "dd9", "dsk", "2hd", "tfd", "dup", "vfd", "flp"})
        if (extension == e)
            return true;
    return false;
}
