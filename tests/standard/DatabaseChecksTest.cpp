#include "StandardTestSupport.h"
#include "block/BlkObj.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"
#include "kit/BlockKit.h"
#include "standard/AccessDb.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vexa;
namespace fs = std::filesystem;

namespace {

TFldDef C(const std::string& name, int width) { return {name, TFldType::dbfChar, width, 0}; }
TFldDef N(const std::string& name, int width, int decimals) { return {name, TFldType::dbfNumeric, width, decimals}; }
TFldDef F(const std::string& name, int width, int decimals) { return {name, TFldType::dbfFloat, width, decimals}; }
TFldDef D(const std::string& name) { return {name, TFldType::dbfDate, 0, 0}; }
TFldDef L(const std::string& name) { return {name, TFldType::dbfLogical, 0, 0}; }

using Row = std::vector<TValue>;

void WriteTable(const std::string& path, const TFldDefList& fields, const std::vector<Row>& rows, int codePage = 1250) {
    TTableDBF::CreateTable(path, fields, codePage);
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    for (const Row& r : rows) t.AppendRecord(r);
    t.Close();
}

TFldDefList FieldsOf(const std::string& path) {
    TTableDBF t;
    t.SetTableName(path);
    TFldDefList fields;
    t.GetFields(fields);
    return fields;
}

// Visible rows, values by field order.
std::vector<Row> RowsOf(const std::string& path) {
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    std::vector<Row> rows;
    for (t.First(); !t.Eof(); t.Next()) {
        TFldValList values;
        t.GetValues(values);
        Row row;
        for (auto& v : values) row.push_back(v.Value);
        rows.push_back(row);
    }
    return rows;
}

struct Finding {
    double Id;
    std::string Prvok;
    TValue Cislo;
    std::string Chyba;
    bool operator==(const Finding&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Finding& f) {
    os << "{" << f.Id << ", " << f.Prvok << ", ";
    if (const double* d = std::get_if<double>(&f.Cislo)) os << *d;
    else os << "null";
    return os << ", " << f.Chyba << "}";
}

class DatabaseChecksTest : public ::testing::Test {
protected:
    void SetUp() override {
        TErrorTable::CreateTemplate(dir_ / "Chyby.dbf");
        standardPath_ = dir_ / "StandardGXD.mdb";
        stdtest::BuildTestStandard(standardPath_, Extra());
        standard_ = std::make_unique<TBlkStandardGXD>(standardPath_, dir_ / "Chyby.dbf");
        OpenBlock("LE_100.blk");
    }
    virtual std::string Extra() { return ""; }
    void OpenBlock(const std::string& name) {
        blockDir_ = dir_ / name;
        testkit::WriteBlock(blockDir_, testkit::BlockSpec{});
        blk_ = std::make_unique<TBlk>();
        blk_->Open(blockDir_);
    }
    std::string Table(const std::string& name) { return (fs::path(blockDir_) / name).string(); }
    // The records of the working error table; attribute findings must carry no layer and kind.
    std::vector<Finding> Findings() {
        std::vector<Finding> out;
        TTableDBF t;
        t.SetTableName(standard_->ErrorTablePath());
        t.Open();
        for (t.First(); !t.Eof(); t.Next()) {
            EXPECT_EQ(t.FieldValue("Blok"), TValue(fs::path(blockDir_).filename().string()));
            EXPECT_TRUE(IsNull(t.FieldValue("Vrstva")));
            EXPECT_TRUE(IsNull(t.FieldValue("Druh")));
            out.push_back({std::get<double>(t.FieldValue("Id")), std::get<std::string>(t.FieldValue("Prvok")),
                           t.FieldValue("Cislo"), std::get<std::string>(t.FieldValue("Chyba"))});
        }
        return out;
    }
    // Every table the test standard asks for in layer LE, well formed, well filled.
    void WriteGoodTables() {
        // The standard tests point tables with qTestTyp, which reads TYP.
        WriteTable(Table("b0005.dbf"), {C("OZNAC", 10), F("VYSKA", 8, 1), N("Cislo", 10, 0), C("TYP", 5)},
                   {{std::string("x"), 1.5, 1.0, std::string("A")}});
        WriteTable(Table("l0001.dbf"), {N("Cislo", 10, 0), C("TYP", 5)},
                   {{1.0, std::string("A")}, {2.0, std::string("C")}});
        WriteTable(Table("p0010.dbf"), {C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM"), N("Cislo", 10, 0)},
                   {{std::string("1A"), 2.5, TDate{2004, 6, 5}, 7.0}});
    }

    testkit::TempDir dir_;
    std::string standardPath_;
    std::unique_ptr<TBlkStandardGXD> standard_;
    std::string blockDir_;
    std::unique_ptr<TBlk> blk_;
};

const Finding kMissingB{-92, "B", std::monostate{}, "DB b0005.dbf neexistuje"};
const Finding kMissingL{-91, "L", std::monostate{}, "DB l0001.dbf neexistuje"};
const Finding kMissingP{-93, "P", std::monostate{}, "DB p0010.dbf neexistuje"};

} // namespace

TEST_F(DatabaseChecksTest, ListsTablesAndDefinitionsOfALayer) {
    EXPECT_EQ(standard_->ListAttributeTables("LE"),
              (std::vector<std::string>{"b0005.dbf", "l0001.dbf", "p0010.dbf"}));
    EXPECT_EQ(standard_->ListAttributeTables("po_7.blk"), (std::vector<std::string>{"p0010.dbf"}));
    EXPECT_TRUE(standard_->ListAttributeTables("HR").empty());
    // Date width and character decimals normalised as the table layer makes fields.
    EXPECT_EQ(standard_->GetAttributeDefs("PO", egArea, 10),
              (TFldDefList{C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM")}));
    EXPECT_EQ(standard_->GetAttributeDefs("LE", egPoint, 5), (TFldDefList{C("OZNAC", 10), F("VYSKA", 8, 1)}));
    EXPECT_TRUE(standard_->GetAttributeDefs("HR", egArea, 10).empty());
    EXPECT_TRUE(standard_->GetAttributeDefs("LE", egText, 5).empty());
}

TEST_F(DatabaseChecksTest, NothingIsLookedForInALayerWithoutDefinitions) {
    OpenBlock("HR_1.blk");
    EXPECT_EQ(standard_->CheckDatabases(*blk_, 15), 0);
    EXPECT_TRUE(Findings().empty());
    EXPECT_EQ(standard_->CheckDatabases(*blk_, 0), 0);
}

TEST_F(DatabaseChecksTest, MissingTablesAreReportedWhateverTheBits) {
    for (std::uint16_t options : {1, 2, 4, 8, 15}) {
        standard_->ResetErrorTable();
        EXPECT_EQ(standard_->CheckDatabases(*blk_, options), 3) << options;
        EXPECT_EQ(Findings(), (std::vector<Finding>{kMissingB, kMissingL, kMissingP})) << options;
        EXPECT_FALSE(standard_->ErrorTable().Active());
    }
    // Names are found whatever their letter case on disk.
    WriteTable(Table("L0001.DBF"), {N("Cislo", 10, 0), C("TYP", 5)}, {});
    standard_->ResetErrorTable();
    EXPECT_EQ(standard_->CheckDatabases(*blk_, 1), 2);
    EXPECT_EQ(Findings(), (std::vector<Finding>{kMissingB, kMissingP}));
    EXPECT_EQ(standard_->CurrentDbfPath(), Table("L0001.DBF"));
}

TEST_F(DatabaseChecksTest, WellFilledTablesGiveNoFindings) {
    WriteGoodTables();
    EXPECT_EQ(standard_->CheckDatabases(*blk_, 1), 0);
    EXPECT_TRUE(Findings().empty());
    EXPECT_EQ(standard_->CurrentDbfPath(), Table("p0010.dbf"));
    EXPECT_FALSE(standard_->Database().TableExists("TestTab"));
}

TEST_F(DatabaseChecksTest, StructureIsValidWithExtraFieldsAndWithARightFieldAfterAWrongOne) {
    WriteTable(Table("b0005.dbf"), {N("Cislo", 10, 0), C("OZNAC", 10), C("POZN", 30), F("VYSKA", 8, 1), C("TYP", 1)},
               {});
    // Two fields named TYP: the table layer makes no such table, so the second name is patched in.
    WriteTable(Table("l0001.dbf"), {C("TYP", 4), N("Cislo", 10, 0), C("TYX", 5)}, {});
    auto bytes = testkit::ReadFileBytes(Table("l0001.dbf"));
    const std::string raw(bytes.begin(), bytes.end());
    ASSERT_NE(raw.find("TYX"), std::string::npos);
    bytes[raw.find("TYX") + 2] = 'P';
    testkit::WriteFileBytes(Table("l0001.dbf"), bytes);
    ASSERT_EQ(FieldsOf(Table("l0001.dbf")), (TFldDefList{C("TYP", 4), N("Cislo", 10, 0), C("TYP", 5)}));
    WriteTable(Table("p0010.dbf"), {C("JPRL", 20), N("PLOCHA_HA", 12, 3), D("DATUM")}, {});
    EXPECT_EQ(standard_->CheckDatabases(*blk_, 1), 1);
    EXPECT_EQ(Findings(), (std::vector<Finding>{{-93, "P", std::monostate{}, "chybná DB štruktúra"}}));
}

TEST_F(DatabaseChecksTest, RepairWithoutTestIsSilentAndRepairedTablesAreValid) {
    WriteTable(Table("b0005.dbf"), {C("OZNAC", 6), N("Cislo", 10, 0), C("TYP", 5)},  // VYSKA missing
               {{std::string("abc"), 3.0, std::string("A")}});
    WriteTable(Table("l0001.dbf"), {N("Cislo", 10, 0), C("TYP", 3)}, {{4.0, std::string("B")}});
    WriteTable(Table("p0010.dbf"), {C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM"), N("Cislo", 10, 0)}, {});

    EXPECT_EQ(standard_->CheckDatabases(*blk_, 1), 2);
    EXPECT_EQ(Findings(), (std::vector<Finding>{{-92, "B", std::monostate{}, "chybná DB štruktúra"},
                                                {-91, "L", std::monostate{}, "chybná DB štruktúra"}}));

    standard_->ResetErrorTable();
    EXPECT_EQ(standard_->CheckDatabases(*blk_, 2), 0);  // repaired, nothing reported
    EXPECT_TRUE(Findings().empty());
    EXPECT_EQ(FieldsOf(Table("b0005.dbf")),
              (TFldDefList{C("OZNAC", 10), N("Cislo", 10, 0), C("TYP", 5), F("VYSKA", 8, 1)}));
    EXPECT_EQ(FieldsOf(Table("l0001.dbf")), (TFldDefList{N("Cislo", 10, 0), C("TYP", 5)}));
    EXPECT_EQ(RowsOf(Table("b0005.dbf")),
              (std::vector<Row>{{std::string("abc"), 3.0, std::string("A"), std::monostate{}}}));

    // Wrong again; repair and test together: repaired first, then found valid.
    WriteTable(Table("l0001.dbf"), {N("Cislo", 10, 0), C("TYP", 3)}, {{4.0, std::string("B")}});
    standard_->ResetErrorTable();
    EXPECT_EQ(standard_->CheckDatabases(*blk_, 3), 0);
    EXPECT_TRUE(Findings().empty());
}

TEST_F(DatabaseChecksTest, FullRepairLeavesExactlyTheStandardFieldsInOrderWithTheirValues) {
    WriteTable(Table("p0010.dbf"),
               {N("Cislo", 10, 0), C("POZN", 12), D("DATUM"), C("jprl", 8), N("PLOCHA_HA", 9, 1), L("OK")},
               {{5.0, std::string("poznámka"), TDate{2020, 1, 31}, std::string("12b"), 3.5, true},
                {6.0, std::monostate{}, std::monostate{}, std::string("7"), 0.5, false}});
    standard_->FixStructure("LE", egArea, 10, true, false, false);  // no table under work yet
    EXPECT_EQ(FieldsOf(Table("p0010.dbf")).size(), 6u);

    EXPECT_EQ(standard_->CheckDatabases(*blk_, 2 | 4 | 8), 2);  // the two missing tables
    EXPECT_EQ(FieldsOf(Table("p0010.dbf")), (TFldDefList{C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM")}));
    EXPECT_EQ(RowsOf(Table("p0010.dbf")),
              (std::vector<Row>{{std::string("12b"), 3.5, TDate{2020, 1, 31}}, {std::string("7"), 0.5, std::monostate{}}}));

    // Only moving the standard's fields to the front, then only deleting the others.
    WriteTable(Table("p0010.dbf"), {N("Cislo", 10, 0), D("DATUM"), C("X", 2), C("JPRL", 20)},
               {{1.0, TDate{2001, 2, 3}, std::string("x"), std::string("j")}});
    standard_->FixStructure("LE", egArea, 10, false, true, false);
    EXPECT_EQ(FieldsOf(Table("p0010.dbf")), (TFldDefList{C("JPRL", 20), N("Cislo", 10, 0), D("DATUM"), C("X", 2)}));
    standard_->FixStructure("LE", egArea, 10, false, false, true);
    EXPECT_EQ(FieldsOf(Table("p0010.dbf")), (TFldDefList{C("JPRL", 20), D("DATUM")}));
    EXPECT_EQ(RowsOf(Table("p0010.dbf")), (std::vector<Row>{{std::string("j"), TDate{2001, 2, 3}}}));
}

TEST_F(DatabaseChecksTest, BadlyFilledRowsAreReportedOnceEachInTextOrder) {
    WriteGoodTables();
    WriteTable(Table("l0001.dbf"), {N("Cislo", 10, 0), C("TYP", 5)},
               {{9.0, std::string("X")}, {10.0, std::string("x")}, {2.0, std::string("b")}, {11.0, std::monostate{}},
                {100.0, std::string("Z")}, {std::monostate{}, std::string("Y")}});
    EXPECT_EQ(standard_->CheckDatabases(*blk_, 1), 4);
    // A row without a number is reported too, with a blank number; then the numbers as texts.
    EXPECT_EQ(Findings(), (std::vector<Finding>{{-91, "L", std::monostate{}, "zle vyplnený DB záznam"},
                                                {-91, "L", 10.0, "zle vyplnený DB záznam"},
                                                {-91, "L", 100.0, "zle vyplnený DB záznam"},
                                                {-91, "L", 9.0, "zle vyplnený DB záznam"}}));
    // The list itself, for the table of line kind 1.
    standard_->CheckDatabases(*blk_, 0);
    std::vector<std::string> numbers{"stale"};
    EXPECT_EQ(standard_->CurrentDbfPath(), Table("p0010.dbf"));
    EXPECT_TRUE(standard_->TestFill("LE", egArea, numbers, 10));
    EXPECT_TRUE(numbers.empty());
}

TEST_F(DatabaseChecksTest, SavedQueriesChangeTheFileKeepingItsCodePageAndDeletedRows) {
    WriteGoodTables();
    const std::string path = Table("p0010.dbf");
    WriteTable(path, {C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM"), N("Cislo", 10, 0), C("POZN", 10)},
               {{std::string(" 12a "), std::monostate{}, TDate{2004, 6, 5}, 1.0, std::string("čaša")},
                {std::string("zmazaný"), 1.0, std::monostate{}, 2.0, std::string("x")},
                {std::string("ok"), 4.0, std::monostate{}, 3.0, std::monostate{}},
                {std::monostate{}, -1.0, std::monostate{}, 4.0, std::string("ž")}},
               852);
    {
        TTableDBF t;
        t.SetTableName(path);
        t.Open();
        t.First();
        t.Next();
        t.DeleteCurrent();  // record 2
    }
    EXPECT_EQ(standard_->CheckDatabases(*blk_, 1), 2);
    EXPECT_EQ(Findings(), (std::vector<Finding>{{-93, "P", 1.0, "zle vyplnený DB záznam"},
                                                {-93, "P", 4.0, "zle vyplnený DB záznam"}}));
    // qFmtJprl trimmed and upper-cased, qGenPlocha filled the empty area with 0.
    EXPECT_EQ(RowsOf(path),
              (std::vector<Row>{{std::string("12A"), 0.0, TDate{2004, 6, 5}, 1.0, std::string("čaša")},
                                {std::string("OK"), 4.0, std::monostate{}, 3.0, std::monostate{}},
                                {std::monostate{}, -1.0, std::monostate{}, 4.0, std::string("ž")}}));
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    EXPECT_EQ(t.CodePage(), 852);
    EXPECT_EQ(t.RecordCount(), 4);
    EXPECT_EQ(t.VisibleCount(), 3);
    t.Close();
    const auto bytes = testkit::ReadFileBytes(path);
    const std::string raw(bytes.begin(), bytes.end());
    EXPECT_NE(raw.find("*" + FromUtf8("zmazaný", 852)), std::string::npos);  // the deleted row as it was
}

TEST_F(DatabaseChecksTest, AFailingSavedQueryEndsTheRunAndLeavesTheTableIntact) {
    WriteGoodTables();
    standard_->Database().ExecuteNative(
        "update Dotazy set SQL = 'UPDATE TestTab SET TestTab.PLOCHA_HA = 1 WHERE TestTab.NEZNAMA = 1' "
        "where Nazov = 'qGenPlocha'");
    WriteTable(Table("p0010.dbf"), {C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM"), N("Cislo", 10, 0)},
               {{std::string(" 12a "), std::monostate{}, std::monostate{}, 1.0}});
    WriteTable(Table("l0001.dbf"), {N("Cislo", 10, 0), C("TYP", 5)}, {{3.0, std::string("Q")}});
    const auto before = testkit::ReadFileBytes(Table("p0010.dbf"));
    try {
        standard_->CheckDatabases(*blk_, 1);
        FAIL() << "the run must end";
    } catch (const EAccessDbError& e) {
        EXPECT_EQ(std::string(e.what()), "Saved query failed: no such column: TestTab.NEZNAMA\r(qGenPlocha)");
    }
    EXPECT_EQ(testkit::ReadFileBytes(Table("p0010.dbf")), before);  // qFmtJprl's change is not written either
    EXPECT_FALSE(standard_->Database().TableExists("TestTab"));
    EXPECT_FALSE(standard_->ErrorTable().Active());
    EXPECT_EQ(Findings(), (std::vector<Finding>{{-91, "L", 3.0, "zle vyplnený DB záznam"}}));  // written before stay

    // A test query that is not there.
    standard_->Database().ExecuteNative("delete from Dotazy where Nazov = 'qTestTyp'");
    standard_->ResetErrorTable();
    try {
        standard_->CheckDatabases(*blk_, 1);
        FAIL() << "the run must end";
    } catch (const EAccessDbError& e) {
        EXPECT_EQ(std::string(e.what()), "Saved query failed: no such table: qTestTyp\r(qTestTyp)");
    }
    EXPECT_EQ(standard_->CurrentDbfPath(), Table("b0005.dbf"));
    EXPECT_FALSE(standard_->Database().TableExists("TestTab"));
}

namespace {

// Two rows of one table naming one test query.
class DatabaseChecksSharedTestTest : public DatabaseChecksTest {
protected:
    std::string Extra() override {
        return "insert into DBAtrib values ('L', 1, 'LE', 'TYP2', 'C', 5, 0, 2, NULL, NULL, 'qTestTyp');";
    }
};

} // namespace

TEST_F(DatabaseChecksSharedTestTest, TwoRowsNamingOneTestQueryReportEachNumberOnce) {
    WriteGoodTables();
    WriteTable(Table("l0001.dbf"), {N("Cislo", 10, 0), C("TYP", 5), C("TYP2", 5)},
               {{5.0, std::string("Q"), std::string("A")}, {6.0, std::string("B"), std::string("A")}});
    EXPECT_EQ(standard_->CheckDatabases(*blk_, 1), 1);
    EXPECT_EQ(Findings(), (std::vector<Finding>{{-91, "L", 5.0, "zle vyplnený DB záznam"}}));
}

TEST(DatabaseChecksJet, SavedQueriesOfTheJetStandardRunOnTheTable) {
    testkit::TempDir dir;
    TErrorTable::CreateTemplate(dir / "Chyby.dbf");
    TBlkStandardGXD standard(stdtest::DataFile("StandardGXD.mdb"), dir / "Chyby.dbf");
    const std::string block = dir / "PO_5.blk";
    testkit::WriteBlock(block, testkit::BlockSpec{});
    TBlk blk;
    blk.Open(block);
    const std::string path = (fs::path(block) / "p0010.dbf").string();
    WriteTable(path, {N("Cislo", 10, 0), C("JPRL", 20), N("PLOCHA_HA", 12, 2), D("DATUM")},
               {{1.0, std::string(" 3b "), 2.0, std::monostate{}},
                {2.0, std::string(""), std::monostate{}, std::monostate{}},
                {3.0, std::string("x"), -1.0, TDate{1999, 12, 31}}});
    EXPECT_EQ(standard.CheckDatabases(blk, 3), 2);
    EXPECT_EQ(RowsOf(path), (std::vector<Row>{{1.0, std::string("3B"), 2.0, std::monostate{}},
                                              {2.0, std::monostate{}, 0.0, std::monostate{}},
                                              {3.0, std::string("X"), -1.0, TDate{1999, 12, 31}}}));
    TTableDBF t;
    t.SetTableName(standard.ErrorTablePath());
    t.Open();
    std::vector<double> numbers;
    for (t.First(); !t.Eof(); t.Next()) numbers.push_back(std::get<double>(t.FieldValue("Cislo")));
    EXPECT_EQ(numbers, (std::vector<double>{2, 3}));
}

TEST(DatabaseChecksSample, SavedQueriesOfTheSampleStandardRun) {
    testkit::TempDir dir;
    TBlkStandardGXD standard(stdtest::BinFile("StandardGXD.mdb"), stdtest::BinFile("Chyby.dbf"));
    const fs::path block = dir.Path() / "LE_2.blk";
    testkit::WriteBlock(block, testkit::BlockSpec{});
    TBlk blk;
    blk.Open(block.string());
    auto table = [&](const std::string& name) { return (block / name).string(); };
    EXPECT_EQ(standard.ListAttributeTables("LE"),
              (std::vector<std::string>{"b0001.dbf", "l0001.dbf", "l0021.dbf", "l0030.dbf", "p0001.dbf", "p0002.dbf"}));
    WriteTable(table("b0001.dbf"), {N("Cislo", 10, 0), C("CISLOKAM", 8), L("OVERENY")},
               {{6.0, std::string("K-1234"), std::monostate{}}, {7.0, std::string("12"), true}});
    WriteTable(table("l0001.dbf"), {N("Cislo", 10, 0), C("TYP_HRAN", 2)},
               {{1.0, std::string("ph")}, {2.0, std::string("XX")}});
    WriteTable(table("l0021.dbf"), {N("Cislo", 10, 0), C("TRIEDA", 2), F("SIRKA", 6, 1)},
               {{3.0, std::string("1l"), 3.0}, {4.0, std::string("4L"), 2.0}});
    WriteTable(table("l0030.dbf"), {N("Cislo", 10, 0), C("NAZOV", 40), C("POVODIE", 12)},
               {{5.0, std::string("  hron "), std::string("Dunaj")}});
    WriteTable(table("p0001.dbf"),
               {N("Cislo", 10, 0), C("PORAST", 10), N("PLOCHA", 12, 4), C("DREVINA", 4), N("VEK", 3, 0), D("DATUM")},
               {{8.0, std::string(" 12a "), std::monostate{}, std::string("bk"), 50.0, std::monostate{}},
                {9.0, std::string("x1"), 5.5, std::string("XY"), 250.0, TDate{2010, 5, 1}}});
    WriteTable(table("p0002.dbf"), {N("Cislo", 10, 0), C("PORAST", 10), N("PLOCHA", 12, 4)},
               {{10.0, std::string("3"), 1.0}});

    EXPECT_EQ(standard.CheckDatabases(blk, 1 | 2), 5);
    TTableDBF errors;
    errors.SetTableName(standard.ErrorTablePath());
    errors.Open();
    std::vector<std::pair<double, double>> findings;
    for (errors.First(); !errors.Eof(); errors.Next())
        findings.emplace_back(std::get<double>(errors.FieldValue("Id")), std::get<double>(errors.FieldValue("Cislo")));
    EXPECT_EQ(findings, (std::vector<std::pair<double, double>>{{-92, 7}, {-91, 2}, {-91, 4}, {-93, 8}, {-93, 9}}));

    EXPECT_EQ(RowsOf(table("b0001.dbf"))[0][2], TValue(false));
    EXPECT_EQ(RowsOf(table("l0001.dbf"))[0][1], TValue(std::string("PH")));
    EXPECT_EQ(RowsOf(table("l0021.dbf"))[0][1], TValue(std::string("1L")));
    EXPECT_EQ(RowsOf(table("l0030.dbf"))[0][1], TValue(std::string("Hron")));
    EXPECT_EQ(RowsOf(table("p0001.dbf"))[0],
              (Row{8.0, std::string("12A"), 0.0, std::string("BK"), 50.0, std::monostate{}}));
}
