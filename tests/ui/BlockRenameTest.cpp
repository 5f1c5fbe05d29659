#include "ui/BlockRename.h"
#include "ui/DirTree.h"

#include "common/FileNames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexa;
namespace fs = std::filesystem;

namespace {
class TempMap {
public:
    TempMap() {
        std::string tmpl = (fs::temp_directory_path() / "vexa-ui-XXXXXX").string();
        dir_ = mkdtemp(tmpl.data());
    }
    ~TempMap() {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto& e : fs::recursive_directory_iterator(dir_, ec))
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    std::string Dir() const { return IncludeTrailingDelimiter(dir_.string()); }
    fs::path operator/(const std::string& n) const { return dir_ / n; }

private:
    fs::path dir_;
};

void Touch(const fs::path& p, const std::string& text = "x") { std::ofstream(p) << text; }
} // namespace

TEST(BlockRename, KeyFilters) {
    EXPECT_EQ(PrefixKey(U'l'), U'L');
    EXPECT_EQ(PrefixKey(U'E'), U'E');
    EXPECT_EQ(PrefixKey(8), char32_t{8});
    EXPECT_EQ(PrefixKey(U'1'), std::nullopt);
    EXPECT_EQ(PrefixKey(U'_'), std::nullopt);
    EXPECT_EQ(PrefixKey(U'ž'), std::nullopt);
    EXPECT_TRUE(NumberKeyAccepted(U'a'));
    EXPECT_TRUE(NumberKeyAccepted(U'Z'));
    EXPECT_TRUE(NumberKeyAccepted(U'7'));
    EXPECT_TRUE(NumberKeyAccepted(8));
    EXPECT_FALSE(NumberKeyAccepted(U'.'));
    EXPECT_FALSE(NumberKeyAccepted(U' '));
    EXPECT_FALSE(NumberKeyAccepted(U'č'));
}

TEST(BlockRename, ComposedNameNeedsBothParts) {
    EXPECT_EQ(ComposeBlockName("LE", "12345"), "LE_12345.blk");
    EXPECT_EQ(ComposeBlockName("LE", ""), std::nullopt);
    EXPECT_EQ(ComposeBlockName("", "1"), std::nullopt);
    // Pasted text that the key filters would have refused never makes a name (nor a path).
    EXPECT_EQ(ComposeBlockName("LE", "../x"), std::nullopt);
    EXPECT_EQ(ComposeBlockName("L/", "1"), std::nullopt);
    EXPECT_EQ(ComposeBlockName("LE", "1 2"), std::nullopt);
    EXPECT_EQ(ComposeBlockName("LE", "123456"), std::nullopt);
    EXPECT_EQ(ComposeBlockName("L1", "1"), std::nullopt);
    EXPECT_EQ(ComposeBlockName("le", "a1"), "le_a1.blk");
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
    EXPECT_EQ(RenameBlock(map.Dir(), "LE_12ABC.blk", "PO_1.blk"), TRenameResult::Failed);
    EXPECT_TRUE(fs::exists(map / "PO_1.blk" / "keep"));
    EXPECT_TRUE(fs::exists(map / "LE_12ABC.blk" / "tn.lin"));
    // An empty target directory is not replaced either.
    fs::create_directory(map / "HR_2.blk");
    EXPECT_EQ(RenameBlock(map.Dir(), "LE_12ABC.blk", "HR_2.blk"), TRenameResult::Failed);
    EXPECT_TRUE(fs::exists(map / "LE_12ABC.blk"));
    EXPECT_EQ(RenameBlock(map.Dir(), "missing.blk", "LE_9.blk"), TRenameResult::Failed);
    // The map directory itself (an empty name cell) is never moved.
    EXPECT_EQ(RenameBlock(map.Dir(), "", "LE_9.blk"), TRenameResult::Failed);
}

TEST(DirTree, DeletesHiddenReadOnlyAndNestedEntries) {
    TempMap map;
    const fs::path blk = map / "LE_1.blk";
    fs::create_directories(blk / "sub" / "deeper");
    Touch(blk / "tn.crd");
    Touch(blk / ".hidden");
    Touch(blk / "sub" / "deeper" / "ro.dbf");
    fs::permissions(blk / "tn.crd", fs::perms::owner_read, fs::perm_options::replace);
    fs::permissions(blk / "sub" / "deeper" / "ro.dbf", fs::perms::owner_read, fs::perm_options::replace);
    // A read-only subdirectory: its entries could not be removed without restoring write permission.
    fs::permissions(blk / "sub" / "deeper", fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    // A link out of the block must be removed, not followed.
    fs::create_directory(map / "outside");
    Touch(map / "outside" / "precious");
    fs::create_directory_symlink(map / "outside", blk / "link");

    EXPECT_TRUE(DeleteDirTree(blk.string() + "/"));
    EXPECT_FALSE(fs::exists(blk));
    EXPECT_TRUE(fs::exists(map / "outside" / "precious"));
    EXPECT_FALSE(DeleteDirTree(blk.string()));  // gone already
}

TEST(DirTree, APlainFileIsNotADirectoryTree) {
    TempMap map;
    Touch(map / "X_1.blk");
    EXPECT_FALSE(DeleteDirTree((map / "X_1.blk").string()));
    EXPECT_TRUE(fs::exists(map / "X_1.blk"));
}

TEST(DirTree, UnreadableSubdirectoryIsOpenedAndRemoved) {
    TempMap map;
    const fs::path blk = map / "LE_2.blk";
    fs::create_directories(blk / "locked");
    Touch(blk / "a.dbf");
    Touch(blk / "locked" / "f");
    fs::permissions(blk / "locked", fs::perms::none, fs::perm_options::replace);
    EXPECT_TRUE(DeleteDirTree(blk.string()));
    EXPECT_FALSE(fs::exists(blk));
}
