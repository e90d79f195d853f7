// Cabinet directory, following a set into its next cabinets.
#include <set>

#include "archive/format/CabFormat.h"
#include "archive/list/DirectoryReader.h"
#include "platform/FileSystem.h"

namespace {

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
        L.CurrentPos = base + header_.FirstFile + 1;
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
        if (header_.HasNext())
            nextCabinet();
        else
            L.EndWalk();
    }

    void listEntry() {
        const std::int64_t pos = L.CurrentPos - 1;
        cab::FileEntry e;
        auto read = reader();
        const bool whole = cab::readFileEntry(read, pos, L.ArchiveSize, e);
        --remaining_;
        L.ReadPos = whole ? e.NextPos : L.ArchiveSize;
        if (!whole) return;
        // A file that began in a cabinet already walked was listed there.
        if (continued_ &&
            (e.FolderIndex == cab::kContinuedFromPrevious || e.FolderIndex == cab::kContinuedBoth))
            return;
        L.FileName = e.Path();
        if (!L.Shown(L.FileName)) return;
        const std::int64_t size = e.Size;
        L.CountMember(size, size);
        L.PackedSize = L.UnpackedSize = size;
        L.CRC = 0;
        L.Method = method_;
        L.MethodName = cab::methodName(method_);
        L.VersionMadeBy = header_.Minor;
        L.VersionNeeded = header_.Major;
        L.InternalAttr = e.Attributes;
        L.ExternalAttr = e.Attributes;
        L.DateTime = L.ConvertDate(e.DosStamp());
        L.Ratio = 0;
        L.ReportMember(pos);
    }

    cab::ReadAt reader() {
        return [this](std::int64_t p, void* buf, std::size_t n) { return L.ReadBytes(p, buf, n); };
    }

    // Reads the header parts, the first folder entry and the first data
    // block header of the cabinet at base; reports and returns false when
    // the cabinet cannot be walked.
    bool readCabinet(std::int64_t base) {
        auto read = reader();
        if (cab::readHeader(read, base, L.ArchiveSize, header_) != cab::Status::Ok) {
            L.Report(err::BadFileHeader);
            return false;
        }
        remaining_ = header_.FileCount;
        cab::Folder folder;
        if (!cab::readFolder(read, header_, 0, L.ArchiveSize, folder)) {
            L.Report(err::ReadError);
            return false;
        }
        method_ = folder.Compression;
        cab::DataBlock block;
        if (!cab::readDataBlock(read, header_, base + folder.DataOffset, L.ArchiveSize, block)) {
            L.Report(err::ReadError);
            return false;
        }
        return true;
    }

    void nextCabinet() {
        const std::string current = L.ArchiveFile();
        const std::string folder = plat::extractFilePath(current);
        const std::string nextName = header_.NextName, nextDisk = header_.NextDisk;
        std::string path = plat::findNameNoCase(folder, nextName);
        // A set that names a cabinet already walked would go round for ever.
        if (nextName.empty() || visited_.count(path)) {
            L.EndWalk();
            return;
        }
        if (!L.Archive().close()) L.Fail(err::CloseError, nextDisk);
        if (!plat::fileExists(path)) {
            // Named after the missing cabinet, so that the owner can ask for its disk.
            L.ReportError(path, nextDisk, err::CabNextVolume);
            path = plat::findNameNoCase(folder, nextName);
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
        L.ReadPos = header_.FirstFile;
    }

    cab::Header header_;
    std::uint16_t remaining_ = 0, method_ = 0;
    std::set<std::string> visited_;
    bool continued_ = false;
};

} // namespace

void registerCabReader(DirectoryReaderTable& table) {
    table.add({atCAB},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new CabReader(l)); });
}
