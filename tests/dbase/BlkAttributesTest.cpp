// The block's attribute tables: table names by group and kind, one element's
// row, and the group and kind a table's file name stands for.
#include "DbfTestUtil.h"
#include "kit/BlockKit.h"

#include "block/BlkObj.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

using namespace dbftest;
using testkit::TempDir;

class BlockAttributes : public ::testing::Test {
protected:
    TempDir Dir;
    std::string BlockPath = Dir / "LE_12345.blk";
    TBlk Blk;
    const TFldValList First = {
        {"Cislo", 5.0}, {"Nazov", std::string("potok Ľubica")}, {"Dlzka", 12.5}, {"Overene", true}};

    // A table of the line fields with the rows given.
    void MakeLineTable(const std::string& name, const std::vector<std::vector<TValue>>& rows = {}) {
        MakeTable(BlockPath + "/" + name,
                  {Def("Cislo", TFldType::dbfNumeric, 11), Def("Nazov", TFldType::dbfChar, 20),
                   Def("Dlzka", TFldType::dbfNumeric, 10, 2), Def("Overene", TFldType::dbfLogical)},
                  rows);
    }
    void SetUp() override {
        std::filesystem::create_directories(BlockPath);
        MakeLineTable("l0003.dbf", {{5.0, std::string("potok Ľubica"), 12.5, true},
                                    {7.0, std::string("prvý riadok 7"), TValue{}, false},
                                    {7.0, std::string("druhý riadok 7"), 1.0, true}});
        Blk.Open(BlockPath);
    }
};

TEST_F(BlockAttributes, AttributeFileNameNamesExistingTablesOnly) {
    MakeLineTable("t0003.dbf");
    // Names are formatted with at least four digits and found whatever their case.
    MakeLineTable("B0012.DBF");
    MakeLineTable("p12345.dbf");
    std::filesystem::create_directories(BlockPath + "/p0009.dbf");  // a directory is no table
    const std::tuple<TBlkElementGroup, int, std::string> cases[] = {{egLine, 3, "l0003.dbf"},
                                                                    {egLine, 4, ""},
                                                                    {egPoint, 3, ""},
                                                                    {egText, 3, ""},  // texts never have tables
                                                                    {egPoint, 12, "B0012.DBF"},
                                                                    {egArea, 12345, "p12345.dbf"},
                                                                    {egArea, 9, ""}};
    for (const auto& [group, kind, file] : cases)
        EXPECT_EQ(Blk.AttributeFileName(group, kind), file.empty() ? "" : Blk.Path() + file) << kind;
}

TEST_F(BlockAttributes, ReadAttributesGivesTheFirstLiveMatchingRowInColumnOrder) {
    TFldValList values;
    Blk.ReadAttributes(egLine, 3, 5, values);
    EXPECT_EQ(values, First);
    Blk.ReadAttributes(egLine, 3, 7, values);
    EXPECT_EQ(values,
              (TFldValList{
                  {"Cislo", 7.0}, {"Nazov", std::string("prvý riadok 7")}, {"Dlzka", TValue{}}, {"Overene", false}}));
    Opened(BlockPath + "/l0003.dbf", "Cislo=7")->DeleteCurrent();  // deleted rows are skipped
    Blk.ReadAttributes(egLine, 3, 7, values);
    EXPECT_EQ(
        values,
        (TFldValList{{"Cislo", 7.0}, {"Nazov", std::string("druhý riadok 7")}, {"Dlzka", 1.0}, {"Overene", true}}));
    // No row, no table, texts: an empty list.
    for (auto [group, kind, number] : {std::tuple{egLine, 3, 6}, {egLine, 8, 5}, {egText, 3, 5}}) {
        values = First;
        Blk.ReadAttributes(group, kind, number, values);
        EXPECT_TRUE(values.empty()) << kind << " " << number;
    }
}

TEST_F(BlockAttributes, ABlockOpenedByARelativePathFindsItsRows) {
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(Dir.Path());
    TBlk relative;
    relative.Open("LE_12345.blk");
    TFldValList values;
    relative.ReadAttributes(egLine, 3, 5, values);
    relative.Close();
    std::filesystem::current_path(cwd);
    EXPECT_EQ(values, First);
}

TEST_F(BlockAttributes, FailuresBecomeDatabaseErrorsNamingBlockAndTable) {
    MakeTable(BlockPath + "/b0001.dbf", {Def("Nazov", TFldType::dbfChar, 5)}, {{std::string("x")}});  // no Cislo
    WriteFileText(BlockPath + "/p0001.dbf", "damaged");
    for (auto group : {egPoint, egArea}) {
        TFldValList values{{"x", 1.0}};
        EXPECT_EQ(MessageOf<EBlkDBError>([&] { Blk.ReadAttributes(group, 1, 1, values); }),
                  "Zlyhala databázová operácia\r(" + Blk.Path() + ", " + Blk.AttributeFileName(group, 1) + ")");
        EXPECT_TRUE(values.empty());
    }
}

TEST_F(BlockAttributes, AClosedBlockIsRefused) {
    Blk.Close();
    TFldValList values;
    EXPECT_THROW(Blk.AttributeFileName(egLine, 3), EBlkNotOpened);
    EXPECT_THROW(Blk.ReadAttributes(egLine, 3, 5, values), EBlkNotOpened);
}

TEST(BlockAttributeNames, ParseAttributeFileName) {
    const std::tuple<const char*, TBlkElementGroup, int> cases[] = {{"C:\\Mapa\\LE_1.blk\\p0120.dbf", egArea, 120},
                                                                    {"/mapa/LE_1.blk/L0005.DBF", egLine, 5},
                                                                    {"D:b12345.dbf", egPoint, 12345},
                                                                    {"l-7", egLine, -7}};
    for (const auto& [name, expectedGroup, expectedKind] : cases) {
        TBlkElementGroup group = egText;
        std::int32_t kind = -1;
        TBlk::ParseAttributeFileName(name, group, kind);
        EXPECT_EQ(group, expectedGroup) << name;
        EXPECT_EQ(kind, expectedKind) << name;
    }
    TBlkElementGroup group;
    std::int32_t kind;
    EXPECT_EQ(MessageOf<Exception>([&] { TBlk::ParseAttributeFileName("t0001.dbf", group, kind); }), "Neznámy prvok");
    EXPECT_THROW(TBlk::ParseAttributeFileName("", group, kind), Exception);
    for (const char* bad : {"lxyz.dbf", "l.dbf", "l99999999999.dbf"})
        EXPECT_THROW(TBlk::ParseAttributeFileName(bad, group, kind), EConvertError) << bad;
}

}  // namespace
}  // namespace vexa
