// Access's value rules through the Access-SQL layer: each table is expression -> the
// value Access gives (or the error it raises).
#include "standard/StandardTestSupport.h"
#include "access/AccessDb.h"
#include "access/AccessSql.h"

#include <gtest/gtest.h>

using namespace vexa;

namespace {

struct TExpr {
    const char* Expr;
    TDbValue Expected;
};

struct TErr {
    const char* Expr;
    const char* Message;
};

class AccessSemantics : public ::testing::Test {
protected:
    void SetUp() override {
        stdtest::BuildSqlite(dir_ / "work.sqlite",
                             "create table T (Id INTEGER, Porast TEXT COLLATE NOCASE, Plocha REAL, F INTEGER, D TEXT);"
                             "insert into T values (1, 'ŽLTÝ', 2.5, 0, '2010-12-30'), (2, 'žltý', 7, 0, NULL),"
                             "(3, 'zltý', NULL, 0, '2011-01-15'), (4, NULL, 9, 0, '2010-12-31 06:30:00'),"
                             "(5, 'Buk', 1, 0, NULL), (6, 'buk', 6, 0, NULL);"
                             "create table K (Kod TEXT COLLATE NOCASE, Nazov TEXT COLLATE NOCASE);"
                             "insert into K values ('BUK', 'buk lesny'), ('žltý', 'žltá'), ('X', 'x1'), ('x', 'x2');");
        db_ = std::make_unique<TAccessDb>(dir_ / "work.sqlite");
    }
    TDbValue Eval(const std::string& expr) {
        const auto r = db_->Select("select " + expr);
        EXPECT_EQ(r.Rows.size(), 1u) << expr;
        return r.Rows.empty() ? TDbValue("(no row)") : r.Rows[0][0];
    }
    void ExpectValues(const std::vector<TExpr>& cases) {
        for (const auto& c : cases) {
            try {
                EXPECT_EQ(Eval(c.Expr), c.Expected) << c.Expr << " gave " << Eval(c.Expr).AsText();
            } catch (const EAccessDbError& e) {
                ADD_FAILURE() << c.Expr << ": " << e.what();
            }
        }
    }
    void ExpectErrors(const std::vector<TErr>& cases) {
        for (const auto& c : cases) {
            std::string message = "(no error)";
            try {
                db_->Select(std::string("select ") + c.Expr);
            } catch (const EAccessDbError& e) {
                message = e.what();
            }
            EXPECT_EQ(message, c.Message) << c.Expr;
        }
    }
    std::vector<TDbRow> Rows(const std::string& sql) { return db_->Select(sql).Rows; }
    testkit::TempDir dir_;
    std::unique_ptr<TAccessDb> db_;
};

const TDbValue Null;

}  // namespace

TEST_F(AccessSemantics, TrueIsMinusOneAndLogicIsBitwiseAndThreeValued) {
    ExpectValues({
        {"2 > 1", -1},
        {"2 < 1", 0},
        {"(2 > 1) * 5", -5},
        {"\"a\" Like \"A\"", -1},
        {"3 Between 1 And 5", -1},
        {"3 Not Between 1 And 2", -1},
        {"2 In (1, 2)", -1},
        {"2 Not In (1, 2)", 0},
        {"Null Is Null", -1},
        {"1 Is Not Null", -1},
        {"Not 1", -2},
        {"Not 0", -1},
        {"Not -1", 0},
        {"Not (1 = 1)", 0},
        {"Not Null", Null},
        {"5 And 3", 1},
        {"5 Or 3", 7},
        {"5 Xor 3", 6},
        {"5 Eqv 3", -7},
        {"5 Imp 3", -5},
        {"True And Null", Null},
        {"False And Null", 0},
        {"Null And False", 0},
        {"True Or Null", -1},
        {"False Or Null", Null},
        {"Null Xor True", Null},
        {"Null Eqv True", Null},
        {"False Imp Null", -1},
        {"True Imp Null", Null},
        {"Null Imp True", -1},
        {"Null Imp False", Null},
        {"Not Not 5", 5},
        {"1 = 1 And 2 = 2 Or 1 = 2", -1},
        {"Yes", -1},
        {"No", 0},
        {"On", -1},
        {"Off", 0},
        {"True = -1", -1},
        {"1 = Null", Null},
        {"Not 1 = 2", -1},
        {"-2 ^ 2", -4.0},
        {"2 + 3 * 4", 14},
        {"10 - 2 - 3", 5},
        {"12 / 2 * 3", 18.0},
    });
    // A Yes/No written from a comparison is found again by True.
    EXPECT_EQ(db_->Execute("UPDATE T SET F = (Plocha > 5)"), 6);
    EXPECT_EQ(Rows("SELECT Id FROM T WHERE F = True ORDER BY Id"), (std::vector<TDbRow>{{2}, {4}, {6}}));
    EXPECT_EQ(Rows("SELECT Count(*) FROM T WHERE (T.Plocha > 0) = True"), (std::vector<TDbRow>{{5}}));
    EXPECT_EQ(Rows("SELECT Count(*) FROM T WHERE Not (Plocha > 5)"), (std::vector<TDbRow>{{2}}));
}

