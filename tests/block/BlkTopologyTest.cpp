// The boundary walk, inner line pairing, ring assembly and the area topology test.
#include "TestUtil.h"

#include <gtest/gtest.h>

using namespace vexa;
using namespace vexa::testkit;
using namespace vexa::blocktest;

namespace {

std::vector<std::int32_t> Numbers(const TLins& lines) {
    std::vector<std::int32_t> out;
    for (const TBlkLine& l : lines) out.push_back(l.Number);
    return out;
}

// A boundary list entry: a line with its two areas (inner when equal).
TBlkLine Entry(std::int32_t number, std::int32_t areaA, std::int32_t areaB) {
    TBlkLine l = MakeLine(number);
    l.AreaA = areaA;
    l.AreaB = areaB;
    return l;
}
TBlkLine Inner(std::int32_t number) { return Entry(number, 1, 1); }
TBlkLine Border(std::int32_t number) { return Entry(number, 1, 2); }

class BlkTopologyTest : public ::testing::Test {
protected:
    void Open(const BlockSpec& s) {
        WriteBlock(Dir(), s);
        blk.Open(Dir().string());
    }
    fs::path Dir() const { return tmp.Path() / "b.blk"; }
    TBlkArea Area(std::int32_t number) {
        TBlkArea a;
        blk.FindArea(number, a);
        return a;
    }
    std::string Walk(std::int32_t area, TLins& lines) {
        return ThrownMessage<EBlkPloError>([&] { blk.AreaBoundary(Area(area), lines); });
    }
    std::string M1(int area, int line) {
        return "Chybná topológia línie plochy\r(" + blk.Path() + ", P:" + std::to_string(area) + ", L:" +
               std::to_string(line) + ")";
    }
    std::string M2(int area, int prev, int next) {
        return "Chybná topológia línii plochy\r(" + blk.Path() + ", P:" + std::to_string(area) + ", L:" +
               std::to_string(prev) + ", L:" + std::to_string(next) + ")";
    }
    std::string Lines(int a, int b) {
        return "Chybná topológia línii\r(" + blk.Path() + ", L:" + std::to_string(a) + ", L:" + std::to_string(b) + ")";
    }

