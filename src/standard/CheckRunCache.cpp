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

// Equal values: every encoding of zero is zero; any other value has one encoding.
bool SameReal(const TReal48& a, const TReal48& b) {
    if (a.Bytes[0] == 0 || b.Bytes[0] == 0) return a.Bytes[0] == b.Bytes[0];
    return a.Bytes == b.Bytes;
}

bool SameCrd(const TBlkCrd& a, const TBlkCrd& b) { return SameReal(a.X, b.X) && SameReal(a.Y, b.Y); }


} // namespace

struct TCheckRunCache::TTable {
    FileIdentity Identity;
    bool Loaded = false;
    bool CheckedThisPass = false;
    std::unordered_map<std::int32_t, TFldValList> Rows;  // first row of each Cislo
    std::vector<bool> Reserved;                           // per column: one of the GIS's own

    const TFldValList* Row(std::int32_t number) const {
        auto found = Rows.find(number);
        return found == Rows.end() ? nullptr : &found->second;
    }
};

// The lines of the block that pass the cheap duplicate tests together share a key:
// the vertex count and the stored rectangle, each value in a canonical form (every
// encoding of zero is zero), so that equal values give equal keys.
// The vertices of a line in one canonical form: each real's bytes (every zero the one zero),
// in the direction whose bytes compare lower, so that a line and its reverse give one key.
std::string GeometryKey(const TCrds& crds) {
    auto bytes = [](const TCrds& c) {
        std::string out;
        out.reserve(c.size() * 12);
        for (const TBlkCrd& v : c)
            for (const TReal48* r : {&v.X, &v.Y}) {
                if (r->Bytes[0] == 0)
                    out.append(6, '\0');
                else
                    out.append(reinterpret_cast<const char*>(r->Bytes.data()), 6);
            }
        return out;
    };
    std::string forward = bytes(crds);
    TCrds reversed = crds;
    TBlk::ReverseCrds(reversed);
    std::string backward = bytes(reversed);
    return std::min(forward, backward);
}

struct TCheckRunCache::TLineIndex {
    struct Key {
        std::uint64_t Hash = 0;
        std::int64_t Count = 0;
        std::array<std::uint8_t, 24> Rect{};
        auto operator<=>(const Key&) const = default;
    };
    struct Entry {
        Key K;
        std::uint32_t Position;  // record index in the file: file order within a key
        std::int32_t Number, FirstCrd, LastCrd;
        bool Broken = false;     // its vertices cannot be read
        std::string Geometry;    // GeometryKey of its vertices (records sharing their cheap key only)
    };
    // Sorted by cheap key, then geometry, then file position: the records with the same
    // vertices stand together in file order, found by binary search.
    std::vector<Entry> Entries;
    // Cheap key hash -> [first, end) of its entries, for the hashes that more than one record
    // shares: a record with a hash of its own has no other record to match.
    std::unordered_map<std::uint64_t, std::pair<std::uint32_t, std::uint32_t>> Shared;

    static Key KeyOf(const TBlkLine& line) {
        Key key;
        key.Count = std::llabs(static_cast<std::int64_t>(line.LastCrd) - line.FirstCrd);
        const TReal48* values[4] = {&line.Rect.MinX, &line.Rect.MinY, &line.Rect.MaxX, &line.Rect.MaxY};
        for (int i = 0; i < 4; ++i)
            if (values[i]->Bytes[0] != 0) std::memcpy(key.Rect.data() + 6 * i, values[i]->Bytes.data(), 6);
        std::uint64_t h = 1469598103934665603ULL ^ static_cast<std::uint64_t>(key.Count);
        for (std::uint8_t b : key.Rect) h = (h ^ b) * 1099511628211ULL;
        key.Hash = h;
        return key;
    }

