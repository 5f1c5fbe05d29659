// The cycle of a map's review through the programs: a run; an exception; the run again
// (the finding left out and counted); the excepted element changed (reported again, the
// exception no longer valid); another finding fixed (reported fixed); the runs and their
// comparison; a re-check of one block merged into Chyby.DBF.
#include "checks/CheckTestSupport.h"
#include "review/ReviewTestSupport.h"
#include "run/CheckRun.h"
#include "run/FindingPrinter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#if defined(VEXA_CHECK_PROGRAM) && defined(VEXA_REVIEW_PROGRAM)

using namespace vexa;
using namespace vexa::checkstest;
using namespace vexa::reviewtest;

namespace {

class ReviewCycle : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temp.Path() / "tmp");
        fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive);
    }
    Outcome Check(const std::string& args) {
        return RunProgram(Quote(VEXA_CHECK_PROGRAM) + " --quiet --jobs 1 " + args + " " + Quote(map.string()),
                          temp.Path() / "tmp", temp.Path());
    }
    Outcome CheckWithSummary(const std::string& args) {
        return RunProgram(Quote(VEXA_CHECK_PROGRAM) + " --jobs 1 " + args + " " + Quote(map.string()),
                          temp.Path() / "tmp", temp.Path());
    }
    Outcome Review(const std::string& args) {
        return RunProgram(Quote(VEXA_REVIEW_PROGRAM) + " " + Quote(map.string()) + " " + args, temp.Path() / "tmp",
                          temp.Path());
    }
    std::vector<TErrorRecord> Table() const { return ReadErrorTable((map / "Chyby.DBF").string()); }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
    static int CountOf(const std::string& text, const std::string& part) {
        int n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    }
    static bool InTable(const std::vector<TErrorRecord>& rows, const std::string& block, int number, int code) {
        for (const TErrorRecord& r : rows)
            if (r.Blok == block && r.Cislo == number && r.Id == code) return true;
        return false;
    }

    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
    const std::string options = "--points 3 --areas 1 --block LE_00002.blk --block LE_00003.blk --format json";
};

const std::string kRotated = "\"group\":\"B\",\"kind\":5,\"number\":3,\"code\":-32";
const std::string kForeignKind = "\"group\":\"B\",\"kind\":6,\"number\":2,\"code\":-31";

// A block whose name is not UTF-8: the name vexa-check prints (\xHH) is the name the
// review takes, the exception is stored under it (code page 1250 takes no stray byte) and
// the next run leaves the finding out; the raw name means the same block.
TEST_F(ReviewCycle, BlockNamedInBytesThatAreNotUtf8IsExceptedByItsPrintedName) {
    fs::rename(map / "LE_00002.blk", map / "LE_0000\xe9.blk");
    const std::string opts = "--points 3 --block 'LE_0000\xe9.blk' --format json";
    Outcome first = Check(opts);
    ASSERT_EQ(first.Status, 1) << first.Err;
    ASSERT_TRUE(Has(first.Out, "\"block\":\"LE_0000\\\\xE9.blk\",\"layer\":\"LE\"," + kRotated)) << first.Out;
    Outcome except = Review("except 'LE_0000\\xE9.blk' B:3 -32 --reason 'zámerne'");
    ASSERT_EQ(except.Status, 0) << except.Err;
    EXPECT_TRUE(Has(except.Err, "Výnimka uložená: LE_0000\\xE9.blk B:3 kód -32")) << except.Err;
    Outcome listed = Review("exceptions");
    EXPECT_TRUE(Has(listed.Out, "\"block\":\"LE_0000\\\\xE9.blk\",\"layer\":\"LE\",\"group\":\"B\",\"number\":3"))
        << listed.Out;
    EXPECT_TRUE(Has(listed.Out, "\"valid\":true,\"element\":\"same\"")) << listed.Out;
    Outcome raw = Review("except 'LE_0000\xe9.blk' B:2 -31 --reason 'tiež'");
    EXPECT_EQ(raw.Status, 0) << raw.Err;
    Outcome second = CheckWithSummary(opts);
    EXPECT_EQ(second.Status, 0) << second.Err;
    EXPECT_FALSE(Has(second.Out, kRotated)) << second.Out;
    EXPECT_TRUE(Has(second.Err, "výnimky: 2.")) << second.Err;
    EXPECT_FALSE(Has(second.Err, "už neplatí")) << second.Err;
    Outcome removed = Review("unexcept 'LE_0000\\xE9.blk' B:3 -32");
    EXPECT_EQ(removed.Status, 0) << removed.Err;
}

