// TIniOut: item parsing, value text forms of every property kind, load and
// save through the settings store, single values.
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QCursor>
#include <QLineEdit>
#include <QMainWindow>
#include <QSettings>
#include <QWidget>

#include "tests/desktop/QtTestEnv.h"
#include "app/IniOut.h"
#include "app/Settings.h"
#include "desktop/Settings.h"

class Probe : public QWidget {
    Q_OBJECT
public:
    enum Kind { kFirst, kSecond, kThird };
    Q_ENUM(Kind)
    enum Option { optA = 1, optB = 2, optC = 4 };
    Q_DECLARE_FLAGS(Options, Option)
    Q_FLAG(Options)

    Q_PROPERTY(QString Name MEMBER Name)
    Q_PROPERTY(int Count MEMBER Count)
    Q_PROPERTY(QChar Letter MEMBER Letter)
    Q_PROPERTY(bool Flag MEMBER Flag)
    Q_PROPERTY(Kind Choice MEMBER Choice)
    Q_PROPERTY(double Ratio MEMBER Ratio)
    Q_PROPERTY(Options Opts READ opts WRITE setOpts)
    Q_PROPERTY(QObject* Buddy MEMBER Buddy)
    Q_PROPERTY(QStringList Lines MEMBER Lines)
    Q_PROPERTY(QColor Paint MEMBER Paint)
    Q_PROPERTY(QCursor Pointer MEMBER Pointer)

    QString Name;
    int Count = 0;
    QChar Letter;
    bool Flag = false;
    Kind Choice = kFirst;
    double Ratio = 0;
    Options Opts;
    Options opts() const { return Opts; }
    void setOpts(Options o) { Opts = o; }
    QObject* Buddy = nullptr;
    QStringList Lines;
    QColor Paint;
    QCursor Pointer;
};
Q_DECLARE_OPERATORS_FOR_FLAGS(Probe::Options)

namespace {
const QString kKey = "\\Software\\Fenwood\\OLMEK95\\Test";

QString item(const QString& comp, const QString& prop, const QString& def, const QString& value,
             const QString& loadOnly = "0") {
    return QString("%1;%2;%3;%4;%5;1;%6").arg(comp, prop, def, kKey, value, loadOnly);
}
} // namespace

class TestIniOut : public QObject {
    Q_OBJECT
private slots:
    void textFormsOfEveryKind();
    void roundTripEveryKind();
    void defaultsWhenNothingStored();
    void booleanTextsOnLoad();
    void setLoadIncludesEveryNamedMember();
    void enumOutOfRangeSavesFirstIdentifier();
    void loadOnlyItemIsNeverSaved();
    void skippedItems();
    void unconvertibleTextFallsBackToDefault();
    void storedPropertyNamesOfWidgets();
    void comboHistoryLoadsAsEntries();
    void windowStateRestoresMaximised();
    void singleValues();
    void fileNameBecomesIni();
    void otherRootsAreNotStored();
};

void TestIniOut::textFormsOfEveryKind() {
    QWidget form;
    form.setObjectName("frmTest");
    auto* p = new Probe;
    p->setParent(&form);
    p->setObjectName("Probe1");
    auto* other = new QWidget(&form);
    other->setObjectName("Other1");
    p->Name = "hello world";
    p->Count = -42;
    p->Letter = 'Z';
    p->Flag = true;
    p->Choice = Probe::kThird;
    p->Ratio = 2.5;
    p->Opts = Probe::optA | Probe::optC;
    p->Buddy = other;
    p->Lines = {"one", "two", "three"};
    p->Paint = QColor(255, 0, 0);
    p->Pointer = QCursor(Qt::WaitCursor);
    const QList<QPair<QString, QString>> expected = {
        {"Name", "hello world"}, {"Count", "-42"},          {"Letter", "Z"},
        {"Flag", "1"},           {"Choice", "kThird"},      {"Ratio", "2.5"},
        {"Opts", "[optA,optC]"}, {"Buddy", "Other1"},       {"Lines", "one|two|three"},
        {"Paint", "clRed"},      {"Pointer", "crHourGlass"}};
    for (const auto& [prop, text] : expected) {
        QString got;
        QVERIFY2(TIniOut::propertyText(p, prop, &form, got), qPrintable(prop));
        QCOMPARE(got, text);
    }
    p->Paint = QColor(0x12, 0x34, 0x56);
    QString got;
    QVERIFY(TIniOut::propertyText(p, "Paint", &form, got));
    QCOMPARE(got, QString::number(0x563412)); // 0x00BBGGRR
    p->Opts = {};
    QVERIFY(TIniOut::propertyText(p, "Opts", &form, got));
    QCOMPARE(got, QString("[]"));
}

