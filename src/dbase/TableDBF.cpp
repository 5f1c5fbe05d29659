#include "dbase/TableDBF.h"

#include "common/AtomicFile.h"
#include "common/FileNames.h"
#include "common/Text.h"
#include "dbase/DbfFilter.h"
#include "dbase/DbfIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace vexa {

namespace fs = std::filesystem;
using dbfio::FieldLayout;

namespace {

const char* kOnlyDbf = "Only DBF file supported.";
const char* kOnlyTypes = "Only C, N, F, L, D fields supported.";

std::uint16_t PhysicalOf(char native) {
    switch (native) {
    case 'C': return fldpChar;
    case 'N': return fldpNumeric;
    case 'M': return fldpMemo;
    case 'L': return fldpLogical;
    case 'D': return fldpDate;
    case 'F': return fldpFloat;
    default: return fldpOther;
    }
}

// dBASE letter of a supported physical type; 0 for any other.
char NativeOfPhysical(std::uint16_t physical) {
    switch (physical) {
    case fldpChar: return 'C';
    case fldpNumeric: return 'N';
    case fldpFloat: return 'F';
    case fldpLogical: return 'L';
    case fldpDate: return 'D';
    default: return 0;
    }
}

char NativeOfType(TFldType type) {
    switch (type) {
    case TFldType::dbfChar: return 'C';
    case TFldType::dbfNumeric: return 'N';
    case TFldType::dbfFloat: return 'F';
    case TFldType::dbfLogical: return 'L';
    case TFldType::dbfDate: return 'D';
    }
    return 'C';
}

void Today(int& year, int& month, int& day) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    year = tm.tm_year;  // since 1900
    month = tm.tm_mon + 1;
    day = tm.tm_mday;
}

void StampToday(DBFHandle h) {
    int y, m, d;
    Today(y, m, d);
    DBFSetLastModifiedDate(h, y, m, d);
}

std::string ErrnoText() {
    return std::strerror(errno);
}

// A file descriptor holding a flock on a table file for its lifetime.
class FileLock {
public:
    FileLock() = default;
    FileLock(const std::string& path, bool exclusive) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (FFd < 0) throw EDbfEngineError("Cannot open the table file: " + ErrnoText() + ".", path);
            if (::flock(FFd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
                int err = errno;
                Release();
                if (err == EWOULDBLOCK) throw EDbfTableInUse(path);
                errno = err;
                throw EDbfEngineError("Cannot lock the table file: " + ErrnoText() + ".", path);
            }
            // A rewrite may have replaced the file between open and lock:
            // the lock must be on the file that the path names now.
            struct stat held {}, named {};
            if (::fstat(FFd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
                held.st_ino == named.st_ino)
                return;
            Release();
        }
        throw EDbfTableInUse(path);
    }
    ~FileLock() { Release(); }
    FileLock(FileLock&& o) noexcept : FFd(o.FFd) { o.FFd = -1; }
    FileLock& operator=(FileLock&& o) noexcept {
        if (this != &o) {
            Release();
            FFd = o.FFd;
            o.FFd = -1;
        }
        return *this;
    }
    int Fd() const { return FFd; }
    void Release() {
        if (FFd >= 0) ::close(FFd);
        FFd = -1;
    }

private:
    int FFd = -1;
};

struct DbfCloser {
    DBFHandle H = nullptr;
    ~DbfCloser() {
        if (H) DBFClose(H);
    }
    DBFHandle Take() {
        DBFHandle h = H;
        H = nullptr;
        return h;
    }
};

DBFHandle OpenDbf(const std::string& path, bool writable) {
    SAHooks hooks = dbfio::Hooks();
    dbfio::OpenPathOverride override(path);
    DBFHandle h = DBFOpenLL(path.c_str(), writable ? "rb+" : "rb", &hooks);
    if (!h) throw EDbfEngineError("Not a dBASE table, or the table is damaged.", path);
    // A header promising more records than the file holds is damage, not data.
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    if (ec || size < static_cast<std::uintmax_t>(h->nHeaderLength) +
                         static_cast<std::uintmax_t>(h->nRecords) * static_cast<std::uintmax_t>(h->nRecordLength)) {
        DBFClose(h);
        throw EDbfEngineError("The table file is shorter than its header says.", path);
    }
    return h;
}

