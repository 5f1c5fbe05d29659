#include "render/MapView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vexa::render {

namespace {
// A pixel position as an int; far-off places are held a little outside the picture, so
// that the symbols' arithmetic cannot overflow.
int Pixel(double at) { return int(std::lround(std::clamp(std::isfinite(at) ? at : -1e6, -1e6, 1e6))); }
}  // namespace

TBox ShowRect(TBox box, bool point, double scale) {
    if (box.Empty()) return box;
    if (point) {
        const TPlaceXY c = box.Centre();
        box = {c.X - kPointMargin, c.Y - kPointMargin, c.X + kPointMargin, c.Y + kPointMargin};
    }
    double s = scale;
    if (s == 0 || !std::isfinite(s)) s = 1.0;
    if (s < 0) s = -1 / s;
    const TPlaceXY c = box.Centre();
    const double w = box.Width() / 2 / s, h = box.Height() / 2 / s;
    return {c.X - w, c.Y - h, c.X + w, c.Y + h};
}

void TViewport::Resize(int width, int height) {
    FWidth = std::max(width, 1);
    FHeight = std::max(height, 1);
}

void TViewport::Set(TPlaceXY centre, double metresPerPixel) {
    FCentre = centre;
    // Between a tenth of a millimetre and a thousand kilometres a pixel.
    FMpp = std::clamp(std::isfinite(metresPerPixel) ? metresPerPixel : 1.0, 1e-4, 1e6);
}

void TViewport::Fit(const TBox& rect, double margin) {
    if (rect.Empty()) return;
    const double share = std::max(1 - 2 * margin, 0.1);
    const double mpp = std::max(rect.Width() / (FWidth * share), rect.Height() / (FHeight * share));
    // A rectangle without extent (one point) keeps a metre a pixel.
    Set(rect.Centre(), mpp > 0 ? mpp : 1.0);
}

void TViewport::ZoomAt(double px, double py, double factor) {
    if (!(factor > 0)) return;
    const TPlaceXY at = WorldAt(px, py);
    const double mpp = std::clamp(FMpp / factor, 1e-4, 1e6);
    // The point under the pixel stays under it.
    FCentre = {at.X - (px - FWidth / 2.0) * mpp, at.Y + (py - FHeight / 2.0) * mpp};
    FMpp = mpp;
}

void TViewport::Pan(double dx, double dy) { FCentre = {FCentre.X - dx * FMpp, FCentre.Y + dy * FMpp}; }

TBox TViewport::Visible() const {
    const TPlaceXY a = WorldAt(0, FHeight), b = WorldAt(FWidth, 0);
    return {a.X, a.Y, b.X, b.Y};
}

TMapView::TMapView() = default;
TMapView::~TMapView() = default;

void TMapView::Resize(int width, int height) { FView.Resize(width, height); }

void TMapView::OpenBlock(const std::string& blockDir) {
    if (FScene && FScene->BlockDir() == blockDir) return;
    FScene.reset();
    FMarked.reset();
    FMarkedPlace = {};
    FOthers.clear();
    FScene = std::make_unique<TMapScene>(blockDir);
}

void TMapView::CloseBlock() {
    FScene.reset();
    FOthers.clear();
    ClearMark();
}

void TMapView::FitBlock() {
    if (FScene && !FScene->Bounds().Empty()) FView.Fit(FScene->Bounds(), 0.03);
}

void TMapView::ClearMark() {
    FMarked.reset();
    FMarkedPlace = {};
}

bool TMapView::ShowElement(TElementRef element, double scale, bool zoom) {
    ClearMark();
    if (!FScene) return false;
    TFindingPlace place = FScene->Place(element.Group, element.Number);
    if (place.Empty()) return false;
    FMarked = element;
    FMarkedPlace = std::move(place);
    // An area is shown by the rectangle the block stores for it, as the GIS is asked to
    // show it (its extent also when its ring does not close), unless that rectangle is not
    // about its place; other elements by their place.
    TBox base = BoxOf(FMarkedPlace.Crds);
    const bool point = FMarkedPlace.Shape == TPlaceShape::Point;
    if (element.Group == egArea) {
        const auto stored = FScene->StoredRect(element.Group, element.Number);
        if (stored && !stored->Empty() && (stored->Width() > 0 || stored->Height() > 0) &&
            stored->Meets(TBox{base.MinX - kPointMargin, base.MinY - kPointMargin, base.MaxX + kPointMargin,
                               base.MaxY + kPointMargin}))
            base = *stored;
    }
    const bool tiny = base.Width() == 0 && base.Height() == 0;
    const TBox rect = ShowRect(base, point || tiny, scale);
    if (zoom) {
        FView.Fit(rect);
    } else if (!rect.Meets(FView.Visible())) {
        FView.Set(rect.Centre(), FView.MetresPerPixel());
    }
    return true;
}

void TMapView::DrawPolyline(std::span<const TPlaceXY> crds, TRgb colour, int width) {
    if (crds.size() == 1) {
        FImage.Square(Pixel(FView.PixelX(crds[0].X)), Pixel(FView.PixelY(crds[0].Y)), width / 2, colour);
        return;
    }
    double px = FView.PixelX(crds[0].X), py = FView.PixelY(crds[0].Y);
    for (std::size_t i = 1; i < crds.size(); ++i) {
        const double x = FView.PixelX(crds[i].X), y = FView.PixelY(crds[i].Y);
        FImage.Segment(px, py, x, y, colour, width);
        px = x;
        py = y;
    }
}

