// Creating tables, appending and reading rows, code pages, navigation,
// filtering and deleting rows of TTableDBF.
#include "DbfTestUtil.h"
#include "kit/BlockKit.h"

#include "dbase/DbfIo.h"
#include "dbase/TableDBF.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <fcntl.h>
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

TEST(TableRows, CreateTableWritesAnEmptyTableWithTheFieldsAndCodePage1250) {
    TempDir dir;
    std::string path = dir / "Chyby.dbf";
    TTableDBF::CreateTable(path, ErrorFields());
    std::string bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 32u + 7 * 32 + 1);
    EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0xC8);  // language driver of code page 1250
    EXPECT_EQ(bytes[4] | bytes[5] | bytes[6] | bytes[7], 0);   // no records

    TTableDBF t;
    t.SetDatabaseName(dir.Path().string());
    t.SetTableName("Chyby.dbf");
    TFldDefList fields;
    t.GetFields(fields);
    TFldDefList expected = ErrorFields();
    EXPECT_EQ(fields, expected);
    EXPECT_FALSE(t.Active());
    t.Open();
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_TRUE(t.Eof());
    EXPECT_TRUE(t.Bof());
    EXPECT_EQ(t.RecNo(), 0);
    EXPECT_EQ(t.CodePage(), 1250);
}

TEST(TableRows, AppendedRowsReadBackInColumnOrderWithNullsForBlanks) {
    TempDir dir;
    std::string path = dir / "Chyby.dbf";
    MakeTable(path, ErrorFields(),
              {{-11.0, std::string("LE_12345.blk"), std::string("LE"), std::string("L"), 3.0, 17.0,
                std::string("neprípustný druh vo vrstve")},
               {-91.0, std::string("LE_12345.blk"), TValue{}, std::string("L"), TValue{}, TValue{},
                std::string("DB l0012.dbf neexistuje")}});
    auto rows = AllRows(path);
    ASSERT_EQ(rows.size(), 2u);
    TFldValList first = {{"Id", -11.0},
                         {"Blok", std::string("LE_12345.blk")},
                         {"Vrstva", std::string("LE")},
                         {"Prvok", std::string("L")},
                         {"Druh", 3.0},
                         {"Cislo", 17.0},
                         {"Chyba", std::string("neprípustný druh vo vrstve")}};
    EXPECT_EQ(rows[0], first);
    EXPECT_TRUE(IsNull(rows[1][2].Value));
    EXPECT_TRUE(IsNull(rows[1][4].Value));
    EXPECT_TRUE(IsNull(rows[1][5].Value));
    EXPECT_EQ(rows[1][6].Value, TValue(std::string("DB l0012.dbf neexistuje")));

    // Nulls are stored as blanks, numbers right-aligned.
    std::string bytes = ReadBytes(path);
    std::size_t header = static_cast<unsigned char>(bytes[8]) | (static_cast<unsigned char>(bytes[9]) << 8);
    std::size_t recLen = static_cast<unsigned char>(bytes[10]) | (static_cast<unsigned char>(bytes[11]) << 8);
    std::string second = bytes.substr(header + recLen, recLen);
    EXPECT_EQ(second.substr(0, 5), "  -91");
    EXPECT_EQ(second.substr(1 + 4 + 40, 2), "  ");         // Vrstva
    EXPECT_EQ(second.substr(1 + 4 + 40 + 2 + 1, 6), "      ");  // Druh
}

TEST(TableRows, AppendRecordCutsLongTextsAndRefusesNumbersThatDoNotFit) {
    TempDir dir;
    std::string path = dir / "t.dbf";
    TTableDBF::CreateTable(path, {{"Txt", TFldType::dbfChar, 5, 0}, {"Num", TFldType::dbfNumeric, 4, 1}});
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    t.AppendRecord({std::string("ľščťžýáíé"), 12.34});
    EXPECT_EQ(t.FieldValue("Txt"), TValue(std::string("ľščťž")));
    EXPECT_EQ(t.FieldValue("num"), TValue(12.3));
    EXPECT_THROW(t.AppendRecord({std::string("x"), 123.0}), EDbfException);   // "123.0" needs 5
    EXPECT_THROW(t.AppendRecord({std::string("x"), std::string("abc")}), EDbfException);
    EXPECT_THROW(t.AppendRecord({std::string("x"), 1.0, 2.0}), EDbfException);  // too many values
    EXPECT_EQ(t.RecordCount(), 1);  // refused values wrote nothing
    t.AppendRecord({std::string("y")});  // missing trailing values are blank
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_TRUE(IsNull(t.FieldValue("Num")));
}

