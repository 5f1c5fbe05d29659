#include "render/MapImage.h"

#include "common/Exception.h"

#include <png.h>

namespace vexa::render {

std::string PngBytes(const TImage& image) {
    if (image.Width() <= 0 || image.Height() <= 0) throw Exception("Obrázok nemá rozmer.");
    std::vector<png_byte> rgb(std::size_t(image.Width()) * image.Height() * 3);
    std::size_t i = 0;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const TRgb c = image.Pixel(x, y);
            rgb[i++] = png_byte(c >> 16);
            rgb[i++] = png_byte(c >> 8);
            rgb[i++] = png_byte(c);
        }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.Width());
    png.height = png_uint_32(image.Height());
    png.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    // First the size, then the bytes (libpng's simplified API).
    if (!png_image_write_get_memory_size(png, size, 0, rgb.data(), 0, nullptr))
        throw Exception(std::string("Obrázok sa nedá zakódovať (") + png.message + ")");
    std::string bytes(size, '\0');
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, rgb.data(), 0, nullptr))
        throw Exception(std::string("Obrázok sa nedá zakódovať (") + png.message + ")");
    bytes.resize(size);
    return bytes;
}

}  // namespace vexa::render
