#include "ui/forms/StringGrid.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace vexa {

TStringGrid::TStringGrid(TBlockGrid& cells, QWidget* parent)
    : QAbstractScrollArea(parent), FCells(cells), FColWidths(kGridColumns, 64) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    verticalScrollBar()->setSingleStep(1);
    UpdateScrollBar();
}

void TStringGrid::SetColWidth(int col, int width) {
    FColWidths.at(static_cast<size_t>(col)) = width;
    viewport()->update();
}

void TStringGrid::SetDefaultRowHeight(int height) {
    FRowHeight = height;
    UpdateScrollBar();
    viewport()->update();
}

int TStringGrid::ColLeft(int col) const {
    int x = 0;
    for (int c = 0; c < col; ++c) x += FColWidths[static_cast<size_t>(c)] + kLine;
    return x;
}

QRect TStringGrid::CellRect(int col, int row) const {
    if (col < 0 || col >= kGridColumns || row < 0 || row >= FCells.RowCount()) return {};
    int top = 0;
    if (row > 0) {
        if (row < FTopRow) return {};
        top = (FRowHeight + kLine) * (1 + row - FTopRow);
    }
    return QRect(ColLeft(col), top, FColWidths[static_cast<size_t>(col)], FRowHeight);
}

bool TStringGrid::MouseToCell(int x, int y, int& col, int& row) const {
    col = row = -1;
    for (int c = 0; c < kGridColumns; ++c) {
        const int left = ColLeft(c);
        if (x >= left && x < left + FColWidths[static_cast<size_t>(c)] + kLine) {
            col = c;
            break;
        }
    }
    if (col < 0 || y < 0) return false;
    const int band = y / (FRowHeight + kLine);
    row = band == 0 ? 0 : FTopRow + band - 1;
    if (row >= FCells.RowCount()) {
        col = row = -1;
        return false;
    }
    return true;
}

int TStringGrid::VisibleDataRows() const {
    const int h = viewport()->height() - (FRowHeight + kLine);
    return std::max(1, h / (FRowHeight + kLine));
}

void TStringGrid::UpdateScrollBar() {
    const int dataRows = FCells.RowCount() - 1;
    const int max = std::max(0, dataRows - VisibleDataRows());
    verticalScrollBar()->setRange(0, max);
    verticalScrollBar()->setPageStep(VisibleDataRows());
    FTopRow = std::clamp(FTopRow, 1, 1 + max);
    if (verticalScrollBar()->value() != FTopRow - 1) verticalScrollBar()->setValue(FTopRow - 1);
}

void TStringGrid::scrollContentsBy(int, int) {
    FTopRow = 1 + verticalScrollBar()->value();
    viewport()->update();
}

void TStringGrid::EnsureVisible(int row) {
    if (row < FTopRow)
        FTopRow = row;
    else if (row >= FTopRow + VisibleDataRows())
        FTopRow = row - VisibleDataRows() + 1;
    UpdateScrollBar();
}

void TStringGrid::SetRow(int row) {
    const int old = FCells.CurrentRow();
    FCells.SetCurrentRow(row);
    EnsureVisible(FCells.CurrentRow());
    viewport()->update();
    if (old != FCells.CurrentRow()) emit CurrentRowChanged(FCells.CurrentRow());
}

void TStringGrid::RowsChanged() {
    FCells.SetCurrentRow(FCells.CurrentRow());
    UpdateScrollBar();
    EnsureVisible(FCells.CurrentRow());
    viewport()->update();
}

void TStringGrid::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    const int lastVisible = std::min(FCells.RowCount() - 1, FTopRow + VisibleDataRows());
    const QColor lineColour = palette().color(QPalette::Mid);
    auto drawRow = [&](int row) {
        for (int col = 0; col < kGridColumns; ++col) {
            const QRect r = CellRect(col, row);
            if (r.isEmpty()) continue;
            TDrawState state;
            state.Fixed = row == 0 || col < FFixedCols;
            state.Focused = row != 0 && row == FCells.CurrentRow() && hasFocus();
            p.save();
            p.setClipRect(r);
            if (FDrawCell) FDrawCell(p, col, row, r, state);
            p.restore();
            p.fillRect(QRect(r.right() + 1, r.top(), kLine, r.height() + kLine), lineColour);
            p.fillRect(QRect(r.left(), r.bottom() + 1, r.width() + kLine, kLine), lineColour);
        }
    };
    drawRow(0);
    for (int row = FTopRow; row <= lastVisible; ++row) drawRow(row);
}

void TStringGrid::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    int col, row;
    const QPoint pos = e->position().toPoint();
    // Only a click into a cell that is not fixed moves the current row.
    if (e->button() == Qt::LeftButton && MouseToCell(pos.x(), pos.y(), col, row) && row > 0 && col >= FFixedCols)
        SetRow(row);
    viewport()->update();
}

void TStringGrid::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    emit MouseUp(pos.x(), pos.y());
}

void TStringGrid::mouseDoubleClickEvent(QMouseEvent* e) {
    mousePressEvent(e);
    const QPoint pos = e->position().toPoint();
    emit DoubleClicked(pos.x(), pos.y());
}

void TStringGrid::keyPressEvent(QKeyEvent* e) {
    const int row = FCells.CurrentRow();
    switch (e->key()) {
    case Qt::Key_Up: SetRow(row - 1); break;
    case Qt::Key_Down: SetRow(row + 1); break;
    case Qt::Key_PageUp: SetRow(row - VisibleDataRows()); break;
    case Qt::Key_PageDown: SetRow(row + VisibleDataRows()); break;
    case Qt::Key_Home: SetRow(1); break;
    case Qt::Key_End: SetRow(FCells.RowCount() - 1); break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Delete: emit RowKey(e->key()); break;
    default: QAbstractScrollArea::keyPressEvent(e); return;
    }
}

void TStringGrid::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateScrollBar();
}

void TStringGrid::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void TStringGrid::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

}  // namespace vexa
