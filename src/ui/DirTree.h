#pragma once
// Deleting a block directory with everything in it.
#include <string>

namespace vexa {

// Deletes every entry below dir (read-only and hidden files too; write permission is
// restored first where it was taken away), then dir itself. Symbolic links are
// removed, never followed. Returns whether dir is gone; what could be deleted stays
// deleted when something resists.
bool DeleteDirTree(const std::string& dir);

inline constexpr const char* kDeleteQuestionText = "Blok bude vymazaný z disku.\rSkutočne zmazať?";
// The question with the block it is about: its path on a line before the question.
inline std::string DeleteQuestion(const std::string& blockPath) { return blockPath + "\r" + kDeleteQuestionText; }
inline constexpr const char* kDeleteFailedText = "Blok sa nepodarilo zmazať,\rpravdepodobne je používaný.";

}  // namespace vexa
