#pragma once
// The working copy of the standard: an SQLite database that answers the
// standard's Access SQL (translated, with the Access functions registered),
// with named parameters and typed results. Saved queries live in the table
// Dotazy(Nazov, SQL [, Druh]) as Access SQL and are run by name; parameters
// the SQL declares (PARAMETERS) take their values from the params by name.
#include "common/Exception.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vexa {

// Errors of the data-access layer (SQL failures, unreadable databases, wrong password).
class EAccessDbError : public Exception {
public:
    using Exception::Exception;
};

// A statement stopped by one of the bounds below (its time, its memory, a value's length),
// not by an error of its own: the same statement would be stopped again.
class EQueryStopped : public EAccessDbError {
public:
    using EAccessDbError::EAccessDbError;
};

// The kind of a table's column as far as comparing it goes.
enum class TColumnKind { Other, Text, Number, Date };

struct TBlob {
    std::string Bytes;
    bool operator==(const TBlob&) const = default;
};

// One value of a result row or a parameter.
class TDbValue {
public:
    using TData = std::variant<std::monostate, std::int64_t, double, std::string, TBlob>;
    TDbValue() = default;
    TDbValue(std::int64_t v) : FData(v) {}
    TDbValue(int v) : FData(static_cast<std::int64_t>(v)) {}
    TDbValue(double v) : FData(v) {}
    TDbValue(std::string v) : FData(std::move(v)) {}
    TDbValue(const char* v) : FData(std::string(v)) {}
    TDbValue(TBlob v) : FData(std::move(v)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(FData); }
    bool IsInteger() const { return std::holds_alternative<std::int64_t>(FData); }
    bool IsReal() const { return std::holds_alternative<double>(FData); }
    bool IsText() const { return std::holds_alternative<std::string>(FData); }
    const TData& Data() const { return FData; }

    // The value as text the way Access renders it ("" for null, 12, 1.5).
    std::string AsText() const;
    // Numbers as they are; text read as a number; null and other text give fallback.
    std::int64_t AsInteger(std::int64_t fallback = 0) const;
    double AsFloat(double fallback = 0) const;
    // Yes/No: any non-zero number is true (Access stores -1); null is false.
    bool AsBool() const;

    bool operator==(const TDbValue&) const = default;

private:
    TData FData;
};

using TDbRow = std::vector<TDbValue>;

struct TDbResult {
    std::vector<std::string> Columns;
    std::vector<TDbRow> Rows;
    // Column position by name ignoring case, -1 when absent.
    int ColumnIndex(const std::string& name) const;
};

// Named parameters, names without the leading ":".
using TDbParams = std::vector<std::pair<std::string, TDbValue>>;

// The value in column i of the statement's present row, as the queries give it.
TDbValue ColumnValue(sqlite3_stmt* stmt, int i);

// Bounds on what one query may take (a standard comes from others; its queries must not
// exhaust the machine): the bytes of any text or blob value, the time of one Access
// statement (by default; SetQueryTimeLimit; a test query of one attribute table takes well
// under a second), the memory of all connections together, and the rows being collected by
// all connections together (kResultBytesLimit, counted as they are held in memory).
inline constexpr int kMaxValueBytes = 16 * 1024 * 1024;
inline constexpr int kDefaultQueryTimeLimitMs = 10 * 1000;
inline constexpr long long kSqliteHeapLimit = 512LL * 1024 * 1024;
inline constexpr long long kResultBytesLimit = 256LL * 1024 * 1024;

// The bytes the rows of a result take in memory, as the collection bound counts them.
std::size_t ResultRowBytes(const std::vector<TDbValue>& row);

class TAccessDb {
public:
    // Opens an existing SQLite database (the working copy) for reading and writing.
    // oneThreadAtATime: the connection is never used by two threads at once, so
    // SQLite need not lock it on every call.
    explicit TAccessDb(const std::string& path, bool oneThreadAtATime = false);
    ~TAccessDb();
    TAccessDb(const TAccessDb&) = delete;
    TAccessDb& operator=(const TAccessDb&) = delete;

    const std::string& Path() const { return FPath; }
    sqlite3* Handle() const { return FDb; }

    // Access SQL: translated, then run. Select gives all rows, Execute the number of changed rows.
    TDbResult Select(const std::string& accessSql, const TDbParams& params = {});
    int Execute(const std::string& accessSql, const TDbParams& params = {});
    // Either: the rows of a SELECT, and the rows an action query changed when changes is given.
    TDbResult Query(const std::string& accessSql, const TDbParams& params = {}, int* changes = nullptr);

    // SQLite's own SQL, not translated (schema work of the system itself).
    TDbResult SelectNative(const std::string& sql, const TDbParams& params = {});
    int ExecuteNative(const std::string& sql, const TDbParams& params = {});
    // One native statement run once per row of values (bound to ?1, ?2, ...), all
    // in one transaction: nothing is kept when a row fails.
    void ExecuteNativeBatch(const std::string& sql, const std::vector<TDbRow>& rows);

    // Saved queries (table Dotazy): names in table order, the Access SQL of one
    // (found ignoring case), and running one by name. A failure names the query.
    std::vector<std::string> SavedQueryNames();
    std::optional<std::string> SavedQuerySql(const std::string& name);
    int ExecuteSaved(const std::string& name, const TDbParams& params = {});
    // A saved query run by name: its rows, and the rows it changed when changes is given.
    TDbResult RunSaved(const std::string& name, const TDbParams& params = {}, int* changes = nullptr);
    // The kind kept in Dotazy.Druh ("select", "update", "crosstab", "pass-through",
    // "data-definition", ...; "select" when the table has no kinds), "" for no such query.
    std::string SavedQueryKind(const std::string& name);
    // The SQL of a saved query that can run; a pass-through or data-definition query
    // raises an error naming the query and its kind.
    std::optional<std::string> RunnableSavedQuerySql(const std::string& name);

    bool TableExists(const std::string& name);
    // The kinds of a table's columns by upper-case name (text: declared TEXT in Access's
    // order; number: INTEGER, REAL, NUMERIC; a date: TEXT otherwise), nothing for no table.
    std::optional<std::map<std::string, TColumnKind>> ColumnKinds(const std::string& table);
    std::string TranslateSql(const std::string& accessSql);

    // The longest one Access statement may run before it is stopped with an error (ms).
    void SetQueryTimeLimit(int ms) { FTimeLimitMs = ms; }

private:
    friend int QueryProgress(void*);
    TDbResult Run(const std::string& sql, const TDbParams& params, int* changes);
    TDbResult RunAccess(const std::string& accessSql, const TDbParams& params, int* changes);
    // The engine's last error, in Slovak where it is a bound this class set.
    std::string EngineError() const;

    std::string FPath;
    sqlite3* FDb = nullptr;
    int FTimeLimitMs = kDefaultQueryTimeLimitMs;
    std::int64_t FDeadlineNs = 0;  // steady clock; 0 while no Access statement runs
    bool FTimedOut = false;
};

// The error of a saved query that failed: in Slovak, naming the query, with what the
// SQL engine (or an Access function) said as the detail.
EAccessDbError SavedQueryFailed(const std::string& name, const std::string& detail);

// "SQLite format 3", the Jet/ACE signature, or neither (by the file's first bytes).
enum class TDbFileFormat { Unknown, SQLite, Jet };
TDbFileFormat DetectDbFileFormat(const std::string& path);

}  // namespace vexa
