#pragma once
// A check run turned into its report: a sink that keeps the run's findings with their
// places, the run's facts gathered from the driver's result, and thumbnails and the
// map's overview drawn by the map view's renderer.
#include "report/HtmlReport.h"
#include "standard/Findings.h"
#include "run/BlockList.h"
#include "run/CheckRun.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vexa {
class TBlkStandardGXD;
namespace review {
class TRunReview;
}
}

namespace vexa::report {

// Keeps every finding of a run, as the error table holds it, with its place.
// Keeps also the stored extents of the blocks as the passes read them, so that the map's
// overview reads no block again.
class TReportSink : public IFindingSink {
public:
    void Add(const TFinding& finding) override;
    bool WantsPlaces() const override { return true; }
    bool WantsExtents() const override { return true; }
    void GroupExtent(const TGroupExtent& extent) override;
    std::vector<TReportFinding>& Findings() { return FFindings; }
    // The extent of each block whose lines, points and texts a pass read (by its name).
    std::map<std::string, TStoredExtent> Extents() const;

private:
    std::vector<TReportFinding> FFindings;
    struct TGroups {
        std::optional<TStoredExtent> Lines, Points, Texts;
    };
    std::map<std::string, TGroups> FExtents;
};

// The options and limits of a run in words: the option boxes' captions by group.
std::vector<std::string> OptionsInWords(const TCheckRunOptions& options);

// What a run needs for its report beyond the driver's result.
struct TRunFacts {
    std::string MapDir;                   // with a trailing delimiter
    std::vector<TBlockRow> Selected;      // the blocks the run was asked to check
    std::chrono::system_clock::time_point Started;
    double Seconds = 0;
    TCheckRunOptions Options;
    const review::TRunReview* Review = nullptr;  // the run's comparison and exceptions, when kept
    std::map<std::string, TStoredExtent> Extents;  // of the blocks, as the passes read them (TReportSink)
};

TReport ReportOfRun(const TRunFacts& facts, const TCheckRunResult& result, const TBlkStandardGXD& standard,
                    std::vector<TReportFinding> findings);

// The report of a table of findings as the error browser shows it (the rows with their
// places): the facts of a kept run of the map (runId; "" the newest: its options in
// words, blocks, comparison, user), when the map keeps a history, and the map's exceptions.
TReport ReportOfTable(const std::string& mapDir, const std::vector<TFinding>& findings, const std::string& runId = "");

// The findings of a kept run (runId; "" the newest) as records of the error table (in the
// run's order); nothing when the map keeps no such run.
std::optional<std::vector<TErrorRecord>> RunRecords(const std::string& mapDir, const std::string& runId = "");
inline std::optional<std::vector<TErrorRecord>> LastRunRecords(const std::string& mapDir) { return RunRecords(mapDir); }

// A kept run's options ("db=1 lines=63 ... length=0.5 area=10") in words as OptionsInWords
// gives them (without the count of blocks checked at once, which a run file does not
// keep); the text itself when it does not read so.
std::vector<std::string> KeptOptionsInWords(const std::string& options);

// "2026-12-09 15:00:01" of a run file as the report gives dates: "09. 12. 2026 15:00:01".
std::string KeptDateText(const std::string& date);

// A finding of the report: the record as the error table holds it, its place's point.
TReportFinding ReportFinding(const TFinding& finding);

// Writes the page of a report with its pictures: the map's overview and the thumbnails of
// its first maxImages findings, drawn from the blocks of mapDir.
void WriteReport(TReport page, const std::string& mapDir, const std::string& path, int maxImages);

// Thumbnails of findings drawn by the map view (the element marked in its surroundings),
// each block read once while its findings come in turn.
TThumbnail MapThumbnails(const std::string& mapDir, int width = 240, int height = 180);

// The whole map: every checked block's extent and the findings as dots.
std::string MapOverviewPng(const std::string& mapDir, const TReport& report, int width = 640, int height = 420);

// Default count of thumbnails in a report.
inline constexpr int kDefaultReportImages = 300;

}  // namespace vexa::report
