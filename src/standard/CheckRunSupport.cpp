#include "standard/CheckRunSupport.h"

#include "block/BlkFingerprint.h"
#include "common/FileNames.h"
#include "common/Text.h"
#include "common/Utf8.h"
#include "standard/ErrorTable.h"
#include "standard/FindingKinds.h"
#include "standard/FindingPlace.h"
#include "standard/Findings.h"

namespace vexa::checkrun {

std::string BlockName(const TBlk& blk) { return ExtractFileName(ExcludeTrailingDelimiter(blk.Path())); }

std::string LayerCode(const std::string& blockName) { return CutUtf8(blockName, 2); }

TReadCacheScope::TReadCacheScope(TBlk& blk) : FBlk(blk), FWasOn(blk.ReadCache()) {
    if (FWasOn) return;
    try {
        FBlk.SetReadCache(true);
    } catch (const EBlkReadError&) {
        // Unreadable as a whole: the pass reads the files directly and meets the
        // error where the element reads meet it.
    }
}

TReadCacheScope::~TReadCacheScope() {
    if (!FWasOn && FBlk.ReadCache()) FBlk.SetReadCache(false);
}

TCheckPass::TCheckPass(TBlkStandardGXD& standard, std::int32_t count)
    : FStandard(standard), FCursor(standard.UI(), TCursorKind::Wait), FKnown(count) {
    if (IGauge* gauge = FStandard.Gauge()) {
        gauge->SetProgress(0);
        gauge->SetMaximum(count);
    }
}

TCheckPass::~TCheckPass() = default;

void AddToExtent(TStoredExtent& extent, const TBlkRect& r) {
    const double x0 = r.MinX.ToDouble(), y0 = r.MinY.ToDouble(), x1 = r.MaxX.ToDouble(), y1 = r.MaxY.ToDouble();
    if (x0 > x1 || y0 > y1 || (x0 == 0 && y0 == 0 && x1 == 0 && y1 == 0)) return;
    extent.Add(x0, y0);
    extent.Add(x1, y1);
}

TElementFingerprints HandFingerprints(IFindingSink& sink, TBlk& blk, const std::string& block,
                                      std::optional<TBlkElementGroup> group) {
    TElementFingerprints found;
    const TFingerprintWish* wish = sink.FingerprintsWanted();
    if (!wish || wish->Empty()) return found;
    const std::vector<TFingerprintWish::TElement>* elements = wish->Of(EscapeInvalidUtf8(block));
    if (!elements) return found;
    for (const TFingerprintWish::TElement& e : *elements) {
        if (group && e.Group != GroupLetter(*group)) continue;
        std::optional<std::string> fp = ElementFingerprint(blk, std::string(1, e.Group), e.Number);
        sink.ElementFingerprinted({block, e.Group, e.Number, fp});
        found.emplace(e, std::move(fp));
    }
    return found;
}

void TCheckPass::Open(TBlk& blk, TBlkElementGroup group) {
    FBlk = &blk;
    FGroup = group;
    FPlaceSteps = PlaceWalkBudget(blk);
    FBlock = BlockName(blk);
    FLayer = LayerCode(FBlock);
    FSession.emplace(FStandard.ErrorTable());
    FFingerprints = HandFingerprints(FStandard.Findings(), blk, FBlock, group);
    FWantsExtent = group != egArea && FStandard.Findings().WantsExtents();
}

int TCheckPass::Finish() {
    if (FSession) FSession->End();
    if (FWantsExtent) FStandard.Findings().GroupExtent({FBlock, static_cast<std::uint8_t>(FGroup), FExtent});
    return FCount;
}

void TCheckPass::Add(TFindingKind finding, std::int16_t kind, std::int32_t number) {
    Add(finding, kind, number, FindingRow(finding).Text);
}

void TCheckPass::AddLimit(TFindingKind finding, std::int16_t kind, std::int32_t number, double limit) {
    Add(finding, kind, number, FindingRow(finding).Text, limit);
}

void TCheckPass::Add(TFindingKind finding, std::int16_t kind, std::int32_t number, const std::string& text,
                     std::optional<double> limit) {
    const TFindingCode& row = FindingRow(finding);
    TErrorRecord record;
    record.Id = row.Code;
    record.Blok = FBlock;
    record.Vrstva = FLayer;
    record.Prvok = std::string(1, row.Letter);
    record.Druh = kind;
    record.Cislo = number;
    record.Chyba = text;
    TFinding found{record, {}, std::nullopt, limit};
    if (FBlk && (limit || FStandard.Findings().WantsPlaces())) {
        if (const auto group = GroupOfLetter(row.Letter)) found.Place = ElementPlace(*FBlk, *group, number, &FPlaceSteps);
        if (limit) found.Value = MeasureOf(found.Place);
    }
    if (!FFingerprints.empty()) {
        const auto fp = FFingerprints.find({row.Letter, number});
        if (fp != FFingerprints.end()) found.Fingerprint = fp->second;
    }
    FStandard.Findings().Add(found);
    ++FCount;
}

}  // namespace vexa::checkrun
