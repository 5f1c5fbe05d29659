// The map view drawn without a window: where the marked element lands in the picture,
// how the show buttons' scale and positioning move the view, the scene's grid against a
// plain search, damaged and empty blocks, PNG files and vexa-info --render.
#include "kit/BenchMap.h"
#include "kit/BlockKit.h"
#include "render/MapView.h"
#include "standard/FindingPlace.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <cstdlib>
#include <random>
#include <sys/wait.h>

namespace {

using namespace vexa;
using namespace vexa::render;
using testkit::BlockSpec;
using testkit::GridSpec;
namespace fs = std::filesystem;

constexpr double kX0 = -500000, kY0 = -1200000;
constexpr TRgb kRed = 0xFF0000;

// Stands 1-4 in a row (lines 1-13; stand 4's ring broken), a free line 14, a point, a turned text.
struct TestBlock {
    testkit::TempDir temp;
    std::string dir = temp / "LE_00001.blk";
    GridSpec grid;
    std::vector<TPlaceXY> freeLine = {{kX0 + 100, kY0 + 300}, {kX0 + 160, kY0 + 340}, {kX0 + 220, kY0 + 300}};
    TPlaceXY point = {kX0 + 300, kY0 + 300};
    TBlkRect textRect;

    TestBlock() {
        BlockSpec content;
        grid.Columns = 4;
        grid.Rows = 1;
        grid.X0 = kX0;
        grid.Y0 = kY0;
        testkit::AddAreaGrid(content, grid);
        // The walk round stand 3 finds a back link that names the wrong line.
        content.Lines[static_cast<std::size_t>(grid.LeftLine(0, 3) - 1)].PrevA = 1;
        std::vector<std::pair<double, double>> v;
        for (const TPlaceXY& c : freeLine) v.emplace_back(c.X, c.Y);
        content.AddLine(14, 21, v);
        testkit::LinkLines(content);
        content.Lines[static_cast<std::size_t>(grid.LeftLine(0, 3) - 1)].PrevA = 1;
        content.Points = {testkit::MakePoint(1, 5, point.X, point.Y)};
        // A 40 x 8 label turned by 0.5 rad: its stored rectangle is the turned label's box.
        const double w = 40 * std::cos(0.5) + 8 * std::sin(0.5), h = 40 * std::sin(0.5) + 8 * std::cos(0.5);
        textRect = testkit::MakeRect(kX0 + 300, kY0 + 200, kX0 + 300 + w, kY0 + 200 + h);
        TBlkText text = testkit::MakeText(1, 1, 0.5);
        text.Rect = textRect;
        content.Texts = {text};
        testkit::WriteBlock(dir, content);
    }
};

struct Pixel {
    int X, Y;
};

Pixel At(const TMapView& view, TPlaceXY p) {
    return {int(std::lround(view.Viewport().PixelX(p.X))), int(std::lround(view.Viewport().PixelY(p.Y)))};
}

TRgb ColourAt(const TImage& image, Pixel p) {
    EXPECT_TRUE(image.Inside(p.X, p.Y)) << p.X << "," << p.Y;
    return image.Inside(p.X, p.Y) ? image.Pixel(p.X, p.Y) : 0x123456;
}

// The extent in pixels of what is drawn in a colour: {width, height}; zero when nothing.
std::pair<int, int> ExtentOf(const TImage& image, TRgb colour) {
    int x0 = image.Width(), y0 = image.Height(), x1 = -1, y1 = -1;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            if (image.Pixel(x, y) == colour) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    return x1 < 0 ? std::pair{0, 0} : std::pair{x1 - x0, y1 - y0};
}

class MapViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.Resize(400, 300);
        view.OpenBlock(block.dir);
        view.FitBlock();
        // The legend's swatches hold the marking colour: left out where the marked
        // element's pixels are measured (the legend has a test of its own).
        view.Style().Legend = false;
    }
    TestBlock block;
    TMapView view;
};

TEST_F(MapViewTest, TheMarkedLineIsDrawnInTheMarkingColourAtItsVertices) {
    ASSERT_TRUE(view.ShowElement({egLine, 14}, 1.0, true));
    const TImage& image = view.Render();
    for (const TPlaceXY& c : block.freeLine) EXPECT_EQ(ColourAt(image, At(view, c)), kRed);
    // Fitted with a margin: every vertex well inside the picture.
    for (const TPlaceXY& c : block.freeLine) {
        const Pixel p = At(view, c);
        EXPECT_GE(p.X, 30);
        EXPECT_LE(p.X, 370);
    }
    // The colour the browser chooses is the one drawn.
    view.SetMarkColour(0x00AA33);
    EXPECT_EQ(ColourAt(view.Render(), At(view, block.freeLine[1])), 0x00AA33u);
    EXPECT_EQ(ExtentOf(view.Render(), kRed), std::pair(0, 0));
}

