// Element access: record layouts, sequential and by-number reads, vertex reads, deleted tests
// and header stamps.
#include "TestUtil.h"

#include <climits>
#include <cstddef>
#include <ctime>

using namespace vexa;
using namespace vexa::blocktest;

namespace {

class BlkAccessTest : public BlockTest {
protected:
    void ReadNextOfEach() {
        blk.ReadNextLine(l);
        blk.ReadNextPoint(p);
        blk.ReadNextText(t);
        blk.ReadNextArea(a);
    }
    TBlkLine l;
    TBlkPoint p;
    TBlkText t;
    TBlkArea a;
};

TEST(BlkRecordsTest, FieldsSitAtTheirFileOffsets) {
    struct Field {
        const char* name;
        std::size_t offset, size, expectedOffset, expectedSize;
    };
#define F(T, f, off, sz) \
    Field { #T "." #f, offsetof(T, f), sizeof(T::f), off, sz }
    const Field fields[] = {
        F(TBlkLine, Number, 0, 4),
        F(TBlkLine, Kind, 4, 2),
        F(TBlkLine, Flags, 7, 1),
        F(TBlkLine, DisplayCode, 11, 2),
        F(TBlkLine, Time, 15, 4),
        F(TBlkLine, FirstCrd, 19, 4),
        F(TBlkLine, LastCrd, 23, 4),
        F(TBlkLine, NextA, 27, 4),
        F(TBlkLine, NextARev, 31, 1),
        F(TBlkLine, PrevA, 32, 4),
        F(TBlkLine, PrevARev, 36, 1),
        F(TBlkLine, NextB, 37, 4),
        F(TBlkLine, NextBRev, 41, 1),
        F(TBlkLine, PrevB, 42, 4),
        F(TBlkLine, PrevBRev, 46, 1),
        F(TBlkLine, AreaA, 47, 4),
        F(TBlkLine, AreaB, 51, 4),
        F(TBlkLine, Length, 55, 6),
        F(TBlkLine, Rect, 61, 24),
        F(TBlkPoint, Number, 0, 4),
        F(TBlkPoint, Kind, 4, 2),
        F(TBlkPoint, Flags, 7, 1),
        F(TBlkPoint, DisplayCode, 11, 2),
        F(TBlkPoint, Time, 13, 4),
        F(TBlkPoint, X, 17, 6),
        F(TBlkPoint, Y, 23, 6),
        F(TBlkPoint, Angle, 29, 6),
        F(TBlkText, Number, 0, 4),
        F(TBlkText, Kind, 4, 2),
        F(TBlkText, Time, 7, 4),
        F(TBlkText, Flags, 11, 1),
        F(TBlkText, Angle, 38, 6),
        F(TBlkText, Rect, 61, 24),
        F(TBlkArea, Number, 0, 4),
        F(TBlkArea, Kind, 4, 2),
        F(TBlkArea, Flags, 6, 1),
        F(TBlkArea, Time, 12, 4),
        F(TBlkArea, FirstLine, 16, 4),
        F(TBlkArea, RefX, 29, 6),
        F(TBlkArea, RefY, 35, 6),
        F(TBlkArea, Rect, 41, 24),
        F(TBlkArea, AreaSize, 65, 6),
        F(TBlkRect, MinX, 0, 6),
        F(TBlkRect, MinY, 6, 6),
        F(TBlkRect, MaxX, 12, 6),
        F(TBlkRect, MaxY, 18, 6),
        F(TBlkCrd, X, 0, 6),
        F(TBlkCrd, Y, 6, 6),
    };
#undef F
    for (const Field& f : fields) {
        EXPECT_EQ(f.offset, f.expectedOffset) << f.name;
        EXPECT_EQ(f.size, f.expectedSize) << f.name;
    }
    const std::size_t sizes[] = {sizeof(TBlkLine), sizeof(TBlkPoint), sizeof(TBlkText), sizeof(TBlkArea)};
    for (int g = 0; g < 4; ++g) EXPECT_EQ(sizes[g], kHeaders[g].size) << kHeaders[g].file;
    EXPECT_EQ(sizeof(TBlkCrd), 12u);
}

TEST_F(BlkAccessTest, RecordsAreReadWithEveryByteUnchanged) {
    // Each file: a header record, then one record patterned byte by byte whose flags say "not deleted".
    const unsigned char liveFlags[] = {6, 0, 0, 1};  // a line with bits 1 and 2, an area with bit 0
    std::vector<std::vector<unsigned char>> records;
    WriteBlock(Dir(), {});
    for (int g = 0; g < 4; ++g) {
        const HeaderLayout& h = kHeaders[g];
        std::vector<unsigned char> b(2 * h.size, 0);
        for (std::size_t i = h.size; i < b.size(); ++i) b[i] = static_cast<unsigned char>(0xA0 + i % 50);
        b[h.flagsAt] = h.flags;
        b[h.size + h.flagsAt] = liveFlags[g];
        WriteFileBytes(Dir() / h.file, b);
        records.emplace_back(b.begin() + h.size, b.end());
    }
    blk.Open(Dir().string());
    ReadNextOfEach();
    EXPECT_TRUE(TBlk::LineDeleted(l) && TBlk::PointDeleted(p) && TBlk::TextDeleted(t) && TBlk::AreaDeleted(a));
    ReadNextOfEach();
    EXPECT_EQ(RecordBytes(l), records[0]);
    EXPECT_EQ(RecordBytes(p), records[1]);
    EXPECT_EQ(RecordBytes(t), records[2]);
    EXPECT_EQ(RecordBytes(a), records[3]);
    EXPECT_FALSE(TBlk::LineDeleted(l) || TBlk::PointDeleted(p) || TBlk::TextDeleted(t) || TBlk::AreaDeleted(a));
    a.Flags = 4;
    EXPECT_TRUE(TBlk::AreaDeleted(a));
    EXPECT_TRUE(blk.LinesEof() && blk.PointsEof() && blk.TextsEof() && blk.AreasEof());
}

TEST_F(BlkAccessTest, SequentialReadsEndTestAndFragments) {
    // Whole records: read in file order; reading at the end is a read error with a zeroed record.
    Open(LinesNumbered({1, 2, 3}));
    EXPECT_EQ(blk.LineCount(), 3);
    for (int n = 0; n <= 3; ++n) {
        EXPECT_FALSE(blk.LinesEof());
        blk.ReadNextLine(l);
        EXPECT_EQ(+l.Number, n);  // the header record first
    }
    EXPECT_TRUE(blk.LinesEof());
    EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.ReadNextLine(l); }), ReadError());
    EXPECT_TRUE(AllZero(l));
    blk.Close();

    // A truncated last record is not counted; reading it is a read error that consumes it.
    WriteBlock(Dir(), LinesNumbered({1, 2}));
    Resize(Dir() / "tn.lin", -30);
    blk.Open(Dir().string());
    EXPECT_EQ(blk.LineCount(), 1);
    blk.ReadNextLine(l);
    blk.ReadNextLine(l);
    EXPECT_EQ(+l.Number, 1);
    EXPECT_FALSE(blk.LinesEof());
    EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.ReadNextLine(l); }), ReadError());
    EXPECT_TRUE(AllZero(l));
    EXPECT_TRUE(blk.LinesEof());
    blk.FindLine(1, l);  // still usable
    EXPECT_EQ(+l.Number, 1);
    EXPECT_THROW(blk.IsClean(), EBlkReadError);
    blk.Close();

    // A fragment behind whole records: a by-number read reaching it is a read error.
    WriteBlock(Dir(), LinesNumbered({1, 2}));
    Resize(Dir() / "tn.lin", 50);
    blk.Open(Dir().string());
    EXPECT_EQ(blk.LineCount(), 2);
    EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.FindLine(3, l); }), ReadError());
    EXPECT_TRUE(AllZero(l));
    blk.FindLine(2, l);
    EXPECT_EQ(+l.Number, 2);
}

