#pragma once
// The OGR geometry of an exported feature, shared by the export's writer module and the
// GDAL driver, so that both give an element the same shape.
#include "export/GisLayers.h"

#include <ogr_geometry.h>

#include <memory>

namespace vexa::gisexport {

// The OGR type of a layer's geometry.
OGRwkbGeometryType WkbOf(TGeometry g);

// A feature's geometry: a polygon's rings as Parts gives them, grouped into polygons by
// Shells (a MultiPolygon for an area of several parts); nullptr for none.
std::unique_ptr<OGRGeometry> GeometryOf(const TFeature& f);

}  // namespace vexa::gisexport
