#include "FakeTopol.h"

#include "common/Text.h"

#include <algorithm>
#include <stdexcept>

namespace vexa::test {

// --- one client conversation ------------------------------------------------------

class FakeConversation : public IDdeConversation {
public:
    explicit FakeConversation(FakeTopol& topol) : FTopol(topol) { FTopol.FConversations.push_back(this); }
    ~FakeConversation() override {
        auto& list = FTopol.FConversations;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }

    bool Open(const std::string& service, const std::string& topic) override {
        Close();
        if (service != "Topol" || !FTopol.Accept(topic)) {
            FTopol.Log.push_back("refuse " + FTopol.Name(topic));
            return false;
        }
        FTopol.Log.push_back("connect " + FTopol.Name(topic));
        FTopic = topic;
        FOpen = true;
        FEnded = false;
        return true;
    }
    void Close() override {
        if (!FOpen) return;
        FTopol.Log.push_back("close " + FTopol.Name(FTopic));
        FOpen = false;
        FLinks.clear();
    }
    bool IsOpen() const override { return FOpen; }

    std::string Request(const std::string& item) override {
        if (!FOpen || FEnded) return {};
        FTopol.Log.push_back("request " + FTopol.Name(FTopic) + ": " + item);
        return FTopol.Answer(FTopic, item);
    }
    bool Execute(const std::string& macro) override {
        if (!FOpen || FEnded) return false;
        return FTopol.Run(FTopic, macro);
    }
    bool HotLink(const std::string& item, std::function<void(const std::string&)> onChange) override {
        if (!FOpen || FEnded) return false;
        FTopol.Log.push_back("advise " + FTopol.Name(FTopic) + ": " + item);
        FLinks[item] = std::move(onChange);
        return true;
    }
    void SetCloseNotification(std::function<void()> onClose) override { FOnClose = std::move(onClose); }

