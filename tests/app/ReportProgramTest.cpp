// vexa-check --report on the sample map, the page read back: its counts against the
// Chyby.DBF the same run left, every block named, every picture a PNG, nothing outside.
#include "checks/CheckTestSupport.h"
#include "report/HtmlPage.h"
#include "common/Utf8.h"
#include "run/CheckRun.h"

#include "review/RunHistory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#ifdef VEXA_CHECK_PROGRAM

using namespace vexa;
using namespace vexa::checkstest;
using namespace vexa::reporttest;
namespace fs = std::filesystem;

namespace {

class ReportProgram : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temp.Path() / "tmp");
        fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive);
        fs::remove(map / "Chyby.DBF");
    }
    Outcome Run(const std::string& args) {
        return RunProgram(Quote(VEXA_CHECK_PROGRAM) + " " + args, temp.Path() / "tmp", temp.Path());
    }
    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
    fs::path page = temp.Path() / "sprava.html";
};

TEST_F(ReportProgram, CountsEqualTheErrorTableAndEveryBlockIsNamed) {
    const Outcome o = Run("--quiet --lines 63 --points 3 --texts 3 --areas 7 --length-limit 0.5 --area-limit 10 "
                          "--report-images 4 --report-findings all --report " + Quote(page.string()) + " " + Quote(map.string()));
    ASSERT_EQ(o.Status, 3) << o.Err;  // the sample has an unclean block and a name that does not conform
    const std::vector<TErrorRecord> table = ReadErrorTable((map / "Chyby.DBF").string());
    ASSERT_FALSE(table.empty());
    Page html(ReadFileText(page));
    ASSERT_TRUE(html.Parsed());

    std::map<std::string, int> expected, shown;
    for (const TErrorRecord& r : table) ++expected[std::to_string(r.Id)];
    const auto codes = html.Texts("//table[@id='kody']/tbody/tr/td[1]");
    const auto counts = html.Texts("//table[@id='kody']/tbody/tr/td[3]");
    ASSERT_EQ(codes.size(), counts.size());
    for (std::size_t i = 0; i < codes.size(); ++i) shown[codes[i]] = std::stoi(counts[i]);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(html.Texts("//section[@id='chyby']//tbody/tr").size(), table.size());

    // Every block of the map: four checked, the unclean and the non-conforming one skipped.
    std::map<std::string, std::string> blocks;
    const auto names = html.Texts("//table[@id='bloky']/tbody/tr/td[1]");
    const auto states = html.Texts("//table[@id='bloky']/tbody/tr/td[2]");
    for (std::size_t i = 0; i < names.size(); ++i) blocks[names[i]] = states[i];
    for (fs::directory_iterator it(map), end; it != end; ++it)
        if (it->path().extension() == ".blk") {
            EXPECT_TRUE(blocks.count(it->path().filename().string())) << it->path();
        }
    EXPECT_EQ(blocks["LE_00001.blk"], "skontrolovaný");
    EXPECT_EQ(blocks["LE_00009.blk"], "vynechaný: nebol vyčistený");
    EXPECT_EQ(blocks["abc.blk"].rfind("vynechaný: meno nevyhovuje štandardu", 0), 0u) << blocks["abc.blk"];
    EXPECT_NE(html.Texts("//div[@id='stav']")[0].find("Kontrola nie je úplná"), std::string::npos);
    // The options in the check boxes' words, the limits with them.
    const auto options = html.Texts("//section[@id='beh']//li");
    EXPECT_EQ(std::count(options.begin(), options.end(),
                         "Línie: prípustnosť vo vrstve, výskyt kriviek, mimo rozsah MBR, duplikátne línie, "
                         "zhoda susedných plôch, dlžka <= 0,5 m"), 1);
    EXPECT_EQ(std::count(options.begin(), options.end(),
                         "Plochy: prípustnosť vo vrstve, topológia plôch, plocha <= 10 m²"), 1);
    EXPECT_EQ(std::count(options.begin(), options.end(), "Interná DB: nič"), 1);

    // The overview and four thumbnails, each a whole PNG; no reference outside the file.
    const auto pictures = Pictures(html);
    EXPECT_EQ(pictures.size(), 5u);
    for (const auto& p : pictures) EXPECT_TRUE(p.has_value());
    EXPECT_TRUE(html.Texts("//script | //link | //*[@href] | //iframe | //object").empty());
    for (const std::string& src : html.Texts("//@src")) EXPECT_EQ(src.rfind("data:", 0), 0u);
}

