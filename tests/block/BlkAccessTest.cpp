// Element access: sequential and by-number reads, vertex reads, deleted tests and header stamps.
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <ctime>

using namespace vexa;
using namespace vexa::testkit;
using namespace vexa::blocktest;

namespace {

void PutI32(std::vector<unsigned char>& b, std::size_t at, std::int32_t v) { std::memcpy(b.data() + at, &v, 4); }
void PutI16(std::vector<unsigned char>& b, std::size_t at, std::int16_t v) { std::memcpy(b.data() + at, &v, 2); }
void PutReal(std::vector<unsigned char>& b, std::size_t at, long double v) {
    TReal48 r = TReal48::FromValue(v);
    std::memcpy(b.data() + at, r.Bytes.data(), 6);
}

class BlkAccessTest : public ::testing::Test {
protected:
    void Write(const BlockSpec& content) { WriteBlock(dir(), content); }
    fs::path dir() const { return tmp.Path() / "LE_1.blk"; }
    void Open() { blk.Open(dir().string()); }
    std::string NotExist(char letter, int number) {
        return "Prvok neexistuje\r(" + blk.Path() + ", " + letter + ":" + std::to_string(number) + ")";
    }
    std::string ReadError() { return "Chyba čítania\r(" + blk.Path() + ")"; }

