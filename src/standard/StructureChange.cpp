#include "standard/StructureChange.h"

#include "common/Text.h"

#include <algorithm>

namespace vexa {

namespace {

std::string Shape(const FLDDesc& d) {
    std::string s = std::string(1, LetterOfPhysical(d.iFldType)) + " " + std::to_string(d.iUnits1);
    if (d.iUnits2 != 0) s += "." + std::to_string(d.iUnits2);
    return s;
}

// Index of the field named as name in list, or -1.
int Find(const TFldDescList& list, const std::string& name) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (SameTextAscii(list[i].szName, name)) return static_cast<int>(i);
    return -1;
}

void Append(std::string& text, const char* what, const std::vector<std::string>& names) {
    if (names.empty()) return;
    if (!text.empty()) text += "; ";
    text += what;
    text += ": ";
    for (std::size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + names[i];
}

}  // namespace

std::string DescribeStructureChange(const TFldDescList& before, const TFldDescList& after) {
    std::vector<std::string> added, moved, removed, altered;
    std::vector<std::string> keptBefore, keptAfter;  // fields of both, in each list's order
    for (const FLDDesc& d : after) {
        const int old = Find(before, d.szName);
        if (old < 0) {
            added.push_back(d.szName);
            continue;
        }
        keptAfter.push_back(UpperAscii(d.szName));
        const FLDDesc& o = before[static_cast<std::size_t>(old)];
        if (o.iFldType != d.iFldType || o.iUnits1 != d.iUnits1 || o.iUnits2 != d.iUnits2 || o.szName != d.szName)
            altered.push_back(o.szName + " " + Shape(o) + " -> " + d.szName + " " + Shape(d));
    }
    for (const FLDDesc& d : before) {
        if (Find(after, d.szName) < 0)
            removed.push_back(d.szName);
        else
            keptBefore.push_back(UpperAscii(d.szName));
    }
    // Moved: the fields of both lists outside a longest common subsequence of their orders, so
    // that one field brought to the front counts alone, not every field it passed.
    const std::size_t n = keptBefore.size();
    std::vector<std::vector<int>> lcs(n + 1, std::vector<int>(n + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = n; j-- > 0;)
            lcs[i][j] = keptBefore[i] == keptAfter[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    std::vector<bool> inOrder(n, false);
    for (std::size_t i = 0, j = 0; i < n && j < n;) {
        if (keptBefore[i] == keptAfter[j]) {
            inOrder[j] = true;
            ++i, ++j;
        } else if (lcs[i + 1][j] >= lcs[i][j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    for (std::size_t j = 0; j < n; ++j)
        if (!inOrder[j]) moved.push_back(after[static_cast<std::size_t>(Find(after, keptAfter[j]))].szName);
    std::string text;
    Append(text, "pridané", added);
    Append(text, "presunuté", moved);
    Append(text, "odstránené", removed);
    Append(text, "zmenené", altered);
    return text;
}

std::string RepairMessage(const std::string& tablePath, const std::string& change) {
    return "Upravená tabuľka " + tablePath + ": " + change;
}

}  // namespace vexa
