// Field texts and values, language drivers and the filter parser.
#include "dbase/DbfFilter.h"
#include "dbase/DbfIo.h"
#include "dbase/TableDBF.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

namespace vexa {
namespace {

using dbfio::FieldLayout;

TEST(DbfValues, FormatNumberRoundsAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(dbfio::FormatNumber(12.5, 8, 2), "   12.50");
    EXPECT_EQ(dbfio::FormatNumber(-3.25, 5, 1), " -3.3");
    EXPECT_EQ(dbfio::FormatNumber(2.675, 6, 2), "  2.68");
    EXPECT_EQ(dbfio::FormatNumber(0.5, 1, 0), "1");
    EXPECT_EQ(dbfio::FormatNumber(-0.4, 2, 0), " 0");  // no negative zero
    EXPECT_EQ(dbfio::FormatNumber(9.999, 5, 2), "10.00");
    EXPECT_EQ(dbfio::FormatNumber(9.999, 4, 2), std::nullopt);
    EXPECT_EQ(dbfio::FormatNumber(123456.0, 5, 0), std::nullopt);
    EXPECT_EQ(dbfio::FormatNumber(1e20, 21, 0), "100000000000000000000");
    EXPECT_EQ(dbfio::FormatNumber(std::numeric_limits<double>::quiet_NaN(), 10, 0), std::nullopt);
    EXPECT_EQ(dbfio::FormatNumber(INFINITY, 10, 0), std::nullopt);
    EXPECT_EQ(dbfio::FormatNumber(-2147483648.0, 11, 0), "-2147483648");
}

TEST(DbfValues, NumbersIgnoreTheProcessLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "sk_SK.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma here";
    FieldLayout n{"N", 'N', 6, 2, 0};
    EXPECT_EQ(dbfio::EncodeField(1.5, n, 1250, dbfio::ConvertMode::Strict), "  1.50");
    EXPECT_EQ(dbfio::DecodeField("  1.50", n, 1250), TValue(1.5));
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(DbfValues, DecodeFieldTexts) {
    FieldLayout c{"C", 'C', 6, 0, 0}, n{"N", 'N', 5, 1, 0}, l{"L", 'L', 1, 0, 0}, d{"D", 'D', 8, 0, 0};
    EXPECT_EQ(dbfio::DecodeField("  ab  ", c, 1250), TValue(std::string("  ab")));  // leading blanks are data
    EXPECT_TRUE(IsNull(dbfio::DecodeField("      ", c, 1250)));
    EXPECT_EQ(dbfio::DecodeField("\xBE\x9A\xE8   ", c, 1250), TValue(std::string("ľšč")));
    EXPECT_EQ(dbfio::DecodeField(" -1.5", n, 1250), TValue(-1.5));
    EXPECT_TRUE(IsNull(dbfio::DecodeField("*****", n, 1250)));
    EXPECT_TRUE(IsNull(dbfio::DecodeField("     ", n, 1250)));
    EXPECT_TRUE(IsNull(dbfio::DecodeField("  x.5", n, 1250)));
    EXPECT_EQ(dbfio::DecodeField("y", l, 1250), TValue(true));
    EXPECT_EQ(dbfio::DecodeField("N", l, 1250), TValue(false));
    EXPECT_TRUE(IsNull(dbfio::DecodeField("?", l, 1250)));
    EXPECT_TRUE(IsNull(dbfio::DecodeField(" ", l, 1250)));
    EXPECT_EQ(dbfio::DecodeField("20240229", d, 1250), TValue(TDate{2024, 2, 29}));
    EXPECT_TRUE(IsNull(dbfio::DecodeField("20230229", d, 1250)));
    EXPECT_TRUE(IsNull(dbfio::DecodeField("00000000", d, 1250)));
    EXPECT_TRUE(IsNull(dbfio::DecodeField("        ", d, 1250)));
}

TEST(DbfValues, EncodeFieldStrictAndLenient) {
    FieldLayout c{"C", 'C', 4, 0, 0}, n{"N", 'N', 4, 1, 0}, l{"L", 'L', 1, 0, 0}, d{"D", 'D', 8, 0, 0};
    using dbfio::ConvertMode;
    EXPECT_EQ(dbfio::EncodeField(std::string("ľščťž"), c, 1250, ConvertMode::Strict), "\xBE\x9A\xE8\x9D");
    EXPECT_EQ(dbfio::EncodeField(12.0, c, 1250, ConvertMode::Strict), "12");
    EXPECT_EQ(dbfio::EncodeField(1.5, c, 1250, ConvertMode::Lenient, 2), "1.50");
    EXPECT_THROW(dbfio::EncodeField(12345.0, c, 1250, ConvertMode::Strict), EDbfException);
    EXPECT_EQ(dbfio::EncodeField(12345.0, c, 1250, ConvertMode::Lenient), "");
    EXPECT_EQ(dbfio::EncodeField(std::string(" 7.25 "), n, 1250, ConvertMode::Strict), " 7.3");
    EXPECT_EQ(dbfio::EncodeField(TValue{}, n, 1250, ConvertMode::Strict), "");
    EXPECT_THROW(dbfio::EncodeField(true, n, 1250, ConvertMode::Strict), EDbfException);
    EXPECT_EQ(dbfio::EncodeField(std::string("t"), l, 1250, ConvertMode::Strict), "T");
    EXPECT_EQ(dbfio::EncodeField(std::string("maybe"), l, 1250, ConvertMode::Lenient), "");
    EXPECT_EQ(dbfio::EncodeField(std::string("2001-02-03"), d, 1250, ConvertMode::Strict), "20010203");
    EXPECT_EQ(dbfio::EncodeField(TDate{2001, 2, 3}, d, 1250, ConvertMode::Strict), "20010203");
    EXPECT_THROW(dbfio::EncodeField(TDate{2001, 13, 3}, d, 1250, ConvertMode::Strict), EDbfException);
}

TEST(DbfValues, LanguageDrivers) {
    EXPECT_EQ(dbfio::CodePageOfLanguageDriver(0xC8), 1250);
    EXPECT_EQ(dbfio::CodePageOfLanguageDriver(0x64), 852);
    EXPECT_EQ(dbfio::CodePageOfLanguageDriver(0x57), 1252);
    EXPECT_EQ(dbfio::CodePageOfLanguageDriver(0x00), 1250);
    EXPECT_EQ(dbfio::CodePageOfLanguageDriver(0xFE), 1250);
    EXPECT_EQ(dbfio::LanguageDriverOfCodePage(1250), 0xC8);
    EXPECT_EQ(dbfio::LanguageDriverOfCodePage(852), 0x64);
    EXPECT_EQ(dbfio::LanguageDriverOfCodePage(1), std::nullopt);
    for (int cp : {437, 850, 852, 866, 1250, 1251, 1252, 1257})
        EXPECT_EQ(dbfio::CodePageOfLanguageDriver(*dbfio::LanguageDriverOfCodePage(cp)), cp) << cp;
}

TEST(DbfFilterParse, TheThreeFormsThisSystemWrites) {
    auto terms = TDbfFilter::Parse("Cislo=12");
    ASSERT_EQ(terms.size(), 1u);
    EXPECT_EQ(terms[0].Field, "Cislo");
    EXPECT_FALSE(terms[0].IsText);
    EXPECT_EQ(terms[0].Number, 12.0);

    terms = TDbfFilter::Parse("Prvok = 'L'");
    ASSERT_EQ(terms.size(), 1u);
    EXPECT_TRUE(terms[0].IsText);
    EXPECT_EQ(terms[0].Text, "L");

    terms = TDbfFilter::Parse("Id = -73 and Prvok = 'L'");
    ASSERT_EQ(terms.size(), 2u);
    EXPECT_EQ(terms[0].Number, -73.0);
    EXPECT_EQ(terms[1].Field, "Prvok");

    terms = TDbfFilter::Parse("  Prvok='it''s'  AND  x_1 = 2.5 ");
    ASSERT_EQ(terms.size(), 2u);
    EXPECT_EQ(terms[0].Text, "it's");
    EXPECT_EQ(terms[1].Number, 2.5);
    EXPECT_TRUE(TDbfFilter::Parse("").empty());
}

TEST(DbfFilterParse, AnythingElseIsRefusedWithTheExpression) {
    try {
        TDbfFilter::Parse("Cislo > 5");
        FAIL() << "no exception";
    } catch (const EDbfFilterError& e) {
        EXPECT_EQ(e.Message(), "Invalid filter expression: \"=\" expected after Cislo\r(Cislo > 5)");
    }
    for (const char* bad : {"=5", "Cislo=", "Cislo=5 Prvok='L'", "Cislo=5 and", "Cislo=5 and and Id=1",
                            "Prvok='L", "Cislo=-", "Cislo=5;", "(Cislo=5)", "Cislo=5 or Id=1"})
        EXPECT_THROW(TDbfFilter::Parse(bad), EDbfFilterError) << bad;
}

TEST(DbfFilterParse, MatchingComparesNumbersByValueAndTextsExactly) {
    std::vector<FieldLayout> fields = {{"Id", 'N', 4, 0, 1}, {"Prvok", 'C', 3, 0, 5}};
    TDbfFilter f("id = -73 and PRVOK = 'L'", fields);
    EXPECT_TRUE(f.Matches("  -73L  ", 1250));
    EXPECT_TRUE(f.Matches("* -73L  ", 1250));  // the deletion flag is not the filter's business
    EXPECT_FALSE(f.Matches("  -72L  ", 1250));
    EXPECT_FALSE(f.Matches("  -73l  ", 1250));
    EXPECT_FALSE(f.Matches("  -73LL ", 1250));
    EXPECT_FALSE(f.Matches("     L  ", 1250));  // null never equals a number
    TDbfFilter g("Id=-73.0", fields);
    EXPECT_TRUE(g.Matches("  -73   ", 1250));
    EXPECT_THROW(TDbfFilter("Prvok = 1", fields), EDbfFilterError);
    EXPECT_THROW(TDbfFilter("Id = '1'", fields), EDbfFilterError);
    EXPECT_THROW(TDbfFilter("Cislo = 1", fields), EDbfFilterError);
}

} // namespace
} // namespace vexa
