#pragma once
// The block store: TBlk is the only access to a map block directory
// (element files tn.crd, tn.lin, tn.pnt, tn.tbx, tn.are, tn.ttx, info.txt
// and the dBASE attribute tables).
#include "block/BlkExceptions.h"
#include "block/BlkIo.h"
#include "block/BlkRecords.h"
#include "dbase/FieldTypes.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vexa {

// How Open treats a block directory.
enum class TBlkOpenMode {
    // As a check run opens it: a missing directory and missing files are created; a file
    // whose partner is missing (half pairs) is set aside beside the block's files under a
    // name ending ".orphan-YYYYMMDD-HHMMSS" (never deleted) and OpenWarnings() tells of it.
    Create,
    // Nothing on disk changes: the directory must exist (EBlkNotOpened otherwise), files are
    // opened for reading, and a missing file reads as a fresh empty one.
    ReadOnly,
};

class TBlk {
public:
    explicit TBlk(bool inMemory = false);
    ~TBlk();  // Close(true)
    TBlk(const TBlk&) = delete;
    TBlk& operator=(const TBlk&) = delete;

    bool InMemory() const { return FInMemory; }
    const std::string& Path() const { return FPath; }  // with trailing delimiter; empty while closed
    bool Opened() const { return FOpened; }

    // --- file set ---------------------------------------------------------
    void Open(const std::string& path, TBlkOpenMode mode = TBlkOpenMode::Create);
    // What the last Open set aside (Slovak messages, one per file); empty when nothing.
    const std::vector<std::string>& OpenWarnings() const { return FOpenWarnings; }
    // True when the block directory is a link to outside the map: it was opened as
    // ReadOnly (OpenWarnings says so) and nothing of it may be written.
    bool LinkedOutside() const { return FLinkedOutside; }
    void Close(bool save = true);
    void SaveBuffers();
    bool IsClean();

    // --- element access ---------------------------------------------------
    void CheckOpened() const;

    std::int32_t LineCount();
    std::int32_t PointCount();
    std::int32_t TextCount();
    std::int32_t AreaCount();

    bool LinesEof();
    bool PointsEof();
    bool TextsEof();
    bool AreasEof();

    void ReadNextLine(TBlkLine& rec);
    void ReadNextPoint(TBlkPoint& rec);
    void ReadNextText(TBlkText& rec);
    void ReadNextArea(TBlkArea& rec);

    void FindLine(std::int32_t number, TBlkLine& rec);
    void FindPoint(std::int32_t number, TBlkPoint& rec);
    void FindText(std::int32_t number, TBlkText& rec);
    void FindArea(std::int32_t number, TBlkArea& rec);

    static bool LineDeleted(const TBlkLine& rec) { return rec.Flags & 1; }
    static bool PointDeleted(const TBlkPoint& rec) { return rec.Flags & 1; }
    static bool TextDeleted(const TBlkText& rec) { return rec.Flags & 1; }
    static bool AreaDeleted(const TBlkArea& rec) { return rec.Flags & 4; }

    void ReadCrds(std::int32_t first, std::int32_t last, TCrds& crds);
    void ReadLineCrds(const TBlkLine& line, TCrds& crds);

    void TouchLines();
    void TouchPoints();
    void TouchTexts();
    void TouchAreas();

    // --- read cache -----------------------------------------------------------
    // On: loads tn.lin, tn.are and tn.crd whole into memory now and serves FindLine,
    // FindArea, ReadCrds, ReadLineCrds and FindDuplicateLines from memory; results,
    // exceptions and stream positions are the same as without it. Off (the default,
    // and after Close or Open): every read goes to the files. The header stamps keep
    // the cached headers in step. Turning it on needs an open block (EBlkNotOpened)
    // and a readable file set (EBlkReadError; the cache then stays off).
    void SetReadCache(bool on);
    bool ReadCache() const { return FReadCache; }
    // The bytes the cache holds now.
    std::size_t CachedBytes() const { return FCrdCache.size() + FLinCache.size() + FAreCache.size(); }

