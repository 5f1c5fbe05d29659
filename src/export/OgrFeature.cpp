#include "export/OgrFeature.h"

#include "common/Text.h"

#include <cmath>

namespace vexa::gisexport {

OGRFieldType OgrTypeOf(TFieldType t, OGRFieldSubType& sub) {
    sub = OFSTNone;
    switch (t) {
    case TFieldType::Integer: return OFTInteger;
    case TFieldType::Integer64: return OFTInteger64;
    case TFieldType::Real: return OFTReal;
    case TFieldType::Date: return OFTDate;
    case TFieldType::Logical: sub = OFSTBoolean; return OFTInteger;
    case TFieldType::String: break;
    }
    return OFTString;
}

namespace {

std::string TextOf(const TValue& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* d = std::get_if<double>(&v)) return FloatToText(*d);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? "T" : "F";
    if (const auto* dt = std::get_if<TDate>(&v)) return Format("%04d-%02d-%02d", dt->Year, dt->Month, dt->Day);
    return {};
}

}  // namespace

void SetValue(OGRFeature& feature, int index, TFieldType type, const TValue& v) {
    if (IsNull(v)) {
        feature.SetFieldNull(index);
        return;
    }
    switch (type) {
    case TFieldType::Integer:
    case TFieldType::Logical:
        if (const auto* d = std::get_if<double>(&v)) feature.SetField(index, static_cast<int>(std::llround(*d)));
        else if (const auto* b = std::get_if<bool>(&v)) feature.SetField(index, *b ? 1 : 0);
        else feature.SetFieldNull(index);
        return;
    case TFieldType::Integer64:
        if (const auto* d = std::get_if<double>(&v); d && std::abs(*d) < 9.2e18)
            feature.SetField(index, static_cast<GIntBig>(std::llround(*d)));
        else feature.SetFieldNull(index);
        return;
    case TFieldType::Real:
        if (const auto* d = std::get_if<double>(&v)) feature.SetField(index, *d);
        else feature.SetFieldNull(index);
        return;
    case TFieldType::Date:
        if (const auto* dt = std::get_if<TDate>(&v)) feature.SetField(index, dt->Year, dt->Month, dt->Day);
        else feature.SetFieldNull(index);
        return;
    case TFieldType::String: feature.SetField(index, TextOf(v).c_str()); return;
    }
}

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
