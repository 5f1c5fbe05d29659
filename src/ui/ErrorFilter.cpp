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

namespace {

// The base letter (lower case) of the Latin letters U+00C0 to U+017F; 0 for the others
// there (×, ÷, Þ, ß, Æ, Œ, Ĳ, ...).
char BaseLetter(char32_t c) {
    static constexpr char latin1[] =  // U+00C0 to U+00FF
        "aaaaaa\0ceeeeiiii"          // ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏ
        "dnooooo\0ouuuuy\0\0"      // ÐÑÒÓÔÕÖ×ØÙÚÛÜÝÞß
        "aaaaaa\0ceeeeiiii"          // àáâãäåæçèéêëìíîï
        "dnooooo\0ouuuuy\0y";       // ðñòóôõö÷øùúûüýþÿ
    static constexpr char extendedA[] =  // U+0100 to U+017F
        "aaaaaaccccccccdd"               // ĀāĂăĄąĆćĈĉĊċČčĎď
        "ddeeeeeeeeeegggg"               // ĐđĒēĔĕĖėĘęĚěĜĝĞğ
        "gggghhhhiiiiiiii"               // ĠġĢģĤĥĦħĨĩĪīĬĭĮį
        "ii\0\0jjkkklllllll"           // İıĲĳĴĵĶķĸĹĺĻļĽľĿ
        "lllnnnnnnnnnoooo"               // ŀŁłŃńŅņŇňŉŊŋŌōŎŏ
        "oo\0\0rrrrrrssssss"           // ŐőŒœŔŕŖŗŘřŚśŜŝŞş
        "sstttttt"                       // ŠšŢţŤťŦŧ
        "uuuuuuuuuuuuwwyy"               // ŨũŪūŬŭŮůŰűŲųŴŵŶŷ
        "yzzzzzzs";                      // ŸŹźŻżŽžſ
    static_assert(sizeof(latin1) == 0x40 + 1 && sizeof(extendedA) == 0x80 + 1);
    if (c >= 0xC0 && c <= 0xFF) return latin1[c - 0xC0];
    if (c >= 0x100 && c <= 0x17F) return extendedA[c - 0x100];
    return 0;
}

// The letters folded into two: Æ æ, Œ œ, Ĳ ĳ, ß; nullptr for the others.
const char* BaseLetters(char32_t c) {
    switch (c) {
    case 0xC6: case 0xE6: return "ae";
    case 0x152: case 0x153: return "oe";
    case 0x132: case 0x133: return "ij";
    case 0xDF: return "ss";
    default: return nullptr;
    }
}

}  // namespace

std::string SearchFolded(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : static_cast<char>(b);
            ++i;
            continue;
        }
        // Two-byte sequences hold every letter that is folded (U+0080 to U+07FF).
        if ((b & 0xE0) == 0xC0 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            const char32_t c = (static_cast<char32_t>(b & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F);
            if (const char base = BaseLetter(c)) {
                out += base;
                i += 2;
                continue;
            }
            if (const char* bases = BaseLetters(c)) {
                out += bases;
                i += 2;
                continue;
            }
            if (c == 0xDE) {  // Þ: its small letter þ
                out += "\xC3\xBE";
                i += 2;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

std::string SearchKey(const std::string& block, const std::string& group, const std::string& number,
                      const std::string& text) {
    // The unit separator divides the parts: typed words never hold it.
    std::string key = SearchFolded(block);
    key += '\x1f';
    key += SearchFolded(group);
    key += ':';
    key += number;
    key += '\x1f';
    key += SearchFolded(text);
    return key;
}

TErrorRowFilter TErrorRowFilter::Of(int group, int type, const std::string& block, const std::string& search) {
    TErrorRowFilter f;
    if (ValidGroup(group)) {
        const auto& g = ErrorFilterTable()[static_cast<size_t>(group)];
        f.Letter = g.Letter;
        if (type > 0 && type < static_cast<int>(g.Types.size())) f.Code = g.Types[static_cast<size_t>(type)].Code;
    }
    f.Block = block;
    const std::string folded = SearchFolded(search);
    std::size_t at = 0;
    while (at < folded.size()) {
        // Words end at white space and at control characters (the key's separators among them).
        auto space = [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == '\x7f'; };
        while (at < folded.size() && space(folded[at])) ++at;
        std::size_t end = at;
        while (end < folded.size() && !space(folded[end])) ++end;
        if (end > at) f.Words.push_back(folded.substr(at, end - at));
        at = end;
    }
    return f;
}

std::string TErrorRowFilter::Expression() const {
    std::string e;
    auto add = [&](const std::string& term) { e += (e.empty() ? "" : " and ") + term; };
    if (Letter && Code) add(Format("Id = %d", Code));
    if (Letter) add("Prvok = " + QuotedText(std::string(1, Letter)));
    if (!Block.empty()) add("Blok = " + QuotedText(Block));
    return e;
}

bool TErrorRowFilter::MatchesFields(const std::string& group, std::optional<int> code, const std::string& block) const {
    if (Letter && (group.size() != 1 || group[0] != Letter)) return false;
    if (Letter && Code && code != Code) return false;
    return Block.empty() || block == Block;
}

bool TErrorRowFilter::MatchesSearch(const std::string& key) const {
    for (const std::string& w : Words)
        if (key.find(w) == std::string::npos) return false;
    return true;
}

std::string RecordCounterText(int recNo, int recordCount) {
    if (recordCount < 1) return {};
    return Format("Záznam: %d/%d", recNo, recordCount);
}

std::string RecordCounterText(int recNo, int recordCount, int selected) {
    std::string text = RecordCounterText(recNo, recordCount);
    if (!text.empty() && selected > 1) text += Format(", vybrané: %d", selected);
    return text;
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
