#include "app/MainBlock.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QIcon>

#include "app/Artwork.h"

#include "app/Dialogs.h"
#include "app/Forms.h"
#include "app/FrmMain.h"
#include "app/SingleInstance.h"
#include "archive/core/Hooks.h"
#include "archive/extract/DecodedStream.h"
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
    dec::installTarballProbe();
    a.setApplicationName("OLMEK95");
    a.setOrganizationName("Fenwood");
    // Not the display name: the platform would append it to every window
    // title, and the titles are the windows' captions exactly.
    desk::setApplicationTitle(kAppTitle);
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

QString commandLinePath(const QStringList& arguments) {
    QString path = arguments.join(' ');
    qsizetype b = 0, e = path.size();
    while (b < e && path[b].unicode() < 33) ++b;
    while (e > b && path[e - 1].unicode() < 33) --e;
    path = path.mid(b, e - b);
    // The lister moves the current directory to the archive's folder, and
    // another program may take the path: it must be absolute.
    if (!path.isEmpty() && QFileInfo(path).isRelative()) path = QFileInfo(path).absoluteFilePath();
    return path;
}

int runMainBlock(QApplication& a, const QStringList& arguments) {
    const QString path = commandLinePath(arguments);
    if (!path.isEmpty() && sendToRunningInstance(path)) return 0;
    InstanceServer server;
    server.listen();
    TfrmMain* frame = createMainWindows(arguments);
    QObject::connect(&server, &InstanceServer::archiveRequested, frame,
                     &TfrmMain::ShowArchiveFromOutside);
    a.setQuitOnLastWindowClosed(false);
    QObject::connect(frame, &QObject::destroyed, &a, &QCoreApplication::quit);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    const int rc = a.exec();
    forms::destroyAll();
    return rc;
}

} // namespace app
