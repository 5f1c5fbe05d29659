// The schema editor of TTableDBF: field definitions, adding, deleting,
// moving and altering fields by rewriting the table, and rewrites that fail.
#include "DbfTestUtil.h"
#include "kit/BlockKit.h"

#include "dbase/DbfIo.h"
#include "dbase/TableDBF.h"

#include <gtest/gtest.h>
#include <shapefil.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace vexa {
namespace {

using namespace dbftest;
using testkit::TempDir;

TFldDef Def(const char* name, TFldType type, int width = 0, int decimals = 0) {
    return TFldDef{name, type, width, decimals};
}

// --- definitions without a table ---------------------------------------------

TEST(TableSchema, MakeFieldClampsWidthAndDecimals) {
    EXPECT_EQ(TTableDBF::MakeField("A", TFldType::dbfChar, 0, 3), Def("A", TFldType::dbfChar, 50, 0));
    EXPECT_EQ(TTableDBF::MakeField("A", TFldType::dbfNumeric, 0, 5), Def("A", TFldType::dbfNumeric, 15, 5));
    EXPECT_EQ(TTableDBF::MakeField("A", TFldType::dbfNumeric, 25, 30), Def("A", TFldType::dbfNumeric, 20, 16));
    EXPECT_EQ(TTableDBF::MakeField("A", TFldType::dbfFloat, 5, 4), Def("A", TFldType::dbfFloat, 5, 3));
    EXPECT_EQ(TTableDBF::MakeField("A", TFldType::dbfDate, 8, 0), Def("A", TFldType::dbfDate, 0, 0));
    EXPECT_EQ(TTableDBF::MakeField("A", TFldType::dbfChar, 300, 0), Def("A", TFldType::dbfChar, 254, 0));
    EXPECT_EQ(TTableDBF::MakeField("A", TFldType::dbfLogical, 1, 2), Def("A", TFldType::dbfLogical, 0, 0));
    EXPECT_EQ(TTableDBF::MakeField("A", TFldType::dbfNumeric, 10, -4), Def("A", TFldType::dbfNumeric, 10, 0));
    // Fields too narrow for a decimal point keep no decimals (never a negative count).
    EXPECT_EQ(TTableDBF::MakeField("A", TFldType::dbfNumeric, 1, 3), Def("A", TFldType::dbfNumeric, 1, 0));
    EXPECT_EQ(TTableDBF::MakeField("A", TFldType::dbfNumeric, 2, 1), Def("A", TFldType::dbfNumeric, 2, 0));
    EXPECT_EQ(TTableDBF::NormalizeField(Def("A", TFldType::dbfFloat, 30, 0)), Def("A", TFldType::dbfFloat, 20, 0));
}

TEST(TableSchema, NamesAreCutToTenCharacters) {
    EXPECT_EQ(TTableDBF::MakeField("ABCDEFGHIJKL", TFldType::dbfChar, 5, 0).Name, "ABCDEFGHIJ");
    EXPECT_EQ(TTableDBF::MakeField("ľščťžýáíéúô", TFldType::dbfChar, 5, 0).Name, "ľščťžýáíéú");
    EXPECT_EQ(TTableDBF::FieldToDesc(Def("ABCDEFGHIJKL", TFldType::dbfChar, 5)).szName, "ABCDEFGHIJ");
}

TEST(TableSchema, TypeLettersAndDescriptorConversions) {
    EXPECT_EQ(TTableDBF::TypeFromChar('c'), TFldType::dbfChar);
    EXPECT_EQ(TTableDBF::TypeFromChar('N'), TFldType::dbfNumeric);
    EXPECT_EQ(TTableDBF::TypeFromChar('f'), TFldType::dbfFloat);
    EXPECT_EQ(TTableDBF::TypeFromChar('L'), TFldType::dbfLogical);
    EXPECT_EQ(TTableDBF::TypeFromChar('d'), TFldType::dbfDate);
    try {
        TTableDBF::TypeFromChar('M');
        FAIL() << "no exception";
    } catch (const EDbfException& e) {
        EXPECT_EQ(e.Message(), "Only C, N, F, L, D fields supported.");
    }

    FLDDesc n = TTableDBF::FieldToDesc(Def("Plocha", TFldType::dbfNumeric, 12, 3));
    EXPECT_EQ(n, (FLDDesc{0, "Plocha", 0x202, 12, 3}));
    EXPECT_EQ(TTableDBF::FieldToDesc(Def("Txt", TFldType::dbfChar, 30, 2)), (FLDDesc{0, "Txt", 0x201, 30, 0}));
    EXPECT_EQ(TTableDBF::FieldToDesc(Def("Dat", TFldType::dbfDate, 8, 0)), (FLDDesc{0, "Dat", 0x205, 0, 0}));
    EXPECT_EQ(TTableDBF::FieldToDesc(Def("F", TFldType::dbfFloat, 8, 2)).iFldType, 0x206);
    EXPECT_EQ(TTableDBF::FieldToDesc(Def("L", TFldType::dbfLogical)).iFldType, 0x204);
    EXPECT_EQ(TTableDBF::DescToField(FLDDesc{3, "Dat", 0x205, 8, 0}), Def("Dat", TFldType::dbfDate));
    EXPECT_EQ(TTableDBF::DescToField(FLDDesc{1, "Txt", 0x201, 30, 4}), Def("Txt", TFldType::dbfChar, 30));
    EXPECT_EQ(TTableDBF::DescToField(FLDDesc{1, "Num", 0x206, 9, 4}), Def("Num", TFldType::dbfFloat, 9, 4));
    EXPECT_THROW(TTableDBF::DescToField(FLDDesc{1, "Memo", 0x203, 10, 0}), EDbfException);
}

// --- a table to edit -----------------------------------------------------------

class SchemaTable : public ::testing::Test {
protected:
    TempDir Dir;
    std::string Path = Dir / "p0007.dbf";

