// Renders the program's windows headless into PNG files:
// olmek-screenshots <output folder>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "app/Dialogs.h"
#include "app/FileDialogs.h"
#include "app/Forms.h"
#include "app/FrmChild.h"
#include "app/FrmCompress.h"
#include "app/FrmConfigure.h"
#include "app/FrmMain.h"
#include "app/FrmMask.h"
#include "app/FrmTo.h"
#include "app/FrmView.h"
#include "app/MainBlock.h"
#include "app/OtherCommands.h"
#include "app/Settings.h"
#include "desktop/Mounts.h"
#include "desktop/PrintDirectory.h"
#include "shellctl/CheckList.h"
#include "shellctl/FolderEnumerator.h"
#include "shellctl/NameSpaceEnumerator.h"

namespace {

QString outDir;
int failures = 0;

// Lets events run until cond holds (at most two seconds).
#define QTRY_LOOP(cond)                                                                            \
    for (int spin = 0; spin < 200 && !(cond); ++spin) {                                            \
        QCoreApplication::processEvents();                                                         \
        QThread::msleep(10);                                                                       \
    }

void save(QWidget* w, const QString& name) {
    w->ensurePolished();
    const QPixmap pix = w->grab();
    const QString file = outDir + "/" + name + ".png";
    if (pix.isNull() || !pix.save(file)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(file));
}

void writeFile(const QString& path, int size) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return;
    QByteArray data(size, 'x');
    for (int i = 0; i < size; ++i) data[i] = char('a' + i % 26);
    f.write(data);
}

void writeText(const QString& path, const QString& text) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(text.toUtf8());
}

