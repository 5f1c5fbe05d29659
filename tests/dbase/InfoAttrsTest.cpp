// vexa-info BLOCKDIR --attrs G:KIND:N end to end, on a block whose table is
// written by TTableDBF.
#include "DbfTestUtil.h"
#include "kit/BlockKit.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

namespace vexa {
namespace {

using namespace dbftest;
using testkit::TempDir;

#ifdef VEXA_INFO_EXE

struct RunResult {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

RunResult RunInfo(const TempDir& dir, const std::vector<std::string>& args) {
    std::string cmd = ShellQuote(VEXA_INFO_EXE);
    for (const auto& a : args) cmd += " " + ShellQuote(a);
    std::string outFile = dir / "out.txt", errFile = dir / "err.txt";
    cmd += " >" + ShellQuote(outFile) + " 2>" + ShellQuote(errFile);
    int status = std::system(cmd.c_str());
    RunResult r;
    r.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.Out = ReadBytes(outFile);
    r.Err = ReadBytes(errFile);
    return r;
}

class InfoAttrs : public ::testing::Test {
protected:
    TempDir Dir;
    std::string Block = Dir / "LE_12345.blk";
    void SetUp() override {
        std::filesystem::create_directories(Block);
        MakeTable(Block + "/L0003.DBF",
                  {{"Cislo", TFldType::dbfNumeric, 11, 0},
                   {"Nazov", TFldType::dbfChar, 20, 0},
                   {"Dlzka", TFldType::dbfNumeric, 10, 2},
                   {"Overene", TFldType::dbfLogical, 0, 0},
                   {"Datum", TFldType::dbfDate, 0, 0}},
                  {{5.0, std::string("potok \"Ľ\""), 12.25, true, TDate{2024, 2, 29}},
                   {6.0, TValue{}, -0.5, false, TValue{}},
                   {6.0, std::string("druhý"), 1.0, true, TValue{}}});
    }
};

TEST_F(InfoAttrs, PrintsTheRowAsNameValuePairsInColumnOrder) {
    RunResult r = RunInfo(Dir, {Block, "--attrs", "L:3:5"});
    EXPECT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out,
              "[[\"Cislo\",5],[\"Nazov\",\"potok \\\"Ľ\\\"\"],[\"Dlzka\",12.25],[\"Overene\",true],"
              "[\"Datum\",\"2024-02-29\"]]\n");
    r = RunInfo(Dir, {Block, "--attrs", "l:3:6"});
    EXPECT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out, "[[\"Cislo\",6],[\"Nazov\",null],[\"Dlzka\",-0.5],[\"Overene\",false],[\"Datum\",null]]\n");
}

TEST_F(InfoAttrs, NoRowOrNoTableIsAnEmptyList) {
    for (const char* arg : {"L:3:7", "L:4:5", "T:3:5"}) {
        RunResult r = RunInfo(Dir, {Block, "--attrs", arg});
        EXPECT_EQ(r.Exit, 0) << arg << r.Err;
        EXPECT_EQ(r.Out, "[]\n") << arg;
    }
}

TEST_F(InfoAttrs, BadArgumentsAndDamagedTablesFail) {
    for (const char* arg : {"L:3", "X:3:5", "L:40000:5", "L:3:x"}) {
        RunResult r = RunInfo(Dir, {Block, "--attrs", arg});
        EXPECT_EQ(r.Exit, 2) << arg;
        EXPECT_EQ(r.Out, "") << arg;
        EXPECT_FALSE(r.Err.empty()) << arg;
    }
    WriteBytes(Block + "/L0003.DBF", "damaged");
    RunResult r = RunInfo(Dir, {Block, "--attrs", "L:3:5"});
    EXPECT_EQ(r.Exit, 2);
    EXPECT_NE(r.Err.find("Zlyhala databázová operácia"), std::string::npos) << r.Err;
}

#else

TEST(InfoAttrs, NeedsTheProgram) {
    GTEST_SKIP() << "vexa-info is not part of this build";
}

#endif

} // namespace
} // namespace vexa
