#include "dbase/DbfIo.h"

#include "common/Text.h"
#include "dbase/DbfExceptions.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace vexa {

EDbfEngineError::EDbfEngineError(const std::string& what, const std::string& path)
    : EDbfException(what + "\r(" + path + ")") {}

EDbfTableInUse::EDbfTableInUse(const std::string& path)
    : EDbfEngineError("Table is in use by another user or process.", path) {}

namespace dbfio {

namespace {

thread_local long long tFailures = 0;
thread_local std::string tLastMessage;
thread_local long long tFailAfter = -1;  // bytes still allowed; -1 disarmed
thread_local int tFailErrno = 0;         // the error an injected failure gives
thread_local int tLastErrno = 0;         // the error of the last failed write

}  // namespace

bool WriteAt(int fd, const void* data, std::size_t size, off_t offset) {
    if (tFailAfter >= 0) {
        if (static_cast<long long>(size) > tFailAfter) {
            tFailAfter = 0;
            ++tFailures;
            tLastErrno = tFailErrno;
            tLastMessage = tFailErrno ? std::strerror(tFailErrno) : "injected write failure";
            return false;
        }
        tFailAfter -= static_cast<long long>(size);
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(fd, p, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ++tFailures;
            tLastErrno = n < 0 ? errno : 0;
            tLastMessage = n < 0 ? std::strerror(errno) : "nothing written";
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

long long IoFailureCount() { return tFailures; }

std::string LastLibraryMessage() { return tLastMessage; }

std::string FullDiskMessage(const std::string& what) {
#ifdef EDQUOT
    if (tLastErrno == EDQUOT) return what + ", disk je plný (" + tLastMessage + ").";
#endif
    if (tLastErrno != ENOSPC) return std::string();
    return what + ", disk je plný (" + tLastMessage + ").";
}

void InjectWriteFailureAfter(long long bytes) {
    tFailAfter = bytes < 0 ? -1 : bytes;
    tFailErrno = 0;
}

void InjectFullDiskAfter(long long bytes) {
    InjectWriteFailureAfter(bytes);
    tFailErrno = ENOSPC;
}

// --- language driver -------------------------------------------------------

namespace {

const std::map<int, int>& DriverToCodePage() {
    static const std::map<int, int> map = {
        {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x08, 865},  {0x09, 437},  {0x0A, 850},  {0x0B, 437},  {0x0D, 437},
        {0x0E, 850},  {0x0F, 437},  {0x10, 850},  {0x11, 437},  {0x12, 850},  {0x13, 932},  {0x14, 850},  {0x15, 437},
        {0x16, 850},  {0x17, 865},  {0x18, 437},  {0x19, 437},  {0x1A, 850},  {0x1B, 437},  {0x1C, 863},  {0x1D, 850},
        {0x1F, 852},  {0x22, 852},  {0x23, 852},  {0x24, 860},  {0x25, 850},  {0x26, 866},  {0x37, 850},  {0x40, 852},
        {0x4D, 936},  {0x4E, 949},  {0x4F, 950},  {0x50, 874},  {0x57, 1252}, {0x58, 1252}, {0x59, 1252}, {0x64, 852},
        {0x65, 866},  {0x66, 865},  {0x67, 861},  {0x6A, 737},  {0x6B, 857},  {0x6C, 863},  {0x78, 950},  {0x79, 949},
        {0x7A, 936},  {0x7B, 932},  {0x7C, 874},  {0x7D, 1255}, {0x7E, 1256}, {0x86, 737},  {0x87, 852},  {0x88, 857},
        {0xC8, 1250}, {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253}, {0xCC, 1257},
    };
    return map;
}

const std::map<int, int>& CodePageToDriver() {
    static const std::map<int, int> map = {
        {437, 0x01},  {850, 0x02},  {1252, 0x03}, {852, 0x64},  {866, 0x65},  {865, 0x66},  {861, 0x67}, {737, 0x6A},
        {857, 0x6B},  {863, 0x6C},  {950, 0x78},  {949, 0x79},  {936, 0x7A},  {932, 0x7B},  {874, 0x7C}, {1255, 0x7D},
        {1256, 0x7E}, {1250, 0xC8}, {1251, 0xC9}, {1254, 0xCA}, {1253, 0xCB}, {1257, 0xCC},
    };
    return map;
}

}  // namespace

int CodePageOfLanguageDriver(int ldid) {
    auto it = DriverToCodePage().find(ldid);
    return it == DriverToCodePage().end() ? 1250 : it->second;
}

std::optional<int> LanguageDriverOfCodePage(int codePage) {
    auto it = CodePageToDriver().find(codePage);
    if (it == CodePageToDriver().end()) return std::nullopt;
    return it->second;
}

// --- field values ----------------------------------------------------------

namespace {

bool ValidDate(int y, int m, int d) {
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > days[m - 1]) return false;
    if (m == 2 && d == 29) return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return true;
}

// "YYYYMMDD" or "YYYY-MM-DD".
std::optional<TDate> ParseDate(const std::string& text) {
    std::string digits;
    if (text.size() == 8) {
        digits = text;
    } else if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
        digits = text.substr(0, 4) + text.substr(5, 2) + text.substr(8, 2);
    } else {
        return std::nullopt;
    }
    for (char c : digits)
        if (c < '0' || c > '9') return std::nullopt;
    auto number = [&](std::size_t from, std::size_t count) {
        int n = 0;
        for (std::size_t i = from; i < from + count; ++i) n = n * 10 + (digits[i] - '0');
        return n;
    };
    TDate d{number(0, 4), number(4, 2), number(6, 2)};
    if (!ValidDate(d.Year, d.Month, d.Day)) return std::nullopt;
    return d;
}

}  // namespace

TValue DecodeField(const char* raw, const FieldLayout& field, int codePage) {
    // Trimmed on the record's bytes: a walk over a table copies only what it keeps.
    const std::size_t width = static_cast<std::size_t>(std::max(field.Width, 0));
    auto trimmed = [&] {
        std::size_t b = 0, e = width;
        while (b < e && static_cast<unsigned char>(raw[b]) <= ' ') ++b;
        while (e > b && static_cast<unsigned char>(raw[e - 1]) <= ' ') --e;
        return std::string(raw + b, e - b);
    };
    switch (field.Native) {
    case 'C': {
        std::size_t e = width;
        while (e > 0 && (raw[e - 1] == ' ' || raw[e - 1] == '\0')) --e;
        if (e == 0) return std::monostate{};
        std::string text(raw, e);
        for (const char c : text)
            if (static_cast<unsigned char>(c) >= 0x80) return ToUtf8(text, codePage);
        return text;
    }
    case 'N':
    case 'F': {
        const std::string text = trimmed();
        if (text.empty() || text[0] == '*') return std::monostate{};
        auto v = TextToFloat(text);
        if (!v) return std::monostate{};
        return *v;
    }
    case 'L': {
        const std::string text = trimmed();
        if (text.empty()) return std::monostate{};
        switch (text[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y': return true;
        case 'F':
        case 'f':
        case 'N':
        case 'n': return false;
        default: return std::monostate{};
        }
    }
    case 'D': {
        auto d = ParseDate(trimmed());
        if (!d) return std::monostate{};
        return *d;
    }
    case 'I':  // Visual FoxPro integer, four bytes little-endian
        if (field.Width == 4) {
            std::int32_t v;
            std::memcpy(&v, raw, 4);
            return static_cast<double>(v);
        }
        return std::monostate{};
    case 'B':  // Visual FoxPro double; in dBASE a binary memo (ten digits)
        if (field.Width == 8) {
            double v;
            std::memcpy(&v, raw, 8);
            return v;
        }
        return std::monostate{};
    case 'Y': {  // currency: a 64-bit integer of ten-thousandths
        if (field.Width != 8) return std::monostate{};
        std::int64_t v;
        std::memcpy(&v, raw, 8);
        return static_cast<double>(v) / 10000.0;
    }
    default: return std::monostate{};
    }
}

namespace {

// Adds one unit in the last place of a string of decimal digits.
void IncrementDigits(std::string& digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            return;
        }
    }
    digits.insert(digits.begin(), '1');
}

}  // namespace

std::optional<std::string> FormatNumber(double value, int width, int decimals) {
    if (!std::isfinite(value) || width < 1) return std::nullopt;
    if (decimals < 0) decimals = 0;
    // The shortest fixed-point text that reads back to the value: rounding it
    // as decimal text gives what a user expects (2.675 -> 2.68, 2.5 -> 3).
    char buf[512];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (r.ec != std::errc()) return std::nullopt;
    std::string text(buf, r.ptr);
    bool negative = !text.empty() && text[0] == '-';
    if (negative) text.erase(0, 1);
    std::size_t dot = text.find('.');
    std::string intPart = dot == std::string::npos ? text : text.substr(0, dot);
    std::string frac = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    std::string digits = intPart + frac.substr(0, std::min<std::size_t>(frac.size(), decimals));
    if (frac.size() > static_cast<std::size_t>(decimals)) {
        if (frac[decimals] >= '5') IncrementDigits(digits);
    } else {
        digits.append(decimals - frac.size(), '0');
    }
    // digits now holds intPart (possibly one longer after a carry) followed by decimals digits
    std::string whole = digits.substr(0, digits.size() - decimals);
    std::string part = digits.substr(digits.size() - decimals);
    std::size_t nz = whole.find_first_not_of('0');
    whole = nz == std::string::npos ? "0" : whole.substr(nz);
    bool zero = whole == "0" && part.find_first_not_of('0') == std::string::npos;
    std::string out = (negative && !zero ? "-" : "") + whole + (decimals > 0 ? "." + part : "");
    if (out.size() > static_cast<std::size_t>(width)) return std::nullopt;
    return std::string(width - out.size(), ' ') + out;
}

namespace {

[[noreturn]] void Refuse(const FieldLayout& field) {
    throw EDbfException(Format("Value does not fit field %s.", field.Name.c_str()));
}

std::string DateText(const TDate& d) { return Format("%04d%02d%02d", d.Year, d.Month, d.Day); }

std::string NumberText(double v, int sourceDecimals) {
    if (sourceDecimals >= 0) {
        auto t = FormatNumber(v, 64, sourceDecimals);
        if (t) return Trim(*t);
    }
    return FloatToText(v);
}

}  // namespace

std::string EncodeField(const TValue& value, const FieldLayout& field, int codePage, ConvertMode mode,
                        int sourceDecimals) {
    const bool strict = mode == ConvertMode::Strict;
    if (IsNull(value)) return {};
    switch (field.Native) {
    case 'C': {
        std::string text;
        bool cuttable = true;  // only real text is cut; a cut number or date would lie
        if (auto s = std::get_if<std::string>(&value)) {
            auto bytes = FromUtf8Exact(*s, codePage);
            if (!bytes)
                throw EDbfException(Format("Text for field %s has characters that code page %d cannot hold: \"%s\".",
                                           field.Name.c_str(), codePage, s->c_str()));
            text = std::move(*bytes);
        } else if (auto d = std::get_if<double>(&value)) {
            text = NumberText(*d, sourceDecimals);
            cuttable = false;
        } else if (auto b = std::get_if<bool>(&value)) {
            text = *b ? "T" : "F";
        } else if (auto dt = std::get_if<TDate>(&value)) {
            text = Format("%04d-%02d-%02d", dt->Year, dt->Month, dt->Day);
            cuttable = false;
        }
        if (text.size() > static_cast<std::size_t>(field.Width)) {
            if (!cuttable) {
                if (strict) Refuse(field);
                return {};
            }
            text.resize(field.Width);
        }
        return text;
    }
    case 'N':
    case 'F': {
        std::optional<double> number;
        if (auto d = std::get_if<double>(&value)) {
            number = *d;
        } else if (auto s = std::get_if<std::string>(&value)) {
            number = TextToFloat(Trim(*s));
        }
        std::optional<std::string> text;
        if (number) text = FormatNumber(*number, field.Width, field.Decimals);
        if (!text) {
            if (strict) Refuse(field);
            return {};
        }
        return *text;
    }
    case 'L': {
        std::optional<bool> flag;
        if (auto b = std::get_if<bool>(&value)) {
            flag = *b;
        } else if (auto s = std::get_if<std::string>(&value)) {
            std::string t = UpperAscii(Trim(*s));
            if (t == "T" || t == "Y" || t == ".T." || t == "TRUE") flag = true;
            if (t == "F" || t == "N" || t == ".F." || t == "FALSE") flag = false;
        }
        if (!flag) {
            if (strict) Refuse(field);
            return {};
        }
        return *flag ? "T" : "F";
    }
    case 'D': {
        std::optional<TDate> date;
        if (auto d = std::get_if<TDate>(&value)) {
            if (ValidDate(d->Year, d->Month, d->Day) && d->Year <= 9999) date = *d;
        } else if (auto s = std::get_if<std::string>(&value)) {
            date = ParseDate(Trim(*s));
        }
        if (!date) {
            if (strict) Refuse(field);
            return {};
        }
        return DateText(*date);
    }
    default:
        if (strict) RefuseFieldType(field.Name, field.Native);
        return {};
    }
}

std::string CutName(const std::string& name, std::size_t max) { return CutUtf8(name, max); }

}  // namespace dbfio
}  // namespace vexa
