// The attribute rows kept for a check run: the same values and errors as the
// block's single-row read, the alike test, and a fresh read when a table changes.
#include "checks/CheckTestSupport.h"
#include "dbase/TableDBF.h"
#include "standard/CheckRunCache.h"
#include "run/OptionMasks.h"

#include <filesystem>
#include <thread>

using namespace vexa;
using namespace vexa::checkstest;
using testkit::BlockSpec;

namespace {

TFldValList Vals(std::initializer_list<TFldVal> v) { return TFldValList(v); }

TEST(AttributeRowsAlike, ComparesOnlyTheColumnsOutsideTheGisOwn) {
    TFldValList a = Vals({{"CISLO", 1.0}, {"JPRL", std::string("1a")}, {"Plocha", 5.0}, {"DATUM", TValue{}}});
    TFldValList b = Vals({{"Cislo", 2.0}, {"jprl", std::string("1a")}, {"PLOCHA", 9.0}, {"DATUM", TValue{}}});
    EXPECT_TRUE(AttributeRowsAlike(a, b)) << "element number and area differ, names ignore case, nulls are equal";
    EXPECT_TRUE(AttributeRowsAlike({}, {}));
    EXPECT_FALSE(AttributeRowsAlike(a, {}));
    EXPECT_FALSE(AttributeRowsAlike({}, b));
    TFldValList c = b;
    c[1].Value = std::string("1b");
    EXPECT_FALSE(AttributeRowsAlike(a, c));
    c = b;
    c[3].Value = TDate{2020, 1, 1};
    EXPECT_FALSE(AttributeRowsAlike(a, c)) << "a null and a date differ";
    EXPECT_FALSE(AttributeRowsAlike(Vals({{"K", std::string("1")}}), Vals({{"K", 1.0}}))) << "types differ";
    EXPECT_FALSE(AttributeRowsAlike(Vals({{"K", 1.0}, {"M", 2.0}}), Vals({{"K", 1.0}})));
    EXPECT_FALSE(AttributeRowsAlike(Vals({{"K", 1.0}}), Vals({{"M", 1.0}}))) << "different columns";
    EXPECT_TRUE(AttributeRowsAlike(Vals({{"K", 1.0}, {"X", 5.0}}), Vals({{"k", 1.0}, {"y", 6.0}})))
        << "X and Y are the GIS's columns";
    EXPECT_TRUE(AttributeRowsAlike(Vals({{"CISLO", 1.0}}), Vals({{"CISLO", 2.0}, {"AREA", 3.0}})))
        << "rows of the GIS's columns only are alike";
}

class RunCache : public CheckFixture {
protected:
    void SetUp() override {
        CheckFixture::SetUp();
        testkit::AddAreaGrid(content, StandGrid(1, 3));
        block = Write(content);
    }
    // p0010.dbf with the columns Cislo and JPRL.
    void Table(const std::vector<std::vector<TValue>>& rows) {
        testkit::WriteTable(block + "/p0010.dbf",
                            {TTableDBF::MakeField("CISLO", TFldType::dbfNumeric, 10, 0),
                             TTableDBF::MakeField("JPRL", TFldType::dbfChar, 10, 0)},
                            rows);
    }
    BlockSpec content;
    std::string block;
    TCheckRunCache cache;
};

TEST_F(RunCache, RowsAsTheSingleRowReadGivesThem) {
    Table({{1.0, std::string("a")},
           {3.0, std::string("first")},
           {3.0, std::string("second")},
           {2.5, std::string("x")},
           {TValue{}, std::string("y")},
           {5.0, std::string("gone")},
           {6.0, std::string("f")}});
    {
        TTableDBF table;  // row 6 (element 5) is deleted
        table.SetDatabaseName(block);
        table.SetTableName("p0010.dbf");
        table.Open();
        for (table.First(); !table.Eof() && table.RecNo() != 6; table.Next()) {}
        table.DeleteCurrent();
        table.Close();
    }
    Open();
    cache.BeginPass(Blk);
    for (std::int32_t n = 0; n <= 7; ++n) {
        TFldValList cached, single;
        cache.ReadAreaAttributes(Blk, 10, n, cached);
        Blk.ReadAttributes(egArea, 10, n, single);
        EXPECT_EQ(cached, single) << "element " << n;
    }
    TFldValList values;
    cache.ReadAreaAttributes(Blk, 10, 3, values);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[1].Value, TValue(std::string("first")));
    cache.ReadAreaAttributes(Blk, 10, 5, values);
    EXPECT_TRUE(values.empty()) << "a deleted row is not read";
    cache.ReadAreaAttributes(Blk, 11, 1, values);
    EXPECT_TRUE(values.empty()) << "a kind without a table";
    EXPECT_EQ(cache.TableLoads(), 1);
}

