#pragma once
// A scripted TopoL for the link's tests, in-process: it answers items, records every
// request and macro in order, and can be busy, refuse a topic or a macro, answer
// garbage and end the conversation. It also plays the window system (top-level
// windows, processes, a virtual clock); FakeApp plays the program's own windows.
#include "common/Text.h"
#include "gislink/TpDdeObj.h"
#include "kit/BlockKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vexa::test {

using Lines = std::vector<std::string>;
class FakeConversation;

class FakeTopol : public IDdeClient, public ISystemWindows {
public:
    ~FakeTopol() override {
        if (!FConversations.empty()) std::terminate();  // a link outlived its platform
    }

    // --- script ---
    // "Status": "Busy" while Busy, or for the next NotReadyReplies requests; else ReadyText.
    bool Busy = false;
    int NotReadyReplies = 0;
    std::string ReadyText = "Ready";
    std::string LastErrorReply = "0";
    // Replies by item; an item not listed answers empty. Block items answer on every block topic.
    std::map<std::string, std::string> SystemItems, BlockItems;
    // Refusals: the System topic (RefuseSystemTimes > 0 that many times, < 0 always), these
    // block topics (ignoring case), these macros.
    int RefuseSystemTimes = 0;
    std::set<std::string> RefusedTopics, RefusedMacros;
    // Called for every macro carried out and every request before it is answered (topic,
    // macro or item); a request hook may replace the reply.
    std::function<void(const std::string&, const std::string&)> OnMacro;
    std::function<std::optional<std::string>(const std::string&, const std::string&)> OnRequest;
    // Names shown in the log instead of long topics (block paths), matched ignoring case.
    std::map<std::string, std::string> TopicAliases;

    // --- windows and processes ---
    struct Window {
        TWindowHandle Handle;
        std::string Title;
        bool Enabled = true;
        bool Exists = true;
    };
    std::vector<Window> Windows;
    TWindowHandle AddWindow(const std::string& title) {
        Windows.push_back(Window{0x100 + 0x10 * Windows.size(), title});
        return Windows.back().Handle;
    }
    TWindowHandle AddTopolWindow() { return AddWindow("TopoL pro Windows, vs. 6 - test"); }
    Window& WindowOf(TWindowHandle handle) {
        for (auto& w : Windows)
            if (w.Handle == handle) return w;
        throw std::logic_error("no such window");
    }
    bool StartFails = false;
    int ProcessEndsAfterPolls = -1;    // HasEnded is true from this poll on (< 0: never)
    int WindowAppearsAfterPolls = -1;  // TopoL's window appears at this poll (< 0: never)
    int ProcessPolls = 0;
    int ProcessesAlive = 0;  // process objects not yet released
    std::uint64_t Now = 0;

    // --- record ---
    Lines Log;
    int Count(const std::string& entry) const { return static_cast<int>(std::count(Log.begin(), Log.end(), entry)); }
    // The log without the handshake's "Status" and "LastError" requests.
    Lines Commands() const {
        Lines out;
        for (const auto& e : Log)
            if (e != "request System: Status" && e != "request System: LastError") out.push_back(e);
        return out;
    }
    // Macros only, in order ("topic: macro").
    Lines Macros() const {
        Lines out;
        for (const auto& e : Log)
            if (e.rfind("execute ", 0) == 0) out.push_back(e.substr(8));
        return out;
    }
    // Conversations the client holds open now, by topic as logged.
    Lines OpenTopics() const;

    // The server ends every open System conversation; the client hears of it at the next
    // pass of the message loop.
    void EndSystemConversation();
    // A new value of item "Protocol", passed to hot links at the next pass of the message loop.
    void SetProtocol(const std::string& value);
    // One pass of the message loop: delivers pending notices.
    void Pump() {
        auto pending = std::move(FPending);
        FPending.clear();
        for (auto& [conv, notice] : pending)
            if (std::find(FConversations.begin(), FConversations.end(), conv) != FConversations.end()) notice();
    }

