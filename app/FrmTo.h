// The copy/move dialog: the checked files or folders are copied or moved
// into the chosen folder through the desktop's file-operation engine; in
// its archive mode (the viewer's Decompress) the checked members are
// extracted there.
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TCheckList;
class TNameSpaceEnumerator;
class TArcLister;

namespace app {
class ExtractorDriver;
}

class TfrmTo : public QDialog {
    Q_OBJECT
public:
    explicit TfrmTo(QWidget* parent = nullptr);
    ~TfrmTo() override;

    TCheckList* lstFilesAndFolders = nullptr;
    TNameSpaceEnumerator* dirSource = nullptr;
    QLabel* lblFileName = nullptr;
    QComboBox* cmbTo = nullptr;
    QLabel* lblOperation = nullptr;
    QRadioButton* optCopy = nullptr;
    QRadioButton* optMove = nullptr;
    QCheckBox* chkRename = nullptr;
    QCheckBox* chkConfirm = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdClearHistory = nullptr;
    std::unique_ptr<TArcLister> ArcLister1;

    static inline const QString FileOperationText = QStringLiteral("File Operation:");
    static inline const QString DirectoryOperationText = QStringLiteral("Directory Operation:");

    // Copy File / Move File: the caption, the operation and the files.
    void PrepareFiles(bool move, const QStringList& paths);
    // Copy / Move Directory To...: the same for one folder.
    void PrepareDirectory(bool move, const QString& path);
    // The viewer's Decompress: the operation controls hidden, the archive in
    // the hidden label, folder selected in the tree, the member names listed.
    void PrepareArchive(const QString& archive, const QStringList& names, const QString& folder);

    bool ArchiveMode() const;
    bool DirectoryMode() const;

    // The target folder Ok works with: the box, else the tree's folder.
    QString Target() const;
    // What Ok does.
    void Ok();

protected:
    void showEvent(QShowEvent* e) override;
    void done(int r) override;

private:
    void extractChecked(const QString& target, const QStringList& names);
    void copyOrMove(const QString& target, const QStringList& paths);
    void rememberTarget(const QString& target);
    std::unique_ptr<app::ExtractorDriver> driver_;
};