// By default each block lists its first findings and says how many more Chyby.DBF holds.
TEST_F(ReportProgram, EachBlockListsItsFirstFindingsAndCountsTheRest) {
    const Outcome o = Run("--quiet --lines 63 --points 3 --texts 3 --areas 7 --length-limit 0.5 --area-limit 10 "
                          "--report-findings 2 --report " + Quote(page.string()) + " " + Quote(map.string()));
    ASSERT_EQ(o.Status, 3) << o.Err;
    std::map<std::string, int> perBlock;
    for (const TErrorRecord& r : ReadErrorTable((map / "Chyby.DBF").string())) ++perBlock[r.Blok];
    Page html(ReadFileText(page));
    const auto headings = html.Texts("//section[@id='chyby']/h3");
    ASSERT_EQ(headings.size(), perBlock.size());
    int more = 0;
    for (std::size_t i = 0; i < headings.size(); ++i) {
        const int all = perBlock[headings[i]];
        const auto rows = html.Texts("(//section[@id='chyby']/table)[" + std::to_string(i + 1) + "]/tbody/tr");
        EXPECT_EQ(int(rows.size()), std::min(all, 2)) << headings[i];
        if (all > 2) ++more;
    }
    ASSERT_GT(more, 0);  // the sample has blocks of more than two findings
    const auto lines = html.Texts("//section[@id='chyby']/p[@class='dalsie']");
    EXPECT_EQ(int(lines.size()), more);
    for (const std::string& line : lines)
        EXPECT_TRUE(line.rfind("… a ďalších ", 0) == 0 && line.find(" chýb (Chyby.DBF)") != std::string::npos) << line;
    const auto result = html.Texts("//p[@id='vysledok']");
    ASSERT_EQ(result.size(), 1u);
    int total = 0;
    for (const auto& [block, count] : perBlock) total += count;
    EXPECT_EQ(result[0].rfind("Výsledok: chýb " + std::to_string(total) + "; skontrolované bloky 4, vynechané 2", 0), 0u)
        << result[0];

    const Outcome bad = Run("--points 3 --report-findings some --report " + Quote(page.string()) + " " + Quote(map.string()));
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("--report-findings"), std::string::npos) << bad.Err;
}

