#pragma once
// One finding as a record of the error table "Chyby.dbf", columns in order.
#include <cstdint>
#include <optional>
#include <string>

namespace vexa {

struct TErrorRecord {
    std::int32_t Id = 0;                // error code, negative
    std::string Blok;                   // block name
    std::optional<std::string> Vrstva;  // layer code; null in attribute-table findings
    std::string Prvok;                  // "L", "B", "T", "P"
    std::optional<std::int32_t> Druh;   // kind; null in attribute-table findings
    std::optional<std::int32_t> Cislo;  // element number; null where not given
    std::string Chyba;                  // finding text (UTF-8)
    bool operator==(const TErrorRecord&) const = default;
};

}  // namespace vexa
