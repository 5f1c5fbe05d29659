// The attribute table under test as the table "TestTab" of the working copy, so
// that the standard's saved queries run against its rows; and the changes those
// queries make, written back into the dBASE file.
#include "common/AtomicFile.h"
#include "common/FileNames.h"
#include "common/Text.h"
#include "access/AccessSql.h"
#include "dbase/DbfIo.h"
#include "dbase/DbfRewrite.h"
#include "dbase/TableDBF.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"
#include "standard/StandardImpl.h"

#include <cstring>
#include <filesystem>
#include <map>
#include <set>

namespace vexa {

namespace {

namespace fs = std::filesystem;

const char* const kTestTab = "TestTab";

const char* ColumnType(TFldType type) {
    switch (type) {
    case TFldType::dbfChar: return "TEXT COLLATE NOCASE";
    case TFldType::dbfNumeric:
    case TFldType::dbfFloat: return "NUMERIC";
    case TFldType::dbfLogical: return "INTEGER";
    case TFldType::dbfDate: return "TEXT";
    }
    return "";
}

// A field value as a value of TestTab: logicals as -1/0, dates as "YYYY-MM-DD".
TDbValue ToDb(const TValue& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return TDbValue(*s);
    if (const auto* d = std::get_if<double>(&v)) return TDbValue(*d);
    if (const auto* b = std::get_if<bool>(&v)) return TDbValue(*b ? -1 : 0);
    if (const auto* t = std::get_if<TDate>(&v)) return TDbValue(Format("%04d-%02d-%02d", t->Year, t->Month, t->Day));
    return TDbValue();
}

// A value of TestTab as a value of a field of the given type; what cannot be
// read as that type stays text (and is refused when it is written).
TValue FromDb(const TDbValue& v, TFldType type) {
    if (v.IsNull()) return std::monostate{};
    switch (type) {
    case TFldType::dbfChar: return v.AsText();
    case TFldType::dbfNumeric:
    case TFldType::dbfFloat:
        if (v.IsInteger() || v.IsReal()) return v.AsFloat();
        if (auto f = TextToFloat(Trim(v.AsText()))) return *f;
        return v.AsText();
    case TFldType::dbfLogical:
        if (v.IsInteger() || v.IsReal()) return v.AsFloat() != 0;
        return v.AsBool();
    case TFldType::dbfDate: {
        int y = 0, m = 0, d = 0;
        char tail = 0;
        const std::string text = v.AsText();
        if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) >= 3) return TDate{y, m, d};
        return text;
    }
    }
    return std::monostate{};
}

// Texts of a character field are cut to its width, whole characters.
TValue Fit(TValue v, const TFldDef& field) {
    if (field.FieldType == TFldType::dbfChar)
        if (auto* s = std::get_if<std::string>(&v)) *s = CutUtf8(*s, static_cast<std::size_t>(field.Width));
    return v;
}

struct TChange {
    int Record;  // from 0
    int Field;
    TValue Value;
};

// Writes the changes into a new table beside the file and puts it in the
// file's place: the header (code page included), untouched fields and deleted
// rows stay byte for byte.
void ApplyChanges(const std::string& path, const std::vector<TChange>& changes, const std::vector<int>& deleted,
                  const std::vector<std::vector<TValue>>& added) {
    dbfio::TableRewriter rewriter(path);
    dbfio::DbfFile& source = rewriter.Source();
    const std::vector<dbfio::FieldLayout>& layout = source.Header().Fields;
    const int codePage = source.CodePage();
    const std::size_t length = source.Header().RecordLength;
    std::map<int, std::vector<const TChange*>> byRecord;
    for (const TChange& c : changes) byRecord[c.Record].push_back(&c);
    const std::set<int> gone(deleted.begin(), deleted.end());

    auto put = [&](std::string& record, int row, std::size_t field, const TValue& value) {
        const dbfio::FieldLayout& f = layout[field];
        std::string text;
        try {
            text = dbfio::EncodeField(value, f, codePage, dbfio::ConvertMode::Strict);
        } catch (const EDbfException& e) {
            throw EDbfEngineError(Format("%s (záznam %d)", e.what(), row + 1), path);
        }
        std::fill(record.begin() + f.Offset, record.begin() + f.Offset + f.Width, ' ');
        std::memcpy(record.data() + f.Offset, text.data(), std::min(text.size(), static_cast<std::size_t>(f.Width)));
    };

    rewriter.Begin(source.Header());
    const int records = static_cast<int>(source.RecordCount());
    for (int r = 0; r < records; ++r) {
        std::string record(source.Record(static_cast<std::uint32_t>(r)), length);
        if (auto it = byRecord.find(r); it != byRecord.end())
            for (const TChange* c : it->second) put(record, r, static_cast<std::size_t>(c->Field), c->Value);
        if (gone.count(r)) record[0] = '*';
        rewriter.Put(record);
    }
    int row = records;
    for (const auto& values : added) {
        std::string record(length, ' ');
        for (std::size_t f = 0; f < layout.size(); ++f)
            if (f < values.size() && !IsNull(values[f])) put(record, row, f, values[f]);
        rewriter.Put(record);
        ++row;
    }
    rewriter.Commit();
}

}  // namespace

void TBlkStandardGXD::UnlinkTestTable() {
    RequireOpen();
    FImpl->Link.reset();
    Database().ExecuteNative(std::string("drop table if exists ") + kTestTab);
}

