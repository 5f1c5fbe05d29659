#include "report/HtmlReport.h"

#include "common/AtomicFile.h"
#include "common/Exception.h"
#include "common/MapFiles.h"
#include "common/SysError.h"
#include "common/Utf8.h"
#include "standard/FindingKinds.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace vexa::report {

bool TReport::Complete() const {
    if (Stopped) return false;
    return std::all_of(Blocks.begin(), Blocks.end(), [](const TReportBlock& b) { return b.Checked; });
}

std::string HtmlEscape(const std::string& raw) {
    // Names and reasons come from the disk and from users: bytes that are not UTF-8 and
    // control bytes are shown as \xHH, so that the page (declared UTF-8) stays valid.
    const std::string text = EscapeBytes(raw, true);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Base64(const std::string& bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = unsigned(std::uint8_t(bytes[i])) << 16 | unsigned(std::uint8_t(bytes[i + 1])) << 8 |
                           unsigned(std::uint8_t(bytes[i + 2]));
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = unsigned(std::uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size()) v |= unsigned(std::uint8_t(bytes[i + 1])) << 8;
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

namespace {

// Styles of the page: readable on screen, and on A4 paper a table row is never split
// and table headers repeat on each page.
constexpr const char* kStyle = R"(
body{font-family:"DejaVu Sans",Arial,sans-serif;font-size:10pt;color:#222;margin:1.5em;max-width:60em}
h1{font-size:16pt;margin:0 0 .3em}h2{font-size:13pt;border-bottom:1px solid #999;margin-top:1.6em}
h3{font-size:11pt;margin-top:1.2em}
table{border-collapse:collapse;margin:.4em 0;max-width:100%}th,td{border:1px solid #bbb;padding:2px 5px;text-align:left;vertical-align:top;overflow-wrap:anywhere}
th{background:#eee}td.n{text-align:right}table.udaje th{width:12em}
table.chyby{width:100%;table-layout:fixed;font-size:9pt}table.chyby th{overflow-wrap:normal;hyphens:auto}
table.chyby td.obr img{width:100%;height:auto;max-width:240px}
.neuplna{border:2px solid #c00;background:#fee;padding:.5em;font-weight:bold}
.ok{border:2px solid #080;background:#efe;padding:.5em;font-weight:bold}
#vysledok{font-size:11pt;font-weight:bold;margin:.2em 0 .6em}.dalsie{font-style:italic}
.neplatna{color:#c00}img{border:1px solid #ccc;max-width:100%}svg{max-width:100%;height:auto}
table.podpis{width:100%;margin-top:1em}table.podpis th{width:10em;border:none;background:none;padding:1.2em 5px 2px}
table.podpis td{border:none;border-bottom:1px solid #222;padding:1.2em 5px 2px}
@page{size:A4 portrait;margin:15mm}
@media print{body{margin:0;max-width:none;font-size:9.5pt}tr,img{break-inside:avoid;page-break-inside:avoid}
thead{display:table-header-group}h2,h3{break-after:avoid;page-break-after:avoid}
#podpis{break-inside:avoid;page-break-inside:avoid}}
)";

std::string Number(double v, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    std::string s = buffer;
    std::replace(s.begin(), s.end(), '.', ',');  // Slovak decimal comma
    return s;
}

std::string Optional(const std::optional<std::int32_t>& v) { return v ? std::to_string(*v) : ""; }

// Finding texts hold "\r" as line breaks.
std::string TextCell(const std::string& text) {
    std::string escaped = HtmlEscape(text);
    std::string out;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\r' || escaped[i] == '\n') {
            if (escaped[i] == '\r' && i + 1 < escaped.size() && escaped[i + 1] == '\n') ++i;
            out += "<br>";
        } else {
            out += escaped[i];
        }
    }
    return out;
}

const TFindingCode* CodeRow(std::int32_t code) {
    for (const TFindingCode& row : FindingCodes)
        if (row.Code == code) return &row;
    return nullptr;
}

std::string CodeCaption(std::int32_t code) {
    const TFindingCode* row = CodeRow(code);
    return row ? row->What : "";
}

// "-11 L prípustnosť": a bar's label, short as the error browser's type lists.
std::string CodeLabel(std::int32_t code) {
    const TFindingCode* row = CodeRow(code);
    return std::to_string(code) + (row ? std::string(" ") + row->Letter + " " + row->Filter : std::string());
}

const char* GroupName(const std::string& letter) {
    if (letter == "L") return "línia";
    if (letter == "B") return "bod";
    if (letter == "T") return "text";
    if (letter == "P") return "plocha";
    return "";
}

std::string Image(const std::string& png, const std::string& alt, int maxWidth) {
    return "<img alt=\"" + HtmlEscape(alt) + "\" style=\"max-width:" + std::to_string(maxWidth) +
           "px\" src=\"data:image/png;base64," + Base64(png) + "\">";
}

// A horizontal bar chart of counts as inline SVG (no picture file, prints sharp).
std::string BarChart(const std::vector<std::pair<std::string, int>>& bars, const std::string& title) {
    if (bars.empty()) return "";
    int most = 1;
    for (const auto& [label, count] : bars) most = std::max(most, count);
    const int rowHeight = 18, labelWidth = 200, barWidth = 360;
    const int height = int(bars.size()) * rowHeight + 4;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" width=\"" +
                      std::to_string(labelWidth + barWidth + 60) + "\" height=\"" + std::to_string(height) +
                      "\" font-family=\"DejaVu Sans,Arial,sans-serif\" font-size=\"11\"><title>" + HtmlEscape(title) +
                      "</title>";
    int y = 2;
    for (const auto& [label, count] : bars) {
        const int w = std::max(1, int(std::lround(double(count) * barWidth / most)));
        svg += "<text x=\"" + std::to_string(labelWidth - 6) + "\" y=\"" + std::to_string(y + 13) +
               "\" text-anchor=\"end\">" + HtmlEscape(label) + "</text>";
        svg += "<rect x=\"" + std::to_string(labelWidth) + "\" y=\"" + std::to_string(y + 2) + "\" width=\"" +
               std::to_string(w) + "\" height=\"" + std::to_string(rowHeight - 4) + "\" fill=\"#c0392b\"/>";
        svg += "<text x=\"" + std::to_string(labelWidth + w + 4) + "\" y=\"" + std::to_string(y + 13) + "\">" +
               std::to_string(count) + "</text>";
        y += rowHeight;
    }
    return svg + "</svg>";
}

std::string Duration(double seconds) {
    if (seconds < 10) return Number(seconds, 2) + " s";
    if (seconds < 60) return Number(seconds, 1) + " s";
    const long total = std::lround(seconds);
    return std::to_string(total / 60) + " min " + std::to_string(total % 60) + " s";
}

void Row(std::string& html, const std::string& header, const std::string& cell) {
    html += "<tr><th>" + HtmlEscape(header) + "</th><td>" + cell + "</td></tr>\n";
}

// Why the run is not complete, one line each; empty for a complete run.
std::vector<std::string> Incomplete(const TReport& r) {
    std::vector<std::string> why;
    if (r.Stopped) why.push_back("Kontrola bola zastavená používateľom.");
    for (const TReportBlock& b : r.Blocks)
        if (!b.Checked) why.push_back("Blok " + b.Name + " nebol skontrolovaný: " + b.SkipReason);
    return why;
}

void RunSection(std::string& html, const TReport& r) {
    html += "<section id=\"beh\"><h2>1. Kontrola</h2>\n<table class=\"udaje\">\n";
    Row(html, "Mapa", HtmlEscape(r.MapDir));
    Row(html, "Začiatok", HtmlEscape(r.Started));
    Row(html, "Trvanie", HtmlEscape(Duration(r.Seconds)));
    Row(html, "Verzia Vexa", HtmlEscape(r.Version));
    Row(html, "Štandard", HtmlEscape(r.StandardFile));
    Row(html, "Popis štandardu", TextCell(r.StandardDescription));
    Row(html, "Dátum štandardu", HtmlEscape(r.StandardDate));
    std::string options;
    for (const std::string& o : r.Options) options += "<li>" + HtmlEscape(o) + "</li>";
    Row(html, "Voľby", options.empty() ? "" : "<ul>" + options + "</ul>");
    Row(html, "Výsledok", r.Complete() ? "úplná kontrola" : "<b>neúplná kontrola</b>");
    html += "</table>\n<h3>Bloky</h3>\n<table id=\"bloky\"><thead><tr><th>Blok</th><th>Stav</th><th>Chýb</th></tr></thead><tbody>\n";
    std::map<std::string, int> perBlock;
    // Counted by the name as shown: the error table keeps a name that is not UTF-8 escaped.
    for (const TReportFinding& f : r.Findings) ++perBlock[EscapeBytes(f.Record.Blok, true)];
    for (const TReportBlock& b : r.Blocks)
        html += "<tr><td>" + HtmlEscape(b.Name) + "</td><td>" +
                (b.Checked ? std::string("skontrolovaný") : "vynechaný: " + HtmlEscape(b.SkipReason)) +
                "</td><td class=\"n\">" + (b.Checked ? std::to_string(perBlock[EscapeBytes(b.Name, true)]) : "") +
                "</td></tr>\n";
    html += "</tbody></table></section>\n";
}

std::vector<std::pair<std::string, std::vector<const TReportFinding*>>> ByBlock(const std::vector<TReportFinding>& findings);

// Blocks up to this many get a bar chart of their counts.
constexpr std::size_t kMostBlockBars = 40;

void OverviewSection(std::string& html, const TReport& r) {
    html += "<section id=\"prehlad\"><h2>2. Prehľad</h2>\n";
    if (!r.OverviewPng.empty()) html += "<p>" + Image(r.OverviewPng, "Mapa s chybami", 700) + "</p>\n";
    std::map<std::int32_t, int> perCode;
    std::map<std::string, int> perBlock;
    for (const TReportFinding& f : r.Findings) {
        ++perCode[f.Record.Id];
        ++perBlock[EscapeBytes(f.Record.Blok, true)];
    }
    html += "<h3>Chyby podľa kódu</h3>\n<table id=\"kody\"><thead><tr><th>Kód</th><th>Kontrola</th><th>Počet</th></tr></thead><tbody>\n";
    std::vector<std::pair<std::string, int>> codeBars;
    // Most negative first, as the finding codes are listed elsewhere.
    for (const auto& [code, count] : perCode) {
        const std::string caption = CodeCaption(code);
        html += "<tr><td class=\"n\">" + std::to_string(code) + "</td><td>" + HtmlEscape(caption) +
                "</td><td class=\"n\">" + std::to_string(count) + "</td></tr>\n";
        codeBars.emplace_back(CodeLabel(code), count);
    }
    html += "</tbody></table>\n" + BarChart(codeBars, "Chyby podľa kódu") + "\n";
    // The counts per block are in the block table; bars only while they stay readable.
    std::vector<std::pair<std::string, int>> blockBars;
    for (const auto& [block, count] : perBlock) blockBars.emplace_back(block, count);
    if (blockBars.size() > 1 && blockBars.size() <= kMostBlockBars)
        html += "<h3>Chyby podľa bloku</h3>\n" + BarChart(blockBars, "Chyby podľa bloku") + "\n";
    if (r.History) {
        const TReportHistory& h = *r.History;
        html += "<h3>Oproti predchádzajúcej kontrole</h3>\n<table id=\"historia\" class=\"udaje\">\n";
        Row(html, "nové", std::to_string(h.New));
        Row(html, "trvajúce", std::to_string(h.Persisting));
        Row(html, "opravené", std::to_string(h.Fixed));
        Row(html, "výnimky", std::to_string(h.Excepted));
        html += "</table>\n";
        if (!h.FixedFindings.empty() && r.FindingsPerBlock > 0) {
            html += "<h3>Opravené chyby</h3>\n<table id=\"opravene\"><thead><tr><th>Blok</th><th>Skupina</th>"
                    "<th>Číslo</th><th>Kód</th><th>Text</th></tr></thead><tbody>\n";
            std::size_t more = 0;
            for (const auto& [block, fixed] : ByBlock(h.FixedFindings)) {
                const std::size_t listed = std::min(fixed.size(), std::size_t(r.FindingsPerBlock));
                for (std::size_t i = 0; i < listed; ++i) {
                    const TReportFinding& f = *fixed[i];
                    html += "<tr><td>" + HtmlEscape(f.Record.Blok) + "</td><td>" + HtmlEscape(f.Record.Prvok) +
                            "</td><td class=\"n\">" + Optional(f.Record.Cislo) + "</td><td class=\"n\">" +
                            std::to_string(f.Record.Id) + "</td><td>" + TextCell(f.Record.Chyba) + "</td></tr>\n";
                }
                more += fixed.size() - listed;
            }
            html += "</tbody></table>\n";
            if (more > 0) html += "<p class=\"dalsie\">… a ďalších " + std::to_string(more) + " opravených chýb</p>\n";
        }
    }
    html += "</section>\n";
}

// The findings of a block, in report order, the blocks in the order they first come.
std::vector<std::pair<std::string, std::vector<const TReportFinding*>>> ByBlock(const std::vector<TReportFinding>& findings) {
    std::vector<std::pair<std::string, std::vector<const TReportFinding*>>> blocks;
    std::map<std::string, std::size_t> at;
    for (const TReportFinding& f : findings) {
        const auto [it, added] = at.emplace(f.Record.Blok, blocks.size());
        if (added) blocks.emplace_back(f.Record.Blok, std::vector<const TReportFinding*>{});
        blocks[it->second].second.push_back(&f);
    }
    return blocks;
}

// Column widths of the findings table: together the printable width of A4 portrait,
// the texts wrapping inside their column and the thumbnail scaled to its own.
constexpr const char* kFindingColumns =
    "<colgroup><col style=\"width:7%\"><col style=\"width:9%\"><col style=\"width:6%\"><col style=\"width:7%\">"
    "<col style=\"width:6%\"><col style=\"width:24%\"><col style=\"width:14%\"><col style=\"width:10%\">"
    "<col style=\"width:17%\"></colgroup>";

void FindingsSection(std::string& html, const TReport& r, const TThumbnail& thumbnail, int maxImages) {
    html += "<section id=\"chyby\"><h2>3. Chyby podľa blokov</h2>\n";
    if (r.Findings.empty()) html += "<p>Žiadne chyby.</p>\n";
    else if (r.FindingsPerBlock <= 0) {
        html += "<p>Správa je len súhrn: chyby nie sú vypísané, všetky sú v tabuľke chýb (Chyby.DBF).</p>\n</section>\n";
        return;
    } else if (r.FindingsPerBlock != kAllFindings) {
        html += "<p>Z každého bloku je vypísaných najviac " + std::to_string(r.FindingsPerBlock) +
                " chýb; všetky sú v tabuľke chýb (Chyby.DBF).</p>\n";
    }
    int images = 0;
    for (const auto& [block, found] : ByBlock(r.Findings)) {
        html += "<h3>" + HtmlEscape(block) + "</h3>\n<table class=\"chyby\">" + kFindingColumns +
                "<thead><tr><th>Vrstva</th><th>Skupina</th><th>Druh</th><th>Číslo</th><th>Kód</th><th>Text</th>"
                "<th>Miesto (X, Y)</th><th>Hodnota</th><th>Obrázok</th></tr></thead><tbody>\n";
        const std::size_t listed = std::min(found.size(), std::size_t(r.FindingsPerBlock));
        for (std::size_t i = 0; i < listed; ++i) {
            const TReportFinding& f = *found[i];
            std::string place;
            if (f.X && f.Y) place = Number(*f.X, 2) + "; " + Number(*f.Y, 2);
            std::string value;
            if (f.Value) value = Number(*f.Value, 2) + (f.Limit ? " (limit " + Number(*f.Limit, 2) + ")" : "");
            std::string picture;
            if (thumbnail && images < maxImages) {
                const std::string png = thumbnail(f);
                if (!png.empty()) {
                    picture = Image(png, f.Record.Prvok + ":" + Optional(f.Record.Cislo), 240);
                    ++images;
                }
            }
            html += "<tr><td>" + HtmlEscape(f.Record.Vrstva.value_or("")) + "</td><td>" + GroupName(f.Record.Prvok) +
                    "</td><td class=\"n\">" + Optional(f.Record.Druh) + "</td><td class=\"n\">" +
                    Optional(f.Record.Cislo) + "</td><td class=\"n\">" + std::to_string(f.Record.Id) + "</td><td>" +
                    TextCell(f.Detail.empty() ? f.Record.Chyba : f.Record.Chyba + " — " + f.Detail) +
                    "</td><td>" + place + "</td><td>" + value + "</td><td class=\"obr\">" +
                    picture + "</td></tr>\n";
        }
        html += "</tbody></table>\n";
        if (listed < found.size())
            html += "<p class=\"dalsie\">… a ďalších " + std::to_string(found.size() - listed) + " chýb (Chyby.DBF)</p>\n";
    }
    html += "</section>\n";
}

void ExceptionsSection(std::string& html, const TReport& r) {
    html += "<section id=\"vynimky\"><h2>4. Výnimky (nie je chyba)</h2>\n";
    if (r.Exceptions.empty()) {
        html += "<p>Pre mapu nie sú uložené žiadne výnimky.</p></section>\n";
        return;
    }
    html += "<table><thead><tr><th>Blok</th><th>Skupina</th><th>Číslo</th><th>Kód</th><th>Text</th><th>Dôvod</th>"
            "<th>Používateľ</th><th>Dátum</th><th>Platí</th></tr></thead><tbody>\n";
    for (const TReportException& e : r.Exceptions)
        html += "<tr><td>" + HtmlEscape(e.Block) + "</td><td>" + std::string(1, e.Group) + "</td><td class=\"n\">" +
                std::to_string(e.Number) + "</td><td class=\"n\">" + std::to_string(e.Code) + "</td><td>" +
                TextCell(e.Text) + "</td><td>" + TextCell(e.Reason) + "</td><td>" + HtmlEscape(e.User) + "</td><td>" +
                HtmlEscape(e.Date) + "</td><td>" +
                (e.Valid ? std::string("áno") : "<span class=\"neplatna\">nie" + (e.Why.empty() ? "" : ", " + HtmlEscape(e.Why)) + "</span>") + "</td></tr>\n";
    html += "</tbody></table></section>\n";
}

// "Výsledok: 1 700 chýb; skontrolované bloky 3, vynechané 1; nové 5, trvajúce ...".
std::string ResultLine(const TReport& r) {
    int checked = 0, skipped = 0;
    for (const TReportBlock& b : r.Blocks) ++(b.Checked ? checked : skipped);
    std::string line = "Výsledok: chýb " + std::to_string(r.Findings.size()) + "; skontrolované bloky " +
                       std::to_string(checked) + ", vynechané " + std::to_string(skipped);
    if (r.History)
        line += "; nové " + std::to_string(r.History->New) + ", trvajúce " + std::to_string(r.History->Persisting) +
                ", opravené " + std::to_string(r.History->Fixed) + ", výnimky " + std::to_string(r.History->Excepted);
    return line;
}

// Lines to fill in by hand when the report is handed over; the run's user as the checker.
void SignOff(std::string& html, const TReport& r) {
    html += "<section id=\"podpis\"><h2>6. Odovzdanie</h2>\n<table class=\"podpis\">\n";
    Row(html, "Skontroloval", HtmlEscape(r.User));
    Row(html, "Dátum", "");
    Row(html, "Podpis", "");
    html += "</table></section>\n";
}

void RepairsSection(std::string& html, const TReport& r) {
    html += "<section id=\"tabulky\"><h2>5. Upravené tabuľky atribútov</h2>\n";
    if (r.Repairs.empty()) {
        html += "<p>Kontrola neupravila žiadnu tabuľku atribútov.</p></section>\n";
        return;
    }
    html += "<ul>\n";
    for (const std::string& repair : r.Repairs) html += "<li>" + TextCell(repair) + "</li>\n";
    html += "</ul></section>\n";
}

}  // namespace

std::string HtmlReport(const TReport& report, const TThumbnail& thumbnail, int maxImages) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"sk\"><head><meta charset=\"utf-8\">\n<title>Správa o kontrole: " +
                       HtmlEscape(report.MapDir) + "</title>\n<style>" + kStyle + "</style></head>\n<body>\n";
    html += "<h1>Správa o kontrole mapy</h1>\n";
    const std::vector<std::string> why = Incomplete(report);
    if (!why.empty()) {
        html += "<div class=\"neuplna\" id=\"stav\">Kontrola nie je úplná.<ul>";
        for (const std::string& w : why) html += "<li>" + HtmlEscape(w) + "</li>";
        html += "</ul></div>\n";
    } else if (report.Findings.empty()) {
        html += "<div class=\"ok\" id=\"stav\">Bez chýb.</div>\n";
    } else {
        html += "<div class=\"neuplna\" id=\"stav\">Počet chýb: " + std::to_string(report.Findings.size()) + "</div>\n";
    }
    html += "<p id=\"vysledok\">" + HtmlEscape(ResultLine(report)) + "</p>\n";
    RunSection(html, report);
    OverviewSection(html, report);
    FindingsSection(html, report, thumbnail, maxImages);
    ExceptionsSection(html, report);
    RepairsSection(html, report);
    SignOff(html, report);
    html += "</body></html>\n";
    return html;
}

std::optional<int> ParseFindingsPerBlock(const std::string& text) {
    if (text == "all") return kAllFindings;
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoi(text);
}

std::string FindingsPerBlockText(int perBlock) { return perBlock == kAllFindings ? "all" : std::to_string(perBlock); }

void CheckReportPath(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw Exception("Správu nemožno zapísať: " + path + " je adresár.");
    RefuseMapFileOutput("Správa", path);
    const fs::path folder = fs::absolute(fs::path(path), ec).parent_path();
    if (!fs::is_directory(folder, ec)) throw Exception("Správu nemožno zapísať: adresár " + folder.string() + " neexistuje.");
    // A trial file beside it proves the folder writable; it is removed at once.
    const fs::path trial = TempPathBeside(fs::absolute(fs::path(path), ec));
    std::error_code cause;
    if (!WriteNewFile(trial, "", cause)) throw Exception("Správu nemožno zapísať: " + path + " (" + SysCause(cause) + ")");
    fs::remove(trial, ec);
}

void WriteHtmlReport(const TReport& report, const std::string& path, const TThumbnail& thumbnail, int maxImages) {
    RefuseMapFileOutput("Správa", path);
    const std::string html = HtmlReport(report, thumbnail, maxImages);
    const fs::path target(path);
    const fs::path temp = TempPathBeside(target);
    try {
        std::error_code cause;
        if (!WriteNewFile(temp, html, cause))
            throw Exception("Správu nemožno zapísať: " + path + " (" + SysCause(cause) + ")");
        CommitReplacement(temp, target);
    } catch (const fs::filesystem_error& e) {
        std::error_code ec;
        fs::remove(temp, ec);
        throw Exception("Správu nemožno zapísať: " + path + " (" + SysCause(e.code()) + ")");
    } catch (...) {
        std::error_code ec;
        fs::remove(temp, ec);
        throw;
    }
}

}  // namespace vexa::report
