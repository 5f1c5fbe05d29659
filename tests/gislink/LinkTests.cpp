// The conversation with TopoL: window search, connection, the Ready handshake, the four
// transaction primitives, block topics and a lost conversation, against the scripted fake.
#include "FakeTopol.h"
#include "common/Text.h"
#include "gislink/TpDdeObj.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vexa::test {
namespace {

namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

template <class E, class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "<no exception>";
}

class LinkTest : public ::testing::Test {
protected:
    FakeTopol topol;
    FakeApp app{topol};

    // A link connected to a running fake TopoL, with the connection's own log entries removed.
    std::unique_ptr<TTopolDDEObj> Connected() {
        topolWindow = topol.AddTopolWindow();
        auto link = std::make_unique<TTopolDDEObj>(topol, topol, app);
        EXPECT_TRUE(link->Connect("", true));
        topol.Log.clear();
        app.Passes = 0;
        return link;
    }
    TWindowHandle topolWindow = 0;
};

// --- window search ----------------------------------------------------------------------

TEST_F(LinkTest, WindowSearchMatchesTheTitleAsCaseSensitiveSubstringWithinTheTitleBuffer) {
    TTopolDDEObj link(topol, topol, app);
    EXPECT_FALSE(link.IsTopolRunning());

    topol.AddWindow("Program Manager");
    topol.AddWindow("topol pro windows, vs. 6 - LE_1");  // letter case differs
    topol.AddWindow("TopoL pro Windows, vs. 5");
    EXPECT_FALSE(link.IsTopolRunning());

    // Only 254 characters of a title are compared: the searched title ending at character 255
    // is not seen, ending at character 254 it is.
    const std::string searched = "TopoL pro Windows, vs. 6";
    TWindowHandle late = topol.AddWindow(std::string(231, 'x') + searched);
    EXPECT_FALSE(link.IsTopolRunning());
    topol.WindowOf(late).Title = std::string(230, 'x') + searched;
    EXPECT_TRUE(link.IsTopolRunning());
}

TEST_F(LinkTest, TheFirstMatchingWindowIsTopolsMainWindow) {
    topol.AddWindow("Explorer");
    TWindowHandle first = topol.AddWindow("TopoL pro Windows, vs. 6 - [LE_12345.blk]");
    topol.AddTopolWindow();
    TTopolDDEObj link(topol, topol, app);
    ASSERT_TRUE(link.Connect("", true));
    EXPECT_EQ(link.TopolWnd(), first);
}

// --- connection ---------------------------------------------------------------------------------

TEST_F(LinkTest, ConnectOpensTheSystemConversationAndHotLinksProtocol) {
    TWindowHandle window = topol.AddTopolWindow();
    TTopolDDEObj link(topol, topol, app);
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(link.LastError(), -1);
    EXPECT_EQ(link.PollCount(), 250);
    EXPECT_TRUE(link.CloseAppOnLoss());

    EXPECT_TRUE(link.Connect("", true));
    EXPECT_TRUE(link.Connected());
    EXPECT_EQ(link.LastError(), 0);
    EXPECT_EQ(link.TopolWnd(), window);
    EXPECT_EQ(topol.Log, (Lines{"connect System", "advise System: Protocol"}));
    EXPECT_TRUE(app.Messages.empty());
}

TEST_F(LinkTest, TenRefusedAttemptsGiveUpWithAMessage) {
    topol.AddTopolWindow();
    topol.RefuseSystemTimes = -1;
    TTopolDDEObj link(topol, topol, app);
    EXPECT_FALSE(link.Connect("", true));
    EXPECT_EQ(topol.Log, Lines(10, "refuse System"));
    EXPECT_EQ(app.Passes, 10);  // one pass of the message loop after each attempt
    ASSERT_EQ(app.Messages.size(), 1u);
    EXPECT_EQ(app.Messages[0].Text, "Topol server nekomunikuje.");
    EXPECT_EQ(app.Messages[0].Icon, TMessageIcon::Error);
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(link.LastError(), -1);
    EXPECT_EQ(link.TopolWnd(), 0u);
    EXPECT_TRUE(topol.OpenTopics().empty());
}