void TestIniOut::roundTripEveryKind() {
    QWidget form;
    form.setObjectName("frmTest");
    auto* p = new Probe;
    p->setParent(&form);
    p->setObjectName("Probe1");
    auto* other = new QWidget(&form);
    other->setObjectName("Other1");
    TIniOut ini(&form);
    for (const char* prop : {"Name", "Count", "Letter", "Flag", "Choice", "Ratio", "Opts", "Buddy",
                             "Lines", "Paint", "Pointer"})
        ini.Items << item("Probe1", prop, "", QString("v") + prop);
    p->Name = "a;b=c|d";
    p->Count = 123456;
    p->Letter = 'q';
    p->Flag = true;
    p->Choice = Probe::kSecond;
    p->Ratio = 0.125;
    p->Opts = Probe::optB | Probe::optC;
    p->Buddy = other;
    p->Lines = {"C:\\", "D:\\out\\a.zip"};
    p->Paint = QColor(1, 2, 3);
    p->Pointer = QCursor(Qt::PointingHandCursor);
    ini.Save();

    // The store holds plain strings.
    QCOMPARE(app::readValue(kKey, "vFlag", "?"), QString("1"));
    QCOMPARE(app::readValue(kKey, "vLines", "?"), QString("C:\\|D:\\out\\a.zip"));
    QCOMPARE(app::readValue(kKey, "vChoice", "?"), QString("kSecond"));

    QWidget form2;
    form2.setObjectName("frmTest");
    auto& fresh = *new Probe;
    fresh.setParent(&form2);
    fresh.setObjectName("Probe1");
    auto* other2 = new QWidget(&form2);
    other2->setObjectName("Other1");
    TIniOut ini2(&form2);
    ini2.Items = ini.Items;
    ini2.Load();
    QVERIFY2(ini2.LoadErrors.isEmpty(), qPrintable(ini2.LoadErrors.join("; ")));
    QCOMPARE(fresh.Name, p->Name);
    QCOMPARE(fresh.Count, p->Count);
    QCOMPARE(fresh.Letter, p->Letter);
    QCOMPARE(fresh.Flag, true);
    QCOMPARE(fresh.Choice, Probe::kSecond);
    QCOMPARE(fresh.Ratio, 0.125);
    QCOMPARE(fresh.Opts, p->Opts);
    QCOMPARE(fresh.Buddy, other2);
    QCOMPARE(fresh.Lines, p->Lines);
    QCOMPARE(fresh.Paint, QColor(1, 2, 3));
    QCOMPARE(fresh.Pointer.shape(), Qt::PointingHandCursor);
}

void TestIniOut::defaultsWhenNothingStored() {
    QWidget form;
    auto* p = new Probe;
    p->setParent(&form);
    p->setObjectName("Probe1");
    TIniOut ini(&form);
    ini.Items << item("Probe1", "Count", "476", "NoSuchValue1")
              << item("Probe1", "Choice", "kThird", "NoSuchValue2")
              << item("Probe1", "Lines", "a|b", "NoSuchValue3");
    ini.Load();
    QCOMPARE(p->Count, 476);
    QCOMPARE(p->Choice, Probe::kThird);
    QCOMPARE(p->Lines, QStringList({"a", "b"}));
}

void TestIniOut::booleanTextsOnLoad() {
    QWidget form;
    auto* p = new Probe;
    p->setParent(&form);
    p->setObjectName("Probe1");
    TIniOut ini(&form);
    ini.Items << item("Probe1", "Flag", "0", "BoolValue");
    const QList<QPair<QString, bool>> cases = {{"1", true},      {"True", true}, {"yes", true},
                                               {"Y", true},      {"t", true},    {"0", false},
                                               {"False", false}, {"", false},    {"no", false}};
    for (const auto& [text, want] : cases) {
        app::writeValue(kKey, "BoolValue", text);
        p->Flag = !want;
        ini.Load();
        QVERIFY2(p->Flag == want, qPrintable(text));
    }
    // A default "True" loads as true.
    TIniOut ini2(&form);
    ini2.Items << item("Probe1", "Flag", "True", "BoolAbsent");
    p->Flag = false;
    ini2.Load();
    QVERIFY(p->Flag);
}

