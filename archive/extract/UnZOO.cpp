#include "archive/extract/UnZOO.h"

#include <vector>

#include "archive/extract/Extractors.h"
#include "platform/Time.h"

namespace {

TFramePolicy zooPolicy() {
    TFramePolicy p;
    p.Verdict = TVerdict::Crc16;
    p.OnUnselected = TFramePolicy::Unselected::Silent;
    p.OnDeclined = TFramePolicy::Declined::Silent;
    p.OnCreateFailure = TFramePolicy::CreateFailure::StopReported;
    p.NothingToDoAtEnd = false;
    return p;
}

// The name without any folder: ZOO members are extracted side by side.
std::string leafName(const std::string& raw) {
    std::string name = fmt::storedName(raw);
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

} // namespace

TUnZOO::TUnZOO(TComponent* AOwner) : TUnBase(AOwner, zooPolicy()) {}

void TUnZOO::ExtractMembers() {
    const std::int64_t size = Archive_.size();
    if (size < 0) RaiseError(ArchiveFile_, err::ReadError);
    auto read = [this](std::int64_t pos, void* buf, std::size_t n) {
        return Archive_.readAt(pos, buf, n) == static_cast<std::int64_t>(n);
    };
    std::uint8_t raw[zoo::kArchiveHeaderSize];
    if (size < static_cast<std::int64_t>(sizeof raw) || !read(0, raw, sizeof raw))
        RaiseError(ArchiveFile_, err::ReadError);
    zoo::ArchiveHeader a;
    zoo::parseArchiveHeader(raw, a);
    if (!a.Consistent()) RaiseError(ArchiveFile_, err::BadFileHeader);
    Activated();

    // An entry of the chain: false at its end.  The chain must run forward
    // (so it cannot loop) and every member's data lie inside the file.
    auto next = [&](std::int64_t pos, zoo::Entry& e, bool raise) {
        const bool ok = zoo::readEntry(read, pos, size, e) == zoo::Status::Ok;
        if (ok && e.EndOfChain()) return false;
        if (ok && e.Next > pos && static_cast<std::int64_t>(e.DataPos) + e.PackedSize <= size)
            return true;
        if (raise) RaiseError(ArchiveFile_, err::BadFileHeader);
        return false;
    };
    // Members that share data would multiply what a small archive expands
    // to: such an archive is refused before anything is written.  Damage
    // further on is met (and reported) when the walk gets there.
    std::vector<TByteRange> ranges;
    zoo::Entry e;
    for (std::int64_t pos = a.FirstEntry; next(pos, e, false); pos = e.Next)
        if (e.PackedSize) ranges.push_back({e.DataPos, std::uint64_t{e.DataPos} + e.PackedSize});
    if (RangesOverlap(ranges)) RaiseError(ArchiveFile_, err::BadFileHeader);

    for (std::int64_t pos = a.FirstEntry; !Cancel() && next(pos, e, true); pos = e.Next) {
        // An entry that was replaced or deleted is kept in the chain but is
        // no longer a member.
        if (e.Deleted) continue;
        TMemberDesc d;
        d.StoredName = leafName(e.Name());
        d.Method = e.Method;
        d.ModificationTime = plat::dosToUnix(e.DosDateTime);
        d.ExistsDate = e.DosDateTime;
        d.StoredCrc = e.Crc;
        d.PackedSize = e.PackedSize;
        d.UnpackedSize = e.UnpackedSize;
        d.DataOffset = e.DataPos;
        if (ProcessMember(d) == Next::Stop) break;
    }
}

// Methods without a decoder stop the extraction before anything is made.
void TUnZOO::MemberSelected(TMemberDesc& m) {
    if (!CanDecode(m)) MemberError(err::UnsupportedMethod);
}

void registerUnZOO(ExtractorTable& table) {
    table.add({atZOO}, [] { return std::unique_ptr<TUnBase>(new TUnZOO); });
}
