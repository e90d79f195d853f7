// The folder picker (QFileDialog::getExistingDirectory), replaceable by tests.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

namespace desk {

using FolderPickerFunc =
    std::function<QString(QWidget* parent, const QString& caption, const QString& startDir)>;

// Returns the chosen folder, empty when cancelled.
QString selectDirectory(QWidget* parent, const QString& caption, const QString& startDir = {});
// Replaces the dialog; an empty function restores it.
void setFolderPicker(FolderPickerFunc picker);

} // namespace desk
