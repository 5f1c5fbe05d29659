// vexa-info's --export option: a block, or every block of a map, as GIS layers
// (GDAL/OGR; the format by the file's extension).
#include "InfoCommands.h"
#include "common/Json.h"

#include "export/FindingFormats.h"
#include "export/GisLayers.h"
#include "export/GisWriter.h"

namespace vexa {

namespace {

// Prints each layer with its feature count, then the files written.
int Export(const std::string& target, const std::string& file, std::ostream& out) {
    // --crs as vexa-check takes it: the map's coordinate system, refused before any block is read.
    const std::string crs = InfoExtraValue("--crs").value_or(gisexport::kDefaultCrs);
    gisexport::CheckCrs(crs);
    const gisexport::TLayerStream layers = gisexport::BlockLayers(gisexport::ExportBlockDirs(target));
    std::vector<std::size_t> counts;
    const std::vector<std::string> written = gisexport::WriteLayers(file, layers, crs, &counts);
    for (std::size_t i = 0; i < layers.Layers.size(); ++i)
        out << json::Object().Str("layer", layers.Layers[i].Name).Int("features", static_cast<long long>(counts[i])).Text()
            << '\n';
    json::Array files;
    for (const std::string& f : written) files.Str(f);
    out << json::Object().Raw("files", files.Text()).Text() << '\n';
    return 0;
}

TInfoCommandRegistrar exportCommand(
    {"--export", "SÚBOR",
     "blok (alebo každý blok adresára mapy) ako vrstvy GIS lines, points, texts, areas, "
     "areas_unclosed a jedna na tabuľku atribútov, kde ich skupina má viac, v " + std::string(gisexport::kDefaultCrs) +
         "; prípona SÚBORU volí formát: " + gisexport::GisExtensions(true) + "; --crs SYSTÉM ako pri vexa-check",
     true, Export, {"--crs"}, "[--crs SYSTÉM]"});

}  // namespace

}  // namespace vexa
