#include "archive/format/LhaFormat.h"

#include <algorithm>
#include <vector>

#include "platform/Endian.h"
#include "platform/Time.h"

namespace lha {

using plat::le16;
using plat::le32;

namespace {

constexpr std::uint16_t code(char a, char b) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(a) << 8 |
                                      static_cast<std::uint8_t>(b));
}

// Folder names use 0xFF between their parts; names from DOS use '\'.
std::string pathBytes(std::string s) {
    for (char& c : s)
        if (static_cast<unsigned char>(c) == 0xFF) c = '/';
    return s;
}

class Reader {
public:
    Reader(const ReadAt& read, std::int64_t fileSize, Header& h)
        : read_(read), size_(fileSize), h_(h) {}

    // Reads n bytes at pos; false when the file ends first.
    bool fetch(std::int64_t pos, std::size_t n, std::vector<std::uint8_t>& buf) {
        if (pos < 0 || pos + static_cast<std::int64_t>(n) > size_) return false;
        buf.resize(n);
        return n == 0 || read_(pos, buf.data(), n);
    }

    void takeExtension(std::uint8_t type, const std::uint8_t* data, std::size_t n) {
        switch (type) {
        case kExtName: {
            std::string text(reinterpret_cast<const char*>(data), n);
            h_.Name = text.substr(0, text.find('\0'));
            break;
        }
        case kExtFolder: {
            std::string text(reinterpret_cast<const char*>(data), n);
            h_.Folder = pathBytes(text.substr(0, text.find('\0')));
            break;
        }
        case kExtDosAttr:
            if (n >= 2) h_.DosAttr = le16(data);
            break;
        case kExtUnixMode:
            if (n >= 2) h_.UnixMode = le16(data);
            break;
        case kExtUnixTime:
            if (n >= 4) h_.UnixTime = le32(data);
            break;
        default:
            break;
        }
    }

    // Follows a chain of extended headers from p, the first of firstSize
    // bytes; each is type, data and the size of the next, the sizes being
    // width bytes wide.  Returns the position behind the chain, or -1 when
    // it is malformed or runs past the end of the file.
    std::int64_t walkChain(std::int64_t p, std::size_t firstSize, std::size_t width) {
        std::vector<std::uint8_t> b;
        std::size_t extSize = firstSize;
        while (extSize != 0) {
            if (extSize < 1 + width || !fetch(p, extSize, b)) return -1;
            takeExtension(b[0], b.data() + 1, extSize - 1 - width);
            p += static_cast<std::int64_t>(extSize);
            const std::uint8_t* next = b.data() + extSize - width;
            extSize = width == 2 ? le16(next) : le32(next);
        }
        return p;
    }

    // Levels 0 and 1: header size byte, checksum, fixed fields, name, CRC;
    // level 1 then chains extended headers behind the base header, and
    // counts them in the packed size.  A level 0 header may carry the Unix
    // extension of LHA for Unix behind the CRC.
    bool level01(const std::uint8_t* fixed) {
        const std::size_t baseLen = static_cast<std::size_t>(fixed[0]) + 2;
        const std::size_t n = fixed[21];
        if (baseLen < kFixedSize + n + 2) return false;
        std::vector<std::uint8_t> b;
        if (!fetch(h_.Pos, baseLen, b)) return false;
        h_.ChecksumOk = headerChecksum(b.data() + 2, baseLen - 2) == fixed[1];
        h_.Name.assign(reinterpret_cast<const char*>(b.data() + kFixedSize), n);
        h_.Crc = le16(b.data() + kFixedSize + n);
        h_.HeaderLength = static_cast<std::int64_t>(baseLen);
        const std::size_t rest = baseLen - (kFixedSize + n + 2);
        const std::uint8_t* ext = b.data() + kFixedSize + n + 2;
        if (h_.Level == 0) {
            // 'U', a minor version, time, mode, uid, gid.
            if (rest >= 1) h_.Os = ext[0];
            if (rest >= 8 && ext[0] == kOsUnix) {
                h_.UnixTime = le32(ext + 2);
                h_.UnixMode = le16(ext + 6);
            }
            return true;
        }
        if (rest < 3) return false;
        h_.Os = ext[0];
        // The size of the first extended header ends the base header.
        const std::int64_t start = h_.Pos + static_cast<std::int64_t>(baseLen);
        const std::int64_t end = walkChain(start, le16(b.data() + baseLen - 2), 2);
        if (end < 0) return false;
        h_.HeaderLength += end - start;
        h_.PackedSize = std::max<std::int64_t>(h_.PackedSize - (end - start), 0);
        return true;
    }

    // Level 2: a 16-bit total header length, the extended headers inside.
    // Some writers count the length short, so the data starts behind
    // whichever ends later, the length or the chain.
    bool level2(const std::uint8_t* fixed) {
        const std::int64_t total = le16(fixed);
        std::vector<std::uint8_t> b;
        if (total < 26 || !fetch(h_.Pos, 26, b)) return false;
        h_.Crc = le16(b.data() + 21);
        h_.Os = b[23];
        const std::int64_t end = walkChain(h_.Pos + 26, le16(b.data() + 24), 2);
        if (end < 0) return false;
        h_.HeaderLength = std::max(total, end - h_.Pos);
        return true;
    }

