#include "kit/BlockKit.h"

#include "block/BlkObj.h"

#include "common/FileNames.h"
#include "dbase/TableDBF.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <map>
#include <stdexcept>

namespace vexa::testkit {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "vexa-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

TReal48 R(long double value) { return TReal48::FromValue(value); }

TBlkLine MakeLine(std::int32_t number, std::int16_t kind) {
    TBlkLine l{};
    l.Number = number;
    l.Kind = kind;
    l.NextA = l.PrevA = l.NextB = l.PrevB = -1;
    l.AreaA = l.AreaB = -1;
    return l;
}

TBlkPoint MakePoint(std::int32_t number, std::int16_t kind, long double x, long double y, long double angle) {
    TBlkPoint p{};
    p.Number = number;
    p.Kind = kind;
    p.X = R(x);
    p.Y = R(y);
    p.Angle = R(angle);
    return p;
}

TBlkText MakeText(std::int32_t number, std::int16_t kind, long double angle) {
    TBlkText t{};
    t.Number = number;
    t.Kind = kind;
    t.Angle = R(angle);
    return t;
}

TBlkArea MakeArea(std::int32_t number, std::int16_t kind, std::int32_t firstLine) {
    TBlkArea a{};
    a.Number = number;
    a.Kind = kind;
    a.FirstLine = firstLine;
    return a;
}

TBlkRect MakeRect(long double minX, long double minY, long double maxX, long double maxY) {
    return TBlkRect{R(minX), R(minY), R(maxX), R(maxY)};
}

TBlkLine& BlockSpec::AddLine(std::int32_t number, std::int16_t kind,
                             const std::vector<std::pair<double, double>>& vertices, bool reversed) {
    TBlkLine line = MakeLine(number, kind);
    const auto first = static_cast<std::int32_t>(Crds.size());
    long double minX = 0, minY = 0, maxX = 0, maxY = 0, length = 0;
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        long double x = R(vertices[i].first).Value(), y = R(vertices[i].second).Value();
        Crds.push_back(TBlkCrd{R(x), R(y)});
        if (i == 0) {
            minX = maxX = x;
            minY = maxY = y;
        } else {
            minX = std::min(minX, x);
            minY = std::min(minY, y);
            maxX = std::max(maxX, x);
            maxY = std::max(maxY, y);
            long double px = Crds[Crds.size() - 2].X.Value(), py = Crds[Crds.size() - 2].Y.Value();
            length += std::hypot(x - px, y - py);
        }
    }
    const auto last = static_cast<std::int32_t>(Crds.size()) - 1;
    line.FirstCrd = reversed ? last : first;
    line.LastCrd = reversed ? first : last;
    line.Rect = MakeRect(minX, minY, maxX, maxY);
    line.Length = R(length);
    Lines.push_back(line);
    return Lines.back();
}

