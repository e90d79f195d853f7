#include <QDir>
#include <QFile>
#include <QObject>
#include <QSet>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include "desktop/DesktopEntry.h"
#include "desktop/Registration.h"
#include "tests/desktop/QtTestEnv.h"

using namespace desk;

class RegistrationTest : public QObject {
    Q_OBJECT

    static QString read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    static void write(const QString& path, const QString& text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.toUtf8());
    }

private slots:
    void init() {
        QFile::remove(desktopEntryFile());
        QFile::remove(mimePackageFile());
        QFile::remove(mimeAppsListFile());
    }

    void filesLiveInTheXdgFolders() {
        QCOMPARE(desktopEntryFile(),
                 qEnvironmentVariable("XDG_DATA_HOME") + "/applications/olmek95.desktop");
        QCOMPARE(mimePackageFile(),
                 qEnvironmentVariable("XDG_DATA_HOME") + "/mime/packages/olmek95.xml");
        QCOMPARE(mimeAppsListFile(), qEnvironmentVariable("XDG_CONFIG_HOME") + "/mimeapps.list");
    }

    void archiveExtensionsAndTheirTypes() {
        QCOMPARE(archiveExtensions(),
                 QStringList({".ARC", ".ARJ", ".CAB", ".GZ", ".HA", ".LHA", ".LZH", ".PAK", ".RAR",
                              ".TAR", ".Z", ".ZIP", ".ZOO"}));
        const auto types = archiveMimeTypes();
        QCOMPARE(types.size(), 13);
        for (const ExtensionType& t : types) {
            QVERIFY2(!t.mimeType.isEmpty(), qPrintable(t.extension));
            QVERIFY(t.mimeType != "application/octet-stream");
        }
    }

    void desktopEntryRunsTheProgramWithF() {
        QString error;
        QVERIFY2(RegisterFileTypes("/opt/My Apps/olmek", &error, false), qPrintable(error));
        const DesktopEntry e = DesktopEntry::load(desktopEntryFile());
        QVERIFY(e.valid);
        QCOMPARE(e.value("Type"), QString("Application"));
        QVERIFY(e.value("Exec").endsWith(" %f"));
        QStringList args;
        QVERIFY(e.expandExec({"/tmp/a b.zip"}, desktopEntryFile(), &args));
        QCOMPARE(args, QStringList({"/opt/My Apps/olmek", "/tmp/a b.zip"}));
        QStringList declared = e.mimeTypes();
        for (const ExtensionType& t : archiveMimeTypes())
            QVERIFY2(declared.contains(t.mimeType), qPrintable(t.mimeType));
    }

    void packageXmlOnlyForUnknownExtensions() {
        QVERIFY(RegisterFileTypes("/usr/bin/olmek", nullptr, false));
        QStringList ours;
        for (const ExtensionType& t : archiveMimeTypes())
            if (t.ours) ours << t.extension;
        const QString xml = read(mimePackageFile());
        if (ours.isEmpty()) {
            QVERIFY(xml.isEmpty());
            return;
        }
        QXmlStreamReader reader(xml);
        QStringList globs, types;
        while (!reader.atEnd()) {
            reader.readNext();
            if (reader.isStartElement() && reader.name() == QLatin1String("glob"))
                globs << reader.attributes().value("pattern").toString();
            if (reader.isStartElement() && reader.name() == QLatin1String("mime-type"))
                types << reader.attributes().value("type").toString();
        }
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
        QCOMPARE(globs.size(), ours.size());
        for (const QString& ext : ours) QVERIFY(globs.contains("*" + ext.toLower()));
        // The stock database of this system knows everything but ARC and HA.
        if (QFile::exists("/usr/share/mime/packages/freedesktop.org.xml")) {
            QVERIFY(types.contains("application/x-arc"));
            QVERIFY(types.contains("application/x-ha"));
            QVERIFY(!types.contains("application/zip"));
        }
    }

    void mimeDatabaseIsUpdated() {
        if (QStandardPaths::findExecutable("update-mime-database").isEmpty())
            QSKIP("update-mime-database is not installed");
        bool anyOurs = false;
        for (const ExtensionType& t : archiveMimeTypes()) anyOurs = anyOurs || t.ours;
        if (!anyOurs) QSKIP("the system knows every archive extension");
        QVERIFY(RegisterFileTypes("/usr/bin/olmek"));
        const QString globs = read(qEnvironmentVariable("XDG_DATA_HOME") + "/mime/globs2");
        QVERIFY2(globs.contains(":application/x-ha:*.ha"), qPrintable(globs));
    }

    void mimeAppsListKeepsOtherEntries() {
        write(mimeAppsListFile(), "# my associations\n"
                                  "[Added Associations]\n"
                                  "application/zip=ark.desktop;\n"
                                  "\n"
                                  "[Default Applications]\n"
                                  "text/plain=vim.desktop;\n"
                                  "application/zip=ark.desktop;\n"
                                  "image/png=viewer.desktop\n"
                                  "\n"
                                  "[Removed Associations]\n"
                                  "text/html=old.desktop;\n");
        QVERIFY(RegisterFileTypes("/usr/bin/olmek", nullptr, false));
        const QString text = read(mimeAppsListFile());
        QVERIFY(text.startsWith(
            "# my associations\n[Added Associations]\napplication/zip=ark.desktop;\n"));
        QVERIFY(text.contains("text/plain=vim.desktop;\n"));
        QVERIFY(text.contains("image/png=viewer.desktop\n"));
        QVERIFY(text.contains("[Removed Associations]\ntext/html=old.desktop;\n"));
        QVERIFY(text.contains("application/zip=olmek95.desktop;\n"));
        QVERIFY(
            !text.contains("[Default Applications]\ntext/plain=vim.desktop;\napplication/zip=ark"));
        const auto groups = parseKeyFile(text);
        for (const ExtensionType& t : archiveMimeTypes())
            QCOMPARE(groups["Default Applications"].value(t.mimeType), QString("olmek95.desktop;"));
        QCOMPARE(text.count("[Default Applications]"), 1);

        // A second start changes nothing.
        QVERIFY(RegisterFileTypes("/usr/bin/olmek", nullptr, false));
        QCOMPARE(read(mimeAppsListFile()), text);
    }

    void mimeAppsListCreatedWhenMissing() {
        QVERIFY(RegisterFileTypes("/usr/bin/olmek", nullptr, false));
        const QString text = read(mimeAppsListFile());
        QVERIFY(text.startsWith("[Default Applications]\n"));
        QSet<QString> distinct;
        for (const ExtensionType& t : archiveMimeTypes()) distinct.insert(t.mimeType);
        QCOMPARE(text.count("=olmek95.desktop;"), distinct.size());
    }

    void mergeIsLineExact() {
        QCOMPARE(mergeMimeAppsList("", {"a/b"}, "x.desktop"),
                 QString("[Default Applications]\na/b=x.desktop;\n"));
        QCOMPARE(
            mergeMimeAppsList("[Default Applications]\na/b=y.desktop;\n\n[Other]\nk=v\n",
                              {"a/b", "c/d"}, "x.desktop"),
            QString("[Default Applications]\na/b=x.desktop;\nc/d=x.desktop;\n\n[Other]\nk=v\n"));
        QCOMPARE(mergeMimeAppsList("[Other]\nk=v", {"a/b"}, "x.desktop"),
                 QString("[Other]\nk=v\n\n[Default Applications]\na/b=x.desktop;\n"));
        // A commented-out line is not an entry.
        QCOMPARE(
            mergeMimeAppsList("[Default Applications]\n#a/b=y.desktop\n", {"a/b"}, "x.desktop"),
            QString("[Default Applications]\n#a/b=y.desktop\na/b=x.desktop;\n"));
    }

    void execArgumentsAreQuoted_data() {
        QTest::addColumn<QString>("arg");
        QTest::addColumn<QString>("quoted");
        QTest::newRow("plain") << "/usr/bin/olmek"
                               << "/usr/bin/olmek";
        QTest::newRow("blank") << "/opt/a b/olmek"
                               << "\"/opt/a b/olmek\"";
        QTest::newRow("dollar") << "/x/$HOME"
                                << "\"/x/\\\\$HOME\"";
        QTest::newRow("percent") << "/x/100%"
                                 << "\"/x/100%%\"";
        QTest::newRow("backslash") << "/x/a\\b"
                                   << "\"/x/a\\\\\\\\b\"";
    }
    void execArgumentsAreQuoted() {
        QFETCH(QString, arg);
        QFETCH(QString, quoted);
        QCOMPARE(quoteExecArgument(arg), quoted);
        // And they read back as the same argument.
        DesktopEntry e;
        e.valid = true;
        e.keys.insert("Exec", quoteExecArgument(arg) + " %f");
        QStringList args;
        QVERIFY(e.expandExec({"F"}, {}, &args));
        QCOMPARE(args, QStringList({arg, "F"}));
    }

    void oversizedListsAreNotCutShort() {
        QByteArray big = "[Added Associations]\n";
        while (big.size() < (5 << 20)) big += "x-test/type=some.desktop;\n";
        write(mimeAppsListFile(), QString::fromUtf8(big));
        QString error;
        QVERIFY(!RegisterFileTypes("/usr/bin/olmek", &error, false));
        QVERIFY(error.contains("mimeapps.list"));
        QCOMPARE(QFileInfo(mimeAppsListFile()).size(), qint64(big.size()));
    }

    void unwritableTargetsFailCleanly() {
        const QString saved = qEnvironmentVariable("XDG_CONFIG_HOME");
        const QString blocker = saved + "-file";
        write(blocker, "not a folder");
        qputenv("XDG_CONFIG_HOME", blocker.toLocal8Bit());
        QString error;
        QVERIFY(!RegisterFileTypes("/usr/bin/olmek", &error, false));
        QVERIFY(error.contains("mimeapps.list"));
        qputenv("XDG_CONFIG_HOME", saved.toLocal8Bit());
    }
};

OLMEK_QTEST_MAIN(RegistrationTest)
#include "tst_registration.moc"
