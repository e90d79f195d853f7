// RAR directory: the blocks of RAR 1.5 to 4.x archives, and the headers of
// RAR 5 archives, which share only the first six bytes of the marker.
#include <algorithm>
#include <limits>

#include "archive/format/RarFormat.h"
#include "archive/list/DirectoryReader.h"

namespace {

constexpr std::int64_t kMarker4 = 7, kMarker5 = 8;
constexpr std::int64_t kMainHeader = 13;
constexpr std::int64_t kFileHeader = 32;

constexpr std::uint8_t kTypeMain = 0x73, kTypeFile = 0x74, kTypeEnd = 0x7B;
constexpr std::uint16_t kLongBlock = 0x8000, kSkipIfUnknown = 0x4000;
constexpr std::uint16_t kMainHeadersEncrypted = 0x0080;
constexpr std::uint16_t kFileEncrypted = 0x0004, kFileComment = 0x0008, kFileLarge = 0x0100;
constexpr std::uint16_t kFileDirectoryMask = 0x00E0, kFileUnicode = 0x0200;

// RAR 5 header types and flags.
constexpr std::uint64_t kR5File = 2, kR5Encryption = 4, kR5End = 5;
constexpr std::uint64_t kR5HasExtra = 0x01, kR5HasData = 0x02;
constexpr std::uint64_t kR5Directory = 0x01, kR5HasTime = 0x02, kR5HasCrc = 0x04;
constexpr std::int64_t kR5MaxHeader = 2 * 1024 * 1024;

// A RAR 5 variable-length number: seven bits a byte, low bits first.
struct VintCursor {
    const std::uint8_t* p;
    std::size_t n, at = 0;
    bool ok = true;

    std::uint64_t vint() {
        std::uint64_t v = 0;
        for (int shift = 0; shift < 70; shift += 7) {
            if (at >= n) break;
            const std::uint8_t b = p[at++];
            if (shift < 64) v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
            if (!(b & 0x80)) return v;
        }
        ok = false;
        return 0;
    }
    std::uint32_t u32() {
        if (at + 4 > n) {
            ok = false;
            return 0;
        }
        at += 4;
        return le32(p + at - 4);
    }
    void skip(std::uint64_t k) {
        if (k > n - at) {
            ok = false;
            at = n;
        } else {
            at += static_cast<std::size_t>(k);
        }
    }
};

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A name with the Unicode flag holds the plain name, a zero byte and the
// UTF-16 name packed against the plain one: a high byte shared by many
// characters, and two-bit opcodes saying how each character is formed.
std::string rarName(const std::string& raw, bool unicode) {
    const auto zero = raw.find('\0');
    if (!unicode || zero == std::string::npos) return TArcLister::StoredName(raw);
    const auto* plain = reinterpret_cast<const std::uint8_t*>(raw.data());
    const std::size_t plainLen = zero;
    const auto* enc = plain + zero + 1;
    const std::size_t encLen = raw.size() - zero - 1;
    std::u16string name;
    std::size_t at = 0;
    if (encLen == 0) return TArcLister::StoredName(raw);
    const std::uint8_t high = enc[at++];
    std::uint8_t ops = 0;
    int opsLeft = 0;
    // A name can never be longer than the bytes that hold it.
    while (at < encLen && name.size() < raw.size()) {
        if (opsLeft == 0) {
            ops = enc[at++];
            opsLeft = 4;
            if (at > encLen) break;
        }
        const int op = ops >> 6;
        ops = static_cast<std::uint8_t>(ops << 2);
        --opsLeft;
        if (op == 0) {
            if (at >= encLen) break;
            name += static_cast<char16_t>(enc[at++]);
        } else if (op == 1) {
            if (at >= encLen) break;
            name += static_cast<char16_t>(enc[at++] | high << 8);
        } else if (op == 2) {
            if (at + 1 >= encLen) break;
            name += static_cast<char16_t>(enc[at] | enc[at + 1] << 8);
            at += 2;
        } else {
            if (at >= encLen) break;
            const std::uint8_t len = enc[at++];
            if (len & 0x80) {
                if (at >= encLen) break;
                const std::uint8_t corr = enc[at++];
                for (int i = 0; i < (len & 0x7F) + 2 && name.size() < plainLen; ++i)
                    name += static_cast<char16_t>(
                        static_cast<std::uint8_t>(plain[name.size()] + corr) | high << 8);
            } else {
                for (int i = 0; i < len + 2 && name.size() < plainLen; ++i)
                    name += static_cast<char16_t>(plain[name.size()]);
            }
        }
    }
    std::string out;
    for (char16_t c : name) {
        if (c == 0) break;
        appendUtf8(out, c == '\\' ? '/' : c);
    }
    return out.empty() ? TArcLister::StoredName(raw) : out;
}

class RarReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override {
        const std::int64_t base = L.ArchiveStart - 1;
        std::uint8_t marker[kMarker5];
        if (!L.ReadBytes(base, marker, sizeof marker)) L.Fail(err::ReadError);
        L.EndLimit = L.ArchiveSize;
        if (marker[6] == 0x01 && marker[7] == 0x00) {
            rar5_ = true;
            // Every header is at least its CRC, size, type and flags.
            L.HeaderSize = 7;
            L.CurrentPos = base + kMarker5 + 1;
            return;
        }
        if (marker[6] != 0x00) L.Fail(err::UnsupportedVersion);