// A small folder tree with a few files and an archive to show.
QString makeSampleFolder(const QString& root) {
    const QString docs = root + "/Documents";
    QDir().mkpath(docs + "/Letters");
    QDir().mkpath(root + "/Downloads");
    writeFile(docs + "/readme.txt", 1200);
    writeFile(docs + "/notes.txt", 5400);
    writeFile(docs + "/report.doc", 24000);
    writeFile(docs + "/picture.bmp", 67000);
    const QString zip = QStandardPaths::findExecutable("zip");
    if (!zip.isEmpty())
        QProcess::execute(zip, {"-q", "-j", docs + "/backup.zip", docs + "/readme.txt",
                                docs + "/notes.txt", docs + "/report.doc"});
    return docs;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: olmek-screenshots <output folder>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings and registrations go to a scratch home, never the user's.
    QTemporaryDir scratch;
    for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const QString dir = scratch.path() + "/" + var;
        QDir().mkpath(dir);
        qputenv(var, dir.toLocal8Bit());
    }
    QApplication a(argc, argv);
    app::initApplication(a);
    outDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(outDir);
    const QString docs = makeSampleFolder(scratch.path() + "/HOME");

    // A mounts table with one drive of every kind the drive menu lists.
    const QString media = scratch.path() + "/media";
    for (const char* d : {"usb", "cdrom", "share", "ram"}) QDir().mkpath(media + "/" + d);
    QDir().mkpath(scratch.path() + "/block/sdz");
    writeText(scratch.path() + "/block/sdz/removable", "1\n");
    writeText(scratch.path() + "/mounts",
              QString("/dev/sda1 / ext4 rw 0 0\n/dev/sdz1 %1/usb vfat rw 0 0\n"
                      "/dev/sr0 %1/cdrom iso9660 ro 0 0\n//server/share %1/share cifs rw 0 0\n"
                      "tmpfs %1/ram tmpfs rw 0 0\n")
                  .arg(media));
    desk::setMountsTablePath(scratch.path() + "/mounts");
    desk::setSysBlockDir(scratch.path() + "/block");

    TfrmMain::RegisterFileTypesAtStart = false;
    auto* splash = new TfrmSplash;
    splash->setStatus("Reading " + docs);
    save(splash, "splash");
    delete splash;

    // Two window records, restored by the frame's first show as at a start.
    const QStringList paths = {docs, scratch.path() + "/HOME"};
    for (int i = 0; i < 2; ++i) {
        const QString key = QString("\\Software\\Fenwood\\OLMEK95\\%1").arg(i);
        app::writeValue(key, "Path", paths[i]);
        app::writeValue(key, "Top", QString::number(i * 285));
        app::writeValue(key, "Left", QString::number(i * 40));
        app::writeValue(key, "Width", "820");
        app::writeValue(key, "Height", "280");
        app::writeValue(key, "Panel", "189");
    }
    TfrmMain frame;
    frame.resize(900, 680);
    frame.show();
    QCoreApplication::processEvents();
    QTRY_LOOP(frame.children().size() == 2);
    TfrmChild* one = frame.children().value(0);
    if (!one) return 1;
    one->filSource->SelectItem(one->filSource->IndexOfName("report.doc"));
    frame.mdiArea->setActiveSubWindow(one);
    QCoreApplication::processEvents();
    save(&frame, "frame-two-folder-windows");

    frame.mdiArea->setActiveSubWindow(one);
    for (QMenu* m : {one->popFile, one->popDir}) {
        m->popup(QPoint(0, 0));
        QCoreApplication::processEvents();
        save(m, m->objectName());
        m->hide();
    }
    for (QAction* a : frame.menuBar()->actions()) {
        QMenu* m = a->menu();
        if (!m) continue;
        m->popup(QPoint(0, 0));
        QCoreApplication::processEvents();
        save(m, "menu-" + m->objectName());
        m->hide();
    }
    frame.DriveMenu->popup(QPoint(0, 0));
    QCoreApplication::processEvents();
    save(frame.DriveMenu, "drive-menu");
    frame.DriveMenu->hide();

    const auto shoot = [](QWidget* w, const QString& name) {
        w->show();
        QCoreApplication::processEvents();
        save(w, name);
        w->hide();
    };
    shoot(forms::frmMask(), "file-mask");
    shoot(forms::frmConfigure(), "configure");
    shoot(forms::frmAbout(), "about");
    shoot(forms::frmPassword(), "password");
    forms::frmProgress()->lblFile()->setText(docs + "/report.doc");
    forms::frmProgress()->ProgressBar1()->setValue(40);
    shoot(forms::frmProgress(), "progress");
    forms::frmProgress2()->ItemProgress(TfrmProgress2::MethodVerb(8), docs + "/report.doc", 60);
    forms::frmProgress2()->SetArchive(docs + "/backup.zip");
    forms::frmProgress2()->ArchiveProgress(30);
    shoot(forms::frmProgress2(), "progress2");

    if (QFile::exists(docs + "/backup.zip")) {
        TfrmView view;
        view.OpenArchive(docs + "/backup.zip", 1);
        view.resize(900, 468);
        view.ListView1->topLevelItem(1)->setSelected(true);
        shoot(&view, "viewer");
    }
    TfrmTo* to = forms::frmTo();
    to->PrepareFiles(false, {docs + "/readme.txt", docs + "/notes.txt"});
    to->dirSource->SelectPath(scratch.path() + "/HOME/Downloads");
    shoot(to, "copy-move");
    to->PrepareArchive(docs + "/backup.zip", {"readme.txt"}, docs);
    shoot(to, "copy-move-archive");
    to->reject();
    forms::frmRenameFile()->Prepare(docs, "report.doc");
    shoot(forms::frmRenameFile(), "rename-file");
    forms::frmNewDirectory()->Prepare(false, docs);
    shoot(forms::frmNewDirectory(), "new-directory");
    forms::frmFileAttributes()->Prepare(docs + "/report.doc");
    shoot(forms::frmFileAttributes(), "file-attributes");
    forms::frmFileDateTime()->Prepare(docs + "/report.doc");
    shoot(forms::frmFileDateTime(), "file-date-time");
    TfrmCompress* compress = forms::frmCompress();
    compress->lstFiles->Clear();
    for (const char* n : {"notes.txt", "readme.txt", "report.doc"})
        compress->lstFiles->AddItem(docs + "/" + n, true);
    compress->cmbFile->setEditText(docs + "/backup.zip");
    shoot(compress, "compress");
    TfrmRun run;
    run.txtApplication->setText(docs + "/readme.txt");
    shoot(&run, "run");
    TfrmDownload download;
    shoot(&download, "download");
    {
        desk::TfrmPrintDirectory report;
        report.Fill(docs + "/*.*", desk::folderItems(docs));
        QPrinter printer(QPrinter::HighResolution);
        desk::setupReportPrinter(printer);
        QPrintPreviewDialog preview(&printer);
        preview.setWindowTitle("Print Directory");
        QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                         [&report](QPrinter* p) { report.Print(*p); });
        preview.resize(700, 800);
        shoot(&preview, "print-preview");
    }
    forms::destroyAll();
    frame.hide();
    return failures ? 1 : 0;
}
