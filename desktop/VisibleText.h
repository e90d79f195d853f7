// Names from archives as the windows show them: control characters (a line
// break, an escape, the C1 controls) become their visible symbols, so a name
// can never break a list row or a message into lines of its own.
#pragma once

#include <QString>
#include <string>

namespace desk {

QString visibleText(const QString& text);
QString visibleText(const std::string& utf8);

} // namespace desk