// vexa-review with its stdout on a terminal: the lines of its output split into cells
// (columns are two or more blanks apart); its stderr goes to a file.
std::vector<std::vector<std::string>> OnTerminal(const std::string& command, const fs::path& err) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
    const std::string line = command + " 2>" + Quote(err.string());
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(slave, STDOUT_FILENO);
        close(master);
        close(slave);
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(slave);
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(out);
    for (std::string text; std::getline(in, text);) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        std::vector<std::string> cells;
        for (std::size_t at = 0; at < text.size();) {
            std::size_t end = text.find("  ", at);
            if (end == std::string::npos) end = text.size();
            cells.push_back(text.substr(at, end - at));
            at = text.find_first_not_of(' ', end);
            if (at == std::string::npos) break;
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

// The listings as a person reads them on a terminal, JSON when piped or asked; the
// comparison of two runs names the findings an exception left out.
TEST_F(ReviewCycle, ListingsAreTablesOnATerminalAndComparisonsTellExcepted) {
    ASSERT_EQ(Check(options).Status, 1);
    ASSERT_EQ(Review("except LE_00002.blk B:3 -32 --reason 'zámerne'").Status, 0);
    ASSERT_EQ(Check(options).Status, 1);
    Outcome piped = Review("compare");
    ASSERT_EQ(piped.Status, 0) << piped.Err;
    EXPECT_EQ(CountOf(piped.Out,
                      "{\"status\":\"excepted\",\"block\":\"LE_00002.blk\",\"group\":\"B\",\"number\":3,"
                      "\"code\":-32,\"kind\":5,\"text\":\"uhol otočenia\""),
              1)
        << piped.Out;
    EXPECT_EQ(CountOf(piped.Out, "\"status\":\"persisting\""), 2) << piped.Out;

    const std::string program = Quote(VEXA_REVIEW_PROGRAM) + " " + Quote(map.string());
    const fs::path err = temp.Path() / "terminal-err";
    auto compare = OnTerminal(program + " compare", err);
    ASSERT_EQ(compare.size(), 5u) << "the two runs, the header and three findings";
    EXPECT_EQ(compare[1], (std::vector<std::string>{"Stav", "Blok", "Prvok", "Kód", "Druh", "Text", "Od"}));
    int excepted = 0;
    for (const auto& row : compare)
        if (row.size() == 7 && row[0] == "výnimka") {
            ++excepted;
            EXPECT_EQ(std::vector<std::string>(row.begin() + 1, row.end() - 1),
                      (std::vector<std::string>{"LE_00002.blk", "B:3", "-32", "5", "uhol otočenia"}));
        }
    EXPECT_EQ(excepted, 1);
    auto runs = OnTerminal(program + " runs", err);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0], (std::vector<std::string>{"Kontrola", "Dátum", "Úplná", "Bloky", "Vynechané", "Chyby", "Nové",
                                                 "Trvajúce", "Opravené", "Výnimky", "Trvanie"}));
    ASSERT_EQ(runs[2].size(), 11u);
    EXPECT_EQ(std::vector<std::string>(runs[2].begin() + 2, runs[2].end() - 1),
              (std::vector<std::string>{"áno", "2", "0", "2", "0", "2", "0", "1"}));
    auto exceptions = OnTerminal(program + " exceptions", err);
    ASSERT_EQ(exceptions.size(), 2u);
    ASSERT_EQ(exceptions[1].size(), 9u);
    EXPECT_EQ(exceptions[1][0], "LE_00002.blk");
    EXPECT_EQ(exceptions[1][5], "zámerne");
    EXPECT_EQ(exceptions[1][8], "rovnaký");
    // --json keeps the lines for scripts also on a terminal.
    auto json = OnTerminal(program + " runs --json", err);
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0][0].rfind("{\"run\":", 0), 0u);
}

