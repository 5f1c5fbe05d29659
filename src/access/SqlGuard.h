#pragma once
// The guard on the working copy's connection: a standard is a file users receive from
// others, and its saved queries must not reach beyond the table under test.
//
// InstallSqlGuard (when the connection is opened) refuses ATTACH and DETACH on the
// connection for good. While a TSqlGuardScope lives (a saved query runs) only one
// statement is allowed, of the kinds SELECT, INSERT, UPDATE, DELETE, REPLACE, WITH or
// VALUES, reading the working copy ("main") and changing only the table "TestTab"; no
// other database, no VACUUM, no schema change, no transaction control, no PRAGMA that
// writes, no function that touches files. A refusal raises EAccessDbError naming the query.
#include <string>

struct sqlite3;

namespace vexa {

class TAccessDb;

// The table the standard's saved queries may change.
inline constexpr const char* kGuardWritableTable = "TestTab";

void InstallSqlGuard(sqlite3* db);

class TSqlGuardScope {
public:
    // Checks the saved query (Access SQL, as stored) before it runs and restricts the
    // connection until the scope ends. Raises EAccessDbError
    // "Uložený dotaz bol odmietnutý: <why>\r(<queryName>)".
    TSqlGuardScope(TAccessDb& db, const std::string& queryName, const std::string& accessSql);
    ~TSqlGuardScope();
    TSqlGuardScope(const TSqlGuardScope&) = delete;
    TSqlGuardScope& operator=(const TSqlGuardScope&) = delete;

    // Why the restricted authorizer last refused; empty when it did not.
    const std::string& Refusal() const { return FRefusal; }

private:
    friend int GuardRestricted(void*, int, const char*, const char*, const char*, const char*);
    sqlite3* FDb;
    std::string FName;
    std::string FRefusal;
};

// The Slovak message of a refused saved query.
std::string RefusedQueryMessage(const std::string& queryName, const std::string& why);

}  // namespace vexa
