#pragma once
// The map view of the error browser: a window beside it that draws the block of the
// current finding with the finding's element in the marking colour. The drawing and the
// positioning are the windowless map view's (render/MapView.h); this window shows its
// picture and turns the wheel, drags and keys into its moves.
#include "render/MapView.h"

#include <QColor>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

class QLabel;

namespace vexa {

// The drawing area: the map view's picture, one pixel for one pixel.
class TMapCanvas : public QWidget {
    Q_OBJECT
public:
    explicit TMapCanvas(render::TMapView& view, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {640, 480}; }

signals:
    void CursorAt(double x, double y);  // the block's coordinates under the cursor
    void CursorLeft();

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    render::TMapView& FView;
    std::optional<QPointF> FDrag;
};

class TMapViewForm : public QWidget {
    Q_OBJECT
public:
    explicit TMapViewForm(QWidget* parent = nullptr);

    // Shows a finding: its block read (unless it is the one shown), its element marked,
    // the others of the block fainter; the view positioned by scale and zoom as the show
    // buttons position the GIS's view. A block that cannot be read or an element that is
    // not in it is said in the status line; false then.
    bool ShowFinding(const std::string& blockDir, render::TElementRef element,
                     std::vector<render::TElementRef> others, double scale, bool zoom);
    void SetMarkColour(const QColor& colour);
    // Shows the window, raised and active.
    void BringForward();

    render::TMapView& View() { return FView; }
    TMapCanvas* Canvas() const { return FCanvas; }
    QLabel* StatusLabel() const { return FStatus; }

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void Redraw();
    render::TMapView FView;
    TMapCanvas* FCanvas;
    QLabel* FCoords;
    QLabel* FStatus;
};

// The text of the cursor's position: "X: -512250.00  Y: -1210350.00".
QString CoordinatesText(double x, double y);

}  // namespace vexa
