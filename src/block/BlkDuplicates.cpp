// The search for lines with the same geometry as a given line.
#include "block/BlkDuplicateIndex.h"
#include "block/BlkIo.h"

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

} // namespace

std::string TBlk::TDuplicateIndex::Key(const TBlkLine& line) {
    std::string key;
    const std::int64_t span = VertexSpan(line);
    key.append(reinterpret_cast<const char*>(&span), sizeof span);
    AppendCanonical(key, line.Rect.MinX);
    AppendCanonical(key, line.Rect.MinY);
    AppendCanonical(key, line.Rect.MaxX);
    AppendCanonical(key, line.Rect.MaxY);
    return key;
}

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

// The same search over the cached lines file through an index of the cheap tests.
void TBlk::FindDuplicatesInCache(const TBlkLine& line, const TCrds& crds, std::string& found) {
    constexpr std::size_t recSize = sizeof(TBlkLine);
    if (!FDuplicateIndex) {
        auto index = std::make_unique<TDuplicateIndex>();
        const std::size_t records = FLinCache.size() / recSize;
        for (std::size_t i = 1; i < records; ++i) {
            TBlkLine r;
            std::memcpy(static_cast<void*>(&r), FLinCache.data() + i * recSize, recSize);
            index->Groups[TDuplicateIndex::Key(r)].push_back(static_cast<std::uint32_t>(i));
        }
        FDuplicateIndex = std::move(index);
    }
    auto it = FDuplicateIndex->Groups.find(TDuplicateIndex::Key(line));
    if (it == FDuplicateIndex->Groups.end()) return;
    for (std::uint32_t i : it->second) {
        TBlkLine r;
        std::memcpy(static_cast<void*>(&r), FLinCache.data() + std::size_t(i) * recSize, recSize);
        if (r.Number == line.Number || LineDeleted(r)) continue;
        CompareCandidate(*this, r, crds, found);
    }
}

bool TBlk::FindDuplicateLines(const TBlkLine& line, std::string& found) {
    found.clear();
    TCrds crds;
    ReadLineCrds(line, crds);
    std::string result;
    if (FReadCache)
        FindDuplicatesInCache(line, crds, result);
    else
        FindDuplicatesInFile(line, crds, result);
    if (!result.empty()) result.pop_back();  // the final comma
    found = result;
    return !found.empty();
}

} // namespace vexa
