#include "StandardTestSupport.h"
#include "kit/BlockKit.h"
#include "standard/AccessDb.h"
#include "standard/JetImport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vexa;

namespace {

std::string Work(const testkit::TempDir& dir) { return dir / "work.sqlite"; }

} // namespace

TEST(JetImport, CopiesUserTablesWithTypesAndNullsApart) {
    testkit::TempDir dir;
    ImportJetDatabase(stdtest::DataFile("StandardGXD.mdb"), Work(dir));
    TAccessDb db(Work(dir));
    EXPECT_TRUE(db.TableExists("Podpis"));
    EXPECT_TRUE(db.TableExists("DBAtrib"));
    EXPECT_FALSE(db.TableExists("MSysObjects"));

    auto podpis = db.SelectNative("select Popis, IDDB from Podpis");
    ASSERT_EQ(podpis.Rows.size(), 1u);
    EXPECT_EQ(podpis.Rows[0][0], TDbValue("Štandard GXD – skúšobný"));
    EXPECT_EQ(podpis.Rows[0][1], TDbValue("#S#t#d#G#X#D#"));

    auto vrstvy = db.SelectNative("select Vrstva, LenPlochy from Vrstvy");
    ASSERT_EQ(vrstvy.Rows.size(), 6u);
    EXPECT_EQ(vrstvy.Rows[1], (TDbRow{TDbValue("po"), TDbValue(-1)}));
    EXPECT_EQ(vrstvy.Rows[0], (TDbRow{TDbValue("LE"), TDbValue(0)}));

    auto prvky = db.SelectNative("select Typ, Kod, Vrstvy, Uhol0 from Prvky");
    ASSERT_EQ(prvky.Rows.size(), 13u);
    EXPECT_EQ(prvky.Rows[3], (TDbRow{TDbValue("L"), TDbValue(12), TDbValue("HR;CE"), TDbValue(0)}));
    EXPECT_EQ(prvky.Rows[4], (TDbRow{TDbValue("B"), TDbValue(5), TDbValue("LE"), TDbValue(-1)}));
    EXPECT_EQ(prvky.Rows[11][2], TDbValue(std::string()));  // zero-length text
    EXPECT_TRUE(prvky.Rows[12][2].IsNull());                // NULL

    auto types = db.SelectNative("select typeof(Kod), typeof(Uhol0) from Prvky limit 1");
    EXPECT_EQ(types.Rows[0], (TDbRow{TDbValue("integer"), TDbValue("integer")}));

    auto atrib = db.SelectNative("select Meno, Velkost, Deci, QFormat, QGenerate, QTest from DBAtrib order by rowid");
    ASSERT_EQ(atrib.Rows.size(), 6u);
    EXPECT_EQ(atrib.Rows[1], (TDbRow{TDbValue("PLOCHA_HA"), TDbValue(12), TDbValue(2), TDbValue(), TDbValue("qGenPlocha"),
                                     TDbValue("qTestPlocha")}));
}

TEST(JetImport, ReadsTheHeaderPassword) {
    EXPECT_EQ(ReadJetPassword(stdtest::DataFile("StandardGXD_pw.mdb")), std::optional<std::string>("Gxd8Wqs4"));
    EXPECT_EQ(ReadJetPassword(stdtest::DataFile("StandardGXD.mdb")), std::optional<std::string>(""));
    EXPECT_EQ(ReadJetPassword(stdtest::DataFile("StandardGXD.sql")), std::nullopt);

    // The stored password is masked byte by byte: a changed byte changes one letter.
    testkit::TempDir dir;
    auto bytes = testkit::ReadFileBytes(stdtest::DataFile("StandardGXD_pw.mdb"));
    bytes[0x42] ^= static_cast<unsigned char>('G' ^ 'H');
    testkit::WriteFileBytes(dir / "other.mdb", bytes);
    EXPECT_EQ(ReadJetPassword(dir / "other.mdb"), std::optional<std::string>("Hxd8Wqs4"));
}

