// Rewrites Access (Jet) SQL into SQLite SQL, token by token.
#include "standard/AccessSql.h"

#include "common/Text.h"

#include <array>
#include <cctype>
#include <map>
#include <set>

namespace vexa {

namespace {

enum class TTokKind { Word, Name, String, Number, Param, Op, Group };

struct TTok {
    TTokKind Kind;
    std::string Text;  // as written into the SQLite text
    std::string Raw;   // Word and Name: the bare name
};

[[noreturn]] void Fail(const std::string& what) {
    throw EAccessDbError("Cannot translate the query: " + what);
}


std::string QuoteString(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

bool IsWordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsWordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }

// #date# literals: m/d/yyyy or yyyy-mm-dd, optionally followed by a time.
std::string DateLiteral(const std::string& inner) {
    int a = 0, b = 0, c = 0, h = 0, mi = 0, s = 0;
    char sep1 = 0, sep2 = 0;
    std::string text = Trim(inner);
    int used = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c%d%n", &a, &sep1, &b, &sep2, &c, &used) != 5 || sep1 != sep2 ||
        (sep1 != '/' && sep1 != '-' && sep1 != '.'))
        Fail("bad date #" + inner + "#");
    int year, month, day;
    if (a > 31) {
        year = a, month = b, day = c;
    } else if (sep1 == '.') {
        day = a, month = b, year = c;
    } else {
        month = a, day = b, year = c;
    }
    if (year < 100) year += year < 30 ? 2000 : 1900;
    if (month < 1 || month > 12 || day < 1 || day > 31) Fail("bad date #" + inner + "#");
    std::string rest = Trim(text.substr(static_cast<std::size_t>(used)));
    std::string out = Format("%04d-%02d-%02d", year, month, day);
    if (!rest.empty()) {
        int n = std::sscanf(rest.c_str(), "%d:%d:%d", &h, &mi, &s);
        if (n < 2) Fail("bad date #" + inner + "#");
        const std::string upper = UpperAscii(rest);
        if (upper.find("PM") != std::string::npos && h < 12) h += 12;
        if (upper.find("AM") != std::string::npos && h == 12) h = 0;
        out += Format(" %02d:%02d:%02d", h, mi, s);
    }
    return QuoteString(out);
}

std::vector<TTok> Lex(const std::string& sql) {
    std::vector<TTok> toks;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(sql[i]);
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        if (c == '[' || c == '`') {
            const char close = c == '[' ? ']' : '`';
            const auto end = sql.find(close, i + 1);
            if (end == std::string::npos) Fail(std::string("missing ") + close);
            const std::string name = sql.substr(i + 1, end - i - 1);
            toks.push_back({TTokKind::Name, QuoteSqlName(name), name});
            i = end + 1;
            continue;
        }
        if (c == '"' || c == '\'') {
            std::string text;
            std::size_t j = i + 1;
            for (;;) {
                if (j >= n) Fail("unterminated string");
                if (sql[j] == static_cast<char>(c)) {
                    if (j + 1 < n && sql[j + 1] == static_cast<char>(c)) {
                        text += sql[j];
                        j += 2;
                        continue;
                    }
                    break;
                }
                text += sql[j++];
            }
            toks.push_back({TTokKind::String, QuoteString(text), text});
            i = j + 1;
            continue;
        }
        if (c == '#') {
            const auto end = sql.find('#', i + 1);
            if (end == std::string::npos) Fail("missing #");
            toks.push_back({TTokKind::String, DateLiteral(sql.substr(i + 1, end - i - 1)), ""});
            i = end + 1;
            continue;
        }
        if (std::isdigit(c) || (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
            std::size_t j = i;
            while (j < n && std::isdigit(static_cast<unsigned char>(sql[j]))) ++j;
            if (j < n && sql[j] == '.') {
                ++j;
                while (j < n && std::isdigit(static_cast<unsigned char>(sql[j]))) ++j;
            }
            if (j < n && (sql[j] == 'e' || sql[j] == 'E')) {
                std::size_t k = j + 1;
                if (k < n && (sql[k] == '+' || sql[k] == '-')) ++k;
                if (k < n && std::isdigit(static_cast<unsigned char>(sql[k]))) {
                    while (k < n && std::isdigit(static_cast<unsigned char>(sql[k]))) ++k;
                    j = k;
                }
            }
            toks.push_back({TTokKind::Number, sql.substr(i, j - i), ""});
            i = j;
            continue;
        }
        if (IsWordStart(c)) {
            std::size_t j = i;
            while (j < n && IsWordChar(static_cast<unsigned char>(sql[j]))) ++j;
            if (j < n && sql[j] == '$') ++j;
            const std::string word = sql.substr(i, j - i);
            toks.push_back({TTokKind::Word, word, word});
            i = j;
            continue;
        }
        if ((c == ':' || c == '@') && i + 1 < n && IsWordStart(static_cast<unsigned char>(sql[i + 1]))) {
            std::size_t j = i + 1;
            while (j < n && IsWordChar(static_cast<unsigned char>(sql[j]))) ++j;
            toks.push_back({TTokKind::Param, ":" + sql.substr(i + 1, j - i - 1), ""});
            i = j;
            continue;
        }
        if (c == '?') {
            toks.push_back({TTokKind::Param, "?", ""});
            ++i;
            continue;
        }
        static const std::array<const char*, 4> twoChar = {"<>", "<=", ">=", "!="};
        bool matched = false;
        for (const char* op : twoChar) {
            if (sql.compare(i, 2, op) == 0) {
                toks.push_back({TTokKind::Op, op, ""});
                i += 2;
                matched = true;
                break;
            }
        }
        if (matched) continue;
        if (std::string("=<>+-*/\\^&(),.;").find(static_cast<char>(c)) != std::string::npos) {
            toks.push_back({TTokKind::Op, std::string(1, static_cast<char>(c)), ""});
            ++i;
            continue;
        }
        Fail(Format("unexpected character '%c'", static_cast<char>(c)));
    }
    return toks;
}

std::string Upper(const std::string& s) { return UpperAscii(s); }

bool IsWord(const TTok& t, const char* upperWord) { return t.Kind == TTokKind::Word && Upper(t.Raw) == upperWord; }
bool IsOp(const TTok& t, const char* op) { return t.Kind == TTokKind::Op && t.Text == op; }

// Words that are never operands.
const std::set<std::string>& Keywords() {
    static const std::set<std::string> words = {
        "SELECT", "FROM",   "WHERE", "AND",   "OR",     "NOT",  "IS",     "IN",       "LIKE",    "BETWEEN",
        "AS",     "ON",     "JOIN",  "INNER", "LEFT",   "RIGHT", "OUTER", "GROUP",    "ORDER",   "BY",
        "HAVING", "UPDATE", "SET",   "DELETE", "INSERT", "INTO", "VALUES", "DISTINCT", "DISTINCTROW",
        "TOP",    "UNION",  "ALL",   "ASC",   "DESC",   "CASE", "WHEN",   "THEN",     "ELSE",    "END",
        "XOR",    "EQV",    "IMP",   "MOD",   "PERCENT", "EXISTS", "ESCAPE", "LIMIT"};
    return words;
}

bool IsKeyword(const TTok& t) { return t.Kind == TTokKind::Word && Keywords().count(Upper(t.Raw)) > 0; }

bool IsOperand(const TTok& t) {
    switch (t.Kind) {
    case TTokKind::Name:
    case TTokKind::String:
    case TTokKind::Number:
    case TTokKind::Param:
    case TTokKind::Group:
        return true;
    case TTokKind::Word:
        return !IsKeyword(t);
    case TTokKind::Op:
        return false;
    }
    return false;
}

// Precedence of a binary operator token (Access's order), -100 when it is none.
int BinaryPrecedence(const TTok& t) {
    if (t.Kind == TTokKind::Op) {
        const std::string& o = t.Text;
        if (o == "^") return 10;
        if (o == "*" || o == "/") return 8;
        if (o == "\\") return 7;
        if (o == "+" || o == "-") return 5;
        if (o == "&") return 4;
        if (o == "=" || o == "<>" || o == "<" || o == ">" || o == "<=" || o == ">=" || o == "!=") return 3;
        return -100;
    }
    if (t.Kind == TTokKind::Word) {
        const std::string w = Upper(t.Raw);
        if (w == "MOD") return 6;
        if (w == "LIKE" || w == "IS" || w == "IN" || w == "BETWEEN") return 3;
        if (w == "NOT") return 2;
        if (w == "AND") return 1;
        if (w == "OR") return 0;
    }
    return -100;
}

constexpr int UnaryPrecedence = 9;

std::size_t MatchClose(const std::vector<TTok>& t, std::size_t open) {
    int depth = 0;
    for (std::size_t i = open; i < t.size(); ++i) {
        if (IsOp(t[i], "(")) ++depth;
        else if (IsOp(t[i], ")") && --depth == 0) return i;
    }
    Fail("missing )");
}

std::size_t MatchOpen(const std::vector<TTok>& t, std::size_t close) {
    int depth = 0;
    for (std::size_t i = close + 1; i-- > 0;) {
        if (IsOp(t[i], ")")) ++depth;
        else if (IsOp(t[i], "(") && --depth == 0) return i;
    }
    Fail("missing (");
}

// A Word or Name right before "(" that calls a function.
bool IsCallee(const std::vector<TTok>& t, std::size_t i) {
    return (t[i].Kind == TTokKind::Word && !IsKeyword(t[i])) || t[i].Kind == TTokKind::Name;
}

bool IsUnarySign(const std::vector<TTok>& t, std::size_t k) {
    if (!IsOp(t[k], "-") && !IsOp(t[k], "+")) return false;
    if (k == 0) return true;
    const TTok& p = t[k - 1];
    if (p.Kind == TTokKind::Op) return p.Text != ")";
    return IsKeyword(p);
}

std::string Render(const std::vector<TTok>& t, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i) {
        const TTok& tok = t[i];
        if (!out.empty()) {
            const TTok& prev = t[i - 1];
            const bool tight = IsOp(tok, ")") || IsOp(tok, ",") || IsOp(tok, ".") || IsOp(tok, ";") ||
                               IsOp(prev, "(") || IsOp(prev, ".") ||
                               (IsOp(tok, "(") && IsCallee(t, i - 1));
            if (!tight) out += ' ';
        }
        out += tok.Text;
    }
    return out;
}

