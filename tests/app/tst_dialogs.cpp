// The file-mask and configuration dialogs, the progress and password
// windows, and the texts of the component error messages.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "app/Dialogs.h"
#include "app/ErrorText.h"
#include "app/FrmConfigure.h"
#include "app/FrmMask.h"
#include "app/Settings.h"
#include "archive/core/Errors.h"
#include "tests/desktop/QtTestEnv.h"

namespace {
const QString kGeneral = "\\Software\\Fenwood\\OLMEK95\\Configure\\General";

// Runs action on the dialog once it is shown modally.
void whenShown(QDialog* d, std::function<void()> action) {
    QTimer::singleShot(0, d, [d, action] {
        QTRY_VERIFY(d->isVisible());
        action();
    });
}
} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void maskDialogLayout();
    void maskStartsFromStoredMask();
    void maskOkTurnsEmptyIntoAll();
    void maskCancelKeepsNothing();
    void configureLoadsOnEveryShow();
    void configureOkSavesCancelDiscards();
    void configureShowsFalseAsUnchecked();
    void progressCancelFlag();
    void passwordPrompt();
    void splashLines();
    void errorTexts();
};

void TestDialogs::maskDialogLayout() {
    TfrmMask dlg;
    QCOMPARE(dlg.windowTitle(), QString("File Mask"));
    QCOMPARE(dlg.size(), QSize(358, 81));
    QVERIFY(dlg.findChild<QLineEdit*>("txtSourcePathMask"));
    auto* ok = dlg.findChild<QPushButton*>("cmdOk");
    QVERIFY(ok && ok->isDefault());
    QCOMPARE(ok->text(), QString("Ok"));
    QCOMPARE(dlg.findChild<QPushButton*>("cmdCancel")->text(), QString("Cancel"));
    bool found = false;
    for (QLabel* l : dlg.findChildren<QLabel*>()) found |= l->text() == "Enter a file mask:";
    QVERIFY(found);
}

void TestDialogs::maskStartsFromStoredMask() {
    {
        TfrmMask dlg;
        QCOMPARE(dlg.txtSourcePathMask()->text(), QString("*.*"));
    }
    app::writeValue("\\Software\\Fenwood\\OLMEK95\\Main", "SPathMask", "*.ZIP");
    TfrmMask dlg;
    QCOMPARE(dlg.txtSourcePathMask()->text(), QString("*.ZIP"));
    app::writeValue("\\Software\\Fenwood\\OLMEK95\\Main", "SPathMask", "*.*");
}

void TestDialogs::maskOkTurnsEmptyIntoAll() {
    TfrmMask dlg;
    whenShown(&dlg, [&] {
        QVERIFY(dlg.txtSourcePathMask()->hasFocus() || !dlg.isActiveWindow());
        dlg.txtSourcePathMask()->clear();
        dlg.findChild<QPushButton*>("cmdOk")->click();
    });
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QCOMPARE(dlg.txtSourcePathMask()->text(), QString("*.*"));
    // The mask is not stored.
    QVERIFY(!app::valueExists("\\Software\\Fenwood\\OLMEK95\\Main", "SPathMask") ||
            app::readValue("\\Software\\Fenwood\\OLMEK95\\Main", "SPathMask", "") == "*.*");
}

void TestDialogs::maskCancelKeepsNothing() {
    TfrmMask dlg;
    whenShown(&dlg, [&] {
        dlg.txtSourcePathMask()->setText("*.TXT");
        dlg.findChild<QPushButton*>("cmdCancel")->click();
    });
    QCOMPARE(dlg.exec(), int(QDialog::Rejected));
    // The edit keeps the last text for the next use.
    QCOMPARE(dlg.txtSourcePathMask()->text(), QString("*.TXT"));
}

void TestDialogs::configureLoadsOnEveryShow() {
    TfrmConfigure dlg;
    QCOMPARE(dlg.windowTitle(), QString("Configure"));
    QCOMPARE(dlg.size(), QSize(467, 363));
    auto* tabs = dlg.findChild<QTabWidget*>();
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 1);
    QCOMPARE(tabs->tabText(0), QString("General"));
    QCOMPARE(dlg.chkConfirmDelete()->text(), QString("Confirm when deleting files / directories"));
    QCOMPARE(dlg.chkConfirmMove()->text(),
             QString("Confirm to overwrite when moving files / directories"));
    app::writeValue(kGeneral, "ConfirmWhenDeleting", "0");
    app::writeValue(kGeneral, "ConfirmWhenMoving", "1");
    dlg.chkConfirmDelete()->setChecked(true);
    dlg.show();
    QVERIFY(!dlg.chkConfirmDelete()->isChecked());
    QVERIFY(dlg.chkConfirmMove()->isChecked());
    dlg.hide();
}

void TestDialogs::configureOkSavesCancelDiscards() {
    app::writeValue(kGeneral, "ConfirmWhenDeleting", "1");
    app::writeValue(kGeneral, "ConfirmWhenMoving", "1");
    TfrmConfigure dlg;
    whenShown(&dlg, [&] {
        dlg.chkConfirmMove()->setChecked(false);
        dlg.findChild<QPushButton*>("cmdCancel")->click();
    });
    QCOMPARE(dlg.exec(), int(QDialog::Rejected));
    QCOMPARE(app::readValue(kGeneral, "ConfirmWhenMoving", ""), QString("1"));
    whenShown(&dlg, [&] {
        QVERIFY(dlg.chkConfirmMove()->isChecked()); // loaded again
        dlg.chkConfirmMove()->setChecked(false);
        dlg.findChild<QPushButton*>("cmdOk")->click();
    });
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QCOMPARE(app::readValue(kGeneral, "ConfirmWhenMoving", ""), QString("0"));
    QCOMPARE(app::readValue(kGeneral, "ConfirmWhenDeleting", ""), QString("1"));
}

