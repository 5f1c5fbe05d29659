#pragma once
// A picture in memory: pixels 0xFFRRGGBB, rows top to bottom without padding, as Cairo's
// ARGB32 surfaces and Qt's RGB32 images hold them, so that the map view draws into it
// through Cairo and a window shows the buffer as it is.
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
    std::uint32_t* Bits() { return FPixels.data(); }
    int Stride() const { return FWidth * 4; }
    TRgb Pixel(int x, int y) const { return FPixels[std::size_t(y) * FWidth + x] & 0xFFFFFF; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < FWidth && y < FHeight; }
    void Fill(TRgb colour);
    // One pixel, left out when outside.
    void Plot(int x, int y, TRgb colour) {
        if (Inside(x, y)) FPixels[std::size_t(y) * FWidth + x] = 0xFF000000u | colour;
    }

private:
    int FWidth = 0;
    int FHeight = 0;
    std::vector<std::uint32_t> FPixels;
};

// A colour mixed with white: share 1 keeps the colour, 0 gives white.
TRgb Faded(TRgb colour, double share);

// Whether a file name asks for a picture format that WritePng writes (.png, any case).
bool IsPngName(const std::string& path);

// Writes the picture as a PNG file (through Cairo), replacing path only when the file is
// complete. Throws with the system's text when it cannot be written.
void WritePng(const TImage& image, const std::string& path);

// The picture as the bytes of a PNG file, in memory (pictures inside a report).
std::string PngBytes(const TImage& image);

}  // namespace vexa::render
