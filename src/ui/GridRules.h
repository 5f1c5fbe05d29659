#pragma once
// Rules of the main window's block grid that do not need a window: what the
// cells hold, the colour of a row's name cell, where a glyph sits in its cell
// and what a click on the selection glyph does.
#include <string>

namespace vexa {

// Columns of the block grid.
inline constexpr int kColNazov = 0;     // name-status glyph index
inline constexpr int kColKontrola = 1;  // selection glyph index
inline constexpr int kColVrstva = 2;    // block file name
inline constexpr int kGridColumns = 3;

// Cell values; they are also the indexes of the grid's four glyphs.
inline constexpr const char* kNameNotConforming = "0";  // sad face
inline constexpr const char* kNameConforming = "1";     // smiling face
inline constexpr const char* kNotSelected = "2";        // empty check box
inline constexpr const char* kSelected = "3";           // ticked check box

inline constexpr int kGlyphSize = 16;

// Titles of the grid's first row.
inline constexpr const char* kTitleNazov = "názov";
inline constexpr const char* kTitleKontrola = "kontrola";
inline constexpr const char* kTitleVrstva = "vrstva";

// Background of a data row's name cell (not focused).
enum class TRowColour {
    Window,      // both glyph cells empty (no block in the row)
    Conforming,  // "1" and "3": the row takes part in a check run
    Other,       // any other combination
};

struct TRgb {
    int Red, Green, Blue;
    bool operator==(const TRgb&) const = default;
};
inline constexpr TRgb kConformingColour{181, 232, 191};  // light green
inline constexpr TRgb kOtherColour{247, 201, 198};       // light red

TRowColour NameCellColour(const std::string& nazov, const std::string& kontrola);

// A row takes part in a check run only with "1" and "3".
bool TakesPartInRun(const std::string& nazov, const std::string& kontrola);

struct TCellRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TCellRect&) const = default;
};

// Offset that centres an item of the given extent in a cell (division truncating toward zero).
int CentredOffset(int cellExtent, int itemExtent);

// Rectangle of a glyph centred in a cell.
TCellRect GlyphRect(const TCellRect& cell, int imageWidth = kGlyphSize, int imageHeight = kGlyphSize);

// Strictly inside (a point on the border is outside).
bool StrictlyInside(const TCellRect& rect, int x, int y);

// Value of a selection cell after a click on its glyph: "2" becomes "3", anything else "2".
std::string ToggledSelection(const std::string& value);

// The click rule of the selection column: when the cell is not empty and (x, y) lies strictly
// inside its glyph, returns true and changes value; otherwise leaves it.
bool ToggleByClick(std::string& value, const TCellRect& cell, int x, int y);

}  // namespace vexa
