// The line pass: every finding with its code and text, the precedence of the
// rules, the length limit at equality, duplicates in both directions and the cut
// of their list, alike areas, and findings equal to the block's own routines.
#include "checks/CheckTestSupport.h"
#include "dbase/TableDBF.h"
#include "run/OptionMasks.h"

#include <cstdio>
#include <chrono>

using namespace vexa;
using namespace vexa::checkstest;
using testkit::BlockSpec;

namespace {

using Vertices = std::vector<std::pair<double, double>>;

const Vertices kZigzag = {{0, 0}, {10, 5}, {20, 0}, {30, 5}};
const char* kInadmissible = "neprípustný druh vo vrstve";
const char* kRect = "línia mimo rozsah opísaného obdĺžnika";

// A two-vertex line whose links point at other lines, with given areas.
TBlkLine LinkedLine(std::int32_t number, std::int16_t kind, std::int32_t areaA, std::int32_t areaB) {
    TBlkLine line = testkit::MakeLine(number, kind);
    line.NextA = line.PrevA = line.NextB = line.PrevB = number + 100;
    line.AreaA = areaA;
    line.AreaB = areaB;
    line.LastCrd = 1;
    return line;
}

class LineChecks : public CheckFixture {};

TEST_F(LineChecks, EachRuleWithItsCodeAndTextAndOnlyTheFirstThatApplies) {
    BlockSpec content;
    content.AddLine(1, 1, kZigzag).Flags = 4;                                   // curve
    content.AddLine(2, 1, {{100, 0}, {110, 0}}).Rect.MaxX = testkit::R(110.5);  // rectangle
    content.AddLine(3, 1, {{0, 50}, {5, 55}, {10, 50}});                        // duplicate of 4
    content.AddLine(4, 1, {{0, 50}, {5, 55}, {10, 50}}, true);                  // same vertices, other direction
    content.AddLine(5, 1, {{0, 80}, {3, 84}});                                  // length 5, below the limit
    TBlkLine& both = content.AddLine(6, 1, {{200, 0}, {300, 0}});               // curve and bad rectangle
    both.Flags = 4;
    both.Rect.MinY = testkit::R(-1);
    content.AddLine(7, 1, {{0, 90}, {6, 98}});                                          // length 10 = limit
    content.AddLine(8, 1, {{0, 99}, {6.0000001, 107}});                                 // longer than the limit
    content.AddLine(9, 1, {{0, 50}, {5, 55}, {10, 50}}).Flags = 1;                      // deleted duplicate
    content.AddLine(10, 1, {{0, 50}, {5, 54}, {10, 50}}).Rect = content.Lines[2].Rect;  // one vertex moved
    std::string path = Write(content);
    Open();
    Standard->SetGauge(&Gauge);
    EXPECT_EQ(Standard->CheckLines(Blk, LinKrivky | LinMimoMBR | LinDuplikatne | LinDlzka, 10.0), 8);
    // Line 10 has the rectangle of line 3 but not its vertices; it fails the rectangle test only.
    EXPECT_EQ(
        Rows(),
        (std::vector<TErrorRecord>{
            Finding(-12, "LE_1.blk", "L", 1, 1, "krivka"), Finding(-13, "LE_1.blk", "L", 1, 2, kRect),
            Finding(-14, "LE_1.blk", "L", 1, 3, "duplikátne línie: 4"),
            Finding(-14, "LE_1.blk", "L", 1, 4, "duplikátne línie: 3"),
            Finding(-15, "LE_1.blk", "L", 1, 5, "podlimitná dĺžka"), Finding(-12, "LE_1.blk", "L", 1, 6, "krivka"),
            Finding(-15, "LE_1.blk", "L", 1, 7, "podlimitná dĺžka"), Finding(-13, "LE_1.blk", "L", 1, 10, kRect)}))
        << Describe(Rows());
    EXPECT_NE(HeaderTime(path + "/tn.lin", 15), 0u);
    EXPECT_EQ(Gauge.Maximum(), 10);
    EXPECT_EQ(Gauge.Progress(), 10);
    EXPECT_EQ(UI.Messages, 10);
    EXPECT_EQ(UI.Depth, 0);
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
    content.Lines[1].Rect.MinX = content.Lines[1].Rect.MinY = oddZero;
    content.Crds[static_cast<std::size_t>(content.Lines[1].LastCrd)].X = oddZero;
    Write(content);
    Open();
    std::vector<std::string> literal;
    for (const TBlkLine& line : content.Lines) {
        std::string found;
        Blk.FindDuplicateLines(line, found);
        literal.push_back(found);
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
    content.Lines.push_back(LinkedLine(2, 99, 5, 5));
    content.Lines.back().NextA = 2;  // inadmissible with a free end: reported once
    content.Lines.back().NextARev = 1;
    content.AddLine(3, 1, kZigzag).Flags = 4;  // admissible curve: no finding with option 1
    content.AddLine(4, 2, {{0, 0}, {1, 1}});   // admissible, bounds no area, LE is not areas-only
    Write(content);
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinAll & ~LinPloZhoda, 1000), 2);
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-11, "LE_1.blk", "L", 99, 1, kInadmissible),
                                                 Finding(-11, "LE_1.blk", "L", 99, 2, kInadmissible)}))
        << Describe(Rows());
}

