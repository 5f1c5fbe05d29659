// vexa-check: checks the blocks of a map without a window, as the main window's
// "Kontrola" does, and prints the findings.
//
// Exit status: 0 a complete run without findings, 1 findings (MAPDIR/Chyby.DBF replaced),
// 2 error (also a run with nothing to check), 3 a block was not checked (skipped as
// not cleaned, left out as its name does not conform, or the run was stopped by Ctrl+C).
#include "common/Companions.h"
#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/MapFiles.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "common/Version.h"
#include "export/FindingFormats.h"
#include "export/GisLayers.h"
#include "export/GisWriter.h"
#include "report/RunReport.h"
#include "review/RunReview.h"
#include "standard/BlkStandardGXD.h"
#include "standard/CheckRunSupport.h"
#include "standard/StandardFiles.h"
#include "standard/ErrorTable.h"
#include "standard/FindingKinds.h"
#include "standard/Findings.h"
#include "run/BlockList.h"
#include "run/CheckRun.h"
#include "run/FindingPrinter.h"
#include "run/OptionMasks.h"
#include "run/RunOutputs.h"

#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace vexa;
namespace fs = std::filesystem;

// Characters of UTF-8 text.
std::size_t Chars(const std::string& text) {
    std::size_t chars = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++chars;
    return chars;
}

// Joins words that a help entry keeps on one line.
constexpr char kKeepTogether = '\x01';

// A help entry: the option padded to its column, the text wrapped under it.
std::string HelpEntry(const std::string& option, const std::string& text) {
    constexpr std::size_t kColumn = 21, kWidth = 88;
    std::string out = "  " + option;
    std::size_t width = 2 + Chars(option);
    // An option too long for its column has its text start on the next line.
    if (width + 1 > kColumn) out += "\n", width = 0;
    out += std::string(kColumn - width, ' '), width = kColumn;
    std::size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(start, end - start);
        std::replace(word.begin(), word.end(), kKeepTogether, ' ');
        const std::size_t chars = Chars(word);
        if (!first && width + 1 + chars > kWidth) {
            out += "\n" + std::string(kColumn, ' ');
            width = kColumn;
        } else if (!first) {
            out += ' ';
            ++width;
        }
        out += word;
        width += chars;
        first = false;
        start = end + 1;
    }
    return out + "\n";
}

// "1 prípustnosť vo vrstve, 2 výskyt kriviek, ..." from a group's check boxes, by bit.
template <std::size_t N>
std::string BitList(const std::array<TOptionBox, N>& boxes) {
    std::array<TOptionBox, N> sorted = boxes;
    std::sort(sorted.begin(), sorted.end(), [](const TOptionBox& a, const TOptionBox& b) { return a.Bit < b.Bit; });
    std::string list;
    for (const TOptionBox& box : sorted)
        list += (list.empty() ? "" : ", ") + std::to_string(box.Bit) + kKeepTogether + box.Caption;
    return list;
}

// "findings_line, findings_point, ...": the layers of an export of findings.
std::string FindingLayersSaid() {
    std::string said;
    for (const gisexport::TLayerDef& layer : gisexport::FindingLayerDefs())
        said += (said.empty() ? "" : ", ") + layer.Name;
    return said;
}