TEST_F(MapViewTest, LinesPointsTextsAndReferencePointsHaveTheirOwnColours) {
    const TMapStyle style;
    view.Viewport().Fit({kX0, kY0, kX0 + 400, kY0 + 400}, 0.05);
    const TImage& image = view.Render();
    // The bottom side of stand 1 is an area boundary; the free line is not.
    EXPECT_EQ(ColourAt(image, At(view, {kX0 + 50, kY0})), style.AreaLine);
    EXPECT_EQ(ColourAt(image, At(view, block.freeLine[1])), style.Line);
    EXPECT_EQ(ColourAt(image, At(view, block.point)), style.Point);
    EXPECT_EQ(ColourAt(image, At(view, {kX0 + 50, kY0 + 50})), style.AreaPoint);  // stand 1's centre
    EXPECT_EQ(ColourAt(image, At(view, {kX0 + 200, kY0 + 200})), style.Background);
}

TEST_F(MapViewTest, TextsAreDrawnTurnedInsideTheirStoredRectangle) {
    TFindingPlace stored;
    stored.Shape = TPlaceShape::Text;
    const double x0 = double(block.textRect.MinX.Value()), y0 = double(block.textRect.MinY.Value());
    const double x1 = double(block.textRect.MaxX.Value()), y1 = double(block.textRect.MaxY.Value());
    stored.Crds = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
    const std::vector<TPlaceXY> outline = TextOutline(stored, 0.5);
    ASSERT_EQ(outline.size(), 5u);
    // Its sides are the label's 40 and 8 m, its box the stored rectangle.
    EXPECT_NEAR(std::hypot(outline[1].X - outline[0].X, outline[1].Y - outline[0].Y), 40, 1e-4);
    EXPECT_NEAR(std::hypot(outline[2].X - outline[1].X, outline[2].Y - outline[1].Y), 8, 1e-4);
    const TBox box = BoxOf(outline);
    EXPECT_NEAR(box.MinX, x0, 1e-4);
    EXPECT_NEAR(box.MaxY, y1, 1e-4);

    ASSERT_TRUE(view.ShowElement({egText, 1}, 1.0, true));
    const TImage& image = view.Render();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ColourAt(image, At(view, outline[i])), kRed) << i;
    // The stored rectangle's corner is not on the turned label.
    EXPECT_NE(ColourAt(image, At(view, {x0, y0})), kRed);
    // Unturned, or turned so that the box cannot tell the sides: the stored rectangle.
    EXPECT_EQ(TextOutline(stored, 0), stored.Crds);
    EXPECT_EQ(TextOutline(stored, std::atan(1.0)), stored.Crds);
}

TEST_F(MapViewTest, PositioningFitsTheElementAtTheScaleAndOffLeavesTheView) {
    view.Style().Labels = false;  // the extents of the marked element alone
    // A point is shown 10 m around: 20 m over 80 % of the 300 pixels.
    ASSERT_TRUE(view.ShowElement({egPoint, 1}, 1.0, true));
    EXPECT_DOUBLE_EQ(view.Viewport().MetresPerPixel(), 20.0 / 240);
    EXPECT_EQ(ColourAt(view.Render(), {200, 150}), kRed);

    // Doubling and halving the scale: the marked line drawn twice and half as large.
    ASSERT_TRUE(view.ShowElement({egLine, 14}, 0.5, true));
    const auto one = ExtentOf(view.Render(), kRed);
    ASSERT_TRUE(view.ShowElement({egLine, 14}, 1.0, true));
    const auto two = ExtentOf(view.Render(), kRed);
    ASSERT_TRUE(view.ShowElement({egLine, 14}, 0.25, true));
    const auto half = ExtentOf(view.Render(), kRed);
    // The extents less the two pixels that the three-pixel pen adds, within rounding.
    EXPECT_GT(one.first, 100);
    EXPECT_NEAR(two.first - 2, 2 * (one.first - 2), 2);
    EXPECT_NEAR(two.second - 2, 2 * (one.second - 2), 2);
    EXPECT_NEAR(half.first - 2, (one.first - 2) / 2.0, 2);
    EXPECT_NEAR(half.second - 2, (one.second - 2) / 2.0, 2);

    // Off: the view stays while the element is in sight ...
    view.FitBlock();
    const TPlaceXY centre = view.Viewport().Centre();
    const double mpp = view.Viewport().MetresPerPixel();
    ASSERT_TRUE(view.ShowElement({egPoint, 1}, 4.0, false));
    EXPECT_EQ(view.Viewport().Centre(), centre);
    EXPECT_EQ(view.Viewport().MetresPerPixel(), mpp);
    EXPECT_EQ(ColourAt(view.Render(), At(view, block.point)), kRed);
    // ... and comes to it at the same scale when it is out of sight.
    view.Viewport().Pan(5000, 0);
    ASSERT_TRUE(view.ShowElement({egPoint, 1}, 1.0, false));
    EXPECT_EQ(view.Viewport().MetresPerPixel(), mpp);
    EXPECT_EQ(ColourAt(view.Render(), {200, 150}), kRed);
}

