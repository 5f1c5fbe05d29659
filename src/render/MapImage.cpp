#include "render/MapImage.h"

#include "common/AtomicFile.h"
#include "common/Exception.h"
#include "common/MapFiles.h"
#include "common/SysError.h"
#include "common/Text.h"

#include <cairo.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace vexa::render {

TImage::TImage(int width, int height, TRgb fill)
    : FWidth(std::max(width, 0)), FHeight(std::max(height, 0)),
      FPixels(std::size_t(FWidth) * FHeight, 0xFF000000u | fill) {}

void TImage::Fill(TRgb colour) { std::fill(FPixels.begin(), FPixels.end(), 0xFF000000u | colour); }

TRgb Faded(TRgb colour, double share) {
    share = std::clamp(share, 0.0, 1.0);
    auto mix = [&](int shift) {
        const int c = (colour >> shift) & 0xFF;
        return TRgb(std::lround(c * share + 255 * (1 - share))) << shift;
    };
    return mix(16) | mix(8) | mix(0);
}

bool IsPngName(const std::string& path) {
    return LowerAscii(std::filesystem::path(path).extension().string()) == ".png";
}

namespace {

struct TPngOut {
    std::FILE* File;
    int Err = 0;
};

cairo_status_t WriteChunk(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<TPngOut*>(closure);
    if (std::fwrite(data, 1, length, out->File) != length) {
        out->Err = errno ? errno : EIO;
        return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

namespace {

// The buffer read as RGB24 (its alpha byte ignored): an RGB PNG without an alpha channel.
cairo_surface_t* RgbSurface(const TImage& image) {
    return cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image.Bits())),
                                               CAIRO_FORMAT_RGB24, image.Width(), image.Height(), image.Stride());
}

cairo_status_t AppendChunk(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::string PngBytes(const TImage& image) {
    if (image.Width() <= 0 || image.Height() <= 0) throw Exception("Obrázok nemá rozmer.");
    cairo_surface_t* surface = RgbSurface(image);
    std::string bytes;
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface, AppendChunk, &bytes);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        throw Exception(std::string("Obrázok sa nedá zakódovať (") + cairo_status_to_string(status) + ")");
    return bytes;
}

void WritePng(const TImage& image, const std::string& path) {
    if (image.Width() <= 0 || image.Height() <= 0) throw Exception("Obrázok nemá rozmer: " + path);
    RefuseMapFileOutput("Obrázok", path);
    const std::filesystem::path target(path);
    const std::filesystem::path temp = TempPathBeside(target);
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (!file) throw Exception(FileFailure("Obrázok sa nedá zapísať", path, errno));
    cairo_surface_t* surface = RgbSurface(image);
    TPngOut out{file};
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface, WriteChunk, &out);
    cairo_surface_destroy(surface);
    const int err = out.Err ? out.Err : (std::ferror(file) ? errno : 0);
    const bool closed = std::fclose(file) == 0;
    if (status != CAIRO_STATUS_SUCCESS || err || !closed) {
        std::error_code ec;
        std::filesystem::remove(temp, ec);
        if (status != CAIRO_STATUS_SUCCESS && !err)
            throw Exception("Obrázok sa nedá zapísať: " + path + " (" + cairo_status_to_string(status) + ")");
        throw Exception(FileFailure("Obrázok sa nedá zapísať", path, err ? err : EIO));
    }
    try {
        CommitReplacement(temp, target);
    } catch (const std::filesystem::filesystem_error& e) {
        throw Exception(FileFailure("Obrázok sa nedá zapísať", path, e.code().value()));
    }
}

}  // namespace vexa::render
