// The check-run driver with a recording view: which blocks are opened, the order
// of captions and gauges, warnings, the hand-over of the error table and errors.
#include "checks/CheckTestSupport.h"
#include "common/Leftovers.h"
#include "run/CheckRun.h"
#include "run/FindingPrinter.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

using namespace vexa;
using namespace vexa::checkstest;
using testkit::BlockSpec;
using testkit::MakePoint;
namespace fs = std::filesystem;

namespace {

class RecordingView : public ICheckRunView {
public:
    std::vector<TBlockRow> RowsIn;
    std::string Dir;
    TCheckRunOptions Opts;
    std::vector<std::string> Events;
    CountingGauge Gauges[5];
    std::function<void(const std::string&)> OnCaption;

    int BlockRowCount() override { return static_cast<int>(RowsIn.size()); }
    TBlockRow BlockRow(int index) override { return RowsIn.at(static_cast<std::size_t>(index)); }
    std::string MapDir() override { return Dir; }
    TCheckRunOptions Options() override { return Opts; }
    void SetCaption(const std::string& text) override {
        Events.push_back("caption " + text);
        if (OnCaption) OnCaption(text);
    }
    IGauge* Gauge(TCheckGroup group) override { return &Gauges[static_cast<int>(group)]; }
    void ShowGauge(TCheckGroup group, bool visible) override {
        Events.push_back(std::string(visible ? "show " : "hide ") + "DLBTP"[static_cast<int>(group)]);
    }
    void Warning(const std::string& message) override { Events.push_back("warning " + message); }
    void Information(const std::string& message) override { Events.push_back("information " + message); }
    void ShowErrorBrowser(const std::string& mapDir) override { Events.push_back("browser " + mapDir); }
};

class CheckRun : public CheckFixture {
protected:
    void SetUp() override {
        CheckFixture::SetUp();
        view.Dir = MapDir;
    }
    BlockSpec PointsOfKind(std::int16_t kind, int count) {
        BlockSpec content;
        for (int i = 1; i <= count; ++i) content.Points.push_back(MakePoint(i, kind, i, i));
        return content;
    }
    RecordingView view;
};

// The events of a run: `before`, then each block's caption and the four element passes'
// gauges, then the emptied caption and `after`.
std::vector<std::string> RunEvents(std::vector<std::string> before, const std::vector<std::string>& blocks,
                                   const std::string& after) {
    for (const std::string& name : blocks)
        before.insert(before.end(), {"caption " + name, "show L", "hide L", "show B", "hide B", "show T", "hide T",
                                     "show P", "hide P"});
    before.push_back("caption ");
    before.push_back(after);
    return before;
}

// A run that would check nothing is refused before it touches the map: nothing ticked,
// or no conforming block selected.
TEST_F(CheckRun, ARunWithNothingToCheckIsRefused) {
    Write(PointsOfKind(77, 2), "LE_1.blk");
    std::ofstream(MapDir + "Chyby.DBF") << "earlier table";
    struct Case {
        std::vector<TBlockRow> Rows;
        std::uint16_t BodMask;
        std::string Error;
    };
    const std::vector<Case> cases = {
        {{{"1", "3", "LE_1.blk"}}, 0, "Nie je zvolená žiadna kontrola."},
        {{{"0", "", "abc.blk"}, {"1", "2", "LE_2.blk"}}, 3, "Nie je zvolený žiadny blok na kontrolu."},
        {{}, 1, "Nie je zvolený žiadny blok na kontrolu."},
    };
    for (const Case& c : cases) {
        RecordingView refused;
        refused.Dir = MapDir;
        refused.RowsIn = c.Rows;
        refused.Opts.BodMask = c.BodMask;
        try {
            RunCheck(*Standard, refused);
            ADD_FAILURE() << c.Error;
        } catch (const Exception& e) {
            EXPECT_EQ(std::string(e.what()), c.Error);
        }
        EXPECT_TRUE(refused.Events.empty()) << c.Error;
    }
    EXPECT_EQ(ReadFileText(MapDir + "Chyby.DBF"), "earlier table");
    EXPECT_FALSE(fs::exists(MapDir + "LE_2.blk")) << "a deselected block is not opened (which would create it)";
}

// "Bez chýb." only when every selected block went through: a skipped block is counted
// and told at the end instead, with or without findings in the others.
TEST_F(CheckRun, SkippedBlocksAreCountedAndNeverCalledClean) {
    BlockSpec unclean = PointsOfKind(77, 2);
    unclean.Points[1].Flags = 1;  // a deleted record: the block was not cleaned
    Write(unclean, "LE_1.blk");
    Write(PointsOfKind(77, 1), "LE_2.blk");
    std::ofstream(MapDir + "Chyby.DBF") << "earlier table";
    const std::string warning = "warning Blok\r" + MapDir + "LE_1.blk\rnebol vyčistený, nebude kontrolovaný";

    view.RowsIn = {{"1", "3", "LE_1.blk"}};
    view.Opts.BodMask = 1;
    TCheckRunResult result = RunCheck(*Standard, view);
    EXPECT_EQ(result.BlocksChecked, 0);
    EXPECT_EQ(result.BlocksSkipped, 1);
    EXPECT_EQ(view.Events, (std::vector<std::string>{warning, "caption ",
                                                     "information Skontrolované bloky: 0, vynechané: 1."
                                                     "\rBlok LE_1.blk nebude kontrolovaný: nebol vyčistený"}));

    view.Events.clear();
    view.RowsIn = {{"1", "3", "LE_1.blk"}, {"1", "3", "LE_2.blk"}};
    view.Opts.BodMask = 0;
    view.Opts.TxbMask = 1;  // the blocks have no texts: the checked one is clean
    result = RunCheck(*Standard, view);
    EXPECT_EQ(result.Total, 0);
    EXPECT_EQ(result.BlocksChecked, 1);
    EXPECT_EQ(result.BlocksSkipped, 1);
    std::vector<std::string> events = RunEvents({warning}, {"LE_2.blk"}, "information Skontrolované bloky: 1, vynechané: 1."
                                                                                  "\rBlok LE_1.blk nebude kontrolovaný: nebol vyčistený");
    EXPECT_EQ(view.Events, events);
    EXPECT_EQ(ReadFileText(MapDir + "Chyby.DBF"), "earlier table");
}

TEST_F(CheckRun, UncleanBlockIsReportedAndSkippedFindingsAreHandedOver) {
    BlockSpec unclean = PointsOfKind(77, 2);
    unclean.Points[1].Flags = 1;  // a deleted record: the block was not cleaned
    Write(unclean, "LE_1.blk");
    Write(PointsOfKind(77, 3), "LE_2.blk");
    Write(PointsOfKind(77, 1), "LE_3.blk");
    std::ofstream(MapDir + "Chyby.DBF") << "earlier table";
    view.RowsIn = {{"1", "3", "LE_1.blk"}, {"1", "2", "LE_3.blk"}, {"0", "", "XX.blk"}, {"1", "3", "LE_2.blk"}};
    view.Opts.BodMask = 1;
    TCheckRunResult result = RunCheck(*Standard, view);
    EXPECT_EQ(result.Total, 3);
    EXPECT_EQ(result.BlocksChecked, 1);
    // The unclean block and the one whose name does not conform: both skipped, both named.
    EXPECT_EQ(result.BlocksSkipped, 2);
    EXPECT_EQ(result.LeftOut, std::vector<std::string>{"XX.blk"});
    const std::string leftOut =
        "Blok XX.blk nebude kontrolovaný: meno nevyhovuje štandardu (kód vrstvy pred \"_\" nie je v štandarde)";
    std::vector<std::string> events = RunEvents(
        {"warning " + leftOut, "warning Blok\r" + MapDir + "LE_1.blk\rnebol vyčistený, nebude kontrolovaný"},
        {"LE_2.blk"},
        "information Skontrolované bloky: 1, vynechané: 2.\r" + leftOut + "\rBlok LE_1.blk nebude kontrolovaný: nebol vyčistený" "\rPočet chýb: 3 (" + MapDir + "Chyby.DBF)");
    events.push_back("browser " + MapDir);
    EXPECT_EQ(view.Events, events);
    EXPECT_FALSE(fs::exists(MapDir + "XX.blk")) << "a row that is not conforming is never opened";
    EXPECT_EQ(view.Gauges[static_cast<int>(TCheckGroup::Points)].Maximum(), 3);

    // The map's table is the working table of the run; the working table starts afresh.
    EXPECT_EQ(result.ErrorTable, MapDir + "Chyby.DBF");
    std::vector<TErrorRecord> handed = ReadErrorTable(MapDir + "Chyby.DBF");
    ASSERT_EQ(handed.size(), 3u);
    EXPECT_EQ(handed[2], Finding(-31, "LE_2.blk", "B", 77, 3, "neprípustný druh vo vrstve"));
    EXPECT_TRUE(Rows().empty());
}

TEST_F(CheckRun, OptionsAreReadForEveryBlock) {
    Write(PointsOfKind(77, 1), "LE_1.blk");
    Write(PointsOfKind(77, 1), "LE_2.blk");
    view.RowsIn = {{"1", "3", "LE_1.blk"}, {"1", "3", "LE_2.blk"}};
    view.Opts.TxbMask = 1;  // the blocks have no texts
    view.OnCaption = [&](const std::string& text) {
        if (text == "LE_2.blk") view.Opts.BodMask = 1;  // ticked while the first block ran
    };
    TCheckRunResult result = RunCheck(*Standard, view);
    EXPECT_EQ(result.Total, 1);
    EXPECT_EQ(ReadErrorTable(MapDir + "Chyby.DBF"),
              (std::vector<TErrorRecord>{Finding(-31, "LE_2.blk", "B", 77, 1, "neprípustný druh vo vrstve")}));
}

TEST_F(CheckRun, AnUnreadableBlockIsSkippedWithoutItsFindings) {
    BlockSpec content = PointsOfKind(77, 1);
    content.AddLine(1, 1, {{0, 0}, {1, 1}});
    content.Lines[0].LastCrd = 500;  // vertices beyond the file
    Write(content, "LE_1.blk");
    view.RowsIn = {{"1", "3", "LE_1.blk"}};
    view.Opts.LinMask = 4;
    view.Opts.BodMask = 1;
    const TCheckRunResult result = RunCheck(*Standard, view);
    EXPECT_EQ(result.BlocksChecked, 0);
    EXPECT_EQ(result.BlocksSkipped, 1);
    EXPECT_EQ(result.Total, 0);
    EXPECT_EQ(view.Events,
              (std::vector<std::string>{"caption LE_1.blk", "show L", "hide L",
                                        "warning Blok\r" + MapDir + "LE_1.blk\rsa nedá prečítať, nebude kontrolovaný\r(" +
                                            "Chyba čítania (" + MapDir +
                                            "LE_1.blk/: línia 1, vrcholy 0 až 500, tn.crd má vrcholy 1 až 1))",
                                        "caption ", "information Skontrolované bloky: 0, vynechané: 1.\rBlok LE_1.blk nebude "
                                        "kontrolovaný: nedá sa prečítať (Chyba čítania (" + MapDir +
                                            "LE_1.blk/: línia 1, vrcholy 0 až 500, tn.crd má vrcholy 1 až 1))"}));
    // The point finding made before the line could not be read is not handed over.
    EXPECT_FALSE(fs::exists(MapDir + "Chyby.DBF"));
    // The block object of the run let go of the block: it can be opened and cleaned up at once.
    Open();
    EXPECT_TRUE(Blk.Opened());
}

TEST_F(CheckRun, DatabasePassRunsFirstUnderItsOwnCaption) {
    Write(PointsOfKind(77, 1), "LE_1.blk");
    view.RowsIn = {{"1", "3", "LE_1.blk"}};
    view.Opts.DbMask = 1;
    TCheckRunResult result = RunCheck(*Standard, view);
    EXPECT_GT(result.Total, 0) << "the block has none of the attribute tables the standard wants";
    // The end's summary gives the number of findings, then the browser shows them.
    std::vector<std::string> events = RunEvents({"caption Kontrola databáz"}, {"LE_1.blk"},
                                                "information " + FindingsMessage(result.Total, MapDir + "Chyby.DBF"));
    events.push_back("browser " + MapDir);
    EXPECT_EQ(view.Events, events);
    for (const TErrorRecord& r : ReadErrorTable(MapDir + "Chyby.DBF")) {
        EXPECT_TRUE(r.Id == -91 || r.Id == -92 || r.Id == -93) << r.Id;
        EXPECT_FALSE(r.Vrstva.has_value());
    }
}

TEST_F(CheckRun, FailedHandOverIsAnErrorAndTheNextRunStartsEmpty) {
    Write(PointsOfKind(77, 1), "LE_1.blk");
    fs::create_directories(MapDir + "Chyby.DBF/occupied");  // a directory where the table should go
    view.RowsIn = {{"1", "3", "LE_1.blk"}};
    view.Opts.BodMask = 1;
    try {
        RunCheck(*Standard, view);
        FAIL() << "the failed copy is reported";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Tabuľka chýb nebola uložená\r(" + MapDir + "Chyby.DBF: je adresár)");
    }
    EXPECT_TRUE(fs::is_directory(MapDir + "Chyby.DBF/occupied"));
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(view.Events.back(), "caption ");
}

}  // namespace

