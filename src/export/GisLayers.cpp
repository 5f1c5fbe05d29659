#include "export/GisLayers.h"

#include "block/BlkGroups.h"
#include "block/BlkObj.h"
#include "standard/FindingColumns.h"
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
#include <type_traits>

namespace vexa::gisexport {

namespace fs = std::filesystem;

namespace {

TValue Int(std::int64_t v) { return static_cast<double>(v); }

TFeature FeatureOf(const TFindingPlace& place) {
    TFeature f;
    if (place.Shape == TPlaceShape::Area && !place.Polygons.empty())
        SetPolygons(f, place.Polygons);
    else
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


}  // namespace

void SetPolygons(TFeature& feature, const std::vector<TPlacePolygon>& polygons) {
    feature.Crds.clear();
    feature.Parts.clear();
    feature.Shells.clear();
    for (const TPlacePolygon& polygon : polygons) {
        feature.Shells.push_back(static_cast<std::uint32_t>(feature.Parts.size()));
        for (const TPlaceRing& ring : polygon) {
            feature.Parts.push_back(static_cast<std::uint32_t>(feature.Crds.size()));
            feature.Crds.insert(feature.Crds.end(), ring.begin(), ring.end());
        }
    }
}

namespace {

bool EndsWithIgnoreCase(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && SameTextAscii(s.substr(s.size() - tail.size()), tail);
}

bool IsBlockDirName(const std::string& name) {
    return EndsWithIgnoreCase(name, ".blk") || EndsWithIgnoreCase(name, ".pra");
}

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

// A table's columns as fields: a numeric column without decimals is an integer (an
// element's number in CISLO reads 1, not 1.0), of 64 bits when 9 digits may not hold it.
std::vector<TField> ReadColumns(const std::string& dir, const std::string& tablePath) {
    TTableDBF table;
    table.SetDatabaseName(dir);
    table.SetTableName(tablePath);
    table.OpenTable();
    if (!table.Active()) throw Exception("Tabuľku nemožno otvoriť\r(" + tablePath + ")");
    TFldDefList defs;
    table.GetFields(defs);
    table.Close();
    std::vector<TField> fields;
    for (const TFldDef& d : defs) {
        TFieldType type = TFieldType::String;
        switch (d.FieldType) {
        case TFldType::dbfNumeric:
        case TFldType::dbfFloat:
            type = d.Decimals != 0 ? TFieldType::Real : d.Width <= 9 ? TFieldType::Integer : TFieldType::Integer64;
            break;
        case TFldType::dbfLogical: type = TFieldType::Logical; break;
        case TFldType::dbfDate: type = TFieldType::Date; break;
        default: break;  // characters and the types kept as stored go out as text
        }
        fields.push_back({d.Name, type});
    }
    return fields;
}

// Two types of one column met in two tables: integers and reals make reals, others text.
TFieldType Merged(TFieldType a, TFieldType b) {
    if (a == b) return a;
    auto integer = [](TFieldType t) { return t == TFieldType::Integer || t == TFieldType::Integer64; };
    if (integer(a) && integer(b)) return TFieldType::Integer64;
    const bool numbers = (integer(a) || a == TFieldType::Real) && (integer(b) || b == TFieldType::Real);
    return numbers ? TFieldType::Real : TFieldType::String;
}

std::vector<TField> OwnFields(TBlkElementGroup group, bool unclosed) {
    std::vector<TField> f = {{"block", TFieldType::String},
                             {"number", TFieldType::Integer},
                             {"kind", TFieldType::Integer},
                             {"display_code", TFieldType::Integer}};
    if (group == egPoint || group == egText) f.push_back({"angle", TFieldType::Real});
    if (unclosed) f.push_back({"reason", TFieldType::String});
    return f;
}

// One layer: its definition and the names its joined columns got (a column whose name
// clashes with an own field gets the prefix "attr_").
struct TLayout {
    TLayerDef Def;
    std::size_t Own = 0;                       // the own fields come first
    std::map<std::string, std::string> Joined;  // column -> field name

