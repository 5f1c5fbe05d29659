#include "access/AccessDb.h"

#include "common/Text.h"
#include "access/SqlGuard.h"
#include "access/AccessSql.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace vexa {

// ---- TDbValue -------------------------------------------------------------------

std::string TDbValue::AsText() const {
    if (const auto* i = std::get_if<std::int64_t>(&FData)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&FData)) return AccessNumberText(*d);
    if (const auto* s = std::get_if<std::string>(&FData)) return *s;
    if (const auto* b = std::get_if<TBlob>(&FData)) return b->Bytes;
    return std::string();
}

std::int64_t TDbValue::AsInteger(std::int64_t fallback) const {
    if (const auto* i = std::get_if<std::int64_t>(&FData)) return *i;
    if (const auto* d = std::get_if<double>(&FData)) return static_cast<std::int64_t>(std::llround(*d));
    if (const auto* s = std::get_if<std::string>(&FData)) {
        if (auto v = TextToInt(Trim(*s))) return *v;
        if (auto f = TextToFloat(Trim(*s))) return static_cast<std::int64_t>(std::llround(*f));
    }
    return fallback;
}

double TDbValue::AsFloat(double fallback) const {
    if (const auto* i = std::get_if<std::int64_t>(&FData)) return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&FData)) return *d;
    if (const auto* s = std::get_if<std::string>(&FData))
        if (auto f = TextToFloat(Trim(*s))) return *f;
    return fallback;
}

bool TDbValue::AsBool() const {
    if (const auto* i = std::get_if<std::int64_t>(&FData)) return *i != 0;
    if (const auto* d = std::get_if<double>(&FData)) return *d != 0;
    if (const auto* s = std::get_if<std::string>(&FData)) {
        const std::string t = UpperAscii(Trim(*s));
        if (t == "TRUE" || t == "YES") return true;
        if (auto f = TextToFloat(t)) return *f != 0;
    }
    return false;
}

int TDbResult::ColumnIndex(const std::string& name) const {
    for (std::size_t i = 0; i < Columns.size(); ++i)
        if (SameTextAscii(Columns[i], name)) return static_cast<int>(i);
    return -1;
}

// ---- TAccessDb --------------------------------------------------------------------

