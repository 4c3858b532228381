#pragma once
// The image file: a 256-byte header (magic, six descriptive texts, reserved
// area, three allocation numbers), then the sector data.
// Header texts are code page 932 byte strings everywhere in the core.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/iostatus.h"

inline constexpr std::size_t kImageHeaderSize = 256;
inline constexpr int kFieldCount = 6;

// Index of a descriptive field (also the list column and history Item number - 1).
enum ImageField { kTitle = 0, kCopyright, kAuthor, kYear, kTargetMachine, kTargetOs };

using ImageTexts = std::array<std::string, kFieldCount>; // code page 932 bytes
using HeaderBytes = std::array<std::uint8_t, kImageHeaderSize>;

struct ImageHeader {
    ImageTexts texts;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorCount = 0; // number of stored sectors
};

// Offset and width (without the NUL) of a field: Title 5/30 ... Year 98/4 ...
std::size_t FieldOffset(int field);
std::size_t FieldWidth(int field);

// Shortens text to at most width bytes without cutting a double-byte character.
std::string FitToField(std::string_view text, std::size_t width);

// Builds the 256 header bytes.
HeaderBytes BuildHeader(const ImageTexts& texts, std::uint32_t sectorsPerCluster, std::uint32_t bytesPerSector,
                        std::uint32_t sectorCount);

// True when the bytes start with FF 49 4D 47 00 and there are at least 256 of them.
bool IsImageHeader(const std::uint8_t* data, std::size_t size);

// Decodes one text field: bytes up to the first NUL (at most the field's
// width), trimmed of bytes <= 0x20 at both ends.
std::string DecodeField(const HeaderBytes& header, int field);

ImageHeader ReadHeader(const HeaderBytes& header);

// Rebuilds bytes 0..243 (magic, fields, reserved area) in place; bytes
// 244..255 stay as they are.
void RewriteDescriptivePart(HeaderBytes& header, const ImageTexts& texts);

// File offset of sector k.
constexpr std::uint64_t SectorPosition(std::uint64_t k, std::uint32_t bytesPerSector)
{
    return kImageHeaderSize + k * bytesPerSector;
}

// Reads exactly the 256 header bytes at the start of the file. A file shorter
// than that fails with ENODATA; other failures keep the system's error code.
IoStatus ReadHeaderFile(const std::string& path, HeaderBytes& header);