std::string ReadRecord(DBFHandle h, int index, const std::string& path) {
    const char* tuple = DBFReadTuple(h, index);
    if (!tuple) throw EDbfEngineError(Format("Cannot read record %d.", index + 1), path);
    return std::string(tuple, static_cast<std::size_t>(h->nRecordLength));
}

void CheckIo(long long failuresBefore, const std::string& path) {
    if (dbfio::IoFailureCount() != failuresBefore) {
        std::string detail = dbfio::LastLibraryMessage();
        throw EDbfEngineError("Cannot write the table file" + (detail.empty() ? std::string(".") : ": " + detail + "."),
                              path);
    }
}

// Removes a half-built replacement unless it was committed.
struct TempFileGuard {
    std::string Path;
    bool Keep = false;
    ~TempFileGuard() {
        if (!Keep && !Path.empty()) {
            std::error_code ec;
            fs::remove(Path, ec);
        }
    }
};

// Header version bytes kept across a rewrite (dBASE and FoxPro tables with
// or without memo); a rewrite of any other dialect is written as dBASE III.
bool KeepVersionByte(unsigned char b) {
    switch (b) {
    case 0x03: case 0x04: case 0x05: case 0x83: case 0x8B: case 0x8E: case 0xF5:
        return true;
    default:
        return false;
    }
}

// What the rewrite does for one field of the new table.
struct FieldPlan {
    enum Kind { Copy, Convert, Blank } How = Blank;
    int Source = -1;     // 0-based source field
    FieldLayout Target;  // Offset filled once the new table exists
};

FieldLayout TargetOfDesc(const FLDDesc& d, const std::string& name) {
    char native = NativeOfPhysical(d.iFldType);
    if (!native) throw EDbfException(kOnlyTypes);
    FieldLayout t;
    t.Name = name;
    t.Native = native;
    switch (native) {
    case 'L': t.Width = 1; break;
    case 'D': t.Width = 8; break;
    default: t.Width = d.iUnits1; break;
    }
    t.Decimals = (native == 'N' || native == 'F') ? d.iUnits2 : 0;
    bool ok = true;
    if (native == 'C') ok = t.Width >= 1 && t.Width <= 254;
    if (native == 'N' || native == 'F')
        ok = t.Width >= 1 && t.Width <= 20 && t.Decimals >= 0 && (t.Decimals == 0 || t.Decimals <= t.Width - 2);
    if (!ok) throw EDbfException(Format("Invalid width or decimals for field %s.", name.c_str()));
    return t;
}

