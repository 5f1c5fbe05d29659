// Rectangles, duplicates and the classification of lines.
#include "TestUtil.h"

#include <algorithm>
#include <functional>
#include <random>

using namespace vexa;
using namespace vexa::blocktest;

namespace {

using Bytes = std::array<std::uint8_t, 6>;

void ExpectRect(const TBlkRect& r, long double minX, long double minY, long double maxX, long double maxY) {
    EXPECT_EQ(r.MinX.Value(), minX);
    EXPECT_EQ(r.MinY.Value(), minY);
    EXPECT_EQ(r.MaxX.Value(), maxX);
    EXPECT_EQ(r.MaxY.Value(), maxY);
}

TEST(BlkGeometryTest, RectangleAndReversalOfVertices) {
    EXPECT_TRUE(AllZero(TBlk::CrdsRect({})));
    ExpectRect(TBlk::CrdsRect({TBlkCrd{R(-1234567.875L), R(-543210.5L)}}), -1234567.875L, -543210.5L, -1234567.875L,
               -543210.5L);
    ExpectRect(TBlk::CrdsRect({TBlkCrd{R(3), R(-1)}, TBlkCrd{R(-2), R(7)}, TBlkCrd{R(5), R(0)}}), -2, -1, 5, 7);

    // The extremes start at the reals nearest to +-1.7E38: a larger vertex keeps the start value.
    TReal48 largest;
    largest.Bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
    TBlkRect huge = TBlk::CrdsRect({TBlkCrd{largest, largest}});
    EXPECT_EQ(huge.MinX.Bytes, (Bytes{0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0x7F}));
    EXPECT_EQ(huge.MinY.Bytes, (Bytes{0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0x7F}));
    EXPECT_EQ(huge.MaxX.Bytes, largest.Bytes);
    TReal48 smallest = largest;
    smallest.Bytes[5] = 0xFF;
    TBlkRect tiny = TBlk::CrdsRect({TBlkCrd{smallest, smallest}});
    EXPECT_EQ(tiny.MaxY.Bytes, (Bytes{0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0xFF}));
    EXPECT_EQ(tiny.MinY.Bytes, smallest.Bytes);

    TCrds crds{TBlkCrd{R(1), R(1)}, TBlkCrd{R(2), R(2)}, TBlkCrd{R(3), R(3)}};
    TBlk::ReverseCrds(crds);
    EXPECT_EQ(crds[0].X.Value(), 3.0L);
    EXPECT_EQ(crds[1].X.Value(), 2.0L);
    EXPECT_EQ(crds[2].X.Value(), 1.0L);
    TCrds none;
    TBlk::ReverseCrds(none);
    EXPECT_TRUE(none.empty());
}

TEST(BlkGeometryTest, StoredRectangleMustMatchExactly) {
    TempDir tmp;
    BlockSpec s;
    s.AddLine(1, 1, {{-10.5, 2}, {4, -3.25}, {0, 8}});
    s.AddLine(2, 1, {{0, 0}, {1, 1}}).Rect.MaxY.Bytes[1] ^= 1;  // one last bit away
    s.AddLine(3, 1, {{0, 0}, {1, 1}}).LastCrd = 99;
    WriteBlock(tmp.Path() / "b.blk", s);
    TBlk blk;
    blk.Open(tmp / "b.blk");
    TBlkLine l;
    TBlkRect computed;
    blk.FindLine(1, l);
    EXPECT_TRUE(blk.LineRectOk(l, computed));
    ExpectRect(computed, -10.5L, -3.25L, 4, 8);
    blk.FindLine(2, l);
    EXPECT_FALSE(blk.LineRectOk(l, computed));
    EXPECT_EQ(computed.MaxY.Value(), 1.0L);
    EXPECT_NE(l.Rect.MaxY.Value(), 1.0L);
    blk.FindLine(3, l);
    EXPECT_THROW(blk.LineRectOk(l, computed), EBlkReadError);
}

TEST(BlkGeometryTest, LineClassification) {
    const struct {
        const char* what;
        std::function<void(TBlkLine&)> set;
        bool topo, area, inner;
    } cases[] = {
        {"linked, no areas", [](TBlkLine&) {}, true, false, false},
        {"no NextA", [](TBlkLine& l) { l.NextA = -1; }, false, false, false},
        {"no PrevA", [](TBlkLine& l) { l.PrevA = -1; }, false, false, false},
        {"no NextB", [](TBlkLine& l) { l.NextB = -1; }, false, false, false},
        {"no PrevB", [](TBlkLine& l) { l.PrevB = -1; }, false, false, false},
        {"not usable", [](TBlkLine& l) { l.Flags = 2; }, false, false, false},
        {"deleted", [](TBlkLine& l) { l.Flags = 1; }, false, false, false},
        {"a curve", [](TBlkLine& l) { l.Flags = 4; }, true, false, false},
        {"area on side A", [](TBlkLine& l) { l.AreaA = 3; }, true, true, false},
        {"area on side B", [](TBlkLine& l) { l.AreaB = 3; }, true, true, false},
        {"same area on both sides", [](TBlkLine& l) { l.AreaA = l.AreaB = 3; }, true, true, true},
        {"inner but not usable", [](TBlkLine& l) { l.AreaA = l.AreaB = 3, l.Flags = 2; }, false, false, false},
    };
    for (const auto& c : cases) {
        TBlkLine l = MakeLine(1);
        l.NextA = l.PrevA = l.NextB = l.PrevB = 5;
        c.set(l);
        EXPECT_EQ(TBlk::IsTopoLine(l), c.topo) << c.what;
        EXPECT_EQ(TBlk::IsAreaLine(l), c.area) << c.what;
        EXPECT_EQ(TBlk::IsInnerLine(l), c.inner) << c.what;
    }
}

// --- duplicates ------------------------------------------------------------------

class BlkDuplicateTest : public ::testing::TestWithParam<bool> {
protected:
    void Open(const BlockSpec& s, long appendBytes = 0) {
        WriteBlock(tmp.Path() / "b.blk", s);
        if (appendBytes) Resize(tmp.Path() / "b.blk" / "tn.lin", appendBytes, 0xAB);
        blk.Open(tmp / "b.blk");
        blk.SetReadCache(GetParam());
    }
    std::string Duplicates(std::int32_t number) {
        TBlkLine l;
        blk.FindLine(number, l);
        std::string found = "junk";
        bool any = blk.FindDuplicateLines(l, found);
        EXPECT_EQ(any, !found.empty());
        return found;
    }
    TempDir tmp;
    TBlk blk;
};

BlockSpec DuplicateBlock() {
    BlockSpec s;
    const std::vector<std::pair<double, double>> shape{{0, 0}, {5, 1}, {10, 0}};
    std::vector<std::pair<double, double>> backwards(shape.rbegin(), shape.rend());
    s.AddLine(1, 1, shape);
    s.AddLine(2, 1, {{0, 0}, {5, 2}, {10, 0}});          // one vertex moved, same rectangle
    s.AddLine(3, 1, backwards);                          // same vertices in opposite order
    s.AddLine(4, 1, shape, true);                        // same vertices, FirstCrd > LastCrd
    s.AddLine(5, 1, shape).Flags = 1;                    // deleted
    s.AddLine(6, 1, {{0, 0}, {10, 1}, {10, 0}});         // same count and rectangle, other vertices
    s.AddLine(7, 1, {{0, 0}, {5, 1}, {5, 1}, {10, 0}});  // more vertices
    s.AddLine(8, 1, shape).Rect.MaxY = R(2);             // stored rectangle differs
    s.AddLine(17, 1, shape);
    s.AddLine(243, 1, backwards);
    return s;
}

TEST_P(BlkDuplicateTest, FindsSameGeometryInFileOrder) {
    Open(DuplicateBlock());
    TBlkLine first;
    blk.ReadNextLine(first);
    blk.ReadNextLine(first);
    // A deleted line (5) finds its twins, but is never found itself.
    const std::pair<std::int32_t, const char*> cases[] = {
        {1, "3,4,17,243"}, {3, "1,4,17,243"}, {2, ""}, {6, ""}, {7, ""}, {8, ""}, {5, "1,3,4,17,243"}};
    for (const auto& [number, found] : cases) EXPECT_EQ(Duplicates(number), found) << number;
    TBlkLine next;
    blk.ReadNextLine(next);
    EXPECT_EQ(+next.Number, 2);  // the sequential position is kept
}

TEST_P(BlkDuplicateTest, ToleratesAFragmentAndReportsBrokenVertexRanges) {
    BlockSpec s = DuplicateBlock();
    s.Lines[5].LastCrd = 9999;  // line 6 passes no cheap test with line 1 ... and has a broken range
    Open(s);
    EXPECT_EQ(Duplicates(1), "3,4,17,243");
    blk.Close();

    BlockSpec broken;
    broken.AddLine(1, 1, {{0, 0}, {1, 1}});
    TBlkLine& twin = broken.AddLine(2, 1, {{0, 0}, {1, 1}});
    twin.FirstCrd = 50;  // passes the cheap tests (count 1, same rectangle), vertices unreadable
    twin.LastCrd = 51;
    Open(broken, 60);
    TBlkLine l;
    blk.FindLine(1, l);
    std::string found = "junk";
    EXPECT_THROW(blk.FindDuplicateLines(l, found), EBlkReadError);
    EXPECT_EQ(found, "");
}

TEST_P(BlkDuplicateTest, ManyRecordsAcrossReadBlocks) {
    BlockSpec s;
    for (int i = 1; i <= 2600; ++i) s.AddLine(i, 1, {{double(i % 7), 0}, {double(i % 7) + 1, 1}});
    Open(s);
    std::string expected;
    for (int i = 1; i <= 2600; ++i)
        if (i % 7 == 1 && i != 2500) expected += (expected.empty() ? "" : ",") + std::to_string(i);
    EXPECT_EQ(Duplicates(2500), expected);  // 2500 % 7 == 1
}

// Random lines on a coarse grid (copies, reversals, same rectangles with other
// vertices, zeros of both signs, deleted records): the index gives
// what the file scan gives for every line, read in file order (as the line pass
// reads) and by number in another order.
TEST(BlkDuplicateIndexTest, GivesWhatTheFileScanGivesOnRandomBlocks) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 random(seed);
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        BlockSpec s;
        std::vector<std::int32_t> numbers;
        const int count = 300 + pick(2500);
        for (int i = 1; i <= count; ++i) numbers.push_back(i);
        std::vector<std::vector<std::pair<double, double>>> shapes;
        for (int i = 0; i < count; ++i) {
            std::vector<std::pair<double, double>> v;
            if (!shapes.empty() && pick(4) == 0) {
                v = shapes[static_cast<std::size_t>(pick(static_cast<int>(shapes.size())))];
                if (pick(2) == 0) std::reverse(v.begin(), v.end());
            } else {
                const int n = 2 + pick(3);
                for (int k = 0; k < n; ++k) v.emplace_back(pick(3) * (pick(5) == 0 ? -0.0 : 1.0), pick(2));
            }
            shapes.push_back(v);
            TBlkLine& line = s.AddLine(numbers[static_cast<std::size_t>(i)], 1, v, pick(3) == 0);
            if (pick(20) == 0) line.Flags |= 1;
        }
        TempDir tmp;
        WriteBlock(tmp.Path() / "b.blk", s);
        TBlk direct, cached;
        direct.Open(tmp / "b.blk");
        cached.Open(tmp / "b.blk");
        cached.SetReadCache(true);
        TBlkLine d, c, header;
        direct.ReadNextLine(header);
        cached.ReadNextLine(header);
        std::string fromFile, fromIndex;
        for (int i = 0; i < count; ++i) {
            direct.ReadNextLine(d);
            cached.ReadNextLine(c);
            ASSERT_EQ(direct.FindDuplicateLines(d, fromFile), cached.FindDuplicateLines(c, fromIndex));
            ASSERT_EQ(fromIndex, fromFile) << "seed " << seed << ", line " << d.Number;
        }
        for (int i = 0; i < 400; ++i) {
            const std::int32_t number = numbers[static_cast<std::size_t>(pick(count))];
            direct.FindLine(number, d);
            cached.FindLine(number, c);
            ASSERT_EQ(direct.FindDuplicateLines(d, fromFile), cached.FindDuplicateLines(c, fromIndex));
            ASSERT_EQ(fromIndex, fromFile) << "seed " << seed << ", line " << number << " by number";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(DirectAndCached, BlkDuplicateTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Cached" : "Direct"; });

}  // namespace
