// What the standard's saved queries change in TestTab is written back into the
// attribute table, and nothing else: a query that leaves the values as they were
// leaves the file alone, however many rows it touches.
#include "StandardTestSupport.h"
#include "access/AccessDb.h"
#include "access/AccessSql.h"
#include "dbase/TableDBF.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>

using namespace vexa;
using namespace vexa::stdtest;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

class TestTabWriteBack : public ::testing::Test {
protected:
    void SetUp() override {
        TErrorTable::CreateTemplate(dir_ / "Chyby.dbf");
        BuildTestStandard(dir_ / "StandardGXD.mdb");
        standard_ = std::make_unique<TBlkStandardGXD>(dir_ / "StandardGXD.mdb", dir_ / "Chyby.dbf");
        path_ = dir_ / "p0010.dbf";
    }
    // The usual table: five rows, one of them deleted.
    void WriteUsualTable() {
        WriteTable(path_, {N("Cislo", 10), C("JPRL", 12), N("PLOCHA", 10, 2), D("DATUM"), L("OK")},
                   {{1.0, "AB"s, 1.5, TDate{2004, 6, 5}, true},
                    {2.0, "cd"s, {}, {}, false},
                    {3.0, "zmazaný"s, 3.0, {}, {}},
                    {4.0, "ef"s, 0.25, TDate{1999, 12, 31}, {}},
                    {5.0, {}, 7.0, {}, true}});
        TTableDBF t;
        t.SetTableName(path_);
        t.Open();
        t.First();
        t.Next();
        t.Next();
        t.DeleteCurrent();  // record 3
    }
    // Runs saved queries (each under the guard, as the checks run them) and writes the table back.
    void Run(const std::vector<std::string>& sqls) {
        standard_->LinkTestTable(path_);
        for (const std::string& sql : sqls) {
            const std::string name = "qWb" + std::to_string(++queries_);
            standard_->Database().ExecuteNative("insert into Dotazy values (:n, :s)", {{"n", name}, {"s", sql}});
            standard_->Database().ExecuteSaved(name);
        }
        standard_->SaveTestTable();
        standard_->UnlinkTestTable();
    }
    std::vector<unsigned char> Bytes() const { return testkit::ReadFileBytes(path_); }
    ino_t Inode() const {
        struct stat st {};
        EXPECT_EQ(::stat(path_.c_str(), &st), 0);
        return st.st_ino;
    }

    testkit::TempDir dir_;
    std::unique_ptr<TBlkStandardGXD> standard_;
    std::string path_;
    int queries_ = 0;
};

}  // namespace

TEST_F(TestTabWriteBack, QueriesThatLeaveEveryValueAsItWasLeaveTheFileAlone) {
    WriteUsualTable();
    const auto before = Bytes();
    const ino_t inode = Inode();
    Run({"UPDATE TestTab SET JPRL = JPRL, PLOCHA = PLOCHA, DATUM = DATUM, OK = OK, Cislo = Cislo",
         // changed, then changed back
         "UPDATE TestTab SET PLOCHA = 0 WHERE PLOCHA Is Null",
         "UPDATE TestTab SET PLOCHA = Null WHERE Cislo = 2",
         "UPDATE TestTab SET JPRL = UCase(JPRL) WHERE Cislo In (1, 5)",
         "UPDATE TestTab SET PLOCHA = 1.50 WHERE Cislo = 1",
         "UPDATE TestTab SET PLOCHA = 7 WHERE Cislo = 5",
         // other values that read back as the same: a logical 1 is true as -1 is, a date with its midnight
         "UPDATE TestTab SET OK = 1 WHERE Cislo = 1",
         "UPDATE TestTab SET DATUM = '2004-06-05 00:00:00' WHERE Cislo = 1"});
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(Inode(), inode);  // not even rewritten with the same bytes
}

