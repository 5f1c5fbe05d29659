#pragma once
// Helpers of the dBASE tests: tables written through TTableDBF and raw file bytes.
#include "dbase/TableDBF.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vexa::dbftest {

namespace fs = std::filesystem;

inline std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A table at path with the fields and rows given (rows in column order).
inline void MakeTable(const std::string& path, const TFldDefList& fields,
                      const std::vector<std::vector<TValue>>& rows, int codePage = 1250) {
    TTableDBF::CreateTable(path, fields, codePage);
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    for (const auto& row : rows) t.AppendRecord(row);
    t.Close();
}

// Every row of the table as values, in file order, deleted rows left out.
inline std::vector<TFldValList> AllRows(const std::string& path) {
    TTableDBF t;
    t.SetTableName(path);
    t.Open();
    std::vector<TFldValList> rows;
    for (t.First(); !t.Eof(); t.Next()) {
        TFldValList v;
        t.GetValues(v);
        rows.push_back(v);
    }
    return rows;
}

// Names of the fields of a closed table.
inline std::vector<std::string> FieldNames(const std::string& path) {
    TTableDBF t;
    t.SetTableName(path);
    TFldDescList descs;
    t.GetFieldDescs(descs);
    std::vector<std::string> names;
    for (const auto& d : descs) names.push_back(d.szName);
    return names;
}

} // namespace vexa::dbftest
