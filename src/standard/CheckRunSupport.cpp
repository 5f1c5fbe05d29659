#include "standard/CheckRunSupport.h"

#include "common/FileNames.h"
#include "standard/ErrorTable.h"

namespace vexa::checkrun {

std::string BlockName(const TBlk& blk) {
    return ExtractFileName(ExcludeTrailingDelimiter(blk.Path()));
}

std::string LayerCode(const std::string& blockName) {
    // Two whole characters: continuation bytes of UTF-8 stay with their lead byte.
    std::size_t end = 0;
    for (int chars = 0; chars < 2 && end < blockName.size(); ++chars) {
        ++end;
        while (end < blockName.size() && (static_cast<unsigned char>(blockName[end]) & 0xC0) == 0x80) ++end;
    }
    return blockName.substr(0, end);
}

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

void TCheckPass::Open(const TBlk& blk) {
    FBlock = BlockName(blk);
    FLayer = LayerCode(FBlock);
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

void TCheckPass::Add(std::int32_t code, const char* letter, std::int16_t kind, std::int32_t number,
                     const std::string& text) {
    TErrorRecord record;
    record.Id = code;
    record.Blok = FBlock;
    record.Vrstva = FLayer;
    record.Prvok = letter;
    record.Druh = kind;
    record.Cislo = number;
    record.Chyba = text;
    FStandard.ErrorTable().Append(record);
    ++FCount;
}

} // namespace vexa::checkrun