void TMapView::DrawItem(const TSceneItem& item, TRgb colour, int width) {
    const auto crds = FScene->Crds(item);
    const int x = Pixel(FView.PixelX(crds[0].X)), y = Pixel(FView.PixelY(crds[0].Y));
    switch (item.Kind) {
    case TSceneKind::AreaLine:
    case TSceneKind::Line:
    case TSceneKind::Text:
        // Smaller than a pixel (a whole big block in view): one dot, not every segment.
        if (width == 1 && item.Box.Width() < FView.MetresPerPixel() && item.Box.Height() < FView.MetresPerPixel())
            FImage.Plot(x, y, colour);
        else
            DrawPolyline(crds, colour, width);
        break;
    case TSceneKind::Point:
        FImage.Square(x, y, 2 + width / 2, colour);
        break;
    case TSceneKind::AreaPoint:
        FImage.Cross(x, y, 3 + width / 2, colour, width);
        break;
    }
}

void TMapView::DrawPlace(const TFindingPlace& place, TRgb colour) {
    const int x = Pixel(FView.PixelX(place.Anchor.X)), y = Pixel(FView.PixelY(place.Anchor.Y));
    switch (place.Shape) {
    case TPlaceShape::None:
        break;
    case TPlaceShape::Line:
    case TPlaceShape::Area:
        DrawPolyline(place.Crds, colour, 3);
        break;
    case TPlaceShape::Text:
        // At the text's angle, as the block's drawing has it.
        if (const TSceneItem* item = FScene->Find(egText, FMarked->Number))
            DrawPolyline(FScene->Crds(*item), colour, 3);
        else
            DrawPolyline(place.Crds, colour, 3);
        break;
    case TPlaceShape::Point:
        FImage.Square(x, y, 3, colour);
        FImage.SquareOutline(x, y, 7, colour, 2);
        break;
    case TPlaceShape::AreaPoint:  // a ring that does not close: its reference point
        FImage.Cross(x, y, 8, colour, 3);
        FImage.SquareOutline(x, y, 7, colour, 2);
        break;
    }
}

const TImage& TMapView::Render() {
    if (FImage.Width() != FView.Width() || FImage.Height() != FView.Height())
        FImage = TImage(FView.Width(), FView.Height(), FStyle.Background);
    else
        FImage.Fill(FStyle.Background);
    if (FScene) {
        FScene->Query(FView.Visible(), FVisible);
        const auto& items = FScene->Items();
        for (std::uint32_t i : FVisible) {
            const TSceneItem& item = items[i];
            TRgb colour = FStyle.Line;
            switch (item.Kind) {
            case TSceneKind::AreaLine: colour = FStyle.AreaLine; break;
            case TSceneKind::Line: colour = FStyle.Line; break;
            case TSceneKind::Point: colour = FStyle.Point; break;
            case TSceneKind::Text: colour = FStyle.Text; break;
            case TSceneKind::AreaPoint: colour = FStyle.AreaPoint; break;
            }
            DrawItem(item, colour, 1);
        }
        const TRgb faint = Faded(FMarkColour, FStyle.FaintShare);
        const TBox visible = FView.Visible();
        for (const TElementRef& other : FOthers) {
            if (FMarked && other == *FMarked) continue;
            const TSceneItem* item = FScene->Find(other.Group, other.Number);
            if (item && item->Box.Meets(visible)) DrawItem(*item, faint, 2);
        }
        if (FMarked) DrawPlace(FMarkedPlace, FMarkColour);
    }
    DrawScaleBar();
    return FImage;
}

double TMapView::ScaleBarMetres() const {
    const double target = 100 * FView.MetresPerPixel();
    const double decade = std::pow(10.0, std::floor(std::log10(target)));
    double metres = decade;
    for (double step : {2.0, 5.0, 10.0})
        if (decade * step <= target) metres = decade * step;
    return metres;
}

std::string TMapView::ScaleBarLabel(double metres) {
    char text[32];
    if (metres >= 1000)
        std::snprintf(text, sizeof text, "%g km", metres / 1000);
    else
        std::snprintf(text, sizeof text, "%g m", metres);
    return text;
}

void TMapView::DrawScaleBar() {
    const double metres = ScaleBarMetres();
    const int length = int(std::lround(metres / FView.MetresPerPixel()));
    const std::string label = ScaleBarLabel(metres);
    const int x = 10, y = FView.Height() - 12;
    // A white ground keeps the bar readable over the drawing.
    FImage.Rectangle(x - 4, y - 2 * TImage::kLabelHeight - 8, x + std::max(length, TImage::LabelWidth(label, 2)) + 4,
                     y + 5, FStyle.Background);
    FImage.Segment(x, y, x + length, y, FStyle.ScaleBar, 2);
    FImage.Segment(x, y - 4, x, y + 2, FStyle.ScaleBar, 1);
    FImage.Segment(x + length, y - 4, x + length, y + 2, FStyle.ScaleBar, 1);
    FImage.Label(x, y - 2 * TImage::kLabelHeight - 5, label, FStyle.ScaleBar, 2);
}

}  // namespace vexa::render
