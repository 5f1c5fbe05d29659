// Opening, creating, repairing and closing a block, and the clean test.
#include "TestUtil.h"
#include "common/Text.h"

#include <algorithm>
#include <filesystem>
#include <functional>

using namespace vexa;
using namespace vexa::blocktest;

namespace {

using BlkFileSetTest = BlockTest;

std::string TextsTitle(const std::string& pra) { return "TopoL ... soubor textu pro blok " + pra + "\r\n"; }

TEST(BlkFileSetNoBlockTest, NewObjectIsClosedAndRefusesWork) {
    TBlk blk;
    EXPECT_FALSE(blk.Opened());
    EXPECT_EQ(blk.Path(), "");
    TBlkLine line;
    TCrds crds;
    std::string found;
    TBlkRect r;
    const std::function<void()> calls[] = {
        [&] { blk.ReadNextLine(line); },
        [&] { blk.FindLine(1, line); },
        [&] { blk.ReadCrds(0, 1, crds); },
        [&] { blk.TouchAreas(); },
        [&] { blk.IsClean(); },
        [&] { blk.LineCount(); },
        [&] { blk.CheckOpened(); },
        [&] { blk.FindDuplicateLines(MakeLine(1), found); },
        [&] { blk.LineRectOk(MakeLine(1), r); },
        [&] { blk.SetReadCache(true); },
    };
    for (std::size_t i = 0; i < std::size(calls); ++i)
        EXPECT_EQ(ThrownMessage<EBlkNotOpened>(calls[i]), "Neotvorený blok") << "call " << i;
    EXPECT_FALSE(blk.ReadCache());
    EXPECT_NO_THROW(blk.SetReadCache(false));
    EXPECT_NO_THROW(blk.Close(true));
}

TEST_F(BlkFileSetTest, OpenCreatesMissingDirectoryAndFiles) {
    const std::string dir = tmp / "map/sub/LE_00001.blk";
    const std::uint32_t before = TBlk::PackedNow();
    blk.Open(dir);
    const std::uint32_t after = TBlk::PackedNow();
    ASSERT_TRUE(blk.Opened());
    EXPECT_EQ(blk.Path(), dir + "/");

    const fs::path d(dir);
    EXPECT_EQ(fs::file_size(d / "tn.crd"), 0u);
    std::uint32_t time = 0;
    for (const HeaderLayout& h : kHeaders) {
        auto bytes = ReadFileBytes(d / h.file);
        ASSERT_EQ(bytes.size(), h.size) << h.file;
        ExpectHeader(h, bytes, before, after);
        if (time == 0) time = U32At(bytes, h.timeAt);
        EXPECT_EQ(U32At(bytes, h.timeAt), time) << h.file;  // one time for all files
    }
    EXPECT_EQ(ReadFileText(d / "tn.ttx"), TextsTitle(tmp.Path().string() + "/map/sub/LE_00001.pra"));
    EXPECT_EQ(ReadFileText(d / "info.txt"), "SOURADNYSYSTEM=JTSK\r\nCODEPAGE=1250\r\n");
    EXPECT_EQ(blk.LineCount(), 0);
    EXPECT_EQ(blk.PointCount(), 0);
    EXPECT_EQ(blk.TextCount(), 0);
    EXPECT_EQ(blk.AreaCount(), 0);
    EXPECT_TRUE(blk.IsClean());
    // Nothing but the block's files (no leftovers of the file creation).
    EXPECT_EQ(std::distance(fs::directory_iterator(d), fs::directory_iterator()), 7);

    blk.Open(tmp / "LE_00002.blk/");  // trailing delimiter given
    EXPECT_EQ(blk.Path(), tmp / "LE_00002.blk/");
    EXPECT_EQ(ReadFileText(tmp.Path() / "LE_00002.blk" / "tn.ttx"), TextsTitle(tmp / "LE_00002.pra"));
    blk.Open(tmp / "Lesy_č");  // no extension: .pra added; č written in code page 1250
    EXPECT_EQ(ReadFileText(tmp.Path() / "Lesy_č" / "tn.ttx"), TextsTitle(tmp / "Lesy_\xE8.pra"));
}

// The entries of the block directory whose names begin with prefix + ".orphan-".
std::vector<fs::path> Orphans(const fs::path& dir, const std::string& prefix) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind(prefix + ".orphan-", 0) == 0) out.push_back(e.path());
    return out;
}

