#include "StandardTestSupport.h"
#include "block/BlkRecords.h"
#include "kit/BlockKit.h"
#include "standard/AccessDb.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"
#include "standard/StringList.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace vexa;
namespace fs = std::filesystem;

namespace {

class StandardTest : public ::testing::Test {
protected:
    void SetUp() override {
        templatePath_ = dir_ / "Chyby.dbf";
        TErrorTable::CreateTemplate(templatePath_);
    }
    std::string SqliteStandard(const std::string& extraSql = "", const std::string& name = "StandardGXD.mdb") {
        const std::string path = dir_ / name;
        stdtest::BuildTestStandard(path, extraSql);
        return path;
    }
    // The message of the exception that opening raises, "" when it opens.
    template <typename E>
    std::string OpenError(const std::string& standardPath, const std::string& templatePath) {
        try {
            TBlkStandardGXD standard(standardPath, templatePath);
        } catch (const E& e) {
            return e.what();
        }
        return "";
    }
    testkit::TempDir dir_;
    std::string templatePath_;
};

std::vector<std::string> Items(const TStringList& list) { return list.Strings(); }

void ExpectTestStandardLists(const TBlkStandardGXD& s) {
    EXPECT_EQ(s.Description(), "Štandard GXD – skúšobný");
    EXPECT_EQ(Items(s.Layers()), (std::vector<std::string>{"ABC", "CE", "HR", "LE", "PO", "SL"}));
    EXPECT_EQ(Items(s.AreaOnlyLayers()), (std::vector<std::string>{"PO"}));
    EXPECT_EQ(Items(s.LineKinds()), (std::vector<std::string>{"1=LE,PO", "12=HR;CE", "2=LE", "20=", "21=", "7=LE"}));
    EXPECT_EQ(Items(s.PointKinds()), (std::vector<std::string>{"5=LE", "6=LE HR"}));
    EXPECT_EQ(Items(s.AreaKinds()), (std::vector<std::string>{"10=PO,LE", "11=PO"}));
    EXPECT_EQ(Items(s.TextKinds()), (std::vector<std::string>{"3=LE", "4=PO"}));
    EXPECT_EQ(Items(s.PointZeroAngleKinds()), (std::vector<std::string>{"5"}));
    EXPECT_EQ(Items(s.TextZeroAngleKinds()), (std::vector<std::string>{"3"}));
}

} // namespace

TEST_F(StandardTest, JetAndSqliteFormsGiveTheSameLists) {
    TBlkStandardGXD jet(stdtest::DataFile("StandardGXD.mdb"), templatePath_);
    ExpectTestStandardLists(jet);
    TBlkStandardGXD sqlite(SqliteStandard(), templatePath_);
    ExpectTestStandardLists(sqlite);
    // The format is told by content, not by name.
    fs::copy_file(stdtest::DataFile("StandardGXD.mdb"), dir_ / "jet.sqlite");
    TBlkStandardGXD renamed(dir_ / "jet.sqlite", templatePath_);
    ExpectTestStandardLists(renamed);
}

TEST_F(StandardTest, PasswordProtectedStandardNeedsTheSystemPassword) {
    TBlkStandardGXD withPassword(stdtest::DataFile("StandardGXD_pw.mdb"), templatePath_);
    ExpectTestStandardLists(withPassword);

    auto bytes = testkit::ReadFileBytes(stdtest::DataFile("StandardGXD_pw.mdb"));
    bytes[0x42] ^= static_cast<unsigned char>('G' ^ 'H');  // password "Hxd8Wqs4"
    testkit::WriteFileBytes(dir_ / "other.mdb", bytes);
    EXPECT_EQ(OpenError<EAccessDbError>(dir_ / "other.mdb", templatePath_), "Not a valid password.");
}

TEST_F(StandardTest, IdentityMarkerIsComparedExactly) {
    EXPECT_EQ(OpenError<EStdException>(stdtest::DataFile("StandardGXD_badid.mdb"), templatePath_),
              "Chybný súbor štandardu GXD.");
    EXPECT_EQ(OpenError<EStdException>(SqliteStandard("update Podpis set IDDB = '#S#t#d#G#X#D# ';", "a.mdb"),
                                       templatePath_),
              "Chybný súbor štandardu GXD.");
    EXPECT_EQ(OpenError<EStdException>(SqliteStandard("delete from Podpis;", "b.mdb"), templatePath_),
              "Chybný súbor štandardu GXD.");
}

TEST_F(StandardTest, MissingFilesAndForeignFilesAreRefused) {
    EXPECT_EQ(OpenError<EStdException>(dir_ / "none.mdb", templatePath_), "Databáza nebola vytvorená.");
    EXPECT_EQ(OpenError<EStdException>(SqliteStandard(), dir_ / "none.dbf"), "Databáza nebola vytvorená.");
    testkit::WriteFileBytes(dir_ / "text.mdb", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!',
                                                 '!', '!', '!', '!', '!', '!', '!', '!', '!', '!', '!', '!', '!', '!',
                                                 '!', '!', '!', '!'});
    EXPECT_EQ(OpenError<EAccessDbError>(dir_ / "text.mdb", templatePath_),
              "Unrecognized database format.\r(" + (dir_ / "text.mdb") + ")");
    // A database without the standard's tables: the data-access error passes on.
    stdtest::BuildSqlite(dir_ / "empty.mdb", "create table x (a)");
    EXPECT_EQ(OpenError<EAccessDbError>(dir_ / "empty.mdb", templatePath_), "no such table: Podpis");
}