    // --- geometry and topology ---------------------------------------------
    static TBlkRect CrdsRect(const TCrds& crds);
    static void ReverseCrds(TCrds& crds);
    bool LineRectOk(const TBlkLine& line, TBlkRect& computed);
    // The same, leaving the line's vertices in crds for the tests that follow.
    bool LineRectOk(const TBlkLine& line, TBlkRect& computed, TCrds& crds);
    // With the read cache on, the search goes through an index grouping the lines by
    // their exact vertices, and stops once found is longer than limit.
    bool FindDuplicateLines(const TBlkLine& line, std::string& found, std::size_t limit = std::string::npos);
    // The same with the line's vertices as read already.
    bool FindDuplicateLines(const TBlkLine& line, const TCrds& crds, std::string& found, std::size_t limit);
    static bool IsTopoLine(const TBlkLine& line);
    static bool IsAreaLine(const TBlkLine& line);
    static bool IsInnerLine(const TBlkLine& line);
    bool AdjacentAreasMatch(const TBlkLine& line);
    // walked, when given, gets the lines the walk followed before it broke (on failure).
    // reversed, when given, gets for each line of lines whether the walk passes it against
    // its own direction (from its last vertex to its first).
    void AreaBoundary(const TBlkArea& area, TLins& lines, TLins* walked = nullptr,
                      std::vector<bool>* reversed = nullptr);
    static void NormalizeBoundary(TLins& lines);
    int CheckInnerLines(TLins& lines, std::int32_t& badLine);
    void BoundaryPolygon(const TLins& lines, TCrds& ring, double tolerance);
    bool CheckAreaTopology(const TBlkArea& area, bool geometry, double tolerance);
    // The steps all boundary walks may still take together (negative: no limit, the
    // default). Each step of AreaBoundary spends one; a walk that finds none left fails as
    // broken topology (EBlkPloError), so a pass over every area is bounded in total work.
    void SetWalkBudget(std::int64_t steps) { FWalkBudget = steps; }
    std::int64_t WalkBudget() const { return FWalkBudget; }

    // --- attribute tables ---------------------------------------------------
    std::string AttributeFileName(TBlkElementGroup group, std::int16_t kind);
    void ReadAttributes(TBlkElementGroup group, std::int16_t kind, std::int32_t number, TFldValList& values);
    static void ParseAttributeFileName(const std::string& fileName, TBlkElementGroup& group, std::int32_t& kind);

    // Packed local date-time of now: date in the upper 16 bits, time in the lower.
    static std::uint32_t PackedNow();

private:
    struct TDuplicateIndex;

    // The position of one element file's stream and the bytes read ahead for the
    // sequential reads. All file access goes through positioned reads and writes of the
    // file's descriptor; the position is this object's own.
    struct TStreamState {
        std::int64_t Position = 0;
        std::int64_t BufferStart = 0;
        std::vector<std::uint8_t> Buffer;
        bool Kept = false;  // opened for reading only: its header is never written
    };

    std::int64_t StreamSize(std::FILE* stream) const;
    std::int32_t RecordCount(std::FILE* stream, std::size_t size);
    bool StreamEof(std::FILE* stream, const TStreamState& state);
    void ReadNextRecord(std::FILE* stream, TStreamState& state, void* rec, std::size_t size);
    void FindRecord(std::FILE* stream, blkio::TFileView* cache, std::size_t size, char letter, std::int32_t number,
                    void* rec);
    void WriteHeader(std::FILE* stream, TStreamState& state, blkio::TFileView* cache, const void* header,
                     std::size_t size);
    bool GroupClean(std::FILE* stream, std::size_t size, std::size_t flagsOffset, std::uint8_t deletedMask,
                    bool positiveNumbers);
    void LoadCache(std::FILE* stream, blkio::TFileView& cache, std::int64_t limit = -1);
    void DropReadCache();
    void FindDuplicatesInFile(const TBlkLine& line, const TCrds& crds, std::string& found);
    void FindDuplicatesInCache(const TBlkLine& line, const TCrds& crds, std::string& found, std::size_t limit);

    bool FInMemory;
    std::string FPath;
    bool FOpened = false;
    bool FLinkedOutside = false;
    std::FILE* CrdStream = nullptr;
    std::FILE* LinStream = nullptr;
    std::FILE* PntStream = nullptr;
    std::FILE* TbxStream = nullptr;
    std::FILE* AreStream = nullptr;
    TStreamState FCrdState, FLinState, FPntState, FTbxState, FAreState;

    std::vector<std::string> FOpenWarnings;
    std::int64_t FWalkBudget = -1;
    bool FReadCache = false;
    // The cached files, shown through memory mappings (see blkio::TFileView).
    blkio::TFileView FCrdCache, FLinCache, FAreCache;
    // tn.crd's size when it was cached: the cache holds only the vertices the cached lines
    // use (a vertex file may be far larger than what its lines hold, a sparse one most of all);
    // reads beyond them go to the file.
    std::int64_t FCrdFileSize = 0;
    std::unique_ptr<TDuplicateIndex> FDuplicateIndex;  // built on first use while cached
};

// Two areas' attribute rows describe alike areas: both missing, or the same
// columns (names ignoring case) with the same values (of the same type) outside
// the GIS's own columns. The one rule of the alike-areas test.
bool AttributeRowsAlike(const TFldValList& a, const TFldValList& b);

}  // namespace vexa
