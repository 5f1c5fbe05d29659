// The area pass: admissibility of the kind, boundary topology and the area limit.
#include "standard/BlkStandardGXD.h"
#include "standard/CheckRunSupport.h"

#include <algorithm>
#include <optional>

namespace vexa {

namespace {

constexpr std::uint16_t kAdmissibility = 1;
constexpr std::uint16_t kTopology = 2;
constexpr std::uint16_t kAreaLimit = 4;

// Boundary rings are joined within this tolerance.
constexpr double kRingTolerance = 0.01;

std::int64_t WalkBudgetFor(std::int32_t lines) { return 8 * std::int64_t(std::max(lines, 0)) + 64; }

} // namespace

int TBlkStandardGXD::CheckAreas(TBlk& blk, std::uint16_t options, double areaLimit) {
    if (options == 0) return 0;
    std::int32_t count = blk.AreaCount();
    if (count < 1) return 0;
    checkrun::TCheckPass pass(*this, count);
    blk.TouchAreas();
    pass.Open(blk);
    // The boundary walks fetch lines, areas and vertices by number: serve them from memory.
    std::optional<checkrun::TReadCacheScope> cache;
    if (options & kTopology) cache.emplace(blk);
    // A valid block's walks pass each line at most a few times in all (twice per bordering
    // area, inner lines twice more): broken links cannot make the pass quadratic.
    struct BudgetScope {
        TBlk& Blk;
        ~BudgetScope() { Blk.SetWalkBudget(-1); }
    } budget{blk};
    if (options & kTopology) blk.SetWalkBudget(WalkBudgetFor(blk.LineCount()));

    TBlkArea area;
    blk.ReadNextArea(area);  // the header record
    while (pass.More([&] { return blk.AreasEof(); })) {
        pass.ProcessMessages();
        blk.ReadNextArea(area);
        pass.Advance();
        if (TBlk::AreaDeleted(area)) continue;
        if ((options & kAdmissibility) && !IsKindAdmissible(pass.Layer(), egArea, area.Kind)) {
            pass.Add(-71, "P", area.Kind, area.Number, "neprípustný druh vo vrstve");
            continue;
        }
        if ((options & kTopology) && !blk.CheckAreaTopology(area, true, kRingTolerance)) {
            pass.Add(-72, "P", area.Kind, area.Number, "chybná topológia plochy");
            continue;
        }
        if ((options & kAreaLimit) && area.AreaSize.Value() <= static_cast<long double>(areaLimit))
            pass.Add(-74, "P", area.Kind, area.Number, "podlimitná plocha");
    }
    return pass.Finish();
}

} // namespace vexa
