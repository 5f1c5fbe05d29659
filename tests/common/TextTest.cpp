#include "common/Text.h"
#include "common/Utf8.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>

using namespace vexa;

TEST(Text, FormatAndCase) {
    EXPECT_EQ(Format("Prvok neexistuje\r(%s, %s:%d)", "/m/a.blk/", "L", 3), "Prvok neexistuje\r(/m/a.blk/, L:3)");
    EXPECT_EQ(UpperAscii("le_12abč"), "LE_12ABč");  // only ASCII letters change
    EXPECT_EQ(LowerAscii("TN.LIN"), "tn.lin");
    EXPECT_TRUE(SameTextAscii("Cislo", "CISLO"));
    EXPECT_FALSE(SameTextAscii("Cislo", "Cisla"));
    EXPECT_EQ(Trim(" \t ab c\r\n"), "ab c");
}

TEST(Text, NumbersReadWholeTextOnly) {
    EXPECT_EQ(TextToInt("-73"), -73);
    EXPECT_EQ(TextToInt("+5"), 5);
    EXPECT_FALSE(TextToInt("12a").has_value());
    EXPECT_FALSE(TextToInt("").has_value());
    EXPECT_EQ(TextToFloat("0.50"), 0.5);
    EXPECT_FALSE(TextToFloat("1,5").has_value());
    EXPECT_EQ(FloatToText(0.1), "0.1");
    EXPECT_EQ(FloatToText(12.0), "12");
    double v = 1.0 / 3.0;
    EXPECT_EQ(TextToFloat(FloatToText(v)), v);  // shortest text still round-trips
}

// Whole numbers are read by a path of their own: each gives what std::from_chars gives
// (the sign of zero included), and what it refuses stays refused.
TEST(Text, WholeNumbersReadAsFromCharsReadsThem) {
    for (const std::string text : {"0", "-0", "7", "+12", "007", "-42", "123456789012345", "-999999999999999",
                                   "1234567890123456", "9007199254740993", "+-5", "1.0000", "-12.5"}) {
        const std::string unsigned_ = text[0] == '+' ? text.substr(1) : text;
        double expected = 0;
        const auto r = std::from_chars(unsigned_.data(), unsigned_.data() + unsigned_.size(), expected);
        ASSERT_EQ(r.ptr, unsigned_.data() + unsigned_.size()) << text;
        const auto got = TextToFloat(text);
        ASSERT_TRUE(got.has_value()) << text;
        EXPECT_EQ(*got, expected) << text;
        EXPECT_EQ(std::signbit(*got), std::signbit(expected)) << text;
    }
    for (const char* text : {"", "+", "-", "12 ", " 12", "1-2", "--5", "++5", "0x10", "12a"})
        EXPECT_FALSE(TextToFloat(text).has_value()) << text;
}

TEST(Text, CodePage1250RoundTrip) {
    const std::string slovak = "ľščťžýáíé ĽŠČŤŽÝÁÍÉ ôň";
    std::string bytes = FromUtf8(slovak, 1250);
    EXPECT_EQ(bytes.size(), 22u);                           // one byte per character in code page 1250
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xBE);  // ľ
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0x9A);  // š
    EXPECT_EQ(ToUtf8(bytes, 1250), slovak);
}

TEST(Text, UnconvertibleCharactersBecomeQuestionMarks) {
    EXPECT_EQ(FromUtf8("a€b", 852), "a?b");  // no euro sign in code page 852
    EXPECT_EQ(FromUtf8("x\xff"
                       "y",
                       1250),
              "x?y");  // broken UTF-8 input
}

TEST(Text, Utf8CodePoints) {
    const std::string s = "ľ€𝄞a";
    std::u32string cps = DecodeUtf8(s);
    ASSERT_EQ(cps.size(), 4u);
    EXPECT_EQ(cps[0], U'ľ');
    EXPECT_EQ(cps[2], U'\U0001D11E');
    EXPECT_EQ(EncodeUtf8(cps), s);
    EXPECT_EQ(DecodeUtf8("a\xff"), std::u32string(U"a\u00ff"));  // a stray byte stands for itself
}

// Bytes that are not UTF-8 (a Latin-1 name, a cut or overlong sequence, a surrogate): escaped
// when printed; valid text passes whole.
TEST(Text, BytesThatAreNotUtf8) {
    EXPECT_EQ(EscapeControlChars("LE_0000\xe9.blk"), "LE_0000\\xE9.blk");
    EXPECT_EQ(EscapeControlChars("LE_0000é.blk\t\x7f"), "LE_0000é.blk\\t\\x7F");
    EXPECT_EQ(EscapeControlChars("\xc3"), "\\xC3");                // cut at the end
    EXPECT_EQ(EscapeControlChars("\xc0\xaf"), "\\xC0\\xAF");      // overlong '/'
    EXPECT_EQ(EscapeControlChars("\xed\xa0\x80"), "\\xED\\xA0\\x80");  // a surrogate
    EXPECT_EQ(EscapeControlChars("\xf0\x9f\x8c\xb2"), "\xf0\x9f\x8c\xb2");  // U+1F332 whole
    EXPECT_EQ(Utf8SequenceAt("aé", 0), 1u);
    EXPECT_EQ(Utf8SequenceAt("aé", 1), 2u);
    EXPECT_EQ(Utf8SequenceAt("\xf4\x90\x80\x80", 0), 0u);  // beyond U+10FFFF
}

TEST(Text, OnlyBytesThatAreNotUtf8Escaped) {
    EXPECT_EQ(EscapeInvalidUtf8("LE_0000\xe9.blk"), "LE_0000\\xE9.blk");
    EXPECT_EQ(EscapeInvalidUtf8("a\tč\x01"), "a\tč\x01");
}
