// The GDAL driver on any file set: a block opened alone and as the one block of a map (with
// an error table), every layer read to its end, counted and bounded, and read again through
// a window and a where clause. GDAL errors are fine; a crash, a leak or a hang is not.
#include "FuzzInput.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" void GDALRegister_Vexa();

namespace {

const std::vector<std::string> kNames = {"tn.crd",   "tn.lin",    "tn.are",    "tn.pnt",    "tn.tbx",    "tn.ttx",
                                         "info.txt", "p0001.dbf", "l0001.dbf", "b0001.dbf", "Chyby.DBF", "Vynimky.DBF"};

void ReadAll(GDALDataset* ds) {
    for (int i = 0; i < ds->GetLayerCount(); ++i) {
        OGRLayer* layer = ds->GetLayer(i);
        for (int pass = 0; pass < 3; ++pass) {
            if (pass == 1) layer->SetSpatialFilterRect(-512200, -1210400, -512000, -1210200);
            if (pass == 2) {
                layer->SetSpatialFilter(nullptr);
                layer->SetAttributeFilter("number > 2");
            }
            layer->ResetReading();
            for (int n = 0; n < 2000; ++n) {
                OGRFeature* f = layer->GetNextFeature();
                if (!f) break;
                OGRFeature::DestroyFeature(f);
            }
            layer->GetFeatureCount(TRUE);
            OGREnvelope env;
            layer->GetExtent(&env, TRUE);
        }
        layer->SetAttributeFilter(nullptr);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // GDAL's own drivers and this one, linked in; no plugin folder is searched.
    setenv("GDAL_DRIVER_PATH", "disable", 1);
    CPLSetErrorHandler(CPLQuietErrorHandler);
    GDALAllRegister();
    GDALRegister_Vexa();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto files = vexafuzz::SplitFiles(data, size, kNames);
    const auto map = vexafuzz::Scratch("map");
    const auto block = map / "LE_1.blk";
    std::filesystem::create_directories(block);
    for (const auto& [name, bytes] : files) {
        const bool ofMap = name == "Chyby.DBF" || name == "Vynimky.DBF";
        vexafuzz::WriteFile((ofMap ? map : block) / name, bytes);
    }
    const char* const vexaOnly[] = {"Vexa", nullptr};
    for (const auto& target : {block, map}) {
        GDALDataset* ds = static_cast<GDALDataset*>(
            GDALOpenEx(target.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, vexaOnly, nullptr, nullptr));
        if (!ds) continue;
        ReadAll(ds);
        GDALClose(ds);
    }
    return 0;
}
