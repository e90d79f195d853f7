// TZlZipper: creates ZIP archives and adds members to or deletes members
// from existing ones.  It owns one archive model, copies its settings into
// it, binds the archive's insertion hook to the member compressor and
// forwards the archive's events.
#pragma once

#include "archive/zip/ZipBrowser.h"

class TZlCustomZipper : public TZlCustomZipBrowser {
public:
    explicit TZlCustomZipper(TComponent* AOwner = nullptr);
    // Writes pending changes first; a failure there cannot be reported
    // from here, so owners call Save (or SetFileName("")) before.
    ~TZlCustomZipper() override;

    // Writes the pending changes of the open archive (a failure to do so
    // is raised and the old archive stays open with its changes pending),
    // then opens the named archive: a missing file gives a new, empty
    // archive (nothing is written until a save has members), an existing
    // one is loaded.
    void SetFileName(const std::string& Value) override;

    bool AutoSave() const { return autoSave_; }
    void SetAutoSave(bool Value);
    TZlZipSupportedMethod CompressionMethodToUse() const { return method_; }
    void SetCompressionMethodToUse(TZlZipSupportedMethod Value);
    TZlZipDeflationOption DeflationOption() const { return deflation_; }
    void SetDeflationOption(TZlZipDeflationOption Value);
    bool DOSMode() const { return dosMode_; }
    void SetDOSMode(bool Value);
    const std::string& Password() const { return password_; }
    void SetPassword(const std::string& Value);
    // How a password encrypts new members; traditional unless set, since
    // the library's own unzipper and old tools read only that.
    TZlZipEncryption Encryption() const { return encryption_; }
    void SetEncryption(TZlZipEncryption Value);
    TZlStoreOptions StoreOptions() const { return storeOptions_; }
    void SetStoreOptions(TZlStoreOptions Value);

    TZlArchiveConfirmEvent OnConfirmSave;
    TZlArchiveEvent OnSave;
    TZlRequestDiskEvent OnRequestBlankDisk;

    // EZlNoArchive without an archive.
    void AddFiles(const std::string& FileMask, int SearchAttr);
    void DeleteFiles(const std::string& FileMask);
    void Move(TZlArchiveItem* Item, const std::string& NewName);
    void Save();
    // Drops the open archive's pending changes.
    void DiscardChanges();

protected:
    void CopyToArchive() override;

private:
    bool autoSave_ = false;
    TZlZipSupportedMethod method_ = smBestMethod;
    TZlZipDeflationOption deflation_ = doNormal;
    bool dosMode_ = false;
    std::string password_;
    TZlZipEncryption encryption_ = zeTraditional;
    TZlStoreOptions storeOptions_{soStripDrive, soRemoveDots};
};

class TZlZipper : public TZlCustomZipper {
public:
    using TZlCustomZipper::TZlCustomZipper;
};
