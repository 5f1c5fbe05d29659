#pragma once
// The fingerprint of an element (block/BlkFingerprint.h) taken from a block on disk, for the
// review's tools that have no block open.
#include "block/BlkFingerprint.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vexa::review {

using vexa::ElementFingerprint;
using vexa::kNoElement;

// The fingerprint on a block that is opened for reading only (nothing on disk changes). A
// block that cannot be read gives nothing.
std::optional<std::string> ElementFingerprint(const std::string& blockPath, const std::string& group,
                                              std::optional<std::int32_t> number);

// Fingerprints of many elements (ElementFingerprint on a block path): the block read last
// stays open, so that the elements of one block asked one after another read it once.
class TFingerprints {
public:
    TFingerprints();
    ~TFingerprints();
    TFingerprints(const TFingerprints&) = delete;
    TFingerprints& operator=(const TFingerprints&) = delete;
    std::optional<std::string> Of(const std::string& blockPath, const std::string& group,
                                  std::optional<std::int32_t> number);

private:
    std::string FPath;  // the block asked last
    std::unique_ptr<TBlk> FBlk;  // open on it; nullptr when it cannot be read
};

// The block's directory as it is on disk: a name whose stray bytes are written \xHH (as
// vexa-check prints it and the error table holds it) is the entry of that printed name.
// The path as given when it exists or no entry matches.
std::string BlockOnDisk(const std::string& blockPath);

}  // namespace vexa::review
