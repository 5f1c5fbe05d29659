// The GDAL writer, built as the module vexa-gdal.so that the programs load at their
// first export (GdalModule.h): only then do the libraries GDAL brings get loaded.
#include "export/GdalModule.h"
#include "export/FindingFormats.h"
#include "export/GisStyles.h"
#include "export/OgrFeature.h"

#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/MapFiles.h"
#include "common/Text.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <cmath>
#include <ctime>
#include <unordered_map>
#include <filesystem>
#include <memory>
#include <mutex>

namespace vexa::gisexport {

namespace fs = std::filesystem;

namespace {

// The files a Shapefile is made of.
constexpr const char* kShapeParts[] = {".shp", ".shx", ".dbf", ".prj", ".cpg"};

std::string LastError() {
    const char* msg = CPLGetLastErrorMsg();
    return msg && *msg ? std::string(msg) : std::string("GDAL");
}

bool IsBlockDir(const fs::path& dir) {
    const std::string ext = LowerAscii(dir.filename().string());
    return ext.size() > 4 && (ext.ends_with(".blk") || ext.ends_with(".pra"));
}

// The map's own files are never replaced: nothing is written into a block directory,
// and a dBASE table is replaced only as part of a Shapefile written before (its .shp or
// .cpg beside it).
void RefuseMapFiles(const fs::path& target, const std::string& driver) {
    if (IsBlockDir(target.parent_path()))
        throw Exception("Export sa nezapíše do adresára bloku\r(" + target.string() + ")");
    RefuseMapFileOutput("Export", target);
    if (driver != std::string("ESRI Shapefile")) return;
    for (const char* part : kShapeParts) {
        fs::path companion = target;
        RefuseMapFileOutput("Export", companion.replace_extension(part));
    }
    fs::path dbf = target;
    dbf.replace_extension(".dbf");
    std::error_code ec;
    fs::path shp = target, cpg = target;
    cpg.replace_extension(".cpg");
    if (fs::exists(dbf, ec) && !fs::exists(shp, ec) && !fs::exists(cpg, ec))
        throw Exception("Súbor existuje a nie je export\r(" + dbf.string() + ")");
}



// A layer being written: the driver's layer, its definition, its fields' indexes by name.
struct TOpenLayer {
    OGRLayer* Out = nullptr;
    const TLayerDef* Def = nullptr;
    std::unordered_map<std::string, int> Index;
    bool Multi = false;  // a polygon layer written as multipolygons
};

// One dataset written under a temporary name beside its final one.
class TDataset {
public:
    TDataset(const TFindingFormat& format, const fs::path& final) : FFormat(format), FFinal(final) {
        std::string name = ".";
        name += final.stem().string();
        name += ".tmp-";
        name += std::to_string(getpid());
        name += final.extension().string();
        FTemp = final.parent_path() / name;
        Remove(FTemp);
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(format.Driver);
        if (!driver) throw Exception(std::string("GDAL nemá ovládač ") + format.Driver);
        FDs = driver->Create(FTemp.string().c_str(), 0, 0, 0, GDT_Unknown, nullptr);
        if (!FDs) throw Exception("Export nemožno vytvoriť: " + LastError() + "\r(" + final.string() + ")");
    }
    ~TDataset() {
        if (FDs) GDALClose(FDs);
        if (!FDone) Remove(FTemp);
    }
    TDataset(const TDataset&) = delete;
    TDataset& operator=(const TDataset&) = delete;