    TempDir tmp;
    TBlk blk;
};

TEST_F(BlkAccessTest, RecordsDecodeFromTheFileLayout) {
    // Records built byte by byte at the documented offsets, the GIS's own bytes patterned.
    std::vector<unsigned char> lin(2 * 103, 0);
    lin[7] = 1;
    unsigned char* r = lin.data() + 103;
    for (int i = 0; i < 103; ++i) r[i] = static_cast<unsigned char>(0xA0 + i % 50);
    std::vector<unsigned char> rec(lin.begin() + 103, lin.end());
    PutI32(rec, 0, 17);
    PutI16(rec, 4, -3);
    rec[7] = 6;
    PutI16(rec, 11, 4321);
    PutI32(rec, 19, 9);
    PutI32(rec, 23, 5);
    PutI32(rec, 27, 11);
    rec[31] = 1;
    PutI32(rec, 32, 12);
    rec[36] = 0;
    PutI32(rec, 37, 13);
    rec[41] = 1;
    PutI32(rec, 42, -1);
    rec[46] = 0;
    PutI32(rec, 47, 4);
    PutI32(rec, 51, -1);
    PutReal(rec, 55, 12.5L);
    PutReal(rec, 61, -1234567.875L);
    PutReal(rec, 67, -543210.5L);
    PutReal(rec, 73, -1234500.25L);
    PutReal(rec, 79, -543000);
    std::copy(rec.begin(), rec.end(), lin.begin() + 103);

    WriteBlock(dir(), {});
    WriteFileBytes(dir() / "tn.lin", lin);
    Open();
    TBlkLine l;
    blk.ReadNextLine(l);
    EXPECT_TRUE(TBlk::LineDeleted(l));  // the header
    blk.ReadNextLine(l);
    EXPECT_EQ(l.Number, 17);
    EXPECT_EQ(l.Kind, -3);
    EXPECT_EQ(l.Flags, 6);
    EXPECT_EQ(l.DisplayCode, 4321);
    EXPECT_EQ(l.FirstCrd, 9);
    EXPECT_EQ(l.LastCrd, 5);
    EXPECT_EQ(l.NextA, 11);
    EXPECT_EQ(l.NextARev, 1);
    EXPECT_EQ(l.PrevA, 12);
    EXPECT_EQ(l.PrevARev, 0);
    EXPECT_EQ(l.NextB, 13);
    EXPECT_EQ(l.NextBRev, 1);
    EXPECT_EQ(l.PrevB, -1);
    EXPECT_EQ(l.AreaA, 4);
    EXPECT_EQ(l.AreaB, -1);
    EXPECT_EQ(l.Length.Value(), 12.5L);
    EXPECT_EQ(l.Rect.MinX.Value(), -1234567.875L);
    EXPECT_EQ(l.Rect.MinY.Value(), -543210.5L);
    EXPECT_EQ(l.Rect.MaxX.Value(), -1234500.25L);
    EXPECT_EQ(l.Rect.MaxY.Value(), -543000.0L);
    EXPECT_FALSE(TBlk::LineDeleted(l));
    // Every byte, the uninterpreted ones included, is carried unchanged.
    EXPECT_EQ(RecordBytes(l), rec);
    EXPECT_TRUE(blk.LinesEof());
}

TEST_F(BlkAccessTest, PointTextAndAreaLayouts) {
    std::vector<unsigned char> pnt(2 * 35, 0), tbx(2 * 85, 0), are(2 * 71, 0);
    for (std::size_t i = 35; i < pnt.size(); ++i) pnt[i] = static_cast<unsigned char>(i);
    for (std::size_t i = 85; i < tbx.size(); ++i) tbx[i] = static_cast<unsigned char>(i);
    for (std::size_t i = 71; i < are.size(); ++i) are[i] = static_cast<unsigned char>(i);
    pnt[7] = 1;
    tbx[11] = 1;
    are[6] = 4;
    PutI32(pnt, 35, 2);
    PutI16(pnt, 39, 8);
    pnt[35 + 7] = 0;
    PutI16(pnt, 35 + 11, 77);
    PutReal(pnt, 35 + 17, -1000.5L);
    PutReal(pnt, 35 + 23, -2000.25L);
    PutReal(pnt, 35 + 29, 1.5L);
    PutI32(tbx, 85, 3);
    PutI16(tbx, 89, 9);
    tbx[85 + 11] = 0;
    PutReal(tbx, 85 + 38, 0.25L);
    PutReal(tbx, 85 + 61, 1);
    PutReal(tbx, 85 + 67, 2);
    PutReal(tbx, 85 + 73, 3);
    PutReal(tbx, 85 + 79, 4);
    PutI32(are, 71, 4);
    PutI16(are, 75, 10);
    are[71 + 6] = 1;  // bit 0: not deleted for areas
    PutI32(are, 71 + 16, 33);
    PutReal(are, 71 + 29, 5);
    PutReal(are, 71 + 35, 6);
    PutReal(are, 71 + 41, 7);
    PutReal(are, 71 + 65, 99.5L);
    WriteBlock(dir(), {});
    WriteFileBytes(dir() / "tn.pnt", pnt);
    WriteFileBytes(dir() / "tn.tbx", tbx);
    WriteFileBytes(dir() / "tn.are", are);
    Open();
    TBlkPoint p;
    blk.ReadNextPoint(p);
    EXPECT_TRUE(TBlk::PointDeleted(p));
    blk.ReadNextPoint(p);
    EXPECT_EQ(p.Number, 2);
    EXPECT_EQ(p.Kind, 8);
    EXPECT_EQ(p.DisplayCode, 77);
    EXPECT_EQ(p.X.Value(), -1000.5L);
    EXPECT_EQ(p.Y.Value(), -2000.25L);
    EXPECT_EQ(p.Angle.Value(), 1.5L);
    EXPECT_FALSE(TBlk::PointDeleted(p));
    EXPECT_EQ(RecordBytes(p), std::vector<unsigned char>(pnt.begin() + 35, pnt.end()));
    TBlkText t;
    blk.ReadNextText(t);
    EXPECT_TRUE(TBlk::TextDeleted(t));
    blk.ReadNextText(t);
    EXPECT_EQ(t.Number, 3);
    EXPECT_EQ(t.Kind, 9);
    EXPECT_EQ(t.Angle.Value(), 0.25L);
    EXPECT_EQ(t.Rect.MinX.Value(), 1.0L);
    EXPECT_EQ(t.Rect.MinY.Value(), 2.0L);
    EXPECT_EQ(t.Rect.MaxX.Value(), 3.0L);
    EXPECT_EQ(t.Rect.MaxY.Value(), 4.0L);
    EXPECT_FALSE(TBlk::TextDeleted(t));
    EXPECT_EQ(RecordBytes(t), std::vector<unsigned char>(tbx.begin() + 85, tbx.end()));
    TBlkArea a;
    blk.ReadNextArea(a);
    EXPECT_TRUE(TBlk::AreaDeleted(a));
    blk.ReadNextArea(a);
    EXPECT_EQ(a.Number, 4);
    EXPECT_EQ(a.Kind, 10);
    EXPECT_EQ(a.FirstLine, 33);
    EXPECT_EQ(a.RefX.Value(), 5.0L);
    EXPECT_EQ(a.RefY.Value(), 6.0L);
    EXPECT_EQ(a.Rect.MinX.Value(), 7.0L);
    EXPECT_EQ(a.AreaSize.Value(), 99.5L);
    EXPECT_FALSE(TBlk::AreaDeleted(a));
    a.Flags = 4;
    EXPECT_TRUE(TBlk::AreaDeleted(a));
    EXPECT_EQ(RecordBytes(a).size(), 71u);
    EXPECT_TRUE(blk.AreasEof());
    EXPECT_TRUE(blk.PointsEof());
    EXPECT_TRUE(blk.TextsEof());
}

TEST_F(BlkAccessTest, SequentialReadAndEndTest) {
    Write(LinesNumbered({1, 2, 3}));
    Open();
    EXPECT_EQ(blk.LineCount(), 3);
    TBlkLine l;
    EXPECT_FALSE(blk.LinesEof());
    blk.ReadNextLine(l);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_FALSE(blk.LinesEof());
        blk.ReadNextLine(l);
        EXPECT_EQ(l.Number, n);
    }
    EXPECT_TRUE(blk.LinesEof());
    l.Number = 99;
    EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.ReadNextLine(l); }), ReadError());
    EXPECT_TRUE(AllZero(l));
}

