#pragma once
// Writes GIS layers through GDAL/OGR, the format chosen by the file's extension
// (FindingFormats.h): a format of many layers (.gpkg) holds every layer in the one
// file; the others hold one layer per file, each layer with features going to
// STEM_LAYER.EXT beside the named file. CSV carries the geometry as WKT.
// Features are written one at a time as they come, never gathered.
// Coordinates are in the coordinate system given (EPSG:5514 by default); GeoJSON
// is written in WGS 84 longitude/latitude as its standard requires (GDAL reprojects).
// Every file is written beside its final name and renamed over it when complete.
// The writing itself is done by the module vexa-gdal.so (GdalModule.h), loaded at the
// first call of WriteLayers or CheckCrs; without it they raise an error naming it.
#include "export/GisLayers.h"
#include "standard/Findings.h"

#include <cstddef>
#include <functional>
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

// Throws when GDAL does not know the coordinate system ("EPSG:5514", WKT, PROJ string).
void CheckCrs(const std::string& crs);

// Loads the writer module now; throws when it is missing or cannot be loaded.
// Raises vexa::Exception naming the directory, and what to do, when the directory the
// file is to go into does not exist (before any block is read).
void RequireExportDir(const std::string& path);
void RequireWriter();

// An export of findings: opened before they come (an unknown format or coordinate
// system, a missing writer module and a file that cannot be created are refused then),
// each finding's features written as it comes (as the error table holds the finding), none
// held, and the files committed at the end: written beside their final names and renamed
// over them by Commit. Destroyed without a commit (a run that failed) it leaves nothing.
// A check run's outputs and the error browser export through it.
class TFindingExport : public IFindingSink {
public:
    TFindingExport(const std::string& path, const std::string& crs = kDefaultCrs);
    ~TFindingExport() override;
    TFindingExport(const TFindingExport&) = delete;
    TFindingExport& operator=(const TFindingExport&) = delete;

    void Add(const TFinding& finding) override;
    // Exceptions go out too, with their status and reason (drawn muted by the styles).
    void AddExcepted(const TFinding& finding, const std::string& reason) override;
    bool WantsPlaces() const override { return true; }
    std::size_t Count() const { return FCount; }
    // The files written (final names), in layer order. Once only.
    std::vector<std::string> Commit();

private:
    void* FWriter = nullptr;
    std::size_t FCount = 0;
};

// Writes into path the findings that produce hands to the sink it is given (the browser's
// rows): a TFindingExport committed after produce. The files written, in layer order.
std::vector<std::string> ExportFindings(const std::string& path, const std::string& crs,
                                        const std::function<void(IFindingSink& sink)>& produce);

}  // namespace vexa::gisexport
