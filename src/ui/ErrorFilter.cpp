#include "ui/ErrorFilter.h"

#include "block/BlkRecords.h"
#include "common/Text.h"
#include "standard/FindingKinds.h"

#include <cmath>

namespace vexa {

const std::vector<TErrorGroupItem>& ErrorFilterTable() {
    // The groups in the browser's order; each group's types in the order of
    // the finding kinds table.
    static const std::vector<TErrorGroupItem> table = [] {
        std::vector<TErrorGroupItem> groups = {
            {"všetky", 0, {}}, {"linie", 'L', {}}, {"body", 'B', {}}, {"texty", 'T', {}}, {"plochy", 'P', {}}};
        for (std::size_t g = 1; g < groups.size(); ++g) {
            groups[g].Types.push_back({"všetky", 0});
            for (const TFindingCode& c : FindingCodes)
                if (c.Letter == groups[g].Letter) groups[g].Types.push_back({c.Filter, c.Code});
        }
        return groups;
    }();
    return table;
}

namespace {
bool ValidGroup(int group) { return group > 0 && group < static_cast<int>(ErrorFilterTable().size()); }
}  // namespace

std::vector<std::string> GroupItems() {
    std::vector<std::string> items;
    for (const auto& g : ErrorFilterTable()) items.push_back(g.Caption);
    return items;
}

std::vector<std::string> TypeItems(int group) {
    std::vector<std::string> items;
    if (!ValidGroup(group)) return items;
    for (const auto& t : ErrorFilterTable()[static_cast<size_t>(group)].Types) items.push_back(t.Caption);
    return items;
}

std::string QuotedText(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

std::optional<std::string> GroupFilter(int group) {
    if (!ValidGroup(group)) return std::nullopt;
    return "Prvok = " + QuotedText(std::string(1, ErrorFilterTable()[static_cast<size_t>(group)].Letter));
}

std::optional<std::string> TypeFilter(int group, int type) {
    if (!ValidGroup(group)) return std::nullopt;
    const auto& g = ErrorFilterTable()[static_cast<size_t>(group)];
    if (type < 0 || type >= static_cast<int>(g.Types.size())) return std::nullopt;
    const std::string letter = QuotedText(std::string(1, g.Letter));
    if (type == 0) return "Prvok = " + letter;
    return Format("Id = %d and Prvok = %s", g.Types[static_cast<size_t>(type)].Code, letter.c_str());
}

std::string RecordCounterText(int recNo, int recordCount) {
    if (recordCount < 1) return {};
    return Format("Záznam: %d/%d", recNo, recordCount);
}

bool TShowScale::SetZoom(bool down) {
    FZoom = down;
    if (!down) return false;
    FScale = 1.0;
    return true;
}

std::optional<int> ElementKindOf(const std::string& prvok) {
    if (prvok.empty()) return std::nullopt;
    // Upper-case letters only: the error table stores them so.
    if (prvok[0] < 'A' || prvok[0] > 'Z') return std::nullopt;
    const auto group = GroupOfLetter(prvok[0]);
    if (!group) return std::nullopt;
    return static_cast<int>(*group);
}

std::string ValueText(const TValue& value) {
    if (const auto* s = std::get_if<std::string>(&value)) return *s;
    if (const auto* d = std::get_if<double>(&value)) {
        if (std::isfinite(*d) && *d == std::trunc(*d) && std::fabs(*d) < 1e15)
            return Format("%lld", static_cast<long long>(*d));
        return FloatToText(*d);
    }
    if (const auto* b = std::get_if<bool>(&value)) return *b ? "T" : "F";
    if (const auto* dt = std::get_if<TDate>(&value)) return Format("%04d%02d%02d", dt->Year, dt->Month, dt->Day);
    return {};
}

std::optional<TShowRequest> ShowRequestFor(const std::string& mapDir, const TValue& cislo, const TValue& blok,
                                           const TValue& prvok) {
    // The element number as an integer; a null or non-numeric value reads as 0.
    long long number = 0;
    if (const auto* d = std::get_if<double>(&cislo)) {
        if (std::isfinite(*d) && std::fabs(*d) < 2147483648.0) number = static_cast<long long>(*d);
    } else if (const auto* s = std::get_if<std::string>(&cislo)) {
        number = TextToInt(Trim(*s)).value_or(0);
    }
    if (number <= 0 || number > 2147483647LL) return std::nullopt;
    const auto kind = ElementKindOf(ValueText(prvok));
    if (!kind) return std::nullopt;
    return TShowRequest{mapDir + Trim(ValueText(blok)), *kind, static_cast<int>(number)};
}

}  // namespace vexa