namespace {

std::int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

// Called by SQLite every few thousand steps: stops an Access statement past its deadline.
int QueryProgress(void* data) {
    auto* db = static_cast<TAccessDb*>(data);
    if (db->FDeadlineNs == 0 || SteadyNs() < db->FDeadlineNs) return 0;
    db->FTimedOut = true;
    return 1;
}

TAccessDb::TAccessDb(const std::string& path, bool oneThreadAtATime) : FPath(path) {
    const int rc = sqlite3_open_v2(path.c_str(), &FDb,
                                   SQLITE_OPEN_READWRITE | (oneThreadAtATime ? SQLITE_OPEN_NOMUTEX : 0), nullptr);
    if (rc != SQLITE_OK) {
        std::string message = FDb ? sqlite3_errmsg(FDb) : sqlite3_errstr(rc);
        sqlite3_close(FDb);
        FDb = nullptr;
        throw EAccessDbError(message + "\r(" + path + ")");
    }
    sqlite3_extended_result_codes(FDb, 1);
    // A double-quoted name is always a name here: SQLite would otherwise take an
    // unknown column in quotes for a text and a query would quietly write that text.
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_busy_timeout(FDb, 5000);
    // Bounds on what a query may take: no value longer than kMaxValueBytes, no full-text
    // tokenizer by address (fts3_tokenizer hands out and takes process addresses), all
    // connections' memory together, and each Access statement's time.
    sqlite3_limit(FDb, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
    if (sqlite3_hard_heap_limit64(-1) == 0) sqlite3_hard_heap_limit64(kSqliteHeapLimit);
    sqlite3_progress_handler(FDb, 10000, QueryProgress, this);
    InstallSqlGuard(FDb);  // never another database file (SqlGuard.h)
    try {
        RegisterAccessFunctions(FDb);
        // Indexes on text columns were ordered by SQLite's own NOCASE; this connection's
        // NOCASE is Access's order, so they are rebuilt by it (nothing to do without such indexes).
        if (sqlite3_exec(FDb, "reindex nocase", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw EAccessDbError(std::string(sqlite3_errmsg(FDb)) + "\r(" + path + ")");
    } catch (...) {
        sqlite3_close(FDb);
        FDb = nullptr;
        throw;
    }
}

TAccessDb::~TAccessDb() {
    if (FDb) sqlite3_close_v2(FDb);
}

namespace {

struct TStatement {
    sqlite3_stmt* Stmt = nullptr;
    ~TStatement() { sqlite3_finalize(Stmt); }
};

void BindAt(sqlite3* db, sqlite3_stmt* stmt, int idx, const TDbValue& value) {
    int rc = SQLITE_OK;
    const auto& d = value.Data();
    if (const auto* i = std::get_if<std::int64_t>(&d))
        rc = sqlite3_bind_int64(stmt, idx, *i);
    else if (const auto* f = std::get_if<double>(&d))
        rc = sqlite3_bind_double(stmt, idx, *f);
    else if (const auto* s = std::get_if<std::string>(&d))
        rc = sqlite3_bind_text(stmt, idx, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    else if (const auto* b = std::get_if<TBlob>(&d))
        rc = sqlite3_bind_blob(stmt, idx, b->Bytes.data(), static_cast<int>(b->Bytes.size()), SQLITE_TRANSIENT);
    else
        rc = sqlite3_bind_null(stmt, idx);
    if (rc != SQLITE_OK) throw EAccessDbError(sqlite3_errmsg(db));
}

void Bind(sqlite3* db, sqlite3_stmt* stmt, const TDbParams& params) {
    for (const auto& [name, value] : params) {
        const int idx = sqlite3_bind_parameter_index(stmt, (":" + name).c_str());
        if (idx != 0) BindAt(db, stmt, idx, value);
    }
}

}  // namespace

TDbValue ColumnValue(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER: return TDbValue(static_cast<std::int64_t>(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT: return TDbValue(sqlite3_column_double(stmt, i));
    case SQLITE_TEXT: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        return TDbValue(std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, i))));
    }
    case SQLITE_BLOB: {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, i));
        return TDbValue(TBlob{std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)))});
    }
    default: return TDbValue();
    }
}

namespace {
// The bytes of rows being collected by every connection at present.
std::atomic<long long> gCollectedBytes{0};

// Holds a share of kResultBytesLimit for the rows one statement collects.
class TCollected {
public:
    ~TCollected() { gCollectedBytes.fetch_sub(FBytes, std::memory_order_relaxed); }
    // False when the row would take the rows of all connections past the bound.
    bool Take(std::size_t bytes) {
        const long long b = static_cast<long long>(bytes);
        if (gCollectedBytes.fetch_add(b, std::memory_order_relaxed) + b > kResultBytesLimit) {
            gCollectedBytes.fetch_sub(b, std::memory_order_relaxed);
            return false;
        }
        FBytes += b;
        return true;
    }

private:
    long long FBytes = 0;
};
}  // namespace

std::size_t ResultRowBytes(const std::vector<TDbValue>& row) {
    std::size_t bytes = sizeof(row) + row.capacity() * sizeof(TDbValue);
    for (const TDbValue& v : row) {
        if (auto s = std::get_if<std::string>(&v.Data())) bytes += s->capacity();
        else if (auto b = std::get_if<TBlob>(&v.Data())) bytes += b->Bytes.capacity();
    }
    return bytes;
}

