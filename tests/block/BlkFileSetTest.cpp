// Opening, creating, repairing and closing a block, and the clean test.
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace vexa;
using namespace vexa::testkit;
using namespace vexa::blocktest;

namespace {

std::string TextOf(const fs::path& file) {
    auto bytes = ReadFileBytes(file);
    return std::string(bytes.begin(), bytes.end());
}

// Checks a header record: zero bytes except the flags byte and the 4-byte time.
void ExpectHeader(const std::vector<unsigned char>& bytes, std::size_t flagsAt, unsigned char flags,
                  std::size_t timeAt, std::uint32_t timeLow, std::uint32_t timeHigh) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == flagsAt) {
            EXPECT_EQ(bytes[i], flags) << "flags byte " << i;
        } else if (i < timeAt || i >= timeAt + 4) {
            EXPECT_EQ(bytes[i], 0) << "byte " << i;
        }
    }
    std::uint32_t time = U32At(bytes, timeAt);
    EXPECT_GE(time, timeLow);
    EXPECT_LE(time, timeHigh);
}

TEST(BlkFileSetTest, NewObjectIsClosedAndRefusesWork) {
    TBlk blk;
    EXPECT_FALSE(blk.Opened());
    EXPECT_EQ(blk.Path(), "");
    TBlkLine line;
    TCrds crds;
    EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.ReadNextLine(line); }), "Neotvorený blok");
    EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.FindLine(1, line); }), "Neotvorený blok");
    EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.ReadCrds(0, 1, crds); }), "Neotvorený blok");
    EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.TouchAreas(); }), "Neotvorený blok");
    EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.IsClean(); }), "Neotvorený blok");
    EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.LineCount(); }), "Neotvorený blok");
    EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.CheckOpened(); }), "Neotvorený blok");
    EXPECT_NO_THROW(blk.Close(true));
}

TEST(BlkFileSetTest, OpenCreatesMissingDirectoryAndFiles) {
    TempDir tmp;
    const std::string dir = tmp / "map/sub/LE_00001.blk";
    const std::uint32_t before = TBlk::PackedNow();
    TBlk blk;
    blk.Open(dir);
    const std::uint32_t after = TBlk::PackedNow();
    ASSERT_TRUE(blk.Opened());
    EXPECT_EQ(blk.Path(), dir + "/");

    const fs::path d(dir);
    EXPECT_EQ(fs::file_size(d / "tn.crd"), 0u);
    auto lin = ReadFileBytes(d / "tn.lin");
    auto pnt = ReadFileBytes(d / "tn.pnt");
    auto tbx = ReadFileBytes(d / "tn.tbx");
    auto are = ReadFileBytes(d / "tn.are");
    ASSERT_EQ(lin.size(), 103u);
    ASSERT_EQ(pnt.size(), 35u);
    ASSERT_EQ(tbx.size(), 85u);
    ASSERT_EQ(are.size(), 71u);
    ExpectHeader(lin, 7, 1, 15, before, after);
    ExpectHeader(pnt, 7, 1, 13, before, after);
    ExpectHeader(tbx, 11, 1, 7, before, after);
    ExpectHeader(are, 6, 4, 12, before, after);
    // One time for all files.
    EXPECT_EQ(U32At(lin, 15), U32At(pnt, 13));
    EXPECT_EQ(U32At(lin, 15), U32At(tbx, 7));
    EXPECT_EQ(U32At(lin, 15), U32At(are, 12));

    EXPECT_EQ(TextOf(d / "tn.ttx"),
              "TopoL ... soubor textu pro blok " + tmp.Path().string() + "/map/sub/LE_00001.pra\r\n");
    EXPECT_EQ(TextOf(d / "info.txt"), "SOURADNYSYSTEM=JTSK\r\nCODEPAGE=1250\r\n");
    EXPECT_EQ(blk.LineCount(), 0);
    EXPECT_EQ(blk.PointCount(), 0);
    EXPECT_EQ(blk.TextCount(), 0);
    EXPECT_EQ(blk.AreaCount(), 0);
    EXPECT_TRUE(blk.IsClean());
    // Nothing but the block's files (no leftovers of the file creation).
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(d)) ++entries;
    EXPECT_EQ(entries, 7);
}

