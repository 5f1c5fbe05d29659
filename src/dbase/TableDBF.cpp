#include "dbase/TableDBF.h"

#include "common/AtomicFile.h"
#include "common/FileNames.h"
#include "common/Text.h"
#include "dbase/DbfFile.h"
#include "dbase/DbfFilter.h"
#include "dbase/DbfIo.h"
#include "dbase/DbfRewrite.h"
#include "dbase/TableSchema.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vexa {

namespace fs = std::filesystem;
using dbfio::DbfFile;
using dbfio::DbfHeader;
using dbfio::FieldLayout;
using dbfio::FileLock;

namespace {

const char* kOnlyDbf = "Only DBF file supported.";

}  // namespace

using namespace dbfschema;

// ----------------------------------------------------------------------------

struct TTableDBF::Impl {
    std::string DatabaseName;
    std::string TableName;
    std::string FilterText;
    bool FilteredOn = false;

    // open state
    std::unique_ptr<DbfFile> File;
    FileLock Lock;
    bool Writable = false;
    std::string Path;
    int CodePage = 1250;
    std::vector<FieldLayout> Fields;
    std::unique_ptr<TDbfFilter> RowFilter;
    std::vector<std::uint32_t> Visible;  // 0-based record indexes
    int Cursor = -1;                     // index into Visible
    bool EofFlag = true;
    std::string Current;  // raw bytes of the current row

    bool Open() const { return File != nullptr; }

    // The value of a field of the current row: a memo's text from the memo file.
    TValue ValueOf(const FieldLayout& f) const {
        const char* raw = Current.data() + f.Offset;
        return f.Native == 'M' ? File->MemoValue(f, raw) : dbfio::DecodeField(raw, f, CodePage);
    }

    void RequireOpen() const {
        if (!File) throw EDbfException("Cannot perform this operation on a closed dataset.");
    }

    void RequireWritable() const {
        if (!Writable) throw EDbfEngineError("The table is read-only.", Path);
    }

    void CloseHandle() {
        File.reset();
        Lock.Release();
        Fields.clear();
        RowFilter.reset();
        Visible.clear();
        Cursor = -1;
        EofFlag = true;
        Current.clear();
    }

    void OpenHandle(const std::string& path) {
        if (!fs::exists(path)) throw EDbfEngineError("Table does not exist.", path);
        FileLock lock(path, false);
        bool writable = ::access(path.c_str(), W_OK) == 0;
        std::unique_ptr<DbfFile> file;
        try {
            file = std::make_unique<DbfFile>(path, writable);
        } catch (const EDbfEngineError&) {
            if (!writable) throw;
            writable = false;
            file = std::make_unique<DbfFile>(path, false);
        }
        File = std::move(file);
        Lock = std::move(lock);
        Writable = writable;
        Path = path;
        CodePage = File->CodePage();
        Fields = File->Header().Fields;
    }

    void BindFilter() {
        RowFilter.reset();
        if (FilteredOn) {
            auto f = std::make_unique<TDbfFilter>(FilterText, Fields);
            if (!f->Empty()) RowFilter = std::move(f);
        }
    }

    void Rebuild() {
        Visible.clear();
        const std::uint32_t n = File->RecordCount();
        const std::size_t length = File->Header().RecordLength;
        for (std::uint32_t i = 0; i < n; ++i) {
            const char* rec = File->Record(i);
            if (rec[0] == '*') continue;
            if (RowFilter && !RowFilter->Matches(rec, length, CodePage)) continue;
            Visible.push_back(i);
        }
    }

    void LoadCurrent() {
        if (Cursor >= 0 && Cursor < static_cast<int>(Visible.size()))
            Current.assign(File->Record(Visible[static_cast<std::size_t>(Cursor)]), File->Header().RecordLength);
        else
            Current.clear();
    }

    void GoFirst() {
        Cursor = Visible.empty() ? -1 : 0;
        EofFlag = Visible.empty();
        LoadCurrent();
    }

    // Re-reads the file and filter, then stays on record index rec when it
    // is still visible, else on the next visible one (or the last).
    void Reload(int rec) {
        std::string path = Path;
        CloseHandle();
        OpenHandle(path);
        BindFilter();
        Rebuild();
        if (Visible.empty() || rec < 0) {
            GoFirst();
            return;
        }
        Cursor = static_cast<int>(Visible.size()) - 1;
        for (std::size_t i = 0; i < Visible.size(); ++i) {
            if (static_cast<int>(Visible[i]) >= rec) {
                Cursor = static_cast<int>(i);
                break;
            }
        }
        EofFlag = false;
        LoadCurrent();
    }

