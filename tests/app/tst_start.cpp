// The main block: command-line mode lists the archive named by all
// arguments joined with blanks; a normal start opens the default window;
// the file types are registered at every start.
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include "app/Forms.h"
#include "app/FrmChild.h"
#include "app/FrmMain.h"
#include "app/FrmTo.h"
#include "app/FrmView.h"
#include "app/MainBlock.h"
#include "app/Settings.h"
#include "app/SingleInstance.h"
#include "archive/core/Hooks.h"
#include "desktop/FileInfo.h"
#include "desktop/MessageBox.h"
#include "desktop/Registration.h"
#include "shellctl/FolderEnumerator.h"
#include "tests/desktop/QtTestEnv.h"

namespace {
QString recordKey(int n) {
    return QString("\\Software\\Fenwood\\OLMEK95\\%1").arg(n);
}

struct Seen {
    bool shown = false;
    QString caption;
    QStringList names;
    QString totals;
    bool splashGone = false;
    int folderWindows = -1;
};

// Watches for the viewer, records what it shows, then closes it.
void watchListWindow(TfrmMain*& frame, Seen& seen) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, &frame, &seen] {
        auto* w = qobject_cast<TfrmView*>(QApplication::activeModalWidget());
        if (!w) return;
        timer->stop();
        timer->deleteLater();
        seen.shown = true;
        seen.caption = w->windowTitle();
        for (int i = 0; i < w->ListView1->topLevelItemCount(); ++i)
            seen.names << w->ListView1->topLevelItem(i)->text(0);
        if (w->ListView2->topLevelItemCount() > 0)
            seen.totals = w->ListView2->topLevelItem(0)->text(1);
        seen.splashGone = frame && frame->Splash == nullptr;
        seen.folderWindows = frame ? int(frame->children().size()) : -1;
        w->close();
    });
    timer->start();
}
} // namespace

class TestStart : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void commandLineModeListsArchive();
    void commandLineModeWithMissingArchive();
    void titlesAreTheCaptions();
    void secondStartHandsItsArchiveOver();
    void normalStartOpensDefaultWindow();
    void fileTypesRegisteredAtStart();
    void engineHooksReachTheDesktop();

private:
    QTemporaryDir tmp_;
    desk::ScriptedMessageService boxes_;
};

void TestStart::init() {
    app::clearSettings();
    TfrmMain::RegisterFileTypesAtStart = false;
    boxes_.records.clear();
    desk::setMessageService(&boxes_);
}

void TestStart::cleanup() {
    desk::setMessageService(nullptr);
}

void TestStart::commandLineModeListsArchive() {
    const QString zip = QStandardPaths::findExecutable("zip");
    if (zip.isEmpty()) QSKIP("zip is not installed");
    const QString dir = tmp_.path() + "/My Files";
    QDir().mkpath(dir);
    for (const char* name : {"alpha.txt", "beta.txt", "gamma.txt"}) {
        QFile f(dir + "/" + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1000, 'x'));
    }
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(zip, {"-q", "a b.zip", "alpha.txt", "beta.txt", "gamma.txt"});
    QVERIFY(p.waitForFinished());
    QCOMPARE(p.exitCode(), 0);
    // Records of an earlier normal run: this mode retires them all.
    app::writeValue(recordKey(0), "Path", QDir::homePath());
    app::writeValue(recordKey(1), "Path", QDir::homePath());

    // An unquoted path with blanks arrives as three arguments.
    const QStringList args = (dir + "/a b.zip").split(' ');
    QCOMPARE(args.size(), 3);
    TfrmMain* frame = nullptr;
    Seen seen;
    watchListWindow(frame, seen);
    frame = app::createMainWindows(QStringList{"  " + args[0]} + args.mid(1) + QStringList{"\t"});
    QTRY_VERIFY_WITH_TIMEOUT(seen.shown, 10000);
    QTRY_VERIFY(!frame->isVisible());
    QCOMPARE(seen.caption, dir + "/a b.zip");
    QCOMPARE(seen.names, QStringList({"alpha.txt", "beta.txt", "gamma.txt"}));
    QCOMPARE(seen.totals, QString("3"));
    QVERIFY(seen.splashGone);
    QCOMPARE(seen.folderWindows, 0);
    QVERIFY(boxes_.records.isEmpty());
    QCOMPARE(app::readValue(recordKey(0), "Path", "?"), QString());
    QCOMPARE(app::readValue(recordKey(1), "Path", "?"), QString());
    delete frame;
    forms::destroyAll();

    // A relative path names the archive in the current folder.
    QVERIFY(QDir::setCurrent(dir));
    Seen again;
    frame = nullptr;
    watchListWindow(frame, again);
    frame = app::createMainWindows({"a", "b.zip"});
    QTRY_VERIFY_WITH_TIMEOUT(again.shown, 10000);
    QTRY_VERIFY(!frame->isVisible());
    QCOMPARE(again.caption, dir + "/a b.zip");
    QCOMPARE(again.names.size(), 3);
    delete frame;
    forms::destroyAll();
    QDir::setCurrent(tmp_.path());
}

