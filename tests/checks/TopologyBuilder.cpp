#include "checks/TopologyBuilder.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <utility>
#include <vector>

namespace vexa::checkskit {

namespace {

using Point = std::pair<long double, long double>;

Point At(const testkit::BlockSpec& content, std::int32_t index) {
    const TBlkCrd& c = content.Crds.at(static_cast<std::size_t>(index));
    return {c.X.Value(), c.Y.Value()};
}

} // namespace

void LinkLines(testkit::BlockSpec& content) {
    // Half-edge 2i runs along line i, 2i+1 against it.
    struct Outgoing {
        long double Angle;
        std::size_t Half;
    };
    std::map<Point, std::vector<Outgoing>> nodes;
    std::vector<Point> origin(content.Lines.size() * 2);
    std::vector<bool> used(content.Lines.size(), false);
    for (std::size_t i = 0; i < content.Lines.size(); ++i) {
        const TBlkLine& line = content.Lines[i];
        if (line.Flags & 3) continue;
        used[i] = true;
        std::int32_t step = line.LastCrd > line.FirstCrd ? 1 : -1;
        Point start = At(content, line.FirstCrd), second = At(content, line.FirstCrd + step);
        Point end = At(content, line.LastCrd), beforeEnd = At(content, line.LastCrd - step);
        origin[2 * i] = start;
        origin[2 * i + 1] = end;
        nodes[start].push_back({std::atan2(second.second - start.second, second.first - start.first), 2 * i});
        nodes[end].push_back({std::atan2(beforeEnd.second - end.second, beforeEnd.first - end.first), 2 * i + 1});
    }
    // next(h): the outgoing half-edge at h's end that comes first clockwise after h's twin.
    std::vector<std::size_t> next(origin.size()), prev(origin.size());
    for (auto& [point, out] : nodes) {
        std::sort(out.begin(), out.end(), [](const Outgoing& a, const Outgoing& b) { return a.Angle < b.Angle; });
        for (std::size_t k = 0; k < out.size(); ++k) {
            std::size_t twin = out[k].Half;  // arrives here as twin ^ 1
            std::size_t cw = out[(k + out.size() - 1) % out.size()].Half;
            next[twin ^ 1] = cw;
            prev[cw] = twin ^ 1;
        }
    }
    auto lineOf = [&](std::size_t half) { return content.Lines[half / 2].Number; };
    auto forward = [](std::size_t half) { return (half & 1) == 0; };
    for (std::size_t i = 0; i < content.Lines.size(); ++i) {
        if (!used[i]) continue;
        TBlkLine& line = content.Lines[i];
        std::size_t f = 2 * i, b = 2 * i + 1;
        line.NextA = lineOf(next[f]);
        line.NextARev = forward(next[f]) ? 0 : 1;
        line.PrevB = lineOf(next[b]);
        line.PrevBRev = forward(next[b]) ? 0 : 1;
        line.NextB = lineOf(prev[b]);
        line.NextBRev = forward(prev[b]) ? 1 : 0;
        line.PrevA = lineOf(prev[f]);
        line.PrevARev = forward(prev[f]) ? 1 : 0;
    }
}

std::int32_t CellArea(const GridSpec& grid, int row, int col) {
    return grid.FirstArea + row * grid.Cols + col;
}

std::int32_t SouthLine(const GridSpec& grid, int row, int col, int part) {
    return grid.FirstLine + (row * grid.Cols + col) * grid.LinesPerEdge + part;
}

std::int32_t WestLine(const GridSpec& grid, int row, int col, int part) {
    std::int32_t horizontal = (grid.Rows + 1) * grid.Cols * grid.LinesPerEdge;
    return grid.FirstLine + horizontal + (row * (grid.Cols + 1) + col) * grid.LinesPerEdge + part;
}

GridResult AddAreaGrid(testkit::BlockSpec& content, const GridSpec& grid) {
    if (grid.Rows < 1 || grid.Cols < 1 || grid.LinesPerEdge < 1 || grid.VerticesPerLine < 2)
        throw std::invalid_argument("AddAreaGrid: empty grid");
    auto area = [&](int row, int col) -> std::int32_t {
        if (row < 0 || col < 0 || row >= grid.Rows || col >= grid.Cols) return -1;
        return CellArea(grid, row, col);
    };
    const double piece = grid.Cell / grid.LinesPerEdge;
    auto side = [&](double x, double y, double dx, double dy) {
        std::vector<std::pair<double, double>> v;
        for (int k = 0; k < grid.VerticesPerLine; ++k) {
            double t = static_cast<double>(k) / (grid.VerticesPerLine - 1);
            v.emplace_back(x + dx * t, y + dy * t);
        }
        return v;
    };
    std::int32_t number = grid.FirstLine;
    // Horizontal sides, row of grid lines j: cell (j, c) above (left), (j-1, c) below (right).
    for (int j = 0; j <= grid.Rows; ++j)
        for (int c = 0; c < grid.Cols; ++c)
            for (int p = 0; p < grid.LinesPerEdge; ++p) {
                double x = grid.X0 + c * grid.Cell + p * piece, y = grid.Y0 + j * grid.Cell;
                TBlkLine& line = content.AddLine(number++, grid.LineKind, side(x, y, piece, 0));
                line.AreaA = area(j, c);
                line.AreaB = area(j - 1, c);
            }
    // Vertical sides, column of grid lines i: cell (r, i-1) west (left), (r, i) east (right).
    for (int r = 0; r < grid.Rows; ++r)
        for (int i = 0; i <= grid.Cols; ++i)
            for (int p = 0; p < grid.LinesPerEdge; ++p) {
                double x = grid.X0 + i * grid.Cell, y = grid.Y0 + r * grid.Cell + p * piece;
                TBlkLine& line = content.AddLine(number++, grid.LineKind, side(x, y, 0, piece));
                line.AreaA = area(r, i - 1);
                line.AreaB = area(r, i);
            }
    for (int r = 0; r < grid.Rows; ++r)
        for (int c = 0; c < grid.Cols; ++c) {
            TBlkArea a = testkit::MakeArea(CellArea(grid, r, c), grid.AreaKind, SouthLine(grid, r, c));
            double x = grid.X0 + c * grid.Cell, y = grid.Y0 + r * grid.Cell;
            a.Rect = testkit::MakeRect(x, y, x + grid.Cell, y + grid.Cell);
            a.RefX = testkit::R(x + grid.Cell / 2);
            a.RefY = testkit::R(y + grid.Cell / 2);
            a.AreaSize = testkit::R(grid.Cell * grid.Cell);
            content.Areas.push_back(a);
        }
    return {number, grid.FirstArea + grid.Rows * grid.Cols};
}

} // namespace vexa::checkskit
