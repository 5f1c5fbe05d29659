// Rewrites Access (Jet) SQL into SQLite SQL, token by token.
#include "access/AccessSql.h"

#include "common/Text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <set>
#include <utility>

namespace vexa {

namespace {

// Paren: a parenthesised part, already rewritten; Fixed: text kept as it is (no operand, no operator).
enum class TTokKind { Word, Name, String, Number, Param, Op, Group, Paren, Fixed };

struct TTok {
    TTokKind Kind;
    std::string Text;  // as written into the SQLite text
    std::string Raw;   // Word and Name: the bare name
    // A truth value (-1, 0 or Null): the same condition in SQLite's own form (1/0/Null),
    // written where only truth counts (WHERE, ON, HAVING) so that SQLite can use indexes.
    std::string Plain = {};
};

[[noreturn]] void Fail(const std::string& what) { throw EAccessDbError("Cannot translate the query: " + what); }

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

// #date# literals: m/d/yyyy or yyyy-mm-dd, optionally followed by a time, or a time
// alone (a time of the day 0, 1899-12-30).
std::string DateLiteral(const std::string& inner) {
    int a = 0, b = 0, c = 0, h = 0, mi = 0, s = 0;
    char sep1 = 0, sep2 = 0;
    std::string text = Trim(inner);
    int used = 0;
    if (std::sscanf(text.c_str(), "%d:%d", &h, &mi) == 2) text = "1899-12-30 " + text;
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
            // Texts compare as Access compares them (the connection's NOCASE is Access's order).
            toks.push_back({TTokKind::String, QuoteString(text) + " COLLATE NOCASE", text});
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
        "SELECT", "FROM",   "WHERE", "AND",     "OR",     "NOT",    "IS",     "IN",         "LIKE",        "BETWEEN",
        "AS",     "ON",     "JOIN",  "INNER",   "LEFT",   "RIGHT",  "OUTER",  "GROUP",      "ORDER",       "BY",
        "HAVING", "UPDATE", "SET",   "DELETE",  "INSERT", "INTO",   "VALUES", "DISTINCT",   "DISTINCTROW", "TOP",
        "UNION",  "ALL",    "ASC",   "DESC",    "CASE",   "WHEN",   "THEN",   "ELSE",       "END",         "XOR",
        "EQV",    "IMP",    "MOD",   "PERCENT", "EXISTS", "ESCAPE", "LIMIT",  "PARAMETERS", "TRANSFORM",   "PIVOT"};
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
    case TTokKind::Paren: return true;
    case TTokKind::Word: return !IsKeyword(t);
    case TTokKind::Op:
    case TTokKind::Fixed: return false;
    }
    return false;
}

// Access's operator order, highest first; unary minus sits between ^ and * /.
constexpr int PrecPow = 14, PrecUnary = 13, PrecMul = 12, PrecIDiv = 11, PrecMod = 10, PrecAdd = 9, PrecConcat = 8,
              PrecCompare = 7, PrecNot = 6, PrecAnd = 5, PrecOr = 4, PrecXor = 3, PrecEqv = 2, PrecImp = 1;

std::size_t MatchClose(const std::vector<TTok>& t, std::size_t open) {
    int depth = 0;
    for (std::size_t i = open; i < t.size(); ++i) {
        if (IsOp(t[i], "("))
            ++depth;
        else if (IsOp(t[i], ")") && --depth == 0)
            return i;
    }
    Fail("missing )");
}

// A Word or Name right before a parenthesised group that calls a function.
bool IsCallee(const std::vector<TTok>& t, std::size_t i) {
    return (t[i].Kind == TTokKind::Word && !IsKeyword(t[i])) || t[i].Kind == TTokKind::Name;
}
bool IsCall(const std::vector<TTok>& t, std::size_t i) {
    return i + 1 < t.size() && IsCallee(t, i) && t[i + 1].Kind == TTokKind::Paren;
}

bool IsUnarySign(const std::vector<TTok>& t, std::size_t k) {
    if (!IsOp(t[k], "-") && !IsOp(t[k], "+")) return false;
    if (k == 0) return true;
    const TTok& p = t[k - 1];
    if (p.Kind == TTokKind::Op) return p.Text != ")";
    return p.Kind == TTokKind::Fixed || IsKeyword(p);
}

std::string Render(const std::vector<TTok>& t, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i) {
        const TTok& tok = t[i];
        if (i > from) {
            const TTok& prev = t[i - 1];
            const bool tight = IsOp(tok, ")") || IsOp(tok, ",") || IsOp(tok, ".") || IsOp(tok, ";") ||
                               IsOp(prev, "(") || IsOp(prev, ".") ||
                               (tok.Kind == TTokKind::Paren && IsCallee(t, i - 1));
            if (!tight) out += ' ';
        }
        const bool condition = i > from && !tok.Plain.empty() &&
                               (IsWord(t[i - 1], "WHERE") || IsWord(t[i - 1], "ON") || IsWord(t[i - 1], "HAVING"));
        out += condition ? tok.Plain : tok.Text;
    }
    return out;
}

// The first token of the operand that ends at k (a name a.b.c, a call, a group), with
// the unary signs before it when they bind tighter than prec.
std::size_t OperandStart(const std::vector<TTok>& t, std::size_t k, int prec, const std::string& op) {
    if (!IsOperand(t[k])) Fail("operator " + op + " without operand");
    std::size_t s = k;
    if (t[k].Kind == TTokKind::Paren && k > 0 && IsCallee(t, k - 1)) s = k - 1;
    while (s >= 2 && IsOp(t[s - 1], ".") && IsOperand(t[s - 2])) s -= 2;
    while (s > 0 && IsUnarySign(t, s - 1) && PrecUnary >= prec) --s;
    return s;
}

// One past the operand that starts at j (unary signs first).
std::size_t OperandEnd(const std::vector<TTok>& t, std::size_t j, const std::string& op) {
    while (j < t.size() && IsUnarySign(t, j)) ++j;
    if (j >= t.size() || !IsOperand(t[j])) Fail("operator " + op + " without operand");
    if (IsCall(t, j)) ++j;
    ++j;
    while (j + 1 < t.size() && IsOp(t[j], ".") && IsOperand(t[j + 1])) j += 2;
    return j;
}

void Replace(std::vector<TTok>& t, std::size_t from, std::size_t to, const std::string& text,
             const std::string& plain = {}) {
    t.erase(t.begin() + static_cast<std::ptrdiff_t>(from), t.begin() + static_cast<std::ptrdiff_t>(to));
    t.insert(t.begin() + static_cast<std::ptrdiff_t>(from), TTok{TTokKind::Group, text, "", plain});
}

// A truth value in Access's form from its SQLite form.
std::string Truth(const std::string& plain) { return "(-(" + plain + "))"; }

// A binary operator at i: the function that computes it, or "" when t[i] is not one.
using TBinaryMatch = std::function<std::string(const std::vector<TTok>&, std::size_t)>;

