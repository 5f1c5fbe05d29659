#include "standard/StringList.h"

#include <gtest/gtest.h>

using vexa::TStringList;
using Names = std::vector<std::string>;

TEST(StringList, SortsIgnoringCaseKeepsTheFirstOfEqualNamesAndReadsValues) {
    TStringList list;
    for (const char* s : {"po", "LE", "ABC"}) EXPECT_TRUE(list.Add(s)) << s;
    for (const char* s : {"PO", "le"}) EXPECT_FALSE(list.Add(s)) << s;
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Strings(), (Names{"ABC", "LE", "po"}));
    EXPECT_EQ(list.IndexOf("Po"), 2);
    EXPECT_EQ(list.IndexOf("P"), -1);
    EXPECT_TRUE(list.Contains("abc"));

    TStringList kinds;
    for (const char* s : {"1=LE", "12=HR;CE", "1=HR", "10=PO"}) kinds.Add(s);
    EXPECT_EQ(kinds.Strings(), (Names{"1=HR", "1=LE", "10=PO", "12=HR;CE"}));
    EXPECT_EQ(kinds.Values("1"), "HR");  // the first sorted entry of a name answers
    EXPECT_EQ(kinds.Values("12"), "HR;CE");
    EXPECT_EQ(kinds.Values("2"), "");
    EXPECT_EQ(kinds.IndexOfName("10"), 2);
    EXPECT_EQ(kinds.Name(3), "12");
    EXPECT_EQ(kinds.ValueFromIndex(3), "HR;CE");
}

TEST(StringList, AddingManyAtOnceEqualsAddingOneByOne) {
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i) {
        const int n = (i * 7919) % 1000;
        texts.push_back(std::to_string(n) + (i % 3 == 0 ? "a" : "A") + (i % 5 == 0 ? "" : "."));
    }
    TStringList one, many;
    one.Add("5A");
    many.Add("5A");
    for (const std::string& t : texts) one.Add(t);
    many.AddAll(texts);
    EXPECT_EQ(many.Strings(), one.Strings());
    EXPECT_EQ(many.IndexOf("5a"), one.IndexOf("5a"));
    EXPECT_EQ(many.Strings()[static_cast<std::size_t>(many.IndexOf("5a"))], "5A");  // the entry already there stays
}
