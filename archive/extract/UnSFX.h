// Inspects a self-extracting program and proposes the name of the plain
// archive inside it (OutFilename): the program's name with the extension
// of the archive's type.  Everything it has to say goes to message boxes
// (ShowMessageBox); it extracts nothing.
#pragma once

#include <string>

#include "archive/core/ArcRoot.h"

class TUnSFX : public TZipCommon {
public:
    explicit TUnSFX(TComponent* AOwner = nullptr);

    // Published
    void SetArchiveFile(const std::string& Value) override;
    const std::string& OutFilename() const { return OutFilename_; }
    void SetOutFilename(const std::string& Value);
    TOnFileExists OnFileExists;

private:
    void Clear();
    std::string DefaultOutFilename() const;
    std::string OutFilename_;
};
