// vexa-query: runs Access SQL (a statement or a saved query of the standard) on one
// dBASE table the way the attribute checks do: the table is "TestTab" of the
// standard's working copy. A SELECT prints one JSON object per row, an action
// query {"changed": N}; the table changes only with --write.
//
// Exit status: 0 done, 2 error (the message on stderr).
#include "common/Json.h"
#include "common/Companions.h"
#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/Text.h"
#include "common/Version.h"
#include "access/AccessDb.h"
#include "standard/BlkStandardGXD.h"
#include "standard/StandardFiles.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace vexa;
namespace fs = std::filesystem;

const char* const kHelp =
    "Použitie: vexa-query [--standard SÚBOR] [--write] [--param MENO=HODNOTA]... TABUĽKA.dbf \"PRÍKAZ alebo meno uloženého dotazu\"\n"
    "\n"
    "Vykoná príkaz Access SQL (alebo uložený dotaz štandardu) nad tabuľkou dBASE tak ako\n"
    "kontrola atribútov: tabuľka je \"TestTab\", tabuľky a uložené dotazy štandardu sú k dispozícii.\n"
    "\n"
    "  --standard SÚBOR   štandard (predvolený: StandardGXD.mdb v adresári programu,\n"
    "                     inak v ../share/vexa od neho)\n"
    "  --write            zmeny akčného dotazu zapísať do tabuľky (inak sa tabuľka nemení)\n"
    "  --param MENO=HODNOTA  hodnota parametra dotazu (PARAMETERS); aj viackrát. Celé\n"
    "                     a desatinné čísla (s bodkou) sú číslom, iné hodnoty textom\n"
    "  --help             tento text\n"
    "  --version          verzia programu\n"
    "\n"
    "SELECT vypíše každý riadok ako jeden objekt JSON (mená stĺpcov sú kľúče, Null je null,\n"
    "áno/nie je -1/0, dátum \"RRRR-MM-DD\" alebo \"RRRR-MM-DDTHH:MM:SS\"); krížový dotaz (TRANSFORM ...\n"
    "PIVOT) rovnako, so stĺpcom pre každé záhlavie; akčný dotaz vypíše\n"
    "{\"changed\": N}. Pri chybe vypíše jej text na chybový výstup a skončí so stavom 2.\n";

class UsageError : public Exception {
public:
    using Exception::Exception;
};

struct Arguments {
    std::string Standard;
    bool Write = false;
    bool Help = false;
    bool Version = false;
    std::string Table;
    std::string Statement;
    TDbParams Params;
};

// A parameter's value: an integer or a decimal number as a number, anything else as text.
TDbValue ParamValue(const std::string& text) {
    if (auto i = TextToInt(text)) return TDbValue(static_cast<std::int64_t>(*i));
    if (auto f = TextToFloat(text)) return TDbValue(*f);
    return TDbValue(text);
}

// A statement that is one name (or [name]): meant as a saved query, never SQL.
std::optional<std::string> QueryName(const std::string& statement) {
    std::string name = Trim(statement);
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') return name.substr(1, name.size() - 2);
    if (name.empty()) return std::nullopt;
    for (char c : name)
        if (std::isspace(static_cast<unsigned char>(c)) || std::strchr("()*;,'\"=<>#", c)) return std::nullopt;
    return name;
}

