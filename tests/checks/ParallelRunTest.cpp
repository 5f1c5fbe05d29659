// Blocks checked by several workers give what a run in turn gives: the same findings
// in the same order, the same error table byte for byte, the same counts and
// messages, and the same outcome when a block cannot be read.
#include "checks/CheckTestSupport.h"
#include "kit/BenchMap.h"
#include "run/RunOutputs.h"
#include "standard/Findings.h"

#include <filesystem>
#include <random>
#include <set>

using namespace vexa;
using namespace vexa::checkstest;
using testkit::BlockSpec;
namespace fs = std::filesystem;

namespace {

// A view that answers with fixed rows and options and keeps the warnings.
class QuietView : public ICheckRunView {
public:
    QuietView(std::vector<TBlockRow> rows, std::string dir, TCheckRunOptions options)
        : FRows(std::move(rows)), FDir(std::move(dir)), FOptions(options) {}
    int BlockRowCount() override { return static_cast<int>(FRows.size()); }
    TBlockRow BlockRow(int index) override { return FRows.at(static_cast<std::size_t>(index)); }
    std::string MapDir() override { return FDir; }
    TCheckRunOptions Options() override { return FOptions; }
    void SetCaption(const std::string&) override {}
    IGauge* Gauge(TCheckGroup) override { return &FGauge; }
    void ShowGauge(TCheckGroup, bool) override {}
    void Warning(const std::string& message) override { Warnings.push_back(message); }
    void Information(const std::string& message) override { Warnings.push_back("information " + message); }
    void ShowErrorBrowser(const std::string&) override {}
    void ShowBlockProgress(int index, int count, const std::string& name) override {
        Progress.push_back(std::to_string(index) + "/" + std::to_string(count) + " " + name);
    }
    bool StopRequested() override { return StopAfter >= 0 && static_cast<int>(Progress.size()) >= StopAfter; }
    std::vector<std::string> Warnings;
    std::vector<std::string> Progress;
    int StopAfter = -1;  // blocks shown before the stop is asked for; -1 never

private:
    std::vector<TBlockRow> FRows;
    std::string FDir;
    TCheckRunOptions FOptions;
    CountingGauge FGauge;
};

// What one run gave.
struct RunOutput {
    std::vector<TFinding> Findings;
    std::vector<unsigned char> Table;  // Chyby.DBF without the date of its last change
    TCheckRunResult Result;
    std::vector<std::string> Warnings;
};

std::vector<unsigned char> TableBytes(const std::string& path) {
    if (!fs::exists(path)) return {};
    std::vector<unsigned char> bytes = testkit::ReadFileBytes(path);
    for (std::size_t i = 1; i < 4 && i < bytes.size(); ++i) bytes[i] = 0;
    return bytes;
}

// Every element option with both limits.
TCheckRunOptions EveryElementOption(unsigned jobs) {
    TCheckRunOptions o;
    o.LinMask = 62;
    o.BodMask = 3;
    o.TxbMask = 3;
    o.PloMask = 7;
    o.LengthLimit = 1.5;
    o.AreaLimit = 5000;
    o.Jobs = jobs;
    return o;
}

class ParallelRun : public CheckFixture {
protected:
    RunOutput Run(const std::vector<TBlockRow>& rows, TCheckRunOptions options) {
        fs::remove(MapDir + "Chyby.DBF");
        QuietView view(rows, MapDir, options);
        TFindingList found;
        RunOutput out;
        {
            run::TRunOutputs outputs;
            outputs.Attach(found);
            out.Result = RunCheck(*Standard, view, outputs);
        }
        out.Findings = found.Findings();
        out.Table = TableBytes(MapDir + "Chyby.DBF");
        out.Warnings = view.Warnings;
        return out;
    }

