#pragma once
// The four element groups of a block by their record type: how a group is counted,
// stamped, read in file order and told deleted, said once, and the walks in file order
// over it that the check passes, the exports, the report and vexa-info share.
#include "block/BlkObj.h"

#include <cstdint>

namespace vexa {

template <class Record>
struct TBlkGroupOf;

template <>
struct TBlkGroupOf<TBlkLine> {
    static constexpr TBlkElementGroup Group = egLine;
    static std::int32_t Count(TBlk& blk) { return blk.LineCount(); }
    static void Touch(TBlk& blk) { blk.TouchLines(); }
    static bool Eof(TBlk& blk) { return blk.LinesEof(); }
    static void ReadNext(TBlk& blk, TBlkLine& rec) { blk.ReadNextLine(rec); }
    static bool Deleted(const TBlkLine& rec) { return TBlk::LineDeleted(rec); }
};

template <>
struct TBlkGroupOf<TBlkPoint> {
    static constexpr TBlkElementGroup Group = egPoint;
    static std::int32_t Count(TBlk& blk) { return blk.PointCount(); }
    static void Touch(TBlk& blk) { blk.TouchPoints(); }
    static bool Eof(TBlk& blk) { return blk.PointsEof(); }
    static void ReadNext(TBlk& blk, TBlkPoint& rec) { blk.ReadNextPoint(rec); }
    static bool Deleted(const TBlkPoint& rec) { return TBlk::PointDeleted(rec); }
};

template <>
struct TBlkGroupOf<TBlkText> {
    static constexpr TBlkElementGroup Group = egText;
    static std::int32_t Count(TBlk& blk) { return blk.TextCount(); }
    static void Touch(TBlk& blk) { blk.TouchTexts(); }
    static bool Eof(TBlk& blk) { return blk.TextsEof(); }
    static void ReadNext(TBlk& blk, TBlkText& rec) { blk.ReadNextText(rec); }
    static bool Deleted(const TBlkText& rec) { return TBlk::TextDeleted(rec); }
};

template <>
struct TBlkGroupOf<TBlkArea> {
    static constexpr TBlkElementGroup Group = egArea;
    static std::int32_t Count(TBlk& blk) { return blk.AreaCount(); }
    static void Touch(TBlk& blk) { blk.TouchAreas(); }
    static bool Eof(TBlk& blk) { return blk.AreasEof(); }
    static void ReadNext(TBlk& blk, TBlkArea& rec) { blk.ReadNextArea(rec); }
    static bool Deleted(const TBlkArea& rec) { return TBlk::AreaDeleted(rec); }
};

// Calls body with every record of one group after the header, deleted ones too, in file
// order, from where the group's file stands (a block just opened: its beginning).
template <class Record, class Body>
void ForEachRecord(TBlk& blk, Body&& body) {
    using G = TBlkGroupOf<Record>;
    Record rec{};
    if (G::Eof(blk)) return;
    G::ReadNext(blk, rec);  // the header
    while (!G::Eof(blk)) {
        G::ReadNext(blk, rec);
        body(rec);
    }
}

// The same for the live (not deleted) records only.
template <class Record, class Body>
void ForEachLive(TBlk& blk, Body&& body) {
    ForEachRecord<Record>(blk, [&](const Record& rec) {
        if (!TBlkGroupOf<Record>::Deleted(rec)) body(rec);
    });
}

}  // namespace vexa
