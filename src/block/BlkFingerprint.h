#pragma once
// The fingerprint of an element: a hash of what a finding about it rests on, so that an
// exception made for the element can tell whether the element is still as it was. It
// covers the kind, the flags and display code of the record, the geometry (a line's
// vertices, a point's position and angle, a text's angle and rectangle, an area's
// reference point, rectangle and size) and the element's attribute row. A check pass
// takes it from the block it has open; the review's tools from a block opened for it.
#include "block/BlkObj.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vexa {

// Sixteen hexadecimal digits; nothing when the element does not exist (no such number,
// deleted, or a group letter that is none). A finding without an element number (an
// attribute table as a whole) has the fingerprint kNoElement.
std::optional<std::string> ElementFingerprint(TBlk& blk, const std::string& group, std::optional<std::int32_t> number);

inline constexpr const char* kNoElement = "-";

}  // namespace vexa