    // --- the platform ---
    std::unique_ptr<IDdeConversation> CreateConversation() override;
    std::vector<TWindowHandle> TopLevelWindows() override {
        std::vector<TWindowHandle> out;
        for (const auto& w : Windows)
            if (w.Exists) out.push_back(w.Handle);
        return out;
    }
    std::string WindowTitle(TWindowHandle window, int bufferSize) override {
        return IsWindow(window) ? WindowOf(window).Title.substr(0, static_cast<size_t>(bufferSize - 1)) : "";
    }
    bool IsWindow(TWindowHandle window) override {
        for (const auto& w : Windows)
            if (w.Handle == window) return w.Exists;
        return false;
    }
    void EnableWindow(TWindowHandle window, bool enable) override {
        for (auto& w : Windows)
            if (w.Handle == window) w.Enabled = enable;
    }
    void PostCloseRequest(TWindowHandle window) override {
        Log.push_back(Format("post close %#llx", static_cast<unsigned long long>(window)));
    }
    std::unique_ptr<IProcess> StartProcess(const std::string& commandLine, const std::string& workingDirectory,
                                           std::uint32_t creationFlags) override;
    std::uint64_t TickCount() override { return Now; }
    void Sleep(unsigned milliseconds) override { Now += milliseconds; }

private:
    friend class FakeConversation;
    std::string Name(const std::string& topic) const {
        for (const auto& [long_, alias] : TopicAliases)
            if (SameTextAscii(long_, topic)) return alias;
        return topic;
    }
    bool Accept(const std::string& topic) {
        if (SameTextAscii(topic, "System")) {
            if (RefuseSystemTimes > 0) return !RefuseSystemTimes--;
            return RefuseSystemTimes == 0;
        }
        return std::none_of(RefusedTopics.begin(), RefusedTopics.end(),
                            [&](const std::string& refused) { return SameTextAscii(refused, topic); });
    }
    std::string Answer(const std::string& topic, const std::string& item) {
        if (OnRequest)
            if (auto reply = OnRequest(topic, item)) return *reply;
        const bool system = SameTextAscii(topic, "System");
        if (system && item == "Status") {
            if (NotReadyReplies > 0)
                --NotReadyReplies;
            else if (!Busy)
                return ReadyText;
            return "Busy";
        }
        if (system && item == "LastError") return LastErrorReply;
        const auto& items = system ? SystemItems : BlockItems;
        auto it = items.find(item);
        return it == items.end() ? std::string() : it->second;
    }
    bool Run(const std::string& topic, const std::string& macro) {
        const bool refused = RefusedMacros.count(macro) > 0;
        Log.push_back((refused ? "refuse execute " : "execute ") + Name(topic) + ": " + macro);
        if (!refused && OnMacro) OnMacro(topic, macro);
        return !refused;
    }

    std::vector<FakeConversation*> FConversations;
    std::vector<std::pair<FakeConversation*, std::function<void()>>> FPending;
};

class FakeConversation : public IDdeConversation {
public:
    explicit FakeConversation(FakeTopol& topol) : FTopol(topol) { FTopol.FConversations.push_back(this); }
    ~FakeConversation() override { std::erase(FTopol.FConversations, this); }

    bool Open(const std::string& service, const std::string& topic) override {
        Close();
        const bool accepted = service == "Topol" && FTopol.Accept(topic);
        FTopol.Log.push_back((accepted ? "connect " : "refuse ") + FTopol.Name(topic));
        if (accepted) FTopic = topic;
        FOpen = accepted;
        FEnded = false;
        return accepted;
    }
    void Close() override {
        if (!FOpen) return;
        FTopol.Log.push_back("close " + FTopol.Name(FTopic));
        FOpen = false;
        FLinks.clear();
    }
    bool IsOpen() const override { return FOpen; }
    std::string Request(const std::string& item) override {
        if (!Live()) return {};
        FTopol.Log.push_back("request " + FTopol.Name(FTopic) + ": " + item);
        return FTopol.Answer(FTopic, item);
    }
    bool Execute(const std::string& macro) override { return Live() && FTopol.Run(FTopic, macro); }
    bool HotLink(const std::string& item, std::function<void(const std::string&)> onChange) override {
        if (!Live()) return false;
        FTopol.Log.push_back("advise " + FTopol.Name(FTopic) + ": " + item);
        FLinks[item] = std::move(onChange);
        return true;
    }
    void SetCloseNotification(std::function<void()> onClose) override { FOnClose = std::move(onClose); }

    bool IsSystem() const { return FOpen && SameTextAscii(FTopic, "System"); }
    // The server ends the conversation.
    void End() {
        if (!Live()) return;
        FEnded = true;
        FTopol.FPending.push_back({this, [this] {
                                       FOpen = false;
                                       FLinks.clear();
                                       if (auto notify = FOnClose) notify();
                                   }});
    }
    void Changed(const std::string& item, const std::string& value) {
        if (Live() && FLinks.count(item))
            FTopol.FPending.push_back({this, [this, item, value] {
                                           if (FLinks.count(item)) FLinks[item](value);
                                       }});
    }
    std::string TopicName() const { return FTopol.Name(FTopic); }

private:
    bool Live() const { return FOpen && !FEnded; }
    FakeTopol& FTopol;
    std::string FTopic;
    bool FOpen = false, FEnded = false;
    std::map<std::string, std::function<void(const std::string&)>> FLinks;
    std::function<void()> FOnClose;
};

inline Lines FakeTopol::OpenTopics() const {
    Lines out;
    for (const FakeConversation* conv : FConversations)
        if (conv->IsOpen()) out.push_back(conv->TopicName());
    return out;
}