    TempDir tmp;
    TBlk blk;
};

// --- boundary walk -----------------------------------------------------------

TEST_F(BlkTopologyTest, WalksEveryCellOfAGrid) {
    BlockSpec s;
    GridLayout g = AddAreaGrid(s, GridSpec{});  // 2 x 2: edges 1-6 horizontal, 7-12 vertical
    Open(s);
    TLins lines;
    blk.AreaBoundary(Area(1), lines);
    EXPECT_EQ(Numbers(lines), (std::vector<std::int32_t>{1, 9, 3, 7}));
    blk.AreaBoundary(Area(4), lines);
    EXPECT_EQ(Numbers(lines), (std::vector<std::int32_t>{4, 12, 6, 10}));
    for (std::int32_t a : g.Cells) EXPECT_TRUE(blk.CheckAreaTopology(Area(a), true, 0.01)) << a;
}

TEST_F(BlkTopologyTest, IslandBridgeIsWalkedTwice) {
    BlockSpec s;
    GridSpec content;
    content.Island = true;
    GridLayout g = AddAreaGrid(s, content);
    ASSERT_EQ(g.Bridge, 13);
    ASSERT_EQ(g.Ring, 14);
    ASSERT_EQ(g.Island, 5);
    Open(s);
    TLins lines;
    blk.AreaBoundary(Area(1), lines);
    EXPECT_EQ(Numbers(lines), (std::vector<std::int32_t>{1, 9, 3, 7, 13, 14, 13}));
    blk.AreaBoundary(Area(5), lines);
    EXPECT_EQ(Numbers(lines), (std::vector<std::int32_t>{14}));  // one closed line
    std::int32_t bad = -1;
    blk.AreaBoundary(Area(1), lines);
    EXPECT_EQ(blk.CheckInnerLines(lines, bad), 1);
    EXPECT_EQ(bad, 0);
    TCrds ring;
    blk.BoundaryPolygon(lines, ring, 0.01);
    EXPECT_EQ(ring.size(), 11u);  // 4 cell corners and back, the bridge, 4 island corners and back, the bridge
    EXPECT_TRUE(ring.front().X == ring.back().X && ring.front().Y == ring.back().Y);
    for (std::int32_t a : {1, 2, 3, 4, 5}) EXPECT_TRUE(blk.CheckAreaTopology(Area(a), true, 0.01)) << a;
}

TEST_F(BlkTopologyTest, StartOnAnInnerLineMovesToTheFirstBorderLine) {
    BlockSpec s;
    GridSpec content;
    content.Island = true;
    content.CellStartsAtBridge = true;
    AddAreaGrid(s, content);
    Open(s);
    TLins lines;
    blk.AreaBoundary(Area(1), lines);
    EXPECT_EQ(Numbers(lines), (std::vector<std::int32_t>{14, 13, 7, 3, 9, 1, 13}));
    EXPECT_TRUE(blk.CheckAreaTopology(Area(1), true, 0.01));
}

TEST_F(BlkTopologyTest, WalkFailuresNameTheLine) {
    BlockSpec s;
    AddAreaGrid(s, GridSpec{});
    BlockSpec base = s;
    TLins lines{Inner(99)};

    s.Lines[8].PrevA = 4;  // line 9 no longer names line 1 as the line before it
    Open(s);
    EXPECT_EQ(Walk(1, lines), M2(1, 1, 9));
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(blk.CheckAreaTopology(Area(1), true, 0.01));
    blk.Close();

    s = base;
    s.Lines[8].AreaA = 3;  // line 9 borders another area on the walked side
    Open(s);
    EXPECT_EQ(Walk(1, lines), M1(1, 9));
    blk.Close();

    s = base;
    s.Lines[2].NextB = -1;  // line 3 is not fully linked
    Open(s);
    EXPECT_EQ(Walk(1, lines), M1(1, 3));
    blk.Close();

    s = base;
    s.Lines[0].Flags = 1;  // the start line is deleted
    Open(s);
    EXPECT_EQ(Walk(1, lines), M1(1, 1));
    blk.Close();

    s = base;
    s.Areas[1].FirstLine = 1;  // area 2 does not border line 1
    Open(s);
    EXPECT_EQ(Walk(2, lines), M1(2, 1));
    blk.Close();

    // A side without an area passes the area test.
    s = base;
    s.Lines[8].AreaA = 3;
    s.Lines[8].AreaB = -1;
    Open(s);
    blk.AreaBoundary(Area(1), lines);
    EXPECT_EQ(Numbers(lines), (std::vector<std::int32_t>{1, 9, 3, 7}));
}

TEST_F(BlkTopologyTest, CorruptLinkCyclesEnd) {
    // 1 borders areas 1 and 2; 2 and 3 are inner lines of area 1 whose links send the walk
    // 2, 3, 2, 3, ... with every back link in order, never back to line 1.
    BlockSpec s;
    for (int n = 1; n <= 3; ++n) s.AddLine(n, 1, {{0, 0}, {double(n), 1}});
    auto link = [](TBlkLine& l, int nextA, int nextARev, int prevA, int nextB, int prevB, int prevBRev) {
        l.NextA = nextA;
        l.NextARev = std::uint8_t(nextARev);
        l.PrevA = prevA;
        l.NextB = nextB;
        l.PrevB = prevB;
        l.PrevBRev = std::uint8_t(prevBRev);
    };
    s.Lines[0].AreaA = 1;
    s.Lines[0].AreaB = 2;
    link(s.Lines[0], 2, 0, 1, 1, 1, 0);
    s.Lines[1].AreaA = s.Lines[1].AreaB = 1;
    link(s.Lines[1], 3, 0, 1, 3, 3, 0);
    s.Lines[2].AreaA = s.Lines[2].AreaB = 1;
    link(s.Lines[2], 2, 1, 2, 2, 2, 0);
    s.Areas = {MakeArea(1, 1, 1), MakeArea(2, 1, 2)};
    Open(s);
    TLins lines;
    EXPECT_EQ(Walk(1, lines), M1(1, 3));  // 1, 2, 3, 2, 3, 2, 3: the 7th line exceeds 2 x 3
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(blk.CheckAreaTopology(Area(1), false, 0.01));
    // Starting on inner line 2, the B links circle 2, 3, 2, ... : the search for a border line ends too.
    TBlkArea startInside = MakeArea(1, 1, 2);
    EXPECT_EQ(ThrownMessage<EBlkPloError>([&] { blk.AreaBoundary(startInside, lines); }), M1(1, 3));
    EXPECT_FALSE(blk.CheckAreaTopology(startInside, true, 0.01));
}

TEST_F(BlkTopologyTest, ReadErrorsPassThroughTheAreaTest) {
    BlockSpec s;
    AddAreaGrid(s, GridSpec{});
    s.Lines[8].NextA = 40;  // line 9 links to a line that does not exist
    Open(s);
    TBlkArea missingStart = MakeArea(1, 1, 77);
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.CheckAreaTopology(missingStart, true, 0.01); }),
              "Prvok neexistuje\r(" + blk.Path() + ", L:77)");
    EXPECT_THROW(blk.CheckAreaTopology(Area(1), true, 0.01), EBlkFeatureNotExist);
    TLins lines{Inner(5)};
    EXPECT_THROW(blk.AreaBoundary(Area(1), lines), EBlkFeatureNotExist);
    EXPECT_TRUE(lines.empty());
    // A deleted area passes without any reading.
    missingStart.Flags = 4;
    EXPECT_TRUE(blk.CheckAreaTopology(missingStart, true, 0.01));
    blk.Close();

    // A truncated line record on the walk.
    s = BlockSpec{};
    AddAreaGrid(s, GridSpec{});
    WriteBlock(Dir(), s);
    auto lin = ReadFileBytes(Dir() / "tn.lin");
    lin.resize(lin.size() - 10);  // line 12 loses its tail
    WriteFileBytes(Dir() / "tn.lin", lin);
    blk.Open(Dir().string());
    EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.CheckAreaTopology(Area(4), true, 0.01); }),
              "Chyba čítania\r(" + blk.Path() + ")");
    EXPECT_TRUE(blk.CheckAreaTopology(Area(1), true, 0.01));  // still usable
    blk.Close();
    EXPECT_THROW(blk.CheckAreaTopology(MakeArea(1, 1, 1), true, 0.01), EBlkNotOpened);
    missingStart.Flags = 4;
    EXPECT_THROW(blk.CheckAreaTopology(missingStart, true, 0.01), EBlkNotOpened);
}

