// TAR extractor: the 512-byte header chain, long names and pax records,
// links, folders and sparse members; also TAR archives inside gzip, bzip2,
// xz, lzip, Zstandard and compress, read front to back as they decode.
#pragma once

#include <memory>

#include "archive/extract/DecodedStream.h"
#include "archive/extract/UnBase.h"
#include "archive/format/TarFormat.h"

class TUnTAR : public TUnBase {
public:
    explicit TUnTAR(TComponent* AOwner = nullptr);
    ~TUnTAR() override;

protected:
    bool AcceptsArcType(TArcType t) const override { return t == atTAR || isTarballType(t); }
    std::span<const fmt::MethodInfo> Methods() const override { return tar::methods(); }
    void ExtractMembers() override;
    // Sparse members: their data regions, with holes between them.
    void DecodeMember(TMemberDesc& m, dec::Input& in, dec::Sink& out) override;
    void RestoreAttributes(int fd, const TMemberDesc& m) override;
    dec::Source& MemberData(const TMemberDesc& m) override;

private:
    const tar::Entry* Current_ = nullptr;
    std::unique_ptr<dec::DecodedStream> Stream_; // of a compressed TAR archive
};
