#include "shellctl/NameSpaceEnumerator.h"

#include <QDir>
#include <QDropEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QSet>
#include <QUrl>

#include "desktop/FileOperation.h"
#include "desktop/MessageBox.h"
#include "desktop/Mounts.h"
#include "shellctl/ChangeNotifyThread.h"
#include "shellctl/FolderEnumerator.h"
#include "shellctl/FolderModel.h"
#include "shellctl/ShellMenu.h"

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int ReadRole = Qt::UserRole + 1;

QString clean(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool isUnder(const QString& path, const QString& base) {
    return base == "/" ? path.startsWith('/') : (path == base || path.startsWith(base + '/'));
}

QIcon themed(const char* name, QFileIconProvider::IconType fallback) {
    QIcon icon = QIcon::fromTheme(name);
    return icon.isNull() ? QFileIconProvider().icon(fallback) : icon;
}

} // namespace

TNameSpaceEnumerator::TNameSpaceEnumerator(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    header()->hide();
    setIndentation(19);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* cur) { onCurrentChanged(cur); });
    connect(this, &QTreeWidget::itemExpanded, this, &TNameSpaceEnumerator::onExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &TNameSpaceEnumerator::onCollapsed);
    connect(this, &QWidget::customContextMenuRequested, this, &TNameSpaceEnumerator::onContextMenu);
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
        // In-place rename of a folder node.
        if (rebuilding_) return;
        const QString from = itemPath(item);
        if (from.isEmpty() || item->text(0) == QFileInfo(from).fileName()) return;
        const QString name = item->text(0).trimmed();
        if (!AllowRename) {
            const QSignalBlocker block(this);
            item->setText(0, QFileInfo(from).fileName());
            return;
        }
        const QString to = QFileInfo(from).absolutePath() + '/' + name;
        const QSignalBlocker block(this);
        QString why = "The name is not valid.";
        if (name.isEmpty() || name.contains('/') || !desk::RenameItem(from, to, &why)) {
            item->setText(0, QFileInfo(from).fileName());
            desk::showInformation("Cannot rename " + QFileInfo(from).fileName() + ".\r\r" + why,
                                  this);
            return;
        }
        item->setData(0, PathRole, to);
        populate(item, true);
        if (item == currentItem()) onCurrentChanged(item);
    });
    rebuild();
}

TNameSpaceEnumerator::~TNameSpaceEnumerator() {
    // The items are deleted after this body: nothing may react to that.
    OnSelectionChange = nullptr;
    QObject::disconnect(this, nullptr, this, nullptr);
    watcher_.reset();
    if (list_) list_->setLinkedTree(nullptr);
}

QString TNameSpaceEnumerator::itemPath(const QTreeWidgetItem* item) {
    return item ? item->data(0, PathRole).toString() : QString();
}

void TNameSpaceEnumerator::SetRootedAt(TRootedAt root) {
    rootedAt_ = root;
    rebuild();
}

void TNameSpaceEnumerator::SetRootFolder(const QString& folder) {
    rootFolder_ = folder;
    if (rootedAt_ == raFileSystem) rebuild();
}

void TNameSpaceEnumerator::SetFolderEnumerator(TFolderEnumerator* list) {
    if (list_ && list_ != list) list_->setLinkedTree(nullptr);
    list_ = list;
    if (list_) list_->setLinkedTree(this);
}

void TNameSpaceEnumerator::SetAutoRefresh(bool on) {
    autoRefresh_ = on;
    restartWatch();
}

void TNameSpaceEnumerator::SetShowVirtualFolders(bool on) {
    showVirtualFolders_ = on;
    rebuild();
}

void TNameSpaceEnumerator::SetExpandAll(bool on) {
    expandAll_ = on;
    // Only the folders already read are expanded: expanding every folder of
    // the file system would read the whole disk.
    if (on) expandAll();
}

void TNameSpaceEnumerator::SetShowHidden(bool on) {
    showHidden_ = on;
    Refresh();
}

