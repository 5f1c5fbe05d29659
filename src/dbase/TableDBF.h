#pragma once
// TTableDBF: the table object for dBASE files (attribute tables of blocks,
// the error table). A table is named by a directory (DatabaseName) and a
// file name inside it (TableName, or a full path). Besides reading rows it
// edits the structure: every schema change rewrites the whole file beside
// the original under an exclusive lock and replaces it atomically, so a
// failure leaves the original untouched.
//
// Values are UTF-8 in memory and in the table's code page on disk (header
// language driver byte; new tables get code page 1250).
#include "dbase/DbfExceptions.h"
#include "dbase/FieldTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vexa {

// One engine field descriptor.
struct FLDDesc {
    std::uint16_t iFldNum = 0;   // 1-based position of the source field; 0 for a new field
    std::string szName;          // at most 10 characters
    std::uint16_t iFldType = 0;  // physical type (fldp..., dbase/FieldTypes.h)
    std::int16_t iUnits1 = 0;    // width
    std::int16_t iUnits2 = 0;    // decimals
    bool operator==(const FLDDesc&) const = default;
};
using TFldDescList = std::vector<FLDDesc>;

// Restructure operation per descriptor of the new list.
enum : std::int32_t { opKeep = 0, opAdd = 1, opModify = 3 };
using TOpType = std::vector<std::int32_t>;

class TTableDBF {
public:
    TTableDBF();
    ~TTableDBF();  // closes the table
    TTableDBF(const TTableDBF&) = delete;
    TTableDBF& operator=(const TTableDBF&) = delete;

    // --- the table component -------------------------------------------------
    const std::string& DatabaseName() const;
    void SetDatabaseName(const std::string& directory);
    const std::string& TableName() const;
    void SetTableName(const std::string& name);
    const std::string& Filter() const;
    void SetFilter(const std::string& expression);  // re-filters an open table
    bool Filtered() const;
    void SetFiltered(bool on);  // re-filters an open table

    // The table file: TableName when it is a full path, else the directory
    // followed by TableName (".dbf" added when it has no extension), the name
    // matched ignoring letter case.
    std::string FilePath() const;

    void Open();  // raises EDbfEngineError, EDbfTableInUse, EDbfFilterError
    void Close();
    bool Active() const;
    int FieldCount() const;  // 0 while closed
    int CodePage() const;    // of the open table

    // --- verified open ---------------------------------------------------------
    void OpenTable();  // quietly stays closed when CheckDbf refuses
    void CheckDbf() const;
    void CheckDbfFile() const;

    // --- schema ------------------------------------------------------------------
    void GetFieldDescs(TFldDescList& descs);
    void GetFields(TFldDefList& fields);
    int FieldIndex(const std::string& name) const;  // -1 when closed or absent
    static TFldDef MakeField(const std::string& name, TFldType type, std::int32_t width, std::int32_t decimals);
    static TFldDef NormalizeField(TFldDef field);
    void AddField(const TFldDef& field);
    void DeleteField(int position);
    void MoveField(int from, int to);
    // The definition the field already has changes nothing.
    void ModifyField(int position, const std::string& name, TFldType type, std::int32_t width, std::int32_t decimals);
    // The type of a letter (either case); raises for a byte that is no letter.
    static TFldType TypeFromChar(char letter);
    // Rewrites the table to the descriptors, in their order. A kept field
    // carries its bytes and its descriptor unchanged (fields of other types
    // than C, N, F, L, D too, so memo fields stay valid against their memo
    // file; such a field cannot be modified). A character field that only
    // changes width keeps its bytes (cut or padded). Field names are kept as
    // stored; two fields of one name stay, a new or changed name must be new.
    // A modified field carries its values converted:
    // numbers are rounded half away from zero to the new decimals, and one
    // that no longer fits becomes null (never a cut or starred number); text
    // is cut to the new width; text that is not a number becomes null in N
    // and F; numbers and dates written as text that would not fit become
    // null; L takes T/Y/F/N, D takes YYYYMMDD or YYYY-MM-DD. An added field
    // is blank. Deleted rows and their flag bytes, the header's version byte,
    // table flags, language driver and Visual FoxPro backlink area are kept. Raises EDbfTableInUse when another holder
    // has the file, EDbfException for an invalid list; the original is then
    // untouched.
    void Restructure(const TFldDescList& descs, const TOpType& ops);
    static FLDDesc FieldToDesc(const TFldDef& field);
    static TFldDef DescToField(const FLDDesc& desc);

    // --- rows --------------------------------------------------------------------
    void GetValues(TFldValList& values) const;  // empty when closed or no row
    // The same values without the field names (a walk over many rows).
    void GetRowValues(std::vector<TValue>& values) const;

    // New empty table at filePath (replacing an existing one atomically).
    static void CreateTable(const std::string& filePath, const TFldDefList& fields, int codePage = 1250);
    // Appends a record to the open table; values in column order, missing
    // trailing values and nulls are blank. Texts longer than their column are
    // cut; a value that cannot be stored raises and nothing is written.
    void AppendRecord(const std::vector<TValue>& values);
    // The bytes AppendRecord would write for the values (raises as it does), and
    // records given as such bytes one after another, appended in one write.
    std::string EncodeRecord(const std::vector<TValue>& values) const;
    void AppendEncoded(const std::string& records);

    // Navigation over the visible rows (passing the filter, not deleted).
    void First();
    void Next();
    bool Eof() const;
    int RecNo() const;        // 1-based record number in the file; 0 when none
    int RecordCount() const;  // records in the file, deleted ones included
    int VisibleCount() const;
    void DeleteCurrent();  // marks the row deleted and moves to the next visible one
    // Marks the rows of these record numbers (1-based; deleted or absent ones passed over)
    // deleted in one pass; the current row stays or, when it went, the next visible one.
    // Raises as DeleteCurrent when a row cannot be written (the rows before it stay deleted).
    void DeleteRecords(const std::vector<int>& recNos);
    void Refresh();        // re-reads the file, staying on the same record when it is still visible
    TValue FieldValue(const std::string& name) const;  // of the current row; raises for an unknown field

private:
    friend class TFieldEdits;
    struct Impl;
    std::unique_ptr<Impl> F;
};

// Schema edits gathered on a table's field list and written in one rewrite, so
// that a repair of many steps changes the table once or, when a step or the
// rewrite is refused, not at all. Each step does what the operation of
// TTableDBF of the same name does, on the list as the earlier steps left it.
// Fields of types whose values are not written here (memo, binary, Visual
// FoxPro's own) are carried through as stored; a step that would add such a
// field or change one raises EDbfException before anything is written.
class TFieldEdits {
public:
    explicit TFieldEdits(TTableDBF& table);  // reads the table's fields (none when it stays closed)
    const TFldDescList& Descs() const { return FDescs; }
    int FieldIndex(const std::string& name) const;  // -1 when absent
    void AddField(const TFldDef& field);
    void DeleteField(int position);
    void MoveField(int from, int to);
    void ModifyField(int position, const std::string& name, TFldType type, std::int32_t width, std::int32_t decimals);
    bool Changed() const;
    // Rewrites the table when anything changed (TTableDBF::Restructure); once.
    void Apply();

private:
    TTableDBF& FTable;
    bool FFound = false;  // the table could be opened
    TFldDescList FBefore, FDescs;
    TOpType FOps;
    std::vector<bool> FSystem;  // Visual FoxPro's _NullFlags, which stays last
};

}  // namespace vexa
