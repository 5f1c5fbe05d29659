#pragma once
// The file formats of the GIS export by extension, shared by the writer module and the
// programs (which refuse an unknown extension before they load the module).
#include "common/Exception.h"
#include "common/Text.h"

#include <filesystem>
#include <string>

namespace vexa::gisexport {

struct TFormat {
    const char* Extension;
    const char* Driver;  // the OGR driver
    bool ManyLayers;     // every layer in the one file
};

inline constexpr TFormat kFormats[] = {
    {".gpkg", "GPKG", true},          {".geojson", "GeoJSON", false}, {".json", "GeoJSON", false},
    {".shp", "ESRI Shapefile", false}, {".csv", "CSV", false},        {".fgb", "FlatGeobuf", false},
};

inline const TFormat& FormatOf(const std::string& path) {
    const std::string ext = LowerAscii(std::filesystem::path(path).extension().string());
    for (const TFormat& f : kFormats)
        if (ext == f.Extension) return f;
    throw Exception("Neznámy formát exportu (.gpkg, .geojson, .shp, .csv, .fgb)\r(" + path + ")");
}

}  // namespace vexa::gisexport
