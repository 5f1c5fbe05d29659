// The GIS export of blocks (vexa-info --export) and of findings (vexa-check --export),
// read back with GDAL/OGR and compared with what the block store reads from the sample map.
#include "block/BlkObj.h"
#include "export/FindingFormats.h"
#include "export/GisLayers.h"
#include "export/GisWriter.h"
#include "kit/BlockKit.h"
#include "kit/DrawingRank.h"
#include "standard/FindingKinds.h"
#include "standard/FindingPlace.h"

#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_api.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace vexa;
namespace fs = std::filesystem;

struct Outcome {
    int Status = -1;
    std::string Out, Err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct DatasetCloser {
    void operator()(GDALDataset* ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

Dataset OpenVector(const fs::path& file) {
    GDALAllRegister();
    return Dataset(static_cast<GDALDataset*>(
        GDALOpenEx(file.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
}

using Feature = std::unique_ptr<OGRFeature>;

// The features of a layer by "block/number".
std::map<std::string, Feature> ByElement(OGRLayer* layer) {
    std::map<std::string, Feature> out;
    layer->ResetReading();
    while (OGRFeature* f = layer->GetNextFeature())
        {
        std::string key = std::string(f->GetFieldAsString("block")) + "/" + std::to_string(f->GetFieldAsInteger("number"));
        out.emplace(std::move(key), Feature(f));
    }
    return out;
}

// The feature of an element; fails the test naming the element when there is none.
const Feature& At(const std::map<std::string, Feature>& features, const std::string& key) {
    const auto it = features.find(key);
    if (it == features.end()) {
        std::string keys;
        for (const auto& [k, v] : features) keys += k + " ";
        throw std::runtime_error("no feature for " + key + " among " + keys);
    }
    return it->second;
}

double X(const TBlkCrd& c) { return static_cast<double>(c.X.Value()); }
double Y(const TBlkCrd& c) { return static_cast<double>(c.Y.Value()); }

class Export : public ::testing::Test {
protected:
    void SetUp() override { fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive); }
    Outcome Run(const std::string& program, const std::string& args) {
        const std::string command = "TMPDIR=" + Quote(temp.Path().string()) + " " + Quote(program) + " " + args +
                                    " >" + Quote(temp / "out") + " 2>" + Quote(temp / "err");
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, testkit::ReadFileText(temp / "out"),
                testkit::ReadFileText(temp / "err")};
    }
    Outcome Info(const std::string& target, const fs::path& file) {
        return Run(VEXA_INFO_PROGRAM, Quote(target) + " --export " + Quote(file.string()));
    }
    Outcome Check(const std::string& args) { return Run(VEXA_CHECK_PROGRAM, args + " " + Quote(map.string())); }

    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
};

// Every element of the sample map, each layer against the block store's own reads.
TEST_F(Export, BlockLayersEqualTheBlockStore) {
    const fs::path gpkg = temp.Path() / "map.gpkg";
    Outcome o = Info(map.string(), gpkg);
    ASSERT_EQ(o.Status, 0) << o.Err;
    Dataset ds = OpenVector(gpkg);
    ASSERT_TRUE(ds);
    auto lines = ByElement(ds->GetLayerByName("lines"));
    auto points = ByElement(ds->GetLayerByName("points"));
    auto texts = ByElement(ds->GetLayerByName("texts"));
    auto areas = ByElement(ds->GetLayerByName("areas"));
    auto unclosed = ByElement(ds->GetLayerByName("areas_unclosed"));

    std::size_t nLines = 0, nPoints = 0, nTexts = 0, nAreas = 0, islands = 0;
    for (const auto& entry : fs::directory_iterator(map)) {
        if (!entry.is_directory()) continue;
        const std::string block = entry.path().filename().string();
        SCOPED_TRACE(block);
        TBlk blk(false);
        blk.Open(entry.path().string(), TBlkOpenMode::ReadOnly);
        TBlkLine l;
        for (std::int32_t n = 1; n <= blk.LineCount(); ++n) {
            blk.FindLine(n, l);
            if (TBlk::LineDeleted(l)) {
                EXPECT_FALSE(lines.count(block + "/" + std::to_string(n)));
                continue;
            }
            ++nLines;
            const auto& f = At(lines, block + "/" + std::to_string(n));
            EXPECT_EQ(f->GetFieldAsInteger("kind"), l.Kind);
            EXPECT_EQ(f->GetFieldAsInteger("display_code"), int(l.DisplayCode));  // a packed member: by value
            TCrds crds;
            blk.ReadLineCrds(l, crds);
            const auto* g = f->GetGeometryRef()->toLineString();
            ASSERT_EQ(g->getNumPoints(), static_cast<int>(crds.size()));
            for (int i = 0; i < g->getNumPoints(); ++i) {
                EXPECT_EQ(g->getX(i), X(crds[i]));
                EXPECT_EQ(g->getY(i), Y(crds[i]));
            }
        }
        TBlkPoint p;
        for (std::int32_t n = 1; n <= blk.PointCount(); ++n) {
            blk.FindPoint(n, p);
            if (TBlk::PointDeleted(p)) continue;
            ++nPoints;
            const auto& f = At(points, block + "/" + std::to_string(n));
            const auto* g = f->GetGeometryRef()->toPoint();
            EXPECT_EQ(g->getX(), static_cast<double>(p.X.Value()));
            EXPECT_EQ(g->getY(), static_cast<double>(p.Y.Value()));
            EXPECT_EQ(f->GetFieldAsInteger("kind"), p.Kind);
        }
        TBlkText t;
        for (std::int32_t n = 1; n <= blk.TextCount(); ++n) {
            blk.FindText(n, t);
            if (TBlk::TextDeleted(t)) continue;
            ++nTexts;
            const auto& f = At(texts, block + "/" + std::to_string(n));
            OGREnvelope env;
            f->GetGeometryRef()->getEnvelope(&env);
            EXPECT_EQ(env.MinX, static_cast<double>(t.Rect.MinX.Value()));
            EXPECT_EQ(env.MaxY, static_cast<double>(t.Rect.MaxY.Value()));
            EXPECT_NEAR(f->GetFieldAsDouble("angle"), static_cast<double>(t.Angle.Value()) * 180 / M_PI, 1e-9);
        }
        TBlkArea a;
        for (std::int32_t n = 1; n <= blk.AreaCount(); ++n) {
            blk.FindArea(n, a);
            if (TBlk::AreaDeleted(a)) continue;
            ++nAreas;
            const std::string key = block + "/" + std::to_string(n);
            // Whether the ring closes, as the boundary walk and its assembly give it.
            TCrds ring;
            bool closed = true;
            try {
                TLins walk;
                blk.AreaBoundary(a, walk);
                std::int32_t bad = 0;
                if (blk.CheckInnerLines(walk, bad) == 0) throw EBlkPloError("unpaired");
                blk.BoundaryPolygon(walk, ring, 0.01);
            } catch (const EBlkPloError&) {
                closed = false;
            }
            EXPECT_EQ(areas.count(key), closed ? 1u : 0u) << key;
            EXPECT_EQ(unclosed.count(key), closed ? 0u : 1u) << key;
            const Feature& f = closed ? At(areas, key) : At(unclosed, key);
            if (closed) {
                // The area's polygons: valid by GEOS, of the size its lines bound, the rings
                // of the polygon builder.
                const OGRGeometry* g = f->GetGeometryRef();
                EXPECT_TRUE(g->IsValid()) << key;
                EXPECT_NEAR(OGR_G_Area(OGRGeometry::ToHandle(const_cast<OGRGeometry*>(g))),
                            testkit::AreaSizesByTheirLines(blk).at(a.Number), 1e-6)
                    << key;
                std::vector<TPlacePolygon> polygons;
                std::string reason;
                ASSERT_TRUE(AreaPolygons(blk, a, polygons, reason)) << reason;
                ASSERT_EQ(polygons.size(), 1u) << key;
                const OGRPolygon* p = g->toPolygon();
                ASSERT_EQ(p->getNumInteriorRings() + 1, static_cast<int>(polygons[0].size())) << key;
                for (int k = 0; k <= p->getNumInteriorRings(); ++k) {
                    const OGRLinearRing* r = k == 0 ? p->getExteriorRing() : p->getInteriorRing(k - 1);
                    const TPlaceRing& expected = polygons[0][static_cast<std::size_t>(k)];
                    ASSERT_EQ(r->getNumPoints(), static_cast<int>(expected.size())) << key;
                    EXPECT_EQ(r->isClockwise(), k > 0) << key;
                    for (int i = 0; i < r->getNumPoints(); ++i)
                        EXPECT_EQ((TPlaceXY{r->getX(i), r->getY(i)}), expected[static_cast<std::size_t>(i)]);
                }
                if (key == "LE_00001.blk/1") {
                    ++islands;
                    EXPECT_EQ(p->getNumInteriorRings(), 1);
                    EXPECT_DOUBLE_EQ(p->get_Area(), 37500);
                }
            } else {
                const auto* g = f->GetGeometryRef()->toPoint();
                EXPECT_EQ(g->getX(), static_cast<double>(a.RefX.Value()));
                EXPECT_EQ(g->getY(), static_cast<double>(a.RefY.Value()));
                EXPECT_NE(std::string(f->GetFieldAsString("reason")).find("Chybná topológia"), std::string::npos);
            }
            // The attribute row joined by CISLO, as the block store reads it.
            TFldValList row;
            blk.ReadAttributes(egArea, a.Kind, a.Number, row);
            for (const TFldVal& v : row) {
                const int i = f->GetFieldIndex(v.Name.c_str());
                ASSERT_GE(i, 0) << v.Name;
                if (const auto* s = std::get_if<std::string>(&v.Value)) {
                    EXPECT_EQ(f->GetFieldAsString(i), *s);
                }
                if (const auto* d = std::get_if<double>(&v.Value)) {
                    EXPECT_EQ(f->GetFieldAsDouble(i), *d);
                }
            }
            if (row.empty()) {
                EXPECT_FALSE(f->IsFieldSetAndNotNull(f->GetFieldIndex("PORAST"))) << key;
            }
        }
    }
    EXPECT_EQ(lines.size(), nLines);
    EXPECT_EQ(points.size(), nPoints);
    EXPECT_EQ(texts.size(), nTexts);
    EXPECT_EQ(areas.size() + unclosed.size(), nAreas);
    EXPECT_EQ(islands, 1u) << "the sample's area with an island";
    EXPECT_EQ(unclosed.size(), 1u);  // the sample's broken stand
    EXPECT_GT(areas.size(), 10u);

    const OGRSpatialReference* srs = ds->GetLayerByName("areas")->GetSpatialRef();
    ASSERT_TRUE(srs);
    EXPECT_STREQ(srs->GetAuthorityName(nullptr), "EPSG");
    EXPECT_STREQ(srs->GetAuthorityCode(nullptr), "5514");
}

// GeoJSON is WGS 84: each point within a centimetre of PROJ's transformation of the map's
// coordinates; a second export over the first replaces it.
TEST_F(Export, GeoJsonIsWgs84WithinACentimetre) {
    const std::string block = (map / "LE_00002.blk").string();
    const fs::path file = temp.Path() / "b.geojson";
    ASSERT_EQ(Info(block, file).Status, 0);
    Outcome again = Info(block, file);
    ASSERT_EQ(again.Status, 0) << again.Err;
    const fs::path points = temp.Path() / "b_points.geojson";
    ASSERT_TRUE(fs::exists(points));
    Dataset ds = OpenVector(points);
    ASSERT_TRUE(ds);
    OGRLayer* layer = ds->GetLayer(0);
    ASSERT_TRUE(layer->GetSpatialRef());
    EXPECT_TRUE(layer->GetSpatialRef()->IsGeographic());

    OGRSpatialReference krovak, wgs;
    krovak.importFromEPSG(5514);
    wgs.importFromEPSG(4326);
    krovak.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    wgs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> ct(OGRCreateCoordinateTransformation(&krovak, &wgs));
    ASSERT_TRUE(ct);

    TBlk blk(false);
    blk.Open(block, TBlkOpenMode::ReadOnly);
    int compared = 0;
    layer->ResetReading();
    while (OGRFeature* raw = layer->GetNextFeature()) {
        Feature f(raw);
        TBlkPoint p;
        blk.FindPoint(f->GetFieldAsInteger("number"), p);
        double x = static_cast<double>(p.X.Value()), y = static_cast<double>(p.Y.Value());
        ASSERT_TRUE(ct->Transform(1, &x, &y));
        const auto* g = f->GetGeometryRef()->toPoint();
        // Slovakia: longitude about 17 to 22, latitude about 47.7 to 49.6.
        EXPECT_GT(g->getX(), 12);
        EXPECT_LT(g->getX(), 23);
        EXPECT_GT(g->getY(), 47);
        EXPECT_LT(g->getY(), 52);
        const double metresNorth = (g->getY() - y) * 111320.0;
        const double metresEast = (g->getX() - x) * 111320.0 * std::cos(y * M_PI / 180);
        EXPECT_LT(std::hypot(metresNorth, metresEast), 0.01);
        ++compared;
    }
    EXPECT_EQ(compared, blk.PointCount());
}

// Kinds of one group with tables of their own: a layer per table, named like it, with
// the rows joined; the group's layer carries no attribute columns then.
TEST_F(Export, SeveralTablesOfAGroupGetALayerEach) {
    const fs::path block = map / "LE_00003.blk";
    fs::copy_file(block / "p0001.dbf", block / "p0020.dbf");
    const fs::path gpkg = temp.Path() / "b.gpkg";
    Outcome o = Info(block.string(), gpkg);
    ASSERT_EQ(o.Status, 0) << o.Err;
    Dataset ds = OpenVector(gpkg);
    ASSERT_TRUE(ds);
    OGRLayer* p0001 = ds->GetLayerByName("p0001");
    OGRLayer* p0020 = ds->GetLayerByName("p0020");
    ASSERT_TRUE(p0001 && p0020);
    EXPECT_LT(ds->GetLayerByName("areas")->GetLayerDefn()->GetFieldIndex("PORAST"), 0);
    EXPECT_GE(p0020->GetLayerDefn()->GetFieldIndex("PORAST"), 0);
    TBlk blk(false);
    blk.Open(block.string(), TBlkOpenMode::ReadOnly);
    for (OGRLayer* layer : {p0001, p0020}) {
        layer->ResetReading();
        while (OGRFeature* raw = layer->GetNextFeature()) {
            Feature f(raw);
            TBlkArea a;
            blk.FindArea(f->GetFieldAsInteger("number"), a);
            EXPECT_EQ(std::string("p00") + (a.Kind < 10 ? "0" : "") + std::to_string(a.Kind), layer->GetName());
            TFldValList row;
            blk.ReadAttributes(egArea, a.Kind, a.Number, row);
            for (const TFldVal& v : row) {
                if (const auto* s = std::get_if<std::string>(&v.Value)) {
                    EXPECT_EQ(f->GetFieldAsString(v.Name.c_str()), *s);
                }
            }
        }
    }
    EXPECT_EQ(p0020->GetFeatureCount(), 1);
}

// The fields of every layer of a dataset that hold text with a '/' at a word's start or the
// given directory: a path of the machine that wrote the export.
std::vector<std::string> AbsolutePaths(GDALDataset& ds, const std::string& dir) {
    std::vector<std::string> found;
    for (OGRLayer* layer : ds.GetLayers()) {
        if (std::string(layer->GetName()) == "layer_styles") continue;  // the styles' XML
        layer->ResetReading();
        while (OGRFeature* raw = layer->GetNextFeature()) {
            Feature f(raw);
            for (int i = 0; i < f->GetFieldCount(); ++i) {
                if (f->GetFieldDefnRef(i)->GetType() != OFTString || !f->IsFieldSetAndNotNull(i)) continue;
                const std::string text = f->GetFieldAsString(i);
                if (text.find(dir) != std::string::npos || text.starts_with("/") || text.find(" /") != std::string::npos ||
                    text.find("(/") != std::string::npos)
                    found.push_back(std::string(layer->GetName()) + "." + f->GetFieldDefnRef(i)->GetNameRef() + ": " + text);
            }
        }
    }
    return found;
}

// The layer_styles rows by the layer they style.
std::map<std::string, Feature> Styles(GDALDataset& ds) {
    std::map<std::string, Feature> out;
    OGRLayer* styles = ds.GetLayerByName("layer_styles");
    if (!styles) return out;
    styles->ResetReading();
    while (OGRFeature* raw = styles->GetNextFeature()) out.emplace(raw->GetFieldAsString("f_table_name"), Feature(raw));
    return out;
}

// A GeoPackage opens styled in QGIS: a layer_styles row of QGIS's schema for every layer
// with geometry, its QML a single symbol of the layer's geometry in the map view's
// colours (findings red); numbers are integer fields; no field holds a machine's path.
TEST_F(Export, GeoPackagesCarryQgisStylesIntegerNumbersAndNoPaths) {
    const fs::path mapGpkg = temp.Path() / "map.gpkg", findingsGpkg = temp.Path() / "f.gpkg";
    Outcome o = Info(map.string(), mapGpkg);
    ASSERT_EQ(o.Status, 0) << o.Err;
    o = Check("--lines 1 --points 3 --texts 3 --areas 7 --db 1 --export " + Quote(findingsGpkg.string()));
    ASSERT_EQ(o.Status, 3) << o.Err;
    for (const fs::path& file : {mapGpkg, findingsGpkg}) {
        SCOPED_TRACE(file.filename().string());
        Dataset ds = OpenVector(file);
        ASSERT_TRUE(ds);
        OGRLayer* table = ds->GetLayerByName("layer_styles");
        ASSERT_TRUE(table);
        EXPECT_STREQ(table->GetFIDColumn(), "id");
        for (const char* column : {"f_table_catalog", "f_table_schema", "f_table_name", "f_geometry_column",
                                   "styleName", "styleQML", "styleSLD", "useAsDefault", "description", "owner", "ui",
                                   "update_time"})
            EXPECT_GE(table->GetLayerDefn()->GetFieldIndex(column), 0) << column;
        EXPECT_EQ(table->GetLayerDefn()->GetFieldDefn(table->GetLayerDefn()->GetFieldIndex("useAsDefault"))->GetSubType(),
                  OFSTBoolean);
        const auto styles = Styles(*ds);
        std::size_t geometric = 0;
        for (OGRLayer* layer : ds->GetLayers()) {
            const std::string name = layer->GetName();
            if (name == "layer_styles") continue;
            const auto it = styles.find(name);
            if (layer->GetGeomType() == wkbNone) {
                EXPECT_EQ(it, styles.end()) << name;
                continue;
            }
            ++geometric;
            ASSERT_NE(it, styles.end()) << name;
            const Feature& row = it->second;
            EXPECT_STREQ(row->GetFieldAsString("f_geometry_column"), layer->GetGeometryColumn());
            EXPECT_EQ(row->GetFieldAsInteger("useAsDefault"), 1);
            const std::string qml = row->GetFieldAsString("styleQML"), sld = row->GetFieldAsString("styleSLD");
            const bool finding = name.starts_with("findings_");
            EXPECT_NE(qml.find(finding ? "<renderer-v2 type=\"categorizedSymbol\"" : "<renderer-v2 type=\"singleSymbol\""),
                      std::string::npos)
                << name;
            const OGRwkbGeometryType type = wkbFlatten(layer->GetGeomType());
            const char* symbol = type == wkbPoint                                       ? "type=\"marker\""
                                 : type == wkbLineString || type == wkbMultiLineString ? "type=\"line\""
                                                                                       : "type=\"fill\"";
            EXPECT_NE(qml.find(symbol), std::string::npos) << name;
            EXPECT_NE(sld.find("<StyledLayerDescriptor"), std::string::npos) << name;
            if (!finding) {
                EXPECT_EQ(qml.find("\"255,0,0,255\""), std::string::npos) << name;
                continue;
            }
            // Findings: a category per code of the layer's group, its legend entry the code with
            // its check's caption, the excepted ones muted in one more, the number as a label
            // from 1:5000 in.
            const char letter = name == "findings_line"    ? 'L'
                                : name == "findings_point" ? 'B'
                                : name == "findings_text"  ? 'T'
                                                           : 'P';
            std::size_t categories = 0;
            for (std::size_t at = qml.find("<category "); at != std::string::npos; at = qml.find("<category ", at + 1))
                ++categories;
            std::size_t codes = 0;
            for (const TFindingCode& c : FindingCodes) {
                if (c.Letter != letter) continue;
                ++codes;
                const std::string category = "value=\"" + std::to_string(c.Code) + "\" label=\"" +
                                             std::to_string(c.Code) + " " + c.Filter + "\"";
                EXPECT_NE(qml.find(category), std::string::npos) << name << " " << category;
            }
            EXPECT_EQ(categories, codes + 1) << name;
            EXPECT_NE(qml.find("value=\"excepted\" label=\"výnimky (nie je chyba)\""), std::string::npos) << name;
            EXPECT_NE(qml.find("&quot;status&quot; = 'excepted'"), std::string::npos) << name;
            EXPECT_NE(qml.find("labelsEnabled=\"1\""), std::string::npos) << name;
            EXPECT_NE(qml.find("fieldName=\"number\""), std::string::npos) << name;
            EXPECT_NE(qml.find("scaleVisibility=\"1\" scaleMin=\"0\" scaleMax=\"5000\""), std::string::npos) << name;
        }
        EXPECT_EQ(styles.size(), geometric);
        EXPECT_EQ(AbsolutePaths(*ds, temp.Path().string()), std::vector<std::string>{});
    }
    Dataset ds = OpenVector(mapGpkg);
    const auto styles = Styles(*ds);
    // Areas filled lightly and half transparent, their boundaries drawn; texts only outlined.
    const std::string areas = At(styles, "areas")->GetFieldAsString("styleQML");
    EXPECT_NE(areas.find("name=\"color\" value=\"241,230,207,150\""), std::string::npos) << areas;
    EXPECT_NE(areas.find("name=\"outline_style\" value=\"solid\""), std::string::npos);
    EXPECT_NE(std::string(At(styles, "texts")->GetFieldAsString("styleQML")).find("name=\"style\" value=\"no\""),
              std::string::npos);
    // Numbers as integers: the element's number and the table's CISLO (N 10.0).
    const OGRFeatureDefn* defn = ds->GetLayerByName("areas")->GetLayerDefn();
    EXPECT_EQ(defn->GetFieldDefn(defn->GetFieldIndex("number"))->GetType(), OFTInteger);
    EXPECT_EQ(defn->GetFieldDefn(defn->GetFieldIndex("CISLO"))->GetType(), OFTInteger64);
    EXPECT_EQ(defn->GetFieldDefn(defn->GetFieldIndex("PLOCHA"))->GetType(), OFTReal);
    auto areaFeatures = ByElement(ds->GetLayerByName("areas"));
    EXPECT_EQ(At(areaFeatures, "LE_00001.blk/1")->GetFieldAsInteger64("CISLO"), 1);
    // The reason of the unclosed ring names its block relative to the map.
    auto unclosed = ByElement(ds->GetLayerByName("areas_unclosed"));
    const std::string reason = At(unclosed, "LE_00003.blk/3")->GetFieldAsString("reason");
    EXPECT_NE(reason.find("(LE_00003.blk/, P:3"), std::string::npos) << reason;
}

// The project a GeoPackage carries in its qgis_projects table ("vexa"), its .qgz unpacked
// through GDAL's own zip reader.
std::string StoredProject(GDALDataset& ds, const fs::path& scratch) {
    OGRLayer* rows = ds.ExecuteSQL("SELECT name, content FROM qgis_projects", nullptr, nullptr);
    if (!rows) return {};
    std::string name, hex;
    if (OGRFeature* raw = rows->GetNextFeature()) {
        Feature f(raw);
        name = f->GetFieldAsString(0);
        // The hexadecimal text of the .qgz (GDAL may take the BLOB column for bytes).
        if (f->GetFieldDefnRef(1)->GetType() == OFTBinary) {
            int size = 0;
            const GByte* bytes = f->GetFieldAsBinary(1, &size);
            hex.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
        } else {
            hex = f->GetFieldAsString(1);
        }
        EXPECT_EQ(rows->GetNextFeature(), nullptr) << "one project";
    }
    ds.ReleaseResultSet(rows);
    EXPECT_EQ(name, "vexa");
    std::string zip;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) zip += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    {
        std::ofstream out(scratch, std::ios::binary);
        out << zip;
    }
    // The braces: GDAL knows a zip by its extension otherwise (.zip), not a .qgz.
    const std::string archive = "/vsizip/{" + scratch.string() + "}";
    char** inside = VSIReadDir(archive.c_str());
    std::string file = inside && inside[0] ? inside[0] : "";
    CSLDestroy(inside);
    EXPECT_TRUE(file.ends_with(".qgs")) << file;
    VSILFILE* in = VSIFOpenL((archive + "/" + file).c_str(), "rb");
    if (!in) return {};
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = VSIFReadL(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, n);
    VSIFCloseL(in);
    return text;
}

// The values of an attribute in the order its elements come ("name" of <layer-tree-layer>).
std::vector<std::string> Attributes(const std::string& xml, const std::string& element, const std::string& attr) {
    std::vector<std::string> out;
    for (auto at = xml.find("<" + element + " "); at != std::string::npos; at = xml.find("<" + element + " ", at + 1)) {
        const auto end = xml.find('>', at);
        const auto from = xml.find(" " + attr + "=\"", at);
        if (from == std::string::npos || from > end) continue;
        const auto value = from + attr.size() + 3;
        out.push_back(xml.substr(value, xml.find('"', value) - value));
    }
    return out;
}

// In QGIS the top of the layer list is drawn last. Both GeoPackages list their layers with
// the areas last (GDAL lists a GeoPackage's tables in the order they were made, which is the
// order QGIS adds them in when it loads them all), and carry a QGIS project with the layer
// tree in that order, each layer from the file itself by a relative path with the style of
// its layer_styles row, opening on the features.
TEST_F(Export, GeoPackagesListAreasUnderLinesUnderPointsAndCarryAProjectSoOrdered) {
    const fs::path mapGpkg = temp.Path() / "map.gpkg", findingsGpkg = temp.Path() / "f.gpkg";
    Outcome o = Info(map.string(), mapGpkg);
    ASSERT_EQ(o.Status, 0) << o.Err;
    o = Check("--lines 1 --points 3 --texts 3 --areas 7 --db 1 --export " + Quote(findingsGpkg.string()));
    ASSERT_EQ(o.Status, 3) << o.Err;
    const std::map<fs::path, std::vector<std::string>> expected = {
        {mapGpkg, {"points", "areas_unclosed", "texts", "lines", "areas"}},
        {findingsGpkg,
         {"findings_point", "findings_area_unclosed", "findings_text", "findings_line", "findings_area_walk",
          "findings_area", "findings_table"}}};
    for (const auto& [file, order] : expected) {
        SCOPED_TRACE(file.filename().string());
        Dataset ds = OpenVector(file);
        ASSERT_TRUE(ds);
        std::vector<std::string> listed;
        int previous = 0;
        for (OGRLayer* layer : ds->GetLayers()) {
            const std::string name = layer->GetName();
            if (name == "layer_styles" || name == "qgis_projects") continue;
            listed.push_back(name);
            EXPECT_GE(testkit::DrawingRank(layer), previous) << name;
            previous = testkit::DrawingRank(layer);
        }
        EXPECT_EQ(listed, order);

        const std::string project = StoredProject(*ds, temp.Path() / (file.stem().string() + ".qgz"));
        ASSERT_FALSE(project.empty());
        EXPECT_EQ(Attributes(project, "layer-tree-layer", "name"), order);
        std::vector<std::string> sources;
        for (const std::string& name : order) sources.push_back("./" + file.filename().string() + "|layername=" + name);
        EXPECT_EQ(Attributes(project, "layer-tree-layer", "source"), sources);
        EXPECT_EQ(project.find(temp.Path().string()), std::string::npos) << "no absolute path";
        EXPECT_NE(project.find("<Absolute type=\"bool\">false</Absolute>"), std::string::npos);
        EXPECT_NE(project.find("<authid>EPSG:5514</authid>"), std::string::npos);
        // The extent covers the layers' features.
        OGREnvelope all;
        for (const std::string& name : order) {
            OGREnvelope e;
            OGRLayer* layer = ds->GetLayerByName(name.c_str());
            if (layer->GetGeomType() != wkbNone && layer->GetExtent(&e, TRUE) == OGRERR_NONE) all.Merge(e);
        }
        ASSERT_TRUE(all.IsInit());
        const auto xmin = Attributes(project, "DefaultViewExtent", "xmin"),
                   ymax = Attributes(project, "DefaultViewExtent", "ymax");
        ASSERT_EQ(xmin.size(), 1u);
        ASSERT_EQ(ymax.size(), 1u);
        EXPECT_NEAR(std::stod(xmin[0]), all.MinX, 0.01);
        EXPECT_NEAR(std::stod(ymax[0]), all.MaxY, 0.01);
        // Each layer's renderer and labels are those of its layer_styles row.
        for (const auto& [name, row] : Styles(*ds)) {
            const std::string qml = row->GetFieldAsString("styleQML");
            const auto from = qml.find("<renderer-v2"), to = qml.find("<blendMode>");
            ASSERT_NE(from, std::string::npos);
            ASSERT_NE(to, std::string::npos);
            const auto layer = project.find("<id>vexa_layer_" + name + "</id>");
            ASSERT_NE(layer, std::string::npos) << name;
            EXPECT_EQ(project.find(qml.substr(from, to - from), layer), project.find("<renderer-v2", layer)) << name;
        }
    }
}

// vexa-info --qgis-project: a project of the map read through the GDAL driver, beside it:
// the findings layers (after a check run) over the map's, areas last in each, sources
// relative to the project, each layer styled as the export's GeoPackage styles it; a file
// already there (a project a user may have changed) is never replaced.
TEST_F(Export, QgisProjectOfTheMapThroughTheDriver) {
    const fs::path project = temp.Path() / "map.qgs";
    Outcome o = Run(VEXA_INFO_PROGRAM, Quote(map.string()) + " --qgis-project " + Quote(project.string()));
    ASSERT_EQ(o.Status, 0) << o.Err;
    std::string text = testkit::ReadFileText(project);
    // No check run yet: the map's layers only.
    EXPECT_EQ(Attributes(text, "layer-tree-layer", "name"),
              (std::vector<std::string>{"points", "areas_unclosed", "texts", "lines", "areas"}));
    EXPECT_EQ(Attributes(text, "layer-tree-layer", "source")[0], "./map|layername=points");
    EXPECT_NE(o.Out.find("\"project\":"), std::string::npos) << o.Out;

    o = Run(VEXA_INFO_PROGRAM, Quote(map.string()) + " --qgis-project " + Quote(project.string()));
    EXPECT_EQ(o.Status, 2);
    EXPECT_NE(o.Err.find("neprepíše"), std::string::npos) << o.Err;
    EXPECT_EQ(testkit::ReadFileText(project), text);
    // Nothing goes into a block directory.
    o = Run(VEXA_INFO_PROGRAM, Quote(map.string()) + " --qgis-project " + Quote((map / "LE_00001.blk" / "p.qgs").string()));
    EXPECT_EQ(o.Status, 2);
    EXPECT_FALSE(fs::exists(map / "LE_00001.blk" / "p.qgs"));

    const fs::path findingsGpkg = temp.Path() / "f.gpkg";
    o = Check("--lines 1 --points 3 --texts 3 --areas 7 --db 1 --export " + Quote(findingsGpkg.string()));
    ASSERT_EQ(o.Status, 3) << o.Err;
    const fs::path sub = temp.Path() / "projects";
    fs::create_directory(sub);
    const fs::path again = sub / "mapa.qgs";
    o = Run(VEXA_INFO_PROGRAM, Quote(map.string()) + " --qgis-project " + Quote(again.string()));
    ASSERT_EQ(o.Status, 0) << o.Err;
    text = testkit::ReadFileText(again);
    const std::vector<std::string> names = Attributes(text, "layer-tree-layer", "name");
    EXPECT_EQ(names, (std::vector<std::string>{"findings_point", "findings_area_unclosed", "findings_text",
                                               "findings_line", "findings_area_walk", "findings_area",
                                               "findings_table", "points", "areas_unclosed", "texts", "lines",
                                               "areas"}));
    std::vector<std::string> sources;
    for (const std::string& name : names) sources.push_back("../map|layername=" + name);
    EXPECT_EQ(Attributes(text, "layer-tree-layer", "source"), sources);
    EXPECT_EQ(text.find(temp.Path().string()), std::string::npos) << "no absolute path";
    // The styles are the GeoPackages' own.
    Dataset findings = OpenVector(findingsGpkg);
    ASSERT_TRUE(findings);
    const fs::path mapGpkg = temp.Path() / "m.gpkg";
    ASSERT_EQ(Info(map.string(), mapGpkg).Status, 0);
    Dataset mapDs = OpenVector(mapGpkg);
    ASSERT_TRUE(mapDs);
    std::size_t styled = 0;
    for (GDALDataset* ds : {findings.get(), mapDs.get()})
        for (const auto& [name, row] : Styles(*ds)) {
            const std::string qml = row->GetFieldAsString("styleQML");
            const auto from = qml.find("<renderer-v2"), to = qml.find("</qgis>");
            const auto layer = text.find("<id>vexa_layer_" + name + "</id>");
            ASSERT_NE(layer, std::string::npos) << name;
            EXPECT_EQ(text.find(qml.substr(from, to - from), layer), text.find("<renderer-v2", layer)) << name;
            ++styled;
        }
    EXPECT_EQ(styled, names.size() - 1);  // all but findings_table
}

TEST(ExportTexts, WithoutDirsLeavesBlockNamesRelative) {
    using gisexport::WithoutDirs;
    // Directories with blanks, and the path at the text's start.
    EXPECT_EQ(WithoutDirs("Chybná topológia (/home/a b/my map/LE_00001.blk/, P:3)", "LE_00001.blk"),
              "Chybná topológia (LE_00001.blk/, P:3)");
    EXPECT_EQ(WithoutDirs("/m/LE_00001.blk/tn.are: krátky", "LE_00001.blk"), "LE_00001.blk/tn.are: krátky");
    EXPECT_EQ(WithoutDirs("Chybná topológia (/tmp/x/LE_00001.blk/, P:3, L:3)", "LE_00001.blk"),
              "Chybná topológia (LE_00001.blk/, P:3, L:3)");
    EXPECT_EQ(WithoutDirs("súbor /m/LE_00001.blk/tn.lin a /m/LE_00001.blk", "LE_00001.blk"),
              "súbor LE_00001.blk/tn.lin a LE_00001.blk");
    // Another block's name or a longer name is left alone.
    EXPECT_EQ(WithoutDirs("(/m/LE_00001.blkx/, P:1)", "LE_00001.blk"), "(/m/LE_00001.blkx/, P:1)");
    EXPECT_EQ(WithoutDirs("bez cesty LE_00001.blk", "LE_00001.blk"), "bez cesty LE_00001.blk");
    EXPECT_EQ(WithoutDirs("(/m/LE_00001.blk/)", ""), "(/m/LE_00001.blk/)");
}

// The numbers in a JSON text after a key, in order ("value":12.5 -> 12.5; "coordinates":
// [[1,2],[3,4]] -> 1 2 3 4).
std::vector<double> NumbersAfter(const std::string& line, const std::string& key) {
    std::vector<double> out;
    const std::size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) return out;
    std::size_t i = at + key.size() + 3;
    int depth = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == '[') ++depth;
        else if (c == ']') --depth;
        else if (c == '-' || (c >= '0' && c <= '9')) {
            std::size_t used = 0;
            out.push_back(std::stod(line.substr(i), &used));
            i += used;
            if (depth == 0) break;
            continue;
        } else if (depth == 0 && c != ' ') {
            break;
        }
        ++i;
        if (depth == 0 && !out.empty()) break;
    }
    return out;
}

