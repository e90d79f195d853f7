// The message a window shows for an archive component's error event; empty
// for codes that show nothing.
#pragma once

#include <QString>

namespace app {

QString componentErrorText(const QString& fileName, const QString& volumeId, int code);

} // namespace app
