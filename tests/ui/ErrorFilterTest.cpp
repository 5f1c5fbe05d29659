// The error browser's decisions without a window: filters, counter, scale, show requests.
#include "ui/ErrorFilter.h"
#include "ui/GisShow.h"

#include <gtest/gtest.h>

using namespace vexa;
using S = std::vector<std::string>;

TEST(ErrorFilter, GroupAndTypeItemsAsListed) {
    EXPECT_EQ(GroupItems(), (S{"všetky", "linie", "body", "texty", "plochy"}));
    EXPECT_EQ(TypeItems(0), S{});
    EXPECT_EQ(TypeItems(1),
              (S{"všetky", "prípustnosť", "krivky", "mimo MBR", "duplikátne", "zhoda plôch", "dľžka", "databáza"}));
    EXPECT_EQ(TypeItems(2), (S{"všetky", "prípustnosť", "uhol", "databáza"}));
    EXPECT_EQ(TypeItems(3), (S{"všetky", "prípustnosť", "uhol"}));  // texts have no database type
    EXPECT_EQ(TypeItems(4), (S{"všetky", "prípustnosť", "topológia", "plocha", "databáza"}));
    EXPECT_EQ(TypeItems(5), S{});
}

TEST(ErrorFilter, ExpressionsForEveryCodeOfTheTable) {
    EXPECT_EQ(GroupFilter(0), std::nullopt);
    const S groups = {"", "Prvok = 'L'", "Prvok = 'B'", "Prvok = 'T'", "Prvok = 'P'"};
    const std::vector<std::vector<int>> codes = {
        {}, {-11, -12, -13, -14, -73, -15, -91}, {-31, -32, -92}, {-51, -52}, {-71, -72, -74, -93}};
    for (int g = 1; g <= 4; ++g) {
        EXPECT_EQ(GroupFilter(g), groups[g]);
        EXPECT_EQ(TypeFilter(g, 0), groups[g]);
        for (size_t t = 0; t < codes[g].size(); ++t)
            EXPECT_EQ(TypeFilter(g, static_cast<int>(t) + 1),
                      "Id = " + std::to_string(codes[g][t]) + " and " + groups[g]);
    }
    EXPECT_EQ(TypeFilter(1, 5), "Id = -73 and Prvok = 'L'");
    EXPECT_EQ(TypeFilter(0, 1), std::nullopt);
    EXPECT_EQ(TypeFilter(3, 3), std::nullopt);
    EXPECT_EQ(QuotedText("a'b"), "'a''b'");
    EXPECT_EQ(RecordCounterText(2, 3), "Záznam: 2/3");
    EXPECT_EQ(RecordCounterText(0, 0), "");
}

// The search folds letter case and the diacritics of Slovak (and its neighbours) on both sides.
TEST(ErrorFilter, SearchFoldsCaseAndDiacritics) {
    EXPECT_EQ(SearchFolded("Podlimitná DĹŽKA"), "podlimitna dlzka");
    EXPECT_EQ(SearchFolded("áäčďéíĺľňóôŕšťúýž ÁÄČĎÉÍĹĽŇÓÔŔŠŤÚÝŽ"), "aacdeillnoorstuyz aacdeillnoorstuyz");
    EXPECT_EQ(SearchFolded("ěřůöüőű ĚŘŮÖÜŐŰ"), "eruouou eruouou");  // Czech, Hungarian, German
    EXPECT_EQ(SearchFolded("Straße Æ œ"), "strasse ae oe");
    EXPECT_EQ(SearchFolded("× ÷ Þ"), "× ÷ þ");  // signs stay; a capital without a base letter: its small one
    EXPECT_EQ(SearchFolded("LE_0'01.blk B:17 -73"), "le_0'01.blk b:17 -73");
    EXPECT_EQ(SearchFolded("a\xe9z\xc4"), "a\xe9z\xc4") << "stray bytes stay";
    EXPECT_EQ(SearchFolded("Ωλ €"), "Ωλ €") << "other scripts and signs as they are";
}

TEST(ErrorFilter, RowFilterComposesGroupTypeBlockAndSearch) {
    const TErrorRowFilter none = TErrorRowFilter::Of(0, -1, "", "  ");
    EXPECT_TRUE(none.Empty());
    EXPECT_EQ(none.Expression(), "");
    EXPECT_TRUE(none.MatchesFields("B", -31, "LE_00001.blk"));

    const TErrorRowFilter lines = TErrorRowFilter::Of(1, 0, "", "");
    EXPECT_EQ(lines.Expression(), "Prvok = 'L'");
    EXPECT_TRUE(lines.MatchesFields("L", -11, "x"));
    EXPECT_FALSE(lines.MatchesFields("B", -11, "x"));
    EXPECT_FALSE(lines.MatchesFields("", std::nullopt, "x"));

    // Type 5 of lines: "zhoda plôch" (-73); the block's name with a quote, doubled in the expression.
    const TErrorRowFilter f = TErrorRowFilter::Of(1, 5, "LE_0'01.blk", "Dĺžka  b:1");
    EXPECT_EQ(f.Expression(), "Id = -73 and Prvok = 'L' and Blok = 'LE_0''01.blk'");
    EXPECT_EQ(f.Words, (std::vector<std::string>{"dlzka", "b:1"}));
    EXPECT_TRUE(f.MatchesFields("L", -73, "LE_0'01.blk"));
    EXPECT_FALSE(f.MatchesFields("L", -73, "LE_0'01.blk ")) << "the block as the table holds it";
    EXPECT_FALSE(f.MatchesFields("L", -73, "LE_0"));
    EXPECT_FALSE(f.MatchesFields("L", -11, "LE_0'01.blk"));
    EXPECT_FALSE(f.MatchesFields("L", std::nullopt, "LE_0'01.blk"));
    EXPECT_TRUE(TErrorRowFilter::Of(0, 0, "LE_0'01.blk", "").MatchesFields("T", -51, "LE_0'01.blk"));

    // Every word somewhere in the row: its block, its element (group:number) or its text.
    const std::string key = SearchKey("LE_00012.blk", "B", "17", "podlimitná dĺžka");
    EXPECT_TRUE(TErrorRowFilter::Of(0, 0, "", "DLZKA").MatchesSearch(key));
    EXPECT_TRUE(TErrorRowFilter::Of(0, 0, "", "le_00012 dĺžka").MatchesSearch(key));
    EXPECT_TRUE(TErrorRowFilter::Of(0, 0, "", "b:17").MatchesSearch(key));
    EXPECT_TRUE(TErrorRowFilter::Of(0, 0, "", "17").MatchesSearch(key));
    EXPECT_FALSE(TErrorRowFilter::Of(0, 0, "", "b:18").MatchesSearch(key));
    EXPECT_FALSE(TErrorRowFilter::Of(0, 0, "", "dĺžka krivka").MatchesSearch(key)) << "each word must be found";
    EXPECT_FALSE(TErrorRowFilter::Of(0, 0, "", "blkb").MatchesSearch(key)) << "no word spans two parts";
    EXPECT_TRUE(TErrorRowFilter::Of(0, 0, "", "").MatchesSearch(key));
}

