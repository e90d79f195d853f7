// The frame: menu tree, tool bars, drive menu, folder-window captions and
// close rule, the command layer's checks, window records and the frame's
// own persisted properties.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <memory>

#include "app/Commands.h"
#include "app/Dialogs.h"
#include "app/Forms.h"
#include "app/FrmChild.h"
#include "app/FrmMain.h"
#include "app/FrmMask.h"
#include "app/FrmView.h"
#include "app/Metrics.h"
#include "app/Settings.h"
#include "archive/list/ArcLister.h"
#include "desktop/FolderPicker.h"
#include "desktop/MessageBox.h"
#include "desktop/Mounts.h"
#include "desktop/Registration.h"
#include "shellctl/FolderEnumerator.h"
#include "shellctl/NameSpaceEnumerator.h"
#include "tests/desktop/QtTestEnv.h"

namespace {

QString recordKey(int n) {
    return QString("\\Software\\Fenwood\\OLMEK95\\%1").arg(n);
}
const QString kMain = "\\Software\\Fenwood\\OLMEK95\\Main";

void writeRecord(int n, const QString& path, int height = 300, int width = 400, int top = 0,
                 int left = 0, int panel = 201) {
    app::writeValue(recordKey(n), "Path", path);
    app::writeValue(recordKey(n), "Height", QString::number(height));
    app::writeValue(recordKey(n), "Width", QString::number(width));
    app::writeValue(recordKey(n), "Top", QString::number(top));
    app::writeValue(recordKey(n), "Left", QString::number(left));
    app::writeValue(recordKey(n), "Panel", QString::number(panel));
}

void touch(const QString& path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("some text\n");
}

// The menu's items as "caption|shortcut|hint" lines, "-" for separators,
// hidden items prefixed with "(hidden)".
QStringList describe(QMenu* m) {
    QStringList lines;
    for (QAction* a : m->actions()) {
        QString line = a->isSeparator()
                           ? QString("-")
                           : a->text() + "|" + a->shortcut().toString() + "|" + a->statusTip();
        if (!a->isVisible()) line.prepend("(hidden)");
        lines << line;
    }
    return lines;
}

} // namespace

class TestFrame : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void menuTree();
    void toolBars();
    void hintsGoToStatusBar();
    void driveMenuFromMountsTable();
    void driveSelectionOpensWindow();
    void captionsFollowFolderAndMask();
    void closeRule();
    void popupMenus();
    void selectionCheckMessage();
    void selectedFilesAreFullPaths();
    void everyCommandIsBuilt();
    void helpTopics();
    void fileMaskCommand();
    void viewFileListsArchive();
    void decompressFile();
    void decompressReportsCrcAndOverwrite();
    void decompressLhaArjArcArchives();
    void doubleClickViewsInsteadOfOpening();
    void windowMenuListsWindows();
    void windowRecordsWrittenOnClose();
    void windowRecordsRestored();
    void noRecordsOpensHomeMaximised();
    void recordPathOfCaptions();
    void framePersistedProperties();
    void windowCommands();
    void ctrlF4ClosesTheActiveWindow();
    void headerClickSortsWithArrow();
    void columnsFitTheFont();
    void doubleClickedFolderWithoutApplicationOpensHere();
    void failedShellOpenSaysWhy();
    void typesRegisteredForItselfOpenInTheViewer();

private:
    std::unique_ptr<TfrmMain> makeFrame(bool show = false);
    QTemporaryDir tmp_;
    desk::ScriptedMessageService boxes_;
};

void TestFrame::init() {
    app::clearSettings();
    TfrmMain::RegisterFileTypesAtStart = false;
    boxes_.records.clear();
    boxes_.answers.clear();
    desk::setMessageService(&boxes_);
}

void TestFrame::cleanup() {
    desk::setMessageService(nullptr);
    desk::setFolderPicker({});
}

std::unique_ptr<TfrmMain> TestFrame::makeFrame(bool show) {
    auto frame = std::make_unique<TfrmMain>();
    if (show) {
        frame->show();
        if (!QTest::qWaitFor([&] { return !frame->children().isEmpty(); }))
            qWarning("the frame restored no folder window");
    }
    return frame;
}