TDbResult TAccessDb::Run(const std::string& sql, const TDbParams& params, int* changes) {
    TDbResult result;
    TCollected collected;
    const char* tail = sql.c_str();
    const char* end = tail + sql.size();
    int changed = 0;
    while (tail < end) {
        TStatement st;
        const char* next = nullptr;
        if (sqlite3_prepare_v2(FDb, tail, static_cast<int>(end - tail), &st.Stmt, &next) != SQLITE_OK)
            throw EAccessDbError(EngineError());
        tail = next;
        if (!st.Stmt) continue;  // only blanks or a comment left
        Bind(FDb, st.Stmt, params);
        const int cols = sqlite3_column_count(st.Stmt);
        result.Columns.clear();
        result.Rows.clear();
        for (int i = 0; i < cols; ++i) {
            const char* name = sqlite3_column_name(st.Stmt, i);
            result.Columns.emplace_back(name ? name : "");
        }
        for (;;) {
            const int rc = sqlite3_step(st.Stmt);
            if (rc == SQLITE_DONE) break;
            if (rc != SQLITE_ROW) {
                const int code = sqlite3_errcode(FDb) & 0xff;
                if ((code == SQLITE_INTERRUPT && FTimedOut) || code == SQLITE_NOMEM || code == SQLITE_TOOBIG)
                    throw EQueryStopped(EngineError());
                throw EAccessDbError(EngineError());
            }
            TDbRow row;
            row.reserve(static_cast<std::size_t>(cols));
            for (int i = 0; i < cols; ++i) row.push_back(ColumnValue(st.Stmt, i));
            // The row and its share of the vector holding it (which grows to twice its rows).
            if (!collected.Take(ResultRowBytes(row) + 2 * sizeof(TDbRow)))
                throw EQueryStopped("Dotaz bol zastavený: jeho výsledok by potreboval viac ako " +
                                    std::to_string(kResultBytesLimit / (1024 * 1024)) + " MB pamäte");
            result.Rows.push_back(std::move(row));
        }
        if (cols == 0) changed += sqlite3_changes(FDb);
    }
    if (changes) *changes = changed;
    return result;
}

std::string TAccessDb::EngineError() const {
    const int code = sqlite3_errcode(FDb) & 0xff;
    if (code == SQLITE_INTERRUPT && FTimedOut)
    {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", FTimeLimitMs / 1000.0);
        return std::string("Dotaz bol zastavený: trval dlhšie ako ") + seconds + " s";
    }
    if (code == SQLITE_NOMEM) return "Dotaz bol zastavený: potreboval príliš veľa pamäte";
    if (code == SQLITE_TOOBIG)
        return "Dotaz bol zastavený: hodnota by bola dlhšia ako " + std::to_string(kMaxValueBytes) + " bajtov";
    if (code == SQLITE_AUTH || std::strncmp(sqlite3_errmsg(FDb), "not authorized", 14) == 0) return std::string("Príkaz bol odmietnutý (") + sqlite3_errmsg(FDb) + ")";
    return sqlite3_errmsg(FDb);
}

std::string TAccessDb::TranslateSql(const std::string& accessSql) {
    return TranslateAccessSql(accessSql, [this](const std::string& name) -> std::optional<std::string> {
        if (TableExists(name)) return std::nullopt;
        return RunnableSavedQuerySql(name);
    });
}

TDbResult TAccessDb::RunAccess(const std::string& accessSql, const TDbParams& params, int* changes) {
    const TTranslatedSql sql = TranslateAccessQuery(
        accessSql,
        [this](const std::string& name) -> std::optional<std::string> {
            if (TableExists(name)) return std::nullopt;
            return RunnableSavedQuerySql(name);
        },
        [this](const std::string& table) { return ColumnKinds(table); });
    // Declared parameters take their values by name (ignoring case); one without a value is an error.
    TDbParams bound = params;
    for (std::size_t i = 0; i < sql.Parameters.size(); ++i) {
        const auto given = std::find_if(params.begin(), params.end(),
                                        [&](const auto& p) { return SameTextAscii(p.first, sql.Parameters[i]); });
        if (given == params.end()) throw EAccessDbError("The parameter has no value: " + sql.Parameters[i] + ".");
        bound.emplace_back(AccessParameterName(i), given->second);
    }
    // The statement runs against its deadline (QueryProgress); the system's own SQL does not.
    struct TDeadline {
        TAccessDb& Db;
        explicit TDeadline(TAccessDb& db) : Db(db) {
            Db.FTimedOut = false;
            Db.FDeadlineNs = SteadyNs() + static_cast<std::int64_t>(Db.FTimeLimitMs) * 1000000;
        }
        ~TDeadline() { Db.FDeadlineNs = 0; }
    } deadline(*this);
    if (!sql.Crosstab) return Run(sql.Sql, bound, changes);
    const TDbResult rows = Run(sql.Sql, bound, nullptr);
    const TDbResult cells = Run(sql.Crosstab->CellSql, bound, nullptr);
    if (changes) *changes = 0;
    return CrosstabResult(rows, cells, *sql.Crosstab);
}

