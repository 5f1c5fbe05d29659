#pragma once
// The error browser's logic without a window: the filter table (element group
// and error type to error code), the filter expressions, the rows' filter with
// the text search, the record counter text, the scale and positioning state of
// show requests, and the choice of the element a finding names.
#include "block/BlkRecords.h"
#include "dbase/FieldTypes.h"

#include <optional>
#include <string>
#include <vector>

namespace vexa {

struct TErrorTypeItem {
    std::string Caption;
    int Code;  // error code of the finding (negative); 0 for "všetky"
};

struct TErrorGroupItem {
    std::string Caption;
    char Letter;                        // element group letter of the "Prvok" column; 0 for "všetky"
    std::vector<TErrorTypeItem> Types;  // empty for "všetky"
};

// Index 0 "všetky", 1 "linie", 2 "body", 3 "texty", 4 "plochy".
const std::vector<TErrorGroupItem>& ErrorFilterTable();

// Items of the group box, in order.
std::vector<std::string> GroupItems();
// Items of the type box for a group (empty for group 0 and for unknown indexes).
std::vector<std::string> TypeItems(int group);

// A text in single quotes, a quote inside doubled: L -> 'L'.
std::string QuotedText(const std::string& text);

// Filter expression for a group alone: "Prvok = 'L'". Nothing for group 0 (filter off).
std::optional<std::string> GroupFilter(int group);
// Filter expression for a group and a type: type 0 as GroupFilter, otherwise
// "Id = -73 and Prvok = 'L'". Nothing for group 0 or an index outside the table.
std::optional<std::string> TypeFilter(int group, int type);

// A text as the search compares it: letters in lower case and without their diacritics
// ("Dĺžka" and "DLZKA" both "dlzka"; the Latin letters of Slovak, Czech, Hungarian, German
// and their neighbours), every other character as it is. Bytes that are no UTF-8 stay.
std::string SearchFolded(const std::string& text);

// What the search looks into of a row, folded: its block, its element as "B:17" (the group
// letter and the element number, as the browser's messages name a finding) and its text,
// each apart (a word of the search never spans two of them).
std::string SearchKey(const std::string& block, const std::string& group, const std::string& number,
                      const std::string& text);

// The browser's filters together: the element group and error type, the block and the
// words of the text search. A row passes when it is of the group (and the type), of the
// block, and every word of the search is found in its search key.
struct TErrorRowFilter {
    char Letter = 0;                 // the group's letter of "Prvok"; 0 for every group
    int Code = 0;                    // the type's error code ("Id"); 0 for every type
    std::string Block;               // "Blok" as the table holds it; "" for every block
    std::vector<std::string> Words;  // the search's words, folded; none for no search

    // From the boxes: the group and type indexes of the filter table (as TypeFilter takes
    // them; type -1 or 0 for all of the group), the block ("" for all) and the search as
    // typed (split into words at white space).
    static TErrorRowFilter Of(int group, int type, const std::string& block, const std::string& search);

    bool Empty() const { return Letter == 0 && Code == 0 && Block.empty() && Words.empty(); }
    // The group, type and block as a filter expression of the table ("Id = -73 and Prvok =
    // 'L' and Blok = 'LE_0''01.blk'"), the search not included; "" when none of them is set.
    std::string Expression() const;
    // Whether a row of this group letter, code and block passes the group, type and block.
    bool MatchesFields(const std::string& group, std::optional<int> code, const std::string& block) const;
    // Whether a row of this search key (SearchKey) holds every word of the search.
    bool MatchesSearch(const std::string& key) const;
};

// "Záznam: 2/3"; empty when the table holds no record.
std::string RecordCounterText(int recNo, int recordCount);
// The same with the number of rows selected when more than one: "Záznam: 2/30, vybrané: 5".
std::string RecordCounterText(int recNo, int recordCount, int selected);

// Scale factor and positioning flag handed to the GIS with each show request.
class TShowScale {
public:
    double Scale() const { return FScale; }
    bool Zoom() const { return FZoom; }

    void ShowAtScaleOne() { FScale = 1.0; }  // show button, double click
    void ZoomIn() { FScale *= 2; }           // magnifier plus
    void ZoomOut() { FScale /= 2; }          // magnifier minus
    // The positioning toggle: returns true when a show request follows (it became on;
    // the scale is then back to 1).
    bool SetZoom(bool down);
    // The magnifier buttons are usable only with positioning on.
    bool ZoomButtonsEnabled() const { return FZoom; }

private:
    double FScale = 1.0;
    bool FZoom = true;
};

// The element a finding names, ready to be shown in the GIS.
struct TShowRequest {
    std::string BlockPath;  // map directory + "Blok"
    int Kind;               // 0 line, 1 point, 2 area, 3 text
    int Number;             // "Cislo"
    bool operator==(const TShowRequest&) const = default;
};

// The block store's group of a request's kind (the kinds are numbered as the groups).
inline TBlkElementGroup ElementGroupOfKind(int kind) { return static_cast<TBlkElementGroup>(kind); }

// Kind from the first letter of "Prvok": "L" 0, "B" 1, "P" 2, "T" 3; nothing for any other.
std::optional<int> ElementKindOf(const std::string& prvok);

// The request for the current finding, or nothing when it cannot be shown (no positive
// element number, or a group letter other than L, B, P, T).
std::optional<TShowRequest> ShowRequestFor(const std::string& mapDir, const TValue& cislo, const TValue& blok,
                                           const TValue& prvok);

// A value as the table component would give it as text (numbers without a fraction
// as integers).
std::string ValueText(const TValue& value);

}  // namespace vexa
