#pragma once
// Internal: the index of the cached lines file used by FindDuplicateLines.
#include "block/BlkObj.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace vexa {

// Records that pass the cheap duplicate tests together share a key: the vertex count
// and the stored rectangle (each real in a canonical form, so that equal values give
// equal keys). Each key lists its record indexes in file order.
struct TBlk::TDuplicateIndex {
    std::unordered_map<std::string, std::vector<std::uint32_t>> Groups;

    static std::string Key(const TBlkLine& line);
};

} // namespace vexa
