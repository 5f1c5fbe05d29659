#include "run/CheckRun.h"

#include "block/BlkExceptions.h"
#include "block/BlkObj.h"
#include "common/AtomicFile.h"
#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/Leftovers.h"
#include "common/MapFiles.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"
#include "review/RunReview.h"
#include "run/RunOutputs.h"
#include "standard/BlkStandardGXD.h"
#include "standard/CheckRunCache.h"
#include "standard/CheckRunSupport.h"
#include "standard/ErrorTable.h"
#include "standard/FindingKinds.h"
#include "standard/Findings.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace vexa {

namespace {

// Where the passes over one block say which group runs, and take its gauge.
class IPassProgress {
public:
    virtual ~IPassProgress() = default;
    virtual IGauge* Begin(TCheckGroup group) = 0;
    virtual void End(TCheckGroup group) = 0;
};

// The view's gauges, shown by the run's own thread.
class ViewProgress : public IPassProgress {
public:
    explicit ViewProgress(ICheckRunView& view) : view_(view) {}
    IGauge* Begin(TCheckGroup group) override {
        view_.ShowGauge(group, true);
        return view_.Gauge(group);
    }
    void End(TCheckGroup group) override { view_.ShowGauge(group, false); }

private:
    ICheckRunView& view_;
};

// A group's gauge for the lifetime of the guard.
class PassShown {
public:
    PassShown(IPassProgress& progress, TBlkStandardGXD& standard, TCheckGroup group)
        : progress_(progress), group_(group) {
        standard.SetGauge(progress_.Begin(group_));
    }
    ~PassShown() { progress_.End(group_); }
    PassShown(const PassShown&) = delete;
    PassShown& operator=(const PassShown&) = delete;

private:
    IPassProgress& progress_;
    TCheckGroup group_;
};

// Empties the caption and lets go of what the passes kept for the run when the
// run ends, also by an error.
class RunEnded {
public:
    RunEnded(ICheckRunView& view, TBlkStandardGXD& standard) : view_(view), standard_(standard) {}
    ~RunEnded() {
        standard_.RunCache().Clear();
        view_.SetCaption("");
    }
    RunEnded(const RunEnded&) = delete;
    RunEnded& operator=(const RunEnded&) = delete;

private:
    ICheckRunView& view_;
    TBlkStandardGXD& standard_;
};

// Closes the block when its examination ends, also by an error.
class BlockClosed {
public:
    explicit BlockClosed(TBlk& blk) : blk_(blk) {}
    ~BlockClosed() { blk_.Close(true); }
    BlockClosed(const BlockClosed&) = delete;
    BlockClosed& operator=(const BlockClosed&) = delete;

private:
    TBlk& blk_;
};

// The passes' findings during a run: each block's go into that block's buffer, to be
// handed to the outputs once the whole block was read. The standard's own sinks (its
// error table) are set aside for the run: the outputs have theirs.
class BlockCapture : public IFindingSink {
public:
    BlockCapture(TFindingFanOut& fanOut, const run::TRunOutputs& outputs)
        : fanOut_(fanOut), outputs_(outputs), saved_(fanOut.ReplaceSinks({this})) {}
    ~BlockCapture() override { fanOut_.ReplaceSinks(std::move(saved_)); }
    BlockCapture(const BlockCapture&) = delete;
    BlockCapture& operator=(const BlockCapture&) = delete;