// Limit findings carry what their element measures from its vertices and the limit, in
// JSON, CSV and the export; every element finding's geometry is in the JSON.
TEST_F(Export, LimitFindingsCarryTheirMeasuredValuesAndJsonTheGeometry) {
    const std::string limits = "--lines 16 --areas 6 --length-limit 60 --area-limit 20000 ";
    Outcome json = Check(limits + "--format json");
    ASSERT_EQ(json.Status, 3) << json.Err;
    std::map<std::string, std::unique_ptr<TBlk>> blocks;
    auto block = [&](const std::string& name) -> TBlk& {
        auto& b = blocks[name];
        if (!b) {
            b = std::make_unique<TBlk>(false);
            b->Open((map / name).string(), TBlkOpenMode::ReadOnly);
        }
        return *b;
    };
    int lines = 0, areas = 0;
    std::istringstream in(json.Out);
    for (std::string line; std::getline(in, line);) {
        SCOPED_TRACE(line);
        const std::size_t b = line.find("\"block\":\"") + 9;
        const std::string name = line.substr(b, line.find('"', b) - b);
        const int code = static_cast<int>(NumbersAfter(line, "code").at(0));
        const auto number = static_cast<std::int32_t>(NumbersAfter(line, "number").at(0));
        const std::vector<double> value = NumbersAfter(line, "value"), limit = NumbersAfter(line, "limit");
        const std::vector<double> geometry = NumbersAfter(line, "coordinates");
        TBlk& blk = block(name);
        if (code == -15) {
            ++lines;
            TBlkLine l;
            blk.FindLine(number, l);
            TCrds crds;
            blk.ReadLineCrds(l, crds);
            long double length = 0;
            for (std::size_t i = 1; i < crds.size(); ++i)
                length += std::hypot(static_cast<long double>(X(crds[i]) - X(crds[i - 1])),
                                     static_cast<long double>(Y(crds[i]) - Y(crds[i - 1])));
            ASSERT_EQ(value.size(), 1u);
            EXPECT_NEAR(value[0], static_cast<double>(length), 1e-6);
            EXPECT_EQ(limit, std::vector<double>{60});
            EXPECT_NE(line.find("\"geometry\":{\"type\":\"LineString\""), std::string::npos);
            ASSERT_EQ(geometry.size(), 2 * crds.size());
            // Each coordinate reads back to the 6-byte real the block stores.
            for (std::size_t i = 0; i < crds.size(); ++i) {
                EXPECT_TRUE(TReal48::FromValue(geometry[2 * i]) == crds[i].X) << geometry[2 * i];
                EXPECT_TRUE(TReal48::FromValue(geometry[2 * i + 1]) == crds[i].Y) << geometry[2 * i + 1];
            }
        } else if (code == -74) {
            ++areas;
            TBlkArea a;
            blk.FindArea(number, a);
            std::vector<TPlacePolygon> polygons;
            std::string reason;
            ASSERT_TRUE(AreaPolygons(blk, a, polygons, reason)) << reason;
            // The size its lines bound, and the polygons' every vertex.
            ASSERT_EQ(value.size(), 1u);
            EXPECT_NEAR(value[0], testkit::AreaSizesByTheirLines(blk).at(a.Number), 1e-3);
            EXPECT_EQ(limit, std::vector<double>{20000});
            EXPECT_NE(line.find("\"geometry\":{\"type\":\"Polygon\""), std::string::npos);
            std::size_t vertices = 0;
            for (const TPlacePolygon& p : polygons)
                for (const TPlaceRing& r : p) vertices += r.size();
            EXPECT_EQ(geometry.size(), 2 * vertices);
        } else {
            EXPECT_EQ(line.find("\"value\""), std::string::npos);  // only limit findings measure
        }
    }
    EXPECT_GE(lines, 3);
    EXPECT_GE(areas, 2);

    // Every element finding has its geometry of its shape; a finding about a table none.
    Outcome all = Check("--lines 1 --points 3 --texts 3 --areas 7 --db 1 --format json");
    ASSERT_EQ(all.Status, 3) << all.Err;
    std::istringstream every(all.Out);
    int elements = 0, tables = 0;
    for (std::string line; std::getline(every, line);) {
        SCOPED_TRACE(line);
        const bool element = line.find("\"number\":null") == std::string::npos;
        if (!element) {
            ++tables;
            EXPECT_NE(line.find("\"geometry\":null"), std::string::npos);
            continue;
        }
        ++elements;
        const std::size_t g = line.find("\"group\":\"") + 9;
        const char group = line[g];
        const char* type = group == 'L'   ? "\"geometry\":{\"type\":\"LineString\""
                           : group == 'B' ? "\"geometry\":{\"type\":\"Point\""
                           : group == 'T' ? "\"geometry\":{\"type\":\"Polygon\""
                                          : "\"geometry\":{\"type\":\"";
        EXPECT_NE(line.find(type), std::string::npos);
        if (group == 'P' && line.find("\"code\":-72") != std::string::npos)
            EXPECT_NE(line.find("\"geometry\":{\"type\":\"MultiLineString\""), std::string::npos);
    }
    EXPECT_GE(elements, 8);
    EXPECT_GE(tables, 1);

    // CSV: the value and the limit before the status.
    Outcome csv = Check(limits + "--format csv");
    EXPECT_NE(csv.Out.find("\nLE_00002.blk,LE,L,10,13,-15,podlimitná dĺžka,-511800,-1210400,-511750,-1210400,-511775,"
                           "-1210400,,50,60,persisting,"),
              std::string::npos)
        << csv.Out;
    // The export: value and limit fields of the finding layers.
    const fs::path gpkg = temp.Path() / "limits.gpkg";
    ASSERT_EQ(Check(limits + "--export " + Quote(gpkg.string())).Status, 3);
    Dataset ds = OpenVector(gpkg);
    ASSERT_TRUE(ds);
    auto found = ByElement(ds->GetLayerByName("findings_line"));
    const Feature& short13 = At(found, "LE_00002.blk/13");
    EXPECT_DOUBLE_EQ(short13->GetFieldAsDouble("value"), 50);
    EXPECT_DOUBLE_EQ(short13->GetFieldAsDouble("limit"), 60);
    auto small = ByElement(ds->GetLayerByName("findings_area"));
    EXPECT_DOUBLE_EQ(At(small, "LE_00002.blk/1")->GetFieldAsDouble("value"), 10000);
}

