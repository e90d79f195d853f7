// The command layer: what the menu items, tool buttons and pop-up items do
// on the active folder window.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "archive/core/ArcTypes.h"

class TfrmMain;
class TfrmChild;
class TZipCommon;
class TUnBase;
namespace app {
class ExtractorDriver;
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

    // Opens path with the desktop's application; a folder without one opens
    // in child, and any failure is explained.
    void OpenWithShell(TfrmChild* child, const QString& path);

    enum class ExtractResult { Done, Cancelled, Unsupported };
    // Extracts every member of archive (of the given type) into target with
    // the two-bar progress window.
    ExtractResult ExtractArchive(const QString& archive, TArcType type, const QString& target);

private:
    TfrmMain& frame_;
    std::unique_ptr<app::ExtractorDriver> driver_;
};

// The viewer groups of View File: 0 = shell, 1 = viewer without Add, 2 = with Add.
int viewGroupOf(TArcType type);