TEST_F(LinkTest, TheTenthAttemptMayStillSucceed) {
    topol.AddTopolWindow();
    topol.RefuseSystemTimes = 9;
    TTopolDDEObj link(topol, topol, app);
    EXPECT_TRUE(link.Connect("", true));
    EXPECT_EQ(std::count(topol.Log.begin(), topol.Log.end(), "refuse System"), 9);
    EXPECT_TRUE(link.Connected());
    EXPECT_TRUE(app.Messages.empty());
}

TEST_F(LinkTest, NoWindowNoConversationAttempt) {
    TTopolDDEObj link(topol, topol, app);
    topol.StartFails = true;
    EXPECT_FALSE(link.Connect("", true));  // nothing to start
    ASSERT_EQ(app.Messages.size(), 1u);
    EXPECT_EQ(app.Messages[0].Text, "Topol server nebol spustený.");
    EXPECT_EQ(app.Messages[0].Icon, TMessageIcon::Error);
    EXPECT_TRUE(topol.Log.empty());
}

TEST_F(LinkTest, StartingTopolUsesThePathItsFolderAndTheSeparateVdmFlag) {
    topol.StartFails = true;
    TTopolDDEObj link(topol, topol, app);
    EXPECT_FALSE(link.Connect("C:/TopoL/topol.exe", false));
    EXPECT_FALSE(link.Connect("C:/TopoL/topol.exe", true));
    EXPECT_EQ(topol.Log, (Lines{"start C:/TopoL/topol.exe | C:/TopoL | 0x800", "start C:/TopoL/topol.exe |  | 0x800"}));
    ASSERT_EQ(app.Messages.size(), 2u);
    EXPECT_EQ(app.Messages[1].Text, "Topol server nebol spustený.");
}

TEST_F(LinkTest, AStartedTopolIsWaitedForUntilItsWindowAppears) {
    topol.WindowAppearsAfterPolls = 5;
    TTopolDDEObj link(topol, topol, app);
    EXPECT_TRUE(link.Connect("C:/TopoL/topol.exe", true));
    EXPECT_EQ(topol.ProcessPolls, 6);
    EXPECT_EQ(topol.ProcessesAlive, 0);  // both handles released
    EXPECT_EQ(topol.Log, (Lines{"start C:/TopoL/topol.exe |  | 0x800", "connect System", "advise System: Protocol"}));
    EXPECT_TRUE(app.Messages.empty());
}

TEST_F(LinkTest, AStartedTopolThatEndsFirstIsReported) {
    topol.ProcessEndsAfterPolls = 3;
    TTopolDDEObj link(topol, topol, app);
    EXPECT_FALSE(link.Connect("C:/TopoL/topol.exe", true));
    EXPECT_EQ(topol.ProcessPolls, 4);
    EXPECT_EQ(topol.ProcessesAlive, 0);
    ASSERT_EQ(app.Messages.size(), 1u);
    EXPECT_EQ(app.Messages[0].Text, "Topol server nebol spustený.");
    EXPECT_FALSE(link.Connected());
}

TEST_F(LinkTest, TheWaitForAStartedTopolIsBoundedAndPaused) {
    TTopolDDEObj link(topol, topol, app);
    link.SetStartWait(1000, 100);
    EXPECT_FALSE(link.Connect("C:/TopoL/topol.exe", true));
    EXPECT_EQ(topol.ProcessPolls, 11);  // 0, 100, ... 1000 ms
    EXPECT_EQ(topol.Now, 1000u);
    EXPECT_EQ(topol.ProcessesAlive, 0);
    EXPECT_EQ(topol.Log, Lines{"start C:/TopoL/topol.exe |  | 0x800"});  // no window: no conversation tried
    EXPECT_TRUE(topol.OpenTopics().empty());
    ASSERT_EQ(app.Messages.size(), 1u);
    EXPECT_EQ(app.Messages[0].Text, "Topol server nekomunikuje.");
}

// --- the handshake ------------------------------------------------------------------------------

