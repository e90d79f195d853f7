#include "desktop/FileInfo.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QMutex>
#include <QVector>

namespace desk {

namespace {

QString baseName(const QString& name) {
    QString n = name;
    n.replace('\\', '/');
    const int slash = n.lastIndexOf('/');
    return slash >= 0 ? n.mid(slash + 1) : n;
}

QString capitalised(QString s) {
    if (!s.isEmpty()) s[0] = s[0].toUpper();
    return s;
}

QIcon iconOfType(const QMimeType& mt) {
    QIcon icon = QIcon::fromTheme(mt.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(mt.genericIconName());
    if (icon.isNull()) {
        QFileIconProvider provider;
        icon = provider.icon(mt.name() == "inode/directory" ? QFileIconProvider::Folder
                                                            : QFileIconProvider::File);
    }
    return icon;
}

// Names whose type the database does not know are called "EXT File", as
// the Windows desktop did.
QString nameOfType(const QMimeType& mt, const QString& fileName) {
    if (!mt.isValid() || mt.isDefault()) {
        const int dot = fileName.lastIndexOf('.');
        if (dot > 0 && dot + 1 < fileName.size()) return fileName.mid(dot + 1).toUpper() + " File";
        return "File";
    }
    return capitalised(mt.comment());
}

struct ImageList {
    QMutex lock;
    QHash<QString, int> byType;
    QVector<QIcon> icons;
};

ImageList& imageList() {
    static ImageList list;
    return list;
}

QMimeType typeForName(const QString& name) {
    QMimeDatabase db;
    if (name.endsWith('/') || name.endsWith('\\')) return db.mimeTypeForName("inode/directory");
    return db.mimeTypeForFile(baseName(name), QMimeDatabase::MatchExtension);
}

} // namespace

QIcon iconForName(const QString& name) {
    return iconOfType(typeForName(name));
}

QString typeNameForName(const QString& name) {
    QString base = baseName(name);
    if (base.isEmpty() && !name.isEmpty()) return capitalised(typeForName(name).comment());
    if (base.isEmpty()) return {};
    return nameOfType(typeForName(name), base);
}

QIcon iconForFile(const QString& path) {
    QFileInfo fi(path);
    if (!fi.exists()) return iconForName(path);
    QFileIconProvider provider;
    QIcon icon = provider.icon(fi);
    if (icon.isNull()) icon = iconOfType(QMimeDatabase().mimeTypeForFile(fi));
    return icon;
}

QString typeNameForFile(const QString& path) {
    QFileInfo fi(path);
    if (!fi.exists()) return typeNameForName(path);
    const QMimeType mt = QMimeDatabase().mimeTypeForFile(fi);
    return nameOfType(mt, fi.fileName());
}

int iconIndexForName(const QString& name) {
    const QMimeType mt = typeForName(name);
    ImageList& list = imageList();
    QMutexLocker guard(&list.lock);
    auto it = list.byType.find(mt.name());
    if (it != list.byType.end()) return it.value();
    list.icons.append(iconOfType(mt));
    const int index = static_cast<int>(list.icons.size()) - 1;
    list.byType.insert(mt.name(), index);
    return index;
}

QIcon iconAt(int index) {
    ImageList& list = imageList();
    QMutexLocker guard(&list.lock);
    if (index < 0 || index >= list.icons.size()) return {};
    return list.icons[index];
}

} // namespace desk