TEST_F(BlkAccessTest, TruncatedRecordIsAReadErrorAndTheBlockStaysUsable) {
    Write(LinesNumbered({1, 2}));
    auto lin = ReadFileBytes(dir() / "tn.lin");
    lin.resize(lin.size() - 30);
    WriteFileBytes(dir() / "tn.lin", lin);
    Open();
    EXPECT_EQ(blk.LineCount(), 1);  // the fragment is not counted
    TBlkLine l;
    blk.ReadNextLine(l);
    blk.ReadNextLine(l);
    EXPECT_EQ(l.Number, 1);
    EXPECT_FALSE(blk.LinesEof());
    EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.ReadNextLine(l); }), ReadError());
    EXPECT_TRUE(AllZero(l));
    EXPECT_TRUE(blk.LinesEof());  // the fragment was consumed
    blk.FindLine(1, l);
    EXPECT_EQ(l.Number, 1);
    EXPECT_THROW(blk.IsClean(), EBlkReadError);
}

TEST_F(BlkAccessTest, FindWalksAcrossGaps) {
    Write(LinesNumbered({1, 2, 4, 5, 6, 7}));
    Open();
    EXPECT_EQ(blk.LineCount(), 6);
    TBlkLine l;
    for (int n : {1, 2, 4, 5, 6}) {
        blk.FindLine(n, l);
        EXPECT_EQ(l.Number, n);
    }
    blk.FindLine(4, l);
    EXPECT_EQ(l.FirstCrd, 4);  // the fourth line written (index 3) owns vertices 4 and 5
    l.Number = 55;
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindLine(3, l); }), NotExist('L', 3));
    EXPECT_TRUE(AllZero(l));
    // 7 is at index 6 but exceeds the count of 6.
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindLine(7, l); }), NotExist('L', 7));
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindLine(0, l); }), NotExist('L', 0));
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindLine(-4, l); }), NotExist('L', -4));
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindLine(INT_MAX, l); }), NotExist('L', INT_MAX));
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindLine(INT_MIN, l); }), NotExist('L', INT_MIN));
}

TEST_F(BlkAccessTest, FindOnlyReachesNumbersUpToTheCount) {
    // Numbers above their index: 5 is present but beyond the count of 3.
    Write(LinesNumbered({5, 6, 7}));
    Open();
    TBlkLine l;
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindLine(5, l); }), NotExist('L', 5));
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindLine(3, l); }), NotExist('L', 3));
    blk.Close();
    // Walks forward past smaller numbers (an unclean file).
    Write(LinesNumbered({1, 1, 1, 2, 9}));
    Open();
    blk.FindLine(2, l);
    EXPECT_EQ(l.FirstCrd, 6);  // index 4
    // Once it turned backwards it never turns forward again.
    blk.Close();
    Write(LinesNumbered({1, 9, 2, 3}));
    Open();
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindLine(2, l); }), NotExist('L', 2));
    blk.FindLine(3, l);
    EXPECT_EQ(l.Number, 3);
}

TEST_F(BlkAccessTest, FindInEveryGroupNamesItsLetter) {
    BlockSpec s;
    s.Points = {MakePoint(1, 1, 0, 0), MakePoint(3, 2, 10, 20)};
    s.Texts = {MakeText(2, 1), MakeText(3, 4)};
    s.Areas = {MakeArea(1, 1, 7), MakeArea(2, 5, 8)};
    Write(s);
    Open();
    TBlkPoint p;
    TBlkText t;
    TBlkArea a;
    blk.FindArea(2, a);
    EXPECT_EQ(a.FirstLine, 8);
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindPoint(2, p); }), NotExist('B', 2));
    blk.FindPoint(1, p);
    EXPECT_EQ(p.Number, 1);
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindText(1, t); }), NotExist('T', 1));
    blk.FindText(2, t);
    EXPECT_EQ(t.Kind, 1);  // index 2 holds 3; one step back finds 2
}

