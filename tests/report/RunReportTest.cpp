// A run turned into its report: every selected block as the driver tells it.
#include "report/RunReport.h"

#include "checks/CheckTestSupport.h"

#include <gtest/gtest.h>

using namespace vexa;
using namespace vexa::checkstest;

namespace {

class RunReport : public CheckFixture {};

// A stopped run: a block checked without findings is checked, one skipped keeps its
// reason, the blocks after the stop were never begun; a left-out name is listed too.
TEST_F(RunReport, EachSelectedBlockAsTheDriverTellsIt) {
    report::TRunFacts facts;
    facts.MapDir = MapDir;
    for (const char* name : {"LE_00001.blk", "LE_00002.blk", "LE_00003.blk"}) facts.Selected.push_back({"1", "3", name});
    facts.Selected.push_back({"1", "2", "LE_00004.blk"});  // not selected: not in the report
    TCheckRunResult result;
    result.Stopped = true;
    result.Checked = {"LE_00001.blk"};
    result.Skipped = {{"LE_00002.blk", "nebol vyčistený"}, {"abc.blk", "meno nevyhovuje štandardu"}};
    const report::TReport r = report::ReportOfRun(facts, result, *Standard, {});
    ASSERT_EQ(r.Blocks.size(), 4u);
    EXPECT_EQ(r.Blocks[0].Name, "LE_00001.blk");
    EXPECT_TRUE(r.Blocks[0].Checked);
    EXPECT_EQ(r.Blocks[1].SkipReason, "nebol vyčistený");
    EXPECT_FALSE(r.Blocks[1].Checked);
    EXPECT_EQ(r.Blocks[2].SkipReason, "kontrola bola zastavená");
    EXPECT_FALSE(r.Blocks[2].Checked);
    EXPECT_EQ(r.Blocks[3].Name, "abc.blk");
    EXPECT_FALSE(r.Complete());
}

}  // namespace
