// The archive viewer: its columns and totals for archives made by the peer
// tools, the numbered temporary folders of View, opening members with
// their application or the text editor, the mask box, Decompress through
// the copy/move dialog, Cancel, and the messages of what it cannot do.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>

#include "app/Dialogs.h"
#include "app/Forms.h"
#include "app/FrmChild.h"
#include "app/FrmMain.h"
#include "app/FrmTo.h"
#include "app/FrmView.h"
#include "app/Settings.h"
#include "app/ZipEdit.h"
#include "archive/core/Crc.h"
#include "archive/list/ArcLister.h"
#include "desktop/FileInfo.h"
#include "desktop/FolderPicker.h"
#include "desktop/MessageBox.h"
#include "desktop/Registration.h"
#include "shellctl/CheckList.h"
#include "shellctl/FolderEnumerator.h"
#include "tests/app/AppTestSupport.h"
#include "tests/desktop/QtTestEnv.h"

using namespace apptest;

namespace {

QString crcText(const QByteArray& data) {
    return QString::asprintf("%08X", crc32Of(data.constData(), std::size_t(data.size())));
}

QTreeWidgetItem* row(TfrmView& v, const QString& caption) {
    for (int i = 0; i < v.ListView1->topLevelItemCount(); ++i)
        if (v.ListView1->topLevelItem(i)->text(0) == caption) return v.ListView1->topLevelItem(i);
    return nullptr;
}

QStringList captions(TfrmView& v) {
    QStringList out;
    for (int i = 0; i < v.ListView1->topLevelItemCount(); ++i)
        out << v.ListView1->topLevelItem(i)->text(0);
    return out;
}

void select(TfrmView& v, const QStringList& names) {
    v.ListView1->clearSelection();
    for (const QString& n : names)
        if (QTreeWidgetItem* it = row(v, n)) it->setSelected(true);
}

const QDateTime kReadmeTime(QDate(2021, 3, 4), QTime(13, 45, 10));

} // namespace

class TestViewer : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void toolBarAndPopup();
    void zipColumnsAndTotals();
    void otherFamiliesColumns_data();
    void otherFamiliesColumns();
    void selectionCheck();
    void viewUsesNumberedFoldersAndRemovesThem();
    void viewWaitsForEachApplication();
    void notAssociatedOffersTheTextEditor();
    void viewAsTextStartsTheTextEditor();
    void aMemberTheProgramOpensItselfShowsInAViewer();
    void maskBoxRelistsAndIsKept();
    void decompressExtractsTheCheckedEntries();
    void cancelStopsTheExtraction();
    void folderWindowDecompressCancels();
    void folderWindowDecompressAsksForThePassword();
    void typesWithoutExtraction();
    void deleteRemovesTheSelectedMembers();
    void addStoresTheChosenFile();

private:
    // docs/readme.txt (5000 bytes, a fixed time), top.txt with a comment,
    // secret.txt encrypted, and an archive comment.
    QString makeZip();
    QString folder(const QString& name) const { return tmp_.path() + "/" + name; }
    QTemporaryDir tmp_;
    desk::ScriptedMessageService boxes_;
    QByteArray readme_ = textBytes(5000);
};

void TestViewer::init() {
    app::clearSettings();
    TfrmMain::RegisterFileTypesAtStart = false;
    boxes_.records.clear();
    boxes_.answers.clear();
    boxes_.defaultAnswer = desk::mrNone;
    desk::setMessageService(&boxes_);
    removeApplications();
}

void TestViewer::cleanup() {
    desk::setMessageService(nullptr);
    desk::setFolderPicker({});
    forms::destroyAll();
}

