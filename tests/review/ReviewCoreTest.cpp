// The review's core without a program: fingerprints, the exceptions table, the history
// of runs and their comparison, and the run's review in front of the findings' sinks.
#include "review/Exceptions.h"
#include "review/Fingerprint.h"
#include "review/RunHistory.h"
#include "review/RunReview.h"
#include "review/ReviewTestSupport.h"
#include "common/Exception.h"
#include "standard/ErrorTable.h"
#include "dbase/TableDBF.h"

#include <gtest/gtest.h>

#include <thread>

using namespace vexa;
using namespace vexa::review;
using namespace vexa::reviewtest;

namespace {

class ReviewCore : public ::testing::Test {
protected:
    void SetUp() override { fs::copy(VEXA_EXAMPLES_MAP, map, fs::copy_options::recursive); }
    std::string MapDir() const { return map.string() + "/"; }
    TReviewException Exception(const std::string& block, int number, int code, const std::string& reason) const {
        TReviewException e;
        e.Block = block;
        e.Layer = block.substr(0, 2);
        e.Group = std::string(1, 'B');
        e.Kind = 5;
        e.Number = number;
        e.Code = code;
        e.Text = "uhol otočenia";
        e.Fingerprint = "0123456789abcdef";
        e.Reason = reason;
        e.User = "tester";
        e.Date = {2026, 12, 9};
        return e;
    }
    testkit::TempDir temp;
    fs::path map = temp.Path() / "map";
};

TEST_F(ReviewCore, FingerprintFollowsTheElementAndOnlyIt) {
    const std::string block = (map / "LE_00002.blk").string();
    const auto before = ElementFingerprint(block, "B", 3);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->size(), 16u);
    EXPECT_EQ(ElementFingerprint(block, "B", 3), before) << "the same element reads the same";
    const auto other = ElementFingerprint(block, "B", 2);
    ASSERT_TRUE(other);
    EXPECT_NE(*other, *before);

    TurnPoint(map / "LE_00002.blk", 3);
    const auto turned = ElementFingerprint(block, "B", 3);
    ASSERT_TRUE(turned);
    EXPECT_NE(*turned, *before) << "another angle";
    EXPECT_EQ(ElementFingerprint(block, "B", 2), other) << "a neighbour's change leaves it alone";
    SetPointKind(map / "LE_00002.blk", 2, 5);
    EXPECT_NE(ElementFingerprint(block, "B", 2), other) << "another kind";

    EXPECT_FALSE(ElementFingerprint(block, "B", 99)) << "no such element";
    EXPECT_FALSE(ElementFingerprint(block, "X", 1)) << "no such group";
    EXPECT_FALSE(ElementFingerprint((map / "none.blk").string(), "B", 1)) << "no such block";
    EXPECT_EQ(ElementFingerprint(block, "L", std::nullopt), std::string(kNoElement)) << "a table-level finding";
    EXPECT_FALSE(fs::exists(map / "none.blk")) << "reading creates nothing";
}

// The error browser excepts a finding as Chyby.DBF holds it: a block name that is not
// UTF-8 with its stray bytes as \xHH. The exception is made from the block on disk, stored
// in code page 1250 under that name, and keyed as the raw name's finding.
TEST_F(ReviewCore, AnExceptionOfABlockNamedInStrayBytesIsMadeFromItsPrintedName) {
    fs::rename(map / "LE_00002.blk", map / "LE_0000\xe9.blk");
    const std::string printed = "LE_0000\\xE9.blk";
    EXPECT_EQ(BlockOnDisk(MapDir() + printed), (map / "LE_0000\xe9.blk").string());
    EXPECT_EQ(BlockOnDisk(MapDir() + "LE_00003.blk"), MapDir() + "LE_00003.blk") << "a plain name stays";
    const auto fp = ElementFingerprint(MapDir() + printed, "B", 3);
    ASSERT_TRUE(fp);
    EXPECT_EQ(fp, ElementFingerprint((map / "LE_0000\xe9.blk").string(), "B", 3));
    const TReviewException e = MakeException(MapDir(), printed, "LE", "B", 5, 3, -32, "uhol otočenia", "zámerne");
    EXPECT_EQ(e.Fingerprint, *fp);
    AddException(MapDir(), e);
    const std::vector<TReviewException> rows = LoadExceptions(MapDir());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Block, printed);
    EXPECT_EQ(rows[0].Key(), FindingKey("LE_0000\xe9.blk", "B", 3, -32, 5)) << "the raw name's finding";
}