// The GIS export of a run shows what an exception left out: the finding goes out with the
// status "excepted" and its reason (the styles draw it muted), the others as reported; the
// error table and the printed lines still leave it out.
TEST_F(ReviewCycle, TheExportCarriesExceptionsWithTheirReason) {
    ASSERT_EQ(Check(options).Status, 1);
    ASSERT_EQ(Review("except LE_00002.blk B:3 -32 --reason 'zámerne'").Status, 0);
    const fs::path out = temp.Path() / "f.geojson";
    Outcome again = Check(options + " --export " + Quote(out.string()));
    ASSERT_EQ(again.Status, 1) << again.Err;
    EXPECT_FALSE(Has(again.Out, "\"number\":3,\"code\":-32")) << again.Out;
    const std::string points = testkit::ReadFileText(temp.Path() / "f_findings_point.geojson");
    EXPECT_EQ(CountOf(points, "\"status\": \"excepted\", \"exception_reason\": \"zámerne\""), 1) << points;
    EXPECT_EQ(CountOf(points, "\"status\": \"excepted\""), 1) << points;
    EXPECT_EQ(CountOf(points, "\"number\": 3, \"code\": -32"), 1) << points;
    std::size_t reported = 0;
    for (const auto& f : fs::directory_iterator(temp.Path()))
        if (f.path().extension() == ".geojson")
            reported += CountOf(testkit::ReadFileText(f.path()), "\"status\": \"reported\"");
    EXPECT_EQ(reported, Lines(again.Out).size()) << "every printed finding goes out as reported";
}

