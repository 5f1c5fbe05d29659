#pragma once
// Internal helpers of the block store: positioned reads and header records.
#include "block/BlkRecords.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vexa::blkio {

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
