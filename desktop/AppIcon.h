// The program's icon: three stacked archive boxes held by a strap.  Drawn
// here for the windows and the splash, written out at build time for the
// icon theme (PNG at the usual sizes and SVG).
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QList>

namespace desk {

// The icon's name in the icon theme, also the desktop entry's Icon.
inline constexpr char kAppIconName[] = "olmek95";

// The sizes installed into the hicolor theme.
const QList<int>& appIconSizes();

QImage appIconImage(int size);
QByteArray appIconSvg();
// Every size of appIconSizes(), for window icons.
QIcon appIcon();

} // namespace desk