TEST_F(StandardTest, LayerLookupsUseTheFirstTwoCharactersUpperCased) {
    TBlkStandardGXD s(stdtest::DataFile("StandardGXD.mdb"), templatePath_);
    EXPECT_TRUE(s.IsLayerKnown("LE_12345.blk"));
    EXPECT_TRUE(s.IsLayerKnown("le"));
    EXPECT_TRUE(s.IsLayerKnown("Po7.blk"));
    EXPECT_FALSE(s.IsLayerKnown("ABC"));  // a three-letter layer is never found
    EXPECT_FALSE(s.IsLayerKnown("XY.blk"));
    EXPECT_FALSE(s.IsLayerKnown("L"));
    EXPECT_TRUE(s.IsAreasOnlyLayer("po_1.blk"));
    EXPECT_FALSE(s.IsAreasOnlyLayer("LE_1.blk"));
}

TEST_F(StandardTest, KindAdmissibilityIsASubstringTest) {
    TBlkStandardGXD s(stdtest::DataFile("StandardGXD.mdb"), templatePath_);
    EXPECT_TRUE(s.IsKindAdmissible("LE_1.blk", egLine, 1));
    EXPECT_TRUE(s.IsKindAdmissible("PO", egLine, 1));
    EXPECT_FALSE(s.IsKindAdmissible("HR", egLine, 1));
    EXPECT_TRUE(s.IsKindAdmissible("le", egLine, 7));  // upper-cased on both sides
    EXPECT_TRUE(s.IsKindAdmissible("CE", egLine, 12));
    EXPECT_TRUE(s.IsKindAdmissible("HR", egPoint, 6));
    EXPECT_FALSE(s.IsKindAdmissible("HR", egPoint, 5));
    EXPECT_TRUE(s.IsKindAdmissible("PO", egArea, 10));
    EXPECT_TRUE(s.IsKindAdmissible("PO", egText, 4));
    EXPECT_FALSE(s.IsKindAdmissible("LE", egText, 4));
    // A one-character layer matches every layer text holding that character.
    EXPECT_TRUE(s.IsKindAdmissible("E", egLine, 12));
    EXPECT_TRUE(s.IsKindAdmissible("L", egLine, 1));
    EXPECT_FALSE(s.IsKindAdmissible("P", egLine, 2));
    // Kinds listed with an empty or null layer text, unlisted kinds, other groups, empty layers.
    EXPECT_FALSE(s.IsKindAdmissible("LE", egLine, 20));
    EXPECT_FALSE(s.IsKindAdmissible("LE", egLine, 21));
    EXPECT_FALSE(s.IsKindAdmissible("LE", egLine, 3));
    EXPECT_FALSE(s.IsKindAdmissible("LE", egArea, 1));  // the "X" row counts for no group
    EXPECT_FALSE(s.IsKindAdmissible("LE", 4, 1));
    EXPECT_FALSE(s.IsKindAdmissible("LE", 200, 5));
    EXPECT_FALSE(s.IsKindAdmissible("", egLine, 1));
}

TEST_F(StandardTest, DuplicateKindRowsStayAndTheFirstSortedOneAnswers) {
    TBlkStandardGXD s(SqliteStandard("insert into Prvky values ('L', 2, 'HR', -1), ('P', 11, 'po', -1);"),
                      templatePath_);
    EXPECT_EQ(Items(s.LineKinds()), (std::vector<std::string>{"1=LE,PO", "12=HR;CE", "2=HR", "2=LE", "20=", "21=", "7=LE"}));
    EXPECT_EQ(Items(s.AreaKinds()), (std::vector<std::string>{"10=PO,LE", "11=PO"}));  // equal entries kept once
    EXPECT_TRUE(s.IsKindAdmissible("HR", egLine, 2));
    EXPECT_FALSE(s.IsKindAdmissible("LE", egLine, 2));
    // Uhol0 counts for points and texts only.
    EXPECT_FALSE(s.NeedsZeroAngle(egLine, 2));
    EXPECT_FALSE(s.NeedsZeroAngle(egArea, 11));
}

TEST_F(StandardTest, ZeroAngleKindsByGroup) {
    TBlkStandardGXD s(stdtest::DataFile("StandardGXD.mdb"), templatePath_);
    EXPECT_TRUE(s.NeedsZeroAngle(egPoint, 5));
    EXPECT_FALSE(s.NeedsZeroAngle(egPoint, 6));
    EXPECT_TRUE(s.NeedsZeroAngle(egText, 3));
    EXPECT_FALSE(s.NeedsZeroAngle(egText, 4));
    EXPECT_FALSE(s.NeedsZeroAngle(egText, 5));
    EXPECT_FALSE(s.NeedsZeroAngle(egLine, 5));
    EXPECT_FALSE(s.NeedsZeroAngle(7, 5));
}

