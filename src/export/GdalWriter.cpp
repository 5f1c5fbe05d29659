// The GDAL writer, built as the module vexa-gdal.so that the programs load at their
// first export (GdalModule.h): only then do the libraries GDAL brings get loaded.
#include "export/GdalModule.h"
#include "export/FindingFormats.h"

#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/Text.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <cmath>
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
    if (driver != std::string("ESRI Shapefile")) return;
    fs::path dbf = target;
    dbf.replace_extension(".dbf");
    std::error_code ec;
    fs::path shp = target, cpg = target;
    cpg.replace_extension(".cpg");
    if (fs::exists(dbf, ec) && !fs::exists(shp, ec) && !fs::exists(cpg, ec))
        throw Exception("Súbor existuje a nie je export\r(" + dbf.string() + ")");
}

OGRwkbGeometryType WkbOf(TGeometry g) {
    switch (g) {
    case TGeometry::Point: return wkbPoint;
    case TGeometry::Line: return wkbLineString;
    case TGeometry::Polygon: return wkbPolygon;
    case TGeometry::None: break;
    }
    return wkbNone;
}

std::unique_ptr<OGRGeometry> GeometryOf(const TFeature& f) {
    switch (f.Geometry) {
    case TGeometry::Point:
        if (f.Crds.empty()) return nullptr;
        return std::make_unique<OGRPoint>(f.Crds[0].X, f.Crds[0].Y);
    case TGeometry::Line: {
        auto line = std::make_unique<OGRLineString>();
        for (const TPlaceXY& c : f.Crds) line->addPoint(c.X, c.Y);
        return line;
    }
    case TGeometry::Polygon: {
        auto ring = std::make_unique<OGRLinearRing>();
        for (const TPlaceXY& c : f.Crds) ring->addPoint(c.X, c.Y);
        auto polygon = std::make_unique<OGRPolygon>();
        polygon->addRingDirectly(ring.release());
        return polygon;
    }
    case TGeometry::None: break;
    }
    return nullptr;
}

OGRFieldType OgrTypeOf(TFieldType t, OGRFieldSubType& sub) {
    sub = OFSTNone;
    switch (t) {
    case TFieldType::Integer: return OFTInteger;
    case TFieldType::Real: return OFTReal;
    case TFieldType::Date: return OFTDate;
    case TFieldType::Logical: sub = OFSTBoolean; return OFTInteger;
    case TFieldType::String: break;
    }
    return OFTString;
}

std::string TextOf(const TValue& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* d = std::get_if<double>(&v)) return FloatToText(*d);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? "T" : "F";
    if (const auto* dt = std::get_if<TDate>(&v)) return Format("%04d-%02d-%02d", dt->Year, dt->Month, dt->Day);
    return {};
}

