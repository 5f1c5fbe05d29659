#pragma once
// The one way a table file is rewritten: under an exclusive lock, the new
// table is built beside the original and replaces it atomically only when
// complete. A failure at any point leaves the original byte for byte.
//
// A table in use: the lock is an advisory flock, which this system's own
// readers and writers take. A table that another program holds without such a
// lock is protected by comparing the file before and after the new one is
// built: if it changed meanwhile, the rewrite is dropped and refused
// (EDbfTableInUse), so a file is never replaced under a writer. A read-only
// table (no write permission bits) is refused before anything is written.
#include "dbase/DbfFile.h"

#include <memory>
#include <string>

namespace vexa::dbfio {

// A file descriptor holding a flock on a table file for its lifetime; the
// lock is always on the file that the path names at the moment it is taken.
class FileLock {
public:
    FileLock() = default;
    FileLock(const std::string& path, bool exclusive);  // raises EDbfTableInUse / EDbfEngineError
    ~FileLock();
    FileLock(FileLock&& o) noexcept;
    FileLock& operator=(FileLock&& o) noexcept;
    int Fd() const { return FFd; }
    void Release();

private:
    int FFd = -1;
};

class TableRewriter {
public:
    // Locks and opens the table; raises when it is in use, read-only or unreadable.
    explicit TableRewriter(const std::string& path);
    ~TableRewriter();  // drops an uncommitted replacement
    TableRewriter(const TableRewriter&) = delete;
    TableRewriter& operator=(const TableRewriter&) = delete;

    DbfFile& Source() { return *FSource; }
    const std::string& Path() const { return FPath; }

    // Starts the replacement with this header (its record count is set at
    // Commit from the records put).
    void Begin(const DbfHeader& header);
    void Put(const std::string& record);  // RecordLength bytes of the new header
    // Writes the header and the end marker, flushes, and puts the new file in
    // place of the original.
    void Commit();

private:
    void Flush();
    [[noreturn]] void Fail(const std::string& what);

    std::string FPath;
    FileLock FLock;
    std::unique_ptr<DbfFile> FSource;
    struct Stamp;
    std::unique_ptr<Stamp> FBefore;
    std::string FTemp;
    int FTempFd = -1;
    DbfHeader FHeader;
    std::string FPending;
    std::size_t FHeaderSize = 0;
    std::uint64_t FWritten = 0;  // bytes of records written to the temporary file
    std::uint32_t FRecords = 0;
    bool FCommitted = false;
};

}  // namespace vexa::dbfio
