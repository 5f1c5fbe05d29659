#pragma once
// What the families of Access functions (text, numbers, dates, Format, operators,
// aggregates) share: reading SQLite values by Access's rules, the errors Access raises,
// the date serials, and the registration of each family's table.
#include "access/AccessSql.h"

#include <cstddef>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_context;
struct sqlite3_value;

namespace vexa::access_functions {

using U32 = std::u32string;

// Upper and lower case for ASCII, Latin-1 and Latin Extended-A (the Central European letters).
char32_t UpperChar(char32_t c);
char32_t LowerChar(char32_t c);
U32 UpperU32(U32 s);

// Access errors raised inside a query.
struct TAccessError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void TypeMismatch();
[[noreturn]] void InvalidUseOfNull();
[[noreturn]] void InvalidArgument();
[[noreturn]] void Overflow();

// A text result of chars characters of up to bytesPerChar bytes each is refused before it
// is built when it would pass the connection's length limit.
void CheckTextLength(sqlite3_context* c, std::size_t chars, std::size_t bytesPerChar = 1);

bool Null(sqlite3_value* v);
std::string Text(sqlite3_value* v);
// The bytes of a text value when they are all ASCII; nothing for other values.
std::optional<std::string_view> AsciiText(sqlite3_value* v);
void ResultText(sqlite3_context* ctx, std::string_view s);
std::optional<double> ParseNumber(const std::string& text);
// A number from a value; text must read as a number.
double Number(sqlite3_value* v);
bool IsNumberValue(sqlite3_value* v);
bool Truth(sqlite3_value* v);
double BankersRound(double x);
// A whole-number argument (rounded to even); Null is an error.
long long WholeNumberArg(sqlite3_value* v);
void ResultNumber(sqlite3_context* ctx, double d);

// ---- dates: serial days from 1899-12-30, the fraction the time ----
struct TCivil {
    long long Year, Month, Day;
    int Hour, Minute, Second;
};
long long DaysFromCivil(long long y, long long m, long long d);
TCivil CivilFromSerial(double serial);
// A date written as text: yyyy-mm-dd, m/d/yyyy, d.m.yyyy, each with an optional time, or a time alone.
std::optional<double> ParseDateText(const std::string& text);
// The stored form exactly: "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS".
bool IsStoredDate(const std::string& s);
// A value as a date serial; Null is an error for the caller to treat first.
double DateOf(sqlite3_value* v);
void ResultDate(sqlite3_context* c, double serial);
// Weekday 1..7 counted from firstDay (1 Sunday .. 7 Saturday).
int WeekdayOf(double serial, int firstDay);

// ---- registration ----
using TFn = void (*)(sqlite3_context*, int, sqlite3_value**);

// An Access error thrown by F becomes the SQL function's error.
void ResultError(sqlite3_context* ctx, const std::exception& e);
template <TFn F>
void Guarded(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        F(ctx, argc, argv);
    } catch (const std::exception& e) {
        ResultError(ctx, e);
    }
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

void RegisterScalars(sqlite3* db, std::span<const TFunction> functions);

// Each family's table.
void RegisterTextFunctions(sqlite3* db);
void RegisterNumberFunctions(sqlite3* db);
void RegisterDateFunctions(sqlite3* db);
void RegisterFormatFunctions(sqlite3* db);
void RegisterOperators(sqlite3* db);
void RegisterAggregates(sqlite3* db);

}  // namespace vexa::access_functions