TEST_F(AccessSemantics, TextComparesIgnoringCaseWithAccentsSignificant) {
    ExpectValues({
        {"\"abc\" = \"ABC\"", -1},
        {"\"ľščť\" = \"ĽŠČŤ\"", -1},
        {"\"B\" In (\"a\", \"b\")", -1},
        {"\"abc\" < \"ABD\"", -1},
        {"\"a\" = \"á\"", 0},
        {"\"c\" < \"č\"", -1},
        {"\"č\" < \"d\"", -1},
        {"\"áa\" < \"ab\"", -1},
        {"\"Ž\" > \"z\"", -1},
        {"\"ž\" Between \"Z\" And \"ŽZ\"", -1},
        {"\"A\" <> \"a\"", 0},
        {"\"x\" >= \"X\"", -1},
        {"\"ÔS\" Like \"ô*\"", -1},
        {"StrComp(\"abc\", \"ABC\")", 0},
        {"StrComp(\"abc\", \"ABC\", 0)", 1},
        {"StrComp(\"č\", \"d\")", -1},
        {"\"a\" = Null", Null},
    });
    EXPECT_EQ(Rows("SELECT Id FROM T WHERE Porast = \"žltý\" ORDER BY Id"), (std::vector<TDbRow>{{1}, {2}}));
    EXPECT_EQ(Rows("SELECT Count(*) FROM T INNER JOIN K ON T.Porast = K.Kod"), (std::vector<TDbRow>{{4}}));
    EXPECT_EQ(Rows("SELECT Count(*) FROM (SELECT DISTINCT Porast FROM T WHERE Porast Is Not Null)"),
              (std::vector<TDbRow>{{3}}));
    EXPECT_EQ(Rows("SELECT Porast, Count(*) FROM T WHERE Porast Is Not Null GROUP BY Porast ORDER BY Porast").size(),
              3u);
    EXPECT_EQ(Rows("SELECT Max(Kod) FROM K"), (std::vector<TDbRow>{{"žltý"}}));
    // Sorted by the general order: the accented letter right after its base letter.
    EXPECT_EQ(Rows("SELECT Nazov FROM K ORDER BY Nazov, Kod"),
              (std::vector<TDbRow>{{"buk lesny"}, {"x1"}, {"x2"}, {"žltá"}}));
    EXPECT_EQ(Rows("SELECT Kod FROM K WHERE Kod In (\"buk\", \"X\") ORDER BY Nazov"),
              (std::vector<TDbRow>{{"BUK"}, {"X"}, {"x"}}));
}

TEST_F(AccessSemantics, PlusAndAmpersandFollowAccess) {
    ExpectValues({
        {"\"1\" + \"2\"", "12"},
        {"\"1\" + 2", 3.0},
        {"1 + 2", 3},
        {"1.5 + 1", 2.5},
        {"\"a\" + Null", Null},
        {"Null + 1", Null},
        {"\"a\" & Null", "a"},
        {"1 & 2", "12"},
        {"Null & Null", Null},
        {"\"x\" & 1.5", "x1.5"},
        {"(1 = 1) & \"\"", "-1"},
        {"\"3\" * \"4\"", 12.0},
        {"#2010-12-31# + #1899-12-31#", "2011-01-01"},
    });
    ExpectErrors({
        {"\"a\" + 1", "Type mismatch"},
        {"\"a\" * 2", "Type mismatch"},
        {"9223372036854775807 + 1", "Overflow"},
        {"CInt(32768)", "Overflow"},
        {"CByte(256)", "Overflow"},
        {"CByte(-1)", "Overflow"},
        {"CLng(2147483648)", "Overflow"},
        {"Not 3000000000", "Overflow"},
        {"\"a\" And 1", "Type mismatch"},
    });
}

TEST_F(AccessSemantics, DatesAndDateFunctions) {
    ExpectValues({
        {"#12/31/2010# - #12/30/2010#", 1.0},
        {"#2010-12-31# + 1", "2011-01-01"},
        {"#1/31/2011# - 31", "2010-12-31"},
        {"#12/31/2010 6:30 PM#", "2010-12-31 18:30:00"},
        {"Year(#12/31/2010#)", 2010},
        {"Month(#2010-12-31#)", 12},
        {"Day(#12/31/2010#)", 31},
        {"Hour(#2010-12-31 18:05:09#)", 18},
        {"Minute(#2010-12-31 18:05:09#)", 5},
        {"Second(#2010-12-31 18:05:09#)", 9},
        {"Weekday(#2010-12-31#)", 6},
        {"Weekday(#2010-12-31#, 2)", 5},
        {"DateSerial(2010, 14, 1)", "2011-02-01"},
        {"DateSerial(2011, 3, 0)", "2011-02-28"},
        {"DateSerial(10, 1, 1)", "2010-01-01"},
        {"TimeSerial(6, 30, 0)", "1899-12-30 06:30:00"},
        {"DateValue(\"2010-12-31 18:00\")", "2010-12-31"},
        {"DateAdd(\"m\", 1, #1/31/2011#)", "2011-02-28"},
        {"DateAdd(\"yyyy\", -1, #2/29/2012#)", "2011-02-28"},
        {"DateAdd(\"d\", 10, #12/25/2010#)", "2011-01-04"},
        {"DateAdd(\"h\", 30, #12/31/2010#)", "2011-01-01 06:00:00"},
        {"DateDiff(\"d\", #12/30/2010#, #1/2/2011#)", 3},
        {"DateDiff(\"yyyy\", #12/31/2010#, #1/1/2011#)", 1},
        {"DateDiff(\"m\", #1/31/2011#, #3/1/2011#)", 2},
        {"DateDiff(\"ww\", #12/31/2010#, #1/9/2011#)", 2},
        {"DateDiff(\"n\", #1/1/2011 10:00#, #1/1/2011 11:30#)", 90},
        {"DatePart(\"q\", #8/15/2010#)", 3},
        {"DatePart(\"y\", #2/1/2010#)", 32},
        {"DatePart(\"ww\", #1/1/2011#)", 1},
        {"DatePart(\"ww\", #1/2/2011#)", 2},
        {"DatePart(\"w\", #1/2/2011#)", 1},
        {"IsDate(\"31.12.2010\")", -1},
        {"IsDate(\"2/30/2010\")", 0},
        {"IsDate(Null)", 0},
        {"CDate(\"12/31/2010\")", "2010-12-31"},
        {"CDate(40543)", "2010-12-31"},
        {"Year(Null)", Null},
        {"DateAdd(\"d\", 1, Null)", Null},
        {"#12/31/2010# > #12/30/2010#", -1},
        {"Date() = DateValue(Now())", -1},
        {"Len(Time())", 19},
    });
    ExpectErrors({{"Year(\"abc\")", "Type mismatch"},
                  {"DateAdd(\"x\", 1, #1/1/2010#)", "Invalid procedure call or argument"},
                  {"CDate(Null)", "Invalid use of Null"},
                  {"1 - #2010-12-31#", "Type mismatch"},
                  {"DateSerial(10000, 1, 1)", "Overflow"},
                  // A number is a date only within the years 100 to 9999.
                  {"Year(1E+300)", "Overflow"},
                  {"Weekday(-1E+300)", "Overflow"},
                  {"Format(1E+300, \"yyyy\")", "Overflow"},
                  {"DatePart(\"d\", 2958466)", "Overflow"}});
    EXPECT_EQ(Rows("SELECT Id FROM T WHERE Year(D) = 2010 And Day(D) = 31"), (std::vector<TDbRow>{{4}}));
    EXPECT_EQ(Rows("SELECT Id FROM T WHERE D < #1/1/2011# ORDER BY Id"), (std::vector<TDbRow>{{1}, {4}}));
}

