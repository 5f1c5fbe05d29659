// The Windows platform of the GIS link: the DDE management library (DDEML) as client in
// the ANSI code page, and user32/kernel32 for windows and processes.
#ifdef _WIN32
#include "common/Text.h"
#include "gislink/GisPlatform.h"

#include <windows.h>
#include <dde.h>
#include <ddeml.h>

#include <deque>
#include <map>
#include <memory>
#include <vector>

namespace vexa {

namespace {

std::string ToAnsi(const std::string& utf8) { return FromUtf8(utf8, static_cast<int>(GetACP())); }
std::string FromAnsi(const std::string& ansi) { return ToUtf8(ansi, static_cast<int>(GetACP())); }

constexpr DWORD RequestTimeoutMs = 10000;
constexpr UINT StatusCheckMs = 250;
constexpr UINT WM_VEXA_DDE_NOTICE = WM_APP + 0x2DE;
const char NoticeWindowClass[] = "VexaDdeNotices";

class Win32DdeClient;

class Win32Conversation : public IDdeConversation {
public:
    explicit Win32Conversation(Win32DdeClient& client) : FClient(client), FAlive(std::make_shared<bool>(true)) {}
    ~Win32Conversation() override {
        *FAlive = false;
        Close();
    }

    bool Open(const std::string& service, const std::string& topic) override;
    void Close() override;
    bool IsOpen() const override { return FConv != nullptr && !FEnded; }
    std::string Request(const std::string& item) override;
    bool Execute(const std::string& macro) override;
    bool HotLink(const std::string& item, std::function<void(const std::string&)> onChange) override;
    void SetCloseNotification(std::function<void()> onClose) override { FOnClose = std::move(onClose); }

    // From the DDEML callback and the status checks.
    void ServerEnded();
    void CheckStatus() { Alive(); }
    void Changed(const std::string& item, const std::string& value);
    // A macro started by Execute was acknowledged (or refused).
    void MacroDone() {
        if (FMacrosPending > 0) --FMacrosPending;
    }

private:
    // Lets the DDE messages run until every macro started is acknowledged, at most for a
    // request's time-out. A DDEML may end a synchronous transaction at the acknowledgement
    // of an earlier asynchronous one (Wine's does, with no data): the request would fail,
    // and its own reply, come later, would answer the next request of the conversation.
    void AwaitMacros();

    // Whether the conversation still stands; a conversation the server ended is noticed here
    // too, since not every DDEML reports the disconnection by callback.
    bool Alive();

