#pragma once
// The GDAL writer as a module of its own (vexa-gdal.so): a program loads it at its first
// export, so that the many libraries GDAL brings are not loaded at every start. The
// module gives one entry point, vexa_gdal_writer(), with the writer's functions.
#include "export/GisLayers.h"

#include <string>
#include <vector>

#define VEXA_GDAL_EXPORT __attribute__((visibility("default")))

namespace vexa::gisexport {

// The module's file name; it is looked for beside the program (a build tree), then in
// ../lib/vexa from it (an installed program).
inline constexpr const char* kGdalModuleName = "vexa-gdal.so";
inline constexpr const char* kInstalledModuleDir = "../lib/vexa/";
inline constexpr const char* kGdalWriterEntry = "vexa_gdal_writer";

// Changed with TGdalWriter or the layer types it takes: a module of another build is refused.
inline constexpr int kGdalWriterVersion = 3;

struct TGdalWriter {
    int Version;
    // Writes each feature as the stream produces it.
    std::vector<std::string> (*WriteLayers)(const std::string& path, const TLayerStream& layers,
                                            const std::string& crs);
    void (*CheckCrs)(const std::string& crs);
    // Layers written as their features come from outside: opened (every file beside its
    // final name), fed, and committed (renamed into place; the final names returned);
    // closed without a commit they leave nothing. CloseLayers ends every opened writer.
    void* (*OpenLayers)(const std::string& path, const std::vector<TLayerDef>& layers, const std::string& crs);
    void (*PutFeature)(void* writer, std::size_t layer, const TFeature& feature);
    std::vector<std::string> (*CommitLayers)(void* writer);
    void (*CloseLayers)(void* writer);
};

}  // namespace vexa::gisexport

extern "C" VEXA_GDAL_EXPORT const vexa::gisexport::TGdalWriter* vexa_gdal_writer();