void TestFrame::menuTree() {
    auto frame = makeFrame();
    const QList<QAction*> top = frame->menuBar()->actions();
    QStringList titles;
    for (QAction* a : top) titles << a->text();
    QCOMPARE(titles, QStringList({"&File", "&Directory", "Dis&k", "&Options", "&Window", "&Help"}));
    QCOMPARE(frame->action("File1")->shortcut(), QKeySequence("Ctrl+F"));

    const QStringList file = {
        "&Compress File|F2|Pack a file (making a copy of the original file and then compressing "
        "it)",
        "&Decompress File|F3|Uncompress a file (put a file back to its original content)",
        "&Make .EXE File||",
        "-",
        "Cop&y File|F8|Dublicate a file to a specific location",
        "Mov&e File|F4|Copy a file to a specific location and then delete the original one",
        "De&lete File|Del|Erase a file",
        "-",
        "Re&name File||Change the name of a file",
        "&Run File...||Execute an application",
        "Vie&w File||",
        "View as &Text||",
        "-",
        "&File Mask|F6|Change the type of file to be displayed (Default = *.*)",
        "File &Attributes||Change file attributes",
        "File Dat&e && Time||Change file date and file time",
        "More...||",
        "-",
        "E&xit||Close OLMEK 95",
    };
    QCOMPARE(describe(top[0]->menu()), file);
    QCOMPARE(describe(top[1]->menu()),
             QStringList({"&Compress Directory||", "-", "Co&py Directory To...||",
                          "&Move Directory To...||", "-", "&New Directory||", "De&lete Directory||",
                          "Re&name Directory||", "&Print Directory||", "-", "&DOS Prompt Here||",
                          "More...||"}));
    QCOMPARE(describe(top[2]->menu()),
             QStringList({"&Compress Disk||", "-", "&Format Disk||", "Co&py Disk||", "-",
                          "Connect &Network Disk||", "&Disconnect Network Disk||", "More...||"}));
    QCOMPARE(describe(top[3]->menu()),
             QStringList({"&Configure||", "(hidden)-", "(hidden)Use Compression Wizard||",
                          "(hidden)Use Decompression Wizard||"}));
    QCOMPARE(describe(top[4]->menu()),
             QStringList({"&New Window||", "&Cascade|Shift+F5|", "Tile &Horizontally||",
                          "Tile &Vertically|Shift+F4|", "&Arrange Icons||", "&Refresh|F5|"}));
    QCOMPARE(describe(top[5]->menu()),
             QStringList({"Help Topics||", "-", "Download Latest Version||", "-", "About||"}));
    // Component names are the actions' object names.
    for (const char* name : {"CompressFile1", "ViewasASCII1", "Properties1", "More1", "More2",
                             "UseCompressionWizard1", "Refresh1", "About1"})
        QCOMPARE(frame->action(name)->objectName(), QString(name));
    QVERIFY(frame->action("UseCompressionWizard1")->isCheckable());
}

