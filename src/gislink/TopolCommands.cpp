// The GIS commands of TTopolDDEObj: TopoL's macro texts and items, and ShowElement.
#include "block/BlkObj.h"
#include "common/FileNames.h"
#include "common/Text.h"
#include "gislink/TopolFormat.h"
#include "gislink/TpDdeObj.h"

#include <cmath>

namespace vexa {

namespace {

long double Round48(long double value) { return TReal48::FromValue(value).Value(); }

TBlkRect MakeRect48(long double minX, long double minY, long double maxX, long double maxY) {
    return TBlkRect{TReal48::FromValue(minX), TReal48::FromValue(minY), TReal48::FromValue(maxX),
                    TReal48::FromValue(maxY)};
}

const char* GroupSettingsName(TBlkElementGroup group) {
    switch (group) {
    case egLine: return "Line";
    case egPoint: return "Point";
    case egArea: return "Area";
    case egText: return "Text";
    default: return nullptr;
    }
}

}  // namespace

void TTopolDDEObj::BadNumber() {
    FLastError = -7;
    throw EBadNumber();
}

std::int32_t TTopolDDEObj::RedrawMode() {
    auto value = ReadInt32(RequestSystem("RedrawMode()"));
    if (!value) BadNumber();
    return *value;
}

void TTopolDDEObj::SetRedrawMode(std::uint8_t mode) {
    if (mode == 2) return;
    ExecuteSystem(Format("SetRedrawMode(%d)", mode));
}

bool TTopolDDEObj::OpenBlk(const std::string& blockPath, bool flag) {
    std::string shortPath = ShortPathName(blockPath);
    if (shortPath.empty()) {
        FLastError = -4;
        return false;
    }
    ExecuteSystem(Format("OpenBlk(%s,%d)", shortPath.c_str(), flag ? 1 : 0));
    return FLastError == 0;
}

std::string TTopolDDEObj::ActiveBlock() { return RequestSystem("ActiveBlock"); }

void TTopolDDEObj::SetViewPort(const TBlkRect& rect, std::uint8_t flag) {
    ExecuteSystem("SetViewPort(" + FormatFixed2(rect.MinX.Value()) + "," + FormatFixed2(rect.MinY.Value()) + "," +
                  FormatFixed2(rect.MaxX.Value()) + "," + FormatFixed2(rect.MaxY.Value()) + "," + std::to_string(flag) +
                  ")");
}

void TTopolDDEObj::SetMiddle(double x, double y) {
    ExecuteSystem("SetMiddle(" + FormatFixed2(x) + "," + FormatFixed2(y) + ")");
}

void TTopolDDEObj::ZoomToRect(const TBlkRect& rect, std::uint8_t flag) {
    double x = static_cast<double>(Round48((rect.MinX.Value() + rect.MaxX.Value()) / 2));
    double y = static_cast<double>(Round48((rect.MinY.Value() + rect.MaxY.Value()) / 2));
    std::int32_t old = RedrawMode();
    SetRedrawMode(0);
    SetViewPort(rect, flag);
    SetRedrawMode(1);
    SetMiddle(x, y);
    SetRedrawMode(static_cast<std::uint8_t>(old & 0xFF));
}

TDisplaySwitches TTopolDDEObj::GetDisplaySettings() {
    TDisplaySwitches switches;
    switches.fill(2);
    std::string reply = RequestSystem("DisplaySettings");
    if (SameTextAscii(reply, "No open window")) return switches;
    std::vector<std::string> values = SplitCommaText(reply);
    if (values.size() < switches.size()) BadNumber();
    for (size_t i = 0; i < switches.size(); ++i) {
        auto v = ReadInt32(values[i]);
        if (!v) BadNumber();
        switches[i] = static_cast<std::uint8_t>(*v & 0xFF);
    }
    return switches;
}

void TTopolDDEObj::SetDisplaySettings(const TDisplaySwitches& s) {
    ExecuteSystem("SetDisplaySettings(" + SwitchText(s[0]) + "," + SwitchText(s[1]) + "," + SwitchText(s[2]) + "," +
                  SwitchText(s[3]) + "," + SwitchText(s[4]) + "," + SwitchText(s[5]) + ")");
}

TBlkDisplaySettings TTopolDDEObj::GetGroupDisplaySettings(const std::string& blockPath, TBlkElementGroup group) {
    TBlkDisplaySettings settings = DefaultDisplaySettings;
    const char* name = GroupSettingsName(group);
    if (!name) return settings;
    std::string reply = RequestBlock(blockPath, Format("Display%sSettings", name));
    if (SameTextAscii(reply, "No open window")) return settings;
    std::vector<std::string> values = SplitCommaText(reply);
    auto byteAt = [&](size_t i) {
        auto v = ReadInt32(values[i]);
        if (!v) BadNumber();
        return static_cast<std::uint8_t>(*v & 0xFF);
    };
    auto intAt = [&](size_t i) {
        auto v = ReadInt32(values[i]);
        if (!v) BadNumber();
        return *v;
    };
    if (group == egText) {
        if (values.size() < 3) BadNumber();
        settings.Flag1 = byteAt(0);
        settings.Value1 = intAt(1);
        settings.Flag2 = byteAt(2);
    } else {
        if (values.size() < 7) BadNumber();
        settings.Flag1 = byteAt(0);
        settings.Value1 = intAt(1);
        settings.Value2 = intAt(2);
        settings.Text = values[3];
        settings.Flag2 = byteAt(4);
        settings.Flag3 = byteAt(5);
        auto color = ReadColor(values[6]);
        if (!color) BadNumber();
        settings.Color = *color;
    }
    return settings;
}

void TTopolDDEObj::SetGroupDisplaySettings(const std::string& blockPath, TBlkElementGroup group,
                                           const TBlkDisplaySettings& s) {
    const char* name = GroupSettingsName(group);
    if (!name) return;
    std::string list;
    if (group == egText)
        list = SwitchText(s.Flag1) + "," + ValueText(s.Value1) + "," + SwitchText(s.Flag2);
    else
        list = SwitchText(s.Flag1) + "," + ValueText(s.Value1) + "," + ValueText(s.Value2) + "," + s.Text + "," +
               SwitchText(s.Flag2) + "," + SwitchText(s.Flag3) + "," + ColorText(s.Color);
    ExecuteBlock(blockPath, Format("SetDisplay%sSettings(%s)", name, list.c_str()));
}

void TTopolDDEObj::SpecPointAdd(std::int32_t index, TColor color, std::int32_t third, double x, double y,
                                std::int32_t sixth) {
    if (index < 0 || index > 650535 || sixth < 0 || sixth > 255) return;
    ExecuteSystem(Format("SpecPointAdd(%d,%d,%d,", index, color, third) + FormatFixed2(x) + "," + FormatFixed2(y) +
                  Format(",%d)", sixth));
}

void TTopolDDEObj::SpecPointDel(std::int32_t index) {
    if (index < 0 || index > 650535) return;
    ExecuteSystem(Format("SpecPointDel(%d)", index));
}

void TTopolDDEObj::SpecPointShow(bool show) { ExecuteSystem(Format("SpecPointShow(%d)", show ? 1 : 0)); }

void TTopolDDEObj::CSTAddRec(const std::string& blockPath, TBlkElementGroup group, std::int32_t number, TColor color,
                             std::int32_t displayCode) {
    char letter = WireGroupLetter(group);
    if (letter == 0 || group == egText) return;
    ExecuteBlock(blockPath, Format("CSTAddRec(%c,%d,%d,%d)", letter, number, color, displayCode));
}

void TTopolDDEObj::CSTDelRec(const std::string& blockPath, TBlkElementGroup group, std::int32_t number) {
    char letter = WireGroupLetter(group);
    if (letter == 0 || group == egText) return;
    ExecuteBlock(blockPath, Format("CSTDelRec(%c,%d)", letter, number));
}

std::string TTopolDDEObj::CalculateQuery(const std::string& blockPath, TBlkElementGroup group, std::int32_t first,
                                         std::int32_t second, const std::string& expression) {
    char letter = WireGroupLetter(group);
    if (letter == 0) return {};
    ExecuteBlock(blockPath, Format("CalculateQuery(%c,%d,%d,%s)", letter, first, second, expression.c_str()));
    if (BlockTopic(blockPath).empty()) return {};  // no topic for the block: nothing was run, -4 stays
    std::string reply = RequestSystem("Protocol");
    size_t at = UpperAscii(reply).find("CLCTQR ");
    if (at != std::string::npos) reply.erase(at, 7);
    // An empty reply carries no verdict; it is taken as a rejected query.
    if (reply.empty() || reply[0] == '0') {
        FLastError = -9;
        throw EBadTopas();
    }
    return reply.size() > 2 ? reply.substr(2) : std::string();
}

void TTopolDDEObj::ShowElement(const std::string& blockPathIn, TBlkElementGroup group, std::int32_t number,
                               double scale, TColor color, double pointMargin, bool zoom) {
    if (!FConnected) return;
    const std::string blockPath = ExcludeTrailingDelimiter(blockPathIn);

    // The element is read before anything is sent to TopoL.
    TBlkLine line{};
    TBlkPoint point{};
    TBlkText text{};
    TBlkArea area{};
    bool found = group == egLine || group == egPoint || group == egArea || group == egText;
    if (found) {
        try {
            TBlk blk(false);
            blk.Open(blockPath);
            switch (group) {
            case egLine: blk.FindLine(number, line); break;
            case egPoint: blk.FindPoint(number, point); break;
            case egArea: blk.FindArea(number, area); break;
            case egText: blk.FindText(number, text); break;
            }
        } catch (const std::exception&) {
            found = false;
        }
    }
    if (found) {
        switch (group) {
        case egLine: found = !TBlk::LineDeleted(line); break;
        case egPoint: found = !TBlk::PointDeleted(point); break;
        case egArea: found = !TBlk::AreaDeleted(area); break;
        case egText: found = !TBlk::TextDeleted(text); break;
        }
    }
    if (!found) {
        FApp.ShowMessage("Prvok nebol nájdený.", TMessageIcon::Information);
        return;
    }

    TBlkRect rect{};
    std::int32_t displayCode = 0;
    switch (group) {
    case egLine:
        rect = line.Rect;
        displayCode = line.DisplayCode;
        break;
    case egPoint: {
        long double m = pointMargin == 0 ? 1.0L : std::fabs(static_cast<long double>(pointMargin));
        long double x = point.X.Value(), y = point.Y.Value();
        rect = MakeRect48(x - m, y - m, x + m, y + m);
        displayCode = point.DisplayCode;
        break;
    }
    case egArea:
        rect = area.Rect;
        displayCode = 8;
        break;
    case egText: rect = text.Rect; break;
    }

    const double cx = (static_cast<double>(rect.MinX.Value()) + static_cast<double>(rect.MaxX.Value())) / 2;
    const double cy = (static_cast<double>(rect.MinY.Value()) + static_cast<double>(rect.MaxY.Value())) / 2;

    if (zoom) {
        long double s = scale;
        if (s == 0)
            s = 1.0L;
        else if (s < 0)
            s = -1.0L / s;
        long double w = std::fabs(rect.MaxX.Value() - rect.MinX.Value()) / 2 / s;
        long double h = std::fabs(rect.MaxY.Value() - rect.MinY.Value()) / 2 / s;
        rect = MakeRect48(cx - w, cy - h, cx + w, cy + h);
    }

    if (!SameTextAscii(ActiveBlock(), BlockTopic(blockPath))) {
        if (!OpenBlk(blockPath, true)) return;
    }

    const TDisplaySwitches savedSwitches = GetDisplaySettings();
    SetDisplaySettings({1, 1, 2, 2, 1, 1});

    const TBlkDisplaySettings saved = GetGroupDisplaySettings(blockPath, group);

    auto view = [&] {
        if (zoom)
            ZoomToRect(rect, 0);
        else
            SetMiddle(cx, cy);
    };
    auto mark = [&] {
        TBlkDisplaySettings marking;
        marking.Flag1 = 1;
        marking.Value1 = 0;
        marking.Value2 = 0;
        marking.Text = "~";
        marking.Flag2 = 2;
        marking.Flag3 = 2;
        marking.Color = static_cast<std::uint32_t>(color);
        SetGroupDisplaySettings(blockPath, group, marking);
        CSTAddRec(blockPath, group, number, color, displayCode);
        switch (group) {
        case egLine:
        case egPoint: view(); break;
        case egArea:
            SpecPointAdd(0, color, 7, static_cast<double>(area.RefX.Value()), static_cast<double>(area.RefY.Value()),
                         1);
            SpecPointShow(true);
            view();
            SpecPointDel(0);
            break;
        case egText:
            view();
            CalculateQuery(blockPath, egText, text.Kind, text.Number, Format("%%Paint(%d, %%BinSymbol)", color));
            break;
        }
    };
    // The marking is taken away and every switch written back, also when marking fails.
    auto undo = [&] {
        CSTDelRec(blockPath, group, number);
        SetGroupDisplaySettings(blockPath, group, saved);
        SetDisplaySettings(savedSwitches);
    };
    try {
        mark();
    } catch (...) {
        undo();
        throw;
    }
    undo();
}

}  // namespace vexa
