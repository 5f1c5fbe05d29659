// ShowElement: the element is read from the block, then TopoL gets the exact sequence
// of items and macros that opens the block, marks the element, moves the view and
// takes the marking away again.
#include "FakeTopol.h"

namespace vexa::test {
namespace {

class ShowElementTest : public LinkFixture {
protected:
    void SetUp() override {
        testkit::BlockSpec content;
        TBlkLine& line = content.AddLine(1, 4, {{100, 200}, {120, 260}, {140, 210}});
        line.DisplayCode = 3;
        TBlkLine& deleted = content.AddLine(2, 4, {{0, 0}, {1, 1}});
        deleted.Flags = 1;
        TBlkPoint point = testkit::MakePoint(1, 6, 1000.25, 2000.5);
        point.DisplayCode = 5;
        content.Points.push_back(point);
        TBlkArea area = testkit::MakeArea(1, 11, 1);
        area.Rect = testkit::MakeRect(10, 20, 50, 80);
        area.RefX = testkit::R(30.5);
        area.RefY = testkit::R(40.25);
        content.Areas.push_back(area);
        TBlkArea deletedArea = testkit::MakeArea(2, 11, 1);
        deletedArea.Flags = 4;
        content.Areas.push_back(deletedArea);
        TBlkText text = testkit::MakeText(1, 9);
        text.Rect = testkit::MakeRect(500, 600, 520, 610);
        content.Texts.push_back(text);
        block = MakeBlock();
        testkit::WriteBlock(block, content);
        topol.SystemItems = {{"ActiveBlock", "C:\\MAPA\\LE_7"},
                             {"DisplaySettings", "0,1,0,1,0,1"},
                             {"RedrawMode()", "1"},
                             {"Protocol", "CLCTQR 1 ok"}};
        topol.BlockItems = {{"DisplayLineSettings", "1,2,3,x,0,1,65280"},
                            {"DisplayPointSettings", "0,1,1,~,1,1,16711680"},
                            {"DisplayAreaSettings", "No open window"},
                            {"DisplayTextSettings", "0,4,1"}};
        Connect();
    }

    // Macros of a ShowElement with the block not yet active in TopoL.
    Lines Expected(const Lines& middle) const {
        Lines out{"System: OpenBlk(" + block + ",1)", "System: SetDisplaySettings(1,1,~,~,1,1)"};
        out.insert(out.end(), middle.begin(), middle.end());
        return out;
    }

