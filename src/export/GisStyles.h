#pragma once
// The QGIS styles a GeoPackage export carries in its layer_styles table, so that QGIS
// draws the layers readably when they are added: findings categorized by code (the legend
// names each code with its check's caption, excepted findings muted, the element's number
// as a label from 1:5000 in), areas lightly filled
// under their boundaries (semi-transparent, so lines beneath stay visible), lines, points
// and texts each in the map view's colour.
#include "export/GisLayers.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vexa::gisexport {

struct TLayerStyle {
    std::string Qml;  // QGIS's own style document
    std::string Sld;  // the same as an OGC Styled Layer Descriptor
};

// The style of a layer by its name and geometry; none for a table without geometry.
std::optional<TLayerStyle> LayerStyle(const std::string& layerName, TGeometry geometry);

// The layers (indexes into layers) in the order a GIS is to list them, the topmost first:
// points (and the reference points of unclosed areas), texts, lines, areas and the other
// polygon layers, tables without geometry last; in the order given within each of these.
// QGIS draws the top of its layer list last, so areas come under lines under points and texts.
std::vector<std::size_t> DrawingOrder(const std::vector<TLayerDef>& layers);

// One layer of a QGIS project: its name, geometry and data source as QGIS names it
// ("./map.gpkg|layername=lines", a path relative to the project's file).
struct TProjectLayer {
    std::string Name;
    TGeometry Geometry = TGeometry::None;
    std::string Source;
};

// The rectangle a project opens on, in the layers' coordinates.
struct TProjectExtent {
    double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
};

// A QGIS project document (.qgs) of layers in the coordinate system given (its WKT or PROJ
// string "+proj=...", QGIS reads no system by its code alone, and its authority code
// "EPSG:5514"), listed in the
// order given (the topmost first, as DrawingOrder gives it), each with its LayerStyle, paths
// relative to the project, opening on extent when given.
std::string QgisProject(const std::string& title, const std::vector<TProjectLayer>& layers, const std::string& crsWkt,
                        const std::string& crsAuthId, const std::optional<TProjectExtent>& extent);

// A zip archive holding one file, stored uncompressed: the .qgz form of a project, as a
// GeoPackage's qgis_projects table holds it.
std::string StoredZip(const std::string& fileName, const std::string& content);

}  // namespace vexa::gisexport
