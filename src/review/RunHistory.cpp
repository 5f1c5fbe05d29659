#include "review/RunHistory.h"

#include "common/AtomicFile.h"
#include "common/Exception.h"
#include "common/Leftovers.h"
#include "common/MapFiles.h"
#include "common/Text.h"
#include "review/Exceptions.h"
#include "review/RunReview.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace vexa::review {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMagic = "vexa-run\t1";
constexpr const char* kExtension = ".run";
constexpr const char* kDatabaseName = "historia.sqlite";
constexpr const char* kLockName = "historia.lock";
constexpr const char* kFormat = "1";
// Bounds on what is read of one run file: the whole file (its findings), and its metadata.
constexpr std::uintmax_t kMaxRunFileBytes = 64ULL << 20;
constexpr std::size_t kMaxRunMetadataBytes = 1 << 20;

std::atomic<int> gLockWaitMs{10000};

std::string Escape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::string Opt(const std::optional<std::int32_t>& v) { return v ? std::to_string(*v) : std::string(); }

void PutFinding(std::string& out, char tag, const TRunFinding& f) {
    out += tag;
    for (const std::string& field : {f.Block, f.Group, Opt(f.Number), std::to_string(f.Code), Opt(f.Kind), f.Status,
                                     f.Since, f.Text, f.Table, f.Detail}) {
        out += '\t';
        out += Escape(field);
    }
    out += '\n';
}

// A list as the run files write it: each item after a tab, escaped ("" for none).
std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& s : items) {
        out += '\t';
        out += Escape(s);
    }
    return out;
}

