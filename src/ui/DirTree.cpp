#include "ui/DirTree.h"

#include "common/FileNames.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace vexa {

namespace {

// The archive attribute alone: here, the owner may read and write (and enter directories).
void ClearProtection(const fs::path& p, bool directory) {
    std::error_code ec;
    auto perms = fs::perms::owner_read | fs::perms::owner_write;
    if (directory) perms |= fs::perms::owner_exec;
    fs::permissions(p, perms, fs::perm_options::add, ec);
}

}  // namespace

bool DeleteDirTree(const std::string& dir) {
    const fs::path root = fs::path(ExcludeTrailingDelimiter(dir));
    std::error_code ec;
    const auto rootStatus = fs::symlink_status(root, ec);
    if (ec || !fs::is_directory(rootStatus)) return false;

    ClearProtection(root, true);
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
    for (const auto& entry : entries) {
        std::error_code e2;
        const auto st = fs::symlink_status(entry, e2);
        if (fs::is_directory(st)) {
            DeleteDirTree(entry.string());  // result ignored: the final removal tells
        } else {
            if (!fs::is_symlink(st)) ClearProtection(entry, false);
            fs::remove(entry, e2);
        }
    }
    ClearProtection(root, true);
    return fs::remove(root, ec) && !ec;
}

}  // namespace vexa