TEST_F(BlkAccessTest, FindWalksAcrossGaps) {
    // Line i (from 0) of a block owns vertices 2i and 2i+1; -1 means "does not exist".
    const struct {
        std::vector<std::int32_t> numbers;
        std::int32_t find, firstCrd;
    } cases[] = {
        {{1, 2, 4, 5, 6, 7}, 1, 0},
        {{1, 2, 4, 5, 6, 7}, 2, 2},
        {{1, 2, 4, 5, 6, 7}, 4, 4},
        {{1, 2, 4, 5, 6, 7}, 5, 6},
        {{1, 2, 4, 5, 6, 7}, 6, 8},
        {{1, 2, 4, 5, 6, 7}, 3, -1},
        {{1, 2, 4, 5, 6, 7}, 7, -1},  // at index 6 but beyond the count of 6
        {{1, 2, 4, 5, 6, 7}, 0, -1},
        {{1, 2, 4, 5, 6, 7}, -4, -1},
        {{1, 2, 4, 5, 6, 7}, INT_MAX, -1},
        {{1, 2, 4, 5, 6, 7}, INT_MIN, -1},
        {{5, 6, 7}, 5, -1},  // present but beyond the count
        {{5, 6, 7}, 3, -1},
        {{1, 1, 1, 2, 9}, 2, 6},  // walks forward past smaller numbers
        {{1, 9, 2, 3}, 2, -1},    // once it turned backwards it never turns forward again
        {{1, 9, 2, 3}, 3, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "find " << c.find << " in " << testing::PrintToString(c.numbers));
        Open(LinesNumbered(c.numbers));
        TBlkLine l = MakeLine(55);
        if (c.firstCrd < 0) {
            EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindLine(c.find, l); }), NotExist('L', c.find));
            EXPECT_TRUE(AllZero(l));
        } else {
            blk.FindLine(c.find, l);
            EXPECT_EQ(+l.Number, c.find);
            EXPECT_EQ(+l.FirstCrd, c.firstCrd);
        }
        blk.Close();
    }
}

