#include "StandardTestSupport.h"
#include "standard/AccessDb.h"
#include "standard/JetImport.h"

#include <gtest/gtest.h>

using namespace vexa;

// The tables' values reach the standard's lists (the standard's tests); here what the lists cannot show.
TEST(JetImport, CopiesUserTablesWithTypesAndNullsApart) {
    testkit::TempDir dir;
    ImportJetDatabase(stdtest::DataFile("StandardGXD.mdb"), dir / "work.sqlite");
    TAccessDb db(dir / "work.sqlite");
    EXPECT_FALSE(db.TableExists("MSysObjects"));
    EXPECT_EQ(db.SelectNative("select (select count(*) from Vrstvy), count(*), (select count(*) from DBAtrib), "
                              "typeof(Kod), typeof(Uhol0) from Prvky").Rows,
              (std::vector<TDbRow>{{6, 13, 6, "integer", "integer"}}));
    auto prvky = db.SelectNative("select Vrstvy from Prvky where rowid in (12, 13) order by rowid");
    EXPECT_EQ(prvky.Rows, (std::vector<TDbRow>{{""}, {TDbValue()}}));  // zero-length text, then NULL
    auto atrib = db.SelectNative("select Meno, Velkost, Deci, QFormat, QGenerate, QTest from DBAtrib order by rowid");
    EXPECT_EQ(atrib.Rows.at(1), (TDbRow{"PLOCHA_HA", 12, 2, {}, "qGenPlocha", "qTestPlocha"}));
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
                           {"qTestTyp",
                            "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.TYP Not In (\"A\",\"B\",\"C\")"},
                       }));
}

TEST(JetImport, FormatIsToldByContent) {
    // Files of either form under either name are opened by the standard's tests; text and no file are neither.
    EXPECT_EQ(DetectDbFileFormat(stdtest::DataFile("StandardGXD.sql")), TDbFileFormat::Unknown);
    EXPECT_EQ(DetectDbFileFormat(stdtest::DataFile("missing.mdb")), TDbFileFormat::Unknown);
    EXPECT_EQ(ReadJetPassword(stdtest::DataFile("StandardGXD.sql")), std::nullopt);
    EXPECT_EQ(ReadJetPassword(stdtest::DataFile("StandardGXD.mdb")), std::optional<std::string>(""));
}
