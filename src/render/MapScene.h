#pragma once
// One block's elements as the map view draws them, read once through the block store
// with the places the exports use: lines (area boundaries told apart), points, texts
// (stored rectangle and angle) and the areas (reference point and ring). A grid over the block
// finds the elements a view meets without visiting all of them.
#include "block/BlkObj.h"
#include "standard/Findings.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace vexa::render {

struct TBox {
    double MinX = 0, MinY = 0, MaxX = -1, MaxY = -1;  // empty while MinX > MaxX
    bool Empty() const { return MinX > MaxX || MinY > MaxY; }
    void Add(double x, double y);
    void Add(const TBox& other);
    bool Meets(const TBox& other) const {
        return !Empty() && !other.Empty() && MinX <= other.MaxX && other.MinX <= MaxX && MinY <= other.MaxY &&
               other.MinY <= MaxY;
    }
    double Width() const { return Empty() ? 0 : MaxX - MinX; }
    double Height() const { return Empty() ? 0 : MaxY - MinY; }
    TPlaceXY Centre() const { return {(MinX + MaxX) / 2, (MinY + MaxY) / 2}; }
};

TBox BoxOf(std::span<const TPlaceXY> crds);

// The end (one past the closing vertex) of the closed ring that begins at first in crds:
// the next vertex equal to the first; crds.size() when none is.
std::size_t RingEnd(std::span<const TPlaceXY> crds, std::size_t first);

enum class TSceneKind : std::uint8_t {
    AreaLine,   // a line with an area on at least one side
    Line,       // any other line
    Point,
    Text,       // the rectangle at the text's angle (five corners, closed)
    AreaPoint,  // an area: its reference point, then, when its ring closes, the closed rings
                // of its polygons one after another (each ends where its first vertex comes
                // again; outer rings counter-clockwise, holes clockwise): RingEnd
};

struct TSceneItem {
    TSceneKind Kind;
    TBlkElementGroup Group;
    std::int32_t Number;
    std::uint32_t First;  // into Crds()
    std::uint32_t Count;
    TBox Box;
};

// A text whose stored rectangle is all zero: the block does not say where it is.
bool Unplaced(const TFindingPlace& place);

// The outline of a text: its stored rectangle is the box of the text turned by its angle,
// so the turned rectangle is found inside it; where the box cannot come from a turned
// rectangle (a turn near 45 degrees, a box too narrow), the stored rectangle itself.
std::vector<TPlaceXY> TextOutline(const TFindingPlace& stored, double angle);

class TMapScene {
public:
    // Reads the block read-only; raises the block store's errors when it cannot be
    // opened. Elements that cannot be read are left out and counted.
    explicit TMapScene(const std::string& blockDir);
    ~TMapScene();
    TMapScene(const TMapScene&) = delete;
    TMapScene& operator=(const TMapScene&) = delete;

    const std::string& BlockDir() const { return FBlockDir; }
    const std::vector<TSceneItem>& Items() const { return FItems; }
    std::span<const TPlaceXY> Crds(const TSceneItem& item) const {
        return {FCrds.data() + item.First, item.Count};
    }
    const TBox& Bounds() const { return FBounds; }
    int Unreadable() const { return FUnreadable; }
    // The item of an element, nullptr when the block has no live element of that number.
    const TSceneItem* Find(TBlkElementGroup group, std::int32_t number) const;
    // The items whose boxes meet box, each once, in drawing order (by index).
    void Query(const TBox& box, std::vector<std::uint32_t>& out) const;
    // The place of an element as a finding has it (an area's ring walked now); a text
    // whose stored rectangle is all zero has none.
    TFindingPlace Place(TBlkElementGroup group, std::int32_t number);
    // The rectangle the block stores for a line, a text or an area (what the GIS is asked
    // to show for it); nothing for a point or an element that cannot be read.
    std::optional<TBox> StoredRect(TBlkElementGroup group, std::int32_t number);

private:
    void Add(TSceneKind kind, TBlkElementGroup group, std::int32_t number, std::span<const TPlaceXY> crds);
    void BuildGrid();
    void CellRange(const TBox& box, int& c0, int& r0, int& c1, int& r1) const;

    std::string FBlockDir;
    std::unique_ptr<TBlk> FBlk;
    std::vector<TSceneItem> FItems;
    std::vector<TPlaceXY> FCrds;
    std::unordered_map<std::uint64_t, std::uint32_t> FByElement;
    TBox FBounds;
    int FUnreadable = 0;
    // The grid: cells of the bounds, each listing the items that meet it.
    int FCols = 0, FRows = 0;
    double FCellW = 1, FCellH = 1;
    std::vector<std::uint32_t> FCellStart;  // FCols * FRows + 1
    std::vector<std::uint32_t> FCellItems;
    std::vector<std::uint32_t> FLarge;  // items spanning many cells, always visited
    mutable std::vector<std::uint32_t> FSeen;
    mutable std::uint32_t FStamp = 0;
};

}  // namespace vexa::render