QTreeWidgetItem* TNameSpaceEnumerator::addFolderItem(QTreeWidgetItem* parent,
                                                     const QString& caption, const QString& path) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, caption);
    item->setData(0, PathRole, path);
    item->setData(0, ReadRole, false);
    item->setIcon(0, QFileIconProvider().icon(QFileIconProvider::Folder));
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    if (AllowRename && !path.isEmpty() && parent && !itemPath(parent).isEmpty())
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    return item;
}

void TNameSpaceEnumerator::rebuild() {
    rebuilding_ = true;
    const QSignalBlocker block(this);
    clear();
    auto virtualNode = [this](const QString& caption, const QIcon& icon) {
        auto* item = new QTreeWidgetItem(this);
        item->setText(0, caption);
        item->setIcon(0, icon);
        item->setData(0, ReadRole, true);
        return item;
    };
    auto drives = [this](QTreeWidgetItem* parent, bool remoteOnly, bool withHome) {
        if (withHome) {
            QTreeWidgetItem* home = addFolderItem(parent, "Home", QDir::homePath());
            home->setIcon(0, themed("user-home", QFileIconProvider::Folder));
        }
        if (!remoteOnly) {
            QTreeWidgetItem* root = addFolderItem(parent, "File System", "/");
            root->setIcon(0, themed("drive-harddisk", QFileIconProvider::Drive));
        }
        for (const desk::MountEntry& m : desk::systemMounts()) {
            if (m.mountPoint == "/") continue;
            if (remoteOnly && m.driveType != desk::DRIVE_REMOTE) continue;
            QTreeWidgetItem* d = addFolderItem(parent, desk::driveCaption(m), m.mountPoint);
            d->setIcon(0, QFileIconProvider().icon(m.driveType == desk::DRIVE_REMOTE
                                                       ? QFileIconProvider::Network
                                                       : QFileIconProvider::Drive));
        }
    };
    QTreeWidgetItem* top = nullptr;
    switch (rootedAt_) {
    case raDesktop:
        if (showVirtualFolders_) {
            top = virtualNode("Desktop", themed("user-desktop", QFileIconProvider::Desktop));
            drives(top, false, true);
        } else {
            drives(nullptr, false, true);
        }
        break;
    case raMyComputer:
        if (showVirtualFolders_) {
            top = virtualNode("Computer", themed("computer", QFileIconProvider::Computer));
            drives(top, false, false);
        } else {
            drives(nullptr, false, false);
        }
        break;
    case raNetworkNeighbourhood:
        top = virtualNode("Network", themed("network-workgroup", QFileIconProvider::Network));
        drives(top, true, false);
        break;
    case raStartMenu: {
        const QString apps = qEnvironmentVariable("XDG_DATA_HOME").isEmpty()
                                 ? QDir::homePath() + "/.local/share/applications"
                                 : qEnvironmentVariable("XDG_DATA_HOME") + "/applications";
        top = addFolderItem(nullptr, "Applications", apps);
        break;
    }
    case raProgramFiles: {
        const QString programs = QFileInfo("/opt").isDir() ? "/opt" : "/usr";
        top = addFolderItem(nullptr, programs, programs);
        break;
    }
    case raFileSystem: {
        QString root = rootFolder_.isEmpty() ? "/" : clean(rootFolder_);
        if (!QFileInfo(root).isDir()) root = "/";
        top = addFolderItem(nullptr, root == "/" ? "/" : QFileInfo(root).fileName(), root);
        break;
    }
    }
    if (top) {
        if (!itemPath(top).isEmpty()) populate(top, false);
        top->setExpanded(true);
    }
    if (expandAll_) expandAll();
    rebuilding_ = false;
    restartWatch();
}