// The help text. The masks' bits come from the check boxes, the formats from the table
// of finding formats, the codes (printed after it) from the table of finding kinds.
std::string Help() {
    // The line rules' precedence as the line pass follows it: the bit that decides alone,
    // the bits it stops in their order, and the one examined beside it.
    std::string stopped;
    for (std::size_t i = 0; i < LinePrecedence.FirstFound.size(); ++i)
        stopped += (i == 0 ? "" : i + 1 == LinePrecedence.FirstFound.size() ? " a " : ", ") +
                   std::to_string(LinePrecedence.FirstFound[i]);
    std::string lines = "línie: súčet bitov " + BitList(LinOptionBoxes) + "; bit " +
                        std::to_string(LinePrecedence.Alone) + " (" +
                        LinOptionBoxes[BoxRow(LinOptionBoxes, LinePrecedence.Alone)].Caption +
                        ") rozhoduje o línii sám: s ním sa bity " + stopped + " neskúmajú (bit " +
                        std::to_string(LinePrecedence.Apart) + " áno); z bitov " + stopped +
                        " sa pri línii ohlási len prvá nájdená chyba v tomto poradí";
    std::string h =
        "Použitie: vexa-check [--standard SÚBOR] [--lines MASKA] [--points MASKA] [--texts MASKA]\n"
        "                     [--areas MASKA] [--db MASKA] [--length-limit X] [--area-limit X]\n"
        "                     [--jobs N] [--block MENO]... [--format " +
        gisexport::PrintedFormatNames("|") +
        "]\n"
        "                     [--header] [--quiet] [--export SÚBOR] [--no-exceptions]\n"
        "                     [--merge] [--report SÚBOR.html] [--report-images N]\n"
        "                     [--report-findings N|all]\n"
        "                     [--crs SÚRADNICOVÝ_SYSTÉM] MAPA\n"
        "       vexa-check --help | --version\n"
        "\n"
        "Skontroluje bloky mapy (adresára MAPA) podľa štandardu tak ako tlačidlo \"Kontrola\"\n"
        "hlavného okna a vypíše nájdené chyby.\n"
        "\n";
    h += HelpEntry("--standard SÚBOR",
                   "štandard (predvolený: StandardGXD.mdb v adresári programu, inak v ../share/vexa od neho); "
                   "šablóna tabuľky chýb Chyby.dbf je vždy tam");
    h += HelpEntry("--lines MASKA", lines);
    h += HelpEntry("--points MASKA", "body: " + BitList(BodOptionBoxes));
    h += HelpEntry("--texts MASKA", "texty: " + BitList(TxbOptionBoxes));
    h += HelpEntry("--areas MASKA", "plochy: " + BitList(PloOptionBoxes));
    h += HelpEntry("--db MASKA", "interná DB: " + BitList(DBOptionBoxes));
    h += HelpEntry("--length-limit X",
                   "limit dĺžky línie v metroch (s bitom " + std::to_string(LinDlzka) + "), predvolený 0");
    h += HelpEntry("--area-limit X", "limit plochy v m2 (s bitom " + std::to_string(PloPlocha) + "), predvolený 0");
    h += HelpEntry("--jobs N",
                   "koľko blokov kontrolovať naraz (predvolený: počet jadier); poradie chýb aj Chyby.DBF sú "
                   "rovnaké ako pri --jobs 1");
    h += HelpEntry("--block MENO",
                   "kontrolovať len tento blok (aj viackrát); meno sa porovnáva bez ohľadu na veľkosť písmen "
                   "(LE_00002 je LE_00002.blk) a blok musí vyhovovať štandardu");
    h += HelpEntry("--format F",
                   "výpis chýb: " + gisexport::PrintedFormatNames(", ", true) +
                       " (json a csv sú pre programy: kľúče a hlavička ostávajú anglické, " + run::OutputKeysSaid() +
                       ") (s hlavičkou); json a csv dávajú aj miesto chyby: obdĺžnik (min_x, min_y, max_x, "
                       "max_y) a bod (x, y); stĺpce csv v tomto poradí: " +
                       run::CsvHeader(", "));
    h += HelpEntry("--export SÚBOR", "chyby s ich geometriou do súboru GIS podľa prípony: " +
                                         gisexport::GisExtensions(true) + "; vrstvy " + FindingLayersSaid());
    h += HelpEntry("--crs SYSTÉM",
                   std::string("súradnicový systém mapy pre --export (predvolený ") + gisexport::kDefaultCrs + ")");
    h += HelpEntry("--no-exceptions", "vypíše každú chybu, ako keby nebola žiadna výnimka (Vynimky.DBF sa nečíta)");
    h += HelpEntry("--merge",
                   "s --block nahradí v MAPA/Chyby.DBF len riadky kontrolovaných blokov z kontrol, ktoré "
                   "prebehli (kódy zvolených bitov); ostatné riadky ostanú. Bez masky sa použijú masky "
                   "a limity poslednej kontroly celej mapy z histórie (bez histórie sa odmietne)");
    h += HelpEntry("--report SÚBOR.html",
                   "správa o kontrole: jedna stránka HTML (bez odkazov mimo seba, na tlač na A4) s voľbami, "
                   "blokmi, počtami chýb podľa kódu a bloku, chybami s obrázkami, výnimkami a upravenými "
                   "tabuľkami");
    h += HelpEntry("--report-images N",
                   "koľko prvých chýb dostane v správe obrázok (predvolené " +
                       std::to_string(report::kDefaultReportImages) + ", 0 žiadna)");
    h += HelpEntry("--report-findings N",
                   "koľko chýb každého bloku správa vypíše (predvolené " +
                       std::to_string(report::kDefaultReportFindings) +
                       ", aby správa mapy s 300 blokmi a asi 190 000 chybami mala najviac 8 MB); za nimi "
                       "riadok \"… a ďalších K chýb (Chyby.DBF)\"; all vypíše všetky, 0 dá len súhrn (počty "
                       "podľa kódu a bloku, prehľad, porovnanie, výnimky, upravené tabuľky)");
    h += HelpEntry("--header", "prvý riadok výpisu pomenuje stĺpce (formáty text a csv)");
    h += HelpEntry("--quiet", "bez ukazovateľa priebehu a bez súhrnu na konci");
    h += HelpEntry("--help", "tento text");
    h += HelpEntry("--version", "verzia programu");
    h +=
        "\n"
        "Chýbajúca maska je 0; limity sa zapisujú s desatinnou bodkou. Kontrolujú sa všetky\n"
        "vyhovujúce bloky v poradí zoznamu (alebo len bloky --block); nevyčistený blok sa\n"
        "ohlási a preskočí. Blok s menom, ktoré nevyhovuje štandardu (kód vrstvy pred \"_\"\n"
        "nie je v štandarde), sa ohlási s dôvodom a počíta medzi vynechané (bez --block). Ak sa nájde aspoň jedna chyba, tabuľka chýb nahradí MAPA/Chyby.DBF\n"
        "a každá chyba sa vypíše na jeden riadok (blok, skupina, číslo, druh, kód, text,\n"
        "oddelené tabulátorom). Súhrn (\"Počet chýb\", vynechané bloky, \"Bez chýb.\") ide na\n"
        "stderr, aj počty chýb nových, trvajúcich, opravených (od predchádzajúcej kontroly\n"
        "bloku s rovnakými voľbami) a vynechaných výnimkou (\"nie je chyba\", pozri\n"
        "vexa-review). Každá kontrola sa zapíše do histórie v MAPA/.vexa/runs (posledných 20).\n"
        "Ctrl+C zastaví kontrolu po začatých blokoch; ich chyby sa odovzdajú.\n"
        "\n"
        "Návratový stav:\n"
        "  0  každá zvolená kontrola prebehla na každom zvolenom bloku bez chýb (\"Bez chýb.\";\n"
        "     existujúci Chyby.DBF ostane)\n"
        "  1  našli sa chyby\n"
        "  2  chyba (aj keď nie je zvolená žiadna kontrola alebo žiadny blok); vypíše sa jej text\n"
        "  3  niektorý blok nebol skontrolovaný (nevyčistený, meno nevyhovuje štandardu, alebo\n"
        "     kontrola bola zastavená), aj keď sa v iných našli chyby\n";
    // The finding codes, from the one table of finding kinds.
    h += "\nKódy chýb (kód, skupina, bit masky: čo sa nájde):\n";
    for (const TFindingCode& c : FindingCodes)
        h += Format("  %4d  %c  %-2u %s\n", static_cast<int>(c.Code), c.Letter, static_cast<unsigned>(c.Bit), c.What);
    return h;
}

