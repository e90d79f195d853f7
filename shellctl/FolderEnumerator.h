// TFolderEnumerator: a list of one folder's contents (files and, optionally,
// sub-folders) with icons, in icon, small-icon, list or report style.
#pragma once

#include <QDateTime>
#include <QVector>
#include <QWidget>
#include <functional>
#include <memory>

#include "shellctl/ShellTypes.h"

class QAbstractItemView;
class QListView;
class QMenu;
class QModelIndex;
class QStackedLayout;
class QTreeView;
class TChangeNotifyThread;
class TNameSpaceEnumerator;
class FolderModel;
struct FolderItem;

class TFolderEnumerator : public QWidget {
    Q_OBJECT
public:
    using TFEDoubleClick = std::function<void(TFolderEnumerator* Sender, bool& bExecute)>;
    using TFESelectionChange = std::function<void(TFolderEnumerator* Sender)>;

    explicit TFolderEnumerator(QWidget* parent = nullptr);
    ~TFolderEnumerator() override;

    // Full path of the folder shown.  Setting it re-reads the list and
    // selects the folder in a linked tree; a path that is not a readable
    // folder leaves everything as it was (SetFolder returns false then).
    QString Folder() const { return folder_; }
    bool SetFolder(const QString& path);

    // Wildcard filter for files ('*', '?', case-insensitive; several masks
    // separated by ';').  Trimmed; empty becomes "*.*".  Refreshes the list.
    QString FileMask() const { return fileMask_; }
    void SetFileMask(const QString& mask);

    const TFolderColumn& FolderColumns() const { return columns_; }
    void SetFolderColumns(const TFolderColumn& columns);

    TViewStyle ViewStyle() const { return viewStyle_; }
    void SetViewStyle(TViewStyle style);

    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool on);

    bool ShowFolders() const { return showFolders_; }
    void SetShowFolders(bool on);
    bool ShowVirtualFolders() const { return showVirtualFolders_; }
    void SetShowVirtualFolders(bool on);
    bool ShowHidden() const { return showHidden_; }
    void SetShowHidden(bool on);

    TColumnName SortColumn() const { return sortColumn_; }
    void SetSortColumn(TColumnName column);
    TColumnSortOrder SortOrder() const { return sortOrder_; }
    void SetSortOrder(TColumnSortOrder order);
    bool ColumnClick() const { return columnClick_; }
    void SetColumnClick(bool on);

    bool AutoRefresh() const { return autoRefresh_; }
    void SetAutoRefresh(bool on);

    // Right-click shows the program's own context menu for the selection
    // (Open, Open With, Open Terminal Here, Copy Path, Properties) instead
    // of the widget's PopupMenu.
    bool ShellContextMenu = true;
    QMenu* PopupMenu = nullptr;
    bool AllowRename = true;
    bool AllowOLEDrag = true;
    bool AllowOLEDrop = true;

    TFEDoubleClick OnDoubleClick;
    TFESelectionChange OnSelectionChange;

    // Operations.
    int SelectedCount() const;
    // i from 1, in list order; empty when fewer items are selected.
    QString SelectedItemPath(int i) const;
    int ItemCount() const;
    // index from 0; an empty record for an index out of range.
    TFolderItemRecord ItemRecord(int index) const;
    // Full path of item index (from 0); empty when out of range.
    QString ItemPath(int index) const;
    // Re-reads the folder with the current mask; re-selects the focused item
    // when it is still there, else the first item.
    void Refresh();

    // Selection helpers for the program and tests.
    void SelectItem(int index, bool select = true);
    void ClearSelection();
    int IndexOfName(const QString& displayName) const;

    // The linked tree (set through TNameSpaceEnumerator::SetFolderEnumerator).
    TNameSpaceEnumerator* LinkedTree() const { return tree_; }

    // The view currently shown (report view or list view).
    QAbstractItemView* view() const;

signals:
    void folderChanged(const QString& folder);
    void refreshed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TNameSpaceEnumerator;
    void applySwitches();
    void setLinkedTree(TNameSpaceEnumerator* tree) { tree_ = tree; }
    // Called by the linked tree: shows path (or, for a virtual node, the
    // given entries) without selecting anything in the tree.
    bool followTree(const QString& path);
    void showEntries(const QVector<FolderItem>& entries);
    void reload(bool keepSelection);
    void restartWatch();
    void applyColumns();
    void fitColumns();
    void onActivated(const QModelIndex& index);
    void onContextMenu(const QPoint& pos);
    void onChanged(const QString& folder);
    void emitSelectionChange();

    QString folder_;
    QString fileMask_ = "*.*";
    TFolderColumn columns_;
    TViewStyle viewStyle_ = vsIcon;
    bool multiSelect_ = false;
    bool showFolders_ = true;
    bool showVirtualFolders_ = true;
    bool showHidden_ = false;
    TColumnName sortColumn_ = cnName;
    TColumnSortOrder sortOrder_ = soAscending;
    bool columnClick_ = true;
    bool autoRefresh_ = true;
    bool askingTree_ = false;

    FolderModel* model_ = nullptr;
    QStackedLayout* stack_ = nullptr;
    QTreeView* report_ = nullptr;
    QListView* list_ = nullptr;
    TNameSpaceEnumerator* tree_ = nullptr;
    std::unique_ptr<TChangeNotifyThread> watcher_;
};
