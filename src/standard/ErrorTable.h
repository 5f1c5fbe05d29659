#pragma once
// The working error table: a dBASE file with the seven columns of a finding
// (Id, Blok, Vrstva, Prvok, Druh, Cislo, Chyba, in this order: standard/FindingColumns.h),
// code page 1250.
// The table alone decides when it is open: findings are appended within a session
// (TErrorTableSession), the table opens at the first finding and closes, writing
// what is pending, when the outermost session ends. A check run holds one session
// for all its blocks; each pass holds its own, which a run's session encloses, so
// that a pass run alone leaves the table closed and a run's passes do not reopen
// (and reread) it.
#include "dbase/FieldTypes.h"
#include "standard/ErrorRecord.h"
#include "standard/Findings.h"

#include <memory>
#include <string>
#include <utility>

namespace vexa {

class TTableDBF;

class TErrorTable {
public:
    TErrorTable();
    explicit TErrorTable(std::string path);
    ~TErrorTable();
    TErrorTable(const TErrorTable&) = delete;
    TErrorTable& operator=(const TErrorTable&) = delete;

    const std::string& Path() const { return FPath; }
    void SetPath(const std::string& path);  // closes the table first

    // Sessions nest; the table is open only within one, from its first finding on.
    void BeginSession();
    // Ends a session; the outermost writes what is pending and closes the table (its
    // errors pass on, the table is closed even so).
    void EndSession();
    bool InSession() const { return FSessions > 0; }
    bool Active() const;
    // Appends one finding within a session (opening the table at the first; outside
    // a session it raises), values in column order, nulls as blank fields. Texts
    // longer than their column are cut at a character boundary (as Fit does). The
    // records are written in batches: at Flush, when a batch is full, and when the
    // table closes.
    void Append(const TErrorRecord& record);
    // Writes the records appended so far; raises when they cannot be written.
    void Flush();

    // The record as the table stores it: texts cut to their columns.
    static TErrorRecord Fit(TErrorRecord record);

    // The template's columns and widths.
    static TFldDefList TemplateFields();
    // Writes an empty error table (the template) at path, code page 1250.
    static void CreateTemplate(const std::string& path);

private:
    void Open();
    void Close();

    std::string FPath;
    std::unique_ptr<TTableDBF> FTable;
    TFldDefList FFields;
    int FSessions = 0;
    std::string FPending;  // encoded records not yet written
    std::size_t FPendingCount = 0;
};

// A session of the error table for a scope (a check run, one pass). End() ends it
// where its errors may still pass on; the destructor ends it otherwise (an error
// then cannot pass a destructor: a run ends its session itself at its normal end).
class TErrorTableSession {
public:
    explicit TErrorTableSession(TErrorTable& table) : FTable(&table) { FTable->BeginSession(); }
    ~TErrorTableSession() {
        try {
            End();
        } catch (...) {
        }
    }
    void End() {
        if (TErrorTable* table = std::exchange(FTable, nullptr)) table->EndSession();
    }
    TErrorTableSession(const TErrorTableSession&) = delete;
    TErrorTableSession& operator=(const TErrorTableSession&) = delete;

private:
    TErrorTable* FTable;
};

// The sink that appends findings to the working error table (within a session).
class TErrorTableSink : public IFindingSink {
public:
    explicit TErrorTableSink(TErrorTable& table) : FTable(table) {}
    void Add(const TFinding& finding) override { FTable.Append(finding.Record); }

private:
    TErrorTable& FTable;
};

}  // namespace vexa
