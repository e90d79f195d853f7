// The archive lister: walks the directory of an archive of any supported
// type and reports each member through OnRead and the sums through OnTotals.
// One directory reader per format family does the format's work (see
// DirectoryReader.h); this class holds the frame, the member record and the
// services the readers share.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/core/ArcRoot.h"
#include "platform/File.h"

class DirectoryReader;

// Percent saved, at least 1 when anything was saved; 0 when nothing was.
std::uint8_t CalcRatio(std::int64_t Packed, std::int64_t Unpacked);

// The method name shown for a member.  Method is the family's raw code (for
// LHA the digit character of -lhN-, for CAB the whole compression type);
// ZipFlags supplies the Deflate suffix of ZIP members.
std::string MethodNameOf(TArcType Family, std::uint32_t Method, std::uint16_t ZipFlags = 0);

class TArcLister : public TZipCommon {
public:
    explicit TArcLister(TComponent* AOwner = nullptr);
    ~TArcLister() override;

    // Published (ArchiveFile, ArcType, FileSpec, ZipCmntBufSize and OnError
    // come from TZipCommon; FileSpec starts as "*.*").
    bool ShowBlankDirs = false;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TOnRead OnRead;
    TNotifyEvent OnReadBegin;
    TNotifyEvent OnReadEnd;
    TOnTotals OnTotals;

    // Lists the archive; false when an error was raised (already reported
    // through OnError).
    bool Activate();

    // Member record, valid from OnReadBegin to OnReadEnd of each member.
    // FileName (inherited) is the stored path with '/' separators, decoded
    // for display.
    std::int64_t PackedSize = 0;
    std::int64_t UnpackedSize = 0;
    std::uint8_t Ratio = 0;
    std::uint32_t CRC = 0;
    TDateTime DateTime = 0;
    std::uint16_t Method = 0;
    std::string MethodName;
    bool Encrypted = false;
    std::uint8_t DeflateOption = 0; // 0, 2, 4 or 6
    std::uint16_t VersionMadeBy = 0;
    std::uint16_t VersionNeeded = 0;
    std::uint16_t InternalAttr = 0;
    std::uint32_t ExternalAttr = 0;
    std::string FileComment; // empty: none

    // Totals and archive-wide fields.
    std::int64_t TotalPackedSize = 0;
    std::int64_t TotalUnpackedSize = 0;
    std::uint8_t TotalRatio = 0;
    std::string ArchiveComment; // empty: none; valid until Activate returns

    // ---- Services for the directory readers (not for the front ends) ----

    // The archive open during Activate, and the fixed part of the header
    // the frame has just read (HeaderSize bytes; zero-filled past the end
    // of the file).
    plat::File& Archive() { return Archive_; }
    const std::vector<std::uint8_t>& Header() const { return Header_; }

    // Exact positioned read; false on error or short read.
    bool ReadBytes(std::int64_t Pos, void* Buf, std::size_t N);
    // Reads at most MaxLen bytes from Pos up to a zero byte (or the end of
    // the file).  After is set to the position behind the zero byte, or
    // behind the last byte read when none was found.
    std::string ReadZString(std::int64_t Pos, std::size_t MaxLen, std::int64_t& After);

    // A stored name as FileName takes it: bytes up to the first zero, every
    // '\' and '/' a '/', decoded (UTF-8 kept, else CP437).
    static std::string StoredName(std::string_view Raw);
    // Text of a comment up to its first zero byte, decoded the same way.
    static std::string CommentText(std::string_view Raw);

    // MatchSpec(FileSpec, Name, true).
    bool Shown(const std::string& Name) const;
    // FileCount + 1 and both totals.
    void CountMember(std::int64_t Packed, std::int64_t Unpacked);
    // OnReadBegin, OnRead(Offset, FileCount), OnReadEnd.
    void ReportMember(std::int64_t Offset);
    // Ends the walk after the current step.
    void EndWalk() { ReadPos = EndLimit; }
    // The error path with this lister's archive name: report, then throw.
    [[noreturn]] void Fail(int ECode, const std::string& VolumeID = "0");
    // Reports only.
    void Report(int ECode, const std::string& VolumeID = "0");
    // Closes the current file and opens another volume of the set; false
    // when it cannot be opened (the previous file is then closed).  The
    // walk may then go on at any position of the new file; a walk that
    // switches files more than kMaxVolumeSwitches times is refused.
    bool OpenVolume(const std::string& Path);
    // The archive's own attribute byte (DOS style) and time stamp.
    std::uint32_t ArchiveAttributes() const;

    static constexpr int kMaxVolumeSwitches = 10000;

private:
    void clearRecord();
    void walk(DirectoryReader& reader);
    std::int64_t readAtPos(std::int64_t Pos, void* Buf, std::size_t N);

    plat::File Archive_;
    bool volumeChanged_ = false;
    int volumeSwitches_ = 0;
    std::vector<std::uint8_t> Header_;
};