// --- inner lines ---------------------------------------------------------------

TEST(BlkInnerLinesTest, NormalizeRotatesAndCancelsThereAndBack) {
    TLins l{Inner(7), Border(1), Border(2), Inner(7)};
    TBlk::NormalizeBoundary(l);
    EXPECT_EQ(Numbers(l), (std::vector<std::int32_t>{1, 2}));

    l = {Border(1), Inner(5), Inner(9), Inner(9), Inner(5), Border(2)};
    TBlk::NormalizeBoundary(l);
    EXPECT_EQ(Numbers(l), (std::vector<std::int32_t>{1, 2}));

    l = {Border(1), Inner(5), Inner(9), Inner(9), Inner(6)};
    TBlk::NormalizeBoundary(l);
    EXPECT_EQ(Numbers(l), (std::vector<std::int32_t>{1, 5, 6}));

    l = {Inner(8), Inner(3)};  // no line between two areas: left as it is
    TBlk::NormalizeBoundary(l);
    EXPECT_EQ(Numbers(l), (std::vector<std::int32_t>{8, 3}));

    l = {Inner(4)};
    TBlk::NormalizeBoundary(l);
    EXPECT_EQ(Numbers(l), (std::vector<std::int32_t>{4}));
}

TEST(BlkInnerLinesTest, PairingOfBridges) {
    TBlk blk;  // works on the list only
    std::int32_t bad = -1;
    TLins l{Border(1), Border(2)};
    EXPECT_EQ(blk.CheckInnerLines(l, bad), 2);
    EXPECT_EQ(bad, 0);

    l = {Border(1), Inner(10), Border(2), Inner(11), Border(3), Inner(11), Border(4), Inner(10)};
    EXPECT_EQ(blk.CheckInnerLines(l, bad), 1);  // A B B A
    EXPECT_EQ(bad, 0);

    l = {Border(1), Inner(10), Border(2), Inner(11), Border(3), Inner(10), Border(4), Inner(11)};
    EXPECT_EQ(blk.CheckInnerLines(l, bad), 0);  // A B A B fails at the second A
    EXPECT_EQ(bad, 10);

    l = {Border(1), Inner(10), Border(2)};
    EXPECT_EQ(blk.CheckInnerLines(l, bad), 0);  // a bridge that occurs once
    EXPECT_EQ(bad, 10);

    l = {Border(1), Inner(10), Border(2), Inner(12), Border(3), Inner(10), Border(4)};
    EXPECT_EQ(blk.CheckInnerLines(l, bad), 0);  // odd count: the unpaired one
    EXPECT_EQ(bad, 12);

    l = {Border(1), Inner(10), Border(2), Inner(11), Border(3), Inner(12), Border(4)};
    EXPECT_EQ(blk.CheckInnerLines(l, bad), 0);
    EXPECT_EQ(bad, 10);

    // Even but unpaired: 10 10 11 12 -> after the pair, 11 and 12 stay open.
    l = {Border(1), Inner(10), Border(5), Inner(10), Border(2), Inner(11), Border(3), Inner(12), Border(4)};
    EXPECT_EQ(blk.CheckInnerLines(l, bad), 0);
    EXPECT_EQ(bad, 11);

    // Nested three deep: A B C C B A.
    l = {Border(1), Inner(21), Inner(22), Border(3), Inner(23), Border(4), Inner(23), Border(5), Inner(22), Border(6),
         Inner(21)};
    EXPECT_EQ(blk.CheckInnerLines(l, bad), 1);
    EXPECT_EQ(bad, 0);
    // The list was normalized in place.
    l = {Border(1), Inner(9), Inner(9), Border(2)};
    EXPECT_EQ(blk.CheckInnerLines(l, bad), 2);
    EXPECT_EQ(Numbers(l), (std::vector<std::int32_t>{1, 2}));
}