// Replaces every "left OP right" of one precedence level by "func(left, right)", left to right.
// Everything that binds tighter is a single operand by now.
void RewriteLevel(std::vector<TTok>& t, int prec, const TBinaryMatch& match) {
    for (std::size_t i = 0; i < t.size(); ++i) {
        const std::string func = match(t, i);
        if (func.empty()) continue;
        if (i == 0) Fail("operator " + t[i].Text + " without operand");
        const std::size_t start = OperandStart(t, i - 1, prec, t[i].Text);
        const std::size_t end = OperandEnd(t, i + 1, t[i].Text);
        // And / Or of two truth values: SQLite's AND / OR have the same three-valued table.
        if ((func == "access_and" || func == "access_or") && start + 1 == i && end == i + 2 &&
            !t[start].Plain.empty() && !t[i + 1].Plain.empty()) {
            const std::string plain =
                "(" + t[start].Plain + (func == "access_and" ? " AND " : " OR ") + t[i + 1].Plain + ")";
            Replace(t, start, end, Truth(plain), plain);
        } else {
            Replace(t, start, end, func + "(" + Render(t, start, i) + ", " + Render(t, i + 1, end) + ")");
        }
        i = start;
    }
}

bool BinaryPosition(const std::vector<TTok>& t, std::size_t i) {
    return i > 0 && IsOperand(t[i - 1]) && !(i >= 2 && IsOp(t[i - 2], ".") && IsOp(t[i], "*")) && i + 1 < t.size() &&
           (IsOperand(t[i + 1]) || IsUnarySign(t, i + 1));
}

TBinaryMatch Ops(const std::vector<std::pair<std::string, std::string>>& ops) {
    return [ops](const std::vector<TTok>& t, std::size_t i) -> std::string {
        for (const auto& [op, func] : ops) {
            const bool hit =
                std::isalpha(static_cast<unsigned char>(op[0])) ? IsWord(t[i], op.c_str()) : IsOp(t[i], op.c_str());
            if (hit && (op != "-" && op != "+" ? true : !IsUnarySign(t, i)) && (op != "*" || BinaryPosition(t, i)))
                return func;
        }
        return "";
    };
}

// x op ANY (sub-query) (SOME is the same) and x op ALL (sub-query), op a comparison. ANY
// is true when some row compares true, false when none is left that could (so with no row
// at all), else Null; ALL is false when some row compares false, true when every row
// compares true (so with no row at all), else Null. The sub-query's one column gets its
// name from a union whose first, empty, part gives it; texts compare in Access's order.
std::string Quantified(const std::string& left, const std::string& op, bool all, const std::string& subQuery) {
    const std::string decided = all ? "min(vexa_c) = 0 THEN 0" : "max(vexa_c) = 1 THEN 1";
    return "(SELECT CASE WHEN " + decided + " WHEN count(*) > count(vexa_c) THEN NULL ELSE " + (all ? "1" : "0") +
           " END FROM (SELECT (" + left + " " + op +
           " vexa_v COLLATE NOCASE) AS vexa_c FROM (SELECT NULL AS vexa_v WHERE 0 UNION ALL SELECT * FROM " +
           subQuery + ")))";
}

// Comparisons, Like, Is [Not] Null, [Not] In, [Not] Between: Access's True is -1.
void RewriteComparisons(std::vector<TTok>& t) {
    static const std::set<std::string> symbols = {"=", "<>", "<", ">", "<=", ">=", "!="};
    for (std::size_t i = 0; i < t.size(); ++i) {
        std::size_t opEnd = i + 1;
        std::string opText;
        bool between = false;
        if (t[i].Kind == TTokKind::Op && symbols.count(t[i].Text)) {
            opText = t[i].Text == "!=" ? "<>" : t[i].Text;
        } else if (IsWord(t[i], "LIKE") || IsWord(t[i], "IN")) {
            opText = Upper(t[i].Raw);
        } else if (IsWord(t[i], "BETWEEN")) {
            opText = "BETWEEN";
            between = true;
        } else if (IsWord(t[i], "IS")) {
            opText = "IS";
            if (opEnd < t.size() && IsWord(t[opEnd], "NOT")) opText = "IS NOT", ++opEnd;
        } else if (IsWord(t[i], "NOT") && i > 0 && IsOperand(t[i - 1]) && i + 1 < t.size() &&
                   (IsWord(t[i + 1], "LIKE") || IsWord(t[i + 1], "IN") || IsWord(t[i + 1], "BETWEEN"))) {
            opText = "NOT " + Upper(t[i + 1].Raw);
            between = IsWord(t[i + 1], "BETWEEN");
            ++opEnd;
        } else {
            continue;
        }
        if (i == 0) Fail("operator " + opText + " without operand");
        const std::size_t start = OperandStart(t, i - 1, PrecCompare, opText);
        if (t[i].Kind == TTokKind::Op && opEnd + 1 < t.size() && t[opEnd + 1].Kind == TTokKind::Paren &&
            (IsWord(t[opEnd], "ANY") || IsWord(t[opEnd], "SOME") || IsWord(t[opEnd], "ALL"))) {
            const std::string plain =
                Quantified(Render(t, start, i), opText, IsWord(t[opEnd], "ALL"), t[opEnd + 1].Text);
            Replace(t, start, opEnd + 2, Truth(plain), plain);
            i = start;
            continue;
        }
        std::size_t end = OperandEnd(t, opEnd, opText);
        std::string right = Render(t, opEnd, end);
        if (between) {
            if (end >= t.size() || !IsWord(t[end], "AND")) Fail("Between without And");
            const std::size_t hiEnd = OperandEnd(t, end + 1, opText);
            right += " AND " + Render(t, end + 1, hiEnd);
            end = hiEnd;
        }
        const std::string plain = Render(t, start, i) + " " + opText + " " + right;
        Replace(t, start, end, Truth(plain), plain);
        i = start;
    }
}

// Not binds its operand on the right; rewritten right to left so that Not Not x works.
void RewriteNot(std::vector<TTok>& t) {
    for (std::size_t i = t.size(); i-- > 0;) {
        if (!IsWord(t[i], "NOT")) continue;
        const std::size_t end = OperandEnd(t, i + 1, "Not");
        if (end == i + 2 && !t[i + 1].Plain.empty()) {  // Not of a truth value is SQLite's NOT
            const std::string plain = "(NOT " + t[i + 1].Plain + ")";
            Replace(t, i, end, Truth(plain), plain);
            continue;
        }
        Replace(t, i, end, "access_not(" + Render(t, i + 1, end) + ")");
    }
}

