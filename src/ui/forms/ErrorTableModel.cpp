#include "ui/forms/ErrorTableModel.h"

#include "common/Text.h"

#include <algorithm>
#include <unordered_map>

namespace vexa {

TErrorTableModel::TErrorTableModel(TTableDBF& table, QObject* parent) : QAbstractTableModel(parent), FTable(table) {}

namespace {

TValue Num(const std::optional<std::int32_t>& v) {
    if (!v) return std::monostate{};
    return static_cast<double>(*v);
}

const std::string kNone;

}  // namespace

TValue TErrorTableModel::ValueAt(std::size_t row, int column) const {
    if (column < 0 || column >= static_cast<int>(FColumns.size())) return {};
    const TColumn& c = FColumns[static_cast<std::size_t>(column)];
    switch (c.Kind) {
    case TColumn::Text:
        if (c.Texts[row] == kNoText) return std::monostate{};
        return FTexts[c.Texts[row]];
    case TColumn::Number:
        if (c.Blank[row]) return std::monostate{};
        return c.Numbers[row];
    case TColumn::Other: return c.Values[row];
    }
    return {};
}

const std::string& TErrorTableModel::TextAt(std::size_t row, int column) const {
    if (column < 0 || column >= static_cast<int>(FColumns.size())) return kNone;
    const TColumn& c = FColumns[static_cast<std::size_t>(column)];
    if (c.Kind != TColumn::Text || c.Texts[row] == kNoText) return kNone;
    return FTexts[c.Texts[row]];
}

std::optional<std::int32_t> TErrorTableModel::IntegerAt(std::size_t row, int column) const {
    if (column < 0 || column >= static_cast<int>(FColumns.size())) return std::nullopt;
    const TColumn& c = FColumns[static_cast<std::size_t>(column)];
    if (c.Kind == TColumn::Number) {
        if (c.Blank[row]) return std::nullopt;
        return static_cast<std::int32_t>(c.Numbers[row]);
    }
    return c.Kind == TColumn::Other ? review::IntegerOf(c.Values[row]) : std::nullopt;
}

const std::string& TErrorTableModel::Folded(std::uint32_t text) const {
    if (FFolded.size() != FTexts.size()) {
        FFolded.assign(FTexts.size(), std::string());
        FFoldedDone.assign(FTexts.size(), false);
    }
    if (!FFoldedDone[text]) {
        FFolded[text] = SearchFolded(FTexts[text]);
        FFoldedDone[text] = true;
    }
    return FFolded[text];
}

void TErrorTableModel::Reload() {
    beginResetModel();
    FShown.clear();
    FShownExceptions = false;
    FColumns.clear();
    FRows.clear();
    FTexts.clear();
    FFolded.clear();
    FFoldedDone.clear();
    FExceptionRows.clear();
    FFields.clear();
    if (FTable.Active()) {
        TFldDefList defs;
        FTable.GetFields(defs);
        for (const auto& d : defs) {
            FFields.push_back(d.Name);
            TColumn& c = FColumns.emplace_back();
            c.Kind = d.FieldType == TFldType::dbfChar                                               ? TColumn::Text
                     : d.FieldType == TFldType::dbfNumeric || d.FieldType == TFldType::dbfFloat ? TColumn::Number
                                                                                                : TColumn::Other;
        }
        FColId = ColumnOf("Id");
        FColBlok = ColumnOf("Blok");
        FColPrvok = ColumnOf("Prvok");
        FColDruh = ColumnOf("Druh");
        FColCislo = ColumnOf("Cislo");
        FColChyba = ColumnOf("Chyba");
        const std::size_t count = static_cast<std::size_t>(FTable.VisibleCount());
        FRows.reserve(count);
        for (TColumn& c : FColumns) {
            if (c.Kind == TColumn::Text) c.Texts.reserve(count);
            if (c.Kind == TColumn::Number) {
                c.Numbers.reserve(count);
                c.Blank.reserve(count);
            }
        }
        std::unordered_map<std::string, std::uint32_t> distinct;
        std::vector<TValue> values;
        for (FTable.First(); !FTable.Eof(); FTable.Next()) {
            FTable.GetRowValues(values);
            FRows.push_back({FTable.RecNo(), nullptr, false});
            for (std::size_t i = 0; i < FColumns.size(); ++i) {
                TColumn& c = FColumns[i];
                TValue* v = i < values.size() ? &values[i] : nullptr;
                switch (c.Kind) {
                case TColumn::Text: {
                    std::string* text = v ? std::get_if<std::string>(v) : nullptr;
                    if (!text) {
                        c.Texts.push_back(kNoText);
                        break;
                    }
                    const auto [at, added] = distinct.try_emplace(*text, static_cast<std::uint32_t>(FTexts.size()));
                    if (added) FTexts.push_back(std::move(*text));
                    c.Texts.push_back(at->second);
                    break;
                }
                case TColumn::Number: {
                    const double* d = v ? std::get_if<double>(v) : nullptr;
                    c.Numbers.push_back(d ? *d : 0.0);
                    c.Blank.push_back(!d);
                    break;
                }
                case TColumn::Other: c.Values.push_back(v ? std::move(*v) : TValue{}); break;
                }
            }
        }
        if (!FRows.empty()) FTable.First();
        FindStatuses();
        MakeExceptionRows();
    }
    MakeBlocks();
    Filter();
    endResetModel();
}

void TErrorTableModel::FindStatuses() {
    for (std::size_t r = 0; r < FRows.size(); ++r) {
        TRowState& row = FRows[r];
        row.Status = nullptr;
        row.IsNew = false;
        if (FStatuses.Size() == 0) continue;
        const review::TStatusIndex::TEntry* status =
            FStatuses.Find(TextAt(r, FColBlok), TextAt(r, FColPrvok), IntegerAt(r, FColCislo),
                           IntegerAt(r, FColId).value_or(0), IntegerAt(r, FColDruh));
        if (!status) continue;
        row.Status = status->Text;
        row.IsNew = status->Status.Status == "new";
    }
}

void TErrorTableModel::MakeExceptionRows() {
    FExceptionRows.clear();
    if (FFields.empty()) return;
    // The exceptions in place of the findings, in the table's columns.
    for (std::size_t i = 0; i < FExceptions.size(); ++i) {
        const review::TReviewException& e = FExceptions[i].Exception;
        TExceptionView& row = FExceptionRows.emplace_back();
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
    }
}

void TErrorTableModel::MakeBlocks() {
    FBlocks.clear();
    if (FColBlok < 0 || FColBlok >= static_cast<int>(FColumns.size()) || FColumns[FColBlok].Kind != TColumn::Text)
        return;
    std::vector<bool> seen(FTexts.size(), false);
    for (const std::uint32_t t : FColumns[static_cast<std::size_t>(FColBlok)].Texts) {
        if (t == kNoText || seen[t]) continue;
        seen[t] = true;
        if (!FTexts[t].empty()) FBlocks.push_back(FTexts[t]);
    }
    // As the block list orders the map's blocks (letter case ignored).
    std::stable_sort(FBlocks.begin(), FBlocks.end(),
                     [](const std::string& a, const std::string& b) { return LowerAscii(a) < LowerAscii(b); });
}

void TErrorTableModel::Filter() {
    FShown.clear();
    FShownExceptions = FStatusFilter == ExceptionsOnly;
    const std::vector<std::string>& words = FRowFilter.Words;
    if (FShownExceptions) {
        for (std::size_t i = 0; i < FExceptionRows.size(); ++i) {
            const TExceptionView& row = FExceptionRows[i];
            auto text = [&](int c) -> const std::string& {
                const std::string* t = c >= 0 && c < static_cast<int>(row.Values.size())
                                           ? std::get_if<std::string>(&row.Values[static_cast<std::size_t>(c)])
                                           : nullptr;
                return t ? *t : kNone;
            };
            auto value = [&](int c) -> TValue {
                return c >= 0 && c < static_cast<int>(row.Values.size()) ? row.Values[static_cast<std::size_t>(c)]
                                                                         : TValue{};
            };
            if (!FRowFilter.MatchesFields(text(FColPrvok), review::IntegerOf(value(FColId)), text(FColBlok))) continue;
            if (!words.empty()) {
                if (row.Key.empty())
                    row.Key = SearchKey(text(FColBlok), text(FColPrvok), ValueText(value(FColCislo)), text(FColChyba));
                if (!FRowFilter.MatchesSearch(row.Key)) continue;
            }
            FShown.push_back(static_cast<std::uint32_t>(i));
        }
        return;
    }
    // The search as SearchKey and MatchesSearch define it, taken part by part: whether a
    // distinct text holds a word is asked once per text, the element ("b:17") per row.
    const TColumn* blocks = FColBlok >= 0 && FColumns[FColBlok].Kind == TColumn::Text ? &FColumns[FColBlok] : nullptr;
    const TColumn* texts = FColChyba >= 0 && FColumns[FColChyba].Kind == TColumn::Text ? &FColumns[FColChyba] : nullptr;
    std::vector<std::vector<signed char>> holds(words.size(), std::vector<signed char>(FTexts.size(), -1));
    auto textHolds = [&](std::size_t w, std::uint32_t t) {
        if (t == kNoText) return words[w].empty();
        signed char& known = holds[w][t];
        if (known < 0) known = Folded(t).find(words[w]) != std::string::npos;
        return known == 1;
    };
    std::string element;
    FShown.reserve(FRows.size());
    for (std::size_t r = 0; r < FRows.size(); ++r) {
        const TRowState& row = FRows[r];
        if (FStatusFilter != AllStatuses && (!row.Status || row.IsNew != (FStatusFilter == NewOnly))) continue;
        if (!FRowFilter.MatchesFields(TextAt(r, FColPrvok), IntegerAt(r, FColId), TextAt(r, FColBlok))) continue;
        bool found = true;
        element.clear();
        for (std::size_t w = 0; w < words.size() && found; ++w) {
            if (blocks && textHolds(w, blocks->Texts[r])) continue;
            if (texts && textHolds(w, texts->Texts[r])) continue;
            if (element.empty()) element = SearchFolded(TextAt(r, FColPrvok)) + ":" + ValueText(ValueAt(r, FColCislo));
            found = element.find(words[w]) != std::string::npos;
        }
        if (found) FShown.push_back(static_cast<std::uint32_t>(r));
    }
}

void TErrorTableModel::Refilter() {
    beginResetModel();
    Filter();
    endResetModel();
}

void TErrorTableModel::SetStatuses(review::TStatusIndex statuses) {
    beginResetModel();
    FStatuses = std::move(statuses);
    FindStatuses();  // the rows pointed to the texts of the statuses before
    Filter();
    endResetModel();
}

void TErrorTableModel::SetExceptions(std::vector<TExceptionRow> exceptions) {
    beginResetModel();
    FExceptions = std::move(exceptions);
    FExceptionTexts.clear();
    for (const TExceptionRow& e : FExceptions)
        FExceptionTexts.push_back("výnimka, " + e.State + ": " + e.Exception.Reason);
    MakeExceptionRows();
    Filter();
    endResetModel();
}

void TErrorTableModel::SetStatusFilter(int filter) {
    FStatusFilter = filter;
    Refilter();
}

void TErrorTableModel::SetRowFilter(TErrorRowFilter filter) {
    FRowFilter = std::move(filter);
    Refilter();
}

void TErrorTableModel::RemoveRecords(const std::vector<int>& recNos) {
    if (recNos.empty() || FRows.empty()) return;
    std::vector<int> gone = recNos;
    std::sort(gone.begin(), gone.end());
    std::vector<bool> keep(FRows.size());
    for (std::size_t r = 0; r < FRows.size(); ++r)
        keep[r] = !std::binary_search(gone.begin(), gone.end(), FRows[r].RecNo);
    auto compact = [&](auto& column) {
        std::size_t to = 0;
        for (std::size_t r = 0; r < keep.size(); ++r)
            if (keep[r]) column[to++] = column[r];
        column.resize(to);
    };
    beginResetModel();
    FShown.clear();
    compact(FRows);
    for (TColumn& c : FColumns) {
        if (c.Kind == TColumn::Text) compact(c.Texts);
        if (c.Kind == TColumn::Number) {
            compact(c.Numbers);
            compact(c.Blank);
        }
        if (c.Kind == TColumn::Other) compact(c.Values);
    }
    MakeBlocks();
    Filter();
    endResetModel();
}

TValue TErrorTableModel::ShownValue(int row, int column) const {
    const std::uint32_t i = FShown[static_cast<std::size_t>(row)];
    if (!FShownExceptions) return ValueAt(i, column);
    const std::vector<TValue>& values = FExceptionRows[i].Values;
    return column >= 0 && column < static_cast<int>(values.size()) ? values[static_cast<std::size_t>(column)] : TValue{};
}

const review::TReviewException* TErrorTableModel::ExceptionOf(int row) const {
    if (row < 0 || row >= rowCount() || !FShownExceptions) return nullptr;
    const int i = FExceptionRows[FShown[static_cast<size_t>(row)]].Exception;
    return i < 0 ? nullptr : &FExceptions[static_cast<size_t>(i)].Exception;
}

std::string TErrorTableModel::StatusText(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    const std::uint32_t i = FShown[static_cast<size_t>(row)];
    const std::string* status = FShownExceptions ? FExceptionRows[i].Status : FRows[i].Status;
    return status ? *status : std::string();
}

void TErrorTableModel::Clear() {
    beginResetModel();
    FShown.clear();
    FShownExceptions = false;
    FColumns.clear();
    FRows.clear();
    FTexts.clear();
    FFolded.clear();
    FFoldedDone.clear();
    FExceptionRows.clear();
    FBlocks.clear();
    FFields.clear();
    endResetModel();
}

int TErrorTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FShown.size());
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
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::TextAlignmentRole) return {};
    const TValue v = ShownValue(index.row(), index.column());
    // The tooltip shows a text whole where the column cuts it.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return QString::fromStdString(ValueText(v));
    if (std::holds_alternative<double>(v)) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
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
    if (row < 0 || row >= rowCount() || FShownExceptions) return 0;
    return FRows[FShown[static_cast<size_t>(row)]].RecNo;
}

const TFldValList* TErrorTableModel::ValuesOf(int row) const {
    if (row < 0 || row >= rowCount()) return nullptr;
    FNamed.clear();
    for (std::size_t i = 0; i < FFields.size(); ++i)
        FNamed.push_back({FFields[i], ShownValue(row, static_cast<int>(i))});
    return &FNamed;
}

TValue TErrorTableModel::FieldOf(int row, const std::string& name) const {
    if (row < 0 || row >= rowCount()) return {};
    return ShownValue(row, ColumnOf(name));
}

}  // namespace vexa
