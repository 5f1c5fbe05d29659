#include "ui/BlockGrid.h"
#include "ui/GridRules.h"
#include "ui/GroupMask.h"

#include "common/Exception.h"

#include <gtest/gtest.h>

using namespace vexa;

TEST(GridRules, NameCellColourFollowsBothGlyphCells) {
    EXPECT_EQ(NameCellColour("", ""), TRowColour::Window);
    EXPECT_EQ(NameCellColour("1", "3"), TRowColour::Conforming);
    EXPECT_EQ(NameCellColour("1", "2"), TRowColour::Other);
    EXPECT_EQ(NameCellColour("0", ""), TRowColour::Other);
    EXPECT_EQ(NameCellColour("1", ""), TRowColour::Other);
    EXPECT_EQ(kConformingColour, (TRgb{181, 232, 191}));
    EXPECT_EQ(kOtherColour, (TRgb{247, 201, 198}));
}

TEST(GridRules, GlyphIsCentredWithTruncatingDivision) {
    // Column 53 wide, row 24 high at (100, 48): (53-16)/2 = 18, (24-16)/2 = 4.
    TCellRect cell{100, 48, 153, 72};
    EXPECT_EQ(GlyphRect(cell), (TCellRect{118, 52, 134, 68}));
    // A cell narrower than the glyph: (10-16)/2 = -3 (toward zero, not -3.0 floored to -3 by chance).
    TCellRect narrow{0, 0, 9, 15};
    EXPECT_EQ(GlyphRect(narrow).Left, -3);  // (9-16)/2 = -3.5 -> -3
    EXPECT_EQ(GlyphRect(narrow).Top, 0);    // (15-16)/2 = -0.5 -> 0
    EXPECT_EQ(CentredOffset(7, 2), 2);
}

TEST(GridRules, ClickTogglesOnlyStrictlyInsideTheGlyph) {
    TCellRect cell{100, 48, 153, 72};  // glyph 118..134 x 52..68
    std::string value = "3";
    EXPECT_TRUE(ToggleByClick(value, cell, 125, 60));
    EXPECT_EQ(value, "2");
    EXPECT_TRUE(ToggleByClick(value, cell, 119, 53));
    EXPECT_EQ(value, "3");
    // On the border or outside: nothing changes.
    for (auto [x, y] : {std::pair{118, 60}, {134, 60}, {125, 52}, {125, 68}, {105, 60}, {125, 70}}) {
        EXPECT_FALSE(ToggleByClick(value, cell, x, y)) << x << "," << y;
        EXPECT_EQ(value, "3");
    }
    std::string empty;
    EXPECT_FALSE(ToggleByClick(empty, cell, 125, 60));
    EXPECT_EQ(empty, "");
    // Any value other than "2" becomes "2".
    EXPECT_EQ(ToggledSelection("2"), "3");
    EXPECT_EQ(ToggledSelection("x"), "2");
}

TEST(GroupMask, SumsAbsoluteTagsOfTickedBoxesIn16Bits) {
    EXPECT_EQ(GroupBoxMask({}), 0);
    EXPECT_EQ(GroupBoxMask({{1, true}, {2, false}, {4, true}, {8, false}, {32, true}, {16, true}}), 53);
    EXPECT_EQ(GroupBoxMask({{-4, true}, {2, true}}), 6);
    EXPECT_EQ(GroupBoxMask({{0x8000, true}, {0x8000, true}, {1, true}}), 1);  // wraps at 16 bits
}

namespace {
TBlockGrid GridOf(const std::vector<TBlockGrid::TRow>& rows) {
    TBlockGrid g;
    g.SetBlocks(rows);
    return g;
}
} // namespace

TEST(BlockGrid, StartsWithTitlesAndOneEmptyRow) {
    TBlockGrid g;
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.Row(0), (TBlockGrid::TRow{"názov", "kontrola", "vrstva"}));
    EXPECT_EQ(g.Row(1), TBlockGrid::TRow{});
    EXPECT_TRUE(g.HasNoBlock());
    EXPECT_TRUE(g.RowsToCheck().empty());
    EXPECT_THROW(g.Cell(0, 2), Exception);
}

TEST(BlockGrid, SetBlocksReplacesRowsAndKeepsOneEmptyRowForNone) {
    TBlockGrid g = GridOf({{"1", "3", "LE_00001.blk"}, {"0", "", "abc.blk"}, {"1", "3", "PO_00002.blk"}});
    EXPECT_EQ(g.RowCount(), 4);
    EXPECT_FALSE(g.HasNoBlock());
    g.SetCell(kColKontrola, 3, "2");
    EXPECT_EQ(g.RowsToCheck(), (std::vector<int>{1}));
    g.SetBlocks({});
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_TRUE(g.HasNoBlock());
    EXPECT_EQ(g.Cell(kColVrstva, 0), "vrstva");
}

TEST(BlockGrid, DeletingTheMiddleRowKeepsOrderAndMakesTheNextCurrent) {
    TBlockGrid g = GridOf({{"1", "3", "A_1.blk"}, {"0", "", "B.blk"}, {"1", "2", "C_3.blk"}});
    g.SetCurrentRow(2);
    EXPECT_FALSE(g.DeleteRow(2));
    EXPECT_EQ(g.RowCount(), 3);
    EXPECT_EQ(g.Row(1), (TBlockGrid::TRow{"1", "3", "A_1.blk"}));
    EXPECT_EQ(g.Row(2), (TBlockGrid::TRow{"1", "2", "C_3.blk"}));
    EXPECT_EQ(g.CurrentRow(), 2);
    // Deleting the last row moves the current row onto the new last one.
    EXPECT_FALSE(g.DeleteRow(2));
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.CurrentRow(), 1);
    // The only block: one empty row remains and the caller disables the delete button.
    EXPECT_TRUE(g.DeleteRow(1));
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_TRUE(g.HasNoBlock());
    EXPECT_THROW(g.DeleteRow(0), Exception);
}

TEST(BlockGrid, RenameSetsStatusFromTheLayerAndKeepsAChosenSelection) {
    TBlockGrid g = GridOf({{"0", "", "xx_1.blk"}, {"1", "2", "LE_2.blk"}, {"1", "3", "LE_3.blk"}});
    g.ApplyRename(1, "LE_00001.blk", true);
    EXPECT_EQ(g.Row(1), (TBlockGrid::TRow{"1", "3", "LE_00001.blk"}));
    g.ApplyRename(2, "PO_2.blk", true);
    EXPECT_EQ(g.Row(2), (TBlockGrid::TRow{"1", "2", "PO_2.blk"}));
    g.ApplyRename(3, "QQ_3.blk", false);
    EXPECT_EQ(g.Row(3), (TBlockGrid::TRow{"0", "", "QQ_3.blk"}));
}