// Rewrites an expression list (or a whole statement) after its parenthesised parts.
void RewriteExpressions(std::vector<TTok>& t) {
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (IsOp(t[i], ")")) Fail("missing (");
        if (!IsOp(t[i], "(")) continue;
        const std::size_t close = MatchClose(t, i);
        std::vector<TTok> inner(t.begin() + static_cast<std::ptrdiff_t>(i + 1),
                                t.begin() + static_cast<std::ptrdiff_t>(close));
        RewriteExpressions(inner);
        t.erase(t.begin() + static_cast<std::ptrdiff_t>(i + 1), t.begin() + static_cast<std::ptrdiff_t>(close + 1));
        t[i] = {TTokKind::Paren, "(" + Render(inner, 0, inner.size()) + ")", "",
                inner.size() == 1 && !inner[0].Plain.empty() ? "(" + inner[0].Plain + ")" : std::string()};
    }
    for (std::size_t i = 0; i + 1 < t.size(); ++i)
        if (IsWord(t[i], "EXISTS") && t[i + 1].Kind == TTokKind::Paren)
            Replace(t, i, i + 2, Truth("EXISTS " + t[i + 1].Text), "EXISTS " + t[i + 1].Text);
    RewriteLevel(t, PrecPow, Ops({{"^", "access_pow"}}));
    RewriteLevel(t, PrecMul, Ops({{"*", "access_mul"}, {"/", "access_div"}}));
    RewriteLevel(t, PrecIDiv, Ops({{"\\", "access_idiv"}}));
    RewriteLevel(t, PrecMod, Ops({{"MOD", "access_mod"}}));
    RewriteLevel(t, PrecAdd, Ops({{"+", "access_add"}, {"-", "access_sub"}}));
    RewriteLevel(t, PrecConcat, Ops({{"&", "access_concat"}}));
    RewriteComparisons(t);
    RewriteNot(t);
    RewriteLevel(t, PrecAnd, Ops({{"AND", "access_and"}}));
    RewriteLevel(t, PrecOr, Ops({{"OR", "access_or"}}));
    RewriteLevel(t, PrecXor, Ops({{"XOR", "access_xor"}}));
    RewriteLevel(t, PrecEqv, Ops({{"EQV", "access_eqv"}}));
    RewriteLevel(t, PrecImp, Ops({{"IMP", "access_imp"}}));
}