// The findings of a check run with their places; the Slovak texts intact.
TEST_F(Export, FindingsCarryTheirPlaces) {
    const fs::path gpkg = temp.Path() / "f.gpkg";
    Outcome o = Check("--lines 1 --points 3 --texts 3 --areas 7 --db 1 --export " + Quote(gpkg.string()));
    ASSERT_EQ(o.Status, 3) << o.Err;  // findings, and the sample's unclean block skipped
    EXPECT_NE(o.Err.find("Počet chýb: "), std::string::npos);
    Dataset ds = OpenVector(gpkg);
    ASSERT_TRUE(ds);
    TBlk blk(false);
    blk.Open((map / "LE_00002.blk").string(), TBlkOpenMode::ReadOnly);

    auto lines = ByElement(ds->GetLayerByName("findings_line"));
    const Feature& inadmissible = At(lines, "LE_00002.blk/13");
    EXPECT_STREQ(inadmissible->GetFieldAsString("text"), "neprípustný druh vo vrstve");
    EXPECT_EQ(inadmissible->GetFieldAsInteger("code"), -11);
    EXPECT_STREQ(inadmissible->GetFieldAsString("group"), "L");
    EXPECT_STREQ(inadmissible->GetFieldAsString("layer"), "LE");
    TBlkLine l;
    blk.FindLine(13, l);
    TCrds crds;
    blk.ReadLineCrds(l, crds);
    const auto* g = inadmissible->GetGeometryRef()->toLineString();
    ASSERT_EQ(g->getNumPoints(), static_cast<int>(crds.size()));
    EXPECT_EQ(g->getX(0), X(crds[0]));
    EXPECT_EQ(g->getY(g->getNumPoints() - 1), Y(crds.back()));

    auto points = ByElement(ds->GetLayerByName("findings_point"));
    TBlkPoint p;
    blk.FindPoint(3, p);
    EXPECT_EQ(At(points, "LE_00002.blk/3")->GetGeometryRef()->toPoint()->getX(), static_cast<double>(p.X.Value()));
    EXPECT_STREQ(At(points, "LE_00002.blk/3")->GetFieldAsString("text"), "uhol otočenia");

    auto unclosed = ByElement(ds->GetLayerByName("findings_area_unclosed"));
    ASSERT_EQ(unclosed.size(), 1u);
    EXPECT_EQ(unclosed.begin()->first, "LE_00003.blk/3");
    EXPECT_EQ(unclosed.begin()->second->GetFieldAsInteger("code"), -72);
    EXPECT_NE(std::string(unclosed.begin()->second->GetFieldAsString("reason")).find("Chybná topológia"),
              std::string::npos);
    // The walk of the unclosed ring: the lines it followed, each a boundary line of the area
    // with its vertices, and the place where it broke at an end of the last one.
    auto walks = ByElement(ds->GetLayerByName("findings_area_walk"));
    ASSERT_EQ(walks.size(), 1u);
    const Feature& walk = At(walks, "LE_00003.blk/3");
    EXPECT_STREQ(walk->GetFieldAsString("break_reason"), "hranica plochy sa nezatvorí pri línii L12");
    // Each finding names its check's caption and is reported (an exception would be excepted).
    EXPECT_STREQ(walk->GetFieldAsString("caption"), "topológia");
    EXPECT_STREQ(walk->GetFieldAsString("status"), "reported");
    EXPECT_FALSE(walk->IsFieldSetAndNotNull(walk->GetFieldIndex("exception_reason")));
    EXPECT_STREQ(At(unclosed, "LE_00003.blk/3")->GetFieldAsString("break_reason"),
                 "hranica plochy sa nezatvorí pri línii L12");
    const auto* walked = walk->GetGeometryRef()->toMultiLineString();
    ASSERT_GT(walked->getNumGeometries(), 0);
    TBlk broken(false);
    broken.Open((map / "LE_00003.blk").string(), TBlkOpenMode::ReadOnly);
    for (const OGRLineString* part : walked) {
        bool matched = false;
        for (std::int32_t n = 1; n <= broken.LineCount() && !matched; ++n) {
            TBlkLine l;
            broken.FindLine(n, l);
            if (l.AreaA != 3 && l.AreaB != 3) continue;
            TCrds crds;
            broken.ReadLineCrds(l, crds);
            if (static_cast<int>(crds.size()) != part->getNumPoints()) continue;
            matched = true;
            for (int i = 0; i < part->getNumPoints(); ++i)
                matched = matched && part->getX(i) == X(crds[i]) && part->getY(i) == Y(crds[i]);
        }
        EXPECT_TRUE(matched) << part->exportToWkt();
    }
    const OGRLineString* last = walked->getGeometryRef(walked->getNumGeometries() - 1);
    const double bx = walk->GetFieldAsDouble("break_x"), by = walk->GetFieldAsDouble("break_y");
    EXPECT_TRUE((bx == last->getX(0) && by == last->getY(0)) ||
                (bx == last->getX(last->getNumPoints() - 1) && by == last->getY(last->getNumPoints() - 1)));
    auto areas = ByElement(ds->GetLayerByName("findings_area"));
    EXPECT_EQ(At(areas, "LE_00003.blk/2")->GetFieldAsInteger("code"), -71);
    EXPECT_EQ(At(areas, "LE_00003.blk/2")->GetGeometryRef()->getGeometryType(), wkbPolygon);

    OGRLayer* tables = ds->GetLayerByName("findings_table");
    ASSERT_TRUE(tables);
    EXPECT_EQ(tables->GetGeomType(), wkbNone);
    bool missing = false;
    tables->ResetReading();
    while (OGRFeature* raw = tables->GetNextFeature()) {
        Feature f(raw);
        EXPECT_FALSE(f->IsFieldSetAndNotNull(f->GetFieldIndex("number")));
        if (std::string(f->GetFieldAsString("text")) == "DB p0002.dbf neexistuje") {
            missing = true;
            EXPECT_STREQ(f->GetFieldAsString("table"), "p0002.dbf");
        }
    }
    EXPECT_TRUE(missing);
}