TEST_F(ReviewCycle, ExceptFixAndVerify) {
    // 1. The first run: everything is new.
    Outcome first = CheckWithSummary(options);
    ASSERT_EQ(first.Status, 1) << first.Err;
    ASSERT_EQ(Lines(first.Out).size(), 3u) << first.Out;
    EXPECT_EQ(CountOf(first.Out, "\"status\":\"new\""), 3);
    EXPECT_TRUE(Has(first.Out, kRotated));
    EXPECT_TRUE(Has(first.Err, "Nové: 3, trvajúce: 0, opravené: 0, výnimky: 0.")) << first.Err;

    // 2. Exceptions: a reason is required; only a finding of the last run is taken.
    Outcome noReason = Review("except LE_00002.blk B:3 -32");
    EXPECT_EQ(noReason.Status, 2);
    EXPECT_TRUE(Has(noReason.Err, "dôvod")) << noReason.Err;
    Outcome unknown = Review("except LE_00002.blk B:4 -32 --reason 'iný'");
    EXPECT_EQ(unknown.Status, 2);
    EXPECT_TRUE(Has(unknown.Err, "nie je medzi chybami poslednej kontroly")) << unknown.Err;
    EXPECT_FALSE(fs::exists(map / "Vynimky.DBF")) << "a refusal writes nothing";
    Outcome except = Review("except LE_00002.blk B:3 -32 --reason 'šikmá značka, zámerne'");
    ASSERT_EQ(except.Status, 0) << except.Err;
    Outcome listed = Review("exceptions");
    ASSERT_EQ(Lines(listed.Out).size(), 1u) << listed.Out;
    EXPECT_TRUE(Has(listed.Out, "\"block\":\"LE_00002.blk\",\"layer\":\"LE\",\"group\":\"B\",\"number\":3,\"code\":-32,\"kind\":5"))
        << listed.Out;
    EXPECT_TRUE(Has(listed.Out, "\"reason\":\"šikmá značka, zámerne\""));
    EXPECT_TRUE(Has(listed.Out, "\"valid\":true"));

    // 3. The run again: the excepted finding is gone from stdout and the table, counted.
    Outcome second = CheckWithSummary(options);
    ASSERT_EQ(second.Status, 1) << second.Err;
    EXPECT_FALSE(Has(second.Out, kRotated)) << second.Out;
    EXPECT_EQ(CountOf(second.Out, "\"status\":\"persisting\""), 2) << second.Out;
    EXPECT_FALSE(InTable(Table(), "LE_00002.blk", 3, -32));
    EXPECT_EQ(Table().size(), 2u);
    EXPECT_TRUE(Has(second.Err, "Počet chýb: 2")) << second.Err;
    EXPECT_TRUE(Has(second.Err, "Nové: 0, trvajúce: 2, opravené: 0, výnimky: 1.")) << second.Err;
    // Blocks checked by two workers: the same left out, the same statuses.
    Outcome parallel = RunProgram(Quote(VEXA_CHECK_PROGRAM) + " --jobs 2 " + options + " " + Quote(map.string()),
                                  temp.Path() / "tmp", temp.Path());
    EXPECT_EQ(parallel.Out, second.Out);
    EXPECT_TRUE(Has(parallel.Err, "Nové: 0, trvajúce: 2, opravené: 0, výnimky: 1.")) << parallel.Err;
    // Without the exceptions every finding is there.
    Outcome all = Check(options + " --no-exceptions");
    EXPECT_TRUE(Has(all.Out, kRotated)) << all.Out;
    EXPECT_TRUE(InTable(Table(), "LE_00002.blk", 3, -32));
    Check(options);  // the table as the exceptions have it

    // 4. The excepted point turned, the foreign-kind point fixed.
    TurnPoint(map / "LE_00002.blk", 3);
    SetPointKind(map / "LE_00002.blk", 2, 5);
    Outcome third = CheckWithSummary(options);
    ASSERT_EQ(third.Status, 1) << third.Err;
    EXPECT_TRUE(Has(third.Out, kRotated)) << "the changed element is reported again: " << third.Out;
    EXPECT_FALSE(Has(third.Out, kForeignKind));
    EXPECT_TRUE(Has(third.Err, "Výnimka už neplatí, prvok sa zmenil: LE_00002.blk B:3 kód -32 (dôvod: šikmá značka, zámerne)"))
        << third.Err;
    EXPECT_EQ(CountOf(third.Err, "Výnimka už neplatí"), 2) << "said in passing and in the summary: " << third.Err;
    EXPECT_TRUE(Has(third.Err, "Nové: 1, trvajúce: 1, opravené: 1, výnimky: 0.")) << third.Err;
    EXPECT_TRUE(InTable(Table(), "LE_00002.blk", 3, -32));
    Outcome invalid = Review("exceptions");
    EXPECT_TRUE(Has(invalid.Out, "\"valid\":false,\"element\":\"changed\"")) << invalid.Out;
    EXPECT_TRUE(Has(invalid.Out, "\"reason\":\"šikmá značka, zámerne\"")) << "kept with the reason given then";

    // 5. The runs and the last two compared.
    Outcome runs = Review("runs");
    ASSERT_EQ(runs.Status, 0) << runs.Err;
    std::vector<std::string> r = Lines(runs.Out);
    ASSERT_EQ(r.size(), 6u) << runs.Out;  // two workers, --no-exceptions and the table's own run among them
    EXPECT_TRUE(Has(r[0], "\"complete\":true,\"checked\":[\"LE_00002.blk\",\"LE_00003.blk\"],\"skipped\":[],"
                          "\"findings\":3,\"new\":3,\"persisting\":0,\"fixed\":0,\"excepted\":0"))
        << r[0];
    EXPECT_TRUE(Has(r[1], "\"findings\":2,\"new\":0,\"persisting\":2,\"fixed\":0,\"excepted\":1")) << r[1];
    EXPECT_TRUE(Has(r[5], "\"findings\":2,\"new\":1,\"persisting\":1,\"fixed\":1,\"excepted\":0")) << r[5];
    Outcome compare = Review("compare");
    ASSERT_EQ(compare.Status, 0) << compare.Err;
    std::vector<std::string> c = Lines(compare.Out);
    ASSERT_EQ(c.size(), 3u) << compare.Out;
    EXPECT_TRUE(Has(compare.Out, "{\"status\":\"fixed\",\"block\":\"LE_00002.blk\",\"group\":\"B\",\"number\":2,\"code\":-31,\"kind\":6"))
        << compare.Out;
    EXPECT_TRUE(Has(compare.Out, "{\"status\":\"new\",\"block\":\"LE_00002.blk\",\"group\":\"B\",\"number\":3,\"code\":-32"));
    EXPECT_TRUE(Has(compare.Out, "{\"status\":\"persisting\",\"block\":\"LE_00003.blk\",\"group\":\"P\",\"number\":2"));
    const std::string id0 = r[0].substr(8, r[0].find('"', 8) - 8);
    const std::string id5 = r[5].substr(8, r[5].find('"', 8) - 8);
    Outcome named = Review("compare " + id0 + " " + id5);
    EXPECT_EQ(named.Status, 0) << named.Err;
    EXPECT_EQ(CountOf(named.Out, "\"status\":\"fixed\""), 1) << named.Out;
    EXPECT_EQ(Review("compare " + id0 + " nope").Status, 2);

    // 6. Removing the exception.
    EXPECT_EQ(Review("unexcept LE_00002.blk B:3 -32").Status, 0);
    EXPECT_EQ(Review("exceptions").Out, "");
    Outcome again = Review("unexcept LE_00002.blk B:3 -32");
    EXPECT_EQ(again.Status, 2);
    EXPECT_TRUE(Has(again.Err, "neexistuje")) << again.Err;
}