void SetValue(OGRFeature& feature, int index, TFieldType type, const TValue& v) {
    if (IsNull(v)) {
        feature.SetFieldNull(index);
        return;
    }
    switch (type) {
    case TFieldType::Integer:
    case TFieldType::Logical:
        if (const auto* d = std::get_if<double>(&v)) feature.SetField(index, static_cast<int>(std::llround(*d)));
        else if (const auto* b = std::get_if<bool>(&v)) feature.SetField(index, *b ? 1 : 0);
        else feature.SetFieldNull(index);
        return;
    case TFieldType::Real:
        if (const auto* d = std::get_if<double>(&v)) feature.SetField(index, *d);
        else feature.SetFieldNull(index);
        return;
    case TFieldType::Date:
        if (const auto* dt = std::get_if<TDate>(&v)) feature.SetField(index, dt->Year, dt->Month, dt->Day);
        else feature.SetFieldNull(index);
        return;
    case TFieldType::String: feature.SetField(index, TextOf(v).c_str()); return;
    }
}

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

    void Write(const TLayer& layer, OGRSpatialReference& srs) {
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
        OGRLayer* out = FDs->CreateLayer(layer.Name.c_str(), georeferenced ? &srs : nullptr, WkbOf(layer.Geometry),
                                         options.List());
        if (!out) throw Exception("Vrstvu " + layer.Name + " nemožno vytvoriť: " + LastError());
        for (const TField& field : layer.Fields) {
            OGRFieldSubType sub;
            OGRFieldDefn defn(field.Name.c_str(), OgrTypeOf(field.Type, sub));
            defn.SetSubType(sub);
            if (out->CreateField(&defn) != OGRERR_NONE)
                throw Exception("Pole " + field.Name + " nemožno vytvoriť: " + LastError());
        }
        // The names the driver gave the fields (a Shapefile cuts them to 10 characters).
        const OGRFeatureDefn* defn = out->GetLayerDefn();
        if (defn->GetFieldCount() != static_cast<int>(layer.Fields.size()))
            throw Exception("Vrstva " + layer.Name + " nemá všetky polia");
        if (FDs->TestCapability(ODsCTransactions)) FDs->StartTransaction();
        for (const TFeature& f : layer.Features) {
            OGRFeature feature(out->GetLayerDefn());
            for (const TFldVal& v : f.Values) {
                for (std::size_t i = 0; i < layer.Fields.size(); ++i) {
                    if (layer.Fields[i].Name != v.Name) continue;
                    SetValue(feature, static_cast<int>(i), layer.Fields[i].Type, v.Value);
                    break;
                }
            }
            if (layer.Geometry != TGeometry::None) {
                if (auto g = GeometryOf(f)) feature.SetGeometryDirectly(g.release());
            }
            if (out->CreateFeature(&feature) != OGRERR_NONE)
                throw Exception("Prvok vrstvy " + layer.Name + " nemožno zapísať: " + LastError());
        }
        if (FDs->TestCapability(ODsCTransactions) && FDs->CommitTransaction() != OGRERR_NONE)
            throw Exception("Vrstvu " + layer.Name + " nemožno zapísať: " + LastError());
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
    const TFindingFormat& FFormat;
    fs::path FFinal, FTemp;
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

std::vector<std::string> WriteLayers(const std::string& path, const std::vector<TLayer>& layers,
                                     const std::string& crs) {
    static std::once_flag registered;
    std::call_once(registered, [] { GDALAllRegister(); });
    const TFindingFormat& format = GisFormatOf(path);
    const fs::path target = fs::absolute(path);
    // GDAL's messages reach the user through our exceptions (CPLGetLastErrorMsg), not on
    // stderr; a Shapefile's shortened field names are expected there.
    struct TQuietErrors {
        TQuietErrors() { CPLPushErrorHandler(CPLQuietErrorHandler); }
        ~TQuietErrors() { CPLPopErrorHandler(); }
    } quiet;

    OGRSpatialReference srs;
    if (srs.SetFromUserInput(crs.c_str()) != OGRERR_NONE)
        throw Exception("Neznámy súradnicový systém: " + crs);
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);

    std::vector<std::string> written;
    if (format.ManyLayers) {
        RefuseMapFiles(target, format.Driver);
        TDataset ds(format, target);
        for (const TLayer& layer : layers) ds.Write(layer, srs);
        ds.Commit();
        written.push_back(target.string());
        return written;
    }
    // One file per layer with features.
    for (const TLayer& layer : layers) {
        if (layer.Features.empty()) continue;
        const fs::path file = target.parent_path() / (target.stem().string() + "_" + layer.Name + format.Extension);
        RefuseMapFiles(file, format.Driver);
    }
    for (const TLayer& layer : layers) {
        if (layer.Features.empty()) continue;
        const fs::path file = target.parent_path() / (target.stem().string() + "_" + layer.Name + format.Extension);
        TDataset ds(format, file);
        ds.Write(layer, srs);
        ds.Commit();
        written.push_back(file.string());
    }
    return written;
}

constexpr TGdalWriter kWriter{kGdalWriterVersion, &WriteLayers, &CheckCrs};

}  // namespace

}  // namespace vexa::gisexport

extern "C" VEXA_GDAL_EXPORT const vexa::gisexport::TGdalWriter* vexa_gdal_writer() { return &vexa::gisexport::kWriter; }
