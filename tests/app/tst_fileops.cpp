// The file and folder commands of the folder windows: copy and move through
// the copy/move dialog, delete to the trash, rename, new and renamed
// folders, attributes and time stamps.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "app/FileDialogs.h"
#include "app/Forms.h"
#include "app/FrmChild.h"
#include "app/FrmMain.h"
#include "app/FrmTo.h"
#include "app/Settings.h"
#include "desktop/MessageBox.h"
#include "shellctl/CheckList.h"
#include "shellctl/FolderEnumerator.h"
#include "shellctl/NameSpaceEnumerator.h"
#include "tests/app/AppTestSupport.h"
#include "tests/desktop/QtTestEnv.h"

using namespace apptest;

namespace {

const QString kGeneral = "\\Software\\Fenwood\\OLMEK95\\Configure\\General";

struct timespec changeTime(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_ctim;
}

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

QString trashFiles() {
    return qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files";
}

} // namespace

class TestFileOps : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void copyWithRenameOnCollision();
    void moveAsksBeforeOverwriting();
    void moveWithoutConfirmationOverwrites();
    void copyDirectoryIntoTarget();
    void nothingChecked();
    void archiveModeLeavesNoTrace();
    void deleteGoesToTheTrash();
    void deleteDirectoryMovesToTheParent();
    void renameFile();
    void newAndRenamedDirectory();
    void attributesWrittenOnlyWhenChanged();
    void dateAndTime();
    void dateFormatsFollowTheLocale();

private:
    // A frame with one folder window on folder, files selected by name.
    TfrmChild* windowOn(TfrmMain& frame, const QString& folder, const QStringList& select = {});
    QString folder(const QString& name) const { return tmp_.path() + "/" + name; }
    QTemporaryDir tmp_;
    desk::ScriptedMessageService boxes_;
};

