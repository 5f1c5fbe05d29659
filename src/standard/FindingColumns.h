#pragma once
// The columns of a finding in one table: each column's dBASE name, type and width (the
// error table Chyby.DBF and the exceptions table Vynimky.DBF), its key in the JSON lines,
// the CSV header and the GIS layers, and its word in the text output's header. Every
// output of findings takes its columns from here, in the order it lists them below; the
// keys only the printed and GIS outputs have (the place, the measured value, the status,
// ...) follow in kOutputKeys.
#include "dbase/FieldTypes.h"
#include "standard/ErrorRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vexa {

// The seven columns of a finding, in the order of the error table.
enum class TFindingColumn { Id, Blok, Vrstva, Prvok, Druh, Cislo, Chyba };

// How a value is kept outside dBASE (JSON, CSV, GIS fields).
enum class TColumnValue { Text, Integer, Real };

struct TFindingColumnDef {
    TFindingColumn Column;
    const char* DbfName;   // as Chyby.DBF and Vynimky.DBF name it
    TFldType DbfType;
    int Width;             // dBASE width (no decimals)
    const char* Key;       // JSON key, CSV column and GIS field
    const char* Meaning;   // said by the help of the printed formats
    const char* TextHead;  // the text output's header word
    TColumnValue Value;
};

// Widths hold every value written: codes "-91", block names up to a full directory name,
// 2-letter layers, group letters, 16-bit kinds, 32-bit numbers, and texts (the longest, a
// duplicate-line finding, is cut to the column).
inline constexpr TFindingColumnDef kFindingColumns[] = {
    {TFindingColumn::Id, "Id", TFldType::dbfNumeric, 4, "code", "kód", "kód", TColumnValue::Integer},
    {TFindingColumn::Blok, "Blok", TFldType::dbfChar, 254, "block", "blok", "blok", TColumnValue::Text},
    {TFindingColumn::Vrstva, "Vrstva", TFldType::dbfChar, 2, "layer", "vrstva", "vrstva", TColumnValue::Text},
    {TFindingColumn::Prvok, "Prvok", TFldType::dbfChar, 1, "group", "skupina", "skupina", TColumnValue::Text},
    {TFindingColumn::Druh, "Druh", TFldType::dbfNumeric, 6, "kind", "druh", "druh", TColumnValue::Integer},
    {TFindingColumn::Cislo, "Cislo", TFldType::dbfNumeric, 11, "number", "číslo", "číslo", TColumnValue::Integer},
    {TFindingColumn::Chyba, "Chyba", TFldType::dbfChar, 254, "text", "text chyby", "text", TColumnValue::Text},
};

inline constexpr const TFindingColumnDef& ColumnDef(TFindingColumn column) {
    return kFindingColumns[static_cast<std::size_t>(column)];
}

// The orders of the outputs.
// The error table: as kFindingColumns.
// JSON, CSV and the GIS layers of findings.
inline constexpr TFindingColumn kPrintedColumns[] = {TFindingColumn::Blok,  TFindingColumn::Vrstva,
                                                     TFindingColumn::Prvok, TFindingColumn::Druh,
                                                     TFindingColumn::Cislo, TFindingColumn::Id,
                                                     TFindingColumn::Chyba};
// The text output (one line per finding, tabs between): the layer is left out.
inline constexpr TFindingColumn kTextColumns[] = {TFindingColumn::Blok, TFindingColumn::Prvok, TFindingColumn::Cislo,
                                                  TFindingColumn::Druh, TFindingColumn::Id, TFindingColumn::Chyba};
// The exceptions table's columns of the finding it keeps (its own columns follow them).
inline constexpr TFindingColumn kExceptionColumns[] = {TFindingColumn::Blok,  TFindingColumn::Vrstva,
                                                       TFindingColumn::Prvok, TFindingColumn::Druh,
                                                       TFindingColumn::Cislo, TFindingColumn::Id,
                                                       TFindingColumn::Chyba};

// A column's value of a record: a text, a number, or nothing (a null column).
inline std::optional<std::string> ColumnText(const TErrorRecord& r, TFindingColumn column) {
    auto number = [](const std::optional<std::int32_t>& v) -> std::optional<std::string> {
        if (!v) return std::nullopt;
        return std::to_string(*v);
    };
    switch (column) {
    case TFindingColumn::Id: return std::to_string(r.Id);
    case TFindingColumn::Blok: return r.Blok;
    case TFindingColumn::Vrstva: return r.Vrstva;
    case TFindingColumn::Prvok: return r.Prvok;
    case TFindingColumn::Druh: return number(r.Druh);
    case TFindingColumn::Cislo: return number(r.Cislo);
    case TFindingColumn::Chyba: return r.Chyba;
    }
    return std::nullopt;
}

// A number column's value of a record; nothing for a null column or a text column.
inline std::optional<std::int32_t> ColumnNumber(const TErrorRecord& r, TFindingColumn column) {
    switch (column) {
    case TFindingColumn::Id: return r.Id;
    case TFindingColumn::Druh: return r.Druh;
    case TFindingColumn::Cislo: return r.Cislo;
    default: return std::nullopt;
    }
}

// The keys the printed formats (and, with a GIS type, the GIS layers) have beside the
// columns, with what they mean, in the order of the CSV columns after the columns (keys
// only JSON has at the end). A key without a meaning of its own joins the one before it
// in the help.
struct TOutputKey {
    const char* Key;
    const char* Meaning;
    bool Csv;
    bool Gis;  // a field of every GIS layer of findings (as a real number)
};
inline constexpr TOutputKey kOutputKeys[] = {
    {"min_x", "obdĺžnik", true, false},
    {"min_y", "", true, false},
    {"max_x", "", true, false},
    {"max_y", "", true, false},
    {"x", "bod", true, false},
    {"y", "", true, false},
    {"table", "tabuľka atribútov", true, false},
    {"value", "nameraná dĺžka alebo plocha", true, true},
    {"limit", "limit", true, true},
    {"status", "stav oproti predchádzajúcej kontrole (new, persisting)", true, false},
    {"since", "od", true, false},
    {"detail", "čo je na tabuľke atribútov zlé: chýbajúce a odlišné polia, dotaz, ktorý odmietol záznam", true, false},
    {"point", "bod", false, false},
    {"bbox", "obdĺžnik", false, false},
    {"geometry", "tvar (GeoJSON)", false, false},
};

}  // namespace vexa
