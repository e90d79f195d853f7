#include "app/CopyAnimation.h"

#include <QPainter>
#include <QTimerEvent>

namespace {
constexpr int kFrames = 16;

void folder(QPainter& p, QRectF r) {
    p.setPen(QPen(QColor(120, 90, 20), 1.0));
    p.setBrush(QColor(240, 200, 80));
    p.drawRect(QRectF(r.left(), r.top() - 4, r.width() * 0.4, 6));
    p.drawRect(r);
}
} // namespace

CopyAnimation::CopyAnimation(QWidget* parent) : QWidget(parent) {}

void CopyAnimation::setFrame(int frame) {
    frame_ = ((frame % kFrames) + kFrames) % kFrames;
    update();
}

void CopyAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal h = height();
    const QRectF left(10, h * 0.35, 40, h * 0.55);
    const QRectF right(width() - 50, h * 0.35, 40, h * 0.55);
    folder(p, left);
    folder(p, right);
    // The page follows an arc between the two folders.
    const qreal t = frame_ / qreal(kFrames - 1);
    const qreal x = left.center().x() + t * (right.center().x() - left.center().x());
    const qreal y = h * 0.55 - (h * 0.3) * 4 * t * (1 - t);
    p.setPen(QPen(QColor(40, 40, 40), 1.0));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(x - 6, y - 8, 12, 16));
    p.setPen(QColor(90, 90, 160));
    for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(x - 4, y - 4 + i * 4), QPointF(x + 4, y - 4 + i * 4));
}

void CopyAnimation::showEvent(QShowEvent*) {
    if (!timer_) timer_ = startTimer(80);
}

void CopyAnimation::hideEvent(QHideEvent*) {
    if (timer_) killTimer(timer_);
    timer_ = 0;
}

void CopyAnimation::timerEvent(QTimerEvent* e) {
    if (e->timerId() == timer_) setFrame(frame_ + 1);
}
