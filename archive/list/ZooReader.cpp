// ZOO directories: an archive header that points at the first directory
// entry, then a chain of entries linked by their next-entry positions.
#include <string>
#include <vector>

#include "archive/list/DirectoryReader.h"

namespace {

constexpr std::int64_t kZooFixed = 58;
constexpr std::uint32_t kZooTag = 0xFDC4A7DC;
// Entries of type 2 keep a variable part: its size at 51, then at 56 the
// lengths of the long name and the folder, which follow the fixed part.
constexpr int kVarSizeAt = 51;
constexpr int kNameLenAt = 56;
constexpr int kDirLenAt = 57;

class ZooReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override { L.HeaderSize = kZooFixed; }

    void headerStep() override {
        if (!SeenArchiveHeader) {
            archiveHeader();
            return;
        }
        const std::uint8_t* h = L.Header().data();
        const std::int64_t pos = L.CurrentPos - 1;
        const auto next = static_cast<std::int32_t>(le32(h + 6));
        // The chain ends with an empty entry whose next position is 0.
        if (le32(h) != kZooTag || next <= 0) {
            L.EndWalk();
            return;
        }
        std::string comment = text(le32(h + 32), le16(h + 36));
        L.FileName = TArcLister::StoredName(entryPath(h, pos));
        if (L.Shown(L.FileName)) {
            const std::int64_t unpacked = le32(h + 20);
            const std::int64_t packed = le32(h + 24);
            L.CountMember(packed, unpacked);
            L.FileComment = TArcLister::CommentText(comment);
            L.PackedSize = packed;
            L.UnpackedSize = unpacked;
            L.Ratio = CalcRatio(packed, unpacked);
            L.CRC = le16(h + 18);
            L.DateTime = L.ConvertDate(static_cast<std::uint32_t>(le16(h + 16)) |
                                       static_cast<std::uint32_t>(le16(h + 14)) << 16);
            L.Method = h[5];
            L.MethodName = MethodNameOf(L.ArcType(), h[5]);
            L.VersionMadeBy = h[28];
            L.VersionNeeded = h[29];
            L.ReportMember(pos);
        }
        L.ReadPos = next;
    }

private:
    void archiveHeader() {
        SeenArchiveHeader = true;
        const std::uint8_t* h = L.Header().data();
        const std::uint32_t first = le32(h + 24);
        if (static_cast<std::uint32_t>(first + le32(h + 28)) != 0 ||
            static_cast<std::int32_t>(first) <= 0) {
            L.EndWalk();
            return;
        }
        if (std::uint16_t len = le16(h + 39))
            L.ArchiveComment = TArcLister::CommentText(text(le32(h + 35), len));
        L.ReadPos = first;
    }

    // Bytes of a comment stored elsewhere in the file; empty when it does
    // not lie inside the file.
    std::string text(std::uint32_t at, std::uint16_t len) {
        if (len == 0 || static_cast<std::int64_t>(at) + len > L.ArchiveSize) return {};
        std::string s(len, '\0');
        if (!L.ReadBytes(at, s.data(), len)) return {};
        return s;
    }

    // Folder and long name when the entry carries them, else the short name.
    std::string entryPath(const std::uint8_t* h, std::int64_t pos) {
        std::string shortName(reinterpret_cast<const char*>(h + 38), 13);
        shortName.resize(shortName.find('\0') == std::string::npos ? 13 : shortName.find('\0'));
        const std::uint16_t varSize = le16(h + kVarSizeAt);
        if (h[4] != 2 || varSize < 2) return shortName;
        const std::size_t nameLen = h[kNameLenAt];
        const std::size_t dirLen = h[kDirLenAt];
        if (nameLen + dirLen + 2 > varSize) return shortName;
        std::string both(nameLen + dirLen, '\0');
        if (!both.empty() && !L.ReadBytes(pos + kZooFixed, both.data(), both.size()))
            return shortName;
        std::string longName = both.substr(0, nameLen);
        longName.resize(longName.find('\0') == std::string::npos ? nameLen : longName.find('\0'));
        std::string dir = both.substr(nameLen);
        dir.resize(dir.find('\0') == std::string::npos ? dirLen : dir.find('\0'));
        std::string path = dir;
        if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
        return path + (longName.empty() ? shortName : longName);
    }

    bool SeenArchiveHeader = false;
};

} // namespace

void registerZooReader(DirectoryReaderTable& table) {
    table.add({atZOO},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new ZooReader(l)); });
}