    void SetUp() override {
        MakeTable(Path,
                  {Def("A", TFldType::dbfChar, 10), Def("B", TFldType::dbfNumeric, 8, 2),
                   Def("C", TFldType::dbfLogical), Def("D", TFldType::dbfDate)},
                  {{std::string("prvý"), 12.5, true, TDate{2001, 2, 3}},
                   {std::string("druhý"), -3.25, false, TValue{}},
                   {std::string("tretí"), TValue{}, TValue{}, TDate{1999, 1, 1}}});
    }

    // A table object for the file, optionally open.
    std::unique_ptr<TTableDBF> Table(bool open) {
        auto t = std::make_unique<TTableDBF>();
        t->SetDatabaseName(Dir.Path().string());
        t->SetTableName("p0007.dbf");
        if (open) t->OpenTable();
        return t;
    }

    std::vector<TValue> Column(const std::string& name) {
        std::vector<TValue> out;
        for (const auto& row : AllRows(Path))
            for (const auto& v : row)
                if (v.Name == name) out.push_back(v.Value);
        return out;
    }
};

TEST_F(SchemaTable, GetFieldsReportsDefinitionsWithZeroWidthForLogicalAndDate) {
    auto t = Table(false);
    TFldDefList fields;
    t->GetFields(fields);
    TFldDefList expected = {Def("A", TFldType::dbfChar, 10), Def("B", TFldType::dbfNumeric, 8, 2),
                            Def("C", TFldType::dbfLogical), Def("D", TFldType::dbfDate)};
    EXPECT_EQ(fields, expected);
    EXPECT_FALSE(t->Active());
    TFldDescList descs;
    t->GetFieldDescs(descs);
    ASSERT_EQ(descs.size(), 4u);
    EXPECT_EQ(descs[2], (FLDDesc{3, "C", 0x204, 1, 0}));  // physical widths of the file
    EXPECT_EQ(descs[3], (FLDDesc{4, "D", 0x205, 8, 0}));
}

TEST_F(SchemaTable, FieldIndexNeedsAnOpenTableAndIgnoresCaseAndCutsNames) {
    auto t = Table(false);
    EXPECT_EQ(t->FieldIndex("A"), -1);  // closed: no field list
    t->OpenTable();
    EXPECT_EQ(t->FieldIndex("A"), 0);
    EXPECT_EQ(t->FieldIndex("d"), 3);
    EXPECT_EQ(t->FieldIndex("X"), -1);
    t->AddField(Def("DLHENAZOV12", TFldType::dbfChar, 4));
    EXPECT_EQ(t->FieldIndex("DLHENAZOVXYZ"), -1);
    EXPECT_EQ(t->FieldIndex("DLHENAZOV1"), 4);
    EXPECT_EQ(t->FieldIndex("DLHENAZOV"), -1);
    EXPECT_EQ(t->FieldIndex("dlhenazov12"), 4);  // the twelve characters are cut to ten
}

TEST_F(SchemaTable, MoveFieldReordersAndCarriesValues) {
    auto t = Table(false);
    t->MoveField(3, 1);
    EXPECT_EQ(FieldNames(Path), (std::vector<std::string>{"A", "D", "B", "C"}));
    EXPECT_EQ(Column("D"), (std::vector<TValue>{TDate{2001, 2, 3}, TValue{}, TDate{1999, 1, 1}}));
    EXPECT_EQ(Column("B"), (std::vector<TValue>{12.5, -3.25, TValue{}}));
    t->MoveField(1, 3);
    EXPECT_EQ(FieldNames(Path), (std::vector<std::string>{"A", "B", "C", "D"}));
    t->MoveField(1, 3);
    EXPECT_EQ(FieldNames(Path), (std::vector<std::string>{"A", "C", "D", "B"}));
    EXPECT_EQ(Column("C"), (std::vector<TValue>{true, false, TValue{}}));
    std::string before = ReadBytes(Path);
    t->MoveField(2, 2);
    t->MoveField(-1, 2);
    t->MoveField(0, 4);
    EXPECT_EQ(ReadBytes(Path), before);  // nothing happens for these
}

TEST_F(SchemaTable, AddAndDeleteKeepTheOtherColumnsValues) {
    auto t = Table(true);
    t->AddField(TTableDBF::MakeField("Nove", TFldType::dbfNumeric, 5, 0));
    EXPECT_TRUE(t->Active());
    EXPECT_EQ(t->FieldCount(), 5);
    EXPECT_EQ(Column("Nove"), (std::vector<TValue>{TValue{}, TValue{}, TValue{}}));
    EXPECT_EQ(Column("A"), (std::vector<TValue>{std::string("prvý"), std::string("druhý"), std::string("tretí")}));
    t->DeleteField(1);
    EXPECT_EQ(FieldNames(Path), (std::vector<std::string>{"A", "C", "D", "Nove"}));
    EXPECT_EQ(Column("C"), (std::vector<TValue>{true, false, TValue{}}));
    EXPECT_EQ(Column("D"), (std::vector<TValue>{TDate{2001, 2, 3}, TValue{}, TDate{1999, 1, 1}}));
    std::string before = ReadBytes(Path);
    t->DeleteField(4);
    t->DeleteField(-1);
    t->ModifyField(7, "X", TFldType::dbfChar, 3, 0);
    EXPECT_EQ(ReadBytes(Path), before);
    // A name that another field has is refused and nothing changes.
    EXPECT_THROW(t->AddField(Def("c", TFldType::dbfChar, 3)), EDbfException);
    EXPECT_THROW(t->ModifyField(0, "NOVE", TFldType::dbfChar, 3, 0), EDbfException);
    EXPECT_EQ(ReadBytes(Path), before);
    EXPECT_TRUE(t->Active());
}

TEST_F(SchemaTable, EditsLeaveTheTableOpenOrClosedAsTheyFoundIt) {
    auto open = Table(true);
    open->SetFilter("A = 'druhý'");
    open->SetFiltered(true);
    open->ModifyField(0, "A", TFldType::dbfChar, 20, 0);
    EXPECT_TRUE(open->Active());
    EXPECT_EQ(open->VisibleCount(), 1);  // the filter still applies
    EXPECT_EQ(open->FieldValue("B"), TValue(-3.25));
    open->Close();

    auto closed = Table(false);
    closed->AddField(Def("E", TFldType::dbfChar, 2));
    EXPECT_FALSE(closed->Active());
    closed->DeleteField(4);
    EXPECT_FALSE(closed->Active());
    closed->MoveField(0, 1);
    EXPECT_FALSE(closed->Active());
}

TEST_F(SchemaTable, ModifyNumberToTextWritesTheNumbersDigits) {
    Table(false)->ModifyField(1, "B", TFldType::dbfChar, 6, 0);
    EXPECT_EQ(Column("B"), (std::vector<TValue>{std::string("12.50"), std::string("-3.25"), TValue{}}));
    // A number that does not fit the new text width is left out rather than cut.
    MakeTable(Path, {Def("N", TFldType::dbfNumeric, 10, 2)}, {{1234567.89}, {1.5}});
    Table(false)->ModifyField(0, "N", TFldType::dbfChar, 4, 0);
    EXPECT_EQ(Column("N"), (std::vector<TValue>{TValue{}, std::string("1.50")}));
}

TEST_F(SchemaTable, ModifyTextToNumberKeepsNumbersAndNullsTheRest) {
    MakeTable(Path, {Def("T", TFldType::dbfChar, 12)},
              {{std::string("12.345")}, {std::string("abc")}, {std::string(" -7 ")}, {TValue{}}, {std::string("1,5")},
               {std::string("123456")}});
    Table(false)->ModifyField(0, "T", TFldType::dbfNumeric, 6, 2);
    EXPECT_EQ(Column("T"), (std::vector<TValue>{12.35, TValue{}, -7.0, TValue{}, TValue{}, TValue{}}));
    TFldDefList fields;
    Table(false)->GetFields(fields);
    EXPECT_EQ(fields, TFldDefList{Def("T", TFldType::dbfNumeric, 6, 2)});
}

TEST_F(SchemaTable, ModifyDecimalsRoundsHalfAwayFromZero) {
    MakeTable(Path, {Def("N", TFldType::dbfNumeric, 10, 3)}, {{2.675}, {-2.675}, {0.125}, {2.5}, {99999.999}});
    Table(false)->ModifyField(0, "N", TFldType::dbfNumeric, 10, 2);
    EXPECT_EQ(Column("N"), (std::vector<TValue>{2.68, -2.68, 0.13, 2.5, 100000.0}));
    Table(false)->ModifyField(0, "N", TFldType::dbfNumeric, 6, 0);
    // 100000 needs six characters and fits; the rest round to integers
    EXPECT_EQ(Column("N"), (std::vector<TValue>{3.0, -3.0, 0.0, 3.0, 100000.0}));
    Table(false)->ModifyField(0, "N", TFldType::dbfNumeric, 5, 0);
    EXPECT_EQ(Column("N"), (std::vector<TValue>{3.0, -3.0, 0.0, 3.0, TValue{}}));  // too wide: null
    std::string bytes = ReadBytes(Path);
    EXPECT_EQ(bytes.find("*****"), std::string::npos);
}

TEST_F(SchemaTable, ModifyBetweenLogicalDateAndText) {
    auto t = Table(false);
    t->ModifyField(2, "C", TFldType::dbfChar, 1, 0);
    t->ModifyField(3, "D", TFldType::dbfChar, 10, 0);
    EXPECT_EQ(Column("C"), (std::vector<TValue>{std::string("T"), std::string("F"), TValue{}}));
    EXPECT_EQ(Column("D"), (std::vector<TValue>{std::string("2001-02-03"), TValue{}, std::string("1999-01-01")}));
    t->ModifyField(2, "C", TFldType::dbfLogical, 0, 0);
    t->ModifyField(3, "D", TFldType::dbfDate, 0, 0);
    EXPECT_EQ(Column("C"), (std::vector<TValue>{true, false, TValue{}}));
    EXPECT_EQ(Column("D"), (std::vector<TValue>{TDate{2001, 2, 3}, TValue{}, TDate{1999, 1, 1}}));
    t->ModifyField(0, "A", TFldType::dbfDate, 0, 0);  // words are no dates
    EXPECT_EQ(Column("A"), (std::vector<TValue>{TValue{}, TValue{}, TValue{}}));
}

TEST_F(SchemaTable, TextCutToANarrowerWidth) {
    Table(false)->ModifyField(0, "Kratke", TFldType::dbfChar, 3, 0);
    EXPECT_EQ(Column("Kratke"), (std::vector<TValue>{std::string("prv"), std::string("dru"), std::string("tre")}));
}

TEST_F(SchemaTable, DeletedRowsStayDeletedAndTheCodePageByteIsKept) {
    MakeTable(Path, {Def("T", TFldType::dbfChar, 8)},
              {{std::string("žltý")}, {std::string("zmazaný")}, {std::string("tretí")}}, 852);
    {
        auto t = Table(true);
        t->Next();
        t->DeleteCurrent();
    }
    Table(false)->AddField(Def("N", TFldType::dbfNumeric, 3));
    std::string bytes = ReadBytes(Path);
    EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0x64);
    auto t = Table(true);
    EXPECT_EQ(t->RecordCount(), 3);
    EXPECT_EQ(t->VisibleCount(), 2);
    EXPECT_EQ(t->FieldValue("T"), TValue(std::string("žltý")));
    t->Next();
    EXPECT_EQ(t->RecNo(), 3);
    EXPECT_EQ(t->FieldValue("T"), TValue(std::string("tretí")));
}