TEST(BlkFileSetTest, TitleOfTextsFileUsesTheGivenPathAndBlockCodePage) {
    TempDir tmp;
    TBlk blk;
    blk.Open(tmp / "LE_00002.blk/");  // trailing delimiter given
    EXPECT_EQ(blk.Path(), tmp / "LE_00002.blk/");
    EXPECT_EQ(TextOf(tmp.Path() / "LE_00002.blk" / "tn.ttx"),
              "TopoL ... soubor textu pro blok " + (tmp / "LE_00002.pra") + "\r\n");
    blk.Open(tmp / "Lesy_č");  // no extension: .pra added; č written in code page 1250
    EXPECT_EQ(TextOf(tmp.Path() / "Lesy_č" / "tn.ttx"),
              "TopoL ... soubor textu pro blok " + (tmp / "Lesy_\xE8.pra") + "\r\n");
}

TEST(BlkFileSetTest, LinesWithoutVerticesAreStartedOver) {
    TempDir tmp;
    const fs::path d = tmp.Path() / "LE_1.blk";
    BlockSpec content = LinesNumbered({1, 2});
    content.Areas.push_back(MakeArea(1, 5, 1));
    content.Points.push_back(MakePoint(1, 3, 10, 20));
    WriteBlock(d, content);
    fs::remove(d / "tn.crd");
    const auto pointsBefore = ReadFileBytes(d / "tn.pnt");

    TBlk blk;
    blk.Open(d.string());
    EXPECT_EQ(fs::file_size(d / "tn.crd"), 0u);
    EXPECT_EQ(fs::file_size(d / "tn.lin"), 103u);
    EXPECT_EQ(fs::file_size(d / "tn.are"), 71u);
    EXPECT_EQ(ReadFileBytes(d / "tn.pnt"), pointsBefore);
    EXPECT_EQ(blk.LineCount(), 0);
    EXPECT_EQ(blk.AreaCount(), 0);
    EXPECT_EQ(blk.PointCount(), 1);
}

TEST(BlkFileSetTest, VerticesWithoutLinesAreStartedOver) {
    TempDir tmp;
    const fs::path d = tmp.Path() / "LE_1.blk";
    WriteBlock(d, LinesNumbered({1}));
    fs::remove(d / "tn.lin");
    TBlk blk;
    blk.Open(d.string());
    EXPECT_EQ(fs::file_size(d / "tn.crd"), 0u);
    EXPECT_EQ(fs::file_size(d / "tn.lin"), 103u);
    EXPECT_EQ(fs::file_size(d / "tn.are"), 71u);
}

TEST(BlkFileSetTest, TextHalfPairsAreReplaced) {
    TempDir tmp;
    const fs::path d = tmp.Path() / "LE_1.blk";
    BlockSpec content;
    content.Texts.push_back(MakeText(1, 2));
    WriteBlock(d, content);
    WriteFileBytes(d / "tn.ttx", {'x', 'y'});
    fs::remove(d / "tn.tbx");
    {
        TBlk blk;
        blk.Open(d.string());
        EXPECT_EQ(fs::file_size(d / "tn.tbx"), 85u);
        EXPECT_EQ(TextOf(d / "tn.ttx"), "TopoL ... soubor textu pro blok " + (tmp / "LE_1.pra") + "\r\n");
    }
    // Text records without strings lose their records.
    WriteBlock(d, content);
    fs::remove(d / "tn.ttx");
    TBlk blk;
    blk.Open(d.string());
    EXPECT_EQ(fs::file_size(d / "tn.tbx"), 85u);
    EXPECT_EQ(blk.TextCount(), 0);
    EXPECT_TRUE(fs::exists(d / "tn.ttx"));
}

