// BH extractor: the header chain, stored and "fused" (static Huffman)
// members, and the traditional encryption of ZIP.
#pragma once

#include <memory>

#include "archive/extract/UnBase.h"
#include "archive/format/BhFormat.h"

class TUnBH : public TUnBase {
public:
    explicit TUnBH(TComponent* AOwner = nullptr);
    ~TUnBH() override;

protected:
    bool AcceptsArcType(TArcType t) const override { return t == atBH || t == atBHExe; }
    std::span<const fmt::MethodInfo> Methods() const override { return bh::methods(); }
    void ExtractMembers() override;
    TMemberCipher* MemberCipher(const TMemberDesc& m) override;

private:
    class Cipher;
    std::unique_ptr<Cipher> Cipher_;
};
