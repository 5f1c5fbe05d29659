#include "common/Companions.h"

#include <filesystem>

namespace vexa {

std::string CompanionFile(const std::string& programDir, const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path beside = fs::path(programDir) / name;
    if (fs::exists(beside, ec)) return beside.string();
    const fs::path installed = (fs::path(programDir) / kInstalledDataDir / name).lexically_normal();
    if (fs::exists(installed, ec)) return installed.string();
    return programDir + name;
}

}  // namespace vexa
