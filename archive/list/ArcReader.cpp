// ARC and PAK directories: a chain of 29-byte headers, each followed by the
// member's data, ended by the marker byte with method 0.  The layout is the
// ARC module's.
#include "archive/format/ArcFormat.h"
#include "archive/list/DirectoryReader.h"

namespace {

class ArcReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override { L.HeaderSize = arc::kHeaderSize; }

    void headerStep() override {
        const std::int64_t pos = L.CurrentPos - 1;
        arc::Header h;
        if (arc::parseHeader(L.Header().data(), pos, h) != arc::Status::Ok) {
            L.EndWalk();
            return;
        }
        L.FileName = TArcLister::StoredName(h.Name);
        if (L.Shown(L.FileName)) {
            L.CountMember(h.PackedSize, h.UnpackedSize);
            L.PackedSize = h.PackedSize;
            L.UnpackedSize = h.UnpackedSize;
            L.Ratio = CalcRatio(h.PackedSize, h.UnpackedSize);
            L.CRC = h.Crc;
            L.DateTime = L.ConvertDate(h.DosDateTime);
            L.Method = h.Method;
            L.MethodName = MethodNameOf(L.ArcType(), h.Method);
            L.InternalAttr = 32;
            L.ExternalAttr = 32;
            L.ReportMember(pos);
        }
        L.ReadPos = h.NextPos();
    }
};

} // namespace

void registerArcReader(DirectoryReaderTable& table) {
    table.add({atARC, atArcExe, atPAK, atPakExe},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new ArcReader(l)); });
}
