// The single member of a GZIP file or of one of the older 0x1F-prefixed
// compressors (compress, pack, SCO compress).
#include "archive/list/DirectoryReader.h"
#include "platform/FileSystem.h"

namespace {

constexpr std::uint16_t kGzip = 0x8B1F, kGzipOld = 0x9E1F;
constexpr std::uint16_t kCompress = 0x9D1F, kScoCompress = 0xA01F, kPack = 0x1E1F;
constexpr std::uint8_t kFlagExtra = 0x04, kFlagName = 0x08, kFlagEncrypted = 0x20;
constexpr std::size_t kMaxName = 255;

class GzipReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    // Only the magic is common to all these formats: a compress file can
    // be shorter than a GZIP header and is still listed.
    void prepare() override { L.HeaderSize = 2; }

    void headerStep() override {
        const std::int64_t pos = L.CurrentPos - 1;
        const std::uint16_t magic = le16(L.Header().data());
        std::uint8_t h[10] = {};
        const std::int64_t size = L.ArchiveSize;
        bool named = false;
        if (magic == kGzip || magic == kGzipOld) {
            if (!L.ReadBytes(pos, h, sizeof h)) {
                L.EndWalk();
                return;
            }
            const std::uint8_t flags = h[3];
            std::int64_t at = pos + 10, extra = 0;
            if (flags & kFlagExtra) {
                std::uint8_t x[2];
                if (!L.ReadBytes(at, x, 2)) {
                    L.EndWalk();
                    return;
                }
                extra = le16(x);
                at += 2 + extra;
            }
            if (flags & kFlagName) {
                std::string raw = L.ReadZString(at, kMaxName, at);
                // A GZIP name is a plain file name: no separator rule applies.
                L.FileName = TArcLister::CommentText(raw);
                named = true;
            }
            L.DateTime = plat::unixToDateTime(le32(h + 4));
            std::uint8_t trailer[8] = {};
            if (size >= 8) L.ReadBytes(size - 8, trailer, 8);
            L.CRC = le32(trailer);
            L.UnpackedSize = le32(trailer + 4);
            L.Encrypted = (flags & kFlagEncrypted) != 0;
            L.PackedSize = size - 8 - extra;
            L.Method = (h[2] == 0 || h[2] == 8) ? h[2] : 10;
        } else if (magic == kCompress || magic == kScoCompress || magic == kPack) {
            L.CRC = 0;
            L.Encrypted = false;
            L.PackedSize = L.UnpackedSize = size;
            L.DateTime = L.ConvertDate(L.ArchiveDate);
            L.Method = magic == kPack ? 2 : magic == kCompress ? 1 : 3;
        } else {
            L.EndWalk();
            return;
        }
        if (!named) {
            std::string name = plat::extractFileName(L.ArchiveFile());
            auto dot = name.rfind('.');
            if (dot != std::string::npos) name.resize(dot);
            L.FileName = TArcLister::CommentText(name);
        }
        L.ExternalAttr = L.ArchiveAttributes();
        L.MethodName = MethodNameOf(atGZip, L.Method);
        L.CountMember(L.PackedSize, L.UnpackedSize);
        L.Ratio = CalcRatio(L.PackedSize, L.UnpackedSize);
        L.ReportMember(pos);
        L.EndWalk();
    }
};

} // namespace

void registerGzipReader(DirectoryReaderTable& table) {
    table.add({atGZip},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new GzipReader(l)); });
}
