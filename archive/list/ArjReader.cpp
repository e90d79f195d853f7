// ARJ directories, including members that continue over the volumes of a
// set (ARCHIVE.ARJ, ARCHIVE.A01, ...).  Headers are read by the ARJ module.
#include <string>

#include "archive/format/ArjFormat.h"
#include "archive/list/DirectoryReader.h"
#include "platform/FileSystem.h"

namespace {

class ArjReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override {
        L.HeaderSize = arj::kFixedSize;
        const std::int64_t start = L.CurrentPos - 1;
        arj::Header main;
        if (read(start, main) != arj::Status::Ok) {
            L.EndLimit = 0; // nothing to list
            return;
        }
        L.ArchiveComment = TArcLister::CommentText(main.Comment);
        L.CurrentPos = main.DataPos + 1;
    }

    void headerStep() override {
        const std::int64_t pos = L.CurrentPos - 1;
        arj::Header h;
        if (read(pos, h) != arj::Status::Ok) {
            L.EndWalk();
            return;
        }
        const std::string name = h.Name;
        const std::string comment = h.Comment;
        std::int64_t at = pos;
        std::int64_t packed = h.PackedSize;
        std::int64_t unpacked = h.UnpackedSize;
        bool complete = true;
        while (h.Continues()) {
            arj::Header next;
            if (!nextVolume(next)) {
                // The set ends early: what was found is still listed.
                complete = false;
                break;
            }
            h = next;
            at = h.Pos;
            packed += h.PackedSize;
            unpacked += h.UnpackedSize;
        }

        L.FileName = TArcLister::StoredName(name);
        if ((h.FileType == arj::kTypeFolder && L.ShowBlankDirs) || L.Shown(L.FileName)) {
            L.CountMember(packed, unpacked);
            L.FileComment = TArcLister::CommentText(comment);
            L.PackedSize = packed;
            L.UnpackedSize = unpacked;
            L.Ratio = CalcRatio(packed, unpacked);
            L.CRC = h.Crc;
            // ARJ for Unix keeps the time as seconds since 1970.
            L.DateTime =
                h.HostOs == arj::kHostUnix ? plat::unixToDateTime(h.Stamp) : L.ConvertDate(h.Stamp);
            L.Method = h.Method;
            L.MethodName = MethodNameOf(L.ArcType(), h.Method);
            L.Encrypted = h.Garbled();
            L.VersionMadeBy = h.Version;
            L.VersionNeeded = h.MinVersion;
            L.InternalAttr = h.AccessMode;
            L.ExternalAttr = h.AccessMode;
            L.ReportMember(at);
        }
        if (!complete) {
            L.EndLimit = 0;
            L.EndWalk();
            return;
        }
        L.ReadPos = h.NextPos();
    }

private:
    arj::Status read(std::int64_t pos, arj::Header& h) {
        auto at = [this](std::int64_t p, void* buf, std::size_t n) {
            return L.ReadBytes(p, buf, n);
        };
        return arj::readHeader(at, pos, L.ArchiveSize, h);
    }

    // Opens the next volume and reads the continued member's header there.
    // False when that volume holds no usable header.
    bool nextVolume(arj::Header& h) {
        if (ArcName.empty()) {
            ArcName = L.ArchiveFile();
            Volume = arj::volumeNumberOf(ArcName);
        }
        ++Volume;
        const std::string volId = std::to_string(Volume);
        if (Volume >= 1000) L.Fail(err::OpenError, volId);
        const std::string path = arj::volumePath(ArcName, Volume);
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

        arj::Header main;
        std::int64_t pos = 0;
        if (read(0, main) == arj::Status::Ok) {
            L.ArchiveComment = TArcLister::CommentText(main.Comment);
            pos = main.DataPos;
        }
        return read(pos, h) == arj::Status::Ok;
    }

    std::string ArcName;
    int Volume = 0;
};

} // namespace

void registerArjReader(DirectoryReaderTable& table) {
    table.add({atARJ, atArjExe},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new ArjReader(l)); });
}
