// The schema editor of TTableDBF: field definitions, adding, deleting,
// moving and altering fields by rewriting the table, and rewrites that fail.
#include "DbfTestUtil.h"
#include "kit/BlockKit.h"

#include "dbase/DbfIo.h"

#include <gtest/gtest.h>
#include <shapefil.h>

#include <cerrno>
#include <cstring>
#include <set>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace vexa {
namespace {

using namespace dbftest;
using testkit::TempDir;
using enum TFldType;
using Values = std::vector<TValue>;

// --- definitions without a table ---------------------------------------------

TEST(TableSchema, MakeFieldClampsWidthAndDecimalsAndCutsNames) {
    struct Case {
        TFldType Type;
        int Width, Decimals;
        TFldDef Expected;
    };
    const Case cases[] = {{dbfChar, 0, 3, Def("A", dbfChar, 50)},
                          {dbfNumeric, 0, 5, Def("A", dbfNumeric, 15, 5)},
                          {dbfNumeric, 25, 30, Def("A", dbfNumeric, 20, 16)},
                          {dbfFloat, 5, 4, Def("A", dbfFloat, 5, 3)},
                          {dbfDate, 8, 0, Def("A", dbfDate)},
                          {dbfChar, 300, 0, Def("A", dbfChar, 254)},
                          {dbfLogical, 1, 2, Def("A", dbfLogical)},
                          {dbfNumeric, 10, -4, Def("A", dbfNumeric, 10)},
                          // Fields too narrow for a decimal point keep no decimals (never a negative count).
                          {dbfNumeric, 1, 3, Def("A", dbfNumeric, 1)},
                          {dbfNumeric, 2, 1, Def("A", dbfNumeric, 2)},
                          {dbfFloat, 30, 0, Def("A", dbfFloat, 20)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Width) + "," + std::to_string(c.Decimals));
        EXPECT_EQ(TTableDBF::MakeField("A", c.Type, c.Width, c.Decimals), c.Expected);
        EXPECT_EQ(TTableDBF::NormalizeField(TFldDef{"A", c.Type, c.Width, c.Decimals}), c.Expected);
    }
    EXPECT_EQ(TTableDBF::MakeField("ABCDEFGHIJKL", dbfChar, 5, 0).Name, "ABCDEFGHIJ");
    EXPECT_EQ(TTableDBF::MakeField("ľščťžýáíéúô", dbfChar, 5, 0).Name, "ľščťžýáíéú");
    EXPECT_EQ(TTableDBF::FieldToDesc(Def("ABCDEFGHIJKL", dbfChar, 5)).szName, "ABCDEFGHIJ");
}

