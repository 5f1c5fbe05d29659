// The number functions of Access and its conversions (Val, CInt, CStr, Round, Hex, ...):
// whole numbers rounded to even, Overflow past each type's range.
#include "access/AccessFunctionsInternal.h"
#include "common/Text.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

namespace vexa::access_functions {

namespace {

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

// ---- currency, bytes, singles and the functions of analysis ---------------------------
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

}  // namespace

void RegisterNumberFunctions(sqlite3* db) {
    static const TFunction functions[] = {
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
        {"access_str", 1, 1, Guarded<FnStr>},
        {"access_isnumeric", 1, 1, Guarded<FnIsNumeric>},
        {"access_hex", 1, 1, Guarded<FnHex>},
        {"access_oct", 1, 1, Guarded<FnOct>},
    };
    RegisterScalars(db, functions);
}

}  // namespace vexa::access_functions

namespace vexa {

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

}  // namespace vexa