TEST_F(MapViewTest, OtherFindingsOfTheBlockAreMarkedFainter) {
    view.SetOthers({{egLine, 1}, {egPoint, 1}, {egLine, 14}});
    ASSERT_TRUE(view.ShowElement({egLine, 14}, 0.1, true));  // ten times the line's extent
    const TImage& image = view.Render();
    const TRgb faint = Faded(kRed, TMapStyle{}.FaintShare);
    EXPECT_EQ(ColourAt(image, At(view, block.point)), faint);
    EXPECT_EQ(ColourAt(image, At(view, {kX0 + 50, kY0})), faint);  // line 1: stand 1's bottom
    EXPECT_EQ(ColourAt(image, At(view, block.freeLine[1])), kRed);  // the marked one stays marked
    EXPECT_EQ(Faded(0x000000, 0.4), 0x999999u);
    EXPECT_EQ(Faded(kRed, 1), kRed);
}

TEST_F(MapViewTest, AnAreaWhoseRingDoesNotCloseIsShownByItsReferencePointInItsRectangle) {
    std::int32_t broken = 0;
    for (std::int32_t stand = 1; stand <= 4 && !broken; ++stand)
        if (view.ShowElement({egArea, stand}, 1.0, true) && view.MarkedPlace().Shape == TPlaceShape::AreaPoint)
            broken = stand;
    ASSERT_NE(broken, 0) << "the broken link leaves every ring closed";
    // The stand's 100 m square fills the view (not 10 m about its reference point).
    EXPECT_DOUBLE_EQ(view.Viewport().MetresPerPixel(), 100.0 / 240);
    const TPlaceXY ref = view.MarkedPlace().Anchor;
    EXPECT_EQ(ColourAt(view.Render(), At(view, ref)), kRed);
    // The boundary lines the walk followed are drawn in the marking colour, the place where
    // the ring breaks is marked: an end of the last walked line, with a ring round it.
    const TFindingPlace& place = view.MarkedPlace();
    ASSERT_FALSE(place.Walked.empty());
    ASSERT_TRUE(place.Break);
    EXPECT_TRUE(*place.Break == place.Walked.back().front() || *place.Break == place.Walked.back().back());
    EXPECT_NE(place.BreakReason.find("hranica plochy sa nezatvorí"), std::string::npos) << place.BreakReason;
    const TImage& broken_ = view.Render();
    for (const auto& line : place.Walked)
        for (const TPlaceXY& c : line) EXPECT_EQ(ColourAt(broken_, At(view, c)), kRed);
    const Pixel b = At(view, *place.Break);
    EXPECT_EQ(ColourAt(broken_, {b.X + 10, b.Y}), kRed);  // the ring of radius 10
    EXPECT_EQ(ColourAt(broken_, {b.X, b.Y - 10}), kRed);
    EXPECT_NE(ColourAt(broken_, {b.X + 6, b.Y - 6}), kRed);  // inside the ring, off the lines
    // A stand whose ring closes is drawn along its ring.
    ASSERT_NE(broken, 1);
    ASSERT_TRUE(view.ShowElement({egArea, 1}, 1.0, true));
    EXPECT_EQ(view.MarkedPlace().Shape, TPlaceShape::Area);
    EXPECT_EQ(ColourAt(view.Render(), At(view, {kX0 + 50, kY0 + 100})), kRed);
    // No such element: nothing marked, the view stays.
    const TPlaceXY centre = view.Viewport().Centre();
    EXPECT_FALSE(view.ShowElement({egLine, 999}, 1.0, true));
    EXPECT_FALSE(view.Marked());
    EXPECT_EQ(view.Viewport().Centre(), centre);
    EXPECT_EQ(ExtentOf(view.Render(), kRed), std::pair(0, 0));
}

