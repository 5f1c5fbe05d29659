#pragma once
// Findings and blocks as GIS layers: features with a geometry and named values handed
// to the writer (GisWriter.h). Findings are gathered in memory; the layers of blocks are
// streamed, each feature written as it is read, so that an export's memory does not grow
// with the number of features. The layers of a block are read through the block store only.
#include "dbase/FieldTypes.h"
#include "standard/Findings.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexa::gisexport {

enum class TGeometry { None, Point, Line, Polygon, MultiLine };

struct TFeature {
    TGeometry Geometry = TGeometry::None;  // None: no geometry for this feature
    std::vector<TPlaceXY> Crds;            // polygon: its closed rings one after another
    // Multi-line: where each line starts in Crds. Polygon: where each ring starts (none:
    // Crds is one ring).
    std::vector<std::uint32_t> Parts;
    // Polygon: the rings (indexes into Parts) that begin a polygon, each an outer ring
    // followed by its holes; none or one: one polygon, more: a multipolygon.
    std::vector<std::uint32_t> Shells;
    TFldValList Values;                    // by field name; a field missing here is null
};

enum class TFieldType { Integer, Real, String, Date, Logical, Integer64 };

struct TField {
    std::string Name;
    TFieldType Type = TFieldType::String;
};

// Values are written by their field's type: a number into an integer field is rounded,
// any value into a string field is written as text.
struct TLayer {
    std::string Name;
    TGeometry Geometry = TGeometry::None;  // of the layer; None for a table without geometry
    std::vector<TField> Fields;            // in order
    std::vector<TFeature> Features;
};

// A layer's name, geometry and fields, its features handed over one at a time.
struct TLayerDef {
    std::string Name;
    TGeometry Geometry = TGeometry::None;
    std::vector<TField> Fields;
};

// Takes one feature of a layer (an index into the stream's layers) and writes it at once.
using TFeatureSink = std::function<void(std::size_t layer, const TFeature& feature)>;

// Layers whose features are produced while they are written: Produce calls the sink
// with every feature, in the order of each layer.
struct TLayerStream {
    std::vector<TLayerDef> Layers;
    std::function<void(const TFeatureSink& sink)> Produce;
};

// A text with the absolute directories before a block's name left out ("/home/x/map/
// LE_00001.blk/" becomes "LE_00001.blk/"): no field of an export holds the machine's paths.
std::string WithoutDirs(std::string text, const std::string& block);

// An area's polygons (outer rings and holes) as the geometry of a polygon feature.
void SetPolygons(TFeature& feature, const std::vector<TPlacePolygon>& polygons);

// The finding layers: findings_line, findings_point, findings_text (the stored
// rectangle), findings_area (the area's polygons), findings_area_unclosed (the reference
// point of an area whose ring does not close, with its reason and a short reason of the
// break), findings_area_walk (the boundary lines the walk of such a ring followed, with
// break_x, break_y where it broke) and findings_table (no geometry; the table's file name).
// Fields block, layer, group, kind, number, code, text, value, limit, caption (the check's
// caption of the code, as the error browser's filter names it), status (kReported; kExcepted
// for an exception of the map, with its exception_reason).
std::vector<TLayer> FindingLayers(const std::vector<TFinding>& findings);
inline constexpr const char* kReported = "reported";
inline constexpr const char* kExcepted = "excepted";
// "duplikátne" for -14; empty for a code of no check.
std::string FindingCaption(std::int32_t code);
// The same layers' definitions, and the features of one finding handed to a sink.
std::vector<TLayerDef> FindingLayerDefs();
// exceptionReason: the finding is one an exception leaves out (status kExcepted, the reason
// in exception_reason).
void FindingFeatures(const TFinding& finding, const TFeatureSink& sink, const std::string* exceptionReason = nullptr);

