// Renaming and deleting blocks, and the sibling programs: the file-system side of the windows.
#include "ui/BlockRename.h"
#include "ui/DirTree.h"
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
// A temporary directory removed with whatever permissions a test left inside it.
struct TempMap {
    TempMap() {
        std::string tmpl = (fs::temp_directory_path() / "vexa-ui-XXXXXX").string();
        dir = mkdtemp(tmpl.data());
    }
    ~TempMap() {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto& e : fs::recursive_directory_iterator(dir, ec))
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    std::string Dir() const { return IncludeTrailingDelimiter(dir.string()); }
    fs::path operator/(const std::string& n) const { return dir / n; }
    fs::path dir;
};

void Touch(const fs::path& p, const std::string& text = "x") { std::ofstream(p) << text; }
}  // namespace

TEST(BlockRename, KeyFilters) {
    const std::pair<char32_t, std::optional<char32_t>> prefix[] = {
        {U'l', U'L'}, {U'E', U'E'}, {8, 8}, {U'1', std::nullopt}, {U'_', std::nullopt}, {U'ž', std::nullopt}};
    for (auto [key, expected] : prefix) EXPECT_EQ(PrefixKey(key), expected) << int(key);
    const std::pair<char32_t, bool> number[] = {{U'a', true},  {U'Z', true},  {U'7', true}, {8, true},
                                                {U'.', false}, {U' ', false}, {U'č', false}};
    for (auto [key, expected] : number) EXPECT_EQ(NumberKeyAccepted(key), expected) << int(key);
}

TEST(BlockRename, ComposedNameNeedsBothValidParts) {
    // Pasted text that the key filters would have refused never makes a name (nor a path).
    const std::tuple<const char*, const char*, std::optional<std::string>> cases[] = {
        {"LE", "12345", "LE_12345.blk"}, {"le", "a1", "le_a1.blk"},      {"LE", "", std::nullopt},
        {"", "1", std::nullopt},         {"LE", "../x", std::nullopt},   {"L/", "1", std::nullopt},
        {"LE", "1 2", std::nullopt},     {"LE", "123456", std::nullopt}, {"L1", "1", std::nullopt}};
    for (const auto& [prefix, number, expected] : cases) EXPECT_EQ(ComposeBlockName(prefix, number), expected);
}

