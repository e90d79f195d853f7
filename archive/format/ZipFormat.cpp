#include "archive/format/ZipFormat.h"

#include <algorithm>
#include <vector>

#include "platform/Endian.h"

namespace zip {

using plat::le16;
using plat::le32;
using plat::le64;

namespace {

// Offsets and sizes a record states are taken up to 2^60: far beyond any
// real archive, and small enough that sums of a few never overflow.
constexpr std::uint64_t kMaxStated = std::uint64_t{1} << 60;
std::int64_t stated(std::uint64_t v) {
    return static_cast<std::int64_t>(std::min(v, kMaxStated));
}

// The end record holds saturated markers: the real values stand in the
// ZIP64 end record that its locator (right in front of it) points at.
void readZip64End(const ReadAt& read, EndRecord& e) {
    std::uint8_t loc[kLocator64Size];
    if (e.Pos < static_cast<std::int64_t>(kLocator64Size) ||
        !read(e.Pos - static_cast<std::int64_t>(kLocator64Size), loc, sizeof loc) ||
        le32(loc) != kLocator64Sig)
        return;
    std::uint8_t rec[kEnd64Size];
    std::int64_t at = stated(le64(loc + 8));
    // Data in front of the archive moves the record away from its stored
    // offset; it then sits right before the locator.
    if (!(read(at, rec, sizeof rec) && le32(rec) == kEnd64Sig)) {
        at = e.Pos - static_cast<std::int64_t>(kLocator64Size + kEnd64Size);
        if (at < 0 || !read(at, rec, sizeof rec) || le32(rec) != kEnd64Sig) return;
    }
    if (e.Entries == 0xFFFF) e.Entries = le64(rec + 32);
    if (e.DirSize == kSaturated32) e.DirSize = le64(rec + 40);
    if (e.DirOffset == kSaturated32) e.DirOffset = le64(rec + 48);
    e.DirEnd = at;
    e.Zip64 = true;
}

} // namespace

std::optional<EndRecord> findEndRecord(const ReadAt& read, std::int64_t fileSize,
                                       bool* readFailed) {
    if (readFailed) *readFailed = false;
    const std::int64_t range = std::min(fileSize, kEndSearchRange);
    if (range < static_cast<std::int64_t>(kEndSize)) return std::nullopt;
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(range));
    const std::int64_t base = fileSize - range;
    if (!read(base, tail.data(), tail.size())) {
        if (readFailed) *readFailed = true;
        return std::nullopt;
    }

    std::int64_t hit = -1, any = -1;
    for (std::int64_t i = range - static_cast<std::int64_t>(kEndSize); i >= 0; --i) {
        const std::uint8_t* p = tail.data() + i;
        if (le32(p) != kEndSig) continue;
        if (any < 0) any = i;
        if (i + static_cast<std::int64_t>(kEndSize) + le16(p + 20) <= range) {
            hit = i;
            break;
        }
    }
    if (hit < 0) hit = any;
    if (hit < 0) return std::nullopt;

    const std::uint8_t* p = tail.data() + hit;
    EndRecord e;
    e.Pos = base + hit;
    e.DiskNumber = le16(p + 4);
    e.DirDisk = le16(p + 6);
    e.Entries = le16(p + 10);
    e.DirSize = le32(p + 12);
    e.DirOffset = le32(p + 16);
    e.CommentLength = le16(p + 20);
    const std::int64_t avail =
        std::min<std::int64_t>(e.CommentLength, range - hit - static_cast<std::int64_t>(kEndSize));
    e.Comment.assign(reinterpret_cast<const char*>(p + kEndSize), static_cast<std::size_t>(avail));
    e.DirEnd = e.Pos;
    if (e.Entries == 0xFFFF || e.DirSize == kSaturated32 || e.DirOffset == kSaturated32)
        readZip64End(read, e);
    return e;
}

DirStatus locateDirectory(const ReadAt& read, std::int64_t fileSize, std::int64_t announcedStart,
                          Directory& out) {
    bool readFailed = false;
    auto end = findEndRecord(read, fileSize, &readFailed);
    if (!end) return readFailed ? DirStatus::ReadError : DirStatus::NoEndRecord;
    out = Directory{};
    out.End = std::move(*end);
    const EndRecord& e = out.End;

    const std::int64_t dirSize = stated(e.DirSize), dirOffset = stated(e.DirOffset);
    std::int64_t candidates[3];
    int n = 0;
    if (dirSize <= e.DirEnd && dirOffset <= e.DirEnd - dirSize)
        candidates[n++] = e.DirEnd - dirSize - dirOffset;
    if (announcedStart > 0) candidates[n++] = announcedStart;
    candidates[n++] = 0;

    std::uint8_t sig[4];
    for (int i = 0; i < n; ++i) {
        const std::int64_t at = dirOffset + candidates[i];
        if (at > fileSize - static_cast<std::int64_t>(kCentralSize)) continue;
        if (read(at, sig, sizeof sig) && le32(sig) == kCentralSig) {
            out.OffsetDelta = candidates[i];
            out.FirstCentral = at;
            return DirStatus::Ok;
        }
    }
    // An archive without members has no central header to find.
    if (e.Entries == 0 && e.DirSize == 0) return DirStatus::Ok;
    return DirStatus::NoCentralHeader;
}

