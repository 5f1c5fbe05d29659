#include "run/FindingPrinter.h"

#include "block/Real48.h"
#include "common/Json.h"
#include "common/Text.h"
#include "standard/CheckRunSupport.h"
#include "standard/ErrorTable.h"
#include "standard/FindingColumns.h"

#include <cmath>
#include <optional>
#include <vector>

namespace vexa {

std::string FindingLine(const TErrorRecord& f) {
    // Names may hold any byte: control characters are escaped so that a finding stays one line.
    std::string line;
    for (TFindingColumn c : kTextColumns) {
        if (!line.empty() || c != kTextColumns[0]) line += '\t';
        line += EscapeControlChars(ColumnText(f, c).value_or(""));
    }
    return line;
}

namespace run {

namespace {

// A coordinate as the block stores it: the shortest text of its 6-byte real.
std::string Crd(double value) { return std::isfinite(value) ? Real48Text(value) : std::string("null"); }

std::string OptionalNumber(const std::optional<double>& v) { return v ? json::Number(*v) : std::string("null"); }

// The finding's layer: the block's layer also for an attribute table's finding, whose
// record in the error table leaves it blank.
std::string LayerOf(const TErrorRecord& r) { return r.Vrstva ? *r.Vrstva : checkrun::LayerCode(r.Blok); }

// A CSV field, quoted when it holds a separator, a quote or a line break.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string q = "\"";
    for (char c : text) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

// A key of the JSON lines and CSV columns with what it means, columns first.
struct TKeySaid {
    const char* Key;
    const char* Meaning;
};

std::vector<TKeySaid> KeysSaid() {
    std::vector<TKeySaid> keys;
    for (TFindingColumn c : kPrintedColumns) keys.push_back({ColumnDef(c).Key, ColumnDef(c).Meaning});
    for (const TOutputKey& k : kOutputKeys) keys.push_back({k.Key, k.Meaning});
    return keys;
}

}  // namespace

std::string TextHeader() {
    std::string h;
    for (TFindingColumn c : kTextColumns) h += (h.empty() ? "" : "\t") + std::string(ColumnDef(c).TextHead);
    return h;
}

std::string CsvHeader(const char* separator) {
    std::string h;
    for (TFindingColumn c : kPrintedColumns) h += (h.empty() ? "" : separator) + std::string(ColumnDef(c).Key);
    for (const TOutputKey& k : kOutputKeys)
        if (k.Csv) h += separator + std::string(k.Key);
    return h;
}

std::string OutputKeysSaid() {
    const std::vector<TKeySaid> keys = KeysSaid();
    std::string said;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!*keys[i].Meaning) continue;
        std::size_t last = i;
        while (last + 1 < keys.size() && !*keys[last + 1].Meaning) ++last;
        std::string names = keys[i].Key;
        if (last == i + 1) names += std::string(",") + keys[last].Key;
        if (last > i + 1) names += std::string("..") + keys[last].Key;
        said += (said.empty() ? "" : ", ") + names + "=" + keys[i].Meaning;
    }
    return said;
}

std::string GeometryJson(const TFindingPlace& place) {
    auto ring = [](const std::vector<TPlaceXY>& crds) {
        json::Array a;
        for (const TPlaceXY& c : crds) a.Raw(json::Array().Raw(Crd(c.X)).Raw(Crd(c.Y)).Text());
        return a.Text();
    };
    auto crds = [&] { return ring(place.Crds); };
    auto polygon = [&](const TPlacePolygon& rings) {
        json::Array a;
        for (const TPlaceRing& r : rings) a.Raw(ring(r));
        return a.Text();
    };
    switch (place.Shape) {
    case TPlaceShape::None: break;
    case TPlaceShape::Line: return json::Object().Str("type", "LineString").Raw("coordinates", crds()).Text();
    case TPlaceShape::AreaPoint:
        if (!place.Walked.empty()) {
            json::Array lines;
            for (const std::vector<TPlaceXY>& line : place.Walked) lines.Raw(ring(line));
            return json::Object().Str("type", "MultiLineString").Raw("coordinates", lines.Text()).Text();
        }
        [[fallthrough]];
    case TPlaceShape::Point:
        return json::Object()
            .Str("type", "Point")
            .Raw("coordinates", json::Array().Raw(Crd(place.Anchor.X)).Raw(Crd(place.Anchor.Y)).Text())
            .Text();
    case TPlaceShape::Area:
        if (place.Polygons.size() > 1) {
            json::Array polygons;
            for (const TPlacePolygon& p : place.Polygons) polygons.Raw(polygon(p));
            return json::Object().Str("type", "MultiPolygon").Raw("coordinates", polygons.Text()).Text();
        }
        if (place.Polygons.size() == 1)
            return json::Object().Str("type", "Polygon").Raw("coordinates", polygon(place.Polygons.front())).Text();
        [[fallthrough]];
    case TPlaceShape::Text:
        return json::Object().Str("type", "Polygon").Raw("coordinates", json::Array().Raw(crds()).Text()).Text();
    }
    return "null";
}

