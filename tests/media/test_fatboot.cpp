// FAT boot sectors and FATs prepared byte by byte.
#include "media/fatboot.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Bpb {
    std::uint32_t bytesPerSector = 512, sectorsPerCluster = 1, reserved = 1, fats = 2, rootEntries = 224;
    std::uint32_t sectors16 = 2880, media = 0xF0, fatSize16 = 9, sectors32 = 0, fatSize32 = 0;
};

std::vector<std::uint8_t> BootSector(const Bpb& b)
{
    std::vector<std::uint8_t> s(512, 0);
    auto put16 = [&](std::size_t at, std::uint32_t v) {
        s[at] = static_cast<std::uint8_t>(v);
        s[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    s[0] = 0xEB, s[1] = 0x3C, s[2] = 0x90;
    put16(11, b.bytesPerSector);
    s[13] = static_cast<std::uint8_t>(b.sectorsPerCluster);
    put16(14, b.reserved);
    s[16] = static_cast<std::uint8_t>(b.fats);
    put16(17, b.rootEntries);
    put16(19, b.sectors16);
    s[21] = static_cast<std::uint8_t>(b.media);
    put16(22, b.fatSize16);
    put32(32, b.sectors32);
    put32(36, b.fatSize32);
    s[510] = 0x55, s[511] = 0xAA;
    return s;
}

constexpr std::uint64_t kFloppyBytes = 2880 * 512;

TEST(FatBootSector, FiguresOfCommonLayouts)
{
    auto floppy = ParseFatBootSector(BootSector({}), kFloppyBytes);
    ASSERT_TRUE(floppy);
    EXPECT_EQ(floppy->totalClusters, 2847u);
    EXPECT_EQ(floppy->fatBits, 12);
    EXPECT_EQ(floppy->rootDirSectors, 14u);

    // 1,024-byte sectors: 1,232 of them, 192 root entries, FATs of 2 sectors.
    Bpb twoHd{.bytesPerSector = 1024, .rootEntries = 192, .sectors16 = 1232, .media = 0xFE, .fatSize16 = 2};
    auto big = ParseFatBootSector(BootSector(twoHd), 1232 * 1024);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->bytesPerSector, 1024u);
    EXPECT_EQ(big->totalClusters, 1232u - 1 - 4 - 6);
    EXPECT_FALSE(ParseFatBootSector(BootSector(twoHd), 1232 * 1024, 512)) << "the device has 512-byte sectors";

    Bpb fat16{.sectorsPerCluster = 8, .rootEntries = 512, .sectors16 = 0, .media = 0xF8, .fatSize16 = 200,
              .sectors32 = 400000};
    auto f16 = ParseFatBootSector(BootSector(fat16), 400000ull * 512);
    ASSERT_TRUE(f16);
    EXPECT_EQ(f16->fatBits, 16);
    EXPECT_EQ(f16->totalClusters, (400000u - 1 - 400 - 32) / 8);

    Bpb fat32{.sectorsPerCluster = 8, .reserved = 32, .rootEntries = 0, .sectors16 = 0, .media = 0xF8,
              .fatSize16 = 0, .sectors32 = 8000000, .fatSize32 = 7800};
    auto f32 = ParseFatBootSector(BootSector(fat32), 8000000ull * 512);
    ASSERT_TRUE(f32);
    EXPECT_EQ(f32->fatBits, 32);
    EXPECT_EQ(f32->totalClusters, (8000000u - 32 - 15600) / 8);
}

TEST(FatBootSector, ZeroAbsurdOrInconsistentFiguresAreNotFat)
{
    constexpr std::uint64_t kHuge = ~std::uint64_t{0};
    struct Case {
        const char* what;
        Bpb bpb;
        std::uint64_t mediumBytes = kFloppyBytes;
    };
    const Case cases[] = {
        {"bytes per sector 0", {.bytesPerSector = 0}},
        {"bytes per sector 0xFFFF", {.bytesPerSector = 0xFFFF}},
        {"bytes per sector 768", {.bytesPerSector = 768}},
        {"sectors per cluster 0", {.sectorsPerCluster = 0}},
        {"sectors per cluster 3", {.sectorsPerCluster = 3}},
        {"no reserved sector", {.reserved = 0}},
        {"no FAT", {.fats = 0}},
        {"no sectors", {.sectors16 = 0, .sectors32 = 0}, kHuge},
        {"FAT size 0", {.fatSize16 = 0}},
        {"media byte", {.media = 0x00}},
        {"FATs fill the medium", {.reserved = 2000, .fats = 2, .fatSize16 = 500}},
        {"more sectors than the medium", {.sectors16 = 0, .sectors32 = 0xFFFFFFFF}},
        {"FAT too small for its clusters", {.fatSize16 = 1}},
        {"FAT12 without root directory", {.rootEntries = 0}},
        {"255 FATs of 0xFFFF sectors",
         {.fats = 255, .sectors16 = 0, .fatSize16 = 0xFFFF, .sectors32 = 0xFFFFFFFF}, kHuge},
        {"FAT32 with a 16-bit FAT size",
         {.rootEntries = 0, .sectors16 = 0, .fatSize16 = 0xFFFF, .sectors32 = 2000000}, kHuge},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(ParseFatBootSector(BootSector(c.bpb), c.mediumBytes)) << c.what;

    auto noJump = BootSector({});
    noJump[0] = 0;
    EXPECT_FALSE(ParseFatBootSector(noJump, kFloppyBytes));
    const auto whole = BootSector({});
    EXPECT_FALSE(ParseFatBootSector(std::span(whole).first(60), kFloppyBytes));
    EXPECT_FALSE(ParseFatBootSector(BootSector({}), kFloppyBytes - 512)) << "medium shorter than the file system";
    EXPECT_FALSE(ParseFatBootSector(std::vector<std::uint8_t>(512, 0), kFloppyBytes));
    EXPECT_FALSE(ParseFatBootSector(std::vector<std::uint8_t>(512, 0xFF), kFloppyBytes));
}

TEST(FatTable, CountsFreeEntriesOfEachWidth)
{
    FatLayout l12{.totalClusters = 5, .fatBits = 12};
    // Entries 0..6 packed two per three bytes: F0 FF, FFF, 000, 003, 000, FFF, 000.
    const std::vector<std::uint8_t> fat12{0xF0, 0xFF, 0xFF, 0x00, 0x30, 0x00, 0x00, 0xF0, 0xFF, 0x00, 0x00};
    EXPECT_EQ(CountFreeClusters(fat12, l12), 3u); // entries 2, 4, 6
    EXPECT_EQ(CountFreeClusters(std::span(fat12).first(8), l12), 2u) << "entry 6 lies beyond the bytes given";

    FatLayout l16{.totalClusters = 3, .fatBits = 16};
    const std::vector<std::uint8_t> fat16{0xF8, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00};
    EXPECT_EQ(CountFreeClusters(fat16, l16), 2u);

    FatLayout l32{.totalClusters = 2, .fatBits = 32};
    // The top four bits of a FAT32 entry are reserved: 0xF0000000 is free.
    std::vector<std::uint8_t> fat32(16, 0);
    fat32[11] = 0xF0;
    fat32[12] = 0x07;
    EXPECT_EQ(CountFreeClusters(fat32, l32), 1u);
    EXPECT_EQ(CountFreeClusters({}, l32), 0u);
}

} // namespace
