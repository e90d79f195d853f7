#include "archive/extract/UnBH.h"

#include <algorithm>

#include "archive/extract/Extractors.h"
#include "archive/extract/ZipCrypto.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace {

TFramePolicy bhPolicy() {
    TFramePolicy p;
    // BH keeps the CRC-32 without its final complement.
    p.Verdict = TVerdict::Crc32NoComplement;
    p.OnUnselected = TFramePolicy::Unselected::Reported;
    p.OnDeclined = TFramePolicy::Declined::Silent;
    p.OnPlainSpec = TFramePolicy::PlainSpec::StopAfterOne;
    p.Restores = TFramePolicy::Restore::Time;
    p.OnCreateFailure = TFramePolicy::CreateFailure::StopReported;
    return p;
}

} // namespace

// ZIP's traditional encryption; the header's last byte checks the password
// against the top byte of the stored CRC.  Stored members are encrypted too.
class TUnBH::Cipher : public TMemberCipher {
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

TUnBH::TUnBH(TComponent* AOwner) : TUnBase(AOwner, bhPolicy()) {}

TUnBH::~TUnBH() = default;

TMemberCipher* TUnBH::MemberCipher(const TMemberDesc&) {
    if (!Cipher_) Cipher_ = std::make_unique<Cipher>();
    return Cipher_.get();
}

void TUnBH::ExtractMembers() {
    const std::int64_t size = Archive_.size();
    if (size < 0) RaiseError(ArchiveFile_, err::SeekError);
    auto read = [this](std::int64_t pos, void* buf, std::size_t n) {
        return Archive_.readAt(pos, buf, n) == static_cast<std::int64_t>(n);
    };
    Activated();
    std::int64_t pos = std::max<std::int64_t>(ArchiveStart - 1, 0);
    for (;;) {
        bh::Header h;
        if (bh::readHeader(read, pos, size, h) != bh::Status::Ok) return;
        TMemberDesc d;
        d.StoredName = h.Path();
        d.Method = h.Method;
        d.Flags = h.Flags;
        d.ModificationTime = plat::dosToUnix(h.DosDateTime);
        d.ExistsDate = h.DosDateTime;
        d.StoredCrc = h.Crc;
        d.PackedSize = h.PackedSize;
        d.UnpackedSize = h.UnpackedSize;
        d.ExternalAttr = h.Attributes;
        d.Encrypted = h.Encrypted();
        d.PasswordCheck = static_cast<std::uint8_t>(h.Crc >> 24);
        d.DataOffset = h.DataPos();
        if (h.Attributes & plat::faDirectory) d.Type = TMemberDesc::Kind::Folder;
        if (ProcessMember(d) == Next::Stop) return;
        pos = h.NextPos();
    }
}

void registerUnBH(ExtractorTable& table) {
    table.add({atBH, atBHExe}, [] { return std::unique_ptr<TUnBase>(new TUnBH); });
}
