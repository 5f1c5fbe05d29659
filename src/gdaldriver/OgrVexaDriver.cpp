// The GDAL vector driver "Vexa", a plugin (ogr_Vexa.so) that GDAL loads from its plugin
// folder or from GDAL_DRIVER_PATH: a block directory opens as the layers of
// vexa-info --export, a map directory as the same layers over all its blocks with the
// findings of its Chyby.DBF (and the exceptions of its Vynimky.DBF) beside them.
// Read-only: blocks are opened through the block store's read-only mode, nothing is
// written. Features are read one element at a time when GDAL asks for them.
#include "export/GisLayers.h"
#include "export/GisStyles.h"
#include "export/OgrFeature.h"

#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"
#include "review/Exceptions.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexa::gdaldriver {

namespace fs = std::filesystem;
using namespace vexa::gisexport;

namespace {

constexpr const char* kDriverName = "Vexa";
constexpr const char* kPrefix = "VEXA:";
constexpr const char* kErrorTableName = "Chyby.DBF";

bool IsBlockDirName(const std::string& name) {
    const std::string lower = LowerAscii(name);
    return lower.size() > 4 && (lower.ends_with(".blk") || lower.ends_with(".pra"));
}

// What a name opens: a block directory, a map directory (one holding block directories),
// a block's line file tn.lin (what a file dialog can pick), each also after "VEXA:".
enum class TTarget { None, Block, Map };

struct TOpenTarget {
    TTarget Kind = TTarget::None;
    std::string Dir;
};

TOpenTarget TargetOf(const std::string& name) {
    std::string path = name;
    if (STARTS_WITH_CI(path.c_str(), kPrefix)) path = path.substr(std::char_traits<char>::length(kPrefix));
    if (path.empty()) return {};
    std::error_code ec;
    fs::path p(path);
    if (!fs::is_directory(p, ec)) {
        if (SameTextAscii(p.filename().string(), "tn.lin") && fs::is_regular_file(p, ec) &&
            IsBlockDirName(p.parent_path().filename().string()))
            return {TTarget::Block, p.parent_path().string()};
        return {};
    }
    const std::string dirName = ExtractFileName(ExcludeTrailingDelimiter(path));
    if (IsBlockDirName(dirName)) return {TTarget::Block, path};
    for (const auto& entry : fs::directory_iterator(p, ec))
        if (IsBlockDirName(entry.path().filename().string()) && entry.is_directory(ec)) return {TTarget::Map, path};
    return {};
}

std::string Trim(const std::string& s) {
    const auto from = s.find_first_not_of(" \t");
    if (from == std::string::npos) return {};
    return s.substr(from, s.find_last_not_of(" \t") + 1 - from);
}

std::string Message(const std::exception& e) {
    std::string text = e.what();
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}




// Where a layer's features come from: the block layers' cursor or findings held in memory.
class TSource {
public:
    virtual ~TSource() = default;
    virtual void Reset(const std::optional<TWindow>& window) = 0;
    virtual bool Next(TFeature& f) = 0;
    virtual TBlockLayerSet::TSummary Summarize(const std::optional<TWindow>& window) = 0;
};

class TBlockSource : public TSource {
public:
    TBlockSource(std::shared_ptr<const TBlockLayerSet> set, std::size_t layer)
        : FSet(set), FLayer(layer), FCursor(std::move(set), layer) {}
    void Reset(const std::optional<TWindow>& window) override { FCursor.Reset(window); }
    bool Next(TFeature& f) override { return FCursor.Next(f); }
    TBlockLayerSet::TSummary Summarize(const std::optional<TWindow>& window) override {
        return FSet->Summarize(FLayer, window);
    }

private:
    std::shared_ptr<const TBlockLayerSet> FSet;
    std::size_t FLayer;
    TBlockLayerCursor FCursor;
};

// The features of the findings layers, made on the first read of any of them.
struct TFindingStore {
    std::string MapDir;
    std::vector<TErrorRecord> Reported;
    std::vector<review::TReviewException> Excepted;
    std::optional<std::vector<std::vector<TFeature>>> Layers;

