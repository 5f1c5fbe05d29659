// The boundary walk, inner line pairing, ring assembly and the area topology test.
#include "TestUtil.h"

#include <functional>
#include <tuple>

using namespace vexa;
using namespace vexa::blocktest;

namespace {

using Numbers = std::vector<std::int32_t>;

Numbers NumbersOf(const TLins& lines) {
    Numbers out;
    for (const TBlkLine& l : lines) out.push_back(std::int32_t{l.Number});  // a copy: the field is packed
    return out;
}

// A boundary list entry: a line with its two areas (inner when equal).
TBlkLine Entry(std::int32_t number, std::int32_t areaA, std::int32_t areaB) {
    TBlkLine l = MakeLine(number);
    l.AreaA = areaA;
    l.AreaB = areaB;
    return l;
}
TBlkLine I(std::int32_t number) { return Entry(number, 1, 1); }  // inner
TBlkLine B(std::int32_t number) { return Entry(number, 1, 2); }  // border

class BlkTopologyTest : public BlockTest {
protected:
    std::string Walk(const TBlkArea& area, TLins& lines) {
        return ThrownMessage<EBlkPloError>([&] { blk.AreaBoundary(area, lines); });
    }
    std::string M1(int area, int line) {
        return "Chybná topológia línie plochy\r(" + blk.Path() + ", P:" + std::to_string(area) +
               ", L:" + std::to_string(line) + ")";
    }
    std::string M2(int area, int prev, int next) {
        return "Chybná topológia línii plochy\r(" + blk.Path() + ", P:" + std::to_string(area) +
               ", L:" + std::to_string(prev) + ", L:" + std::to_string(next) + ")";
    }
    std::string Lines(int a, int b) {
        return "Chybná topológia línii\r(" + blk.Path() + ", L:" + std::to_string(a) + ", L:" + std::to_string(b) + ")";
    }
    bool Topo(const TBlkArea& area, bool geometry = true) { return blk.CheckAreaTopology(area, geometry, 0.01); }
    // A grid of cells (2 x 2 unless told: edges 1-6 horizontal, 7-12 vertical; with an island:
    // bridge 13, ring 14, island area 5).
    static BlockSpec Grid(bool island = false, bool startAtBridge = false, int columns = 2) {
        BlockSpec s;
        GridSpec grid;
        grid.Island = island;
        grid.CellStartsAtBridge = startAtBridge;
        grid.Columns = columns;
        AddAreaGrid(s, grid);
        return s;
    }
};

// --- boundary walk -----------------------------------------------------------

TEST_F(BlkTopologyTest, WalksGridCellsIslandsAndBridges) {
    const struct {
        bool island, startAtBridge;
        std::int32_t area;
        Numbers walk;
    } cases[] = {
        {false, false, 1, {1, 9, 3, 7}},
        {false, false, 4, {4, 12, 6, 10}},
        {true, false, 1, {1, 9, 3, 7, 13, 14, 13}},  // the bridge is walked twice
        {true, false, 5, {14}},                      // one closed line
        {true, true, 1, {14, 13, 7, 3, 9, 1, 13}},   // start on an inner line: on to the first border line
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "island " << c.island << " bridge start " << c.startAtBridge << " area "
                                        << c.area);
        Open(Grid(c.island, c.startAtBridge));
        TLins lines;
        blk.AreaBoundary(Area(c.area), lines);
        EXPECT_EQ(NumbersOf(lines), c.walk);
        for (std::int32_t a = 1; a <= blk.AreaCount(); ++a) EXPECT_TRUE(Topo(Area(a))) << a;
        blk.Close();
    }
}

