#include "shellctl/ShellMenu.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QMimeDatabase>

#include "desktop/FileInfo.h"
#include "desktop/Launch.h"
#include "desktop/MessageBox.h"
#include "desktop/Shell.h"

QString propertiesText(const QString& path) {
    QFileInfo fi(path);
    QStringList lines;
    lines << "Name: " + fi.fileName();
    lines << "Location: " + fi.absolutePath();
    lines << "Type: " + desk::typeNameForFile(path);
    if (fi.isFile()) lines << "Size: " + QLocale().toString(fi.size()) + " bytes";
    lines << "Modified: " + QLocale().toString(fi.lastModified(), QLocale::LongFormat);
    lines << QString("Read-only: ") + (fi.permission(QFile::WriteOwner) ? "no" : "yes");
    return lines.join('\n');
}

QMenu* createShellMenu(QWidget* parent, const QStringList& paths) {
    auto* menu = new QMenu(parent);
    if (paths.isEmpty()) return menu;
    const QString first = paths.first();
    const QFileInfo fi(first);
    menu->addAction("Open", menu, [paths] {
        for (const QString& p : paths) {
            if (!desk::ShellExecute(p).ok())
                desk::showInformation("The file " + QFileInfo(p).fileName() +
                                      " is not associated with any application.");
        }
    });
    if (fi.isFile()) {
        QMenu* with = menu->addMenu("Open With");
        const QString type = QMimeDatabase().mimeTypeForFile(fi).name();
        for (const QString& id : desk::applicationsFor(type)) {
            QString name = desk::desktopEntryName(id);
            if (name.isEmpty()) name = id;
            with->addAction(name, menu, [id, first] { desk::OpenWith(id, first); });
        }
        with->setEnabled(!with->isEmpty());
    }
    menu->addAction("Open Terminal Here", menu, [fi] {
        if (!desk::openTerminal(fi.isDir() ? fi.absoluteFilePath() : fi.absolutePath()))
            desk::showInformation("No terminal program was found.");
    });
    menu->addAction("Copy Path", menu,
                    [paths] { QGuiApplication::clipboard()->setText(paths.join('\n')); });
    menu->addSeparator();
    menu->addAction("Properties", menu, [first] { desk::showInformation(propertiesText(first)); });
    return menu;
}

void showShellMenu(QWidget* parent, const QStringList& paths, const QPoint& globalPos) {
    QMenu* menu = createShellMenu(parent, paths);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
}