    void Join(const std::vector<TField>& columns) {
        for (const TField& c : columns) {
            auto it = Joined.find(c.Name);
            if (it == Joined.end()) {
                bool clash = false;
                for (std::size_t i = 0; i < Own; ++i) clash = clash || SameTextAscii(Def.Fields[i].Name, c.Name);
                it = Joined.emplace(c.Name, clash ? "attr_" + c.Name : c.Name).first;
                Def.Fields.push_back({it->second, c.Type});
                continue;
            }
            for (TField& f : Def.Fields)
                if (f.Name == it->second) f.Type = Merged(f.Type, c.Type);
        }
    }
    // Adds a row's values under their fields' names.
    void AddRow(TFeature& f, const TFldValList& row) const {
        for (const TFldVal& v : row) {
            const auto it = Joined.find(v.Name);
            if (it != Joined.end()) f.Values.push_back({it->second, v.Value});
        }
    }
};

TLayout LayoutOf(std::string name, TGeometry geometry, std::vector<TField> own) {
    TLayout l;
    l.Own = own.size();
    l.Def = {std::move(name), geometry, std::move(own)};
    return l;
}

using TKindKey = std::pair<TBlkElementGroup, std::int16_t>;

// What the layout pass learnt of one block: its kinds' tables.
struct TBlockPlan {
    std::string Dir;
    std::map<TKindKey, std::string> Tables;  // the table's path; empty when the kind has none
};

std::string TableName(const std::string& path) { return LowerAscii(ChangeFileExt(ExtractFileName(path), "")); }

}  // namespace

// The block layers, laid out from every block's kinds and tables.
struct TBlockLayerSet::TState {
    explicit TState(const std::vector<std::string>& blockDirs) {
        std::map<TBlkElementGroup, std::set<std::string>> groupTables;
        std::map<std::string, std::vector<TField>> columns;  // by table name, merged over the blocks
        std::map<std::string, TBlkElementGroup> tableGroup;
        for (const std::string& dir : blockDirs) {
            TBlockPlan plan{dir, {}};
            TBlk blk(false);
            blk.Open(dir, TBlkOpenMode::ReadOnly);
            try {
                blk.SetReadCache(true);
            } catch (const EBlkReadError&) {
            }
            std::set<TKindKey> kinds;
            ForEachLive<TBlkLine>(blk, [&](const TBlkLine& l) { kinds.insert({egLine, l.Kind}); });
            ForEachLive<TBlkPoint>(blk, [&](const TBlkPoint& p) { kinds.insert({egPoint, p.Kind}); });
            ForEachLive<TBlkArea>(blk, [&](const TBlkArea& a) { kinds.insert({egArea, a.Kind}); });
            for (const TKindKey& k : kinds) {
                const std::string path = blk.AttributeFileName(k.first, k.second);
                plan.Tables[k] = path;
                if (path.empty()) continue;
                const std::string name = TableName(path);
                groupTables[k.first].insert(name);
                tableGroup.emplace(name, k.first);
                auto& merged = columns[name];
                for (const TField& c : ReadColumns(blk.Path(), path)) {
                    auto same = std::find_if(merged.begin(), merged.end(), [&](const TField& f) { return f.Name == c.Name; });
                    if (same == merged.end()) merged.push_back(c);
                    else same->Type = Merged(same->Type, c.Type);
                }
            }
            FPlans.push_back(std::move(plan));
        }
        FLayouts = {LayoutOf("lines", TGeometry::Line, OwnFields(egLine, false)),
                    LayoutOf("points", TGeometry::Point, OwnFields(egPoint, false)),
                    LayoutOf("texts", TGeometry::Polygon, OwnFields(egText, false)),
                    LayoutOf("areas", TGeometry::Polygon, OwnFields(egArea, false)),
                    LayoutOf("areas_unclosed", TGeometry::Point, OwnFields(egArea, true))};
        FLayerGroup = {egLine, egPoint, egText, egArea, egArea};
        // A group whose elements meet one table joins it in its own layer; one that meets
        // more gets a layer per table.
        for (TBlkElementGroup g : {egLine, egPoint, egArea}) {
            const std::set<std::string>& tables = groupTables[g];
            FJoinsInMain[g] = tables.size() <= 1;
            if (tables.size() != 1) continue;
            const auto& cols = columns[*tables.begin()];
            if (g == egArea) {
                FLayouts[3].Join(cols);
                FLayouts[4].Join(cols);
            } else {
                FLayouts[g == egLine ? 0 : 1].Join(cols);
            }
        }
        for (const auto& [name, group] : tableGroup) {
            if (FJoinsInMain[group]) continue;
            const TGeometry geometry = group == egLine    ? TGeometry::Line
                                       : group == egPoint ? TGeometry::Point
                                                          : TGeometry::Polygon;
            FKindLayer[name] = FLayouts.size();
            FLayerGroup.push_back(group);
            FLayouts.push_back(LayoutOf(name, geometry, OwnFields(group, group == egArea)));
            FLayouts.back().Join(columns[name]);
        }
        for (const TLayout& l : FLayouts) FDefs.push_back(l.Def);
    }