    // Creates a layer with its fields; its features follow through Put.
    TOpenLayer Create(const TLayerDef& layer, OGRSpatialReference& srs) {
        CPLStringList options;
        if (std::string(FFormat.Driver) == "GeoJSON") {
            options.SetNameValue("RFC7946", "YES");  // WGS 84 longitude/latitude
            options.SetNameValue("COORDINATE_PRECISION", "9");
        } else if (std::string(FFormat.Driver) == "CSV") {
            if (layer.Geometry != TGeometry::None) options.SetNameValue("GEOMETRY", "AS_WKT");
        } else if (std::string(FFormat.Driver) == "ESRI Shapefile") {
            options.SetNameValue("ENCODING", "UTF-8");
        }
        const bool georeferenced = layer.Geometry != TGeometry::None;
        // An area with outer rings apart is a multipolygon; FlatGeobuf takes no other type
        // than the layer's, so its polygon layers hold multipolygons only.
        const bool multi = std::string(FFormat.Driver) == "FlatGeobuf" && layer.Geometry == TGeometry::Polygon;
        OGRLayer* out = FDs->CreateLayer(layer.Name.c_str(), georeferenced ? &srs : nullptr,
                                         multi ? wkbMultiPolygon : WkbOf(layer.Geometry), options.List());
        if (!out) throw Exception("Vrstvu " + layer.Name + " nemožno vytvoriť: " + LastError());
        TOpenLayer open{out, &layer, {}, multi};
        for (const TField& field : layer.Fields) {
            OGRFieldSubType sub;
            OGRFieldDefn defn(field.Name.c_str(), OgrTypeOf(field.Type, sub));
            defn.SetSubType(sub);
            if (out->CreateField(&defn) != OGRERR_NONE)
                throw Exception("Pole " + field.Name + " nemožno vytvoriť: " + LastError());
            open.Index.emplace(field.Name, static_cast<int>(open.Index.size()));
        }
        // The names the driver gave the fields (a Shapefile cuts them to 10 characters).
        if (out->GetLayerDefn()->GetFieldCount() != static_cast<int>(layer.Fields.size()))
            throw Exception("Vrstva " + layer.Name + " nemá všetky polia");
        return open;
    }

    void Begin() {
        if (FDs->TestCapability(ODsCTransactions)) FDs->StartTransaction();
    }
    void End() {
        if (FDs->TestCapability(ODsCTransactions) && FDs->CommitTransaction() != OGRERR_NONE)
            throw Exception("Export nemožno zapísať: " + LastError() + "\r(" + FFinal.string() + ")");
    }

    // Writes one feature at once.
    void Put(const TOpenLayer& layer, const TFeature& f) {
        OGRFeature feature(layer.Out->GetLayerDefn());
        for (const TFldVal& v : f.Values) {
            const auto it = layer.Index.find(v.Name);
            if (it != layer.Index.end())
                SetValue(feature, it->second, layer.Def->Fields[static_cast<std::size_t>(it->second)].Type, v.Value);
        }
        if (layer.Def->Geometry != TGeometry::None)
            if (auto g = GeometryOf(f))
                feature.SetGeometryDirectly(layer.Multi ? OGRGeometryFactory::forceToMultiPolygon(g.release())
                                                        : g.release());
        if (const OGRGeometry* g = feature.GetGeometryRef(); g && !g->IsEmpty()) {
            OGREnvelope e;
            g->getEnvelope(&e);
            FExtent.Merge(e);
        }
        if (layer.Out->CreateFeature(&feature) != OGRERR_NONE)
            throw Exception("Prvok vrstvy " + layer.Def->Name + " nemožno zapísať: " + LastError());
    }

