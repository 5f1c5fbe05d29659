// The table of finding kinds and what is made from it: each named row, the attribute
// tables' kinds, the group masks and the check boxes' bits and rows.
#include "standard/CheckRunSupport.h"
#include "standard/FindingKinds.h"
#include "run/OptionMasks.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace vexa;

// A pass hands the row of its finding: a code number does not compile.
template <typename Finding>
constexpr bool PassTakes = requires(checkrun::TCheckPass& p, Finding f) { p.Add(f, std::int16_t{1}, 1); };
template <typename Finding>
constexpr bool PassTakesWithText =
    requires(checkrun::TCheckPass& p, Finding f) { p.Add(f, std::int16_t{1}, 1, std::string("krivka")); };
static_assert(PassTakes<TFindingKind> && PassTakesWithText<TFindingKind>);
static_assert(!PassTakes<int> && !PassTakesWithText<int> && !PassTakes<std::int32_t>);

// The line rules' precedence the line pass follows and vexa-check's help tells: admissibility
// alone, then curves, rectangles, duplicates and length in this order, alike areas apart.
TEST(FindingKinds, TheLinePrecedenceIsThePublishedOne) {
    EXPECT_EQ(LinePrecedence.Alone, option::LinPripustnost);
    const std::array<std::uint16_t, 4> order{option::LinKrivky, option::LinMimoMBR, option::LinDuplikatne,
                                             option::LinDlzka};
    EXPECT_EQ(LinePrecedence.FirstFound, order);
    EXPECT_EQ(LinePrecedence.Apart, option::LinPloZhoda);
}

// The codes and letters a finding of each kind carries in Chyby.DBF: what the error
// browser and every reader of an old table select by.
TEST(FindingKinds, EachNamedRowCarriesItsCodeAndLetter) {
    const std::map<TFindingKind, std::pair<int, char>> written = {
        {kind::LineAdmissibility, {-11, 'L'}}, {kind::LineCurve, {-12, 'L'}},
        {kind::LineOutsideRectangle, {-13, 'L'}}, {kind::LineDuplicates, {-14, 'L'}},
        {kind::LineLength, {-15, 'L'}},        {kind::LineAlikeAreas, {-73, 'L'}},
        {kind::LineTables, {-91, 'L'}},        {kind::PointAdmissibility, {-31, 'B'}},
        {kind::PointRotation, {-32, 'B'}},     {kind::PointTables, {-92, 'B'}},
        {kind::TextAdmissibility, {-51, 'T'}}, {kind::TextRotation, {-52, 'T'}},
        {kind::AreaAdmissibility, {-71, 'P'}}, {kind::AreaTopology, {-72, 'P'}},
        {kind::AreaSize, {-74, 'P'}},          {kind::AreaTables, {-93, 'P'}},
    };
    ASSERT_EQ(written.size(), FindingCodes.size());
    for (const auto& [k, codeLetter] : written) {
        const TFindingCode& row = FindingRow(k);
        EXPECT_EQ(row.Kind, k);
        EXPECT_EQ(row.Code, codeLetter.first);
        EXPECT_EQ(row.Letter, codeLetter.second) << row.Code;
        // Every finding of an element pass has its text in its row; the tables' findings
        // give theirs (which table, which fault) each time.
        EXPECT_EQ(row.Text == nullptr, row.Group == TCheckGroup::Databases) << row.Code;
    }
    EXPECT_STREQ(FindingRow(kind::LineCurve).Text, "krivka");
    EXPECT_STREQ(FindingRow(kind::AreaSize).Text, "podlimitná plocha");
    EXPECT_EQ(DatabaseFindingKind('L'), kind::LineTables);
    EXPECT_EQ(DatabaseFindingKind('B'), kind::PointTables);
    EXPECT_EQ(DatabaseFindingKind('P'), kind::AreaTables);
    EXPECT_EQ(DatabaseFindingKind('T'), std::nullopt) << "text tables are not checked";
}

// The masks that vexa-check accepts and the screen rows of the limit edits, made from the
// bits of the table and the lists of boxes.
TEST(FindingKinds, MasksAndLimitRowsComeFromTheBits) {
    EXPECT_EQ(option::LinAll, 63);
    EXPECT_EQ(option::BodAll, 3);
    EXPECT_EQ(option::TxbAll, 3);
    EXPECT_EQ(option::PloAll, 7);
    EXPECT_EQ(option::DBAll, 15);
    EXPECT_EQ(FindingBits(TCheckGroup::Databases), option::DBKontAtr) << "the repairs write no finding";
    EXPECT_EQ(kLinLimitRow, 5) << "the length box is the sixth row";
    EXPECT_EQ(kPloLimitRow, 2);
    EXPECT_STREQ(LinOptionBoxes[kLinLimitRow].Name, "LinCBDlzka");
    EXPECT_STREQ(PloOptionBoxes[kPloLimitRow].Name, "PloCBPlocha");
    EXPECT_EQ(BoxRow(LinOptionBoxes, 64), -1);
}

}  // namespace
