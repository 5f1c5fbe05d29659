#pragma once
// Element groups and the packed element records of the block files.
// Offsets are those of the files; bytes named Res* belong to the GIS and are carried unchanged.
#include "block/Real48.h"

#include <array>
#include <optional>
#include <string>
#include <cstdint>
#include <vector>

namespace vexa {

enum TBlkElementGroup : std::uint8_t { egLine = 0, egPoint = 1, egArea = 2, egText = 3 };

// "L", "B", "P", "T"; '?' for any other value.
char GroupLetter(TBlkElementGroup group);
// The group of a letter (either case); nothing for any other letter.
std::optional<TBlkElementGroup> GroupOfLetter(char letter);

#pragma pack(push, 1)
struct TBlkCrd {
    TReal48 X;
    TReal48 Y;
};

struct TBlkRect {
    TReal48 MinX, MinY, MaxX, MaxY;
};

struct TBlkLine {
    std::int32_t Number;       // 0
    std::int16_t Kind;         // 4
    std::uint8_t Res6;         // 6
    std::uint8_t Flags;        // 7: bit 0 deleted, bit 1 not topologically usable, bit 2 curve
    std::uint8_t Res8[3];      // 8
    std::int16_t DisplayCode;  // 11
    std::uint8_t Res13[2];     // 13
    std::uint32_t Time;        // 15, header record only
    std::int32_t FirstCrd;     // 19
    std::int32_t LastCrd;      // 23
    std::int32_t NextA;        // 27
    std::uint8_t NextARev;     // 31
    std::int32_t PrevA;        // 32
    std::uint8_t PrevARev;     // 36
    std::int32_t NextB;        // 37
    std::uint8_t NextBRev;     // 41
    std::int32_t PrevB;        // 42
    std::uint8_t PrevBRev;     // 46
    std::int32_t AreaA;        // 47, -1 none
    std::int32_t AreaB;        // 51, -1 none
    TReal48 Length;            // 55
    TBlkRect Rect;             // 61
    std::uint8_t Res85[18];    // 85
};

struct TBlkPoint {
    std::int32_t Number;       // 0
    std::int16_t Kind;         // 4
    std::uint8_t Res6;         // 6
    std::uint8_t Flags;        // 7: bit 0 deleted
    std::uint8_t Res8[3];      // 8
    std::int16_t DisplayCode;  // 11
    std::uint32_t Time;        // 13, header record only
    TReal48 X;                 // 17
    TReal48 Y;                 // 23
    TReal48 Angle;             // 29
};

struct TBlkText {
    std::int32_t Number;     // 0
    std::int16_t Kind;       // 4
    std::uint8_t Res6;       // 6
    std::uint32_t Time;      // 7, header record only
    std::uint8_t Flags;      // 11: bit 0 deleted
    std::uint8_t Res12[26];  // 12
    TReal48 Angle;           // 38, radians
    std::uint8_t Res44[17];  // 44
    TBlkRect Rect;           // 61
};

struct TBlkArea {
    std::int32_t Number;     // 0
    std::int16_t Kind;       // 4
    std::uint8_t Flags;      // 6: bit 2 (value 4) deleted
    std::uint8_t Res7[5];    // 7
    std::uint32_t Time;      // 12, header record only
    std::int32_t FirstLine;  // 16
    std::uint8_t Res20[9];   // 20
    TReal48 RefX;            // 29
    TReal48 RefY;            // 35
    TBlkRect Rect;           // 41
    TReal48 AreaSize;        // 65
};
#pragma pack(pop)

static_assert(sizeof(TBlkCrd) == 12);
static_assert(sizeof(TBlkRect) == 24);
static_assert(sizeof(TBlkLine) == 103);
static_assert(sizeof(TBlkPoint) == 35);
static_assert(sizeof(TBlkText) == 85);
static_assert(sizeof(TBlkArea) == 71);

using TCrds = std::vector<TBlkCrd>;
using TLins = std::vector<TBlkLine>;

// The 28 system columns that the GIS keeps in attribute tables, in order.
extern const std::array<const char*, 28> BlkReservedFields;
// Whether a column name is one of them (letter case ignored).
bool IsBlkReservedField(const std::string& name);

}  // namespace vexa