    // A block of random content: lines on a coarse grid of vertices (so that
    // duplicates, short lines and curves occur), kinds admissible and not, a grid of
    // stands with some links broken, rotated and plain points and texts.
    BlockSpec RandomBlock(std::mt19937& rng) {
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        BlockSpec content;
        testkit::GridSpec grid = StandGrid(1 + pick(3), 1 + pick(3));
        const std::int32_t gridLines = static_cast<std::int32_t>(testkit::AddAreaGrid(content, grid).Lines.size());
        const std::int16_t lineKinds[] = {1, 1, 10, 21, 77};
        const int lines = pick(40);
        for (int i = 0; i < lines; ++i) {
            std::vector<std::pair<double, double>> v;
            const int n = 2 + pick(4);
            for (int k = 0; k < n; ++k) v.emplace_back(pick(4), pick(4) * 0.5);
            TBlkLine& line = content.AddLine(gridLines + 1 + i, lineKinds[pick(5)], v, pick(2) == 0);
            if (pick(8) == 0) line.Flags |= 4;
            if (pick(8) == 0) line.Rect.MaxX = testkit::R(line.Rect.MaxX.Value() + 1);
        }
        testkit::LinkLines(content);
        for (TBlkLine& line : content.Lines)
            if (pick(10) == 0) line.NextA = 1 + pick(static_cast<int>(content.Lines.size()));
        const std::int16_t symbolKinds[] = {3, 4, 5, 6, 77};
        const long double angles[] = {0, 0, 0.05L, 100, 399.95L};
        for (int i = 1; i <= pick(20); ++i)
            content.Points.push_back(testkit::MakePoint(i, symbolKinds[pick(5)], pick(50), pick(50), angles[pick(5)]));
        for (int i = 1; i <= pick(20); ++i)
            content.Texts.push_back(testkit::MakeText(i, symbolKinds[pick(5)], angles[pick(5)]));
        return content;
    }
};

void ExpectSameRuns(const RunOutput& inTurn, const RunOutput& parallel, const std::string& what) {
    EXPECT_EQ(parallel.Findings, inTurn.Findings) << what;
    EXPECT_EQ(parallel.Table, inTurn.Table) << what;
    EXPECT_EQ(parallel.Result.Total, inTurn.Result.Total) << what;
    EXPECT_EQ(parallel.Result.BlocksChecked, inTurn.Result.BlocksChecked) << what;
    EXPECT_EQ(parallel.Result.BlocksSkipped, inTurn.Result.BlocksSkipped) << what;
    EXPECT_EQ(parallel.Warnings, inTurn.Warnings) << what;
}

TEST_F(ParallelRun, RandomMapsGiveTheSameFindingsAndTableWithAnyNumberOfWorkers) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        std::vector<TBlockRow> rows;
        const int blocks = 3 + static_cast<int>(rng() % 6);
        for (int b = 1; b <= blocks; ++b) {
            BlockSpec content = RandomBlock(rng);
            // Now and then a block that was not cleaned: reported and skipped.
            if (rng() % 5 == 0 && !content.Points.empty()) content.Points.back().Flags = 1;
            const std::string name = (b % 4 == 0 ? "PO_" : "LE_") + std::to_string(b) + ".blk";
            fs::remove_all(MapDir + name);
            Write(content, name);
            // A row that is not selected is never checked.
            rows.push_back({rng() % 7 == 0 ? "0" : "1", "3", name});
        }
        const std::string what = "seed " + std::to_string(seed);
        const RunOutput inTurn = Run(rows, EveryElementOption(1));
        ASSERT_GT(inTurn.Findings.size(), 0u) << what;
        ExpectSameRuns(inTurn, Run(rows, EveryElementOption(2)), what);
        ExpectSameRuns(inTurn, Run(rows, EveryElementOption(3)), what);
        TCheckRunOptions admissibility = EveryElementOption(2);
        admissibility.LinMask = 1;
        TCheckRunOptions admissibilityInTurn = admissibility;
        admissibilityInTurn.Jobs = 1;
        ExpectSameRuns(Run(rows, admissibilityInTurn), Run(rows, admissibility), what + ", line admissibility");
        for (const TBlockRow& row : rows) fs::remove_all(MapDir + row.Vrstva);
    }
}

