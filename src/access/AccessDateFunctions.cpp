// The date functions of Access: dates as serial days from 1899-12-30 (the fraction
// the time), read from and written to the tables as ISO text.
#include "access/AccessFunctionsInternal.h"
#include "common/Text.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <set>

namespace vexa::access_functions {

// A date is a serial number of days from 1899-12-30 (the fraction is the time), kept
// in tables and results as "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS".
// The serials of 100-01-01 and of the day after 9999-12-31: the dates Access has.
constexpr double kFirstSerial = -657434, kPastLastSerial = 2958466;

long long DaysFromCivil(long long y, long long m, long long d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569;  // 25569: 1899-12-30 .. 1970-01-01
}

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

namespace {

std::string DateText(double serial) {
    if (serial < kFirstSerial || serial >= kPastLastSerial) Overflow();
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

}  // namespace

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
    case SQLITE_FLOAT: {
        const double d = sqlite3_value_double(v);
        if (!(d >= kFirstSerial && d < kPastLastSerial)) Overflow();  // no such date (or not a number)
        return d;
    }
    case SQLITE_NULL: InvalidUseOfNull();
    default: {
        if (auto d = ParseDateText(Text(v))) return *d;
        TypeMismatch();
    }
    }
}

void ResultDate(sqlite3_context* c, double serial) { ResultText(c, DateText(serial)); }

// Weekday 1..7 counted from firstDay (1 Sunday .. 7 Saturday).
int WeekdayOf(double serial, int firstDay) {
    const long long days = static_cast<long long>(std::floor(serial));
    const int sunday1 = static_cast<int>(((days - 1) % 7 + 7) % 7) + 1;  // 1899-12-31 was a Sunday
    return (sunday1 - firstDay + 7) % 7 + 1;
}

namespace {

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

double SerialOf(long long y, long long m, long long d) {
    y += (m - 1 >= 0 ? (m - 1) / 12 : -((12 - m) / 12));
    m = ((m - 1) % 12 + 12) % 12 + 1;
    if (y < 100 || y > 9999) Overflow();
    return static_cast<double>(DaysFromCivil(y, m, 1) + d - 1);
}
void FnDateSerial(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1]) || Null(a[2])) return sqlite3_result_null(c);
    long long y = WholeNumberArg(a[0]);
    if (y >= 0 && y < 30)
        y += 2000;
    else if (y >= 30 && y < 100)
        y += 1900;
    ResultDate(c, SerialOf(y, WholeNumberArg(a[1]), WholeNumberArg(a[2])));
}
void FnTimeSerial(sqlite3_context* c, int, sqlite3_value** a) {
    if (Null(a[0]) || Null(a[1]) || Null(a[2])) return sqlite3_result_null(c);
    const long long secs = WholeNumberArg(a[0]) * 3600 + WholeNumberArg(a[1]) * 60 + WholeNumberArg(a[2]);
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

}  // namespace

void RegisterDateFunctions(sqlite3* db) {
    static const TFunction functions[] = {
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
    };
    RegisterScalars(db, functions);
}

}  // namespace vexa::access_functions