// JSON Lines and CSV on stdout, the count on stderr; every format by its extension.
TEST_F(Export, OutputFormatsAndFileFormats) {
    Outcome json = Check("--points 3 --format json");
    ASSERT_EQ(json.Status, 3) << json.Err;
    EXPECT_NE(json.Out.find("{\"block\":\"LE_00002.blk\",\"layer\":\"LE\",\"group\":\"B\",\"kind\":5,\"number\":3,"
                            "\"code\":-32,\"text\":\"uhol otočenia\",\"bbox\":["),
              std::string::npos)
        << json.Out;
    EXPECT_EQ(json.Out.find("Počet"), std::string::npos);
    EXPECT_NE(json.Err.find("Počet chýb: 2"), std::string::npos);
    Outcome csv = Check("--points 3 --format csv");
    ASSERT_EQ(csv.Status, 3);
    EXPECT_EQ(csv.Out.substr(0, csv.Out.find('\n')),
              "block,layer,group,kind,number,code,text,min_x,min_y,max_x,max_y,x,y,table,value,limit,status,since,detail");
    EXPECT_NE(csv.Out.find("\nLE_00002.blk,LE,B,5,3,-32,uhol otočenia,"), std::string::npos) << csv.Out;

    for (const char* ext : {".shp", ".csv", ".fgb"}) {
        SCOPED_TRACE(ext);
        Outcome o = Check(std::string("--points 3 --export ") + Quote((temp.Path() / (std::string("e") + ext)).string()));
        ASSERT_EQ(o.Status, 3) << o.Err;
        Dataset ds = OpenVector(temp.Path() / (std::string("e_findings_point") + ext));
        ASSERT_TRUE(ds);
        OGRLayer* layer = ds->GetLayer(0);
        EXPECT_EQ(layer->GetFeatureCount(), 2);
        std::set<std::string> texts;
        layer->ResetReading();
        while (OGRFeature* raw = layer->GetNextFeature()) {
            Feature f(raw);
            texts.insert(f->GetFieldAsString("text"));
            EXPECT_EQ(wkbFlatten(f->GetGeometryRef()->getGeometryType()), wkbPoint);
        }
        EXPECT_EQ(texts, (std::set<std::string>{"neprípustný druh vo vrstve", "uhol otočenia"}));
    }
}

