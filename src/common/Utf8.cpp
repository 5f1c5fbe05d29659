#include "common/Utf8.h"

#include "common/Text.h"

namespace vexa {

std::size_t Utf8SequenceAt(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char c = byte(at);
    if (c < 0x80) return 1;
    const std::size_t extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 0;
    if (extra == 0 || at + extra >= text.size()) return 0;
    char32_t cp = extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; k <= extra; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(at + k) & 0x3F);
    }
    static const char32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return extra + 1;
}

// Bytes that are not part of valid UTF-8 as \xHH; with controls also the control
// characters (\n, \r, \t, \xHH).
std::string EscapeBytes(const std::string& text, bool controls) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            // A valid UTF-8 character passes whole; a byte that starts none is escaped.
            const std::size_t n = Utf8SequenceAt(text, i);
            if (n == 0) {
                out += Format("\\x%02X", c);
            } else {
                out.append(text, i, n);
                i += n - 1;
            }
        } else if (!controls || (c >= 0x20 && c != 0x7F)) {
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += Format("\\x%02X", c);
        }
    }
    return out;
}

std::string EscapeInvalidUtf8(const std::string& text) { return EscapeBytes(text, false); }

}  // namespace vexa
