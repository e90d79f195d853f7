// The folder picker (a QFileDialog choosing folders), replaceable by tests.
// A typed folder that does not exist is created after a question instead of
// being refused.
#pragma once

#include <QFileDialog>
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

// The open-file dialog (the file must exist); empty when cancelled.
// Replaceable by tests in the same way.
QString selectExistingFile(QWidget* parent, const QString& caption, const QString& startDir = {});
void setFilePicker(FolderPickerFunc picker);

// When folder does not exist: asks whether to create it and does so on
// Yes.  True when the folder exists afterwards; a failure to create it is
// shown.
bool confirmCreateFolder(const QString& folder, QWidget* parent = nullptr);

// The dialog behind selectDirectory.
class FolderDialog : public QFileDialog {
    Q_OBJECT
public:
    FolderDialog(QWidget* parent, const QString& caption, const QString& startDir);
    QString chosenFolder() const;

public slots:
    void accept() override;
};

} // namespace desk
