// The line pass: admissibility (kind, free ends inside areas, lines outside areas
// in an areas-only layer), curves, stored rectangles, duplicates, the length
// limit and alike areas on either side of a line.
#include "standard/BlkStandardGXD.h"
#include "standard/CheckRunCache.h"
#include "standard/CheckRunSupport.h"
#include "standard/FindingKinds.h"

#include <optional>

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

}  // namespace

int TBlkStandardGXD::CheckLines(TBlk& blk, std::uint16_t options, double lengthLimit) {
    if (options == 0) return 0;
    std::int32_t count = blk.LineCount();
    if (count < 1) return 0;
    checkrun::TCheckPass pass(*this, count);
    blk.TouchLines();
    pass.Open(blk);
    // Vertices and areas come from memory for the pass (the duplicate search then goes
    // through the block's index); the alike-areas test shares its tables across the run.
    std::optional<checkrun::TReadCacheScope> cache;
    if (options & option::LinReadWhole) cache.emplace(blk);
    TCheckRunCache& shared = RunCache();
    if (options & option::LinPloZhoda) shared.BeginPass(blk);

    const std::string& layer = pass.Layer();
    TBlkLine line;
    TBlkRect computed;
    TCrds crds;
    std::string duplicates;
    pass.ForEachElement(
        line, [&](TBlkLine& l) { blk.ReadNextLine(l); }, [&] { return blk.LinesEof(); }, TBlk::LineDeleted,
        [&](const TBlkLine& l) {
            if ((options & option::LinPloZhoda) && !TBlk::IsInnerLine(l) && shared.AdjacentAreasMatch(blk, l))
                pass.Add(kind::LineAlikeAreas, l.Kind, l.Number);

            if (options & option::LinPripustnost) {
                // Decides the line alone: the other rules are not examined with it.
                if (!IsKindAdmissible(layer, egLine, l.Kind)) {
                    pass.Add(kind::LineAdmissibility, l.Kind, l.Number);
                } else if (TBlk::IsTopoLine(l) && TBlk::IsAreaLine(l)) {
                    if (HasFreeEnd(l)) pass.Add(kind::LineAdmissibility, l.Kind, l.Number, findingtext::SurplusLineInArea);
                } else if (IsAreasOnlyLayer(layer)) {
                    pass.Add(kind::LineAdmissibility, l.Kind, l.Number, findingtext::LineInAreasOnlyLayer);
                }
                return;
            }

            if ((options & option::LinKrivky) && (l.Flags & kCurveFlag)) {
                pass.Add(kind::LineCurve, l.Kind, l.Number);
            } else if ((options & option::LinMimoMBR) && !blk.LineRectOk(l, computed, crds)) {
                pass.Add(kind::LineOutsideRectangle, l.Kind, l.Number);
            } else if ((options & option::LinDuplikatne) &&
                       ((options & option::LinMimoMBR)  // the vertices were read for the rectangle
                            ? blk.FindDuplicateLines(l, crds, duplicates, kDuplicateListMax)
                            : blk.FindDuplicateLines(l, duplicates, kDuplicateListMax))) {
                pass.Add(kind::LineDuplicates, l.Kind, l.Number,
                         std::string(findingtext::DuplicateLines) + duplicates.substr(0, kDuplicateListMax));
            } else if ((options & option::LinDlzka) && l.Length.Value() <= static_cast<long double>(lengthLimit)) {
                pass.AddLimit(kind::LineLength, l.Kind, l.Number, lengthLimit);
            }
        });
    return pass.Finish();
}

}  // namespace vexa
