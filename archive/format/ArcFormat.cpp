#include "archive/format/ArcFormat.h"

#include <algorithm>

#include "platform/Endian.h"

namespace arc {

using plat::le16;
using plat::le32;

namespace {

using fmt::Codec;
constexpr fmt::MethodInfo kArc[] = {
    {1, "Stored", Codec::Stored, 0},        {2, "Stored", Codec::Stored, 0},
    {3, "Packed", Codec::ArcPacked, 0},     {4, "Squeezed", Codec::ArcSqueezed, 0},
    {5, "crunched", Codec::ArcCrunched, 5}, {6, "crunched", Codec::ArcCrunched, 6},
    {7, "crunched", Codec::ArcCrunched, 7}, {8, "Crunched", Codec::ArcCrunched, 8},
    {9, "Squashed", Codec::ArcSquashed, 0}, {10, "Pack10", Codec::None, 0},
    {11, "Pack11", Codec::None, 0},         {12, "Pack12", Codec::None, 0},
};

// PAK writes ARC's methods under names of its own, and two more.
constexpr fmt::MethodInfo kPak[] = {
    {1, "Stored", Codec::Stored, 0},        {2, "Stored", Codec::Stored, 0},
    {3, "RLE", Codec::ArcPacked, 0},        {4, "Squeezed", Codec::ArcSqueezed, 0},
    {5, "FIXEDLEN", Codec::ArcCrunched, 5}, {6, "FIXEDLEN", Codec::ArcCrunched, 6},
    {7, "FIXEDLEN", Codec::ArcCrunched, 7}, {8, "VARIBLE", Codec::ArcCrunched, 8},
    {9, "VARIBLE", Codec::ArcSquashed, 0},  {10, "Crushed", Codec::None, 0},
    {11, "Distill", Codec::None, 0},
};

} // namespace

Status parseHeader(const std::uint8_t* raw, std::int64_t pos, Header& h) {
    h = Header{};
    h.Pos = pos;
    if (raw[0] != kMarker) return Status::NotHeader;
    h.Method = raw[1];
    if (h.Method == 0) return Status::End;
    const char* name = reinterpret_cast<const char*>(raw + 2);
    h.Name.assign(name, std::find(name, name + 13, '\0'));
    h.PackedSize = le32(raw + 15);
    // Date first, time second on disk; the stamp wants the time low.
    h.DosDateTime = static_cast<std::uint32_t>(le16(raw + 21)) |
                    static_cast<std::uint32_t>(le16(raw + 19)) << 16;
    h.Crc = le16(raw + 23);
    h.UnpackedSize = h.Method == kOldMethod ? h.PackedSize : le32(raw + 25);
    return Status::Ok;
}

Status readHeader(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Header& h) {
    h = Header{};
    h.Pos = pos;
    std::uint8_t raw[kHeaderSize] = {};
    if (pos < 0 || pos + 2 > fileSize || !read(pos, raw, 2)) return Status::NotHeader;
    if (raw[0] != kMarker) return Status::NotHeader;
    if (raw[1] == 0) return parseHeader(raw, pos, h);
    const std::size_t n = raw[1] == kOldMethod ? kOldHeaderSize : kHeaderSize;
    if (pos + static_cast<std::int64_t>(n) > fileSize || !read(pos + 2, raw + 2, n - 2))
        return Status::Damaged;
    return parseHeader(raw, pos, h);
}

std::int64_t findMarker(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, int maxSkip) {
    std::uint8_t buf[64];
    const std::int64_t end = std::min(fileSize, pos + maxSkip + 1);
    if (pos < 0 || pos >= end) return -1;
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(end - pos, sizeof buf));
    if (!read(pos, buf, n)) return -1;
    const std::uint8_t* at = std::find(buf, buf + n, kMarker);
    return at == buf + n ? -1 : pos + (at - buf);
}

std::span<const fmt::MethodInfo> arcMethods() {
    return kArc;
}

std::span<const fmt::MethodInfo> pakMethods() {
    return kPak;
}

std::string methodName(bool pak, std::uint8_t method) {
    const fmt::MethodInfo* m = fmt::findMethod(pak ? pakMethods() : arcMethods(), method);
    return m ? m->Name : "Unknown";
}

} // namespace arc