TEST(TableSchema, TypeLettersAndDescriptorConversions) {
    const std::pair<char, TFldType> letters[] = {
        {'c', dbfChar}, {'N', dbfNumeric}, {'f', dbfFloat}, {'L', dbfLogical}, {'d', dbfDate}};
    for (auto [letter, type] : letters) EXPECT_EQ(TTableDBF::TypeFromChar(letter), type) << letter;
    // The types other software writes are types too: a standard may name them.
    EXPECT_EQ(TTableDBF::TypeFromChar('m'), dbfMemo);
    EXPECT_EQ(TTableDBF::TypeFromChar('I'), dbfInteger);
    EXPECT_EQ(TTableDBF::TypeFromChar('0'), dbfNullFlags);
    EXPECT_EQ(LetterOf(TTableDBF::TypeFromChar('x')), 'X');  // a type of other software not known here
    EXPECT_EQ(MessageOf<EDbfException>([] { TTableDBF::TypeFromChar('\0'); }),
              "Pole má typ 0x00, ktorý Vexa nevie zapísať.");

    EXPECT_EQ(TTableDBF::FieldToDesc(Def("Plocha", dbfNumeric, 12, 3)), (FLDDesc{0, "Plocha", 0x202, 12, 3}));
    EXPECT_EQ(TTableDBF::FieldToDesc(Def("Txt", dbfChar, 30, 2)), (FLDDesc{0, "Txt", 0x201, 30, 0}));
    EXPECT_EQ(TTableDBF::FieldToDesc(Def("Dat", dbfDate, 8, 0)), (FLDDesc{0, "Dat", 0x205, 0, 0}));
    EXPECT_EQ(TTableDBF::FieldToDesc(Def("F", dbfFloat, 8, 2)).iFldType, 0x206);
    EXPECT_EQ(TTableDBF::FieldToDesc(Def("L", dbfLogical)).iFldType, 0x204);
    EXPECT_EQ(TTableDBF::DescToField(FLDDesc{3, "Dat", 0x205, 8, 0}), Def("Dat", dbfDate));
    EXPECT_EQ(TTableDBF::DescToField(FLDDesc{1, "Txt", 0x201, 30, 4}), Def("Txt", dbfChar, 30));
    EXPECT_EQ(TTableDBF::DescToField(FLDDesc{1, "Num", 0x206, 9, 4}), Def("Num", dbfFloat, 9, 4));
    // A width the format fixes is none in a definition (as for L and D).
    EXPECT_EQ(TTableDBF::DescToField(FLDDesc{1, "Memo", 0x203, 10, 0}), Def("Memo", dbfMemo));
    EXPECT_EQ(TTableDBF::DescToField(FLDDesc{1, "Memo", 0x203, 4, 0}), Def("Memo", dbfMemo));
    EXPECT_EQ(TTableDBF::DescToField(FLDDesc{1, "Var", fldpVarChar, 20, 0}), Def("Var", dbfVarChar, 20));
    EXPECT_EQ(MessageOf<EDbfException>([] {
                  TTableDBF::DescToField(FLDDesc{1, "Cudzie", fldpOther, 3, 0});
              }),
              "Pole Cudzie má typ ?, ktorý Vexa nevie zapísať.");
}

TEST(TableSchema, EveryTypeLetterHasOneRowOfConversions) {
    const std::string letters = "CNFLDMBGPIYTVQWO@+0";
    std::set<std::uint16_t> codes;
    for (char letter : letters) {
        SCOPED_TRACE(std::string(1, letter));
        const TFldTypeInfo* t = FieldTypeOfLetter(letter);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(LetterOf(t->Type), letter);
        EXPECT_EQ(PhysicalOf(t->Type), t->Physical);
        EXPECT_EQ(PhysicalOfLetter(letter), t->Physical);
        EXPECT_EQ(LetterOfPhysical(t->Physical), letter);
        EXPECT_EQ(FieldTypeOfPhysical(t->Physical), t);
        EXPECT_TRUE(codes.insert(t->Physical).second) << "one physical code per type";
        // Values are written only into the five types; the others are carried as stored.
        EXPECT_EQ(IsWritableLetter(letter), std::string("CNFLD").find(letter) != std::string::npos);
        EXPECT_EQ(IsWritableType(t->Type), IsWritableLetter(letter));
    }
    EXPECT_EQ(PhysicalOf(dbfMemo), fldpMemo);  // the engine's own code of a memo
    // A letter not known here has a code of its own that gives the letter back.
    for (char unknown : {'X', 'c', '7'}) {
        EXPECT_EQ(FieldTypeOfLetter(unknown), nullptr) << unknown;
        EXPECT_EQ(PhysicalOfLetter(unknown), fldpOtherLetter | static_cast<unsigned char>(unknown));
        EXPECT_TRUE(codes.insert(PhysicalOfLetter(unknown)).second);
        EXPECT_EQ(LetterOfPhysical(PhysicalOfLetter(unknown)), unknown);
        EXPECT_FALSE(IsWritableLetter(unknown));
    }
    EXPECT_EQ(PhysicalOfLetter('\0'), fldpOther);
    EXPECT_EQ(PhysicalOfLetter(' '), fldpOther);
    EXPECT_EQ(LetterOfPhysical(fldpOther), '?');
    EXPECT_EQ(LetterOfPhysical(fldpOtherLetter), '?');
    EXPECT_EQ(FieldTypeOfPhysical(0x300), nullptr);
    // A type whose width the format fixes has none in a definition.
    EXPECT_EQ(TTableDBF::FieldToDesc(Def("M", dbfMemo, 10)), (FLDDesc{0, "M", fldpMemo, 0, 0}));
    EXPECT_EQ(TTableDBF::FieldToDesc(Def("V", dbfVarChar, 30, 2)), (FLDDesc{0, "V", fldpVarChar, 30, 0}));
    // A type not known here keeps the width the file gives it.
    const TFldDef seven = TTableDBF::DescToField(FLDDesc{10, "TS", fldpOtherLetter | '7', 8, 0});
    EXPECT_EQ(seven, (TFldDef{"TS", static_cast<TFldType>('7'), 8, 0}));
    EXPECT_EQ(TTableDBF::FieldToDesc(seven), (FLDDesc{0, "TS", fldpOtherLetter | '7', 8, 0}));
}

