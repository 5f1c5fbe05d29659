#pragma once
// Internal: the index the duplicate-line search uses while the block is cached.
#include "block/BlkObj.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vexa {

// Every line record by a 32-bit hash of its cheap key (vertex count and stored
// rectangle), 8 bytes a record. Records that share a hash (copies, and now and then
// records whose keys only collide) are grouped further by their full cheap key and
// their exact vertices, so that finding a line's duplicates is a binary search and
// many identical lines cost n log n.
struct TBlk::TDuplicateIndex {
    struct Key {
        std::int64_t Count = 0;
        std::array<std::uint8_t, 24> Rect{};
        auto operator<=>(const Key&) const = default;
    };
    struct Entry {
        std::uint32_t Hash;
        // A record alone with its hash: its position in the file. A record of a shared
        // hash: its detail (Details), the entries of a hash in the order of their details.
        std::uint32_t Slot;
    };
    // What the records of a shared hash are grouped by.
    struct Detail {
        Key K;
        bool Broken = false;   // its vertices cannot be read
        std::string Geometry;  // GeometryKey of its vertices
        std::int32_t Number = 0;
        std::uint32_t Position = 0;  // file order among equals
    };
    // Sorted by hash; within a shared hash by key, readable first, geometry, position.
    std::vector<Entry> Entries;
    std::vector<Detail> Details;
    // By the top bits of a hash (up to 16, about one range per entry): the first entry
    // with those bits (and the end last), so that a search looks only among the few
    // entries of one range.
    int DirectoryShift = 32;
    std::vector<std::uint32_t> Directory;
    // By record position: whether another record shares the record's hash. The
    // line pass reads the lines in file order, so this answers most lines from
    // memory it passes anyway.
    std::vector<bool> SharedAt;

    static Key KeyOf(const TBlkLine& line);
    static std::uint32_t HashOf(const Key& key);
    // The vertices in one canonical form (every zero the one zero), in the direction
    // whose bytes compare lower: a line and its reverse give one key.
    static std::string GeometryKey(const TCrds& crds);

    void Build(TBlk& blk);
    // Appends the numbers (and a comma each) of the other lines with the vertices
    // crds, in file order, until found is longer than limit.
    void Find(TBlk& blk, const TBlkLine& line, const TCrds& crds, std::string& found, std::size_t limit) const;
};

}  // namespace vexa