// Replaces every "left OP right" by "func(left, right)", operands found by Access's precedence.
void RewriteBinary(std::vector<TTok>& t, const std::string& opText, bool opIsWord, int prec, const std::string& func) {
    for (std::size_t i = 0; i < t.size(); ++i) {
        const bool isOp = opIsWord ? IsWord(t[i], opText.c_str()) : IsOp(t[i], opText.c_str());
        if (!isOp || (!opIsWord && (opText == "-" || opText == "+") && IsUnarySign(t, i))) continue;
        // Left operand.
        if (i == 0) Fail("operator " + opText + " without operand");
        std::size_t start = i;
        std::size_t k = i - 1;
        bool expectOperand = true;
        for (;;) {
            if (expectOperand) {
                if (IsOp(t[k], ")")) {
                    std::size_t open = MatchOpen(t, k);
                    start = (open > 0 && IsCallee(t, open - 1)) ? open - 1 : open;
                } else if (IsOperand(t[k])) {
                    start = k;
                } else {
                    Fail("operator " + opText + " without operand");
                }
                expectOperand = false;
            } else {
                if (start == 0) break;
                k = start - 1;
                if (IsOp(t[k], ".")) {
                    start = k;
                    if (k == 0) Fail("misplaced .");
                    k = k - 1;
                    expectOperand = true;
                    continue;
                }
                if (IsUnarySign(t, k)) {
                    if (UnaryPrecedence < prec) break;
                    start = k;
                    continue;
                }
                if (BinaryPrecedence(t[k]) >= prec) {
                    if (k == 0) Fail("operator without operand");
                    k = k - 1;
                    expectOperand = true;
                    continue;
                }
                break;
            }
            if (expectOperand) continue;
        }
        // Right operand.
        std::size_t j = i + 1;
        expectOperand = true;
        for (;;) {
            if (expectOperand) {
                if (j >= t.size()) Fail("operator " + opText + " without operand");
                if (IsUnarySign(t, j)) {
                    ++j;
                    continue;
                }
                if (IsOp(t[j], "(")) {
                    j = MatchClose(t, j) + 1;
                } else if (IsCallee(t, j) && j + 1 < t.size() && IsOp(t[j + 1], "(")) {
                    j = MatchClose(t, j + 1) + 1;
                } else if (IsOperand(t[j])) {
                    ++j;
                } else {
                    Fail("operator " + opText + " without operand");
                }
                expectOperand = false;
            } else {
                if (j >= t.size()) break;
                if (IsOp(t[j], ".")) {
                    ++j;
                    expectOperand = true;
                    continue;
                }
                if (BinaryPrecedence(t[j]) > prec) {
                    ++j;
                    expectOperand = true;
                    continue;
                }
                break;
            }
        }
        TTok group{TTokKind::Group, func + "(" + Render(t, start, i) + ", " + Render(t, i + 1, j) + ")", ""};
        t.erase(t.begin() + static_cast<std::ptrdiff_t>(start), t.begin() + static_cast<std::ptrdiff_t>(j));
        t.insert(t.begin() + static_cast<std::ptrdiff_t>(start), group);
        i = start;
    }
}

