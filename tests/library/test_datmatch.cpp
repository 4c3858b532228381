#include "library/datmatch.h"
#include "library/imagefile.h"
#include "library/tosecname.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

std::string ImageOf(const std::string& data)
{
    const HeaderBytes h = BuildHeader({}, 1, 512, static_cast<std::uint32_t>(data.size() / 512));
    return std::string(h.begin(), h.end()) + data;
}

} // namespace

TEST(DatMatch, FindsTheEntryAndTellsAOneByteChangeApart)
{
    TempDir dir;
    std::string data(737'280, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    dir.write("good.img", ImageOf(data));
    DataHashes good;
    ASSERT_TRUE(HashImageFile(dir.file("good.img"), good).ok());
    std::string changed = data;
    changed[4000] ^= 1;
    dir.write("bad.img", ImageOf(changed));
    DataHashes bad;
    ASSERT_TRUE(HashImageFile(dir.file("bad.img"), bad).ok());
    dir.write("small.img", ImageOf(data.substr(0, 512)));
    DataHashes small;
    ASSERT_TRUE(HashImageFile(dir.file("small.img"), small).ok());

    // Upper-case hashes as some dats write them; an entry with only a CRC.
    dir.write("test.dat", "<?xml version=\"1.0\"?>\n<datafile><header><name>Test dat</name></header>\n"
                          "<game name=\"Other (1990)\"><rom name=\"o.img\" size=\"737280\" crc=\"12345678\"/></game>\n"
                          "<game name=\"Game (1992)(Maker)\"><rom name=\"Game (1992)(Maker).img\" size=\"737280\" crc=\"" +
                              good.crc32 + "\" md5=\"" + good.md5 + "\" sha1=\"" + [&] {
                                  std::string s = good.sha1;
                                  for (char& c : s)
                                      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                                  return s;
                              }() + "\"/></game></datafile>\n");
    dir.write("list.xml", "<softwarelist name=\"pc98\" description=\"PC-98 disks\"><software name=\"game\"><part>"
                          "<dataarea name=\"flop\"><rom name=\"g.hdm\" size=\"512\" crc=\"" +
                              small.crc32 + "\" sha1=\"" + small.sha1 + "\"/></dataarea></part></software></softwarelist>");
    std::vector<DatFile> dats(2);
    ASSERT_EQ(LoadDatFile(dir.file("test.dat"), dats[0]), "");
    ASSERT_EQ(LoadDatFile(dir.file("list.xml"), dats[1]), "");
    EXPECT_EQ(dats[0].name, "Test dat");
    EXPECT_EQ(dats[1].name, "PC-98 disks");

    const DatMatch m = MatchDats(dats, good);
    ASSERT_EQ(m.kind, MatchKind::Matched);
    EXPECT_EQ(m.rom->game, "Game (1992)(Maker)");
    EXPECT_EQ(m.rom->rom, "Game (1992)(Maker).img");
    const DatMatch b = MatchDats(dats, bad);
    EXPECT_EQ(b.kind, MatchKind::SizeOnly);
    EXPECT_EQ(b.rom->game, "Other (1990)");
    const DatMatch s = MatchDats(dats, small);
    ASSERT_EQ(s.kind, MatchKind::Matched);
    EXPECT_EQ(s.dat, &dats[1]);
    EXPECT_EQ(s.rom->game, "game");
    DataHashes none = small;
    none.size = 1;
    EXPECT_EQ(MatchDats(dats, none).kind, MatchKind::Unknown);
}

TEST(DatMatch, RefusesWhatIsNoDat)
{
    TempDir dir;
    DatFile dat;
    EXPECT_EQ(ParseDat("just text", dat), "not an XML file: No document element found at byte 9");
    EXPECT_EQ(ParseDat("<datafile><game name=\"x\"></datafile>", dat),
              "not an XML file: Start-end tags mismatch at byte 27");
    EXPECT_EQ(ParseDat("<html/>", dat), "an XML file, but no dat (neither datafile nor softwarelist)");
    dir.write("huge.dat", "");
    ASSERT_EQ(truncate(dir.file("huge.dat").c_str(), static_cast<off_t>(kMaxDatFileBytes + 1)), 0);
    EXPECT_EQ(LoadDatFile(dir.file("huge.dat"), dat),
              dir.file("huge.dat") + ": 268435457 bytes, more than a dat file may have (268435456)");
    EXPECT_EQ(LoadDatFile(dir.file("missing.dat"), dat), dir.file("missing.dat") + ": No such file or directory");
}

TEST(TosecName, ReadsTheFieldsOfTheNamingStyle)
{
    const TosecName a = ParseTosecName("/x/Legend of Foo, The (1992)(Maker Soft)(PC-98)(Disk 1 of 3)[cr TRSi].hdm");
    EXPECT_EQ(a.title, "Legend of Foo, The");
    EXPECT_EQ(a.year, "1992");
    EXPECT_EQ(a.publisher, "Maker Soft");
    EXPECT_EQ(a.system, "PC-98");
    EXPECT_EQ(a.disk, "Disk 1 of 3");
    const TosecName b = ParseTosecName("Demo (199x)(-)(ja)(Side B).d88");
    EXPECT_EQ(b.year, "199x");
    EXPECT_EQ(b.publisher, "");
    EXPECT_EQ(b.system, ""); // "ja" is a language
    EXPECT_EQ(b.disk, "Side B");
    const TosecName c = ParseTosecName("plain_name.img");
    EXPECT_EQ(c.title, "plain_name");
    EXPECT_EQ(c.year, "");
    const TosecName d = ParseTosecName("Tool (v1.2)(unclosed");
    EXPECT_EQ(d.title, "Tool");
    EXPECT_EQ(d.year, "");
    EXPECT_EQ(d.publisher, "");
    EXPECT_EQ(ParseTosecName("Game (1987-04-01)(X).dim").year, "1987");
}
