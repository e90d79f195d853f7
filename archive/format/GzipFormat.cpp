#include "archive/format/GzipFormat.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "archive/format/Format.h"
#include "platform/Utf.h"

namespace gz {

namespace {

// The header CRC (FHCRC) is the low half of the CRC-32 of the bytes before
// it; a bitwise CRC is plenty for a few hundred bytes.
class HeaderCrc {
public:
    void add(std::uint8_t b) {
        crc_ ^= b;
        for (int k = 0; k < 8; ++k) crc_ = (crc_ >> 1) ^ (0xEDB88320u & (0u - (crc_ & 1)));
    }
    std::uint16_t value() const { return static_cast<std::uint16_t>(~crc_); }

private:
    std::uint32_t crc_ = 0xFFFFFFFFu;
};

using fmt::Codec;
constexpr fmt::MethodInfo kMethods[] = {
    {kMethodStored, "Stored", Codec::Stored, 0},
    {kCodeCompress, "Compress", Codec::CompressLzw, 0},
    {kCodePack, "Packed", Codec::None, 0},
    {kCodeScoCompress, "Lzh", Codec::None, 0},
    {kMethodDeflate, "Deflate", Codec::Inflate, 0},
    {kCodeBzip2, "BZip2", Codec::Bzip2, 0},
    {kCodeXz, "XZ", Codec::Xz, 0},
    {kCodeLzip, "LZip", Codec::Lzip, 0},
    {kCodeZstd, "Zstd", Codec::Zstd, 0},
};

bool upperEquals(const std::string& a, const char* b) {
    if (a.size() != std::char_traits<char>::length(b)) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

} // namespace

bool isGzip(std::uint16_t magic) {
    return magic == kGzip || magic == kGzipOld;
}

bool isKnown(std::uint16_t magic) {
    return isGzip(magic) || magic == kCompress || magic == kScoCompress || magic == kPack;
}

std::uint32_t modernMethodCode(const std::uint8_t* h) {
    // bzip2: "BZh" and the block size digit.
    if (h[0] == 'B' && h[1] == 'Z' && h[2] == 'h' && h[3] >= '1' && h[3] <= '9') return kCodeBzip2;
    static const std::uint8_t xz[6] = {0xFD, '7', 'z', 'X', 'Z', 0x00};
    if (std::equal(xz, xz + 6, h)) return kCodeXz;
    // lzip: "LZIP" and version 0 or 1.
    if (h[0] == 'L' && h[1] == 'Z' && h[2] == 'I' && h[3] == 'P' && h[4] <= 1) return kCodeLzip;
    if (h[0] == 0x28 && h[1] == 0xB5 && h[2] == 0x2F && h[3] == 0xFD) return kCodeZstd;
    return 0;
}

namespace {

std::uint64_t leN(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

// Sizes beyond this are not believed.
constexpr std::uint64_t kMaxStated = std::uint64_t{1} << 60;

std::int64_t xzSize(const ReadAt& read, std::int64_t fileSize) {
    // Streams from the last one back: each footer leads to its index, whose
    // records give the blocks' sizes, and so to the stream's start.
    std::uint64_t total = 0;
    for (std::int64_t end = fileSize; end > 0;) {
        // Stream padding (zeros) may follow a stream's footer.
        std::uint8_t footer[12];
        for (;;) {
            if (end < 24 || !read(end - 12, footer, 12)) return -1;
            if (footer[10] == 'Y' && footer[11] == 'Z') break;
            if (leN(footer + 8, 4) != 0) return -1;
            end -= 4;
        }
        const std::uint64_t indexSize = (leN(footer + 4, 4) + 1) * 4;
        if (indexSize > 1u << 24 || static_cast<std::int64_t>(indexSize) > end - 24) return -1;
        std::vector<std::uint8_t> index(indexSize);
        if (!read(end - 12 - static_cast<std::int64_t>(indexSize), index.data(), index.size()))
            return -1;
        std::size_t at = 0;
        auto vli = [&](std::uint64_t& v) {
            v = 0;
            for (int shift = 0; shift < 63 && at < index.size(); shift += 7) {
                const std::uint8_t b = index[at++];
                v |= std::uint64_t{b & 0x7Fu} << shift;
                if (!(b & 0x80)) return true;
            }
            return false;
        };
        std::uint64_t records = 0, blocks = 0;
        if (index[at++] != 0 || !vli(records) || records > index.size()) return -1;
        for (std::uint64_t i = 0; i < records; ++i) {
            std::uint64_t unpadded = 0, size = 0;
            if (!vli(unpadded) || !vli(size) || size > kMaxStated - total || unpadded > kMaxStated)
                return -1;
            total += size;
            blocks += (unpadded + 3) / 4 * 4;
            if (blocks > kMaxStated) return -1;
        }
        const std::uint64_t stream = 12 + blocks + indexSize + 12;
        if (stream > static_cast<std::uint64_t>(end)) return -1;
        end -= static_cast<std::int64_t>(stream);
        std::uint8_t magic[6];
        if (!read(end, magic, 6) || modernMethodCode(magic) != kCodeXz) return -1;
    }
    return static_cast<std::int64_t>(total);
}

std::int64_t lzipSize(const ReadAt& read, std::int64_t fileSize) {
    // Members from the last one back, each trailer giving its data size and
    // its own length.
    std::uint64_t total = 0;
    for (std::int64_t end = fileSize; end > 0;) {
        std::uint8_t trailer[20], head[4];
        if (end < 26 || !read(end - 20, trailer, 20)) return -1;
        const std::uint64_t data = leN(trailer + 4, 8), member = leN(trailer + 12, 8);
        if (member < 26 || member > static_cast<std::uint64_t>(end) || data > kMaxStated - total)
            return -1;
        end -= static_cast<std::int64_t>(member);
        if (!read(end, head, 4) || head[0] != 'L' || head[1] != 'Z' || head[2] != 'I' ||
            head[3] != 'P')
            return -1;
        total += data;
    }
    return static_cast<std::int64_t>(total);
}

std::int64_t zstdSize(const ReadAt& read, std::int64_t fileSize) {
    std::uint8_t h[18] = {};
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(fileSize, sizeof h));
    if (n < 6 || !read(0, h, n)) return -1;
    const std::uint8_t fhd = h[4];
    const unsigned fcsFlag = fhd >> 6, single = (fhd >> 5) & 1, dictFlag = fhd & 3;
    const int fcsBytes = fcsFlag == 0 ? (single ? 1 : 0) : 1 << fcsFlag;
    if (fcsBytes == 0) return -1;
    static const int dictBytes[4] = {0, 1, 2, 4};
    const std::size_t at = 5 + (single ? 0 : 1) + static_cast<std::size_t>(dictBytes[dictFlag]);
    if (at + static_cast<std::size_t>(fcsBytes) > n) return -1;
    std::uint64_t v = leN(h + at, fcsBytes);
    if (fcsBytes == 2) v += 256;
    return v > kMaxStated ? -1 : static_cast<std::int64_t>(v);
}

} // namespace

std::int64_t statedDecodedSize(const ReadAt& read, std::int64_t fileSize, std::uint32_t code) {
    switch (code) {
    case kCodeXz:
        return xzSize(read, fileSize);
    case kCodeLzip:
        return lzipSize(read, fileSize);
    case kCodeZstd:
        return zstdSize(read, fileSize);
    default:
        return -1;
    }
}

std::uint32_t methodCode(std::uint16_t magic, std::uint8_t gzipMethod) {
    switch (magic) {
    case kCompress:
        return kCodeCompress;
    case kPack:
        return kCodePack;
    case kScoCompress:
        return kCodeScoCompress;
    default:
        return gzipMethod == kMethodStored || gzipMethod == kMethodDeflate ? gzipMethod
                                                                           : kCodeOther;
    }
}

std::string Header::FileName() const {
    if (!HasName) return {};
    // Names made on DOS separate their folders with '\'.
    const auto slash = Name.find_last_of("/\\");
    std::string last = slash == std::string::npos ? Name : Name.substr(slash + 1);
    if (last == "." || last == "..") return {};
    return plat::decodeStoredName(last);
}

Status parseHeader(const std::function<int()>& next, Header& h, std::size_t maxText) {
    h = Header{};
    HeaderCrc crc;
    std::int64_t length = 0;
    bool truncated = false;
    auto byte = [&]() -> std::uint8_t {
        const int c = next();
        if (c < 0) {
            truncated = true;
            return 0;
        }
        ++length;
        crc.add(static_cast<std::uint8_t>(c));
        return static_cast<std::uint8_t>(c);
    };
    auto text = [&](std::string& out) {
        for (;;) {
            const std::uint8_t c = byte();
            if (truncated || c == 0) return;
            if (out.size() < maxText) out += static_cast<char>(c);
        }
    };
    std::uint8_t fixed[kFixedSize];
    for (std::size_t i = 0; i < 2; ++i) fixed[i] = byte();
    if (truncated) return Status::Truncated;
    h.Magic = static_cast<std::uint16_t>(fixed[0] | fixed[1] << 8);
    if (!isGzip(h.Magic)) return Status::NotGzip;
    for (std::size_t i = 2; i < kFixedSize; ++i) fixed[i] = byte();
    if (truncated) return Status::Truncated;
    h.Method = fixed[2];
    h.Flags = fixed[3];
    h.ModificationTime = static_cast<std::uint32_t>(fixed[4] | fixed[5] << 8 | fixed[6] << 16) |
                         static_cast<std::uint32_t>(fixed[7]) << 24;
    if (h.Flags & kFlagExtra) {
        const std::uint8_t lo = byte(), hi = byte();
        h.ExtraLength = static_cast<std::uint16_t>(lo | hi << 8);
        for (std::uint32_t i = 0; i < h.ExtraLength && !truncated; ++i) byte();
    }
    if (h.Flags & kFlagName) {
        h.HasName = true;
        text(h.Name);
    }
    if (h.Flags & kFlagComment) text(h.Comment);
    if (truncated) return Status::Truncated;
    if (h.Flags & kFlagHeaderCrc) {
        const std::uint16_t expected = crc.value();
        const std::uint8_t lo = byte(), hi = byte();
        if (truncated) return Status::Truncated;
        if (static_cast<std::uint16_t>(lo | hi << 8) != expected) return Status::HeaderCrcError;
    }
    h.Length = length;
    return Status::Ok;
}

Status readHeader(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Header& h,
                  std::size_t maxText) {
    std::uint8_t buf[512];
    std::size_t have = 0, at = 0;
    std::int64_t next = pos;
    auto source = [&]() -> int {
        if (at == have) {
            const std::int64_t left = fileSize - next;
            if (next < 0 || left <= 0) return -1;
            have = static_cast<std::size_t>(std::min<std::int64_t>(left, sizeof buf));
            if (!read(next, buf, have)) return -1;
            next += static_cast<std::int64_t>(have);
            at = 0;
        }
        return buf[at++];
    };
    return parseHeader(source, h, maxText);
}

std::string nameFromArchive(const std::string& archiveFileName) {
    std::string name = archiveFileName;
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) return name;
    const std::string ext = name.substr(dot);
    name.resize(dot);
    if (upperEquals(ext, ".TGZ") || upperEquals(ext, ".TAZ") || upperEquals(ext, ".TBZ") ||
        upperEquals(ext, ".TBZ2") || upperEquals(ext, ".TXZ") || upperEquals(ext, ".TLZ") ||
        upperEquals(ext, ".TZST"))
        name += std::isupper(static_cast<unsigned char>(ext[1])) ? ".TAR" : ".tar";
    return name;
}

std::span<const fmt::MethodInfo> methods() {
    return kMethods;
}

std::string methodName(std::uint32_t code) {
    const fmt::MethodInfo* m = fmt::findMethod(kMethods, code);
    return m ? m->Name : "Unknown";
}

} // namespace gz
