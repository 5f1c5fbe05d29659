#include "standard/StandardFiles.h"

#include "common/Leftovers.h"
#include "common/SysError.h"

#include <cerrno>
#include <stdlib.h>
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <mutex>
#include <vector>

namespace vexa {

std::string MakePrivateTempDir() {
    std::string failure;
    return MakePrivateTempDir(failure);
}

std::string MakePrivateTempDir(std::string& failure) {
    // Every program that makes such directories removes those of its killed runs first.
    static std::once_flag swept;
    std::call_once(swept, [] {
        try {
            RemoveTempLeftovers();
        } catch (const std::exception&) {
            // A leftover that cannot be removed stays for a later run.
        }
    });
    std::error_code ec;
    const auto temp = std::filesystem::temp_directory_path(ec);
    if (ec) {
        const char* env = std::getenv("TMPDIR");
        failure = std::string(env ? env : "/tmp") + ": " + SysCause(ec);
        return std::string();
    }
    // The process id in the name tells a later run whether the directory is a leftover.
    std::string pattern = (temp / ("vexa-" + std::to_string(::getpid()) + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        failure = temp.string() + ": " + SysCause(errno);
        return std::string();
    }
    return std::string(buffer.data());
}

}  // namespace vexa