    // The server ends the conversation.
    void End() {
        if (!FOpen || FEnded) return;
        FEnded = true;
        FTopol.FPending.push_back({this, [this] {
            FOpen = false;
            FLinks.clear();
            if (auto notify = FOnClose) notify();
        }});
    }
    void Changed(const std::string& item, const std::string& value) {
        if (!FOpen || FEnded) return;
        auto it = FLinks.find(item);
        if (it == FLinks.end()) return;
        FTopol.FPending.push_back({this, [this, item, value] {
            auto link = FLinks.find(item);
            if (link != FLinks.end()) link->second(value);
        }});
    }
    const std::string& Topic() const { return FTopic; }

private:
    FakeTopol& FTopol;
    std::string FTopic;
    bool FOpen = false;
    bool FEnded = false;
    std::map<std::string, std::function<void(const std::string&)>> FLinks;
    std::function<void()> FOnClose;
};

// --- the fake TopoL ---------------------------------------------------------------------

FakeTopol::FakeTopol() = default;

FakeTopol::~FakeTopol() {
    if (!FConversations.empty()) std::terminate();  // a link outlived its platform
}

std::string FakeTopol::Name(const std::string& topic) const {
    for (const auto& [long_, alias] : TopicAliases)
        if (SameTextAscii(long_, topic)) return alias;
    return topic;
}

bool FakeTopol::Accept(const std::string& topic) {
    if (SameTextAscii(topic, "System")) {
        if (RefuseSystemTimes < 0) return false;
        if (RefuseSystemTimes > 0) {
            --RefuseSystemTimes;
            return false;
        }
        return true;
    }
    for (const auto& refused : RefusedTopics)
        if (SameTextAscii(refused, topic)) return false;
    return true;
}

std::string FakeTopol::Answer(const std::string& topic, const std::string& item) {
    if (OnRequest) {
        if (auto reply = OnRequest(topic, item)) return *reply;
    }
    const bool system = SameTextAscii(topic, "System");
    if (system && item == "Status") {
        if (Busy) return "Busy";
        if (NotReadyReplies > 0) {
            --NotReadyReplies;
            return "Busy";
        }
        return ReadyText;
    }
    if (system && item == "LastError") return LastErrorReply;
    const auto& items = system ? SystemItems : BlockItems;
    auto it = items.find(item);
    return it == items.end() ? std::string() : it->second;
}

bool FakeTopol::Run(const std::string& topic, const std::string& macro) {
    if (RefusedMacros.count(macro)) {
        Log.push_back("refuse execute " + Name(topic) + ": " + macro);
        return false;
    }
    Log.push_back("execute " + Name(topic) + ": " + macro);
    if (OnMacro) OnMacro(topic, macro);
    return true;
}

void FakeTopol::EndSystemConversation() {
    for (FakeConversation* conv : FConversations)
        if (conv->IsOpen() && SameTextAscii(conv->Topic(), "System")) conv->End();
}

void FakeTopol::SetProtocol(const std::string& value) {
    SystemItems["Protocol"] = value;
    for (FakeConversation* conv : FConversations)
        if (SameTextAscii(conv->Topic(), "System")) conv->Changed("Protocol", value);
}

void FakeTopol::Pump() {
    auto pending = std::move(FPending);
    FPending.clear();
    for (auto& [conv, notice] : pending)
        if (std::find(FConversations.begin(), FConversations.end(), conv) != FConversations.end()) notice();
}

TWindowHandle FakeTopol::AddWindow(const std::string& title) {
    Windows.push_back(Window{FNextHandle, title});
    FNextHandle += 0x10;
    return Windows.back().Handle;
}

TWindowHandle FakeTopol::AddTopolWindow() { return AddWindow("TopoL pro Windows, vs. 6 - test"); }

FakeTopol::Window& FakeTopol::WindowOf(TWindowHandle handle) {
    for (auto& w : Windows)
        if (w.Handle == handle) return w;
    throw std::logic_error("no such window");
}

std::vector<std::string> FakeTopol::Commands() const {
    std::vector<std::string> out;
    for (const auto& entry : Log)
        if (entry != "request System: Status" && entry != "request System: LastError") out.push_back(entry);
    return out;
}

std::vector<std::string> FakeTopol::Macros() const {
    std::vector<std::string> out;
    for (const auto& entry : Log)
        if (entry.rfind("execute ", 0) == 0) out.push_back(entry.substr(8));
    return out;
}

int FakeTopol::StatusRequests() const {
    return static_cast<int>(std::count(Log.begin(), Log.end(), std::string("request System: Status")));
}

std::vector<std::string> FakeTopol::OpenTopics() const {
    std::vector<std::string> out;
    for (const FakeConversation* conv : FConversations)
        if (conv->IsOpen()) out.push_back(Name(conv->Topic()));
    return out;
}

std::unique_ptr<IDdeConversation> FakeTopol::CreateConversation() { return std::make_unique<FakeConversation>(*this); }

std::vector<TWindowHandle> FakeTopol::TopLevelWindows() {
    std::vector<TWindowHandle> out;
    for (const auto& w : Windows)
        if (w.Exists) out.push_back(w.Handle);
    return out;
}

std::string FakeTopol::WindowTitle(TWindowHandle window, int bufferSize) {
    for (const auto& w : Windows)
        if (w.Handle == window && w.Exists) return w.Title.substr(0, static_cast<size_t>(bufferSize - 1));
    return {};
}

bool FakeTopol::IsWindow(TWindowHandle window) {
    for (const auto& w : Windows)
        if (w.Handle == window) return w.Exists;
    return false;
}

void FakeTopol::EnableWindow(TWindowHandle window, bool enable) {
    for (auto& w : Windows)
        if (w.Handle == window) w.Enabled = enable;
}

void FakeTopol::PostCloseRequest(TWindowHandle window) {
    Log.push_back(Format("post close %#llx", static_cast<unsigned long long>(window)));
}

namespace {
class FakeProcess : public IProcess {
public:
    explicit FakeProcess(FakeTopol& topol) : FTopol(topol) { ++FTopol.ProcessesAlive; }
    ~FakeProcess() override { --FTopol.ProcessesAlive; }
    bool HasEnded() override {
        int poll = FTopol.ProcessPolls++;
        if (FTopol.WindowAppearsAfterPolls >= 0 && poll == FTopol.WindowAppearsAfterPolls) FTopol.AddTopolWindow();
        return FTopol.ProcessEndsAfterPolls >= 0 && poll >= FTopol.ProcessEndsAfterPolls;
    }

private:
    FakeTopol& FTopol;
};
} // namespace

std::unique_ptr<IProcess> FakeTopol::StartProcess(const std::string& commandLine, const std::string& workingDirectory,
                                                  std::uint32_t creationFlags) {
    Log.push_back(Format("start %s | %s | %#x", commandLine.c_str(), workingDirectory.c_str(), creationFlags));
    if (StartFails) return nullptr;
    return std::make_unique<FakeProcess>(*this);
}

// --- the program's windows -----------------------------------------------------------------

bool FakeApp::AllFormsEnabled() const {
    return std::all_of(Forms.begin(), Forms.end(), [](const Form& f) { return f.Enabled; });
}

bool FakeApp::NoFormEnabled() const {
    return std::none_of(Forms.begin(), Forms.end(), [](const Form& f) { return f.Enabled; });
}

void FakeApp::ProcessMessages() {
    ++Passes;
    FTopol.Pump();
}

void FakeApp::ShowWaitCursor(TCursorKind) { MaxCursorDepth = std::max(MaxCursorDepth, ++CursorDepth); }

void FakeApp::RestoreCursor() { --CursorDepth; }

std::vector<TAppWindow> FakeApp::AppWindows() {
    std::vector<TAppWindow> out;
    for (auto& f : Forms) out.push_back(&f);
    return out;
}

TAppWindow FakeApp::ActiveAppWindow() { return Active < 0 ? nullptr : &Forms[static_cast<size_t>(Active)]; }

void FakeApp::EnableAppWindow(TAppWindow window, bool enable) { static_cast<Form*>(window)->Enabled = enable; }

void FakeApp::FocusAppWindow(TAppWindow window) { Focused.push_back(static_cast<Form*>(window)->Name); }

void FakeApp::ShowMessage(const std::string& text, TMessageIcon icon) { Messages.push_back({text, icon}); }

} // namespace vexa::test
