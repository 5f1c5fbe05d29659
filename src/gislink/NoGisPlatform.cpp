// The platform objects where no TopoL can run: the window search finds nothing,
// no conversation is ever accepted and no program can be started.
#ifndef _WIN32
#include "gislink/GisPlatform.h"

#include <chrono>
#include <thread>

namespace vexa {

namespace {

class NoGisConversation : public IDdeConversation {
public:
    bool Open(const std::string&, const std::string&) override { return false; }
    void Close() override {}
    bool IsOpen() const override { return false; }
    std::string Request(const std::string&) override { return {}; }
    bool Execute(const std::string&) override { return false; }
    bool HotLink(const std::string&, std::function<void(const std::string&)>) override { return false; }
    void SetCloseNotification(std::function<void()>) override {}
};

class NoGisDdeClient : public IDdeClient {
public:
    std::unique_ptr<IDdeConversation> CreateConversation() override { return std::make_unique<NoGisConversation>(); }
    bool Available() const override { return false; }
};

class NoGisSystemWindows : public ISystemWindows {
public:
    std::vector<TWindowHandle> TopLevelWindows() override { return {}; }
    std::string WindowTitle(TWindowHandle, int) override { return {}; }
    bool IsWindow(TWindowHandle) override { return false; }
    void EnableWindow(TWindowHandle, bool) override {}
    void PostCloseRequest(TWindowHandle) override {}
    std::unique_ptr<IProcess> StartProcess(const std::string&, const std::string&, std::uint32_t) override {
        return nullptr;
    }
    std::uint64_t TickCount() override {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    }
    void Sleep(unsigned milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
};

}  // namespace

std::unique_ptr<IDdeClient> CreateNativeDdeClient() { return std::make_unique<NoGisDdeClient>(); }
std::unique_ptr<ISystemWindows> CreateNativeSystemWindows() { return std::make_unique<NoGisSystemWindows>(); }

}  // namespace vexa
#endif
