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

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
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
    default: return "";  // no column of another type is made
    }
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
    default: return std::monostate{};
    }
}

// Texts of a character field are cut to its width, whole characters.
TValue Fit(TValue v, const TFldDef& field) {
    if (field.FieldType == TFldType::dbfChar)
        if (auto* s = std::get_if<std::string>(&v)) *s = CutUtf8(*s, static_cast<std::size_t>(field.Width));
    return v;
}

struct TStatement {
    sqlite3_stmt* Stmt = nullptr;
    TStatement(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &Stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(Stmt);
            throw EAccessDbError(sqlite3_errmsg(db));
        }
    }
    ~TStatement() { sqlite3_finalize(Stmt); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;
};

// "YYYY-MM-DD" as ToDb writes a date, for the dates a file holds (a year of
// at most four digits); false for others.
bool DateText(const TDate& t, char (&out)[10]) {
    if (t.Year < 0 || t.Year > 9999 || t.Month < 0 || t.Month > 99 || t.Day < 0 || t.Day > 99) return false;
    auto digits = [&](int value, int count, char* at) {
        for (int i = count - 1; i >= 0; --i, value /= 10) at[i] = static_cast<char>('0' + value % 10);
    };
    digits(t.Year, 4, out);
    out[4] = '-';
    digits(t.Month, 2, out + 5);
    out[7] = '-';
    digits(t.Day, 2, out + 8);
    return true;
}

// A field value bound as a value of TestTab, the way ToDb converts it. Texts are
// bound without a copy: they live in the link as long as the statement uses them, and
// a date's text is written into dateText, which the caller keeps as long.
void Bind(sqlite3* db, sqlite3_stmt* stmt, int index, const TValue& v, char (&dateText)[10]) {
    int rc = SQLITE_OK;
    if (const auto* s = std::get_if<std::string>(&v))
        rc = sqlite3_bind_text(stmt, index, s->data(), static_cast<int>(s->size()), SQLITE_STATIC);
    else if (const auto* d = std::get_if<double>(&v))
        rc = sqlite3_bind_double(stmt, index, *d);
    else if (const auto* b = std::get_if<bool>(&v))
        rc = sqlite3_bind_int64(stmt, index, *b ? -1 : 0);
    else if (const auto* t = std::get_if<TDate>(&v)) {
        if (DateText(*t, dateText)) {
            rc = sqlite3_bind_text(stmt, index, dateText, sizeof dateText, SQLITE_STATIC);
        } else {
            const std::string other = ToDb(v).AsText();
            rc = sqlite3_bind_text(stmt, index, other.data(), static_cast<int>(other.size()), SQLITE_TRANSIENT);
        }
    } else
        rc = sqlite3_bind_null(stmt, index);
    if (rc != SQLITE_OK) throw EAccessDbError(sqlite3_errmsg(db));
}

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string s;
    for (std::size_t i = 0; i < parts.size(); ++i) s += (i ? separator : "") + parts[i];
    return s;
}

// Whether a column of TestTab holds a field's value as it was read, told
// without converting the column: true only where converting it (FromDb, Fit)
// would give a value equal to the original. False means "compare the long way".
bool PlainlySame(sqlite3_stmt* stmt, int column, const TValue& original, const TFldDef& field, bool readOnly) {
    const int type = sqlite3_column_type(stmt, column);
    if (IsNull(original)) return type == SQLITE_NULL;
    if (readOnly || field.FieldType == TFldType::dbfChar) {
        const auto* text = std::get_if<std::string>(&original);
        if (!text || type != SQLITE_TEXT) return false;
        const auto* bytes = sqlite3_column_text(stmt, column);
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, column));
        if (size != text->size() || (size > 0 && std::memcmp(bytes, text->data(), size) != 0)) return false;
        // A text longer than the field (which no file gives) would be cut.
        return readOnly || size <= static_cast<std::size_t>(std::max(field.Width, 0)) ||
               CutUtf8(*text, static_cast<std::size_t>(std::max(field.Width, 0))).size() == size;
    }
    switch (field.FieldType) {
    case TFldType::dbfNumeric:
    case TFldType::dbfFloat: {
        const auto* number = std::get_if<double>(&original);
        if (!number) return false;
        if (type == SQLITE_INTEGER) return static_cast<double>(sqlite3_column_int64(stmt, column)) == *number;
        if (type == SQLITE_FLOAT) return sqlite3_column_double(stmt, column) == *number;
        return false;
    }
    case TFldType::dbfLogical: {
        const auto* flag = std::get_if<bool>(&original);
        if (!flag) return false;
        if (type == SQLITE_INTEGER) return (sqlite3_column_int64(stmt, column) != 0) == *flag;
        if (type == SQLITE_FLOAT) return (sqlite3_column_double(stmt, column) != 0) == *flag;
        return false;
    }
    case TFldType::dbfDate: {
        const auto* date = std::get_if<TDate>(&original);
        char text[10];
        if (!date || type != SQLITE_TEXT || !DateText(*date, text)) return false;
        return sqlite3_column_bytes(stmt, column) == static_cast<int>(sizeof text) &&
               std::memcmp(sqlite3_column_text(stmt, column), text, sizeof text) == 0;
    }
    default: break;
    }
    return false;
}

