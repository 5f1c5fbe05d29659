// The line pass: every finding with its code and text, the precedence of the
// rules, the length limit at equality, duplicates in both directions and the cut
// of their list, alike areas, and findings equal to the block's own routines.
#include "checks/CheckTestSupport.h"
#include "checks/TopologyBuilder.h"
#include "dbase/TableDBF.h"
#include "ui/OptionMasks.h"

using namespace vexa;
using namespace vexa::checkstest;
using checkskit::GridSpec;
using testkit::BlockSpec;
using testkit::MakeLine;

namespace {

using Vertices = std::vector<std::pair<double, double>>;

const Vertices kZigzag = {{0, 0}, {10, 5}, {20, 0}, {30, 5}};

std::uint32_t LinesHeaderTime(const std::string& block) {
    auto bytes = testkit::ReadFileBytes(block + "/tn.lin");
    return bytes.at(15) | (bytes.at(16) << 8) | (bytes.at(17) << 16) | (static_cast<std::uint32_t>(bytes.at(18)) << 24);
}

// A fully linked line with given areas (links point at other lines).
TBlkLine LinkedLine(std::int32_t number, std::int16_t kind, std::int32_t areaA, std::int32_t areaB) {
    TBlkLine line = MakeLine(number, kind);
    line.NextA = line.PrevA = line.NextB = line.PrevB = number + 100;
    line.AreaA = areaA;
    line.AreaB = areaB;
    return line;
}

class LineChecks : public CheckFixture {};

TEST_F(LineChecks, NoOptionsOrNoLinesTouchesNothing) {
    BlockSpec content;
    content.AddLine(1, 99, kZigzag).Flags = 4;
    std::string path = Write(content);
    std::string empty = Write(BlockSpec{}, "LE_2.blk");
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, 0, 1000), 0);
    EXPECT_EQ(LinesHeaderTime(path), 0u);
    Open("LE_2.blk");
    EXPECT_EQ(Standard->CheckLines(Blk, LinAll, 1000), 0);
    EXPECT_EQ(LinesHeaderTime(empty), 0u);
    EXPECT_EQ(UI.Shown, 0);
    EXPECT_TRUE(Rows().empty());
}

TEST_F(LineChecks, EachRuleWithItsCodeAndTextAndOnlyTheFirstThatApplies) {
    BlockSpec content;
    content.AddLine(1, 1, kZigzag).Flags = 4;                       // curve
    content.AddLine(2, 1, {{100, 0}, {110, 0}}).Rect.MaxX = testkit::R(110.5);  // rectangle
    content.AddLine(3, 1, {{0, 50}, {5, 55}, {10, 50}});            // duplicate of 4
    content.AddLine(4, 1, {{0, 50}, {5, 55}, {10, 50}}, true);      // same vertices, other direction
    content.AddLine(5, 1, {{0, 80}, {3, 84}});                      // length 5, below the limit
    TBlkLine& both = content.AddLine(6, 1, {{200, 0}, {300, 0}});   // curve and bad rectangle
    both.Flags = 4;
    both.Rect.MinY = testkit::R(-1);
    content.AddLine(7, 1, {{0, 90}, {6, 98}});                      // length 10 = limit
    content.AddLine(8, 1, {{0, 99}, {6.0000001, 107}});             // longer than the limit
    content.AddLine(9, 1, {{0, 50}, {5, 55}, {10, 50}}).Flags = 1;  // deleted duplicate
    content.AddLine(10, 1, {{0, 50}, {5, 54}, {10, 50}}).Rect = content.Lines[2].Rect;  // one vertex moved
    std::string path = Write(content);
    Open();
    Standard->SetGauge(&Gauge);
    EXPECT_EQ(Standard->CheckLines(Blk, LinKrivky | LinMimoMBR | LinDuplikatne | LinDlzka, 10.0), 8);
    std::vector<TErrorRecord> expected = {
        Finding(-12, "LE_1.blk", "L", 1, 1, "krivka"),
        Finding(-13, "LE_1.blk", "L", 1, 2, "línia mimo rozsah opísaného obdĺžnika"),
        Finding(-14, "LE_1.blk", "L", 1, 3, "duplikátne línie: 4"),
        Finding(-14, "LE_1.blk", "L", 1, 4, "duplikátne línie: 3"),
        Finding(-15, "LE_1.blk", "L", 1, 5, "podlimitná dĺžka"),
        Finding(-12, "LE_1.blk", "L", 1, 6, "krivka"),
        Finding(-15, "LE_1.blk", "L", 1, 7, "podlimitná dĺžka"),
    };
    // Line 10 has the rectangle of line 3 but not its vertices; it fails the rectangle test only.
    expected.push_back(Finding(-13, "LE_1.blk", "L", 1, 10, "línia mimo rozsah opísaného obdĺžnika"));
    EXPECT_EQ(Rows(), expected) << Describe(Rows());
    EXPECT_NE(LinesHeaderTime(path), 0u);
    EXPECT_EQ(Gauge.Maximum(), 10);
    EXPECT_EQ(Gauge.Progress(), 10);
    EXPECT_EQ(UI.Messages, 10);
    EXPECT_EQ(UI.Depth, 0);
}

