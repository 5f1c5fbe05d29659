#pragma once
// The check run without a window: walks the selected, conforming blocks of the
// opened map, lets the standard object run the ticked passes over each clean
// block in the fixed order (databases, lines, points, texts, areas), adds up the
// findings and hands the error table over to the map directory.
//
// The main window and vexa-check are two views of this driver: a view supplies
// the inputs (read again for every block, as the window may change them while
// the passes let its messages run) and receives the progress, the messages and
// the hand-over; the outputs of the findings (run/RunOutputs.h) come beside it.
#include "common/UserInterface.h"
#include "standard/ErrorRecord.h"
#include "run/BlockList.h"
#include "run/OptionMasks.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexa {

class TBlkStandardGXD;
namespace run {
class TRunOutputs;
}

// The five masks and the two limits of the option groups.
struct TCheckRunOptions {
    std::uint16_t DbMask = 0;
    std::uint16_t LinMask = 0;
    std::uint16_t BodMask = 0;
    std::uint16_t TxbMask = 0;
    std::uint16_t PloMask = 0;
    double LengthLimit = 0;  // metres, applied with LinDlzka
    double AreaLimit = 0;    // square metres, applied with PloPlocha
    // Blocks checked at once, each by a worker of its own; the findings come out in
    // the order of a run in turn. 1: one block after another in the caller's thread.
    unsigned Jobs = 1;
};

class ICheckRunView {
public:
    virtual ~ICheckRunView() = default;

    // --- inputs -------------------------------------------------------------
    virtual int BlockRowCount() = 0;            // data rows of the block list
    virtual TBlockRow BlockRow(int index) = 0;  // 0-based data row
    virtual std::string MapDir() = 0;           // map directory with a trailing delimiter
    virtual TCheckRunOptions Options() = 0;     // masks and limits as they are now

    // --- outputs ------------------------------------------------------------
    // The block name (or "Kontrola databáz") under examination; shown at once. "" at the end.
    virtual void SetCaption(const std::string& text) = 0;
    // The gauge of a group's pass (lines, points, texts, areas); may be null.
    virtual IGauge* Gauge(TCheckGroup group) = 0;
    // Shown while the group's pass runs, hidden after it (also when it fails).
    virtual void ShowGauge(TCheckGroup group, bool visible) = 0;
    // What the user must know as the run goes (an unreadable block, a table the review cannot read).
    virtual void Warning(const std::string& message) = 0;
    // A selected block that was not cleaned and is skipped: its path and its name in the list.
    // Said as a warning unless the view tells it otherwise.
    virtual void NotCleaned(const std::string& blockPath, const std::string& name);
    // The end's summary, one line each: the stop or the count of skipped blocks with those
    // left out named, and the count of findings; "Bez chýb." after a complete run that
    // found nothing.
    virtual void Information(const std::string& message) = 0;
    // The findings are now in mapDir + "Chyby.DBF": show them (the error browser).
    virtual void ShowErrorBrowser(const std::string& mapDir) = 0;
    // Said in passing and repeated by the end's summary (so a view with an end box may drop
    // it): a block of the map left out of the run (its name does not conform), as the run
    // begins; an attribute table the repairs rewrote, with what changed.
    virtual void Note(const std::string& message) { Warning(message); }
    // The selected block whose findings come next: its place (from 1) among the
    // count of selected blocks, and its name ("blok n z m").
    virtual void ShowBlockProgress(int index, int count, const std::string& name) {
        (void)index, (void)count, (void)name;
    }
    // Whether the user asked the run to stop. Asked before each block; a stopped run
    // ends after the blocks begun, with their findings handed over as usual.
    virtual bool StopRequested() { return false; }
};

struct TCheckRunResult {
    int Total = 0;           // findings of every pass
    int BlocksChecked = 0;   // clean blocks that went through the passes
    int BlocksSkipped = 0;   // selected blocks that were not clean, and the blocks left out
    std::vector<std::string> LeftOut;  // listed blocks whose names do not conform
    // Every skipped block (left out, not cleaned, unreadable) by name, with why.
    std::vector<std::pair<std::string, std::string>> Skipped;
    std::vector<std::string> Repairs;  // RepairMessage of each table the repairs rewrote
    std::string ErrorTable;  // the map directory's error table after a hand-over, else ""
    bool Stopped = false;    // the user stopped the run before its last block
    int ChecksNotDone = 0;   // checked blocks where a check could not be done (a stopped query)
    std::vector<std::string> Checked;  // names of the blocks that went through the passes
};

