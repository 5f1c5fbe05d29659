// The standard's saved queries with Access's values, end to end: the attribute pass of
// vexa-check on the sample map, and vexa-query on its tables.
#include "checks/CheckTestSupport.h"
#include "access/AccessDb.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#if defined(VEXA_CHECK_PROGRAM) && defined(VEXA_QUERY_PROGRAM)

using namespace vexa;
using namespace vexa::checkstest;
namespace fs = std::filesystem;

namespace {

class AccessQueriesEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temp.Path() / "tmp");
        fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive);
        fs::copy_file(std::string(VEXA_BIN_DIR) + "/StandardGXD.mdb", standard);
    }
    // The sample standard with its own QFormat of PORAST left out, the tests of the fields
    // the structure repair adds (empty) finding nothing, and these saved queries.
    void SetQueries(const std::vector<std::pair<std::string, std::string>>& queries) {
        TAccessDb db(standard.string());
        db.ExecuteNative("update DBAtrib set QFormat = NULL where Meno = 'PORAST'");
        db.ExecuteNative(
            "update Dotazy set SQL = 'SELECT TestTab.Cislo FROM TestTab WHERE False' "
            "where Nazov in ('qTestDrevina', 'qTestVek')");
        for (const auto& [name, sql] : queries)
            db.ExecuteNative("update Dotazy set SQL = :s where Nazov = :n", {{"s", sql}, {"n", name}});
    }
    Outcome Run(const std::string& program, const std::string& args) {
        return RunProgram(Quote(program) + " --standard " + Quote(standard.string()) + " " + args,
                          temp.Path() / "tmp", temp.Path());
    }
    // The numbers of the badly filled records of LE_00001.blk/p0001.dbf after vexa-check --db 3.
    std::vector<int> BadlyFilled() {
        const Outcome o = Run(VEXA_CHECK_PROGRAM, "--db 3 --block LE_00001.blk " + Quote(map.string()));
        EXPECT_EQ(o.Status, 1) << o.Err;
        std::vector<int> numbers;
        for (const TErrorRecord& r : ReadErrorTable((map / "Chyby.DBF").string()))
            if (r.Id == -93 && r.Chyba == "zle vyplnený DB záznam" && r.Cislo) numbers.push_back(*r.Cislo);
        return numbers;
    }
    Outcome Query(const std::string& args) { return Run(VEXA_QUERY_PROGRAM, args); }

    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
    fs::path standard = temp.Path() / "std.mdb";
    std::string table = Quote((map / "LE_00001.blk" / "p0001.dbf").string());
};

const char* const kNone = "SELECT TestTab.Cislo FROM TestTab WHERE False;";

// A query that never ends and whose rows never stop coming.
const char* const kEndless = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c) SELECT x AS Cislo FROM c";

struct TMeasured {
    Outcome Run;
    double Seconds = 0;
    long PeakMb = 0;  // the program's largest resident set
};

// Runs a shell command line as RunProgram does, measuring its time and peak memory. As a
// guard for the machine, a run that got past the bounds is cut at 4 GB of address space
// (not under AddressSanitizer, which reserves far more) and 120 s of processor time.
TMeasured RunMeasured(const std::string& commandLine, const fs::path& tmpDir, const fs::path& workDir) {
    const std::string command = "TMPDIR=" + Quote(tmpDir.string()) + " exec " + commandLine + " >" +
                                Quote((workDir / "out").string()) + " 2>" + Quote((workDir / "err").string());
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        const rlimit memory{4ULL << 30, 4ULL << 30};
        ::setrlimit(RLIMIT_AS, &memory);
#endif
        const rlimit cpu{120, 120};
        ::setrlimit(RLIMIT_CPU, &cpu);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int raw = 0;
    rusage usage{};
    ::wait4(pid, &raw, 0, &usage);
    TMeasured m;
    m.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.PeakMb = usage.ru_maxrss / 1024;
    m.Run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    m.Run.Out = ReadFileText(workDir / "out");
    m.Run.Err = ReadFileText(workDir / "err");
    return m;
}

int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

