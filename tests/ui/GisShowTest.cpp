#include "ui/GisShow.h"

#include <gtest/gtest.h>

using namespace vexa;

namespace {

struct FakeConversation : IDdeConversation {
    explicit FakeConversation(int& opens) : Opens(opens) {}
    bool Open(const std::string&, const std::string&) override { return ++Opens, false; }
    void Close() override {}
    bool IsOpen() const override { return false; }
    std::string Request(const std::string&) override { return {}; }
    bool Execute(const std::string&) override { return false; }
    bool HotLink(const std::string&, std::function<void(const std::string&)>) override { return false; }
    void SetCloseNotification(std::function<void()>) override {}
    int& Opens;
};

struct FakeDde : IDdeClient {
    std::unique_ptr<IDdeConversation> CreateConversation() override {
        ++Created;
        return std::make_unique<FakeConversation>(Opens);
    }
    int Created = 0;
    int Opens = 0;
};

struct FakeSystem : ISystemWindows {
    std::vector<std::string> Titles;
    std::vector<TWindowHandle> TopLevelWindows() override {
        std::vector<TWindowHandle> w;
        for (size_t i = 0; i < Titles.size(); ++i) w.push_back(i + 1);
        return w;
    }
    std::string WindowTitle(TWindowHandle window, int) override { return Titles.at(window - 1); }
    bool IsWindow(TWindowHandle window) override { return window >= 1 && window <= Titles.size(); }
    void EnableWindow(TWindowHandle, bool) override {}
    void PostCloseRequest(TWindowHandle) override {}
    std::unique_ptr<IProcess> StartProcess(const std::string& commandLine, const std::string&, std::uint32_t) override {
        Started.push_back(commandLine);
        return nullptr;
    }
    std::uint64_t TickCount() override { return 0; }
    void Sleep(unsigned) override {}
    std::vector<std::string> Started;
};

struct FakeApp : IAppWindows {
    void ProcessMessages() override {}
    void ShowWaitCursor(TCursorKind) override {}
    void RestoreCursor() override {}
    std::vector<TAppWindow> AppWindows() override { return {}; }
    TAppWindow ActiveAppWindow() override { return nullptr; }
    void EnableAppWindow(TAppWindow, bool) override {}
    void FocusAppWindow(TAppWindow) override {}
    void ShowMessage(const std::string& text, TMessageIcon icon) override { Messages.emplace_back(text, icon); }
    void TerminateApplication() override {}
    std::vector<std::pair<std::string, TMessageIcon>> Messages;
};

const TShowRequest kRequest{"/maps/m/LE_00001.blk", 0, 7};

} // namespace

TEST(GisShow, WithoutARunningGisAsksToStartIt) {
    FakeDde dde;
    FakeSystem system;
    system.Titles = {"Editor", "TopoL pre Windows"};  // not the GIS's title
    FakeApp app;
    EXPECT_EQ(ShowInGis(dde, system, app, kRequest, 1.0, 0xFF, true), TGisShowOutcome::NotRunning);
    ASSERT_EQ(app.Messages.size(), 1u);
    EXPECT_EQ(app.Messages[0].first, "Spusti Topol 6.x.");
    EXPECT_EQ(app.Messages[0].second, TMessageIcon::Information);
    EXPECT_EQ(dde.Opens, 0);         // nothing was asked of a DDE server
    EXPECT_TRUE(system.Started.empty());  // and nothing started
}

TEST(GisShow, ARefusingServerEndsTheRequestWithTheLinksMessage) {
    FakeDde dde;
    FakeSystem system;
    system.Titles = {"TopoL pro Windows, vs. 6.0 - mapa"};
    FakeApp app;
    EXPECT_EQ(ShowInGis(dde, system, app, kRequest, 2.0, 0xFF, false), TGisShowOutcome::NotConnected);
    EXPECT_EQ(dde.Opens, 10);  // the link's connection attempts, the running GIS joined
    EXPECT_TRUE(system.Started.empty());
    ASSERT_EQ(app.Messages.size(), 1u);
    EXPECT_EQ(app.Messages[0].first, "Topol server nekomunikuje.");
}
