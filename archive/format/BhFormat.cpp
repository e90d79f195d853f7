#include "archive/format/BhFormat.h"

#include "platform/Endian.h"

namespace bh {

using plat::le16;
using plat::le32;

namespace {
using fmt::Codec;
// "Fused" is the static Huffman coder of LHA's -lh5- (8 KB window).
constexpr fmt::MethodInfo kMethods[] = {
    {0, "Stored", Codec::Stored, 0},
    {1, "Fused", Codec::LhaStatic, 13},
    {2, "Deflate", Codec::None, 0},
};
} // namespace

Status readHeader(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Header& h) {
    h = Header{};
    h.Pos = pos;
    std::uint8_t b[kFixedSize];
    if (pos < 0 || pos > fileSize - static_cast<std::int64_t>(kFixedSize) ||
        !read(pos, b, sizeof b))
        return Status::End;
    if (le32(b) != kSignature || le16(b + 4) == 0) return Status::End;
    h.HeaderLength = le16(b + 4);
    h.VersionMadeBy = b[7];
    h.VersionNeeded = b[8];
    h.Flags = b[9];
    h.Method = b[10];
    h.DosDateTime = le32(b + 11);
    h.PackedSize = le32(b + 15);
    h.UnpackedSize = le32(b + 19);
    h.Crc = le32(b + 23);
    h.Attributes = le16(b + 27);
    const std::size_t n = le16(b + 33);
    if (static_cast<std::int64_t>(n) > fileSize - pos - static_cast<std::int64_t>(kFixedSize))
        return Status::End;
    h.Name.assign(n, '\0');
    if (n && !read(pos + static_cast<std::int64_t>(kFixedSize), h.Name.data(), n))
        return Status::End;
    return Status::Ok;
}

std::span<const fmt::MethodInfo> methods() {
    return kMethods;
}

std::string methodName(std::uint32_t method) {
    const fmt::MethodInfo* m = fmt::findMethod(kMethods, method);
    return m ? m->Name : "Unknown";
}

} // namespace bh
