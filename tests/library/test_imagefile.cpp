#include "library/imagefile.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

std::string AsString(const HeaderBytes& h) { return std::string(h.begin(), h.end()); }

ImageTexts Texts(std::string title, std::string year = {})
{
    ImageTexts t;
    t[kTitle] = std::move(title);
    t[kYear] = std::move(year);
    return t;
}

// The field's bytes including its NUL.
std::string FieldBytes(const HeaderBytes& h, int field)
{
    return std::string(h.begin() + FieldOffset(field), h.begin() + FieldOffset(field) + FieldWidth(field) + 1);
}

} // namespace

TEST(ImageHeader, WorkedExampleByteForByte)
{
    std::string expected;
    expected += std::string("\xFF\x49\x4D\x47\x00", 5);
    expected += "GAME DISK 1" + std::string(19, ' ') + '\0';
    for (int i = 0; i < 2; ++i)
        expected += std::string(30, ' ') + '\0';
    expected += std::string("1992\0", 5);
    for (int i = 0; i < 2; ++i)
        expected += std::string(30, ' ') + '\0';
    expected += std::string(78, ' ') + '\0';
    expected += std::string("\x01\x00\x00\x00", 4);
    expected += std::string("\x00\x02\x00\x00", 4);
    expected += std::string("\x1F\x0B\x00\x00", 4);
    ASSERT_EQ(expected.size(), 256u);

    HeaderBytes h = BuildHeader(Texts("GAME DISK 1", "1992"), 1, 512, 2847);
    EXPECT_EQ(AsString(h), expected);

    ImageHeader read = ReadHeader(h);
    EXPECT_EQ(read.texts, Texts("GAME DISK 1", "1992"));
    EXPECT_EQ(read.sectorsPerCluster, 1u);
    EXPECT_EQ(read.bytesPerSector, 512u);
    EXPECT_EQ(read.sectorCount, 2847u);

    // 256 + 2,847 x 512 bytes; sector 2,846 is the last 512 of them.
    EXPECT_EQ(SectorPosition(2847, 512), 1457920u);
    EXPECT_EQ(SectorPosition(2846, 512) + 512, 1457920u);
    EXPECT_EQ(SectorPosition(0, 512), 256u);
}

TEST(ImageHeader, NumbersAreLittleEndianOverTheirFullRange)
{
    HeaderBytes h = BuildHeader({}, 0x01020304u, 0xFFFFFFFFu, 0x80000000u);
    EXPECT_EQ(AsString(h).substr(244), std::string("\x04\x03\x02\x01\xFF\xFF\xFF\xFF\x00\x00\x00\x80", 12));
    ImageHeader read = ReadHeader(h);
    EXPECT_EQ(read.sectorsPerCluster, 0x01020304u);
    EXPECT_EQ(read.bytesPerSector, 0xFFFFFFFFu);
    EXPECT_EQ(read.sectorCount, 0x80000000u);
}

TEST(ImageHeader, FieldWidthBoundaries)
{
    // Exactly 30 bytes: the NUL follows directly at byte 35.
    std::string thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    HeaderBytes h = BuildHeader(Texts(thirty), 0, 0, 0);
    EXPECT_EQ(FieldBytes(h, kTitle), thirty + '\0');
    EXPECT_EQ(h[35], 0);

    // Year "98" is 39 38 20 20 00 and reads back as "98".
    h = BuildHeader(Texts("T", "98"), 0, 0, 0);
    EXPECT_EQ(FieldBytes(h, kYear), std::string("98  \0", 5));
    EXPECT_EQ(ReadHeader(h).texts[kYear], "98");

    // Fifteen double-byte characters fill the field; a sixteenth is dropped whole.
    std::string kanji15;
    for (int i = 0; i < 15; ++i)
        kanji15 += "\x93\xFA"; // 日
    h = BuildHeader(Texts(kanji15 + "\x96\x7B"), 0, 0, 0);
    EXPECT_EQ(FieldBytes(h, kTitle), kanji15 + '\0');
}

