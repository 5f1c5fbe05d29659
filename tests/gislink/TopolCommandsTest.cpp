// TopoL's command set: item and macro texts, "~" for values not given, reply parsing.
#include "FakeTopol.h"

namespace vexa::test {
namespace {

class CommandTest : public LinkFixture {
protected:
    void SetUp() override {
        Connect();
        block = MakeBlock();
    }
    std::string block;
};

TEST_F(CommandTest, RedrawModeAndActiveBlockAreSystemItems) {
    topol.SystemItems["RedrawMode()"] = "1";
    topol.SystemItems["ActiveBlock"] = "C:\\MAPA\\LE_1";
    EXPECT_EQ(link.RedrawMode(), 1);
    EXPECT_EQ(link.ActiveBlock(), "C:\\MAPA\\LE_1");
    EXPECT_EQ(topol.Commands(), (Lines{"request System: RedrawMode()", "request System: ActiveBlock"}));
    for (const char* bad : {"1,0", "", "Ready", "1.0"}) {  // read whole as one integer
        topol.SystemItems["RedrawMode()"] = bad;
        EXPECT_EQ(MessageOf<EBadNumber>([&] { link.RedrawMode(); }), "Chybné číslo.") << bad;
        EXPECT_EQ(link.LastError(), -7);
    }
}

TEST_F(CommandTest, SimpleSystemMacros) {
    link.SetRedrawMode(0);
    link.SetRedrawMode(2);  // not given: nothing sent
    link.SetRedrawMode(1);
    link.SetViewPort(testkit::MakeRect(-512345.5, -1200000.125, -512000, -1199000.25), 3);
    link.SetMiddle(1.5, -2.25);
    link.SpecPointShow(true);
    link.SpecPointShow(false);
    EXPECT_EQ(topol.Macros(),
              (Lines{"System: SetRedrawMode(0)", "System: SetRedrawMode(1)",
                     "System: SetViewPort(-512345.50,-1200000.12,-512000.00,-1199000.25,3)",
                     "System: SetMiddle(1.50,-2.25)", "System: SpecPointShow(1)", "System: SpecPointShow(0)"}));
}

TEST_F(CommandTest, SpecialPointIndexesRunFromZeroTo650535) {
    link.SpecPointAdd(650535, 255, 7, 10.5, 20, 1);
    link.SpecPointAdd(650536, 255, 7, 10.5, 20, 1);
    link.SpecPointAdd(-1, 255, 7, 10.5, 20, 1);
    link.SpecPointAdd(0, 255, 7, 10.5, 20, 256);
    link.SpecPointAdd(0, 255, 7, 10.5, 20, -1);
    link.SpecPointAdd(0, 65280, -3, -1.004, 2.999, 255);
    link.SpecPointDel(650535);
    link.SpecPointDel(650536);
    link.SpecPointDel(-1);
    link.SpecPointDel(0);
    EXPECT_EQ(topol.Macros(), (Lines{"System: SpecPointAdd(650535,255,7,10.50,20.00,1)",
                                     "System: SpecPointAdd(0,65280,-3,-1.00,3.00,255)", "System: SpecPointDel(650535)",
                                     "System: SpecPointDel(0)"}));
}

TEST_F(CommandTest, ZoomToRectFramesWithRedrawOffAndRestoresTheMode) {
    topol.SystemItems["RedrawMode()"] = "0";
    link.ZoomToRect(testkit::MakeRect(10, 20, 31, 40.5), 0);
    EXPECT_EQ(topol.Commands(),
              (Lines{"request System: RedrawMode()", "execute System: SetRedrawMode(0)",
                     "execute System: SetViewPort(10.00,20.00,31.00,40.50,0)", "execute System: SetRedrawMode(1)",
                     "execute System: SetMiddle(20.50,30.25)", "execute System: SetRedrawMode(0)"}));

    // A saved mode of 2 is "not given": the mode stays at 1.
    topol.Log.clear();
    topol.SystemItems["RedrawMode()"] = "2";
    link.ZoomToRect(testkit::MakeRect(0, 0, 2, 2), 1);
    EXPECT_EQ(topol.Macros(), (Lines{"System: SetRedrawMode(0)", "System: SetViewPort(0.00,0.00,2.00,2.00,1)",
                                     "System: SetRedrawMode(1)", "System: SetMiddle(1.00,1.00)"}));

    // The low byte of the saved mode is written back.
    topol.Log.clear();
    topol.SystemItems["RedrawMode()"] = "257";
    link.ZoomToRect(testkit::MakeRect(0, 0, 2, 2), 1);
    EXPECT_EQ(topol.Macros().back(), "System: SetRedrawMode(1)");
    EXPECT_EQ(topol.Macros().size(), 5u);
}

TEST_F(CommandTest, GeneralDisplaySwitches) {
    topol.SystemItems["DisplaySettings"] = "1,0,2,1,0,1,9";
    EXPECT_EQ(link.GetDisplaySettings(), (TDisplaySwitches{1, 0, 2, 1, 0, 1}));
    topol.SystemItems["DisplaySettings"] = "no open WINDOW";
    EXPECT_EQ(link.GetDisplaySettings(), (TDisplaySwitches{2, 2, 2, 2, 2, 2}));
    topol.SystemItems["DisplaySettings"] = "257,1,1,1,1,1";  // a byte takes the low eight bits
    EXPECT_EQ(link.GetDisplaySettings(), (TDisplaySwitches{1, 1, 1, 1, 1, 1}));
    for (const char* bad : {"1,0,1,0,1", "1,0,x,0,1,1", "1,,1,0,1,1", ""}) {
        topol.SystemItems["DisplaySettings"] = bad;
        EXPECT_THROW(link.GetDisplaySettings(), EBadNumber) << bad;
        EXPECT_EQ(link.LastError(), -7);
    }
    topol.Log.clear();
    link.SetDisplaySettings({2, 2, 2, 2, 2, 2});
    link.SetDisplaySettings({1, 1, 2, 2, 1, 1});
    link.SetDisplaySettings({0, 1, 0, 1, 0, 255});
    EXPECT_EQ(topol.Macros(),
              (Lines{"System: SetDisplaySettings(~,~,~,~,~,~)", "System: SetDisplaySettings(1,1,~,~,1,1)",
                     "System: SetDisplaySettings(0,1,0,1,0,255)"}));
}

TEST_F(CommandTest, GroupDisplaySettingsAreReadFromTheBlockTopic) {
    topol.BlockItems["DisplayLineSettings"] = "1,0,-1,\"a b\",2,0,3000000000";
    EXPECT_EQ(link.GetGroupDisplaySettings(block, egLine), (TBlkDisplaySettings{1, 0, -1, "a b", 2, 0, 3000000000u}));
    EXPECT_EQ(topol.Commands(), (Lines{"connect BLK", "request BLK: DisplayLineSettings", "close BLK"}));

    topol.BlockItems["DisplayPointSettings"] = "0,5,6,~,1,1,255";
    EXPECT_EQ(link.GetGroupDisplaySettings(block, egPoint), (TBlkDisplaySettings{0, 5, 6, "~", 1, 1, 255}));
    topol.BlockItems["DisplayAreaSettings"] = "1,1,1,x,1,1,-1";
    EXPECT_EQ(link.GetGroupDisplaySettings(block, egArea), (TBlkDisplaySettings{1, 1, 1, "x", 1, 1, 0xFFFFFFFFu}));
    topol.BlockItems["DisplayTextSettings"] = "1,7,0";
    EXPECT_EQ(link.GetGroupDisplaySettings(block, egText), (TBlkDisplaySettings{1, 7, -1, "~", 0, 2, 0xFFFFFFFFu}));

    topol.BlockItems["DisplayLineSettings"] = "No open window";
    EXPECT_EQ(link.GetGroupDisplaySettings(block, egLine), DefaultDisplaySettings);

    topol.Log.clear();
    EXPECT_EQ(link.GetGroupDisplaySettings(block, static_cast<TBlkElementGroup>(4)), DefaultDisplaySettings);
    EXPECT_TRUE(topol.Log.empty());

    const std::pair<TBlkElementGroup, const char*> bad[] = {
        {egLine, "1,0,0,~,1"},        // five values
        {egLine, "1,0,0,~,1,1,red"},  // colour not a number
        {egLine, "1,0,0,~,1,1,4294967296"},
        {egArea, "1,x,0,~,1,1,255"},
        {egText, "1,0"},
        {egText, "1,0,~"},
    };
    for (const auto& [group, reply] : bad) {
        topol.BlockItems = {
            {"DisplayLineSettings", reply}, {"DisplayAreaSettings", reply}, {"DisplayTextSettings", reply}};
        EXPECT_THROW(link.GetGroupDisplaySettings(block, group), EBadNumber) << reply;
        EXPECT_EQ(link.LastError(), -7);
    }
}

TEST_F(CommandTest, GroupDisplaySettingsAreWrittenWithTildeForValuesNotGiven) {
    TBlkDisplaySettings marking{1, 0, 0, "~", 2, 2, 255};
    link.SetGroupDisplaySettings(block, egLine, marking);
    link.SetGroupDisplaySettings(block, egText, marking);
    link.SetGroupDisplaySettings(block, egPoint, DefaultDisplaySettings);
    link.SetGroupDisplaySettings(block, egArea, TBlkDisplaySettings{0, 12, -2, "abc", 0, 1, 4000000000u});
    link.SetGroupDisplaySettings(block, static_cast<TBlkElementGroup>(7), marking);
    EXPECT_EQ(topol.Macros(),
              (Lines{"BLK: SetDisplayLineSettings(1,0,0,~,~,~,255)", "BLK: SetDisplayTextSettings(1,0,~)",
                     "BLK: SetDisplayPointSettings(~,~,~,~,~,~,~)",
                     "BLK: SetDisplayAreaSettings(0,12,-2,abc,0,1,4000000000)"}));
}

TEST_F(CommandTest, MarkingRecordsUseTheWireLettersAndSkipTexts) {
    link.CSTAddRec(block, egLine, 12, 255, 3);
    link.CSTAddRec(block, egPoint, 1, 65280, -1);
    link.CSTAddRec(block, egArea, 7, 255, 8);
    link.CSTAddRec(block, egText, 2, 255, 0);
    link.CSTDelRec(block, egLine, 12);
    link.CSTDelRec(block, egPoint, 1);
    link.CSTDelRec(block, egArea, 7);
    link.CSTDelRec(block, egText, 2);
    link.CSTDelRec(block, static_cast<TBlkElementGroup>(4), 2);
    EXPECT_EQ(topol.Macros(),
              (Lines{"BLK: CSTAddRec(L,12,255,3)", "BLK: CSTAddRec(P,1,65280,-1)", "BLK: CSTAddRec(A,7,255,8)",
                     "BLK: CSTDelRec(L,12)", "BLK: CSTDelRec(P,1)", "BLK: CSTDelRec(A,7)"}));
}

TEST_F(CommandTest, CalculateQueryReadsTheVerdictFromProtocol) {
    topol.SystemItems["Protocol"] = "CLCTQR 1 12 elements";
    EXPECT_EQ(link.CalculateQuery(block, egText, 5, 9, "%Paint(255, %BinSymbol)"), "12 elements");
    EXPECT_EQ(topol.Commands(), (Lines{"connect BLK", "execute BLK: CalculateQuery(T,5,9,%Paint(255, %BinSymbol))",
                                       "close BLK", "request System: Protocol"}));

    topol.SystemItems["Protocol"] = "clctqr 1";
    EXPECT_EQ(link.CalculateQuery(block, egLine, 1, 2, "x"), "");
    topol.SystemItems["Protocol"] = "2 no prefix";  // judged by its own first character
    EXPECT_EQ(link.CalculateQuery(block, egArea, 1, 2, "x"), "no prefix");
    EXPECT_EQ(topol.Macros().back(), "BLK: CalculateQuery(A,1,2,x)");

    for (const char* rejected : {"CLCTQR 0", "0 CLCTQR 1", "CLCTQR ", ""}) {
        topol.SystemItems["Protocol"] = rejected;
        EXPECT_EQ(MessageOf<EBadTopas>([&] { link.CalculateQuery(block, egPoint, 1, 2, "x"); }), "Chybný Topas syntax.")
            << rejected;
        EXPECT_EQ(link.LastError(), -9);
    }

    topol.Log.clear();
    EXPECT_EQ(link.CalculateQuery(block, static_cast<TBlkElementGroup>(9), 1, 2, "x"), "");
    EXPECT_EQ(link.CalculateQuery(dir / "LE_9.blk", egText, 1, 2, "x"), "");  // no topic
    EXPECT_EQ(link.LastError(), -4);
    EXPECT_TRUE(topol.Log.empty());
}

TEST_F(CommandTest, OpenBlkSendsTheShortPathWithItsExtension) {
    EXPECT_TRUE(link.OpenBlk(block, true));
    topol.LastErrorReply = "3";
    EXPECT_FALSE(link.OpenBlk(block + "/", false));
    EXPECT_EQ(link.LastError(), 3);
    EXPECT_EQ(topol.Macros(), (Lines{"System: OpenBlk(" + block + ",1)", "System: OpenBlk(" + block + "/,0)"}));

    topol.Log.clear();
    EXPECT_FALSE(link.OpenBlk(dir / "LE_9.blk", true));
    EXPECT_EQ(link.LastError(), -4);
    EXPECT_TRUE(topol.Log.empty());
}

}  // namespace
}  // namespace vexa::test
