#include "app/OpenArchive.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include "app/FrmView.h"
#include "desktop/MessageBox.h"
#include "desktop/Registration.h"
#include "desktop/Shell.h"

namespace app {

QString ownDesktopId() {
    return QFileInfo(desk::desktopEntryFile()).fileName();
}

bool OpensWithSelf(const QString& path) {
    const QMimeType mt = QMimeDatabase().mimeTypeForFile(path);
    if (!mt.isValid()) return false;
    return desk::defaultApplicationFor(mt.name()) == ownDesktopId();
}

QString missingFileText(const QString& path) {
    const QFileInfo fi(path);
    if (!fi.exists()) return "The file " + path + " does not exist.";
    if (fi.isDir()) return path + " is a folder, not an archive.";
    return {};
}

void ViewArchiveModal(QWidget* parent, const QString& path, int addEnabled,
                      const std::function<void(TfrmView*)>& beforeShow) {
    const QString missing = missingFileText(path);
    if (!missing.isEmpty()) {
        if (beforeShow) beforeShow(nullptr);
        desk::showInformation(missing, parent);
        return;
    }
    TfrmView view(parent);
    view.OpenArchive(QFileInfo(path).absoluteFilePath(), addEnabled);
    if (beforeShow) beforeShow(&view);
    view.exec();
}

} // namespace app
