// ZIP extractor: central directory walk, local headers, traditional
// decryption and the methods stored, shrunk, reduced, imploded, deflated.
#pragma once

#include "archive/extract/UnBase.h"

class TUnZIP : public TUnBase {
public:
    explicit TUnZIP(TComponent* AOwner = nullptr);
    ~TUnZIP() override;

    static bool IsSupportedMethod(std::uint16_t method);

protected:
    bool AcceptsArcType(TArcType t) const override;
    void ExtractMembers() override;
    void MemberSelected(TMemberDesc& m) override;
    // Strong encryption (flag bit 6) is not the traditional kind.
    bool MethodSupported(const TMemberDesc& m) const override {
        return IsSupportedMethod(m.Method) && !(m.Flags & 0x40);
    }
    void DecodeMember(TMemberDesc& m, unz::MemberInput& in, unz::OutputSink& out) override;

private:
    std::int64_t LocalOffset_ = 0; // of the current member, archive position
    std::int64_t StartOffset_ = 0; // bytes in front of the ZIP data
};
