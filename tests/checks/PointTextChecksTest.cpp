// The point and text passes: admissibility, rotation ranges, precedence, the
// header stamp, the gauge, the message loop and the error table on failures; and
// for every pass: no options or no elements touch nothing.
#include "checks/CheckTestSupport.h"
#include "run/OptionMasks.h"

#include <functional>

using namespace vexa;
using namespace vexa::checkstest;
using testkit::MakePoint;
using testkit::MakeText;

namespace {

constexpr std::int16_t kZeroAnglePoint = 5;  // admissible in LE only, must lie unrotated
constexpr std::int16_t kFreePoint = 6;       // admissible in LE and HR, any rotation
constexpr std::int16_t kZeroAngleText = 3;   // admissible in LE only, must lie unrotated
constexpr std::int16_t kPoText = 4;          // admissible in PO only
const char* kInadmissible = "neprípustný druh vo vrstve";

class PointChecks : public CheckFixture {};
class TextChecks : public CheckFixture {};
class EveryPass : public CheckFixture {};

TEST_F(EveryPass, NoOptionsOrNoElementsTouchesNothing) {
    using Pass = std::function<int(TBlkStandardGXD&, TBlk&, std::uint16_t mask)>;
    struct Case {
        const char* Name;
        testkit::BlockSpec Content;  // elements every option of the pass would report
        std::string File;            // the pass's element file and the offset of its header time
        std::size_t TimeOffset;
        std::uint16_t All;
        Pass Run;
    };
    testkit::BlockSpec lines, points, texts, areas;
    lines.AddLine(1, 99, {{0, 0}, {10, 5}, {20, 0}}).Flags = 4;
    points.Points.push_back(MakePoint(1, 99, 0, 0, 100));
    texts.Texts.push_back(MakeText(1, 77, 1.0L));
    testkit::AddAreaGrid(areas, StandGrid(1, 1));
    areas.Areas[0].Kind = 99;
    const std::vector<Case> cases = {
        {"lines", lines, "tn.lin", 15, LinAll, [](auto& s, auto& b, auto m) { return s.CheckLines(b, m, 1000); }},
        {"points", points, "tn.pnt", 13, BodAll, [](auto& s, auto& b, auto m) { return s.CheckPoints(b, m); }},
        {"texts", texts, "tn.tbx", 7, TxbAll, [](auto& s, auto& b, auto m) { return s.CheckTexts(b, m); }},
        {"areas", areas, "tn.are", 12, PloAll, [](auto& s, auto& b, auto m) { return s.CheckAreas(b, m, 1e9); }},
    };
    Standard->SetGauge(&Gauge);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string path = Write(c.Content);
        std::string empty = Write(testkit::BlockSpec{}, "LE_2.blk");
        Open();
        EXPECT_EQ(c.Run(*Standard, Blk, 0), 0);
        EXPECT_EQ(HeaderTime(path + "/" + c.File, c.TimeOffset), 0u);
        Open("LE_2.blk");
        EXPECT_EQ(c.Run(*Standard, Blk, c.All), 0);
        EXPECT_EQ(HeaderTime(empty + "/" + c.File, c.TimeOffset), 0u);
        Blk.Close();
    }
    EXPECT_EQ(UI.Messages, 0);
    EXPECT_EQ(UI.Shown, 0);
    EXPECT_TRUE(Rows().empty());
}

TEST_F(PointChecks, RotationRangeOfZeroAngleKinds) {
    testkit::BlockSpec content;
    content.Points = {MakePoint(1, kZeroAnglePoint, 10, 10, 0.05L),  MakePoint(2, kZeroAnglePoint, 10, 10, 0.1L),
                      MakePoint(3, kZeroAnglePoint, 10, 10, 399.9L), MakePoint(4, kZeroAnglePoint, 10, 10, 399.95L),
                      MakePoint(5, kZeroAnglePoint, 10, 10, -100),   MakePoint(6, kZeroAnglePoint, 10, 10, 200),
                      MakePoint(7, kFreePoint, 10, 10, 200),         MakePoint(8, kZeroAnglePoint, 10, 10, 0)};
    std::string path = Write(content);
    Open();
    Standard->SetGauge(&Gauge);
    EXPECT_EQ(Standard->CheckPoints(Blk, BodUhol), 3);
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-32, "LE_1.blk", "B", 5, 2, "uhol otočenia"),
                                                 Finding(-32, "LE_1.blk", "B", 5, 3, "uhol otočenia"),
                                                 Finding(-32, "LE_1.blk", "B", 5, 6, "uhol otočenia")}))
        << Describe(Rows());
    EXPECT_NE(HeaderTime(path + "/tn.pnt", 13), 0u) << "the pass stamps the header";
    EXPECT_EQ(Gauge.Maximum(), 8);
    EXPECT_EQ(Gauge.Progress(), 8);
    EXPECT_EQ(UI.Messages, 8);
    EXPECT_EQ(UI.Shown, 1);
    EXPECT_EQ(UI.Depth, 0);
}

