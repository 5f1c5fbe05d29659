// The Access functions that translated queries call, registered in SQLite,
// with Access's rules for nulls, conversions and text positions (characters,
// not bytes; text compared ignoring case unless asked otherwise).
#include "common/Text.h"
#include "standard/AccessSql.h"

#include <sqlite3.h>

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <stdexcept>

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

// Access errors raised inside a query.
struct TAccessError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void TypeMismatch() { throw TAccessError("Type mismatch"); }
[[noreturn]] void InvalidUseOfNull() { throw TAccessError("Invalid use of Null"); }
[[noreturn]] void InvalidArgument() { throw TAccessError("Invalid procedure call or argument"); }
[[noreturn]] void Overflow() { throw TAccessError("Overflow"); }

bool Null(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

std::string Text(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return std::to_string(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return AccessNumberText(sqlite3_value_double(v));
    case SQLITE_NULL:
        return std::string();
    default: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
    }
    }
}

std::optional<double> ParseNumber(const std::string& text) {
    const std::string t = Trim(text);
    if (t.empty()) return std::nullopt;
    return TextToFloat(t);
}

// A number from a value; text must read as a number.
double Number(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return static_cast<double>(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return sqlite3_value_double(v);
    case SQLITE_NULL:
        InvalidUseOfNull();
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
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(x);
    std::fesetround(mode);
    return r;
}

void ResultNumber(sqlite3_context* ctx, double d) { sqlite3_result_double(ctx, d); }
void ResultText(sqlite3_context* ctx, const std::string& s) {
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

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
    ResultText(c, AccessUpper(Text(a[0])));
}
void FnLCase(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) return sqlite3_result_null(c);
    ResultText(c, AccessLower(Text(a[0])));
}
void TrimImpl(sqlite3_context* c, sqlite3_value* v, bool left, bool right) {
    if (Null(v)) return sqlite3_result_null(c);
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
    sqlite3_result_int64(c, static_cast<sqlite3_int64>(DecodeUtf8(Text(a[0])).size()));
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
    U32 s = DecodeUtf8(Text(a[0]));
    ResultText(c, EncodeUtf8(s.substr(0, static_cast<std::size_t>(std::min<long long>(n, static_cast<long long>(s.size()))))));
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
    ResultText(c, std::string(static_cast<std::size_t>(Count(a[0])), ' '));
}
void FnStrComp(sqlite3_context* c, int argc, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    bool text = false;
    if (argc == 3 && !Null(a[2])) text = Number(a[2]) != 0;
    U32 x = DecodeUtf8(Text(a[0])), y = DecodeUtf8(Text(a[1]));
    if (text) {
        x = UpperU32(std::move(x));
        y = UpperU32(std::move(y));
    }
    sqlite3_result_int(c, x < y ? -1 : x == y ? 0 : 1);
}
void FnReplace(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0])) InvalidUseOfNull();
    std::string s = Text(a[0]);
    const std::string find = Text(a[1]), repl = Text(a[2]);
    if (find.empty()) return ResultText(c, s);
    std::string out;
    std::size_t pos = 0;
    for (;;) {
        const auto hit = s.find(find, pos);
        if (hit == std::string::npos) break;
        out.append(s, pos, hit - pos);
        out += repl;
        pos = hit + find.size();
    }
    out.append(s, pos, std::string::npos);
    ResultText(c, out);
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
void FnIsNumeric(sqlite3_context* c, int, sqlite3_value** a) {
    const int t = sqlite3_value_type(a[0]);
    bool numeric = t == SQLITE_INTEGER || t == SQLITE_FLOAT || (t == SQLITE_TEXT && ParseNumber(Text(a[0])));
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
    if (sqlite3_value_type(a[0]) == SQLITE_INTEGER && sqlite3_value_int64(a[0]) != std::numeric_limits<sqlite3_int64>::min())
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
// like(pattern, text): SQLite's form of "text LIKE pattern".
void FnLike(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1])) return sqlite3_result_null(c);
    sqlite3_result_int(c, AccessLike(Text(a[1]), Text(a[0])) ? 1 : 0);
}