TEST(TableRows, LogicalDateAndFloatValuesRoundTrip) {
    TempDir dir;
    std::string path = dir / "t.dbf";
    MakeTable(path,
              {{"L", TFldType::dbfLogical, 0, 0}, {"D", TFldType::dbfDate, 0, 0}, {"F", TFldType::dbfFloat, 12, 4}},
              {{true, TDate{2024, 2, 29}, -0.125}, {false, TValue{}, 1234567.0}, {TValue{}, TDate{1999, 12, 31}, TValue{}}});
    auto rows = AllRows(path);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0].Value, TValue(true));
    EXPECT_EQ(rows[0][1].Value, TValue(TDate{2024, 2, 29}));
    EXPECT_EQ(rows[0][2].Value, TValue(-0.125));
    EXPECT_EQ(rows[1][0].Value, TValue(false));
    EXPECT_TRUE(IsNull(rows[1][1].Value));
    EXPECT_EQ(rows[1][2].Value, TValue(1234567.0));
    EXPECT_TRUE(IsNull(rows[2][0].Value));
    EXPECT_EQ(rows[2][1].Value, TValue(TDate{1999, 12, 31}));
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    EXPECT_THROW(t.AppendRecord({true, TDate{2023, 2, 29}}), EDbfException);  // no such day
}

TEST(TableRows, Cp1250TextRoundTripsAndIsStoredAsCp1250Bytes) {
    TempDir dir;
    std::string path = dir / "t.dbf";
    MakeTable(path, {{"Nazov", TFldType::dbfChar, 20, 0}}, {{std::string("ľščťžýáíé")}});
    EXPECT_EQ(AllRows(path)[0][0].Value, TValue(std::string("ľščťžýáíé")));
    std::string bytes = ReadBytes(path);
    // ľ š č ť ž ý á í é in code page 1250
    EXPECT_NE(bytes.find("\xBE\x9A\xE8\x9D\x9E\xFD\xE1\xED\xE9"), std::string::npos);
}

TEST(TableRows, AnotherLanguageDriverIsHonoured) {
    TempDir dir;
    std::string path = dir / "t.dbf";
    MakeTable(path, {{"Nazov", TFldType::dbfChar, 20, 0}}, {{std::string("čšž")}}, 852);
    std::string bytes = ReadBytes(path);
    EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0x64);
    EXPECT_NE(bytes.find("\x9F\xE7\xA7"), std::string::npos);  // č š ž in code page 852
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    EXPECT_EQ(t.CodePage(), 852);
    EXPECT_EQ(t.FieldValue("Nazov"), TValue(std::string("čšž")));

    // The same bytes under the 1250 driver read differently: the byte decides.
    bytes[29] = static_cast<char>(0xC8);
    WriteBytes(path, bytes);
    t.Refresh();
    EXPECT_EQ(t.CodePage(), 1250);
    EXPECT_NE(t.FieldValue("Nazov"), TValue(std::string("čšž")));

    EXPECT_THROW(TTableDBF::CreateTable(dir / "x.dbf", {{"A", TFldType::dbfChar, 1, 0}}, 12345), EDbfException);
}

TEST(TableRows, NavigationOverRowsWithDeletedRowsSkipped) {
    TempDir dir;
    std::string path = dir / "t.dbf";
    MakeTable(path, {{"Cislo", TFldType::dbfNumeric, 5, 0}}, {{1.0}, {2.0}, {3.0}, {4.0}});
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    ASSERT_EQ(t.RecNo(), 1);
    t.Next();
    ASSERT_EQ(t.RecNo(), 2);
    t.DeleteCurrent();  // moves to the next row
    EXPECT_EQ(t.RecNo(), 3);
    EXPECT_EQ(t.FieldValue("Cislo"), TValue(3.0));
    EXPECT_EQ(t.RecordCount(), 4);
    EXPECT_EQ(t.VisibleCount(), 3);
    t.Last();
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.RecNo(), 4);
    t.DeleteCurrent();  // the last row: the new last one becomes current
    EXPECT_EQ(t.RecNo(), 3);
    t.First();
    EXPECT_TRUE(t.Bof());
    t.Prior();
    EXPECT_TRUE(t.Bof());
    EXPECT_EQ(t.RecNo(), 1);
    t.Next();
    t.Next();
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.RecNo(), 3);
    t.Close();

    // The deletions are in the file for every other reader.
    auto rows = AllRows(path);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0].Value, TValue(1.0));
    EXPECT_EQ(rows[1][0].Value, TValue(3.0));
    std::string bytes = ReadBytes(path);
    std::size_t header = static_cast<unsigned char>(bytes[8]) | (static_cast<unsigned char>(bytes[9]) << 8);
    EXPECT_EQ(bytes[header + 6], '*');      // second record (length 6)
    EXPECT_EQ(bytes[header + 3 * 6], '*');  // fourth record

    t.Open();
    t.DeleteCurrent();
    t.DeleteCurrent();
    EXPECT_EQ(t.VisibleCount(), 0);
    EXPECT_TRUE(t.Eof());
    EXPECT_THROW(t.DeleteCurrent(), EDbfException);
}

