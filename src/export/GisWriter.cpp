// The writer's functions in the programs: the GDAL writer module (GdalModule.h) is
// loaded at the first call that needs it and stays loaded.
#include "export/GisWriter.h"

#include "common/MapFiles.h"

#include "standard/ErrorTable.h"

#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/Text.h"
#include "export/GdalModule.h"
#include "export/FindingFormats.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <utility>

namespace vexa::gisexport {

namespace {

namespace fs = std::filesystem;

const TGdalWriter& Writer() {
    static std::mutex mutex;
    static const TGdalWriter* writer = nullptr;
    const std::lock_guard lock(mutex);
    if (writer) return *writer;
    const std::string dir = ProgramDir();
    const std::string places[] = {dir + kGdalModuleName,
                                  (fs::path(dir) / kInstalledModuleDir / kGdalModuleName).lexically_normal().string()};
    std::string looked;
    for (const std::string& path : places) {
        std::error_code ec;
        if (!fs::exists(path, ec)) {
            looked += "\r(" + path + ")";
            continue;
        }
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char* why = dlerror();
            throw Exception(std::string("Modul exportu GIS sa nedá načítať: ") + (why ? why : "?") + "\r(" + path + ")");
        }
        using TEntry = const TGdalWriter* (*)();
        const auto entry = reinterpret_cast<TEntry>(dlsym(library, kGdalWriterEntry));
        const TGdalWriter* found = entry ? entry() : nullptr;
        if (!found || found->Version != kGdalWriterVersion) {
            dlclose(library);
            throw Exception("Modul exportu GIS nepatrí k tejto verzii programu\r(" + path + ")");
        }
        writer = found;  // never unloaded: GDAL keeps its drivers for the life of the process
        return *writer;
    }
    throw Exception(std::string("Export do GIS nie je k dispozícii: chýba modul ") + kGdalModuleName + looked);
}

}  // namespace

void CheckCrs(const std::string& crs) { Writer().CheckCrs(crs); }

void RequireWriter() { Writer(); }

void RequireExportDir(const std::string& path) {
    const std::filesystem::path dir = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (dir.empty() || std::filesystem::is_directory(dir, ec)) return;
    throw Exception("Adresár pre export neexistuje\r(" + EscapeControlChars(dir.string()) +
                    ")\rVytvorte ho alebo zadajte súbor v existujúcom adresári.");
}

void TGisExportSink::Add(const TFinding& finding) {
    TFinding f = finding;
    f.Record = TErrorTable::Fit(finding.Record);  // as the error table holds it
    FindingFeatures(f, FSink);
    ++FCount;
}

void TGisExportSink::AddExcepted(const TFinding& finding, const std::string& reason) {
    TFinding f = finding;
    f.Record = TErrorTable::Fit(finding.Record);
    FindingFeatures(f, FSink, &reason);
}

std::vector<std::string> ExportFindings(const std::string& path, const std::string& crs,
                                        const std::function<void(IFindingSink& sink)>& produce) {
    GisFormatOf(path);
    RefuseMapFileOutput("Export", path);
    CheckCrs(crs);
    const TLayerStream layers{FindingLayerDefs(), [&](const TFeatureSink& features) {
                                  TGisExportSink sink(features);
                                  produce(sink);
                              }};
    return WriteLayers(path, layers, crs);
}

std::vector<std::string> WriteLayers(const std::string& path, const std::vector<TLayer>& layers,
                                     const std::string& crs) {
    RequireExportDir(path);
    TLayerStream stream;
    RefuseMapFileOutput("Export", path);
    for (const TLayer& l : layers) stream.Layers.push_back({l.Name, l.Geometry, l.Fields});
    stream.Produce = [&layers](const TFeatureSink& sink) {
        for (std::size_t i = 0; i < layers.size(); ++i)
            for (const TFeature& f : layers[i].Features) sink(i, f);
    };
    return Writer().WriteLayers(path, stream, crs);
}

std::vector<std::string> WriteLayers(const std::string& path, const TLayerStream& layers, const std::string& crs,
                                     std::vector<std::size_t>* counts) {
    RequireExportDir(path);
    RefuseMapFileOutput("Export", path);
    if (!counts) return Writer().WriteLayers(path, layers, crs);
    counts->assign(layers.Layers.size(), 0);
    TLayerStream counted{layers.Layers, [&](const TFeatureSink& sink) {
                             layers.Produce([&](std::size_t layer, const TFeature& f) {
                                 ++(*counts)[layer];
                                 sink(layer, f);
                             });
                         }};
    return Writer().WriteLayers(path, counted, crs);
}

}  // namespace vexa::gisexport