QString TestViewer::makeZip() {
    const QString dir = folder("zipsrc");
    const QString zip = dir + "/sample.zip";
    if (QFile::exists(zip)) return zip;
    writeFile(dir + "/docs/readme.txt", readme_);
    setModified(dir + "/docs/readme.txt", kReadmeTime);
    writeFile(dir + "/top.txt", "short");
    writeFile(dir + "/secret.txt", "hidden words");
    if (runTool("zip", {"-q", "-X", "sample.zip", "docs/readme.txt", "top.txt"}, dir) != 0)
        return {};
    runTool("zip", {"-q", "-X", "-P", "pw", "sample.zip", "secret.txt"}, dir);
    runTool("zip", {"-q", "-c", "sample.zip", "top.txt"}, dir, "a note\n");
    runTool("zip", {"-q", "-z", "sample.zip"}, dir, "the archive comment\n.\n");
    return zip;
}

void TestViewer::toolBarAndPopup() {
    TfrmView v;
    QStringList names, texts;
    for (QToolButton* b :
         {v.cmdDecompress, v.cmdDelete, v.cmdView, v.cmdViewAsText, v.cmdAdd, v.cmdExit}) {
        names << b->objectName();
        texts << b->text();
        QVERIFY(!b->icon().isNull());
        QCOMPARE(b->height(), 40);
        QVERIFY(b->width() >= 68);
    }
    QCOMPARE(texts, QStringList({"Decompress", "Delete", "View", "View as Text", "Add", "Exit"}));
    QStringList items;
    for (QAction* a : v.PopupMenu1->actions())
        items << (a->isSeparator() ? "-" : a->text() + "|" + a->shortcut().toString());
    QCOMPARE(items, QStringList({"&Decompress|F4", "-", "De&lete|", "-", "&View|F12",
                                 "View as &Text|", "-", "&Add|", "-", "Cancel|"}));
    QStringList headers;
    for (int i = 0; i < v.ListView1->columnCount(); ++i)
        headers << v.ListView1->headerItem()->text(i);
    QCOMPARE(headers, QStringList({"FileName", "Date", "Time", "Packed", "Unpacked", "Ratio",
                                   "Method", "Attr", "Folder", "File Type", "CRC", "Offset",
                                   "Encrypted", "File Comment"}));
    QStringList totals;
    for (int i = 0; i < v.ListView2->columnCount(); ++i)
        totals << v.ListView2->headerItem()->text(i);
    QCOMPARE(totals, QStringList({"", "Files", "Packed", "Unpacked", "Ratio"}));
    QCOMPARE(v.txtMask->text(), QString("*.*"));
    // Exit closes the window.
    v.show();
    v.cmdExit->click();
    QVERIFY(!v.isVisible());
}

void TestViewer::zipColumnsAndTotals() {
    const QString zip = makeZip();
    if (zip.isEmpty()) QSKIP("zip is not installed");
    TfrmView v;
    QVERIFY(v.OpenArchive(zip));
    QCOMPARE(v.windowTitle(), zip);
    QCOMPARE(captions(v), QStringList({"readme.txt", "top.txt", "secret.txt"}));
    QTreeWidgetItem* r = row(v, "readme.txt");
    QCOMPARE(r->text(1), QString("03-04-21"));
    QCOMPARE(r->text(2), QString("13:45"));
    QCOMPARE(r->text(4), QString("5000"));
    const int packed = r->text(3).toInt();
    QVERIFY(packed > 0 && packed < 5000);
    QCOMPARE(r->text(5), QString::number(CalcRatio(packed, 5000)) + "%");
    QCOMPARE(r->text(6), QString("DeflateN"));
    QVERIFY(r->text(7).toLongLong() > 0);
    QCOMPARE(r->text(8), QString("docs/"));
    QCOMPARE(r->text(9), desk::typeNameForName("docs/readme.txt"));
    QCOMPARE(r->text(10), crcText(readme_));
    QCOMPARE(r->text(11), QString("0"));
    QCOMPARE(r->text(12), QString("No"));
    QVERIFY(!r->icon(0).isNull());
    QCOMPARE(r->textAlignment(3) & Qt::AlignRight, int(Qt::AlignRight));

    QTreeWidgetItem* top = row(v, "top.txt");
    QCOMPARE(top->text(8), QString());
    QCOMPARE(top->text(13), QString("a note"));
    QCOMPARE(top->text(10), crcText("short"));
    QVERIFY(top->text(11).toLongLong() > 0);
    QCOMPARE(row(v, "secret.txt")->text(12), QString("Yes"));

    QCOMPARE(v.ListView2->topLevelItemCount(), 1);
    QTreeWidgetItem* t = v.ListView2->topLevelItem(0);
    QCOMPARE(t->text(0), QString());
    QCOMPARE(t->text(1), QString("3"));
    qint64 sumPacked = 0;
    for (const QString& n : captions(v)) sumPacked += row(v, n)->text(3).toLongLong();
    QCOMPARE(t->text(2), QString::number(sumPacked));
    QCOMPARE(t->text(3), QString::number(5000 + 5 + 12));
    QVERIFY(t->text(4).endsWith('%'));
    QCOMPARE(v.Memo1->toPlainText().trimmed(), QString("the archive comment"));
    QVERIFY(boxes_.records.isEmpty());
    // Dates, sizes, attributes, CRCs and offsets show uncut.
    const QFontMetrics fm(v.ListView1->font());
    for (int c : {1, 2, 3, 4, 5, 6, 7, 10, 11, 12})
        for (const QString& n : captions(v))
            QVERIFY2(fm.horizontalAdvance(row(v, n)->text(c)) < v.ListView1->columnWidth(c),
                     qPrintable(v.ListView1->headerItem()->text(c)));
}