    // The buffer of the block whose passes run now; null between blocks.
    void Into(TFindingBuffer* buffer) { buffer_ = buffer; }
    void Add(const TFinding& finding) override {
        if (!buffer_) throw Exception("A finding came between the blocks of a run.");
        buffer_->Add(finding);
    }
    bool WantsPlaces() const override { return outputs_.WantsPlaces(); }
    const TFingerprintWish* FingerprintsWanted() const override { return outputs_.FingerprintsWanted(); }
    bool WantsExtents() const override { return outputs_.WantsExtents(); }
    void ElementFingerprinted(const TElementFingerprint& element) override {
        if (!buffer_) throw Exception("An element came between the blocks of a run.");
        buffer_->ElementFingerprinted(element);
    }
    void GroupExtent(const TGroupExtent& extent) override {
        if (!buffer_) throw Exception("An extent came between the blocks of a run.");
        buffer_->GroupExtent(extent);
    }

private:
    TFindingFanOut& fanOut_;
    const run::TRunOutputs& outputs_;
    std::vector<IFindingSink*> saved_;
    TFindingBuffer* buffer_ = nullptr;
};

// The capture's buffer for a scope.
class CapturedInto {
public:
    CapturedInto(BlockCapture& capture, TFindingBuffer& buffer) : capture_(capture) { capture_.Into(&buffer); }
    ~CapturedInto() { capture_.Into(nullptr); }
    CapturedInto(const CapturedInto&) = delete;
    CapturedInto& operator=(const CapturedInto&) = delete;

private:
    BlockCapture& capture_;
};

// A block's findings, in the order its passes made them, to the outputs.
// The elements the passes fingerprinted and the extents they read come first: the review
// judges the findings by those fingerprints.
void HandOn(TFindingBuffer& found, run::TRunOutputs& outputs) {
    for (const TElementFingerprint& e : found.Elements()) outputs.ElementFingerprinted(e);
    for (const TGroupExtent& e : found.Extents()) outputs.GroupExtent(e);
    for (TFinding& f : found.Items()) outputs.Pass(f);
}

// Why a block was skipped, as the run's report gives it.
constexpr const char* kNotCleaned = "nebol vyčistený";
constexpr const char* kNotConforming = "meno nevyhovuje štandardu (kód vrstvy pred \"_\" nie je v štandarde)";
std::string UnreadableReason(const std::string& cause) { return "nedá sa prečítať (" + cause + ")"; }

void SkipBlock(TCheckRunResult& result, const std::string& name, const std::string& reason) {
    ++result.BlocksSkipped;
    result.Skipped.push_back({name, reason});
}

// "Blok\r<path>\rsa nedá prečítať, nebude kontrolovaný\r(<cause>)": a selected block
// the block store could not read, skipped like an unclean one.
std::string UnreadableMessage(const std::string& blockPath, std::string cause) {
    std::replace(cause.begin(), cause.end(), '\r', ' ');
    return "Blok\r" + blockPath + "\rsa nedá prečítať, nebude kontrolovaný\r(" + cause + ")";
}

// Whether a pass reads the block's lines, areas and vertices whole.
bool ReadsBlockWhole(const TCheckRunOptions& options) {
    return (options.LinMask & option::LinReadWhole) != 0 || (options.PloMask & option::PloReadWhole) != 0;
}

// The element passes over one clean block in their fixed order. Where a pass reads
// the block whole, its files are read once for all the passes.
int CheckElements(TBlkStandardGXD& standard, TBlk& blk, const TCheckRunOptions& options, IPassProgress& progress) {
    std::optional<checkrun::TReadCacheScope> once;
    if (ReadsBlockWhole(options)) once.emplace(blk);
    int total = 0;
    {
        PassShown shown(progress, standard, TCheckGroup::Lines);
        total += standard.CheckLines(blk, options.LinMask, options.LengthLimit);
    }
    {
        PassShown shown(progress, standard, TCheckGroup::Points);
        total += standard.CheckPoints(blk, options.BodMask);
    }
    {
        PassShown shown(progress, standard, TCheckGroup::Texts);
        total += standard.CheckTexts(blk, options.TxbMask);
    }
    {
        PassShown shown(progress, standard, TCheckGroup::Areas);
        total += standard.CheckAreas(blk, options.PloMask, options.AreaLimit);
    }
    return total;
}

// The tables a block's repairs rewrote: said now, and kept for the end's summary.
void TellRepairs(ICheckRunView& view, const std::vector<std::string>& repairs, TCheckRunResult& result) {
    for (const std::string& r : repairs) {
        view.Note(r);
        result.Repairs.push_back(r);
    }
}

// The selected blocks one after another in the run's thread.
void CheckInTurn(TBlkStandardGXD& standard, ICheckRunView& view, int selected, BlockCapture& capture,
                 run::TRunOutputs& outputs, TCheckRunResult& result) {
    ViewProgress progress(view);
    TBlk blk(false);
    int index = 0;
    for (int row = 0; row < view.BlockRowCount(); ++row) {
        TBlockRow cells = view.BlockRow(row);
        if (!cells.Selected()) continue;
        if (view.StopRequested()) {
            result.Stopped = true;
            break;
        }
        view.ShowBlockProgress(++index, selected, cells.Vrstva);
        std::string blockPath = view.MapDir() + cells.Vrstva;
        RemoveLeftovers(fs::path(blockPath));
        // The block's findings are handed over only once the whole block was read.
        TFindingBuffer found;
        found.WantAs(standard.Findings());
        int total = 0;
        try {
            BlockClosed closed(blk);
            blk.Open(blockPath);
            for (const std::string& w : blk.OpenWarnings()) view.Warning(w);
            if (!blk.IsClean()) {
                SkipBlock(result, cells.Vrstva, kNotCleaned);
                view.NotCleaned(blockPath, cells.Vrstva);
                continue;
            }
            CapturedInto captured(capture, found);
            const std::uint16_t dbMask = view.Options().DbMask;
            if (dbMask != 0) {
                view.SetCaption(kCaptionDatabases);
                total += standard.CheckDatabases(blk, dbMask);
                TellRepairs(view, standard.TakeRepairs(), result);
                for (const std::string& s : standard.TakeQueryStops()) view.Warning(s);
                if (standard.TakeChecksNotDone()) ++result.ChecksNotDone;
            }
            view.SetCaption(cells.Vrstva);
            total += CheckElements(standard, blk, view.Options(), progress);
        } catch (const EBlkException& e) {
            TellRepairs(view, standard.TakeRepairs(), result);  // tables rewritten before the failure
            SkipBlock(result, cells.Vrstva, UnreadableReason(e.Message()));
            view.Warning(UnreadableMessage(blockPath, e.Message()));
            continue;
        }
        HandOn(found, outputs);
        result.Total += total;
        ++result.BlocksChecked;
        result.Checked.push_back(cells.Vrstva);
    }
}

// A worker's gauge, read by the run's thread to show the progress.
class SharedGauge : public IGauge {
public:
    void SetMinimum(int) override {}
    void SetMaximum(int value) override { max_.store(value, std::memory_order_relaxed); }
    void SetProgress(int value) override { pos_.store(value, std::memory_order_relaxed); }
    int Progress() const override { return pos_.load(std::memory_order_relaxed); }
    int Maximum() const { return max_.load(std::memory_order_relaxed); }

private:
    std::atomic<int> max_{0}, pos_{0};
};

// One selected block of a parallel run: what the run's thread prepared and what
// a worker did with it.
struct TBlockJob {
    std::string Name;
    std::string Path;
    TCheckRunOptions Options;
    bool Opened = false;  // opened and found clean by the run's thread (database pass)
    std::vector<std::string> Warnings;
    std::vector<std::string> Repairs;  // tables its database pass rewrote
    bool ChecksNotDone = false;  // a check of its database pass could not be done
    bool Skipped = false;    // not cleaned
    std::string Unreadable;  // why the block could not be read; its findings are dropped
    TFindingBuffer Findings;  // in the order a run in turn makes them
    int Total = 0;
    std::exception_ptr Error;
    std::atomic<int> Group{-1};  // the group whose pass runs, -1 none
    std::unique_ptr<TBlk> Blk;  // opened by the database pass: the worker reads it on, not again
    SharedGauge Gauge;
    std::atomic<int> Maximum[5] = {0, 0, 0, 0, 0};  // per group (TCheckGroup): its gauge's end when its pass ended
    bool Begun = false;  // a worker took it; guarded by the workers' mutex
    bool Done = false;   // guarded by the workers' mutex once submitted
};

class WorkerProgress : public IPassProgress {
public:
    explicit WorkerProgress(TBlockJob& job) : job_(job) {}
    IGauge* Begin(TCheckGroup group) override {
        job_.Group.store(static_cast<int>(group));
        return &job_.Gauge;
    }
    void End(TCheckGroup group) override {
        job_.Maximum[static_cast<int>(group)].store(job_.Gauge.Maximum());
        job_.Group.store(-1);
    }

private:
    TBlockJob& job_;
};

// Threads that run the element passes over blocks, each with a standard and a
// block of its own.
class BlockWorkers {
public:
    BlockWorkers(const TBlkStandardGXD& standard, unsigned count) {
        for (unsigned i = 0; i < count; ++i) standards_.push_back(standard.ElementWorker());
        try {
            for (unsigned i = 0; i < count; ++i) threads_.emplace_back([this, i] { Work(*standards_[i]); });
        } catch (...) {
            Stop();
            throw;
        }
    }
    ~BlockWorkers() { Stop(); }
    BlockWorkers(const BlockWorkers&) = delete;
    BlockWorkers& operator=(const BlockWorkers&) = delete;

