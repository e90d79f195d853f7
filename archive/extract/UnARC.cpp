#include "archive/extract/UnARC.h"

#include "archive/core/MatchSpec.h"
#include "archive/extract/Extractors.h"
#include "platform/Time.h"

namespace {

// Headers may stand behind a few bytes of padding.
constexpr int kMaxSkip = 10;

TFramePolicy arcPolicy() {
    TFramePolicy p;
    p.Verdict = TVerdict::Crc16;
    p.OnUnselected = TFramePolicy::Unselected::Reported;
    p.OnDeclined = TFramePolicy::Declined::Reported;
    p.OnCreateFailure = TFramePolicy::CreateFailure::SkipReported;
    p.CreateFailureCode = err::WriteError;
    p.NothingToDoAtEnd = false;
    return p;
}

} // namespace

TUnARC::TUnARC(TComponent* AOwner) : TUnBase(AOwner, arcPolicy()) {}

bool TUnARC::AcceptsArcType(TArcType t) const {
    return t == atARC || t == atArcExe;
}

void TUnARC::ExtractMembers() {
    const std::int64_t size = Archive_.size();
    if (size < 0) RaiseError(ArchiveFile_, err::ReadError);
    auto read = [this](std::int64_t pos, void* buf, std::size_t n) {
        return Archive_.readAt(pos, buf, n) == static_cast<std::int64_t>(n);
    };
    Activated();
    std::int64_t pos = ArchiveStart - 1;
    while (!Cancel()) {
        arc::Header h;
        const std::int64_t at = arc::findMarker(read, pos, size, kMaxSkip);
        const arc::Status s = at < 0 ? arc::Status::NotHeader : arc::readHeader(read, at, size, h);
        if (s == arc::Status::End) break;
        // No header where one should be, or one whose data runs past the
        // end of the file: the walk ends here.
        if (s != arc::Status::Ok || h.NextPos() > size) {
            ReportError(ArchiveFile_, "0", err::UnsupportedArcType);
            break;
        }
        TMemberDesc d;
        d.StoredName = fmt::storedName(h.Name);
        d.Method = h.Method;
        d.ModificationTime = plat::dosToUnix(h.DosDateTime);
        d.ExistsDate = h.DosDateTime;
        d.StoredCrc = h.Crc;
        d.PackedSize = static_cast<std::uint64_t>(h.PackedSize);
        d.UnpackedSize = static_cast<std::uint64_t>(h.UnpackedSize);
        d.DataOffset = h.DataPos();
        pos = h.NextPos();
        // A selected member of a method without a decoder is reported and
        // passed over; the walk goes on.
        if (!CanDecode(d) && !d.StoredName.empty() && MatchSpec(FileSpec(), d.StoredName, false)) {
            MakeFileName(d.StoredName);
            ReportError(FileName, "0", err::UnsupportedMethod);
            continue;
        }
        if (ProcessMember(d) == Next::Stop) break;
    }
}

void registerUnARC(ExtractorTable& table) {
    table.add({atARC, atArcExe}, [] { return std::unique_ptr<TUnBase>(new TUnARC); });
}