void TestViewer::otherFamiliesColumns_data() {
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("archive");
    QTest::addColumn<bool>("crc32");
    QTest::newRow("lha") << "lha" << QStringList({"-aq", "x.lzh", "docs/readme.txt", "top.txt"})
                         << "x.lzh" << false;
    QTest::newRow("arj") << "arj"
                         << QStringList({"a", "-y", "-i", "x.arj", "docs/readme.txt", "top.txt"})
                         << "x.arj" << true;
    QTest::newRow("tar") << "tar" << QStringList({"-cf", "x.tar", "docs/readme.txt", "top.txt"})
                         << "x.tar" << false;
}

void TestViewer::otherFamiliesColumns() {
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    QFETCH(QString, archive);
    QFETCH(bool, crc32);
    const QString dir = folder("fam-" + tool);
    writeFile(dir + "/docs/readme.txt", readme_);
    setModified(dir + "/docs/readme.txt", kReadmeTime);
    writeFile(dir + "/top.txt", "short");
    const int rc = runTool(tool, args, dir);
    if (rc < 0) QSKIP("the peer tool is not installed");
    QCOMPARE(rc, 0);
    TfrmView v;
    QVERIFY(v.OpenArchive(dir + "/" + archive));
    QCOMPARE(captions(v), QStringList({"readme.txt", "top.txt"}));
    QTreeWidgetItem* r = row(v, "readme.txt");
    QCOMPARE(r->text(1), QString("03-04-21"));
    QCOMPARE(r->text(2), QString("13:45"));
    QCOMPARE(r->text(4), QString("5000"));
    QVERIFY(r->text(5).endsWith('%'));
    QVERIFY(!r->text(6).isEmpty());
    // ARJ keeps no folders unless asked to.
    if (tool != "arj") QCOMPARE(r->text(8), QString("docs/"));
    QCOMPARE(r->text(10).size(), 8);
    if (crc32) QCOMPARE(r->text(10), crcText(readme_));
    QCOMPARE(r->text(12), QString("No"));
    QCOMPARE(row(v, "top.txt")->text(8), QString());
    QCOMPARE(v.ListView2->topLevelItem(0)->text(1), QString("2"));
    QCOMPARE(v.ListView2->topLevelItem(0)->text(3), QString("5005"));
}

