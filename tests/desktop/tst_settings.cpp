#include <QFile>
#include <QFileInfo>
#include <QObject>

#include "desktop/Settings.h"
#include "tests/desktop/QtTestEnv.h"

using namespace desk;

class SettingsTest : public QObject {
    Q_OBJECT

    static QString fileText() {
        QFile f(settingsFilePath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void init() { QFile::remove(settingsFilePath()); }

    void fileLivesUnderXdgConfigHome() {
        QCOMPARE(settingsFilePath(),
                 qEnvironmentVariable("XDG_CONFIG_HOME") + "/Fenwood/OLMEK95.conf");
        {
            Settings s;
            s.writeString("Main", "Height", "476");
            QVERIFY(s.sync());
            QCOMPARE(s.fileName(), settingsFilePath());
        }
        QVERIFY(QFileInfo::exists(settingsFilePath()));
    }

    void groupsFromRegistryKeys_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("group");
        QTest::newRow("full") << "\\Software\\Fenwood\\OLMEK95\\Main"
                              << "Main";
        QTest::newRow("nested") << "\\Software\\Fenwood\\OLMEK95\\Configure\\General"
                                << "Configure/General";
        QTest::newRow("record") << "\\Software\\Fenwood\\OLMEK95\\3"
                                << "3";
        QTest::newRow("slashes") << "Configure/General"
                                 << "Configure/General";
        QTest::newRow("case") << "\\software\\fenwood\\olmek95\\View"
                              << "View";
        QTest::newRow("foreign") << "\\Software\\Other\\X"
                                 << "Software/Other/X";
        QTest::newRow("root") << "\\Software\\Fenwood\\OLMEK95\\"
                              << "";
    }
    void groupsFromRegistryKeys() {
        QFETCH(QString, key);
        QFETCH(QString, group);
        QCOMPARE(settingsGroup(key), group);
    }

    void stringsRoundTripAcrossInstances() {
        const QString tricky = "C:\\|D:\\out\\a.zip;x=y # not a comment";
        {
            Settings s;
            s.writeString("\\Software\\Fenwood\\OLMEK95\\CompressDialog", "Path", tricky);
            s.writeString("0", "Path", "/home/user/My Files");
            s.writeString("View", "FileMask", "");
            s.writeString("View", "Unicode", QString::fromUtf8("Grüße ☃"));
            s.writeString("View", "Comma", "a,b, c");
            s.writeString("View", "At", "@Variant(x)");
        }
        Settings s;
        QCOMPARE(s.readString("CompressDialog", "Path"), tricky);
        QCOMPARE(s.readString("0", "Path"), QString("/home/user/My Files"));
        QVERIFY(s.valueExists("View", "FileMask"));
        QCOMPARE(s.readString("View", "FileMask", "*.*"), QString());
        QCOMPARE(s.readString("View", "Unicode"), QString::fromUtf8("Grüße ☃"));
        QCOMPARE(s.readString("View", "Missing", "*.*"), QString("*.*"));
        QCOMPARE(s.readString("View", "Comma"), QString("a,b, c"));
        QCOMPARE(s.readString("View", "At"), QString("@Variant(x)"));
    }

    void valuesAreStringsAndBooleansOneZero() {
        {
            Settings s;
            s.writeBool("Configure/General", "ConfirmWhenDeleting", false);
            s.writeBool("Configure/General", "ConfirmWhenMoving", true);
            s.writeInt("Main", "Width", 657);
        }
        const QString text = fileText();
        QVERIFY2(text.contains("ConfirmWhenDeleting=0"), qPrintable(text));
        QVERIFY2(text.contains("ConfirmWhenMoving=1"), qPrintable(text));
        QVERIFY2(text.contains("[Main]") && text.contains("Width=657"), qPrintable(text));
        QVERIFY(!text.contains("true") && !text.contains("@Variant"));
        Settings s;
        QCOMPARE(s.readString("Configure\\General", "ConfirmWhenDeleting"), QString("0"));
        QCOMPARE(s.readInt("Main", "Width", 0), 657);
    }

    void booleanParsingFollowsFirstCharacter_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("value");
        for (const char* t : {"1", "True", "true", "Yes", "y", "T"})
            QTest::newRow(t) << QString(t) << true;
        for (const char* f : {"0", "False", "no", "", "2", " 1"})
            QTest::newRow(f[0] ? f : "empty") << QString(f) << false;
    }
    void booleanParsingFollowsFirstCharacter() {
        QFETCH(QString, stored);
        QFETCH(bool, value);
        Settings s;
        s.writeString("Configure/General", "ConfirmWhenDeleting", stored);
        QCOMPARE(s.readBool("Configure/General", "ConfirmWhenDeleting", !value), value);
    }

    void missingAndMalformedFallBackToDefaults() {
        Settings s;
        QCOMPARE(s.readBool("Main", "CompressionWizard", true), true);
        s.writeString("1", "Height", "tall");
        QCOMPARE(s.readInt("1", "Height", 300), 300);
        s.writeString("1", "Width", " 400 ");
        QCOMPARE(s.readInt("1", "Width", 0), 400);
    }

    void unwritableStoreIsReported() {
        const QString saved = qEnvironmentVariable("XDG_CONFIG_HOME");
        const QString blocker = saved + "-blocked";
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        qputenv("XDG_CONFIG_HOME", blocker.toLocal8Bit());
        {
            Settings s;
            s.writeString("Main", "Height", "1");
            QVERIFY(!s.sync());
        }
        qputenv("XDG_CONFIG_HOME", saved.toLocal8Bit());
        QVERIFY(QFileInfo(blocker).isFile());
    }

    void keysExistOnlyWithValues() {
        Settings s;
        QVERIFY(!s.keyExists("\\Software\\Fenwood\\OLMEK95\\2"));
        s.writeString("2", "Path", "");
        QVERIFY(s.keyExists("\\Software\\Fenwood\\OLMEK95\\2"));
        QVERIFY(!s.keyExists("20"));
        s.removeKey("2");
        QVERIFY(!s.keyExists("2"));
    }
};

OLMEK_QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