TEST_F(LineChecks, FreeEndsAndLinesOutsideAreasInAnAreasOnlyLayer) {
    BlockSpec content;
    content.AddLine(1, 1, {{0, 0}, {1, 1}});
    // Lines 2-5 link to themselves the wrong way round at one end each; 6 and 7 the right way.
    // Each end is set by a function: the record is packed, and a pointer to one of its
    // int32_t fields would be misaligned.
    using End = void (*)(TBlkLine&, std::int32_t);
    const End ends[] = {
        [](TBlkLine& l, std::int32_t n) {
            l.NextA = n;
            l.NextARev = 1;
        },
        [](TBlkLine& l, std::int32_t n) {
            l.NextB = n;
            l.NextBRev = 1;
        },
        [](TBlkLine& l, std::int32_t n) {
            l.PrevA = n;
            l.PrevARev = 0;
        },
        [](TBlkLine& l, std::int32_t n) {
            l.PrevB = n;
            l.PrevBRev = 0;
        },
        [](TBlkLine& l, std::int32_t n) {
            l.NextA = n;
            l.NextARev = 0;
        },
        [](TBlkLine& l, std::int32_t n) {
            l.PrevB = n;
            l.PrevBRev = 1;
        },
    };
    for (std::int32_t n = 2; n <= 7; ++n) {
        TBlkLine line = LinkedLine(n, 1, 7, 8);
        ends[n - 2](line, n);
        content.Lines.push_back(line);
    }
    content.Lines.push_back(LinkedLine(8, 1, 7, 8));
    content.Lines.back().Flags = 2;                     // not topologically usable
    content.Lines.push_back(LinkedLine(9, 1, -1, -1));  // linked, but no area on either side
    Write(content, "PO_1.blk");
    Open("PO_1.blk");
    EXPECT_EQ(Standard->CheckLines(Blk, LinPripustnost, 0), 7);
    std::vector<TErrorRecord> expected;
    for (std::int32_t n : {1, 2, 3, 4, 5, 8, 9})
        expected.push_back(
            Finding(-11, "PO_1.blk", "L", 1, n,
                    n >= 2 && n <= 5 ? "nadbytočná línia v ploche" : "neprípustná línia vo vrstve plôch"));
    EXPECT_EQ(Rows(), expected) << Describe(Rows());
}

