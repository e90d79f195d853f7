// The ZIP library's model of one archive: the ordered members with their
// central records and pending actions, the operations that read the
// directory, mark members for adding, deleting, renaming and extracting,
// and the save that writes the whole archive anew.  Compressing and
// extracting a member are the owner's hooks (InsertHelper, ExtractHelper).
//
// A save never touches the archive before the new one is complete: it is
// written to a temporary file in the archive's own folder and renamed over
// the original, whose permissions it keeps.  Only a new archive written
// straight onto a removable disk is written in place (as a spanned set
// when the disk fills).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "archive/zip/PadLock.h"
#include "archive/zip/ZipItem.h"
#include "archive/zip/ZlStreams.h"
#include "archive/zip/ZlTypes.h"

class TZlZipArchive;

using TZlArchiveEvent = std::function<void(TObject* Sender)>;
using TZlArchiveConfirmEvent = std::function<void(TObject* Sender, bool& Confirm)>;
using TZlArchiveProgressEvent =
    std::function<void(TObject* Sender, std::uint8_t Progress, bool& Abort)>;
using TZlArchiveItemConfirmEvent = std::function<void(TObject* Sender, TZlArchiveItem* Item,
                                                      TZlProcessType ProcessType, bool& Confirm)>;
using TZlConfirmOverwriteEvent = std::function<void(std::string& Name, bool& Confirm)>;
using TZlArchiveItemFailureEvent =
    std::function<void(TObject* Sender, TZlArchiveItem* Item, TZlProcessType ProcessType,
                       TZlErrorClass ErrorClass, int ErrorCode)>;
using TZlArchiveItemProgressEvent =
    std::function<void(TObject* Sender, TZlArchiveItem* Item, std::uint8_t Progress, bool& Abort)>;
using TZlNeedPasswordEvent = std::function<void(TObject* Sender, std::string& NewPassword)>;
using TZlRequestDiskEvent = std::function<void(TObject* Sender, bool& Abort)>;
using TZlRequestNthDiskEvent =
    std::function<void(TObject* Sender, std::uint8_t DiskNumber, bool& Abort)>;

// Compresses the item's disk file into OutStream and fills the item's
// record (CRC-32, sizes, method, flags, versions, time, attributes).
using TZlInsertHelper =
    std::function<void(TZlZipArchive* Sender, TZlZipItem& Item, TZlStream& OutStream)>;
// Extracts the item under the name given.
using TZlExtractHelper =
    std::function<void(TZlZipArchive* Sender, TZlZipItem& Item, const std::string& NewName)>;

// The disk prompts of spanned sets when no handler is bound: caption and
// text.  The program sets a hook that shows them; without one the disk is
// taken as inserted.
void ZlSetDiskPromptHook(std::function<void(const std::string& Caption, const std::string& Text)>);
// The default prompt of each disk request: the last disk, disk n (from
// 0), a blank disk.
void ZlPromptLastDisk();
void ZlPromptNthDisk(std::uint32_t Disk);
void ZlPromptBlankDisk();

// Whether a stored name matches a mask: '/' and '\' alike, case ignored,
// '*' and '?'; a mask with a folder part must match the member's folder
// part too, a mask without one matches on the file name alone.  A mask
// ending in ".*" also matches names without an extension.
bool ZlMatchesMask(const std::string& Mask, const std::string& Name);

// The class of a failure and its code, for the item-failure event.
void ZlClassifyException(const std::exception& e, TZlErrorClass& ErrorClass, int& ErrorCode);

class TZlArchive : public TObject {
public:
    // The archive file is opened when first needed (by Load, Save or an
    // extraction).  fmCreate stands for a new archive: nothing is created
    // on disk until a save has members to write.
    TZlArchive(const std::string& FileName, std::uint16_t Mode);
    // An archive on a stream the caller supplies (a memory stream); a save
    // replaces the stream's contents.
    TZlArchive(TZlStream* Stream, bool OwnsStream);
    ~TZlArchive() override;
    TZlArchive(const TZlArchive&) = delete;
    TZlArchive& operator=(const TZlArchive&) = delete;

    const std::string& FileName() const { return fileName_; }
    std::uint16_t Mode() const { return mode_; }
    // The archive stream (opened when needed); null for a new archive
    // that was never saved.
    TZlStream* Stream();
    bool OwnsStream() const { return ownsStream_; }