// The direction the walk passes each line: its vertices so turned run on from the line
// before without a gap, and the walk keeps the area on its left, so an area walked on the
// left sides of its lines goes round counter-clockwise and round its island clockwise.
TEST_F(BlkTopologyTest, WalkTellsTheDirectionOfEachPass) {
    for (const bool startAtBridge : {false, true}) {
        SCOPED_TRACE(startAtBridge);
        Open(Grid(true, startAtBridge));
        for (std::int32_t a = 1; a <= blk.AreaCount(); ++a) {
            SCOPED_TRACE(a);
            TLins lines;
            std::vector<bool> reversed;
            blk.AreaBoundary(Area(a), lines, nullptr, &reversed);
            ASSERT_EQ(reversed.size(), lines.size());
            std::vector<TCrds> passes;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                passes.emplace_back();
                blk.ReadLineCrds(lines[i], passes.back());
                if (reversed[i]) TBlk::ReverseCrds(passes.back());
            }
            long double twice = 0;  // about the block's origin, the cells being small
            for (std::size_t i = 0; i < passes.size(); ++i) {
                const TCrds& here = passes[i];
                const TCrds& next = passes[(i + 1) % passes.size()];
                EXPECT_TRUE(here.back().X == next.front().X && here.back().Y == next.front().Y) << i;
                for (std::size_t k = 1; k < here.size(); ++k)
                    twice += here[k - 1].X.Value() * here[k].Y.Value() - here[k].X.Value() * here[k - 1].Y.Value();
            }
            // The cells are 100 x 100 (less the island's 50 x 50 for cell 1), the island 50 x 50;
            // the walk of a cell bordered by lines it has on their right side turns the other way.
            const TBlkLine& first = lines.front();
            const long double sign = first.AreaA == a ? 1 : -1;
            const long double size = a == 5 ? 2500 : a == 1 ? 7500 : 10000;
            EXPECT_EQ(twice / 2, sign * size);
        }
        blk.Close();
    }
}

TEST_F(BlkTopologyTest, IslandRingPairsTheBridge) {
    Open(Grid(true));
    TLins lines;
    blk.AreaBoundary(Area(1), lines);
    std::int32_t bad = -1;
    EXPECT_EQ(blk.CheckInnerLines(lines, bad), 1);
    EXPECT_EQ(bad, 0);
    TCrds ring;
    blk.BoundaryPolygon(lines, ring, 0.01);
    EXPECT_EQ(ring.size(), 11u);  // 4 cell corners and back, the bridge, 4 island corners and back, the bridge
    EXPECT_TRUE(ring.front().X == ring.back().X && ring.front().Y == ring.back().Y);
}