TEST_F(LinkTest, RequestSystemWaitsForReadyRequestsWaitsAgainAndReadsLastError) {
    auto link = Connected();
    topol.SystemItems["ActiveBlock"] = "C:\\MAPA\\LE_1";
    topol.LastErrorReply = "17";
    EXPECT_EQ(link->RequestSystem("ActiveBlock"), "C:\\MAPA\\LE_1");
    EXPECT_EQ(topol.Log, (Lines{"request System: Status", "request System: ActiveBlock", "request System: Status",
                                "request System: LastError"}));
    EXPECT_EQ(link->LastError(), 17);
    EXPECT_EQ(app.Passes, 6);  // before and after each Status wait, around LastError
}

TEST_F(LinkTest, StatusIsPolledBackToBackUntilReadyInAnyLetterCase) {
    auto link = Connected();
    topol.ReadyText = "rEADY";
    topol.NotReadyReplies = 7;
    link->RequestSystem("X");
    EXPECT_EQ(topol.StatusRequests(), 9);
    EXPECT_EQ(link->LastError(), 0);
}

TEST_F(LinkTest, ABusyTopolTimesOutAfterOnePlusPollCountRequestsWithEverythingRestored) {
    auto link = Connected();
    topol.Busy = true;
    topol.OnRequest = [&](const std::string&, const std::string&) -> std::optional<std::string> {
        // While the link waits: hourglass, every window of ours and TopoL's disabled.
        EXPECT_EQ(app.CursorDepth, 1);
        EXPECT_TRUE(app.NoFormEnabled());
        EXPECT_FALSE(topol.WindowOf(topolWindow).Enabled);
        return std::nullopt;
    };
    EXPECT_EQ(MessageOf<ETimeOut>([&] { link->RequestSystem("ActiveBlock"); }), "Topol server je zaneprázdnený.");
    EXPECT_EQ(link->LastError(), -3);
    EXPECT_EQ(topol.Log, Lines(251, "request System: Status"));
    EXPECT_EQ(app.CursorDepth, 0);
    EXPECT_TRUE(app.AllFormsEnabled());
    EXPECT_TRUE(topol.WindowOf(topolWindow).Enabled);
    EXPECT_EQ(app.Focused, Lines{"errors"});  // the window active before gets the focus back
    EXPECT_TRUE(link->Connected());

    topol.Log.clear();
    link->SetPollCount(0);
    EXPECT_THROW(link->ExecuteSystem("SetMiddle(1.00,2.00)"), ETimeOut);
    EXPECT_EQ(topol.Log, Lines(1, "request System: Status"));
}

TEST_F(LinkTest, ALastErrorThatIsNoNumberGivesMinusTen) {
    auto link = Connected();
    topol.LastErrorReply = "Error";
    link->ExecuteSystem("Redraw()");
    EXPECT_EQ(link->LastError(), -10);
    topol.LastErrorReply = "4294967296";  // beyond 32 bits
    link->RequestSystem("X");
    EXPECT_EQ(link->LastError(), -10);
    topol.LastErrorReply = "-5";
    link->RequestSystem("X");
    EXPECT_EQ(link->LastError(), -5);
}

TEST_F(LinkTest, EveryTransactionNeedsTheConnectionBeforeAnythingIsSent) {
    topol.AddTopolWindow();
    TTopolDDEObj link(topol, topol, app);
    const std::string text = "Topol server nie je pripojený.";
    EXPECT_EQ(MessageOf<ESvrNotConnected>([&] { link.RequestSystem("Status"); }), text);
    EXPECT_EQ(MessageOf<ESvrNotConnected>([&] { link.ExecuteSystem("Exit()"); }), text);
    EXPECT_EQ(MessageOf<ESvrNotConnected>([&] { link.RequestBlock("/nowhere/LE_1.blk", "X"); }), text);
    EXPECT_EQ(MessageOf<ESvrNotConnected>([&] { link.ExecuteBlock("/nowhere/LE_1.blk", "X()"); }), text);
    EXPECT_TRUE(topol.Log.empty());
    EXPECT_EQ(app.MaxCursorDepth, 0);
    EXPECT_EQ(link.LastError(), -1);
}

// --- macros -------------------------------------------------------------------------------------

