// Creating tables, appending and reading rows, code pages, navigation,
// filtering and deleting rows of TTableDBF.
#include "DbfTestUtil.h"
#include "kit/BlockKit.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace vexa {
namespace {

using namespace dbftest;
using testkit::TempDir;

TFldDefList ErrorFields() {
    return {{"Id", TFldType::dbfNumeric, 4, 0},   {"Blok", TFldType::dbfChar, 40, 0},
            {"Vrstva", TFldType::dbfChar, 2, 0},  {"Prvok", TFldType::dbfChar, 1, 0},
            {"Druh", TFldType::dbfNumeric, 6, 0}, {"Cislo", TFldType::dbfNumeric, 11, 0},
            {"Chyba", TFldType::dbfChar, 254, 0}};
}

// A row of the error table of block "A.blk", layer "A", kind 1.
std::vector<TValue> Finding(double id, const char* element, double number, const char* text = "x") {
    return {id, std::string("A.blk"), std::string("A"), std::string(element), 1.0, number, std::string(text)};
}

class TableRows : public ::testing::Test {
protected:
    TempDir Dir;
    std::string Path = Dir / "t.dbf";
    // A table of Cislo N(5) with the numbers given.
    void MakeNumbers(std::vector<double> numbers) {
        std::vector<std::vector<TValue>> rows;
        for (double n : numbers) rows.push_back({n});
        MakeTable(Path, {Def("Cislo", TFldType::dbfNumeric, 5)}, rows);
    }
};

TEST_F(TableRows, CreateTableWritesAnEmptyTableWithTheFieldsAndCodePage1250) {
    TTableDBF::CreateTable(Path, ErrorFields());
    std::string bytes = ReadFileText(Path);
    ASSERT_GE(bytes.size(), 32u + 7 * 32 + 1);
    EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0xC8);   // language driver of code page 1250
    EXPECT_EQ(bytes[4] | bytes[5] | bytes[6] | bytes[7], 0);  // no records
    TTableDBF t;
    t.SetTableName(Path);
    TFldDefList fields;
    t.GetFields(fields);
    EXPECT_EQ(fields, ErrorFields());
    t.Open();
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.RecNo(), 0);
    EXPECT_EQ(t.CodePage(), 1250);
}

TEST_F(TableRows, AppendedRowsReadBackInColumnOrderWithNullsStoredAsBlanks) {
    MakeTable(Path, ErrorFields(),
              {{-11.0, std::string("LE_12345.blk"), std::string("LE"), std::string("L"), 3.0, 17.0,
                std::string("neprípustný druh vo vrstve")},
               {-91.0, std::string("LE_12345.blk"), TValue{}, std::string("L"), TValue{}, TValue{},
                std::string("DB l0012.dbf neexistuje")}});
    const std::vector<TFldValList> expected = {{{"Id", -11.0},
                                                {"Blok", std::string("LE_12345.blk")},
                                                {"Vrstva", std::string("LE")},
                                                {"Prvok", std::string("L")},
                                                {"Druh", 3.0},
                                                {"Cislo", 17.0},
                                                {"Chyba", std::string("neprípustný druh vo vrstve")}},
                                               {{"Id", -91.0},
                                                {"Blok", std::string("LE_12345.blk")},
                                                {"Vrstva", TValue{}},
                                                {"Prvok", std::string("L")},
                                                {"Druh", TValue{}},
                                                {"Cislo", TValue{}},
                                                {"Chyba", std::string("DB l0012.dbf neexistuje")}}};
    EXPECT_EQ(AllRows(Path), expected);
    std::string second = Record(ReadFileText(Path), 1);
    EXPECT_EQ(second.substr(0, 5), "  -91");                    // numbers right-aligned
    EXPECT_EQ(second.substr(1 + 4 + 40, 2), "  ");              // Vrstva
    EXPECT_EQ(second.substr(1 + 4 + 40 + 2 + 1, 6), "      ");  // Druh
}

TEST_F(TableRows, AppendRecordCutsLongTextsAndRefusesValuesThatCannotBeStored) {
    TTableDBF::CreateTable(Path, {Def("Txt", TFldType::dbfChar, 5), Def("Num", TFldType::dbfNumeric, 4, 1)});
    auto t = Opened(Path);
    t->AppendRecord({std::string("ľščťžýáíé"), 12.34});
    EXPECT_EQ(t->FieldValue("Txt"), TValue(std::string("ľščťž")));
    EXPECT_EQ(t->FieldValue("num"), TValue(12.3));
    EXPECT_THROW(t->AppendRecord({std::string("x"), 123.0}), EDbfException);  // "123.0" needs 5
    EXPECT_THROW(t->AppendRecord({std::string("x"), std::string("abc")}), EDbfException);
    EXPECT_THROW(t->AppendRecord({std::string("x"), 1.0, 2.0}), EDbfException);  // too many values
    EXPECT_EQ(t->RecordCount(), 1);                                              // refused values wrote nothing
    t->AppendRecord({std::string("y")});                                         // missing trailing values are blank
    EXPECT_EQ(t->RecordCount(), 2);
    EXPECT_TRUE(IsNull(t->FieldValue("Num")));
}

