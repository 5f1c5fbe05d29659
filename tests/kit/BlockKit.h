#pragma once
// Test kit: builds blocks from records in temporary directories.
// Used only by tests (and the benchmark generator).
#include "block/BlkRecords.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace vexa::testkit {

namespace fs = std::filesystem;

// A fresh directory under the system temporary directory, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& Path() const { return path_; }
    // Path()/name as text (a block directory, a file).
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

TReal48 R(long double value);

// Element records with every field the tests do not set zero, links -1, areas -1.
TBlkLine MakeLine(std::int32_t number, std::int16_t kind = 1);
TBlkPoint MakePoint(std::int32_t number, std::int16_t kind, long double x, long double y, long double angle = 0);
TBlkText MakeText(std::int32_t number, std::int16_t kind, long double angle = 0);
TBlkArea MakeArea(std::int32_t number, std::int16_t kind, std::int32_t firstLine = 0);
TBlkRect MakeRect(long double minX, long double minY, long double maxX, long double maxY);

// The contents of one block; records are written in vector order after the header record.
struct BlockSpec {
    TCrds Crds;  // record 0 of tn.crd is a vertex like any other
    std::vector<TBlkLine> Lines;
    std::vector<TBlkPoint> Points;
    std::vector<TBlkText> Texts;
    std::vector<TBlkArea> Areas;

    // Appends the vertices to Crds and a line using them: FirstCrd/LastCrd set
    // (reversed when reversed is true), Rect computed from the vertices, Length the
    // polyline length. Returns a reference to the added line for further edits.
    TBlkLine& AddLine(std::int32_t number, std::int16_t kind,
                      const std::vector<std::pair<double, double>>& vertices, bool reversed = false);
};

// Writes tn.crd, tn.lin, tn.pnt, tn.tbx, tn.are (header records with time 0 prepended),
// tn.ttx and info.txt into dir, creating it. Existing files are replaced.
void WriteBlock(const fs::path& dir, const BlockSpec& spec);

// Raw file helpers for tests of damaged blocks.
std::vector<unsigned char> ReadFileBytes(const fs::path& file);
void WriteFileBytes(const fs::path& file, const std::vector<unsigned char>& bytes);

} // namespace vexa::testkit
