#include "review/Exceptions.h"

#include "standard/FindingColumns.h"

#include "common/Utf8.h"

#include "common/AtomicFile.h"
#include "common/Exception.h"
#include "common/FileNames.h"
#include "common/MapFiles.h"
#include "common/Text.h"
#include "dbase/TableDBF.h"
#include "review/Fingerprint.h"
#include "review/RunHistory.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace vexa::review {

namespace fs = std::filesystem;

namespace {

// The width of the reason's field.
constexpr std::size_t kReasonWidth = 254;

// Waits this long for another program's change of the exceptions.
constexpr int kLockWaitMs = 5000;

class ExceptionsLock {
public:
    explicit ExceptionsLock(const std::string& mapDir) {
        const fs::path dir = HistoryDir(mapDir);
        // Neither the folder nor the lock is followed through a link to elsewhere.
        RefuseLinkedPath(dir.parent_path(), dir.filename(), "Zámok výnimiek sa nedá vytvoriť");
        std::error_code ec;
        fs::create_directories(dir, ec);
        const std::string path = (dir / "vynimky.lock").string();
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
        if (fd_ < 0) throw Exception("Zámok výnimiek sa nedá vytvoriť\r(" + path + ")");
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (std::chrono::steady_clock::now() >= end) {
                ::close(fd_);
                throw Exception("Výnimky práve mení iný program, skúste znova\r(" + ExceptionsPath(mapDir) + ")");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~ExceptionsLock() {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    ExceptionsLock(const ExceptionsLock&) = delete;
    ExceptionsLock& operator=(const ExceptionsLock&) = delete;

private:
    int fd_ = -1;
};

std::optional<std::string> TextOf(const TValue& v) {
    if (auto s = std::get_if<std::string>(&v)) return *s;
    return std::nullopt;
}
TValue Num(const std::optional<std::int32_t>& v) {
    if (!v) return std::monostate{};
    return static_cast<double>(*v);
}

void Write(const std::string& mapDir, const std::vector<TReviewException>& rows) {
    const fs::path target = ExceptionsPath(mapDir);
    // A table the user made read-only stays as it is (mode bits: root could write it anyway).
    if (ReadOnlyByMode(target))
        throw Exception("Tabuľka výnimiek je len na čítanie; Vexa ju nezmenila\r(" + target.string() + ")");
    const fs::path temp = TempPathBeside(target);
    try {
        TTableDBF::CreateTable(temp.string(), ExceptionFields(), 1250);
        TTableDBF table;
        table.SetTableName(temp.string());
        table.Open();
        for (const TReviewException& e : rows) {
            table.AppendRecord({e.Block, e.Layer ? TValue(*e.Layer) : TValue{}, e.Group, Num(e.Kind), Num(e.Number),
                                static_cast<double>(e.Code), CutUtf8(e.Text, 254), e.Fingerprint,
                                CutUtf8(e.Reason, 254), CutUtf8(e.User, 32), e.Date, CutUtf8(e.Table, 64)});
        }
        table.Close();
        CommitReplacement(temp, target);
    } catch (const std::exception& ex) {
        std::error_code ec;
        fs::remove(temp, ec);
        throw Exception("Tabuľka výnimiek nebola uložená\r(" + target.string() + ": " + ex.what() + ")");
    }
}

}  // namespace

std::string FindingKey(const std::string& block, const std::string& group, std::optional<std::int32_t> number,
                       std::int32_t code, std::optional<std::int32_t> kind, const std::string& table) {
    // A name that is not UTF-8 is keyed as printed (\xHH), so that the name as vexa-check
    // prints it, as Chyby.DBF and Vynimky.DBF hold it and as the block is on disk are one.
    return EscapeInvalidUtf8(block) + "|" + group + "|" + (number ? std::to_string(*number) : "") + "|" + std::to_string(code) + "|" +
           (kind ? std::to_string(*kind) : "") + "|" + LowerAscii(table);
}

std::string TableOfText(const std::string& text) {
    // "DB %s neexistuje"
    const std::string head = "DB ", tail = " neexistuje";
    if (text.size() <= head.size() + tail.size() || text.compare(0, head.size(), head) != 0 ||
        text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
        return "";
    return text.substr(head.size(), text.size() - head.size() - tail.size());
}

TFldDefList ExceptionFields() {
    // The finding's columns as the table of finding columns gives them, then the exception's own.
    TFldDefList fields;
    for (TFindingColumn c : kExceptionColumns) {
        const TFindingColumnDef& def = ColumnDef(c);
        fields.push_back(TTableDBF::MakeField(def.DbfName, def.DbfType, def.Width, 0));
    }
    for (TFldDef& f : TFldDefList{
             TTableDBF::MakeField("Odtlacok", TFldType::dbfChar, 16, 0),
             TTableDBF::MakeField("Dovod", TFldType::dbfChar, 254, 0),
             TTableDBF::MakeField("Pouzivatel", TFldType::dbfChar, 32, 0),
             TTableDBF::MakeField("Datum", TFldType::dbfDate, 8, 0),
             TTableDBF::MakeField("Tabulka", TFldType::dbfChar, 64, 0),
         })
        fields.push_back(std::move(f));
    return fields;
}

std::string ExceptionsPath(const std::string& mapDir) {
    return ResolveIgnoreCase(fs::path(mapDir.empty() ? std::string(".") : mapDir), kExceptionsFileName).string();
}

std::vector<TReviewException> LoadExceptions(const std::string& mapDir) {
    const std::string path = ExceptionsPath(mapDir);
    std::error_code ec;
    if (!fs::exists(path, ec)) return {};
    const std::string damaged = "Tabuľka výnimiek je poškodená alebo cudzia\r(" + path + ")";
    std::vector<TReviewException> rows;
    try {
        TTableDBF table;
        table.SetTableName(path);
        table.Open();
        TFldDefList fields;
        table.GetFields(fields);
        const TFldDefList expected = ExceptionFields();
        // A table of an earlier version lacks the last column.
        if (fields.size() != expected.size() && fields.size() + 1 != expected.size()) throw Exception(damaged);
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (!SameTextAscii(fields[i].Name, expected[i].Name) || fields[i].FieldType != expected[i].FieldType)
                throw Exception(damaged);
        std::vector<TValue> v;
        for (table.First(); !table.Eof(); table.Next()) {
            table.GetRowValues(v);
            TReviewException e;
            e.Block = TextOf(v[0]).value_or("");
            e.Layer = TextOf(v[1]);
            e.Group = TextOf(v[2]).value_or("");
            e.Kind = IntegerOf(v[3]);
            e.Number = IntegerOf(v[4]);
            e.Code = IntegerOf(v[5]).value_or(0);
            e.Text = TextOf(v[6]).value_or("");
            e.Fingerprint = TextOf(v[7]).value_or("");
            e.Reason = TextOf(v[8]).value_or("");
            e.User = TextOf(v[9]).value_or("");
            if (auto d = std::get_if<TDate>(&v[10])) e.Date = *d;
            e.Table = v.size() > 11 ? Trim(TextOf(v[11]).value_or("")) : std::string();
            if (e.Table.empty() && !e.Number) e.Table = TableOfText(e.Text);
            rows.push_back(std::move(e));
        }
        table.Close();
    } catch (const std::exception& ex) {
        const std::string what = ex.what();
        throw Exception(what == damaged ? damaged : damaged.substr(0, damaged.size() - 1) + ": " + what + ")");
    }
    return rows;
}

void AddException(const std::string& mapDir, const TReviewException& exception) {
    AddExceptions(mapDir, {exception});
}

void AddExceptions(const std::string& mapDir, const std::vector<TReviewException>& exceptions) {
    // The table keeps 254 characters of a reason: a longer one is refused, never cut.
    for (const TReviewException& exception : exceptions) {
        std::size_t characters = 0;
        for (const char c : exception.Reason)
            if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
        if (characters > kReasonWidth)
            throw Exception(Format("Dôvod výnimky má %zu znakov, tabuľka výnimiek ich uchová najviac %zu; skráťte ho.",
                                   characters, kReasonWidth));
    }
    if (exceptions.empty()) return;
    // The last of each finding among the new ones.
    std::unordered_map<std::string, std::size_t> latest;
    for (std::size_t i = 0; i < exceptions.size(); ++i) latest[exceptions[i].Key()] = i;
    ExceptionsLock lock(mapDir);
    std::vector<TReviewException> rows = LoadExceptions(mapDir);
    std::erase_if(rows, [&](const TReviewException& e) { return latest.count(e.Key()) != 0; });
    for (std::size_t i = 0; i < exceptions.size(); ++i)
        if (latest.at(exceptions[i].Key()) == i) rows.push_back(exceptions[i]);
    Write(mapDir, rows);
}

bool RemoveException(const std::string& mapDir, const std::string& key) { return RemoveExceptions(mapDir, {key}) > 0; }

std::size_t RemoveExceptions(const std::string& mapDir, const std::vector<std::string>& keys) {
    const std::unordered_set<std::string> gone(keys.begin(), keys.end());
    ExceptionsLock lock(mapDir);
    std::vector<TReviewException> rows = LoadExceptions(mapDir);
    const std::size_t removed = std::erase_if(rows, [&](const TReviewException& e) { return gone.count(e.Key()) != 0; });
    if (removed > 0) Write(mapDir, rows);
    return removed;
}

std::string FindingText(const std::string& block, const std::string& group, std::optional<std::int32_t> number,
                        std::int32_t code) {
    return block + " " + group + ":" + (number ? std::to_string(*number) : "-") + " kód " + std::to_string(code);
}

TReviewException MakeException(const std::string& mapDir, const std::string& block, std::optional<std::string> layer,
                               const std::string& group, std::optional<std::int32_t> kind,
                               std::optional<std::int32_t> number, std::int32_t code, const std::string& text,
                               const std::string& reason, TFingerprints* fingerprints) {
    const std::optional<std::string> fp = fingerprints ? fingerprints->Of(mapDir + block, group, number)
                                                       : ElementFingerprint(mapDir + block, group, number);
    if (!fp) throw Exception("Prvok chyby " + FindingText(block, group, number, code) + " už neexistuje");
    TReviewException e;
    e.Block = EscapeInvalidUtf8(block);  // code page 1250 takes no stray bytes
    e.Layer = std::move(layer);
    e.Group = group;
    e.Kind = kind;
    e.Number = number;
    e.Code = code;
    e.Text = text;
    e.Fingerprint = *fp;
    e.Reason = reason;
    e.User = LoginName();
    e.Date = Today();
    return e;
}

std::optional<std::int32_t> IntegerOf(const TValue& v) {
    if (auto d = std::get_if<double>(&v)) return static_cast<std::int32_t>(*d);
    return std::nullopt;
}

std::string LoginName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return pw->pw_name;
    if (const char* user = std::getenv("USER")) return user;
    return "?";
}

TDate Today() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

}  // namespace vexa::review