    // Whether an element of a kind goes to a layer of its group: a table's own layer takes
    // the elements of its table's kinds only.
    bool Takes(std::size_t layer, const TBlockPlan& plan, TBlkElementGroup group, std::int16_t kind) const {
        if (layer < 5) return true;
        const auto t = plan.Tables.find({group, kind});
        if (t == plan.Tables.end() || t->second.empty()) return false;
        const auto k = FKindLayer.find(TableName(t->second));
        return k != FKindLayer.end() && k->second == layer;
    }

    std::vector<TBlockPlan> FPlans;
    std::vector<TLayout> FLayouts;
    std::vector<TLayerDef> FDefs;
    std::vector<TBlkElementGroup> FLayerGroup;  // the group of each layer's elements
    std::map<TBlkElementGroup, bool> FJoinsInMain;
    std::map<std::string, std::size_t> FKindLayer;  // a table's own layer by the table's name
};

namespace {

constexpr std::size_t kEveryLayer = static_cast<std::size_t>(-1);

double Val(const TReal48& r) { return static_cast<double>(r.Value()); }

bool Meets(double minX, double minY, double maxX, double maxY, const TWindow& w) {
    return !(maxX < w.MinX || minX > w.MaxX || maxY < w.MinY || minY > w.MaxY);
}
bool Meets(const TBlkRect& r, const TWindow& w) { return Meets(Val(r.MinX), Val(r.MinY), Val(r.MaxX), Val(r.MaxY), w); }

// An area's reach: its stored rectangle with its reference point (where an unclosed one lies).
TWindow AreaReach(const TBlkArea& a) {
    const double x = Val(a.RefX), y = Val(a.RefY);
    return {std::min(Val(a.Rect.MinX), x), std::min(Val(a.Rect.MinY), y), std::max(Val(a.Rect.MaxX), x),
            std::max(Val(a.Rect.MaxY), y)};
}

// The next live record of a group's file (the header record skipped first); false at its end.
template <class Record>
bool NextLive(TBlk& blk, bool& started, Record& rec) {
    using Group = TBlkGroupOf<Record>;
    auto next = [&] {
        if (Group::Eof(blk)) return false;
        Group::ReadNext(blk, rec);
        return true;
    };
    if (!started) {
        started = true;
        if (!next()) return false;  // the header
    }
    while (next())
        if (!Group::Deleted(rec)) return true;
    return false;
}

// One block opened read-only for its elements, group by group, each element's features
// handed to its layers as it is read.
class TBlockReader {
public:
    TBlockReader(const TBlockLayerSet::TState& set, const TBlockPlan& plan) : FSet(set), FPlan(plan) {
        FBlk.Open(plan.Dir, TBlkOpenMode::ReadOnly);
        FBlock = ExtractFileName(ExcludeTrailingDelimiter(FBlk.Path()));
        FSteps = PlaceWalkBudget(FBlk);  // what the boundary walks of the block may take
        try {
            FBlk.SetReadCache(true);
        } catch (const EBlkReadError&) {
            // Read from the files; a damaged record raises where it is read.
        }
    }

