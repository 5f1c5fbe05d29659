#include "ui/BlockGrid.h"

#include "common/Exception.h"
#include "common/Text.h"

#include <algorithm>

namespace vexa {

TBlockGrid::TBlockGrid() { Reset(); }

void TBlockGrid::CheckRow(int row) const {
    if (row < 0 || row >= RowCount()) throw Exception(Format("Riadok %d mimo mriežky (0..%d)", row, RowCount() - 1));
}

void TBlockGrid::SetRowCount(int count) {
    FRows.resize(static_cast<size_t>(std::max(count, 2)));
    FCurrent = std::clamp(FCurrent, 1, RowCount() - 1);
}

const std::string& TBlockGrid::Cell(int col, int row) const {
    CheckRow(row);
    return FRows[static_cast<size_t>(row)].at(static_cast<size_t>(col));
}

void TBlockGrid::SetCell(int col, int row, const std::string& text) {
    CheckRow(row);
    FRows[static_cast<size_t>(row)].at(static_cast<size_t>(col)) = text;
}

const TBlockGrid::TRow& TBlockGrid::Row(int row) const {
    CheckRow(row);
    return FRows[static_cast<size_t>(row)];
}

void TBlockGrid::SetCurrentRow(int row) { FCurrent = std::clamp(row, 1, RowCount() - 1); }

void TBlockGrid::ClearDataRows() {
    for (size_t i = 1; i < FRows.size(); ++i) FRows[i] = TRow{};
}

void TBlockGrid::Reset() {
    FRows.assign(2, TRow{});
    FRows[0] = TRow{kTitleNazov, kTitleKontrola, kTitleVrstva};
    FCurrent = 1;
}

bool TBlockGrid::HasNoBlock() const { return RowCount() == 2 && FRows[1] == TRow{}; }

void TBlockGrid::SetBlocks(const std::vector<TRow>& rows) {
    ClearDataRows();
    SetRowCount(1 + static_cast<int>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) FRows[i + 1] = rows[i];
}

std::vector<int> TBlockGrid::RowsToCheck() const {
    std::vector<int> result;
    for (int row = 1; row < RowCount(); ++row)
        if (TakesPartInRun(FRows[row][kColNazov], FRows[row][kColKontrola])) result.push_back(row);
    return result;
}

void TBlockGrid::ApplyRename(int row, const std::string& newName, bool layerKnown) {
    CheckRow(row);
    TRow& r = FRows[static_cast<size_t>(row)];
    r[kColVrstva] = newName;
    if (layerKnown) {
        r[kColNazov] = kNameConforming;
        if (r[kColKontrola].empty()) r[kColKontrola] = kSelected;
    } else {
        r[kColNazov] = kNameNotConforming;
        r[kColKontrola].clear();
    }
}

bool TBlockGrid::DeleteRow(int row) {
    if (row < 1) CheckRow(-1);
    CheckRow(row);
    const int last = RowCount() - 1;
    for (int r = row; r < last; ++r) FRows[static_cast<size_t>(r)] = FRows[static_cast<size_t>(r) + 1];
    FRows[static_cast<size_t>(last)] = TRow{};
    if (RowCount() > 2) {
        FRows.pop_back();
        FCurrent = std::clamp(FCurrent, 1, RowCount() - 1);
        return false;
    }
    return true;
}

}  // namespace vexa
