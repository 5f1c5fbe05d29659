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

TFindingExport::TFindingExport(const std::string& path, const std::string& crs) {
    GisFormatOf(path);
    RefuseMapFileOutput("Export", path);
    const TGdalWriter& writer = Writer();
    writer.CheckCrs(crs);
    RequireExportDir(path);
    FWriter = writer.OpenLayers(path, FindingLayerDefs(), crs);
}

TFindingExport::~TFindingExport() {
    if (FWriter) Writer().CloseLayers(FWriter);
}

void TFindingExport::Add(const TFinding& finding) {
    TFinding f = finding;
    f.Record = TErrorTable::Fit(finding.Record);  // as the error table holds it
    const TGdalWriter& writer = Writer();
    FindingFeatures(f, [&](std::size_t layer, const TFeature& feature) { writer.PutFeature(FWriter, layer, feature); });
    ++FCount;
}

void TFindingExport::AddExcepted(const TFinding& finding, const std::string& reason) {
    TFinding f = finding;
    f.Record = TErrorTable::Fit(finding.Record);
    const TGdalWriter& writer = Writer();
    FindingFeatures(
        f, [&](std::size_t layer, const TFeature& feature) { writer.PutFeature(FWriter, layer, feature); }, &reason);
}

std::vector<std::string> TFindingExport::Commit() {
    if (!FWriter) throw Exception("Export je už zapísaný");
    const TGdalWriter& writer = Writer();
    void* out = std::exchange(FWriter, nullptr);
    // Closed also when the commit fails: what was not renamed into place goes.
    struct Closer {
        const TGdalWriter& Writer;
        void* Out;
        ~Closer() { Writer.CloseLayers(Out); }
    } closer{writer, out};
    return writer.CommitLayers(out);
}

std::vector<std::string> ExportFindings(const std::string& path, const std::string& crs,
                                        const std::function<void(IFindingSink& sink)>& produce) {
    TFindingExport exported(path, crs);
    produce(exported);
    return exported.Commit();
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