TEST_F(AccessSemantics, CommonFunctions) {
    ExpectValues({
        {"CCur(1.23456)", 1.2346},
        {"CCur(\"2.00005\")", 2.0},
        {"CBool(5)", -1},
        {"CBool(\"False\")", 0},
        {"CByte(254.5)", 254},
        {"CSng(1.1)", 1.1},
        {"Fix(-2.5)", -2},
        {"Int(-2.5)", -3},
        {"Sgn(-3)", -1},
        {"Sgn(0)", 0},
        {"Sqr(16)", 4.0},
        {"Sqr(Null)", Null},
        {"Asc(\"A\")", 65},
        {"Asc(\"č\")", 0x10D},
        {"Chr(65)", "A"},
        {"Space(3) & \"|\"", "   |"},
        {"String(3, \"ab\")", "aaa"},
        {"String(2, 42)", "**"},
        {"String(Null, \"a\")", Null},
        {"Replace(\"aAbA\", \"a\", \"x\")", "xxbx"},
        {"Replace(\"aAbA\", \"a\", \"x\", 1, -1, 0)", "xAbA"},
        {"Replace(\"abcabc\", \"b\", \"\", 3)", "cac"},
        {"Replace(\"abab\", \"a\", \"-\", 1, 1)", "-bab"},
        {"InStrRev(\"abcabc\", \"b\")", 5},
        {"InStrRev(\"abcabc\", \"B\", 4)", 2},
        {"InStrRev(\"abc\", \"x\")", 0},
        {"InStrRev(Null, \"x\")", Null},
        {"StrReverse(\"žaba\")", "abaž"},
        {"Hex(255)", "FF"},
        {"Hex(-1)", "FFFF"},
        {"Hex(-32769)", "FFFF7FFF"},
        {"Oct(8)", "10"},
        {"Hex(Null)", Null},
        {"Val(\"&HFF\")", 255.0},
        {"Val(\"&O17\")", 15.0},
        {"Val(\"&HFFFF\")", -1.0},
        {"Val(\"12abc\")", 12.0},
        {"IsNumeric(\"12.5\")", -1},
        {"IsNumeric(\"&HFF\")", -1},
        {"IsNumeric(\"abc\")", 0},
        {"IsNumeric(Null)", 0},
        {"IsNumeric(\"\")", 0},
        {"Switch(1 > 2, \"a\", 2 > 1, \"b\")", "b"},
        {"Switch(1 > 2, \"a\")", Null},
        {"Choose(2, \"a\", \"b\", \"c\")", "b"},
        {"Choose(4, \"a\", \"b\")", Null},
        {"Choose(2.7, \"a\", \"b\", \"c\")", "b"},
        {"Format(1234.5, \"#,##0.00\")", "1,234.50"},
        {"Format(0.125, \"0.0%\")", "12.5%"},
        {"Format(5, \"000\")", "005"},
        {"Format(1234.5, \"Standard\")", "1,234.50"},
        {"Format(3.14159, \"Fixed\")", "3.14"},
        {"Format(-1234.5, \"Currency\")", "($1,234.50)"},
        {"Format(0, \"Yes/No\")", "No"},
        {"Format(#12/31/2010#, \"yyyy-mm-dd\")", "2010-12-31"},
        {"Format(#1/5/2010#, \"dd.mm.yyyy\")", "05.01.2010"},
        {"Format(#1/5/2010#, \"mmm d, yy\")", "Jan 5, 10"},
        {"Format(#1/5/2010 14:07:00#, \"hh:nn\")", "14:07"},
        {"Format(#12/31/2010#, \"Long Date\")", "Friday, December 31, 2010"},
        {"Format(#12/31/2010#, \"Short Date\")", "12/31/2010"},
        {"Format(Null, \"0\")", Null},
    });
    ExpectErrors({{"Sqr(-1)", "Invalid procedure call or argument"},
                  {"StrReverse(Null)", "Invalid use of Null"},
                  {"CCur(\"x\")", "Type mismatch"},
                  {"Switch(1)", "Invalid procedure call or argument"},
                  {"Asc(\"\")", "Invalid procedure call or argument"},
                  {"CCur(1E+16)", "Overflow"}});
}