// Builds the new table beside path from the source table and the plan, and
// replaces the source with it. The caller holds the exclusive lock.
void RewriteTable(const std::string& path, int lockFd, const TFldDescList& descs, const TOpType& ops) {
    if (descs.size() != ops.size())
        throw EDbfException("The restructure operation list does not match the field list.");
    if (descs.empty()) throw EDbfException("A table needs at least one field.");

    DbfCloser src;
    src.H = OpenDbf(path, false);
    const int ldid = src.H->iLanguageDriver;
    const int codePage = dbfio::CodePageOfLanguageDriver(ldid);
    const std::vector<FieldLayout> sourceFields = dbfio::LayoutOf(src.H, codePage);
    unsigned char version = 0x03;
    if (::pread(lockFd, &version, 1, 0) != 1) version = 0x03;

    std::vector<FieldPlan> plan;
    for (std::size_t i = 0; i < descs.size(); ++i) {
        const FLDDesc& d = descs[i];
        const std::int32_t op = ops[i];
        if (op != opKeep && op != opAdd && op != opModify)
            throw EDbfException(Format("Unknown restructure operation %d.", op));
        std::string name = dbfio::CutName(d.szName);
        if (Trim(name).empty()) throw EDbfException("A field name must not be empty.");
        for (const FieldPlan& p : plan)
            if (SameTextAscii(p.Target.Name, name))
                throw EDbfException(Format("Duplicate field name %s.", name.c_str()));
        FieldPlan p;
        if (op == opAdd) {
            p.How = FieldPlan::Blank;
            p.Target = TargetOfDesc(d, name);
        } else {
            if (d.iFldNum < 1 || d.iFldNum > sourceFields.size())
                throw EDbfException(Format("Field number %d does not exist.", d.iFldNum));
            p.Source = d.iFldNum - 1;
            const FieldLayout& s = sourceFields[p.Source];
            bool sameShape = d.iFldType == PhysicalOf(s.Native) && d.iUnits1 == s.Width && d.iUnits2 == s.Decimals;
            if (!dbfio::IsSupportedNative(s.Native) && op == opKeep) {
                // Untouched fields of other types pass through, bytes and all.
                p.How = FieldPlan::Copy;
                p.Target = s;
                p.Target.Name = name;
            } else if (op == opKeep && sameShape) {
                p.How = FieldPlan::Copy;
                p.Target = s;
                p.Target.Name = name;
            } else if (!dbfio::IsSupportedNative(s.Native)) {
                // Memo texts and the like live outside the record: altering
                // such a field would lose them.
                throw EDbfException(kOnlyTypes);
            } else {
                p.How = FieldPlan::Convert;
                p.Target = TargetOfDesc(d, name);
            }
        }
        plan.push_back(p);
    }

    const long long failuresBefore = dbfio::IoFailureCount();
    TempFileGuard temp;
    temp.Path = TempPathBeside(path).string();
    DbfCloser dst;
    {
        SAHooks hooks = dbfio::Hooks();
        std::string ldidText = "LDID/" + std::to_string(ldid);
        // The replacement is built under a name that no walk over the
        // directory's tables takes for a table (it does not end in ".dbf").
        dbfio::OpenPathOverride override(temp.Path);
        dst.H = DBFCreateLL(temp.Path.c_str(), ldidText.c_str(), &hooks);
    }
    if (!dst.H) throw EDbfEngineError("Cannot create the new table file: " + ErrnoText() + ".", path);
    for (FieldPlan& p : plan) {
        std::string nameBytes = FromUtf8(p.Target.Name, codePage);
        int index = DBFAddNativeFieldType(dst.H, nameBytes.c_str(), p.Target.Native, p.Target.Width,
                                          p.Target.Decimals);
        if (index < 0) throw EDbfEngineError(Format("Cannot add field %s.", p.Target.Name.c_str()), path);
        p.Target.Offset = dst.H->panFieldOffset[index];
    }
    StampToday(dst.H);

    const int records = DBFGetRecordCount(src.H);
    const int newLength = dst.H->nRecordLength;
    std::vector<char> tuple(static_cast<std::size_t>(newLength));
    for (int r = 0; r < records; ++r) {
        std::string old = ReadRecord(src.H, r, path);
        std::fill(tuple.begin(), tuple.end(), ' ');
        tuple[0] = old[0] == '*' ? '*' : ' ';
        for (const FieldPlan& p : plan) {
            if (p.How != FieldPlan::Copy) continue;
            const FieldLayout& s = sourceFields[p.Source];
            std::memcpy(tuple.data() + p.Target.Offset, old.data() + s.Offset, static_cast<std::size_t>(s.Width));
        }
        if (!DBFWriteTuple(dst.H, r, tuple.data()))
            throw EDbfEngineError(Format("Cannot write record %d.", r + 1), path);
        for (std::size_t j = 0; j < plan.size(); ++j) {
            const FieldPlan& p = plan[j];
            if (p.How != FieldPlan::Convert) continue;
            const FieldLayout& s = sourceFields[p.Source];
            TValue v = dbfio::DecodeField(old.data() + s.Offset, s, codePage);
            int sourceDecimals = (s.Native == 'N' || s.Native == 'F') ? s.Decimals : -1;
            std::string text =
                dbfio::EncodeField(v, p.Target, codePage, dbfio::ConvertMode::Lenient, sourceDecimals);
            if (!DBFWriteAttributeDirectly(dst.H, r, static_cast<int>(j), text.data()))
                throw EDbfEngineError(Format("Cannot write record %d.", r + 1), path);
        }
    }
    DBFClose(dst.Take());
    DBFClose(src.Take());
    CheckIo(failuresBefore, path);

    unsigned char newVersion = KeepVersionByte(version) ? version : 0x03;
    if (newVersion != 0x03) {
        std::fstream f(temp.Path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(0);
        f.put(static_cast<char>(newVersion));
        f.close();
        if (!f) throw EDbfEngineError("Cannot write the table file.", path);
    }

    // The new file must read back as the table that was planned.
    {
        DbfCloser check;
        check.H = OpenDbf(temp.Path, false);
        if (DBFGetRecordCount(check.H) != records || DBFGetFieldCount(check.H) != static_cast<int>(plan.size()))
            throw EDbfEngineError("The rewritten table does not read back.", path);
    }

    std::error_code ec;
    fs::permissions(temp.Path, fs::status(path, ec).permissions(), ec);
    try {
        CommitReplacement(temp.Path, path);
    } catch (const fs::filesystem_error& e) {
        throw EDbfEngineError(std::string("Cannot replace the table file: ") + e.code().message() + ".", path);
    }
    temp.Keep = true;
}

} // namespace

