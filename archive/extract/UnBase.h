// The extraction frame shared by every extractor: member selection, target
// paths, the exists / begin / password / progress / end / error events, the
// output writer with its CRC, time stamps and attributes.  An extractor
// supplies its member walk, its decoders and a policy of the few points
// where the formats differ.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/core/ArcRoot.h"
#include "archive/extract/DecodeIO.h"
#include "archive/extract/ZipCrypto.h"
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
    bool ReportSkipped = false;  // 26900 for members the FileSpec leaves out
    bool ReportDeclined = false; // 26900 for members the owner declines
    bool RestoreTime = true;
    bool RestoreAttributes = false;
    bool NothingToDoAtEnd = false; // 26999 when nothing was decoded
    bool BeginBeforeExists = false;
    bool EndForDeclined = false;    // OnEnd (pass) for members declined by the owner
    bool StopAfterPlainName = true; // a FileSpec without wildcards selects one member
    bool PlainNameTestsStarOnly = false;
    bool HasPasswords = false;
};

// One member as the frame sees it; the walks fill it from their headers.
struct TMemberDesc {
    std::string StoredName; // '/' separated, UTF-8
    std::uint16_t Method = 0;
    std::uint16_t Flags = 0;
    std::uint32_t DosDateTime = 0; // time stamp restored on the file
    std::uint32_t ExistsDate = 0;  // stamp shown by OnFileExists
    std::uint32_t StoredCrc = 0;
    std::uint64_t PackedSize = 0;
    std::uint64_t UnpackedSize = 0;
    std::uint32_t ExternalAttr = 0;
    std::uint16_t VersionMadeBy = 0;
    bool IsDirectory = false;
    bool Encrypted = false;
    std::uint8_t PasswordCheck = 0; // expected last byte of the encryption header
    std::int64_t DataOffset = 0;    // 0-based position of the member's data
};

class Inflater;

class TUnBase : public TZipCommon, protected unz::ProgressListener {
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

    const TFramePolicy& Policy() const { return Policy_; }

protected:
    enum class Next { Continue, Stop };

    virtual bool AcceptsArcType(TArcType t) const = 0;
    // The format's member walk; it raises OnActivate once the directory is
    // found and hands each member to ProcessMember.
    virtual void ExtractMembers() {}
    // Called for a selected member before any event (ZIP reads its local
    // header here).
    virtual void MemberSelected(TMemberDesc&) {}
    virtual bool MethodSupported(const TMemberDesc&) const { return true; }
    // Decodes the member from `in` into `out`.
    virtual void DecodeMember(TMemberDesc& m, unz::MemberInput& in, unz::OutputSink& out) = 0;
    virtual void RestoreAttributes(const std::string& path, const TMemberDesc& m);

    // Steps 2 to 12 of the member loop for one member of the walk.
    Next ProcessMember(TMemberDesc& m);
    // Raises OnActivate (the walks call it when the directory was found).
    void Activated();
    bool WildSpec() const { return WildSpec_; }

    // The Deflate decoder for any extractor's deflated members.
    void InflateMember(unz::MemberInput& in, unz::OutputSink& out);

    // Fatal and non-fatal errors about the current member.
    [[noreturn]] void MemberError(int code) { RaiseError(FileName, code); }
    // Decoder errors stop the extraction without OnError.
    [[noreturn]] static void DecoderError(int code);

    plat::File Archive_;
    bool NothingDone = true;

private:
    class Sink;
    class ArchiveSource;
    void inputConsumed(std::uint64_t total, std::uint64_t before, std::uint64_t after,
                       bool force) override;
    bool ObtainPassword(const TMemberDesc& m, const std::uint8_t header[12]);
    bool ConfineTarget();
    void DecodeInto(TMemberDesc& m, bool decrypt, bool toFile, bool existed);

    TFramePolicy Policy_;
    bool WildSpec_ = false;
    std::string CurrentPassword_;
    ZipDecrypter Crypt_;
    std::uint32_t Crc_ = 0;
    std::string LastFolderMade_; // checked and created in this run
    std::unique_ptr<Inflater> Inflater_;
};
