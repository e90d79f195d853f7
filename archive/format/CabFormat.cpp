#include "archive/format/CabFormat.h"

#include "platform/Endian.h"

namespace cab {

using plat::le16;
using plat::le32;

namespace {

// A zero-terminated string of at most maxLen bytes at pos; `after` is the
// position behind its zero.  False when the file ends first.
bool readZ(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, std::size_t maxLen,
           std::string& out, std::int64_t& after) {
    out.clear();
    char buf[64];
    while (out.size() <= maxLen) {
        const std::int64_t left = fileSize - pos;
        if (left <= 0) return false;
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, sizeof buf));
        if (!read(pos, buf, n)) return false;
        for (std::size_t i = 0; i < n; ++i) {
            if (buf[i] == '\0') {
                after = pos + static_cast<std::int64_t>(i) + 1;
                return true;
            }
            out += buf[i];
            if (out.size() > maxLen) return false;
        }
        pos += static_cast<std::int64_t>(n);
    }
    return false;
}

using fmt::Codec;
constexpr fmt::MethodInfo kMethods[] = {
    {0, "Stored", Codec::Stored, 0},
    {1, "MSZIP", Codec::Inflate, 0},
    {3487, "LZX", Codec::None, 0},
    {5490, "LZX", Codec::None, 0},
};

} // namespace

Status readHeader(const ReadAt& read, std::int64_t base, std::int64_t fileSize, Header& h) {
    h = Header{};
    h.Base = base;
    std::uint8_t b[kHeaderSize];
    if (base < 0 || base > fileSize - static_cast<std::int64_t>(kHeaderSize) ||
        !read(base, b, sizeof b))
        return Status::Truncated;
    if (le32(b) != kSignature) return Status::BadSignature;
    h.CabinetSize = le32(b + 8);
    h.FirstFile = le32(b + 16);
    h.Minor = b[24];
    h.Major = b[25];
    h.FolderCount = le16(b + 26);
    h.FileCount = le16(b + 28);
    h.Flags = le16(b + 30);
    h.SetId = le16(b + 32);
    h.Index = le16(b + 34);
    std::int64_t at = base + static_cast<std::int64_t>(kHeaderSize);
    if (h.Flags & kFlagReserve) {
        std::uint8_t r[4];
        if (at > fileSize - 4 || !read(at, r, 4)) return Status::Truncated;
        h.HeaderReserve = le16(r);
        h.FolderReserve = r[2];
        h.DataReserve = r[3];
        at += 4 + h.HeaderReserve;
    }
    if (h.Flags & kFlagPrevious) {
        if (!readZ(read, at, fileSize, kMaxCabinetName, h.PreviousName, at) ||
            !readZ(read, at, fileSize, kMaxCabinetName, h.PreviousDisk, at))
            return Status::Truncated;
    }
    if (h.Flags & kFlagNext) {
        if (!readZ(read, at, fileSize, kMaxCabinetName, h.NextName, at) ||
            !readZ(read, at, fileSize, kMaxCabinetName, h.NextDisk, at))
            return Status::Truncated;
    }
    h.FirstFolder = at;
    return Status::Ok;
}

bool readFolder(const ReadAt& read, const Header& h, unsigned i, std::int64_t fileSize, Folder& f) {
    const std::int64_t pos = h.FolderPos(i);
    std::uint8_t b[kFolderSize];
    if (pos > fileSize - static_cast<std::int64_t>(kFolderSize) || !read(pos, b, sizeof b))
        return false;
    f.DataOffset = le32(b);
    f.BlockCount = le16(b + 4);
    f.Compression = le16(b + 6);
    return true;
}

bool readFileEntry(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, FileEntry& e) {
    e = FileEntry{};
    e.Pos = pos;
    std::uint8_t b[kFileSize];
    if (pos < 0 || pos > fileSize - static_cast<std::int64_t>(kFileSize) || !read(pos, b, sizeof b))
        return false;
    e.Size = le32(b);
    e.Offset = le32(b + 4);
    e.FolderIndex = le16(b + 8);
    e.Date = le16(b + 10);
    e.Time = le16(b + 12);
    e.Attributes = le16(b + 14);
    return readZ(read, pos + static_cast<std::int64_t>(kFileSize), fileSize, kMaxFileName, e.Name,
                 e.NextPos);
}

bool readDataBlock(const ReadAt& read, const Header& h, std::int64_t pos, std::int64_t fileSize,
                   DataBlock& b) {
    std::uint8_t r[kBlockSize];
    if (pos < 0 || pos > fileSize - static_cast<std::int64_t>(kBlockSize) || !read(pos, r, 8))
        return false;
    b.Checksum = le32(r);
    b.CompressedSize = le16(r + 4);
    b.UncompressedSize = le16(r + 6);
    b.DataPos = pos + static_cast<std::int64_t>(kBlockSize) + h.DataReserve;
    return true;
}

std::uint32_t checksum(const std::uint8_t* data, std::size_t n, std::uint32_t seed) {
    std::uint32_t sum = seed;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) sum ^= le32(data + i);
    std::uint32_t rest = 0;
    switch (n - i) {
    case 3:
        rest |= static_cast<std::uint32_t>(data[i++]) << 16;
        [[fallthrough]];
    case 2:
        rest |= static_cast<std::uint32_t>(data[i++]) << 8;
        [[fallthrough]];
    case 1:
        rest |= data[i];
        break;
    default:
        break;
    }
    return sum ^ rest;
}

bool blockChecksumOk(const DataBlock& b, const std::uint8_t* data) {
    if (b.Checksum == 0) return true;
    const std::uint8_t sizes[4] = {static_cast<std::uint8_t>(b.CompressedSize),
                                   static_cast<std::uint8_t>(b.CompressedSize >> 8),
                                   static_cast<std::uint8_t>(b.UncompressedSize),
                                   static_cast<std::uint8_t>(b.UncompressedSize >> 8)};
    return checksum(sizes, 4, checksum(data, b.CompressedSize, 0)) == b.Checksum;
}

std::span<const fmt::MethodInfo> methods() {
    return kMethods;
}

std::string methodName(std::uint32_t compression) {
    if (const fmt::MethodInfo* m = fmt::findMethod(kMethods, compression)) return m->Name;
    // Values with window bits name their type in the low four bits.
    if (compression > 0x0F) {
        if ((compression & 0x0F) == kTypeLzx) return "LZX";
        if ((compression & 0x0F) == kTypeQuantum) return "Quantum";
    }
    return "Unknown";
}

} // namespace cab
