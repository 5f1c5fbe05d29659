#pragma once
// The Access-SQL layer: Access (Jet) SQL text rewritten into SQLite's dialect,
// and the Access functions that the rewritten text calls, registered in SQLite.
//
// Rewritten: "double-quoted" strings (compared by Access's text order),
// [bracketed] names, #dates#, True/False/Yes/No/On/Off, every operator as a
// function or an expression with Access's precedence, values (True = -1) and
// null rules, Access function names, PARAMETERS, DISTINCTROW, TOP n [PERCENT],
// SELECT ... INTO, DELETE t.* FROM, qualified SET targets, TABLE x in unions,
// comparisons with ANY / SOME / ALL sub-queries, TRANSFORM ... PIVOT (as two
// statements, TCrosstab), and saved queries named in FROM (as sub-queries).
// Like keeps its keyword; its Access wildcards (* ? # [list] [!list]) are
// what the registered like() understands.
#include "access/AccessDb.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace vexa {

// Gives the Access SQL of a saved query named in FROM or JOIN, or nothing when the
// name is not one (a table, for instance).
using TSavedQueryLookup = std::function<std::optional<std::string>(const std::string& name)>;

// Raises EAccessDbError when the text cannot be rewritten (unbalanced brackets,
// an unterminated string, an operator without operand).
// A name as an SQLite identifier in double quotes (inner quotes doubled).
std::string QuoteSqlName(const std::string& name);

std::string TranslateAccessSql(const std::string& accessSql, const TSavedQueryLookup& savedQuery = {});

// Access's own bounds on a statement: about 64,000 characters; and the deepest nesting
// of parentheses the translation accepts (Access's expressions are far shallower).
inline constexpr std::size_t kMaxStatementBytes = 64000;
inline constexpr int kMaxNesting = 40;

// A statement the translation refuses to take on (more than one statement, too long, too
// deeply nested): Why tells what, in the words of a refusal.
class EAccessSqlRefused : public EAccessDbError {
public:
    EAccessSqlRefused(const std::string& message, std::string why) : EAccessDbError(message), Why(std::move(why)) {}
    std::string Why;
};

// The translation with the parameters the query declares (PARAMETERS, its saved
// queries' too): the N-th name (from 0) is bound as AccessParameterName(N).
// A crosstab (TRANSFORM value SELECT ... PIVOT heading [IN (values)]) runs as two
// statements: Sql gives its rows, their own columns and then the Keys of their groups;
// CellSql the keys, the column heading and the value of each group and heading.
struct TCrosstab {
    std::string CellSql;
    std::size_t Keys = 0;
    std::vector<std::string> Headings;  // the IN list in its order; empty: every heading found
};
struct TTranslatedSql {
    std::string Sql;
    std::vector<std::string> Parameters;
    std::optional<TCrosstab> Crosstab;
};
// The kinds of a table's columns by their upper-case (ASCII) names, or nothing when the
// name is not a table. With it, a comparison of a text column or text with a number
// column or number fails as in Jet ("Data type mismatch in criteria expression").
using TColumnKindsLookup =
    std::function<std::optional<std::map<std::string, TColumnKind>>(const std::string& table)>;

TTranslatedSql TranslateAccessQuery(const std::string& accessSql, const TSavedQueryLookup& savedQuery = {},
                                    const TColumnKindsLookup& columnKinds = {});
std::string AccessParameterName(std::size_t index);

// The crosstab's result from its rows and cells: the rows' own columns, then one column per
// heading (the IN list, or each heading found in ascending order, Null as "<>") holding
// the value of the row's group under it (Null where there is none).
TDbResult CrosstabResult(const TDbResult& rows, const TDbResult& cells, const TCrosstab& crosstab);

// Registers the Access functions (and Access's like()) on a connection.
void RegisterAccessFunctions(sqlite3* db);

// Pieces of the functions, shared with the rest of the layer.
std::string AccessUpper(const std::string& utf8);
std::string AccessLower(const std::string& utf8);
// Access's Like: * any run, ? one character, # one digit, [abc] [a-z] [!abc]; ignores case.
bool AccessLike(const std::string& text, const std::string& pattern);
// Access's text order: <0, 0, >0; case ignored, accents significant.
int CompareAccessTexts(const std::string& a, const std::string& b);
// A number as Access writes it as text: integral values without a fraction, else up to 15 digits.
std::string AccessNumberText(double value);

}  // namespace vexa