    // A QGIS project named "vexa" in the qgis_projects table, as QGIS itself stores a project
    // in a GeoPackage: the layers of this file (paths relative to it) with their styles, listed
    // with the areas at the bottom, opening on the features' extent. Opening it (the Browser,
    // "Project" > "Open From" > "GeoPackage", or the project at the top of the layers dialog)
    // gives the layers in that order, which adding the file's layers does not (QGIS 3.22
    // lists them by name there).
    void WriteProject(const std::vector<TOpenLayer>& layers, const OGRSpatialReference& srs, const std::string& file) {
        std::vector<TLayerDef> defs;
        for (const TOpenLayer& layer : layers) defs.push_back(*layer.Def);
        std::vector<TProjectLayer> project;
        for (std::size_t i : DrawingOrder(defs))
            project.push_back({defs[i].Name, defs[i].Geometry, "./" + file + "|layername=" + defs[i].Name});
        char* wkt = nullptr;
        const char* options[] = {"FORMAT=WKT2_2019", nullptr};
        srs.exportToWkt(&wkt, options);
        const std::string crsWkt = wkt ? wkt : "";
        CPLFree(wkt);
        const char* name = srs.GetAuthorityName(nullptr);
        const char* code = srs.GetAuthorityCode(nullptr);
        const std::string authId = name && code ? std::string(name) + ":" + code : std::string();
        std::optional<TProjectExtent> extent;
        if (FExtent.IsInit()) extent = TProjectExtent{FExtent.MinX, FExtent.MinY, FExtent.MaxX, FExtent.MaxY};
        const fs::path stem = fs::path(file).stem();
        const std::string qgz =
            StoredZip(stem.string() + ".qgs", QgisProject(stem.string(), project, crsWkt, authId, extent));
        static const char hex[] = "0123456789ABCDEF";
        std::string content;
        content.reserve(qgz.size() * 2);
        for (unsigned char c : qgz) {
            content += hex[c >> 4];
            content += hex[c & 0xF];
        }
        char stamp[32];
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        gmtime_r(&now, &utc);
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
        const std::string metadata =
            std::string("{\"last_modified_time\": \"") + stamp + "\", \"last_modified_user\": \"vexa\" }";
        Sql("CREATE TABLE qgis_projects(name TEXT PRIMARY KEY, metadata BLOB, content BLOB)");
        // Neither holds a quote: the time stamp's digits and the hexadecimal digits.
        Sql("INSERT INTO qgis_projects VALUES ('vexa', '" + metadata + "', '" + content + "')");
    }

    // The QGIS styles of the layers with geometry in the layer_styles table, as QGIS
    // itself saves them in a GeoPackage: QGIS applies them when a layer is added.
    void WriteStyles(const std::vector<TOpenLayer>& layers) {
        CPLStringList options;
        options.SetNameValue("FID", "id");
        OGRLayer* out = FDs->CreateLayer("layer_styles", nullptr, wkbNone, options.List());
        if (!out) throw Exception("Vrstvu layer_styles nemožno vytvoriť: " + LastError());
        const std::pair<const char*, OGRFieldType> fields[] = {
            {"f_table_catalog", OFTString}, {"f_table_schema", OFTString}, {"f_table_name", OFTString},
            {"f_geometry_column", OFTString}, {"styleName", OFTString},     {"styleQML", OFTString},
            {"styleSLD", OFTString},        {"useAsDefault", OFTInteger}, {"description", OFTString},
            {"owner", OFTString},           {"ui", OFTString},            {"update_time", OFTDateTime}};
        for (const auto& [name, type] : fields) {
            OGRFieldDefn defn(name, type);
            if (type == OFTInteger) defn.SetSubType(OFSTBoolean);
            if (out->CreateField(&defn) != OGRERR_NONE)
                throw Exception(std::string("Pole ") + name + " nemožno vytvoriť: " + LastError());
        }
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        gmtime_r(&now, &utc);
        for (const TOpenLayer& layer : layers) {
            const auto style = LayerStyle(layer.Def->Name, layer.Def->Geometry);
            if (!style) continue;
            OGRFeature row(out->GetLayerDefn());
            row.SetField("f_table_catalog", "");
            row.SetField("f_table_schema", "");
            row.SetField("f_table_name", layer.Def->Name.c_str());
            row.SetField("f_geometry_column", layer.Out->GetGeometryColumn());
            row.SetField("styleName", layer.Def->Name.c_str());
            row.SetField("styleQML", style->Qml.c_str());
            row.SetField("styleSLD", style->Sld.c_str());
            row.SetField("useAsDefault", 1);
            row.SetField("description", "Vexa");
            row.SetField("owner", "");
            row.SetField("update_time", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                         static_cast<float>(utc.tm_sec), 100);
            if (out->CreateFeature(&row) != OGRERR_NONE)
                throw Exception("Štýl vrstvy " + layer.Def->Name + " nemožno zapísať: " + LastError());
        }
    }

