#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QObject>
#include <QSet>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include "desktop/AppIcon.h"
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

    static QStringList typeNames() {
        QStringList names;
        for (const ExtensionType& t : archiveMimeTypes())
            if (!names.contains(t.mimeType)) names << t.mimeType;
        return names;
    }
    static QString userIcon(const QString& size, const QString& ext) {
        return qEnvironmentVariable("XDG_DATA_HOME") + "/icons/hicolor/" + size + "/apps/olmek95." +
               ext;
    }

    // A system data folder whose desktop entry starts `program` (created
    // as an executable file), put first in XDG_DATA_DIRS.
    QString system_, savedDataDirs_, savedPath_;
    QString installSystemEntry(const QString& execLine) {
        QDir().mkpath(system_ + "/applications");
        write(system_ + "/applications/olmek95.desktop",
              "[Desktop Entry]\nType=Application\nName=OLMEK 95\nExec=" + execLine +
                  "\nIcon=olmek95\n");
        qputenv("XDG_DATA_DIRS", (system_ + ":/usr/local/share:/usr/share").toLocal8Bit());
        return system_ + "/applications/olmek95.desktop";
    }
    QString makeProgram(const QString& path) {
        write(path, "#!/bin/sh\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

private slots:
    void initTestCase() {
        savedDataDirs_ = qEnvironmentVariable("XDG_DATA_DIRS");
        savedPath_ = qEnvironmentVariable("PATH");
        system_ = QDir::cleanPath(qEnvironmentVariable("XDG_DATA_HOME") + "/../system");
    }

    void init() {
        QFile::remove(desktopEntryFile());
        QFile::remove(mimePackageFile());
        QFile::remove(mimeAppsListFile());
        QDir(qEnvironmentVariable("XDG_DATA_HOME") + "/icons").removeRecursively();
        QDir(system_).removeRecursively();
        qputenv("XDG_DATA_DIRS", savedDataDirs_.toLocal8Bit());
        if (savedDataDirs_.isEmpty()) qunsetenv("XDG_DATA_DIRS");
        qputenv("PATH", savedPath_.toLocal8Bit());
    }
    void cleanupTestCase() { init(); }

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

    void systemTypesAreNeverRedefined() {
        // A package file of an earlier version declared system types too.
        write(mimePackageFile(), "<mime-info>\n  <mime-type type=\"application/x-arj\">\n"
                                 "    <glob pattern=\"*.arj\"/>\n  </mime-type>\n</mime-info>\n");
        if (!QMimeDatabase().mimeTypeForName("application/x-arj").isValid())
            QSKIP("the system does not define application/x-arj");
        for (const ExtensionType& t : archiveMimeTypes())
            if (t.extension == ".ARJ") QVERIFY(!t.ours);
        QVERIFY(RegisterFileTypes("/usr/bin/olmek", nullptr, false));
        const QString xml = read(mimePackageFile());
        for (const char* type : {"application/x-arj", "application/x-lha", "application/x-pak",
                                 "application/x-zoo", "application/zip"})
            QVERIFY2(!xml.contains(QString("\"%1\"").arg(type)), type);
    }

    void packageFileGoesWhenTheSystemDefinesOurTypes() {
        if (QStandardPaths::findExecutable("update-mime-database").isEmpty())
            QSKIP("update-mime-database is not installed");
        QVERIFY(RegisterFileTypes("/usr/bin/olmek"));
        if (!QFile::exists(mimePackageFile())) QSKIP("the system knows every archive extension");
        // A system database listing them, as the installed package gives.
        QDir().mkpath(system_ + "/mime");
        QString globs;
        for (const ExtensionType& t : archiveMimeTypes())
            if (t.ours) globs += "50:" + t.mimeType + ":*" + t.extension.toLower() + "\n";
        write(system_ + "/mime/globs2", globs);
        qputenv("XDG_DATA_DIRS", (system_ + ":/usr/local/share:/usr/share").toLocal8Bit());
        for (const ExtensionType& t : archiveMimeTypes()) QVERIFY2(!t.ours, qPrintable(t.mimeType));
        QVERIFY(RegisterFileTypes("/usr/bin/olmek"));
        QVERIFY(!QFile::exists(mimePackageFile()));
    }

    void registrationIsStableAcrossStarts() {
        if (QStandardPaths::findExecutable("update-mime-database").isEmpty())
            QSKIP("update-mime-database is not installed");
        QVERIFY(RegisterFileTypes("/usr/bin/olmek"));
        const QString xml = read(mimePackageFile());
        const QStringList names = typeNames();
        // Once our types are in the user's database they are still ours.
        for (int start = 0; start < 2; ++start) {
            QVERIFY(RegisterFileTypes("/usr/bin/olmek"));
            QCOMPARE(read(mimePackageFile()), xml);
            QCOMPARE(typeNames(), names);
        }
    }

    void systemGlobsDecideTheTypes() {
        QDir().mkpath(system_ + "/mime");
        write(system_ + "/mime/globs2", "# comment\n"
                                        "40:application/x-light:*.arc\n"
                                        "60:application/x-heavy:*.arc\n"
                                        "50:application/x-upper:*.ZOO:cs\n"
                                        "50:application/x-compress:*.Z:cs\n"
                                        "50:application/x-ha-archive:*.HA\n");
        qputenv("XDG_DATA_DIRS", (system_ + ":/usr/local/share:/usr/share").toLocal8Bit());
        QMap<QString, ExtensionType> byExt;
        for (const ExtensionType& t : archiveMimeTypes()) byExt.insert(t.extension, t);
        QCOMPARE(byExt[".ARC"].mimeType, QString("application/x-heavy"));
        QCOMPARE(byExt[".Z"].mimeType, QString("application/x-compress"));
        QCOMPARE(byExt[".HA"].mimeType, QString("application/x-ha-archive"));
        QVERIFY(!byExt[".HA"].ours);
        // Files are named .zoo; a case-sensitive .ZOO glob does not give them a type.
        QVERIFY(byExt[".ZOO"].mimeType != "application/x-upper");
    }

    void programRunFromElsewhereRegistersItsIcon() {
        // Another program's system entry does not count.
        installSystemEntry(makeProgram(system_ + "/bin/olmek") + " %f");
        QVERIFY(systemDesktopEntry("/opt/build/olmek").isEmpty());
        QVERIFY(RegisterFileTypes("/opt/build/olmek", nullptr, false));
        QCOMPARE(DesktopEntry::load(desktopEntryFile()).value("Icon"), QString("olmek95"));
        QCOMPARE(DesktopEntry::load(desktopEntryFile()).value("Exec"),
                 QString("/opt/build/olmek %f"));
        for (int size : appIconSizes()) {
            const QString png = userIcon(QString("%1x%1").arg(size), "png");
            QCOMPARE(QImage(png).size(), QSize(size, size));
        }
        QCOMPARE(QFile(userIcon("scalable", "svg")).size(), qint64(appIconSvg().size()));
        // Unchanged files are not written again.
        const QDateTime stamp = QFileInfo(userIcon("48x48", "png")).lastModified();
        QVERIFY(RegisterFileTypes("/opt/build/olmek", nullptr, false));
        QCOMPARE(QFileInfo(userIcon("48x48", "png")).lastModified(), stamp);
    }

    void installedProgramKeepsTheUsersChoices() {
        const QString program = makeProgram(system_ + "/bin/olmek");
        const QString entry = installSystemEntry(program + " %f");
        QCOMPARE(systemDesktopEntry(program), entry);
        write(mimeAppsListFile(), "[Default Applications]\n"
                                  "application/zip=ark.desktop;\n"
                                  "application/gzip=\n"
                                  "\n"
                                  "[Removed Associations]\n"
                                  "application/x-tar=olmek95.desktop;other.desktop;\n");
        QVERIFY(RegisterFileTypes(program, nullptr, false));
        QVERIFY(!QFile::exists(desktopEntryFile()));
        QVERIFY(!QFile::exists(userIcon("48x48", "png")));
        const auto defaults = parseKeyFile(read(mimeAppsListFile()))["Default Applications"];
        QCOMPARE(defaults.value("application/zip"), QString("ark.desktop;"));
        QCOMPARE(defaults.value("application/gzip"), QString("olmek95.desktop;"));
        QVERIFY(!defaults.contains("application/x-tar"));
        for (const QString& type : typeNames())
            if (type != "application/zip" && type != "application/x-tar")
                QCOMPARE(defaults.value(type), QString("olmek95.desktop;"));
        // A second start changes nothing.
        const QString text = read(mimeAppsListFile());
        QVERIFY(RegisterFileTypes(program, nullptr, false));
        QCOMPARE(read(mimeAppsListFile()), text);
    }

    void installedProgramFoundOnPath() {
        const QString program = makeProgram(system_ + "/bin/olmek");
        installSystemEntry("olmek %f");
        QVERIFY(systemDesktopEntry(program).isEmpty());
        qputenv("PATH", (system_ + "/bin:" + savedPath_).toLocal8Bit());
        QVERIFY(!systemDesktopEntry(program).isEmpty());
        // A hidden system entry is no registration.
        write(system_ + "/applications/olmek95.desktop",
              "[Desktop Entry]\nType=Application\nName=OLMEK 95\nExec=olmek %f\nHidden=true\n");
        QVERIFY(systemDesktopEntry(program).isEmpty());
    }

    void installedProgramRemovesOnlyItsOwnUserEntry() {
        const QString program = makeProgram(system_ + "/bin/olmek");
        installSystemEntry(program + " %f");
        // Written by a run from the build folder: it would hide the system's.
        const QString ours = desktopEntryText("/home/u/build/app/olmek", typeNames());
        write(desktopEntryFile(), ours);
        QVERIFY(RegisterFileTypes(program, nullptr, false));
        QVERIFY(!QFile::exists(desktopEntryFile()));
        // Earlier versions named a stock icon.
        write(desktopEntryFile(),
              QString(ours).replace("Icon=olmek95\n", "Icon=package-x-generic\n"));
        QVERIFY(RegisterFileTypes(program, nullptr, false));
        QVERIFY(!QFile::exists(desktopEntryFile()));
        // Edited by the user (a menu editor, say): kept.
        write(desktopEntryFile(), ours + "NoDisplay=true\n");
        QVERIFY(RegisterFileTypes(program, nullptr, false));
        QCOMPARE(read(desktopEntryFile()), ours + "NoDisplay=true\n");
        // Icons drawn for such a run go too; others stay.
        for (const QString size : {"32x32", "48x48"}) {
            const QString png = userIcon(size, "png");
            QDir().mkpath(QFileInfo(png).absolutePath());
            appIconImage(size.left(2).toInt()).save(png, "PNG");
        }
        write(userIcon("64x64", "png"), "someone else's");
        QVERIFY(RegisterFileTypes(program, nullptr, false));
        QVERIFY(!QFile::exists(userIcon("32x32", "png")));
        QVERIFY(!QFile::exists(userIcon("48x48", "png")));
        QVERIFY(QFile::exists(userIcon("64x64", "png")));
    }

    void installedEntryMatchesTheUsersEntry() {
        // The entry the package installs opens what the registration declares.
        const DesktopEntry installed = DesktopEntry::load(OLMEK_SOURCE_DIR "/dist/olmek95.desktop");
        QVERIFY(installed.valid);
        for (const QString& type : typeNames())
            QVERIFY2(installed.mimeTypes().contains(type), qPrintable(type));
        write(desktopEntryFile(), desktopEntryText("olmek", typeNames()));
        const DesktopEntry user = DesktopEntry::load(desktopEntryFile());
        for (auto it = user.keys.begin(); it != user.keys.end(); ++it)
            if (it.key() != "MimeType") QCOMPARE(installed.value(it.key()), it.value());
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

    void mergeKeepingChoices_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("empty") << ""
                               << "[Default Applications]\na/b=x.desktop;\nc/d=x.desktop;\n";
        QTest::newRow("chosen") << "[Default Applications]\na/b=y.desktop;\n"
                                << "[Default Applications]\na/b=y.desktop;\nc/d=x.desktop;\n";
        QTest::newRow("blank value") << "[Default Applications]\na/b=\n"
                                     << "[Default Applications]\na/b=x.desktop;\nc/d=x.desktop;\n";
        QTest::newRow("ours already") << "[Default Applications]\na/b=y.desktop;x.desktop;\n"
                                      << "[Default Applications]\na/b=y.desktop;x.desktop;\n"
                                         "c/d=x.desktop;\n";
        QTest::newRow("removed") << "[Removed Associations]\na/b=x.desktop;\nc/d=x.desktop\n"
                                 << "[Removed Associations]\na/b=x.desktop;\nc/d=x.desktop\n";
        QTest::newRow("removed other")
            << "[Removed Associations]\nc/d=y.desktop;\n"
            << "[Removed Associations]\nc/d=y.desktop;\n\n"
               "[Default Applications]\na/b=x.desktop;\nc/d=x.desktop;\n";
    }
    void mergeKeepingChoices() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QCOMPARE(mergeMimeAppsList(before, {"a/b", "c/d"}, "x.desktop", true), after);
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
