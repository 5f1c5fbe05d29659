#include "render/MapView.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace vexa::render {

std::string PlaceSummary(const TFindingPlace& place) {
    char text[64];
    const std::optional<double> measure = MeasureOf(place);
    switch (place.Shape) {
    case TPlaceShape::Line:
        std::snprintf(text, sizeof text, "dĺžka %.2f m", measure.value_or(0));
        return text;
    case TPlaceShape::Area:
        std::snprintf(text, sizeof text, "plocha %.2f m²", measure.value_or(0));
        return text;
    case TPlaceShape::AreaPoint: return place.BreakReason.empty() ? place.Reason : place.BreakReason;
    case TPlaceShape::None:
    case TPlaceShape::Point:
    case TPlaceShape::Text: break;
    }
    return {};
}

namespace {
// The box of a place's vertices, of an area all its outer rings.
TBox PlaceBox(const TFindingPlace& place) {
    TBox box = BoxOf(place.Crds);
    for (const TPlacePolygon& polygon : place.Polygons) box.Add(BoxOf(polygon.front()));
    return box;
}
}  // namespace

TRgb AreaFillOf(const TMapStyle& style, const std::string& blockDir) {
    if (style.AreaFills.empty()) return style.Background;
    std::string name = std::filesystem::path(blockDir).filename().string();
    if (name.empty()) name = std::filesystem::path(blockDir).parent_path().filename().string();
    unsigned sum = 0;
    for (char c : name.substr(0, name.find('_'))) sum = sum * 31 + static_cast<unsigned char>(std::toupper(c));
    return style.AreaFills[sum % style.AreaFills.size()];
}

std::string ElementLabel(TElementRef element) {
    char text[16];
    std::snprintf(text, sizeof text, "%c%d", GroupLetter(element.Group), int(element.Number));
    return text;
}

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


void TMapView::Resize(int width, int height) { FView.Resize(width, height); }

TRgb TMapView::AreaFill() const {
    return FScene ? AreaFillOf(FStyle, FScene->BlockDir()) : AreaFillOf(FStyle, std::string());
}

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
    TBox base = PlaceBox(FMarkedPlace);
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