TEST_F(BlkAccessTest, FindHitsATruncatedRecord) {
    Write(LinesNumbered({1, 2}));
    auto lin = ReadFileBytes(dir() / "tn.lin");
    lin.resize(lin.size() + 50, 0);
    WriteFileBytes(dir() / "tn.lin", lin);
    Open();
    TBlkLine l;
    EXPECT_EQ(blk.LineCount(), 2);
    EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.FindLine(3, l); }), ReadError());
    EXPECT_TRUE(AllZero(l));
    blk.FindLine(2, l);
    EXPECT_EQ(l.Number, 2);
}

TEST_F(BlkAccessTest, ByNumberReadsAndStampsKeepTheSequentialPosition) {
    BlockSpec s = LinesNumbered({1, 2, 4, 5});
    s.Points = {MakePoint(1, 1, 0, 0), MakePoint(2, 1, 0, 0), MakePoint(3, 1, 0, 0)};
    s.Texts = {MakeText(1, 1), MakeText(2, 1), MakeText(3, 1)};
    s.Areas = {MakeArea(1, 1), MakeArea(2, 1), MakeArea(3, 1)};
    Write(s);
    Open();
    TBlkLine l;
    TBlkPoint p;
    TBlkText t;
    TBlkArea a;
    TCrds crds;
    blk.ReadNextLine(l);
    blk.ReadNextLine(l);
    blk.ReadNextPoint(p);
    blk.ReadNextPoint(p);
    blk.ReadNextText(t);
    blk.ReadNextText(t);
    blk.ReadNextArea(a);
    blk.ReadNextArea(a);
    blk.FindLine(4, l);
    EXPECT_THROW(blk.FindLine(3, l), EBlkFeatureNotExist);
    blk.FindPoint(3, p);
    blk.FindText(3, t);
    blk.FindArea(3, a);
    blk.ReadCrds(0, 5, crds);
    blk.TouchLines();
    blk.TouchPoints();
    blk.TouchTexts();
    blk.TouchAreas();
    EXPECT_TRUE(blk.IsClean());
    blk.ReadNextLine(l);
    blk.ReadNextPoint(p);
    blk.ReadNextText(t);
    blk.ReadNextArea(a);
    EXPECT_EQ(l.Number, 2);
    EXPECT_EQ(p.Number, 2);
    EXPECT_EQ(t.Number, 2);
    EXPECT_EQ(a.Number, 2);
}

TEST_F(BlkAccessTest, VertexReads) {
    BlockSpec s;
    for (int i = 0; i < 12; ++i) s.Crds.push_back(TBlkCrd{R(i * 10 + 0.5L), R(-i)});
    Write(s);
    Open();
    TCrds crds;
    EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.ReadCrds(7, 7, crds); }), ReadError());
    blk.ReadCrds(9, 5, crds);
    ASSERT_EQ(crds.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(crds[i].X.Value(), (5 + i) * 10 + 0.5L);
        EXPECT_EQ(crds[i].Y.Value(), -(5 + i));
    }
    TCrds same;
    blk.ReadCrds(5, 9, same);
    EXPECT_EQ(RecordBytes(same[0]), RecordBytes(crds[0]));
    EXPECT_EQ(RecordBytes(same[4]), RecordBytes(crds[4]));
    blk.ReadCrds(0, 11, crds);
    EXPECT_EQ(crds.size(), 12u);

    TBlkLine line = MakeLine(1);
    line.FirstCrd = 3;
    line.LastCrd = 1;
    blk.ReadLineCrds(line, crds);
    ASSERT_EQ(crds.size(), 3u);
    EXPECT_EQ(crds[0].X.Value(), 10.5L);
    EXPECT_EQ(crds[2].X.Value(), 30.5L);

    // Invalid ranges: negative, beyond the file, an index at the very end, huge.
    for (auto [a, b] : std::vector<std::pair<int, int>>{{-1, 3}, {3, -1}, {0, 13}, {14, 2}, {11, 12}, {0, INT_MAX},
                                                         {INT_MIN, 0}}) {
        crds.assign(4, TBlkCrd{});
        EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.ReadCrds(a, b, crds); }), ReadError()) << a << "," << b;
        EXPECT_TRUE(crds.empty()) << a << "," << b;
    }
    // Still usable.
    blk.ReadCrds(10, 11, crds);
    EXPECT_EQ(crds.size(), 2u);
}

