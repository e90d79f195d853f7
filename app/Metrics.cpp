#include "app/Metrics.h"

#include <QApplication>
#include <QFontMetricsF>
#include <cmath>

namespace app {

double widthScale(const QFont& font) {
    const double average = QFontMetricsF(font).averageCharWidth();
    return average > kLayoutAverageCharWidth ? average / kLayoutAverageCharWidth : 1.0;
}

int scaledWidth(int layoutWidth, const QFont& font) {
    return int(std::lround(layoutWidth * widthScale(font)));
}

int scaledWidth(int layoutWidth) {
    return scaledWidth(layoutWidth, QApplication::font());
}

} // namespace app