void TestIniOut::setLoadIncludesEveryNamedMember() {
    QWidget form;
    auto* p = new Probe;
    p->setParent(&form);
    p->setObjectName("Probe1");
    TIniOut ini(&form);
    ini.Items << item("Probe1", "Opts", "", "SetValue");
    app::writeValue(kKey, "SetValue", "optC optA, junk");
    ini.Load();
    QCOMPARE(p->Opts, Probe::Options(Probe::optA | Probe::optC));
}

void TestIniOut::enumOutOfRangeSavesFirstIdentifier() {
    QWidget form;
    auto* p = new Probe;
    p->setParent(&form);
    p->setObjectName("Probe1");
    p->Choice = static_cast<Probe::Kind>(17);
    QString text;
    QVERIFY(TIniOut::propertyText(p, "Choice", &form, text));
    QCOMPARE(text, QString("kFirst"));
}

void TestIniOut::loadOnlyItemIsNeverSaved() {
    QWidget form;
    auto* p = new Probe;
    p->setParent(&form);
    p->setObjectName("Probe1");
    TIniOut ini(&form);
    ini.Items << item("Probe1", "Name", "preset", "LoadOnlyName", "1");
    ini.Load();
    QCOMPARE(p->Name, QString("preset"));
    p->Name = "changed";
    ini.Save();
    QVERIFY(!app::valueExists(kKey, "LoadOnlyName"));
}

void TestIniOut::skippedItems() {
    QWidget form;
    auto* p = new Probe;
    p->setParent(&form);
    p->setObjectName("Probe1");
    p->Count = 5;
    TIniOut ini(&form);
    ini.Items << " ; ;x; ; " << item("Missing1", "Count", "9", "Skip1")
              << item("Probe1", "NoSuchProperty", "9", "Skip2") << ""
              << item("Probe1", "Count", "7", "Kept");
    ini.Load();
    QCOMPARE(p->Count, 7);
    ini.Save();
    QVERIFY(!app::valueExists(kKey, "Skip1"));
    QVERIFY(!app::valueExists(kKey, "Skip2"));
    QCOMPARE(app::readValue(kKey, "Kept", ""), QString("7"));
}

void TestIniOut::unconvertibleTextFallsBackToDefault() {
    QWidget form;
    auto* p = new Probe;
    p->setParent(&form);
    p->setObjectName("Probe1");
    TIniOut ini(&form);
    ini.Items << item("Probe1", "Count", "11", "BadCount")
              << item("Probe1", "Choice", "kSecond", "BadChoice");
    app::writeValue(kKey, "BadCount", "twelve");
    ini.Items << item("frmTest", "Height", "300", "HugeHeight")
              << item("frmTest", "Left", "5", "FarLeft");
    form.setObjectName("frmTest");
    app::writeValue(kKey, "HugeHeight", "99999999");
    app::writeValue(kKey, "FarLeft", "-99999999");
    app::writeValue(kKey, "BadChoice", "kNothing");
    ini.Load();
    QCOMPARE(p->Count, 11);
    QCOMPARE(p->Choice, Probe::kSecond);
    QCOMPARE(ini.LoadErrors.size(), 4);
    QCOMPARE(form.height(), 300);
    QCOMPARE(form.x(), 5);
}

void TestIniOut::storedPropertyNamesOfWidgets() {
    QWidget form;
    form.setObjectName("frmTest");
    auto* edit = new QLineEdit(&form);
    edit->setObjectName("txtMask");
    auto* check = new QCheckBox(&form);
    check->setObjectName("chkConfirmDelete");
    auto* combo = new QComboBox(&form);
    combo->setObjectName("cmbFile");
    combo->setEditable(true);
    TIniOut ini(&form);
    ini.Items << item("txtMask", "Text", "*.*", "Mask")
              << item("chkConfirmDelete", "Checked", "True", "Confirm")
              << item("cmbFile", "Items", "C:\\", "History")
              << item("frmTest", "Height", "300", "H") << item("frmTest", "Width", "400", "W")
              << item("frmTest", "Left", "1", "L") << item("frmTest", "Top", "2", "T");
    ini.Load();
    QCOMPARE(edit->text(), QString("*.*"));
    QVERIFY(check->isChecked());
    QCOMPARE(combo->count(), 1);
    QCOMPARE(form.height(), 300);
    QCOMPARE(form.width(), 400);
    QCOMPARE(form.x(), 1);
    QCOMPARE(form.y(), 2);
    edit->setText("*.ZIP");
    check->setChecked(false);
    combo->addItem("D:\\out\\a.zip");
    form.resize(500, 333);
    ini.Save();
    QCOMPARE(app::readValue(kKey, "Mask", ""), QString("*.ZIP"));
    QCOMPARE(app::readValue(kKey, "Confirm", ""), QString("0"));
    QCOMPARE(app::readValue(kKey, "History", ""), QString("C:\\|D:\\out\\a.zip"));
    QCOMPARE(app::readValue(kKey, "H", ""), QString("333"));
    QCOMPARE(app::readValue(kKey, "W", ""), QString("500"));
}

