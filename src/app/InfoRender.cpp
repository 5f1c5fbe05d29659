// vexa-info's --render option: the block drawn as the error browser's map view draws it,
// into a PNG file (no other format: a .jpg name is refused); with --around the element
// fitted in the view and marked in red.
#include "InfoCommands.h"
#include "InfoBlockJson.h"
#include "common/Json.h"

#include "common/Exception.h"
#include "render/MapView.h"


namespace vexa {

namespace {

constexpr int kMinSide = 16, kMaxSide = 8192;

void ParseSize(const std::string& text, int& width, int& height) {
    const std::size_t x = text.find_first_of("xX");
    width = height = -1;
    if (x != std::string::npos) {
        width = ParseInt32(text.substr(0, x), "šírka obrázka");
        height = ParseInt32(text.substr(x + 1), "výška obrázka");
    }
    if (width < kMinSide || height < kMinSide || width > kMaxSide || height > kMaxSide)
        throw Exception("Chybný rozmer obrázka: " + text + " (ŠÍRKAxVÝŠKA, " + std::to_string(kMinSide) + " až " +
                        std::to_string(kMaxSide) + " bodov)");
}

// G:N as --find reads it.
render::TElementRef ParseElement(const std::string& text) {
    const auto parts = SplitArgument(text);
    if (parts.size() != 2) throw Exception("--around čaká G:N, nie '" + text + "'");
    return {ParseGroupLetter(parts[0]), ParseInt32(parts[1], "číslo prvku")};
}

int Render(const std::string& target, const std::string& file, std::ostream& out) {
    // Only PNG is written: another name would hold PNG bytes under a wrong extension.
    if (!render::IsPngName(file))
        throw Exception("Obrázok sa zapisuje len vo formáte PNG, názov súboru musí končiť na .png: " + file);
    int width = 1024, height = 768;
    if (const auto size = InfoExtraValue("--size")) ParseSize(*size, width, height);
    std::optional<render::TElementRef> around;
    if (const auto element = InfoExtraValue("--around")) around = ParseElement(*element);
    render::TMapView view;
    view.Resize(width, height);
    view.OpenBlock(target);
    view.FitBlock();
    if (around && !view.ShowElement(*around, 1.0, true)) throw Exception("Prvok nebol nájdený.");
    render::WritePng(view.Render(), file);
    json::Object o;
    o.Str("file", file).Int("width", width).Int("height", height);
    o.Real("metres_per_pixel", view.Viewport().MetresPerPixel());
    o.Int("elements", static_cast<long long>(view.Scene()->Items().size()));
    if (around) o.Str("marked", std::string(1, GroupLetter(around->Group)) + ":" + std::to_string(around->Number));
    out << o.Text() << '\n';
    return 0;
}

TInfoCommandRegistrar renderCommand({"--render", "SÚBOR.png",
                                     "blok nakreslený ako v mapovom okne prehliadača chýb do obrázka PNG (predvolene "
                                     "1024x768); s --around G:N prvok skupiny G (L, B, T, P) číslo N v strede "
                                     "pohľadu, vyznačený červenou",
                                     true, Render, {"--around", "--size"}, "[--around G:N] [--size ŠÍRKAxVÝŠKA]"});

}  // namespace

}  // namespace vexa
