#include "standard/ErrorTable.h"

#include "common/Exception.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"

namespace vexa {

TErrorTable::TErrorTable() = default;
TErrorTable::TErrorTable(std::string path) : FPath(std::move(path)) {}
TErrorTable::~TErrorTable() { Close(); }

void TErrorTable::SetPath(const std::string& path) {
    FHeld = false;
    Close();
    FPath = path;
}

TFldDefList TErrorTable::TemplateFields() {
    // Widths hold every value written: codes "-91", block names up to a full
    // directory name, 2-letter layers, group letters, 16-bit kinds, 32-bit numbers,
    // and texts (the longest, a duplicate-line finding, is cut to the column).
    return {
        TTableDBF::MakeField("Id", TFldType::dbfNumeric, 4, 0),
        TTableDBF::MakeField("Blok", TFldType::dbfChar, 254, 0),
        TTableDBF::MakeField("Vrstva", TFldType::dbfChar, 2, 0),
        TTableDBF::MakeField("Prvok", TFldType::dbfChar, 1, 0),
        TTableDBF::MakeField("Druh", TFldType::dbfNumeric, 6, 0),
        TTableDBF::MakeField("Cislo", TFldType::dbfNumeric, 11, 0),
        TTableDBF::MakeField("Chyba", TFldType::dbfChar, 254, 0),
    };
}

void TErrorTable::CreateTemplate(const std::string& path) { TTableDBF::CreateTable(path, TemplateFields(), 1250); }

void TErrorTable::Open() {
    if (Active()) return;
    auto table = std::make_unique<TTableDBF>();
    table->SetTableName(FPath);
    table->Open();
    TFldDefList fields;
    table->GetFields(fields);
    FFields = std::move(fields);
    FTable = std::move(table);
}

void TErrorTable::Hold() { FHeld = true; }

void TErrorTable::Release() {
    FHeld = false;
    Close();
}

void TErrorTable::Close() {
    if (FHeld) return;
    if (FTable) {
        FTable->Close();
        FTable.reset();
    }
}

bool TErrorTable::Active() const { return FTable && FTable->Active(); }

void TErrorTable::Append(const TErrorRecord& record) {
    if (!Active()) throw Exception("The error table is not open.\r(" + FPath + ")");
    auto text = [this](std::size_t column, const std::string& value) -> TValue {
        if (column < FFields.size() && FFields[column].FieldType == TFldType::dbfChar)
            return CutUtf8(value, static_cast<std::size_t>(FFields[column].Width));
        return value;
    };
    auto number = [](const std::optional<std::int32_t>& v) -> TValue {
        if (!v) return std::monostate{};
        return static_cast<double>(*v);
    };
    std::vector<TValue> values{
        static_cast<double>(record.Id), text(1, record.Blok), record.Vrstva ? text(2, *record.Vrstva) : TValue{},
        text(3, record.Prvok),          number(record.Druh),  number(record.Cislo),
        text(6, record.Chyba),
    };
    FTable->AppendRecord(values);
}

TErrorRecord TErrorTable::Fit(TErrorRecord record) {
    const TFldDefList fields = TemplateFields();
    auto cut = [&](std::size_t column, std::string& value) {
        value = CutUtf8(value, static_cast<std::size_t>(fields[column].Width));
    };
    cut(1, record.Blok);
    if (record.Vrstva) cut(2, *record.Vrstva);
    cut(3, record.Prvok);
    cut(6, record.Chyba);
    return record;
}

void TFindingList::Add(const TFinding& finding) { FFindings.push_back({TErrorTable::Fit(finding.Record)}); }

}  // namespace vexa
