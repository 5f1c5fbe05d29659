#pragma once
// A finding as a plain record handed to sinks. The working error table is one
// sink, the text of vexa-check another; a check run fans its findings out to
// every sink it has, so a new output never touches a check pass.
#include "standard/ErrorRecord.h"

#include <algorithm>
#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vexa {

// Where a finding is, as the block held it when the finding was made. The error
// table has no room for it: it travels beside the record.
enum class TPlaceShape {
    None,       // no element: a table-level finding, or an element that could not be read
    Line,       // the line's vertices in file order
    Point,      // the point's X/Y
    Text,       // the text's stored rectangle as a closed ring of five corners
    Area,       // the area's polygons from its boundary walk (Polygons; Crds the first outer ring)
    AreaPoint,  // the area's reference point: its ring does not close (see Reason)
};

struct TPlaceXY {
    double X = 0;
    double Y = 0;
    bool operator==(const TPlaceXY&) const = default;
};

// A closed ring: its first vertex repeated last, no other vertex twice.
using TPlaceRing = std::vector<TPlaceXY>;
// One polygon: its outer ring (counter-clockwise) first, then its holes (clockwise).
using TPlacePolygon = std::vector<TPlaceRing>;

struct TFindingPlace {
    TPlaceShape Shape = TPlaceShape::None;
    std::vector<TPlaceXY> Crds;  // as the shape says; empty for None
    TPlaceXY Anchor;             // one point for the place: the point, the middle vertex of a line,
                                 // the centre of a text's rectangle, an area's reference point
    std::string Reason;          // AreaPoint: why the ring does not close
    // AreaPoint: the boundary lines the walk followed (each its vertices) and the vertex
    // where the ring breaks, with a short reason; empty when the ring was not walked.
    std::vector<std::vector<TPlaceXY>> Walked;
    std::optional<TPlaceXY> Break;
    std::string BreakReason;
    std::string Table;           // table-level findings: the attribute table's file name
    // Area: its polygons, the largest first; more than one when the walk gives outer rings
    // that do not contain each other (a multipolygon).
    std::vector<TPlacePolygon> Polygons;
    bool Empty() const { return Shape == TPlaceShape::None; }
    // The bounding box of the place's vertices (of an area, of all its outer rings); all
    // zero when it has none.
    void Box(double& minX, double& minY, double& maxX, double& maxY) const;
    bool operator==(const TFindingPlace&) const = default;
};

struct TFinding {
    TErrorRecord Record;  // the columns of the error table
    TFindingPlace Place;  // beside the record, never written into the table
    // A limit finding (a line's length, an area's size): what was measured from the
    // element's vertices (the line's length along them, the area within its ring; none
    // when the ring does not close) and the limit the check held the element against.
    std::optional<double> Value{};
    std::optional<double> Limit{};
    // What a table finding found wrong: the structure's fields missing or of another shape
    // ("chýba VEK N 3; DREVINA C 8 namiesto C 20"), the saved query that refused a row.
    // Never written into the error table, whose texts other tools match.
    std::string Detail{};
    // The fingerprint of the finding's element (block/BlkFingerprint.h), taken while the pass
    // had the block open; only for the elements a sink wants (FingerprintsWanted), else none.
    std::optional<std::string> Fingerprint{};

    // Given by the run's review before the finding reaches the outputs: "new" or
    // "persisting" against the previous run of its block, and the date of the run that
    // first found it. Empty in a run without a review.
    std::string Status{};
    std::string Since{};

    bool operator==(const TFinding&) const = default;
};

// The elements whose fingerprints a sink wants, by block (the names as printed, stray bytes
// \xHH): a review wants those of the map's exceptions. Made before a run and only read
// while it runs, so the workers of a parallel run read it too.
class TFingerprintWish {
public:
    struct TElement {
        char Group = 0;  // "Prvok": L, B, T, P
        std::int32_t Number = 0;
        bool operator==(const TElement&) const = default;
        auto operator<=>(const TElement&) const = default;
    };
    void Add(const std::string& block, char group, std::int32_t number) {
        std::vector<TElement>& elements = FByBlock[block];
        const TElement e{group, number};
        const auto at = std::lower_bound(elements.begin(), elements.end(), e);
        if (at == elements.end() || *at != e) elements.insert(at, e);
    }
    bool Empty() const { return FByBlock.empty(); }
    // The wanted elements of a block in ascending order; none when the block has none.
    const std::vector<TElement>* Of(const std::string& printedBlock) const {
        const auto found = FByBlock.find(printedBlock);
        return found == FByBlock.end() ? nullptr : &found->second;
    }

private:
    std::map<std::string, std::vector<TElement>> FByBlock;
};

