// What the programs may write and where: no output in place of a file of the map, nothing
// written through a symbolic link to outside the map, read-only review files kept, the
// leftovers of a dead run removed. Each case runs the program on a copy of the sample map
// and compares bytes of the files it must not touch.
#include "checks/CheckTestSupport.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

#ifdef VEXA_CHECK_PROGRAM

using namespace vexa;
using namespace vexa::checkstest;
namespace fs = std::filesystem;

namespace {

using TTree = std::map<std::string, std::vector<unsigned char>>;

// Every file under dir (links not followed) with its bytes; a link by its target.
TTree Snapshot(const fs::path& dir) {
    TTree tree;
    for (fs::recursive_directory_iterator it(dir), end; it != end; ++it) {
        const std::string rel = fs::relative(it->path(), dir).string();
        if (it->is_symlink()) {
            const std::string target = fs::read_symlink(it->path()).string();
            tree["link:" + rel] = std::vector<unsigned char>(target.begin(), target.end());
        } else if (it->is_regular_file()) {
            tree[rel] = testkit::ReadFileBytes(it->path());
        }
    }
    return tree;
}

void WriteText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
}

unsigned Mode(const fs::path& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_mode & 07777;
}

// A process id that runs no more: a child that has ended.
long DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

class MapFiles : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temp.Path() / "tmp");
        fs::create_directories(outside);
        fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive);
    }
    Outcome Check(const std::string& args) {
        return RunProgram(Quote(VEXA_CHECK_PROGRAM) + " " + args, temp.Path() / "tmp", temp.Path());
    }
    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
    fs::path outside = temp.Path() / "elsewhere";
    const std::string kChecks = "--lines 63 --points 3 --texts 3 --areas 7 ";
};

}  // namespace

// --report and --export never take the place of the error table, the exceptions, the
// history or a block's file, also when the path is a link to one: refused before the run,
// every file of the map as it was.
TEST_F(MapFiles, NoOutputReplacesAFileOfTheMap) {
    Check(kChecks + Quote(map.string()));  // a Chyby.DBF and a history to protect
    WriteText(map / "Vynimky.DBF", "stands for the exceptions");
    fs::create_symlink(map / "Chyby.DBF", temp.Path() / "page.html");
    const TTree before = Snapshot(map);
    ASSERT_TRUE(before.count("Chyby.DBF"));
    const std::vector<std::string> refused = {
        "--report " + Quote((map / "Chyby.DBF").string()),
        "--report " + Quote((map / "chyby.dbf").string()),  // a new name the map would take for its table
        "--report " + Quote((map / "Vynimky.DBF").string()),
        "--report " + Quote((map / "LE_00001.blk" / "tn.lin").string()),
        "--report " + Quote((map / ".vexa" / "runs" / "x.html").string()),
        "--report " + Quote((temp.Path() / "page.html").string()),
        "--export " + Quote((map / ".vexa" / "chyby.gpkg").string()),
        "--export " + Quote((map / "LE_00001.blk" / "chyby.gpkg").string()),
    };
    for (const std::string& output : refused) {
        SCOPED_TRACE(output);
        const Outcome o = Check(kChecks + output + " " + Quote(map.string()));
        EXPECT_EQ(o.Status, 2) << o.Err;
        EXPECT_TRUE(Has(o.Err, "sa nezapíše na miesto súboru mapy")) << o.Err;
        EXPECT_EQ(Snapshot(map), before);
    }
    // A report beside the map is written.
    const Outcome o = Check(kChecks + "--report " + Quote((map / "Sprava.html").string()) + " " + Quote(map.string()));
    EXPECT_EQ(o.Status, 3) << o.Err;
    EXPECT_TRUE(fs::is_regular_file(map / "Sprava.html"));
}