TEST_F(AccessSemantics, FormatHonoursSectionsAndLiterals) {
    ExpectValues({
        {"Format(-5, \"$#,##0;($#,##0)\")", "($5)"},
        {"Format(5, \"$#,##0;($#,##0)\")", "$5"},
        {"Format(0, \"$#,##0;($#,##0)\")", "$0"},
        {"Format(-5, \"$#,##0\")", "-$5"},
        {"Format(0, \"$#,##0;;\\Z\\e\\r\\o\")", "Zero"},
        {"Format(-5, \"$#,##0;;\\Z\\e\\r\\o\")", "-$5"},
        {"Format(1234567.89, \"#,0.00;(#,0.00);\"\"Zero\"\";\"\"NA\"\"\")", "1,234,567.89"},
        {"Format(-1234567.89, \"#,0.00;(#,0.00);\"\"Zero\"\";\"\"NA\"\"\")", "(1,234,567.89)"},
        {"Format(0, \"#,0.00;(#,0.00);\"\"Zero\"\";\"\"NA\"\"\")", "Zero"},
        {"Format(0, \"#,0.00;(#,0.00);;\"\"NA\"\"\")", "0.00"},
        {"Format(Null, \"#,0.00;(#,0.00);\"\"Zero\"\";\"\"NA\"\"\")", "NA"},
        {"Format(Null, \"#,0.00;(#,0.00)\")", Null},
        {"Format(12.5, \"0.0 \\k\\m\")", "12.5 km"},
        {"Format(3, \"\"\"Lesy: \"\"0\")", "Lesy: 3"},
    });
}

// The examples of Microsoft's user-defined number formats: scientific formats, commas
// that divide by 1,000, literal characters among the digits.
TEST_F(AccessSemantics, FormatScientificThousandsDivisorAndLiteralsAmongDigits) {
    ExpectValues({
        {"Format(5, \"0.00E+00\")", "5.00E+00"},
        {"Format(-5, \"0.00E+00\")", "-5.00E+00"},
        {"Format(0.5, \"0.00E+00\")", "5.00E-01"},
        {"Format(5, \"0.00E-00\")", "5.00E00"},
        {"Format(-5, \"0.00E-00\")", "-5.00E00"},
        {"Format(0.5, \"0.00E-00\")", "5.00E-01"},
        {"Format(1234.5, \"0.00E+00\")", "1.23E+03"},
        {"Format(1000, \"0.00E+00\")", "1.00E+03"},
        {"Format(0.001, \"0.00E+00\")", "1.00E-03"},
        {"Format(9.999, \"0.00e+00\")", "1.00e+01"},  // rounded up to the next power
        {"Format(0, \"0.0E+0\")", "0.0E+0"},
        {"Format(1234567, \"#,##0,\")", "1,235"},
        {"Format(100000000, \"##0,,\")", "100"},
        {"Format(1900000, \"0,,\")", "2"},
        {"Format(1900000, \"0,,.0\")", "1.9"},
        {"Format(1234567, \"#,##0,.00\")", "1,234.57"},
        {"Format(999, \"0,\")", "1"},
        {"Format(1234567, \"000-00-00\")", "123-45-67"},
        {"Format(5551234, \"###-####\")", "555-1234"},
        {"Format(12345678, \"000-00-00\")", "1234-56-78"},  // the extra digits before the first placeholder
        {"Format(#12/31/2010#, \"yyy\")", "10365"},
        {"Format(#2/1/2010#, \"yyyyy\")", "201032"},
    });
}

TEST_F(AccessSemantics, FormatOfTexts) {
    ExpectValues({
        {"Format(\"hello\", \">\")", "HELLO"},
        {"Format(\"HELLO\", \"<\")", "hello"},
        {"Format(\"žltý\", \">\")", "ŽLTÝ"},
        {"Format(\"abc\", \"@@@@@\")", "  abc"},
        {"Format(\"abc\", \"!@@@@@\")", "abc  "},
        {"Format(\"abc\", \"&&&&&\")", "abc"},
        {"Format(\"5551234\", \"@@@-@@@@\")", "555-1234"},
        {"Format(\"abcdef\", \"@@@\")", "abcdef"},
        {"Format(\"abc\", \">@@@@\")", " ABC"},
        {"Format(\"\", \"@;\\N\\i\\c\")", "Nic"},
        {"Format(Null, \"@;\\N\\i\\c\")", "Nic"},
        {"Format(Null, \">\")", Null},
    });
}

TEST_F(AccessSemantics, FormatOfDatesWithDayOfYearWeeksAndTwelveHourClock) {
    ExpectValues({
        {"Format(#2/1/2010#, \"y\")", "32"},
        {"Format(#12/31/2010#, \"y\")", "365"},
        {"Format(#12/31/2010#, \"w\")", "6"},
        {"Format(#1/1/2011#, \"ww\")", "1"},
        {"Format(#1/2/2011#, \"ww\")", "2"},
        {"Format(#1/5/2010 14:07:00#, \"h:nn AM/PM\")", "2:07 PM"},
        {"Format(#1/5/2010 14:07:00#, \"hh:nn am/pm\")", "02:07 pm"},
        {"Format(#1/5/2010 0:30:00#, \"h:nn AM/PM\")", "12:30 AM"},
        {"Format(#1/5/2010 9:05:00#, \"h A/P\")", "9 A"},
        {"Format(#1/5/2010 21:05:00#, \"h a/p\")", "9 p"},
        {"Format(#1/5/2010 21:05:00#, \"h:nn AMPM\")", "9:05 PM"},
        {"Format(#1/5/2010 14:07:00#, \"General Date\")", "1/5/2010 2:07:00 PM"},
        {"Format(#1/5/2010#, \"\\d\\e\\n d\")", "den 5"},
        {"Format(#1/5/2010#, \"dddd\")", "Tuesday"},
    });
}

