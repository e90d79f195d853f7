#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QTemporaryDir>

#include "desktop/DesktopEntry.h"
#include "desktop/Shell.h"
#include "tests/desktop/QtTestEnv.h"

using namespace desk;

class ShellTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString& name) const { return dir_.path() + '/' + name; }

    static void write(const QString& file, const QByteArray& data, bool executable = false) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
        f.close();
        if (executable) f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeUser);
    }
    static QString read(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    static QString canonical(const QString& p) { return QFileInfo(p).canonicalFilePath(); }

    QString appsDir() const { return qEnvironmentVariable("XDG_DATA_HOME") + "/applications"; }
    QString mimeApps() const { return qEnvironmentVariable("XDG_CONFIG_HOME") + "/mimeapps.list"; }

    // A fake viewer that records its arguments, one per line, and its folder.
    void installViewer(const QString& id, const QString& mimeTypes, const QString& extra = {}) {
        const QString script = path("viewer-" + id + ".sh");
        write(script,
              ("#!/bin/sh\nout=\"" + path("viewer-" + id + ".out") +
               "\"\npwd > \"$out\"\nfor a in \"$@\"; do echo \"$a\" >> \"$out\"; done\n")
                  .toUtf8(),
              true);
        write(appsDir() + '/' + id,
              ("[Desktop Entry]\nType=Application\nName=Viewer " + id + "\nExec=" + script +
               " --open %f\nMimeType=" + mimeTypes + "\n" + extra)
                  .toUtf8());
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void init() {
        QFile::remove(mimeApps());
        QDir(appsDir()).removeRecursively();
    }

    void executableRunsInItsFolder() {
        write(path("bin/tool.sh"), "#!/bin/sh\npwd > \"$1\"\necho \"$2\" >> \"$1\"\n", true);
        const QString out = path("tool.out");
        ShellExecResult r = ShellExecute(path("bin/tool.sh"), "\"" + out + "\" 'two words'", {},
                                         ShellWait::KeepProcess);
        QVERIFY(r.ok());
        QVERIFY(r.process);
        QVERIFY(r.waitForFinished(20000));
        QCOMPARE(r.process->exitCode(), 0);
        const QStringList lines = read(out).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(canonical(lines[0]), canonical(path("bin")));
        QCOMPARE(lines[1], QString("two words"));

        // An explicit working folder wins.
        r = ShellExecute(path("bin/tool.sh"), out, dir_.path(), ShellWait::KeepProcess);
        QVERIFY(r.waitForFinished(20000));
        QCOMPARE(canonical(read(out).section('\n', 0, 0)), canonical(dir_.path()));
    }

    void unknownTypeHasNoAssociation() {
        if (!applicationsFor("application/octet-stream").isEmpty())
            QSKIP("this system has an application for application/octet-stream");
        write(path("blob.qqqxyz"), QByteArray("\x01\x02\x03\xff\xfe\x00\x10", 7));
        ShellExecResult r = ShellExecute(path("blob.qqqxyz"));
        QCOMPARE(r.code, SE_ERR_NOASSOC);
        QVERIFY(!r.ok());
        QVERIFY(!r.process);
    }

    void executableBitAloneDoesNotMakeAProgram() {
        if (!applicationsFor("application/octet-stream").isEmpty())
            QSKIP("this system has an application for application/octet-stream");
        // FAT mounts mark every file executable; a document there is not run.
        write(path("doc.qqqbin"), QByteArray("\x01\x02\x03\xff\xfe", 5), true);
        QCOMPARE(ShellExecute(path("doc.qqqbin")).code, SE_ERR_NOASSOC);
    }

    void missingFilesAreNotFound() {
        QCOMPARE(ShellExecute(path("nothing.here")).code, SE_ERR_FNF);
        QCOMPARE(ShellExecute(QString()).code, SE_ERR_FNF);
        QCOMPARE(ShellExecute("   ").code, SE_ERR_FNF);
        QCOMPARE(ShellExecute("no-such-program-olmek-test").code, SE_ERR_FNF);
    }

    void barePrograms() {
        ShellExecResult r = ShellExecute("true", {}, dir_.path(), ShellWait::KeepProcess);
        QVERIFY(r.ok());
        QVERIFY(r.waitForFinished(20000));
    }

    void documentsOpenWithTheDefaultApplication() {
        installViewer("olmek-viewer-a.desktop", "application/x-arj;");
        installViewer("olmek-viewer-b.desktop", "application/x-arj;");
        write(
            mimeApps(),
            "[Default Applications]\napplication/x-arj=missing.desktop;olmek-viewer-b.desktop;\n");
        QCOMPARE(defaultApplicationFor("application/x-arj"), QString("olmek-viewer-b.desktop"));
        QVERIFY(applicationsFor("application/x-arj").contains("olmek-viewer-a.desktop"));

        write(path("docs/archive.arj"), "not really an archive");
        ShellExecResult r =
            ShellExecute(path("docs/archive.arj"), "ignored", {}, ShellWait::KeepProcess);
        QVERIFY(r.ok());
        QVERIFY(r.waitForFinished(20000));
        const QStringList lines =
            read(path("viewer-olmek-viewer-b.desktop.out")).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(canonical(lines[0]), canonical(path("docs")));
        QCOMPARE(lines[1], QString("--open"));
        QCOMPARE(lines[2], path("docs/archive.arj"));
    }

    void associationsHonourRemovalHiddenAndTryExec() {
        installViewer("olmek-declared.desktop", "application/x-lha;");
        installViewer("olmek-hidden.desktop", "application/x-lha;", "Hidden=true\n");
        installViewer("olmek-tryexec.desktop", "application/x-lha;", "TryExec=/no/such/binary\n");
        installViewer("olmek-removed.desktop", "application/x-lha;");
        write(mimeApps(), "[Removed Associations]\napplication/x-lha=olmek-removed.desktop;\n");
        const QStringList apps = applicationsFor("application/x-lha");
        QVERIFY(apps.contains("olmek-declared.desktop"));
        QVERIFY(!apps.contains("olmek-hidden.desktop"));
        QVERIFY(!apps.contains("olmek-tryexec.desktop"));
        QVERIFY(!apps.contains("olmek-removed.desktop"));
    }

    void subTypesFallBackToTheirParents() {
        installViewer("olmek-text.desktop", "text/plain;");
        QVERIFY(applicationsFor("text/x-csrc").contains("olmek-text.desktop"));
        QCOMPARE(desktopEntryName("olmek-text.desktop"), QString("Viewer olmek-text.desktop"));
        QVERIFY(desktopEntryPath("../../etc/passwd").isEmpty());
    }

    void entriesInSubfoldersUseDashedIds() {
        installViewer("tmp.desktop", "application/x-zoo;");
        QDir().mkpath(appsDir() + "/vendor");
        QVERIFY(QFile::rename(appsDir() + "/tmp.desktop", appsDir() + "/vendor/zooview.desktop"));
        QCOMPARE(desktopEntryPath("vendor-zooview.desktop"), appsDir() + "/vendor/zooview.desktop");
        QVERIFY(applicationsFor("application/x-zoo").contains("vendor-zooview.desktop"));
    }

    void releasedProcessesRunOn() {
        write(path("slow.sh"),
              ("#!/bin/sh\nsleep 0.3\ntouch \"" + path("slow.done") + "\"\n").toUtf8(), true);
        {
            ShellExecResult r = ShellExecute(path("slow.sh"), {}, {}, ShellWait::KeepProcess);
            QVERIFY(r.ok());
        }
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path("slow.done")), 20000);
    }

    void commandLinesSplitLikeAShell_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("plain") << "a b  c" << QStringList{"a", "b", "c"};
        QTest::newRow("double") << "\"a b\" c" << QStringList{"a b", "c"};
        QTest::newRow("single") << "'a \"b' c" << QStringList{"a \"b", "c"};
        QTest::newRow("escape") << "a\\ b" << QStringList{"a b"};
        QTest::newRow("inner") << "\"x\\\"y\\$z\\q\"" << QStringList{"x\"y$z\\q"};
        QTest::newRow("empty quotes") << "'' x" << QStringList{"", "x"};
        QTest::newRow("unterminated") << "\"abc" << QStringList{"abc"};
        QTest::newRow("blank") << "   " << QStringList{};
    }
    void commandLinesSplitLikeAShell() {
        QFETCH(QString, line);
        QFETCH(QStringList, words);
        QCOMPARE(splitCommandLine(line), words);
    }

    void execFieldCodes() {
        DesktopEntry e;
        e.valid = true;
        e.keys.insert("Name", "My App");
        e.keys.insert("Icon", "myicon");
        e.keys.insert("Exec", "prog --name=%c %i -k %k %% %d %F");
        QStringList args;
        QVERIFY(e.expandExec({"/a", "/b c"}, "/apps/x.desktop", &args));
        QCOMPARE(args, QStringList({"prog", "--name=My App", "--icon", "myicon", "-k",
                                    "/apps/x.desktop", "%", "/a", "/b c"}));
        e.keys.insert("Exec", "\"/opt/my prog\" \\\\s %u");
        QVERIFY(e.expandExec({"/f"}, {}, &args));
        QCOMPARE(args, QStringList({"/opt/my prog", "s", "/f"}));
        e.keys.insert("Exec", "");
        QVERIFY(!e.expandExec({"/f"}, {}, &args));
    }
};

OLMEK_QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
