#include "common/AtomicFile.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include <atomic>
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
        if (!fs::exists(p, ec)) return p;
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
    if (!fs::copy_file(source, temp, fs::copy_options::overwrite_existing, cause)) {
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
