#pragma once
// Shared by the check tests: a private standard object (its working files in a
// temporary directory of the test), a user interface that counts, blocks written
// into a map directory, and the rows of an error table.
#include "block/BlkObj.h"
#include "common/FileNames.h"
#include "common/UserInterface.h"
#include "kit/BlockKit.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorRecord.h"
#include "run/CheckRun.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace vexa::checkstest {

using testkit::ReadFileText;

// What a program run gave: its exit status, stdout and stderr.
struct Outcome {
    int Status = -1;
    std::string Out, Err;
};

// A text in single quotes for the shell.
inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command line with TMPDIR set to tmpDir, stdout and stderr into
// files of workDir.
inline Outcome RunProgram(const std::string& commandLine, const std::filesystem::path& tmpDir,
                          const std::filesystem::path& workDir) {
    const std::string command = "TMPDIR=" + Quote(tmpDir.string()) + " " + commandLine + " >" +
                                Quote((workDir / "out").string()) + " 2>" + Quote((workDir / "err").string());
    const int raw = std::system(command.c_str());
    Outcome o;
    o.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    o.Out = ReadFileText(workDir / "out");
    o.Err = ReadFileText(workDir / "err");
    return o;
}

// Counts message-loop calls and checks that the wait cursor is balanced.
class CountingUI : public IUserInterface {
public:
    void ProcessMessages() override { ++Messages; }
    void ShowWaitCursor(TCursorKind) override {
        ++Depth;
        ++Shown;
    }
    void RestoreCursor() override { --Depth; }
    int Messages = 0, Depth = 0, Shown = 0;
};

// An expected finding.
inline TErrorRecord Finding(std::int32_t id, const std::string& block, const std::string& letter, std::int32_t kind,
                            std::int32_t number, const std::string& text) {
    TErrorRecord r;
    r.Id = id;
    r.Blok = block;
    r.Vrstva = block.substr(0, 2);
    r.Prvok = letter;
    r.Druh = kind;
    r.Cislo = number;
    r.Chyba = text;
    return r;
}

// Records readably in failure messages.
inline std::string Describe(const std::vector<TErrorRecord>& records) {
    std::ostringstream out;
    for (const TErrorRecord& r : records)
        out << r.Id << " " << r.Blok << " " << r.Vrstva.value_or("<null>") << " " << r.Prvok << " "
            << (r.Druh ? std::to_string(*r.Druh) : "<null>") << " " << (r.Cislo ? std::to_string(*r.Cislo) : "<null>")
            << " " << r.Chyba << "\n";
    return out.str();
}

// The time stamp (4 bytes, little-endian) at offset in the header record of file.
inline std::uint32_t HeaderTime(const std::string& file, std::size_t offset) {
    auto bytes = testkit::ReadFileBytes(file);
    std::uint32_t t = 0;
    for (int i = 3; i >= 0; --i) t = (t << 8) | bytes.at(offset + static_cast<std::size_t>(i));
    return t;
}

// A grid of rows x cols forest stands (area kind 10 of the test standard), linked.
inline testkit::GridSpec StandGrid(int rows, int cols, int linesPerSide = 1, int verticesPerLine = 2) {
    testkit::GridSpec grid;
    grid.Rows = rows;
    grid.Columns = cols;
    grid.X0 = 1000;
    grid.Y0 = 2000;
    grid.LinesPerSide = linesPerSide;
    grid.VerticesPerLine = verticesPerLine;
    grid.AreaKind = 10;
    return grid;
}

// The test standard (layers LE, PO areas only, HR, SL, CE; see the kinds in the tests) with
// the build's error table template, in a map directory of its own.
class CheckFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(Temp.Path() / "map");
        std::filesystem::create_directories(Temp.Path() / "tmp");
        MapDir = IncludeTrailingDelimiter((Temp.Path() / "map").string());
        // The standard keeps its working copies in the temporary directory: one per test.
        if (const char* old = std::getenv("TMPDIR")) OldTmp = old;
        ::setenv("TMPDIR", (Temp.Path() / "tmp").c_str(), 1);
        Standard = std::make_unique<TBlkStandardGXD>(std::string(VEXA_TEST_DATA) + "/checks/StandardGXD.mdb",
                                                     std::string(VEXA_BIN_DIR) + "/Chyby.dbf", UI);
        UI = CountingUI{};  // count what the passes do, not the loading of the standard
    }
    void TearDown() override {
        Blk.Close();
        Standard.reset();
        if (OldTmp)
            ::setenv("TMPDIR", OldTmp->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    // Writes content as block `name` into the map directory; returns the block path.
    std::string Write(const testkit::BlockSpec& content, const std::string& name = "LE_1.blk") {
        testkit::WriteBlock(MapDir + name, content);
        return MapDir + name;
    }
    void Open(const std::string& name = "LE_1.blk") { Blk.Open(MapDir + name); }
    // The working error table's rows.
    std::vector<TErrorRecord> Rows() const { return ReadErrorTable(Standard->ErrorTablePath()); }

    testkit::TempDir Temp;
    std::string MapDir;  // with a trailing delimiter
    CountingUI UI;
    CountingGauge Gauge;
    std::unique_ptr<TBlkStandardGXD> Standard;
    TBlk Blk{false};
    std::optional<std::string> OldTmp;
};

}  // namespace vexa::checkstest