struct TChange {
    int Record;  // from 0
    int Field;
    TValue Value;
};

// A column of TestTab as the value of its field: what FromDb and Fit give (a
// memo's text as it is). A text of a character field is taken straight from the row.
TValue FieldValue(sqlite3_stmt* stmt, int column, const TFldDef& field, bool readOnly) {
    if ((readOnly || field.FieldType == TFldType::dbfChar) && sqlite3_column_type(stmt, column) == SQLITE_TEXT) {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        std::string text(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
        if (readOnly) return text;
        return Fit(std::move(text), field);
    }
    const TDbValue v = ColumnValue(stmt, column);
    return readOnly ? FromDb(v, TFldType::dbfChar) : Fit(FromDb(v, field.FieldType), field);
}

// Writes the changes into a new table beside the file and puts it in the
// file's place: the header (code page included), untouched fields and deleted
// rows stay byte for byte. The changes and the deleted records come in record order.
void ApplyChanges(const std::string& path, const std::vector<TChange>& changes, const std::vector<int>& deleted,
                  const std::vector<std::vector<TValue>>& added) {
    dbfio::TableRewriter rewriter(path);
    dbfio::DbfFile& source = rewriter.Source();
    const std::vector<dbfio::FieldLayout>& layout = source.Header().Fields;
    const int codePage = source.CodePage();
    const std::size_t length = source.Header().RecordLength;

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
    std::size_t nextChange = 0, nextDeleted = 0;
    std::string record;
    for (int r = 0; r < records; ++r) {
        record.assign(source.Record(static_cast<std::uint32_t>(r)), length);
        for (; nextChange < changes.size() && changes[nextChange].Record == r; ++nextChange)
            put(record, r, static_cast<std::size_t>(changes[nextChange].Field), changes[nextChange].Value);
        if (nextDeleted < deleted.size() && deleted[nextDeleted] == r) {
            record[0] = '*';
            ++nextDeleted;
        }
        rewriter.Put(record);
    }
    int row = records;
    for (const auto& values : added) {
        record.assign(length, ' ');
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
    std::vector<std::string> columns, columnNames;
    for (const FLDDesc& d : descs) {
        const TFldTypeInfo* type = FieldTypeOfPhysical(d.iFldType);
        const bool supported = type && type->Writable;
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
        if (exposed) {
            columns.push_back(QuoteSqlName(field.Name) + " " + ColumnType(field.FieldType));
            columnNames.push_back(QuoteSqlName(field.Name));
        }
    }
    if (columns.empty()) throw EAccessDbError("The attribute table has no fields.\r(" + FCurrentDbfPath + ")");

    TAccessDb& db = Database();
    db.ExecuteNative(std::string("create table ") + kTestTab + " (" + Joined(columns, ", ") + ")");
    // Every row read into TestTab in one transaction, many rows per statement (a
    // statement run once per row spends more on starting and ending than on the row).
    const std::size_t fields = link->Fields.size();
    const int perRow = 1 + static_cast<int>(columnNames.size());
    const int batchRows = std::max(1, 960 / perRow);  // parameters within SQLite's smallest limit (999)
    const std::string head =
        std::string("insert into ") + kTestTab + " (rowid, " + Joined(columnNames, ", ") + ") values ";
    std::string tuple = "(?";
    for (std::size_t i = 0; i < columnNames.size(); ++i) tuple += ", ?";
    tuple += ")";
    std::string tuples = tuple;
    for (int i = 1; i < batchRows; ++i) tuples += ", " + tuple;
    link->Records = static_cast<std::size_t>(table.RecordCount());
    link->Values.resize(link->Records * fields);
    link->Present.assign(link->Records, false);
    sqlite3* handle = db.Handle();
    // The dates' texts as bound, one per parameter, kept as long as the statements.
    struct TDateText {
        char Text[10];
    };
    std::vector<TDateText> dateTexts(static_cast<std::size_t>(batchRows) * columnNames.size());
    TStatement many(handle, head + tuples);
    TStatement one(handle, head + tuple);
    // Binds rows of the link (texts are not copied: the link keeps them) and runs the statement.
    auto insert = [&](sqlite3_stmt* stmt, const std::size_t* records, int count) {
        sqlite3_reset(stmt);
        int param = 1;
        std::size_t slot = 0;
        for (int r = 0; r < count; ++r) {
            const TValue* row = link->Values.data() + records[r] * fields;
            sqlite3_bind_int64(stmt, param++, static_cast<std::int64_t>(records[r]) + 1);
            for (std::size_t i = 0; i < fields; ++i)
                if (link->Exposed[i]) Bind(handle, stmt, param++, row[i], dateTexts[slot++].Text);
        }
        if (sqlite3_step(stmt) != SQLITE_DONE) throw EAccessDbError(sqlite3_errmsg(handle));
    };
    db.ExecuteNative("savepoint link");
    try {
        std::vector<TValue> values;
        std::vector<std::size_t> pending;
        for (table.First(); !table.Eof(); table.Next()) {
            const auto record = static_cast<std::size_t>(table.RecNo() - 1);
            table.GetRowValues(values);
            TValue* row = link->Values.data() + record * fields;
            for (std::size_t i = 0; i < fields && i < values.size(); ++i) row[i] = std::move(values[i]);
            link->Present[record] = true;
            pending.push_back(record);
            if (static_cast<int>(pending.size()) == batchRows) {
                insert(many.Stmt, pending.data(), batchRows);
                pending.clear();
            }
        }
        for (const std::size_t record : pending) insert(one.Stmt, &record, 1);
    } catch (...) {
        sqlite3_reset(many.Stmt);
        sqlite3_reset(one.Stmt);
        db.ExecuteNative("rollback to link; release link");
        throw;
    }
    sqlite3_reset(many.Stmt);
    sqlite3_reset(one.Stmt);
    db.ExecuteNative("release link");
    table.Close();

    FImpl->Link = std::move(link);
}

void TBlkStandardGXD::WriteBackTestTable() {
    RequireOpen();
    const TTestTabLink* link = FImpl->Link.get();
    if (!link || FNoWriteBack) return;
    sqlite3* handle = Database().Handle();

    std::string columns = "rowid";
    for (std::size_t i = 0; i < link->Fields.size(); ++i)
        if (link->Exposed[i]) columns += ", " + QuoteSqlName(link->Fields[i].Name);
    TStatement st(handle, "select " + columns + " from " + kTestTab + " order by rowid");

    // The rows come in rowid order, so the changes are gathered in record order.
    std::vector<TChange> changes;
    std::vector<std::vector<TValue>> added;
    std::vector<bool> seen(link->Records, false);
    const std::size_t fields = link->Fields.size();
    for (;;) {
        const int rc = sqlite3_step(st.Stmt);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) throw EAccessDbError(sqlite3_errmsg(handle));
        const std::int64_t rowid = sqlite3_column_int64(st.Stmt, 0);
        const TValue* original = link->Original(rowid);
        if (!original) {
            std::vector<TValue> values(fields);
            int column = 1;
            for (std::size_t i = 0; i < fields; ++i)
                if (link->Exposed[i]) values[i] = FieldValue(st.Stmt, column++, link->Fields[i], link->ReadOnly[i]);
            for (std::size_t i = 0; i < fields; ++i)
                if (link->ReadOnly[i] && !IsNull(values[i]))
                    throw EAccessDbError("Memo pole " + link->Fields[i].Name + " nemožno meniť dotazom.\r(" +
                                         link->Path + ")");
            added.push_back(std::move(values));
            continue;
        }
        seen[static_cast<std::size_t>(rowid - 1)] = true;
        // Most columns come back as they were read: told apart without converting them;
        // only the others are converted and compared.
        int column = 1;
        for (std::size_t i = 0; i < fields; ++i) {
            if (!link->Exposed[i]) continue;
            const int at = column++;
            if (PlainlySame(st.Stmt, at, original[i], link->Fields[i], link->ReadOnly[i])) continue;
            TValue value = FieldValue(st.Stmt, at, link->Fields[i], link->ReadOnly[i]);
            if (value == original[i]) continue;
            if (link->ReadOnly[i])
                throw EAccessDbError("Memo pole " + link->Fields[i].Name + " nemožno meniť dotazom.\r(" + link->Path +
                                     ")");
            changes.push_back({static_cast<int>(rowid - 1), static_cast<int>(i), std::move(value)});
        }
    }
    std::vector<int> deleted;
    for (std::size_t r = 0; r < link->Records; ++r)
        if (link->Present[r] && !seen[r]) deleted.push_back(static_cast<int>(r));
    if (changes.empty() && deleted.empty() && added.empty()) return;
    ApplyChanges(link->Path, changes, deleted, added);
}

}  // namespace vexa