bool CentralHeader::IsFolder(std::span<const std::uint8_t> name) const {
    return (ExternalAttr & 0x10) != 0 ||
           (!name.empty() && (name.back() == '/' || name.back() == '\\'));
}

bool parseCentral(const std::uint8_t* p, CentralHeader& h) {
    if (le32(p) != kCentralSig) return false;
    h.VersionMadeBy = le16(p + 4);
    h.VersionNeeded = le16(p + 6);
    h.Flags = le16(p + 8);
    h.Method = le16(p + 10);
    h.DosDateTime = le32(p + 12);
    h.Crc = le32(p + 16);
    h.PackedSize = le32(p + 20);
    h.UnpackedSize = le32(p + 24);
    h.NameLength = le16(p + 28);
    h.ExtraLength = le16(p + 30);
    h.CommentLength = le16(p + 32);
    h.DiskStart = le16(p + 34);
    h.InternalAttr = le16(p + 36);
    h.ExternalAttr = le32(p + 38);
    h.LocalOffset = le32(p + 42);
    return true;
}

void applyZip64Extra(std::span<const std::uint8_t> extra, CentralHeader& h) {
    if (h.UnpackedSize != kSaturated32 && h.PackedSize != kSaturated32 &&
        h.LocalOffset != kSaturated32 && h.DiskStart != 0xFFFF)
        return;
    std::size_t i = 0;
    while (i + 4 <= extra.size()) {
        const std::uint16_t id = le16(&extra[i]), size = le16(&extra[i + 2]);
        const std::size_t start = i + 4;
        const std::size_t len = std::min<std::size_t>(size, extra.size() - start);
        if (id == kZip64ExtraId) {
            std::size_t at = start;
            auto take = [&](std::uint64_t& field) {
                if (field != kSaturated32 || at + 8 > start + len) return;
                field = le64(&extra[at]);
                at += 8;
            };
            take(h.UnpackedSize);
            take(h.PackedSize);
            take(h.LocalOffset);
            if (h.DiskStart == 0xFFFF && at + 4 <= start + len) h.DiskStart = le32(&extra[at]);
            return;
        }
        i = start + size;
    }
}

bool parseLocal(const std::uint8_t* p, LocalHeader& h) {
    if (le32(p) != kLocalSig && !(p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0x50))
        return false;
    h.VersionNeeded = le16(p + 4);
    h.Flags = le16(p + 6);
    h.Method = le16(p + 8);
    h.DosDateTime = le32(p + 10);
    h.Crc = le32(p + 14);
    h.PackedSize = le32(p + 18);
    h.UnpackedSize = le32(p + 22);
    h.NameLength = le16(p + 26);
    h.ExtraLength = le16(p + 28);
    return true;
}

std::int64_t findLocalHeader(const ReadAt& read, const Directory& dir, std::uint64_t storedOffset,
                             LocalHeader& h) {
    std::uint8_t b[kLocalSize];
    const std::int64_t stored = stated(storedOffset);
    auto at = [&](std::int64_t pos) {
        return pos >= 0 && read(pos, b, sizeof b) && parseLocal(b, h);
    };
    if (at(stored + dir.OffsetDelta)) return stored + dir.OffsetDelta;
    if (dir.OffsetDelta != 0 && at(stored)) return stored;
    return -1;
}

namespace {

void put16(std::vector<std::uint8_t>& o, std::uint16_t v) {
    o.push_back(static_cast<std::uint8_t>(v));
    o.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& o, std::uint32_t v) {
    put16(o, static_cast<std::uint16_t>(v));
    put16(o, static_cast<std::uint16_t>(v >> 16));
}
void put64(std::vector<std::uint8_t>& o, std::uint64_t v) {
    put32(o, static_cast<std::uint32_t>(v));
    put32(o, static_cast<std::uint32_t>(v >> 32));
}
void putBytes(std::vector<std::uint8_t>& o, std::string_view s) {
    o.insert(o.end(), s.begin(), s.end());
}
std::uint16_t length16(std::size_t n) {
    return static_cast<std::uint16_t>(std::min<std::size_t>(n, 0xFFFF));
}
std::string_view cut16(std::string_view s) {
    return s.substr(0, 0xFFFF);
}
std::uint32_t field32(std::uint64_t v) {
    return v >= kSaturated32 ? kSaturated32 : static_cast<std::uint32_t>(v);
}

} // namespace

