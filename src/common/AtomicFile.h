#pragma once
// Safe replacement of user files: the new content is written to a temporary
// file beside the target and renamed over it only when complete, so a failure
// leaves the original untouched.
#include <filesystem>
#include <string>
#include <system_error>

namespace vexa {

// A fresh, unused path in the target's directory for building its replacement.
std::filesystem::path TempPathBeside(const std::filesystem::path& target);

// Writes bytes into a file that must not exist yet (never through a link). False with
// the cause when it cannot be created or written; nothing is left then.
bool WriteNewFile(const std::filesystem::path& path, const std::string& bytes, std::error_code& cause);

// Flushes the finished temporary file to disk and renames it over target.
// Throws std::filesystem::filesystem_error on failure (the temporary is removed).
void CommitReplacement(const std::filesystem::path& temp, const std::filesystem::path& target);

// Copies source over target through a temporary file beside target.
// Returns false (target untouched) when the copy cannot be made.
bool CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target);
// The same, with why it could not be made in cause.
bool CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target,
                        std::error_code& cause);

}  // namespace vexa
