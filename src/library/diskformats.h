#pragma once
// The disk image formats emulators read: raw sector files, FDI (a 4,096-byte
// header, then the sectors), DIM (a 256-byte header, then the sectors of the
// tracks it marks present) and D88/D77 (a 0x2B0-byte header with name, media
// type, size and 164 track offsets, then per sector a 16-byte header and its
// data; several disks may follow one another in one file).
// Encoders and decoders work on bytes; files are handled in diskconvert.h.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "library/geometry.h"

enum class DiskFormat { Raw, Fdi, Dim, D88 };

inline constexpr std::size_t kD88HeaderSize = 0x2B0;
inline constexpr std::size_t kD88TrackSlots = 164;
inline constexpr std::size_t kD88NameBytes = 16; // then a NUL
inline constexpr std::size_t kFdiHeaderSize = 4096;
inline constexpr std::size_t kDimHeaderSize = 256;
inline constexpr std::uint8_t kD88DataCrcError = 0xB0;

// What one disk of a foreign file holds, laid out as an image does:
// cylinder by cylinder, head by head, sectors in ascending ID order.
struct DecodedDisk {
    std::string name;                     // code page 932 (D88 name, DIM comment); may be empty
    std::uint32_t bytesPerSector = 0;
    std::uint32_t cylinders = 0, heads = 0, sectorsPerTrack = 0;
    std::vector<std::uint8_t> data;       // cylinders * heads * sectorsPerTrack sectors
    std::vector<std::uint64_t> unreadable; // ascending sector indexes the file marks bad or lacks
    bool writeProtected = false;
    const DiskGeometry* geometry = nullptr; // null: not one of the known geometries

    std::uint64_t SectorCount() const { return bytesPerSector == 0 ? 0 : data.size() / bytesPerSector; }
};

struct DecodeResult {
    std::vector<DecodedDisk> disks; // empty when error is set
    std::string error;              // what is wrong and where; empty on success

    bool ok() const { return error.empty(); }
};

// Decoded disks above this size are refused, whatever the file claims.
inline constexpr std::uint64_t kMaxDecodedDisk = 64ull << 20;

// The format a file's content shows (D88, FDI and DIM have recognisable
// headers); Raw when it shows none of them and the extension is a raw one,
// nothing otherwise.
std::optional<DiskFormat> DetectFormat(std::span<const std::uint8_t> head, std::uint64_t fileSize,
                                       std::string_view extension);

DecodeResult DecodeD88(std::span<const std::uint8_t> file);
DecodeResult DecodeFdi(std::span<const std::uint8_t> file);
DecodeResult DecodeDim(std::span<const std::uint8_t> file);

// One D88 disk of geometry g from its sector data; the sectors listed in
// unreadable (ascending or not) get the data-CRC-error status. The name is
// code page 932 and is cut to 16 bytes at a character boundary.
std::vector<std::uint8_t> EncodeD88(const DiskGeometry& g, std::span<const std::uint8_t> data,
                                    std::span<const std::uint64_t> unreadable, std::string_view name);
std::vector<std::uint8_t> EncodeFdiHeader(const DiskGeometry& g);
// Empty when DIM has no media type for g. The comment is code page 932,
// cut to 60 bytes at a character boundary.
std::vector<std::uint8_t> EncodeDimHeader(const DiskGeometry& g, std::string_view comment);

// The extension a format's files get ("d88", "fdi", "dim"; raw: the
// geometry's own, "img" without one).
std::string_view FormatExtension(DiskFormat format, const DiskGeometry* g);
// The format an extension names for export: img/ima/hdm/xdf… raw, fdi, dim, d88/d77.
std::optional<DiskFormat> FormatForExtension(std::string_view extension);
