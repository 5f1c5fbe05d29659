#pragma once
// The Jet import run in a child process: a crash, a hang or stray output of the Jet
// reader (libmdb) on a damaged standard becomes a clear error naming the file.
#include <cstddef>
#include <functional>
#include <string>

namespace vexa {

// The outcome of work run in a child process.
struct TChildOutcome {
    bool Ok = false;
    std::string Error;        // the child's own error message, or why it ended (Slovak)
    std::size_t Printed = 0;  // bytes the child wrote on its stdout and stderr (never passed on)
};

// Runs work in a forked child process (standard input /dev/null, standard output and error
// into a pipe that is only counted), waits at most timeoutMs (then kills it) and tells how it
// ended. An exception work raises becomes Error (its message). Nothing the child prints
// reaches our output. With outputLimit > 0 the child is killed once it printed more bytes
// than that; with memoryLimit > 0 it may grow its address space by at most that many bytes
// (RLIMIT_AS; not under AddressSanitizer, whose shadow memory needs the space).
TChildOutcome RunInChildProcess(const std::function<void()>& work, int timeoutMs, std::size_t outputLimit = 0,
                                std::size_t memoryLimit = 0);

// The time limit of the Jet import: VEXA_JET_TIMEOUT (seconds) when set, else 120 s.
int JetImportTimeoutMs();

// ImportJetDatabase (JetImport.h) in a child process within the time limit; the working
// copy sqlitePath is its only output (removed on failure). The Jet reader prints only when it
// meets damage, so an import that printed anything fails as well; one that keeps printing
// (a loop in a damaged catalog) is ended early, and the child's memory is bounded. Raises EAccessDbError
// "Štandard nebol načítaný\r(<jetPath>: <cause>)".
void ImportJetDatabaseIsolated(const std::string& jetPath, const std::string& sqlitePath);

}  // namespace vexa
