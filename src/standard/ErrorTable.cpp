#include "standard/ErrorTable.h"

#include "common/Exception.h"
#include "common/Text.h"
#include "common/Utf8.h"
#include "dbase/TableDBF.h"
#include "standard/FindingColumns.h"

namespace vexa {

namespace {
// Records written in one go.
constexpr std::size_t kBatch = 512;
}  // namespace

TErrorTable::TErrorTable() = default;
TErrorTable::TErrorTable(std::string path) : FPath(std::move(path)) {}
TErrorTable::~TErrorTable() {
    FSessions = 0;
    try {
        Close();
    } catch (...) {
        // A destructor cannot report it: the runs write their records before they end.
    }
}

void TErrorTable::SetPath(const std::string& path) {
    FSessions = 0;
    Close();
    FPath = path;
}

TFldDefList TErrorTable::TemplateFields() {
    // The columns of a finding in their order (standard/FindingColumns.h).
    TFldDefList fields;
    for (const TFindingColumnDef& def : kFindingColumns)
        fields.push_back(TTableDBF::MakeField(def.DbfName, def.DbfType, def.Width, 0));
    return fields;
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

void TErrorTable::BeginSession() { ++FSessions; }

void TErrorTable::EndSession() {
    if (FSessions > 0 && --FSessions == 0) Close();
}

void TErrorTable::Close() {
    if (FTable) {
        // The table closes also when its pending records cannot be written; the error passes on.
        struct Closer {
            std::unique_ptr<TTableDBF>& Table;
            ~Closer() {
                Table->Close();
                Table.reset();
            }
        } closer{FTable};
        Flush();
    }
}

void TErrorTable::Flush() {
    if (FPendingCount == 0) return;
    std::string pending;
    pending.swap(FPending);
    FPendingCount = 0;
    if (!FTable) throw Exception("The error table is not open.\r(" + FPath + ")");
    FTable->AppendEncoded(pending);
}

bool TErrorTable::Active() const { return FTable && FTable->Active(); }

namespace {

// The record with its texts cut (whole characters) to the widths of the columns
// that are character columns of fields.
TErrorRecord FitTo(TErrorRecord record, const TFldDefList& fields) {
    auto cut = [&](std::size_t column, std::string& value) {
        if (column < fields.size() && fields[column].FieldType == TFldType::dbfChar)
            value = CutUtf8(value, static_cast<std::size_t>(fields[column].Width));
    };
    // A block name from an old archive may hold bytes that are not UTF-8: they are kept
    // readable as \xHH, since no code page conversion can take them.
    record.Blok = EscapeInvalidUtf8(record.Blok);
    cut(1, record.Blok);
    if (record.Vrstva) cut(2, *record.Vrstva);
    cut(3, record.Prvok);
    cut(6, record.Chyba);
    return record;
}

} // namespace

void TErrorTable::Append(const TErrorRecord& record) {
    if (!InSession()) throw Exception("The error table is not open.\r(" + FPath + ")");
    Open();
    const TErrorRecord fitted = FitTo(record, FFields);
    auto number = [](const std::optional<std::int32_t>& v) -> TValue {
        if (!v) return std::monostate{};
        return static_cast<double>(*v);
    };
    std::vector<TValue> values{
        static_cast<double>(fitted.Id), fitted.Blok, fitted.Vrstva ? TValue(*fitted.Vrstva) : TValue{},
        fitted.Prvok,                   number(fitted.Druh), number(fitted.Cislo),
        fitted.Chyba,
    };
    FPending += FTable->EncodeRecord(values);
    if (++FPendingCount >= kBatch) Flush();
}

TErrorRecord TErrorTable::Fit(TErrorRecord record) {
    static const TFldDefList fields = TemplateFields();
    return FitTo(std::move(record), fields);
}

void TFindingList::Add(const TFinding& finding) {
    TFinding kept = finding;
    kept.Record = TErrorTable::Fit(finding.Record);
    FFindings.push_back(std::move(kept));
}

}  // namespace vexa
