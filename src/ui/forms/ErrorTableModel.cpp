#include "ui/forms/ErrorTableModel.h"

#include "common/Text.h"
#include "ui/ErrorFilter.h"

namespace vexa {

TErrorTableModel::TErrorTableModel(TTableDBF& table, QObject* parent) : QAbstractTableModel(parent), FTable(table) {}

void TErrorTableModel::Reload() {
    beginResetModel();
    FRows.clear();
    FFields.clear();
    if (FTable.Active()) {
        TFldDefList defs;
        FTable.GetFields(defs);
        for (const auto& d : defs) FFields.push_back(d.Name);
        FTable.First();
        while (!FTable.Eof()) {
            TRow row;
            row.RecNo = FTable.RecNo();
            FTable.GetValues(row.Values);
            FRows.push_back(std::move(row));
            FTable.Next();
        }
        if (!FRows.empty()) FTable.First();
    }
    endResetModel();
}

void TErrorTableModel::Clear() {
    beginResetModel();
    FRows.clear();
    FFields.clear();
    endResetModel();
}

int TErrorTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TErrorTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FFields.size());
}

QVariant TErrorTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const auto& values = FRows[static_cast<size_t>(index.row())].Values;
    if (static_cast<size_t>(index.column()) >= values.size()) return {};
    const TValue& v = values[static_cast<size_t>(index.column())].Value;
    // The tooltip shows a text whole where the column cuts it.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return QString::fromStdString(ValueText(v));
    if (role == Qt::TextAlignmentRole && std::holds_alternative<double>(v))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant TErrorTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
        if (section >= 0 && section < columnCount())
            return QString::fromStdString(FFields[static_cast<size_t>(section)]);
        return {};
    }
    return QString();  // the record indicator column carries no numbers
}

int TErrorTableModel::ColumnOf(const std::string& name) const {
    for (size_t i = 0; i < FFields.size(); ++i)
        if (SameTextAscii(FFields[i], name)) return static_cast<int>(i);
    return -1;
}

int TErrorTableModel::RecNoOf(int row) const {
    if (row < 0 || row >= rowCount()) return 0;
    return FRows[static_cast<size_t>(row)].RecNo;
}

const TFldValList* TErrorTableModel::ValuesOf(int row) const {
    if (row < 0 || row >= rowCount()) return nullptr;
    return &FRows[static_cast<size_t>(row)].Values;
}

TValue TErrorTableModel::FieldOf(int row, const std::string& name) const {
    const TFldValList* values = ValuesOf(row);
    if (!values) return {};
    for (const auto& v : *values)
        if (SameTextAscii(v.Name, name)) return v.Value;
    return {};
}

bool TErrorTableModel::PositionTable(int row) {
    const int recNo = RecNoOf(row);
    if (recNo == 0 || !FTable.Active()) return false;
    for (FTable.First(); !FTable.Eof(); FTable.Next())
        if (FTable.RecNo() == recNo) return true;
    return false;
}

}  // namespace vexa