TEST_F(ReviewCore, ExceptionsAreKeptReplacedAndRemoved) {
    EXPECT_TRUE(LoadExceptions(MapDir()).empty()) << "no table, no exceptions";
    AddException(MapDir(), Exception("LE_00002.blk", 3, -32, "otočený zámerne, šikmá značka"));
    AddException(MapDir(), Exception("LE_00003.blk", 1, -32, "druhý"));
    AddException(MapDir(), Exception("LE_00002.blk", 3, -32, "nový dôvod"));  // the same finding again
    std::vector<TReviewException> rows = LoadExceptions(MapDir());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Block, "LE_00003.blk");
    EXPECT_EQ(rows[1].Reason, "nový dôvod");
    EXPECT_EQ(rows[1].Text, "uhol otočenia");
    EXPECT_EQ(rows[1].Fingerprint, "0123456789abcdef");
    EXPECT_EQ(rows[1].User, "tester");
    EXPECT_EQ(rows[1].Date, (TDate{2026, 12, 9}));
    EXPECT_EQ(rows[1].Kind, 5);
    EXPECT_EQ(rows[1].Layer, "LE");
    // Code page 1250, as Chyby.DBF: "č" is one byte, 0xE8.
    std::vector<unsigned char> bytes = testkit::ReadFileBytes(map / kExceptionsFileName);
    EXPECT_NE(std::find(bytes.begin(), bytes.end(), 0xE8), bytes.end());

    EXPECT_TRUE(RemoveException(MapDir(), rows[1].Key()));
    EXPECT_FALSE(RemoveException(MapDir(), rows[1].Key()));
    ASSERT_EQ(LoadExceptions(MapDir()).size(), 1u);
    EXPECT_EQ(LoadExceptions(MapDir())[0].Block, "LE_00003.blk");
}

TEST_F(ReviewCore, ATableOfTheEarlierColumnsReadsAndTableFindingsKeepTheirTables) {
    // Vynimky.DBF as the earlier version wrote it: no column Tabulka.
    TFldDefList old = ExceptionFields();
    ASSERT_EQ(old.back().Name, "Tabulka");
    old.pop_back();
    const fs::path path = map / kExceptionsFileName;
    TTableDBF::CreateTable(path.string(), old, 1250);
    {
        TTableDBF t;
        t.SetTableName(path.string());
        t.Open();
        t.AppendRecord({std::string("LE_00001.blk"), TValue{}, std::string("L"), TValue{}, TValue{}, -91.0,
                        std::string("DB l0021.dbf neexistuje"), std::string("-"), std::string("starý"),
                        std::string("tester"), TDate{2026, 12, 1}});
        t.AppendRecord({std::string("LE_00001.blk"), TValue{}, std::string("P"), TValue{}, TValue{}, -93.0,
                        std::string("chybná DB štruktúra"), std::string("-"), std::string("bez tabuľky"),
                        std::string("tester"), TDate{2026, 12, 1}});
        t.Close();
    }
    std::vector<TReviewException> rows = LoadExceptions(MapDir());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Table, "l0021.dbf") << "a missing table's name is in its text";
    EXPECT_EQ(rows[0].Key(), FindingKey("LE_00001.blk", "L", std::nullopt, -91, std::nullopt, "l0021.dbf"));
    EXPECT_EQ(rows[1].Table, "") << "a structure finding's table was never kept";

    // A new exception of another table of the same code is one more row; both keep their tables.
    TReviewException e = rows[0];
    e.Text = "DB l0030.dbf neexistuje";
    e.Table = "l0030.dbf";
    e.Reason = "nový";
    AddException(MapDir(), e);
    rows = LoadExceptions(MapDir());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].Table, "l0021.dbf");
    EXPECT_EQ(rows[2].Table, "l0030.dbf");
    EXPECT_EQ(rows[2].Reason, "nový");
    TTableDBF t;
    t.SetTableName(path.string());
    t.Open();
    TFldDefList fields;
    t.GetFields(fields);
    EXPECT_EQ(fields.size(), ExceptionFields().size()) << "written with the new column";
    t.Close();
    EXPECT_NE(FindingKey("B", "L", std::nullopt, -91, std::nullopt, "l0001.dbf"),
              FindingKey("B", "L", std::nullopt, -91, std::nullopt, "l0021.dbf"));
    EXPECT_EQ(FindingKey("B", "L", std::nullopt, -91, std::nullopt, "L0001.DBF"),
              FindingKey("B", "L", std::nullopt, -91, std::nullopt, "l0001.dbf"));
}