// Nothing is written into a block directory, and an unknown extension is refused before the run.
TEST_F(Export, RefusesBlockDirectoriesAndUnknownFormats) {
    const fs::path inBlock = map / "LE_00002.blk" / "x.gpkg";
    Outcome o = Info((map / "LE_00002.blk").string(), inBlock);
    EXPECT_EQ(o.Status, 2);
    EXPECT_FALSE(fs::exists(inBlock));
    Outcome bad = Check("--points 3 --export " + Quote((temp.Path() / "x.kml").string()));
    EXPECT_EQ(bad.Status, 2);
    Outcome badCrs = Check("--points 3 --crs EPSG:999999 --export " + Quote((temp.Path() / "x.gpkg").string()));
    EXPECT_EQ(badCrs.Status, 2);
    EXPECT_NE(badCrs.Err.find("EPSG:999999"), std::string::npos) << badCrs.Err;
    EXPECT_FALSE(fs::exists(temp.Path() / "x.gpkg"));
    EXPECT_FALSE(fs::exists(map / "Chyby.DBF"));
}

// The writer is a module of its own: a program without it checks as before and refuses an
// export before the run, naming the module; with the module in ../lib/vexa (an installed
// program's place) it exports.
TEST_F(Export, WithoutTheWriterModuleAnExportIsRefusedBeforeTheRun) {
    const fs::path built = fs::path(VEXA_CHECK_PROGRAM).parent_path();
    const fs::path lone = temp.Path() / "bin";
    fs::create_directories(lone);
    fs::copy_file(VEXA_CHECK_PROGRAM, lone / "vexa-check");
    for (const char* name : {"StandardGXD.mdb", "Chyby.dbf"}) fs::copy_file(built / name, lone / name);
    const std::string program = (lone / "vexa-check").string();
    const fs::path gpkg = temp.Path() / "x.gpkg";

    Outcome refused = Run(program, "--points 3 --export " + Quote(gpkg.string()) + " " + Quote(map.string()));
    EXPECT_EQ(refused.Status, 2);
    EXPECT_NE(refused.Err.find("vexa-gdal.so"), std::string::npos) << refused.Err;
    EXPECT_EQ(refused.Out, "");
    EXPECT_FALSE(fs::exists(gpkg));
    EXPECT_FALSE(fs::exists(map / "Chyby.DBF"));

    Outcome checked = Run(program, "--points 3 --quiet " + Quote(map.string()));
    EXPECT_EQ(checked.Status, 3) << checked.Err;
    EXPECT_NE(checked.Out.find("LE_00002.blk\tB\t2\t6\t-31\t"), std::string::npos) << checked.Out;

    fs::create_directories(temp.Path() / "lib" / "vexa");
    fs::copy_file(built / "vexa-gdal.so", temp.Path() / "lib" / "vexa" / "vexa-gdal.so");
    Outcome exported = Run(program, "--points 3 --quiet --export " + Quote(gpkg.string()) + " " + Quote(map.string()));
    EXPECT_EQ(exported.Status, 3) << exported.Err;
    Dataset ds = OpenVector(gpkg);
    ASSERT_TRUE(ds);
    EXPECT_EQ(ds->GetLayerByName("findings_point")->GetFeatureCount(), 2);
}

