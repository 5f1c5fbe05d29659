#include "InfoBlockJson.h"

#include "common/Json.h"
#include "common/Text.h"

#include <climits>

namespace vexa {

namespace {
double D(const TReal48& r) { return static_cast<double>(r.Value()); }  // 40-bit values fit a double exactly
}  // namespace

std::string RectJson(const TBlkRect& rect) {
    return json::Array().Real(D(rect.MinX)).Real(D(rect.MinY)).Real(D(rect.MaxX)).Real(D(rect.MaxY)).Text();
}

std::string CrdsJson(const TCrds& crds) {
    json::Array all;
    for (const TBlkCrd& c : crds) all.Raw(json::Array().Real(D(c.X)).Real(D(c.Y)).Text());
    return all.Text();
}

std::string LineJson(const TBlkLine& r) {
    return json::Object()
        .Int("Number", r.Number)
        .Int("Kind", r.Kind)
        .Int("Flags", r.Flags)
        .Int("DisplayCode", r.DisplayCode)
        .Int("FirstCrd", r.FirstCrd)
        .Int("LastCrd", r.LastCrd)
        .Int("NextA", r.NextA)
        .Int("NextARev", r.NextARev)
        .Int("PrevA", r.PrevA)
        .Int("PrevARev", r.PrevARev)
        .Int("NextB", r.NextB)
        .Int("NextBRev", r.NextBRev)
        .Int("PrevB", r.PrevB)
        .Int("PrevBRev", r.PrevBRev)
        .Int("AreaA", r.AreaA)
        .Int("AreaB", r.AreaB)
        .Real("Length", D(r.Length))
        .Raw("Rect", RectJson(r.Rect))
        .Flag("Deleted", TBlk::LineDeleted(r))
        .Text();
}

std::string PointJson(const TBlkPoint& r) {
    return json::Object()
        .Int("Number", r.Number)
        .Int("Kind", r.Kind)
        .Int("Flags", r.Flags)
        .Int("DisplayCode", r.DisplayCode)
        .Real("X", D(r.X))
        .Real("Y", D(r.Y))
        .Real("Angle", D(r.Angle))
        .Flag("Deleted", TBlk::PointDeleted(r))
        .Text();
}

std::string TextJson(const TBlkText& r) {
    return json::Object()
        .Int("Number", r.Number)
        .Int("Kind", r.Kind)
        .Int("Flags", r.Flags)
        .Real("Angle", D(r.Angle))
        .Raw("Rect", RectJson(r.Rect))
        .Flag("Deleted", TBlk::TextDeleted(r))
        .Text();
}

std::string AreaJson(const TBlkArea& r) {
    return json::Object()
        .Int("Number", r.Number)
        .Int("Kind", r.Kind)
        .Int("Flags", r.Flags)
        .Int("FirstLine", r.FirstLine)
        .Real("RefX", D(r.RefX))
        .Real("RefY", D(r.RefY))
        .Raw("Rect", RectJson(r.Rect))
        .Real("AreaSize", D(r.AreaSize))
        .Flag("Deleted", TBlk::AreaDeleted(r))
        .Text();
}

TBlkElementGroup ParseGroupLetter(const std::string& text) {
    if (text.size() == 1)
        if (auto group = GroupOfLetter(text[0])) return *group;
    throw Exception("neznáma skupina prvkov '" + text + "' (L, B, T alebo P)");
}

std::int32_t ParseInt32(const std::string& text, const std::string& what) {
    auto v = TextToInt(text);
    if (!v || *v < INT32_MIN || *v > INT32_MAX) throw Exception(what + " nie je 32-bitové celé číslo: '" + text + "'");
    return static_cast<std::int32_t>(*v);
}

std::vector<std::string> SplitArgument(const std::string& arg) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t colon = arg.find(':', start);
        parts.push_back(arg.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return parts;
}

}  // namespace vexa