inline void FakeTopol::EndSystemConversation() {
    for (FakeConversation* conv : FConversations)
        if (conv->IsSystem()) conv->End();
}

inline void FakeTopol::SetProtocol(const std::string& value) {
    SystemItems["Protocol"] = value;
    for (FakeConversation* conv : FConversations)
        if (conv->IsSystem()) conv->Changed("Protocol", value);
}

inline std::unique_ptr<IDdeConversation> FakeTopol::CreateConversation() {
    return std::make_unique<FakeConversation>(*this);
}

class FakeProcess : public IProcess {
public:
    explicit FakeProcess(FakeTopol& topol) : FTopol(topol) { ++FTopol.ProcessesAlive; }
    ~FakeProcess() override { --FTopol.ProcessesAlive; }
    bool HasEnded() override {
        int poll = FTopol.ProcessPolls++;
        if (poll == FTopol.WindowAppearsAfterPolls) FTopol.AddTopolWindow();
        return FTopol.ProcessEndsAfterPolls >= 0 && poll >= FTopol.ProcessEndsAfterPolls;
    }

private:
    FakeTopol& FTopol;
};

inline std::unique_ptr<IProcess> FakeTopol::StartProcess(const std::string& commandLine,
                                                         const std::string& workingDirectory,
                                                         std::uint32_t creationFlags) {
    Log.push_back(Format("start %s | %s | %#x", commandLine.c_str(), workingDirectory.c_str(), creationFlags));
    return StartFails ? nullptr : std::make_unique<FakeProcess>(*this);
}

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
    int Active = 1;  // index into Forms
    int Passes = 0;
    int CursorDepth = 0;  // > 0 while the hourglass shows
    int MaxCursorDepth = 0;
    Lines Focused;
    struct Box {
        std::string Text;
        TMessageIcon Icon;
    };
    std::vector<Box> Messages;
    bool Terminated = false;

    bool AllFormsEnabled() const {
        return std::all_of(Forms.begin(), Forms.end(), [](auto& f) { return f.Enabled; });
    }
    bool NoFormEnabled() const {
        return std::none_of(Forms.begin(), Forms.end(), [](auto& f) { return f.Enabled; });
    }

    void ProcessMessages() override {
        ++Passes;
        FTopol.Pump();
    }
    void ShowWaitCursor(TCursorKind) override { MaxCursorDepth = std::max(MaxCursorDepth, ++CursorDepth); }
    void RestoreCursor() override { --CursorDepth; }
    std::vector<TAppWindow> AppWindows() override {
        std::vector<TAppWindow> out;
        for (auto& f : Forms) out.push_back(&f);
        return out;
    }
    TAppWindow ActiveAppWindow() override { return &Forms[static_cast<size_t>(Active)]; }
    void EnableAppWindow(TAppWindow window, bool enable) override { static_cast<Form*>(window)->Enabled = enable; }
    void FocusAppWindow(TAppWindow window) override { Focused.push_back(static_cast<Form*>(window)->Name); }
    void ShowMessage(const std::string& text, TMessageIcon icon) override { Messages.push_back({text, icon}); }
    void TerminateApplication() override { Terminated = true; }

private:
    FakeTopol& FTopol;
};

template <class E, class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "<no exception>";
}

// A link to the fake TopoL with the program's windows, and a temporary folder for blocks.
class LinkFixture : public ::testing::Test {
protected:
    // Connects to a running TopoL; the connection's own log entries are removed.
    void Connect() {
        topolWindow = topol.AddTopolWindow();
        ASSERT_TRUE(link.Connect("", true));
        topol.Log.clear();
        app.Passes = 0;
    }
    // Creates the block directory name, shown as "BLK" in the log.
    std::string MakeBlock(const std::string& name = "LE_1.blk") {
        std::filesystem::create_directory(dir / name);
        topol.TopicAliases[dir / std::filesystem::path(name).stem().string()] = "BLK";
        return dir / name;
    }
    // After a transaction, also a failed one: no hourglass, every window enabled.
    void ExpectRestored() {
        EXPECT_EQ(app.CursorDepth, 0);
        EXPECT_TRUE(app.AllFormsEnabled());
        if (topolWindow) {
            EXPECT_TRUE(topol.WindowOf(topolWindow).Enabled);
        }
    }
    void ExpectMessage(const std::string& text, TMessageIcon icon) {
        ASSERT_EQ(app.Messages.size(), 1u);
        EXPECT_EQ(app.Messages[0].Text, text);
        EXPECT_EQ(app.Messages[0].Icon, icon);
    }

    testkit::TempDir dir;
    FakeTopol topol;
    FakeApp app{topol};
    TTopolDDEObj link{topol, topol, app};
    TWindowHandle topolWindow = 0;
};

}  // namespace vexa::test