TEST(TableRows, RefreshSeesAnotherWritersRowsAndKeepsTheCurrentRecord) {
    TempDir dir;
    std::string path = dir / "t.dbf";
    MakeTable(path, {{"Cislo", TFldType::dbfNumeric, 5, 0}}, {{1.0}, {2.0}});
    TTableDBF reader;
    reader.SetTableName(path);
    reader.Open();
    reader.Next();
    {
        TTableDBF writer;
        writer.SetTableName(path);
        writer.Open();
        writer.AppendRecord({3.0});
    }
    EXPECT_EQ(reader.RecordCount(), 2);
    reader.Refresh();
    EXPECT_EQ(reader.RecordCount(), 3);
    EXPECT_EQ(reader.RecNo(), 2);
    EXPECT_EQ(reader.FieldValue("Cislo"), TValue(2.0));
}

TEST(TableRows, FilterShowsOnlyMatchingRowsAndFollowsChanges) {
    TempDir dir;
    std::string path = dir / "Chyby.DBF";
    MakeTable(path, ErrorFields(),
              {{-11.0, std::string("A.blk"), std::string("A"), std::string("L"), 1.0, 5.0, std::string("x")},
               {-73.0, std::string("A.blk"), std::string("A"), std::string("L"), 1.0, 6.0, std::string("y")},
               {-31.0, std::string("A.blk"), std::string("A"), std::string("B"), 1.0, 7.0, std::string("z")},
               {-73.0, std::string("A.blk"), std::string("A"), std::string("L"), 1.0, 8.0, std::string("w")}});
    TTableDBF t;
    t.SetDatabaseName(dir.Path().string());
    t.SetTableName("Chyby.DBF");
    t.SetFilter("Prvok = 'L'");
    t.SetFiltered(true);
    t.Open();
    EXPECT_EQ(t.VisibleCount(), 3);
    EXPECT_EQ(t.RecordCount(), 4);
    t.SetFilter("Id = -73 and Prvok = 'L'");
    EXPECT_EQ(t.VisibleCount(), 2);
    EXPECT_EQ(t.RecNo(), 2);
    t.Next();
    EXPECT_EQ(t.RecNo(), 4);
    t.SetFilter("Cislo=7");
    EXPECT_EQ(t.RecNo(), 3);
    EXPECT_EQ(t.FieldValue("Prvok"), TValue(std::string("B")));
    t.SetFilter("Cislo=9");
    EXPECT_EQ(t.VisibleCount(), 0);
    EXPECT_TRUE(t.Eof());
    TFldValList values;
    t.GetValues(values);
    EXPECT_TRUE(values.empty());
    EXPECT_TRUE(IsNull(t.FieldValue("Prvok")));
    t.SetFiltered(false);
    EXPECT_EQ(t.VisibleCount(), 4);
    // A bad expression is refused and the previous filter stays in force.
    t.SetFiltered(true);
    EXPECT_THROW(t.SetFilter("Prvok <> 'L'"), EDbfFilterError);
    EXPECT_EQ(t.Filter(), "Cislo=9");
    EXPECT_EQ(t.VisibleCount(), 0);
    // Appended rows that pass the filter become visible at once.
    t.SetFilter("Prvok = 'T'");
    t.AppendRecord({-52.0, std::string("A.blk"), std::string("A"), std::string("T"), 1.0, 9.0, std::string("v")});
    t.AppendRecord({-11.0, std::string("A.blk"), std::string("A"), std::string("L"), 1.0, 10.0, std::string("u")});
    EXPECT_EQ(t.VisibleCount(), 1);
    EXPECT_EQ(t.RecNo(), 5);
}

