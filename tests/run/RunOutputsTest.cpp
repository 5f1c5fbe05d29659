// The outputs of a run's findings: the review in front of the error table, the printer,
// the report and the export; the export written beside its files and committed at the end.
#include "export/GisWriter.h"
#include "kit/BlockKit.h"
#include "review/Exceptions.h"
#include "review/Fingerprint.h"
#include "review/RunReview.h"
#include "run/CheckRun.h"
#include "run/FindingPrinter.h"
#include "run/RunOutputs.h"
#include "standard/ErrorTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace vexa;

namespace {

namespace fs = std::filesystem;

// Says in the shared log what reached it, under its name.
class Logged : public IFindingSink {
public:
    Logged(std::string name, std::vector<std::string>& log, bool places = false)
        : FName(std::move(name)), FLog(log), FPlaces(places) {}
    void Add(const TFinding& f) override {
        FLog.push_back(FName + " " + std::to_string(*f.Record.Cislo) + " " + f.Status);
    }
    void AddExcepted(const TFinding& f, const std::string& reason) override {
        FLog.push_back(FName + " " + std::to_string(*f.Record.Cislo) + " excepted " + reason);
    }
    bool WantsPlaces() const override { return FPlaces; }

private:
    std::string FName;
    std::vector<std::string>& FLog;
    bool FPlaces;
};

TFinding PointFinding(int number) {
    TFinding f;
    f.Record = {-32, "LE_00002.blk", "LE", "B", 5, number, "uhol otočenia"};
    return f;
}

class RunOutputs : public ::testing::Test {
protected:
    void SetUp() override { fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive); }
    std::string MapDir() const { return map.string() + "/"; }
    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
};

TEST_F(RunOutputs, TheReviewComesFirstAndAnExceptedFindingReachesOnlyTheExport) {
    review::TReviewException e;
    e.Block = "LE_00002.blk", e.Layer = "LE", e.Group = "B", e.Kind = 5, e.Number = 3, e.Code = -32;
    e.Text = "uhol otočenia", e.Reason = "zámerne", e.User = "tester", e.Date = {2026, 12, 9};
    e.Fingerprint = *review::ElementFingerprint((map / "LE_00002.blk").string(), "B", 3);
    review::AddException(MapDir(), e);

    std::vector<std::string> log;
    Logged report("report", log), exported("export", log, true), more("more", log);
    std::FILE* printed = std::tmpfile();
    ASSERT_TRUE(printed);
    run::TFindingPrinter printer(gisexport::TFormatWriter::Json, printed);
    review::TRunReview review(MapDir(), {});
    run::TRunOutputs outputs;
    outputs.Review = &review;
    outputs.Printer = &printer;
    outputs.Report = &report;
    outputs.Export = &exported;
    outputs.Attach(more);
    EXPECT_TRUE(outputs.WantsPlaces()) << "the export wants places";

    const std::string tablePath = temp / "Chyby.DBF";
    TErrorTable::CreateTemplate(tablePath);
    TErrorTable table(tablePath);
    {
        TErrorTableSession session(table);
        outputs.Begin(review::OptionsText(0, 0, 3, 0, 0, 0, 0), table);
        TFinding excepted = PointFinding(3), reported = PointFinding(4);
        outputs.Pass(excepted);
        outputs.Pass(reported);
        EXPECT_EQ(reported.Status, "new") << "the review gave the finding its status";
        EXPECT_FALSE(reported.Since.empty());
        EXPECT_TRUE(excepted.Status.empty());
        outputs.End();
        session.End();
    }
    EXPECT_EQ(log, (std::vector<std::string>{"report 3 excepted zámerne", "export 3 excepted zámerne",
                                             "more 3 excepted zámerne", "report 4 new", "export 4 new",
                                             "more 4 new"}));
    // The printer prints the reported finding alone, with the status the review gave it.
    std::rewind(printed);
    std::string text;
    for (int c; (c = std::fgetc(printed)) != EOF;) text += static_cast<char>(c);
    std::fclose(printed);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find("\"number\":4,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"status\":\"new\",\"since\":\"" + review.Run().Date + "\""), std::string::npos) << text;
    // The table has the reported finding alone.
    const std::vector<TErrorRecord> rows = ReadErrorTable(tablePath);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Cislo, 4);
    EXPECT_EQ(review.Counts().Excepted, 1);
    EXPECT_EQ(review.Counts().New, 1);
}

