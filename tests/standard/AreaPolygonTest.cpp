// The polygons of areas from their boundary walks, against what the blocks store (the
// size of each area, written from the geometry by hand) and against GEOS through GDAL
// (validity, area, rings and their turning).
#include "block/BlkObj.h"
#include "kit/BenchMap.h"
#include "kit/BlockKit.h"
#include "standard/AreaPolygon.h"
#include "standard/FindingPlace.h"

#include <ogr_api.h>
#include <ogr_geometry.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace vexa;
using namespace vexa::testkit;

using XY = std::pair<double, double>;

// The polygons as a GEOS-backed OGR geometry: a Polygon, or a MultiPolygon for several.
std::unique_ptr<OGRGeometry> Ogr(const std::vector<TPlacePolygon>& polygons) {
    auto polygon = [](const TPlacePolygon& rings) {
        auto p = std::make_unique<OGRPolygon>();
        for (const TPlaceRing& ring : rings) {
            auto r = new OGRLinearRing();
            for (const TPlaceXY& c : ring) r->addPoint(c.X, c.Y);
            p->addRingDirectly(r);
        }
        return p;
    };
    if (polygons.size() == 1) return polygon(polygons.front());
    auto multi = std::make_unique<OGRMultiPolygon>();
    for (const TPlacePolygon& p : polygons) multi->addGeometryDirectly(polygon(p).release());
    return multi;
}

// What GEOS says of an area's polygons and how they are made.
struct Shape {
    bool Valid = false;
    double Area = 0;
    int Polygons = 0, Holes = 0;
    bool Oriented = true;  // every outer ring counter-clockwise, every hole clockwise
};

Shape Judge(const std::vector<TPlacePolygon>& polygons) {
    Shape s;
    const auto g = Ogr(polygons);
    s.Valid = OGR_G_IsValid(OGRGeometry::ToHandle(g.get()));
    s.Area = OGR_G_Area(OGRGeometry::ToHandle(g.get()));
    for (const TPlacePolygon& p : polygons) {
        ++s.Polygons;
        s.Holes += static_cast<int>(p.size()) - 1;
        for (std::size_t i = 0; i < p.size(); ++i) {
            OGRLinearRing r;
            for (const TPlaceXY& c : p[i]) r.addPoint(c.X, c.Y);
            if (r.isClockwise() != (i > 0)) s.Oriented = false;
        }
    }
    return s;
}

TPlaceRing Ring(std::initializer_list<XY> points) {
    TPlaceRing r;
    for (const auto& [x, y] : points) r.push_back({x, y});
    r.push_back(r.front());
    return r;
}

// A block built line by line: lines run from their first vertex, AreaA on their left.
class Block {
public:
    TBlkLine& Line(std::int32_t number, std::vector<std::pair<double, double>> vertices, std::int32_t left,
                   std::int32_t right) {
        TBlkLine& l = content.AddLine(number, 1, vertices);
        l.AreaA = left;
        l.AreaB = right;
        return l;
    }
    // A stored area (its size as the test works it out) starting its walk at firstLine.
    void Area(std::int32_t number, std::int32_t firstLine, double size) {
        TBlkArea a = MakeArea(number, 1, firstLine);
        a.AreaSize = R(size);
        content.Areas.push_back(a);
    }
    TBlk& Open() {
        LinkLines(content);
        WriteBlock(dir / "LE_00001.blk", content);
        blk.Open(dir / "LE_00001.blk", TBlkOpenMode::ReadOnly);
        return blk;
    }
    BlockSpec content;
    TempDir dir;
    TBlk blk{false};
};

// Every area of the block: its place is the polygons, they measure what the block stores,
// GEOS finds them valid and of the same area; holes and polygons as expected by number.
void ExpectAreas(TBlk& blk, const std::map<std::int32_t, std::pair<int, int>>& polygonsAndHoles) {
    for (std::int32_t n = 1; n <= blk.AreaCount(); ++n) {
        SCOPED_TRACE("area " + std::to_string(n));
        TBlkArea a;
        blk.FindArea(n, a);
        const double stored = static_cast<double>(a.AreaSize.Value());
        const TFindingPlace place = AreaPlace(blk, a, true);
        ASSERT_EQ(place.Shape, TPlaceShape::Area) << place.Reason;
        const Shape s = Judge(place.Polygons);
        EXPECT_TRUE(s.Valid);
        EXPECT_TRUE(s.Oriented);
        EXPECT_NEAR(s.Area, stored, 1e-6);
        EXPECT_NEAR(MeasureOf(place).value_or(-1), stored, 1e-6);
        EXPECT_EQ(place.Crds, place.Polygons.front().front()) << "the first outer ring";
        const auto expected = polygonsAndHoles.find(n);
        const std::pair<int, int> counts = expected == polygonsAndHoles.end() ? std::pair{1, 0} : expected->second;
        EXPECT_EQ(s.Polygons, counts.first);
        EXPECT_EQ(s.Holes, counts.second);
    }
}

