#include "export/GisLayers.h"

#include "block/BlkObj.h"
#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"
#include "standard/FindingKinds.h"
#include "standard/FindingPlace.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace vexa::gisexport {

namespace fs = std::filesystem;

namespace {

TValue Int(std::int64_t v) { return static_cast<double>(v); }

TFeature FeatureOf(const TFindingPlace& place) {
    TFeature f;
    f.Crds = place.Crds;
    switch (place.Shape) {
    case TPlaceShape::Line: f.Geometry = TGeometry::Line; break;
    case TPlaceShape::Point:
    case TPlaceShape::AreaPoint: f.Geometry = TGeometry::Point; break;
    case TPlaceShape::Text:
    case TPlaceShape::Area: f.Geometry = TGeometry::Polygon; break;
    case TPlaceShape::None: f.Crds.clear(); break;
    }
    return f;
}


bool EndsWithIgnoreCase(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && SameTextAscii(s.substr(s.size() - tail.size()), tail);
}

bool IsBlockDirName(const std::string& name) {
    return EndsWithIgnoreCase(name, ".blk") || EndsWithIgnoreCase(name, ".pra");
}

// One element read from a block, before the layers are laid out.
struct TElement {
    TBlkElementGroup Group = egLine;
    bool Unclosed = false;   // an area whose ring does not close: its reference point
    std::string Table;       // the kind's table as a layer name ("p0010"); empty when none
    TFeature Feature;        // geometry and the element's own values
    const TFldValList* Row = nullptr;  // the joined attribute row; nullptr when none
};

// The attribute rows of one table by their CISLO.
using TRows = std::map<std::int32_t, TFldValList>;

TRows ReadRows(const std::string& dir, const std::string& tablePath) {
    TRows rows;
    TTableDBF table;
    table.SetDatabaseName(dir);
    table.SetTableName(tablePath);
    table.OpenTable();
    if (!table.Active()) throw Exception("Tabuľku nemožno otvoriť\r(" + tablePath + ")");
    for (table.First(); !table.Eof(); table.Next()) {
        TFldValList values;
        table.GetValues(values);
        for (const TFldVal& v : values) {
            if (!SameTextAscii(v.Name, "CISLO")) continue;
            if (const double* d = std::get_if<double>(&v.Value))
                if (std::isfinite(*d) && std::abs(*d) < 2147483648.0)
                    rows.emplace(static_cast<std::int32_t>(std::llround(*d)), values);  // the first row counts
            break;
        }
    }
    table.Close();
    return rows;
}

// Reads one block's elements; the tables are read once each and kept in tables.
class TBlockReader {
public:
    TBlockReader(const std::string& dir, std::map<std::string, TRows>& tables, std::vector<TElement>& out)
        : FTables(tables), FOut(out) {
        FBlk.Open(dir, TBlkOpenMode::ReadOnly);
        FBlock = ExtractFileName(ExcludeTrailingDelimiter(FBlk.Path()));
        FSteps = PlaceWalkBudget(FBlk);
        try {
            FBlk.SetReadCache(true);
        } catch (const EBlkReadError&) {
            // Read from the files; a damaged record raises where it is read.
        }
    }