// Cairo and Pango bound to the view's picture: the context is made again only when the
// picture's size changes; the legend is drawn once into a picture of its own.
class TMapPainter {
public:
    TMapPainter(TImage& image) : FImage(image) {
        FSurface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(image.Bits()),
                                                       CAIRO_FORMAT_ARGB32, image.Width(), image.Height(),
                                                       image.Stride());
        Cr = cairo_create(FSurface);
        Layout = pango_cairo_create_layout(Cr);
        // Pixels at 96 dots an inch, whatever the screen: the same picture everywhere.
        pango_cairo_context_set_resolution(pango_layout_get_context(Layout), 96);
        pango_layout_context_changed(Layout);
        FNormal = pango_font_description_from_string("DejaVu Sans 8");
        FBold = pango_font_description_from_string("DejaVu Sans Bold 9");
    }
    ~TMapPainter() {
        if (FLegend) cairo_surface_destroy(FLegend);
        pango_font_description_free(FNormal);
        pango_font_description_free(FBold);
        g_object_unref(Layout);
        cairo_destroy(Cr);
        cairo_surface_destroy(FSurface);
    }
    TMapPainter(const TMapPainter&) = delete;
    TMapPainter& operator=(const TMapPainter&) = delete;

    bool Fits(const TImage& image) const {
        return &image == &FImage && image.Bits() == FBits && cairo_image_surface_get_width(FSurface) == image.Width() &&
               cairo_image_surface_get_height(FSurface) == image.Height();
    }
    void Begin() {
        FBits = FImage.Bits();
        cairo_surface_mark_dirty(FSurface);  // the background was filled without Cairo
        cairo_new_path(Cr);
        Joins(false);
        cairo_set_antialias(Cr, CAIRO_ANTIALIAS_DEFAULT);
    }
    void End() { cairo_surface_flush(FSurface); }
    // Pixels are set in the buffer between these two (Cairo's drawing before is complete,
    // what it draws after sees them).
    void BeginPixels() { cairo_surface_flush(FSurface); }
    void EndPixels() { cairo_surface_mark_dirty(FSurface); }
    // Round joins and caps for the few wide lines of the marking; the many lines of the
    // block bevelled and butt-ended, which Cairo strokes many times faster.
    void Joins(bool round) {
        cairo_set_line_cap(Cr, round ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
        cairo_set_line_join(Cr, round ? CAIRO_LINE_JOIN_ROUND : CAIRO_LINE_JOIN_BEVEL);
    }

    void Colour(TRgb c, double alpha = 1) {
        cairo_set_source_rgba(Cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0, alpha);
    }
    void Stroke(TRgb c, double width) {
        Colour(c);
        cairo_set_line_width(Cr, width);
        cairo_stroke(Cr);
    }
    void Fill(TRgb c) {
        Colour(c);
        cairo_fill(Cr);
    }
    // Sets text in the layout; its size in pixels.
    void Text(const std::string& text, bool bold, int& w, int& h) {
        pango_layout_set_font_description(Layout, bold ? FBold : FNormal);
        pango_layout_set_text(Layout, text.c_str(), int(text.size()));
        pango_layout_get_pixel_size(Layout, &w, &h);
    }
    // The layout's text at x, y (its top left), over a halo of the background.
    void ShowText(double x, double y, TRgb colour, TRgb halo) {
        cairo_move_to(Cr, x, y);
        pango_cairo_layout_path(Cr, Layout);
        Colour(halo, 0.85);
        cairo_set_line_width(Cr, 3);
        cairo_stroke(Cr);
        cairo_move_to(Cr, x, y);
        Colour(colour);
        pango_cairo_show_layout(Cr, Layout);
    }

    cairo_surface_t* Legend() const { return FLegend; }
    void SetLegend(cairo_surface_t* legend) {
        if (FLegend) cairo_surface_destroy(FLegend);
        FLegend = legend;
    }
    TRgb LegendMark = 0;  // the marking colour and the fill the legend was drawn with
    TRgb LegendFill = 0;

    cairo_t* Cr = nullptr;
    PangoLayout* Layout = nullptr;

private:
    TImage& FImage;
    const std::uint32_t* FBits = nullptr;
    cairo_surface_t* FSurface = nullptr;
    cairo_surface_t* FLegend = nullptr;
    PangoFontDescription* FNormal = nullptr;
    PangoFontDescription* FBold = nullptr;
};

TMapView::TMapView() = default;
TMapView::~TMapView() = default;

namespace {

// Far-off places are clipped to the picture widened by this many pixels, so that Cairo's
// fixed-point coordinates never overflow.
constexpr double kClipMargin = 16;

// Vertices are put on the centres of the pixels they fall in: a vertex's pixel is covered
// wholly by the lines through it (the tests read the colour there), a horizontal or
// vertical line is crisp, and the vertices of one pixel are drawn once.
struct TPen {
    cairo_t* Cr;
    double W, H;
    bool Down = false;
    double LastX = 0, LastY = 0;

    static double Snap(double at) { return std::floor(at + 0.5) + 0.5; }
    void MoveTo(double x, double y) {
        LastX = Snap(x);
        LastY = Snap(y);
        cairo_move_to(Cr, LastX, LastY);
        Down = true;
    }
    void LineTo(double x, double y) {
        const double sx = Snap(x), sy = Snap(y);
        if (sx == LastX && sy == LastY) return;
        cairo_line_to(Cr, sx, sy);
        LastX = sx;
        LastY = sy;
    }
    // A segment in pixels, clipped (Liang-Barsky) to the widened picture; a segment outside
    // lifts the pen.
    void Segment(double x0, double y0, double x1, double y1) {
        const double xmin = -kClipMargin, ymin = -kClipMargin, xmax = W + kClipMargin, ymax = H + kClipMargin;
        if (!(std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1))) {
            Down = false;
            return;
        }
        const double dx = x1 - x0, dy = y1 - y0;
        double t0 = 0, t1 = 1;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {x0 - xmin, xmax - x0, y0 - ymin, ymax - y0};
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0) {
                if (q[i] < 0) return void(Down = false);
                continue;
            }
            const double t = q[i] / p[i];
            if (p[i] < 0) {
                if (t > t1) return void(Down = false);
                t0 = std::max(t0, t);
            } else {
                if (t < t0) return void(Down = false);
                t1 = std::min(t1, t);
            }
        }
        if (!Down || t0 > 0) MoveTo(x0 + t0 * dx, y0 + t0 * dy);
        LineTo(x0 + t1 * dx, y0 + t1 * dy);
        if (t1 < 1) Down = false;
    }
};

