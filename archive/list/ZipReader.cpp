// ZIP directory: the end record, the ZIP64 records when the end record
// points at them, and the central directory.
#include <algorithm>
#include <limits>

#include "archive/list/DirectoryReader.h"

namespace {

constexpr std::uint32_t kCentralSig = 0x02014B50;
constexpr std::uint32_t kEndSig = 0x06054B50;
constexpr std::uint32_t kEnd64Sig = 0x06064B50;
constexpr std::uint32_t kLocator64Sig = 0x07064B50;
constexpr std::uint32_t kDigitalSig = 0x05054B50;
constexpr std::uint32_t kAllOnes32 = 0xFFFFFFFF;
constexpr std::int64_t kEndRecordSize = 22;
constexpr std::int64_t kCentralSize = 46;
// The end record plus the longest comment it can announce.
constexpr std::int64_t kEndSearchRange = kEndRecordSize + 0xFFFF;

class ZipReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override {
        const std::int64_t size = L.ArchiveSize;
        const std::int64_t range = std::min(size, kEndSearchRange);
        std::vector<std::uint8_t> tail(static_cast<std::size_t>(range));
        const std::int64_t base = size - range;
        if (!L.ReadBytes(base, tail.data(), tail.size())) L.Fail(err::ReadError);

        // The highest end record whose comment fits in the file; failing
        // that, the highest signature at all.
        std::int64_t endPos = -1, anyPos = -1;
        for (std::int64_t i = range - kEndRecordSize; i >= 0; --i) {
            const std::uint8_t* p = tail.data() + i;
            if (le32(p) != kEndSig) continue;
            if (anyPos < 0) anyPos = base + i;
            if (i + kEndRecordSize + le16(p + 20) <= range) {
                endPos = base + i;
                break;
            }
        }
        if (endPos < 0) endPos = anyPos;
        if (endPos < 0) L.Fail(err::HeaderIdError);

        const std::uint8_t* end = tail.data() + (endPos - base);
        const std::uint16_t commentLen = le16(end + 20);
        if (commentLen) {
            const std::int64_t avail = std::min<std::int64_t>(commentLen, size - endPos - 22);
            const auto* c = reinterpret_cast<const char*>(end + 22);
            L.ArchiveComment = TArcLister::CommentText(
                std::string_view(c, static_cast<std::size_t>(std::max<std::int64_t>(avail, 0))));
        }

        std::uint64_t entries = le16(end + 10);
        std::uint64_t cdSize = le32(end + 12);
        std::uint64_t cdOffset = le32(end + 16);
        if (entries == 0xFFFF || cdSize == kAllOnes32 || cdOffset == kAllOnes32)
            readZip64End(endPos, entries, cdSize, cdOffset);

        std::int64_t cdPos = statedSize(cdOffset);
        if (L.CurrentPos - 1 == L.SfxZipOffset && L.SfxZipOffset > 0) cdPos += L.SfxZipOffset;

        L.EndLimit = size;
        L.HeaderSize = kCentralSize;
        // An archive without members has no central record to find.
        if (entries == 0 && cdSize == 0) {
            L.EndLimit = 0;
            return;
        }
        std::uint8_t first[kCentralSize];
        if (cdPos < 0 || cdPos > size - kCentralSize || !L.ReadBytes(cdPos, first, sizeof first) ||
            le32(first) != kCentralSig)
            L.Fail(err::HeaderIdError);
        L.CurrentPos = cdPos + 1;
    }