    const std::vector<TFeature>& Layer(std::size_t layer);
};

const std::vector<TFeature>& TFindingStore::Layer(std::size_t layer) {
    if (!Layers) {
        std::vector<std::vector<TFeature>> layers(FindingLayerDefs().size());
        // An exception's features carry its status and reason.
        auto add = [&](const std::vector<TErrorRecord>& records, const std::vector<std::string>* reasons) {
            std::size_t i = 0;
            ForEachPlacedFinding(MapDir, records, [&](const TFinding& finding) {
                const std::size_t at = i++;
                FindingFeatures(
                    finding, [&](std::size_t l, const TFeature& f) { layers[l].push_back(f); },
                    reasons ? &reasons->at(at) : nullptr);
            });
        };
        add(Reported, nullptr);
        std::vector<TErrorRecord> records;
        std::vector<std::string> reasons;
        for (const review::TReviewException& e : Excepted) {
            TErrorRecord r;
            r.Id = e.Code;
            r.Blok = e.Block;
            r.Vrstva = e.Layer;
            r.Prvok = e.Group;
            r.Druh = e.Kind;
            r.Cislo = e.Number;
            r.Chyba = e.Text;
            records.push_back(std::move(r));
            reasons.push_back(e.Reason);
        }
        add(records, &reasons);
        Layers = std::move(layers);
    }
    return Layers->at(layer);
}

class TFindingSource : public TSource {
public:
    TFindingSource(std::shared_ptr<TFindingStore> store, std::size_t layer) : FStore(std::move(store)), FLayer(layer) {}
    void Reset(const std::optional<TWindow>&) override { FAt = 0; }
    bool Next(TFeature& f) override {
        const std::vector<TFeature>& features = FStore->Layer(FLayer);
        if (FAt >= features.size()) return false;
        f = features[FAt++];
        return true;
    }
    TBlockLayerSet::TSummary Summarize(const std::optional<TWindow>& window) override {
        if (window) return {};
        return {FStore->Layer(FLayer).size(), std::nullopt};
    }

private:
    std::shared_ptr<TFindingStore> FStore;
    std::size_t FLayer;
    std::size_t FAt = 0;
};

class TVexaLayer final : public OGRLayer {
public:
    TVexaLayer(const TLayerDef& def, std::unique_ptr<TSource> source, OGRSpatialReference* srs)
        : FDef(def), FSource(std::move(source)) {
        FDefn = new OGRFeatureDefn(def.Name.c_str());
        FDefn->Reference();
        FDefn->SetGeomType(WkbOf(def.Geometry));
        if (def.Geometry != TGeometry::None && srs) FDefn->GetGeomFieldDefn(0)->SetSpatialRef(srs);
        for (const TField& field : def.Fields) {
            OGRFieldSubType sub;
            OGRFieldDefn defn(field.Name.c_str(), OgrTypeOf(field.Type, sub));
            defn.SetSubType(sub);
            FDefn->AddFieldDefn(&defn);
        }
        SetDescription(FDefn->GetName());
        FSource->Reset(std::nullopt);
    }
    ~TVexaLayer() override { FDefn->Release(); }

    OGRFeatureDefn* GetLayerDefn() override { return FDefn; }

    void ResetReading() override {
        FNextFid = 1;
        FFailed = false;
        try {
            FSource->Reset(Window());
        } catch (const std::exception& e) {
            Fail(e);
        }
    }