// A point held inside Cairo's range, as a pixel centre.
double Held(double at) { return TPen::Snap(std::clamp(std::isfinite(at) ? at : -1e6, -1e6, 1e6)); }

}  // namespace

namespace {

void AddPolyline(TPen& pen, const TViewport& v, std::span<const TPlaceXY> crds, const TBox* box = nullptr) {
    pen.Down = false;
    if (box && crds.size() > 1) {
        // Wholly inside the widened picture: no clipping needed.
        const double x0 = v.PixelX(box->MinX), x1 = v.PixelX(box->MaxX);
        const double y0 = v.PixelY(box->MaxY), y1 = v.PixelY(box->MinY);
        if (x0 > -kClipMargin && y0 > -kClipMargin && x1 < pen.W + kClipMargin && y1 < pen.H + kClipMargin) {
            pen.MoveTo(v.PixelX(crds[0].X), v.PixelY(crds[0].Y));
            for (std::size_t i = 1; i < crds.size(); ++i) pen.LineTo(v.PixelX(crds[i].X), v.PixelY(crds[i].Y));
            return;
        }
    }
    if (crds.size() == 1) {
        const double x = v.PixelX(crds[0].X), y = v.PixelY(crds[0].Y);
        pen.Segment(x, y, x, y);
        if (pen.Down) cairo_line_to(pen.Cr, pen.LastX, pen.LastY);  // a dot of the pen's width
        return;
    }
    double px = v.PixelX(crds[0].X), py = v.PixelY(crds[0].Y);
    for (std::size_t i = 1; i < crds.size(); ++i) {
        const double x = v.PixelX(crds[i].X), y = v.PixelY(crds[i].Y);
        pen.Segment(px, py, x, y);
        px = x;
        py = y;
    }
}

// A ring as a closed subpath for filling (held inside Cairo's range; vertices of one pixel once).
void AddRing(cairo_t* cr, const TViewport& v, std::span<const TPlaceXY> ring, const TBox& box) {
    if (ring.size() < 3) return;
    const bool inside = std::abs(v.PixelX(box.MinX)) < 4e6 && std::abs(v.PixelX(box.MaxX)) < 4e6 &&
                        std::abs(v.PixelY(box.MinY)) < 4e6 && std::abs(v.PixelY(box.MaxY)) < 4e6;
    auto at = [&](const TPlaceXY& c) {
        if (inside) return std::pair{TPen::Snap(v.PixelX(c.X)), TPen::Snap(v.PixelY(c.Y))};
        return std::pair{Held(std::clamp(v.PixelX(c.X), -4e6, 4e6)), Held(std::clamp(v.PixelY(c.Y), -4e6, 4e6))};
    };
    auto [lx, ly] = at(ring[0]);
    cairo_move_to(cr, lx, ly);
    for (std::size_t i = 1; i < ring.size(); ++i) {
        const auto [x, y] = at(ring[i]);
        if (x == lx && y == ly) continue;
        cairo_line_to(cr, x, y);
        lx = x;
        ly = y;
    }
    cairo_close_path(cr);
}

void AddCross(cairo_t* cr, double x, double y, double arm) {
    cairo_move_to(cr, x - arm, y);
    cairo_line_to(cr, x + arm, y);
    cairo_move_to(cr, x, y - arm);
    cairo_line_to(cr, x, y + arm);
}

void AddSquare(cairo_t* cr, double x, double y, double half) {
    cairo_rectangle(cr, x - half, y - half, 2 * half, 2 * half);
}

void AddDisc(cairo_t* cr, double x, double y, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, r, 0, 2 * M_PI);
    cairo_close_path(cr);
}

bool Near(double x, double y, double w, double h) {
    return x > -kClipMargin && y > -kClipMargin && x < w + kClipMargin && y < h + kClipMargin;
}

