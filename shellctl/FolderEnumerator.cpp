#include "shellctl/FolderEnumerator.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QStackedLayout>
#include <QTreeView>

#include "desktop/MessageBox.h"
#include "desktop/Shell.h"
#include "shellctl/ChangeNotifyThread.h"
#include "shellctl/FolderModel.h"
#include "shellctl/NameSpaceEnumerator.h"
#include "shellctl/ShellMenu.h"

namespace {

QString normalisedFolder(const QString& path) {
    QString p = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return p;
}

} // namespace

TFolderEnumerator::TFolderEnumerator(QWidget* parent) : QWidget(parent) {
    model_ = new FolderModel(this);
    model_->setColumns(columns_);
    model_->setEditableFlag(&AllowRename);
    model_->setDropFlag(&AllowOLEDrop);
    connect(model_, &FolderModel::dropped, this, [this] { Refresh(); });

    report_ = new QTreeView(this);
    report_->setRootIsDecorated(false);
    report_->setUniformRowHeights(true);
    report_->setItemsExpandable(false);
    report_->setAllColumnsShowFocus(true);
    report_->setModel(model_);
    report_->header()->setSectionsMovable(false);
    // The last column takes the width left over.
    report_->header()->setStretchLastSection(true);

    list_ = new QListView(this);
    list_->setModel(model_);
    list_->setSelectionModel(report_->selectionModel());
    list_->setResizeMode(QListView::Adjust);
    list_->setWordWrap(true);

    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->addWidget(list_);
    stack_->addWidget(report_);

    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(list_)}) {
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        v->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
        v->setDragEnabled(AllowOLEDrag);
        v->setDragDropMode(QAbstractItemView::DragDrop);
        v->setDefaultDropAction(Qt::CopyAction);
        connect(v, &QAbstractItemView::doubleClicked, this, &TFolderEnumerator::onActivated);
        v->installEventFilter(this);
        connect(v, &QWidget::customContextMenuRequested, this,
                [this, v](const QPoint& pos) { onContextMenu(v->viewport()->mapToGlobal(pos)); });
    }
    connect(report_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emitSelectionChange(); });
    connect(report_->header(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (!columnClick_) return;
        const auto column = static_cast<TColumnName>(section);
        if (column == sortColumn_ && sortOrder_ == soAscending)
            SetSortOrder(soDescending);
        else {
            sortColumn_ = column;
            SetSortOrder(soAscending);
        }
    });
    connect(model_, &FolderModel::renameFailed, this,
            [this](const QString& from, const QString& why) {
                desk::showInformation("Cannot rename " + QFileInfo(from).fileName() + ".\r\r" + why,
                                      this);
            });

    SetViewStyle(vsIcon);
    SetMultiSelect(false);
    SetColumnClick(columnClick_);
    SetSortColumn(cnName);
    applyColumns();
}

TFolderEnumerator::~TFolderEnumerator() {
    // The views die after this body; their last signals must not reach the
    // owner's handlers, which may already be gone.
    OnSelectionChange = nullptr;
    OnDoubleClick = nullptr;
    QObject::disconnect(report_->selectionModel(), nullptr, this, nullptr);
    if (tree_ && tree_->FolderEnumerator() == this) tree_->SetFolderEnumerator(nullptr);
    watcher_.reset();
}

QAbstractItemView* TFolderEnumerator::view() const {
    return viewStyle_ == vsReport ? static_cast<QAbstractItemView*>(report_)
                                  : static_cast<QAbstractItemView*>(list_);
}

bool TFolderEnumerator::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == report_ || watched == list_)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* v = static_cast<QAbstractItemView*>(watched);
        // While a name is edited the keys go to the editor, not to the view.
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && v->currentIndex().isValid()) {
            onActivated(v->currentIndex());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFolderEnumerator::applySwitches() {
    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(list_)}) {
        v->setDragEnabled(AllowOLEDrag);
        v->setAcceptDrops(AllowOLEDrop);
    }
}

bool TFolderEnumerator::followTree(const QString& path) {
    const QString p = normalisedFolder(path);
    if (!QFileInfo(p).isDir()) return false;
    FolderModel::Options o{fileMask_, showFolders_, showHidden_};
    if (!model_->load(p, o)) return false;
    applySwitches();
    folder_ = p;
    model_->setDropFolder(folder_);
    restartWatch();
    fitColumns();
    emit folderChanged(folder_);
    return true;
}