// --- ring assembly ---------------------------------------------------------------

class BlkRingTest : public BlkTopologyTest {
protected:
    // Line 1 (0,0)-(10,0)-(10,10) and line 2 from (10+dx,10+dy) over (0,10) back to (0,0).
    void TwoLines(double dx, double dy) {
        BlockSpec s;
        AddBorder(s, 1, {{0, 0}, {10, 0}, {10, 10}});
        AddBorder(s, 2, {{10 + dx, 10 + dy}, {0, 10}, {0, 0}});
        Open(s);
        list = ListOf({1, 2});
    }
    // A line between areas 1 and 2 (or inside area 1).
    static void AddBorder(BlockSpec& s, std::int32_t number, const std::vector<std::pair<double, double>>& v,
                          bool inner = false) {
        TBlkLine& l = s.AddLine(number, 1, v);
        l.AreaA = 1;
        l.AreaB = inner ? 1 : 2;
    }
    // The stored records of the lines, in the given order.
    TLins ListOf(const std::vector<std::int32_t>& numbers) {
        TLins out;
        for (std::int32_t n : numbers) {
            TBlkLine l;
            blk.FindLine(n, l);
            out.push_back(l);
        }
        return out;
    }
    std::string Assemble(double tolerance) {
        return ThrownMessage<EBlkPloError>([&] { blk.BoundaryPolygon(list, ring, tolerance); });
    }
    TLins list;
    TCrds ring;
};

