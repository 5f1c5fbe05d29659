// The conversation with TopoL: window search, connection, the Ready handshake, the four
// transaction primitives, block topics and a lost conversation, against the scripted fake.
#include "FakeTopol.h"

#include <fstream>

namespace vexa::test {
namespace {

using LinkTest = LinkFixture;
const std::string Start = "start C:/TopoL/topol.exe |  | 0x800";

TEST_F(LinkTest, WindowSearchFindsTheFirstTitleContainingTheNameCaseSensitiveWithinTheTitleBuffer) {
    EXPECT_FALSE(link.IsTopolRunning());
    topol.AddWindow("topol pro windows, vs. 6 - LE_1");  // letter case differs
    topol.AddWindow("TopoL pro Windows, vs. 5");
    EXPECT_FALSE(link.IsTopolRunning());
    // Only 254 characters of a title are compared.
    const std::string searched = "TopoL pro Windows, vs. 6";
    TWindowHandle late = topol.AddWindow(std::string(231, 'x') + searched);
    EXPECT_FALSE(link.IsTopolRunning());
    topol.WindowOf(late).Title = std::string(230, 'x') + searched;
    EXPECT_TRUE(link.IsTopolRunning());

    Connect();
    EXPECT_EQ(link.TopolWnd(), late);
}

TEST_F(LinkTest, ConnectOpensTheSystemConversationAndHotLinksProtocol) {
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(link.LastError(), -1);
    EXPECT_EQ(link.PollCount(), 250);
    EXPECT_TRUE(link.CloseAppOnLoss());
    topol.AddTopolWindow();
    EXPECT_TRUE(link.Connect("", true));
    EXPECT_TRUE(link.Connected());
    EXPECT_EQ(link.LastError(), 0);
    EXPECT_EQ(link.TopolWnd(), topol.Windows[0].Handle);
    EXPECT_EQ(topol.Log, (Lines{"connect System", "advise System: Protocol"}));
    EXPECT_TRUE(app.Messages.empty());
}

TEST_F(LinkTest, TenConnectionAttempts) {
    topol.AddTopolWindow();
    topol.RefuseSystemTimes = -1;
    EXPECT_FALSE(link.Connect("", true));
    EXPECT_EQ(topol.Log, Lines(10, "refuse System"));
    EXPECT_EQ(app.Passes, 10);  // one pass of the message loop after each attempt
    ExpectMessage("Topol server nekomunikuje.", TMessageIcon::Error);
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(link.LastError(), -1);
    EXPECT_EQ(link.TopolWnd(), 0u);
    EXPECT_TRUE(topol.OpenTopics().empty());

    topol.RefuseSystemTimes = 9;  // the tenth attempt may still succeed
    topol.Log.clear();
    app.Messages.clear();
    EXPECT_TRUE(link.Connect("", true));
    EXPECT_EQ(topol.Count("refuse System"), 9);
    EXPECT_TRUE(link.Connected());
    EXPECT_TRUE(app.Messages.empty());
}

TEST_F(LinkTest, StartingTopol) {
    const std::string path = "C:/TopoL/topol.exe", notStarted = "Topol server nebol spustený.";
    struct Case {
        std::string path;
        bool sameFolder, startFails;
        int endsAfter, appearsAfter;
        Lines log;
        int polls;
        std::string message;  // empty: connected
    } cases[] = {
        {"", true, true, -1, -1, {}, 0, notStarted},  // no window and nothing to start
        {path, false, true, -1, -1, {"start C:/TopoL/topol.exe | C:/TopoL | 0x800"}, 0, notStarted},
        {path, true, true, -1, -1, {Start}, 0, notStarted},
        {path, true, false, -1, 5, {Start, "connect System", "advise System: Protocol"}, 6, ""},
        {path, true, false, 3, -1, {Start}, 4, notStarted},
        // No window within the bound (1000 ms polled every 100 ms): no conversation tried.
        {path, true, false, -1, -1, {Start}, 11, "Topol server nekomunikuje."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        FakeTopol gis;
        FakeApp ui{gis};
        TTopolDDEObj starting(gis, gis, ui);
        starting.SetStartWait(1000, 100);
        gis.StartFails = c.startFails;
        gis.ProcessEndsAfterPolls = c.endsAfter;
        gis.WindowAppearsAfterPolls = c.appearsAfter;
        EXPECT_EQ(starting.Connect(c.path, c.sameFolder), c.message.empty());
        EXPECT_EQ(starting.Connected(), c.message.empty());
        EXPECT_EQ(gis.Log, c.log);
        EXPECT_EQ(gis.ProcessPolls, c.polls);
        if (c.polls == 11) {
            EXPECT_EQ(gis.Now, 1000u);
        }
        EXPECT_EQ(gis.ProcessesAlive, 0);  // handles released
        EXPECT_EQ(gis.OpenTopics().size(), c.message.empty() ? 1u : 0u);
        ASSERT_EQ(ui.Messages.size(), c.message.empty() ? 0u : 1u);
        if (!c.message.empty()) {
            EXPECT_EQ(ui.Messages[0].Text, c.message);
            EXPECT_EQ(ui.Messages[0].Icon, TMessageIcon::Error);
        }
    }
}

TEST_F(LinkTest, RequestSystemWaitsForReadyRequestsWaitsAgainAndReadsLastError) {
    Connect();
    topol.SystemItems["ActiveBlock"] = "C:\\MAPA\\LE_1";
    topol.LastErrorReply = "17";
    EXPECT_EQ(link.RequestSystem("ActiveBlock"), "C:\\MAPA\\LE_1");
    EXPECT_EQ(topol.Log, (Lines{"request System: Status", "request System: ActiveBlock", "request System: Status",
                                "request System: LastError"}));
    EXPECT_EQ(link.LastError(), 17);
    EXPECT_EQ(app.Passes, 6);  // before and after each Status wait, around LastError

    // Status is polled back to back until Ready in any letter case.
    topol.Log.clear();
    topol.ReadyText = "rEADY";
    topol.NotReadyReplies = 7;
    topol.LastErrorReply = "0";
    link.RequestSystem("X");
    EXPECT_EQ(topol.Count("request System: Status"), 9);
    EXPECT_EQ(link.LastError(), 0);
}

TEST_F(LinkTest, ABusyTopolTimesOutAfterOnePlusPollCountRequestsWithEverythingRestored) {
    Connect();
    topol.Busy = true;
    topol.OnRequest = [&](const std::string&, const std::string&) -> std::optional<std::string> {
        // While the link waits: hourglass, every window of ours and TopoL's disabled.
        EXPECT_EQ(app.CursorDepth, 1);
        EXPECT_TRUE(app.NoFormEnabled());
        EXPECT_FALSE(topol.WindowOf(topolWindow).Enabled);
        return std::nullopt;
    };
    EXPECT_EQ(MessageOf<ETimeOut>([&] { link.RequestSystem("ActiveBlock"); }), "Topol server je zaneprázdnený.");
    EXPECT_EQ(link.LastError(), -3);
    EXPECT_EQ(topol.Log, Lines(251, "request System: Status"));
    ExpectRestored();
    EXPECT_EQ(app.Focused, Lines{"errors"});  // the window active before gets the focus back
    EXPECT_TRUE(link.Connected());

    topol.Log.clear();
    link.SetPollCount(0);
    EXPECT_THROW(link.ExecuteSystem("SetMiddle(1.00,2.00)"), ETimeOut);
    EXPECT_EQ(topol.Log, Lines(1, "request System: Status"));
}

TEST_F(LinkTest, LastErrorReplies) {
    Connect();
    for (auto [reply, code] : {std::pair{"Error", -10}, {"4294967296", -10}, {"-5", -5}}) {
        topol.LastErrorReply = reply;
        link.ExecuteSystem("Redraw()");
        EXPECT_EQ(link.LastError(), code) << reply;
    }
}

TEST_F(LinkTest, EveryTransactionNeedsTheConnectionBeforeAnythingIsSent) {
    topol.AddTopolWindow();
    const std::string text = "Topol server nie je pripojený.";
    EXPECT_EQ(MessageOf<ESvrNotConnected>([&] { link.RequestSystem("Status"); }), text);
    EXPECT_EQ(MessageOf<ESvrNotConnected>([&] { link.ExecuteSystem("Exit()"); }), text);
    EXPECT_EQ(MessageOf<ESvrNotConnected>([&] { link.RequestBlock("/nowhere/LE_1.blk", "X"); }), text);
    EXPECT_EQ(MessageOf<ESvrNotConnected>([&] { link.ExecuteBlock("/nowhere/LE_1.blk", "X()"); }), text);
    EXPECT_TRUE(topol.Log.empty());
    EXPECT_EQ(app.MaxCursorDepth, 0);
    EXPECT_EQ(link.LastError(), -1);
}

TEST_F(LinkTest, ExecuteSystemStartsTheMacroBetweenTwoReadyWaits) {
    Connect();
    link.ExecuteSystem("SetMiddle(1.00,2.00)");
    EXPECT_EQ(topol.Log, (Lines{"request System: Status", "execute System: SetMiddle(1.00,2.00)",
                                "request System: Status", "request System: LastError"}));
    EXPECT_EQ(link.LastError(), 0);

    topol.Log.clear();
    topol.RefusedMacros = {"Bad(1)"};
    EXPECT_EQ(MessageOf<EMacroNotExecute>([&] { link.ExecuteSystem("Bad(1)"); }), "Makro Bad(1)\rnebolo vykonané.");
    EXPECT_EQ(link.LastError(), -2);
    EXPECT_EQ(topol.Log, (Lines{"request System: Status", "refuse execute System: Bad(1)"}));
    ExpectRestored();
}

TEST_F(LinkTest, ExitAndCommand24340PostACloseRequestInsteadOfBeingSent) {
    Connect();
    link.ExecuteSystem("exit()");
    link.ExecuteSystem("COMMAND(24340)");
    const std::string post = Format("post close %#llx", static_cast<unsigned long long>(topolWindow));
    EXPECT_EQ(topol.Log, (Lines{post, post}));
    EXPECT_EQ(app.MaxCursorDepth, 0);
    link.ExecuteSystem("Exit(1)");  // not the same macro: sent
    EXPECT_EQ(topol.Macros(), Lines{"System: Exit(1)"});
}

TEST_F(LinkTest, TheBlockTopicIsTheBlockDirectoryWithoutItsExtensionPreferringPra) {
    const std::string topic = dir / "LE_1";
    std::filesystem::create_directory(dir / "LE_1.blk");
    for (const char* name : {"LE_1.blk", "LE_1.pra", "LE_1"}) EXPECT_EQ(link.BlockTopic(dir / name), topic) << name;
    std::filesystem::create_directory(dir / "LE_1.pra");
    EXPECT_EQ(link.BlockTopic(dir / "LE_1.blk"), topic);
    EXPECT_EQ(link.BlockTopic(dir / "LE_2.blk"), "");
    std::ofstream(dir / "LE_3.blk") << "not a directory";
    EXPECT_EQ(link.BlockTopic(dir / "LE_3.blk"), "");
}

TEST_F(LinkTest, BlockTransactionsOpenTheBlockConversationForOneRequestOrMacro) {
    Connect();
    const std::string block = MakeBlock("LE_1.pra");
    topol.BlockItems["DisplayLineSettings"] = "1,0,0,~,1,1,255";
    EXPECT_EQ(link.RequestBlock(block, "DisplayLineSettings"), "1,0,0,~,1,1,255");
    link.ExecuteBlock(block, "Exit()");  // no close request on a block topic
    EXPECT_EQ(topol.Log, (Lines{"request System: Status", "connect BLK", "request BLK: DisplayLineSettings",
                                "request System: Status", "request System: LastError", "close BLK",
                                "request System: Status", "connect BLK", "execute BLK: Exit()",
                                "request System: Status", "request System: LastError", "close BLK"}));
    EXPECT_EQ(topol.OpenTopics(), Lines{"System"});

    topol.Log.clear();
    topol.RefusedMacros = {"CSTDelRec(L,1)"};
    EXPECT_EQ(MessageOf<EMacroNotExecute>([&] { link.ExecuteBlock(block, "CSTDelRec(L,1)"); }),
              "Makro CSTDelRec(L,1)\rnebolo vykonané.");
    EXPECT_EQ(link.LastError(), -2);
    EXPECT_EQ(topol.Log.back(), "close BLK");
    EXPECT_EQ(topol.OpenTopics(), Lines{"System"});

    // A missing block directory: -4 and nothing sent.
    topol.Log.clear();
    EXPECT_EQ(link.RequestBlock(dir / "LE_9.blk", "X"), "");
    EXPECT_EQ(link.LastError(), -4);
    link.ExecuteBlock(dir / "LE_9.blk", "X()");
    EXPECT_EQ(link.LastError(), -4);
    EXPECT_TRUE(topol.Log.empty());
}

TEST_F(LinkTest, ARefusedBlockTopicRaisesAndLeavesNothingOpenOrDisabled) {
    Connect();
    const std::string block = MakeBlock();
    topol.RefusedTopics = {dir / "LE_1"};
    EXPECT_EQ(MessageOf<EBlkTopicNotExist>([&] { link.RequestBlock(block, "X"); }),
              "Blok " + (dir / "LE_1") + "\rnekomunikuje.");
    EXPECT_EQ(link.LastError(), -4);
    EXPECT_THROW(link.ExecuteBlock(block, "X()"), EBlkTopicNotExist);
    EXPECT_EQ(topol.OpenTopics(), Lines{"System"});
    EXPECT_TRUE(topol.Macros().empty());
    ExpectRestored();
}

// --- a lost conversation ------------------------------------------------------------------------

TEST_F(LinkTest, TopolEndingTheConversationWhileItsWindowStaysWarnsAndEndsTheTransactionQuietly) {
    Connect();
    topol.OnRequest = [&](const std::string&, const std::string& item) -> std::optional<std::string> {
        if (item == "ActiveBlock") topol.EndSystemConversation();
        return std::nullopt;
    };
    EXPECT_EQ(link.RequestSystem("ActiveBlock"), "");
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(link.LastError(), -1);
    EXPECT_EQ(link.TopolWnd(), 0u);
    ExpectMessage("Komunikácia s Topolom bola prerušená.", TMessageIcon::Warning);
    EXPECT_FALSE(app.Terminated);
    ExpectRestored();                                     // TopoL's window, disabled for the transaction, too
    EXPECT_EQ(topol.Count("request System: Status"), 1);  // no polling of a lost conversation
    EXPECT_THROW(link.ExecuteSystem("X()"), ESvrNotConnected);
    EXPECT_THROW(link.RequestSystem("X"), ESvrNotConnected);
}

TEST_F(LinkTest, TopolGoneClosesTheApplicationUnlessAskedNotTo) {
    for (bool closeApp : {true, false}) {
        FakeTopol gis;
        FakeApp ui{gis};
        TWindowHandle window = gis.AddTopolWindow();
        TTopolDDEObj gone(gis, gis, ui);
        gone.SetCloseAppOnLoss(closeApp);
        ASSERT_TRUE(gone.Connect("", true));
        gis.OnMacro = [&](const std::string&, const std::string&) {
            gis.WindowOf(window).Exists = false;
            gis.EndSystemConversation();
        };
        gone.ExecuteSystem("Quit()");  // the wait after the macro ends quietly
        EXPECT_FALSE(gone.Connected());
        EXPECT_EQ(gone.LastError(), -1);
        EXPECT_TRUE(ui.Messages.empty());
        EXPECT_EQ(ui.Terminated, closeApp);
        EXPECT_TRUE(ui.AllFormsEnabled());
    }
}

TEST_F(LinkTest, ALossNoticedBetweenTransactionsMakesTheNextOneRaise) {
    Connect();
    topol.EndSystemConversation();
    app.ProcessMessages();
    EXPECT_FALSE(link.Connected());
    EXPECT_EQ(app.Messages.size(), 1u);
    topol.Log.clear();
    EXPECT_THROW(link.RequestBlock("/x/LE_1.blk", "X"), ESvrNotConnected);
    EXPECT_TRUE(topol.Log.empty());
}

// --- Protocol hot link and destruction -----------------------------------------------------------

TEST_F(LinkTest, ProtocolChangesNamingABlockReportTheActiveBlock) {
    Connect();
    topol.SystemItems["ActiveBlock"] = "C:\\MAPA\\LE_2";
    Lines reported;
    link.OnActiveBlock = [&](TTopolDDEObj& sender, const std::string& topic) {
        EXPECT_EQ(&sender, &link);
        reported.push_back(topic);
    };
    for (const char* protocol : {"OPNBLK C:\\MAPA\\LE_2", "CLCTQR 1 x", "CLSBLK"}) {
        topol.SetProtocol(protocol);
        app.ProcessMessages();
    }
    EXPECT_EQ(reported, (Lines{"C:\\MAPA\\LE_2", "C:\\MAPA\\LE_2"}));

    link.OnActiveBlock = nullptr;
    topol.Log.clear();
    topol.SetProtocol("OPNBLK C:\\MAPA\\LE_3");
    app.ProcessMessages();
    EXPECT_TRUE(topol.Log.empty());
}

TEST_F(LinkTest, ANoticeInsideATransactionKeepsTheWindowsDisabledUntilTheOuterOneEnds) {
    Connect();
    link.OnActiveBlock = [&](TTopolDDEObj&, const std::string&) {};
    bool checked = false;
    topol.OnRequest = [&](const std::string&, const std::string& item) -> std::optional<std::string> {
        if (item == "Redraw") topol.SetProtocol("OPNBLK");
        if (item == "LastError" && !checked && topol.Log.size() == 8) {
            checked = true;  // after the nested ActiveBlock transaction, still inside the outer one
            EXPECT_TRUE(app.NoFormEnabled());
            EXPECT_FALSE(topol.WindowOf(topolWindow).Enabled);
        }
        return std::nullopt;
    };
    link.RequestSystem("Redraw");
    EXPECT_TRUE(checked);
    EXPECT_EQ(topol.Count("request System: ActiveBlock"), 1);
    ExpectRestored();
}

TEST_F(LinkTest, DestructionClosesTheSystemConversationWithoutANotice) {
    topol.AddTopolWindow();
    auto other = std::make_unique<TTopolDDEObj>(topol, topol, app);
    ASSERT_TRUE(other->Connect("", true));
    topol.Log.clear();
    other.reset();
    EXPECT_EQ(topol.Log, Lines{"close System"});
    EXPECT_TRUE(app.Messages.empty());
    EXPECT_FALSE(app.Terminated);
}

}  // namespace
}  // namespace vexa::test