// --- a table to edit -----------------------------------------------------------

const TFldDefList kFields = {Def("A", dbfChar, 10), Def("B", dbfNumeric, 8, 2), Def("C", dbfLogical),
                             Def("D", dbfDate)};
const Values kA = {std::string("prvý"), std::string("druhý"), std::string("tretí")}, kB = {12.5, -3.25, TValue{}},
             kC = {true, false, TValue{}}, kD = {TDate{2001, 2, 3}, TValue{}, TDate{1999, 1, 1}};

class SchemaTable : public ::testing::Test {
protected:
    TempDir Dir;
    std::string Path = Dir / "p0007.dbf";

    void SetUp() override {
        std::vector<std::vector<TValue>> rows;
        for (int r = 0; r < 3; ++r) rows.push_back({kA[r], kB[r], kC[r], kD[r]});
        MakeTable(Path, kFields, rows);
    }

    // A table object for the file, named by directory and file name, optionally open.
    std::unique_ptr<TTableDBF> Table(bool open) {
        auto t = std::make_unique<TTableDBF>();
        t->SetDatabaseName(Dir.Path().string());
        t->SetTableName("p0007.dbf");
        if (open) t->OpenTable();
        return t;
    }
    Values Column(const std::string& name) { return dbftest::Column(Path, name); }
};

TEST_F(SchemaTable, GetFieldsReportsDefinitionsWithZeroWidthForLogicalAndDate) {
    auto t = Table(false);
    TFldDefList fields;
    t->GetFields(fields);
    EXPECT_EQ(fields, kFields);
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
    t->AddField(Def("DLHENAZOV12", dbfChar, 4));
    const std::pair<const char*, int> cases[] = {
        {"A", 0},          {"d", 3},          {"X", -1},         {"DLHENAZOVXYZ", -1},
        {"DLHENAZOV1", 4}, {"DLHENAZOV", -1}, {"dlhenazov12", 4}};  // the twelve characters are cut to ten
    for (auto [name, index] : cases) EXPECT_EQ(t->FieldIndex(name), index) << name;
}

TEST_F(SchemaTable, MoveFieldReordersAndCarriesValues) {
    auto t = Table(false);
    t->MoveField(3, 1);
    EXPECT_EQ(FieldNames(Path), (std::vector<std::string>{"A", "D", "B", "C"}));
    EXPECT_EQ(Column("D"), kD);
    EXPECT_EQ(Column("B"), kB);
    t->MoveField(1, 3);
    EXPECT_EQ(FieldNames(Path), (std::vector<std::string>{"A", "B", "C", "D"}));
    t->MoveField(1, 3);
    EXPECT_EQ(FieldNames(Path), (std::vector<std::string>{"A", "C", "D", "B"}));
    EXPECT_EQ(Column("C"), kC);
    std::string before = ReadFileText(Path);
    t->MoveField(2, 2);
    t->MoveField(-1, 2);
    t->MoveField(0, 4);
    EXPECT_EQ(ReadFileText(Path), before);  // nothing happens for these
}

