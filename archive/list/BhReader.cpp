// BH directory: a 37-byte header and the name in front of each member's data.
#include "archive/list/DirectoryReader.h"

namespace {

constexpr std::uint32_t kBhSig = 0x07054842;
constexpr std::int64_t kBhHeader = 37;

class BhReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override { L.HeaderSize = kBhHeader; }

    void headerStep() override {
        const std::uint8_t* h = L.Header().data();
        const std::int64_t pos = L.CurrentPos - 1;
        if (le32(h) != kBhSig || le16(h + 4) == 0) {
            L.EndWalk();
            return;
        }
        const std::size_t n = le16(h + 33);
        std::string raw(n, '\0');
        if (!L.ReadBytes(pos + kBhHeader, raw.data(), n)) {
            L.EndWalk();
            return;
        }
        const std::int64_t packed = le32(h + 15), unpacked = le32(h + 19);
        L.ReadPos = pos + kBhHeader + static_cast<std::int64_t>(n) + packed;
        L.FileName = TArcLister::StoredName(raw);
        if (!L.Shown(L.FileName)) return;
        L.CountMember(packed, unpacked);
        L.PackedSize = packed;
        L.UnpackedSize = unpacked;
        L.VersionMadeBy = h[7];
        L.VersionNeeded = h[8];
        L.Encrypted = (h[9] & 1) != 0;
        L.Method = h[10];
        L.MethodName = MethodNameOf(atBH, h[10]);
        L.DateTime = L.ConvertDate(le32(h + 11));
        L.CRC = le32(h + 23);
        L.InternalAttr = le16(h + 27);
        L.ExternalAttr = le16(h + 27);
        L.Ratio = CalcRatio(packed, unpacked);
        L.ReportMember(pos);
    }
};

} // namespace

void registerBhReader(DirectoryReaderTable& table) {
    table.add({atBH, atBHExe},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new BhReader(l)); });
}