    void ReadAll() {
        ForEachLive<TBlkLine>(FBlk, [&](const TBlkLine& l) {
            TElement e = Element(egLine, l.Kind, l.Number);
            e.Feature.Values.push_back({"display_code", Int(l.DisplayCode)});
            e.Feature.Geometry = TGeometry::Line;
            e.Feature.Crds = LinePlace(FBlk, l).Crds;
            FOut.push_back(std::move(e));
        });
        ForEachLive<TBlkPoint>(FBlk, [&](const TBlkPoint& p) {
            TElement e = Element(egPoint, p.Kind, p.Number);
            e.Feature.Values.push_back({"display_code", Int(p.DisplayCode)});
            // Stored in grads (400 to the full turn).
            e.Feature.Values.push_back({"angle", static_cast<double>(p.Angle.Value() * 0.9L)});
            e.Feature.Geometry = TGeometry::Point;
            e.Feature.Crds = PointPlace(p).Crds;
            FOut.push_back(std::move(e));
        });
        ForEachLive<TBlkText>(FBlk, [&](const TBlkText& t) {
            TElement e = Element(egText, t.Kind, t.Number);
            // Stored in radians.
            e.Feature.Values.push_back({"angle", static_cast<double>(t.Angle.Value() * 57.29577951308232L)});
            e.Feature.Geometry = TGeometry::Polygon;
            e.Feature.Crds = TextPlace(t).Crds;
            FOut.push_back(std::move(e));
        });
        ForEachLive<TBlkArea>(FBlk, [&](const TBlkArea& a) {
            TElement e = Element(egArea, a.Kind, a.Number);
            TFindingPlace place = AreaPlace(FBlk, a, true, &FSteps);
            e.Feature.Crds = std::move(place.Crds);
            if (place.Shape == TPlaceShape::Area) {
                e.Feature.Geometry = TGeometry::Polygon;
            } else {
                e.Unclosed = true;
                e.Feature.Geometry = TGeometry::Point;
                e.Feature.Values.push_back({"reason", place.Reason});
            }
            FOut.push_back(std::move(e));
        });
    }

private:
    TElement Element(TBlkElementGroup group, std::int16_t kind, std::int32_t number) {
        TElement e;
        e.Group = group;
        e.Feature.Values = {{"block", FBlock}, {"number", Int(number)}, {"kind", Int(kind)}};
        if (group == egText) return e;  // texts have no tables
        // The table's name is looked up once per kind (the lookup lists the directory).
        auto named = FTableNames.find({group, kind});
        if (named == FTableNames.end()) named = FTableNames.emplace(std::pair{group, kind}, FBlk.AttributeFileName(group, kind)).first;
        const std::string& path = named->second;
        if (path.empty()) return e;
        e.Table = LowerAscii(ChangeFileExt(ExtractFileName(path), ""));
        auto it = FTables.find(path);
        if (it == FTables.end()) it = FTables.emplace(path, ReadRows(FBlk.Path(), path)).first;
        const auto row = it->second.find(number);
        if (row != it->second.end()) e.Row = &row->second;
        return e;
    }

    TBlk FBlk{false};
    std::string FBlock;
    std::int64_t FSteps = 0;  // what the boundary walks of the block may still take
    std::map<std::pair<TBlkElementGroup, std::int16_t>, std::string> FTableNames;
    std::map<std::string, TRows>& FTables;
    std::vector<TElement>& FOut;
};

TFieldType TypeOf(const TValue& v) {
    if (std::holds_alternative<double>(v)) return TFieldType::Real;
    if (std::holds_alternative<bool>(v)) return TFieldType::Logical;
    if (std::holds_alternative<TDate>(v)) return TFieldType::Date;
    return TFieldType::String;
}

// Lays out one layer: the given own fields, then the joined columns of the rows (in the
// order first met; a column whose name clashes with an own field gets the prefix "attr_";
// a column met with two types becomes text).
class TLayerBuilder {
public:
    TLayerBuilder(std::string name, TGeometry geometry, std::vector<TField> own) {
        FLayer.Name = std::move(name);
        FLayer.Geometry = geometry;
        FLayer.Fields = std::move(own);
    }
    void Add(const TElement& e, bool join) {
        TFeature f = e.Feature;
        if (join && e.Row) {
            for (const TFldVal& v : *e.Row) {
                std::string name = ColumnName(v.Name);
                const int i = FieldIndex(name);
                if (i < 0) {
                    FLayer.Fields.push_back({name, TypeOf(v.Value)});
                    if (IsNull(v.Value)) FUntyped.insert(name);  // typed by its first value
                } else if (!IsNull(v.Value) && FUntyped.erase(name)) {
                    FLayer.Fields[i].Type = TypeOf(v.Value);
                } else if (!IsNull(v.Value) && FLayer.Fields[i].Type != TypeOf(v.Value)) {
                    FLayer.Fields[i].Type = TFieldType::String;
                }
                FJoined.insert(name);
                f.Values.push_back({name, v.Value});
            }
        }
        FLayer.Features.push_back(std::move(f));
    }
    TLayer Take() { return std::move(FLayer); }

private:
    int FieldIndex(const std::string& name) const {
        for (std::size_t i = 0; i < FLayer.Fields.size(); ++i)
            if (SameTextAscii(FLayer.Fields[i].Name, name)) return static_cast<int>(i);
        return -1;
    }
    std::string ColumnName(const std::string& column) const {
        if (FJoined.count(column)) return column;
        const int i = FieldIndex(column);
        if (i >= 0 && !FJoined.count(FLayer.Fields[i].Name)) return "attr_" + column;
        return column;
    }
    TLayer FLayer;
    std::set<std::string> FJoined;   // the joined columns' names as laid out
    std::set<std::string> FUntyped;  // joined columns met only with null values so far
};

std::vector<TField> OwnFields(TBlkElementGroup group, bool unclosed) {
    std::vector<TField> f = {{"block", TFieldType::String},
                             {"number", TFieldType::Integer},
                             {"kind", TFieldType::Integer},
                             {"display_code", TFieldType::Integer}};
    if (group == egPoint || group == egText) f.push_back({"angle", TFieldType::Real});
    if (unclosed) f.push_back({"reason", TFieldType::String});
    return f;
}

}  // namespace