class UsageError : public Exception {
public:
    using Exception::Exception;
};

// "\r" of a message is a line break on a terminal.
std::uint16_t ParseMask(const std::string& option, const std::string& text, std::uint16_t valid) {
    std::optional<long long> value = TextToInt(text);
    if (!value || *value < 0 || (*value & ~static_cast<long long>(valid)) != 0)
        throw UsageError(Format("Neplatná maska %s: %s (povolené sú súčty bitov %u)", option.c_str(), text.c_str(),
                                static_cast<unsigned>(valid)));
    return static_cast<std::uint16_t>(*value);
}

double ParseLimit(const std::string& option, const std::string& text) {
    std::optional<double> value = TextToFloat(text);
    if (!value && text.find(',') != std::string::npos) {
        std::string dotted = text;
        std::replace(dotted.begin(), dotted.end(), ',', '.');
        throw UsageError(Format("Neplatný limit %s: %s (desatinná bodka, nie čiarka: %s %s)", option.c_str(),
                                text.c_str(), option.c_str(), dotted.c_str()));
    }
    if (!value || !std::isfinite(*value))
        throw UsageError(Format("Neplatný limit %s: %s", option.c_str(), text.c_str()));
    return *value;
}

// Blocks checked at once: 1 to 256.
unsigned ParseJobs(const std::string& option, const std::string& text) {
    std::optional<long long> value = TextToInt(text);
    if (!value || *value < 1 || *value > 256)
        throw UsageError(Format("Neplatný počet %s: %s (povolené 1 až 256)", option.c_str(), text.c_str()));
    return static_cast<unsigned>(*value);
}

