#pragma once
// Shared by the check tests: a private standard object (its working files in a
// temporary directory of the test), a user interface that counts, blocks written
// into a map directory, and the rows of an error table.
#include "block/BlkObj.h"
#include "common/UserInterface.h"
#include "kit/BlockKit.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorRecord.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vexa::checkstest {

// Counts message-loop calls and checks that the wait cursor is balanced.
class CountingUI : public IUserInterface {
public:
    void ProcessMessages() override { ++Messages; }
    void ShowWaitCursor(TCursorKind) override {
        ++Depth;
        ++Shown;
    }
    void RestoreCursor() override { --Depth; }
    int Messages = 0;
    int Depth = 0;
    int Shown = 0;
};

// The test standard (layers LE, PO areas only, HR, SL, CE; see the kinds in the tests)
// and the error table template of the build.
std::string StandardFile();
std::string TemplateFile();

// Rows of a dBASE error table, columns by position.
std::vector<TErrorRecord> ReadErrorRows(const std::string& path);

// Shorthand for an expected finding.
TErrorRecord Finding(std::int32_t id, const std::string& block, const std::string& letter, std::int32_t kind,
                     std::int32_t number, const std::string& text);

// Prints records readably in failure messages.
std::string Describe(const std::vector<TErrorRecord>& records);

class CheckFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes content as block `name` into the map directory; returns the block path.
    std::string Write(const testkit::BlockSpec& content, const std::string& name = "LE_1.blk");
    // Opens the block `name` of the map directory in blk.
    void Open(const std::string& name = "LE_1.blk");
    // The working error table's rows.
    std::vector<TErrorRecord> Rows() const;

    testkit::TempDir Temp;
    std::string MapDir;  // with a trailing delimiter
    CountingUI UI;
    CountingGauge Gauge;
    std::unique_ptr<TBlkStandardGXD> Standard;
    TBlk Blk{false};

private:
    std::string FOldTmp;
    bool FHadTmp = false;
};

} // namespace vexa::checkstest
