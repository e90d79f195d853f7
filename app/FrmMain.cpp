#include "app/FrmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/Artwork.h"
#include "app/Commands.h"
#include "app/Dialogs.h"
#include "app/FileCommands.h"
#include "app/FrmChild.h"
#include "app/FrmView.h"
#include "app/MainBlock.h"
#include "app/OpenArchive.h"
#include "app/Settings.h"
#include "archive/list/ArcLister.h"
#include "desktop/MessageBox.h"
#include "desktop/Mounts.h"
#include "desktop/Registration.h"
#include "shellctl/FolderEnumerator.h"
#include "shellctl/NameSpaceEnumerator.h"

namespace {

const QString kMainKey = QStringLiteral("\\Software\\Fenwood\\OLMEK95\\Main");

QString recordKey(int n) {
    return QString::fromLatin1(app::kProgramKey) + QString::number(n);
}

int toInt(const QString& text, int def) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? v : def;
}

// Positions and sizes from a hand-edited or damaged record stay within
// what a screen can show.
constexpr int kMaxExtent = 16384;

int toExtent(const QString& text, int def) {
    const int v = toInt(text, def);
    return v < 1 ? def : qMin(v, kMaxExtent);
}

int toOffset(const QString& text, int def) {
    return qBound(-kMaxExtent, toInt(text, def), kMaxExtent);
}

} // namespace

const QList<MenuItemDef>& mainMenuItems() {
    static const QList<MenuItemDef> items = {
        {"File1", "CompressFile1", "&Compress File", "F2",
         "Pack a file (making a copy of the original file and then compressing it)", true},
        {"File1", "DecompressFile1", "&Decompress File", "F3",
         "Uncompress a file (put a file back to its original content)", true},
        {"File1", "CreateSelfExtracting1", "&Make .EXE File", "", "", true},
        {"File1", "-", "", "", "", true},
        {"File1", "CopyFileTo1", "Cop&y File", "F8", "Dublicate a file to a specific location",
         true},
        {"File1", "MoveFileTo1", "Mov&e File", "F4",
         "Copy a file to a specific location and then delete the original one", true},
        {"File1", "DeleteFile1", "De&lete File", "Del", "Erase a file", true},
        {"File1", "-", "", "", "", true},
        {"File1", "RenameFile1", "Re&name File", "", "Change the name of a file", true},
        {"File1", "RunFile1", "&Run File...", "", "Execute an application", true},
        {"File1", "ViewFile1", "Vie&w File", "", "", true},
        {"File1", "ViewasASCII1", "View as &Text", "", "", true},
        {"File1", "-", "", "", "", true},
        {"File1", "SourceFileMask1", "&File Mask", "F6",
         "Change the type of file to be displayed (Default = *.*)", true},
        {"File1", "FileAttributes1", "File &Attributes", "", "Change file attributes", true},
        {"File1", "FileDateTime1", "File Dat&e && Time", "", "Change file date and file time",
         true},
        {"File1", "Properties1", "More...", "", "", true},
        {"File1", "-", "", "", "", true},
        {"File1", "Exit1", "E&xit", "", "Close OLMEK 95", true},
        {"Directory1", "CompressDirectory1", "&Compress Directory", "", "", true},
        {"Directory1", "-", "", "", "", true},
        {"Directory1", "CopyDirectory1", "Co&py Directory To...", "", "", true},
        {"Directory1", "MoveDirectory1", "&Move Directory To...", "", "", true},
        {"Directory1", "-", "", "", "", true},
        {"Directory1", "NewDirectory1", "&New Directory", "", "", true},
        {"Directory1", "DeleteDirectory1", "De&lete Directory", "", "", true},
        {"Directory1", "RenameDirectory1", "Re&name Directory", "", "", true},
        {"Directory1", "PrintDirectory1", "&Print Directory", "", "", true},
        {"Directory1", "-", "", "", "", true},
        {"Directory1", "DOSPromptHere1", "&DOS Prompt Here", "", "", true},
        {"Directory1", "More1", "More...", "", "", true},
        {"Disk1", "CompressDisk1", "&Compress Disk", "", "", true},
        {"Disk1", "-", "", "", "", true},
        {"Disk1", "FormatDisk1", "&Format Disk", "", "", true},
        {"Disk1", "CopyDisk1", "Co&py Disk", "", "", true},
        {"Disk1", "-", "", "", "", true},
        {"Disk1", "ConnectNetworkDrive1", "Connect &Network Disk", "", "", true},
        {"Disk1", "DisconnectNetworkDrive1", "&Disconnect Network Disk", "", "", true},
        {"Disk1", "More2", "More...", "", "", true},
        {"Options1", "Configure1", "&Configure", "", "", true},
        {"Options1", "-", "", "", "", false},
        {"Options1", "UseCompressionWizard1", "Use Compression Wizard", "", "", false},
        {"Options1", "UseDecompressionWizard1", "Use Decompression Wizard", "", "", false},
        {"Window1", "NewWindow1", "&New Window", "", "", true},
        {"Window1", "Cascade1", "&Cascade", "Shift+F5", "", true},
        {"Window1", "TileHorizontally1", "Tile &Horizontally", "", "", true},
        {"Window1", "TileVertically1", "Tile &Vertically", "Shift+F4", "", true},
        {"Window1", "ArrangeIcons1", "&Arrange Icons", "", "", true},
        {"Window1", "Refresh1", "&Refresh", "F5", "", true},
        {"Help1", "HelpTopics1", "Help Topics", "", "", true},
        {"Help1", "-", "", "", "", true},
        {"Help1", "DownloadLatestVersion1", "Download Latest Version", "", "", true},
        {"Help1", "-", "", "", "", true},
        {"Help1", "About1", "About", "", "", true},
    };
    return items;
}