TEST_F(SchemaTable, RestructureRefusesInvalidDescriptorsWithoutTouchingTheFile) {
    std::string before = ReadBytes(Path);
    auto t = Table(false);
    TFldDescList descs;
    t->GetFieldDescs(descs);
    auto refuse = [&](TFldDescList d, TOpType ops) {
        EXPECT_THROW(t->Restructure(d, ops), EDbfException);
        EXPECT_EQ(ReadBytes(Path), before);
    };
    refuse(descs, TOpType(3, opKeep));                 // lists differ
    refuse({}, {});                                    // no field left
    refuse({FLDDesc{9, "A", 0x201, 10, 0}}, {opKeep}); // no such source field
    refuse({FLDDesc{0, "M", 0x203, 10, 0}}, {opAdd});  // memo cannot be added
    refuse({FLDDesc{1, "A", 0x201, 300, 0}}, {opModify});
    refuse({FLDDesc{2, "B", 0x202, 8, 7}}, {opModify});
    refuse({FLDDesc{1, "A", 0x201, 10, 0}}, {7});
    refuse({FLDDesc{1, "", 0x201, 10, 0}}, {opKeep});
    EXPECT_FALSE(t->Active());
}

TEST(TableSchemaOpen, OpenTableOnAMissingDirectoryStaysClosedQuietly) {
    TempDir dir;
    TTableDBF t;
    t.SetDatabaseName((dir.Path() / "nie je").string());
    t.SetTableName("l0001.dbf");
    EXPECT_NO_THROW(t.OpenTable());
    EXPECT_FALSE(t.Active());
    EXPECT_THROW(t.CheckDbf(), EDbfException);
    TFldDescList descs{FLDDesc{}};
    t.GetFieldDescs(descs);
    EXPECT_TRUE(descs.empty());
    t.AddField(Def("A", TFldType::dbfChar, 3));  // nothing to add to
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "nie je"));
}