    // Reads the next live element of group that meets window and goes to layer (kEveryLayer:
    // any), handing its features to sink; false at the end of the group's file.
    bool Next(TBlkElementGroup group, std::size_t layer, const std::optional<TWindow>& window,
              const TFeatureSink& sink) {
        bool& started = FStarted[group];
        switch (group) {
        case egLine: {
            TBlkLine l;
            while (NextLive(FBlk, started, l)) {
                if ((window && !Meets(l.Rect, *window)) || !Wants(layer, egLine, l.Kind)) continue;
                TFeature f = Own(l.Number, l.Kind);
                f.Values.push_back({"display_code", Int(l.DisplayCode)});
                f.Geometry = TGeometry::Line;
                f.Crds = LinePlace(FBlk, l).Crds;
                Emit(egLine, 0, l.Kind, l.Number, f, false, sink);
                return true;
            }
            return false;
        }
        case egPoint: {
            TBlkPoint p;
            while (NextLive(FBlk, started, p)) {
                if (window && !Meets(Val(p.X), Val(p.Y), Val(p.X), Val(p.Y), *window)) continue;
                if (!Wants(layer, egPoint, p.Kind)) continue;
                TFeature f = Own(p.Number, p.Kind);
                f.Values.push_back({"display_code", Int(p.DisplayCode)});
                // Stored in grads (400 to the full turn).
                f.Values.push_back({"angle", static_cast<double>(p.Angle.Value() * 0.9L)});
                f.Geometry = TGeometry::Point;
                f.Crds = PointPlace(p).Crds;
                Emit(egPoint, 1, p.Kind, p.Number, f, false, sink);
                return true;
            }
            return false;
        }
        case egText: {
            TBlkText t;
            while (NextLive(FBlk, started, t)) {
                if (window && !Meets(t.Rect, *window)) continue;
                TFeature f = Own(t.Number, t.Kind);
                // Stored in radians.
                f.Values.push_back({"angle", static_cast<double>(t.Angle.Value() * 57.29577951308232L)});
                f.Geometry = TGeometry::Polygon;
                f.Crds = TextPlace(t).Crds;
                Emit(egText, 2, t.Kind, t.Number, f, false, sink);
                return true;
            }
            return false;
        }
        case egArea: {
            TBlkArea a;
            while (NextLive(FBlk, started, a)) {
                if (window) {
                    const TWindow r = AreaReach(a);
                    if (!Meets(r.MinX, r.MinY, r.MaxX, r.MaxY, *window)) continue;
                }
                if (!Wants(layer, egArea, a.Kind)) continue;
                TFeature f = Own(a.Number, a.Kind);
                TFindingPlace place = AreaPlace(FBlk, a, true, &FSteps);
                const bool unclosed = place.Shape != TPlaceShape::Area;
                if (unclosed)
                    f.Crds = std::move(place.Crds);
                else
                    SetPolygons(f, place.Polygons);
                if (unclosed) {
                    f.Geometry = TGeometry::Point;
                    f.Values.push_back({"reason", WithoutDirs(place.Reason, FBlock)});
                } else {
                    f.Geometry = TGeometry::Polygon;
                }
                Emit(egArea, unclosed ? 4 : 3, a.Kind, a.Number, f, unclosed, sink);
                return true;
            }
            return false;
        }
        }
        return false;
    }

    TBlk& Blk() { return FBlk; }

private:
    bool Wants(std::size_t layer, TBlkElementGroup group, std::int16_t kind) const {
        return layer == kEveryLayer || FSet.Takes(layer, FPlan, group, kind);
    }

    TFeature Own(std::int32_t number, std::int16_t kind) const {
        TFeature f;
        f.Values = {{"block", FBlock}, {"number", Int(number)}, {"kind", Int(kind)}};
        return f;
    }

