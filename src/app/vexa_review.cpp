// vexa-review: the exceptions ("nie je chyba") and the history of check runs of a map.
//
// Exit status: 0 done, 2 error (also a refused exception).
#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "common/Utf8.h"
#include "common/Version.h"
#include "common/Json.h"
#include "export/GisLayers.h"
#include "report/RunReport.h"
#include "review/Exceptions.h"
#include "review/Fingerprint.h"
#include "review/RunHistory.h"
#include "review/RunReview.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace vexa;
using namespace vexa::review;
namespace fs = std::filesystem;

const std::string kHelp =
    "Použitie: vexa-review MAPA except BLOK SKUPINA:ČÍSLO KÓD [--table TABUĽKA] --reason TEXT\n"
    "          vexa-review MAPA unexcept BLOK SKUPINA:ČÍSLO KÓD [--table TABUĽKA]\n"
    "          vexa-review MAPA exceptions [--json]\n"
    "          vexa-review MAPA runs [--json]\n"
    "          vexa-review MAPA compare [KONTROLA_A KONTROLA_B] [--json]\n"
    "          vexa-review MAPA report SÚBOR.html [KONTROLA] [--report-findings N|all]\n"
    "          vexa-review --help | --version\n"
    "\n"
    "Výnimky (\"nie je chyba\") a história kontrol mapy (adresára MAPA).\n"
    "\n"
    "  except      chybu poslednej kontroly bloku označí ako výnimku s dôvodom (povinný);\n"
    "              ďalšia kontrola ju vynechá, kým sa prvok nezmení; chybe tabuľky\n"
    "              atribútov patrí --table (l0001.dbf), ak bloku zodpovedá viac chýb\n"
    "  unexcept    výnimku zruší\n"
    "  exceptions, runs a compare vypíšu na termináli tabuľku; inak (presmerované do\n"
    "  súboru alebo programu, alebo s --json) jeden objekt JSON na riadok s kľúčmi:\n"
    "  exceptions  výnimky, jedna na riadok (JSON): block, layer, group, number, code,\n"
    "              kind, text, table, reason, user, date, valid (prvok je taký ako pri\n"
    "              výnimke), element (same, changed, missing)\n"
    "  runs        uchované kontroly od najstaršej, jedna na riadok (JSON): run, date,\n"
    "              complete, checked, skipped, findings, new, persisting, fixed,\n"
    "              excepted, duration, options, version, standard, merge\n"
    "  compare     chyby kontroly B oproti kontrole A (predvolené: posledné dve), jedna na\n"
    "              riadok (JSON): status (new, persisting, fixed, excepted), block, group,\n"
    "              number, code, kind, text, since (chyba tabuľky aj table, detail)\n"
    "  report      správa o uchovanej kontrole (predvolená: posledná) do stránky HTML, tá\n"
    "              istá ako z tlačidla \"Správa\" hlavného okna; --report-findings ako pri\n"
    "              vexa-check (predvolené " + std::to_string(report::kDefaultReportFindings) + " chýb na blok, all všetky, 0 len súhrn)\n"
    "\n"
    "BLOK je meno bloku ako v Chyby.DBF (LE_00001.blk), SKUPINA písmeno L, B, T alebo P,\n"
    "ČÍSLO číslo prvku (\"-\" pri chybe tabuľky atribútov), KÓD kód chyby (napr. -15).\n"
    "\n"
    "Súbory v adresári mapy: Vynimky.DBF (výnimky, dBASE, kódová stránka 1250) a skrytý\n"
    "adresár .vexa (historia.sqlite: posledných 20 kontrol s ich chybami; zámky). Záznamy\n"
    "kontrol starších verzií (.vexa/runs/*.run) sa pri prvom čítaní prevezmú do histórie\n"
    "a ostanú na mieste.\n"
    "\n"
    "Návratový stav:\n"
    "  0  hotovo\n"
    "  2  chyba (aj odmietnutá výnimka); vypíše sa jej text\n";

class UsageError : public Exception {
public:
    using Exception::Exception;
};

struct FindingId {
    std::string Block;
    std::string Group;
    std::optional<std::int32_t> Number;
    std::int32_t Code = 0;
    std::optional<std::string> Table;  // --table: the attribute table of a table finding
};

// A finding's attribute table; a run of an earlier version kept it only in the text.
std::string TableOf(const TRunFinding& f) { return f.Table.empty() ? TableOfText(f.Text) : f.Table; }

