#pragma once
// What the element check passes share: the block name and layer code of a
// finding, and the scope of one pass (wait cursor, gauge, the pass's session of
// the error table, ended also when an exception passes, the read cache of the
// block, and the findings written), and the loop over a group's elements that every
// pass runs, taking on the way what the sinks want of the open block (fingerprints of
// wanted elements, the group's stored extent).
#include "block/BlkGroups.h"
#include "block/BlkObj.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"
#include "standard/FindingKinds.h"
#include "standard/Findings.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace vexa::checkrun {

// The last component of the block's path, without a trailing delimiter.
std::string BlockName(const TBlk& blk);
// The first two characters of a block name (whole UTF-8 characters).
std::string LayerCode(const std::string& blockName);

// Turns the block's read cache on for the guard's lifetime and restores the
// earlier state afterwards. A file set that cannot be cached is read directly.
class TReadCacheScope {
public:
    explicit TReadCacheScope(TBlk& blk);
    ~TReadCacheScope();
    TReadCacheScope(const TReadCacheScope&) = delete;
    TReadCacheScope& operator=(const TReadCacheScope&) = delete;

private:
    TBlk& FBlk;
    bool FWasOn;
};

// The fingerprints of wanted elements of a block as a pass found them.
using TElementFingerprints = std::map<TFingerprintWish::TElement, std::optional<std::string>>;

// Finds the fingerprints of the elements of the block that the sink wants, of one group
// (all four when group is none), hands each to the sink and returns them. Nothing when
// the sink wants none.
TElementFingerprints HandFingerprints(IFindingSink& sink, TBlk& blk, const std::string& block,
                                      std::optional<TBlkElementGroup> group);

// One pass over one element group. Constructed after the early return of a pass:
// shows the wait cursor and resets the gauge to 0..count. Open() forms the block
// name and layer code, keeps the block for the places of the findings and begins
// the pass's session of the error table; Finish() ends it, the destructor ends it
// when an exception passes and restores the cursor.
class TCheckPass {
public:
    TCheckPass(TBlkStandardGXD& standard, std::int32_t count);
    ~TCheckPass();
    TCheckPass(const TCheckPass&) = delete;
    TCheckPass& operator=(const TCheckPass&) = delete;

    // group: the pass's element group. Hands the sinks the fingerprints of the group's
    // elements they want (FingerprintsWanted) before the first finding.
    void Open(TBlk& blk, TBlkElementGroup group);
    // Whether the sinks want the stored extent of the group (TGroupExtent): the loop then
    // adds each record's to Extent(), and Finish hands it on.
    bool WantsExtent() const { return FWantsExtent; }
    TStoredExtent& Extent() { return FExtent; }

    const std::string& Layer() const { return FLayer; }
    const std::string& Block() const { return FBlock; }

    // Whether the loop goes on. The element count taken at the start stands in for
    // the file's end test (a file-size query per element) until it is used up; then
    // the end test decides, so a trailing fragment still raises on its read and
    // records added meanwhile are still read.
    template <typename EofFn>
    bool More(EofFn&& eof) {
        if (FKnown > 0) {
            --FKnown;
            return true;
        }
        return !eof();
    }

    // One element of the loop: lets pending messages run (before the read).
    void ProcessMessages() { FStandard.UI().ProcessMessages(); }
    // Advances the gauge after the element's read.
    void Advance() {
        if (IGauge* gauge = FStandard.Gauge()) gauge->Advance(1);
    }

    // Hands one finding to the standard's sinks: the code and group letter of its
    // row, the block name and layer code of the pass, the element's kind and number,
    // the text (the row's own unless given), and the element's place read from the
    // open block.
    void Add(TFindingKind finding, std::int16_t kind, std::int32_t number);
    void Add(TFindingKind finding, std::int16_t kind, std::int32_t number, const std::string& text,
             std::optional<double> limit = std::nullopt);
    // A limit finding: it carries the limit and what its element measures (MeasureOf its
    // place, read for it whether or not a sink wants places).
    void AddLimit(TFindingKind finding, std::int16_t kind, std::int32_t number, double limit);
    int Count() const { return FCount; }

    // Closes the error table at the normal end of the pass (its errors pass on)
    // and returns the number of findings written.
    int Finish();

private:
    TBlkStandardGXD& FStandard;
    WaitCursorGuard FCursor;
    TBlk* FBlk = nullptr;
    std::int64_t FPlaceSteps = 0;  // what the area walks for the places may still take
    std::string FBlock;
    std::string FLayer;
    std::optional<TErrorTableSession> FSession;  // from Open on
    int FCount = 0;
    std::int32_t FKnown = 0;
    TElementFingerprints FFingerprints;  // of the wanted elements of the group
    TBlkElementGroup FGroup = egLine;
    bool FWantsExtent = false;
    TStoredExtent FExtent;
};

// What a pass adds of a record to its group's stored extent: a line's and a text's stored
// rectangle (passed over when upside down or all zero), a point's position; an area nothing.
void AddToExtent(TStoredExtent& extent, const TBlkRect& rect);
inline void AddToExtent(TStoredExtent& extent, const TBlkLine& line) { AddToExtent(extent, line.Rect); }
inline void AddToExtent(TStoredExtent& extent, const TBlkText& text) { AddToExtent(extent, text.Rect); }
inline void AddToExtent(TStoredExtent& extent, const TBlkPoint& point) {
    extent.Add(point.X.ToDouble(), point.Y.ToDouble());
}
inline void AddToExtent(TStoredExtent&, const TBlkArea&) {}

// The pass over one element group, the same for the four: nothing without options or
// without elements; else the wait cursor and the gauge (TCheckPass), the group's header
// stamped, the pass opened on the block, then hold(loop): hold keeps what the pass needs
// while it runs (the read cache, walk budgets) and calls loop once. The loop reads the
// header record, then each element in turn: lets pending messages run, reads it, advances
// the gauge and hands it to rule(pass, record) unless it is deleted. Returns the number of
// findings written.
template <class Record, class Hold, class Rule>
int RunPass(TBlkStandardGXD& standard, TBlk& blk, std::uint16_t options, Hold&& hold, Rule&& rule) {
    using Group = TBlkGroupOf<Record>;
    if (options == 0) return 0;
    const std::int32_t count = Group::Count(blk);
    if (count < 1) {
        // Nothing to read: the group's extent is empty.
        if (Group::Group != egArea && standard.Findings().WantsExtents())
            standard.Findings().GroupExtent({BlockName(blk), static_cast<std::uint8_t>(Group::Group), {}});
        return 0;
    }
    TCheckPass pass(standard, count);
    Group::Touch(blk);
    pass.Open(blk, Group::Group);
    int found = 0;
    hold([&] {
        Record record;
        Group::ReadNext(blk, record);  // the header record
        const bool extent = pass.WantsExtent();
        while (pass.More([&] { return Group::Eof(blk); })) {
            pass.ProcessMessages();
            Group::ReadNext(blk, record);
            pass.Advance();
            if (Group::Deleted(record)) continue;
            if (extent) AddToExtent(pass.Extent(), record);
            rule(pass, static_cast<const Record&>(record));
        }
        found = pass.Finish();
    });
    return found;
}

// A pass that holds nothing while it runs.
inline constexpr auto kHoldNothing = [](auto&& loop) { loop(); };

}  // namespace vexa::checkrun
