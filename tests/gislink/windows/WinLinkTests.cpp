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
        ++Passes;
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

    int Passes = 0;
    int CursorDepth = 0;
    Lines Messages;
    bool Terminated = false;
    HWND WatchedWindow = nullptr;
    bool TopolEnabledDuringWait = false;
};

class WinLink : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dde = CreateNativeDdeClient().release();
        sys = CreateNativeSystemWindows().release();
    }
    static void TearDownTestSuite() {
        delete dde;
        delete sys;
    }

    void SetUp() override {
        link = std::make_unique<TTopolDDEObj>(*dde, *sys, app);
        if (!link->IsTopolRunning()) {
            // The first test starts the fake: from its program path, in its own folder.
            ASSERT_TRUE(link->Connect(ProgramFolder() + "\\FakeTopolServer.exe", false));
        } else {
            ASSERT_TRUE(link->Connect("", true));
        }
        // Every later macro of this test is found after this mark in the fake's log.
        link->ExecuteSystem("Mark()");
    }
    void TearDown() override { link.reset(); }

    // Macros the fake received since this test's mark.
    Lines MacrosSinceMark() {
        std::string log = link->RequestSystem("TestLog");
        Lines lines;
        size_t start = 0;
        for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(log.substr(start, end - start));
        Lines out;
        for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
            if (*it == "System: Mark()") break;
            if (it->rfind("connect ", 0) != 0) out.insert(out.begin(), *it);
        }
        return out;
    }

    static IDdeClient* dde;
    static ISystemWindows* sys;
    TestApp app;
    std::unique_ptr<TTopolDDEObj> link;
};
IDdeClient* WinLink::dde = nullptr;
ISystemWindows* WinLink::sys = nullptr;

TEST_F(WinLink, FindsTheRunningTopolByItsTitle) {
    EXPECT_TRUE(link->IsTopolRunning());
    HWND window = reinterpret_cast<HWND>(link->TopolWnd());
    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "TopoL pro Windows, vs. 6 - test");
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_EQ(link->LastError(), 0);
}

TEST_F(WinLink, SystemMacrosAndItemsGoThroughTheHandshake) {
    app.WatchedWindow = reinterpret_cast<HWND>(link->TopolWnd());
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
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    fs::path dir = fs::path(temp) / "vexa-winlink";
    fs::remove_all(dir);
    fs::create_directories(dir / "Lesny porast dlhy.blk");
    const std::string block = (dir / "Lesny porast dlhy.blk").string();
    const std::string topic = link->BlockTopic(block);
    ASSERT_FALSE(topic.empty());
    EXPECT_EQ(topic.find(' '), std::string::npos) << topic;  // the short form
    EXPECT_EQ(ExtractFileExt(topic), "");

    link->ExecuteSystem("TestSet(DisplayLineSettings=1,2,3,x,0,1,65280)");
    EXPECT_EQ(link->GetGroupDisplaySettings(block, egLine), (TBlkDisplaySettings{1, 2, 3, "x", 0, 1, 65280}));
    link->CSTAddRec(block, egLine, 12, 255, 3);
    EXPECT_EQ(MacrosSinceMark(), (Lines{"System: TestSet(DisplayLineSettings=1,2,3,x,0,1,65280)",
                                        topic + ": CSTAddRec(L,12,255,3)"}));

    EXPECT_EQ(link->RequestBlock((dir / "LE_9.blk").string(), "X"), "");
    EXPECT_EQ(link->LastError(), -4);
    fs::create_directories(dir / "NOTOPIC.blk");
    EXPECT_THROW(link->RequestBlock((dir / "NOTOPIC.blk").string(), "X"), EBlkTopicNotExist);
    EXPECT_EQ(link->LastError(), -4);
    fs::remove_all(dir);
}

TEST_F(WinLink, ShowElementMarksALineAndTakesTheMarkingAway) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    fs::path dir = fs::path(temp) / "vexa-winlink-show" / "LE_1.blk";
    fs::remove_all(dir.parent_path());
    fs::create_directories(dir);
    {
        // One line of two vertices, from (100, 200) to (140, 260).
        TBlkCrd crds[2] = {{TReal48::FromValue(100), TReal48::FromValue(200)},
                           {TReal48::FromValue(140), TReal48::FromValue(260)}};
        std::ofstream(dir / "tn.crd", std::ios::binary).write(reinterpret_cast<const char*>(crds), sizeof crds);
        TBlkLine lines[2] = {};
        lines[0].Flags = 1;
        lines[1].Number = 1;
        lines[1].Kind = 4;
        lines[1].DisplayCode = 3;
        lines[1].FirstCrd = 0;
        lines[1].LastCrd = 1;
        lines[1].NextA = lines[1].PrevA = lines[1].NextB = lines[1].PrevB = lines[1].AreaA = lines[1].AreaB = -1;
        lines[1].Rect = TBlkRect{TReal48::FromValue(100), TReal48::FromValue(200), TReal48::FromValue(140),
                                 TReal48::FromValue(260)};
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
    try {
        link->ExecuteSystem("TestBusyFor(4)");  // the wait after this macro sees 4 times "Busy"
        ADD_FAILURE() << "no time-out";
    } catch (const ETimeOut& e) {
        EXPECT_STREQ(e.what(), "Topol server je zaneprázdnený.");
    }
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

} // namespace
} // namespace vexa
