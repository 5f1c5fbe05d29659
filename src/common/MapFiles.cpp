#include "common/MapFiles.h"

#include "common/Text.h"

#include <mutex>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace vexa {

namespace fs = std::filesystem;

namespace {

std::mutex& KeptMutex() {
    static std::mutex m;
    return m;
}
std::vector<fs::path>& Kept() {
    static std::vector<fs::path> kept;
    return kept;
}

fs::path Resolved(const fs::path& p) {
    std::error_code ec;
    fs::path abs = fs::absolute(p, ec);
    if (ec) abs = p;
    fs::path canon = fs::weakly_canonical(abs, ec);
    return ec ? abs.lexically_normal() : canon;
}

// A directory holding a block directory, the history or a map's table is a map.
bool IsMapDir(const fs::path& dir) {
    std::error_code ec;
    if (fs::is_directory(dir / ".vexa", ec)) return true;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code sec;
        if (IsBlockDirName(it->path()) && it->is_directory(sec)) return true;
    }
    return false;
}

}  // namespace

bool IsBlockDirName(const fs::path& dir) {
    const std::string name = LowerAscii(dir.filename().string());
    return name.size() > 4 && (name.ends_with(".blk") || name.ends_with(".pra"));
}

void KeepFromOutputs(const fs::path& file) {
    const fs::path r = Resolved(file);
    std::lock_guard<std::mutex> lock(KeptMutex());
    for (const fs::path& k : Kept())
        if (k == r) return;
    Kept().push_back(r);
}

std::string MapFileOfOutput(const fs::path& path) {
    const fs::path target = Resolved(path);
    const fs::path dir = target.parent_path();
    for (fs::path d = dir; !d.empty(); d = d.parent_path()) {
        if (IsBlockDirName(d)) return "súbor bloku " + d.filename().string();
        if (d.filename() == ".vexa") return "história kontrol mapy";
        if (d == d.parent_path()) break;
    }
    const std::string name = LowerAscii(target.filename().string());
    std::error_code ec;
    if (name == "chyby.dbf" || name == "vynimky.dbf" || name == ".vexa-check.lock" || name == ".vexa") {
        // An existing one is always a map's; a new one only where the map would take it.
        if (fs::exists(fs::symlink_status(target, ec)) || IsMapDir(dir))
            return name == "chyby.dbf" ? "tabuľka chýb mapy" : name == "vynimky.dbf" ? "výnimky mapy" : "súbor mapy";
    }
    std::lock_guard<std::mutex> lock(KeptMutex());
    for (const fs::path& k : Kept()) {
        if (k == target) return "súbor, ktorý Vexa číta";
        std::error_code eq;
        if (fs::equivalent(k, target, eq) && !eq) return "súbor, ktorý Vexa číta";
    }
    return "";
}

void RefuseMapFileOutput(const std::string& what, const fs::path& path) {
    const std::string why = MapFileOfOutput(path);
    if (!why.empty()) throw Exception(what + " sa nezapíše na miesto súboru mapy (" + why + ")\r(" + path.string() + ")");
}

bool ReadOnlyByMode(const fs::path& file) {
#ifdef _WIN32
    std::error_code ec;
    const auto st = fs::status(file, ec);
    return !ec && (st.permissions() & fs::perms::owner_write) == fs::perms::none;
#else
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
#endif
}

void RefuseLinkedPath(const fs::path& base, const fs::path& below, const std::string& what) {
    fs::path p = base;
    for (const fs::path& part : below) {
        p /= part;
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(p, ec)))
            throw Exception(what + ": cez symbolický odkaz Vexa nezapisuje\r(" + p.string() + ")");
    }
}

}  // namespace vexa