// ----------------------------------------------------------------------------

struct TTableDBF::Impl {
    std::string DatabaseName;
    std::string TableName;
    std::string FilterText;
    TTableType Type = TTableType::ttFoxPro;
    bool FilteredOn = false;

    // open state
    DBFHandle H = nullptr;
    FileLock Lock;
    bool Writable = false;
    std::string Path;
    int CodePage = 1250;
    std::vector<FieldLayout> Fields;
    std::unique_ptr<TDbfFilter> RowFilter;
    std::vector<int> Visible;  // 0-based record indexes
    int Cursor = -1;           // index into Visible
    bool BofFlag = true;
    bool EofFlag = true;
    std::string Current;       // raw bytes of the current row

    bool Open() const { return H != nullptr; }

    void RequireOpen() const {
        if (!H) throw EDbfException("Cannot perform this operation on a closed dataset.");
    }

    void RequireWritable() const {
        if (!Writable) throw EDbfEngineError("The table is read-only.", Path);
    }

    void CloseHandle() {
        if (H) DBFClose(H);
        H = nullptr;
        Lock.Release();
        Fields.clear();
        RowFilter.reset();
        Visible.clear();
        Cursor = -1;
        BofFlag = EofFlag = true;
        Current.clear();
    }

    void OpenHandle(const std::string& path) {
        if (!fs::exists(path)) throw EDbfEngineError("Table does not exist.", path);
        FileLock lock(path, false);
        bool writable = ::access(path.c_str(), W_OK) == 0;
        DBFHandle h = nullptr;
        try {
            h = OpenDbf(path, writable);
        } catch (const EDbfEngineError&) {
            if (!writable) throw;
            writable = false;
            h = OpenDbf(path, false);
        }
        H = h;
        Lock = std::move(lock);
        Writable = writable;
        Path = path;
        CodePage = dbfio::CodePageOfLanguageDriver(H->iLanguageDriver);
        Fields = dbfio::LayoutOf(H, CodePage);
        if (Writable) StampToday(H);
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
        const int n = DBFGetRecordCount(H);
        const std::size_t length = static_cast<std::size_t>(H->nRecordLength);
        for (int i = 0; i < n; ++i) {
            const char* rec = DBFReadTuple(H, i);
            if (!rec) throw EDbfEngineError(Format("Cannot read record %d.", i + 1), Path);
            if (rec[0] == '*') continue;
            if (RowFilter && !RowFilter->Matches(rec, length, CodePage)) continue;
            Visible.push_back(i);
        }
    }

    void LoadCurrent() {
        if (Cursor >= 0 && Cursor < static_cast<int>(Visible.size()))
            Current = ReadRecord(H, Visible[Cursor], Path);
        else
            Current.clear();
    }

    void GoFirst() {
        Cursor = Visible.empty() ? -1 : 0;
        BofFlag = true;
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
            if (Visible[i] >= rec) {
                Cursor = static_cast<int>(i);
                break;
            }
        }
        BofFlag = EofFlag = false;
        LoadCurrent();
    }

    std::string TableDirectory() const {
        if (!DatabaseName.empty()) return DatabaseName;
        std::string dir = ExtractFilePath(TableName);
        return dir.empty() ? "." : dir;
    }
};

