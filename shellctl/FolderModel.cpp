#include "shellctl/FolderModel.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "desktop/FileInfo.h"
#include "desktop/FileOperation.h"

namespace {

bool globMatch(const QString& pat, const QString& name) {
    int p = 0, n = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pat.size() && (pat[p] == '?' || pat[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p, ++n;
        } else if (p < pat.size() && pat[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == '*') ++p;
    return p == pat.size();
}

bool matchOne(QString pat, const QString& name) {
    if (pat == "*.*" || pat == "*") return true;
    if (pat.endsWith(".*") && globMatch(pat.left(pat.size() - 2), name)) return true;
    if (pat.endsWith('.')) {
        while (pat.endsWith('.')) pat.chop(1);
        return !name.contains('.') && globMatch(pat, name);
    }
    return globMatch(pat, name);
}

int compareText(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c : QString::compare(a, b, Qt::CaseSensitive);
}

QString extensionOf(const FolderItem& it) {
    if (it.isDir) return {};
    const int dot = it.name.lastIndexOf('.');
    return dot > 0 ? it.name.mid(dot + 1) : QString();
}

} // namespace

bool matchFileMask(const QString& mask, const QString& name) {
    const QStringList parts = mask.split(';', Qt::SkipEmptyParts);
    if (parts.isEmpty()) return true;
    for (const QString& part : parts) {
        const QString p = part.trimmed();
        if (!p.isEmpty() && matchOne(p, name)) return true;
    }
    return false;
}

FolderModel::FolderModel(QObject* parent) : QAbstractTableModel(parent) {}

bool FolderModel::load(const QString& folder, const Options& options) {
    QDir dir(folder);
    if (!dir.exists() || !QFileInfo(folder).isReadable()) return false;
    QDir::Filters filters = QDir::Files | QDir::NoDotAndDotDot | QDir::System;
    if (options.showFolders) filters |= QDir::Dirs;
    if (options.showHidden) filters |= QDir::Hidden;
    const QFileInfoList infos = dir.entryInfoList(filters, QDir::Unsorted);
    QVector<FolderItem> items;
    items.reserve(infos.size());
    int order = 0;
    // Names with the same extension have the same type: ask the database once.
    QHash<QString, QString> typeByExtension;
    for (const QFileInfo& fi : infos) {
        FolderItem it;
        it.name = fi.fileName();
        it.isDir = fi.isDir();
        if (!options.showHidden && it.name.startsWith('.')) continue;
        if (!it.isDir && !matchFileMask(options.mask, it.name)) continue;
        it.path = fi.absoluteFilePath();
        it.size = it.isDir ? 0 : fi.size();
        it.modified = fi.lastModified();
        it.attributes = (it.isDir ? 0x10 : 0x20) | (it.name.startsWith('.') ? 0x02 : 0) |
                        (fi.permission(QFile::WriteOwner) ? 0 : 0x01);
        const int dot = it.name.lastIndexOf('.');
        if (it.isDir) {
            it.type = desk::typeNameForName(it.name + '/');
        } else if (dot > 0) {
            const QString ext = it.name.mid(dot).toLower();
            auto known = typeByExtension.constFind(ext);
            if (known == typeByExtension.constEnd())
                known = typeByExtension.insert(ext, desk::typeNameForName(it.name));
            it.type = known.value();
        } else {
            it.type = desk::typeNameForName(it.name);
        }
        it.order = order++;
        items.append(std::move(it));
    }
    beginResetModel();
    items_ = std::move(items);
    endResetModel();
    sortBy(sortColumn_, sortOrder_);
    return true;
}

void FolderModel::loadEntries(const QVector<FolderItem>& entries) {
    beginResetModel();
    items_ = entries;
    for (int i = 0; i < items_.size(); ++i) items_[i].order = i;
    endResetModel();
    sortBy(sortColumn_, sortOrder_);
}

void FolderModel::sortBy(TColumnName column, TColumnSortOrder order) {
    sortColumn_ = column;
    sortOrder_ = order;
    layoutAboutToBeChanged();
    auto key = [column](const FolderItem& a, const FolderItem& b) -> int {
        switch (column) {
        case cnName:
            return 0;
        case cnExtension:
            return QString::compare(extensionOf(a), extensionOf(b), Qt::CaseInsensitive);
        case cnSize:
            return a.size < b.size ? -1 : (a.size > b.size ? 1 : 0);
        case cnAttributes:
            return QString::compare(attributeText(a.attributes), attributeText(b.attributes));
        case cnType:
            return QString::compare(a.type, b.type, Qt::CaseInsensitive);
        case cnModified:
            return a.modified < b.modified ? -1 : (b.modified < a.modified ? 1 : 0);
        }
        return 0;
    };
    // Folders stay ahead of files in either direction, as in the desktop's
    // own file lists.
    std::stable_sort(items_.begin(), items_.end(), [&](const FolderItem& a, const FolderItem& b) {
        if (a.isDir != b.isDir) return a.isDir;
        if (order == soUnSorted) return a.order < b.order;
        int c = key(a, b);
        if (c == 0) c = compareText(a.name, b.name);
        return order == soDescending ? c > 0 : c < 0;
    });
    layoutChanged();
}

void FolderModel::setColumns(const TFolderColumn& columns) {
    columns_ = columns;
    emit headerDataChanged(Qt::Horizontal, 0, 5);
    if (!items_.isEmpty()) emit dataChanged(index(0, 0), index(count() - 1, 5));
}

int FolderModel::rowOfName(const QString& name) const {
    for (int i = 0; i < items_.size(); ++i)
        if (items_[i].name == name) return i;
    return -1;
}

int FolderModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int FolderModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 6;
}

QString FolderModel::sizeText(const FolderItem& item) {
    if (item.isDir) return {};
    // Whole kilobytes rounded up, as the desktop's file lists showed sizes.
    const qint64 kb = (item.size + 1023) / 1024;
    return QLocale().toString(kb) + " KB";
}

QString FolderModel::attributeText(int attributes) {
    QString s;
    if (attributes & 0x01) s += 'R';
    if (attributes & 0x02) s += 'H';
    if (attributes & 0x04) s += 'S';
    if (attributes & 0x20) s += 'A';
    return s;
}

QIcon FolderModel::iconFor(const FolderItem& item) const {
    const QString key = item.isDir ? QStringLiteral("/") : item.type;
    auto it = iconCache_.find(key);
    if (it != iconCache_.end()) return it.value();
    QIcon icon = item.isDir ? QFileIconProvider().icon(QFileIconProvider::Folder)
                            : desk::iconForName(item.name);
    iconCache_.insert(key, icon);
    return icon;
}

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) return {};
    const FolderItem& it = items_[index.row()];
    const auto column = static_cast<TColumnName>(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        switch (column) {
        case cnName:
            return it.name;
        case cnExtension:
            return extensionOf(it);
        case cnSize:
            return sizeText(it);
        case cnAttributes:
            return attributeText(it.attributes);
        case cnType:
            return it.type;
        case cnModified:
            return it.modified.isValid() ? QLocale().toString(it.modified, QLocale::ShortFormat)
                                         : QString();
        }
        return {};
    case Qt::DecorationRole:
        if (column == cnName) return iconFor(it);
        return {};
    case Qt::TextAlignmentRole: {
        const int a = columns_[column].Alignment;
        Qt::Alignment h = a == taRightJustify ? Qt::AlignRight
                                              : (a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft);
        return QVariant::fromValue(h | Qt::AlignVCenter);
    }
    case Qt::ToolTipRole:
        return it.path;
    case Qt::UserRole:
        return it.path;
    default:
        return {};
    }
}

