#include "ui/GridRules.h"

namespace vexa {

TRowColour NameCellColour(const std::string& nazov, const std::string& kontrola) {
    if (nazov.empty() && kontrola.empty()) return TRowColour::Window;
    if (TakesPartInRun(nazov, kontrola)) return TRowColour::Conforming;
    return TRowColour::Other;
}

bool TakesPartInRun(const std::string& nazov, const std::string& kontrola) {
    return nazov == kNameConforming && kontrola == kSelected;
}

int CentredOffset(int cellExtent, int itemExtent) {
    // C++ integer division truncates toward zero, as the layout rule asks.
    return (cellExtent - itemExtent) / 2;
}

TCellRect GlyphRect(const TCellRect& cell, int imageWidth, int imageHeight) {
    TCellRect r;
    r.Left = cell.Left + CentredOffset(cell.Width(), imageWidth);
    r.Right = r.Left + imageWidth;
    r.Top = cell.Top + CentredOffset(cell.Height(), imageHeight);
    r.Bottom = r.Top + imageHeight;
    return r;
}

bool StrictlyInside(const TCellRect& rect, int x, int y) {
    return rect.Left < x && x < rect.Right && rect.Top < y && y < rect.Bottom;
}

std::string ToggledSelection(const std::string& value) { return value == kNotSelected ? kSelected : kNotSelected; }

bool ToggleByClick(std::string& value, const TCellRect& cell, int x, int y) {
    if (value.empty()) return false;
    if (!StrictlyInside(GlyphRect(cell), x, y)) return false;
    value = ToggledSelection(value);
    return true;
}

}  // namespace vexa
