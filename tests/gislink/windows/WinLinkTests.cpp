// The link on Windows for real: the DDEML client and the user32/kernel32 platform against
// the fake TopoL program (FakeTopolServer.exe beside this test), started by Connect itself.
// The suites share that one fake and run in file order; the last one closes it.
#include "block/BlkObj.h"
#include "common/FileNames.h"
#include "common/Text.h"
#include "gislink/TpDdeObj.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace vexa {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

std::string ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path().string();
}

// A fresh folder under the temporary folder.
fs::path TempFolder(const char* name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    fs::path dir = fs::path(temp) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// The program's side: a real message loop pass; message boxes and the end of the
// application are recorded instead of shown.
class TestApp : public IAppWindows {
public:
    void ProcessMessages() override {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (WatchedWindow) TopolEnabledDuringWait = TopolEnabledDuringWait || IsWindowEnabled(WatchedWindow);
    }
    void ShowWaitCursor(TCursorKind) override { ++CursorDepth; }
    void RestoreCursor() override { --CursorDepth; }
    std::vector<TAppWindow> AppWindows() override { return {}; }
    TAppWindow ActiveAppWindow() override { return nullptr; }
    void EnableAppWindow(TAppWindow, bool) override {}
    void FocusAppWindow(TAppWindow) override {}
    void ShowMessage(const std::string& text, TMessageIcon) override { Messages.push_back(text); }
    void TerminateApplication() override { Terminated = true; }

    // Runs passes until the condition holds or the time is up.
    bool PumpUntil(const std::function<bool()>& done, DWORD ms = 5000) {
        ULONGLONG end = GetTickCount64() + ms;
        while (!done()) {
            if (GetTickCount64() > end) return false;
            ProcessMessages();
            Sleep(5);
        }
        return true;
    }

    int CursorDepth = 0;
    Lines Messages;
    bool Terminated = false;
    HWND WatchedWindow = nullptr;
    bool TopolEnabledDuringWait = false;
};

class WinLink : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dde = CreateNativeDdeClient();
        sys = CreateNativeSystemWindows();
    }
    static void TearDownTestSuite() {
        dde.reset();
        sys.reset();
    }

    void SetUp() override {
        link = std::make_unique<TTopolDDEObj>(*dde, *sys, app);
        // The first test starts the fake: from its program path, in its own folder.
        ASSERT_TRUE(link->Connect(link->IsTopolRunning() ? "" : ProgramFolder() + "\\FakeTopolServer.exe", false));
        // Every later macro of this test is found after this mark in the fake's log.
        link->ExecuteSystem("Mark()");
    }

    // Macros the fake received since this test's mark.
    Lines MacrosSinceMark() {
        std::string log = link->RequestSystem("TestLog");
        log.erase(0, log.rfind("System: Mark()\n") + 15);
        Lines out;
        for (size_t end; (end = log.find('\n')) != std::string::npos; log.erase(0, end + 1))
            out.push_back(log.substr(0, end));
        return out;
    }

    inline static std::unique_ptr<IDdeClient> dde;
    inline static std::unique_ptr<ISystemWindows> sys;
    TestApp app;
    std::unique_ptr<TTopolDDEObj> link;
};

TEST_F(WinLink, SystemMacrosAndItemsGoThroughTheHandshake) {
    app.WatchedWindow = reinterpret_cast<HWND>(link->TopolWnd());
    char title[256] = {};
    GetWindowTextA(app.WatchedWindow, title, sizeof title);
    EXPECT_STREQ(title, "TopoL pro Windows, vs. 6 - test");
    link->ExecuteSystem("SetMiddle(1.50,-2.00)");
    link->ExecuteSystem("TestSet(ActiveBlock=C:\\MAPA\\LE_1)");
    EXPECT_EQ(link->ActiveBlock(), "C:\\MAPA\\LE_1");
    link->ExecuteSystem("TestSet(LastError=7)");
    EXPECT_EQ(link->LastError(), 7);
    link->ExecuteSystem("TestSet(LastError=0)");
    EXPECT_EQ(link->LastError(), 0);
    EXPECT_EQ(MacrosSinceMark(), (Lines{"System: SetMiddle(1.50,-2.00)", "System: TestSet(ActiveBlock=C:\\MAPA\\LE_1)",
                                        "System: TestSet(LastError=7)", "System: TestSet(LastError=0)"}));
    EXPECT_EQ(app.CursorDepth, 0);
    EXPECT_FALSE(app.TopolEnabledDuringWait);  // TopoL's window was disabled while the link waited
    EXPECT_TRUE(IsWindowEnabled(app.WatchedWindow));
    EXPECT_EQ(link->RequestSystem("NoSuchItem"), "");
}

