// The smaller commands of the folder windows: Run File, View as Text, the
// terminal here, the disk utility, Print Directory, Make .EXE File, the
// "More..." menus and the download notice.
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/Commands.h"
#include "app/Forms.h"
#include "app/FrmChild.h"
#include "app/FrmMain.h"
#include "app/OtherCommands.h"
#include "app/Settings.h"
#include "desktop/MessageBox.h"
#include "desktop/PrintDirectory.h"
#include "platform/DataFiles.h"
#include "shellctl/FolderEnumerator.h"
#include "tests/app/AppTestSupport.h"
#include "tests/desktop/QtTestEnv.h"

using namespace apptest;

namespace {

// An executable script that appends its working folder and arguments to log.
void writeRecorderScript(const QString& path, const QString& log) {
    writeFile(path, QString("#!/bin/sh\necho \"$(pwd) $*\" >> \"%1\"\n").arg(log).toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList waitForLog(const QString& log, int lines = 1) {
    QElapsedTimer t;
    t.start();
    while (logLines(log).size() < lines && t.elapsed() < 10000) QTest::qWait(20);
    return logLines(log);
}

QByteArray storedZip(const QString& folder) {
    // A ZIP made by the peer tool when it is there.
    writeFile(folder + "/in/one.txt", textBytes(3000, 1));
    writeFile(folder + "/in/two.txt", textBytes(5000, 2));
    if (runTool("zip", {"-q", "-r", "../arc.zip", "."}, folder + "/in") != 0) return {};
    return readFile(folder + "/arc.zip");
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void exeTargetKeepsFolderDots_data();
    void exeTargetKeepsFolderDots();
    void makeExeFileJoinsTheStub();
    void makeExeFileAsksBeforeReplacing();
    void makeExeFileOfANonArchiveLeavesNothing();
    void runFileStartsTheEditedLine();
    void runFileWithAnEmptyLineSaysSo();
    void viewAsTextUsesTheTextApplication();
    void terminalOpensInTheCurrentFolder();
    void diskUtilityOrInformation();
    void printDirectoryOfAnEmptyFolder();
    void printDirectoryTakesTheListInOrder();
    void moreMenuOffersTheDesktopActions();
    void downloadNotice();

private:
    TfrmChild* windowOn(TfrmMain& frame, const QString& folder, const QStringList& select = {});
    QString folder(const QString& name) const { return tmp_.path() + "/" + name; }
    QTemporaryDir tmp_;
    desk::ScriptedMessageService boxes_;
    QByteArray savedPath_;
};

void TestCommands::init() {
    app::clearSettings();
    TfrmMain::RegisterFileTypesAtStart = false;
    boxes_.records.clear();
    boxes_.answers.clear();
    boxes_.defaultAnswer = desk::mrNone;
    desk::setMessageService(&boxes_);
    savedPath_ = qgetenv("PATH");
    removeApplications();
}

void TestCommands::cleanup() {
    desk::setMessageService(nullptr);
    qputenv("PATH", savedPath_);
    qunsetenv("TERMINAL");
    forms::destroyAll();
}

TfrmChild* TestCommands::windowOn(TfrmMain& frame, const QString& dir, const QStringList& names) {
    TfrmChild* c = frame.NewChild();
    c->showFolder(dir);
    c->filSource->ClearSelection();
    for (const QString& n : names) c->filSource->SelectItem(c->filSource->IndexOfName(n));
    return c;
}

void TestCommands::exeTargetKeepsFolderDots_data() {
    QTest::addColumn<QString>("archive");
    QTest::addColumn<QString>("program");
    QTest::newRow("plain") << "/out/ARC.ZIP"
                           << "/out/ARC.exe";
    QTest::newRow("dotted folder") << "/a/v1.2/arc.zip"
                                   << "/a/v1.2/arc.exe";
    QTest::newRow("two dots") << "/a/b/set.tar.zip"
                              << "/a/b/set.exe";
    QTest::newRow("no dot") << "/a/v1.2/arc"
                            << "/a/v1.2/arc.exe";
}

void TestCommands::exeTargetKeepsFolderDots() {
    QFETCH(QString, archive);
    QFETCH(QString, program);
    QCOMPARE(app::exeTargetOf(archive), program);
}

void TestCommands::makeExeFileJoinsTheStub() {
    const QString stub = QString::fromStdString(plat::findDataFile(plat::StubFileName));
    if (stub.isEmpty()) QSKIP("STUB.EXE was not built (no MinGW-w64 cross compiler)");
    const QString dir = folder("v1.2");
    const QByteArray zip = storedZip(dir);
    if (zip.isEmpty()) QSKIP("zip is not installed");
    TfrmMain frame;
    windowOn(frame, dir, {"arc.zip"});
    frame.runCommand("CreateSelfExtracting1");
    QVERIFY2(boxes_.records.isEmpty(), qPrintable(boxes_.texts().join('|')));
    const QByteArray exe = readFile(dir + "/arc.exe");
    QCOMPARE(exe.left(2), QByteArray("MZ"));
    QCOMPARE(exe.size(), QFileInfo(stub).size() + zip.size());
    QCOMPARE(runTool("unzip", {"-tq", "arc.exe"}, dir), 0);
    QVERIFY(!QFile::exists(folder("v1.exe")));
    // Nothing else was left in the folder.
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void TestCommands::makeExeFileAsksBeforeReplacing() {
    if (plat::findDataFile(plat::StubFileName).empty()) QSKIP("STUB.EXE was not built");
    const QString dir = folder("replace");
    if (storedZip(dir).isEmpty()) QSKIP("zip is not installed");
    writeFile(dir + "/arc.exe", "keep me");
    TfrmMain frame;
    windowOn(frame, dir, {"arc.zip"});
    boxes_.answers = {desk::mrNo};
    frame.runCommand("CreateSelfExtracting1");
    QCOMPARE(boxes_.records.size(), 1);
    QCOMPARE(boxes_.records[0].type, desk::mtConfirmation);
    QCOMPARE(readFile(dir + "/arc.exe"), QByteArray("keep me"));
    boxes_.answers = {desk::mrYes};
    frame.runCommand("CreateSelfExtracting1");
    QCOMPARE(readFile(dir + "/arc.exe").left(2), QByteArray("MZ"));
}

void TestCommands::makeExeFileOfANonArchiveLeavesNothing() {
    if (plat::findDataFile(plat::StubFileName).empty()) QSKIP("STUB.EXE was not built");
    const QString dir = folder("notzip");
    writeFile(dir + "/readme.txt", "not an archive");
    TfrmMain frame;
    windowOn(frame, dir, {"readme.txt"});
    frame.runCommand("CreateSelfExtracting1");
    QCOMPARE(boxes_.records.size(), 1);
    QCOMPARE(boxes_.records[0].type, desk::mtError);
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"readme.txt"});
}

void TestCommands::runFileStartsTheEditedLine() {
    const QString dir = folder("run");
    const QString log = folder("run.log");
    writeRecorderScript(dir + "/tool.sh", log);
    TfrmMain frame;
    windowOn(frame, dir, {"tool.sh"});
    QString shown;
    whenModal<TfrmRun>([&](TfrmRun* run) {
        shown = run->txtApplication->text();
        run->txtApplication->setText(shown + " hello 'two words'");
        run->accept();
    });
    frame.runCommand("RunFile1");
    QCOMPARE(shown, dir + "/tool.sh");
    QCOMPARE(waitForLog(log), QStringList{dir + " hello two words"});
    QVERIFY(boxes_.records.isEmpty());
}

void TestCommands::runFileWithAnEmptyLineSaysSo() {
    const QString dir = folder("runempty");
    writeFile(dir + "/a.txt", "a");
    TfrmMain frame;
    windowOn(frame, dir, {"a.txt"});
    whenModal<TfrmRun>([](TfrmRun* run) {
        run->txtApplication->setText("   ");
        run->accept();
    });
    frame.runCommand("RunFile1");
    QCOMPARE(boxes_.texts(), QStringList{"Nothing to run: the command line is empty."});
}

void TestCommands::viewAsTextUsesTheTextApplication() {
    const QString dir = folder("text");
    const QString log = folder("text.log");
    writeFile(dir + "/notes.dat", "some text");
    installRecorder("recorder.desktop", {"text/plain"}, log);
    TfrmMain frame;
    windowOn(frame, dir, {"notes.dat"});
    frame.runCommand("ViewasASCII1");
    QCOMPARE(waitForLog(log, 2),
             (QStringList{"start " + dir + "/notes.dat", "end " + dir + "/notes.dat"}));
}

void TestCommands::terminalOpensInTheCurrentFolder() {
    const QString dir = folder("term");
    const QString log = folder("term.log");
    QDir().mkpath(dir);
    writeRecorderScript(folder("bin/myterm"), log);
    qputenv("TERMINAL", folder("bin/myterm").toUtf8());
    TfrmMain frame;
    windowOn(frame, dir);
    frame.runCommand("DOSPromptHere1");
    QCOMPARE(waitForLog(log), QStringList{dir + " "});
    QVERIFY(boxes_.records.isEmpty());
}

void TestCommands::diskUtilityOrInformation() {
    QDir().mkpath(folder("nopath"));
    qputenv("PATH", folder("nopath").toUtf8());
    TfrmMain frame;
    windowOn(frame, tmp_.path());
    frame.runCommand("FormatDisk1");
    QCOMPARE(boxes_.records.size(), 1);
    QVERIFY(boxes_.records[0].text.startsWith("No disk utility was found."));
    const QString log = folder("disks.log");
    writeRecorderScript(folder("nopath/gnome-disks"), log);
    frame.runCommand("CopyDisk1");
    QCOMPARE(waitForLog(log).size(), 1);
    QCOMPARE(boxes_.records.size(), 1);
}

void TestCommands::printDirectoryOfAnEmptyFolder() {
    QDir().mkpath(folder("empty"));
    TfrmMain frame;
    windowOn(frame, folder("empty"));
    frame.runCommand("PrintDirectory1");
    QCOMPARE(boxes_.texts(), QStringList{"This folder is empty: there is nothing to print."});
}

void TestCommands::printDirectoryTakesTheListInOrder() {
    const QString dir = folder("print");
    writeFile(dir + "/b.txt", QByteArray(1234, 'b'));
    writeFile(dir + "/a.txt", "a");
    // Beyond 32 bits (sparse, so it costs no space).
    {
        QFile big(dir + "/c.bin");
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(5LL << 30));
    }
    TfrmMain frame;
    TfrmChild* child = windowOn(frame, dir);
    const std::vector<desk::DirectoryItem> items = frame.commands->DirectoryItems(child);
    QCOMPARE(int(items.size()), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(items[i].Name, child->filSource->ItemRecord(i).DisplayName);
    std::uint64_t total = 0;
    for (const auto& item : items) total += item.Size;
    QCOMPARE(total, (5ULL << 30) + 1235);
    bool previewed = false;
    whenModal<QPrintPreviewDialog>([&](QPrintPreviewDialog* p) {
        previewed = true;
        p->reject();
    });
    frame.runCommand("PrintDirectory1");
    QVERIFY(previewed);
    QVERIFY(boxes_.records.isEmpty());
}

void TestCommands::moreMenuOffersTheDesktopActions() {
    const QString file = folder("more/a.txt");
    writeFile(file, "a");
    installRecorder("recorder.desktop", {"text/plain"}, folder("more.log"));
    QWidget owner;
    std::unique_ptr<QMenu> menu(app::moreMenu(&owner, file));
    QStringList texts;
    QAction* copyPath = nullptr;
    QAction* openWith = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) continue;
        texts << a->text();
        if (a->text() == "&Copy Path") copyPath = a;
        if (a->menu()) openWith = a;
    }
    QCOMPARE(texts, (QStringList{"&Open", "Open &With", "Open &Terminal Here", "&Copy Path",
                                 "P&roperties"}));
    QVERIFY(openWith);
    QStringList apps;
    for (QAction* a : openWith->menu()->actions()) apps << a->text();
    QVERIFY2(apps.contains("recorder.desktop"), qPrintable(apps.join('|')));
    copyPath->trigger();
    QCOMPARE(QApplication::clipboard()->text(), file);
    QVERIFY(app::propertiesText(file).contains("Size: 1 bytes"));

    // The Directory menu's "More..." shows the menu of the current folder.
    TfrmMain frame;
    windowOn(frame, folder("more"));
    QString shownFor;
    QTimer::singleShot(50, [&] {
        if (auto* m = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            shownFor = m->objectName();
            m->close();
        }
    });
    frame.runCommand("More1");
    QCOMPARE(shownFor, QString("mnuMore"));
}

void TestCommands::downloadNotice() {
    TfrmMain frame;
    QString link;
    whenModal<TfrmDownload>([&](TfrmDownload* d) {
        link = d->lblLink->text();
        d->findChild<QPushButton*>("cmdOk")->click();
    });
    frame.runCommand("DownloadLatestVersion1");
    QVERIFY(link.contains(kDownloadAddress));
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