TEST_F(BlkRingTest, JoinsEndsWithinTheTolerance) {
    TwoLines(0.005, 0.002);
    EXPECT_EQ(Assemble(0.01), "<no exception>");
    // Both ends of line 1 meet line 2: line 1 is turned round, and the gap is the closing one.
    ASSERT_EQ(ring.size(), 5u);
    EXPECT_EQ(ring[0].X.Value(), 10.0L);
    EXPECT_EQ(ring[0].Y.Value(), 10.0L);
    EXPECT_EQ(ring[2].X.Value(), 0.0L);
    EXPECT_EQ(ring[2].Y.Value(), 0.0L);
    EXPECT_EQ(ring[3].Y.Value(), 10.0L);
    EXPECT_EQ(ring[4].X.Value(), 10.0L);  // joined at the ring's vertex
    EXPECT_EQ(ring[4].Y.Value(), 10.0L);
    EXPECT_EQ(Assemble(0.001), Lines(1, 2));
    EXPECT_TRUE(ring.empty());
    EXPECT_EQ(Assemble(-0.01), "<no exception>");
    blk.Close();

    TwoLines(0.02, 0);  // beyond 0.01: a larger tolerance is cut to 0.01
    EXPECT_EQ(Assemble(5), Lines(1, 2));
    blk.Close();
    TwoLines(0.0008, 0);  // -0.001 acts as 0.001
    EXPECT_EQ(Assemble(-0.001), "<no exception>");
    EXPECT_EQ(Assemble(0), Lines(1, 2));
    blk.Close();
    TwoLines(0.005, 0.002);
    EXPECT_EQ(Assemble(5), "<no exception>");
    EXPECT_EQ(Assemble(-0.001), Lines(1, 2));
}

TEST_F(BlkRingTest, SnapsTheNextLineOntoTheRing) {
    BlockSpec s;
    AddBorder(s, 1, {{0, 0}, {10, 0}, {10, 10}});
    AddBorder(s, 2, {{10.005, 10.002}, {0, 10}});
    AddBorder(s, 3, {{0, 0}, {0, 10}});
    Open(s);
    list = ListOf({1, 2, 3});
    EXPECT_EQ(Assemble(0.01), "<no exception>");
    ASSERT_EQ(ring.size(), 5u);
    EXPECT_EQ(ring[2].X.Value(), 10.0L);  // the next line's end moved onto the ring's vertex
    EXPECT_EQ(ring[2].Y.Value(), 10.0L);
    EXPECT_EQ(ring[3].X.Value(), 0.0L);
    EXPECT_EQ(ring[3].Y.Value(), 10.0L);
    EXPECT_EQ(ring[4].Y.Value(), 0.0L);
    EXPECT_EQ(Assemble(0.001), Lines(1, 2));
}

TEST_F(BlkRingTest, ClosingGapAndSingleLines) {
    BlockSpec s;
    AddBorder(s, 1, {{0, 0}, {10, 0}, {10, 10}, {0, 0}});          // closed
    AddBorder(s, 2, {{0, 0}, {10, 0}, {10, 10}, {0.004, 0.003}});  // nearly closed
    AddBorder(s, 3, {{0, 0}, {10, 0}, {10, 10}});                  // open
    Open(s);
    list = ListOf({1});
    EXPECT_EQ(Assemble(0.001), "<no exception>");
    EXPECT_EQ(ring.size(), 4u);
    list = ListOf({2});
    EXPECT_EQ(Assemble(0.01), "<no exception>");
    EXPECT_EQ(ring.back().X.Value(), 0.0L);
    EXPECT_EQ(Assemble(0.001), Lines(2, 2));
    list = ListOf({3});
    EXPECT_EQ(Assemble(0.01), Lines(3, 3));
}

