#include "standard/StringList.h"

#include <gtest/gtest.h>

using vexa::TStringList;

TEST(StringList, SortsIgnoringCaseAndIgnoresDuplicates) {
    TStringList list;
    EXPECT_TRUE(list.Add("po"));
    EXPECT_TRUE(list.Add("LE"));
    EXPECT_FALSE(list.Add("PO"));
    EXPECT_FALSE(list.Add("le"));
    EXPECT_TRUE(list.Add("ABC"));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{"ABC", "LE", "po"}));
    EXPECT_EQ(list.IndexOf("Po"), 2);
    EXPECT_EQ(list.IndexOf("P"), -1);
    EXPECT_TRUE(list.Contains("abc"));
}

TEST(StringList, ValuesComeFromTheFirstSortedEntryOfAName) {
    TStringList list;
    list.Add("1=LE");
    list.Add("12=HR;CE");
    list.Add("1=HR");
    list.Add("10=PO");
    EXPECT_EQ(list.Strings(), (std::vector<std::string>{"1=HR", "1=LE", "10=PO", "12=HR;CE"}));
    EXPECT_EQ(list.Values("1"), "HR");
    EXPECT_EQ(list.Values("12"), "HR;CE");
    EXPECT_EQ(list.Values("2"), "");
    EXPECT_EQ(list.IndexOfName("10"), 2);
    EXPECT_EQ(list.Name(3), "12");
    EXPECT_EQ(list.ValueFromIndex(3), "HR;CE");
}
