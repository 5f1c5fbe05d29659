#pragma once
// A scripted TopoL for the link's tests, in-process: it answers items, records every
// request and macro in order, and can be busy, refuse a topic or a macro, answer
// garbage and end the conversation. It also plays the window system (top-level
// windows, processes, a virtual clock); FakeApp plays the program's own windows.
#include "gislink/GisPlatform.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vexa::test {

class FakeConversation;

class FakeTopol : public IDdeClient, public ISystemWindows {
public:
    FakeTopol();
    ~FakeTopol() override;

    // --- script ---
    // "Status": "Busy" while Busy, or for the next NotReadyReplies requests; else ReadyText.
    bool Busy = false;
    int NotReadyReplies = 0;
    std::string ReadyText = "Ready";
    std::string LastErrorReply = "0";
    // Replies by item; an item not listed answers empty. Block items answer on every block topic.
    std::map<std::string, std::string> SystemItems;
    std::map<std::string, std::string> BlockItems;
    // Refusals: conversations on the System topic (RefuseSystemTimes > 0 refuses that many
    // times, < 0 always), on these block topics (compared ignoring case), these macros.
    int RefuseSystemTimes = 0;
    std::set<std::string> RefusedTopics;
    std::set<std::string> RefusedMacros;
    // Called for every macro TopoL carries out (topic, macro) and every request before it
    // is answered (topic, item); a request hook may replace the reply.
    std::function<void(const std::string&, const std::string&)> OnMacro;
    std::function<std::optional<std::string>(const std::string&, const std::string&)> OnRequest;

    // Names shown in the log instead of long topics (block paths), matched ignoring case.
    std::map<std::string, std::string> TopicAliases;

    // The server ends every open System conversation; the client hears of it at the next
    // pass of the message loop.
    void EndSystemConversation();
    // A new value of item "Protocol", passed to hot links at the next pass of the message loop.
    void SetProtocol(const std::string& value);
    // One pass of the message loop: delivers pending notices.
    void Pump();

    // --- windows and processes ---
    struct Window {
        TWindowHandle Handle;
        std::string Title;
        bool Enabled = true;
        bool Exists = true;
    };
    std::vector<Window> Windows;
    TWindowHandle AddWindow(const std::string& title);
    Window& WindowOf(TWindowHandle handle);
    // TopoL's main window, "TopoL pro Windows, vs. 6 - test", added by AddTopolWindow.
    TWindowHandle AddTopolWindow();

    bool StartFails = false;
    int ProcessEndsAfterPolls = -1;    // HasEnded is true from this poll on (< 0: never)
    int WindowAppearsAfterPolls = -1;  // TopoL's window appears at this poll (< 0: never)
    int ProcessPolls = 0;
    int ProcessesAlive = 0;  // process objects not yet released
    std::uint64_t Now = 0;

    // --- record ---
    std::vector<std::string> Log;
    // The log without the handshake's "Status" and "LastError" requests.
    std::vector<std::string> Commands() const;
    // Macros only, in order ("topic: macro").
    std::vector<std::string> Macros() const;
    int StatusRequests() const;
    // Conversations that the client holds open now, by topic as logged.
    std::vector<std::string> OpenTopics() const;

    // --- IDdeClient ---
    std::unique_ptr<IDdeConversation> CreateConversation() override;

    // --- ISystemWindows ---
    std::vector<TWindowHandle> TopLevelWindows() override;
    std::string WindowTitle(TWindowHandle window, int bufferSize) override;
    bool IsWindow(TWindowHandle window) override;
    void EnableWindow(TWindowHandle window, bool enable) override;
    void PostCloseRequest(TWindowHandle window) override;
    std::unique_ptr<IProcess> StartProcess(const std::string& commandLine, const std::string& workingDirectory,
                                           std::uint32_t creationFlags) override;
    std::uint64_t TickCount() override { return Now; }
    void Sleep(unsigned milliseconds) override { Now += milliseconds; }

private:
    friend class FakeConversation;
    std::string Name(const std::string& topic) const;
    bool Accept(const std::string& topic);
    std::string Answer(const std::string& topic, const std::string& item);
    bool Run(const std::string& topic, const std::string& macro);

    std::vector<FakeConversation*> FConversations;
    std::vector<std::pair<FakeConversation*, std::function<void()>>> FPending;
    TWindowHandle FNextHandle = 0x100;
};

// The program's windows: records enable/disable, focus, cursor, message boxes and the
// end of the application; each pass of the message loop lets the fake TopoL deliver.
class FakeApp : public IAppWindows {
public:
    explicit FakeApp(FakeTopol& topol) : FTopol(topol) {}

    struct Form {
        std::string Name;
        bool Enabled = true;
    };
    std::vector<Form> Forms{{"main"}, {"errors"}, {"rename"}};
    int Active = 1;  // index into Forms, -1 none

    int Passes = 0;
    int CursorDepth = 0;       // > 0 while the hourglass shows
    int MaxCursorDepth = 0;
    std::vector<std::string> Focused;
    struct Box {
        std::string Text;
        TMessageIcon Icon;
    };
    std::vector<Box> Messages;
    bool Terminated = false;

    bool AllFormsEnabled() const;
    bool NoFormEnabled() const;

    void ProcessMessages() override;
    void ShowWaitCursor(TCursorKind) override;
    void RestoreCursor() override;
    std::vector<TAppWindow> AppWindows() override;
    TAppWindow ActiveAppWindow() override;
    void EnableAppWindow(TAppWindow window, bool enable) override;
    void FocusAppWindow(TAppWindow window) override;
    void ShowMessage(const std::string& text, TMessageIcon icon) override;
    void TerminateApplication() override { Terminated = true; }

private:
    FakeTopol& FTopol;
};

} // namespace vexa::test
