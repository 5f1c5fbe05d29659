#pragma once
// Test kit: builds blocks from records in temporary directories.
// Used only by tests (and the benchmark generator).
#include "block/BlkRecords.h"
#include "dbase/FieldTypes.h"

#include <cstdint>
#include <exception>
#include <typeinfo>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vexa {
class TBlk;
}

namespace vexa::testkit {

namespace fs = std::filesystem;

// A fresh directory under the system temporary directory, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& Path() const { return path_; }
    // Path()/name as text (a block directory, a file).
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

TReal48 R(long double value);

// Element records with every field the tests do not set zero, links -1, areas -1.
TBlkLine MakeLine(std::int32_t number, std::int16_t kind = 1);
TBlkPoint MakePoint(std::int32_t number, std::int16_t kind, long double x, long double y, long double angle = 0);
TBlkText MakeText(std::int32_t number, std::int16_t kind, long double angle = 0);
TBlkArea MakeArea(std::int32_t number, std::int16_t kind, std::int32_t firstLine = 0);
TBlkRect MakeRect(long double minX, long double minY, long double maxX, long double maxY);

// The contents of one block; records are written in vector order after the header record.
struct BlockSpec {
    TCrds Crds;  // record 0 of tn.crd is a vertex like any other
    std::vector<TBlkLine> Lines;
    std::vector<TBlkPoint> Points;
    std::vector<TBlkText> Texts;
    std::vector<TBlkArea> Areas;

    // Appends the vertices to Crds and a line using them: FirstCrd/LastCrd set
    // (reversed when reversed is true), Rect computed from the vertices, Length the
    // polyline length. Returns a reference to the added line for further edits.
    TBlkLine& AddLine(std::int32_t number, std::int16_t kind, const std::vector<std::pair<double, double>>& vertices,
                      bool reversed = false);
};

// Writes tn.crd, tn.lin, tn.pnt, tn.tbx, tn.are (header records with time 0 prepended),
// tn.ttx and info.txt into dir, creating it. Existing files are replaced.
void WriteBlock(const fs::path& dir, const BlockSpec& content);

// --- area topology ------------------------------------------------------------
// The kit's link convention: a line runs from its first vertex (Crds[FirstCrd]) to its
// last (Crds[LastCrd]); side A is on its left, side B on its right. NextA and NextB name
// the line that follows at the line's end node around the area of that side (counter-
// clockwise around the A area, clockwise around the B area); PrevA and PrevB the line
// that precedes at the start node. A link's reversal flag is set when the linked line
// does not start at the shared node. A line end that meets no other line links to its
// own line. This is what the boundary walk of TBlk expects.

// Sets the four links and reversal flags of every line in content that is neither deleted
// nor unusable (flags bit 0 or 1) from the geometry: lines meet where their end vertices
// are equal, and the lines at a node are ordered by the direction of their first segment
// away from it. AreaA/AreaB are left as they are. Call it again after adding lines.
void LinkLines(BlockSpec& content);

// A grid of rectangular areas whose neighbours share boundary lines.
struct GridSpec {
    int Columns = 2, Rows = 2;
    double X0 = 0, Y0 = 0;
    double CellWidth = 100, CellHeight = 100;
    std::int32_t FirstLineNumber = 1;  // lines and areas are numbered on from these
    std::int32_t FirstAreaNumber = 1;
    std::int16_t LineKind = 1, AreaKind = 1;
    // Cell 0 (the bottom-left) gets a square island area inside it, bounded by one closed
    // line and joined to the cell's bottom-left corner by a bridge line (the same area on
    // both sides, so the cell's boundary walk passes it twice).
    bool Island = false;
    bool CellStartsAtBridge = false;  // the cell's FirstLine is the bridge instead of its bottom edge
    // Each cell side is split into this many lines of this many vertices each.
    int LinesPerSide = 1, VerticesPerLine = 2;
    // Vertical edges numbered row by row from the bottom (west to east) instead of column by column.
    bool VerticalsByRow = false;

    // Numbers of the grid's areas and lines: the cell (row, col) from the bottom-left, and
    // the line at position part (from the south or west) of the cell's bottom or left side.
    std::int32_t Cell(int row, int col) const { return FirstAreaNumber + row * Columns + col; }
    std::int32_t BottomLine(int row, int col, int part = 0) const {
        return FirstLineNumber + (row * Columns + col) * LinesPerSide + part;
    }
    std::int32_t LeftLine(int row, int col, int part = 0) const {
        const int edge = VerticalsByRow ? row * (Columns + 1) + col : col * Rows + row;
        return FirstLineNumber + ((Rows + 1) * Columns + edge) * LinesPerSide + part;
    }
};

// Numbers of what AddAreaGrid added.
struct GridLayout {
    std::vector<std::int32_t> Cells;                // area numbers, row by row from the bottom-left
    std::vector<std::int32_t> Lines;                // every line added, in the order added
    std::int32_t Island = 0, Bridge = 0, Ring = 0;  // 0 without an island
};

// Appends the grid's lines (horizontal edges row by row from the bottom, then vertical
// edges column by column from the left, then bridge and ring; the lines of an edge from
// the south or west) and areas (cells row by row, then the island) to content, with
// AreaA/AreaB set (-1 outside the grid), Rect, RefX/RefY (the cell's centre), AreaSize, and
// FirstLine (the cell's first bottom line, the island's ring), and then links every line of
// content with LinkLines.
GridLayout AddAreaGrid(BlockSpec& content, const GridSpec& grid);

// The size of every area of the open block by number, worked out apart from the boundary
// walks and rings (Green's theorem over every live line): by the kit's convention a line
// has AreaA on its left and AreaB on its right, so its vertices add their trapezoids to
// the one with a plus and to the other with a minus; a line with one area on both sides
// adds nothing to it.
std::map<std::int32_t, double> AreaSizesByTheirLines(TBlk& blk);

// Writes a dBASE table (an attribute table of a block) with these columns and rows.
void WriteTable(const fs::path& file, const TFldDefList& fields, const std::vector<std::vector<TValue>>& rows);

// Raw file helpers for tests of damaged blocks.
std::vector<unsigned char> ReadFileBytes(const fs::path& file);
// A whole file as a string of its bytes ("" when it cannot be read).
std::string ReadFileText(const fs::path& file);
// Writes the bytes as the whole file.
void WriteFileText(const fs::path& file, const std::string& bytes);

// The message of the exception of type E (or derived) that f raises; a marker
// text when f raises something else or nothing.
template <typename E, typename F>
std::string ThrownMessage(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("<other exception: ") + e.what() + ">";
    }
    return "<no exception>";
}

// The message of the exception f raises, which must be of exactly type E.
template <class E, class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        if (typeid(e) != typeid(E)) return std::string("unexpected ") + typeid(e).name() + ": " + e.what();
        return e.what();
    }
    return "no exception";
}
void WriteFileBytes(const fs::path& file, const std::vector<unsigned char>& bytes);

}  // namespace vexa::testkit