std::vector<std::string> Split(const std::string& joined) {
    std::vector<std::string> items;
    if (joined.empty()) return items;
    for (std::size_t start = 1;;) {
        const std::size_t tab = joined.find('\t', start);
        items.push_back(Unescape(joined.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return items;
}

bool IsRunFile(const fs::path& p) { return p.extension() == kExtension && p.filename().string()[0] != '.'; }

// The run files of an earlier version, by name (oldest first); none when .vexa/runs links elsewhere.
std::vector<fs::path> RunFiles(const std::string& mapDir, std::vector<std::string>* problems) {
    std::vector<fs::path> files;
    try {
        RefuseLinkedPath(HistoryDir(mapDir).parent_path(), fs::path(".vexa") / "runs", "História kontrol sa nečíta");
    } catch (const Exception& e) {
        if (problems) problems->push_back(e.Message());
        return files;
    }
    std::error_code ec;
    for (fs::directory_iterator it(HistoryDir(mapDir) / "runs", ec), end; !ec && it != end; it.increment(ec))
        if (IsRunFile(it->path())) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

// The history's lock: a flock on .vexa/historia.lock while one program writes it.
class THistoryLock {
public:
    explicit THistoryLock(const std::string& mapDir) {
        const fs::path dir = HistoryDir(mapDir);
        RefuseLinkedPath(dir.parent_path(), dir.filename(), "Záznam kontroly nebol uložený");
        std::error_code ec;
        fs::create_directories(dir, ec);
        const std::string path = (dir / kLockName).string();
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
        if (fd_ < 0) throw Exception("Záznam kontroly nebol uložený: zámok histórie sa nedá vytvoriť\r(" + path + ")");
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(gLockWaitMs.load());
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (std::chrono::steady_clock::now() >= end) {
                ::close(fd_);
                throw Exception("Históriu kontrol práve zapisuje iný program; záznam kontroly nebol uložený\r(" +
                                HistoryPath(mapDir).string() + ")");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~THistoryLock() {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    THistoryLock(const THistoryLock&) = delete;
    THistoryLock& operator=(const THistoryLock&) = delete;

private:
    int fd_ = -1;
};

// The check (with its limit) of each check base among a run's checks ("-15" → "-15@50").
std::unordered_map<std::string, std::string> ByBase(const std::vector<std::string>& checks) {
    std::unordered_map<std::string, std::string> by;
    for (const std::string& c : checks) by[CheckBase(c)] = c;
    return by;
}

// CheckOf, remembered for the codes of element findings (their check does not depend on the text).
class TCheckOf {
public:
    const std::string& operator()(std::int32_t code, const std::string& text) {
        auto it = FByCode.find(code);
        if (it != FByCode.end()) return it->second;
        FLast = CheckOf(code, text);
        if (FLast == std::to_string(code)) return FByCode.emplace(code, FLast).first->second;
        return FLast;
    }

private:
    std::unordered_map<std::int32_t, std::string> FByCode;
    std::string FLast;
};

}  // namespace

fs::path HistoryDir(const std::string& mapDir) { return fs::path(mapDir.empty() ? std::string(".") : mapDir) / ".vexa"; }
fs::path HistoryPath(const std::string& mapDir) { return HistoryDir(mapDir) / kDatabaseName; }

void SetHistoryLockWait(int ms) { gLockWaitMs = ms; }

std::string TRunFinding::Key() const { return FindingKey(Block, Group, Number, Code, Kind, Table); }

bool TRunRecord::Checks(const std::string& block) const {
    return std::find(Checked.begin(), Checked.end(), block) != Checked.end();
}

std::string NowText() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string NewRunId() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return Format("%s-%03d", buf, ms);
}
TRunRecord ReadRun(const fs::path& file, bool withFindings) {
    const std::string damaged = "Záznam kontroly sa nedá prečítať\r(" + file.string() + ")";
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Exception(damaged);
    // Read whole and split in place: a run of a large map has many thousand lines. What is
    // read is bounded: no run Vexa writes comes near kMaxRunFileBytes.
    std::error_code sizeError;
    const auto bytes = fs::file_size(file, sizeError);
    if (withFindings && !sizeError && bytes > kMaxRunFileBytes)
        throw Exception(Format("Záznam kontroly je väčší ako %llu MB, nečíta sa\r(%s)",
                               static_cast<unsigned long long>(kMaxRunFileBytes >> 20), file.string().c_str()));
    std::string text;
    if (withFindings) {
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    } else {
        // The metadata comes before the findings: read up to the first finding.
        // Line by line, never more than kMaxRunMetadataBytes (a file of one endless line).
        std::string line;
        for (char c; in.get(c);) {
            if (c != '\n') {
                line += c;
                if (text.size() + line.size() > kMaxRunMetadataBytes) throw Exception(damaged);
                continue;
            }
            if (line.size() > 1 && (line[0] == 'F' || line[0] == 'X' || line[0] == 'E') && line[1] == '\t') break;
            text += line;
            text += '\n';
            line.clear();
        }
        if (!line.empty() && !(line.size() > 1 && (line[0] == 'F' || line[0] == 'X' || line[0] == 'E') && line[1] == '\t'))
            text += line + '\n';
    }
    TRunRecord run;
    run.File = file.string();
    bool ok = true, sawEnd = false, first = true;
    auto integer = [&](std::string_view s) {
        long long v = 0;
        const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) ok = false;
        return static_cast<int>(v);
    };
    auto optional = [&](std::string_view s) -> std::optional<std::int32_t> {
        if (s.empty()) return std::nullopt;
        return integer(s);
    };
    auto field = [](std::string_view s) { return s.find('\\') == std::string_view::npos ? std::string(s) : Unescape(std::string(s)); };
    std::vector<std::string_view> f;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        if (first) {
            if (line != kMagic) throw Exception(damaged);
            first = false;
            continue;
        }
        if (line.empty()) continue;
        f.clear();
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            f.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
            if (tab == std::string_view::npos) break;
            start = tab + 1;
        }
        const std::string_view key = f[0];
        if (key == "F" || key == "X" || key == "E") {
            if (f.size() != 9 && f.size() != 11) throw Exception(damaged);
            TRunFinding r;
            r.Block = field(f[1]), r.Group = field(f[2]);
            r.Number = optional(f[3]);
            r.Code = integer(f[4]);
            r.Kind = optional(f[5]);
            r.Status = field(f[6]), r.Since = field(f[7]), r.Text = field(f[8]);
            if (f.size() == 11) r.Table = field(f[9]), r.Detail = field(f[10]);
            (key == "F" ? run.Found : key == "X" ? run.Gone : run.Left).push_back(std::move(r));
            continue;
        }
        if (key == "end") {
            sawEnd = true;
            continue;
        }
        const std::string value = f.size() > 1 ? field(f[1]) : std::string();
        auto list = [&] {
            std::vector<std::string> items;
            for (std::size_t i = 1; i < f.size(); ++i) items.push_back(field(f[i]));
            return items;
        };
        if (key == "id") run.Id = value;
        else if (key == "date") run.Date = value;
        else if (key == "version") run.Version = value;
        else if (key == "standard") run.Standard = value;
        else if (key == "description") run.Description = value;
        else if (key == "options") run.Options = value;
        else if (key == "user") run.User = value;
        else if (key == "checks") run.ChecksRan = list();
        else if (key == "checked") run.Checked = list();
        else if (key == "skipped") run.Skipped = list();
        else if (key == "complete") run.Complete = value == "1";
        else if (key == "merge") run.Merge = value == "1";
        else if (key == "duration") run.Duration = TextToFloat(value).value_or(0);
        else if (key == "new") run.New = integer(value);
        else if (key == "persisting") run.Persisting = integer(value);
        else if (key == "fixed") run.Fixed = integer(value);
        else if (key == "excepted") run.Excepted = integer(value);
        else if (key == "findings") run.Findings = integer(value);
        // other keys are those of a later version: passed over
    }
    // A file cut short (a full disk) lacks its last line.
    if (first || !ok || run.Id.empty() || (withFindings && !sawEnd)) throw Exception(damaged);
    if (run.ChecksRan.empty()) run.ChecksRan = ChecksOfOptions(run.Options);
    return run;
}

void WriteRunFile(const fs::path& target, const TRunRecord& run) {
    std::string out = std::string(kMagic) + "\n";
    auto put = [&](const char* key, const std::string& value) { out += std::string(key) + "\t" + Escape(value) + "\n"; };
    put("id", run.Id);
    put("date", run.Date);
    put("version", run.Version);
    put("standard", run.Standard);
    put("description", run.Description);
    put("options", run.Options);
    put("user", run.User);
    out += "checks" + Joined(run.ChecksRan) + "\n";
    out += "checked" + Joined(run.Checked) + "\n";
    out += "skipped" + Joined(run.Skipped) + "\n";
    put("complete", run.Complete ? "1" : "0");
    put("merge", run.Merge ? "1" : "0");
    put("duration", FloatToText(run.Duration));
    put("findings", std::to_string(run.Found.size()));
    put("new", std::to_string(run.New));
    put("persisting", std::to_string(run.Persisting));
    put("fixed", std::to_string(run.Fixed));
    put("excepted", std::to_string(run.Excepted));
    for (const TRunFinding& f : run.Found) PutFinding(out, 'F', f);
    for (const TRunFinding& f : run.Gone) PutFinding(out, 'X', f);
    for (const TRunFinding& f : run.Left) PutFinding(out, 'E', f);
    out += "end\n";
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    const fs::path temp = TempPathBeside(target);
    try {
        std::error_code cause;
        if (!WriteNewFile(temp, out, cause)) throw Exception("write");
        CommitReplacement(temp, target);
    } catch (const std::exception&) {
        fs::remove(temp, ec);
        throw Exception("Záznam kontroly nebol uložený\r(" + target.string() + ")");
    }
}

// ---- The database ----

namespace {

class TStmt {
public:
    TStmt(sqlite3* db, const char* sql, const std::string& path) : FPath(path) {
        if (sqlite3_prepare_v2(db, sql, -1, &FStmt, nullptr) != SQLITE_OK) Fail(db);
    }
    ~TStmt() { sqlite3_finalize(FStmt); }
    TStmt(const TStmt&) = delete;
    TStmt& operator=(const TStmt&) = delete;
    TStmt& Int(int i, std::int64_t v) { return Check(sqlite3_bind_int64(FStmt, i, v)); }
    TStmt& Opt(int i, const std::optional<std::int32_t>& v) {
        return Check(v ? sqlite3_bind_int64(FStmt, i, *v) : sqlite3_bind_null(FStmt, i));
    }
    TStmt& Null(int i) { return Check(sqlite3_bind_null(FStmt, i)); }
    TStmt& Real(int i, double v) { return Check(sqlite3_bind_double(FStmt, i, v)); }
    TStmt& Text(int i, const std::string& v) {
        return Check(sqlite3_bind_text(FStmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
    }
    // True while a row comes.
    bool Step() {
        const int rc = sqlite3_step(FStmt);
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) Fail(sqlite3_db_handle(FStmt));
        return false;
    }
    void Run() {
        Step();
        Reset();
    }
    void Reset() {
        sqlite3_reset(FStmt);
        sqlite3_clear_bindings(FStmt);
    }
    std::int64_t ColInt(int i) const { return sqlite3_column_int64(FStmt, i); }
    bool IsNull(int i) const { return sqlite3_column_type(FStmt, i) == SQLITE_NULL; }
    std::optional<std::int32_t> ColOpt(int i) const {
        if (IsNull(i)) return std::nullopt;
        return static_cast<std::int32_t>(sqlite3_column_int64(FStmt, i));
    }
    double ColReal(int i) const { return sqlite3_column_double(FStmt, i); }
    std::string ColText(int i) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(FStmt, i));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(FStmt, i))) : std::string();
    }

private:
    TStmt& Check(int rc) {
        if (rc != SQLITE_OK) Fail(sqlite3_db_handle(FStmt));
        return *this;
    }
    [[noreturn]] void Fail(sqlite3* db) const {
        throw Exception("História kontrol sa nedá prečítať ani zapísať\r(" + FPath + ": " +
                        (db ? sqlite3_errmsg(db) : "?") + ")");
    }
    sqlite3_stmt* FStmt = nullptr;
    std::string FPath;
};

