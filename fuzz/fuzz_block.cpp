// The block store on any file set: open (with its mends), the clean test, the counts,
// sequential and by-number reads, vertex reads, the boundary walk and ring, the duplicate
// search (direct, cached and the check run's index) and the alike-areas comparison.
#include "FuzzInput.h"
#include "block/BlkObj.h"
#include "common/Exception.h"

#include <cstdint>
#include <exception>
#include <string>

using namespace vexa;

namespace {

const std::vector<std::string> kNames = {"tn.crd", "tn.lin", "tn.are", "tn.pnt", "tn.tbx", "tn.ttx", "info.txt"};

// Runs one operation; the block store's own exceptions are fine, anything else is not.
template <typename F>
void Try(F&& f) {
    try {
        f();
    } catch (const vexa::Exception&) {
    } catch (const std::filesystem::filesystem_error&) {}
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto files = vexafuzz::SplitFiles(data, size, kNames);
    const auto dir = vexafuzz::Scratch("LE_1.blk");
    for (const auto& [name, bytes] : files) vexafuzz::WriteFile(dir / name, bytes);

    // Read-only (changes nothing); as a check run opens it (mends, file creation with its
    // flushes: slower) for every other input.
    std::vector<TBlkOpenMode> modes = {TBlkOpenMode::ReadOnly};
    if (size % 2 == 1) modes.push_back(TBlkOpenMode::Create);
    for (TBlkOpenMode mode : modes) {
        TBlk blk;
        try {
            blk.Open(dir.string(), mode);
        } catch (const vexa::Exception&) {
            continue;
        }
        Try([&] { blk.IsClean(); });
        Try([&] {
            blk.LineCount();
            blk.PointCount();
            blk.TextCount();
            blk.AreaCount();
        });
        // Sequential reads of every group, at most a few hundred records.
        std::vector<TBlkLine> lines;
        std::vector<TBlkArea> areas;
        Try([&] {
            TBlkLine l;
            for (int i = 0; i < 300 && !blk.LinesEof(); ++i) {
                blk.ReadNextLine(l);
                if (i > 0) lines.push_back(l);
            }
        });
        Try([&] {
            TBlkArea a;
            for (int i = 0; i < 300 && !blk.AreasEof(); ++i) {
                blk.ReadNextArea(a);
                if (i > 0) areas.push_back(a);
            }
        });
        Try([&] {
            TBlkPoint p;
            for (int i = 0; i < 300 && !blk.PointsEof(); ++i) blk.ReadNextPoint(p);
        });
        Try([&] {
            TBlkText t;
            for (int i = 0; i < 300 && !blk.TextsEof(); ++i) blk.ReadNextText(t);
        });
        for (int cached = 0; cached < 2; ++cached) {
            Try([&] { blk.SetReadCache(cached == 1); });
            blk.SetWalkBudget(8 * std::int64_t(lines.size()) + 64);
            for (const TBlkLine& l : lines) {
                Try([&] {
                    TBlkLine found;
                    blk.FindLine(l.Number, found);
                });
                Try([&] {
                    TCrds crds;
                    blk.ReadLineCrds(l, crds);
                });
                Try([&] {
                    TBlkRect r;
                    blk.LineRectOk(l, r);
                });
                Try([&] {
                    std::string found;
                    blk.FindDuplicateLines(l, found);
                });
                Try([&] { blk.AdjacentAreasMatch(l); });
            }
            for (const TBlkArea& a : areas) {
                Try([&] {
                    TBlkArea found;
                    blk.FindArea(a.Number, found);
                });
                Try([&] { blk.CheckAreaTopology(a, true, 0.01); });
                Try([&] {
                    TLins boundary;
                    blk.AreaBoundary(a, boundary);
                    std::int32_t bad = 0;
                    TLins copy = boundary;
                    blk.CheckInnerLines(copy, bad);
                    TCrds ring;
                    blk.BoundaryPolygon(boundary, ring, 0.01);
                });
            }
            blk.SetWalkBudget(-1);
        }
        // The duplicate index the check run uses (the block cached).
        Try([&] {
            blk.SetReadCache(true);
            for (const TBlkLine& l : lines)
                Try([&] {
                    std::string found;
                    blk.FindDuplicateLines(l, found, 254);
                });
            blk.SetReadCache(false);
        });
        blk.Close();
    }
    return 0;
}
