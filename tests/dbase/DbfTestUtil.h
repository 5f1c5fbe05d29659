#pragma once
// Helpers of the dBASE tests: tables written through TTableDBF and raw file bytes.
#include "dbase/TableDBF.h"
#include "kit/BlockKit.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace vexa::dbftest {

using testkit::MessageOf;
using testkit::ReadFileText;
using testkit::WriteFileText;

namespace fs = std::filesystem;

inline TFldDef Def(const char* name, TFldType type, int width = 0, int decimals = 0) {
    return TFldDef{name, type, width, decimals};
}

// Record `index` (0-based, deletion flag first) of the table file's bytes.
inline std::string Record(const std::string& bytes, int index) {
    auto word = [&](int at) {
        return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    return bytes.substr(word(8) + std::size_t(index) * word(10), word(10));
}

// The table at path (a full path), opened, with the filter on when one is given.
inline std::unique_ptr<TTableDBF> Opened(const std::string& path, const std::string& filter = "") {
    auto t = std::make_unique<TTableDBF>();
    t->SetTableName(path);
    t->SetFilter(filter);
    t->SetFiltered(!filter.empty());
    t->Open();
    return t;
}

// A table at path with the fields and rows given (rows in column order).
inline void MakeTable(const std::string& path, const TFldDefList& fields, const std::vector<std::vector<TValue>>& rows,
                      int codePage = 1250) {
    TTableDBF::CreateTable(path, fields, codePage);
    auto t = Opened(path);
    for (const auto& row : rows) t->AppendRecord(row);
}

// Every row of the table as values, in file order, deleted rows left out.
inline std::vector<TFldValList> AllRows(const std::string& path) {
    auto t = Opened(path);
    std::vector<TFldValList> rows;
    for (t->First(); !t->Eof(); t->Next()) t->GetValues(rows.emplace_back());
    return rows;
}

// The values of one column, in file order, deleted rows left out.
inline std::vector<TValue> Column(const std::string& path, const std::string& name) {
    std::vector<TValue> out;
    for (const auto& row : AllRows(path))
        for (const auto& v : row)
            if (v.Name == name) out.push_back(v.Value);
    return out;
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

}  // namespace vexa::dbftest