TEST_F(LineChecks, LengthLimitAtEquality) {
    BlockSpec content;
    content.AddLine(1, 1, {{0, 0}, {3, 4}});
    content.AddLine(2, 1, {{0, 10}, {3, 14.000001}});
    Write(content);
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinDlzka, 5.0), 1);
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-15, "LE_1.blk", "L", 1, 1, "podlimitná dĺžka")}));
}

TEST_F(LineChecks, DuplicateListIsCutTo254Characters) {
    BlockSpec content;
    for (int n = 1; n <= 120; ++n) content.AddLine(n, 1, {{0, 0}, {5, 5}, {10, 0}}, n % 2 == 0);
    Write(content);
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinDuplikatne, 0), 120);
    std::vector<TErrorRecord> rows = Rows();
    ASSERT_EQ(rows.size(), 120u);
    std::string others;  // 2,3,...,120
    for (int n = 2; n <= 120; ++n) others += std::to_string(n) + ",";
    others.pop_back();
    ASSERT_GT(others.size(), 254u);
    // The finding is the prefix and the list cut to 254 characters; the table's text
    // column (254 characters) keeps the first 254 characters of that.
    std::string text = "duplikátne línie: " + others.substr(0, 254);
    EXPECT_EQ(rows[0].Chyba, text.substr(0, 256)) << "254 characters, two of them two bytes long";
    EXPECT_EQ(rows[0].Chyba.substr(rows[0].Chyba.size() - 7), "81,82,8");
    EXPECT_EQ(rows[119].Chyba.rfind("duplikátne línie: 1,2,3,4,5,6,", 0), 0u);
    EXPECT_EQ(rows[60].Chyba.rfind("duplikátne línie: 1,2,3,4,5,6,", 0), 0u) << "line 61 is left out of its own list";
    EXPECT_EQ(rows[60].Chyba.find(",61,"), std::string::npos);
}

TEST_F(LineChecks, DuplicatesCompareValuesNotEncodings) {
    BlockSpec content;
    content.AddLine(1, 1, {{0, 0}, {5, 5}, {10, 0}});
    content.AddLine(2, 1, {{0, 0}, {5, 5}, {10, 0}}, true);
    content.AddLine(3, 1, {{0, 0}, {5, 5}, {10, 1}});
    // Line 2 writes its zeros with stray fraction bits: still zero (exponent 0).
    TReal48 oddZero;
    oddZero.Bytes = {0, 7, 0, 0, 0, 0x80};
    content.Lines[1].Rect.MinX = oddZero;
    content.Lines[1].Rect.MinY = oddZero;
    content.Crds[static_cast<std::size_t>(content.Lines[1].LastCrd)].X = oddZero;
    Write(content);
    std::vector<std::string> literal;
    {
        TBlk ref(false);
        ref.Open(MapDir + "LE_1.blk");
        for (std::int32_t n = 1; n <= 3; ++n) {
            std::string found;
            ref.FindDuplicateLines(content.Lines[static_cast<std::size_t>(n - 1)], found);
            literal.push_back(found);
        }
    }
    EXPECT_EQ(literal, (std::vector<std::string>{"2", "1", ""}));
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinDuplikatne, 0), 2);
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-14, "LE_1.blk", "L", 1, 1, "duplikátne línie: 2"),
                                                 Finding(-14, "LE_1.blk", "L", 1, 2, "duplikátne línie: 1")}));
}

TEST_F(LineChecks, AdmissibilityDecidesAlone) {
    BlockSpec content;
    content.AddLine(1, 99, kZigzag).Flags = 4;  // inadmissible curve
    TBlkLine freeEnd = LinkedLine(2, 99, 5, 5);
    freeEnd.NextA = 2;
    freeEnd.NextARev = 1;
    freeEnd.FirstCrd = 0;
    freeEnd.LastCrd = 1;
    content.Lines.push_back(freeEnd);            // inadmissible with a free end: reported once
    content.AddLine(3, 1, kZigzag).Flags = 4;    // admissible curve: no finding with option 1
    content.AddLine(4, 2, {{0, 0}, {1, 1}});     // admissible, bounds no area, LE is not areas-only
    Write(content);
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinAll & ~LinPloZhoda, 1000), 2);
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-11, "LE_1.blk", "L", 99, 1, "neprípustný druh vo vrstve"),
                                                 Finding(-11, "LE_1.blk", "L", 99, 2, "neprípustný druh vo vrstve")}))
        << Describe(Rows());
}