// The place a label goes: a point, an area's reference point, a text's centre; on a line
// the middle of the segment nearest to the centre of the view that lies in sight (not a
// vertex, which the line shares with its neighbours), so that a line longer than the view
// still gets its label.
TPlaceXY AnchorOf(const TSceneItem& item, std::span<const TPlaceXY> crds, const TBox& visible) {
    switch (item.Kind) {
    case TSceneKind::Line:
    case TSceneKind::AreaLine: {
        const TPlaceXY centre = visible.Centre();
        TPlaceXY best = crds[crds.size() / 2];
        double nearest = -1;
        auto consider = [&](TPlaceXY p) {
            if (p.X < visible.MinX || p.X > visible.MaxX || p.Y < visible.MinY || p.Y > visible.MaxY) return;
            const double d = std::hypot(p.X - centre.X, p.Y - centre.Y);
            if (nearest < 0 || d < nearest) nearest = d, best = p;
        };
        for (std::size_t i = 0; i + 1 < crds.size(); ++i)
            consider({(crds[i].X + crds[i + 1].X) / 2, (crds[i].Y + crds[i + 1].Y) / 2});
        return best;
    }
    case TSceneKind::Text: return item.Box.Centre();
    case TSceneKind::Point:
    case TSceneKind::AreaPoint: break;
    }
    return crds[0];
}

}  // namespace

