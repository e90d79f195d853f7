// The ZIP library's components share this base: the archive they hold (from
// the moment FileName names a file), the base folder, and the events they
// forward from the archive with themselves as Sender.
#pragma once

#include <memory>
#include <string>

#include "archive/zip/ZipArchive.h"

class TZlBaseComponent : public TComponent {
public:
    using TComponent::TComponent;
    std::string Version() const { return "1.03"; }
};

class TZlCustomZipBrowser : public TZlBaseComponent {
public:
    explicit TZlCustomZipBrowser(TComponent* AOwner = nullptr);
    ~TZlCustomZipBrowser() override;

    const std::string& FileName() const { return fileName_; }
    virtual void SetFileName(const std::string& Value) = 0;
    const std::string& BaseDirectory() const { return baseDirectory_; }
    // Also set in the open archive, where a value that is not empty must
    // name an existing folder (EZlNoSuchDirectory).
    void SetBaseDirectory(const std::string& Value);

    // The open archive; null until FileName names a file.
    TZlZipArchive* Archive() const { return archive_.get(); }

    TZlArchiveProgressEvent OnArchiveProgress;
    TZlArchiveItemProgressEvent OnArchiveItemProgress;
    TZlArchiveEvent OnChange;
    TZlArchiveItemConfirmEvent OnConfirmProcessItem;
    TZlArchiveEvent OnLoad;
    TZlArchiveItemFailureEvent OnProcessItemFailure;
    TZlRequestDiskEvent OnRequestLastDisk;
    TZlRequestNthDiskEvent OnRequestNthDisk;

protected:
    // The archive object for a file (tests make archives on simulated disks).
    virtual std::unique_ptr<TZlZipArchive> MakeArchive(const std::string& FileName,
                                                       std::uint16_t Mode);
    // Copies the settings into the archive and binds its events to the
    // forwarding handlers.
    virtual void CopyToArchive();
    void Changed();

    std::unique_ptr<TZlZipArchive> archive_;
    std::string fileName_;
    std::string baseDirectory_;
};