// Access function name (upper case) -> registered name.
const std::map<std::string, std::string>& FunctionNames() {
    static const std::map<std::string, std::string> names = [] {
        std::map<std::string, std::string> m;
        for (const char* f :
             {"UCASE",      "LCASE",     "TRIM",      "LTRIM",   "RTRIM",    "LEN",       "LEFT",     "RIGHT",
              "MID",        "INSTR",     "IIF",       "NZ",      "ISNULL",   "VAL",       "CSTR",     "CINT",
              "CLNG",       "CDBL",      "CSNG",      "CBOOL",   "CBYTE",    "CCUR",      "CDATE",    "CVDATE",
              "INT",        "FIX",       "ABS",       "ROUND",   "SGN",      "SQR",       "SPACE",    "STRING",
              "STRCOMP",    "REPLACE",   "STR",       "ASC",     "CHR",      "ISNUMERIC", "INSTRREV", "STRREVERSE",
              "HEX",        "OCT",       "SWITCH",    "CHOOSE",  "FORMAT",   "DATE",      "TIME",     "NOW",
              "YEAR",       "MONTH",     "DAY",       "HOUR",    "MINUTE",   "SECOND",    "WEEKDAY",  "DATESERIAL",
              "TIMESERIAL", "DATEVALUE", "TIMEVALUE", "DATEADD", "DATEDIFF", "DATEPART",  "ISDATE",   "FIRST",
              "LAST",       "STDEV",     "STDEVP",    "VAR",     "VARP",     "EXP",       "LOG",      "SIN",
              "COS",        "TAN",       "ATN",       "STRCONV"}) {
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
    return w == "WHERE" || w == "GROUP" || w == "ORDER" || w == "HAVING" || w == "UNION" || w == "ON" || w == "INNER" ||
           w == "LEFT" || w == "RIGHT" || w == "JOIN" || w == "SET" || w == "LIMIT";
}

struct TContext {
    const TSavedQueryLookup* SavedQuery = nullptr;
    std::vector<std::string>* Parameters = nullptr;  // declared names; :vexa_pN is the N-th
    const TColumnKindsLookup* ColumnKinds = nullptr;
    TCrosstab* Crosstab = nullptr;  // where a crosstab statement tells its cells
};

std::string TranslateTokens(std::vector<TTok> t, TContext& ctx, int depth);

// Saved queries named in FROM / JOIN lists become sub-queries.
void ReplaceSavedQueries(std::vector<TTok>& t, TContext& ctx, int depth) {
    if (!ctx.SavedQuery || !*ctx.SavedQuery) return;
    auto tryReplace = [&](std::size_t k) {
        if (k >= t.size()) return;
        if (t[k].Kind != TTokKind::Word && t[k].Kind != TTokKind::Name) return;
        if (t[k].Kind == TTokKind::Word && IsKeyword(t[k])) return;
        if (k + 1 < t.size() && IsOp(t[k + 1], ".")) return;
        auto sql = (*ctx.SavedQuery)(t[k].Raw);
        if (!sql) return;
        if (depth >= 16) Fail("saved queries nest too deep");
        std::string inner = TranslateTokens(Lex(*sql), ctx, depth + 1);
        const bool aliased =
            k + 1 < t.size() && (IsWord(t[k + 1], "AS") || (IsOperand(t[k + 1]) && t[k + 1].Kind != TTokKind::String));
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
                tryReplace(j + 1);
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

// The end of the top-level clause list of a SELECT starting at from: ORDER, HAVING, UNION or the end.
std::size_t TopLevelWord(const std::vector<TTok>& t, std::size_t from, const std::set<std::string>& words) {
    int level = 0;
    for (std::size_t i = from; i < t.size(); ++i) {
        if (IsOp(t[i], "("))
            ++level;
        else if (IsOp(t[i], ")"))
            --level;
        else if (level == 0 && t[i].Kind == TTokKind::Word && words.count(Upper(t[i].Raw)))
            return i;
    }
    return t.size();
}

// DISTINCTROW keeps one row per distinct combination of the source rows whose fields
// are shown. When the shown fields come from every table (or one table), every row is
// such a combination; otherwise the rows are grouped by those tables' row ids.
void RewriteDistinctRow(std::vector<TTok>& t, std::size_t at, TContext& ctx) {
    const std::size_t from = TopLevelWord(t, at, {"FROM"});
    std::vector<std::string> sources;  // upper-case names or aliases, with their spelling
    std::map<std::string, std::string> spelling;
    std::set<std::string> savedQueries;
    const std::size_t clauseEnd = TopLevelWord(t, from + 1, {"WHERE", "GROUP", "ORDER", "HAVING", "UNION"});
    for (std::size_t i = from; i + 1 < clauseEnd; ++i) {
        if (!(IsWord(t[i], "FROM") || IsWord(t[i], "JOIN") || IsOp(t[i], ",") || IsOp(t[i], "("))) continue;
        const TTok& name = t[i + 1];
        if ((name.Kind != TTokKind::Word && name.Kind != TTokKind::Name) || IsKeyword(name)) continue;
        std::size_t k = i + 2;
        std::string alias = name.Raw;
        if (k < clauseEnd && IsWord(t[k], "AS")) ++k;
        if (k < clauseEnd && (t[k].Kind == TTokKind::Name || (t[k].Kind == TTokKind::Word && !IsKeyword(t[k]))))
            alias = t[k].Raw;
        sources.push_back(Upper(alias));
        spelling[Upper(alias)] = alias;
        if (ctx.SavedQuery && *ctx.SavedQuery && (*ctx.SavedQuery)(name.Raw)) savedQueries.insert(Upper(alias));
    }
    std::set<std::string> shown;
    bool all = false;
    for (std::size_t i = at + 1; i < from; ++i) {
        if (IsOp(t[i], "*") && (IsOp(t[i - 1], ",") || i == at + 1)) all = true;
        if (i + 1 < from && IsOp(t[i + 1], ".") && (t[i].Kind == TTokKind::Word || t[i].Kind == TTokKind::Name))
            shown.insert(Upper(t[i].Raw));
    }
    t.erase(t.begin() + static_cast<std::ptrdiff_t>(at));
    const bool grouped = TopLevelWord(t, at, {"GROUP"}) < TopLevelWord(t, at, {"UNION"});
    std::set<std::string> distinctSources(sources.begin(), sources.end());
    if (all || grouped || distinctSources.size() <= 1 || shown.empty() || shown.size() >= distinctSources.size())
        return;
    for (const auto& s : shown)
        if (!distinctSources.count(s)) return;  // a name that is no source: every row
    for (const auto& s : shown) {
        if (savedQueries.count(s)) {  // no row ids: distinct values instead
            t.insert(t.begin() + static_cast<std::ptrdiff_t>(at), TTok{TTokKind::Word, "DISTINCT", "DISTINCT"});
            return;
        }
    }
    std::string groupBy = "GROUP BY";
    bool first = true;
    for (const auto& s : shown) {
        groupBy += (first ? " " : ", ") + QuoteSqlName(spelling[s]) + ".rowid";
        first = false;
    }
    const std::size_t end = TopLevelWord(t, at, {"ORDER", "HAVING", "UNION"});
    t.insert(t.begin() + static_cast<std::ptrdiff_t>(end), TTok{TTokKind::Fixed, groupBy, ""});
}

// ---- Jet's type check of comparisons ---------------------------------------------------
// Jet refuses to compare a text with a number in a criterion ("Data type mismatch in
// criteria expression"; in a join's ON, "Type mismatch in expression") where SQLite
// would quietly compare them. Checked where both kinds are known before the query runs:
// a column of a table of the query's own sources, a text or a number written in it.
// Anything computed, a parameter, a date or a column of a sub-query is left alone.

// A "text" (a #date# is a String too, without Access's text order).
bool IsTextLiteral(const TTok& t) {
    static const std::string order = " COLLATE NOCASE";
    return t.Kind == TTokKind::String && t.Text.size() > order.size() &&
           t.Text.compare(t.Text.size() - order.size(), order.size(), order) == 0;
}

bool IsNameTok(const TTok& t) { return t.Kind == TTokKind::Name || (t.Kind == TTokKind::Word && !IsKeyword(t)); }

// The tables one SELECT (or UPDATE, DELETE) reads, by upper-case alias; Unknown when
// some other source (a sub-query, a saved query) could hold a column too.
struct TScope {
    std::vector<std::pair<std::string, std::map<std::string, TColumnKind>>> Tables;
    bool Unknown = false;
};

TScope ScopeOf(const std::vector<TTok>& t, std::size_t b, std::size_t e, const TContext& ctx) {
    TScope scope;
    std::size_t from = e;
    int level = 0;
    for (std::size_t i = b; i < e && from == e; ++i) {
        if (IsOp(t[i], "("))
            ++level;
        else if (IsOp(t[i], ")"))
            --level;
        else if (level == 0 && (IsWord(t[i], "FROM") || (i == b && IsWord(t[i], "UPDATE"))))
            from = i;
    }
    level = 0;
    static const std::set<std::string> clauseEnds = {"WHERE", "GROUP", "ORDER", "HAVING", "UNION", "SET"};
    for (std::size_t i = from; i + 1 < e; ++i) {
        if (IsOp(t[i], "(") && IsWord(t[i + 1], "SELECT")) {
            scope.Unknown = true;
            i = MatchClose(t, i);
            continue;
        }
        if (IsOp(t[i], "(")) ++level;
        if (IsOp(t[i], ")")) --level;
        if (level == 0 && t[i].Kind == TTokKind::Word && clauseEnds.count(Upper(t[i].Raw))) break;
        if (t[i + 1].Kind == TTokKind::Group) scope.Unknown = true;  // a saved query, as a sub-query
        const bool sourcePlace = i == from || IsWord(t[i], "JOIN") || IsOp(t[i], ",") || IsOp(t[i], "(");
        if (!sourcePlace || !IsNameTok(t[i + 1])) continue;
        if (i + 2 < e && (IsOp(t[i + 2], ".") || IsOp(t[i + 2], "("))) continue;
        auto columns = (*ctx.ColumnKinds)(t[i + 1].Raw);
        if (!columns) {
            scope.Unknown = true;
            continue;
        }
        std::string alias = t[i + 1].Raw;
        std::size_t k = i + 2;
        if (k < e && IsWord(t[k], "AS")) ++k;
        if (k < e && IsNameTok(t[k])) alias = t[k].Raw;
        scope.Tables.emplace_back(UpperAscii(alias), std::move(*columns));
    }
    return scope;
}

// The kind of column [qualifier.]name as the innermost scope that knows it tells; Other
// when it cannot be told (no such column, a name of two tables, an unknown source).
TColumnKind ColumnKindIn(const std::vector<const TScope*>& scopes, const std::string& qualifier,
                         const std::string& name) {
    const std::string q = UpperAscii(qualifier), n = UpperAscii(name);
    for (auto s = scopes.rbegin(); s != scopes.rend(); ++s) {
        std::vector<TColumnKind> found;
        bool tableFound = false;
        for (const auto& [alias, columns] : (*s)->Tables) {
            if (!q.empty() && alias != q) continue;
            tableFound = true;
            const auto c = columns.find(n);
            if (c != columns.end()) found.push_back(c->second);
        }
        if (found.size() == 1) return found[0];
        if (found.size() > 1 || (*s)->Unknown || tableFound) return TColumnKind::Other;
    }
    return TColumnKind::Other;
}

// One side of a comparison: its kind when known, whether it is a column, and how it reads.
struct TSide {
    TColumnKind Kind = TColumnKind::Other;
    bool Column = false;
    std::string Shown;
};

// A text or number literal at [k, end) (a number with its sign).
bool LiteralAt(const std::vector<TTok>& t, std::size_t k, std::size_t e, std::size_t& end, TSide& side) {
    if (k < e && IsTextLiteral(t[k])) {
        end = k + 1;
        side = {TColumnKind::Text, false, "\"" + t[k].Raw + "\""};
        return true;
    }
    std::size_t n = k;
    if (n < e && IsUnarySign(t, n)) ++n;
    if (n < e && t[n].Kind == TTokKind::Number) {
        end = n + 1;
        side = {TColumnKind::Number, false, (n > k ? t[k].Text : std::string()) + t[n].Text};
        return true;
    }
    return false;
}

// A column name at [k, end): name or qualifier.name.
bool ColumnAt(const std::vector<TTok>& t, std::size_t k, std::size_t e, const std::vector<const TScope*>& scopes,
              std::size_t& end, TSide& side) {
    if (k >= e || !IsNameTok(t[k])) return false;
    if (k + 2 < e && IsOp(t[k + 1], ".") && IsNameTok(t[k + 2])) {
        end = k + 3;
        side = {ColumnKindIn(scopes, t[k].Raw, t[k + 2].Raw), true, t[k].Raw + "." + t[k + 2].Raw};
    } else {
        end = k + 1;
        side = {ColumnKindIn(scopes, "", t[k].Raw), true, t[k].Raw};
    }
    return true;
}

// The operand that ends right before at, when it is a column or a literal standing alone
// (nothing that binds tighter than a comparison before it).
bool LeftSide(const std::vector<TTok>& t, std::size_t b, std::size_t at, const std::vector<const TScope*>& scopes,
              TSide& side) {
    static const std::set<std::string> before = {"WHERE", "ON",  "HAVING", "AND",  "OR",   "NOT",
                                                 "XOR",   "EQV", "IMP",    "WHEN", "SELECT"};
    for (std::size_t k = at > b + 3 ? at - 3 : b; k < at; ++k) {
        std::size_t end = 0;
        if (!(LiteralAt(t, k, at, end, side) || ColumnAt(t, k, at, scopes, end, side)) || end != at) continue;
        return k == b || IsOp(t[k - 1], "(") || IsOp(t[k - 1], ",") ||
               (t[k - 1].Kind == TTokKind::Word && before.count(Upper(t[k - 1].Raw)));
    }
    return false;
}

// The operand that starts at k when it is a column or a literal standing alone; end after it.
bool RightSide(const std::vector<TTok>& t, std::size_t k, std::size_t e, const std::vector<const TScope*>& scopes,
               std::size_t& end, TSide& side) {
    static const std::set<std::string> after = {"AND",   "OR",    "XOR",   "EQV",  "IMP",  "ORDER", "GROUP", "HAVING",
                                                "UNION", "WHERE", "THEN",  "ELSE", "END",  "WHEN",  "INNER", "LEFT",
                                                "RIGHT", "JOIN",  "FROM"};
    if (!(LiteralAt(t, k, e, end, side) || ColumnAt(t, k, e, scopes, end, side))) return false;
    return end == e || IsOp(t[end], ")") || IsOp(t[end], ",") || IsOp(t[end], ";") ||
           (t[end].Kind == TTokKind::Word && after.count(Upper(t[end].Raw)));
}

// Jet's words for a mismatch in a criterion, and in the condition of a join.
constexpr const char* kCriteriaMismatch = "Data type mismatch in criteria expression";
constexpr const char* kJoinMismatch = "Type mismatch in expression";

void CheckPair(const TSide& a, const TSide& b, const std::string& op, const char* mismatchWords) {
    const bool mismatch = (a.Kind == TColumnKind::Text && b.Kind == TColumnKind::Number) ||
                          (a.Kind == TColumnKind::Number && b.Kind == TColumnKind::Text);
    if (mismatch && (a.Column || b.Column))
        throw EAccessDbError(std::string(mismatchWords) + ": " + a.Shown + " " + op + " " + b.Shown);
}

// The comparison (=, <>, <, >, <=, >=, [Not] In (list), [Not] Between) at i, if any.
void CheckComparisonAt(const std::vector<TTok>& t, std::size_t b, std::size_t e, std::size_t i,
                       const std::vector<const TScope*>& scopes, const char* mismatchWords) {
    static const std::set<std::string> symbols = {"=", "<>", "<", ">", "<=", ">=", "!="};
    const bool symbol = t[i].Kind == TTokKind::Op && symbols.count(t[i].Text);
    const bool in = IsWord(t[i], "IN"), between = IsWord(t[i], "BETWEEN");
    if (!symbol && !in && !between) return;
    const std::size_t leftEnd = (in || between) && i > b && IsWord(t[i - 1], "NOT") ? i - 1 : i;
    TSide left, right;
    if (leftEnd == b || !LeftSide(t, b, leftEnd, scopes, left)) return;
    const std::string op = symbol ? t[i].Text : Upper(t[i].Raw);
    std::size_t end = 0;
    if (symbol) {
        if (RightSide(t, i + 1, e, scopes, end, right)) CheckPair(left, right, op, mismatchWords);
    } else if (between) {
        std::size_t hiEnd = 0;
        TSide high;
        if (RightSide(t, i + 1, e, scopes, end, right) && end < e && IsWord(t[end], "AND") &&
            RightSide(t, end + 1, e, scopes, hiEnd, high)) {
            CheckPair(left, right, op, mismatchWords);
            CheckPair(left, high, op, mismatchWords);
        }
    } else if (i + 1 < e && IsOp(t[i + 1], "(") && !(i + 2 < e && IsWord(t[i + 2], "SELECT"))) {
        const std::size_t close = MatchClose(t, i + 1);
        for (std::size_t k = i + 2; k < close; k = end + 1)
            if (!RightSide(t, k, close, scopes, end, right) || (end < close && !IsOp(t[end], ",")))
                return;
            else
                CheckPair(left, right, op, mismatchWords);
    }
}

void CheckStatementTypes(const std::vector<TTok>& t, std::size_t b, std::size_t e,
                         std::vector<const TScope*>& scopes, const TContext& ctx);

// The comparisons of criteria (WHERE, HAVING, JOIN ... ON) from b to e; criterion: the
// words of a mismatch where the tokens from b on are one (inside parentheses, as the
// clause around them), else nothing.
void CheckComparisons(const std::vector<TTok>& t, std::size_t b, std::size_t e, std::vector<const TScope*>& scopes,
                      const TContext& ctx, const char* criterion) {
    static const std::set<std::string> others = {"SELECT", "FROM",  "GROUP", "ORDER", "SET",
                                                 "JOIN",   "INNER", "LEFT",  "RIGHT", "VALUES"};
    for (std::size_t i = b; i < e; ++i) {
        if (IsWord(t[i], "WHERE") || IsWord(t[i], "HAVING")) criterion = kCriteriaMismatch;
        if (IsWord(t[i], "ON")) criterion = kJoinMismatch;
        if (t[i].Kind == TTokKind::Word && others.count(Upper(t[i].Raw))) criterion = nullptr;
        if (criterion) CheckComparisonAt(t, b, e, i, scopes, criterion);
        if (!IsOp(t[i], "(")) continue;
        const std::size_t close = MatchClose(t, i);
        if (i + 1 < close && IsWord(t[i + 1], "SELECT"))
            CheckStatementTypes(t, i + 1, close, scopes, ctx);
        else
            CheckComparisons(t, i + 1, close, scopes, ctx, criterion);
        i = close;
    }
}

// A statement or a sub-query: each SELECT of a union with its own sources, inside the outer ones.
void CheckStatementTypes(const std::vector<TTok>& t, std::size_t b, std::size_t e,
                         std::vector<const TScope*>& scopes, const TContext& ctx) {
    std::size_t start = b;
    int level = 0;
    for (std::size_t i = b; i <= e; ++i) {
        if (i < e && IsOp(t[i], "(")) ++level;
        if (i < e && IsOp(t[i], ")")) --level;
        if (i < e && !(level == 0 && IsWord(t[i], "UNION"))) continue;
        const TScope scope = ScopeOf(t, start, i, ctx);
        scopes.push_back(&scope);
        CheckComparisons(t, start, i, scopes, ctx, nullptr);
        scopes.pop_back();
        start = i + 1;
    }
}

// TOP keeps the rows that tie with the last one kept in the sort order: the number of
// rows whose rank in ORDER BY is within the first n. Empty when the query has no ORDER BY
// or is DISTINCT or a union. A position (ORDER BY 2) or a name given with AS sorts by that
// column's expression, which the ranking repeats (in its window a number is a constant).
std::string TopTies(const std::vector<TTok>& t, const std::string& rows) {
    if (t.empty() || !IsWord(t[0], "SELECT")) return std::string();
    std::size_t from = t.size(), order = t.size();
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (IsWord(t[i], "UNION") || IsWord(t[i], "DISTINCT")) return std::string();
        if (from == t.size() && IsWord(t[i], "FROM")) from = i;
        if (IsWord(t[i], "ORDER") && i + 1 < t.size() && IsWord(t[i + 1], "BY")) order = i;
    }
    if (from == t.size() || order == t.size()) return std::string();
    // The shown columns: each one's expression and the name AS gives it (upper case).
    std::vector<std::pair<std::size_t, std::size_t>> shown;
    std::vector<std::string> names;
    std::size_t s = 1;
    while (s < from && IsWord(t[s], "ALL")) ++s;
    while (s < from) {
        std::size_t e = s;
        while (e < from && !IsOp(t[e], ",")) ++e;
        const bool named = e >= s + 3 && IsWord(t[e - 2], "AS");
        shown.emplace_back(s, named ? e - 2 : e);
        names.push_back(named ? UpperAscii(t[e - 1].Raw) : std::string());
        s = e + 1;
    }
    std::string by;
    for (s = order + 2; s < t.size();) {
        std::size_t e = s;
        while (e < t.size() && !IsOp(t[e], ",")) ++e;
        const bool alone = e == s + 1 || (e == s + 2 && (IsWord(t[s + 1], "ASC") || IsWord(t[s + 1], "DESC")));
        std::optional<std::size_t> column;
        if (alone && t[s].Kind == TTokKind::Number) {
            const auto n = TextToInt(t[s].Text);
            if (!n || *n < 1 || static_cast<std::size_t>(*n) > shown.size()) return std::string();
            column = static_cast<std::size_t>(*n - 1);
        } else if (alone && (t[s].Kind == TTokKind::Word || t[s].Kind == TTokKind::Name)) {
            const auto it = std::find(names.begin(), names.end(), UpperAscii(t[s].Raw));
            if (it != names.end()) column = static_cast<std::size_t>(it - names.begin());
        }
        std::string item = Render(t, s, e);
        if (column) {
            const auto [a, b] = shown[*column];
            if (a == b || IsOp(t[b - 1], "*")) return std::string();  // * or t.* has no one expression
            item = "(" + Render(t, a, b) + ")" + (e == s + 2 ? " " + t[s + 1].Text : std::string());
        }
        by += (by.empty() ? "" : ", ") + item;
        s = e + 1;
    }
    return "(SELECT count(*) FROM (SELECT rank() OVER (ORDER BY " + by + ") AS vexa_rank " + Render(t, from, order) +
           ") WHERE vexa_rank <= " + rows + ")";
}

std::string TranslateStatement(std::vector<TTok> t, const std::vector<std::string>& declared, TContext& ctx,
                               int depth);

// The top-level items of a comma-separated list of tokens from b to e.
std::vector<std::pair<std::size_t, std::size_t>> ListItems(const std::vector<TTok>& t, std::size_t b, std::size_t e) {
    std::vector<std::pair<std::size_t, std::size_t>> items;
    int level = 0;
    std::size_t start = b;
    for (std::size_t i = b; i <= e; ++i) {
        if (i < e && IsOp(t[i], "(")) ++level;
        if (i < e && IsOp(t[i], ")")) --level;
        if (i < e && !(level == 0 && IsOp(t[i], ","))) continue;
        if (i > start) items.emplace_back(start, i);
        start = i + 1;
    }
    return items;
}

// TRANSFORM value SELECT headings FROM ... [GROUP BY keys] ... PIVOT column [IN (values)]:
// the rows are the SELECT with the keys of its groups after its own columns (sorted by
// them unless it sorts itself); the cells are the value of each group and column heading
// (TCrosstab). Both are translated as any other statement.
std::string TranslateCrosstab(const std::vector<TTok>& t, const std::vector<std::string>& declared, TContext& ctx,
                              int depth) {
    if (depth > 0 || !ctx.Crosstab) Fail("a crosstab query cannot be a part of another query");
    const std::size_t select = TopLevelWord(t, 1, {"SELECT"});
    const std::size_t pivot = TopLevelWord(t, select, {"PIVOT"});
    if (select == t.size() || pivot == t.size() || select == 1 || pivot + 1 == t.size())
        Fail("TRANSFORM without SELECT or PIVOT");
    auto tokens = [&](std::size_t b, std::size_t e) {
        if (e < b) Fail("TRANSFORM with its clauses out of order");
        return std::vector<TTok>(t.begin() + static_cast<std::ptrdiff_t>(b),
                                 t.begin() + static_cast<std::ptrdiff_t>(e));
    };
    auto word = [](const char* w) { return TTok{TTokKind::Word, w, w}; };
    const TTok comma{TTokKind::Op, ",", ""};
    // The value without the name AS gives it; the column heading; the IN list.
    const std::vector<TTok> value = tokens(1, TopLevelWord(t, 1, {"AS", "SELECT"}));
    std::size_t pivotEnd = TopLevelWord(t, pivot + 1, {"IN"});
    const std::vector<TTok> heading = tokens(pivot + 1, pivotEnd);
    TCrosstab& crosstab = *ctx.Crosstab;
    crosstab.Headings.clear();
    if (pivotEnd < t.size()) {
        if (pivotEnd + 1 >= t.size() || !IsOp(t[pivotEnd + 1], "(") || MatchClose(t, pivotEnd + 1) + 1 != t.size())
            Fail("PIVOT ... IN without a list");
        for (const auto& [b, e] : ListItems(t, pivotEnd + 2, t.size() - 1)) {
            if (e == b + 1 && t[b].Kind == TTokKind::String && IsTextLiteral(t[b]))
                crosstab.Headings.push_back(t[b].Raw);
            else if (e == b + 1 && t[b].Kind == TTokKind::Number)
                crosstab.Headings.push_back(t[b].Text);
            else if (e == b + 2 && IsOp(t[b], "-") && t[b + 1].Kind == TTokKind::Number)
                crosstab.Headings.push_back("-" + t[b + 1].Text);
            else
                Fail("PIVOT ... IN lists texts and numbers only");
        }
    }
    // The SELECT's parts: its columns, FROM and WHERE, the keys of GROUP BY, and what follows them.
    const std::size_t from = TopLevelWord(t, select, {"FROM"});
    const std::size_t group = std::min(TopLevelWord(t, select, {"GROUP"}), pivot);
    const std::size_t after = std::min(TopLevelWord(t, group, {"HAVING", "ORDER"}), pivot);
    const bool ordered = TopLevelWord(t, select, {"ORDER"}) < pivot;
    const auto keys = group + 2 <= after ? ListItems(t, group + 2, after)
                                          : std::vector<std::pair<std::size_t, std::size_t>>();
    crosstab.Keys = keys.size();
    std::vector<TTok> rows = tokens(select, std::min(from, pivot)), cells{word("SELECT")};
    std::vector<TTok> keyList;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const std::string name = "vexa_k" + std::to_string(k + 1);
        rows.push_back(comma);
        for (const TTok& tok : tokens(keys[k].first, keys[k].second)) rows.push_back(tok);
        rows.push_back(word("AS"));
        rows.push_back(word(name.c_str()));
        if (k) keyList.push_back(comma);
        for (const TTok& tok : tokens(keys[k].first, keys[k].second)) keyList.push_back(tok);
    }
    for (const TTok& tok : tokens(std::min(from, pivot), pivot)) rows.push_back(tok);
    if (!ordered && !keys.empty()) {
        rows.push_back(word("ORDER"));
        rows.push_back(word("BY"));
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (k) rows.push_back(comma);
            rows.push_back(word(("vexa_k" + std::to_string(k + 1)).c_str()));
        }
    }
    for (const TTok& tok : keyList) cells.push_back(tok);
    if (!keyList.empty()) cells.push_back(comma);
    cells.insert(cells.end(), heading.begin(), heading.end());
    cells.push_back(comma);
    cells.insert(cells.end(), value.begin(), value.end());
    const std::size_t whereEnd = std::min({group, TopLevelWord(t, select, {"HAVING", "ORDER"}), pivot});
    for (const TTok& tok : tokens(std::min(from, pivot), whereEnd)) cells.push_back(tok);
    cells.push_back(word("GROUP"));
    cells.push_back(word("BY"));
    for (const TTok& tok : keyList) cells.push_back(tok);
    if (!keyList.empty()) cells.push_back(comma);
    cells.insert(cells.end(), heading.begin(), heading.end());
    crosstab.CellSql = TranslateStatement(cells, declared, ctx, depth);
    return TranslateStatement(rows, declared, ctx, depth);
}

std::string TranslateTokens(std::vector<TTok> t, TContext& ctx, int depth) {
    while (!t.empty() && IsOp(t.back(), ";")) t.pop_back();
    if (t.empty()) Fail("empty query");
    // Parentheses balanced and nested no deeper than kMaxNesting (the rewriting recurses
    // into each level: thousands of levels took gigabytes); one statement only, as Access
    // runs (a ";" inside follows only PARAMETERS).
    int open = 0, deepest = 0;
    bool parameters = IsWord(t[0], "PARAMETERS");
    for (const TTok& tok : t) {
        if (IsOp(tok, "(")) deepest = std::max(deepest, ++open);
        if (IsOp(tok, ")") && --open < 0) Fail("missing (");
        if (IsOp(tok, ";") && open == 0 && !std::exchange(parameters, false))
            throw EAccessSqlRefused("Dotaz obsahuje viac ako jeden príkaz", "viac ako jeden príkaz");
    }
    if (open > 0) Fail("missing )");
    if (deepest > kMaxNesting)
        throw EAccessSqlRefused("Dotaz je vnorený príliš hlboko (viac ako " + std::to_string(kMaxNesting) +
                                    " úrovní zátvoriek)",
                                "vnorenie hlbšie ako " + std::to_string(kMaxNesting) + " úrovní zátvoriek");

    // PARAMETERS name type [, ...]; : the names become bound parameters.
    std::vector<std::string> declared;
    if (IsWord(t[0], "PARAMETERS")) {
        std::size_t k = 1;
        bool itemStart = true;
        int level = 0;
        for (; k < t.size() && !(level == 0 && IsOp(t[k], ";")); ++k) {
            if (IsOp(t[k], "("))
                ++level;
            else if (IsOp(t[k], ")"))
                --level;
            else if (level == 0 && IsOp(t[k], ","))
                itemStart = true;
            else if (itemStart) {
                if (t[k].Kind != TTokKind::Word && t[k].Kind != TTokKind::Name) Fail("bad PARAMETERS");
                declared.push_back(t[k].Raw);
                itemStart = false;
            }
        }
        if (k >= t.size()) Fail("PARAMETERS without ;");
        t.erase(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(k + 1));
        if (t.empty()) Fail("empty query");
    }
    if (IsWord(t[0], "TRANSFORM")) return TranslateCrosstab(t, declared, ctx, depth);
    return TranslateStatement(std::move(t), declared, ctx, depth);
}

std::string TranslateStatement(std::vector<TTok> t, const std::vector<std::string>& declared, TContext& ctx,
                               int depth) {
    // TABLE x (a part of a union) -> SELECT * FROM x
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        if (!IsWord(t[i], "TABLE") || !(i == 0 || IsWord(t[i - 1], "UNION") || IsWord(t[i - 1], "ALL"))) continue;
        t[i] = {TTokKind::Word, "SELECT", "SELECT"};
        t.insert(t.begin() + static_cast<std::ptrdiff_t>(i + 1),
                 {TTok{TTokKind::Op, "*", ""}, TTok{TTokKind::Word, "FROM", "FROM"}});
    }

    // DISTINCTROW; TOP n [PERCENT] becomes LIMIT.
    std::string limit;
    bool percent = false;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (IsWord(t[i], "DISTINCTROW")) RewriteDistinctRow(t, i, ctx);
    if (IsWord(t[0], "SELECT")) {
        std::size_t k = 1;
        while (k < t.size() && (IsWord(t[k], "DISTINCT") || IsWord(t[k], "ALL"))) ++k;
        if (k + 1 < t.size() && IsWord(t[k], "TOP") && t[k + 1].Kind == TTokKind::Number) {
            limit = t[k + 1].Text;
            std::size_t e = k + 2;
            if (e < t.size() && IsWord(t[e], "PERCENT")) percent = true, ++e;
            t.erase(t.begin() + static_cast<std::ptrdiff_t>(k), t.begin() + static_cast<std::ptrdiff_t>(e));
        }
    }
    // SELECT ... INTO t FROM ... (make-table) -> CREATE TABLE t AS SELECT ...
    std::string makeTable;
    if (IsWord(t[0], "SELECT")) {
        const std::size_t into = TopLevelWord(t, 1, {"INTO", "FROM"});
        if (into + 1 < t.size() && IsWord(t[into], "INTO")) {
            makeTable = t[into + 1].Kind == TTokKind::Name ? t[into + 1].Text : QuoteSqlName(t[into + 1].Raw);
            t.erase(t.begin() + static_cast<std::ptrdiff_t>(into), t.begin() + static_cast<std::ptrdiff_t>(into + 2));
        }
    }
    // DELETE t.* FROM t -> DELETE FROM t
    if (IsWord(t[0], "DELETE") && t.size() > 1 && !IsWord(t[1], "FROM")) {
        std::size_t k = 1;
        while (k < t.size() && !IsWord(t[k], "FROM")) ++k;
        if (k == t.size()) Fail("DELETE without FROM");
        t.erase(t.begin() + 1, t.begin() + static_cast<std::ptrdiff_t>(k));
    }
    // UPDATE t SET t.a = ... -> SET a = ...; the = of an assignment is no comparison.
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
            if (itemStart && j + 1 < t.size() && IsOp(t[j + 1], "=")) t[j + 1] = {TTokKind::Fixed, "=", ""};
            itemStart = false;
            if (IsOp(t[j], "("))
                ++level;
            else if (IsOp(t[j], ")"))
                --level;
            else if (level == 0 && IsOp(t[j], ","))
                itemStart = true;
        }
    }
    ReplaceSavedQueries(t, ctx, depth);

    // Words: constants, parameters, function names.
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].Kind != TTokKind::Word && t[i].Kind != TTokKind::Name) continue;
        const bool qualified = (i > 0 && IsOp(t[i - 1], ".")) || (i + 1 < t.size() && IsOp(t[i + 1], "."));
        const bool call = i + 1 < t.size() && IsOp(t[i + 1], "(");
        const bool alias = i > 0 && IsWord(t[i - 1], "AS");
        if (qualified || alias) continue;
        auto param = std::find_if(declared.begin(), declared.end(),
                                  [&](const std::string& d) { return SameTextAscii(d, t[i].Raw); });
        if (param != declared.end() && !call) {
            auto& all = *ctx.Parameters;
            auto known =
                std::find_if(all.begin(), all.end(), [&](const std::string& d) { return SameTextAscii(d, *param); });
            if (known == all.end()) known = all.insert(all.end(), *param);
            t[i] = {TTokKind::Param, ":vexa_p" + std::to_string(known - all.begin() + 1), ""};
            continue;
        }
        if (t[i].Kind != TTokKind::Word) continue;
        const std::string w = Upper(t[i].Raw);
        // On is a constant only where an operand stands; after a table it starts a join condition.
        const bool operandPlace = i == 0 || (t[i - 1].Kind == TTokKind::Op && t[i - 1].Text != ")") ||
                                  (IsKeyword(t[i - 1]) && !IsWord(t[i - 1], "ON"));
        if (!call && (w == "TRUE" || w == "YES" || (w == "ON" && operandPlace)))
            t[i] = {TTokKind::Number, "-1", ""};
        else if (!call && (w == "FALSE" || w == "NO" || w == "OFF"))
            t[i] = {TTokKind::Number, "0", ""};
        else if (call) {
            auto it = FunctionNames().find(w);
            if (it != FunctionNames().end()) t[i] = {TTokKind::Word, it->second, it->second};
        }
    }
    if (ctx.ColumnKinds && *ctx.ColumnKinds) {
        std::vector<const TScope*> scopes;
        CheckStatementTypes(t, 0, t.size(), scopes, ctx);
    }
    RewriteExpressions(t);
    std::string out = Render(t, 0, t.size());
    if (!limit.empty()) {
        // Rows to keep: n, or a share of all rows rounded up to whole rows.
        std::string rows = limit;
        if (percent) {
            const std::string share = "count(*) * " + limit + " / 100.0";
            rows = "(SELECT cast(" + share + " as integer) + (" + share + " > cast(" + share + " as integer)) FROM (" +
                   out + "))";
        }
        out += " LIMIT " + (TopTies(t, rows).empty() ? rows : TopTies(t, rows));
    }
    if (!makeTable.empty()) out = "DROP TABLE IF EXISTS " + makeTable + "; CREATE TABLE " + makeTable + " AS " + out;
    return out;
}

}  // namespace

