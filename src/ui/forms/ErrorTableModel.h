#pragma once
// The error browser's grid as a view of the error table: the table's rows (not deleted),
// read once with their record numbers in the file, of which the filters keep those shown,
// and a last column "Stav" with each finding's status from the map's run history ("nová",
// "trvá od DÁTUM"). The filters (group, type, block, text search: TErrorRowFilter, and the
// status) narrow the rows read without reading the table again. The status filter keeps
// the new or the persisting findings; its "výnimky" shows the map's exceptions in place of
// the findings, under the same group, type, block and search.
#include "dbase/TableDBF.h"
#include "review/RunReview.h"
#include "ui/ErrorFilter.h"

#include <QAbstractTableModel>
#include <cstdint>
#include <optional>
#include <vector>

namespace vexa {

class TErrorTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TErrorTableModel(TTableDBF& table, QObject* parent = nullptr);

    // Reads the table's rows again (after open or a run) and filters them.
    void Reload();
    // Empties the view (the table was closed).
    void Clear();

    // The statuses of the findings (review::LatestStatuses); the rows read take theirs.
    void SetStatuses(review::TStatusIndex statuses);
    // One exception as a row: its finding's columns and its state ("platí", "neplatí: prvok
    // sa zmenil", "prvok už neexistuje") with the reason.
    struct TExceptionRow {
        review::TReviewException Exception;
        std::string State;
    };
    void SetExceptions(std::vector<TExceptionRow> exceptions);
    // Status filter: 0 all, 1 new, 2 persisting, 3 the exceptions instead of the findings.
    enum TStatusFilter { AllStatuses = 0, NewOnly = 1, PersistingOnly = 2, ExceptionsOnly = 3 };
    void SetStatusFilter(int filter);
    // The same without filtering again (the next Reload or filter applies it).
    void ResetStatusFilter(int filter = AllStatuses) { FStatusFilter = filter; }
    int StatusFilter() const { return FStatusFilter; }
    // The group, type, block and search filter; the rows shown follow at once.
    void SetRowFilter(TErrorRowFilter filter);
    // The same without filtering again.
    void ResetRowFilter(TErrorRowFilter filter = {}) { FRowFilter = std::move(filter); }
    const TErrorRowFilter& RowFilter() const { return FRowFilter; }
    // The rows of these record numbers left the table (deleted): gone from the view too,
    // without reading the table again.
    void RemoveRecords(const std::vector<int>& recNos);
    // The blocks of the table's rows (every row read, whatever the filters), each once, in
    // the map's order (the order of the main window's block list).
    const std::vector<std::string>& Blocks() const { return FBlocks; }

    // The exception of a visible row in the exceptions view; nullptr otherwise.
    const review::TReviewException* ExceptionOf(int row) const;
    // The status column's text of a visible row.
    std::string StatusText(int row) const;
    int StatusColumn() const { return static_cast<int>(FFields.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The column of a field, ignoring letter case; -1 when there is none.
    int ColumnOf(const std::string& name) const;
    // Record number in the file of a visible row; 0 for none.
    int RecNoOf(int row) const;
    // The row's fields with their names; valid until the next call.
    const TFldValList* ValuesOf(int row) const;
    // A field of a visible row (null when absent).
    TValue FieldOf(int row, const std::string& name) const;

private:
    // The table's rows are kept by column: a text as an index into the table's distinct texts
    // (the blocks and the texts of findings repeat), a number as a number, other values as
    // they are read. The texts are converted once each and a row takes a few dozen bytes.
    static constexpr std::uint32_t kNoText = 0xFFFFFFFFu;
    struct TColumn {
        enum TKind : char { Text, Number, Other } Kind = Other;
        std::vector<std::uint32_t> Texts;  // Text: index into FTexts, kNoText for a blank
        std::vector<double> Numbers;       // Number
        std::vector<bool> Blank;           // Number: no value
        std::vector<TValue> Values;        // Other
    };
    struct TRowState {
        int RecNo = 0;
        const std::string* Status = nullptr;  // its status text (of FStatuses)
        bool IsNew = false;                   // its status is "new"
    };
    // An exception shown in the table's columns.
    struct TExceptionView {
        std::vector<TValue> Values;           // in the order of FFields
        const std::string* Status = nullptr;  // of FExceptionTexts
        int Exception = -1;                   // index into FExceptions
        mutable std::string Key;              // SearchKey, made at the first search
    };

    TValue ValueAt(std::size_t row, int column) const;  // of a table row
    const std::string& TextAt(std::size_t row, int column) const;
    std::optional<std::int32_t> IntegerAt(std::size_t row, int column) const;
    const std::string& Folded(std::uint32_t text) const;
    TValue ShownValue(int row, int column) const;
    void FindStatuses();
    void MakeExceptionRows();
    void MakeBlocks();
    // The rows shown under the filters (inside a model reset).
    void Filter();
    void Refilter();  // the same as a model reset

    TTableDBF& FTable;
    std::vector<std::string> FFields;
    int FColId = -1, FColBlok = -1, FColPrvok = -1, FColDruh = -1, FColCislo = -1, FColChyba = -1;
    std::vector<TColumn> FColumns;       // the table's rows, in record order, by column
    std::vector<TRowState> FRows;        // and what goes with each
    std::vector<std::string> FTexts;     // the distinct texts of the table
    mutable std::vector<std::string> FFolded;  // SearchFolded of each, made at the first search
    mutable std::vector<bool> FFoldedDone;
    std::vector<TExceptionView> FExceptionRows;
    std::vector<std::uint32_t> FShown;   // the rows shown: of FRows, or of FExceptionRows
    bool FShownExceptions = false;       // FShown names exceptions
    std::vector<std::string> FBlocks;
    review::TStatusIndex FStatuses;
    std::vector<TExceptionRow> FExceptions;
    std::vector<std::string> FExceptionTexts;  // the status column of each exception
    int FStatusFilter = AllStatuses;
    TErrorRowFilter FRowFilter;
    mutable TFldValList FNamed;  // ValuesOf's answer
};

}  // namespace vexa