TEST_F(TableRows, LogicalDateAndFloatValuesRoundTrip) {
    MakeTable(
        Path, {Def("L", TFldType::dbfLogical), Def("D", TFldType::dbfDate), Def("F", TFldType::dbfFloat, 12, 4)},
        {{true, TDate{2024, 2, 29}, -0.125}, {false, TValue{}, 1234567.0}, {TValue{}, TDate{1999, 12, 31}, TValue{}}});
    EXPECT_EQ(Column(Path, "L"), (std::vector<TValue>{true, false, TValue{}}));
    EXPECT_EQ(Column(Path, "D"), (std::vector<TValue>{TDate{2024, 2, 29}, TValue{}, TDate{1999, 12, 31}}));
    EXPECT_EQ(Column(Path, "F"), (std::vector<TValue>{-0.125, 1234567.0, TValue{}}));
    EXPECT_THROW(Opened(Path)->AppendRecord({true, TDate{2023, 2, 29}}), EDbfException);  // no such day
}

TEST_F(TableRows, Cp1250TextRoundTripsAndIsStoredAsCp1250Bytes) {
    MakeTable(Path, {Def("Nazov", TFldType::dbfChar, 20)}, {{std::string("ľščťžýáíé")}});
    EXPECT_EQ(Column(Path, "Nazov"), std::vector<TValue>{std::string("ľščťžýáíé")});
    EXPECT_EQ(Record(ReadFileText(Path), 0).substr(1, 9), "\xBE\x9A\xE8\x9D\x9E\xFD\xE1\xED\xE9");
}

TEST_F(TableRows, AnotherLanguageDriverIsHonoured) {
    MakeTable(Path, {Def("Nazov", TFldType::dbfChar, 20)}, {{std::string("čšž")}}, 852);
    std::string bytes = ReadFileText(Path);
    EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0x64);
    EXPECT_EQ(Record(bytes, 0).substr(1, 3), "\x9F\xE7\xA7");  // č š ž in code page 852
    auto t = Opened(Path);
    EXPECT_EQ(t->CodePage(), 852);
    EXPECT_EQ(t->FieldValue("Nazov"), TValue(std::string("čšž")));
    // The same bytes under the 1250 driver read differently: the byte decides.
    bytes[29] = static_cast<char>(0xC8);
    WriteFileText(Path, bytes);
    t->Refresh();
    EXPECT_EQ(t->CodePage(), 1250);
    EXPECT_NE(t->FieldValue("Nazov"), TValue(std::string("čšž")));
    EXPECT_THROW(TTableDBF::CreateTable(Dir / "x.dbf", {Def("A", TFldType::dbfChar, 1)}, 12345), EDbfException);
}

TEST_F(TableRows, NavigationOverRowsWithDeletedRowsSkipped) {
    MakeNumbers({1, 2, 3, 4});
    auto t = Opened(Path);
    ASSERT_EQ(t->RecNo(), 1);
    t->Next();
    t->DeleteCurrent();  // moves to the next row
    EXPECT_EQ(t->RecNo(), 3);
    EXPECT_EQ(t->FieldValue("Cislo"), TValue(3.0));
    EXPECT_EQ(t->RecordCount(), 4);
    EXPECT_EQ(t->VisibleCount(), 3);
    t->Next();
    EXPECT_FALSE(t->Eof());
    EXPECT_EQ(t->RecNo(), 4);
    t->Next();  // past the last row: it stays current
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(t->RecNo(), 4);
    t->DeleteCurrent();  // the last row: the new last one becomes current
    EXPECT_EQ(t->RecNo(), 3);
    t->First();
    EXPECT_FALSE(t->Eof());
    EXPECT_EQ(t->RecNo(), 1);
    t->Next();
    t->Next();
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(t->RecNo(), 3);
    t->Close();
    // The deletions are in the file for every other reader.
    EXPECT_EQ(Column(Path, "Cislo"), (std::vector<TValue>{1.0, 3.0}));
    std::string bytes = ReadFileText(Path);
    EXPECT_EQ(Record(bytes, 1)[0], '*');
    EXPECT_EQ(Record(bytes, 3)[0], '*');
    t->Open();
    t->DeleteCurrent();
    t->DeleteCurrent();
    EXPECT_EQ(t->VisibleCount(), 0);
    EXPECT_TRUE(t->Eof());
    EXPECT_THROW(t->DeleteCurrent(), EDbfException);
}