TEST_F(LineChecks, FreeEndsAndLinesOutsideAreasInAnAreasOnlyLayer) {
    BlockSpec content;
    auto withEnd = [&](std::int32_t number, int which) {
        TBlkLine line = LinkedLine(number, 1, 7, 8);
        line.FirstCrd = 0;
        line.LastCrd = 1;
        switch (which) {
        case 0: line.NextA = number; line.NextARev = 1; break;
        case 1: line.NextB = number; line.NextBRev = 1; break;
        case 2: line.PrevA = number; line.PrevARev = 0; break;
        case 3: line.PrevB = number; line.PrevBRev = 0; break;
        case 4: line.NextA = number; line.NextARev = 0; break;  // points back the right way: no free end
        case 5: line.PrevB = number; line.PrevBRev = 1; break;  // likewise
        }
        content.Lines.push_back(line);
    };
    content.AddLine(1, 1, {{0, 0}, {1, 1}});
    for (int i = 0; i < 6; ++i) withEnd(2 + i, i);
    TBlkLine unusable = LinkedLine(8, 1, 7, 8);
    unusable.Flags = 2;  // not topologically usable
    unusable.FirstCrd = 0;
    unusable.LastCrd = 1;
    content.Lines.push_back(unusable);
    content.Lines.push_back(LinkedLine(9, 1, -1, -1));  // linked, but no area on either side
    content.Lines.back().FirstCrd = 0;
    content.Lines.back().LastCrd = 1;
    Write(content, "PO_1.blk");
    Open("PO_1.blk");
    EXPECT_EQ(Standard->CheckLines(Blk, LinPripustnost, 0), 7);
    const char* outside = "neprípustná línia vo vrstve plôch";
    const char* superfluous = "nadbytočná línia v ploche";
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{
                          Finding(-11, "PO_1.blk", "L", 1, 1, outside), Finding(-11, "PO_1.blk", "L", 1, 2, superfluous),
                          Finding(-11, "PO_1.blk", "L", 1, 3, superfluous), Finding(-11, "PO_1.blk", "L", 1, 4, superfluous),
                          Finding(-11, "PO_1.blk", "L", 1, 5, superfluous), Finding(-11, "PO_1.blk", "L", 1, 8, outside),
                          Finding(-11, "PO_1.blk", "L", 1, 9, outside)}))
        << Describe(Rows());
}

// Two areas of kind 10 side by side (1 west, 2 east) and their attribute table.
class AlikeAreas : public CheckFixture {
protected:
    void SetUp() override {
        CheckFixture::SetUp();
        grid.Rows = 1;
        grid.Cols = 2;
        checkskit::AddAreaGrid(content, grid);
        checkskit::LinkLines(content);
        block = Write(content);
        middle = checkskit::WestLine(grid, 0, 1);
    }
    void Table(const std::vector<std::vector<TValue>>& rows) {
        TFldDefList fields = {TTableDBF::MakeField("CISLO", TFldType::dbfNumeric, 10, 0),
                              TTableDBF::MakeField("JPRL", TFldType::dbfChar, 20, 0),
                              TTableDBF::MakeField("PLOCHA", TFldType::dbfNumeric, 12, 2),
                              TTableDBF::MakeField("DATUM", TFldType::dbfDate, 8, 0)};
        TTableDBF::CreateTable(block + "/p0010.dbf", fields);
        TTableDBF table;
        table.SetDatabaseName(block);
        table.SetTableName("p0010.dbf");
        table.Open();
        for (const auto& row : rows) table.AppendRecord(row);
        table.Close();
    }
    GridSpec grid;
    BlockSpec content;
    std::string block;
    std::int32_t middle = 0;
};

TEST_F(AlikeAreas, WithoutRowsTheMiddleLineIsSuperfluous) {
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 1);
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-73, "LE_1.blk", "L", 1, middle, "zhoda prilahlých plôch")}));
}

TEST_F(AlikeAreas, EqualValuesOutsideTheGisColumnsAreAlike) {
    Table({{1.0, std::string("12a"), 100.0, TDate{2020, 1, 2}}, {2.0, std::string("12a"), 250.0, TDate{2020, 1, 2}}});
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 1);
    EXPECT_EQ(Blk.AdjacentAreasMatch(content.Lines[middle - 1]), true) << "the block's own routine agrees";
}

TEST_F(AlikeAreas, DifferentValuesOrOneRowMissingAreNotAlike) {
    Table({{1.0, std::string("12a"), 100.0, TValue{}}, {2.0, std::string("12b"), 100.0, TValue{}}});
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 0);
    Blk.Close();
    Table({{1.0, std::string("12a"), 100.0, TValue{}}});
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 0);
    Blk.Close();
    Table({{1.0, std::string("12a"), 100.0, TValue{}}, {2.0, std::string("12a"), 7.0, TValue{}}});
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 1) << "nulls are equal, the area column is the GIS's";
}