const char* const kSchema =
    "CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID;"
    "CREATE TABLE runs(serial INTEGER PRIMARY KEY, id TEXT NOT NULL UNIQUE, date TEXT, version TEXT, standard TEXT,"
    " description TEXT, options TEXT, user TEXT, checks TEXT, checked TEXT, skipped TEXT, complete INTEGER,"
    " merge INTEGER, duration REAL, findings INTEGER, new INTEGER, persisting INTEGER, fixed INTEGER,"
    " excepted INTEGER, blocks TEXT, source TEXT);"
    "CREATE TABLE names(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);"
    "CREATE TABLE findings(id INTEGER PRIMARY KEY, block INTEGER, grp TEXT, number INTEGER, code INTEGER,"
    " kind INTEGER, tbl TEXT, chk INTEGER, pos INTEGER, first_run INTEGER, last_run INTEGER, first_new INTEGER,"
    " since TEXT, text TEXT, detail TEXT);"
    "CREATE INDEX findings_standing ON findings(block) WHERE last_run IS NULL;"
    "CREATE INDEX findings_closed ON findings(last_run) WHERE last_run IS NOT NULL;"
    "CREATE TABLE others(run INTEGER, seq INTEGER, tag TEXT, block INTEGER, grp TEXT, number INTEGER,"
    " code INTEGER, kind INTEGER, tbl TEXT, status TEXT, since TEXT, text TEXT, detail TEXT,"
    " PRIMARY KEY(run, seq)) WITHOUT ROWID;";

}  // namespace

struct THistory::TDb {
    sqlite3* Db = nullptr;
    std::string Path;
    std::vector<std::string> Names;  // by id (0 unused)
    std::unordered_map<std::string, std::int64_t> Ids;

