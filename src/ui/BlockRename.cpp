#include "ui/BlockRename.h"

#include "common/FileNames.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
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

std::string RenamePreview(const std::string& prefix, const std::string& number) {
    if (prefix.empty()) return "Zadajte kód vrstvy.";
    if (number.empty()) return "Zadajte číslo bloku.";
    if (const auto name = ComposeBlockName(prefix, number)) return "Nové meno: " + *name;
    return "Meno môže mať len písmená kódu vrstvy a písmená alebo číslice čísla bloku.";
}

namespace {

// Renames without ever replacing an existing entry. A target that names the same
// entry as the source (a change of letter case on a file system that ignores case)
// is allowed. errno tells why a refused rename failed.
TRenameResult MoveEntry(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(from, ec))) return TRenameResult::Missing;
    const bool targetExists = fs::exists(fs::symlink_status(to, ec));
    if (targetExists && !fs::equivalent(from, to, ec)) return TRenameResult::Exists;
#if defined(__linux__) && defined(SYS_renameat2)
    if (!targetExists) {
        // Atomic "rename unless the target exists".
        long r = syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1u /*RENAME_NOREPLACE*/);
        if (r == 0) return TRenameResult::Renamed;
        if (errno == EEXIST) return TRenameResult::Exists;
        if (errno != EINVAL && errno != ENOSYS) return TRenameResult::Failed;
    }
#endif
    return std::rename(from.c_str(), to.c_str()) == 0 ? TRenameResult::Renamed : TRenameResult::Failed;
}

std::string ReasonText(TRenameResult result, const std::string& oldName, const std::string& newName, int error) {
    const std::string head = "Blok " + oldName + " sa nepodarilo premenovať,\r";
    switch (result) {
    case TRenameResult::Exists: return head + "blok alebo súbor s menom " + newName + " už existuje.";
    case TRenameResult::Missing: return head + "na disku už nie je.";
    default: break;
    }
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS: return head + "chýba právo zápisu do adresára mapy.";
    case EBUSY: return head + "je používaný iným programom.";
    default: return head + "systém ho odmietol: " + std::strerror(error);
    }
}

}  // namespace

TRenameResult RenameBlock(const std::string& mapDir, const std::string& oldName, const std::string& newName,
                          std::string* reason) {
    const std::string oldPath = mapDir + oldName;
    const std::string newPath = mapDir + newName;
    if (oldPath == newPath) return TRenameResult::Unchanged;
    errno = 0;
    const TRenameResult result = oldName.empty() || newName.empty() ? TRenameResult::Missing
                                                                    : MoveEntry(fs::path(oldPath), fs::path(newPath));
    const int error = errno;
    if (result != TRenameResult::Renamed && reason) *reason = ReasonText(result, oldName, newName, error);
    return result;
}

}  // namespace vexa