void TestFileOps::init() {
    app::clearSettings();
    TfrmMain::RegisterFileTypesAtStart = false;
    boxes_.records.clear();
    boxes_.answers.clear();
    boxes_.defaultAnswer = desk::mrNone;
    desk::setMessageService(&boxes_);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestFileOps::cleanup() {
    desk::setMessageService(nullptr);
    forms::destroyAll();
}

TfrmChild* TestFileOps::windowOn(TfrmMain& frame, const QString& dir, const QStringList& names) {
    TfrmChild* c = frame.NewChild();
    c->showFolder(dir);
    c->filSource->ClearSelection();
    for (const QString& n : names) c->filSource->SelectItem(c->filSource->IndexOfName(n));
    return c;
}

void TestFileOps::copyWithRenameOnCollision() {
    writeFile(folder("cp/src/a.txt"), "new");
    writeFile(folder("cp/src/b.txt"), "bee");
    writeFile(folder("cp/dst/a.txt"), "old");
    TfrmMain frame;
    windowOn(frame, folder("cp/src"), {"a.txt", "b.txt"});
    QString caption;
    QStringList lines;
    bool copyChosen = false;
    whenModal<TfrmTo>([&](TfrmTo* to) {
        caption = to->windowTitle();
        copyChosen = to->optCopy->isChecked() && to->optCopy->isVisible();
        for (int i = 0; i < to->lstFilesAndFolders->ItemCount(); ++i)
            lines << to->lstFilesAndFolders->ItemText(i);
        to->chkRename->setChecked(true);
        to->cmbTo->setEditText(folder("cp/dst"));
        to->cmdOk->click();
    });
    frame.runCommand("CopyFileTo1");
    QCOMPARE(caption, QString("Copy To..."));
    QVERIFY(copyChosen);
    QCOMPARE(lines, QStringList({folder("cp/src/a.txt"), folder("cp/src/b.txt")}));
    QCOMPARE(readFile(folder("cp/dst/a.txt")), QByteArray("old"));
    QCOMPARE(readFile(folder("cp/dst/a (2).txt")), QByteArray("new"));
    QCOMPARE(readFile(folder("cp/dst/b.txt")), QByteArray("bee"));
    QCOMPARE(readFile(folder("cp/src/a.txt")), QByteArray("new"));
    QVERIFY(boxes_.records.isEmpty());
}

void TestFileOps::moveAsksBeforeOverwriting() {
    writeFile(folder("mv/src/a.txt"), "new");
    writeFile(folder("mv/dst/a.txt"), "old");
    TfrmMain frame;
    windowOn(frame, folder("mv/src"), {"a.txt"});
    auto run = [&] {
        whenModal<TfrmTo>([&](TfrmTo* to) {
            QCOMPARE(to->windowTitle(), QString("Move To..."));
            QVERIFY(to->optMove->isChecked());
            QVERIFY(to->chkConfirm->isChecked());
            QVERIFY(!to->chkRename->isChecked());
            to->cmbTo->setEditText(folder("mv/dst"));
            to->cmdOk->click();
        });
        frame.runCommand("MoveFileTo1");
    };
    boxes_.answers = {desk::mrNo};
    run();
    QCOMPARE(boxes_.records.size(), 1);
    QCOMPARE(boxes_.records[0].text, QString("This folder already contains a file named 'a.txt'."
                                             "\r\rWould you like to replace the existing file?"));
    QCOMPARE(readFile(folder("mv/dst/a.txt")), QByteArray("old"));
    QCOMPARE(readFile(folder("mv/src/a.txt")), QByteArray("new"));
    boxes_.records.clear();
    boxes_.answers = {desk::mrYes};
    frame.ActiveChild()->filSource->SelectItem(
        frame.ActiveChild()->filSource->IndexOfName("a.txt"));
    run();
    QCOMPARE(boxes_.records.size(), 1);
    QCOMPARE(readFile(folder("mv/dst/a.txt")), QByteArray("new"));
    QVERIFY(!QFile::exists(folder("mv/src/a.txt")));
    // The folder window shows the move.
    QCOMPARE(frame.ActiveChild()->filSource->IndexOfName("a.txt"), -1);
}

void TestFileOps::moveWithoutConfirmationOverwrites() {
    writeFile(folder("mv2/src/a.txt"), "new");
    writeFile(folder("mv2/dst/a.txt"), "old");
    TfrmMain frame;
    windowOn(frame, folder("mv2/src"), {"a.txt"});
    whenModal<TfrmTo>([&](TfrmTo* to) {
        to->chkConfirm->setChecked(false);
        to->cmbTo->setEditText(folder("mv2/dst"));
        to->cmdOk->click();
    });
    frame.runCommand("MoveFileTo1");
    QVERIFY(boxes_.records.isEmpty());
    QCOMPARE(readFile(folder("mv2/dst/a.txt")), QByteArray("new"));
}

void TestFileOps::copyDirectoryIntoTarget() {
    writeFile(folder("cd/tree/sub/x.txt"), "x");
    QDir().mkpath(folder("cd/target"));
    TfrmMain frame;
    windowOn(frame, folder("cd/tree"));
    QString operation;
    QStringList lines;
    whenModal<TfrmTo>([&](TfrmTo* to) {
        operation = to->lblOperation->text();
        for (int i = 0; i < to->lstFilesAndFolders->ItemCount(); ++i)
            lines << to->lstFilesAndFolders->ItemText(i);
        // An empty box means the folder picked in the tree.
        to->dirSource->SelectPath(folder("cd/target"));
        to->cmbTo->setEditText("");
        to->cmdOk->click();
    });
    frame.runCommand("CopyDirectory1");
    QCOMPARE(operation, QString("Directory Operation:"));
    QCOMPARE(lines, QStringList({folder("cd/tree")}));
    QCOMPARE(readFile(folder("cd/target/tree/sub/x.txt")), QByteArray("x"));
    QCOMPARE(forms::frmTo()->lblOperation->text(), QString("File Operation:"));
}

void TestFileOps::nothingChecked() {
    writeFile(folder("none/a.txt"), "a");
    TfrmMain frame;
    windowOn(frame, folder("none"), {"a.txt"});
    whenModal<TfrmTo>([&](TfrmTo* to) {
        to->lstFilesAndFolders->SetChecked(0, false);
        to->cmbTo->setEditText(folder("none-out"));
        to->cmdOk->click();
    });
    frame.runCommand("CopyFileTo1");
    QCOMPARE(boxes_.texts(), QStringList({"There are no files or folders to process."}));
    QVERIFY(!QFileInfo::exists(folder("none-out")));
}

void TestFileOps::archiveModeLeavesNoTrace() {
    // Cancelling the viewer's Decompress and then copying shows the copy
    // and move choices again, and Ok copies.
    TfrmTo* to = forms::frmTo();
    to->PrepareArchive("/nowhere/a.zip", {"x.txt"}, QDir::homePath());
    whenModal<TfrmTo>([&](TfrmTo* d) {
        QVERIFY(d->ArchiveMode());
        d->cmdCancel->click();
    });
    to->exec();
    writeFile(folder("after/a.txt"), "a");
    TfrmMain frame;
    windowOn(frame, folder("after"), {"a.txt"});
    bool visible = false;
    whenModal<TfrmTo>([&](TfrmTo* d) {
        visible = d->optCopy->isVisible() && d->optMove->isVisible() && d->chkRename->isVisible() &&
                  d->chkConfirm->isVisible() && d->lblOperation->isVisible();
        d->cmbTo->setEditText(folder("after-out"));
        d->cmdOk->click();
    });
    boxes_.answers = {desk::mrYes}; // make the folder
    frame.runCommand("CopyFileTo1");
    QVERIFY(visible);
    QCOMPARE(readFile(folder("after-out/a.txt")), QByteArray("a"));
}

void TestFileOps::deleteGoesToTheTrash() {
    writeFile(folder("del/a.txt"), "a");
    writeFile(folder("del/b.txt"), "b");
    TfrmMain frame;
    TfrmChild* c = windowOn(frame, folder("del"), {"a.txt"});
    // Asked by default; No keeps the file.
    boxes_.answers = {desk::mrNo};
    frame.runCommand("DeleteFile1");
    QCOMPARE(boxes_.texts(), QStringList({"Are you sure you want to move 'a.txt' to the trash?"}));
    QVERIFY(QFile::exists(folder("del/a.txt")));
    // "False" still asks: only "0" turns the question off.
    app::writeValue(kGeneral, "ConfirmWhenDeleting", "False");
    boxes_.records.clear();
    boxes_.answers = {desk::mrYes};
    frame.runCommand("DeleteFile1");
    QCOMPARE(boxes_.records.size(), 1);
    QVERIFY(!QFile::exists(folder("del/a.txt")));
    QCOMPARE(readFile(trashFiles() + "/a.txt"), QByteArray("a"));
    app::writeValue(kGeneral, "ConfirmWhenDeleting", "0");
    boxes_.records.clear();
    c->filSource->ClearSelection();
    c->filSource->SelectItem(c->filSource->IndexOfName("b.txt"));
    frame.runCommand("DeleteFile1");
    QVERIFY(boxes_.records.isEmpty());
    QVERIFY(!QFile::exists(folder("del/b.txt")));
    QVERIFY(QFile::exists(trashFiles() + "/b.txt"));
    QCOMPARE(c->filSource->ItemCount(), 0);
}

void TestFileOps::deleteDirectoryMovesToTheParent() {
    writeFile(folder("deldir/gone/x.txt"), "x");
    app::writeValue(kGeneral, "ConfirmWhenDeleting", "0");
    TfrmMain frame;
    TfrmChild* c = windowOn(frame, folder("deldir/gone"));
    frame.runCommand("DeleteDirectory1");
    QVERIFY(!QFileInfo::exists(folder("deldir/gone")));
    QVERIFY(QFileInfo::exists(trashFiles() + "/gone/x.txt"));
    QCOMPARE(c->filSource->Folder(), folder("deldir"));
    QVERIFY(boxes_.records.isEmpty());
}

void TestFileOps::renameFile() {
    writeFile(folder("ren/old.txt"), "o");
    writeFile(folder("ren/taken.txt"), "t");
    TfrmMain frame;
    TfrmChild* c = windowOn(frame, folder("ren"), {"old.txt"});
    auto rename = [&](const QString& to, bool* shownRight = nullptr) {
        whenModal<TfrmRenameFile>([=, this](TfrmRenameFile* d) {
            if (shownRight)
                *shownRight = d->windowTitle() == "Rename File" &&
                              d->lblPath->text() == folder("ren") + "/" &&
                              d->lblOldFile->text() == "old.txt" &&
                              d->txtNewFile->text() == "old.txt";
            d->txtNewFile->setText(to);
            d->cmdOk->click();
        });
        frame.runCommand("RenameFile1");
    };
    bool shown = false;
    // An empty name renames nothing and counts as Cancel.
    rename("", &shown);
    QVERIFY(shown);
    QVERIFY(QFile::exists(folder("ren/old.txt")));
    QVERIFY(boxes_.records.isEmpty());
    // An existing name is never replaced.
    c->filSource->SelectItem(c->filSource->IndexOfName("old.txt"));
    rename("taken.txt");
    QCOMPARE(boxes_.texts(), QStringList({"Error renaming file!"}));
    QCOMPARE(boxes_.records[0].type, desk::mtCustom);
    QCOMPARE(readFile(folder("ren/taken.txt")), QByteArray("t"));
    c->filSource->ClearSelection();
    c->filSource->SelectItem(c->filSource->IndexOfName("old.txt"));
    rename("new.txt");
    QCOMPARE(readFile(folder("ren/new.txt")), QByteArray("o"));
    QVERIFY(c->filSource->IndexOfName("new.txt") >= 0);
}

void TestFileOps::newAndRenamedDirectory() {
    QDir().mkpath(folder("nd/base"));
    TfrmMain frame;
    TfrmChild* c = windowOn(frame, folder("nd/base"));
    QString caption, old;
    whenModal<TfrmNewDirectory>([&](TfrmNewDirectory* d) {
        caption = d->windowTitle();
        old = d->lblOldDirectory->text();
        // A bare name goes inside the folder.
        d->txtNewDirectory->setText("child/grand");
        d->cmdOk->click();
    });
    frame.runCommand("NewDirectory1");
    QCOMPARE(caption, QString("New Directory"));
    QCOMPARE(old, folder("nd/base"));
    QVERIFY(QFileInfo(folder("nd/base/child/grand")).isDir());
    QCOMPARE(boxes_.texts(), QStringList({folder("nd/base/child/grand") + " was created."}));

    boxes_.records.clear();
    whenModal<TfrmNewDirectory>([&](TfrmNewDirectory* d) {
        caption = d->windowTitle();
        d->txtNewDirectory->setText(folder("nd/renamed"));
        d->cmdOk->click();
    });
    frame.runCommand("RenameDirectory1");
    QCOMPARE(caption, QString("Rename Directory"));
    QVERIFY(!QFileInfo::exists(folder("nd/base")));
    QVERIFY(QFileInfo(folder("nd/renamed/child/grand")).isDir());
    QCOMPARE(boxes_.texts(), QStringList({folder("nd/renamed") + " was created."}));
    QCOMPARE(c->filSource->Folder(), folder("nd/renamed"));
}

void TestFileOps::attributesWrittenOnlyWhenChanged() {
    writeFile(folder("attr/a.txt"), "a");
    writeFile(folder("attr/.hidden"), "h");
    TfrmFileAttributes* d = forms::frmFileAttributes();
    d->Prepare(folder("attr/a.txt"));
    d->LoadAttributes();
    QCOMPARE(d->windowTitle(), folder("attr/a.txt"));
    QVERIFY(!d->chkReadOnly->isChecked());
    QVERIFY(d->chkArchive->isChecked());
    QVERIFY(!d->chkHidden->isChecked());
    QVERIFY(!d->chkSystem->isChecked());
    const struct timespec before = changeTime(folder("attr/a.txt"));
    QTest::qWait(20);
    QVERIFY(d->Ok());
    QVERIFY(!d->Written);
    QVERIFY(sameTime(before, changeTime(folder("attr/a.txt"))));
    d->chkReadOnly->setChecked(true);
    QVERIFY(d->Ok());
    QVERIFY(d->Written);
    QVERIFY(!(QFileInfo(folder("attr/a.txt")).permissions() & QFile::WriteOwner));
    d->LoadAttributes();
    QVERIFY(d->chkReadOnly->isChecked());
    d->chkReadOnly->setChecked(false);
    QVERIFY(d->Ok());
    QVERIFY(QFileInfo(folder("attr/a.txt")).permissions() & QFile::WriteOwner);
    d->Prepare(folder("attr/.hidden"));
    d->LoadAttributes();
    QVERIFY(d->chkHidden->isChecked());

    // Through the command: each selected file in turn.
    TfrmMain frame;
    windowOn(frame, folder("attr"), {"a.txt"});
    whenModal<TfrmFileAttributes>([&](TfrmFileAttributes* dlg) { dlg->cmdOk->click(); });
    frame.runCommand("FileAttributes1");
    QVERIFY(!forms::frmFileAttributes()->Written);
}

void TestFileOps::dateAndTime() {
    writeFile(folder("dt/a.txt"), "a");
    const QDateTime start(QDate(2020, 6, 7), QTime(8, 9, 10, 500));
    QVERIFY(setModified(folder("dt/a.txt"), start));
    TfrmFileDateTime* d = forms::frmFileDateTime();
    d->Prepare(folder("dt/a.txt"));
    d->LoadDateTime();
    QCOMPARE(d->mskDate->text(), QString("06/07/20"));
    QCOMPARE(d->mskTime->text(), QString("08:09:10 AM"));
    QCOMPARE(d->lblCurrentDate->text(),
             QLocale().toString(QDate(2020, 6, 7), QLocale::ShortFormat));
    // Unchanged texts write nothing (the stamp keeps its fraction).
    QVERIFY(d->Ok());
    QVERIFY(!d->Written);
    QCOMPARE(QFileInfo(folder("dt/a.txt")).lastModified(), start);
    // A text that does not convert leaves the file as it was.
    d->mskDate->setText("13/45/20");
    QVERIFY(!d->Ok());
    QCOMPARE(boxes_.texts(), QStringList({"'13/45/20 08:09:10 AM' is not a valid date and time"}));
    QCOMPARE(boxes_.records[0].type, desk::mtError);
    QCOMPARE(QFileInfo(folder("dt/a.txt")).lastModified(), start);
    d->mskDate->setText("12/31/99");
    d->mskTime->setText("11:30:00 PM");
    QVERIFY(d->Ok());
    QVERIFY(d->Written);
    QCOMPARE(QFileInfo(folder("dt/a.txt")).lastModified(),
             QDateTime(QDate(1999, 12, 31), QTime(23, 30, 0)));
    d->mskDate->setText("01/02/03");
    QVERIFY(d->Ok());
    QCOMPARE(QFileInfo(folder("dt/a.txt")).lastModified().date(), QDate(2003, 1, 2));
}

void TestFileOps::dateFormatsFollowTheLocale() {
    QCOMPARE(TfrmFileDateTime::DateEditFormat(), QString("MM/dd/yy"));
    QCOMPARE(TfrmFileDateTime::TimeEditFormat(), QString("hh:mm:ss AP"));
    QCOMPARE(TfrmFileDateTime::MaskOf("MM/dd/yy"), QString("99\\/99\\/99;_"));
    QCOMPARE(TfrmFileDateTime::MaskOf("hh:mm:ss AP"), QString("99\\:99\\:99\\ >AA!;_"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(TfrmFileDateTime::DateEditFormat(), QString("dd.MM.yy"));
    QCOMPARE(TfrmFileDateTime::TimeEditFormat(), QString("HH:mm:ss"));
    QCOMPARE(TfrmFileDateTime::ParseDateTime("31.12.21", "23:59:58"),
             QDateTime(QDate(2021, 12, 31), QTime(23, 59, 58)));
    QVERIFY(!TfrmFileDateTime::ParseDateTime("31.02.21", "23:59:58").isValid());
}

OLMEK_QTEST_MAIN(TestFileOps)
#include "tst_fileops.moc"
