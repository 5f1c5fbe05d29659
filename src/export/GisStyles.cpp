#include "export/GisStyles.h"

#include "standard/FindingKinds.h"

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

// The symbol layer of a look, and its symbol type.
std::string SymbolLayerOf(const TLook& l, const char*& type) {
    std::string layer;
    type = "line";
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
    return layer;
}

std::string SymbolOf(const TLook& l, const std::string& name) {
    const char* type = "line";
    const std::string layer = SymbolLayerOf(l, type);
    return "<symbol type=\"" + std::string(type) + "\" name=\"" + name +
           "\" alpha=\"1\" clip_to_extent=\"1\" force_rhr=\"0\">" + layer + "</symbol>";
}

std::string GeometryTypeOf(const TLook& l) {
    return l.Symbol == TSymbol::Marker ? "0" : l.Symbol == TSymbol::Line ? "1" : "2";
}

std::string QmlOf(const TLook& l) {
    return "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
           "<qgis version=\"3.22.0\" styleCategories=\"Symbology\">"
           "<renderer-v2 type=\"singleSymbol\" symbollevels=\"0\" enableorderby=\"0\" forceraster=\"0\"><symbols>" +
           SymbolOf(l, "0") +
           "</symbols></renderer-v2><blendMode>0</blendMode><featureBlendMode>0</featureBlendMode>"
           "<layerGeometryType>" +
           GeometryTypeOf(l) + "</layerGeometryType></qgis>\n";
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// Distinct colours of the codes of one group, in the order of the group's codes.
constexpr TRgba kCodeColours[] = {{228, 26, 28},  {255, 127, 0}, {152, 78, 163}, {166, 86, 40},
                                  {247, 129, 191}, {77, 175, 74}, {55, 126, 184}, {0, 0, 0}};
constexpr TRgba kExceptedColour{140, 140, 140, 150};

// A findings layer: categorized by code (an excepted finding in a muted category of its
// own), each code's legend entry with the check's caption, labelled with the element's
// number from 1:5000 in.
std::string FindingsQml(const TLook& base, char letter) {
    std::string categories, symbols;
    int index = 0;
    auto add = [&](const std::string& value, const std::string& label, TLook look) {
        const std::string name = std::to_string(index++);
        categories += "<category render=\"true\" symbol=\"" + name + "\" value=\"" + Escaped(value) + "\" label=\"" +
                      Escaped(label) + "\"/>";
        symbols += SymbolOf(look, name);
    };
    std::size_t colour = 0;
    for (const TFindingCode& c : FindingCodes) {
        if (c.Letter != letter) continue;
        TLook look = base;
        const TRgba tint = kCodeColours[colour++ % std::size(kCodeColours)];
        if (look.Symbol == TSymbol::Fill) look.Colour = {tint.R, tint.G, tint.B, 40};
        else look.Colour = tint;
        look.Outline = look.Symbol == TSymbol::Marker ? TRgba{80, 0, 0} : tint;
        add(std::to_string(c.Code), std::to_string(c.Code) + " " + c.Filter, look);
    }
    TLook muted = base;
    muted.Colour = muted.Symbol == TSymbol::Fill ? TRgba{140, 140, 140, 30} : kExceptedColour;
    muted.Outline = kExceptedColour;
    muted.Width = base.Width / 2;
    if (muted.Size > 0) muted.Size = base.Size * 0.7;
    add("excepted", "výnimky (nie je chyba)", muted);
    const std::string attr = Escaped("CASE WHEN \"status\" = 'excepted' THEN 'excepted' ELSE to_string(\"code\") END");
    const std::string labeling =
        "<labeling type=\"simple\"><settings calloutType=\"simple\">"
        "<text-style fieldName=\"number\" isExpression=\"0\" fontFamily=\"Sans Serif\" fontSize=\"8\" "
        "fontSizeUnit=\"Point\" fontWeight=\"75\" textColor=\"128,0,0,255\" textOpacity=\"1\">"
        "<text-buffer bufferDraw=\"1\" bufferSize=\"0.7\" bufferSizeUnits=\"MM\" bufferColor=\"255,255,255,255\" "
        "bufferOpacity=\"1\"/></text-style>"
        "<placement placement=\"" +
        std::string(base.Symbol == TSymbol::Marker ? "6" : base.Symbol == TSymbol::Line ? "2" : "1") +
        "\" dist=\"1\" distUnits=\"MM\"/>"
        "<rendering drawLabels=\"1\" scaleVisibility=\"1\" scaleMin=\"0\" scaleMax=\"5000\" obstacle=\"1\"/>"
        "</settings></labeling>";
    return "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
           "<qgis version=\"3.22.0\" styleCategories=\"Symbology|Labeling\" labelsEnabled=\"1\">"
           "<renderer-v2 type=\"categorizedSymbol\" attr=\"" +
           attr + "\" symbollevels=\"0\" enableorderby=\"0\" forceraster=\"0\"><categories>" + categories +
           "</categories><symbols>" + symbols + "</symbols></renderer-v2>" + labeling +
           "<blendMode>0</blendMode><featureBlendMode>0</featureBlendMode><layerGeometryType>" + GeometryTypeOf(base) +
           "</layerGeometryType></qgis>\n";
}

// The group letter of a findings layer's findings; 0 for the table findings.
char LetterOf(const std::string& layerName) {
    if (layerName == "findings_line") return 'L';
    if (layerName == "findings_point") return 'B';
    if (layerName == "findings_text") return 'T';
    if (layerName.starts_with("findings_area")) return 'P';
    return 0;
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
    if (finding) return TLayerStyle{FindingsQml(look, LetterOf(layerName)), SldOf(layerName, look)};
    return TLayerStyle{QmlOf(look), SldOf(layerName, look)};
}

}  // namespace vexa::gisexport
