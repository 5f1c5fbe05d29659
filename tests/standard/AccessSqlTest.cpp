#include "StandardTestSupport.h"
#include "standard/AccessDb.h"
#include "standard/AccessSql.h"
#include "kit/BlockKit.h"

#include <gtest/gtest.h>

using namespace vexa;

namespace {

class AccessSqlTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_ / "work.sqlite";
        stdtest::BuildSqlite(path_,
                             "create table T (Cislo INTEGER, Meno TEXT COLLATE NOCASE, Plocha REAL);"
                             "insert into T values (1, 'Buk', 2.5), (2, NULL, NULL), (3, 'dub', 0), (10, '', 7);"
                             "create table Dotazy (Nazov TEXT, SQL TEXT);"
                             "insert into Dotazy values ('qBad', 'SELECT T.Cislo FROM T WHERE T.Meno Is Null Or "
                             "Len(T.Meno)=0;'), ('qFix', 'UPDATE T SET T.Plocha = 0 WHERE T.Plocha Is Null;'),"
                             "('qBroken', 'SELECT Nic FROM Nowhere');");
        db_ = std::make_unique<TAccessDb>(path_);
    }
    TDbValue Eval(const std::string& expr, const TDbParams& params = {}) {
        auto r = db_->Select("select " + expr, params);
        EXPECT_EQ(r.Rows.size(), 1u);
        return r.Rows.at(0).at(0);
    }
    std::string Error(const std::string& expr) {
        try {
            db_->Select("select " + expr);
        } catch (const EAccessDbError& e) {
            return e.what();
        }
        return "(no error)";
    }
    testkit::TempDir dir_;
    std::string path_;
    std::unique_ptr<TAccessDb> db_;
};

} // namespace

TEST(AccessSqlTranslation, RewritesStringsNamesAndStatements) {
    EXPECT_EQ(TranslateAccessSql("select UCase(Vrstva), LenPlochy from Vrstvy"),
              "select access_ucase(Vrstva), LenPlochy from Vrstvy");
    EXPECT_EQ(TranslateAccessSql("SELECT [a b].[x] FROM [a b] WHERE x = \"it's\" Or y = 'q'"),
              "SELECT \"a b\".\"x\" FROM \"a b\" WHERE x = 'it''s' Or y = 'q'");
    EXPECT_EQ(TranslateAccessSql("UPDATE TestTab SET TestTab.JPRL = UCase(Trim([JPRL])), [TestTab].[B]=1;"),
              "UPDATE TestTab SET JPRL = access_ucase(access_trim(\"JPRL\")), \"B\" = 1");
    EXPECT_EQ(TranslateAccessSql("DELETE TestTab.* FROM TestTab WHERE x=True"), "DELETE FROM TestTab WHERE x = -1");
    EXPECT_EQ(TranslateAccessSql("SELECT DISTINCTROW TOP 2 a FROM t ORDER BY a DESC"),
              "SELECT DISTINCT a FROM t ORDER BY a DESC LIMIT 2");
    EXPECT_EQ(TranslateAccessSql("select * from t where d > #6/5/2004# and d < #2004-06-07 13:05:00#"),
              "select * from t where d > '2004-06-05' and d < '2004-06-07 13:05:00'");
}

TEST(AccessSqlTranslation, OperatorsKeepAccessPrecedence) {
    EXPECT_EQ(TranslateAccessSql("select a & b + 1 = c"), "select access_concat(a, b + 1) = c");
    EXPECT_EQ(TranslateAccessSql("select a & b & c"), "select access_concat(access_concat(a, b), c)");
    EXPECT_EQ(TranslateAccessSql("select a * b / -c"), "select access_div(a * b, - c)");
    EXPECT_EQ(TranslateAccessSql("select x - 7 \\ 2 Mod 3"), "select x - access_mod(access_idiv(7, 2), 3)");
    EXPECT_EQ(TranslateAccessSql("select Left(t.a, 2) & [b]"), "select access_concat(access_left(t.a, 2), \"b\")");
    EXPECT_EQ(TranslateAccessSql("select -2 ^ 2"), "select - access_pow(2, 2)");
}

TEST(AccessSqlTranslation, RefusesBrokenText) {
    EXPECT_THROW(TranslateAccessSql("select \"abc"), EAccessDbError);
    EXPECT_THROW(TranslateAccessSql("select [abc"), EAccessDbError);
    EXPECT_THROW(TranslateAccessSql("select a &"), EAccessDbError);
    EXPECT_THROW(TranslateAccessSql("select (a & b"), EAccessDbError);
    EXPECT_THROW(TranslateAccessSql("select a { b"), EAccessDbError);
}

