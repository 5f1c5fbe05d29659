// The text functions of Access (UCase, Mid, InStr, Replace, StrConv, ...), its Like
// and its text order: positions count characters, not bytes; text is compared
// ignoring case unless asked otherwise.
#include "access/AccessFunctionsInternal.h"
#include "common/Text.h"

#include <sqlite3.h>

#include <algorithm>
#include <optional>
#include <string_view>

namespace vexa::access_functions {

namespace {

bool IsBlank(char32_t c) { return c == ' '; }

int CompareAccessText(const U32& a, const U32& b);

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

}  // namespace

void RegisterTextFunctions(sqlite3* db) {
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
        {"access_space", 1, 1, Guarded<FnSpace>},
        {"access_string", 2, 2, Guarded<FnString>},
        {"access_strcomp", 2, 3, Guarded<FnStrComp>},
        {"access_replace", 3, 6, Guarded<FnReplace>},
        {"access_asc", 1, 1, Guarded<FnAsc>},
        {"access_chr", 1, 1, Guarded<FnChr>},
        {"access_instrrev", 2, 4, Guarded<FnInStrRev>},
        {"access_strreverse", 1, 1, Guarded<FnStrReverse>},
        {"access_strconv", 2, 3, Guarded<FnStrConv>},
        {"like", 2, 2, Guarded<FnLike>},
    };
    RegisterScalars(db, functions);
    // Text columns of the working copy are declared NOCASE: on this connection that is
    // Access's text order (case ignored, accents significant), for joins, grouping and sorting too.
    if (sqlite3_create_collation_v2(db, "NOCASE", SQLITE_UTF8, nullptr, CollateAccess, nullptr) != SQLITE_OK)
        throw EAccessDbError("Cannot register the text order");
}

}  // namespace vexa::access_functions

namespace vexa {

using namespace access_functions;

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

int CompareAccessTexts(const std::string& a, const std::string& b) {
    return CompareAccessText(DecodeUtf8(a), DecodeUtf8(b));
}

}  // namespace vexa