void TNameSpaceEnumerator::populate(QTreeWidgetItem* item, bool force) {
    const QString path = itemPath(item);
    if (path.isEmpty()) return;
    if (item->data(0, ReadRole).toBool() && !force) return;
    const bool wasRebuilding = rebuilding_;
    rebuilding_ = true;
    const QSignalBlocker block(this);

    // Keep what was open and the selection through a re-read.
    QSet<QString> expanded;
    const QString selected = SelectedPath();
    std::function<void(QTreeWidgetItem*)> collect = [&](QTreeWidgetItem* n) {
        for (int i = 0; i < n->childCount(); ++i) {
            QTreeWidgetItem* c = n->child(i);
            if (c->isExpanded()) expanded.insert(itemPath(c));
            collect(c);
        }
    };
    collect(item);
    const bool selectedInside =
        isUnder(selected, path) && selected != path && currentItem() != item;
    qDeleteAll(item->takeChildren());

    QDir::Filters filters = QDir::Dirs | QDir::NoDotAndDotDot;
    if (showHidden_) filters |= QDir::Hidden;
    const QStringList names =
        QDir(path).entryList(filters, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString& name : names) {
        if (!showHidden_ && name.startsWith('.')) continue;
        addFolderItem(item, name, path == "/" ? "/" + name : path + '/' + name);
    }
    item->setData(0, ReadRole, true);
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* c = item->child(i);
        if (expanded.contains(itemPath(c))) {
            populate(c, true);
            c->setExpanded(true);
        }
    }
    rebuilding_ = wasRebuilding;
    if (selectedInside) {
        // Put the selection back where it was, or on the nearest folder left.
        QString target = selected;
        while (!QFileInfo(target).isDir() && isUnder(target, path) && target != path)
            target = QFileInfo(target).absolutePath();
        const QSignalBlocker again(this);
        QTreeWidgetItem* node = item;
        QString at = path;
        while (at != target) {
            const QString rest = target.mid(at == "/" ? 1 : at.size() + 1);
            const QString next = (at == "/" ? "/" : at + '/') + rest.section('/', 0, 0);
            QTreeWidgetItem* child = findChildByPath(node, next);
            if (!child) break;
            populate(child, false);
            node->setExpanded(true);
            node = child;
            at = next;
        }
        setCurrentItem(node);
    }
    // The selected folder went away: the nearest folder left is announced.
    if (selectedInside && SelectedPath() != selected) onCurrentChanged(currentItem());
}

QTreeWidgetItem* TNameSpaceEnumerator::findChildByPath(QTreeWidgetItem* parent,
                                                       const QString& path) const {
    for (int i = 0; i < parent->childCount(); ++i)
        if (itemPath(parent->child(i)) == path) return parent->child(i);
    return nullptr;
}

void TNameSpaceEnumerator::onExpanded(QTreeWidgetItem* item) {
    if (rebuilding_) return;
    populate(item, false);
    if (expandAll_)
        for (int i = 0; i < item->childCount(); ++i) item->child(i)->setExpanded(false);
    restartWatch();
}

void TNameSpaceEnumerator::onCollapsed(QTreeWidgetItem*) {
    if (!rebuilding_) restartWatch();
}

QString TNameSpaceEnumerator::SelectedPath() const {
    return itemPath(currentItem());
}

bool TNameSpaceEnumerator::SelectPath(const QString& path) {
    if (path.trimmed().isEmpty()) return false;
    const QString target = clean(path);
    if (!QFileInfo(target).isDir()) return false;

    // The deepest real node at the top of the tree that holds the path.
    QTreeWidgetItem* start = nullptr;
    auto consider = [&](QTreeWidgetItem* n) {
        const QString p = itemPath(n);
        if (!p.isEmpty() && isUnder(target, p) && (!start || p.size() > itemPath(start).size()))
            start = n;
    };
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* t = topLevelItem(i);
        consider(t);
        if (itemPath(t).isEmpty())
            for (int j = 0; j < t->childCount(); ++j) consider(t->child(j));
    }
    if (!start) return false;

    QTreeWidgetItem* node = start;
    QString at = itemPath(start);
    while (at != target) {
        populate(node, false);
        const QString rest = target.mid(at == "/" ? 1 : at.size() + 1);
        const QString next = (at == "/" ? "/" : at + '/') + rest.section('/', 0, 0);
        QTreeWidgetItem* child = findChildByPath(node, next);
        // A hidden folder asked for by name is shown although hidden ones are not listed.
        if (!child) child = addFolderItem(node, QFileInfo(next).fileName(), next);
        {
            const QSignalBlocker block(this);
            rebuilding_ = true;
            node->setExpanded(true);
            rebuilding_ = false;
        }
        node = child;
        at = next;
    }
    restartWatch();
    if (currentItem() == node) return true;
    setCurrentItem(node);
    scrollToItem(node);
    return true;
}