    // Every whole record after the header that is not deleted, as the search reads them;
    // the vertices of the records that share their cheap key are read once, here.
    void Build(TBlk& blk) {
        Entries.clear();
        const fs::path file = ResolveIgnoreCase(fs::path(blk.Path()), "tn.lin");
        std::FILE* in = std::fopen(file.c_str(), "rb");
        if (!in) throw EBlkReadError(blk.Path());
        std::vector<TBlkLine> chunk(1000);
        std::uint32_t position = 0;
        bool header = true;
        for (;;) {
            std::size_t got = std::fread(chunk.data(), sizeof(TBlkLine), chunk.size(), in);
            for (std::size_t i = 0; i < got; ++i, ++position) {
                if (header) {
                    header = false;
                    continue;
                }
                const TBlkLine& r = chunk[i];
                if (TBlk::LineDeleted(r)) continue;
                Entries.push_back({KeyOf(r), position, r.Number, r.FirstCrd, r.LastCrd, false, std::string()});
            }
            if (got < chunk.size()) break;
        }
        bool failed = std::ferror(in) != 0;
        std::fclose(in);
        if (failed) throw EBlkReadError(blk.Path());
        auto byKey = [](const Entry& a, const Entry& b) { return a.K != b.K ? a.K < b.K : a.Position < b.Position; };
        std::sort(Entries.begin(), Entries.end(), byKey);
        // Geometry of the records whose cheap key another record has.
        TCrds crds;
        for (std::size_t i = 0; i < Entries.size();) {
            std::size_t j = i + 1;
            while (j < Entries.size() && Entries[j].K == Entries[i].K) ++j;
            if (j - i > 1)
                for (std::size_t k = i; k < j; ++k) {
                    try {
                        blk.ReadCrds(Entries[k].FirstCrd, Entries[k].LastCrd, crds);
                        Entries[k].Geometry = GeometryKey(crds);
                    } catch (const EBlkReadError&) {
                        Entries[k].Broken = true;
                    }
                }
            i = j;
        }
        std::sort(Entries.begin(), Entries.end(), [](const Entry& a, const Entry& b) {
            if (a.K != b.K) return a.K < b.K;
            if (a.Broken != b.Broken) return a.Broken < b.Broken;
            if (a.Geometry != b.Geometry) return a.Geometry < b.Geometry;
            return a.Position < b.Position;
        });
        Shared.clear();
        for (std::uint32_t i = 0; i < Entries.size();) {
            std::uint32_t j = i + 1;
            while (j < Entries.size() && Entries[j].K.Hash == Entries[i].K.Hash) ++j;
            if (j - i > 1) Shared.emplace(Entries[i].K.Hash, std::make_pair(i, j));
            i = j;
        }
    }
};

TCheckRunCache::TCheckRunCache() = default;
TCheckRunCache::~TCheckRunCache() = default;

void TCheckRunCache::Clear() {
    FLines.reset();
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
    FLines.reset();
    for (auto& [path, table] : FTables) table->CheckedThisPass = false;
}

bool TCheckRunCache::FindDuplicateLines(TBlk& blk, const TBlkLine& line, std::string& found, std::size_t limit) {
    found.clear();
    TCrds a;
    blk.ReadLineCrds(line, a);
    if (blk.Path() != FBlockPath) BeginPass(blk);
    if (!FLines) {
        auto index = std::make_unique<TLineIndex>();
        index->Build(blk);
        FLines = std::move(index);
    }
    const TLineIndex::Key key = TLineIndex::KeyOf(line);
    auto shared = FLines->Shared.find(key.Hash);
    if (shared == FLines->Shared.end()) return false;  // the line is the only one of its kind
    const auto first = FLines->Entries.begin() + shared->second.first;
    const auto last = FLines->Entries.begin() + shared->second.second;
    // The records of the same cheap key: any other whose vertices cannot be read is an error,
    // as reading it for the comparison would be.
    auto lo = std::lower_bound(first, last, key, [](const TLineIndex::Entry& e, const TLineIndex::Key& k) { return e.K < k; });
    auto hi = std::upper_bound(lo, last, key, [](const TLineIndex::Key& k, const TLineIndex::Entry& e) { return k < e.K; });
    for (auto it = lo; it != hi; ++it)
        if (it->Broken && it->Number != line.Number) throw EBlkReadError(blk.Path());
    // Those with the same vertices stand together in file order.
    const std::string geometry = GeometryKey(a);
    auto same = std::lower_bound(lo, hi, geometry, [](const TLineIndex::Entry& e, const std::string& g) {
        return !e.Broken && e.Geometry < g;
    });
    for (auto it = same; it != hi && !it->Broken && it->Geometry == geometry; ++it) {
        if (it->Number == line.Number) continue;
        found += std::to_string(it->Number) + ",";
        if (found.size() > limit) break;  // the rest could not be shown
    }
    if (!found.empty()) found.pop_back();
    return !found.empty();
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
                if (!number || !(*number >= -2147483648.0 && *number <= 2147483647.0) ||
                    std::trunc(*number) != *number)
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

bool AttributeRowsAlike(const TFldValList& a, const TFldValList& b) {
    if (a.empty() && b.empty()) return true;
    if (a.empty() != b.empty()) return false;
    std::size_t i = 0, j = 0;
    for (;;) {
        while (i < a.size() && IsBlkReservedField(a[i].Name)) ++i;
        while (j < b.size() && IsBlkReservedField(b[j].Name)) ++j;
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
