#include "app/Metrics.h"

#include <QApplication>
#include <QFontMetricsF>
#include <cmath>

namespace app {

double widthScale(const QFont& font) {
    const double average = QFontMetricsF(font).averageCharWidth();
    return average > kDesignAverageCharWidth ? average / kDesignAverageCharWidth : 1.0;
}

int scaledWidth(int designWidth, const QFont& font) {
    return int(std::lround(designWidth * widthScale(font)));
}

int scaledWidth(int designWidth) {
    return scaledWidth(designWidth, QApplication::font());
}

} // namespace app