TEST_F(WinLink, TextTravelsInTheAnsiCodePage) {
    const std::string text = "Lesný porast č. 5 – žltý";  // Slovak letters, an en dash
    RecordProperty("AnsiCodePage", static_cast<int>(GetACP()));
    std::printf("[   INFO   ] ANSI code page %u\n", GetACP());
    link->ExecuteSystem("TestSet(Name=" + text + ")");
    std::string back = link->RequestSystem("Name");
    if (GetACP() == 1250) {
        EXPECT_EQ(back, text);
        // On the wire: ý FD, č E8, en dash 96, ž 9E.
        std::string wire = "TestSet(Name=Lesn\xFD porast \xE8. 5 \x96 \x9Elt\xFD)", hex;
        for (unsigned char c : wire) hex += Format("%02X", c);
        EXPECT_EQ(link->RequestSystem("TestLastMacroHex"), hex);
    } else
        EXPECT_EQ(back, ToUtf8(FromUtf8(text, static_cast<int>(GetACP())), static_cast<int>(GetACP())));
    EXPECT_EQ(MacrosSinceMark(), Lines{"System: TestSet(Name=" + back + ")"});
}

TEST_F(WinLink, BlockItemsAndMacrosUseTheBlocksShortPathAsTopic) {
    fs::path dir = TempFolder("vexa-winlink");
    fs::create_directories(dir / "Lesny porast dlhy.blk");
    const std::string block = (dir / "Lesny porast dlhy.blk").string();
    const std::string topic = link->BlockTopic(block);
    ASSERT_FALSE(topic.empty());
    EXPECT_EQ(topic.find(' '), std::string::npos) << topic;  // the short form
    EXPECT_EQ(ExtractFileExt(topic), "");

    link->ExecuteSystem("TestSet(DisplayLineSettings=1,2,3,x,0,1,65280)");
    EXPECT_EQ(link->GetGroupDisplaySettings(block, egLine), (TBlkDisplaySettings{1, 2, 3, "x", 0, 1, 65280}));
    link->CSTAddRec(block, egLine, 12, 255, 3);
    EXPECT_EQ(MacrosSinceMark(),
              (Lines{"System: TestSet(DisplayLineSettings=1,2,3,x,0,1,65280)", topic + ": CSTAddRec(L,12,255,3)"}));

    EXPECT_EQ(link->RequestBlock((dir / "LE_9.blk").string(), "X"), "");
    EXPECT_EQ(link->LastError(), -4);
    fs::create_directories(dir / "NOTOPIC.blk");
    EXPECT_THROW(link->RequestBlock((dir / "NOTOPIC.blk").string(), "X"), EBlkTopicNotExist);
    EXPECT_EQ(link->LastError(), -4);
    fs::remove_all(dir);
}

