#include "block/BlkIo.h"

#include <sys/stat.h>
#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <algorithm>
#include <cstring>

namespace vexa::blkio {

std::size_t ReadAt(std::FILE* stream, std::int64_t offset, void* buffer, std::size_t size) {
#ifdef _WIN32
    // No pread: seek, read and put the stream's position back.
    const std::int64_t saved = ::_ftelli64(stream);
    if (saved < 0 || ::_fseeki64(stream, offset, SEEK_SET) != 0) return 0;
    std::size_t read = std::fread(buffer, 1, size, stream);
    ::_fseeki64(stream, saved, SEEK_SET);
    return read;
#else
    std::size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < size) {
        ssize_t n = ::pread(::fileno(stream), out + done, size - done, static_cast<off_t>(offset + std::int64_t(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
#endif
}

std::size_t WriteAt(std::FILE* stream, std::int64_t offset, const void* data, std::size_t size) {
#ifdef _WIN32
    // No pwrite: seek, write, flush and put the stream's position back.
    const std::int64_t saved = ::_ftelli64(stream);
    if (saved < 0 || ::_fseeki64(stream, offset, SEEK_SET) != 0) return 0;
    std::size_t written = std::fwrite(data, 1, size, stream);
    if (std::fflush(stream) != 0) written = 0;
    ::_fseeki64(stream, saved, SEEK_SET);
    return written;
#else
    std::size_t done = 0;
    auto* in = static_cast<const char*>(data);
    while (done < size) {
        ssize_t n = ::pwrite(::fileno(stream), in + done, size - done, static_cast<off_t>(offset + std::int64_t(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
#endif
}

std::int64_t FileSize(std::FILE* stream) {
#ifdef _WIN32
    struct _stat64 st {};
    if (::_fstat64(::_fileno(stream), &st) != 0) return -1;
#else
    struct stat st {};
    if (::fstat(::fileno(stream), &st) != 0) return -1;
#endif
    return static_cast<std::int64_t>(st.st_size);
}

bool TFileView::Load(std::FILE* stream, std::size_t size) {
    Reset();
    if (size == 0) return true;
#ifndef _WIN32
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, ::fileno(stream), 0);
    if (map != MAP_FAILED) {
        FMap = map;
        FMapSize = size;
        FWindowsSeen.assign(((size >> kWindowBits) + 1 + 63) / 64, 0);
        FData = static_cast<const std::uint8_t*>(map);
        FSize = size;
        return true;
    }
#endif
    FCopy.assign(size, 0);
    if (ReadAt(stream, 0, FCopy.data(), size) != size) {
        Reset();
        return false;
    }
    FData = FCopy.data();
    FSize = size;
    return true;
}

void TFileView::Reset() {
#ifndef _WIN32
    if (FMap) ::munmap(FMap, FMapSize);
#endif
    FMap = nullptr;
    FMapSize = 0;
    FCopy = {};
    FData = nullptr;
    FSize = 0;
    FTouchedLo = SIZE_MAX;
    FTouchedHi = 0;
    FLastWindow = SIZE_MAX;
    FWindowsSeen = {};
    FWindows = 0;
}

void TFileView::Release() {
#ifndef _WIN32
    if (FMap && FTouchedLo < FTouchedHi) {
        const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        const std::size_t lo = FTouchedLo / page * page;
        const std::size_t hi = std::min(FMapSize, FTouchedHi);
        if (hi > lo) ::madvise(static_cast<std::uint8_t*>(FMap) + lo, hi - lo, MADV_DONTNEED);
    }
#endif
    FTouchedLo = SIZE_MAX;
    FTouchedHi = 0;
    FLastWindow = SIZE_MAX;
    std::fill(FWindowsSeen.begin(), FWindowsSeen.end(), 0);
    FWindows = 0;
}

namespace {
template <typename T>
T Header(std::uint32_t time, std::uint8_t flags) {
    T h{};
    h.Flags = flags;
    h.Time = time;
    return h;
}
}  // namespace

TBlkLine LineHeader(std::uint32_t time) { return Header<TBlkLine>(time, 1); }
TBlkPoint PointHeader(std::uint32_t time) { return Header<TBlkPoint>(time, 1); }
TBlkText TextHeader(std::uint32_t time) { return Header<TBlkText>(time, 1); }
TBlkArea AreaHeader(std::uint32_t time) { return Header<TBlkArea>(time, 4); }

}  // namespace vexa::blkio
