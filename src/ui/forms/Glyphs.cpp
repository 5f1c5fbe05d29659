#include "ui/forms/Glyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace vexa {

namespace {

QPixmap Blank(int size = 16) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

QPixmap Face(bool smiling) {
    QPixmap pm = Blank();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(128, 96, 0), 1));
    p.setBrush(QColor(255, 221, 0));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QRectF(4.5, 4.5, 2, 2.5));
    p.drawEllipse(QRectF(9.5, 4.5, 2, 2.5));
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::NoBrush);
    QPainterPath mouth;
    if (smiling) {
        mouth.moveTo(4, 9.5);
        mouth.quadTo(8, 14, 12, 9.5);
    } else {
        mouth.moveTo(4.5, 12.5);
        mouth.quadTo(8, 8.5, 11.5, 12.5);
    }
    p.drawPath(mouth);
    return pm;
}

QPixmap CheckBox(bool ticked) {
    QPixmap pm(16, 16);
    pm.fill(QColor(212, 208, 200));  // opaque: the corners are drawn too
    QPainter p(&pm);
    p.setPen(QColor(128, 128, 128));
    p.setBrush(Qt::white);
    p.drawRect(1, 1, 13, 13);
    p.setPen(QColor(64, 64, 64));
    p.drawLine(2, 2, 13, 2);
    p.drawLine(2, 2, 2, 13);
    if (ticked) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(4, 8);
        tick.lineTo(6.5, 10.5);
        tick.lineTo(11.5, 4.5);
        p.drawPath(tick);
    }
    return pm;
}

void Magnifier(QPainter& p, int sign) {
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(200, 230, 255));
    p.drawEllipse(QRectF(2, 2, 10, 10));
    p.setPen(QPen(QColor(120, 70, 20), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 11), QPointF(16, 16));
    if (sign != 0) {
        p.setPen(QPen(Qt::black, 1.6));
        p.drawLine(QPointF(4.5, 7), QPointF(9.5, 7));
        if (sign > 0) p.drawLine(QPointF(7, 4.5), QPointF(7, 9.5));
    }
}

}  // namespace

QPixmap GridGlyph(int index) {
    switch (index) {
    case 0: return Face(false);
    case 1: return Face(true);
    case 2: return CheckBox(false);
    case 3: return CheckBox(true);
    default: return {};
    }
}

QIcon ButtonGlyph(TButtonGlyph glyph) {
    QPixmap pm = Blank(18);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (glyph) {
    case TButtonGlyph::Ok: {
        p.setPen(QPen(QColor(0, 128, 0), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath path;
        path.moveTo(3, 9);
        path.lineTo(7, 14);
        path.lineTo(15, 4);
        p.drawPath(path);
        break;
    }
    case TButtonGlyph::Info:
        p.setPen(QPen(QColor(0, 0, 160), 1));
        p.setBrush(QColor(255, 255, 225));
        p.drawEllipse(QRectF(1, 1, 16, 16));
        p.setPen(QPen(QColor(0, 0, 160), 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawPoint(QPointF(9, 5));
        p.drawLine(QPointF(9, 8.5), QPointF(9, 14));
        break;
    case TButtonGlyph::Delete:
        p.setPen(QPen(QColor(200, 0, 0), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(14, 14));
        p.drawLine(QPointF(14, 4), QPointF(4, 14));
        break;
    case TButtonGlyph::TreeAndPen:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 140, 0));
        p.drawPolygon(QPolygonF({QPointF(6, 1), QPointF(11, 9), QPointF(1, 9)}));
        p.drawPolygon(QPolygonF({QPointF(6, 5), QPointF(12, 14), QPointF(0, 14)}));
        p.setBrush(QColor(110, 60, 20));
        p.drawRect(QRectF(5, 14, 2, 3));
        p.setPen(QPen(QColor(0, 0, 200), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 3), QPointF(10, 15));
        break;
    case TButtonGlyph::ZoomIn: Magnifier(p, +1); break;
    case TButtonGlyph::ZoomOut: Magnifier(p, -1); break;
    case TButtonGlyph::Magnifier: Magnifier(p, 0); break;
    case TButtonGlyph::Mountains:
        p.setPen(QPen(QColor(80, 60, 40), 1));
        p.setBrush(QColor(150, 120, 90));
        p.drawPolygon(QPolygonF({QPointF(0, 16), QPointF(6, 5), QPointF(10, 11), QPointF(13, 7), QPointF(18, 16)}));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(6, 5), QPointF(7.8, 8.3), QPointF(4.2, 8.3)}));
        break;
    case TButtonGlyph::Map:  // a folded sheet with a boundary and a red mark
        p.setPen(QPen(QColor(90, 90, 90), 1));
        p.setBrush(QColor(235, 225, 190));
        p.drawPolygon(QPolygonF({QPointF(1, 3), QPointF(6, 1), QPointF(12, 3), QPointF(17, 1), QPointF(17, 15),
                                 QPointF(12, 17), QPointF(6, 15), QPointF(1, 17)}));
        p.setPen(QPen(QColor(107, 68, 35), 1.2));
        p.drawPolyline(QPolygonF({QPointF(3, 12), QPointF(7, 8), QPointF(11, 10), QPointF(15, 5)}));
        p.setPen(QPen(Qt::red, 2));
        p.drawEllipse(QPointF(11, 10), 2.2, 2.2);
        break;
    }
    return QIcon(pm);
}

}  // namespace vexa
