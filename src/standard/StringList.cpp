#include "standard/StringList.h"

#include <algorithm>

namespace vexa {

namespace {
// Sort weight of a byte: blanks and punctuation before digits, digits before
// letters (either case alike), letters before other (non-ASCII) bytes.
int Weight(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') u = static_cast<unsigned char>(u - 'a' + 'A');
    if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z')) return 0x100 + u;
    if (u < 0x80) return u;
    return 0x200 + u;
}
}  // namespace

int TStringList::Compare(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int x = Weight(a[i]), y = Weight(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool TStringList::Add(const std::string& text) {
    auto it = std::lower_bound(FItems.begin(), FItems.end(), text,
                               [](const std::string& x, const std::string& y) { return Compare(x, y) < 0; });
    if (it != FItems.end() && Compare(*it, text) == 0) return false;
    FItems.insert(it, text);
    return true;
}

void TStringList::AddAll(const std::vector<std::string>& texts) {
    std::vector<std::string> all;
    all.reserve(FItems.size() + texts.size());
    all.insert(all.end(), FItems.begin(), FItems.end());
    all.insert(all.end(), texts.begin(), texts.end());
    std::stable_sort(all.begin(), all.end(),
                     [](const std::string& x, const std::string& y) { return Compare(x, y) < 0; });
    all.erase(std::unique(all.begin(), all.end(),
                          [](const std::string& x, const std::string& y) { return Compare(x, y) == 0; }),
              all.end());
    FItems = std::move(all);
}

int TStringList::IndexOf(const std::string& text) const {
    auto it = std::lower_bound(FItems.begin(), FItems.end(), text,
                               [](const std::string& x, const std::string& y) { return Compare(x, y) < 0; });
    if (it != FItems.end() && Compare(*it, text) == 0) return static_cast<int>(it - FItems.begin());
    return -1;
}

std::string TStringList::Name(int index) const {
    const std::string& item = (*this)[index];
    const auto eq = item.find('=');
    return eq == std::string::npos ? item : item.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
    const std::string& item = (*this)[index];
    const auto eq = item.find('=');
    return eq == std::string::npos ? std::string() : item.substr(eq + 1);
}

int TStringList::IndexOfName(const std::string& name) const {
    for (int i = 0; i < Count(); ++i) {
        const std::string& item = FItems[static_cast<std::size_t>(i)];
        const auto eq = item.find('=');
        if (eq != std::string::npos && Compare(item.substr(0, eq), name) == 0) return i;
    }
    return -1;
}

std::string TStringList::Values(const std::string& name) const {
    const int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

}  // namespace vexa