std::vector<TLayer> FindingLayers(const std::vector<TFinding>& findings) {
    const std::vector<TField> fields = {{"block", TFieldType::String},  {"layer", TFieldType::String},
                                        {"group", TFieldType::String},  {"kind", TFieldType::Integer},
                                        {"number", TFieldType::Integer}, {"code", TFieldType::Integer},
                                        {"text", TFieldType::String}};
    std::vector<TLayer> layers = {{"findings_line", TGeometry::Line, fields, {}},
                                  {"findings_point", TGeometry::Point, fields, {}},
                                  {"findings_text", TGeometry::Polygon, fields, {}},
                                  {"findings_area", TGeometry::Polygon, fields, {}},
                                  {"findings_area_unclosed", TGeometry::Point, fields, {}},
                                  {"findings_table", TGeometry::None, fields, {}}};
    layers[4].Fields.push_back({"reason", TFieldType::String});
    layers[5].Fields.push_back({"table", TFieldType::String});
    for (const TFinding& finding : findings) {
        const TErrorRecord& r = finding.Record;
        TFeature f = FeatureOf(finding.Place);
        f.Values = {{"block", r.Blok},
                    {"group", r.Prvok},
                    {"code", Int(r.Id)},
                    {"text", r.Chyba}};
        if (r.Vrstva) f.Values.push_back({"layer", *r.Vrstva});
        if (r.Druh) f.Values.push_back({"kind", Int(*r.Druh)});
        if (r.Cislo) f.Values.push_back({"number", Int(*r.Cislo)});
        std::size_t layer = 5;
        switch (finding.Place.Shape) {
        case TPlaceShape::Line: layer = 0; break;
        case TPlaceShape::Point: layer = 1; break;
        case TPlaceShape::Text: layer = 2; break;
        case TPlaceShape::Area: layer = 3; break;
        case TPlaceShape::AreaPoint:
            layer = 4;
            f.Values.push_back({"reason", finding.Place.Reason});
            break;
        case TPlaceShape::None: f.Values.push_back({"table", finding.Place.Table}); break;
        }
        layers[layer].Features.push_back(std::move(f));
    }
    return layers;
}

std::vector<TLayer> BlockLayers(const std::vector<std::string>& blockDirs) {
    std::vector<TElement> elements;
    // Keyed by the table's path, so each block's rows stay with that block; the elements
    // point into them.
    std::map<std::string, TRows> tables;
    for (const std::string& dir : blockDirs) TBlockReader(dir, tables, elements).ReadAll();

    // A group whose elements meet more than one table gets a layer per table.
    std::map<TBlkElementGroup, std::set<std::string>> groupTables;
    for (const TElement& e : elements)
        if (!e.Table.empty()) groupTables[e.Group].insert(e.Table);
    auto joinsInMain = [&](TBlkElementGroup g) { return groupTables[g].size() <= 1; };

    TLayerBuilder lines("lines", TGeometry::Line, OwnFields(egLine, false));
    TLayerBuilder points("points", TGeometry::Point, OwnFields(egPoint, false));
    TLayerBuilder texts("texts", TGeometry::Polygon, OwnFields(egText, false));
    TLayerBuilder areas("areas", TGeometry::Polygon, OwnFields(egArea, false));
    TLayerBuilder unclosed("areas_unclosed", TGeometry::Point, OwnFields(egArea, true));
    std::map<std::string, TLayerBuilder> kindLayers;
    for (const TElement& e : elements) {
        const bool join = joinsInMain(e.Group);
        switch (e.Group) {
        case egLine: lines.Add(e, join); break;
        case egPoint: points.Add(e, join); break;
        case egText: texts.Add(e, join); break;
        case egArea: (e.Unclosed ? unclosed : areas).Add(e, join); break;
        }
        if (join || e.Table.empty()) continue;
        auto it = kindLayers.find(e.Table);
        if (it == kindLayers.end()) {
            const TGeometry geometry = e.Group == egLine    ? TGeometry::Line
                                       : e.Group == egPoint ? TGeometry::Point
                                                            : TGeometry::Polygon;
            it = kindLayers.emplace(e.Table, TLayerBuilder(e.Table, geometry, OwnFields(e.Group, e.Group == egArea)))
                     .first;
        }
        TElement copy = e;
        // An area whose ring does not close has no polygon: in its kind's layer it has no geometry.
        if (e.Unclosed) {
            copy.Feature.Geometry = TGeometry::None;
            copy.Feature.Crds.clear();
        }
        it->second.Add(copy, true);
    }
    std::vector<TLayer> layers = {lines.Take(), points.Take(), texts.Take(), areas.Take(), unclosed.Take()};
    for (auto& [name, builder] : kindLayers) layers.push_back(builder.Take());
    return layers;
}

