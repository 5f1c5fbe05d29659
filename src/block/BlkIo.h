#pragma once
// Internal helpers of the block store: positioned reads and header records.
#include "block/BlkRecords.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <vector>

namespace vexa::blkio {

// The first bytes of a file, read-only, through a shared memory mapping: the pages
// are the system's file cache rather than this process's memory, and what is
// written to the file through its descriptor shows at once. Where the system
// cannot map the file, its bytes are read into memory instead.
class TFileView {
public:
    TFileView() = default;
    ~TFileView() { Reset(); }
    TFileView(const TFileView&) = delete;
    TFileView& operator=(const TFileView&) = delete;

    // Shows bytes [0, size) of the stream's file; false when they cannot all be read.
    // The file must not shrink while it is shown.
    bool Load(std::FILE* stream, std::size_t size);
    void Reset();
    // After the file was written through its descriptor: shows its first size bytes
    // as they now are (a mapping of the same size shows them already).
    bool Refresh(std::FILE* stream, std::size_t size) {
        if (FMap && size == FSize) return true;
        return Load(stream, size);
    }

    const std::uint8_t* data() const { return FData; }
    std::size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }

    // Notes that [offset, offset + size) was read. A read maps the pages around it too
    // (up to a whole 2 MiB huge page where the file cache holds the file so); once
    // reads have met so many distinct such windows, the pages read are handed back to
    // the file cache (they come back when read again). A pass over a large file so
    // keeps only a little of it in the process, reading in order or at random, while
    // reads that stay among a few windows (the boundary walks) keep their pages.
    void Touched(std::size_t offset, std::size_t size) {
        if (!FMap) return;
        if (offset < FTouchedLo) FTouchedLo = offset;
        if (offset + size > FTouchedHi) FTouchedHi = offset + size;
        const std::size_t window = offset >> kWindowBits;
        if (window == FLastWindow) return;
        FLastWindow = window;
        std::uint64_t& word = FWindowsSeen[window / 64];
        const std::uint64_t bit = std::uint64_t(1) << (window % 64);
        if (word & bit) return;
        word |= bit;
        if (++FWindows > kWindowsPerRelease) Release();
    }
    // Hands the pages read so far back to the file cache.
    void Release();

private:
    static constexpr int kWindowBits = 21;             // 2 MiB
    static constexpr unsigned kWindowsPerRelease = 4;  // about 8 MiB mapped
    const std::uint8_t* FData = nullptr;
    std::size_t FSize = 0;
    void* FMap = nullptr;
    std::size_t FMapSize = 0;
    std::vector<std::uint8_t> FCopy;
    std::size_t FTouchedLo = SIZE_MAX, FTouchedHi = 0;
    std::size_t FLastWindow = SIZE_MAX;
    std::vector<std::uint64_t> FWindowsSeen;  // a bit per window read since the last release
    unsigned FWindows = 0;                    // distinct windows read since the last release
};

// Reads up to size bytes at offset without moving the stream's position; returns
// the number of bytes read (fewer at the end of the file).
std::size_t ReadAt(std::FILE* stream, std::int64_t offset, void* buffer, std::size_t size);

// Writes size bytes at offset without moving the stream's position; returns the number
// of bytes written.
std::size_t WriteAt(std::FILE* stream, std::int64_t offset, const void* data, std::size_t size);

// The file's current size; -1 when it cannot be found.
std::int64_t FileSize(std::FILE* stream);

// Header records (record 0): all zero but the deleted bit and the time.
TBlkLine LineHeader(std::uint32_t time);
TBlkPoint PointHeader(std::uint32_t time);
TBlkText TextHeader(std::uint32_t time);
TBlkArea AreaHeader(std::uint32_t time);

}  // namespace vexa::blkio
