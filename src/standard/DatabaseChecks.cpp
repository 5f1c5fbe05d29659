// Attribute table checks and repairs: the tables the standard requires for a
// block's layer (DBAtrib), their structure against the standard's definitions,
// and their contents through the standard's saved queries.
#include "block/BlkRecords.h"
#include "common/FileNames.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"
#include "access/AccessSql.h"
#include "standard/BlkStandardGXD.h"
#include "standard/StructureChange.h"
#include "standard/CheckRunSupport.h"
#include "standard/FindingKinds.h"
#include "standard/FindingPlace.h"
#include "standard/Findings.h"
#include "standard/StandardImpl.h"

#include <algorithm>
#include <map>
#include <optional>

namespace vexa {

namespace {

const char* const kTablesQuery =
    "select distinct UCase(Typ_Prvok) as Typ, Kod_Prvok as Kod from DBAtrib where InStr(1, UCase(Vrstvy), :Vrst, 1) "
    "order by 1, 2";
const char* const kDefsQuery =
    "select Meno, Typ, Velkost, Deci from DBAtrib where UCase(Typ_Prvok) = :Typ and Kod_Prvok = :Kod and "
    "InStr(1, UCase(Vrstvy), :Vrst, 1) order by Poradie";
const char* const kQueriesQuery =
    "select QFormat, QGenerate, QTest from DBAtrib where UCase(Typ_Prvok) = :Typ and Kod_Prvok = :Kod and "
    "InStr(1, UCase(Vrstvy), :Vrst, 1)";

// The group letter of an element group that has attribute tables; "" for texts and others.
std::string GroupParam(int group) {
    if (group != egLine && group != egPoint && group != egArea) return "";
    return std::string(1, GroupLetter(static_cast<TBlkElementGroup>(group)));
}

TDbParams Params(const std::string& layer, int group, std::int32_t kind) {
    return {{"Vrst", StandardLayerCode(layer)}, {"Typ", GroupParam(group)}, {"Kod", static_cast<std::int64_t>(kind)}};
}

char LetterOf(int group) {
    const std::string p = GroupParam(group);
    return p.empty() ? '\0' : p[0];
}

bool SameName(const std::string& a, const std::string& b) { return AccessUpper(a) == AccessUpper(b); }

// A field of a type the standard can define: any type letter.
bool IsKnownType(const FLDDesc& d) { return LetterOfPhysical(d.iFldType) != '?'; }

// A definition as the standard gives it: "M", "C 20", "N 12.2".
std::string Shape(const TFldDef& def) {
    std::string s(1, LetterOf(def.FieldType));
    if (def.Width != 0) s += " " + std::to_string(def.Width);
    if (def.Decimals != 0) s += "." + std::to_string(def.Decimals);
    return s;
}

// The first line of a message (a table's messages name the file on the next).
std::string FirstLine(const std::string& message) { return message.substr(0, message.find('\r')); }

// Columns that no repair may remove: the GIS's own (the element number links
// a row to its element) and the table engine's own (Visual FoxPro's _NullFlags).
bool IsProtectedField(const std::string& name) { return IsBlkReservedField(name) || SameTextAscii(name, "_NullFlags"); }

}  // namespace

std::vector<std::string> TBlkStandardGXD::ListAttributeTables(const std::string& layer) {
    RequireOpen();
    std::vector<std::string> names;
    const auto r = Database().Select(kTablesQuery, {{"Vrst", StandardLayerCode(layer)}});
    for (const auto& row : r.Rows) {
        const std::string type = row[0].AsText();
        const long long kod = row[1].AsInteger();
        if (type.empty()) continue;
        switch (type[0]) {
        case 'B': names.push_back(Format("b%.4lld.dbf", kod)); break;
        case 'L': names.push_back(Format("l%.4lld.dbf", kod)); break;
        case 'P': names.push_back(Format("p%.4lld.dbf", kod)); break;
        default: break;
        }
    }
    return names;
}

TFldDefList TBlkStandardGXD::GetAttributeDefs(const std::string& layer, int group, std::int32_t kind) {
    RequireOpen();
    TFldDefList defs;
    for (const auto& row : Database().Select(kDefsQuery, Params(layer, group, kind)).Rows) {
        const std::string name = row[0].AsText();
        const std::string type = row[1].AsText();
        TFldType fieldType;
        try {
            fieldType = TTableDBF::TypeFromChar(type.empty() ? '\0' : type[0]);
        } catch (const EDbfException&) {
            throw EStdException(
                Format("Štandard udáva pre pole %s typ \"%s\", ktorý nie je typom poľa dBASE (DBAtrib: %s %d).",
                       name.c_str(), type.c_str(), GroupParam(group).c_str(), static_cast<int>(kind)));
        }
        // Normalised as the table layer normalises a field it makes (an L or D field has
        // width 0, a C field no decimals), so that a repaired table compares equal.
        defs.push_back(TTableDBF::MakeField(name, fieldType, static_cast<std::int32_t>(row[2].AsInteger()),
                                            static_cast<std::int32_t>(row[3].AsInteger())));
    }
    return defs;
}

bool TBlkStandardGXD::IsStructureValid(const std::string& layer, int group, std::int32_t kind) {
    return !FCurrentDbfPath.empty() && StructureDifference(layer, group, kind).empty();
}

std::string TBlkStandardGXD::StructureDifference(const std::string& layer, int group, std::int32_t kind) {
    if (FCurrentDbfPath.empty()) return "";
    TTableDBF table;
    table.SetDatabaseName(ExtractFilePath(FCurrentDbfPath));
    table.SetTableName(ExtractFileName(FCurrentDbfPath));
    const TFldDefList defs = GetAttributeDefs(layer, group, kind);
    // A field matches a definition of its own type; fields of types this system
    // does not know match none and fail none.
    TFldDescList descs;
    table.GetFieldDescs(descs);
    if (defs.empty()) return "štandard nedefinuje žiadne pole";
    std::string missing, other;
    for (const TFldDef& def : defs) {
        bool matched = false;
        std::optional<TFldDef> differing;  // the first field of the name, of another shape
        for (const FLDDesc& d : descs) {
            if (!SameName(d.szName, def.Name) || !IsKnownType(d)) continue;
            const TFldDef field = TTableDBF::DescToField(d);
            if (field.FieldType == def.FieldType && field.Width == def.Width && field.Decimals == def.Decimals) {
                matched = true;
                break;
            }
            if (!differing) differing = field;
        }
        if (matched) continue;
        if (differing)
            other += (other.empty() ? "" : ", ") + def.Name + " " + Shape(*differing) + " namiesto " + Shape(def);
        else
            missing += (missing.empty() ? "" : ", ") + def.Name + " " + Shape(def);
    }
    std::string said;
    if (!missing.empty()) said = "chýba " + missing;
    if (!other.empty()) said += (said.empty() ? "" : "; ") + other;
    return said;
}

void TBlkStandardGXD::FixStructure(const std::string& layer, int group, std::int32_t kind, bool restructure,
                                   bool mandatoryFirst, bool deleteOptional) {
    if (FCurrentDbfPath.empty()) return;
    TTableDBF table;
    table.SetDatabaseName(ExtractFilePath(FCurrentDbfPath));
    table.SetTableName(ExtractFileName(FCurrentDbfPath));
    table.OpenTable();
    TFldDescList before;
    table.GetFieldDescs(before);
    const TFldDefList defs = GetAttributeDefs(layer, group, kind);
    if (!defs.empty()) {
        // Every step is planned first and the table rewritten once: a step that
        // cannot be done (a field of a type whose values Vexa does not write would
        // have to be added or changed) leaves the table as it was.
        TFieldEdits edits(table);
        if (restructure) {
            for (const TFldDef& def : defs) {
                try {
                    const int index = edits.FieldIndex(def.Name);
                    if (index >= 0) {
                        // The GIS's own columns keep their names as the GIS writes them.
                        const std::string name = edits.Descs()[static_cast<std::size_t>(index)].szName;
                        edits.ModifyField(index, IsProtectedField(name) ? name : def.Name, def.FieldType, def.Width,
                                          def.Decimals);
                    } else {
                        edits.AddField(TTableDBF::MakeField(def.Name, def.FieldType, def.Width, def.Decimals));
                    }
                } catch (const EDbfException& e) {
                    throw EStdException(
                        Format("Tabuľku nemožno upraviť podľa štandardu (DBAtrib: %s %d, pole %s %s): "
                               "%s Tabuľka zostala nezmenená.\r(%s)",
                               GroupParam(group).c_str(), static_cast<int>(kind), def.Name.c_str(), Shape(def).c_str(),
                               FirstLine(e.what()).c_str(), FCurrentDbfPath.c_str()));
                }
            }
        }
        if (mandatoryFirst) {
            for (std::size_t i = 0; i < defs.size(); ++i) {
                const int index = edits.FieldIndex(defs[i].Name);
                if (index >= 0 && index != static_cast<int>(i)) edits.MoveField(index, static_cast<int>(i));
            }
        }
        if (deleteOptional) {
            for (int position = 0; position < static_cast<int>(edits.Descs().size());) {
                const std::string name = edits.Descs()[static_cast<std::size_t>(position)].szName;
                bool defined = IsProtectedField(name);
                for (const TFldDef& def : defs)
                    if (SameName(name, def.Name)) defined = true;
                if (defined)
                    ++position;
                else
                    edits.DeleteField(position);
            }
        }
        edits.Apply();
    }
    TFldDescList after;
    table.GetFieldDescs(after);
    table.Close();
    const std::string change = DescribeStructureChange(before, after);
    if (!change.empty()) FRepairs.push_back(RepairMessage(FCurrentDbfPath, change));
}

bool TBlkStandardGXD::TestFill(const std::string& layer, int group, std::vector<std::string>& numbers,
                               std::int32_t kind, std::map<std::string, std::vector<std::string>>* refusedBy) {
    numbers.clear();
    if (refusedBy) refusedBy->clear();
    if (FCurrentDbfPath.empty()) return false;
    RequireOpen();
    TAccessDb& db = Database();
    TStringList found;  // sorted as text, each number once
    // A query a bound stopped is said once and not run again in this run: what needs it is
    // not checked, and the run goes on.
    auto stopped = [&](const std::string& name) {
        if (!FStoppedQueries.count(UpperAscii(name))) return false;
        FChecksNotDone = true;
        return true;
    };
    auto stop = [&](const std::string& name, const std::string& why) {
        const std::string mark = "Dotaz bol zastavený: ";
        const std::size_t at = why.find(mark);
        std::string bound = at == std::string::npos ? FirstLine(why) : why.substr(at + mark.size());
        if (!bound.empty() && bound.back() == ')') bound.pop_back();
        FStoppedQueries.insert(UpperAscii(name));
        FQueryStops.push_back(Format("Uložený dotaz %s bol zastavený (%s); v tejto kontrole sa už nespustí a "
                                     "kontrola vyplnenia, ktorá ho potrebuje, sa nevykoná.\r(%s)",
                                     name.c_str(), bound.c_str(), FCurrentDbfPath.c_str()));
        FChecksNotDone = true;
    };
    LinkTestTable();
    try {
        const auto rows = db.Select(kQueriesQuery, Params(layer, group, kind)).Rows;
        // The queries that prepare the table: when one cannot run, the tests would judge a
        // table half prepared; none runs and nothing is written back.
        bool prepared = true;
        for (int column = 0; column < 2 && prepared; ++column)  // QFormat on every row, then QGenerate
            for (const auto& row : rows) {
                const std::string name = row[static_cast<std::size_t>(column)].AsText();
                if (name.empty()) continue;
                if (stopped(name)) {
                    prepared = false;
                    break;
                }
                try {
                    db.ExecuteSaved(name);
                } catch (const EQueryStopped& e) {
                    stop(name, e.what());
                    prepared = false;
                    break;
                }
            }
        if (!prepared) {
            UnlinkTestTable();
            numbers.clear();
            return true;
        }
        for (const auto& row : rows) {
            const std::string test = row[2].AsText();
            if (test.empty() || stopped(test)) continue;
            TDbResult result;
            try {
                result = db.Select("select Cislo from " + test);
            } catch (const EQueryStopped& e) {
                stop(test, e.what());
                continue;
            } catch (const EAccessDbError& e) {
                throw SavedQueryFailed(test, e.what());
            }
            std::vector<std::string> texts;
            texts.reserve(result.Rows.size());
            for (const auto& r : result.Rows) texts.push_back(r.at(0).AsText());
            if (refusedBy)
                for (const std::string& t : texts) {
                    std::vector<std::string>& by = (*refusedBy)[t];
                    if (std::find(by.begin(), by.end(), test) == by.end()) by.push_back(test);
                }
            found.AddAll(texts);
        }
        WriteBackTestTable();
    } catch (...) {
        UnlinkTestTable();
        throw;
    }
    UnlinkTestTable();
    numbers = found.Strings();
    return numbers.empty();
}

int TBlkStandardGXD::CheckDatabases(TBlk& blk, std::uint16_t options) {
    if (options == 0) return 0;
    RequireOpen();
    WaitCursorGuard cursor(FUI, TCursorKind::DatabaseWait);
    const std::string block = checkrun::BlockName(blk);
    const std::string layer = StandardLayerCode(block);
    const std::vector<std::string> tables = ListAttributeTables(layer);
    const std::string dir = IncludeTrailingDelimiter(ExcludeTrailingDelimiter(blk.Path()));
    // What the saved queries change is written back only into a block of the map.
    FNoWriteBack = blk.LinkedOutside();
    TErrorTableSession session(ErrorTable());
    int count = 0;
    std::int64_t placeSteps = PlaceWalkBudget(blk);
    // A finding of the table of an element group (by its letter); texts have none. A row's
    // finding is placed at its element, a finding of the whole table names the table's file.
    auto write = [&](char letter, std::optional<std::int32_t> number, const std::string& text,
                     const std::string& table, std::string detail = {}) {
        const std::optional<TFindingKind> finding = DatabaseFindingKind(letter);
        if (!finding) return;
        const std::int32_t code = FindingRow(*finding).Code;
        const auto group = GroupOfLetter(letter);
        TFindingPlace place = number && group && Findings().WantsPlaces() ? ElementPlace(blk, *group, *number, &placeSteps)
                                                                            : TablePlace(table);
        place.Table = table;
        TFinding f;
        f.Record = {code, block, std::nullopt, std::string(1, letter), std::nullopt, number, text};
        f.Place = std::move(place);
        f.Detail = std::move(detail);
        Findings().Add(f);
        ++count;
    };
    for (const std::string& name : tables) {
        // Block files come from Windows: the table is found whatever the letter case of its name.
        const auto entry = FindEntryIgnoreCase(dir, name);
        if (!entry || !fs::is_regular_file(*entry)) {
            write(UpperAscii(name.substr(0, 1))[0], std::nullopt, Format(findingtext::TableMissing, name.c_str()), name);
            continue;
        }
        FCurrentDbfPath = dir + entry->filename().string();
        TBlkElementGroup group = egLine;
        std::int32_t kind = 0;
        TBlk::ParseAttributeFileName(FCurrentDbfPath, group, kind);
        if ((options & option::DBRepairs) && !blk.LinkedOutside())
            FixStructure(layer, group, kind, options & option::DBUprStrukt, options & option::DBUsporiadat,
                         options & option::DBNepZmaz);
        if (options & option::DBKontAtr) {
            const char letter = LetterOf(group);
            // The table and the standard's definitions are read once for the verdict and its detail.
            if (const std::string difference = StructureDifference(layer, group, kind); !difference.empty()) {
                write(letter, std::nullopt, findingtext::BadStructure, entry->filename().string(), difference);
            } else {
                std::vector<std::string> numbers;
                std::map<std::string, std::vector<std::string>> refusedBy;
                if (!TestFill(layer, group, numbers, kind, &refusedBy)) {
                    for (const std::string& number : numbers) {
                        // A row without a readable number is still reported, with a blank number.
                        const auto value = TextToInt(Trim(number));
                        std::optional<std::int32_t> cislo;
                        if (value && *value >= INT32_MIN && *value <= INT32_MAX)
                            cislo = static_cast<std::int32_t>(*value);
                        std::string by;
                        for (const std::string& query : refusedBy[number]) by += (by.empty() ? "" : ", ") + query;
                        write(letter, cislo, findingtext::BadFill, entry->filename().string(),
                              by.empty() ? std::string() : "odmietol dotaz " + by);
                    }
                }
            }
        }
    }
    // The wanted fingerprints of every group, of the tables as the repairs and queries left them.
    checkrun::HandFingerprints(Findings(), blk, block, std::nullopt);
    session.End();
    return count;
}

}  // namespace vexa
