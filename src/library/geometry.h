#pragma once
// Floppy geometries as the emulator formats need them: cylinders, heads,
// sectors per track, bytes per sector and the D88 media type. A medium or a
// raw file whose size is none of these is handled as raw data only.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The D88 header's media type byte.
enum class D88Media : std::uint8_t { k2D = 0x00, k2DD = 0x10, k2HD = 0x20 };

struct DiskGeometry {
    std::string_view name; // "2HD 1.44MB"
    std::uint32_t cylinders = 0;
    std::uint32_t heads = 0;
    std::uint32_t sectorsPerTrack = 0;
    std::uint32_t bytesPerSector = 0;
    D88Media media = D88Media::k2HD;
    std::uint8_t fdiType = 0; // the FDI header's drive type
    int dimType = -1;         // the DIM header's media type; -1: DIM cannot hold it
    std::string_view rawExtension; // what a raw export of it is called: "img", "hdm"

    std::uint64_t SectorCount() const { return std::uint64_t{cylinders} * heads * sectorsPerTrack; }
    std::uint64_t Bytes() const { return SectorCount() * bytesPerSector; }
    // N of a sector ID: 128 << N is the sector size.
    std::uint8_t SizeCode() const;
};

std::span<const DiskGeometry> KnownGeometries();

// The geometry of a medium of `bytes` bytes in sectors of bytesPerSector;
// null when none has exactly that size.
const DiskGeometry* GeometryForSize(std::uint64_t bytes, std::uint32_t bytesPerSector);

// The geometry of a raw sector file, by its size; an extension that names
// one geometry (hdm, xdf: the PC-98/X68000 2HD) must agree with the size.
// Null when the size is none of the known ones or disagrees.
const DiskGeometry* GeometryForRawFile(std::uint64_t fileSize, std::string_view extension);

// Lower-case extension of a file name without the dot ("" when none).
std::string ExtensionOf(std::string_view fileName);

// True for the extensions raw sector files go by.
bool IsRawExtension(std::string_view extension);
