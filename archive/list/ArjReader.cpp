// ARJ directories, including members that continue over the volumes of a
// set (ARCHIVE.ARJ, ARCHIVE.A01, ...).
#include <string>

#include "archive/list/DirectoryReader.h"
#include "platform/FileSystem.h"

namespace {

constexpr std::uint16_t kArjId = 0xEA60;
constexpr std::int64_t kArjFixed = 34;
// The smallest first-header size: the fields up to the host data.
constexpr int kArjMinFirstSize = 30;
constexpr std::uint8_t kFlagGarbled = 0x01;
constexpr std::uint8_t kFlagVolume = 0x04;
constexpr std::uint8_t kFileTypeDir = 3;
constexpr std::uint8_t kHostUnix = 2;
constexpr std::size_t kMaxName = 65535;
constexpr std::size_t kMaxComment = 2500;

struct ArjHeader {
    std::uint8_t raw[kArjFixed];
    std::uint16_t id() const { return le16(raw); }
    std::uint16_t basicSize() const { return le16(raw + 2); }
    std::uint8_t firstSize() const { return raw[4]; }
    std::uint8_t flags() const { return raw[8]; }
    std::int64_t packed() const { return le32(raw + 16); }
    std::int64_t unpacked() const { return le32(raw + 20); }
    // A header is usable when its marker is there and the name offset it
    // gives lies inside the basic header.
    bool usable() const {
        return id() == kArjId && basicSize() != 0 && firstSize() >= kArjMinFirstSize &&
               firstSize() <= basicSize();
    }
};

// Volume extensions: A01..A99, then 100..999.
std::string volumeExtension(int number, bool lower) {
    std::string ext = number < 10 ? "A0" : number < 100 ? "A" : "";
    ext += std::to_string(number);
    if (lower)
        for (char& c : ext) c = static_cast<char>(c == 'A' ? 'a' : c);
    return ext;
}

// The number of a volume named like ARCHIVE.A07 or ARCHIVE.123, so that a
// listing that starts in the middle of a set goes on with the next one;
// 0 for the first volume.
int volumeNumberOf(const std::string& path) {
    std::string ext = plat::extractFileExt(plat::extractFileName(path));
    auto digit = [&](std::size_t i) { return ext[i] >= '0' && ext[i] <= '9'; };
    if (ext.size() != 4) return 0;
    if ((ext[1] == 'A' || ext[1] == 'a') && digit(2) && digit(3))
        return (ext[2] - '0') * 10 + (ext[3] - '0');
    if (digit(1) && digit(2) && digit(3))
        return (ext[1] - '0') * 100 + (ext[2] - '0') * 10 + (ext[3] - '0');
    return 0;
}

class ArjReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override {
        L.HeaderSize = kArjFixed;
        const std::int64_t start = L.CurrentPos - 1;
        ArjHeader main{};
        if (!L.ReadBytes(start, main.raw, kArjFixed) || !main.usable()) {
            L.EndLimit = 0; // nothing to list
            return;
        }
        std::string comment;
        readNameAndComment(start, main, nullptr, &comment);
        L.ArchiveComment = TArcLister::CommentText(comment);
        L.CurrentPos = headerEnd(start, main) + 1;
    }

    void headerStep() override {
        ArjHeader h{};
        std::copy(L.Header().begin(), L.Header().begin() + kArjFixed, h.raw);
        member(h, L.CurrentPos - 1);
    }

private:
    // Lists the member whose header h was read at pos and moves ReadPos to
    // the next header.
    void member(ArjHeader h, std::int64_t pos) {
        if (!h.usable()) {
            L.EndWalk();
            return;
        }
        std::string name, comment;
        readNameAndComment(pos, h, &name, &comment);
        std::int64_t packed = h.packed();
        std::int64_t unpacked = h.unpacked();
        bool complete = true;
        while (h.flags() & kFlagVolume) {
            ArjHeader next{};
            std::int64_t nextPos = 0;
            if (!nextVolume(next, nextPos)) {
                // The set ends early: what was found is still listed.
                complete = false;
                break;
            }
            h = next;
            pos = nextPos;
            packed += h.packed();
            unpacked += h.unpacked();
        }

        L.FileName = TArcLister::StoredName(name);
        const bool isDir = h.raw[10] == kFileTypeDir;
        if ((isDir && L.ShowBlankDirs) || L.Shown(L.FileName)) {
            L.CountMember(packed, unpacked);
            L.FileComment = TArcLister::CommentText(comment);
            L.PackedSize = packed;
            L.UnpackedSize = unpacked;
            L.Ratio = CalcRatio(packed, unpacked);
            L.CRC = le32(h.raw + 24);
            const std::uint32_t stamp = le32(h.raw + 12);
            // ARJ for Unix keeps the time as seconds since 1970.
            L.DateTime = h.raw[7] == kHostUnix ? plat::unixToDateTime(stamp) : L.ConvertDate(stamp);
            L.Method = h.raw[9];
            L.MethodName = MethodNameOf(L.ArcType(), h.raw[9]);
            L.Encrypted = (h.flags() & kFlagGarbled) != 0;
            L.VersionMadeBy = h.raw[5];
            L.VersionNeeded = h.raw[6];
            L.InternalAttr = le16(h.raw + 30);
            L.ExternalAttr = le16(h.raw + 30);
            L.ReportMember(pos);
        }
        if (!complete) {
            L.EndLimit = 0;
            L.EndWalk();
            return;
        }
        L.ReadPos = headerEnd(pos, h) + h.packed();
    }

