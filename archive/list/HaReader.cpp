// HA directory: each member header sits in front of its data.  A header is
// read as 18 bytes starting one byte before its type byte, which keeps the
// fixed fields at the offsets below.
#include "archive/format/HaFormat.h"
#include "archive/list/DirectoryReader.h"

namespace {

constexpr std::int64_t kHaHeader = 18;
constexpr std::size_t kMaxName = 1024;

class HaReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override {
        L.HeaderSize = kHaHeader;
        L.CurrentPos = L.ArchiveStart + 3;
    }

    void headerStep() override {
        const std::uint8_t* h = L.Header().data();
        const std::int64_t pos = L.CurrentPos - 1;
        std::int64_t at = pos + kHaHeader;
        L.ReadZString(at, kMaxName, at); // the path is not shown
        std::string name = L.ReadZString(at, kMaxName, at);
        // The machine information announces its own length.
        std::uint8_t infoLen = 0;
        if (!L.ReadBytes(at, &infoLen, 1)) {
            L.EndWalk();
            return;
        }
        const std::int64_t packed = le32(h + 2), unpacked = le32(h + 6);
        L.ReadPos = at + infoLen + packed;
        L.FileName = TArcLister::StoredName(name);
        if (!L.Shown(L.FileName)) return;
        L.CountMember(packed, unpacked);
        L.PackedSize = packed;
        L.UnpackedSize = unpacked;
        L.VersionMadeBy = L.VersionNeeded = h[1] >> 4;
        L.Method = h[1] & 0x0F;
        L.MethodName = ha::methodName(L.Method);
        L.CRC = le32(h + 10);
        L.DateTime = plat::unixToDateTime(le32(h + 14));
        L.InternalAttr = 32;
        L.ExternalAttr = 32;
        L.Ratio = CalcRatio(packed, unpacked);
        L.ReportMember(pos + 1);
    }
};

} // namespace

void registerHaReader(DirectoryReaderTable& table) {
    table.add({atHA},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new HaReader(l)); });
}
