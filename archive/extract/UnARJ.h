// ARJ extractor: the header chain, read by the ARJ module, members that
// continue over the volumes of a set (ARCHIVE.ARJ, ARCHIVE.A01, ...), and
// ARJ's methods (stored, 1 to 3 static Huffman, 4).
#pragma once

#include <string>

#include "archive/extract/UnBase.h"
#include "archive/format/ArjFormat.h"

class TUnARJ : public TUnBase {
public:
    explicit TUnARJ(TComponent* AOwner = nullptr);

protected:
    bool AcceptsArcType(TArcType t) const override { return t == atARJ || t == atArjExe; }
    std::span<const fmt::MethodInfo> Methods() const override { return arj::methods(); }
    void ExtractMembers() override;
    void MemberSelected(TMemberDesc& m) override;
    void DecodeMember(TMemberDesc& m, dec::Input& in, dec::Sink& out) override;
    void RestoreAttributes(int fd, const TMemberDesc& m) override;

private:
    class PartSink;
    arj::Status ReadHeader(std::int64_t pos, arj::Header& h);
    // Checks a header the walk or a volume change has read; fatal errors
    // for damage.
    void CheckHeader(arj::Status s, const arj::Header& h);
    // Refusals of a member (or a part of one) that is to be decoded.
    void CheckDecodable(const arj::Header& h);
    // Moves to the next volume of the set and reads the header of the part
    // of `part` that continues there into `part`.
    void NextVolume(arj::Header& part);
    std::string VolumeId() const { return std::to_string(Volume_); }

    std::int64_t Size_ = 0;
    std::string FirstVolume_;
    int Volume_ = 0;
    arj::Header Current_; // the member being processed (its last part read)
    bool Consumed_ = false;
};
