// Hostile statements cannot exhaust the machine: each is refused with a clear error
// well within loose bounds of time and memory, and nothing is written. Each statement
// runs in a child process so that its own peak memory and a crash can be seen.
#include "standard/StandardTestSupport.h"
#include "access/AccessDb.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace vexa;
namespace fs = std::filesystem;

namespace {

struct TChildOutcome {
    bool Exited = false;  // false: killed by a signal (a crash)
    std::string Message;  // the error the statement raised, "(no error)" when none
    double Seconds = 0;
    long PeakKb = 0;
};

class QueryBoundsTest : public ::testing::Test {
protected:
    void SetUp() override {
        stdtest::BuildSqlite(path_, "create table TestTab (Cislo INTEGER, Nazov TEXT);"
                                    "insert into TestTab values (1, 'a'), (2, 'b'), (3, 'c');"
                                    "create table Dotazy (Nazov TEXT, SQL TEXT);");
    }
    // Runs the Access statement (after the native setup statement, when given) in a child
    // with a one-second time limit.
    TChildOutcome RunInChild(const std::string& accessSql, const std::string& nativeFirst = {}) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            std::string message = "(no error)";
            try {
                TAccessDb db(path_.string());
                db.SetQueryTimeLimit(1000);
                try {
                    if (!nativeFirst.empty()) db.SelectNative(nativeFirst);
                } catch (const EAccessDbError&) {
                    // refused too; the statement after it must still be
                }
                db.Query(accessSql);
            } catch (const std::exception& e) {
                message = e.what();
            }
            if (write(fds[1], message.data(), message.size()) < 0) _exit(3);
            _exit(0);
        }
        close(fds[1]);
        TChildOutcome out;
        char buf[4096];
        for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.Message.append(buf, static_cast<std::size_t>(n));
        close(fds[0]);
        int status = 0;
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        out.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        out.Exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        out.PeakKb = usage.ru_maxrss;
        return out;
    }
    std::int64_t Rows() {
        TAccessDb db(path_.string());
        return db.SelectNative("select count(*) from TestTab").Rows.at(0).at(0).AsInteger();
    }
    testkit::TempDir dir_;
    fs::path path_ = dir_.Path() / "work.sqlite";
};

TEST_F(QueryBoundsTest, HostileStatementsAreRefusedWithinBounds) {
    const std::string deep = "SELECT " + std::string(4000, '(') + "1" + std::string(4000, ')') + " FROM TestTab";
    const std::string recursive = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) ";
    const struct {
        std::string Sql;
        std::string NativeFirst;
        std::string Error;
    } cases[] = {
        {"SELECT fts3_tokenizer('simple') AS A", "", "Príkaz bol odmietnutý"},
        {"CREATE VIRTUAL TABLE v USING fts3(x)", "", "Príkaz bol odmietnutý"},
        {deep, "", "Dotaz je vnorený príliš hlboko (viac ako 40 úrovní zátvoriek)"},
        {"SELECT " + std::string(70000, ' ') + "1", "", "Dotaz je dlhší ako 64000 znakov"},
        {recursive + "SELECT Count(*) FROM c", "", "Dotaz bol zastavený: trval dlhšie ako 1 s"},
        {recursive + "SELECT group_concat(x) FROM c", "", "Dotaz bol zastavený: "},
        {"SELECT Space(1e9) AS S FROM TestTab", "", "Text by bol dlhší ako 16777216 bajtov"},
        {"SELECT String(1e9, \"ž\") AS S FROM TestTab", "", "Text by bol dlhší ako 16777216 bajtov"},
        {"SELECT Replace(Space(10000), \" \", Space(10000)) AS S", "", "Text by bol dlhší ako 16777216 bajtov"},
        {"SELECT * FROM TestTab; DELETE FROM TestTab", "", "Dotaz obsahuje viac ako jeden príkaz"},
        {"DELETE FROM TestTab; SELECT * FROM TestTab", "", "Dotaz obsahuje viac ako jeden príkaz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Sql.substr(0, 80));
        const TChildOutcome o = RunInChild(c.Sql, c.NativeFirst);
        EXPECT_TRUE(o.Exited);
        EXPECT_NE(o.Message.find(c.Error), std::string::npos) << o.Message;
        // A statement stopped after its second; under AddressSanitizer the slower program
        // and the allocator's quarantine of freed memory are allowed for.
        EXPECT_LT(o.Seconds, stdtest::kAddressSanitizer ? 4.0 : 2.0);
        EXPECT_LT(o.PeakKb, (stdtest::kAddressSanitizer ? 200 + 256 : 200) * 1024);
        EXPECT_EQ(Rows(), 3);
    }
    // The tokenizer's address is given out nowhere, and none is taken in: a virtual table
    // after an attempt to plant one is refused, not a crash.
    const TChildOutcome planted =
        RunInChild("CREATE VIRTUAL TABLE v USING fts3(x)", "select fts3_tokenizer('simple', randomblob(8))");
    EXPECT_TRUE(planted.Exited);
    EXPECT_NE(planted.Message.find("odmietnut"), std::string::npos) << planted.Message;
}

TEST_F(QueryBoundsTest, OrdinaryQueriesStayWithinTheBounds) {
    TAccessDb db(path_.string());
    db.SetQueryTimeLimit(1000);
    // PARAMETERS is the one statement allowed before the query; nesting up to the bound works.
    EXPECT_EQ(db.Select("PARAMETERS [N] Long; SELECT Count(*) AS C FROM TestTab WHERE Cislo > [N];", {{"N", 1}})
                  .Rows.at(0)
                  .at(0),
              TDbValue(2));
    const std::string nested = std::string(40, '(') + "2" + std::string(40, ')');
    EXPECT_EQ(db.Select("SELECT " + nested + " * 3 AS V").Rows.at(0).at(0), TDbValue(6));
    EXPECT_EQ(db.Select("SELECT Len(Space(1000000)) AS L").Rows.at(0).at(0), TDbValue(1000000));
    // A query stopped for its time leaves the connection usable, and the system's own SQL has no limit.
    EXPECT_THROW(db.Select("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT Count(*) FROM c"),
                 EAccessDbError);
    EXPECT_EQ(db.Select("SELECT Count(*) AS C FROM TestTab").Rows.at(0).at(0), TDbValue(3));
}

}  // namespace
