#include "standard/CheckRunCache.h"

#include "block/BlkExceptions.h"
#include "common/FileNames.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"
#include "standard/BlkStandardGXD.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

namespace vexa {

namespace {

// What tells that a table file was rewritten.
struct FileIdentity {
    bool Exists = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    long long ModifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const std::string& path) {
    FileIdentity id;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return id;
    id.Exists = true;
    id.Device = st.st_dev;
    id.Inode = st.st_ino;
    id.Size = st.st_size;
    id.ModifiedNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return id;
}

}  // namespace

struct TCheckRunCache::TTable {
    FileIdentity Identity;
    bool Loaded = false;
    bool CheckedThisPass = false;
    std::unordered_map<std::int32_t, TFldValList> Rows;  // first row of each Cislo
    std::vector<bool> Reserved;                          // per column: one of the GIS's own

    const TFldValList* Row(std::int32_t number) const {
        auto found = Rows.find(number);
        return found == Rows.end() ? nullptr : &found->second;
    }
};

TCheckRunCache::TCheckRunCache() = default;
TCheckRunCache::~TCheckRunCache() = default;

void TCheckRunCache::Clear() {
    FBlockPath.clear();
    FTablePaths.clear();
    FTables.clear();
}

void TCheckRunCache::BeginPass(TBlk& blk) {
    if (blk.Path() != FBlockPath) {
        FTables.clear();
        FBlockPath = blk.Path();
    }
    FTablePaths.clear();
    for (auto& [path, table] : FTables) table->CheckedThisPass = false;
}

TCheckRunCache::TTable& TCheckRunCache::Table(TBlk& blk, const std::string& path) {
    std::unique_ptr<TTable>& slot = FTables[path];
    if (!slot) slot = std::make_unique<TTable>();
    TTable& table = *slot;
    if (table.CheckedThisPass && table.Loaded) return table;

    FileIdentity identity = IdentityOf(path);
    if (table.Loaded && identity.Exists && identity == table.Identity) {
        table.CheckedThisPass = true;
        return table;
    }
    table.Loaded = false;
    table.Rows.clear();
    table.Reserved.clear();
    try {
        // The same table object and the same filter binding as the single-row read,
        // then every visible row at once.
        TTableDBF dbf;
        dbf.SetDatabaseName(blk.Path());
        dbf.SetTableName(path);
        dbf.SetFilter("Cislo=0");
        dbf.SetFiltered(true);
        dbf.OpenTable();
        if (dbf.Active()) {
            dbf.SetFiltered(false);
            TFldValList values;
            for (dbf.First(); !dbf.Eof(); dbf.Next()) {
                dbf.GetValues(values);
                const TValue* cislo = nullptr;
                for (const TFldVal& v : values)
                    if (SameTextAscii(v.Name, "Cislo")) {
                        cislo = &v.Value;
                        break;
                    }
                const double* number = cislo ? std::get_if<double>(cislo) : nullptr;
                if (!number || !(*number >= -2147483648.0 && *number <= 2147483647.0) || std::trunc(*number) != *number)
                    continue;  // no element number can equal it
                if (table.Reserved.empty())
                    for (const TFldVal& v : values) table.Reserved.push_back(IsBlkReservedField(v.Name));
                table.Rows.try_emplace(static_cast<std::int32_t>(*number), values);
            }
            dbf.Close();
        }
    } catch (const std::exception& e) {
        table.Rows.clear();
        throw EBlkDBError(blk.Path(), path, SystemCause(e));
    }
    ++FTableLoads;
    table.Identity = identity;
    table.Loaded = true;
    table.CheckedThisPass = true;
    return table;
}

TCheckRunCache::TTable* TCheckRunCache::AreaTable(TBlk& blk, std::int16_t kind) {
    if (blk.Path() != FBlockPath) BeginPass(blk);
    auto found = FTablePaths.find(kind);
    if (found == FTablePaths.end()) found = FTablePaths.emplace(kind, blk.AttributeFileName(egArea, kind)).first;
    if (found->second.empty()) return nullptr;
    return &Table(blk, found->second);
}

void TCheckRunCache::ReadAreaAttributes(TBlk& blk, std::int16_t kind, std::int32_t number, TFldValList& values) {
    values.clear();
    if (TTable* table = AreaTable(blk, kind))
        if (const TFldValList* row = table->Row(number)) values = *row;
}

bool TCheckRunCache::AdjacentAreasMatch(TBlk& blk, const TBlkLine& line) {
    if (TBlk::IsInnerLine(line)) return true;
    if (!TBlk::IsAreaLine(line)) return false;
    TBlkArea a{}, b{};
    a.Kind = -1;
    b.Kind = -1;
    if (line.AreaA >= 0) blk.FindArea(line.AreaA, a);
    if (line.AreaB >= 0) blk.FindArea(line.AreaB, b);
    if (a.Kind != b.Kind) return false;
    // One kind, one table (looked up for each side, as two single-row reads would).
    TTable* tableA = AreaTable(blk, a.Kind);
    TTable* tableB = AreaTable(blk, b.Kind);
    const TFldValList* rowA = tableA ? tableA->Row(a.Number) : nullptr;
    const TFldValList* rowB = tableB ? tableB->Row(b.Number) : nullptr;
    if (!rowA || !rowB) return !rowA && !rowB;
    if (tableA != tableB || rowA->size() != rowB->size() || tableA->Reserved.size() != rowA->size())
        return AttributeRowsAlike(*rowA, *rowB);
    // Rows of one table share their columns: compare the values outside the GIS's own.
    for (std::size_t i = 0; i < rowA->size(); ++i)
        if (!tableA->Reserved[i] && !((*rowA)[i].Value == (*rowB)[i].Value)) return false;
    return true;
}

TCheckRunCache& TBlkStandardGXD::RunCache() {
    if (!FRunCache) FRunCache = std::make_unique<TCheckRunCache>();
    return *FRunCache;
}

}  // namespace vexa