        std::uint8_t main[kMainHeader];
        if (!L.ReadBytes(base + kMarker4, main, sizeof main)) L.Fail(err::ReadError);
        L.HeaderSize = kFileHeader;
        // Without a main header the blocks follow the marker directly.
        if (main[2] != kTypeMain) {
            L.CurrentPos = base + kMarker4 + 1;
            return;
        }
        if (le16(main + 3) & kMainHeadersEncrypted) L.Fail(err::PasswordProtected);
        const std::uint16_t mainSize = le16(main + 5);
        if (mainSize > kMainHeader) L.ArchiveComment = "Archive Comment encrypted...";
        L.CurrentPos = base + kMarker4 + std::max<std::int64_t>(mainSize, kMainHeader) + 1;
    }

    void headerStep() override {
        if (rar5_)
            step5();
        else
            step4();
    }

private:
    void step4() {
        const std::uint8_t* h = L.Header().data();
        const std::int64_t pos = L.CurrentPos - 1;
        const std::uint8_t type = h[2];
        const std::uint16_t flags = le16(h + 3);
        const std::uint16_t size = le16(h + 5);
        // Seven bytes is the smallest block; anything less cannot be stepped over.
        if (size < 7 || type == kTypeEnd) {
            L.EndWalk();
            return;
        }
        const std::int64_t data = (flags & kLongBlock) ? le32(h + 7) : 0;
        if (type != kTypeFile || (flags & kSkipIfUnknown)) {
            L.ReadPos = pos + size + data;
            return;
        }
        if (!(flags & kLongBlock)) {
            L.EndWalk();
            return;
        }
        std::int64_t packed = le32(h + 7), unpacked = le32(h + 11);
        std::int64_t nameAt = pos + kFileHeader;
        if (flags & kFileLarge) {
            std::uint8_t high[8];
            if (!L.ReadBytes(nameAt, high, 8)) {
                L.EndWalk();
                return;
            }
            packed |= static_cast<std::int64_t>(le32(high) & 0x7FFFFFFF) << 32;
            unpacked |= static_cast<std::int64_t>(le32(high + 4) & 0x7FFFFFFF) << 32;
            nameAt += 8;
        }
        const std::size_t n = le16(h + 26);
        std::string raw(n, '\0');
        if (!L.ReadBytes(nameAt, raw.data(), n)) {
            L.EndWalk();
            return;
        }
        L.ReadPos = pos + size + packed;
        L.FileName = rarName(raw, (flags & kFileUnicode) != 0);
        if ((flags & kFileComment) && size > static_cast<std::int64_t>(n) + kFileHeader) {
            std::uint8_t ch[13];
            const std::int64_t at = nameAt + static_cast<std::int64_t>(n);
            if (L.ReadBytes(at, ch, sizeof ch)) {
                std::string text(ch[7], '\0');
                if (L.ReadBytes(at + 13, text.data(), text.size()))
                    L.FileComment = TArcLister::CommentText(text);
            }
        }
        const std::uint32_t attr = le32(h + 28);
        const bool folder =
            (attr & 0x10) != 0 || (flags & kFileDirectoryMask) == kFileDirectoryMask;
        if (!((folder && L.ShowBlankDirs) || L.Shown(L.FileName))) return;
        L.CountMember(packed, unpacked);
        L.PackedSize = packed;
        L.UnpackedSize = unpacked;
        L.CRC = le32(h + 16);
        L.DateTime = L.ConvertDate(le32(h + 20));
        L.VersionMadeBy = h[24];
        L.VersionNeeded = 0;
        L.Method = h[25];
        L.MethodName = rar::methodName(h[25]);
        L.ExternalAttr = attr;
        L.InternalAttr = 32;
        L.Encrypted = (flags & kFileEncrypted) != 0;
        L.Ratio = CalcRatio(packed, unpacked);
        L.ReportMember(pos);
    }

