#pragma once
// Row filter of a dBASE table: equality terms joined by "and", as in
//   Cislo=12    Prvok = 'L'    Id = -73 and Prvok = 'L'
// Field names ignore letter case; literals are numbers or single-quoted
// texts (a quote inside is doubled). Anything else is refused with
// EDbfFilterError rather than matching every row.
#include "dbase/DbfIo.h"

#include <string>
#include <vector>

namespace vexa {

class TDbfFilter {
public:
    // One "field = literal" term as written.
    struct Term {
        std::string Field;
        bool IsText = false;
        std::string Text;  // UTF-8, quotes undone
        double Number = 0;
    };

    // Parses the expression; an empty (blank) expression keeps every row.
    static std::vector<Term> Parse(const std::string& expression);

    // Parses and binds the terms to the table's fields (names ignoring case;
    // a text literal needs a C field, a number an N or F field).
    TDbfFilter(const std::string& expression, const std::vector<dbfio::FieldLayout>& fields);

    bool Empty() const { return FTerms.empty(); }
    // Whether a record (its raw bytes, deletion flag first) passes.
    bool Matches(const std::string& record, int codePage) const {
        return Matches(record.data(), record.size(), codePage);
    }
    bool Matches(const char* record, std::size_t length, int codePage) const;

private:
    struct Bound {
        Term T;
        dbfio::FieldLayout Field;
        mutable std::string Bytes;  // a text literal in the table's code page
        mutable int BytesCodePage = 0;
    };
    std::vector<Bound> FTerms;
};

}  // namespace vexa
