#include "desktop/FolderPicker.h"

#include <QDir>
#include <QFileInfo>

#include "desktop/MessageBox.h"

namespace desk {

namespace {
FolderPickerFunc& picker() {
    static FolderPickerFunc f;
    return f;
}
FolderPickerFunc& filePicker() {
    static FolderPickerFunc f;
    return f;
}
} // namespace

bool confirmCreateFolder(const QString& folder, QWidget* parent) {
    const QFileInfo fi(folder);
    if (fi.isDir()) return true;
    if (fi.exists()) {
        showInformation(folder + " is a file, not a folder.", parent);
        return false;
    }
    if (MessageDlg("The folder " + folder + " does not exist.\r\rDo you want to create it?",
                   mtConfirmation, mbYes | mbNo, parent) != mrYes)
        return false;
    if (!QDir().mkpath(folder)) {
        showInformation("The folder " + folder + " could not be created.", parent);
        return false;
    }
    return true;
}

FolderDialog::FolderDialog(QWidget* parent, const QString& caption, const QString& startDir)
    : QFileDialog(parent, caption, startDir.isEmpty() ? QDir::homePath() : startDir) {
    setObjectName("FolderDialog");
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly, true);
    // The widget dialog, so that a typed new folder reaches accept() below.
    setOption(QFileDialog::DontUseNativeDialog, true);
}

QString FolderDialog::chosenFolder() const {
    const QStringList files = selectedFiles();
    return files.isEmpty() ? QString() : QDir::cleanPath(files.first());
}

void FolderDialog::accept() {
    const QString folder = chosenFolder();
    if (!folder.isEmpty() && !QFileInfo(folder).exists() && !confirmCreateFolder(folder, this))
        return;
    QFileDialog::accept();
}

QString selectDirectory(QWidget* parent, const QString& caption, const QString& startDir) {
    if (picker()) return picker()(parent, caption, startDir);
    FolderDialog dialog(parent, caption, startDir);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.chosenFolder();
}

void setFolderPicker(FolderPickerFunc f) {
    picker() = std::move(f);
}

QString selectExistingFile(QWidget* parent, const QString& caption, const QString& startDir) {
    if (filePicker()) return filePicker()(parent, caption, startDir);
    return QFileDialog::getOpenFileName(parent, caption,
                                        startDir.isEmpty() ? QDir::homePath() : startDir);
}

void setFilePicker(FolderPickerFunc f) {
    filePicker() = std::move(f);
}

} // namespace desk