TEST_F(AccessSqlTest, TextFunctionsCountCharactersAndKnowDiacritics) {
    EXPECT_EQ(Eval("UCase(\"štandard ľô\")").AsText(), "ŠTANDARD ĽÔ");
    EXPECT_EQ(Eval("LCase(\"ŽĽTÝ\")").AsText(), "žľtý");
    EXPECT_EQ(Eval("Len(\"čšňa\")"), TDbValue(4));
    EXPECT_TRUE(Eval("Len(Null)").IsNull());
    EXPECT_EQ(Eval("Left(\"čšňa\", 2)").AsText(), "čš");
    EXPECT_EQ(Eval("Right(\"čšňa\", 3)").AsText(), "šňa");
    EXPECT_EQ(Eval("Mid(\"abcdef\", 2, 3)").AsText(), "bcd");
    EXPECT_EQ(Eval("Mid(\"abcdef\", 4)").AsText(), "def");
    EXPECT_EQ(Eval("Mid(\"abc\", 5)").AsText(), "");
    EXPECT_EQ(Eval("Trim(\"  a b  \") & \"|\" & LTrim(\" x \") & \"|\" & RTrim(\" y \")").AsText(), "a b|x | y");
    EXPECT_EQ(Error("Left(\"abc\", -1)"), "Invalid procedure call or argument");
}

TEST_F(AccessSqlTest, InStrFollowsStartAndCompareArguments) {
    EXPECT_EQ(Eval("InStr(1, \"LE,PO\", \"po\", 1)"), TDbValue(4));
    EXPECT_EQ(Eval("InStr(1, \"LE,PO\", \"po\", 0)"), TDbValue(0));
    EXPECT_EQ(Eval("InStr(\"LE,PO\", \"po\")"), TDbValue(4));  // text compare in queries
    EXPECT_EQ(Eval("InStr(4, \"abcabc\", \"a\")"), TDbValue(4));
    EXPECT_EQ(Eval("InStr(5, \"abcabc\", \"a\")"), TDbValue(0));
    EXPECT_EQ(Eval("InStr(\"abc\", \"\")"), TDbValue(1));
    EXPECT_EQ(Eval("InStr(\"\", \"\")"), TDbValue(0));
    EXPECT_EQ(Eval("InStr(1, \"čšň\", \"Ň\", 1)"), TDbValue(3));
    EXPECT_TRUE(Eval("InStr(1, Null, \"a\", 1)").IsNull());
    EXPECT_EQ(Eval("InStr(1, UCase(:v), :l, 1)", {{"v", "hr;ce"}, {"l", "CE"}}), TDbValue(4));
}

TEST_F(AccessSqlTest, NullsConversionsAndArithmeticFollowAccess) {
    EXPECT_EQ(Eval("\"a\" & Null").AsText(), "a");
    EXPECT_TRUE(Eval("Null & Null").IsNull());
    EXPECT_EQ(Eval("1 & 2.5").AsText(), "12.5");
    EXPECT_EQ(Eval("7 / 2"), TDbValue(3.5));
    EXPECT_EQ(Eval("7 \\ 2"), TDbValue(3));
    EXPECT_EQ(Eval("-7 Mod 3"), TDbValue(-1));
    EXPECT_EQ(Eval("2 ^ 3 ^ 2"), TDbValue(64.0));
    EXPECT_EQ(Error("1 / 0"), "Division by zero");
    EXPECT_EQ(Eval("IIf(1 > 2, \"y\", \"n\")").AsText(), "n");
    EXPECT_EQ(Eval("IIf(Null, \"y\", \"n\")").AsText(), "n");
    EXPECT_EQ(Eval("Nz(Null, 5)"), TDbValue(5));
    EXPECT_EQ(Eval("Nz(Null)").AsText(), "");
    EXPECT_EQ(Eval("IsNull(Null)"), TDbValue(-1));
    EXPECT_EQ(Eval("IsNull(0)"), TDbValue(0));
    EXPECT_EQ(Eval("True"), TDbValue(-1));
    EXPECT_EQ(Eval("False"), TDbValue(0));
    EXPECT_EQ(Eval("Val(\" 1 2.5abc\")"), TDbValue(12.5));
    EXPECT_EQ(Eval("Val(\"abc\")"), TDbValue(0.0));
    EXPECT_EQ(Eval("CStr(1.5)").AsText(), "1.5");
    EXPECT_EQ(Eval("CStr(3.0)").AsText(), "3");
    EXPECT_EQ(Eval("CInt(2.5)"), TDbValue(2));
    EXPECT_EQ(Eval("CInt(3.5)"), TDbValue(4));
    EXPECT_EQ(Eval("CLng(\"123\")"), TDbValue(123));
    EXPECT_EQ(Eval("CDbl(\"2.25\")"), TDbValue(2.25));
    EXPECT_EQ(Eval("Int(-2.5)"), TDbValue(-3));
    EXPECT_EQ(Eval("Abs(-3)"), TDbValue(3));
    EXPECT_EQ(Eval("Round(2.5)"), TDbValue(2.0));
    EXPECT_EQ(Eval("Round(0.125, 2)"), TDbValue(0.12));
    EXPECT_EQ(Error("CInt(40000)"), "Overflow");
    EXPECT_EQ(Error("CStr(Null)"), "Invalid use of Null");
    EXPECT_EQ(Error("CDbl(\"abc\")"), "Type mismatch");
}

