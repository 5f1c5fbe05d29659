// The Access functions that translated queries call, registered in SQLite,
// with Access's rules for nulls, conversions and text positions (characters,
// not bytes; text compared ignoring case unless asked otherwise).
#include "common/Text.h"
#include "access/AccessSql.h"

#include <sqlite3.h>

#include <algorithm>
#include <cfenv>
#include <ctime>
#include <set>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace vexa {

namespace {

using U32 = std::u32string;

// Upper and lower case for ASCII, Latin-1 and Latin Extended-A (the Central European letters).
char32_t UpperChar(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c == 0xFF) return 0x178;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return (c & 1) ? c - 1 : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
    return c;
}

char32_t LowerChar(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c == 0x178) return 0xFF;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return (c & 1) ? c : c + 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    return c;
}

U32 UpperU32(U32 s) {
    for (auto& c : s) c = UpperChar(c);
    return s;
}

bool IsBlank(char32_t c) { return c == ' '; }

int CompareAccessText(const U32& a, const U32& b);

// Access errors raised inside a query.
struct TAccessError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void TypeMismatch() { throw TAccessError("Type mismatch"); }
[[noreturn]] void InvalidUseOfNull() { throw TAccessError("Invalid use of Null"); }
[[noreturn]] void InvalidArgument() { throw TAccessError("Invalid procedure call or argument"); }
[[noreturn]] void Overflow() { throw TAccessError("Overflow"); }

// A text result of chars characters of up to bytesPerChar bytes each is refused before it
// is built when it would pass the connection's length limit (a text of 1e9 spaces would
// take gigabytes first and be refused by SQLite only then).
void CheckTextLength(sqlite3_context* c, std::size_t chars, std::size_t bytesPerChar = 1) {
    const auto limit = static_cast<std::size_t>(sqlite3_limit(sqlite3_context_db_handle(c), SQLITE_LIMIT_LENGTH, -1));
    if (chars > limit / bytesPerChar)
        throw TAccessError("Text by bol dlhší ako " + std::to_string(limit) + " bajtov");
}

bool Null(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

std::string Text(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return std::to_string(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return AccessNumberText(sqlite3_value_double(v));
    case SQLITE_NULL: return std::string();
    default: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
    }
    }
}

// The bytes of a text value when they are all ASCII (one byte per character, so
// the text functions can work on bytes); nothing for other values.
std::optional<std::string_view> AsciiText(sqlite3_value* v) {
    if (sqlite3_value_type(v) != SQLITE_TEXT) return std::nullopt;
    // UTF-8 text is read as the bytes it is stored as: sqlite3_value_text would first copy a
    // text read from a row to end it with a NUL. Other encodings are converted to UTF-8.
    const bool utf8 = sqlite3_value_encoding(v) == SQLITE_UTF8;
    const auto* p = static_cast<const char*>(utf8 ? sqlite3_value_blob(v) : sqlite3_value_text(v));
    const auto n = static_cast<std::size_t>(sqlite3_value_bytes(v));
    if (n == 0) return std::string_view();
    if (!p) return std::nullopt;
    for (std::size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80) return std::nullopt;
    return std::string_view(p, n);
}

void ResultText(sqlite3_context* ctx, std::string_view s) {
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

std::optional<double> ParseNumber(const std::string& text) {
    const std::string t = Trim(text);
    if (t.empty()) return std::nullopt;
    return TextToFloat(t);
}

// A number from a value; text must read as a number.
double Number(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return static_cast<double>(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return sqlite3_value_double(v);
    case SQLITE_NULL: InvalidUseOfNull();
    default: {
        auto n = ParseNumber(Text(v));
        if (!n) TypeMismatch();
        return *n;
    }
    }
}

bool Truth(sqlite3_value* v) {
    if (Null(v)) return false;
    return Number(v) != 0;
}

double BankersRound(double x) {
    if (x == std::trunc(x)) return x;  // a whole number (or infinity) is its own rounding
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(x);
    std::fesetround(mode);
    return r;
}

void ResultNumber(sqlite3_context* ctx, double d) { sqlite3_result_double(ctx, d); }

using TFn = void (*)(sqlite3_context*, int, sqlite3_value**);

template <TFn F>
void Guarded(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        F(ctx, argc, argv);
    } catch (const std::exception& e) {
        sqlite3_result_error(ctx, e.what(), -1);
    }
}

// ---- text -------------------------------------------------------------------
void FnUCase(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    if (const auto ascii = AsciiText(a[0])) {
        std::string s(*ascii);
        for (char& ch : s)
            if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
        return ResultText(c, s);
    }
    ResultText(c, AccessUpper(Text(a[0])));
}
void FnLCase(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    if (const auto ascii = AsciiText(a[0])) {
        std::string s(*ascii);
        for (char& ch : s)
            if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
        return ResultText(c, s);
    }
    ResultText(c, AccessLower(Text(a[0])));
}
void TrimImpl(sqlite3_context* c, sqlite3_value* v, bool left, bool right) {
    if (Null(v)) return sqlite3_result_null(c);
    if (const auto ascii = AsciiText(v)) {
        std::size_t b = 0, e = ascii->size();
        if (left)
            while (b < e && IsBlank(static_cast<unsigned char>((*ascii)[b]))) ++b;
        if (right)
            while (e > b && IsBlank(static_cast<unsigned char>((*ascii)[e - 1]))) --e;
        return ResultText(c, ascii->substr(b, e - b));
    }
    U32 s = DecodeUtf8(Text(v));
    std::size_t b = 0, e = s.size();
    if (left)
        while (b < e && IsBlank(s[b])) ++b;
    if (right)
        while (e > b && IsBlank(s[e - 1])) --e;
    ResultText(c, EncodeUtf8(s.substr(b, e - b)));
}
void FnTrim(sqlite3_context* c, int, sqlite3_value** a) { TrimImpl(c, a[0], true, true); }
void FnLTrim(sqlite3_context* c, int, sqlite3_value** a) { TrimImpl(c, a[0], true, false); }
void FnRTrim(sqlite3_context* c, int, sqlite3_value** a) { TrimImpl(c, a[0], false, true); }
void FnLen(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    if (const auto ascii = AsciiText(a[0])) return sqlite3_result_int64(c, static_cast<sqlite3_int64>(ascii->size()));
    sqlite3_result_int64(c, static_cast<sqlite3_int64>(DecodeUtf8(Text(a[0])).size()));
}
long long WholeNumberArg(sqlite3_value* v) {
    if (Null(v)) InvalidUseOfNull();
    return static_cast<long long>(BankersRound(Number(v)));
}
long long Count(sqlite3_value* v) {
    if (Null(v)) InvalidUseOfNull();
    const double n = BankersRound(Number(v));
    if (n < 0) InvalidArgument();
    return static_cast<long long>(n);
}
void FnLeft(sqlite3_context* c, int, sqlite3_value** a) {
    const long long n = Count(a[1]);
    if (Null(a[0])) return sqlite3_result_null(c);
    if (const auto ascii = AsciiText(a[0]))
        return ResultText(c, ascii->substr(0, static_cast<std::size_t>(
                                                  std::min<long long>(n, static_cast<long long>(ascii->size())))));
    U32 s = DecodeUtf8(Text(a[0]));
    ResultText(
        c, EncodeUtf8(s.substr(0, static_cast<std::size_t>(std::min<long long>(n, static_cast<long long>(s.size()))))));
}
void FnRight(sqlite3_context* c, int, sqlite3_value** a) {
    const long long n = Count(a[1]);
    if (Null(a[0])) return sqlite3_result_null(c);
    U32 s = DecodeUtf8(Text(a[0]));
    const std::size_t take = static_cast<std::size_t>(std::min<long long>(n, static_cast<long long>(s.size())));
    ResultText(c, EncodeUtf8(s.substr(s.size() - take)));
}
void FnMid(sqlite3_context* c, int argc, sqlite3_value** a) {
    const long long start = Count(a[1]);
    if (start < 1) InvalidArgument();
    long long len = -1;
    if (argc > 2 && !Null(a[2])) len = Count(a[2]);
    if (Null(a[0])) return sqlite3_result_null(c);
    U32 s = DecodeUtf8(Text(a[0]));
    if (static_cast<std::size_t>(start) > s.size()) return ResultText(c, "");
    const std::size_t from = static_cast<std::size_t>(start - 1);
    ResultText(c, EncodeUtf8(len < 0 ? s.substr(from) : s.substr(from, static_cast<std::size_t>(len))));
}
// InStr([start,] s1, s2 [, compare]); compare 0 binary, 1 text (the default in queries).
void FnInStr(sqlite3_context* c, int argc, sqlite3_value** a) {
    long long start = 1;
    int first = 0;
    bool text = true;
    if (argc >= 3) {
        if (Null(a[0])) InvalidUseOfNull();
        start = static_cast<long long>(BankersRound(Number(a[0])));
        if (start < 1) InvalidArgument();
        first = 1;
    }
    if (argc == 4 && !Null(a[3])) {
        const double cmp = Number(a[3]);
        if (cmp != 0 && cmp != 1 && cmp != 2) InvalidArgument();
        text = cmp != 0;
    }
    if (Null(a[first]) || Null(a[first + 1])) return sqlite3_result_null(c);
    U32 s1 = DecodeUtf8(Text(a[first])), s2 = DecodeUtf8(Text(a[first + 1]));
    if (s1.empty() || static_cast<std::size_t>(start) > s1.size()) return sqlite3_result_int64(c, 0);
    if (s2.empty()) return sqlite3_result_int64(c, start);
    if (text) {
        s1 = UpperU32(std::move(s1));
        s2 = UpperU32(std::move(s2));
    }
    const auto pos = s1.find(s2, static_cast<std::size_t>(start - 1));
    sqlite3_result_int64(c, pos == U32::npos ? 0 : static_cast<sqlite3_int64>(pos + 1));
}
void FnSpace(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    const auto n = static_cast<std::size_t>(Count(a[0]));
    CheckTextLength(c, n);
    ResultText(c, std::string(n, ' '));
}
// StrComp(a, b [, compare]): -1, 0, 1; compare 0 binary, 1 text (the default in queries).
void FnStrComp(sqlite3_context* c, int argc, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    bool text = true;
    if (argc == 3 && !Null(a[2])) text = Number(a[2]) != 0;
    const U32 x = DecodeUtf8(Text(a[0])), y = DecodeUtf8(Text(a[1]));
    if (text) return sqlite3_result_int(c, CompareAccessText(x, y));
    sqlite3_result_int(c, x < y ? -1 : x == y ? 0 : 1);
}
// Replace(text, find, with [, start [, count [, compare]]]): the result starts at start;
// text compare by default in queries, as InStr.
void FnReplace(sqlite3_context* c, int argc, sqlite3_value** a) {
    if (Null(a[0])) InvalidUseOfNull();
    long long start = 1, count = -1;
    bool text = true;
    if (argc > 3) start = WholeNumberArg(a[3]);
    if (argc > 4) count = WholeNumberArg(a[4]);
    if (argc > 5 && !Null(a[5])) text = Number(a[5]) != 0;
    if (start < 1 || count < -1) InvalidArgument();
    const U32 whole = DecodeUtf8(Text(a[0]));
    if (static_cast<std::size_t>(start) > whole.size()) return ResultText(c, "");
    const U32 s = whole.substr(static_cast<std::size_t>(start - 1));
    const U32 find = DecodeUtf8(Text(a[1])), repl = DecodeUtf8(Text(a[2]));
    if (find.empty() || count == 0) return ResultText(c, EncodeUtf8(s));
    const U32 hay = text ? UpperU32(s) : s, needle = text ? UpperU32(find) : find;
    // The result's length first: the hits may make it far longer than any text may be.
    std::size_t length = s.size(), pos = 0;
    for (long long done = 0; count < 0 || done < count; ++done) {
        const auto hit = hay.find(needle, pos);
        if (hit == U32::npos) break;
        length += repl.size() - find.size();
        pos = hit + find.size();
    }
    CheckTextLength(c, length);
    U32 out;
    pos = 0;
    for (long long done = 0; count < 0 || done < count; ++done) {
        const auto hit = hay.find(needle, pos);
        if (hit == U32::npos) break;
        out.append(s, pos, hit - pos);
        out += repl;
        pos = hit + find.size();
    }
    out.append(s, pos, U32::npos);
    ResultText(c, EncodeUtf8(out));
}
void FnAsc(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) InvalidUseOfNull();
    U32 s = DecodeUtf8(Text(a[0]));
    if (s.empty()) InvalidArgument();
    sqlite3_result_int64(c, static_cast<sqlite3_int64>(s[0]));
}
void FnChr(sqlite3_context* c, int, sqlite3_value** a) {
    const double n = Number(a[0]);
    if (n < 0 || n > 0x10FFFF) InvalidArgument();
    ResultText(c, EncodeUtf8(U32(1, static_cast<char32_t>(n))));
}

