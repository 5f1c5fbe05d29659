#include "common/Leftovers.h"

#include "common/SysError.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vexa {

namespace fs = std::filesystem;

std::optional<long> LeftoverPid(const std::string& name) {
    static const std::regex beside(R"(^\..*\.vexa-([0-9]{1,9})-[0-9]+-[0-9]+\.tmp(\.[^/]*)?$)");
    static const std::regex privateDir(R"(^vexa-([0-9]{1,9})-[A-Za-z0-9]{6}$)");
    std::smatch m;
    if (std::regex_match(name, m, beside) || std::regex_match(name, m, privateDir)) return std::stol(m[1].str());
    return std::nullopt;
}

bool ProcessAlive(long pid) {
#ifdef _WIN32
    (void)pid;
    return true;
#else
    if (pid <= 0) return true;
    if (::kill(static_cast<pid_t>(pid), 0) == 0) return true;
    return errno != ESRCH;
#endif
}

namespace {
int RemoveGone(const fs::path& dir, bool directories) {
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const auto pid = LeftoverPid(name);
        if (!pid || ProcessAlive(*pid)) continue;
        std::error_code sec;
        const auto st = it->symlink_status(sec);
        if (sec) continue;
        if (directories ? !fs::is_directory(st) : !fs::is_regular_file(st)) continue;
        std::error_code rec;
        if (directories)
            fs::remove_all(it->path(), rec);
        else
            fs::remove(it->path(), rec);
        if (!rec) ++removed;
    }
    return removed;
}
}  // namespace

int RemoveLeftovers(const fs::path& dir) { return RemoveGone(dir, false); }

int RemoveTempLeftovers() {
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    if (ec) return 0;
    return RemoveGone(temp, true);
}

#ifndef _WIN32
TMapLock::TMapLock(const std::string& mapDir, int waitMs) {
    FPath = (fs::path(mapDir.empty() ? std::string(".") : mapDir) / kFileName).string();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        // Never through a link: the pid would be written into whatever file it names.
        const int fd = ::open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
        if (fd < 0 && errno == ELOOP)
            throw Exception("Kontrola sa nedá začať: zámok mapy je symbolický odkaz, Vexa cez neho nezapisuje\r(" +
                            FPath + ")");
        if (fd < 0) {
            // A map nobody may write to cannot be changed by two runs either: no lock needed.
            if (errno == EACCES || errno == EROFS || errno == EPERM) return;
            throw Exception(FileFailure("Kontrola sa nedá začať", FPath, errno));
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // The file locked must still be the one under the name (the last owner may have removed it).
            struct stat a {
            }, b{};
            if (::fstat(fd, &a) == 0 && !S_ISREG(a.st_mode)) {
                ::close(fd);
                throw Exception("Kontrola sa nedá začať: zámok mapy nie je obyčajný súbor\r(" + FPath + ")");
            }
            if (::fstat(fd, &a) == 0 && ::lstat(FPath.c_str(), &b) == 0 && a.st_ino == b.st_ino &&
                a.st_dev == b.st_dev) {
                const std::string pid = std::to_string(::getpid()) + "\n";
                if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) == ssize_t(pid.size())) {}
                FFd = fd;
                return;
            }
            ::close(fd);
            continue;
        }
        const int err = errno;
        char text[32] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        ::close(fd);
        if (err != EWOULDBLOCK && err != EAGAIN) throw Exception(FileFailure("Kontrola sa nedá začať", FPath, err));
        if (std::chrono::steady_clock::now() >= deadline) {
            const long owner = n > 0 ? std::strtol(text, nullptr, 10) : 0;
            const std::string dir = fs::path(FPath).parent_path().string();
            throw ERunLocked("Na mape " + dir + " už beží iná kontrola" +
                             (owner > 0 ? " (proces " + std::to_string(owner) + ")" : std::string()) +
                             ".\rPočkajte, kým skončí, a spustite kontrolu znova.");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

TMapLock::~TMapLock() {
    if (FFd >= 0) {
        // Removed while still locked (a waiter then finds a new file), and only while the
        // name is still this file.
        struct stat a {
        }, b{};
        if (::fstat(FFd, &a) == 0 && ::lstat(FPath.c_str(), &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev)
            ::unlink(FPath.c_str());
        ::close(FFd);
    }
}
#else
TMapLock::TMapLock(const std::string&, int) {}
TMapLock::~TMapLock() {}
#endif

}  // namespace vexa
