#include "common/Text.h"

#include "common/Utf8.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace vexa {

std::string FormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = FormatV(format, args);
    va_end(args);
    return out;
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool SameTextAscii(const std::string& a, const std::string& b) {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

std::string Trim(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
    return text.substr(b, e - b);
}

std::string FloatToText(double value) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::optional<long long> TextToInt(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const char* b = text.data();
    const char* e = b + text.size();
    if (*b == '+') ++b;
    long long v = 0;
    auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e) return std::nullopt;
    return v;
}

std::optional<double> TextToFloat(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const char* b = text.data();
    const char* e = b + text.size();
    if (*b == '+') ++b;
    // A whole number of up to 15 digits is exact as a double: read without from_chars.
    const char* digits = b < e && *b == '-' ? b + 1 : b;
    if (digits < e && e - digits <= 15) {
        std::int64_t whole = 0;
        const char* p = digits;
        for (; p < e && *p >= '0' && *p <= '9'; ++p) whole = whole * 10 + (*p - '0');
        if (p == e) return digits == b ? static_cast<double>(whole) : -static_cast<double>(whole);
    }
    double v = 0;
    auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e) return std::nullopt;
    return v;
}

std::u32string DecodeUtf8(const std::string& s) {
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < s.size();
        char32_t cp = extra <= 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; ok && k <= extra; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {  // a stray byte stands for itself
            out += static_cast<char32_t>(c);
            ++i;
            continue;
        }
        out += cp;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string EncodeUtf8(const std::u32string& s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t cp : s) AppendUtf8(out, cp);
    return out;
}

namespace {

#ifdef _WIN32
// No iconv on Windows: through UTF-16 with the system's conversion functions.
UINT CodePageNumber(const std::string& name) {
    return name == "UTF-8" ? CP_UTF8 : static_cast<UINT>(std::atoi(name.c_str() + 2));
}

std::string Convert(const std::string& in, const std::string& to, const std::string& from) {
    const UINT fromCp = CodePageNumber(from), toCp = CodePageNumber(to);
    int n = MultiByteToWideChar(fromCp, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return in;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(fromCp, 0, in.data(), static_cast<int>(in.size()), wide.data(), n);
    const char* substitute = toCp == CP_UTF8 ? nullptr : "?";
    int m = WideCharToMultiByte(toCp, 0, wide.data(), n, nullptr, 0, substitute, nullptr);
    if (m <= 0) return in;
    std::string out(static_cast<size_t>(m), '\0');
    WideCharToMultiByte(toCp, 0, wide.data(), n, out.data(), m, substitute, nullptr);
    return out;
}
#else
// The conversion descriptors a thread has opened, kept for its next conversions
// (opening one costs more than converting a field).
class ConverterCache {
public:
    ~ConverterCache() {
        for (const Entry& e : FEntries) iconv_close(e.Cd);
    }
    // A descriptor in its initial state; (iconv_t)-1 when the conversion is unknown.
    iconv_t Get(const std::string& to, const std::string& from) {
        for (const Entry& e : FEntries)
            if (e.To == to && e.From == from) {
                iconv(e.Cd, nullptr, nullptr, nullptr, nullptr);
                return e.Cd;
            }
        iconv_t cd = iconv_open(to.c_str(), from.c_str());
        if (cd != reinterpret_cast<iconv_t>(-1)) FEntries.push_back({to, from, cd});
        return cd;
    }

private:
    struct Entry {
        std::string To, From;
        iconv_t Cd;
    };
    std::vector<Entry> FEntries;
};

std::string Convert(const std::string& in, const std::string& to, const std::string& from) {
    thread_local ConverterCache converters;
    iconv_t cd = converters.Get(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return in;
    std::string out;
    out.reserve(in.size() * 2);
    char buf[4096];
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf, sizeof buf - dstLeft);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // Unconvertible or broken input: substitute and skip one byte
            // (a whole UTF-8 sequence when converting from UTF-8).
            out.push_back('?');
            size_t skip = 1;
            if (from == "UTF-8")
                while (skip < srcLeft && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80) ++skip;
            src += skip;
            srcLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}
#endif

std::string CodePageName(int codePage) {
    if (codePage == 65001) return "UTF-8";
    return "CP" + std::to_string(codePage);
}

}  // namespace

std::string ToUtf8(const std::string& bytes, int codePage) {
    bool ascii = true;
    for (unsigned char c : bytes)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) return bytes;
    return Convert(bytes, "UTF-8", CodePageName(codePage));
}

std::string FromUtf8(const std::string& utf8, int codePage) {
    bool ascii = true;
    for (unsigned char c : utf8)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) return utf8;
    return Convert(utf8, CodePageName(codePage), "UTF-8");
}

std::string MessageLines(std::string text) {
    for (char& c : text)
        if (c == '\r') c = '\n';
    return text;
}

std::string CutUtf8(const std::string& text, std::size_t count) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80) {  // a character starts here
            if (chars == count) return text.substr(0, i);
            ++chars;
        }
    }
    return text;
}

std::optional<std::string> FromUtf8Exact(const std::string& utf8, int codePage) {
    std::string bytes = FromUtf8(utf8, codePage);
    if (bytes != utf8 && ToUtf8(bytes, codePage) != utf8) return std::nullopt;
    return bytes;
}

#ifdef _WIN32
std::wstring WideFromUtf8(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Utf8FromWide(const std::wstring& wide) {
    if (wide.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}
#endif

// Control characters and, since a name from an old archive may be in a single-byte code
// page, bytes that are not part of valid UTF-8.
std::string EscapeControlChars(const std::string& text) { return EscapeBytes(text, true); }

}  // namespace vexa
