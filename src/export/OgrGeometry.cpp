#include "export/OgrGeometry.h"

namespace vexa::gisexport {

OGRwkbGeometryType WkbOf(TGeometry g) {
    switch (g) {
    case TGeometry::Point: return wkbPoint;
    case TGeometry::Line: return wkbLineString;
    case TGeometry::Polygon: return wkbPolygon;
    case TGeometry::MultiLine: return wkbMultiLineString;
    case TGeometry::None: break;
    }
    return wkbNone;
}

std::unique_ptr<OGRGeometry> GeometryOf(const TFeature& f) {
    switch (f.Geometry) {
    case TGeometry::Point:
        if (f.Crds.empty()) return nullptr;
        return std::make_unique<OGRPoint>(f.Crds[0].X, f.Crds[0].Y);
    case TGeometry::Line: {
        auto line = std::make_unique<OGRLineString>();
        for (const TPlaceXY& c : f.Crds) line->addPoint(c.X, c.Y);
        return line;
    }
    case TGeometry::Polygon: {
        // The rings as Parts gives them (one ring without), grouped into polygons by Shells.
        const std::size_t rings = f.Parts.empty() ? 1 : f.Parts.size();
        auto ring = [&](std::size_t r) {
            const std::size_t begin = f.Parts.empty() ? 0 : f.Parts[r];
            const std::size_t end = r + 1 < f.Parts.size() ? f.Parts[r + 1] : f.Crds.size();
            auto out = new OGRLinearRing();
            for (std::size_t i = begin; i < end && i < f.Crds.size(); ++i) out->addPoint(f.Crds[i].X, f.Crds[i].Y);
            return out;
        };
        auto polygon = [&](std::size_t first, std::size_t last) {
            auto out = std::make_unique<OGRPolygon>();
            for (std::size_t r = first; r < last; ++r) out->addRingDirectly(ring(r));
            return out;
        };
        if (f.Shells.size() <= 1) return polygon(0, rings);
        auto polygons = std::make_unique<OGRMultiPolygon>();
        for (std::size_t k = 0; k < f.Shells.size(); ++k) {
            const std::size_t last = k + 1 < f.Shells.size() ? f.Shells[k + 1] : rings;
            polygons->addGeometryDirectly(polygon(f.Shells[k], last).release());
        }
        return polygons;
    }
    case TGeometry::MultiLine: {
        auto lines = std::make_unique<OGRMultiLineString>();
        for (std::size_t part = 0; part < f.Parts.size(); ++part) {
            const std::size_t end = part + 1 < f.Parts.size() ? f.Parts[part + 1] : f.Crds.size();
            auto line = std::make_unique<OGRLineString>();
            for (std::size_t i = f.Parts[part]; i < end && i < f.Crds.size(); ++i) line->addPoint(f.Crds[i].X, f.Crds[i].Y);
            lines->addGeometryDirectly(line.release());
        }
        return lines;
    }
    case TGeometry::None: break;
    }
    return nullptr;
}

}  // namespace vexa::gisexport
