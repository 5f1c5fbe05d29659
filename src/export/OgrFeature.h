#pragma once
// An exported feature in OGR's terms (field types, values, geometry), shared by the
// export's writer module and the GDAL driver, so that both give an element the same
// fields and shape.
#include "export/GisLayers.h"

#include <ogr_feature.h>
#include <ogr_geometry.h>

#include <memory>

namespace vexa::gisexport {

// The OGR type (and subtype) of a field.
OGRFieldType OgrTypeOf(TFieldType t, OGRFieldSubType& sub);

// A value into its field: numbers rounded for integer fields, every value as text for text
// fields; a null or a value of another kind leaves the field null.
void SetValue(OGRFeature& feature, int index, TFieldType type, const TValue& v);

// The OGR type of a layer's geometry.
OGRwkbGeometryType WkbOf(TGeometry g);

// A feature's geometry: a polygon's rings as Parts gives them, grouped into polygons by
// Shells (a MultiPolygon for an area of several parts); nullptr for none.
std::unique_ptr<OGRGeometry> GeometryOf(const TFeature& f);

}  // namespace vexa::gisexport