// ---- nulls and choices ----------------------------------------------------------
void FnIIf(sqlite3_context* c, int, sqlite3_value** a) { sqlite3_result_value(c, Truth(a[0]) ? a[1] : a[2]); }
void FnNz(sqlite3_context* c, int argc, sqlite3_value** a) {
    if (!Null(a[0])) return sqlite3_result_value(c, a[0]);
    if (argc > 1) return sqlite3_result_value(c, a[1]);
    ResultText(c, "");
}
void FnIsNull(sqlite3_context* c, int, sqlite3_value** a) { sqlite3_result_int(c, Null(a[0]) ? -1 : 0); }
// &Hxx and &Oxx (blanks removed): up to 16 bits read as an Integer, up to 32 as a Long.
std::optional<double> RadixNumber(const std::string& s, bool whole = false) {
    if (s.size() < 2 || s[0] != '&') return std::nullopt;
    const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(s[1])));
    if (kind != 'H' && kind != 'O') return std::nullopt;
    const unsigned base = kind == 'H' ? 16 : 8;
    std::uint64_t v = 0;
    std::size_t i = 2;
    for (; i < s.size(); ++i) {
        const int ch = std::toupper(static_cast<unsigned char>(s[i]));
        const int d = std::isdigit(ch) ? ch - '0' : (ch >= 'A' && ch <= 'F') ? ch - 'A' + 10 : 99;
        if (d >= static_cast<int>(base)) break;
        v = v * base + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFull) Overflow();
    }
    if (i == 2 || (whole && i != s.size())) return whole ? std::nullopt : std::optional<double>(0.0);
    if (v <= 0xFFFF) return static_cast<double>(static_cast<std::int16_t>(v));
    return static_cast<double>(static_cast<std::int32_t>(v));
}

void FnIsNumeric(sqlite3_context* c, int, sqlite3_value** a) {
    const int t = sqlite3_value_type(a[0]);
    bool numeric = t == SQLITE_INTEGER || t == SQLITE_FLOAT ||
                   (t == SQLITE_TEXT && (ParseNumber(Text(a[0])) || RadixNumber(Trim(Text(a[0])), true)));
    sqlite3_result_int(c, numeric ? -1 : 0);
}

// ---- conversions ----------------------------------------------------------------
// Val: the leading number of a text, blanks ignored anywhere; 0 when there is none.
void FnVal(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) InvalidUseOfNull();
    if (sqlite3_value_type(a[0]) != SQLITE_TEXT) return ResultNumber(c, Number(a[0]));
    std::string s;
    for (char ch : Text(a[0]))
        if (ch != ' ' && ch != '\t' && ch != '\n' && ch != '\r') s += ch;
    if (auto radix = RadixNumber(s)) return ResultNumber(c, *radix);
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t digitsFrom = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    }
    if (i == digitsFrom || (i == digitsFrom + 1 && s[digitsFrom] == '.')) return ResultNumber(c, 0);
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t k = i + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
            while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) ++k;
            s[i] = 'e';
            i = k;
        }
    }
    ResultNumber(c, std::strtod(s.substr(0, i).c_str(), nullptr));
}
void FnCStr(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) InvalidUseOfNull();
    ResultText(c, Text(a[0]));
}
void FnStr(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    const double n = Number(a[0]);
    ResultText(c, (n >= 0 ? " " : "") + AccessNumberText(n));
}
void IntegerConversion(sqlite3_context* c, sqlite3_value* v, double lo, double hi) {
    if (Null(v)) InvalidUseOfNull();
    const double r = BankersRound(Number(v));
    if (r < lo || r > hi) Overflow();
    sqlite3_result_int64(c, static_cast<sqlite3_int64>(r));
}
void FnCInt(sqlite3_context* c, int, sqlite3_value** a) { IntegerConversion(c, a[0], -32768, 32767); }
void FnCLng(sqlite3_context* c, int, sqlite3_value** a) { IntegerConversion(c, a[0], -2147483648.0, 2147483647.0); }
void FnCDbl(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) InvalidUseOfNull();
    ResultNumber(c, Number(a[0]));
}
void FnCBool(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) InvalidUseOfNull();
    if (sqlite3_value_type(a[0]) == SQLITE_TEXT) {
        const std::string t = UpperAscii(Trim(Text(a[0])));
        if (t == "TRUE") return sqlite3_result_int(c, -1);
        if (t == "FALSE") return sqlite3_result_int(c, 0);
    }
    sqlite3_result_int(c, Number(a[0]) != 0 ? -1 : 0);
}

// ---- numbers --------------------------------------------------------------------
void ResultWhole(sqlite3_context* c, sqlite3_value* original, double r) {
    if (sqlite3_value_type(original) == SQLITE_INTEGER || std::fabs(r) < 9e18)
        sqlite3_result_int64(c, static_cast<sqlite3_int64>(r));
    else
        ResultNumber(c, r);
}
void FnInt(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    ResultWhole(c, a[0], std::floor(Number(a[0])));
}
void FnFix(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    ResultWhole(c, a[0], std::trunc(Number(a[0])));
}
void FnAbs(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    if (sqlite3_value_type(a[0]) == SQLITE_INTEGER &&
        sqlite3_value_int64(a[0]) != std::numeric_limits<sqlite3_int64>::min())
        return sqlite3_result_int64(c, std::llabs(sqlite3_value_int64(a[0])));
    ResultNumber(c, std::fabs(Number(a[0])));
}
void FnSgn(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    const double n = Number(a[0]);
    sqlite3_result_int(c, n > 0 ? 1 : n < 0 ? -1 : 0);
}
// Round(x [, digits]): to even on a tie, as Access does.
void FnRound(sqlite3_context* c, int argc, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    long long digits = 0;
    if (argc > 1 && !Null(a[1])) digits = static_cast<long long>(Number(a[1]));
    if (digits < 0) InvalidArgument();
    const double x = Number(a[0]);
    if (digits == 0) return ResultNumber(c, BankersRound(x));
    const double p = std::pow(10.0, static_cast<double>(std::min<long long>(digits, 22)));
    ResultNumber(c, BankersRound(x * p) / p);
}

