// The GDAL driver read through GDAL's own API: the sample map's blocks and the map as a
// whole against the GeoPackages of vexa-info --export, filters, the findings of a check
// run, nothing written, damaged blocks refused without a crash.
#include "kit/BlockKit.h"
#include "kit/DrawingRank.h"
#include "standard/FindingKinds.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace vexa;
namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct DatasetCloser {
    void operator()(GDALDataset* ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

// GDAL with the plugin of this build only (GDAL_DRIVER_PATH), registered once.
void RegisterOnce() {
    static const bool done = [] {
        setenv("GDAL_DRIVER_PATH", VEXA_GDAL_PLUGIN_DIR, 1);
        GDALAllRegister();
        return true;
    }();
    (void)done;
}

Dataset Open(const std::string& name, const char* const* drivers = nullptr, const char* const* options = nullptr,
             unsigned flags = GDAL_OF_VECTOR | GDAL_OF_READONLY) {
    RegisterOnce();
    return Dataset(static_cast<GDALDataset*>(GDALOpenEx(name.c_str(), flags, drivers, options, nullptr)));
}

const char* const kVexaOnly[] = {"Vexa", nullptr};
const char* const kGpkgOnly[] = {"GPKG", nullptr};

// A field's value as text, copied at once (GDAL reuses the buffer of the next call).
std::string Text(OGRFeature& f, const char* name) {
    const int i = f.GetFieldIndex(name);
    return i >= 0 && f.IsFieldSetAndNotNull(i) ? std::string(f.GetFieldAsString(i)) : std::string();
}

// A feature as text: its fields by name and its geometry as WKT, the FID left out.
std::string Describe(OGRFeature& f) {
    std::string out;
    OGRFeatureDefn* defn = f.GetDefnRef();
    for (int i = 0; i < defn->GetFieldCount(); ++i) {
        out += defn->GetFieldDefn(i)->GetNameRef();
        out += "=";
        out += f.IsFieldSetAndNotNull(i) ? f.GetFieldAsString(i) : "<null>";
        out += ";";
    }
    if (OGRGeometry* g = f.GetGeometryRef()) {
        char* wkt = nullptr;
        g->exportToWkt(&wkt);
        out += wkt;
        CPLFree(wkt);
    }
    return out;
}

// Every feature of a layer, described, in reading order.
std::vector<std::string> Features(OGRLayer* layer) {
    std::vector<std::string> out;
    layer->ResetReading();
    while (OGRFeature* f = layer->GetNextFeature()) {
        out.push_back(Describe(*f));
        OGRFeature::DestroyFeature(f);
    }
    return out;
}

std::string Schema(OGRLayer* layer) {
    std::string out = std::string(layer->GetName()) + " " + OGRGeometryTypeToName(layer->GetGeomType()) + ":";
    OGRFeatureDefn* defn = layer->GetLayerDefn();
    for (int i = 0; i < defn->GetFieldCount(); ++i) {
        OGRFieldDefn* fd = defn->GetFieldDefn(i);
        out += std::string(" ") + fd->GetNameRef() + "/" + OGRFieldDefn::GetFieldTypeName(fd->GetType()) + "/" +
               OGRFieldDefn::GetFieldSubTypeName(fd->GetSubType());
    }
    return out;
}

// Every file of a directory tree with its bytes and modification time.
std::map<std::string, std::pair<std::vector<unsigned char>, long long>> Snapshot(const fs::path& dir) {
    std::map<std::string, std::pair<std::vector<unsigned char>, long long>> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        struct stat st {};
        stat(e.path().c_str(), &st);
        out[e.path().string()] = {testkit::ReadFileBytes(e.path()),
                                  static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
    }
    return out;
}

class GdalDriver : public ::testing::Test {
protected:
    void SetUp() override { fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive); }
    int Run(const std::string& program, const std::string& args) {
        const std::string command = "TMPDIR=" + Quote(temp.Path().string()) + " " + Quote(program) + " " + args + " >" +
                                    Quote(temp / "out") + " 2>" + Quote(temp / "err");
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    // The GeoPackage vexa-info --export writes for a block or the map.
    fs::path Export(const fs::path& target, const std::string& name) {
        const fs::path file = temp.Path() / (name + ".gpkg");
        EXPECT_EQ(Run(VEXA_INFO_PROGRAM, Quote(target.string()) + " --export " + Quote(file.string())), 0)
            << testkit::ReadFileText(temp / "err");
        return file;
    }
    std::vector<fs::path> Blocks() const {
        std::vector<fs::path> out;
        for (const auto& e : fs::directory_iterator(map))
            if (e.is_directory() && e.path().extension() == ".blk") out.push_back(e.path());
        std::sort(out.begin(), out.end());
        return out;
    }

    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
};

// Each block of the sample and the map as a whole: the same layers in the same order, the
// same fields of the same types, the same features, counts and coordinate system.
TEST_F(GdalDriver, LayersEqualThoseOfTheExport) {
    std::vector<fs::path> targets = Blocks();
    ASSERT_GE(targets.size(), 5u);
    targets.push_back(map);
    std::size_t features = 0;
    for (const fs::path& target : targets) {
        SCOPED_TRACE(target.string());
        const fs::path gpkg = Export(target, target.filename().string());
        Dataset exported = Open(gpkg.string(), kGpkgOnly);
        Dataset driven = Open(target.string());
        ASSERT_TRUE(exported && driven);
        EXPECT_STREQ(driven->GetDriver()->GetDescription(), "Vexa");
        std::vector<std::string> exportedLayers, drivenLayers;
        for (int i = 0; i < exported->GetLayerCount(); ++i)
            if (std::string name = exported->GetLayer(i)->GetName(); name != "layer_styles" && name != "qgis_projects")
                exportedLayers.push_back(name);
        for (int i = 0; i < driven->GetLayerCount(); ++i) drivenLayers.push_back(driven->GetLayer(i)->GetName());
        // In the GeoPackage's order (a GIS draws the areas under the lines under points and
        // texts), with the counts vexa-info prints ({"layer":"lines","features":59}).
        EXPECT_EQ(drivenLayers, exportedLayers);
        for (int i = 1; i < driven->GetLayerCount(); ++i)
            EXPECT_LE(testkit::DrawingRank(driven->GetLayer(i - 1)), testkit::DrawingRank(driven->GetLayer(i))) << drivenLayers[i];
        std::vector<std::string> printedLayers;
        std::vector<GIntBig> printedCounts;
        {
            std::istringstream out(testkit::ReadFileText(temp / "out"));
            for (std::string line; std::getline(out, line);) {
                const auto at = line.find("\"layer\":\""), count = line.find("\"features\":");
                if (at == std::string::npos || count == std::string::npos) continue;
                const auto from = at + 9;
                printedLayers.push_back(line.substr(from, line.find('"', from) - from));
                printedCounts.push_back(std::stoll(line.substr(count + 11)));
            }
        }
        std::vector<std::string> printedSorted = printedLayers, drivenSorted = drivenLayers;
        std::sort(printedSorted.begin(), printedSorted.end());
        std::sort(drivenSorted.begin(), drivenSorted.end());
        EXPECT_EQ(drivenSorted, printedSorted) << testkit::ReadFileText(temp / "out");
        for (std::size_t i = 0; i < printedLayers.size() && i < printedCounts.size(); ++i) {
            OGRLayer* layer = driven->GetLayerByName(printedLayers[i].c_str());
            ASSERT_NE(layer, nullptr) << printedLayers[i];
            EXPECT_EQ(layer->GetFeatureCount(TRUE), printedCounts[i]) << printedLayers[i];
        }
        std::sort(exportedLayers.begin(), exportedLayers.end());
        std::vector<std::string> sortedLayers = drivenLayers;
        std::sort(sortedLayers.begin(), sortedLayers.end());
        ASSERT_EQ(sortedLayers, exportedLayers);
        for (const std::string& name : drivenLayers) {
            SCOPED_TRACE(name);
            OGRLayer* e = exported->GetLayerByName(name.c_str());
            OGRLayer* d = driven->GetLayerByName(name.c_str());
            EXPECT_EQ(Schema(d), Schema(e));
            const std::vector<std::string> de = Features(e), dd = Features(d);
            EXPECT_EQ(dd, de);
            features += dd.size();
            EXPECT_EQ(d->GetFeatureCount(TRUE), static_cast<GIntBig>(de.size()));
            if (d->TestCapability(OLCFastFeatureCount))
                EXPECT_EQ(d->GetFeatureCount(FALSE), static_cast<GIntBig>(de.size()));
            if (d->GetGeomType() != wkbNone && !de.empty()) {
                ASSERT_NE(d->GetSpatialRef(), nullptr);
                EXPECT_STREQ(d->GetSpatialRef()->GetAuthorityCode(nullptr), "5514");
                OGREnvelope ee, ed;
                ASSERT_EQ(e->GetExtent(&ee, TRUE), OGRERR_NONE);
                ASSERT_EQ(d->GetExtent(&ed, TRUE), OGRERR_NONE);
                // From the stored rectangles: at least what the geometries cover.
                EXPECT_LE(ed.MinX, ee.MinX + 1e-6);
                EXPECT_LE(ed.MinY, ee.MinY + 1e-6);
                EXPECT_GE(ed.MaxX, ee.MaxX - 1e-6);
                EXPECT_GE(ed.MaxY, ee.MaxY - 1e-6);
            }
        }
    }
    EXPECT_GT(features, 100u);
}

// A window and a where clause: the driver gives what GDAL's own filters keep of the export.
TEST_F(GdalDriver, SpatialAndAttributeFiltersKeepWhatTheExportKeeps) {
    const fs::path gpkg = Export(map, "map");
    Dataset exported = Open(gpkg.string(), kGpkgOnly);
    Dataset driven = Open(map.string(), kVexaOnly);
    ASSERT_TRUE(exported && driven);
    std::size_t kept = 0, all = 0;
    for (const char* name : {"lines", "points", "texts", "areas", "areas_unclosed"}) {
        SCOPED_TRACE(name);
        OGRLayer* e = exported->GetLayerByName(name);
        OGRLayer* d = driven->GetLayerByName(name);
        ASSERT_TRUE(e && d);
        all += Features(d).size();
        OGREnvelope env;
        ASSERT_EQ(d->GetExtent(&env, TRUE), OGRERR_NONE);
        // The south-west quarter of the layer.
        const double midX = (env.MinX + env.MaxX) / 2, midY = (env.MinY + env.MaxY) / 2;
        e->SetSpatialFilterRect(env.MinX - 1, env.MinY - 1, midX, midY);
        d->SetSpatialFilterRect(env.MinX - 1, env.MinY - 1, midX, midY);
        // A GeoPackage gives what its index finds in the index's order.
        std::vector<std::string> fe = Features(e), fd = Features(d);
        std::sort(fe.begin(), fe.end());
        std::sort(fd.begin(), fd.end());
        EXPECT_EQ(fd, fe);
        EXPECT_EQ(d->GetFeatureCount(TRUE), static_cast<GIntBig>(fe.size()));
        kept += fd.size();
        e->SetSpatialFilter(nullptr);
        d->SetSpatialFilter(nullptr);
        ASSERT_EQ(e->SetAttributeFilter("kind = 1 AND number > 2"), OGRERR_NONE);
        ASSERT_EQ(d->SetAttributeFilter("kind = 1 AND number > 2"), OGRERR_NONE);
        EXPECT_FALSE(d->TestCapability(OLCFastFeatureCount));
        EXPECT_EQ(Features(d), Features(e));
        EXPECT_EQ(d->GetFeatureCount(TRUE), e->GetFeatureCount(TRUE));
        d->SetAttributeFilter(nullptr);
    }
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, all);
}

// After a check run the map opens with the findings of Chyby.DBF: each element row once, in a
// layer by its place, with its code's caption; an exception shows with its status and reason.
TEST_F(GdalDriver, FindingsLayersHoldTheErrorTableAndTheExceptions) {
    const std::string options = "--lines 63 --points 3 --texts 3 --areas 7 --db 1 ";
    ASSERT_EQ(Run(VEXA_CHECK_PROGRAM, options + Quote(map.string())), 3) << testkit::ReadFileText(temp / "err");
    const fs::path table = map / "Chyby.DBF";
    ASSERT_TRUE(fs::exists(table));

    // The table's rows through GDAL's own dBASE reading.
    auto rowsOf = [&](const fs::path& file) {
        std::multiset<std::string> element, tables;
        const char* const shape[] = {"ESRI Shapefile", nullptr};
        Dataset dbf = Open(file.string(), shape);
        EXPECT_TRUE(dbf);
        if (!dbf) return std::pair(element, tables);
        OGRLayer* rows = dbf->GetLayer(0);
        rows->ResetReading();
        while (OGRFeature* f = rows->GetNextFeature()) {
            const std::string key = std::string(Text(*f, "Blok")) + "|" + Text(*f, "Prvok") + "|" + Text(*f, "Cislo") +
                                    "|" + Text(*f, "Id");
            (f->IsFieldSetAndNotNull(f->GetFieldIndex("Cislo")) ? element : tables).insert(key);
            OGRFeature::DestroyFeature(f);
        }
        return std::pair(element, tables);
    };
    auto findingsOf = [&](Dataset& ds, std::multiset<std::string>* excepted = nullptr) {
        std::multiset<std::string> element, tables;
        for (int i = 0; i < ds->GetLayerCount(); ++i) {
            OGRLayer* layer = ds->GetLayer(i);
            const std::string name = layer->GetName();
            if (!name.starts_with("findings_") || name == "findings_area_walk") continue;
            layer->ResetReading();
            while (OGRFeature* f = layer->GetNextFeature()) {
                const std::string key = std::string(Text(*f, "block")) + "|" + Text(*f, "group") + "|" +
                                        Text(*f, "number") + "|" + Text(*f, "code");
                const std::string status = Text(*f, "status");
                const int code = f->GetFieldAsInteger("code");
                std::string caption;
                for (const TFindingCode& c : FindingCodes)
                    if (c.Code == code) caption = c.Filter;
                EXPECT_EQ(Text(*f, "caption"), caption) << key;
                if (status == "excepted") {
                    if (excepted) excepted->insert(key + "|" + Text(*f, "exception_reason"));
                } else {
                    EXPECT_EQ(status, "reported") << key;
                    (name == "findings_table" ? tables : element).insert(key);
                    EXPECT_EQ(f->GetGeometryRef() == nullptr, name == "findings_table") << key;
                }
                OGRFeature::DestroyFeature(f);
            }
        }
        return std::pair(element, tables);
    };

    {
        const auto [rowsElement, rowsTables] = rowsOf(table);
        ASSERT_GE(rowsElement.size(), 5u);
        Dataset driven = Open(map.string(), kVexaOnly);
        ASSERT_TRUE(driven);
        const auto [element, tables] = findingsOf(driven);
        EXPECT_EQ(element, rowsElement);
        EXPECT_EQ(tables.size(), rowsTables.size());
        // The findings listed first (drawn over the map), each part with its areas last.
        std::vector<std::string> names;
        for (OGRLayer* layer : driven->GetLayers()) names.push_back(layer->GetName());
        ASSERT_GE(names.size(), 12u);
        const std::vector<std::string> findings(names.begin(), names.begin() + 7);
        EXPECT_EQ(findings, (std::vector<std::string>{"findings_point", "findings_area_unclosed", "findings_text",
                                                      "findings_line", "findings_area_walk", "findings_area",
                                                      "findings_table"}));
        EXPECT_EQ(std::vector<std::string>(names.begin() + 7, names.begin() + 12),
                  (std::vector<std::string>{"points", "areas_unclosed", "texts", "lines", "areas"}));
    }
    {
        // Without FINDINGS=NO the block layers only.
        const char* const no[] = {"FINDINGS=NO", nullptr};
        Dataset driven = Open(map.string(), kVexaOnly, no);
        ASSERT_TRUE(driven);
        EXPECT_EQ(driven->GetLayerByName("findings_line"), nullptr);
        EXPECT_NE(driven->GetLayerByName("lines"), nullptr);
    }

    // One line finding excepted, the check run again: out of Chyby.DBF, in the layers as excepted.
    std::string block, number, code;
    {
        Dataset driven = Open(map.string(), kVexaOnly);
        OGRLayer* lines = driven->GetLayerByName("findings_line");
        ASSERT_NE(lines, nullptr);
        lines->ResetReading();
        OGRFeature* f = lines->GetNextFeature();
        ASSERT_NE(f, nullptr);
        block = Text(*f, "block");
        number = Text(*f, "number");
        code = Text(*f, "code");
        OGRFeature::DestroyFeature(f);
    }
    ASSERT_EQ(Run(VEXA_REVIEW_PROGRAM, Quote(map.string()) + " except " + Quote(block) + " L:" + number + " " + code +
                                           " --reason " + Quote("hranica porastu")),
              0)
        << testkit::ReadFileText(temp / "err");
    ASSERT_EQ(Run(VEXA_CHECK_PROGRAM, options + Quote(map.string())), 3);
    const auto [rowsElement, rowsTables] = rowsOf(table);
    Dataset driven = Open(map.string(), kVexaOnly);
    ASSERT_TRUE(driven);
    std::multiset<std::string> excepted;
    const auto [element, tables] = findingsOf(driven, &excepted);
    EXPECT_EQ(element, rowsElement);
    EXPECT_EQ(excepted, (std::multiset<std::string>{block + "|L|" + number + "|" + code + "|hranica porastu"}));
    EXPECT_EQ(rowsElement.count(block + "|L|" + number + "|" + code), 0u);
}

// Opening and reading every layer, counts and extents included, changes no byte and no time
// of the map's files; update access is refused.
TEST_F(GdalDriver, NothingIsWritten) {
    ASSERT_EQ(Run(VEXA_CHECK_PROGRAM, "--lines 63 --areas 7 " + Quote(map.string())), 3);
    const auto before = Snapshot(map);
    {
        Dataset driven = Open(map.string(), kVexaOnly);
        ASSERT_TRUE(driven);
        for (int i = 0; i < driven->GetLayerCount(); ++i) {
            OGRLayer* layer = driven->GetLayer(i);
            Features(layer);
            layer->GetFeatureCount(TRUE);
            OGREnvelope env;
            layer->GetExtent(&env, TRUE);
            layer->SetSpatialFilterRect(-512300, -1210400, -512000, -1210200);
            Features(layer);
        }
        for (const fs::path& block : Blocks()) {
            Dataset one = Open((block / "tn.lin").string(), kVexaOnly);
            ASSERT_TRUE(one) << block;
            for (int i = 0; i < one->GetLayerCount(); ++i) Features(one->GetLayer(i));
        }
    }
    EXPECT_TRUE(Snapshot(map) == before);
    CPLPushErrorHandler(CPLQuietErrorHandler);
    Dataset update = Open(map.string(), kVexaOnly, nullptr, GDAL_OF_VECTOR | GDAL_OF_UPDATE);
    CPLPopErrorHandler();
    EXPECT_FALSE(update);
    EXPECT_TRUE(Snapshot(map) == before);
}

// The driver as GDAL lists it, what it claims and what it leaves to other drivers.
TEST_F(GdalDriver, ListedWithItsNameAndOptions) {
    RegisterOnce();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("Vexa");
    ASSERT_NE(driver, nullptr);
    EXPECT_STREQ(driver->GetMetadataItem(GDAL_DMD_LONGNAME), "Vexa: bloky a chyby lesníckej mapy (len čítanie)");
    const std::string options = driver->GetMetadataItem(GDAL_DMD_OPENOPTIONLIST);
    for (const char* name : {"'CRS'", "'FINDINGS'", "'EXCEPTIONS'"}) EXPECT_NE(options.find(name), std::string::npos);
    // A block directory reaches this driver before the Shapefile driver sees its tables.
    Dataset block = Open((map / "LE_00001.blk").string());
    ASSERT_TRUE(block);
    EXPECT_STREQ(block->GetDriver()->GetDescription(), "Vexa");
    Dataset prefixed = Open("VEXA:" + (map / "LE_00001.blk").string());
    EXPECT_TRUE(prefixed);
    // A directory of plain tables is not a map.
    const fs::path tables = temp.Path() / "tables";
    fs::create_directories(tables);
    fs::copy_file(map / "LE_00001.blk" / "p0001.dbf", tables / "p0001.dbf");
    Dataset other = Open(tables.string());
    if (other) EXPECT_STRNE(other->GetDriver()->GetDescription(), "Vexa");
    // The CRS option names the layers' system.
    const char* const crs[] = {"CRS=EPSG:3857", nullptr};
    Dataset mercator = Open((map / "LE_00001.blk").string(), kVexaOnly, crs);
    ASSERT_TRUE(mercator);
    EXPECT_STREQ(mercator->GetLayerByName("lines")->GetSpatialRef()->GetAuthorityCode(nullptr), "3857");
}

// Damaged blocks: a cut or scrambled file set is refused with a GDAL error or read to its
// end, never a crash or a hang.
TEST_F(GdalDriver, DamagedBlocksAreRefusedOrReadToTheirEnd) {
    const fs::path source = map / "LE_00002.blk";
    {
        const fs::path cut = temp.Path() / "cut" / "LE_00002.blk";
        fs::create_directories(cut.parent_path());
        fs::copy(source, cut);
        std::vector<unsigned char> lin = testkit::ReadFileBytes(cut / "tn.lin");
        lin.resize(lin.size() - 40);
        testkit::WriteFileBytes(cut / "tn.lin", lin);
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
        Dataset ds = Open(cut.string(), kVexaOnly);
        CPLPopErrorHandler();
        EXPECT_FALSE(ds);
        EXPECT_NE(std::string(CPLGetLastErrorMsg()).find(cut.filename().string()), std::string::npos)
            << CPLGetLastErrorMsg();
    }
    std::mt19937 random(38);
    int refused = 0, read = 0;
    for (int round = 0; round < 40; ++round) {
        const fs::path dir = temp.Path() / ("bad" + std::to_string(round)) / "LE_00002.blk";
        fs::create_directories(dir.parent_path());
        fs::copy(source, dir);
        for (const char* name : {"tn.lin", "tn.are", "tn.crd", "tn.pnt", "tn.tbx", "p0001.dbf"}) {
            if (!fs::exists(dir / name) || random() % 3 != 0) continue;
            std::vector<unsigned char> bytes = testkit::ReadFileBytes(dir / name);
            if (bytes.empty()) continue;
            if (random() % 2) bytes.resize(random() % bytes.size());
            for (int k = 0; k < 8 && !bytes.empty(); ++k)
                bytes[random() % bytes.size()] = static_cast<unsigned char>(random());
            testkit::WriteFileBytes(dir / name, bytes);
        }
        CPLPushErrorHandler(CPLQuietErrorHandler);
        Dataset ds = Open(dir.string(), kVexaOnly);
        if (!ds) {
            ++refused;
        } else {
            ++read;
            for (int i = 0; i < ds->GetLayerCount(); ++i) {
                Features(ds->GetLayer(i));
                ds->GetLayer(i)->GetFeatureCount(TRUE);
            }
        }
        CPLPopErrorHandler();
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(read, 0);
}

}  // namespace
