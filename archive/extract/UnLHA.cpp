#include "archive/extract/UnLHA.h"

#include "archive/core/Crc.h"
#include "archive/extract/Extractors.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace {

// Members carry their Unix permissions in the high half of ExternalAttr
// when this flag is set.
constexpr std::uint16_t kHasUnixMode = 1;

TFramePolicy lhaPolicy() {
    TFramePolicy p;
    p.Verdict = TVerdict::Crc16;
    p.OnUnselected = TFramePolicy::Unselected::Silent;
    p.OnDeclined = TFramePolicy::Declined::Silent;
    p.OnCreateFailure = TFramePolicy::CreateFailure::StopReported;
    p.Restores = TFramePolicy::Restore::TimeAndAttributes;
    p.NothingToDoAtEnd = false;
    return p;
}

} // namespace

TUnLHA::TUnLHA(TComponent* AOwner) : TUnBase(AOwner, lhaPolicy()) {}

bool TUnLHA::AcceptsArcType(TArcType t) const {
    return t == atLHA || t == atLhaExe || t == atLZH || t == atLzhExe;
}

void TUnLHA::ExtractMembers() {
    const std::int64_t size = Archive_.size();
    if (size < 0) RaiseError(ArchiveFile_, err::ReadError);
    auto read = [this](std::int64_t pos, void* buf, std::size_t n) {
        return Archive_.readAt(pos, buf, n) == static_cast<std::int64_t>(n);
    };
    Activated();
    std::int64_t pos = ArchiveStart - 1;
    while (!Cancel()) {
        lha::Header h;
        const lha::Status s = lha::readHeader(read, pos, size, h);
        if (s == lha::Status::End) break;
        // A header that contradicts itself or the file, or data that runs
        // past the end of the file: nothing further can be trusted.
        if (s == lha::Status::Damaged || h.NextPos() > size) {
            ReportError(ArchiveFile_, "0", err::BadFileHeader);
            break;
        }
        TMemberDesc d;
        d.StoredName = h.Path();
        d.Method = h.MethodCode();
        d.ModificationTime = h.UnixModificationTime();
        d.ExistsDate = h.Level >= 2 || h.UnixTime ? plat::unixToDos(d.ModificationTime) : h.Stamp;
        d.StoredCrc = h.Crc;
        d.PackedSize = static_cast<std::uint64_t>(h.PackedSize);
        d.UnpackedSize = static_cast<std::uint64_t>(h.UnpackedSize);
        d.DataOffset = h.DataPos();
        d.ExternalAttr = h.DosAttr ? *h.DosAttr : h.Attr;
        if (h.UnixMode) {
            d.ExternalAttr |= static_cast<std::uint32_t>(*h.UnixMode) << 16;
            d.Flags = kHasUnixMode;
        }
        if (h.IsFolder()) {
            d.LinkTarget = h.LinkTarget();
            d.Type = d.LinkTarget.empty() ? TMemberDesc::Kind::Folder : TMemberDesc::Kind::Symlink;
        }
        if (d.Type == TMemberDesc::Kind::Symlink) {
            // The target stands in the header: it is what gets written and
            // checked.
            std::uint16_t crc = 0;
            Crc16Update(d.LinkTarget.data(), d.LinkTarget.size(), crc);
            d.StoredCrc = crc;
            d.SizeKnown = false;
        }
        if (ProcessMember(d) == Next::Stop) break;
        pos = h.NextPos();
    }
}

// Methods without a decoder stop the extraction before anything is made.
void TUnLHA::MemberSelected(TMemberDesc& m) {
    if (m.Type == TMemberDesc::Kind::File && !CanDecode(m)) MemberError(err::UnsupportedMethod);
}

void TUnLHA::RestoreAttributes(int fd, const TMemberDesc& m) {
    if (m.Flags & kHasUnixMode)
        plat::ConfinedDir::setNewFileMode(fd, (m.ExternalAttr >> 16) & 0777);
    else if (m.ExternalAttr & plat::faReadOnly)
        plat::ConfinedDir::setNewFileMode(fd, 0444);
}

void registerUnLHA(ExtractorTable& table) {
    table.add({atLHA, atLhaExe, atLZH, atLzhExe},
              [] { return std::unique_ptr<TUnBase>(new TUnLHA); });
}
