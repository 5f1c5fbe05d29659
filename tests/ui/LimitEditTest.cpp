#include "ui/LimitEdit.h"

#include <gtest/gtest.h>

using namespace vexa;

namespace {
// Types keys into an edit the way the key filter lets them through.
std::string Type(const std::string& keys) {
    std::string text;
    for (char c : keys) {
        if (!LimitKeyAccepted(static_cast<unsigned char>(c), text)) continue;
        if (c == '\b') {
            if (!text.empty()) text.pop_back();
        } else {
            text += c;
        }
    }
    return text;
}
} // namespace

TEST(LimitEdit, KeyFilterTakesDigitsBackspaceAndOneSeparator) {
    EXPECT_EQ(Type("1.2.3"), "1.23");
    EXPECT_EQ(Type("-5"), "5");
    EXPECT_EQ(Type("1,5e3"), "153");
    EXPECT_EQ(Type("12\b.\b.7"), "1.7");
    EXPECT_TRUE(LimitKeyAccepted(U'.', "12"));
    EXPECT_FALSE(LimitKeyAccepted(U'.', "1.2"));
    EXPECT_FALSE(LimitKeyAccepted(U' ', ""));
    EXPECT_FALSE(LimitKeyAccepted(U'ľ', ""));
    EXPECT_TRUE(LimitKeyAccepted(kBackspace, "1.2"));
}

TEST(LimitEdit, LeavingWritesTheShortestNumberOrZero) {
    EXPECT_EQ(NormalizeLimitText("0.50"), "0.5");
    EXPECT_EQ(NormalizeLimitText("12."), "12");
    EXPECT_EQ(NormalizeLimitText(".5"), "0.5");
    EXPECT_EQ(NormalizeLimitText("007"), "7");
    EXPECT_EQ(NormalizeLimitText("1.23"), "1.23");
    EXPECT_EQ(NormalizeLimitText(""), "0");
    EXPECT_EQ(NormalizeLimitText("."), "0");
    // Pasted text is not filtered by keys: never a negative or foreign number.
    EXPECT_EQ(NormalizeLimitText("-5"), "0");
    EXPECT_EQ(NormalizeLimitText("abc"), "0");
    EXPECT_DOUBLE_EQ(LimitValue("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(LimitValue(""), 0.0);
}