TEST_F(AccessSemantics, StrConvChangesCase) {
    ExpectValues({
        {"StrConv(\"hello wORLD\", 1)", "HELLO WORLD"},
        {"StrConv(\"ŽLTÝ Buk\", 2)", "žltý buk"},
        {"StrConv(\"žltý  bUK-dub\", 3)", "Žltý  Buk-dub"},
        {"StrConv(\"a\" & Chr(9) & \"b\", 3)", "A\tB"},
        {"StrConv(Null, 3)", Null},
    });
    ExpectErrors({{"StrConv(\"a\", 99)", "Invalid procedure call or argument"},
                  {"StrConv(\"a\", Null)", "Invalid use of Null"}});
}

TEST_F(AccessSemantics, TimeLiteralsDateAddValAndEmptyBrackets) {
    ExpectValues({
        {"#17:04:23#", "1899-12-30 17:04:23"},
        {"#5:04 PM#", "1899-12-30 17:04:00"},
        {"Hour(#17:04:23#) * 100 + Minute(#17:04:23#)", 1704},
        {"Format(#17:04:23#, \"hh:nn:ss\")", "17:04:23"},
        {"DateAdd(\"d\", 1.7, #1/1/2010#)", "2010-01-03"},
        {"DateAdd(\"d\", -1.7, #1/1/2010#)", "2009-12-30"},
        {"DateAdd(\"m\", 0.6, #1/31/2010#)", "2010-02-28"},
        {"Val(\"50.5%\")", 50.5},
        {"Val(\"    1615 198th Street N.E.\")", 1615198.0},
        {"Val(\"1,000\")", 1.0},
        {"\"ab\" Like \"a[]b\"", -1},
        {"\"a\" Like \"a[]\"", -1},
        {"\"ab\" Like \"a[]\"", 0},
        {"\"žb\" Like \"ž[]b\"", -1},
    });
}

TEST_F(AccessSemantics, TextComparedWithNumberIsADataTypeMismatch) {
    db_->ExecuteNative("create table C (Kod TEXT COLLATE NOCASE, Id INTEGER)");
    db_->ExecuteNative("insert into C values ('1', 1), ('5', 2)");
    // Jet refuses a text column or a text compared with a number column or a number.
    ExpectErrors({
        {"Id FROM T WHERE Porast = 5",
         "Data type mismatch in criteria expression: Porast = 5"},
        {"Id FROM T WHERE T.Id = \"1\"",
         "Data type mismatch in criteria expression: T.Id = \"1\""},
        {"Id FROM T WHERE 5 < Porast Or Id = 1",
         "Data type mismatch in criteria expression: 5 < Porast"},
        {"Id FROM T AS x WHERE x.Porast <> -1",
         "Data type mismatch in criteria expression: x.Porast <> -1"},
        {"Id FROM T WHERE Porast In (\"Buk\", 2)",
         "Data type mismatch in criteria expression: Porast IN 2"},
        {"Id FROM T WHERE Plocha Not Between \"1\" And 5",
         "Data type mismatch in criteria expression: Plocha BETWEEN \"1\""},
        {"T.Id FROM T INNER JOIN C ON C.Kod = T.Id", "Type mismatch in expression: C.Kod = T.Id"},
        {"T.Id FROM T LEFT JOIN C ON (T.Id = C.Id And C.Kod > 0) WHERE T.Porast = \"Buk\"",
         "Type mismatch in expression: C.Kod > 0"},
        {"Id FROM T WHERE Not (Plocha > 1 And Porast >= 0)",
         "Data type mismatch in criteria expression: Porast >= 0"},
        {"Id FROM T WHERE Exists (SELECT * FROM C WHERE C.Kod = T.Id)",
         "Data type mismatch in criteria expression: C.Kod = T.Id"},
        {"Id FROM T WHERE Id In (SELECT Id FROM C WHERE Kod = 1)",
         "Data type mismatch in criteria expression: Kod = 1"},
        {"Id FROM T WHERE Id = 1 UNION SELECT Id FROM C WHERE Kod = 5",
         "Data type mismatch in criteria expression: Kod = 5"},
    });
    // An action query with such a criterion changes nothing.
    EXPECT_THROW(db_->Execute("UPDATE T SET Plocha = 0 WHERE Porast = 1"), EAccessDbError);
    EXPECT_EQ(Rows("SELECT Count(*) FROM T WHERE Plocha = 0"), (std::vector<TDbRow>{{0}}));
    // A saved query that does it fails naming itself, the mismatch as the detail.
    db_->ExecuteNative("create table Dotazy (Nazov TEXT, SQL TEXT);"
                       "insert into Dotazy values ('qZly', 'SELECT Id FROM T WHERE Porast=1')");
    std::string message;
    try {
        db_->RunSaved("qZly");
    } catch (const EAccessDbError& e) {
        message = e.what();
    }
    EXPECT_EQ(message,
              "Uložený dotaz qZly sa nepodarilo vykonať.\r(Data type mismatch in criteria expression: Porast = 1)");

    // Numbers with numbers, texts with texts, and whatever is computed or bound are compared as before.
    const std::vector<std::pair<const char*, std::vector<TDbRow>>> allowed = {
        {"SELECT Id FROM T WHERE Id = 1 Or Plocha >= 9 ORDER BY Id", {{1}, {4}}},
        {"SELECT Id FROM T WHERE Porast = \"buk\" And Id Between 1 And 5", {{5}}},
        {"SELECT Id FROM T WHERE Porast In (\"BUK\", \"zltý\") ORDER BY Id", {{3}, {5}, {6}}},
        {"SELECT Id FROM T WHERE Len(Porast) = 3 ORDER BY Id", {{5}, {6}}},
        {"SELECT Id FROM T WHERE Id = \"1\" + 1", {{2}}},
        {"SELECT Id FROM T WHERE Val(Porast & \"7\") = 0 And Id < 3 ORDER BY Id", {{1}, {2}}},
        {"SELECT C.Id FROM C INNER JOIN T ON C.Id = T.Id WHERE C.Kod = \"5\"", {{2}}},
        {"SELECT Id FROM T WHERE F = False And Id = 6", {{6}}},
        {"SELECT Id FROM (SELECT Id, Porast FROM T WHERE Porast = \"Buk\") AS Q WHERE Q.Id > 1 ORDER BY Q.Id",
         {{5}, {6}}},
    };
    for (const auto& [sql, rows] : allowed) EXPECT_EQ(Rows(sql), rows) << sql;
    EXPECT_EQ(db_->Select("PARAMETERS p Long; SELECT Id FROM T WHERE Id = p", {{"p", 4}}).Rows,
              (std::vector<TDbRow>{{4}}));
}