std::string withoutExtraBlocks(std::string_view extra, std::initializer_list<std::uint16_t> ids) {
    std::string out;
    std::size_t i = 0;
    while (i + 4 <= extra.size()) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(extra.data() + i);
        const std::uint16_t id = le16(p);
        const std::size_t len = std::min<std::size_t>(le16(p + 2), extra.size() - i - 4);
        if (std::find(ids.begin(), ids.end(), id) == ids.end())
            out.append(extra.substr(i, 4 + len));
        i += 4 + len;
    }
    // A tail too short to be a block is kept as it was.
    if (i < extra.size()) out.append(extra.substr(i));
    return out;
}

std::string aesExtraBlock(const AesExtra& a) {
    std::vector<std::uint8_t> b;
    put16(b, kAesExtraId);
    put16(b, 7);
    put16(b, a.Version);
    b.push_back('A');
    b.push_back('E');
    b.push_back(a.Strength);
    put16(b, a.Method);
    return std::string(b.begin(), b.end());
}

bool localNeedsZip64(std::uint64_t packed, std::uint64_t unpacked) {
    return packed >= kSaturated32 || unpacked >= kSaturated32;
}

void appendLocal(std::vector<std::uint8_t>& out, const LocalHeader& h, std::string_view name,
                 std::string_view extra) {
    const bool z64 = localNeedsZip64(h.PackedSize, h.UnpackedSize);
    name = cut16(name);
    extra = extra.substr(0, 0xFFFF - (z64 ? 20 : 0));
    put32(out, kLocalSig);
    put16(out, z64 ? std::max(h.VersionNeeded, kZip64Version) : h.VersionNeeded);
    put16(out, h.Flags);
    put16(out, h.Method);
    put32(out, h.DosDateTime);
    put32(out, h.Crc);
    put32(out, z64 ? kSaturated32 : static_cast<std::uint32_t>(h.PackedSize));
    put32(out, z64 ? kSaturated32 : static_cast<std::uint32_t>(h.UnpackedSize));
    put16(out, length16(name.size()));
    put16(out, length16(extra.size() + (z64 ? 20 : 0)));
    putBytes(out, name);
    if (z64) {
        put16(out, kZip64ExtraId);
        put16(out, 16);
        put64(out, h.UnpackedSize);
        put64(out, h.PackedSize);
    }
    putBytes(out, extra);
}

void appendCentral(std::vector<std::uint8_t>& out, const CentralHeader& h, std::string_view name,
                   std::string_view extra, std::string_view comment) {
    const bool bigUnpacked = h.UnpackedSize >= kSaturated32;
    const bool bigPacked = h.PackedSize >= kSaturated32;
    const bool bigOffset = h.LocalOffset >= kSaturated32;
    const bool bigDisk = h.DiskStart >= kSaturated16;
    const std::size_t z64 = (bigUnpacked + bigPacked + bigOffset) * 8 + bigDisk * 4;
    name = cut16(name);
    comment = cut16(comment);
    extra = extra.substr(0, 0xFFFF - (z64 ? z64 + 4 : 0));
    std::uint16_t madeBy = h.VersionMadeBy, needed = h.VersionNeeded;
    if (z64) {
        needed = std::max(needed, kZip64Version);
        if ((madeBy & 0xFF) < kZip64Version)
            madeBy = static_cast<std::uint16_t>((madeBy & 0xFF00) | kZip64Version);
    }
    put32(out, kCentralSig);
    put16(out, madeBy);
    put16(out, needed);
    put16(out, h.Flags);
    put16(out, h.Method);
    put32(out, h.DosDateTime);
    put32(out, h.Crc);
    put32(out, field32(h.PackedSize));
    put32(out, field32(h.UnpackedSize));
    put16(out, length16(name.size()));
    put16(out, length16(extra.size() + (z64 ? z64 + 4 : 0)));
    put16(out, length16(comment.size()));
    put16(out, bigDisk ? kSaturated16 : static_cast<std::uint16_t>(h.DiskStart));
    put16(out, h.InternalAttr);
    put32(out, h.ExternalAttr);
    put32(out, field32(h.LocalOffset));
    putBytes(out, name);
    if (z64) {
        put16(out, kZip64ExtraId);
        put16(out, static_cast<std::uint16_t>(z64));
        if (bigUnpacked) put64(out, h.UnpackedSize);
        if (bigPacked) put64(out, h.PackedSize);
        if (bigOffset) put64(out, h.LocalOffset);
        if (bigDisk) put32(out, h.DiskStart);
    }
    putBytes(out, extra);
    putBytes(out, comment);
}