// Access function name (upper case) -> registered name.
const std::map<std::string, std::string>& FunctionNames() {
    static const std::map<std::string, std::string> names = [] {
        std::map<std::string, std::string> m;
        for (const char* f : {"UCASE", "LCASE", "TRIM", "LTRIM", "RTRIM", "LEN", "LEFT", "RIGHT", "MID", "INSTR",
                              "IIF", "NZ", "ISNULL", "VAL", "CSTR", "CINT", "CLNG", "CDBL", "CSNG", "CBOOL", "INT",
                              "FIX", "ABS", "ROUND", "SGN", "SPACE", "STRCOMP", "REPLACE", "STR", "ASC", "CHR",
                              "ISNUMERIC"}) {
            std::string lower = LowerAscii(f);
            m[f] = "access_" + lower;
            m[std::string(f) + "$"] = "access_" + lower;
        }
        return m;
    }();
    return names;
}

bool IsClauseEnd(const TTok& t) {
    if (IsOp(t, ";") || IsOp(t, ")")) return true;
    if (t.Kind != TTokKind::Word) return false;
    const std::string w = Upper(t.Raw);
    return w == "WHERE" || w == "GROUP" || w == "ORDER" || w == "HAVING" || w == "UNION" || w == "ON" ||
           w == "INNER" || w == "LEFT" || w == "RIGHT" || w == "JOIN" || w == "SET" || w == "LIMIT";
}