// A stand around a lake (an island ring with no area in it): the lake stays unfilled, the
// stand is filled up to its shore, and the marked stand is outlined along the shore too.
TEST(MapViewAreas, AnIslandIsAHoleInTheFillAndPartOfTheMarkedOutline) {
    testkit::TempDir temp;
    const std::string dir = temp / "LE_00001.blk";
    BlockSpec content;
    GridSpec grid;
    grid.Columns = 1;
    grid.Rows = 1;
    grid.X0 = kX0;
    grid.Y0 = kY0;
    grid.Island = true;  // the ring from (25, 25) to (75, 75), the bridge from the corner
    const testkit::GridLayout layout = testkit::AddAreaGrid(content, grid);
    content.Lines[static_cast<std::size_t>(layout.Ring - 1)].AreaA = -1;
    content.Areas.pop_back();
    testkit::WriteBlock(dir, content);
    TMapView view;
    view.Resize(400, 300);
    view.OpenBlock(dir);
    view.FitBlock();
    view.Style().Legend = false;
    const TMapStyle style;
    const TImage& image = view.Render();
    EXPECT_EQ(ColourAt(image, At(view, {kX0 + 12, kY0 + 60})), view.AreaFill()) << "between the sides and the shore";
    EXPECT_EQ(ColourAt(image, At(view, {kX0 + 90, kY0 + 40})), view.AreaFill());
    EXPECT_EQ(ColourAt(image, At(view, {kX0 + 35, kY0 + 65})), style.Background) << "on the lake";
    EXPECT_EQ(ColourAt(image, At(view, {kX0 + 65, kY0 + 35})), style.Background);

    ASSERT_TRUE(view.ShowElement({egArea, layout.Cells[0]}, 1.0, true));
    ASSERT_EQ(view.MarkedPlace().Shape, TPlaceShape::Area);
    EXPECT_EQ(view.MarkedPlace().Polygons.at(0).size(), 2u);
    const TImage& marked = view.Render();
    EXPECT_EQ(ColourAt(marked, At(view, {kX0 + 50, kY0})), kRed) << "the outer boundary";
    EXPECT_EQ(ColourAt(marked, At(view, {kX0 + 50, kY0 + 25})), kRed) << "the shore";
    EXPECT_EQ(ColourAt(marked, At(view, {kX0 + 75, kY0 + 50})), kRed);
    EXPECT_NE(ColourAt(marked, At(view, {kX0 + 12.5, kY0 + 12.5})), kRed) << "no line of the walk across the bridge";
}

TEST(MapViewBlocks, EmptyDamagedAndMissingBlocksStillDraw) {
    testkit::TempDir temp;
    const std::string empty = temp / "LE_00002.blk";
    testkit::WriteBlock(empty, BlockSpec{});
    TMapView view;
    view.Resize(200, 100);
    view.OpenBlock(empty);
    view.FitBlock();
    EXPECT_TRUE(view.Scene()->Items().empty());
    EXPECT_FALSE(view.ShowElement({egLine, 1}, 1, true));
    const TImage& image = view.Render();
    EXPECT_EQ(image.Pixel(100, 20), TMapStyle{}.Background);
    EXPECT_NE(ExtentOf(image, TMapStyle{}.ScaleBar).first, 0);  // the scale bar

    // A line whose vertices lie beyond the vertex file: left out, the rest drawn.
    const std::string damaged = temp / "LE_00003.blk";
    BlockSpec content;
    content.AddLine(1, 1, {{0, 0}, {10, 10}});
    content.AddLine(2, 1, {{20, 0}, {30, 10}});
    content.Lines[0].LastCrd = 5000;
    content.Points = {testkit::MakePoint(1, 1, 5, 5)};
    testkit::WriteBlock(damaged, content);
    view.OpenBlock(damaged);
    EXPECT_EQ(view.Scene()->Unreadable(), 1);
    EXPECT_EQ(view.Scene()->Items().size(), 2u);
    EXPECT_FALSE(view.ShowElement({egLine, 1}, 1, true));
    EXPECT_TRUE(view.ShowElement({egLine, 2}, 1, true));

    // Places at the ends of the reals' range: drawn (clipped), nothing overflows.
    const std::string far = temp / "LE_00005.blk";
    BlockSpec wide;
    wide.AddLine(1, 1, {{-1.7e38, -1.7e38}, {1.7e38, 1.7e38}});
    wide.AddLine(2, 1, {{0, 0}, {1, 1}});
    wide.Points = {testkit::MakePoint(1, 1, 1.7e38, -1.7e38), testkit::MakePoint(2, 1, 0.5, 0.5)};
    testkit::WriteBlock(far, wide);
    view.OpenBlock(far);
    view.FitBlock();
    view.Render();
    EXPECT_TRUE(view.ShowElement({egPoint, 2}, 1, true));
    EXPECT_EQ(view.Render().Pixel(100, 50), kRed);
    EXPECT_TRUE(view.ShowElement({egPoint, 1}, 1e-30, true));
    view.Viewport().ZoomAt(0, 0, 1e-30);
    view.Render();
    view.CloseBlock();
    EXPECT_EQ(view.Scene(), nullptr);

    // A block that is not there: the error of the block store; no block shown afterwards.
    EXPECT_ANY_THROW(view.OpenBlock(temp / "LE_00004.blk"));
    EXPECT_EQ(view.Scene(), nullptr);
    view.Render();
}