TEST(BlockRename, RenamesTheEntryAndNeverReplacesAnother) {
    TempMap map;
    fs::create_directory(map / "LE_12abc.blk");
    Touch(map / "LE_12abc.blk" / "tn.lin");
    EXPECT_EQ(RenameBlock(map.Dir(), "LE_12abc.blk", "LE_12abc.blk"), TRenameResult::Unchanged);
    EXPECT_EQ(RenameBlock(map.Dir(), "LE_12abc.blk", "LE_12ABC.blk"), TRenameResult::Renamed);
    EXPECT_TRUE(fs::exists(map / "LE_12ABC.blk" / "tn.lin"));
    EXPECT_FALSE(fs::exists(map / "LE_12abc.blk"));
    fs::create_directory(map / "PO_1.blk");
    Touch(map / "PO_1.blk" / "keep");
    fs::create_directory(map / "HR_2.blk");  // an empty target is not replaced either
    // A missing source, and the map directory itself (an empty name cell), are never moved.
    // The refusal names its reason: the name taken, or the block gone.
    struct Case {
        const char *from, *to;
        TRenameResult result;
        const char* reason;
    };
    for (const Case& c : {Case{"LE_12ABC.blk", "PO_1.blk", TRenameResult::Exists, "s menom PO_1.blk už existuje"},
                          Case{"LE_12ABC.blk", "HR_2.blk", TRenameResult::Exists, "s menom HR_2.blk už existuje"},
                          Case{"missing.blk", "LE_9.blk", TRenameResult::Missing, "na disku už nie je"},
                          Case{"", "LE_9.blk", TRenameResult::Missing, "na disku už nie je"}}) {
        std::string reason;
        EXPECT_EQ(RenameBlock(map.Dir(), c.from, c.to, &reason), c.result) << c.from << " -> " << c.to;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
    EXPECT_TRUE(fs::exists(map / "PO_1.blk" / "keep"));
    EXPECT_TRUE(fs::exists(map / "LE_12ABC.blk" / "tn.lin"));
}

TEST(DirTree, DeletesHiddenReadOnlyNestedAndUnreadableEntries) {
    TempMap map;
    const fs::path blk = map / "LE_1.blk";
    fs::create_directories(blk / "sub" / "deeper");
    fs::create_directories(blk / "locked");
    for (const char* f : {"tn.crd", ".hidden", "sub/deeper/ro.dbf", "locked/f"}) Touch(blk / f);
    fs::permissions(blk / "tn.crd", fs::perms::owner_read, fs::perm_options::replace);
    fs::permissions(blk / "sub" / "deeper" / "ro.dbf", fs::perms::owner_read, fs::perm_options::replace);
    // A read-only subdirectory: its entries could not be removed without restoring write permission.
    fs::permissions(blk / "sub" / "deeper", fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    fs::permissions(blk / "locked", fs::perms::none, fs::perm_options::replace);
    // A link out of the block must be removed, not followed.
    fs::create_directory(map / "outside");
    Touch(map / "outside" / "precious");
    fs::create_directory_symlink(map / "outside", blk / "link");

    EXPECT_TRUE(DeleteDirTree(blk.string() + "/"));
    EXPECT_FALSE(fs::exists(blk));
    EXPECT_TRUE(fs::exists(map / "outside" / "precious"));
    EXPECT_FALSE(DeleteDirTree(blk.string()));  // gone already
    // A plain file is not a directory tree.
    Touch(map / "X_1.blk");
    EXPECT_FALSE(DeleteDirTree((map / "X_1.blk").string()));
    EXPECT_TRUE(fs::exists(map / "X_1.blk"));
}

namespace {
// A program that writes its argument count and working directory into NAME.ran.
void AddTool(const TempMap& t, const std::string& name) {
    const std::string ran = (t / (name + ".ran")).string();
    std::ofstream(t / name) << "#!/bin/sh\necho \"$#:$(pwd)\" > \"" << ran << ".tmp\"\nmv \"" << ran << ".tmp\" \""
                            << ran << "\"\n";
    fs::permissions(t / name, fs::perms::owner_all);
}
}  // namespace

TEST(SiblingTools, MenuVisibilityFollowsTheProgramFiles) {
    TempMap t;
    EXPECT_EQ(ToolMenuVisibility(t.dir.string()), TToolMenuVisibility{});
    AddTool(t, "Ostrel.exe");
    EXPECT_EQ(ToolMenuVisibility(t.dir.string()), (TToolMenuVisibility{false, false, true, false, true}));
    AddTool(t, "Velder.exe");
    EXPECT_EQ(ToolMenuVisibility(t.dir.string()), (TToolMenuVisibility{false, true, true, true, true}));
    fs::remove(t / "Ostrel.exe");
    AddTool(t, "Quarn.exe");
    EXPECT_EQ(ToolMenuVisibility(t.Dir()), (TToolMenuVisibility{true, true, false, true, true}));
    fs::create_directory(t / "Ostrel.exe");  // a directory of that name is no program
    EXPECT_FALSE(ToolMenuVisibility(t.dir.string()).PrezeracPlo);
}

TEST(SiblingTools, StartsTheToolWithoutArgumentsInOurDirectory) {
    TempMap t;
    AddTool(t, "Quarn.exe");
    EXPECT_TRUE(RunSiblingTool(t.Dir(), "Quarn.exe"));
    const fs::path ran = t / "Quarn.exe.ran";
    for (int i = 0; i < 200 && !fs::exists(ran); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    std::ifstream in(ran);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "0:" + fs::current_path().string());
    EXPECT_FALSE(RunSiblingTool(t.dir.string(), "Velder.exe"));  // gone after start-up: no error
    Touch(t / "Ostrel.exe", "not a program");
    EXPECT_FALSE(RunSiblingTool(t.dir.string(), "Ostrel.exe"));
}

TEST(SiblingTools, InfoTextAndProgramDir) {
    EXPECT_EQ(InfoBoxText(), "Kontrola súľadu BLK GXD so štandardom WQS\rverzia 1.1");
    const std::string dir = ProgramDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_TRUE(fs::exists(dir + "vexa_ui_tests"));
}

namespace {

// The dialog's line: the name exactly as it will be applied, or why OK renames nothing.
TEST(RenamePreview, NamesTheResultOrWhyThereIsNone) {
    EXPECT_EQ(RenamePreview("LE", "7"), "Nové meno: LE_7.blk");
    EXPECT_EQ(RenamePreview("LE", "00007"), "Nové meno: LE_00007.blk");
    EXPECT_EQ(RenamePreview("", "7"), "Zadajte kód vrstvy.");
    EXPECT_EQ(RenamePreview("LE", ""), "Zadajte číslo bloku.");
    EXPECT_EQ(RenamePreview("LE", "../x"),
              "Meno môže mať len písmená kódu vrstvy a písmená alebo číslice čísla bloku.");
}

}  // namespace
