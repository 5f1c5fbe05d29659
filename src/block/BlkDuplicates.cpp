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
    return key;
}

std::uint32_t TBlk::TDuplicateIndex::HashOf(const Key& key) {
    std::uint64_t words[3];
    std::memcpy(words, key.Rect.data(), sizeof words);
    std::uint64_t h = static_cast<std::uint64_t>(key.Count) * 0x9E3779B97F4A7C15ULL;
    for (std::uint64_t w : words) {
        h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
        h ^= h >> 29;
    }
    return static_cast<std::uint32_t>(h >> 32);
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
// the vertices of the records that share their hash are read once, here.
void TBlk::TDuplicateIndex::Build(TBlk& blk) {
    constexpr std::size_t recSize = sizeof(TBlkLine);
    Entries.clear();
    Details.clear();
    const std::size_t records = blk.FLinCache.size() / recSize;
    Entries.reserve(records > 0 ? records - 1 : 0);
    auto record = [&](std::size_t position) {
        TBlkLine r;
        std::memcpy(static_cast<void*>(&r), blk.FLinCache.data() + position * recSize, recSize);
        blk.FLinCache.Touched(position * recSize, recSize);
        return r;
    };
    for (std::size_t i = 1; i < records; ++i) {
        const TBlkLine r = record(i);
        if (LineDeleted(r)) continue;
        Entries.push_back({HashOf(KeyOf(r)), static_cast<std::uint32_t>(i)});
    }
    std::sort(Entries.begin(), Entries.end(), [](const Entry& a, const Entry& b) {
        return a.Hash != b.Hash ? a.Hash < b.Hash : a.Slot < b.Slot;
    });
    int bits = 0;
    while (bits < 16 && (std::size_t(1) << bits) < Entries.size()) ++bits;
    DirectoryShift = 32 - bits;
    Directory.assign((std::size_t(1) << bits) + 1, 0);
    std::size_t at = 0;
    for (std::size_t bucket = 0; bucket + 1 < Directory.size(); ++bucket) {
        Directory[bucket] = static_cast<std::uint32_t>(at);
        while (at < Entries.size() && (std::uint64_t(Entries[at].Hash) >> DirectoryShift) == bucket) ++at;
    }
    Directory.back() = static_cast<std::uint32_t>(Entries.size());
    SharedAt.assign(records, false);
    TCrds crds;
    std::vector<std::uint32_t> order;
    for (std::size_t i = 0; i < Entries.size();) {
        std::size_t j = i + 1;
        while (j < Entries.size() && Entries[j].Hash == Entries[i].Hash) ++j;
        if (j - i > 1) {
            order.clear();
            for (std::size_t k = i; k < j; ++k) {
                const std::uint32_t position = Entries[k].Slot;
                SharedAt[position] = true;
                const TBlkLine r = record(position);
                Detail d;
                d.K = KeyOf(r);
                d.Number = r.Number;
                d.Position = position;
                try {
                    blk.ReadCrds(r.FirstCrd, r.LastCrd, crds);
                    d.Geometry = GeometryKey(crds);
                } catch (const EBlkReadError&) {
                    d.Broken = true;
                }
                order.push_back(static_cast<std::uint32_t>(Details.size()));
                Details.push_back(std::move(d));
            }
            std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
                const Detail& x = Details[a];
                const Detail& y = Details[b];
                if (x.K != y.K) return x.K < y.K;
                if (x.Broken != y.Broken) return x.Broken < y.Broken;
                if (x.Geometry != y.Geometry) return x.Geometry < y.Geometry;
                return x.Position < y.Position;
            });
            for (std::size_t k = i; k < j; ++k) Entries[k].Slot = order[k - i];
        }
        i = j;
    }
    blk.FLinCache.Release();
    blk.FCrdCache.Release();
}

void TBlk::TDuplicateIndex::Find(TBlk& blk, const TBlkLine& line, const TCrds& crds, std::string& found,
                                 std::size_t limit) const {
    const Key key = KeyOf(line);
    const std::uint32_t hash = HashOf(key);
    const std::size_t bucket = static_cast<std::size_t>(std::uint64_t(hash) >> DirectoryShift);
    const auto rangeEnd = Entries.begin() + Directory[bucket + 1];
    auto first = std::lower_bound(Entries.begin() + Directory[bucket], rangeEnd, hash,
                                  [](const Entry& e, std::uint32_t h) { return e.Hash < h; });
    // Searched, not walked: thousands of copies of one line share a hash.
    const auto last = std::upper_bound(first, rangeEnd, hash, [](std::uint32_t h, const Entry& e) { return h < e.Hash; });
    if (last - first < 2) {
        // A hash no other record has: the record itself, or one line that is not it.
        if (first == last) return;
        TBlkLine other;
        std::memcpy(static_cast<void*>(&other), blk.FLinCache.data() + first->Slot * sizeof(TBlkLine), sizeof other);
        blk.FLinCache.Touched(first->Slot * sizeof(TBlkLine), sizeof other);
        if (other.Number == line.Number || KeyOf(other) != key) return;
        CompareCandidate(blk, other, crds, found);
        return;
    }
    auto detail = [&](const Entry& e) -> const Detail& { return Details[e.Slot]; };
    auto lo = std::lower_bound(first, last, key, [&](const Entry& e, const Key& k) { return detail(e).K < k; });
    auto hi = std::upper_bound(lo, last, key, [&](const Key& k, const Entry& e) { return k < detail(e).K; });
    // Any other record of the same cheap key whose vertices cannot be read is an error,
    // as reading it for the comparison would be. They come last among their key.
    for (auto it = hi; it != lo && detail(*(it - 1)).Broken; --it)
        if (detail(*(it - 1)).Number != line.Number) throw EBlkReadError(blk.Path());
    const std::string geometry = GeometryKey(crds);
    auto same = std::lower_bound(lo, hi, geometry, [&](const Entry& e, const std::string& g) {
        return !detail(e).Broken && detail(e).Geometry < g;
    });
    for (auto it = same; it != hi && !detail(*it).Broken && detail(*it).Geometry == geometry; ++it) {
        if (detail(*it).Number == line.Number) continue;
        found += std::to_string(detail(*it).Number);
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
    // The line the sequential read gave last, when it is in the index and alone with
    // its hash, has no duplicate: no other record has its cheap key.
    constexpr std::int64_t recSize = sizeof(TBlkLine);
    const std::int64_t position = FLinState.Position / recSize - 1;
    if (position >= 1 && FLinState.Position % recSize == 0 &&
        position < static_cast<std::int64_t>(FDuplicateIndex->SharedAt.size()) &&
        !FDuplicateIndex->SharedAt[static_cast<std::size_t>(position)]) {
        TBlkLine at;
        std::memcpy(static_cast<void*>(&at), FLinCache.data() + position * recSize, sizeof at);
        FLinCache.Touched(static_cast<std::size_t>(position * recSize), sizeof at);
        if (!LineDeleted(at) && std::memcmp(&at, &line, sizeof at) == 0) return;
    }
    FDuplicateIndex->Find(*this, line, crds, found, limit);
}

bool TBlk::FindDuplicateLines(const TBlkLine& line, std::string& found, std::size_t limit) {
    TCrds crds;
    ReadLineCrds(line, crds);
    return FindDuplicateLines(line, crds, found, limit);
}

bool TBlk::FindDuplicateLines(const TBlkLine& line, const TCrds& crds, std::string& found, std::size_t limit) {
    found.clear();
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
