#include "archive/extract/UnSFX.h"

#include <cctype>

#include "archive/core/Hooks.h"
#include "platform/FileSystem.h"

namespace {

// The extension of the plain archive inside a program of this type; empty
// for a type that is not a self-extracting archive of a family we read.
std::string embeddedExtension(TArcType t) {
    switch (t) {
    case atArcExe:
        return ".ARC";
    case atArjExe:
        return ".ARJ";
    case atBHExe:
        return ".BH";
    case atPakExe:
        return ".PAK";
    case atRarExe:
        return ".RAR";
    case atZipExe:
    case atZip250Exe:
        return ".ZIP";
    case atLhaExe:
        return ".LHA";
    case atLzhExe:
        return ".LZH";
    default:
        return {};
    }
}

bool hasLower(const std::string& s) {
    for (unsigned char c : s)
        if (std::islower(c)) return true;
    return false;
}

} // namespace

TUnSFX::TUnSFX(TComponent* AOwner) : TZipCommon(AOwner) {}

void TUnSFX::Clear() {
    TZipCommon::SetArchiveFile(std::string());
    ArcType_ = atNA;
    OutFilename_.clear();
}

void TUnSFX::SetArchiveFile(const std::string& Value) {
    if (Value.empty() || !plat::fileExists(Value)) {
        if (!Value.empty()) ShowMessageBox(Value + "\rFile not found.");
        Clear();
        return;
    }
    TZipCommon::SetArchiveFile(Value);
    if (ArcType_ < atARC || ArchiveSize == 0) {
        ShowMessageBox("Invalid Archive.");
        Clear();
        return;
    }
    if (embeddedExtension(ArcType_).empty()) {
        ShowMessageBox("Unsupported or invalid archive type.");
        Clear();
        return;
    }
    OutFilename_ = DefaultOutFilename();
}

// The program's folder and name up to the name's first '.', with the
// archive's extension, in lower case when the name has lower-case letters.
std::string TUnSFX::DefaultOutFilename() const {
    const std::string ext = embeddedExtension(ArcType_);
    if (ArchiveFile_.empty() || ext.empty()) return {};
    std::string name = plat::extractFileName(ArchiveFile_);
    const auto dot = name.find('.', 1);
    if (dot != std::string::npos) name.resize(dot);
    std::string e = ext;
    if (hasLower(name))
        for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return plat::extractFilePath(ArchiveFile_) + name + e;
}

void TUnSFX::SetOutFilename(const std::string& Value) {
    if (plat::extractFileName(Value).empty()) {
        OutFilename_ = DefaultOutFilename();
        return;
    }
    if (ArchiveFile_.empty()) {
        ShowMessageBox("ArchiveFile must be defined.");
        OutFilename_.clear();
        return;
    }
    if (plat::directoryExists(Value)) {
        ShowMessageBox(Value + " is an existing directory.");
        OutFilename_ = DefaultOutFilename();
        return;
    }
    const std::string folder = plat::extractFilePath(Value);
    if (folder.empty()) {
        std::string base = plat::extractFilePath(ArchiveFile_);
        if (base.empty()) base = plat::includeTrailingDelimiter(plat::getCurrentDir());
        OutFilename_ = base + Value;
        return;
    }
    if (plat::directoryExists(folder)) {
        OutFilename_ = Value;
        return;
    }
    if (ShowMessageBox("Directory NOT found, create?", true)) {
        if (plat::forceDirectories(plat::excludeTrailingDelimiter(folder))) {
            OutFilename_ = Value;
            return;
        }
        ShowMessageBox("Error creating directory: " + folder);
    }
    OutFilename_ =
        plat::includeTrailingDelimiter(plat::getCurrentDir()) + plat::extractFileName(Value);
}
