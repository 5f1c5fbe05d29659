#include "standard/CheckRunCache.h"

#include "block/BlkExceptions.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"
#include "standard/BlkStandardGXD.h"

#include <sys/stat.h>

#include <cmath>
#include <exception>

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

bool IsReservedField(const std::string& name) {
    for (const char* reserved : BlkReservedFields)
        if (SameTextAscii(name, reserved)) return true;
    return false;
}

} // namespace

struct TCheckRunCache::TTable {
    FileIdentity Identity;
    bool Loaded = false;
    bool CheckedThisPass = false;
    std::unordered_map<std::int32_t, TFldValList> Rows;  // first row of each Cislo
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
                if (!number || !(*number >= -2147483648.0 && *number <= 2147483647.0) ||
                    std::trunc(*number) != *number)
                    continue;  // no element number can equal it
                table.Rows.try_emplace(static_cast<std::int32_t>(*number), values);
            }
            dbf.Close();
        }
    } catch (const std::exception&) {
        table.Rows.clear();
        throw EBlkDBError(blk.Path(), path);
    }
    ++FTableLoads;
    table.Identity = identity;
    table.Loaded = true;
    table.CheckedThisPass = true;
    return table;
}

void TCheckRunCache::ReadAreaAttributes(TBlk& blk, std::int16_t kind, std::int32_t number, TFldValList& values) {
    values.clear();
    if (blk.Path() != FBlockPath) BeginPass(blk);
    auto found = FTablePaths.find(kind);
    if (found == FTablePaths.end()) found = FTablePaths.emplace(kind, blk.AttributeFileName(egArea, kind)).first;
    const std::string& path = found->second;
    if (path.empty()) return;
    TTable& table = Table(blk, path);
    auto row = table.Rows.find(number);
    if (row != table.Rows.end()) values = row->second;
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
    TFldValList va, vb;
    ReadAreaAttributes(blk, a.Kind, a.Number, va);
    ReadAreaAttributes(blk, b.Kind, b.Number, vb);
    return AttributeRowsAlike(va, vb);
}

bool AttributeRowsAlike(const TFldValList& a, const TFldValList& b) {
    if (a.empty() && b.empty()) return true;
    if (a.empty() != b.empty()) return false;
    std::size_t i = 0, j = 0;
    for (;;) {
        while (i < a.size() && IsReservedField(a[i].Name)) ++i;
        while (j < b.size() && IsReservedField(b[j].Name)) ++j;
        if (i == a.size() || j == b.size()) return i == a.size() && j == b.size();
        if (!SameTextAscii(a[i].Name, b[j].Name)) return false;
        if (!(a[i].Value == b[j].Value)) return false;
        ++i;
        ++j;
    }
}

TCheckRunCache& TBlkStandardGXD::RunCache() {
    if (!FRunCache) FRunCache = std::make_unique<TCheckRunCache>();
    return *FRunCache;
}

} // namespace vexa