TDbResult TAccessDb::Select(const std::string& accessSql, const TDbParams& params) {
    return RunAccess(accessSql, params, nullptr);
}

TDbResult TAccessDb::Query(const std::string& accessSql, const TDbParams& params, int* changes) {
    return RunAccess(accessSql, params, changes);
}

int TAccessDb::Execute(const std::string& accessSql, const TDbParams& params) {
    int changes = 0;
    RunAccess(accessSql, params, &changes);
    return changes;
}

TDbResult TAccessDb::SelectNative(const std::string& sql, const TDbParams& params) { return Run(sql, params, nullptr); }

int TAccessDb::ExecuteNative(const std::string& sql, const TDbParams& params) {
    int changes = 0;
    Run(sql, params, &changes);
    return changes;
}

void TAccessDb::ExecuteNativeBatch(const std::string& sql, const std::vector<TDbRow>& rows) {
    TStatement st;
    if (sqlite3_prepare_v2(FDb, sql.c_str(), static_cast<int>(sql.size()), &st.Stmt, nullptr) != SQLITE_OK)
        throw EAccessDbError(sqlite3_errmsg(FDb));
    Run("savepoint batch", {}, nullptr);
    try {
        for (const TDbRow& row : rows) {
            sqlite3_reset(st.Stmt);
            sqlite3_clear_bindings(st.Stmt);
            for (std::size_t i = 0; i < row.size(); ++i) BindAt(FDb, st.Stmt, static_cast<int>(i) + 1, row[i]);
            if (sqlite3_step(st.Stmt) != SQLITE_DONE) throw EAccessDbError(sqlite3_errmsg(FDb));
        }
    } catch (...) {
        sqlite3_reset(st.Stmt);
        Run("rollback to batch; release batch", {}, nullptr);
        throw;
    }
    sqlite3_reset(st.Stmt);
    Run("release batch", {}, nullptr);
}

bool TAccessDb::TableExists(const std::string& name) {
    const auto r =
        Run("select 1 from sqlite_master where type in ('table', 'view') and name = :n collate nocase "
            "union all select 1 from sqlite_temp_master where type in ('table', 'view') and name = :n "
            "collate nocase",
            {{"n", name}}, nullptr);
    return !r.Rows.empty();
}

std::optional<std::map<std::string, TColumnKind>> TAccessDb::ColumnKinds(const std::string& table) {
    const auto found =
        Run("select name from sqlite_master where type = 'table' and name = :n collate nocase "
            "union all select name from sqlite_temp_master where type = 'table' and name = :n collate nocase",
            {{"n", table}}, nullptr);
    if (found.Rows.empty()) return std::nullopt;
    const std::string name = found.Rows[0][0].AsText();
    std::map<std::string, TColumnKind> kinds;
    for (const auto& row : Run("pragma table_info(" + QuoteSqlName(name) + ")", {}, nullptr).Rows) {
        const std::string column = row[1].AsText();
        const std::string type = UpperAscii(row[2].AsText());
        TColumnKind kind = TColumnKind::Other;
        if (type == "INTEGER" || type == "REAL" || type == "NUMERIC") {
            kind = TColumnKind::Number;
        } else if (type == "TEXT") {
            const char* collation = nullptr;
            if (sqlite3_table_column_metadata(FDb, nullptr, name.c_str(), column.c_str(), nullptr, &collation, nullptr,
                                              nullptr, nullptr) == SQLITE_OK)
                kind = collation && SameTextAscii(collation, "NOCASE") ? TColumnKind::Text : TColumnKind::Date;
        }
        kinds[UpperAscii(column)] = kind;
    }
    return kinds;
}