    std::vector<std::unique_ptr<TZlArchiveItem>> ItemList;
    int Count() const { return static_cast<int>(ItemList.size()); }
    TZlArchiveItem* Items(int Index) const {
        return ItemList.at(static_cast<std::size_t>(Index)).get();
    }
    int IndexOf(const TZlArchiveItem* Item) const;
    TZlArchiveItem* CurrentItem = nullptr;

    // Relative disk names are taken from here.  A value that is not empty
    // must name an existing folder (EZlNoSuchDirectory); one trailing '/'
    // is dropped.
    const std::string& BaseDirectory() const { return baseDirectory_; }
    void SetBaseDirectory(const std::string& Value);

    TZlStoreOptions StoreOptions;
    // An add whose stored name is taken freshens that member (it is
    // replaced, and kept if the new one fails) instead of failing with
    // code 7.
    bool ReplaceDuplicates = false;
    bool DOSMode = false;
    bool AutoSave = false;
    bool IsDirty = false;
    TZlArchiveState State = stIdle;
    TZlPadLock PadLock;

    TZlArchiveItemFailureEvent OnProcessItemFailure;
    TZlArchiveProgressEvent OnArchiveProgress;
    TZlArchiveItemConfirmEvent OnConfirmProcessItem;
    TZlArchiveConfirmEvent OnConfirmSave;
    TZlArchiveEvent OnLoad;
    TZlArchiveEvent OnSave;
    TZlArchiveItemProgressEvent OnArchiveItemProgress;
    TZlNeedPasswordEvent OnNeedPassword;
    TZlConfirmOverwriteEvent OnConfirmOverwrite;

    // Reads the archive's directory; EZlZipInvalid (state stInvalid) when
    // the file is not a ZIP archive.
    void Load();
    // Writes pending changes after the confirm-save event.
    void Save();
    // Marks every file the mask names for adding (SearchAttr: the DOS
    // attributes of files to include besides normal ones; hidden means
    // names beginning with a dot).
    void AddFiles(const std::string& FileMask, int SearchAttr);
    void DeleteFiles(const std::string& FileMask);
    void DeleteAt(int Index);
    void Move(TZlArchiveItem* Item, const std::string& NewName);
    void ExtractFiles(const std::string& FileMask);
    void ExtractAt(int Index, const std::string& NewName);

    virtual std::unique_ptr<TZlArchiveItem> CreateItem(const std::string& FileName) = 0;
    // The stored name of a disk path.
    virtual std::string FixName(const std::string& Name);

protected:
    virtual void LoadArchive() = 0;
    virtual void SaveArchive() = 0;
    virtual void ExtractItem(TZlArchiveItem& Item, const std::string& NewName) = 0;
    // Opens the archive file; called when the stream is first needed.
    virtual void OpenStream();

    void CheckValid() const;
    bool Confirm(TZlArchiveItem* Item, TZlProcessType Type);
    void Progress(std::uint8_t Percent);
    void ItemFailure(TZlArchiveItem* Item, TZlProcessType Type, TZlErrorClass Class, int Code);
    // Adds one item unless its stored name is taken (item-failure code 7).
    void AddItem(std::unique_ptr<TZlArchiveItem> Item);
    bool NameTaken(const std::string& StoredName, const TZlArchiveItem* Except);
    // The absolute, normalised path of a disk name.
    std::string ExpandFileName(const std::string& Name) const;

    std::string fileName_;
    std::uint16_t mode_ = fmOpenRead;
    std::unique_ptr<TZlStream> ownedStream_;
    TZlStream* stream_ = nullptr;
    bool ownsStream_ = false;
    bool opened_ = false;
    std::string baseDirectory_;
    // Upper-cased stored names of the live members, built when first
    // needed and dropped whenever members change other than by an add.
    std::unordered_set<std::string> nameIndex_;
    bool indexValid_ = false;
    void InvalidateIndex() { indexValid_ = false; }

private:
    void collectFiles(const std::string& folder, const std::string& prefix,
                      const std::string& pattern, int searchAttr, bool recurse,
                      std::vector<std::string>& out) const;
};

class TZlZipArchive : public TZlArchive {
public:
    TZlZipArchive(const std::string& FileName, std::uint16_t Mode);
    TZlZipArchive(TZlStream* Stream, bool OwnsStream);
    ~TZlZipArchive() override;