void RemoveOrphans(const fs::path& dir) {
    for (const char* n : {"tn.crd", "tn.lin", "tn.are", "tn.tbx", "tn.ttx"})
        for (const fs::path& p : Orphans(dir, n)) fs::remove(p);
}

TEST_F(BlkFileSetTest, HalfPairsAreSetAsideAndStartedOver) {
    // Lines without vertices: lines and areas start over, points are kept; the old lines
    // and areas are kept beside the block's files and the open tells of them.
    BlockSpec content = LinesNumbered({1, 2});
    content.Areas.push_back(MakeArea(1, 5, 1));
    content.Points.push_back(MakePoint(1, 3, 10, 20));
    WriteBlock(Dir(), content);
    fs::remove(Dir() / "tn.crd");
    const auto pointsBefore = ReadFileBytes(Dir() / "tn.pnt");
    const auto linesBefore = ReadFileBytes(Dir() / "tn.lin");
    const auto areasBefore = ReadFileBytes(Dir() / "tn.are");
    blk.Open(Dir().string());
    EXPECT_EQ(fs::file_size(Dir() / "tn.crd"), 0u);
    EXPECT_EQ(fs::file_size(Dir() / "tn.lin"), 103u);
    EXPECT_EQ(fs::file_size(Dir() / "tn.are"), 71u);
    EXPECT_EQ(ReadFileBytes(Dir() / "tn.pnt"), pointsBefore);
    EXPECT_EQ(blk.LineCount(), 0);
    EXPECT_EQ(blk.AreaCount(), 0);
    EXPECT_EQ(blk.PointCount(), 1);
    auto lin = Orphans(Dir(), "tn.lin"), are = Orphans(Dir(), "tn.are");
    ASSERT_EQ(lin.size(), 1u);
    ASSERT_EQ(are.size(), 1u);
    EXPECT_EQ(ReadFileBytes(lin[0]), linesBefore);
    EXPECT_EQ(ReadFileBytes(are[0]), areasBefore);
    EXPECT_EQ(lin[0].filename().string().size(), std::string("tn.lin.orphan-YYYYMMDD-HHMMSS").size());
    ASSERT_EQ(blk.OpenWarnings().size(), 2u);
    EXPECT_NE(blk.OpenWarnings()[0].find("chýba tn.crd"), std::string::npos) << blk.OpenWarnings()[0];
    EXPECT_NE(blk.OpenWarnings()[0].find(lin[0].filename().string()), std::string::npos) << blk.OpenWarnings()[0];
    blk.Open(Dir().string());  // now whole: nothing more to tell
    EXPECT_TRUE(blk.OpenWarnings().empty());
    RemoveOrphans(Dir());

    // Vertices without lines (a half-copied block): the vertices are kept.
    WriteBlock(Dir(), LinesNumbered({1}));
    fs::remove(Dir() / "tn.lin");
    const auto crdsBefore = ReadFileBytes(Dir() / "tn.crd");
    blk.Open(Dir().string());
    EXPECT_EQ(fs::file_size(Dir() / "tn.crd"), 0u);
    EXPECT_EQ(fs::file_size(Dir() / "tn.lin"), 103u);
    EXPECT_EQ(fs::file_size(Dir() / "tn.are"), 71u);
    auto crd = Orphans(Dir(), "tn.crd");
    ASSERT_EQ(crd.size(), 1u);
    EXPECT_EQ(ReadFileBytes(crd[0]), crdsBefore);
    EXPECT_FALSE(blk.OpenWarnings().empty());
    // A second half pair in the same second gets its own name.
    blk.Close();
    fs::remove(Dir() / "tn.lin");
    blk.Open(Dir().string());
    EXPECT_EQ(Orphans(Dir(), "tn.crd").size(), 2u);
    RemoveOrphans(Dir());

    // Strings without text records: a new title; the strings are kept.
    content = BlockSpec{};
    content.Texts.push_back(MakeText(1, 2));
    WriteBlock(Dir(), content);
    WriteFileBytes(Dir() / "tn.ttx", {'x', 'y'});
    fs::remove(Dir() / "tn.tbx");
    blk.Open(Dir().string());
    EXPECT_EQ(fs::file_size(Dir() / "tn.tbx"), 85u);
    EXPECT_EQ(ReadFileText(Dir() / "tn.ttx"), TextsTitle(tmp / "b.pra"));
    auto ttx = Orphans(Dir(), "tn.ttx");
    ASSERT_EQ(ttx.size(), 1u);
    EXPECT_EQ(ReadFileText(ttx[0]), "xy");
    RemoveOrphans(Dir());

    // Text records without strings lose their records, which are kept aside.
    WriteBlock(Dir(), content);
    fs::remove(Dir() / "tn.ttx");
    const auto textsBefore = ReadFileBytes(Dir() / "tn.tbx");
    blk.Open(Dir().string());
    EXPECT_EQ(fs::file_size(Dir() / "tn.tbx"), 85u);
    EXPECT_EQ(blk.TextCount(), 0);
    EXPECT_TRUE(fs::exists(Dir() / "tn.ttx"));
    auto tbx = Orphans(Dir(), "tn.tbx");
    ASSERT_EQ(tbx.size(), 1u);
    EXPECT_EQ(ReadFileBytes(tbx[0]), textsBefore);
}

