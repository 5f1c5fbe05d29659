#pragma once
// The report read back: a page parsed by libxml2's HTML parser with XPath queries, and
// the pictures decoded by libpng.
#include <libxml/HTMLparser.h>
#include <libxml/xpath.h>
#include <png.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vexa::reporttest {

// A parsed page and XPath queries over it.
class Page {
public:
    explicit Page(const std::string& html)
        : FDoc(htmlReadMemory(html.data(), int(html.size()), nullptr, "UTF-8",
                              HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET)) {}
    ~Page() { xmlFreeDoc(FDoc); }
    bool Parsed() const { return FDoc != nullptr; }

    // Text content of each node the expression selects.
    std::vector<std::string> Texts(const std::string& xpath) const {
        std::vector<std::string> out;
        xmlXPathContextPtr context = xmlXPathNewContext(FDoc);
        xmlXPathObjectPtr result = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(xpath.c_str()), context);
        if (result && result->nodesetval)
            for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
                xmlChar* text = xmlNodeGetContent(result->nodesetval->nodeTab[i]);
                out.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
                xmlFree(text);
            }
        xmlXPathFreeObject(result);
        xmlXPathFreeContext(context);
        return out;
    }

private:
    xmlDocPtr FDoc;
};

inline std::string Base64Decode(const std::string& text) {
    std::string out;
    unsigned value = 0;
    int bits = 0;
    for (char c : text) {
        int d;
        if (c >= 'A' && c <= 'Z') d = c - 'A';
        else if (c >= 'a' && c <= 'z') d = c - 'a' + 26;
        else if (c >= '0' && c <= '9') d = c - '0' + 52;
        else if (c == '+') d = 62;
        else if (c == '/') d = 63;
        else break;  // padding
        value = value << 6 | unsigned(d);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += char((value >> bits) & 0xFF);
        }
    }
    return out;
}

// Width and height of a PNG decoded in full by libpng; nullopt when it is not a valid PNG.
inline std::optional<std::pair<int, int>> DecodePng(const std::string& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return std::nullopt;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return std::nullopt;
    return std::pair{int(image.width), int(image.height)};
}

// The data: PNGs of every picture on the page, decoded; nullopt for one that is not a PNG.
inline std::vector<std::optional<std::pair<int, int>>> Pictures(const Page& page) {
    std::vector<std::optional<std::pair<int, int>>> out;
    const std::string prefix = "data:image/png;base64,";
    for (const std::string& src : page.Texts("//img/@src"))
        out.push_back(src.rfind(prefix, 0) == 0 ? DecodePng(Base64Decode(src.substr(prefix.size()))) : std::nullopt);
    return out;
}

}  // namespace vexa::reporttest
