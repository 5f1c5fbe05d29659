#pragma once
// The history of check runs of a map: an SQLite database .vexa/historia.sqlite in the
// map directory (the GIS lists no hidden folder), the last kRunsKept runs kept.
//
// A finding is one row kept for the interval of runs in which it stood: from the run that
// found it first (first_run) to the last run that found it (last_run; none while the
// newest run of its block that ran its check still finds it). A run that finds what the
// one before found writes only its own row of metadata; the status of a finding (new,
// persisting since a date) and what is gone are read from the intervals, by integer keys.
//   runs      one row a run: its metadata (id, date, version, standard, description,
//             options, user, checks, checked, skipped, complete, merge, duration, counts)
//             and the order of its blocks' findings
//   names     the block and check names, interned
//   findings  block, group, number, code, kind, table, the check that found it (with its
//             limit), its place among its block's findings, first_run, last_run, whether it
//             was new in first_run, since, text, detail
//   others    per run the findings of the run before that are gone (X, fixed) and those a
//             valid exception left out (E), whole
// A finding of a run is a row whose interval holds the run and whose block and check the
// run checked (or whose interval begins or ends with it). Runs beyond the kept number go
// with the rows that stood only in them.
//
// The history of earlier versions, one text file a run in .vexa/runs (ReadRun,
// WriteRunFile), is taken over into the database the first time it is opened and left in
// place. A database or run file that does not read is named in a message and left as it
// is. Every write is one transaction under the history's lock (.vexa/historia.lock).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexa::review {

inline constexpr std::size_t kRunsKept = 20;

// "<map>/.vexa", where the history and the exceptions' lock live.
std::filesystem::path HistoryDir(const std::string& mapDir);
// "<map>/.vexa/historia.sqlite".
std::filesystem::path HistoryPath(const std::string& mapDir);

struct TRunFinding {
    std::string Block;
    std::string Group;
    std::optional<std::int32_t> Number;
    std::int32_t Code = 0;
    std::optional<std::int32_t> Kind;
    std::string Status;  // "new", "persisting", "fixed", "excepted"
    std::string Since;   // date of the run that first found it (new: this run's)
    std::string Text;
    std::string Table{};   // a table finding's attribute table ("" for an element's)
    std::string Detail{};  // what a table finding found wrong
    std::string Key() const;
    bool operator==(const TRunFinding&) const = default;
};

struct TRunRecord {
    std::string Id;           // sortable: YYYYMMDD-HHMMSS-mmm
    std::string Date;         // "YYYY-MM-DD HH:MM:SS", local time
    std::string Version;      // of the program that ran it
    std::string Standard;     // the standard's file
    std::string Description;  // and its description
    std::string Options;      // masks and limits, as OptionsText gives them
    std::string User;         // who ran it (login name; "" in files of earlier versions)
    std::vector<std::string> ChecksRan;  // the checks that ran, as ChecksRun gives them (from
                                         // Options for a file of an earlier version)
    std::vector<std::string> Checked;  // blocks that went through the passes
    std::vector<std::string> Skipped;  // "<block>: <why>"
    bool Complete = false;    // every selected block checked, not stopped
    bool Merge = false;       // only the checked blocks' rows of Chyby.DBF were replaced
    double Duration = 0;      // seconds
    int Findings = 0;         // reported (Found's size; kept also when only the metadata is read)
    int New = 0, Persisting = 0, Fixed = 0, Excepted = 0;
    std::vector<TRunFinding> Found;      // F
    std::vector<TRunFinding> Gone;       // X
    std::vector<TRunFinding> Left;       // E
    std::string File;                    // the database (or run file) it was read from or written to
    std::int64_t Serial = 0;             // its key in the database (0: not read from it)
    bool Checks(const std::string& block) const;
};

// The kept runs, oldest first. withFindings false reads only the metadata. A history that
// cannot be read is named in problems (and so is a run file of an earlier version that
// cannot be taken over).
std::vector<TRunRecord> ListRuns(const std::string& mapDir, bool withFindings, std::vector<std::string>& problems);

// The findings of a kept run (one of ListRuns); raises vexa::Exception naming the
// database when it cannot be read.
TRunRecord LoadRun(const std::string& mapDir, const TRunRecord& run);