TEST_F(BlkAccessTest, FindInEveryGroupNamesItsLetter) {
    BlockSpec s;
    s.Points = {MakePoint(1, 1, 0, 0), MakePoint(3, 2, 10, 20)};
    s.Texts = {MakeText(2, 1), MakeText(3, 4)};
    s.Areas = {MakeArea(1, 1, 7), MakeArea(2, 5, 8)};
    Open(s);
    EXPECT_EQ(+Area(2).FirstLine, 8);
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindPoint(2, p); }), NotExist('B', 2));
    blk.FindPoint(1, p);
    EXPECT_EQ(+p.Number, 1);
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { blk.FindText(1, t); }), NotExist('T', 1));
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { Area(3); }), NotExist('P', 3));
    blk.FindText(2, t);
    EXPECT_EQ(+t.Kind, 1);  // index 2 holds 3; one step back finds 2
}

TEST_F(BlkAccessTest, ByNumberReadsStampsAndTheCleanTestKeepTheSequentialPosition) {
    BlockSpec s = LinesNumbered({1, 2, 4, 5});
    s.Points = {MakePoint(1, 1, 0, 0), MakePoint(2, 1, 0, 0), MakePoint(3, 1, 0, 0)};
    s.Texts = {MakeText(1, 1), MakeText(2, 1), MakeText(3, 1)};
    s.Areas = {MakeArea(1, 1), MakeArea(2, 1), MakeArea(3, 1)};
    Open(s);
    TCrds crds;
    ReadNextOfEach();
    ReadNextOfEach();
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
    ReadNextOfEach();
    EXPECT_EQ(std::vector<int>({l.Number, p.Number, t.Number, a.Number}), std::vector<int>({2, 2, 2, 2}));
}