TEST(ImageHeader, LongTextsAreShortenedWithoutSplittingACharacter)
{
    // 29 single bytes and a double-byte character: the character cannot be
    // cut in half, so it goes and a blank fills byte 34.
    std::string text = std::string(29, 'x') + "\x93\xFA";
    EXPECT_EQ(FitToField(text, 30), std::string(29, 'x'));
    HeaderBytes h = BuildHeader(Texts(text), 0, 0, 0);
    EXPECT_EQ(FieldBytes(h, kTitle), std::string(29, 'x') + " " + '\0');

    // A Year too long for its four bytes never spills into Target machine.
    ImageTexts t = Texts("T", "19921");
    t[kTargetMachine] = "PC";
    h = BuildHeader(t, 0, 0, 0);
    EXPECT_EQ(FieldBytes(h, kYear), std::string("1992\0", 5));
    EXPECT_EQ(ReadHeader(h).texts[kTargetMachine], "PC");

    // A second byte that looks like a lead byte belongs to its pair: 81 81 81 is
    // one character and a lone lead byte, which fits as one byte.
    EXPECT_EQ(FitToField("\x81\x81\x81", 3), "\x81\x81\x81");
    EXPECT_EQ(FitToField("a\x81\x81", 2), "a");
    EXPECT_EQ(FitToField("", 4), "");
}

TEST(ImageHeader, DecodingTrimsBlanksAndControlBytesOnly)
{
    ImageTexts t;
    t[kTitle] = "  abc  ";
    t[kCopyright] = "   ";
    t[kAuthor] = "\t\x01" "a b" "\x1F";
    t[kTargetMachine] = "\x93\xFA\x96\x7B"; // 日本: bytes above 0x7F are text, not blanks
    t[kTargetOs] = "\x81\x40" "x\x81\x40";  // full-width blanks are not trimmed
    ImageHeader read = ReadHeader(BuildHeader(t, 0, 0, 0));
    EXPECT_EQ(read.texts[kTitle], "abc");
    EXPECT_EQ(read.texts[kCopyright], "");
    EXPECT_EQ(read.texts[kAuthor], "a b");
    EXPECT_EQ(read.texts[kYear], "");
    EXPECT_EQ(read.texts[kTargetMachine], "\x93\xFA\x96\x7B");
    EXPECT_EQ(read.texts[kTargetOs], "\x81\x40" "x\x81\x40");
}

TEST(ImageHeader, ForeignHeaderFieldsStopAtTheirWidthOrFirstNul)
{
    // No NUL anywhere: every field ends at its own width.
    HeaderBytes h;
    h.fill('Z');
    ImageHeader read = ReadHeader(h);
    for (int f = 0; f < kFieldCount; ++f)
        EXPECT_EQ(read.texts[f], std::string(FieldWidth(f), 'Z')) << "field " << f;

    // An early NUL ends the text; what follows it is ignored.
    h = BuildHeader(Texts("ab"), 0, 0, 0);
    h[FieldOffset(kTitle) + 1] = 0;
    EXPECT_EQ(DecodeField(h, kTitle), "a");
}

TEST(ImageHeader, Recognition)
{
    HeaderBytes h = BuildHeader(Texts("T"), 1, 512, 0);
    EXPECT_TRUE(IsImageHeader(h.data(), 256));
    EXPECT_TRUE(IsImageHeader(h.data(), 300));
    EXPECT_FALSE(IsImageHeader(h.data(), 255)); // magic present, one byte short
    EXPECT_FALSE(IsImageHeader(nullptr, 256));

    HeaderBytes other = h;
    other[4] = ' '; // FF I M G and not NUL
    EXPECT_FALSE(IsImageHeader(other.data(), 256));
    other = h;
    other[1] = 'i', other[2] = 'm', other[3] = 'g';
    EXPECT_FALSE(IsImageHeader(other.data(), 256));
    other = h;
    other[0] = 0xFE;
    EXPECT_FALSE(IsImageHeader(other.data(), 256));
}

TEST(ImageFile, HeaderFileFailuresKeepTheSystemError)
{
    TempDir dir;
    HeaderBytes h{};
    dir.write("short", std::string(255, '\xFF'));
    EXPECT_EQ(ReadHeaderFile(dir.file("short"), h).error, ENODATA);
    EXPECT_EQ(ReadHeaderFile(dir.file("missing"), h).error, ENOENT);
    EXPECT_EQ(ReadHeaderFile(dir.path(), h).error, EISDIR);
}