TEST(MapViewScene, TheGridFindsWhatAPlainSearchFinds) {
    testkit::TempDir temp;
    const std::string dir = temp / "LE_00001.blk";
    testkit::WriteBenchBlock(dir, 0.02);
    TMapScene scene(dir);
    ASSERT_GT(scene.Items().size(), 2000u);
    const TBox all = scene.Bounds();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> u(-0.2, 1.2), size(0, 0.3);
    std::vector<std::uint32_t> found;
    for (int round = 0; round < 300; ++round) {
        const double x = all.MinX + u(random) * all.Width(), y = all.MinY + u(random) * all.Height();
        const TBox box{x, y, x + size(random) * all.Width(), y + size(random) * all.Height()};
        scene.Query(box, found);
        std::vector<std::uint32_t> plain;
        for (std::uint32_t i = 0; i < scene.Items().size(); ++i)
            if (scene.Items()[i].Box.Meets(box)) plain.push_back(i);
        ASSERT_EQ(found, plain) << "round " << round;
    }
    // Every element is found by its number, with the block store's place.
    for (const TSceneItem& item : scene.Items()) {
        ASSERT_EQ(scene.Find(item.Group, item.Number), &item);
        if (item.Group == egLine && item.Number % 97 == 0) {
            const TFindingPlace place = scene.Place(egLine, item.Number);
            ASSERT_TRUE(std::equal(place.Crds.begin(), place.Crds.end(), scene.Crds(item).begin(),
                                   scene.Crds(item).end()));
        }
    }
}

TEST(MapViewport, ZoomKeepsThePointUnderTheCursorAndShowRectFollowsTheGisRule) {
    TViewport v;
    v.Resize(300, 200);
    v.Set({1000, 2000}, 0.5);
    EXPECT_EQ(v.WorldAt(150, 100), (TPlaceXY{1000, 2000}));
    const TPlaceXY before = v.WorldAt(40, 170);
    v.ZoomAt(40, 170, 2);
    EXPECT_DOUBLE_EQ(v.MetresPerPixel(), 0.25);
    EXPECT_NEAR(v.WorldAt(40, 170).X, before.X, 1e-9);
    EXPECT_NEAR(v.WorldAt(40, 170).Y, before.Y, 1e-9);
    v.Pan(10, -20);  // dragged right and up: the view shows what was left and below
    EXPECT_NEAR(v.Centre().X, before.X - (40 - 150) * 0.25 - 2.5, 1e-9);
    EXPECT_NEAR(v.PixelX(v.WorldAt(17, 33).X), 17, 1e-9);
    EXPECT_NEAR(v.PixelY(v.WorldAt(17, 33).Y), 33, 1e-9);

    const TBox line{0, 0, 100, 40};
    EXPECT_DOUBLE_EQ(ShowRect(line, false, 2).Width(), 50);
    EXPECT_DOUBLE_EQ(ShowRect(line, false, 0.5).Width(), 200);
    EXPECT_DOUBLE_EQ(ShowRect(line, false, -4).Width(), 400);  // as 0.25
    EXPECT_DOUBLE_EQ(ShowRect(line, false, 0).Width(), 100);   // as 1
    const TBox point = ShowRect({5, 5, 5, 5}, true, 1);
    EXPECT_DOUBLE_EQ(point.MinX, 5 - kPointMargin);
    EXPECT_DOUBLE_EQ(point.MaxY, 5 + kPointMargin);
    EXPECT_EQ(TMapView::ScaleBarLabel(50), "50 m");
    EXPECT_EQ(TMapView::ScaleBarLabel(2000), "2 km");
}


