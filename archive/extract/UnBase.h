// The extraction frame shared by every extractor: member selection, target
// paths confined to the target folder, the exists / begin / password /
// progress / end / error events, the output with its CRC and size check,
// folders, links, time stamps and attributes.  An extractor supplies its
// member walk, its family's method table and encryption, and the few
// choices where the formats differ (TFramePolicy).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "archive/core/ArcRoot.h"
#include "archive/extract/Decoder.h"
#include "platform/ConfinedDir.h"
#include "platform/File.h"

// How a member's check value is compared with the stored one.
enum class TVerdict : std::uint8_t {
    Crc32,             // started at all ones, complemented at the end
    Crc32NoComplement, // compared without the final complement
    Crc16,             // CRC-16/ARC
    AlwaysPass,
};

// The points where the extractors differ within the frame.
struct TFramePolicy {
    TVerdict Verdict = TVerdict::Crc32;

    // A member the FileSpec leaves out: passed over in silence, or reported
    // as 26900 "Skipped File".
    enum class Unselected : std::uint8_t { Silent, Reported };
    Unselected OnUnselected = Unselected::Silent;

    // A member the owner declines (OnFileExists or OnBegin): it gets OnEnd
    // with a pass, nothing at all, or 26900 "Skipped File".
    enum class Declined : std::uint8_t { EndPass, Silent, Reported };
    Declined OnDeclined = Declined::Silent;

    // Which of OnFileExists and OnBegin comes first.
    enum class Order : std::uint8_t { ExistsThenBegin, BeginThenExists };
    Order EventOrder = Order::ExistsThenBegin;

    // What a FileSpec without wildcards does: stop after the first member it
    // selects (wildcards being '*' and '?', or '*' alone), or nothing.
    enum class PlainSpec : std::uint8_t { StopAfterOne, StopAfterOneStarOnly, SelectAll };
    PlainSpec OnPlainSpec = PlainSpec::StopAfterOne;

    // What is restored on an extracted file besides its data.
    enum class Restore : std::uint8_t { Time, TimeAndAttributes };
    Restore Restores = Restore::Time;

    // 26999 "Nothing to do" when no member was decoded.
    bool NothingToDoAtEnd = false;

    // A target file that cannot be created: the extraction stops (with or
    // without OnError), or the member is reported and passed over.
    enum class CreateFailure : std::uint8_t { Stop, StopReported, SkipReported };
    CreateFailure OnCreateFailure = CreateFailure::Stop;
    int CreateFailureCode = 25134; // what is reported: "Error opening file"
};

// One member as the frame sees it; the walks fill it from their headers.
struct TMemberDesc {
    enum class Kind : std::uint8_t { File, Folder, Symlink, HardLink, Label };

    std::string StoredName; // '/' separated, UTF-8
    Kind Type = Kind::File;
    std::string LinkTarget;   // a link's target (a symbolic link's from its data when empty)
    std::uint32_t Method = 0; // the family's method code
    std::uint16_t Flags = 0;
    std::int64_t ModificationTime = 0; // Unix time restored on the file
    std::uint32_t ExistsDate = 0;      // DOS stamp shown by OnFileExists
    std::uint32_t StoredCrc = 0;
    std::uint64_t PackedSize = 0;
    std::uint64_t UnpackedSize = 0;
    bool SizeKnown = true; // UnpackedSize is what the data decodes to
    // No CRC is stored (AES-encrypted ZIP members of the AE-2 kind, whose
    // authentication code stands for it).
    bool CrcUnchecked = false;
    // Set while decoding when the data fails a check of its own format (the
    // CRC of one of several GZIP members): the member does not pass.
    bool DataFailed = false;
    std::uint32_t ExternalAttr = 0;
    std::uint16_t VersionMadeBy = 0;
    bool Encrypted = false;
    std::uint8_t PasswordCheck = 0; // expected check byte of the encryption header
    std::int64_t DataOffset = 0;    // 0-based position of the member's data
};

// A family's encryption as the frame drives it: the header in front of the
// data, the password test against it, then decryption of the data.
class TMemberCipher : public dec::Cipher {
public:
    virtual std::size_t HeaderSize() const = 0;
    // Tries a password on a copy of the header; on success the cipher is
    // left ready for the member's data.
    virtual bool TryPassword(const std::string& Password, const std::uint8_t* Header,
                             const TMemberDesc& Member) = 0;
    // Bytes behind the data that belong to the cipher (an authentication
    // code); they are not handed to the decoder.
    virtual std::size_t TrailerSize() const { return 0; }
    // Checks the trailer once every data byte has gone through decrypt.
    virtual bool Authentic(const std::uint8_t* /*Trailer*/) { return true; }
    // Whether a password that passes TryPassword is right beyond doubt, so
    // that data failing its checks is damage, not a wrong password.
    virtual bool PasswordCertain() const { return false; }
};

