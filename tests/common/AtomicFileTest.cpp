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

// A name made for a new file stays ours: through a link (one that leads nowhere too) or
// over a file already there, nothing is written and the link's target is not created; a
// temporary name is never one that a link already holds.
TEST(AtomicFile, NewFilesAreNeverWrittenThroughALink) {
    Dir d;
    const fs::path outside = d.path / "outside";
    fs::create_directories(outside);
    fs::create_symlink(outside / "planted.txt", d.path / "dangling");
    std::error_code cause;
    EXPECT_FALSE(WriteNewFile(d.path / "dangling", "pid", cause));
    EXPECT_TRUE(cause);
    EXPECT_FALSE(fs::exists(outside / "planted.txt"));
    std::ofstream(d.path / "there") << "old";
    EXPECT_FALSE(WriteNewFile(d.path / "there", "new", cause));
    EXPECT_EQ(Slurp(d.path / "there"), "old");
    ASSERT_TRUE(WriteNewFile(d.path / "fresh", std::string("a\0b", 3), cause)) << cause.message();
    EXPECT_EQ(Slurp(d.path / "fresh"), std::string("a\0b", 3));
    for (int i = 0; i < 50; ++i) {
        const fs::path temp = TempPathBeside(d.path / "Chyby.DBF");
        EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));
        fs::create_symlink(outside / ("t" + std::to_string(i)), temp);  // taken for the next ones
    }
}
