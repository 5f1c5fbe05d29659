#pragma once
// The report of a check run: one self-contained HTML page (styles inline, pictures as
// data: PNG, no script, nothing outside the file) that prints on A4. The run fills a
// TReport; pictures come from callers, so this module does no drawing itself.
#include "standard/ErrorRecord.h"
#include "standard/Findings.h"

#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace vexa::report {

// A finding with what the table does not hold: its place and the value measured.
struct TReportFinding {
    TErrorRecord Record;
    std::optional<double> X, Y;          // map coordinates of its place
    std::optional<double> Value, Limit;  // measured length or area, and the limit
    std::string Detail;                  // a table finding's table and what it found wrong
};

struct TReportBlock {
    std::string Name;        // as in Chyby.DBF: "LE_00001.blk"
    bool Checked = false;
    std::string SkipReason;  // why it was not checked ("" when checked)
    // Its stored extent as the run's passes read it; none when they did not read it all
    // (the overview then reads the block).
    std::optional<TStoredExtent> Extent{};
};

struct TReportException {
    std::string Block;
    char Group = 'L';
    int Number = 0;
    int Code = 0;
    std::string Text, Reason, User, Date;
    bool Valid = true;  // the element is still as it was when excepted
    std::string Why;    // why it no longer holds ("prvok sa zmenil", "prvok už neexistuje")
};

// Counts against the previous run of the same blocks, when a history is kept.
struct TReportHistory {
    int New = 0, Persisting = 0, Fixed = 0, Excepted = 0;
    std::vector<TReportFinding> FixedFindings;
};

// How many findings of a block the report lists: every one, or the first N and a line
// with how many more are in the error table; 0 lists none (the summary alone).
inline constexpr int kAllFindings = std::numeric_limits<int>::max();
// The default keeps a 300-block map's report of some 190,000 findings within 8 MB.
inline constexpr int kDefaultReportFindings = 20;

// "all" or a count from 0: the number of findings per block; nothing for other text.
std::optional<int> ParseFindingsPerBlock(const std::string& text);
// The count in the words of ParseFindingsPerBlock ("all" or the number).
std::string FindingsPerBlockText(int perBlock);

struct TReport {
    std::string MapDir;
    std::string User;     // who ran the check: the sign-off's default name
    std::string Started;  // date and time of the start, as the user reads it
    double Seconds = 0;   // duration
    std::string Version;  // Vexa's
    std::string StandardFile, StandardDescription, StandardDate;
    std::vector<std::string> Options;  // every option and limit in words
    bool Stopped = false;              // the user stopped the run
    std::vector<TReportBlock> Blocks;  // every block of the map: checked or skipped, and why
    std::vector<TReportFinding> Findings;
    std::optional<TReportHistory> History;
    std::vector<TReportException> Exceptions;
    std::vector<std::string> Repairs;  // attribute tables rewritten, each with what changed
    std::string OverviewPng;           // PNG bytes of the whole map with its findings; "" for none
    int FindingsPerBlock = kAllFindings;  // findings listed per block (and fixed ones per block)

    // Complete: not stopped and every block checked.
    bool Complete() const;
};

// PNG bytes of a finding's thumbnail (its element marked in its surroundings); "" for none.
using TThumbnail = std::function<std::string(const TReportFinding&)>;

// The page as text. Thumbnails are drawn for the first maxImages findings (in report
// order); the rest are listed without.
std::string HtmlReport(const TReport& report, const TThumbnail& thumbnail, int maxImages);

// Writes the page beside path and renames it over path when complete. Throws
// vexa::Exception naming the file when it cannot be written (nothing half-written left).
void WriteHtmlReport(const TReport& report, const std::string& path, const TThumbnail& thumbnail, int maxImages);

// Refuses (vexa::Exception) a report path that cannot be written, before the run:
// a directory, a missing or read-only folder.
void CheckReportPath(const std::string& path);

// Text with the characters of markup escaped (&, <, >, quotes).
std::string HtmlEscape(const std::string& text);

// Base64 of bytes (RFC 4648, padded).
std::string Base64(const std::string& bytes);

}  // namespace vexa::report
