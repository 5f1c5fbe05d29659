#include "kit/BlockKit.h"

#include "common/FileNames.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

} // namespace

void WriteBlock(const fs::path& dir, const BlockSpec& spec) {
    fs::create_directories(dir);
    std::vector<unsigned char> crd;
    AppendRecords(crd, spec.Crds);
    WriteFileBytes(dir / "tn.crd", crd);
    WriteFileBytes(dir / "tn.lin", ElementFile(spec.Lines, 7, 1));
    WriteFileBytes(dir / "tn.pnt", ElementFile(spec.Points, 7, 1));
    WriteFileBytes(dir / "tn.tbx", ElementFile(spec.Texts, 11, 1));
    WriteFileBytes(dir / "tn.are", ElementFile(spec.Areas, 6, 4));
    std::string blockPath = ChangeFileExt(ExcludeTrailingDelimiter(dir.string()), ".pra");
    WriteFileBytes(dir / "tn.ttx", Bytes("TopoL ... soubor textu pro blok " + blockPath + "\r\n"));
    WriteFileBytes(dir / "info.txt", Bytes("SOURADNYSYSTEM=JTSK\r\nCODEPAGE=1250\r\n"));
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

} // namespace vexa::testkit