    TZlZipItem* ZipItems(int Index) const { return static_cast<TZlZipItem*>(Items(Index)); }

    TZlZipDirectoryFileFooter Footer;
    bool IsExecutable = false;
    std::int64_t StubSize = 0;
    // A set of disks: floppies asked for one after another at the same
    // name, or (IsSplit) split files beside each other (name.z01,
    // name.z02, ..., name.zip).
    bool IsSpanned = false;
    bool IsSplit = false;
    std::uint32_t CurrentDisk = 0;

    TZlInsertHelper InsertHelper;
    TZlExtractHelper ExtractHelper;
    TZlRequestDiskEvent OnRequestLastDisk;
    TZlRequestNthDiskEvent OnRequestNthDisk;
    TZlRequestDiskEvent OnRequestBlankDisk;

    std::string Password;
    TZlZipEncryption Encryption = zeTraditional;
    TZlZipSupportedMethod CompressionMethodToUse = smBestMethod;
    TZlZipDeflationOption DeflationOption = doNormal;

    std::unique_ptr<TZlArchiveItem> CreateItem(const std::string& FileName) override;

    // Makes the archive stream show disk `Disk` of a set: the split file of
    // that number, or (floppies) the same name again after the
    // request-nth-disk event.
    void ChangeDisk(std::uint32_t Disk);
    // The file that holds disk `Disk` of a split set.
    std::string DiskFileName(std::uint32_t Disk) const;

    // Finds the member's local header: at its offset, or, in an archive
    // whose directory offset was stated wrongly, at the offset the member
    // states; returns its position (on the member's disk).  EZlZipInvalid
    // when neither holds one.
    std::uint64_t FindLocalHeader(const TZlZipItem& Item, zip::LocalHeader& Header);

    // Per-member progress, as the hooks report it (Abort raises
    // EZlUserAbort).
    void ItemProgress(TZlArchiveItem* Item, std::uint8_t Percent);

    // The medium the archive lives on.  Tests replace these to simulate
    // small removable disks.
    virtual std::unique_ptr<TZlStream> OpenFile(const std::string& Name, std::uint16_t Mode);
    virtual bool OnRemovableDisk();
    virtual void SetVolumeLabel(const std::string& Label);

protected:
    void LoadArchive() override;
    void SaveArchive() override;
    void ExtractItem(TZlArchiveItem& Item, const std::string& NewName) override;
    void OpenStream() override;

private:
    class Output;
    void requestDisk(bool last, std::uint32_t disk);
    void reopen();
    bool detectSplit();
    bool lastDiskOfSet();
    void loadSingleDisk();
    void loadDiskSet();
    void addLoadedItem(const zip::CentralHeader& h, std::string name, std::string extra,
                       std::string comment, std::int64_t delta);
    void loadProgress(std::uint64_t read, std::uint64_t total);
    void writeMember(Output& out, TZlZipItem& item, std::size_t index);
    void writeKept(Output& out, TZlZipItem& item, std::size_t index);
    void writeNew(Output& out, TZlZipItem& item, std::size_t index);
    void writeDirectory(Output& out);
    void replaceArchive(Output& out, const std::string& tempName);
    void tidyAfterSave();

    // Where each member went in the save being written; applied to the
    // members only when the save succeeds.
    struct Placement {
        std::uint64_t Offset = 0;
        std::uint32_t Disk = 0;
    };
    std::vector<Placement> placements_;
    // What was added to the stored offsets to get file positions.
    std::int64_t offsetDelta_ = 0;
};

// Sequential reading of an archive from a position on a disk, going on to
// the next disk of a set at the end of one.
class TZlDiskReader {
public:
    TZlDiskReader(TZlZipArchive& Archive, std::uint32_t Disk, std::uint64_t Offset);
    // Up to Count bytes; 0 at the end of the last disk.
    std::size_t Read(void* Buffer, std::size_t Count);
    // Exactly Count bytes, else EZlZipInvalid.
    void ReadBuffer(void* Buffer, std::size_t Count);
    std::uint32_t Disk() const { return disk_; }
    std::uint64_t Offset() const { return offset_; }

private:
    TZlZipArchive& a_;
    std::uint32_t disk_;
    std::uint64_t offset_;
};
