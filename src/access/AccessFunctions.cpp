// The Access functions that translated queries call, registered in SQLite, with
// Access's rules for nulls, conversions and text positions. Each family has a file of
// its own (text, numbers, dates, Format, operators, aggregates); here is what they
// share and the one entry point that registers them all.
#include "access/AccessFunctionsInternal.h"
#include "common/Text.h"

#include <sqlite3.h>

#include <cfenv>
#include <cmath>

namespace vexa::access_functions {

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

[[noreturn]] void TypeMismatch() { throw TAccessError("Type mismatch"); }
[[noreturn]] void InvalidUseOfNull() { throw TAccessError("Invalid use of Null"); }
[[noreturn]] void InvalidArgument() { throw TAccessError("Invalid procedure call or argument"); }
[[noreturn]] void Overflow() { throw TAccessError("Overflow"); }

// A text result of chars characters of up to bytesPerChar bytes each is refused before it
// is built when it would pass the connection's length limit (a text of 1e9 spaces would
// take gigabytes first and be refused by SQLite only then).
void CheckTextLength(sqlite3_context* c, std::size_t chars, std::size_t bytesPerChar) {
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

long long WholeNumberArg(sqlite3_value* v) {
    if (Null(v)) InvalidUseOfNull();
    return static_cast<long long>(BankersRound(Number(v)));
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

void ResultError(sqlite3_context* ctx, const std::exception& e) { sqlite3_result_error(ctx, e.what(), -1); }

bool IsNumberValue(sqlite3_value* v) {
    const int t = sqlite3_value_type(v);
    return t == SQLITE_INTEGER || t == SQLITE_FLOAT;
}

void RegisterScalars(sqlite3* db, std::span<const TFunction> functions) {
    for (const TFunction& f : functions) {
        const int flags = SQLITE_UTF8 | (f.Deterministic ? SQLITE_DETERMINISTIC : 0);
        for (int n = f.MinArgs; n <= f.MaxArgs; ++n) {
            const int rc = sqlite3_create_function_v2(db, f.Name, n, flags, nullptr, f.Fn, nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK) throw EAccessDbError(std::string("Cannot register function ") + f.Name);
        }
    }
}

}  // namespace vexa::access_functions

namespace vexa {

void RegisterAccessFunctions(sqlite3* db) {
    using namespace access_functions;
    RegisterTextFunctions(db);
    RegisterNumberFunctions(db);
    RegisterDateFunctions(db);
    RegisterFormatFunctions(db);
    RegisterOperators(db);
    RegisterAggregates(db);
}

}  // namespace vexa
