#pragma once
// Plain field definitions and field values of dBASE attribute tables, and the
// one table of dBASE field types: each type's letter (as stored in a table
// header), its physical code in field descriptors, whether this system writes
// values of it, and the width and decimals a definition of it may have.
#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vexa {

// A dBASE field type; its value is the type letter of the table header.
// C, N, F, L and D are the types whose values this system writes; the others
// are those other software writes, which a rewrite carries through as stored.
enum class TFldType : char {
    dbfChar = 'C',
    dbfNumeric = 'N',
    dbfFloat = 'F',
    dbfLogical = 'L',
    dbfDate = 'D',
    dbfMemo = 'M',
    dbfBinary = 'B',  // dBASE binary memo; Visual FoxPro double
    dbfGeneral = 'G',
    dbfPicture = 'P',
    dbfInteger = 'I',
    dbfCurrency = 'Y',
    dbfDateTime = 'T',
    dbfVarChar = 'V',
    dbfVarBinary = 'Q',
    dbfBlob = 'W',
    dbfDouble = 'O',  // dBASE 7
    dbfTimestamp = '@',
    dbfAutoInc = '+',
    dbfNullFlags = '0'  // Visual FoxPro's _NullFlags
};

// Physical field type codes of the engine's field descriptors.
enum : std::uint16_t {
    fldpChar = 0x201,
    fldpNumeric = 0x202,
    fldpMemo = 0x203,
    fldpLogical = 0x204,
    fldpDate = 0x205,
    fldpFloat = 0x206,
    // This system's own codes for the types the engine table does not list.
    fldpBinary = 0x207,
    fldpGeneral,
    fldpPicture,
    fldpInteger,
    fldpCurrency,
    fldpDateTime,
    fldpVarChar,
    fldpVarBinary,
    fldpBlob,
    fldpDouble,
    fldpTimestamp,
    fldpAutoInc,
    fldpNullFlags,
    fldpOther = 0x2FF,       // no type letter (a byte that is no printable character)
    fldpOtherLetter = 0x300  // | the letter: a type this system does not know, kept as stored
};

// One row of the table of field types.
struct TFldTypeInfo {
    TFldType Type;
    std::uint16_t Physical;
    bool Writable;              // values of it are written and converted (C, N, F, L, D)
    std::int16_t StoredWidth;   // bytes in a record when the type fixes them (L 1, D 8), else 0
    bool WidthInDefinition;     // a definition gives the width (C, N, F, V, Q); else it is 0
    std::int16_t DefaultWidth;  // for a definition's width below 1
    std::int16_t MaxWidth;
    std::int16_t MaxDecimals;  // 0: the type has no decimals
};

// The row of a type letter as stored (upper case); nullptr for a letter this system does not know.
const TFldTypeInfo* FieldTypeOfLetter(char letter);
// The row of a physical code; nullptr for a type this system does not know.
const TFldTypeInfo* FieldTypeOfPhysical(std::uint16_t physical);
// The row of a type; a type this system does not know has a row of its own: never
// written, its width as the file gives it.
const TFldTypeInfo& FieldTypeInfo(TFldType type);
// A printable character other than a space: a type letter, known here or not.
bool IsTypeLetter(char letter);

inline char LetterOf(TFldType type) { return static_cast<char>(type); }
std::uint16_t PhysicalOf(TFldType type);
// Physical code of a stored type letter (fldpOtherLetter | letter for a letter not
// known here, fldpOther for a byte that is no letter).
std::uint16_t PhysicalOfLetter(char letter);
// Type letter of a physical code; '?' for fldpOther and codes of no letter.
char LetterOfPhysical(std::uint16_t physical);
bool IsWritableType(TFldType type);
bool IsWritableLetter(char letter);
// The type has decimals (N and F); other types' decimals byte is kept as stored.
bool HasDecimals(char letter);

// The message for a field whose type this system cannot write:
// "Pole NAME má typ X, ktorý Vexa nevie zapísať."
std::string UnwritableTypeMessage(const std::string& field, char letter);
// Raises EDbfException with that message.
[[noreturn]] void RefuseFieldType(const std::string& field, char letter);

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