void TestIniOut::comboHistoryLoadsAsEntries() {
    QWidget form;
    auto* combo = new QComboBox(&form);
    combo->setObjectName("cmbFile");
    combo->setEditable(true);
    app::writeValue("\\Software\\Fenwood\\OLMEK95\\CompressDialog", "Path", "C:\\|D:\\out\\a.zip");
    TIniOut ini(&form);
    ini.Items << "cmbFile;Items;C:\\;\\Software\\Fenwood\\OLMEK95\\CompressDialog;Path;1;0";
    ini.Load();
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), QString("C:\\"));
    QCOMPARE(combo->itemText(1), QString("D:\\out\\a.zip"));
}

void TestIniOut::windowStateRestoresMaximised() {
    QMainWindow w;
    w.setObjectName("frmMain");
    TIniOut ini(&w);
    ini.Items << item("frmMain", "WindowState", "wsNormal", "State");
    app::writeValue(kKey, "State", "wsMaximized");
    ini.Load();
    QVERIFY(w.windowState() & Qt::WindowMaximized);
    w.setWindowState(Qt::WindowMinimized);
    ini.Save();
    QCOMPARE(app::readValue(kKey, "State", ""), QString("wsMinimized"));
    w.setWindowState(Qt::WindowNoState);
    ini.Save();
    QCOMPARE(app::readValue(kKey, "State", ""), QString("wsNormal"));
}

void TestIniOut::singleValues() {
    QWidget form;
    TIniOut ini(&form);
    QCOMPARE(ini.ReadValue("\\Software\\Fenwood\\OLMEK95\\Main", "SPathMask", "*.*"),
             QString("*.*"));
    ini.WriteValue("\\Software\\Fenwood\\OLMEK95\\Main", "SPathMask", "*.TXT");
    QCOMPARE(ini.ReadValue("\\Software\\Fenwood\\OLMEK95\\Main", "SPathMask", "*.*"),
             QString("*.TXT"));
    // Nested keys become nested groups of the settings file.
    ini.WriteValue("\\Software\\Fenwood\\OLMEK95\\Configure\\General", "ConfirmWhenDeleting", "0");
    desk::Settings s;
    QCOMPARE(s.qsettings().value("Configure/General/ConfirmWhenDeleting").toString(), QString("0"));
    QCOMPARE(s.qsettings().value("Main/SPathMask").toString(), QString("*.TXT"));
}

void TestIniOut::fileNameBecomesIni() {
    QWidget form;
    TIniOut ini(&form);
    ini.SetFileName("olmek.cfg");
    QCOMPARE(ini.FileName(), QString("OLMEK.INI"));
    ini.SetFileName("settings");
    QCOMPARE(ini.FileName(), QString("SETTINGS.INI"));
}

void TestIniOut::otherRootsAreNotStored() {
    QWidget form;
    auto* p = new Probe;
    p->setParent(&form);
    p->setObjectName("Probe1");
    TIniOut ini(&form);
    ini.RegistryRoot = LOCAL_MACHINE;
    ini.Items << item("Probe1", "Count", "3", "MachineCount");
    app::writeValue(kKey, "MachineCount", "99");
    ini.Load();
    QCOMPARE(p->Count, 3);
    p->Count = 8;
    ini.Save();
    QCOMPARE(app::readValue(kKey, "MachineCount", ""), QString("99"));
}

OLMEK_QTEST_MAIN(TestIniOut)
#include "tst_iniout.moc"