    std::string TableDirectory() const {
        if (!DatabaseName.empty()) return DatabaseName;
        std::string dir = ExtractFilePath(TableName);
        return dir.empty() ? "." : dir;
    }
};

TTableDBF::TTableDBF() : F(std::make_unique<Impl>()) {}

TTableDBF::~TTableDBF() { Close(); }

const std::string& TTableDBF::DatabaseName() const { return F->DatabaseName; }
void TTableDBF::SetDatabaseName(const std::string& directory) { F->DatabaseName = directory; }
const std::string& TTableDBF::TableName() const { return F->TableName; }
void TTableDBF::SetTableName(const std::string& name) { F->TableName = name; }
const std::string& TTableDBF::Filter() const { return F->FilterText; }
bool TTableDBF::Filtered() const { return F->FilteredOn; }

void TTableDBF::SetFilter(const std::string& expression) {
    if (expression == F->FilterText) return;
    std::string previous = F->FilterText;
    F->FilterText = expression;
    if (F->Open() && F->FilteredOn) {
        try {
            F->BindFilter();
        } catch (...) {
            F->FilterText = previous;
            F->BindFilter();
            throw;
        }
        F->Rebuild();
        F->GoFirst();
    }
}

void TTableDBF::SetFiltered(bool on) {
    if (on == F->FilteredOn) return;
    F->FilteredOn = on;
    if (F->Open()) {
        try {
            F->BindFilter();
        } catch (...) {
            F->FilteredOn = !on;
            F->BindFilter();
            throw;
        }
        F->Rebuild();
        F->GoFirst();
    }
}

std::string TTableDBF::FilePath() const {
    std::string name = F->TableName;
    if (ExtractFileExt(name).empty() && !name.empty()) name += ".dbf";
    std::string full;
    // A table name that carries a path (absolute, or relative to the working directory)
    // names the file itself; only a bare name lies in the table's directory.
    if (!ExtractFilePath(name).empty())
        full = name;
    else
        full = IncludeTrailingDelimiter(F->DatabaseName.empty() ? std::string(".") : F->DatabaseName) + name;
    std::string dir = ExtractFilePath(full);
    std::string file = ExtractFileName(full);
    if (file.empty()) return full;
    auto found = FindEntryIgnoreCase(dir.empty() ? fs::path(".") : fs::path(dir), file);
    return found ? found->string() : full;
}

void TTableDBF::Open() {
    if (F->Open()) return;
    try {
        F->OpenHandle(FilePath());
        F->BindFilter();
        F->Rebuild();
        F->GoFirst();
    } catch (...) {
        F->CloseHandle();
        throw;
    }
}

void TTableDBF::Close() { F->CloseHandle(); }

bool TTableDBF::Active() const { return F->Open(); }
int TTableDBF::FieldCount() const { return static_cast<int>(F->Fields.size()); }
int TTableDBF::CodePage() const { return F->CodePage; }

void TTableDBF::OpenTable() {
    // A table that is not a dBASE table, or whose directory is missing,
    // simply stays closed; engine errors of a real open pass on.
    try {
        CheckDbf();
    } catch (const EDbfException&) {
        Close();
        return;
    }
    Open();
}

void TTableDBF::CheckDbf() const {
    std::error_code ec;
    if (!fs::is_directory(F->TableDirectory(), ec)) throw EDbfException(kOnlyDbf);
}

void TTableDBF::CheckDbfFile() const {
    std::error_code ec;
    if (F->TableName.empty()) throw EDbfException(kOnlyDbf);
    std::string path = FilePath();
    if (!SameTextAscii(ExtractFileExt(path), ".dbf")) {
        std::string dbf = ChangeFileExt(path, ".dbf");
        auto found = FindEntryIgnoreCase(fs::path(ExtractFilePath(dbf).empty() ? "." : ExtractFilePath(dbf)),
                                         ExtractFileName(dbf));
        if (!found) throw EDbfException(kOnlyDbf);
        path = found->string();
    }
    if (!fs::is_regular_file(path, ec)) throw EDbfException(kOnlyDbf);
}

// --- schema ------------------------------------------------------------------

