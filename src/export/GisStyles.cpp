#include "export/GisStyles.h"

#include "standard/FindingKinds.h"

#include <algorithm>
#include <array>
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

namespace {

// Where a layer goes in the drawing order, the topmost 0.
int DrawingRank(const TLayerDef& layer) {
    switch (layer.Geometry) {
    case TGeometry::Point: return 0;
    case TGeometry::Polygon: return layer.Name == "texts" || layer.Name == "findings_text" ? 1 : 3;
    case TGeometry::Line:
    case TGeometry::MultiLine: return 2;
    case TGeometry::None: return 4;
    }
    return 4;
}

const char* GeometryName(TGeometry g) {
    switch (g) {
    case TGeometry::Point: return "Point";
    case TGeometry::Line:
    case TGeometry::MultiLine: return "Line";
    case TGeometry::Polygon: return "Polygon";
    case TGeometry::None: break;
    }
    return "No geometry";
}

const char* WkbName(TGeometry g) {
    switch (g) {
    case TGeometry::Point: return "Point";
    case TGeometry::Line: return "LineString";
    case TGeometry::MultiLine: return "MultiLineString";
    case TGeometry::Polygon: return "Polygon";
    case TGeometry::None: break;
    }
    return "NoGeometry";
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", v);
    return text;
}

// The elements of a style document that a project's layer holds, and whether it labels.
std::string StyleContent(const std::string& qml, bool& labels) {
    const auto open = qml.find("<qgis ");
    const auto from = qml.find('>', open);
    const auto to = qml.rfind("</qgis>");
    if (open == std::string::npos || from == std::string::npos || to == std::string::npos || to < from) return {};
    labels = qml.substr(open, from - open).find("labelsEnabled=\"1\"") != std::string::npos;
    return qml.substr(from + 1, to - from - 1);
}

void Put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::uint32_t Crc32(const std::string& data) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : data) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace

std::vector<std::size_t> DrawingOrder(const std::vector<TLayerDef>& layers) {
    std::vector<std::size_t> order(layers.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return DrawingRank(layers[a]) < DrawingRank(layers[b]); });
    return order;
}

std::string QgisProject(const std::string& title, const std::vector<TProjectLayer>& layers, const std::string& crsWkt,
                        const std::string& crsAuthId, const std::optional<TProjectExtent>& extent) {
    const char* form = crsWkt.starts_with("+") ? "proj4" : "wkt";
    const std::string srs = "<spatialrefsys>" +
                            (crsWkt.empty() ? std::string()
                                            : "<" + std::string(form) + ">" + Escaped(crsWkt) + "</" + form + ">") +
                            (crsAuthId.empty() ? std::string() : "<authid>" + Escaped(crsAuthId) + "</authid>") +
                            "</spatialrefsys>";
    std::string tree, maplayers;
    for (const TProjectLayer& l : layers) {
        // QGIS gives a layer whose id has 10 characters or fewer a new one (not in the tree).
        const std::string name = Escaped(l.Name), id = "vexa_layer_" + name, source = Escaped(l.Source);
        tree += "<layer-tree-layer id=\"" + id + "\" name=\"" + name + "\" source=\"" + source +
                "\" providerKey=\"ogr\" checked=\"Qt::Checked\" expanded=\"1\"><customproperties/></layer-tree-layer>";
        bool labels = false;
        std::string style;
        if (const auto s = LayerStyle(l.Name, l.Geometry)) style = StyleContent(s->Qml, labels);
        maplayers += "<maplayer type=\"vector\" geometry=\"" + std::string(GeometryName(l.Geometry)) + "\" wkbType=\"" +
                     WkbName(l.Geometry) + "\" labelsEnabled=\"" + (labels ? "1" : "0") +
                     "\" autoRefreshEnabled=\"0\" readOnly=\"0\"><id>" + id + "</id><datasource>" + source +
                     "</datasource><layername>" + name + "</layername>" +
                     (l.Geometry == TGeometry::None ? std::string() : "<srs>" + srs + "</srs>") +
                     "<provider encoding=\"UTF-8\">ogr</provider>" + style + "</maplayer>";
    }
    std::string view = "<ProjectViewSettings UseProjectScales=\"0\" rotation=\"0\">";
    if (extent)
        view += "<DefaultViewExtent xmin=\"" + Number(extent->MinX) + "\" ymin=\"" + Number(extent->MinY) + "\" xmax=\"" +
                Number(extent->MaxX) + "\" ymax=\"" + Number(extent->MaxY) + "\">" + srs + "</DefaultViewExtent>";
    view += "</ProjectViewSettings>";
    return "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
           "<qgis projectname=\"" +
           Escaped(title) + "\" version=\"3.22.0\"><homePath path=\"\"/><title>" + Escaped(title) +
           "</title><projectCrs>" + srs + "</projectCrs><layer-tree-group><customproperties/>" + tree +
           "</layer-tree-group><projectlayers>" + maplayers +
           "</projectlayers><properties><Paths><Absolute type=\"bool\">false</Absolute></Paths>"
           "<SpatialRefSys><ProjectionsEnabled type=\"int\">1</ProjectionsEnabled></SpatialRefSys></properties>" +
           view +
           "</qgis>\n";
}

std::string StoredZip(const std::string& fileName, const std::string& content) {
    const std::uint32_t crc = Crc32(content), size = static_cast<std::uint32_t>(content.size());
    const std::uint32_t nameSize = static_cast<std::uint32_t>(fileName.size());
    constexpr std::uint32_t kTime = 0, kDate = (1 << 5) | 1;  // 1980-01-01 00:00: no clock in the archive
    auto header = [&](std::string& out, bool central) {
        Put32(out, central ? 0x02014b50u : 0x04034b50u);
        if (central) Put16(out, 20);  // made by
        Put16(out, 20);               // needed: 2.0
        Put16(out, 0x0800);           // the name in UTF-8
        Put16(out, 0);                // stored
        Put16(out, kTime);
        Put16(out, kDate);
        Put32(out, crc);
        Put32(out, size);
        Put32(out, size);
        Put16(out, nameSize);
        Put16(out, 0);  // extra
        if (central) {
            Put16(out, 0);  // comment
            Put16(out, 0);  // disk
            Put16(out, 0);  // internal attributes
            Put32(out, 0);  // external attributes
            Put32(out, 0);  // offset of the local header
        }
        out += fileName;
    };
    std::string zip;
    header(zip, false);
    zip += content;
    const std::uint32_t directory = static_cast<std::uint32_t>(zip.size());
    header(zip, true);
    const std::uint32_t directorySize = static_cast<std::uint32_t>(zip.size()) - directory;
    Put32(zip, 0x06054b50u);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 1);
    Put16(zip, 1);
    Put32(zip, directorySize);
    Put32(zip, directory);
    Put16(zip, 0);
    return zip;
}

}  // namespace vexa::gisexport