TEST_F(BlkTopologyTest, WalkFailuresNameTheLine) {
    const struct {
        const char* what;
        std::function<void(BlockSpec&)> spoil;
        std::int32_t area, line, next;  // next 0: the one-line message
    } cases[] = {
        {"line 9 does not name line 1 as its predecessor", [](BlockSpec& s) { s.Lines[8].PrevA = 4; }, 1, 1, 9},
        {"line 9 borders another area on the walked side", [](BlockSpec& s) { s.Lines[8].AreaA = 3; }, 1, 9, 0},
        {"line 3 is not fully linked", [](BlockSpec& s) { s.Lines[2].NextB = -1; }, 1, 3, 0},
        {"the start line is deleted", [](BlockSpec& s) { s.Lines[0].Flags = 1; }, 1, 1, 0},
        {"area 2 does not border its first line", [](BlockSpec& s) { s.Areas[1].FirstLine = 1; }, 2, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BlockSpec s = Grid();
        c.spoil(s);
        Open(s);
        TLins lines{I(99)};
        EXPECT_EQ(Walk(Area(c.area), lines), c.next ? M2(c.area, c.line, c.next) : M1(c.area, c.line));
        EXPECT_TRUE(lines.empty());
        EXPECT_FALSE(Topo(Area(c.area)));
        blk.Close();
    }
    // A side without an area passes the area test.
    BlockSpec s = Grid();
    s.Lines[8].AreaA = 3;
    s.Lines[8].AreaB = -1;
    Open(s);
    TLins lines;
    blk.AreaBoundary(Area(1), lines);
    EXPECT_EQ(NumbersOf(lines), (Numbers{1, 9, 3, 7}));
}

TEST_F(BlkTopologyTest, CorruptLinkCyclesEnd) {
    // 1 borders areas 1 and 2; 2 and 3 are inner lines of area 1 whose links send the walk
    // 2, 3, 2, 3, ... with every back link in order, never back to line 1.
    BlockSpec s;
    for (int n = 1; n <= 3; ++n) s.AddLine(n, 1, {{0, 0}, {double(n), 1}});
    // Per line: NextA, NextARev, PrevA, NextB, PrevB, PrevBRev, AreaA, AreaB.
    const int links[3][8] = {{2, 0, 1, 1, 1, 0, 1, 2}, {3, 0, 1, 3, 3, 0, 1, 1}, {2, 1, 2, 2, 2, 0, 1, 1}};
    for (int i = 0; i < 3; ++i) {
        TBlkLine& l = s.Lines[i];
        const int* k = links[i];
        // Field by field: std::tie would bind references to the packed fields.
        l.NextA = k[0];
        l.NextARev = std::uint8_t(k[1]);
        l.PrevA = k[2];
        l.NextB = k[3];
        l.PrevB = k[4];
        l.PrevBRev = std::uint8_t(k[5]);
        l.AreaA = k[6];
        l.AreaB = k[7];
    }
    s.Areas = {MakeArea(1, 1, 1), MakeArea(2, 1, 2)};
    Open(s);
    TLins lines;
    EXPECT_EQ(Walk(Area(1), lines), M1(1, 3));  // 1, 2, 3, 2, 3, 2, 3: the 7th line exceeds 2 x 3
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(Topo(Area(1), false));
    // Starting on inner line 2, the B links circle 2, 3, 2, ... : the search for a border line ends too.
    TBlkArea startInside = MakeArea(1, 1, 2);
    EXPECT_EQ(Walk(startInside, lines), M1(1, 3));
    EXPECT_FALSE(Topo(startInside));
}

TEST_F(BlkTopologyTest, ReadErrorsPassThroughTheAreaTest) {
    BlockSpec s = Grid();
    s.Lines[8].NextA = 40;  // line 9 links to a line that does not exist
    Open(s);
    TBlkArea missingStart = MakeArea(1, 1, 77);
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { Topo(missingStart); }), NotExist('L', 77));
    EXPECT_THROW(Topo(Area(1)), EBlkFeatureNotExist);
    TLins lines{I(5)};
    EXPECT_THROW(blk.AreaBoundary(Area(1), lines), EBlkFeatureNotExist);
    EXPECT_TRUE(lines.empty());
    missingStart.Flags = 4;
    EXPECT_TRUE(Topo(missingStart));  // a deleted area passes without any reading
    blk.Close();

    // A truncated line record on the walk.
    WriteBlock(Dir(), Grid());
    Resize(Dir() / "tn.lin", -10);  // line 12 loses its tail
    blk.Open(Dir().string());
    EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { Topo(Area(4)); }), ReadError());
    EXPECT_TRUE(Topo(Area(1)));  // still usable
    blk.Close();
    EXPECT_THROW(Topo(MakeArea(1, 1, 1)), EBlkNotOpened);
    EXPECT_THROW(Topo(missingStart), EBlkNotOpened);
}

TEST_F(BlkTopologyTest, AreaTestReportsBrokenGeometryOnlyWhenAsked) {
    BlockSpec s = Grid();
    s.Crds[s.Lines[8].LastCrd].X = R(100.5);  // line 9 ends beside line 3
    Open(s);
    EXPECT_TRUE(Topo(Area(1), false));
    EXPECT_FALSE(Topo(Area(1)));
    TLins lines;
    blk.AreaBoundary(Area(1), lines);
    TCrds ring;
    EXPECT_EQ(ThrownMessage<EBlkPloError>([&] { blk.BoundaryPolygon(lines, ring, 0.01); }), Lines(9, 3));
    EXPECT_FALSE(Topo(Area(2)));
    EXPECT_TRUE(Topo(Area(3)));
}

TEST_F(BlkTopologyTest, SameResultsWithTheReadCache) {
    BlockSpec s = Grid(true, false, 3);
    s.Lines[4].NextB = 1;  // line 5 (between cells 2 and 5) no longer links back along cell 2
    Open(s);
    auto run = [&] {
        std::vector<std::string> out;
        for (std::int32_t a = 1; a <= 8; ++a) {
            TLins lines;
            out.push_back(ThrownMessage<EBlkException>([&] { blk.AreaBoundary(MakeArea(a, 1, a), lines); }));
            out.push_back(std::to_string(lines.size()));
            std::string result;
            const std::string error = ThrownMessage<EBlkException>([&] { result = Topo(Area(a)) ? "ok" : "bad"; });
            out.push_back(result.empty() ? error : result);
        }
        return out;
    };
    const auto direct = run();
    blk.SetReadCache(true);
    EXPECT_EQ(run(), direct);
    EXPECT_EQ(std::count(direct.begin(), direct.end(), "bad"), 1);
    EXPECT_EQ(direct[3 * 1 + 2], "bad");  // area 2
}

