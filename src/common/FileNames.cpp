#include "common/FileNames.h"

#include "common/Text.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vexa {

char PathDelimiter() {
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

bool IsPathDelimiter(char c) { return c == '/' || c == '\\'; }

namespace {
size_t NameStart(const std::string& path) {
    size_t pos = path.find_last_of("/\\:");
    return pos == std::string::npos ? 0 : pos + 1;
}
}  // namespace

std::string ExtractFileName(const std::string& path) { return path.substr(NameStart(path)); }

std::string ExtractFilePath(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string ExtractFileExt(const std::string& path) {
    size_t start = NameStart(path);
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < start) return {};
    return path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    size_t start = NameStart(path);
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < start) return path + ext;
    return path.substr(0, dot) + ext;
}

std::string IncludeTrailingDelimiter(const std::string& path) {
    if (!path.empty() && IsPathDelimiter(path.back())) return path;
    return path + PathDelimiter();
}

std::string ExcludeTrailingDelimiter(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && IsPathDelimiter(p.back())) p.pop_back();
    return p;
}

std::optional<fs::path> FindEntryIgnoreCase(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    fs::path exact = dir / name;
    if (fs::exists(fs::symlink_status(exact, ec))) return exact;
    std::optional<fs::path> found;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (SameTextAscii(entry, name)) {
            found = it->path();
            break;
        }
    }
    return found;
}

fs::path ResolveIgnoreCase(const fs::path& dir, const std::string& name) {
    auto found = FindEntryIgnoreCase(dir, name);
    return found ? *found : dir / name;
}

std::string ProgramDir() {
    std::error_code ec;
#ifdef _WIN32
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n > 0 && n < buffer.size()) {
        buffer.resize(n);
        return IncludeTrailingDelimiter(fs::path(buffer).parent_path().string());
    }
#else
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) return IncludeTrailingDelimiter(exe.parent_path().string());
#endif
    return IncludeTrailingDelimiter(fs::current_path(ec).string());
}

}  // namespace vexa
