// The command layer: what the menu items, tool buttons and pop-up items do
// on the active folder window.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "archive/core/ArcTypes.h"

class TfrmMain;
class TfrmChild;
class TZipCommon;
class TUnBase;

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

    // Lists an archive in the plain list window, shown modally;
    // beforeShow runs just before it appears.
    void ListArchiveModal(const QString& path, const std::function<void()>& beforeShow = {});

    enum class ExtractResult { Done, Unsupported };
    // Extracts every member of archive (of the given type) into target.
    ExtractResult ExtractArchive(const QString& archive, TArcType type, const QString& target);

    // Shared handlers of the extractors' events.
    void onProgress(const std::string& fn, std::uint8_t percent);
    void onEnd(TZipCommon& x, const std::string& fn, bool crcPass);
    void onError(const std::string& fn, const std::string& volumeId, int code);
    void onGetPassword(TZipCommon& x, std::string& password, bool& tryAgain);
    void onDeactivate();

private:
    void wire(TUnBase& x);

    TfrmMain& frame_;
    bool zipProgress_ = false;
};

// The viewer groups of View File: 0 = shell, 1 = viewer without Add, 2 = with Add.
int viewGroupOf(TArcType type);