void TestFrame::toolBars() {
    auto frame = makeFrame();
    QVERIFY(frame->cmdDrives);
    QCOMPARE(frame->cmdDrives->text(), QString("Drives"));
    QCOMPARE(frame->cmdDrives->toolTip(), QString("Select a drive"));
    QCOMPARE(frame->cmdDrives->menu(), frame->DriveMenu);
    const QStringList names = {"cmdCompress", "cmdDecompress", "cmdCopy", "cmdMove",
                               "cmdDelete",   "cmdRun",        "cmdView"};
    const QStringList captions = {"Compress", "Decompress", "Copy", "Move",
                                  "Delete",   "Run",        "View"};
    QStringList order;
    for (QToolButton* b : frame->ToolBar3->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
        if (names.contains(b->objectName())) order << b->objectName();
    QCOMPARE(order, names);
    for (int i = 0; i < names.size(); ++i) {
        QToolButton* b = frame->toolButton(names[i]);
        QVERIFY(b);
        QCOMPARE(b->text(), captions[i]);
        QCOMPARE(b->size(), QSize(66, 40));
        QVERIFY(b->autoRaise());
        QCOMPARE(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        // Grey normally, coloured under the mouse.
        const QImage grey = b->icon().pixmap(20, QIcon::Normal).toImage();
        const QImage colour = b->icon().pixmap(20, QIcon::Active).toImage();
        QVERIFY(grey != colour);
        bool allGrey = true;
        for (int y = 0; y < grey.height(); ++y)
            for (int x = 0; x < grey.width(); ++x) {
                const QRgb c = grey.pixel(x, y);
                if (qAlpha(c) > 0 && (qRed(c) != qGreen(c) || qGreen(c) != qBlue(c)))
                    allGrey = false;
            }
        QVERIFY2(allGrey, qPrintable(names[i]));
    }
    // A tool button runs the menu item's command.
    frame->toolButton("cmdView")->click();
    QCOMPARE(boxes_.texts(),
             QStringList({"Select a file by clicking on its name.\nThen, try again."}));
}

void TestFrame::hintsGoToStatusBar() {
    auto frame = makeFrame();
    frame->show();
    QVERIFY(frame->action("DeleteFile1")->showStatusText(frame.get()));
    QCOMPARE(frame->statusBar()->currentMessage(), QString("Erase a file"));
    TfrmChild* c = frame->NewChild();
    for (QAction* a : c->popFile->actions())
        if (a->text() == "View File") QVERIFY(a->showStatusText(c));
    QCOMPARE(frame->statusBar()->currentMessage(), QString("Display file"));
}

void TestFrame::driveMenuFromMountsTable() {
    const QString root = tmp_.path() + "/mnt";
    for (const char* d : {"disk", "usb", "share", "cd", "ram", "proc"})
        QDir().mkpath(root + "/" + d);
    const QString table = tmp_.path() + "/mounts";
    QFile f(table);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QString("/dev/sda1 %1/disk ext4 rw 0 0\n"
                    "//server/share %1/share cifs rw 0 0\n"
                    "/dev/sr0 %1/cd iso9660 ro 0 0\n"
                    "tmpfs %1/ram tmpfs rw 0 0\n"
                    "proc %1/proc proc rw 0 0\n")
                .arg(root)
                .toUtf8());
    f.close();
    desk::setMountsTablePath(table);
    desk::setSysBlockDir(QString());
    auto frame = makeFrame();
    frame->RebuildDriveMenu();
    frame->RebuildDriveMenu(); // twice: no entry doubles
    QStringList captions;
    for (QAction* a : frame->DriveMenu->actions()) captions << a->text();
    QCOMPARE(captions, QStringList({root + "/cd", root + "/disk", root + "/share //server/share"}));
    desk::setMountsTablePath("/proc/self/mounts");
}

void TestFrame::driveSelectionOpensWindow() {
    auto frame = makeFrame();
    QList<desk::MountEntry> mounts;
    desk::MountEntry m;
    m.mountPoint = tmp_.path();
    m.driveType = desk::DRIVE_FIXED;
    mounts << m;
    desk::MountEntry ram;
    ram.mountPoint = "/nowhere";
    ram.driveType = desk::DRIVE_RAMDISK;
    mounts << ram;
    frame->RebuildDriveMenu(mounts);
    QCOMPARE(frame->DriveMenu->actions().size(), 1);
    frame->DriveMenu->actions().first()->trigger();
    QCOMPARE(frame->children().size(), 1);
    TfrmChild* c = frame->ActiveChild();
    QVERIFY(c);
    QCOMPARE(c->filSource->Folder(), tmp_.path());
    QCOMPARE(c->windowTitle(), tmp_.path() + "/*.*");
}

void TestFrame::captionsFollowFolderAndMask() {
    auto frame = makeFrame();
    QDir().mkpath(tmp_.path() + "/caps/sub");
    TfrmChild* c = frame->NewChild();
    c->showFolder(tmp_.path() + "/caps");
    QCOMPARE(c->windowTitle(), tmp_.path() + "/caps/*.*");
    QCOMPARE(c->currentDirectory(), tmp_.path() + "/caps/");
    c->filSource->SetFileMask("*.TXT");
    // The caption shows a new mask at the next folder change.
    QCOMPARE(c->windowTitle(), tmp_.path() + "/caps/*.*");
    c->dirSource->SelectPath(tmp_.path() + "/caps/sub");
    QCOMPARE(c->windowTitle(), tmp_.path() + "/caps/sub/*.TXT");
    // A virtual folder has no path: the caption is the mask alone.
    c->dirSource->setCurrentItem(c->dirSource->topLevelItem(0));
    QVERIFY(c->dirSource->SelectedPath().isEmpty());
    QCOMPARE(c->windowTitle(), QString("*.TXT"));
    QCOMPARE(c->currentDirectory(), QString());
}

void TestFrame::closeRule() {
    auto frame = makeFrame();
    TfrmChild* one = frame->NewChild();
    QVERIFY(!one->close());
    QCOMPARE(frame->children().size(), 1);
    TfrmChild* two = frame->NewChild();
    QVERIFY(one->close());
    QTRY_COMPARE(frame->children().size(), 1);
    QCOMPARE(frame->children().first(), two);
    QVERIFY(!two->close());
    QCOMPARE(frame->children().size(), 1);
}

void TestFrame::popupMenus() {
    auto frame = makeFrame();
    TfrmChild* one = frame->NewChild();
    TfrmChild* two = frame->NewChild();
    QCOMPARE(frame->ActiveChild(), two);
    QStringList file;
    for (QAction* a : one->popFile->actions()) file << (a->isSeparator() ? "-" : a->text());
    QCOMPARE(file, QStringList({"Compress File", "Decompress File", "Make .EXE File", "-",
                                "Copy File", "Move File", "Delete File", "-", "Rename File",
                                "Run File", "View File", "View as Text", "-", "File Mask",
                                "File Attributes", "File Date && Time", "More...", "-", "Cancel"}));
    QStringList dir;
    for (QAction* a : one->popDir->actions()) dir << (a->isSeparator() ? "-" : a->text());
    QCOMPARE(dir,
             QStringList({"Compress Directory", "-", "Copy Directory To...", "Move Directory To...",
                          "-", "New Directory", "Delete Directory", "Rename Dircetory",
                          "&Print Directory", "-", "DOS Prompt Here", "More...", "-", "Cancel"}));
    QCOMPARE(one->filSource->PopupMenu, one->popFile);
    QCOMPARE(one->dirSource->PopupMenu, one->popDir);
    QVERIFY(!one->filSource->ShellContextMenu);
    QVERIFY(!one->dirSource->ShellContextMenu);
    // Opening a pop-up makes its window the active one.
    emit one->popFile->aboutToShow();
    QCOMPARE(frame->ActiveChild(), one);
    emit two->popDir->aboutToShow();
    QCOMPARE(frame->ActiveChild(), two);
    // A pop-up item runs the command on that window; Cancel does nothing.
    one->popFile->actions().last()->trigger();
    QVERIFY(boxes_.records.isEmpty());
    for (QAction* a : one->popFile->actions())
        if (a->text() == "View File") {
            QCOMPARE(a->statusTip(), QString("Display file"));
            a->trigger();
        }
    QCOMPARE(boxes_.records.size(), 1);
}

void TestFrame::selectionCheckMessage() {
    auto frame = makeFrame();
    QDir().mkpath(tmp_.path() + "/sel");
    touch(tmp_.path() + "/sel/a.txt");
    TfrmChild* c = frame->NewChild();
    c->showFolder(tmp_.path() + "/sel");
    c->filSource->ClearSelection();
    for (const char* cmd : {"ViewFile1", "DecompressFile1"}) frame->runCommand(cmd);
    QCOMPARE(boxes_.records.size(), 2);
    for (const auto& r : boxes_.records) {
        QCOMPARE(r.text, QString("Select a file by clicking on its name.\nThen, try again."));
        QCOMPARE(r.type, desk::mtInformation);
        QCOMPARE(r.buttons, int(desk::mbOK));
    }
    // Without any folder window the check fails the same way.
    auto empty = makeFrame();
    boxes_.records.clear();
    empty->runCommand("ViewFile1");
    QCOMPARE(boxes_.records.size(), 1);
}

void TestFrame::selectedFilesAreFullPaths() {
    auto frame = makeFrame();
    const QString dir = tmp_.path() + "/full";
    QDir().mkpath(dir);
    touch(dir + "/x.txt");
    touch(dir + "/y.txt");
    TfrmChild* c = frame->NewChild();
    c->showFolder(dir);
    c->filSource->ClearSelection();
    c->filSource->SelectItem(c->filSource->IndexOfName("y.txt"));
    c->filSource->SelectItem(c->filSource->IndexOfName("x.txt"));
    QCOMPARE(frame->commands->SelectedFile(c, 1), dir + "/x.txt");
    QCOMPARE(frame->commands->SelectedFile(c, 2), dir + "/y.txt");
    // A virtual folder in the tree leaves no current directory: the items'
    // own paths are used rather than names relative to the working folder.
    const QSignalBlocker block(c->dirSource);
    c->dirSource->setCurrentItem(c->dirSource->topLevelItem(0));
    QVERIFY(c->currentDirectory().isEmpty());
    if (c->filSource->SelectedCount() > 0)
        QCOMPARE(frame->commands->SelectedFile(c, 1), dir + "/x.txt");
}

void TestFrame::everyCommandIsBuilt() {
    auto frame = makeFrame();
    for (const MenuItemDef& item : mainMenuItems())
        if (QString(item.name) != "-") QVERIFY2(frame->handles(item.name), item.name);
    // The file commands without a selection ask for one.
    for (const char* cmd :
         {"CompressFile1", "RunFile1", "ViewasASCII1", "Properties1", "CreateSelfExtracting1"}) {
        boxes_.records.clear();
        frame->action(cmd)->trigger();
        QCOMPARE(boxes_.texts(),
                 QStringList({"Select a file by clicking on its name.\nThen, try again."}));
    }
}

void TestFrame::helpTopics() {
    auto frame = makeFrame();
    frame->action("HelpTopics1")->trigger();
    QCOMPARE(boxes_.records.size(), 1);
    QCOMPARE(boxes_.records[0].text,
             QString("OLMEK 95 Help is still being developed. Help is currently not available."));
    QCOMPARE(boxes_.records[0].buttons, int(desk::mbOK));
    QCOMPARE(boxes_.records[0].type, desk::mtCustom);
}

void TestFrame::fileMaskCommand() {
    auto frame = makeFrame();
    const QString dir = tmp_.path() + "/mask";
    QDir().mkpath(dir);
    touch(dir + "/a.txt");
    touch(dir + "/b.zip");
    touch(dir + "/c.TXT");
    TfrmChild* c = frame->NewChild();
    c->showFolder(dir);
    QCOMPARE(c->filSource->ItemCount(), 3);
    TfrmMask* dlg = forms::frmMask();
    QTimer::singleShot(0, dlg, [dlg] {
        QTRY_VERIFY(dlg->isVisible());
        dlg->txtSourcePathMask()->setText("*.txt");
        dlg->findChild<QPushButton*>("cmdOk")->click();
    });
    frame->action("SourceFileMask1")->trigger();
    QCOMPARE(c->filSource->FileMask(), QString("*.txt"));
    QCOMPARE(c->filSource->ItemCount(), 2); // masks match regardless of case
    // Cancel leaves the mask alone.
    QTimer::singleShot(0, dlg, [dlg] {
        QTRY_VERIFY(dlg->isVisible());
        dlg->txtSourcePathMask()->setText("*.zip");
        dlg->findChild<QPushButton*>("cmdCancel")->click();
    });
    frame->action("SourceFileMask1")->trigger();
    QCOMPARE(c->filSource->FileMask(), QString("*.txt"));
    QVERIFY(!app::valueExists(kMain, "SPathMask"));
}

void TestFrame::viewFileListsArchive() {
    const QString zip = QStandardPaths::findExecutable("zip");
    if (zip.isEmpty()) QSKIP("zip is not installed");
    const QString dir = tmp_.path() + "/view";
    QDir().mkpath(dir);
    touch(dir + "/one.txt");
    touch(dir + "/two.txt");
    QCOMPARE(
        QProcess::execute(zip, {"-q", "-j", dir + "/pair.zip", dir + "/one.txt", dir + "/two.txt"}),
        0);
    auto frame = makeFrame();
    TfrmChild* c = frame->NewChild();
    c->showFolder(dir);
    c->filSource->ClearSelection();
    c->filSource->SelectItem(c->filSource->IndexOfName("pair.zip"));
    c->filSource->SelectItem(c->filSource->IndexOfName("one.txt"));
    QStringList names;
    QString caption;
    bool addEnabled = false;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(qobject_cast<TfrmView*>(QApplication::activeModalWidget()));
        auto* w = qobject_cast<TfrmView*>(QApplication::activeModalWidget());
        addEnabled = w->cmdAdd->isEnabled();
        caption = w->windowTitle();
        for (int i = 0; i < w->ListView1->topLevelItemCount(); ++i)
            names << w->ListView1->topLevelItem(i)->text(0);
        w->close();
    });
    // Only the first selected file (in list order) is viewed.
    QVERIFY(c->filSource->SelectedItemPath(1).endsWith("one.txt") ||
            c->filSource->SelectedItemPath(1).endsWith("pair.zip"));
    if (c->filSource->SelectedItemPath(1).endsWith("one.txt")) {
        c->filSource->ClearSelection();
        c->filSource->SelectItem(c->filSource->IndexOfName("pair.zip"));
    }
    frame->runCommand("ViewFile1");
    QCOMPARE(caption, dir + "/pair.zip");
    QCOMPARE(names, QStringList({"one.txt", "two.txt"}));
    QVERIFY(addEnabled);
    QCOMPARE(c->ArcLister1->ArcType(), atZIP);
    QVERIFY(boxes_.records.isEmpty());
}