    // Closes the dataset and puts its files in place of the final ones.
    void Commit() {
        GDALDataset* ds = FDs;
        FDs = nullptr;
        CPLErrorReset();
        GDALClose(ds);
        if (CPLGetLastErrorType() >= CE_Failure) throw Exception("Export nemožno dokončiť: " + LastError());
        std::error_code ec;
        if (std::string(FFormat.Driver) == "ESRI Shapefile") {
            for (const char* part : kShapeParts) {
                fs::path from = FTemp, to = FFinal;
                from.replace_extension(part);
                to.replace_extension(part);
                if (fs::exists(from, ec)) fs::rename(from, to);
            }
        } else {
            fs::rename(FTemp, FFinal);
        }
        FDone = true;
    }

private:
    void Remove(const fs::path& path) {
        std::error_code ec;
        if (std::string(FFormat.Driver) == "ESRI Shapefile") {
            for (const char* part : kShapeParts) {
                fs::path p = path;
                p.replace_extension(part);
                fs::remove(p, ec);
            }
        } else {
            fs::remove(path, ec);
        }
    }
    void Sql(const std::string& statement) {
        CPLErrorReset();
        OGRLayer* result = FDs->ExecuteSQL(statement.c_str(), nullptr, nullptr);
        if (result) FDs->ReleaseResultSet(result);
        if (CPLGetLastErrorType() >= CE_Failure) throw Exception("Projekt QGIS nemožno zapísať: " + LastError());
    }
    const TFindingFormat& FFormat;
    fs::path FFinal, FTemp;
    OGREnvelope FExtent;
    GDALDataset* FDs = nullptr;
    bool FDone = false;
};

void CheckCrs(const std::string& crs) {
    OGRSpatialReference srs;
    CPLPushErrorHandler(CPLQuietErrorHandler);
    const OGRErr err = srs.SetFromUserInput(crs.c_str());
    CPLPopErrorHandler();
    if (err != OGRERR_NONE) throw Exception("Neznámy súradnicový systém: " + crs);
}

// GDAL's messages reach the user through our exceptions (CPLGetLastErrorMsg), not on
// stderr; a Shapefile's shortened field names are expected there.
struct TQuietErrors {
    TQuietErrors() { CPLPushErrorHandler(CPLQuietErrorHandler); }
    ~TQuietErrors() { CPLPopErrorHandler(); }
};

// Layers being written: opened with their definitions, fed one feature at a time, and
// committed (every file renamed into place) at the end; dropped before, they leave nothing.
class TLayersOut {
public:
    TLayersOut(const std::string& path, std::vector<TLayerDef> defs, const std::string& crs)
        : FFormat(GisFormatOf(path)), FTarget(fs::absolute(path)), FDefs(std::move(defs)) {
        static std::once_flag registered;
        std::call_once(registered, [] { GDALAllRegister(); });
        if (FSrs.SetFromUserInput(crs.c_str()) != OGRERR_NONE) throw Exception("Neznámy súradnicový systém: " + crs);
        FSrs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        FLayers.resize(FDefs.size());
        if (FFormat.ManyLayers) {
            RefuseMapFiles(FTarget, FFormat.Driver);
            FFiles.push_back(std::make_unique<TDataset>(FFormat, FTarget));
            // Created in the order a GIS lists them (GDAL lists a GeoPackage's tables in the order
            // they were made): the areas last, under the lines, points and texts.
            for (std::size_t i : DrawingOrder(FDefs)) {
                FLayers[i] = FFiles[0]->Create(FDefs[i], FSrs);
                // The GeoPackage driver makes a layer's table at its first feature otherwise.
                if (std::string(FFormat.Driver) == "GPKG" && FLayers[i].Out->SyncToDisk() != OGRERR_NONE)
                    throw Exception("Vrstvu " + FDefs[i].Name + " nemožno vytvoriť: " + LastError());
            }
            FFiles[0]->Begin();
            return;
        }
        // One file per layer with features, made at the layer's first feature; every name is
        // checked before anything is written.
        for (const TLayerDef& def : FDefs) RefuseMapFiles(FileOf(def), FFormat.Driver);
        FFiles.resize(FDefs.size());
    }

