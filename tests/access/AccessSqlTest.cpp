#include "standard/StandardTestSupport.h"
#include "access/AccessDb.h"
#include "access/AccessSql.h"

#include <gtest/gtest.h>

using namespace vexa;

namespace {

class AccessSqlTest : public ::testing::Test {
protected:
    void SetUp() override {
        stdtest::BuildSqlite(
            dir_ / "work.sqlite",
            "create table T (Cislo INTEGER, Meno TEXT COLLATE NOCASE, Plocha REAL);"
            "insert into T values (1, 'Buk', 2.5), (2, NULL, NULL), (3, 'dub', 0), (10, '', 7);"
            "create table TestTab as select * from T;"
            "create table Dotazy (Nazov TEXT, SQL TEXT);"
            "insert into Dotazy values ('qBad', 'SELECT T.Cislo FROM T WHERE T.Meno Is Null Or "
            "Len(T.Meno)=0;'), ('qFix', 'UPDATE TestTab SET TestTab.Plocha = 0 WHERE TestTab.Plocha Is Null;'),"
            "('qBroken', 'SELECT Nic FROM Nowhere');");
        db_ = std::make_unique<TAccessDb>(dir_ / "work.sqlite");
    }
    // The message of the data-access error a statement raises.
    template <typename F>
    static std::string Error(F run) {
        try {
            run();
        } catch (const EAccessDbError& e) {
            return e.what();
        }
        return "(no error)";
    }
    testkit::TempDir dir_;
    std::unique_ptr<TAccessDb> db_;
};

struct Case {
    const char* Text;
    const char* Expected;
};

}  // namespace

TEST(AccessSqlTranslation, RewritesToSqliteKeepingAccessPrecedence) {
    const Case cases[] = {
        {"select UCase(Vrstva), LenPlochy from Vrstvy", "select access_ucase(Vrstva), LenPlochy from Vrstvy"},
        {"SELECT [a b].[x] FROM [a b] WHERE x = \"it's\" Or y = 'q'",
         "SELECT \"a b\".\"x\" FROM \"a b\" WHERE (x = 'it''s' COLLATE NOCASE OR y = 'q' COLLATE NOCASE)"},
        {"UPDATE TestTab SET TestTab.JPRL = UCase(Trim([JPRL])), [TestTab].[B]=1;",
         "UPDATE TestTab SET JPRL = access_ucase(access_trim(\"JPRL\")), \"B\" = 1"},
        {"DELETE TestTab.* FROM TestTab WHERE x=True", "DELETE FROM TestTab WHERE x = -1"},
        {"SELECT DISTINCTROW TOP 2 a FROM t ORDER BY a DESC",
         "SELECT a FROM t ORDER BY a DESC LIMIT (SELECT count(*) FROM (SELECT rank() OVER (ORDER BY a DESC) AS "
         "vexa_rank FROM t) WHERE vexa_rank <= 2)"},
        {"SELECT DISTINCT TOP 2 a FROM t", "SELECT DISTINCT a FROM t LIMIT 2"},
        {"select * from t where d > #6/5/2004# and d < #2004-06-07 13:05:00#",
         "select * from t where (d > '2004-06-05' AND d < '2004-06-07 13:05:00')"},
        {"select a & b + 1 = c", "select (-(access_concat(a, access_add(b, 1)) = c))"},
        {"select a & b & c", "select access_concat(access_concat(a, b), c)"},
        {"select a * b / -c", "select access_div(access_mul(a, b), - c)"},
        {"select x - 7 \\ 2 Mod 3", "select access_sub(x, access_mod(access_idiv(7, 2), 3))"},
        {"select Left(t.a, 2) & [b]", "select access_concat(access_left(t.a, 2), \"b\")"},
        {"select -2 ^ 2", "select - access_pow(2, 2)"},
        // Truth values: -1 where the value is shown, SQLite's own form where only truth counts.
        {"select a = b, Not a = b from t where Not a = b or (c Like 'x' And d In (1, 2))",
         "select (-(a = b)), (-((NOT a = b))) from t where ((NOT a = b) OR ((c LIKE 'x' COLLATE NOCASE AND d IN (1, "
         "2))))"},
        {"select 5 And 3 from t inner join u on t.a = u.b and t.c <> u.d where x",
         "select access_and(5, 3) from t inner join u on (t.a = u.b AND t.c <> u.d) where x"},
    };
    for (const auto& c : cases) EXPECT_EQ(TranslateAccessSql(c.Text), c.Expected) << c.Text;
    for (const char* broken : {"select \"abc", "select [abc", "select a &", "select (a & b", "select a { b"})
        EXPECT_THROW(TranslateAccessSql(broken), EAccessDbError) << broken;
}