// The colours of a picture that are neither of the given ones.
std::set<TRgb> OtherColours(const TImage& image, int x0, int y0, int x1, int y1, std::initializer_list<TRgb> known) {
    std::set<TRgb> out;
    for (int y = std::max(y0, 0); y <= std::min(y1, image.Height() - 1); ++y)
        for (int x = std::max(x0, 0); x <= std::min(x1, image.Width() - 1); ++x)
            if (std::find(known.begin(), known.end(), image.Pixel(x, y)) == known.end()) out.insert(image.Pixel(x, y));
    return out;
}

// Whether c lies between a and b channel by channel (a blend of the two).
bool Between(TRgb c, TRgb a, TRgb b) {
    for (int shift : {16, 8, 0}) {
        const int v = (c >> shift) & 0xFF, lo = std::min((a >> shift) & 0xFF, (b >> shift) & 0xFF),
                  hi = std::max((a >> shift) & 0xFF, (b >> shift) & 0xFF);
        if (v < lo || v > hi) return false;
    }
    return true;
}

TEST_F(MapViewTest, EdgesAreAntialiasedAndAreasFilledUnderTheirBoundaries) {
    const TMapStyle style;
    view.Viewport().Fit({kX0, kY0, kX0 + 400, kY0 + 400}, 0.05);
    const TImage& image = view.Render();
    // Along the free line's slanted first segment the pixels beside it are blends of the
    // line's colour and the background: the edges are antialiased.
    const Pixel a = At(view, block.freeLine[0]), b = At(view, block.freeLine[1]);
    const auto blends = OtherColours(image, std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X),
                                     std::max(a.Y, b.Y), {style.Line, style.Background});
    ASSERT_GT(blends.size(), 5u);
    for (TRgb c : blends) EXPECT_TRUE(Between(c, style.Line, style.Background)) << std::hex << c;
    // The stands are filled lightly: inside stand 2, away from its lines and its centre.
    EXPECT_EQ(ColourAt(image, At(view, {kX0 + 125, kY0 + 30})), view.AreaFill());
    // One light fill per map layer: the same for every block of a layer, from the style's.
    EXPECT_EQ(view.AreaFill(), AreaFillOf(style, "/m/LE_00002.blk"));
    EXPECT_EQ(AreaFillOf(style, "/m/LE_00002.blk"), AreaFillOf(style, "/x/le_77777.blk/"));
    EXPECT_NE(std::find(style.AreaFills.begin(), style.AreaFills.end(), view.AreaFill()), style.AreaFills.end());
    std::set<TRgb> fills;
    for (const char* layer : {"LE", "PO", "VO", "CE", "ZA", "IN", "OS", "KR"})
        fills.insert(AreaFillOf(style, std::string("/m/") + layer + "_00001.blk"));
    EXPECT_GE(fills.size(), 3u);
    // A stand whose ring does not close has no fill (the scene keeps its reference point
    // alone); the others are filled, their boundaries over the fill.
    int unfilled = 0;
    TMapScene places(block.dir);
    for (std::int32_t stand = 1; stand <= 4; ++stand) {
        const TSceneItem* item = view.Scene()->Find(egArea, stand);
        ASSERT_NE(item, nullptr);
        const TRgb inside = ColourAt(image, At(view, {kX0 + 100 * (stand - 1) + 25, kY0 + 30}));
        if (item->Count == 1) {
            ++unfilled;
            EXPECT_EQ(inside, style.Background) << stand;
        } else {
            EXPECT_EQ(inside, view.AreaFill()) << stand;
            EXPECT_EQ(item->Count, 1 + places.Place(egArea, stand).Crds.size());
        }
    }
    EXPECT_EQ(unfilled, 1);
    EXPECT_EQ(ColourAt(image, At(view, {kX0 + 100, kY0 + 30})), style.AreaLine);
    // A point is a disc: round, its pixel and the pixels about it in its colour.
    const Pixel p = At(view, block.point);
    EXPECT_EQ(ColourAt(image, {p.X + 1, p.Y + 1}), style.Point);
    EXPECT_NE(ColourAt(image, {p.X + 3, p.Y + 3}), style.Point);
}

