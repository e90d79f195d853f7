// TAR archives inside a compressor (TAR+GZ, TAR+XZ, ...): the members of
// the decoded stream, read front to back as the TAR module finds them.
#include "archive/extract/DecodedStream.h"
#include "archive/format/TarFormat.h"
#include "archive/list/DirectoryReader.h"

namespace {

class TarballReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override { L.HeaderSize = 1; }

    void headerStep() override {
        L.EndWalk();
        std::unique_ptr<dec::DecodedStream> s =
            dec::DecodedStream::open(L.ArchiveFile(), L.ArcType());
        if (!s || !s->ok()) L.Fail(err::ReadError);
        auto read = [&s](std::int64_t p, void* buf, std::size_t n) {
            return p >= 0 && s->readAt(static_cast<std::uint64_t>(p), buf, n);
        };
        const std::string method = MethodNameOf(L.ArcType(), 0);
        try {
            for (std::int64_t pos = 0;;) {
                tar::Entry e;
                if (tar::readEntry(read, pos, kMaxStatedSize, e) != tar::Status::Ok) break;
                pos = e.NextPos;
                L.FileName = e.Path();
                // Files and hard links are listed; folders, links and devices not.
                if (!(e.IsFile() || e.IsHardLink()) || !L.Shown(L.FileName)) continue;
                L.CountMember(e.Size, e.RealSize);
                L.PackedSize = e.Size;
                L.UnpackedSize = e.RealSize;
                L.DateTime = plat::unixToDateTime(e.ModificationTime);
                L.CRC = e.Checksum;
                L.Method = 0;
                L.MethodName = method;
                L.Ratio = CalcRatio(e.Size, e.RealSize);
                L.ReportMember(e.Pos);
            }
        } catch (const E_RAISE& x) {
            // The decoder's error, after the members it decoded.
            L.Fail(x.Code ? x.Code : err::BadBlock);
        }
    }
};

} // namespace

void registerTarballReader(DirectoryReaderTable& table) {
    table.add({atTarGz, atTarBz2, atTarXz, atTarLz, atTarZst, atTarZ},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new TarballReader(l)); });
}