void TFolderEnumerator::showEntries(const QVector<FolderItem>& entries) {
    model_->loadEntries(showVirtualFolders_ ? entries : QVector<FolderItem>{});
    folder_.clear();
    model_->setDropFolder({});
    restartWatch();
    emit folderChanged(folder_);
}

bool TFolderEnumerator::SetFolder(const QString& path) {
    if (path.trimmed().isEmpty()) return false;
    if (!followTree(path)) return false;
    if (tree_ && !askingTree_) {
        askingTree_ = true;
        tree_->SelectPath(folder_);
        askingTree_ = false;
    }
    return true;
}

void TFolderEnumerator::SetFileMask(const QString& mask) {
    const QString m = mask.trimmed();
    fileMask_ = m.isEmpty() ? QStringLiteral("*.*") : m;
    Refresh();
}

void TFolderEnumerator::SetFolderColumns(const TFolderColumn& columns) {
    columns_ = columns;
    applyColumns();
}

void TFolderEnumerator::applyColumns() {
    model_->setColumns(columns_);
    for (int i = 0; i < 6; ++i) {
        const auto& c = columns_.Items[static_cast<std::size_t>(i)];
        report_->setColumnHidden(i, !c.Visible);
        report_->setColumnWidth(i, c.Width);
    }
}

void TFolderEnumerator::fitColumns() {
    // Sizes, types and dates never show cut: a column narrower than its
    // contents widens (names may be long and are cut instead; the last
    // column takes the remaining width anyway).
    int last = -1;
    for (int i = 0; i < 6; ++i)
        if (!report_->isColumnHidden(i)) last = i;
    for (int i = cnExtension; i < last; ++i) {
        if (report_->isColumnHidden(i)) continue;
        const int needed = static_cast<QAbstractItemView*>(report_)->sizeHintForColumn(i);
        if (needed > report_->columnWidth(i)) report_->setColumnWidth(i, needed);
    }
}

void TFolderEnumerator::SetViewStyle(TViewStyle style) {
    viewStyle_ = style;
    const int small = style == vsIcon ? 32 : 16;
    list_->setIconSize(QSize(small, small));
    switch (style) {
    case vsIcon:
        list_->setViewMode(QListView::IconMode);
        list_->setFlow(QListView::LeftToRight);
        list_->setGridSize(QSize(96, 72));
        list_->setMovement(QListView::Static);
        break;
    case vsSmallIcon:
        list_->setViewMode(QListView::ListMode);
        list_->setFlow(QListView::LeftToRight);
        list_->setGridSize(QSize());
        list_->setWrapping(true);
        break;
    case vsList:
        list_->setViewMode(QListView::ListMode);
        list_->setFlow(QListView::TopToBottom);
        list_->setGridSize(QSize());
        list_->setWrapping(true);
        break;
    case vsReport:
        break;
    }
    stack_->setCurrentWidget(style == vsReport ? static_cast<QWidget*>(report_) : list_);
}

void TFolderEnumerator::SetMultiSelect(bool on) {
    multiSelect_ = on;
    const auto mode =
        on ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    report_->setSelectionMode(mode);
    list_->setSelectionMode(mode);
    if (!on && SelectedCount() > 1) {
        const QModelIndex cur = report_->selectionModel()->currentIndex();
        ClearSelection();
        if (cur.isValid()) SelectItem(cur.row());
    }
}

void TFolderEnumerator::SetShowFolders(bool on) {
    showFolders_ = on;
    Refresh();
}

void TFolderEnumerator::SetShowVirtualFolders(bool on) {
    showVirtualFolders_ = on;
}

void TFolderEnumerator::SetShowHidden(bool on) {
    showHidden_ = on;
    Refresh();
}

