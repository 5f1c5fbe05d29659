#include "StandardTestSupport.h"
#include "block/BlkObj.h"
#include "common/Text.h"
#include "access/AccessDb.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"
#include "standard/FindingKinds.h"
#include "standard/StringList.h"
#include "dbase/TableDBF.h"
#include "access/AccessSql.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <tuple>

using namespace vexa;
using namespace vexa::stdtest;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

// Id, Prvok, Cislo, Chyba of a finding.
using Finding = std::tuple<double, std::string, TValue, std::string>;
using Findings = std::vector<Finding>;
const std::string kBadStructure = "chybná DB štruktúra", kBadFill = "zle vyplnený DB záznam";
const Finding kMissingB{-92, "B", {}, "DB b0005.dbf neexistuje"};
const Finding kMissingL{-91, "L", {}, "DB l0001.dbf neexistuje"};
const Finding kMissingP{-93, "P", {}, "DB p0010.dbf neexistuje"};

// The findings of a standard's working error table; attribute findings carry no layer and kind.
Findings FindingsOf(TBlkStandardGXD& standard, const std::string& block) {
    Findings out;
    const std::vector<std::string> names{"Id", "Prvok", "Cislo", "Chyba", "Blok", "Vrstva", "Druh"};
    for (const Row& r : RowsOf(standard.ErrorTablePath(), names)) {
        EXPECT_EQ(r[4], TValue(block));
        EXPECT_TRUE(IsNull(r[5]) && IsNull(r[6]));
        out.emplace_back(std::get<double>(r[0]), std::get<std::string>(r[1]), r[2], std::get<std::string>(r[3]));
    }
    return out;
}

class DatabaseChecksTest : public ::testing::Test {
protected:
    void SetUp() override {
        TErrorTable::CreateTemplate(dir_ / "Chyby.dbf");
        stdtest::BuildTestStandard(dir_ / "StandardGXD.mdb");
        standard_ = std::make_unique<TBlkStandardGXD>(dir_ / "StandardGXD.mdb", dir_ / "Chyby.dbf");
        OpenBlock("LE_100.blk");
    }
    void OpenBlock(const std::string& name) {
        blockDir_ = dir_ / name;
        testkit::WriteBlock(blockDir_, testkit::BlockSpec{});
        blk_.Open(blockDir_);
    }
    std::string Table(const std::string& name) { return (fs::path(blockDir_) / name).string(); }
    Findings Found() { return FindingsOf(*standard_, fs::path(blockDir_).filename().string()); }
    // Every table the test standard asks for in layer LE, well formed, well filled.
    void WriteGoodTables() {
        // The standard tests point tables with qTestTyp, which reads TYP.
        WriteTable(Table("b0005.dbf"), {C("OZNAC", 10), F("VYSKA", 8, 1), N("Cislo", 10), C("TYP", 5)},
                   {{"x"s, 1.5, 1.0, "A"s}});
        WriteTable(Table("l0001.dbf"), {N("Cislo", 10), C("TYP", 5)}, {{1.0, "A"s}, {2.0, "C"s}});
        WriteTable(Table("p0010.dbf"), {C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM"), N("Cislo", 10)},
                   {{"1A"s, 2.5, TDate{2004, 6, 5}, 7.0}});
    }
    std::string RunError(std::uint16_t options) {
        try {
            standard_->CheckDatabases(blk_, options);
        } catch (const EAccessDbError& e) {
            return e.what();
        }
        return "(the run went on)";
    }

    testkit::TempDir dir_;
    std::unique_ptr<TBlkStandardGXD> standard_;
    std::string blockDir_;
    TBlk blk_;
};

}  // namespace