void TestStart::commandLineModeWithMissingArchive() {
    // The notice names the file; no viewer opens and the program ends.
    TfrmMain* frame = app::createMainWindows({tmp_.path() + "/no such.zip"});
    QTRY_VERIFY_WITH_TIMEOUT(!boxes_.records.isEmpty(), 10000);
    QTRY_VERIFY(!frame->isVisible());
    QCOMPARE(boxes_.texts(),
             QStringList({"The file " + tmp_.path() + "/no such.zip does not exist."}));
    QCOMPARE(frame->Splash, nullptr);
    QVERIFY(frame->children().isEmpty());
    delete frame;
    forms::destroyAll();
}

void TestStart::titlesAreTheCaptions() {
    // The program's title is not the application's display name: the
    // platform would append that to every window title.
    app::initApplication(*qApp);
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    QCOMPARE(desk::applicationTitle(), QString("OLMEK 95 beta 5"));
    TfrmMain frame;
    QCOMPARE(frame.windowTitle(), QString("OLMEK 95 beta 5"));
    TfrmView view;
    view.OpenArchive(tmp_.path() + "/x.zip");
    QCOMPARE(view.windowTitle(), tmp_.path() + "/x.zip");
    QCOMPARE(forms::frmTo()->windowTitle(), QString("OLMEK 95 Copy / Move To..."));
    forms::destroyAll();
}

void TestStart::secondStartHandsItsArchiveOver() {
    const QString zip = QStandardPaths::findExecutable("zip");
    const QString program = QString(OLMEK_BINARY_DIR) + "/app/olmek";
    if (zip.isEmpty() || !QFile::exists(program)) QSKIP("zip or the program is not there");
    QFile::remove(tmp_.path() + "/handed.zip");
    QFile f(tmp_.path() + "/member.txt");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("member\n");
    f.close();
    QCOMPARE(QProcess::execute(zip, {"-q", "-j", tmp_.path() + "/handed.zip", f.fileName()}), 0);

    app::InstanceServer server;
    QVERIFY(server.listen());
    // A second server finds the first one running.
    app::InstanceServer second;
    QVERIFY(!second.listen());
    TfrmMain frame;
    QObject::connect(&server, &app::InstanceServer::archiveRequested, &frame,
                     &TfrmMain::ShowArchiveFromOutside);
    Seen seen;
    TfrmMain* framePtr = &frame;
    watchListWindow(framePtr, seen);
    // The second program gets a relative path and ends at once.
    QProcess p;
    p.setWorkingDirectory(tmp_.path());
    p.start(program, {"handed.zip"});
    QVERIFY(p.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 20000);
    QCOMPARE(p.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(seen.shown, 10000);
    QCOMPARE(seen.caption, tmp_.path() + "/handed.zip");
    QCOMPARE(seen.names, QStringList({"member.txt"}));
    forms::destroyAll();
}

void TestStart::normalStartOpensDefaultWindow() {
    TfrmMain* frame = app::createMainWindows({});
    QTRY_COMPARE(frame->children().size(), 1);
    QTRY_VERIFY(frame->Splash == nullptr);
    TfrmChild* c = frame->children().first();
    QVERIFY(c->isMaximized());
    QCOMPARE(c->filSource->Folder(), QDir::homePath());
    QVERIFY(frame->isVisible());
    frame->close();
    delete frame;
    forms::destroyAll();
    QCOMPARE(app::readValue(recordKey(0), "Path", ""), QDir::homePath());
}

void TestStart::fileTypesRegisteredAtStart() {
    TfrmMain::RegisterFileTypesAtStart = true;
    QFile::remove(desk::desktopEntryFile());
    { TfrmMain frame; }
    QVERIFY(QFile::exists(desk::desktopEntryFile()));
    QFile list(desk::mimeAppsListFile());
    QVERIFY(list.open(QIODevice::ReadOnly));
    QVERIFY(list.readAll().contains("olmek95.desktop"));
}

void TestStart::engineHooksReachTheDesktop() {
    app::installEngineHooks();
    QCOMPARE(ShellIconIndex("a.zip"), desk::iconIndexForName("a.zip"));
    QCOMPARE(QString::fromStdString(ShellTypeName("b.qqqz")), QString("QQQZ File"));
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    for (int i = 0; i < 50 && !ran; ++i) ProcessMessages();
    QVERIFY(ran);
    ShowDesignMessageBox("Invalid archive");
    QCOMPARE(boxes_.texts(), QStringList({"Invalid archive"}));
    QCOMPARE(boxes_.records[0].type, desk::mtWarning);
}

OLMEK_QTEST_MAIN(TestStart)
#include "tst_start.moc"
