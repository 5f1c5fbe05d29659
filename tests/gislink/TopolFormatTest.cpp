// Number texts of macros and the reading of TopoL's list replies.
#include "gislink/TopolFormat.h"

#include <gtest/gtest.h>

#include <clocale>

namespace vexa {
namespace {

TEST(TopolFormat, FixedNumbersHaveTwoDecimalsAndAPointWhateverTheLocale) {
    // 1234567.125 is exact in binary and ties to even; 0.005 is slightly above.
    for (auto [value, text] : {std::pair{1.5, "1.50"},
                               {0.0, "0.00"},
                               {-0.0, "0.00"},
                               {-512345.678, "-512345.68"},
                               {1234567.125, "1234567.12"},
                               {0.005, "0.01"}})
        EXPECT_EQ(FormatFixed2(value), text) << value;
    if (std::setlocale(LC_NUMERIC, "sk_SK.UTF-8") || std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        EXPECT_EQ(FormatFixed2(2.25), "2.25");
        std::setlocale(LC_NUMERIC, "C");
    }
}

TEST(TopolFormat, ListRepliesSplitLikeCommaText) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"1,0,1,0,1,2", {"1", "0", "1", "0", "1", "2"}},
        {"  1, 2 ,3", {"1", "2", "3"}},
        {"1 2\t3", {"1", "2", "3"}},
        {"1,,3", {"1", "", "3"}},
        {"1,2,", {"1", "2", ""}},
        {"1,\"a, \"\"b\"\"\",3", {"1", "a, \"b\"", "3"}},
        {"\"\",x", {"", "x"}},
        {"", {}},
        {"   ", {}},
        {"7\r\n", {"7"}},
    };
    for (const auto& [reply, values] : cases) EXPECT_EQ(SplitCommaText(reply), values) << reply;
}

TEST(TopolFormat, IntegersAreSigned32BitAndColoursUnsigned32Bit) {
    EXPECT_EQ(ReadInt32("-2147483648"), INT32_MIN);
    EXPECT_EQ(ReadInt32(" 12\r\n"), 12);
    for (const char* bad : {"2147483648", "1.0", "", "~"}) EXPECT_FALSE(ReadInt32(bad)) << bad;
    for (auto [text, colour] :
         {std::pair{"4294967295", 0xFFFFFFFFu}, {"3000000000", 3000000000u}, {"-1", 0xFFFFFFFFu}, {"255", 255u}})
        EXPECT_EQ(ReadColor(text), colour) << text;
    for (const char* bad : {"4294967296", "-2147483649", "red"}) EXPECT_FALSE(ReadColor(bad)) << bad;
}

}  // namespace
}  // namespace vexa