// An endless saved query is stopped by the bounds of time and memory, named once and not run
// again for the other blocks; the run goes on, hands over the other findings and the
// history, says what it repaired, and exits 3 as a run with a check that could not be done.
// vexa-query on the same statement is stopped as well. Bounds measured: the row bound
// (256 MB for all connections) stops it within seconds at a few hundred MB.
TEST_F(AccessQueriesEndToEnd, EndlessQueryIsStoppedOnceAndTheRunGoesOn) {
    SetQueries({{"qTestPorast", kEndless}});
    const TMeasured check =
        RunMeasured(Quote(VEXA_CHECK_PROGRAM) + " --standard " + Quote(standard.string()) +
                        " --jobs 2 --db 15 --lines 63 " + Quote(map.string()),
                    temp.Path() / "tmp", temp.Path());
    const Outcome& o = check.Run;
    std::cout << "vexa-check with the endless query: " << check.Seconds << " s, " << check.PeakMb << " MB\n";
    EXPECT_EQ(o.Status, 3) << o.Err;
    EXPECT_LT(check.Seconds, 40.0);
    EXPECT_LT(check.PeakMb, 1500);
    EXPECT_EQ(Occurrences(o.Err, "Uložený dotaz qTestPorast bol zastavený"), 1) << o.Err;
    EXPECT_NE(o.Err.find("Niektoré kontroly sa nedali vykonať"), std::string::npos) << o.Err;
    EXPECT_NE(o.Err.find("Upravená tabuľka " + (map / "LE_00001.blk" / "p0001.dbf").string()), std::string::npos)
        << o.Err;
    EXPECT_EQ(o.Err.find("Bez chýb."), std::string::npos) << o.Err;
    // The other findings were handed over, and the run is in the history.
    EXPECT_FALSE(ReadErrorTable((map / "Chyby.DBF").string()).empty());
    EXPECT_TRUE(fs::exists(map / ".vexa" / "historia.sqlite"));
    EXPECT_GT(fs::file_size(map / ".vexa" / "historia.sqlite"), 0u);

    const TMeasured query = RunMeasured(Quote(VEXA_QUERY_PROGRAM) + " --standard " + Quote(standard.string()) + " " +
                                            table + " " + Quote(kEndless),
                                        temp.Path() / "tmp", temp.Path());
    std::cout << "vexa-query with the endless query: " << query.Seconds << " s, " << query.PeakMb << " MB\n";
    EXPECT_EQ(query.Run.Status, 2) << query.Run.Err;
    EXPECT_NE(query.Run.Err.find("Dotaz bol zastavený"), std::string::npos) << query.Run.Err;
    EXPECT_LT(query.Seconds, 40.0);
    EXPECT_LT(query.PeakMb, 1500);
}

// Column names are the table's own spelling (CISLO), as Access shows a field.
// QTest findings as Access gives them (the sample table: 7 records, PLOCHA 1, PORAST "1a".."6a", "9z").
TEST_F(AccessQueriesEndToEnd, TestQueriesFindWhatAccessFinds) {
    const struct {
        const char* Generate;
        const char* TestPlocha;
        const char* TestPorast;
        std::vector<int> Expected;
    } cases[] = {
        {nullptr, "SELECT TestTab.Cislo FROM TestTab WHERE (TestTab.PLOCHA > 0) = True;", kNone, {1, 2, 3, 4, 5, 6, 7}},
        {nullptr, kNone, "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.PORAST In (\"1A\", \"9Z\");", {1, 7}},
        {nullptr,
         kNone,
         "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.PORAST = \"2A\" Or TestTab.PORAST < \"2\";",
         {1, 2}},
        {nullptr,
         "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.PLOCHA + \"1\" = 2 And Not (TestTab.Cislo > 2);",
         kNone,
         {1, 2}},
        {"UPDATE TestTab SET TestTab.DATUM = #12/31/2010# WHERE TestTab.Cislo In (3, 5);",
         "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.DATUM - #12/30/2010# = 1 And Year(TestTab.DATUM) = 2010;",
         kNone,
         {3, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.TestPlocha + std::string(" / ") + c.TestPorast);
        fs::remove_all(map);
        fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive);
        fs::remove(standard);
        fs::copy_file(std::string(VEXA_BIN_DIR) + "/StandardGXD.mdb", standard);
        std::vector<std::pair<std::string, std::string>> queries = {{"qTestPlocha", c.TestPlocha},
                                                                    {"qTestPorast", c.TestPorast}};
        if (c.Generate) queries.emplace_back("qGenPlocha", c.Generate);
        SetQueries(queries);
        std::vector<int> numbers = BadlyFilled();
        std::sort(numbers.begin(), numbers.end());
        EXPECT_EQ(numbers, c.Expected);
    }
    // The date the generating query wrote is in the dBASE table.
    const Outcome o = Query(table + " \"SELECT Cislo, DATUM FROM TestTab WHERE DATUM Is Not Null\"");
    EXPECT_EQ(o.Out, "{\"CISLO\":3,\"DATUM\":\"2010-12-31\"}\n{\"CISLO\":5,\"DATUM\":\"2010-12-31\"}\n") << o.Err;
}