TEST_F(BlkAccessTest, StampsRewriteOnlyTheHeader) {
    BlockSpec s = LinesNumbered({1, 2});
    s.Points = {MakePoint(1, 1, 3, 4)};
    s.Texts = {MakeText(1, 1)};
    s.Areas = {MakeArea(1, 1, 2)};
    Write(s);
    // Garbage in the headers is replaced by a clean header.
    auto garbage = [&](const char* name) {
        auto b = ReadFileBytes(dir() / name);
        for (std::size_t i = 0; i < 20; ++i) b[i] = 0xEE;
        WriteFileBytes(dir() / name, b);
        return b;
    };
    auto lin = garbage("tn.lin");
    auto pnt = garbage("tn.pnt");
    auto tbx = garbage("tn.tbx");
    auto are = garbage("tn.are");
    Open();
    const std::uint32_t before = TBlk::PackedNow();
    blk.TouchLines();
    blk.TouchPoints();
    blk.TouchTexts();
    blk.TouchAreas();
    const std::uint32_t after = TBlk::PackedNow();
    struct Case {
        const char* name;
        std::vector<unsigned char> old;
        std::size_t size, flagsAt;
        unsigned char flags;
        std::size_t timeAt;
    };
    for (const Case& c : {Case{"tn.lin", lin, 103, 7, 1, 15}, Case{"tn.pnt", pnt, 35, 7, 1, 13},
                          Case{"tn.tbx", tbx, 85, 11, 1, 7}, Case{"tn.are", are, 71, 6, 4, 12}}) {
        auto now = ReadFileBytes(dir() / c.name);
        ASSERT_EQ(now.size(), c.old.size()) << c.name;
        for (std::size_t i = 0; i < c.size; ++i) {
            if (i == c.flagsAt) {
                EXPECT_EQ(now[i], c.flags) << c.name;
            } else if (i < c.timeAt || i >= c.timeAt + 4) {
                EXPECT_EQ(now[i], 0) << c.name << " byte " << i;
            }
        }
        EXPECT_GE(U32At(now, c.timeAt), before) << c.name;
        EXPECT_LE(U32At(now, c.timeAt), after) << c.name;
        EXPECT_TRUE(std::equal(now.begin() + c.size, now.end(), c.old.begin() + c.size)) << c.name;
    }
}

TEST_F(BlkAccessTest, StampOnAnEmptyFileWritesTheHeader) {
    Write({});
    WriteFileBytes(dir() / "tn.are", {});
    Open();
    EXPECT_EQ(blk.AreaCount(), -1);
    EXPECT_TRUE(blk.AreasEof());
    blk.TouchAreas();
    EXPECT_EQ(blk.AreaCount(), 0);
    EXPECT_EQ(fs::file_size(dir() / "tn.are"), 71u);
    EXPECT_FALSE(blk.AreasEof());  // the stream still stands at 0
    TBlkArea a;
    blk.ReadNextArea(a);
    EXPECT_TRUE(TBlk::AreaDeleted(a));
    EXPECT_TRUE(blk.AreasEof());
}

TEST(BlkPackedTimeTest, PackedNowIsTheLocalDateAndTime) {
    std::time_t t0 = std::time(nullptr);
    std::uint32_t packed = TBlk::PackedNow();
    std::tm tm{};
    localtime_r(&t0, &tm);
    EXPECT_EQ(packed >> 25, std::uint32_t(tm.tm_year + 1900 - 1980));
    EXPECT_EQ((packed >> 21) & 15, std::uint32_t(tm.tm_mon + 1));
    EXPECT_EQ((packed >> 16) & 31, std::uint32_t(tm.tm_mday));
    std::uint32_t secondsOfDay = ((packed >> 11) & 31) * 3600 + ((packed >> 5) & 63) * 60 + (packed & 31) * 2;
    std::uint32_t expected = std::uint32_t(tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec);
    EXPECT_LE(expected - std::min(expected, secondsOfDay), 3u);
}

TEST(BlkRecordsTest, GroupLettersAndReservedFields) {
    EXPECT_EQ(GroupLetter(egLine), 'L');
    EXPECT_EQ(GroupLetter(egPoint), 'B');
    EXPECT_EQ(GroupLetter(egArea), 'P');
    EXPECT_EQ(GroupLetter(egText), 'T');
    EXPECT_EQ(GroupLetter(static_cast<TBlkElementGroup>(7)), '?');
    EXPECT_STREQ(BlkReservedFields[0], "CISLO");
    EXPECT_STREQ(BlkReservedFields[8], "DISP_BARVA");
    EXPECT_STREQ(BlkReservedFields[24], "PLOCHA");
    EXPECT_STREQ(BlkReservedFields[27], "PERIMETER");
}

} // namespace