void TFolderEnumerator::SetSortColumn(TColumnName column) {
    sortColumn_ = column;
    model_->sortBy(sortColumn_, sortOrder_);
    report_->header()->setSortIndicatorShown(sortOrder_ != soUnSorted);
    report_->header()->setSortIndicator(
        sortColumn_, sortOrder_ == soDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TFolderEnumerator::SetSortOrder(TColumnSortOrder order) {
    sortOrder_ = order;
    SetSortColumn(sortColumn_);
}

void TFolderEnumerator::SetColumnClick(bool on) {
    columnClick_ = on;
    report_->header()->setSectionsClickable(on);
}

void TFolderEnumerator::SetAutoRefresh(bool on) {
    autoRefresh_ = on;
    restartWatch();
}

void TFolderEnumerator::restartWatch() {
    watcher_.reset();
    if (!autoRefresh_ || folder_.isEmpty()) return;
    watcher_ = std::make_unique<TChangeNotifyThread>(QStringList{folder_});
    connect(watcher_.get(), &TChangeNotifyThread::changed, this, &TFolderEnumerator::onChanged);
    watcher_->start();
}

void TFolderEnumerator::onChanged(const QString& folder) {
    if (watcher_) watcher_->acknowledge(folder);
    if (folder == folder_) Refresh();
}

int TFolderEnumerator::SelectedCount() const {
    return static_cast<int>(report_->selectionModel()->selectedRows().size());
}

QString TFolderEnumerator::SelectedItemPath(int i) const {
    QModelIndexList rows = report_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    if (i < 1 || i > rows.size()) return {};
    return model_->item(rows[i - 1].row()).path;
}

int TFolderEnumerator::ItemCount() const {
    return model_->count();
}

TFolderItemRecord TFolderEnumerator::ItemRecord(int index) const {
    TFolderItemRecord r;
    if (index < 0 || index >= model_->count()) return r;
    const FolderItem& it = model_->item(index);
    r.DisplayName = it.name;
    r.Modified = it.modified;
    r.Size = static_cast<std::uint32_t>(it.size);
    return r;
}

QString TFolderEnumerator::ItemPath(int index) const {
    if (index < 0 || index >= model_->count()) return {};
    return model_->item(index).path;
}

int TFolderEnumerator::IndexOfName(const QString& displayName) const {
    return model_->rowOfName(displayName);
}

void TFolderEnumerator::SelectItem(int index, bool select) {
    if (index < 0 || index >= model_->count()) return;
    auto* sm = report_->selectionModel();
    const QModelIndex idx = model_->index(index, 0);
    if (select && !multiSelect_) sm->clearSelection();
    sm->select(idx, (select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                        QItemSelectionModel::Rows);
    if (select) sm->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
}

void TFolderEnumerator::ClearSelection() {
    report_->selectionModel()->clearSelection();
}

void TFolderEnumerator::Refresh() {
    reload(true);
}

void TFolderEnumerator::reload(bool keepSelection) {
    if (folder_.isEmpty()) return;
    auto* sm = report_->selectionModel();
    QString focused;
    QStringList selected;
    if (keepSelection) {
        const QModelIndex cur = sm->currentIndex();
        if (cur.isValid()) focused = model_->item(cur.row()).name;
        for (const QModelIndex& i : sm->selectedRows()) selected << model_->item(i.row()).name;
    }
    FolderModel::Options o{fileMask_, showFolders_, showHidden_};
    if (!QFileInfo(folder_).isDir() || !model_->load(folder_, o)) {
        // The folder went away: show it empty rather than stale entries.
        model_->loadEntries({});
        emit refreshed();
        return;
    }
    if (keepSelection) {
        const QSignalBlocker block(sm);
        int focusRow = focused.isEmpty() ? -1 : model_->rowOfName(focused);
        for (const QString& name : selected) {
            const int row = model_->rowOfName(name);
            if (row >= 0)
                sm->select(model_->index(row, 0),
                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        if (focusRow < 0 && model_->count() > 0) {
            focusRow = 0;
            sm->clearSelection();
        }
        if (focusRow >= 0) {
            const QModelIndex idx = model_->index(focusRow, 0);
            sm->select(idx, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            sm->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
        }
    }
    emitSelectionChange();
    fitColumns();
    emit refreshed();
}

void TFolderEnumerator::emitSelectionChange() {
    if (OnSelectionChange) OnSelectionChange(this);
}

void TFolderEnumerator::onActivated(const QModelIndex& index) {
    if (!index.isValid()) return;
    bool bExecute = true;
    if (OnDoubleClick) OnDoubleClick(this, bExecute);
    if (!bExecute) return;
    const FolderItem item = model_->item(index.row());
    if (item.isDir) {
        SetFolder(item.path);
    } else if (!desk::ShellExecute(item.path).ok()) {
        desk::showInformation("The file " + item.name + " is not associated with any application.",
                              this);
    }
}

void TFolderEnumerator::onContextMenu(const QPoint& globalPos) {
    if (ShellContextMenu) {
        QStringList paths;
        for (int i = 1; i <= SelectedCount(); ++i) paths << SelectedItemPath(i);
        if (paths.isEmpty() && !folder_.isEmpty()) paths << folder_;
        if (!paths.isEmpty()) showShellMenu(this, paths, globalPos);
    } else if (PopupMenu) {
        PopupMenu->popup(globalPos);
    }
}
