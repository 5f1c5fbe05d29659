#pragma once
// The error browser's grid as a view of the error table: the visible rows
// (passing the filter, not deleted) with their record numbers in the file, and a last
// column "Stav" with each finding's status from the map's run history ("nová", "trvá od
// DÁTUM"). The status filter keeps the new or the persisting findings; its "výnimky"
// shows the map's exceptions in place of the findings.
#include "dbase/TableDBF.h"
#include "review/RunReview.h"

#include <QAbstractTableModel>
#include <unordered_map>
#include <vector>

namespace vexa {

class TErrorTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TErrorTableModel(TTableDBF& table, QObject* parent = nullptr);

    // Reads the visible rows of the table again (after open, filter, delete).
    void Reload();
    // Empties the view (the table was closed).
    void Clear();

    // The statuses of the findings (review::LatestStatuses).
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
    // The same without reading the rows again (the next Reload applies it).
    void ResetStatusFilter(int filter = AllStatuses) { FStatusFilter = filter; }
    int StatusFilter() const { return FStatusFilter; }
    // The exception of a visible row in the exceptions view; nullptr otherwise.
    const review::TReviewException* ExceptionOf(int row) const;
    // The status column's text of a visible row.
    std::string StatusText(int row) const;
    int StatusColumn() const { return static_cast<int>(FFields.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Record number in the file of a visible row; 0 for none.
    // The column of a field, ignoring letter case; -1 when there is none.
    int ColumnOf(const std::string& name) const;
    int RecNoOf(int row) const;
    // The row's fields with their names; valid until the next call.
    const TFldValList* ValuesOf(int row) const;
    // A field of a visible row (null when absent).
    TValue FieldOf(int row, const std::string& name) const;
    // Moves the table's current row onto the visible row; false when it is not there.
    bool PositionTable(int row);

private:
    struct TRow {
        int RecNo = 0;
        std::vector<TValue> Values;  // in the order of FFields
        const std::string* Status = nullptr;  // its status text (of FStatuses or FExceptionTexts)
        int Exception = -1;                   // index into FExceptions in the exceptions view
    };
    TTableDBF& FTable;
    std::vector<std::string> FFields;
    std::vector<TRow> FRows;
    review::TStatusIndex FStatuses;
    std::vector<TExceptionRow> FExceptions;
    std::vector<std::string> FExceptionTexts;  // the status column of each exception
    int FStatusFilter = AllStatuses;
    mutable TFldValList FNamed;  // ValuesOf's answer
};

}  // namespace vexa
