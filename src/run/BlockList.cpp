#include "run/BlockList.h"

#include "common/FileNames.h"
#include "common/Text.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

namespace vexa {

namespace {

char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Case-insensitive order of the list (ASCII letters folded, other bytes as they are).
struct LessIgnoreCase {
    bool operator()(const std::string& a, const std::string& b) const { return LowerAscii(a) < LowerAscii(b); }
};

// Byte offsets where the characters of a UTF-8 text start.
std::vector<std::size_t> CharacterStarts(const std::string& text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    return starts;
}

bool EndsWithBlk(const std::string& name) {
    if (name.size() < 4) return false;
    return SameTextAscii(name.substr(name.size() - 4), ".blk");
}

}  // namespace

std::string NormalizeBlkName(const std::string& entryName) {
    // Base name: everything before the last "." that follows the last "\\", "/" or ":".
    std::string base = entryName;
    std::size_t start = entryName.find_last_of("\\/:");
    std::size_t dot = entryName.rfind('.');
    if (dot != std::string::npos && (start == std::string::npos || dot > start)) base = entryName.substr(0, dot);
    // Positions count whole characters (a UTF-8 sequence is one character).
    std::vector<std::size_t> at = CharacterStarts(base);
    auto isChar = [&](std::size_t n, char c) { return at.size() > n && base[at[n]] == c; };
    if (isChar(2, '_')) {
        base[at[0]] = UpperChar(base[at[0]]);
        base[at[1]] = UpperChar(base[at[1]]);
        if (at.size() >= 4) base[at[3]] = UpperChar(base[at[3]]);
        if (at.size() >= 6 && isChar(4, 'd') && isChar(5, 'm')) {
            base[at[4]] = 'D';
            base[at[5]] = 'M';
        }
    }
    return base + ".blk";
}

bool IsConformingBlkName(const std::string& name, const TLayerKnownFn& isLayerKnown) {
    std::vector<std::size_t> at = CharacterStarts(name);
    return at.size() >= 3 && name[at[2]] == '_' && isLayerKnown(name.substr(0, at[2]));
}

std::vector<TBlockRow> ListMapBlocks(const std::string& mapDir, const TLayerKnownFn& isLayerKnown) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path dir(mapDir.empty() ? std::string(".") : mapDir);

    // Enumerated entry names in byte order, so that the choice among entries that
    // normalise to the same name does not depend on the directory's order.
    std::vector<std::string> entries;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;  // hidden
        if (!EndsWithBlk(name)) continue;
        std::error_code sec;
        fs::file_status st = it->status(sec);
        if (sec || !fs::is_directory(st)) continue;  // a map entry that is not a directory is no block
        entries.push_back(name);
    }
    std::sort(entries.begin(), entries.end());

    // Listed name -> entry on disk; an entry already spelled as listed wins.
    std::map<std::string, std::string, LessIgnoreCase> listed;
    for (const std::string& entry : entries) {
        std::string name = NormalizeBlkName(entry);
        auto it = listed.find(name);
        if (it == listed.end()) {
            listed.emplace(name, entry);
        } else if (entry == it->first && it->second != it->first) {
            it->second = entry;
        }
    }

    std::vector<TBlockRow> rows;
    rows.reserve(listed.size());
    for (const auto& [name, entry] : listed) {
        TBlockRow row;
        row.Vrstva = name;
        if (IsConformingBlkName(name, isLayerKnown)) {
            if (entry != name) {
                // Store the normalised letter case on disk; never replace another entry.
                std::error_code rec;
                fs::path target = dir / name;
                if (!fs::exists(fs::symlink_status(target, rec))) fs::rename(dir / entry, target, rec);
            }
            row.Nazov = "1";
            row.Kontrola = "3";
        } else {
            row.Nazov = "0";
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace vexa