    // The name starts where the first-header size says, so fields added by
    // later versions are stepped over; the comment follows the name.
    void readNameAndComment(std::int64_t pos, const ArjHeader& h, std::string* name,
                            std::string* comment) {
        const std::int64_t namePos = pos + 4 + h.firstSize();
        const std::int64_t basicEnd = pos + 4 + h.basicSize();
        std::int64_t after = namePos;
        std::size_t room = static_cast<std::size_t>(basicEnd - namePos);
        std::string n = L.ReadZString(namePos, std::min(room, kMaxName), after);
        if (name) *name = std::move(n);
        if (after < basicEnd) {
            room = static_cast<std::size_t>(basicEnd - after);
            std::string c = L.ReadZString(after, std::min(room, kMaxComment), after);
            if (comment) *comment = std::move(c);
        }
    }

    // Position behind the basic header, its CRC and the chain of extended
    // headers (each: size, data, CRC; a zero size ends the chain).
    std::int64_t headerEnd(std::int64_t pos, const ArjHeader& h) {
        std::int64_t p = pos + 4 + h.basicSize() + 4;
        for (;;) {
            std::uint8_t b[2];
            if (!L.ReadBytes(p, b, 2)) return p;
            p += 2;
            const std::uint16_t ext = le16(b);
            if (ext == 0) return p;
            p += ext + 4;
        }
    }

    std::string volumePath(int number) const {
        const std::string& arc = ArcName;
        std::string dir = plat::extractFilePath(arc);
        std::string base = plat::extractFileName(arc);
        std::string ext = plat::extractFileExt(base);
        base = base.substr(0, base.size() - ext.size());
        bool lower = ext.size() > 1 && ext[1] >= 'a' && ext[1] <= 'z';
        std::string path = dir + base + "." + volumeExtension(number, lower);
        if (!plat::fileExists(path)) {
            std::string other = dir + base + "." + volumeExtension(number, !lower);
            if (plat::fileExists(other)) return other;
        }
        return path;
    }

    // Opens the next volume and reads the continued member's header there.
    // False when that volume holds no usable header.
    bool nextVolume(ArjHeader& h, std::int64_t& pos) {
        if (ArcName.empty()) {
            ArcName = L.ArchiveFile();
            Volume = volumeNumberOf(ArcName);
        }
        ++Volume;
        const std::string volId = std::to_string(Volume);
        if (Volume >= 1000) L.Fail(err::OpenError, volId);
        const std::string path = volumePath(Volume);
        if (!plat::fileExists(path)) {
            L.Report(err::CabNextVolume, volId);
            if (!plat::fileExists(path)) {
                L.OpenVolume(ArcName);
                L.Fail(err::FileNotFound, volId);
            }
        }
        if (!L.OpenVolume(path)) {
            L.OpenVolume(ArcName);
            L.Fail(err::ReadError, volId);
        }
        const std::int64_t size = L.Archive().size();
        if (size < 0) L.Fail(err::ReadError, volId);
        L.ArchiveSize = L.EndLimit = size;
        L.ReadPos = 0;

        ArjHeader main{};
        if (!L.ReadBytes(0, main.raw, kArjFixed)) return false;
        pos = 0;
        if (main.usable()) {
            std::string comment;
            readNameAndComment(0, main, nullptr, &comment);
            L.ArchiveComment = TArcLister::CommentText(comment);
            pos = headerEnd(0, main);
        }
        return L.ReadBytes(pos, h.raw, kArjFixed) && h.usable();
    }

    std::string ArcName;
    int Volume = 0;
};

} // namespace

void registerArjReader(DirectoryReaderTable& table) {
    table.add({atARJ, atArjExe},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new ArjReader(l)); });
}
