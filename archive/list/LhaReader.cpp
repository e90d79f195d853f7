// LHA/LZH directories: the headers of every level, read by the LHA module,
// each followed by the member's data.
#include "archive/format/LhaFormat.h"
#include "archive/list/DirectoryReader.h"

namespace {

class LhaReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override { L.HeaderSize = lha::kFixedSize; }

    void headerStep() override {
        const std::int64_t pos = L.CurrentPos - 1;
        lha::Header h;
        auto read = [this](std::int64_t p, void* buf, std::size_t n) {
            return L.ReadBytes(p, buf, n);
        };
        if (lha::readHeader(read, pos, L.EndLimit, h) != lha::Status::Ok) {
            L.EndWalk();
            return;
        }
        L.FileName = h.Path();
        const bool folderEntry = !L.FileName.empty() && L.FileName.back() == '/';
        if ((folderEntry && L.ShowBlankDirs) || L.Shown(L.FileName)) {
            L.CountMember(h.PackedSize, h.UnpackedSize);
            L.PackedSize = std::min(h.PackedSize, h.UnpackedSize);
            L.UnpackedSize = h.UnpackedSize;
            L.Ratio = CalcRatio(h.PackedSize, h.UnpackedSize);
            L.CRC = h.Crc;
            // From level 2 on the time is seconds since 1970.
            L.DateTime = h.Level >= 2 ? plat::unixToDateTime(h.Stamp) : L.ConvertDate(h.Stamp);
            L.Method = static_cast<std::uint8_t>(h.MethodId[3]);
            L.MethodName = lha::methodName(h);
            L.InternalAttr = 32;
            L.ExternalAttr = static_cast<std::uint32_t>(h.Attr) + 256u * h.Level;
            L.ReportMember(pos);
        }
        L.ReadPos = h.NextPos();
    }
};

} // namespace

void registerLhaReader(DirectoryReaderTable& table) {
    table.add({atLHA, atLhaExe, atLZH, atLzhExe},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new LhaReader(l)); });
}