// ---- operators ------------------------------------------------------------------
void OpConcat(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) && Null(a[1])) return sqlite3_result_null(c);
    ResultText(c, Text(a[0]) + Text(a[1]));
}
void OpDiv(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    const double d = Number(a[1]);
    if (d == 0) throw TAccessError("Division by zero");
    ResultNumber(c, Number(a[0]) / d);
}
void OpIDiv(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    const double d = BankersRound(Number(a[1]));
    if (d == 0) throw TAccessError("Division by zero");
    sqlite3_result_int64(c, static_cast<sqlite3_int64>(std::trunc(BankersRound(Number(a[0])) / d)));
}
void OpMod(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    const double d = BankersRound(Number(a[1]));
    if (d == 0) throw TAccessError("Division by zero");
    sqlite3_result_int64(c, static_cast<sqlite3_int64>(std::fmod(BankersRound(Number(a[0])), d)));
}
void OpPow(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    ResultNumber(c, std::pow(Number(a[0]), Number(a[1])));
}
// A character of a text as its code point: a byte of an ASCII text, or a code point.
char32_t CodeOf(char c) { return static_cast<unsigned char>(c); }
char32_t CodeOf(char32_t c) { return c; }

// Like on code points (or on the bytes of ASCII texts): * ? # [list] [!list] [a-z].
template <class S>
bool LikeAt(const S& s, std::size_t si, const S& p, std::size_t pi) {
    while (pi < p.size()) {
        const char32_t pc = CodeOf(p[pi]);
        if (pc == '*') {
            while (pi < p.size() && CodeOf(p[pi]) == '*') ++pi;
            if (pi == p.size()) return true;
            for (std::size_t k = si; k <= s.size(); ++k)
                if (LikeAt(s, k, p, pi)) return true;
            return false;
        }
        if (pc == '[' && pi + 1 < p.size() && CodeOf(p[pi + 1]) == ']') {
            pi += 2;  // [] matches the zero-length text
            continue;
        }
        if (si >= s.size()) return false;
        const char32_t sc = CodeOf(s[si]);
        if (pc == '?') {
            ++si, ++pi;
            continue;
        }
        if (pc == '#') {
            if (sc < '0' || sc > '9') return false;
            ++si, ++pi;
            continue;
        }
        if (pc == '[') {
            std::size_t close = pi + 1;
            if (close < p.size() && CodeOf(p[close]) == '!') ++close;
            while (close < p.size() && CodeOf(p[close]) != ']') ++close;
            if (close >= p.size()) throw TAccessError("Invalid pattern string");
            std::size_t k = pi + 1;
            bool negate = false;
            if (k < close && CodeOf(p[k]) == '!') {
                negate = true;
                ++k;
            }
            bool hit = false;
            for (; k < close; ++k) {
                if (k + 2 < close && CodeOf(p[k + 1]) == '-') {
                    if (sc >= CodeOf(p[k]) && sc <= CodeOf(p[k + 2])) hit = true;
                    k += 2;
                } else if (CodeOf(p[k]) == sc) {
                    hit = true;
                }
            }
            if (hit == negate) return false;
            ++si;
            pi = close + 1;
            continue;
        }
        if (pc != sc) return false;
        ++si, ++pi;
    }
    return si == s.size();
}

// Like on two ASCII texts: upper-cased byte for byte, as UpperChar does.
bool AsciiLike(std::string_view text, std::string_view pattern) {
    auto upper = [](std::string_view t) {
        std::string u(t);
        for (char& ch : u)
            if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
        return u;
    };
    return LikeAt(upper(text), 0, upper(pattern), 0);
}

// like(pattern, text): SQLite's form of "text LIKE pattern".
void FnLike(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    const auto pattern = AsciiText(a[0]);
    const auto text = pattern ? AsciiText(a[1]) : std::nullopt;
    if (pattern && text) return sqlite3_result_int(c, AsciiLike(*text, *pattern) ? 1 : 0);
    sqlite3_result_int(c, AccessLike(Text(a[1]), Text(a[0])) ? 1 : 0);
}

// StrConv(text, conversion): 1 upper case, 2 lower case, 3 each word's first letter upper
// and the rest lower (words separated by blanks, tabs, line ends and Chr(0)); the other
// conversions are for East Asian texts and byte arrays.
void FnStrConv(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[1])) InvalidUseOfNull();
    const double conversion = Number(a[1]);
    if (Null(a[0])) return sqlite3_result_null(c);
    U32 s = DecodeUtf8(Text(a[0]));
    if (conversion == 1) {
        for (auto& ch : s) ch = UpperChar(ch);
    } else if (conversion == 2) {
        for (auto& ch : s) ch = LowerChar(ch);
    } else if (conversion == 3) {
        bool wordStart = true;
        for (auto& ch : s) {
            ch = wordStart ? UpperChar(ch) : LowerChar(ch);
            wordStart = ch == ' ' || ch == 0 || (ch >= 9 && ch <= 13);
        }
    } else {
        InvalidArgument();
    }
    ResultText(c, EncodeUtf8(s));
}

// ---- Access's text order ----------------------------------------------------------
// The general sort order: letters ignoring case, an accented letter right after its
// base letter (accents decide only between texts otherwise equal, and are never equal).
char32_t BaseLetter(char32_t c) {
    static const char* const latin1 = "AAAAAA CEEEEIIIIDNOOOOO OUUUUY  AAAAAA CEEEEIIIIDNOOOOO OUUUUY Y";  // 0xC0..0xFF
    static const char* const extA =  // 0x100..0x17F
        "AAAAAACCCCCCCCDDDDEEEEEEEEEEGGGGGGGGHHHHIIIIIIIIII  JJKKKLLLLLLLLLLNNNNNNNNNOOOOOO  "
        "RRRRRRSSSSSSSSTTTTTTUUUUUUUUUUUUWWYYYZZZZZZS";
    if (c >= 0xC0 && c <= 0xFF) return latin1[c - 0xC0] == ' ' ? 0 : static_cast<char32_t>(latin1[c - 0xC0]);
    if (c >= 0x100 && c <= 0x17F) return extA[c - 0x100] == ' ' ? 0 : static_cast<char32_t>(extA[c - 0x100]);
    return 0;
}

int CompareAccessText(const U32& a, const U32& b) {
    int secondary = 0;
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t ua = UpperChar(a[i]), ub = UpperChar(b[i]);
        const char32_t ba = BaseLetter(a[i]), bb = BaseLetter(b[i]);
        const char32_t pa = ba ? ba : ua, pb = bb ? bb : ub;
        if (pa != pb) return pa < pb ? -1 : 1;
        if (secondary == 0 && ua != ub) secondary = (ba ? ua : 0) < (bb ? ub : 0) ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return secondary;
}

int CollateAccess(void*, int na, const void* pa, int nb, const void* pb) {
    // ASCII texts: no letter has an accent, so the order is that of the upper-cased bytes, then the length.
    const auto* ca = static_cast<const unsigned char*>(pa);
    const auto* cb = static_cast<const unsigned char*>(pb);
    const int n = std::min(na, nb);
    bool ascii = true;
    for (int i = 0; i < n && ascii; ++i) {
        if (ca[i] >= 0x80 || cb[i] >= 0x80) {
            ascii = false;
            break;
        }
        const char32_t ua = UpperChar(ca[i]), ub = UpperChar(cb[i]);
        if (ua != ub) return ua < ub ? -1 : 1;
    }
    for (int i = n; i < na && ascii; ++i) ascii = ca[i] < 0x80;
    for (int i = n; i < nb && ascii; ++i) ascii = cb[i] < 0x80;
    if (ascii) return na == nb ? 0 : na < nb ? -1 : 1;
    const U32 a = DecodeUtf8(std::string(static_cast<const char*>(pa), static_cast<std::size_t>(na)));
    const U32 b = DecodeUtf8(std::string(static_cast<const char*>(pb), static_cast<std::size_t>(nb)));
    return CompareAccessText(a, b);
}

// ---- dates ----------------------------------------------------------------------
// A date is a serial number of days from 1899-12-30 (the fraction is the time), kept
// in tables and results as "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS".
long long DaysFromCivil(long long y, long long m, long long d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569;  // 25569: 1899-12-30 .. 1970-01-01
}

struct TCivil {
    long long Year, Month, Day;
    int Hour, Minute, Second;
};

TCivil CivilFromSerial(double serial) {
    double whole = std::floor(serial);
    long long secs = std::llround((serial - whole) * 86400.0);
    if (secs >= 86400) secs -= 86400, whole += 1;
    long long z = static_cast<long long>(whole) - 25569 + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp + (mp < 10 ? 3 : -9);
    const long long y = yoe + era * 400 + (m <= 2);
    return {y, m, d, static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60)};
}

std::string DateText(double serial) {
    if (serial < -657434 || serial >= 2958466) Overflow();  // years 100..9999
    const TCivil c = CivilFromSerial(serial);
    std::string out = Format("%04lld-%02lld-%02lld", c.Year, c.Month, c.Day);
    if (c.Hour || c.Minute || c.Second) out += Format(" %02d:%02d:%02d", c.Hour, c.Minute, c.Second);
    return out;
}

bool ValidDay(long long y, long long m, long long d) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= days[m - 1] + (m == 2 && leap);
}

// "HH:MM[:SS] [AM|PM]" from pos; the fraction of a day.
std::optional<double> ParseTime(const std::string& s, std::size_t pos) {
    int h = 0, mi = 0, sec = 0, used = 0;
    const std::string rest = s.substr(pos);
    if (std::sscanf(rest.c_str(), "%d:%d%n", &h, &mi, &used) != 2) return std::nullopt;
    std::string tail = rest.substr(static_cast<std::size_t>(used));
    if (!tail.empty() && tail[0] == ':') {
        int more = 0;
        if (std::sscanf(tail.c_str(), ":%d%n", &sec, &more) != 1) return std::nullopt;
        tail = tail.substr(static_cast<std::size_t>(more));
    }
    tail = UpperAscii(Trim(tail));
    if (tail == "PM" && h < 12)
        h += 12;
    else if (tail == "AM" && h == 12)
        h = 0;
    else if (!tail.empty() && tail != "AM" && tail != "PM")
        return std::nullopt;
    if (h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 || sec > 59) return std::nullopt;
    return (h * 3600 + mi * 60 + sec) / 86400.0;
}

