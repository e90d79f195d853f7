// TAR directory: the members the TAR module reads, each header followed by
// its data in whole blocks.
#include "archive/format/TarFormat.h"
#include "archive/list/DirectoryReader.h"

namespace {

class TarReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override { L.HeaderSize = tar::kBlock; }

    void headerStep() override {
        auto read = [this](std::int64_t p, void* buf, std::size_t n) {
            return L.ReadBytes(p, buf, n);
        };
        tar::Entry e;
        if (tar::readEntry(read, L.CurrentPos - 1, L.ArchiveSize, e) != tar::Status::Ok) {
            L.EndWalk();
            return;
        }
        // Past the end of the file is as far as the walk can go.
        L.ReadPos = std::min(e.NextPos, L.ArchiveSize);
        L.FileName = e.Path();
        // Files and hard links are listed; folders, links and devices not.
        if (!(e.IsFile() || e.IsHardLink())) return;
        if (!L.Shown(L.FileName)) return;
        L.CountMember(e.Size, e.RealSize);
        L.PackedSize = e.Size;
        L.UnpackedSize = e.RealSize;
        L.DateTime = plat::unixToDateTime(e.ModificationTime);
        L.CRC = e.Checksum;
        L.Method = 0;
        L.MethodName = tar::methodName(0);
        L.Ratio = CalcRatio(e.Size, e.RealSize);
        L.ReportMember(e.Pos);
    }
};

} // namespace

void registerTarReader(DirectoryReaderTable& table) {
    table.add({atTAR},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new TarReader(l)); });
}
