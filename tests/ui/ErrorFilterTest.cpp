#include "ui/ErrorFilter.h"

#include <gtest/gtest.h>

using namespace vexa;
using S = std::vector<std::string>;

TEST(ErrorFilter, GroupAndTypeItemsAsListed) {
    EXPECT_EQ(GroupItems(), (S{"všetky", "linie", "body", "texty", "plochy"}));
    EXPECT_EQ(TypeItems(0), S{});
    EXPECT_EQ(TypeItems(1), (S{"všetky", "prípustnosť", "krivky", "mimo MBR", "duplikátne", "zhoda plôch", "dľžka",
                               "databáza"}));
    EXPECT_EQ(TypeItems(2), (S{"všetky", "prípustnosť", "uhol", "databáza"}));
    EXPECT_EQ(TypeItems(3), (S{"všetky", "prípustnosť", "uhol"}));  // texts have no database type
    EXPECT_EQ(TypeItems(4), (S{"všetky", "prípustnosť", "topológia", "plocha", "databáza"}));
    EXPECT_EQ(TypeItems(5), S{});
}

TEST(ErrorFilter, ExpressionsForEveryCodeOfTheTable) {
    EXPECT_EQ(GroupFilter(0), std::nullopt);
    EXPECT_EQ(GroupFilter(1), "Prvok = 'L'");
    EXPECT_EQ(GroupFilter(2), "Prvok = 'B'");
    EXPECT_EQ(GroupFilter(3), "Prvok = 'T'");
    EXPECT_EQ(GroupFilter(4), "Prvok = 'P'");
    EXPECT_EQ(TypeFilter(1, 0), "Prvok = 'L'");
    EXPECT_EQ(TypeFilter(1, 5), "Id = -73 and Prvok = 'L'");
    const std::vector<std::vector<int>> codes = {
        {}, {-11, -12, -13, -14, -73, -15, -91}, {-31, -32, -92}, {-51, -52}, {-71, -72, -74, -93}};
    const char letters[] = " LBTP";
    for (int g = 1; g <= 4; ++g)
        for (size_t t = 0; t < codes[g].size(); ++t)
            EXPECT_EQ(TypeFilter(g, static_cast<int>(t) + 1),
                      "Id = " + std::to_string(codes[g][t]) + " and Prvok = '" + letters[g] + "'");
    EXPECT_EQ(TypeFilter(0, 1), std::nullopt);
    EXPECT_EQ(TypeFilter(3, 3), std::nullopt);
    EXPECT_EQ(QuotedText("a'b"), "'a''b'");
}

TEST(ErrorFilter, CounterText) {
    EXPECT_EQ(RecordCounterText(2, 3), "Záznam: 2/3");
    EXPECT_EQ(RecordCounterText(0, 0), "");
}

TEST(ErrorFilter, ScaleFollowsTheButtons) {
    TShowScale s;
    EXPECT_DOUBLE_EQ(s.Scale(), 1.0);
    EXPECT_TRUE(s.Zoom());
    s.ShowAtScaleOne();
    s.ZoomIn();
    s.ZoomIn();
    EXPECT_DOUBLE_EQ(s.Scale(), 4.0);
    s.ZoomOut();
    EXPECT_DOUBLE_EQ(s.Scale(), 2.0);
    EXPECT_FALSE(s.SetZoom(false));  // turning positioning off sends nothing, keeps the scale
    EXPECT_DOUBLE_EQ(s.Scale(), 2.0);
    EXPECT_FALSE(s.ZoomButtonsEnabled());
    EXPECT_TRUE(s.SetZoom(true));
    EXPECT_DOUBLE_EQ(s.Scale(), 1.0);
    EXPECT_TRUE(s.ZoomButtonsEnabled());
}

TEST(ErrorFilter, ShowRequestOnlyForANumberedElementOfAKnownGroup) {
    const std::string map = "/maps/m1/";
    EXPECT_EQ(ShowRequestFor(map, 12.0, std::string("LE_00001.blk"), std::string("L")),
              (TShowRequest{"/maps/m1/LE_00001.blk", 0, 12}));
    EXPECT_EQ(ShowRequestFor(map, 3.0, std::string("PO_1.blk  "), std::string("P"))->Kind, 2);
    EXPECT_EQ(ShowRequestFor(map, 3.0, std::string("PO_1.blk  "), std::string("P"))->BlockPath, "/maps/m1/PO_1.blk");
    EXPECT_EQ(ShowRequestFor(map, 3.0, std::string("b"), std::string("B"))->Kind, 1);
    EXPECT_EQ(ShowRequestFor(map, 3.0, std::string("b"), std::string("T"))->Kind, 3);
    EXPECT_EQ(ShowRequestFor(map, TValue{}, std::string("b"), std::string("L")), std::nullopt);
    EXPECT_EQ(ShowRequestFor(map, 0.0, std::string("b"), std::string("L")), std::nullopt);
    EXPECT_EQ(ShowRequestFor(map, -4.0, std::string("b"), std::string("L")), std::nullopt);
    EXPECT_EQ(ShowRequestFor(map, 4.0, std::string("b"), std::string("X")), std::nullopt);
    EXPECT_EQ(ShowRequestFor(map, 4.0, std::string("b"), TValue{}), std::nullopt);
    EXPECT_EQ(ShowRequestFor(map, 1e12, std::string("b"), std::string("L")), std::nullopt);
}
