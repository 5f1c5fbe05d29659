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

// A table's rows held compactly: the values of each row one after another in one
// string (a type byte, then the value), the rows found by element number through a
// sorted list. About the size of the file, where a list of named values per row
// took ten times that.
struct TCheckRunCache::TTable {
    enum Tag : char { Null, Text, Number, Logical, Date };

    FileIdentity Identity;
    bool Loaded = false;
    bool CheckedThisPass = false;
    struct TRowAt {
        std::int32_t Number;  // Cislo
        std::uint32_t Chunk, Offset;
    };
    // Rows are stored whole in chunks of about this size (none grows by doubling).
    static constexpr std::size_t kChunk = 1 << 20;

    std::vector<std::string> Names;  // the columns
    std::vector<bool> Reserved;      // per column: one of the GIS's own
    std::vector<std::string> Chunks;  // the kept rows' values, encoded
    std::vector<TRowAt> Rows;         // by number, the first row of each
    std::string Values;               // the row being encoded

    void Clear() {
        Names.clear();
        Reserved.clear();
        Chunks = {};
        Rows = {};
        Values = {};
    }

    // The row of the number; null when it has none.
    const char* Row(std::int32_t number) const {
        auto found = std::lower_bound(Rows.begin(), Rows.end(), number,
                                      [](const TRowAt& r, std::int32_t n) { return r.Number < n; });
        return found == Rows.end() || found->Number != number ? nullptr : Chunks[found->Chunk].data() + found->Offset;
    }

    // Stores the row encoded in Values under the number.
    void Keep(std::int32_t number) {
        if (Chunks.empty() || Chunks.back().size() + Values.size() > Chunks.back().capacity()) {
            Chunks.emplace_back();
            Chunks.back().reserve(std::max(kChunk, Values.size()));
        }
        Rows.push_back({number, static_cast<std::uint32_t>(Chunks.size() - 1),
                        static_cast<std::uint32_t>(Chunks.back().size())});
        Chunks.back() += Values;
        Values.clear();
    }

    void Append(const TValue& value) {
        auto raw = [&](const void* p, std::size_t n) { Values.append(static_cast<const char*>(p), n); };
        if (const auto* text = std::get_if<std::string>(&value)) {
            Values += Text;
            const std::uint32_t n = static_cast<std::uint32_t>(text->size());
            raw(&n, sizeof n);
            Values += *text;
        } else if (const auto* number = std::get_if<double>(&value)) {
            Values += Number;
            raw(number, sizeof *number);
        } else if (const auto* logical = std::get_if<bool>(&value)) {
            Values += Logical;
            Values += *logical ? '\1' : '\0';
        } else if (const auto* date = std::get_if<TDate>(&value)) {
            Values += Date;
            raw(date, sizeof *date);
        } else {
            Values += Null;
        }
    }

    // Reads the value at p and returns where the next one starts.
    static const char* Decode(const char* p, TValue& value) {
        switch (*p++) {
        case Text: {
            std::uint32_t n = 0;
            std::memcpy(&n, p, sizeof n);
            p += sizeof n;
            value = std::string(p, n);
            return p + n;
        }
        case Number: {
            double d = 0;
            std::memcpy(&d, p, sizeof d);
            value = d;
            return p + sizeof d;
        }
        case Logical: value = *p != 0; return p + 1;
        case Date: {
            TDate d;
            std::memcpy(&d, p, sizeof d);
            value = d;
            return p + sizeof d;
        }
        default: value = TValue{}; return p;
        }
    }

