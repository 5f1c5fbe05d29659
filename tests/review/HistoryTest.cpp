// The history database: the takeover of an earlier version's run files, the intervals of
// findings through runs, a damaged database, two writers at once, and the growth of an
// unchanged run.
#include "review/ReviewTestSupport.h"
#include "common/Exception.h"
#include "review/RunHistory.h"
#include "review/RunReview.h"
#include "standard/Findings.h"

#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

using namespace vexa;
using namespace vexa::review;
using namespace vexa::reviewtest;

namespace {

class History : public ::testing::Test {
protected:
    void SetUp() override { fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive); }
    void TearDown() override { SetHistoryLockWait(10000); }
    std::string MapDir() const { return map.string() + "/"; }
    std::int64_t Rows() {
        std::vector<std::string> problems;
        return THistory::Open(MapDir(), problems)->FindingRows();
    }
    std::vector<TRunRecord> All() {
        std::vector<std::string> problems;
        std::vector<TRunRecord> runs = ListRuns(MapDir(), true, problems);
        EXPECT_TRUE(problems.empty()) << problems.front();
        return runs;
    }
    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
};

TFinding Point(int number, int code = -32) {
    TFinding f;
    f.Record.Id = code;
    f.Record.Blok = "LE_00002.blk";
    f.Record.Vrstva = "LE";
    f.Record.Prvok = "B";
    f.Record.Druh = 5;
    f.Record.Cislo = number;
    f.Record.Chyba = "uhol otočenia";
    return f;
}

struct TRunResult {
    TReviewCounts Counts;
    std::vector<TFindingStatus> Statuses;
    TRunRecord Run;
};

// A run of the points' checks (points: the mask) on LE_00002.blk that finds these points.
TRunResult PointRun(const std::string& mapDir, const std::vector<int>& numbers, unsigned points = 3) {
    TRunReview review(mapDir, {});
    review.Begin(OptionsText(0, 0, points, 0, 0, 0, 0));
    TRunResult result;
    for (int n : numbers) {
        TFinding f = Point(n);
        std::string reason;
        EXPECT_TRUE(review.Judge(f, reason));
        result.Statuses.push_back({f.Status, f.Since});
    }
    review.Release();
    EXPECT_EQ(review.Finish({"LE_00002.blk"}, {}, true), "");
    result.Counts = review.Counts();
    result.Run = review.Run();
    return result;
}

// Runs as an earlier version kept them: a table finding, persisting findings, one gone, one excepted.
std::vector<TRunRecord> EarlierRuns() {
    const std::string options = OptionsText(15, 63, 3, 3, 7, 1, 100);
    TRunRecord a;
    a.Id = "20261201-080000-000", a.Date = "2026-12-01 08:00:00", a.Version = "0.9", a.Standard = "/s/GXD.mdb";
    a.Description = "štandard", a.Options = options, a.User = "anna", a.ChecksRan = ChecksOfOptions(options);
    a.Checked = {"LE_00001.blk", "LE_00002.blk"}, a.Skipped = {"LE_00009.blk: nevyčistený"}, a.Complete = true;
    a.Duration = 1.5, a.New = 4;
    a.Found = {{"LE_00001.blk", "L", 7, -11, 2, "new", a.Date, "dĺžka\t0.3"},
               {"LE_00001.blk", "-", std::nullopt, -91, std::nullopt, "new", a.Date, "chybná DB štruktúra", "l0001.dbf",
                "chýba DREVINA C 4"},
               {"LE_00002.blk", "B", 3, -32, 5, "new", a.Date, "uhol otočenia"},
               {"LE_00002.blk", "B", 4, -32, 5, "new", a.Date, "uhol otočenia"}};
    TRunRecord b = a;
    b.Id = "20261202-090000-000", b.Date = "2026-12-02 09:00:00", b.User = "boris", b.Skipped.clear();
    b.New = 1, b.Persisting = 3, b.Fixed = 1, b.Excepted = 1;
    b.Found = {{"LE_00001.blk", "L", 7, -11, 2, "persisting", a.Date, "dĺžka\t0.3"},
               {"LE_00001.blk", "-", std::nullopt, -91, std::nullopt, "persisting", a.Date, "chybná DB štruktúra",
                "l0001.dbf", "chýba DREVINA C 4, VEK N 3"},
               {"LE_00001.blk", "L", 9, -12, 2, "new", b.Date, "nová"},
               {"LE_00002.blk", "B", 3, -32, 5, "persisting", a.Date, "uhol otočenia"}};
    b.Left = {{"LE_00002.blk", "B", 4, -32, 5, "excepted", b.Date, "uhol otočenia"}};
    b.Gone = {{"LE_00002.blk", "B", 4, -32, 5, "fixed", a.Date, "uhol otočenia"}};
    return {a, b};
}

