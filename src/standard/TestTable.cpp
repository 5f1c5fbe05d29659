// The attribute table under test as the table "TestTab" of the working copy, so
// that the standard's saved queries run against its rows; and the changes those
// queries make, written back into the dBASE file.
#include "common/AtomicFile.h"
#include "common/FileNames.h"
#include "common/Text.h"
#include "standard/AccessSql.h"
#include "dbase/DbfIo.h"
#include "dbase/TableDBF.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"
#include "standard/StandardImpl.h"

#include <fcntl.h>
#include <shapefil.h>
#include <sys/file.h>
#include <unistd.h>

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
    case TFldType::dbfChar:
        return v.AsText();
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

class TLockedFile {
public:
    explicit TLockedFile(const std::string& path) {
        FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (FFd < 0) throw EDbfEngineError("Cannot open the table file.", path);
        if (::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
            ::close(FFd);
            throw EDbfTableInUse(path);
        }
    }
    ~TLockedFile() { ::close(FFd); }
    TLockedFile(const TLockedFile&) = delete;
    TLockedFile& operator=(const TLockedFile&) = delete;

private:
    int FFd = -1;
};

// Writes the changes into a copy of the file beside it and puts the copy in its
// place: the header (code page included), untouched fields and deleted rows
// stay byte for byte.
void ApplyChanges(const std::string& path, const std::vector<TChange>& changes, const std::vector<int>& deleted,
                  const std::vector<std::vector<TValue>>& added) {
    TLockedFile lock(path);
    const std::string temp = TempPathBeside(path).string() + ".dbf";
    struct TTempGuard {
        std::string Path;
        bool Keep = false;
        ~TTempGuard() {
            std::error_code ec;
            if (!Keep) fs::remove(Path, ec);
        }
    } guard{temp};
    std::error_code ec;
    if (!fs::copy_file(path, temp, fs::copy_options::overwrite_existing, ec) || ec)
        throw EDbfEngineError("Cannot copy the table file: " + ec.message() + ".", path);

    const long long failuresBefore = dbfio::IoFailureCount();
    DBFHandle h = nullptr;
    {
        SAHooks hooks = dbfio::Hooks();
        dbfio::OpenPathOverride over(temp);
        h = DBFOpenLL(temp.c_str(), "rb+", &hooks);
    }
    if (!h) throw EDbfEngineError("Not a dBASE table, or the table is damaged.", path);
    try {
        const int codePage = dbfio::CodePageOfLanguageDriver(h->iLanguageDriver);
        const std::vector<dbfio::FieldLayout> layout = dbfio::LayoutOf(h, codePage);
        auto write = [&](int record, int field, const TValue& value) {
            const std::string text = dbfio::EncodeField(value, layout[static_cast<std::size_t>(field)], codePage,
                                                        dbfio::ConvertMode::Strict);
            std::vector<char> bytes(text.begin(), text.end());
            bytes.push_back('\0');
            if (!DBFWriteAttributeDirectly(h, record, field, bytes.data()))
                throw EDbfEngineError(Format("Cannot write record %d.", record + 1), path);
        };
        for (const TChange& c : changes) write(c.Record, c.Field, c.Value);
        for (int record : deleted)
            if (!DBFMarkRecordDeleted(h, record, 1))
                throw EDbfEngineError(Format("Cannot write record %d.", record + 1), path);
        for (const auto& values : added) {
            const int record = DBFGetRecordCount(h);
            for (std::size_t f = 0; f < layout.size(); ++f)
                write(record, static_cast<int>(f), f < values.size() ? values[f] : TValue{});
        }
    } catch (...) {
        DBFClose(h);
        throw;
    }
    DBFClose(h);
    if (dbfio::IoFailureCount() != failuresBefore) {
        const std::string detail = dbfio::LastLibraryMessage();
        throw EDbfEngineError("Cannot write the table file" + (detail.empty() ? std::string(".") : ": " + detail + "."),
                              path);
    }
    fs::permissions(temp, fs::status(path, ec).permissions(), ec);
    try {
        CommitReplacement(temp, path);
    } catch (const fs::filesystem_error& e) {
        throw EDbfEngineError(std::string("Cannot replace the table file: ") + e.code().message() + ".", path);
    }
    guard.Keep = true;
}

} // namespace

void TBlkStandardGXD::UnlinkTestTable() {
    RequireOpen();
    FImpl->Link.reset();
    FImpl->Db->ExecuteNative(std::string("drop table if exists ") + kTestTab);
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
        TFldDef field;
        if (supported) field = TTableDBF::DescToField(d);
        else field.Name = d.szName;
        const bool exposed = supported && names.insert(UpperAscii(field.Name)).second &&
                             !SameTextAscii(field.Name, "rowid");
        link->Fields.push_back(field);
        link->Exposed.push_back(exposed);
        if (exposed) columns.push_back(QuoteSqlName(field.Name) + " " + ColumnType(field.FieldType));
    }
    if (columns.empty()) throw EAccessDbError("The attribute table has no fields.\r(" + FCurrentDbfPath + ")");

    TAccessDb& db = *FImpl->Db;
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
    const TDbResult result = FImpl->Db->SelectNative(select);

    std::vector<TChange> changes;
    std::vector<std::vector<TValue>> added;
    std::set<std::int64_t> present;
    for (const TDbRow& row : result.Rows) {
        const std::int64_t rowid = row[0].AsInteger();
        auto original = link->Rows.find(rowid);
        std::vector<TValue> values(link->Fields.size());
        std::size_t column = 1;
        for (std::size_t i = 0; i < link->Fields.size(); ++i)
            if (link->Exposed[i]) values[i] = Fit(FromDb(row[column++], link->Fields[i].FieldType), link->Fields[i]);
        if (original == link->Rows.end()) {
            added.push_back(std::move(values));
            continue;
        }
        present.insert(rowid);
        for (std::size_t i = 0; i < link->Fields.size(); ++i)
            if (link->Exposed[i] && !(values[i] == original->second[i]))
                changes.push_back({static_cast<int>(rowid - 1), static_cast<int>(i), values[i]});
    }
    std::vector<int> deleted;
    for (const auto& [rowid, values] : link->Rows)
        if (!present.count(rowid)) deleted.push_back(static_cast<int>(rowid - 1));
    if (changes.empty() && deleted.empty() && added.empty()) return;
    ApplyChanges(link->Path, changes, deleted, added);
}

} // namespace vexa
