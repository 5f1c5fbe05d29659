#include "dbase/FieldTypes.h"

#include "common/Text.h"
#include "dbase/DbfExceptions.h"

namespace vexa {

namespace {

using enum TFldType;

// Type, physical code, writable, stored width, width in a definition, default and
// greatest width, greatest decimals.
constexpr TFldTypeInfo kFieldTypes[] = {
    {dbfChar, fldpChar, true, 0, true, 50, 254, 0},
    {dbfNumeric, fldpNumeric, true, 0, true, 15, 20, 16},
    {dbfFloat, fldpFloat, true, 0, true, 15, 20, 16},
    {dbfLogical, fldpLogical, true, 1, false, 0, 0, 0},
    {dbfDate, fldpDate, true, 8, false, 0, 0, 0},
    // Kept as stored: the table's own format fixes their width (a memo's block
    // number is ten digits in dBASE, four bytes in Visual FoxPro).
    {dbfMemo, fldpMemo, false, 0, false, 0, 0, 0},
    {dbfBinary, fldpBinary, false, 0, false, 0, 0, 0},
    {dbfGeneral, fldpGeneral, false, 0, false, 0, 0, 0},
    {dbfPicture, fldpPicture, false, 0, false, 0, 0, 0},
    {dbfInteger, fldpInteger, false, 4, false, 0, 0, 0},
    {dbfCurrency, fldpCurrency, false, 8, false, 0, 0, 0},
    {dbfDateTime, fldpDateTime, false, 8, false, 0, 0, 0},
    {dbfVarChar, fldpVarChar, false, 0, true, 50, 254, 0},
    {dbfVarBinary, fldpVarBinary, false, 0, true, 50, 254, 0},
    {dbfBlob, fldpBlob, false, 4, false, 0, 0, 0},
    {dbfDouble, fldpDouble, false, 8, false, 0, 0, 0},
    {dbfTimestamp, fldpTimestamp, false, 8, false, 0, 0, 0},
    {dbfAutoInc, fldpAutoInc, false, 4, false, 0, 0, 0},
    {dbfNullFlags, fldpNullFlags, false, 0, false, 0, 0, 0},
};

// What a letter outside the table is taken for: kept as stored, never written,
// its width as the file gives it (Physical is the letter's own code, see PhysicalOf).
constexpr TFldTypeInfo kUnknownType = {static_cast<TFldType>('?'), fldpOther, false, 0, true, 1, 254, 0};

// A type letter as it reads in a message: the letter, or its code when it is no printable character.
std::string LetterText(char letter) {
    if (IsTypeLetter(letter)) return std::string(1, letter);
    return Format("0x%02X", static_cast<unsigned char>(letter));
}

}  // namespace

const TFldTypeInfo* FieldTypeOfLetter(char letter) {
    for (const TFldTypeInfo& t : kFieldTypes)
        if (LetterOf(t.Type) == letter) return &t;
    return nullptr;
}

const TFldTypeInfo* FieldTypeOfPhysical(std::uint16_t physical) {
    for (const TFldTypeInfo& t : kFieldTypes)
        if (t.Physical == physical) return &t;
    return nullptr;
}

const TFldTypeInfo& FieldTypeInfo(TFldType type) {
    const TFldTypeInfo* t = FieldTypeOfLetter(LetterOf(type));
    return t ? *t : kUnknownType;
}

bool IsTypeLetter(char letter) {
    const auto c = static_cast<unsigned char>(letter);
    return c > ' ' && c < 0x7F;
}

std::uint16_t PhysicalOf(TFldType type) { return PhysicalOfLetter(LetterOf(type)); }

std::uint16_t PhysicalOfLetter(char letter) {
    if (const TFldTypeInfo* t = FieldTypeOfLetter(letter)) return t->Physical;
    if (!IsTypeLetter(letter)) return fldpOther;
    return static_cast<std::uint16_t>(fldpOtherLetter | static_cast<unsigned char>(letter));
}

char LetterOfPhysical(std::uint16_t physical) {
    if (const TFldTypeInfo* t = FieldTypeOfPhysical(physical)) return LetterOf(t->Type);
    const char letter = static_cast<char>(physical & 0xFF);
    if ((physical & 0xFF00) == fldpOtherLetter && IsTypeLetter(letter)) return letter;
    return '?';
}

bool IsWritableType(TFldType type) {
    const TFldTypeInfo* t = FieldTypeOfLetter(LetterOf(type));
    return t && t->Writable;
}

bool IsWritableLetter(char letter) {
    const TFldTypeInfo* t = FieldTypeOfLetter(letter);
    return t && t->Writable;
}

bool HasDecimals(char letter) {
    const TFldTypeInfo* t = FieldTypeOfLetter(letter);
    return t && t->MaxDecimals > 0;
}

std::string UnwritableTypeMessage(const std::string& field, char letter) {
    return "Pole " + (field.empty() ? std::string() : field + " ") + "má typ " + LetterText(letter) +
           ", ktorý Vexa nevie zapísať.";
}

void RefuseFieldType(const std::string& field, char letter) {
    throw EDbfException(UnwritableTypeMessage(field, letter));
}

}  // namespace vexa