// --- inner lines ---------------------------------------------------------------

TEST(BlkInnerLinesTest, NormalizeRotatesAndCancelsThereAndBack) {
    const struct {
        TLins in;
        Numbers out;
    } cases[] = {
        {{I(7), B(1), B(2), I(7)}, {1, 2}},
        {{B(1), I(5), I(9), I(9), I(5), B(2)}, {1, 2}},
        {{B(1), I(5), I(9), I(9), I(6)}, {1, 5, 6}},
        {{I(8), I(3)}, {8, 3}},  // no line between two areas: left as it is
        {{I(4)}, {4}},
    };
    for (auto c : cases) {
        SCOPED_TRACE(testing::PrintToString(NumbersOf(c.in)));
        TBlk::NormalizeBoundary(c.in);
        EXPECT_EQ(NumbersOf(c.in), c.out);
    }
}

TEST(BlkInnerLinesTest, PairingOfBridges) {
    const struct {
        TLins in;
        int result;
        std::int32_t bad;
    } cases[] = {
        {{B(1), B(2)}, 2, 0},
        {{B(1), I(10), B(2), I(11), B(3), I(11), B(4), I(10)}, 1, 0},   // A B B A
        {{B(1), I(10), B(2), I(11), B(3), I(10), B(4), I(11)}, 0, 10},  // A B A B fails at the second A
        {{B(1), I(10), B(2)}, 0, 10},                                   // a bridge that occurs once
        {{B(1), I(10), B(2), I(12), B(3), I(10), B(4)}, 0, 12},         // odd count: the unpaired one
        {{B(1), I(10), B(2), I(11), B(3), I(12), B(4)}, 0, 10},
        {{B(1), I(10), B(5), I(10), B(2), I(11), B(3), I(12), B(4)}, 0, 11},               // even but unpaired
        {{B(1), I(21), I(22), B(3), I(23), B(4), I(23), B(5), I(22), B(6), I(21)}, 1, 0},  // A B C C B A
    };
    TBlk blk;  // works on the list only
    for (auto c : cases) {
        SCOPED_TRACE(testing::PrintToString(NumbersOf(c.in)));
        std::int32_t bad = -1;
        EXPECT_EQ(blk.CheckInnerLines(c.in, bad), c.result);
        EXPECT_EQ(bad, c.bad);
    }
    // The list is normalized in place.
    TLins l{B(1), I(9), I(9), B(2)};
    std::int32_t bad = -1;
    EXPECT_EQ(blk.CheckInnerLines(l, bad), 2);
    EXPECT_EQ(NumbersOf(l), (Numbers{1, 2}));
}

// --- ring assembly ---------------------------------------------------------------

class BlkRingTest : public BlkTopologyTest {
protected:
    // A line between areas 1 and 2 (or inside area 1).
    static void AddBorder(BlockSpec& s, std::int32_t number, const std::vector<std::pair<double, double>>& v,
                          bool inner = false) {
        TBlkLine& l = s.AddLine(number, 1, v);
        l.AreaA = 1;
        l.AreaB = inner ? 1 : 2;
    }
    // Assembles the stored lines of the given numbers, in that order.
    std::string Assemble(const Numbers& numbers, double tolerance) {
        TLins list;
        for (std::int32_t n : numbers) {
            TBlkLine l;
            blk.FindLine(n, l);
            list.push_back(l);
        }
        return ThrownMessage<EBlkPloError>([&] { blk.BoundaryPolygon(list, ring, tolerance); });
    }
    void ExpectRing(const Points& expected) { EXPECT_EQ(ValuesOf(ring), expected); }
    TCrds ring;
};

