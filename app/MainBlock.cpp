#include "app/MainBlock.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

#include "app/Artwork.h"

#include "app/Dialogs.h"
#include "app/Forms.h"
#include "app/FrmMain.h"
#include "archive/core/Hooks.h"
#include "desktop/AppIcon.h"
#include "desktop/FileInfo.h"
#include "desktop/MessageBox.h"
#include "desktop/Registration.h"

namespace app {

void installEngineHooks() {
    SetProcessMessagesHook([] { QCoreApplication::processEvents(); });
    SetShellInfoHooks(
        [](const std::string& name) {
            return desk::iconIndexForName(QString::fromStdString(name));
        },
        [](const std::string& name) {
            return desk::typeNameForName(QString::fromStdString(name)).toStdString();
        });
    // The self-extractor inspector's notices and questions.
    SetMessageBoxHook([](const std::string& text, bool question) {
        const QString t = QString::fromStdString(text);
        if (question) return desk::askYesNo(t);
        desk::showInformation(t);
        return true;
    });
    SetDesignMessageBoxHook([](const std::string& text) {
        desk::MessageDlg(QString::fromStdString(text), desk::mtWarning, desk::mbOK);
    });
}

void initApplication(QApplication& a) {
    a.setApplicationName("OLMEK95");
    a.setOrganizationName("Fenwood");
    a.setApplicationDisplayName(kAppTitle);
    QFont f("DejaVu Sans");
    f.setPointSize(8);
    a.setFont(f);
    a.setWindowIcon(desk::appIcon());
    // Ties the windows to the installed desktop entry (and its icon) on
    // desktops that match them by name.
    a.setDesktopFileName(desk::kDesktopName);
    installEngineHooks();
}

TfrmMain* createMainWindows(const QStringList& arguments) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto* splash = new TfrmSplash;
    splash->show();
    splash->repaint();
    QCoreApplication::processEvents();
    auto* frame = new TfrmMain;
    frame->Arguments = arguments;
    frame->Splash = splash;
    forms::createAll();
    QApplication::restoreOverrideCursor();
    frame->show();
    return frame;
}

int runMainBlock(QApplication& a, const QStringList& arguments) {
    TfrmMain* frame = createMainWindows(arguments);
    a.setQuitOnLastWindowClosed(false);
    QObject::connect(frame, &QObject::destroyed, &a, &QCoreApplication::quit);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    const int rc = a.exec();
    forms::destroyAll();
    return rc;
}

} // namespace app
