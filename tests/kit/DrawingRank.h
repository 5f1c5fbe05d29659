#pragma once
// Where a GIS is to draw a layer, the topmost 0, told by its geometry alone: points over
// texts over lines over areas, tables last (the exports' and the driver's layer order).
#include <ogrsf_frmts.h>

#include <string>

namespace vexa::testkit {

inline int DrawingRank(OGRLayer* layer) {
    const std::string name = layer->GetName();
    switch (wkbFlatten(layer->GetGeomType())) {
    case wkbPoint: return 0;
    case wkbPolygon:
    case wkbMultiPolygon: return name == "texts" || name == "findings_text" ? 1 : 3;
    case wkbLineString:
    case wkbMultiLineString: return 2;
    default: return 4;
    }
}

}  // namespace vexa::testkit
