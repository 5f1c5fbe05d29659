#pragma once
// A picture in memory and the few things the map view draws on it: one-pixel and
// thick polylines clipped to the picture, filled squares, crosses, and short labels
// in a small built-in font. Pixels are 0xAARRGGBB, rows top to bottom, so a window
// can show the buffer as it is.
#include <cstdint>
#include <string>
#include <vector>

namespace vexa::render {

using TRgb = std::uint32_t;  // 0xRRGGBB

class TImage {
public:
    TImage() = default;
    TImage(int width, int height, TRgb fill = 0xFFFFFF);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    const std::uint32_t* Bits() const { return FPixels.data(); }
    TRgb Pixel(int x, int y) const { return FPixels[std::size_t(y) * FWidth + x] & 0xFFFFFF; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < FWidth && y < FHeight; }

    void Fill(TRgb colour);
    void Plot(int x, int y, TRgb colour) {
        if (Inside(x, y)) FPixels[std::size_t(y) * FWidth + x] = 0xFF000000u | colour;
    }
    // A segment between two points in pixels (fractions rounded), clipped to the picture;
    // width 1 draws single pixels, a larger width a square brush of that size.
    void Segment(double x0, double y0, double x1, double y1, TRgb colour, int width = 1);
    // A filled square of side 2 * half + 1 centred on the pixel.
    void Square(int x, int y, int half, TRgb colour);
    // A square's outline of side 2 * half + 1.
    void SquareOutline(int x, int y, int half, TRgb colour, int width = 1);
    // An upright cross with arms of that length.
    void Cross(int x, int y, int arm, TRgb colour, int width = 1);
    // A filled rectangle, clipped.
    void Rectangle(int x0, int y0, int x1, int y1, TRgb colour);
    // Text in the built-in 5 x 7 font (digits, letters, a few signs; others as blanks),
    // its top left corner at x, y, each dot size x size pixels; returns the width drawn.
    int Label(int x, int y, const std::string& text, TRgb colour, int size = 1);
    static int LabelWidth(const std::string& text, int size = 1) { return int(text.size()) * 6 * size; }
    static constexpr int kLabelHeight = 7;

private:
    void Brush(int x, int y, TRgb colour, int width);
    int FWidth = 0;
    int FHeight = 0;
    std::vector<std::uint32_t> FPixels;
};

// A colour mixed with white: share 1 keeps the colour, 0 gives white.
TRgb Faded(TRgb colour, double share);

// Writes the picture as a PNG file, replacing path only when the file is complete.
// Throws EFOpenError-like runtime errors with the system's text.
void WritePng(const TImage& image, const std::string& path);

// The picture as the bytes of a PNG file, in memory (pictures inside a report).
std::string PngBytes(const TImage& image);

}  // namespace vexa::render