void TMapView::DrawScene() {
    cairo_t* cr = FPainter->Cr;
    const double w = FView.Width(), h = FView.Height(), mpp = FView.MetresPerPixel();
    TPen pen{cr, w, h};
    FScene->Query(FView.Visible(), FVisible);
    // A whole big block in view: Cairo's faster antialiasing, squares for discs.
    const bool crowded = FVisible.size() > 20000;
    cairo_set_antialias(cr, crowded ? CAIRO_ANTIALIAS_FAST : CAIRO_ANTIALIAS_DEFAULT);
    const auto& items = FScene->Items();
    // Smaller than a pixel (a whole big block in view): one dot, not every segment.
    auto tiny = [&](const TSceneItem& item) { return item.Box.Width() < mpp && item.Box.Height() < mpp; };
    // Pixels set directly where a whole big block is in view: many thousand single dots,
    // point squares and reference dots that Cairo would take as many tiny paths.
    auto pixel = [&](const TPlaceXY& at, int& x, int& y) {
        x = int(std::floor(std::clamp(FView.PixelX(at.X), -1e6, 1e6) + 0.5));
        y = int(std::floor(std::clamp(FView.PixelY(at.Y), -1e6, 1e6) + 0.5));
        return x >= -4 && y >= -4 && x < w + 4 && y < h + 4;
    };

    // The areas filled lightly, their boundaries drawn over them afterwards.
    for (std::uint32_t i : FVisible) {
        const TSceneItem& item = items[i];
        if (item.Kind != TSceneKind::AreaPoint || item.Count < 4 || tiny(item)) continue;
        // Each ring its own subpath: the holes, turning the other way, stay unfilled.
        const auto rings = FScene->Crds(item).subspan(1);
        for (std::size_t at = 0; at < rings.size();) {
            const std::size_t end = RingEnd(rings, at);
            AddRing(cr, FView, rings.subspan(at, end - at), item.Box);
            at = end;
        }
    }
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    FPainter->Fill(AreaFill());

    // Lines, boundaries and texts, a path per colour; what is smaller than a pixel as dots.
    struct TPass {
        TSceneKind Kind;
        TRgb Colour;
        double Width;
    };
    const TPass passes[] = {{TSceneKind::AreaLine, FStyle.AreaLine, 1.5},
                            {TSceneKind::Line, FStyle.Line, 1.5},
                            {TSceneKind::Text, FStyle.Text, 1.2}};
    for (const TPass& pass : passes) {
        for (std::uint32_t i : FVisible) {
            const TSceneItem& item = items[i];
            if (item.Kind != pass.Kind || tiny(item)) continue;
            AddPolyline(pen, FView, FScene->Crds(item), &item.Box);
        }
        FPainter->Stroke(pass.Colour, pass.Width);
        FPainter->BeginPixels();
        for (std::uint32_t i : FVisible) {
            int x, y;
            if (items[i].Kind == pass.Kind && tiny(items[i]) && pixel(FScene->Crds(items[i])[0], x, y))
                FImage.Plot(x, y, pass.Colour);
        }
        FPainter->EndPixels();
    }
    // Points as discs, the areas' reference points as crosses; crowded, as squares and
    // single pixels.
    if (crowded) {
        FPainter->BeginPixels();
        for (std::uint32_t i : FVisible) {
            const TSceneItem& item = items[i];
            int x, y;
            if (item.Kind == TSceneKind::Point && pixel(FScene->Crds(item)[0], x, y)) {
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) FImage.Plot(x + dx, y + dy, FStyle.Point);
            } else if (item.Kind == TSceneKind::AreaPoint && pixel(FScene->Crds(item)[0], x, y)) {
                FImage.Plot(x, y, FStyle.AreaPoint);  // a dot: pluses would hide the areas
            }
        }
        FPainter->EndPixels();
    } else {
        // A symbol at the first place of every visible item of a kind.
        auto symbols = [&](TSceneKind kind, auto add) {
            for (std::uint32_t i : FVisible) {
                const TSceneItem& item = items[i];
                if (item.Kind != kind) continue;
                const auto crds = FScene->Crds(item);
                const double x = Held(FView.PixelX(crds[0].X)), y = Held(FView.PixelY(crds[0].Y));
                if (Near(x, y, w, h)) add(x, y);
            }
        };
        symbols(TSceneKind::Point, [&](double x, double y) { AddDisc(cr, x, y, 3); });
        FPainter->Fill(FStyle.Point);
        symbols(TSceneKind::AreaPoint, [&](double x, double y) { AddCross(cr, x, y, 3); });
        FPainter->Stroke(FStyle.AreaPoint, 1.5);
    }

    // The other findings of the block, fainter and wider.
    const TRgb faint = Faded(FMarkColour, FStyle.FaintShare);
    const TBox visible = FView.Visible();
    for (const TElementRef& other : FOthers) {
        if (FMarked && other == *FMarked) continue;
        const TSceneItem* item = FScene->Find(other.Group, other.Number);
        if (!item || !item->Box.Meets(visible)) continue;
        const auto crds = FScene->Crds(*item);
        switch (item->Kind) {
        case TSceneKind::AreaLine:
        case TSceneKind::Line:
        case TSceneKind::Text: AddPolyline(pen, FView, crds, &item->Box); break;
        case TSceneKind::Point:
        case TSceneKind::AreaPoint: {
            const double x = Held(FView.PixelX(crds[0].X)), y = Held(FView.PixelY(crds[0].Y));
            if (Near(x, y, w, h)) AddCross(cr, x, y, 4);
            break;
        }
        }
    }
    FPainter->Stroke(faint, 2.5);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
}

void TMapView::DrawPlace(const TFindingPlace& place, TRgb colour) {
    cairo_t* cr = FPainter->Cr;
    FPainter->Joins(true);
    TPen pen{cr, double(FView.Width()), double(FView.Height())};
    const double x = Held(FView.PixelX(place.Anchor.X)), y = Held(FView.PixelY(place.Anchor.Y));
    switch (place.Shape) {
    case TPlaceShape::None:
        break;
    case TPlaceShape::Line:
        AddPolyline(pen, FView, place.Crds);
        FPainter->Stroke(colour, 3);
        break;
    case TPlaceShape::Area:
        // Every ring: the outer boundary and the islands' shores.
        if (place.Polygons.empty()) AddPolyline(pen, FView, place.Crds);
        for (const TPlacePolygon& polygon : place.Polygons)
            for (const TPlaceRing& ring : polygon) AddPolyline(pen, FView, ring);
        FPainter->Stroke(colour, 3);
        break;
    case TPlaceShape::Text:
        // At the text's angle, as the block's drawing has it.
        if (const TSceneItem* item = FScene->Find(egText, FMarked->Number))
            AddPolyline(pen, FView, FScene->Crds(*item));
        else
            AddPolyline(pen, FView, place.Crds);
        FPainter->Stroke(colour, 3);
        break;
    case TPlaceShape::Point:
        AddSquare(cr, x, y, 3.5);
        FPainter->Fill(colour);
        AddSquare(cr, x, y, 7.5);
        FPainter->Stroke(colour, 2);
        break;
    case TPlaceShape::AreaPoint:  // a ring that does not close: its reference point
        // The boundary lines the walk followed, and a ring round the place where it broke.
        for (const std::vector<TPlaceXY>& line : place.Walked) AddPolyline(pen, FView, line);
        FPainter->Stroke(colour, 3);
        if (place.Break) {
            const double bx = Held(FView.PixelX(place.Break->X)), by = Held(FView.PixelY(place.Break->Y));
            AddDisc(cr, bx, by, 3.5);
            FPainter->Fill(colour);
            AddDisc(cr, bx, by, 10);
            FPainter->Stroke(colour, 2);
        }
        AddCross(cr, x, y, 8);
        FPainter->Stroke(colour, 3);
        AddSquare(cr, x, y, 7.5);
        FPainter->Stroke(colour, 2);
        break;
    }
}

