#include "ui/SiblingTools.h"

#include "common/FileNames.h"

#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace vexa {

namespace {
bool IsProgramFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}
}  // namespace

TToolMenuVisibility ToolMenuVisibility(const std::string& programDir) {
    TToolMenuVisibility v;
    const std::string dir = IncludeTrailingDelimiter(programDir);
    v.PodlaCisla = IsProgramFile(dir + kToolPodlaCisla);
    v.PodlaDruhu = IsProgramFile(dir + kToolPodlaDruhu);
    v.PrezeracPlo = IsProgramFile(dir + kToolPrezeracPlo);
    v.Vyhladavanie = v.PodlaCisla || v.PodlaDruhu;
    v.Nastroje = v.Vyhladavanie || v.PrezeracPlo;
    return v;
}

bool RunSiblingTool(const std::string& programDir, const std::string& name) {
    const std::string path = IncludeTrailingDelimiter(programDir) + name;
    if (!IsProgramFile(path)) return false;
    // The tool must outlive us and never become our zombie: an intermediate child
    // starts it and ends at once, so the tool is adopted by init.
    pid_t middle = fork();
    if (middle < 0) return false;
    if (middle == 0) {
        setsid();
        pid_t tool = 0;
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        int rc = posix_spawn(&tool, path.c_str(), nullptr, nullptr, argv, environ);
        _exit(rc == 0 ? 0 : 1);
    }
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string InfoBoxText() { return std::string(kMainCaption) + "\rverzia " + kVersion; }

}  // namespace vexa