// --- the walks of generated blocks --------------------------------------------

// The grid of the sample map (cells with an island joined by a bridge), in the ways the
// boundary lines may be cut and the walk may start.
TEST(AreaPolygons, GridCellsWithAnIslandMeasureTheirStoredSize) {
    for (const bool startAtBridge : {false, true})
        for (const int linesPerSide : {1, 3}) {
            SCOPED_TRACE(testing::Message() << "bridge start " << startAtBridge << ", lines per side " << linesPerSide);
            Block b;
            GridSpec grid;
            grid.Columns = 3;
            grid.Rows = 2;
            grid.X0 = -512300;
            grid.Y0 = -1210400;
            grid.CellWidth = 250;
            grid.CellHeight = 200;
            grid.Island = true;
            grid.CellStartsAtBridge = startAtBridge;
            grid.LinesPerSide = linesPerSide;
            grid.VerticesPerLine = linesPerSide + 1;
            const GridLayout layout = AddAreaGrid(b.content, grid);
            TBlk& blk = b.Open();
            ExpectAreas(blk, {{layout.Cells[0], {1, 1}}});
            TBlkArea a;
            blk.FindArea(layout.Cells[0], a);
            EXPECT_NEAR(MeasureOf(AreaPlace(blk, a, true)).value_or(-1), 37500, 1e-6);
        }
}

// Three islands: two joined by one bridge each (one to the outer boundary, one to the
// other island), one by a bridge of three lines.
TEST(AreaPolygons, SeveralIslandsAndABridgeOfSeveralLines) {
    Block b;
    b.Line(1, {{0, 0}, {300, 0}}, 1, -1);
    b.Line(2, {{300, 0}, {300, 200}}, 1, -1);
    b.Line(3, {{300, 200}, {0, 200}}, 1, -1);
    b.Line(4, {{0, 200}, {0, 0}}, 1, -1);
    b.Line(5, {{0, 0}, {20, 20}}, 1, 1);              // bridge to island 2
    b.Line(6, {{20, 20}, {60, 20}, {60, 60}}, 2, 1);  // island 2 in two lines
    b.Line(7, {{60, 60}, {20, 60}, {20, 20}}, 2, 1);
    b.Line(8, {{60, 60}, {100, 20}}, 1, 1);  // bridge from island 2 to island 3
    b.Line(9, {{100, 20}, {140, 20}, {140, 60}, {100, 60}, {100, 20}}, 3, 1);
    b.Line(10, {{300, 200}, {280, 180}}, 1, 1);  // a bridge of three lines to island 4
    b.Line(11, {{280, 180}, {270, 170}}, 1, 1);
    b.Line(12, {{270, 170}, {260, 160}}, 1, 1);
    b.Line(13, {{260, 160}, {200, 160}, {200, 100}, {260, 100}, {260, 160}}, 4, 1);
    b.Area(1, 1, 300.0 * 200 - 1600 - 1600 - 3600);
    b.Area(2, 6, 1600);
    b.Area(3, 9, 1600);
    b.Area(4, 13, 3600);
    TBlk& blk = b.Open();
    ExpectAreas(blk, {{1, {1, 3}}});
}