void TestViewer::selectionCheck() {
    const QString zip = makeZip();
    if (zip.isEmpty()) QSKIP("zip is not installed");
    TfrmView v;
    v.OpenArchive(zip);
    v.ListView1->clearSelection();
    v.View();
    v.ViewAsText();
    v.Decompress();
    v.Delete();
    QCOMPARE(boxes_.texts(),
             QStringList(4, "Select a file by clicking on its name.\r\rThen, try again."));
    QVERIFY(v.TemporaryFolders().isEmpty());
}

void TestViewer::viewUsesNumberedFoldersAndRemovesThem() {
    const QString zip = makeZip();
    if (zip.isEmpty()) QSKIP("zip is not installed");
    const QString log = folder("view-folders.log");
    installRecorder("recorder.desktop", {"text/plain"}, log);
    const QString root = TfrmView::TemporaryRoot();
    QCOMPARE(root, qEnvironmentVariable("XDG_CACHE_HOME") + "/olmek95/");
    QDir(root).removeRecursively();
    {
        TfrmView v;
        v.OpenArchive(zip);
        select(v, {"readme.txt"});
        v.View();
        select(v, {"top.txt"});
        v.View();
        QCOMPARE(v.TemporaryFolders(), QStringList({root + "1", root + "2"}));
        QCOMPARE(readFile(root + "1/readme.txt"), readme_);
        QCOMPARE(readFile(root + "2/top.txt"), QByteArray("short"));
        QCOMPARE(logLines(log),
                 QStringList({"start " + root + "1/readme.txt", "end " + root + "1/readme.txt",
                              "start " + root + "2/top.txt", "end " + root + "2/top.txt"}));
        v.show();
        v.close();
        QVERIFY(!QFileInfo::exists(root + "1"));
        QVERIFY(!QFileInfo::exists(root + "2"));
    }
    // A folder 1 that is not this window's is passed over and left alone.
    QVERIFY(QDir().mkpath(root + "1"));
    writeFile(root + "1/keep.txt", "keep");
    {
        TfrmView v;
        v.OpenArchive(zip);
        select(v, {"top.txt"});
        v.View();
        QCOMPARE(v.TemporaryFolders(), QStringList({root + "2"}));
    }
    QVERIFY(!QFileInfo::exists(root + "2"));
    QCOMPARE(readFile(root + "1/keep.txt"), QByteArray("keep"));
    QVERIFY(boxes_.records.isEmpty());
}

void TestViewer::viewWaitsForEachApplication() {
    const QString zip = makeZip();
    if (zip.isEmpty()) QSKIP("zip is not installed");
    const QString log = folder("view-wait.log");
    installRecorder("slow.desktop", {"text/plain"}, log, 0.4);
    TfrmView v;
    v.OpenArchive(zip);
    select(v, {"readme.txt", "top.txt"});
    v.View();
    const QStringList lines = logLines(log);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].startsWith("start ") && lines[0].endsWith("/readme.txt"));
    QVERIFY(lines[1].startsWith("end ") && lines[1].endsWith("/readme.txt"));
    QVERIFY(lines[2].startsWith("start ") && lines[2].endsWith("/top.txt"));
    QVERIFY(lines[3].startsWith("end ") && lines[3].endsWith("/top.txt"));
}

void TestViewer::notAssociatedOffersTheTextEditor() {
    const QString dir = folder("noassoc");
    QByteArray blob;
    for (int i = 0; i < 512; ++i) blob += char(i % 5);
    writeFile(dir + "/blob.qqq", blob);
    if (runTool("zip", {"-q", "b.zip", "blob.qqq"}, dir) != 0) QSKIP("zip is not installed");
    const QString log = folder("noassoc.log");
    installRecorder("editor.desktop", {"text/plain"}, log);
    TfrmView v;
    v.OpenArchive(dir + "/b.zip");
    select(v, {"blob.qqq"});
    boxes_.answers = {desk::mrNo};
    v.View();
    const QString question = "The file BLOB.QQQ is not associated with any application. Would "
                             "you like to view it with the text editor?";
    QCOMPARE(boxes_.texts(), QStringList({question}));
    QCOMPARE(boxes_.records[0].buttons, int(desk::mbYes | desk::mbNo));
    QVERIFY(logLines(log).isEmpty());
    boxes_.answers = {desk::mrYes};
    v.View();
    QTRY_COMPARE(logLines(log).value(0), "start " + v.TemporaryFolders().last() + "/blob.qqq");
}