void TTableDBF::GetFieldDescs(TFldDescList& descs) {
    descs.clear();
    const bool wasOpen = Active();
    try {
        if (!wasOpen) OpenTable();
        for (std::size_t i = 0; i < F->Fields.size(); ++i) {
            const FieldLayout& f = F->Fields[i];
            FLDDesc d;
            d.iFldNum = static_cast<std::uint16_t>(i + 1);
            d.szName = f.Name;
            d.iFldType = PhysicalOfLetter(f.Native);
            d.iUnits1 = static_cast<std::int16_t>(f.Width);
            d.iUnits2 = static_cast<std::int16_t>(f.Decimals);
            descs.push_back(d);
        }
    } catch (...) {
        descs.clear();
        if (!wasOpen) Close();
        throw;
    }
    if (!wasOpen) Close();
}

void TTableDBF::GetFields(TFldDefList& fields) {
    fields.clear();
    TFldDescList descs;
    GetFieldDescs(descs);
    TFldDefList result;
    for (const FLDDesc& d : descs) result.push_back(DescToField(d));
    fields = std::move(result);
}

int TTableDBF::FieldIndex(const std::string& name) const {
    std::string cut = dbfio::CutName(name);
    for (std::size_t i = 0; i < F->Fields.size(); ++i)
        if (SameTextAscii(F->Fields[i].Name, cut)) return static_cast<int>(i);
    return -1;
}

TFldDef TTableDBF::MakeField(const std::string& name, TFldType type, std::int32_t width, std::int32_t decimals) {
    return NormalizeField(TFldDef{dbfio::CutName(name), type, width, decimals});
}

TFldDef TTableDBF::NormalizeField(TFldDef field) {
    field.Name = dbfio::CutName(field.Name);
    const TFldTypeInfo& t = FieldTypeInfo(field.FieldType);
    if (!t.WidthInDefinition) {
        field.Width = 0;
        field.Decimals = 0;
        return field;
    }
    if (field.Width < 1) field.Width = t.DefaultWidth;
    if (field.Width > t.MaxWidth) field.Width = t.MaxWidth;
    if (field.Decimals < 0) field.Decimals = 0;
    if (field.Decimals > t.MaxDecimals) field.Decimals = t.MaxDecimals;
    if (field.Decimals != 0 && field.Decimals > field.Width - 2) field.Decimals = field.Width - 2;
    // A field of one or two characters has no room for any decimals.
    if (field.Decimals < 0) field.Decimals = 0;
    return field;
}

void TTableDBF::AddField(const TFldDef& field) {
    TFieldEdits edits(*this);
    edits.AddField(field);
    edits.Apply();
}

void TTableDBF::DeleteField(int position) {
    TFieldEdits edits(*this);
    edits.DeleteField(position);
    edits.Apply();
}

void TTableDBF::MoveField(int from, int to) {
    TFieldEdits edits(*this);
    edits.MoveField(from, to);
    edits.Apply();
}

void TTableDBF::ModifyField(int position, const std::string& name, TFldType type, std::int32_t width,
                            std::int32_t decimals) {
    TFieldEdits edits(*this);
    edits.ModifyField(position, name, type, width, decimals);
    edits.Apply();
}

// --- edits gathered for one rewrite ------------------------------------------------

TFieldEdits::TFieldEdits(TTableDBF& table) : FTable(table) {
    table.GetFieldDescs(FDescs);
    const bool wasOpen = table.Active();
    if (!wasOpen) table.OpenTable();
    FFound = table.Active();
    if (FFound)
        for (const FieldLayout& f : table.F->Fields) FSystem.push_back(IsSystemField(f));
    if (!wasOpen) table.Close();
    FSystem.resize(FDescs.size(), false);
    FBefore = FDescs;
    FOps.assign(FDescs.size(), opKeep);
}

int TFieldEdits::FieldIndex(const std::string& name) const {
    const std::string cut = dbfio::CutName(name);
    for (std::size_t i = 0; i < FDescs.size(); ++i)
        if (SameTextAscii(FDescs[i].szName, cut)) return static_cast<int>(i);
    return -1;
}

void TFieldEdits::AddField(const TFldDef& field) {
    if (!FFound) return;  // no table to add to
    FLDDesc added = TTableDBF::FieldToDesc(TTableDBF::NormalizeField(field));
    if (!IsWritableType(field.FieldType)) RefuseFieldType(added.szName, LetterOf(field.FieldType));
    added.iFldNum = 0;
    // A Visual FoxPro system field (_NullFlags) stays last.
    std::size_t at = FDescs.size();
    while (at > 0 && FSystem[at - 1]) --at;
    const auto pos = static_cast<std::ptrdiff_t>(at);
    FDescs.insert(FDescs.begin() + pos, added);
    FOps.insert(FOps.begin() + pos, opAdd);
    FSystem.insert(FSystem.begin() + pos, false);
}

