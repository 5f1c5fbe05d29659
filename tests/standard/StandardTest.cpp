#include "StandardTestSupport.h"
#include "block/BlkRecords.h"
#include "access/AccessDb.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"
#include "access/JetImport.h"
#include "standard/StringList.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace vexa;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

class StandardTest : public ::testing::Test {
protected:
    void SetUp() override { TErrorTable::CreateTemplate(templatePath_); }
    std::string SqliteStandard(const std::string& extraSql = "", const std::string& name = "StandardGXD.mdb") {
        stdtest::BuildTestStandard(dir_ / name, extraSql);
        return dir_ / name;
    }
    testkit::TempDir dir_;
    const std::string templatePath_ = dir_ / "Chyby.dbf";
    const std::string jet_ = stdtest::DataFile("StandardGXD.mdb");
};

void ExpectTestStandardLists(const TBlkStandardGXD& s) {
    EXPECT_EQ(s.Description(), "Štandard GXD – skúšobný");
    EXPECT_EQ(s.Layers().Strings(), (Names{"ABC", "CE", "HR", "LE", "PO", "SL"}));
    EXPECT_EQ(s.AreaOnlyLayers().Strings(), (Names{"PO"}));
    EXPECT_EQ(s.LineKinds().Strings(), (Names{"1=LE,PO", "12=HR;CE", "2=LE", "20=", "21=", "7=LE"}));
    EXPECT_EQ(s.PointKinds().Strings(), (Names{"5=LE", "6=LE HR"}));
    EXPECT_EQ(s.AreaKinds().Strings(), (Names{"10=PO,LE", "11=PO"}));
    EXPECT_EQ(s.TextKinds().Strings(), (Names{"3=LE", "4=PO"}));
    EXPECT_EQ(s.PointZeroAngleKinds().Strings(), (Names{"5"}));
    EXPECT_EQ(s.TextZeroAngleKinds().Strings(), (Names{"3"}));
}

}  // namespace

TEST_F(StandardTest, JetSqliteAndPasswordedFormsGiveTheSameLists) {
    fs::copy_file(jet_, dir_ / "jet.sqlite");  // the format is told by content, not by name
    const std::string passworded = stdtest::DataFile("StandardGXD_pw.mdb");
    for (const std::string& path : {jet_, SqliteStandard(), dir_ / "jet.sqlite", passworded}) {
        SCOPED_TRACE(path);
        ExpectTestStandardLists(TBlkStandardGXD(path, templatePath_));
    }
}

