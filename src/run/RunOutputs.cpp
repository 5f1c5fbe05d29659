#include "run/RunOutputs.h"

#include "review/RunReview.h"
#include "standard/ErrorTable.h"

namespace vexa::run {

TRunOutputs::TRunOutputs() = default;
TRunOutputs::~TRunOutputs() = default;

void TRunOutputs::Begin(const std::string& options, TErrorTable& table) {
    FTable = std::make_unique<TErrorTableSink>(table);
    FSinks = Sinks();
    FWantsPlaces = WantsPlaces();
    FBegun = true;
    if (Review) Review->Begin(options);
}

void TRunOutputs::End() {
    FBegun = false;
    FSinks.clear();
    FTable.reset();
}

std::vector<IFindingSink*> TRunOutputs::Sinks() const {
    std::vector<IFindingSink*> sinks;
    for (IFindingSink* s : {FTable.get(), Printer, Report, Export})
        if (s) sinks.push_back(s);
    sinks.insert(sinks.end(), FMore.begin(), FMore.end());
    return sinks;
}

void TRunOutputs::Pass(TFinding& finding) {
    if (Review) {
        std::string reason;
        if (!Review->Judge(finding, reason)) {
            for (IFindingSink* s : FSinks) s->AddExcepted(finding, reason);
            return;
        }
    }
    for (IFindingSink* s : FSinks) s->Add(finding);
}

bool TRunOutputs::WantsPlaces() const {
    if (FBegun) return FWantsPlaces;
    for (const IFindingSink* s : Sinks())
        if (s->WantsPlaces()) return true;
    return false;
}

const TFingerprintWish* TRunOutputs::FingerprintsWanted() const {
    if (Review)
        if (const TFingerprintWish* wish = Review->FingerprintsWanted()) return wish;
    for (const IFindingSink* s : FBegun ? FSinks : Sinks())
        if (const TFingerprintWish* wish = s->FingerprintsWanted()) return wish;
    return nullptr;
}

void TRunOutputs::ElementFingerprinted(const TElementFingerprint& element) {
    if (Review) Review->ElementFingerprinted(element);
    for (IFindingSink* s : FSinks) s->ElementFingerprinted(element);
}

bool TRunOutputs::WantsExtents() const {
    for (const IFindingSink* s : FBegun ? FSinks : Sinks())
        if (s->WantsExtents()) return true;
    return false;
}

void TRunOutputs::GroupExtent(const TGroupExtent& extent) {
    for (IFindingSink* s : FSinks) s->GroupExtent(extent);
}

}  // namespace vexa::run
