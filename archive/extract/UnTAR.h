// TAR extractor: the 512-byte header chain, long names and pax records,
// links, folders and sparse members.
#pragma once

#include "archive/extract/UnBase.h"
#include "archive/format/TarFormat.h"

class TUnTAR : public TUnBase {
public:
    explicit TUnTAR(TComponent* AOwner = nullptr);

protected:
    bool AcceptsArcType(TArcType t) const override { return t == atTAR; }
    std::span<const fmt::MethodInfo> Methods() const override { return tar::methods(); }
    void ExtractMembers() override;
    // Sparse members: their data regions, with holes between them.
    void DecodeMember(TMemberDesc& m, dec::Input& in, dec::Sink& out) override;
    void RestoreAttributes(int fd, const TMemberDesc& m) override;

private:
    const tar::Entry* Current_ = nullptr;
};