void TNameSpaceEnumerator::onCurrentChanged(QTreeWidgetItem* current) {
    if (rebuilding_) return;
    // When the list itself asked for this folder it has read it already.
    if (list_ && current && !list_->askingTree_) {
        const QString path = itemPath(current);
        if (!path.isEmpty()) {
            list_->followTree(path);
        } else {
            // A virtual node: the list shows its children.
            populate(current, false);
            QVector<FolderItem> entries;
            for (int i = 0; i < current->childCount(); ++i) {
                FolderItem it;
                it.name = current->child(i)->text(0);
                it.path = itemPath(current->child(i));
                it.isDir = true;
                it.modified = QFileInfo(it.path).lastModified();
                it.attributes = 0x10;
                it.type = "Folder";
                entries.append(it);
            }
            list_->showEntries(entries);
        }
    }
    if (OnSelectionChange) OnSelectionChange(this);
    emit selectedPathChanged(SelectedPath());
}

void TNameSpaceEnumerator::Refresh() {
    const QString selected = SelectedPath();
    const bool virtualSelected = currentItem() && selected.isEmpty();
    QSet<QString> expanded;
    std::function<void(QTreeWidgetItem*)> collect = [&](QTreeWidgetItem* n) {
        for (int i = 0; i < n->childCount(); ++i) {
            QTreeWidgetItem* c = n->child(i);
            if (c->isExpanded() && !itemPath(c).isEmpty()) expanded.insert(itemPath(c));
            collect(c);
        }
    };
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (topLevelItem(i)->isExpanded() && !itemPath(topLevelItem(i)).isEmpty())
            expanded.insert(itemPath(topLevelItem(i)));
        collect(topLevelItem(i));
    }
    rebuild();
    rebuilding_ = true;
    {
        const QSignalBlocker block(this);
        std::function<void(QTreeWidgetItem*)> reopen = [&](QTreeWidgetItem* n) {
            for (int i = 0; i < n->childCount(); ++i) {
                QTreeWidgetItem* c = n->child(i);
                if (expanded.contains(itemPath(c))) {
                    populate(c, false);
                    c->setExpanded(true);
                    reopen(c);
                }
            }
        };
        for (int i = 0; i < topLevelItemCount(); ++i) reopen(topLevelItem(i));
    }
    rebuilding_ = false;
    if (virtualSelected) {
        const QSignalBlocker block(this);
        if (topLevelItemCount() > 0) setCurrentItem(topLevelItem(0));
    } else if (!selected.isEmpty()) {
        // Keep the selection without telling anyone, unless the folder is gone.
        QString target = selected;
        while (!QFileInfo(target).isDir() && target != "/")
            target = QFileInfo(target).absolutePath();
        if (target == selected) {
            const QSignalBlocker block(this);
            SelectPath(target);
        } else {
            SelectPath(target);
        }
    }
    restartWatch();
}

void TNameSpaceEnumerator::restartWatch() {
    watcher_.reset();
    if (!autoRefresh_) return;
    QStringList folders;
    std::function<void(QTreeWidgetItem*)> collect = [&](QTreeWidgetItem* n) {
        const QString p = itemPath(n);
        if (!p.isEmpty() && n->data(0, ReadRole).toBool() && (n->isExpanded() || !n->parent()))
            folders << p;
        if (n->isExpanded() || !n->parent())
            for (int i = 0; i < n->childCount(); ++i) collect(n->child(i));
    };
    for (int i = 0; i < topLevelItemCount(); ++i) collect(topLevelItem(i));
    if (folders.isEmpty()) return;
    watcher_ = std::make_unique<TChangeNotifyThread>(folders);
    connect(watcher_.get(), &TChangeNotifyThread::changed, this, &TNameSpaceEnumerator::onChanged);
    watcher_->start();
}