QString recordPathOfCaption(const QString& caption) {
    const int cut = qMax(caption.lastIndexOf('/'), caption.lastIndexOf(':'));
    if (cut < 0) return {};
    QString path = caption.left(cut + 1);
    // The root keeps its only separator, or the record would read as unused.
    if (path != "/") path.chop(1);
    return path;
}

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName("frmMain");
    setWindowTitle(kAppTitle);
    resize(657, 476);
    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName("MDIClient");
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setBackground(QColor(128, 128, 128));
    setCentralWidget(mdiArea);
    statusBar()->setObjectName("StatusBar1");
    statusBar()->setSizeGripEnabled(true);

    ArcLister1 = std::make_unique<TArcLister>();
    commands = std::make_unique<Commands>(*this);
    fileCommands = std::make_unique<FileCommands>(*this);
    buildMenus();
    buildToolBars();
    bindCommands();

    // Frame creation: persisted properties, the hidden wizard option, the
    // file-type registration.
    IniOut1 = new TIniOut(this);
    for (const char* item : {"frmMain;Height;476", "frmMain;Width;657", "frmMain;Left;1",
                             "frmMain;Top;0", "frmMain;WindowState;wsNormal"}) {
        const QStringList f = QString::fromLatin1(item).split(';');
        IniOut1->Items << QString("%1;%2;%3;%4;%2;1;0").arg(f[0], f[1], f[2], kMainKey);
    }
    IniOut1->Load();
    action("UseCompressionWizard1")
        ->setChecked(IniOut1->ReadValue(kMainKey, "CompressionWizard", "1") == "1");
    if (RegisterFileTypesAtStart) desk::RegisterFileTypes(QCoreApplication::applicationFilePath());
}

TfrmMain::~TfrmMain() {
    closing_ = true;
    SaveFrameSettings();
}

void TfrmMain::SaveFrameSettings() {
    if (saved_) return;
    saved_ = true;
    IniOut1->Save();
    IniOut1->WriteValue(kMainKey, "CompressionWizard",
                        action("UseCompressionWizard1")->isChecked() ? "1" : "0");
}