// A date written as text: yyyy-mm-dd, m/d/yyyy, d.m.yyyy, each with an optional time, or a time alone.
std::optional<double> ParseDateText(const std::string& text) {
    const std::string s = Trim(text);
    long long a = 0, b = 0, c = 0;
    char s1 = 0, s2 = 0;
    int used = 0;
    if (std::sscanf(s.c_str(), "%lld%c%lld%c%lld%n", &a, &s1, &b, &s2, &c, &used) == 5 && s1 == s2 &&
        (s1 == '-' || s1 == '/' || s1 == '.')) {
        long long y, m, d;
        if (s1 == '-' && a > 31)
            y = a, m = b, d = c;
        else if (s1 == '.')
            d = a, m = b, y = c;
        else
            m = a, d = b, y = c;
        if (y < 100 && used <= 8) y += y < 30 ? 2000 : 1900;
        if (!ValidDay(y, m, d)) return std::nullopt;
        double serial = static_cast<double>(DaysFromCivil(y, m, d));
        std::size_t pos = static_cast<std::size_t>(used);
        if (pos < s.size() && (s[pos] == 'T' || s[pos] == ' ')) ++pos;
        while (pos < s.size() && s[pos] == ' ') ++pos;
        if (pos >= s.size()) return serial;
        auto t = ParseTime(s, pos);
        if (!t) return std::nullopt;
        return serial + *t;
    }
    return ParseTime(s, 0);
}

// The stored form exactly: what + and - take for a date.
bool IsStoredDate(const std::string& s) {
    auto digits = [&](std::size_t from, std::size_t n) {
        for (std::size_t i = from; i < from + n; ++i)
            if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return false;
        return true;
    };
    if (!(s.size() == 10 || s.size() == 19) || !digits(0, 4) || s[4] != '-' || !digits(5, 2) || s[7] != '-' ||
        !digits(8, 2))
        return false;
    return s.size() == 10 ||
           (s[10] == ' ' && digits(11, 2) && s[13] == ':' && digits(14, 2) && s[16] == ':' && digits(17, 2));
}

// A value as a date serial; Null is an error for the caller to treat first.
double DateOf(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: return sqlite3_value_double(v);
    case SQLITE_NULL: InvalidUseOfNull();
    default: {
        if (auto d = ParseDateText(Text(v))) return *d;
        TypeMismatch();
    }
    }
}

void ResultDate(sqlite3_context* c, double serial) { ResultText(c, DateText(serial)); }

double NowSerial(bool date, bool time) {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    double out = date ? static_cast<double>(DaysFromCivil(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday)) : 0;
    if (time) out += (t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec) / 86400.0;
    return out;
}
void FnDate(sqlite3_context* c, int, sqlite3_value**) { ResultDate(c, NowSerial(true, false)); }
void FnNow(sqlite3_context* c, int, sqlite3_value**) { ResultDate(c, NowSerial(true, true)); }
// A time alone is a time of 1899-12-30, the day 0.
void FnTime(sqlite3_context* c, int, sqlite3_value**) { ResultText(c, DateText(NowSerial(false, true))); }

template <int Part>
void FnDatePartOf(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    const TCivil t = CivilFromSerial(DateOf(a[0]));
    const long long parts[] = {t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second};
    sqlite3_result_int64(c, parts[Part]);
}

// Weekday 1..7 counted from firstDay (1 Sunday .. 7 Saturday).
int WeekdayOf(double serial, int firstDay) {
    const long long days = static_cast<long long>(std::floor(serial));
    const int sunday1 = static_cast<int>(((days - 1) % 7 + 7) % 7) + 1;  // 1899-12-31 was a Sunday
    return (sunday1 - firstDay + 7) % 7 + 1;
}
int FirstDayArg(int argc, sqlite3_value** a, int at) {
    if (argc <= at || Null(a[at])) return 1;
    const int f = static_cast<int>(Number(a[at]));
    if (f < 0 || f > 7) InvalidArgument();
    return f == 0 ? 1 : f;
}
void FnWeekday(sqlite3_context* c, int argc, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    sqlite3_result_int(c, WeekdayOf(DateOf(a[0]), FirstDayArg(argc, a, 1)));
}

long long WholeArg(sqlite3_value* v) {
    if (Null(v)) InvalidUseOfNull();
    return static_cast<long long>(BankersRound(Number(v)));
}
double SerialOf(long long y, long long m, long long d) {
    y += (m - 1 >= 0 ? (m - 1) / 12 : -((12 - m) / 12));
    m = ((m - 1) % 12 + 12) % 12 + 1;
    if (y < 100 || y > 9999) Overflow();
    return static_cast<double>(DaysFromCivil(y, m, 1) + d - 1);
}
void FnDateSerial(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1]) || Null(a[2])) return sqlite3_result_null(c);
    long long y = WholeArg(a[0]);
    if (y >= 0 && y < 30)
        y += 2000;
    else if (y >= 30 && y < 100)
        y += 1900;
    ResultDate(c, SerialOf(y, WholeArg(a[1]), WholeArg(a[2])));
}
void FnTimeSerial(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1]) || Null(a[2])) return sqlite3_result_null(c);
    const long long secs = WholeArg(a[0]) * 3600 + WholeArg(a[1]) * 60 + WholeArg(a[2]);
    ResultDate(c, static_cast<double>(secs) / 86400.0);
}
void FnDateValue(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    ResultDate(c, std::floor(DateOf(a[0])));
}
void FnTimeValue(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    const double d = DateOf(a[0]);
    ResultDate(c, d - std::floor(d));
}
void FnIsDate(sqlite3_context* c, int, sqlite3_value** a) {
    const bool date = sqlite3_value_type(a[0]) == SQLITE_TEXT && ParseDateText(Text(a[0])).has_value();
    sqlite3_result_int(c, date ? -1 : 0);
}
void FnCDate(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) InvalidUseOfNull();
    ResultDate(c, DateOf(a[0]));
}

std::string Interval(sqlite3_value* v) {
    if (Null(v)) InvalidUseOfNull();
    std::string i = LowerAscii(Trim(Text(v)));
    static const std::set<std::string> known = {"yyyy", "q", "m", "y", "d", "w", "ww", "h", "n", "s"};
    if (!known.count(i)) InvalidArgument();
    return i;
}

double AddMonths(double serial, long long months) {
    const TCivil t = CivilFromSerial(serial);
    long long total = t.Year * 12 + (t.Month - 1) + months;
    const long long y = total / 12, m = total % 12 + 1;
    long long d = t.Day;
    while (!ValidDay(y, m, d) && d > 28) --d;
    if (!ValidDay(y, m, d)) Overflow();
    return static_cast<double>(DaysFromCivil(y, m, d)) + (serial - std::floor(serial));
}

void FnDateAdd(sqlite3_context* c, int, sqlite3_value** a) {
    const std::string i = Interval(a[0]);
    if (Null(a[1]) || Null(a[2])) return sqlite3_result_null(c);
    const double n = BankersRound(Number(a[1]));  // rounded to a Long, as Access documents
    const double d = DateOf(a[2]);
    double r;
    if (i == "yyyy")
        r = AddMonths(d, static_cast<long long>(n) * 12);
    else if (i == "q")
        r = AddMonths(d, static_cast<long long>(n) * 3);
    else if (i == "m")
        r = AddMonths(d, static_cast<long long>(n));
    else if (i == "y" || i == "d" || i == "w")
        r = d + n;
    else if (i == "ww")
        r = d + 7 * n;
    else if (i == "h")
        r = d + n / 24.0;
    else if (i == "n")
        r = d + n / 1440.0;
    else
        r = d + n / 86400.0;
    ResultDate(c, r);
}

void FnDateDiff(sqlite3_context* c, int argc, sqlite3_value** a) {
    const std::string i = Interval(a[0]);
    if (Null(a[1]) || Null(a[2])) return sqlite3_result_null(c);
    const double d1 = DateOf(a[1]), d2 = DateOf(a[2]);
    const TCivil t1 = CivilFromSerial(d1), t2 = CivilFromSerial(d2);
    long long r;
    const double day1 = std::floor(d1), day2 = std::floor(d2);
    if (i == "yyyy")
        r = t2.Year - t1.Year;
    else if (i == "q")
        r = (t2.Year * 4 + (t2.Month - 1) / 3) - (t1.Year * 4 + (t1.Month - 1) / 3);
    else if (i == "m")
        r = (t2.Year * 12 + t2.Month) - (t1.Year * 12 + t1.Month);
    else if (i == "y" || i == "d")
        r = static_cast<long long>(day2 - day1);
    else if (i == "w")
        r = static_cast<long long>(std::trunc((day2 - day1) / 7));
    else if (i == "ww") {
        // Week boundaries (the first day of the week) crossed between the two days.
        const int first = FirstDayArg(argc, a, 3);
        auto weekStart = [&](double day) { return day - (WeekdayOf(day, first) - 1); };
        r = static_cast<long long>((weekStart(day2) - weekStart(day1)) / 7);
    } else {
        const double unit = i == "h" ? 24.0 : i == "n" ? 1440.0 : 86400.0;
        r = static_cast<long long>(std::floor(d2 * unit + 1e-7) - std::floor(d1 * unit + 1e-7));
    }
    sqlite3_result_int64(c, r);
}