TTableDBF::TTableDBF() : F(std::make_unique<Impl>()) {}

TTableDBF::~TTableDBF() {
    Close();
}

const std::string& TTableDBF::DatabaseName() const { return F->DatabaseName; }
void TTableDBF::SetDatabaseName(const std::string& directory) { F->DatabaseName = directory; }
const std::string& TTableDBF::TableName() const { return F->TableName; }
void TTableDBF::SetTableName(const std::string& name) { F->TableName = name; }
TTableType TTableDBF::TableType() const { return F->Type; }
void TTableDBF::SetTableType(TTableType type) { F->Type = type; }
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
    if (F->Type != TTableType::ttDBase && F->Type != TTableType::ttFoxPro) throw EDbfException(kOnlyDbf);
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

void TTableDBF::Close() {
    F->CloseHandle();
}

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
    if ((F->Type != TTableType::ttDBase && F->Type != TTableType::ttFoxPro) ||
        !fs::is_directory(F->TableDirectory(), ec))
        throw EDbfException(kOnlyDbf);
}

void TTableDBF::CheckDbfFile() const {
    std::error_code ec;
    if ((F->Type != TTableType::ttDBase && F->Type != TTableType::ttFoxPro) || F->TableName.empty())
        throw EDbfException(kOnlyDbf);
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
            d.iFldType = PhysicalOf(f.Native);
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
    switch (field.FieldType) {
    case TFldType::dbfChar:
        if (field.Width < 1) field.Width = 50;
        if (field.Width > 254) field.Width = 254;
        field.Decimals = 0;
        break;
    case TFldType::dbfNumeric:
    case TFldType::dbfFloat:
        if (field.Width < 1) field.Width = 15;
        if (field.Width > 20) field.Width = 20;
        if (field.Decimals < 0) field.Decimals = 0;
        if (field.Decimals > 16) field.Decimals = 16;
        if (field.Decimals != 0 && field.Decimals > field.Width - 2) field.Decimals = field.Width - 2;
        // A field of one or two characters has no room for any decimals.
        if (field.Decimals < 0) field.Decimals = 0;
        break;
    case TFldType::dbfLogical:
    case TFldType::dbfDate:
        field.Width = 0;
        field.Decimals = 0;
        break;
    }
    return field;
}

void TTableDBF::AddField(const TFldDef& field) {
    FLDDesc added = FieldToDesc(NormalizeField(field));
    added.iFldNum = 0;
    TFldDescList descs;
    GetFieldDescs(descs);
    if (descs.empty()) return;
    descs.push_back(added);
    TOpType ops(descs.size(), opKeep);
    ops.back() = opAdd;
    Restructure(descs, ops);
}

void TTableDBF::DeleteField(int position) {
    TFldDescList descs;
    GetFieldDescs(descs);
    if (descs.empty() || position < 0 || position >= static_cast<int>(descs.size())) return;
    descs.erase(descs.begin() + position);
    Restructure(descs, TOpType(descs.size(), opKeep));
}

void TTableDBF::MoveField(int from, int to) {
    TFldDescList descs;
    GetFieldDescs(descs);
    const int n = static_cast<int>(descs.size());
    if (n == 0 || from == to || from < 0 || from >= n || to < 0 || to >= n) return;
    FLDDesc moved = descs[from];
    descs.erase(descs.begin() + from);
    descs.insert(descs.begin() + to, moved);
    Restructure(descs, TOpType(descs.size(), opKeep));
}

void TTableDBF::ModifyField(int position, const std::string& name, TFldType type, std::int32_t width,
                            std::int32_t decimals) {
    TFldDescList descs;
    GetFieldDescs(descs);
    if (descs.empty() || position < 0 || position >= static_cast<int>(descs.size())) return;
    FLDDesc made = FieldToDesc(MakeField(name, type, width, decimals));
    FLDDesc& d = descs[position];
    d.szName = made.szName;
    d.iFldType = made.iFldType;
    d.iUnits1 = made.iUnits1;
    d.iUnits2 = made.iUnits2;
    TOpType ops(descs.size(), opKeep);
    ops[position] = opModify;
    Restructure(descs, ops);
}