TEST_F(ReviewCore, ChecksAreNamedByCodeWithTheirLimitsAndTheTablesThree) {
    EXPECT_EQ(ChecksRun(2, 16, 0, 2, 4, 12.5, 400),
              (std::vector<std::string>{"-15@12.5", "-91:missing", "-92:missing", "-52", "-74@400", "-93:missing"}));
    EXPECT_EQ(ChecksOfOptions(OptionsText(1, 0, 1, 0, 0, 0, 0)),
              (std::vector<std::string>{"-91:missing", "-91:structure", "-91:fill", "-31", "-92:missing",
                                        "-92:structure", "-92:fill", "-93:missing", "-93:structure", "-93:fill"}));
    EXPECT_TRUE(ChecksOfOptions("o").empty());
    EXPECT_EQ(CheckOf(-93, "chybná DB štruktúra"), "-93:structure");
    EXPECT_EQ(CheckOf(-93, "zle vyplnený DB záznam"), "-93:fill");
    EXPECT_EQ(CheckOf(-93, "DB p0002.dbf neexistuje"), "-93:missing");
    EXPECT_EQ(CheckOf(-15, "podlimitná dĺžka"), "-15");
    const std::vector<std::string> repairsOnly = ChecksRun(2, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(RanCheckOf(repairsOnly, -91, "DB l0001.dbf neexistuje"));
    EXPECT_FALSE(RanCheckOf(repairsOnly, -91, "chybná DB štruktúra"));
    EXPECT_FALSE(RanCheckOf(repairsOnly, -12, "krivka"));
    const std::optional<TRunOptions> o = ParseOptionsText(OptionsText(1, 63, 3, 3, 7, 2.5, 40000));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->Lines, 63u);
    EXPECT_EQ(o->Areas, 7u);
    EXPECT_EQ(o->LengthLimit, 2.5);
    EXPECT_EQ(o->AreaLimit, 40000);
    EXPECT_FALSE(ParseOptionsText("db=1 lines=x"));
}

TEST_F(ReviewCore, AForeignOrDamagedTableIsNamedAndNeverOverwritten) {
    const fs::path path = map / kExceptionsFileName;
    TErrorTable::CreateTemplate(path.string());  // a dBASE table of other columns
    const std::vector<unsigned char> foreign = testkit::ReadFileBytes(path);
    try {
        LoadExceptions(MapDir());
        ADD_FAILURE() << "a foreign table was read";
    } catch (const vexa::Exception& e) {
        EXPECT_NE(e.Message().find(path.string()), std::string::npos) << e.Message();
    }
    EXPECT_THROW(AddException(MapDir(), Exception("LE_00002.blk", 3, -32, "x")), vexa::Exception);
    EXPECT_THROW(RemoveException(MapDir(), "any"), vexa::Exception);
    EXPECT_EQ(testkit::ReadFileBytes(path), foreign);

    std::ofstream(path, std::ios::binary | std::ios::trunc) << "not a table";
    EXPECT_THROW(LoadExceptions(MapDir()), vexa::Exception);
    // A run goes on without them and says so, naming the file.
    TRunReview review(MapDir(), {});
    ASSERT_EQ(review.Problems().size(), 1u);
    EXPECT_NE(review.Problems()[0].find(path.string()), std::string::npos);
    EXPECT_NE(review.Problems()[0].find("bez výnimiek"), std::string::npos);
    EXPECT_EQ(testkit::ReadFileText(path), "not a table");
}

