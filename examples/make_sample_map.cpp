// Writes the sample map: a directory of blocks to try the programs on.
//   make_sample_map MAPDIR
// Against the sample standard (examples/standard/StandardGXD.sql):
//   LE_00001.blk  clean for the element checks: a 3 x 2 grid of forest stands with an
//                 island, tree symbols and labels, every stand described in p0001.dbf
//                 (the attribute database check still finds tables missing).
//   LE_00002.blk  line, point and text faults: a line of a kind foreign to the layer, a
//                 line ending inside a stand, a curve, a wrong stored rectangle, two
//                 identical lines, a short line, two alike neighbouring stands; a point
//                 and a text of foreign kinds, a rotated spring symbol, a rotated stand
//                 number.
//   LE_00003.blk  area faults: a stand of a foreign kind, a stand whose boundary links
//                 are broken, a stand smaller than 100 m2.
//   LE_00009.blk  not cleaned (a deleted point record): the check run skips it.
//   PO_00001.blk  the areas-only layer: a line that bounds no area.
//   abc.blk       a name that does not conform to the standard: not checked.
#include "dbase/TableDBF.h"
#include "kit/BlockKit.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

using namespace vexa;
using namespace vexa::testkit;

namespace {

// National-grid coordinates (negative, as the grid's are).
constexpr double kX0 = -512300.0;
constexpr double kY0 = -1210400.0;

// Kinds of the sample standard.
constexpr std::int16_t kStandBoundary = 1;  // line, LE and PO
constexpr std::int16_t kStand = 1;          // area, LE and PO
constexpr std::int16_t kStandNumber = 1;    // text, must lie unrotated

// p0001.dbf with one row per area: Cislo and the stand code.
void StandTable(const fs::path& block, const std::vector<std::pair<std::int32_t, std::string>>& rows) {
    TFldDefList fields = {TTableDBF::MakeField("CISLO", TFldType::dbfNumeric, 10, 0),
                          TTableDBF::MakeField("PORAST", TFldType::dbfChar, 10, 0),
                          TTableDBF::MakeField("PLOCHA", TFldType::dbfNumeric, 12, 4)};
    std::vector<std::vector<TValue>> values;
    for (const auto& [number, stand] : rows) values.push_back({double(number), stand, 1.0});
    WriteTable(block / "p0001.dbf", fields, values);
}

void CleanBlock(const fs::path& map) {
    BlockSpec content;
    GridSpec grid;
    grid.Columns = 3;
    grid.Rows = 2;
    grid.X0 = kX0;
    grid.Y0 = kY0;
    grid.CellWidth = 250;
    grid.CellHeight = 200;
    grid.LineKind = kStandBoundary;
    grid.AreaKind = kStand;
    grid.Island = true;
    GridLayout layout = AddAreaGrid(content, grid);
    for (int i = 0; i < 4; ++i) content.Points.push_back(MakePoint(i + 1, 5, kX0 + 300 + 40 * i, kY0 + 120 + 10 * i));
    for (int i = 0; i < 6; ++i) {
        TBlkText text = MakeText(i + 1, 2);
        double x = kX0 + 250 * (i % 3) + 100, y = kY0 + 200 * (i / 3) + 20;
        text.Rect = MakeRect(x, y, x + 40, y + 8);
        content.Texts.push_back(text);
    }
    WriteBlock(map / "LE_00001.blk", content);
    std::vector<std::pair<std::int32_t, std::string>> rows;
    for (std::int32_t cell : layout.Cells) rows.emplace_back(cell, std::to_string(cell) + "a");
    rows.emplace_back(layout.Island, "9z");
    StandTable(map / "LE_00001.blk", rows);
}

// A linked grid of stands (vertical sides numbered row by row); the stands' table is
// written by the caller.
GridSpec StandGrid(BlockSpec& content, int rows, int cols) {
    GridSpec grid;
    grid.Rows = rows;
    grid.Columns = cols;
    grid.X0 = kX0;
    grid.Y0 = kY0;
    grid.VerticesPerLine = 3;
    grid.VerticalsByRow = true;
    grid.LineKind = kStandBoundary;
    grid.AreaKind = kStand;
    AddAreaGrid(content, grid);
    return grid;
}

void LineFaults(const fs::path& map) {
    BlockSpec content;
    GridSpec grid = StandGrid(content, 2, 2);  // lines 1-12, stands 1-4
    const double x = kX0 + 500, y = kY0;
    content.AddLine(13, 10, {{x, y}, {x + 50, y}});                                        // state border: not in LE
    content.AddLine(14, 21, {{x, y + 20}, {x + 20, y + 30}, {x + 40, y + 20}}).Flags = 4;  // curve
    content.AddLine(15, 21, {{x, y + 40}, {x + 40, y + 45}}).Rect.MaxX = R(x + 41);        // rectangle
    content.AddLine(16, 22, {{x, y + 60}, {x + 30, y + 70}, {x + 60, y + 60}});            // duplicates
    content.AddLine(17, 22, {{x, y + 60}, {x + 30, y + 70}, {x + 60, y + 60}}, true);
    content.AddLine(18, 21, {{x, y + 80}, {x + 0.3, y + 80.4}});  // 0.5 m long
    // A boundary line that ends inside stand 4: the same stand on both sides.
    TBlkLine& spur = content.AddLine(19, kStandBoundary, {{kX0 + 100, kY0 + 100}, {kX0 + 130, kY0 + 130}});
    spur.AreaA = spur.AreaB = grid.Cell(1, 1);
    LinkLines(content);

    content.Points = {MakePoint(1, 7, x, y + 100), MakePoint(2, 6, x + 10, y + 100),  // a well: VO only
                      MakePoint(3, 5, x + 20, y + 100, 100), MakePoint(4, 1, x + 30, y + 100, 100)};
    content.Texts = {MakeText(1, 2), MakeText(2, 3), MakeText(3, kStandNumber, 0.5), MakeText(4, kStandNumber)};
    // Labels 40 x 8 m in a column right of the points; the turned one's rectangle is the
    // box of the turned label (40 cos 0.5 + 8 sin 0.5 wide, 40 sin 0.5 + 8 cos 0.5 high).
    for (std::size_t i = 0; i < content.Texts.size(); ++i) {
        const double tx = x + 80, ty = y + 100 + 40 * double(i);
        content.Texts[i].Rect = i == 2 ? MakeRect(tx, ty, tx + 38.94, ty + 26.20) : MakeRect(tx, ty, tx + 40, ty + 8);
    }
    WriteBlock(map / "LE_00002.blk", content);
    // Stands 1 and 2 are alike: the line between them is superfluous.
    StandTable(map / "LE_00002.blk", {{1, "1a"}, {2, "1a"}, {3, "2a"}, {4, "2b"}});
}

void AreaFaults(const fs::path& map) {
    BlockSpec content;
    GridSpec grid = StandGrid(content, 1, 4);  // stands 1-4
    content.Areas[1].Kind = 20;                // built-up area: SL only
    // The walk round stand 3 finds a back link that names the wrong line.
    content.Lines[static_cast<std::size_t>(grid.LeftLine(0, 3) - 1)].PrevA = 1;
    content.Areas[3].AreaSize = R(50);
    WriteBlock(map / "LE_00003.blk", content);
    StandTable(map / "LE_00003.blk", {{1, "1a"}, {2, "1b"}, {3, "1c"}, {4, "1d"}});
}

void NotCleaned(const fs::path& map) {
    BlockSpec content;
    content.Points = {MakePoint(1, 6, kX0, kY0), MakePoint(2, 7, kX0 + 10, kY0)};
    content.Points[0].Flags = 1;  // deleted, not yet purged
    WriteBlock(map / "LE_00009.blk", content);
}

void AreasOnlyLayer(const fs::path& map) {
    BlockSpec content;
    StandGrid(content, 1, 2);                                          // lines 1-7, stands 1-2
    content.AddLine(8, 2, {{kX0 + 300, kY0}, {kX0 + 350, kY0 + 10}});  // bounds no stand
    LinkLines(content);
    WriteBlock(map / "PO_00001.blk", content);
    StandTable(map / "PO_00001.blk", {{1, "1a"}, {2, "1b"}});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Usage: make_sample_map MAPDIR\n";
        return 2;
    }
    try {
        const fs::path map(argv[1]);
        fs::remove_all(map);
        fs::create_directories(map);
        CleanBlock(map);
        LineFaults(map);
        AreaFaults(map);
        NotCleaned(map);
        AreasOnlyLayer(map);
        BlockSpec other;
        other.Points = {MakePoint(1, 99, kX0, kY0)};
        WriteBlock(map / "abc.blk", other);
    } catch (const std::exception& e) {
        std::cerr << "make_sample_map: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