TEST_F(AccessSqlTest, FunctionsAndOperatorsGiveAccessResults) {
    const struct {
        const char* Expr;
        TDbValue Expected;
    } cases[] = {
        // Text functions count characters and know diacritics.
        {"UCase(\"štandard ľô\")", "ŠTANDARD ĽÔ"},
        {"LCase(\"ŽĽTÝ\")", "žľtý"},
        {"Len(\"čšňa\")", 4},
        {"Len(Null)", {}},
        {"Left(\"čšňa\", 2)", "čš"},
        {"Right(\"čšňa\", 3)", "šňa"},
        {"Mid(\"abcdef\", 2, 3)", "bcd"},
        {"Mid(\"abcdef\", 4)", "def"},
        {"Mid(\"abc\", 5)", ""},
        {"Trim(\"  a b  \") & \"|\" & LTrim(\" x \") & \"|\" & RTrim(\" y \")", "a b|x | y"},
        // InStr with its start and compare arguments; text compare by default in queries.
        {"InStr(1, \"LE,PO\", \"po\", 1)", 4},
        {"InStr(1, \"LE,PO\", \"po\", 0)", 0},
        {"InStr(\"LE,PO\", \"po\")", 4},
        {"InStr(4, \"abcabc\", \"a\")", 4},
        {"InStr(5, \"abcabc\", \"a\")", 0},
        {"InStr(\"abc\", \"\")", 1},
        {"InStr(\"\", \"\")", 0},
        {"InStr(1, \"čšň\", \"Ň\", 1)", 3},
        {"InStr(1, Null, \"a\", 1)", {}},
        // Nulls, conversions and arithmetic.
        {"\"a\" & Null", "a"},
        {"Null & Null", {}},
        {"1 & 2.5", "12.5"},
        {"7 / 2", 3.5},
        {"7 \\ 2", 3},
        {"-7 Mod 3", -1},
        {"2 ^ 3 ^ 2", 64.0},
        {"IIf(1 > 2, \"y\", \"n\")", "n"},
        {"IIf(Null, \"y\", \"n\")", "n"},
        {"Nz(Null, 5)", 5},
        {"Nz(Null)", ""},
        {"IsNull(Null)", -1},
        {"IsNull(0)", 0},
        {"True", -1},
        {"False", 0},
        {"Val(\" 1 2.5abc\")", 12.5},
        {"Val(\"abc\")", 0.0},
        {"CStr(1.5)", "1.5"},
        {"CStr(3.0)", "3"},
        {"CInt(2.5)", 2},
        {"CInt(3.5)", 4},
        {"CLng(\"123\")", 123},
        {"CDbl(\"2.25\")", 2.25},
        {"Int(-2.5)", -3},
        {"Abs(-3)", 3},
        {"Round(2.5)", 2.0},
        {"Round(0.125, 2)", 0.12},
        // Like with * ? # and [ranges]; % and _ are plain characters.
        {"\"Abc\" Like \"a*\"", -1},
        {"\"a1\" Like \"a#\"", -1},
        {"\"ab\" Like \"a#\"", 0},
        {"\"abc\" Like \"a?c\"", -1},
        {"\"b\" Like \"[a-c]\"", -1},
        {"\"d\" Like \"[!a-c]\"", -1},
        {"\"ab\" Like \"a%\"", 0},
        {"\"a_\" Like \"a_\"", -1},
        {"\"K-1234x\" Not Like \"K-####*\"", 0},
        {"\"čaj\" Like \"Č*\"", -1},
    };
    for (const auto& c : cases) {
        const auto r = db_->Select(std::string("select ") + c.Expr);
        ASSERT_EQ(r.Rows.size(), 1u) << c.Expr;
        EXPECT_EQ(r.Rows[0][0], c.Expected) << c.Expr;
    }
    const Case errors[] = {{"Left(\"abc\", -1)", "Invalid procedure call or argument"},
                           {"1 / 0", "Division by zero"},
                           {"CInt(40000)", "Overflow"},
                           {"CStr(Null)", "Invalid use of Null"},
                           {"CDbl(\"abc\")", "Type mismatch"},
                           {"[Nie] from T", "no such column: Nie"}};
    for (const auto& c : errors)
        EXPECT_EQ(Error([&] { db_->Select(std::string("select ") + c.Text); }), c.Expected) << c.Text;
}