    void Submit(TBlockJob& job) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(&job);
        }
        work_.notify_one();
    }

    // Takes back the blocks no worker has begun; whether job was begun.
    void CancelQueued() {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.clear();
    }
    bool Begun(const TBlockJob& job) {
        std::lock_guard<std::mutex> lock(mutex_);
        return job.Begun;
    }

    // Whether job is done, after waiting at most timeout for it.
    bool WaitFor(TBlockJob& job, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return done_.wait_for(lock, timeout, [&] { return job.Done; });
    }

private:
    // Blocks not yet begun are dropped; those begun are finished.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
            queue_.clear();
        }
        work_.notify_all();
        for (std::thread& t : threads_) t.join();
        threads_.clear();
    }

    void Work(TBlkStandardGXD& standard) {
        TBlk blk(false);
        for (;;) {
            TBlockJob* job = nullptr;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
                if (stop_) return;
                job = queue_.front();
                queue_.pop_front();
                job->Begun = true;
            }
            Check(standard, blk, *job);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                job->Done = true;
            }
            done_.notify_all();
        }
    }

    static void Check(TBlkStandardGXD& standard, TBlk& own, TBlockJob& job) {
        try {
            TBlk& blk = job.Blk ? *job.Blk : own;
            BlockClosed closed(blk);
            if (!job.Blk) blk.Open(job.Path);
            if (!job.Opened) {
                job.Warnings = blk.OpenWarnings();
                if (!blk.IsClean()) {
                    job.Skipped = true;
                    return;
                }
            }
            TFindingSinkScope sink(standard.Findings(), job.Findings);
            WorkerProgress progress(job);
            job.Total += CheckElements(standard, blk, job.Options, progress);
        } catch (const EBlkException& e) {
            job.Unreadable = e.Message();
        } catch (...) {
            job.Error = std::current_exception();
        }
    }

    std::vector<std::unique_ptr<TBlkStandardGXD>> standards_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable work_, done_;
    std::deque<TBlockJob*> queue_;
    bool stop_ = false;
};