// Islands touching the outer boundary at one node, with no bridge: the walk runs round
// each island between two lines of the outer ring.
TEST(AreaPolygons, IslandsTouchingTheOuterRingAtOneVertex) {
    Block b;
    b.Line(1, {{0, 0}, {50, 0}}, 1, -1);
    b.Line(2, {{50, 0}, {100, 0}}, 1, -1);
    b.Line(3, {{100, 0}, {100, 100}}, 1, -1);
    b.Line(4, {{100, 100}, {0, 100}, {0, 0}}, 1, -1);
    b.Line(5, {{50, 0}, {70, 30}, {30, 30}, {50, 0}}, 2, 1);        // a triangle from the node at (50, 0)
    b.Line(6, {{100, 100}, {60, 90}, {90, 60}, {100, 100}}, 3, 1);  // and one at the corner
    b.Area(1, 1, 100.0 * 100 - 600 - 750);
    b.Area(2, 5, 600);
    b.Area(3, 6, 750);
    TBlk& blk = b.Open();
    TLins walk;
    TBlkArea a;
    blk.FindArea(1, a);
    blk.AreaBoundary(a, walk);
    ASSERT_EQ(walk.size(), 6u) << "both islands on the walk";
    ExpectAreas(blk, {{1, {1, 2}}});
}

// An island in an island in an area: each area has the one ring inside it as its hole,
// and the areas' sizes add up to the outer square.
TEST(AreaPolygons, NestedIslandsEachTheHoleOfTheAreaAroundIt) {
    Block b;
    b.Line(1, {{0, 0}, {200, 0}, {200, 200}, {0, 200}, {0, 0}}, 1, -1);
    b.Line(2, {{0, 0}, {40, 40}}, 1, 1);
    b.Line(3, {{40, 40}, {160, 40}, {160, 160}, {40, 160}, {40, 40}}, 2, 1);
    b.Line(4, {{40, 40}, {80, 80}}, 2, 2);
    b.Line(5, {{80, 80}, {120, 80}, {120, 120}, {80, 120}, {80, 80}}, 3, 2);
    b.Area(1, 1, 40000 - 14400);
    b.Area(2, 3, 14400 - 1600);
    b.Area(3, 5, 1600);
    TBlk& blk = b.Open();
    ExpectAreas(blk, {{1, {1, 1}}, {2, {1, 1}}});
}

// The walk passes each line in its own direction: the outer ring of an area walked with
// the area on its left turns counter-clockwise and its island's shore clockwise, before
// any ring is turned.
TEST(AreaPolygons, WalkRingsFollowTheWalk) {
    Block b;
    GridSpec grid;
    grid.Island = true;
    const GridLayout layout = AddAreaGrid(b.content, grid);
    TBlk& blk = b.Open();
    TBlkArea a;
    blk.FindArea(layout.Cells[0], a);
    TLins walk;
    std::vector<bool> reversed;
    blk.AreaBoundary(a, walk, nullptr, &reversed);
    ASSERT_EQ(reversed.size(), walk.size());
    const std::vector<TPlaceRing> rings = WalkRings(blk, walk, reversed, 0.01);
    // The island's ring closes first, at the bridge's second pass.
    ASSERT_EQ(rings.size(), 2u);
    EXPECT_NEAR(SignedRingArea(rings[0]), -50 * 50, 1e-9);
    EXPECT_NEAR(SignedRingArea(rings[1]), 100 * 100, 1e-9);
}

// A ring that does not close stays what it was: the reference point and the reason.
TEST(AreaPolygons, AnAreaWhoseRingDoesNotCloseHasNoPolygon) {
    Block b;
    b.Line(1, {{0, 0}, {100, 0}, {100, 100}}, 1, -1);
    b.Line(2, {{100, 100.5}, {0, 100}, {0, 0}}, 1, -1);
    b.Area(1, 1, 10000);
    TBlk& blk = b.Open();
    TBlkArea a;
    blk.FindArea(1, a);
    const TFindingPlace place = AreaPlace(blk, a, true);
    EXPECT_EQ(place.Shape, TPlaceShape::AreaPoint);
    EXPECT_TRUE(place.Polygons.empty());
    EXPECT_FALSE(place.Reason.empty());
    EXPECT_FALSE(MeasureOf(place));
}

