#include "common/AtomicFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace vexa;

namespace {
std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
struct Dir {
    fs::path path = fs::temp_directory_path() / ("vexa-af-" + std::to_string(::getpid()));
    Dir() { fs::create_directories(path); }
    ~Dir() { fs::remove_all(path); }
};
}  // namespace

TEST(AtomicFile, CopyReplacesTargetAndLeavesNoTemporary) {
    Dir d;
    std::ofstream(d.path / "src.dbf") << "new";
    std::ofstream(d.path / "Chyby.DBF") << "old";
    ASSERT_TRUE(CopyFileAtomically(d.path / "src.dbf", d.path / "Chyby.DBF"));
    EXPECT_EQ(Slurp(d.path / "Chyby.DBF"), "new");
    int files = 0;
    for (auto& e : fs::directory_iterator(d.path)) (void)e, ++files;
    EXPECT_EQ(files, 2);
}

TEST(AtomicFile, FailedCopyLeavesTargetIntact) {
    Dir d;
    std::ofstream(d.path / "Chyby.DBF") << "old";
    EXPECT_FALSE(CopyFileAtomically(d.path / "missing.dbf", d.path / "Chyby.DBF"));
    EXPECT_EQ(Slurp(d.path / "Chyby.DBF"), "old");
}

TEST(AtomicFile, TemporaryLiesBesideTargetAndIsFresh) {
    Dir d;
    fs::path t1 = TempPathBeside(d.path / "a.dbf");
    fs::path t2 = TempPathBeside(d.path / "a.dbf");
    EXPECT_EQ(t1.parent_path(), d.path);
    EXPECT_NE(t1, t2);
    EXPECT_FALSE(fs::exists(t1));
}

TEST(AtomicFile, CommitFailureRemovesTemporaryAndThrows) {
    Dir d;
    fs::path temp = TempPathBeside(d.path / "a.dbf");
    std::ofstream(temp) << "x";
    fs::create_directories(d.path / "a.dbf" / "sub");  // a non-empty directory cannot be replaced by a file
    EXPECT_THROW(CommitReplacement(temp, d.path / "a.dbf"), fs::filesystem_error);
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_TRUE(fs::is_directory(d.path / "a.dbf"));
}