TEST_F(BlkRingTest, ToleranceIsClampedAndJoinsEnds) {
    // Line 1 (0,0)-(10,0)-(10,10) and line 2 from (10+dx,10+dy) over (0,10) back to (0,0).
    const std::string ok = "<no exception>";
    const struct {
        double dx, dy, tolerance;
        bool joins;
    } cases[] = {
        {0.005, 0.002, 0.01, true},    {0.005, 0.002, 0.001, false},
        {0.005, 0.002, -0.01, true},   {0.005, 0.002, 5, true},
        {0.005, 0.002, -0.001, false}, {0.02, 0, 5, false},  // beyond 0.01: a larger tolerance is cut to 0.01
        {0.0008, 0, -0.001, true},                           // -0.001 acts as 0.001
        {0.0008, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy << " tolerance " << c.tolerance);
        BlockSpec s;
        AddBorder(s, 1, {{0, 0}, {10, 0}, {10, 10}});
        AddBorder(s, 2, {{10 + c.dx, 10 + c.dy}, {0, 10}, {0, 0}});
        Open(s);
        EXPECT_EQ(Assemble({1, 2}, c.tolerance), c.joins ? ok : Lines(1, 2));
        if (!c.joins) {
            EXPECT_TRUE(ring.empty());
        }
        if (c.dx == 0.005 && c.tolerance == 0.01) {
            // Both ends of line 1 meet line 2: line 1 is turned round, the gap is the closing one,
            // joined at the ring's vertex.
            ExpectRing({{10, 10}, {10, 0}, {0, 0}, {0, 10}, {10, 10}});
        }
        blk.Close();
    }
}

TEST_F(BlkRingTest, SnapsTheNextLineOntoTheRing) {
    BlockSpec s;
    AddBorder(s, 1, {{0, 0}, {10, 0}, {10, 10}});
    AddBorder(s, 2, {{10.005, 10.002}, {0, 10}});
    AddBorder(s, 3, {{0, 0}, {0, 10}});
    Open(s);
    EXPECT_EQ(Assemble({1, 2, 3}, 0.01), "<no exception>");
    ExpectRing({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}});  // the next line's end moved onto the ring's vertex
    EXPECT_EQ(Assemble({1, 2, 3}, 0.001), Lines(1, 2));
}

TEST_F(BlkRingTest, ClosingGapAndSingleLines) {
    BlockSpec s;
    AddBorder(s, 1, {{0, 0}, {10, 0}, {10, 10}, {0, 0}});          // closed
    AddBorder(s, 2, {{0, 0}, {10, 0}, {10, 10}, {0.004, 0.003}});  // nearly closed
    AddBorder(s, 3, {{0, 0}, {10, 0}, {10, 10}});                  // open
    Open(s);
    EXPECT_EQ(Assemble({1}, 0.001), "<no exception>");
    EXPECT_EQ(ring.size(), 4u);
    EXPECT_EQ(Assemble({2}, 0.01), "<no exception>");
    EXPECT_EQ(ring.back().X.Value(), 0.0L);
    EXPECT_EQ(Assemble({2}, 0.001), Lines(2, 2));
    EXPECT_EQ(Assemble({3}, 0.01), Lines(3, 3));
}

TEST_F(BlkRingTest, OrientsTheFirstLineAndReversesOthers) {
    BlockSpec s;
    AddBorder(s, 1, {{0, 0}, {10, 0}});  // its start meets line 2
    AddBorder(s, 2, {{0, 0}, {0, 10}});
    AddBorder(s, 3, {{10, 0}, {10, 10}, {0, 10}});  // runs against the ring
    AddBorder(s, 4, {{50, 50}, {60, 60}});          // meets nothing
    AddBorder(s, 5, {{50, 50}, {60, 60}}, true);    // an inner line far away
    Open(s);
    EXPECT_EQ(Assemble({1, 2, 3}, 0.01), "<no exception>");
    ExpectRing({{10, 0}, {0, 0}, {0, 10}, {10, 10}, {10, 0}});
    EXPECT_EQ(Assemble({1, 2, 4, 3}, 0.01), Lines(2, 4));
    // Lines walked there and back are cancelled before assembly; an inner line first rotates the list.
    for (const Numbers& list : {Numbers{1, 2, 5, 5, 3}, Numbers{5, 5, 1, 2, 3}, Numbers{1, 2, 4, 4, 3}})
        EXPECT_EQ(Assemble(list, 0.01), "<no exception>") << testing::PrintToString(list);
}

}  // namespace