void TfrmMain::buildMenus() {
    const QList<QPair<const char*, const char*>> menus = {
        {"File1", "&File"},       {"Directory1", "&Directory"}, {"Disk1", "Dis&k"},
        {"Options1", "&Options"}, {"Window1", "&Window"},       {"Help1", "&Help"}};
    QHash<QString, QMenu*> byName;
    for (const auto& [name, caption] : menus) {
        QMenu* m = menuBar()->addMenu(caption);
        m->setObjectName(name);
        m->menuAction()->setObjectName(name);
        actions_.insert(name, m->menuAction());
        byName.insert(name, m);
    }
    // Ctrl+F belongs to the File menu and does nothing.
    actions_["File1"]->setShortcut(QKeySequence("Ctrl+F"));
    for (const MenuItemDef& s : mainMenuItems()) {
        QMenu* m = byName.value(s.menu);
        QAction* a = nullptr;
        if (QString(s.name) == "-") {
            a = m->addSeparator();
        } else {
            a = m->addAction(s.caption);
            a->setObjectName(s.name);
            if (*s.shortcut) {
                a->setShortcut(QKeySequence(s.shortcut));
                a->setShortcutContext(Qt::WindowShortcut);
            }
            if (*s.hint) a->setStatusTip(s.hint);
            actions_.insert(s.name, a);
            const QString name = s.name;
            connect(a, &QAction::triggered, this, [this, name] { runCommand(name); });
        }
        a->setVisible(s.visible);
    }
    action("UseCompressionWizard1")->setCheckable(true);
    // Ctrl+F4 closes the active folder window, as in every MDI frame (the
    // last one stays).
    auto* closeChild = new QAction(this);
    closeChild->setObjectName("CloseWindow");
    closeChild->setShortcut(QKeySequence("Ctrl+F4"));
    closeChild->setShortcutContext(Qt::WindowShortcut);
    connect(closeChild, &QAction::triggered, this, [this] {
        if (TfrmChild* c = ActiveChild()) c->close();
    });
    addAction(closeChild);
    actions_.insert("CloseWindow", closeChild);
    Window1 = byName.value("Window1");
    connect(Window1, &QMenu::aboutToShow, this, &TfrmMain::fillWindowMenu);
}

void TfrmMain::fillWindowMenu() {
    // The window list follows the fixed items, as an MDI frame's does.
    for (QAction* a : Window1->actions())
        if (a->property("windowList").toBool()) {
            Window1->removeAction(a);
            a->deleteLater();
        }
    const QList<QMdiSubWindow*> list = mdiArea->subWindowList();
    if (list.isEmpty()) return;
    QAction* sep = Window1->addSeparator();
    sep->setProperty("windowList", true);
    int n = 1;
    for (QMdiSubWindow* w : list) {
        QAction* a = Window1->addAction(QString("&%1 %2").arg(n++).arg(w->windowTitle()));
        a->setProperty("windowList", true);
        a->setCheckable(true);
        a->setChecked(w == mdiArea->activeSubWindow());
        connect(a, &QAction::triggered, this, [this, w] { mdiArea->setActiveSubWindow(w); });
    }
}