void FnDatePart(sqlite3_context* c, int argc, sqlite3_value** a) {
    const std::string i = Interval(a[0]);
    if (Null(a[1])) return sqlite3_result_null(c);
    const double d = DateOf(a[1]);
    const TCivil t = CivilFromSerial(d);
    const int first = FirstDayArg(argc, a, 2);
    long long r;
    if (i == "yyyy")
        r = t.Year;
    else if (i == "q")
        r = (t.Month - 1) / 3 + 1;
    else if (i == "m")
        r = t.Month;
    else if (i == "y")
        r = static_cast<long long>(std::floor(d)) - DaysFromCivil(t.Year, 1, 1) + 1;
    else if (i == "d")
        r = t.Day;
    else if (i == "w")
        r = WeekdayOf(d, first);
    else if (i == "ww") {
        // The week that holds 1 January is week 1.
        const double jan1 = static_cast<double>(DaysFromCivil(t.Year, 1, 1));
        const double start1 = jan1 - (WeekdayOf(jan1, first) - 1);
        r = static_cast<long long>((std::floor(d) - start1) / 7) + 1;
    } else if (i == "h")
        r = t.Hour;
    else if (i == "n")
        r = t.Minute;
    else
        r = t.Second;
    sqlite3_result_int64(c, r);
}

// ---- arithmetic and logic -----------------------------------------------------------
bool IsNumberValue(sqlite3_value* v) {
    const int t = sqlite3_value_type(v);
    return t == SQLITE_INTEGER || t == SQLITE_FLOAT;
}

// + - *: whole numbers stay whole (Overflow past 64 bits); numeric texts count as numbers;
// a stored date with a number gives a date, two dates subtracted give days.
void Arithmetic(sqlite3_context* c, sqlite3_value** a, char op) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    const int t0 = sqlite3_value_type(a[0]), t1 = sqlite3_value_type(a[1]);
    const bool date0 = t0 == SQLITE_TEXT && IsStoredDate(Text(a[0]));
    const bool date1 = t1 == SQLITE_TEXT && IsStoredDate(Text(a[1]));
    if (op == '+' && t0 == SQLITE_TEXT && t1 == SQLITE_TEXT && !(date0 && date1))
        return ResultText(c, Text(a[0]) + Text(a[1]));
    if (op != '*' && (date0 || date1)) {
        const double x = date0 ? DateOf(a[0]) : Number(a[0]);
        const double y = date1 ? DateOf(a[1]) : Number(a[1]);
        if (op == '-' && date0 && date1) return ResultNumber(c, x - y);
        if (date1 && op == '-') TypeMismatch();
        return ResultDate(c, op == '+' ? x + y : x - y);
    }
    if (t0 == SQLITE_INTEGER && t1 == SQLITE_INTEGER) {
        const sqlite3_int64 x = sqlite3_value_int64(a[0]), y = sqlite3_value_int64(a[1]);
        sqlite3_int64 r = 0;
        const bool over = op == '+'   ? __builtin_add_overflow(x, y, &r)
                          : op == '-' ? __builtin_sub_overflow(x, y, &r)
                                      : __builtin_mul_overflow(x, y, &r);
        if (over) Overflow();
        return sqlite3_result_int64(c, r);
    }
    const double x = Number(a[0]), y = Number(a[1]);
    const double r = op == '+' ? x + y : op == '-' ? x - y : x * y;
    if (!std::isfinite(r)) Overflow();
    ResultNumber(c, r);
}
void OpAdd(sqlite3_context* c, int, sqlite3_value** a) { Arithmetic(c, a, '+'); }
void OpSub(sqlite3_context* c, int, sqlite3_value** a) { Arithmetic(c, a, '-'); }
void OpMul(sqlite3_context* c, int, sqlite3_value** a) { Arithmetic(c, a, '*'); }

// The operands of Not/And/Or/...: whole numbers (Access rounds to a Long).
std::int64_t LogicOperand(sqlite3_value* v) {
    if (sqlite3_value_type(v) == SQLITE_TEXT) {
        const std::string t = UpperAscii(Trim(Text(v)));
        if (t == "TRUE") return -1;
        if (t == "FALSE") return 0;
    }
    const double r = BankersRound(Number(v));
    if (r < -2147483648.0 || r > 2147483647.0) Overflow();
    return static_cast<std::int64_t>(r);
}
void OpNot(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    sqlite3_result_int64(c, ~LogicOperand(a[0]));
}
// Null with a value: And is 0 where the value is 0, Or is -1 where the value is -1, else Null.
void OpAnd(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) && Null(a[1])) return sqlite3_result_null(c);
    if (Null(a[0]) || Null(a[1])) {
        const std::int64_t x = LogicOperand(Null(a[0]) ? a[1] : a[0]);
        return x == 0 ? sqlite3_result_int64(c, 0) : sqlite3_result_null(c);
    }
    sqlite3_result_int64(c, LogicOperand(a[0]) & LogicOperand(a[1]));
}
void OpOr(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) && Null(a[1])) return sqlite3_result_null(c);
    if (Null(a[0]) || Null(a[1])) {
        const std::int64_t x = LogicOperand(Null(a[0]) ? a[1] : a[0]);
        return x == -1 ? sqlite3_result_int64(c, -1) : sqlite3_result_null(c);
    }
    sqlite3_result_int64(c, LogicOperand(a[0]) | LogicOperand(a[1]));
}
void OpXor(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    sqlite3_result_int64(c, LogicOperand(a[0]) ^ LogicOperand(a[1]));
}
void OpEqv(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    sqlite3_result_int64(c, ~(LogicOperand(a[0]) ^ LogicOperand(a[1])));
}
// Imp: Not a Or b; with Null, False Imp x and x Imp True are True.
void OpImp(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) && Null(a[1])) return sqlite3_result_null(c);
    if (Null(a[0])) return LogicOperand(a[1]) == -1 ? sqlite3_result_int64(c, -1) : sqlite3_result_null(c);
    if (Null(a[1])) return LogicOperand(a[0]) == 0 ? sqlite3_result_int64(c, -1) : sqlite3_result_null(c);
    sqlite3_result_int64(c, ~LogicOperand(a[0]) | LogicOperand(a[1]));
}

// ---- more conversions and numbers -------------------------------------------------------
void FnCCur(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) InvalidUseOfNull();
    const double r = BankersRound(Number(a[0]) * 10000.0) / 10000.0;
    if (std::fabs(r) > 922337203685477.5807) Overflow();
    ResultNumber(c, r);
}
void FnCByte(sqlite3_context* c, int, sqlite3_value** a) { IntegerConversion(c, a[0], 0, 255); }
void FnCSng(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) InvalidUseOfNull();
    const double d = Number(a[0]);
    if (std::fabs(d) > std::numeric_limits<float>::max()) Overflow();
    // Single precision, written back as the shortest double that shows the same 7 digits.
    ResultNumber(c, std::strtod(Format("%.7G", static_cast<double>(static_cast<float>(d))).c_str(), nullptr));
}
void FnSqr(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    const double d = Number(a[0]);
    if (d < 0) InvalidArgument();
    ResultNumber(c, std::sqrt(d));
}
template <double (*F)(double)>
void FnMath(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    const double r = F(Number(a[0]));
    if (std::isnan(r)) InvalidArgument();
    if (!std::isfinite(r)) Overflow();
    ResultNumber(c, r);
}
void FnString(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    const long long n = Count(a[0]);
    char32_t ch;
    if (IsNumberValue(a[1])) {
        const double code = Number(a[1]);
        if (code < 0) InvalidArgument();
        ch = static_cast<char32_t>(static_cast<long long>(code) % 256);
    } else {
        const U32 s = DecodeUtf8(Text(a[1]));
        if (s.empty()) InvalidArgument();
        ch = s[0];
    }
    CheckTextLength(c, static_cast<std::size_t>(n), ch < 0x80 ? 1 : ch < 0x800 ? 2 : ch < 0x10000 ? 3 : 4);
    ResultText(c, EncodeUtf8(U32(static_cast<std::size_t>(n), ch)));
}
void FnStrReverse(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) InvalidUseOfNull();
    U32 s = DecodeUtf8(Text(a[0]));
    std::reverse(s.begin(), s.end());
    ResultText(c, EncodeUtf8(s));
}
// InStrRev(s1, s2 [, start [, compare]]): the last match that ends by start; -1 is the end.
void FnInStrRev(sqlite3_context* c, int argc, sqlite3_value** a) {
    long long start = -1;
    bool text = true;
    if (argc >= 3) {
        if (Null(a[2])) InvalidUseOfNull();
        start = static_cast<long long>(BankersRound(Number(a[2])));
        if (start == 0 || start < -1) InvalidArgument();
    }
    if (argc == 4 && !Null(a[3])) text = Number(a[3]) != 0;
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    U32 s1 = DecodeUtf8(Text(a[0])), s2 = DecodeUtf8(Text(a[1]));
    if (start == -1) start = static_cast<long long>(s1.size());
    if (s2.empty()) return sqlite3_result_int64(c, start);
    if (static_cast<std::size_t>(start) > s1.size() || s2.size() > static_cast<std::size_t>(start))
        return sqlite3_result_int64(c, 0);
    if (text) {
        s1 = UpperU32(std::move(s1));
        s2 = UpperU32(std::move(s2));
    }
    const auto pos = s1.rfind(s2, static_cast<std::size_t>(start) - s2.size());
    sqlite3_result_int64(c, pos == U32::npos ? 0 : static_cast<sqlite3_int64>(pos + 1));
}
// Hex and Oct of a whole number; negative numbers in two's complement of 16 bits
// (Integer range) or 32 bits.
std::string Radix(sqlite3_value* v, unsigned base) {
    const double r = BankersRound(Number(v));
    if (r < -2147483648.0 || r > 2147483647.0) Overflow();
    auto n = static_cast<std::int64_t>(r);
    std::uint64_t u = n >= 0        ? static_cast<std::uint64_t>(n)
                      : n >= -32768 ? static_cast<std::uint64_t>(n + 65536)
                                    : static_cast<std::uint64_t>(n + 4294967296LL);
    std::string out;
    do {
        out.insert(out.begin(), "0123456789ABCDEF"[u % base]);
        u /= base;
    } while (u);
    return out;
}
void FnHex(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    ResultText(c, Radix(a[0], 16));
}
void FnOct(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    ResultText(c, Radix(a[0], 8));
}
// Switch(cond1, value1, ...): the value of the first true condition, else Null.
void FnSwitch(sqlite3_context* c, int argc, sqlite3_value** a) {
    if (argc % 2 != 0 || argc == 0) InvalidArgument();
    for (int i = 0; i < argc; i += 2)
        if (Truth(a[i])) return sqlite3_result_value(c, a[i + 1]);
    sqlite3_result_null(c);
}
// Choose(index, v1, v2, ...): index rounded down; out of range or Null gives Null.
void FnChoose(sqlite3_context* c, int argc, sqlite3_value** a) {
    if (argc < 2) InvalidArgument();
    if (Null(a[0])) return sqlite3_result_null(c);
    const double i = std::trunc(Number(a[0]));
    if (i < 1 || i > argc - 1) return sqlite3_result_null(c);
    sqlite3_result_value(c, a[static_cast<int>(i)]);
}

