// vexa-info --standard FILE: what the standard object reads from a standard file,
// as one JSON object (description, layers, kinds by group, unrotated kinds, saved queries).
#include "InfoCommands.h"
#include "Json.h"
#include "common/FileNames.h"
#include "access/AccessDb.h"
#include "standard/BlkStandardGXD.h"
#include "standard/StandardFiles.h"
#include "standard/StringList.h"

#include <filesystem>

namespace vexa {

namespace {

std::string ExeDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("./") : IncludeTrailingDelimiter(exe.parent_path().string());
}

std::string Names(const TStringList& list) {
    json::Array a;
    for (const auto& item : list) a.Str(item);
    return a.Text();
}

// kind -> layers text; of two entries with one kind the first (the one lookups use) is shown.
std::string Kinds(const TStringList& list) {
    json::Object o;
    TStringList seen;
    for (int i = 0; i < list.Count(); ++i)
        if (seen.Add(list.Name(i))) o.Str(list.Name(i), list.ValueFromIndex(i));
    return o.Text();
}

int ShowStandard(const std::string&, const std::string& file, std::ostream& out) {
    const std::string dir = ExeDir();
    TBlkStandardGXD standard(file, dir + kErrorTableFileName);
    json::Array queries;
    for (const auto& name : standard.Database().SavedQueryNames()) queries.Str(name);
    json::Object o;
    o.Str("Description", standard.Description())
        .Raw("Layers", Names(standard.Layers()))
        .Raw("AreaOnlyLayers", Names(standard.AreaOnlyLayers()))
        .Raw("LineKinds", Kinds(standard.LineKinds()))
        .Raw("PointKinds", Kinds(standard.PointKinds()))
        .Raw("AreaKinds", Kinds(standard.AreaKinds()))
        .Raw("TextKinds", Kinds(standard.TextKinds()))
        .Raw("PointZeroAngleKinds", Names(standard.PointZeroAngleKinds()))
        .Raw("TextZeroAngleKinds", Names(standard.TextZeroAngleKinds()))
        .Raw("SavedQueries", queries.Text());
    out << o.Text() << "\n";
    return 0;
}

TInfoCommandRegistrar registrar({"--standard", "FILE",
                                 "the standard's description, layers, kinds and saved queries (JSON)", false,
                                 ShowStandard});

}  // namespace

}  // namespace vexa