struct Arguments {
    gisexport::TFormatWriter Format = gisexport::TFormatWriter::Text;
    std::string Export;
    std::string Report;
    int ReportImages = report::kDefaultReportImages;
    int ReportFindings = report::kDefaultReportFindings;
    std::string Crs = gisexport::kDefaultCrs;
    std::string Standard;
    TCheckRunOptions Options;
    std::vector<std::string> Blocks;
    std::string MapDir;
    bool Help = false;
    bool Version = false;
    bool Header = false;
    bool Quiet = false;
    bool NoExceptions = false;
    bool Merge = false;
};

Arguments Parse(int argc, char** argv) {
    Arguments args;
    args.Options.Jobs = DefaultJobs();
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const std::string& name) -> std::string {
            std::size_t eq = arg.find('=');
            if (eq != std::string::npos) return arg.substr(eq + 1);
            if (i + 1 >= argc) throw UsageError("Chýba hodnota voľby " + name);
            return argv[++i];
        };
        std::string name = arg.substr(0, arg.find('='));
        if (arg == "--help" || arg == "-h") {
            args.Help = true;
        } else if (arg == "--version") {
            args.Version = true;
        } else if (arg == "--header") {
            args.Header = true;
        } else if (arg == "--no-exceptions") {
            args.NoExceptions = true;
        } else if (arg == "--merge") {
            args.Merge = true;
        } else if (arg == "--quiet" || arg == "-q") {
            args.Quiet = true;
        } else if (name == "--standard") {
            args.Standard = value(name);
        } else if (name == "--lines") {
            args.Options.LinMask = ParseMask(name, value(name), LinAll);
        } else if (name == "--points") {
            args.Options.BodMask = ParseMask(name, value(name), BodAll);
        } else if (name == "--texts") {
            args.Options.TxbMask = ParseMask(name, value(name), TxbAll);
        } else if (name == "--areas") {
            args.Options.PloMask = ParseMask(name, value(name), PloAll);
        } else if (name == "--db") {
            args.Options.DbMask = ParseMask(name, value(name), DBAll);
        } else if (name == "--length-limit") {
            args.Options.LengthLimit = ParseLimit(name, value(name));
        } else if (name == "--area-limit") {
            args.Options.AreaLimit = ParseLimit(name, value(name));
        } else if (name == "--jobs" || name == "-j") {
            args.Options.Jobs = ParseJobs(name, value(name));
        } else if (name == "--block") {
            args.Blocks.push_back(value(name));
        } else if (name == "--format") {
            const std::string f = value(name);
            const gisexport::TFindingFormat* format = gisexport::PrintedFormat(f);
            if (!format) throw UsageError("Neznámy formát " + f + " (" + gisexport::PrintedFormatNames(", ") + ")");
            args.Format = format->Writer;
        } else if (name == "--export") {
            args.Export = value(name);
            gisexport::GisFormatOf(args.Export);  // an unknown extension is refused before the run
            gisexport::RequireExportDir(args.Export);  // and a directory that does not exist
            gisexport::RequireWriter();        // and so is an export without its writer
            RefuseMapFileOutput("Export", args.Export);  // and one in place of a map's file
        } else if (name == "--report") {
            args.Report = value(name);
            report::CheckReportPath(args.Report);  // refused before the run, as an export
        } else if (name == "--report-images") {
            const std::string n = value(name);
            char* end = nullptr;
            const long count = std::strtol(n.c_str(), &end, 10);
            if (n.empty() || *end != '\0' || count < 0 || count > 1000000)
                throw UsageError("Neplatný počet " + name + ": " + n + " (0 až 1000000)");
            args.ReportImages = int(count);
        } else if (name == "--report-findings") {
            const std::string n = value(name);
            const std::optional<int> count = report::ParseFindingsPerBlock(n);
            if (!count) throw UsageError("Neplatný počet " + name + ": " + n + " (0, 1, 2, ... alebo all)");
            args.ReportFindings = *count;
        } else if (name == "--crs") {
            args.Crs = value(name);
            gisexport::CheckCrs(args.Crs);  // refused before the run, as an unknown format
        } else if (arg == "--") {
            for (++i; i < argc; ++i) positional.push_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("Neznáma voľba " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (args.Help || args.Version) return args;
    if (positional.size() != 1) throw UsageError("Zadajte práve jeden adresár mapy (vexa-check --help)");
    args.MapDir = positional[0];
    if (args.Merge && args.Blocks.empty()) throw UsageError("Voľba --merge patrí k --block MENO");
    return args;
}

// The text padded with blanks to width characters (UTF-8 sequences count once).
std::string Padded(const std::string& text, std::size_t width) {
    const std::size_t chars = Chars(text);
    return chars < width ? text + std::string(width - chars, ' ') : text;
}

// A progress bar on stderr, redrawn only when its whole percent changes.
class TerminalGauge : public IGauge {
public:
    TerminalGauge(const std::string& group, const std::string& block) : FGroup(group), FBlock(block) {}
    void SetMinimum(int value) override { FMin = value; }
    void SetMaximum(int value) override {
        FMax = value;
        Draw(true);
    }
    void SetProgress(int value) override {
        FPos = value;
        Draw(false);
    }
    int Progress() const override { return FPos; }

private:
    void Draw(bool force) {
        if (FMax <= FMin) return;  // a pass with nothing to do shows no bar
        int span = FMax - FMin;
        int percent = span > 0 ? static_cast<int>((static_cast<long long>(FPos - FMin) * 100) / span) : 0;
        percent = std::max(0, std::min(100, percent));
        if (!force && percent == FPercent) return;
        FPercent = percent;
        constexpr int width = 30;
        std::string bar(static_cast<std::size_t>(percent * width / 100), '#');
        bar.resize(width, '.');
        std::fprintf(stderr, "\r%-24.24s %s [%s] %3d%%", FBlock.c_str(), Padded(FGroup, 7).c_str(), bar.c_str(),
                     percent);
        std::fflush(stderr);
    }
    std::string FGroup, FBlock;
    int FMin = 0, FMax = 0, FPos = 0, FPercent = -1;
};

// Set by Ctrl+C; the run asks it before each block.
volatile std::sig_atomic_t gStopRequested = 0;

extern "C" void OnInterrupt(int) { gStopRequested = 1; }

// Ctrl+C stops the run after the blocks begun; a second one ends the program at once.
// Interrupted writes of findings resume (SA_RESTART), so that no line is lost.
void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

class BatchView : public ICheckRunView {
public:
    BatchView(std::vector<TBlockRow> rows, std::string mapDir, TCheckRunOptions options, bool progress, bool quiet)
        : FRows(std::move(rows)), FMapDir(std::move(mapDir)), FOptions(options), FProgress(progress), FQuiet(quiet) {}

    int BlockRowCount() override { return static_cast<int>(FRows.size()); }
    TBlockRow BlockRow(int index) override { return FRows.at(static_cast<std::size_t>(index)); }
    std::string MapDir() override { return FMapDir; }
    TCheckRunOptions Options() override { return FOptions; }

    void SetCaption(const std::string& text) override {
        if (!text.empty() && text != kCaptionDatabases) FBlock = text;
        if (FProgress && text == kCaptionDatabases) {
            std::fprintf(stderr, "\r%-24.24s %s\033[K", FBlock.c_str(), kCaptionDatabases);
            std::fflush(stderr);
        }
    }
    IGauge* Gauge(TCheckGroup group) override {
        if (!FProgress) return nullptr;
        FGauge = std::make_unique<TerminalGauge>(GroupName(group), FBlock);
        return FGauge.get();
    }
    void ShowGauge(TCheckGroup, bool visible) override {
        if (FProgress && !visible) {
            std::fprintf(stderr, "\r\033[K");
            std::fflush(stderr);
        }
    }
    void Warning(const std::string& message) override {
        std::fprintf(stderr, "%s\n", MessageLines(message).c_str());
        std::fflush(stderr);
    }
    // One line, the block by its name in the list (the summary names it again).
    void NotCleaned(const std::string&, const std::string& name) override {
        std::fprintf(stderr, "%s\n", NotCleanedLine(name).c_str());
        std::fflush(stderr);
    }
    // The run's closing words are a summary: stderr, as the count of findings.
    void Information(const std::string& message) override {
        if (FQuiet) return;
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", MessageLines(message).c_str());
    }
    void ShowErrorBrowser(const std::string&) override {}
    bool StopRequested() override { return gStopRequested != 0; }

private:
    static const char* GroupName(TCheckGroup group) {
        switch (group) {
        case TCheckGroup::Lines: return "línie";
        case TCheckGroup::Points: return "body";
        case TCheckGroup::Texts: return "texty";
        case TCheckGroup::Areas: return "plochy";
        case TCheckGroup::Databases: return "DB";
        }
        return "";
    }
    std::vector<TBlockRow> FRows;
    std::string FMapDir;
    TCheckRunOptions FOptions;
    bool FProgress;
    bool FQuiet;
    std::string FBlock;
    std::unique_ptr<TerminalGauge> FGauge;
};

// The rows to check: every listed row, or only the named blocks (selected, in list order).
std::vector<TBlockRow> ChooseRows(const std::vector<TBlockRow>& listed, const std::vector<std::string>& names) {
    if (names.empty()) return listed;
    std::vector<bool> chosen(listed.size(), false);
    for (const std::string& name : names) {
        std::size_t i = 0;
        // A name without its extension means the block of that name ("LE_00002" is LE_00002.blk).
        while (i < listed.size() && !SameTextAscii(listed[i].Vrstva, name) &&
               !SameTextAscii(listed[i].Vrstva, name + ".blk"))
            ++i;
        if (i == listed.size()) throw UsageError("Blok " + name + " nie je v zozname blokov mapy");
        if (!listed[i].Conforming()) throw UsageError("Blok " + listed[i].Vrstva + " nevyhovuje štandardu");
        chosen[i] = true;
    }
    std::vector<TBlockRow> rows;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (!chosen[i]) continue;
        TBlockRow row = listed[i];
        row.Kontrola = "3";
        rows.push_back(row);
    }
    return rows;
}

