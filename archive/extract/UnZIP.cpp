#include "archive/extract/UnZIP.h"

#include <algorithm>
#include <vector>

#include "archive/extract/Extractors.h"
#include "archive/extract/ZipAes.h"
#include "archive/extract/ZipCrypto.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace {

constexpr std::uint8_t kHostUnix = 3;
constexpr std::uint32_t kTypeMask = 0170000;
constexpr std::uint32_t kRegular = 0100000;
constexpr std::uint32_t kSymlink = 0120000;
constexpr std::uint32_t kFolder = 0040000;

TFramePolicy zipPolicy() {
    TFramePolicy p;
    p.Verdict = TVerdict::Crc32;
    p.Restores = TFramePolicy::Restore::TimeAndAttributes;
    p.NothingToDoAtEnd = true;
    p.OnDeclined = TFramePolicy::Declined::EndPass;
    return p;
}

// The Unix mode in the high 16 bits, for members made on Unix.
std::uint32_t unixMode(const TMemberDesc& m) {
    return (m.VersionMadeBy >> 8) == kHostUnix ? m.ExternalAttr >> 16 : 0;
}

} // namespace

// Traditional PKWARE encryption: a 12-byte header whose last byte checks
// the password against the CRC (or, with a data descriptor, the time).
class TUnZIP::Cipher : public TMemberCipher {
public:
    std::size_t HeaderSize() const override { return 12; }
    bool TryPassword(const std::string& password, const std::uint8_t* header,
                     const TMemberDesc& m) override {
        return crypt_.tryPassword(password, header, m.PasswordCheck);
    }
    void decrypt(std::uint8_t* buf, std::size_t n) override { crypt_.decrypt(buf, n); }

private:
    ZipDecrypter crypt_;
};

// WinZip AES: salt and password verifier in front of the data, the
// authentication code behind it.  The 2-byte verifier leaves one wrong
// password in 65536 through; the authentication code then fails, and the
// frame asks again only for a test that is not certain.
class TUnZIP::AesCipher : public TMemberCipher {
public:
    void setStrength(std::uint8_t strength) { crypt_.setStrength(strength); }
    std::size_t HeaderSize() const override { return zipaes::headerSize(crypt_.strength()); }
    std::size_t TrailerSize() const override { return zipaes::kAuthCodeSize; }
    bool TryPassword(const std::string& password, const std::uint8_t* header,
                     const TMemberDesc&) override {
        return crypt_.tryPassword(password, header);
    }
    void decrypt(std::uint8_t* buf, std::size_t n) override { crypt_.decrypt(buf, n); }
    bool Authentic(const std::uint8_t* trailer) override { return crypt_.authentic(trailer); }
    bool PasswordCertain() const override { return true; }

private:
    zipaes::Decrypter crypt_;
};

TUnZIP::TUnZIP(TComponent* AOwner) : TUnBase(AOwner, zipPolicy()) {}

TUnZIP::~TUnZIP() = default;

bool TUnZIP::AcceptsArcType(TArcType t) const {
    return t == atZIP || t == atZipExe || t == atZip250 || t == atZip250Exe;
}

TMemberCipher* TUnZIP::MemberCipher(const TMemberDesc&) {
    if (Aes_) {
        if (!AesCipher_) AesCipher_ = std::make_unique<AesCipher>();
        AesCipher_->setStrength(Aes_->Strength);
        return AesCipher_.get();
    }
    if (!Cipher_) Cipher_ = std::make_unique<Cipher>();
    return Cipher_.get();
}