TEST_F(ReviewCore, TwoWritersAtOnceKeepBothChanges) {
    auto writer = [&](const std::string& block) {
        for (int n = 1; n <= 15; ++n) AddException(MapDir(), Exception(block, n, -32, "súbežne"));
    };
    std::thread a(writer, "LE_00002.blk"), b(writer, "LE_00003.blk");
    a.join();
    b.join();
    EXPECT_EQ(LoadExceptions(MapDir()).size(), 30u);
}

TRunRecord RunWith(const std::vector<TRunFinding>& found, const std::vector<std::string>& checked) {
    TRunRecord r;
    r.Found = found;
    r.Checked = checked;
    r.Options = OptionsText(1, 63, 3, 3, 7, 0, 0);  // every check: each finding's check ran
    r.Complete = true;
    return r;
}

TEST_F(ReviewCore, HistoryKeepsTheLastTwentyRunsAndReadsThemBack) {
    for (int i = 0; i < 23; ++i) {
        TRunRecord r = RunWith({{"LE_1.blk", "L", i + 1, -15, 3, "new", "d", "text\twith tab\nand line \\ end"}},
                               {"LE_1.blk"});
        r.Skipped = {"LE_9.blk: nevyčistený"};
        SaveRun(MapDir(), r);
    }
    std::vector<std::string> problems;
    std::vector<TRunRecord> runs = ListRuns(MapDir(), true, problems);
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(runs.size(), kRunsKept);
    EXPECT_EQ(runs.front().Found.at(0).Number, 4) << "the three oldest went";
    EXPECT_EQ(runs.back().Found.at(0).Number, 23);
    EXPECT_EQ(runs.back().Found.at(0).Text, "text\twith tab\nand line \\ end");
    EXPECT_EQ(runs.back().Skipped, std::vector<std::string>{"LE_9.blk: nevyčistený"});
    EXPECT_EQ(runs.back().Findings, 1);
    EXPECT_TRUE(runs.back().Complete);
    for (std::size_t i = 1; i < runs.size(); ++i) EXPECT_LT(runs[i - 1].Id, runs[i].Id);
}

TEST_F(ReviewCore, ADamagedRunIsNamedLeftAloneAndNotCounted) {
    // Run files of an earlier version, two of them damaged: the one that reads is taken over.
    TRunRecord r = RunWith({{"LE_1.blk", "L", 1, -15, 3, "new", "d", "t"}}, {"LE_1.blk"});
    r.Id = "20261201-000000-000", r.Date = "2026-12-01 00:00:00";
    const fs::path good = HistoryDir(MapDir()) / "runs" / "20261201-000000-000.run";
    WriteRunFile(good, r);
    const fs::path bad = HistoryDir(MapDir()) / "runs" / "00000000-000000-000.run";
    std::ofstream(bad) << "vexa-run\t1\nid\tx\nF\tonly\tthree\n";
    const fs::path cut = HistoryDir(MapDir()) / "runs" / "00000000-000000-001.run";
    std::string whole = testkit::ReadFileText(good);
    std::ofstream(cut) << whole.substr(0, whole.size() - 4);  // its last line lost
    std::vector<std::string> problems;
    std::vector<TRunRecord> runs = ListRuns(MapDir(), true, problems);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Found, r.Found);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find(bad.string()), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find(cut.string()), std::string::npos) << problems[1];
    for (int i = 0; i < 21; ++i) SaveRun(MapDir(), r = RunWith({}, {"LE_1.blk"}));
    EXPECT_TRUE(fs::exists(bad)) << "an unreadable run is never removed";
    EXPECT_TRUE(fs::exists(cut));
    EXPECT_EQ(testkit::ReadFileText(good), whole) << "one taken over stays as it was";
}

