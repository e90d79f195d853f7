#include "archive/extract/UnTAR.h"

#include <algorithm>
#include <cctype>

#include "archive/core/MatchSpec.h"
#include "archive/extract/Extractors.h"
#include "platform/Time.h"

namespace {

TFramePolicy tarPolicy() {
    TFramePolicy p;
    p.Verdict = TVerdict::AlwaysPass;
    p.OnUnselected = TFramePolicy::Unselected::Silent;
    p.OnDeclined = TFramePolicy::Declined::Silent;
    p.OnPlainSpec = TFramePolicy::PlainSpec::StopAfterOneStarOnly;
    p.Restores = TFramePolicy::Restore::TimeAndAttributes;
    p.OnCreateFailure = TFramePolicy::CreateFailure::StopReported;
    return p;
}

// A name as it is matched and extracted: without a DOS drive or the
// leading '/' of an absolute name.
std::string relativeName(std::string name) {
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
        name.erase(0, 2);
    const auto first = name.find_first_not_of('/');
    return first == std::string::npos ? std::string() : name.substr(first);
}

// Bytes after a compressed archive's end blocks decoded to reach the
// stream's own check; more than this is not padding, and is left.
constexpr std::uint64_t kMaxTrailingBytes = 16 << 20;

} // namespace

TUnTAR::TUnTAR(TComponent* AOwner) : TUnBase(AOwner, tarPolicy()) {}

TUnTAR::~TUnTAR() = default;

void TUnTAR::ExtractMembers() {
    std::int64_t size = Archive_.size();
    if (size < 0) RaiseError(ArchiveFile_, err::ReadError);
    tar::ReadAt read = [this](std::int64_t pos, void* buf, std::size_t n) {
        return Archive_.readAt(pos, buf, n) == static_cast<std::int64_t>(n);
    };
    std::int64_t pos = std::max<std::int64_t>(ArchiveStart - 1, 0);
    struct Release {
        std::unique_ptr<dec::DecodedStream>& s;
        ~Release() { s.reset(); }
    } release{Stream_};
    if (isTarballType(ArcType_)) {
        // Headers and data come from the decoded stream, in archive order.
        Stream_ = dec::DecodedStream::open(ArchiveFile_, ArcType_);
        if (!Stream_ || !Stream_->ok()) RaiseError(ArchiveFile_, err::OpenError);
        read = [this](std::int64_t at, void* buf, std::size_t n) {
            return at >= 0 && Stream_->readAt(static_cast<std::uint64_t>(at), buf, n);
        };
        size = static_cast<std::int64_t>(kMaxStatedOffset);
        pos = 0;
    }
    Activated();
    for (;;) {
        tar::Entry e;
        switch (tar::readEntry(read, pos, size, e)) {
        case tar::Status::Ok:
            break;
        case tar::Status::End:
            // The end of the stream carries its check (the gzip CRC, the
            // xz check): decoding what follows the last member makes it.
            if (Stream_ && !Cancel()) Stream_->drain(kMaxTrailingBytes);
            return;
        case tar::Status::BadChecksum:
            // Whatever follows a block that fails its checksum is guesswork.
            RaiseError(ArchiveFile_, err::HeaderCrcError);
        case tar::Status::Damaged:
            RaiseError(ArchiveFile_, err::BadFileHeader);
        }
        pos = e.NextPos;
        const std::string name = relativeName(e.Path());
        if (name.empty()) continue;

        TMemberDesc d;
        d.StoredName = name;
        if (e.IsDevice() || e.IsUnusable()) {
            // Nothing a program should make: said, and passed over.
            if (MatchSpec(FileSpec(), name, false)) {
                MakeFileName(name);
                ReportError(FileName, "0", err::SkippedFile);
            }
            continue;
        }
        if (e.IsFolder())
            d.Type = TMemberDesc::Kind::Folder;
        else if (e.IsLabel())
            d.Type = TMemberDesc::Kind::Label;
        else if (e.IsSymlink())
            d.Type = TMemberDesc::Kind::Symlink;
        else if (e.IsHardLink())
            d.Type = TMemberDesc::Kind::HardLink;
        if (e.IsSymlink()) {
            d.LinkTarget = e.LinkTarget();
            d.UnpackedSize = d.LinkTarget.size();
            if (d.LinkTarget.empty()) continue;
        } else if (e.IsHardLink()) {
            d.LinkTarget = relativeName(e.LinkTarget());
            if (d.LinkTarget.empty()) continue;
        }
        d.Method = 0;
        d.ModificationTime = e.ModificationTime;
        d.ExistsDate = plat::unixToDos(e.ModificationTime);
        d.ExternalAttr = e.Mode;
        if (d.Type == TMemberDesc::Kind::File) {
            d.PackedSize = static_cast<std::uint64_t>(e.Size);
            d.UnpackedSize = static_cast<std::uint64_t>(e.RealSize);
            d.DataOffset = e.DataPos;
        }
        Current_ = &e;
        const Next next = ProcessMember(d);
        Current_ = nullptr;
        if (next == Next::Stop) return;
    }
}

void TUnTAR::DecodeMember(TMemberDesc& m, dec::Input& in, dec::Sink& out) {
    if (!Current_ || !Current_->Sparse) {
        TUnBase::DecodeMember(m, in, out);
        return;
    }
    std::int64_t at = 0;
    const std::uint8_t* data = nullptr;
    std::size_t avail = 0;
    for (const tar::Region& r : Current_->Regions) {
        if (r.Offset > at) {
            if (!out.hole(static_cast<std::uint64_t>(r.Offset - at))) dec::fail(err::WriteError);
            at = r.Offset;
        }
        for (std::int64_t left = r.Size; left > 0;) {
            if (avail == 0 && (avail = in.takeBlock(data)) == 0) return; // cut short
            const auto n = static_cast<std::size_t>(
                std::min<std::int64_t>(left, static_cast<std::int64_t>(avail)));
            dec::writeOrFail(out, data, n);
            data += n;
            avail -= n;
            left -= static_cast<std::int64_t>(n);
            at += static_cast<std::int64_t>(n);
        }
    }
    if (Current_->RealSize > at && !out.hole(static_cast<std::uint64_t>(Current_->RealSize - at)))
        dec::fail(err::WriteError);
    in.finish();
}

dec::Source& TUnTAR::MemberData(const TMemberDesc& m) {
    if (!Stream_) return TUnBase::MemberData(m);
    if (m.DataOffset < 0 || !Stream_->skipTo(static_cast<std::uint64_t>(m.DataOffset)))
        MemberError(err::ReadError);
    return *Stream_;
}

void TUnTAR::RestoreAttributes(int fd, const TMemberDesc& m) {
    const unsigned mode = m.ExternalAttr & 0777;
    if (mode) plat::ConfinedDir::setNewFileMode(fd, mode);
}

void registerUnTAR(ExtractorTable& table) {
    table.add({atTAR, atTarGz, atTarBz2, atTarXz, atTarLz, atTarZst, atTarZ},
              [] { return std::unique_ptr<TUnBase>(new TUnTAR); });
}
