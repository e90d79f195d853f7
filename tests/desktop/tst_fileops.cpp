#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QObject>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>

#include "desktop/FileOperation.h"
#include "desktop/FolderPicker.h"
#include "desktop/MessageBox.h"
#include "tests/desktop/QtTestEnv.h"

using namespace desk;

class FileOpsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    ScriptedMessageService boxes_;

    QString path(const QString& n) const { return dir_->path() + '/' + n; }
    static void write(const QString& file, const QByteArray& data) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
    }
    static QByteArray read(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static QStringList tree(const QString& root) {
        QStringList out;
        QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) out << QDir(root).relativeFilePath(it.next());
        out.sort();
        return out;
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        boxes_.records.clear();
        boxes_.answers.clear();
        boxes_.defaultAnswer = mrNone;
        setMessageService(&boxes_);
    }
    void cleanup() { setMessageService(nullptr); }

    void pathListsSplitOnSemicolons() {
        QCOMPARE(splitPathList("/a;/b c;;/d;"), QStringList({"/a", "/b c", "/d"}));
        QCOMPARE(splitPathList(""), QStringList());
    }

    void collisionNamesCount() {
        write(path("a.txt"), "1");
        QCOMPARE(collisionName(path("a.txt")), path("a (2).txt"));
        write(path("a (2).txt"), "2");
        QCOMPARE(collisionName(path("a.txt")), path("a (3).txt"));
        QCOMPARE(collisionName(path("noext")), path("noext (2)"));
        QDir().mkpath(path("dir.v1"));
        QCOMPARE(collisionName(path("dir.v1")), path("dir.v1 (2)"));
        QCOMPARE(collisionName(path(".profile")), path(".profile (2)"));
    }

    void copyFileToNewName() {
        write(path("src/a.txt"), "hello");
        QFile::setPermissions(path("src/a.txt"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QDateTime old = QDateTime::currentDateTime().addDays(-3);
        {
            QFile f(path("src/a.txt"));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        }
        QDir().mkpath(path("dst"));
        QVERIFY(ShellCopy(nullptr, path("src/a.txt"), path("dst/a.txt"), false, true));
        QCOMPARE(read(path("dst/a.txt")), QByteArray("hello"));
        QCOMPARE(read(path("src/a.txt")), QByteArray("hello"));
        QVERIFY(qAbs(QFileInfo(path("dst/a.txt")).lastModified().secsTo(old)) <= 1);
        QVERIFY(QFileInfo(path("dst/a.txt")).permission(QFile::ExeOwner));
        QVERIFY(boxes_.records.isEmpty());
        QVERIFY(!QFile::exists(path("dst/a.txt.olmek-part")));
    }

    void copyRenamesOnCollision() {
        write(path("src/a.txt"), "new");
        write(path("dst/a.txt"), "old");
        QVERIFY(ShellCopy(nullptr, path("src/a.txt"), path("dst/a.txt"), true, true));
        QCOMPARE(read(path("dst/a.txt")), QByteArray("old"));
        QCOMPARE(read(path("dst/a (2).txt")), QByteArray("new"));
        QVERIFY(ShellCopy(nullptr, path("src/a.txt"), path("dst/a.txt"), true, true));
        QCOMPARE(read(path("dst/a (3).txt")), QByteArray("new"));
        QVERIFY(boxes_.records.isEmpty());
    }

    void overwriteIsConfirmed() {
        write(path("src/a.txt"), "new");
        write(path("dst/a.txt"), "old");
        boxes_.answers = {mrNo};
        QVERIFY(ShellCopy(nullptr, path("src/a.txt"), path("dst/a.txt"), false, true));
        QCOMPARE(read(path("dst/a.txt")), QByteArray("old"));
        QCOMPARE(boxes_.records.size(), 1);
        QVERIFY(boxes_.records[0].text.contains("already contains a file named 'a.txt'"));
        QCOMPARE(boxes_.records[0].buttons, mbYes | mbYesToAll | mbNo | mbCancel);

        boxes_.answers = {mrCancel};
        QVERIFY(!ShellCopy(nullptr, path("src/a.txt"), path("dst/a.txt"), false, true));
        QCOMPARE(read(path("dst/a.txt")), QByteArray("old"));

        boxes_.answers = {mrYes};
        QVERIFY(ShellCopy(nullptr, path("src/a.txt"), path("dst/a.txt"), false, true));
        QCOMPARE(read(path("dst/a.txt")), QByteArray("new"));

        // Without confirmation the file is replaced silently.
        write(path("src/a.txt"), "newer");
        boxes_.records.clear();
        QVERIFY(ShellMove(nullptr, path("src/a.txt"), path("dst/a.txt"), false, false));
        QCOMPARE(read(path("dst/a.txt")), QByteArray("newer"));
        QVERIFY(!QFile::exists(path("src/a.txt")));
        QVERIFY(boxes_.records.isEmpty());
    }

    void copyingOntoItselfMakesACopy() {
        write(path("a.txt"), "x");
        QVERIFY(ShellCopy(nullptr, path("a.txt"), path("a.txt"), false, true));
        QCOMPARE(read(path("a (2).txt")), QByteArray("x"));
        QVERIFY(ShellMove(nullptr, path("a.txt"), path("a.txt"), false, true));
        QCOMPARE(read(path("a.txt")), QByteArray("x"));
    }

    void foldersCopyRecursivelyIntoAFolder() {
        write(path("src/proj/a.txt"), "a");
        write(path("src/proj/sub/b.bin"), QByteArray(3 << 20, 'b'));
        write(path("src/proj/.hidden"), "h");
        QDir().mkpath(path("src/proj/empty"));
        QVERIFY(QFile::link("a.txt", path("src/proj/link")));
        QDir().mkpath(path("dst"));
        QVERIFY(ShellCopy(nullptr, path("src/proj"), path("dst"), false, true));
        QCOMPARE(tree(path("dst/proj")), tree(path("src/proj")));
        QCOMPARE(read(path("dst/proj/sub/b.bin")).size(), 3 << 20);
        QCOMPARE(QFileInfo(path("dst/proj/link")).symLinkTarget(), path("dst/proj/a.txt"));
        // Several sources go into the folder.
        write(path("src/x"), "x");
        write(path("src/y"), "y");
        QVERIFY(ShellCopy(nullptr, path("src/x") + ";" + path("src/y"), path("dst2"), false, true));
        QCOMPARE(tree(path("dst2")), QStringList({"x", "y"}));
    }

    void folderIntoItselfIsRefused() {
        write(path("src/proj/a.txt"), "a");
        QVERIFY(!ShellCopy(nullptr, path("src/proj"), path("src/proj/sub"), false, true));
        QVERIFY(!ShellMove(nullptr, path("src/proj"), path("src/proj"), false, true) ||
                QFile::exists(path("src/proj/a.txt")));
        QVERIFY(!QFileInfo::exists(path("src/proj/sub/proj")));
        QVERIFY(boxes_.texts().join('\n').contains("subfolder of the source folder"));
        QCOMPARE(tree(path("src/proj")), QStringList({"a.txt"}));
    }

    void movingMergesAndKeepsWhatWasNotReplaced() {
        write(path("src/proj/a.txt"), "new a");
        write(path("src/proj/b.txt"), "new b");
        write(path("src/proj/c.txt"), "new c");
        write(path("dst/proj/a.txt"), "old a");
        write(path("dst/proj/b.txt"), "old b");
        // The folder question, then a: No, b: Yes.
        boxes_.answers = {mrYes, mrNo, mrYes};
        QVERIFY(ShellMove(nullptr, path("src/proj"), path("dst"), false, true));
        QCOMPARE(read(path("dst/proj/a.txt")), QByteArray("old a"));
        QCOMPARE(read(path("dst/proj/b.txt")), QByteArray("new b"));
        QCOMPARE(read(path("dst/proj/c.txt")), QByteArray("new c"));
        // The file the user kept is still at its source; nothing was lost.
        QCOMPARE(read(path("src/proj/a.txt")), QByteArray("new a"));
        QCOMPARE(tree(path("src/proj")), QStringList({"a.txt"}));
    }

    void moveRenamesOnCollision() {
        write(path("src/a.txt"), "new");
        write(path("dst/a.txt"), "old");
        QVERIFY(ShellMove(nullptr, path("src/a.txt"), path("dst/a.txt"), true, true));
        QCOMPARE(read(path("dst/a.txt")), QByteArray("old"));
        QCOMPARE(read(path("dst/a (2).txt")), QByteArray("new"));
        QVERIFY(!QFile::exists(path("src/a.txt")));
    }

    void fileAndFolderDoNotReplaceEachOther() {
        write(path("src/thing"), "file");
        QDir().mkpath(path("dst/thing"));
        QVERIFY(!ShellCopy(nullptr, path("src/thing"), path("dst/thing"), false, false) ||
                QFileInfo(path("dst/thing/thing")).isFile());
        QVERIFY(QFileInfo(path("dst/thing")).isDir());
    }

    void missingSourcesAreReported() {
        QVERIFY(!ShellCopy(nullptr, path("nothing"), path("dst"), false, true));
        QCOMPARE(boxes_.records.size(), 1);
        QCOMPARE(boxes_.records[0].type, mtError);
        QVERIFY(!ShellDelete(nullptr, path("nothing"), false, false));
        const FileOpResult r =
            SHFileOperation(nullptr, FO_COPY, {path("nothing")}, path("dst"), FOF_NOERRORUI);
        QCOMPARE(r.failed, QStringList({path("nothing")}));
        QCOMPARE(boxes_.records.size(), 2);
    }

    void wildcards() {
        write(path("src/a.txt"), "a");
        write(path("src/b.txt"), "b");
        write(path("src/c.log"), "c");
        QDir().mkpath(path("src/d.txt"));
        const FileOpResult r = SHFileOperation(nullptr, FO_COPY, {path("src/*.txt")}, path("dst"),
                                               FOF_FILESONLY | FOF_SILENT);
        QCOMPARE(r.code, 0);
        QCOMPARE(tree(path("dst")), QStringList({"a.txt", "b.txt"}));
    }

    void deleteAsksAndUsesTheTrash() {
        write(path("a.txt"), "a");
        write(path("b.txt"), "b");
        boxes_.answers = {mrNo};
        QVERIFY(!ShellDelete(nullptr, path("a.txt") + ";" + path("b.txt"), true, true));
        QVERIFY(QFile::exists(path("a.txt")));
        QCOMPARE(boxes_.texts().first(),
                 QString("Are you sure you want to move these 2 items to the trash?"));

        boxes_.answers = {mrYes};
        const bool trashed = ShellDelete(nullptr, path("a.txt"), true, true);
        QVERIFY(!QFile::exists(path("a.txt")) || !trashed);
        if (trashed) {
            // Somewhere in a trash folder, with its contents.
            const QString home = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files/a.txt";
            const QString top = QFileInfo(dir_->path()).absolutePath();
            QVERIFY(QFile::exists(home) ||
                    !QDir(top).entryList({".Trash*"}, QDir::Dirs | QDir::Hidden).isEmpty());
        }

        // For good, without asking.
        boxes_.records.clear();
        QDir().mkpath(path("tree/sub"));
        write(path("tree/sub/x"), "x");
        QVERIFY(ShellDelete(nullptr, path("b.txt") + ";" + path("tree"), false, false));
        QVERIFY(!QFile::exists(path("b.txt")));
        QVERIFY(!QFileInfo::exists(path("tree")));
        QVERIFY(boxes_.records.isEmpty());
    }

    void deleteDoesNotFollowLinks() {
        write(path("keep/inner.txt"), "keep");
        QDir().mkpath(path("tree"));
        QVERIFY(QFile::link(path("keep"), path("tree/link")));
        QVERIFY(ShellDelete(nullptr, path("tree"), false, false));
        QCOMPARE(read(path("keep/inner.txt")), QByteArray("keep"));
    }

    void renameNeverReplaces() {
        write(path("r/a.txt"), "a");
        write(path("r/b.txt"), "b");
        QDir().mkpath(path("r/dir/sub"));
        QString why;
        QVERIFY(!RenameItem(path("r/a.txt"), path("r/b.txt"), &why));
        QCOMPARE(why, QString("A file or folder named b.txt already exists."));
        QCOMPARE(read(path("r/b.txt")), QByteArray("b"));
        QVERIFY(!RenameItem(path("r/a.txt"), path("r/.."), &why));
        QVERIFY(!RenameItem(path("r/a.txt"), "", &why));
        QVERIFY(!RenameItem(path("r/dir"), path("r/dir/sub/dir"), &why));
        QVERIFY(!RenameItem(path("r/missing"), path("r/other"), &why));
        QVERIFY(!RenameItem(path("r/a.txt"), path("r/nowhere/a.txt"), &why));
        QVERIFY(RenameItem(path("r/a.txt"), path("r/c.txt"), &why));
        QCOMPARE(read(path("r/c.txt")), QByteArray("a"));
        QVERIFY(RenameItem(path("r/dir"), path("r/moved"), &why));
        QVERIFY(QFileInfo(path("r/moved/sub")).isDir());
    }

    // Cancels the engine's progress window as soon as it exists.
    static void cancelProgressSoon(QTimer& timer) {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* p = qobject_cast<QProgressDialog*>(w))
                    if (p->objectName() == "FileOperationProgress") p->cancel();
        });
        timer.start();
    }

    void cancelStopsALongCopyWithNothingHalfWritten() {
        QByteArray big(48 << 20, 'z');
        write(path("big/huge.bin"), big);
        write(path("big/after.txt"), "after");
        QDir().mkpath(path("out"));
        QTimer timer;
        cancelProgressSoon(timer);
        const FileOpResult r =
            SHFileOperation(nullptr, FO_COPY, {path("big/huge.bin"), path("big/after.txt")},
                            path("out"), FOF_ALLOWUNDO);
        timer.stop();
        QVERIFY(r.aborted);
        QCOMPARE(tree(path("out")), QStringList());
        QCOMPARE(QFileInfo(path("big/huge.bin")).size(), qint64(48 << 20));

        // A move across nothing is a rename; cancelling the copy of a move
        // keeps the source whole.
        cancelProgressSoon(timer);
        const FileOpResult m =
            SHFileOperation(nullptr, FO_COPY, {path("big")}, path("out"), FOF_ALLOWUNDO);
        timer.stop();
        QVERIFY(m.aborted);
        for (const QString& f : tree(path("out")))
            QVERIFY2(!f.endsWith(".olmek-part"), qPrintable(f));
    }

    void cancelStopsADeleteBetweenItems() {
        QStringList items;
        for (int i = 0; i < 40; ++i) {
            items << path(QString("many/f%1.txt").arg(i));
            write(items.last(), QByteArray::number(i));
        }
        QTimer timer;
        cancelProgressSoon(timer);
        const FileOpResult r = SHFileOperation(nullptr, FO_DELETE, items, {}, FOF_NOCONFIRMATION);
        timer.stop();
        QVERIFY(r.aborted);
        // Every item is either gone or whole; the rest is still there.
        QVERIFY(QFile::exists(items.last()));
        for (int i = 0; i < items.size(); ++i)
            QVERIFY(!QFile::exists(items[i]) || read(items[i]) == QByteArray::number(i));
        QCOMPARE(r.created.size() + tree(path("many")).size(), items.size());
    }

    void folderDialogMakesATypedFolder() {
        QDir().mkpath(path("pick"));
        {
            FolderDialog d(nullptr, "Decompress To", path("pick"));
            auto* edit = d.findChild<QLineEdit*>("fileNameEdit");
            QVERIFY(edit);
            edit->setText("fresh");
            boxes_.answers = {mrNo};
            d.accept();
            QCOMPARE(d.result(), int(QDialog::Rejected));
            QVERIFY(!QFileInfo::exists(path("pick/fresh")));
            QCOMPARE(boxes_.texts(),
                     QStringList({"The folder " + path("pick/fresh") +
                                  " does not exist.\r\rDo you want to create it?"}));
        }
        FolderDialog d(nullptr, "Decompress To", path("pick"));
        d.findChild<QLineEdit*>("fileNameEdit")->setText("fresh");
        boxes_.answers = {mrYes};
        d.accept();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(QFileInfo(path("pick/fresh")).isDir());
        QCOMPARE(d.chosenFolder(), path("pick/fresh"));
        // The command layer's question for typed targets is the same one.
        boxes_.answers = {mrYes};
        QVERIFY(confirmCreateFolder(path("pick/other/deep")));
        QVERIFY(QFileInfo(path("pick/other/deep")).isDir());
        write(path("pick/file"), "f");
        QVERIFY(!confirmCreateFolder(path("pick/file")));
    }
};

OLMEK_QTEST_MAIN(FileOpsTest)
#include "tst_fileops.moc"