// The text of a run file without the lines and fields an earlier version did not write.
std::string WithoutNewerFields(const std::string& text) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("user\t", 0) == 0 || line == "checks" || line.rfind("checks\t", 0) == 0) continue;
        if (line.size() > 1 && line[0] == 'F' && line[1] == '\t') {
            std::size_t at = 0;
            for (int tabs = 0; tabs < 9 && at != std::string::npos; ++tabs) at = line.find('\t', at + 1);
            if (at != std::string::npos) line.resize(at);
        }
        out += line + "\n";
    }
    return out;
}

void ExpectSameRun(const TRunRecord& taken, const TRunRecord& file) {
    EXPECT_EQ(taken.Id, file.Id);
    EXPECT_EQ(taken.Date, file.Date);
    EXPECT_EQ(taken.Version, file.Version);
    EXPECT_EQ(taken.Standard, file.Standard);
    EXPECT_EQ(taken.Description, file.Description);
    EXPECT_EQ(taken.Options, file.Options);
    EXPECT_EQ(taken.User, file.User);
    EXPECT_EQ(taken.ChecksRan, file.ChecksRan);
    EXPECT_EQ(taken.Checked, file.Checked);
    EXPECT_EQ(taken.Skipped, file.Skipped);
    EXPECT_EQ(taken.Complete, file.Complete);
    EXPECT_EQ(taken.Merge, file.Merge);
    EXPECT_DOUBLE_EQ(taken.Duration, file.Duration);
    EXPECT_EQ(taken.Findings, file.Findings);
    EXPECT_EQ(std::tie(taken.New, taken.Persisting, taken.Fixed, taken.Excepted),
              std::tie(file.New, file.Persisting, file.Fixed, file.Excepted));
    EXPECT_EQ(taken.Found, file.Found);
    EXPECT_EQ(taken.Gone, file.Gone);
    EXPECT_EQ(taken.Left, file.Left);
}

// The comparison from the rows is CompareRuns of the runs read whole, for every pair.
void ExpectComparedAsWhole(const std::string& mapDir) {
    std::vector<std::string> problems;
    const std::unique_ptr<THistory> history = THistory::Open(mapDir, problems);
    const std::vector<TRunRecord>& runs = history->Runs();
    for (std::size_t i = 0; i < runs.size(); ++i)
        for (std::size_t j = 0; j < runs.size(); ++j) {
            SCOPED_TRACE(std::to_string(i) + " -> " + std::to_string(j));
            EXPECT_EQ(history->Compare(runs[i], runs[j]), CompareRuns(history->Load(runs[i]), history->Load(runs[j])));
        }
}

