#include "access/SqlGuard.h"

#include "common/Text.h"
#include "access/AccessDb.h"
#include "access/AccessSql.h"

#include <sqlite3.h>

#include <cctype>
#include <cstring>

namespace vexa {

namespace {

bool Same(const char* a, const char* b) { return a && b && SameTextAscii(a, b); }

bool ForbiddenFunction(const char* name);

// The connection's lasting rule: never another database file, no virtual table (their
// modules are nothing a standard needs) and none of the functions that reach beyond the
// database or the process' memory.
int GuardBase(void*, int action, const char*, const char* a2, const char*, const char*) {
    if (action == SQLITE_ATTACH || action == SQLITE_DETACH || action == SQLITE_CREATE_VTABLE ||
        action == SQLITE_DROP_VTABLE)
        return SQLITE_DENY;
    if (action == SQLITE_FUNCTION && ForbiddenFunction(a2)) return SQLITE_DENY;
    return SQLITE_OK;
}

// PRAGMAs that only read, with or without an argument naming what to read.
bool ReadingPragma(const char* name, const char* arg) {
    static const char* const withArg[] = {"table_info", "table_xinfo", "index_list",
                                          "index_info", "index_xinfo", "foreign_key_list"};
    static const char* const noArg[] = {
        "table_info",       "table_xinfo",         "index_list",     "index_info",         "index_xinfo",
        "foreign_key_list", "collation_list",      "function_list",  "pragma_list",        "encoding",
        "user_version",     "schema_version",      "application_id", "page_size",          "page_count",
        "freelist_count",   "case_sensitive_like", "foreign_keys",   "recursive_triggers", "compile_options",
        "data_version",     "table_list",          "module_list",    "integrity_check",    "quick_check"};
    if (arg) {
        for (const char* p : withArg)
            if (Same(name, p)) return true;
        return false;
    }
    for (const char* p : noArg)
        if (Same(name, p)) return true;
    return false;
}

// Functions that reach beyond the database or the process' memory.
bool ForbiddenFunction(const char* name) {
    static const char* const names[] = {"load_extension", "readfile",      "writefile", "edit",
                                        "fts3_tokenizer", "sqlite_dbpage", "zipfile"};
    for (const char* n : names)
        if (Same(name, n)) return true;
    return false;
}

// The first word of a statement after blanks and comments.
std::string FirstWord(const char* sql) {
    const char* p = sql;
    for (;;) {
        while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
        if (p[0] == '-' && p[1] == '-') {
            while (*p && *p != '\n') ++p;
        } else if (p[0] == '/' && p[1] == '*') {
            const char* end = std::strstr(p + 2, "*/");
            p = end ? end + 2 : p + std::strlen(p);
        } else {
            break;
        }
    }
    std::string word;
    while (*p && (std::isalpha(static_cast<unsigned char>(*p))))
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(*p++)));
    return word;
}

// True when the text holds nothing but blanks, semicolons and comments.
bool OnlyBlanks(const char* p, const char* end) {
    while (p < end) {
        if (std::isspace(static_cast<unsigned char>(*p)) || *p == ';') {
            ++p;
        } else if (end - p >= 2 && p[0] == '-' && p[1] == '-') {
            while (p < end && *p != '\n') ++p;
        } else if (end - p >= 2 && p[0] == '/' && p[1] == '*') {
            const char* q = p + 2;
            while (q + 1 < end && !(q[0] == '*' && q[1] == '/')) ++q;
            p = q + 1 < end ? q + 2 : end;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string RefusedQueryMessage(const std::string& queryName, const std::string& why) {
    return "Uložený dotaz bol odmietnutý: " + why + "\r(" + queryName + ")";
}

// The rule while a saved query runs: read "main", change only TestTab, nothing else.
int GuardRestricted(void* data, int action, const char* a1, const char* a2, const char* dbName, const char*) {
    auto* scope = static_cast<TSqlGuardScope*>(data);
    auto refuse = [&](const std::string& why) {
        if (scope->FRefusal.empty()) scope->FRefusal = why;
        return SQLITE_DENY;
    };
    const bool mainDb = !dbName || Same(dbName, "main");
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_RECURSIVE: return SQLITE_OK;
    case SQLITE_READ:
        // The working copy and the connection's own temporary schema (its catalog is read
        // when names are looked up); nothing else can be there, ATTACH being refused.
        if (!mainDb && !Same(dbName, "temp")) return refuse(std::string("čítanie inej databázy (") + dbName + ")");
        return SQLITE_OK;
    case SQLITE_FUNCTION:
        if (ForbiddenFunction(a2)) return refuse(std::string("funkcia ") + a2);
        return SQLITE_OK;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
        if (mainDb && Same(a1, kGuardWritableTable)) return SQLITE_OK;
        return refuse(std::string("zmena tabuľky ") + (a1 ? a1 : "?") +
                      (mainDb ? std::string() : std::string(" v databáze ") + dbName));
    case SQLITE_PRAGMA:
        if (ReadingPragma(a1, a2)) return SQLITE_OK;
        return refuse(std::string("PRAGMA ") + (a1 ? a1 : "?"));
    case SQLITE_ATTACH: return refuse("ATTACH");
    case SQLITE_DETACH: return refuse("DETACH");
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT: return refuse("riadenie transakcie");
    default: return refuse("zmena schémy databázy");
    }
}

void InstallSqlGuard(sqlite3* db) {
    if (db) sqlite3_set_authorizer(db, GuardBase, nullptr);
}

TSqlGuardScope::TSqlGuardScope(TAccessDb& db, const std::string& queryName, const std::string& accessSql)
    : FDb(db.Handle()), FName(queryName) {
    // Translated before the connection is restricted (the translation reads the catalog).
    std::string sql;
    try {
        sql = db.TranslateSql(accessSql);
    } catch (const EAccessSqlRefused& e) {
        throw EAccessDbError(RefusedQueryMessage(FName, e.Why));
    } catch (const EAccessDbError&) {
        sql.clear();  // the run reports the translation's own error
    }
    sqlite3_set_authorizer(FDb, GuardRestricted, this);
    if (sql.empty()) return;
    try {
        const std::string word = FirstWord(sql.c_str());
        static const char* const kinds[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "REPLACE", "WITH", "VALUES"};
        bool known = false;
        for (const char* k : kinds) known = known || word == k;
        if (!known)
            throw EAccessDbError(RefusedQueryMessage(FName, "príkaz " + (word.empty() ? std::string("?") : word)));

        sqlite3_stmt* stmt = nullptr;
        const char* tail = nullptr;
        const int rc = sqlite3_prepare_v2(FDb, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail);
        sqlite3_finalize(stmt);
        if (!FRefusal.empty()) throw EAccessDbError(RefusedQueryMessage(FName, FRefusal));
        if (rc == SQLITE_OK && tail && !OnlyBlanks(tail, sql.c_str() + sql.size()))
            throw EAccessDbError(RefusedQueryMessage(FName, "viac ako jeden príkaz"));
        // Other preparation failures are the run's to report.
    } catch (...) {
        sqlite3_set_authorizer(FDb, GuardBase, nullptr);
        throw;
    }
}

TSqlGuardScope::~TSqlGuardScope() { sqlite3_set_authorizer(FDb, GuardBase, nullptr); }

}  // namespace vexa