TEST_F(MapViewTest, TheMarkedElementAndItsNeighboursAreLabelledWithTheirNumbers) {
    ASSERT_TRUE(view.ShowElement({egArea, 2}, 0.5, true));
    const TImage& image = view.Render();
    const std::vector<TMapLabel> labels = view.Labels();
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels[0].Text, "P2");
    EXPECT_TRUE(labels[0].Marked);
    // Its boundary lines and the neighbouring stands are named too, each once, none over another.
    std::set<std::string> texts;
    for (const TMapLabel& l : labels) EXPECT_TRUE(texts.insert(l.Text).second) << l.Text;
    EXPECT_TRUE(texts.count("P1") && texts.count("P3")) << labels.size();
    EXPECT_GE(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t[0] == 'L'; }), 3);
    for (std::size_t i = 0; i < labels.size(); ++i)
        for (std::size_t j = i + 1; j < labels.size(); ++j)
            EXPECT_FALSE(labels[i].X0 < labels[j].X1 && labels[j].X0 < labels[i].X1 && labels[i].Y0 < labels[j].Y1 &&
                         labels[j].Y0 < labels[i].Y1)
                << labels[i].Text << " " << labels[j].Text;
    // The marked label is set in the marking colour where it says it is, with glyph edges
    // antialiased; without labels that place holds no red.
    const TMapLabel& own = labels[0];
    auto redIn = [&](const TImage& picture) {
        int n = 0;
        for (int y = own.Y0; y < own.Y1; ++y)
            for (int x = own.X0; x < own.X1; ++x) n += picture.Pixel(x, y) == kRed;
        return n;
    };
    EXPECT_GT(redIn(image), 10);
    EXPECT_GT(OtherColours(image, own.X0, own.Y0, own.X1 - 1, own.Y1 - 1, {kRed, TMapStyle{}.Background}).size(), 3u);
    view.Style().Labels = false;
    EXPECT_EQ(redIn(view.Render()), 0);
    EXPECT_TRUE(view.Labels().empty());
    EXPECT_EQ(ElementLabel({egText, 7}), "T7");
    // The status line's summary: what the limit checks measure.
    ASSERT_TRUE(view.ShowElement({egLine, 14}, 1.0, true));
    const double length = 2 * std::hypot(60.0, 40.0);  // the free line's two sides
    char expected[64];
    std::snprintf(expected, sizeof expected, "dĺžka %.2f m", length);
    EXPECT_EQ(PlaceSummary(view.MarkedPlace()), expected);
    ASSERT_TRUE(view.ShowElement({egArea, 1}, 1.0, true));
    EXPECT_EQ(PlaceSummary(view.MarkedPlace()), "plocha 10000.00 m²");
    EXPECT_EQ(PlaceSummary(TFindingPlace{}), "");
}

TEST_F(MapViewTest, TheLegendAndTheScaleBarAreSetInAFont) {
    view.Resize(600, 400);
    view.FitBlock();
    const TImage& bare = view.Render();
    const std::vector<std::uint32_t> without(bare.Bits(), bare.Bits() + 600 * 400);
    view.Style().Legend = true;
    view.SetMarkColour(0x00AA33);
    const TImage& image = view.Render();
    // The legend in the bottom right corner: its swatches (the marking colour among them)
    // and its names in antialiased glyphs (many shades of grey).
    EXPECT_NE(ExtentOf(image, 0x00AA33).first, 0);
    std::set<TRgb> greys;
    int changed = 0;
    for (int y = 250; y < 400; ++y)
        for (int x = 450; x < 600; ++x) {
            changed += (image.Bits()[y * 600 + x] != without[std::size_t(y) * 600 + x]);
            const TRgb c = image.Pixel(x, y);
            if (((c >> 16) & 0xFF) == (c & 0xFF) && ((c >> 8) & 0xFF) == (c & 0xFF)) greys.insert(c);
        }
    EXPECT_GT(changed, 500);
    EXPECT_GT(greys.size(), 8u);
    // The scale bar's label above the bar at the bottom left: dark glyphs with grey edges.
    const auto scale = OtherColours(image, 5, 370, 60, 392, {0xFFFFFF});
    EXPECT_GT(scale.size(), 4u);
    // A picture too small for it goes without the legend.
    view.Resize(120, 90);
    EXPECT_EQ(ExtentOf(view.Render(), 0x00AA33), std::pair(0, 0));
}

// --- PNG files ----------------------------------------------------------------

