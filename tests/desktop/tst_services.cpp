#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>

#include "desktop/FileInfo.h"
#include "desktop/FolderPicker.h"
#include "desktop/Launch.h"
#include "desktop/MessageBox.h"
#include "desktop/VisibleText.h"
#include "tests/desktop/QtTestEnv.h"

using namespace desk;

class ServicesTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString& name) const { return dir_.path() + '/' + name; }
    static void write(const QString& file, const QByteArray& data, bool executable = false) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
        f.close();
        if (executable) f.setPermissions(f.permissions() | QFile::ExeOwner);
    }
    static QString read(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    // Clicks a button of the next message box that opens.
    static void answerNextBox(QMessageBox::StandardButton button, QString* seenText,
                              QString* seenTitle) {
        QTimer::singleShot(0, [=] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || !box->isVisible()) continue;
                *seenText = box->text();
                *seenTitle = box->windowTitle();
                box->button(button)->click();
                return;
            }
            answerNextBox(button, seenText, seenTitle);
        });
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }
    void cleanup() { setMessageService(nullptr); }

    void controlCharactersAreShownNotObeyed() {
        QCOMPARE(visibleText(std::string("a\nb\x1b[2J\tc\x7f")),
                 QString::fromUtf16(u"a\u240Ab\u241B[2J\u2409c\u2421"));
        QCOMPARE(visibleText(QString::fromUtf16(u"x\u009By")), QString::fromUtf16(u"x\uFFFDy"));
        QCOMPARE(visibleText(std::string("plain \xc3\xa9")), QString::fromUtf8("plain \xc3\xa9"));
    }

    void scriptedBoxesRecordAndAnswer() {
        ScriptedMessageService script;
        script.answers = {mrNo, mrYes};
        setMessageService(&script);
        QVERIFY(!askYesNo("x.zip already exists. Overwrite?"));
        QVERIFY(askYesNo("second"));
        // Queue empty: the first button of the set answers.
        QVERIFY(askYesNo("third"));
        showInformation("Select a file by clicking on its name.\nThen, try again.");
        ShowMessage("OLMEK 95 Help is still being developed. Help is currently not available.");
        QCOMPARE(MessageDlg("pick", mtWarning, mbAbort | mbRetry | mbIgnore), int(mrAbort));
        script.defaultAnswer = mrCancel;
        QCOMPARE(MessageDlg("again", mtError, mbOK | mbCancel), int(mrCancel));

        QCOMPARE(script.records.size(), 7);
        QCOMPARE(script.texts()[0], QString("x.zip already exists. Overwrite?"));
        QCOMPARE(script.records[0].type, mtInformation);
        QCOMPARE(script.records[0].buttons, mbYes | mbNo);
        QCOMPARE(script.records[0].answer, int(mrNo));
        QCOMPARE(script.records[3].buttons, int(mbOK));
        QCOMPARE(script.records[3].type, mtInformation);
        QCOMPARE(script.records[4].type, mtCustom);
        QCOMPARE(script.records[6].answer, int(mrCancel));

        setMessageService(nullptr);
        QVERIFY(dynamic_cast<QtMessageService*>(&messageService()));
    }

    void qtBoxesShowTextLinesAndCaption() {
        QString text, title;
        answerNextBox(QMessageBox::No, &text, &title);
        QCOMPARE(MessageDlg("a.txt\rExtract failed\r\rOnEnd Event...", mtInformation, mbYes | mbNo),
                 int(mrNo));
        QCOMPARE(text, QString("a.txt\nExtract failed\n\nOnEnd Event..."));
        QCOMPARE(title, QString("Information"));
        answerNextBox(QMessageBox::Ok, &text, &title);
        ShowMessage("plain");
        QCOMPARE(text, QString("plain"));
    }

    void folderPickerCanBeScripted() {
        QString askedCaption, askedStart;
        setFolderPicker([&](QWidget*, const QString& caption, const QString& start) {
            askedCaption = caption;
            askedStart = start;
            return dir_.path();
        });
        QCOMPARE(selectDirectory(nullptr, "Extract to", "/tmp"), dir_.path());
        QCOMPARE(askedCaption, QString("Extract to"));
        QCOMPARE(askedStart, QString("/tmp"));
        setFolderPicker([](QWidget*, const QString&, const QString&) { return QString(); });
        QVERIFY(selectDirectory(nullptr, "x").isEmpty());
        setFolderPicker({});
    }

    void terminalStartsInTheFolder() {
        const QString script = path("term.sh");
        write(script,
              ("#!/bin/sh\npwd > \"" + path("term.out") + "\"\necho \"$1\" >> \"" +
               path("term.out") + "\"\n")
                  .toUtf8(),
              true);
        qputenv("TERMINAL", (script + " --flag").toLocal8Bit());
        QCOMPARE(terminalCandidates().first(), script + " --flag");
        QString used;
        QDir().mkpath(path("work dir"));
        QVERIFY(openTerminal(path("work dir"), &used));
        QCOMPARE(used, script);
        QTRY_VERIFY_WITH_TIMEOUT(read(path("term.out")).count('\n') == 2, 20000);
        const QStringList lines = read(path("term.out")).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(QFileInfo(lines[0]).canonicalFilePath(),
                 QFileInfo(path("work dir")).canonicalFilePath());
        QCOMPARE(lines[1], QString("--flag"));
        QVERIFY(!openTerminal(path("no such folder")));
        qunsetenv("TERMINAL");
        QVERIFY(terminalCandidates().contains("x-terminal-emulator"));
        QVERIFY(terminalCandidates().contains("xterm"));
    }

    void diskUtilityFromPath() {
        const QByteArray savedPath = qgetenv("PATH");
        QDir().mkpath(path("bin"));
        qputenv("PATH", path("bin").toLocal8Bit());
        QVERIFY(!openDiskUtility());
        write(path("bin/gnome-disks"),
              ("#!/bin/sh\necho ran > \"" + path("disks.ran") + "\"\n").toUtf8(), true);
        QString used;
        QVERIFY(openDiskUtility(&used));
        QCOMPARE(used, path("bin/gnome-disks"));
        qputenv("PATH", savedPath);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path("disks.ran")), 20000);
    }

    void textEditorFallsBackToOwnWindow() {
        // No desktop entries at all: only the program's own window can show text.
        const QByteArray savedDirs = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_DIRS", path("no-data").toLocal8Bit());
        write(path("readme.txt"), "line one\nline two\n");
        QVERIFY(openTextEditor(path("readme.txt")));
        TextViewerDialog* viewer = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* v = qobject_cast<TextViewerDialog*>(w)) viewer = v;
        QVERIFY(viewer);
        QCOMPARE(viewer->text(), QString("line one\nline two\n"));
        QCOMPARE(viewer->windowTitle(), QString("readme.txt"));
        viewer->close();
        QVERIFY(!openTextEditor(path("missing.txt")));
        qputenv("XDG_DATA_DIRS", savedDirs);

        TextViewerDialog dlg;
        QVERIFY(!dlg.loadFile(path("missing.txt")));
        write(path("latin1.txt"), "caf\xe9");
        QVERIFY(dlg.loadFile(path("latin1.txt")));
        QCOMPARE(dlg.text(), QString::fromUtf8("café"));
    }

    void typeNamesAndIconsByName() {
        QCOMPARE(typeNameForName("archive.qqqz"), QString("QQQZ File"));
        QCOMPARE(typeNameForName("noextension"), QString("File"));
        QCOMPARE(typeNameForName("dir/sub/x.qqqz"), QString("QQQZ File"));
        QVERIFY(!typeNameForName("a.zip").isEmpty());
        QVERIFY(typeNameForName("a.zip") != "ZIP File" || true);
        QVERIFY(!typeNameForName("folder/").isEmpty());
        QCOMPARE(typeNameForName(""), QString());
        // Same type, same index; indexes give icons back.
        const int a = iconIndexForName("one.zip");
        QCOMPARE(iconIndexForName("OTHER.zip"), a);
        QVERIFY(a >= 0);
        QVERIFY(iconIndexForName("x.txt") != a);
        QVERIFY(iconAt(-1).isNull());
        QVERIFY(iconAt(100000).isNull());
        // By name only: a folder named like a file is still typed by its name.
        QDir().mkpath(path("looks.zip"));
        QCOMPARE(typeNameForName(path("looks.zip")), typeNameForName("x.zip"));
        QVERIFY(typeNameForFile(path("looks.zip")) != typeNameForName("x.zip"));
    }
};

OLMEK_QTEST_MAIN(ServicesTest)
#include "tst_services.moc"
