// Whether the two areas on either side of a line are alike (so that the line is superfluous).
#include "block/BlkObj.h"

#include "common/Text.h"

#include <algorithm>

namespace vexa {

namespace {

// The values of the columns that describe the area itself: the GIS's own columns
// (element number, area, perimeter, ...) differ from area to area and are left out.
TFldValList DescriptiveValues(const TFldValList& values) {
    TFldValList out;
    for (const TFldVal& v : values)
        if (!IsBlkReservedField(v.Name)) out.push_back(v);
    return out;
}

// Same type and same value; two nulls are equal, values of different types are not.
bool SameValue(const TValue& a, const TValue& b) { return a.index() == b.index() && a == b; }

} // namespace

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
    if (valuesA.empty() && valuesB.empty()) return true;  // neither has a row
    if (valuesA.empty() != valuesB.empty()) return false;  // only one has a row

    const TFldValList a = DescriptiveValues(valuesA), b = DescriptiveValues(valuesB);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!SameTextAscii(a[i].Name, b[i].Name)) return false;
        if (!SameValue(a[i].Value, b[i].Value)) return false;
    }
    return true;
}

} // namespace vexa