// ---- Format ---------------------------------------------------------------------
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::string GroupThousands(const std::string& digits) {
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// One piece of a user format: literal text (a character after \, a "quoted" text) or
// one character of the format itself.
struct TFmtPiece {
    bool Literal;
    std::string Text;
    char Code() const { return Literal || Text.empty() ? '\0' : Text[0]; }
};

std::size_t Utf8Length(char lead) {
    const auto b = static_cast<unsigned char>(lead);
    return b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
}

std::vector<TFmtPiece> FormatPieces(const std::string& fmt) {
    std::vector<TFmtPiece> out;
    for (std::size_t i = 0; i < fmt.size();) {
        if (fmt[i] == '\\') {
            if (i + 1 < fmt.size()) {
                const std::size_t n = Utf8Length(fmt[i + 1]);
                out.push_back({true, fmt.substr(i + 1, n)});
                i += 1 + n;
            } else {
                ++i;
            }
        } else if (fmt[i] == '"') {
            auto end = fmt.find('"', i + 1);
            if (end == std::string::npos) end = fmt.size();
            out.push_back({true, fmt.substr(i + 1, end - i - 1)});
            i = end + 1;
        } else {
            out.push_back({false, std::string(1, fmt[i])});
            ++i;
        }
    }
    return out;
}

// The sections of a user format, split at each ; that is neither escaped nor quoted.
std::vector<std::string> FormatSections(const std::string& fmt) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        const char ch = fmt[i];
        if (ch == '\\' && !quoted && i + 1 < fmt.size()) {
            out.back() += fmt.substr(i, 2);
            ++i;
            continue;
        }
        if (ch == '"') quoted = !quoted;
        if (ch == ';' && !quoted)
            out.emplace_back();
        else
            out.back() += ch;
    }
    return out;
}

bool HasFormatCode(const std::string& section, std::string_view codes) {
    for (const TFmtPiece& p : FormatPieces(section))
        if (p.Code() && codes.find(static_cast<char>(std::tolower(static_cast<unsigned char>(p.Code())))) !=
                            std::string_view::npos)
            return true;
    return false;
}

// A number by a picture of 0 # . , % with literal text before and after it (one
// section; E+ not supported). A negative number gets its sign in front of everything.
std::string FormatNumberPicture(double x, const std::string& pic) {
    const std::vector<TFmtPiece> pieces = FormatPieces(pic);
    auto placeholder = [](const TFmtPiece& p) { return p.Code() && std::string_view("0#.,").find(p.Code()) != std::string_view::npos; };
    std::size_t first = pieces.size(), last = 0;
    for (std::size_t k = 0; k < pieces.size(); ++k)
        if (placeholder(pieces[k])) first = std::min(first, k), last = k;
    std::string prefix, fmt, suffix;
    bool percent = false;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        percent = percent || pieces[k].Code() == '%';
        if (k < first)
            prefix += pieces[k].Text;
        else if (placeholder(pieces[k]))
            fmt += pieces[k].Text;
        else
            suffix += pieces[k].Text;  // literal text inside the digits is put after them
    }
    if (first == pieces.size()) return prefix;  // a section of literal text only
    if (percent) x *= 100;
    const auto dot = fmt.find('.');
    const std::string intPart = fmt.substr(0, dot);
    const std::string fracPart = dot == std::string::npos ? "" : fmt.substr(dot + 1);
    int decimals = 0, minInt = 0, optional = 0;
    for (char ch : fracPart) {
        if (ch == '0' || ch == '#') ++decimals;
        if (ch == '#') ++optional;
    }
    for (char ch : intPart)
        if (ch == '0') ++minInt;
    std::string num = Format("%.*f", decimals, std::fabs(x));
    const auto p = num.find('.');
    std::string whole = num.substr(0, p), frac = p == std::string::npos ? "" : num.substr(p + 1);
    if (whole == "0" && minInt == 0) whole.clear();
    while (static_cast<int>(whole.size()) < minInt) whole.insert(whole.begin(), '0');
    while (optional-- > 0 && !frac.empty() && frac.back() == '0') frac.pop_back();
    if (intPart.find(',') != std::string::npos) whole = GroupThousands(whole);
    std::string out = whole;
    if (dot != std::string::npos) out += "." + frac;
    const bool negative = x < 0 && std::stod(num) != 0;
    return (negative ? "-" : "") + prefix + out + suffix;
}

// A number by up to four sections: positive; negative (shown without its sign); zero; Null.
// An empty section is the first one.
std::string FormatNumberSections(double x, const std::vector<std::string>& sections) {
    if (x < 0 && sections.size() >= 2 && !sections[1].empty()) return FormatNumberPicture(-x, sections[1]);
    if (x == 0 && sections.size() >= 3 && !sections[2].empty()) return FormatNumberPicture(x, sections[2]);
    return sections[0].empty() ? AccessNumberText(x) : FormatNumberPicture(x, sections[0]);
}

// Text by a picture of @ (a character or a blank) and & (a character or nothing), filled
// from the right unless ! asks from the left; < and > make it lower or upper case.
std::string FormatTextPicture(const std::string& text, const std::string& pic) {
    const std::vector<TFmtPiece> pieces = FormatPieces(pic);
    U32 s = DecodeUtf8(text);
    std::size_t slots = 0;
    bool fromLeft = false;
    for (const TFmtPiece& p : pieces) {
        if (p.Code() == '<') for (auto& ch : s) ch = LowerChar(ch);
        if (p.Code() == '>') for (auto& ch : s) ch = UpperChar(ch);
        if (p.Code() == '!') fromLeft = true;
        if (p.Code() == '@' || p.Code() == '&') ++slots;
    }
    std::string out;
    if (slots == 0) {
        for (const TFmtPiece& p : pieces)
            if (p.Literal || std::string_view("<>!").find(p.Code()) == std::string_view::npos) out += p.Text;
        return out + EncodeUtf8(s);
    }
    // The characters beyond the placeholders go before the first one (after the last one from the left).
    const std::size_t extra = s.size() > slots ? s.size() - slots : 0;
    std::size_t slot = 0;
    for (const TFmtPiece& p : pieces) {
        if (p.Code() != '@' && p.Code() != '&') {
            if (p.Literal || std::string_view("<>!").find(p.Code()) == std::string_view::npos) out += p.Text;
            continue;
        }
        std::optional<char32_t> ch;
        if (fromLeft) {
            if (slot < s.size()) ch = s[slot];
            if (slot + 1 == slots && extra) out += EncodeUtf8(ch ? s.substr(slot) : U32());
            else if (ch) out += EncodeUtf8(U32(1, *ch));
        } else {
            if (slot == 0 && extra) out += EncodeUtf8(s.substr(0, extra));
            const std::size_t missing = slots - std::min(slots, s.size());
            if (slot >= missing) ch = s[extra + slot - missing];
            if (ch) out += EncodeUtf8(U32(1, *ch));
        }
        if (!ch && p.Code() == '@') out += ' ';
        ++slot;
    }
    return out;
}