// Bytes [Begin, End) of the archive that one member occupies.
struct TByteRange {
    std::uint64_t Begin;
    std::uint64_t End;
};

// Stated offsets and sizes are taken up to 2^60 so that sums of a few never
// overflow.
constexpr std::uint64_t kMaxStatedOffset = std::uint64_t{1} << 60;

class TUnBase : public TZipCommon, protected dec::ProgressListener {
public:
    explicit TUnBase(TComponent* AOwner = nullptr, TFramePolicy Policy = {});
    ~TUnBase() override;

    // Published
    TSetDate SetDateTo = OrigDate;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TOnFileExists OnFileExists;
    TOnBegin OnBegin;
    TOnGetPassword OnGetPassword;
    TOnEnd OnEnd;

    // Runs the member loop; every outcome arrives through the events.
    void Extract();
    // A FileSpec left empty by the form selects every member.
    void Loaded() override;

    // Decode and check the members without writing anything (no folders,
    // no files, no exists test).
    bool TestOnly = false;
    // The code that stopped the last Extract, 0 when it ran to its end;
    // decoder errors reach the owner only through this.
    int StopCode = 0;
    // What the system said when a write or a create failed ("No space left
    // on device"); empty otherwise.
    std::string StopReason;

    const TFramePolicy& Policy() const { return Policy_; }
    // Whether the extractor reports progress member by member (front ends
    // show a per-member bar for it).
    virtual bool ReportsMemberProgress() const { return false; }

protected:
    enum class Next { Continue, Stop };

    virtual bool AcceptsArcType(TArcType t) const = 0;
    // The family's methods: names, decoders and what can be decoded.
    virtual std::span<const fmt::MethodInfo> Methods() const = 0;
    // The format's member walk; it raises OnActivate once the directory is
    // found (Activated) and hands each member to ProcessMember.
    virtual void ExtractMembers() = 0;
    // Called for a selected member before any event (ZIP reads its local
    // header here).
    virtual void MemberSelected(TMemberDesc&) {}
    // The member's encryption; null when it has none the family can open.
    virtual TMemberCipher* MemberCipher(const TMemberDesc&) { return nullptr; }
    // Whether the member can be decoded; by default its method's table entry
    // names a decoder the program has.
    virtual bool CanDecode(const TMemberDesc& m) const;
    // Decodes the member from `in` into `out`; by default the decoder its
    // method's table entry names.
    virtual void DecodeMember(TMemberDesc& m, dec::Input& in, dec::Sink& out);
    // The source of the member's data, positioned at its first byte; by
    // default the archive file at DataOffset.
    virtual dec::Source& MemberData(const TMemberDesc& m);
    // Applies the stored attributes to the open file (Restore::TimeAndAttributes).
    virtual void RestoreAttributes(int fd, const TMemberDesc& m);

    // Whether any two members' ranges overlap (sorts the ranges).
    static bool RangesOverlap(std::vector<TByteRange>& ranges);

    // The frame's handling of one member of the walk.
    Next ProcessMember(TMemberDesc& m);
    // Raises OnActivate (the walks call it when the directory was found).
    void Activated();
    bool WildSpec() const { return WildSpec_; }
    dec::DecoderSet& Decoders() { return Decoders_; }

    // Fatal errors about the current member.
    [[noreturn]] void MemberError(int code) { RaiseError(FileName, code); }
    // Decoder errors stop the extraction without OnError.
    [[noreturn]] static void DecoderError(int code);

    plat::File Archive_;
    bool NothingDone = true;

private:
    class Output;
    class ArchiveSource;
    struct Target;
    void inputConsumed(std::uint64_t total, std::uint64_t before, std::uint64_t after,
                       bool force) override;
    bool ResolveTarget(Target& t, bool create);
    Next MakeFolder(const TMemberDesc& m);
    bool DecodeSelected(TMemberDesc& m, Target& target, bool exists);
    bool Decode(TMemberDesc& m, TMemberCipher* cipher, Target* target, bool existed);
    bool CheckVerdict(const TMemberDesc& m, const Output& out) const;
    Next AfterMember() const;

    TFramePolicy Policy_;
    std::unique_ptr<ArchiveSource> ArchiveData_;
    bool WildSpec_ = false;
    std::string CurrentPassword_;
    dec::DecoderSet Decoders_;
    plat::ConfinedDir Root_;
};