// Like on code points: * ? # [list] [!list] [a-z].
bool LikeAt(const U32& s, std::size_t si, const U32& p, std::size_t pi) {
    while (pi < p.size()) {
        const char32_t pc = p[pi];
        if (pc == '*') {
            while (pi < p.size() && p[pi] == '*') ++pi;
            if (pi == p.size()) return true;
            for (std::size_t k = si; k <= s.size(); ++k)
                if (LikeAt(s, k, p, pi)) return true;
            return false;
        }
        if (si >= s.size()) return false;
        const char32_t sc = s[si];
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
            if (close < p.size() && p[close] == '!') ++close;
            while (close < p.size() && p[close] != ']') ++close;
            if (close >= p.size()) throw TAccessError("Invalid pattern string");
            std::size_t k = pi + 1;
            bool negate = false;
            if (k < close && p[k] == '!') {
                negate = true;
                ++k;
            }
            bool hit = false;
            for (; k < close; ++k) {
                if (k + 2 < close && p[k + 1] == '-') {
                    if (sc >= p[k] && sc <= p[k + 2]) hit = true;
                    k += 2;
                } else if (p[k] == sc) {
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

struct TFunction {
    const char* Name;
    int MinArgs, MaxArgs;
    TFn Fn;
};

} // namespace

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
        {"access_ucase", 1, 1, Guarded<FnUCase>},     {"access_lcase", 1, 1, Guarded<FnLCase>},
        {"access_trim", 1, 1, Guarded<FnTrim>},       {"access_ltrim", 1, 1, Guarded<FnLTrim>},
        {"access_rtrim", 1, 1, Guarded<FnRTrim>},     {"access_len", 1, 1, Guarded<FnLen>},
        {"access_left", 2, 2, Guarded<FnLeft>},       {"access_right", 2, 2, Guarded<FnRight>},
        {"access_mid", 2, 3, Guarded<FnMid>},         {"access_instr", 2, 4, Guarded<FnInStr>},
        {"access_iif", 3, 3, Guarded<FnIIf>},         {"access_nz", 1, 2, Guarded<FnNz>},
        {"access_isnull", 1, 1, Guarded<FnIsNull>},   {"access_val", 1, 1, Guarded<FnVal>},
        {"access_cstr", 1, 1, Guarded<FnCStr>},       {"access_cint", 1, 1, Guarded<FnCInt>},
        {"access_clng", 1, 1, Guarded<FnCLng>},       {"access_cdbl", 1, 1, Guarded<FnCDbl>},
        {"access_csng", 1, 1, Guarded<FnCDbl>},       {"access_cbool", 1, 1, Guarded<FnCBool>},
        {"access_int", 1, 1, Guarded<FnInt>},         {"access_fix", 1, 1, Guarded<FnFix>},
        {"access_abs", 1, 1, Guarded<FnAbs>},         {"access_round", 1, 2, Guarded<FnRound>},
        {"access_sgn", 1, 1, Guarded<FnSgn>},         {"access_space", 1, 1, Guarded<FnSpace>},
        {"access_strcomp", 2, 3, Guarded<FnStrComp>}, {"access_replace", 3, 3, Guarded<FnReplace>},
        {"access_str", 1, 1, Guarded<FnStr>},         {"access_asc", 1, 1, Guarded<FnAsc>},
        {"access_chr", 1, 1, Guarded<FnChr>},         {"access_isnumeric", 1, 1, Guarded<FnIsNumeric>},
        {"access_concat", 2, 2, Guarded<OpConcat>},   {"access_div", 2, 2, Guarded<OpDiv>},
        {"access_idiv", 2, 2, Guarded<OpIDiv>},       {"access_mod", 2, 2, Guarded<OpMod>},
        {"access_pow", 2, 2, Guarded<OpPow>},         {"like", 2, 2, Guarded<FnLike>},
    };
    for (const TFunction& f : functions) {
        for (int n = f.MinArgs; n <= f.MaxArgs; ++n) {
            const int rc = sqlite3_create_function_v2(db, f.Name, n, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                                      f.Fn, nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK) throw EAccessDbError(std::string("Cannot register function ") + f.Name);
        }
    }
}

} // namespace vexa