QVariant FolderModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || section < 0 || section > 5) return {};
    const auto& col = columns_[static_cast<TColumnName>(section)];
    if (role == Qt::DisplayRole) return col.Caption;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(
            (col.Alignment == taRightJustify
                 ? Qt::AlignRight
                 : (col.Alignment == taCenter ? Qt::AlignHCenter : Qt::AlignLeft)) |
            Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags FolderModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    const bool drops = droppable_ && *droppable_;
    if (!index.isValid()) return drops && !dropFolder_.isEmpty() ? f | Qt::ItemIsDropEnabled : f;
    f |= Qt::ItemIsDragEnabled;
    if (drops && items_[index.row()].isDir) f |= Qt::ItemIsDropEnabled;
    if (editable_ && *editable_ && index.column() == cnName && !items_[index.row()].path.isEmpty())
        f |= Qt::ItemIsEditable;
    return f;
}

bool FolderModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() != cnName) return false;
    FolderItem& it = items_[index.row()];
    const QString newName = value.toString().trimmed();
    if (newName.isEmpty() || newName == it.name) return false;
    const QString target = QFileInfo(it.path).absolutePath() + '/' + newName;
    // The same engine and rules as the Rename commands: nothing is replaced.
    QString why = "The name is not valid.";
    if (newName.contains('/') || !desk::RenameItem(it.path, target, &why)) {
        emit renameFailed(it.path, why);
        return false;
    }
    it.name = newName;
    it.path = target;
    if (!it.isDir) it.type = desk::typeNameForName(newName);
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), 5));
    return true;
}

QStringList FolderModel::mimeTypes() const {
    return {"text/uri-list"};
}

QMimeData* FolderModel::mimeData(const QModelIndexList& indexes) const {
    QList<QUrl> urls;
    for (const QModelIndex& i : indexes)
        if (i.column() == 0 && i.row() < count()) urls << QUrl::fromLocalFile(items_[i.row()].path);
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

Qt::DropActions FolderModel::supportedDropActions() const {
    return Qt::CopyAction | Qt::MoveAction;
}

QString FolderModel::dropTarget(const QModelIndex& parent) const {
    if (parent.isValid() && parent.row() < count() && items_[parent.row()].isDir)
        return items_[parent.row()].path;
    return dropFolder_;
}

bool FolderModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
                                  const QModelIndex& parent) const {
    if (!droppable_ || !*droppable_ || !data || !data->hasUrls()) return false;
    if (action != Qt::CopyAction && action != Qt::MoveAction) return false;
    if (dropTarget(parent).isEmpty()) return false;
    for (const QUrl& u : data->urls())
        if (!u.isLocalFile()) return false;
    return true;
}

bool FolderModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                               const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent)) return false;
    const QString target = dropTarget(parent);
    QStringList sources;
    for (const QUrl& u : data->urls()) {
        const QString p = QDir::cleanPath(u.toLocalFile());
        // Dropping an item on itself or into the folder it is in does nothing.
        if (p == target || QFileInfo(p).absolutePath() == target) continue;
        sources << p;
    }
    if (sources.isEmpty()) return false;
    desk::SHFileOperation(nullptr, action == Qt::MoveAction ? desk::FO_MOVE : desk::FO_COPY,
                          sources, target, desk::FOF_ALLOWUNDO);
    emit dropped(target);
    return true;
}