// The authority code of a layer's coordinate system; "" when the file, the layer or the
// system is missing.
std::string AuthorityCode(const fs::path& file, const char* layerName) {
    Dataset ds = OpenVector(file);
    OGRLayer* layer = ds ? ds->GetLayerByName(layerName) : nullptr;
    const OGRSpatialReference* srs = layer ? layer->GetSpatialRef() : nullptr;
    const char* code = srs ? srs->GetAuthorityCode(nullptr) : nullptr;
    return code ? code : "";
}

// --crs names the map's coordinate system; the layers carry it.
TEST_F(Export, CrsOptionIsTheLayersSystem) {
    const fs::path gpkg = temp.Path() / "c.gpkg";
    Outcome o = Check("--points 3 --crs EPSG:2065 --export " + Quote(gpkg.string()));
    ASSERT_EQ(o.Status, 3) << o.Err;
    EXPECT_EQ(AuthorityCode(gpkg, "findings_point"), "2065");
    Dataset ds = OpenVector(gpkg);
    ASSERT_TRUE(ds);
    EXPECT_EQ(ds->GetLayerByName("findings_point")->GetFeatureCount(), 2);
}

// vexa-info --export takes --crs as vexa-check does: the layers carry it; an unknown one is refused.
TEST_F(Export, InfoExportTakesTheCrsOptionOfTheCheck) {
    const fs::path gpkg = temp.Path() / "b.gpkg";
    Outcome o = Run(VEXA_INFO_PROGRAM, Quote((map / "LE_00002.blk").string()) + " --export " + Quote(gpkg.string()) +
                                           " --crs EPSG:2065");
    ASSERT_EQ(o.Status, 0) << o.Err;
    EXPECT_EQ(AuthorityCode(gpkg, "lines"), "2065");
    Outcome bad = Run(VEXA_INFO_PROGRAM, Quote((map / "LE_00002.blk").string()) + " --export " +
                                             Quote((temp.Path() / "x.gpkg").string()) + " --crs EPSG:999999");
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("EPSG:999999"), std::string::npos) << bad.Err;
    EXPECT_FALSE(fs::exists(temp.Path() / "x.gpkg"));
}

