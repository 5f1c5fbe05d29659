// Whether the two areas on either side of a line are alike (so that the line is superfluous).
#include "block/BlkObj.h"

#include "common/Text.h"

#include <algorithm>

namespace vexa {

bool AttributeRowsAlike(const TFldValList& a, const TFldValList& b) {
    if (a.empty() && b.empty()) return true;   // neither has a row
    if (a.empty() != b.empty()) return false;  // only one has a row
    // The GIS's own columns (element number, area, perimeter, ...) differ from area
    // to area and are left out.
    std::size_t i = 0, j = 0;
    for (;;) {
        while (i < a.size() && IsBlkReservedField(a[i].Name)) ++i;
        while (j < b.size() && IsBlkReservedField(b[j].Name)) ++j;
        if (i == a.size() || j == b.size()) return i == a.size() && j == b.size();
        if (!SameTextAscii(a[i].Name, b[j].Name)) return false;
        if (!(a[i].Value == b[j].Value)) return false;  // same type and value; two nulls are equal
        ++i;
        ++j;
    }
}

bool TBlk::AdjacentAreasMatch(const TBlkLine& line) {
    CheckOpened();
    if (IsInnerLine(line)) return true;
    if (!IsAreaLine(line)) return false;

    TBlkArea sideA{}, sideB{};
    sideA.Kind = sideB.Kind = -1;
    if (line.AreaA >= 0) FindArea(line.AreaA, sideA);
    if (line.AreaB >= 0) FindArea(line.AreaB, sideB);
    if (sideA.Kind != sideB.Kind) return false;

    TFldValList valuesA, valuesB;
    ReadAttributes(egArea, sideA.Kind, sideA.Number, valuesA);
    ReadAttributes(egArea, sideB.Kind, sideB.Number, valuesB);
    return AttributeRowsAlike(valuesA, valuesB);
}

}  // namespace vexa
