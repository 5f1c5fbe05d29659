// vexa-info run as a program on blocks written by the test kit.
#include "block/TestUtil.h"
#include "common/Text.h"
#include "common/Version.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sys/wait.h>

using namespace vexa;
using namespace vexa::blocktest;

namespace {

struct RunResult {
    int code = -1;
    std::string out, err;
};

class InfoProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef VEXA_INFO_PROGRAM
        GTEST_SKIP() << "vexa-info is not part of this build";
#endif
    }

    RunResult Run(const std::vector<std::string>& args) {
        RunResult r;
#ifdef VEXA_INFO_PROGRAM
        std::string cmd = std::string("'") + VEXA_INFO_PROGRAM + "'";
        for (const auto& a : args) cmd += " '" + a + "'";
        const int status = std::system((cmd + " >'" + (tmp / "out.txt") + "' 2>'" + (tmp / "err.txt") + "'").c_str());
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadFileText(tmp.Path() / "out.txt");
        r.err = ReadFileText(tmp.Path() / "err.txt");
#endif
        return r;
    }

    std::string Block() { return tmp / "LE_1.blk"; }

    TempDir tmp;
};

std::string Summary(const std::string& dir, bool clean, int lines, int points, int texts, int areas) {
    return "{\"Path\":\"" + dir + "/\",\"IsClean\":" + (clean ? "true" : "false") +
           ",\"LineCount\":" + std::to_string(lines) + ",\"PointCount\":" + std::to_string(points) +
           ",\"TextCount\":" + std::to_string(texts) + ",\"AreaCount\":" + std::to_string(areas) + "}\n";
}

TEST_F(InfoProgramTest, SummaryOfABlock) {
    BlockSpec s = LinesNumbered({1, 2, 4});
    s.Points = {MakePoint(1, 1, 0, 0)};
    s.Areas = {MakeArea(1, 1), MakeArea(2, 1)};
    WriteBlock(Block(), s);
    RunResult r = Run({Block()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, Summary(Block(), true, 3, 1, 0, 2));
    EXPECT_EQ(r.err, "");

    s.Areas[1].Flags = 4;
    WriteBlock(Block(), s);
    r = Run({Block()});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, Summary(Block(), false, 3, 1, 0, 2));

    // A missing block is an error and is not created; --create creates it as a check run does.
    const std::string dir = tmp / "new/LE_2.blk";
    r = Run({dir});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Neotvorený blok\n(" + dir + ": neexistuje)\n");
    EXPECT_FALSE(fs::exists(tmp / "new"));
    // A mistyped name in an existing map directory: refused, and no block appears there.
    const std::string typo = tmp / "LE_0002.blk";
    r = Run({typo});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "Neotvorený blok\n(" + typo + ": neexistuje)\n");
    EXPECT_FALSE(fs::exists(typo));
    r = Run({"--create", dir});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, Summary(dir, true, 0, 0, 0, 0));
    EXPECT_TRUE(fs::exists(fs::path(dir) / "tn.lin"));
}

