#include "library/sectormap.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "support/shell.h"
#include "support/tempdir.h"

namespace {

SectorMap Map(std::initializer_list<SectorRun> runs)
{
    SectorMap m;
    for (const SectorRun& r : runs)
        m.Add(r.first, r.count);
    return m;
}

// What other rescue tools read: ddrescuelog lists exactly our unreadable
// sectors and finds the map finished and covering the whole medium.
TEST(Mapfile, DdrescuelogReadsOurMapAsWeMeanIt)
{
    if (std::system("command -v ddrescuelog >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ddrescuelog (package gddrescue) is not installed";
    const SectorMap map = Map({{0, 1}, {20, 2}, {2879, 1}});
    TempDir dir;
    dir.write("a.map", FormatMapfile(map, 512, 2880, {"sha1 0123"}));
    EXPECT_EQ(ShellOutput("ddrescuelog -b512 -l- '" + dir.file("a.map") + "'"), "0\n20\n21\n2879\n");
    const std::string summary = ShellOutput("ddrescuelog -t '" + dir.file("a.map") + "'");
    EXPECT_NE(summary.find("current status: finished"), std::string::npos) << summary;
    EXPECT_NE(summary.find("bad-sector:     2048 B,  in      3 area(s)"), std::string::npos) << summary;
    EXPECT_NE(summary.find("non-tried:        0 B"), std::string::npos) << summary;
}

TEST(Mapfile, ReadsBackWhatItWritesAndTakesEveryUnfinishedBlockAsUnreadable)
{
    const SectorMap map = Map({{3, 2}, {9, 1}});
    const auto back = ParseMapfile(FormatMapfile(map, 1024, 10), 1024, 10);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->runs(), map.runs());
    EXPECT_EQ(back->count(), 3u);

    // A map another tool left half done, in decimal and with a block that
    // ends inside a sector and one beyond the medium.
    const auto foreign = ParseMapfile("# comment\n"
                                      "0 ? 1\n"
                                      "0 1024 +\n"
                                      "1024 512 *\n"   // sector 2
                                      "1536 1000 /\n"  // sectors 3 and 4
                                      "2536 500 ?\n"   // still 4, then 5
                                      "0xC00 0x200 +\n"
                                      "0x1000 0x1000 -\n", // beyond the medium
                                      512, 8);
    ASSERT_TRUE(foreign);
    EXPECT_EQ(foreign->runs(), (std::vector<SectorRun>{{2, 4}}));

    EXPECT_FALSE(ParseMapfile("", 512, 8));                            // no status line
    EXPECT_FALSE(ParseMapfile("0 +\n0 512 +\n0 512 -\n", 512, 8));     // overlapping blocks
    EXPECT_FALSE(ParseMapfile("0 +\n0 5x2 -\n", 512, 8));              // not a number
    EXPECT_FALSE(ParseMapfile("0 +\n0 512\n", 512, 8));                // no status
}

TEST(Mapfile, AnImageWithoutAMapSaysSo)
{
    TempDir dir;
    SectorMap map;
    EXPECT_EQ(ReadImageMap(dir.file("IMG0001.TMP"), 512, 10, map).error, ENOENT);
    dir.write("IMG0001.TMP.map", "not a map\n");
    EXPECT_EQ(ReadImageMap(dir.file("IMG0001.TMP"), 512, 10, map).error, EINVAL);
}

} // namespace