    // Hands an element to its group's layer (layer) and, where its group's tables have
    // layers of their own, to its table's layer.
    void Emit(TBlkElementGroup group, std::size_t layer, std::int16_t kind, std::int32_t number, TFeature& f,
              bool unclosed, const TFeatureSink& sink) {
        const TFldValList* row = nullptr;
        std::string path;
        if (group != egText) {
            const auto t = FPlan.Tables.find({group, kind});
            if (t != FPlan.Tables.end()) path = t->second;
        }
        if (!path.empty()) {
            auto it = FRows.find(path);
            if (it == FRows.end()) it = FRows.emplace(path, ReadRows(FBlk.Path(), path)).first;
            const auto r = it->second.find(number);
            if (r != it->second.end()) row = &r->second;
        }
        const bool main = group == egText || FSet.FJoinsInMain.at(group);
        if (!main && !path.empty()) {
            const std::size_t kindLayer = FSet.FKindLayer.at(TableName(path));
            TFeature copy = f;
            if (row) FSet.FLayouts[kindLayer].AddRow(copy, *row);
            // An area whose ring does not close has no polygon: no geometry in its table's layer.
            if (unclosed) {
                copy.Geometry = TGeometry::None;
                copy.Crds.clear();
                copy.Parts.clear();
                copy.Shells.clear();
            }
            sink(kindLayer, copy);
        }
        if (main && row) FSet.FLayouts[layer].AddRow(f, *row);
        sink(layer, f);
    }

