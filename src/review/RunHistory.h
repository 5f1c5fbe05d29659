#pragma once
// The history of check runs of a map: one file per run in the hidden folder .vexa/runs of
// the map directory (the GIS lists no hidden folder), the last kRunsKept runs kept.
//
// A run file is UTF-8 text, one item a line, fields separated by tabs (a tab, a line
// break or a backslash inside a field is written \t, \n, \r, \\):
//   vexa-run<TAB>1                      first line
//   <key><TAB><value>...                the run's metadata (id, date, version, standard,
//                                       description, options, user, checks, checked, skipped,
//                                       complete, merge, duration, findings, new, persisting,
//                                       fixed, excepted)
//   F|X|E<TAB>block<TAB>group<TAB>number<TAB>code<TAB>kind<TAB>status<TAB>since<TAB>text
//        [<TAB>table<TAB>detail]        (a table finding's table and what it found wrong;
//                                       files of earlier versions lack both)
//                                       a finding of the run (F), a finding of the previous
//                                       run that is gone (X, fixed), a finding left out by a
//                                       valid exception (E)
// A file that does not read so is left as it is and named in a message.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vexa::review {

inline constexpr std::size_t kRunsKept = 20;

// "<map>/.vexa", where the history and the exceptions' lock live.
std::filesystem::path HistoryDir(const std::string& mapDir);

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
    std::string File;                    // where it was read from or written to
    bool Checks(const std::string& block) const;
};

// The kept runs, oldest first. withFindings false reads only the metadata. A run file
// that cannot be read is left out and named in problems.
std::vector<TRunRecord> ListRuns(const std::string& mapDir, bool withFindings, std::vector<std::string>& problems);

// One run file whole; raises vexa::Exception naming the file when it cannot be read.
TRunRecord ReadRun(const std::filesystem::path& file, bool withFindings = true);

// Writes the run (Id, Date and File set here when empty) through a temporary file
// renamed into place, then removes the readable runs beyond the newest kRunsKept.
// Raises vexa::Exception naming the file when it cannot be written.
void SaveRun(const std::string& mapDir, TRunRecord& run);

// "YYYY-MM-DD HH:MM:SS" and the id of the present moment.
std::string NowText();
std::string NewRunId();

}  // namespace vexa::review
