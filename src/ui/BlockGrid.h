#pragma once
// The cells of the main window's block grid: a title row and one row per block
// with the name status, the selection and the block file name (see GridRules.h).
// The window draws it; opening, renaming and deleting blocks change it here.
#include "ui/GridRules.h"

#include <array>
#include <string>
#include <vector>

namespace vexa {

class TBlockGrid {
public:
    using TRow = std::array<std::string, kGridColumns>;

    // A title row and one empty data row.
    TBlockGrid();

    int RowCount() const { return static_cast<int>(FRows.size()); }
    // At least 2 (the title row and one data row); new rows are empty.
    void SetRowCount(int count);

    const std::string& Cell(int col, int row) const;
    void SetCell(int col, int row, const std::string& text);
    const TRow& Row(int row) const;

    // The current row (a data row, 1 .. RowCount - 1).
    int CurrentRow() const { return FCurrent; }
    void SetCurrentRow(int row);

    // Empties every cell of every data row.
    void ClearDataRows();
    // The state without a map: the title row and one empty data row.
    void Reset();
    // True when the grid lists no block (one data row, all cells empty).
    bool HasNoBlock() const;

    // Fills the grid with one row per block, in the given order; one empty row when there is none.
    void SetBlocks(const std::vector<TRow>& rows);

    // The data rows that take part in a check run ("1" and "3"), as 1-based grid rows.
    std::vector<int> RowsToCheck() const;

    // After a block was renamed on disk: the new name into the name cell, the status from
    // layerKnown ("1", and "3" only where the selection was empty; or "0" and no selection).
    void ApplyRename(int row, const std::string& newName, bool layerKnown);

    // After a block was deleted: the following rows move up one place; the last row is
    // emptied and dropped unless it is the only data row. The current row index stays
    // (within the grid). Returns true when the deleted block was the only row (the
    // delete button is then to be disabled).
    bool DeleteRow(int row);

private:
    void CheckRow(int row) const;
    std::vector<TRow> FRows;
    int FCurrent = 1;
};

}  // namespace vexa