std::vector<std::string> TAccessDb::SavedQueryNames() {
    std::vector<std::string> names;
    if (!TableExists("Dotazy")) return names;
    for (const auto& row : Run("select Nazov from Dotazy order by rowid", {}, nullptr).Rows)
        if (!row[0].IsNull() && !row[0].AsText().empty()) names.push_back(row[0].AsText());
    return names;
}

std::optional<std::string> TAccessDb::SavedQuerySql(const std::string& name) {
    if (name.empty() || !TableExists("Dotazy")) return std::nullopt;
    const auto r =
        Run("select SQL from Dotazy where Nazov = :n collate nocase order by rowid limit 1", {{"n", name}}, nullptr);
    if (r.Rows.empty() || r.Rows[0][0].IsNull()) return std::nullopt;
    return r.Rows[0][0].AsText();
}

std::string TAccessDb::SavedQueryKind(const std::string& name) {
    if (name.empty() || !TableExists("Dotazy")) return std::string();
    bool hasKind = false;
    for (const auto& row : Run("pragma table_info(Dotazy)", {}, nullptr).Rows)
        if (SameTextAscii(row[1].AsText(), "Druh")) hasKind = true;
    if (!hasKind) return "select";
    const auto r =
        Run("select Druh from Dotazy where Nazov = :n collate nocase order by rowid limit 1", {{"n", name}}, nullptr);
    if (r.Rows.empty()) return std::string();
    return r.Rows[0][0].IsNull() ? std::string("select") : r.Rows[0][0].AsText();
}

std::optional<std::string> TAccessDb::RunnableSavedQuerySql(const std::string& name) {
    auto sql = SavedQuerySql(name);
    if (!sql) return sql;
    const std::string kind = SavedQueryKind(name);
    if (kind == "pass-through" || kind == "data-definition")
        throw EAccessDbError("The saved query " + name + " is a " + kind + " query, which cannot be run here.");
    return sql;
}

TDbResult TAccessDb::RunSaved(const std::string& name, const TDbParams& params, int* changes) {
    std::optional<std::string> sql;
    try {
        sql = RunnableSavedQuerySql(name);
    } catch (const EAccessDbError& e) {
        throw EAccessDbError(std::string(e.what()) + "\r(" + name + ")");
    }
    if (!sql) throw EAccessDbError("Saved query not found.\r(" + name + ")");
    TSqlGuardScope guard(*this, name, *sql);  // one statement, reading and changing TestTab only
    try {
        return RunAccess(*sql, params, changes);
    } catch (const EQueryStopped& e) {
        throw EQueryStopped(SavedQueryFailed(name, e.what()).Message());
    } catch (const EAccessDbError& e) {
        throw SavedQueryFailed(name, e.what());
    }
}

int TAccessDb::ExecuteSaved(const std::string& name, const TDbParams& params) {
    int changes = 0;
    RunSaved(name, params, &changes);
    return changes;
}

EAccessDbError SavedQueryFailed(const std::string& name, const std::string& detail) {
    return EAccessDbError("Uložený dotaz " + name + " sa nepodarilo vykonať.\r(" + detail + ")");
}

TDbFileFormat DetectDbFileFormat(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[32] = {};
    if (!in.read(head, sizeof head)) return TDbFileFormat::Unknown;
    if (std::memcmp(head, "SQLite format 3", 16) == 0) return TDbFileFormat::SQLite;
    if (std::memcmp(head + 4, "Standard Jet DB", 15) == 0 || std::memcmp(head + 4, "Standard ACE DB", 15) == 0)
        return TDbFileFormat::Jet;
    return TDbFileFormat::Unknown;
}

}  // namespace vexa