// A run file of an earlier version whole; raises vexa::Exception naming the file when it
// cannot be read.
TRunRecord ReadRun(const std::filesystem::path& file, bool withFindings = true);
// Writes a run as a run file of an earlier version (for the takeover's tests and for
// handing a run to such a version). Raises vexa::Exception naming the file.
void WriteRunFile(const std::filesystem::path& file, const TRunRecord& run);

// Adds the run (Id, Date, User and File set here when empty) to the history in one
// transaction, then lets the runs beyond the newest kRunsKept go. Each finding continues
// the interval of a finding of the newest run of its block that ran its check when it is
// the same (status persisting, same since, text, detail and place). Raises
// vexa::Exception naming the database when it cannot be written; the history stays as it was.
void SaveRun(const std::string& mapDir, TRunRecord& run);

// How long a writer waits for another one's lock of the history (milliseconds; 10000 by
// default) before it gives up with a message.
void SetHistoryLockWait(int ms);

// "YYYY-MM-DD HH:MM:SS" and the id of the present moment.
std::string NowText();
std::string NewRunId();

// A finding standing in the newest run of its block that ran its check: a row of the
// history whose interval is open. A run reads them to tell its findings' statuses.
struct TStanding {
    std::int64_t Row = 0;
    std::int64_t FirstRun = 0;
    bool FirstNew = false;
    int Pos = 0;            // its place among its block's findings
    std::string Check;      // with its limit
    TRunFinding Finding;    // Status not set; Since as kept (may be "" from an earlier version)
    mutable bool Seen = false;  // found again by the run reading it
    mutable const TStanding* SameKey = nullptr;  // the run's next standing finding of the same key
};

// What a run that read the standing findings hands to its write: for each of its
// findings the standing one it continues (or none), and every standing finding of its
// blocks and checks with the serial of the run it stood in last.
struct TContinuation {
    std::int64_t Generation = -1;  // of the history read; another write since voids the rest
    std::vector<const TStanding*> Rows;
    std::vector<std::pair<const TStanding*, std::int64_t>> Standing;
};

// The map's history open: for reading, or for a write under its lock.
class THistory {
public:
    // Opens the database for reading; when there is none, takes the run files of an
    // earlier version over into one (or, when it cannot be written, into memory). An empty
    // history when there is neither. Raises vexa::Exception naming the database when it
    // cannot be read.
    static std::unique_ptr<THistory> Open(const std::string& mapDir, std::vector<std::string>& problems);
    ~THistory();
    THistory(const THistory&) = delete;
    THistory& operator=(const THistory&) = delete;

    // The kept runs' metadata, oldest first.
    const std::vector<TRunRecord>& Runs() const { return FRuns; }
    // A kept run's findings (Found, Gone, Left). block: only that block's ("" all).
    TRunRecord Load(const TRunRecord& run, const std::string& block = "");
    // CompareRuns of two kept runs, from their rows: what stands in both is persisting
    // without a key formed.
    std::vector<TRunFinding> Compare(const TRunRecord& a, const TRunRecord& b);
    // The standing findings, by block name.
    std::vector<std::pair<std::string, std::vector<TStanding>>> Standing();
    // Each standing finding's block, group, number, code, kind and since (the rest not read),
    // with its check, first run and whether it was new in it.
    void StandingStatuses(
        const std::function<void(const std::string& check, std::int64_t firstRun, bool firstNew, TRunFinding& f)>& each);
    // The count of writes to the history; changes with every run added.
    std::int64_t Generation() const { return FGeneration; }
    // Rows of the findings table (for the growth of the history).
    std::int64_t FindingRows();

    // Adds a run under the history's lock (see SaveRun). continuation: what the run read,
    // to write without reading the standing findings again (void when another write came
    // between).
    static void Append(const std::string& mapDir, TRunRecord& run, const TContinuation* continuation = nullptr);

    struct TDb;

private:
    THistory() = default;
    void ReadMetadata();
    // Load; with other, also whether each finding stands in that run (inOther, in the order
    // of the findings) or (skipOther) only those that do not.
    TRunRecord LoadRows(const TRunRecord& meta, const std::string& block, const TRunRecord* other, bool skipOther,
                        std::vector<char>* inOther);
    std::unique_ptr<TDb> FDb;
    std::vector<TRunRecord> FRuns;
    std::int64_t FGeneration = 0;
};

}  // namespace vexa::review
