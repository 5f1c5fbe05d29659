// Number texts of macros and the reading of TopoL's list replies.
#include "gislink/TopolFormat.h"

#include <gtest/gtest.h>

#include <clocale>

namespace vexa {
namespace {

using Values = std::vector<std::string>;

TEST(TopolFormat, FixedNumbersHaveTwoDecimalsAndAPointWhateverTheLocale) {
    EXPECT_EQ(FormatFixed2(1.5), "1.50");
    EXPECT_EQ(FormatFixed2(0), "0.00");
    EXPECT_EQ(FormatFixed2(-0.0), "0.00");
    EXPECT_EQ(FormatFixed2(-512345.678), "-512345.68");
    EXPECT_EQ(FormatFixed2(1234567.125), "1234567.12");  // exact binary value, ties to even
    EXPECT_EQ(FormatFixed2(0.005), "0.01");               // 0.005 is slightly above in binary
    if (std::setlocale(LC_NUMERIC, "sk_SK.UTF-8") || std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        EXPECT_EQ(FormatFixed2(2.25), "2.25");
        std::setlocale(LC_NUMERIC, "C");
    }
}

TEST(TopolFormat, ListRepliesSplitLikeCommaText) {
    EXPECT_EQ(SplitCommaText("1,0,1,0,1,2"), (Values{"1", "0", "1", "0", "1", "2"}));
    EXPECT_EQ(SplitCommaText("  1, 2 ,3"), (Values{"1", "2", "3"}));
    EXPECT_EQ(SplitCommaText("1 2\t3"), (Values{"1", "2", "3"}));
    EXPECT_EQ(SplitCommaText("1,,3"), (Values{"1", "", "3"}));
    EXPECT_EQ(SplitCommaText("1,2,"), (Values{"1", "2", ""}));
    EXPECT_EQ(SplitCommaText("1,\"a, \"\"b\"\"\",3"), (Values{"1", "a, \"b\"", "3"}));
    EXPECT_EQ(SplitCommaText("\"\",x"), (Values{"", "x"}));
    EXPECT_EQ(SplitCommaText(""), Values{});
    EXPECT_EQ(SplitCommaText("   "), Values{});
    EXPECT_EQ(SplitCommaText("7\r\n"), Values{"7"});
}

TEST(TopolFormat, IntegersAreSigned32BitAndColoursUnsigned32Bit) {
    EXPECT_EQ(ReadInt32("-2147483648"), INT32_MIN);
    EXPECT_EQ(ReadInt32(" 12\r\n"), 12);
    EXPECT_FALSE(ReadInt32("2147483648"));
    EXPECT_FALSE(ReadInt32("1.0"));
    EXPECT_FALSE(ReadInt32(""));
    EXPECT_FALSE(ReadInt32("~"));
    EXPECT_EQ(ReadColor("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(ReadColor("3000000000"), 3000000000u);
    EXPECT_EQ(ReadColor("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(ReadColor("255"), 255u);
    EXPECT_FALSE(ReadColor("4294967296"));
    EXPECT_FALSE(ReadColor("-2147483649"));
    EXPECT_FALSE(ReadColor("red"));
}

TEST(TopolFormat, WireLettersAndNotGivenValues) {
    EXPECT_EQ(WireGroupLetter(0), 'L');
    EXPECT_EQ(WireGroupLetter(1), 'P');
    EXPECT_EQ(WireGroupLetter(2), 'A');
    EXPECT_EQ(WireGroupLetter(3), 'T');
    EXPECT_EQ(WireGroupLetter(4), 0);
    EXPECT_EQ(SwitchText(2), "~");
    EXPECT_EQ(SwitchText(0), "0");
    EXPECT_EQ(SwitchText(255), "255");
    EXPECT_EQ(ValueText(-1), "~");
    EXPECT_EQ(ValueText(-2), "-2");
    EXPECT_EQ(ColorText(0xFFFFFFFFu), "~");
    EXPECT_EQ(ColorText(0xFFFFFFFEu), "4294967294");
}

} // namespace
} // namespace vexa