TEST_F(AccessSemantics, AnySomeAndAllCompareWithEveryRowOfASubquery) {
    const std::vector<std::pair<const char*, std::vector<TDbRow>>> cases = {
        // Plocha: 2.5, 7, Null, 9, 1, 6 for Id 1 to 6.
        {"SELECT Id FROM T WHERE Plocha > ANY (SELECT Plocha FROM T WHERE Id In (1, 5)) ORDER BY Id",
         {{1}, {2}, {4}, {6}}},
        {"SELECT Id FROM T WHERE Plocha < SOME (SELECT Plocha FROM T WHERE Id = 2) ORDER BY Id", {{1}, {5}, {6}}},
        {"SELECT Id FROM T WHERE Plocha >= ALL (SELECT Plocha FROM T WHERE Id In (1, 2, 5)) ORDER BY Id", {{2}, {4}}},
        // A Null among the rows: ALL is no longer true for the largest value (Null instead).
        {"SELECT Id FROM T WHERE Plocha >= ALL (SELECT Plocha FROM T)", {}},
        // Texts in Access's order: case ignored, accents significant.
        {"SELECT Count(*) FROM T WHERE Porast = ANY (SELECT Kod FROM K)", {{4}}},
        {"SELECT Id FROM T WHERE Porast <> ALL (SELECT Kod FROM K)", {{3}}},
        // A correlated sub-query; with no row ALL holds.
        {"SELECT Id FROM T AS A WHERE Plocha > ALL (SELECT Plocha FROM T WHERE T.Id < A.Id And Plocha Is Not Null) "
         "ORDER BY Id",
         {{1}, {2}, {4}}},
        {"SELECT Id FROM T WHERE Id > 4 And Not Plocha = Any (SELECT Plocha FROM T WHERE Id < 3) ORDER BY Id",
         {{5}, {6}}},
    };
    for (const auto& [sql, rows] : cases) EXPECT_EQ(Rows(sql), rows) << sql;
    ExpectValues({
        {"5 > ALL (SELECT Plocha FROM T WHERE Id > 100)", -1},
        {"5 > ANY (SELECT Plocha FROM T WHERE Id > 100)", 0},
        {"Null = ALL (SELECT Plocha FROM T WHERE Id > 100)", -1},
        {"9 >= ALL (SELECT Plocha FROM T)", Null},
        {"1 > ALL (SELECT Plocha FROM T)", 0},
        {"3 = SOME (SELECT Id FROM T)", -1},
        {"30 < ANY (SELECT Plocha * 10 FROM T)", -1},
        {"(2 > ANY (SELECT Plocha FROM T WHERE Id In (3, 4))) Is Null", -1},
    });
}

TEST_F(AccessSemantics, CrosstabsPivotTheirColumnHeadings) {
    db_->ExecuteNative(
        "create table P (Les TEXT COLLATE NOCASE, Rok INTEGER, Drevina TEXT COLLATE NOCASE, Objem REAL);"
        "insert into P values ('A', 2020, 'buk', 10), ('A', 2020, 'buk', 5), ('A', 2021, 'dub', 3),"
        "('B', 2020, 'dub', 7), ('B', 2021, NULL, 2), ('C', 2021, 'buk', 1)");
    // Every heading found, ascending, Null as "<>"; a row heading may sum up its row.
    auto r = db_->Select("TRANSFORM Sum(Objem) AS S SELECT Les, Sum(Objem) AS Spolu FROM P GROUP BY Les "
                         "PIVOT Drevina");
    EXPECT_EQ(r.Columns, (std::vector<std::string>{"Les", "Spolu", "<>", "buk", "dub"}));
    EXPECT_EQ(r.Rows, (std::vector<TDbRow>{{"A", 18.0, Null, 15.0, 3.0},
                                           {"B", 9.0, 2.0, Null, 7.0},
                                           {"C", 1.0, Null, 1.0, Null}}));
    // IN: those headings in that order (a heading without values stays empty); two row headings.
    r = db_->Select("TRANSFORM Count(*) SELECT Les, Drevina FROM P WHERE Objem > 1 GROUP BY Les, Drevina "
                    "PIVOT Rok IN (2021, 2020, 2019)");
    EXPECT_EQ(r.Columns, (std::vector<std::string>{"Les", "Drevina", "2021", "2020", "2019"}));
    EXPECT_EQ(r.Rows, (std::vector<TDbRow>{{"A", "buk", Null, 2, Null},
                                           {"A", "dub", 1, Null, Null},
                                           {"B", Null, 1, Null, Null},
                                           {"B", "dub", Null, 1, Null}}));
    // Parameters, the statement's own order, and a computed heading matched ignoring case.
    r = db_->Select("PARAMETERS Najmenej Double; TRANSFORM Max(Objem) SELECT Rok FROM P WHERE Objem >= Najmenej "
                    "GROUP BY Rok ORDER BY Rok DESC PIVOT UCase(Drevina) In (\"Dub\", \"BUK\")",
                    {{"Najmenej", 3}});
    EXPECT_EQ(r.Columns, (std::vector<std::string>{"Rok", "Dub", "BUK"}));
    EXPECT_EQ(r.Rows, (std::vector<TDbRow>{{2021, 3.0, Null}, {2020, 7.0, 10.0}}));
    // A saved crosstab runs by name; it cannot be a source of another query.
    db_->ExecuteNative("create table Dotazy (Nazov TEXT, SQL TEXT, Druh TEXT);"
                       "insert into Dotazy values ('qKriz', 'TRANSFORM Count(*) SELECT Rok FROM P GROUP BY Rok "
                       "PIVOT Les', 'crosstab')");
    r = db_->RunSaved("qKriz");
    EXPECT_EQ(r.Columns, (std::vector<std::string>{"Rok", "A", "B", "C"}));
    EXPECT_EQ(r.Rows, (std::vector<TDbRow>{{2020, 2, 1, Null}, {2021, 1, 1, 1}}));
    EXPECT_THROW(db_->Select("SELECT * FROM qKriz"), EAccessDbError);
    EXPECT_THROW(db_->Select("TRANSFORM Count(*) SELECT Rok FROM P GROUP BY Rok"), EAccessDbError);
}