TEST_F(SchemaTable, AddAndDeleteKeepTheOtherColumnsValues) {
    auto t = Table(true);
    t->AddField(TTableDBF::MakeField("Nove", dbfNumeric, 5, 0));
    EXPECT_TRUE(t->Active());
    EXPECT_EQ(t->FieldCount(), 5);
    EXPECT_EQ(Column("Nove"), (Values{TValue{}, TValue{}, TValue{}}));
    EXPECT_EQ(Column("A"), kA);
    t->DeleteField(1);
    EXPECT_EQ(FieldNames(Path), (std::vector<std::string>{"A", "C", "D", "Nove"}));
    EXPECT_EQ(Column("C"), kC);
    EXPECT_EQ(Column("D"), kD);
    std::string before = ReadFileText(Path);
    t->DeleteField(4);
    t->DeleteField(-1);
    t->ModifyField(7, "X", dbfChar, 3, 0);
    // A name that another field has is refused and nothing changes.
    EXPECT_THROW(t->AddField(Def("c", dbfChar, 3)), EDbfException);
    EXPECT_THROW(t->ModifyField(0, "NOVE", dbfChar, 3, 0), EDbfException);
    EXPECT_EQ(ReadFileText(Path), before);
    EXPECT_TRUE(t->Active());
}

TEST_F(SchemaTable, GatheredEditsRewriteTheTableOnceOrNotAtAll) {
    auto t = Table(false);
    const std::string before = ReadFileText(Path);
    {  // the definitions the fields already have: no rewrite at all
        TFieldEdits edits(*t);
        edits.ModifyField(0, "A", dbfChar, 10, 0);
        edits.ModifyField(3, "D", dbfDate, 8, 0);  // L and D: the width is the format's
        edits.MoveField(2, 2);
        EXPECT_EQ(edits.Descs()[3].szName, "D");
        EXPECT_FALSE(edits.Changed());
        edits.Apply();
        EXPECT_EQ(ReadFileText(Path), before);
    }
    TFieldEdits edits(*t);
    edits.AddField(Def("E", dbfChar, 3));
    edits.ModifyField(edits.FieldIndex("a"), "A", dbfChar, 5, 0);  // the longest value's width
    edits.MoveField(edits.FieldIndex("D"), 0);
    edits.DeleteField(edits.FieldIndex("C"));
    edits.ModifyField(edits.FieldIndex("E"), "E", dbfNumeric, 5, 1);  // a field added in these edits
    // A refused step raises at once and writes nothing, nor do the steps before it.
    EXPECT_EQ(MessageOf<EDbfException>([&] { edits.AddField(Def("Pozn", dbfMemo)); }),
              "Pole Pozn má typ M, ktorý Vexa nevie zapísať.");
    EXPECT_EQ(edits.FieldIndex("Pozn"), -1);
    EXPECT_EQ(ReadFileText(Path), before);
    EXPECT_TRUE(edits.Changed());
    edits.Apply();
    EXPECT_FALSE(t->Active());
    TFldDefList fields;
    t->GetFields(fields);
    EXPECT_EQ(fields, (TFldDefList{Def("D", dbfDate), Def("A", dbfChar, 5), Def("B", dbfNumeric, 8, 2),
                                   Def("E", dbfNumeric, 5, 1)}));
    EXPECT_EQ(Column("A"), kA);
    EXPECT_EQ(Column("B"), kB);
    EXPECT_EQ(Column("D"), kD);
    EXPECT_EQ(Column("E"), (Values{TValue{}, TValue{}, TValue{}}));
}