void TestFrame::decompressFile() {
    const QString zip = QStandardPaths::findExecutable("zip");
    const QString tar = QStandardPaths::findExecutable("tar");
    if (zip.isEmpty() || tar.isEmpty()) QSKIP("zip or tar is not installed");
    const QString dir = tmp_.path() + "/dec";
    const QString target = tmp_.path() + "/dec-out";
    QDir().mkpath(dir + "/src/docs");
    QDir().mkpath(target);
    touch(dir + "/src/docs/inner.txt");
    touch(dir + "/plain.txt");
    QProcess p;
    p.setWorkingDirectory(dir + "/src");
    p.start(zip, {"-q", "-r", dir + "/a.zip", "docs"});
    QVERIFY(p.waitForFinished());
    p.start(tar, {"-cf", dir + "/b.tar", "docs"});
    QVERIFY(p.waitForFinished());
    auto frame = makeFrame();
    TfrmChild* c = frame->NewChild();
    c->showFolder(dir);
    c->filSource->ClearSelection();
    for (const char* name : {"a.zip", "b.tar", "plain.txt"})
        c->filSource->SelectItem(c->filSource->IndexOfName(name));
    QCOMPARE(c->filSource->SelectedCount(), 3);
    // Cancelling the folder picker stops the command.
    desk::setFolderPicker([](QWidget*, const QString&, const QString&) { return QString(); });
    frame->runCommand("DecompressFile1");
    QVERIFY(boxes_.records.isEmpty());
    desk::setFolderPicker([&](QWidget*, const QString&, const QString&) { return target; });
    frame->runCommand("DecompressFile1");
    QVERIFY2(QFile::exists(target + "/docs/inner.txt"), qPrintable(boxes_.texts().join("; ")));
    QStringList texts = boxes_.texts();
    QVERIFY(texts.contains("Decompression file type is not supported."));
    // The TAR extractor puts every file straight into the target folder.
    QVERIFY(QFile::exists(target + "/inner.txt"));
    QVERIFY(!forms::frmProgress2()->isVisible());
}