TEST(TableRows, FilterErrorsOnOpenLeaveTheTableClosed) {
    TempDir dir;
    std::string path = dir / "t.dbf";
    MakeTable(path, {{"Cislo", TFldType::dbfNumeric, 5, 0}, {"Prvok", TFldType::dbfChar, 1, 0}}, {{1.0, std::string("L")}});
    for (const char* bad : {"Cislo", "Cislo = ", "Cislo = 'x'", "Prvok = 5", "Nic = 1", "Cislo = 1 or Cislo = 2",
                            "Cislo = 1 and", "Prvok = 'L", "Cislo == 1", "Cislo = 1.2.3"}) {
        TTableDBF t;
        t.SetTableName(path);
        t.SetFilter(bad);
        t.SetFiltered(true);
        EXPECT_THROW(t.Open(), EDbfFilterError) << bad;
        EXPECT_FALSE(t.Active()) << bad;
    }
    TTableDBF t;
    t.SetTableName(path);
    t.SetFilter("  ");
    t.SetFiltered(true);
    t.Open();  // a blank filter keeps every row
    EXPECT_EQ(t.VisibleCount(), 1);
}

TEST(TableRows, OperationsOnAClosedTable) {
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

TEST(TableRows, MissingAndDamagedTablesRaiseEngineErrors) {
    TempDir dir;
    TTableDBF t;
    t.SetDatabaseName(dir.Path().string());
    t.SetTableName("nic.dbf");
    try {
        t.Open();
        FAIL() << "no exception";
    } catch (const EDbfEngineError& e) {
        EXPECT_EQ(e.Message(), "Table does not exist.\r(" + (dir / "nic.dbf") + ")");
    }
    EXPECT_FALSE(t.Active());

    std::string path = dir / "bad.dbf";
    MakeTable(path, {{"Cislo", TFldType::dbfNumeric, 5, 0}}, {{1.0}, {2.0}});
    std::string bytes = ReadBytes(path);
    WriteBytes(path, bytes.substr(0, bytes.size() - 8));  // second record cut off
    t.SetTableName("bad.dbf");
    EXPECT_THROW(t.Open(), EDbfEngineError);
    EXPECT_FALSE(t.Active());
    WriteBytes(path, "not a table");
    EXPECT_THROW(t.Open(), EDbfEngineError);
}

TEST(TableRows, TableNamesAreFoundWhateverTheirLetterCase) {
    TempDir dir;
    MakeTable(dir / "L0012.DBF", {{"Cislo", TFldType::dbfNumeric, 5, 0}}, {{4.0}});
    TTableDBF t;
    t.SetDatabaseName(dir.Path().string());
    t.SetTableName("l0012.dbf");
    t.Open();
    EXPECT_EQ(t.FieldValue("CISLO"), TValue(4.0));
    EXPECT_EQ(t.FilePath(), dir / "L0012.DBF");
    t.Close();
    t.SetTableName("l0012");  // no extension: .dbf
    t.Open();
    EXPECT_TRUE(t.Active());
}

TEST(TableRows, AnOpenTableHoldsOffRewritesAndCreateTableOfOthers) {
    TempDir dir;
    std::string path = dir / "t.dbf";
    MakeTable(path, {{"Cislo", TFldType::dbfNumeric, 5, 0}}, {{1.0}});
    std::string before = ReadBytes(path);
    TTableDBF holder;
    holder.SetTableName(path);
    holder.Open();
    try {
        TTableDBF::CreateTable(path, {{"A", TFldType::dbfChar, 3, 0}});
        FAIL() << "no exception";
    } catch (const EDbfTableInUse& e) {
        EXPECT_EQ(e.Message(), "Table is in use by another user or process.\r(" + path + ")");
    }
    EXPECT_EQ(ReadBytes(path), before);
    holder.Close();
    TTableDBF::CreateTable(path, {{"A", TFldType::dbfChar, 3, 0}});
    EXPECT_EQ(FieldNames(path), std::vector<std::string>{"A"});
}

TEST(TableRows, ReadOnlyTablesAreReadButNotWritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "file modes do not bind the super-user";
    TempDir dir;
    std::string path = dir / "t.dbf";
    MakeTable(path, {{"Cislo", TFldType::dbfNumeric, 5, 0}}, {{1.0}});
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    EXPECT_EQ(t.FieldValue("Cislo"), TValue(1.0));
    EXPECT_THROW(t.AppendRecord({2.0}), EDbfEngineError);
    EXPECT_THROW(t.DeleteCurrent(), EDbfEngineError);
}

} // namespace
} // namespace vexa
