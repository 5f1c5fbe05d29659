#include "export/GisStyles.h"

#include <cstdint>
#include <cstdio>

namespace vexa::gisexport {

namespace {

struct TRgba {
    int R, G, B, A = 255;
};

std::string Qgis(TRgba c) {
    return std::to_string(c.R) + "," + std::to_string(c.G) + "," + std::to_string(c.B) + "," + std::to_string(c.A);
}

std::string Hex(TRgba c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.R & 0xFF, c.G & 0xFF, c.B & 0xFF);
    return text;
}

std::string Opt(const std::string& name, const std::string& value) {
    return "<Option type=\"QString\" name=\"" + name + "\" value=\"" + value + "\"/>";
}

// The colours of the map view.
constexpr TRgba kRed{255, 0, 0}, kAreaLine{107, 68, 35}, kAreaFill{241, 230, 207, 150}, kLine{46, 111, 176},
    kPoint{31, 122, 31}, kText{142, 68, 173}, kAreaPoint{192, 112, 0};

enum class TSymbol { Line, Marker, Fill };

struct TLook {
    TSymbol Symbol;
    TRgba Colour;       // line, marker fill or area fill
    TRgba Outline;      // marker and area outline
    double Width;       // mm: the line or the outline
    double Size = 0;    // mm: a marker
    bool Filled = true; // an area filled, or only its outline
    const char* Shape = "circle";
};

std::string QmlOf(const TLook& l) {
    std::string layer;
    const char* type = "line";
    switch (l.Symbol) {
    case TSymbol::Line:
        layer = "<layer class=\"SimpleLine\" enabled=\"1\" locked=\"0\" pass=\"0\"><Option type=\"Map\">" +
                Opt("line_color", Qgis(l.Colour)) + Opt("line_width", std::to_string(l.Width)) +
                Opt("line_width_unit", "MM") + Opt("line_style", "solid") + Opt("capstyle", "round") +
                Opt("joinstyle", "round") + "</Option></layer>";
        break;
    case TSymbol::Marker:
        type = "marker";
        layer = "<layer class=\"SimpleMarker\" enabled=\"1\" locked=\"0\" pass=\"0\"><Option type=\"Map\">" +
                Opt("name", l.Shape) + Opt("color", Qgis(l.Colour)) + Opt("outline_color", Qgis(l.Outline)) +
                Opt("outline_width", std::to_string(l.Width)) + Opt("outline_width_unit", "MM") +
                Opt("size", std::to_string(l.Size)) + Opt("size_unit", "MM") + "</Option></layer>";
        break;
    case TSymbol::Fill:
        type = "fill";
        layer = "<layer class=\"SimpleFill\" enabled=\"1\" locked=\"0\" pass=\"0\"><Option type=\"Map\">" +
                Opt("color", Qgis(l.Colour)) + Opt("style", l.Filled ? "solid" : "no") +
                Opt("outline_color", Qgis(l.Outline)) + Opt("outline_style", "solid") +
                Opt("outline_width", std::to_string(l.Width)) + Opt("outline_width_unit", "MM") +
                "</Option></layer>";
        break;
    }
    return "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
           "<qgis version=\"3.22.0\" styleCategories=\"Symbology\">"
           "<renderer-v2 type=\"singleSymbol\" symbollevels=\"0\" enableorderby=\"0\" forceraster=\"0\"><symbols>"
           "<symbol type=\"" +
           std::string(type) + "\" name=\"0\" alpha=\"1\" clip_to_extent=\"1\" force_rhr=\"0\">" + layer +
           "</symbol></symbols></renderer-v2><blendMode>0</blendMode><featureBlendMode>0</featureBlendMode>"
           "<layerGeometryType>" +
           std::string(l.Symbol == TSymbol::Marker ? "0" : l.Symbol == TSymbol::Line ? "1" : "2") +
           "</layerGeometryType></qgis>\n";
}

std::string SldOf(const std::string& name, const TLook& l) {
    auto css = [](const char* n, const std::string& v) {
        return "<se:SvgParameter name=\"" + std::string(n) + "\">" + v + "</se:SvgParameter>";
    };
    auto stroke = [&](TRgba c, double widthMm) {
        // SLD widths are in pixels: 1 mm about 3.78 pixels at 96 dpi.
        return "<se:Stroke>" + css("stroke", Hex(c)) + css("stroke-width", std::to_string(widthMm * 3.78)) +
               "</se:Stroke>";
    };
    std::string symbolizer;
    switch (l.Symbol) {
    case TSymbol::Line: symbolizer = "<se:LineSymbolizer>" + stroke(l.Colour, l.Width) + "</se:LineSymbolizer>"; break;
    case TSymbol::Marker:
        symbolizer = "<se:PointSymbolizer><se:Graphic><se:Mark><se:WellKnownName>" + std::string(l.Shape) +
                     "</se:WellKnownName><se:Fill>" + css("fill", Hex(l.Colour)) + "</se:Fill>" +
                     stroke(l.Outline, l.Width) + "</se:Mark><se:Size>" + std::to_string(l.Size * 3.78) +
                     "</se:Size></se:Graphic></se:PointSymbolizer>";
        break;
    case TSymbol::Fill:
        symbolizer = "<se:PolygonSymbolizer>" +
                     (l.Filled ? "<se:Fill>" + css("fill", Hex(l.Colour)) +
                                     css("fill-opacity", std::to_string(l.Colour.A / 255.0)) + "</se:Fill>"
                               : std::string()) +
                     stroke(l.Outline, l.Width) + "</se:PolygonSymbolizer>";
        break;
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<StyledLayerDescriptor xmlns=\"http://www.opengis.net/sld\" xmlns:se=\"http://www.opengis.net/se\" "
           "xmlns:ogc=\"http://www.opengis.net/ogc\" version=\"1.1.0\"><NamedLayer><se:Name>" +
           name + "</se:Name><UserStyle><se:Name>" + name + "</se:Name><se:FeatureTypeStyle><se:Rule><se:Name>" +
           name + "</se:Name>" + symbolizer + "</se:Rule></se:FeatureTypeStyle></UserStyle></NamedLayer>"
           "</StyledLayerDescriptor>\n";
}

}  // namespace

std::optional<TLayerStyle> LayerStyle(const std::string& layerName, TGeometry geometry) {
    const bool finding = layerName.starts_with("findings_");
    TLook look{};
    switch (geometry) {
    case TGeometry::None: return std::nullopt;
    case TGeometry::Line:
    case TGeometry::MultiLine: look = {TSymbol::Line, finding ? kRed : kLine, {}, finding ? 0.8 : 0.3}; break;
    case TGeometry::Point:
        if (finding) look = {TSymbol::Marker, kRed, {128, 0, 0}, 0.2, 3.0};
        else if (layerName == "areas_unclosed") look = {TSymbol::Marker, kAreaPoint, kAreaPoint, 0.5, 3.0, true, "cross"};
        else look = {TSymbol::Marker, kPoint, {255, 255, 255}, 0.2, 2.0};
        break;
    case TGeometry::Polygon:
        if (finding) look = {TSymbol::Fill, {255, 0, 0, 40}, kRed, 0.8, 0, true};
        else if (layerName == "texts") look = {TSymbol::Fill, kText, kText, 0.25, 0, false};
        else look = {TSymbol::Fill, kAreaFill, kAreaLine, 0.3, 0, true};  // areas and the tables' layers of areas
        break;
    }
    return TLayerStyle{QmlOf(look), SldOf(layerName, look)};
}

}  // namespace vexa::gisexport
