#include "ui/forms/ErrorTableModel.h"

#include "common/Text.h"
#include "ui/ErrorFilter.h"

#include <cstdlib>

namespace vexa {

TErrorTableModel::TErrorTableModel(TTableDBF& table, QObject* parent) : QAbstractTableModel(parent), FTable(table) {}

namespace {

TValue Num(const std::optional<std::int32_t>& v) {
    if (!v) return std::monostate{};
    return static_cast<double>(*v);
}

}  // namespace

void TErrorTableModel::Reload() {
    beginResetModel();
    FRows.clear();
    FFields.clear();
    if (FTable.Active()) {
        TFldDefList defs;
        FTable.GetFields(defs);
        for (const auto& d : defs) FFields.push_back(d.Name);
        auto column = [&](const char* name) { return ColumnOf(name); };
        const int id = column("Id"), blok = column("Blok"), prvok = column("Prvok"), druh = column("Druh"),
                  cislo = column("Cislo");
        static const TValue none;
        auto at = [](const std::vector<TValue>& values, int c) -> const TValue& {
            return c >= 0 && c < static_cast<int>(values.size()) ? values[static_cast<std::size_t>(c)] : none;
        };
        FTable.First();
        while (!FTable.Eof()) {
            TRow row;
            row.RecNo = FTable.RecNo();
            FTable.GetRowValues(row.Values);
            static const std::string noText;
            auto text = [&](int c) -> const std::string& {
                const std::string* t = std::get_if<std::string>(&at(row.Values, c));
                return t ? *t : noText;
            };
            const review::TStatusIndex::TEntry* status =
                FStatuses.Size() == 0 ? nullptr
                                      : FStatuses.Find(text(blok), text(prvok), review::IntegerOf(at(row.Values, cislo)),
                                                       review::IntegerOf(at(row.Values, id)).value_or(0), review::IntegerOf(at(row.Values, druh)));
            bool shown = FStatusFilter == AllStatuses;
            if (status) {
                const bool isNew = status->Status.Status == "new";
                row.Status = status->Text;
                shown = shown || (isNew ? FStatusFilter == NewOnly : FStatusFilter == PersistingOnly);
            }
            if (shown) FRows.push_back(std::move(row));
            FTable.Next();
        }
        if (!FRows.empty()) FTable.First();
        if (FStatusFilter == ExceptionsOnly) {
            // The exceptions in place of the findings, in the table's columns.
            FRows.clear();
            for (std::size_t i = 0; i < FExceptions.size(); ++i) {
                const review::TReviewException& e = FExceptions[i].Exception;
                TRow row;
                row.Exception = static_cast<int>(i);
                for (const std::string& f : FFields) {
                    TValue& v = row.Values.emplace_back();
                    if (SameTextAscii(f, "Id")) v = static_cast<double>(e.Code);
                    else if (SameTextAscii(f, "Blok")) v = e.Block;
                    else if (SameTextAscii(f, "Vrstva") && e.Layer) v = *e.Layer;
                    else if (SameTextAscii(f, "Prvok")) v = e.Group;
                    else if (SameTextAscii(f, "Druh")) v = Num(e.Kind);
                    else if (SameTextAscii(f, "Cislo")) v = Num(e.Number);
                    else if (SameTextAscii(f, "Chyba")) v = e.Text;
                }
                row.Status = &FExceptionTexts[i];
                FRows.push_back(std::move(row));
            }
        }
    }
    endResetModel();
}

void TErrorTableModel::SetStatuses(review::TStatusIndex statuses) {
    beginResetModel();
    FRows.clear();  // they point to the texts of the statuses
    FStatuses = std::move(statuses);
    endResetModel();
}

void TErrorTableModel::SetExceptions(std::vector<TExceptionRow> exceptions) {
    beginResetModel();
    FRows.clear();
    FExceptions = std::move(exceptions);
    FExceptionTexts.clear();
    for (const TExceptionRow& e : FExceptions)
        FExceptionTexts.push_back("výnimka, " + e.State + ": " + e.Exception.Reason);
    endResetModel();
}

void TErrorTableModel::SetStatusFilter(int filter) {
    FStatusFilter = filter;
    Reload();
}

const review::TReviewException* TErrorTableModel::ExceptionOf(int row) const {
    if (row < 0 || row >= rowCount()) return nullptr;
    const int i = FRows[static_cast<size_t>(row)].Exception;
    return i < 0 ? nullptr : &FExceptions[static_cast<size_t>(i)].Exception;
}

std::string TErrorTableModel::StatusText(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    const std::string* status = FRows[static_cast<size_t>(row)].Status;
    return status ? *status : std::string();
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
    // The fields and the status column (none while no table is open).
    return parent.isValid() || FFields.empty() ? 0 : static_cast<int>(FFields.size()) + 1;
}

QVariant TErrorTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    if (index.column() == StatusColumn()) {
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return QString::fromStdString(StatusText(index.row()));
        return {};
    }
    const auto& values = FRows[static_cast<size_t>(index.row())].Values;
    if (static_cast<size_t>(index.column()) >= values.size()) return {};
    const TValue& v = values[static_cast<size_t>(index.column())];
    // The tooltip shows a text whole where the column cuts it.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return QString::fromStdString(ValueText(v));
    if (role == Qt::TextAlignmentRole && std::holds_alternative<double>(v))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant TErrorTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
        if (section == StatusColumn() && section < columnCount()) return QString("Stav");
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
    const std::vector<TValue>& values = FRows[static_cast<size_t>(row)].Values;
    FNamed.clear();
    for (std::size_t i = 0; i < values.size() && i < FFields.size(); ++i) FNamed.push_back({FFields[i], values[i]});
    return &FNamed;
}

TValue TErrorTableModel::FieldOf(int row, const std::string& name) const {
    if (row < 0 || row >= rowCount()) return {};
    const int c = ColumnOf(name);
    const std::vector<TValue>& values = FRows[static_cast<size_t>(row)].Values;
    if (c < 0 || c >= static_cast<int>(values.size())) return {};
    return values[static_cast<std::size_t>(c)];
}

bool TErrorTableModel::PositionTable(int row) {
    const int recNo = RecNoOf(row);
    if (recNo == 0 || !FTable.Active()) return false;
    for (FTable.First(); !FTable.Eof(); FTable.Next())
        if (FTable.RecNo() == recNo) return true;
    return false;
}

}  // namespace vexa
