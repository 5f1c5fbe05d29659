#include "dbase/DbfRewrite.h"

#include "common/AtomicFile.h"
#include "common/Text.h"
#include "dbase/DbfExceptions.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vexa::dbfio {

namespace fs = std::filesystem;

namespace {

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

FileLock::FileLock(const std::string& path, bool exclusive) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (FFd < 0) throw EDbfEngineError("Cannot open the table file: " + ErrnoText() + ".", path);
        if (::flock(FFd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            int err = errno;
            Release();
            if (err == EWOULDBLOCK) throw EDbfTableInUse(path);
            errno = err;
            throw EDbfEngineError("Cannot lock the table file: " + ErrnoText() + ".", path);
        }
        // A rewrite may have replaced the file between open and lock: the lock
        // must be on the file that the path names now.
        struct stat held {
        }, named{};
        if (::fstat(FFd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            return;
        Release();
    }
    throw EDbfTableInUse(path);
}

FileLock::~FileLock() { Release(); }

FileLock::FileLock(FileLock&& o) noexcept : FFd(o.FFd) { o.FFd = -1; }

FileLock& FileLock::operator=(FileLock&& o) noexcept {
    if (this != &o) {
        Release();
        FFd = o.FFd;
        o.FFd = -1;
    }
    return *this;
}

void FileLock::Release() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
}

// ----------------------------------------------------------------------------

struct TableRewriter::Stamp {
    dev_t Device;
    ino_t Inode;
    off_t Size;
    struct timespec Modified;

    static Stamp Of(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_size, st.st_mtim}; }
    bool operator==(const Stamp& o) const {
        return Device == o.Device && Inode == o.Inode && Size == o.Size && Modified.tv_sec == o.Modified.tv_sec &&
               Modified.tv_nsec == o.Modified.tv_nsec;
    }
};

TableRewriter::TableRewriter(const std::string& path) : FPath(path) {
    FLock = FileLock(path, true);
    struct stat st {};
    if (::fstat(FLock.Fd(), &st) != 0) throw EDbfEngineError("Cannot read the table file: " + ErrnoText() + ".", path);
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0)
        throw EDbfEngineError("Tabuľka je len na čítanie; Vexa ju nezmenila.", path);
    FBefore = std::make_unique<Stamp>(Stamp::Of(st));
    FSource = std::make_unique<DbfFile>(path, false);
}

TableRewriter::~TableRewriter() {
    if (FTempFd >= 0) ::close(FTempFd);
    if (!FCommitted && !FTemp.empty()) {
        std::error_code ec;
        fs::remove(FTemp, ec);
    }
}

void TableRewriter::Fail(const std::string& what) {
    const std::string full = FullDiskMessage("Tabuľka sa nedá zapísať");
    if (!full.empty()) throw EDbfEngineError(full, FPath);
    const std::string detail = LastLibraryMessage();
    throw EDbfEngineError(what + (detail.empty() ? std::string(".") : ": " + detail + "."), FPath);
}

void TableRewriter::Begin(const DbfHeader& header) {
    FHeader = header;
    // The replacement is built under a name that no walk over the directory's
    // tables takes for a table (it does not end in ".dbf").
    FTemp = TempPathBeside(FPath).string();
    FTempFd = ::open(FTemp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (FTempFd < 0) {
        FTemp.clear();
        throw EDbfEngineError("Cannot create the new table file: " + ErrnoText() + ".", FPath);
    }
    FHeader.RecordCount = 0;
    FHeaderSize = BuildHeader(FHeader).size();  // the records follow it
}

void TableRewriter::Flush() {
    if (FPending.empty()) return;
    const off_t at = static_cast<off_t>(FHeaderSize + FWritten);
    if (!WriteAt(FTempFd, FPending.data(), FPending.size(), at)) Fail("Cannot write the table file");
    FWritten += FPending.size();
    FPending.clear();
}

void TableRewriter::Put(const std::string& record) {
    FPending += record;
    ++FRecords;
    if (FPending.size() >= (1u << 18)) Flush();
}

void TableRewriter::Commit() {
    Flush();
    FHeader.RecordCount = FRecords;
    StampDate(FHeader.Prefix);
    const std::string header = BuildHeader(FHeader);
    if (!WriteAt(FTempFd, header.data(), header.size(), 0)) Fail("Cannot write the table file");
    const char end = 0x1A;
    if (FHeader.EndMarker && !WriteAt(FTempFd, &end, 1, static_cast<off_t>(header.size() + FWritten)))
        Fail("Cannot write the table file");
    if (::fsync(FTempFd) != 0) Fail("Cannot write the table file");

    // The new file must read back as the table that was planned.
    {
        DbfFile check(FTemp, false);
        if (check.RecordCount() != FRecords || check.Header().Fields.size() != FHeader.Fields.size())
            throw EDbfEngineError("The rewritten table does not read back.", FPath);
    }
    struct stat now {};
    if (::stat(FPath.c_str(), &now) != 0 || !(Stamp::Of(now) == *FBefore)) throw EDbfTableInUse(FPath);

    ::fchmod(FTempFd, now.st_mode & 07777);
    ::close(FTempFd);
    FTempFd = -1;
    try {
        CommitReplacement(FTemp, FPath);
    } catch (const fs::filesystem_error& e) {
        throw EDbfEngineError(std::string("Cannot replace the table file: ") + e.code().message() + ".", FPath);
    }
    FCommitted = true;
}

}  // namespace vexa::dbfio
