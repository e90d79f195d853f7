#include "desktop/FolderPicker.h"

#include <QDir>
#include <QFileDialog>

namespace desk {

namespace {
FolderPickerFunc& picker() {
    static FolderPickerFunc f;
    return f;
}
} // namespace

QString selectDirectory(QWidget* parent, const QString& caption, const QString& startDir) {
    if (picker()) return picker()(parent, caption, startDir);
    const QString start = startDir.isEmpty() ? QDir::homePath() : startDir;
    return QFileDialog::getExistingDirectory(parent, caption, start, QFileDialog::ShowDirsOnly);
}

void setFolderPicker(FolderPickerFunc f) {
    picker() = std::move(f);
}

} // namespace desk