TEST(BlkFileSetTest, ExistingFilesAreKeptUnchanged) {
    TempDir tmp;
    const fs::path d = tmp.Path() / "LE_1.blk";
    BlockSpec content = LinesNumbered({1, 2, 3});
    content.Points.push_back(MakePoint(1, 3, 10, 20));
    content.Texts.push_back(MakeText(1, 2));
    content.Areas.push_back(MakeArea(1, 5, 1));
    WriteBlock(d, content);
    WriteFileBytes(d / "info.txt", {'a', '=', 'b'});
    std::vector<std::vector<unsigned char>> before;
    const char* names[] = {"tn.crd", "tn.lin", "tn.pnt", "tn.tbx", "tn.ttx", "tn.are", "info.txt"};
    for (const char* n : names) before.push_back(ReadFileBytes(d / n));
    TBlk blk;
    blk.Open(d.string());
    blk.Close();
    for (std::size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(ReadFileBytes(d / names[i]), before[i]) << names[i];
}

TEST(BlkFileSetTest, FindsFilesWhateverTheirLetterCase) {
    TempDir tmp;
    const fs::path d = tmp.Path() / "LE_1.BLK";
    BlockSpec content = LinesNumbered({1, 2});
    content.Texts.push_back(MakeText(1, 2));
    WriteBlock(d, content);
    for (const char* n : {"tn.crd", "tn.lin", "tn.tbx", "tn.ttx", "info.txt"}) {
        std::string upper = n;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        fs::rename(d / n, d / upper);
    }
    fs::rename(d / "tn.are", d / "Tn.Are");
    TBlk blk;
    blk.Open(d.string());
    EXPECT_EQ(blk.LineCount(), 2);
    EXPECT_EQ(blk.TextCount(), 1);
    TBlkLine line;
    blk.FindLine(2, line);
    EXPECT_EQ(line.Number, 2);
    TCrds crds;
    blk.ReadLineCrds(line, crds);
    ASSERT_EQ(crds.size(), 2u);
    EXPECT_EQ(crds[0].X.Value(), 10.0L);
    // No second set of files was created beside the upper-case ones.
    for (const char* n : {"tn.crd", "tn.lin", "tn.tbx", "tn.ttx", "tn.are", "info.txt"})
        EXPECT_FALSE(fs::exists(d / n)) << n;
    EXPECT_TRUE(fs::exists(d / "tn.pnt"));
}

TEST(BlkFileSetTest, DirectoryThatCannotBeCreated) {
    TempDir tmp;
    WriteFileBytes(tmp.Path() / "plain", {'x'});
    TBlk blk;
    EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.Open(tmp / "plain/LE_1.blk"); }), "Neotvorený blok");
    EXPECT_FALSE(blk.Opened());
    EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.Open(tmp / "plain"); }), "Neotvorený blok");
    EXPECT_FALSE(blk.Opened());
    EXPECT_EQ(blk.Path(), "");
    // The object stays usable.
    blk.Open(tmp / "LE_2.blk");
    EXPECT_TRUE(blk.Opened());
}

TEST(BlkFileSetTest, FailedOpenLeavesTheObjectClosed) {
    TempDir tmp;
    const fs::path d = tmp.Path() / "LE_1.blk";
    WriteBlock(d, LinesNumbered({1}));
    fs::remove(d / "tn.are");
    fs::create_directory(d / "tn.are");  // cannot be opened as a file
    TBlk blk;
    blk.Open(tmp / "LE_ok.blk");
    EXPECT_EQ(ThrownMessage<EBlkNotOpened>([&] { blk.Open(d.string()); }), "Neotvorený blok");
    EXPECT_FALSE(blk.Opened());
    EXPECT_EQ(blk.Path(), "");
    TBlkLine line;
    EXPECT_THROW(blk.ReadNextLine(line), EBlkNotOpened);
}

TEST(BlkFileSetTest, OpenAnotherBlockClosesTheFirst) {
    TempDir tmp;
    WriteBlock(tmp.Path() / "A.blk", LinesNumbered({1, 2, 3}));
    WriteBlock(tmp.Path() / "B.blk", LinesNumbered({7}));
    TBlk blk(true);  // memory mode works on the files directly
    blk.Open(tmp / "A.blk");
    EXPECT_EQ(blk.LineCount(), 3);
    blk.Open(tmp / "B.blk");
    EXPECT_EQ(blk.Path(), tmp / "B.blk/");
    EXPECT_EQ(blk.LineCount(), 1);
    blk.Close();
    EXPECT_FALSE(blk.Opened());
    EXPECT_EQ(blk.Path(), "");
    blk.Close();
    blk.Open(tmp / "A.blk");
    EXPECT_EQ(blk.LineCount(), 3);
}

// --- clean test --------------------------------------------------------------

struct CleanCase {
    const char* name;
    BlockSpec content;
    bool clean;
};

TEST(BlkFileSetTest, IsCleanCases) {
    std::vector<CleanCase> cases;
    cases.push_back({"lines 1,2,5", LinesNumbered({1, 2, 5}), true});
    cases.push_back({"lines 1,3,3", LinesNumbered({1, 3, 3}), false});
    cases.push_back({"lines 2,1", LinesNumbered({2, 1}), false});
    cases.push_back({"lines may start below 1", LinesNumbered({-5, 0, 1}), true});
    {
        BlockSpec s = LinesNumbered({1, 2, 3});
        s.Lines[2].Flags = 1;
        cases.push_back({"deleted last line", s, false});
        s.Lines[2].Flags = 6;  // not usable, curve: not deleted
        cases.push_back({"flags 6 line", s, true});
    }
    {
        BlockSpec s;
        s.Points = {MakePoint(1, 1, 0, 0), MakePoint(2, 1, 0, 0)};
        s.Points[0].Flags = 1;
        cases.push_back({"deleted first point", s, false});
    }
    {
        BlockSpec s;
        s.Areas = {MakeArea(1, 1), MakeArea(2, 1)};
        s.Areas[1].Flags = 1;  // bit 0 is not the deleted bit of areas
        cases.push_back({"area flags 1", s, true});
        s.Areas[1].Flags = 4;
        cases.push_back({"deleted area", s, false});
    }
    {
        BlockSpec s;
        s.Texts = {MakeText(0, 1), MakeText(1, 1)};
        cases.push_back({"text numbered 0", s, false});
        s.Texts = {MakeText(1, 1), MakeText(3, 1)};
        cases.push_back({"texts 1,3", s, true});
        s.Texts[1].Flags = 1;
        cases.push_back({"deleted text", s, false});
    }
    for (auto& c : cases) {
        TempDir tmp;
        WriteBlock(tmp.Path() / "b.blk", c.content);
        TBlk blk;
        blk.Open(tmp / "b.blk");
        EXPECT_EQ(blk.IsClean(), c.clean) << c.name;
    }
}

