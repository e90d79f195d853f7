// LHA/LZH directories: header levels 0 to 3, each header followed by the
// member's data.  Levels 1 to 3 carry extended headers; the name (0x01) and
// folder (0x02) ones make up the member's path.
#include <algorithm>
#include <string>
#include <vector>

#include "archive/list/DirectoryReader.h"

namespace {

constexpr std::int64_t kLhaFixed = 22;
constexpr std::uint8_t kExtName = 0x01;
constexpr std::uint8_t kExtFolder = 0x02;
// Level 3 sizes are 32 bits; nothing real comes near this.
constexpr std::uint32_t kMaxLevel3Header = 1u << 20;

// Folder names use 0xFF between their parts; names from DOS use '\'.
std::string pathBytes(std::string s) {
    for (char& c : s)
        if (static_cast<unsigned char>(c) == 0xFF) c = '/';
    return s;
}

struct Entry {
    std::string name;          // raw bytes, separators still as stored
    std::string folder;        // raw bytes of the folder extended header
    std::int64_t extBytes = 0; // level 1: extended headers counted in the packed size
};

class LhaReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override { L.HeaderSize = kLhaFixed; }

    void headerStep() override {
        const std::uint8_t* h = L.Header().data();
        const std::int64_t pos = L.CurrentPos - 1;
        const std::uint8_t level = h[20];
        const bool methodOk = h[2] == '-' && h[6] == '-' && h[3] == 'l';
        if (!methodOk || level > 3 || (level < 2 && h[0] == 0)) {
            L.EndWalk();
            return;
        }
        std::int64_t packed = le32(h + 7);
        const std::int64_t unpacked = le32(h + 11);
        Entry e;
        std::int64_t headerLen = 0;
        std::uint16_t crc = 0;
        bool ok = false;
        switch (level) {
        case 0:
        case 1:
            ok = readLevel01(pos, h, level, e, headerLen, crc);
            break;
        case 2:
            ok = readLevel2(pos, h, e, headerLen, crc);
            break;
        default:
            ok = readLevel3(pos, h, e, headerLen, crc);
            break;
        }
        if (!ok) {
            L.EndWalk();
            return;
        }
        const std::int64_t next = pos + headerLen + packed;
        // Level 1 counts its extended headers as part of the packed data.
        packed = std::max<std::int64_t>(packed - e.extBytes, 0);

        const bool isDir = h[5] == 'd';
        std::string path = pathBytes(e.folder);
        if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
        path += pathBytes(e.name);
        // Some archivers store a folder as an empty name under a folder.
        bool folderEntry = isDir || (e.name.empty() && !e.folder.empty());
        if (isDir) {
            // Unix LHA keeps symbolic links as folder entries "link|target".
            auto bar = path.find('|');
            if (bar != std::string::npos) {
                path.resize(bar);
                while (!path.empty() && path.back() == '/') path.pop_back();
                folderEntry = false;
            }
        }
        if (folderEntry && !path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
        L.FileName = TArcLister::StoredName(path);

        if ((folderEntry && L.ShowBlankDirs) || L.Shown(L.FileName)) {
            L.CountMember(packed, unpacked);
            L.PackedSize = std::min(packed, unpacked);
            L.UnpackedSize = unpacked;
            L.Ratio = CalcRatio(packed, unpacked);
            L.CRC = crc;
            const std::uint32_t stamp = le32(h + 15);
            // From level 2 on the time is seconds since 1970.
            L.DateTime = level >= 2 ? plat::unixToDateTime(stamp) : L.ConvertDate(stamp);
            L.Method = h[5];
            L.MethodName = methodName(h[5]);
            L.InternalAttr = 32;
            L.ExternalAttr = static_cast<std::uint32_t>(h[19]) + 256u * level;
            L.ReportMember(pos);
        }
        L.ReadPos = next;
    }

private:
    std::string methodName(std::uint8_t digit) const {
        if (digit == '6') return "Frozen-6";
        if (digit == '7') return "Frozen-7";
        return MethodNameOf(L.ArcType(), digit);
    }

    // Reads n bytes at pos into buf; false when the file ends first, so a
    // size field never allocates more than the file holds.
    bool fetch(std::int64_t pos, std::size_t n, std::vector<std::uint8_t>& buf) {
        if (pos + static_cast<std::int64_t>(n) > L.EndLimit) return false;
        buf.resize(n);
        return L.ReadBytes(pos, buf.data(), n);
    }

    static void takeExtension(std::uint8_t type, const std::uint8_t* data, std::size_t n,
                              Entry& e) {
        std::string text(reinterpret_cast<const char*>(data), n);
        if (type == kExtName) e.name = text.substr(0, text.find('\0'));
        if (type == kExtFolder) e.folder = text.substr(0, text.find('\0'));
    }

    // Follows a chain of extended headers in the file from p, the first of
    // firstSize bytes; each is type, data and the size of the next, the
    // sizes being width bytes wide.  Returns the position behind the chain,
    // or -1 when it is malformed or runs past the end of the file.
    std::int64_t walkChain(std::int64_t p, std::size_t firstSize, std::size_t width, Entry& e) {
        std::vector<std::uint8_t> b;
        std::size_t extSize = firstSize;
        while (extSize != 0) {
            if (extSize < 1 + width || !fetch(p, extSize, b)) return -1;
            takeExtension(b[0], b.data() + 1, extSize - 1 - width, e);
            p += static_cast<std::int64_t>(extSize);
            const std::uint8_t* next = b.data() + extSize - width;
            extSize = width == 2 ? le16(next) : le32(next);
        }
        return p;
    }

    // Levels 0 and 1: header size byte, checksum, fixed fields, name, CRC;
    // level 1 then chains extended headers behind the base header, and
    // counts them in the packed size.
    bool readLevel01(std::int64_t pos, const std::uint8_t* h, std::uint8_t level, Entry& e,
                     std::int64_t& headerLen, std::uint16_t& crc) {
        const std::size_t baseLen = static_cast<std::size_t>(h[0]) + 2;
        const std::size_t n = h[21];
        if (baseLen < kLhaFixed + n + 2) return false;
        std::vector<std::uint8_t> b;
        if (!fetch(pos, baseLen, b)) return false;
        e.name.assign(reinterpret_cast<const char*>(b.data() + 22), n);
        crc = le16(b.data() + 22 + n);
        headerLen = static_cast<std::int64_t>(baseLen);
        if (level == 0) return true;
        if (baseLen < kLhaFixed + n + 5) return false;
        // The size of the first extended header ends the base header.
        const std::int64_t start = pos + static_cast<std::int64_t>(baseLen);
        const std::int64_t end = walkChain(start, le16(b.data() + baseLen - 2), 2, e);
        if (end < 0) return false;
        e.extBytes = end - start;
        return true;
    }

    // Level 2: a 16-bit total header length, the extended headers inside.
    // Some writers count the length short, so the data starts behind
    // whichever ends later, the length or the chain.
    bool readLevel2(std::int64_t pos, const std::uint8_t* h, Entry& e, std::int64_t& headerLen,
                    std::uint16_t& crc) {
        const std::int64_t total = le16(h);
        std::vector<std::uint8_t> b;
        if (total < 26 || !fetch(pos, 26, b)) return false;
        crc = le16(b.data() + 21);
        const std::int64_t end = walkChain(pos + 26, le16(b.data() + 24), 2, e);
        if (end < 0) return false;
        headerLen = std::max(total, end - pos);
        return true;
    }

    // Level 3: 32-bit sizes throughout.
    bool readLevel3(std::int64_t pos, const std::uint8_t* h, Entry& e, std::int64_t& headerLen,
                    std::uint16_t& crc) {
        if (le16(h) != 4) return false;
        std::vector<std::uint8_t> b;
        if (!fetch(pos, 32, b)) return false;
        const std::int64_t total = le32(b.data() + 24);
        const std::uint32_t first = le32(b.data() + 28);
        if (total < 32 || first > kMaxLevel3Header) return false;
        crc = le16(b.data() + 21);
        const std::int64_t end = walkChain(pos + 32, first, 4, e);
        if (end < 0) return false;
        headerLen = std::max(total, end - pos);
        return true;
    }
};

} // namespace

void registerLhaReader(DirectoryReaderTable& table) {
    table.add({atLHA, atLhaExe, atLZH, atLzhExe},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new LhaReader(l)); });
}
