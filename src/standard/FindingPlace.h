#pragma once
// The place of a finding, read from the block that the finding names: the one
// rule for the check run, the error browser's export and the GIS export of blocks.
#include "block/BlkGroups.h"  // ForEachLive, for the walks that find places of records read
#include "block/BlkObj.h"
#include "standard/Findings.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vexa {

// Margin around a point element when it is shown: the GIS gets it with each show request,
// the map view fits the same rectangle.
inline constexpr double kPointMargin = 10.0;

// Boundary rings are joined within this tolerance, as the area check joins them.
constexpr double kAreaRingTolerance = 0.01;

// The closed boundary ring of an area, as the area check assembles it (walk, pairing
// of inner lines, joining within kAreaRingTolerance). False when the ring does not
// close or cannot be read; reason then says why (the block store's message, one line).
// The walk has a budget of its own (the block's budget is the same afterwards): at most
// twice the line count in steps, and at most *steps when given, which it then lowers by
// the steps taken; with none left the ring is not walked and counts as not closing.
// walked, when given, gets the boundary lines the walk followed when the ring does not close.
bool AreaRing(TBlk& blk, const TBlkArea& area, TCrds& ring, std::string& reason, std::int64_t* steps = nullptr,
              TLins* walked = nullptr);

// The polygons of an area (AreaPolygon.h) from the same walk, for an area whose ring closes
// as AreaRing has it: outer rings and holes, oriented as OGC and GeoJSON want them. False,
// with reason, steps and walked as AreaRing, when the ring does not close.
bool AreaPolygons(TBlk& blk, const TBlkArea& area, std::vector<TPlacePolygon>& polygons, std::string& reason,
                  std::int64_t* steps = nullptr, TLins* walked = nullptr);

// The steps the place walks of one pass may take together: what a valid block needs, so
// that broken links cannot make a pass's places quadratic.
std::int64_t PlaceWalkBudget(TBlk& blk);

// The place of an element: a line its vertices, a point its X/Y, a text its stored
// rectangle, an area its polygons (AreaPolygons), or its reference point when the ring does not
// close. An element that cannot be read has no place (Shape None): a finding is never
// lost for want of its place. steps: the budget of the area walks, as for AreaRing.
TFindingPlace ElementPlace(TBlk& blk, TBlkElementGroup group, std::int32_t number, std::int64_t* steps = nullptr);

// The places of records already read (the block walks of the exports and the map view
// read them in file order): a line its vertices, a point its X/Y, a text its stored
// rectangle, an area its polygons when ring is set and the ring closes, else its reference
// point (AreaPoint, with the reason when the ring was walked). LinePlace raises the block
// store's errors of reading the vertices.
TFindingPlace LinePlace(TBlk& blk, const TBlkLine& line);
TFindingPlace PointPlace(const TBlkPoint& point);
TFindingPlace TextPlace(const TBlkText& text);
TFindingPlace AreaPlace(TBlk& blk, const TBlkArea& area, bool ring, std::int64_t* steps = nullptr);

// What a place measures: a line's length along its vertices, an area's size within its
// polygons (outer rings less holes); none for the other shapes (an area whose ring does
// not close).
std::optional<double> MeasureOf(const TFindingPlace& place);

// The place of a finding about a whole attribute table: no geometry, the table's file name.
TFindingPlace TablePlace(const std::string& fileName);

}  // namespace vexa