#ifdef VEXA_INFO_PROGRAM
// vexa-info's picture and export go through the same refusal.
TEST_F(MapFiles, InfoOutputsDoNotReplaceAFileOfTheMap) {
    Check(kChecks + Quote(map.string()));
    fs::create_symlink(map / "Chyby.DBF", temp.Path() / "picture.png");
    const TTree before = Snapshot(map);
    const std::string block = Quote((map / "LE_00001.blk").string());
    for (const std::string& output :
         {"--render " + Quote((temp.Path() / "picture.png").string()),
          "--render " + Quote((map / "LE_00001.blk" / "tn.png").string()),
          "--export " + Quote((map / ".vexa" / "bloky.gpkg").string())}) {
        SCOPED_TRACE(output);
        const Outcome o = RunProgram(Quote(VEXA_INFO_PROGRAM) + " " + block + " " + output, temp.Path() / "tmp",
                                     temp.Path());
        EXPECT_EQ(o.Status, 2) << o.Err;
        EXPECT_TRUE(Has(o.Err, "sa nezapíše na miesto súboru mapy")) << o.Err;
        EXPECT_EQ(Snapshot(map), before);
    }
}
#endif

// The standard a run reads is no place for its report either (refused when it is known).
TEST_F(MapFiles, TheStandardIsNotReplacedByTheReport) {
    const fs::path standard = temp.Path() / "std.mdb";
    fs::copy_file(std::string(VEXA_BIN_DIR) + "/StandardGXD.mdb", standard);
    const auto bytes = testkit::ReadFileBytes(standard);
    const Outcome o = Check("--standard " + Quote(standard.string()) + " " + kChecks + "--report " +
                            Quote(standard.string()) + " " + Quote(map.string()));
    EXPECT_NE(o.Status, 0);
    EXPECT_NE(o.Status, 1);
    EXPECT_TRUE(Has(o.Err, "sa nezapíše na miesto súboru mapy")) << o.Err;
    EXPECT_EQ(testkit::ReadFileBytes(standard), bytes);
}

// A lock file that is a link: refused, the file it names untouched and the link kept.
TEST_F(MapFiles, LockLinkedElsewhereIsNotWritten) {
    const fs::path victim = outside / "precious.txt";
    WriteText(victim, "do not truncate me\n");
    fs::create_symlink(victim, map / ".vexa-check.lock");
    const Outcome o = Check(kChecks + Quote(map.string()));
    EXPECT_EQ(o.Status, 2) << o.Err;
    EXPECT_TRUE(Has(o.Err, "zámok mapy je symbolický odkaz")) << o.Err;
    EXPECT_TRUE(Has(o.Err, (map / ".vexa-check.lock").string())) << o.Err;
    EXPECT_TRUE(fs::is_symlink(map / ".vexa-check.lock"));
    std::ifstream in(victim);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "do not truncate me");
}

// .vexa or .vexa/runs a link to a folder elsewhere: no run file written there and none of
// its files deleted; the run's findings are handed over all the same, the history's
// refusal said.
TEST_F(MapFiles, HistoryLinkedElsewhereIsNeitherWrittenNorPruned) {
    for (const bool wholeFolder : {true, false}) {
        SCOPED_TRACE(wholeFolder ? ".vexa" : ".vexa/runs");
        fs::remove_all(map);
        fs::remove_all(outside);
        fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive);
        const fs::path runs = wholeFolder ? outside / "runs" : outside;
        fs::create_directories(runs);
        for (int i = 0; i < 25; ++i) WriteText(runs / ("2020010" + std::to_string(i) + ".run"), "someone's\n");
        if (wholeFolder) {
            fs::create_directory_symlink(outside, map / ".vexa");
        } else {
            fs::create_directories(map / ".vexa");
            fs::create_directory_symlink(outside, map / ".vexa" / "runs");
        }
        const TTree before = Snapshot(outside);
        const Outcome o = Check(kChecks + Quote(map.string()));
        EXPECT_EQ(o.Status, 3) << o.Err;  // the sample's skipped blocks
        EXPECT_TRUE(Has(o.Err, "cez symbolický odkaz Vexa nezapisuje")) << o.Err;
        EXPECT_FALSE(ReadErrorTable((map / "Chyby.DBF").string()).empty());
        EXPECT_EQ(Snapshot(outside), before);
    }
}

