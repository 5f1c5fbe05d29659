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
table{border-collapse:collapse;margin:.4em 0}th,td{border:1px solid #bbb;padding:2px 5px;text-align:left;vertical-align:top}
th{background:#eee}td.n{text-align:right}table.udaje th{width:12em}
.neuplna{border:2px solid #c00;background:#fee;padding:.5em;font-weight:bold}
.ok{border:2px solid #080;background:#efe;padding:.5em;font-weight:bold}
.neplatna{color:#c00}img{border:1px solid #ccc}
@page{size:A4;margin:15mm}
@media print{body{margin:0;max-width:none}tr,img{break-inside:avoid;page-break-inside:avoid}
thead{display:table-header-group}h2,h3{break-after:avoid;page-break-after:avoid}}
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
    html += "<h3>Chyby podľa bloku</h3>\n<table id=\"bloky-pocty\"><thead><tr><th>Blok</th><th>Počet</th></tr></thead><tbody>\n";
    std::vector<std::pair<std::string, int>> blockBars;
    for (const auto& [block, count] : perBlock) {
        html += "<tr><td>" + HtmlEscape(block) + "</td><td class=\"n\">" + std::to_string(count) + "</td></tr>\n";
        blockBars.emplace_back(block, count);
    }
    html += "</tbody></table>\n" + BarChart(blockBars, "Chyby podľa bloku") + "\n";
    if (r.History) {
        const TReportHistory& h = *r.History;
        html += "<h3>Oproti predchádzajúcej kontrole</h3>\n<table id=\"historia\" class=\"udaje\">\n";
        Row(html, "nové", std::to_string(h.New));
        Row(html, "trvajúce", std::to_string(h.Persisting));
        Row(html, "opravené", std::to_string(h.Fixed));
        Row(html, "výnimky", std::to_string(h.Excepted));
        html += "</table>\n";
        if (!h.FixedFindings.empty()) {
            html += "<h3>Opravené chyby</h3>\n<table id=\"opravene\"><thead><tr><th>Blok</th><th>Skupina</th>"
                    "<th>Číslo</th><th>Kód</th><th>Text</th></tr></thead><tbody>\n";
            for (const TReportFinding& f : h.FixedFindings)
                html += "<tr><td>" + HtmlEscape(f.Record.Blok) + "</td><td>" + HtmlEscape(f.Record.Prvok) +
                        "</td><td class=\"n\">" + Optional(f.Record.Cislo) + "</td><td class=\"n\">" +
                        std::to_string(f.Record.Id) + "</td><td>" + TextCell(f.Record.Chyba) + "</td></tr>\n";
            html += "</tbody></table>\n";
        }
    }
    html += "</section>\n";
}

void FindingsSection(std::string& html, const TReport& r, const TThumbnail& thumbnail, int maxImages) {
    html += "<section id=\"chyby\"><h2>3. Chyby podľa blokov</h2>\n";
    if (r.Findings.empty()) html += "<p>Žiadne chyby.</p>\n";
    int images = 0;
    std::string block;
    bool open = false;
    for (const TReportFinding& f : r.Findings) {
        if (!open || f.Record.Blok != block) {
            if (open) html += "</tbody></table>\n";
            block = f.Record.Blok;
            open = true;
            html += "<h3>" + HtmlEscape(block) + "</h3>\n<table class=\"chyby\"><thead><tr><th>Vrstva</th>"
                    "<th>Skupina</th><th>Druh</th><th>Číslo</th><th>Kód</th><th>Text</th><th>Miesto (X, Y)</th>"
                    "<th>Hodnota</th><th>Obrázok</th></tr></thead><tbody>\n";
        }
        std::string place;
        if (f.X && f.Y) place = Number(*f.X, 2) + "; " + Number(*f.Y, 2);
        std::string value;
        if (f.Value) value = Number(*f.Value, 2) + (f.Limit ? " (limit " + Number(*f.Limit, 2) + ")" : "");
        std::string picture;
        if (thumbnail && images < maxImages) {
            const std::string png = thumbnail(f);
            if (!png.empty()) {
                picture = Image(png, f.Record.Prvok + ":" + Optional(f.Record.Cislo), 220);
                ++images;
            }
        }
        html += "<tr><td>" + HtmlEscape(f.Record.Vrstva.value_or("")) + "</td><td>" + GroupName(f.Record.Prvok) +
                "</td><td class=\"n\">" + Optional(f.Record.Druh) + "</td><td class=\"n\">" + Optional(f.Record.Cislo) +
                "</td><td class=\"n\">" + std::to_string(f.Record.Id) + "</td><td>" + TextCell(f.Record.Chyba) +
                "</td><td>" + place + "</td><td>" + value + "</td><td>" + picture + "</td></tr>\n";
    }
    if (open) html += "</tbody></table>\n";
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
    RunSection(html, report);
    OverviewSection(html, report);
    FindingsSection(html, report, thumbnail, maxImages);
    ExceptionsSection(html, report);
    RepairsSection(html, report);
    html += "</body></html>\n";
    return html;
}

void CheckReportPath(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw Exception("Správu nemožno zapísať: " + path + " je adresár.");
    RefuseMapFileOutput("Správa", path);
    const fs::path folder = fs::absolute(fs::path(path), ec).parent_path();
    if (!fs::is_directory(folder, ec)) throw Exception("Správu nemožno zapísať: adresár " + folder.string() + " neexistuje.");
    // A trial file beside it proves the folder writable; it is removed at once.
    const fs::path trial = TempPathBeside(fs::absolute(fs::path(path), ec));
    {
        std::ofstream probe(trial, std::ios::binary);
        if (!probe) throw Exception("Správu nemožno zapísať: " + path + " (" + SysCause(errno) + ")");
    }
    fs::remove(trial, ec);
}

void WriteHtmlReport(const TReport& report, const std::string& path, const TThumbnail& thumbnail, int maxImages) {
    RefuseMapFileOutput("Správa", path);
    const std::string html = HtmlReport(report, thumbnail, maxImages);
    const fs::path target(path);
    const fs::path temp = TempPathBeside(target);
    try {
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            if (!out) throw Exception("Správu nemožno zapísať: " + path + " (" + SysCause(errno) + ")");
            out.write(html.data(), std::streamsize(html.size()));
            out.close();
            if (!out) throw Exception("Správu nemožno zapísať: " + path + " (" + SysCause(errno) + ")");
        }
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