// Many rows at once (the error browser's rows selected): one pass, the others untouched.
TEST_F(TableRows, DeleteRecordsMarksManyRowsAndKeepsTheCurrentOne) {
    MakeNumbers({1, 2, 3, 4, 5, 6, 7});
    auto t = Opened(Path);
    t->Next();
    t->Next();  // record 3 current
    t->DeleteRecords({2, 6, 6, 0, 99, -1});  // twice, none and outside the file: passed over
    EXPECT_EQ(t->VisibleCount(), 5);
    EXPECT_EQ(t->RecNo(), 3) << "the current row stays";
    t->DeleteRecords({3, 4});  // the current row goes: the next one left becomes current
    EXPECT_EQ(t->RecNo(), 5);
    EXPECT_EQ(t->FieldValue("Cislo"), TValue(5.0));
    t->DeleteRecords({2, 3});  // already deleted: nothing changes
    EXPECT_EQ(t->VisibleCount(), 3);
    t->Next();
    t->Next();
    EXPECT_EQ(t->RecNo(), 7);
    t->DeleteRecords({7});  // the last row: the new last one becomes current
    EXPECT_EQ(t->RecNo(), 5);
    t->Close();
    EXPECT_EQ(Column(Path, "Cislo"), (std::vector<TValue>{1.0, 5.0}));
    const std::string bytes = ReadFileText(Path);
    for (int rec : {1, 2, 3, 5, 6}) EXPECT_EQ(Record(bytes, rec)[0], '*') << rec;
    for (int rec : {0, 4}) EXPECT_EQ(Record(bytes, rec)[0], ' ') << rec;
    // Every row gone: no row is current.
    t->Open();
    t->DeleteRecords({1, 5});
    EXPECT_EQ(t->VisibleCount(), 0);
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(t->RecNo(), 0);
}

// Under a filter: the rows named go whether the filter shows them or not.
TEST_F(TableRows, DeleteRecordsUnderAFilterKeepsTheFilteredRows) {
    MakeNumbers({1, 2, 1, 2});
    auto t = Opened(Path, "Cislo=1");
    ASSERT_EQ(t->VisibleCount(), 2);
    t->DeleteRecords({2, 3});
    EXPECT_EQ(t->VisibleCount(), 1);
    EXPECT_EQ(t->RecNo(), 1);
    t->SetFiltered(false);
    EXPECT_EQ(t->VisibleCount(), 2);
    t->Close();
    EXPECT_EQ(Column(Path, "Cislo"), (std::vector<TValue>{1.0, 2.0}));
}

TEST_F(TableRows, RefreshSeesAnotherWritersRowsAndKeepsTheCurrentRecord) {
    MakeNumbers({1, 2});
    auto reader = Opened(Path);
    reader->Next();
    Opened(Path)->AppendRecord({3.0});
    EXPECT_EQ(reader->RecordCount(), 2);
    reader->Refresh();
    EXPECT_EQ(reader->RecordCount(), 3);
    EXPECT_EQ(reader->RecNo(), 2);
    EXPECT_EQ(reader->FieldValue("Cislo"), TValue(2.0));
}

TEST_F(TableRows, FilterShowsOnlyMatchingRowsAndFollowsChanges) {
    MakeTable(Path, ErrorFields(),
              {Finding(-11, "L", 5), Finding(-73, "L", 6), Finding(-31, "B", 7), Finding(-73, "L", 8)});
    auto t = Opened(Path, "Prvok = 'L'");
    EXPECT_EQ(t->VisibleCount(), 3);
    EXPECT_EQ(t->RecordCount(), 4);
    t->SetFilter("Id = -73 and Prvok = 'L'");
    EXPECT_EQ(t->VisibleCount(), 2);
    EXPECT_EQ(t->RecNo(), 2);
    t->Next();
    EXPECT_EQ(t->RecNo(), 4);
    t->SetFilter("Cislo=7");
    EXPECT_EQ(t->RecNo(), 3);
    EXPECT_EQ(t->FieldValue("Prvok"), TValue(std::string("B")));
    t->SetFilter("Cislo=9");
    EXPECT_EQ(t->VisibleCount(), 0);
    EXPECT_TRUE(t->Eof());
    TFldValList values{{"x", 1.0}};
    t->GetValues(values);
    EXPECT_TRUE(values.empty());
    EXPECT_TRUE(IsNull(t->FieldValue("Prvok")));
    t->SetFiltered(false);
    EXPECT_EQ(t->VisibleCount(), 4);
    // A bad expression is refused and the previous filter stays in force.
    t->SetFiltered(true);
    EXPECT_THROW(t->SetFilter("Prvok <> 'L'"), EDbfFilterError);
    EXPECT_EQ(t->Filter(), "Cislo=9");
    EXPECT_EQ(t->VisibleCount(), 0);
    // Appended rows that pass the filter become visible at once.
    t->SetFilter("Prvok = 'T'");
    t->AppendRecord(Finding(-52, "T", 9));
    t->AppendRecord(Finding(-11, "L", 10));
    EXPECT_EQ(t->VisibleCount(), 1);
    EXPECT_EQ(t->RecNo(), 5);
}