    OGRFeature* GetNextFeature() override {
        while (!FFailed) {
            TFeature f;
            try {
                if (!FSource->Next(f)) return nullptr;
            } catch (const std::exception& e) {
                Fail(e);
                return nullptr;
            }
            auto feature = std::make_unique<OGRFeature>(FDefn);
            feature->SetFID(FNextFid++);
            for (const TFldVal& v : f.Values) {
                const int index = FDefn->GetFieldIndex(v.Name.c_str());
                if (index >= 0) SetValue(*feature, index, FDef.Fields[static_cast<std::size_t>(index)].Type, v.Value);
            }
            if (FDef.Geometry != TGeometry::None)
                if (OGRGeometry* g = GeometryOf(f).release()) {
                    g->assignSpatialReference(FDefn->GetGeomFieldDefn(0)->GetSpatialRef());
                    feature->SetGeometryDirectly(g);
                }
            if ((m_poFilterGeom == nullptr || FilterGeometry(feature->GetGeometryRef())) &&
                (m_poAttrQuery == nullptr || m_poAttrQuery->Evaluate(feature.get())))
                return feature.release();
        }
        return nullptr;
    }

    GIntBig GetFeatureCount(int force) override {
        if (m_poAttrQuery == nullptr && m_poFilterGeom == nullptr) {
            try {
                if (const auto count = FSource->Summarize(std::nullopt).Count) return static_cast<GIntBig>(*count);
            } catch (const std::exception& e) {
                Fail(e);
                return -1;
            }
        }
        return OGRLayer::GetFeatureCount(force);
    }

    OGRErr GetExtent(OGREnvelope* extent, int force) override {
        if (FDef.Geometry == TGeometry::None) return OGRERR_FAILURE;
        try {
            if (const auto e = FSource->Summarize(std::nullopt).Extent) {
                extent->MinX = e->MinX;
                extent->MinY = e->MinY;
                extent->MaxX = e->MaxX;
                extent->MaxY = e->MaxY;
                return OGRERR_NONE;
            }
        } catch (const std::exception& e) {
            Fail(e);
            return OGRERR_FAILURE;
        }
        return OGRLayer::GetExtent(extent, force);
    }
    OGRErr GetExtent(int geomField, OGREnvelope* extent, int force) override {
        if (geomField == 0) return GetExtent(extent, force);
        return OGRLayer::GetExtent(geomField, extent, force);
    }

    int TestCapability(const char* cap) override {
        if (EQUAL(cap, OLCStringsAsUTF8)) return TRUE;
        if (EQUAL(cap, OLCFastGetExtent)) return FDef.Geometry != TGeometry::None;
        if (EQUAL(cap, OLCFastFeatureCount)) {
            if (m_poAttrQuery != nullptr || m_poFilterGeom != nullptr) return FALSE;
            return FDef.Name != "areas" && FDef.Name != "areas_unclosed";
        }
        return FALSE;
    }

private:
    std::optional<TWindow> Window() const {
        if (m_poFilterGeom == nullptr) return std::nullopt;
        return TWindow{m_sFilterEnvelope.MinX, m_sFilterEnvelope.MinY, m_sFilterEnvelope.MaxX, m_sFilterEnvelope.MaxY};
    }
    void Fail(const std::exception& e) {
        FFailed = true;
        CPLError(CE_Failure, CPLE_AppDefined, "%s: %s", FDef.Name.c_str(), Message(e).c_str());
    }

    TLayerDef FDef;
    std::unique_ptr<TSource> FSource;
    OGRFeatureDefn* FDefn = nullptr;
    GIntBig FNextFid = 1;
    bool FFailed = false;
};

// The coordinate system of a block's settings (info.txt): SOURADNYSYSTEM=JTSK, or no such
// line, is S-JTSK / Krovak East North (EPSG:5514, as the export writes); another one is
// unknown (a warning, no system).
std::optional<std::string> CrsOfBlock(const std::string& blockDir, std::string& other) {
    const fs::path info = ResolveIgnoreCase(fs::path(blockDir), "info.txt");
    std::ifstream in(info);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        const auto eq = line.find('=');
        if (eq == std::string::npos || !SameTextAscii(Trim(line.substr(0, eq)), "SOURADNYSYSTEM")) continue;
        const std::string value = Trim(line.substr(eq + 1));
        if (SameTextAscii(value, "JTSK") || value.empty()) return std::string("EPSG:5514");
        other = value;
        return std::nullopt;
    }
    return std::string("EPSG:5514");
}