TEST_F(WinLink, ShowElementMarksALineAndTakesTheMarkingAway) {
    fs::path dir = TempFolder("vexa-winlink-show") / "LE_1.blk";
    fs::create_directories(dir);
    {
        // One line of two vertices, from (100, 200) to (140, 260).
        const TReal48 x0 = TReal48::FromValue(100), y0 = TReal48::FromValue(200), x1 = TReal48::FromValue(140),
                      y1 = TReal48::FromValue(260);
        TBlkCrd crds[2] = {{x0, y0}, {x1, y1}};
        std::ofstream(dir / "tn.crd", std::ios::binary).write(reinterpret_cast<const char*>(crds), sizeof crds);
        TBlkLine lines[2] = {};
        lines[0].Flags = 1;
        TBlkLine& line = lines[1];
        line.Number = 1;
        line.Kind = 4;
        line.DisplayCode = 3;
        line.LastCrd = 1;
        line.NextA = line.PrevA = line.NextB = line.PrevB = line.AreaA = line.AreaB = -1;
        line.Rect = TBlkRect{x0, y0, x1, y1};
        std::ofstream(dir / "tn.lin", std::ios::binary).write(reinterpret_cast<const char*>(lines), sizeof lines);
    }
    const std::string block = dir.string();
    const std::string shortPath = ShortPathName(block);
    const std::string topic = link->BlockTopic(block);
    link->ExecuteSystem("TestSet(ActiveBlock=elsewhere)");
    link->ExecuteSystem("TestSet(DisplaySettings=0,1,0,1,0,1)");
    link->ExecuteSystem("TestSet(RedrawMode()=1)");
    link->ExecuteSystem("TestSet(DisplayLineSettings=1,2,3,x,0,1,65280)");
    link->ShowElement(block, egLine, 1, 2.0, 255, 10.0, true);
    EXPECT_TRUE(app.Messages.empty());
    Lines macros = MacrosSinceMark();
    ASSERT_GE(macros.size(), 4u);
    macros.erase(macros.begin(), macros.begin() + 4);
    EXPECT_EQ(macros, (Lines{"System: OpenBlk(" + shortPath + ",1)", "System: SetDisplaySettings(1,1,~,~,1,1)",
                             topic + ": SetDisplayLineSettings(1,0,0,~,~,~,255)", topic + ": CSTAddRec(L,1,255,3)",
                             "System: SetRedrawMode(0)", "System: SetViewPort(110.00,215.00,130.00,245.00,0)",
                             "System: SetRedrawMode(1)", "System: SetMiddle(120.00,230.00)", "System: SetRedrawMode(1)",
                             topic + ": CSTDelRec(L,1)", topic + ": SetDisplayLineSettings(1,2,3,x,0,1,65280)",
                             "System: SetDisplaySettings(0,1,0,1,0,1)"}));
    app.Messages.clear();
    link->ShowElement(block, egLine, 2, 1.0, 255, 10.0, true);
    EXPECT_EQ(app.Messages, Lines{"Prvok nebol nájdený."});
    fs::remove_all(dir.parent_path());
}

TEST_F(WinLink, ABusyTopolTimesOut) {
    link->SetPollCount(3);
    HWND window = reinterpret_cast<HWND>(link->TopolWnd());
    std::string message;
    try {
        link->ExecuteSystem("TestBusyFor(4)");  // the wait after this macro sees 4 times "Busy"
    } catch (const ETimeOut& e) {
        message = e.what();
    }
    EXPECT_EQ(message, "Topol server je zaneprázdnený.");
    EXPECT_EQ(link->LastError(), -3);
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_EQ(app.CursorDepth, 0);
    EXPECT_EQ(link->RequestSystem("LastError"), "0");  // ready again
}

TEST_F(WinLink, ProtocolChangesReachTheHotLink) {
    link->ExecuteSystem("TestSet(ActiveBlock=C:\\MAPA\\LE_2)");
    Lines reported;
    link->OnActiveBlock = [&](TTopolDDEObj&, const std::string& topic) { reported.push_back(topic); };
    link->ExecuteSystem("TestProtocol(OPNBLK C:\\MAPA\\LE_2)");
    EXPECT_TRUE(app.PumpUntil([&] { return !reported.empty(); }));
    EXPECT_EQ(reported, Lines{"C:\\MAPA\\LE_2"});
}

TEST_F(WinLink, TopolEndingTheConversationIsNoticedWhileItsWindowStays) {
    link->ExecuteSystem("TestDrop()");
    EXPECT_TRUE(app.PumpUntil([&] { return !link->Connected(); }));
    EXPECT_EQ(link->LastError(), -1);
    EXPECT_EQ(app.Messages, Lines{"Komunikácia s Topolom bola prerušená."});
    EXPECT_FALSE(app.Terminated);
    EXPECT_THROW(link->RequestSystem("Status"), ESvrNotConnected);
    EXPECT_TRUE(link->IsTopolRunning());
}

// Runs last: closes the fake.
class WinLinkEnd : public WinLink {};

TEST_F(WinLinkEnd, ExitClosesTopolAndTheLossClosesTheApplication) {
    HWND window = reinterpret_cast<HWND>(link->TopolWnd());
    link->ExecuteSystem("Exit()");  // posted as a close request, not sent
    EXPECT_TRUE(app.PumpUntil([&] { return !link->Connected(); }));
    EXPECT_TRUE(app.PumpUntil([&] { return !IsWindow(window); }));
    EXPECT_TRUE(app.Terminated);
    EXPECT_TRUE(app.Messages.empty());
    EXPECT_FALSE(link->IsTopolRunning());
    EXPECT_EQ(link->LastError(), -1);
}

}  // namespace
}  // namespace vexa
