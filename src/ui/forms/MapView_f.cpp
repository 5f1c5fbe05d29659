#include "ui/forms/MapView_f.h"

#include "common/FileNames.h"
#include "common/SysError.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

namespace vexa {

QString CoordinatesText(double x, double y) {
    return QString("X: %1  Y: %2").arg(x, 0, 'f', 2).arg(y, 0, 'f', 2);
}

TMapCanvas::TMapCanvas(render::TMapView& view, QWidget* parent) : QWidget(parent), FView(view) {
    setObjectName("MapCanvas");
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(160, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::OpenHandCursor);
}

void TMapCanvas::paintEvent(QPaintEvent*) {
    FView.Resize(width(), height());
    const render::TImage& image = FView.Render();
    // The picture's pixels are 0xFFRRGGBB, as Qt's RGB32 holds them: shown without a copy.
    const QImage shown(reinterpret_cast<const uchar*>(image.Bits()), image.Width(), image.Height(),
                       image.Width() * 4, QImage::Format_RGB32);
    QPainter p(this);
    p.drawImage(0, 0, shown);
}

void TMapCanvas::resizeEvent(QResizeEvent* e) {
    // The centre and the scale stay; the window shows more or less around them.
    FView.Resize(width(), height());
    QWidget::resizeEvent(e);
}

void TMapCanvas::wheelEvent(QWheelEvent* e) {
    const double notches = e->angleDelta().y() / 120.0;
    if (notches == 0) return;
    const QPointF at = e->position();
    FView.Viewport().ZoomAt(at.x(), at.y(), std::pow(2.0, notches / 2));
    update();
    e->accept();
}

void TMapCanvas::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    FDrag = e->position();
    setCursor(Qt::ClosedHandCursor);
}

void TMapCanvas::mouseMoveEvent(QMouseEvent* e) {
    const QPointF at = e->position();
    if (FDrag) {
        FView.Viewport().Pan(at.x() - FDrag->x(), at.y() - FDrag->y());
        FDrag = at;
        update();
    }
    const TPlaceXY world = FView.Viewport().WorldAt(at.x(), at.y());
    emit CursorAt(world.X, world.Y);
}

void TMapCanvas::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    FDrag.reset();
    setCursor(Qt::OpenHandCursor);
}

void TMapCanvas::leaveEvent(QEvent* e) {
    emit CursorLeft();
    QWidget::leaveEvent(e);
}

TMapViewForm::TMapViewForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("MapViewForm");
    setWindowTitle("Mapa");
    FCanvas = new TMapCanvas(FView, this);
    FCoords = new QLabel(this);
    FCoords->setObjectName("MapCoords");
    FCoords->setMinimumWidth(260);
    FStatus = new QLabel(this);
    FStatus->setObjectName("MapStatus");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(FStatus, 1);
    bottom->addWidget(FCoords);
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(2, 2, 2, 2);
    main->addWidget(FCanvas, 1);
    main->addLayout(bottom);
    FCanvas->setToolTip(QString::fromUtf8("Koliesko myši mení mierku, ťahanie posúva mapu;\n"
                                          "+ a − zväčšujú a zmenšujú, Home ukáže celý blok."));
    connect(FCanvas, &TMapCanvas::CursorAt, this,
            [this](double x, double y) { FCoords->setText(CoordinatesText(x, y) + " (S-JTSK)"); });
    connect(FCanvas, &TMapCanvas::CursorLeft, this, [this] { FCoords->clear(); });
    resize(640, 480);
}

void TMapViewForm::Redraw() { FCanvas->update(); }

bool TMapViewForm::ShowFinding(const std::string& blockDir, render::TElementRef element,
                               std::vector<render::TElementRef> others, double scale, bool zoom) {
    const std::string name = ExtractFileName(ExcludeTrailingDelimiter(blockDir));
    layout()->activate();  // the canvas at its size before the view is fitted to it
    FView.Resize(FCanvas->width(), FCanvas->height());
    const bool fresh = !FView.Scene() || FView.Scene()->BlockDir() != blockDir;
    try {
        // Reading a big block takes a moment: the wait cursor says so.
        if (fresh) QApplication::setOverrideCursor(Qt::WaitCursor);
        struct TRestore {
            bool On;
            ~TRestore() {
                if (On) QApplication::restoreOverrideCursor();
            }
        } restore{fresh};
        FView.OpenBlock(blockDir);
    } catch (const std::exception& e) {
        setWindowTitle("Mapa");
        FStatus->setText(QString::fromStdString(UserMessage(e)).replace('\r', ' '));
        Redraw();
        return false;
    }
    if (fresh) FView.FitBlock();  // a block shown for the first time: all of it
    FView.SetOthers(std::move(others));
    const QString what =
        QString("%1 %2 %3").arg(QString::fromStdString(name)).arg(GroupLetter(element.Group)).arg(element.Number);
    setWindowTitle("Mapa: " + what);
    const bool shown = FView.ShowElement(element, scale, zoom);
    // With what the limit checks measure, or why an area's ring does not close.
    const std::string summary = shown ? render::PlaceSummary(FView.MarkedPlace()) : std::string();
    FStatus->setText(shown ? (summary.empty() ? what : what + ": " + QString::fromStdString(summary))
                           : QString::fromUtf8("Prvok nebol nájdený."));
    Redraw();
    return shown;
}

void TMapViewForm::SetMarkColour(const QColor& colour) {
    FView.SetMarkColour(render::TRgb(colour.rgb() & 0xFFFFFF));
    Redraw();
}

void TMapViewForm::BringForward() {
    show();
    raise();
    activateWindow();
}

void TMapViewForm::keyPressEvent(QKeyEvent* e) {
    const double cx = FCanvas->width() / 2.0, cy = FCanvas->height() / 2.0;
    switch (e->key()) {
    case Qt::Key_Plus:
        FView.Viewport().ZoomAt(cx, cy, 2);
        break;
    case Qt::Key_Minus:
        FView.Viewport().ZoomAt(cx, cy, 0.5);
        break;
    case Qt::Key_Home:
        FView.FitBlock();
        break;
    case Qt::Key_Escape:
        close();
        return;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    Redraw();
}

}  // namespace vexa
