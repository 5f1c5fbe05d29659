// Access's Format: the named formats and user formats of numbers (with their
// sections), dates and texts.
#include "access/AccessFunctionsInternal.h"
#include "common/Text.h"

#include <sqlite3.h>

#include <cmath>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

namespace vexa::access_functions {

namespace {

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

// A number by a picture of digit placeholders 0 and #, a decimal point, commas, %, an
// exponent and literal text. A comma right before the decimal point (or after the last
// integer placeholder) divides by 1,000, each one; any other comma groups thousands.
// % multiplies by 100. E+ E- e+ e- followed by placeholders show the number as a
// mantissa (as many integer digits as the 0s before the decimal point, at least one) and
// an exponent of at least as many digits as its 0s, with its sign (E- only a minus).
// Literal text before the digits comes before them, among them in its place (the digits
// fill the placeholders from the decimal point outwards), after them after them. A
// negative number gets its sign in front of everything.
std::string FormatNumberPicture(double x, const std::string& pic) {
    const std::vector<TFmtPiece> pieces = FormatPieces(pic);
    const std::size_t none = pieces.size();
    auto digit = [](const TFmtPiece& p) { return p.Code() == '0' || p.Code() == '#'; };
    auto placeholder = [&](const TFmtPiece& p) { return digit(p) || p.Code() == '.' || p.Code() == ','; };
    std::size_t exponent = none;
    for (std::size_t k = 0; k + 2 < pieces.size() && exponent == none; ++k)
        if ((pieces[k].Code() == 'E' || pieces[k].Code() == 'e') &&
            (pieces[k + 1].Code() == '+' || pieces[k + 1].Code() == '-') && digit(pieces[k + 2]))
            exponent = k;
    std::size_t first = none, last = 0;
    for (std::size_t k = 0; k < std::min(exponent, none); ++k)
        if (placeholder(pieces[k])) first = std::min(first, k), last = k;
    std::string prefix, suffix;
    for (std::size_t k = 0; k < first && k < none; ++k) prefix += pieces[k].Text;
    if (first == none) return prefix;  // a section of literal text only
    std::size_t exponentEnd = exponent, exponentZeros = 0;
    if (exponent != none)
        for (exponentEnd = exponent + 2; exponentEnd < none && digit(pieces[exponentEnd]); ++exponentEnd)
            exponentZeros += pieces[exponentEnd].Code() == '0';
    for (std::size_t k = last + 1; k < none; ++k)
        if (k < exponent || k >= exponentEnd) suffix += pieces[k].Text;
    for (const TFmtPiece& p : pieces)
        if (p.Code() == '%') x *= 100;

    // The integer and fraction placeholders (with the literal text among them).
    std::size_t dot = last + 1;
    for (std::size_t k = first; k <= last && dot > last; ++k)
        if (pieces[k].Code() == '.') dot = k;
    std::size_t lastIntDigit = none;
    int minInt = 0, decimals = 0, optional = 0, scale = 0;
    bool group = false, inner = false;
    for (std::size_t k = first; k < dot; ++k) {
        if (digit(pieces[k])) lastIntDigit = k;
        minInt += pieces[k].Code() == '0';
        inner = inner || !placeholder(pieces[k]);
    }
    for (std::size_t k = first; k < dot; ++k)
        if (pieces[k].Code() == ',') {
            if (lastIntDigit != none && k > lastIntDigit)
                ++scale;
            else
                group = true;
        }
    for (std::size_t k = dot + 1; k <= last; ++k) {
        decimals += digit(pieces[k]);
        optional += pieces[k].Code() == '#';
    }
    for (int i = 0; i < scale; ++i) x /= 1000;

    std::string number, exponentText;
    if (exponent == none) {
        number = Format("%.*f", decimals, std::fabs(x));
    } else {
        const int wholeDigits = std::max(minInt, 1);
        int e = 0;
        if (x != 0) {
            e = static_cast<int>(std::floor(std::log10(std::fabs(x)))) - (wholeDigits - 1);
            number = Format("%.*f", decimals, std::fabs(x) / std::pow(10.0, e));
            if (std::stod(number) >= std::pow(10.0, wholeDigits)) ++e;  // rounded up to one more digit
        }
        number = Format("%.*f", decimals, x == 0 ? 0.0 : std::fabs(x) / std::pow(10.0, e));
        std::string digits = std::to_string(std::abs(e));
        while (digits.size() < exponentZeros) digits.insert(digits.begin(), '0');
        exponentText = pieces[exponent].Text + (e < 0 ? "-" : pieces[exponent + 1].Code() == '+' ? "+" : "") + digits;
    }
    const auto p = number.find('.');
    std::string whole = number.substr(0, p), frac = p == std::string::npos ? "" : number.substr(p + 1);
    const bool negative = x < 0 && std::stod(number) != 0;
    if (whole == "0" && minInt == 0) whole.clear();
    while (static_cast<int>(whole.size()) < minInt) whole.insert(whole.begin(), '0');
    while (optional-- > 0 && !frac.empty() && frac.back() == '0') frac.pop_back();

    std::string out;
    if (!inner) {
        out = group ? GroupThousands(whole) : whole;
    } else {
        // From the decimal point leftwards: a digit per placeholder, the literal text in its place,
        // and the digits left over before the first placeholder.
        std::size_t left = whole.size();
        std::vector<std::string> parts;
        for (std::size_t k = dot; k-- > first;) {
            if (digit(pieces[k])) {
                if (left > 0) parts.push_back(whole.substr(--left, 1));
            } else if (pieces[k].Code() != ',') {
                parts.push_back(pieces[k].Text);
            }
        }
        out = whole.substr(0, left);
        for (auto part = parts.rbegin(); part != parts.rend(); ++part) out += *part;
    }
    if (dot <= last) {
        out += '.';
        std::size_t used = 0;
        for (std::size_t k = dot + 1; k <= last; ++k) {
            if (digit(pieces[k])) {
                if (used < frac.size()) out += frac[used++];
            } else if (pieces[k].Code() != ',') {
                out += pieces[k].Text;
            }
        }
    }
    return (negative ? "-" : "") + prefix + out + exponentText + suffix;
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
        if (ch == 'y') {
            // Read greedily: yyyy, yy, y; so yyy is the year's two digits and the day of the year.
            for (std::size_t left = n; left > 0;) {
                const std::size_t take = left >= 4 ? 4 : left >= 2 ? 2 : 1;
                out += take == 1   ? Format("%lld", dayOfYear)
                       : take == 2 ? Format("%02lld", t.Year % 100)
                                   : Format("%04lld", t.Year);
                left -= take;
            }
        } else if (ch == 'm' && !afterHour) {
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

}  // namespace

void RegisterFormatFunctions(sqlite3* db) {
    static const TFunction functions[] = {
        {"access_format", 1, 2, Guarded<FnFormat>},
    };
    RegisterScalars(db, functions);
}

}  // namespace vexa::access_functions
