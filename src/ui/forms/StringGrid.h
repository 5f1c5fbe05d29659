#pragma once
// An owner-drawn string grid over TBlockGrid: one fixed title row, fixed columns,
// whole-row selection, vertical scrolling by rows. The owner draws every cell.
#include "ui/BlockGrid.h"

#include <QAbstractScrollArea>
#include <functional>
#include <vector>

namespace vexa {

class TStringGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    struct TDrawState {
        bool Fixed = false;    // title row or fixed column
        bool Focused = false;  // the current row while the grid has the input focus
    };
    using TDrawCell = std::function<void(QPainter&, int col, int row, const QRect& rect, TDrawState)>;

    TStringGrid(TBlockGrid& cells, QWidget* parent = nullptr);

    TBlockGrid& Cells() { return FCells; }
    void SetFixedCols(int count) { FFixedCols = count; }
    void SetColWidth(int col, int width);
    int ColWidth(int col) const { return FColWidths.at(static_cast<size_t>(col)); }
    int DefaultRowHeight() const { return FRowHeight; }
    void SetDefaultRowHeight(int height);
    void SetOnDrawCell(TDrawCell draw) { FDrawCell = std::move(draw); }

    // Cell rectangle in viewport coordinates; empty when the row is scrolled away.
    QRect CellRect(int col, int row) const;
    // The cell at a point of the viewport, or false.
    bool MouseToCell(int x, int y, int& col, int& row) const;

    int Row() const { return FCells.CurrentRow(); }
    void SetRow(int row);
    int TopRow() const { return FTopRow; }

    // After the cells changed (rows added or removed).
    void RowsChanged();

signals:
    // Released mouse button, in viewport coordinates.
    void MouseUp(int x, int y);
    void DoubleClicked(int x, int y);
    void CurrentRowChanged(int row);
    // Space, Enter/Return or Delete pressed on the grid (the owner acts on the current row).
    void RowKey(int key);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    void focusOutEvent(QFocusEvent*) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    int VisibleDataRows() const;
    void UpdateScrollBar();
    void EnsureVisible(int row);
    int ColLeft(int col) const;

    TBlockGrid& FCells;
    std::vector<int> FColWidths;
    int FFixedCols = 0;
    int FRowHeight = 22;
    int FTopRow = 1;
    static constexpr int kLine = 1;  // grid line width
    TDrawCell FDrawCell;
};

}  // namespace vexa
