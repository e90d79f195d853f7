// ZIP extractor: central directory walk, local headers, traditional and
// WinZip AES decryption, and the methods of the ZIP method table.
#pragma once

#include <memory>
#include <optional>

#include "archive/extract/UnBase.h"
#include "archive/format/ZipFormat.h"

class TUnZIP : public TUnBase {
public:
    explicit TUnZIP(TComponent* AOwner = nullptr);
    ~TUnZIP() override;

    bool ReportsMemberProgress() const override { return true; }

protected:
    bool AcceptsArcType(TArcType t) const override;
    std::span<const fmt::MethodInfo> Methods() const override { return zip::methods(); }
    void ExtractMembers() override;
    void MemberSelected(TMemberDesc& m) override;
    TMemberCipher* MemberCipher(const TMemberDesc& m) override;
    // Strong encryption (flag bit 6) is not the traditional kind.
    bool CanDecode(const TMemberDesc& m) const override {
        return !(m.Flags & zip::kFlagStrongEncryption) && TUnBase::CanDecode(m);
    }
    void RestoreAttributes(int fd, const TMemberDesc& m) override;

private:
    class Cipher;
    class AesCipher;
    std::unique_ptr<Cipher> Cipher_;
    std::unique_ptr<AesCipher> AesCipher_;
    std::optional<zip::AesExtra> Aes_; // of the current member
    zip::Directory Dir_;
    std::uint64_t LocalOffset_ = 0; // of the current member, as stored
};
