// The read cache gives exactly the results, errors and positions of the direct reads.
#include "TestUtil.h"

#include <sstream>

using namespace vexa;
using namespace vexa::blocktest;

namespace {

std::string Hex(const std::vector<unsigned char>& bytes) {
    std::ostringstream out;
    for (unsigned char b : bytes) out << std::hex << int(b) << ' ';
    return out.str();
}

template <typename F>
std::string Outcome(F&& f) {
    try {
        return f();
    } catch (const EBlkFeatureNotExist& e) {
        return std::string("EBlkFeatureNotExist ") + e.what();
    } catch (const EBlkReadError& e) {
        return std::string("EBlkReadError ") + e.what();
    } catch (const std::exception& e) {
        return std::string("other ") + e.what();
    }
}

// Every by-number read and vertex read in and around the valid ranges, with
// sequential reads in between to follow the stream positions.
std::vector<std::string> Transcript(TBlk& blk) {
    std::vector<std::string> out;
    TBlkLine l;
    TBlkArea a;
    TCrds crds;
    const int lines = blk.LineCount(), areas = blk.AreaCount();
    out.push_back(Outcome([&] {
        blk.ReadNextLine(l);
        return Hex(RecordBytes(l));
    }));
    out.push_back(Outcome([&] {
        blk.ReadNextArea(a);
        return Hex(RecordBytes(a));
    }));
    for (int n = -1; n <= lines + 2; ++n) {
        out.push_back(Outcome([&] {
            blk.FindLine(n, l);
            return Hex(RecordBytes(l));
        }));
        out.push_back(Hex(RecordBytes(l)));  // the buffer after a failure
    }
    out.push_back(Outcome([&] {
        blk.ReadNextLine(l);
        return Hex(RecordBytes(l));
    }));
    for (int n = -1; n <= areas + 2; ++n) {
        out.push_back(Outcome([&] {
            blk.FindArea(n, a);
            return Hex(RecordBytes(a));
        }));
        out.push_back(Hex(RecordBytes(a)));
    }
    out.push_back(Outcome([&] {
        blk.ReadNextArea(a);
        return Hex(RecordBytes(a));
    }));
    for (int first = -1; first <= 14; ++first)
        for (int last = -1; last <= 14; ++last) {
            out.push_back(Outcome([&] {
                blk.ReadCrds(first, last, crds);
                std::string s;
                for (auto& c : crds) s += Hex(RecordBytes(c));
                return s;
            }));
            out.push_back(std::to_string(crds.size()));
        }
    blk.TouchLines();
    blk.TouchAreas();
    for (int n = -1; n <= lines + 2; ++n)
        out.push_back(Outcome([&] {
            blk.FindLine(n, l);
            return std::to_string(l.Number);
        }));
    for (int n = -1; n <= areas + 2; ++n)
        out.push_back(Outcome([&] {
            blk.FindArea(n, a);
            return std::to_string(a.Number);
        }));
    // Sequential reading to the end continues where it stood.
    while (!blk.LinesEof())
        out.push_back(Outcome([&] {
            blk.ReadNextLine(l);
            return std::to_string(l.Number);
        }));
    while (!blk.AreasEof())
        out.push_back(Outcome([&] {
            blk.ReadNextArea(a);
            return std::to_string(a.Number);
        }));
    return out;
}

void ExpectSameWithCache(const fs::path& dir, const char* what) {
    const auto lin = ReadFileBytes(dir / "tn.lin");
    const auto are = ReadFileBytes(dir / "tn.are");
    TBlk direct;
    direct.Open(dir.string());
    auto expected = Transcript(direct);
    direct.Close();
    WriteFileBytes(dir / "tn.lin", lin);  // the stamps changed the headers; start over
    WriteFileBytes(dir / "tn.are", are);

    TBlk cached;
    cached.Open(dir.string());
    cached.SetReadCache(true);
    ASSERT_TRUE(cached.ReadCache());
    auto actual = Transcript(cached);
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (std::size_t i = 0; i < actual.size(); ++i) EXPECT_EQ(actual[i], expected[i]) << what << " step " << i;
}

TEST(BlkReadCacheTest, SameResultsOnGappyTruncatedAndEmptyFiles) {
    TempDir tmp;
    const fs::path d = tmp.Path() / "b.blk";
    BlockSpec s = LinesNumbered({1, 2, 4, 5, 6, 7});
    s.Areas = {MakeArea(2, 1, 1), MakeArea(3, 1, 2), MakeArea(5, 2, 4)};
    s.Areas[1].Flags = 4;
    WriteBlock(d, s);
    ExpectSameWithCache(d, "gappy");
    for (const char* name : {"tn.lin", "tn.are", "tn.crd"}) Resize(d / name, -5);
    ExpectSameWithCache(d, "truncated");
    for (const char* name : {"tn.lin", "tn.are", "tn.crd"}) WriteFileBytes(d / name, {});
    ExpectSameWithCache(d, "empty");
}

TEST(BlkReadCacheTest, StampsKeepTheCacheInStep) {
    TempDir tmp;
    const fs::path d = tmp.Path() / "b.blk";
    WriteBlock(d, LinesNumbered({1, 2}));
    WriteFileBytes(d / "tn.are", {});
    TBlk blk;
    blk.Open(d.string());
    blk.SetReadCache(true);
    TBlkArea a;
    EXPECT_THROW(blk.FindArea(1, a), EBlkFeatureNotExist);
    blk.TouchAreas();  // the file grows to its header
    EXPECT_EQ(blk.AreaCount(), 0);
    // Appending an area behind the block's back is not seen by the cache ...
    auto are = ReadFileBytes(d / "tn.are");
    auto extra = RecordBytes(MakeArea(1, 3, 1));
    are.insert(are.end(), extra.begin(), extra.end());
    WriteFileBytes(d / "tn.are", are);
    EXPECT_THROW(blk.FindArea(1, a), EBlkFeatureNotExist);
    // ... until the cache is loaded again.
    blk.SetReadCache(true);
    blk.FindArea(1, a);
    EXPECT_EQ(+a.Kind, 3);
    blk.SetReadCache(false);
    EXPECT_FALSE(blk.ReadCache());
    blk.FindArea(1, a);
    EXPECT_EQ(+a.Kind, 3);
}

// Many reads through the mapping: the pages read are handed back to the file cache
// every few thousand reads, and what is read afterwards is still the file's.
TEST(BlkReadCacheTest, ReadsStayExactWhilePagesAreHandedBack) {
    TempDir tmp;
    const fs::path d = tmp.Path() / "b.blk";
    BlockSpec content;
    for (int i = 1; i <= 9000; ++i) content.AddLine(i, static_cast<std::int16_t>(i % 30), {{i * 1.5, 0}, {i * 1.5, i * 0.25}});
    WriteBlock(d, content);
    TBlk direct, cached;
    direct.Open(d.string());
    cached.Open(d.string());
    cached.SetReadCache(true);
    TBlkLine a, b;
    TCrds x, y;
    for (int round = 0; round < 2; ++round)
        for (int i = 1; i <= 9000; i += 1 + round) {
            const std::int32_t n = round == 0 ? i : 9001 - i;
            direct.FindLine(n, a);
            cached.FindLine(n, b);
            ASSERT_EQ(RecordBytes(a), RecordBytes(b)) << n;
            direct.ReadLineCrds(a, x);
            cached.ReadLineCrds(b, y);
            ASSERT_EQ(ValuesOf(x), ValuesOf(y)) << n;
        }
}

// A header written while the file grew behind the block's back: the cache then shows
// the file as it is, as the direct reads do.
TEST(BlkReadCacheTest, AStampShowsRecordsAppendedMeanwhile) {
    TempDir tmp;
    const fs::path d = tmp.Path() / "b.blk";
    BlockSpec content;
    content.Areas.push_back(MakeArea(1, 3, 1));
    WriteBlock(d, content);
    TBlk blk;
    blk.Open(d.string());
    blk.SetReadCache(true);
    auto are = ReadFileBytes(d / "tn.are");
    auto extra = RecordBytes(MakeArea(2, 7, 1));
    are.insert(are.end(), extra.begin(), extra.end());
    WriteFileBytes(d / "tn.are", are);
    TBlkArea a;
    EXPECT_THROW(blk.FindArea(2, a), EBlkFeatureNotExist);
    blk.TouchAreas();
    blk.FindArea(2, a);
    EXPECT_EQ(+a.Kind, 7);
    blk.FindArea(1, a);
    EXPECT_EQ(+a.Kind, 3);
}

}  // namespace

namespace {

TEST(BlkReadCacheTest, OnlyTheVerticesTheLinesUseAreHeldInMemory) {
    // A vertex file far larger than what its lines use (sparse: almost nothing on disk).
    TempDir tmp;
    const fs::path d = tmp.Path() / "b.blk";
    BlockSpec content;
    content.AddLine(1, 1, {{0, 0}, {5, 5}, {10, 0}});
    WriteBlock(d, content);
    const std::uintmax_t big = std::uintmax_t(1) << 30;  // 1 GiB
    fs::resize_file(d / "tn.crd", big);
    TBlk blk;
    blk.Open(d.string());
    blk.SetReadCache(true);
    TBlkLine l;
    blk.FindLine(1, l);
    TCrds crds;
    blk.ReadLineCrds(l, crds);
    EXPECT_EQ(crds.size(), 3u);
    // Vertices no line uses still read as without the cache, from the file.
    blk.ReadCrds(1000, 1001, crds);
    EXPECT_EQ(crds.size(), 2u);
    EXPECT_THROW(blk.ReadCrds(0, std::int32_t(big / sizeof(TBlkCrd)) + 5, crds), EBlkReadError);
    EXPECT_LT(blk.CachedBytes(), std::size_t(1) << 20);
}

}  // namespace
