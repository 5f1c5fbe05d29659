#pragma once
// What a check run remembers: it leaves out the findings that a valid exception covers,
// gives every other finding its status against the previous run of its block (new or
// persisting since a date), tells the exceptions that no longer hold, and records the run
// in the map's history with the findings of the previous run that are gone (fixed).
//
// It stands in front of a run's outputs (run/RunOutputs.h): each finding is judged first,
// so that a left-out finding reaches neither the error table nor any output.
#include "review/Exceptions.h"
#include "review/RunHistory.h"
#include "standard/Findings.h"

#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace vexa {
class TBlk;
}

namespace vexa::review {

struct TReviewSettings {
    bool UseExceptions = true;  // false: every finding is reported as if none were kept
    bool Merge = false;         // only the checked blocks' rows of Chyby.DBF are replaced
    std::string Version;        // of the program
    std::string Standard;       // the standard's file
    std::string Description;    // and its description
};

// The status of a finding against the previous run.
struct TFindingStatus {
    std::string Status;  // "new" or "persisting"
    std::string Since;   // the date of the run that first found it
};

// Counts of a run against the previous runs of its blocks.
struct TReviewCounts {
    int New = 0, Persisting = 0, Fixed = 0, Excepted = 0;
};

// "Nové: n, trvajúce: n, opravené: n, výnimky: n."
std::string CountsMessage(const TReviewCounts& counts);

// The masks and limits of a run as one text; runs compare their findings only with runs
// of the same text.
std::string OptionsText(unsigned db, unsigned lines, unsigned points, unsigned texts, unsigned areas,
                        double lengthLimit, double areaLimit);

// The masks and limits of a run as OptionsText wrote them.
struct TRunOptions {
    unsigned Db = 0, Lines = 0, Points = 0, Texts = 0, Areas = 0;
    double LengthLimit = 0, AreaLimit = 0;
};
// Nothing when the text is not one OptionsText writes.
std::optional<TRunOptions> ParseOptionsText(const std::string& text);

// The checks a run with these masks and limits runs, one name each: the code of each kind
// of finding asked for ("-12"), a limit check with its limit ("-15@50"), and for the
// attribute tables each of the three checks apart ("-91:missing" with any database bit,
// "-91:structure" and "-91:fill" with the contents test).
std::vector<std::string> ChecksRun(unsigned db, unsigned lines, unsigned points, unsigned texts, unsigned areas,
                                   double lengthLimit, double areaLimit);
// The same from an options text; none for a text that does not read.
std::vector<std::string> ChecksOfOptions(const std::string& options);
// The check (without its limit) that writes a finding of this code and text: "-12",
// "-15", "-91:structure".
std::string CheckOf(std::int32_t code, const std::string& text);
// A check's name without its limit ("-15@50" → "-15").
std::string CheckBase(const std::string& check);
// Whether checks (names with limits) holds the check that writes the finding.
bool RanCheckOf(const std::vector<std::string>& checks, std::int32_t code, const std::string& text);

class TRunReview {
public:
    // Reads the exceptions and the history's metadata; what cannot be read is said in
    // Problems() and the run goes on without it.
    TRunReview(std::string mapDir, TReviewSettings settings);
    ~TRunReview();

    const TReviewSettings& Settings() const { return FSettings; }
    // Messages of a damaged exceptions table or history, said as the run begins.
    const std::vector<std::string>& Problems() const { return FProblems; }

    // The run begins: options as OptionsText. Release lets go of what the run read for
    // its judgements (also at the destruction).
    void Begin(const std::string& options);
    void Release();

    // Judges a finding of the run: false when a valid exception leaves it out (its reason
    // in exceptionReason); else gives the finding its Status and Since, to be handed on.
    bool Judge(TFinding& finding, std::string& exceptionReason);
    // The elements of the exceptions (null when none): the passes take their fingerprints
    // from the block they have open, so that no block is opened again for them.
    const TFingerprintWish* FingerprintsWanted() const;
    void ElementFingerprinted(const TElementFingerprint& element);
    // The fingerprint of an element as a pass of this run found it: none inside when the
    // element does not exist, none at all when no pass looked at it.
    std::optional<std::optional<std::string>> FingerprintSeen(const std::string& block, const std::string& group,
                                                              std::optional<std::int32_t> number) const;

    // Exceptions found no longer valid during the run, one message each.
    std::vector<std::string> TakeNotes();

    // The run ended: records it in the history (a failure to write is returned as a
    // message, the run stands). checked: the blocks that went through the passes.
    // Returns the message of a failed write, else "".
    std::string Finish(const std::vector<std::string>& checked, const std::vector<std::string>& skipped, bool complete);

