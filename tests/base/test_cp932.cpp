#include "base/cp932.h"

#include <gtest/gtest.h>

TEST(Cp932, DecodesJapaneseAndAscii)
{
    // "日本" in Shift-JIS is 93 FA 96 7B.
    EXPECT_EQ(Cp932ToUtf8("\x93\xFA\x96\x7B" "A"), "日本A");
    EXPECT_EQ(Cp932ToUtf8(""), "");
}

TEST(Cp932, UndecodableBytesBecomeReplacementCharacters)
{
    // 0x81 is a lead byte without a valid trail; 0xA0 is unassigned.
    EXPECT_EQ(Cp932ToUtf8("a\x81"), "a\xEF\xBF\xBD");
    EXPECT_EQ(Cp932ToUtf8("\xA0" "b"), "\xEF\xBF\xBD" "b");
}

TEST(Cp932, EncodeRefusesCharactersOutsideTheCodePage)
{
    EXPECT_EQ(Utf8ToCp932("日本A"), std::string("\x93\xFA\x96\x7B" "A"));
    EXPECT_FALSE(Utf8ToCp932("\xF0\x9F\x98\x80").has_value()); // emoji
    EXPECT_FALSE(Utf8ToCp932("\xC3\xA9").has_value());         // é
    EXPECT_FALSE(Utf8ToCp932("\xFF").has_value());             // not UTF-8
}

TEST(Cp932, DuplicateCodesDoNotRoundTripByteForByte)
{
    // NEC-selected IBM extension EE E0 decodes to 髙, whose canonical code is FB FC.
    std::string decoded = Cp932ToUtf8("\xEE\xE0");
    EXPECT_EQ(decoded, "髙");
    EXPECT_EQ(Utf8ToCp932(decoded), std::string("\xFB\xFC"));
}

TEST(Cp932, LeadBytes)
{
    EXPECT_TRUE(IsCp932LeadByte(0x81));
    EXPECT_TRUE(IsCp932LeadByte(0x9F));
    EXPECT_TRUE(IsCp932LeadByte(0xE0));
    EXPECT_TRUE(IsCp932LeadByte(0xFC));
    EXPECT_FALSE(IsCp932LeadByte(0x80));
    EXPECT_FALSE(IsCp932LeadByte(0xA0)); // half-width katakana are single bytes
    EXPECT_FALSE(IsCp932LeadByte(0xDF));
    EXPECT_FALSE(IsCp932LeadByte(0xFD));
}
