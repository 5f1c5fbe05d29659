// The search for lines with the same geometry as a given line.
#include "block/BlkDuplicateIndex.h"
#include "block/BlkIo.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vexa {

namespace {

std::int64_t VertexSpan(const TBlkLine& line) { return std::llabs(std::int64_t(line.LastCrd) - line.FirstCrd); }

bool SameRect(const TBlkRect& a, const TBlkRect& b) {
    return a.MinX == b.MinX && a.MinY == b.MinY && a.MaxX == b.MaxX && a.MaxY == b.MaxY;
}

bool SameCrds(const TCrds& a, const TCrds& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a[i].X == b[i].X) || !(a[i].Y == b[i].Y)) return false;
    return true;
}

// Every encoding of zero becomes the one zero, so equal values give equal bytes.
void AppendCanonical(std::string& key, const TReal48& r) {
    if (r.Bytes[0] == 0)
        key.append(6, '\0');
    else
        key.append(reinterpret_cast<const char*>(r.Bytes.data()), 6);
}

}  // namespace

// Compares the candidate with the given line's vertices, in the same order and then
// reversed; a match appends its number and a comma.
static void CompareCandidate(TBlk& blk, const TBlkLine& candidate, const TCrds& crds, std::string& found) {
    TCrds other;
    blk.ReadLineCrds(candidate, other);
    if (!SameCrds(crds, other)) {
        TBlk::ReverseCrds(other);
        if (!SameCrds(crds, other)) return;
    }
    found += std::to_string(candidate.Number);
    found += ',';
}

// Reads the lines file in blocks of 1000 records from record 1; vertices are read only
// for records that pass the cheap tests. The stream position is never moved.
void TBlk::FindDuplicatesInFile(const TBlkLine& line, const TCrds& crds, std::string& found) {
    constexpr std::size_t recSize = sizeof(TBlkLine);
    constexpr std::size_t perBlock = 1000;
    std::vector<std::uint8_t> buffer(perBlock * recSize);
    const std::int64_t span = VertexSpan(line);
    std::int64_t pos = recSize;
    for (;;) {
        const std::size_t got = blkio::ReadAt(LinStream, pos, buffer.data(), buffer.size());
        const std::size_t whole = got / recSize;
        for (std::size_t i = 0; i < whole; ++i) {
            TBlkLine r;
            std::memcpy(static_cast<void*>(&r), buffer.data() + i * recSize, recSize);
            if (r.Number == line.Number || LineDeleted(r)) continue;
            if (VertexSpan(r) != span || !SameRect(r.Rect, line.Rect)) continue;
            CompareCandidate(*this, r, crds, found);
        }
        if (got < buffer.size()) break;
        pos += static_cast<std::int64_t>(got);
    }
}

TBlk::TDuplicateIndex::Key TBlk::TDuplicateIndex::KeyOf(const TBlkLine& line) {
    Key key;
    key.Count = VertexSpan(line);
    const TReal48* values[4] = {&line.Rect.MinX, &line.Rect.MinY, &line.Rect.MaxX, &line.Rect.MaxY};
    for (int i = 0; i < 4; ++i)
        if (values[i]->Bytes[0] != 0) std::memcpy(key.Rect.data() + 6 * i, values[i]->Bytes.data(), 6);
    std::uint64_t h = 1469598103934665603ULL ^ static_cast<std::uint64_t>(key.Count);
    for (std::uint8_t b : key.Rect) h = (h ^ b) * 1099511628211ULL;
    key.Hash = h;
    return key;
}

std::string TBlk::TDuplicateIndex::GeometryKey(const TCrds& crds) {
    auto bytes = [](const TCrds& c) {
        std::string out;
        out.reserve(c.size() * 12);
        for (const TBlkCrd& v : c) {
            AppendCanonical(out, v.X);
            AppendCanonical(out, v.Y);
        }
        return out;
    };
    std::string forward = bytes(crds);
    TCrds reversed = crds;
    TBlk::ReverseCrds(reversed);
    return std::min(forward, bytes(reversed));
}

// Every whole record after the header that is not deleted, from the cached lines file;
// the vertices of the records that share their cheap key are read once, here.
void TBlk::TDuplicateIndex::Build(TBlk& blk) {
    constexpr std::size_t recSize = sizeof(TBlkLine);
    Entries.clear();
    const std::size_t records = blk.FLinCache.size() / recSize;
    for (std::size_t i = 1; i < records; ++i) {
        TBlkLine r;
        std::memcpy(static_cast<void*>(&r), blk.FLinCache.data() + i * recSize, recSize);
        if (LineDeleted(r)) continue;
        Entries.push_back({KeyOf(r), static_cast<std::uint32_t>(i), r.Number, r.FirstCrd, r.LastCrd, false, {}});
    }
    auto byKey = [](const Entry& a, const Entry& b) { return a.K != b.K ? a.K < b.K : a.Position < b.Position; };
    std::sort(Entries.begin(), Entries.end(), byKey);
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

void TBlk::TDuplicateIndex::Find(TBlk& blk, const TBlkLine& line, const TCrds& crds, std::string& found,
                                 std::size_t limit) const {
    const Key key = KeyOf(line);
    auto shared = Shared.find(key.Hash);
    if (shared == Shared.end()) return;  // the line is the only one of its kind
    const auto first = Entries.begin() + shared->second.first;
    const auto last = Entries.begin() + shared->second.second;
    auto lo = std::lower_bound(first, last, key, [](const Entry& e, const Key& k) { return e.K < k; });
    auto hi = std::upper_bound(lo, last, key, [](const Key& k, const Entry& e) { return k < e.K; });
    // Any other record of the same cheap key whose vertices cannot be read is an error,
    // as reading it for the comparison would be.
    for (auto it = lo; it != hi; ++it)
        if (it->Broken && it->Number != line.Number) throw EBlkReadError(blk.Path());
    const std::string geometry = GeometryKey(crds);
    auto same = std::lower_bound(lo, hi, geometry,
                                 [](const Entry& e, const std::string& g) { return !e.Broken && e.Geometry < g; });
    for (auto it = same; it != hi && !it->Broken && it->Geometry == geometry; ++it) {
        if (it->Number == line.Number) continue;
        found += std::to_string(it->Number);
        found += ',';
        if (found.size() > limit) break;  // the rest could not be shown
    }
}

// The same search over the cached lines file through the index.
void TBlk::FindDuplicatesInCache(const TBlkLine& line, const TCrds& crds, std::string& found, std::size_t limit) {
    if (!FDuplicateIndex) {
        auto index = std::make_unique<TDuplicateIndex>();
        index->Build(*this);
        FDuplicateIndex = std::move(index);
    }
    FDuplicateIndex->Find(*this, line, crds, found, limit);
}

bool TBlk::FindDuplicateLines(const TBlkLine& line, std::string& found, std::size_t limit) {
    found.clear();
    TCrds crds;
    ReadLineCrds(line, crds);
    std::string result;
    if (FReadCache)
        FindDuplicatesInCache(line, crds, result, limit);
    else
        FindDuplicatesInFile(line, crds, result);
    if (!result.empty()) result.pop_back();  // the final comma
    found = result;
    return !found.empty();
}

}  // namespace vexa