void TfrmMain::buildToolBars() {
    ToolBar2 = addToolBar("Drives");
    ToolBar2->setObjectName("ToolBar2");
    ToolBar2->setMovable(false);
    DriveMenu = new QMenu(this);
    DriveMenu->setObjectName("DriveMenu");
    cmdDrives = new QToolButton(ToolBar2);
    cmdDrives->setObjectName("cmdDrives");
    cmdDrives->setText("Drives");
    cmdDrives->setToolTip("Select a drive");
    cmdDrives->setStatusTip("Select a drive");
    cmdDrives->setMenu(DriveMenu);
    cmdDrives->setPopupMode(QToolButton::MenuButtonPopup);
    cmdDrives->setToolButtonStyle(Qt::ToolButtonTextOnly);
    cmdDrives->setAutoRaise(true);
    cmdDrives->setMinimumHeight(40);
    ToolBar2->addWidget(cmdDrives);

    ToolBar3 = addToolBar("Commands");
    ToolBar3->setObjectName("ToolBar3");
    ToolBar3->setMovable(false);
    ToolBar3->setIconSize(QSize(20, 20));
    const struct {
        const char* name;
        const char* caption;
        app::ToolImage image;
        const char* command;
    } buttons[] = {
        {"cmdCompress", "Compress", app::ToolImage::Compress, "CompressFile1"},
        {"cmdDecompress", "Decompress", app::ToolImage::Decompress, "DecompressFile1"},
        {"cmdCopy", "Copy", app::ToolImage::Copy, "CopyFileTo1"},
        {"cmdMove", "Move", app::ToolImage::Move, "MoveFileTo1"},
        {"cmdDelete", "Delete", app::ToolImage::Delete, "DeleteFile1"},
        {"cmdRun", "Run", app::ToolImage::Run, "RunFile1"},
        {"cmdView", "View", app::ToolImage::View, "ViewFile1"},
    };
    // Captions must fit the buttons' 66 pixels.
    QFont narrow = font();
    narrow.setStretch(QFont::SemiCondensed);
    for (const auto& b : buttons) {
        auto* t = new QToolButton(ToolBar3);
        t->setFont(narrow);
        t->setObjectName(b.name);
        t->setText(b.caption);
        t->setIcon(app::toolIcon(b.image));
        t->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        t->setAutoRaise(true);
        t->setFixedSize(66, 40);
        const QString command = b.command;
        connect(t, &QToolButton::clicked, this, [this, command] { runCommand(command); });
        ToolBar3->addWidget(t);
    }
}

QToolButton* TfrmMain::toolButton(const QString& name) const {
    return findChild<QToolButton*>(name);
}

void TfrmMain::bindCommands() {
    Commands* c = commands.get();
    FileCommands* f = fileCommands.get();
    handlers_ = {
        {"DecompressFile1", [c] { c->DecompressFile(); }},
        {"CopyFileTo1", [f] { f->CopyFile(false); }},
        {"MoveFileTo1", [f] { f->CopyFile(true); }},
        {"DeleteFile1", [f] { f->DeleteFile(); }},
        {"RenameFile1", [f] { f->RenameFile(); }},
        {"FileAttributes1", [f] { f->FileAttributes(); }},
        {"FileDateTime1", [f] { f->FileDateTime(); }},
        {"CopyDirectory1", [f] { f->CopyDirectory(false); }},
        {"MoveDirectory1", [f] { f->CopyDirectory(true); }},
        {"NewDirectory1", [f] { f->NewDirectory(false); }},
        {"DeleteDirectory1", [f] { f->DeleteDirectory(); }},
        {"RenameDirectory1", [f] { f->NewDirectory(true); }},
        {"ViewFile1", [c] { c->ViewFile(); }},
        {"SourceFileMask1", [c] { c->FileMask(); }},
        {"Exit1", [this] { close(); }},
        {"ConnectNetworkDrive1",
         [this] {
             if (desk::connectNetworkDrive(this)) RebuildDriveMenu();
         }},
        {"DisconnectNetworkDrive1",
         [this] {
             if (desk::disconnectNetworkDrive(this)) RebuildDriveMenu();
         }},
        {"Configure1", [c] { c->Configure(); }},
        {"UseCompressionWizard1", [] {}}, // the checkable action flips itself
        {"UseDecompressionWizard1", [] {}},
        {"NewWindow1", [this] { NewChild(); }},
        {"Cascade1", [this] { mdiArea->cascadeSubWindows(); }},
        {"TileHorizontally1", [this] { TileHorizontally(); }},
        {"TileVertically1", [this] { TileVertically(); }},
        {"ArrangeIcons1", [this] { ArrangeIcons(); }},
        {"Refresh1", [this] { RefreshActive(); }},
        {"HelpTopics1",
         [this] {
             desk::ShowMessage("OLMEK 95 Help is still being developed. Help is currently not "
                               "available.",
                               this);
         }},
        {"About1", [c] { c->About(); }},
        {"RunFile1", [c] { c->RunFile(); }},
        {"CompressFile1", [c] { c->CompressFile(); }},
        {"CompressDirectory1", [c] { c->CompressDirectory(); }},
        {"CompressDisk1", [c] { c->CompressDisk(); }},
        {"ViewasASCII1", [c] { c->ViewAsText(); }},
        {"DOSPromptHere1", [c] { c->DosPromptHere(); }},
        {"FormatDisk1", [c] { c->DiskUtility(); }},
        {"CopyDisk1", [c] { c->DiskUtility(); }},
        {"PrintDirectory1", [c] { c->PrintDirectory(); }},
        {"CreateSelfExtracting1", [c] { c->MakeExeFile(); }},
        {"Properties1", [c] { c->MoreFiles(); }},
        {"More1", [c] { c->MoreDirectory(); }},
        {"More2", [c] { c->MoreDisk(); }},
        {"DownloadLatestVersion1", [c] { c->DownloadLatestVersion(); }},
    };
}

