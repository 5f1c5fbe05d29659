// Review benchmark: what the run history and the exceptions add to a check run, and how
// long the comparison of two runs takes.
//   vexa-bench-review MAPDIR [--rounds N] [--jobs N]
//   vexa-bench-review MAPDIR --read
// Runs the check of vexa-bench's first run (lines 62, points 3, texts 3, areas 7, limits
// 1 m and 100 m2) in turn without and with the review (history written, statuses, one
// exception in place), N rounds each (default 5), and prints the median of each and the
// overhead; then the time of reading the last two runs and comparing them, as
// "vexa-review MAPDIR compare" does. The map's history and Vynimky.DBF are written.
// --read runs no check: it times, N rounds, reading the statuses the error browser shows
// (LatestStatuses) and the comparison of the last two runs of the map's history.
#include "common/FileNames.h"
#include "review/Exceptions.h"
#include "review/Fingerprint.h"
#include "review/RunHistory.h"
#include "review/RunReview.h"
#include "standard/BlkStandardGXD.h"
#include "run/BlockList.h"
#include "run/CheckRun.h"
#include "run/RunOutputs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace vexa;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class QuietView : public ICheckRunView {
public:
    QuietView(std::vector<TBlockRow> rows, std::string mapDir, TCheckRunOptions options)
        : FRows(std::move(rows)), FMapDir(std::move(mapDir)), FOptions(options) {}
    int BlockRowCount() override { return static_cast<int>(FRows.size()); }
    TBlockRow BlockRow(int index) override { return FRows.at(static_cast<std::size_t>(index)); }
    std::string MapDir() override { return FMapDir; }
    TCheckRunOptions Options() override { return FOptions; }
    void SetCaption(const std::string&) override {}
    IGauge* Gauge(TCheckGroup) override { return nullptr; }
    void ShowGauge(TCheckGroup, bool) override {}
    void Warning(const std::string& message) override { std::fprintf(stderr, "%s\n", message.c_str()); }
    void Note(const std::string&) override {}
    void Information(const std::string& message) override { Summary = message; }
    void ShowErrorBrowser(const std::string&) override {}
    std::string Summary;

private:
    std::vector<TBlockRow> FRows;
    std::string FMapDir;
    TCheckRunOptions FOptions;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::string map;
    int rounds = 5;
    unsigned jobs = DefaultJobs();
    bool readOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--read") readOnly = true;
        else if (arg == "--rounds" && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--jobs" && i + 1 < argc) jobs = static_cast<unsigned>(std::max(1, std::atoi(argv[++i])));
        else if (map.empty() && arg[0] != '-') map = arg;
        else map.clear(), i = argc;
    }
    if (map.empty()) {
        std::fprintf(stderr, "Usage: vexa-bench-review MAPDIR [--rounds N] [--jobs N] | MAPDIR --read\n");
        return 2;
    }
    if (readOnly) {
        const std::string mapDir = IncludeTrailingDelimiter(fs::absolute(map).lexically_normal().string());
        std::vector<double> statuses, compare;
        std::size_t n = 0, lines = 0;
        for (int round = 0; round < rounds; ++round) {
            Clock::time_point start = Clock::now();
            std::vector<std::string> problems;
            n = review::LatestStatuses(mapDir, problems).Size();
            statuses.push_back(Seconds(Clock::now() - start));
            start = Clock::now();
            const std::unique_ptr<review::THistory> history = review::THistory::Open(mapDir, problems);
            const std::vector<review::TRunRecord>& runs = history->Runs();
            if (runs.size() >= 2) lines = history->Compare(runs[runs.size() - 2], runs.back()).size();
            compare.push_back(Seconds(Clock::now() - start));
        }
        std::printf("statuses of %zu findings: median %.3f s; compare of the last two runs (%zu findings): median %.3f s\n",
                    n, Median(statuses), lines, Median(compare));
        return 0;
    }
    try {
        const std::string programDir =
            IncludeTrailingDelimiter(fs::read_symlink("/proc/self/exe").parent_path().string());
        TBlkStandardGXD standard(programDir + "StandardGXD.mdb", programDir + "Chyby.dbf");
        const std::string mapDir = IncludeTrailingDelimiter(fs::absolute(map).lexically_normal().string());
        const std::vector<TBlockRow> rows =
            ListMapBlocks(mapDir, [&](const std::string& layer) { return standard.IsLayerKnown(layer); });
        TCheckRunOptions every;
        every.LinMask = 62, every.BodMask = 3, every.TxbMask = 3, every.PloMask = 7;
        every.LengthLimit = 1, every.AreaLimit = 100, every.Jobs = jobs;

        std::vector<double> plain, reviewed;
        int findings = 0;
        for (int round = 0; round < rounds; ++round) {
            {
                QuietView view(rows, mapDir, every);
                const Clock::time_point start = Clock::now();
                findings = RunCheck(standard, view).Total;
                plain.push_back(Seconds(Clock::now() - start));
            }
            {
                review::TReviewSettings settings;
                settings.Version = "bench";
                const Clock::time_point start = Clock::now();
                review::TRunReview review(mapDir, settings);
                QuietView view(rows, mapDir, every);
                run::TRunOutputs outputs;
                outputs.Review = &review;
                RunCheck(standard, view, outputs);
                reviewed.push_back(Seconds(Clock::now() - start));
                if (round == 0) {
                    // One exception, so that the later runs look fingerprints up.
                    const review::TRunFinding& f = review.Run().Found.front();
                    review::TReviewException e;
                    e.Block = f.Block, e.Group = f.Group, e.Kind = f.Kind, e.Number = f.Number, e.Code = f.Code;
                    e.Text = f.Text, e.Reason = "bench", e.User = "bench", e.Date = review::Today();
                    e.Fingerprint = review::ElementFingerprint(mapDir + f.Block, f.Group, f.Number).value_or("");
                    review::AddException(mapDir, e);
                }
                if (round == rounds - 1) std::printf("last run with the review: %s\n", view.Summary.c_str());
            }
        }
        const double a = Median(plain), b = Median(reviewed);
        std::printf("%zu block(s), %u worker(s), %d findings, %d rounds\n", rows.size(), jobs, findings, rounds);
        std::printf("check run without the review: median %.3f s\n", a);
        std::printf("check run with the review:    median %.3f s (+%.1f %%)\n", b, a > 0 ? (b - a) / a * 100 : 0.0);

        std::vector<double> compare;
        std::size_t lines = 0;
        for (int round = 0; round < rounds; ++round) {
            const Clock::time_point start = Clock::now();
            std::vector<std::string> problems;
            std::vector<review::TRunRecord> runs = review::ListRuns(mapDir, false, problems);
            if (runs.size() < 2) throw std::runtime_error("fewer than two runs kept");
            lines = review::CompareRuns(review::LoadRun(mapDir, runs[runs.size() - 2]), review::LoadRun(mapDir, runs.back()))
                        .size();
            compare.push_back(Seconds(Clock::now() - start));
        }
        std::printf("compare of the last two runs: median %.3f s (%zu findings)\n", Median(compare), lines);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vexa-bench-review: %s\n", e.what());
        return 1;
    }
    return 0;
}