TEST_F(ReviewCycle, MergeReplacesOnlyTheCheckedBlocksRows) {
    ASSERT_EQ(Check("--points 3 --areas 1").Status, 3);  // the whole map (an unclean block in it)
    const std::vector<TErrorRecord> whole = Table();
    ASSERT_TRUE(InTable(whole, "LE_00002.blk", 2, -31));
    ASSERT_TRUE(InTable(whole, "LE_00003.blk", 2, -71));
    SetPointKind(map / "LE_00002.blk", 2, 5);
    Outcome merged = Check("--points 3 --block LE_00002.blk --merge");
    ASSERT_EQ(merged.Status, 1) << merged.Err;
    std::vector<TErrorRecord> rows = Table();
    EXPECT_FALSE(InTable(rows, "LE_00002.blk", 2, -31)) << "the block's rows are replaced";
    EXPECT_TRUE(InTable(rows, "LE_00002.blk", 3, -32));
    std::vector<TErrorRecord> others, othersBefore;
    for (const TErrorRecord& r : rows)
        if (r.Blok != "LE_00002.blk") others.push_back(r);
    for (const TErrorRecord& r : whole)
        if (r.Blok != "LE_00002.blk") othersBefore.push_back(r);
    EXPECT_EQ(others, othersBefore) << "every other block's rows stay";
    EXPECT_FALSE(others.empty());
    // The block's new rows stand where its old ones stood: the table keeps the map's block order.
    auto blocks = [](const std::vector<TErrorRecord>& table) {
        std::vector<std::string> order;
        for (const TErrorRecord& r : table)
            if (order.empty() || order.back() != r.Blok) order.push_back(r.Blok);
        return order;
    };
    EXPECT_EQ(blocks(rows), blocks(whole));

    // A re-check of other checks keeps the block's rows of the checks it did not run.
    const std::vector<TErrorRecord> beforeAreas = Table();
    Outcome areas = Check("--areas 1 --block LE_00002.blk --merge");
    EXPECT_EQ(areas.Status, 0) << areas.Err;  // the checks it ran found nothing
    EXPECT_EQ(Table(), beforeAreas);
    EXPECT_TRUE(InTable(Table(), "LE_00002.blk", 3, -32));

    // Without --block, --merge is refused; without --merge the table is replaced whole.
    EXPECT_EQ(Check("--points 3 --merge").Status, 2);
    ASSERT_EQ(Check("--points 3 --block LE_00002.blk").Status, 1);
    for (const TErrorRecord& r : Table()) EXPECT_EQ(r.Blok, "LE_00002.blk");
}

std::vector<TErrorRecord> RowsOf(const std::vector<TErrorRecord>& rows, const std::string& block, bool ofBlock = true) {
    std::vector<TErrorRecord> out;
    for (const TErrorRecord& r : rows)
        if ((r.Blok == block) == ofBlock) out.push_back(r);
    return out;
}

