#pragma once
// Minimal JSON text builder for the command-line programs: escaped UTF-8 strings,
// numbers that read back to the same double, objects and arrays built member by member.
#include "common/Text.h"
#include "common/Utf8.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vexa::json {

// How many bytes that are not part of valid UTF-8 the JSON strings of this process had;
// each was written as U+FFFD, and a program says so when it ends.
inline std::atomic<std::size_t>& ReplacedBytes() {
    static std::atomic<std::size_t> count{0};
    return count;
}

// A quoted JSON string; quotes, backslashes and control characters are escaped, valid
// UTF-8 passes unchanged and any other byte becomes \ufffd (counted in ReplacedBytes()).
inline std::string Quote(std::string_view text) {
    std::string out = "\"";
    const std::string bytes(text);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char ch = bytes[i];
        unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20) {
                static const char* hex = "0123456789abcdef";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else if (c < 0x80) {
                out += ch;
            } else if (const std::size_t n = Utf8SequenceAt(bytes, i)) {
                out.append(bytes, i, n);
                i += n - 1;
            } else {
                out += "\\ufffd";
                ++ReplacedBytes();
            }
        }
    }
    out += '"';
    return out;
}

// The warning for the bytes ReplacedBytes() counted; empty when there were none.
inline std::string ReplacedBytesWarning() {
    const std::size_t n = ReplacedBytes().load();
    if (n == 0) return std::string();
    return Format("Varovanie: bajty, ktoré nie sú platné UTF-8 (počet: %zu), sú vo výstupe JSON nahradené znakom U+FFFD.",
                  n);
}

// The shortest text that reads back to the same double; null for NaN and infinities.
inline std::string Number(double value) {
    if (!std::isfinite(value)) return "null";
    return FloatToText(value);
}
inline std::string Number(long long value) { return std::to_string(value); }
inline std::string Bool(bool value) { return value ? "true" : "false"; }

class Array;

// {"name":value,...} in the order the members are added.
class Object {
public:
    Object& Raw(std::string_view name, const std::string& json) {
        text_ += text_.empty() ? "{" : ",";
        text_ += Quote(name);
        text_ += ':';
        text_ += json;
        return *this;
    }
    Object& Str(std::string_view name, std::string_view value) { return Raw(name, Quote(value)); }
    Object& Int(std::string_view name, long long value) { return Raw(name, Number(value)); }
    Object& Real(std::string_view name, double value) { return Raw(name, Number(value)); }
    Object& Flag(std::string_view name, bool value) { return Raw(name, Bool(value)); }
    std::string Text() const { return text_.empty() ? "{}" : text_ + "}"; }

private:
    std::string text_;
};

// [value,...] in the order the elements are added.
class Array {
public:
    Array& Raw(const std::string& json) {
        text_ += text_.empty() ? "[" : ",";
        text_ += json;
        return *this;
    }
    Array& Str(std::string_view value) { return Raw(Quote(value)); }
    Array& Int(long long value) { return Raw(Number(value)); }
    Array& Real(double value) { return Raw(Number(value)); }
    std::string Text() const { return text_.empty() ? "[]" : text_ + "]"; }

private:
    std::string text_;
};

}  // namespace vexa::json
