#pragma once
// Plain field definitions and field values of dBASE attribute tables.
#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vexa {

enum class TFldType : std::uint8_t { dbfChar = 0, dbfNumeric = 1, dbfFloat = 2, dbfLogical = 3, dbfDate = 4 };

struct TFldDef {
    std::string Name;  // at most 10 characters
    TFldType FieldType = TFldType::dbfChar;
    std::int32_t Width = 0;
    std::int32_t Decimals = 0;
    bool operator==(const TFldDef&) const = default;
};
using TFldDefList = std::vector<TFldDef>;

struct TDate {
    int Year = 0, Month = 0, Day = 0;
    auto operator<=>(const TDate&) const = default;
};

// A field value: null, text (UTF-8), number, logical or date.
using TValue = std::variant<std::monostate, std::string, double, bool, TDate>;

inline bool IsNull(const TValue& v) { return std::holds_alternative<std::monostate>(v); }

struct TFldVal {
    std::string Name;
    TValue Value;
    bool operator==(const TFldVal&) const = default;
};
using TFldValList = std::vector<TFldVal>;

}  // namespace vexa
