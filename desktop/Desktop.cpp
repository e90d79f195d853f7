#include "desktop/Desktop.h"

#include <QCoreApplication>

#include "archive/core/Hooks.h"
#include "desktop/FileInfo.h"

namespace desk {

void InitDesktop() {
    SetProcessMessagesHook([] { QCoreApplication::processEvents(); });
    SetShellInfoHooks(
        [](const std::string& name) { return iconIndexForName(QString::fromStdString(name)); },
        [](const std::string& name) {
            return typeNameForName(QString::fromStdString(name)).toStdString();
        });
}

} // namespace desk
