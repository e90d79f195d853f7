// Pixel sizes of the window layouts, which were drawn for an 8-point
// interface font, scaled to the font in use.
#pragma once

#include <QFont>

namespace app {

// The average character width of the 8-point font the layouts were drawn
// with.
inline constexpr double kLayoutAverageCharWidth = 5.0;

// The ratio of the font's average character width to the layout font's
// (never below 1: layouts only grow).
double widthScale(const QFont& font);
// A layout width scaled to the application's font (or the given one).
int scaledWidth(int layoutWidth);
int scaledWidth(int layoutWidth, const QFont& font);

} // namespace app
