#pragma once
// Builds blocks with valid area topology for the check tests, the benchmark and
// the sample map: the four links of every line (with their reversal flags) are
// derived from the geometry, and grids of rectangular areas are laid out with
// their boundary lines.
#include "kit/BlockKit.h"

#include <cstdint>

namespace vexa::checkskit {

// Sets NextA, PrevA, NextB, PrevB and their reversal flags of every line of content
// that is not deleted and not marked unusable (flags bit 0 or 1): lines meet where
// their end vertices have equal coordinates, and the links follow the areas on
// either side around each meeting point. AreaA (left of the line's direction) and
// AreaB (right) must already be set.
void LinkLines(testkit::BlockSpec& content);

struct GridSpec {
    int Rows = 2;                 // cells along Y
    int Cols = 2;                 // cells along X
    double X0 = 1000, Y0 = 2000;  // lower left corner
    double Cell = 100;            // cell side in metres
    int LinesPerEdge = 1;         // each cell side split into this many lines
    int VerticesPerLine = 2;      // at least 2; inner vertices lie on the side
    std::int16_t LineKind = 1;
    std::int16_t AreaKind = 10;
    std::int32_t FirstLine = 1;   // number of the first line added
    std::int32_t FirstArea = 1;   // number of the first area added (row by row)
};

struct GridResult {
    std::int32_t NextLine;  // first number after the grid's lines
    std::int32_t NextArea;  // first number after the grid's areas
};

// Appends the grid's lines (horizontal sides west to east, then vertical sides
// south to north) and areas (row by row from the south-west) to content, with areas
// on both sides (-1 outside), AreaSize, Rect, RefX/RefY and FirstLine (the cell's
// first southern line). Links are not set: call LinkLines when the block is complete.
GridResult AddAreaGrid(testkit::BlockSpec& content, const GridSpec& grid);

// Number of the line on the southern side of cell (row, col) at position part.
std::int32_t SouthLine(const GridSpec& grid, int row, int col, int part = 0);
// Number of the line on the western side of cell (row, col) at position part.
std::int32_t WestLine(const GridSpec& grid, int row, int col, int part = 0);
// Number of the area of cell (row, col).
std::int32_t CellArea(const GridSpec& grid, int row, int col);

} // namespace vexa::checkskit