void appendEnd(std::vector<std::uint8_t>& out, const EndValues& v, std::string_view comment,
               std::uint64_t here) {
    const bool z64 = v.DiskNumber >= kSaturated16 || v.DirDisk >= kSaturated16 ||
                     v.EntriesOnDisk >= kSaturated16 || v.Entries >= kSaturated16 ||
                     v.DirSize >= kSaturated32 || v.DirOffset >= kSaturated32;
    if (z64) {
        put32(out, kEnd64Sig);
        put64(out, kEnd64Size - 12);
        put16(out, 0x0300 | kZip64Version);
        put16(out, kZip64Version);
        put32(out, v.DiskNumber);
        put32(out, v.DirDisk);
        put64(out, v.EntriesOnDisk);
        put64(out, v.Entries);
        put64(out, v.DirSize);
        put64(out, v.DirOffset);
        put32(out, kLocator64Sig);
        put32(out, v.DiskNumber);
        put64(out, here);
        put32(out, v.DiskNumber + 1);
    }
    auto f16 = [](std::uint64_t x) {
        return x >= kSaturated16 ? kSaturated16 : static_cast<std::uint16_t>(x);
    };
    comment = cut16(comment);
    put32(out, kEndSig);
    put16(out, f16(v.DiskNumber));
    put16(out, f16(v.DirDisk));
    put16(out, f16(v.EntriesOnDisk));
    put16(out, f16(v.Entries));
    put32(out, field32(v.DirSize));
    put32(out, field32(v.DirOffset));
    put16(out, length16(comment.size()));
    putBytes(out, comment);
}

void appendDescriptor(std::vector<std::uint8_t>& out, std::uint32_t crc, std::uint64_t packed,
                      std::uint64_t unpacked, bool signature) {
    if (signature) put32(out, kDescriptorSig);
    put32(out, crc);
    if (localNeedsZip64(packed, unpacked)) {
        put64(out, packed);
        put64(out, unpacked);
    } else {
        put32(out, static_cast<std::uint32_t>(packed));
        put32(out, static_cast<std::uint32_t>(unpacked));
    }
}

namespace {
using fmt::Codec;
constexpr fmt::MethodInfo kMethods[] = {
    {0, "Stored", Codec::Stored, 0},     {1, "Shrunk", Codec::Unshrink, 0},
    {2, "Reduce-1", Codec::Unreduce, 1}, {3, "Reduce-2", Codec::Unreduce, 2},
    {4, "Reduce-3", Codec::Unreduce, 3}, {5, "Reduce-4", Codec::Unreduce, 4},
    {6, "Imploded", Codec::Explode, 0},  {7, "Tokened", Codec::None, 0},
    {8, "DeflateN", Codec::Inflate, 0},  {9, "Deflate64", Codec::Inflate, 64},
    {12, "BZip2", Codec::Bzip2, 0},      {14, "LZMA", Codec::Lzma, 0},
    {93, "Zstd", Codec::Zstd, 0},        {95, "XZ", Codec::Xz, 0},
    {kMethodAes, "AES", Codec::None, 0},
};
} // namespace

std::optional<AesExtra> findAesExtra(std::span<const std::uint8_t> extra) {
    std::size_t i = 0;
    while (i + 4 <= extra.size()) {
        const std::uint16_t id = le16(&extra[i]), size = le16(&extra[i + 2]);
        const std::size_t start = i + 4;
        if (size > extra.size() - start) break;
        if (id == kAesExtraId) {
            if (size < 7 || extra[start + 2] != 'A' || extra[start + 3] != 'E') return std::nullopt;
            AesExtra a;
            a.Version = le16(&extra[start]);
            a.Strength = extra[start + 4];
            a.Method = le16(&extra[start + 5]);
            if (a.Version < 1 || a.Version > 2 || a.Strength < 1 || a.Strength > 3)
                return std::nullopt;
            return a;
        }
        i = start + size;
    }
    return std::nullopt;
}

std::span<const fmt::MethodInfo> methods() {
    return kMethods;
}

std::string methodName(std::uint16_t method, std::uint16_t flags) {
    if (method == 8) {
        if ((flags & 6) == 6) return "DeflateS";
        if (flags & 4) return "DeflateF";
        if (flags & 2) return "DeflateX";
        return "DeflateN";
    }
    const fmt::MethodInfo* m = fmt::findMethod(kMethods, method);
    return m ? m->Name : "Unknown";
}

} // namespace zip
