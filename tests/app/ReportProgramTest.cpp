// vexa-check --report on the sample map, the page read back: its counts against the
// Chyby.DBF the same run left, every block named, every picture a PNG, nothing outside.
#include "checks/CheckTestSupport.h"
#include "report/HtmlPage.h"
#include "common/Utf8.h"
#include "ui/CheckRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

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
                          "--report-images 4 --report " + Quote(page.string()) + " " + Quote(map.string()));
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

#ifdef VEXA_REVIEW_PROGRAM
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
    const auto perBlock = html.Texts("//table[@id='bloky-pocty']/tbody/tr/td[1]");
    EXPECT_NE(std::find(perBlock.begin(), perBlock.end(), shown), perBlock.end());
}

}  // namespace

#endif
