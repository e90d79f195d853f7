// ARC and PAK directories: a chain of 29-byte headers, each followed by the
// member's data, ended by the marker byte with method 0.
#include <string_view>

#include "archive/list/DirectoryReader.h"

namespace {

constexpr std::uint8_t kArcMarker = 0x1A;
constexpr std::int64_t kArcHeaderSize = 29;
// Method 1 is the old header that lacks the uncompressed size.
constexpr std::int64_t kArcOldHeaderSize = 25;

class ArcReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override { L.HeaderSize = kArcHeaderSize; }

    void headerStep() override {
        const std::uint8_t* h = L.Header().data();
        const std::int64_t pos = L.CurrentPos - 1;
        const std::uint8_t method = h[1];
        if (h[0] != kArcMarker || method == 0) {
            L.EndWalk();
            return;
        }
        const bool old = method == 1;
        const std::int64_t packed = le32(h + 15);
        const std::int64_t unpacked = old ? packed : le32(h + 25);
        L.FileName =
            TArcLister::StoredName(std::string_view(reinterpret_cast<const char*>(h + 2), 13));
        if (L.Shown(L.FileName)) {
            L.CountMember(packed, unpacked);
            L.PackedSize = packed;
            L.UnpackedSize = unpacked;
            L.Ratio = CalcRatio(packed, unpacked);
            L.CRC = le16(h + 23);
            // Date first, time second on disk; the stamp wants time low.
            L.DateTime = L.ConvertDate(static_cast<std::uint32_t>(le16(h + 21)) |
                                       static_cast<std::uint32_t>(le16(h + 19)) << 16);
            L.Method = method;
            L.MethodName = MethodNameOf(L.ArcType(), method);
            L.InternalAttr = 32;
            L.ExternalAttr = 32;
            L.ReportMember(pos);
        }
        L.ReadPos = pos + (old ? kArcOldHeaderSize : kArcHeaderSize) + packed;
    }
};

} // namespace

void registerArcReader(DirectoryReaderTable& table) {
    table.add({atARC, atArcExe, atPAK, atPakExe},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new ArcReader(l)); });
}