std::string FindingJson(const TFinding& f) {
    const TErrorRecord& r = f.Record;
    json::Object o;
    for (TFindingColumn c : kPrintedColumns) {
        const TFindingColumnDef& def = ColumnDef(c);
        if (c == TFindingColumn::Vrstva) {
            o.Str(def.Key, LayerOf(r));
            continue;
        }
        const std::optional<std::string> v = ColumnText(r, c);
        if (!v)
            o.Raw(def.Key, "null");
        else if (def.Value == TColumnValue::Text)
            o.Str(def.Key, *v);
        else
            o.Raw(def.Key, *v);
    }
    if (f.Place.Empty()) {
        o.Raw("bbox", "null").Raw("point", "null");
    } else {
        double x0, y0, x1, y1;
        f.Place.Box(x0, y0, x1, y1);
        o.Raw("bbox", json::Array().Raw(Crd(x0)).Raw(Crd(y0)).Raw(Crd(x1)).Raw(Crd(y1)).Text());
        o.Raw("point", json::Array().Raw(Crd(f.Place.Anchor.X)).Raw(Crd(f.Place.Anchor.Y)).Text());
    }
    o.Raw("geometry", GeometryJson(f.Place));
    if (f.Place.Break)
        o.Raw("break", json::Array().Raw(Crd(f.Place.Break->X)).Raw(Crd(f.Place.Break->Y)).Text())
            .Str("break_reason", f.Place.BreakReason);
    if (!f.Place.Table.empty()) o.Str("table", f.Place.Table);
    if (f.Limit) o.Raw("value", OptionalNumber(f.Value)).Raw("limit", OptionalNumber(f.Limit));
    if (!f.Status.empty()) o.Str("status", f.Status).Str("since", f.Since);
    if (!f.Detail.empty()) o.Str("detail", f.Detail);
    return o.Text();
}

std::string FindingCsv(const TFinding& f) {
    const TErrorRecord& r = f.Record;
    std::string line;
    for (TFindingColumn c : kPrintedColumns) {
        if (c != kPrintedColumns[0]) line += ',';
        const std::string v = c == TFindingColumn::Vrstva ? LayerOf(r) : ColumnText(r, c).value_or("");
        line += ColumnDef(c).Value == TColumnValue::Text ? CsvField(v) : v;
    }
    if (f.Place.Empty()) {
        line += ",,,,,,";
    } else {
        double x0, y0, x1, y1;
        f.Place.Box(x0, y0, x1, y1);
        for (double v : {x0, y0, x1, y1, f.Place.Anchor.X, f.Place.Anchor.Y}) {
            line += ',';
            line += Crd(v);
        }
    }
    line += "," + CsvField(f.Place.Table);
    line += "," + (f.Value ? json::Number(*f.Value) : "") + "," + (f.Limit ? json::Number(*f.Limit) : "");
    return line + "," + f.Status + "," + f.Since + "," + CsvField(f.Detail);
}

std::string Measured(const TFinding& f) {
    if (!f.Limit || !f.Value) return std::string();
    // Millimetres at most, as a length or an area is read by a person.
    const char* unit = f.Record.Prvok == "P" ? " m2" : " m";
    auto said = [](double v) {
        std::string t = Format("%.3f", v);
        while (t.back() == '0') t.pop_back();
        if (t.back() == '.') t.pop_back();
        return t == "-0" ? std::string("0") : t;
    };
    return " (" + said(*f.Value) + unit + ", limit " + said(*f.Limit) + unit + ")";
}

void TFindingPrinter::Add(const TFinding& finding) {
    TFinding f = finding;
    f.Record = TErrorTable::Fit(finding.Record);  // as the error table holds it
    if (FClearProgress) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
    switch (FFormat) {
    case gisexport::TFormatWriter::Text:
        std::fprintf(FOut, "%s%s\n", MessageLines(FindingLine(f.Record)).c_str(), Measured(f).c_str());
        break;
    case gisexport::TFormatWriter::Json: std::fprintf(FOut, "%s\n", FindingJson(f).c_str()); break;
    case gisexport::TFormatWriter::Csv:
        Header();
        std::fprintf(FOut, "%s\n", FindingCsv(f).c_str());
        break;
    case gisexport::TFormatWriter::Gis: break;  // written as files, by the export
    }
}

void TFindingPrinter::Header() {
    if (FHeader) return;
    FHeader = true;
    if (FFormat == gisexport::TFormatWriter::Text) std::fprintf(FOut, "%s\n", TextHeader().c_str());
    if (FFormat == gisexport::TFormatWriter::Csv) std::fprintf(FOut, "%s\n", CsvHeader().c_str());
}

}  // namespace run
}  // namespace vexa
