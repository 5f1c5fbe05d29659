// Rectangles of vertex lists, the stored-rectangle test and the classification of lines
// by their topological links.
#include "block/BlkObj.h"

#include <algorithm>

namespace vexa {

namespace {
// The 6-byte real nearest to 1.7E38 and its negative: the starting extremes.
constexpr TReal48 kHugePositive{{0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0x7F}};
constexpr TReal48 kHugeNegative{{0xFF, 0x67, 0x3C, 0x9E, 0xC9, 0xFF}};
}  // namespace

TBlkRect TBlk::CrdsRect(const TCrds& crds) {
    TBlkRect r{};
    if (crds.empty()) return r;
    r.MinX = r.MinY = kHugePositive;
    r.MaxX = r.MaxY = kHugeNegative;
    // Compared by their order keys: the values' own order, without decoding.
    std::int64_t minX = r.MinX.OrderKey(), minY = r.MinY.OrderKey(), maxX = r.MaxX.OrderKey(),
                 maxY = r.MaxY.OrderKey();
    for (const TBlkCrd& c : crds) {
        const std::int64_t x = c.X.OrderKey(), y = c.Y.OrderKey();
        if (x < minX) {
            r.MinX = c.X;
            minX = x;
        }
        if (y < minY) {
            r.MinY = c.Y;
            minY = y;
        }
        if (x > maxX) {
            r.MaxX = c.X;
            maxX = x;
        }
        if (y > maxY) {
            r.MaxY = c.Y;
            maxY = y;
        }
    }
    return r;
}

void TBlk::ReverseCrds(TCrds& crds) { std::reverse(crds.begin(), crds.end()); }

bool TBlk::LineRectOk(const TBlkLine& line, TBlkRect& computed) {
    TCrds crds;
    return LineRectOk(line, computed, crds);
}

bool TBlk::LineRectOk(const TBlkLine& line, TBlkRect& computed, TCrds& crds) {
    ReadLineCrds(line, crds);
    computed = CrdsRect(crds);
    return computed.MinX == line.Rect.MinX && computed.MinY == line.Rect.MinY && computed.MaxX == line.Rect.MaxX &&
           computed.MaxY == line.Rect.MaxY;
}

bool TBlk::IsTopoLine(const TBlkLine& line) {
    if (LineDeleted(line) || (line.Flags & 2)) return false;
    return line.NextA != -1 && line.PrevA != -1 && line.NextB != -1 && line.PrevB != -1;
}

bool TBlk::IsAreaLine(const TBlkLine& line) { return IsTopoLine(line) && (line.AreaA != -1 || line.AreaB != -1); }

bool TBlk::IsInnerLine(const TBlkLine& line) { return IsAreaLine(line) && line.AreaA == line.AreaB; }

}  // namespace vexa