TEST_F(LinkTest, ExecuteSystemStartsTheMacroBetweenTwoReadyWaits) {
    auto link = Connected();
    link->ExecuteSystem("SetMiddle(1.00,2.00)");
    EXPECT_EQ(topol.Log, (Lines{"request System: Status", "execute System: SetMiddle(1.00,2.00)",
                                "request System: Status", "request System: LastError"}));
    EXPECT_EQ(link->LastError(), 0);
}

TEST_F(LinkTest, ARefusedMacroRaisesWithItsTextAndMinusTwo) {
    auto link = Connected();
    topol.RefusedMacros = {"Bad(1)"};
    EXPECT_EQ(MessageOf<EMacroNotExecute>([&] { link->ExecuteSystem("Bad(1)"); }), "Makro Bad(1)\rnebolo vykonané.");
    EXPECT_EQ(link->LastError(), -2);
    EXPECT_EQ(topol.Log, (Lines{"request System: Status", "refuse execute System: Bad(1)"}));
    EXPECT_TRUE(app.AllFormsEnabled());
    EXPECT_TRUE(topol.WindowOf(topolWindow).Enabled);
    EXPECT_EQ(app.CursorDepth, 0);
}

TEST_F(LinkTest, ExitAndCommand24340PostACloseRequestInsteadOfBeingSent) {
    auto link = Connected();
    link->ExecuteSystem("exit()");
    link->ExecuteSystem("COMMAND(24340)");
    const std::string post = Format("post close %#llx", static_cast<unsigned long long>(topolWindow));
    EXPECT_EQ(topol.Log, (Lines{post, post}));
    EXPECT_EQ(app.MaxCursorDepth, 0);
    link->ExecuteSystem("Exit(1)");  // not the same macro: sent
    EXPECT_EQ(topol.Macros(), Lines{"System: Exit(1)"});
}

// --- block topics ---------------------------------------------------------------------------