TEST_F(BlkRingTest, OrientsTheFirstLineAndReversesOthers) {
    BlockSpec s;
    AddBorder(s, 1, {{0, 0}, {10, 0}});             // its start meets line 2
    AddBorder(s, 2, {{0, 0}, {0, 10}});
    AddBorder(s, 3, {{10, 0}, {10, 10}, {0, 10}});  // runs against the ring
    AddBorder(s, 4, {{50, 50}, {60, 60}});          // meets nothing
    AddBorder(s, 5, {{50, 50}, {60, 60}}, true);    // an inner line far away
    Open(s);
    list = ListOf({1, 2, 3});
    EXPECT_EQ(Assemble(0.01), "<no exception>");
    ASSERT_EQ(ring.size(), 5u);
    EXPECT_EQ(ring[0].X.Value(), 10.0L);
    EXPECT_EQ(ring[1].X.Value(), 0.0L);
    EXPECT_EQ(ring[2].Y.Value(), 10.0L);
    EXPECT_EQ(ring[3].X.Value(), 10.0L);
    EXPECT_EQ(ring[3].Y.Value(), 10.0L);
    list = ListOf({1, 2, 4, 3});
    EXPECT_EQ(Assemble(0.01), Lines(2, 4));
    // Lines walked there and back are cancelled before assembly.
    list = ListOf({1, 2, 5, 5, 3});
    EXPECT_EQ(Assemble(0.01), "<no exception>");
    // An inner line first: the list is rotated to begin with a border line.
    list = ListOf({5, 5, 1, 2, 3});
    EXPECT_EQ(Assemble(0.01), "<no exception>");
    // The caller's list is not changed.
    EXPECT_EQ(list.size(), 5u);
    list = ListOf({1, 2, 4, 4, 3});
    EXPECT_EQ(Assemble(0.01), "<no exception>");
}

TEST_F(BlkTopologyTest, AreaTestReportsBrokenGeometryOnlyWhenAsked) {
    BlockSpec s;
    AddAreaGrid(s, GridSpec{});
    s.Crds[s.Lines[8].LastCrd].X = R(100.5);  // line 9 ends beside line 3
    Open(s);
    EXPECT_TRUE(blk.CheckAreaTopology(Area(1), false, 0.01));
    EXPECT_FALSE(blk.CheckAreaTopology(Area(1), true, 0.01));
    TLins lines;
    blk.AreaBoundary(Area(1), lines);
    TCrds ring;
    EXPECT_EQ(ThrownMessage<EBlkPloError>([&] { blk.BoundaryPolygon(lines, ring, 0.01); }), Lines(9, 3));
    EXPECT_FALSE(blk.CheckAreaTopology(Area(2), true, 0.01));
    EXPECT_TRUE(blk.CheckAreaTopology(Area(3), true, 0.01));
}

TEST_F(BlkTopologyTest, SameResultsWithTheReadCache) {
    BlockSpec s;
    GridSpec content;
    content.Columns = 3;
    content.Island = true;
    GridLayout g = AddAreaGrid(s, content);
    s.Lines[4].NextB = 1;  // line 5 (between cells 2 and 5) no longer links back along cell 2
    Open(s);
    std::vector<std::string> direct, cached;
    auto run = [&](std::vector<std::string>& out) {
        for (std::int32_t a = 1; a <= 8; ++a) {
            TLins lines;
            out.push_back(ThrownMessage<EBlkException>([&] { blk.AreaBoundary(MakeArea(a, 1, a), lines); }));
            out.push_back(std::to_string(lines.size()));
            TBlkArea area;
            try {
                blk.FindArea(a, area);
                out.push_back(blk.CheckAreaTopology(area, true, 0.01) ? "ok" : "bad");
            } catch (const EBlkException& e) {
                out.push_back(e.what());
            }
        }
    };
    run(direct);
    blk.SetReadCache(true);
    run(cached);
    EXPECT_EQ(direct, cached);
    EXPECT_EQ(std::count(direct.begin(), direct.end(), "bad"), 1);
    EXPECT_EQ(direct[3 * 1 + 2], "bad");  // area 2
    EXPECT_EQ(g.Cells.size(), 6u);
}

} // namespace
