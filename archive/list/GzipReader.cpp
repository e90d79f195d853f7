// The single member of a GZIP file or of one of the older 0x1F-prefixed
// compressors (compress, pack, SCO compress).
#include "archive/format/GzipFormat.h"
#include "archive/list/DirectoryReader.h"
#include "platform/FileSystem.h"

namespace {

// Names longer than this are not read (nor needed: no file name is).
constexpr std::size_t kMaxName = 255;

class GzipReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    // Only the magic is common to all these formats: a compress file can
    // be shorter than a GZIP header and is still listed.
    void prepare() override { L.HeaderSize = 2; }

    void headerStep() override {
        if (L.ArcType() != atGZip) {
            modernStep();
            return;
        }
        const std::int64_t pos = L.CurrentPos - 1;
        const std::uint16_t magic = le16(L.Header().data());
        const std::int64_t size = L.ArchiveSize;
        if (!gz::isKnown(magic)) {
            L.EndWalk();
            return;
        }
        gz::Header h;
        if (gz::isGzip(magic)) {
            auto read = [this](std::int64_t p, void* buf, std::size_t n) {
                return L.ReadBytes(p, buf, n);
            };
            // A wrong header CRC does not hide the member from a listing.
            const gz::Status st = gz::readHeader(read, pos, size, h, kMaxName);
            if (st == gz::Status::NotGzip || st == gz::Status::Truncated) {
                L.EndWalk();
                return;
            }
            L.DateTime = plat::unixToDateTime(h.ModificationTime);
            std::uint8_t trailer[gz::kTrailerSize] = {};
            if (size >= 8) L.ReadBytes(size - 8, trailer, 8);
            L.CRC = le32(trailer);
            L.UnpackedSize = le32(trailer + 4);
            L.Encrypted = h.Encrypted();
            L.PackedSize = size - 8 - h.ExtraLength;
        } else {
            L.CRC = 0;
            L.Encrypted = false;
            L.PackedSize = L.UnpackedSize = size;
            L.DateTime = L.ConvertDate(L.ArchiveDate);
        }
        L.Method = gz::methodCode(magic, h.Method);
        L.FileName = h.FileName();
        if (L.FileName.empty())
            L.FileName = TArcLister::CommentText(
                gz::nameFromArchive(plat::extractFileName(L.ArchiveFile())));
        L.ExternalAttr = L.ArchiveAttributes();
        L.MethodName = gz::methodName(L.Method);
        L.CountMember(L.PackedSize, L.UnpackedSize);
        L.Ratio = CalcRatio(L.PackedSize, L.UnpackedSize);
        L.ReportMember(pos);
        L.EndWalk();
    }

private:
    // bzip2, xz, lzip, Zstandard: a stream that states no name, and its
    // decoded size only in records of its own (bzip2 not at all).
    void modernStep() {
        L.EndWalk();
        std::uint8_t magic[gz::kModernMagicSize] = {};
        if (!L.ReadBytes(0, magic, sizeof magic)) return;
        L.Method = gz::modernMethodCode(magic);
        if (L.Method == 0) return;
        L.FileName =
            TArcLister::CommentText(gz::nameFromArchive(plat::extractFileName(L.ArchiveFile())));
        L.CRC = 0;
        L.Encrypted = false;
        L.PackedSize = L.ArchiveSize;
        auto read = [this](std::int64_t p, void* buf, std::size_t n) {
            return L.ReadBytes(p, buf, n);
        };
        L.UnpackedSize = std::max<std::int64_t>(
            gz::statedDecodedSize(read, L.ArchiveSize, static_cast<std::uint32_t>(L.Method)), 0);
        L.DateTime = L.ConvertDate(L.ArchiveDate);
        L.ExternalAttr = L.ArchiveAttributes();
        L.MethodName = gz::methodName(L.Method);
        L.CountMember(L.PackedSize, L.UnpackedSize);
        L.Ratio = CalcRatio(L.PackedSize, L.UnpackedSize);
        L.ReportMember(0);
    }
};

} // namespace

void registerGzipReader(DirectoryReaderTable& table) {
    table.add({atGZip, atBzip2, atXz, atLzip, atZstd},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new GzipReader(l)); });
}