FindingId ParseFinding(const std::vector<std::string>& a, std::size_t at) {
    if (a.size() < at + 3) throw UsageError("Zadajte BLOK SKUPINA:ČÍSLO KÓD (vexa-review --help)");
    FindingId id;
    id.Block = a[at];
    const std::string& gn = a[at + 1];
    const std::size_t colon = gn.find(':');
    if (colon != 1 || std::string("LBTP").find(gn[0]) == std::string::npos)
        throw UsageError("Neplatný prvok " + gn + " (SKUPINA:ČÍSLO, skupina L, B, T alebo P)");
    id.Group = gn.substr(0, 1);
    const std::string number = gn.substr(2);
    if (number != "-") {
        std::optional<long long> n = TextToInt(number);
        if (!n || *n <= 0 || *n > 2147483647) throw UsageError("Neplatné číslo prvku " + number);
        id.Number = static_cast<std::int32_t>(*n);
    }
    std::optional<long long> code = TextToInt(a[at + 2]);
    if (!code || *code >= 0 || *code < -999) throw UsageError("Neplatný kód chyby " + a[at + 2]);
    id.Code = static_cast<std::int32_t>(*code);
    return id;
}

// Block names as vexa-check prints them: bytes that are not UTF-8 as \xHH, so that the
// printed name and the name on disk are one block.
std::string Printed(const std::string& block) { return EscapeInvalidUtf8(block); }
bool SameBlock(const std::string& a, const std::string& b) { return SameTextAscii(Printed(a), Printed(b)); }

bool Same(const TRunFinding& f, const FindingId& id) {
    return SameBlock(f.Block, id.Block) && f.Group == id.Group && f.Number == id.Number && f.Code == id.Code &&
           (!id.Table || SameTextAscii(TableOf(f), *id.Table));
}

std::string Where(const FindingId& id) {
    return FindingText(Printed(id.Block), id.Group, id.Number, id.Code) + (id.Table ? " tabuľka " + *id.Table : "");
}

// "--table NAME" or "--table=NAME" at a[i]; false for another argument.
bool TableOption(const std::vector<std::string>& a, std::size_t& i, FindingId& id) {
    if (a[i] == "--table" && i + 1 < a.size()) id.Table = a[++i];
    else if (a[i].rfind("--table=", 0) == 0) id.Table = a[i].substr(8);
    else return false;
    if (Trim(*id.Table).empty()) throw UsageError("Voľba --table potrebuje meno tabuľky");
    return true;
}

std::vector<TRunRecord> Runs(const std::string& mapDir, bool withFindings) {
    std::vector<std::string> problems;
    std::vector<TRunRecord> runs = ListRuns(mapDir, withFindings, problems);
    for (const std::string& p : problems) std::fprintf(stderr, "%s\n", MessageLines(p).c_str());
    return runs;
}

std::string Opt(const std::optional<std::int32_t>& v) {
    return v ? json::Number(static_cast<long long>(*v)) : std::string("null");
}

std::string DateText(const TDate& d) { return Format("%04d-%02d-%02d", d.Year, d.Month, d.Day); }

