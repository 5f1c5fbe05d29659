#pragma once
// Path text helpers. Blocks come from Windows: names are matched ignoring the
// letter case of existing entries, and both "\" and "/" separate path parts.
#include <filesystem>
#include <optional>
#include <string>

namespace vexa {

namespace fs = std::filesystem;

// The platform's path delimiter ("/" here, "\" on Windows).
char PathDelimiter();
bool IsPathDelimiter(char c);

// Name part after the last "\", "/" or ":".
std::string ExtractFileName(const std::string& path);
// Everything before the name part, including the trailing delimiter.
std::string ExtractFilePath(const std::string& path);
// The name part's extension including the dot ("" when there is none).
std::string ExtractFileExt(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string IncludeTrailingDelimiter(const std::string& path);
std::string ExcludeTrailingDelimiter(const std::string& path);

// The existing entry of dir whose name equals name ignoring ASCII letter case
// (an exact match wins); nothing when there is none.
std::optional<fs::path> FindEntryIgnoreCase(const fs::path& dir, const std::string& name);
// The existing entry as above, or dir/name as written when there is none.
fs::path ResolveIgnoreCase(const fs::path& dir, const std::string& name);

// The directory of the running program, with a trailing delimiter (the
// working directory when it cannot be told).
std::string ProgramDir();

}  // namespace vexa