    ~TDb() { sqlite3_close(Db); }
    [[noreturn]] void Fail(const std::string& what) const {
        throw Exception("História kontrol sa nedá prečítať\r(" + Path + ": " + what + ")");
    }
    void Exec(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(Db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string what = error ? error : sqlite3_errmsg(Db);
            sqlite3_free(error);
            Fail(what);
        }
    }
    void OpenFile(const std::string& path, int flags) {
        Path = path;
#ifdef SQLITE_OPEN_NOFOLLOW
        flags |= SQLITE_OPEN_NOFOLLOW;  // never a database through a link
#endif
        if (sqlite3_open_v2(path.c_str(), &Db, flags, nullptr) != SQLITE_OK)
            Fail(Db ? sqlite3_errmsg(Db) : "open");
        sqlite3_busy_timeout(Db, 10000);
        sqlite3_exec(Db, "PRAGMA mmap_size = 268435456", nullptr, nullptr, nullptr);  // read in place
    }
    // The format and the names; raises naming the file when it is not a history of this format.
    void Validate() {
        std::string format;
        {
            TStmt s(Db, "SELECT value FROM meta WHERE name = 'format'", Path);
            if (s.Step()) format = s.ColText(0);
        }
        if (format != kFormat) Fail(format.empty() ? "nie je to história kontrol" : "formát " + format + " novšej verzie");
        LoadNames();
    }
    void LoadNames() {
        Names.assign(1, std::string());
        Ids.clear();
        TStmt s(Db, "SELECT id, name FROM names ORDER BY id", Path);
        while (s.Step()) {
            const std::int64_t id = s.ColInt(0);
            if (id <= 0 || id > 10'000'000) Fail("names");
            if (static_cast<std::size_t>(id) >= Names.size()) Names.resize(static_cast<std::size_t>(id) + 1);
            Names[static_cast<std::size_t>(id)] = s.ColText(1);
            Ids[s.ColText(1)] = id;
        }
    }
    std::int64_t Find(const std::string& name) const {
        auto it = Ids.find(name);
        return it == Ids.end() ? 0 : it->second;
    }
    const std::string& Name(std::int64_t id) const {
        static const std::string none;
        return id > 0 && static_cast<std::size_t>(id) < Names.size() ? Names[static_cast<std::size_t>(id)] : none;
    }
    std::int64_t Intern(const std::string& name) {
        if (const std::int64_t id = Find(name)) return id;
        TStmt s(Db, "INSERT INTO names(name) VALUES(?)", Path);
        s.Text(1, name).Run();
        const std::int64_t id = sqlite3_last_insert_rowid(Db);
        if (static_cast<std::size_t>(id) >= Names.size()) Names.resize(static_cast<std::size_t>(id) + 1);
        Names[static_cast<std::size_t>(id)] = name;
        Ids[name] = id;
        return id;
    }
    std::vector<TRunRecord> Metadata() {
        std::vector<TRunRecord> runs;
        TStmt s(Db,
                "SELECT serial, id, date, version, standard, description, options, user, checks, checked, skipped,"
                " complete, merge, duration, findings, new, persisting, fixed, excepted FROM runs ORDER BY serial",
                Path);
        while (s.Step()) {
            TRunRecord r;
            r.Serial = s.ColInt(0);
            r.Id = s.ColText(1), r.Date = s.ColText(2), r.Version = s.ColText(3), r.Standard = s.ColText(4);
            r.Description = s.ColText(5), r.Options = s.ColText(6), r.User = s.ColText(7);
            r.ChecksRan = Split(s.ColText(8)), r.Checked = Split(s.ColText(9)), r.Skipped = Split(s.ColText(10));
            r.Complete = s.ColInt(11) != 0, r.Merge = s.ColInt(12) != 0, r.Duration = s.ColReal(13);
            r.Findings = static_cast<int>(s.ColInt(14)), r.New = static_cast<int>(s.ColInt(15));
            r.Persisting = static_cast<int>(s.ColInt(16)), r.Fixed = static_cast<int>(s.ColInt(17));
            r.Excepted = static_cast<int>(s.ColInt(18));
            r.File = Path;
            runs.push_back(std::move(r));
        }
        return runs;
    }
    std::int64_t Generation() {
        TStmt s(Db, "SELECT value FROM meta WHERE name = 'generation'", Path);
        return s.Step() ? std::atoll(s.ColText(0).c_str()) : 0;
    }
    void Append(TRunRecord& run, const TContinuation* continuation);
};

namespace {

// The serial of the newest of runs (oldest first, all before the run written) that checked
// the block and ran the check; 0 when none.
class TNewestRuns {
public:
    explicit TNewestRuns(const std::vector<TRunRecord>& runs) : FRuns(runs) {}
    std::int64_t Of(const std::string& block, const std::string& check) {
        auto [it, fresh] = FFound.try_emplace(block + '\x1f' + check, 0);
        if (!fresh) return it->second;
        for (auto r = FRuns.rbegin(); r != FRuns.rend(); ++r)
            if (std::find(r->ChecksRan.begin(), r->ChecksRan.end(), check) != r->ChecksRan.end() && r->Checks(block))
                return it->second = r->Serial;
        return 0;
    }

private:
    const std::vector<TRunRecord>& FRuns;
    std::unordered_map<std::string, std::int64_t> FFound;
};

const char* const kStandingColumns =
    "SELECT id, block, grp, number, code, kind, tbl, chk, pos, first_run, first_new, since, text, detail FROM findings ";

TStanding StandingOf(const TStmt& s, const THistory::TDb& db) {
    TStanding st;
    st.Row = s.ColInt(0);
    TRunFinding& f = st.Finding;
    f.Block = db.Name(s.ColInt(1));
    f.Group = s.ColText(2);
    f.Number = s.ColOpt(3);
    f.Code = static_cast<std::int32_t>(s.ColInt(4));
    f.Kind = s.ColOpt(5);
    f.Table = s.ColText(6);
    st.Check = db.Name(s.ColInt(7));
    st.Pos = static_cast<int>(s.ColInt(8));
    st.FirstRun = s.ColInt(9);
    st.FirstNew = s.ColInt(10) != 0;
    f.Since = s.ColText(11);
    f.Text = s.ColText(12);
    f.Detail = s.ColText(13);
    return st;
}

bool SameFinding(const TRunFinding& a, const TRunFinding& b) {
    return a.Block == b.Block && a.Group == b.Group && a.Number == b.Number && a.Code == b.Code && a.Kind == b.Kind &&
           a.Table == b.Table && a.Text == b.Text && a.Detail == b.Detail && a.Since == b.Since;
}

}  // namespace