int Except(const std::string& mapDir, const std::vector<std::string>& a) {
    FindingId id = ParseFinding(a, 0);
    std::string reason;
    for (std::size_t i = 3; i < a.size(); ++i) {
        if (a[i] == "--reason" && i + 1 < a.size()) reason = a[++i];
        else if (a[i].rfind("--reason=", 0) == 0) reason = a[i].substr(9);
        else if (!TableOption(a, i, id)) throw UsageError("Neznámy argument " + a[i]);
    }
    if (Trim(reason).empty()) throw UsageError("Výnimka potrebuje dôvod (--reason TEXT)");
    // The finding must be one of the last run that checked its block.
    std::vector<TRunRecord> runs = Runs(mapDir, false);
    std::vector<const TRunFinding*> found;
    TRunRecord last;
    for (auto it = runs.rbegin(); it != runs.rend() && found.empty(); ++it) {
        bool checks = false;
        for (const std::string& b : it->Checked) checks = checks || SameBlock(b, id.Block);
        if (!checks) continue;
        last = LoadRun(mapDir, *it);
        for (const auto* list : {&last.Found, &last.Left})
            for (const TRunFinding& f : *list)
                if (Same(f, id)) found.push_back(&f);
        if (found.empty()) throw Exception("Chyba " + Where(id) + " nie je medzi chybami poslednej kontroly bloku (" + last.Id + ")");
    }
    if (found.empty()) throw Exception("Blok " + Printed(id.Block) + " ešte nebol kontrolovaný; výnimka sa dá dať len chybe z kontroly");
    // One exception hides one finding: several of one code (the tables of a block) need --table.
    if (found.size() > 1) {
        std::string candidates;
        for (const TRunFinding* f : found)
            candidates += (candidates.empty() ? "" : ", ") +
                          (TableOf(*f).empty() ? std::string("?") : TableOf(*f)) + " (" + f->Text + ")";
        throw Exception("Chybe " + Where(id) + " zodpovedá viac chýb: " + candidates +
                        "\rzvoľte jednu voľbou --table TABUĽKA");
    }
    const TRunFinding* chosen = found.front();
    TReviewException e =
        MakeException(mapDir, chosen->Block, chosen->Kind ? std::optional<std::string>(chosen->Block.substr(0, 2)) : std::nullopt,
                      chosen->Group, chosen->Kind, chosen->Number, chosen->Code, chosen->Text, reason);
    e.Table = TableOf(*chosen);
    AddException(mapDir, e);
    if (!e.Table.empty()) id.Table = e.Table;
    std::fprintf(stderr, "Výnimka uložená: %s (%s)\n", Where(id).c_str(), ExceptionsPath(mapDir).c_str());
    return 0;
}

int Unexcept(const std::string& mapDir, const std::vector<std::string>& a) {
    FindingId id = ParseFinding(a, 0);
    for (std::size_t i = 3; i < a.size(); ++i)
        if (!TableOption(a, i, id)) throw UsageError("Zadajte BLOK SKUPINA:ČÍSLO KÓD [--table TABUĽKA] (vexa-review --help)");
    int removed = 0;
    for (const TReviewException& e : LoadExceptions(mapDir)) {
        TRunFinding f{e.Block, e.Group, e.Number, e.Code, e.Kind, "", "", e.Text, e.Table, ""};
        if (Same(f, id) && RemoveException(mapDir, e.Key())) ++removed;
    }
    if (removed == 0) throw Exception("Výnimka " + Where(id) + " neexistuje");
    std::fprintf(stderr, "Výnimka zrušená: %s\n", Where(id).c_str());
    return 0;
}

// On a terminal the listings are a table; piped (or with --json) one JSON object a line.
bool gJson = true;

// Characters of UTF-8 text.
std::size_t Chars(const std::string& text) {
    std::size_t chars = 0;
    for (unsigned char c : text) chars += (c & 0xC0) != 0x80;
    return chars;
}

// The rows under their header, each column as wide as its widest cell, two blanks apart.
class TTable {
public:
    explicit TTable(std::vector<std::string> header) { FRows.push_back(std::move(header)); }
    void Add(std::vector<std::string> row) { FRows.push_back(std::move(row)); }
    void Print() const {
        std::vector<std::size_t> widths(FRows[0].size(), 0);
        for (const auto& row : FRows)
            for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Chars(row[i]));
        for (const auto& row : FRows) {
            std::string line;
            for (std::size_t i = 0; i < row.size(); ++i) {
                line += EscapeControlChars(row[i]);
                if (i + 1 < row.size()) line += std::string(widths[i] - Chars(row[i]) + 2, ' ');
            }
            std::printf("%s\n", line.c_str());
        }
    }
    bool Empty() const { return FRows.size() == 1; }

private:
    std::vector<std::vector<std::string>> FRows;
};

std::string Num(const std::optional<std::int32_t>& v) { return v ? std::to_string(*v) : "-"; }
std::string Element(const std::string& group, const std::optional<std::int32_t>& number) {
    return group + ":" + Num(number);
}

// The Slovak words of a table for the English values of the JSON.
const char* StatusWord(const std::string& status) {
    if (status == "new") return "nová";
    if (status == "persisting") return "trvá";
    if (status == "fixed") return "opravená";
    if (status == "excepted") return "výnimka";
    return status.c_str();
}

