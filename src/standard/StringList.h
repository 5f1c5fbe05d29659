#pragma once
// A sorted list of texts compared ignoring letter case, duplicates ignored.
// Entries may have the form name=value; Values() finds the first entry (in
// sorted order) with that name.
#include <string>
#include <vector>

namespace vexa {

class TStringList {
public:
    // Inserts in sorted position; answers false when an equal entry is already there.
    bool Add(const std::string& text);
    // Adds many at once (sorted once, not one insert each); of equal entries
    // the one already there, else the first given, stays.
    void AddAll(const std::vector<std::string>& texts);
    void Clear() { FItems.clear(); }

    int Count() const { return static_cast<int>(FItems.size()); }
    bool Empty() const { return FItems.empty(); }
    const std::string& operator[](int index) const { return FItems.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string>& Strings() const { return FItems; }
    std::vector<std::string>::const_iterator begin() const { return FItems.begin(); }
    std::vector<std::string>::const_iterator end() const { return FItems.end(); }

    // Position of the entry equal to text ignoring case, -1 when there is none.
    int IndexOf(const std::string& text) const;
    bool Contains(const std::string& text) const { return IndexOf(text) >= 0; }

    // Name and value parts of entry index (split at the first "=").
    std::string Name(int index) const;
    std::string ValueFromIndex(int index) const;
    // Position of the first entry whose name equals name ignoring case, -1 when none.
    int IndexOfName(const std::string& name) const;
    // Value of that entry; empty when there is none.
    std::string Values(const std::string& name) const;

    // Ordering of the list, ignoring case: blanks and punctuation, then digits,
    // then letters, then other characters.
    static int Compare(const std::string& a, const std::string& b);

private:
    std::vector<std::string> FItems;
};

}  // namespace vexa