#ifdef VEXA_REVIEW_PROGRAM
// The report of a kept run: its options in the check boxes' words, its date as the page
// gives dates, its blocks and user; the newest by default, and a file of an earlier
// version (no user kept) still reads.
TEST_F(ReportProgram, TheReportOfAKeptRun) {
    ASSERT_LE(Run("--quiet --lines 63 --length-limit 0.5 --block LE_00001.blk " + Quote(map.string())).Status, 1);
    ASSERT_EQ(Run("--quiet --points 3 --areas 7 --area-limit 10 " + Quote(map.string())).Status, 3);
    auto review = [&](const std::string& args) {
        return RunProgram(Quote(VEXA_REVIEW_PROGRAM) + " " + Quote(map.string()) + " " + args, temp.Path() / "tmp",
                          temp.Path());
    };
    const Outcome runs = review("runs");
    ASSERT_EQ(runs.Status, 0) << runs.Err;
    const std::size_t at = runs.Out.find("\"run\":\"");
    ASSERT_NE(at, std::string::npos) << runs.Out;
    const std::string first = runs.Out.substr(at + 7, runs.Out.find('"', at + 7) - at - 7);

    const fs::path older = temp.Path() / "prva.html";
    const Outcome o = review("report " + Quote(older.string()) + " " + first);
    ASSERT_EQ(o.Status, 0) << o.Err;
    Page html(ReadFileText(older));
    const auto options = html.Texts("//section[@id='beh']//li");
    EXPECT_EQ(options, (std::vector<std::string>{
                           "Línie: prípustnosť vo vrstve, výskyt kriviek, mimo rozsah MBR, duplikátne línie, "
                           "zhoda susedných plôch, dlžka <= 0,5 m",
                           "Body: nič", "Texty: nič", "Plochy: nič", "Interná DB: nič"}));
    const std::string started = html.Texts("//section[@id='beh']//tr[th='Začiatok']/td")[0];
    EXPECT_TRUE(started.size() == 21 && started[2] == '.' && started[6] == '.' && started[12] == ' ' &&
                started.find('-') == std::string::npos) << started;
    EXPECT_EQ(html.Texts("//table[@id='bloky']/tbody/tr/td[1]"), std::vector<std::string>{"LE_00001.blk"});
    const std::string user = html.Texts("//section[@id='podpis']//td")[0];
    EXPECT_FALSE(user.empty());

    // The newest by default: all blocks, the skipped ones with why; 0 the summary alone.
    const Outcome last = review("report " + Quote(page.string()) + " --report-findings 0");
    ASSERT_EQ(last.Status, 0) << last.Err;
    Page newest(ReadFileText(page));
    EXPECT_EQ(newest.Texts("//table[@id='bloky']/tbody/tr[td[1]='LE_00009.blk']/td[2]"),
              std::vector<std::string>{"vynechaný: nebol vyčistený"});
    EXPECT_EQ(newest.Texts("//section[@id='beh']//li")[3], "Plochy: prípustnosť vo vrstve, topológia plôch, plocha <= 10 m²");
    EXPECT_TRUE(newest.Texts("//section[@id='chyby']//table").empty());
    EXPECT_FALSE(newest.Texts("//table[@id='kody']/tbody/tr").empty());

    // A run file without the user line (an earlier version's) gives a blank line to fill in:
    // the runs written as such files, the database set aside, taken over again.
    std::vector<std::string> problems;
    for (const review::TRunRecord& r : review::ListRuns(map.string() + "/", true, problems))
        review::WriteRunFile(map / ".vexa" / "runs" / (r.Id + ".run"), r);
    ASSERT_TRUE(problems.empty());
    fs::rename(map / ".vexa" / "historia.sqlite", temp.Path() / "historia.sqlite");
    for (fs::directory_iterator it(map / ".vexa" / "runs"), end; it != end; ++it) {
        std::string text = ReadFileText(it->path()), kept;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("user\t", 0) != 0) kept += line + "\n";
        std::ofstream(it->path(), std::ios::binary | std::ios::trunc) << kept;
    }
    ASSERT_EQ(review("report " + Quote(page.string()) + " " + first).Status, 0);
    Page earlier(ReadFileText(page));
    EXPECT_EQ(earlier.Texts("//section[@id='podpis']//td")[0], "");
    EXPECT_EQ(earlier.Texts("//section[@id='beh']//li").size(), 5u);

    // A run that is not kept, and a report without its file, are refused.
    EXPECT_EQ(review("report " + Quote(page.string()) + " 20000101-000000-000").Status, 2);
    EXPECT_EQ(review("report").Status, 2);
}

