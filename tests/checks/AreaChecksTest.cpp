// The area pass: admissibility, boundary topology (valid grids, broken links, a
// corrupt link cycle, bridges paired and unpaired, ring tolerance), the area
// limit at equality, precedence, deleted areas and the header stamp.
#include "checks/CheckTestSupport.h"
#include "run/OptionMasks.h"

#include <chrono>

using namespace vexa;
using namespace vexa::checkstest;
using testkit::BlockSpec;

namespace {

const char* kTopology = "chybná topológia plochy";

class AreaChecks : public CheckFixture {
protected:
    // A linked grid of rows x cols stands, each side of two lines of three vertices.
    BlockSpec Grid(int rows, int cols) {
        BlockSpec content;
        grid = StandGrid(rows, cols, 2, 3);
        testkit::AddAreaGrid(content, grid);
        return content;
    }
    static TBlkLine& Line(BlockSpec& content, std::int32_t number) {
        return content.Lines.at(static_cast<std::size_t>(number - 1));
    }
    // The area pass over `content` written as LE_1.blk: its count and the error table.
    std::vector<TErrorRecord> Run(const BlockSpec& content, std::uint16_t mask, double limit, int count) {
        Blk.Close();
        Write(content);
        Open();
        EXPECT_EQ(Standard->CheckAreas(Blk, mask, limit), count);
        return Rows();
    }
    testkit::GridSpec grid;
};

TEST_F(AreaChecks, ValidGridHasNoFindingAndTheLimitCountsAtEquality) {
    BlockSpec content = Grid(2, 3);
    std::string path = Write(content);
    Open();
    Standard->SetGauge(&Gauge);
    EXPECT_EQ(Standard->CheckAreas(Blk, PloAll, 0), 0);
    EXPECT_EQ(Gauge.Maximum(), 6);
    EXPECT_EQ(Gauge.Progress(), 6);
    EXPECT_EQ(UI.Messages, 6);
    EXPECT_EQ(UI.Depth, 0);
    EXPECT_NE(HeaderTime(path + "/tn.are", 12), 0u) << "the header was stamped";
    Open();
    EXPECT_EQ(Standard->CheckAreas(Blk, PloPlocha, 9999.99), 0);
    Open();
    EXPECT_EQ(Standard->CheckAreas(Blk, PloPlocha, 10000), 6);
    EXPECT_EQ(Rows().front(), Finding(-74, "LE_1.blk", "P", 10, 1, "podlimitná plocha"));
}

TEST_F(AreaChecks, PrecedenceAdmissibilityThenTopologyThenSize) {
    BlockSpec content = Grid(1, 3);
    content.Areas[0].Kind = 11;  // admissible in PO only
    // Break areas 1 and 2: a back link on each one's walk names the wrong line.
    Line(content, grid.LeftLine(0, 1)).PrevA = grid.BottomLine(0, 2);
    Line(content, grid.LeftLine(0, 2)).PrevA = grid.BottomLine(0, 0);
    content.Areas[2].AreaSize = testkit::R(0);
    content.Areas.push_back(testkit::MakeArea(4, 99, 1));
    content.Areas.back().Flags = 4;  // deleted, inadmissible: never reported
    EXPECT_EQ(Run(content, PloAll, 0, 3),
              (std::vector<TErrorRecord>{Finding(-71, "LE_1.blk", "P", 11, 1, "neprípustný druh vo vrstve"),
                                         Finding(-72, "LE_1.blk", "P", 10, 2, kTopology),
                                         Finding(-74, "LE_1.blk", "P", 10, 3, "podlimitná plocha")}))
        << Describe(Rows());
}

TEST_F(AreaChecks, BrokenBoundaryIsNotExaminedAgainstTheLimit) {
    BlockSpec content = Grid(1, 1);
    Line(content, 1).NextA = -1;  // the start line is not fully linked
    EXPECT_EQ(Run(content, PloTopologia | PloPlocha, 1e9, 1),
              (std::vector<TErrorRecord>{Finding(-72, "LE_1.blk", "P", 10, 1, kTopology)}));
}

TEST_F(AreaChecks, CorruptLinkCycleEndsAsAFinding) {
    // Line 1 leads into lines 2 and 3, whose links send the walk round 3, 2, 3, 2, ...
    // with every back link in order: it never comes back to line 1.
    BlockSpec content;
    for (int n = 1; n <= 3; ++n) {
        TBlkLine& l = content.AddLine(n, 1, {{0.0 + n, 0}, {10.0 + n, 5}});
        l.AreaA = 1;
        l.NextA = l.PrevA = l.NextB = l.PrevB = 1;
    }
    Line(content, 1).NextA = 2;
    Line(content, 2).PrevA = 1;
    Line(content, 2).NextA = 3;
    Line(content, 3).PrevA = 2;
    Line(content, 3).NextA = 2;
    Line(content, 3).NextARev = 1;
    Line(content, 2).NextB = Line(content, 2).PrevB = 3;
    content.Areas.push_back(testkit::MakeArea(1, 10, 1));
    EXPECT_EQ(Run(content, PloTopologia, 0, 1),
              (std::vector<TErrorRecord>{Finding(-72, "LE_1.blk", "P", 10, 1, kTopology)}));
}

TEST_F(AreaChecks, BridgesPairedPassUnpairedFail) {
    // Area 1 with a hole (area 2) reached over a bridge line that lies in area 1 on both sides.
    BlockSpec hole;
    auto ring = [&](std::int32_t first, double lo, double hi, std::int32_t inside, std::int32_t outside) {
        std::vector<std::pair<double, double>> c = {{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}, {lo, lo}};
        for (int k = 0; k < 4; ++k) {
            TBlkLine& l = hole.AddLine(first + k, 1, {c[k], c[k + 1]});
            l.AreaA = inside;
            l.AreaB = outside;
        }
    };
    ring(1, 0, 100, 1, -1);
    ring(5, 40, 60, 2, 1);
    TBlkLine& bridge = hole.AddLine(9, 1, {{0, 0}, {40, 40}});
    bridge.AreaA = bridge.AreaB = 1;
    testkit::LinkLines(hole);
    hole.Areas = {testkit::MakeArea(1, 10, 1), testkit::MakeArea(2, 10, 5)};
    EXPECT_EQ(Run(hole, PloTopologia, 0, 0), std::vector<TErrorRecord>{}) << "a bridge walked there and back pairs up";
    // A boundary line of a plain square that claims area 1 on both sides occurs once.
    BlockSpec square = Grid(1, 1);
    Line(square, grid.LeftLine(0, 1)).AreaB = 1;
    EXPECT_EQ(Run(square, PloTopologia, 0, 1),
              (std::vector<TErrorRecord>{Finding(-72, "LE_1.blk", "P", 10, 1, kTopology)}));
}

TEST_F(AreaChecks, RingIsJoinedWithinOneCentimetre) {
    BlockSpec content = Grid(1, 1);
    // The first vertex of the eastern side moves off the corner after the links are made.
    TBlkCrd& corner = content.Crds[static_cast<std::size_t>(Line(content, grid.LeftLine(0, 1)).FirstCrd)];
    corner.X = testkit::R(corner.X.Value() + 0.005L);
    corner.Y = testkit::R(corner.Y.Value() + 0.002L);
    Run(content, PloTopologia, 0, 0);
    TBlkArea area;
    Blk.FindArea(1, area);
    EXPECT_FALSE(Blk.CheckAreaTopology(area, true, 0.001)) << "the same ends do not meet within a millimetre";
    corner.X = testkit::R(corner.X.Value() + 0.01L);  // now 0.015 off
    Run(content, PloTopologia, 0, 1);
}

TEST_F(AreaChecks, FindingsEqualTheBlocksOwnRoutine) {
    BlockSpec content = Grid(5, 6);
    Line(content, 3).PrevA = 9;
    Line(content, 40).NextB = -1;
    Line(content, 77).AreaA = Line(content, 77).AreaB;
    content.Crds[static_cast<std::size_t>(Line(content, 120).LastCrd)].X = testkit::R(7);
    content.Areas[17].FirstLine = 2;  // a line that does not border the area
    content.Areas[20].Flags = 4;
    Write(content);
    std::vector<TErrorRecord> expected;
    Open();
    TBlkArea area;
    Blk.ReadNextArea(area);
    while (!Blk.AreasEof()) {
        Blk.ReadNextArea(area);
        if (!TBlk::AreaDeleted(area) && !Blk.CheckAreaTopology(area, true, 0.01))
            expected.push_back(Finding(-72, "LE_1.blk", "P", area.Kind, area.Number, kTopology));
    }
    ASSERT_GE(expected.size(), 5u);
    EXPECT_EQ(Run(content, PloTopologia, 0, static_cast<int>(expected.size())), expected) << Describe(Rows());
    EXPECT_FALSE(Blk.ReadCache());
}

}  // namespace

