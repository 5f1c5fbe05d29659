// vexa-info's --render option: the block drawn as the error browser's map view draws it,
// into a PNG file; with --around the element fitted in the view and marked in red.
#include "InfoCommands.h"
#include "Json.h"

#include "common/Exception.h"
#include "render/MapView.h"

#include <cstdlib>

namespace vexa {

namespace {

constexpr int kMinSide = 16, kMaxSide = 8192;

int Side(const std::string& text, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
    if (pos == start || pos - start > 5) return -1;
    return std::atoi(text.substr(start, pos - start).c_str());
}

void ParseSize(const std::string& text, int& width, int& height) {
    std::size_t pos = 0;
    width = Side(text, pos);
    const bool x = pos < text.size() && (text[pos] == 'x' || text[pos] == 'X');
    if (x) ++pos;
    height = x ? Side(text, pos) : -1;
    if (pos != text.size() || width < kMinSide || height < kMinSide || width > kMaxSide || height > kMaxSide)
        throw Exception("Chybný rozmer obrázka: " + text + " (ŠÍRKAxVÝŠKA, " + std::to_string(kMinSide) + " až " +
                        std::to_string(kMaxSide) + " bodov)");
}

render::TElementRef ParseElement(const std::string& text) {
    const auto group = text.size() > 2 && text[1] == ':' ? GroupOfLetter(text[0]) : std::nullopt;
    char* end = nullptr;
    const long number = group ? std::strtol(text.c_str() + 2, &end, 10) : 0;
    if (!group || !end || *end != '\0' || number <= 0 || number > 0x7FFFFFFF)
        throw Exception("Chybný prvok: " + text + " (G:N, G je L, B, T alebo P a N číslo prvku)");
    return {*group, std::int32_t(number)};
}

int Render(const std::string& target, const std::string& file, std::ostream& out) {
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