TTranslatedSql TranslateAccessQuery(const std::string& accessSql, const TSavedQueryLookup& savedQuery,
                                    const TColumnKindsLookup& columnKinds) {
    if (accessSql.size() > kMaxStatementBytes)
        throw EAccessSqlRefused("Dotaz je dlhší ako " + std::to_string(kMaxStatementBytes) + " znakov",
                                "dlhší ako " + std::to_string(kMaxStatementBytes) + " znakov");
    TTranslatedSql out;
    TCrosstab crosstab;
    TContext ctx{&savedQuery, &out.Parameters, &columnKinds, &crosstab};
    out.Sql = TranslateTokens(Lex(accessSql), ctx, 0);
    if (!crosstab.CellSql.empty()) out.Crosstab = std::move(crosstab);
    return out;
}

std::string TranslateAccessSql(const std::string& accessSql, const TSavedQueryLookup& savedQuery) {
    return TranslateAccessQuery(accessSql, savedQuery).Sql;
}

namespace {

// An order of values: Null, numbers, texts (in Access's order), binary data.
struct TValueLess {
    static int Rank(const TDbValue& v) { return v.IsNull() ? 0 : v.IsInteger() || v.IsReal() ? 1 : v.IsText() ? 2 : 3; }
    static int Compare(const TDbValue& a, const TDbValue& b) {
        const int ra = Rank(a), rb = Rank(b);
        if (ra != rb) return ra < rb ? -1 : 1;
        if (ra == 1) return a.AsFloat() < b.AsFloat() ? -1 : a.AsFloat() > b.AsFloat() ? 1 : 0;
        if (ra == 2) return CompareAccessTexts(a.AsText(), b.AsText());
        return a.AsText().compare(b.AsText());
    }
    bool operator()(const TDbValue& a, const TDbValue& b) const { return Compare(a, b) < 0; }
    bool operator()(const TDbRow& a, const TDbRow& b) const {
        for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
            if (const int c = Compare(a[i], b[i])) return c < 0;
        return a.size() < b.size();
    }
};

}  // namespace

