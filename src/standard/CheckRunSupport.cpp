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

TCheckPass::~TCheckPass() {
    if (FTableOpen) {
        try {
            FStandard.ErrorTable().Close();
        } catch (...) {
            // Closing must not replace the error that ends the pass.
        }
    }
}

void TCheckPass::Open(TBlk& blk) {
    FBlk = &blk;
    FPlaceSteps = PlaceWalkBudget(blk);
    FBlock = BlockName(blk);
    FLayer = LayerCode(FBlock);
    // A worker of a parallel run has no error table: its findings are handed on later.
    if (FStandard.ErrorTablePath().empty()) return;
    FStandard.ErrorTable().Open();
    FTableOpen = true;
}

int TCheckPass::Finish() {
    if (FTableOpen) {
        FTableOpen = false;
        FStandard.ErrorTable().Close();
    }
    return FCount;
}

void TCheckPass::Add(std::int32_t code, std::int16_t kind, std::int32_t number, const std::string& text,
                     std::optional<double> limit) {
    const TFindingCode* entry = FindingCodeOf(code);
    TErrorRecord record;
    record.Id = code;
    record.Blok = FBlock;
    record.Vrstva = FLayer;
    record.Prvok = entry ? std::string(1, entry->Letter) : std::string();
    record.Druh = kind;
    record.Cislo = number;
    record.Chyba = text;
    TFinding finding{record, {}, std::nullopt, limit};
    if (FBlk && entry && (limit || FStandard.Findings().WantsPlaces())) {
        if (const auto group = GroupOfLetter(entry->Letter))
            finding.Place = ElementPlace(*FBlk, *group, number, &FPlaceSteps);
        if (limit) finding.Value = MeasureOf(finding.Place);
    }
    FStandard.Findings().Add(finding);
    ++FCount;
}

}  // namespace vexa::checkrun