TEST_F(RunCache, UnreadableTableRaisesTheSameError) {
    testkit::WriteTable(block + "/p0010.dbf", {TTableDBF::MakeField("JPRL", TFldType::dbfChar, 10, 0)},
                        {{std::string("a")}});  // no Cislo column
    Open();
    cache.BeginPass(Blk);
    TFldValList values;
    auto message = [](const auto& read) {
        try {
            read();
        } catch (const EBlkDBError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    const std::string single = message([&] { Blk.ReadAttributes(egArea, 10, 1, values); });
    EXPECT_FALSE(single.empty());
    EXPECT_EQ(message([&] { cache.ReadAreaAttributes(Blk, 10, 1, values); }), single);
}

TEST_F(RunCache, TableIsReadOncePerRunAndAgainWhenItChanges) {
    Table({{1.0, std::string("a")}, {2.0, std::string("a")}, {3.0, std::string("b")}});
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 1);
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 1);
    EXPECT_EQ(Standard->RunCache().TableLoads(), 1) << "unchanged table, same block: kept";
    // The table is rewritten between two passes (as the database pass may do).
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Table({{1.0, std::string("a")}, {2.0, std::string("b")}, {3.0, std::string("b")}});
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 1);
    EXPECT_EQ(Standard->RunCache().TableLoads(), 2);
    std::vector<TErrorRecord> rows = Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].Cislo, rows[1].Cislo);
    EXPECT_NE(rows[2].Cislo, rows[0].Cislo) << "the other middle line now separates alike areas";
    // Another block drops the rows of the first one.
    Write(content, "LE_2.blk");
    Open("LE_2.blk");
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 2) << "no table: every middle line";
    Open();
    EXPECT_EQ(Standard->CheckLines(Blk, LinPloZhoda, 0), 1);
    EXPECT_EQ(Standard->RunCache().TableLoads(), 3);
}

// Every line of a grid of stands whose rows have columns of each type (nulls, zeros
// of both signs, the GIS's own columns differing): the cached rows give the block's
// own answer.
TEST_F(RunCache, AlikeAnswersEqualTheBlockOwnOnTypedRows) {
    BlockSpec grid;
    testkit::AddAreaGrid(grid, StandGrid(4, 5));
    block = Write(grid, "LE_3.blk");
    const std::vector<TValue> texts = {std::string("a"), std::string("b"), TValue{}};
    const std::vector<TValue> numbers = {0.0, -0.0, 2.5, TValue{}};
    const std::vector<TValue> logicals = {true, false, TValue{}};
    const std::vector<TValue> dates = {TDate{2020, 1, 1}, TValue{}};
    std::vector<std::vector<TValue>> rows;
    for (int n = 1; n <= 20; ++n)
        rows.push_back({double(n), texts[(n / 4) % 3], numbers[(n / 2) % 4], logicals[(n / 9) % 3],
                        dates[(n / 11) % 2], double(n * 10)});
    rows.push_back({7.0, std::string("duplicate of 7, not used"), 1.0, true, TValue{}, 1.0});
    testkit::WriteTable(block + "/p0010.dbf",
                        {TTableDBF::MakeField("CISLO", TFldType::dbfNumeric, 10, 0),
                         TTableDBF::MakeField("JPRL", TFldType::dbfChar, 30, 0),
                         TTableDBF::MakeField("VYSKA", TFldType::dbfNumeric, 8, 2),
                         TTableDBF::MakeField("ZIVY", TFldType::dbfLogical, 1, 0),
                         TTableDBF::MakeField("DATUM", TFldType::dbfDate, 8, 0),
                         TTableDBF::MakeField("AREA", TFldType::dbfNumeric, 10, 0)},
                        rows);
    Open("LE_3.blk");
    TBlkLine line, header;
    Blk.ReadNextLine(header);
    int alike = 0, lines = 0;
    while (!Blk.LinesEof()) {
        Blk.ReadNextLine(line);
        const bool own = Blk.AdjacentAreasMatch(line);
        EXPECT_EQ(cache.AdjacentAreasMatch(Blk, line), own) << "line " << line.Number;
        alike += own && !TBlk::IsInnerLine(line) && TBlk::IsAreaLine(line) && line.AreaA >= 0 && line.AreaB >= 0;
        ++lines;
    }
    EXPECT_GT(lines, 40);
    EXPECT_GT(alike, 3) << "some neighbours must be alike for the test to mean something";
}

}  // namespace
