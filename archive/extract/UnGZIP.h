// GZIP extractor: the members of a GZIP file decoded one after the other
// into one output, each checked against its own trailer; also compress
// (.Z), bzip2, xz, lzip and Zstandard files, each the one member.
#pragma once

#include <memory>

#include "archive/extract/UnBase.h"
#include "archive/format/GzipFormat.h"

class Inflater;

class TUnGZIP : public TUnBase {
public:
    explicit TUnGZIP(TComponent* AOwner = nullptr);
    ~TUnGZIP() override;

protected:
    bool AcceptsArcType(TArcType t) const override { return isCompressedFileType(t); }
    std::span<const fmt::MethodInfo> Methods() const override { return gz::methods(); }
    void ExtractMembers() override;
    void DecodeMember(TMemberDesc& m, dec::Input& in, dec::Sink& out) override;

private:
    void DecodeGzip(TMemberDesc& m, dec::Input& in, dec::Sink& out);
    std::unique_ptr<Inflater> Inflater_;
    std::int64_t ArchiveLength_ = 0;
};
