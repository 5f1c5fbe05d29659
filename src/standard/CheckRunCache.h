#pragma once
// Work that the element checks share across a check run, so that a block costs
// about one read of its files: an index of the lines by vertex count and stored
// rectangle for the duplicate search (built once per pass), and the attribute rows
// of the area tables, kept by element number (Cislo) and read again when a table
// file changes (the database pass may rewrite tables between two line passes).
//
// Every answer equals the block's own single-element routine
// (TBlk::AdjacentAreasMatch, TBlk::ReadAttributes), exceptions included.
#include "block/BlkObj.h"
#include "dbase/FieldTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace vexa {

class TCheckRunCache {
public:
    TCheckRunCache();
    ~TCheckRunCache();
    TCheckRunCache(const TCheckRunCache&) = delete;
    TCheckRunCache& operator=(const TCheckRunCache&) = delete;

    // Start of a pass over blk: tables of other blocks are dropped, and each kept
    // table is compared with its file once more before its rows are used again.
    void BeginPass(TBlk& blk);

    // As blk.FindDuplicateLines(line, found), for a line record of the block's line
    // file (the index holds the file's records as the pass found them). The records are
    // grouped by their exact vertices once per pass, so n identical lines cost O(n log n);
    // the list stops once it is longer than limit characters (its first limit stay the same).
    bool FindDuplicateLines(TBlk& blk, const TBlkLine& line, std::string& found,
                            std::size_t limit = std::string::npos);

    // As blk.AdjacentAreasMatch(line).
    bool AdjacentAreasMatch(TBlk& blk, const TBlkLine& line);

    // As blk.ReadAttributes(egArea, kind, number, values).
    void ReadAreaAttributes(TBlk& blk, std::int16_t kind, std::int32_t number, TFldValList& values);

    // Forgets everything.
    void Clear();

    // How many times a table file has been read whole (for tests and the benchmark).
    int TableLoads() const { return FTableLoads; }

private:
    struct TLineIndex;
    struct TTable;
    TTable& Table(TBlk& blk, const std::string& path);
    TTable* AreaTable(TBlk& blk, std::int16_t kind);  // null: the kind has no table

    std::string FBlockPath;
    std::unordered_map<std::int16_t, std::string> FTablePaths;  // of this pass: kind -> file or ""
    std::unordered_map<std::string, std::unique_ptr<TTable>> FTables;
    std::unique_ptr<TLineIndex> FLines;  // of this pass, built on first use
    int FTableLoads = 0;
};

// Whether the attribute values of two areas make them alike: both rows absent,
// or both present with the same columns outside the GIS's own (BlkReservedFields,
// names ignoring case), in column order, and equal values (two nulls are equal,
// values of different types are not).
bool AttributeRowsAlike(const TFldValList& a, const TFldValList& b);

} // namespace vexa