void THistory::TDb::Append(TRunRecord& run, const TContinuation* continuation) {
    const std::vector<TRunRecord> prior = Metadata();
    if (run.Id.empty()) {
        run.Id = NewRunId();
        // Two runs in one millisecond: the later one takes the next, so that ids sort by time.
        while (!prior.empty() && run.Id <= prior.back().Id) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            run.Id = NewRunId();
        }
    }
    // A run that does not say which checks ran ran those of its options (as a run file of
    // an earlier version reads).
    if (run.ChecksRan.empty()) run.ChecksRan = ChecksOfOptions(run.Options);
    const std::string source = run.File;  // a run file taken over
    run.File = Path;
    run.Findings = static_cast<int>(run.Found.size());
    const std::unordered_set<std::string> checked(run.Checked.begin(), run.Checked.end());
    const std::unordered_map<std::string, std::string> checks = ByBase(run.ChecksRan);
    const std::unordered_set<std::string> ran(run.ChecksRan.begin(), run.ChecksRan.end());
    TCheckOf checkOf;

    // Each finding's place among its block's findings, its check, whether it can be compared.
    const std::size_t n = run.Found.size();
    std::vector<int> pos(n);
    std::vector<const std::string*> checkOfFinding(n);
    std::vector<char> comparable(n);
    std::vector<std::int64_t> blockOrder;
    std::unordered_set<std::string> unran;  // checks of findings the run does not name
    {
        std::unordered_map<std::string, int> counts;
        const std::string* last = nullptr;
        int* count = nullptr;
        for (std::size_t i = 0; i < n; ++i) {
            const TRunFinding& f = run.Found[i];
            if (!last || *last != f.Block) {
                auto [it, fresh] = counts.try_emplace(f.Block, 0);
                if (fresh) blockOrder.push_back(Intern(f.Block));
                last = &it->first;
                count = &it->second;
            }
            pos[i] = (*count)++;
            const std::string& base = checkOf(f.Code, f.Text);
            auto c = checks.find(base);
            checkOfFinding[i] = c != checks.end() ? &c->second : &*unran.insert(base).first;
            comparable[i] = c != checks.end() && checked.count(f.Block);
        }
    }

    // The standing findings this run continues and those it ends.
    std::vector<const TStanding*> rows(n, nullptr);
    std::vector<std::pair<const TStanding*, std::int64_t>> standing;
    std::vector<TStanding> read;  // when the run did not read them
    if (continuation && continuation->Generation == Generation() && continuation->Rows.size() == n) {
        rows = continuation->Rows;
        standing = continuation->Standing;
    } else {
        TNewestRuns newest(prior);
        TStmt s(Db, (std::string(kStandingColumns) + "WHERE block = ? AND last_run IS NULL ORDER BY pos").c_str(), Path);
        for (const std::string& block : run.Checked) {
            const std::int64_t id = Find(block);
            if (!id) continue;
            s.Int(1, id);
            while (s.Step()) read.push_back(StandingOf(s, *this));
            s.Reset();
        }
        std::unordered_map<std::string, std::vector<const TStanding*>> byKey;
        for (const TStanding& st : read) {
            standing.emplace_back(&st, newest.Of(st.Finding.Block, st.Check));
            byKey[st.Finding.Key() + '\x1f' + st.Check].push_back(&st);
        }
        for (std::size_t i = 0; i < n; ++i) {
            if (!comparable[i]) continue;
            auto it = byKey.find(run.Found[i].Key() + '\x1f' + *checkOfFinding[i]);
            if (it == byKey.end()) continue;
            for (const TStanding* st : it->second)
                if (!st->Seen && st->Pos == pos[i] && SameFinding(st->Finding, run.Found[i])) {
                    st->Seen = true;
                    rows[i] = st;
                    break;
                }
        }
    }

    std::string blocks;
    for (std::int64_t b : blockOrder) blocks += (blocks.empty() ? "" : " ") + std::to_string(b);
    {
        TStmt s(Db,
                "INSERT INTO runs(id, date, version, standard, description, options, user, checks, checked, skipped,"
                " complete, merge, duration, findings, new, persisting, fixed, excepted, blocks, source)"
                " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                Path);
        s.Text(1, run.Id).Text(2, run.Date).Text(3, run.Version).Text(4, run.Standard).Text(5, run.Description);
        s.Text(6, run.Options).Text(7, run.User).Text(8, Joined(run.ChecksRan)).Text(9, Joined(run.Checked));
        s.Text(10, Joined(run.Skipped)).Int(11, run.Complete).Int(12, run.Merge).Real(13, run.Duration);
        s.Int(14, run.Findings).Int(15, run.New).Int(16, run.Persisting).Int(17, run.Fixed).Int(18, run.Excepted);
        s.Text(19, blocks);
        if (source.empty() || source == Path) s.Null(20); else s.Text(20, source);
        s.Run();
    }
    const std::int64_t serial = sqlite3_last_insert_rowid(Db);
    run.Serial = serial;

    std::unordered_set<std::int64_t> continued;
    {
        TStmt insert(Db,
                     "INSERT INTO findings(block, grp, number, code, kind, tbl, chk, pos, first_run, last_run,"
                     " first_new, since, text, detail) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                     Path);
        for (std::size_t i = 0; i < n; ++i) {
            const TRunFinding& f = run.Found[i];
            const TStanding* st = rows[i];
            if (st && comparable[i] && f.Status == "persisting" && st->Check == *checkOfFinding[i] && st->Pos == pos[i] &&
                SameFinding(st->Finding, f) && continued.insert(st->Row).second)
                continue;
            insert.Int(1, Intern(f.Block)).Text(2, f.Group).Opt(3, f.Number).Int(4, f.Code).Opt(5, f.Kind);
            insert.Text(6, f.Table).Int(7, Intern(*checkOfFinding[i])).Int(8, pos[i]).Int(9, serial);
            if (comparable[i]) insert.Null(10); else insert.Int(10, serial);
            insert.Int(11, f.Status == "new").Text(12, f.Since).Text(13, f.Text).Text(14, f.Detail);
            insert.Run();
        }
    }
    // What stood in the blocks and checks of this run and was not found again ends with the
    // run it stood in last (a run no longer kept: with its first).
    {
        TStmt close(Db, "UPDATE findings SET last_run = ? WHERE id = ?", Path);
        for (const auto& [st, last] : standing) {
            if (continued.count(st->Row) || !checked.count(st->Finding.Block) || !ran.count(st->Check)) continue;
            close.Int(1, last > 0 ? last : st->FirstRun).Int(2, st->Row).Run();
        }
    }
    {
        TStmt s(Db,
                "INSERT INTO others(run, seq, tag, block, grp, number, code, kind, tbl, status, since, text, detail)"
                " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)",
                Path);
        std::int64_t seq = 0;
        for (const auto& [tag, list] : {std::pair{"X", &run.Gone}, std::pair{"E", &run.Left}})
            for (const TRunFinding& f : *list) {
                s.Int(1, serial).Int(2, seq++).Text(3, tag).Int(4, Intern(f.Block)).Text(5, f.Group).Opt(6, f.Number);
                s.Int(7, f.Code).Opt(8, f.Kind).Text(9, f.Table).Text(10, f.Status).Text(11, f.Since).Text(12, f.Text);
                s.Text(13, f.Detail).Run();
            }
    }

    // The runs beyond the kept number go, with the findings that stood only in them and
    // those whose blocks and checks no kept run checked.
    std::vector<TRunRecord> all = prior;
    all.push_back(run);
    if (all.size() > kRunsKept) {
        const std::size_t cut = all.size() - kRunsKept;
        const std::int64_t oldest = all[cut].Serial;
        std::set<std::pair<std::string, std::string>> keptPairs, gonePairs;
        for (std::size_t i = 0; i < all.size(); ++i)
            for (const std::string& b : all[i].Checked)
                for (const std::string& c : all[i].ChecksRan) (i < cut ? gonePairs : keptPairs).emplace(b, c);
        TStmt stale(Db, "DELETE FROM findings WHERE last_run IS NULL AND block = ? AND chk = ?", Path);
        for (const auto& [b, c] : gonePairs) {
            if (keptPairs.count({b, c})) continue;
            const std::int64_t bid = Find(b), cid = Find(c);
            if (bid && cid) stale.Int(1, bid).Int(2, cid).Run();
        }
        for (const char* sql : {"DELETE FROM findings WHERE last_run IS NOT NULL AND last_run < ?",
                                "DELETE FROM others WHERE run < ?", "DELETE FROM runs WHERE serial < ?"}) {
            TStmt s(Db, sql, Path);
            s.Int(1, oldest).Run();
        }
    }
    TStmt(Db, "UPDATE meta SET value = CAST(value AS INTEGER) + 1 WHERE name = 'generation'", Path).Run();
}

namespace {

// A new database at path holding the run files (those that read; the others named in
// problems): built beside it and renamed into place.
void CreateHistory(const std::string& mapDir, std::vector<std::string>* problems) {
    const fs::path target = HistoryPath(mapDir);
    RefuseLinkedPath(HistoryDir(mapDir).parent_path(), ".vexa", "Záznam kontroly nebol uložený");
    std::error_code ec;
    fs::create_directories(HistoryDir(mapDir), ec);
    RemoveLeftovers(HistoryDir(mapDir));
    const fs::path temp = TempPathBeside(target);
    try {
        {
            THistory::TDb db;
            db.OpenFile(temp.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            db.Path = target.string();
            db.Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;");
            db.Exec("BEGIN");
            db.Exec(kSchema);
            db.Exec("INSERT INTO meta VALUES('format', '1'), ('generation', '0')");
            db.LoadNames();
            for (const fs::path& file : RunFiles(mapDir, problems)) {
                TRunRecord run;
                try {
                    run = ReadRun(file);
                } catch (const Exception& e) {
                    if (problems) problems->push_back(e.Message());
                    continue;
                }
                run.File = file.string();  // kept as the source of the run
                db.Append(run, nullptr);
            }
            db.Exec("COMMIT");
        }
        CommitReplacement(temp, target);
    } catch (const std::exception& e) {
        fs::remove(temp, ec);
        throw Exception("História kontrol sa nedá založiť\r(" + target.string() + ": " + e.what() + ")");
    }
}

}  // namespace

std::unique_ptr<THistory> THistory::Open(const std::string& mapDir, std::vector<std::string>& problems) {
    std::unique_ptr<THistory> h(new THistory);
    const fs::path path = HistoryPath(mapDir);
    try {
        RefuseLinkedPath(HistoryDir(mapDir).parent_path(), ".vexa", "História kontrol sa nečíta");
    } catch (const Exception& e) {
        problems.push_back(e.Message());
        return h;
    }
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        if (RunFiles(mapDir, nullptr).empty()) {
            RunFiles(mapDir, &problems);  // a linked .vexa/runs is said
            return h;
        }
        // The run files of an earlier version: taken over into the database, or, when it
        // cannot be made, into memory for this reading.
        try {
            THistoryLock lock(mapDir);
            if (!fs::exists(path, ec)) CreateHistory(mapDir, &problems);
        } catch (const Exception&) {
            auto db = std::make_unique<TDb>();
            db->OpenFile(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            db->Path = path.string();
            db->Exec(kSchema);
            db->Exec("INSERT INTO meta VALUES('format', '1'), ('generation', '-2')");
            db->LoadNames();
            for (const fs::path& file : RunFiles(mapDir, &problems)) {
                try {
                    TRunRecord run = ReadRun(file);
                    run.File = file.string();
                    db->Append(run, nullptr);
                } catch (const Exception& e) {
                    problems.push_back(e.Message());
                }
            }
            h->FDb = std::move(db);
            h->ReadMetadata();
            h->FGeneration = -2;  // never that of a written history
            return h;
        }
    }
    auto db = std::make_unique<TDb>();
    db->OpenFile(path.string(), SQLITE_OPEN_READONLY);
    db->Validate();
    h->FDb = std::move(db);
    h->ReadMetadata();
    return h;
}

THistory::~THistory() = default;

void THistory::ReadMetadata() {
    FRuns = FDb->Metadata();
    FGeneration = FDb->Generation();
}

void THistory::StandingStatuses(
    const std::function<void(const std::string& check, std::int64_t firstRun, bool firstNew, TRunFinding& f)>& each) {
    if (!FDb) return;
    TStmt s(FDb->Db,
            "SELECT block, grp, number, code, kind, chk, first_run, first_new, since FROM findings WHERE last_run IS NULL",
            FDb->Path);
    TRunFinding f;
    while (s.Step()) {
        f.Block = FDb->Name(s.ColInt(0));
        f.Group = s.ColText(1);
        f.Number = s.ColOpt(2);
        f.Code = static_cast<std::int32_t>(s.ColInt(3));
        f.Kind = s.ColOpt(4);
        f.Since = s.ColText(8);
        each(FDb->Name(s.ColInt(5)), s.ColInt(6), s.ColInt(7) != 0, f);
    }
}

std::int64_t THistory::FindingRows() {
    if (!FDb) return 0;
    TStmt s(FDb->Db, "SELECT count(*) FROM findings", FDb->Path);
    return s.Step() ? s.ColInt(0) : 0;
}

std::vector<std::pair<std::string, std::vector<TStanding>>> THistory::Standing() {
    std::vector<std::pair<std::string, std::vector<TStanding>>> out;
    if (!FDb) return out;
    TStmt s(FDb->Db, (std::string(kStandingColumns) + "WHERE last_run IS NULL ORDER BY block, pos").c_str(), FDb->Path);
    std::int64_t block = -1;
    while (s.Step()) {
        if (s.ColInt(1) != block) {
            block = s.ColInt(1);
            out.emplace_back(FDb->Name(block), std::vector<TStanding>{});
        }
        out.back().second.push_back(StandingOf(s, *FDb));
    }
    return out;
}

TRunRecord THistory::Load(const TRunRecord& meta, const std::string& onlyBlock) {
    return LoadRows(meta, onlyBlock, nullptr, false, nullptr);
}

TRunRecord THistory::LoadRows(const TRunRecord& meta, const std::string& onlyBlock, const TRunRecord* other,
                              bool skipOther, std::vector<char>* inOther) {
    TRunRecord run = meta;
    run.Found.clear(), run.Gone.clear(), run.Left.clear();
    if (!FDb || meta.Serial == 0) return run;
    const std::int64_t r = meta.Serial;
    std::unordered_map<std::int64_t, std::size_t> order;
    {
        TStmt s(FDb->Db, "SELECT blocks FROM runs WHERE serial = ?", FDb->Path);
        s.Int(1, r);
        if (!s.Step()) FDb->Fail("run " + meta.Id);
        std::istringstream in(s.ColText(0));
        for (std::int64_t b; in >> b;) order.emplace(b, order.size());
    }
    std::unordered_set<std::int64_t> checkedIds, checkIds;
    for (const std::string& b : meta.Checked)
        if (const std::int64_t id = FDb->Find(b)) checkedIds.insert(id);
    for (const std::string& c : meta.ChecksRan)
        if (const std::int64_t id = FDb->Find(c)) checkIds.insert(id);
    // Whether a row stands in the other run too.
    std::unordered_set<std::int64_t> otherChecked, otherChecks;
    if (other) {
        for (const std::string& b : other->Checked)
            if (const std::int64_t id = FDb->Find(b)) otherChecked.insert(id);
        for (const std::string& c : other->ChecksRan)
            if (const std::int64_t id = FDb->Find(c)) otherChecks.insert(id);
    }
    const std::int64_t o = other ? other->Serial : 0;
    const auto standsInOther = [&](std::int64_t first, std::int64_t last, std::int64_t block, std::int64_t check) {
        if (!other || first > o || (last != 0 && last < o)) return false;
        return first == o || last == o || (otherChecked.count(block) && otherChecks.count(check));
    };
    const std::int64_t only = onlyBlock.empty() ? 0 : FDb->Find(onlyBlock);
    if (!onlyBlock.empty() && !only) return run;
    std::vector<char> in;
    // The findings as the run found them: block by block in its order, each block's in its places.
    struct Place {
        std::size_t Order;
        std::int64_t Block;
        std::int64_t Pos;
        std::size_t Index;
    };
    std::vector<Place> places;
    std::vector<TRunFinding>& found = run.Found;
    if (!only) places.reserve(static_cast<std::size_t>(std::max(0, meta.Findings))), found.reserve(places.capacity());
    {
        std::string sql = "SELECT block, grp, number, code, kind, tbl, chk, pos, first_run, last_run, first_new, since,"
                          " text, detail FROM findings WHERE first_run <= ?1 AND (last_run IS NULL OR last_run >= ?1)";
        if (only) sql += " AND block = ?2";
        TStmt s(FDb->Db, sql.c_str(), FDb->Path);
        s.Int(1, r);
        if (only) s.Int(2, only);
        const std::string kNew = "new", kPersisting = "persisting";
        while (s.Step()) {
            const std::int64_t block = s.ColInt(0), first = s.ColInt(8);
            const std::int64_t last = s.IsNull(9) ? 0 : s.ColInt(9);
            if (first != r && last != r && !(checkedIds.count(block) && checkIds.count(s.ColInt(6)))) continue;
            if (other) {
                const bool both = standsInOther(first, last, block, s.ColInt(6));
                if (skipOther && both) continue;
                if (inOther) in.push_back(both);
            }
            auto at = order.find(block);
            places.push_back({at == order.end() ? order.size() : at->second, block, s.ColInt(7), found.size()});
            TRunFinding& f = found.emplace_back();
            f.Block = FDb->Name(block);
            f.Group = s.ColText(1);
            f.Number = s.ColOpt(2);
            f.Code = static_cast<std::int32_t>(s.ColInt(3));
            f.Kind = s.ColOpt(4);
            f.Table = s.ColText(5);
            f.Status = first == r && s.ColInt(10) != 0 ? kNew : kPersisting;
            f.Since = s.ColText(11);
            f.Text = s.ColText(12);
            f.Detail = s.ColText(13);
        }
    }
    const auto before = [](const Place& a, const Place& b) {
        return std::tie(a.Order, a.Block, a.Pos) < std::tie(b.Order, b.Block, b.Pos);
    };
    if (!std::is_sorted(places.begin(), places.end(), before)) {
        std::sort(places.begin(), places.end(), before);
        // Into that order in place, cycle by cycle (place k takes the finding read at Index).
        for (std::size_t i = 0; i < places.size(); ++i) {
            if (places[i].Index == i) continue;
            TRunFinding first = std::move(found[i]);
            const char firstIn = in.empty() ? 0 : in[i];
            for (std::size_t j = i;;) {
                const std::size_t from = places[j].Index;
                places[j].Index = j;
                if (from == i) {
                    found[j] = std::move(first);
                    if (!in.empty()) in[j] = firstIn;
                    break;
                }
                found[j] = std::move(found[from]);
                if (!in.empty()) in[j] = in[from];
                j = from;
            }
        }
    }
    if (inOther) *inOther = std::move(in);
    {
        std::string sql = "SELECT tag, block, grp, number, code, kind, tbl, status, since, text, detail FROM others"
                          " WHERE run = ?1";
        if (only) sql += " AND block = ?2";
        sql += " ORDER BY seq";
        TStmt s(FDb->Db, sql.c_str(), FDb->Path);
        s.Int(1, r);
        if (only) s.Int(2, only);
        while (s.Step()) {
            TRunFinding f{FDb->Name(s.ColInt(1)), s.ColText(2), s.ColOpt(3), static_cast<std::int32_t>(s.ColInt(4)),
                          s.ColOpt(5), s.ColText(7), s.ColText(8), s.ColText(9), s.ColText(6), s.ColText(10)};
            (s.ColText(0) == "X" ? run.Gone : run.Left).push_back(std::move(f));
        }
    }
    return run;
}

std::vector<TRunFinding> THistory::Compare(const TRunRecord& a, const TRunRecord& b) {
    // A finding that stands in both runs is the same row: persisting without a key. Only
    // b's findings that a lacks as rows and a's that b lacks are keyed, and the findings of
    // both of the same block and code as those.
    std::vector<char> inA;
    TRunRecord later = LoadRows(b, "", &a, false, &inA);
    TRunRecord earlier = LoadRows(a, "", &b, true, nullptr);  // a's findings not standing in b
    std::unordered_map<std::string, std::unordered_set<std::int32_t>> keyed;  // block → codes of the findings keyed
    for (std::size_t i = 0; i < later.Found.size(); ++i)
        if (!inA[i]) keyed[later.Found[i].Block].insert(later.Found[i].Code);
    for (const TRunFinding& f : earlier.Found) keyed[f.Block].insert(f.Code);
    const auto isKeyed = [&](const TRunFinding& f) {
        auto it = keyed.find(f.Block);
        return it != keyed.end() && it->second.count(f.Code) != 0;
    };
    std::unordered_set<std::string> keysA, keysB;
    for (const TRunFinding& f : earlier.Found) keysA.insert(f.Key());
    for (std::size_t i = 0; i < later.Found.size(); ++i) {
        const TRunFinding& f = later.Found[i];
        if (inA[i] && !isKeyed(f)) continue;
        const std::string k = f.Key();
        keysB.insert(k);
        if (inA[i]) keysA.insert(k);
    }
    for (const TRunFinding& f : later.Left) keysB.insert(f.Key());
    std::vector<TRunFinding> out;
    out.reserve(later.Found.size() + earlier.Found.size() + later.Left.size());
    for (std::size_t i = 0; i < later.Found.size(); ++i) {
        out.push_back(std::move(later.Found[i]));
        out.back().Status = inA[i] || keysA.count(out.back().Key()) ? "persisting" : "new";
    }
    // a's findings of checks b ran with the same limits; those of other checks b cannot tell.
    const std::unordered_map<std::string, std::string> checksA = ByBase(a.ChecksRan), checksB = ByBase(b.ChecksRan);
    const std::unordered_set<std::string> checkedB(b.Checked.begin(), b.Checked.end());
    const bool unknown = a.ChecksRan.empty() && b.ChecksRan.empty();  // runs that do not say
    for (TRunFinding& f : earlier.Found) {
        if (!checkedB.count(f.Block) || keysB.count(f.Key())) continue;
        const std::string base = CheckOf(f.Code, f.Text);
        const auto ca = checksA.find(base), cb = checksB.find(base);
        if (!unknown && (ca == checksA.end() || cb == checksB.end() || ca->second != cb->second)) continue;
        f.Status = "fixed";
        out.push_back(std::move(f));
    }
    for (TRunFinding& f : later.Left) {  // found by b and left out by an exception
        f.Status = "excepted";
        out.push_back(std::move(f));
    }
    return out;
}

void THistory::Append(const std::string& mapDir, TRunRecord& run, const TContinuation* continuation) {
    if (run.Date.empty()) run.Date = NowText();
    if (run.User.empty()) run.User = LoginName();
    THistoryLock lock(mapDir);
    const fs::path path = HistoryPath(mapDir);
    std::error_code ec;
    if (!fs::exists(path, ec)) CreateHistory(mapDir, nullptr);
    TDb db;
    db.OpenFile(path.string(), SQLITE_OPEN_READWRITE);
    db.Validate();
    try {
        db.Exec("BEGIN IMMEDIATE");
        db.Append(run, continuation);
        db.Exec("COMMIT");
    } catch (const std::exception& e) {
        sqlite3_exec(db.Db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw Exception("Záznam kontroly nebol uložený\r(" + path.string() + ": " + e.what() + ")");
    }
}

std::vector<TRunRecord> ListRuns(const std::string& mapDir, bool withFindings, std::vector<std::string>& problems) {
    try {
        std::unique_ptr<THistory> h = THistory::Open(mapDir, problems);
        if (!withFindings) return h->Runs();
        std::vector<TRunRecord> runs;
        for (const TRunRecord& r : h->Runs()) runs.push_back(h->Load(r));
        return runs;
    } catch (const Exception& e) {
        problems.push_back(e.Message());
        return {};
    }
}

TRunRecord LoadRun(const std::string& mapDir, const TRunRecord& run) {
    std::vector<std::string> problems;
    std::unique_ptr<THistory> h = THistory::Open(mapDir, problems);
    for (const TRunRecord& r : h->Runs())
        if (r.Id == run.Id) return h->Load(r);
    throw Exception("Kontrola " + run.Id + " nie je v histórii\r(" + HistoryPath(mapDir).string() + ")");
}

void SaveRun(const std::string& mapDir, TRunRecord& run) { THistory::Append(mapDir, run, nullptr); }

}  // namespace vexa::review