void TestFrame::decompressReportsCrcAndOverwrite() {
    const QString zip = QStandardPaths::findExecutable("zip");
    if (zip.isEmpty()) QSKIP("zip is not installed");
    const QString dir = tmp_.path() + "/crc";
    const QString target = tmp_.path() + "/crc-out";
    QDir().mkpath(dir);
    QDir().mkpath(target);
    {
        QFile f(dir + "/data.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(400, 'A'));
    }
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(zip, {"-q", "-0", "good.zip", "data.txt"});
    QVERIFY(p.waitForFinished());
    QVERIFY(QFile::copy(dir + "/good.zip", dir + "/bad.zip"));
    {
        // Flip one byte of the stored member's data.
        QFile f(dir + "/bad.zip");
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray all = f.readAll();
        const int at = all.indexOf(QByteArray(40, 'A'));
        QVERIFY(at > 0);
        all[at + 10] = 'B';
        f.seek(0);
        f.write(all);
    }
    auto frame = makeFrame();
    TfrmChild* c = frame->NewChild();
    c->showFolder(dir);
    desk::setFolderPicker([&](QWidget*, const QString&, const QString&) { return target; });
    c->filSource->ClearSelection();
    c->filSource->SelectItem(c->filSource->IndexOfName("bad.zip"));
    frame->runCommand("DecompressFile1");
    bool endMessage = false;
    for (const QString& t : boxes_.texts())
        endMessage |= t.endsWith("\rExtract failed\r\rOnEnd Event...") || t.contains("Error#: ");
    QVERIFY2(endMessage, qPrintable(boxes_.texts().join(" / ")));

    // The good archive into the same folder: the file exists; No keeps it.
    QFile::remove(target + "/data.txt");
    {
        QFile f(target + "/data.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    boxes_.records.clear();
    boxes_.answers = {desk::mrNo};
    c->filSource->ClearSelection();
    c->filSource->SelectItem(c->filSource->IndexOfName("good.zip"));
    frame->runCommand("DecompressFile1");
    QCOMPARE(boxes_.records.size(), 1);
    QCOMPARE(boxes_.records[0].text, target + "/data.txt already exists. Overwrite?");
    QCOMPARE(boxes_.records[0].buttons, int(desk::mbYes | desk::mbNo));
    QFile kept(target + "/data.txt");
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep me"));
    kept.close();
    boxes_.records.clear();
    boxes_.answers = {desk::mrYes};
    frame->runCommand("DecompressFile1");
    QFile replaced(target + "/data.txt");
    QVERIFY(replaced.open(QIODevice::ReadOnly));
    QCOMPARE(replaced.readAll(), QByteArray(400, 'A'));
}

// The LHA, ARJ and ARC extractors come through the same registry as ZIP's.
void TestFrame::decompressLhaArjArcArchives() {
    struct Maker {
        const char* tool;
        QStringList args;
        const char* archive;
    };
    const QString dir = tmp_.path() + "/fam";
    const QString target = tmp_.path() + "/fam-out";
    QDir().mkpath(dir + "/src");
    QDir().mkpath(target);
    {
        QFile f(dir + "/src/note.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("a note for the archivers\n").repeated(50));
    }
    const Maker makers[] = {
        {"jlha", {"a1o5q", "../n.lzh", "note.txt"}, "n.lzh"},
        {"arj", {"a", "../n.arj", "note.txt"}, "n.arj"},
        {"arc", {"a", "../n.arc", "note.txt"}, "n.arc"},
    };
    auto frame = makeFrame();
    TfrmChild* c = frame->NewChild();
    desk::setFolderPicker([&](QWidget*, const QString&, const QString&) { return target; });
    int made = 0;
    for (const Maker& m : makers) {
        const QString tool = QStandardPaths::findExecutable(m.tool);
        if (tool.isEmpty()) continue;
        QProcess p;
        p.setWorkingDirectory(dir + "/src");
        p.start(tool, m.args);
        QVERIFY(p.waitForFinished(60000));
        QFile::remove(target + "/note.txt");
        c->showFolder(dir);
        c->filSource->ClearSelection();
        c->filSource->SelectItem(c->filSource->IndexOfName(m.archive));
        boxes_.records.clear();
        frame->runCommand("DecompressFile1");
        QVERIFY2(boxes_.records.isEmpty(), qPrintable(boxes_.texts().join("; ")));
        QFile out(target + "/note.txt");
        QVERIFY2(out.open(QIODevice::ReadOnly), m.archive);
        QCOMPARE(out.readAll(), QByteArray("a note for the archivers\n").repeated(50));
        ++made;
    }
    if (made == 0) QSKIP("jlha, arj and arc are not installed");
}

void TestFrame::doubleClickViewsInsteadOfOpening() {
    auto frame = makeFrame();
    TfrmChild* c = frame->NewChild();
    c->showFolder(tmp_.path());
    c->filSource->ClearSelection();
    QVERIFY(c->filSource->OnDoubleClick);
    bool execute = true;
    c->filSource->OnDoubleClick(c->filSource, execute);
    QVERIFY(!execute);
    // View File ran: with nothing selected it asks for a selection.
    QCOMPARE(boxes_.texts(),
             QStringList({"Select a file by clicking on its name.\nThen, try again."}));
}

void TestFrame::windowMenuListsWindows() {
    auto frame = makeFrame();
    QDir().mkpath(tmp_.path() + "/wm1");
    TfrmChild* one = frame->NewChild();
    one->showFolder(tmp_.path() + "/wm1");
    frame->NewChild()->showFolder(tmp_.path());
    emit frame->Window1->aboutToShow();
    emit frame->Window1->aboutToShow(); // rebuilt, not appended twice
    QStringList listed;
    for (QAction* a : frame->Window1->actions())
        if (a->property("windowList").toBool() && !a->isSeparator()) listed << a->text();
    QCOMPARE(listed, QStringList({"&1 " + tmp_.path() + "/wm1/*.*", "&2 " + tmp_.path() + "/*.*"}));
    for (QAction* a : frame->Window1->actions())
        if (a->text().startsWith("&1 ")) a->trigger();
    QCOMPARE(frame->ActiveChild(), one);
}

void TestFrame::windowRecordsWrittenOnClose() {
    // A previous run had four windows.
    for (int i = 0; i < 4; ++i) writeRecord(i, QDir::homePath());
    const QString a = tmp_.path() + "/recA", b = tmp_.path() + "/recB";
    QDir().mkpath(a);
    QDir().mkpath(b);
    auto frame = makeFrame();
    frame->resize(900, 700);
    TfrmChild* one = frame->NewChild();
    one->showFolder(a);
    one->setGeometry(10, 20, 500, 250);
    one->setPanelWidth(150);
    TfrmChild* two = frame->NewChild();
    two->showFolder(b);
    two->setGeometry(30, 40, 420, 260);
    frame->close();
    QCOMPARE(app::readValue(recordKey(0), "Path", "?"), a);
    QCOMPARE(app::readValue(recordKey(0), "Left", "?"), QString("10"));
    QCOMPARE(app::readValue(recordKey(0), "Top", "?"), QString("20"));
    QCOMPARE(app::readValue(recordKey(0), "Width", "?"), QString("500"));
    QCOMPARE(app::readValue(recordKey(0), "Height", "?"), QString("250"));
    QCOMPARE(app::readValue(recordKey(0), "Panel", "?"), QString("150"));
    QCOMPARE(app::readValue(recordKey(1), "Path", "?"), b);
    QCOMPARE(app::readValue(recordKey(1), "Width", "?"), QString("420"));
    // Records of the earlier, larger run are retired; none is added.
    QCOMPARE(app::readValue(recordKey(2), "Path", "?"), QString());
    QCOMPARE(app::readValue(recordKey(3), "Path", "?"), QString());
    QVERIFY(!app::keyExists(recordKey(4)));
}

void TestFrame::windowRecordsRestored() {
    const QString a = tmp_.path() + "/resA";
    QDir().mkpath(a);
    writeRecord(0, a, 260, 480, 15, 25, 170);
    writeRecord(1, tmp_.path() + "/gone-away");
    writeRecord(2, "");
    writeRecord(3, a);
    app::writeValue(recordKey(1), "Height", "tall"); // not a number: its default
    auto frame = makeFrame(true);
    QTRY_COMPARE(frame->children().size(), 2);
    QTest::qWait(50);
    QCOMPARE(frame->children().size(), 2);
    TfrmChild* one = frame->children()[0];
    TfrmChild* two = frame->children()[1];
    QCOMPARE(one->filSource->Folder(), a);
    QCOMPARE(one->windowTitle(), a + "/*.*");
    QCOMPARE(one->geometry(), QRect(25, 15, 480, 260));
    QCOMPARE(one->panelWidth(), 170);
    // A folder that no longer exists falls back to the home folder.
    QCOMPARE(two->filSource->Folder(), QDir::homePath());
    QCOMPARE(two->height(), 300);
    QCOMPARE(two->width(), 400);
    QVERIFY(two->panelWidth() <= 400);
    QVERIFY(!two->isMaximized());
}

void TestFrame::noRecordsOpensHomeMaximised() {
    auto frame = makeFrame(true);
    QTRY_COMPARE(frame->children().size(), 1);
    TfrmChild* c = frame->children().first();
    QVERIFY(c->isMaximized());
    QCOMPARE(c->filSource->Folder(), QDir::homePath());
    QCOMPARE(frame->Splash, nullptr);
    // The frame closes with one window: record 0 written, nothing retired.
    frame->close();
    QCOMPARE(app::readValue(recordKey(0), "Path", ""), QDir::homePath());
    QVERIFY(!app::keyExists(recordKey(1)));
}

void TestFrame::recordPathOfCaptions() {
    QCOMPARE(recordPathOfCaption("/home/user/docs/*.*"), QString("/home/user/docs"));
    QCOMPARE(recordPathOfCaption("/home/*.ZIP"), QString("/home"));
    // The root keeps its separator, else the record would read as unused.
    QCOMPARE(recordPathOfCaption("/*.*"), QString("/"));
    QCOMPARE(recordPathOfCaption("C:\\*.*").isEmpty() || recordPathOfCaption("C:\\*.*") == "C",
             true);
    QCOMPARE(recordPathOfCaption("*.*"), QString());
}

void TestFrame::framePersistedProperties() {
    {
        auto frame = makeFrame();
        QCOMPARE(frame->size(), QSize(657, 476));
        QCOMPARE(frame->pos(), QPoint(1, 0));
        QVERIFY(frame->action("UseCompressionWizard1")->isChecked());
        frame->resize(700, 500);
        frame->move(12, 34);
        frame->action("UseCompressionWizard1")->trigger();
        QVERIFY(!frame->action("UseCompressionWizard1")->isChecked());
    }
    QCOMPARE(app::readValue(kMain, "Width", ""), QString("700"));
    QCOMPARE(app::readValue(kMain, "Height", ""), QString("500"));
    QCOMPARE(app::readValue(kMain, "Left", ""), QString("12"));
    QCOMPARE(app::readValue(kMain, "Top", ""), QString("34"));
    QCOMPARE(app::readValue(kMain, "WindowState", ""), QString("wsNormal"));
    QCOMPARE(app::readValue(kMain, "CompressionWizard", ""), QString("0"));
    app::writeValue(kMain, "WindowState", "wsMaximized");
    auto frame = makeFrame();
    QCOMPARE(frame->size(), QSize(700, 500));
    QVERIFY(!frame->action("UseCompressionWizard1")->isChecked());
    QVERIFY(frame->windowState() & Qt::WindowMaximized);
}

void TestFrame::windowCommands() {
    auto frame = makeFrame();
    frame->resize(800, 600);
    frame->show();
    QTRY_COMPARE(frame->children().size(), 1);
    frame->children().first()->showNormal();
    frame->action("NewWindow1")->trigger();
    QCOMPARE(frame->children().size(), 2);
    QCOMPARE(frame->ActiveChild(), frame->children()[1]);
    frame->action("TileVertically1")->trigger();
    const QRect l = frame->children()[0]->geometry(), r = frame->children()[1]->geometry();
    QCOMPARE(l.top(), r.top());
    QVERIFY(l.right() < r.left());
    frame->action("TileHorizontally1")->trigger();
    const QRect t = frame->children()[0]->geometry(), b = frame->children()[1]->geometry();
    QCOMPARE(t.left(), b.left());
    QVERIFY(t.bottom() < b.top());
    frame->action("Cascade1")->trigger();
    QVERIFY(frame->children()[0]->geometry().topLeft() !=
            frame->children()[1]->geometry().topLeft());
    frame->action("Refresh1")->trigger();
    frame->action("ArrangeIcons1")->trigger();
    QVERIFY(boxes_.records.isEmpty());
}

void TestFrame::ctrlF4ClosesTheActiveWindow() {
    auto frame = makeFrame();
    frame->show();
    QTRY_COMPARE(frame->children().size(), 1);
    frame->action("NewWindow1")->trigger();
    QCOMPARE(frame->children().size(), 2);
    QVERIFY(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_F4, Qt::ControlModifier);
    QTRY_COMPARE(frame->children().size(), 1);
    // The last one stays.
    QTest::keyClick(frame.get(), Qt::Key_F4, Qt::ControlModifier);
    QTest::qWait(20);
    QCOMPARE(frame->children().size(), 1);
}

void TestFrame::headerClickSortsWithArrow() {
    const QString dir = tmp_.path() + "/sort";
    QDir().mkpath(dir);
    for (auto [name, size] : {std::pair{"a.txt", 300}, {"b.txt", 100}, {"c.txt", 200}}) {
        QFile f(dir + "/" + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size * 1024, 'x'));
    }
    auto frame = makeFrame();
    frame->resize(900, 600);
    frame->show();
    QTRY_COMPARE(frame->children().size(), 1);
    TfrmChild* c = frame->children().first();
    c->showFolder(dir);
    auto* report = qobject_cast<QTreeView*>(c->filSource->view());
    QVERIFY(report);
    QHeaderView* header = report->header();
    const auto names = [&] {
        QStringList out;
        for (int i = 0; i < c->filSource->ItemCount(); ++i)
            out << c->filSource->ItemRecord(i).DisplayName;
        return out;
    };
    const QPoint sizeHeader(header->sectionViewportPosition(cnSize) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sizeHeader);
    QCOMPARE(names(), QStringList({"b.txt", "c.txt", "a.txt"}));
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), int(cnSize));
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sizeHeader);
    QCOMPARE(names(), QStringList({"a.txt", "c.txt", "b.txt"}));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

void TestFrame::columnsFitTheFont() {
    auto frame = makeFrame();
    TfrmChild* c = frame->NewChild();
    const TFolderColumn& cols = c->filSource->FolderColumns();
    QCOMPARE(cols[cnName].Width, app::scaledWidth(200));
    QCOMPARE(cols[cnSize].Width, app::scaledWidth(50));
    QVERIFY(app::scaledWidth(100) >= 100);
    // A larger font gives wider columns, in proportion.
    QFont big = QApplication::font();
    big.setPointSize(big.pointSize() * 2);
    QVERIFY(app::scaledWidth(100, big) > app::scaledWidth(100));
    auto* report = qobject_cast<QTreeView*>(c->filSource->view());
    QVERIFY(report->header()->stretchLastSection());
}

void TestFrame::doubleClickedFolderWithoutApplicationOpensHere() {
    const QString dir = tmp_.path() + "/dbl";
    QDir().mkpath(dir + "/inner");
    auto frame = makeFrame();
    TfrmChild* c = frame->NewChild();
    c->showFolder(dir);
    c->filSource->ClearSelection();
    c->filSource->SelectItem(c->filSource->IndexOfName("inner"));
    bool execute = true;
    c->filSource->OnDoubleClick(c->filSource, execute);
    // No application for folders here: the window moves into it.
    QCOMPARE(c->filSource->Folder(), dir + "/inner");
    QCOMPARE(c->windowTitle(), dir + "/inner/*.*");
    QVERIFY(boxes_.records.isEmpty());
}

void TestFrame::failedShellOpenSaysWhy() {
    const QString dir = tmp_.path() + "/noapp";
    QDir().mkpath(dir);
    {
        QFile f(dir + "/data.qqq");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x01\x02\x03\x04", 4).repeated(64));
    }
    auto frame = makeFrame();
    TfrmChild* c = frame->NewChild();
    c->showFolder(dir);
    c->filSource->ClearSelection();
    c->filSource->SelectItem(c->filSource->IndexOfName("data.qqq"));
    frame->runCommand("ViewFile1");
    QCOMPARE(boxes_.texts(), QStringList({"There is no application for data.qqq on this system."}));
}

void TestFrame::typesRegisteredForItselfOpenInTheViewer() {
    const QString rar = QString(OLMEK_CORPUS_DIR) +
                        "/rar/libarchive__test_rar_multivolume_multiple_files.part1.rar";
    if (!QFile::exists(rar)) QSKIP("no RAR sample in the corpus");
    const QString dir = tmp_.path() + "/own";
    QDir().mkpath(dir);
    QFile::remove(dir + "/sample.rar");
    QVERIFY(QFile::copy(rar, dir + "/sample.rar"));
    QString error;
    QVERIFY2(desk::RegisterFileTypes("/usr/bin/olmek-test", &error, false), qPrintable(error));
    auto frame = makeFrame();
    TfrmChild* c = frame->NewChild();
    c->showFolder(dir);
    c->filSource->ClearSelection();
    c->filSource->SelectItem(c->filSource->IndexOfName("sample.rar"));
    QString caption;
    int rows = 0;
    bool addEnabled = true;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(qobject_cast<TfrmView*>(QApplication::activeModalWidget()));
        auto* w = qobject_cast<TfrmView*>(QApplication::activeModalWidget());
        caption = w->windowTitle();
        rows = w->ListView1->topLevelItemCount();
        addEnabled = w->cmdAdd->isEnabled();
        w->close();
    });
    frame->runCommand("ViewFile1");
    QCOMPARE(caption, dir + "/sample.rar");
    QVERIFY(rows > 0);
    QVERIFY(!addEnabled);
    QFile::remove(desk::mimeAppsListFile());
}

OLMEK_QTEST_MAIN(TestFrame)
#include "tst_frame.moc"