// Blocks checked at once unless told otherwise: one per core.
unsigned DefaultJobs();

// Name of the error table in the map directory.
inline constexpr const char* kMapErrorTableName = "Chyby.DBF";
// Caption while the database pass runs.
inline constexpr const char* kCaptionDatabases = "Kontrola databáz";
// Said only when every selected check ran on every selected block and found nothing.
inline constexpr const char* kNoFindings = "Bez chýb.";
// Refusals of a run that would check nothing.
inline constexpr const char* kNoCheckChosen = "Nie je zvolená žiadna kontrola.";
inline constexpr const char* kNoBlockSelected = "Nie je zvolený žiadny blok na kontrolu.";

// "Skontrolované bloky: <n>, vynechané: <k>." (blocks skipped as not cleaned)
std::string BlocksMessage(int blocksChecked, int blocksSkipped);

// "Počet chýb: <n> (<error table>)"
std::string FindingsMessage(int total, const std::string& errorTable);

// "Niektoré kontroly sa nedali vykonať; bloky, ktorých sa to týka: N." (a stopped query).
std::string ChecksNotDoneMessage(int blocks);

// "Blok <name> nebude kontrolovaný: meno nevyhovuje štandardu (...)"
std::string LeftOutMessage(const std::string& blockName);

// "Blok <name> nebude kontrolovaný: <reason>": a skipped block in the end's summary.
std::string SkippedMessage(const std::string& blockName, const std::string& reason);

// "Blok <name> nebol vyčistený, nebude kontrolovaný": the unclean block on one line.
std::string NotCleanedLine(const std::string& blockName);

// "Kontrola bola zastavená; skontrolované bloky: <n>."
std::string StoppedMessage(int blocksChecked);

// "Blok\r<path>\rnebol vyčistený, nebude kontrolovaný"
std::string NotCleanedMessage(const std::string& blockPath);

// A re-check's summary: "Znova skontrolované (<blocks>): L -12 krivky, ...; ostatné riadky
// tabuľky chýb ostali." A re-check (review's Merge) replaces only the rows of the checks it
// ran in the blocks it checked.
std::string RecheckMessage(const TCheckRunOptions& options, const std::vector<std::string>& blocks);

// The options of a kept run (its masks and limits as the history has them) and its date:
// for a re-check of a map's table. tableRun: the newest run that wrote the map's table
// (a run with findings that was not a re-check); else, or when there is none, the newest
// run of the whole map (not a re-check). Nothing when the history keeps none.
struct TKeptOptions {
    TCheckRunOptions Options;
    std::string Date;
};
std::optional<TKeptOptions> KeptRunOptions(const std::string& mapDir, bool tableRun);

// The question a window asks before a run whose database mask rewrites or deletes the
// blocks' attribute tables ("uprava štruktúry", "nepovinné položky zmazať"): what will be
// rewritten and deleted, then "Pokračovať?". "" when the mask changes no table that way.
std::string RepairsQuestion(std::uint16_t dbMask);

// Runs the check. Listed blocks whose names do not conform are left out: each is said
// (Note), counted among the skipped and named in the summary, so that such a run is never
// called clean. With no check chosen (every mask 0) or no block selected it refuses
// by a vexa::Exception before touching the map. Errors of the block store or the standard end the run and pass
// on (nothing is handed over then). When findings cannot be copied into the map
// directory, the working table is started afresh and a vexa::Exception tells so.
// Each checked block's findings go to outputs once the whole block was read: its review
// (what the run remembers: exceptions, statuses, the history; its Merge setting replaces
// only the checked blocks' rows of Chyby.DBF), the working error table, the printer, the
// report, the export. The sinks attached to the standard's Findings() take no part in a run.
TCheckRunResult RunCheck(TBlkStandardGXD& standard, ICheckRunView& view, run::TRunOutputs& outputs);
// A run whose findings go into the error table only.
TCheckRunResult RunCheck(TBlkStandardGXD& standard, ICheckRunView& view);

// The findings of an error table file in record order (columns taken by position).
std::vector<TErrorRecord> ReadErrorTable(const std::string& path);

}  // namespace vexa
