// ZIP directory: the end record and the central directory, found by the
// ZIP module's rule (also behind a self-extractor stub).
#include "archive/format/ZipFormat.h"
#include "archive/list/DirectoryReader.h"

namespace {

class ZipReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override {
        auto read = [this](std::int64_t p, void* buf, std::size_t n) {
            return L.ReadBytes(p, buf, n);
        };
        // A start announced by the executable's string table, else where
        // detection found the ZIP data.
        const std::int64_t announced = L.SfxZipOffset > 0 ? L.SfxZipOffset : L.ArchiveStart - 1;
        zip::Directory dir;
        const zip::DirStatus status = zip::locateDirectory(read, L.ArchiveSize, announced, dir);
        if (status == zip::DirStatus::ReadError) L.Fail(err::ReadError);
        if (status != zip::DirStatus::Ok) L.Fail(err::HeaderIdError);
        if (dir.End.CommentLength) L.ArchiveComment = TArcLister::CommentText(dir.End.Comment);
        L.EndLimit = L.ArchiveSize;
        L.HeaderSize = zip::kCentralSize;
        if (dir.FirstCentral < 0) {
            L.EndLimit = 0;
            return;
        }
        L.CurrentPos = dir.FirstCentral + 1;
    }

    void headerStep() override {
        const std::uint8_t* fixed = L.Header().data();
        const std::int64_t pos = L.CurrentPos - 1;
        zip::CentralHeader h;
        if (!zip::parseCentral(fixed, h)) {
            L.EndWalk();
            // The records that close a central directory end it in order;
            // anything else where a record should be is a broken directory.
            const std::uint32_t sig = le32(fixed);
            const bool closing =
                sig == zip::kEndSig || sig == zip::kEnd64Sig || sig == zip::kDigitalSig;
            if (L.FileCount == 0 && !closing) L.Fail(err::BadFileHeader);
            return;
        }
        variable_.resize(h.VariableLength());
        if (!L.ReadBytes(pos + zip::kCentralSize, variable_.data(), variable_.size()))
            L.Fail(err::ReadError);
        const auto* v = reinterpret_cast<const char*>(variable_.data());
        const std::size_t n = h.NameLength, m = h.ExtraLength, k = h.CommentLength;

        L.FileName = TArcLister::StoredName(std::string_view(v, n));
        if (k) L.FileComment = TArcLister::CommentText(std::string_view(v + n + m, k));
        zip::applyZip64Extra(std::span(variable_.data() + n, m), h);

        const bool folder =
            (h.ExternalAttr & 0x10) != 0 || (!L.FileName.empty() && L.FileName.back() == '/');
        // Folder entries appear only on request, whatever their name looks like.
        const bool shown = folder ? L.ShowBlankDirs : L.Shown(L.FileName);
        L.ReadPos = pos + static_cast<std::int64_t>(h.TotalLength());
        if (!shown) return;

        L.PackedSize = statedSize(h.PackedSize);
        L.UnpackedSize = statedSize(h.UnpackedSize);
        if (!folder) L.CountMember(L.PackedSize, L.UnpackedSize);
        L.VersionMadeBy = h.VersionMadeBy;
        L.VersionNeeded = h.VersionNeeded;
        L.Encrypted = (h.Flags & zip::kFlagEncrypted) != 0;
        L.Method = h.Method;
        L.MethodName = zip::methodName(h.Method, h.Flags);
        if (h.Method == zip::kMethodAes)
            if (auto aes = zip::findAesExtra(std::span(variable_.data() + n, m))) {
                // The method of the data, and the encryption it is under.
                L.MethodName = zip::methodName(aes->Method, h.Flags) + "+AES" +
                               std::to_string(64 + 64 * aes->Strength);
            }
        if (h.Flags > 1)
            L.DeflateOption = (h.Flags & 6) == 6 ? 6 : (h.Flags & 4) ? 4 : (h.Flags & 2) ? 2 : 0;
        L.DateTime = L.ConvertDate(h.DosDateTime);
        L.CRC = h.Crc;
        L.InternalAttr = h.InternalAttr;
        L.ExternalAttr = h.ExternalAttr;
        L.Ratio = CalcRatio(L.PackedSize, L.UnpackedSize);
        L.ReportMember(statedSize(h.LocalOffset));
    }

private:
    std::vector<std::uint8_t> variable_;
};

} // namespace

void registerZipReader(DirectoryReaderTable& table) {
    table.add({atZIP, atZipExe, atZip250, atZip250Exe},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new ZipReader(l)); });
}
