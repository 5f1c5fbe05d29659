// The block grid, its cell rules, the option masks and the limit edits, without a window.
#include "ui/BlockGrid.h"
#include "ui/GridRules.h"
#include "ui/GroupMask.h"
#include "ui/LimitEdit.h"

#include "common/Exception.h"

#include <gtest/gtest.h>

using namespace vexa;
using Row = TBlockGrid::TRow;

TEST(GridRules, NameCellColourFollowsBothGlyphCells) {
    const std::tuple<const char*, const char*, TRowColour> cases[] = {{"", "", TRowColour::Window},
                                                                      {"1", "3", TRowColour::Conforming},
                                                                      {"1", "2", TRowColour::Other},
                                                                      {"0", "", TRowColour::Other},
                                                                      {"1", "", TRowColour::Other}};
    for (auto [nazov, kontrola, colour] : cases)
        EXPECT_EQ(NameCellColour(nazov, kontrola), colour) << nazov << "," << kontrola;
}

TEST(GridRules, GlyphIsCentredWithTruncatingDivision) {
    // Column 53 wide, row 24 high at (100, 48): (53-16)/2 = 18, (24-16)/2 = 4.
    EXPECT_EQ(GlyphRect(TCellRect{100, 48, 153, 72}), (TCellRect{118, 52, 134, 68}));
    // Narrower than the glyph: (9-16)/2 = -3.5 -> -3 and (15-16)/2 = -0.5 -> 0, toward zero.
    EXPECT_EQ(GlyphRect(TCellRect{0, 0, 9, 15}), (TCellRect{-3, 0, 13, 16}));
    EXPECT_EQ(CentredOffset(7, 2), 2);
}

TEST(GridRules, ClickTogglesOnlyStrictlyInsideTheGlyph) {
    const TCellRect cell{100, 48, 153, 72};  // glyph 118..134 x 52..68
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
    EXPECT_EQ(ToggledSelection("x"), "2");  // any value other than "2" becomes "2"
}

TEST(GroupMask, SumsAbsoluteTagsOfTickedBoxesIn16Bits) {
    EXPECT_EQ(GroupBoxMask({}), 0);
    EXPECT_EQ(GroupBoxMask({{1, true}, {2, false}, {4, true}, {8, false}, {32, true}, {16, true}}), 53);
    EXPECT_EQ(GroupBoxMask({{-4, true}, {2, true}}), 6);
    EXPECT_EQ(GroupBoxMask({{0x8000, true}, {0x8000, true}, {1, true}}), 1);  // wraps at 16 bits
}

TEST(BlockGrid, StartsWithTitlesAndKeepsOneEmptyRowForNoBlock) {
    TBlockGrid g;
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.Row(0), (Row{"názov", "kontrola", "vrstva"}));
    EXPECT_EQ(g.Row(1), Row{});
    EXPECT_TRUE(g.HasNoBlock());
    EXPECT_TRUE(g.RowsToCheck().empty());
    EXPECT_THROW(g.Cell(0, 2), Exception);
    g.SetBlocks({{"1", "3", "LE_00001.blk"}, {"0", "", "abc.blk"}, {"1", "3", "PO_00002.blk"}});
    EXPECT_EQ(g.RowCount(), 4);
    EXPECT_FALSE(g.HasNoBlock());
    g.SetCell(kColKontrola, 3, "2");
    EXPECT_EQ(g.RowsToCheck(), (std::vector<int>{1}));
    g.SetBlocks({});
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_TRUE(g.HasNoBlock());
    EXPECT_EQ(g.Cell(kColVrstva, 0), "vrstva");
}

