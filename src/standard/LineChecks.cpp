// The line pass: admissibility (kind, free ends inside areas, lines outside areas
// in an areas-only layer), curves, stored rectangles, duplicates, the length
// limit and alike areas on either side of a line.
#include "standard/BlkStandardGXD.h"
#include "standard/CheckRunCache.h"
#include "standard/CheckRunSupport.h"

#include <optional>

namespace vexa {

namespace {

constexpr std::uint16_t kAdmissibility = 1;
constexpr std::uint16_t kCurve = 2;
constexpr std::uint16_t kRectangle = 4;
constexpr std::uint16_t kDuplicates = 8;
constexpr std::uint16_t kLengthLimit = 16;
constexpr std::uint16_t kAlikeAreas = 32;

constexpr std::uint8_t kCurveFlag = 4;
// The list of duplicates written into a finding is cut to this many characters.
constexpr std::size_t kDuplicateListMax = 254;

// A link of the line that points back at the line itself on the wrong end.
bool HasFreeEnd(const TBlkLine& line) {
    return (line.NextA == line.Number && line.NextARev != 0) || (line.NextB == line.Number && line.NextBRev != 0) ||
           (line.PrevA == line.Number && line.PrevARev == 0) || (line.PrevB == line.Number && line.PrevBRev == 0);
}

} // namespace

int TBlkStandardGXD::CheckLines(TBlk& blk, std::uint16_t options, double lengthLimit) {
    if (options == 0) return 0;
    std::int32_t count = blk.LineCount();
    if (count < 1) return 0;
    checkrun::TCheckPass pass(*this, count);
    blk.TouchLines();
    pass.Open(blk);
    // Vertices and areas come from memory for the pass; the duplicate search and the
    // alike-areas test share their indexes across the pass and the run.
    std::optional<checkrun::TReadCacheScope> cache;
    if (options & (kRectangle | kDuplicates | kAlikeAreas)) cache.emplace(blk);
    TCheckRunCache& shared = RunCache();
    if (options & (kDuplicates | kAlikeAreas)) shared.BeginPass(blk);

    const std::string& layer = pass.Layer();
    TBlkLine line;
    TBlkRect computed;
    std::string duplicates;
    blk.ReadNextLine(line);  // the header record
    while (pass.More([&] { return blk.LinesEof(); })) {
        pass.ProcessMessages();
        blk.ReadNextLine(line);
        pass.Advance();
        if (TBlk::LineDeleted(line)) continue;

        if ((options & kAlikeAreas) && !TBlk::IsInnerLine(line) && shared.AdjacentAreasMatch(blk, line))
            pass.Add(-73, "L", line.Kind, line.Number, "zhoda prilahlých plôch");

        if (options & kAdmissibility) {
            // Decides the line alone: the other rules are not examined with it.
            if (!IsKindAdmissible(layer, egLine, line.Kind)) {
                pass.Add(-11, "L", line.Kind, line.Number, "neprípustný druh vo vrstve");
            } else if (TBlk::IsTopoLine(line) && TBlk::IsAreaLine(line)) {
                if (HasFreeEnd(line)) pass.Add(-11, "L", line.Kind, line.Number, "nadbytočná línia v ploche");
            } else if (IsAreasOnlyLayer(layer)) {
                pass.Add(-11, "L", line.Kind, line.Number, "neprípustná línia vo vrstve plôch");
            }
            continue;
        }

        if ((options & kCurve) && (line.Flags & kCurveFlag)) {
            pass.Add(-12, "L", line.Kind, line.Number, "krivka");
        } else if ((options & kRectangle) && !blk.LineRectOk(line, computed)) {
            pass.Add(-13, "L", line.Kind, line.Number, "línia mimo rozsah opísaného obdĺžnika");
        } else if ((options & kDuplicates) && shared.FindDuplicateLines(blk, line, duplicates, kDuplicateListMax)) {
            pass.Add(-14, "L", line.Kind, line.Number, "duplikátne línie: " + duplicates.substr(0, kDuplicateListMax));
        } else if ((options & kLengthLimit) && line.Length.Value() <= static_cast<long double>(lengthLimit)) {
            pass.Add(-15, "L", line.Kind, line.Number, "podlimitná dĺžka");
        }
    }
    return pass.Finish();
}

} // namespace vexa