void TFieldEdits::DeleteField(int position) {
    if (position < 0 || position >= static_cast<int>(FDescs.size())) return;
    FDescs.erase(FDescs.begin() + position);
    FOps.erase(FOps.begin() + position);
    FSystem.erase(FSystem.begin() + position);
}

void TFieldEdits::MoveField(int from, int to) {
    const int n = static_cast<int>(FDescs.size());
    if (n == 0 || from == to || from < 0 || from >= n || to < 0 || to >= n) return;
    auto move = [&](auto& list) {
        auto item = list[static_cast<std::size_t>(from)];
        list.erase(list.begin() + from);
        list.insert(list.begin() + to, item);
    };
    move(FDescs);
    move(FOps);
    move(FSystem);
}

void TFieldEdits::ModifyField(int position, const std::string& name, TFldType type, std::int32_t width,
                              std::int32_t decimals) {
    if (position < 0 || position >= static_cast<int>(FDescs.size())) return;
    FLDDesc& d = FDescs[static_cast<std::size_t>(position)];
    // The definition the field already has changes nothing (a character field
    // wider than a new one may be keeps its width too).
    if (dbfio::CutName(name) == d.szName && SameShape(TTableDBF::FieldToDesc(TFldDef{name, type, width, decimals}), d))
        return;
    const FLDDesc made = TTableDBF::FieldToDesc(TTableDBF::MakeField(name, type, width, decimals));
    const bool reshaped = !SameShape(made, d);
    // A field whose values are not written here can be renamed but not changed.
    if (reshaped && !IsWritableLetter(LetterOfPhysical(d.iFldType)))
        throw EDbfEngineError(KeptFieldChangeMessage(d.szName, LetterOfPhysical(d.iFldType)), FTable.FilePath());
    if (reshaped && !IsWritableType(type)) RefuseFieldType(made.szName, LetterOf(type));
    d.szName = made.szName;
    d.iFldType = made.iFldType;
    d.iUnits1 = made.iUnits1;
    d.iUnits2 = made.iUnits2;
    if (FOps[static_cast<std::size_t>(position)] == opKeep) FOps[static_cast<std::size_t>(position)] = opModify;
}

bool TFieldEdits::Changed() const {
    if (FDescs != FBefore) return true;
    for (std::int32_t op : FOps)
        if (op != opKeep) return true;
    return false;
}

void TFieldEdits::Apply() {
    if (!FFound || FDescs.empty() || !Changed()) return;
    FTable.Restructure(FDescs, FOps);
    FBefore = FDescs;
    FOps.assign(FDescs.size(), opKeep);
    for (std::size_t i = 0; i < FDescs.size(); ++i) FDescs[i].iFldNum = static_cast<std::uint16_t>(i + 1);
    FBefore = FDescs;
}

TFldType TTableDBF::TypeFromChar(char letter) {
    const char upper = letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
    if (!IsTypeLetter(upper)) RefuseFieldType("", upper);
    return static_cast<TFldType>(upper);
}

void TTableDBF::Restructure(const TFldDescList& descs, const TOpType& ops) {
    CheckDbfFile();
    const bool wasOpen = Active();
    if (wasOpen) Close();
    try {
        RewriteTable(FilePath(), descs, ops);
    } catch (...) {
        if (wasOpen) {
            try {
                OpenTable();
            } catch (...) {
                // the original failure is the one to report
            }
        }
        throw;
    }
    if (wasOpen) OpenTable();
}

FLDDesc TTableDBF::FieldToDesc(const TFldDef& field) {
    FLDDesc d;
    d.szName = dbfio::CutName(field.Name);
    d.iFldType = PhysicalOf(field.FieldType);
    const TFldTypeInfo& t = FieldTypeInfo(field.FieldType);
    if (t.WidthInDefinition) d.iUnits1 = static_cast<std::int16_t>(field.Width);
    if (t.MaxDecimals > 0) d.iUnits2 = static_cast<std::int16_t>(field.Decimals);
    return d;
}

TFldDef TTableDBF::DescToField(const FLDDesc& desc) {
    TFldDef f;
    f.Name = dbfio::CutName(desc.szName);
    const char letter = LetterOfPhysical(desc.iFldType);
    if (!IsTypeLetter(letter) || letter == '?') RefuseFieldType(f.Name, letter);
    f.FieldType = static_cast<TFldType>(letter);
    const TFldTypeInfo& t = FieldTypeInfo(f.FieldType);
    if (t.WidthInDefinition) f.Width = desc.iUnits1;
    if (t.MaxDecimals > 0) f.Decimals = desc.iUnits2;
    return f;
}