    void step5() {
        const std::int64_t pos = L.CurrentPos - 1;
        // CRC, then the header size as a number of up to three bytes here.
        std::uint8_t head[7];
        std::copy_n(L.Header().data(), 7, head);
        VintCursor sizeCur{head + 4, 3};
        const std::uint64_t headerSize = sizeCur.vint();
        if (!sizeCur.ok || headerSize == 0 ||
            static_cast<std::int64_t>(headerSize) > kR5MaxHeader ||
            static_cast<std::int64_t>(headerSize) > L.ArchiveSize) {
            L.Fail(err::UnsupportedVersion);
        }
        const std::int64_t bodyAt = pos + 4 + static_cast<std::int64_t>(sizeCur.at);
        body_.resize(static_cast<std::size_t>(headerSize));
        if (!L.ReadBytes(bodyAt, body_.data(), body_.size())) {
            L.EndWalk();
            return;
        }
        VintCursor c{body_.data(), body_.size()};
        const std::uint64_t type = c.vint();
        const std::uint64_t flags = c.vint();
        const std::uint64_t extraSize = (flags & kR5HasExtra) ? c.vint() : 0;
        const std::uint64_t dataSize = (flags & kR5HasData) ? c.vint() : 0;
        if (!c.ok) L.Fail(err::UnsupportedVersion);
        if (type == kR5Encryption) L.Fail(err::PasswordProtected);
        if (type == kR5End) {
            L.EndWalk();
            return;
        }
        L.ReadPos = bodyAt + static_cast<std::int64_t>(headerSize) + statedSize(dataSize);
        if (type != kR5File) return;

        const std::uint64_t fileFlags = c.vint();
        const std::uint64_t unpacked = c.vint();
        const std::uint64_t attr = c.vint();
        const std::uint32_t mtime = (fileFlags & kR5HasTime) ? c.u32() : 0;
        const std::uint32_t crc = (fileFlags & kR5HasCrc) ? c.u32() : 0;
        const std::uint64_t compression = c.vint();
        const std::uint64_t hostOs = c.vint();
        const std::uint64_t nameLen = c.vint();
        if (!c.ok || nameLen > c.n - c.at) L.Fail(err::UnsupportedVersion);
        const auto* name = reinterpret_cast<const char*>(body_.data() + c.at);
        c.skip(nameLen);
        bool encrypted = false;
        std::int64_t unixTime = (fileFlags & kR5HasTime) ? mtime : -1;
        if (extraSize && extraSize <= c.n) {
            // Extra records: size, type, data; type 1 marks encryption.
            VintCursor e{body_.data() + (c.n - extraSize), static_cast<std::size_t>(extraSize)};
            while (e.ok && e.at < e.n) {
                const std::uint64_t recSize = e.vint();
                const std::size_t recStart = e.at;
                const std::uint64_t recType = e.vint();
                if (!e.ok || recSize == 0) break;
                if (recType == 1) encrypted = true;
                if (recType == 3) readTimeRecord(e, unixTime);
                e.at = recStart;
                e.skip(recSize);
            }
        }

        const bool folder = (fileFlags & kR5Directory) != 0;
        L.FileName = TArcLister::StoredName(std::string_view(name, nameLen));
        if (!((folder && L.ShowBlankDirs) || L.Shown(L.FileName))) return;
        const std::int64_t packedSize = statedSize(dataSize);
        const std::int64_t unpackedSize = statedSize(unpacked);
        L.CountMember(packedSize, unpackedSize);
        L.PackedSize = packedSize;
        L.UnpackedSize = unpackedSize;
        L.CRC = crc;
        L.DateTime = unixTime >= 0 ? plat::unixToDateTime(unixTime) : 0;
        L.VersionMadeBy = (compression & 0x3F) == 0 ? 50 : 70;
        L.VersionNeeded = 0;
        L.Method = static_cast<std::uint16_t>(0x30 + ((compression >> 7) & 7));
        L.MethodName = rar::methodName(L.Method);
        // Windows hosts store DOS attributes; Unix hosts a mode, kept in the
        // high half as ZIP does.
        if (hostOs == 0)
            L.ExternalAttr = static_cast<std::uint32_t>(attr);
        else
            L.ExternalAttr =
                static_cast<std::uint32_t>((attr & 0xFFFF) << 16) | (folder ? 0x10 : 0x20);
        L.InternalAttr = 32;
        L.Encrypted = encrypted;
        L.Ratio = CalcRatio(packedSize, unpackedSize);
        L.ReportMember(pos);
    }

    // The time record: flags, then the modification time as Unix seconds
    // or as a Windows file time (100 ns steps since 1601).
    static void readTimeRecord(VintCursor e, std::int64_t& unixTime) {
        const std::uint64_t flags = e.vint();
        if (!e.ok || !(flags & 0x02)) return;
        if (flags & 0x01) {
            const std::uint32_t t = e.u32();
            if (e.ok) unixTime = t;
        } else {
            const std::uint32_t lo = e.u32(), hi = e.u32();
            if (!e.ok) return;
            const std::uint64_t ft = static_cast<std::uint64_t>(hi) << 32 | lo;
            constexpr std::uint64_t kEpochDiff = 11644473600ULL;
            if (ft / 10000000 >= kEpochDiff)
                unixTime = static_cast<std::int64_t>(ft / 10000000 - kEpochDiff);
        }
    }

    bool rar5_ = false;
    std::vector<std::uint8_t> body_;
};

} // namespace

void registerRarReader(DirectoryReaderTable& table) {
    table.add({atRAR, atRarExe},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new RarReader(l)); });
}
