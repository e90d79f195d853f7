#include "desktop/Desktop.h"

#include <QCoreApplication>

#include "archive/core/Hooks.h"
#include "desktop/FileInfo.h"
#include "desktop/MessageBox.h"

namespace desk {

void InitDesktop() {
    SetProcessMessagesHook([] { QCoreApplication::processEvents(); });
    SetShellInfoHooks(
        [](const std::string& name) { return iconIndexForName(QString::fromStdString(name)); },
        [](const std::string& name) {
            return typeNameForName(QString::fromStdString(name)).toStdString();
        });
    SetDesignMessageBoxHook(
        [](const std::string& text) { MessageDlg(QString::fromStdString(text), mtWarning, mbOK); });
}

} // namespace desk