// --- rows --------------------------------------------------------------------

void TTableDBF::GetValues(TFldValList& values) const {
    values.clear();
    if (!F->Open() || F->Cursor < 0 || F->Current.empty()) return;
    for (const FieldLayout& f : F->Fields) values.push_back({f.Name, F->ValueOf(f)});
}

void TTableDBF::GetRowValues(std::vector<TValue>& values) const {
    values.clear();
    if (!F->Open() || F->Cursor < 0 || F->Current.empty()) return;
    values.reserve(F->Fields.size());
    for (const FieldLayout& f : F->Fields) values.push_back(F->ValueOf(f));
}

void TTableDBF::CreateTable(const std::string& filePath, const TFldDefList& fields, int codePage) {
    auto ldid = dbfio::LanguageDriverOfCodePage(codePage);
    if (!ldid) throw EDbfException(Format("Code page %d is not supported.", codePage));
    if (fields.empty()) throw EDbfException("A table needs at least one field.");
    TFldDefList defs;
    for (const TFldDef& f : fields) {
        TFldDef n = NormalizeField(f);
        if (Trim(n.Name).empty()) throw EDbfException("A field name must not be empty.");
        for (const TFldDef& e : defs)
            if (SameTextAscii(e.Name, n.Name)) throw EDbfException(Format("Duplicate field name %s.", n.Name.c_str()));
        defs.push_back(n);
    }

    // An existing table is replaced only when nobody holds it.
    FileLock lock;
    std::error_code ec;
    if (fs::exists(filePath, ec)) lock = FileLock(filePath, true);
    std::vector<FieldLayout> layout;
    for (const TFldDef& f : defs) {
        FieldLayout t = TargetOfDesc(FieldToDesc(f), f.Name);
        t.RawName = NameBytes(f.Name, nullptr, codePage, filePath);
        layout.push_back(std::move(t));
    }
    WriteEmptyTable(filePath, layout, *ldid);
}

std::string TTableDBF::EncodeRecord(const std::vector<TValue>& values) const {
    F->RequireOpen();
    if (values.size() > F->Fields.size())
        throw EDbfException(Format("Too many values: %zu for %zu fields.", values.size(), F->Fields.size()));
    // Every value is converted before anything is written.
    std::string record(F->File->Header().RecordLength, ' ');
    for (std::size_t j = 0; j < F->Fields.size(); ++j) {
        const TValue& v = j < values.size() ? values[j] : TValue{};
        const std::string text = dbfio::EncodeField(v, F->Fields[j], F->CodePage, dbfio::ConvertMode::Strict);
        std::memcpy(record.data() + F->Fields[j].Offset, text.data(),
                    std::min(text.size(), static_cast<std::size_t>(F->Fields[j].Width)));
    }
    return record;
}

void TTableDBF::AppendRecord(const std::vector<TValue>& values) { AppendEncoded(EncodeRecord(values)); }

void TTableDBF::AppendEncoded(const std::string& records) {
    F->RequireOpen();
    F->RequireWritable();
    const std::size_t length = F->File->Header().RecordLength;
    if (records.empty()) return;
    if (length == 0 || records.size() % length != 0)
        throw EDbfException(Format("Not whole records: %zu bytes of records of %zu.", records.size(), length));
    const std::uint32_t first = F->File->RecordCount();
    if (!F->File->AppendRecords(records) || !F->File->WriteHeaderDate()) {
        std::string path = F->Path;
        try {
            F->Reload(-1);
        } catch (...) {
            F->CloseHandle();
        }
        const std::string full = dbfio::FullDiskMessage("Záznam sa nedá pridať do tabuľky");
        throw EDbfEngineError(full.empty() ? std::string("Cannot append a record to the table.") : full, path);
    }
    for (std::size_t at = 0; at < records.size(); at += length) {
        std::string written = records.substr(at, length);
        if (F->RowFilter && !F->RowFilter->Matches(written, F->CodePage)) continue;
        F->Visible.push_back(first + static_cast<std::uint32_t>(at / length));
        F->Cursor = static_cast<int>(F->Visible.size()) - 1;
        F->EofFlag = false;
        F->Current = std::move(written);
    }
}

void TTableDBF::First() {
    F->RequireOpen();
    F->GoFirst();
}

