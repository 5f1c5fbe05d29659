#pragma once
// The synthetic map of the check benchmark. A block at scale 1 holds 100,000 lines
// of 10 vertices (a valid topology of 100 x 200 forest stands, spurs into some
// stands and free lines), 20,000 stands with their attribute table p0001.dbf,
// 50,000 points and 20,000 texts, with a few percent of every fault the element
// checks find (against the sample standard). The scale multiplies every count.
#include <filesystem>
#include <string>

namespace vexa::testkit {

namespace fs = std::filesystem;

// Writes the block directory; returns what it holds, for a person to read.
std::string WriteBenchBlock(const fs::path& block, double scale);

// The name of the index-th block of a benchmark map (from 1): "LE_00001.blk".
std::string BenchBlockName(int index);

// A map of blocks copies of one benchmark block, LE_00001.blk to LE_<blocks>.blk;
// the blocks of those names are replaced, nothing else in the map is touched.
// Returns what one block holds.
std::string WriteBenchMap(const fs::path& map, double scale, int blocks);

}  // namespace vexa::testkit