// The run's thread opens the block and runs its database pass (one working copy
// of the standard serves it), its findings kept in the job for their turn.
void CheckDatabasesOf(TBlkStandardGXD& standard, ICheckRunView& view, BlockCapture& capture, TBlockJob& job) {
    try {
        auto blk = std::make_unique<TBlk>(false);  // closed as it goes, unless the worker takes it
        blk->Open(job.Path);
        job.Warnings = blk->OpenWarnings();
        if (!blk->IsClean()) {
            job.Skipped = true;
            return;
        }
        job.Opened = true;
        view.SetCaption(kCaptionDatabases);
        CapturedInto captured(capture, job.Findings);
        job.Total += standard.CheckDatabases(*blk, job.Options.DbMask);
        job.Blk = std::move(blk);
    } catch (const EBlkException& e) {
        job.Unreadable = e.Message();
    } catch (...) {
        job.Error = std::current_exception();
    }
    job.Repairs = standard.TakeRepairs();
    for (std::string& s : standard.TakeQueryStops()) job.Warnings.push_back(std::move(s));
    job.ChecksNotDone = standard.TakeChecksNotDone();
}

// Mirrors the gauge of the worker's pass in the view's gauge of that group.
class GaugeMirror {
public:
    explicit GaugeMirror(ICheckRunView& view) : view_(view) {}
    ~GaugeMirror() { Show(-1); }
    GaugeMirror(const GaugeMirror&) = delete;
    GaugeMirror& operator=(const GaugeMirror&) = delete;

    void Follow(const TBlockJob& job) {
        Show(job.Group.load());
        if (!gauge_) return;
        const int maximum = job.Gauge.Maximum();
        if (maximum != maximum_) {
            maximum_ = maximum;
            gauge_->SetMaximum(maximum);
        }
        gauge_->SetProgress(job.Gauge.Progress());
    }
    // After the block: the gauge of every pass not followed while it ran is shown
    // once at its end, so that each block shows each of its passes.
    void Finish(const TBlockJob& job, IUserInterface& ui) {
        for (TCheckGroup group : {TCheckGroup::Lines, TCheckGroup::Points, TCheckGroup::Texts, TCheckGroup::Areas}) {
            const int g = static_cast<int>(group);
            if (followed_ & (1u << g)) continue;
            Show(g);
            if (gauge_) {
                gauge_->SetMaximum(job.Maximum[g].load());
                gauge_->SetProgress(job.Maximum[g].load());
            }
            ui.ProcessMessages();
        }
        Show(-1);
        followed_ = 0;
    }
    void Show(int group) {
        if (group == shown_) return;
        if (shown_ >= 0) view_.ShowGauge(static_cast<TCheckGroup>(shown_), false);
        shown_ = group;
        if (group >= 0) followed_ |= 1u << group;
        gauge_ = nullptr;
        maximum_ = -1;
        if (shown_ < 0) return;
        view_.ShowGauge(static_cast<TCheckGroup>(shown_), true);
        gauge_ = view_.Gauge(static_cast<TCheckGroup>(shown_));
        if (gauge_) {
            gauge_->SetMinimum(0);
            gauge_->SetProgress(0);
        }
    }

private:
    ICheckRunView& view_;
    int shown_ = -1;
    IGauge* gauge_ = nullptr;
    int maximum_ = -1;
    unsigned followed_ = 0;  // groups shown for the present block
};