void TMapView::DrawLabels(bool marked) {
    if (!FStyle.Labels || !FMarked) return;
    if (marked) {
        if (!FLabels.empty() && FLabels[0].Marked) {
            int tw, th;
            FPainter->Text(FLabels[0].Text, true, tw, th);
            FPainter->ShowText(FLabels[0].X0, FLabels[0].Y0, FMarkColour, FStyle.Background);
        }
        return;
    }
    const double w = FView.Width(), h = FView.Height();
    // The marked element's number first, then its neighbours' nearest first: the elements
    // whose boxes meet the marked one's widened by a fifth of the view.
    const TPlaceXY at = FMarkedPlace.Anchor;
    const double reach = std::max(w, h) * FView.MetresPerPixel() / 5;
    TBox near = PlaceBox(FMarkedPlace);
    near = {near.MinX - reach, near.MinY - reach, near.MaxX + reach, near.MaxY + reach};
    struct TCandidate {
        double Distance;
        TElementRef Element;
        TPlaceXY At;
    };
    std::vector<TCandidate> candidates;
    const auto& items = FScene->Items();
    for (std::uint32_t i : FVisible) {
        const TSceneItem& item = items[i];
        if (!item.Box.Meets(near)) continue;
        const TElementRef e{item.Group, item.Number};
        if (e == *FMarked) continue;
        const TPlaceXY a = AnchorOf(item, FScene->Crds(item), FView.Visible());
        candidates.push_back({std::hypot(a.X - at.X, a.Y - at.Y), e, a});
    }
    constexpr std::size_t kMostNeighbours = 24;
    const std::size_t shown = std::min(candidates.size(), kMostNeighbours);
    std::partial_sort(candidates.begin(), candidates.begin() + std::ptrdiff_t(shown), candidates.end(),
                      [](const TCandidate& a, const TCandidate& b) { return a.Distance < b.Distance; });
    candidates.resize(shown);
    candidates.insert(candidates.begin(), {0, *FMarked, at});
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        const bool marked = k == 0;
        const TCandidate& c = candidates[k];
        const double px = FView.PixelX(c.At.X), py = FView.PixelY(c.At.Y);
        if (!Near(px, py, w, h)) continue;
        TMapLabel label{ElementLabel(c.Element)};
        int tw, th;
        FPainter->Text(label.Text, marked, tw, th);
        // Beside the place, up and to the right, kept inside the picture.
        const int x = int(std::clamp(std::lround(px) + 5L, 0L, std::max(long(w) - tw, 0L)));
        const int y = int(std::clamp(std::lround(py) - 5L - th, 0L, std::max(long(h) - th, 0L)));
        // Neighbours' labels that would cover one already drawn are left out.
        bool covers = false;
        for (const TMapLabel& l : FLabels)
            covers = covers || (x < l.X1 && l.X0 < x + tw && y < l.Y1 && l.Y0 < y + th);
        if (covers && !marked) continue;
        if (!marked) FPainter->ShowText(x, y, FStyle.Label, FStyle.Background);  // the marked one later
        label.X0 = x;
        label.Y0 = y;
        label.X1 = x + tw;
        label.Y1 = y + th;
        label.Marked = marked;
        FLabels.push_back(std::move(label));
    }
}