TFldType TTableDBF::TypeFromChar(char letter) {
    switch (letter) {
    case 'C': case 'c': return TFldType::dbfChar;
    case 'N': case 'n': return TFldType::dbfNumeric;
    case 'F': case 'f': return TFldType::dbfFloat;
    case 'L': case 'l': return TFldType::dbfLogical;
    case 'D': case 'd': return TFldType::dbfDate;
    default: throw EDbfException(kOnlyTypes);
    }
}

void TTableDBF::Restructure(const TFldDescList& descs, const TOpType& ops) {
    CheckDbfFile();
    const bool wasOpen = Active();
    if (wasOpen) Close();
    try {
        std::string path = FilePath();
        FileLock lock(path, true);
        RewriteTable(path, lock.Fd(), descs, ops);
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
    d.iFldType = PhysicalOf(NativeOfType(field.FieldType));
    if (field.FieldType == TFldType::dbfChar || field.FieldType == TFldType::dbfNumeric ||
        field.FieldType == TFldType::dbfFloat)
        d.iUnits1 = static_cast<std::int16_t>(field.Width);
    if (field.FieldType == TFldType::dbfNumeric || field.FieldType == TFldType::dbfFloat)
        d.iUnits2 = static_cast<std::int16_t>(field.Decimals);
    return d;
}

TFldDef TTableDBF::DescToField(const FLDDesc& desc) {
    TFldDef f;
    f.Name = dbfio::CutName(desc.szName);
    switch (desc.iFldType) {
    case fldpChar: f.FieldType = TFldType::dbfChar; break;
    case fldpNumeric: f.FieldType = TFldType::dbfNumeric; break;
    case fldpFloat: f.FieldType = TFldType::dbfFloat; break;
    case fldpLogical: f.FieldType = TFldType::dbfLogical; break;
    case fldpDate: f.FieldType = TFldType::dbfDate; break;
    default: throw EDbfException(kOnlyTypes);
    }
    if (f.FieldType == TFldType::dbfChar || f.FieldType == TFldType::dbfNumeric ||
        f.FieldType == TFldType::dbfFloat)
        f.Width = desc.iUnits1;
    if (f.FieldType == TFldType::dbfNumeric || f.FieldType == TFldType::dbfFloat) f.Decimals = desc.iUnits2;
    return f;
}

// --- rows --------------------------------------------------------------------

void TTableDBF::GetValues(TFldValList& values) const {
    values.clear();
    if (!F->Open() || F->Cursor < 0 || F->Current.empty()) return;
    for (const FieldLayout& f : F->Fields)
        values.push_back({f.Name, dbfio::DecodeField(F->Current.data() + f.Offset, f, F->CodePage)});
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

    const long long failuresBefore = dbfio::IoFailureCount();
    TempFileGuard temp;
    temp.Path = TempPathBeside(filePath).string();
    DbfCloser dst;
    {
        SAHooks hooks = dbfio::Hooks();
        std::string ldidText = "LDID/" + std::to_string(*ldid);
        dbfio::OpenPathOverride override(temp.Path);
        dst.H = DBFCreateLL(temp.Path.c_str(), ldidText.c_str(), &hooks);
    }
    if (!dst.H) throw EDbfEngineError("Cannot create the table file: " + ErrnoText() + ".", filePath);
    for (const TFldDef& f : defs) {
        FieldLayout t = TargetOfDesc(FieldToDesc(f), f.Name);
        std::string nameBytes = FromUtf8(t.Name, codePage);
        if (DBFAddNativeFieldType(dst.H, nameBytes.c_str(), t.Native, t.Width, t.Decimals) < 0)
            throw EDbfEngineError(Format("Cannot add field %s.", t.Name.c_str()), filePath);
    }
    StampToday(dst.H);
    DBFClose(dst.Take());
    CheckIo(failuresBefore, filePath);
    try {
        CommitReplacement(temp.Path, filePath);
    } catch (const fs::filesystem_error& e) {
        throw EDbfEngineError(std::string("Cannot replace the table file: ") + e.code().message() + ".", filePath);
    }
    temp.Keep = true;
}

void TTableDBF::AppendRecord(const std::vector<TValue>& values) {
    F->RequireOpen();
    F->RequireWritable();
    if (values.size() > F->Fields.size())
        throw EDbfException(Format("Too many values: %zu for %zu fields.", values.size(), F->Fields.size()));
    // Every value is converted before anything is written.
    std::vector<std::string> texts;
    for (std::size_t j = 0; j < F->Fields.size(); ++j) {
        const TValue& v = j < values.size() ? values[j] : TValue{};
        texts.push_back(dbfio::EncodeField(v, F->Fields[j], F->CodePage, dbfio::ConvertMode::Strict));
    }
    const long long failuresBefore = dbfio::IoFailureCount();
    const int rec = DBFGetRecordCount(F->H);
    bool ok = true;
    for (std::size_t j = 0; j < texts.size() && ok; ++j)
        ok = DBFWriteAttributeDirectly(F->H, rec, static_cast<int>(j), texts[j].data()) != 0;
    if (ok) DBFUpdateHeader(F->H);
    if (!ok || dbfio::IoFailureCount() != failuresBefore) {
        std::string path = F->Path;
        try {
            F->Reload(-1);
        } catch (...) {
            F->CloseHandle();
        }
        throw EDbfEngineError("Cannot append a record to the table.", path);
    }
    std::string written = ReadRecord(F->H, rec, F->Path);
    if (!F->RowFilter || F->RowFilter->Matches(written, F->CodePage)) {
        F->Visible.push_back(rec);
        F->Cursor = static_cast<int>(F->Visible.size()) - 1;
        F->BofFlag = F->EofFlag = false;
        F->Current = written;
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
        F->BofFlag = false;
        F->EofFlag = false;
        F->LoadCurrent();
    } else {
        F->EofFlag = true;
    }
}

void TTableDBF::Prior() {
    F->RequireOpen();
    if (F->Cursor > 0) {
        --F->Cursor;
        F->BofFlag = false;
        F->EofFlag = false;
        F->LoadCurrent();
    } else {
        F->BofFlag = true;
    }
}

void TTableDBF::Last() {
    F->RequireOpen();
    F->Cursor = static_cast<int>(F->Visible.size()) - 1;
    F->EofFlag = true;
    F->BofFlag = F->Visible.empty();
    F->LoadCurrent();
}

bool TTableDBF::Eof() const { return !F->Open() || F->EofFlag; }
bool TTableDBF::Bof() const { return !F->Open() || F->BofFlag; }

int TTableDBF::RecNo() const {
    if (!F->Open() || F->Cursor < 0) return 0;
    return F->Visible[F->Cursor] + 1;
}

int TTableDBF::RecordCount() const {
    return F->Open() ? DBFGetRecordCount(F->H) : 0;
}

int TTableDBF::VisibleCount() const {
    return F->Open() ? static_cast<int>(F->Visible.size()) : 0;
}

void TTableDBF::DeleteCurrent() {
    F->RequireOpen();
    if (F->Cursor < 0) throw EDbfException("Cannot perform this operation on an empty dataset.");
    F->RequireWritable();
    const int rec = F->Visible[F->Cursor];
    const long long failuresBefore = dbfio::IoFailureCount();
    bool ok = DBFMarkRecordDeleted(F->H, rec, 1) != 0;
    if (ok) DBFUpdateHeader(F->H);
    if (!ok || dbfio::IoFailureCount() != failuresBefore) {
        std::string path = F->Path;
        try {
            F->Reload(rec);
        } catch (...) {
            F->CloseHandle();
        }
        throw EDbfEngineError(Format("Cannot delete record %d.", rec + 1), path);
    }
    F->Visible.erase(F->Visible.begin() + F->Cursor);
    if (F->Cursor >= static_cast<int>(F->Visible.size())) F->Cursor = static_cast<int>(F->Visible.size()) - 1;
    F->BofFlag = F->EofFlag = F->Visible.empty();
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
    const FieldLayout& f = F->Fields[index];
    return dbfio::DecodeField(F->Current.data() + f.Offset, f, F->CodePage);
}

} // namespace vexa
