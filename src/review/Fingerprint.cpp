#include "review/Fingerprint.h"

#include "block/BlkExceptions.h"
#include "common/Utf8.h"

#include <filesystem>

namespace vexa::review {

std::string BlockOnDisk(const std::string& blockPath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path(blockPath);
    if (fs::exists(path, ec) || path.filename().string().find("\\x") == std::string::npos) return blockPath;
    const std::string printed = path.filename().string();
    for (const fs::directory_entry& e : fs::directory_iterator(path.parent_path(), ec)) {
        const std::string name = e.path().filename().string();
        if (name != printed && EscapeInvalidUtf8(name) == printed) return e.path().string();
    }
    return blockPath;
}

std::optional<std::string> ElementFingerprint(const std::string& blockPath, const std::string& group,
                                              std::optional<std::int32_t> number) {
    if (!number || *number <= 0) return std::string(kNoElement);
    TBlk blk(false);
    try {
        blk.Open(BlockOnDisk(blockPath), TBlkOpenMode::ReadOnly);
    } catch (const EBlkException&) {
        return std::nullopt;
    }
    std::optional<std::string> fp = ElementFingerprint(blk, group, number);
    blk.Close(false);
    return fp;
}

TFingerprints::TFingerprints() = default;

TFingerprints::~TFingerprints() {
    if (FBlk) FBlk->Close(false);
}

std::optional<std::string> TFingerprints::Of(const std::string& blockPath, const std::string& group,
                                             std::optional<std::int32_t> number) {
    if (!number || *number <= 0) return std::string(kNoElement);
    if (blockPath != FPath || FPath.empty()) {
        if (FBlk) FBlk->Close(false);
        FBlk.reset();
        FPath = blockPath;
        auto blk = std::make_unique<TBlk>(false);
        try {
            blk->Open(BlockOnDisk(blockPath), TBlkOpenMode::ReadOnly);
            FBlk = std::move(blk);
        } catch (const EBlkException&) {
        }
    }
    if (!FBlk) return std::nullopt;
    return ElementFingerprint(*FBlk, group, number);
}

}  // namespace vexa::review
