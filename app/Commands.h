// The command layer: what the menu items, tool buttons and pop-up items do
// on the active folder window.
#pragma once

#include <QPoint>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/core/ArcTypes.h"

class TfrmMain;
class TfrmChild;
class TZipCommon;
class TUnBase;
namespace app {
class ExtractorDriver;
}
namespace desk {
struct DirectoryItem;
}

class Commands {
public:
    explicit Commands(TfrmMain& frame);
    ~Commands();

    // The selection check: true when the active window's list has a
    // selection, else the notice and false.
    bool SelectionCheck(TfrmChild* child);
    // Selected file i (from 1): the current directory + the item's name.
    QString SelectedFile(TfrmChild* child, int i) const;

    void ViewFile();
    void DecompressFile();
    void FileMask();
    void Configure();
    void About();
    void NotAvailable();

    // The compress dialog on the selected files, the current folder tree,
    // or the whole file system the current folder is on.
    void CompressFile();
    void CompressDirectory();
    void CompressDisk();

    void RunFile();
    void ViewAsText();
    void DosPromptHere();
    // Format Disk and Copy Disk: the desktop's disk utility.
    void DiskUtility();
    void PrintDirectory();
    void MakeExeFile();
    // "More...": of each selected file, of the current folder, of its drive.
    void MoreFiles();
    void MoreDirectory();
    void MoreDisk();
    void DownloadLatestVersion();

    // The items of the active window's file list, in list order, for the
    // directory report.
    std::vector<desk::DirectoryItem> DirectoryItems(TfrmChild* child) const;

    // Opens path with the desktop's application; a folder without one opens
    // in child, and any failure is explained.
    void OpenWithShell(TfrmChild* child, const QString& path);

    enum class ExtractResult { Done, Cancelled, Unsupported };
    // Extracts every member of archive (of the given type) into target with
    // the two-bar progress window.
    ExtractResult ExtractArchive(const QString& archive, TArcType type, const QString& target);

private:
    // Shows the "More..." menu of path at pos (frame coordinates).
    void runCompress(const QString& heading, const QStringList& lines, const QString& base);
    void showMoreMenu(const QString& path, const QPoint& pos);
    TfrmMain& frame_;
    std::unique_ptr<app::ExtractorDriver> driver_;
};

// The viewer groups of View File: 0 = shell, 1 = viewer without Add, 2 = with Add.
int viewGroupOf(TArcType type);