const TImage& TMapView::Render() {
    if (FImage.Width() != FView.Width() || FImage.Height() != FView.Height()) {
        FPainter.reset();
        FImage = TImage(FView.Width(), FView.Height(), FStyle.Background);
    } else {
        FImage.Fill(FStyle.Background);
    }
    if (!FPainter || !FPainter->Fits(FImage)) FPainter = std::make_unique<TMapPainter>(FImage);
    FPainter->Begin();
    FLabels.clear();
    if (FScene) {
        DrawScene();
        // The neighbours' labels under the marked element, its own label over everything.
        DrawLabels(false);
        if (FMarked) DrawPlace(FMarkedPlace, FMarkColour);
        DrawLabels(true);
    }
    DrawScaleBar();
    DrawLegend();
    FPainter->End();
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
    cairo_t* cr = FPainter->Cr;
    const double metres = ScaleBarMetres();
    const double length = std::round(metres / FView.MetresPerPixel());
    int tw, th;
    FPainter->Text(ScaleBarLabel(metres), false, tw, th);
    const double x = 10.5, y = FView.Height() - 10.5;
    // A white ground keeps the bar readable over the drawing.
    cairo_rectangle(cr, x - 5, y - th - 9, std::max(length, double(tw)) + 10, th + 14);
    FPainter->Colour(FStyle.Background, 0.85);
    cairo_fill(cr);
    cairo_move_to(cr, x, y - 4);
    cairo_line_to(cr, x, y);
    cairo_line_to(cr, x + length, y);
    cairo_line_to(cr, x + length, y - 4);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    FPainter->Stroke(FStyle.ScaleBar, 2);
    cairo_move_to(cr, x, y - th - 5);
    FPainter->Colour(FStyle.ScaleBar);
    pango_cairo_show_layout(cr, FPainter->Layout);
}