// A date by a picture of d m y h n s q w (day of week), ww (week of year), y (day of
// year) and AM/PM, am/pm, A/P, a/p, AMPM (each of them a 12-hour clock).
std::string FormatDatePicture(double serial, const std::string& pic) {
    const TCivil t = CivilFromSerial(serial);
    const int wd = WeekdayOf(serial, 1);
    const std::vector<TFmtPiece> pieces = FormatPieces(pic);
    // The characters of the format from k on, n of them, when none of them is literal.
    auto word = [&](std::size_t k, std::size_t n) {
        std::string w;
        for (std::size_t j = k; j < k + n && j < pieces.size() && !pieces[j].Literal; ++j) w += pieces[j].Text;
        return w.size() == n ? LowerAscii(w) : std::string();
    };
    auto marker = [&](std::size_t k) -> std::size_t {
        if (word(k, 5) == "am/pm") return 5;
        if (word(k, 4) == "ampm") return 4;
        if (word(k, 3) == "a/p") return 3;
        return 0;
    };
    bool twelve = false;
    for (std::size_t k = 0; k < pieces.size(); ++k) twelve = twelve || marker(k) != 0;
    const long long dayOfYear = static_cast<long long>(std::floor(serial)) - DaysFromCivil(t.Year, 1, 1) + 1;
    const int hour = twelve ? (t.Hour % 12 == 0 ? 12 : t.Hour % 12) : t.Hour;
    std::string out;
    bool afterHour = false;
    for (std::size_t i = 0; i < pieces.size();) {
        if (pieces[i].Literal) {
            out += pieces[i++].Text;
            continue;
        }
        if (const std::size_t m = marker(i)) {
            const bool upper = m == 4 || std::isupper(static_cast<unsigned char>(pieces[i].Text[0]));
            const bool am = t.Hour < 12;
            if (m == 3)
                out += upper ? (am ? "A" : "P") : (am ? "a" : "p");
            else
                out += upper ? (am ? "AM" : "PM") : (am ? "am" : "pm");
            i += m;
            afterHour = false;
            continue;
        }
        const char ch = static_cast<char>(std::tolower(static_cast<unsigned char>(pieces[i].Text[0])));
        std::size_t n = 1;
        while (i + n < pieces.size() && !pieces[i + n].Literal &&
               std::tolower(static_cast<unsigned char>(pieces[i + n].Text[0])) == ch)
            ++n;
        if (ch == 'y')
            out += n == 1 ? Format("%lld", dayOfYear) : n == 2 ? Format("%02lld", t.Year % 100) : Format("%04lld", t.Year);
        else if (ch == 'm' && !afterHour) {
            out += n == 1   ? Format("%lld", t.Month)
                   : n == 2 ? Format("%02lld", t.Month)
                   : n == 3 ? std::string(kMonths[t.Month - 1]).substr(0, 3)
                            : kMonths[t.Month - 1];
        } else if (ch == 'm' || ch == 'n')
            out += n == 1 ? Format("%d", t.Minute) : Format("%02d", t.Minute);
        else if (ch == 'd') {
            out += n == 1   ? Format("%lld", t.Day)
                   : n == 2 ? Format("%02lld", t.Day)
                   : n == 3 ? std::string(kDays[wd - 1]).substr(0, 3)
                   : n == 4 ? std::string(kDays[wd - 1])
                   : n == 5 ? FormatDatePicture(serial, "m/d/yyyy")
                            : FormatDatePicture(serial, "dddd, mmmm d, yyyy");
        } else if (ch == 'w') {
            // Weeks from Sunday; the first week is the one with January 1.
            const int jan1 = WeekdayOf(static_cast<double>(DaysFromCivil(t.Year, 1, 1)), 1);
            out += n == 1 ? Format("%d", wd) : Format("%lld", (dayOfYear - 1 + jan1 - 1) / 7 + 1);
        } else if (ch == 'h')
            out += n == 1 ? Format("%d", hour) : Format("%02d", hour);
        else if (ch == 's')
            out += n == 1 ? Format("%d", t.Second) : Format("%02d", t.Second);
        else if (ch == 'q')
            out += Format("%lld", (t.Month - 1) / 3 + 1);
        else
            for (std::size_t k = i; k < i + n; ++k) out += pieces[k].Text;
        if (ch == 'h')
            afterHour = true;
        else if (ch != ':' && ch != 'm' && ch != 'n' && ch != ' ')
            afterHour = false;
        i += n;
    }
    return out;
}

// Format(value [, format]): the named formats and user formats of numbers (with their
// sections), dates and texts; the US English names of months and days, "." decimals.
void FnFormat(sqlite3_context* c, int argc, sqlite3_value** a) {
    const std::string fmt = argc > 1 && !Null(a[1]) ? Text(a[1]) : "";
    const std::vector<std::string> sections = FormatSections(fmt);
    const bool textFormat = HasFormatCode(sections[0], "@&<>!") && !HasFormatCode(sections[0], "0#");
    if (Null(a[0])) {
        // Null has a section of its own: the fourth of a number format, the second of a text format.
        if (sections.size() >= 4 && !textFormat) return ResultText(c, FormatNumberPicture(0, sections[3]));
        if (sections.size() == 2 && textFormat) return ResultText(c, FormatTextPicture("", sections[1]));
        return sqlite3_result_null(c);
    }
    const std::string key = LowerAscii(fmt);
    const int type = sqlite3_value_type(a[0]);
    const bool isDate = type == SQLITE_TEXT && ParseDateText(Text(a[0])).has_value();
    const bool isNumber = type == SQLITE_INTEGER || type == SQLITE_FLOAT ||
                          (type == SQLITE_TEXT && !isDate && ParseNumber(Text(a[0])).has_value());
    if (fmt.empty()) return ResultText(c, Text(a[0]));
    static const std::set<std::string> numberNames = {"general number", "currency", "fixed",      "standard", "percent",
                                                      "scientific",     "yes/no",   "true/false", "on/off"};
    if (numberNames.count(key)) {
        const double x = Number(a[0]);
        if (key == "general number") return ResultText(c, AccessNumberText(x));
        if (key == "currency") return ResultText(c, FormatNumberSections(x, {"$#,##0.00", "($#,##0.00)"}));
        if (key == "fixed") return ResultText(c, FormatNumberPicture(x, "0.00"));
        if (key == "standard") return ResultText(c, FormatNumberPicture(x, "#,##0.00"));
        if (key == "percent") return ResultText(c, FormatNumberPicture(x, "0.00%"));
        if (key == "scientific") return ResultText(c, Format("%.2E", x));
        if (key == "yes/no") return ResultText(c, x != 0 ? "Yes" : "No");
        if (key == "true/false") return ResultText(c, x != 0 ? "True" : "False");
        if (key == "on/off") return ResultText(c, x != 0 ? "On" : "Off");
    }
    if (textFormat) {
        const std::string s = Text(a[0]);
        return ResultText(c, FormatTextPicture(s, s.empty() && sections.size() >= 2 ? sections[1] : sections[0]));
    }
    const bool numberPicture = HasFormatCode(sections[0], "0#");
    if (isNumber && numberPicture) return ResultText(c, FormatNumberSections(Number(a[0]), sections));
    if (isDate || key.find("date") != std::string::npos || key.find("time") != std::string::npos ||
        HasFormatCode(fmt, "ydhnsqw")) {
        const double d = DateOf(a[0]);
        const TCivil t = CivilFromSerial(d);
        const bool hasTime = d != std::floor(d);
        if (key == "general date")
            return ResultText(c, FormatDatePicture(d, "m/d/yyyy") + (hasTime ? FormatDatePicture(d, " h:nn:ss AM/PM") : ""));
        if (key == "long date") return ResultText(c, FormatDatePicture(d, "dddd, mmmm d, yyyy"));
        if (key == "medium date") return ResultText(c, FormatDatePicture(d, "dd-mmm-yy"));
        if (key == "short date") return ResultText(c, FormatDatePicture(d, "m/d/yyyy"));
        if (key == "long time") return ResultText(c, FormatDatePicture(d, "h:nn:ss AM/PM"));
        if (key == "medium time") return ResultText(c, FormatDatePicture(d, "hh:nn AM/PM"));
        if (key == "short time") return ResultText(c, Format("%02d:%02d", t.Hour, t.Minute));
        return ResultText(c, FormatDatePicture(d, fmt));
    }
    if (!numberPicture && !isNumber) InvalidArgument();
    ResultText(c, FormatNumberSections(Number(a[0]), sections));
}

// ---- aggregates Access has beside SQLite's own ------------------------------------------
struct TFirstLast {
    bool Seen = false;
    sqlite3_value* Value = nullptr;
};
template <bool Last>
void StepFirstLast(sqlite3_context* c, int, sqlite3_value** a) {
    auto* s = static_cast<TFirstLast*>(sqlite3_aggregate_context(c, sizeof(TFirstLast)));
    if (!s || (s->Seen && !Last)) return;
    sqlite3_value_free(s->Value);
    s->Value = sqlite3_value_dup(a[0]);
    s->Seen = true;
}
void FinalFirstLast(sqlite3_context* c) {
    auto* s = static_cast<TFirstLast*>(sqlite3_aggregate_context(c, 0));
    if (!s || !s->Value) return sqlite3_result_null(c);
    sqlite3_result_value(c, s->Value);
    sqlite3_value_free(s->Value);
    s->Value = nullptr;
}
struct TMoments {
    double N = 0, Mean = 0, M2 = 0;
};
void StepMoments(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return;
    const double x = Number(a[0]);
    auto* s = static_cast<TMoments*>(sqlite3_aggregate_context(c, sizeof(TMoments)));
    if (!s) return;
    s->N += 1;
    const double d = x - s->Mean;
    s->Mean += d / s->N;
    s->M2 += d * (x - s->Mean);
}
// Sample statistics need two values, population ones one; fewer gives Null.
template <bool Sample, bool Root>
void FinalMoments(sqlite3_context* c) {
    auto* s = static_cast<TMoments*>(sqlite3_aggregate_context(c, 0));
    const double need = Sample ? 2 : 1;
    if (!s || s->N < need) return sqlite3_result_null(c);
    const double v = s->M2 / (Sample ? s->N - 1 : s->N);
    ResultNumber(c, Root ? std::sqrt(v) : v);
}

void StepGuard(sqlite3_context* c, int argc, sqlite3_value** a, void (*step)(sqlite3_context*, int, sqlite3_value**)) {
    try {
        step(c, argc, a);
    } catch (const std::exception& e) {
        sqlite3_result_error(c, e.what(), -1);
    }
}
template <TFn F>
void GuardedStep(sqlite3_context* c, int argc, sqlite3_value** a) {
    StepGuard(c, argc, a, F);
}

struct TFunction {
    const char* Name;
    int MinArgs, MaxArgs;  // MinArgs -1: any number
    TFn Fn;
    bool Deterministic = true;
};