TDbResult CrosstabResult(const TDbResult& rows, const TDbResult& cells, const TCrosstab& crosstab) {
    const std::size_t keys = crosstab.Keys;
    if (rows.Columns.size() < keys || cells.Columns.size() != keys + 2)
        throw EAccessDbError("Cannot run the crosstab query: unexpected columns");
    // The headings: the IN list, or every value found (sorted); each one's column.
    std::vector<std::string> names;
    std::map<TDbValue, std::size_t, TValueLess> found;
    auto column = [&](const TDbValue& heading) -> std::optional<std::size_t> {
        if (crosstab.Headings.empty()) return found.at(heading);
        for (std::size_t i = 0; i < crosstab.Headings.size(); ++i)
            if (!heading.IsNull() && CompareAccessTexts(heading.AsText(), crosstab.Headings[i]) == 0) return i;
        return std::nullopt;
    };
    if (crosstab.Headings.empty()) {
        for (const TDbRow& cell : cells.Rows) found.emplace(cell[keys], 0);
        for (auto& [heading, index] : found) {
            index = names.size();
            names.push_back(heading.IsNull() ? "<>" : heading.AsText());
        }
    } else {
        names = crosstab.Headings;
    }
    std::map<TDbRow, TDbRow, TValueLess> values;  // by the keys of a group: one value per heading
    for (const TDbRow& cell : cells.Rows) {
        const auto at = column(cell[keys]);
        if (!at) continue;
        TDbRow& row = values.try_emplace(TDbRow(cell.begin(), cell.begin() + static_cast<std::ptrdiff_t>(keys)),
                                         TDbRow(names.size()))
                          .first->second;
        if (row[*at].IsNull()) row[*at] = cell[keys + 1];
    }
    TDbResult out;
    const std::size_t own = rows.Columns.size() - keys;
    out.Columns.assign(rows.Columns.begin(), rows.Columns.begin() + static_cast<std::ptrdiff_t>(own));
    out.Columns.insert(out.Columns.end(), names.begin(), names.end());
    for (const TDbRow& r : rows.Rows) {
        TDbRow row(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(own));
        const auto v = values.find(TDbRow(r.begin() + static_cast<std::ptrdiff_t>(own), r.end()));
        if (v != values.end())
            row.insert(row.end(), v->second.begin(), v->second.end());
        else
            row.resize(own + names.size());
        out.Rows.push_back(std::move(row));
    }
    return out;
}

std::string AccessParameterName(std::size_t index) { return "vexa_p" + std::to_string(index + 1); }

std::string QuoteSqlName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace vexa