void TBlkStandardGXD::LinkTestTable() {
    UnlinkTestTable();
    if (FCurrentDbfPath.empty()) throw EAccessDbError("No attribute table to link as TestTab.");
    auto link = std::make_unique<TTestTabLink>();
    link->Path = FCurrentDbfPath;

    TTableDBF table;
    table.SetDatabaseName(ExtractFilePath(FCurrentDbfPath));
    table.SetTableName(ExtractFileName(FCurrentDbfPath));
    table.Open();
    TFldDescList descs;
    table.GetFieldDescs(descs);
    // Columns of the five supported types; the first of two fields of one name.
    std::set<std::string> names;
    std::vector<std::string> columns;
    for (const FLDDesc& d : descs) {
        const bool supported = d.iFldType == fldpChar || d.iFldType == fldpNumeric || d.iFldType == fldpFloat ||
                               d.iFldType == fldpLogical || d.iFldType == fldpDate;
        // Memo texts are there for the queries to read; they are never written back.
        const bool memo = d.iFldType == fldpMemo;
        TFldDef field;
        if (supported)
            field = TTableDBF::DescToField(d);
        else
            field.Name = d.szName;
        const bool exposed =
            (supported || memo) && names.insert(UpperAscii(field.Name)).second && !SameTextAscii(field.Name, "rowid");
        link->Fields.push_back(field);
        link->Exposed.push_back(exposed);
        link->ReadOnly.push_back(memo);
        if (exposed) columns.push_back(QuoteSqlName(field.Name) + " " + ColumnType(field.FieldType));
    }
    if (columns.empty()) throw EAccessDbError("The attribute table has no fields.\r(" + FCurrentDbfPath + ")");

    TAccessDb& db = Database();
    db.ExecuteNative(std::string("create table ") + kTestTab + " (" + [&] {
        std::string s;
        for (std::size_t i = 0; i < columns.size(); ++i) s += (i ? ", " : "") + columns[i];
        return s;
    }() + ")");
    std::string insert = std::string("insert into ") + kTestTab + " (rowid";
    std::string marks = "?";
    for (std::size_t i = 0; i < link->Fields.size(); ++i) {
        if (!link->Exposed[i]) continue;
        insert += ", " + QuoteSqlName(link->Fields[i].Name);
        marks += ", ?";
    }
    insert += ") values (" + marks + ")";
    std::vector<TDbRow> rows;
    for (table.First(); !table.Eof(); table.Next()) {
        TFldValList values;
        table.GetValues(values);
        std::vector<TValue> row;
        TDbRow params{TDbValue(static_cast<std::int64_t>(table.RecNo()))};
        for (std::size_t i = 0; i < link->Fields.size(); ++i) {
            row.push_back(i < values.size() ? values[i].Value : TValue{});
            if (link->Exposed[i]) params.push_back(ToDb(row.back()));
        }
        rows.push_back(std::move(params));
        link->Rows[table.RecNo()] = std::move(row);
    }
    table.Close();
    db.ExecuteNativeBatch(insert, rows);
    FImpl->Link = std::move(link);
}

void TBlkStandardGXD::WriteBackTestTable() {
    RequireOpen();
    const TTestTabLink* link = FImpl->Link.get();
    if (!link) return;
    std::string select = "select rowid";
    for (std::size_t i = 0; i < link->Fields.size(); ++i)
        if (link->Exposed[i]) select += ", " + QuoteSqlName(link->Fields[i].Name);
    select += std::string(" from ") + kTestTab + " order by rowid";
    const TDbResult result = Database().SelectNative(select);

    std::vector<TChange> changes;
    std::vector<std::vector<TValue>> added;
    std::set<std::int64_t> present;
    for (const TDbRow& row : result.Rows) {
        const std::int64_t rowid = row[0].AsInteger();
        auto original = link->Rows.find(rowid);
        std::vector<TValue> values(link->Fields.size());
        std::size_t column = 1;
        for (std::size_t i = 0; i < link->Fields.size(); ++i)
            if (link->Exposed[i])
                values[i] = link->ReadOnly[i] ? FromDb(row[column++], TFldType::dbfChar)
                                              : Fit(FromDb(row[column++], link->Fields[i].FieldType), link->Fields[i]);
        if (original == link->Rows.end()) {
            for (std::size_t i = 0; i < link->Fields.size(); ++i)
                if (link->ReadOnly[i] && !IsNull(values[i]))
                    throw EAccessDbError("Memo pole " + link->Fields[i].Name + " nemožno meniť dotazom.\r(" +
                                         link->Path + ")");
            added.push_back(std::move(values));
            continue;
        }
        present.insert(rowid);
        for (std::size_t i = 0; i < link->Fields.size(); ++i) {
            if (!link->Exposed[i] || values[i] == original->second[i]) continue;
            if (link->ReadOnly[i])
                throw EAccessDbError("Memo pole " + link->Fields[i].Name + " nemožno meniť dotazom.\r(" + link->Path +
                                     ")");
            changes.push_back({static_cast<int>(rowid - 1), static_cast<int>(i), values[i]});
        }
    }
    std::vector<int> deleted;
    for (const auto& [rowid, values] : link->Rows)
        if (!present.count(rowid)) deleted.push_back(static_cast<int>(rowid - 1));
    if (changes.empty() && deleted.empty() && added.empty()) return;
    ApplyChanges(link->Path, changes, deleted, added);
}

}  // namespace vexa