TEST_F(TableRows, FilterErrorsOnOpenLeaveTheTableClosedAndABlankFilterKeepsEveryRow) {
    MakeTable(Path, {Def("Cislo", TFldType::dbfNumeric, 5), Def("Prvok", TFldType::dbfChar, 1)},
              {{1.0, std::string("L")}});
    for (const char* bad : {"Cislo = 1 or Cislo = 2", "Prvok = 5", "Nic = 1"}) {
        TTableDBF t;
        t.SetTableName(Path);
        t.SetFilter(bad);
        t.SetFiltered(true);
        EXPECT_THROW(t.Open(), EDbfFilterError) << bad;
        EXPECT_FALSE(t.Active()) << bad;
    }
    EXPECT_EQ(Opened(Path, "  ")->VisibleCount(), 1);
}

TEST_F(TableRows, OperationsOnAClosedTable) {
    TTableDBF t;
    TFldValList values{{"x", 1.0}};
    t.GetValues(values);
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(t.RecNo(), 0);
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_EQ(t.FieldCount(), 0);
    EXPECT_TRUE(t.Eof());
    EXPECT_THROW(t.Next(), EDbfException);
    EXPECT_THROW(t.AppendRecord({1.0}), EDbfException);
    EXPECT_THROW(t.DeleteCurrent(), EDbfException);
    EXPECT_THROW(t.FieldValue("x"), EDbfException);
}

TEST_F(TableRows, MissingAndDamagedTablesRaiseEngineErrors) {
    TTableDBF t;
    t.SetDatabaseName(Dir.Path().string());
    t.SetTableName("nic.dbf");
    EXPECT_EQ(MessageOf<EDbfEngineError>([&] { t.Open(); }), "Table does not exist.\r(" + (Dir / "nic.dbf") + ")");
    EXPECT_FALSE(t.Active());
    MakeNumbers({1, 2});
    std::string bytes = ReadFileText(Path);
    t.SetTableName("t.dbf");
    for (const std::string& damaged : {bytes.substr(0, bytes.size() - 8), std::string("not a table")}) {
        WriteFileText(Path, damaged);  // the second record cut off, or no table at all
        EXPECT_THROW(t.Open(), EDbfEngineError);
        EXPECT_FALSE(t.Active());
    }
}

TEST_F(TableRows, TableNamesAreFoundWhateverTheirLetterCase) {
    MakeTable(Dir / "L0012.DBF", {Def("Cislo", TFldType::dbfNumeric, 5)}, {{4.0}});
    TTableDBF t;
    t.SetDatabaseName(Dir.Path().string());
    t.SetTableName("l0012.dbf");
    t.Open();
    EXPECT_EQ(t.FieldValue("CISLO"), TValue(4.0));
    EXPECT_EQ(t.FilePath(), Dir / "L0012.DBF");
    t.Close();
    t.SetTableName("l0012");  // no extension: .dbf
    t.Open();
    EXPECT_TRUE(t.Active());
}

TEST_F(TableRows, AnOpenTableHoldsOffCreateTableOfOthers) {
    MakeNumbers({1});
    std::string before = ReadFileText(Path);
    auto holder = Opened(Path);
    EXPECT_EQ(MessageOf<EDbfTableInUse>([&] { TTableDBF::CreateTable(Path, {Def("A", TFldType::dbfChar, 3)}); }),
              "Table is in use by another user or process.\r(" + Path + ")");
    EXPECT_EQ(ReadFileText(Path), before);
    holder->Close();
    TTableDBF::CreateTable(Path, {Def("A", TFldType::dbfChar, 3)});
    EXPECT_EQ(FieldNames(Path), std::vector<std::string>{"A"});
}

TEST_F(TableRows, ReadOnlyTablesAreReadButNotWritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "file modes do not bind the super-user";
    MakeNumbers({1});
    std::filesystem::permissions(Path, std::filesystem::perms::owner_read);
    auto t = Opened(Path);
    EXPECT_EQ(t->FieldValue("Cislo"), TValue(1.0));
    EXPECT_THROW(t->AppendRecord({2.0}), EDbfEngineError);
    EXPECT_THROW(t->DeleteCurrent(), EDbfEngineError);
}

}  // namespace
}  // namespace vexa