// The sample's area with an island, end to end: the export of its block and the JSON of
// the area limit give one polygon with one hole, valid, of the size the block stores.
TEST_F(Export, AnAreaWithAnIslandIsOnePolygonWithAHole) {
    const fs::path gpkg = temp.Path() / "a.gpkg";
    Outcome o = Info((map / "LE_00001.blk").string(), gpkg);
    ASSERT_EQ(o.Status, 0) << o.Err;
    Dataset ds = OpenVector(gpkg);
    ASSERT_TRUE(ds);
    const auto areas = ByElement(ds->GetLayerByName("areas"));
    const OGRGeometry* g = At(areas, "LE_00001.blk/1")->GetGeometryRef();
    ASSERT_EQ(wkbFlatten(g->getGeometryType()), wkbPolygon);
    EXPECT_TRUE(g->IsValid());
    EXPECT_EQ(g->toPolygon()->getNumInteriorRings(), 1);
    EXPECT_DOUBLE_EQ(g->toPolygon()->get_Area(), 37500);
    EXPECT_FALSE(g->toPolygon()->getExteriorRing()->isClockwise());
    EXPECT_TRUE(g->toPolygon()->getInteriorRing(0)->isClockwise());
    EXPECT_DOUBLE_EQ(At(areas, "LE_00001.blk/7")->GetGeometryRef()->toPolygon()->get_Area(), 12500);

    Outcome json = Check("--areas 4 --area-limit 40000 --format json");
    ASSERT_EQ(json.Status, 3) << json.Err;
    std::istringstream in(json.Out);
    int found = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.find("\"block\":\"LE_00001.blk\"") == std::string::npos ||
            line.find("\"number\":1,") == std::string::npos)
            continue;
        ++found;
        EXPECT_EQ(NumbersAfter(line, "value"), std::vector<double>{37500});
        const std::size_t at = line.find("\"geometry\":") + 11;
        const std::size_t end = line.find("},", at) + 1;
        OGRGeometryH h = OGR_G_CreateGeometryFromJson(line.substr(at, end - at).c_str());
        ASSERT_TRUE(h) << line;
        EXPECT_EQ(wkbFlatten(OGR_G_GetGeometryType(h)), wkbPolygon);
        EXPECT_TRUE(OGR_G_IsValid(h));
        EXPECT_EQ(OGR_G_GetGeometryCount(h), 2) << "the outer ring and one hole";
        EXPECT_DOUBLE_EQ(OGR_G_Area(h), 37500);
        OGR_G_DestroyGeometry(h);
    }
    EXPECT_EQ(found, 1);

    // The error browser's export places its rows the same way.
    const fs::path browser = temp.Path() / "browser.gpkg";
    gisexport::WriteLayers(
        browser.string(),
        gisexport::PlacedFindingLayers(map.string(), {{-74, "LE_00001.blk", "LE", "P", 1, 1, "podlimitná plocha"}}));
    Dataset placed = OpenVector(browser);
    ASSERT_TRUE(placed);
    OGRLayer* layer = placed->GetLayerByName("findings_area");
    ASSERT_TRUE(layer);
    ASSERT_EQ(layer->GetFeatureCount(), 1);
    layer->ResetReading();
    Feature row(layer->GetNextFeature());
    const OGRGeometry* rowShape = row->GetGeometryRef();
    EXPECT_TRUE(rowShape->IsValid());
    EXPECT_EQ(rowShape->toPolygon()->getNumInteriorRings(), 1);
    EXPECT_DOUBLE_EQ(rowShape->toPolygon()->get_Area(), 37500);
}

// An area with outer rings apart (an outer ring inside the hole of another) is written as
// one multipolygon in every GIS format, holes kept.
TEST(ExportPolygons, AnAreaOfSeveralPolygonsIsOneMultipolygonInEveryFormat) {
    auto ring = [](double x0, double y0, double x1, double y1, bool clockwise) {
        TPlaceRing r = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
        if (clockwise) std::reverse(r.begin(), r.end());
        return r;
    };
    TFinding f;
    f.Record = {-74, "LE_00001.blk", "LE", "P", 1, 1, "podlimitná plocha"};
    f.Place.Shape = TPlaceShape::Area;
    const double x = -512000, y = -1210000;
    f.Place.Polygons = {{ring(x, y, x + 200, y + 200, false), ring(x + 40, y + 40, x + 160, y + 160, true)},
                        {ring(x + 80, y + 80, x + 120, y + 120, false)}};
    f.Place.Crds = f.Place.Polygons[0][0];
    f.Place.Anchor = {x + 100, y + 100};
    testkit::TempDir temp;
    for (const char* ext : {".gpkg", ".fgb", ".shp", ".geojson"}) {
        SCOPED_TRACE(ext);
        const std::string file = (temp.Path() / (std::string("x") + ext)).string();
        gisexport::WriteLayers(file, gisexport::FindingLayers({f}));
        const bool many = std::string(ext) == ".gpkg";
        Dataset ds = OpenVector(many ? fs::path(file) : temp.Path() / (std::string("x_findings_area") + ext));
        ASSERT_TRUE(ds);
        OGRLayer* layer = many ? ds->GetLayerByName("findings_area") : ds->GetLayer(0);
        ASSERT_TRUE(layer);
        ASSERT_EQ(layer->GetFeatureCount(), 1);
        layer->ResetReading();
        Feature feature(layer->GetNextFeature());
        const OGRGeometry* g = feature->GetGeometryRef();
        ASSERT_EQ(wkbFlatten(g->getGeometryType()), wkbMultiPolygon);
        const OGRMultiPolygon* m = g->toMultiPolygon();
        ASSERT_EQ(m->getNumGeometries(), 2);
        EXPECT_EQ(m->getGeometryRef(0)->getNumInteriorRings() + m->getGeometryRef(1)->getNumInteriorRings(), 1);
        EXPECT_TRUE(g->IsValid());
        if (std::string(ext) != ".geojson")  // in longitude and latitude
            EXPECT_DOUBLE_EQ(m->get_Area(), 40000 - 14400 + 1600);
    }
}

// An area whose walk passes two squares meeting at one corner (its links made so): vexa-check
// gives its limit finding as a MultiPolygon of both, measured as both.
TEST_F(Export, AnAreaOfTwoPartsIsAMultiPolygonInTheJson) {
    testkit::BlockSpec content;
    content.AddLine(1, 1, {{10, 10}, {0, 10}, {0, 0}, {10, 0}, {10, 10}});
    content.AddLine(2, 1, {{10, 10}, {20, 10}, {20, 20}, {10, 20}, {10, 10}});
    for (TBlkLine& l : content.Lines) {
        l.AreaA = 1;
        l.AreaB = -1;
    }
    testkit::LinkLines(content);
    // Around area 1 each square leads on to the other at the corner they share.
    for (TBlkLine& l : content.Lines) {
        l.NextA = l.PrevA = l.Number == 1 ? 2 : 1;
        l.NextARev = l.PrevARev = 0;
    }
    TBlkArea area = testkit::MakeArea(1, 1, 1);
    area.AreaSize = testkit::R(200);
    area.RefX = testkit::R(5);
    area.RefY = testkit::R(5);
    content.Areas = {area};
    const fs::path two = temp.Path() / "two";
    testkit::WriteBlock(two / "LE_00001.blk", content);

    Outcome o = Run(VEXA_CHECK_PROGRAM, "--areas 4 --area-limit 1000 --format json " + Quote(two.string()));
    ASSERT_EQ(o.Status, 1) << o.Err;
    EXPECT_EQ(NumbersAfter(o.Out, "value"), std::vector<double>{200}) << o.Out;
    const std::size_t at = o.Out.find("\"geometry\":") + 11;
    const std::size_t end = o.Out.find("},", at) + 1;
    OGRGeometryH h = OGR_G_CreateGeometryFromJson(o.Out.substr(at, end - at).c_str());
    ASSERT_TRUE(h) << o.Out;
    EXPECT_EQ(wkbFlatten(OGR_G_GetGeometryType(h)), wkbMultiPolygon);
    EXPECT_EQ(OGR_G_GetGeometryCount(h), 2);
    EXPECT_TRUE(OGR_G_IsValid(h));
    EXPECT_DOUBLE_EQ(OGR_G_Area(h), 200);
    OGR_G_DestroyGeometry(h);
}