    void headerStep() override {
        const std::uint8_t* h = L.Header().data();
        const std::int64_t pos = L.CurrentPos - 1;
        const std::uint32_t sig = le32(h);
        if (sig != kCentralSig) {
            L.EndWalk();
            // The records that close a central directory end it in order;
            // anything else where a record should be is a broken directory.
            const bool closing = sig == kEndSig || sig == kEnd64Sig || sig == kDigitalSig;
            if (L.FileCount == 0 && !closing) L.Fail(err::BadFileHeader);
            return;
        }
        const std::uint16_t flags = le16(h + 8);
        const std::uint16_t method = le16(h + 10);
        const std::size_t n = le16(h + 28), m = le16(h + 30), k = le16(h + 32);
        variable_.resize(n + m + k);
        if (!L.ReadBytes(pos + kCentralSize, variable_.data(), variable_.size()))
            L.Fail(err::ReadError);
        const auto* v = reinterpret_cast<const char*>(variable_.data());

        L.FileName = TArcLister::StoredName(std::string_view(v, n));
        if (k) L.FileComment = TArcLister::CommentText(std::string_view(v + n + m, k));

        std::uint64_t packed = le32(h + 20), unpacked = le32(h + 24), offset = le32(h + 42);
        resolveZip64Extra(variable_.data() + n, m, unpacked, packed, offset);

        const std::uint32_t external = le32(h + 38);
        const bool folder =
            (external & 0x10) != 0 || (!L.FileName.empty() && L.FileName.back() == '/');
        // Folder entries appear only on request, whatever their name looks like.
        const bool shown = folder ? L.ShowBlankDirs : L.Shown(L.FileName);
        L.ReadPos = pos + kCentralSize + static_cast<std::int64_t>(n + m + k);
        if (!shown) return;

        L.PackedSize = statedSize(packed);
        L.UnpackedSize = statedSize(unpacked);
        if (!folder) L.CountMember(L.PackedSize, L.UnpackedSize);
        L.VersionMadeBy = le16(h + 4);
        L.VersionNeeded = le16(h + 6);
        L.Encrypted = (flags & 1) != 0;
        L.Method = method;
        L.MethodName = MethodNameOf(L.ArcType(), method, flags);
        if (flags > 1)
            L.DeflateOption = (flags & 6) == 6 ? 6 : (flags & 4) ? 4 : (flags & 2) ? 2 : 0;
        L.DateTime = L.ConvertDate(le32(h + 12));
        L.CRC = le32(h + 16);
        L.InternalAttr = le16(h + 36);
        L.ExternalAttr = external;
        L.Ratio = CalcRatio(L.PackedSize, L.UnpackedSize);
        L.ReportMember(statedSize(offset));
    }

private:
    // The end record holds all-ones markers: the real values stand in the
    // ZIP64 end record that its locator (just in front of it) points at.
    void readZip64End(std::int64_t endPos, std::uint64_t& entries, std::uint64_t& cdSize,
                      std::uint64_t& cdOffset) {
        std::uint8_t loc[20];
        if (endPos < 20 || !L.ReadBytes(endPos - 20, loc, sizeof loc) || le32(loc) != kLocator64Sig)
            return;
        std::uint8_t rec[56];
        std::int64_t at = statedSize(le64(loc + 8));
        // Data in front of the archive moves the record away from the
        // stored offset; it then sits right before the locator.
        if (!(L.ReadBytes(at, rec, sizeof rec) && le32(rec) == kEnd64Sig)) {
            at = endPos - 20 - 56;
            if (at < 0 || !L.ReadBytes(at, rec, sizeof rec) || le32(rec) != kEnd64Sig) return;
        }
        if (entries == 0xFFFF) entries = le64(rec + 32);
        if (cdSize == kAllOnes32) cdSize = le64(rec + 40);
        if (cdOffset == kAllOnes32) cdOffset = le64(rec + 48);
    }

    static void resolveZip64Extra(const std::uint8_t* extra, std::size_t len,
                                  std::uint64_t& unpacked, std::uint64_t& packed,
                                  std::uint64_t& offset) {
        if (unpacked != kAllOnes32 && packed != kAllOnes32 && offset != kAllOnes32) return;
        std::size_t i = 0;
        while (i + 4 <= len) {
            const std::uint16_t id = le16(extra + i), size = le16(extra + i + 2);
            const std::uint8_t* d = extra + i + 4;
            const std::size_t dataLen = std::min<std::size_t>(size, len - i - 4);
            if (id == 0x0001) {
                std::size_t at = 0;
                auto take = [&](std::uint64_t& field) {
                    if (field != kAllOnes32) return;
                    if (at + 8 > dataLen) return;
                    field = le64(d + at);
                    at += 8;
                };
                take(unpacked);
                take(packed);
                take(offset);
                return;
            }
            i += 4 + size;
        }
    }

    std::vector<std::uint8_t> variable_;
};

} // namespace

void registerZipReader(DirectoryReaderTable& table) {
    table.add({atZIP, atZipExe, atZip250, atZip250Exe},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new ZipReader(l)); });
}