class BlockTopicTest : public LinkTest {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("vexa-gislink-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }
    std::string At(const std::string& name) const { return (root / name).string(); }
    fs::path root;
};

TEST_F(BlockTopicTest, TheTopicIsTheBlockDirectoryWithoutItsExtensionPreferringPra) {
    TTopolDDEObj link(topol, topol, app);
    fs::create_directory(root / "LE_1.blk");
    EXPECT_EQ(link.BlockTopic(At("LE_1.blk")), At("LE_1"));
    EXPECT_EQ(link.BlockTopic(At("LE_1.pra")), At("LE_1"));
    EXPECT_EQ(link.BlockTopic(At("LE_1")), At("LE_1"));

    fs::create_directory(root / "LE_1.pra");
    EXPECT_EQ(link.BlockTopic(At("LE_1.blk")), At("LE_1"));

    EXPECT_EQ(link.BlockTopic(At("LE_2.blk")), "");
    std::ofstream(root / "LE_3.blk") << "not a directory";
    EXPECT_EQ(link.BlockTopic(At("LE_3.blk")), "");
}

TEST_F(BlockTopicTest, RequestBlockOpensTheBlockConversationForOneRequest) {
    auto link = Connected();
    fs::create_directory(root / "LE_1.blk");
    topol.TopicAliases[At("LE_1")] = "BLK";
    topol.BlockItems["DisplayLineSettings"] = "1,0,0,~,1,1,255";
    EXPECT_EQ(link->RequestBlock(At("LE_1.blk"), "DisplayLineSettings"), "1,0,0,~,1,1,255");
    EXPECT_EQ(topol.Log, (Lines{"request System: Status", "connect BLK", "request BLK: DisplayLineSettings",
                                "request System: Status", "request System: LastError", "close BLK"}));
    EXPECT_EQ(topol.OpenTopics(), Lines{"System"});
}

TEST_F(BlockTopicTest, ExecuteBlockSendsTheMacroOnTheBlockTopicWithoutTheExitRule) {
    auto link = Connected();
    fs::create_directory(root / "LE_1.pra");
    topol.TopicAliases[At("LE_1")] = "BLK";
    link->ExecuteBlock(At("LE_1.pra"), "Exit()");
    EXPECT_EQ(topol.Log, (Lines{"request System: Status", "connect BLK", "execute BLK: Exit()",
                                "request System: Status", "request System: LastError", "close BLK"}));
}

TEST_F(BlockTopicTest, AMissingBlockDirectoryGivesMinusFourAndSendsNothing) {
    auto link = Connected();
    EXPECT_EQ(link->RequestBlock(At("LE_9.blk"), "X"), "");
    EXPECT_EQ(link->LastError(), -4);
    link->ExecuteBlock(At("LE_9.blk"), "X()");
    EXPECT_EQ(link->LastError(), -4);
    EXPECT_TRUE(topol.Log.empty());
}

TEST_F(BlockTopicTest, ARefusedBlockTopicRaisesAndLeavesNothingOpenOrDisabled) {
    auto link = Connected();
    fs::create_directory(root / "LE_1.blk");
    topol.RefusedTopics = {At("LE_1")};
    EXPECT_EQ(MessageOf<EBlkTopicNotExist>([&] { link->RequestBlock(At("LE_1.blk"), "X"); }),
              "Blok " + At("LE_1") + "\rnekomunikuje.");
    EXPECT_EQ(link->LastError(), -4);
    EXPECT_THROW(link->ExecuteBlock(At("LE_1.blk"), "X()"), EBlkTopicNotExist);
    EXPECT_EQ(topol.OpenTopics(), Lines{"System"});
    EXPECT_TRUE(topol.Macros().empty());
    EXPECT_TRUE(app.AllFormsEnabled());
    EXPECT_TRUE(topol.WindowOf(topolWindow).Enabled);
    EXPECT_EQ(app.CursorDepth, 0);
}

TEST_F(BlockTopicTest, ARefusedBlockMacroRaisesAndClosesTheBlockConversation) {
    auto link = Connected();
    fs::create_directory(root / "LE_1.blk");
    topol.TopicAliases[At("LE_1")] = "BLK";
    topol.RefusedMacros = {"CSTDelRec(L,1)"};
    EXPECT_EQ(MessageOf<EMacroNotExecute>([&] { link->ExecuteBlock(At("LE_1.blk"), "CSTDelRec(L,1)"); }),
              "Makro CSTDelRec(L,1)\rnebolo vykonané.");
    EXPECT_EQ(link->LastError(), -2);
    EXPECT_EQ(topol.Log.back(), "close BLK");
    EXPECT_EQ(topol.OpenTopics(), Lines{"System"});
}

// --- a lost conversation ------------------------------------------------------------------------

TEST_F(LinkTest, TopolEndingTheConversationWhileItsWindowStaysWarnsAndEndsTheTransactionQuietly) {
    auto link = Connected();
    topol.OnRequest = [&](const std::string&, const std::string& item) -> std::optional<std::string> {
        if (item == "ActiveBlock") topol.EndSystemConversation();
        return std::nullopt;
    };
    EXPECT_EQ(link->RequestSystem("ActiveBlock"), "");
    EXPECT_FALSE(link->Connected());
    EXPECT_EQ(link->LastError(), -1);
    EXPECT_EQ(link->TopolWnd(), 0u);
    ASSERT_EQ(app.Messages.size(), 1u);
    EXPECT_EQ(app.Messages[0].Text, "Komunikácia s Topolom bola prerušená.");
    EXPECT_EQ(app.Messages[0].Icon, TMessageIcon::Warning);
    EXPECT_FALSE(app.Terminated);
    // TopoL's window, disabled for the transaction, is usable again.
    EXPECT_TRUE(topol.WindowOf(topolWindow).Enabled);
    EXPECT_TRUE(app.AllFormsEnabled());
    EXPECT_EQ(app.CursorDepth, 0);
    EXPECT_EQ(topol.StatusRequests(), 1);  // no polling of a lost conversation

    EXPECT_THROW(link->ExecuteSystem("X()"), ESvrNotConnected);
    EXPECT_THROW(link->RequestSystem("X"), ESvrNotConnected);
}

TEST_F(LinkTest, TopolGoneClosesTheApplicationUnlessAskedNotTo) {
    for (bool closeApp : {true, false}) {
        FakeTopol gis;
        FakeApp ui{gis};
        TWindowHandle window = gis.AddTopolWindow();
        TTopolDDEObj link(gis, gis, ui);
        link.SetCloseAppOnLoss(closeApp);
        ASSERT_TRUE(link.Connect("", true));
        gis.OnMacro = [&](const std::string&, const std::string&) {
            gis.WindowOf(window).Exists = false;
            gis.EndSystemConversation();
        };
        link.ExecuteSystem("Quit()");  // the wait after the macro ends quietly
        EXPECT_FALSE(link.Connected());
        EXPECT_EQ(link.LastError(), -1);
        EXPECT_TRUE(ui.Messages.empty());
        EXPECT_EQ(ui.Terminated, closeApp);
        EXPECT_TRUE(ui.AllFormsEnabled());
    }
}

TEST_F(LinkTest, ALossNoticedBetweenTransactionsMakesTheNextOneRaise) {
    auto link = Connected();
    topol.EndSystemConversation();
    app.ProcessMessages();
    EXPECT_FALSE(link->Connected());
    EXPECT_EQ(app.Messages.size(), 1u);
    topol.Log.clear();
    EXPECT_THROW(link->RequestBlock("/x/LE_1.blk", "X"), ESvrNotConnected);
    EXPECT_TRUE(topol.Log.empty());
}

// --- Protocol hot link and destruction -----------------------------------------------------------

TEST_F(LinkTest, ProtocolChangesNamingABlockReportTheActiveBlock) {
    auto link = Connected();
    topol.SystemItems["ActiveBlock"] = "C:\\MAPA\\LE_2";
    std::vector<std::string> reported;
    link->OnActiveBlock = [&](TTopolDDEObj& sender, const std::string& topic) {
        EXPECT_EQ(&sender, link.get());
        reported.push_back(topic);
    };
    topol.SetProtocol("OPNBLK C:\\MAPA\\LE_2");
    app.ProcessMessages();
    topol.SetProtocol("CLCTQR 1 x");
    app.ProcessMessages();
    topol.SetProtocol("CLSBLK");
    app.ProcessMessages();
    EXPECT_EQ(reported, (Lines{"C:\\MAPA\\LE_2", "C:\\MAPA\\LE_2"}));

    link->OnActiveBlock = nullptr;
    topol.Log.clear();
    topol.SetProtocol("OPNBLK C:\\MAPA\\LE_3");
    app.ProcessMessages();
    EXPECT_TRUE(topol.Log.empty());
}

TEST_F(LinkTest, ANoticeInsideATransactionKeepsTheWindowsDisabledUntilTheOuterOneEnds) {
    auto link = Connected();
    link->OnActiveBlock = [&](TTopolDDEObj&, const std::string&) {};
    bool checked = false;
    topol.OnRequest = [&](const std::string&, const std::string& item) -> std::optional<std::string> {
        if (item == "Redraw") topol.SetProtocol("OPNBLK");
        if (item == "ActiveBlock") return std::nullopt;
        if (item == "LastError" && !checked && topol.Log.size() == 8) {
            checked = true;  // after the nested ActiveBlock transaction, still inside the outer one
            EXPECT_TRUE(app.NoFormEnabled());
            EXPECT_FALSE(topol.WindowOf(topolWindow).Enabled);
        }
        return std::nullopt;
    };
    link->RequestSystem("Redraw");
    EXPECT_TRUE(checked);
    EXPECT_EQ(std::count(topol.Log.begin(), topol.Log.end(), "request System: ActiveBlock"), 1);
    EXPECT_TRUE(app.AllFormsEnabled());
    EXPECT_EQ(app.CursorDepth, 0);
}

TEST_F(LinkTest, DestructionClosesTheSystemConversationWithoutANotice) {
    auto link = Connected();
    link.reset();
    EXPECT_EQ(topol.Log, Lines{"close System"});
    EXPECT_TRUE(app.Messages.empty());
    EXPECT_FALSE(app.Terminated);
}

} // namespace
} // namespace vexa::test