    // Whether the values at a and b are equal (as TValue's == tells); both move on.
    static bool SameValue(const char*& a, const char*& b) {
        const char tag = *a;
        if (tag != *b) {
            TValue x, y;
            a = Decode(a, x);
            b = Decode(b, y);
            return false;
        }
        ++a;
        ++b;
        switch (tag) {
        case Text: {
            std::uint32_t n = 0, m = 0;
            std::memcpy(&n, a, sizeof n);
            std::memcpy(&m, b, sizeof m);
            const bool same = n == m && std::memcmp(a + sizeof n, b + sizeof m, n) == 0;
            a += sizeof n + n;
            b += sizeof m + m;
            return same;
        }
        case Number: {
            double x = 0, y = 0;
            std::memcpy(&x, a, sizeof x);
            std::memcpy(&y, b, sizeof y);
            a += sizeof x;
            b += sizeof y;
            return x == y;
        }
        case Logical: return *a++ == *b++;
        case Date: {
            TDate x, y;
            std::memcpy(&x, a, sizeof x);
            std::memcpy(&y, b, sizeof y);
            a += sizeof x;
            b += sizeof y;
            return x == y;
        }
        default: return true;
        }
    }

    void RowValues(const char* row, TFldValList& values) const {
        values.clear();
        for (const std::string& name : Names) {
            TFldVal v;
            v.Name = name;
            row = Decode(row, v.Value);
            values.push_back(std::move(v));
        }
    }
};

TCheckRunCache::TCheckRunCache() = default;
TCheckRunCache::~TCheckRunCache() = default;

void TCheckRunCache::Clear() {
    FBlockPath.clear();
    FPassTables.clear();
    FTables.clear();
}

void TCheckRunCache::BeginPass(TBlk& blk) {
    if (blk.Path() != FBlockPath) {
        FTables.clear();
        FBlockPath = blk.Path();
    }
    FPassTables.clear();
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
    table.Clear();
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
                if (table.Names.empty())
                    for (const TFldVal& v : values) {
                        table.Names.push_back(v.Name);
                        table.Reserved.push_back(IsBlkReservedField(v.Name));
                    }
                if (values.size() != table.Names.size()) continue;  // every row of a table has its columns
                for (const TFldVal& v : values) table.Append(v.Value);
                table.Keep(static_cast<std::int32_t>(*number));
            }
            dbf.Close();
        }
        // By number; of the rows of one number the first in the file.
        std::stable_sort(table.Rows.begin(), table.Rows.end(),
                         [](const auto& x, const auto& y) { return x.Number < y.Number; });
        table.Rows.erase(std::unique(table.Rows.begin(), table.Rows.end(),
                                     [](const auto& x, const auto& y) { return x.Number == y.Number; }),
                         table.Rows.end());
        table.Rows.shrink_to_fit();
    } catch (const std::exception& e) {
        table.Clear();
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
    auto found = FPassTables.find(kind);
    if (found == FPassTables.end()) {
        const std::string path = blk.AttributeFileName(egArea, kind);
        found = FPassTables.emplace(kind, path.empty() ? nullptr : &Table(blk, path)).first;
    }
    return found->second;
}

void TCheckRunCache::ReadAreaAttributes(TBlk& blk, std::int16_t kind, std::int32_t number, TFldValList& values) {
    values.clear();
    if (TTable* table = AreaTable(blk, kind))
        if (const char* row = table->Row(number)) table->RowValues(row, values);
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
    const char* rowA = tableA ? tableA->Row(a.Number) : nullptr;
    const char* rowB = tableB ? tableB->Row(b.Number) : nullptr;
    if (!rowA || !rowB) return !rowA && !rowB;
    if (tableA != tableB) {
        TFldValList valuesA, valuesB;
        tableA->RowValues(rowA, valuesA);
        tableB->RowValues(rowB, valuesB);
        return AttributeRowsAlike(valuesA, valuesB);
    }
    // Rows of one table share their columns: compare the values outside the GIS's own.
    bool alike = true;
    for (std::size_t i = 0; i < tableA->Names.size() && alike; ++i) {
        const bool same = TTable::SameValue(rowA, rowB);
        if (!tableA->Reserved[i] && !same) alike = false;
    }
    return alike;
}

TCheckRunCache& TBlkStandardGXD::RunCache() {
    if (!FRunCache) FRunCache = std::make_unique<TCheckRunCache>();
    return *FRunCache;
}

}  // namespace vexa
