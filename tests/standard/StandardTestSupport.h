#pragma once
// Shared helpers of the standard's tests.
#include "dbase/TableDBF.h"
#include "kit/BlockKit.h"

#include <sqlite3.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexa::stdtest {

// A file of tests/data/standard; a file the build writes beside the programs.
// Whether the tests run under AddressSanitizer: it slows a program two to three times and
// keeps freed memory in quarantine (256 MB by default), which the bounds on a query's time
// and a process's peak memory must allow for.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

inline std::string DataFile(const std::string& name) { return std::string(VEXA_TEST_DATA) + "/standard/" + name; }
inline std::string BinFile(const std::string& name) { return std::string(VEXA_BIN_DIR) + "/" + name; }

// Runs SQL text into a new SQLite database at path.
inline void BuildSqlite(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot create " + path);
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    const std::string message = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("SQL failed: " + message);
}

// The test standard (tests/data/standard/StandardGXD.sql) in SQLite form, with extra SQL run after it.
inline void BuildTestStandard(const std::string& path, const std::string& extraSql = "") {
    std::ifstream in(DataFile("StandardGXD.sql"), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    BuildSqlite(path, text.str() + "\n" + extraSql);
}

// Field definitions as the table layer reports them.
inline TFldDef C(const std::string& name, int width) { return {name, TFldType::dbfChar, width, 0}; }
inline TFldDef N(const std::string& name, int width, int dec = 0) { return {name, TFldType::dbfNumeric, width, dec}; }
inline TFldDef F(const std::string& name, int width, int dec) { return {name, TFldType::dbfFloat, width, dec}; }
inline TFldDef D(const std::string& name) { return {name, TFldType::dbfDate, 0, 0}; }
inline TFldDef L(const std::string& name) { return {name, TFldType::dbfLogical, 0, 0}; }

using Row = std::vector<TValue>;

inline void WriteTable(const std::string& path, const TFldDefList& fields, const std::vector<Row>& rows,
                       int codePage = 1250) {
    TTableDBF::CreateTable(path, fields, codePage);
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    for (const Row& r : rows) t.AppendRecord(r);
}

inline TFldDefList FieldsOf(const std::string& path) {
    TTableDBF t;
    t.SetTableName(path);
    TFldDefList fields;
    t.GetFields(fields);
    return fields;
}

// Visible rows of a table; only the named fields when names are given.
inline std::vector<Row> RowsOf(const std::string& path, const std::vector<std::string>& names = {}) {
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    std::vector<Row> rows;
    for (t.First(); !t.Eof(); t.Next()) {
        Row row;
        if (names.empty()) {
            TFldValList values;
            t.GetValues(values);
            for (auto& v : values) row.push_back(v.Value);
        }
        for (const auto& name : names) row.push_back(t.FieldValue(name));
        rows.push_back(row);
    }
    return rows;
}

}  // namespace vexa::stdtest
