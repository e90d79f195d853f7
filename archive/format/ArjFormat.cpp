#include "archive/format/ArjFormat.h"

#include <algorithm>
#include <vector>

#include "platform/Endian.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace arj {

using plat::le16;
using plat::le32;

namespace {

using fmt::Codec;
constexpr fmt::MethodInfo kMethods[] = {
    {0, "Stored", Codec::Stored, 0},       {1, "Most", Codec::LhaStatic, 16},
    {2, "2nd Most", Codec::LhaStatic, 16}, {3, "2nd Fast", Codec::LhaStatic, 16},
    {4, "Fastest", Codec::ArjFast, 0},
};

constexpr std::size_t kMaxComment = 2500;

// Bytes up to the first zero within [from, end); `after` is set behind
// the zero (or to end).
std::string zString(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t end,
                    std::size_t max, std::size_t& after) {
    if (from >= end) {
        after = end;
        return {};
    }
    const auto* first = b.data() + from;
    const auto* last = b.data() + std::min(end, from + max);
    const auto* zero = std::find(first, last, 0);
    after = zero == last ? static_cast<std::size_t>(last - b.data())
                         : static_cast<std::size_t>(zero - b.data()) + 1;
    return std::string(first, zero);
}

} // namespace

std::int64_t Header::UnixModificationTime() const {
    return HostOs == kHostUnix ? static_cast<std::int64_t>(Stamp) : plat::dosToUnix(Stamp);
}

std::uint32_t Header::DosDateTime() const {
    return HostOs == kHostUnix ? plat::unixToDos(Stamp) : Stamp;
}

Status parseFixed(const std::uint8_t* raw, std::int64_t pos, Header& h) {
    h = Header{};
    h.Pos = pos;
    if (le16(raw) != kId) return Status::NotHeader;
    h.BasicSize = le16(raw + 2);
    if (h.BasicSize == 0) return Status::End;
    h.FirstSize = raw[4];
    h.Version = raw[5];
    h.MinVersion = raw[6];
    h.HostOs = raw[7];
    h.Flags = raw[8];
    h.Method = raw[9];
    h.FileType = raw[10];
    h.Stamp = le32(raw + 12);
    h.PackedSize = le32(raw + 16);
    h.UnpackedSize = le32(raw + 20);
    h.Crc = le32(raw + 24);
    h.AccessMode = le16(raw + 30);
    // The name starts where the first-header size says; it must lie
    // inside the basic header.
    if (h.FirstSize < kMinFirstSize || h.FirstSize > h.BasicSize) return Status::Damaged;
    return Status::Ok;
}

Status readHeader(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Header& h,
                  const Crc32& crc32) {
    h = Header{};
    h.Pos = pos;
    std::uint8_t head[4];
    if (pos < 0 || pos + 4 > fileSize || !read(pos, head, 4)) return Status::NotHeader;
    if (le16(head) != kId) return Status::NotHeader;
    const std::size_t basic = le16(head + 2);
    if (basic == 0) {
        h.DataPos = pos + 4;
        return Status::End;
    }
    // The basic header and its CRC.
    const std::int64_t basicEnd = pos + 4 + static_cast<std::int64_t>(basic);
    if (basicEnd + 4 > fileSize) return Status::Damaged;
    std::vector<std::uint8_t> b(4 + basic + 4);
    if (!read(pos, b.data(), b.size())) return Status::Damaged;
    if (basic < kMinFirstSize) return Status::Damaged;
    const Status s = parseFixed(b.data(), pos, h);
    if (s != Status::Ok) return s;
    h.CrcOk = !crc32 || crc32(b.data() + 4, basic) == le32(b.data() + 4 + basic);
    if ((h.Flags & kFlagExtFile) && h.FirstSize >= kMinFirstSize + 4)
        h.ExtFilePos = le32(b.data() + 4 + kMinFirstSize);
    std::size_t after = 0;
    h.Name = zString(b, 4 + h.FirstSize, 4 + basic, basic, after);
    h.Comment = zString(b, after, 4 + basic, kMaxComment, after);

    // Extended headers: size, data, CRC, until a size of 0.
    std::int64_t p = basicEnd + 4;
    for (;;) {
        std::uint8_t s[2];
        if (p + 2 > fileSize || !read(p, s, 2)) return Status::Damaged;
        p += 2;
        const std::uint16_t ext = le16(s);
        if (ext == 0) break;
        p += ext + 4;
        if (p > fileSize) return Status::Damaged;
    }
    h.DataPos = p;
    return Status::Ok;
}

std::int64_t findMainHeader(const ReadAt& read, std::int64_t start, std::int64_t fileSize,
                            std::int64_t span, const Crc32& crc32) {
    const std::int64_t end = std::min(fileSize - 2, start + span);
    std::vector<std::uint8_t> buf(64 * 1024);
    for (std::int64_t at = start; at < end;) {
        const auto n = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(buf.size()), end - at + 1));
        if (n < 2 || !read(at, buf.data(), n)) return -1;
        for (std::size_t i = 0; i + 1 < n; ++i) {
            if (buf[i] != 0x60 || buf[i + 1] != 0xEA) continue;
            Header h;
            const std::int64_t pos = at + static_cast<std::int64_t>(i);
            std::uint8_t size[2];
            if (pos + 4 > fileSize || !read(pos + 2, size, 2) || le16(size) > kMaxBasic) continue;
            if (readHeader(read, pos, fileSize, h, crc32) == Status::Ok && h.CrcOk) return pos;
        }
        at += static_cast<std::int64_t>(n) - 1;
    }
    return -1;
}

std::string volumeExtension(int number, bool lower) {
    if (number < 1 || number > 999) return {};
    std::string ext = number < 10 ? "A0" : number < 100 ? "A" : "";
    ext += std::to_string(number);
    if (lower)
        for (char& c : ext) c = static_cast<char>(c == 'A' ? 'a' : c);
    return ext;
}

int volumeNumberOf(const std::string& path) {
    const std::string ext = plat::extractFileExt(plat::extractFileName(path));
    auto digit = [&](std::size_t i) { return ext[i] >= '0' && ext[i] <= '9'; };
    if (ext.size() != 4) return 0;
    if ((ext[1] == 'A' || ext[1] == 'a') && digit(2) && digit(3))
        return (ext[2] - '0') * 10 + (ext[3] - '0');
    if (digit(1) && digit(2) && digit(3))
        return (ext[1] - '0') * 100 + (ext[2] - '0') * 10 + (ext[3] - '0');
    return 0;
}

std::string volumePath(const std::string& first, int number) {
    const std::string dir = plat::extractFilePath(first);
    std::string base = plat::extractFileName(first);
    const std::string ext = plat::extractFileExt(base);
    base = base.substr(0, base.size() - ext.size());
    const bool lower = ext.size() > 1 && ext[1] >= 'a' && ext[1] <= 'z';
    const std::string path = dir + base + "." + volumeExtension(number, lower);
    if (!plat::fileExists(path)) {
        const std::string other = dir + base + "." + volumeExtension(number, !lower);
        if (plat::fileExists(other)) return other;
    }
    return path;
}

std::span<const fmt::MethodInfo> methods() {
    return kMethods;
}

std::string methodName(std::uint8_t method) {
    const fmt::MethodInfo* m = fmt::findMethod(kMethods, method);
    return m ? m->Name : "Unknown";
}

} // namespace arj
