// The synthetic block of the check benchmark (see bench/README.md), also used by
// the tests that compare check runs on a many-block map.
#include "kit/BenchMap.h"

#include "dbase/TableDBF.h"
#include "kit/BlockKit.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace vexa::testkit {

namespace {

// Every n-th of a sequence, from its own offset, so that the faults do not overlap.
bool Every(long long i, long long n, long long offset) { return i % n == offset; }

constexpr double kX0 = -600000.0;
constexpr double kY0 = -1200000.0;

}  // namespace

std::string WriteBenchBlock(const fs::path& block, double scale) {
    const int rows = static_cast<int>(std::lround(100 * std::sqrt(scale)));
    const int cols = 2 * rows;
    const long long lineTarget = std::llround(100000 * scale);
    const long long pointTarget = std::llround(50000 * scale);
    const long long textTarget = std::llround(20000 * scale);

    BlockSpec content;
    GridSpec grid;
    grid.Rows = rows;
    grid.Columns = cols;
    grid.X0 = kX0;
    grid.Y0 = kY0;
    grid.LinesPerSide = 2;
    grid.VerticesPerLine = 10;
    grid.VerticalsByRow = true;
    const std::int32_t gridLines = static_cast<std::int32_t>(AddAreaGrid(content, grid).Lines.size());
    const long long cells = static_cast<long long>(rows) * cols;

    // Spurs: boundary lines that end inside a stand (1 in 200 stands).
    std::int32_t number = gridLines + 1;
    for (long long c = 0; c < cells; c += 200) {
        int r = static_cast<int>(c / cols), k = static_cast<int>(c % cols);
        double x = kX0 + k * 100.0, y = kY0 + r * 100.0;
        std::vector<std::pair<double, double>> v;
        for (int i = 0; i < 10; ++i) v.emplace_back(x + 3.0 * i, y + 2.0 * i + (i % 2));
        TBlkLine& spur = content.AddLine(number++, 1, v);
        spur.AreaA = spur.AreaB = grid.Cell(r, k);
    }
    // Free lines east of the grid, each of its own shape; a few percent of each fault.
    const double fx = kX0 + cols * 100.0 + 500;
    for (long long i = 0; number <= lineTarget; ++i) {
        double x = fx + (i % 1000) * 20.0, y = kY0 + (i / 1000) * 20.0;
        std::vector<std::pair<double, double>> v;
        bool copy = Every(i, 50, 7) && i > 0;  // a duplicate of the line before it
        if (copy) {
            x = fx + ((i - 1) % 1000) * 20.0;
            y = kY0 + ((i - 1) / 1000) * 20.0;
        }
        double step = Every(i, 50, 11) ? 0.05 : 1.5;  // a short line
        for (int k = 0; k < 10; ++k) v.emplace_back(x + step * k, y + step * ((k * 7 + (copy ? i - 1 : i)) % 5));
        std::int16_t kind = Every(i, 50, 3) ? 10 : 21;  // kind 10: state border, not in LE
        TBlkLine& line = content.AddLine(number++, kind, v, copy && i % 2 == 0);
        if (Every(i, 50, 19)) line.Flags |= 4;  // curve
        if (Every(i, 50, 23)) line.Rect.MaxY = R(line.Rect.MaxY.Value() + 0.001L);
    }
    LinkLines(content);

    // Stands: a few of a foreign kind, with broken links, or tiny.
    for (long long c = 0; c < cells; ++c) {
        TBlkArea& area = content.Areas[static_cast<std::size_t>(c)];
        int r = static_cast<int>(c / cols), k = static_cast<int>(c % cols);
        if (Every(c, 50, 5)) area.Kind = 20;
        if (Every(c, 50, 13)) content.Lines[static_cast<std::size_t>(grid.LeftLine(r, k + 1) - 1)].PrevA = 1;
        if (Every(c, 50, 29)) area.AreaSize = R(40);
    }
    for (long long i = 1; i <= pointTarget; ++i) {
        double x = kX0 + (i % 2000) * 10.0 + 5, y = kY0 + (i / 2000) * 10.0 + 5;
        std::int16_t kind = Every(i, 50, 1) ? 6 : (i % 3 == 0 ? 5 : 7);  // 6: a well, not in LE
        long double angle = (kind == 5 && Every(i, 50, 9)) ? 120.0L : (kind == 7 ? 45.0L : 0.0L);
        content.Points.push_back(MakePoint(static_cast<std::int32_t>(i), kind, x, y, angle));
    }
    for (long long i = 1; i <= textTarget; ++i) {
        std::int16_t kind = Every(i, 50, 2) ? 3 : (i % 2 == 0 ? 1 : 2);  // 3: a river name, not in LE
        long double angle = (kind == 1 && Every(i, 50, 12)) ? 0.7L : 0.0L;
        TBlkText text = MakeText(static_cast<std::int32_t>(i), kind, angle);
        content.Texts.push_back(text);
    }
    WriteBlock(block, content);

    // One row per stand, the columns the sample standard asks of kind 1 stands; every
    // 50th stand is described like its western neighbour.
    TFldDefList fields = {TTableDBF::MakeField("CISLO", TFldType::dbfNumeric, 10, 0),
                          TTableDBF::MakeField("PORAST", TFldType::dbfChar, 10, 0),
                          TTableDBF::MakeField("DREVINA", TFldType::dbfChar, 4, 0),
                          TTableDBF::MakeField("VEK", TFldType::dbfNumeric, 3, 0),
                          TTableDBF::MakeField("PLOCHA", TFldType::dbfNumeric, 12, 4),
                          TTableDBF::MakeField("DATUM", TFldType::dbfDate, 8, 0)};
    std::vector<std::vector<TValue>> rowsOfTable;
    for (long long c = 0; c < cells; ++c) {
        long long described = (Every(c, 50, 17) && c % cols != 0) ? c - 1 : c;
        rowsOfTable.push_back(
            {double(c + 1), std::to_string(described) + "a", std::string("BK"), double(described % 150 + 1), 1.0,
             TDate{2026, 5, 1}});
    }
    WriteTable(block / "p0001.dbf", fields, rowsOfTable);
    return std::to_string(content.Lines.size()) + " lines (" + std::to_string(content.Crds.size()) + " vertices), " +
           std::to_string(content.Areas.size()) + " areas, " + std::to_string(content.Points.size()) + " points, " +
           std::to_string(content.Texts.size()) + " texts, " + std::to_string(cells) + " attribute rows";
}


std::string WriteBenchMap(const fs::path& map, double scale, int blocks) {
    fs::create_directories(map);
    const fs::path first = map / BenchBlockName(1);
    fs::remove_all(first);
    const std::string held = WriteBenchBlock(first, scale);
    for (int i = 2; i <= blocks; ++i) {
        const fs::path block = map / BenchBlockName(i);
        fs::remove_all(block);
        fs::copy(first, block, fs::copy_options::recursive);
    }
    return held;
}

std::string BenchBlockName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "LE_%05d.blk", index);
    return name;
}

}  // namespace vexa::testkit