TEST_F(SchemaTable, EditsLeaveTheTableOpenOrClosedAsTheyFoundIt) {
    auto open = Table(true);
    open->SetFilter("A = 'druhý'");
    open->SetFiltered(true);
    open->ModifyField(0, "A", dbfChar, 20, 0);
    EXPECT_TRUE(open->Active());
    EXPECT_EQ(open->VisibleCount(), 1);  // the filter still applies
    EXPECT_EQ(open->FieldValue("B"), TValue(-3.25));
    open->Close();
    auto closed = Table(false);
    closed->AddField(Def("E", dbfChar, 2));
    EXPECT_FALSE(closed->Active());
    closed->DeleteField(4);
    EXPECT_FALSE(closed->Active());
    closed->MoveField(0, 1);
    EXPECT_FALSE(closed->Active());
}

// ModifyField of the second field of a table whose first field K numbers the rows.
TEST_F(SchemaTable, ModifyConvertsTheValuesToTheNewTypeWidthAndDecimals) {
    struct Case {
        TFldDef From;
        Values Before;
        TFldDef To;
        Values After;
    };
    const Values words = {std::string("prvý"), std::string("druhý")};
    const Case cases[] = {
        // numbers to text are their digits; one too wide for the text is left out rather than cut
        {Def("B", dbfNumeric, 8, 2), kB, Def("B", dbfChar, 6), {std::string("12.50"), std::string("-3.25"), TValue{}}},
        {Def("N", dbfNumeric, 10, 2), {1234567.89, 1.5}, Def("N", dbfChar, 4), {TValue{}, std::string("1.50")}},
        // text to numbers keeps numbers (rounded) and nulls the rest
        {Def("T", dbfChar, 12),
         {std::string("12.345"), std::string("abc"), std::string(" -7 "), TValue{}, std::string("1,5"),
          std::string("123456")},
         Def("T", dbfNumeric, 6, 2),
         {12.35, TValue{}, -7.0, TValue{}, TValue{}, TValue{}}},
        // decimals round half away from zero; a number no longer fitting becomes null, never stars
        {Def("N", dbfNumeric, 10, 3),
         {2.675, -2.675, 0.125, 2.5, 99999.999},
         Def("N", dbfNumeric, 10, 2),
         {2.68, -2.68, 0.13, 2.5, 100000.0}},
        {Def("N", dbfNumeric, 10, 3),
         {2.675, -2.675, 0.125, 2.5, 99999.999},
         Def("N", dbfNumeric, 6),
         {3.0, -3.0, 0.0, 3.0, 100000.0}},
        {Def("N", dbfNumeric, 10, 3),
         {2.675, -2.675, 0.125, 2.5, 99999.999},
         Def("N", dbfNumeric, 5),
         {3.0, -3.0, 0.0, 3.0, TValue{}}},
        // logicals and dates to text and back; words are no dates
        {Def("C", dbfLogical), kC, Def("C", dbfChar, 1), {std::string("T"), std::string("F"), TValue{}}},
        {Def("C", dbfChar, 1), {std::string("T"), std::string("F"), TValue{}}, Def("C", dbfLogical), kC},
        {Def("D", dbfDate),
         kD,
         Def("D", dbfChar, 10),
         {std::string("2001-02-03"), TValue{}, std::string("1999-01-01")}},
        {Def("D", dbfChar, 10),
         {std::string("2001-02-03"), TValue{}, std::string("1999-01-01")},
         Def("D", dbfDate),
         kD},
        {Def("A", dbfChar, 10), words, Def("A", dbfDate), {TValue{}, TValue{}}},
        // text narrowed to its longest value, renamed (narrower is refused: see RealTables)
        {Def("A", dbfChar, 10), kA, Def("Kratke", dbfChar, 5), kA}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        std::vector<std::vector<TValue>> rows;
        Values numbers;
        for (std::size_t r = 0; r < c.Before.size(); ++r) {
            rows.push_back({double(r), c.Before[r]});
            numbers.push_back(double(r));
        }
        MakeTable(Path, {Def("K", dbfNumeric, 3), c.From}, rows);
        Table(false)->ModifyField(1, c.To.Name, c.To.FieldType, c.To.Width, c.To.Decimals);
        EXPECT_EQ(Column(c.To.Name), c.After);
        EXPECT_EQ(Column("K"), numbers);
        TFldDefList fields;
        Table(false)->GetFields(fields);
        EXPECT_EQ(fields, (TFldDefList{Def("K", dbfNumeric, 3), c.To}));
        EXPECT_EQ(ReadFileText(Path).find("*****"), std::string::npos);
    }
}