TEST_F(BlkFileSetTest, ReadOnlyOpenChangesNothing) {
    BlockSpec content = LinesNumbered({1, 2});
    content.Points.push_back(MakePoint(1, 3, 10, 20));
    content.Texts.push_back(MakeText(1, 2));
    WriteBlock(Dir(), content);
    fs::remove(Dir() / "tn.lin");
    fs::remove(Dir() / "tn.ttx");
    auto listing = [&] {
        std::vector<std::pair<std::string, std::uintmax_t>> out;
        for (const auto& e : fs::directory_iterator(Dir()))
            out.emplace_back(e.path().filename().string(), e.file_size());
        std::sort(out.begin(), out.end());
        return out;
    };
    const auto before = listing();
    blk.Open(Dir().string(), TBlkOpenMode::ReadOnly);
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(blk.LineCount(), 0);  // the missing lines read as empty
    EXPECT_EQ(blk.PointCount(), 1);
    EXPECT_EQ(blk.TextCount(), 1);
    EXPECT_TRUE(blk.OpenWarnings().empty());
    blk.Close();
    EXPECT_EQ(listing(), before);

    // A block directory that does not exist is an error and is not created.
    const fs::path missing = tmp.Path() / "none" / "LE_9.blk";
    EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.Open(missing.string(), TBlkOpenMode::ReadOnly); }),
              "Neotvorený blok\r(" + missing.string() + ": neexistuje)");
    EXPECT_FALSE(fs::exists(tmp.Path() / "none"));
}

TEST_F(BlkFileSetTest, AFileIsNoBlock) {
    const fs::path file = tmp.Path() / "LE_00005.blk";
    WriteFileBytes(file, {'x'});
    for (TBlkOpenMode mode : {TBlkOpenMode::Create, TBlkOpenMode::ReadOnly})
        EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.Open(file.string(), mode); }),
                  "Neotvorený blok\r(" + file.string() + ": nie je adresár)");
    EXPECT_EQ(ReadFileText(file), "x");
}

TEST_F(BlkFileSetTest, ExistingFilesAreKeptUnchanged) {
    BlockSpec content = LinesNumbered({1, 2, 3});
    content.Points.push_back(MakePoint(1, 3, 10, 20));
    content.Texts.push_back(MakeText(1, 2));
    content.Areas.push_back(MakeArea(1, 5, 1));
    WriteBlock(Dir(), content);
    WriteFileBytes(Dir() / "info.txt", {'a', '=', 'b'});
    std::vector<std::vector<unsigned char>> before;
    const char* names[] = {"tn.crd", "tn.lin", "tn.pnt", "tn.tbx", "tn.ttx", "tn.are", "info.txt"};
    for (const char* n : names) before.push_back(ReadFileBytes(Dir() / n));
    blk.Open(Dir().string());
    blk.Close();
    for (std::size_t i = 0; i < std::size(names); ++i)
        EXPECT_EQ(ReadFileBytes(Dir() / names[i]), before[i]) << names[i];
}