void TfrmMain::runCommand(const QString& name) {
    if (auto it = handlers_.find(name); it != handlers_.end()) {
        it.value()();
        return;
    }
    commands->NotAvailable();
}

TfrmChild* TfrmMain::ActiveChild() const {
    QMdiSubWindow* w = mdiArea->activeSubWindow();
    if (!w) w = mdiArea->currentSubWindow();
    return qobject_cast<TfrmChild*>(w);
}

QList<TfrmChild*> TfrmMain::children() const {
    QList<TfrmChild*> list;
    for (QMdiSubWindow* w : mdiArea->subWindowList(QMdiArea::CreationOrder))
        if (auto* c = qobject_cast<TfrmChild*>(w)) list << c;
    return list;
}

TfrmChild* TfrmMain::NewChild() {
    auto* child = new TfrmChild(this);
    mdiArea->addSubWindow(child);
    child->show();
    mdiArea->setActiveSubWindow(child);
    return child;
}

void TfrmMain::RefreshActive() {
    if (TfrmChild* c = ActiveChild()) c->refresh();
}

void TfrmMain::RebuildDriveMenu(const QList<desk::MountEntry>& mounts) {
    DriveMenu->clear();
    for (const desk::MountEntry& m : mounts) {
        if (m.driveType < desk::DRIVE_REMOVABLE || m.driveType > desk::DRIVE_CDROM) continue;
        QAction* a = DriveMenu->addAction(desk::driveCaption(m));
        const QString mountPoint = m.mountPoint;
        connect(a, &QAction::triggered, this, [this, mountPoint] { SelectDrive(mountPoint); });
    }
}

void TfrmMain::RebuildDriveMenu() {
    RebuildDriveMenu(desk::systemMounts());
}

void TfrmMain::SelectDrive(const QString& mountPoint) {
    NewChild();
    if (TfrmChild* c = ActiveChild()) {
        c->showFolder(mountPoint);
        c->refresh();
    }
}

void TfrmMain::TileHorizontally() {
    // One window above the other, each the full width of the area.
    QList<QMdiSubWindow*> list;
    for (QMdiSubWindow* w : mdiArea->subWindowList())
        if (!w->isMinimized() && w->isVisible()) list << w;
    if (list.isEmpty()) return;
    const QRect area = mdiArea->viewport()->rect();
    const int h = area.height() / int(list.size());
    for (int i = 0; i < list.size(); ++i) {
        list[i]->showNormal();
        list[i]->setGeometry(0, i * h, area.width(), h);
    }
}

void TfrmMain::TileVertically() {
    QList<QMdiSubWindow*> list;
    for (QMdiSubWindow* w : mdiArea->subWindowList())
        if (!w->isMinimized() && w->isVisible()) list << w;
    if (list.isEmpty()) return;
    const QRect area = mdiArea->viewport()->rect();
    const int w = area.width() / int(list.size());
    for (int i = 0; i < list.size(); ++i) {
        list[i]->showNormal();
        list[i]->setGeometry(i * w, 0, w, area.height());
    }
}

void TfrmMain::ArrangeIcons() {
    const QRect area = mdiArea->viewport()->rect();
    int x = 0, y = area.bottom();
    for (QMdiSubWindow* w : mdiArea->subWindowList()) {
        if (!w->isMinimized()) continue;
        const QSize s = w->size();
        if (x > 0 && x + s.width() > area.width()) {
            x = 0;
            y -= s.height();
        }
        w->move(x, y - s.height() + 1);
        x += s.width();
    }
}

void TfrmMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (shown_) return;
    shown_ = true;
    // Runs once the frame has painted, so the restored windows open inside it.
    QTimer::singleShot(0, this, &TfrmMain::FormShow);
}

void TfrmMain::FormShow() {
    RebuildDriveMenu();
    const QString path = app::commandLinePath(Arguments);
    if (!path.isEmpty()) {
        QApplication::restoreOverrideCursor();
        QCoreApplication::processEvents();
        if (Splash) Splash->setStatus("Reading " + path);
        if (QFileInfo(path).isFile()) ArcLister1->SetArchiveFile(path.toStdString());
        app::ViewArchiveModal(this, path, -1, [this](TfrmView*) {
            delete Splash;
            Splash = nullptr;
        });
        close();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
    RestoreWindows();
    delete Splash;
    Splash = nullptr;
    QApplication::restoreOverrideCursor();
    QCoreApplication::processEvents();
}

void TfrmMain::ShowArchiveFromOutside(const QString& path) {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
    // Later, from the event loop: the request must not wait for the viewer.
    // As in command-line mode, Add keeps its state.
    QTimer::singleShot(0, this, [this, path] { app::ViewArchiveModal(this, path); });
}

void TfrmMain::RestoreWindows() {
    int n = 0;
    for (;; ++n) {
        const QString key = recordKey(n);
        QString path = app::readValue(key, "Path", "");
        if (path.isEmpty()) break;
        if (!QFileInfo(path).isDir()) path = QDir::homePath();
        if (Splash) Splash->setStatus("Reading " + path);
        const int height = toExtent(app::readValue(key, "Height", "300"), 300);
        const int width = toExtent(app::readValue(key, "Width", "400"), 400);
        const int top = toOffset(app::readValue(key, "Top", "0"), 0);
        const int left = toOffset(app::readValue(key, "Left", "0"), 0);
        const int panel = qBound(0, toInt(app::readValue(key, "Panel", "201"), 201), width);
        TfrmChild* child = NewChild();
        child->setGeometry(left, top, width, height);
        child->setPanelWidth(panel);
        child->showFolder(path);
        RefreshActive();
    }
    if (n == 0) {
        const QString home = QDir::homePath();
        if (Splash) Splash->setStatus("Reading " + home);
        TfrmChild* child = NewChild();
        child->showFolder(home);
        child->showMaximized();
    }
}

void TfrmMain::SaveWindows() {
    const QList<QMdiSubWindow*> list = mdiArea->subWindowList(QMdiArea::CreationOrder);
    int written = 0;
    for (int i = int(list.size()) - 1; i >= 0; --i) {
        auto* child = qobject_cast<TfrmChild*>(list[i]);
        if (!child) continue;
        const QString key = recordKey(i);
        QString path = recordPathOfCaption(child->windowTitle());
        // A window on a virtual folder has no path; an empty Path would end
        // the restore there and lose the windows after it.
        if (path.isEmpty()) path = QDir::homePath();
        const QRect g =
            child->isMaximized() || child->isMinimized()
                ? (child->normalGeometry().isValid() ? child->normalGeometry() : child->geometry())
                : child->geometry();
        app::writeValue(key, "Path", path);
        app::writeValue(key, "Height", QString::number(g.height()));
        app::writeValue(key, "Width", QString::number(g.width()));
        app::writeValue(key, "Top", QString::number(g.y()));
        app::writeValue(key, "Left", QString::number(g.x()));
        app::writeValue(key, "Panel", QString::number(child->panelWidth()));
        ++written;
    }
    for (int n = int(list.size()); n <= 50; ++n) {
        const QString key = recordKey(n);
        if (!app::keyExists(key)) break;
        app::writeValue(key, "Path", "");
    }
    (void)written;
    app::syncSettings();
}

void TfrmMain::closeEvent(QCloseEvent* e) {
    closing_ = true;
    SaveWindows();
    SaveFrameSettings();
    QMainWindow::closeEvent(e);
}
