#include "gislink/TopolFormat.h"

#include "common/Text.h"

#include <charconv>
#include <limits>

namespace vexa {

std::string FormatFixed2(double value) {
    if (value == 0) value = 0;  // no "-0.00" for a negative zero
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
    if (r.ec != std::errc()) return "0.00";
    return std::string(buf, r.ptr);
}

std::vector<std::string> SplitCommaText(const std::string& text) {
    std::vector<std::string> out;
    const size_t n = text.size();
    auto blank = [&](size_t i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        return c >= 1 && c <= ' ';
    };
    size_t p = 0;
    while (p < n && blank(p)) ++p;
    while (p < n && text[p] != '\0') {
        std::string value;
        if (text[p] == '"') {
            ++p;
            while (p < n) {
                if (text[p] == '"') {
                    if (p + 1 < n && text[p + 1] == '"') {
                        value.push_back('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                value.push_back(text[p++]);
            }
        } else {
            size_t start = p;
            while (p<n&& static_cast<unsigned char>(text[p])> ' ' && text[p] != ',') ++p;
            value = text.substr(start, p - start);
        }
        out.push_back(value);
        while (p < n && blank(p)) ++p;
        if (p < n && text[p] == ',') {
            if (p + 1 >= n || text[p + 1] == '\0') out.emplace_back();
            do {
                ++p;
            } while (p < n && blank(p));
        }
    }
    return out;
}

std::optional<std::int32_t> ReadInt32(const std::string& text) {
    auto v = TextToInt(Trim(text));
    if (!v || *v < std::numeric_limits<std::int32_t>::min() || *v > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(*v);
}

std::optional<std::uint32_t> ReadColor(const std::string& text) {
    auto v = TextToInt(Trim(text));
    if (!v || *v < std::numeric_limits<std::int32_t>::min() || *v > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return static_cast<std::uint32_t>(*v);
}

char WireGroupLetter(std::uint8_t group) {
    switch (group) {
    case 0: return 'L';
    case 1: return 'P';
    case 2: return 'A';
    case 3: return 'T';
    default: return 0;
    }
}

std::string SwitchText(std::uint8_t value) { return value == 2 ? "~" : std::to_string(value); }

std::string ValueText(std::int32_t value) { return value == -1 ? "~" : std::to_string(value); }

std::string ColorText(std::uint32_t value) { return value == 0xFFFFFFFFu ? "~" : std::to_string(value); }

}  // namespace vexa
