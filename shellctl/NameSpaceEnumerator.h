// TNameSpaceEnumerator: the folder tree.  Its top level is the namespace
// root chosen by RootedAt; under the desktop root it shows the home folder,
// the file-system root and the mounted drives.  Virtual nodes (the desktop,
// the computer, the network) have no file-system path.
#pragma once

#include <QTreeWidget>
#include <functional>
#include <memory>

#include "shellctl/ShellTypes.h"

class QMenu;
class TChangeNotifyThread;
class TFolderEnumerator;

class TNameSpaceEnumerator : public QTreeWidget {
    Q_OBJECT
public:
    using TNSESelectionChange = std::function<void(TNameSpaceEnumerator* Sender)>;

    explicit TNameSpaceEnumerator(QWidget* parent = nullptr);
    ~TNameSpaceEnumerator() override;

    TRootedAt RootedAt() const { return rootedAt_; }
    void SetRootedAt(TRootedAt root);
    // The folder shown at the top with raFileSystem.
    QString RootFolder() const { return rootFolder_; }
    void SetRootFolder(const QString& folder);

    // Linked list: every selection change sets its Folder, then raises
    // OnSelectionChange.  nullptr unlinks.
    TFolderEnumerator* FolderEnumerator() const { return list_; }
    void SetFolderEnumerator(TFolderEnumerator* list);

    bool AutoRefresh() const { return autoRefresh_; }
    void SetAutoRefresh(bool on);
    bool ShowVirtualFolders() const { return showVirtualFolders_; }
    void SetShowVirtualFolders(bool on);
    bool ExpandAll() const { return expandAll_; }
    void SetExpandAll(bool on);
    // Hidden (dot) folders in the tree; off by default.
    bool ShowHidden() const { return showHidden_; }
    void SetShowHidden(bool on);

    bool ShellContextMenu = true;
    QMenu* PopupMenu = nullptr;
    bool AllowRename = true;
    bool AllowOLEDrag = true;
    bool AllowOLEDrop = true;

    TNSESelectionChange OnSelectionChange;

    // Full path of the selected folder; empty for a virtual node or no
    // selection.
    QString SelectedPath() const;
    // Selects the node of path, expanding as needed; false when the path is
    // not a folder reachable from the root.
    bool SelectPath(const QString& path);
    // Re-reads the children of the root, keeping the selection.
    void Refresh();

    // Folder path of a node; empty for virtual ones.
    static QString itemPath(const QTreeWidgetItem* item);

signals:
    // After the selected folder changed (and the linked list followed).
    void selectedPathChanged(const QString& path);

protected:
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    QStringList mimeTypes() const override;
    void startDrag(Qt::DropActions actions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void rebuild();
    void populate(QTreeWidgetItem* item, bool force);
    void onCurrentChanged(QTreeWidgetItem* current);
    void onExpanded(QTreeWidgetItem* item);
    void onCollapsed(QTreeWidgetItem* item);
    void onChanged(const QString& folder);
    void onContextMenu(const QPoint& pos);
    void restartWatch();
    QTreeWidgetItem* addFolderItem(QTreeWidgetItem* parent, const QString& caption,
                                   const QString& path);
    // The folder a drop at pos would go to; empty when none.
    QString dropTargetAt(const QPoint& pos, const QMimeData* data) const;
    QTreeWidgetItem* findChildByPath(QTreeWidgetItem* parent, const QString& path) const;

    TRootedAt rootedAt_ = raDesktop;
    QString rootFolder_;
    TFolderEnumerator* list_ = nullptr;
    bool autoRefresh_ = true;
    bool showVirtualFolders_ = true;
    bool expandAll_ = false;
    bool showHidden_ = false;
    bool rebuilding_ = false;
    std::unique_ptr<TChangeNotifyThread> watcher_;
};