TEST_F(AccessSqlTest, LikeUnderstandsAccessWildcards) {
    EXPECT_EQ(Eval("\"Abc\" Like \"a*\""), TDbValue(1));
    EXPECT_EQ(Eval("\"a1\" Like \"a#\""), TDbValue(1));
    EXPECT_EQ(Eval("\"ab\" Like \"a#\""), TDbValue(0));
    EXPECT_EQ(Eval("\"abc\" Like \"a?c\""), TDbValue(1));
    EXPECT_EQ(Eval("\"b\" Like \"[a-c]\""), TDbValue(1));
    EXPECT_EQ(Eval("\"d\" Like \"[!a-c]\""), TDbValue(1));
    EXPECT_EQ(Eval("\"ab\" Like \"a%\""), TDbValue(0));  // % and _ are plain characters
    EXPECT_EQ(Eval("\"a_\" Like \"a_\""), TDbValue(1));
    EXPECT_EQ(Eval("\"K-1234x\" Not Like \"K-####*\""), TDbValue(0));
    EXPECT_EQ(Eval("\"čaj\" Like \"Č*\""), TDbValue(1));
}

TEST_F(AccessSqlTest, RunsQueriesOnTablesWithAccessText) {
    auto r = db_->Select("SELECT [T].Cislo FROM T WHERE T.Meno Not In (\"BUK\", \"x\") Or T.Plocha Between 5 And 8 "
                         "ORDER BY 1");
    ASSERT_EQ(r.Rows.size(), 2u);  // text compares ignore case, as in Access; NULL is never in or out
    EXPECT_EQ(r.Rows[0][0], TDbValue(3));
    EXPECT_EQ(r.Rows[1][0], TDbValue(10));
    EXPECT_EQ(r.ColumnIndex("cislo"), 0);
    EXPECT_EQ(db_->Execute("UPDATE T SET T.Meno = UCase(T.Meno) & \"!\" WHERE T.Meno Is Not Null"), 3);
    EXPECT_EQ(db_->Select("select Meno from T where Cislo = 3").Rows[0][0].AsText(), "DUB!");
    EXPECT_EQ(db_->Execute("DELETE * FROM T WHERE T.Cislo > 5"), 1);
    // A bracketed name that is no column is an error, never a text.
    EXPECT_EQ(Error("[Nie] from T"), "no such column: Nie");
    EXPECT_THROW(db_->Execute("UPDATE T SET Meno = UCase([Nie])"), EAccessDbError);
}

TEST_F(AccessSqlTest, SavedQueriesRunByNameAndAsTablesOfFrom) {
    auto names = db_->SavedQueryNames();
    EXPECT_EQ(names, (std::vector<std::string>{"qBad", "qFix", "qBroken"}));
    auto r = db_->Select("select Cislo from qbad order by Cislo");
    ASSERT_EQ(r.Rows.size(), 2u);
    EXPECT_EQ(r.Rows[0][0], TDbValue(2));
    EXPECT_EQ(r.Rows[1][0], TDbValue(10));
    EXPECT_EQ(db_->ExecuteSaved("QFIX"), 1);
    EXPECT_EQ(db_->Select("select Plocha from T where Cislo = 2").Rows[0][0], TDbValue(0.0));
    try {
        db_->ExecuteSaved("qBroken");
        FAIL() << "a failing saved query must raise";
    } catch (const EAccessDbError& e) {
        EXPECT_EQ(std::string(e.what()), "Saved query failed: no such table: Nowhere\r(qBroken)");
    }
    try {
        db_->ExecuteSaved("qMissing");
        FAIL() << "an unknown saved query must raise";
    } catch (const EAccessDbError& e) {
        EXPECT_EQ(std::string(e.what()), "Saved query not found.\r(qMissing)");
    }
}

TEST_F(AccessSqlTest, ABatchIsWholeOrNothing) {
    db_->ExecuteNative("create table B (a INTEGER NOT NULL, b TEXT)");
    db_->ExecuteNativeBatch("insert into B values (?, ?)", {{TDbValue(1), TDbValue("x")}, {TDbValue(2), TDbValue()}});
    EXPECT_EQ(db_->SelectNative("select count(*) from B").Rows[0][0], TDbValue(2));
    EXPECT_THROW(db_->ExecuteNativeBatch("insert into B values (?, ?)",
                                         {{TDbValue(3), TDbValue("y")}, {TDbValue(), TDbValue("z")}}),
                 EAccessDbError);
    EXPECT_EQ(db_->SelectNative("select count(*) from B").Rows[0][0], TDbValue(2));
}
