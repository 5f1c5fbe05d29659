#pragma once
// The outputs of findings in one table: what vexa-check prints (--format) and the
// GIS files written by extension (vexa-check --export, vexa-info --export and the
// error browser's export). The option parsing, the help texts, the error messages
// and the browser's file filter are made from it, and the README's list is tested
// against it. Header only: the GDAL writer module reads it too.
#include "common/Exception.h"
#include "common/Text.h"

#include <filesystem>
#include <string>

namespace vexa::gisexport {

// What writes a format.
enum class TFormatWriter {
    Text,  // one line per finding, fields separated by tabs (FindingLine, run/FindingPrinter.h)
    Json,  // one JSON object per line (vexa-check)
    Csv,   // comma-separated with a header row (vexa-check)
    Gis,   // GIS layers through GDAL/OGR (GisWriter.h), chosen by the file's extension
};

struct TFindingFormat {
    const char* Name;       // the --format value, or the GIS format's name in the file dialog
    const char* Extension;  // GIS: the file's extension, lower case; "" for the printed ones
    TFormatWriter Writer;
    const char* Driver;  // GIS: the OGR driver
    bool ManyLayers;     // GIS: every layer in the one file, else one file per layer
    bool Listed;         // named in the help texts and lists (an alias such as .json is not)
    const char* Note;    // said after the name or extension in the help texts; "" for none
};

// The printed formats first, the default one first of all.
inline constexpr TFindingFormat kFindingFormats[] = {
    {"text", "", TFormatWriter::Text, "", false, true, "predvolený"},
    {"json", "", TFormatWriter::Json, "", false, true, "JSON Lines"},
    {"csv", "", TFormatWriter::Csv, "", false, true, ""},
    {"GeoPackage", ".gpkg", TFormatWriter::Gis, "GPKG", true, true, ""},
    {"GeoJSON", ".geojson", TFormatWriter::Gis, "GeoJSON", false, true, "WGS 84"},
    {"GeoJSON", ".json", TFormatWriter::Gis, "GeoJSON", false, false, ""},
    {"Shapefile", ".shp", TFormatWriter::Gis, "ESRI Shapefile", false, true, ""},
    {"CSV", ".csv", TFormatWriter::Gis, "CSV", false, true, ""},
    {"FlatGeobuf", ".fgb", TFormatWriter::Gis, "FlatGeobuf", false, true, ""},
};

// A printed format by its --format name; nullptr for a name not printed.
inline const TFindingFormat* PrintedFormat(const std::string& name) {
    for (const TFindingFormat& f : kFindingFormats)
        if (f.Writer != TFormatWriter::Gis && name == f.Name) return &f;
    return nullptr;
}

// The names of the printed formats joined by separator, with their notes in
// parentheses when asked: "text|json|csv", "text (predvolený), json (JSON Lines), csv".
inline std::string PrintedFormatNames(const char* separator, bool notes = false) {
    std::string names;
    for (const TFindingFormat& f : kFindingFormats) {
        if (f.Writer == TFormatWriter::Gis || !f.Listed) continue;
        if (!names.empty()) names += separator;
        names += f.Name;
        if (notes && *f.Note) names += std::string(" (") + f.Note + ")";
    }
    return names;
}

// The listed GIS extensions: ".gpkg, .geojson, .shp, .csv, .fgb" (with notes:
// ".geojson (WGS 84)").
inline std::string GisExtensions(bool notes = false) {
    std::string list;
    for (const TFindingFormat& f : kFindingFormats) {
        if (f.Writer != TFormatWriter::Gis || !f.Listed) continue;
        if (!list.empty()) list += ", ";
        list += f.Extension;
        if (notes && *f.Note) list += std::string(" (") + f.Note + ")";
    }
    return list;
}

// The file dialog's filter of the GIS formats: "GeoPackage, GeoJSON, ...|*.gpkg *.geojson ...".
inline std::string GisFileFilter() {
    std::string names, patterns;
    for (const TFindingFormat& f : kFindingFormats) {
        if (f.Writer != TFormatWriter::Gis || !f.Listed) continue;
        names += (names.empty() ? "" : ", ") + std::string(f.Name);
        patterns += (patterns.empty() ? "*" : " *") + std::string(f.Extension);
    }
    return names + "|" + patterns;
}

// The GIS format of a file by its extension; raises for an extension not written.
inline const TFindingFormat& GisFormatOf(const std::string& path) {
    const std::string ext = LowerAscii(std::filesystem::path(path).extension().string());
    for (const TFindingFormat& f : kFindingFormats)
        if (f.Writer == TFormatWriter::Gis && ext == f.Extension) return f;
    throw Exception("Neznámy formát exportu (" + GisExtensions() + ")\r(" + path + ")");
}

}  // namespace vexa::gisexport