void TTableDBF::Next() {
    F->RequireOpen();
    if (F->Cursor + 1 < static_cast<int>(F->Visible.size())) {
        ++F->Cursor;
        F->EofFlag = false;
        F->LoadCurrent();
    } else {
        F->EofFlag = true;
    }
}

bool TTableDBF::Eof() const { return !F->Open() || F->EofFlag; }

int TTableDBF::RecNo() const {
    if (!F->Open() || F->Cursor < 0) return 0;
    return static_cast<int>(F->Visible[static_cast<std::size_t>(F->Cursor)]) + 1;
}

int TTableDBF::RecordCount() const { return F->Open() ? static_cast<int>(F->File->RecordCount()) : 0; }

int TTableDBF::VisibleCount() const { return F->Open() ? static_cast<int>(F->Visible.size()) : 0; }

void TTableDBF::DeleteCurrent() {
    F->RequireOpen();
    if (F->Cursor < 0) throw EDbfException("Cannot perform this operation on an empty dataset.");
    F->RequireWritable();
    const std::uint32_t rec = F->Visible[static_cast<std::size_t>(F->Cursor)];
    std::string record(F->File->Record(rec), F->File->Header().RecordLength);
    record[0] = '*';
    if (!F->File->WriteRecord(rec, record) || !F->File->WriteHeaderDate()) {
        std::string path = F->Path;
        try {
            F->Reload(static_cast<int>(rec));
        } catch (...) {
            F->CloseHandle();
        }
        throw EDbfEngineError(Format("Cannot delete record %u.", rec + 1), path);
    }
    F->Visible.erase(F->Visible.begin() + F->Cursor);
    if (F->Cursor >= static_cast<int>(F->Visible.size())) F->Cursor = static_cast<int>(F->Visible.size()) - 1;
    F->EofFlag = F->Visible.empty();
    F->LoadCurrent();
}

void TTableDBF::DeleteRecords(const std::vector<int>& recNos) {
    F->RequireOpen();
    F->RequireWritable();
    const std::uint32_t count = F->File->RecordCount();
    std::vector<bool> gone(count, false);
    for (const int recNo : recNos)
        if (recNo >= 1 && static_cast<std::uint32_t>(recNo) <= count) gone[static_cast<std::uint32_t>(recNo - 1)] = true;
    // In file order, each flag written in place.
    bool any = false;
    for (std::uint32_t rec = 0; rec < count; ++rec) {
        if (!gone[rec]) continue;
        if (F->File->Record(rec)[0] == '*') continue;
        if (!F->File->MarkDeleted(rec)) {
            std::string path = F->Path;
            try {
                F->Reload(RecNo() - 1);
            } catch (...) {
                F->CloseHandle();
            }
            throw EDbfEngineError(Format("Cannot delete record %u.", rec + 1), path);
        }
        any = true;
    }
    if (!any) return;
    if (!F->File->WriteHeaderDate()) {
        std::string path = F->Path;
        try {
            F->Reload(RecNo() - 1);
        } catch (...) {
            F->CloseHandle();
        }
        throw EDbfEngineError("Cannot write the table's date.", path);
    }
    // The current row, or the first visible one after it.
    int cursor = -1;
    std::vector<std::uint32_t> visible;
    visible.reserve(F->Visible.size());
    for (std::size_t i = 0; i < F->Visible.size(); ++i) {
        if (gone[F->Visible[i]]) continue;
        if (cursor < 0 && static_cast<int>(i) >= F->Cursor && F->Cursor >= 0) cursor = static_cast<int>(visible.size());
        visible.push_back(F->Visible[i]);
    }
    F->Visible = std::move(visible);
    if (cursor < 0) cursor = static_cast<int>(F->Visible.size()) - 1;
    F->Cursor = cursor;
    F->EofFlag = F->Visible.empty();
    F->LoadCurrent();
}

void TTableDBF::Refresh() {
    F->RequireOpen();
    int rec = RecNo() - 1;
    try {
        F->Reload(rec);
    } catch (...) {
        F->CloseHandle();
        throw;
    }
}

TValue TTableDBF::FieldValue(const std::string& name) const {
    F->RequireOpen();
    int index = FieldIndex(name);
    if (index < 0) throw EDbfException(Format("Field '%s' not found.", name.c_str()));
    if (F->Current.empty()) return std::monostate{};
    return F->ValueOf(F->Fields[static_cast<std::size_t>(index)]);
}

}  // namespace vexa