void TestViewer::viewAsTextStartsTheTextEditor() {
    const QString zip = makeZip();
    if (zip.isEmpty()) QSKIP("zip is not installed");
    const QString log = folder("astext.log");
    installRecorder("editor.desktop", {"text/plain"}, log);
    TfrmView v;
    v.OpenArchive(zip);
    select(v, {"readme.txt"});
    v.ViewAsText();
    QCOMPARE(v.TemporaryFolders().size(), 1);
    QTRY_COMPARE(logLines(log).value(0), "start " + v.TemporaryFolders()[0] + "/readme.txt");
    QVERIFY(boxes_.records.isEmpty());
}

void TestViewer::aMemberTheProgramOpensItselfShowsInAViewer() {
    const QString dir = folder("nested");
    writeFile(dir + "/inner.txt", "inner");
    if (runTool("zip", {"-q", "inner.zip", "inner.txt"}, dir) != 0) QSKIP("zip is not installed");
    QCOMPARE(runTool("zip", {"-q", "outer.zip", "inner.zip"}, dir), 0);
    QString error;
    QVERIFY2(desk::RegisterFileTypes("/usr/bin/olmek-test", &error, false), qPrintable(error));
    TfrmView v;
    v.OpenArchive(dir + "/outer.zip");
    select(v, {"inner.zip"});
    QString caption;
    QStringList inner;
    whenModal<TfrmView>([&](TfrmView* w) {
        caption = w->windowTitle();
        inner = captions(*w);
        w->close();
    });
    v.View();
    QVERIFY(caption.endsWith("/inner.zip"));
    QCOMPARE(inner, QStringList({"inner.txt"}));
}

void TestViewer::maskBoxRelistsAndIsKept() {
    const QString zip = makeZip();
    if (zip.isEmpty()) QSKIP("zip is not installed");
    {
        TfrmView v;
        // Changed before any archive was set: nothing is listed.
        v.txtMask->setText("*.md");
        QCOMPARE(v.ListView1->topLevelItemCount(), 0);
        v.OpenArchive(zip);
        QCOMPARE(captions(v).size(), 3);
        v.txtMask->setText("s*.txt");
        QCOMPARE(captions(v), QStringList({"secret.txt"}));
        QCOMPARE(v.ListView2->topLevelItem(0)->text(1), QString("1"));
        v.txtMask->setText("*.*");
        QCOMPARE(captions(v).size(), 3);
        v.txtMask->setText("*.txt");
    }
    QCOMPARE(app::readValue("\\Software\\Fenwood\\OLMEK95\\View", "FileMask", ""),
             QString("*.txt"));
    TfrmView again;
    QCOMPARE(again.txtMask->text(), QString("*.txt"));
    // The opener lists everything whatever the box shows.
    again.OpenArchive(zip);
    QCOMPARE(captions(again).size(), 3);
}

