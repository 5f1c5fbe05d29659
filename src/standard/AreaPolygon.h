#pragma once
// The polygons of an area from its boundary walk: the one geometry of an area that the
// measured size, the JSON of vexa-check, the GIS exports and the map view's fill share.
// The walk passes an island's ring between the two passes of the bridge that leads to it,
// and an island touching the outer boundary at a node inside the outer ring's own run; the
// walk's one sequence of lines is therefore cut into rings, and the rings are told apart
// into outer rings and holes by which of them lie inside which.
#include "block/BlkObj.h"
#include "standard/Findings.h"

#include <vector>

namespace vexa {

// The signed area of a closed ring: positive when it runs counter-clockwise. Computed
// about the first vertex, so that the map's large coordinates keep their precision.
double SignedRingArea(const TPlaceRing& ring);

// The area the polygons cover: their outer rings less their holes.
double PolygonsArea(const std::vector<TPlacePolygon>& polygons);

// Closed rings cut where a vertex comes twice (a ring that touches itself becomes two), the
// rings without area left out, and the rest told apart by containment: a ring inside an
// even number of the others is an outer ring, one inside an odd number a hole of the
// smallest ring around it. Outer rings run counter-clockwise, holes clockwise (as OGC and
// GeoJSON have them); the polygons come largest first, each with its holes largest first.
std::vector<TPlacePolygon> PolygonsOfRings(std::vector<TPlaceRing> rings);

// The closed rings of a boundary walk (TBlk::AreaBoundary with its reversed flags): each
// line's vertices in the direction the walk passes it, the lines with the same area on
// both sides (bridges to islands, lines ending inside the area) left out, and the lines
// between the two passes of such a line joined into rings of their own. Line ends are
// joined within tolerance (at most 0.01, as the ring of the area check). Raises
// EBlkPloError "Chybná topológia línii" with the lines where a ring does not close, and
// the block store's errors of reading the vertices.
std::vector<TPlaceRing> WalkRings(TBlk& blk, const TLins& walk, const std::vector<bool>& reversed, double tolerance);

}  // namespace vexa