namespace {

// The id of a process that has ended (a child that exited and was reaped).
long GonePid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

TEST(FindingLine, ControlCharactersInNamesAreEscaped) {
    const std::string line = FindingLine(Finding(-31, "LE_\n1.blk", "B", 77, 3, "neprípustný\tdruh"));
    EXPECT_EQ(line, "LE_\\n1.blk\tB\t3\t77\t-31\tneprípustný\\tdruh");
}

TEST_F(CheckRun, AHalfCopiedBlockIsToldAndItsFilesKept) {
    Write(PointsOfKind(77, 1), "LE_1.blk");
    fs::remove(MapDir + "LE_1.blk/tn.lin");
    const auto crd = fs::file_size(MapDir + "LE_1.blk/tn.crd");
    view.RowsIn = {{"1", "3", "LE_1.blk"}};
    view.Opts.TxbMask = 1;
    RunCheck(*Standard, view);
    ASSERT_FALSE(view.Events.empty());
    EXPECT_EQ(view.Events[0].rfind("warning Blok " + MapDir +
                                       "LE_1.blk je neúplný (chýba tn.lin): súbor tn.crd bol "
                                       "odložený ako tn.crd.orphan-",
                                   0),
              0u)
        << view.Events[0];
    int kept = 0;
    for (const auto& e : fs::directory_iterator(MapDir + "LE_1.blk"))
        if (e.path().filename().string().rfind("tn.crd.orphan-", 0) == 0) {
            ++kept;
            EXPECT_EQ(fs::file_size(e.path()), crd);
        }
    EXPECT_EQ(kept, 1);
}

TEST_F(CheckRun, LeftoversOfGoneRunsAreRemovedAndThoseOfLiveOnesKept) {
    Write(PointsOfKind(77, 1), "LE_1.blk");
    const std::string gone = std::to_string(GonePid()), live = std::to_string(::getpid());
    const fs::path block = MapDir + "LE_1.blk", temp = Temp.Path() / "tmp";
    const std::vector<fs::path> goneFiles = {block / (".l0012.dbf.vexa-" + gone + "-3-4711.tmp"),
                                             block / (".tn.lin.vexa-" + gone + "-0-12.tmp.dbf"),
                                             fs::path(MapDir) / (".Chyby.DBF.vexa-" + gone + "-1-2.tmp")};
    const std::vector<fs::path> kept = {block / (".l0012.dbf.vexa-" + live + "-3-4711.tmp"), block / "notes.tmp",
                                        block / ".vexa-1-2-3.txt"};
    for (const auto& p : goneFiles) std::ofstream(p) << "half a table";
    for (const auto& p : kept) std::ofstream(p) << "kept";
    fs::create_directories(temp / ("vexa-" + gone + "-AbC123") / "inner");
    fs::create_directories(temp / ("vexa-" + live + "-XyZ789"));
    fs::create_directories(temp / "vexa-other");
    view.RowsIn = {{"1", "3", "LE_1.blk"}};
    view.Opts.TxbMask = 1;
    RunCheck(*Standard, view);
    for (const auto& p : goneFiles) EXPECT_FALSE(fs::exists(p)) << p;
    for (const auto& p : kept) EXPECT_TRUE(fs::exists(p)) << p;
    EXPECT_FALSE(fs::exists(temp / ("vexa-" + gone + "-AbC123")));
    EXPECT_TRUE(fs::exists(temp / ("vexa-" + live + "-XyZ789")));
    EXPECT_TRUE(fs::exists(temp / "vexa-other"));
    // The run's own private directory carries its process id.
    EXPECT_EQ(fs::path(Standard->WorkPath()).parent_path().filename().string().rfind("vexa-" + live + "-", 0), 0u);
}

TEST_F(CheckRun, ASecondRunOnTheSameMapIsRefused) {
    Write(PointsOfKind(77, 1), "LE_1.blk");
    view.RowsIn = {{"1", "3", "LE_1.blk"}};
    view.Opts.TxbMask = 1;
    {
        TMapLock other(MapDir);  // another run holds the map
        try {
            RunCheck(*Standard, view);
            ADD_FAILURE() << "ran";
        } catch (const ERunLocked& e) {
            EXPECT_EQ(std::string(e.what()), "Na mape " + ExcludeTrailingDelimiter(MapDir) +
                                                 " už beží iná kontrola (proces " + std::to_string(::getpid()) +
                                                 ").\rPočkajte, kým skončí, a spustite kontrolu znova.");
        }
        EXPECT_TRUE(view.Events.empty());
    }
    // Released: the run goes, and leaves no lock file behind.
    EXPECT_NO_THROW(RunCheck(*Standard, view));
    EXPECT_FALSE(fs::exists(MapDir + TMapLock::kFileName));
}

}  // namespace
