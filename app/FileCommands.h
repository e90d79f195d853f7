// The file and folder commands of the frame and the folder windows' pop-up
// menus: copy, move, delete, rename, new folder, attributes, date and time.
// Copying, moving and deleting go through the desktop's file-operation
// engine (progress, Cancel, questions, the trash).
#pragma once

#include <QString>
#include <QStringList>

class TfrmMain;
class TfrmChild;

class FileCommands {
public:
    explicit FileCommands(TfrmMain& frame);

    void CopyFile(bool move);
    void CopyDirectory(bool move);
    void DeleteFile();
    void DeleteDirectory();
    void RenameFile();
    void NewDirectory(bool rename);
    void FileAttributes();
    void FileDateTime();

    // "ConfirmWhenDeleting" of the configuration: only "0" turns the
    // question off.
    static bool ConfirmWhenDeleting();

private:
    // The active window when it has a selection (else the notice).
    TfrmChild* selectionChild();
    // The active window's folder; empty (with a notice) for a virtual one.
    QString treeFolder(TfrmChild* child);
    QStringList selectedFiles(TfrmChild* child) const;

    TfrmMain& frame_;
};
