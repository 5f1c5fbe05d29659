#pragma once
// The outputs of a check run's findings, in the order a finding reaches them: the review
// in front (it leaves out a finding a valid exception covers and gives every other its
// status and since), then the working error table, the printer, the report and the export,
// then any further sink attached. vexa-check and the main window fill in what they have;
// the run's driver hands each checked block's findings to it (RunCheck).
#include "standard/Findings.h"

#include <memory>
#include <string>
#include <vector>

namespace vexa {
class TErrorTable;
namespace review {
class TRunReview;
}
}  // namespace vexa

namespace vexa::run {

class TRunOutputs {
public:
    TRunOutputs();
    ~TRunOutputs();
    TRunOutputs(const TRunOutputs&) = delete;
    TRunOutputs& operator=(const TRunOutputs&) = delete;

    // What a view fills in before the run; each may stay null.
    review::TRunReview* Review = nullptr;
    IFindingSink* Printer = nullptr;
    IFindingSink* Report = nullptr;
    // Fed like the others; written whole (committed) by its owner after the run.
    IFindingSink* Export = nullptr;
    // Further sinks after the export (a test's list of findings).
    void Attach(IFindingSink& sink) { FMore.push_back(&sink); }

    // The run begins (options as review::OptionsText) and ends: between them the findings
    // go into table.
    void Begin(const std::string& options, TErrorTable& table);
    void End();

    // Hands one finding on (between Begin and End): the review judges it (sets its Status and Since, or leaves it
    // out as excepted: only AddExcepted reaches the sinks behind it), then every sink in turn.
    void Pass(TFinding& finding);
    // Whether any output uses the places of the findings.
    bool WantsPlaces() const;
    // The elements whose fingerprints the review (else an output) wants from the passes,
    // and those fingerprints as a pass took them (before the block's findings).
    const TFingerprintWish* FingerprintsWanted() const;
    void ElementFingerprinted(const TElementFingerprint& element);
    // Whether an output wants the extents of the groups a pass read (the report's
    // overview), and each such extent (before the block's findings).
    bool WantsExtents() const;
    void GroupExtent(const TGroupExtent& extent);

private:
    std::vector<IFindingSink*> Sinks() const;
    std::unique_ptr<IFindingSink> FTable;
    std::vector<IFindingSink*> FMore;
    // Between Begin and End: the sinks in their order, and whether one wants places.
    std::vector<IFindingSink*> FSinks;
    bool FWantsPlaces = false;
    bool FBegun = false;
};

}  // namespace vexa::run
