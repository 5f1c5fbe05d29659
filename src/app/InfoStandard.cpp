// vexa-info --standard FILE: what the standard object reads from a standard file,
// as one JSON object (description, layers, kinds by group, unrotated kinds, the
// attribute definitions and the saved queries with their SQL).
#include "InfoCommands.h"
#include "common/Json.h"
#include "common/Companions.h"
#include "common/FileNames.h"
#include "access/AccessDb.h"
#include "standard/BlkStandardGXD.h"
#include "standard/StandardFiles.h"
#include "standard/StringList.h"

#include <filesystem>
#include <optional>

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

// A text column's value as JSON: null when empty or missing.
std::string TextOrNull(const TDbValue& v) { return v.IsNull() || v.AsText().empty() ? "null" : json::Quote(v.AsText()); }

std::string IntOrNull(const TDbValue& v) { return v.IsNull() ? "null" : json::Number(static_cast<long long>(v.AsInteger())); }

// DBAtrib: per element group, kind and layers the columns in their order, each with its
// type, width, decimals and the names of its saved queries (format, generate, test).
std::string AttributeDefinitions(TAccessDb& db) {
    const TDbResult r = db.Select(
        "select UCase(Typ_Prvok) as G, Kod_Prvok, Vrstvy, Meno, Typ, Velkost, Deci, Poradie, QFormat, QGenerate, "
        "QTest from DBAtrib order by 1, 2, 3, 8, 4");
    json::Array tables;
    std::optional<json::Object> table;
    json::Array columns;
    std::string key;
    auto close = [&] {
        if (table) tables.Raw(table->Raw("Columns", columns.Text()).Text());
    };
    for (const TDbRow& row : r.Rows) {
        const std::string rowKey = row[0].AsText() + "\x1f" + row[1].AsText() + "\x1f" + row[2].AsText();
        if (!table || rowKey != key) {
            close();
            key = rowKey;
            table.emplace();
            table->Str("Group", row[0].AsText()).Raw("Kind", IntOrNull(row[1])).Raw("Layers", TextOrNull(row[2]));
            columns = json::Array();
        }
        columns.Raw(json::Object()
                        .Raw("Name", TextOrNull(row[3]))
                        .Raw("Type", TextOrNull(row[4]))
                        .Raw("Width", IntOrNull(row[5]))
                        .Raw("Decimals", IntOrNull(row[6]))
                        .Raw("Order", IntOrNull(row[7]))
                        .Raw("QFormat", TextOrNull(row[8]))
                        .Raw("QGenerate", TextOrNull(row[9]))
                        .Raw("QTest", TextOrNull(row[10]))
                        .Text());
    }
    close();
    return tables.Text();
}

int ShowStandard(const std::string&, const std::string& file, std::ostream& out) {
    const std::string dir = ExeDir();
    TBlkStandardGXD standard(file, CompanionFile(dir, kErrorTableFileName));
    TAccessDb& db = standard.Database();
    json::Array queries;
    for (const auto& name : db.SavedQueryNames()) {
        const std::optional<std::string> sql = db.SavedQuerySql(name);
        queries.Raw(json::Object()
                        .Str("Name", name)
                        .Raw("Sql", sql ? json::Quote(*sql) : "null")
                        .Text());
    }
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
        .Raw("Attributes", AttributeDefinitions(db))
        .Raw("SavedQueries", queries.Text());
    out << o.Text() << "\n";
    return 0;
}

TInfoCommandRegistrar registrar({"--standard", "SÚBOR",
                                 "popis štandardu, vrstvy, druhy, definície atribútov (DBAtrib) a uložené dotazy s ich SQL", false,
                                 ShowStandard});

}  // namespace

}  // namespace vexa
