#pragma once
// A dBASE table file as it is laid out on disk: the header read into a plain
// model that keeps every byte other programs may rely on (version byte, table
// flags, language driver, each field's descriptor, the Visual FoxPro backlink
// area), and record access by number.
//
// Variants read: dBASE III/IV/5 (0x03, 0x83, 0x8B, 0x8E, 0x43, 0x63, 0xCB,
// 0xFB), FoxPro 2.x (0xF5), Visual FoxPro (0x30, 0x31, 0x32) and character
// fields wider than 255 (FoxPro and Clipper keep the width's high byte in the
// decimals byte). A header whose fields do not add up to its record length
// is refused before anything is read from the records.
#include "dbase/DbfIo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexa::dbfio {

struct DbfHeader {
    std::string Prefix;  // the first 32 bytes as stored
    std::vector<FieldLayout> Fields;
    std::string Tail;        // bytes after the field terminator up to the first record
    bool Terminated = true;  // the field list ends with 0x0D
    bool EndMarker = true;   // an end-of-file byte 0x1A follows the records
    std::uint32_t RecordCount = 0;
    std::uint32_t HeaderLength = 0;
    std::uint32_t RecordLength = 0;

    unsigned char Version() const { return static_cast<unsigned char>(Prefix[0]); }
    int LanguageDriver() const { return static_cast<unsigned char>(Prefix[29]); }
    bool IsVisualFoxPro() const { return Version() == 0x30 || Version() == 0x31 || Version() == 0x32; }
    bool HasNullFlags() const;
};

// Parses a header from the start of a file of fileSize bytes (bytes holds at
// least the header). Raises EDbfEngineError naming path when the bytes are no
// table this system can read.
DbfHeader ParseHeader(const std::string& bytes, std::uintmax_t fileSize, const std::string& path);

// The header bytes for a table of these fields: lengths and (for Visual
// FoxPro) field offsets recomputed, every other byte from the model.
std::string BuildHeader(const DbfHeader& header);

// Stores today's date in a header's prefix.
void StampDate(std::string& prefix);

// Number of bytes of the header part of a file (from its first 12 bytes).
std::uint32_t HeaderLengthOf(const std::string& first12);

// An open table file; records are read through a read-ahead buffer so a walk
// over the table reads it in large blocks.
class DbfFile {
public:
    DbfFile(const std::string& path, bool writable);  // raises EDbfEngineError
    ~DbfFile();
    DbfFile(const DbfFile&) = delete;
    DbfFile& operator=(const DbfFile&) = delete;

    const DbfHeader& Header() const { return FHeader; }
    const std::string& Path() const { return FPath; }
    int CodePage() const { return FCodePage; }
    int Fd() const { return FFd; }
    std::uint32_t RecordCount() const { return FHeader.RecordCount; }

    // Raw bytes of record index (0-based), RecordLength of them.
    const char* Record(std::uint32_t index);

    // Writes one record in place / appends records (bytes: whole records one after
    // another, in one write; record count and the end marker updated); false when a
    // write failed.
    bool WriteRecord(std::uint32_t index, const std::string& bytes);
    // Writes the deletion flag of one record in place (the records read stay buffered);
    // false when the write failed.
    bool MarkDeleted(std::uint32_t index);
    bool AppendRecords(const std::string& bytes);
    bool WriteHeaderDate();

    // Text of a memo field from its record bytes; null when the memo file is
    // missing, the block is empty or holds no text.
    TValue MemoValue(const FieldLayout& field, const char* raw);

private:
    std::string FPath;
    int FFd = -1;
    DbfHeader FHeader;
    int FCodePage = 1250;
    std::string FBuffer;
    std::uint32_t FBufferFirst = 0;  // first record held in FBuffer
    std::uint32_t FBufferCount = 0;
    // The memo file, opened on first use: its size and block size.
    bool FMemoLooked = false;
    int FMemoFd = -1;
    std::uint64_t FMemoSize = 0;
    std::uint64_t FMemoBlockSize = 0;
    bool FMemoIsFpt = false;
};

}  // namespace vexa::dbfio