int Exceptions(const std::string& mapDir) {
    TTable table({"Blok", "Prvok", "Kód", "Druh", "Text", "Dôvod", "Používateľ", "Dátum", "Prvok teraz"});
    for (const TReviewException& e : LoadExceptions(mapDir)) {
        std::optional<std::string> fp = ElementFingerprint(mapDir + e.Block, e.Group, e.Number);
        const char* element = !fp ? "missing" : *fp == e.Fingerprint ? "same" : "changed";
        if (!gJson) {
            table.Add({e.Block, Element(e.Group, e.Number), std::to_string(e.Code), Num(e.Kind), e.Text, e.Reason,
                       e.User, DateText(e.Date),
                       !fp                    ? "chýba (výnimka neplatí)"
                       : *fp == e.Fingerprint ? "rovnaký"
                                              : "zmenený (výnimka neplatí)"});
            continue;
        }
        json::Object o;
        o.Str("block", e.Block).Raw("layer", e.Layer ? json::Quote(*e.Layer) : "null").Str("group", e.Group);
        o.Raw("number", Opt(e.Number)).Int("code", e.Code).Raw("kind", Opt(e.Kind)).Str("text", e.Text);
        o.Raw("table", e.Table.empty() ? "null" : json::Quote(e.Table));
        o.Str("reason", e.Reason).Str("user", e.User).Str("date", DateText(e.Date));
        o.Flag("valid", fp && *fp == e.Fingerprint).Str("element", element);
        std::printf("%s\n", o.Text().c_str());
    }
    if (!gJson) table.Empty() ? void(std::fprintf(stderr, "Žiadne výnimky.\n")) : table.Print();
    return 0;
}

int ListRunsCommand(const std::string& mapDir) {
    TTable table({"Kontrola", "Dátum", "Úplná", "Bloky", "Vynechané", "Chyby", "Nové", "Trvajúce", "Opravené",
                  "Výnimky", "Trvanie"});
    for (const TRunRecord& r : Runs(mapDir, false)) {
        if (!gJson) {
            table.Add({r.Id, r.Date, r.Complete ? "áno" : "nie", std::to_string(r.Checked.size()),
                       std::to_string(r.Skipped.size()), std::to_string(r.Findings), std::to_string(r.New),
                       std::to_string(r.Persisting), std::to_string(r.Fixed), std::to_string(r.Excepted),
                       Format("%.1f s", r.Duration)});
            continue;
        }
        json::Array checked, skipped;
        for (const std::string& b : r.Checked) checked.Str(Printed(b));
        for (const std::string& b : r.Skipped) skipped.Str(Printed(b));
        json::Object o;
        o.Str("run", r.Id).Str("date", r.Date).Flag("complete", r.Complete).Raw("checked", checked.Text());
        o.Raw("skipped", skipped.Text()).Int("findings", r.Findings).Int("new", r.New).Int("persisting", r.Persisting);
        o.Int("fixed", r.Fixed).Int("excepted", r.Excepted).Real("duration", r.Duration).Str("options", r.Options);
        o.Str("version", r.Version).Str("standard", r.Standard).Flag("merge", r.Merge);
        std::printf("%s\n", o.Text().c_str());
    }
    if (!gJson) table.Empty() ? void(std::fprintf(stderr, "Žiadne uchované kontroly.\n")) : table.Print();
    return 0;
}

int Compare(const std::string& mapDir, const std::vector<std::string>& a) {
    if (a.size() != 0 && a.size() != 2) throw UsageError("Zadajte dve kontroly alebo žiadnu (vexa-review --help)");
    std::vector<std::string> problems;
    const std::unique_ptr<THistory> history = THistory::Open(mapDir, problems);
    for (const std::string& p : problems) std::fprintf(stderr, "%s\n", MessageLines(p).c_str());
    const std::vector<TRunRecord>& runs = history->Runs();
    const TRunRecord* first = nullptr;
    const TRunRecord* second = nullptr;
    if (a.empty()) {
        if (runs.size() < 2) throw Exception("Na porovnanie treba aspoň dve kontroly (uchované: " + std::to_string(runs.size()) + ")");
        first = &runs[runs.size() - 2];
        second = &runs.back();
    } else {
        for (const TRunRecord& r : runs) {
            if (r.Id == a[0]) first = &r;
            if (r.Id == a[1]) second = &r;
        }
        if (!first) throw Exception("Kontrola " + a[0] + " nie je v histórii (vexa-review MAPA runs)");
        if (!second) throw Exception("Kontrola " + a[1] + " nie je v histórii (vexa-review MAPA runs)");
    }
    TTable table({"Stav", "Blok", "Prvok", "Kód", "Druh", "Text", "Od"});
    for (const TRunFinding& f : history->Compare(*first, *second)) {
        if (!gJson) {
            table.Add({StatusWord(f.Status), Printed(f.Block), Element(f.Group, f.Number), std::to_string(f.Code),
                       Num(f.Kind), f.Text, f.Since});
            continue;
        }
        json::Object o;
        o.Str("status", f.Status).Str("block", Printed(f.Block)).Str("group", f.Group).Raw("number", Opt(f.Number));
        o.Int("code", f.Code).Raw("kind", Opt(f.Kind)).Str("text", f.Text).Str("since", f.Since);
        if (!f.Table.empty()) o.Str("table", f.Table);
        if (!f.Detail.empty()) o.Str("detail", f.Detail);
        std::printf("%s\n", o.Text().c_str());
    }
    if (!gJson) {
        std::printf("%s (%s) -> %s (%s)\n", first->Id.c_str(), first->Date.c_str(), second->Id.c_str(),
                    second->Date.c_str());
        table.Empty() ? void(std::fprintf(stderr, "Žiadne chyby v porovnaní.\n")) : table.Print();
    }
    return 0;
}

