// Field texts and values, language drivers and the filter parser.
#include "DbfTestUtil.h"

#include "dbase/DbfFilter.h"
#include "dbase/DbfIo.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vexa {
namespace {

using namespace dbftest;
using dbfio::ConvertMode;
using dbfio::FieldLayout;

// A field of the given layout (the stored name and descriptor do not matter here).
FieldLayout Layout(const char* name, char native, int width, int decimals, int offset) {
    FieldLayout f;
    f.Name = name;
    f.Native = native;
    f.Width = width;
    f.Decimals = decimals;
    f.Offset = offset;
    return f;
}

TEST(DbfValues, FormatNumberRoundsAndRefusesWhatDoesNotFit) {
    struct Case {
        double Value;
        int Width, Decimals;
        std::optional<std::string> Text;
    };
    const Case cases[] = {{12.5, 8, 2, "   12.50"},
                          {-3.25, 5, 1, " -3.3"},
                          {2.675, 6, 2, "  2.68"},
                          {0.5, 1, 0, "1"},
                          {-0.4, 2, 0, " 0"},  // no negative zero
                          {9.999, 5, 2, "10.00"},
                          {9.999, 4, 2, std::nullopt},
                          {123456.0, 5, 0, std::nullopt},
                          {1e20, 21, 0, "100000000000000000000"},
                          {std::numeric_limits<double>::quiet_NaN(), 10, 0, std::nullopt},
                          {INFINITY, 10, 0, std::nullopt},
                          {-2147483648.0, 11, 0, "-2147483648"}};
    for (const auto& c : cases)
        EXPECT_EQ(dbfio::FormatNumber(c.Value, c.Width, c.Decimals), c.Text) << c.Value << " " << c.Width;
}

TEST(DbfValues, NumbersIgnoreTheProcessLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "sk_SK.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma here";
    FieldLayout n = Layout("N", 'N', 6, 2, 0);
    EXPECT_EQ(dbfio::EncodeField(1.5, n, 1250, ConvertMode::Strict), "  1.50");
    EXPECT_EQ(dbfio::DecodeField("  1.50", n, 1250), TValue(1.5));
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(DbfValues, DecodeFieldTexts) {
    const FieldLayout c = Layout("C", 'C', 6, 0, 0), n = Layout("N", 'N', 5, 1, 0), l = Layout("L", 'L', 1, 0, 0), d = Layout("D", 'D', 8, 0, 0);
    struct Case {
        const char* Bytes;
        const FieldLayout& Field;
        TValue Value;
    };
    const Case cases[] = {{"  ab  ", c, std::string("  ab")},  // leading blanks are data
                          {"      ", c, {}},
                          {"\xBE\x9A\xE8   ", c, std::string("ľšč")},
                          {" -1.5", n, -1.5},
                          {"*****", n, {}},
                          {"     ", n, {}},
                          {"  x.5", n, {}},
                          {"y", l, true},
                          {"N", l, false},
                          {"?", l, {}},
                          {" ", l, {}},
                          {"20240229", d, TDate{2024, 2, 29}},
                          {"20230229", d, {}},
                          {"00000000", d, {}},
                          {"        ", d, {}},
                          // blanks and zero bytes around the value
                          {"ab\0\0 \0", c, std::string("ab")},
                          {"a\0b   ", c, std::string("a\0b", 3)},
                          {"\0\0\0\0\0\0", c, {}},
                          {"\t1.5\0", n, 1.5},
                          {" +2.5", n, 2.5},
                          {"1 5  ", n, {}},
                          {"\0\0\0\0\0", n, {}},
                          {"2024022 ", d, {}},
                          {"2024-2-9", d, {}},
                          {"19991231", d, TDate{1999, 12, 31}}};
    for (const auto& k : cases) EXPECT_EQ(dbfio::DecodeField(k.Bytes, k.Field, 1250), k.Value) << k.Bytes;
    // A date field of ten characters holds "YYYY-MM-DD"; blanks around it do not count.
    const FieldLayout wide = Layout("D", 'D', 12, 0, 0);
    EXPECT_EQ(dbfio::DecodeField(" 2004-06-05 ", wide, 1250), TValue(TDate{2004, 6, 5}));
    EXPECT_EQ(dbfio::DecodeField(" 2004-13-05 ", wide, 1250), TValue());
}

TEST(DbfValues, EncodeFieldStrictAndLenient) {
    const FieldLayout c = Layout("C", 'C', 4, 0, 0), n = Layout("N", 'N', 4, 1, 0), l = Layout("L", 'L', 1, 0, 0), d = Layout("D", 'D', 8, 0, 0);
    const auto strict = ConvertMode::Strict, lenient = ConvertMode::Lenient;
    EXPECT_EQ(dbfio::EncodeField(std::string("ľščťž"), c, 1250, strict), "\xBE\x9A\xE8\x9D");
    EXPECT_EQ(dbfio::EncodeField(12.0, c, 1250, strict), "12");
    EXPECT_EQ(dbfio::EncodeField(1.5, c, 1250, lenient, 2), "1.50");
    EXPECT_EQ(dbfio::EncodeField(12345.0, c, 1250, lenient), "");
    EXPECT_EQ(dbfio::EncodeField(std::string(" 7.25 "), n, 1250, strict), " 7.3");
    EXPECT_EQ(dbfio::EncodeField(TValue{}, n, 1250, strict), "");
    EXPECT_EQ(dbfio::EncodeField(std::string("t"), l, 1250, strict), "T");
    EXPECT_EQ(dbfio::EncodeField(std::string("maybe"), l, 1250, lenient), "");
    EXPECT_EQ(dbfio::EncodeField(std::string("2001-02-03"), d, 1250, strict), "20010203");
    EXPECT_EQ(dbfio::EncodeField(TDate{2001, 2, 3}, d, 1250, strict), "20010203");
    EXPECT_THROW(dbfio::EncodeField(12345.0, c, 1250, strict), EDbfException);
    EXPECT_THROW(dbfio::EncodeField(true, n, 1250, strict), EDbfException);
    EXPECT_THROW(dbfio::EncodeField(TDate{2001, 13, 3}, d, 1250, strict), EDbfException);
}

TEST(DbfValues, LanguageDrivers) {
    EXPECT_EQ(dbfio::CodePageOfLanguageDriver(0x57), 1252);
    EXPECT_EQ(dbfio::CodePageOfLanguageDriver(0x00), 1250);
    EXPECT_EQ(dbfio::CodePageOfLanguageDriver(0xFE), 1250);
    EXPECT_EQ(dbfio::LanguageDriverOfCodePage(1), std::nullopt);
    for (int cp : {437, 850, 852, 866, 1250, 1251, 1252, 1257})
        EXPECT_EQ(dbfio::CodePageOfLanguageDriver(*dbfio::LanguageDriverOfCodePage(cp)), cp) << cp;
}

// The parsed terms as "Field=number" or "Field='text'", joined by " & ".
std::string Terms(const std::string& expression) {
    std::string out;
    for (const auto& t : TDbfFilter::Parse(expression)) {
        char number[32];
        std::snprintf(number, sizeof number, "%.17g", t.Number);
        out += (out.empty() ? "" : " & ") + t.Field + "=" + (t.IsText ? "'" + t.Text + "'" : std::string(number));
    }
    return out;
}

TEST(DbfFilterParse, TheThreeFormsThisSystemWritesAndTheirSpacing) {
    EXPECT_EQ(Terms("Cislo=12"), "Cislo=12");
    EXPECT_EQ(Terms("Prvok = 'L'"), "Prvok='L'");
    EXPECT_EQ(Terms("Id = -73 and Prvok = 'L'"), "Id=-73 & Prvok='L'");
    EXPECT_EQ(Terms("  Prvok='it''s'  AND  x_1 = 2.5 "), "Prvok='it's' & x_1=2.5");
    EXPECT_EQ(Terms(""), "");
}

TEST(DbfFilterParse, AnythingElseIsRefusedWithTheExpression) {
    EXPECT_EQ(MessageOf<EDbfFilterError>([] { TDbfFilter::Parse("Cislo > 5"); }),
              "Invalid filter expression: \"=\" expected after Cislo\r(Cislo > 5)");
    for (const char* bad : {"=5", "Cislo", "Cislo=", "Cislo == 1", "Cislo = 1.2.3", "Cislo=5 Prvok='L'", "Cislo=5 and",
                            "Cislo=5 and and Id=1", "Prvok='L", "Cislo=-", "Cislo=5;", "(Cislo=5)", "Cislo=5 or Id=1"})
        EXPECT_THROW(TDbfFilter::Parse(bad), EDbfFilterError) << bad;
}

TEST(DbfFilterParse, MatchingComparesNumbersByValueAndTextsExactly) {
    std::vector<FieldLayout> fields = {Layout("Id", 'N', 4, 0, 1), Layout("Prvok", 'C', 3, 0, 5)};
    TDbfFilter f("id = -73 and PRVOK = 'L'", fields);
    EXPECT_TRUE(f.Matches("  -73L  ", 1250));
    EXPECT_TRUE(f.Matches("* -73L  ", 1250));  // the deletion flag is not the filter's business
    for (const char* other : {"  -72L  ", "  -73l  ", "  -73LL ", "     L  "})  // the last: null is no number
        EXPECT_FALSE(f.Matches(other, 1250)) << other;
    EXPECT_TRUE(TDbfFilter("Id=-73.0", fields).Matches("  -73   ", 1250));
    for (const char* unbound : {"Prvok = 1", "Id = '1'", "Cislo = 1"})
        EXPECT_THROW(TDbfFilter(unbound, fields), EDbfFilterError) << unbound;
}

}  // namespace
}  // namespace vexa
