#include "app/Artwork.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

#include "desktop/AppIcon.h"

namespace app {
namespace {

void page(QPainter& p, QRectF r, const QColor& fill) {
    const qreal fold = r.width() * 0.35;
    QPolygonF shape;
    shape << r.topLeft() << QPointF(r.right() - fold, r.top()) << QPointF(r.right(), r.top() + fold)
          << r.bottomRight() << r.bottomLeft();
    p.setBrush(fill);
    p.drawPolygon(shape);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

void arrow(QPainter& p, QPointF from, QPointF to, const QColor& c) {
    p.save();
    p.setPen(QPen(c, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const QPointF d = to - from;
    const qreal len = std::hypot(d.x(), d.y());
    const QPointF u = d / len, n(-u.y(), u.x());
    QPolygonF head;
    head << to + u * 1.5 << to - u * 3.5 + n * 3.0 << to - u * 3.5 - n * 3.0;
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(head);
    p.restore();
}

void drawTool(QPainter& p, ToolImage which) {
    const QColor outline(40, 40, 40);
    p.setPen(QPen(outline, 1.0));
    switch (which) {
    case ToolImage::Compress:
        page(p, QRectF(6.5, 4.5, 7, 11), QColor(250, 250, 250));
        p.setBrush(QColor(200, 140, 40));
        p.drawRect(QRectF(6.5, 8.5, 7, 3));
        arrow(p, QPointF(0.5, 10), QPointF(4.5, 10), QColor(30, 110, 200));
        arrow(p, QPointF(19.5, 10), QPointF(15.5, 10), QColor(30, 110, 200));
        break;
    case ToolImage::Decompress:
        page(p, QRectF(6.5, 4.5, 7, 11), QColor(250, 250, 250));
        p.setBrush(QColor(200, 140, 40));
        p.drawRect(QRectF(6.5, 8.5, 7, 3));
        arrow(p, QPointF(5.5, 10), QPointF(1.0, 10), QColor(40, 160, 60));
        arrow(p, QPointF(14.5, 10), QPointF(19.0, 10), QColor(40, 160, 60));
        break;
    case ToolImage::Copy:
        page(p, QRectF(2.5, 2.5, 9, 12), QColor(255, 250, 200));
        page(p, QRectF(8.5, 6.5, 9, 12), QColor(210, 230, 255));
        break;
    case ToolImage::Move:
        page(p, QRectF(2.5, 3.5, 9, 13), QColor(255, 250, 200));
        arrow(p, QPointF(9, 12), QPointF(18.5, 12), QColor(200, 60, 40));
        break;
    case ToolImage::Delete:
        p.setBrush(QColor(170, 170, 180));
        p.drawRect(QRectF(5.5, 6.5, 9, 11));
        p.drawRect(QRectF(4.5, 4.5, 11, 2));
        p.setPen(QPen(QColor(220, 30, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(7, 9), QPointF(13, 15));
        p.drawLine(QPointF(13, 9), QPointF(7, 15));
        break;
    case ToolImage::Run: {
        p.setBrush(QColor(60, 170, 70));
        p.drawEllipse(QRectF(1.5, 1.5, 17, 17));
        QPolygonF tri;
        tri << QPointF(8, 5.5) << QPointF(14.5, 10) << QPointF(8, 14.5);
        p.setBrush(Qt::white);
        p.drawPolygon(tri);
        break;
    }
    case ToolImage::View:
        p.setPen(QPen(QColor(120, 80, 40), 3.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12.5, 12.5), QPointF(18, 18));
        p.setPen(QPen(outline, 1.5));
        p.setBrush(QColor(170, 220, 255));
        p.drawEllipse(QRectF(2, 2, 11, 11));
        break;
    case ToolImage::Add:
        page(p, QRectF(2.5, 2.5, 10, 14), QColor(250, 250, 250));
        p.setPen(QPen(QColor(40, 160, 60), 2.5));
        p.drawLine(QPointF(15, 9), QPointF(15, 18));
        p.drawLine(QPointF(10.5, 13.5), QPointF(19.5, 13.5));
        break;
    case ToolImage::Exit:
        p.setBrush(QColor(140, 90, 50));
        p.drawRect(QRectF(4.5, 2.5, 10, 15));
        arrow(p, QPointF(9, 10), QPointF(19, 10), QColor(200, 60, 40));
        break;
    case ToolImage::ViewAsText:
        page(p, QRectF(3.5, 2.5, 13, 15), QColor(250, 250, 250));
        p.setPen(QPen(QColor(30, 60, 160), 1.0));
        for (int y = 7; y <= 15; y += 2) p.drawLine(QPointF(5.5, y + 0.5), QPointF(13.5, y + 0.5));
        break;
    }
}

QImage greyed(const QImage& src) {
    QImage out = src.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb c = line[x];
            // Lift towards light grey so the button reads as inactive.
            const int g = (qGray(c) + 2 * 150) / 3;
            line[x] = qRgba(g, g, g, qAlpha(c));
        }
    }
    return out;
}

} // namespace

QPixmap toolPixmap(ToolImage which, bool coloured, int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 20.0, size / 20.0);
        drawTool(p, which);
    }
    return QPixmap::fromImage(coloured ? img : greyed(img));
}

QIcon toolIcon(ToolImage which) {
    QIcon icon;
    for (int size : {20, 40}) {
        icon.addPixmap(toolPixmap(which, false, size), QIcon::Normal);
        icon.addPixmap(toolPixmap(which, true, size), QIcon::Active);
    }
    return icon;
}

QPixmap logoPixmap(int size) {
    return QPixmap::fromImage(desk::appIconImage(size));
}

} // namespace app