std::vector<TErrorRecord> ReadErrorTable(const fs::path& path) {
    std::vector<TErrorRecord> records;
    TTableDBF table;
    table.SetDatabaseName(path.parent_path().string());
    table.SetTableName(path.filename().string());
    table.OpenTable();
    if (!table.Active()) throw Exception("Tabuľku chýb nemožno otvoriť\r(" + path.string() + ")");
    for (table.First(); !table.Eof(); table.Next()) {
        TFldValList values;
        table.GetValues(values);
        records.push_back(ErrorRecordOf(values));
    }
    table.Close();
    return records;
}

class TVexaDataset final : public GDALDataset {
public:
    int GetLayerCount() override { return static_cast<int>(FLayers.size()); }
    OGRLayer* GetLayer(int i) override {
        return i >= 0 && i < GetLayerCount() ? FLayers[static_cast<std::size_t>(i)].get() : nullptr;
    }
    int TestCapability(const char*) override { return FALSE; }

    static GDALDataset* Open(GDALOpenInfo* info);

private:
    std::vector<std::unique_ptr<TVexaLayer>> FLayers;
    OGRSpatialReference* FSrs = nullptr;

public:
    ~TVexaDataset() override {
        FLayers.clear();
        if (FSrs) FSrs->Release();
    }
};

// What a name opens; nothing when the directory cannot be listed.
TOpenTarget SafeTargetOf(const char* name) {
    try {
        return TargetOf(name);
    } catch (const std::exception&) {
        return {};
    }
}

int Identify(GDALOpenInfo* info) {
    if (!(info->nOpenFlags & GDAL_OF_VECTOR)) return FALSE;
    return SafeTargetOf(info->pszFilename).Kind != TTarget::None;
}

GDALDataset* TVexaDataset::Open(GDALOpenInfo* info) {
    if (!(info->nOpenFlags & GDAL_OF_VECTOR)) return nullptr;
    const TOpenTarget target = SafeTargetOf(info->pszFilename);
    if (target.Kind == TTarget::None) return nullptr;
    if (info->eAccess == GA_Update) {
        CPLError(CE_Failure, CPLE_NotSupported, "Ovládač Vexa bloky iba číta (%s)", info->pszFilename);
        return nullptr;
    }
    try {
        const std::vector<std::string> blocks = ExportBlockDirs(target.Dir);
        auto ds = std::make_unique<TVexaDataset>();
        ds->SetDescription(info->pszFilename);

        std::string crs;
        if (const char* given = CSLFetchNameValue(info->papszOpenOptions, "CRS")) {
            crs = given;
        } else {
            std::string other;
            if (auto c = CrsOfBlock(blocks.front(), other))
                crs = *c;
            else
                CPLError(CE_Warning, CPLE_AppDefined, "Neznámy súradnicový systém bloku: %s (voľba CRS ho určí)",
                         other.c_str());
        }
        if (!crs.empty()) {
            ds->FSrs = new OGRSpatialReference();
            if (ds->FSrs->SetFromUserInput(crs.c_str()) != OGRERR_NONE) {
                CPLError(CE_Failure, CPLE_AppDefined, "Neznámy súradnicový systém: %s", crs.c_str());
                return nullptr;
            }
            ds->FSrs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        }

        // The layers in the order a GIS lists them (GisStyles.h): the findings over the map,
        // within each the areas last.
        auto set = std::make_shared<const TBlockLayerSet>(blocks);
        const std::vector<TLayerDef>& defs = set->Layers();
        std::vector<std::unique_ptr<TVexaLayer>> mapLayers;
        for (std::size_t i : DrawingOrder(defs))
            mapLayers.push_back(
                std::make_unique<TVexaLayer>(defs[i], std::make_unique<TBlockSource>(set, i), ds->FSrs));

        const bool findings = CPLFetchBool(info->papszOpenOptions, "FINDINGS", true);
        if (target.Kind == TTarget::Map && findings) {
            std::error_code ec;
            const fs::path table = ResolveIgnoreCase(fs::path(target.Dir), kErrorTableName);
            auto store = std::make_shared<TFindingStore>();
            store->MapDir = target.Dir;
            if (fs::is_regular_file(table, ec)) store->Reported = ReadErrorTable(table);
            if (CPLFetchBool(info->papszOpenOptions, "EXCEPTIONS", true)) {
                try {
                    store->Excepted = review::LoadExceptions(target.Dir);
                } catch (const std::exception& e) {
                    CPLError(CE_Warning, CPLE_AppDefined, "%s", Message(e).c_str());
                }
            }
            if (!store->Reported.empty() || !store->Excepted.empty()) {
                const std::vector<TLayerDef> findingDefs = FindingLayerDefs();
                for (std::size_t i : DrawingOrder(findingDefs))
                    ds->FLayers.push_back(std::make_unique<TVexaLayer>(
                        findingDefs[i], std::make_unique<TFindingSource>(store, i), ds->FSrs));
            }
        }
        for (auto& layer : mapLayers) ds->FLayers.push_back(std::move(layer));
        return ds.release();
    } catch (const std::exception& e) {
        CPLError(CE_Failure, CPLE_OpenFailed, "%s", Message(e).c_str());
        return nullptr;
    }
}

}  // namespace

}  // namespace vexa::gdaldriver

