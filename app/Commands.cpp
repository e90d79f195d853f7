#include "app/Commands.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QProgressBar>

#include "app/Dialogs.h"
#include "app/ExtractRun.h"
#include "app/Forms.h"
#include "app/FrmChild.h"
#include "app/FrmCompress.h"
#include "app/FrmConfigure.h"
#include "app/FrmMain.h"
#include "app/FrmMask.h"
#include "app/OpenArchive.h"
#include "app/OtherCommands.h"
#include "app/ZipEdit.h"
#include "archive/core/Hooks.h"
#include "archive/extract/Extractors.h"
#include "archive/list/ArcLister.h"
#include "desktop/FolderPicker.h"
#include "desktop/Launch.h"
#include "desktop/MessageBox.h"
#include "desktop/Mounts.h"
#include "desktop/PrintDirectory.h"
#include "desktop/Shell.h"
#include "desktop/VisibleText.h"
#include "platform/DataFiles.h"
#include "shellctl/CheckList.h"
#include "shellctl/FolderEnumerator.h"
#include "shellctl/NameSpaceEnumerator.h"

int viewGroupOf(TArcType type) {
    if (app::zipWritable(type)) return 2;
    return app::viewerExtracts(type) ? 1 : 0;
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

void Commands::runCompress(const QString& heading, const QStringList& lines, const QString& base) {
    TfrmCompress* dlg = forms::frmCompress();
    dlg->lstFiles->Clear();
    for (const QString& line : lines) dlg->lstFiles->AddItem(line, true);
    dlg->lblFile->setText(heading);
    dlg->BaseDirectory = base;
    dlg->exec();
    dlg->BaseDirectory.clear();
    dlg->lblFile->setText(TfrmCompress::FilesHeading);
    frame_.RefreshActive();
}

void Commands::CompressFile() {
    TfrmChild* child = frame_.ActiveChild();
    if (!SelectionCheck(child)) return;
    QStringList files;
    for (int i = 1; i <= child->filSource->SelectedCount(); ++i) files << SelectedFile(child, i);
    runCompress(TfrmCompress::FilesHeading, files, {});
}

void Commands::CompressDirectory() {
    TfrmChild* child = frame_.ActiveChild();
    if (!child || child->currentDirectory().isEmpty()) return;
    QString folder = child->currentDirectory();
    if (folder.size() > 1) folder.chop(1);
    runCompress(TfrmCompress::DirectoryHeading, {folder}, folder);
}

void Commands::CompressDisk() {
    TfrmChild* child = frame_.ActiveChild();
    if (!child || child->currentDirectory().isEmpty()) return;
    QString root = desk::mountPointOf(child->currentDirectory());
    if (root.isEmpty()) root = "/";
    runCompress(TfrmCompress::DriveHeading, {root}, root);
}

void Commands::RunFile() {
    TfrmChild* child = frame_.ActiveChild();
    if (!SelectionCheck(child)) return;
    QStringList files;
    for (int i = 1; i <= child->filSource->SelectedCount(); ++i) files << SelectedFile(child, i);
    TfrmRun dlg(&frame_);
    for (const QString& file : files) {
        dlg.txtApplication->setText(file);
        if (dlg.exec() != QDialog::Accepted) continue;
        const QString text = dlg.txtApplication->text().trimmed();
        // An empty line would only fail in the shell.
        if (text.isEmpty()) {
            desk::showInformation("Nothing to run: the command line is empty.", &frame_);
            continue;
        }
        const int code = app::runCommandLine(text);
        if (code <= 32) desk::showInformation(desk::shellErrorText(code, text), &frame_);
    }
}

void Commands::ViewAsText() {
    TfrmChild* child = frame_.ActiveChild();
    if (!SelectionCheck(child)) return;
    QStringList files;
    for (int i = 1; i <= child->filSource->SelectedCount(); ++i) files << SelectedFile(child, i);
    for (const QString& file : files)
        if (!desk::openTextEditor(file, &frame_))
            desk::showInformation(desk::shellErrorText(desk::SE_ERR_FNF, file), &frame_);
}

void Commands::DosPromptHere() {
    TfrmChild* child = frame_.ActiveChild();
    const QString folder = child ? child->currentDirectory() : QString();
    if (!desk::openTerminal(folder))
        desk::showInformation("No terminal program was found.\n\nInstall one, or name yours in "
                              "the TERMINAL environment variable.",
                              &frame_);
}

void Commands::DiskUtility() {
    if (!desk::openDiskUtility())
        desk::showInformation("No disk utility was found.\n\nInstall one, for example GNOME "
                              "Disks (gnome-disks), to format and copy disks.",
                              &frame_);
}

std::vector<desk::DirectoryItem> Commands::DirectoryItems(TfrmChild* child) const {
    std::vector<desk::DirectoryItem> items;
    TFolderEnumerator* list = child->filSource;
    for (int i = 0; i < list->ItemCount(); ++i) {
        const TFolderItemRecord r = list->ItemRecord(i);
        desk::DirectoryItem item;
        item.Name = r.DisplayName;
        item.Modified = r.Modified;
        // The record holds 32 bits; the report adds up whole sizes.
        const QFileInfo fi(list->ItemPath(i));
        item.Size = fi.isFile() ? std::uint64_t(fi.size()) : r.Size;
        items.push_back(item);
    }
    return items;
}

void Commands::PrintDirectory() {
    TfrmChild* child = frame_.ActiveChild();
    if (!child) return;
    const std::vector<desk::DirectoryItem> items = DirectoryItems(child);
    if (items.empty()) {
        desk::showInformation("This folder is empty: there is nothing to print.", &frame_);
        return;
    }
    desk::PrintDirectory(&frame_, child->windowTitle(), items);
}

void Commands::MakeExeFile() {
    TfrmChild* child = frame_.ActiveChild();
    if (!SelectionCheck(child)) return;
    const QString stub = QString::fromStdString(plat::findDataFile(plat::StubFileName));
    if (stub.isEmpty()) {
        desk::MessageDlg("OLMEK 95 Stub can not be located.\n\nMake sure you received the "
                         "complete package of OLMEK 95.",
                         desk::mtError, desk::mbOK, &frame_);
        return;
    }
    QStringList files;
    for (int i = 1; i <= child->filSource->SelectedCount(); ++i) files << SelectedFile(child, i);
    for (const QString& source : files) {
        const QString target = app::exeTargetOf(source);
        if (QFileInfo::exists(target) &&
            desk::MessageDlg(target + " already exists.\n\nDo you want to replace it?",
                             desk::mtConfirmation, desk::mbYes | desk::mbNo,
                             &frame_) != desk::mrYes)
            continue;
        app::zipMakeSelfExtractor(&frame_, stub, source, target);
    }
    frame_.RefreshActive();
}

void Commands::showMoreMenu(const QString& path, const QPoint& pos) {
    std::unique_ptr<QMenu> menu(app::moreMenu(&frame_, path));
    menu->exec(frame_.mapToGlobal(pos));
}

void Commands::MoreFiles() {
    TfrmChild* child = frame_.ActiveChild();
    if (!SelectionCheck(child)) return;
    QStringList files;
    for (int i = 1; i <= child->filSource->SelectedCount(); ++i) files << SelectedFile(child, i);
    // Beside the file list, a little below the window's top.
    const QPoint list = child->filSource->mapTo(&frame_, QPoint(0, 0));
    const QPoint top = child->mapTo(&frame_, QPoint(0, 0));
    for (const QString& file : files) showMoreMenu(file, QPoint(list.x(), top.y() + 100));
}

void Commands::MoreDirectory() {
    TfrmChild* child = frame_.ActiveChild();
    if (!child || child->currentDirectory().isEmpty()) return;
    const QPoint top = child->mapTo(&frame_, QPoint(0, 0));
    showMoreMenu(child->currentDirectory(), QPoint(100, top.y() + 100));
}

void Commands::MoreDisk() {
    TfrmChild* child = frame_.ActiveChild();
    if (!child || child->currentDirectory().isEmpty()) return;
    QString root = desk::mountPointOf(child->currentDirectory());
    if (root.isEmpty()) root = "/";
    const QPoint top = child->mapTo(&frame_, QPoint(0, 0));
    showMoreMenu(root, QPoint(100, top.y() + 100));
}

void Commands::DownloadLatestVersion() {
    TfrmDownload dlg(&frame_);
    dlg.exec();
}