void TestViewer::decompressExtractsTheCheckedEntries() {
    const QString zip = makeZip();
    if (zip.isEmpty()) QSKIP("zip is not installed");
    const QString target = folder("decompressed/new");
    TfrmView v;
    v.OpenArchive(zip);
    select(v, {"readme.txt", "top.txt", "secret.txt"});
    QStringList lines;
    bool allChecked = true, hidden = false;
    whenModal<TfrmTo>([&](TfrmTo* to) {
        for (int i = 0; i < to->lstFilesAndFolders->ItemCount(); ++i) {
            lines << to->lstFilesAndFolders->ItemText(i);
            allChecked &= to->lstFilesAndFolders->Checked(i);
        }
        hidden = to->lblOperation->isHidden() && to->optCopy->isHidden() &&
                 to->optMove->isHidden() && to->chkRename->isHidden() && to->chkConfirm->isHidden();
        to->lstFilesAndFolders->SetChecked(2, false);
        to->cmbTo->setEditText(target);
        to->cmdOk->click();
    });
    // The missing folder is made after a question.
    boxes_.answers = {desk::mrYes};
    v.Decompress();
    QCOMPARE(lines, QStringList({"docs/readme.txt", "top.txt", "secret.txt"}));
    QVERIFY(allChecked);
    QVERIFY(hidden);
    QCOMPARE(boxes_.texts(), QStringList({"The folder " + target +
                                          " does not exist.\r\rDo you want to create it?"}));
    QCOMPARE(readFile(target + "/readme.txt"), readme_);
    QCOMPARE(readFile(target + "/top.txt"), QByteArray("short"));
    QVERIFY(!QFileInfo::exists(target + "/secret.txt"));
    QVERIFY(!QFileInfo::exists(target + "/docs"));
    // The dialog is ready for the file commands again.
    QVERIFY(!forms::frmTo()->lblOperation->isHidden());
    QVERIFY(!forms::frmTo()->optCopy->isHidden());

    // An existing file is replaced only after a yes.
    writeFile(target + "/top.txt", "mine");
    select(v, {"top.txt"});
    whenModal<TfrmTo>([&](TfrmTo* to) {
        to->cmbTo->setEditText(target);
        to->cmdOk->click();
    });
    boxes_.records.clear();
    boxes_.answers = {desk::mrNo};
    v.Decompress();
    QCOMPARE(boxes_.texts(), QStringList({target + "/top.txt already exists. Overwrite?"}));
    QCOMPARE(readFile(target + "/top.txt"), QByteArray("mine"));
}

void TestViewer::cancelStopsTheExtraction() {
    const QString dir = folder("cancel");
    QStringList names;
    for (int i = 0; i < 4; ++i) {
        names << QString("part%1.txt").arg(i);
        writeFile(dir + "/" + names.last(), textBytes(6 << 20, i));
    }
    if (runTool("zip", QStringList({"-q", "-1", "big.zip"}) + names, dir) != 0)
        QSKIP("zip is not installed");
    const QString target = folder("cancel-out");
    QDir().mkpath(target);
    TfrmView v;
    v.OpenArchive(dir + "/big.zip");
    select(v, names);
    // Cancel as soon as the progress window is up.
    QTimer clicker;
    clicker.setInterval(1);
    connect(&clicker, &QTimer::timeout, [&] {
        if (forms::frmProgress()->isVisible() && !forms::frmProgress()->CancelFlag)
            forms::frmProgress()->cmdCancel()->click();
    });
    whenModal<TfrmTo>([&](TfrmTo* to) {
        to->cmbTo->setEditText(target);
        clicker.start();
        to->cmdOk->click();
    });
    v.Decompress();
    clicker.stop();
    // The member being written when Cancel came is whole; nothing after it.
    const QStringList left = QDir(target).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left, QStringList({"part0.txt"}));
    QCOMPARE(readFile(target + "/part0.txt"), textBytes(6 << 20, 0));
    QVERIFY(!forms::frmProgress()->isVisible());
}