TEST(JetImport, RebuildsSavedQueriesFromTheirDefinitions) {
    const auto queries = ReadJetSavedQueries(stdtest::DataFile("StandardGXD.mdb"));
    ASSERT_EQ(queries.size(), 5u);
    EXPECT_EQ(queries[0].Name, "qFmtJprl");
    EXPECT_EQ(queries[0].Sql, "UPDATE TestTab SET TestTab.JPRL = UCase(Trim([JPRL]))");
    EXPECT_EQ(queries[1].Name, "qGenPlocha");
    EXPECT_EQ(queries[1].Sql, "UPDATE TestTab SET TestTab.PLOCHA_HA = 0 WHERE TestTab.PLOCHA_HA Is Null");
    EXPECT_EQ(queries[2].Name, "qTestJprl");
    EXPECT_EQ(queries[2].Sql, "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.JPRL Is Null Or Len(TestTab.JPRL)=0");
    EXPECT_EQ(queries[3].Sql, "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.PLOCHA_HA<=0");
    EXPECT_EQ(queries[4].Name, "qTestTyp");
    EXPECT_EQ(queries[4].Sql, "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.TYP Not In (\"A\",\"B\",\"C\")");
}

TEST(JetImport, RebuiltSavedQueriesRunOnTestTab) {
    testkit::TempDir dir;
    ImportJetDatabase(stdtest::DataFile("StandardGXD.mdb"), Work(dir));
    TAccessDb db(Work(dir));
    EXPECT_EQ(db.SavedQueryNames(),
              (std::vector<std::string>{"qFmtJprl", "qGenPlocha", "qTestJprl", "qTestPlocha", "qTestTyp"}));
    db.ExecuteNative("create table TestTab (Cislo INTEGER, JPRL TEXT COLLATE NOCASE, PLOCHA_HA REAL, "
                     "TYP TEXT COLLATE NOCASE)");
    db.ExecuteNative("insert into TestTab values (1, ' 12a ', 1.5, 'a'), (2, NULL, NULL, 'B'), "
                     "(3, '', -2, 'D'), (4, 'x', 3, NULL)");
    EXPECT_EQ(db.ExecuteSaved("qFmtJprl"), 4);
    EXPECT_EQ(db.ExecuteSaved("qGenPlocha"), 1);
    auto values = db.SelectNative("select JPRL, PLOCHA_HA from TestTab order by Cislo");
    EXPECT_EQ(values.Rows[0], (TDbRow{TDbValue("12A"), TDbValue(1.5)}));
    EXPECT_EQ(values.Rows[1], (TDbRow{TDbValue(), TDbValue(0.0)}));
    auto numbers = [&](const std::string& query) {
        std::vector<std::int64_t> out;
        for (const auto& row : db.Select("select Cislo from " + query + " order by 1").Rows)
            out.push_back(row[0].AsInteger());
        return out;
    };
    EXPECT_EQ(numbers("qTestJprl"), (std::vector<std::int64_t>{2, 3}));
    EXPECT_EQ(numbers("qTestPlocha"), (std::vector<std::int64_t>{2, 3}));
    EXPECT_EQ(numbers("qTestTyp"), (std::vector<std::int64_t>{3}));  // "a" is in the list ignoring case; NULL is not reported
}

TEST(DbFileFormat, IsToldByContent) {
    testkit::TempDir dir;
    stdtest::BuildSqlite(dir / "plain.mdb", "create table x (a)");
    EXPECT_EQ(DetectDbFileFormat(dir / "plain.mdb"), TDbFileFormat::SQLite);
    EXPECT_EQ(DetectDbFileFormat(stdtest::DataFile("StandardGXD.mdb")), TDbFileFormat::Jet);
    EXPECT_EQ(DetectDbFileFormat(stdtest::DataFile("StandardGXD.sql")), TDbFileFormat::Unknown);
    EXPECT_EQ(DetectDbFileFormat(dir / "missing.mdb"), TDbFileFormat::Unknown);
}