TErrorRecord ErrorRecordOf(const TFldValList& values) {
    auto text = [&](std::size_t i) -> std::optional<std::string> {
        if (i < values.size())
            if (const auto* s = std::get_if<std::string>(&values[i].Value)) return *s;
        return std::nullopt;
    };
    auto number = [&](std::size_t i) -> std::optional<std::int32_t> {
        if (i < values.size())
            if (const auto* d = std::get_if<double>(&values[i].Value)) return static_cast<std::int32_t>(*d);
        return std::nullopt;
    };
    TErrorRecord r;
    r.Id = number(0).value_or(0);
    r.Blok = text(1).value_or("");
    r.Vrstva = text(2);
    r.Prvok = text(3).value_or("");
    r.Druh = number(4);
    r.Cislo = number(5);
    r.Chyba = text(6).value_or("");
    return r;
}

std::vector<TFinding> PlaceFindings(const std::string& mapDir, const std::vector<TErrorRecord>& records) {
    struct TOpenBlock {
        std::unique_ptr<TBlk> Blk;  // nullptr: the block cannot be opened
        std::int64_t Steps = 0;
    };
    std::map<std::string, TOpenBlock> blocks;
    // "DB %s neexistuje": the missing table's name.
    const std::string missing = findingtext::TableMissing;
    const std::string head = missing.substr(0, missing.find("%s"));
    const std::string tail = missing.substr(missing.find("%s") + 2);

    std::vector<TFinding> findings;
    for (const TErrorRecord& r : records) {
        TFinding f{r, {}};
        const auto group = r.Prvok.size() == 1 ? GroupOfLetter(r.Prvok[0]) : std::nullopt;
        if (r.Cislo && group && !r.Blok.empty()) {
            auto it = blocks.find(r.Blok);
            if (it == blocks.end()) {
                TOpenBlock open;
                try {
                    auto blk = std::make_unique<TBlk>(false);
                    blk->Open(IncludeTrailingDelimiter(mapDir) + r.Blok, TBlkOpenMode::ReadOnly);
                    open.Steps = PlaceWalkBudget(*blk);
                    open.Blk = std::move(blk);
                } catch (const std::exception&) {
                    // No place for the findings of a block that is gone or unreadable.
                }
                it = blocks.emplace(r.Blok, std::move(open)).first;
            }
            if (it->second.Blk) f.Place = ElementPlace(*it->second.Blk, *group, *r.Cislo, &it->second.Steps);
        } else if (r.Chyba.size() > head.size() + tail.size() && r.Chyba.starts_with(head) &&
                   r.Chyba.ends_with(tail)) {
            f.Place = TablePlace(r.Chyba.substr(head.size(), r.Chyba.size() - head.size() - tail.size()));
        }
        findings.push_back(std::move(f));
    }
    return findings;
}

std::vector<std::string> ExportBlockDirs(const std::string& target) {
    const std::string name = ExtractFileName(ExcludeTrailingDelimiter(target));
    std::error_code ec;
    if (!fs::is_directory(target, ec)) throw Exception("Adresár neexistuje\r(" + target + ")");
    if (IsBlockDirName(name)) return {target};
    std::vector<std::string> dirs;
    for (const auto& entry : fs::directory_iterator(target, ec))
        if (entry.is_directory(ec) && IsBlockDirName(entry.path().filename().string()))
            dirs.push_back(entry.path().string());
    std::sort(dirs.begin(), dirs.end());
    if (dirs.empty()) throw Exception("V adresári nie je žiadny blok\r(" + target + ")");
    return dirs;
}

}  // namespace vexa::gisexport