TEST_F(AccessQueriesEndToEnd, QueryToolPrintsRowsAndWritesOnlyWhenAsked) {
    const struct {
        std::string Statement;
        std::string Out;
    } cases[] = {
        {"SELECT Cislo, PORAST, PLOCHA > 0 AS Kladna, Null AS Nic FROM TestTab WHERE PORAST In (\"1A\", \"9Z\")",
         "{\"CISLO\":1,\"PORAST\":\"1a\",\"Kladna\":-1,\"Nic\":null}\n{\"CISLO\":7,\"PORAST\":\"9z\",\"Kladna\":-1,"
         "\"Nic\":null}\n"},
        {"SELECT TOP 1 DateAdd(\"h\", 6, #12/31/2010#) AS Kedy, PLOCHA / 4 AS Stvrt, \"ž\" & \"\" AS T FROM TestTab",
         "{\"Kedy\":\"2010-12-31T06:00:00\",\"Stvrt\":0.25,\"T\":\"ž\"}\n"},
        {"qTestPlocha", ""},  // a saved query by name: no record is out of range
        {"SELECT Count(*) AS N FROM Dreviny WHERE Kod Is Not Null", "{\"N\":"},
        {"UPDATE TestTab SET PORAST = UCase(PORAST) WHERE Cislo < 3", "{\"changed\": 2}\n"},
    };
    const std::string before = ReadFileText(map / "LE_00001.blk" / "p0001.dbf");
    for (const auto& c : cases) {
        const Outcome o = Query(table + " " + Quote(c.Statement));
        EXPECT_EQ(o.Status, 0) << c.Statement << ": " << o.Err;
        EXPECT_EQ(o.Out.substr(0, c.Out.size()), c.Out) << c.Statement;
        EXPECT_EQ(o.Err, "") << c.Statement;
    }
    EXPECT_EQ(ReadFileText(map / "LE_00001.blk" / "p0001.dbf"), before);  // nothing written without --write

    Outcome o = Query("--write " + table + " " + Quote("UPDATE TestTab SET PORAST = UCase(PORAST) WHERE Cislo < 3"));
    EXPECT_EQ(o.Out, "{\"changed\": 2}\n") << o.Err;
    o = Query(table + " " + Quote("SELECT PORAST FROM TestTab WHERE Cislo <= 3"));
    EXPECT_EQ(o.Out, "{\"PORAST\":\"1A\"}\n{\"PORAST\":\"2A\"}\n{\"PORAST\":\"3a\"}\n");

    // Errors: the message on stderr, status 2, nothing on stdout, the table as it was.
    const std::string written = ReadFileText(map / "LE_00001.blk" / "p0001.dbf");
    const struct {
        std::string Args;
        std::string Err;
    } errors[] = {
        {"--write " + table + " " + Quote("UPDATE TestTab SET PLOCHA = \"x\" * 2"), "Type mismatch\n"},
        {table + " " + Quote("SELECT Nic FROM TestTab"), "no such column: Nic\n"},
        {table + " " + Quote("PARAMETERS [Kód] Text; SELECT Cislo FROM TestTab WHERE PORAST = [Kód]"),
         "The parameter has no value: Kód.\n"},
        {Quote((map / "none.dbf").string()) + " " + Quote("SELECT 1"),
         "Tabuľka neexistuje\n(" + (map / "none.dbf").string() + ")\n"},
        {table, "Očakáva sa TABUĽKA.dbf a príkaz (vexa-query --help)\n"},
    };
    for (const auto& e : errors) {
        o = Query(e.Args);
        EXPECT_EQ(o.Status, 2) << e.Args;
        EXPECT_EQ(o.Err, e.Err) << e.Args;
        EXPECT_EQ(o.Out, "") << e.Args;
    }
    EXPECT_EQ(ReadFileText(map / "LE_00001.blk" / "p0001.dbf"), written);
}