TEST_F(SchemaTable, DeletedRowsStayDeletedAndTheCodePageByteIsKept) {
    MakeTable(Path, {Def("T", dbfChar, 8)}, {{std::string("žltý")}, {std::string("zmazaný")}, {std::string("tretí")}},
              852);
    {
        auto t = Table(true);
        t->Next();
        t->DeleteCurrent();
    }
    Table(false)->AddField(Def("N", dbfNumeric, 3));
    EXPECT_EQ(static_cast<unsigned char>(ReadFileText(Path)[29]), 0x64);
    auto t = Table(true);
    EXPECT_EQ(t->RecordCount(), 3);
    EXPECT_EQ(t->VisibleCount(), 2);
    EXPECT_EQ(t->FieldValue("T"), TValue(std::string("žltý")));
    t->Next();
    EXPECT_EQ(t->RecNo(), 3);
    EXPECT_EQ(t->FieldValue("T"), TValue(std::string("tretí")));
}

TEST_F(SchemaTable, RestructureRefusesInvalidDescriptorsWithoutTouchingTheFile) {
    std::string before = ReadFileText(Path);
    auto t = Table(false);
    TFldDescList descs;
    t->GetFieldDescs(descs);
    auto refuse = [&](TFldDescList d, TOpType ops) {
        EXPECT_THROW(t->Restructure(d, ops), EDbfException);
        EXPECT_EQ(ReadFileText(Path), before);
    };
    refuse(descs, TOpType(3, opKeep));                  // lists differ
    refuse({}, {});                                     // no field left
    refuse({FLDDesc{9, "A", 0x201, 10, 0}}, {opKeep});  // no such source field
    refuse({FLDDesc{0, "M", 0x203, 10, 0}}, {opAdd});   // memo cannot be added
    refuse({FLDDesc{1, "A", 0x201, 300, 0}}, {opModify});
    refuse({FLDDesc{2, "B", 0x202, 8, 7}}, {opModify});
    refuse({FLDDesc{1, "A", 0x201, 10, 0}}, {7});
    refuse({FLDDesc{1, "", 0x201, 10, 0}}, {opKeep});
    EXPECT_FALSE(t->Active());
}

TEST_F(SchemaTable, OpenTableOnAMissingDirectoryStaysClosedQuietly) {
    TTableDBF t;
    t.SetDatabaseName((Dir.Path() / "nie je").string());
    t.SetTableName("l0001.dbf");
    EXPECT_NO_THROW(t.OpenTable());
    EXPECT_FALSE(t.Active());
    EXPECT_THROW(t.CheckDbf(), EDbfException);
    TFldDescList descs{FLDDesc{}};
    t.GetFieldDescs(descs);
    EXPECT_TRUE(descs.empty());
    t.AddField(Def("A", dbfChar, 3));  // nothing to add to
    EXPECT_FALSE(std::filesystem::exists(Dir.Path() / "nie je"));
}

