// TBlk element access: counts, end tests, sequential and by-number reads, vertex reads
// and the header stamps.
#include "block/BlkIo.h"
#include "block/BlkObj.h"
#include "common/Text.h"

#include <algorithm>
#include <cstring>

namespace vexa {

// --- shared by the four groups ----------------------------------------------

std::int32_t TBlk::RecordCount(std::FILE* stream, std::size_t size) {
    CheckOpened();
    return static_cast<std::int32_t>(StreamSize(stream) / static_cast<std::int64_t>(size) - 1);
}

bool TBlk::StreamEof(std::FILE* stream, const TStreamState& state) {
    CheckOpened();
    return state.Position == StreamSize(stream);
}

namespace {
constexpr std::size_t kReadAhead = 64 * 1024;
}

// Reads the record at the stream's position and advances by the bytes read. Records
// come from the read-ahead buffer when it holds them whole; otherwise the buffer is
// filled from the file at the position.
void TBlk::ReadNextRecord(std::FILE* stream, TStreamState& state, void* rec, std::size_t size) {
    std::memset(rec, 0, size);
    CheckOpened();
    const std::int64_t offset = state.Position - state.BufferStart;
    if (offset < 0 || offset + std::int64_t(size) > std::int64_t(state.Buffer.size())) {
        state.Buffer.resize(std::max(kReadAhead, size));
        state.BufferStart = state.Position;
        state.Buffer.resize(blkio::ReadAt(stream, state.Position, state.Buffer.data(), state.Buffer.size()));
    }
    const std::size_t from = static_cast<std::size_t>(state.Position - state.BufferStart);
    const std::size_t got = std::min(size, state.Buffer.size() - from);
    state.Position += static_cast<std::int64_t>(got);
    if (got != size) {
        state.Buffer.clear();  // read again next time: the file may have grown
        throw EBlkReadError(FPath);
    }
    std::memcpy(rec, state.Buffer.data() + from, size);
}

// Finds the element by number. The search starts at the record whose index equals
// the number; as soon as a record with a larger number is met it walks backwards for
// good, one record at a time, to the first element record. The stream position is
// never moved (the records are read by offset), so sequential reading goes on
// where it stood.
void TBlk::FindRecord(std::FILE* stream, blkio::TFileView* cache, std::size_t size, char letter, std::int32_t number,
                      void* rec) {
    std::memset(rec, 0, size);
    CheckOpened();
    const std::int64_t recSize = static_cast<std::int64_t>(size);
    const std::int64_t fileSize = cache ? static_cast<std::int64_t>(cache->size()) : StreamSize(stream);
    if (number < 1 || fileSize <= std::int64_t(number) * recSize) throw EBlkFeatureNotExist(FPath, letter, number);

    auto readAt = [&](std::int64_t offset) -> std::size_t {
        if (!cache) return blkio::ReadAt(stream, offset, rec, size);
        if (offset >= fileSize) return 0;
        std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(recSize, fileSize - offset));
        std::memcpy(rec, cache->data() + offset, n);
        cache->Touched(static_cast<std::size_t>(offset), n);
        return n;
    };

    std::int64_t pos = std::int64_t(number) * recSize;
    bool forward = true;
    std::int32_t found = 0;
    for (;;) {
        if (readAt(pos) != size) {
            std::memset(rec, 0, size);
            throw EBlkReadError(FPath);
        }
        pos += recSize;
        std::memcpy(&found, rec, sizeof found);
        if (forward && number < found) forward = false;
        if (!forward) pos -= 2 * recSize;
        if (found == number || pos < recSize || pos >= fileSize) break;
    }
    if (found != number) {
        std::memset(rec, 0, size);
        throw EBlkFeatureNotExist(FPath, letter, number);
    }
}

// Writes the header record at offset 0; the stream position does not move.
void TBlk::WriteHeader(std::FILE* stream, TStreamState& state, blkio::TFileView* cache, const void* header,
                       std::size_t size) {
    if (state.Kept) return;
    const std::size_t written = blkio::WriteAt(stream, 0, header, size);
    state.Buffer.clear();  // it may hold the old header
    // Keep the cached file in step with what reached the disk.
    if (cache && !cache->Refresh(stream, static_cast<std::size_t>(std::max<std::int64_t>(StreamSize(stream), 0)))) {
        DropReadCache();
        throw EBlkReadError(FPath);
    }
    if (written != size) throw EBlkWriteError(FPath);
}

// --- counts and end tests -----------------------------------------------------

std::int32_t TBlk::LineCount() { return RecordCount(LinStream, sizeof(TBlkLine)); }
std::int32_t TBlk::PointCount() { return RecordCount(PntStream, sizeof(TBlkPoint)); }
std::int32_t TBlk::TextCount() { return RecordCount(TbxStream, sizeof(TBlkText)); }
std::int32_t TBlk::AreaCount() { return RecordCount(AreStream, sizeof(TBlkArea)); }

bool TBlk::LinesEof() { return StreamEof(LinStream, FLinState); }
bool TBlk::PointsEof() { return StreamEof(PntStream, FPntState); }
bool TBlk::TextsEof() { return StreamEof(TbxStream, FTbxState); }
bool TBlk::AreasEof() { return StreamEof(AreStream, FAreState); }