TEST_F(AccessSemantics, AggregatesSkipNulls) {
    const std::vector<std::pair<const char*, TDbValue>> cases = {
        {"SELECT Sum(Plocha) FROM T", 25.5},
        {"SELECT Sum(Plocha) FROM T WHERE Id = 3", Null},
        {"SELECT Count(Plocha) FROM T", 5},
        {"SELECT Count(*) FROM T", 6},
        {"SELECT Avg(Plocha) FROM T", 5.1},
        {"SELECT Min(Porast) FROM T", "Buk"},
        {"SELECT Max(Plocha) FROM T WHERE Id = 3", Null},
        {"SELECT First(Porast) FROM T", "ŽLTÝ"},
        {"SELECT Last(Porast) FROM T", "buk"},
        {"SELECT Var(Plocha) FROM T WHERE Id In (5, 6)", 12.5},
        {"SELECT VarP(Plocha) FROM T WHERE Id In (5, 6)", 6.25},
        {"SELECT StDev(Plocha) FROM T WHERE Id = 5", Null},
        {"SELECT StDevP(Plocha) FROM T WHERE Id = 5", 0.0},
        {"SELECT Sum(Plocha > 5) FROM T", -3},
    };
    for (const auto& [sql, expected] : cases) EXPECT_EQ(Rows(sql).at(0).at(0), expected) << sql;
}

TEST_F(AccessSemantics, DistinctRowTopPercentParametersAndUnions) {
    // DISTINCTROW on one table keeps every row; over a join, one row per shown source row.
    EXPECT_EQ(Rows("SELECT DISTINCTROW Porast FROM T WHERE Porast Like \"b*\"").size(), 2u);
    EXPECT_EQ(Rows("SELECT DISTINCT Porast FROM T WHERE Porast Like \"b*\"").size(), 1u);
    db_->ExecuteNative("insert into K values ('buk', 'druhy buk')");
    EXPECT_EQ(Rows("SELECT T.Id FROM T INNER JOIN K ON T.Porast = K.Kod WHERE T.Porast Like \"b*\"").size(), 4u);
    EXPECT_EQ(Rows("SELECT DISTINCTROW T.Id FROM T INNER JOIN K ON T.Porast = K.Kod WHERE T.Porast Like \"b*\" "
                   "ORDER BY T.Id"),
              (std::vector<TDbRow>{{5}, {6}}));
    // TOP n PERCENT rounds up to whole rows.
    EXPECT_EQ(Rows("SELECT TOP 50 PERCENT Id FROM T ORDER BY Id"), (std::vector<TDbRow>{{1}, {2}, {3}}));
    EXPECT_EQ(Rows("SELECT TOP 20 PERCENT Id FROM T ORDER BY Id DESC"), (std::vector<TDbRow>{{6}, {5}}));
    EXPECT_EQ(Rows("SELECT TOP 2 Id FROM T ORDER BY Id DESC"), (std::vector<TDbRow>{{6}, {5}}));
    // TOP keeps the rows that tie with the last one.
    db_->ExecuteNative("update T set F = Id / 3");  // 0 0 1 1 1 2
    EXPECT_EQ(Rows("SELECT TOP 3 Id FROM T ORDER BY F, Porast").size(), 3u);
    EXPECT_EQ(Rows("SELECT TOP 3 Id FROM T ORDER BY F").size(), 5u);
    EXPECT_EQ(Rows("SELECT TOP 1 F FROM T WHERE Id > 2 ORDER BY F DESC").size(), 1u);
    EXPECT_EQ(Rows("SELECT TOP 40 PERCENT Id FROM T ORDER BY F").size(), 5u);  // 3 rows, then the ties
    // Also when ORDER BY names a shown column by its position or by the name AS gives it.
    EXPECT_EQ(Rows("SELECT TOP 1 Id, F AS G FROM T ORDER BY G, 2"), (std::vector<TDbRow>{{1, 0}, {2, 0}}));
    EXPECT_EQ(Rows("SELECT TOP 3 Id, F FROM T ORDER BY 2").size(), 5u);
    EXPECT_EQ(Rows("SELECT TOP 3 Id, F FROM T ORDER BY 2 DESC").size(), 4u);
    EXPECT_EQ(Rows("SELECT TOP 2 Id, F * 10 AS G FROM T ORDER BY G DESC, 1"), (std::vector<TDbRow>{{6, 20}, {3, 10}}));
    EXPECT_EQ(Rows("SELECT TOP 1 Porast AS P FROM T WHERE Id > 4 ORDER BY P").size(), 2u);  // Buk, buk
    EXPECT_EQ(Rows("SELECT TOP 1 Id FROM T ORDER BY F DESC, 1"), (std::vector<TDbRow>{{6}}));
    // PARAMETERS: values by name; a missing one is an error naming it.
    const std::string q =
        "PARAMETERS [Najmenšia plocha] Double, Druh Text ( 255 ); "
        "SELECT Id FROM T WHERE Plocha >= [Najmenšia plocha] And Porast = Druh ORDER BY Id";
    EXPECT_EQ(db_->Select(q, {{"najmenšia plocha", 2}, {"DRUH", "žltý"}}).Rows, (std::vector<TDbRow>{{1}, {2}}));
    std::string message;
    try {
        db_->Select(q, {{"Druh", "x"}});
    } catch (const EAccessDbError& e) {
        message = e.what();
    }
    EXPECT_EQ(message, "The parameter has no value: Najmenšia plocha.");
    // UNION removes duplicates (ignoring case), UNION ALL keeps them; TABLE x is a part too.
    EXPECT_EQ(Rows("SELECT Kod FROM K WHERE Kod = \"x\" UNION SELECT \"X\" FROM T WHERE Id = 1").size(), 1u);
    EXPECT_EQ(Rows("SELECT Kod FROM K WHERE Kod = \"x\" UNION ALL SELECT \"X\" FROM T WHERE Id = 1").size(), 3u);
    EXPECT_EQ(Rows("TABLE K UNION ALL TABLE K").size(), 10u);
    // SELECT ... INTO makes a table.
    db_->Execute("SELECT Id, Porast INTO Nova FROM T WHERE Plocha > 5");
    EXPECT_EQ(Rows("SELECT Count(*) FROM Nova"), (std::vector<TDbRow>{{3}}));
}

