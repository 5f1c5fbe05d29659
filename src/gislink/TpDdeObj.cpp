#include "gislink/TpDdeObj.h"

#include "common/FileNames.h"
#include "common/Text.h"
#include "gislink/TopolFormat.h"

namespace vexa {

// --- exceptions ------------------------------------------------------------------

ESvrNotConnected::ESvrNotConnected() : Exception("Topol server nie je pripojený.") {}
EBlkTopicNotExist::EBlkTopicNotExist(const std::string& topic)
    : Exception(Format("Blok %s\rnekomunikuje.", topic.c_str())) {}
EMacroNotExecute::EMacroNotExecute(const std::string& macro)
    : Exception(Format("Makro %s\rnebolo vykonané.", macro.c_str())) {}
ETimeOut::ETimeOut() : Exception("Topol server je zaneprázdnený.") {}
EBadNumber::EBadNumber() : Exception("Chybné číslo.") {}
EBadTopas::EBadTopas() : Exception("Chybný Topas syntax.") {}

const TBlkDisplaySettings DefaultDisplaySettings{};

// --- creation ---------------------------------------------------------------------

TTopolDDEObj::TTopolDDEObj(IDdeClient& dde, ISystemWindows& system, IAppWindows& app)
    : FDde(dde), FSystem(system), FApp(app), FSysConv(dde.CreateConversation()), FBlkConv(dde.CreateConversation()) {}

TTopolDDEObj::~TTopolDDEObj() {
    FSysConv->SetCloseNotification(nullptr);
    FSysConv->Close();
    FBlkConv->Close();
}

// --- window search and connection -----------------------------------------------------

TWindowHandle TTopolDDEObj::FindTopolWindow() {
    const std::string searched = TopolWindowTitle;
    for (TWindowHandle window : FSystem.TopLevelWindows()) {
        if (FSystem.WindowTitle(window, TopolTitleBuffer).find(searched) != std::string::npos) return window;
    }
    return 0;
}

bool TTopolDDEObj::IsTopolRunning() { return FindTopolWindow() != 0; }

bool TTopolDDEObj::Connect(const std::string& programPath, bool inheritDirectory) {
    TWindowHandle window = FindTopolWindow();
    if (window == 0) {
        std::string directory;
        if (!inheritDirectory) directory = ExcludeTrailingDelimiter(ExtractFilePath(programPath));
        std::unique_ptr<IProcess> process =
            programPath.empty() ? nullptr : FSystem.StartProcess(programPath, directory, TopolCreationFlags);
        if (!process) {
            FApp.ShowMessage("Topol server nebol spustený.", TMessageIcon::Error);
            return false;
        }
        // Wait for the new TopoL's main window; a bounded wait with a short pause, and a
        // GIS that takes longer is left to the connection attempts below.
        const std::uint64_t start = FSystem.TickCount();
        bool ended = false;
        for (;;) {
            if (process->HasEnded()) {
                ended = true;
                break;
            }
            if (FindTopolWindow() != 0) break;
            if (FSystem.TickCount() - start >= FStartWaitMs) break;
            FSystem.Sleep(FStartPauseMs);
        }
        process.reset();
        if (ended) {
            FApp.ShowMessage("Topol server nebol spustený.", TMessageIcon::Error);
            return false;
        }
    }

    int attempts = 0;
    while (attempts < 10) {
        ++attempts;
        window = FindTopolWindow();
        if (window != 0 && FSysConv->Open(TopolService, TopolSystemTopic)) break;
        window = 0;
        FApp.ProcessMessages();
    }
    FConnected = window != 0;
    if (FConnected) {
        FLastError = 0;
        FTopolWnd = window;
        FSysConv->SetCloseNotification([this] { ConvClosed(); });
        FSysConv->HotLink("Protocol", [this](const std::string& value) { ProtocolChanged(value); });
    } else {
        FApp.ShowMessage("Topol server nekomunikuje.", TMessageIcon::Error);
    }
    return FConnected;
}

// --- handshake ----------------------------------------------------------------------------

void TTopolDDEObj::BeginWait() {
    if (FWaitDepth++ > 0) return;  // a nested transaction (hot-link notice) keeps the outer wait
    FApp.ShowWaitCursor(TCursorKind::Wait);
    FDisabledTopolWnd = FTopolWnd;
    if (FDisabledTopolWnd != 0) FSystem.EnableWindow(FDisabledTopolWnd, false);
    TAppWindow active = FApp.ActiveAppWindow();
    for (TAppWindow window : FApp.AppWindows()) {
        if (window == active) FActiveForm = window;
        FApp.EnableAppWindow(window, false);
    }
}

void TTopolDDEObj::EndWait() {
    if (--FWaitDepth > 0) return;
    for (TAppWindow window : FApp.AppWindows()) FApp.EnableAppWindow(window, true);
    // The window disabled by BeginWait, even when the conversation was lost meanwhile.
    if (FDisabledTopolWnd != 0 && FSystem.IsWindow(FDisabledTopolWnd)) FSystem.EnableWindow(FDisabledTopolWnd, true);
    FDisabledTopolWnd = 0;
    if (FActiveForm) {
        FApp.FocusAppWindow(FActiveForm);
        FActiveForm = nullptr;
    }
    FApp.RestoreCursor();
}

namespace {
// Runs BeginWait at construction and EndWait however the scope ends.
template <class Begin, class End>
class WaitScope {
public:
    WaitScope(Begin begin, End end) : end_(end) { begin(); }
    ~WaitScope() { end_(); }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    End end_;
};
}  // namespace

bool TTopolDDEObj::WaitReady() {
    FApp.ProcessMessages();
    std::string reply = FSysConv->Request("Status");
    int extra = 0;
    // A lost conversation ends the wait at once: its replies would stay empty.
    while (!SameTextAscii(reply, "Ready") && extra < FPollCount && FConnected) {
        FApp.ProcessMessages();
        reply = FSysConv->Request("Status");
        ++extra;
    }
    if (SameTextAscii(reply, "Ready")) {
        FLastError = 0;
    } else if (FConnected) {
        FLastError = -3;
        throw ETimeOut();
    }
    FApp.ProcessMessages();
    return FLastError == 0;
}

void TTopolDDEObj::ReadLastError() {
    FApp.ProcessMessages();
    std::string reply = FSysConv->Request("LastError");
    if (auto value = ReadInt32(reply))
        FLastError = *value;
    else if (FConnected)
        FLastError = -10;
    FApp.ProcessMessages();
}

// --- transactions ---------------------------------------------------------------------------

std::string TTopolDDEObj::RequestSystem(const std::string& item) {
    std::string result;
    if (!FConnected) throw ESvrNotConnected();
    WaitScope wait([this] { BeginWait(); }, [this] { EndWait(); });
    if (WaitReady()) {
        result = FSysConv->Request(item);
        if (WaitReady()) ReadLastError();
    }
    return result;
}

void TTopolDDEObj::ExecuteSystem(const std::string& macro) {
    if (!FConnected) throw ESvrNotConnected();
    if (SameTextAscii(macro, "Exit()") || SameTextAscii(macro, "Command(24340)")) {
        FSystem.PostCloseRequest(FTopolWnd);
        return;
    }
    WaitScope wait([this] { BeginWait(); }, [this] { EndWait(); });
    if (WaitReady()) {
        if (!FSysConv->Execute(macro)) {
            FLastError = -2;
            throw EMacroNotExecute(macro);
        }
        if (WaitReady()) ReadLastError();
    }
}

std::string TTopolDDEObj::BlockTopic(const std::string& blockPath) {
    std::string p = ChangeFileExt(blockPath, ".pra");
    if (!DirectoryExists(p)) {
        p = ShortPathName(p);
        if (p.empty()) {
            p = ChangeFileExt(blockPath, ".blk");
            if (!DirectoryExists(p)) p.clear();
        }
    }
    std::string shortForm = ShortPathName(p);
    if (!shortForm.empty()) p = shortForm;
    return ChangeFileExt(p, "");
}

void TTopolDDEObj::SendBlockTransaction(const std::string& topic, const std::function<void()>& transaction) {
    WaitScope wait([this] { BeginWait(); }, [this] { EndWait(); });
    if (!WaitReady()) return;
    struct CloseGuard {
        IDdeConversation& conv;
        ~CloseGuard() { conv.Close(); }
    } closeGuard{*FBlkConv};
    if (!FBlkConv->Open(TopolService, topic)) {
        FLastError = -4;
        throw EBlkTopicNotExist(topic);
    }
    transaction();
    if (WaitReady()) ReadLastError();
}

std::string TTopolDDEObj::RequestBlock(const std::string& blockPath, const std::string& item) {
    std::string result;
    if (!FConnected) throw ESvrNotConnected();
    std::string topic = BlockTopic(blockPath);
    if (topic.empty()) {
        FLastError = -4;
        return result;
    }
    SendBlockTransaction(topic, [&] { result = FBlkConv->Request(item); });
    return result;
}

void TTopolDDEObj::ExecuteBlock(const std::string& blockPath, const std::string& macro) {
    if (!FConnected) throw ESvrNotConnected();
    std::string topic = BlockTopic(blockPath);
    if (topic.empty()) {
        FLastError = -4;
        return;
    }
    SendBlockTransaction(topic, [&] {
        if (!FBlkConv->Execute(macro)) {
            FLastError = -2;
            throw EMacroNotExecute(macro);
        }
    });
}

// --- notifications ----------------------------------------------------------------------------

void TTopolDDEObj::ConvClosed() {
    FSysConv->SetCloseNotification(nullptr);
    TWindowHandle window = FTopolWnd;
    FConnected = false;
    FTopolWnd = 0;
    FLastError = -1;
    if (window != 0 && FSystem.IsWindow(window)) {
        FApp.ShowMessage("Komunikácia s Topolom bola prerušená.", TMessageIcon::Warning);
        return;
    }
    if (FCloseAppOnLoss) FApp.TerminateApplication();
}

void TTopolDDEObj::ProtocolChanged(const std::string& value) {
    if ((value.find("OPNBLK") != std::string::npos || value.find("CLSBLK") != std::string::npos) && OnActiveBlock) {
        // The notice arrives inside a pass of the message loop; a failed request here
        // must not unwind through the window system, and the notice is only informative.
        std::string block;
        try {
            block = ActiveBlock();
        } catch (const Exception&) {
            return;
        }
        OnActiveBlock(*this, block);
    }
}

}  // namespace vexa