// Two stands side by side (1 west, 2 east): the line between them is superfluous when
// the stands are alike.
TEST_F(LineChecks, AlikeAreasByTheirAttributes) {
    const testkit::GridSpec grid = StandGrid(1, 2);
    BlockSpec content;
    testkit::AddAreaGrid(content, grid);
    const std::int32_t middle = grid.LeftLine(0, 1);
    const std::string block = Write(content);
    const TFldDefList fields = {TTableDBF::MakeField("CISLO", TFldType::dbfNumeric, 10, 0),
                                TTableDBF::MakeField("JPRL", TFldType::dbfChar, 20, 0),
                                TTableDBF::MakeField("PLOCHA", TFldType::dbfNumeric, 12, 2),
                                TTableDBF::MakeField("DATUM", TFldType::dbfDate, 8, 0)};
    const TValue null{};
    const TDate date{2020, 1, 2};
    struct Case {
        const char* What;
        bool HasTable;
        std::vector<std::vector<TValue>> Rows;
        bool Alike;
    };
    const std::vector<Case> cases = {
        {"no table", false, {}, true},
        {"equal outside the GIS's columns",
         true,
         {{1.0, std::string("12a"), 100.0, date}, {2.0, std::string("12a"), 250.0, date}},
         true},
        {"different values",
         true,
         {{1.0, std::string("12a"), 100.0, null}, {2.0, std::string("12b"), 100.0, null}},
         false},
        {"one row missing", true, {{1.0, std::string("12a"), 100.0, null}}, false},
        {"nulls are equal", true, {{1.0, std::string("12a"), 100.0, null}, {2.0, std::string("12a"), 7.0, null}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::filesystem::remove(block + "/p0010.dbf");
        if (c.HasTable) testkit::WriteTable(block + "/p0010.dbf", fields, c.Rows);
        Standard->ResetErrorTable();
        Open();
        EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), c.Alike ? 1 : 0);
        std::vector<TErrorRecord> expected;
        if (c.Alike) expected.push_back(Finding(-73, "LE_1.blk", "L", 1, middle, "zhoda prilahlých plôch"));
        EXPECT_EQ(Rows(), expected);
        EXPECT_EQ(Blk.AdjacentAreasMatch(content.Lines[middle - 1]), c.Alike) << "the block's own routine agrees";
    }
    // An inner line (the same area on both sides) and a deleted line never give the finding.
    std::filesystem::remove(block + "/p0010.dbf");
    TBlkLine& line = content.Lines[middle - 1];
    line.AreaB = 1;
    Write(content);
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 0);
    line.AreaB = 2;
    line.Flags = 1;
    Write(content);
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 0);
}

// The pass answers exactly what the block's single-element routines answer.
TEST_F(LineChecks, FindingsEqualTheBlocksOwnRoutines) {
    BlockSpec content;
    testkit::GridLayout grid = testkit::AddAreaGrid(content, StandGrid(4, 5, 2, 4));
    // Faults: copies of grid lines (either direction), broken rectangles, curves, short lines.
    std::int32_t number = grid.Lines.back() + 1;
    for (int i = 0; i < 12; ++i) {
        const TBlkLine& src = content.Lines[static_cast<std::size_t>(i * 7)];
        Vertices v;
        const std::int32_t first = src.FirstCrd, last = src.LastCrd;  // copies: the record is packed
        for (std::int32_t k = std::min(first, last); k <= std::max(first, last); ++k)
            v.emplace_back(double(content.Crds[k].X.Value()), double(content.Crds[k].Y.Value()));
        TBlkLine& copy = content.AddLine(number++, 2, v, i % 2 == 1);
        if (i % 3 == 0) copy.Flags = 4;
        if (i % 4 == 1) copy.Rect.MaxY = testkit::R(copy.Rect.MaxY.Value() + 0.25L);
    }
    for (int i = 0; i < 5; ++i) content.AddLine(number++, 7, {{5000.0 + i, 0}, {5000.0 + i, 0.5 * i + 0.1}});
    content.Lines[30].Flags = 1;  // a deleted grid line
    Write(content);
    std::vector<std::vector<TValue>> rows;
    for (int a = 1; a <= 20; ++a)
        if (a != 7) rows.push_back({double(a), std::string(a % 3 == 0 ? "X" : "Y")});  // area 7 without a row
    testkit::WriteTable(MapDir + "LE_1.blk/p0010.dbf",
                        {TTableDBF::MakeField("CISLO", TFldType::dbfNumeric, 10, 0),
                         TTableDBF::MakeField("JPRL", TFldType::dbfChar, 20, 0)},
                        rows);

    // Reference: the literal routines, line by line, without any cache.
    std::vector<TErrorRecord> expected;
    Open();
    TBlkLine line;
    TBlkRect rect;
    std::string found;
    Blk.ReadNextLine(line);
    while (!Blk.LinesEof()) {
        Blk.ReadNextLine(line);
        if (TBlk::LineDeleted(line)) continue;
        auto add = [&](std::int32_t id, const std::string& text) {
            expected.push_back(Finding(id, "LE_1.blk", "L", line.Kind, line.Number, text));
        };
        if (!TBlk::IsInnerLine(line) && Blk.AdjacentAreasMatch(line)) add(-73, "zhoda prilahlých plôch");
        if (line.Flags & 4)
            add(-12, "krivka");
        else if (!Blk.LineRectOk(line, rect))
            add(-13, kRect);
        else if (Blk.FindDuplicateLines(line, found))
            add(-14, "duplikátne línie: " + found.substr(0, 254));
        else if (line.Length.Value() <= 2.0L)
            add(-15, "podlimitná dĺžka");
    }
    ASSERT_GT(expected.size(), 20u) << "the block has faults of every rule";
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinAll & ~LinPripustnost, 2.0), static_cast<int>(expected.size()));
    EXPECT_EQ(Rows(), expected) << Describe(Rows());
    EXPECT_FALSE(Blk.ReadCache()) << "the read cache is off again after the pass";
}

}  // namespace