// The driver's registration (the entry point of a gdal_Vexa.so, too).
extern "C" __attribute__((visibility("default"))) void GDALRegister_Vexa() {
    using namespace vexa::gdaldriver;
    if (!GDAL_CHECK_VERSION("Vexa")) return;
    GDALDriverManager* manager = GetGDALDriverManager();
    if (manager->GetDriverByName(kDriverName) != nullptr) return;
    auto* driver = new GDALDriver();
    driver->SetDescription(kDriverName);
    driver->SetMetadataItem(GDAL_DCAP_VECTOR, "YES");
    driver->SetMetadataItem(GDAL_DMD_LONGNAME, "Vexa: bloky a chyby lesníckej mapy (len čítanie)");
    driver->SetMetadataItem(GDAL_DMD_CONNECTION_PREFIX, kPrefix);
    driver->SetMetadataItem(GDAL_DMD_OPENOPTIONLIST,
                            "<OpenOptionList>"
                            "<Option name='CRS' type='string' description='súradnicový systém vrstiev (EPSG:5514, "
                            "WKT, PROJ), inak podľa info.txt bloku'/>"
                            "<Option name='FINDINGS' type='boolean' default='YES' description='pri mape aj vrstvy "
                            "chýb z Chyby.DBF'/>"
                            "<Option name='EXCEPTIONS' type='boolean' default='YES' description='pri mape aj výnimky "
                            "z Vynimky.DBF (status excepted)'/>"
                            "</OpenOptionList>");
    driver->pfnIdentify = Identify;
    driver->pfnOpen = TVexaDataset::Open;
    manager->RegisterDriver(driver);
    // A block directory holds dBASE tables, which the Shapefile driver would open as a
    // directory of tables before a plugin is asked: it is registered again after this
    // driver, so that only what this driver does not identify reaches it.
    if (GDALDriver* shape = manager->GetDriverByName("ESRI Shapefile")) {
        manager->DeregisterDriver(shape);
        manager->RegisterDriver(shape);
    }
}

// The name GDAL looks for in a plugin called ogr_NAME.so.
extern "C" __attribute__((visibility("default"))) void RegisterOGRVexa() { GDALRegister_Vexa(); }
