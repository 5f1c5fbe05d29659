// The block's attribute tables: table names by group and kind, one element's
// row, and the group and kind a table's file name stands for.
#include "DbfTestUtil.h"
#include "kit/BlockKit.h"

#include "block/BlkObj.h"
#include "dbase/TableDBF.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

using namespace dbftest;
using testkit::TempDir;

TFldDefList LineFields() {
    return {{"Cislo", TFldType::dbfNumeric, 11, 0},
            {"Nazov", TFldType::dbfChar, 20, 0},
            {"Dlzka", TFldType::dbfNumeric, 10, 2},
            {"Overene", TFldType::dbfLogical, 0, 0}};
}

class BlockAttributes : public ::testing::Test {
protected:
    TempDir Dir;
    std::string BlockPath = Dir / "LE_12345.blk";
    TBlk Blk;

    void SetUp() override {
        std::filesystem::create_directories(BlockPath);
        MakeTable(BlockPath + "/l0003.dbf", LineFields(),
                  {{5.0, std::string("potok Ľubica"), 12.5, true},
                   {7.0, std::string("prvý riadok 7"), TValue{}, false},
                   {7.0, std::string("druhý riadok 7"), 1.0, true}});
        Blk.Open(BlockPath);
    }
};

TEST_F(BlockAttributes, AttributeFileNameNamesExistingTablesOnly) {
    EXPECT_EQ(Blk.AttributeFileName(egLine, 3), Blk.Path() + "l0003.dbf");
    EXPECT_EQ(Blk.AttributeFileName(egLine, 4), "");
    EXPECT_EQ(Blk.AttributeFileName(egPoint, 3), "");
    EXPECT_EQ(Blk.AttributeFileName(egText, 3), "");
    MakeTable(BlockPath + "/t0003.dbf", LineFields(), {});
    EXPECT_EQ(Blk.AttributeFileName(egText, 3), "");  // texts never have tables

    // Names are formatted with at least four digits and found whatever their case.
    MakeTable(BlockPath + "/B0012.DBF", LineFields(), {});
    MakeTable(BlockPath + "/p12345.dbf", LineFields(), {});
    EXPECT_EQ(Blk.AttributeFileName(egPoint, 12), Blk.Path() + "B0012.DBF");
    EXPECT_EQ(Blk.AttributeFileName(egArea, 12345), Blk.Path() + "p12345.dbf");
    std::filesystem::create_directories(BlockPath + "/p0009.dbf");
    EXPECT_EQ(Blk.AttributeFileName(egArea, 9), "");  // a directory is no table
}

TEST_F(BlockAttributes, ReadAttributesGivesTheFirstMatchingRowInColumnOrder) {
    TFldValList values;
    Blk.ReadAttributes(egLine, 3, 5, values);
    TFldValList expected = {{"Cislo", 5.0}, {"Nazov", std::string("potok Ľubica")}, {"Dlzka", 12.5}, {"Overene", true}};
    EXPECT_EQ(values, expected);

    Blk.ReadAttributes(egLine, 3, 7, values);
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[1].Value, TValue(std::string("prvý riadok 7")));
    EXPECT_TRUE(IsNull(values[2].Value));

    Blk.ReadAttributes(egLine, 3, 6, values);  // no row
    EXPECT_TRUE(values.empty());
    values = expected;
    Blk.ReadAttributes(egLine, 8, 5, values);  // no table
    EXPECT_TRUE(values.empty());
    Blk.ReadAttributes(egText, 3, 5, values);
    EXPECT_TRUE(values.empty());
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
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[1].Value, TValue(std::string("potok Ľubica")));
}

TEST_F(BlockAttributes, ReadAttributesSkipsDeletedRows) {
    {
        TTableDBF t;
        t.SetTableName(BlockPath + "/l0003.dbf");
        t.SetFilter("Cislo=7");
        t.SetFiltered(true);
        t.Open();
        t.DeleteCurrent();
    }
    TFldValList values;
    Blk.ReadAttributes(egLine, 3, 7, values);
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[1].Value, TValue(std::string("druhý riadok 7")));
}

TEST_F(BlockAttributes, FailuresBecomeDatabaseErrorsNamingBlockAndTable) {
    MakeTable(BlockPath + "/b0001.dbf", {{"Nazov", TFldType::dbfChar, 5, 0}}, {{std::string("x")}});  // no Cislo
    WriteBytes(BlockPath + "/p0001.dbf", "damaged");
    TFldValList values{{"x", 1.0}};
    for (auto group : {egPoint, egArea}) {
        std::string table = Blk.AttributeFileName(group, 1);
        try {
            Blk.ReadAttributes(group, 1, 1, values);
            FAIL() << "no exception";
        } catch (const EBlkDBError& e) {
            EXPECT_EQ(e.Message(), "Zlyhala databázová operácia\r(" + Blk.Path() + ", " + table + ")");
        }
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
    TBlkElementGroup group = egText;
    std::int32_t kind = -1;
    TBlk::ParseAttributeFileName("C:\\Mapa\\LE_1.blk\\p0120.dbf", group, kind);
    EXPECT_EQ(group, egArea);
    EXPECT_EQ(kind, 120);
    TBlk::ParseAttributeFileName("/mapa/LE_1.blk/L0005.DBF", group, kind);
    EXPECT_EQ(group, egLine);
    EXPECT_EQ(kind, 5);
    TBlk::ParseAttributeFileName("D:b12345.dbf", group, kind);
    EXPECT_EQ(group, egPoint);
    EXPECT_EQ(kind, 12345);
    TBlk::ParseAttributeFileName("l-7", group, kind);
    EXPECT_EQ(kind, -7);

    try {
        TBlk::ParseAttributeFileName("t0001.dbf", group, kind);
        FAIL() << "no exception";
    } catch (const EConvertError&) {
        FAIL() << "wrong exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Neznámy prvok");
    }
    EXPECT_THROW(TBlk::ParseAttributeFileName("", group, kind), Exception);
    EXPECT_THROW(TBlk::ParseAttributeFileName("lxyz.dbf", group, kind), EConvertError);
    EXPECT_THROW(TBlk::ParseAttributeFileName("l.dbf", group, kind), EConvertError);
    EXPECT_THROW(TBlk::ParseAttributeFileName("l99999999999.dbf", group, kind), EConvertError);
}

} // namespace
} // namespace vexa