TEST_F(SchemaTable, CheckDbfAndCheckDbfFile) {
    auto t = Table(false);
    EXPECT_NO_THROW(t->CheckDbf());
    EXPECT_NO_THROW(t->CheckDbfFile());
    t->SetTableName("P0007.txt");  // the extension is replaced by .dbf, the case is the file's
    EXPECT_NO_THROW(t->CheckDbfFile());
    t->SetTableName("p0008.dbf");
    EXPECT_EQ(MessageOf<EDbfException>([&] { t->CheckDbfFile(); }), "Only DBF file supported.");
    EXPECT_THROW(t->DeleteField(0), EDbfException);  // the rewrite needs the file
    t->SetTableName("p0007.dbf");
    t->SetDatabaseName((Dir.Path() / "nie je").string());  // the table's directory is missing
    EXPECT_EQ(MessageOf<EDbfException>([&] { t->CheckDbf(); }), "Only DBF file supported.");
    EXPECT_EQ(MessageOf<EDbfException>([&] { t->CheckDbfFile(); }), "Only DBF file supported.");
    t->OpenTable();
    EXPECT_FALSE(t->Active());
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
    std::string bytes = ReadFileText(path);
    bytes[0] = static_cast<char>(0x83);
    WriteFileText(path, bytes);
    std::string dbt(512 * 3, '\0');
    dbt[0] = 3;                              // next free block
    dbt.replace(512, 6, "prv\xE1\x1A\x1A");  // code page 1250, as the table
    dbt.replace(1024, 7, "druh\xE1\x1A\x1A");
    WriteFileText(std::filesystem::path(path).replace_extension(".dbt"), dbt);
}

TEST(TableSchemaOther, AMemoFieldSurvivesRewritesByteForByte) {
    TempDir dir;
    std::string path = dir / "l0003.dbf", dbtPath = dir / "l0003.dbt";
    MakeMemoTable(path);
    std::string dbtBefore = ReadFileText(dbtPath);
    auto t = Opened(path);
    TFldDefList fields;
    t->GetFields(fields);
    EXPECT_EQ(fields, (TFldDefList{Def("Cislo", dbfNumeric, 5), Def("Pozn", dbfMemo), Def("Nazov", dbfChar, 6)}));
    TFldDescList descs;
    t->GetFieldDescs(descs);
    ASSERT_EQ(descs.size(), 3u);
    EXPECT_EQ(descs[1], (FLDDesc{2, "Pozn", 0x203, 10, 0}));

    t->AddField(Def("Nove", dbfChar, 4));
    t->MoveField(1, 3);  // memo to the end
    t->ModifyField(0, "Cislo", dbfNumeric, 8, 1);
    t->DeleteField(1);  // Nazov
    EXPECT_TRUE(t->Active());
    EXPECT_EQ(FieldNames(path), (std::vector<std::string>{"Cislo", "Nove", "Pozn"}));
    std::string bytes = ReadFileText(path);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x83);  // still a table with a memo file
    EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0xC8);
    const char* memo[] = {"         1", "          ", "         2"};
    for (int r = 0; r < 3; ++r) {
        ASSERT_EQ(Record(bytes, r).size(), 1u + 8 + 4 + 10);
        EXPECT_EQ(Record(bytes, r).substr(13), memo[r]) << r;
    }
    EXPECT_EQ(Record(bytes, 2).substr(1, 8), "     3.0");
    EXPECT_EQ(ReadFileText(dbtPath), dbtBefore);
    EXPECT_EQ(t->FieldValue("Cislo"), TValue(1.0));
    EXPECT_EQ(t->FieldValue("Pozn"), TValue(std::string("prvá")));  // the memo text, from the .dbt
    // A memo field cannot be altered: its texts live in the memo file.
    EXPECT_THROW(t->ModifyField(2, "Pozn", dbfChar, 10, 0), EDbfException);
    EXPECT_EQ(ReadFileText(path), bytes);
    // Nor added: its texts would need a memo file of their own.
    EXPECT_EQ(MessageOf<EDbfException>([&] { t->AddField(Def("Dalsia", dbfMemo)); }),
              "Pole Dalsia má typ M, ktorý Vexa nevie zapísať.");
    EXPECT_EQ(MessageOf<EDbfException>([&] { t->ModifyField(1, "Nove", dbfMemo, 0, 0); }),
              "Pole Nove má typ M, ktorý Vexa nevie zapísať.");
    EXPECT_EQ(ReadFileText(path), bytes);
    // Renamed it can be, and its definition given again changes nothing.
    t->ModifyField(2, "Pozn", dbfMemo, 10, 0);
    EXPECT_EQ(ReadFileText(path), bytes);
    // Nor written: a row appended gives it no text.
    EXPECT_EQ(MessageOf<EDbfException>([&] {
                  t->AppendRecord({4.0, std::string("x"), std::string("text")});
              }),
              "Pole Pozn má typ M, ktorý Vexa nevie zapísať.");
    t->AppendRecord({4.0, std::string("x")});
    EXPECT_EQ(Record(ReadFileText(path), 3).substr(13), std::string(10, ' '));
}

