#include "app/FrmChild.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMenu>
#include <QSplitter>
#include <QVBoxLayout>

#include "app/FrmMain.h"
#include "app/Metrics.h"
#include "archive/list/ArcLister.h"
#include "shellctl/FolderEnumerator.h"
#include "shellctl/NameSpaceEnumerator.h"

namespace {

QString withSlash(const QString& path) {
    if (path.isEmpty() || path.endsWith('/')) return path;
    return path + '/';
}

} // namespace

TfrmChild::TfrmChild(TfrmMain* frame) : frame_(frame) {
    setObjectName("frmChild");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    Splitter1 = new QSplitter(Qt::Horizontal, body);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    layout->addWidget(Splitter1);

    dirSource = new TNameSpaceEnumerator(Splitter1);
    dirSource->setObjectName("dirSource");
    dirSource->setIndentation(19);
    dirSource->ShellContextMenu = false;
    dirSource->SetAutoRefresh(false);

    filSource = new TFolderEnumerator(Splitter1);
    filSource->setObjectName("filSource");
    filSource->SetViewStyle(vsReport);
    filSource->SetMultiSelect(true);
    filSource->ShellContextMenu = false;
    filSource->SetAutoRefresh(false);
    filSource->SetFileMask("*.*");
    // The widths were drawn for an 8-point font; the last column takes
    // what is left.
    TFolderColumn columns;
    columns[cnName] = {"Name", taLeftJustify, app::scaledWidth(200), true};
    columns[cnExtension] = {"Extension", taLeftJustify, app::scaledWidth(50), false};
    columns[cnSize] = {"Size", taRightJustify, app::scaledWidth(50), true};
    columns[cnAttributes] = {"Attributes", taLeftJustify, app::scaledWidth(50), false};
    columns[cnType] = {"Type", taLeftJustify, app::scaledWidth(100), true};
    columns[cnModified] = {"Modified", taLeftJustify, app::scaledWidth(200), true};
    filSource->SetFolderColumns(columns);
    dirSource->SetFolderEnumerator(filSource);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({189, 457});
    panelWidth_ = 189;

    popFile = buildPopup("popFile", {{"Compress File", "CompressFile1"},
                                     {"Decompress File", "DecompressFile1"},
                                     {"Make .EXE File", "CreateSelfExtracting1"},
                                     {"", ""},
                                     {"Copy File", "CopyFileTo1"},
                                     {"Move File", "MoveFileTo1"},
                                     {"Delete File", "DeleteFile1"},
                                     {"", ""},
                                     {"Rename File", "RenameFile1"},
                                     {"Run File", "RunFile1"},
                                     {"View File", "ViewFile1"},
                                     {"View as Text", "ViewasASCII1"},
                                     {"", ""},
                                     {"File Mask", "SourceFileMask1"},
                                     {"File Attributes", "FileAttributes1"},
                                     {"File Date && Time", "FileDateTime1"},
                                     {"More...", "Properties1"},
                                     {"", ""},
                                     {"Cancel", "-"}});
    for (QAction* a : popFile->actions())
        if (a->text() == "View File") a->setStatusTip("Display file");
    popDir = buildPopup("popDir", {{"Compress Directory", "CompressDirectory1"},
                                   {"", ""},
                                   {"Copy Directory To...", "CopyDirectory1"},
                                   {"Move Directory To...", "MoveDirectory1"},
                                   {"", ""},
                                   {"New Directory", "NewDirectory1"},
                                   {"Delete Directory", "DeleteDirectory1"},
                                   {"Rename Dircetory", "RenameDirectory1"},
                                   {"&Print Directory", "PrintDirectory1"},
                                   {"", ""},
                                   {"DOS Prompt Here", "DOSPromptHere1"},
                                   {"More...", "More1"},
                                   {"", ""},
                                   {"Cancel", "-"}});
    dirSource->PopupMenu = popDir;
    filSource->PopupMenu = popFile;

    IniOut1 = new TIniOut(body);
    ArcLister1 = std::make_unique<TArcLister>();
    ArcLister1->SetFileSpec("*.*");
    ArcLister1->SetZipCmntBufSize(2000);

    dirSource->OnSelectionChange = [this](TNameSpaceEnumerator*) { updateCaption(); };
    filSource->OnDoubleClick = [this](TFolderEnumerator*, bool& bExecute) {
        bExecute = false;
        frame_->runCommand("ViewFile1");
    };

    setWidget(body);
    resize(649, 232);
    // Ctrl+F4 belongs to the frame, which keeps the last window open.
    if (QMenu* system = systemMenu())
        for (QAction* a : system->actions())
            if (a->shortcut() == QKeySequence("Ctrl+F4")) a->setShortcut({});
}

TfrmChild::~TfrmChild() = default;

QMenu* TfrmChild::buildPopup(const char* name, const QList<QPair<QString, QString>>& items) {
    auto* menu = new QMenu(this);
    menu->setObjectName(name);
    for (const auto& [caption, command] : items) {
        if (caption.isEmpty()) {
            menu->addSeparator();
            continue;
        }
        QAction* a = menu->addAction(caption);
        if (command != "-")
            connect(a, &QAction::triggered, this, [this, command] { frame_->runCommand(command); });
    }
    connect(menu, &QMenu::aboutToShow, this, &TfrmChild::activateForPopup);
    return menu;
}

void TfrmChild::activateForPopup() {
    if (QMdiArea* area = mdiArea()) area->setActiveSubWindow(this);
    raise();
}

int TfrmChild::panelWidth() const {
    // Until the window is laid out the splitter has no sizes of its own.
    if (!Splitter1->isVisible() || Splitter1->sizes().value(0) <= 0) return panelWidth_;
    return Splitter1->sizes().value(0);
}

void TfrmChild::setPanelWidth(int width) {
    panelWidth_ = qMax(0, width);
    const int total = qMax(Splitter1->width(), panelWidth_ + 1);
    Splitter1->setSizes({panelWidth_, qMax(1, total - panelWidth_)});
}

void TfrmChild::showFolder(const QString& folder) {
    dirSource->SelectPath(folder);
    filSource->SetFolder(folder);
    updateCaption();
}

QString TfrmChild::currentDirectory() const {
    return withSlash(dirSource->SelectedPath());
}

void TfrmChild::refresh() {
    dirSource->Refresh();
    filSource->Refresh();
}

void TfrmChild::updateCaption() {
    setWindowTitle(withSlash(dirSource->SelectedPath()) + filSource->FileMask());
}

void TfrmChild::showEvent(QShowEvent* e) {
    QMdiSubWindow::showEvent(e);
    if (!filSource->Folder().isEmpty())
        setWindowTitle(withSlash(filSource->Folder()) + filSource->FileMask());
    else
        updateCaption();
}

void TfrmChild::closeEvent(QCloseEvent* e) {
    // The last folder window stays: the frame always shows at least one.
    QMdiArea* area = mdiArea();
    if (frame_->closing() || !area || area->subWindowList().size() >= 2) {
        QMdiSubWindow::closeEvent(e);
        return;
    }
    e->ignore();
}