void TNameSpaceEnumerator::onChanged(const QString& folder) {
    if (watcher_) watcher_->acknowledge(folder);
    std::function<void(QTreeWidgetItem*)> visit = [&](QTreeWidgetItem* n) {
        if (itemPath(n) == folder && n->data(0, ReadRole).toBool()) {
            if (!QFileInfo(folder).isDir()) return;
            populate(n, true);
            return;
        }
        for (int i = 0; i < n->childCount(); ++i) visit(n->child(i));
    };
    for (int i = 0; i < topLevelItemCount(); ++i) visit(topLevelItem(i));
}

QMimeData* TNameSpaceEnumerator::mimeData(const QList<QTreeWidgetItem*>& items) const {
    QList<QUrl> urls;
    for (const QTreeWidgetItem* i : items)
        if (!itemPath(i).isEmpty()) urls << QUrl::fromLocalFile(itemPath(i));
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

QStringList TNameSpaceEnumerator::mimeTypes() const {
    return {"text/uri-list"};
}

void TNameSpaceEnumerator::startDrag(Qt::DropActions actions) {
    if (AllowOLEDrag) QTreeWidget::startDrag(actions);
}

QString TNameSpaceEnumerator::dropTargetAt(const QPoint& pos, const QMimeData* data) const {
    if (!AllowOLEDrop || !data || !data->hasUrls()) return {};
    const QString target = itemPath(itemAt(pos));
    if (target.isEmpty()) return {};
    for (const QUrl& u : data->urls()) {
        if (!u.isLocalFile()) return {};
        const QString p = QDir::cleanPath(u.toLocalFile());
        // A folder cannot go into itself or below itself.
        if (isUnder(target, p)) return {};
    }
    return target;
}

void TNameSpaceEnumerator::dragEnterEvent(QDragEnterEvent* event) {
    if (AllowOLEDrop && event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TNameSpaceEnumerator::dragMoveEvent(QDragMoveEvent* event) {
    if (dropTargetAt(event->position().toPoint(), event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void TNameSpaceEnumerator::dropEvent(QDropEvent* event) {
    // Dropped files are copied (moved with Shift) into the node's folder; the
    // tree's own items never move.
    const QString target = dropTargetAt(event->position().toPoint(), event->mimeData());
    if (target.isEmpty()) {
        event->ignore();
        return;
    }
    QStringList sources;
    for (const QUrl& u : event->mimeData()->urls()) {
        const QString p = QDir::cleanPath(u.toLocalFile());
        if (QFileInfo(p).absolutePath() != target) sources << p;
    }
    const bool move = event->dropAction() == Qt::MoveAction;
    event->setDropAction(move ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
    if (sources.isEmpty()) return;
    desk::SHFileOperation(this, move ? desk::FO_MOVE : desk::FO_COPY, sources, target,
                          desk::FOF_ALLOWUNDO);
    // Both ends of a move changed.
    QSet<QString> folders{target};
    if (move)
        for (const QString& s : sources) folders.insert(QFileInfo(s).absolutePath());
    for (const QString& f : folders) onChanged(f);
    if (list_ && folders.contains(list_->Folder())) list_->Refresh();
}

void TNameSpaceEnumerator::onContextMenu(const QPoint& pos) {
    if (QTreeWidgetItem* item = itemAt(pos)) setCurrentItem(item);
    const QPoint global = viewport()->mapToGlobal(pos);
    if (ShellContextMenu) {
        const QString path = SelectedPath();
        if (!path.isEmpty()) showShellMenu(this, {path}, global);
    } else if (PopupMenu) {
        PopupMenu->popup(global);
    }
}
