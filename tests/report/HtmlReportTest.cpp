// The check run's report read back as HTML (libxml2's parser): counts, blocks, pictures,
// escaping and the file's self-containment are asserted on the parsed page.
#include "report/HtmlReport.h"

#include "common/Exception.h"
#include "kit/BlockKit.h"
#include "render/MapImage.h"
#include "report/HtmlPage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexa;
using namespace vexa::report;
using namespace vexa::reporttest;
namespace fs = std::filesystem;

namespace {

std::string SomePng(int width, int height) {
    testkit::TempDir dir;
    render::TImage image(width, height, 0xFFFFFF);
    for (int i = 0; i < std::min(width, height); ++i) image.Plot(i, i, 0xC00000);
    render::WritePng(image, (dir.Path() / "x.png").string());
    std::ifstream in(dir.Path() / "x.png", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TReportFinding Finding(const std::string& block, std::int32_t code, const std::string& letter, int number,
                       const std::string& text) {
    TReportFinding f;
    f.Record.Id = code;
    f.Record.Blok = block;
    f.Record.Vrstva = "LE";
    f.Record.Prvok = letter;
    f.Record.Druh = 6;
    f.Record.Cislo = number;
    f.Record.Chyba = text;
    f.X = -512345.678;
    f.Y = -1234567.5;
    return f;
}

TReport SampleReport() {
    TReport r;
    r.MapDir = "/mapy/les";
    r.Started = "9. 12. 2026 15:00:00";
    r.Seconds = 3.25;
    r.Version = "1.1";
    r.StandardFile = "StandardGXD.mdb";
    r.StandardDescription = "Štandard\rdruhý riadok";
    r.StandardDate = "2026-01-01";
    r.Options = {"línie: prípustnosť vo vrstve", "dlžka <= 0,5 m"};
    r.Blocks = {{"LE_00001.blk", true, ""}, {"LE_00002.blk", true, ""}, {"LE_00009.blk", false, "nebol vyčistený"}};
    r.Findings = {Finding("LE_00001.blk", -11, "L", 3, "neprípustný druh vo vrstve"),
                  Finding("LE_00001.blk", -15, "L", 4, "podlimitná dĺžka"),
                  Finding("LE_00002.blk", -11, "L", 1, "neprípustný druh vo vrstve"),
                  Finding("LE_00002.blk", -31, "B", 2, "neprípustný druh vo vrstve")};
    r.Findings[1].Value = 0.25;
    r.Findings[1].Limit = 0.5;
    return r;
}

int CountOf(const std::vector<std::string>& cells, const std::string& text) {
    return int(std::count(cells.begin(), cells.end(), text));
}

}  // namespace

// The counts per code and per block agree with the findings; every block of the map is
// named with its state; an incomplete run says so at the top and is never "Bez chýb.".
TEST(HtmlReport, CountsBlocksAndCompleteness) {
    TReport r = SampleReport();
    Page page(HtmlReport(r, nullptr, 300));
    ASSERT_TRUE(page.Parsed());
    std::map<std::string, std::string> perCode;
    const auto codes = page.Texts("//table[@id='kody']/tbody/tr/td[1]");
    const auto counts = page.Texts("//table[@id='kody']/tbody/tr/td[3]");
    ASSERT_EQ(codes.size(), counts.size());
    for (std::size_t i = 0; i < codes.size(); ++i) perCode[codes[i]] = counts[i];
    EXPECT_EQ(perCode, (std::map<std::string, std::string>{{"-11", "2"}, {"-15", "1"}, {"-31", "1"}}));
    EXPECT_EQ(page.Texts("//table[@id='bloky']/tbody/tr/td[1]"),
              (std::vector<std::string>{"LE_00001.blk", "LE_00002.blk", "LE_00009.blk"}));
    EXPECT_EQ(page.Texts("//table[@id='bloky']/tbody/tr[3]/td[2]")[0], "vynechaný: nebol vyčistený");
    const std::string state = page.Texts("//div[@id='stav']")[0];
    EXPECT_NE(state.find("Kontrola nie je úplná"), std::string::npos) << state;
    EXPECT_NE(state.find("LE_00009.blk"), std::string::npos) << state;
    // The measured value is given with its limit, the coordinates with a decimal comma.
    const auto rows = page.Texts("//section[@id='chyby']//tr/td[8]");
    EXPECT_EQ(CountOf(rows, "0,25 (limit 0,50)"), 1);
    EXPECT_EQ(CountOf(page.Texts("//section[@id='chyby']//tr/td[7]"), "-512345,68; -1234567,50"), 4);

    // Stopped, with every block checked and nothing found: still not "Bez chýb.".
    TReport stopped = SampleReport();
    stopped.Blocks.pop_back();
    stopped.Findings.clear();
    stopped.Stopped = true;
    Page stoppedPage(HtmlReport(stopped, nullptr, 300));
    EXPECT_EQ(stoppedPage.Texts("//div[@id='stav']")[0].find("Bez chýb."), std::string::npos);
    stopped.Stopped = false;
    Page cleanPage(HtmlReport(stopped, nullptr, 300));
    EXPECT_EQ(cleanPage.Texts("//div[@id='stav']")[0], "Bez chýb.");
}

// Every picture is a PNG inside the page; thumbnails stop at the asked number; nothing
// refers outside the file.
TEST(HtmlReport, PicturesAreEmbeddedPngsAndNothingRefersOutside) {
    TReport r = SampleReport();
    r.OverviewPng = SomePng(120, 80);
    const std::string thumb = SomePng(40, 30);
    int asked = 0;
    const std::string html = HtmlReport(r, [&](const TReportFinding&) { ++asked; return thumb; }, 3);
    Page page(html);
    const auto sources = page.Texts("//img/@src");
    ASSERT_EQ(sources.size(), 4u);  // the overview and three of the four findings
    EXPECT_EQ(asked, 3);
    const std::string prefix = "data:image/png;base64,";
    for (const std::string& src : sources) {
        ASSERT_EQ(src.rfind(prefix, 0), 0u) << src.substr(0, 40);
        EXPECT_TRUE(DecodePng(Base64Decode(src.substr(prefix.size()))).has_value());
    }
    EXPECT_EQ(DecodePng(Base64Decode(sources[0].substr(prefix.size()))), (std::pair{120, 80}));
    EXPECT_TRUE(page.Texts("//script").empty());
    EXPECT_TRUE(page.Texts("//link").empty());
    EXPECT_TRUE(page.Texts("//*[@href]").empty());
    for (const std::string& style : page.Texts("//style")) EXPECT_EQ(style.find("url("), std::string::npos);
    // Zero pictures asked: none drawn.
    asked = 0;
    Page none(HtmlReport(r, [&](const TReportFinding&) { ++asked; return thumb; }, 0));
    EXPECT_EQ(none.Texts("//img").size(), 1u);
    EXPECT_EQ(asked, 0);
}

// Markup in block names, texts, reasons and the map path stays text.
TEST(HtmlReport, MarkupInNamesAndTextsIsEscaped) {
    TReport r = SampleReport();
    const std::string hostile = "LE_<b>&\"'x</b>.blk";
    r.MapDir = "/m/<script>alert(1)</script>";
    r.Blocks = {{hostile, true, ""}};
    r.Findings = {Finding(hostile, -11, "L", 1, "<img src=x onerror=alert(1)>")};
    TReportException e;
    e.Block = hostile;
    e.Reason = "dĺžka je <správna> & \"overená\"";
    e.Valid = false;
    r.Exceptions = {e};
    r.Repairs = {"Upravená tabuľka <p0001.dbf>: pridané: A&B"};
    Page page(HtmlReport(r, nullptr, 0));
    EXPECT_TRUE(page.Texts("//b").empty());
    EXPECT_TRUE(page.Texts("//script").empty());
    EXPECT_TRUE(page.Texts("//img").empty());
    EXPECT_EQ(page.Texts("//table[@id='bloky']/tbody/tr/td[1]"), std::vector<std::string>{hostile});
    EXPECT_EQ(CountOf(page.Texts("//section[@id='chyby']//td[6]"), "<img src=x onerror=alert(1)>"), 1);
    EXPECT_EQ(CountOf(page.Texts("//section[@id='vynimky']//td[6]"), e.Reason), 1);
    EXPECT_EQ(page.Texts("//section[@id='tabulky']//li"), std::vector<std::string>{r.Repairs[0]});
    EXPECT_EQ(page.Texts("//title")[0], "Správa o kontrole: " + r.MapDir);
}

// The file appears whole or not at all; a path that cannot be written is refused before a run.
TEST(HtmlReport, WrittenAtomicallyAndBadPathsRefused) {
    testkit::TempDir dir;
    const fs::path target = dir.Path() / "sprava.html";
    WriteHtmlReport(SampleReport(), target.string(), nullptr, 0);
    std::ifstream in(target, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), HtmlReport(SampleReport(), nullptr, 0));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);

