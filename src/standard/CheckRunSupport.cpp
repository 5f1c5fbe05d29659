#include "standard/CheckRunSupport.h"

#include "common/FileNames.h"
#include "common/Text.h"
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

void TCheckPass::Open(TBlk& blk) {
    FBlk = &blk;
    FPlaceSteps = PlaceWalkBudget(blk);
    FBlock = BlockName(blk);
    FLayer = LayerCode(FBlock);
    FSession.emplace(FStandard.ErrorTable());
}

int TCheckPass::Finish() {
    if (FSession) FSession->End();
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
    FStandard.Findings().Add(found);
    ++FCount;
}

}  // namespace vexa::checkrun
