#pragma once
// The fingerprint of an element: a hash of what a finding about it rests on, so that an
// exception made for the element can tell whether the element is still as it was. It
// covers the kind, the flags and display code of the record, the geometry (a line's
// vertices, a point's position and angle, a text's angle and rectangle, an area's
// reference point, rectangle and size) and the element's attribute row.
#include "block/BlkObj.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vexa::review {

// Sixteen hexadecimal digits; nothing when the element does not exist (no such number,
// deleted, or a group letter that is none). A finding without an element number (an
// attribute table as a whole) has the fingerprint kNoElement.
std::optional<std::string> ElementFingerprint(TBlk& blk, const std::string& group, std::optional<std::int32_t> number);

// The same on a block that is opened for reading only (nothing on disk changes). A block
// that cannot be read gives nothing.
std::optional<std::string> ElementFingerprint(const std::string& blockPath, const std::string& group,
                                              std::optional<std::int32_t> number);

inline constexpr const char* kNoElement = "-";

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