    // Level 3: 32-bit sizes throughout.
    bool level3(const std::uint8_t* fixed) {
        if (le16(fixed) != 4) return false;
        std::vector<std::uint8_t> b;
        if (!fetch(h_.Pos, 32, b)) return false;
        const std::int64_t total = le32(b.data() + 24);
        const std::uint32_t first = le32(b.data() + 28);
        if (total < 32 || first > kMaxLevel3Header) return false;
        h_.Crc = le16(b.data() + 21);
        h_.Os = b[23];
        const std::int64_t end = walkChain(h_.Pos + 32, first, 4);
        if (end < 0) return false;
        h_.HeaderLength = std::max(total, end - h_.Pos);
        return true;
    }

private:
    const ReadAt& read_;
    std::int64_t size_;
    Header& h_;
};

using fmt::Codec;
constexpr fmt::MethodInfo kMethods[] = {
    {code('h', '0'), "Stored", Codec::Stored, 0},
    {code('h', '1'), "Frozen-1", Codec::Lzhuf, 12},
    {code('h', '2'), "Frozen-2", Codec::None, 0},
    {code('h', '3'), "Frozen-3", Codec::None, 0},
    {code('h', '4'), "Frozen-4", Codec::LhaStatic, 12},
    {code('h', '5'), "Frozen-5", Codec::LhaStatic, 13},
    {code('h', '6'), "Frozen-6", Codec::LhaStatic, 15},
    {code('h', '7'), "Frozen-7", Codec::LhaStatic, 16},
    {code('z', '4'), "LArc-4", Codec::Stored, 0},
    {code('z', 's'), "LArc-s", Codec::Lzs, 11},
    {code('z', '5'), "LArc-5", Codec::Lz5, 12},
};

} // namespace

std::string Header::Path() const {
    std::string path = Folder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    path += pathBytes(Name);
    bool folder = IsFolder() || (Name.empty() && !Folder.empty());
    if (IsFolder()) {
        // Unix LHA keeps symbolic links as folder entries "link|target".
        auto bar = path.find('|');
        if (bar != std::string::npos) {
            path.resize(bar);
            while (!path.empty() && path.back() == '/') path.pop_back();
            folder = false;
        }
    }
    if (folder && !path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    return fmt::storedName(path);
}

std::string Header::LinkTarget() const {
    if (!IsFolder()) return {};
    const std::string name = pathBytes(Name);
    auto bar = name.find('|');
    return bar == std::string::npos ? std::string() : fmt::storedName(name.substr(bar + 1));
}

std::int64_t Header::UnixModificationTime() const {
    if (UnixTime) return *UnixTime;
    if (Level >= 2) return Stamp;
    return plat::dosToUnix(Stamp);
}

Status readHeader(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Header& h) {
    h = Header{};
    h.Pos = pos;
    std::uint8_t fixed[kFixedSize];
    if (pos < 0 || pos + static_cast<std::int64_t>(kFixedSize) > fileSize ||
        !read(pos, fixed, sizeof fixed))
        return Status::End;
    const std::uint8_t level = fixed[20];
    const bool methodOk = fixed[2] == '-' && fixed[6] == '-' && fixed[3] == 'l';
    if (!methodOk || level > 3 || (level < 2 && fixed[0] == 0)) return Status::End;
    h.Level = level;
    std::copy(fixed + 2, fixed + 7, h.MethodId);
    h.PackedSize = le32(fixed + 7);
    h.UnpackedSize = le32(fixed + 11);
    h.Stamp = le32(fixed + 15);
    h.Attr = fixed[19];
    Reader r(read, fileSize, h);
    bool ok = false;
    switch (level) {
    case 0:
    case 1:
        ok = r.level01(fixed);
        break;
    case 2:
        ok = r.level2(fixed);
        break;
    default:
        ok = r.level3(fixed);
        break;
    }
    if (!ok) return Status::Damaged;
    return Status::Ok;
}

std::uint8_t headerChecksum(const std::uint8_t* from, std::size_t n) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum = static_cast<std::uint8_t>(sum + from[i]);
    return sum;
}

std::vector<std::uint8_t> writeLevel0(const Header& h) {
    constexpr std::int64_t kMax32 = 0xFFFFFFFF;
    const std::size_t n = h.Name.size();
    if (n > kMaxLevel0Name || h.PackedSize < 0 || h.PackedSize > kMax32 || h.UnpackedSize < 0 ||
        h.UnpackedSize > kMax32)
        return {};
    std::vector<std::uint8_t> b(kFixedSize + n + 2);
    auto put32 = [&](std::size_t at, std::uint64_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    b[0] = static_cast<std::uint8_t>(kFixedSize + n);
    std::copy(h.MethodId, h.MethodId + 5, b.begin() + 2);
    put32(7, static_cast<std::uint64_t>(h.PackedSize));
    put32(11, static_cast<std::uint64_t>(h.UnpackedSize));
    put32(15, h.Stamp);
    b[19] = h.Attr;
    b[20] = 0;
    b[21] = static_cast<std::uint8_t>(n);
    std::copy(h.Name.begin(), h.Name.end(), b.begin() + kFixedSize);
    b[kFixedSize + n] = static_cast<std::uint8_t>(h.Crc);
    b[kFixedSize + n + 1] = static_cast<std::uint8_t>(h.Crc >> 8);
    b[1] = headerChecksum(b.data() + 2, b.size() - 2);
    return b;
}

std::span<const fmt::MethodInfo> methods() {
    return kMethods;
}

std::string methodName(const Header& h) {
    const fmt::MethodInfo* m = fmt::findMethod(kMethods, h.MethodCode());
    return m ? m->Name : "Unknown";
}

} // namespace lha
