#include "common/AtomicFile.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <random>
#include <system_error>

namespace vexa {

namespace fs = std::filesystem;

fs::path TempPathBeside(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    fs::path dir = target.parent_path();
    for (;;) {
        std::string name = "." + target.filename().string() + ".vexa-" + std::to_string(::getpid()) + "-" +
                           std::to_string(counter++) + "-" + std::to_string(rd() % 100000) + ".tmp";
        fs::path p = dir / name;
        std::error_code ec;
        // Any entry under the name is passed over, a link that leads nowhere too (writing
        // through it would create its target wherever it points).
        if (!fs::exists(fs::symlink_status(p, ec))) return p;
    }
}

static void SyncFile(const fs::path& p) {
#ifdef _WIN32
    // Directories cannot be opened here; only files are flushed.
    int fd = ::_wopen(p.c_str(), _O_RDWR | _O_BINARY);
    if (fd >= 0) {
        ::_commit(fd);
        ::_close(fd);
    }
#else
    int fd = ::open(p.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

bool WriteNewFile(const fs::path& path, const std::string& bytes, std::error_code& cause) {
    cause.clear();
#ifdef _WIN32
    const int fd = ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, 0644);
#else
    // Exclusive and never through a link: a name made for us stays ours.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
#endif
    if (fd < 0) {
        cause = std::error_code(errno, std::generic_category());
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
#ifdef _WIN32
        const int n = ::_write(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
#else
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
#endif
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            cause = std::error_code(n < 0 ? errno : ENOSPC, std::generic_category());
            break;
        }
        done += static_cast<std::size_t>(n);
    }
#ifdef _WIN32
    if (::_close(fd) != 0 && !cause) cause = std::error_code(errno, std::generic_category());
#else
    if (::close(fd) != 0 && !cause) cause = std::error_code(errno, std::generic_category());
#endif
    if (!cause) return true;
    std::error_code ignored;
    fs::remove(path, ignored);
    return false;
}

void CommitReplacement(const fs::path& temp, const fs::path& target) {
    SyncFile(temp);
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw fs::filesystem_error("cannot replace file", temp, target, ec);
    }
    SyncFile(target.parent_path().empty() ? fs::path(".") : target.parent_path());
}

bool CopyFileAtomically(const fs::path& source, const fs::path& target) {
    std::error_code cause;
    return CopyFileAtomically(source, target, cause);
}

bool CopyFileAtomically(const fs::path& source, const fs::path& target, std::error_code& cause) {
    cause.clear();
    fs::path temp = TempPathBeside(target);
    // No overwriting: the temporary is new, and a name taken meanwhile (a link) is refused.
    if (!fs::copy_file(source, temp, fs::copy_options::none, cause)) {
        if (!cause) cause = std::make_error_code(std::errc::io_error);
        std::error_code ignored;
        fs::remove(temp, ignored);
        return false;
    }
    try {
        CommitReplacement(temp, target);
    } catch (const fs::filesystem_error& e) {
        cause = e.code();
        return false;
    }
    return true;
}

}  // namespace vexa