std::vector<std::string> Sorted(const std::vector<TErrorRecord>& rows) {
    std::vector<std::string> lines;
    for (const TErrorRecord& r : rows) lines.push_back(FindingLine(r));
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The last run as vexa-review lists it.
std::string LastRun(const std::string& runs) {
    std::vector<std::string> lines;
    std::istringstream in(runs);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines.empty() ? std::string() : lines.back();
}

TEST_F(ReviewCycle, ReCheckKeepsTheRowsOfChecksItDidNotRunAndTakesTheOptionsOfTheLastRun) {
    ASSERT_EQ(Check("--lines 63 --points 3 --texts 3 --areas 7 --db 1 --area-limit 40000").Status, 3);
    const std::vector<TErrorRecord> full = Table();
    const std::vector<TErrorRecord> block = RowsOf(full, "LE_00003.blk");
    ASSERT_GE(block.size(), 8u);
    ASSERT_TRUE(InTable(block, "LE_00003.blk", 2, -71));
    ASSERT_TRUE(InTable(block, "LE_00003.blk", 3, -72));

    // Fewer options: only the area admissibility is checked again; the block's other rows
    // (topology, size, tables) stay, and none of them is called fixed.
    Outcome fewer = CheckWithSummary("--areas 1 --block LE_00003.blk --merge");
    EXPECT_EQ(fewer.Status, 1) << fewer.Err;
    EXPECT_TRUE(Has(fewer.Err, "Znova skontrolované (LE_00003.blk): P -71 prípustnosť; ostatné riadky tabuľky chýb "
                               "ostali."))
        << fewer.Err;
    EXPECT_EQ(Sorted(Table()), Sorted(full));
    const std::string afterFewer = LastRun(Review("runs").Out);
    EXPECT_TRUE(Has(afterFewer, "\"findings\":1,\"new\":0,\"persisting\":1,\"fixed\":0")) << afterFewer;

    // No mask: the masks and limits of the last run of the whole map, said on stderr; the
    // block's rows are the full run's again, in its order, every one persisting.
    Outcome same = CheckWithSummary("--block LE_00003.blk --merge");
    EXPECT_EQ(same.Status, 1) << same.Err;
    EXPECT_TRUE(Has(same.Err, "--db 1 --lines 63 --points 3 --texts 3 --areas 7 --length-limit 0 --area-limit 40000"))
        << same.Err;
    EXPECT_TRUE(Has(same.Err, "Voľby poslednej kontroly celej mapy")) << same.Err;
    EXPECT_EQ(RowsOf(Table(), "LE_00003.blk"), block);
    EXPECT_EQ(RowsOf(Table(), "LE_00003.blk", false), RowsOf(full, "LE_00003.blk", false));
    EXPECT_TRUE(Has(LastRun(Review("runs").Out),
                    "\"new\":0,\"persisting\":" + std::to_string(block.size()) + ",\"fixed\":0"));

    // Without a history there is nothing to take: refused as a run without a mask.
    fs::remove_all(map / ".vexa");
    Outcome none = Check("--block LE_00003.blk --merge");
    EXPECT_EQ(none.Status, 2);
    EXPECT_TRUE(Has(none.Err, kNoCheckChosen)) << none.Err;
    EXPECT_EQ(Sorted(Table()), Sorted(full));
}

TEST_F(ReviewCycle, AnExceptionOfATableFindingHidesThatOneFinding) {
    ASSERT_EQ(Check("--db 1 --block LE_00001.blk --block LE_00002.blk --format json").Status, 1);
    // Three missing line tables in LE_00001: without --table the exception is refused, naming them.
    Outcome ambiguous = Review("except LE_00001.blk L:- -91 --reason x");
    EXPECT_EQ(ambiguous.Status, 2);
    for (const char* table : {"l0001.dbf", "l0021.dbf", "l0030.dbf"}) EXPECT_TRUE(Has(ambiguous.Err, table)) << ambiguous.Err;
    EXPECT_TRUE(Has(ambiguous.Err, "--table")) << ambiguous.Err;
    EXPECT_FALSE(fs::exists(map / "Vynimky.DBF"));

    ASSERT_EQ(Review("except LE_00001.blk L:- -91 --table l0001.dbf --reason \"vedie sa inde\"").Status, 0);
    // The structure of p0001.dbf, not the missing p0002.dbf of the same code.
    EXPECT_EQ(Review("except LE_00001.blk P:- -93 --reason y").Status, 2);
    Outcome structure = Review("except LE_00001.blk P:- -93 --table p0001.dbf --reason \"stará tabuľka\"");
    ASSERT_EQ(structure.Status, 0) << structure.Err;

    Outcome again = CheckWithSummary("--db 1 --block LE_00001.blk --block LE_00002.blk --format json");
    EXPECT_EQ(again.Status, 1) << again.Err;
    EXPECT_TRUE(Has(again.Err, "výnimky: 2.")) << again.Err;
    std::vector<std::string> first;
    for (const std::string& line : Lines(again.Out))
        if (Has(line, "\"block\":\"LE_00001.blk\"")) first.push_back(line);
    EXPECT_EQ(CountOf(again.Out, "\"block\":\"LE_00001.blk\""), 4) << again.Out;  // six less the two excepted
    for (const std::string& line : first) {
        EXPECT_FALSE(Has(line, "\"table\":\"l0001.dbf\"")) << line;
        EXPECT_FALSE(Has(line, "\"table\":\"p0001.dbf\"")) << line;
    }
    EXPECT_TRUE(Has(again.Out, "\"block\":\"LE_00001.blk\",\"layer\":\"LE\",\"group\":\"P\",\"kind\":null,"
                               "\"number\":null,\"code\":-93,\"text\":\"DB p0002.dbf neexistuje\""));
    // The same tables of the other block are no exceptions.
    EXPECT_TRUE(Has(again.Out, "\"block\":\"LE_00002.blk\",\"layer\":\"LE\",\"group\":\"L\",\"kind\":null,"
                               "\"number\":null,\"code\":-91,\"text\":\"DB l0001.dbf neexistuje\""));
    EXPECT_EQ(RowsOf(Table(), "LE_00001.blk").size(), 4u);

    const std::vector<std::string> listed = Lines(Review("exceptions").Out);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_TRUE(Has(listed[0], "\"table\":\"l0001.dbf\"")) << listed[0];
    EXPECT_TRUE(Has(listed[1], "\"table\":\"p0001.dbf\"")) << listed[1];
    // The report lists each exception apart, with the table a structure finding's text lacks.
    ASSERT_EQ(Check("--db 1 --block LE_00001.blk --report " + Quote((temp.Path() / "r.html").string())).Status, 1);
    const std::string page = testkit::ReadFileText(temp.Path() / "r.html");
    EXPECT_TRUE(Has(page, "chybná DB štruktúra (p0001.dbf)")) << "the structure exception names its table";
    EXPECT_TRUE(Has(page, "DB l0001.dbf neexistuje"));

    // Removed by its table, the other stays.
    EXPECT_EQ(Review("unexcept LE_00001.blk L:- -91 --table l0021.dbf").Status, 2);
    EXPECT_EQ(Review("unexcept LE_00001.blk L:- -91 --table l0001.dbf").Status, 0);
    EXPECT_EQ(Lines(Review("exceptions").Out).size(), 1u);
}

TEST_F(ReviewCycle, TableFindingsCarryWhatIsWrongInJsonAndCsv) {
    Outcome json = Check("--db 1 --block LE_00001.blk --format json");
    ASSERT_EQ(json.Status, 1);
    EXPECT_EQ(CountOf(json.Out, "\"detail\":"), 1) << json.Out;  // missing tables need none
    EXPECT_TRUE(Has(json.Out, "\"text\":\"chybná DB štruktúra\""));
    EXPECT_TRUE(Has(json.Out, "\"table\":\"p0001.dbf\",\"status\":\"new\""));
    EXPECT_TRUE(Has(json.Out, "\"detail\":\"chýba DREVINA C 4, VEK N 3, DATUM D\"}")) << json.Out;
    Outcome csv = Check("--db 1 --block LE_00001.blk --format csv");
    const std::vector<std::string> rows = Lines(csv.Out);
    ASSERT_FALSE(rows.empty());
    EXPECT_TRUE(rows[0].size() > 7 && rows[0].compare(rows[0].size() - 7, 7, ",detail") == 0) << rows[0];
    int structure = 0;
    for (const std::string& row : rows)
        if (Has(row, "chybná DB štruktúra")) {
            ++structure;
            EXPECT_TRUE(Has(row, ",\"chýba DREVINA C 4, VEK N 3, DATUM D\"")) << row;
        }
    EXPECT_EQ(structure, 1);
    // The report gives it beside the text.
    ASSERT_EQ(Check("--db 1 --block LE_00001.blk --report " + Quote((temp.Path() / "r.html").string())).Status, 1);
    EXPECT_TRUE(Has(testkit::ReadFileText(temp.Path() / "r.html"),
                    "chybná DB štruktúra — p0001.dbf: chýba DREVINA C 4, VEK N 3, DATUM D"));
    // The error table keeps its text alone.
    for (const TErrorRecord& r : Table()) EXPECT_TRUE(r.Chyba == "chybná DB štruktúra" || Has(r.Chyba, " neexistuje"));
}

TEST_F(ReviewCycle, DamagedFilesAreNamedAndTheRunGoesOn) {
    std::ofstream(map / "Vynimky.DBF") << "garbage";
    fs::create_directories(map / ".vexa" / "runs");
    std::ofstream(map / ".vexa" / "runs" / "19990101-000000-000.run") << "nonsense";
    Outcome o = CheckWithSummary("--points 3 --block LE_00002.blk");
    EXPECT_EQ(o.Status, 1) << o.Err;
    EXPECT_TRUE(Has(o.Err, (map / "Vynimky.DBF").string())) << o.Err;
    EXPECT_TRUE(Has(o.Err, "kontrola pokračuje bez výnimiek")) << o.Err;
    EXPECT_TRUE(Has(o.Err, "19990101-000000-000.run")) << o.Err;
    EXPECT_EQ(Table().size(), 2u);
    EXPECT_EQ(testkit::ReadFileText(map / "Vynimky.DBF"), "garbage");
    EXPECT_EQ(testkit::ReadFileText(map / ".vexa" / "runs" / "19990101-000000-000.run"), "nonsense");
    Outcome except = Review("except LE_00002.blk B:3 -32 --reason x");
    EXPECT_EQ(except.Status, 2);
    EXPECT_TRUE(Has(except.Err, (map / "Vynimky.DBF").string())) << except.Err;
    EXPECT_EQ(testkit::ReadFileText(map / "Vynimky.DBF"), "garbage");
}

TEST_F(ReviewCycle, HelpVersionAndRefusals) {
    Outcome help = RunProgram(Quote(VEXA_REVIEW_PROGRAM) + " --help", temp.Path() / "tmp", temp.Path());
    EXPECT_EQ(help.Status, 0);
    EXPECT_TRUE(Has(help.Out, "Použitie: vexa-review MAPA except"));
    Outcome version = RunProgram(Quote(VEXA_REVIEW_PROGRAM) + " --version", temp.Path() / "tmp", temp.Path());
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out.rfind("vexa-review ", 0), 0u);
    EXPECT_EQ(Review("nothing").Status, 2);
    EXPECT_EQ(Review("except LE_00002.blk X:3 -32 --reason r").Status, 2);
    Outcome none = Review("compare");
    EXPECT_EQ(none.Status, 2);
    EXPECT_TRUE(Has(none.Err, "aspoň dve kontroly")) << none.Err;
    Outcome never = Review("except LE_00002.blk B:3 -32 --reason r");
    EXPECT_EQ(never.Status, 2);
    EXPECT_TRUE(Has(never.Err, "ešte nebol kontrolovaný")) << never.Err;
    EXPECT_EQ(Review("runs").Out, "");
}

}  // namespace

#endif
