// Whether the areas on both sides of a line are alike.
#include "TestUtil.h"

#include <shapefil.h>

#include <optional>

using namespace vexa;
using namespace vexa::blocktest;

namespace {

struct AreaRow {
    int number;
    const char* name;        // NAZOV; nullptr writes null
    std::optional<int> age;  // VEK; nothing writes null
    double size;             // PLOCHA
};

// An area attribute table with the element number, two descriptive columns and the
// GIS's own area column (named in mixed case to show that case does not matter).
void WriteAreaTable(const fs::path& file, const std::vector<AreaRow>& rows) {
    DBFHandle h = DBFCreate(file.c_str());
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(DBFAddField(h, "CISLO", FTInteger, 10, 0), 0);
    ASSERT_EQ(DBFAddField(h, "NAZOV", FTString, 20, 0), 1);
    ASSERT_EQ(DBFAddField(h, "VEK", FTInteger, 5, 0), 2);
    ASSERT_EQ(DBFAddField(h, "Plocha", FTDouble, 12, 2), 3);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        DBFWriteIntegerAttribute(h, r, 0, rows[r].number);
        if (rows[r].name)
            DBFWriteStringAttribute(h, r, 1, rows[r].name);
        else
            DBFWriteNULLAttribute(h, r, 1);
        if (rows[r].age)
            DBFWriteIntegerAttribute(h, r, 2, *rows[r].age);
        else
            DBFWriteNULLAttribute(h, r, 2);
        DBFWriteDoubleAttribute(h, r, 3, rows[r].size);
    }
    DBFClose(h);
}

class BlkAdjacentTest : public BlockTest {
protected:
    // Areas 4 and 9 (of kind 10 unless told) on the two sides of line 1; line 2 is an inner
    // line of area 4, line 3 has no areas, line 4 lacks a link. rows: the table p0010.dbf, if any.
    void Open(std::int16_t kindOf9 = 10, std::optional<std::vector<AreaRow>> rows = std::nullopt, int areas = 9) {
        BlockSpec s;
        TBlkLine between = MakeLine(1);
        between.NextA = between.PrevA = between.NextB = between.PrevB = 1;
        between.AreaA = 4;
        between.AreaB = 9;
        s.Lines = {between, between, between, between};
        s.Lines[1].Number = 2;
        s.Lines[1].AreaB = 4;
        s.Lines[2].Number = 3;
        s.Lines[2].AreaA = s.Lines[2].AreaB = -1;
        s.Lines[3].Number = 4;
        s.Lines[3].NextB = -1;
        for (int n = 1; n <= areas; ++n) s.Areas.push_back(MakeArea(n, n == 9 ? kindOf9 : 10, 1));
        blk.Close();
        WriteBlock(Dir(), s);
        if (rows) WriteAreaTable(Dir() / "p0010.dbf", *rows);
        blk.Open(Dir().string());
    }
    bool Match(std::int32_t line) {
        TBlkLine l;
        blk.FindLine(line, l);
        return blk.AdjacentAreasMatch(l);
    }
};

TEST_F(BlkAdjacentTest, KindsAndLines) {
    Open();
    EXPECT_TRUE(Match(1));   // same kind, no table at all
    EXPECT_TRUE(Match(2));   // inner line
    EXPECT_FALSE(Match(3));  // no areas
    EXPECT_FALSE(Match(4));  // not fully linked
    Open(11);
    EXPECT_FALSE(Match(1));
}

TEST_F(BlkAdjacentTest, ComparesDescriptiveColumnsOnly) {
    const struct {
        const char* what;
        std::vector<AreaRow> rows;
        bool alike;
    } cases[] = {
        {"area 9 has a row, area 4 none", {{9, "Smrek", 40, 12.5}}, false},
        {"neither has a row", {{1, "Smrek", 40, 12.5}}, true},
        {"number and area differ, the description does not", {{4, "Smrek", 40, 12.5}, {9, "Smrek", 40, 7.25}}, true},
        {"age differs", {{4, "Smrek", 40, 12.5}, {9, "Smrek", 41, 12.5}}, false},
        {"name differs", {{4, "Smrek", 40, 1}, {9, "Buk", 40, 1}}, false},
        {"null equals null", {{4, nullptr, std::nullopt, 1}, {9, nullptr, std::nullopt, 2}}, true},
        {"null differs from 0", {{4, "Smrek", std::nullopt, 1}, {9, "Smrek", 0, 2}}, false},
        {"the row of the area's own number, whatever the order",
         {{9, "Buk", 3, 1}, {2, "Smrek", 40, 1}, {4, "Buk", 3, 8}},
         true},
    };
    for (const auto& c : cases) {
        Open(10, c.rows);
        EXPECT_EQ(Match(1), c.alike) << c.what;
    }
}

TEST_F(BlkAdjacentTest, MissingAreaIsAnError) {
    Open(10, std::nullopt, 8);  // area 9 is gone
    EXPECT_EQ(ThrownMessage<EBlkFeatureNotExist>([&] { Match(1); }), NotExist('P', 9));
    blk.Close();
    EXPECT_THROW(blk.AdjacentAreasMatch(MakeLine(1)), EBlkNotOpened);
    TBlkLine inner = MakeLine(2);
    inner.NextA = inner.PrevA = inner.NextB = inner.PrevB = 2;
    inner.AreaA = inner.AreaB = 4;
    EXPECT_THROW(blk.AdjacentAreasMatch(inner), EBlkNotOpened);
}

}  // namespace
