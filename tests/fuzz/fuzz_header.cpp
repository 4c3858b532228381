// Any bytes as the start of a file in the image folder: recognition follows
// the magic and the length alone; a recognised header reads as six trimmed
// texts that fit their fields and show as UTF-8; rewriting them keeps the
// numbers and reads back the same; shortening never splits a character.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "base/cp932.h"
#include "library/imagefile.h"
#include "library/scan.h"

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::uint32_t Le32(const HeaderBytes& h, std::size_t at)
{
    return static_cast<std::uint32_t>(h[at]) | static_cast<std::uint32_t>(h[at + 1]) << 8 |
           static_cast<std::uint32_t>(h[at + 2]) << 16 | static_cast<std::uint32_t>(h[at + 3]) << 24;
}

// A cut at `at` does not leave the first byte of a double-byte character
// without its second.
bool CutsNoCharacter(std::string_view text, std::size_t at)
{
    std::size_t i = 0;
    while (i < at)
        i += IsCp932LeadByte(static_cast<std::uint8_t>(text[i])) ? 2 : 1;
    return i == at;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bool magic = size >= 5 && std::memcmp(data, "\xFFIMG\0", 5) == 0;
    FUZZ_REQUIRE(IsImageHeader(data, size) == (magic && size >= kImageHeaderSize));

    // Any text from a history or a foreign file, shortened to each width.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::size_t width : {std::size_t{4}, std::size_t{30}}) {
        const std::string fitted = FitToField(text, width);
        FUZZ_REQUIRE(fitted.size() <= width && text.substr(0, fitted.size()) == fitted);
        FUZZ_REQUIRE(fitted.size() == text.size() || CutsNoCharacter(text, fitted.size()));
        FUZZ_REQUIRE(fitted.size() + 1 >= std::min(width, text.size()));
    }

    if (size < kImageHeaderSize)
        return 0;
    HeaderBytes header;
    std::memcpy(header.data(), data, kImageHeaderSize);
    const ImageHeader read = ReadHeader(header);
    for (int f = 0; f < kFieldCount; ++f) {
        const std::string& t = read.texts[static_cast<std::size_t>(f)];
        FUZZ_REQUIRE(t.size() <= FieldWidth(f));
        FUZZ_REQUIRE(t.find('\0') == std::string::npos);
        FUZZ_REQUIRE(t.empty() || (!IsBlank(t.front()) && !IsBlank(t.back())));
        FUZZ_REQUIRE(t == DecodeField(header, f));
        FUZZ_REQUIRE(IsWellFormedUtf8(Cp932ToUtf8(t)));
    }
    FUZZ_REQUIRE(read.sectorsPerCluster == Le32(header, 244));
    FUZZ_REQUIRE(read.bytesPerSector == Le32(header, 248));
    FUZZ_REQUIRE(read.sectorCount == Le32(header, 252));

    if (const auto row = RowFromHeader(header, "IMG1234.TMP")) {
        FUZZ_REQUIRE(magic);
        for (int f = 0; f < kFieldCount; ++f)
            FUZZ_REQUIRE((*row)[static_cast<std::size_t>(f)] == read.texts[static_cast<std::size_t>(f)]);
        FUZZ_REQUIRE((*row)[kFileNameColumn] == "IMG1234.TMP");
    } else {
        FUZZ_REQUIRE(!magic);
    }

    // Writing the texts back as read changes nothing a reader sees.
    HeaderBytes rewritten = header;
    RewriteDescriptivePart(rewritten, read.texts);
    FUZZ_REQUIRE(std::equal(header.begin() + 244, header.end(), rewritten.begin() + 244));
    FUZZ_REQUIRE(IsImageHeader(rewritten.data(), rewritten.size()));
    const ImageHeader again = ReadHeader(rewritten);
    FUZZ_REQUIRE(again.texts == read.texts);
    FUZZ_REQUIRE(rewritten ==
                 BuildHeader(read.texts, read.sectorsPerCluster, read.bytesPerSector, read.sectorCount));
    return 0;
}
