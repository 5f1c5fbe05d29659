#pragma once
// The standard object: a private working copy of the standard database, its
// layer and kind lookups, the working error table, and the five check passes
// (each implemented in a file of its own).
#include "block/BlkObj.h"
#include "common/Exception.h"
#include "common/UserInterface.h"
#include "dbase/FieldTypes.h"
#include "standard/ErrorRecord.h"

#include <cstdint>
#include <memory>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vexa {

// "Štandard nebol otvorený.", "Databáza nebola vytvorená.", "Chybný súbor štandardu GXD."
class EStdException : public Exception {
public:
    using Exception::Exception;
};

class TStringList;     // sorted, case-insensitive, duplicates ignored (standard/StringList.h)
class TErrorTable;     // the working error table (standard/ErrorTable.h)
class TFindingFanOut;  // the sinks of the findings (standard/Findings.h)
class TAccessDb;       // the working copy with the Access-SQL layer (access/AccessDb.h)
class TCheckRunCache;  // work shared by the element checks across one block (standard/CheckRunCache.h)

class TBlkStandardGXD {
public:
    // standardPath: the standard file ("StandardGXD.mdb", Jet or SQLite form);
    // templatePath: the error table template ("Chyby.dbf").
    TBlkStandardGXD(const std::string& standardPath, const std::string& templatePath,
                    IUserInterface& ui = NullUserInterface::Instance());
    ~TBlkStandardGXD();
    TBlkStandardGXD(const TBlkStandardGXD&) = delete;
    TBlkStandardGXD& operator=(const TBlkStandardGXD&) = delete;

    // A standard for one worker of a parallel check run, for the element passes
    // only: the same lookups, work of its own, no user interface (it runs outside
    // the window's thread), no working copy of the database and no error table; its
    // findings reach only the sinks attached to its Findings().
    std::unique_ptr<TBlkStandardGXD> ElementWorker() const;

    // --- lookups ---------------------------------------------------------------
    void RequireOpen() const;
    bool IsLayerKnown(const std::string& layer) const;
    bool IsAreasOnlyLayer(const std::string& layer) const;
    // group is a TBlkElementGroup value; any other value answers false.
    bool IsKindAdmissible(const std::string& layer, int group, std::int16_t kind) const;
    bool NeedsZeroAngle(int group, std::int16_t kind) const;

    void SetGauge(IGauge* gauge);
    IGauge* Gauge() const { return FGauge; }
    IUserInterface& UI() const { return FUI; }

    const std::string& Description() const { return FDescription; }
    const TStringList& Layers() const;
    const TStringList& AreaOnlyLayers() const;
    const TStringList& LineKinds() const;
    const TStringList& PointKinds() const;
    const TStringList& AreaKinds() const;
    const TStringList& TextKinds() const;
    const TStringList& PointZeroAngleKinds() const;
    const TStringList& TextZeroAngleKinds() const;

    const std::string& StandardPath() const { return FStandardPath; }
    const std::string& WorkPath() const { return FWorkPath; }
    const std::string& ErrorTablePath() const { return FErrorTablePath; }
    const std::string& CurrentDbfPath() const { return FCurrentDbfPath; }
    // The tables the structure repairs rewrote since the last call, each with what changed
    // ("Upravená tabuľka <path>: ..."); emptied by the call.
    std::vector<std::string> TakeRepairs() { return std::exchange(FRepairs, {}); }
    // Saved queries a bound stopped (time, memory): each is named once, in the message of
    // the call after it stopped, and not run again until ForgetStoppedQueries (a new run).
    std::vector<std::string> TakeQueryStops() { return std::exchange(FQueryStops, {}); }
    // Whether a check of the database passes since the last call could not be done (a
    // stopped query it needed); emptied by the call.
    bool TakeChecksNotDone() { return std::exchange(FChecksNotDone, false); }
    void ForgetStoppedQueries() {
        FStoppedQueries.clear();
        FQueryStops.clear();
        FChecksNotDone = false;
    }

    // --- error table -------------------------------------------------------------
    TErrorTable& ErrorTable();
    void ResetErrorTable();
    // Where the check passes hand their findings: the working error table,
    // and any sink a run attaches.
    TFindingFanOut& Findings();

    // --- working copy ------------------------------------------------------------
    TAccessDb& Database();

    // --- check passes ------------------------------------------------------------
    int CheckLines(TBlk& blk, std::uint16_t options, double lengthLimit);
    int CheckPoints(TBlk& blk, std::uint16_t options);
    int CheckTexts(TBlk& blk, std::uint16_t options);
    int CheckAreas(TBlk& blk, std::uint16_t options, double areaLimit);
    int CheckDatabases(TBlk& blk, std::uint16_t options);

    // --- attribute table checks -------------------------------------------------
    std::vector<std::string> ListAttributeTables(const std::string& layer);
    TFldDefList GetAttributeDefs(const std::string& layer, int group, std::int32_t kind);
    // Whether the table named by CurrentDbfPath has every field the standard defines.
    bool IsStructureValid(const std::string& layer, int group, std::int32_t kind);
    // How the table named by CurrentDbfPath differs from the standard's definitions:
    // "chýba VEK N 3; DREVINA C 8 namiesto C 20" ("" when it does not, or no table is named).
    std::string StructureDifference(const std::string& layer, int group, std::int32_t kind);
    void FixStructure(const std::string& layer, int group, std::int32_t kind, bool restructure, bool mandatoryFirst,
                      bool deleteOptional);
    // refusedBy, when given, gets for each number the saved test queries that returned it.
    bool TestFill(const std::string& layer, int group, std::vector<std::string>& numbers, std::int32_t kind,
                  std::map<std::string, std::vector<std::string>>* refusedBy = nullptr);
    void LinkTestTable();
    void UnlinkTestTable();
    // The given dBASE table as TestTab, and TestTab's changes written back into it
    // (beside it, then replacing it), as the attribute checks do.
    void LinkTestTable(const std::string& dbfPath);
    void SaveTestTable();

    // Work shared by the element checks over one block (indexes, cached attribute rows).
    TCheckRunCache& RunCache();

private:
    struct TWorkerTag {};
    TBlkStandardGXD(const TBlkStandardGXD& from, TWorkerTag);
    void LoadStandard();
    void WriteBackTestTable();

    IGauge* FGauge = nullptr;
    IUserInterface& FUI;
    std::string FStandardPath;
    std::string FWorkPath;
    std::string FErrorTablePath;
    std::string FCurrentDbfPath;
    bool FNoWriteBack = false;  // the block being checked is read only (a link outside the map)
    std::vector<std::string> FRepairs;
    std::set<std::string> FStoppedQueries;  // upper-case names
    std::vector<std::string> FQueryStops;
    bool FChecksNotDone = false;
    std::string FDescription;
    // Members below are owned by the standard's implementation files.
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
    std::unique_ptr<TCheckRunCache> FRunCache;
};

}  // namespace vexa