TEST(TableSchemaOpen, CheckDbfAndCheckDbfFile) {
    TempDir dir;
    MakeTable(dir / "l0001.dbf", {Def("A", TFldType::dbfChar, 3)}, {});
    TTableDBF t;
    t.SetDatabaseName(dir.Path().string());
    t.SetTableName("l0001.dbf");
    EXPECT_NO_THROW(t.CheckDbf());
    EXPECT_NO_THROW(t.CheckDbfFile());
    t.SetTableName("L0001.txt");  // the extension is replaced by .dbf, the case is the file's
    EXPECT_NO_THROW(t.CheckDbfFile());
    t.SetTableName("l0002.dbf");
    try {
        t.CheckDbfFile();
        FAIL() << "no exception";
    } catch (const EDbfException& e) {
        EXPECT_EQ(e.Message(), "Only DBF file supported.");
    }
    EXPECT_THROW(t.DeleteField(0), EDbfException);  // the rewrite needs the file
    t.SetTableName("l0001.dbf");
    t.SetTableType(TTableType::ttParadox);
    EXPECT_THROW(t.CheckDbf(), EDbfException);
    EXPECT_THROW(t.CheckDbfFile(), EDbfException);
    t.OpenTable();
    EXPECT_FALSE(t.Active());
}

TEST(TableSchemaOpen, GetValuesOnClosedAndOnEmptyFilteredTables) {
    TempDir dir;
    MakeTable(dir / "b0001.dbf", {Def("Cislo", TFldType::dbfNumeric, 5), Def("X", TFldType::dbfChar, 2)},
              {{1.0, std::string("a")}, {2.0, std::string("b")}, {2.0, std::string("c")}});
    TTableDBF t;
    t.SetDatabaseName(dir.Path().string());
    t.SetTableName("b0001.dbf");
    TFldValList values{{"x", 1.0}};
    t.GetValues(values);
    EXPECT_TRUE(values.empty());
    t.SetFilter("Cislo=2");
    t.SetFiltered(true);
    t.OpenTable();
    t.GetValues(values);
    EXPECT_EQ(values, (TFldValList{{"Cislo", 2.0}, {"X", std::string("b")}}));  // the first matching row
    t.Close();
    t.SetFilter("Cislo=3");
    t.OpenTable();
    t.GetValues(values);
    EXPECT_TRUE(values.empty());
}