// Two statements are refused even with --write, the table as it was and no working copy
// left behind; parameters take their values from --param; an unknown saved query says so.
TEST_F(AccessQueriesEndToEnd, QueryToolRefusesMoreStatementsAndTakesParameters) {
    const std::string before = ReadFileText(map / "LE_00001.blk" / "p0001.dbf");
    Outcome o = Query("--write " + table + " " + Quote("SELECT Cislo FROM TestTab; DELETE FROM TestTab"));
    EXPECT_EQ(o.Status, 2);
    EXPECT_EQ(o.Err, "Dotaz obsahuje viac ako jeden príkaz\n");
    EXPECT_EQ(o.Out, "");
    o = Query("--write " + table + " " + Quote("SELECT " + std::string(4000, '(') + "1" + std::string(4000, ')')));
    EXPECT_EQ(o.Status, 2);
    EXPECT_EQ(o.Err, "Dotaz je vnorený príliš hlboko (viac ako 40 úrovní zátvoriek)\n");
    o = Query(table + " " + Quote("SELECT fts3_tokenizer('simple') AS A"));
    EXPECT_EQ(o.Status, 2);
    EXPECT_EQ(o.Out, "");
    EXPECT_NE(o.Err.find("Príkaz bol odmietnutý"), std::string::npos) << o.Err;
    EXPECT_EQ(ReadFileText(map / "LE_00001.blk" / "p0001.dbf"), before);
    EXPECT_TRUE(fs::is_empty(temp.Path() / "tmp"));

    const std::string select = "PARAMETERS [Kód] Text, Od Long; SELECT Cislo FROM TestTab WHERE PORAST = [Kód] Or Cislo > Od";
    o = Query("--param Kód=2A --param=Od=6 " + table + " " + Quote(select));
    EXPECT_EQ(o.Out, "{\"CISLO\":2}\n{\"CISLO\":7}\n") << o.Err;
    SetQueries({{"qTestPorast", select}});
    o = Query("--param kód=9z --param OD=100 " + table + " qTestPorast");
    EXPECT_EQ(o.Out, "{\"CISLO\":7}\n") << o.Err;
    o = Query(table + " qTestPorast --param Od");
    EXPECT_EQ(o.Status, 2);
    EXPECT_EQ(o.Err, "Voľba --param očakáva MENO=HODNOTA: Od\n");

    o = Query(table + " qNeznamy");
    EXPECT_EQ(o.Status, 2);
    EXPECT_EQ(o.Err, "Uložený dotaz neexistuje\n(qNeznamy)\n");
    o = Query(table + " " + Quote("[q Neznamy]"));
    EXPECT_EQ(o.Err, "Uložený dotaz neexistuje\n(q Neznamy)\n");
}

// A crosstab prints its rows like any SELECT, a column per heading; a saved one runs by name.
// A text compared with a number is refused as Jet refuses it.
TEST_F(AccessQueriesEndToEnd, QueryToolRunsCrosstabsAndRefusesMismatchedCriteria) {
    Outcome o = Query(table + " " +
                      Quote("TRANSFORM Count(*) SELECT Right(PORAST, 1) AS Typ FROM TestTab "
                            "GROUP BY Right(PORAST, 1) PIVOT Cislo Mod 2"));
    EXPECT_EQ(o.Status, 0) << o.Err;
    EXPECT_EQ(o.Out, "{\"Typ\":\"a\",\"0\":3,\"1\":3}\n{\"Typ\":\"z\",\"0\":null,\"1\":1}\n") << o.Err;
    SetQueries({{"qTestPorast", "TRANSFORM Sum(TestTab.PLOCHA) SELECT TestTab.Cislo > 4 AS Vela FROM TestTab "
                                "GROUP BY TestTab.Cislo > 4 PIVOT Left(TestTab.PORAST, 1) In (\"9\", \"1\");"}});
    o = Query(table + " qTestPorast");
    EXPECT_EQ(o.Status, 0) << o.Err;
    EXPECT_EQ(o.Out, "{\"Vela\":-1,\"9\":1,\"1\":null}\n{\"Vela\":0,\"9\":null,\"1\":1}\n") << o.Err;

    SetQueries({{"qTestPorast", "SELECT TestTab.Cislo FROM TestTab WHERE TestTab.PORAST = 1;"}});
    o = Query(table + " qTestPorast");
    EXPECT_EQ(o.Status, 2);
    EXPECT_EQ(o.Err, "Uložený dotaz qTestPorast sa nepodarilo vykonať.\n(Data type mismatch in criteria expression: "
                     "TestTab.PORAST = 1)\n");
    o = Query(table + " " + Quote("SELECT Cislo FROM TestTab WHERE PORAST = \"1a\" Or Cislo = 7"));
    EXPECT_EQ(o.Out, "{\"CISLO\":1}\n{\"CISLO\":7}\n") << o.Err;
}

#endif