TEST_F(TestTabWriteBack, ChangedInsertedAndDeletedRowsAreWrittenAndNothingElse) {
    WriteUsualTable();
    Run({// record 4 differs only in letter case: TestTab compares text ignoring case, the file does not
         "UPDATE TestTab SET JPRL = UCase(JPRL)",
         "UPDATE TestTab SET PLOCHA = 2.25, OK = False WHERE Cislo = 1",
         "UPDATE TestTab SET DATUM = #2020-02-29#, PLOCHA = Null WHERE Cislo = 5",
         "DELETE FROM TestTab WHERE Cislo = 2",
         "INSERT INTO TestTab (Cislo, JPRL, PLOCHA) VALUES (6, 'nový', 12.5)",
         "INSERT INTO TestTab (Cislo, JPRL) VALUES (7, 'x')"});
    EXPECT_EQ(RowsOf(path_), (std::vector<Row>{{1.0, "AB"s, 2.25, TDate{2004, 6, 5}, false},
                                               {4.0, "EF"s, 0.25, TDate{1999, 12, 31}, {}},
                                               {5.0, {}, {}, TDate{2020, 2, 29}, true},
                                               {6.0, "nový"s, 12.5, {}, {}},
                                               {7.0, "x"s, {}, {}, {}}}));
    TTableDBF t;
    t.SetTableName(path_);
    t.Open();
    EXPECT_EQ(t.RecordCount(), 7);  // the deleted records stay in the file, the new ones follow
    t.Close();
    const auto bytes = Bytes();
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("*         3"), std::string::npos);    // the record deleted before
    EXPECT_NE(text.find("*         2cd"), std::string::npos);  // changed, then deleted by a query: as it was
}

TEST_F(TestTabWriteBack, ARowMovedToAnotherNumberAndAWholeTableDeleted) {
    WriteUsualTable();
    Run({"UPDATE TestTab SET rowid = 100 WHERE Cislo = 4"});
    // The row left record 4 and came back as a new record after the others.
    EXPECT_EQ(RowsOf(path_, {"Cislo"}), (std::vector<Row>{{1.0}, {2.0}, {5.0}, {4.0}}));

    Run({"DELETE FROM TestTab"});
    EXPECT_TRUE(RowsOf(path_).empty());
    TTableDBF t;
    t.SetTableName(path_);
    t.Open();
    EXPECT_EQ(t.RecordCount(), 6);
}

TEST_F(TestTabWriteBack, ATestTabMadeAnewIsWrittenBackRowForRow) {
    // A statement of the query tool may put another table in TestTab's place.
    WriteUsualTable();
    standard_->LinkTestTable(path_);
    standard_->Database().ExecuteNative(
        "alter table TestTab rename to Stara; "
        "create table TestTab (Cislo NUMERIC, JPRL TEXT COLLATE NOCASE, PLOCHA NUMERIC, DATUM TEXT, OK INTEGER); "
        "insert into TestTab (rowid, Cislo, JPRL, PLOCHA, DATUM, OK) "
        "select rowid, Cislo, JPRL, PLOCHA, DATUM, OK from Stara where Cislo <> 1; "
        "update TestTab set PLOCHA = 9 where Cislo = 5");
    standard_->SaveTestTable();
    standard_->UnlinkTestTable();
    EXPECT_EQ(RowsOf(path_, {"Cislo", "PLOCHA"}), (std::vector<Row>{{2.0, {}}, {4.0, 0.25}, {5.0, 9.0}}));
}

TEST_F(TestTabWriteBack, AValueThatTestTabCannotHoldIsWrittenAsTestTabHoldsIt) {
    // "nan" in a number field reads as a number that SQLite keeps as null: the row is
    // written back with the field blank although no query touched it, as the full
    // comparison always did.
    WriteTable(path_, {N("Cislo", 10), N("V", 5)}, {{1.0, 2.0}, {2.0, 3.0}});
    std::vector<unsigned char> bytes = Bytes();
    const std::size_t header = bytes[8] | (bytes[9] << 8);
    const std::size_t record = bytes[10] | (bytes[11] << 8);
    const std::string nan = "  nan";
    std::copy(nan.begin(), nan.end(), bytes.begin() + static_cast<std::ptrdiff_t>(header + record + 1 + 10));
    std::ofstream(path_, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(std::isnan(std::get<double>(RowsOf(path_)[1][1])));

    Run({"UPDATE TestTab SET V = V"});
    EXPECT_EQ(RowsOf(path_), (std::vector<Row>{{1.0, 2.0}, {2.0, {}}}));
}

TEST_F(TestTabWriteBack, TheFirstOfTwoFieldsOfOneNameIsTheColumnAndTheSecondStaysAsItIs) {
    fs::copy_file(fs::path(VEXA_TEST_DATA) / "dbf-real" / "infused_dbase_03.dbf", path_);
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
    const auto before = Bytes();
    Run({"UPDATE TestTab SET Point_ID = Point_ID"});
    EXPECT_EQ(Bytes(), before);

    TTableDBF t;
    t.SetTableName(path_);
    t.Open();
    TFldValList first;
    t.GetValues(first);
    t.Close();
    std::vector<std::size_t> ids;
    for (std::size_t i = 0; i < first.size(); ++i)
        if (first[i].Name == "Point_ID") ids.push_back(i);
    ASSERT_EQ(ids.size(), 2u);
    ASSERT_EQ(first[ids[0]].Value, TValue("0507121"s));

    Run({"UPDATE TestTab SET Point_ID = 'P-' & Point_ID WHERE Point_ID = '0507121'"});
    t.Open();
    TFldValList after;
    t.GetValues(after);
    EXPECT_EQ(after[ids[0]].Value, TValue("P-" + std::get<std::string>(first[ids[0]].Value)));
    EXPECT_EQ(after[ids[1]].Value, first[ids[1]].Value);
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (i != ids[0]) {
            EXPECT_EQ(after[i], first[i]) << i;
        }
    }
}