// --- fields of other types ---------------------------------------------------------

// A dBASE III table with a memo field and its .dbt, written with shapelib itself.
void MakeMemoTable(const std::string& path) {
    DBFHandle h = DBFCreateEx(path.c_str(), "LDID/200");
    ASSERT_NE(h, nullptr);
    ASSERT_GE(DBFAddNativeFieldType(h, "Cislo", 'N', 5, 0), 0);
    ASSERT_GE(DBFAddNativeFieldType(h, "Pozn", 'M', 10, 0), 0);
    ASSERT_GE(DBFAddNativeFieldType(h, "Nazov", 'C', 6, 0), 0);
    const char* memo[] = {"         1", "          ", "         2"};
    for (int r = 0; r < 3; ++r) {
        std::string n = "    " + std::to_string(r + 1);
        DBFWriteAttributeDirectly(h, r, 0, n.data());
        DBFWriteAttributeDirectly(h, r, 1, const_cast<char*>(memo[r]));
        DBFWriteStringAttribute(h, r, 2, "abc");
    }
    DBFClose(h);
    std::string bytes = ReadBytes(path);
    bytes[0] = static_cast<char>(0x83);
    WriteBytes(path, bytes);
    std::string dbt(512 * 3, '\0');
    dbt[0] = 3;  // next free block
    dbt.replace(512, 6, "prvá\x1A\x1A");
    dbt.replace(1024, 7, "druhá\x1A\x1A");
    WriteBytes(std::filesystem::path(path).replace_extension(".dbt"), dbt);
}