// The benchmark's block: stands whose sides are cut into several lines, spurs into some
// stands, broken boundaries and stands stored too small. Every stand whose ring closes
// has the size its lines bound, worked out apart from the walk.
TEST(AreaPolygons, TheBenchmarkBlockMeasuresWhatItsLinesBound) {
    TempDir dir;
    WriteBenchBlock(dir.Path() / "LE_00001.blk", 0.05);
    TBlk blk(false);
    blk.Open(dir / "LE_00001.blk", TBlkOpenMode::ReadOnly);
    const std::map<std::int32_t, double> sizes = AreaSizesByTheirLines(blk);
    int closed = 0, open = 0;
    for (std::int32_t n = 1; n <= blk.AreaCount(); ++n) {
        TBlkArea a;
        blk.FindArea(n, a);
        if (TBlk::AreaDeleted(a)) continue;
        const TFindingPlace place = AreaPlace(blk, a, true);
        if (place.Shape != TPlaceShape::Area) {
            ++open;
            continue;
        }
        ++closed;
        SCOPED_TRACE("area " + std::to_string(n));
        const Shape s = Judge(place.Polygons);
        EXPECT_TRUE(s.Valid);
        EXPECT_TRUE(s.Oriented);
        EXPECT_NEAR(MeasureOf(place).value_or(-1), sizes.at(n), 1e-6);
        EXPECT_NEAR(s.Area, sizes.at(n), 1e-6);
    }
    EXPECT_GT(closed, 900);
    EXPECT_GT(open, 0) << "the broken boundaries";
}

// --- rings told apart ------------------------------------------------------------

TEST(AreaPolygons, RingsAreToldApartByWhatLiesInsideWhat) {
    const TPlaceRing outer = Ring({{0, 0}, {200, 0}, {200, 200}, {0, 200}});
    const TPlaceRing hole = Ring({{40, 40}, {160, 40}, {160, 160}, {40, 160}});
    const TPlaceRing island = Ring({{80, 80}, {80, 120}, {120, 120}, {120, 80}});  // clockwise as given
    const TPlaceRing apart = Ring({{300, 0}, {300, 50}, {350, 50}, {350, 0}});

    // An island inside the hole is an outer ring again: a second polygon; the order of
    // the rings and their turning as given do not matter.
    for (const auto& rings :
         {std::vector<TPlaceRing>{island, hole, outer}, std::vector<TPlaceRing>{outer, island, hole}}) {
        const std::vector<TPlacePolygon> p = PolygonsOfRings(rings);
        ASSERT_EQ(p.size(), 2u);
        ASSERT_EQ(p[0].size(), 2u);
        EXPECT_EQ(p[1].size(), 1u);
        EXPECT_NEAR(PolygonsArea(p), 40000 - 14400 + 1600, 1e-9);
        const Shape s = Judge(p);
        EXPECT_TRUE(s.Valid);
        EXPECT_TRUE(s.Oriented);
        EXPECT_NEAR(s.Area, 40000 - 14400 + 1600, 1e-9);
    }
    // Two outer rings apart: a multipolygon, the larger first.
    const std::vector<TPlacePolygon> two = PolygonsOfRings({apart, outer});
    ASSERT_EQ(two.size(), 2u);
    EXPECT_NEAR(std::abs(SignedRingArea(two[0][0])), 40000, 1e-9);
    EXPECT_TRUE(Judge(two).Valid);
}

TEST(AreaPolygons, ARingTouchingItselfIsCutIntoItsLoops) {
    // The outer square and an island triangle walked as one ring through the node at (50, 0).
    const TPlaceRing keyhole = {{0, 0}, {50, 0}, {70, 30}, {30, 30}, {50, 0}, {100, 0}, {100, 100}, {0, 100}, {0, 0}};
    std::vector<TPlacePolygon> p = PolygonsOfRings({keyhole});
    ASSERT_EQ(p.size(), 1u);
    ASSERT_EQ(p[0].size(), 2u);
    EXPECT_NEAR(PolygonsArea(p), 10000 - 600, 1e-9);
    EXPECT_TRUE(Judge(p).Valid);
    EXPECT_TRUE(Judge(p).Oriented);
    // Two squares meeting at a corner: two polygons; there and back along a line: nothing.
    const TPlaceRing eight = {{0, 0}, {10, 0}, {10, 10}, {20, 10}, {20, 20}, {10, 20}, {10, 10}, {0, 10}, {0, 0}};
    p = PolygonsOfRings({eight});
    EXPECT_EQ(p.size(), 2u);
    EXPECT_NEAR(PolygonsArea(p), 200, 1e-9);
    EXPECT_TRUE(Judge(p).Valid);
    EXPECT_TRUE(PolygonsOfRings({{{0, 0}, {10, 0}, {20, 0}, {10, 0}, {0, 0}}}).empty());
}

}  // namespace
