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

    // As blk.AdjacentAreasMatch(line).
    bool AdjacentAreasMatch(TBlk& blk, const TBlkLine& line);

    // As blk.ReadAttributes(egArea, kind, number, values).
    void ReadAreaAttributes(TBlk& blk, std::int16_t kind, std::int32_t number, TFldValList& values);

    // Forgets everything.
    void Clear();

    // How many times a table file has been read whole (for tests and the benchmark).
    int TableLoads() const { return FTableLoads; }

private:
    struct TTable;
    TTable& Table(TBlk& blk, const std::string& path);
    TTable* AreaTable(TBlk& blk, std::int16_t kind);  // null: the kind has no table

    std::string FBlockPath;
    std::unordered_map<std::int16_t, TTable*> FPassTables;  // of this pass: kind -> its table, null none
    std::unordered_map<std::string, std::unique_ptr<TTable>> FTables;
    int FTableLoads = 0;
};

}  // namespace vexa