// The standard must be a file that can be read; otherwise say which file and how to
// name another.
void RequireStandardFile(const std::string& path, bool given) {
    std::error_code ec;
    std::string cause;
    if (!fs::exists(path, ec))
        cause = "neexistuje";
    else if (fs::is_directory(path, ec))
        cause = "je adresár, nie súbor";
    else if (!std::ifstream(path, std::ios::binary))
        cause = "nedá sa čítať";
    if (cause.empty()) return;
    throw UsageError("Štandard sa nedá otvoriť: súbor " + cause + "\r(" + EscapeControlChars(path) + ")\r" +
                     (given ? "Zadajte voľbou --standard súbor štandardu (" + std::string(kStandardFileName) + ")."
                            : "Zadajte súbor štandardu voľbou --standard SÚBOR alebo ho dajte k programu."));
}

// A block directory given as the map: the map is the directory above it.
void RefuseBlockAsMap(const std::string& mapDir) {
    const fs::path dir = fs::path(mapDir).parent_path();  // mapDir ends in a delimiter
    const std::string name = dir.filename().string();
    std::error_code ec;
    const bool blockName = name.size() > 4 && SameTextAscii(name.substr(name.size() - 4), ".blk");
    if (!blockName && !fs::exists(dir / "tn.lin", ec) && !fs::exists(dir / "tn.crd", ec)) return;
    throw UsageError("Adresár je blok, nie mapa\r(" + EscapeControlChars(dir.string()) +
                     ")\rMapa je adresár nad ním: " + "vexa-check ... " +
                     EscapeControlChars(dir.parent_path().string()) + " --block " + EscapeControlChars(name));
}