    void Put(std::size_t layer, const TFeature& f) {
        if (FFormat.ManyLayers) {
            FFiles[0]->Put(FLayers.at(layer), f);
            return;
        }
        if (!FFiles.at(layer)) {
            FFiles[layer] = std::make_unique<TDataset>(FFormat, FileOf(FDefs[layer]));
            FLayers[layer] = FFiles[layer]->Create(FDefs[layer], FSrs);
            FFiles[layer]->Begin();
        }
        FFiles[layer]->Put(FLayers[layer], f);
    }

    // The files written (final names), in layer order.
    std::vector<std::string> Commit() {
        std::vector<std::string> written;
        if (FFormat.ManyLayers) {
            if (std::string(FFormat.Driver) == "GPKG") {
                FFiles[0]->WriteStyles(FLayers);
                FFiles[0]->WriteProject(FLayers, FSrs, FTarget.filename().string());
            }
            FFiles[0]->End();
            FFiles[0]->Commit();
            written.push_back(FTarget.string());
            return written;
        }
        for (std::size_t i = 0; i < FDefs.size(); ++i) {
            if (!FFiles[i]) continue;
            FFiles[i]->End();
            FFiles[i]->Commit();
            written.push_back(FileOf(FDefs[i]).string());
        }
        return written;
    }

private:
    fs::path FileOf(const TLayerDef& def) const {
        return FTarget.parent_path() / (FTarget.stem().string() + "_" + def.Name + FFormat.Extension);
    }
    const TFindingFormat& FFormat;
    fs::path FTarget;
    std::vector<TLayerDef> FDefs;
    OGRSpatialReference FSrs;
    std::vector<std::unique_ptr<TDataset>> FFiles;
    std::vector<TOpenLayer> FLayers;
};

void* OpenLayers(const std::string& path, const std::vector<TLayerDef>& layers, const std::string& crs) {
    TQuietErrors quiet;
    return new TLayersOut(path, layers, crs);
}

void PutFeature(void* out, std::size_t layer, const TFeature& feature) {
    TQuietErrors quiet;
    static_cast<TLayersOut*>(out)->Put(layer, feature);
}

std::vector<std::string> CommitLayers(void* out) {
    TQuietErrors quiet;
    return static_cast<TLayersOut*>(out)->Commit();
}

void CloseLayers(void* out) {
    TQuietErrors quiet;
    delete static_cast<TLayersOut*>(out);
}

std::vector<std::string> WriteLayers(const std::string& path, const TLayerStream& stream, const std::string& crs) {
    TQuietErrors quiet;
    TLayersOut out(path, stream.Layers, crs);
    stream.Produce([&](std::size_t layer, const TFeature& f) { out.Put(layer, f); });
    return out.Commit();
}

constexpr TGdalWriter kWriter{kGdalWriterVersion, &WriteLayers, &CheckCrs, &OpenLayers, &PutFeature, &CommitLayers,
                               &CloseLayers};

}  // namespace

}  // namespace vexa::gisexport

extern "C" VEXA_GDAL_EXPORT const vexa::gisexport::TGdalWriter* vexa_gdal_writer() { return &vexa::gisexport::kWriter; }