// A run stopped by the user ends after the blocks begun, tells so, and hands over exactly
// the findings of the blocks it finished, in their order; "blok n z m" counts the
// selected blocks.
TEST_F(ParallelRun, AStoppedRunHandsOverTheBlocksItFinished) {
    std::mt19937 rng(11);
    std::vector<TBlockRow> rows;
    for (int b = 1; b <= 6; ++b) {
        const std::string name = "LE_" + std::to_string(b) + ".blk";
        Write(RandomBlock(rng), name);
        rows.push_back({b == 4 ? "0" : "1", "3", name});  // five selected
    }
    const RunOutput whole = Run(rows, EveryElementOption(1));
    for (unsigned jobs : {1u, 2u}) {
        fs::remove(MapDir + "Chyby.DBF");
        QuietView view(rows, MapDir, EveryElementOption(jobs));
        view.StopAfter = 2;
        TFindingList found;
        TCheckRunResult result;
        {
            run::TRunOutputs outputs;
            outputs.Attach(found);
            result = RunCheck(*Standard, view, outputs);
        }
        // In turn the run stops right after the second block; with workers, blocks that
        // were begun meanwhile are finished too.
        if (jobs == 1) {
            EXPECT_EQ(result.BlocksChecked, 2);
        }
        EXPECT_GE(result.BlocksChecked, 2) << jobs;
        EXPECT_EQ(result.Stopped, result.BlocksChecked < 5) << jobs;
        if (result.Stopped) {
            // The stop, the block whose name does not conform, the findings handed over.
            std::string summary = "information " + StoppedMessage(result.BlocksChecked) + "\r" + LeftOutMessage("LE_4.blk");
            if (result.Total > 0) summary += "\r" + FindingsMessage(result.Total, result.ErrorTable);
            EXPECT_EQ(view.Warnings.back(), summary) << jobs;
        }
        ASSERT_GE(view.Progress.size(), 2u);
        EXPECT_EQ(view.Progress[0], "1/5 LE_1.blk");
        EXPECT_EQ(view.Progress[1], "2/5 LE_2.blk");
        // The findings are those of the first blocks of the whole run, in its order.
        std::set<std::string> checked;
        for (int b = 1; b <= result.BlocksChecked + (result.BlocksChecked >= 3 ? 1 : 0); ++b)
            if (b != 4) checked.insert("LE_" + std::to_string(b) + ".blk");
        std::vector<TFinding> expected;
        for (const TFinding& f : whole.Findings)
            if (checked.count(f.Record.Blok)) expected.push_back(f);
        EXPECT_EQ(found.Findings(), expected) << jobs;
        std::vector<TErrorRecord> records;
        for (const TFinding& f : expected) records.push_back(f.Record);
        if (!expected.empty()) {
            EXPECT_EQ(ReadErrorTable(MapDir + "Chyby.DBF"), records) << jobs;
        }

        // Stopped before the first block: nothing checked, no table, and not "Bez chýb.".
        fs::remove(MapDir + "Chyby.DBF");
        QuietView before(rows, MapDir, EveryElementOption(jobs));
        before.StopAfter = 0;
        const TCheckRunResult none = RunCheck(*Standard, before);
        EXPECT_TRUE(none.Stopped) << jobs;
        EXPECT_EQ(none.BlocksChecked, 0) << jobs;
        EXPECT_EQ(before.Warnings, (std::vector<std::string>{LeftOutMessage("LE_4.blk"),
                                                             "information " + StoppedMessage(0) + "\r" +
                                                                 LeftOutMessage("LE_4.blk")}))
            << jobs;
        EXPECT_FALSE(fs::exists(MapDir + "Chyby.DBF")) << jobs;
    }
}

TEST_F(ParallelRun, BenchmarkBlocksGiveTheSameFindingsAndTable) {
    testkit::WriteBenchMap(MapDir, 0.01, 5);
    std::vector<TBlockRow> rows;
    for (int b = 1; b <= 5; ++b) rows.push_back({"1", "3", testkit::BenchBlockName(b)});
    const RunOutput inTurn = Run(rows, EveryElementOption(1));
    ASSERT_GT(inTurn.Findings.size(), 100u);
    EXPECT_EQ(inTurn.Result.BlocksChecked, 5);
    ExpectSameRuns(inTurn, Run(rows, EveryElementOption(2)), "two workers");
    ExpectSameRuns(inTurn, Run(rows, EveryElementOption(4)), "four workers");
}

TEST_F(ParallelRun, AnUnreadableBlockIsSkippedAsInTurnAndTheOthersHandedOver) {
    std::mt19937 rng(7);
    std::vector<TBlockRow> rows;
    for (int b = 1; b <= 5; ++b) {
        BlockSpec content = RandomBlock(rng);
        if (b == 3) {
            content.AddLine(900, 1, {{0, 0}, {1, 1}});
            content.Lines.back().LastCrd = 100000;  // vertices beyond the file
        }
        const std::string name = "LE_" + std::to_string(b) + ".blk";
        Write(content, name);
        rows.push_back({"1", "3", name});
    }
    // What the other blocks give without the bad one selected.
    std::vector<TBlockRow> others = rows;
    others.erase(others.begin() + 2);
    const RunOutput expected = Run(others, EveryElementOption(1));
    ASSERT_GT(expected.Findings.size(), 0u);
    for (unsigned jobs : {1u, 2u, 3u}) {
        const RunOutput out = Run(rows, EveryElementOption(jobs));
        EXPECT_EQ(out.Table, expected.Table) << jobs << " workers";
        EXPECT_EQ(out.Result.BlocksChecked, 4) << jobs << " workers";
        EXPECT_EQ(out.Result.BlocksSkipped, 1) << jobs << " workers";
        int named = 0;
        for (const std::string& w : out.Warnings)
            if (w.find("LE_3.blk") != std::string::npos && w.find("sa nedá prečítať") != std::string::npos) ++named;
        EXPECT_EQ(named, 1) << jobs << " workers";
        // The blocks were let go of: each can be opened again.
        for (const TBlockRow& row : rows) {
            TBlk blk(false);
            blk.Open(MapDir + row.Vrstva);
            EXPECT_TRUE(blk.Opened());
        }
    }
}

}  // namespace
