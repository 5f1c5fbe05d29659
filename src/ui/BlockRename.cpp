#include "ui/BlockRename.h"

#include "common/FileNames.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#if defined(__linux__)
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace vexa {

std::optional<char32_t> PrefixKey(char32_t key) {
    if (key == 8) return key;
    if (key >= U'a' && key <= U'z') return key - U'a' + U'A';
    if (key >= U'A' && key <= U'Z') return key;
    return std::nullopt;
}

bool NumberKeyAccepted(char32_t key) {
    return key == 8 || (key >= U'0' && key <= U'9') || (key >= U'a' && key <= U'z') || (key >= U'A' && key <= U'Z');
}

std::optional<std::string> ComposeBlockName(const std::string& prefix, const std::string& number) {
    if (prefix.empty() || number.empty()) return std::nullopt;
    // Text pasted past the key filters must not name a path ("../", "/"): only the
    // characters the filters take make a block name.
    if (prefix.size() > kPrefixMaxLength || number.size() > kNumberMaxLength) return std::nullopt;
    for (char c : prefix)
        if (!PrefixKey(static_cast<unsigned char>(c)) || c == 8) return std::nullopt;
    for (char c : number)
        if (!NumberKeyAccepted(static_cast<unsigned char>(c)) || c == 8) return std::nullopt;
    return prefix + "_" + number + ".blk";
}

namespace {

// Renames without ever replacing an existing entry. A target that names the same
// entry as the source (a change of letter case on a file system that ignores case)
// is allowed.
bool MoveEntry(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(from, ec))) return false;
    const bool targetExists = fs::exists(fs::symlink_status(to, ec));
    if (targetExists && !fs::equivalent(from, to, ec)) return false;
#if defined(__linux__) && defined(SYS_renameat2)
    if (!targetExists) {
        // Atomic "rename unless the target exists".
        long r = syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1u /*RENAME_NOREPLACE*/);
        if (r == 0) return true;
        if (errno != EINVAL && errno != ENOSYS) return false;
    }
#endif
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

TRenameResult RenameBlock(const std::string& mapDir, const std::string& oldName, const std::string& newName) {
    const std::string oldPath = mapDir + oldName;
    const std::string newPath = mapDir + newName;
    if (oldPath == newPath) return TRenameResult::Unchanged;
    if (oldName.empty() || newName.empty()) return TRenameResult::Failed;
    return MoveEntry(fs::path(oldPath), fs::path(newPath)) ? TRenameResult::Renamed : TRenameResult::Failed;
}

}  // namespace vexa
