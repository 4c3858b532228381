#include "library/imagefile.h"

#include "base/cp932.h"
#include "base/textconv.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t kMagic[5] = {0xFF, 0x49, 0x4D, 0x47, 0x00};

struct FieldLayout {
    std::size_t offset;
    std::size_t width; // without the NUL
};

constexpr FieldLayout kFields[kFieldCount] = {
    {5, 30}, {36, 30}, {67, 30}, {98, 4}, {103, 30}, {134, 30},
};

constexpr std::size_t kReservedOffset = 165;
constexpr std::size_t kReservedWidth = 78;
constexpr std::size_t kNumbersOffset = 244; // first byte the rewrite keeps

bool ValidField(int field) { return field >= 0 && field < kFieldCount; }

// Text, blanks up to width, NUL.
void PutField(HeaderBytes& header, std::size_t offset, std::size_t width, std::string_view text)
{
    std::string fitted = FitToField(text, width);
    std::memcpy(header.data() + offset, fitted.data(), fitted.size());
    std::memset(header.data() + offset + fitted.size(), 0x20, width - fitted.size());
    header[offset + width] = 0;
}

void PutNumber(HeaderBytes& header, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        header[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetNumber(const HeaderBytes& header, std::size_t offset)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | header[offset + i];
    return value;
}

} // namespace

std::size_t FieldOffset(int field) { return ValidField(field) ? kFields[field].offset : 0; }

std::size_t FieldWidth(int field) { return ValidField(field) ? kFields[field].width : 0; }

std::string FitToField(std::string_view text, std::size_t width)
{
    std::size_t end = 0;
    while (end < text.size()) {
        bool pair = IsCp932LeadByte(static_cast<std::uint8_t>(text[end])) && end + 1 < text.size();
        std::size_t next = end + (pair ? 2 : 1);
        if (next > width)
            break;
        end = next;
    }
    return std::string(text.substr(0, end));
}

HeaderBytes BuildHeader(const ImageTexts& texts, std::uint32_t sectorsPerCluster, std::uint32_t bytesPerSector,
                        std::uint32_t sectorCount)
{
    HeaderBytes header{};
    RewriteDescriptivePart(header, texts);
    PutNumber(header, 244, sectorsPerCluster);
    PutNumber(header, 248, bytesPerSector);
    PutNumber(header, 252, sectorCount);
    return header;
}

bool IsImageHeader(const std::uint8_t* data, std::size_t size)
{
    return data != nullptr && size >= kImageHeaderSize && std::memcmp(data, kMagic, sizeof kMagic) == 0;
}

std::string DecodeField(const HeaderBytes& header, int field)
{
    if (!ValidField(field))
        return {};
    // A foreign header may lack the NUL: the text then ends at the field's width.
    const std::uint8_t* begin = header.data() + kFields[field].offset;
    const std::uint8_t* end = std::find(begin, begin + kFields[field].width, std::uint8_t{0});
    return std::string(TrimBlanks(
        std::string_view(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin))));
}

ImageHeader ReadHeader(const HeaderBytes& header)
{
    ImageHeader result;
    for (int f = 0; f < kFieldCount; ++f)
        result.texts[f] = DecodeField(header, f);
    result.sectorsPerCluster = GetNumber(header, 244);
    result.bytesPerSector = GetNumber(header, 248);
    result.sectorCount = GetNumber(header, 252);
    return result;
}

void RewriteDescriptivePart(HeaderBytes& header, const ImageTexts& texts)
{
    std::memcpy(header.data(), kMagic, sizeof kMagic);
    for (int f = 0; f < kFieldCount; ++f)
        PutField(header, kFields[f].offset, kFields[f].width, texts[f]);
    PutField(header, kReservedOffset, kReservedWidth, {});
    static_assert(kReservedOffset + kReservedWidth + 1 == kNumbersOffset);
}