TEST_F(StandardTest, RefusedStandardsGiveTheirMessagesAndLeaveNoWorkingFiles) {
    // A file passworded otherwise: the stored password is masked byte by byte, one changed byte, one letter.
    auto bytes = testkit::ReadFileBytes(stdtest::DataFile("StandardGXD_pw.mdb"));
    EXPECT_EQ(ReadJetPassword(stdtest::DataFile("StandardGXD_pw.mdb")), std::optional<std::string>("Gxd8Wqs4"));
    bytes[0x42] ^= static_cast<unsigned char>('G' ^ 'H');
    testkit::WriteFileBytes(dir_ / "other.mdb", bytes);
    EXPECT_EQ(ReadJetPassword(dir_ / "other.mdb"), std::optional<std::string>("Hxd8Wqs4"));
    const std::string text(32, '!');
    testkit::WriteFileBytes(dir_ / "text.mdb", std::vector<unsigned char>(text.begin(), text.end()));
    stdtest::BuildSqlite(dir_ / "empty.mdb", "create table x (a)");  // without the standard's tables

    // A temporary directory of the test's own, so that nothing else writes there.
    const std::string temp = dir_ / "tmp";
    fs::create_directory(temp);
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", temp.c_str(), 1);
    const std::string badId = "Chybný súbor štandardu GXD.", notCreated = "Databáza nebola vytvorená.";
    const struct {
        std::string Standard, Template, Message;
        bool DataAccess;
    } cases[] = {
        {dir_ / "other.mdb", templatePath_, "Not a valid password.", true},
        {stdtest::DataFile("StandardGXD_badid.mdb"), templatePath_, badId, false},  // marker differs in case only
        {SqliteStandard("update Podpis set IDDB = '#S#t#d#G#X#D# ';", "a.mdb"), templatePath_, badId, false},
        {SqliteStandard("delete from Podpis;", "b.mdb"), templatePath_, badId, false},
        {dir_ / "none.mdb", templatePath_, notCreated + "\r(" + (dir_ / "none.mdb") + ": neexistuje)", false},
        {dir_.Path().string(), templatePath_, notCreated + "\r(" + dir_.Path().string() + ": je adresár, nie súbor)",
         false},
        {SqliteStandard(), dir_ / "none.dbf", notCreated + "\r(" + (dir_ / "none.dbf") + ": neexistuje)", false},
        {dir_ / "text.mdb", templatePath_,
         "Súbor nie je databáza Access ani SQLite, nemôže byť štandardom (StandardGXD.mdb)\r(" + (dir_ / "text.mdb") +
             ")",
         false},
        {dir_ / "empty.mdb", templatePath_, badId, false},  // no marker table
        // Real Access files that are not standards.
        {stdtest::DataFile("mdb-real/jk_queryTestV1997.mdb"), templatePath_, badId, false},
        {stdtest::DataFile("mdb-real/jk_queryTestV2000.mdb"), templatePath_, badId, false},
        {stdtest::DataFile("mdb-real/jk_testV2000.mdb"), templatePath_, badId, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Standard);
        try {
            TBlkStandardGXD standard(c.Standard, c.Template);
            ADD_FAILURE() << "opened";
        } catch (const EAccessDbError& e) {
            EXPECT_TRUE(c.DataAccess);
            EXPECT_EQ(e.what(), c.Message);
        } catch (const EStdException& e) {
            EXPECT_FALSE(c.DataAccess);
            EXPECT_EQ(e.what(), c.Message);
        }
        EXPECT_TRUE(fs::is_empty(temp));
    }
    {
        TBlkStandardGXD s(SqliteStandard("", "c.mdb"), templatePath_);
        EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 1);
        EXPECT_EQ(fs::path(s.WorkPath()).parent_path().parent_path(), fs::path(temp));
    }
    EXPECT_TRUE(fs::is_empty(temp));
    // An unusable temporary directory is named with its cause.
    setenv("TMPDIR", templatePath_.c_str(), 1);  // a file
    try {
        TBlkStandardGXD s(SqliteStandard("", "d.mdb"), templatePath_);
        ADD_FAILURE() << "opened";
    } catch (const EStdException& e) {
        EXPECT_EQ(std::string(e.what()),
                  notCreated + "\rDočasný adresár sa nedá použiť\r(" + templatePath_ + ": nie je adresár)");
    }
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

TEST_F(StandardTest, LayerKindAndAngleLookupsAndTheGauge) {
    TBlkStandardGXD s(jet_, templatePath_);
    // Layers by the first two characters upper-cased; a three-letter layer is never found.
    for (const char* known : {"LE_12345.blk", "le", "Po7.blk"}) EXPECT_TRUE(s.IsLayerKnown(known)) << known;
    for (const char* unknown : {"ABC", "XY.blk", "L"}) EXPECT_FALSE(s.IsLayerKnown(unknown)) << unknown;
    EXPECT_TRUE(s.IsAreasOnlyLayer("po_1.blk"));
    EXPECT_FALSE(s.IsAreasOnlyLayer("LE_1.blk"));

    const struct {
        const char* Layer;
        int Group;
        std::int16_t Kind;
        bool Admissible;
    } kinds[] = {
        {"LE_1.blk", egLine, 1, true},
        {"PO", egLine, 1, true},
        {"HR", egLine, 1, false},
        {"le", egLine, 7, true},  // upper-cased on both sides
        {"CE", egLine, 12, true},
        {"HR", egPoint, 6, true},
        {"HR", egPoint, 5, false},
        {"PO", egArea, 10, true},
        {"PO", egText, 4, true},
        {"LE", egText, 4, false},
        // A one-character layer matches every layer text holding that character.
        {"E", egLine, 12, true},
        {"L", egLine, 1, true},
        {"P", egLine, 2, false},
        // Kinds with an empty or null layer text, unlisted kinds, the "X" row, other groups, empty layers.
        {"LE", egLine, 20, false},
        {"LE", egLine, 21, false},
        {"LE", egLine, 3, false},
        {"LE", egArea, 1, false},
        {"LE", 4, 1, false},
        {"LE", 200, 5, false},
        {"", egLine, 1, false},
    };
    for (const auto& k : kinds)
        EXPECT_EQ(s.IsKindAdmissible(k.Layer, k.Group, k.Kind), k.Admissible)
            << k.Layer << " " << k.Group << " " << k.Kind;

    EXPECT_TRUE(s.NeedsZeroAngle(egPoint, 5));
    EXPECT_TRUE(s.NeedsZeroAngle(egText, 3));
    const std::pair<int, std::int16_t> free[] = {{egPoint, 6}, {egText, 4}, {egText, 5}, {egLine, 5}, {7, 5}};
    for (const auto& [group, kind] : free) EXPECT_FALSE(s.NeedsZeroAngle(group, kind)) << group << " " << kind;

    // Setting the gauge resets it.
    CountingGauge gauge;
    gauge.SetMaximum(40);
    gauge.SetMinimum(3);
    gauge.SetProgress(17);
    s.SetGauge(&gauge);
    EXPECT_EQ(s.Gauge(), &gauge);
    EXPECT_EQ(std::make_tuple(gauge.Progress(), gauge.Minimum(), gauge.Maximum()), std::make_tuple(0, 0, 0));
    s.SetGauge(nullptr);
    EXPECT_EQ(s.Gauge(), nullptr);
}