namespace {

TEST_F(AreaChecks, TheBoundaryWalksOfABlockAreBoundedInTotal) {
    // A cycle of 20,000 inner lines that 20,000 areas lead into: each walk would go round it
    // twice before giving up (1.6 * 10^9 steps in all); the walk budget ends them all early.
    BlockSpec content;
    const int cycle = 20000, areas = 20000;
    for (int n = 1; n <= cycle; ++n) {
        TBlkLine& l = content.AddLine(n, 1, {{0.0 + n, 0}, {1.0 + n, 1}});
        l.AreaA = l.AreaB = 1;
        l.NextA = l.PrevB = 1;  // linked at both ends: a topological line
        l.NextB = n % cycle + 1;
        l.PrevA = (n + cycle - 2) % cycle + 1;
    }
    for (int a = 1; a <= areas; ++a) {
        TBlkLine& l = content.AddLine(cycle + a, 1, {{0.0 + a, 2}, {1.0 + a, 3}});
        l.AreaA = l.AreaB = a;
        l.NextA = l.PrevA = l.PrevB = 1;
        l.NextB = 1;
        content.Areas.push_back(testkit::MakeArea(a, 10, cycle + a));
    }
    const auto start = std::chrono::steady_clock::now();
    const std::vector<TErrorRecord> rows = Run(content, PloTopologia, 0, areas);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    ASSERT_EQ(rows.size(), std::size_t(areas));
    EXPECT_EQ(rows.back(), Finding(-72, "LE_1.blk", "P", 10, areas, kTopology));
    EXPECT_EQ(Blk.WalkBudget(), -1) << "the budget ends with the pass";
}

}  // namespace
