// ARC extractor: the header chain, read by the ARC module, and ARC's
// methods (stored, packed, squeezed, crunched, squashed).
#pragma once

#include "archive/extract/UnBase.h"
#include "archive/format/ArcFormat.h"

class TUnARC : public TUnBase {
public:
    explicit TUnARC(TComponent* AOwner = nullptr);

protected:
    bool AcceptsArcType(TArcType t) const override;
    std::span<const fmt::MethodInfo> Methods() const override { return arc::arcMethods(); }
    void ExtractMembers() override;
};