// The selected blocks by several workers. Each block is checked by one worker;
// the findings are handed on block by block in the order of the list, so the
// error table and every sink receive exactly what a run in turn gives them.
void CheckInParallel(TBlkStandardGXD& standard, ICheckRunView& view, unsigned jobs, int selected,
                     BlockCapture& capture, run::TRunOutputs& outputs, TCheckRunResult& result) {
    WaitCursorGuard cursor(standard.UI());
    standard.SetGauge(nullptr);
    const std::string mapDir = view.MapDir();
    // Declared before the workers, so that the workers have stopped before the jobs go.
    std::deque<std::unique_ptr<TBlockJob>> pending;
    BlockWorkers workers(standard, jobs);
    const std::size_t ahead = 2 * static_cast<std::size_t>(jobs);
    int row = 0;
    int index = 0;
    auto prepareNext = [&]() -> bool {
        while (!result.Stopped && row < view.BlockRowCount()) {
            TBlockRow cells = view.BlockRow(row++);
            if (!cells.Selected()) continue;
            // Blocks begun are finished; no other is begun.
            if (view.StopRequested()) {
                result.Stopped = true;
                return false;
            }
            auto job = std::make_unique<TBlockJob>();
            job->Name = cells.Vrstva;
            job->Path = mapDir + cells.Vrstva;
            job->Options = view.Options();
            job->Findings.WantAs(standard.Findings());
            try {
                RemoveLeftovers(fs::path(job->Path));
            } catch (...) {
                job->Error = std::current_exception();
            }
            if (!job->Error && job->Options.DbMask != 0) CheckDatabasesOf(standard, view, capture, *job);
            if (job->Error || job->Skipped || !job->Unreadable.empty())
                job->Done = true;
            else
                workers.Submit(*job);
            pending.push_back(std::move(job));
            return true;
        }
        return false;
    };

    for (;;) {
        while (pending.size() < ahead && prepareNext()) {
        }
        if (pending.empty()) break;
        TBlockJob& job = *pending.front();
        view.ShowBlockProgress(++index, selected, job.Name);
        view.SetCaption(job.Name);
        {
            GaugeMirror mirror(view);
            while (!workers.WaitFor(job, std::chrono::milliseconds(40))) {
                mirror.Follow(job);
                standard.UI().ProcessMessages();
            }
            if (!job.Error && !job.Skipped && job.Unreadable.empty()) mirror.Finish(job, standard.UI());
        }
        for (const std::string& w : job.Warnings) view.Warning(w);
        TellRepairs(view, job.Repairs, result);
        if (job.Error) std::rethrow_exception(job.Error);
        if (job.Skipped) {
            SkipBlock(result, job.Name, kNotCleaned);
            view.NotCleaned(job.Path, job.Name);
        } else if (!job.Unreadable.empty()) {
            SkipBlock(result, job.Name, UnreadableReason(job.Unreadable));
            view.Warning(UnreadableMessage(job.Path, job.Unreadable));
        } else {
            HandOn(job.Findings, outputs);
            result.Total += job.Total;
            if (job.ChecksNotDone) ++result.ChecksNotDone;
            ++result.BlocksChecked;
            result.Checked.push_back(job.Name);
        }
        pending.pop_front();
        // A stop: the blocks begun (by a worker, or by their database pass here) are
        // finished and handed over in order; the others are not checked.
        if (!result.Stopped && !pending.empty() && view.StopRequested()) {
            workers.CancelQueued();
            while (!pending.empty() && !pending.back()->Opened && !workers.Begun(*pending.back())) {
                pending.pop_back();
                result.Stopped = true;
            }
            while (row < view.BlockRowCount())
                if (view.BlockRow(row++).Selected()) result.Stopped = true;
        }
    }
}

// The outputs take the run's findings for the run (into the working error table).
class OutputsBegun {
public:
    OutputsBegun(run::TRunOutputs& outputs, const TCheckRunOptions& o, TErrorTable& table) : outputs_(outputs) {
        outputs_.Begin(review::OptionsText(o.DbMask, o.LinMask, o.BodMask, o.TxbMask, o.PloMask, o.LengthLimit,
                                           o.AreaLimit),
                       table);
    }
    ~OutputsBegun() {
        if (outputs_.Review) outputs_.Review->Release();
        outputs_.End();
    }
    OutputsBegun(const OutputsBegun&) = delete;
    OutputsBegun& operator=(const OutputsBegun&) = delete;

private:
    run::TRunOutputs& outputs_;
};

// "Tabuľka chýb nebola uložená\r(<path>: <cause>)", as the exceptions' message names its cause.
std::string NotSavedMessage(const fs::path& target, const std::string& cause) {
    return "Tabuľka chýb nebola uložená\r(" + target.string() + (cause.empty() ? "" : ": " + cause) + ")";
}

// The first line of a message.
std::string FirstLineOf(const std::string& message) { return message.substr(0, message.find('\r')); }

// The map's error table with the rows of the checked blocks replaced by the working
// table's: built beside it and renamed over it. False when it cannot be written (the
// table stays as it was).
bool MergeErrorTable(const std::string& working, const fs::path& target, const std::vector<std::string>& checked,
                     const std::vector<std::string>& checks, std::string& cause) {
    const fs::path temp = TempPathBeside(target);
    try {
        const std::set<std::string> replaced(checked.begin(), checked.end());
        // A checked block's new rows take the place of its old ones, so that the table keeps
        // the map's block order; a block that had no rows gets its rows before the first
        // block that comes after it in that order (the block list's: letter case ignored).
        std::map<std::string, std::vector<TErrorRecord>> fresh;
        std::vector<std::string> freshOrder;
        for (TErrorRecord& r : ReadErrorTable(working)) {
            auto& list = fresh[r.Blok];
            if (list.empty()) freshOrder.push_back(r.Blok);
            list.push_back(std::move(r));
        }
        std::vector<TErrorRecord> rows;
        std::set<std::string> placed;
        auto place = [&](const std::string& block) {
            if (!placed.insert(block).second) return;
            auto it = fresh.find(block);
            if (it == fresh.end()) return;
            for (TErrorRecord& r : it->second) rows.push_back(std::move(r));
        };
        std::vector<TErrorRecord> before = ReadErrorTable(target.string());
        std::set<std::string> hadRows;
        for (const TErrorRecord& r : before) hadRows.insert(r.Blok);
        std::vector<std::string> newcomers;
        for (const std::string& block : freshOrder)
            if (!hadRows.count(block)) newcomers.push_back(block);
        auto mapOrder = [](const std::string& a, const std::string& b) { return LowerAscii(a) < LowerAscii(b); };
        std::stable_sort(newcomers.begin(), newcomers.end(), mapOrder);
        std::size_t nextNewcomer = 0;
        // A checked block's rows of checks this run did not run stay, after its new rows.
        for (TErrorRecord& r : before) {
            while (nextNewcomer < newcomers.size() && mapOrder(newcomers[nextNewcomer], r.Blok))
                place(newcomers[nextNewcomer++]);
            if (!replaced.count(r.Blok)) {
                rows.push_back(std::move(r));
                continue;
            }
            place(r.Blok);
            if (!review::RanCheckOf(checks, r.Id, r.Chyba)) rows.push_back(std::move(r));
        }
        for (const std::string& block : freshOrder) place(block);
        TErrorTable::CreateTemplate(temp.string());
        {
            TErrorTable table(temp.string());
            TErrorTableSession session(table);
            for (const TErrorRecord& r : rows) table.Append(r);
            session.End();  // the last rows written here, where a failure still counts
        }
        CommitReplacement(temp, target);
        return true;
    } catch (const fs::filesystem_error& e) {
        cause = SysCause(e.code());
    } catch (const std::exception& e) {
        cause = FirstLineOf(e.what());
    }
    std::error_code ec;
    fs::remove(temp, ec);
    return false;
}