TEST_F(ReviewCore, CompareTellsNewPersistingFixedAndExcepted) {
    TRunFinding kept{"LE_1.blk", "L", 1, -15, 3, "new", "d1", "a"};
    TRunFinding fixedOne{"LE_1.blk", "L", 2, -15, 3, "new", "d1", "b"};
    TRunFinding excepted{"LE_1.blk", "B", 3, -32, 5, "new", "d1", "c"};
    TRunFinding otherBlock{"LE_2.blk", "L", 2, -15, 3, "new", "d1", "d"};
    TRunFinding fresh{"LE_1.blk", "L", 2, -12, 3, "new", "d2", "e"};  // same element, other code
    TRunRecord a = RunWith({kept, fixedOne, excepted, otherBlock}, {"LE_1.blk", "LE_2.blk"});
    TRunRecord b = RunWith({kept, fresh}, {"LE_1.blk"});
    b.Left = {excepted};
    std::vector<TRunFinding> c = CompareRuns(a, b);
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0].Status, "persisting");
    EXPECT_EQ(c[0].Number, 1);
    EXPECT_EQ(c[1].Status, "new");
    EXPECT_EQ(c[1].Code, -12);
    EXPECT_EQ(c[2].Status, "fixed");
    EXPECT_EQ(c[2].Number, 2);
    EXPECT_EQ(c[2].Code, -15) << "the excepted finding and the unchecked block's are not fixed";
    EXPECT_EQ(c[3].Status, "excepted") << "what the exception left out is told as such";
    EXPECT_EQ(c[3].Number, 3);
    EXPECT_EQ(c[3].Code, -32);
}

TEST_F(ReviewCore, TheBrowsersStatusesComeFromTheNewestRunOfEachBlock) {
    TRunRecord older = RunWith({{"LE_1.blk", "L", 1, -15, 3, "new", "2026-12-01 08:00:00", "a"},
                                {"LE_2.blk", "B", 2, -31, 6, "new", "2026-12-01 08:00:00", "b"}},
                               {"LE_1.blk", "LE_2.blk"});
    older.Date = "2026-12-01 08:00:00";
    SaveRun(MapDir(), older);
    TRunRecord newer = RunWith({{"LE_1.blk", "L", 1, -15, 3, "persisting", "2026-12-01 08:00:00", "a"},
                                {"LE_1.blk", "L", 7, -12, 3, "new", "2026-12-02 09:30:00", "c"}},
                               {"LE_1.blk"});
    SaveRun(MapDir(), newer);
    std::vector<std::string> problems;
    const TStatusIndex index = LatestStatuses(MapDir(), problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(index.Size(), 3u);
    const TStatusIndex::TEntry* kept = index.Find("LE_1.blk", "L", 1, -15, 3);
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept->Text, "trvá od 1.12.2026 08:00");
    EXPECT_EQ(kept->Status.Status, "persisting");
    ASSERT_TRUE(index.Find("LE_1.blk", "L", 7, -12, 3));
    EXPECT_EQ(*index.Find("LE_1.blk", "L", 7, -12, 3)->Text, "nová");
    ASSERT_TRUE(index.Find("LE_2.blk", "B", 2, -31, 6)) << "a block the newer run did not check";
    EXPECT_FALSE(index.Find("LE_1.blk", "L", 1, -15, 4)) << "another kind";
    EXPECT_FALSE(index.Find("LE_1.blk", "L", std::nullopt, -15, 3)) << "no number";
    EXPECT_FALSE(index.Find("LE_3.blk", "L", 1, -15, 3));
    EXPECT_TRUE(index.Find("LE_1.blk", "L", 1, -15, 3)) << "found again after another block";
}

// A sink that keeps what reaches it.
class Kept : public IFindingSink {
public:
    void Add(const TFinding& f) override { Records.push_back(f.Record); }
    std::vector<TErrorRecord> Records;
};