void TestViewer::folderWindowDecompressCancels() {
    const QString dir = folder("cancel2");
    QStringList names;
    for (int i = 0; i < 4; ++i) {
        names << QString("part%1.txt").arg(i);
        writeFile(dir + "/" + names.last(), textBytes(6 << 20, i));
    }
    if (runTool("zip", QStringList({"-q", "-1", "big.zip"}) + names, dir) != 0)
        QSKIP("zip is not installed");
    const QString target = folder("cancel2-out");
    QDir().mkpath(target);
    TfrmMain frame;
    TfrmChild* c = frame.NewChild();
    c->showFolder(dir);
    c->filSource->ClearSelection();
    c->filSource->SelectItem(c->filSource->IndexOfName("big.zip"));
    desk::setFolderPicker([&](QWidget*, const QString&, const QString&) { return target; });
    TfrmProgress2* p = forms::frmProgress2();
    QString upper, lower;
    int archiveBar = -1;
    QTimer clicker;
    clicker.setInterval(1);
    connect(&clicker, &QTimer::timeout, [&] {
        if (!p->isVisible() || p->CancelFlag || p->lblUpper()->text().isEmpty()) return;
        upper = p->lblUpper()->text();
        lower = p->lblLower()->text();
        archiveBar = p->ProgressBar2()->value();
        p->cmdCancel()->click();
    });
    clicker.start();
    frame.runCommand("DecompressFile1");
    clicker.stop();
    QCOMPARE(QDir(target).entryList(QDir::Files | QDir::Hidden), QStringList({"part0.txt"}));
    QCOMPARE(readFile(target + "/part0.txt").size(), 6 << 20);
    // The upper line is the method's verb and the member's name; the lower
    // line is the archive.
    QCOMPARE(upper, QString("Inflating  part0.txt   "));
    QCOMPARE(lower, dir + "/big.zip");
    QVERIFY(archiveBar >= 0 && archiveBar < 30);
    QVERIFY(!p->isVisible());
}

// An encrypted member: the prompt is titled with the archive's name and
// its password opens the member, traditional (the ZIP library) or AES
// (the archive extractor takes those).
void TestViewer::folderWindowDecompressAsksForThePassword() {
    struct Maker {
        const char* archive;
        const char* tool;
        QStringList args;
    };
    const Maker makers[] = {
        {"locked.zip", "zip", {"-q", "-P", "sesame", "locked.zip", "locked.txt"}},
        {"aes.zip", "7z", {"a", "-bd", "-psesame", "-mem=AES256", "aes.zip", "locked.txt"}},
    };
    for (const Maker& m : makers) {
        const QString dir = folder(QString("pw-") + m.tool);
        writeFile(dir + "/locked.txt", textBytes(3000, 9));
        if (runTool(m.tool, m.args, dir) != 0) {
            qWarning("%s is not installed", m.tool);
            continue;
        }
        QFile::remove(dir + "/locked.txt");
        const QString target = folder(QString("pw-out-") + m.tool);
        QDir().mkpath(target);
        boxes_.records.clear();
        TfrmMain frame;
        TfrmChild* c = frame.NewChild();
        c->showFolder(dir);
        c->filSource->ClearSelection();
        c->filSource->SelectItem(c->filSource->IndexOfName(m.archive));
        desk::setFolderPicker([&](QWidget*, const QString&, const QString&) { return target; });
        QString title;
        whenModal<TfrmPassword>([&](TfrmPassword* p) {
            title = p->windowTitle();
            p->txtPassword()->setText("sesame");
            p->accept();
        });
        frame.runCommand("DecompressFile1");
        QCOMPARE(title, QString(m.archive));
        QVERIFY2(boxes_.records.isEmpty(), qPrintable(boxes_.texts().join("; ")));
        QCOMPARE(readFile(target + "/locked.txt"), textBytes(3000, 9));
    }
}

void TestViewer::typesWithoutExtraction() {
    const QString corpus = OLMEK_CORPUS_DIR;
    QStringList samples;
    for (const char* f :
         {"/ha/unarc-rs__asc.ha", "/rar/libarchive__test_rar_multivolume_multiple_files.part1.rar"})
        if (QFile::exists(corpus + f)) samples << corpus + f;
    if (samples.isEmpty()) QSKIP("no HA or RAR sample in the corpus");
    for (const QString& s : samples) {
        boxes_.records.clear();
        TfrmView v;
        v.OpenArchive(s);
        QVERIFY2(v.ListView1->topLevelItemCount() > 0, qPrintable(s));
        v.ListView1->topLevelItem(0)->setSelected(true);
        v.View();
        v.ViewAsText();
        QCOMPARE(boxes_.texts(), QStringList(2, "Extract not supported for this filetype."));
        QVERIFY(v.TemporaryFolders().isEmpty());
    }
}

