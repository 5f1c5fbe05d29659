#pragma once
// The error browser's grid as a view of the error table: the visible rows
// (passing the filter, not deleted) with their record numbers in the file.
#include "dbase/TableDBF.h"

#include <QAbstractTableModel>
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

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Record number in the file of a visible row; 0 for none.
    // The column of a field, ignoring letter case; -1 when there is none.
    int ColumnOf(const std::string& name) const;
    int RecNoOf(int row) const;
    const TFldValList* ValuesOf(int row) const;
    // A field of a visible row (null when absent).
    TValue FieldOf(int row, const std::string& name) const;
    // Moves the table's current row onto the visible row; false when it is not there.
    bool PositionTable(int row);

private:
    struct TRow {
        int RecNo = 0;
        TFldValList Values;
    };
    TTableDBF& FTable;
    std::vector<std::string> FFields;
    std::vector<TRow> FRows;
};

}  // namespace vexa