TEST_F(DatabaseChecksTest, ListsTablesAndDefinitionsOfALayer) {
    EXPECT_EQ(standard_->ListAttributeTables("LE"), (std::vector<std::string>{"b0005.dbf", "l0001.dbf", "p0010.dbf"}));
    EXPECT_EQ(standard_->ListAttributeTables("po_7.blk"), (std::vector<std::string>{"p0010.dbf"}));
    EXPECT_TRUE(standard_->ListAttributeTables("HR").empty());
    // Date width and character decimals normalised as the table layer makes fields.
    EXPECT_EQ(standard_->GetAttributeDefs("PO", egArea, 10),
              (TFldDefList{C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM")}));
    EXPECT_EQ(standard_->GetAttributeDefs("LE", egPoint, 5), (TFldDefList{C("OZNAC", 10), F("VYSKA", 8, 1)}));
    EXPECT_TRUE(standard_->GetAttributeDefs("HR", egArea, 10).empty());
    EXPECT_TRUE(standard_->GetAttributeDefs("LE", egText, 5).empty());

    // Nothing is looked for in a layer without definitions.
    OpenBlock("HR_1.blk");
    EXPECT_EQ(standard_->CheckDatabases(blk_, 15), 0);
    EXPECT_EQ(standard_->CheckDatabases(blk_, 0), 0);
    EXPECT_TRUE(Found().empty());
}

TEST_F(DatabaseChecksTest, MissingTablesAreReportedWhateverTheBits) {
    for (std::uint16_t options : {1, 2, 4, 8, 15}) {
        standard_->ResetErrorTable();
        EXPECT_EQ(standard_->CheckDatabases(blk_, options), 3) << options;
        EXPECT_EQ(Found(), (Findings{kMissingB, kMissingL, kMissingP})) << options;
        EXPECT_FALSE(standard_->ErrorTable().Active());
    }
    // Names are found whatever their letter case on disk.
    WriteTable(Table("L0001.DBF"), {N("Cislo", 10), C("TYP", 5)}, {});
    standard_->ResetErrorTable();
    EXPECT_EQ(standard_->CheckDatabases(blk_, 1), 2);
    EXPECT_EQ(Found(), (Findings{kMissingB, kMissingP}));
    EXPECT_EQ(standard_->CurrentDbfPath(), Table("L0001.DBF"));
}

TEST_F(DatabaseChecksTest, StructureIsValidWithExtraFieldsAndWithARightFieldAfterAWrongOne) {
    WriteTable(Table("b0005.dbf"), {N("Cislo", 10), C("OZNAC", 10), C("POZN", 30), F("VYSKA", 8, 1), C("TYP", 1)}, {});
    // Two fields named TYP: the table layer makes no such table, so the second name is patched in.
    WriteTable(Table("l0001.dbf"), {C("TYP", 4), N("Cislo", 10), C("TYX", 5)}, {});
    auto bytes = testkit::ReadFileBytes(Table("l0001.dbf"));
    const std::string raw(bytes.begin(), bytes.end());
    bytes.at(raw.find("TYX") + 2) = 'P';
    testkit::WriteFileBytes(Table("l0001.dbf"), bytes);
    ASSERT_EQ(FieldsOf(Table("l0001.dbf")), (TFldDefList{C("TYP", 4), N("Cislo", 10), C("TYP", 5)}));
    WriteTable(Table("p0010.dbf"), {C("JPRL", 20), N("PLOCHA_HA", 12, 3), D("DATUM")}, {});
    EXPECT_EQ(standard_->CheckDatabases(blk_, 1), 1);
    EXPECT_EQ(Found(), (Findings{{-93, "P", {}, kBadStructure}}));
}

TEST_F(DatabaseChecksTest, RepairWithoutTestIsSilentAndRepairedTablesAreValid) {
    WriteTable(Table("b0005.dbf"), {C("OZNAC", 6), N("Cislo", 10), C("TYP", 5)}, {{"abc"s, 3.0, "A"s}});  // no VYSKA
    WriteTable(Table("l0001.dbf"), {N("Cislo", 10), C("TYP", 3)}, {{4.0, "B"s}});
    WriteTable(Table("p0010.dbf"), {C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM"), N("Cislo", 10)}, {});
    EXPECT_EQ(standard_->CheckDatabases(blk_, 1), 2);
    EXPECT_EQ(Found(), (Findings{{-92, "B", {}, kBadStructure}, {-91, "L", {}, kBadStructure}}));

    standard_->ResetErrorTable();
    EXPECT_EQ(standard_->CheckDatabases(blk_, 2), 0);  // repaired, nothing reported
    EXPECT_TRUE(Found().empty());
    EXPECT_EQ(FieldsOf(Table("b0005.dbf")),
              (TFldDefList{C("OZNAC", 10), N("Cislo", 10), C("TYP", 5), F("VYSKA", 8, 1)}));
    EXPECT_EQ(FieldsOf(Table("l0001.dbf")), (TFldDefList{N("Cislo", 10), C("TYP", 5)}));
    EXPECT_EQ(RowsOf(Table("b0005.dbf")), (std::vector<Row>{{"abc"s, 3.0, "A"s, {}}}));

    // Wrong again; repair and test together: repaired first, then found valid.
    WriteTable(Table("l0001.dbf"), {N("Cislo", 10), C("TYP", 3)}, {{4.0, "B"s}});
    standard_->ResetErrorTable();
    EXPECT_EQ(standard_->CheckDatabases(blk_, 3), 0);
    EXPECT_TRUE(Found().empty());
}

TEST_F(DatabaseChecksTest, FullRepairLeavesExactlyTheStandardFieldsInOrderWithTheirValues) {
    WriteTable(Table("p0010.dbf"),
               {N("Cislo", 10), C("POZN", 12), D("DATUM"), C("jprl", 8), N("PLOCHA_HA", 9, 1), L("OK")},
               {{5.0, "poznámka"s, TDate{2020, 1, 31}, "12b"s, 3.5, true}, {6.0, {}, {}, "7"s, 0.5, false}});
    standard_->FixStructure("LE", egArea, 10, true, false, false);  // no table under work yet
    EXPECT_EQ(FieldsOf(Table("p0010.dbf")).size(), 6u);
    EXPECT_TRUE(standard_->TakeRepairs().empty());

    EXPECT_EQ(standard_->CheckDatabases(blk_, 2 | 4 | 8), 2);  // the two missing tables
    // The rewritten table named with what changed; a field counts as moved only when it
    // left the order of the others (JPRL and PLOCHA_HA keep theirs).
    EXPECT_EQ(standard_->TakeRepairs(),
              std::vector<std::string>{"Upravená tabuľka " + Table("p0010.dbf") +
                                       ": presunuté: DATUM, Cislo; odstránené: POZN, OK; zmenené: jprl C 8 -> JPRL C 20, "
                                       "PLOCHA_HA N 9.1 -> PLOCHA_HA N 12.2"});
    EXPECT_TRUE(standard_->TakeRepairs().empty()) << "taken once";
    // Repaired already: nothing to change, nothing said.
    standard_->CheckDatabases(blk_, 2 | 4 | 8);
    EXPECT_TRUE(standard_->TakeRepairs().empty());
    // The GIS's element number stays: no repair removes the link between rows and elements.
    EXPECT_EQ(FieldsOf(Table("p0010.dbf")),
              (TFldDefList{C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM"), N("Cislo", 10)}));
    EXPECT_EQ(RowsOf(Table("p0010.dbf")),
              (std::vector<Row>{{"12b"s, 3.5, TDate{2020, 1, 31}, 5.0}, {"7"s, 0.5, {}, 6.0}}));

    // Only moving the standard's fields to the front, then only deleting the others.
    WriteTable(Table("p0010.dbf"), {N("Cislo", 10), D("DATUM"), C("POZN", 2), C("JPRL", 20)},
               {{1.0, TDate{2001, 2, 3}, "x"s, "j"s}});
    standard_->FixStructure("LE", egArea, 10, false, true, false);
    EXPECT_EQ(FieldsOf(Table("p0010.dbf")), (TFldDefList{C("JPRL", 20), N("Cislo", 10), D("DATUM"), C("POZN", 2)}));
    standard_->FixStructure("LE", egArea, 10, false, false, true);
    EXPECT_EQ(FieldsOf(Table("p0010.dbf")), (TFldDefList{C("JPRL", 20), N("Cislo", 10), D("DATUM")}));
    EXPECT_EQ(standard_->TakeRepairs(),
              (std::vector<std::string>{"Upravená tabuľka " + Table("p0010.dbf") + ": presunuté: JPRL",
                                        "Upravená tabuľka " + Table("p0010.dbf") + ": odstránené: POZN"}));
    EXPECT_EQ(RowsOf(Table("p0010.dbf")), (std::vector<Row>{{"j"s, 1.0, TDate{2001, 2, 3}}}));
}

TEST_F(DatabaseChecksTest, BadlyFilledRowsAreReportedOnceEachInTextOrder) {
    // Two rows of the table of line kind 1 name one test query.
    standard_->Database().ExecuteNative(
        "insert into DBAtrib values ('L', 1, 'LE', 'TYP2', 'C', 5, 0, 2, NULL, NULL, 'qTestTyp')");
    WriteGoodTables();
    WriteTable(Table("l0001.dbf"), {N("Cislo", 10), C("TYP", 5), C("TYP2", 5)},
               {{9.0, "X"s, "A"s},
                {10.0, "x"s, "A"s},
                {2.0, "b"s, "A"s},
                {11.0, {}, "A"s},
                {100.0, "Z"s, "A"s},
                {{}, "Y"s, "A"s}});
    EXPECT_EQ(standard_->CheckDatabases(blk_, 1), 4);
    // A row without a number is reported too, with a blank number; then the numbers as texts.
    EXPECT_EQ(Found(), (Findings{{-91, "L", {}, kBadFill},
                                 {-91, "L", 10.0, kBadFill},
                                 {-91, "L", 100.0, kBadFill},
                                 {-91, "L", 9.0, kBadFill}}));
    // The list itself, for the table of area kind 10.
    standard_->CheckDatabases(blk_, 0);
    std::vector<std::string> numbers{"stale"};
    EXPECT_EQ(standard_->CurrentDbfPath(), Table("p0010.dbf"));
    EXPECT_TRUE(standard_->TestFill("LE", egArea, numbers, 10));
    EXPECT_TRUE(numbers.empty());
    EXPECT_FALSE(standard_->Database().TableExists("TestTab"));
}

TEST_F(DatabaseChecksTest, SavedQueriesChangeTheFileKeepingItsCodePageAndDeletedRows) {
    WriteGoodTables();
    const std::string path = Table("p0010.dbf");
    WriteTable(path, {C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM"), N("Cislo", 10), C("POZN", 10)},
               {{" 12a "s, {}, TDate{2004, 6, 5}, 1.0, "čaša"s},
                {"zmazaný"s, 1.0, {}, 2.0, "x"s},
                {"ok"s, 4.0, {}, 3.0, {}},
                {{}, -1.0, {}, 4.0, "ž"s}},
               852);
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    t.First();
    t.Next();
    t.DeleteCurrent();  // record 2
    t.Close();
    EXPECT_EQ(standard_->CheckDatabases(blk_, 1), 2);
    EXPECT_EQ(Found(), (Findings{{-93, "P", 1.0, kBadFill}, {-93, "P", 4.0, kBadFill}}));
    // qFmtJprl trimmed and upper-cased, qGenPlocha filled the empty area with 0.
    EXPECT_EQ(RowsOf(path), (std::vector<Row>{{"12A"s, 0.0, TDate{2004, 6, 5}, 1.0, "čaša"s},
                                              {"OK"s, 4.0, {}, 3.0, {}},
                                              {{}, -1.0, {}, 4.0, "ž"s}}));
    t.Open();
    EXPECT_EQ(t.CodePage(), 852);
    EXPECT_EQ(t.RecordCount(), 4);
    t.Close();
    const auto bytes = testkit::ReadFileBytes(path);
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("*" + FromUtf8("zmazaný", 852)), std::string::npos);
}

TEST_F(DatabaseChecksTest, AFailingSavedQueryEndsTheRunAndLeavesTheTableIntact) {
    WriteGoodTables();
    standard_->Database().ExecuteNative(
        "update Dotazy set SQL = 'UPDATE TestTab SET TestTab.PLOCHA_HA = 1 WHERE TestTab.NEZNAMA = 1' "
        "where Nazov = 'qGenPlocha'");
    WriteTable(Table("p0010.dbf"), {C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM"), N("Cislo", 10)},
               {{" 12a "s, {}, {}, 1.0}});
    WriteTable(Table("l0001.dbf"), {N("Cislo", 10), C("TYP", 5)}, {{3.0, "Q"s}});
    const auto before = testkit::ReadFileBytes(Table("p0010.dbf"));
    EXPECT_EQ(RunError(1), "Uložený dotaz qGenPlocha sa nepodarilo vykonať.\r(no such column: TestTab.NEZNAMA)");
    EXPECT_EQ(testkit::ReadFileBytes(Table("p0010.dbf")), before);  // qFmtJprl's change is not written either
    EXPECT_FALSE(standard_->Database().TableExists("TestTab"));
    EXPECT_FALSE(standard_->ErrorTable().Active());
    EXPECT_EQ(Found(), (Findings{{-91, "L", 3.0, kBadFill}}));  // findings written before stay

    // A test query that is not there.
    standard_->Database().ExecuteNative("delete from Dotazy where Nazov = 'qTestTyp'");
    standard_->ResetErrorTable();
    EXPECT_EQ(RunError(1), "Uložený dotaz qTestTyp sa nepodarilo vykonať.\r(no such table: qTestTyp)");
    EXPECT_EQ(standard_->CurrentDbfPath(), Table("b0005.dbf"));
    EXPECT_FALSE(standard_->Database().TableExists("TestTab"));
}

TEST_F(DatabaseChecksTest, SavedQueriesOfTheJetStandardRunOnTheTable) {
    standard_ = std::make_unique<TBlkStandardGXD>(DataFile("StandardGXD.mdb"), dir_ / "Chyby.dbf");
    OpenBlock("PO_5.blk");
    WriteTable(Table("p0010.dbf"), {N("Cislo", 10), C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM")},
               {{1.0, " 3b "s, 2.0, {}}, {2.0, ""s, {}, {}}, {3.0, "x"s, -1.0, TDate{1999, 12, 31}}});
    EXPECT_EQ(standard_->CheckDatabases(blk_, 3), 2);
    EXPECT_EQ(RowsOf(Table("p0010.dbf")),
              (std::vector<Row>{{1.0, "3B"s, 2.0, {}}, {2.0, {}, 0.0, {}}, {3.0, "X"s, -1.0, TDate{1999, 12, 31}}}));
    EXPECT_EQ(Found(), (Findings{{-93, "P", 2.0, kBadFill}, {-93, "P", 3.0, kBadFill}}));
}

TEST_F(DatabaseChecksTest, SampleStandardBesideTheProgramsHasQueriesThatTranslateAndRun) {
    standard_ = std::make_unique<TBlkStandardGXD>(BinFile("StandardGXD.mdb"), BinFile("Chyby.dbf"));
    EXPECT_EQ(standard_->Description(), "Štandard GXD pre lesnícke mapy – vzorový");
    EXPECT_EQ(standard_->Layers().Strings(), (std::vector<std::string>{"CE", "HR", "LE", "PO", "SL", "VO"}));
    EXPECT_EQ(standard_->AreaOnlyLayers().Strings(), (std::vector<std::string>{"PO"}));
    auto& db = standard_->Database();
    EXPECT_EQ(db.SavedQueryNames().size(), 15u);
    for (const auto& name : db.SavedQueryNames()) EXPECT_NO_THROW(db.TranslateSql(*db.SavedQuerySql(name))) << name;

    OpenBlock("LE_2.blk");
    EXPECT_EQ(standard_->ListAttributeTables("LE"),
              (std::vector<std::string>{"b0001.dbf", "l0001.dbf", "l0021.dbf", "l0030.dbf", "p0001.dbf", "p0002.dbf"}));
    WriteTable(Table("b0001.dbf"), {N("Cislo", 10), C("CISLOKAM", 8), L("OVERENY")},
               {{6.0, "K-1234"s, {}}, {7.0, "12"s, true}});
    WriteTable(Table("l0001.dbf"), {N("Cislo", 10), C("TYP_HRAN", 2)}, {{1.0, "ph"s}, {2.0, "XX"s}});
    WriteTable(Table("l0021.dbf"), {N("Cislo", 10), C("TRIEDA", 2), F("SIRKA", 6, 1)},
               {{3.0, "1l"s, 3.0}, {4.0, "4L"s, 2.0}});
    WriteTable(Table("l0030.dbf"), {N("Cislo", 10), C("NAZOV", 40), C("POVODIE", 12)}, {{5.0, "  hron "s, "Dunaj"s}});
    WriteTable(Table("p0001.dbf"),
               {N("Cislo", 10), C("PORAST", 10), N("PLOCHA", 12, 4), C("DREVINA", 4), N("VEK", 3), D("DATUM")},
               {{8.0, " 12a "s, {}, "bk"s, 50.0, {}}, {9.0, "x1"s, 5.5, "XY"s, 250.0, TDate{2010, 5, 1}}});
    WriteTable(Table("p0002.dbf"), {N("Cislo", 10), C("PORAST", 10), N("PLOCHA", 12, 4)}, {{10.0, "3"s, 1.0}});

    EXPECT_EQ(standard_->CheckDatabases(blk_, 1 | 2), 5);
    EXPECT_EQ(Found(), (Findings{{-92, "B", 7.0, kBadFill},
                                 {-91, "L", 2.0, kBadFill},
                                 {-91, "L", 4.0, kBadFill},
                                 {-93, "P", 8.0, kBadFill},
                                 {-93, "P", 9.0, kBadFill}}));
    EXPECT_EQ(RowsOf(Table("b0001.dbf"))[0][2], TValue(false));
    EXPECT_EQ(RowsOf(Table("l0001.dbf"))[0][1], TValue("PH"s));
    EXPECT_EQ(RowsOf(Table("l0021.dbf"))[0][1], TValue("1L"s));
    EXPECT_EQ(RowsOf(Table("l0030.dbf"))[0][1], TValue("Hron"s));
    EXPECT_EQ(RowsOf(Table("p0001.dbf"))[0], (Row{8.0, "12A"s, 0.0, "BK"s, 50.0, {}}));
}

namespace {

// Tables of other software (tests/data/dbf-real) as attribute tables of area kind 83.
class OtherSoftwareTables : public DatabaseChecksTest {
protected:
    void Copy(const std::string& file, const std::string& as) {
        const fs::path from = fs::path(VEXA_TEST_DATA) / "dbf-real" / file;
        fs::copy_file(from, Table(as));
        fs::permissions(Table(as), fs::perms::owner_read | fs::perms::owner_write);
    }
    void Define(const std::string& values) {
        standard_->Database().ExecuteNative("insert into DBAtrib values ('P', 83, 'LE', " + values + ")");
    }
};

TEST_F(OtherSoftwareTables, TheSavedQueriesReadMemoTexts) {
    Copy("infused_dbase_83.dbf", "p0083.dbf");
    Copy("infused_dbase_83.dbt", "p0083.dbt");
    Define("'CODE', 'C', 50, 0, 1, NULL, NULL, 'qTestMemo'");
    standard_->Database().ExecuteNative(
        "insert into Dotazy values ('qTestMemo', "
        "'SELECT TestTab.ID AS Cislo FROM TestTab WHERE TestTab.[DESC] Like \"*truffle*\";')");
    WriteGoodTables();
    const std::string before = testkit::ReadFileText(Table("p0083.dbf"));
    standard_->CheckDatabases(blk_, 1);

    // The rows whose memo text (in the .dbt) names truffles, as an independent reader sees them.
    std::set<double> expected;
    std::ifstream tsv(fs::path(VEXA_TEST_DATA) / "dbf-real" / "infused_dbase_83.dbf.expected.tsv");
    for (std::string line; std::getline(tsv, line);) {
        std::vector<std::string> cells;
        std::stringstream in(line);
        for (std::string c; std::getline(in, c, '\t');) cells.push_back(c);
        if (AccessUpper(cells.at(11)).find("TRUFFLE") != std::string::npos) expected.insert(std::stod(cells[0]));
    }
    ASSERT_GT(expected.size(), 10u);
    std::set<double> found;
    for (const Finding& f : Found())
        if (std::get<0>(f) == -93 && std::get<3>(f) == kBadFill) found.insert(std::get<double>(std::get<2>(f)));
    EXPECT_EQ(found, expected);
    EXPECT_EQ(testkit::ReadFileText(Table("p0083.dbf")), before);  // reading changes nothing
}

// The rows of a table that names fields of another type (memo, binary, Visual FoxPro's
// own) as the standard lists them: "'NAME', 'M', 10, 0, <order>, NULL, NULL, NULL".
std::string DefinitionRow(const FLDDesc& d, int order) {
    std::string name;
    for (char c : d.szName) name += c == '\'' ? std::string("''") : std::string(1, c);
    return Format("'%s', '%c', %d, %d, %d, NULL, NULL, NULL", name.c_str(), LetterOfPhysical(d.iFldType), d.iUnits1,
                  d.iUnits2, order);
}

// Each table of other software, with a standard that lists the table's own fields of
// every type (last first, each name once, as the file defines them) and a new one,
// restructured with the standard's fields first: every value of every field reads as
// it did (memo texts still found in the memo file, which stays byte-identical), or the
// table is refused with a message naming it and left byte-identical.
TEST_F(OtherSoftwareTables, AStandardListingATablesOwnFieldsOfEveryTypeReordersItOrLeavesIt) {
    struct Real {
        const char* File;
        const char* Memo;  // and its name beside p0083.dbf
        const char* MemoAs;
        bool Handled;  // reordered; else refused
    };
    const Real tables[] = {
        // Visual FoxPro's _NullFlags bits follow their fields, which may not move.
        {"gd_TEST.DBF", "gd_TEST.FPT", "p0083.fpt", false},
        {"infused_dbase_03.dbf", nullptr, nullptr, true},
        {"infused_dbase_03_cyrillic.dbf", nullptr, nullptr, true},
        {"infused_dbase_83.dbf", "infused_dbase_83.dbt", "p0083.dbt", true},
        {"infused_foxprodb_types.dbf", nullptr, nullptr, true},
        {"infused_mazovia.dbf", nullptr, nullptr, true},
        {"infused_polygon.dbf", nullptr, nullptr, true},
        {"yf_FolderRoot.dbf", nullptr, nullptr, true},
        {"yf_MS__KHDM.DBF", nullptr, nullptr, true},
        {"yf_dbase_30.dbf", "yf_dbase_30.fpt", "p0083.fpt", true},
    };
    int memoTexts = 0;
    for (const Real& r : tables) {
        SCOPED_TRACE(r.File);
        for (const char* name : {"p0083.dbf", "p0083.fpt", "p0083.dbt"}) fs::remove(Table(name));
        Copy(r.File, "p0083.dbf");
        if (r.Memo) Copy(r.Memo, r.MemoAs);
        const std::string path = Table("p0083.dbf");
        standard_->Database().ExecuteNative("delete from DBAtrib where Kod_Prvok = 83");
        TFldDescList before;
        {
            TTableDBF t;
            t.SetTableName(path);
            t.GetFieldDescs(before);
        }
        // A name's first field is the one a definition of that name is for.
        TFldDescList own;
        std::set<std::string> seen;
        for (const FLDDesc& d : before)
            if (d.iFldType != fldpNullFlags && seen.insert(AccessUpper(d.szName)).second) own.insert(own.begin(), d);
        std::vector<std::string> listed;
        for (const FLDDesc& d : own) {
            listed.push_back(d.szName);
            Define(DefinitionRow(d, static_cast<int>(listed.size())));
        }
        listed.push_back("VEXA_NEW");
        Define(Format("'VEXA_NEW', 'C', 5, 0, %zu, NULL, NULL, NULL", listed.size()));
        const std::string bytes = testkit::ReadFileText(path);
        const std::string memo = r.MemoAs ? testkit::ReadFileText(Table(r.MemoAs)) : "";
        const std::vector<Row> rows = RowsOf(path);

        std::string refusal;
        try {
            standard_->CheckDatabases(blk_, option::DBUprStrukt | option::DBUsporiadat);
        } catch (const std::exception& e) {
            refusal = e.what();
        }
        if (r.MemoAs) EXPECT_EQ(testkit::ReadFileText(Table(r.MemoAs)), memo);
        if (!r.Handled) {
            EXPECT_NE(refusal.find("_NullFlags"), std::string::npos) << refusal;
            EXPECT_NE(refusal.find("(" + path + ")"), std::string::npos) << refusal;
            EXPECT_EQ(testkit::ReadFileText(path), bytes);
            continue;
        }
        ASSERT_EQ(refusal, "");
        TFldDescList after;
        {
            TTableDBF t;
            t.SetTableName(path);
            t.GetFieldDescs(after);
        }
        ASSERT_EQ(after.size(), before.size() + 1);
        // The standard's fields first, in its order; each field found again by its name
        // and, for two of one name, by which of them it is.
        std::vector<int> source;
        for (std::size_t i = 0; i < after.size(); ++i) {
            if (i < listed.size()) EXPECT_EQ(after[i].szName, listed[i]) << i;
            int occurrence = 0;
            for (std::size_t k = 0; k < i; ++k) occurrence += after[k].szName == after[i].szName;
            int from = -1;
            for (std::size_t j = 0; j < before.size() && from < 0; ++j)
                if (before[j].szName == after[i].szName && occurrence-- == 0) from = static_cast<int>(j);
            if (from >= 0) EXPECT_EQ(after[i].iFldType, before[static_cast<std::size_t>(from)].iFldType);
            source.push_back(from);
        }
        const std::vector<Row> now = RowsOf(path);
        ASSERT_EQ(now.size(), rows.size());
        for (std::size_t row = 0; row < rows.size(); ++row)
            for (std::size_t i = 0; i < source.size(); ++i) {
                const TValue& was = source[i] < 0 ? TValue{} : rows[row][static_cast<std::size_t>(source[i])];
                EXPECT_EQ(now[row][i], was) << "record " << row + 1 << " field " << after[i].szName;
                if (after[i].iFldType == fldpMemo && !IsNull(now[row][i])) ++memoTexts;
            }
    }
    EXPECT_GT(memoTexts, 10);  // the memo texts were read after the rewrite, from the memo files
}

// A standard that would change a field of another type, or add one, refuses the table
// naming it, the field and the standard's row; nothing of the repair is written.
TEST_F(OtherSoftwareTables, AFieldOfAnotherTypeThatWouldChangeRefusesTheWholeRepair) {
    Copy("yf_dbase_30.dbf", "p0083.dbf");
    Copy("yf_dbase_30.fpt", "p0083.fpt");
    const std::string path = Table("p0083.dbf");
    const std::string bytes = testkit::ReadFileText(path);
    struct Case {
        const char* Row;  // the standard's second row, after a field to add
        const char* Message;
    } cases[] = {
        {"'APPNOTES', 'C', 20, 0, 2", "pole APPNOTES C 20): Pole APPNOTES typu M nemožno zmeniť na iný typ ani šírku."},
        {"'POZNAMKA', 'M', 10, 0, 2", "pole POZNAMKA M): Pole POZNAMKA má typ M, ktorý Vexa nevie zapísať."},
        {"'ACQVALUE', 'N', 12, 2, 2",
         "pole ACQVALUE N 12.2): Pole ACQVALUE typu B nemožno zmeniť na iný typ ani šírku."},
        {"'DIVNE', 'X', 4, 0, 2", "pole DIVNE X 4): Pole DIVNE má typ X, ktorý Vexa nevie zapísať."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Row);
        standard_->Database().ExecuteNative("delete from DBAtrib where Kod_Prvok = 83");
        Define("'JPRL', 'C', 20, 0, 1, NULL, NULL, NULL");
        Define(std::string(c.Row) + ", NULL, NULL, NULL");
        EXPECT_EQ(testkit::MessageOf<EStdException>([&] { standard_->CheckDatabases(blk_, option::DBRepairs); }),
                  std::string("Tabuľku nemožno upraviť podľa štandardu (DBAtrib: P 83, ") + c.Message +
                      " Tabuľka zostala nezmenená.\r(" + path + ")");
        EXPECT_EQ(testkit::ReadFileText(path), bytes);
    }
    // The memo as the file defines it (any width: the format fixes it) is no change.
    standard_->Database().ExecuteNative("delete from DBAtrib where Kod_Prvok = 83");
    Define("'APPNOTES', 'm', 4, 0, 1, NULL, NULL, NULL");
    Define("'ACQVALUE', 'B', 8, 0, 2, NULL, NULL, NULL");
    standard_->CheckDatabases(blk_, option::DBUprStrukt);
    EXPECT_EQ(testkit::ReadFileText(path), bytes);
    EXPECT_TRUE(standard_->TakeRepairs().empty());
    standard_->ResetErrorTable();
    EXPECT_EQ(standard_->CheckDatabases(blk_, option::DBKontAtr), 3);  // the three missing tables only
    EXPECT_TRUE(standard_->IsStructureValid("LE", egArea, 83));

    // A type the standard gives that is no type letter at all.
    Define("'DIVNE', ' ', 4, 0, 3, NULL, NULL, NULL");
    EXPECT_EQ(testkit::MessageOf<EStdException>([&] { standard_->GetAttributeDefs("LE", egArea, 83); }),
              "Štandard udáva pre pole DIVNE typ \" \", ktorý nie je typom poľa dBASE (DBAtrib: P 83).");
}

TEST_F(OtherSoftwareTables, ATableWithTwoFieldsOfOneNameIsRepaired) {
    Copy("infused_dbase_03.dbf", "p0083.dbf");
    Define("'Point_ID', 'C', 14, 0, 1, NULL, NULL, NULL");
    Define("'JPRL', 'C', 20, 0, 2, NULL, NULL, NULL");
    standard_->CheckDatabases(blk_, 2 | 4 | 8);
    TTableDBF t;
    t.SetTableName(Table("p0083.dbf"));
    TFldDescList descs;
    t.GetFieldDescs(descs);
    ASSERT_GE(descs.size(), 3u);
    // The first Point_ID takes the definition; a second field of a defined name is
    // not an optional one and stays, as does the GIS's TIME column.
    EXPECT_EQ(descs[0], (FLDDesc{1, "Point_ID", fldpChar, 14, 0}));
    EXPECT_EQ(descs[1], (FLDDesc{2, "JPRL", fldpChar, 20, 0}));
    std::vector<std::string> rest;
    for (std::size_t i = 2; i < descs.size(); ++i) rest.push_back(descs[i].szName);
    EXPECT_EQ(rest, (std::vector<std::string>{"Time", "Point_ID"}));
    t.Open();
    EXPECT_EQ(t.RecordCount(), 14);
    EXPECT_EQ(t.FieldValue("Point_ID"), TValue("0507121"s));
}

}  // namespace

TEST_F(DatabaseChecksTest, TableFindingsSayWhatDiffersAndWhichQueryRefusedTheRow) {
    WriteGoodTables();
    // The point table: VYSKA missing, OZNAC narrower than the standard's; the area table's
    // rows refused by one test query each, and one by both.
    WriteTable(Table("b0005.dbf"), {C("OZNAC", 8), N("Cislo", 10), C("TYP", 5)}, {{"x"s, 1.0, "A"s}});
    WriteTable(Table("p0010.dbf"), {C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM"), N("Cislo", 10)},
               {{{}, 2.0, {}, 1.0}, {"a"s, -1.0, {}, 2.0}, {{}, -1.0, {}, 3.0}, {"b"s, 5.0, {}, 4.0}});
    TFindingList found(false);
    {
        TFindingSinkScope scope(standard_->Findings(), found);
        EXPECT_EQ(standard_->CheckDatabases(blk_, 1), 4);
    }
    std::vector<std::tuple<std::int32_t, std::optional<std::int32_t>, std::string, std::string, std::string>> got;
    for (const TFinding& f : found.Findings())
        got.emplace_back(f.Record.Id, f.Record.Cislo, f.Record.Chyba, f.Place.Table, f.Detail);
    EXPECT_EQ(got, (decltype(got){
                       {-92, std::nullopt, kBadStructure, "b0005.dbf", "chýba VYSKA F 8.1; OZNAC C 8 namiesto C 10"},
                       {-93, 1, kBadFill, "p0010.dbf", "odmietol dotaz qTestJprl"},
                       {-93, 2, kBadFill, "p0010.dbf", "odmietol dotaz qTestPlocha"},
                       {-93, 3, kBadFill, "p0010.dbf", "odmietol dotaz qTestJprl, qTestPlocha"},
                   }));
    // The error table's texts stay those other tools match.
    EXPECT_EQ(Found(), (Findings{{-92, "B", {}, kBadStructure},
                                 {-93, "P", 1.0, kBadFill},
                                 {-93, "P", 2.0, kBadFill},
                                 {-93, "P", 3.0, kBadFill}}));
    // Repaired first, the point table has no structure finding left: only the three rows.
    EXPECT_EQ(standard_->CheckDatabases(blk_, 3), 3);
}