// The findings of error table rows with their places read from the map's blocks now (the
// table holds no places): the error browser's export. A block that cannot be opened or an
// element that cannot be read leaves its findings without a place; a missing table's
// finding names the table.
std::vector<TFinding> PlaceFindings(const std::string& mapDir, const std::vector<TErrorRecord>& records);
// The same one finding at a time, none kept.
void ForEachPlacedFinding(const std::string& mapDir, const std::vector<TErrorRecord>& records,
                          const std::function<void(const TFinding&)>& body);
// The finding layers of error table rows, each row placed while it is written: the error
// browser's export holds no finding's geometry.
TLayerStream PlacedFindingLayers(const std::string& mapDir, std::vector<TErrorRecord> records);

// An error table row (the seven columns in order) as a record.
TErrorRecord ErrorRecordOf(const TFldValList& values);

// The layers of blocks: lines, points, texts (stored rectangles with their angle in
// degrees), areas (their polygons with holes) and areas_unclosed (reference points with the reason),
// each feature with block, number, kind and display_code and the attribute row of its
// kind's table joined by CISLO. Where elements of one group in the export have more than
// one table, the group's layer holds no attribute columns and each table gets a layer of
// its own named like the table (p0010) with the elements of that kind and their rows.
// Deleted elements are left out. The blocks are opened read-only. The fields are laid out
// first (a pass over the records' kinds and the tables' columns: a numeric column without
// decimals is an integer field); Produce then reads each block once, its tables' rows
// while the block is written.
TLayerStream BlockLayers(const std::vector<std::string>& blockDirs);

// A rectangle of map coordinates.
struct TWindow {
    double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
};

// The block layers of BlockLayers, laid out once and then read whole (Produce, the export)
// or one layer at a time (TBlockLayerCursor, the GDAL driver). Both read each element the
// same way, so the two give the same features.
class TBlockLayerSet {
public:
    // The layout pass over the blocks; raises what the block store raises for a block
    // that cannot be read.
    explicit TBlockLayerSet(const std::vector<std::string>& blockDirs);
    ~TBlockLayerSet();
    TBlockLayerSet(const TBlockLayerSet&) = delete;
    TBlockLayerSet& operator=(const TBlockLayerSet&) = delete;

    const std::vector<TLayerDef>& Layers() const;
    // Every feature of every layer: block by block, in each block lines, points, texts, areas.
    void Produce(const TFeatureSink& sink) const;

    // What the stored records tell of a layer without reading a vertex or a row: the
    // number of its features (nothing for areas and areas_unclosed, whose split needs the
    // boundary walks) and the rectangle of its elements (of both area layers together for
    // either). Elements meeting window only, when given.
    struct TSummary {
        std::optional<std::size_t> Count;
        std::optional<TWindow> Extent;
    };
    TSummary Summarize(std::size_t layer, const std::optional<TWindow>& window = std::nullopt) const;

    struct TState;

private:
    friend class TBlockLayerCursor;
    std::unique_ptr<TState> F;
};

// The features of one layer of a TBlockLayerSet one at a time, block by block, each element
// read when it is asked for (memory does not grow with the blocks). With a window, elements
// whose stored rectangle (a point's position) misses it are left out before their vertices
// or rows are read.
class TBlockLayerCursor {
public:
    TBlockLayerCursor(std::shared_ptr<const TBlockLayerSet> set, std::size_t layer);
    ~TBlockLayerCursor();
    // Starts again from the first block.
    void Reset(const std::optional<TWindow>& window = std::nullopt);
    // The next feature; false at the layer's end. Raises what the block store raises.
    bool Next(TFeature& feature);

private:
    struct TReader;
    std::shared_ptr<const TBlockLayerSet> FSet;
    std::size_t FLayer;
    std::optional<TWindow> FWindow;
    std::size_t FBlock = 0;  // the plan read now
    std::unique_ptr<TReader> FReader;
};

// The block directories to export for a target: the target itself when its name ends in
// ".blk" or ".pra", else the block directories in it (a map), sorted by name.
std::vector<std::string> ExportBlockDirs(const std::string& target);

}  // namespace vexa::gisexport
