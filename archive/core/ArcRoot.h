// The archive component family: shared properties, events, type detection
// state and the error path of the lister, the extractors and the writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/core/ArcTypes.h"
#include "archive/core/Errors.h"
#include "archive/core/Rtl.h"
#include "platform/File.h"

// Tells whether a compressed file holds a TAR archive, given the tarball
// kind it would be (TAR+GZ, TAR+XZ, ...).  The extraction engine installs
// it; without it compressed files are taken as single files.
using TTarballProbe = bool (*)(const std::string& path, TArcType tarballType);
void SetTarballProbe(TTarballProbe probe);

// Attribute filter used when the writer gathers files; the flags follow Mask.
class TArcFileAttr : public TObject {
public:
    TArcFileAttr();

    std::int32_t Mask = 33;

    bool ftReadOnly() const { return ReadOnly_; }
    bool ftHidden() const { return Hidden_; }
    bool ftSysFile() const { return SysFile_; }
    bool ftVolumeID() const { return VolumeID_; }
    bool ftDirectory() const { return Directory_; }
    bool ftArchive() const { return Archive_; }
    void SetftReadOnly(bool v) { setBit(ReadOnly_, v, 0x01); }
    void SetftHidden(bool v) { setBit(Hidden_, v, 0x02); }
    void SetftSysFile(bool v) { setBit(SysFile_, v, 0x04); }
    void SetftVolumeID(bool v) { setBit(VolumeID_, v, 0x08); }
    void SetftDirectory(bool v) { Directory_ = v; }
    void SetftArchive(bool v) { setBit(Archive_, v, 0x20); }

private:
    void setBit(bool& flag, bool v, std::int32_t bit);
    bool ReadOnly_ = false, Hidden_ = false, SysFile_ = false, VolumeID_ = false;
    bool Directory_ = false, Archive_ = false;
};

// Percent step decision shared by all components.  Step is 5, 10, 15, 20 or 25.
bool ProgressDue(bool Force, int Step, std::uint8_t& Percent, std::int64_t Total,
                 std::int64_t Done);

class TArcRoot : public TComponent {
public:
    using TComponent::TComponent;
};

class TZipCommon : public TArcRoot {
public:
    explicit TZipCommon(TComponent* AOwner = nullptr);
    ~TZipCommon() override;

    // Published
    std::string About() const;
    // Reading the archive name also clears Cancel (letting messages run once).
    const std::string& ArchiveFile();
    virtual void SetArchiveFile(const std::string& Value);
    TArcType ArcType() const { return ArcType_; }
    // Writing any value re-runs detection.
    virtual void SetArcType(TArcType Value);
    TOnError OnError;

    // Public, shared by the family
    bool Cancel() const { return Cancel_; }
    void SetCancel(bool Value);
    std::string FileName;
    const std::string& FileSpec() const { return FileSpec_; }
    void SetFileSpec(const std::string& Value);
    int ZipCmntBufSize() const { return ZipCmntBufSize_; }
    void SetZipCmntBufSize(int Value);
    TProgressNotify ProgressNotify = Ten;
    bool UseStoredDirs = true;
    TStringList Passwords;
    TOnProgress OnProgress;

    // Detection state
    std::int64_t ArchiveStart = 1; // 1-based
    std::int64_t ArchiveSize = 0;
    std::uint32_t ArchiveDate = 0; // DOS date-time
    std::int64_t SfxZipOffset = 0; // 0-based start announced by an executable

    // Walk state
    std::int64_t CurrentPos = 1; // 1-based position of the next header
    std::int64_t ReadPos = 0;
    std::int64_t HeaderSize = 0;
    std::int64_t EndLimit = 0;
    int FileCount = 0;

    // The folder of ArchiveFile (the current folder when there is none):
    // where folders left empty resolve.
    std::string ArchiveFolder() const;

    // Target folder of the extractors; always ends with '/' once set.
    const std::string& ExtractDir() const { return ExtractDir_; }
    virtual void SetExtractDir(const std::string& Value);

