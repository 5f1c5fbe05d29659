#pragma once
// What the standard object holds besides its public fields; shared by the
// files that implement it (not for other users).
#include "dbase/FieldTypes.h"
#include "access/AccessDb.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"
#include "standard/StringList.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vexa {

// The attribute table under test as the table TestTab of the working copy:
// its rows as they were read, to find what the saved queries changed.
struct TTestTabLink {
    std::string Path;             // the dBASE file
    std::vector<TFldDef> Fields;  // every field of the file, in order
    std::vector<bool> Exposed;    // per field: a column of TestTab
    std::vector<bool> ReadOnly;   // per field: seen by the queries, never written back (memo texts)
    std::size_t Records = 0;      // records of the file (deleted ones included)
    std::vector<TValue> Values;   // Records x Fields.size(): the values as read, by record number - 1
    std::vector<bool> Present;    // per record: a row of TestTab (not a deleted record)

    // The values of a row as read; nullptr for a row that was not read.
    const TValue* Original(std::int64_t rowid) const {
        if (rowid < 1 || static_cast<std::uint64_t>(rowid) > Records || !Present[static_cast<std::size_t>(rowid - 1)])
            return nullptr;
        return Values.data() + static_cast<std::size_t>(rowid - 1) * Fields.size();
    }
};

struct TBlkStandardGXD::TImpl {
    std::string WorkDir;  // private to this object, removed with it
    std::string TemplatePath;
    std::unique_ptr<TAccessDb> Db;
    TErrorTable ErrorTable;
    TStringList Layers, AreaOnlyLayers, LineKinds, PointKinds, AreaKinds, TextKinds, PointZeroAngleKinds,
        TextZeroAngleKinds;
    std::unique_ptr<TTestTabLink> Link;
    TFindingFanOut Findings;
    TErrorTableSink TableSink{ErrorTable};

    TImpl() { Findings.Attach(TableSink); }

    ~TImpl();
};

// The first two characters of a layer or block name, upper-cased.
std::string StandardLayerCode(const std::string& layer);

}  // namespace vexa