TEST_F(PointChecks, AdmissibilityComesFirstAndRotationAloneIgnoresItAndDeletedPointsNeverCount) {
    testkit::BlockSpec content;
    content.Points = {MakePoint(1, kZeroAnglePoint, 0, 0, 100), MakePoint(2, kFreePoint, 0, 0, 100),
                      MakePoint(3, 77, 0, 0, 0), MakePoint(4, kZeroAnglePoint, 0, 0, 100)};
    content.Points[3].Flags = 1;  // deleted
    Write(content, "HR_1.blk");   // kind 5 is not admissible in HR, kind 6 is
    Open("HR_1.blk");
    EXPECT_EQ(Standard->CheckPoints(Blk, BodPripustnost | BodUhol), 2);
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-31, "HR_1.blk", "B", 5, 1, kInadmissible),
                                                 Finding(-31, "HR_1.blk", "B", 77, 3, kInadmissible)}))
        << Describe(Rows());
    Standard->ResetErrorTable();
    Open("HR_1.blk");  // a pass reads its file once from the start: a fresh block for the next
    EXPECT_EQ(Standard->CheckPoints(Blk, BodUhol), 1);
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-32, "HR_1.blk", "B", 5, 1, "uhol otočenia")}));
}

TEST_F(PointChecks, ReadErrorKeepsEarlierFindingsAndClosesEverything) {
    testkit::BlockSpec content;
    content.Points = {MakePoint(1, 77, 0, 0, 0), MakePoint(2, 77, 0, 0, 0)};
    std::string path = Write(content);
    auto bytes = testkit::ReadFileBytes(path + "/tn.pnt");
    bytes.resize(bytes.size() - 10);  // the last record is cut short
    testkit::WriteFileBytes(path + "/tn.pnt", bytes);
    Open();
    EXPECT_THROW(Standard->CheckPoints(Blk, BodPripustnost), EBlkReadError);
    EXPECT_EQ(UI.Depth, 0);
    // The table was closed: the finding before the error is in it, and another pass can write.
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-31, "LE_1.blk", "B", 77, 1, kInadmissible)}));
    testkit::BlockSpec texts;
    texts.Texts = {MakeText(1, 77)};
    Write(texts, "LE_2.blk");
    Open("LE_2.blk");
    EXPECT_EQ(Standard->CheckTexts(Blk, TxbPripustnost), 1);
    EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(TextChecks, RotationInDegreesBothWays) {
    testkit::BlockSpec content;
    content.Texts = {MakeText(1, kZeroAngleText, 0.0017L),   // 0.097 degrees
                     MakeText(2, kZeroAngleText, -0.0018L),  // -0.103 degrees
                     MakeText(3, kZeroAngleText, 6.2817L),   // 359.91 degrees
                     MakeText(4, kZeroAngleText, -6.2817L),
                     MakeText(5, kZeroAngleText, 6.28L),  // 359.82 degrees
                     MakeText(6, kZeroAngleText, -3.0L),
                     MakeText(7, kZeroAngleText, 0),
                     MakeText(8, kPoText, 1.0L)};  // no zero-angle rule for the kind
    std::string path = Write(content);
    Open();
    Standard->SetGauge(&Gauge);
    EXPECT_EQ(Standard->CheckTexts(Blk, TxbUhol), 3);
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-52, "LE_1.blk", "T", 3, 2, "uhol otočenia"),
                                                 Finding(-52, "LE_1.blk", "T", 3, 5, "uhol otočenia"),
                                                 Finding(-52, "LE_1.blk", "T", 3, 6, "uhol otočenia")}))
        << Describe(Rows());
    EXPECT_NE(HeaderTime(path + "/tn.tbx", 7), 0u);
    EXPECT_EQ(Gauge.Maximum(), 8);
    EXPECT_EQ(Gauge.Progress(), 8);
    EXPECT_EQ(UI.Messages, 8);
}

TEST_F(TextChecks, AdmissibilityAndDeletedTexts) {
    testkit::BlockSpec content;
    content.Texts = {MakeText(1, kPoText, 1.0L), MakeText(2, kZeroAngleText, 1.0L), MakeText(3, kPoText)};
    content.Texts[2].Flags = 1;
    Write(content);
    Open();
    EXPECT_EQ(Standard->CheckTexts(Blk, TxbAll), 2);
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-51, "LE_1.blk", "T", 4, 1, kInadmissible),
                                                 Finding(-52, "LE_1.blk", "T", 3, 2, "uhol otočenia")}));
}

}  // namespace