TEST(ErrorFilter, CounterNamesTheRowsSelected) {
    EXPECT_EQ(RecordCounterText(2, 30, 1), "Záznam: 2/30");
    EXPECT_EQ(RecordCounterText(2, 30, 5), "Záznam: 2/30, vybrané: 5");
    EXPECT_EQ(RecordCounterText(0, 0, 5), "");
}

TEST(ErrorFilter, ScaleFollowsTheButtons) {
    TShowScale s;
    EXPECT_DOUBLE_EQ(s.Scale(), 1.0);
    EXPECT_TRUE(s.Zoom());
    s.ShowAtScaleOne();
    s.ZoomIn();
    s.ZoomIn();
    EXPECT_DOUBLE_EQ(s.Scale(), 4.0);
    s.ZoomOut();
    EXPECT_DOUBLE_EQ(s.Scale(), 2.0);
    EXPECT_FALSE(s.SetZoom(false));  // turning positioning off sends nothing, keeps the scale
    EXPECT_DOUBLE_EQ(s.Scale(), 2.0);
    EXPECT_FALSE(s.ZoomButtonsEnabled());
    EXPECT_TRUE(s.SetZoom(true));
    EXPECT_DOUBLE_EQ(s.Scale(), 1.0);
    EXPECT_TRUE(s.ZoomButtonsEnabled());
}

TEST(ErrorFilter, ShowRequestOnlyForANumberedElementOfAKnownGroup) {
    const std::string map = "/maps/m1/";
    const std::string b = "b";
    EXPECT_EQ(ShowRequestFor(map, 12.0, std::string("LE_00001.blk"), std::string("L")),
              (TShowRequest{"/maps/m1/LE_00001.blk", 0, 12}));
    EXPECT_EQ(ShowRequestFor(map, 3.0, std::string("PO_1.blk  "), std::string("P")),
              (TShowRequest{"/maps/m1/PO_1.blk", 2, 3}));
    EXPECT_EQ(ShowRequestFor(map, 3.0, b, std::string("B"))->Kind, 1);
    EXPECT_EQ(ShowRequestFor(map, 3.0, b, std::string("T"))->Kind, 3);
    const std::pair<TValue, TValue> refused[] = {
        {TValue{}, std::string("L")}, {0.0, std::string("L")}, {-4.0, std::string("L")},
        {4.0, std::string("X")},      {4.0, TValue{}},         {1e12, std::string("L")}};
    for (const auto& [cislo, prvok] : refused) EXPECT_EQ(ShowRequestFor(map, cislo, b, prvok), std::nullopt);
}

namespace {
// A DDE client whose every conversation refuses to open, and a desktop with the given windows.
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
        return std::make_unique<FakeConversation>(Opens);
    }
    int Opens = 0;
};
struct FakeSystem : ISystemWindows {
    std::vector<std::string> Titles, Started;
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
}  // namespace

TEST(GisShow, WithoutAGisAsksToStartItAndARefusingServerEndsTheRequest) {
    struct Case {
        S titles;
        TGisShowOutcome outcome;
        int opens;  // the link's connection attempts; none without a running GIS
        const char* message;
        TMessageIcon icon;
    };
    const Case cases[] = {{{"Editor", "TopoL pre Windows"},
                           TGisShowOutcome::NotRunning,
                           0,
                           "Spusti Topol 6.x.",
                           TMessageIcon::Information},
                          {{"TopoL pro Windows, vs. 6.0 - mapa"},
                           TGisShowOutcome::NotConnected,
                           10,
                           "Topol server nekomunikuje.",
                           TMessageIcon::Error}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        FakeDde dde;
        FakeSystem system;
        system.Titles = c.titles;
        FakeApp app;
        EXPECT_EQ(ShowInGis(dde, system, app, TShowRequest{"/maps/m/LE_00001.blk", 0, 7}, 1.0, 0xFF, true), c.outcome);
        EXPECT_EQ(dde.Opens, c.opens);
        EXPECT_TRUE(system.Started.empty());  // the GIS is never started from here
        ASSERT_EQ(app.Messages.size(), 1u);
        EXPECT_EQ(app.Messages[0].first, c.message);
        EXPECT_EQ(app.Messages[0].second, c.icon);
    }
}
