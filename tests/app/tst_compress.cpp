// The compress dialog: ZIP and LHA archives from checked files or a folder
// tree, the three encoders, the target history and Cancel.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/Dialogs.h"
#include "app/Forms.h"
#include "app/FrmChild.h"
#include "app/FrmCompress.h"
#include "app/FrmMain.h"
#include "app/Settings.h"
#include "desktop/MessageBox.h"
#include "shellctl/CheckList.h"
#include "shellctl/FolderEnumerator.h"
#include "tests/app/AppTestSupport.h"
#include "tests/desktop/QtTestEnv.h"

using namespace apptest;

namespace {

// The names a peer lists, one a line.
QStringList toolLines(const QString& tool, const QStringList& args, const QString& folder) {
    const QString exe = QStandardPaths::findExecutable(tool);
    if (exe.isEmpty()) return {};
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(exe, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class TestCompress : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void extensions_data();
    void extensions();
    void encodedTargets();
    void zipOfCheckedFiles();
    void zipOfAFolderTree();
    void lhaArchive();
    void encodersWriteBesideTheTarget();
    void encoderAsksBeforeReplacing();
    void historyKeepsTwenty();
    void cancelKeepsThePreviousArchive();

private:
    TfrmChild* windowOn(TfrmMain& frame, const QString& folder, const QStringList& select = {});
    // Runs command on frame; the dialog gets method and target, and
    // uncheck (by file name) is unchecked before Compress.
    void compressWith(TfrmMain& frame, const QString& command, int method, const QString& target,
                      const QString& uncheck = {});
    QString folder(const QString& name) const { return tmp_.path() + "/" + name; }
    QTemporaryDir tmp_;
    desk::ScriptedMessageService boxes_;
};

void TestCompress::init() {
    QDir().mkpath(folder("out"));
    QDir().mkpath(folder("cancelout"));
    app::clearSettings();
    TfrmMain::RegisterFileTypesAtStart = false;
    boxes_.records.clear();
    boxes_.answers.clear();
    boxes_.defaultAnswer = desk::mrNone;
    desk::setMessageService(&boxes_);
}

void TestCompress::cleanup() {
    desk::setMessageService(nullptr);
    forms::destroyAll();
}

TfrmChild* TestCompress::windowOn(TfrmMain& frame, const QString& dir, const QStringList& names) {
    TfrmChild* c = frame.NewChild();
    c->showFolder(dir);
    c->filSource->ClearSelection();
    for (const QString& n : names) c->filSource->SelectItem(c->filSource->IndexOfName(n));
    return c;
}

void TestCompress::compressWith(TfrmMain& frame, const QString& command, int method,
                                const QString& target, const QString& uncheck) {
    whenModal<TfrmCompress>([=](TfrmCompress* dlg) {
        dlg->setMethod(method);
        for (int i = 0; i < dlg->lstFiles->ItemCount(); ++i)
            if (!uncheck.isEmpty() && dlg->lstFiles->ItemText(i).endsWith("/" + uncheck))
                dlg->lstFiles->SetChecked(i, false);
        dlg->cmbFile->setEditText(target);
        dlg->cmdCompress->click();
    });
    frame.runCommand(command);
}

void TestCompress::extensions_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("result");
    QTest::newRow("zip added") << "/out/backup"
                               << ".ZIP"
                               << "/out/backup.ZIP";
    QTest::newRow("zip kept") << "/out/backup.zip"
                              << ".ZIP"
                              << "/out/backup.zip";
    QTest::newRow("lzh kept") << "/out/b.lzh"
                              << ".LZH"
                              << "/out/b.lzh";
    QTest::newRow("lzh added") << "/out/b"
                               << ".LZH"
                               << "/out/b.LZH";
    QTest::newRow("other ext") << "/out/b.zip"
                               << ".LZH"
                               << "/out/b.zip.LZH";
}

void TestCompress::extensions() {
    QFETCH(QString, target);
    QFETCH(QString, ext);
    QFETCH(QString, result);
    QCOMPARE(TfrmCompress::withExtension(target, ext), result);
}

void TestCompress::encodedTargets() {
    QDir().mkpath(folder("enc/out"));
    const QString input = folder("enc/in/a.txt");
    QCOMPARE(TfrmCompress::encodedTarget(folder("enc/out/"), input, ".uue"),
             folder("enc/out/a.txt.uue"));
    QCOMPARE(TfrmCompress::encodedTarget(folder("enc/out/name.zip"), input, ".b64"),
             folder("enc/out/a.txt.b64"));
    QCOMPARE(TfrmCompress::encodedTarget(folder("enc/out"), input, ".xxe"),
             folder("enc/out/a.txt.xxe"));
    QCOMPARE(TfrmCompress::encodedTarget("", input, ".uue"), folder("enc/in/a.txt.uue"));
    QCOMPARE(TfrmCompress::encodedTarget("name", input, ".uue"), folder("enc/in/a.txt.uue"));
}

void TestCompress::zipOfCheckedFiles() {
    const QString dir = folder("zipfiles");
    for (const char* n : {"a.txt", "b.txt", "c.txt", "d.txt"})
        writeFile(dir + "/" + n, textBytes(20000, n[0]));
    TfrmMain frame;
    windowOn(frame, dir, {"a.txt", "b.txt", "c.txt", "d.txt"});
    compressWith(frame, "CompressFile1", 0, folder("out/backup"), "c.txt");
    QVERIFY2(boxes_.records.isEmpty(), qPrintable(boxes_.texts().join('|')));
    const QString zip = folder("out/backup.ZIP");
    QVERIFY(QFile::exists(zip));
    const int rc = runTool("unzip", {"-tq", zip}, tmp_.path());
    if (rc < 0) QSKIP("unzip is not installed");
    QCOMPARE(rc, 0);
    QStringList names = toolLines("unzip", {"-Z1", zip}, tmp_.path());
    for (QString& n : names) n = n.section('/', -1);
    names.sort();
    QCOMPARE(names, (QStringList{"a.txt", "b.txt", "d.txt"}));
}

void TestCompress::zipOfAFolderTree() {
    const QString dir = folder("tree");
    writeFile(dir + "/top.txt", textBytes(3000, 1));
    writeFile(dir + "/sub/deep/x.txt", textBytes(3000, 2));
    TfrmMain frame;
    windowOn(frame, dir);
    compressWith(frame, "CompressDirectory1", 0, folder("tree.zip"));
    QVERIFY2(boxes_.records.isEmpty(), qPrintable(boxes_.texts().join('|')));
    if (runTool("unzip", {"-tq", folder("tree.zip")}, tmp_.path()) < 0)
        QSKIP("unzip is not installed");
    QCOMPARE(runTool("unzip", {"-tq", folder("tree.zip")}, tmp_.path()), 0);
    QStringList names = toolLines("unzip", {"-Z1", folder("tree.zip")}, tmp_.path());
    names.removeIf([](const QString& n) { return n.endsWith('/'); });
    names.sort();
    QCOMPARE(names, (QStringList{"sub/deep/x.txt", "top.txt"}));
    // The heading is back for the next Compress File.
    QCOMPARE(forms::frmCompress()->lblFile->text(), TfrmCompress::FilesHeading);
}

void TestCompress::lhaArchive() {
    const QString dir = folder("lha");
    writeFile(dir + "/one.txt", textBytes(10000, 1));
    writeFile(dir + "/two.txt", textBytes(7000, 2));
    TfrmMain frame;
    windowOn(frame, dir, {"one.txt", "two.txt"});
    compressWith(frame, "CompressFile1", 1, folder("out/b"));
    QVERIFY2(boxes_.records.isEmpty(), qPrintable(boxes_.texts().join('|')));
    const QString lzh = folder("out/b.LZH");
    QVERIFY(QFile::exists(lzh));
    const int rc = runTool("lha", {"t", lzh}, tmp_.path());
    if (rc < 0) QSKIP("lha is not installed");
    QCOMPARE(rc, 0);

    // A folder compressed next takes that folder's files, and only them.
    const QString other = folder("lha2");
    writeFile(other + "/three.txt", textBytes(5000, 3));
    TfrmMain frame2;
    windowOn(frame2, other);
    compressWith(frame2, "CompressDirectory1", 1, folder("out/c.lzh"));
    QCOMPARE(runTool("lha", {"t", folder("out/c.lzh")}, tmp_.path()), 0);
    const QString listing = toolLines("lha", {"l", folder("out/c.lzh")}, tmp_.path()).join('\n');
    QVERIFY2(listing.contains("three.txt"), qPrintable(listing));
    QVERIFY2(!listing.contains("one.txt"), qPrintable(listing));
}

void TestCompress::encodersWriteBesideTheTarget() {
    const QString dir = folder("enc");
    const QByteArray data = textBytes(5000, 7) + QByteArray("\0\x01\xff", 3);
    writeFile(dir + "/data.bin", data);
    QDir().mkpath(folder("encout"));
    TfrmMain frame;
    windowOn(frame, dir, {"data.bin"});
    compressWith(frame, "CompressFile1", 2, folder("encout/"));
    compressWith(frame, "CompressFile1", 3, folder("encout/"));
    compressWith(frame, "CompressFile1", 4, "");
    QVERIFY2(boxes_.records.isEmpty(), qPrintable(boxes_.texts().join('|')));
    QVERIFY(QFile::exists(folder("encout/data.bin.uue")));
    QVERIFY(QFile::exists(folder("encout/data.bin.xxe")));
    QVERIFY(QFile::exists(dir + "/data.bin.b64"));
    QDir().mkpath(folder("dec"));
    const int rc =
        runTool("uudecode", {"-o", folder("dec/uu"), folder("encout/data.bin.uue")}, tmp_.path());
    if (rc < 0) QSKIP("uudecode is not installed");
    QCOMPARE(rc, 0);
    QCOMPARE(readFile(folder("dec/uu")), data);
    QCOMPARE(runTool("uudecode", {"-o", folder("dec/b64"), dir + "/data.bin.b64"}, tmp_.path()), 0);
    QCOMPARE(readFile(folder("dec/b64")), data);
}

void TestCompress::encoderAsksBeforeReplacing() {
    const QString dir = folder("encask");
    writeFile(dir + "/a.txt", "text");
    writeFile(dir + "/a.txt.uue", "keep");
    TfrmMain frame;
    windowOn(frame, dir, {"a.txt"});
    boxes_.answers = {desk::mrNo};
    compressWith(frame, "CompressFile1", 2, "");
    QCOMPARE(boxes_.records.size(), 1);
    QCOMPARE(readFile(dir + "/a.txt.uue"), QByteArray("keep"));
    boxes_.answers = {desk::mrYes};
    compressWith(frame, "CompressFile1", 2, "");
    QVERIFY(readFile(dir + "/a.txt.uue").startsWith("begin 0644 a.txt"));
}

void TestCompress::historyKeepsTwenty() {
    {
        TfrmCompress dlg;
        dlg.show();
        dlg.lstFiles->Clear();
        for (int i = 1; i <= 21; ++i) {
            dlg.cmbFile->setEditText(QString("/t/%1").arg(i));
            dlg.Compress();
        }
        QCOMPARE(dlg.cmbFile->count(), 20);
        QCOMPARE(dlg.cmbFile->itemText(0), QString("/t/2"));
        QCOMPARE(dlg.cmbFile->itemText(19), QString("/t/21"));
        dlg.hide();
    }
    TfrmCompress again;
    again.show();
    QCOMPARE(again.cmbFile->count(), 20);
    QCOMPARE(again.cmbFile->itemText(0), QString("/t/2"));
    QCOMPARE(again.cmbFile->currentText(), QString("/t/21"));
    // The folder button leaves the caret after the added separator.
    again.BrowseTo("/data/out");
    QCOMPARE(again.cmbFile->currentText(), QString("/data/out/"));
    QCOMPARE(again.cmbFile->lineEdit()->cursorPosition(), 10);
}

void TestCompress::cancelKeepsThePreviousArchive() {
    const QString dir = folder("cancel");
    writeFile(dir + "/small.txt", textBytes(1000, 1));
    writeFile(dir + "/large.txt", textBytes(24 << 20, 2));
    TfrmMain frame;
    windowOn(frame, dir, {"small.txt"});
    compressWith(frame, "CompressFile1", 0, folder("cancelout/keep.zip"));
    const QByteArray before = readFile(folder("cancelout/keep.zip"));
    QVERIFY(before.startsWith("PK"));

    windowOn(frame, dir, {"large.txt"});
    // Cancel as soon as the progress window is up.
    auto* timer = new QTimer(&frame);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer] {
        TfrmProgress* p = forms::frmProgress();
        if (!p->isVisible()) return;
        p->cmdCancel()->click();
        timer->stop();
    });
    timer->start();
    compressWith(frame, "CompressFile1", 0, folder("cancelout/keep.zip"));
    QVERIFY(!timer->isActive());
    QVERIFY(boxes_.records.isEmpty());
    QCOMPARE(readFile(folder("cancelout/keep.zip")), before);
    QStringList left = QDir(folder("cancelout")).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left, QStringList{"keep.zip"});
}

QTEST_MAIN(TestCompress)
#include "tst_compress.moc"
