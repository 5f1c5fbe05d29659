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
