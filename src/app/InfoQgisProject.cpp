// vexa-info's --qgis-project option: a QGIS project of a block or a map read through the
// GDAL driver (ogr_Vexa.so): the driver's layers with the export's styles, the findings over
// the map and within each the areas under the lines under points and texts. QGIS finds no
// style of its own for a layer of a directory (its one default style, DIR.qml beside it,
// would go to every layer of the map alike), and lists a source's layers by name when they
// are added; the project gives both.
#include "InfoCommands.h"
#include "common/Json.h"

#include "common/AtomicFile.h"
#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/MapFiles.h"
#include "common/Text.h"
#include "export/GisLayers.h"
#include "export/GisStyles.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

namespace vexa {

namespace {

namespace fs = std::filesystem;
using namespace gisexport;

int Project(const std::string& target, const std::string& file, std::ostream& out) {
    const fs::path path = fs::absolute(file).lexically_normal();
    if (LowerAscii(path.extension().string()) != ".qgs")
        throw Exception("Projekt QGIS musí mať príponu .qgs\r(" + path.string() + ")");
    RefuseMapFileOutput("Projekt QGIS", path);
    const std::string parent = LowerAscii(path.parent_path().filename().string());
    if (parent.ends_with(".blk") || parent.ends_with(".pra"))
        throw Exception("Projekt QGIS sa nezapíše do adresára bloku\r(" + path.string() + ")");
    std::error_code ec;
    // A project a user may have changed in QGIS is never replaced.
    if (fs::exists(fs::symlink_status(path, ec)))
        throw Exception("Súbor už existuje, neprepíše sa\r(" + path.string() + ")\rZmažte ho alebo zadajte iný.");
    if (!fs::is_directory(path.parent_path(), ec))
        throw Exception("Adresár pre projekt neexistuje\r(" + path.parent_path().string() + ")");

    const std::vector<std::string> blocks = ExportBlockDirs(target);
    const auto set = std::make_shared<const TBlockLayerSet>(blocks);
    const std::vector<TLayerDef>& defs = set->Layers();
    // The map's directory as the project names it: relative to the project's folder, so
    // that the two can be moved together.
    const fs::path source = fs::absolute(target).lexically_normal();
    fs::path relative = source.lexically_relative(path.parent_path());
    std::string dir = relative.empty()                   ? source.string()
                      : relative.string().starts_with("..") ? relative.string()
                                                            : "./" + relative.string();
    while (dir.size() > 2 && dir.back() == '/') dir.pop_back();
    if (dir == "./.") dir = ".";
    auto sourceOf = [&](const std::string& layer) { return dir + "|layername=" + layer; };

    std::vector<TProjectLayer> layers;
    // The findings layers as the driver gives them: for a map with an error table or
    // exceptions now.
    const bool isMap = blocks.size() != 1 || !fs::equivalent(blocks.front(), source, ec);
    const bool findings = isMap && (fs::is_regular_file(ResolveIgnoreCase(source, "Chyby.DBF"), ec) ||
                                    fs::is_regular_file(ResolveIgnoreCase(source, "Vynimky.DBF"), ec));
    if (findings) {
        const std::vector<TLayerDef> findingDefs = FindingLayerDefs();
        for (std::size_t i : DrawingOrder(findingDefs))
            layers.push_back({findingDefs[i].Name, findingDefs[i].Geometry, sourceOf(findingDefs[i].Name)});
    }
    std::optional<TProjectExtent> extent;
    for (std::size_t i : DrawingOrder(defs)) {
        layers.push_back({defs[i].Name, defs[i].Geometry, sourceOf(defs[i].Name)});
        if (const auto e = set->Summarize(i).Extent) {
            if (!extent) extent = TProjectExtent{e->MinX, e->MinY, e->MaxX, e->MaxY};
            extent->MinX = std::min(extent->MinX, e->MinX);
            extent->MinY = std::min(extent->MinY, e->MinY);
            extent->MaxX = std::max(extent->MaxX, e->MaxX);
            extent->MaxY = std::max(extent->MaxY, e->MaxY);
        }
    }
    const std::string title = ExtractFileName(ExcludeTrailingDelimiter(source.string()));
    // EPSG:5514 as PROJ defines it, what the driver gives a block of the usual settings.
    constexpr const char* kKrovak = "+proj=krovak +lat_0=49.5 +lon_0=24.8333333333333 +alpha=30.2881397527778 "
                                    "+k=0.9999 +x_0=0 +y_0=0 +ellps=bessel +towgs84=589,76,480,0,0,0,0 +units=m +no_defs";
    const std::string text = QgisProject(title, layers, kKrovak, "EPSG:5514", extent);
    if (!WriteNewFile(path, text, ec))
        throw Exception("Projekt QGIS nemožno zapísať: " + ec.message() + "\r(" + path.string() + ")");
    json::Array names;
    for (const TProjectLayer& l : layers) names.Str(l.Name);
    out << json::Object().Str("project", path.string()).Raw("layers", names.Text()).Text() << '\n';
    return 0;
}

TInfoCommandRegistrar projectCommand(
    {"--qgis-project", "SÚBOR.qgs",
     "projekt QGIS bloku alebo mapy cez ovládač GDAL Vexa (ogr_Vexa.so): jeho vrstvy so štýlmi exportu, "
     "chyby nad mapou, plochy pod líniami, bodmi a textami; existujúci súbor sa neprepíše",
     true, Project});

}  // namespace

}  // namespace vexa
