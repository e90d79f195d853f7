#include "app/Commands.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "app/Dialogs.h"
#include "app/ExtractRun.h"
#include "app/Forms.h"
#include "app/FrmChild.h"
#include "app/FrmConfigure.h"
#include "app/FrmMain.h"
#include "app/FrmMask.h"
#include "app/OpenArchive.h"
#include "app/ZipEdit.h"
#include "archive/core/Hooks.h"
#include "archive/extract/Extractors.h"
#include "archive/list/ArcLister.h"
#include "desktop/FolderPicker.h"
#include "desktop/MessageBox.h"
#include "desktop/Shell.h"
#include "desktop/VisibleText.h"
#include "shellctl/FolderEnumerator.h"
#include "shellctl/NameSpaceEnumerator.h"

int viewGroupOf(TArcType type) {
    switch (type) {
    case atARC:
    case atArcExe:
    case atARJ:
    case atArjExe:
    case atBH:
    case atBHExe:
    case atCAB:
    case atGZip:
    case atLHA:
    case atLZH:
    case atLzhExe:
    case atTAR:
    case atZOO:
    case atTarGz:
    case atTarBz2:
    case atTarXz:
    case atTarLz:
    case atTarZst:
    case atTarZ:
    case atBzip2:
    case atXz:
    case atLzip:
    case atZstd:
        return 1;
    case atZIP:
    case atZipExe:
    case atZip250:
    case atZip250Exe:
        return 2;
    default:
        return 0;
    }
}

Commands::Commands(TfrmMain& frame)
    : frame_(frame),
      driver_(std::make_unique<app::ExtractorDriver>(&frame, app::ExtractorDriver::Style::Double)) {
}
Commands::~Commands() = default;

bool Commands::SelectionCheck(TfrmChild* child) {
    if (child && child->filSource->SelectedCount() > 0) return true;
    desk::showInformation("Select a file by clicking on its name.\nThen, try again.", &frame_);
    return false;
}

QString Commands::SelectedFile(TfrmChild* child, int i) const {
    const QString item = child->filSource->SelectedItemPath(i);
    const QString dir = child->currentDirectory();
    // With a virtual folder selected in the tree there is no current
    // directory; a bare name would then be taken relative to the process's
    // working folder, so the item's own full path is used.
    if (dir.isEmpty()) return item;
    const int cut = qMax(item.lastIndexOf('/'), item.lastIndexOf(':'));
    return dir + item.mid(cut + 1);
}

void Commands::NotAvailable() {
    desk::showInformation("This command is not available yet.", &frame_);
}

void Commands::ViewFile() {
    TfrmChild* child = frame_.ActiveChild();
    if (!SelectionCheck(child)) return;
    const QString path = SelectedFile(child, 1);
    child->ArcLister1->SetArchiveFile(path.toStdString());
    const int group = viewGroupOf(child->ArcLister1->ArcType());
    if (group != 0) {
        app::ViewArchiveModal(&frame_, path, group == 2 ? 1 : 0);
        return;
    }
    OpenWithShell(child, path);
}

void Commands::OpenWithShell(TfrmChild* child, const QString& path) {
    const QFileInfo fi(path);
    // The desktop would only start this program again: its viewer shows it.
    if (fi.isFile() && app::OpensWithSelf(path)) {
        app::ViewArchiveModal(&frame_, path, 0);
        return;
    }
    const desk::ShellExecResult r = desk::ShellExecute(path, {}, fi.absolutePath());
    if (r.ok()) return;
    // A folder the desktop has no application for opens in this window.
    if (fi.isDir() && r.code == desk::SE_ERR_NOASSOC && child) {
        child->showFolder(fi.absoluteFilePath());
        return;
    }
    desk::showInformation(desk::shellErrorText(r.code, path), &frame_);
}

void Commands::FileMask() {
    TfrmMask* dlg = forms::frmMask();
    if (dlg->exec() != QDialog::Accepted) return;
    if (TfrmChild* child = frame_.ActiveChild())
        child->filSource->SetFileMask(dlg->txtSourcePathMask()->text());
}

void Commands::Configure() {
    forms::frmConfigure()->exec();
}

void Commands::About() {
    forms::frmAbout()->exec();
}

void Commands::DecompressFile() {
    TfrmChild* child = frame_.ActiveChild();
    if (!SelectionCheck(child)) return;
    const QString target =
        desk::selectDirectory(&frame_, "Decompress To", child->currentDirectory());
    if (target.isEmpty()) return;
    const int count = child->filSource->SelectedCount();
    QStringList files;
    for (int i = 1; i <= count; ++i) files << SelectedFile(child, i);
    for (const QString& file : files) {
        child->ArcLister1->SetArchiveFile(file.toStdString());
        const TArcType type = child->ArcLister1->ArcType();
        switch (ExtractArchive(file, type, target)) {
        case ExtractResult::Done:
            break;
        case ExtractResult::Cancelled:
            frame_.RefreshActive();
            return;
        case ExtractResult::Unsupported:
            desk::showInformation("Decompression file type is not supported.", &frame_);
            break;
        }
    }
    frame_.RefreshActive();
}

Commands::ExtractResult Commands::ExtractArchive(const QString& archive, TArcType type,
                                                 const QString& target) {
    // ZIP archives go through the ZIP library, unless it cannot decode
    // some member: then the archive extractor takes them.
    if (app::zipWritable(type)) {
        switch (app::zipExtractAll(&frame_, archive, target)) {
        case app::ZipExtractResult::Cancelled:
            return ExtractResult::Cancelled;
        case app::ZipExtractResult::Done:
        case app::ZipExtractResult::Failed:
            return ExtractResult::Done;
        case app::ZipExtractResult::NotForTheLibrary:
            break;
        }
    }
    std::unique_ptr<TUnBase> x = ExtractorTable::instance().make(type);
    if (!x) return ExtractResult::Unsupported;
    // The extractors with a member bar restore stored folders.
    x->UseStoredDirs = x->ReportsMemberProgress();
    driver_->attach(*x, true);
    x->SetArchiveFile(archive.toStdString());
    x->SetExtractDir(target.toStdString());
    x->SetFileSpec("*.*");
    driver_->prepareArchive(archive);
    driver_->run(*x);
    return driver_->cancelled() ? ExtractResult::Cancelled : ExtractResult::Done;
}
