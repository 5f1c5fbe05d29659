// Writes a sample map: a directory of blocks to try the programs on.
//   make_sample_map MAPDIR
// LE_00001.blk is a clean block: a 3 x 2 grid of forest stands (areas) with an island
// in the first one, a few tree symbols (points) and stand labels (texts).
#include "kit/BlockKit.h"

#include <exception>
#include <iostream>

using namespace vexa;
using namespace vexa::testkit;

namespace {

// National-grid coordinates (negative, as the grid's are).
constexpr double kX0 = -512300.0;
constexpr double kY0 = -1210400.0;

BlockSpec CleanBlock() {
    BlockSpec spec;
    GridSpec grid;
    grid.Columns = 3;
    grid.Rows = 2;
    grid.X0 = kX0;
    grid.Y0 = kY0;
    grid.CellWidth = 250;
    grid.CellHeight = 200;
    grid.LineKind = 1;
    grid.AreaKind = 10;
    grid.Island = true;
    AddAreaGrid(spec, grid);

    for (int i = 0; i < 4; ++i) spec.Points.push_back(MakePoint(i + 1, 5, kX0 + 300 + 40 * i, kY0 + 120 + 10 * i));
    for (int i = 0; i < 6; ++i) {
        TBlkText text = MakeText(i + 1, 2);
        double x = kX0 + 250 * (i % 3) + 100, y = kY0 + 200 * (i / 3) + 20;
        text.Rect = MakeRect(x, y, x + 40, y + 8);
        spec.Texts.push_back(text);
    }
    return spec;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Usage: make_sample_map MAPDIR\n";
        return 2;
    }
    try {
        const fs::path map(argv[1]);
        fs::create_directories(map);
        WriteBlock(map / "LE_00001.blk", CleanBlock());
    } catch (const std::exception& e) {
        std::cerr << "make_sample_map: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