struct TAggregate {
    const char* Name;
    TFn Step;
    void (*Final)(sqlite3_context*);
};

}  // namespace

std::string AccessUpper(const std::string& utf8) {
    U32 s = DecodeUtf8(utf8);
    for (auto& c : s) c = UpperChar(c);
    return EncodeUtf8(s);
}

std::string AccessLower(const std::string& utf8) {
    U32 s = DecodeUtf8(utf8);
    for (auto& c : s) c = LowerChar(c);
    return EncodeUtf8(s);
}

bool AccessLike(const std::string& text, const std::string& pattern) {
    // Letters compared ignoring case; ranges in brackets too.
    auto ascii = [](const std::string& t) {
        return std::all_of(t.begin(), t.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
    };
    if (ascii(text) && ascii(pattern)) return AsciiLike(text, pattern);
    return LikeAt(UpperU32(DecodeUtf8(text)), 0, UpperU32(DecodeUtf8(pattern)), 0);
}

std::string AccessNumberText(double value) {
    if (std::isnan(value)) return "NaN";
    if (value == 0) return "0";
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) return Format("%.0f", value);
    std::string s = Format("%.15G", value);
    const auto e = s.find('E');
    std::string mantissa = e == std::string::npos ? s : s.substr(0, e);
    std::string exponent = e == std::string::npos ? "" : s.substr(e);
    if (mantissa.find('.') != std::string::npos) {
        while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
        if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
    }
    if (!exponent.empty()) {
        // E+020 style is not used: sign and at least two digits.
        const char sign = exponent.size() > 1 ? exponent[1] : '+';
        std::string digits = exponent.substr(2);
        while (digits.size() > 2 && digits[0] == '0') digits.erase(0, 1);
        exponent = std::string("E") + sign + digits;
    }
    return mantissa + exponent;
}

void RegisterAccessFunctions(sqlite3* db) {
    static const TFunction functions[] = {
        {"access_ucase", 1, 1, Guarded<FnUCase>},
        {"access_lcase", 1, 1, Guarded<FnLCase>},
        {"access_trim", 1, 1, Guarded<FnTrim>},
        {"access_ltrim", 1, 1, Guarded<FnLTrim>},
        {"access_rtrim", 1, 1, Guarded<FnRTrim>},
        {"access_len", 1, 1, Guarded<FnLen>},
        {"access_left", 2, 2, Guarded<FnLeft>},
        {"access_right", 2, 2, Guarded<FnRight>},
        {"access_mid", 2, 3, Guarded<FnMid>},
        {"access_instr", 2, 4, Guarded<FnInStr>},
        {"access_iif", 3, 3, Guarded<FnIIf>},
        {"access_nz", 1, 2, Guarded<FnNz>},
        {"access_isnull", 1, 1, Guarded<FnIsNull>},
        {"access_val", 1, 1, Guarded<FnVal>},
        {"access_cstr", 1, 1, Guarded<FnCStr>},
        {"access_cint", 1, 1, Guarded<FnCInt>},
        {"access_clng", 1, 1, Guarded<FnCLng>},
        {"access_cdbl", 1, 1, Guarded<FnCDbl>},
        {"access_csng", 1, 1, Guarded<FnCSng>},
        {"access_cbool", 1, 1, Guarded<FnCBool>},
        {"access_cbyte", 1, 1, Guarded<FnCByte>},
        {"access_ccur", 1, 1, Guarded<FnCCur>},
        {"access_int", 1, 1, Guarded<FnInt>},
        {"access_fix", 1, 1, Guarded<FnFix>},
        {"access_abs", 1, 1, Guarded<FnAbs>},
        {"access_round", 1, 2, Guarded<FnRound>},
        {"access_sgn", 1, 1, Guarded<FnSgn>},
        {"access_sqr", 1, 1, Guarded<FnSqr>},
        {"access_exp", 1, 1, Guarded<FnMath<std::exp>>},
        {"access_log", 1, 1, Guarded<FnMath<std::log>>},
        {"access_sin", 1, 1, Guarded<FnMath<std::sin>>},
        {"access_cos", 1, 1, Guarded<FnMath<std::cos>>},
        {"access_tan", 1, 1, Guarded<FnMath<std::tan>>},
        {"access_atn", 1, 1, Guarded<FnMath<std::atan>>},
        {"access_space", 1, 1, Guarded<FnSpace>},
        {"access_string", 2, 2, Guarded<FnString>},
        {"access_strcomp", 2, 3, Guarded<FnStrComp>},
        {"access_replace", 3, 6, Guarded<FnReplace>},
        {"access_str", 1, 1, Guarded<FnStr>},
        {"access_asc", 1, 1, Guarded<FnAsc>},
        {"access_chr", 1, 1, Guarded<FnChr>},
        {"access_isnumeric", 1, 1, Guarded<FnIsNumeric>},
        {"access_instrrev", 2, 4, Guarded<FnInStrRev>},
        {"access_strreverse", 1, 1, Guarded<FnStrReverse>},
        {"access_hex", 1, 1, Guarded<FnHex>},
        {"access_oct", 1, 1, Guarded<FnOct>},
        {"access_switch", -1, -1, Guarded<FnSwitch>},
        {"access_choose", -1, -1, Guarded<FnChoose>},
        {"access_format", 1, 2, Guarded<FnFormat>},
        {"access_strconv", 2, 3, Guarded<FnStrConv>},
        {"access_date", 0, 0, Guarded<FnDate>, false},
        {"access_time", 0, 0, Guarded<FnTime>, false},
        {"access_now", 0, 0, Guarded<FnNow>, false},
        {"access_year", 1, 1, Guarded<FnDatePartOf<0>>},
        {"access_month", 1, 1, Guarded<FnDatePartOf<1>>},
        {"access_day", 1, 1, Guarded<FnDatePartOf<2>>},
        {"access_hour", 1, 1, Guarded<FnDatePartOf<3>>},
        {"access_minute", 1, 1, Guarded<FnDatePartOf<4>>},
        {"access_second", 1, 1, Guarded<FnDatePartOf<5>>},
        {"access_weekday", 1, 2, Guarded<FnWeekday>},
        {"access_dateserial", 3, 3, Guarded<FnDateSerial>},
        {"access_timeserial", 3, 3, Guarded<FnTimeSerial>},
        {"access_datevalue", 1, 1, Guarded<FnDateValue>},
        {"access_timevalue", 1, 1, Guarded<FnTimeValue>},
        {"access_dateadd", 3, 3, Guarded<FnDateAdd>},
        {"access_datediff", 3, 5, Guarded<FnDateDiff>},
        {"access_datepart", 2, 4, Guarded<FnDatePart>},
        {"access_isdate", 1, 1, Guarded<FnIsDate>},
        {"access_cdate", 1, 1, Guarded<FnCDate>},
        {"access_cvdate", 1, 1, Guarded<FnCDate>},
        {"access_concat", 2, 2, Guarded<OpConcat>},
        {"access_div", 2, 2, Guarded<OpDiv>},
        {"access_idiv", 2, 2, Guarded<OpIDiv>},
        {"access_mod", 2, 2, Guarded<OpMod>},
        {"access_pow", 2, 2, Guarded<OpPow>},
        {"like", 2, 2, Guarded<FnLike>},
        {"access_add", 2, 2, Guarded<OpAdd>},
        {"access_sub", 2, 2, Guarded<OpSub>},
        {"access_mul", 2, 2, Guarded<OpMul>},
        {"access_not", 1, 1, Guarded<OpNot>},
        {"access_and", 2, 2, Guarded<OpAnd>},
        {"access_or", 2, 2, Guarded<OpOr>},
        {"access_xor", 2, 2, Guarded<OpXor>},
        {"access_eqv", 2, 2, Guarded<OpEqv>},
        {"access_imp", 2, 2, Guarded<OpImp>},
    };
    for (const TFunction& f : functions) {
        const int flags = SQLITE_UTF8 | (f.Deterministic ? SQLITE_DETERMINISTIC : 0);
        for (int n = f.MinArgs; n <= f.MaxArgs; ++n) {
            const int rc = sqlite3_create_function_v2(db, f.Name, n, flags, nullptr, f.Fn, nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK) throw EAccessDbError(std::string("Cannot register function ") + f.Name);
        }
    }
    static const TAggregate aggregates[] = {
        {"access_first", GuardedStep<StepFirstLast<false>>, FinalFirstLast},
        {"access_last", GuardedStep<StepFirstLast<true>>, FinalFirstLast},
        {"access_stdev", GuardedStep<StepMoments>, FinalMoments<true, true>},
        {"access_stdevp", GuardedStep<StepMoments>, FinalMoments<false, true>},
        {"access_var", GuardedStep<StepMoments>, FinalMoments<true, false>},
        {"access_varp", GuardedStep<StepMoments>, FinalMoments<false, false>},
    };
    for (const TAggregate& f : aggregates)
        if (sqlite3_create_function_v2(db, f.Name, 1, SQLITE_UTF8, nullptr, nullptr, f.Step, f.Final, nullptr) !=
            SQLITE_OK)
            throw EAccessDbError(std::string("Cannot register function ") + f.Name);
    // Text columns of the working copy are declared NOCASE: on this connection that is
    // Access's text order (case ignored, accents significant), for joins, grouping and sorting too.
    if (sqlite3_create_collation_v2(db, "NOCASE", SQLITE_UTF8, nullptr, CollateAccess, nullptr) != SQLITE_OK)
        throw EAccessDbError("Cannot register the text order");
}

int CompareAccessTexts(const std::string& a, const std::string& b) {
    return CompareAccessText(DecodeUtf8(a), DecodeUtf8(b));
}

}  // namespace vexa