TEST_F(History, RunFilesOfAnEarlierVersionAreTakenOverWhole) {
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older ? "without user, checks, table and detail" : "with every field");
        fs::remove_all(HistoryDir(MapDir()));
        const fs::path runs = HistoryDir(MapDir()) / "runs";
        std::vector<fs::path> files;
        for (const TRunRecord& r : EarlierRuns()) {
            files.push_back(runs / (r.Id + ".run"));
            WriteRunFile(files.back(), r);
            if (older) {
                const std::string text = WithoutNewerFields(testkit::ReadFileText(files.back()));
                std::ofstream(files.back(), std::ios::binary | std::ios::trunc) << text;
            }
        }
        std::vector<std::string> texts;
        std::vector<TRunRecord> expected;
        for (const fs::path& f : files) texts.push_back(testkit::ReadFileText(f)), expected.push_back(ReadRun(f));
        if (older) {
            ASSERT_TRUE(expected[1].User.empty());
            ASSERT_TRUE(expected[1].Found[1].Table.empty()) << "the file lacks it";
        }
        const std::vector<TRunRecord> taken = All();
        ASSERT_EQ(taken.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) ExpectSameRun(taken[i], expected[i]);
        EXPECT_TRUE(fs::exists(HistoryPath(MapDir())));
        for (std::size_t i = 0; i < files.size(); ++i)
            EXPECT_EQ(testkit::ReadFileText(files[i]), texts[i]) << "a run file is left as it was";
        const auto compare = [](const std::vector<TRunFinding>& c) {
            std::vector<std::string> out;
            for (const TRunFinding& f : c) out.push_back(f.Status + " " + f.Key() + " " + f.Since);
            return out;
        };
        EXPECT_EQ(compare(CompareRuns(taken[0], taken[1])), compare(CompareRuns(expected[0], expected[1])));
        EXPECT_EQ(compare(CompareRuns(taken[1], taken[0])), compare(CompareRuns(expected[1], expected[0])));
        ExpectComparedAsWhole(MapDir());

        // The next run compares with what was taken over.
        const TRunResult next = PointRun(MapDir(), {3, 5}, 3);
        ASSERT_EQ(next.Statuses.size(), 2u);
        EXPECT_EQ(next.Statuses[0].Status, "persisting");
        EXPECT_EQ(next.Statuses[0].Since, "2026-12-01 08:00:00");
        EXPECT_EQ(next.Statuses[1].Status, "new");
        EXPECT_EQ(next.Counts.Fixed, 0) << "point 4 was excepted, not found, in the run before";
        std::vector<std::string> problems;
        const TStatusIndex statuses = LatestStatuses(MapDir(), problems);
        ASSERT_TRUE(statuses.Find("LE_00001.blk", "L", 9, -12, 2));
        EXPECT_EQ(*statuses.Find("LE_00001.blk", "L", 9, -12, 2)->Text, "nová");
        ASSERT_TRUE(statuses.Find("LE_00002.blk", "B", 3, -32, 5));
        EXPECT_EQ(*statuses.Find("LE_00002.blk", "B", 3, -32, 5)->Text, "trvá od 1.12.2026 08:00");
        EXPECT_FALSE(statuses.Find("LE_00002.blk", "B", 4, -32, 5));
        EXPECT_EQ(statuses.Size(), 5u);
    }
}

TEST_F(History, AFindingStandsAsOneIntervalAndComesBackNew) {
    const TRunResult first = PointRun(MapDir(), {3, 4});
    EXPECT_EQ(Rows(), 2);
    const TRunResult same = PointRun(MapDir(), {3, 4});
    EXPECT_EQ(Rows(), 2) << "an unchanged run only extends the intervals";
    EXPECT_EQ(same.Counts.Persisting, 2);
    EXPECT_EQ(same.Statuses[1].Since, first.Run.Date);
    const TRunResult without = PointRun(MapDir(), {3});
    EXPECT_EQ(without.Counts.Fixed, 1);
    const TRunResult back = PointRun(MapDir(), {3, 4});
    EXPECT_EQ(back.Statuses[1].Status, "new") << "gone and back is new again";
    EXPECT_EQ(back.Statuses[1].Since, back.Run.Date);
    EXPECT_EQ(back.Statuses[0].Since, first.Run.Date);
    EXPECT_EQ(Rows(), 3);
    const TRunResult otherChecks = PointRun(MapDir(), {}, 1);  // rotation not checked
    EXPECT_EQ(otherChecks.Counts.Fixed, 0);
    const TRunResult again = PointRun(MapDir(), {3, 4}, 2);
    EXPECT_EQ(again.Counts.Persisting, 2) << "compared with the newest run that ran rotation";
    EXPECT_EQ(again.Statuses[1].Since, back.Run.Date);

    // Each run reads back as it was made, with the statuses it gave.
    const std::vector<TRunRecord> runs = All();
    const std::vector<TRunResult> made = {first, same, without, back, otherChecks, again};
    ASSERT_EQ(runs.size(), made.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(runs[i].Found.size(), made[i].Statuses.size());
        for (std::size_t j = 0; j < runs[i].Found.size(); ++j) {
            EXPECT_EQ(runs[i].Found[j].Status, made[i].Statuses[j].Status);
            EXPECT_EQ(runs[i].Found[j].Since, made[i].Statuses[j].Since);
        }
        EXPECT_EQ(runs[i].Found, made[i].Run.Found);
        EXPECT_EQ(runs[i].Gone, made[i].Run.Gone);
        EXPECT_EQ(runs[i].Fixed, made[i].Counts.Fixed);
    }
    ASSERT_EQ(runs[2].Gone.size(), 1u);
    EXPECT_EQ(runs[2].Gone[0].Number, 4);
    ExpectComparedAsWhole(MapDir());
}

