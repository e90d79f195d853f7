#include "archive/format/GzipFormat.h"

#include <algorithm>
#include <cctype>

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