struct PngPixels {
    int Width = 0, Height = 0;
    std::vector<png_byte> Rgb;
    TRgb At(int x, int y) const {
        const std::size_t i = (std::size_t(y) * Width + x) * 3;
        return TRgb(Rgb[i]) << 16 | TRgb(Rgb[i + 1]) << 8 | Rgb[i + 2];
    }
};

PngPixels ReadPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    PngPixels out;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    image.format = PNG_FORMAT_RGB;
    out.Rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.Rgb.data(), 0, nullptr)) return {};
    out.Width = int(image.width);
    out.Height = int(image.height);
    return out;
}

TEST_F(MapViewTest, APictureIsWrittenAsPngWithTheSamePixels) {
    ASSERT_TRUE(view.ShowElement({egLine, 14}, 1.0, true));
    const TImage& image = view.Render();
    const std::string file = block.temp / "view.png";
    WritePng(image, file);
    const PngPixels png = ReadPng(file);
    ASSERT_EQ(png.Width, 400);
    ASSERT_EQ(png.Height, 300);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) ASSERT_EQ(png.At(x, y), image.Pixel(x, y)) << x << "," << y;
    // A directory that is not there: an error naming the file, nothing written.
    const std::string nowhere = block.temp / "no/view.png";
    EXPECT_THROW(WritePng(image, nowhere), std::exception);
    EXPECT_FALSE(fs::exists(nowhere));
    EXPECT_EQ(std::distance(fs::directory_iterator(block.temp.Path()), fs::directory_iterator()), 2);
}

struct Outcome {
    int Status = -1;
    std::string Out, Err;
};

Outcome RunInfo(const testkit::TempDir& temp, const std::string& args) {
    const std::string command = std::string(VEXA_INFO_PROGRAM) + " " + args + " >" + (temp / "out") + " 2>" +
                                (temp / "err");
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, testkit::ReadFileText(temp / "out"),
            testkit::ReadFileText(temp / "err")};
}

TEST(InfoRender, DrawsTheBlockOrTheElementMarkedInRed) {
    TestBlock block;
    const std::string whole = block.temp / "whole.png", around = block.temp / "around.png";
    Outcome o = RunInfo(block.temp, block.dir + " --render " + whole);
    ASSERT_EQ(o.Status, 0) << o.Err;
    PngPixels png = ReadPng(whole);
    EXPECT_EQ(png.Width, 1024);
    EXPECT_EQ(png.Height, 768);
    EXPECT_NE(o.Out.find("\"elements\":20"), std::string::npos) << o.Out;  // 14 lines, 4 stands, a point, a text

    o = RunInfo(block.temp, block.dir + " --render " + around + " --size 320x240 --around B:1");
    ASSERT_EQ(o.Status, 0) << o.Err;
    png = ReadPng(around);
    ASSERT_EQ(png.Width, 320);
    ASSERT_EQ(png.Height, 240);
    EXPECT_EQ(png.At(160, 120), kRed);  // the point in the middle
    EXPECT_NE(o.Out.find("\"marked\":\"B:1\""), std::string::npos) << o.Out;

    // Refused before anything is written.
    for (const std::string bad : {" --around B:2", " --around Q:1", " --around L:x", " --size 10x10",
                                   " --size 300", " --around"}) {
        const std::string file = block.temp / "bad.png";
        o = RunInfo(block.temp, block.dir + " --render " + file + bad);
        EXPECT_EQ(o.Status, 2) << bad;
        EXPECT_FALSE(o.Err.empty()) << bad;
        EXPECT_FALSE(fs::exists(file)) << bad;
    }
    o = RunInfo(block.temp, block.dir + " --render " + (block.temp / "x.png") + " --around B:2");
    EXPECT_NE(o.Err.find("Prvok nebol nájdený."), std::string::npos) << o.Err;
    // Only PNG is written: a .jpg (or a name without an extension) is refused, nothing written.
    for (const std::string name : {"view.jpg", "view.JPEG", "view"}) {
        o = RunInfo(block.temp, block.dir + " --render " + (block.temp / name));
        EXPECT_EQ(o.Status, 2) << name;
        EXPECT_NE(o.Err.find("len vo formáte PNG"), std::string::npos) << o.Err;
        EXPECT_FALSE(fs::exists(block.temp / name)) << name;
    }
    o = RunInfo(block.temp, block.dir + " --render " + (block.temp / "upper.PNG"));
    EXPECT_EQ(o.Status, 0) << o.Err;
    EXPECT_EQ(ReadPng(block.temp / "upper.PNG").Width, 1024);
}

}  // namespace
