#include "access/JetIsolated.h"

#include "access/AccessDb.h"
#include "access/JetImport.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vexa {

#ifndef _WIN32
namespace {

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// The address space of this process now plus extra bytes becomes its limit.
void LimitMemoryNow(std::size_t extra) {
    unsigned long long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(pageSize > 0 ? pageSize : 4096) + extra;
    rlimit r{limit, limit};
    ::setrlimit(RLIMIT_AS, &r);
}

std::string SignalText(int sig) {
    switch (sig) {
    case SIGSEGV: return "neplatný prístup do pamäte";
    case SIGBUS: return "chyba zbernice";
    case SIGFPE: return "aritmetická chyba";
    case SIGABRT: return "prerušené";
    case SIGILL: return "neplatná inštrukcia";
    case SIGKILL: return "ukončené";
    default: return "signál " + std::to_string(sig);
    }
}

// Bounds the address space of this (child) process to what it uses now plus extra bytes.
void LimitMemory(std::size_t extra) {
#if defined(__SANITIZE_ADDRESS__)
    (void)extra;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    (void)extra;
#else
    LimitMemoryNow(extra);
#endif
#else
    LimitMemoryNow(extra);
#endif
}

}  // namespace

TChildOutcome RunInChildProcess(const std::function<void()>& work, int timeoutMs, std::size_t outputLimit,
                                std::size_t memoryLimit) {
    TChildOutcome outcome;
    int fds[2], ofds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        outcome.Error = "nedá sa vytvoriť rúra";
        return outcome;
    }
    if (::pipe2(ofds, O_CLOEXEC) != 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        outcome.Error = "nedá sa vytvoriť rúra";
        return outcome;
    }
    std::fflush(nullptr);  // nothing buffered before the fork is written twice
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        ::close(ofds[0]);
        ::close(ofds[1]);
        outcome.Error = errno == ENOMEM || errno == EAGAIN ? "nedostatok pamäte" : "nedá sa spustiť proces";
        return outcome;
    }
    if (pid == 0) {
        // The child: what it prints goes into a pipe the parent reads, never to the parent's output.
        ::close(fds[0]);
        ::close(ofds[0]);
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) {
            ::dup2(null, 0);
            if (null > 2) ::close(null);
        }
        ::dup2(ofds[1], 1);
        ::dup2(ofds[1], 2);
        ::close(ofds[1]);
        if (memoryLimit > 0) LimitMemory(memoryLimit);
        int code = 0;
        try {
            work();
        } catch (const std::bad_alloc&) {
            WriteAll(fds[1], "nedostatok pamäte");
            code = 1;
        } catch (const std::exception& e) {
            WriteAll(fds[1], e.what());
            code = 1;
        } catch (...) {
            WriteAll(fds[1], "neznáma chyba");
            code = 1;
        }
        std::fflush(nullptr);
        ::close(fds[1]);
        ::_exit(code);  // no exit handlers, no flushing of the parent's buffers
    }

    ::close(fds[1]);
    ::close(ofds[1]);
    std::string message;
    std::size_t printed = 0;  // bytes the child wrote on its stdout or stderr
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool timedOut = false;
    bool flooded = false;
    int status = 0;
    pollfd p[2] = {{fds[0], POLLIN, 0}, {ofds[0], POLLIN, 0}};
    // Reads what is there on one of the pipes; false at its end.
    auto drain = [&](int index) {
        char buffer[4096];
        const ssize_t n = ::read(p[index].fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) return true;
        if (n <= 0) return false;
        if (index == 0) {
            if (message.size() < 4096) message.append(buffer, static_cast<std::size_t>(n));
        } else {
            printed += static_cast<std::size_t>(n);
            if (outputLimit > 0 && printed > outputLimit) flooded = true;
        }
        return true;
    };
    // Until both pipes end (the child exited, or its descendants closed them) or time is up.
    while (p[0].fd >= 0 || p[1].fd >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        const int r = ::poll(p, 2, static_cast<int>(std::min<long long>(left, 1000)));
        if (r < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i)
            if (p[i].fd >= 0 && (p[i].revents & (POLLIN | POLLHUP | POLLERR)) && !drain(i)) p[i].fd = -1;
        if (flooded) break;
    }
    if (timedOut || flooded) ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    ::close(fds[0]);
    ::close(ofds[0]);
    outcome.Printed = printed;

    if (timedOut) {
        outcome.Error = "čítanie neskončilo do " + std::to_string((timeoutMs + 999) / 1000) + " s";
    } else if (flooded) {
        outcome.Error = "čítanie hlásilo priveľa chýb, bolo ukončené";
    } else if (WIFSIGNALED(status)) {
        outcome.Error = "čítanie zlyhalo (" + SignalText(WTERMSIG(status)) + ")";
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        outcome.Ok = true;
    } else if (!message.empty()) {
        outcome.Error = message;
    } else {
        outcome.Error = "čítanie zlyhalo (kód " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
    }
    return outcome;
}
#else
TChildOutcome RunInChildProcess(const std::function<void()>& work, int, std::size_t, std::size_t) {
    // No fork on Windows: the work runs here.
    TChildOutcome outcome;
    try {
        work();
        outcome.Ok = true;
    } catch (const std::exception& e) {
        outcome.Error = e.what();
    }
    return outcome;
}
#endif

int JetImportTimeoutMs() {
    if (const char* s = std::getenv("VEXA_JET_TIMEOUT")) {
        char* end = nullptr;
        const double v = std::strtod(s, &end);
        if (end != s && v > 0 && v < 86400) return static_cast<int>(v * 1000);
    }
    return 120 * 1000;
}

// What the Jet reader may print before its import is ended (its warnings on a damaged
// file are some 50 bytes each), and how far the child may grow: a standard is a few MB.
constexpr std::size_t kJetOutputLimit = 64 * 1024;
constexpr std::size_t kJetMemoryLimit = std::size_t(1) << 30;

void ImportJetDatabaseIsolated(const std::string& jetPath, const std::string& sqlitePath) {
    const TChildOutcome outcome = RunInChildProcess([&] { ImportJetDatabase(jetPath, sqlitePath); },
                                                    JetImportTimeoutMs(), kJetOutputLimit, kJetMemoryLimit);
    if (outcome.Ok && outcome.Printed == 0) return;
    std::error_code ec;
    std::filesystem::remove(sqlitePath, ec);
    std::string cause = outcome.Ok ? std::string("čítanie Jet hlásilo poškodené dáta") : outcome.Error;
    for (char& c : cause)
        if (c == '\r' || c == '\n') c = ' ';
    throw EAccessDbError("Štandard nebol načítaný, súbor je poškodený alebo nečitateľný\r(" + jetPath + ": " + cause +
                         ")");
}

}  // namespace vexa
