// The figures and texts the tool prints, checked without a terminal.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/output.h"
#include "media/progress.h"
#include "support/messages.h"

TEST(ProgressLine, BarPercentSpeedAndTimeLeft)
{
    // Half of a 1.44 MB floppy in 10 s: 1440 sectors of 512 bytes.
    ProgressFigures half{1440, 2880, 512, 10.0};
    EXPECT_EQ(ProgressLine(half, "%s left", 10), "[#####-----]  50%  74 kB/s  0:10 left");

    // Nothing to go by yet: no speed, no time.
    ProgressFigures start{0, 2880, 512, 0.2};
    EXPECT_EQ(ProgressLine(start, "%s left", 4), "[----]   0%  -- B/s  --:-- left");

    // A position past the end (a grouped writer) stays at 100%.
    ProgressFigures over{3000, 2880, 512, 20.0};
    EXPECT_EQ(ProgressLine(over, "%s", 4).substr(0, 11), "[####] 100%");

    EXPECT_EQ(FormatBytes(999), "999 B");
    EXPECT_EQ(FormatBytes(1474560), "1.5 MB");
    EXPECT_EQ(FormatBytes(268435456), "268 MB");
    EXPECT_EQ(FormatDuration(75), "1:15");
    EXPECT_EQ(FormatDuration(3725), "1:02:05");
}

TEST(LibraryOutput, WideTextsAlignAndEveryFormatKeepsTheTexts)
{
    EXPECT_EQ(DisplayWidth("GAME"), 4);
    EXPECT_EQ(DisplayWidth("ゲーム"), 6);
    EXPECT_EQ(DisplayWidth("ｹﾞｰﾑ"), 4); // half-width katakana are narrow

    // Header texts are code page 932: "ゲーム" is 83 51 81 5B 83 80.
    LibraryRow wide{"\x83\x51\x81\x5B\x83\x80", "", "", "1992", "PC-98", "", "IMG0001.TMP"};
    LibraryRow tabbed{"A\tB", "back\\slash", "", "", "", "", "IMG0002.TMP"};
    const std::string table = LibraryTable(BuiltInMessages(), {wide, tabbed});
    // The file names start in one terminal column whatever the title's width.
    std::size_t lineStart = table.find('\n') + 1;
    const std::string first = table.substr(lineStart, table.find('\n', lineStart) - lineStart);
    lineStart = table.find('\n', lineStart) + 1;
    const std::string second = table.substr(lineStart, table.find('\n', lineStart) - lineStart);
    EXPECT_EQ(DisplayWidth(first.substr(0, first.find("IMG0001"))),
              DisplayWidth(second.substr(0, second.find("IMG0002"))));

    EXPECT_EQ(LibraryTsv({tabbed}), "title\tcopyright\tauthor\tyear\tmachine\tos\tfile\n"
                                    "A\\tB\tback\\\\slash\t\t\t\t\tIMG0002.TMP\n");

    // A file name that is not UTF-8 still gives valid JSON.
    LibraryRow oddName = wide;
    oddName[kFileNameColumn] = "IMG\xFF.TMP";
    const auto json = nlohmann::json::parse(LibraryJson({wide, oddName}, "/images"));
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0]["title"], "ゲーム");
    EXPECT_EQ(json[0]["path"], "/images/IMG0001.TMP");
    EXPECT_EQ(json[1]["file"], "IMG\xEF\xBF\xBD.TMP");
}

TEST(ImageInfo, LengthTellsWhetherTheImageIsComplete)
{
    ImageInfo info;
    info.header.bytesPerSector = 512;
    info.header.sectorCount = 2847;
    info.fileLength = 1457920;
    EXPECT_TRUE(info.complete());
    EXPECT_EQ(nlohmann::json::parse(InfoJson(info))["complete"], true);
    info.fileLength -= 512;
    EXPECT_FALSE(info.complete());
    const auto json = nlohmann::json::parse(InfoJson(info));
    EXPECT_EQ(json["expectedLength"], 1457920);
    EXPECT_EQ(json["complete"], false);
}