void TMapView::DrawLegend() {
    if (!FStyle.Legend) return;
    // Drawn once into a picture of its own (again when the marking colour changes): the
    // texts are set once, not at every redraw.
    if (!FPainter->Legend() || FPainter->LegendMark != FMarkColour || FPainter->LegendFill != AreaFill()) {
        struct TEntry {
            const char* Name;
            int Symbol;  // 0 a fill, 1 a line, 2 a disc, 3 a rectangle, 4 a cross
            TRgb Colour;
            double Width;
        };
        const TEntry entries[] = {{"plocha", 0, AreaFill(), 1.5},   {"línia", 1, FStyle.Line, 1.5},
                                  {"bod", 2, FStyle.Point, 1},            {"text", 3, FStyle.Text, 1.2},
                                  {"stred plochy", 4, FStyle.AreaPoint, 1.5}, {"chyba", 1, FMarkColour, 3},
                                  {"iná chyba", 1, Faded(FMarkColour, FStyle.FaintShare), 2.5}};
        int widest = 0, row = 0;
        for (const TEntry& e : entries) {
            int tw, th;
            FPainter->Text(e.Name, false, tw, th);
            widest = std::max(widest, tw);
            row = std::max(row, th);
        }
        const int lw = widest + 34, lh = row * int(std::size(entries)) + 8;
        cairo_surface_t* legend = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, lw, lh);
        cairo_t* cr = cairo_create(legend);
        PangoLayout* layout = pango_cairo_create_layout(cr);
        pango_cairo_context_set_resolution(pango_layout_get_context(layout), 96);
        pango_layout_context_changed(layout);
        pango_layout_set_font_description(layout, pango_layout_get_font_description(FPainter->Layout));
        auto colour = [&](TRgb c, double a = 1) {
            cairo_set_source_rgba(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0, a);
        };
        cairo_rectangle(cr, 0.5, 0.5, lw - 1, lh - 1);
        colour(FStyle.Background, 0.9);
        cairo_fill_preserve(cr);
        colour(0x999999);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        for (std::size_t i = 0; i < std::size(entries); ++i) {
            const TEntry& e = entries[i];
            const double top = 4 + double(i) * row, mid = top + row / 2.0;
            switch (e.Symbol) {
            case 0:
                cairo_rectangle(cr, 6.5, mid - 4.5, 16, 9);
                colour(e.Colour);
                cairo_fill_preserve(cr);
                colour(FStyle.AreaLine);
                break;
            case 1:
                cairo_move_to(cr, 6, mid);
                cairo_line_to(cr, 22, mid);
                colour(e.Colour);
                break;
            case 2:
                cairo_arc(cr, 14, mid, 3, 0, 2 * M_PI);
                colour(e.Colour);
                cairo_fill(cr);
                break;
            case 3:
                cairo_rectangle(cr, 8.5, mid - 3.5, 12, 7);
                colour(e.Colour);
                break;
            case 4:
                AddCross(cr, 14.5, mid + 0.5, 3);
                colour(e.Colour);
                break;
            }
            cairo_set_line_width(cr, e.Width);
            cairo_stroke(cr);
            pango_layout_set_text(layout, e.Name, -1);
            cairo_move_to(cr, 28, top);
            colour(FStyle.Label);
            pango_cairo_show_layout(cr, layout);
        }
        g_object_unref(layout);
        cairo_destroy(cr);
        FPainter->SetLegend(legend);
        FPainter->LegendMark = FMarkColour;
        FPainter->LegendFill = AreaFill();
    }
    cairo_surface_t* legend = FPainter->Legend();
    const int lw = cairo_image_surface_get_width(legend), lh = cairo_image_surface_get_height(legend);
    // Only where the picture has room for it besides the drawing.
    const int w = FView.Width(), h = FView.Height();
    if (lw * 3 > w || lh * 2 > h) return;
    // In the bottom right corner, else in a top corner, where it hides nothing of the marked
    // place (its lines and the break of its ring).
    TBox marked;
    if (FMarked) {
        marked = PlaceBox(FMarkedPlace);
        for (const auto& line : FMarkedPlace.Walked) marked.Add(BoxOf(line));
        if (FMarkedPlace.Break) marked.Add(FMarkedPlace.Break->X, FMarkedPlace.Break->Y);
    }
    const std::pair<int, int> corners[] = {{w - lw - 8, h - lh - 8}, {w - lw - 8, 8}, {8, 8}};
    std::pair<int, int> at = corners[0];
    for (const auto& c : corners) {
        const TPlaceXY a = FView.WorldAt(c.first - 12, c.second + lh + 12), b = FView.WorldAt(c.first + lw + 12, c.second - 12);
        if (!marked.Meets(TBox{a.X, a.Y, b.X, b.Y})) {
            at = c;
            break;
        }
    }
    cairo_set_source_surface(FPainter->Cr, legend, at.first, at.second);
    cairo_paint(FPainter->Cr);
}

TImage MapOverview(const std::vector<std::pair<std::string, TBox>>& blocks, const std::vector<TPlaceXY>& dots,
                   int width, int height) {
    TImage image(width, height, 0xFFFFFF);
    TBox all;
    for (const auto& [name, box] : blocks) all.Add(box);
    for (const TPlaceXY& d : dots) all.Add(d.X, d.Y);
    if (all.Empty()) return image;
    TViewport port;
    port.Resize(width, height);
    port.Fit(all, 0.05);
    TMapPainter painter(image);
    painter.Begin();
    cairo_t* cr = painter.Cr;
    for (const auto& [name, box] : blocks) {
        const double x0 = Held(port.PixelX(box.MinX)), x1 = Held(port.PixelX(box.MaxX));
        const double y0 = Held(port.PixelY(box.MaxY)), y1 = Held(port.PixelY(box.MinY));
        cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
        painter.Colour(0x2E6FB0, 0.08);
        cairo_fill_preserve(cr);
        painter.Stroke(0x2E6FB0, 1);
        int w = 0, h = 0;
        painter.Text(name, false, w, h);
        painter.ShowText(x0 + 3, y0 + 2, 0x1F4E80, 0xFFFFFF);
    }
    for (const TPlaceXY& d : dots) {
        cairo_arc(cr, port.PixelX(d.X), port.PixelY(d.Y), 2.5, 0, 2 * M_PI);
        painter.Fill(0xD00000);
    }
    painter.End();
    return image;
}

}  // namespace vexa::render