    Win32DdeClient& FClient;
    HCONV FConv = nullptr;
    bool FEnded = false;
    int FMacrosPending = 0;  // started by Execute, not yet acknowledged
    std::map<std::string, std::function<void(const std::string&)>> FLinks;
    std::function<void()> FOnClose;
    std::shared_ptr<bool> FAlive;  // notices queued for a destroyed conversation are dropped
};

// DDEML calls back without a context; the conversations of this thread are found by handle,
// and their DDEML instance until the disconnection has completed.
std::map<HCONV, Win32Conversation*>& ConversationTable() {
    static std::map<HCONV, Win32Conversation*> table;
    return table;
}
std::map<HCONV, DWORD>& InstanceTable() {
    static std::map<HCONV, DWORD> table;
    return table;
}

class Win32DdeClient : public IDdeClient {
public:
    Win32DdeClient() {
        if (DdeInitializeA(&FInstance, &Callback, APPCMD_CLIENTONLY | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                           0) != DMLERR_NO_ERROR)
            FInstance = 0;
        WNDCLASSA wc{};
        wc.lpfnWndProc = &NoticeProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = NoticeWindowClass;
        RegisterClassA(&wc);  // fails harmlessly when already registered
        FNoticeWindow = CreateWindowExA(0, NoticeWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(FNoticeWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        // Not every DDEML reports a conversation that the server ended; its status is
        // looked at regularly as well.
        SetTimer(FNoticeWindow, 1, StatusCheckMs, nullptr);
    }
    ~Win32DdeClient() override {
        if (FNoticeWindow) {
            KillTimer(FNoticeWindow, 1);
            DestroyWindow(FNoticeWindow);
        }
        if (FInstance) DdeUninitialize(FInstance);
    }

    std::unique_ptr<IDdeConversation> CreateConversation() override {
        return std::make_unique<Win32Conversation>(*this);
    }

    DWORD Id() const { return FInstance; }

    // Runs the notice at the next pass of the message loop, outside any DDEML callback,
    // unless the conversation it belongs to is gone by then.
    void Post(const std::shared_ptr<bool>& alive, std::function<void()> notice) {
        FNotices.push_back({alive, std::move(notice)});
        PostMessageA(FNoticeWindow, WM_VEXA_DDE_NOTICE, 0, 0);
    }

    HSZ String(const std::string& text) { return DdeCreateStringHandleA(FInstance, ToAnsi(text).c_str(), CP_WINANSI); }
    void Free(HSZ hsz) {
        if (hsz) DdeFreeStringHandle(FInstance, hsz);
    }

private:
    static HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV conv, HSZ, HSZ item, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
        auto& table = ConversationTable();
        auto it = table.find(conv);
        auto instance = InstanceTable().find(conv);
        if (instance == InstanceTable().end()) return nullptr;
        switch (type) {
        case XTYP_DISCONNECT:
            if (it != table.end()) it->second->ServerEnded();
            return nullptr;
        case XTYP_XACT_COMPLETE:
            if (it != table.end()) it->second->MacroDone();
            // A finished asynchronous macro is retired here, so that no DDEML keeps it queued
            // in front of the conversation's later transactions (harmless where it is gone).
            DdeAbandonTransaction(instance->second, conv, 0);
            return nullptr;
        case XTYP_ADVDATA: {
            if (it == table.end() || !data) return reinterpret_cast<HDDEDATA>(DDE_FACK);
            char name[256] = {};
            DdeQueryStringA(instance->second, item, name, sizeof name, CP_WINANSI);
            DWORD size = DdeGetData(data, nullptr, 0, 0);
            std::string value(size, '\0');
            if (size) DdeGetData(data, reinterpret_cast<LPBYTE>(value.data()), size, 0);
            value.resize(std::min<size_t>(value.size(), value.find('\0')));
            it->second->Changed(FromAnsi(name), FromAnsi(value));
            return reinterpret_cast<HDDEDATA>(DDE_FACK);
        }
        default: return nullptr;
        }
    }

    static LRESULT CALLBACK NoticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_VEXA_DDE_NOTICE) {
            auto* self = reinterpret_cast<Win32DdeClient*>(GetWindowLongPtrA(window, GWLP_USERDATA));
            if (self && !self->FNotices.empty()) {
                auto [alive, notice] = std::move(self->FNotices.front());
                self->FNotices.pop_front();
                // Nothing may unwind through the window system; the link's notices do not throw.
                try {
                    if (*alive) notice();
                } catch (...) {}
            }
            return 0;
        }
        if (message == WM_TIMER) {
            auto* self = reinterpret_cast<Win32DdeClient*>(GetWindowLongPtrA(window, GWLP_USERDATA));
            std::vector<Win32Conversation*> open;
            for (auto& [conv, object] : ConversationTable())
                if (self && InstanceTable()[conv] == self->FInstance) open.push_back(object);
            for (Win32Conversation* object : open) object->CheckStatus();
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    DWORD FInstance = 0;
    HWND FNoticeWindow = nullptr;
    std::deque<std::pair<std::shared_ptr<bool>, std::function<void()>>> FNotices;
};

bool Win32Conversation::Open(const std::string& service, const std::string& topic) {
    Close();
    if (!FClient.Id()) return false;
    HSZ hszService = FClient.String(service);
    HSZ hszTopic = FClient.String(topic);
    FConv = DdeConnect(FClient.Id(), hszService, hszTopic, nullptr);
    FClient.Free(hszService);
    FClient.Free(hszTopic);
    if (!FConv) return false;
    FEnded = false;
    ConversationTable()[FConv] = this;
    InstanceTable()[FConv] = FClient.Id();
    return true;
}

void Win32Conversation::Close() {
    if (!FConv) return;
    ConversationTable().erase(FConv);
    HCONV conv = FConv;
    FConv = nullptr;
    FMacrosPending = 0;
    FLinks.clear();
    DdeDisconnect(conv);
    InstanceTable().erase(conv);
}

bool Win32Conversation::Alive() {
    if (!FConv || FEnded) return false;
    CONVINFO info{};
    info.cb = sizeof info;
    if (DdeQueryConvInfo(FConv, QID_SYNC, &info) == 0 || !(info.wStatus & ST_CONNECTED)) {
        ServerEnded();
        return false;
    }
    return true;
}

void Win32Conversation::ServerEnded() {
    if (FEnded || !FConv) return;
    FEnded = true;
    FClient.Post(FAlive, [this] {
        FLinks.clear();
        if (auto notify = FOnClose) notify();
    });
}

void Win32Conversation::Changed(const std::string& item, const std::string& value) {
    FClient.Post(FAlive, [this, item, value] {
        if (FEnded) return;
        // Item names are atoms: their letter case is that of whoever registered them first.
        for (const auto& [name, onChange] : FLinks) {
            if (SameTextAscii(name, item)) {
                auto notify = onChange;
                notify(value);
                return;
            }
        }
    });
}

void Win32Conversation::AwaitMacros() {
    const ULONGLONG end = GetTickCount64() + RequestTimeoutMs;
    while (FMacrosPending > 0 && FConv && !FEnded) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) {
            FMacrosPending = 0;  // never acknowledged: not waited for again
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_POSTMESSAGE);
        // Only the DDE messages: the program's own messages (hot-link notices) wait for its loop.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE)) DispatchMessageA(&msg);
    }
}

std::string Win32Conversation::Request(const std::string& item) {
    if (!Alive()) return {};
    AwaitMacros();
    if (!Alive()) return {};
    HSZ hszItem = FClient.String(item);
    HDDEDATA data = DdeClientTransaction(nullptr, 0, FConv, hszItem, CF_TEXT, XTYP_REQUEST, RequestTimeoutMs, nullptr);
    FClient.Free(hszItem);
    if (!data) {
        Alive();  // a refusal, a time-out or a lost conversation
        return {};
    }
    DWORD size = DdeGetData(data, nullptr, 0, 0);
    std::string reply(size, '\0');
    if (size) DdeGetData(data, reinterpret_cast<LPBYTE>(reply.data()), size, 0);
    DdeFreeDataHandle(data);
    size_t end = reply.find('\0');
    if (end != std::string::npos) reply.resize(end);
    return FromAnsi(reply);
}

bool Win32Conversation::Execute(const std::string& macro) {
    if (!Alive()) return false;
    std::string text = ToAnsi(macro);
    DWORD id = 0;
    HDDEDATA started = DdeClientTransaction(reinterpret_cast<LPBYTE>(text.data()), static_cast<DWORD>(text.size() + 1),
                                            FConv, nullptr, CF_TEXT, XTYP_EXECUTE, TIMEOUT_ASYNC, &id);
    if (!started) {
        Alive();
        return false;
    }
    ++FMacrosPending;
    return true;
}

bool Win32Conversation::HotLink(const std::string& item, std::function<void(const std::string&)> onChange) {
    if (!Alive()) return false;
    AwaitMacros();
    if (!Alive()) return false;
    HSZ hszItem = FClient.String(item);
    HDDEDATA ok = DdeClientTransaction(nullptr, 0, FConv, hszItem, CF_TEXT, XTYP_ADVSTART, RequestTimeoutMs, nullptr);
    FClient.Free(hszItem);
    if (!ok) return false;
    FLinks[item] = std::move(onChange);
    return true;
}

// --- windows and processes -----------------------------------------------------------------

class Win32Process : public IProcess {
public:
    explicit Win32Process(const PROCESS_INFORMATION& info) : FInfo(info) {}
    ~Win32Process() override {
        CloseHandle(FInfo.hThread);
        CloseHandle(FInfo.hProcess);
    }
    bool HasEnded() override { return WaitForSingleObject(FInfo.hProcess, 0) == WAIT_OBJECT_0; }

private:
    PROCESS_INFORMATION FInfo;
};

class Win32SystemWindows : public ISystemWindows {
public:
    std::vector<TWindowHandle> TopLevelWindows() override {
        std::vector<TWindowHandle> windows;
        EnumWindows(
            [](HWND window, LPARAM list) -> BOOL {
                reinterpret_cast<std::vector<TWindowHandle>*>(list)->push_back(reinterpret_cast<TWindowHandle>(window));
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&windows));
        return windows;
    }
    std::string WindowTitle(TWindowHandle window, int bufferSize) override {
        std::string buffer(static_cast<size_t>(bufferSize), '\0');
        int n = GetWindowTextA(reinterpret_cast<HWND>(window), buffer.data(), bufferSize);
        buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return FromAnsi(buffer);
    }
    bool IsWindow(TWindowHandle window) override { return ::IsWindow(reinterpret_cast<HWND>(window)) != FALSE; }
    void EnableWindow(TWindowHandle window, bool enable) override {
        ::EnableWindow(reinterpret_cast<HWND>(window), enable ? TRUE : FALSE);
    }
    void PostCloseRequest(TWindowHandle window) override {
        PostMessageA(reinterpret_cast<HWND>(window), WM_CLOSE, 0, 0);
    }
    std::unique_ptr<IProcess> StartProcess(const std::string& commandLine, const std::string& workingDirectory,
                                           std::uint32_t creationFlags) override {
        std::wstring command = WideFromUtf8(commandLine);
        command.push_back(L'\0');
        std::wstring directory = WideFromUtf8(workingDirectory);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
                            directory.empty() ? nullptr : directory.c_str(), &startup, &info))
            return nullptr;
        return std::make_unique<Win32Process>(info);
    }
    std::uint64_t TickCount() override { return GetTickCount64(); }
    void Sleep(unsigned milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

std::unique_ptr<IDdeClient> CreateNativeDdeClient() { return std::make_unique<Win32DdeClient>(); }
std::unique_ptr<ISystemWindows> CreateNativeSystemWindows() { return std::make_unique<Win32SystemWindows>(); }

}  // namespace vexa
#endif