TEST(BlkFileSetTest, IsCleanOnEmptyAndDamagedFiles) {
    TempDir tmp;
    const fs::path d = tmp.Path() / "b.blk";
    WriteBlock(d, LinesNumbered({1, 2, 3}));
    WriteFileBytes(d / "tn.pnt", {});
    TBlk blk;
    blk.Open(d.string());
    EXPECT_EQ(blk.PointCount(), -1);
    EXPECT_TRUE(blk.PointsEof());
    EXPECT_TRUE(blk.IsClean());
    blk.Close();

    // A partial header is no records at all.
    WriteFileBytes(d / "tn.pnt", std::vector<unsigned char>(20, 0));
    blk.Open(d.string());
    EXPECT_EQ(blk.PointCount(), -1);
    EXPECT_TRUE(blk.IsClean());
    blk.Close();

    // A trailing fragment is a read error once reached; the position is kept.
    auto lin = ReadFileBytes(d / "tn.lin");
    lin.resize(lin.size() + 40, 0);
    WriteFileBytes(d / "tn.lin", lin);
    blk.Open(d.string());
    EXPECT_EQ(blk.LineCount(), 3);
    TBlkLine line;
    blk.ReadNextLine(line);
    blk.ReadNextLine(line);
    EXPECT_EQ(ThrownMessage<EBlkReadError>([&] { blk.IsClean(); }), "Chyba čítania\r(" + blk.Path() + ")");
    blk.ReadNextLine(line);
    EXPECT_EQ(line.Number, 2);
    blk.Close();

    // ...but an unclean record before it decides first.
    BlockSpec s = LinesNumbered({1, 1});
    WriteBlock(d, s);
    lin = ReadFileBytes(d / "tn.lin");
    lin.resize(lin.size() + 40, 0);
    WriteFileBytes(d / "tn.lin", lin);
    blk.Open(d.string());
    EXPECT_FALSE(blk.IsClean());
    blk.Close();

    // Groups after an unclean one are not examined: the fragment in points stays unseen.
    WriteBlock(d, LinesNumbered({3, 3}));
    WriteFileBytes(d / "tn.pnt", std::vector<unsigned char>(35 + 10, 0));
    blk.Open(d.string());
    EXPECT_FALSE(blk.IsClean());
    blk.Close();
    WriteBlock(d, LinesNumbered({1, 3}));
    WriteFileBytes(d / "tn.pnt", std::vector<unsigned char>(35 + 10, 0));
    blk.Open(d.string());
    EXPECT_THROW(blk.IsClean(), EBlkReadError);
}

TEST(BlkFileSetTest, IsCleanKeepsEveryStreamPosition) {
    TempDir tmp;
    BlockSpec s = LinesNumbered({1, 2, 3});
    s.Points = {MakePoint(1, 1, 0, 0), MakePoint(2, 1, 5, 0)};
    s.Areas = {MakeArea(1, 1), MakeArea(2, 2)};
    s.Texts = {MakeText(1, 1), MakeText(2, 3)};
    WriteBlock(tmp.Path() / "b.blk", s);
    TBlk blk;
    blk.Open(tmp / "b.blk");
    TBlkLine l;
    TBlkPoint p;
    TBlkArea a;
    TBlkText t;
    blk.ReadNextLine(l);
    blk.ReadNextPoint(p);
    blk.ReadNextArea(a);
    blk.ReadNextText(t);
    EXPECT_TRUE(blk.IsClean());
    blk.ReadNextLine(l);
    blk.ReadNextPoint(p);
    blk.ReadNextArea(a);
    blk.ReadNextText(t);
    EXPECT_EQ(l.Number, 1);
    EXPECT_EQ(p.Number, 1);
    EXPECT_EQ(a.Number, 1);
    EXPECT_EQ(t.Number, 1);
}

} // namespace
