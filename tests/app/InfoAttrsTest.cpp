// vexa-info BLOCKDIR --attrs G:KIND:N end to end, on a block whose table is
// written by TTableDBF.
#include "dbase/DbfTestUtil.h"
#include "kit/BlockKit.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

namespace vexa {
namespace {

using namespace dbftest;
using testkit::TempDir;

#ifdef VEXA_INFO_PROGRAM

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class InfoAttrs : public ::testing::Test {
protected:
    TempDir Dir;
    std::string Block = Dir / "LE_12345.blk";
    int Exit = -1;
    std::string Out, Err;

    void SetUp() override {
        std::filesystem::create_directories(Block);
        MakeTable(Block + "/L0003.DBF",
                  {Def("Cislo", TFldType::dbfNumeric, 11), Def("Nazov", TFldType::dbfChar, 20),
                   Def("Dlzka", TFldType::dbfNumeric, 10, 2), Def("Overene", TFldType::dbfLogical),
                   Def("Datum", TFldType::dbfDate)},
                  {{5.0, std::string("potok \"Ľ\""), 12.25, true, TDate{2024, 2, 29}},
                   {6.0, TValue{}, -0.5, false, TValue{}},
                   {6.0, std::string("druhý"), 1.0, true, TValue{}}});
    }
    // Runs vexa-info BLOCK --attrs ARG into Exit, Out and Err.
    void Run(const std::string& arg) {
        std::string out = Dir / "out.txt", err = Dir / "err.txt";
        std::string cmd = ShellQuote(VEXA_INFO_PROGRAM) + " " + ShellQuote(Block) + " --attrs " + ShellQuote(arg) + " >" +
                          ShellQuote(out) + " 2>" + ShellQuote(err);
        int status = std::system(cmd.c_str());
        Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        Out = ReadFileText(out);
        Err = ReadFileText(err);
    }
};

TEST_F(InfoAttrs, PrintsTheRowAsNameValuePairsInColumnOrderOrAnEmptyList) {
    const std::pair<const char*, const char*> cases[] = {
        {"L:3:5",
         "[[\"Cislo\",5],[\"Nazov\",\"potok \\\"Ľ\\\"\"],[\"Dlzka\",12.25],[\"Overene\",true],"
         "[\"Datum\",\"2024-02-29\"]]\n"},
        {"l:3:6", "[[\"Cislo\",6],[\"Nazov\",null],[\"Dlzka\",-0.5],[\"Overene\",false],[\"Datum\",null]]\n"},
        {"L:3:7", "[]\n"},
        {"L:4:5", "[]\n"},
        {"T:3:5", "[]\n"}};  // no row, no table, texts
    for (auto [arg, out] : cases) {
        Run(arg);
        EXPECT_EQ(Exit, 0) << arg << Err;
        EXPECT_EQ(Out, out) << arg;
    }
}

TEST_F(InfoAttrs, BadArgumentsAndDamagedTablesFail) {
    for (const char* arg : {"L:3", "X:3:5", "L:40000:5", "L:3:x"}) {
        Run(arg);
        EXPECT_EQ(Exit, 2) << arg;
        EXPECT_EQ(Out, "") << arg;
        EXPECT_FALSE(Err.empty()) << arg;
    }
    WriteFileText(Block + "/L0003.DBF", "damaged");
    Run("L:3:5");
    EXPECT_EQ(Exit, 2);
    EXPECT_NE(Err.find("Zlyhala databázová operácia"), std::string::npos) << Err;
}

#else

TEST(InfoAttrs, NeedsTheProgram) { GTEST_SKIP() << "vexa-info is not part of this build"; }

#endif

}  // namespace
}  // namespace vexa