// The error browser's rows placed from the blocks: a row finding at its element, a missing
// table's finding naming the table, no place where the block or the element is not there.
TEST_F(Export, TableRowsArePlacedFromTheBlocks) {
    const std::vector<TErrorRecord> records = {
        {-31, "LE_00002.blk", "LE", "B", 6, 2, "neprípustný druh vo vrstve"},
        {-93, "LE_00003.blk", std::nullopt, "P", std::nullopt, 1, "zle vyplnený DB záznam"},
        {-72, "LE_00003.blk", "LE", "P", 1, 3, "chybná topológia plochy"},
        {-91, "LE_00002.blk", std::nullopt, "L", std::nullopt, std::nullopt, "DB l0021.dbf neexistuje"},
        {-93, "LE_00002.blk", std::nullopt, "P", std::nullopt, std::nullopt, "chybná DB štruktúra"},
        {-31, "LE_00077.blk", "LE", "B", 6, 2, "neprípustný druh vo vrstve"},
        {-11, "LE_00002.blk", "LE", "L", 1, 9999, "neprípustný druh vo vrstve"}};
    const std::vector<TFinding> found = gisexport::PlaceFindings(map.string(), records);
    ASSERT_EQ(found.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) EXPECT_EQ(found[i].Record, records[i]);

    TBlk b2(false), b3(false);
    b2.Open((map / "LE_00002.blk").string(), TBlkOpenMode::ReadOnly);
    b3.Open((map / "LE_00003.blk").string(), TBlkOpenMode::ReadOnly);
    TBlkPoint p;
    b2.FindPoint(2, p);
    EXPECT_EQ(found[0].Place.Shape, TPlaceShape::Point);
    EXPECT_EQ(found[0].Place.Anchor, (TPlaceXY{static_cast<double>(p.X.Value()), static_cast<double>(p.Y.Value())}));

    TBlkArea a;
    b3.FindArea(1, a);
    TCrds ring;
    std::string reason;
    ASSERT_TRUE(AreaRing(b3, a, ring, reason)) << reason;
    EXPECT_EQ(found[1].Place.Shape, TPlaceShape::Area);
    ASSERT_EQ(found[1].Place.Crds.size(), ring.size());
    EXPECT_EQ(found[1].Place.Crds.front().X, X(ring.front()));
    EXPECT_EQ(found[1].Place.Crds.front(), found[1].Place.Crds.back()) << "a closed ring";

    EXPECT_EQ(found[2].Place.Shape, TPlaceShape::AreaPoint);
    b3.FindArea(3, a);
    EXPECT_EQ(found[2].Place.Anchor,
              (TPlaceXY{static_cast<double>(a.RefX.Value()), static_cast<double>(a.RefY.Value())}));
    EXPECT_FALSE(found[2].Place.Reason.empty());

    EXPECT_TRUE(found[3].Place.Empty());
    EXPECT_EQ(found[3].Place.Table, "l0021.dbf");
    EXPECT_TRUE(found[4].Place.Empty());
    EXPECT_TRUE(found[5].Place.Empty()) << "no such block";
    EXPECT_TRUE(found[6].Place.Empty()) << "no such line";
}

// One table of output formats: the extensions that choose a GIS format (in any letter
// case), the refusal that lists them, the browser's file filter, the printed formats
// of vexa-check, and the README's list of both.
TEST(FindingFormats, OneTableGivesTheListsTheFilterAndTheRefusals) {
    const std::map<std::string, std::string> drivers = {{"x.gpkg", "GPKG"},      {"x.GeoJSON", "GeoJSON"},
                                                        {"x.json", "GeoJSON"},   {"d/x.SHP", "ESRI Shapefile"},
                                                        {"x.csv", "CSV"},        {"x.fgb", "FlatGeobuf"}};
    for (const auto& [file, driver] : drivers) EXPECT_EQ(gisexport::GisFormatOf(file).Driver, driver) << file;
    EXPECT_TRUE(gisexport::GisFormatOf("x.gpkg").ManyLayers);
    EXPECT_FALSE(gisexport::GisFormatOf("x.shp").ManyLayers);
    for (const char* file : {"x.kml", "x", "x.gpkg.tmp", "json"}) {
        try {
            gisexport::GisFormatOf(file);
            ADD_FAILURE() << file;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), std::string("Neznámy formát exportu (.gpkg, .geojson, .shp, .csv, .fgb)\r(") + file + ")");
        }
    }
    EXPECT_EQ(gisexport::GisExtensions(true), ".gpkg, .geojson (WGS 84), .shp, .csv, .fgb");
    EXPECT_EQ(gisexport::GisFileFilter(),
              "GeoPackage, GeoJSON, Shapefile, CSV, FlatGeobuf|*.gpkg *.geojson *.shp *.csv *.fgb");
    EXPECT_EQ(gisexport::PrintedFormatNames("|"), "text|json|csv");
    ASSERT_TRUE(gisexport::PrintedFormat("csv"));
    EXPECT_EQ(gisexport::PrintedFormat("csv")->Writer, gisexport::TFormatWriter::Csv);
    EXPECT_EQ(gisexport::PrintedFormat("gpkg"), nullptr);
    EXPECT_EQ(gisexport::PrintedFormat("GeoJSON"), nullptr) << "a GIS format is not printed";

    // The README names every listed format as the table does.
    std::ifstream in(VEXA_README);
    ASSERT_TRUE(in) << VEXA_README;
    std::stringstream readme;
    readme << in.rdbuf();
    std::string text = readme.str();
    for (char& c : text)
        if (c == '\n') c = ' ';
    EXPECT_NE(text.find("[--format " + gisexport::PrintedFormatNames("|") + "]"), std::string::npos);
    for (const gisexport::TFindingFormat& f : gisexport::kFindingFormats)
        if (f.Writer == gisexport::TFormatWriter::Gis && f.Listed) {
            EXPECT_NE(text.find(std::string("`") + f.Extension + "` " + f.Name), std::string::npos) << f.Extension;
        }
}

// The browser's export and vexa-check's go through one sink: an unknown format is refused
// before any finding is asked for; the sink keeps each finding as the error table stores
// it and writes it into the finding layers as it comes.
TEST_F(Export, TheExportSinkWritesWhatItWasGiven) {
    bool asked = false;
    EXPECT_THROW(gisexport::ExportFindings((temp.Path() / "x.kml").string(), gisexport::kDefaultCrs,
                                           [&](IFindingSink&) { asked = true; }),
                 Exception);
    EXPECT_FALSE(asked);
    const std::vector<TErrorRecord> records = {
        {-31, "LE_00002.blk", "LE", "B", 6, 2, "neprípustný druh vo vrstve"},
        {-91, "LE_00002.blk", std::nullopt, "L", std::nullopt, std::nullopt, "DB l0021.dbf neexistuje"},
        {-14, "LE_00002.blk", "LE", "L", 1, 1, "duplikátne línie: " + std::string(300, '9')}};
    std::size_t count = 0;
    const std::vector<std::string> written =
        gisexport::ExportFindings((temp.Path() / "s.gpkg").string(), gisexport::kDefaultCrs, [&](IFindingSink& sink) {
            EXPECT_TRUE(sink.WantsPlaces());
            gisexport::ForEachPlacedFinding(map.string(), records, [&](const TFinding& f) { sink.Add(f); });
            count = static_cast<gisexport::TFindingExport&>(sink).Count();
        });
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(written.size(), 1u);
    Dataset ds = OpenVector(written[0]);
    ASSERT_TRUE(ds);
    ASSERT_TRUE(ds->GetLayerByName("findings_point"));
    EXPECT_EQ(ds->GetLayerByName("findings_point")->GetFeatureCount(), 1);
    ASSERT_TRUE(ds->GetLayerByName("findings_table"));
    EXPECT_EQ(ds->GetLayerByName("findings_table")->GetFeatureCount(), 1);
    OGRLayer* lines = ds->GetLayerByName("findings_line");
    ASSERT_TRUE(lines);
    lines->ResetReading();
    Feature line(lines->GetNextFeature());
    ASSERT_TRUE(line);
    EXPECT_EQ(std::string(line->GetFieldAsString("text")), "duplikátne línie: " + std::string(254 - 18, '9'))
        << "cut as the error table's column";
}

}  // namespace

