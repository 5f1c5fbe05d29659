#include "render/MapImage.h"

#include "common/AtomicFile.h"
#include "common/Exception.h"
#include "common/SysError.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace vexa::render {

TImage::TImage(int width, int height, TRgb fill)
    : FWidth(std::max(width, 0)), FHeight(std::max(height, 0)),
      FPixels(std::size_t(FWidth) * FHeight, 0xFF000000u | fill) {}

void TImage::Fill(TRgb colour) { std::fill(FPixels.begin(), FPixels.end(), 0xFF000000u | colour); }

void TImage::Brush(int x, int y, TRgb colour, int width) {
    if (width <= 1) {
        Plot(x, y, colour);
        return;
    }
    const int lo = -(width - 1) / 2, hi = width / 2;
    for (int dy = lo; dy <= hi; ++dy)
        for (int dx = lo; dx <= hi; ++dx) Plot(x + dx, y + dy, colour);
}

void TImage::Segment(double x0, double y0, double x1, double y1, TRgb colour, int width) {
    // Liang-Barsky clipping to the picture widened by the brush, so that far-off
    // coordinates never reach the integer walk.
    const double m = width + 1.0;
    const double xmin = -m, ymin = -m, xmax = FWidth + m, ymax = FHeight + m;
    const double dx = x1 - x0, dy = y1 - y0;
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - xmin, xmax - x0, y0 - ymin, ymax - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            if (t > t1) return;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return;
            t1 = std::min(t1, t);
        }
    }
    if (!(std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1))) return;
    int ax = int(std::lround(x0 + t0 * dx)), ay = int(std::lround(y0 + t0 * dy));
    const int bx = int(std::lround(x0 + t1 * dx)), by = int(std::lround(y0 + t1 * dy));
    // Bresenham.
    const int sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
    const int ex = std::abs(bx - ax), ey = -std::abs(by - ay);
    int err = ex + ey;
    for (;;) {
        Brush(ax, ay, colour, width);
        if (ax == bx && ay == by) break;
        const int e2 = 2 * err;
        if (e2 >= ey) {
            err += ey;
            ax += sx;
        }
        if (e2 <= ex) {
            err += ex;
            ay += sy;
        }
    }
}

void TImage::Rectangle(int x0, int y0, int x1, int y1, TRgb colour) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, FWidth - 1);
    y1 = std::min(y1, FHeight - 1);
    for (int y = y0; y <= y1; ++y)
        std::fill_n(FPixels.begin() + std::ptrdiff_t(y) * FWidth + x0, std::max(x1 - x0 + 1, 0), 0xFF000000u | colour);
}

void TImage::Square(int x, int y, int half, TRgb colour) { Rectangle(x - half, y - half, x + half, y + half, colour); }

void TImage::SquareOutline(int x, int y, int half, TRgb colour, int width) {
    Segment(x - half, y - half, x + half, y - half, colour, width);
    Segment(x + half, y - half, x + half, y + half, colour, width);
    Segment(x + half, y + half, x - half, y + half, colour, width);
    Segment(x - half, y + half, x - half, y - half, colour, width);
}

void TImage::Cross(int x, int y, int arm, TRgb colour, int width) {
    Segment(x - arm, y, x + arm, y, colour, width);
    Segment(x, y - arm, x, y + arm, colour, width);
}

namespace {

// 5 x 7 glyphs, one byte a row, the leftmost column in bit 4.
struct TGlyph {
    char Ch;
    std::array<std::uint8_t, 7> Rows;
};

constexpr TGlyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'m', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11}}, {'k', {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}}, {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
};

const TGlyph* GlyphOf(char c) {
    for (const TGlyph& g : kGlyphs)
        if (g.Ch == c) return &g;
    return nullptr;
}

}  // namespace

int TImage::Label(int x, int y, const std::string& text, TRgb colour, int size) {
    size = std::max(size, 1);
    int at = x;
    for (char c : text) {
        if (const TGlyph* g = GlyphOf(c))
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (g->Rows[row] & (0x10 >> col))
                        Rectangle(at + col * size, y + row * size, at + col * size + size - 1,
                                  y + row * size + size - 1, colour);
        at += 6 * size;
    }
    return at - x;
}

TRgb Faded(TRgb colour, double share) {
    share = std::clamp(share, 0.0, 1.0);
    auto mix = [&](int shift) {
        const int c = (colour >> shift) & 0xFF;
        return TRgb(std::lround(c * share + 255 * (1 - share))) << shift;
    };
    return mix(16) | mix(8) | mix(0);
}

namespace {

struct TPngWrite {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    ~TPngWrite() { png_destroy_write_struct(&Png, &Info); }
};

void PngError(png_structp png, png_const_charp message) {
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Writes rows as RGB; false with the reason when libpng or the file fails.
bool WriteRows(std::FILE* file, const TImage& image, std::string& reason) {
    TPngWrite w;
    w.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &reason, PngError, PngWarning);
    if (!w.Png) return reason = "libpng", false;
    w.Info = png_create_info_struct(w.Png);
    if (!w.Info) return reason = "libpng", false;
    std::vector<png_byte> row(std::size_t(image.Width()) * 3);
    if (setjmp(png_jmpbuf(w.Png))) return false;
    png_init_io(w.Png, file);
    png_set_IHDR(w.Png, w.Info, png_uint_32(image.Width()), png_uint_32(image.Height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(w.Png, w.Info);
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            const TRgb c = image.Pixel(x, y);
            row[std::size_t(x) * 3] = png_byte(c >> 16);
            row[std::size_t(x) * 3 + 1] = png_byte(c >> 8);
            row[std::size_t(x) * 3 + 2] = png_byte(c);
        }
        png_write_row(w.Png, row.data());
    }
    png_write_end(w.Png, w.Info);
    return true;
}

}  // namespace

void WritePng(const TImage& image, const std::string& path) {
    if (image.Width() <= 0 || image.Height() <= 0) throw Exception("Obrázok nemá rozmer: " + path);
    const std::filesystem::path target(path);
    const std::filesystem::path temp = TempPathBeside(target);
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (!file) throw Exception(FileFailure("Obrázok sa nedá zapísať", path, errno));
    std::string reason;
    const bool written = WriteRows(file, image, reason);
    const int err = std::ferror(file) ? errno : 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || err || !closed) {
        std::error_code ec;
        std::filesystem::remove(temp, ec);
        if (!reason.empty() && !err) throw Exception("Obrázok sa nedá zapísať: " + path + " (" + reason + ")");
        throw Exception(FileFailure("Obrázok sa nedá zapísať", path, err ? err : EIO));
    }
    try {
        CommitReplacement(temp, target);
    } catch (const std::filesystem::filesystem_error& e) {
        throw Exception(FileFailure("Obrázok sa nedá zapísať", path, e.code().value()));
    }
}

}  // namespace vexa::render