TEST(TableSchemaOther, AMemoFieldSurvivesRewritesByteForByte) {
    TempDir dir;
    std::string path = dir / "l0003.dbf";
    MakeMemoTable(path);
    std::string dbtPath = dir / "l0003.dbt";
    std::string dbtBefore = ReadBytes(dbtPath);

    TTableDBF t;
    t.SetDatabaseName(dir.Path().string());
    t.SetTableName("l0003.dbf");
    TFldDefList fields;
    try {
        t.GetFields(fields);
        FAIL() << "no exception";
    } catch (const EDbfException& e) {
        EXPECT_EQ(e.Message(), "Only C, N, F, L, D fields supported.");
    }
    TFldDescList descs;
    t.GetFieldDescs(descs);
    ASSERT_EQ(descs.size(), 3u);
    EXPECT_EQ(descs[1], (FLDDesc{2, "Pozn", 0x203, 10, 0}));

    t.OpenTable();
    t.AddField(Def("Nove", TFldType::dbfChar, 4));
    t.MoveField(1, 3);                                 // memo to the end
    t.ModifyField(0, "Cislo", TFldType::dbfNumeric, 8, 1);
    t.DeleteField(1);                                  // Nazov
    EXPECT_TRUE(t.Active());
    EXPECT_EQ(FieldNames(path), (std::vector<std::string>{"Cislo", "Nove", "Pozn"}));
    std::string bytes = ReadBytes(path);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x83);  // still a table with a memo file
    EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0xC8);
    std::size_t header = static_cast<unsigned char>(bytes[8]) | (static_cast<unsigned char>(bytes[9]) << 8);
    std::size_t recLen = static_cast<unsigned char>(bytes[10]) | (static_cast<unsigned char>(bytes[11]) << 8);
    ASSERT_EQ(recLen, 1u + 8 + 4 + 10);
    EXPECT_EQ(bytes.substr(header + 13, 10), "         1");
    EXPECT_EQ(bytes.substr(header + recLen + 13, 10), "          ");
    EXPECT_EQ(bytes.substr(header + 2 * recLen + 13, 10), "         2");
    EXPECT_EQ(bytes.substr(header + 2 * recLen + 1, 8), "     3.0");
    EXPECT_EQ(ReadBytes(dbtPath), dbtBefore);
    EXPECT_EQ(t.FieldValue("Cislo"), TValue(1.0));
    EXPECT_TRUE(IsNull(t.FieldValue("Pozn")));  // memo texts are not read
    // A memo field cannot be altered: its texts live in the memo file.
    std::string kept = ReadBytes(path);
    EXPECT_THROW(t.ModifyField(2, "Pozn", TFldType::dbfChar, 10, 0), EDbfException);
    EXPECT_EQ(ReadBytes(path), kept);
}