int Run(const Arguments& args) {
    std::error_code ec;
    if (!fs::is_directory(args.MapDir, ec)) {
        if (fs::exists(args.MapDir, ec))
            throw UsageError("Mapa nie je adresár\r(" + EscapeControlChars(args.MapDir) + ")");
        throw UsageError("Adresár mapy neexistuje\r(" + EscapeControlChars(args.MapDir) + ")");
    }
    std::string programDir = ProgramDir();
    std::string standardPath = args.Standard.empty() ? CompanionFile(programDir, kStandardFileName) : args.Standard;
    RequireStandardFile(standardPath, !args.Standard.empty());
    TBlkStandardGXD standard(standardPath, CompanionFile(programDir, kErrorTableFileName));

    // Block and table paths are formed from it: make it absolute once.
    std::string mapDir = IncludeTrailingDelimiter(fs::absolute(args.MapDir).lexically_normal().string());
    std::vector<TBlockRow> listed =
        ListMapBlocks(mapDir, [&](const std::string& layer) { return standard.IsLayerKnown(layer); });
    const bool progress = !args.Quiet && isatty(STDERR_FILENO) == 1;
    review::TReviewSettings settings;
    settings.UseExceptions = !args.NoExceptions;
    settings.Merge = args.Merge;
    settings.Version = VEXA_VERSION;
    settings.Standard = standardPath;
    settings.Description = standard.Description();
    review::TRunReview review(mapDir, settings);
    if (listed.empty()) RefuseBlockAsMap(mapDir);
    const std::vector<TBlockRow> rows = ChooseRows(listed, args.Blocks);
    TCheckRunOptions options = args.Options;
    const bool noMask = options.DbMask == 0 && options.LinMask == 0 && options.BodMask == 0 && options.TxbMask == 0 &&
                        options.PloMask == 0;
    if (args.Merge && noMask) {
        // A re-check without a mask checks again as the map's last complete run did.
        if (const std::optional<TKeptOptions> kept = KeptRunOptions(mapDir, false)) {
            options.DbMask = kept->Options.DbMask, options.LinMask = kept->Options.LinMask;
            options.BodMask = kept->Options.BodMask, options.TxbMask = kept->Options.TxbMask;
            options.PloMask = kept->Options.PloMask;
            options.LengthLimit = kept->Options.LengthLimit, options.AreaLimit = kept->Options.AreaLimit;
            std::fprintf(stderr, "Voľby poslednej kontroly celej mapy (%s): --db %u --lines %u --points %u --texts %u "
                                 "--areas %u --length-limit %s --area-limit %s\n",
                         kept->Date.c_str(), unsigned(options.DbMask), unsigned(options.LinMask),
                         unsigned(options.BodMask), unsigned(options.TxbMask), unsigned(options.PloMask),
                         FloatToText(options.LengthLimit).c_str(), FloatToText(options.AreaLimit).c_str());
        }
    }
    BatchView view(rows, mapDir, options, progress, args.Quiet);
    // The outputs in their order: the review in front, then (beside the error table) the
    // printer, the report and the export. Each finding is printed as it comes (in the
    // order of the error table), so that a large map's findings are not all held; the
    // export writes each as it comes too, into files it renames into place at the end.
    run::TRunOutputs outputs;
    outputs.Review = &review;
    run::TFindingPrinter printer(args.Format, stdout, progress && isatty(STDOUT_FILENO) == 1);
    if (args.Header) printer.Header();
    outputs.Printer = &printer;
    report::TReportSink reported;
    if (!args.Report.empty()) outputs.Report = &reported;
    std::optional<gisexport::TFindingExport> exported;
    if (!args.Export.empty()) outputs.Export = &exported.emplace(args.Export, args.Crs);
    const auto started = std::chrono::system_clock::now();
    const auto clock = std::chrono::steady_clock::now();
    const TCheckRunResult result = RunCheck(standard, view, outputs);
    if (exported)
        for (const std::string& file : exported->Commit()) std::fprintf(stderr, "Export: %s\n", file.c_str());
    if (!args.Report.empty()) {
        report::TRunFacts facts;
        facts.MapDir = mapDir;
        facts.Selected = rows;
        facts.Started = started;
        facts.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - clock).count();
        facts.Options = options;
        facts.Review = &review;
        facts.Extents = reported.Extents();
        report::TReport page = report::ReportOfRun(facts, result, standard, std::move(reported.Findings()));
        page.FindingsPerBlock = args.ReportFindings;
        report::WriteReport(std::move(page), mapDir, args.Report, args.ReportImages);
        std::fprintf(stderr, "Správa: %s\n", args.Report.c_str());
    }
    std::fflush(stdout);
    if (result.Stopped || result.BlocksSkipped > 0 || result.ChecksNotDone > 0) return 3;
    return result.Total > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        Arguments args = Parse(argc, argv);
        if (args.Help) {
            std::fputs(Help().c_str(), stdout);
            return 0;
        }
        if (args.Version) {
            std::printf("vexa-check %s\n", VEXA_VERSION);
            return 0;
        }
        CatchInterrupt();
        int status = Run(args);
        std::fflush(stdout);
        return status;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", MessageLines(UserMessage(e)).c_str());
        return 2;
    }
}