TEST_F(BlkAccessTest, VertexReads) {
    BlockSpec s;
    for (int i = 0; i < 12; ++i) s.Crds.push_back(TBlkCrd{R(i * 10 + 0.5L), R(-i)});
    Open(s);
    TCrds crds;
    EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.ReadCrds(7, 7, crds); }),
              "Chyba čítania\r(" + blk.Path() + ": prvý a posledný vrchol sú ten istý (7))");
    // Always in file order, whichever index comes first.
    const Points fiveToNine{{50.5L, -5}, {60.5L, -6}, {70.5L, -7}, {80.5L, -8}, {90.5L, -9}};
    blk.ReadCrds(9, 5, crds);
    EXPECT_EQ(ValuesOf(crds), fiveToNine);
    blk.ReadCrds(5, 9, crds);
    EXPECT_EQ(ValuesOf(crds), fiveToNine);
    blk.ReadCrds(0, 11, crds);
    EXPECT_EQ(crds.size(), 12u);
    TBlkLine line = MakeLine(1);
    line.FirstCrd = 3;
    line.LastCrd = 1;
    blk.ReadLineCrds(line, crds);
    EXPECT_EQ(ValuesOf(crds), (Points{{10.5L, -1}, {20.5L, -2}, {30.5L, -3}}));

    // Invalid ranges: negative, beyond the file, an index at the very end, huge.
    for (auto [a, b] :
         std::vector<std::pair<int, int>>{{-1, 3}, {3, -1}, {0, 13}, {14, 2}, {11, 12}, {0, INT_MAX}, {INT_MIN, 0}}) {
        crds.assign(4, TBlkCrd{});
        // A range that does not fit the file says so; one that ends at the file's very end is a short read.
        const std::string expected =
            a == 11 ? ReadError()
                    : "Chyba čítania\r(" + blk.Path() + ": vrcholy " + std::to_string(a) + " až " + std::to_string(b) +
                          ", tn.crd má vrcholy 1 až 11)";
        EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.ReadCrds(a, b, crds); }), expected) << a << "," << b;
        EXPECT_TRUE(crds.empty()) << a << "," << b;
    }
    blk.ReadCrds(10, 11, crds);  // still usable
    EXPECT_EQ(crds.size(), 2u);
}

TEST_F(BlkAccessTest, StampsRewriteOnlyTheHeader) {
    BlockSpec s = LinesNumbered({1, 2});
    s.Points = {MakePoint(1, 1, 3, 4)};
    s.Texts = {MakeText(1, 1)};
    s.Areas = {MakeArea(1, 1, 2)};
    WriteBlock(Dir(), s);
    // Garbage in the headers is replaced by a clean header.
    std::vector<std::vector<unsigned char>> old;
    for (const HeaderLayout& h : kHeaders) {
        auto b = ReadFileBytes(Dir() / h.file);
        std::fill(b.begin(), b.begin() + 20, 0xEE);
        WriteFileBytes(Dir() / h.file, b);
        old.push_back(b);
    }
    blk.Open(Dir().string());
    const std::uint32_t before = TBlk::PackedNow();
    blk.TouchLines();
    blk.TouchPoints();
    blk.TouchTexts();
    blk.TouchAreas();
    const std::uint32_t after = TBlk::PackedNow();
    for (int g = 0; g < 4; ++g) {
        const HeaderLayout& h = kHeaders[g];
        auto now = ReadFileBytes(Dir() / h.file);
        ASSERT_EQ(now.size(), old[g].size()) << h.file;
        ExpectHeader(h, now, before, after);
        EXPECT_TRUE(std::equal(now.begin() + h.size, now.end(), old[g].begin() + h.size)) << h.file;
    }
}

TEST_F(BlkAccessTest, StampOnAnEmptyFileWritesTheHeader) {
    WriteBlock(Dir(), {});
    WriteFileBytes(Dir() / "tn.are", {});
    blk.Open(Dir().string());
    EXPECT_EQ(blk.AreaCount(), -1);
    EXPECT_TRUE(blk.AreasEof());
    blk.TouchAreas();
    EXPECT_EQ(blk.AreaCount(), 0);
    EXPECT_EQ(fs::file_size(Dir() / "tn.are"), 71u);
    EXPECT_FALSE(blk.AreasEof());  // the stream still stands at 0
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

}  // namespace