// The selected rows of the block list.
int SelectedCount(ICheckRunView& view) {
    int selected = 0;
    for (int row = 0; row < view.BlockRowCount(); ++row)
        if (view.BlockRow(row).Selected()) ++selected;
    return selected;
}

std::vector<std::string> ChecksOf(const TCheckRunOptions& o) {
    return review::ChecksRun(o.DbMask, o.LinMask, o.BodMask, o.TxbMask, o.PloMask, o.LengthLimit, o.AreaLimit);
}

}  // namespace

std::string RecheckMessage(const TCheckRunOptions& o, const std::vector<std::string>& blocks) {
    const std::vector<std::string> checks = ChecksOf(o);
    std::string said;
    for (const TFindingCode& c : FindingCodes) {
        const std::string code = std::to_string(c.Code);
        std::string what;
        if (c.Group == TCheckGroup::Databases) {
            if (review::RanCheckOf(checks, c.Code, findingtext::BadStructure))
                what = c.Filter;
            else if (review::RanCheckOf(checks, c.Code, ""))
                what = std::string(c.Filter) + " (chýbajúce tabuľky)";
        } else if (review::RanCheckOf(checks, c.Code, "")) {
            what = c.Filter;
        }
        if (!what.empty()) said += (said.empty() ? "" : ", ") + std::string(1, c.Letter) + " " + code + " " + what;
    }
    std::string names;
    for (const std::string& b : blocks) names += (names.empty() ? "" : ", ") + b;
    return "Znova skontrolované (" + names + "): " + said + "; ostatné riadky tabuľky chýb ostali.";
}

std::optional<TKeptOptions> KeptRunOptions(const std::string& mapDir, bool tableRun) {
    std::vector<std::string> problems;
    const std::vector<review::TRunRecord> runs = review::ListRuns(mapDir, false, problems);
    auto take = [](const review::TRunRecord& run) -> std::optional<TKeptOptions> {
        const std::optional<review::TRunOptions> o = review::ParseOptionsText(run.Options);
        if (!o) return std::nullopt;
        TKeptOptions kept;
        kept.Options.DbMask = static_cast<std::uint16_t>(o->Db);
        kept.Options.LinMask = static_cast<std::uint16_t>(o->Lines);
        kept.Options.BodMask = static_cast<std::uint16_t>(o->Points);
        kept.Options.TxbMask = static_cast<std::uint16_t>(o->Texts);
        kept.Options.PloMask = static_cast<std::uint16_t>(o->Areas);
        kept.Options.LengthLimit = o->LengthLimit;
        kept.Options.AreaLimit = o->AreaLimit;
        kept.Date = run.Date;
        return kept;
    };
    if (tableRun)
        for (auto it = runs.rbegin(); it != runs.rend(); ++it)
            if (!it->Merge && it->Findings > 0)
                if (auto kept = take(*it)) return kept;
    // A run of the whole map (no re-check), complete or with blocks it could not check.
    for (auto it = runs.rbegin(); it != runs.rend(); ++it)
        if (!it->Merge)
            if (auto kept = take(*it)) return kept;
    return std::nullopt;
}

unsigned DefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }

std::string StoppedMessage(int blocksChecked) {
    return Format("Kontrola bola zastavená; skontrolované bloky: %d.", blocksChecked);
}

std::string BlocksMessage(int blocksChecked, int blocksSkipped) {
    return Format("Skontrolované bloky: %d, vynechané: %d.", blocksChecked, blocksSkipped);
}

std::string FindingsMessage(int total, const std::string& errorTable) {
    return Format("Počet chýb: %d (%s)", total, errorTable.c_str());
}

