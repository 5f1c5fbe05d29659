#pragma once
// What the review tests share: a copy of the sample map and edits of its elements' bytes.
#include "kit/BlockKit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vexa::reviewtest {

namespace fs = std::filesystem;

// tn.pnt records are 35 bytes: number at 0, kind at 4, angle (6-byte real) at 29.
constexpr std::size_t kPointSize = 35;

// Overwrites bytes of a file at an offset.
inline void Patch(const fs::path& file, std::size_t offset, const std::vector<unsigned char>& bytes) {
    std::vector<unsigned char> data = testkit::ReadFileBytes(file);
    ASSERT_LE(offset + bytes.size(), data.size()) << file;
    std::memcpy(data.data() + offset, bytes.data(), bytes.size());
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data.data()),
                                                                   static_cast<std::streamsize>(data.size()));
}

// Sets the kind of point number n of a block.
inline void SetPointKind(const fs::path& block, int n, std::int16_t kind) {
    Patch(block / "tn.pnt", n * kPointSize + 4,
          {static_cast<unsigned char>(kind & 0xFF), static_cast<unsigned char>((kind >> 8) & 0xFF)});
}

// Halves the rotation angle of point number n (its exponent one lower): still rotated.
inline void TurnPoint(const fs::path& block, int n) {
    std::vector<unsigned char> data = testkit::ReadFileBytes(block / "tn.pnt");
    const unsigned char exponent = data.at(n * kPointSize + 29);
    ASSERT_GT(exponent, 1) << "the point is not rotated";
    Patch(block / "tn.pnt", n * kPointSize + 29, {static_cast<unsigned char>(exponent - 1)});
}

}  // namespace vexa::reviewtest