void TUnZIP::ExtractMembers() {
    const std::int64_t size = Archive_.size();
    if (size < 0) RaiseError(ArchiveFile_, err::ReadError);
    ArchiveSize = size;

    auto read = [this](std::int64_t pos, void* buf, std::size_t n) {
        return Archive_.readAt(pos, buf, n) == static_cast<std::int64_t>(n);
    };
    const std::int64_t announced = SfxZipOffset > 0 ? SfxZipOffset : ArchiveStart - 1;
    switch (zip::locateDirectory(read, size, announced, Dir_)) {
    case zip::DirStatus::Ok:
        break;
    case zip::DirStatus::ReadError:
        RaiseError(ArchiveFile_, err::ReadError);
    case zip::DirStatus::NoEndRecord:
        RaiseError(ArchiveFile_, err::UnknownFileType);
    case zip::DirStatus::NoCentralHeader:
        RaiseError(ArchiveFile_, err::HeaderIdError);
    }
    if (Dir_.FirstCentral < 0) {
        Activated();
        return;
    }

    // The directory is read through a handle of its own, so that its reads
    // and the members' reads each stay sequential in their buffers.
    plat::File dir;
    if (!dir.open(ArchiveFile_, plat::File::Mode::Read)) RaiseError(ArchiveFile_, err::ReadError);
    std::vector<std::uint8_t> var;
    // Calls visit(header, name) for each central header until it says stop.
    auto walk = [&](auto&& visit) {
        std::int64_t pos = Dir_.FirstCentral;
        std::uint8_t fixed[zip::kCentralSize];
        while (pos < size) {
            zip::CentralHeader h;
            if (!dir.seek(pos) || !dir.readExact(fixed, sizeof fixed) ||
                !zip::parseCentral(fixed, h))
                break;
            var.resize(h.VariableLength());
            if (!dir.readExact(var.data(), var.size())) RaiseError(ArchiveFile_, err::ReadError);
            zip::applyZip64Extra(std::span(var.data() + h.NameLength, h.ExtraLength), h);
            if (!visit(h, std::span<const std::uint8_t>(var.data(), h.NameLength))) break;
            pos += static_cast<std::int64_t>(h.TotalLength());
        }
    };

    // Members whose local records and data overlap are refused before
    // anything is written: many entries pointing at one local record make
    // a small archive write without end.
    std::vector<TByteRange> ranges;
    walk([&](const zip::CentralHeader& h, std::span<const std::uint8_t>) {
        const std::uint64_t start = std::min<std::uint64_t>(h.LocalOffset, kMaxStatedOffset) +
                                    static_cast<std::uint64_t>(Dir_.OffsetDelta);
        const std::uint64_t length = zip::kLocalSize + h.NameLength +
                                     std::min<std::uint64_t>(h.PackedSize, kMaxStatedOffset);
        ranges.push_back({start, start + length});
        return true;
    });
    if (RangesOverlap(ranges)) RaiseError(ArchiveFile_, err::BadFileHeader);
    ranges = {};
    Activated();

    walk([&](const zip::CentralHeader& h, std::span<const std::uint8_t> name) {
        TMemberDesc d;
        d.StoredName = fmt::storedName(
            std::string_view(reinterpret_cast<const char*>(name.data()), name.size()));
        d.VersionMadeBy = h.VersionMadeBy;
        d.Flags = h.Flags;
        d.Method = h.Method;
        d.ModificationTime = plat::dosToUnix(h.DosDateTime);
        d.ExistsDate = h.DosDateTime;
        d.StoredCrc = h.Crc;
        d.PackedSize = h.PackedSize;
        d.UnpackedSize = h.UnpackedSize;
        d.ExternalAttr = h.ExternalAttr;
        const std::uint32_t type = unixMode(d) & kTypeMask;
        if ((h.ExternalAttr & 0x08) && !(h.ExternalAttr & 0x10))
            d.Type = TMemberDesc::Kind::Label;
        else if (h.IsFolder(name) || type == kFolder)
            d.Type = TMemberDesc::Kind::Folder;
        else if (type == kSymlink)
            d.Type = TMemberDesc::Kind::Symlink;
        Aes_.reset();
        if (h.Method == zip::kMethodAes)
            if ((Aes_ = zip::findAesExtra(std::span(name.data() + h.NameLength, h.ExtraLength)))) {
                d.Method = Aes_->Method;
                // AE-2 leaves the CRC out; its authentication code stands for it.
                d.CrcUnchecked = Aes_->Version == 2;
            }
        LocalOffset_ = h.LocalOffset;
        return ProcessMember(d) != Next::Stop;
    });
}

void TUnZIP::MemberSelected(TMemberDesc& d) {
    // Through the archive's buffer: the data follows the header, and small
    // members follow each other.
    auto read = [this](std::int64_t pos, void* buf, std::size_t n) {
        return Archive_.seek(pos) && Archive_.readExact(buf, n);
    };
    zip::LocalHeader h;
    const std::int64_t at = zip::findLocalHeader(read, Dir_, LocalOffset_, h);
    if (at < 0) MemberError(err::InconsistentLocalHeader);
    const std::uint16_t time = static_cast<std::uint16_t>(h.DosDateTime);
    d.Encrypted = h.Flags & zip::kFlagEncrypted;
    d.ExistsDate = h.DosDateTime;
    d.PasswordCheck = (h.Flags & zip::kFlagDescriptor)
                          ? static_cast<std::uint8_t>(time >> 8)
                          : static_cast<std::uint8_t>(d.StoredCrc >> 24);
    d.DataOffset = at + static_cast<std::int64_t>(h.TotalLength());
}

void TUnZIP::RestoreAttributes(int fd, const TMemberDesc& m) {
    // Made on Unix: the permission bits ride in the high 16 bits.
    const std::uint32_t mode = unixMode(m);
    const std::uint32_t type = mode & kTypeMask;
    if (mode != 0 && (type == 0 || type == kRegular))
        plat::ConfinedDir::setNewFileMode(fd, mode & 0777);
    else if (m.ExternalAttr & plat::faReadOnly)
        plat::ConfinedDir::setNewFileMode(fd, 0444);
    // Otherwise the new file already has its owner write bit.
}

void registerUnZIP(ExtractorTable& table) {
    table.add({atZIP, atZipExe, atZip250, atZip250Exe},
              [] { return std::unique_ptr<TUnBase>(new TUnZIP); });
}
