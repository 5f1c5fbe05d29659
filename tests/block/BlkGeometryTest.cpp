// Rectangles, duplicates and the classification of lines.
#include "TestUtil.h"

#include <gtest/gtest.h>

using namespace vexa;
using namespace vexa::testkit;
using namespace vexa::blocktest;

namespace {

using Bytes = std::array<std::uint8_t, 6>;

TEST(BlkGeometryTest, RectangleOfVertices) {
    TBlkRect empty = TBlk::CrdsRect({});
    EXPECT_TRUE(AllZero(empty));

    TBlkRect one = TBlk::CrdsRect({TBlkCrd{R(-1234567.875L), R(-543210.5L)}});
    EXPECT_EQ(one.MinX.Value(), -1234567.875L);
    EXPECT_EQ(one.MaxX.Value(), -1234567.875L);
    EXPECT_EQ(one.MinY.Value(), -543210.5L);
    EXPECT_EQ(one.MaxY.Value(), -543210.5L);

    TBlkRect many = TBlk::CrdsRect({TBlkCrd{R(3), R(-1)}, TBlkCrd{R(-2), R(7)}, TBlkCrd{R(5), R(0)}});
    EXPECT_EQ(many.MinX.Value(), -2.0L);
    EXPECT_EQ(many.MinY.Value(), -1.0L);
    EXPECT_EQ(many.MaxX.Value(), 5.0L);
    EXPECT_EQ(many.MaxY.Value(), 7.0L);

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
}

TEST(BlkGeometryTest, ReverseVertices) {
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
    TBlkLine off = s.AddLine(2, 1, {{0, 0}, {1, 1}});
    off.Rect.MaxY.Bytes[1] ^= 1;  // one last bit away
    s.Lines[1] = off;
    TBlkLine broken = s.AddLine(3, 1, {{0, 0}, {1, 1}});
    broken.LastCrd = 99;
    s.Lines[2] = broken;
    WriteBlock(tmp.Path() / "b.blk", s);
    TBlk blk;
    blk.Open(tmp / "b.blk");
    TBlkLine l;
    TBlkRect computed;
    blk.FindLine(1, l);
    EXPECT_TRUE(blk.LineRectOk(l, computed));
    EXPECT_EQ(computed.MinX.Value(), -10.5L);
    EXPECT_EQ(computed.MinY.Value(), -3.25L);
    EXPECT_EQ(computed.MaxX.Value(), 4.0L);
    EXPECT_EQ(computed.MaxY.Value(), 8.0L);
    blk.FindLine(2, l);
    EXPECT_FALSE(blk.LineRectOk(l, computed));
    EXPECT_EQ(computed.MaxY.Value(), 1.0L);
    EXPECT_NE(l.Rect.MaxY.Value(), 1.0L);
    blk.FindLine(3, l);
    EXPECT_THROW(blk.LineRectOk(l, computed), EBlkReadError);
}

TEST(BlkGeometryTest, LineClassification) {
    TBlkLine l = MakeLine(1);
    l.NextA = l.PrevA = l.NextB = l.PrevB = 5;
    EXPECT_TRUE(TBlk::IsTopoLine(l));
    EXPECT_FALSE(TBlk::IsAreaLine(l));  // both areas -1
    EXPECT_FALSE(TBlk::IsInnerLine(l));
    for (std::int32_t TBlkLine::*link : {&TBlkLine::NextA, &TBlkLine::PrevA, &TBlkLine::NextB, &TBlkLine::PrevB}) {
        TBlkLine m = l;
        m.*link = -1;
        EXPECT_FALSE(TBlk::IsTopoLine(m));
    }
    TBlkLine m = l;
    m.Flags = 2;
    EXPECT_FALSE(TBlk::IsTopoLine(m));
    m.Flags = 1;
    EXPECT_FALSE(TBlk::IsTopoLine(m));
    m.Flags = 4;  // a curve is usable
    EXPECT_TRUE(TBlk::IsTopoLine(m));

    l.AreaA = 3;
    EXPECT_TRUE(TBlk::IsAreaLine(l));
    EXPECT_FALSE(TBlk::IsInnerLine(l));
    l.AreaB = 3;
    EXPECT_TRUE(TBlk::IsInnerLine(l));
    l.AreaA = -1;
    EXPECT_TRUE(TBlk::IsAreaLine(l));
    l.AreaA = l.AreaB = 3;
    l.Flags = 2;
    EXPECT_FALSE(TBlk::IsAreaLine(l));
    EXPECT_FALSE(TBlk::IsInnerLine(l));
}

// --- duplicates ------------------------------------------------------------------

class BlkDuplicateTest : public ::testing::TestWithParam<bool> {
protected:
    void Open(const BlockSpec& s) {
        WriteBlock(tmp.Path() / "b.blk", s);
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
    s.AddLine(2, 1, {{0, 0}, {5, 2}, {10, 0}});           // one vertex moved, same rectangle
    s.AddLine(3, 1, backwards);                            // same vertices in opposite order
    s.AddLine(4, 1, shape, true);                          // same vertices, FirstCrd > LastCrd
    s.AddLine(5, 1, shape).Flags = 1;                      // deleted
    s.AddLine(6, 1, {{0, 0}, {10, 1}, {10, 0}});           // same count and rectangle, other vertices
    s.AddLine(7, 1, {{0, 0}, {5, 1}, {5, 1}, {10, 0}});    // more vertices
    TBlkLine& other = s.AddLine(8, 1, shape);
    other.Rect.MaxY = R(2);                                // stored rectangle differs
    s.AddLine(17, 1, shape);
    s.AddLine(243, 1, backwards);
    return s;
}

TEST_P(BlkDuplicateTest, FindsSameGeometryInFileOrder) {
    Open(DuplicateBlock());
    TBlkLine first;
    blk.ReadNextLine(first);
    blk.ReadNextLine(first);
    EXPECT_EQ(Duplicates(1), "3,4,17,243");
    EXPECT_EQ(Duplicates(3), "1,4,17,243");
    EXPECT_EQ(Duplicates(2), "");
    EXPECT_EQ(Duplicates(6), "");
    EXPECT_EQ(Duplicates(7), "");
    EXPECT_EQ(Duplicates(8), "");
    // A deleted line finds its twins, but is never found itself.
    EXPECT_EQ(Duplicates(5), "1,3,4,17,243");
    // The sequential position is kept.
    TBlkLine next;
    blk.ReadNextLine(next);
    EXPECT_EQ(next.Number, 2);
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
    WriteBlock(tmp.Path() / "b.blk", broken);
    auto lin = ReadFileBytes(tmp.Path() / "b.blk" / "tn.lin");
    lin.resize(lin.size() + 60, 0xAB);
    WriteFileBytes(tmp.Path() / "b.blk" / "tn.lin", lin);
    blk.Open(tmp / "b.blk");
    blk.SetReadCache(GetParam());
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
    std::string found;
    TBlkLine l;
    blk.FindLine(2500, l);  // 2500 % 7 == 1
    ASSERT_TRUE(blk.FindDuplicateLines(l, found));
    std::string expected;
    for (int i = 1; i <= 2600; ++i)
        if (i % 7 == 1 && i != 2500) expected += (expected.empty() ? "" : ",") + std::to_string(i);
    EXPECT_EQ(found, expected);
}

INSTANTIATE_TEST_SUITE_P(DirectAndCached, BlkDuplicateTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Cached" : "Direct"; });

TEST(BlkDuplicateClosedTest, NeedsAnOpenBlock) {
    TBlk blk;
    std::string found;
    EXPECT_THROW(blk.FindDuplicateLines(MakeLine(1), found), EBlkNotOpened);
    TBlkRect r;
    EXPECT_THROW(blk.LineRectOk(MakeLine(1), r), EBlkNotOpened);
}

} // namespace