TEST(BlockGrid, DeletingARowKeepsOrderAndMovesTheCurrentRow) {
    TBlockGrid g;
    g.SetBlocks({{"1", "3", "A_1.blk"}, {"0", "", "B.blk"}, {"1", "2", "C_3.blk"}});
    g.SetCurrentRow(2);
    EXPECT_FALSE(g.DeleteRow(2));  // the middle row: the next one becomes current
    EXPECT_EQ(g.RowCount(), 3);
    EXPECT_EQ(g.Row(1), (Row{"1", "3", "A_1.blk"}));
    EXPECT_EQ(g.Row(2), (Row{"1", "2", "C_3.blk"}));
    EXPECT_EQ(g.CurrentRow(), 2);
    EXPECT_FALSE(g.DeleteRow(2));  // the last row: the new last one becomes current
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.CurrentRow(), 1);
    // The only block: one empty row remains and the caller disables the delete button.
    EXPECT_TRUE(g.DeleteRow(1));
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_TRUE(g.HasNoBlock());
    EXPECT_THROW(g.DeleteRow(0), Exception);
}

TEST(BlockGrid, RenameSetsStatusFromTheLayerAndKeepsAChosenSelection) {
    TBlockGrid g;
    g.SetBlocks({{"0", "", "xx_1.blk"}, {"1", "2", "LE_2.blk"}, {"1", "3", "LE_3.blk"}});
    g.ApplyRename(1, "LE_00001.blk", true);
    g.ApplyRename(2, "PO_2.blk", true);
    g.ApplyRename(3, "QQ_3.blk", false);
    EXPECT_EQ(g.Row(1), (Row{"1", "3", "LE_00001.blk"}));
    EXPECT_EQ(g.Row(2), (Row{"1", "2", "PO_2.blk"}));
    EXPECT_EQ(g.Row(3), (Row{"0", "", "QQ_3.blk"}));
}

namespace {
// Types keys into an edit the way the key filter lets them through.
std::string Type(const std::string& keys) {
    std::string text;
    for (char c : keys) {
        if (!LimitKeyAccepted(static_cast<unsigned char>(c), text)) continue;
        if (c != '\b')
            text += static_cast<char>(LimitKeyTyped(static_cast<unsigned char>(c)));
        else if (!text.empty())
            text.pop_back();
    }
    return text;
}
}  // namespace

TEST(LimitEdit, KeyFilterTakesDigitsBackspaceAndOneSeparator) {
    // The decimal comma is the same separator and reads as ".": "0,5" is half a metre, not 5.
    for (auto [keys, text] : {std::pair{"1.2.3", "1.23"},
                              {"-5", "5"},
                              {"1,5e3", "1.53"},
                              {"0,5", "0.5"},
                              {"1,2,3", "1.23"},
                              {"1.2,3", "1.23"},
                              {"12\b.\b.7", "1.7"}})
        EXPECT_EQ(Type(keys), text) << keys;
    EXPECT_TRUE(LimitKeyAccepted(U',', "12"));
    EXPECT_FALSE(LimitKeyAccepted(U',', "1.2"));
    EXPECT_EQ(LimitKeyTyped(U','), U'.');
    EXPECT_EQ(LimitKeyTyped(U'7'), U'7');
    EXPECT_TRUE(LimitKeyAccepted(U'.', "12"));
    EXPECT_FALSE(LimitKeyAccepted(U'.', "1.2"));
    EXPECT_FALSE(LimitKeyAccepted(U' ', ""));
    EXPECT_FALSE(LimitKeyAccepted(U'ľ', ""));
    EXPECT_TRUE(LimitKeyAccepted(kBackspace, "1.2"));
}

TEST(LimitEdit, LeavingWritesTheShortestNumberOrZero) {
    // Pasted text is not filtered by keys: never a negative or foreign number.
    for (auto [typed, left] : {std::pair{"0.50", "0.5"},
                               {"12.", "12"},
                               {".5", "0.5"},
                               {"007", "7"},
                               {"1.23", "1.23"},
                               {"", "0"},
                               {".", "0"},
                               {"-5", "0"},
                               {"0,5", "0.5"},
                               {"1,5,0", "0"},
                               {"abc", "0"}})
        EXPECT_EQ(NormalizeLimitText(typed), left) << typed;
    EXPECT_DOUBLE_EQ(LimitValue("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(LimitValue(""), 0.0);
    EXPECT_DOUBLE_EQ(LimitValue("0,5"), 0.5);
}
