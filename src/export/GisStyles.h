#pragma once
// The QGIS styles a GeoPackage export carries in its layer_styles table, so that QGIS
// draws the layers readably when they are added: findings categorized by code (the legend
// names each code with its check's caption, excepted findings muted, the element's number
// as a label from 1:5000 in), areas lightly filled
// under their boundaries (semi-transparent, so lines beneath stay visible), lines, points
// and texts each in the map view's colour.
#include "export/GisLayers.h"

#include <optional>
#include <string>

namespace vexa::gisexport {

struct TLayerStyle {
    std::string Qml;  // QGIS's own style document
    std::string Sld;  // the same as an OGC Styled Layer Descriptor
};

// The style of a layer by its name and geometry; none for a table without geometry.
std::optional<TLayerStyle> LayerStyle(const std::string& layerName, TGeometry geometry);

}  // namespace vexa::gisexport