// The fingerprint of a wanted element as a pass found it in the block: none when the
// element does not exist.
struct TElementFingerprint {
    std::string Block;  // as the findings name it
    char Group = 0;
    std::int32_t Number = 0;
    std::optional<std::string> Fingerprint;
    bool operator==(const TElementFingerprint&) const = default;
};

// A block's extent as its element records store it: the stored rectangles of its lines and
// texts (those upside down or all zero passed over) and the positions of its points, as a
// pass of the group read them.
struct TStoredExtent {
    double MinX = 0, MinY = 0, MaxX = -1, MaxY = -1;  // empty while MinX > MaxX
    bool Empty() const { return MinX > MaxX || MinY > MaxY; }
    void Add(double x, double y) {
        if (Empty()) {
            MinX = MaxX = x;
            MinY = MaxY = y;
            return;
        }
        MinX = std::min(MinX, x), MinY = std::min(MinY, y);
        MaxX = std::max(MaxX, x), MaxY = std::max(MaxY, y);
    }
    void Add(const TStoredExtent& other) {
        if (other.Empty()) return;
        Add(other.MinX, other.MinY);
        Add(other.MaxX, other.MaxY);
    }
    bool operator==(const TStoredExtent&) const = default;
};

// The extent of one group of a block (egLine, egPoint, egText; areas give none).
struct TGroupExtent {
    std::string Block;  // as the findings name it
    std::uint8_t Group = 0;  // a TBlkElementGroup value
    TStoredExtent Extent;
    bool operator==(const TGroupExtent&) const = default;
};

class IFindingSink {
public:
    virtual ~IFindingSink() = default;
    virtual void Add(const TFinding& finding) = 0;
    // Whether the sink uses the places of the findings: reading them from the block
    // costs a read of the element (and a walk for an area), so they are found only
    // when a sink wants them.
    virtual bool WantsPlaces() const { return false; }
    // A finding left out by a valid exception, with the exception's reason: only outputs
    // that show exceptions (the GIS export) take it; the error table and the printers never.
    virtual void AddExcepted(const TFinding& finding, const std::string& reason) {
        (void)finding;
        (void)reason;
    }
    // The elements whose fingerprints the sink wants, or none: a pass gives each finding of
    // such an element its fingerprint, and hands the sink each such element of its block
    // (ElementFingerprinted) before its findings, so that the sink knows also of those that
    // no finding names (gone, or fixed).
    virtual const TFingerprintWish* FingerprintsWanted() const { return nullptr; }
    virtual void ElementFingerprinted(const TElementFingerprint& element) { (void)element; }
    // Whether the sink wants the stored extents of the blocks: each pass of lines, points and
    // texts then hands the extent of its group (GroupExtent), also of an empty group.
    virtual bool WantsExtents() const { return false; }
    virtual void GroupExtent(const TGroupExtent& extent) { (void)extent; }
};

