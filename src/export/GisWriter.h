#pragma once
// Writes GIS layers through GDAL/OGR, the format chosen by the file's extension
// (FindingFormats.h): a format of many layers (.gpkg) holds every layer in the one
// file; the others hold one layer per file, each layer with features going to
// STEM_LAYER.EXT beside the named file. CSV carries the geometry as WKT.
// Coordinates are in the coordinate system given (EPSG:5514 by default); GeoJSON
// is written in WGS 84 longitude/latitude as its standard requires (GDAL reprojects).
// Every file is written beside its final name and renamed over it when complete.
// The writing itself is done by the module vexa-gdal.so (GdalModule.h), loaded at the
// first call of WriteLayers or CheckCrs; without it they raise an error naming it.
#include "export/GisLayers.h"
#include "standard/Findings.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vexa::gisexport {

constexpr const char* kDefaultCrs = "EPSG:5514";

// The files written (final names), in layer order.
std::vector<std::string> WriteLayers(const std::string& path, const std::vector<TLayer>& layers,
                                     const std::string& crs = kDefaultCrs);

// Throws when GDAL does not know the coordinate system ("EPSG:5514", WKT, PROJ string).
void CheckCrs(const std::string& crs);

// Loads the writer module now; throws when it is missing or cannot be loaded.
void RequireWriter();

// The sink of a GIS export of findings: keeps each finding as the error table stores
// it, with its place, and writes them all as the finding layers (FindingLayers) when
// asked. The export of vexa-check's run and of the error browser's rows.
class TGisExportSink : public IFindingSink {
public:
    // Refuses a file of an unknown format, an unknown coordinate system and a missing
    // writer module at once, before any finding is made.
    explicit TGisExportSink(std::string path, std::string crs = kDefaultCrs);
    void Add(const TFinding& finding) override { FFindings.Add(finding); }
    bool WantsPlaces() const override { return true; }
    std::size_t Count() const { return FFindings.Findings().size(); }
    // The files written (final names), in layer order.
    std::vector<std::string> Write() const;

private:
    std::string FPath;
    std::string FCrs;
    TFindingList FFindings;
};

}  // namespace vexa::gisexport