TEST_F(BlkFileSetTest, FindsFilesWhateverTheirLetterCase) {
    const fs::path d = tmp.Path() / "LE_1.BLK";
    BlockSpec content = LinesNumbered({1, 2});
    content.Texts.push_back(MakeText(1, 2));
    WriteBlock(d, content);
    for (const char* n : {"tn.crd", "tn.lin", "tn.tbx", "tn.ttx", "info.txt"}) fs::rename(d / n, d / UpperAscii(n));
    fs::rename(d / "tn.are", d / "Tn.Are");
    blk.Open(d.string());
    EXPECT_EQ(blk.LineCount(), 2);
    EXPECT_EQ(blk.TextCount(), 1);
    TBlkLine line;
    blk.FindLine(2, line);
    EXPECT_EQ(+line.Number, 2);
    TCrds crds;
    blk.ReadLineCrds(line, crds);
    ASSERT_EQ(crds.size(), 2u);
    EXPECT_EQ(crds[0].X.Value(), 10.0L);
    // No second set of files was created beside the upper-case ones.
    for (const char* n : {"tn.crd", "tn.lin", "tn.tbx", "tn.ttx", "tn.are", "info.txt"})
        EXPECT_FALSE(fs::exists(d / n)) << n;
    EXPECT_TRUE(fs::exists(d / "tn.pnt"));
}

TEST_F(BlkFileSetTest, FailedOpenLeavesTheObjectClosedAndUsable) {
    WriteFileBytes(tmp.Path() / "plain", {'x'});
    WriteBlock(Dir(), LinesNumbered({1}));
    fs::remove(Dir() / "tn.are");
    fs::create_directory(Dir() / "tn.are");  // cannot be opened as a file
    // A directory that cannot be created, a plain file, a file that cannot be opened.
    // Each message names the path and the cause.
    const std::pair<std::string, std::string> cases[] = {
        {tmp / "plain/LE_1.blk", tmp / "plain/LE_1.blk" + ": nie je adresár"},
        {tmp / "plain", tmp / "plain" + ": nie je adresár"},
        {Dir().string(), Dir().string() + ": " + (Dir() / "tn.are").string() + ": je adresár"},
    };
    for (const auto& [dir, cause] : cases) {
        blk.Open(tmp / "LE_ok.blk");
        EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.Open(dir); }), "Neotvorený blok\r(" + cause + ")") << dir;
        EXPECT_FALSE(blk.Opened());
        EXPECT_EQ(blk.Path(), "");
        TBlkLine line;
        EXPECT_THROW(blk.ReadNextLine(line), EBlkNotOpened);
    }
    blk.Open(tmp / "LE_2.blk");
    EXPECT_TRUE(blk.Opened());
}

TEST_F(BlkFileSetTest, OpenAnotherBlockClosesTheFirst) {
    WriteBlock(tmp.Path() / "A.blk", LinesNumbered({1, 2, 3}));
    WriteBlock(tmp.Path() / "B.blk", LinesNumbered({7}));
    TBlk mem(true);  // memory mode works on the files directly
    mem.Open(tmp / "A.blk");
    EXPECT_EQ(mem.LineCount(), 3);
    mem.SetReadCache(true);
    mem.Open(tmp / "B.blk");
    EXPECT_FALSE(mem.ReadCache());
    EXPECT_EQ(mem.Path(), tmp / "B.blk/");
    EXPECT_EQ(mem.LineCount(), 1);
    mem.SetReadCache(true);
    mem.Close();
    EXPECT_FALSE(mem.Opened());
    EXPECT_FALSE(mem.ReadCache());
    EXPECT_EQ(mem.Path(), "");
    mem.Close();
    mem.Open(tmp / "A.blk");
    EXPECT_EQ(mem.LineCount(), 3);
}