    std::string block;
};

const Lines LineZoomScale1 = {"BLK: SetDisplayLineSettings(1,0,0,~,~,~,255)",
                              "BLK: CSTAddRec(L,1,255,3)",
                              "System: SetRedrawMode(0)",
                              "System: SetViewPort(100.00,200.00,140.00,260.00,0)",
                              "System: SetRedrawMode(1)",
                              "System: SetMiddle(120.00,230.00)",
                              "System: SetRedrawMode(1)",
                              "BLK: CSTDelRec(L,1)",
                              "BLK: SetDisplayLineSettings(1,2,3,x,0,1,65280)",
                              "System: SetDisplaySettings(0,1,0,1,0,1)"};

TEST_F(ShowElementTest, ALineInItsFullOrder) {
    link.ShowElement(block, egLine, 1, 1.0, 255, 10.0, true);
    EXPECT_EQ(topol.Commands(), (Lines{"request System: ActiveBlock",
                                       "execute System: OpenBlk(" + block + ",1)",
                                       "request System: DisplaySettings",
                                       "execute System: SetDisplaySettings(1,1,~,~,1,1)",
                                       "connect BLK",
                                       "request BLK: DisplayLineSettings",
                                       "close BLK",
                                       "connect BLK",
                                       "execute BLK: SetDisplayLineSettings(1,0,0,~,~,~,255)",
                                       "close BLK",
                                       "connect BLK",
                                       "execute BLK: CSTAddRec(L,1,255,3)",
                                       "close BLK",
                                       "request System: RedrawMode()",
                                       "execute System: SetRedrawMode(0)",
                                       "execute System: SetViewPort(100.00,200.00,140.00,260.00,0)",
                                       "execute System: SetRedrawMode(1)",
                                       "execute System: SetMiddle(120.00,230.00)",
                                       "execute System: SetRedrawMode(1)",
                                       "connect BLK",
                                       "execute BLK: CSTDelRec(L,1)",
                                       "close BLK",
                                       "connect BLK",
                                       "execute BLK: SetDisplayLineSettings(1,2,3,x,0,1,65280)",
                                       "close BLK",
                                       "execute System: SetDisplaySettings(0,1,0,1,0,1)"}));
    EXPECT_TRUE(app.Messages.empty());
    ExpectRestored();
}

TEST_F(ShowElementTest, ScaleShrinksOrWidensTheFrameAroundTheCentreAndWithoutZoomOnlyTheMiddleMoves) {
    const std::pair<double, const char*> cases[] = {
        {1.0, "System: SetViewPort(100.00,200.00,140.00,260.00,0)"},
        {2.0, "System: SetViewPort(110.00,215.00,130.00,245.00,0)"},  // half as wide and high
        {-2.0, "System: SetViewPort(80.00,170.00,160.00,290.00,0)"},  // twice as wide and high
        {0.0, "System: SetViewPort(100.00,200.00,140.00,260.00,0)"},  // the element's own rectangle
        {-4.0, "System: SetViewPort(40.00,110.00,200.00,350.00,0)"},
    };
    for (const auto& [scale, viewPort] : cases) {
        SCOPED_TRACE(scale);
        topol.Log.clear();
        link.ShowElement(block, egLine, 1, scale, 255, 10.0, true);
        Lines expected = Expected(LineZoomScale1);
        expected[5] = viewPort;
        EXPECT_EQ(topol.Macros(), expected);

        topol.Log.clear();
        link.ShowElement(block, egLine, 1, scale, 255, 10.0, false);
        EXPECT_EQ(topol.Macros(), Expected({"BLK: SetDisplayLineSettings(1,0,0,~,~,~,255)", "BLK: CSTAddRec(L,1,255,3)",
                                            "System: SetMiddle(120.00,230.00)", "BLK: CSTDelRec(L,1)",
                                            "BLK: SetDisplayLineSettings(1,2,3,x,0,1,65280)",
                                            "System: SetDisplaySettings(0,1,0,1,0,1)"}));
        EXPECT_EQ(topol.Count("request System: RedrawMode()"), 0);
    }
}

TEST_F(ShowElementTest, APointIsFramedByItsMargin) {
    struct Case {
        double scale, margin;
        const char* viewPort;
    } cases[] = {
        {1.0, 0.0, "System: SetViewPort(999.25,1999.50,1001.25,2001.50,0)"},    // side 2
        {1.0, -10.0, "System: SetViewPort(990.25,1990.50,1010.25,2010.50,0)"},  // side 20
        {1.0, 10.0, "System: SetViewPort(990.25,1990.50,1010.25,2010.50,0)"},
        {2.0, -10.0, "System: SetViewPort(995.25,1995.50,1005.25,2005.50,0)"},  // scale 2 halves the square
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.margin);
        topol.Log.clear();
        link.ShowElement(block, egPoint, 1, c.scale, 65280, c.margin, true);
        EXPECT_EQ(topol.Macros(),
                  Expected({"BLK: SetDisplayPointSettings(1,0,0,~,~,~,65280)", "BLK: CSTAddRec(P,1,65280,5)",
                            "System: SetRedrawMode(0)", c.viewPort, "System: SetRedrawMode(1)",
                            "System: SetMiddle(1000.25,2000.50)", "System: SetRedrawMode(1)", "BLK: CSTDelRec(P,1)",
                            "BLK: SetDisplayPointSettings(0,1,1,~,1,1,16711680)",
                            "System: SetDisplaySettings(0,1,0,1,0,1)"}));
    }
}

TEST_F(ShowElementTest, AnAreaGetsASpecialPointAtItsReferencePointForTheView) {
    link.ShowElement(block, egArea, 1, 1.0, 255, 10.0, true);
    EXPECT_EQ(topol.Macros(), Expected({"BLK: SetDisplayAreaSettings(1,0,0,~,~,~,255)", "BLK: CSTAddRec(A,1,255,8)",
                                        "System: SpecPointAdd(0,255,7,30.50,40.25,1)", "System: SpecPointShow(1)",
                                        "System: SetRedrawMode(0)", "System: SetViewPort(10.00,20.00,50.00,80.00,0)",
                                        "System: SetRedrawMode(1)", "System: SetMiddle(30.00,50.00)",
                                        "System: SetRedrawMode(1)", "System: SpecPointDel(0)", "BLK: CSTDelRec(A,1)",
                                        "BLK: SetDisplayAreaSettings(~,~,~,~,~,~,~)",  // "No open window" was saved
                                        "System: SetDisplaySettings(0,1,0,1,0,1)"}));

    topol.Log.clear();
    link.ShowElement(block, egArea, 1, 0.0, 255, 10.0, false);
    EXPECT_EQ(topol.Macros(),
              Expected({"BLK: SetDisplayAreaSettings(1,0,0,~,~,~,255)", "BLK: CSTAddRec(A,1,255,8)",
                        "System: SpecPointAdd(0,255,7,30.50,40.25,1)", "System: SpecPointShow(1)",
                        "System: SetMiddle(30.00,50.00)", "System: SpecPointDel(0)", "BLK: CSTDelRec(A,1)",
                        "BLK: SetDisplayAreaSettings(~,~,~,~,~,~,~)", "System: SetDisplaySettings(0,1,0,1,0,1)"}));
}

TEST_F(ShowElementTest, ATextIsPaintedByOneQueryInsteadOfMarkingRecords) {
    link.ShowElement(block, egText, 1, 2.0, 255, 10.0, true);
    EXPECT_EQ(topol.Macros(),
              Expected({"BLK: SetDisplayTextSettings(1,0,~)", "System: SetRedrawMode(0)",
                        "System: SetViewPort(505.00,602.50,515.00,607.50,0)", "System: SetRedrawMode(1)",
                        "System: SetMiddle(510.00,605.00)", "System: SetRedrawMode(1)",
                        "BLK: CalculateQuery(T,9,1,%Paint(255, %BinSymbol))", "BLK: SetDisplayTextSettings(0,4,1)",
                        "System: SetDisplaySettings(0,1,0,1,0,1)"}));
    EXPECT_EQ(topol.Count("request System: Protocol"), 1);
    EXPECT_EQ(topol.Count("request BLK: DisplayTextSettings"), 1);
}

TEST_F(ShowElementTest, TheActiveBlockIsNotOpenedAgainAndATrailingDelimiterIsIgnored) {
    link.ShowElement(block + "/", egLine, 1, 1.0, 255, 10.0, true);
    EXPECT_EQ(topol.Macros(), Expected(LineZoomScale1));

    topol.Log.clear();
    topol.SystemItems["ActiveBlock"] = UpperAscii(dir / "LE_1");
    link.ShowElement(block, egLine, 1, 1.0, 255, 10.0, true);
    Lines expected = Expected(LineZoomScale1);
    expected.erase(expected.begin());
    EXPECT_EQ(topol.Macros(), expected);
}

TEST_F(ShowElementTest, AMissingOrDeletedElementIsReportedAndNothingIsSent) {
    struct Case {
        TBlkElementGroup group;
        std::int32_t number;
        std::string block;
    } cases[] = {{egLine, 2, block},
                 {egLine, 99, block},
                 {egArea, 2, block},
                 {egPoint, 0, block},
                 {egText, 2, block},
                 {static_cast<TBlkElementGroup>(5), 1, block},
                 // A block directory that does not exist: opening creates an empty block.
                 {egLine, 1, dir / "LE_5.blk"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        app.Messages.clear();
        link.ShowElement(c.block, c.group, c.number, 1.0, 255, 10.0, true);
        ExpectMessage("Prvok nebol nájdený.", TMessageIcon::Information);
    }
    EXPECT_TRUE(topol.Log.empty());
}

TEST_F(ShowElementTest, ALinkThatIsNotConnectedDoesNothingAtAll) {
    TTopolDDEObj idle(topol, topol, app);
    idle.ShowElement(dir / "LE_6.blk", egLine, 1, 1.0, 255, 10.0, true);
    EXPECT_FALSE(std::filesystem::exists(dir / "LE_6.blk"));  // not even the block was read
    EXPECT_TRUE(app.Messages.empty());
    EXPECT_TRUE(topol.Log.empty());
}

TEST_F(ShowElementTest, ABlockTopoLCannotOpenEndsTheShow) {
    topol.OnMacro = [&](const std::string&, const std::string& macro) {
        if (macro.rfind("OpenBlk(", 0) == 0) topol.LastErrorReply = "12";
    };
    link.ShowElement(block, egLine, 1, 1.0, 255, 10.0, true);
    EXPECT_EQ(topol.Macros(), Lines{"System: OpenBlk(" + block + ",1)"});
    EXPECT_EQ(link.LastError(), 12);
}

TEST_F(ShowElementTest, AFailedMarkingIsStillUndone) {
    topol.RefusedMacros = {"CSTAddRec(L,1,255,3)"};
    EXPECT_THROW(link.ShowElement(block, egLine, 1, 1.0, 255, 10.0, true), EMacroNotExecute);
    EXPECT_EQ(topol.Macros(),
              Expected({"BLK: SetDisplayLineSettings(1,0,0,~,~,~,255)", "BLK: CSTDelRec(L,1)",
                        "BLK: SetDisplayLineSettings(1,2,3,x,0,1,65280)", "System: SetDisplaySettings(0,1,0,1,0,1)"}));
    EXPECT_EQ(topol.OpenTopics(), Lines{"System"});

    // A text whose query is rejected: the settings are written back as well.
    topol.RefusedMacros.clear();
    topol.Log.clear();
    topol.SystemItems["Protocol"] = "CLCTQR 0";
    EXPECT_THROW(link.ShowElement(block, egText, 1, 1.0, 255, 10.0, false), EBadTopas);
    EXPECT_EQ(topol.Macros(),
              Expected({"BLK: SetDisplayTextSettings(1,0,~)", "System: SetMiddle(510.00,605.00)",
                        "BLK: CalculateQuery(T,9,1,%Paint(255, %BinSymbol))", "BLK: SetDisplayTextSettings(0,4,1)",
                        "System: SetDisplaySettings(0,1,0,1,0,1)"}));
    EXPECT_EQ(link.LastError(), 0);  // the undo's transactions ran after the rejection
}

TEST_F(ShowElementTest, UnreadableGroupSettingsLeaveTheGeneralSwitchesAsSet) {
    topol.BlockItems["DisplayLineSettings"] = "1,2,3";
    EXPECT_THROW(link.ShowElement(block, egLine, 1, 1.0, 255, 10.0, true), EBadNumber);
    EXPECT_EQ(topol.Macros(), Expected({}));
    EXPECT_EQ(link.LastError(), -7);
}

TEST_F(ShowElementTest, ABusyTopolInTheMiddleOfTheMarkingTimesOutAndTheUndoRaisesAgain) {
    topol.OnMacro = [&](const std::string&, const std::string& macro) {
        if (macro.rfind("CSTAddRec", 0) == 0) topol.Busy = true;
    };
    EXPECT_THROW(link.ShowElement(block, egLine, 1, 1.0, 255, 10.0, true), ETimeOut);
    EXPECT_EQ(link.LastError(), -3);
    EXPECT_EQ(topol.Macros().back(), "BLK: CSTAddRec(L,1,255,3)");
    ExpectRestored();
    EXPECT_EQ(topol.OpenTopics(), Lines{"System"});
}

TEST_F(ShowElementTest, ALostConversationEndsTheShowWithOneWarning) {
    topol.OnMacro = [&](const std::string&, const std::string& macro) {
        if (macro.rfind("CSTAddRec", 0) == 0) topol.EndSystemConversation();
    };
    EXPECT_THROW(link.ShowElement(block, egLine, 1, 1.0, 255, 10.0, true), ESvrNotConnected);
    EXPECT_FALSE(link.Connected());
    ExpectMessage("Komunikácia s Topolom bola prerušená.", TMessageIcon::Warning);
    EXPECT_EQ(topol.Macros().back(), "BLK: CSTAddRec(L,1,255,3)");
    ExpectRestored();
}

}  // namespace
}  // namespace vexa::test