namespace {

TEST_F(LineChecks, ManyIdenticalLinesAreFoundInNLogNTime) {
    // 30,000 identical lines (half reversed): each is a duplicate of all others. The search
    // groups the lines by their exact vertices once; it used to compare every pair (5,000
    // took 2 s, 50,000 took 100 s), and a walk over all lines of one hash made it quadratic
    // again later (30,000 took 2.2 s).
    // Timed against a quarter of the lines in the same run (the fastest of three runs
    // each), so that a machine's speed and load cancel out: n log n gives about 4.5 times,
    // comparing the lines of one hash with each other 16 times.
    auto identical = [](int count) {
        BlockSpec lines;
        for (int k = 1; k <= count; ++k) lines.AddLine(k, 1, {{0, 0}, {5, 5}, {10, 0}}, k % 2 == 0);
        lines.AddLine(count + 1, 1, {{0, 0}, {5, 5}, {10, 1}});  // alike rectangle, other vertices
        return lines;
    };
    const int n = 30000;
    Write(identical(n / 4), "LE_2.blk");
    Write(identical(n));
    auto timed = [&](const std::string& block, int& found) {
        double best = 1e9;
        for (int run = 0; run < 3; ++run) {
            if (Blk.Opened()) Blk.Close(false);
            Standard->ResetErrorTable();
            Open(block);
            const auto start = std::chrono::steady_clock::now();
            found = Standard->CheckLines(Blk, LinDuplikatne, 0);
            best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        return best;
    };
    int quarterFound = 0, found = 0;
    const double quarter = timed("LE_2.blk", quarterFound);
    const double whole = timed("LE_1.blk", found);
    EXPECT_EQ(quarterFound, n / 4);
    EXPECT_EQ(found, n);
    std::printf("%d lines %.3f s, %d lines %.3f s\n", n / 4, quarter, n, whole);
    EXPECT_LT(whole, 9 * quarter);
    std::vector<TErrorRecord> rows = Rows();
    ASSERT_EQ(rows.size(), std::size_t(n));
    EXPECT_EQ(rows[0].Chyba.rfind("duplikátne línie: 2,3,4,", 0), 0u);
    EXPECT_EQ(rows[n - 1].Chyba.rfind("duplikátne línie: 1,2,3,", 0), 0u);
    EXPECT_EQ(rows[0].Chyba.size(), rows[1].Chyba.size());
}

}  // namespace
