#pragma once
// The working error table: a dBASE file with the seven columns of a finding
// (Id, Blok, Vrstva, Prvok, Druh, Cislo, Chyba, in this order), code page 1250.
// Each check operation opens it, appends its findings and closes it again.
#include "dbase/FieldTypes.h"
#include "standard/ErrorRecord.h"
#include "standard/Findings.h"

#include <memory>
#include <string>

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

    void Open();   // the table layer's exceptions pass on; nothing when open
    void Close();  // writes what is pending; nothing more while held
    // A check run holds the table open from its first finding to its end, so
    // that no pass reopens (and rereads) it; Release closes it.
    void Hold();
    void Release();
    bool Active() const;
    // Appends one finding, values in column order, nulls as blank fields. Texts longer
    // than their column are cut at a character boundary (as Fit does). The records are
    // written in batches: at Flush, when a batch is full, and when the table closes.
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
    std::string FPath;
    std::unique_ptr<TTableDBF> FTable;
    TFldDefList FFields;
    bool FHeld = false;
    std::string FPending;  // encoded records not yet written
    std::size_t FPendingCount = 0;
};

// Holds the error table open for a scope (a whole check run).
class TErrorTableHold {
public:
    explicit TErrorTableHold(TErrorTable& table) : FTable(table) { FTable.Hold(); }
    // The records still pending are written at the latest here; an error then cannot
    // pass a destructor, so a run flushes the table itself at its normal end.
    ~TErrorTableHold() {
        try {
            FTable.Release();
        } catch (...) {
        }
    }
    TErrorTableHold(const TErrorTableHold&) = delete;
    TErrorTableHold& operator=(const TErrorTableHold&) = delete;

private:
    TErrorTable& FTable;
};

// The sink that appends findings to the working error table (open while a
// pass runs).
class TErrorTableSink : public IFindingSink {
public:
    explicit TErrorTableSink(TErrorTable& table) : FTable(table) {}
    void Add(const TFinding& finding) override { FTable.Append(finding.Record); }

private:
    TErrorTable& FTable;
};

// Opens the error table for a scope and closes it also when an exception passes.
class TErrorTableGuard {
public:
    explicit TErrorTableGuard(TErrorTable& table) : FTable(table) { FTable.Open(); }
    ~TErrorTableGuard() { FTable.Close(); }
    TErrorTableGuard(const TErrorTableGuard&) = delete;
    TErrorTableGuard& operator=(const TErrorTableGuard&) = delete;

private:
    TErrorTable& FTable;
};

}  // namespace vexa
