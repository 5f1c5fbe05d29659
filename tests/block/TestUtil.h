#pragma once
// Helpers shared by the block store tests.
//
// The element records are packed: a field of one may lie at any address, and binding a
// reference to it (EXPECT_EQ, push_back, std::find take references) is undefined behaviour.
// The tests compare such fields as values: EXPECT_EQ(+l.Number, 2), push_back(std::int32_t{l.Number}).
#include "block/BlkObj.h"
#include "kit/BlockKit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace vexa::blocktest {

using testkit::ReadFileText;
using testkit::ThrownMessage;

using namespace vexa::testkit;

template <typename T>
std::vector<unsigned char> RecordBytes(const T& rec) {
    const auto* p = reinterpret_cast<const unsigned char*>(&rec);
    return std::vector<unsigned char>(p, p + sizeof rec);
}

template <typename T>
bool AllZero(const T& rec) {
    for (unsigned char b : RecordBytes(rec))
        if (b != 0) return false;
    return true;
}

inline std::uint32_t U32At(const std::vector<unsigned char>& bytes, std::size_t offset) {
    std::uint32_t v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

// The vertices as (x, y) values.
using Points = std::vector<std::pair<long double, long double>>;
inline Points ValuesOf(const TCrds& crds) {
    Points out;
    for (const TBlkCrd& c : crds) out.emplace_back(c.X.Value(), c.Y.Value());
    return out;
}

// Cuts (negative) or pads a file by delta bytes of the given value.
inline void Resize(const fs::path& file, long delta, unsigned char fill = 0) {
    auto b = ReadFileBytes(file);
    b.resize(b.size() + delta, fill);
    WriteFileBytes(file, b);
}

// The header record of each element file: its size, the flags byte with its value, and
// the 4-byte packed time.
struct HeaderLayout {
    const char* file;
    std::size_t size, flagsAt;
    unsigned char flags;
    std::size_t timeAt;
};
inline const HeaderLayout kHeaders[] = {
    {"tn.lin", 103, 7, 1, 15}, {"tn.pnt", 35, 7, 1, 13}, {"tn.tbx", 85, 11, 1, 7}, {"tn.are", 71, 6, 4, 12}};

// Checks a header record at the start of bytes: zero bytes except the flags and a time in [low, high].
inline void ExpectHeader(const HeaderLayout& h, const std::vector<unsigned char>& bytes, std::uint32_t low,
                         std::uint32_t high) {
    ASSERT_GE(bytes.size(), h.size) << h.file;
    for (std::size_t i = 0; i < h.size; ++i) {
        const bool time = i >= h.timeAt && i < h.timeAt + 4;
        if (!time) {
            EXPECT_EQ(bytes[i], i == h.flagsAt ? h.flags : 0) << h.file << " byte " << i;
        }
    }
    EXPECT_GE(U32At(bytes, h.timeAt), low) << h.file;
    EXPECT_LE(U32At(bytes, h.timeAt), high) << h.file;
}

// A block whose lines carry the given numbers (vertices 2 per line).
inline BlockSpec LinesNumbered(const std::vector<std::int32_t>& numbers) {
    BlockSpec content;
    double x = 0;
    for (std::int32_t n : numbers) {
        content.AddLine(n, 1, {{x, 0}, {x + 1, 1}});
        x += 10;
    }
    return content;
}

// A block in a temporary directory opened by one TBlk.
class BlockTest : public ::testing::Test {
protected:
    fs::path Dir() const { return tmp.Path() / "b.blk"; }
    void Open(const BlockSpec& s) {
        WriteBlock(Dir(), s);
        blk.Open(Dir().string());
    }
    TBlkArea Area(std::int32_t number) {
        TBlkArea a;
        blk.FindArea(number, a);
        return a;
    }
    std::string ReadError() { return "Chyba čítania\r(" + blk.Path() + ")"; }
    std::string NotExist(char letter, std::int64_t number) {
        return "Prvok neexistuje\r(" + blk.Path() + ", " + letter + ":" + std::to_string(number) + ")";
    }

    TempDir tmp;
    TBlk blk;
};

}  // namespace vexa::blocktest