    const TReviewCounts& Counts() const { return FCounts; }
    const TRunRecord& Run() const { return FRun; }

private:
    struct Previous;
    const Previous& PreviousOf(const std::string& block);
    std::optional<std::string> Fingerprint(const std::string& block, const std::string& group,
                                           std::optional<std::int32_t> number);

    std::string FMapDir;
    TReviewSettings FSettings;
    std::vector<std::string> FProblems;
    std::vector<std::string> FNotes;
    std::unordered_map<std::string, TReviewException> FExceptions;  // by finding key
    std::vector<TRunRecord> FHistory;                                // metadata, oldest first
    std::unique_ptr<THistory> FHistoryDb;                            // the history read
    std::int64_t FGeneration = -1;                                   // of FHistory
    std::map<std::string, std::unique_ptr<Previous>> FPrevious;      // by block
    // The findings standing in the history, by block: read meanwhile by another thread.
    std::future<std::vector<std::pair<std::string, std::vector<TStanding>>>> FStandingLoad;
    bool FStandingRead = false;
    std::unordered_map<std::string, std::vector<TStanding>> FStanding;
    std::vector<const TStanding*> FContinues;  // for each of FRun.Found, the standing finding it continues
    std::string FOptions;
    std::vector<std::string> FChecks;  // of FOptions
    std::set<std::string> FExceptedKeys;
    TReviewCounts FCounts;
    TRunRecord FRun;
    std::chrono::steady_clock::time_point FStart;
    std::string FOpenBlock;
    std::unique_ptr<TBlk> FBlk;
    TFingerprintWish FWish;                                          // the exceptions' elements
    std::unordered_map<std::string, std::optional<std::string>> FSeen;  // by SeenKey, from the passes
};

// The statuses of findings, looked up by their columns without forming a text per finding
// (the error browser looks up every row at every filter): by block, then by group, number,
// code and kind. Each status comes with its text for the browser ("nová", "trvá od D.M.RRRR
// HH:MM").
class TStatusIndex {
public:
    void Add(const TRunFinding& finding);
    struct TEntry {
        TFindingStatus Status;
        const std::string* Text = nullptr;  // owned by the index
    };
    const TEntry* Find(const std::string& block, const std::string& group, std::optional<std::int32_t> number,
                       std::int32_t code, std::optional<std::int32_t> kind) const;
    std::size_t Size() const { return FSize; }
    bool HasBlock(const std::string& block) const { return FByBlock.count(block) != 0; }

private:
    struct Id {
        char Group = 0;
        bool HasNumber = false, HasKind = false;
        std::int32_t Number = 0, Code = 0, Kind = 0;
        bool operator==(const Id&) const = default;
    };
    struct IdHash {
        std::size_t operator()(const Id& id) const;
    };
    using Block = std::unordered_map<Id, TEntry, IdHash>;
    static Id MakeId(const std::string& group, std::optional<std::int32_t> number, std::int32_t code,
                     std::optional<std::int32_t> kind);
    std::unordered_map<std::string, Block> FByBlock;
    std::map<std::string, std::string> FTexts;  // by since date; "" for new
    std::size_t FSize = 0;
    mutable const std::string* FLastName = nullptr;  // the block found last: rows come block by block
    mutable const Block* FLast = nullptr;
};

// The status of each finding of a table by the newest run of its block that ran its check
// (for the error browser). Runs that cannot be read are named in problems.
TStatusIndex LatestStatuses(const std::string& mapDir, std::vector<std::string>& problems);

// The findings of a block like this one (group, number, code and text), in the order the
// newest run of the block that ran their check found them: for a row of the error table,
// which has no room for its attribute table, its table and detail (the row's place among
// the rows like it). Runs that cannot be read are passed over.
std::vector<TRunFinding> LatestFindingsLike(const std::string& mapDir, const std::string& block,
                                            const std::string& group, std::optional<std::int32_t> number,
                                            std::int32_t code, const std::string& text);

// Compares two runs: b's findings that a has are persisting, those a lacks are new, and
// a's findings of the blocks b checked, of checks b ran with the same limits, that b lacks
// (and did not leave out by an exception) are fixed; b's findings left out by an exception
// follow as excepted.
std::vector<TRunFinding> CompareRuns(const TRunRecord& a, const TRunRecord& b);
// The same, taking the findings of both (no copies).
std::vector<TRunFinding> CompareRuns(TRunRecord&& a, TRunRecord&& b);

// After a complete run without findings, the notice the browser shows over an older
// table: "" when the last run found something (or there is none).
std::string StaleTableNotice(const std::string& mapDir, const std::string& tablePath);

}  // namespace vexa::review