// A block directory that links to elsewhere is read, never written: no header stamps, no
// repairs of its tables, no files made or set aside; a warning names it.
TEST_F(MapFiles, BlockDirectoryLinkedElsewhereIsOnlyRead) {
    fs::rename(map / "LE_00001.blk", outside / "LE_00001.blk");
    fs::create_directory_symlink(outside / "LE_00001.blk", map / "LE_00001.blk");
    fs::remove(outside / "LE_00001.blk" / "tn.pnt");  // a missing file the run would make
    const TTree before = Snapshot(outside);
    const Outcome o = Check(kChecks + "--db 15 " + Quote(map.string()));
    EXPECT_EQ(o.Status, 3) << o.Err;
    EXPECT_TRUE(Has(o.Err, "Blok " + (map / "LE_00001.blk").string() + " je odkaz mimo adresára mapy")) << o.Err;
    EXPECT_EQ(Snapshot(outside), before);
    // It was checked all the same.
    int found = 0;
    for (const TErrorRecord& r : ReadErrorTable((map / "Chyby.DBF").string()))
        if (r.Blok == "LE_00001.blk") ++found;
    EXPECT_GT(found, 0);
}

// A read-only Chyby.DBF is refused before anything of the map changes, mode and bytes kept
// (mode bits decide: root could write it anyway).
TEST_F(MapFiles, ReadOnlyErrorTableIsKept) {
    Check(kChecks + Quote(map.string()));
    const fs::path table = map / "Chyby.DBF";
    ::chmod(table.c_str(), 0444);
    const auto bytes = testkit::ReadFileBytes(table);
    const TTree blocks = Snapshot(map / "LE_00001.blk");
    const Outcome o = Check(kChecks + "--db 15 " + Quote(map.string()));
    EXPECT_EQ(o.Status, 2) << o.Err;
    EXPECT_TRUE(Has(o.Err, "Tabuľka chýb je len na čítanie")) << o.Err;
    EXPECT_TRUE(Has(o.Err, table.string())) << o.Err;
    EXPECT_EQ(testkit::ReadFileBytes(table), bytes);
    EXPECT_EQ(Mode(table), 0444u);
    EXPECT_EQ(Snapshot(map / "LE_00001.blk"), blocks);
}

// An error table that cannot be written names why, as the exceptions' message does.
TEST_F(MapFiles, UnwrittenErrorTableNamesTheCause) {
    fs::remove(map / "Chyby.DBF");
    fs::create_directories(map / "Chyby.DBF" / "in-the-way");
    const Outcome o = Check(kChecks + Quote(map.string()));
    EXPECT_EQ(o.Status, 2) << o.Err;
    const std::string said = "Tabuľka chýb nebola uložená\n(" + (map / "Chyby.DBF").string() + ": ";
    const std::size_t at = o.Err.find(said);
    ASSERT_NE(at, std::string::npos) << o.Err;
    EXPECT_NE(o.Err[at + said.size()], ')') << o.Err;  // a cause follows
    EXPECT_TRUE(fs::is_directory(map / "Chyby.DBF" / "in-the-way"));
}

#ifdef VEXA_REVIEW_PROGRAM
// A read-only Vynimky.DBF: `except` refuses naming it, bytes and mode kept.
TEST_F(MapFiles, ReadOnlyExceptionsAreKept) {
    Check(kChecks + Quote(map.string()));
    auto review = [&](const std::string& args) {
        return RunProgram(Quote(VEXA_REVIEW_PROGRAM) + " " + Quote(map.string()) + " " + args, temp.Path() / "tmp",
                          temp.Path());
    };
    ASSERT_EQ(review("except LE_00002.blk B:3 -32 --reason 'zámerne'").Status, 0);
    const fs::path table = map / "Vynimky.DBF";
    ASSERT_TRUE(fs::exists(table));
    ::chmod(table.c_str(), 0444);
    const auto bytes = testkit::ReadFileBytes(table);
    const Outcome o = review("except LE_00002.blk B:3 -32 --reason 'iný dôvod'");
    EXPECT_EQ(o.Status, 2) << o.Err;
    EXPECT_TRUE(Has(o.Err, "Tabuľka výnimiek je len na čítanie")) << o.Err;
    EXPECT_TRUE(Has(o.Err, table.string())) << o.Err;
    EXPECT_EQ(testkit::ReadFileBytes(table), bytes);
    EXPECT_EQ(Mode(table), 0444u);
}

