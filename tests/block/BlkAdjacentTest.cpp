// Whether the areas on both sides of a line are alike.
#include "TestUtil.h"

#include <gtest/gtest.h>
#include <shapefil.h>

#include <optional>

using namespace vexa;
using namespace vexa::testkit;
using namespace vexa::blocktest;

namespace {

struct AreaRow {
    int number;
    const char* name;       // NAZOV; nullptr writes null
    std::optional<int> age;  // VEK; nothing writes null
    double size;            // PLOCHA
};

// An area attribute table with the element number, two descriptive columns and the
// GIS's own area column (named in mixed case to show that case does not matter).
void WriteAreaTable(const fs::path& file, const std::vector<AreaRow>& rows) {
    fs::create_directories(file.parent_path());
    DBFHandle h = DBFCreate(file.c_str());
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(DBFAddField(h, "CISLO", FTInteger, 10, 0), 0);
    ASSERT_EQ(DBFAddField(h, "NAZOV", FTString, 20, 0), 1);
    ASSERT_EQ(DBFAddField(h, "VEK", FTInteger, 5, 0), 2);
    ASSERT_EQ(DBFAddField(h, "Plocha", FTDouble, 12, 2), 3);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int r = static_cast<int>(i);
        DBFWriteIntegerAttribute(h, r, 0, rows[i].number);
        if (rows[i].name)
            DBFWriteStringAttribute(h, r, 1, rows[i].name);
        else
            DBFWriteNULLAttribute(h, r, 1);
        if (rows[i].age)
            DBFWriteIntegerAttribute(h, r, 2, *rows[i].age);
        else
            DBFWriteNULLAttribute(h, r, 2);
        DBFWriteDoubleAttribute(h, r, 3, rows[i].size);
    }
    DBFClose(h);
}

class BlkAdjacentTest : public ::testing::Test {
protected:
    // Areas 4 and 9 on the two sides of line 1; line 2 is an inner line of area 4,
    // line 3 has no areas, line 4 lacks a link.
    void SetUp() override {
        BlockSpec s;
        TBlkLine between = MakeLine(1);
        between.NextA = between.PrevA = between.NextB = between.PrevB = 1;
        between.AreaA = 4;
        between.AreaB = 9;
        TBlkLine inner = between;
        inner.Number = 2;
        inner.AreaB = 4;
        TBlkLine free = between;
        free.Number = 3;
        free.AreaA = free.AreaB = -1;
        TBlkLine loose = between;
        loose.Number = 4;
        loose.NextB = -1;
        s.Lines = {between, inner, free, loose};
        for (int n = 1; n <= 9; ++n) s.Areas.push_back(MakeArea(n, 10, 1));
        areas = s.Areas;
        content = s;
    }
    void Open() {
        content.Areas = areas;
        WriteBlock(Dir(), content);
        blk.Open(Dir().string());
    }
    bool Match(std::int32_t line) {
        TBlkLine l;
        blk.FindLine(line, l);
        return blk.AdjacentAreasMatch(l);
    }
    fs::path Dir() const { return tmp.Path() / "b.blk"; }

    TempDir tmp;
    TBlk blk;
    BlockSpec content;
    std::vector<TBlkArea> areas;
};

TEST_F(BlkAdjacentTest, KindsAndMissingRows) {
    Open();
    EXPECT_TRUE(Match(1));   // same kind, no table at all
    EXPECT_TRUE(Match(2));   // inner line
    EXPECT_FALSE(Match(3));  // no areas
    EXPECT_FALSE(Match(4));  // not fully linked
    blk.Close();

    areas[8].Kind = 11;
    Open();
    EXPECT_FALSE(Match(1));
    blk.Close();

    areas[8].Kind = 10;
    WriteAreaTable(Dir() / "p0010.dbf", {{9, "Smrek", 40, 12.5}});
    Open();
    EXPECT_FALSE(Match(1));  // area 9 has a row, area 4 none
    blk.Close();
    WriteAreaTable(Dir() / "p0010.dbf", {{1, "Smrek", 40, 12.5}});
    Open();
    EXPECT_TRUE(Match(1));  // neither has a row
}

TEST_F(BlkAdjacentTest, ComparesDescriptiveColumnsOnly) {
    WriteAreaTable(Dir() / "p0010.dbf", {{4, "Smrek", 40, 12.5}, {9, "Smrek", 40, 7.25}});
    Open();
    EXPECT_TRUE(Match(1));  // number and area differ, the description does not
    blk.Close();

    WriteAreaTable(Dir() / "p0010.dbf", {{4, "Smrek", 40, 12.5}, {9, "Smrek", 41, 12.5}});
    Open();
    EXPECT_FALSE(Match(1));
    blk.Close();

    WriteAreaTable(Dir() / "p0010.dbf", {{4, "Smrek", 40, 1}, {9, "Buk", 40, 1}});
    Open();
    EXPECT_FALSE(Match(1));
    blk.Close();

    WriteAreaTable(Dir() / "p0010.dbf", {{4, nullptr, std::nullopt, 1}, {9, nullptr, std::nullopt, 2}});
    Open();
    EXPECT_TRUE(Match(1));  // null equals null
    blk.Close();

    WriteAreaTable(Dir() / "p0010.dbf", {{4, "Smrek", std::nullopt, 1}, {9, "Smrek", 0, 2}});
    Open();
    EXPECT_FALSE(Match(1));  // null differs from 0
    blk.Close();

    // The row for the area's own number is used, whatever the row order.
    WriteAreaTable(Dir() / "p0010.dbf", {{9, "Buk", 3, 1}, {2, "Smrek", 40, 1}, {4, "Buk", 3, 8}});
    Open();
    EXPECT_TRUE(Match(1));
}

TEST_F(BlkAdjacentTest, MissingAreaIsAnError) {
    areas.pop_back();  // area 9 is gone
    Open();
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { Match(1); }), "Prvok neexistuje\r(" + blk.Path() + ", P:9)");
    blk.Close();
    EXPECT_THROW(blk.AdjacentAreasMatch(MakeLine(1)), EBlkNotOpened);
    TBlkLine inner = MakeLine(2);
    inner.NextA = inner.PrevA = inner.NextB = inner.PrevB = 2;
    inner.AreaA = inner.AreaB = 4;
    EXPECT_THROW(blk.AdjacentAreasMatch(inner), EBlkNotOpened);
}

} // namespace