std::string TranslateTokens(std::vector<TTok> t, const TSavedQueryLookup& savedQuery, int depth);

// Saved queries named in FROM / JOIN lists become sub-queries.
void ReplaceSavedQueries(std::vector<TTok>& t, const TSavedQueryLookup& savedQuery, int depth) {
    if (!savedQuery) return;
    auto tryReplace = [&](std::size_t k) {
        if (k >= t.size()) return;
        if (t[k].Kind != TTokKind::Word && t[k].Kind != TTokKind::Name) return;
        if (t[k].Kind == TTokKind::Word && IsKeyword(t[k])) return;
        if (k + 1 < t.size() && IsOp(t[k + 1], ".")) return;
        auto sql = savedQuery(t[k].Raw);
        if (!sql) return;
        if (depth >= 16) Fail("saved queries nest too deep");
        std::string inner = TranslateTokens(Lex(*sql), savedQuery, depth + 1);
        const bool aliased = k + 1 < t.size() && (IsWord(t[k + 1], "AS") ||
                                                  (IsOperand(t[k + 1]) && t[k + 1].Kind != TTokKind::String));
        t[k] = {TTokKind::Group, "(" + inner + ")" + (aliased ? "" : " AS " + QuoteSqlName(t[k].Raw)), ""};
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!IsWord(t[i], "FROM") && !IsWord(t[i], "JOIN")) continue;
        tryReplace(i + 1);
        if (!IsWord(t[i], "FROM")) continue;
        int level = 0;
        for (std::size_t j = i + 1; j < t.size(); ++j) {
            if (IsOp(t[j], "(")) {
                ++level;
            } else if (IsOp(t[j], ")")) {
                if (level == 0) break;
                --level;
            } else if (level == 0) {
                if (IsClauseEnd(t[j])) break;
                if (IsOp(t[j], ",")) tryReplace(j + 1);
            }
        }
    }
}