    // Virtual slots
    virtual void MakeFileName(const std::string& StoredName);
    virtual TDateTime ConvertDate(std::uint32_t Stamp);

    void DetectArcType();
    static TArcType SignatureToArcType(int InExecutable, std::uint32_t Signature,
                                       const std::string& FileName, std::int64_t& Start);

    // Error path: report through OnError (or a message box in design mode),
    // then throw E_RAISE with the code's text.
    [[noreturn]] void RaiseError(const std::string& FileName, int ECode,
                                 const std::string& VolumeID = "0");
    void ReportError(const std::string& FileName, const std::string& VolumeID, int ECode);

    // Applies ProgressDue with this component's step and raises OnProgress.
    void DoProgress(bool Force, std::int64_t Total, std::int64_t Done);
    int ProgressStep() const { return (static_cast<int>(ProgressNotify) + 1) * 5; }
    std::uint8_t LastPercent = 0;

    // Shell helpers for list rows, answered through the hooks of Hooks.h.
    int IconIndex() const;
    std::string FileTypeName(const std::string& Name) const;

    void Loaded() override;

protected:
    TArcFileAttr FileAttribute_;
    std::string ArchiveFile_;
    std::string FileSpec_;
    std::string ExtractDir_;
    TArcType ArcType_ = atNA;
    int ZipCmntBufSize_ = 2000;
    bool Cancel_ = false;
};

// A header of an existing archive as the writer sees it.
struct TCompHeader {
    std::string Name;
    std::uint32_t DosDate = 0;
    std::int64_t Size = 0;
    int Attr = 0;
    std::int64_t NextHeaderPos = 0; // 0 when there is no next header
    // The member's place in the archive: it runs from HeaderPos to
    // NextHeaderPos, header and data together.
    std::int64_t HeaderPos = 0;
    std::int64_t PackedSize = 0;
    std::uint32_t Crc = 0;
    std::string Method = {}; // the format's method id
};

class TCompBase : public TZipCommon {
public:
    explicit TCompBase(TComponent* AOwner = nullptr);

    TArcFileAttr& FileAttribute() { return FileAttribute_; }
    std::string DefaultDir() const;
    void SetDefaultDir(const std::string& Value);
    bool StoreDirs = false;
    const TStringList& FileSpec() const { return FileSpecList_; }
    // Lines added to the list itself keep their folder part.
    TStringList& FileSpec() { return FileSpecList_; }
    void SetFileSpec(const TStringList& Value);
    bool RecurseDirs = false;
    TSwitch Switch = swAdd;
    TNotifyEvent OnActivate, OnDeactivate;
    TOnBegin OnBegin;
    TOnEnd OnEnd;
    TOnRead OnRead;
    TOnRecurseDir OnRecurseDir;
    TOnReplaceFile OnReplaceFile;

    void MakeFileName(const std::string& StoredName) override;

    // Walking an existing archive.
    virtual bool ReadHeader(TCompHeader& Header, plat::File& Stream, bool Flag);
    virtual bool FirstHeader(TCompHeader& Header, plat::File& Stream, bool Flag);
    virtual void NextEntry(TCompHeader& Header);
    virtual bool Compress();

    // Entries of the existing archive, for the replace decision.
    std::vector<TCompHeader> ExistingEntries;
    // Whether a file about to be added goes in (new or replacing an entry).
    bool ReplaceDecision(const std::string& StoredName, std::uint32_t NewDosDate,
                         std::int64_t NewSize, int NewAttr);
    // Raises OnRead once per member of the existing archive (Switch = swRead).
    void ListExisting();

protected:
    std::string DefaultDir_;
    TStringList FileSpecList_;
};

// A stream on a new temporary file ("BH" prefix).  Destroying it closes the
// file but leaves it on disk for its user to remove.
class TTempFileStream : public plat::File {
public:
    TTempFileStream();
    const std::string& Name() const { return Name_; }
    // The first name ever created in the process, and the latest one.
    static std::string FirstTempName;
    static std::string LastTempName;

private:
    std::string Name_;
};