// --- reads ----------------------------------------------------------------------

void TBlk::ReadNextLine(TBlkLine& rec) { ReadNextRecord(LinStream, FLinState, &rec, sizeof rec); }
void TBlk::ReadNextPoint(TBlkPoint& rec) { ReadNextRecord(PntStream, FPntState, &rec, sizeof rec); }
void TBlk::ReadNextText(TBlkText& rec) { ReadNextRecord(TbxStream, FTbxState, &rec, sizeof rec); }
void TBlk::ReadNextArea(TBlkArea& rec) { ReadNextRecord(AreStream, FAreState, &rec, sizeof rec); }

void TBlk::FindLine(std::int32_t number, TBlkLine& rec) {
    FindRecord(LinStream, FReadCache ? &FLinCache : nullptr, sizeof rec, GroupLetter(egLine), number, &rec);
}
void TBlk::FindPoint(std::int32_t number, TBlkPoint& rec) {
    FindRecord(PntStream, nullptr, sizeof rec, GroupLetter(egPoint), number, &rec);
}
void TBlk::FindText(std::int32_t number, TBlkText& rec) {
    FindRecord(TbxStream, nullptr, sizeof rec, GroupLetter(egText), number, &rec);
}
void TBlk::FindArea(std::int32_t number, TBlkArea& rec) {
    FindRecord(AreStream, FReadCache ? &FAreCache : nullptr, sizeof rec, GroupLetter(egArea), number, &rec);
}

// The vertices between the two indexes, inclusive, always in ascending file order.
// The vertex stream is left where the read ended.
void TBlk::ReadCrds(std::int32_t first, std::int32_t last, TCrds& crds) {
    crds.clear();
    CheckOpened();
    constexpr std::int64_t crdSize = sizeof(TBlkCrd);
    const std::int64_t fileSize = FReadCache ? FCrdFileSize : StreamSize(CrdStream);
    if (first == last || first < 0 || last < 0 || fileSize < crdSize * first || fileSize < crdSize * last) {
        const std::int64_t count = std::max<std::int64_t>(fileSize / crdSize - 1, 0);
        const std::string why =
            first == last ? Format("prvý a posledný vrchol sú ten istý (%d)", static_cast<int>(first))
                          : Format("vrcholy %d až %d, tn.crd má vrcholy 1 až %lld", static_cast<int>(first),
                                   static_cast<int>(last), static_cast<long long>(count));
        throw EBlkReadError(FPath, why);
    }
    const std::int64_t lo = std::min(first, last);
    const std::int64_t hi = std::max(first, last);
    const std::size_t want = static_cast<std::size_t>((hi - lo + 1) * crdSize);
    crds.resize(static_cast<std::size_t>(hi - lo + 1));
    std::size_t got = 0;
    if (FReadCache && (hi + 1) * crdSize <= static_cast<std::int64_t>(FCrdCache.size())) {
        got = want;
        std::memcpy(static_cast<void*>(crds.data()), FCrdCache.data() + lo * crdSize, got);
        FCrdCache.Touched(static_cast<std::size_t>(lo * crdSize), got);
    } else {
        got = blkio::ReadAt(CrdStream, lo * crdSize, crds.data(), want);
    }
    FCrdState.Position = lo * crdSize + std::int64_t(got);
    if (got != want) {
        crds.clear();
        throw EBlkReadError(FPath);
    }
}

void TBlk::ReadLineCrds(const TBlkLine& line, TCrds& crds) {
    try {
        ReadCrds(line.FirstCrd, line.LastCrd, crds);
    } catch (const EBlkReadError& e) {
        // Which line: its number before what could not be read.
        const std::string text = e.Message();
        const std::size_t open = text.find("\r(");
        const std::string detail = open == std::string::npos ? std::string() : text.substr(open + 2);
        const std::size_t colon = detail.find(": ");
        const std::string why = colon == std::string::npos ? "vrcholy mimo súboru tn.crd" : detail.substr(colon + 2, detail.size() - colon - 3);
        throw EBlkReadError(FPath, Format("línia %d, %s", static_cast<int>(line.Number), why.c_str()));
    }
}

// --- header stamps -------------------------------------------------------------

void TBlk::TouchLines() {
    CheckOpened();
    TBlkLine h = blkio::LineHeader(PackedNow());
    WriteHeader(LinStream, FLinState, FReadCache ? &FLinCache : nullptr, &h, sizeof h);
}
void TBlk::TouchPoints() {
    CheckOpened();
    TBlkPoint h = blkio::PointHeader(PackedNow());
    WriteHeader(PntStream, FPntState, nullptr, &h, sizeof h);
}
void TBlk::TouchTexts() {
    CheckOpened();
    TBlkText h = blkio::TextHeader(PackedNow());
    WriteHeader(TbxStream, FTbxState, nullptr, &h, sizeof h);
}
void TBlk::TouchAreas() {
    CheckOpened();
    TBlkArea h = blkio::AreaHeader(PackedNow());
    WriteHeader(AreStream, FAreState, FReadCache ? &FAreCache : nullptr, &h, sizeof h);
}

}  // namespace vexa