TEST_F(InfoProgramTest, ABlockIsReadOnlyUnlessCreateIsGiven) {
    // A half-copied block: the lines are missing. vexa-info reads it as it is and changes nothing.
    BlockSpec s = LinesNumbered({1, 2, 4});
    s.Areas = {MakeArea(1, 1)};
    WriteBlock(Block(), s);
    fs::remove(fs::path(Block()) / "tn.lin");
    const auto crds = ReadFileBytes(fs::path(Block()) / "tn.crd");
    RunResult r = Run({Block()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, Summary(Block(), true, 0, 0, 0, 1));
    EXPECT_EQ(ReadFileBytes(fs::path(Block()) / "tn.crd"), crds);
    EXPECT_FALSE(fs::exists(fs::path(Block()) / "tn.lin"));
    r = Run({Block(), "--dump", "L"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");

    // --create opens it as a check run does: the vertices and areas are set aside and it says so.
    r = Run({"--create", Block()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, Summary(Block(), true, 0, 0, 0, 0));
    EXPECT_NE(r.err.find("chýba tn.lin"), std::string::npos) << r.err;
    int kept = 0;
    for (const auto& e : fs::directory_iterator(Block()))
        if (e.path().filename().string().rfind("tn.crd.orphan-", 0) == 0) {
            ++kept;
            EXPECT_EQ(ReadFileBytes(e.path()), crds);
        }
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(Run({"--create"}).code, 2);
    EXPECT_EQ(Run({"--create", "--standard", "x"}).code, 2);
}

TEST_F(InfoProgramTest, DumpPrintsEveryRecordWithItsFields) {
    BlockSpec s;
    TBlkLine& l = s.AddLine(1, 7, {{-1234567.875, -543210.5}, {-1234567.0, -543000.25}}, true);
    l.Flags = 5;
    l.DisplayCode = 12;
    l.NextA = 3;
    l.NextARev = 1;
    l.AreaA = 9;
    l.Length = R(0.1L);
    s.AddLine(2, 8, {{0, 0}, {1, 1}});
    WriteBlock(Block(), s);
    RunResult r = Run({Block(), "--dump", "L"});
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string lengthText = FloatToText(static_cast<double>(R(0.1L).Value()));
    EXPECT_EQ(r.out,
              "{\"Number\":1,\"Kind\":7,\"Flags\":5,\"DisplayCode\":12,\"FirstCrd\":1,\"LastCrd\":0,"
              "\"NextA\":3,\"NextARev\":1,\"PrevA\":-1,\"PrevARev\":0,\"NextB\":-1,\"NextBRev\":0,\"PrevB\":-1,"
              "\"PrevBRev\":0,\"AreaA\":9,\"AreaB\":-1,\"Length\":" +
                  lengthText +
                  ",\"Rect\":[-1234567.875,-543210.5,-1234567,-543000.25],\"Deleted\":true}\n"
                  "{\"Number\":2,\"Kind\":8,\"Flags\":0,\"DisplayCode\":0,\"FirstCrd\":2,\"LastCrd\":3,"
                  "\"NextA\":-1,\"NextARev\":0,\"PrevA\":-1,\"PrevARev\":0,\"NextB\":-1,\"NextBRev\":0,\"PrevB\":-1,"
                  "\"PrevBRev\":0,\"AreaA\":-1,\"AreaB\":-1,\"Length\":" +
                  FloatToText(static_cast<double>(R(std::sqrt(2.0L)).Value())) +
                  ",\"Rect\":[0,0,1,1],\"Deleted\":false}\n");
    // The length prints so that it reads back to the stored value exactly.
    EXPECT_EQ(std::strtod(lengthText.c_str(), nullptr), static_cast<double>(R(0.1L).Value()));
}

TEST_F(InfoProgramTest, DumpOfPointsTextsAndAreas) {
    BlockSpec s;
    s.Points = {MakePoint(1, 3, -10.5, 20.25, 1.5)};
    s.Texts = {MakeText(4, 2, 0.5)};
    s.Texts[0].Rect = MakeRect(1, 2, 3, 4);
    s.Areas = {MakeArea(1, 10, 5), MakeArea(2, 11, 6)};
    s.Areas[1].Flags = 4;
    s.Areas[0].RefX = R(7);
    s.Areas[0].RefY = R(8);
    s.Areas[0].AreaSize = R(99.5);
    WriteBlock(Block(), s);
    RunResult r = Run({Block(), "--dump", "B"});
    EXPECT_EQ(r.out,
              "{\"Number\":1,\"Kind\":3,\"Flags\":0,\"DisplayCode\":0,\"X\":-10.5,\"Y\":20.25,\"Angle\":1.5,"
              "\"Deleted\":false}\n");
    r = Run({Block(), "--dump", "t"});
    EXPECT_EQ(r.out, "{\"Number\":4,\"Kind\":2,\"Flags\":0,\"Angle\":0.5,\"Rect\":[1,2,3,4],\"Deleted\":false}\n");
    r = Run({Block(), "--dump", "P"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out,
              "{\"Number\":1,\"Kind\":10,\"Flags\":0,\"FirstLine\":5,\"RefX\":7,\"RefY\":8,\"Rect\":[0,0,0,0],"
              "\"AreaSize\":99.5,\"Deleted\":false}\n"
              "{\"Number\":2,\"Kind\":11,\"Flags\":4,\"FirstLine\":6,\"RefX\":0,\"RefY\":0,\"Rect\":[0,0,0,0],"
              "\"AreaSize\":0,\"Deleted\":true}\n");
}

TEST_F(InfoProgramTest, DumpStopsAtADamagedRecord) {
    WriteBlock(Block(), LinesNumbered({1, 2}));
    Resize(fs::path(Block()) / "tn.lin", -1);
    RunResult r = Run({Block(), "--dump", "L"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out.find("\"Number\":1,"), 1u) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
    EXPECT_EQ(r.err, "Chyba čítania\n(" + Block() + "/)\n");
}

TEST_F(InfoProgramTest, FindByNumberAndVertexRanges) {
    BlockSpec s = LinesNumbered({1, 2, 4, 5, 6, 7});
    for (int i = 0; i < 12; ++i) s.Crds[i] = TBlkCrd{R(i), R(-i * 0.5L)};
    WriteBlock(Block(), s);
    RunResult r = Run({Block(), "--find", "L:4"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find("{\"Number\":4,\"Kind\":1,"), 0u) << r.out;
    EXPECT_NE(r.out.find("\"FirstCrd\":4,\"LastCrd\":5,"), std::string::npos) << r.out;
    const struct {
        std::vector<std::string> args;
        int code;
        std::string out, err;
    } cases[] = {
        {{"--find", "L:3"}, 2, "", "Prvok neexistuje\n(" + Block() + "/, L:3)\n"},
        {{"--find", "P:1"}, 2, "", "Prvok neexistuje\n(" + Block() + "/, P:1)\n"},
        {{"--crds", "9:7"}, 0, "[[7,-3.5],[8,-4],[9,-4.5]]\n", ""},
        {{"--crds", "7:7"}, 2, "", "Chyba čítania\n(" + Block() + "/: prvý a posledný vrchol sú ten istý (7))\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{Block()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        r = Run(args);
        EXPECT_EQ(r.code, c.code) << c.args[1];
        EXPECT_EQ(r.out, c.out) << c.args[1];
        EXPECT_EQ(r.err, c.err) << c.args[1];
    }
}

// A map directory where a block is meant is refused with the map's blocks named, also
// with --create (which would otherwise make the map a block).
TEST_F(InfoProgramTest, AMapIsNotReadAsAnEmptyBlock) {
    WriteBlock(tmp / "LE_2.blk", {});
    WriteBlock(Block(), {});
    const std::string told = "Adresár je mapa, nie blok\n(" + tmp.Path().string() +
                             ")\nBloky mapy: LE_1.blk, LE_2.blk\n" + "Zadajte adresár bloku, napríklad vexa-info " +
                             Block() + "\n";
    for (const std::vector<std::string>& args : {std::vector<std::string>{tmp.Path().string()},
                                                 {"--create", tmp.Path().string()},
                                                 {tmp.Path().string(), "--dump", "L"}}) {
        RunResult r = Run(args);
        EXPECT_EQ(r.code, 2) << testing::PrintToString(args);
        EXPECT_EQ(r.err, told) << testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(tmp / "tn.lin")) << "nothing created in the map";
    EXPECT_EQ(Run({Block()}).code, 0) << "a block is read as before";
    // An export into a directory that does not exist is said so, not as the writer's failure.
    RunResult e = Run({tmp.Path().string(), "--export", (fs::path(tmp / "none") / "m.gpkg").string()});
    EXPECT_EQ(e.code, 2);
    EXPECT_EQ(e.err, "Adresár pre export neexistuje\n(" + (tmp / "none") +
                         ")\nVytvorte ho alebo zadajte súbor v existujúcom adresári.\n");
}

TEST_F(InfoProgramTest, UsageErrorsAndHelp) {
    WriteBlock(Block(), {});
    const std::vector<std::string> bad[] = {{},
                                            {Block(), "--dump"},
                                            {Block(), "--find", "L"},
                                            {Block(), "--find", "L:x"},
                                            {Block(), "--nonsense", "1"},
                                            {"--dump", "L"},
                                            {Block(), "--crds", "-1:3"}};
    for (const auto& args : bad) EXPECT_EQ(Run(args).code, 2) << testing::PrintToString(args);
    // The messages are Slovak, as the other programs'.
    const std::string hint = "\nPozri 'vexa-info --help'.\n";
    const std::pair<std::vector<std::string>, std::string> told[] = {
        {{}, "vexa-info: chýba adresár bloku" + hint},
        {{Block(), "--nonsense", "1"}, "vexa-info: neznáma voľba --nonsense" + hint},
        {{"--dump", "L"}, "vexa-info: pred --dump musí byť adresár bloku" + hint},
        {{Block(), "--dump"}, "vexa-info: chýba hodnota voľby --dump (G)" + hint},
        {{"--create", "--standard", "x"}, "vexa-info: za --create musí nasledovať adresár bloku" + hint},
        {{Block(), "--find", "L:x"}, "číslo prvku nie je 32-bitové celé číslo: 'x'\n"},
        {{Block(), "--crds", "1"}, "--crds čaká PRVÝ:POSLEDNÝ, nie '1'\n"},
        {{Block(), "--dump", "X"}, "neznáma skupina prvkov 'X' (L, B, T alebo P)\n"},
    };
    for (const auto& [args, err] : told) {
        const RunResult r = Run(args);
        EXPECT_EQ(r.code, 2) << err;
        EXPECT_EQ(r.err, err);
    }
    RunResult r = Run({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, std::string("vexa-info ") + VEXA_VERSION + "\n");
    r = Run({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("Použitie: vexa-info", 0), 0u) << r.out;
    for (const char* option : {"--dump G", "--find G:N", "--crds PRVÝ:POSLEDNÝ"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

}  // namespace

namespace {

// --standard on the sample standard: the attribute definitions of DBAtrib grouped by
// element group, kind and layers in their order, and each saved query with its SQL.
TEST_F(InfoProgramTest, StandardListsAttributeDefinitionsAndSavedQueries) {
#ifdef VEXA_INFO_PROGRAM
    const std::string standard = fs::path(VEXA_INFO_PROGRAM).parent_path() / "StandardGXD.mdb";
    const RunResult r = Run({"--standard", standard});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("{\"Group\":\"L\",\"Kind\":1,\"Layers\":\"LE\",\"Columns\":["
                         "{\"Name\":\"CISLO\",\"Type\":\"N\",\"Width\":10,\"Decimals\":0,\"Order\":0,"
                         "\"QFormat\":null,\"QGenerate\":null,\"QTest\":null},"
                         "{\"Name\":\"TYP_HRAN\",\"Type\":\"C\",\"Width\":2,\"Decimals\":0,\"Order\":1,"
                         "\"QFormat\":\"qFmtTypHran\",\"QGenerate\":null,\"QTest\":\"qTestTypHran\"}]}"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"Name\":\"SIRKA\",\"Type\":\"F\",\"Width\":6,\"Decimals\":1,\"Order\":2,"),
              std::string::npos);
    EXPECT_NE(r.out.find("{\"Name\":\"qFmtTypHran\",\"Sql\":\"UPDATE TestTab SET "
                         "TestTab.TYP_HRAN = UCase(Trim([TYP_HRAN])) WHERE TestTab.TYP_HRAN Is Not Null;\"}"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"Sql\":\"SELECT TestTab.Cislo FROM TestTab WHERE Nz(TestTab.TRIEDA, \\\"\\\") Not In "),
              std::string::npos);
#endif
}

}  // namespace
