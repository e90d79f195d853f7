// LHA/LZH extractor: the header chain of every level, read by the LHA
// module; folders, symbolic links, time stamps and the Unix permissions
// that headers from Unix carry.
#pragma once

#include "archive/extract/UnBase.h"
#include "archive/format/LhaFormat.h"

class TUnLHA : public TUnBase {
public:
    explicit TUnLHA(TComponent* AOwner = nullptr);

protected:
    bool AcceptsArcType(TArcType t) const override;
    std::span<const fmt::MethodInfo> Methods() const override { return lha::methods(); }
    void ExtractMembers() override;
    void MemberSelected(TMemberDesc& m) override;
    // Folders and links carry nothing to decode.
    bool CanDecode(const TMemberDesc& m) const override {
        return m.Type != TMemberDesc::Kind::File || TUnBase::CanDecode(m);
    }
    void RestoreAttributes(int fd, const TMemberDesc& m) override;
};