// Elements of group g (L, B, T or P) with the given numbers; the one at index flagged gets flags.
BlockSpec Numbered(char g, const std::vector<std::int32_t>& numbers, int flagged = -1, std::uint8_t flags = 0) {
    BlockSpec s = g == 'L' ? LinesNumbered(numbers) : BlockSpec{};
    for (std::int32_t n : numbers) {
        if (g == 'B') s.Points.push_back(MakePoint(n, 1, 0, 0));
        if (g == 'T') s.Texts.push_back(MakeText(n, 1));
        if (g == 'P') s.Areas.push_back(MakeArea(n, 1));
    }
    if (flagged >= 0) {
        std::uint8_t& f = g == 'L'   ? s.Lines[flagged].Flags
                          : g == 'B' ? s.Points[flagged].Flags
                          : g == 'T' ? s.Texts[flagged].Flags
                                     : s.Areas[flagged].Flags;
        f = flags;
    }
    return s;
}

TEST_F(BlkFileSetTest, IsCleanCases) {
    const struct {
        const char* name;
        BlockSpec content;
        bool clean;
    } cases[] = {
        {"lines 1,2,5", Numbered('L', {1, 2, 5}), true},
        {"lines 1,3,3", Numbered('L', {1, 3, 3}), false},
        {"lines 2,1", Numbered('L', {2, 1}), false},
        {"lines may start below 1", Numbered('L', {-5, 0, 1}), true},
        {"deleted last line", Numbered('L', {1, 2, 3}, 2, 1), false},
        {"flags 6 line (not usable, curve)", Numbered('L', {1, 2, 3}, 2, 6), true},
        {"deleted first point", Numbered('B', {1, 2}, 0, 1), false},
        {"area flags 1 (not the deleted bit)", Numbered('P', {1, 2}, 1, 1), true},
        {"deleted area", Numbered('P', {1, 2}, 1, 4), false},
        {"text numbered 0", Numbered('T', {0, 1}), false},
        {"texts 1,3", Numbered('T', {1, 3}), true},
        {"deleted text", Numbered('T', {1, 3}, 1, 1), false},
    };
    for (const auto& c : cases) {
        Open(c.content);
        EXPECT_EQ(blk.IsClean(), c.clean) << c.name;
    }
}

TEST_F(BlkFileSetTest, EmptyAndDamagedFiles) {
    // An empty file and a partial header hold no records: count -1, clean; the empty one is at its end.
    for (std::size_t size : {0, 20}) {
        WriteBlock(Dir(), LinesNumbered({1, 2, 3}));
        WriteFileBytes(Dir() / "tn.pnt", std::vector<unsigned char>(size, 0));
        blk.Open(Dir().string());
        EXPECT_EQ(blk.PointCount(), -1) << size;
        EXPECT_EQ(blk.PointsEof(), size == 0) << size;
        EXPECT_TRUE(blk.IsClean()) << size;
    }

    // A trailing fragment is a read error once reached; the position is kept.
    Resize(Dir() / "tn.lin", 40);
    blk.Open(Dir().string());
    EXPECT_EQ(blk.LineCount(), 3);
    TBlkLine line;
    blk.ReadNextLine(line);
    blk.ReadNextLine(line);
    EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.IsClean(); }), ReadError());
    blk.ReadNextLine(line);
    EXPECT_EQ(+line.Number, 2);

    // ...but an unclean record before it decides first.
    WriteBlock(Dir(), LinesNumbered({1, 1}));
    Resize(Dir() / "tn.lin", 40);
    blk.Open(Dir().string());
    EXPECT_FALSE(blk.IsClean());

    // Groups after an unclean one are not examined: the fragment in points stays unseen.
    for (bool linesClean : {false, true}) {
        WriteBlock(Dir(), LinesNumbered({linesClean ? 1 : 3, 3}));
        WriteFileBytes(Dir() / "tn.pnt", std::vector<unsigned char>(35 + 10, 0));
        blk.Open(Dir().string());
        if (linesClean) {
            EXPECT_THROW(blk.IsClean(), EBlkReadError);
        } else {
            EXPECT_FALSE(blk.IsClean());
        }
    }
}

}  // namespace