// --- rewrites that fail ------------------------------------------------------------

class FailingRewrite : public SchemaTable {
protected:
    std::string Before;
    void SetUp() override {
        SchemaTable::SetUp();
        Before = ReadBytes(Path);
    }
    // The original is byte-identical and nothing is left beside it.
    void ExpectUntouched() {
        EXPECT_EQ(ReadBytes(Path), Before);
        int entries = 0;
        for (const auto& e : std::filesystem::directory_iterator(Dir.Path())) {
            (void)e;
            ++entries;
        }
        EXPECT_EQ(entries, 1);
    }
};

TEST_F(FailingRewrite, ATableLockedByAnotherHolderIsInUse) {
    int fd = ::open(Path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_SH), 0);
    auto t = Table(true);
    try {
        t->AddField(Def("E", TFldType::dbfChar, 2));
        FAIL() << "no exception";
    } catch (const EDbfTableInUse& e) {
        EXPECT_EQ(e.Message(), "Table is in use by another user or process.\r(" + Path + ")");
    }
    EXPECT_TRUE(t->Active());  // reopened before the exception left
    EXPECT_EQ(t->FieldCount(), 4);
    ::close(fd);
    ExpectUntouched();
    t->AddField(Def("E", TFldType::dbfChar, 2));  // free again
    EXPECT_EQ(t->FieldCount(), 5);
}

TEST_F(FailingRewrite, AnotherTableObjectHoldingTheTableOpenBlocksTheRewrite) {
    auto holder = Table(true);
    auto t = Table(false);
    EXPECT_THROW(t->DeleteField(0), EDbfTableInUse);
    EXPECT_FALSE(t->Active());
    ExpectUntouched();
}

TEST_F(FailingRewrite, AWriteFailingMidwayLeavesTheOriginal) {
    auto t = Table(true);
    for (long long after : {0LL, 40LL, 200LL, 260LL}) {
        dbfio::InjectWriteFailureAfter(after);
        EXPECT_THROW(t->ModifyField(1, "B", TFldType::dbfChar, 10, 0), EDbfEngineError) << after;
        dbfio::InjectWriteFailureAfter(-1);
        EXPECT_TRUE(t->Active());
        ExpectUntouched();
    }
    t->ModifyField(1, "B", TFldType::dbfChar, 10, 0);
    EXPECT_EQ(Column("B"), (std::vector<TValue>{std::string("12.50"), std::string("-3.25"), TValue{}}));
}

TEST_F(FailingRewrite, AFileSizeLimitReachedByTheNewFileLeavesTheOriginal) {
    // The limit binds every user, the super-user too: writes past it fail.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    auto t = Table(false);
    EXPECT_THROW(t->AddField(Def("E", TFldType::dbfChar, 200)), EDbfEngineError);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, previous);
    ExpectUntouched();
}

TEST_F(FailingRewrite, AnUnwritableDirectoryLeavesTheOriginal) {
    if (::geteuid() == 0) GTEST_SKIP() << "directory modes do not bind the super-user";
    std::filesystem::permissions(Dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    auto t = Table(false);
    EXPECT_THROW(t->AddField(Def("E", TFldType::dbfChar, 2)), EDbfEngineError);
    std::filesystem::permissions(Dir.Path(), std::filesystem::perms::owner_all);
    ExpectUntouched();
}

} // namespace
} // namespace vexa