// A run file of an earlier version far larger than any run writes is not read whole: its
// takeover refuses it naming the file, in a fraction of its size in memory.
TEST_F(MapFiles, HugeRunFileIsNotReadWhole) {
    const fs::path runs = map / ".vexa" / "runs";
    fs::create_directories(runs);
    std::vector<fs::path> files = {runs / "20200101-000000-000.run", runs / "20200101-000000-001.run"};
    for (const fs::path& file : files) {
        // A run's metadata, then (the second) 200 MB of findings.
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << "vexa-run\t1\nid\t" << file.stem().string() << "\ndate\t2020-01-01 00:00:00\nchecked\tLE_00001.blk\n";
        const std::string line = "F\tLE_00001.blk\tL\t1\t-11\t2\tnew\t\t" + std::string(200, 'x') + "\n";
        if (file == files[1])
            for (std::size_t written = 0; written < (200u << 20); written += line.size()) out << line;
        out << "end\n";
    }
    const std::string command = "TMPDIR=" + Quote((temp.Path() / "tmp").string()) + " exec " +
                                Quote(VEXA_REVIEW_PROGRAM) + " " + Quote(map.string()) + " compare >" +
                                Quote((temp.Path() / "out").string()) + " 2>" + Quote((temp.Path() / "err").string());
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int raw = 0;
    rusage usage{};
    ::wait4(pid, &raw, 0, &usage);
    const std::string err = ReadFileText(temp.Path() / "err");
    std::cout << "vexa-review compare on a 200 MB run file: " << usage.ru_maxrss / 1024 << " MB\n";
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2) << err;
    EXPECT_TRUE(Has(err, "Záznam kontroly je väčší ako 64 MB")) << err;
    EXPECT_TRUE(Has(err, files[1].string())) << err;
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(usage.ru_maxrss / 1024, 100);
#endif
}

// A reason longer than the table keeps is refused, not cut; one of 254 characters is kept whole.
TEST_F(MapFiles, ReasonLongerThanTheTableKeepsIsRefused) {
    Check(kChecks + Quote(map.string()));
    auto review = [&](const std::string& args) {
        return RunProgram(Quote(VEXA_REVIEW_PROGRAM) + " " + Quote(map.string()) + " " + args, temp.Path() / "tmp",
                          temp.Path());
    };
    std::string longest;
    for (int i = 0; i < 127; ++i) longest += "ž.";  // 254 characters, 381 bytes
    const Outcome tooLong = review("except LE_00002.blk B:3 -32 --reason " + Quote(longest + "x"));
    EXPECT_EQ(tooLong.Status, 2) << tooLong.Err;
    EXPECT_NE(tooLong.Err.find("Dôvod výnimky má 255 znakov"), std::string::npos) << tooLong.Err;
    EXPECT_FALSE(fs::exists(map / "Vynimky.DBF"));
    ASSERT_EQ(review("except LE_00002.blk B:3 -32 --reason " + Quote(longest)).Status, 0);
    const Outcome listed = review("exceptions");
    EXPECT_NE(listed.Out.find(longest), std::string::npos) << listed.Out;
}
#endif

// A run file a dead run (of an earlier version) left half-written in .vexa/runs goes with the
// next check; one of a live process stays.
TEST_F(MapFiles, DeadRunsTemporaryRunFileIsRemoved) {
    Check(kChecks + Quote(map.string()));
    const fs::path runs = map / ".vexa" / "runs";
    const fs::path dead = runs / (".20200101-000000-000.run.vexa-" + std::to_string(DeadPid()) + "-0-1.tmp");
    const fs::path live = runs / (".20200101-000000-001.run.vexa-" + std::to_string(::getpid()) + "-0-1.tmp");
    fs::create_directories(runs);  // the folder of an earlier version's history
    WriteText(dead, "vexa-run 1\n");
    WriteText(live, "vexa-run 1\n");
    Check(kChecks + Quote(map.string()));
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(live));
}

#endif