Arguments Parse(int argc, char** argv) {
    Arguments args;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::string name = arg.substr(0, arg.find('='));
        if (arg == "--help" || arg == "-h") {
            args.Help = true;
        } else if (arg == "--version" && positional.empty()) {
            args.Version = true;
        } else if (name == "--standard") {
            if (arg.find('=') != std::string::npos)
                args.Standard = arg.substr(arg.find('=') + 1);
            else if (i + 1 < argc)
                args.Standard = argv[++i];
            else
                throw UsageError("Chýba hodnota voľby --standard");
        } else if (name == "--param") {
            std::string value;
            if (arg.find('=') != std::string::npos)
                value = arg.substr(arg.find('=') + 1);
            else if (i + 1 < argc)
                value = argv[++i];
            else
                throw UsageError("Chýba hodnota voľby --param");
            const auto eq = value.find('=');
            if (eq == std::string::npos || eq == 0) throw UsageError("Voľba --param očakáva MENO=HODNOTA: " + value);
            args.Params.emplace_back(value.substr(0, eq), ParamValue(value.substr(eq + 1)));
        } else if (arg == "--write") {
            args.Write = true;
        } else if (arg == "--") {
            for (++i; i < argc; ++i) positional.push_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-' && positional.empty()) {
            throw UsageError("Neznáma voľba " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (args.Help || args.Version) return args;
    if (positional.size() != 2) throw UsageError("Očakáva sa TABUĽKA.dbf a príkaz (vexa-query --help)");
    args.Table = positional[0];
    args.Statement = positional[1];
    return args;
}

// A stored date "YYYY-MM-DD HH:MM:SS" as "YYYY-MM-DDTHH:MM:SS"; other texts unchanged.
std::string DateOrText(std::string text) {
    auto digits = [&](std::size_t from, std::size_t n) {
        for (std::size_t i = from; i < from + n; ++i)
            if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        return true;
    };
    if (text.size() == 19 && digits(0, 4) && text[4] == '-' && digits(5, 2) && text[7] == '-' && digits(8, 2) &&
        text[10] == ' ' && digits(11, 2) && text[13] == ':' && digits(14, 2) && text[16] == ':' && digits(17, 2))
        text[10] = 'T';
    return text;
}

std::string RowJson(const TDbResult& result, const TDbRow& row) {
    json::Object o;
    for (std::size_t i = 0; i < result.Columns.size() && i < row.size(); ++i) {
        const TDbValue& v = row[i];
        const auto& d = v.Data();
        if (v.IsNull())
            o.Raw(result.Columns[i], "null");
        else if (const auto* n = std::get_if<std::int64_t>(&d))
            o.Int(result.Columns[i], *n);
        else if (const auto* f = std::get_if<double>(&d))
            o.Real(result.Columns[i], *f);
        else if (const auto* s = std::get_if<std::string>(&d))
            o.Str(result.Columns[i], DateOrText(*s));
        else
            o.Str(result.Columns[i], v.AsText());  // binary data as its bytes
    }
    return o.Text();
}

int Run(const Arguments& args) {
    std::error_code ec;
    if (!fs::is_regular_file(args.Table, ec)) throw UsageError("Tabuľka neexistuje\r(" + args.Table + ")");
    const std::string programDir = ProgramDir();
    const std::string standardPath =
        args.Standard.empty() ? CompanionFile(programDir, kStandardFileName) : args.Standard;
    TBlkStandardGXD standard(standardPath, CompanionFile(programDir, kErrorTableFileName));
    standard.LinkTestTable(fs::absolute(args.Table).lexically_normal().string());
    TAccessDb& db = standard.Database();

    // A saved query by its name, else a statement; a lone name that is no saved query is an error.
    const std::optional<std::string> name = QueryName(args.Statement);
    const bool saved = name && db.SavedQuerySql(*name).has_value();
    if (name && !saved) throw UsageError("Uložený dotaz neexistuje\r(" + *name + ")");
    int changed = 0;
    const TDbResult result =
        saved ? db.RunSaved(*name, args.Params, &changed) : db.Query(args.Statement, args.Params, &changed);
    if (result.Columns.empty()) {
        if (args.Write) standard.SaveTestTable();
        std::printf("{\"changed\": %d}\n", changed);
        return 0;
    }
    for (const TDbRow& row : result.Rows) std::printf("%s\n", RowJson(result, row).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Arguments args = Parse(argc, argv);
        if (args.Help) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (args.Version) {
            std::printf("vexa-query %s\n", VEXA_VERSION);
            return 0;
        }
        const int status = Run(args);
        std::fflush(stdout);
        return status;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", MessageLines(e.what()).c_str());
        return 2;
    }
}
