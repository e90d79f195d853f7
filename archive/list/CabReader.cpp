// Cabinet directory, following a set into its next cabinets.
#include <set>

#include "archive/list/DirectoryReader.h"
#include "platform/FileSystem.h"

namespace {

constexpr std::uint32_t kCabSig = 0x4643534D; // "MSCF"
constexpr std::uint16_t kPrevCabinet = 0x0001;
constexpr std::uint16_t kNextCabinet = 0x0002;
constexpr std::uint16_t kReservePresent = 0x0004;
// Folder indexes of entries that continue from the previous cabinet.
constexpr std::uint16_t kContinuedFromPrev = 0xFFFD;
constexpr std::uint16_t kContinuedPrevAndNext = 0xFFFF;
constexpr std::size_t kMaxCabName = 255;

class CabReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override {
        L.HeaderSize = 16;
        L.EndLimit = L.ArchiveSize;
        const std::int64_t base = L.ArchiveStart - 1;
        if (!readCabinet(base)) {
            L.EndLimit = 0;
            return;
        }
        visited_.insert(L.ArchiveFile());
        L.CurrentPos = base + firstFile_ + 1;
    }

    void headerStep() override {
        if (remaining_ == 0) {
            endOfCabinet();
            return;
        }
        listEntry();
        // The set goes on at once: the last entry of a small cabinet can
        // leave less than an entry's worth of bytes behind it.
        if (remaining_ == 0) endOfCabinet();
    }

private:
    void endOfCabinet() {
        if (flags_ & kNextCabinet)
            nextCabinet();
        else
            L.EndWalk();
    }

    void listEntry() {
        const std::uint8_t* h = L.Header().data();
        const std::int64_t pos = L.CurrentPos - 1;
        std::int64_t after = 0;
        std::string raw = L.ReadZString(pos + 16, kMaxCabName + 1, after);
        --remaining_;
        L.ReadPos = after;
        const std::uint16_t folder = le16(h + 8);
        // A file that began in a cabinet already walked was listed there.
        if (continued_ && (folder == kContinuedFromPrev || folder == kContinuedPrevAndNext)) return;
        L.FileName = TArcLister::StoredName(raw);
        if (!L.Shown(L.FileName)) return;
        const std::int64_t size = le32(h);
        L.CountMember(size, size);
        L.PackedSize = L.UnpackedSize = size;
        L.CRC = 0;
        L.Method = method_;
        L.MethodName = MethodNameOf(atCAB, method_);
        L.VersionMadeBy = minor_;
        L.VersionNeeded = major_;
        L.InternalAttr = le16(h + 14);
        L.ExternalAttr = le16(h + 14);
        L.DateTime = L.ConvertDate(static_cast<std::uint32_t>(le16(h + 10)) << 16 | le16(h + 12));
        L.Ratio = 0;
        L.ReportMember(pos);
    }

    // Reads the header parts, the first folder entry and the first data
    // block header of the cabinet at base; reports and returns false when
    // the cabinet cannot be walked.
    bool readCabinet(std::int64_t base) {
        std::uint8_t h[36];
        if (!L.ReadBytes(base, h, sizeof h) || le32(h) != kCabSig) {
            L.Report(err::BadFileHeader);
            return false;
        }
        firstFile_ = le32(h + 16);
        minor_ = h[24];
        major_ = h[25];
        remaining_ = le16(h + 28);
        flags_ = le16(h + 30);
        std::int64_t at = base + 36;
        std::uint8_t folderReserve = 0;
        if (flags_ & kReservePresent) {
            std::uint8_t r[4];
            if (!L.ReadBytes(at, r, 4)) {
                L.Report(err::BadFileHeader);
                return false;
            }
            folderReserve = r[2];
            at += 4 + le16(r);
        }
        std::int64_t after = at;
        if (flags_ & kPrevCabinet) {
            L.ReadZString(after, kMaxCabName + 1, after);
            L.ReadZString(after, kMaxCabName + 1, after);
        }
        nextName_.clear();
        nextDisk_.assign(1, '0');
        if (flags_ & kNextCabinet) {
            nextName_ = L.ReadZString(after, kMaxCabName + 1, after);
            nextDisk_ = L.ReadZString(after, kMaxCabName + 1, after);
        }
        std::uint8_t folder[8];
        if (!L.ReadBytes(after, folder, sizeof folder)) {
            L.Report(err::ReadError);
            return false;
        }
        (void)folderReserve; // only the first folder entry is read
        method_ = le16(folder + 6);
        std::uint8_t block[8];
        if (!L.ReadBytes(base + le32(folder), block, sizeof block)) {
            L.Report(err::ReadError);
            return false;
        }
        return true;
    }

    void nextCabinet() {
        const std::string current = L.ArchiveFile();
        const std::string folder = plat::extractFilePath(current);
        // Cabinets name their siblings as DOS did, without regard to case.
        std::string path = plat::findNameNoCase(folder, nextName_);
        // A set that names a cabinet already walked would go round for ever.
        if (nextName_.empty() || visited_.count(path)) {
            L.EndWalk();
            return;
        }
        if (!L.Archive().close()) L.Fail(err::CloseError, nextDisk_);
        if (!plat::fileExists(path)) {
            // Named after the missing cabinet, so that the owner can ask for its disk.
            L.ReportError(path, nextDisk_, err::CabNextVolume);
            path = plat::findNameNoCase(folder, nextName_);
            if (!plat::fileExists(path)) {
                L.OpenVolume(current);
                L.Fail(err::FileNotFound);
            }
        }
        if (!L.OpenVolume(path)) {
            L.OpenVolume(current);
            L.Fail(err::ReadError);
        }
        visited_.insert(path);
        const std::int64_t size = L.Archive().size();
        L.ArchiveSize = L.EndLimit = size < 0 ? 0 : size;
        continued_ = true;
        if (!readCabinet(0)) {
            L.EndWalk();
            return;
        }
        L.ReadPos = firstFile_;
    }

    std::uint32_t firstFile_ = 0;
    std::uint16_t remaining_ = 0, flags_ = 0, method_ = 0;
    std::uint8_t minor_ = 0, major_ = 0;
    std::string nextName_, nextDisk_ = "0";
    std::set<std::string> visited_;
    bool continued_ = false;
};

} // namespace

void registerCabReader(DirectoryReaderTable& table) {
    table.add({atCAB},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new CabReader(l)); });
}
