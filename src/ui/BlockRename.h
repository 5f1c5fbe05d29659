#pragma once
// Renaming a block: the keys the rename dialog takes, the composed name, and the
// rename of the block's directory entry in the map directory.
#include <cstddef>
#include <optional>
#include <string>

namespace vexa {

// A key typed into the prefix box: letters (turned to upper case) and Backspace;
// nothing for any other key (it is swallowed with a beep).
std::optional<char32_t> PrefixKey(char32_t key);
// A key typed into the number box: letters (case kept), digits and Backspace.
bool NumberKeyAccepted(char32_t key);

inline constexpr std::size_t kPrefixMaxLength = 2;
inline constexpr std::size_t kNumberMaxLength = 5;

// prefix + "_" + number + ".blk"; nothing when either part is empty or holds a character
// that its key filter refuses, or is too long (the dialog then closes as cancelled).
std::optional<std::string> ComposeBlockName(const std::string& prefix, const std::string& number);

// What the rename dialog shows under its boxes: "Nové meno: LE_7.blk" (the name exactly as
// it will be applied), or why OK would rename nothing ("Zadajte kód vrstvy.", "Zadajte číslo
// bloku.", or a part the name cannot hold).
std::string RenamePreview(const std::string& prefix, const std::string& number);

enum class TRenameResult {
    Unchanged,  // old and new name are the same text: nothing was done
    Renamed,
    Exists,   // an entry of the new name is there already (it is never replaced)
    Missing,  // the block's entry is no longer there
    Failed,   // the file system refused
};

// Moves the entry mapDir + oldName to mapDir + newName (mapDir ends in a delimiter).
// A change of letter case alone is a rename; an existing target is never replaced.
// When it is not renamed, *reason (if given) gets the message for the user naming why.
TRenameResult RenameBlock(const std::string& mapDir, const std::string& oldName, const std::string& newName,
                          std::string* reason = nullptr);

}  // namespace vexa