TEST_F(RunOutputs, WithoutAReviewEveryFindingGoesOnWithoutAStatus) {
    std::vector<std::string> log;
    Logged printer("printer", log);
    run::TRunOutputs outputs;
    outputs.Printer = &printer;
    EXPECT_FALSE(outputs.WantsPlaces());
    const std::string tablePath = temp / "Chyby.DBF";
    TErrorTable::CreateTemplate(tablePath);
    TErrorTable table(tablePath);
    TErrorTableSession session(table);
    outputs.Begin(review::OptionsText(0, 0, 3, 0, 0, 0, 0), table);
    TFinding f = PointFinding(7);
    outputs.Pass(f);
    outputs.End();
    session.End();
    EXPECT_EQ(log, (std::vector<std::string>{"printer 7 "}));
    EXPECT_EQ(ReadErrorTable(tablePath).size(), 1u);
}

// Every file of a directory, by name.
std::vector<std::string> FilesOf(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(RunOutputs, TheExportIsCommittedOnlyAtTheEndAndLeavesNothingWithoutIt) {
    const fs::path out = temp.Path() / "out";
    fs::create_directory(out);
    TFinding f = PointFinding(3);
    f.Place.Shape = TPlaceShape::Point;
    f.Place.Crds = {{-500000, -1200000}};
    f.Place.Anchor = {-500000, -1200000};
    for (const char* name : {"f.gpkg", "f.geojson"}) {
        SCOPED_TRACE(name);
        {
            gisexport::TFindingExport exported((out / name).string());
            exported.Add(f);
            EXPECT_FALSE(fs::exists(out / name)) << "nothing under the final name before the commit";
            // A run that fails: the export is dropped uncommitted.
        }
        EXPECT_EQ(FilesOf(out), std::vector<std::string>{}) << "an export never committed leaves nothing";
    }

    gisexport::TFindingExport exported((out / "f.gpkg").string());
    exported.Add(f);
    exported.AddExcepted(PointFinding(4), "zámerne");
    EXPECT_EQ(exported.Count(), 1u) << "excepted findings are not counted among the exported";
    const std::vector<std::string> written = exported.Commit();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(fs::path(written[0]).filename(), "f.gpkg");
    EXPECT_EQ(FilesOf(out), std::vector<std::string>{"f.gpkg"}) << "only the final file, renamed into place";
    EXPECT_GT(fs::file_size(out / "f.gpkg"), 0u);
    EXPECT_THROW(exported.Commit(), Exception) << "committed once";

    // One file per layer: only the layers with features get files, each renamed into place.
    gisexport::TFindingExport perLayer((out / "g.geojson").string());
    perLayer.Add(f);
    EXPECT_EQ(FilesOf(out).size(), 2u) << "the point layer is written beside its name meanwhile";
    EXPECT_EQ(perLayer.Commit(), std::vector<std::string>{(out / "g_findings_point.geojson").string()});
    EXPECT_EQ(FilesOf(out), (std::vector<std::string>{"f.gpkg", "g_findings_point.geojson"}));
}

TEST_F(RunOutputs, AnExportThatCannotBeWrittenIsRefusedBeforeTheRun) {
    EXPECT_THROW(gisexport::TFindingExport((temp.Path() / "x.kml").string()), Exception);
    EXPECT_THROW(gisexport::TFindingExport((temp.Path() / "none" / "x.gpkg").string()), Exception);
    EXPECT_THROW(gisexport::TFindingExport((temp.Path() / "x.gpkg").string(), "EPSG:nothing"), Exception);
    EXPECT_EQ(FilesOf(temp.Path()), std::vector<std::string>{"map"});
}

}  // namespace