namespace {

template <typename T>
void AppendRecords(std::vector<unsigned char>& out, const std::vector<T>& records) {
    const auto* p = reinterpret_cast<const unsigned char*>(records.data());
    out.insert(out.end(), p, p + records.size() * sizeof(T));
}

template <typename T>
std::vector<unsigned char> ElementFile(const std::vector<T>& records, std::size_t flagsOffset, unsigned char deleted) {
    std::vector<unsigned char> out(sizeof(T), 0);
    out[flagsOffset] = deleted;
    AppendRecords(out, records);
    return out;
}

std::vector<unsigned char> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

void WriteBlock(const fs::path& dir, const BlockSpec& content) {
    fs::create_directories(dir);
    std::vector<unsigned char> crd;
    AppendRecords(crd, content.Crds);
    WriteFileBytes(dir / "tn.crd", crd);
    WriteFileBytes(dir / "tn.lin", ElementFile(content.Lines, 7, 1));
    WriteFileBytes(dir / "tn.pnt", ElementFile(content.Points, 7, 1));
    WriteFileBytes(dir / "tn.tbx", ElementFile(content.Texts, 11, 1));
    WriteFileBytes(dir / "tn.are", ElementFile(content.Areas, 6, 4));
    std::string blockPath = ChangeFileExt(ExcludeTrailingDelimiter(dir.string()), ".pra");
    WriteFileBytes(dir / "tn.ttx", Bytes("TopoL ... soubor textu pro blok " + blockPath + "\r\n"));
    WriteFileBytes(dir / "info.txt", Bytes("SOURADNYSYSTEM=JTSK\r\nCODEPAGE=1250\r\n"));
}

std::string ReadFileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileText(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> ReadFileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& file, const std::vector<unsigned char>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace vexa::testkit

// --- area topology ------------------------------------------------------------

namespace vexa::testkit {

namespace {

struct LineEnd {
    std::size_t line;   // index in content.Lines
    bool atStart;       // the line's start (first vertex) is at this node
    long double angle;  // direction of the first segment away from the node
};

struct NodeKey {
    long double x, y;
    bool operator<(const NodeKey& o) const { return x != o.x ? x < o.x : y < o.y; }
};

// The line's vertices in its own direction.
std::vector<TBlkCrd> OwnVertices(const BlockSpec& content, const TBlkLine& line) {
    std::vector<TBlkCrd> v;
    if (line.FirstCrd <= line.LastCrd)
        for (std::int32_t i = line.FirstCrd; i <= line.LastCrd; ++i) v.push_back(content.Crds.at(i));
    else
        for (std::int32_t i = line.FirstCrd; i >= line.LastCrd; --i) v.push_back(content.Crds.at(i));
    return v;
}

long double Angle(const TBlkCrd& from, const TBlkCrd& to) {
    return std::atan2(to.Y.Value() - from.Y.Value(), to.X.Value() - from.X.Value());
}

}  // namespace

void LinkLines(BlockSpec& content) {
    std::map<NodeKey, std::vector<LineEnd>> nodes;
    for (std::size_t i = 0; i < content.Lines.size(); ++i) {
        if (content.Lines[i].Flags & 3) continue;  // deleted or unusable: not part of the topology
        auto v = OwnVertices(content, content.Lines[i]);
        if (v.size() < 2) throw std::runtime_error("a line needs two vertices");
        nodes[{v.front().X.Value(), v.front().Y.Value()}].push_back({i, true, Angle(v[0], v[1])});
        nodes[{v.back().X.Value(), v.back().Y.Value()}].push_back({i, false, Angle(v[v.size() - 1], v[v.size() - 2])});
    }
    for (auto& [key, ends] : nodes) {
        // Counter-clockwise order of the directions away from the node.
        std::sort(ends.begin(), ends.end(), [](const LineEnd& a, const LineEnd& b) { return a.angle < b.angle; });
        const std::size_t n = ends.size();
        for (std::size_t k = 0; k < n; ++k) {
            const LineEnd& e = ends[k];
            const LineEnd& cw = ends[(k + n - 1) % n];  // next clockwise
            const LineEnd& ccw = ends[(k + 1) % n];     // next counter-clockwise
            TBlkLine& line = content.Lines[e.line];
            auto number = [&](const LineEnd& o) { return content.Lines[o.line].Number; };
            auto rev = [](const LineEnd& o) { return std::uint8_t(o.atStart ? 0 : 1); };
            if (!e.atStart) {
                // Arriving at the end node: left face turns to the next clockwise, right face counter-clockwise.
                line.NextA = number(cw);
                line.NextARev = rev(cw);
                line.NextB = number(ccw);
                line.NextBRev = rev(ccw);
            } else {
                // Leaving the start node: the left face came from the next counter-clockwise, the right face from
                // clockwise.
                line.PrevA = number(ccw);
                line.PrevARev = rev(ccw);
                line.PrevB = number(cw);
                line.PrevBRev = rev(cw);
            }
        }
    }
}

GridLayout AddAreaGrid(BlockSpec& content, const GridSpec& g) {
    if (g.Columns < 1 || g.Rows < 1 || g.LinesPerSide < 1 || g.VerticesPerLine < 2)
        throw std::invalid_argument("AddAreaGrid: empty grid");
    GridLayout out;
    std::int32_t lineNo = g.FirstLineNumber;
    const std::int32_t firstArea = g.FirstAreaNumber;
    auto cellArea = [&](int col, int row) -> std::int32_t {
        if (col < 0 || row < 0 || col >= g.Columns || row >= g.Rows) return -1;
        return g.Cell(row, col);
    };
    auto x = [&](int col) { return g.X0 + col * g.CellWidth; };
    auto y = [&](int row) { return g.Y0 + row * g.CellHeight; };
    // The lines of one cell side from (x0, y0) eastward or northward, with their areas.
    auto side = [&](double x0, double y0, bool vertical, std::int32_t areaA, std::int32_t areaB) {
        const double piece = (vertical ? g.CellHeight : g.CellWidth) / g.LinesPerSide;
        for (int p = 0; p < g.LinesPerSide; ++p) {
            std::vector<std::pair<double, double>> v;
            const double sx = vertical ? x0 : x0 + p * piece, sy = vertical ? y0 + p * piece : y0;
            for (int k = 0; k < g.VerticesPerLine; ++k) {
                const double t = static_cast<double>(k) / (g.VerticesPerLine - 1);
                v.emplace_back(vertical ? sx : sx + piece * t, vertical ? sy + piece * t : sy);
            }
            TBlkLine& l = content.AddLine(lineNo, g.LineKind, v);
            l.AreaA = areaA;
            l.AreaB = areaB;
            out.Lines.push_back(lineNo++);
        }
    };

    // Horizontal edges, drawn west to east: the cell above on the left (A), below on the right (B).
    for (int row = 0; row <= g.Rows; ++row)
        for (int col = 0; col < g.Columns; ++col)
            side(x(col), y(row), false, cellArea(col, row), cellArea(col, row - 1));
    // Vertical edges, drawn south to north: the cell to the west on the left (A), east on the right (B).
    const int outer = g.VerticalsByRow ? g.Rows : g.Columns + 1, inner = g.VerticalsByRow ? g.Columns + 1 : g.Rows;
    for (int i = 0; i < outer; ++i)
        for (int j = 0; j < inner; ++j) {
            const int col = g.VerticalsByRow ? j : i, row = g.VerticalsByRow ? i : j;
            side(x(col), y(row), true, cellArea(col - 1, row), cellArea(col, row));
        }
    const std::int32_t island = firstArea + g.Columns * g.Rows;
    if (g.Island) {
        const double w = g.CellWidth, h = g.CellHeight;
        const double ix0 = g.X0 + w * 0.25, iy0 = g.Y0 + h * 0.25, ix1 = g.X0 + w * 0.75, iy1 = g.Y0 + h * 0.75;
        TBlkLine& bridge = content.AddLine(lineNo, g.LineKind, {{g.X0, g.Y0}, {ix0, iy0}});
        bridge.AreaA = bridge.AreaB = cellArea(0, 0);
        out.Bridge = lineNo;
        out.Lines.push_back(lineNo++);
        // Counter-clockwise ring: the island on its left.
        TBlkLine& ring =
            content.AddLine(lineNo, g.LineKind, {{ix0, iy0}, {ix1, iy0}, {ix1, iy1}, {ix0, iy1}, {ix0, iy0}});
        ring.AreaA = island;
        ring.AreaB = cellArea(0, 0);
        out.Ring = lineNo;
        out.Island = island;
        out.Lines.push_back(lineNo++);
    }

    for (int row = 0; row < g.Rows; ++row)
        for (int col = 0; col < g.Columns; ++col) {
            const std::int32_t number = cellArea(col, row);
            TBlkArea a = MakeArea(number, g.AreaKind, g.BottomLine(row, col));
            if (g.Island && number == firstArea && g.CellStartsAtBridge) a.FirstLine = out.Bridge;
            a.Rect = MakeRect(x(col), y(row), x(col + 1), y(row + 1));
            a.RefX = R(x(col) + g.CellWidth / 2);
            a.RefY = R(y(row) + g.CellHeight / 2);
            long double size = (long double)g.CellWidth * g.CellHeight;
            if (g.Island && number == firstArea) size -= (long double)g.CellWidth * g.CellHeight / 4;
            a.AreaSize = R(size);
            content.Areas.push_back(a);
            out.Cells.push_back(number);
        }
    if (g.Island) {
        TBlkArea a = MakeArea(island, g.AreaKind, out.Ring);
        a.Rect = MakeRect(g.X0 + g.CellWidth * 0.25, g.Y0 + g.CellHeight * 0.25, g.X0 + g.CellWidth * 0.75,
                          g.Y0 + g.CellHeight * 0.75);
        a.RefX = R(g.X0 + g.CellWidth / 2);
        a.RefY = R(g.Y0 + g.CellHeight / 2);
        a.AreaSize = R((long double)g.CellWidth * g.CellHeight / 4);
        content.Areas.push_back(a);
    }
    LinkLines(content);
    return out;
}

std::map<std::int32_t, double> AreaSizesByTheirLines(TBlk& blk) {
    std::map<std::int32_t, long double> twice;
    bool origin = false;
    long double x0 = 0, y0 = 0;  // the first vertex: the map's large coordinates keep their precision
    TBlkLine l;
    TCrds crds;
    for (std::int32_t n = 1; n <= blk.LineCount(); ++n) {
        blk.FindLine(n, l);
        if (TBlk::LineDeleted(l) || l.AreaA == l.AreaB) continue;
        blk.ReadLineCrds(l, crds);
        if (crds.empty()) continue;
        if (!origin) {
            x0 = crds[0].X.Value();
            y0 = crds[0].Y.Value();
            origin = true;
        }
        long double s = 0;
        for (std::size_t i = 1; i < crds.size(); ++i)
            s += (crds[i - 1].X.Value() - x0) * (crds[i].Y.Value() - y0) -
                 (crds[i].X.Value() - x0) * (crds[i - 1].Y.Value() - y0);
        const std::int32_t a = l.AreaA, b = l.AreaB;  // copies: the record's fields are packed
        if (a != -1) twice[a] += s;
        if (b != -1) twice[b] -= s;
    }
    std::map<std::int32_t, double> sizes;
    for (const auto& [area, t] : twice) sizes[area] = static_cast<double>(t / 2);
    return sizes;
}

void WriteTable(const fs::path& file, const TFldDefList& fields, const std::vector<std::vector<TValue>>& rows) {
    TTableDBF::CreateTable(file.string(), fields);
    TTableDBF table;
    table.SetDatabaseName(file.parent_path().string());
    table.SetTableName(file.string());
    table.Open();
    for (const auto& row : rows) table.AppendRecord(row);
    table.Close();
}

}  // namespace vexa::testkit