    EXPECT_THROW(CheckReportPath(dir.Path().string()), Exception);
    EXPECT_THROW(CheckReportPath((dir.Path() / "chyba" / "x.html").string()), Exception);
    EXPECT_NO_THROW(CheckReportPath(target.string()));
    if (geteuid() != 0) {  // root writes into read-only folders
        fs::create_directory(dir.Path() / "ro");
        chmod((dir.Path() / "ro").c_str(), 0555);
        EXPECT_THROW(CheckReportPath((dir.Path() / "ro" / "x.html").string()), Exception);
        EXPECT_THROW(WriteHtmlReport(SampleReport(), (dir.Path() / "ro" / "x.html").string(), nullptr, 0), Exception);
        EXPECT_TRUE(fs::is_empty(dir.Path() / "ro"));
        chmod((dir.Path() / "ro").c_str(), 0755);
    }
    // Writing over a directory fails and leaves nothing beside it.
    fs::create_directory(dir.Path() / "adresar.html");
    EXPECT_THROW(WriteHtmlReport(SampleReport(), (dir.Path() / "adresar.html").string(), nullptr, 0), Exception);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

TEST(HtmlReport, Base64OfEveryRemainder) {
    EXPECT_EQ(Base64(""), "");
    EXPECT_EQ(Base64("f"), "Zg==");
    EXPECT_EQ(Base64("fo"), "Zm8=");
    EXPECT_EQ(Base64("foo"), "Zm9v");
    EXPECT_EQ(Base64("foob"), "Zm9vYg==");
    EXPECT_EQ(Base64(std::string("\xff\x00\x80", 3)), "/wCA");
}

namespace {

// Block A with five findings, B with two, their places and codes told apart by number.
TReport ManyFindings() {
    TReport r = SampleReport();
    r.Blocks = {{"LE_0000A.blk", true, ""}, {"LE_0000B.blk", true, ""}};
    r.Findings.clear();
    for (int i = 1; i <= 5; ++i) r.Findings.push_back(Finding("LE_0000A.blk", -11, "L", i, "neprípustný druh"));
    for (int i = 1; i <= 2; ++i) r.Findings.push_back(Finding("LE_0000B.blk", -31, "B", i, "neprípustný druh"));
    TReportHistory h{1, 6, 4, 0, {}};
    for (int i = 1; i <= 4; ++i) h.FixedFindings.push_back(Finding("LE_0000A.blk", -15, "L", 10 + i, "podlimitná"));
    r.History = h;
    return r;
}

std::vector<std::string> ListedNumbers(const Page& page, int table) {
    return page.Texts("(//section[@id='chyby']//table)[" + std::to_string(table) + "]/tbody/tr/td[4]");
}

}  // namespace

// At most N findings of each block are listed, then one line with how many more the
// error table holds; the counts stay those of every finding. 0 lists none, all every one.
TEST(HtmlReport, FindingsCappedPerBlockWithTheRestCounted) {
    TReport r = ManyFindings();
    r.FindingsPerBlock = 3;
    Page page(HtmlReport(r, nullptr, 300));
    EXPECT_EQ(page.Texts("//section[@id='chyby']//h3"), (std::vector<std::string>{"LE_0000A.blk", "LE_0000B.blk"}));
    EXPECT_EQ(ListedNumbers(page, 1), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(ListedNumbers(page, 2), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(page.Texts("//section[@id='chyby']//p[@class='dalsie']"),
              std::vector<std::string>{"… a ďalších 2 chýb (Chyby.DBF)"});
    EXPECT_EQ(page.Texts("//table[@id='kody']/tbody/tr/td[3]"), (std::vector<std::string>{"2", "5"}));
    EXPECT_EQ(page.Texts("//table[@id='bloky']/tbody/tr/td[3]"), (std::vector<std::string>{"5", "2"}));
    // The fixed findings are capped the same way.
    EXPECT_EQ(page.Texts("//table[@id='opravene']/tbody/tr").size(), 3u);
    EXPECT_EQ(page.Texts("//section[@id='prehlad']//p[@class='dalsie']"),
              std::vector<std::string>{"… a ďalších 1 opravených chýb"});

    // 0: the summary alone, counts per code and block, comparison, exceptions, repairs.
    r.FindingsPerBlock = 0;
    Page summary(HtmlReport(r, [](const TReportFinding&) -> std::string { ADD_FAILURE() << "no thumbnails"; return ""; }, 300));
    EXPECT_TRUE(summary.Texts("//section[@id='chyby']//table").empty());
    EXPECT_TRUE(summary.Texts("//table[@id='opravene']").empty());
    EXPECT_EQ(summary.Texts("//table[@id='kody']/tbody/tr/td[3]"), (std::vector<std::string>{"2", "5"}));
    EXPECT_EQ(summary.Texts("//table[@id='bloky']/tbody/tr/td[3]"), (std::vector<std::string>{"5", "2"}));
    EXPECT_EQ(summary.Texts("//table[@id='historia']//td").size(), 4u);
    EXPECT_EQ(summary.Texts("//section[@id='vynimky']").size(), 1u);
    EXPECT_EQ(summary.Texts("//section[@id='tabulky']").size(), 1u);

    // all: every finding, no "ďalších" line.
    r.FindingsPerBlock = kAllFindings;
    Page all(HtmlReport(r, nullptr, 300));
    EXPECT_EQ(ListedNumbers(all, 1), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(ListedNumbers(all, 2).size(), 2u);
    EXPECT_TRUE(all.Texts("//p[@class='dalsie']").empty());
    EXPECT_EQ(all.Texts("//table[@id='opravene']/tbody/tr").size(), 4u);
}

// A block's findings that come apart in the run's order are still listed under one heading.
TEST(HtmlReport, ABlockIsListedOnceEvenWhenItsFindingsComeApart) {
    TReport r = ManyFindings();
    std::swap(r.Findings[1], r.Findings[5]);  // A1 B1 A3 A4 A5 A2 B2
    r.History.reset();
    r.FindingsPerBlock = 2;
    Page page(HtmlReport(r, nullptr, 0));
    EXPECT_EQ(page.Texts("//section[@id='chyby']//h3"), (std::vector<std::string>{"LE_0000A.blk", "LE_0000B.blk"}));
    EXPECT_EQ(ListedNumbers(page, 1), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(page.Texts("//section[@id='chyby']//p[@class='dalsie']"),
              std::vector<std::string>{"… a ďalších 3 chýb (Chyby.DBF)"});
    // The block table is the one table naming the blocks.
    EXPECT_EQ(page.Texts("//table[.//td[.='LE_0000A.blk']]").size(), 1u);
}

TEST(HtmlReport, FindingsPerBlockInWords) {
    EXPECT_EQ(ParseFindingsPerBlock("all"), kAllFindings);
    EXPECT_EQ(ParseFindingsPerBlock("0"), 0);
    EXPECT_EQ(ParseFindingsPerBlock("25"), 25);
    EXPECT_EQ(ParseFindingsPerBlock("-1"), std::nullopt);
    EXPECT_EQ(ParseFindingsPerBlock("2x"), std::nullopt);
    EXPECT_EQ(ParseFindingsPerBlock(""), std::nullopt);
    EXPECT_EQ(ParseFindingsPerBlock("9999999999"), std::nullopt);
    EXPECT_EQ(FindingsPerBlockText(kAllFindings), "all");
    EXPECT_EQ(FindingsPerBlockText(7), "7");
}

// The first page says the result in one line; the page ends with the lines to sign, the
// run's user filled in as the checker.
TEST(HtmlReport, ResultLineFirstAndSignOffLast) {
    TReport r = ManyFindings();
    r.Blocks.push_back({"LE_0000C.blk", false, "nebol vyčistený"});
    r.History->Excepted = 2;
    r.User = "novak";
    Page page(HtmlReport(r, nullptr, 0));
    EXPECT_EQ(page.Texts("//p[@id='vysledok']"),
              std::vector<std::string>{"Výsledok: chýb 7; skontrolované bloky 2, vynechané 1; nové 1, trvajúce 6, "
                                       "opravené 4, výnimky 2"});
    // It comes before the run's facts, right under the heading and the state.
    EXPECT_EQ(page.Texts("//p[@id='vysledok']/following::section[1]/@id"), std::vector<std::string>{"beh"});
    EXPECT_EQ(page.Texts("//p[@id='vysledok']/preceding::section").size(), 0u);
    EXPECT_EQ(page.Texts("//section[@id='podpis']//th"),
              (std::vector<std::string>{"Skontroloval", "Dátum", "Podpis"}));
    EXPECT_EQ(page.Texts("//section[@id='podpis']//td"), (std::vector<std::string>{"novak", "", ""}));
    EXPECT_TRUE(page.Texts("//section[@id='podpis']/following::section").empty());
    // Without a history the line gives no comparison.
    r.History.reset();
    Page plain(HtmlReport(r, nullptr, 0));
    EXPECT_EQ(plain.Texts("//p[@id='vysledok']"),
              std::vector<std::string>{"Výsledok: chýb 7; skontrolované bloky 2, vynechané 1"});
}

// The findings table is laid out to the page's width: its columns share all of it.
TEST(HtmlReport, FindingsColumnsShareThePrintedWidth) {
    Page page(HtmlReport(SampleReport(), nullptr, 0));
    const auto widths = page.Texts("(//table[@class='chyby'])[1]/colgroup/col/@style");
    ASSERT_EQ(widths.size(), page.Texts("(//table[@class='chyby'])[1]/thead/tr/th").size());
    int total = 0;
    for (const std::string& w : widths) total += std::stoi(w.substr(w.find(':') + 1));
    EXPECT_EQ(total, 100);
}
