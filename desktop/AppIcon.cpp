#include "desktop/AppIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QRectF>
#include <cmath>

namespace desk {

namespace {

// On a 100 x 100 canvas.  Boxes are outlined; each strap lies inside its
// box's outline so that it stays visible at 16 pixels.
struct Part {
    QRectF rect;
    bool box;
    QColor fill;
};

constexpr qreal kOutline = 1.5;
constexpr qreal kRadius = 3;
const QColor kOutlineColour(30, 30, 30);
const QColor kStrapColour(240, 200, 80);

const QList<Part>& parts() {
    static const QList<Part> list = [] {
        const QColor colours[] = {QColor(200, 60, 40), QColor(40, 120, 200), QColor(60, 160, 70)};
        QList<Part> out;
        for (int i = 0; i < 3; ++i) {
            const QRectF box(14 + i * 5, 65 - i * 27, 72 - i * 10, 28);
            out.append({box, true, colours[i]});
            out.append(
                {QRectF(box.center().x() - 6, box.top(), 12, box.height()), false, kStrapColour});
        }
        return out;
    }();
    return list;
}

QString number(qreal v) {
    return QString::number(v, 'g', 6);
}

} // namespace

const QList<int>& appIconSizes() {
    static const QList<int> sizes = {16, 32, 48, 64, 128, 256};
    return sizes;
}

QImage appIconImage(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 100.0;
    const qreal pen = std::max<qreal>(1.0, std::round(kOutline * s));
    for (const Part& part : parts()) {
        // Edges on whole pixels and the outline inside them keep small sizes sharp.
        QRectF r(QPointF(std::round(part.rect.left() * s), std::round(part.rect.top() * s)),
                 QPointF(std::round(part.rect.right() * s), std::round(part.rect.bottom() * s)));
        p.setBrush(part.fill);
        if (part.box) {
            p.setPen(QPen(kOutlineColour, pen));
            r.adjust(pen / 2, pen / 2, -pen / 2, -pen / 2);
            p.drawRoundedRect(r, kRadius * s, kRadius * s);
        } else {
            p.setPen(Qt::NoPen);
            r.adjust(0, pen, 0, -pen);
            p.drawRect(r);
        }
    }
    return img;
}

QByteArray appIconSvg() {
    QString svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
                  "viewBox=\"0 0 100 100\">\n";
    for (const Part& part : parts()) {
        QRectF r = part.rect;
        QString extra;
        if (part.box) {
            r.adjust(kOutline / 2, kOutline / 2, -kOutline / 2, -kOutline / 2);
            extra = QString(" rx=\"%1\" stroke=\"%2\" stroke-width=\"%3\"")
                        .arg(number(kRadius), kOutlineColour.name(), number(kOutline));
        } else {
            r.adjust(0, kOutline, 0, -kOutline);
        }
        svg += QString("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"%6/>\n")
                   .arg(number(r.x()), number(r.y()), number(r.width()), number(r.height()),
                        part.fill.name(), extra);
    }
    svg += "</svg>\n";
    return svg.toUtf8();
}

QIcon appIcon() {
    QIcon icon;
    for (int size : appIconSizes()) icon.addPixmap(QPixmap::fromImage(appIconImage(size)));
    return icon;
}

} // namespace desk