// After an exception and a fix, the report gives the comparison with the previous run,
// lists the fixed finding and the exception with its reason, still holding.
TEST_F(ReportProgram, ComparisonAndExceptionsOfTheMap) {
    const std::string options = "--quiet --points 3 --block LE_00002.blk ";
    ASSERT_EQ(Run(options + Quote(map.string())).Status, 1);
    const Outcome except = RunProgram(Quote(VEXA_REVIEW_PROGRAM) + " " + Quote(map.string()) +
                                          " except LE_00002.blk B:3 -32 --reason 'značka <zámerne> & otočená'",
                                      temp.Path() / "tmp", temp.Path());
    ASSERT_EQ(except.Status, 0) << except.Err;
    const Outcome o = Run(options + "--report " + Quote(page.string()) + " " + Quote(map.string()));
    ASSERT_EQ(o.Status, 1) << o.Err;
    Page html(ReadFileText(page));
    const auto counts = html.Texts("//table[@id='historia']//td");
    ASSERT_EQ(counts.size(), 4u);
    EXPECT_EQ(counts[1], "1");  // the one left persisting
    EXPECT_EQ(counts[3], "1");  // and the one excepted
    EXPECT_EQ(html.Texts("//section[@id='vynimky']//tbody/tr/td[6]"),
              std::vector<std::string>{"značka <zámerne> & otočená"});
    EXPECT_EQ(html.Texts("//section[@id='vynimky']//tbody/tr/td[9]"), std::vector<std::string>{"áno"});
    // The excepted finding is not among the findings.
    for (const std::string& code : html.Texts("//section[@id='chyby']//tbody/tr/td[5]")) EXPECT_NE(code, "-32");
}
#endif

TEST_F(ReportProgram, AnUnwritablePathIsRefusedBeforeTheRun) {
    const Outcome o = Run("--points 3 --report " + Quote((temp.Path() / "chyba" / "x.html").string()) + " " +
                          Quote(map.string()));
    EXPECT_EQ(o.Status, 2);
    EXPECT_NE(o.Err.find("Správu nemožno zapísať"), std::string::npos) << o.Err;
    EXPECT_FALSE(fs::exists(map / "Chyby.DBF"));  // nothing was checked
    const Outcome bad = Run("--points 3 --report-images -1 --report " + Quote(page.string()) + " " + Quote(map.string()));
    EXPECT_EQ(bad.Status, 2);
    EXPECT_FALSE(fs::exists(page));
}

// A block whose name is not UTF-8: shown as \\xHH everywhere, counted by that name as the
// error table keeps it; the page is valid UTF-8 without control bytes, and nothing warns.
TEST_F(ReportProgram, ANameThatIsNotUtf8IsShownEscapedAndCounted) {
    fs::rename(map / "LE_00002.blk", map / "LE_00002\xE9\x01.blk");
    const Outcome o = Run("--quiet --lines 63 --points 3 --texts 3 --areas 7 --report " + Quote(page.string()) + " " +
                          Quote(map.string()));
    ASSERT_EQ(o.Status, 3) << o.Err;
    EXPECT_EQ(o.Err.find("Invalid UTF-8"), std::string::npos) << o.Err;
    const std::string shown = "LE_00002\\xE9\\x01.blk";
    int inTable = 0;
    for (const TErrorRecord& r : ReadErrorTable((map / "Chyby.DBF").string()))
        if (EscapeBytes(r.Blok, true) == shown) ++inTable;
    ASSERT_GT(inTable, 0);
    const std::string bytes = ReadFileText(page);
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        ASSERT_TRUE(c >= 0x20 || c == '\n' || c == '\t') << "control byte at " << i;
        const std::size_t n = c < 0x80 ? 1 : Utf8SequenceAt(bytes, i);
        ASSERT_GT(n, 0u) << "not UTF-8 at " << i;
        i += n;
    }
    Page html(bytes);
    ASSERT_TRUE(html.Parsed());
    std::map<std::string, std::string> counts;
    const auto names = html.Texts("//table[@id='bloky']/tbody/tr/td[1]");
    const auto numbers = html.Texts("//table[@id='bloky']/tbody/tr/td[3]");
    ASSERT_EQ(names.size(), numbers.size());
    for (std::size_t i = 0; i < names.size(); ++i) counts[names[i]] = numbers[i];
    ASSERT_TRUE(counts.count(shown));
    EXPECT_EQ(counts[shown], std::to_string(inTable));
    // The block's findings are listed under the same name.
    const auto headings = html.Texts("//section[@id='chyby']/h3");
    EXPECT_NE(std::find(headings.begin(), headings.end(), shown), headings.end());
}

}  // namespace

#endif
