#include "app/FileCommands.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>

#include "app/Commands.h"
#include "app/FileDialogs.h"
#include "app/Forms.h"
#include "app/FrmChild.h"
#include "app/FrmMain.h"
#include "app/FrmTo.h"
#include "app/Settings.h"
#include "desktop/FileOperation.h"
#include "desktop/MessageBox.h"
#include "shellctl/FolderEnumerator.h"
#include "shellctl/NameSpaceEnumerator.h"

FileCommands::FileCommands(TfrmMain& frame) : frame_(frame) {}

bool FileCommands::ConfirmWhenDeleting() {
    return app::readValue("\\Software\\Fenwood\\OLMEK95\\Configure\\General", "ConfirmWhenDeleting",
                          "1") != "0";
}

TfrmChild* FileCommands::selectionChild() {
    TfrmChild* child = frame_.ActiveChild();
    return frame_.commands->SelectionCheck(child) ? child : nullptr;
}

QString FileCommands::treeFolder(TfrmChild* child) {
    const QString path = child ? child->dirSource->SelectedPath() : QString();
    if (path.isEmpty()) desk::showInformation("Select a folder in the folder tree first.", &frame_);
    return path;
}

QStringList FileCommands::selectedFiles(TfrmChild* child) const {
    QStringList out;
    for (int i = 1; i <= child->filSource->SelectedCount(); ++i)
        out << frame_.commands->SelectedFile(child, i);
    return out;
}

void FileCommands::CopyFile(bool move) {
    TfrmChild* child = selectionChild();
    if (!child) return;
    TfrmTo* to = forms::frmTo();
    // The names keep their case: file names are case-sensitive here.
    to->PrepareFiles(move, selectedFiles(child));
    to->exec();
    frame_.RefreshActive();
}

void FileCommands::CopyDirectory(bool move) {
    TfrmChild* child = frame_.ActiveChild();
    const QString folder = treeFolder(child);
    if (folder.isEmpty()) return;
    TfrmTo* to = forms::frmTo();
    to->PrepareDirectory(move, folder);
    to->exec();
    to->lblOperation->setText(TfrmTo::FileOperationText);
    if (move && !QFileInfo(folder).exists()) child->showFolder(QFileInfo(folder).absolutePath());
    frame_.RefreshActive();
}

void FileCommands::DeleteFile() {
    TfrmChild* child = selectionChild();
    if (!child) return;
    int flags = desk::FOF_ALLOWUNDO | desk::FOF_FILESONLY;
    if (!ConfirmWhenDeleting()) flags |= desk::FOF_NOCONFIRMATION;
    desk::SHFileOperation(child, desk::FO_DELETE, selectedFiles(child), {}, flags);
    frame_.RefreshActive();
}

void FileCommands::DeleteDirectory() {
    TfrmChild* child = frame_.ActiveChild();
    const QString folder = treeFolder(child);
    if (folder.isEmpty()) return;
    int flags = desk::FOF_ALLOWUNDO | desk::FOF_FILESONLY;
    if (!ConfirmWhenDeleting()) flags |= desk::FOF_NOCONFIRMATION;
    desk::SHFileOperation(child, desk::FO_DELETE, {folder}, {}, flags);
    // The window moves to the parent of a folder that is gone.
    if (!QFileInfo::exists(folder)) child->showFolder(QFileInfo(folder).absolutePath());
    frame_.RefreshActive();
}

void FileCommands::RenameFile() {
    TfrmChild* child = selectionChild();
    if (!child) return;
    const QStringList files = selectedFiles(child);
    TfrmRenameFile* dlg = forms::frmRenameFile();
    for (const QString& file : files) {
        const QFileInfo fi(file);
        dlg->Prepare(fi.absolutePath(), fi.fileName());
        if (dlg->exec() == QDialog::Accepted)
            child->filSource->SetFolder(child->filSource->Folder());
    }
}

void FileCommands::NewDirectory(bool rename) {
    TfrmChild* child = frame_.ActiveChild();
    const QString folder = treeFolder(child);
    if (folder.isEmpty()) return;
    TfrmNewDirectory* dlg = forms::frmNewDirectory();
    dlg->Prepare(rename, folder);
    dlg->AfterChange = [this, child, rename](const QString& made) {
        // A renamed folder is followed; a new one is shown in the tree.
        if (rename && QFileInfo(made).isDir()) child->showFolder(made);
        frame_.RefreshActive();
    };
    dlg->exec();
    dlg->AfterChange = nullptr;
}

void FileCommands::FileAttributes() {
    TfrmChild* child = selectionChild();
    if (!child) return;
    TfrmFileAttributes* dlg = forms::frmFileAttributes();
    for (const QString& file : selectedFiles(child)) {
        dlg->Prepare(file);
        if (dlg->exec() == QDialog::Accepted)
            child->filSource->SetFolder(child->filSource->Folder());
    }
}

void FileCommands::FileDateTime() {
    TfrmChild* child = selectionChild();
    if (!child) return;
    TfrmFileDateTime* dlg = forms::frmFileDateTime();
    for (const QString& file : selectedFiles(child)) {
        dlg->Prepare(file);
        if (dlg->exec() == QDialog::Accepted)
            child->filSource->SetFolder(child->filSource->Folder());
    }
}