TFinding PointFinding(int number, int code) {
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

TEST_F(ReviewCore, TheRunLeavesOutValidExceptionsAndRemembers) {
    TReviewException e = Exception("LE_00002.blk", 3, -32, "zámerne");
    e.Fingerprint = *ElementFingerprint((map / "LE_00002.blk").string(), "B", 3);
    AddException(MapDir(), e);
    Kept kept;
    // What the review hands on goes to kept, with its status.
    auto judged = [&](TRunReview& review, TFinding f) {
        std::string reason;
        if (!review.Judge(f, reason)) return std::string("excepted: ") + reason;
        kept.Add(f);
        return f.Status;
    };
    {
        TRunReview review(MapDir(), {});
        review.Begin(OptionsText(0, 0, 3, 0, 0, 0, 0));  // points: rotation among them
        EXPECT_EQ(judged(review, PointFinding(3, -32)), "excepted: zámerne");
        EXPECT_EQ(judged(review, PointFinding(4, -32)), "new");
        review.Release();
        EXPECT_EQ(review.Finish({"LE_00002.blk"}, {}, true), "");
        EXPECT_EQ(review.Counts().Excepted, 1);
        EXPECT_EQ(review.Counts().New, 1);
        EXPECT_TRUE(review.TakeNotes().empty());
    }
    ASSERT_EQ(kept.Records.size(), 1u);
    EXPECT_EQ(kept.Records[0].Cislo, 4);

    // The excepted element turned: reported again, the exception said to hold no more.
    TurnPoint(map / "LE_00002.blk", 3);
    kept.Records.clear();
    TRunReview review(MapDir(), {});
    review.Begin(OptionsText(0, 0, 3, 0, 0, 0, 0));  // points: rotation among them
    EXPECT_EQ(judged(review, PointFinding(3, -32)), "new");
    review.Release();
    EXPECT_EQ(review.Finish({"LE_00002.blk"}, {}, true), "");
    EXPECT_EQ(kept.Records.size(), 1u);
    EXPECT_EQ(review.Counts().Excepted, 0);
    EXPECT_EQ(review.Counts().Fixed, 1) << "point 4's finding is gone";
    std::vector<std::string> notes = review.TakeNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("už neplatí"), std::string::npos);
    EXPECT_NE(notes[0].find("zámerne"), std::string::npos) << "the reason given then";
    EXPECT_EQ(LoadExceptions(MapDir()).size(), 1u) << "the exception is kept";
}

TEST_F(ReviewCore, AFindingOfACheckThatDidNotRunIsNeitherFixedNorPersisting) {
    auto run = [&](unsigned points, std::vector<int> numbers) {
        TRunReview review(MapDir(), {});
        review.Begin(OptionsText(0, 0, points, 0, 0, 0, 0));
        std::vector<std::string> statuses;
        for (int n : numbers) {
            TFinding f = PointFinding(n, -32);
            std::string reason;
            EXPECT_TRUE(review.Judge(f, reason));
            statuses.push_back(f.Status);
        }
        review.Release();
        EXPECT_EQ(review.Finish({"LE_00002.blk"}, {}, true), "");
        return std::make_pair(review.Counts(), statuses);
    };
    run(3, {3, 4});                      // rotation checked: points 3 and 4
    auto [onlyKinds, none] = run(1, {});  // rotation not checked: nothing of it is fixed
    EXPECT_EQ(onlyKinds.Fixed, 0);
    auto [again, statuses] = run(2, {4});  // rotation again: compared with the first run
    EXPECT_EQ(statuses, (std::vector<std::string>{"persisting"}));
    EXPECT_EQ(again.Persisting, 1);
    EXPECT_EQ(again.Fixed, 1) << "point 3's rotation is gone";
    std::vector<std::string> problems;
    const std::vector<TRunRecord> runs = ListRuns(MapDir(), false, problems);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].ChecksRan, (std::vector<std::string>{"-31"})) << "the history says which checks ran";
}

}  // namespace
