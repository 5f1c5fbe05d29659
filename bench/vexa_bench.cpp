// Check benchmark: runs the check-run driver with every element option over a map
// written by vexa-bench-gen and reports the time of each pass and of the whole run.
//   vexa-bench MAPDIR [STANDARD]
// STANDARD defaults to StandardGXD.mdb beside the program (the sample standard).
// Two runs: lines 62 (every line option but admissibility, which excludes the
// others), points 3, texts 3, areas 7 with the limits 1 m and 100 m2; then the
// line admissibility alone (lines 1).
#include "common/FileNames.h"
#include "standard/BlkStandardGXD.h"
#include "standard/CheckRunCache.h"
#include "run/BlockList.h"
#include "run/CheckRun.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

using namespace vexa;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

const char* GroupName(TCheckGroup g) {
    switch (g) {
    case TCheckGroup::Lines: return "lines";
    case TCheckGroup::Points: return "points";
    case TCheckGroup::Texts: return "texts";
    case TCheckGroup::Areas: return "areas";
    case TCheckGroup::Databases: return "databases";
    }
    return "?";
}

// Times each pass from the showing to the hiding of its gauge.
class TimingView : public ICheckRunView {
public:
    TimingView(std::vector<TBlockRow> rows, std::string mapDir, TCheckRunOptions options)
        : FRows(std::move(rows)), FMapDir(std::move(mapDir)), FOptions(options) {}
    int BlockRowCount() override { return static_cast<int>(FRows.size()); }
    TBlockRow BlockRow(int index) override { return FRows.at(static_cast<std::size_t>(index)); }
    std::string MapDir() override { return FMapDir; }
    TCheckRunOptions Options() override { return FOptions; }
    void SetCaption(const std::string&) override {}
    IGauge* Gauge(TCheckGroup group) override { return &FGauges[group]; }
    void ShowGauge(TCheckGroup group, bool visible) override {
        if (visible)
            FStart = Clock::now();
        else
            Times[group] += Clock::now() - FStart;
    }
    void Warning(const std::string& message) override { std::fprintf(stderr, "%s\n", message.c_str()); }
    void Information(const std::string&) override {}
    void ShowErrorBrowser(const std::string&) override {}

    std::map<TCheckGroup, Clock::duration> Times;

private:
    std::vector<TBlockRow> FRows;
    std::string FMapDir;
    TCheckRunOptions FOptions;
    std::map<TCheckGroup, CountingGauge> FGauges;
    Clock::time_point FStart;
};

double Run(TBlkStandardGXD& standard, const std::string& mapDir, const std::vector<TBlockRow>& rows,
           const TCheckRunOptions& options, const char* title) {
    TimingView view(rows, mapDir, options);
    Clock::time_point start = Clock::now();
    TCheckRunResult result = RunCheck(standard, view);
    double total = Seconds(Clock::now() - start);
    std::printf("%s: %d findings in %d block(s), %.3f s", title, result.Total, result.BlocksChecked, total);
    for (const auto& [group, time] : view.Times) std::printf("; %s %.3f s", GroupName(group), Seconds(time));
    std::printf("\n");
    return total;
}

// Reads every file of the map as cat does (warm cache): the floor for a run's time.
double ReadAllFiles(const std::string& mapDir, std::uintmax_t& bytes) {
    Clock::time_point start = Clock::now();
    std::vector<char> buffer(1 << 17);
    bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(mapDir)) {
        if (!entry.is_regular_file()) continue;
        std::FILE* f = std::fopen(entry.path().c_str(), "rb");
        if (!f) continue;
        for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0;) bytes += n;
        std::fclose(f);
    }
    return Seconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    unsigned jobs = DefaultJobs();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--jobs" && i + 1 < argc) {
            jobs = static_cast<unsigned>(std::max(1, std::atoi(argv[++i])));
        } else if (arg.size() > 1 && arg[0] == '-') {
            positional.clear();
            break;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty() || positional.size() > 2) {
        std::fprintf(stderr, "Usage: vexa-bench MAPDIR [STANDARD] [--jobs N]\n");
        return 2;
    }
    try {
        std::string programDir = IncludeTrailingDelimiter(fs::read_symlink("/proc/self/exe").parent_path().string());
        std::string standardPath = positional.size() == 2 ? positional[1] : programDir + "StandardGXD.mdb";
        TBlkStandardGXD standard(standardPath, programDir + "Chyby.dbf");
        std::string mapDir = IncludeTrailingDelimiter(fs::absolute(positional[0]).lexically_normal().string());
        std::vector<TBlockRow> rows =
            ListMapBlocks(mapDir, [&](const std::string& layer) { return standard.IsLayerKnown(layer); });

        TCheckRunOptions every;
        every.LinMask = 62;
        every.BodMask = 3;
        every.TxbMask = 3;
        every.PloMask = 7;
        every.LengthLimit = 1;
        every.AreaLimit = 100;
        every.Jobs = jobs;
        std::printf("%zu block(s), %u worker(s)\n", rows.size(), jobs);
        double whole = Run(standard, mapDir, rows, every, "lines 62, points 3, texts 3, areas 7");
        TCheckRunOptions admissibility;
        admissibility.LinMask = 1;
        admissibility.Jobs = jobs;
        double lines = Run(standard, mapDir, rows, admissibility, "lines 1");
        std::printf("every element option: %.3f s (attribute table reads: %d)\n", whole + lines,
                    standard.RunCache().TableLoads());
        std::uintmax_t bytes = 0;
        const double read = ReadAllFiles(mapDir, bytes);
        std::printf("reading the map's files as cat: %.3f s (%.1f MB); first run / reading = %.1f\n", read,
                    static_cast<double>(bytes) / 1e6, read > 0 ? whole / read : 0.0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vexa-bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
