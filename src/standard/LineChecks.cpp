// The line pass: admissibility (kind, free ends inside areas, lines outside areas
// in an areas-only layer), curves, stored rectangles, duplicates, the length
// limit and alike areas on either side of a line.
#include "standard/BlkStandardGXD.h"
#include "standard/CheckRunCache.h"
#include "standard/CheckRunSupport.h"
#include "standard/FindingKinds.h"

#include <optional>
#include <type_traits>
#include <utility>

namespace vexa {

namespace {

constexpr std::uint8_t kCurveFlag = 4;
// The list of duplicates written into a finding is cut to this many characters.
constexpr std::size_t kDuplicateListMax = 254;

// A link of the line that points back at the line itself on the wrong end.
bool HasFreeEnd(const TBlkLine& line) {
    return (line.NextA == line.Number && line.NextARev != 0) || (line.NextB == line.Number && line.NextBRev != 0) ||
           (line.PrevA == line.Number && line.PrevARev == 0) || (line.PrevB == line.Number && line.PrevBRev == 0);
}

// An option bit as a type, so that its rule is chosen as the code is compiled.
template <std::uint16_t B>
using Bit = std::integral_constant<std::uint16_t, B>;

}  // namespace

int TBlkStandardGXD::CheckLines(TBlk& blk, std::uint16_t options, double lengthLimit) {
    TBlkRect computed;
    TCrds crds;
    std::string duplicates;
    TCheckRunCache* shared = nullptr;
    auto hold = [&](auto&& loop) {
        // Vertices and areas come from memory for the pass (the duplicate search then goes
        // through the block's index); the alike-areas test shares its tables across the run.
        std::optional<checkrun::TReadCacheScope> cache;
        if (options & option::LinReadWhole) cache.emplace(blk);
        shared = &RunCache();
        if (options & option::LinPloZhoda) shared->BeginPass(blk);
        loop();
    };
    return checkrun::RunPass<TBlkLine>(*this, blk, options, hold, [&](checkrun::TCheckPass& pass, const TBlkLine& l) {
        bool crdsRead = false;  // the line's vertices are in crds (read for its rectangle)
        // Whether the rule of the bit finds a fault of the line; it writes the finding.
        auto finds = [&](auto bit) -> bool {
            constexpr std::uint16_t b = decltype(bit)::value;
            if constexpr (b == option::LinPloZhoda) {
                if (TBlk::IsInnerLine(l) || !shared->AdjacentAreasMatch(blk, l)) return false;
                pass.Add(kind::LineAlikeAreas, l.Kind, l.Number);
            } else if constexpr (b == option::LinPripustnost) {
                if (!IsKindAdmissible(pass.Layer(), egLine, l.Kind)) {
                    pass.Add(kind::LineAdmissibility, l.Kind, l.Number);
                } else if (TBlk::IsTopoLine(l) && TBlk::IsAreaLine(l)) {
                    if (!HasFreeEnd(l)) return false;
                    pass.Add(kind::LineAdmissibility, l.Kind, l.Number, findingtext::SurplusLineInArea);
                } else if (IsAreasOnlyLayer(pass.Layer())) {
                    pass.Add(kind::LineAdmissibility, l.Kind, l.Number, findingtext::LineInAreasOnlyLayer);
                } else {
                    return false;
                }
            } else if constexpr (b == option::LinKrivky) {
                if (!(l.Flags & kCurveFlag)) return false;
                pass.Add(kind::LineCurve, l.Kind, l.Number);
            } else if constexpr (b == option::LinMimoMBR) {
                crdsRead = true;
                if (blk.LineRectOk(l, computed, crds)) return false;
                pass.Add(kind::LineOutsideRectangle, l.Kind, l.Number);
            } else if constexpr (b == option::LinDuplikatne) {
                if (!(crdsRead ? blk.FindDuplicateLines(l, crds, duplicates, kDuplicateListMax)
                               : blk.FindDuplicateLines(l, duplicates, kDuplicateListMax)))
                    return false;
                pass.Add(kind::LineDuplicates, l.Kind, l.Number,
                         std::string(findingtext::DuplicateLines) + duplicates.substr(0, kDuplicateListMax));
            } else {
                static_assert(b == option::LinDlzka, "a line bit without its rule");
                if (!(l.Length.Value() <= static_cast<long double>(lengthLimit))) return false;
                pass.AddLimit(kind::LineLength, l.Kind, l.Number, lengthLimit);
            }
            return true;
        };
        if (options & LinePrecedence.Apart) finds(Bit<LinePrecedence.Apart>{});
        if (options & LinePrecedence.Alone) {
            finds(Bit<LinePrecedence.Alone>{});
            return;
        }
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            (void)(... || ((options & LinePrecedence.FirstFound[I]) && finds(Bit<LinePrecedence.FirstFound[I]>{})));
        }(std::make_index_sequence<LinePrecedence.FirstFound.size()>{});
    });
}

}  // namespace vexa