// The report of a kept run, drawn from the map's blocks as they are now.
int Report(const std::string& mapDir, const std::vector<std::string>& a) {
    std::vector<std::string> positional;
    int perBlock = report::kDefaultReportFindings;
    for (std::size_t i = 0; i < a.size(); ++i) {
        std::string value;
        if (a[i] == "--report-findings" && i + 1 < a.size()) value = a[++i];
        else if (a[i].rfind("--report-findings=", 0) == 0) value = a[i].substr(18);
        else if (a[i].rfind("--", 0) == 0) throw UsageError("Neznámy argument " + a[i]);
        else {
            positional.push_back(a[i]);
            continue;
        }
        const std::optional<int> count = report::ParseFindingsPerBlock(value);
        if (!count) throw UsageError("Neplatný počet --report-findings: " + value + " (0, 1, 2, ... alebo all)");
        perBlock = *count;
    }
    if (positional.empty() || positional.size() > 2)
        throw UsageError("Zadajte SÚBOR.html a prípadne kontrolu (vexa-review --help)");
    const std::string& file = positional[0];
    const std::string runId = positional.size() > 1 ? positional[1] : "";
    report::CheckReportPath(file);
    const auto records = report::RunRecords(mapDir, runId);
    if (!records) {
        if (runId.empty()) throw Exception("Mapa zatiaľ nemá zaznamenanú kontrolu.");
        throw Exception("Kontrola " + runId + " nie je v histórii (vexa-review MAPA runs)");
    }
    report::TReport page = report::ReportOfTable(mapDir, gisexport::PlaceFindings(mapDir, *records), runId);
    page.FindingsPerBlock = perBlock;
    report::WriteReport(std::move(page), mapDir, file, report::kDefaultReportImages);
    std::fprintf(stderr, "Správa: %s\n", file.c_str());
    return 0;
}

int Run(int argc, char** argv) {
    std::vector<std::string> args;
    gJson = isatty(STDOUT_FILENO) != 1;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--json")
            gJson = true;
        else
            args.push_back(argv[i]);
    }
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp.c_str(), stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("vexa-review %s\n", VEXA_VERSION);
            return 0;
        }
    }
    if (args.size() < 2) throw UsageError("Zadajte adresár mapy a príkaz (vexa-review --help)");
    std::error_code ec;
    if (!fs::is_directory(args[0], ec)) throw UsageError("Adresár mapy neexistuje\r(" + EscapeControlChars(args[0]) + ")");
    const std::string mapDir = IncludeTrailingDelimiter(fs::absolute(args[0]).lexically_normal().string());
    const std::string command = args[1];
    const std::vector<std::string> rest(args.begin() + 2, args.end());
    if (command == "except") return Except(mapDir, rest);
    if (command == "unexcept") return Unexcept(mapDir, rest);
    if (command == "exceptions" && rest.empty()) return Exceptions(mapDir);
    if (command == "runs" && rest.empty()) return ListRunsCommand(mapDir);
    if (command == "compare") return Compare(mapDir, rest);
    if (command == "report") return Report(mapDir, rest);
    throw UsageError("Neznámy príkaz " + command + " (vexa-review --help)");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const int status = Run(argc, argv);
        std::fflush(stdout);
        return status;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", MessageLines(UserMessage(e)).c_str());
        return 2;
    }
}
