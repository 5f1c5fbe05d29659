#pragma once
// Writes GIS layers through GDAL/OGR, the format chosen by the file's extension:
// .gpkg GeoPackage (every layer in the one file), .geojson/.json GeoJSON, .shp
// Shapefile, .csv CSV (geometry as WKT), .fgb FlatGeobuf. These four hold one layer
// per file: each layer with features goes to STEM_LAYER.EXT beside the named file.
// Features are written one at a time as they come, never gathered.
// Coordinates are in the coordinate system given (EPSG:5514 by default); GeoJSON
// is written in WGS 84 longitude/latitude as its standard requires (GDAL reprojects).
// Every file is written beside its final name and renamed over it when complete.
// The writing itself is done by the module vexa-gdal.so (GdalModule.h), loaded at the
// first call of WriteLayers or CheckCrs; without it they raise an error naming it.
#include "export/GisLayers.h"

#include <string>
#include <vector>

namespace vexa::gisexport {

constexpr const char* kDefaultCrs = "EPSG:5514";

// The files written (final names), in layer order. A GeoPackage carries the QGIS style
// of each layer with geometry in its layer_styles table (GisStyles.h).
std::vector<std::string> WriteLayers(const std::string& path, const std::vector<TLayer>& layers,
                                     const std::string& crs = kDefaultCrs);
// The same for layers whose features are produced while they are written; counts, when
// given, gets the number of features of each layer.
std::vector<std::string> WriteLayers(const std::string& path, const TLayerStream& layers,
                                     const std::string& crs = kDefaultCrs, std::vector<std::size_t>* counts = nullptr);

// The OGR driver of a file name by its extension; throws for an extension not written.
std::string DriverOf(const std::string& path);

// Throws when GDAL does not know the coordinate system ("EPSG:5514", WKT, PROJ string).
void CheckCrs(const std::string& crs);

// Loads the writer module now; throws when it is missing or cannot be loaded.
void RequireWriter();

}  // namespace vexa::gisexport
