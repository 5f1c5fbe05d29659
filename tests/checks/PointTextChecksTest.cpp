// The point and text passes: admissibility, rotation ranges, precedence, the
// header stamp, the gauge, the message loop and the error table on failures.
#include "checks/CheckTestSupport.h"
#include "ui/OptionMasks.h"

using namespace vexa;
using namespace vexa::checkstest;
using testkit::MakePoint;
using testkit::MakeText;

namespace {

constexpr std::int16_t kZeroAnglePoint = 5;  // admissible in LE only, must lie unrotated
constexpr std::int16_t kFreePoint = 6;       // admissible in LE and HR, any rotation
constexpr std::int16_t kZeroAngleText = 3;   // admissible in LE only, must lie unrotated
constexpr std::int16_t kPoText = 4;          // admissible in PO only

std::uint32_t HeaderTime(const std::string& file, std::size_t offset) {
    auto bytes = testkit::ReadFileBytes(file);
    std::uint32_t t = 0;
    for (int i = 3; i >= 0; --i) t = (t << 8) | bytes.at(offset + i);
    return t;
}

class PointChecks : public CheckFixture {};
class TextChecks : public CheckFixture {};

TEST_F(PointChecks, NoOptionsOrNoPointsTouchesNothing) {
    testkit::BlockSpec content;
    content.Points.push_back(MakePoint(1, 99, 0, 0, 100));
    std::string path = Write(content);
    Write(testkit::BlockSpec{}, "LE_2.blk");
    Open();
    Standard->SetGauge(&Gauge);
    EXPECT_EQ(Standard->CheckPoints(Blk, 0), 0);
    EXPECT_EQ(HeaderTime(path + "/tn.pnt", 13), 0u);
    Open("LE_2.blk");
    EXPECT_EQ(Standard->CheckPoints(Blk, BodAll), 0);
    EXPECT_EQ(HeaderTime(MapDir + "LE_2.blk/tn.pnt", 13), 0u);
    EXPECT_EQ(UI.Messages, 0);
    EXPECT_EQ(UI.Shown, 0);
    EXPECT_TRUE(Rows().empty());
}

TEST_F(PointChecks, RotationRangeOfZeroAngleKinds) {
    testkit::BlockSpec content;
    content.Points = {MakePoint(1, kZeroAnglePoint, 10, 10, 0.05L), MakePoint(2, kZeroAnglePoint, 10, 10, 0.1L),
                   MakePoint(3, kZeroAnglePoint, 10, 10, 399.9L), MakePoint(4, kZeroAnglePoint, 10, 10, 399.95L),
                   MakePoint(5, kZeroAnglePoint, 10, 10, -100), MakePoint(6, kZeroAnglePoint, 10, 10, 200),
                   MakePoint(7, kFreePoint, 10, 10, 200), MakePoint(8, kZeroAnglePoint, 10, 10, 0)};
    std::string path = Write(content);
    Open();
    Standard->SetGauge(&Gauge);
    EXPECT_EQ(Standard->CheckPoints(Blk, BodUhol), 3);
    std::vector<TErrorRecord> expected = {Finding(-32, "LE_1.blk", "B", 5, 2, "uhol otočenia"),
                                          Finding(-32, "LE_1.blk", "B", 5, 3, "uhol otočenia"),
                                          Finding(-32, "LE_1.blk", "B", 5, 6, "uhol otočenia")};
    EXPECT_EQ(Rows(), expected) << Describe(Rows());
    EXPECT_NE(HeaderTime(path + "/tn.pnt", 13), 0u) << "the pass stamps the header";
    EXPECT_EQ(Gauge.Maximum(), 8);
    EXPECT_EQ(Gauge.Progress(), 8);
    EXPECT_EQ(UI.Messages, 8);
    EXPECT_EQ(UI.Shown, 1);
    EXPECT_EQ(UI.Depth, 0);
}

TEST_F(PointChecks, AdmissibilityComesFirstAndRotationAloneIgnoresIt) {
    testkit::BlockSpec content;
    content.Points = {MakePoint(1, kZeroAnglePoint, 0, 0, 100), MakePoint(2, kFreePoint, 0, 0, 100),
                   MakePoint(3, 77, 0, 0, 0)};
    Write(content, "HR_1.blk");  // kind 5 is not admissible in HR, kind 6 is
    Open("HR_1.blk");
    EXPECT_EQ(Standard->CheckPoints(Blk, BodPripustnost | BodUhol), 2);
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{
                          Finding(-31, "HR_1.blk", "B", 5, 1, "neprípustný druh vo vrstve"),
                          Finding(-31, "HR_1.blk", "B", 77, 3, "neprípustný druh vo vrstve")}))
        << Describe(Rows());
    Standard->ResetErrorTable();
    Open("HR_1.blk");  // a pass reads its file once from the start: a fresh block for the next
    EXPECT_EQ(Standard->CheckPoints(Blk, BodUhol), 1);
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-32, "HR_1.blk", "B", 5, 1, "uhol otočenia")}));
}

TEST_F(PointChecks, DeletedPointsAreNeverReported) {
    testkit::BlockSpec content;
    content.Points = {MakePoint(1, 77, 0, 0, 100), MakePoint(2, 77, 0, 0, 100)};
    content.Points[0].Flags = 1;
    Write(content);
    Open();
    EXPECT_EQ(Standard->CheckPoints(Blk, BodAll), 1);
    ASSERT_EQ(Rows().size(), 1u);
    EXPECT_EQ(Rows()[0].Cislo, 2);
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
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-31, "LE_1.blk", "B", 77, 1, "neprípustný druh vo vrstve")}));
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
                  MakeText(5, kZeroAngleText, 6.28L),     // 359.82 degrees
                  MakeText(6, kZeroAngleText, -3.0L),
                  MakeText(7, kZeroAngleText, 0),
                  MakeText(8, kPoText, 1.0L)};            // no zero-angle rule for the kind
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
    EXPECT_EQ(Rows(), (std::vector<TErrorRecord>{Finding(-51, "LE_1.blk", "T", 4, 1, "neprípustný druh vo vrstve"),
                                                 Finding(-52, "LE_1.blk", "T", 3, 2, "uhol otočenia")}));
}

TEST_F(TextChecks, NoOptionsLeavesTheHeader) {
    testkit::BlockSpec content;
    content.Texts = {MakeText(1, 77)};
    std::string path = Write(content);
    Open();
    EXPECT_EQ(Standard->CheckTexts(Blk, 0), 0);
    EXPECT_EQ(HeaderTime(path + "/tn.tbx", 7), 0u);
    EXPECT_TRUE(Rows().empty());
}

} // namespace
