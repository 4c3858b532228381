#include "base/textconv.h"

#include <gtest/gtest.h>

TEST(ParseInteger, DecimalHexAndSigns)
{
    EXPECT_EQ(ParseInteger("120"), 120);
    EXPECT_EQ(ParseInteger("  034"), 34);
    EXPECT_EQ(ParseInteger("-7"), -7);
    EXPECT_EQ(ParseInteger("+7"), 7);
    EXPECT_EQ(ParseInteger("$22"), 34);
    EXPECT_EQ(ParseInteger("x22"), 34);
    EXPECT_EQ(ParseInteger("X22"), 34);
    EXPECT_EQ(ParseInteger("0x22"), 34);
    EXPECT_EQ(ParseInteger("0X22"), 34);
    EXPECT_EQ(ParseInteger("-$10"), -16);
    EXPECT_EQ(ParseInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseInteger("-2147483648"), INT32_MIN);
}

TEST(ParseInteger, IncompleteOrOutOfRangeTextsFail)
{
    for (const char* bad : {"", " ", "abc", "12a", "12 ", "$", "0x", "-", "1.5", "2147483648",
                            "-2147483649", "$100000000", "99999999999999999999"})
        EXPECT_FALSE(ParseInteger(bad).has_value()) << bad;
}

TEST(TextConv, TrimAndCase)
{
    EXPECT_EQ(TrimBlanks(" \t\x01 ab c \r\n"), "ab c");
    EXPECT_EQ(TrimBlanks("   "), "");
    EXPECT_TRUE(EqualsNoCase("Strings", "sTRINGS"));
    EXPECT_FALSE(EqualsNoCase("Strings", "String"));
}

TEST(TextConv, PlaceholderIsFilledWithoutInterpretingAnythingElse)
{
    EXPECT_EQ(FillPlaceholder("%s:drive", "A"), "A:drive");
    EXPECT_EQ(FillPlaceholder("%n %d %s%s%s", "x"), "%n %d xxx");
    EXPECT_EQ(FillPlaceholder("100%", "x"), "100%");
    EXPECT_EQ(FillPlaceholder("%s", "%s"), "%s"); // the argument is not rescanned
}
