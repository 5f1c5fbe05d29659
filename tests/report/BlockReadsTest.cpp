// How often a check run reads a block, counted where the block store opens its element
// files: a plain run opens each block's files once (with exceptions too, whose elements the
// passes fingerprint in the open block), a run with its report at most once more (the
// overview takes the extents the passes read, the thumbnails read a block once).
#include "block/BlkOpenHook.h"
#include "checks/CheckTestSupport.h"
#include "kit/BenchMap.h"
#include "report/RunReport.h"
#include "review/Exceptions.h"
#include "review/RunReview.h"
#include "run/CheckRun.h"
#include "run/RunOutputs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <set>

using namespace vexa;
using namespace vexa::checkstest;
namespace fs = std::filesystem;

namespace {

std::mutex gMutex;
std::map<std::string, int> gLineFileOpens;  // by block directory name

void CountOpen(const std::string& path) {
    const fs::path file(path);
    if (file.filename() != "tn.lin") return;
    std::lock_guard<std::mutex> lock(gMutex);
    ++gLineFileOpens[file.parent_path().filename().string()];
}

std::map<std::string, int> TakeOpens() {
    std::lock_guard<std::mutex> lock(gMutex);
    std::map<std::string, int> opens;
    opens.swap(gLineFileOpens);
    return opens;
}

// Counts for a scope.
class OpenCounter {
public:
    OpenCounter() {
        TakeOpens();
        SetBlkFileOpenHook(&CountOpen);
    }
    ~OpenCounter() { SetBlkFileOpenHook(nullptr); }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;
};

// A view with fixed rows and options.
class ReviewView : public ICheckRunView {
public:
    ReviewView(std::vector<TBlockRow> rows, std::string dir, TCheckRunOptions options)
        : FRows(std::move(rows)), FDir(std::move(dir)), FOptions(options) {}
    int BlockRowCount() override { return static_cast<int>(FRows.size()); }
    TBlockRow BlockRow(int index) override { return FRows.at(static_cast<std::size_t>(index)); }
    std::string MapDir() override { return FDir; }
    TCheckRunOptions Options() override { return FOptions; }
    void SetCaption(const std::string&) override {}
    IGauge* Gauge(TCheckGroup) override { return nullptr; }
    void ShowGauge(TCheckGroup, bool) override {}
    void Warning(const std::string& message) override { Messages.push_back(message); }
    void Information(const std::string& message) override { Messages.push_back(message); }
    void ShowErrorBrowser(const std::string&) override {}
    std::vector<std::string> Messages;

private:
    std::vector<TBlockRow> FRows;
    std::string FDir;
    TCheckRunOptions FOptions;
};

class BlockReads : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Temp.Path() / "tmp");
        if (const char* old = std::getenv("TMPDIR")) OldTmp = old;
        ::setenv("TMPDIR", (Temp.Path() / "tmp").c_str(), 1);
        MapDir = IncludeTrailingDelimiter((Temp.Path() / "map").string());
        testkit::WriteBenchMap(Temp.Path() / "map", 0.02, 3);
        Standard = std::make_unique<TBlkStandardGXD>(std::string(VEXA_BIN_DIR) + "/StandardGXD.mdb",
                                                     std::string(VEXA_BIN_DIR) + "/Chyby.dbf", UI);
        for (int i = 1; i <= 3; ++i) Rows.push_back({"1", "3", testkit::BenchBlockName(i)});
    }
    void TearDown() override {
        Standard.reset();
        if (OldTmp)
            ::setenv("TMPDIR", OldTmp->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    // Every element check and the attribute contents, as compare-builds runs them.
    TCheckRunOptions Options(unsigned jobs) const {
        TCheckRunOptions o;
        o.DbMask = 1;
        o.LinMask = 63;
        o.BodMask = 3;
        o.TxbMask = 3;
        o.PloMask = 7;
        o.LengthLimit = 1;
        o.AreaLimit = 100;
        o.Jobs = jobs;
        return o;
    }
    struct Run {
        std::vector<TFinding> Findings;
        std::vector<report::TReportFinding> Reported;
        std::map<std::string, TStoredExtent> Extents;
        review::TReviewCounts Counts;
        std::vector<std::string> Messages;
        TCheckRunResult Result;
    };
    // One run with a review in front and, when report is given, the report's sink behind it.
    Run Check(unsigned jobs, report::TReportSink* report = nullptr) {
        review::TRunReview review(MapDir, {});
        ReviewView view(Rows, MapDir, Options(jobs));
        TFindingList list(false);
        run::TRunOutputs outputs;
        outputs.Review = &review;
        outputs.Report = report;
        outputs.Attach(list);
        Run run;
        run.Result = RunCheck(*Standard, view, outputs);
        run.Findings = list.Findings();
        run.Counts = review.Counts();
        run.Messages = view.Messages;
        return run;
    }
    testkit::TempDir Temp;
    std::string MapDir;
    CountingUI UI;
    std::unique_ptr<TBlkStandardGXD> Standard;
    std::vector<TBlockRow> Rows;
    std::optional<std::string> OldTmp;
};

std::vector<TErrorRecord> Records(const std::vector<TFinding>& findings) {
    std::vector<TErrorRecord> records;
    for (const TFinding& f : findings) records.push_back(f.Record);
    return records;
}

bool Has(const std::vector<std::string>& messages, const std::string& part) {
    for (const std::string& m : messages)
        if (m.find(part) != std::string::npos) return true;
    return false;
}

// In turn and by two workers, without exceptions and with them: each block's files once.
TEST_F(BlockReads, APlainRunOpensEachBlockOnce) {
    const std::map<std::string, int> once{{"LE_00001.blk", 1}, {"LE_00002.blk", 1}, {"LE_00003.blk", 1}};
    Run plain;
    {
        OpenCounter counter;
        plain = Check(1);
        EXPECT_EQ(TakeOpens(), once) << "in turn";
        ASSERT_GT(plain.Findings.size(), 30u);
        EXPECT_EQ(Records(Check(2).Findings), Records(plain.Findings)) << "two workers find the same";
        EXPECT_EQ(TakeOpens(), once) << "two workers";
    }

    // Exceptions: an element finding of block 2, an element that is gone and a text of
    // which this run finds nothing.
    const TFinding* line = nullptr;
    std::set<std::int32_t> textsFound;
    for (const TFinding& f : plain.Findings) {
        if (!line && f.Record.Blok == "LE_00002.blk" && f.Record.Prvok == "L" && f.Record.Cislo) line = &f;
        if (f.Record.Blok == "LE_00001.blk" && f.Record.Prvok == "T" && f.Record.Cislo) textsFound.insert(*f.Record.Cislo);
    }
    ASSERT_TRUE(line);
    const TErrorRecord& l = line->Record;
    review::AddException(MapDir, review::MakeException(MapDir, l.Blok, l.Vrstva, l.Prvok, l.Druh, l.Cislo, l.Id,
                                                       l.Chyba, "zámerne"));
    review::TReviewException gone =
        review::MakeException(MapDir, "LE_00001.blk", "LE", "B", 1, 1, -31, "neprípustný druh vo vrstve", "zmizne");
    gone.Number = 9999999;
    review::AddException(MapDir, gone);
    std::int32_t quiet = 1;
    while (textsFound.count(quiet)) ++quiet;
    review::AddException(MapDir, review::MakeException(MapDir, "LE_00001.blk", "LE", "T", 1, quiet, -52,
                                                       "uhol otočenia", "nikdy nebol otočený"));
    const std::string quietText = "LE_00001.blk T:" + std::to_string(quiet) + " ";

    for (unsigned jobs : {1u, 2u}) {
        OpenCounter counter;
        const Run excepted = Check(jobs);
        EXPECT_EQ(TakeOpens(), once) << jobs << " workers, exceptions: the passes took the fingerprints";
        EXPECT_EQ(excepted.Counts.Excepted, 1) << "the finding excepted was left out";
        ASSERT_EQ(excepted.Findings.size(), plain.Findings.size() - 1);
        for (const TFinding& f : excepted.Findings) EXPECT_NE(f.Record, l) << "left out";
        EXPECT_TRUE(Has(excepted.Messages, "prvku, ktorý už neexistuje: LE_00001.blk B:9999999"))
            << "the gone element is told without the block read again";
        EXPECT_FALSE(Has(excepted.Messages, quietText)) << "a text that exists is no gone element";
        EXPECT_FALSE(Has(excepted.Messages, "prvok sa zmenil"));
    }
}

// The report: the overview from the passes' extents (the same as reading the blocks), the
// thumbnails one more read of a block with findings at most.
TEST_F(BlockReads, TheReportReadsABlockAtMostOnceMore) {
    OpenCounter counter;
    report::TReportSink sink;
    const Run run = Check(2, &sink);
    TakeOpens();
    const std::map<std::string, TStoredExtent> extents = sink.Extents();
    ASSERT_EQ(extents.size(), 3u) << "each checked block's lines, points and texts were read";

    report::TRunFacts facts;
    facts.MapDir = MapDir;
    facts.Selected = Rows;
    facts.Options = Options(2);
    const report::TReport page = report::ReportOfRun(facts, run.Result, *Standard, sink.Findings());
    facts.Extents = extents;
    const report::TReport withExtents = report::ReportOfRun(facts, run.Result, *Standard, sink.Findings());
    ASSERT_EQ(withExtents.Blocks.size(), 3u);
    for (const report::TReportBlock& b : withExtents.Blocks) {
        ASSERT_TRUE(b.Extent) << b.Name;
        EXPECT_FALSE(b.Extent->Empty()) << b.Name;
        EXPECT_LT(b.Extent->MinX, b.Extent->MaxX) << b.Name;
    }
    // The overview drawn from the extents is the one drawn by reading every block.
    const std::string read = report::MapOverviewPng(MapDir, page);
    EXPECT_EQ(TakeOpens().size(), 3u) << "without extents the overview reads each block";
    const std::string taken = report::MapOverviewPng(MapDir, withExtents);
    EXPECT_TRUE(TakeOpens().empty()) << "with them it reads none";
    EXPECT_FALSE(taken.empty());
    EXPECT_EQ(taken, read);

    const fs::path html = Temp.Path() / "report.html";
    report::WriteReport(withExtents, MapDir, html.string(), 1000);
    for (const auto& [block, opens] : TakeOpens()) EXPECT_LE(opens, 1) << block << ": thumbnails read it once";
    EXPECT_GT(fs::file_size(html), 1000u);
}

}  // namespace