void TestDialogs::configureShowsFalseAsUnchecked() {
    app::writeValue(kGeneral, "ConfirmWhenDeleting", "False");
    TfrmConfigure dlg;
    dlg.show();
    QVERIFY(!dlg.chkConfirmDelete()->isChecked());
    dlg.hide();
}

void TestDialogs::progressCancelFlag() {
    TfrmProgress p;
    QCOMPARE(p.windowTitle(), QString("Please Wait..."));
    QCOMPARE(p.size(), QSize(382, 165));
    p.show();
    QVERIFY(!p.CancelFlag);
    p.findChild<QPushButton*>("cmdCancel")->click();
    QVERIFY(p.CancelFlag);
    p.hide();
    p.show(); // showing again starts without a cancel
    QVERIFY(!p.CancelFlag);
    p.hide();

    TfrmProgress2 p2;
    QCOMPARE(p2.windowTitle(), QString("Please Wait..."));
    p2.show();
    QVERIFY(!p2.CancelFlag);
    p2.findChild<QPushButton*>("cmdCancel")->click(); // a Cancel that cancels
    QVERIFY(p2.CancelFlag);
    p2.hide();
    p2.show();
    QVERIFY(!p2.CancelFlag);
    p2.hide();

    // The upper line is the method's verb and the member's name, never its
    // folder; the bars go back to 0 at 100.
    QCOMPARE(TfrmProgress2::MethodVerb(8), QString("Inflating  "));
    QCOMPARE(TfrmProgress2::MethodVerb(0), QString("UnStoring  "));
    QCOMPARE(TfrmProgress2::MethodVerb(4), QString("UnReducing  "));
    QCOMPARE(TfrmProgress2::MethodVerb(10), QString("DCL Exploding  "));
    QCOMPARE(TfrmProgress2::MethodVerb(99), QString("Extracting  "));
    p2.ItemProgress(TfrmProgress2::MethodVerb(8), "/tmp/target/docs/readme.txt", 40);
    QCOMPARE(p2.lblUpper()->text(), QString("Inflating  readme.txt   "));
    QCOMPARE(p2.ProgressBar1()->value(), 40);
    p2.ItemProgress(TfrmProgress2::MethodVerb(8), "readme.txt", 100);
    QCOMPARE(p2.ProgressBar1()->value(), 0);
    p2.SetArchive("/tmp/a.zip");
    p2.ArchiveProgress(70);
    QCOMPARE(p2.lblLower()->text(), QString("/tmp/a.zip"));
    QCOMPARE(p2.ProgressBar2()->value(), 70);
    p2.ArchiveProgress(100);
    QCOMPARE(p2.ProgressBar2()->value(), 0);
}

void TestDialogs::passwordPrompt() {
    TfrmPassword p;
    QCOMPARE(p.txtPassword()->echoMode(), QLineEdit::Password);
    bool found = false;
    for (QLabel* l : p.findChildren<QLabel*>()) found |= l->text() == "Enter a Password:";
    QVERIFY(found);
    whenShown(&p, [&] {
        p.txtPassword()->setText("secret");
        p.findChild<QPushButton*>("cmdOk")->click();
    });
    QCOMPARE(p.exec(), int(QDialog::Accepted));
    QCOMPARE(p.txtPassword()->text(), QString("secret")); // kept for the next prompt
}

void TestDialogs::splashLines() {
    TfrmSplash s;
    QCOMPARE(s.size(), QSize(312, 330));
    QCOMPARE(s.lblTitle()->text(), QString("OLMEK 95 beta 5"));
    QVERIFY(s.lblWindow()->text().isEmpty());
    QStringList texts;
    for (QLabel* l : s.findChildren<QLabel*>()) texts << l->text();
    QVERIFY(texts.contains("Built-In Zip and LHA Compression"));
    QVERIFY(texts.contains("Built-in Decompression Zip, GZip, Arc, Arj, Lha, Tar, Zoo, Cab"));
    QVERIFY(texts.contains("Built-In Internet UUEncode, XXEncode, Base64Encode"));
    s.setStatus("Reading /tmp");
    QCOMPARE(s.lblWindow()->text(), QString("Reading /tmp"));
}

void TestDialogs::errorTexts() {
    QCOMPARE(app::componentErrorText("a.zip", "0", 25118),
             QString("a.zip\r\rError#: 25118\r\rError: ") +
                 QString::fromStdString(ErrorMessage(25118)) + "\r\rOnError event...");
    QCOMPARE(app::componentErrorText("d2.cab", "7", 25902),
             QString("Message#: 25902\r\rMessage: ") + QString::fromStdString(ErrorMessage(25902)) +
                 "\r\rInsert disk containing file: d2.cab\r\rVolume ID:7\r\rOnError event...");
    QCOMPARE(app::componentErrorText("x", "0", 25904),
             QString::fromStdString(ErrorMessage(25904)) + "\r\rOnError event...");
    QCOMPARE(app::componentErrorText("b.bh", "0", 26517),
             QString("b.bh\r\rGeneral Message: 26517\r\rMessge: ") +
                 QString::fromStdString(ErrorMessage(26517)) + "\r\rOnError event...");
    // Codes outside the ranges show nothing.
    QVERIFY(app::componentErrorText("x", "0", 26900).isEmpty());
    QVERIFY(app::componentErrorText("x", "0", 25351).isEmpty());
    QVERIFY(app::componentErrorText("x", "0", 26999).isEmpty());
    QVERIFY(!app::componentErrorText("x", "0", 25350).isEmpty());
}

OLMEK_QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