    const TBlockLayerSet::TState& FSet;
    const TBlockPlan& FPlan;
    TBlk FBlk{false};
    std::string FBlock;
    std::int64_t FSteps = 0;
    std::map<TBlkElementGroup, bool> FStarted;
    std::map<std::string, TRows> FRows;  // this block's tables, read at their first element
};

}  // namespace

TBlockLayerSet::TBlockLayerSet(const std::vector<std::string>& blockDirs) : F(std::make_unique<TState>(blockDirs)) {}
TBlockLayerSet::~TBlockLayerSet() = default;

const std::vector<TLayerDef>& TBlockLayerSet::Layers() const { return F->FDefs; }

void TBlockLayerSet::Produce(const TFeatureSink& sink) const {
    for (const TBlockPlan& plan : F->FPlans) {
        TBlockReader reader(*F, plan);
        for (TBlkElementGroup g : {egLine, egPoint, egText, egArea})
            while (reader.Next(g, kEveryLayer, std::nullopt, sink)) {
            }
    }
}

TBlockLayerSet::TSummary TBlockLayerSet::Summarize(std::size_t layer, const std::optional<TWindow>& window) const {
    const TBlkElementGroup group = F->FLayerGroup.at(layer);
    std::size_t count = 0;
    std::optional<TWindow> extent;
    auto take = [&](const TWindow& r) {
        if (window && !Meets(r.MinX, r.MinY, r.MaxX, r.MaxY, *window)) return;
        ++count;
        if (!extent) extent = r;
        extent->MinX = std::min(extent->MinX, r.MinX);
        extent->MinY = std::min(extent->MinY, r.MinY);
        extent->MaxX = std::max(extent->MaxX, r.MaxX);
        extent->MaxY = std::max(extent->MaxY, r.MaxY);
    };
    auto rect = [](const TBlkRect& r) { return TWindow{Val(r.MinX), Val(r.MinY), Val(r.MaxX), Val(r.MaxY)}; };
    for (const TBlockPlan& plan : F->FPlans) {
        TBlk blk(false);
        blk.Open(plan.Dir, TBlkOpenMode::ReadOnly);
        bool started = false;
        switch (group) {
        case egLine: {
            TBlkLine l;
            while (NextLive(blk, started, l))
                if (F->Takes(layer, plan, group, l.Kind)) take(rect(l.Rect));
            break;
        }
        case egPoint: {
            TBlkPoint p;
            while (NextLive(blk, started, p))
                if (F->Takes(layer, plan, group, p.Kind)) take({Val(p.X), Val(p.Y), Val(p.X), Val(p.Y)});
            break;
        }
        case egText: {
            TBlkText t;
            while (NextLive(blk, started, t)) take(rect(t.Rect));
            break;
        }
        case egArea: {
            TBlkArea a;
            while (NextLive(blk, started, a))
                if (F->Takes(layer, plan, group, a.Kind)) take(AreaReach(a));
            break;
        }
        }
    }
    // Whether an area's ring closes is known only by walking it.
    const bool counted = layer != 3 && layer != 4;
    return {counted ? std::optional<std::size_t>(count) : std::nullopt, extent};
}

struct TBlockLayerCursor::TReader : TBlockReader {
    using TBlockReader::TBlockReader;
};

TBlockLayerCursor::TBlockLayerCursor(std::shared_ptr<const TBlockLayerSet> set, std::size_t layer)
    : FSet(std::move(set)), FLayer(layer) {}
TBlockLayerCursor::~TBlockLayerCursor() = default;

void TBlockLayerCursor::Reset(const std::optional<TWindow>& window) {
    FWindow = window;
    FBlock = 0;
    FReader.reset();
}

bool TBlockLayerCursor::Next(TFeature& feature) {
    const TBlockLayerSet::TState& set = *FSet->F;
    const TBlkElementGroup group = set.FLayerGroup.at(FLayer);
    bool found = false;
    const TFeatureSink keep = [&](std::size_t layer, const TFeature& f) {
        if (layer != FLayer) return;
        feature = f;
        found = true;
    };
    while (FBlock < set.FPlans.size()) {
        if (!FReader) FReader = std::make_unique<TReader>(set, set.FPlans[FBlock]);
        while (FReader->Next(group, FLayer, FWindow, keep))
            if (found) return true;
        FReader.reset();
        ++FBlock;
    }
    return false;
}

std::string FindingCaption(std::int32_t code) {
    for (const TFindingCode& c : FindingCodes)
        if (c.Code == code) return c.Filter;
    return {};
}

std::vector<TLayerDef> FindingLayerDefs() {
    // The columns of a finding and the measured value with its limit, as the table of
    // finding columns names them.
    std::vector<TField> fields;
    for (TFindingColumn c : kPrintedColumns)
        fields.push_back({ColumnDef(c).Key, ColumnDef(c).Value == TColumnValue::Text      ? TFieldType::String
                                            : ColumnDef(c).Value == TColumnValue::Integer ? TFieldType::Integer
                                                                                          : TFieldType::Real});
    for (const TOutputKey& k : kOutputKeys)
        if (k.Gis) fields.push_back({k.Key, TFieldType::Real});
    std::vector<TLayerDef> layers = {{"findings_line", TGeometry::Line, fields},
                                     {"findings_point", TGeometry::Point, fields},
                                     {"findings_text", TGeometry::Polygon, fields},
                                     {"findings_area", TGeometry::Polygon, fields},
                                     {"findings_area_unclosed", TGeometry::Point, fields},
                                     {"findings_table", TGeometry::None, fields},
                                     {"findings_area_walk", TGeometry::MultiLine, fields}};
    for (std::size_t i : {4, 6}) {
        layers[i].Fields.push_back({"reason", TFieldType::String});
        layers[i].Fields.push_back({"break_reason", TFieldType::String});
    }
    layers[5].Fields.push_back({"table", TFieldType::String});
    layers[6].Fields.push_back({"break_x", TFieldType::Real});
    layers[6].Fields.push_back({"break_y", TFieldType::Real});
    for (TLayerDef& layer : layers) {
        layer.Fields.push_back({"caption", TFieldType::String});
        layer.Fields.push_back({"status", TFieldType::String});
        layer.Fields.push_back({"exception_reason", TFieldType::String});
    }
    return layers;
}

void FindingFeatures(const TFinding& finding, const TFeatureSink& sink, const std::string* exceptionReason) {
    const TErrorRecord& r = finding.Record;
    TFeature f = FeatureOf(finding.Place);
    // The record's columns by their keys; a null column stays null.
    for (TFindingColumn c : kPrintedColumns) {
        const char* key = ColumnDef(c).Key;
        if (ColumnDef(c).Value != TColumnValue::Text) {
            if (const std::optional<std::int32_t> n = ColumnNumber(r, c)) f.Values.push_back({key, Int(*n)});
        } else if (const std::optional<std::string> v = ColumnText(r, c)) {
            f.Values.push_back({key, c == TFindingColumn::Chyba ? WithoutDirs(*v, r.Blok) : *v});
        }
    }
    if (finding.Value) f.Values.push_back({"value", *finding.Value});
    if (finding.Limit) f.Values.push_back({"limit", *finding.Limit});
    f.Values.push_back({"caption", FindingCaption(r.Id)});
    f.Values.push_back({"status", std::string(exceptionReason ? kExcepted : kReported)});
    if (exceptionReason) f.Values.push_back({"exception_reason", *exceptionReason});
    std::size_t layer = 5;
    switch (finding.Place.Shape) {
    case TPlaceShape::Line: layer = 0; break;
    case TPlaceShape::Point: layer = 1; break;
    case TPlaceShape::Text: layer = 2; break;
    case TPlaceShape::Area: layer = 3; break;
    case TPlaceShape::AreaPoint:
        layer = 4;
        f.Values.push_back({"reason", WithoutDirs(finding.Place.Reason, r.Blok)});
        f.Values.push_back({"break_reason", finding.Place.BreakReason});
        if (!finding.Place.Walked.empty()) {
            TFeature walk;
            walk.Values = f.Values;
            walk.Geometry = TGeometry::MultiLine;
            for (const std::vector<TPlaceXY>& line : finding.Place.Walked) {
                walk.Parts.push_back(static_cast<std::uint32_t>(walk.Crds.size()));
                walk.Crds.insert(walk.Crds.end(), line.begin(), line.end());
            }
            if (finding.Place.Break) {
                walk.Values.push_back({"break_x", finding.Place.Break->X});
                walk.Values.push_back({"break_y", finding.Place.Break->Y});
            }
            sink(6, walk);
        }
        break;
    case TPlaceShape::None: f.Values.push_back({"table", finding.Place.Table}); break;
    }
    sink(layer, f);
}

std::vector<TLayer> FindingLayers(const std::vector<TFinding>& findings) {
    std::vector<TLayer> layers;
    for (TLayerDef& def : FindingLayerDefs()) layers.push_back({def.Name, def.Geometry, std::move(def.Fields), {}});
    for (const TFinding& finding : findings)
        FindingFeatures(finding, [&](std::size_t layer, const TFeature& f) { layers[layer].Features.push_back(f); });
    return layers;
}

TLayerStream PlacedFindingLayers(const std::string& mapDir, std::vector<TErrorRecord> records) {
    auto kept = std::make_shared<std::vector<TErrorRecord>>(std::move(records));
    return {FindingLayerDefs(), [mapDir, kept](const TFeatureSink& sink) {
                ForEachPlacedFinding(mapDir, *kept, [&](const TFinding& f) { FindingFeatures(f, sink); });
            }};
}

TLayerStream BlockLayers(const std::vector<std::string>& blockDirs) {
    auto set = std::make_shared<TBlockLayerSet>(blockDirs);
    return {set->Layers(), [set](const TFeatureSink& sink) { set->Produce(sink); }};
}

std::string WithoutDirs(std::string text, const std::string& block) {
    if (block.empty()) return text;
    // Each "/dirs/BLOCK" loses "/dirs/". The path starts at the last '/' before the name
    // that begins the text or follows a blank, a bracket, a comma or a quote, with no
    // bracket, comma or quote between (directories may hold blanks).
    const std::string name = "/" + block;
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
        const std::size_t end = at + name.size();
        if (end < text.size() && std::string("/,) \"'").find(text[end]) == std::string::npos) {
            at = end;  // a longer name
            continue;
        }
        const std::size_t bound = text.find_last_of("(),\"'", at);
        const std::size_t from = bound == std::string::npos ? 0 : bound + 1;
        std::size_t start = std::string::npos;
        for (std::size_t i = from; i <= at; ++i)
            if (text[i] == '/' && (i == from || text[i - 1] == ' ')) start = i;
        if (start == std::string::npos) {
            at = end;
            continue;
        }
        text.erase(start, at + 1 - start);
        at = start + block.size();
    }
    return text;
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
    std::vector<TFinding> findings;
    ForEachPlacedFinding(mapDir, records, [&](const TFinding& f) { findings.push_back(f); });
    return findings;
}

void ForEachPlacedFinding(const std::string& mapDir, const std::vector<TErrorRecord>& records,
                          const std::function<void(const TFinding&)>& body) {
    struct TOpenBlock {
        std::unique_ptr<TBlk> Blk;  // nullptr: the block cannot be opened
        std::int64_t Steps = 0;
    };
    std::map<std::string, TOpenBlock> blocks;
    // "DB %s neexistuje": the missing table's name.
    const std::string missing = findingtext::TableMissing;
    const std::string head = missing.substr(0, missing.find("%s"));
    const std::string tail = missing.substr(missing.find("%s") + 2);

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
        body(f);
    }
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