TEST_F(TestTabWriteBack, MemoTextsAreReadOnly) {
    fs::copy_file(fs::path(VEXA_TEST_DATA) / "dbf-real" / "infused_dbase_83.dbf", path_);
    fs::copy_file(fs::path(VEXA_TEST_DATA) / "dbf-real" / "infused_dbase_83.dbt",
                  dir_ / "p0010.dbt");
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
    const auto before = Bytes();
    Run({"UPDATE TestTab SET [DESC] = [DESC]"});  // the same text is no change
    EXPECT_EQ(Bytes(), before);

    try {
        Run({"UPDATE TestTab SET [DESC] = [DESC] & '!' WHERE ID = 87"});
        ADD_FAILURE() << "a changed memo text was accepted";
    } catch (const EAccessDbError& e) {
        EXPECT_EQ(std::string(e.what()), "Memo pole DESC nemožno meniť dotazom.\r(" + path_ + ")");
    }
    standard_->UnlinkTestTable();
    EXPECT_EQ(Bytes(), before);
}

TEST_F(TestTabWriteBack, EveryRowOfALargeTableIsInTestTabUnderItsRecordNumber) {
    // Tables of few and of many fields (fewer rows go into one insert), with deleted records among the rows.
    for (const int extra : {1, 130}) {
        SCOPED_TRACE(extra);
        TFldDefList fields{N("Cislo", 10), C("JPRL", 12)};
        for (int f = 0; f < extra; ++f) fields.push_back(N("V" + std::to_string(f), 4));
        std::vector<Row> rows;
        for (int r = 1; r <= 1003; ++r) {
            Row row{static_cast<double>(r), "R" + std::to_string(r)};
            for (int f = 0; f < extra; ++f) row.push_back(static_cast<double>((r + f) % 1000));
            rows.push_back(row);
        }
        fs::remove(path_);
        WriteTable(path_, fields, rows);
        TTableDBF t;
        t.SetTableName(path_);
        t.Open();
        int deleted = 0;
        for (t.First(); !t.Eof();) {
            if (t.RecNo() % 7 == 0) {
                t.DeleteCurrent();
                ++deleted;
            } else {
                t.Next();
            }
        }
        t.Close();
        const auto before = Bytes();

        standard_->LinkTestTable(path_);
        TAccessDb& db = standard_->Database();
        const int kept = 1003 - deleted;
        EXPECT_EQ(db.Select("select Count(*), Sum(Cislo) from TestTab").Rows,
                  (std::vector<TDbRow>{{kept, 1003 * 1004 / 2 - 7 * (143 * 144 / 2)}}));
        EXPECT_EQ(db.Select("select Count(*) from TestTab where rowid <> Cislo or JPRL <> 'R' & Cislo").Rows,
                  (std::vector<TDbRow>{{0}}));
        const std::string last = "V" + std::to_string(extra - 1);
        EXPECT_EQ(db.Select("select " + last + " from TestTab where rowid = 1002").Rows,
                  (std::vector<TDbRow>{{static_cast<std::int64_t>((1002 + extra - 1) % 1000)}}));
        standard_->UnlinkTestTable();

        Run({"UPDATE TestTab SET JPRL = UCase(JPRL), Cislo = Cislo + 0"});
        EXPECT_EQ(Bytes(), before);
        Run({"UPDATE TestTab SET JPRL = LCase(JPRL) WHERE Cislo = 1000"});
        EXPECT_EQ(RowsOf(path_, {"JPRL"})[static_cast<std::size_t>(1000 - 1000 / 7 - 1)], (Row{"r1000"s}));
        EXPECT_EQ(RowsOf(path_).size(), static_cast<std::size_t>(kept));
    }
}
