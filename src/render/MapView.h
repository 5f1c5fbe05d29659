#pragma once
// The map view without a window: the block of the current finding drawn into a picture
// through Cairo (antialiased; areas filled lightly under their boundaries, points as
// symbols, texts as their turned rectangles), the finding's element in the marking colour
// with its number and its neighbours' numbers as labels, the other findings of the block
// fainter, a scale bar and a small legend set in DejaVu Sans (Pango, fontconfig); the view
// positioned as the show buttons position the GIS's view, moved by the wheel and by
// dragging. The error browser's window and vexa-info --render both draw through it.
#include "render/MapImage.h"
#include "render/MapScene.h"
#include "standard/FindingPlace.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexa::render {

// The rectangle that showing an element asks for: the box it is shown by (a point's
// widened by the margin on every side), with the view's scale factor applied about its
// centre as the GIS applies it (2 shows half the extent, 0.5 twice; 0 counts as 1, a
// negative factor -s as 1/s).
TBox ShowRect(TBox box, bool point, double scale);

// What the view shows: a centre in the block's coordinates, metres per pixel and a size.
class TViewport {
public:
    void Resize(int width, int height);
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    double MetresPerPixel() const { return FMpp; }
    TPlaceXY Centre() const { return FCentre; }
    void Set(TPlaceXY centre, double metresPerPixel);
    // Fits rect into the view with a margin of that share of the view on every side.
    void Fit(const TBox& rect, double margin = 0.1);
    // Zooms by factor (2 shows half as much) keeping the point under the pixel in place.
    void ZoomAt(double px, double py, double factor);
    // Moves the picture by pixels (a drag to the right shows what lies to the left).
    void Pan(double dx, double dy);
    double PixelX(double x) const { return (x - FCentre.X) / FMpp + FWidth / 2.0; }
    double PixelY(double y) const { return FHeight / 2.0 - (y - FCentre.Y) / FMpp; }
    TPlaceXY WorldAt(double px, double py) const {
        return {FCentre.X + (px - FWidth / 2.0) * FMpp, FCentre.Y - (py - FHeight / 2.0) * FMpp};
    }
    TBox Visible() const;

private:
    int FWidth = 1, FHeight = 1;
    TPlaceXY FCentre;
    double FMpp = 1;
};

// The element a finding names.
struct TElementRef {
    TBlkElementGroup Group;
    std::int32_t Number;
    bool operator==(const TElementRef&) const = default;
};

// The colours of the drawing.
struct TMapStyle {
    TRgb Background = 0xFFFFFF;
    // The light fills of the areas under their boundaries, one per map layer (the block
    // name's code before "_": LE, PO, ...), chosen by the layer's code.
    std::vector<TRgb> AreaFills = {0xF1E6CF, 0xDFEED3, 0xDCE9F4, 0xF4E0E6, 0xEEEACF, 0xE6E0F1};
    TRgb AreaLine = 0x6B4423;
    TRgb Line = 0x2E6FB0;
    TRgb Point = 0x1F7A1F;
    TRgb Text = 0x8E44AD;
    TRgb AreaPoint = 0xC07000;
    TRgb ScaleBar = 0x000000;
    TRgb Label = 0x202020;
    double FaintShare = 0.4;  // other findings: the marking colour this much over white
    bool Labels = true;       // the numbers of the marked element and its neighbours
    bool Legend = true;
};

// A label drawn: its text and the pixels it covers (x0, y0 inclusive; x1, y1 exclusive).
struct TMapLabel {
    std::string Text;
    int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
    bool Marked = false;  // the marked element's own
};

// The fill of a block's areas: one of the style's fills chosen by the block's layer code
// (the directory name before "_"), the same for every block of a layer.
TRgb AreaFillOf(const TMapStyle& style, const std::string& blockDir);

// The labels' text: the group's letter and the number ("L14", "P3").
std::string ElementLabel(TElementRef element);

// What the status line says of a marked place: a line's length, an area's size (what the
// limit checks measure), or why an area's ring does not close; empty for other places.
std::string PlaceSummary(const TFindingPlace& place);

class TMapPainter;

class TMapView {
public:
    TMapView();
    ~TMapView();

    void Resize(int width, int height);
    TViewport& Viewport() { return FView; }
    const TViewport& Viewport() const { return FView; }

    // Reads the block unless it is the one shown (a block is read once while its findings
    // are shown). Raises the block store's errors; the view then shows no block.
    void OpenBlock(const std::string& blockDir);
    const TMapScene* Scene() const { return FScene.get(); }
    // Lets the block go (its files and memory); the next OpenBlock reads it again.
    void CloseBlock();
    // Fits the whole block into the view.
    void FitBlock();

    // Marks an element of the open block (its place read now, an area's ring walked) and
    // the other findings of the block fainter; positions the view: with zoom the element's
    // show rectangle at scale fitted, without it the view stays (centred on the element at
    // the same scale only when none of it is in sight). False when the block has no such
    // element (nothing marked then).
    bool ShowElement(TElementRef element, double scale, bool zoom);
    void SetOthers(std::vector<TElementRef> others) { FOthers = std::move(others); }
    void ClearMark();
    const std::optional<TElementRef>& Marked() const { return FMarked; }
    const TFindingPlace& MarkedPlace() const { return FMarkedPlace; }
    void SetMarkColour(TRgb colour) { FMarkColour = colour; }
    TRgb MarkColour() const { return FMarkColour; }
    TMapStyle& Style() { return FStyle; }
    // The fill of the open block's areas (AreaFillOf).
    TRgb AreaFill() const;

    // The picture of the present view.
    const TImage& Render();
    // The labels the last Render drew, the marked element's first.
    const std::vector<TMapLabel>& Labels() const { return FLabels; }
    // The scale bar's length in metres for the present view (a round number about a
    // hundred pixels long) and its label ("50 m", "2 km").
    double ScaleBarMetres() const;
    static std::string ScaleBarLabel(double metres);

private:
    void DrawScene();
    void DrawPlace(const TFindingPlace& place, TRgb colour);
    // Lays out the labels and draws the neighbours' (marked false), or draws the marked
    // element's own over everything (marked true).
    void DrawLabels(bool marked);
    void DrawScaleBar();
    void DrawLegend();

    TViewport FView;
    std::unique_ptr<TMapScene> FScene;
    std::optional<TElementRef> FMarked;
    TFindingPlace FMarkedPlace;
    std::vector<TElementRef> FOthers;
    TRgb FMarkColour = 0xFF0000;
    TMapStyle FStyle;
    TImage FImage;
    std::unique_ptr<TMapPainter> FPainter;  // Cairo and Pango bound to FImage
    std::vector<std::uint32_t> FVisible;
    std::vector<TMapLabel> FLabels;
};

// A small picture of a whole map: each block's extent as a light rectangle with its name,
// the places of findings as red dots, all fitted into width x height.
TImage MapOverview(const std::vector<std::pair<std::string, TBox>>& blocks, const std::vector<TPlaceXY>& dots,
                   int width, int height);

}  // namespace vexa::render
