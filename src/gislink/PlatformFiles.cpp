// Short path names and directory tests for the block topic.
#include "common/FileNames.h"
#include "common/Text.h"
#include "gislink/GisPlatform.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>
#endif

#include <system_error>

namespace vexa {

#ifdef _WIN32

std::string ShortPathName(const std::string& path) {
    if (path.empty()) return {};
    std::wstring wide = WideFromUtf8(path);
    DWORD n = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (n == 0) return {};
    std::vector<wchar_t> buf(n + 1);
    n = GetShortPathNameW(wide.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0 || n >= buf.size()) return {};
    return Utf8FromWide(std::wstring(buf.data(), n));
}

bool DirectoryExists(const std::string& path) {
    if (path.empty()) return false;
    DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

#else

namespace {
// The existing entry for path as written, or with its last part's letter case as on disk.
std::optional<std::string> ExistingEntry(const std::string& path) {
    std::error_code ec;
    if (path.empty()) return std::nullopt;
    if (fs::exists(fs::symlink_status(path, ec))) return path;
    std::string p = ExcludeTrailingDelimiter(path);
    std::string dir = ExtractFilePath(p);
    std::string name = ExtractFileName(p);
    if (name.empty()) return std::nullopt;
    auto found = FindEntryIgnoreCase(dir.empty() ? fs::path(".") : fs::path(dir), name);
    if (!found) return std::nullopt;
    return dir + found->filename().string();
}
}  // namespace

std::string ShortPathName(const std::string& path) { return ExistingEntry(path).value_or(std::string()); }

bool DirectoryExists(const std::string& path) {
    auto entry = ExistingEntry(path);
    std::error_code ec;
    return entry && fs::is_directory(*entry, ec);
}

#endif

}  // namespace vexa