TEST(AccessTextOrder, IndexesBuiltByAnotherConnectionFollowIt) {
    // An index ordered by SQLite's own NOCASE ("č" after "z") still finds rows by Access's order,
    // where "č" is a "c" told apart only when the rest is equal.
    testkit::TempDir dir;
    stdtest::BuildSqlite(dir / "w.sqlite",
                         "create table K (Kod TEXT COLLATE NOCASE);"
                         "insert into K values ('čaj'), ('dub'), ('Cesta'), ('zrub'), ('ÁNO');"
                         "create index KKod on K (Kod);");
    TAccessDb db(dir / "w.sqlite");
    EXPECT_EQ(db.Select("SELECT Kod FROM K WHERE Kod > \"c\" AND Kod < \"e\" ORDER BY Kod").Rows,
              (std::vector<TDbRow>{{"čaj"}, {"Cesta"}, {"dub"}}));
    EXPECT_EQ(db.Select("SELECT Kod FROM K WHERE Kod = \"ČAJ\"").Rows, (std::vector<TDbRow>{{"čaj"}}));
    EXPECT_EQ(db.Select("SELECT Kod FROM K ORDER BY Kod").Rows,
              (std::vector<TDbRow>{{"ÁNO"}, {"čaj"}, {"Cesta"}, {"dub"}, {"zrub"}}));
}

TEST_F(AccessSemantics, TextFunctionsGiveTheSameForPlainAndAccentedTexts) {
    ExpectValues({
        {"UCase(\"abc xyz_09\")", "ABC XYZ_09"},
        {"UCase(\"čaša ab\")", "ČAŠA AB"},
        {"UCase(12)", "12"},
        {"LCase(\"ABC Xyz\")", "abc xyz"},
        {"LCase(\"ŽLTÝ AB\")", "žltý ab"},
        {"Trim(\"  a b  \")", "a b"},
        {"Trim(\"  č b  \")", "č b"},
        {"LTrim(\"  a  \")", "a  "},
        {"RTrim(\"  a  \")", "  a"},
        {"Trim(Chr(9) & \"a \")", "\ta"},  // only spaces are trimmed
        {"Trim(\"   \")", ""},
        {"Left(\"abcdef\", 3)", "abc"},
        {"Left(\"ab\", 5)", "ab"},
        {"Left(\"čaša\", 2)", "ča"},
        {"Left(\"abc\", 0)", ""},
        {"Left(Null, 2)", Null},
        {"Len(\"abc\")", 3},
        {"Len(\"čaša\")", 4},
        {"Len(\"\")", 0},
        {"Len(123)", 3},
    });
}

TEST_F(AccessSemantics, TheTextOrderOfTheConnectionIsAccesssOrder) {
    // Every pair, plain and accented, in the order of the working copy's text columns.
    const std::vector<std::string> texts{"",   "a",   "A",    "ab",  "aB",  "abc", "abá", "ab ", "a_",
                                         "aZ", "á",   "b",    "č",   "c",   "d",   "ž",   "Z",   "z1",
                                         "10", "9",   "abčd", "abc", "ABČ", " ",   "\t", "~"};
    for (const std::string& a : texts)
        for (const std::string& b : texts) {
            const auto r = db_->SelectNative("select :a = :b collate nocase, :a < :b collate nocase",
                                             {{"a", a}, {"b", b}});
            const int order = CompareAccessTexts(a, b);
            EXPECT_EQ(r.Rows[0][0], TDbValue(order == 0 ? 1 : 0)) << "'" << a << "' = '" << b << "'";
            EXPECT_EQ(r.Rows[0][1], TDbValue(order < 0 ? 1 : 0)) << "'" << a << "' < '" << b << "'";
        }
}
