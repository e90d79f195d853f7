// BH directory: a 37-byte header and the name in front of each member's data.
#include "archive/format/BhFormat.h"
#include "archive/list/DirectoryReader.h"

namespace {

class BhReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override { L.HeaderSize = bh::kFixedSize; }

    void headerStep() override {
        const std::int64_t pos = L.CurrentPos - 1;
        auto read = [this](std::int64_t p, void* buf, std::size_t n) {
            return L.ReadBytes(p, buf, n);
        };
        bh::Header h;
        if (bh::readHeader(read, pos, L.ArchiveSize, h) != bh::Status::Ok) {
            L.EndWalk();
            return;
        }
        const std::int64_t packed = h.PackedSize, unpacked = h.UnpackedSize;
        L.ReadPos = h.NextPos();
        L.FileName = h.Path();
        if (!L.Shown(L.FileName)) return;
        L.CountMember(packed, unpacked);
        L.PackedSize = packed;
        L.UnpackedSize = unpacked;
        L.VersionMadeBy = h.VersionMadeBy;
        L.VersionNeeded = h.VersionNeeded;
        L.Encrypted = h.Encrypted();
        L.Method = h.Method;
        L.MethodName = bh::methodName(h.Method);
        L.DateTime = L.ConvertDate(h.DosDateTime);
        L.CRC = h.Crc;
        L.InternalAttr = h.Attributes;
        L.ExternalAttr = h.Attributes;
        L.Ratio = CalcRatio(packed, unpacked);
        L.ReportMember(pos);
    }
};

} // namespace

void registerBhReader(DirectoryReaderTable& table) {
    table.add({atBH, atBHExe},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new BhReader(l)); });
}