// Hands each finding to every sink added, in the order they were added.
class TFindingFanOut : public IFindingSink {
public:
    void Attach(IFindingSink& sink) { FSinks.push_back(&sink); }
    void Detach(IFindingSink& sink) { std::erase(FSinks, &sink); }
    void Add(const TFinding& finding) override {
        for (IFindingSink* sink : FSinks) sink->Add(finding);
    }
    void AddExcepted(const TFinding& finding, const std::string& reason) override {
        for (IFindingSink* sink : FSinks) sink->AddExcepted(finding, reason);
    }
    // The wish of the first sink that has one.
    const TFingerprintWish* FingerprintsWanted() const override {
        for (const IFindingSink* sink : FSinks)
            if (const TFingerprintWish* wish = sink->FingerprintsWanted()) return wish;
        return nullptr;
    }
    void ElementFingerprinted(const TElementFingerprint& element) override {
        for (IFindingSink* sink : FSinks) sink->ElementFingerprinted(element);
    }
    bool WantsExtents() const override {
        for (const IFindingSink* sink : FSinks)
            if (sink->WantsExtents()) return true;
        return false;
    }
    void GroupExtent(const TGroupExtent& extent) override {
        for (IFindingSink* sink : FSinks) sink->GroupExtent(extent);
    }
    bool WantsPlaces() const override {
        if (FPlacesWanted) return true;
        for (const IFindingSink* sink : FSinks)
            if (sink->WantsPlaces()) return true;
        return false;
    }
    // Places are found also with no sink of this fan-out wanting them (a worker of a
    // parallel run whose findings go on to sinks that want them).
    void SetPlacesWanted(bool wanted) { FPlacesWanted = wanted; }
    // Puts sinks in place of the present ones and returns those.
    std::vector<IFindingSink*> ReplaceSinks(std::vector<IFindingSink*> sinks) {
        FSinks.swap(sinks);
        return sinks;
    }

private:
    std::vector<IFindingSink*> FSinks;
    bool FPlacesWanted = false;
};

// Keeps the findings exactly as given, to be handed on later in the same order
// (a parallel check run collects each block's findings apart and hands them on
// in the order of the blocks).
class TFindingBuffer : public IFindingSink {
public:
    void Add(const TFinding& finding) override { FFindings.push_back(finding); }
    // As the sinks the findings are handed to later.
    bool WantsPlaces() const override { return FWantsPlaces; }
    void SetWantsPlaces(bool wanted) { FWantsPlaces = wanted; }
    const TFingerprintWish* FingerprintsWanted() const override { return FWish; }
    void ElementFingerprinted(const TElementFingerprint& element) override { FElements.push_back(element); }
    bool WantsExtents() const override { return FWantsExtents; }
    void GroupExtent(const TGroupExtent& extent) override { FExtents.push_back(extent); }
    // Wants what the sink the findings go to later wants (it is asked now, in the run's
    // thread; its wish of fingerprints must stay while the buffer is filled).
    void WantAs(const IFindingSink& later) {
        FWantsPlaces = later.WantsPlaces();
        FWish = later.FingerprintsWanted();
        FWantsExtents = later.WantsExtents();
    }
    // The findings kept, in their order (to be handed on, and given their status), and the
    // elements fingerprinted and extents read meanwhile (handed on before the findings).
    std::vector<TFinding>& Items() { return FFindings; }
    const std::vector<TElementFingerprint>& Elements() const { return FElements; }
    const std::vector<TGroupExtent>& Extents() const { return FExtents; }
    std::size_t Size() const { return FFindings.size(); }

private:
    std::vector<TFinding> FFindings;
    std::vector<TElementFingerprint> FElements;
    std::vector<TGroupExtent> FExtents;
    bool FWantsPlaces = false;
    const TFingerprintWish* FWish = nullptr;
    bool FWantsExtents = false;
};

// Keeps the findings in memory, each as the error table stores it (texts cut
// to their columns).
class TFindingList : public IFindingSink {
public:
    explicit TFindingList(bool wantsPlaces = true) : FWantsPlaces(wantsPlaces) {}
    void Add(const TFinding& finding) override;
    bool WantsPlaces() const override { return FWantsPlaces; }
    const std::vector<TFinding>& Findings() const { return FFindings; }
    void Clear() { FFindings.clear(); }

private:
    std::vector<TFinding> FFindings;
    bool FWantsPlaces;
};

// Attaches a sink to a fan-out for a scope.
class TFindingSinkScope {
public:
    TFindingSinkScope(TFindingFanOut& fanOut, IFindingSink& sink) : FFanOut(fanOut), FSink(sink) {
        FFanOut.Attach(FSink);
    }
    ~TFindingSinkScope() { FFanOut.Detach(FSink); }
    TFindingSinkScope(const TFindingSinkScope&) = delete;
    TFindingSinkScope& operator=(const TFindingSinkScope&) = delete;

private:
    TFindingFanOut& FFanOut;
    IFindingSink& FSink;
};

}  // namespace vexa