TEST_F(StandardTest, SetGaugeResetsTheGauge) {
    TBlkStandardGXD s(stdtest::DataFile("StandardGXD.mdb"), templatePath_);
    CountingGauge gauge;
    gauge.SetMaximum(40);
    gauge.SetMinimum(3);
    gauge.SetProgress(17);
    s.SetGauge(&gauge);
    EXPECT_EQ(s.Gauge(), &gauge);
    EXPECT_EQ(gauge.Progress(), 0);
    EXPECT_EQ(gauge.Minimum(), 0);
    EXPECT_EQ(gauge.Maximum(), 0);
    s.SetGauge(nullptr);
    EXPECT_EQ(s.Gauge(), nullptr);
}

TEST_F(StandardTest, WorkingFilesArePrivateAndRemovedWithTheObject) {
    std::string workA, errorA, workB, errorB;
    {
        TBlkStandardGXD a(stdtest::DataFile("StandardGXD.mdb"), templatePath_);
        TBlkStandardGXD b(stdtest::DataFile("StandardGXD.mdb"), templatePath_);
        workA = a.WorkPath(), errorA = a.ErrorTablePath();
        workB = b.WorkPath(), errorB = b.ErrorTablePath();
        EXPECT_EQ(a.StandardPath(), stdtest::DataFile("StandardGXD.mdb"));
        EXPECT_TRUE(fs::exists(workA));
        EXPECT_TRUE(fs::exists(workB));
        EXPECT_NE(fs::path(workA).parent_path(), fs::path(workB).parent_path());
        EXPECT_NE(errorA, errorB);
        EXPECT_EQ(fs::path(errorA).filename(), "Chyby.dbf");
        EXPECT_EQ(fs::path(workA).parent_path(), fs::path(errorA).parent_path());
        EXPECT_EQ(fs::path(workA).extension(), ".mdb");

        // Findings of one do not reach the other; a reset of one leaves the other's table.
        {
            TErrorTableGuard guard(a.ErrorTable());
            a.ErrorTable().Append({-11, "LE_1.blk", std::string("LE"), "L", 1, 5, "neprípustný druh vo vrstve"});
        }
        b.ResetErrorTable();
        EXPECT_GT(fs::file_size(errorA), fs::file_size(errorB));
        a.Database().ExecuteNative("create table Extra (x)");
        EXPECT_FALSE(b.Database().TableExists("Extra"));
    }
    EXPECT_FALSE(fs::exists(workA));
    EXPECT_FALSE(fs::exists(errorA));
    EXPECT_FALSE(fs::exists(fs::path(workA).parent_path()));
    EXPECT_FALSE(fs::exists(fs::path(workB).parent_path()));
}

TEST_F(StandardTest, ARefusedStandardLeavesNoWorkingFiles) {
    // A temporary directory of the test's own, so that nothing else writes there.
    const std::string temp = dir_ / "tmp";
    fs::create_directory(temp);
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", temp.c_str(), 1);
    EXPECT_THROW(TBlkStandardGXD(stdtest::DataFile("StandardGXD_badid.mdb"), templatePath_), EStdException);
    EXPECT_THROW(TBlkStandardGXD(SqliteStandard(), dir_ / "none.dbf"), EStdException);
    EXPECT_THROW(TBlkStandardGXD(dir_ / "none.mdb", templatePath_), EStdException);
    EXPECT_TRUE(stdtest::DirEntries(temp).empty());
    {
        TBlkStandardGXD s(SqliteStandard("", "c.mdb"), templatePath_);
        EXPECT_EQ(stdtest::DirEntries(temp).size(), 1u);
        EXPECT_EQ(fs::path(s.WorkPath()).parent_path().parent_path(), fs::path(temp));
    }
    EXPECT_TRUE(stdtest::DirEntries(temp).empty());
    if (old) setenv("TMPDIR", saved.c_str(), 1);
    else unsetenv("TMPDIR");
}

TEST(SampleStandard, BuiltBesideTheProgramsAndItsQueriesTranslate) {
    TBlkStandardGXD s(stdtest::BinFile("StandardGXD.mdb"), stdtest::BinFile("Chyby.dbf"));
    EXPECT_EQ(s.Description(), "Štandard GXD pre lesnícke mapy – vzorový");
    EXPECT_EQ(Items(s.Layers()), (std::vector<std::string>{"CE", "HR", "LE", "PO", "SL", "VO"}));
    EXPECT_EQ(Items(s.AreaOnlyLayers()), (std::vector<std::string>{"PO"}));
    EXPECT_TRUE(s.IsKindAdmissible("LE_1.blk", egLine, 1));
    EXPECT_TRUE(s.IsKindAdmissible("LE_1.blk", egLine, 2));
    EXPECT_TRUE(s.NeedsZeroAngle(egPoint, 2));
    const auto names = s.Database().SavedQueryNames();
    EXPECT_EQ(names.size(), 15u);
    for (const auto& name : names) EXPECT_NO_THROW(s.Database().TranslateSql(*s.Database().SavedQuerySql(name))) << name;
}