// --- rewrites that fail ------------------------------------------------------------

class FailingRewrite : public SchemaTable {
protected:
    std::string Before;
    void SetUp() override {
        SchemaTable::SetUp();
        Before = ReadFileText(Path);
    }
    // The original is byte-identical and nothing is left beside it.
    void ExpectUntouched() {
        EXPECT_EQ(ReadFileText(Path), Before);
        auto entries = std::distance(std::filesystem::directory_iterator(Dir.Path()), {});
        EXPECT_EQ(entries, 1);
    }
};

TEST_F(FailingRewrite, ATableLockedByAnotherHolderIsInUse) {
    int fd = ::open(Path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_SH), 0);
    auto t = Table(true);
    EXPECT_EQ(MessageOf<EDbfTableInUse>([&] { t->AddField(Def("E", dbfChar, 2)); }),
              "Table is in use by another user or process.\r(" + Path + ")");
    EXPECT_TRUE(t->Active());  // reopened before the exception left
    EXPECT_EQ(t->FieldCount(), 4);
    ::close(fd);
    ExpectUntouched();
    t->AddField(Def("E", dbfChar, 2));  // free again
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
    for (long long after : {0LL, 40LL, 100LL, 200LL}) {  // in the records, in the header
        dbfio::InjectWriteFailureAfter(after);
        EXPECT_THROW(t->ModifyField(1, "B", dbfChar, 10, 0), EDbfEngineError) << after;
        dbfio::InjectWriteFailureAfter(-1);
        EXPECT_TRUE(t->Active());
        ExpectUntouched();
    }
    // A full disk is said in Slovak, the system's text as detail.
    dbfio::InjectFullDiskAfter(40);
    try {
        t->ModifyField(1, "B", dbfChar, 10, 0);
        ADD_FAILURE() << "modified";
    } catch (const EDbfEngineError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Tabuľka sa nedá zapísať, disk je plný (" + std::string(std::strerror(ENOSPC)) +
                                              ").\r(",
                                              0),
                  0u)
            << e.what();
    }
    dbfio::InjectWriteFailureAfter(-1);
    ExpectUntouched();
    t->ModifyField(1, "B", dbfChar, 10, 0);
    EXPECT_EQ(Column("B"), (Values{std::string("12.50"), std::string("-3.25"), TValue{}}));
}

TEST_F(FailingRewrite, AFileSizeLimitReachedByTheNewFileLeavesTheOriginal) {
    // The limit binds every user, the super-user too: writes past it fail.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(Table(false)->AddField(Def("E", dbfChar, 200)), EDbfEngineError);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, previous);
    ExpectUntouched();
}

TEST_F(FailingRewrite, AnUnwritableDirectoryLeavesTheOriginal) {
    if (::geteuid() == 0) GTEST_SKIP() << "directory modes do not bind the super-user";
    std::filesystem::permissions(Dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_THROW(Table(false)->AddField(Def("E", dbfChar, 2)), EDbfEngineError);
    std::filesystem::permissions(Dir.Path(), std::filesystem::perms::owner_all);
    ExpectUntouched();
}

}  // namespace
}  // namespace vexa
