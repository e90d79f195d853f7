// ZOO directories: an archive header that points at the first directory
// entry, then a chain of entries linked by their next-entry positions.  The
// layouts are the ZOO module's.
#include <string>

#include "archive/format/ZooFormat.h"
#include "archive/list/DirectoryReader.h"

namespace {

class ZooReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override { L.HeaderSize = zoo::kEntrySize2; }

    void headerStep() override {
        if (!SeenArchiveHeader) {
            archiveHeader();
            return;
        }
        const std::int64_t pos = L.CurrentPos - 1;
        zoo::Entry e;
        // The chain ends with an empty entry whose next position is 0.
        if (zoo::readEntry(reader(), pos, L.ArchiveSize, e) != zoo::Status::Ok || e.EndOfChain()) {
            L.EndWalk();
            return;
        }
        const std::string comment =
            zoo::readText(reader(), e.CommentPos, e.CommentLength, L.ArchiveSize);
        L.FileName = TArcLister::StoredName(e.Path());
        if (L.Shown(L.FileName)) {
            L.CountMember(e.PackedSize, e.UnpackedSize);
            L.FileComment = TArcLister::CommentText(comment);
            L.PackedSize = e.PackedSize;
            L.UnpackedSize = e.UnpackedSize;
            L.Ratio = CalcRatio(e.PackedSize, e.UnpackedSize);
            L.CRC = e.Crc;
            L.DateTime = L.ConvertDate(e.DosDateTime);
            L.Method = e.Method;
            L.MethodName = MethodNameOf(L.ArcType(), e.Method);
            L.VersionMadeBy = e.MajorVersion;
            L.VersionNeeded = e.MinorVersion;
            L.ReportMember(pos);
        }
        L.ReadPos = e.Next;
    }

private:
    zoo::ReadAt reader() {
        return [this](std::int64_t p, void* buf, std::size_t n) { return L.ReadBytes(p, buf, n); };
    }

    void archiveHeader() {
        SeenArchiveHeader = true;
        zoo::ArchiveHeader a;
        zoo::parseArchiveHeader(L.Header().data(), a);
        if (!a.Consistent()) {
            L.EndWalk();
            return;
        }
        if (a.CommentLength)
            L.ArchiveComment = TArcLister::CommentText(
                zoo::readText(reader(), a.CommentPos, a.CommentLength, L.ArchiveSize));
        L.ReadPos = a.FirstEntry;
    }

    bool SeenArchiveHeader = false;
};

} // namespace

void registerZooReader(DirectoryReaderTable& table) {
    table.add({atZOO},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new ZooReader(l)); });
}
