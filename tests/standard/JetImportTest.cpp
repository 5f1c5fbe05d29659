#include "StandardTestSupport.h"
#include "standard/AccessDb.h"
#include "standard/JetImport.h"

#include <gtest/gtest.h>

using namespace vexa;

TEST(JetImport, CopiesUserTablesWithTypesAndNullsApart) {
    testkit::TempDir dir;
    ImportJetDatabase(stdtest::DataFile("StandardGXD.mdb"), dir / "work.sqlite");
    TAccessDb db(dir / "work.sqlite");
    EXPECT_TRUE(db.TableExists("DBAtrib"));
    EXPECT_FALSE(db.TableExists("MSysObjects"));
    EXPECT_EQ(db.SelectNative("select Popis, IDDB from Podpis").Rows,
              (std::vector<TDbRow>{{"Štandard GXD – skúšobný", "#S#t#d#G#X#D#"}}));

    auto vrstvy = db.SelectNative("select Vrstva, LenPlochy from Vrstvy");
    ASSERT_EQ(vrstvy.Rows.size(), 6u);
    EXPECT_EQ(vrstvy.Rows[0], (TDbRow{"LE", 0}));
    EXPECT_EQ(vrstvy.Rows[1], (TDbRow{"po", -1}));

    auto prvky = db.SelectNative("select Typ, Kod, Vrstvy, Uhol0, typeof(Kod), typeof(Uhol0) from Prvky");
    ASSERT_EQ(prvky.Rows.size(), 13u);
    EXPECT_EQ(prvky.Rows[3], (TDbRow{"L", 12, "HR;CE", 0, "integer", "integer"}));
    EXPECT_EQ(prvky.Rows[4], (TDbRow{"B", 5, "LE", -1, "integer", "integer"}));
    EXPECT_EQ(prvky.Rows[11][2], TDbValue(std::string()));  // zero-length text
    EXPECT_TRUE(prvky.Rows[12][2].IsNull());                // NULL

    auto atrib = db.SelectNative("select Meno, Velkost, Deci, QFormat, QGenerate, QTest from DBAtrib order by rowid");
    ASSERT_EQ(atrib.Rows.size(), 6u);
    EXPECT_EQ(atrib.Rows[1], (TDbRow{"PLOCHA_HA", 12, 2, {}, "qGenPlocha", "qTestPlocha"}));
    EXPECT_EQ(db.SavedQueryNames(),
              (std::vector<std::string>{"qFmtJprl", "qGenPlocha", "qTestJprl", "qTestPlocha", "qTestTyp"}));
}

TEST(JetImport, RebuildsSavedQueriesFromTheirDefinitions) {
    std::vector<std::pair<std::string, std::string>> queries;
    for (const auto& q : ReadJetSavedQueries(stdtest::DataFile("StandardGXD.mdb"))) queries.emplace_back(q.Name, q.Sql);
    EXPECT_EQ(queries, (std::vector<std::pair<std::string, std::string>>{
                           {"qFmtJprl", "UPDATE TestTab SET TestTab.JPRL = UCase(Trim([JPRL]))"},
                           {"qGenPlocha", "UPDATE TestTab SET TestTab.PLOCHA_HA = 0 WHERE TestTab.PLOCHA_HA Is Null"},
                           {"qTestJprl",
                            "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.JPRL Is Null Or Len(TestTab.JPRL)=0"},
                           {"qTestPlocha", "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.PLOCHA_HA<=0"},
                           {"qTestTyp", "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.TYP Not In (\"A\",\"B\",\"C\")"},
                       }));
}

TEST(JetImport, FormatIsToldByContent) {
    // Files of either form under either name are opened by the standard's tests; text and no file are neither.
    EXPECT_EQ(DetectDbFileFormat(stdtest::DataFile("StandardGXD.sql")), TDbFileFormat::Unknown);
    EXPECT_EQ(DetectDbFileFormat(stdtest::DataFile("missing.mdb")), TDbFileFormat::Unknown);
    EXPECT_EQ(ReadJetPassword(stdtest::DataFile("StandardGXD.sql")), std::nullopt);
    EXPECT_EQ(ReadJetPassword(stdtest::DataFile("StandardGXD.mdb")), std::optional<std::string>(""));
}