TEST_F(AlikeAreas, InnerLinesAndDeletedLinesNeverGiveTheFinding) {
    content.Lines[middle - 1].AreaA = content.Lines[middle - 1].AreaB = 1;  // same area on both sides
    Write(content);
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 0);
    Blk.Close();
    content.Lines[middle - 1].AreaA = 1;
    content.Lines[middle - 1].AreaB = 2;
    content.Lines[middle - 1].Flags = 1;
    Write(content);
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 0);
}

// The pass answers exactly what the block's single-element routines answer.
TEST_F(LineChecks, FindingsEqualTheBlocksOwnRoutines) {
    BlockSpec content;
    GridSpec grid;
    grid.Rows = 4;
    grid.Cols = 5;
    grid.LinesPerEdge = 2;
    grid.VerticesPerLine = 4;
    grid.FirstLine = 1;
    checkskit::GridResult end = checkskit::AddAreaGrid(content, grid);
    checkskit::LinkLines(content);
    // Faults: copies of grid lines (either direction), broken rectangles, curves, short lines.
    std::int32_t number = end.NextLine;
    for (int i = 0; i < 12; ++i) {
        const TBlkLine& src = content.Lines[static_cast<std::size_t>(i * 7)];
        Vertices v;
        std::int32_t lo = std::min(src.FirstCrd, src.LastCrd), hi = std::max(src.FirstCrd, src.LastCrd);
        for (std::int32_t k = lo; k <= hi; ++k) v.emplace_back(double(content.Crds[k].X.Value()), double(content.Crds[k].Y.Value()));
        TBlkLine& copy = content.AddLine(number++, 2, v, i % 2 == 1);
        if (i % 3 == 0) copy.Flags = 4;
        if (i % 4 == 1) copy.Rect.MaxY = testkit::R(copy.Rect.MaxY.Value() + 0.25L);
    }
    for (int i = 0; i < 5; ++i) content.AddLine(number++, 7, {{5000.0 + i, 0}, {5000.0 + i, 0.5 * i + 0.1}});
    content.Lines[30].Flags = 1;  // a deleted grid line
    Write(content);
    {
        TFldDefList fields = {TTableDBF::MakeField("CISLO", TFldType::dbfNumeric, 10, 0),
                              TTableDBF::MakeField("JPRL", TFldType::dbfChar, 20, 0)};
        TTableDBF::CreateTable(MapDir + "LE_1.blk/p0010.dbf", fields);
        TTableDBF table;
        table.SetDatabaseName(MapDir + "LE_1.blk");
        table.SetTableName("p0010.dbf");
        table.Open();
        for (int a = 1; a <= 20; ++a) {
            if (a == 7) continue;  // one area without a row
            table.AppendRecord({double(a), std::string(a % 3 == 0 ? "X" : "Y")});
        }
        table.Close();
    }

    // Reference: the literal routines, line by line, without any cache.
    std::vector<TErrorRecord> expected;
    {
        TBlk ref(false);
        ref.Open(MapDir + "LE_1.blk");
        TBlkLine line;
        TBlkRect rect;
        std::string found;
        ref.ReadNextLine(line);
        while (!ref.LinesEof()) {
            ref.ReadNextLine(line);
            if (TBlk::LineDeleted(line)) continue;
            if (!TBlk::IsInnerLine(line) && ref.AdjacentAreasMatch(line))
                expected.push_back(Finding(-73, "LE_1.blk", "L", line.Kind, line.Number, "zhoda prilahlých plôch"));
            if (line.Flags & 4)
                expected.push_back(Finding(-12, "LE_1.blk", "L", line.Kind, line.Number, "krivka"));
            else if (!ref.LineRectOk(line, rect))
                expected.push_back(Finding(-13, "LE_1.blk", "L", line.Kind, line.Number,
                                           "línia mimo rozsah opísaného obdĺžnika"));
            else if (ref.FindDuplicateLines(line, found))
                expected.push_back(Finding(-14, "LE_1.blk", "L", line.Kind, line.Number,
                                           "duplikátne línie: " + found.substr(0, 254)));
            else if (line.Length.Value() <= 2.0L)
                expected.push_back(Finding(-15, "LE_1.blk", "L", line.Kind, line.Number, "podlimitná dĺžka"));
        }
    }
    ASSERT_GT(expected.size(), 20u) << "the block has faults of every rule";
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinAll & ~LinPripustnost, 2.0), static_cast<int>(expected.size()));
    EXPECT_EQ(Rows(), expected) << Describe(Rows());
    EXPECT_FALSE(Blk.ReadCache()) << "the read cache is off again after the pass";
}

} // namespace