std::string ChecksNotDoneMessage(int blocks) {
    return Format("Niektoré kontroly sa nedali vykonať; bloky, ktorých sa to týka: %d.", blocks);
}

std::string LeftOutMessage(const std::string& blockName) {
    return "Blok " + blockName + " nebude kontrolovaný: " + kNotConforming;
}

std::string RepairsQuestion(std::uint16_t dbMask) {
    std::string text;
    if (dbMask & option::DBUprStrukt)
        text += "Kontrola prepíše tabuľky atribútov kontrolovaných blokov podľa štruktúry štandardu "
                "(uprava štruktúry).\r";
    if (dbMask & option::DBNepZmaz)
        text += "Kontrola zmaže v tabuľkách atribútov položky, ktoré štandard nepozná "
                "(nepovinné položky zmazať).\r";
    if (text.empty()) return text;
    return text + "Pokračovať?";
}

std::string SkippedMessage(const std::string& blockName, const std::string& reason) {
    std::string why = reason;  // one line each in the summary
    std::replace(why.begin(), why.end(), '\r', ' ');
    return "Blok " + blockName + " nebude kontrolovaný: " + why;
}

std::string NotCleanedMessage(const std::string& blockPath) {
    return "Blok\r" + blockPath + "\rnebol vyčistený, nebude kontrolovaný";
}

std::string NotCleanedLine(const std::string& blockName) {
    return "Blok " + blockName + " nebol vyčistený, nebude kontrolovaný";
}

void ICheckRunView::NotCleaned(const std::string& blockPath, const std::string&) {
    Warning(NotCleanedMessage(blockPath));
}

TCheckRunResult RunCheck(TBlkStandardGXD& standard, ICheckRunView& view) {
    run::TRunOutputs outputs;
    return RunCheck(standard, view, outputs);
}

