// vexa-check: checks the blocks of a map without a window, as the main window's
// "Kontrola" does, and prints the findings.
//
// Exit status: 0 a complete run without findings, 1 findings (MAPDIR/Chyby.DBF replaced),
// 2 error (also a run with nothing to check), 3 a block was not checked (skipped as
// not cleaned, left out as its name does not conform, or the run was stopped by Ctrl+C).
#include "common/Companions.h"
#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "common/Version.h"
#include "export/GisLayers.h"
#include "export/GisWriter.h"
#include "Json.h"
#include "standard/BlkStandardGXD.h"
#include "standard/StandardFiles.h"
#include "standard/ErrorTable.h"
#include "standard/FindingKinds.h"
#include "standard/Findings.h"
#include "ui/BlockList.h"
#include "ui/CheckRun.h"
#include "ui/OptionMasks.h"

#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace vexa;
namespace fs = std::filesystem;

const char* const kHelp =
    "Použitie: vexa-check [--standard SÚBOR] [--lines MASKA] [--points MASKA] [--texts MASKA]\n"
    "                     [--areas MASKA] [--db MASKA] [--length-limit X] [--area-limit X]\n"
    "                     [--jobs N] [--block MENO]... [--format text|json|csv]\n"
    "                     [--header] [--quiet] [--export SÚBOR]\n"
    "                     [--crs SÚRADNICOVÝ_SYSTÉM] MAPA\n"
    "       vexa-check --help | --version\n"
    "\n"
    "Skontroluje bloky mapy (adresára MAPA) podľa štandardu tak ako tlačidlo \"Kontrola\"\n"
    "hlavného okna a vypíše nájdené chyby.\n"
    "\n"
    "  --standard SÚBOR   štandard (predvolený: StandardGXD.mdb v adresári programu,\n"
    "                     inak v ../share/vexa od neho); šablóna tabuľky chýb Chyby.dbf\n"
    "                     je vždy tam\n"
    "  --lines MASKA      línie: súčet bitov 1 prípustnosť vo vrstve, 2 výskyt kriviek,\n"
    "                     4 mimo rozsah MBR, 8 duplikátne línie, 16 dlžka <=,\n"
    "                     32 zhoda susedných plôch; bit 1 (prípustnosť vo vrstve)\n"
    "                     rozhoduje o línii sám: s ním sa bity 2, 4, 8 a 16 neskúmajú\n"
    "                     (bit 32 áno); z bitov 2, 4, 8, 16 sa pri línii ohlási len\n"
    "                     prvá nájdená chyba v tomto poradí\n"
    "  --points MASKA     body: 1 prípustnosť vo vrstve, 2 uhol otočenia\n"
    "  --texts MASKA      texty: 1 prípustnosť vo vrstve, 2 uhol otočenia\n"
    "  --areas MASKA      plochy: 1 prípustnosť vo vrstve, 2 topológia plôch, 4 plocha <=\n"
    "  --db MASKA         interná DB: 1 kontrola naplnenia, 2 uprava štruktúry,\n"
    "                     4 povinné položky dopredu, 8 nepovinné položky zmazať\n"
    "  --length-limit X   limit dĺžky línie v metroch (s bitom 16), predvolený 0\n"
    "  --area-limit X     limit plochy v m2 (s bitom 4), predvolený 0\n"
    "  --jobs N           koľko blokov kontrolovať naraz (predvolený: počet jadier);\n"
    "                     poradie chýb aj Chyby.DBF sú rovnaké ako pri --jobs 1\n"
    "  --block MENO       kontrolovať len tento blok (aj viackrát); meno sa porovnáva\n"
    "                     bez ohľadu na veľkosť písmen a blok musí vyhovovať štandardu\n"
    "  --format F         výpis chýb: text (predvolený), json (JSON Lines) alebo csv\n"
    "                     (json a csv sú pre programy: kľúče a hlavička ostávajú anglické,\n"
    "                     block=blok, layer=vrstva, group=skupina, kind=druh, number=číslo,\n"
    "                     code=kód, text=text chyby, min_x..max_y=obdĺžnik, x,y=bod,\n"
    "                     point=bod, bbox=obdĺžnik, geometry=tvar (GeoJSON), table=tabuľka\n"
    "                     atribútov, value=nameraná dĺžka alebo plocha, limit=limit)\n"
    "                     (s hlavičkou); json a csv dávajú aj miesto chyby: obdĺžnik\n"
    "                     (min_x, min_y, max_x, max_y) a bod (x, y)\n"
    "  --export SÚBOR     chyby s ich geometriou do súboru GIS podľa prípony: .gpkg,\n"
    "                     .geojson (WGS 84), .shp, .csv, .fgb; vrstvy findings_line,\n"
    "                     findings_point, findings_text, findings_area,\n"
    "                     findings_area_unclosed, findings_table\n"
    "  --crs SYSTÉM       súradnicový systém mapy pre --export (predvolený EPSG:5514)\n"
    "  --header           prvý riadok výpisu pomenuje stĺpce (formáty text a csv)\n"
    "  --quiet            bez ukazovateľa priebehu a bez súhrnu na konci\n"
    "  --help             tento text\n"
    "  --version          verzia programu\n"
    "\n"
    "Chýbajúca maska je 0; limity sa zapisujú s desatinnou bodkou. Kontrolujú sa všetky\n"
    "vyhovujúce bloky v poradí zoznamu (alebo len bloky --block); nevyčistený blok sa\n"
    "ohlási a preskočí. Blok s menom, ktoré nevyhovuje štandardu (kód vrstvy pred \"_\"\n"
    "nie je v štandarde), sa ohlási s dôvodom a počíta medzi vynechané (bez --block). Ak sa nájde aspoň jedna chyba, tabuľka chýb nahradí MAPA/Chyby.DBF\n"
    "a každá chyba sa vypíše na jeden riadok (blok, skupina, číslo, druh, kód, text,\n"
    "oddelené tabulátorom). Súhrn (\"Počet chýb\", vynechané bloky, \"Bez chýb.\") ide na\n"
    "stderr. Ctrl+C zastaví kontrolu po začatých blokoch; ich chyby sa odovzdajú.\n"
    "\n"
    "Návratový stav:\n"
    "  0  každá zvolená kontrola prebehla na každom zvolenom bloku bez chýb (\"Bez chýb.\";\n"
    "     existujúci Chyby.DBF ostane)\n"
    "  1  našli sa chyby\n"
    "  2  chyba (aj keď nie je zvolená žiadna kontrola alebo žiadny blok); vypíše sa jej text\n"
    "  3  niektorý blok nebol skontrolovaný (nevyčistený, meno nevyhovuje štandardu, alebo\n"
    "     kontrola bola zastavená), aj keď sa v iných našli chyby\n";

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

