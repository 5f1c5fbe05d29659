// The area pass: admissibility of the kind, boundary topology and the area limit.
#include "standard/BlkStandardGXD.h"
#include "standard/CheckRunSupport.h"
#include "standard/FindingKinds.h"

#include <algorithm>
#include <optional>

namespace vexa {

namespace {

// Boundary rings are joined within this tolerance.
constexpr double kRingTolerance = 0.01;

std::int64_t WalkBudgetFor(std::int32_t lines) { return 8 * std::int64_t(std::max(lines, 0)) + 64; }

}  // namespace

int TBlkStandardGXD::CheckAreas(TBlk& blk, std::uint16_t options, double areaLimit) {
    auto hold = [&](auto&& loop) {
        // The boundary walks fetch lines, areas and vertices by number: serve them from memory.
        std::optional<checkrun::TReadCacheScope> cache;
        if (options & option::PloReadWhole) cache.emplace(blk);
        // A valid block's walks pass each line at most a few times in all (twice per bordering
        // area, inner lines twice more): broken links cannot make the pass quadratic.
        struct BudgetScope {
            TBlk& Blk;
            ~BudgetScope() { Blk.SetWalkBudget(-1); }
        } budget{blk};
        if (options & option::PloTopologia) blk.SetWalkBudget(WalkBudgetFor(blk.LineCount()));
        loop();
    };
    return checkrun::RunPass<TBlkArea>(*this, blk, options, hold, [&](checkrun::TCheckPass& pass, const TBlkArea& a) {
        if ((options & option::PloPripustnost) && !IsKindAdmissible(pass.Layer(), egArea, a.Kind)) {
            pass.Add(kind::AreaAdmissibility, a.Kind, a.Number);
            return;
        }
        if ((options & option::PloTopologia) && !blk.CheckAreaTopology(a, true, kRingTolerance)) {
            pass.Add(kind::AreaTopology, a.Kind, a.Number);
            return;
        }
        if ((options & option::PloPlocha) && a.AreaSize.Value() <= static_cast<long double>(areaLimit))
            pass.AddLimit(kind::AreaSize, a.Kind, a.Number, areaLimit);
    });
}

}  // namespace vexa