TEST_F(StandardTest, DuplicateKindRowsStayAndTheFirstSortedOneAnswers) {
    TBlkStandardGXD s(SqliteStandard("insert into Prvky values ('L', 2, 'HR', -1), ('P', 11, 'po', -1);"),
                      templatePath_);
    EXPECT_EQ(s.LineKinds().Strings(), (Names{"1=LE,PO", "12=HR;CE", "2=HR", "2=LE", "20=", "21=", "7=LE"}));
    EXPECT_EQ(s.AreaKinds().Strings(), (Names{"10=PO,LE", "11=PO"}));  // equal entries kept once
    EXPECT_TRUE(s.IsKindAdmissible("HR", egLine, 2));
    EXPECT_FALSE(s.IsKindAdmissible("LE", egLine, 2));
    // Uhol0 counts for points and texts only.
    EXPECT_FALSE(s.NeedsZeroAngle(egLine, 2));
    EXPECT_FALSE(s.NeedsZeroAngle(egArea, 11));
}

TEST_F(StandardTest, WorkingFilesArePrivateAndRemovedWithTheObject) {
    std::string workA, errorA, workB;
    {
        TBlkStandardGXD a(jet_, templatePath_), b(jet_, templatePath_);
        workA = a.WorkPath(), errorA = a.ErrorTablePath(), workB = b.WorkPath();
        EXPECT_EQ(a.StandardPath(), jet_);
        EXPECT_TRUE(fs::exists(workA) && fs::exists(workB));
        EXPECT_NE(fs::path(workA).parent_path(), fs::path(workB).parent_path());
        EXPECT_NE(errorA, b.ErrorTablePath());
        EXPECT_EQ(fs::path(errorA).filename(), "Chyby.dbf");
        EXPECT_EQ(fs::path(workA).parent_path(), fs::path(errorA).parent_path());
        EXPECT_EQ(fs::path(workA).extension(), ".mdb");

        // Findings of one do not reach the other; a reset of one leaves the other's table.
        {
            TErrorTableSession session(a.ErrorTable());
            a.ErrorTable().Append({-11, "LE_1.blk", std::string("LE"), "L", 1, 5, "neprípustný druh vo vrstve"});
        }
        b.ResetErrorTable();
        EXPECT_EQ(stdtest::RowsOf(errorA).size(), 1u);
        EXPECT_TRUE(stdtest::RowsOf(b.ErrorTablePath()).empty());
        a.Database().ExecuteNative("create table Extra (x)");
        EXPECT_FALSE(b.Database().TableExists("Extra"));
    }
    EXPECT_FALSE(fs::exists(fs::path(workA).parent_path()));
    EXPECT_FALSE(fs::exists(fs::path(workB).parent_path()));
}
