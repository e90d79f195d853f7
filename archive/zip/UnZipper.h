// TZlUnZipper: extracts ZIP archives through the library.  It owns one
// archive model, binds its extraction hook to the library's extraction
// routine and forwards the archive's events.
#pragma once

#include "archive/zip/UnzipHelper.h"
#include "archive/zip/ZipBrowser.h"

class TZlCustomUnZipper : public TZlCustomZipBrowser {
public:
    explicit TZlCustomUnZipper(TComponent* AOwner = nullptr);

    // Opens and loads the named archive (read-only); a missing file leaves
    // the component without an archive.
    void SetFileName(const std::string& Value) override;

    TZlExtractOptions ExtractOptions() const { return extractOptions_; }
    void SetExtractOptions(TZlExtractOptions Value) { extractOptions_ = Value; }
    const std::string& Password() const { return password_; }
    void SetPassword(const std::string& Value) { password_ = Value; }
    std::uint8_t PasswordRetries() const { return retries_; }
    void SetPasswordRetries(std::uint8_t Value) { retries_ = Value; }

    // Decode and check the members without writing anything.
    bool TestOnly = false;

    TZlConfirmOverwriteEvent OnConfirmOverwrite;
    TZlNeedPasswordEvent OnNeedPassword;

    // EZlNoArchive without an archive; the first member that fails stops
    // the extraction with its exception.
    void ExtractFiles(const std::string& FileMask);
    // One member under its stored name (or NewName).
    void ExtractAt(int Index, const std::string& NewName = "");

protected:
    void CopyToArchive() override;

private:
    TZlExtractOptions extractOptions_{eoCreateDirs};
    std::string password_;
    std::uint8_t retries_ = 3;
};

class TZlUnZipper : public TZlCustomUnZipper {
public:
    using TZlCustomUnZipper::TZlCustomUnZipper;
};
