#include "standard/StandardTestSupport.h"
#include "access/AccessDb.h"
#include "access/JetImport.h"

#include <gtest/gtest.h>

#include <map>

using namespace vexa;

// The tables' values reach the standard's lists (the standard's tests); here what the lists cannot show.
TEST(JetImport, CopiesUserTablesWithTypesAndNullsApart) {
    testkit::TempDir dir;
    ImportJetDatabase(stdtest::DataFile("StandardGXD.mdb"), dir / "work.sqlite");
    TAccessDb db(dir / "work.sqlite");
    EXPECT_FALSE(db.TableExists("MSysObjects"));
    EXPECT_EQ(db.SelectNative("select (select count(*) from Vrstvy), count(*), (select count(*) from DBAtrib), "
                              "typeof(Kod), typeof(Uhol0) from Prvky")
                  .Rows,
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
    EXPECT_EQ(queries,
              (std::vector<std::pair<std::string, std::string>>{
                  {"qFmtJprl", "UPDATE TestTab SET TestTab.JPRL = UCase(Trim([JPRL]))"},
                  {"qGenPlocha", "UPDATE TestTab SET TestTab.PLOCHA_HA = 0 WHERE TestTab.PLOCHA_HA Is Null"},
                  {"qTestJprl", "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.JPRL Is Null Or Len(TestTab.JPRL)=0"},
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

// The saved queries of real Access files, as Access shows them: every join condition,
// the parameter, the union from its stored parts, crosstab by its parts.
TEST(JetImport, RebuildsEveryQueryKindOfRealFiles) {
    const std::map<std::string, std::pair<std::string, std::string>> expected = {
        {"SelectQuery",
         {"select",
          "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3 FROM (Table1 LEFT JOIN Table3 ON "
          "Table1.col1 = Table3.col1) INNER JOIN Table2 ON (Table3.col1 = Table2.col1) AND (Table3.col1 = "
          "Table2.col2) WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\"))) ORDER BY "
          "Table2.col1"}},
        {"UpdateQuery",
         {"update",
          "PARAMETERS [User Name] Text ( 255 ); UPDATE Table1 SET Table1.col1 = \"foo\", Table1.col2 = "
          "[Table2].[col3], [Table2].[col1] = [User Name] WHERE ((([Table2].[col1]) Is Not Null))"}},
        {"AppendQuery",
         {"append",
          "INSERT INTO Table3 (col2, col2, col3) SELECT [Table1].[col2], [Table2].[col2], [Table2].[col3] "
          "FROM Table3, Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1]"}},
        {"DeleteQuery",
         {"delete", "DELETE Table1.col1, Table1.col2, Table1.col3 FROM Table1 WHERE (((Table1.col1)>\"blah\"))"}},
        {"MakeTableQuery",
         {"make-table",
          "SELECT Max(Table2.col1) AS MaxOfcol1, Table2.col2, Table3.col2 INTO Table4 FROM (Table2 INNER "
          "JOIN Table1 ON Table2.col1 = Table1.col2) RIGHT JOIN Table3 ON Table1.col2 = Table3.col3 GROUP "
          "BY Table2.col2, Table3.col2 HAVING (((Max(Table2.col1))=\"buzz\") AND "
          "((Table2.col2)<>\"blah\"))"}},
        {"CrosstabQuery",
         {"crosstab",
          "TRANSFORM Count([Table2].[col2]) AS CountOfcol2 SELECT Table2_1.col1, [Table2].[col3], "
          "Avg(Table2_1.col2) AS AvgOfcol2 FROM (Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1]) "
          "INNER JOIN Table2 AS Table2_1 ON [Table2].[col1]=Table2_1.col3 WHERE ((([Table1].[col1])>\"10\") "
          "And ((Table2_1.col1) Is Not Null) And ((Avg(Table2_1.col2))>\"10\")) GROUP BY Table2_1.col1, "
          "[Table2].[col3] ORDER BY [Table2].[col3] PIVOT [Table1].[col1]"}},
        {"UnionQuery",
         {"union",
          "Select Table1.col1, Table1.col2\r\nwhere Table1.col1 = \"foo\"\r\nUNION\r\nSelect Table2.col1, "
          "Table2.col2 UNION ALL Select Table3.col1, Table3.col2\r\nwhere Table3.col3 > \"blah\""}},
        {"PassthroughQuery", {"pass-through", "ALTER TABLE Table4 DROP COLUMN col5;"}},
        {"DataDefinitionQuery", {"data-definition", "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);"}},
    };
    for (const char* file : {"mdb-real/jk_queryTestV2000.mdb", "mdb-real/jk_queryTestV1997.mdb"}) {
        std::map<std::string, std::pair<std::string, std::string>> rebuilt;
        for (const auto& q : ReadJetSavedQueries(stdtest::DataFile(file))) rebuilt[q.Name] = {q.Kind, q.Sql};
        EXPECT_EQ(rebuilt, expected) << file;
    }
}

TEST(JetImport, RealSavedQueriesRunOrAreRefusedByName) {
    testkit::TempDir dir;
    ImportJetDatabase(stdtest::DataFile("mdb-real/jk_queryTestV2000.mdb"), dir / "work.sqlite");
    TAccessDb db(dir / "work.sqlite");
    db.ExecuteNative(
        "insert into Table1 values ('fOO', 'x', '1'), ('b', 'y', '2'), ('c', 'z', '3');"
        "insert into Table3 values ('Foo', 'p', 'q'), ('B', 'r', 's');"
        "insert into Table2 values ('foo', 'FOO', 'k'), ('foo', 'buzz', 'm'), ('b', 'b', 'n');");
    // Both join conditions hold (Table3.col1 = Table2.col1 And Table3.col1 = Table2.col2, text ignoring
    // case): the row ('foo', 'buzz') meets the first only.
    EXPECT_EQ(db.RunSaved("selectquery").Rows, (std::vector<TDbRow>{{"fOO", "x", "1", "foo", "FOO", "q"}}));
    EXPECT_EQ(db.RunSaved("SelectQuery").Columns.size(), 6u);
    // A saved query that changes another table than TestTab is refused by the guard
    // (a standard's queries change only the table under test) ...
    std::string message;
    try {
        db.ExecuteSaved("UpdateQuery");
    } catch (const EAccessDbError& e) {
        message = e.what();
    }
    EXPECT_EQ(message, "Uložený dotaz bol odmietnutý: zmena tabuľky Table1\r(UpdateQuery)");
    // ... so the action queries' rebuilt text is run here as plain statements.
    auto run = [&](const std::string& name) { return db.Execute(*db.SavedQuerySql(name)); };
    // The parameter is named when it has no value.
    message.clear();
    try {
        run("UpdateQuery");
    } catch (const EAccessDbError& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("The parameter has no value: User Name."), std::string::npos) << message;
    // The crosstab runs; its rebuilt WHERE holds an aggregate (Avg), which the engine refuses.
    message.clear();
    try {
        db.RunSaved("CrosstabQuery");
    } catch (const EAccessDbError& e) {
        message = e.what();
    }
    EXPECT_EQ(message, "Uložený dotaz CrosstabQuery sa nepodarilo vykonať.\r(misuse of aggregate: Avg())");
    EXPECT_EQ(db.SavedQueryKind("CrosstabQuery"), "crosstab");
    // Queries that cannot run here are refused by name and kind.
    for (const auto& [name, kind] :
         std::vector<std::pair<std::string, std::string>>{{"PassthroughQuery", "pass-through"},
                                                          {"DataDefinitionQuery", "data-definition"}}) {
        message.clear();
        try {
            db.RunSaved(name);
        } catch (const EAccessDbError& e) {
            message = e.what();
        }
        EXPECT_EQ(message,
                  "The saved query " + name + " is a " + kind + " query, which cannot be run here.\r(" + name + ")");
        EXPECT_EQ(db.SavedQueryKind(name), kind);
    }
    // Text compared by Access's order: "fOO" and "c" sort after "blah", "b" before it.
    EXPECT_EQ(run("DeleteQuery"), 2);
    EXPECT_EQ(db.SelectNative("select col1 from Table1").Rows, (std::vector<TDbRow>{{"b"}}));
    run("MakeTableQuery");
    EXPECT_TRUE(db.TableExists("Table4"));
    EXPECT_EQ(run("AppendQuery"), 2);
}