TEST_F(History, AnUnchangedRunAddsOnlyItsOwnRow) {
    std::vector<int> many;
    for (int n = 1; n <= 400; ++n) many.push_back(n);
    PointRun(MapDir(), many);
    const std::int64_t rows = Rows();
    EXPECT_EQ(rows, 400);
    const auto size = fs::file_size(HistoryPath(MapDir()));
    for (int i = 0; i < 3; ++i) PointRun(MapDir(), many);
    EXPECT_EQ(Rows(), rows);
    EXPECT_LT(fs::file_size(HistoryPath(MapDir())), size + 3 * 8192) << "three runs' metadata, a page or so each";
    EXPECT_EQ(All().size(), 4u);
    for (int i = 0; i < 25; ++i) PointRun(MapDir(), {1});
    EXPECT_EQ(All().size(), kRunsKept);
    EXPECT_EQ(Rows(), 1) << "what stood only in runs no longer kept goes with them";
}

TEST_F(History, ADamagedDatabaseIsNamedAndLeftAsItIs) {
    PointRun(MapDir(), {3});
    const fs::path db = HistoryPath(MapDir());
    std::vector<unsigned char> bytes = testkit::ReadFileBytes(db);
    for (std::size_t i = 0; i < 100; ++i) bytes[i] ^= 0x5A;  // its header
    std::ofstream(db, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()),
                                                                static_cast<std::streamsize>(bytes.size()));
    std::vector<std::string> problems;
    EXPECT_TRUE(ListRuns(MapDir(), false, problems).empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(db.string()), std::string::npos) << problems[0];
    {
        TRunReview review(MapDir(), {});
        ASSERT_EQ(review.Problems().size(), 1u);
        EXPECT_NE(review.Problems()[0].find(db.string()), std::string::npos);
        review.Begin(OptionsText(0, 0, 3, 0, 0, 0, 0));
        TFinding f = Point(3);
        std::string reason;
        EXPECT_TRUE(review.Judge(f, reason));
        EXPECT_EQ(f.Status, "new");
        review.Release();
        const std::string failed = review.Finish({"LE_00002.blk"}, {}, true);
        EXPECT_NE(failed.find(db.string()), std::string::npos) << failed;
    }
    EXPECT_EQ(testkit::ReadFileBytes(db), bytes) << "never rewritten, never removed";
    std::ofstream(db, std::ios::binary | std::ios::trunc) << "";  // empty: not a history either
    problems.clear();
    ListRuns(MapDir(), false, problems);
    ASSERT_EQ(problems.size(), 1u);
    TRunRecord r;
    EXPECT_THROW(SaveRun(MapDir(), r), vexa::Exception);
    EXPECT_EQ(fs::file_size(db), 0u);
}

TEST_F(History, ASecondWriterWaitsForTheFirstOrGivesUp) {
    PointRun(MapDir(), {3});
    const std::string lock = (HistoryDir(MapDir()) / "historia.lock").string();
    const int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    SetHistoryLockWait(150);
    TRunRecord refused;
    refused.Checked = {"LE_00002.blk"};
    try {
        SaveRun(MapDir(), refused);
        ADD_FAILURE() << "written under another's lock";
    } catch (const vexa::Exception& e) {
        EXPECT_NE(e.Message().find("iný program"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(All().size(), 1u);
    SetHistoryLockWait(5000);
    std::thread release([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::flock(fd, LOCK_UN);
    });
    TRunRecord waited;
    waited.Checked = {"LE_00002.blk"};
    EXPECT_NO_THROW(SaveRun(MapDir(), waited));
    release.join();
    ::close(fd);
    EXPECT_EQ(All().size(), 2u);
}

TEST_F(History, ARunWrittenMeanwhileLeavesTheHistoryWhole) {
    PointRun(MapDir(), {3, 4});
    TRunReview review(MapDir(), {});
    review.Begin(OptionsText(0, 0, 3, 0, 0, 0, 0));
    for (int n : {3, 4}) {
        TFinding f = Point(n);
        std::string reason;
        EXPECT_TRUE(review.Judge(f, reason));
    }
    const TRunResult meanwhile = PointRun(MapDir(), {4, 5});  // another program's run
    review.Release();
    EXPECT_EQ(review.Finish({"LE_00002.blk"}, {}, true), "");
    const std::vector<TRunRecord> runs = All();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[2].Found, review.Run().Found);
    EXPECT_EQ(runs[1].Found, meanwhile.Run.Found);
    // The next run compares with the last written.
    const TRunResult next = PointRun(MapDir(), {3, 4});
    EXPECT_EQ(next.Counts.Persisting, 2);
    EXPECT_EQ(next.Counts.Fixed, 0);
    ExpectComparedAsWhole(MapDir());
}

}  // namespace