enum class OutputFormat { Text, Json, Csv };

struct Arguments {
    OutputFormat Format = OutputFormat::Text;
    std::string Export;
    std::string Crs = gisexport::kDefaultCrs;
    std::string Standard;
    TCheckRunOptions Options;
    std::vector<std::string> Blocks;
    std::string MapDir;
    bool Help = false;
    bool Version = false;
    bool Header = false;
    bool Quiet = false;
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
            if (f == "text") args.Format = OutputFormat::Text;
            else if (f == "json") args.Format = OutputFormat::Json;
            else if (f == "csv") args.Format = OutputFormat::Csv;
            else throw UsageError("Neznámy formát " + f + " (text, json, csv)");
        } else if (name == "--export") {
            args.Export = value(name);
            gisexport::DriverOf(args.Export);  // an unknown extension is refused before the run
            gisexport::RequireWriter();        // and so is an export without its writer
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
    return args;
}

// The text padded with blanks to width characters (UTF-8 sequences count once).
std::string Padded(const std::string& text, std::size_t width) {
    std::size_t chars = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++chars;
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
        while (i < listed.size() && !SameTextAscii(listed[i].Vrstva, name)) ++i;
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

// A place as a GeoJSON geometry in the map's coordinates: a line's LineString, a point's
// Point, a text's rectangle or an area's ring a Polygon, an area whose ring does not close
// the MultiLineString of the boundary lines its walk followed (its reference point when
// it was not walked); null without a place.
std::string GeometryJson(const TFindingPlace& place) {
    auto crds = [&] {
        json::Array a;
        for (const TPlaceXY& c : place.Crds) a.Raw(json::Array().Real(c.X).Real(c.Y).Text());
        return a.Text();
    };
    switch (place.Shape) {
    case TPlaceShape::None: break;
    case TPlaceShape::Line: return json::Object().Str("type", "LineString").Raw("coordinates", crds()).Text();
    case TPlaceShape::AreaPoint:
        if (!place.Walked.empty()) {
            json::Array lines;
            for (const std::vector<TPlaceXY>& line : place.Walked) {
                json::Array a;
                for (const TPlaceXY& c : line) a.Raw(json::Array().Real(c.X).Real(c.Y).Text());
                lines.Raw(a.Text());
            }
            return json::Object().Str("type", "MultiLineString").Raw("coordinates", lines.Text()).Text();
        }
        [[fallthrough]];
    case TPlaceShape::Point:
        return json::Object()
            .Str("type", "Point")
            .Raw("coordinates", json::Array().Real(place.Anchor.X).Real(place.Anchor.Y).Text())
            .Text();
    case TPlaceShape::Text:
    case TPlaceShape::Area:
        return json::Object().Str("type", "Polygon").Raw("coordinates", json::Array().Raw(crds()).Text()).Text();
    }
    return "null";
}

std::string OptionalNumber(const std::optional<double>& v) { return v ? json::Number(*v) : std::string("null"); }

// One finding as a JSON object: the record's columns, then the place (bbox, point and
// geometry are null for a finding without geometry), and for a limit finding what was
// measured (value) and the limit.
std::string FindingJson(const TFinding& f) {
    const TErrorRecord& r = f.Record;
    json::Object o;
    o.Str("block", r.Blok);
    o.Raw("layer", r.Vrstva ? json::Quote(*r.Vrstva) : "null");
    o.Str("group", r.Prvok);
    o.Raw("kind", r.Druh ? json::Number(static_cast<long long>(*r.Druh)) : "null");
    o.Raw("number", r.Cislo ? json::Number(static_cast<long long>(*r.Cislo)) : "null");
    o.Int("code", r.Id);
    o.Str("text", r.Chyba);
    if (f.Place.Empty()) {
        o.Raw("bbox", "null").Raw("point", "null");
    } else {
        double x0, y0, x1, y1;
        f.Place.Box(x0, y0, x1, y1);
        o.Raw("bbox", json::Array().Real(x0).Real(y0).Real(x1).Real(y1).Text());
        o.Raw("point", json::Array().Real(f.Place.Anchor.X).Real(f.Place.Anchor.Y).Text());
    }
    o.Raw("geometry", GeometryJson(f.Place));
    if (f.Place.Break)
        o.Raw("break", json::Array().Real(f.Place.Break->X).Real(f.Place.Break->Y).Text())
            .Str("break_reason", f.Place.BreakReason);
    if (!f.Place.Table.empty()) o.Str("table", f.Place.Table);
    if (f.Limit) o.Raw("value", OptionalNumber(f.Value)).Raw("limit", OptionalNumber(f.Limit));
    return o.Text();
}

// A CSV field, quoted when it holds a separator, a quote or a line break.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string q = "\"";
    for (char c : text) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string FindingCsv(const TFinding& f) {
    const TErrorRecord& r = f.Record;
    auto optional = [](const std::optional<std::int32_t>& v) { return v ? std::to_string(*v) : std::string(); };
    std::string line = CsvField(r.Blok) + "," + CsvField(r.Vrstva.value_or("")) + "," + CsvField(r.Prvok) + "," +
                       optional(r.Druh) + "," + optional(r.Cislo) + "," + std::to_string(r.Id) + "," +
                       CsvField(r.Chyba);
    if (f.Place.Empty()) {
        line += ",,,,,,";
    } else {
        double x0, y0, x1, y1;
        f.Place.Box(x0, y0, x1, y1);
        for (double v : {x0, y0, x1, y1, f.Place.Anchor.X, f.Place.Anchor.Y}) {
            line += ',';
            line += json::Number(v);
        }
    }
    line += "," + CsvField(f.Place.Table);
    return line + "," + (f.Value ? json::Number(*f.Value) : "") + "," + (f.Limit ? json::Number(*f.Limit) : "");
}

// Prints each finding on a line of its own in the chosen format (CSV: a header row first).
class TFindingPrinter : public IFindingSink {
public:
    // clearProgress: stdout and the progress bar share a terminal; a finding first
    // clears the bar's line.
    TFindingPrinter(OutputFormat format, bool clearProgress) : FFormat(format), FClearProgress(clearProgress) {}
    void Add(const TFinding& finding) override {
        TFinding f = finding;
        f.Record = TErrorTable::Fit(finding.Record);  // as the error table holds it
        if (FClearProgress) {
            std::fprintf(stderr, "\r\033[K");
            std::fflush(stderr);
        }
        switch (FFormat) {
        case OutputFormat::Text: std::printf("%s\n", MessageLines(FindingLine(f.Record)).c_str()); break;
        case OutputFormat::Json: std::printf("%s\n", FindingJson(f).c_str()); break;
        case OutputFormat::Csv:
            Header();
            std::printf("%s\n", FindingCsv(f).c_str());
            break;
        }
    }
    // The line naming the columns, once (JSON lines name their own).
    void Header() {
        if (FHeader) return;
        FHeader = true;
        if (FFormat == OutputFormat::Text) std::printf("blok\tskupina\tčíslo\tdruh\tkód\ttext\n");
        if (FFormat == OutputFormat::Csv)
            std::printf("block,layer,group,kind,number,code,text,min_x,min_y,max_x,max_y,x,y,table,value,limit\n");
    }
    bool WantsPlaces() const override { return FFormat != OutputFormat::Text; }

private:
    OutputFormat FFormat;
    bool FClearProgress;
    bool FHeader = false;
};

// Hands each finding's features to the GIS writer as it comes (as the error table holds
// the finding): an export holds none of the findings.
class TFindingExport : public IFindingSink {
public:
    explicit TFindingExport(const gisexport::TFeatureSink& sink) : FSink(sink) {}
    void Add(const TFinding& finding) override {
        TFinding f = finding;
        f.Record = TErrorTable::Fit(finding.Record);
        gisexport::FindingFeatures(f, FSink);
    }
    bool WantsPlaces() const override { return true; }

private:
    const gisexport::TFeatureSink& FSink;
};

int Run(const Arguments& args) {
    std::error_code ec;
    if (!fs::is_directory(args.MapDir, ec)) {
        if (fs::exists(args.MapDir, ec))
            throw UsageError("Mapa nie je adresár\r(" + EscapeControlChars(args.MapDir) + ")");
        throw UsageError("Adresár mapy neexistuje\r(" + EscapeControlChars(args.MapDir) + ")");
    }
    std::string programDir = ProgramDir();
    std::string standardPath = args.Standard.empty() ? CompanionFile(programDir, kStandardFileName) : args.Standard;
    TBlkStandardGXD standard(standardPath, CompanionFile(programDir, kErrorTableFileName));

    // Block and table paths are formed from it: make it absolute once.
    std::string mapDir = IncludeTrailingDelimiter(fs::absolute(args.MapDir).lexically_normal().string());
    std::vector<TBlockRow> listed =
        ListMapBlocks(mapDir, [&](const std::string& layer) { return standard.IsLayerKnown(layer); });
    const bool progress = !args.Quiet && isatty(STDERR_FILENO) == 1;
    BatchView view(ChooseRows(listed, args.Blocks), mapDir, args.Options, progress, args.Quiet);
    // Each finding is printed as it comes (in the order of the error table), so that a
    // large map's findings are not all held; the export writes each as it comes too, the
    // check running while the writer has its file open.
    TFindingPrinter printer(args.Format, progress && isatty(STDOUT_FILENO) == 1);
    if (args.Header) printer.Header();
    TCheckRunResult result;
    auto run = [&](IFindingSink* exported) {
        TFindingSinkScope print(standard.Findings(), printer);
        std::optional<TFindingSinkScope> keep;
        if (exported) keep.emplace(standard.Findings(), *exported);
        result = RunCheck(standard, view);
    };
    if (args.Export.empty()) {
        run(nullptr);
    } else {
        const gisexport::TLayerStream layers{gisexport::FindingLayerDefs(), [&](const gisexport::TFeatureSink& sink) {
                                                 TFindingExport exported(sink);
                                                 run(&exported);
                                             }};
        for (const std::string& file : gisexport::WriteLayers(args.Export, layers, args.Crs))
            std::fprintf(stderr, "Export: %s\n", file.c_str());
    }
    std::fflush(stdout);
    if (result.Stopped || result.BlocksSkipped > 0) return 3;
    return result.Total > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        Arguments args = Parse(argc, argv);
        if (args.Help) {
            std::fputs(kHelp, stdout);
            // The finding codes, from the one table of finding kinds.
            std::fputs("\nKódy chýb (kód, skupina, bit masky: čo sa nájde):\n", stdout);
            for (const TFindingCode& c : FindingCodes)
                std::printf("  %4d  %c  %-2u %s\n", static_cast<int>(c.Code), c.Letter, static_cast<unsigned>(c.Bit),
                            c.What);
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
