#pragma once
// What runs that no longer exist left behind, and the lock that keeps two check runs off
// one map. Temporary files carry the process id of the run that made them:
//   beside a file:         ".<name>.vexa-<pid>-<n>-<r>.tmp[.<ext>]"   (TempPathBeside)
//   the private directory: "<TMPDIR>/vexa-<pid>-XXXXXX"               (MakePrivateTempDir)
// A leftover is removed only when its process is gone; one of a live process is kept.
#include "common/Exception.h"

#include <filesystem>
#include <optional>
#include <string>

namespace vexa {

// The process id in a temporary name of either form; nothing when the name is none.
std::optional<long> LeftoverPid(const std::string& fileName);

// True when a process of that id runs (or may run: one we may not signal counts as running).
bool ProcessAlive(long pid);

// Removes the temporary files of gone processes directly in dir; returns how many.
int RemoveLeftovers(const std::filesystem::path& dir);

// Removes the private directories of gone processes in the temporary directory.
int RemoveTempLeftovers();

// The lock of a map directory: "<map>/.vexa-check.lock" holding the owner's process id,
// locked with flock while the run lasts and removed when it ends.
class ERunLocked : public Exception {
public:
    using Exception::Exception;
};

class TMapLock {
public:
    // Takes the lock, waiting at most waitMs; raises ERunLocked "Na mape ... už beží iná
    // kontrola (proces N)." when another run keeps it, Exception when the lock file cannot
    // be made.
    explicit TMapLock(const std::string& mapDir, int waitMs = 0);
    ~TMapLock();
    TMapLock(const TMapLock&) = delete;
    TMapLock& operator=(const TMapLock&) = delete;

    static constexpr const char* kFileName = ".vexa-check.lock";

private:
    std::string FPath;
    int FFd = -1;
};

}  // namespace vexa