TEST_F(AccessSqlTest, RunsStatementsAndSavedQueriesOnTables) {
    // Saved queries by name, ignoring case, and as tables of FROM.
    EXPECT_EQ(db_->SavedQueryNames(), (std::vector<std::string>{"qBad", "qFix", "qBroken"}));
    EXPECT_EQ(db_->Select("select Cislo from qbad order by Cislo").Rows, (std::vector<TDbRow>{{2}, {10}}));
    EXPECT_EQ(db_->ExecuteSaved("QFIX"), 1);
    EXPECT_EQ(db_->Select("select Plocha from TestTab where Cislo = 2").Rows[0][0], TDbValue(0.0));
    // What the SQL engine says is the detail of a Slovak message naming the query.
    EXPECT_EQ(Error([&] { db_->ExecuteSaved("qBroken"); }),
              "Uložený dotaz qBroken sa nepodarilo vykonať.\r(no such table: Nowhere)");
    db_->ExecuteNative("insert into Dotazy values ('qSyntax', 'SELECT T.Cislo FROM T X Y'), "
                       "('qColumn', 'SELECT T.Nikde FROM T')");
    EXPECT_EQ(Error([&] { db_->ExecuteSaved("qSyntax"); }),
              "Uložený dotaz qSyntax sa nepodarilo vykonať.\r(near \"Y\": syntax error)");
    EXPECT_EQ(Error([&] { db_->ExecuteSaved("qColumn"); }),
              "Uložený dotaz qColumn sa nepodarilo vykonať.\r(no such column: T.Nikde)");
    EXPECT_EQ(Error([&] { db_->ExecuteSaved("qMissing"); }), "Saved query not found.\r(qMissing)");
    auto r = db_->Select(
        "SELECT [T].Cislo FROM T WHERE T.Meno Not In (\"BUK\", \"x\") Or T.Plocha Between 5 And 8 "
        "ORDER BY 1");
    // Text compares ignore case, as in Access; NULL is never in or out.
    EXPECT_EQ(r.Rows, (std::vector<TDbRow>{{3}, {10}}));
    EXPECT_EQ(r.ColumnIndex("cislo"), 0);
    EXPECT_EQ(db_->Execute("UPDATE T SET T.Meno = UCase(T.Meno) & \"!\" WHERE T.Meno Is Not Null"), 3);
    EXPECT_EQ(db_->Select("select Meno from T where Cislo = 3").Rows[0][0], TDbValue("DUB!"));
    EXPECT_THROW(db_->Execute("UPDATE T SET Meno = UCase([Nie])"), EAccessDbError);  // a bracketed name is no text

    EXPECT_EQ(db_->Execute("DELETE * FROM T WHERE T.Cislo > 5"), 1);

    // A batch is whole or nothing.
    db_->ExecuteNative("create table B (a INTEGER NOT NULL, b TEXT)");
    db_->ExecuteNativeBatch("insert into B values (?, ?)", {{TDbValue(1), TDbValue("x")}, {TDbValue(2), TDbValue()}});
    EXPECT_THROW(db_->ExecuteNativeBatch("insert into B values (?, ?)",
                                         {{TDbValue(3), TDbValue("y")}, {TDbValue(), TDbValue("z")}}),
                 EAccessDbError);
    EXPECT_EQ(db_->SelectNative("select count(*) from B").Rows[0][0], TDbValue(2));
}
