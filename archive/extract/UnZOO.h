// ZOO extractor: the chain of directory entries, read by the ZOO module.
// Members go straight into the target folder under their long name (or
// their short one).
#pragma once

#include "archive/extract/UnBase.h"
#include "archive/format/ZooFormat.h"

class TUnZOO : public TUnBase {
public:
    explicit TUnZOO(TComponent* AOwner = nullptr);

protected:
    bool AcceptsArcType(TArcType t) const override { return t == atZOO; }
    std::span<const fmt::MethodInfo> Methods() const override { return zoo::methods(); }
    void ExtractMembers() override;
    void MemberSelected(TMemberDesc& m) override;
};