// Members go by their full stored names: a same-named member in another
// folder stays.  One save, one new listing, and unzip agrees.
void TestViewer::deleteRemovesTheSelectedMembers() {
    const QString dir = folder("del");
    writeFile(dir + "/a.txt", "alpha");
    writeFile(dir + "/docs/a.txt", "alpha in docs");
    writeFile(dir + "/b.txt", textBytes(3000));
    writeFile(dir + "/c.txt", "gamma");
    if (runTool("zip", {"-q", "-X", "d.zip", "a.txt", "docs/a.txt", "b.txt", "c.txt"}, dir) != 0)
        QSKIP("zip is not installed");
    TfrmView v;
    v.OpenArchive(dir + "/d.zip");
    QTreeWidgetItem* top = nullptr;
    for (int i = 0; i < v.ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* it = v.ListView1->topLevelItem(i);
        if (it->text(0) == "a.txt" && it->text(8).isEmpty()) top = it;
    }
    QVERIFY(top);
    v.ListView1->clearSelection();
    top->setSelected(true);
    row(v, "b.txt")->setSelected(true);
    v.Delete();
    QVERIFY2(boxes_.records.isEmpty(), qPrintable(boxes_.texts().join("; ")));
    QCOMPARE(captions(v), QStringList({"a.txt", "c.txt"}));
    QCOMPARE(v.ListView1->topLevelItem(0)->text(8), QString("docs/"));
    QCOMPARE(v.ListView2->topLevelItemCount(), 1);
    QCOMPARE(v.ListView2->topLevelItem(0)->text(1), QString("2"));
    if (QStandardPaths::findExecutable("unzip").isEmpty()) return;
    QCOMPARE(runTool("unzip", {"-tq", "d.zip"}, dir), 0);
    const QString out = folder("del-out");
    QDir().mkpath(out);
    QCOMPARE(runTool("unzip", {"-q", dir + "/d.zip"}, out), 0);
    QCOMPARE(readFile(out + "/docs/a.txt"), QByteArray("alpha in docs"));
    QCOMPARE(readFile(out + "/c.txt"), QByteArray("gamma"));
    QVERIFY(!QFile::exists(out + "/a.txt") && !QFile::exists(out + "/b.txt"));
}

// The chosen file is stored under its own name and the list shows it; a
// cancelled choice changes nothing.
void TestViewer::addStoresTheChosenFile() {
    const QString zip = makeZip();
    if (zip.isEmpty()) QSKIP("zip is not installed");
    const QString added = folder("elsewhere/new file.txt");
    writeFile(added, textBytes(7000, 5));
    const QByteArray before = readFile(zip);
    TfrmView v;
    v.OpenArchive(zip, 1);
    QString picked;
    desk::setFilePicker([&](QWidget*, const QString&, const QString&) { return picked; });
    v.Add();
    QCOMPARE(readFile(zip), before);
    picked = added;
    v.Add();
    desk::setFilePicker({});
    QVERIFY2(boxes_.records.isEmpty(), qPrintable(boxes_.texts().join("; ")));
    QVERIFY(row(v, "new file.txt"));
    QCOMPARE(row(v, "new file.txt")->text(8), QString());
    QCOMPARE(row(v, "new file.txt")->text(4), QString("7000"));
    QCOMPARE(captions(v).size(), 4);
    if (QStandardPaths::findExecutable("unzip").isEmpty()) return;
    const QString out = folder("add-out");
    QDir().mkpath(out);
    QCOMPARE(runTool("unzip", {"-q", "-P", "pw", zip}, out), 0);
    QCOMPARE(readFile(out + "/new file.txt"), textBytes(7000, 5));
    QCOMPARE(readFile(out + "/docs/readme.txt"), readme_);
}

OLMEK_QTEST_MAIN(TestViewer)
#include "tst_viewer.moc"