std::string TranslateTokens(std::vector<TTok> t, const TSavedQueryLookup& savedQuery, int depth) {
    while (!t.empty() && IsOp(t.back(), ";")) t.pop_back();
    if (t.empty()) Fail("empty query");
    int open = 0;
    for (const TTok& tok : t) {
        if (IsOp(tok, "(")) ++open;
        if (IsOp(tok, ")") && --open < 0) Fail("missing (");
    }
    if (open > 0) Fail("missing )");

    // DISTINCTROW means DISTINCT here; TOP n becomes LIMIT n.
    std::string limit;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (IsWord(t[i], "DISTINCTROW")) t[i] = {TTokKind::Word, "DISTINCT", "DISTINCT"};
    if (IsWord(t[0], "SELECT")) {
        std::size_t k = 1;
        while (k < t.size() && (IsWord(t[k], "DISTINCT") || IsWord(t[k], "ALL"))) ++k;
        if (k + 1 < t.size() && IsWord(t[k], "TOP") && t[k + 1].Kind == TTokKind::Number) {
            if (k + 2 < t.size() && IsWord(t[k + 2], "PERCENT")) Fail("TOP ... PERCENT");
            limit = t[k + 1].Text;
            t.erase(t.begin() + static_cast<std::ptrdiff_t>(k), t.begin() + static_cast<std::ptrdiff_t>(k + 2));
        }
    }
    // DELETE t.* FROM t -> DELETE FROM t
    if (IsWord(t[0], "DELETE") && t.size() > 1 && !IsWord(t[1], "FROM")) {
        std::size_t k = 1;
        while (k < t.size() && !IsWord(t[k], "FROM")) ++k;
        if (k == t.size()) Fail("DELETE without FROM");
        t.erase(t.begin() + 1, t.begin() + static_cast<std::ptrdiff_t>(k));
    }
    // UPDATE t SET t.a = ... -> SET a = ...
    if (IsWord(t[0], "UPDATE")) {
        std::size_t k = 1;
        int level = 0;
        while (k < t.size() && !(level == 0 && IsWord(t[k], "SET"))) {
            if (IsOp(t[k], "(")) ++level;
            if (IsOp(t[k], ")")) --level;
            ++k;
        }
        if (k == t.size()) Fail("UPDATE without SET");
        bool itemStart = true;
        level = 0;
        for (std::size_t j = k + 1; j < t.size(); ++j) {
            if (level == 0 && IsWord(t[j], "WHERE")) break;
            if (itemStart && j + 3 < t.size() && (t[j].Kind == TTokKind::Word || t[j].Kind == TTokKind::Name) &&
                IsOp(t[j + 1], ".") && (t[j + 2].Kind == TTokKind::Word || t[j + 2].Kind == TTokKind::Name) &&
                IsOp(t[j + 3], "=")) {
                t.erase(t.begin() + static_cast<std::ptrdiff_t>(j), t.begin() + static_cast<std::ptrdiff_t>(j + 2));
            }
            itemStart = false;
            if (IsOp(t[j], "(")) ++level;
            else if (IsOp(t[j], ")")) --level;
            else if (level == 0 && IsOp(t[j], ",")) itemStart = true;
        }
    }
    ReplaceSavedQueries(t, savedQuery, depth);

    // Words: True/False, function names.
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].Kind != TTokKind::Word) continue;
        const bool qualified = i > 0 && IsOp(t[i - 1], ".");
        const bool call = i + 1 < t.size() && IsOp(t[i + 1], "(");
        const std::string w = Upper(t[i].Raw);
        if (!qualified && !call && w == "TRUE") t[i] = {TTokKind::Number, "-1", ""};
        else if (!qualified && !call && w == "FALSE") t[i] = {TTokKind::Number, "0", ""};
        else if (!qualified && call) {
            auto it = FunctionNames().find(w);
            if (it != FunctionNames().end()) t[i] = {TTokKind::Word, it->second, it->second};
        }
    }

    RewriteBinary(t, "^", false, 10, "access_pow");
    RewriteBinary(t, "/", false, 8, "access_div");
    RewriteBinary(t, "\\", false, 7, "access_idiv");
    RewriteBinary(t, "MOD", true, 6, "access_mod");
    RewriteBinary(t, "&", false, 4, "access_concat");

    std::string out = Render(t, 0, t.size());
    if (!limit.empty()) out += " LIMIT " + limit;
    return out;
}

} // namespace

std::string TranslateAccessSql(const std::string& accessSql, const TSavedQueryLookup& savedQuery) {
    return TranslateTokens(Lex(accessSql), savedQuery, 0);
}

std::string QuoteSqlName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

} // namespace vexa
