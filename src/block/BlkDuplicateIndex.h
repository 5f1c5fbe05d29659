#pragma once
// Internal: the index the duplicate-line search uses while the block is cached.
#include "block/BlkObj.h"

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vexa {

// Every line record grouped by its cheap key (vertex count and stored rectangle)
// and, among the records that share one, by their exact vertices: finding a
// line's duplicates is a binary search, so many identical lines cost n log n.
struct TBlk::TDuplicateIndex {
    struct Key {
        std::uint64_t Hash = 0;
        std::int64_t Count = 0;
        std::array<std::uint8_t, 24> Rect{};
        auto operator<=>(const Key&) const = default;
    };
    struct Entry {
        Key K;
        std::uint32_t Position;  // record index in the file: file order within a key
        std::int32_t Number, FirstCrd, LastCrd;
        bool Broken = false;   // its vertices cannot be read
        std::string Geometry;  // GeometryKey of its vertices (records sharing their cheap key only)
    };
    // Sorted by cheap key, then geometry, then file position.
    std::vector<Entry> Entries;
    // Cheap key hash -> [first, end) of its entries, for the hashes more than one record shares.
    std::unordered_map<std::uint64_t, std::pair<std::uint32_t, std::uint32_t>> Shared;

    static Key KeyOf(const TBlkLine& line);
    // The vertices in one canonical form (every zero the one zero), in the direction
    // whose bytes compare lower: a line and its reverse give one key.
    static std::string GeometryKey(const TCrds& crds);

    void Build(TBlk& blk);
    // Appends the numbers (and a comma each) of the other lines with the vertices
    // crds, in file order, until found is longer than limit.
    void Find(TBlk& blk, const TBlkLine& line, const TCrds& crds, std::string& found, std::size_t limit) const;
};

}  // namespace vexa