TCheckRunResult RunCheck(TBlkStandardGXD& standard, ICheckRunView& view, run::TRunOutputs& outputs) {
    TCheckRunResult result;
    // A run that could check nothing is refused before it touches the map: its "Bez chýb."
    // would claim a check that never happened.
    const TCheckRunOptions options = view.Options();
    if (options.DbMask == 0 && options.LinMask == 0 && options.BodMask == 0 && options.TxbMask == 0 &&
        options.PloMask == 0)
        throw Exception(kNoCheckChosen);
    if (SelectedCount(view) == 0) throw Exception(kNoBlockSelected);
    // One run on a map at a time; what runs that are gone left behind goes first.
    std::optional<TMapLock> lock(std::in_place, view.MapDir());
    const fs::path mapPath(view.MapDir().empty() ? std::string(".") : view.MapDir());
    // A read-only error table is the user's: refused before anything of the map changes.
    {
        const fs::path table = ResolveIgnoreCase(mapPath, kMapErrorTableName);
        if (ReadOnlyByMode(table))
            throw Exception("Tabuľka chýb je len na čítanie; Vexa ju nezmenila\r(" + table.string() + ")");
    }
    RemoveTempLeftovers();
    RemoveLeftovers(mapPath);
    // A run file of a run that died half-written, unless the history links to elsewhere.
    try {
        RefuseLinkedPath(mapPath, fs::path(".vexa") / "runs", "");
        RemoveLeftovers(mapPath / ".vexa" / "runs");
    } catch (const Exception&) {
        // said where the history is read and written
    }
    // The run starts from an empty working table: a run that ended by an error left
    // its findings there, and they must not be handed over with this run's.
    standard.ResetErrorTable();
    standard.TakeRepairs();  // what a run that ended by an error left unsaid
    standard.ForgetStoppedQueries();  // each run tries every query afresh
    for (int row = 0; row < view.BlockRowCount(); ++row) {
        const TBlockRow cells = view.BlockRow(row);
        if (cells.Conforming() || cells.Vrstva.empty()) continue;
        result.LeftOut.push_back(cells.Vrstva);
        SkipBlock(result, cells.Vrstva, kNotConforming);
        view.Note(LeftOutMessage(cells.Vrstva));
    }
    review::TRunReview* review = outputs.Review;
    if (review)
        for (const std::string& p : review->Problems()) view.Warning(p);
    {
        RunEnded ended(view, standard);
        // The review stands in front of the outputs: findings an exception covers go no further.
        OutputsBegun begun(outputs, options, standard.ErrorTable());
        BlockCapture capture(standard.Findings(), outputs);
        // One session of the error table for the whole run: no pass reopens and rereads it.
        TErrorTableSession session(standard.ErrorTable());
        // As many workers as asked, at most one per selected block.
        const int selected = SelectedCount(view);
        const unsigned jobs = std::min<unsigned>(std::max(1u, view.Options().Jobs), static_cast<unsigned>(std::max(selected, 1)));
        if (jobs > 1)
            CheckInParallel(standard, view, jobs, selected, capture, outputs, result);
        else
            CheckInTurn(standard, view, selected, capture, outputs, result);
        // The last batch of findings reaches the table here, where an error still ends the run.
        session.End();
    }
    // Findings left out by an exception were counted by their passes.
    if (review) result.Total -= review->Counts().Excepted;
    const bool merge = review && review->Settings().Merge;
    std::string mapDir = view.MapDir();
    fs::path target = ResolveIgnoreCase(fs::path(mapDir.empty() ? std::string(".") : mapDir), kMapErrorTableName);
    std::error_code exists;
    if (merge && fs::exists(target, exists)) {
        // Only the checked blocks' rows are replaced; the other blocks' rows stay.
        std::string cause;
        bool written = MergeErrorTable(standard.ErrorTablePath(), target, result.Checked, ChecksOf(options), cause);
        standard.ResetErrorTable();
        if (!written) throw Exception(NotSavedMessage(target, cause));
        if (result.Total > 0) result.ErrorTable = target.string();
    } else if (result.Total > 0) {
        std::error_code cause;
        bool copied = CopyFileAtomically(standard.ErrorTablePath(), target, cause);
        // The next run starts from an empty working table in either case, so that
        // findings are never handed over twice.
        standard.ResetErrorTable();
        if (!copied) throw Exception(NotSavedMessage(target, SysCause(cause)));
        result.ErrorTable = target.string();
    }
    // The run is recorded once its findings are in place.
    std::vector<std::string> reviewLines;
    if (review) {
        std::vector<std::string> skipped;  // "<name>: <why>", as the history keeps them
        for (const auto& [name, why] : result.Skipped) skipped.push_back(name + ": " + why);
        const std::string unsaved = review->Finish(result.Checked, skipped,
                                                   !result.Stopped && result.BlocksSkipped == 0 && result.ChecksNotDone == 0);
        // Exceptions that hold no more: said in passing and again in the summary.
        for (const std::string& note : review->TakeNotes()) {
            view.Note(note);
            reviewLines.push_back(note);
        }
        if (!unsaved.empty()) view.Warning(unsaved);
        const review::TReviewCounts& c = review->Counts();
        if (c.New + c.Persisting + c.Fixed + c.Excepted > 0) reviewLines.push_back(review::CountsMessage(c));
    }
    // The end's summary: a stop or the blocks skipped (each named with why), the count of
    // findings with their table; "Bez chýb." only when every selected check ran on every
    // selected block and found nothing.
    std::vector<std::string> summary;
    if (result.Stopped)
        summary.push_back(StoppedMessage(result.BlocksChecked));
    else if (result.BlocksSkipped > 0)
        summary.push_back(BlocksMessage(result.BlocksChecked, result.BlocksSkipped));
    for (const auto& [name, why] : result.Skipped) summary.push_back(SkippedMessage(name, why));
    summary.insert(summary.end(), result.Repairs.begin(), result.Repairs.end());
    if (merge && !result.Checked.empty()) summary.push_back(RecheckMessage(options, result.Checked));
    if (result.Total > 0) summary.push_back(FindingsMessage(result.Total, result.ErrorTable));
    if (result.ChecksNotDone > 0) summary.push_back(ChecksNotDoneMessage(result.ChecksNotDone));
    if (result.Total == 0 && !result.Stopped && result.BlocksSkipped == 0 && result.ChecksNotDone == 0)
        summary.push_back(kNoFindings);
    summary.insert(summary.end(), reviewLines.begin(), reviewLines.end());
    std::string text;
    for (const std::string& line : summary) text += (text.empty() ? "" : "\r") + line;
    // The map is free again before the end's box: the browser may check a block again.
    lock.reset();
    view.Information(text);
    if (result.Total > 0) view.ShowErrorBrowser(view.MapDir());
    return result;
}

std::vector<TErrorRecord> ReadErrorTable(const std::string& path) {
    auto text = [](const TValue& v) -> std::optional<std::string> {
        if (auto s = std::get_if<std::string>(&v)) return *s;
        return std::nullopt;
    };
    auto number = [](const TValue& v) -> std::optional<std::int32_t> {
        if (auto d = std::get_if<double>(&v)) return static_cast<std::int32_t>(*d);
        return std::nullopt;
    };
    std::vector<TErrorRecord> rows;
    TTableDBF table;
    table.SetDatabaseName(ExtractFilePath(path));
    table.SetTableName(path);
    table.Open();
    TFldValList values;
    for (table.First(); !table.Eof(); table.Next()) {
        table.GetValues(values);
        if (values.size() < 7) throw Exception(Format("Chybná tabuľka chýb\r(%s)", path.c_str()));
        TErrorRecord r;
        r.Id = number(values[0].Value).value_or(0);
        r.Blok = text(values[1].Value).value_or("");
        r.Vrstva = text(values[2].Value);
        r.Prvok = text(values[3].Value).value_or("");
        r.Druh = number(values[4].Value);
        r.Cislo = number(values[5].Value);
        r.Chyba = text(values[6].Value).value_or("");
        rows.push_back(std::move(r));
    }
    table.Close();
    return rows;
}

}  // namespace vexa
