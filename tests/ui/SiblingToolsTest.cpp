#include "ui/SiblingTools.h"

#include "common/FileNames.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

using namespace vexa;
namespace fs = std::filesystem;

namespace {
struct ToolDir {
    ToolDir() {
        std::string tmpl = (fs::temp_directory_path() / "vexa-tools-XXXXXX").string();
        dir = mkdtemp(tmpl.data());
    }
    ~ToolDir() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    // A program that writes its arguments and working directory into a file.
    void AddTool(const std::string& name) {
        std::ofstream(dir / name) << "#!/bin/sh\necho \"$#:$(pwd)\" > \"" << (dir / (name + ".ran")).string()
                                  << ".tmp\"\nmv \"" << (dir / (name + ".ran")).string() << ".tmp\" \""
                                  << (dir / (name + ".ran")).string() << "\"\n";
        fs::permissions(dir / name, fs::perms::owner_all);
    }
    fs::path dir;
};

std::string WaitForFile(const fs::path& p) {
    for (int i = 0; i < 200 && !fs::exists(p); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    std::ifstream in(p);
    std::string line;
    std::getline(in, line);
    return line;
}
} // namespace

TEST(SiblingTools, MenuVisibilityFollowsTheProgramFiles) {
    ToolDir t;
    EXPECT_EQ(ToolMenuVisibility(t.dir.string()), TToolMenuVisibility{});
    t.AddTool("Ostrel.exe");
    EXPECT_EQ(ToolMenuVisibility(t.dir.string()), (TToolMenuVisibility{false, false, true, false, true}));
    t.AddTool("Velder.exe");
    EXPECT_EQ(ToolMenuVisibility(t.dir.string()), (TToolMenuVisibility{false, true, true, true, true}));
    fs::remove(t.dir / "Ostrel.exe");
    t.AddTool("Quarn.exe");
    EXPECT_EQ(ToolMenuVisibility(t.dir.string() + "/"), (TToolMenuVisibility{true, true, false, true, true}));
    // A directory of that name is no program.
    fs::create_directory(t.dir / "Ostrel.exe");
    EXPECT_FALSE(ToolMenuVisibility(t.dir.string()).PrezeracPlo);
}

TEST(SiblingTools, StartsTheToolWithoutArgumentsInOurDirectory) {
    ToolDir t;
    t.AddTool("Quarn.exe");
    EXPECT_TRUE(RunSiblingTool(IncludeTrailingDelimiter(t.dir.string()), "Quarn.exe"));
    EXPECT_EQ(WaitForFile(t.dir / "Quarn.exe.ran"), "0:" + fs::current_path().string());
    // Gone after start-up: nothing happens, no error.
    EXPECT_FALSE(RunSiblingTool(t.dir.string(), "Velder.exe"));
    // A file that cannot be started.
    std::ofstream(t.dir / "Ostrel.exe") << "not a program";
    EXPECT_FALSE(RunSiblingTool(t.dir.string(), "Ostrel.exe"));
}

TEST(SiblingTools, InfoTextAndProgramDir) {
    EXPECT_EQ(InfoBoxText(), "Kontrola súľadu BLK GXD so štandardom WQS\rverzia 1.1");
    const std::string dir = ProgramDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_TRUE(fs::exists(dir + "vexa_ui_tests"));
}
