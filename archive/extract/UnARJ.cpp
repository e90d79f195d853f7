#include "archive/extract/UnARJ.h"

#include "archive/core/Crc.h"
#include "archive/extract/Extractors.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace {

// The main header is looked for this far from where the archive starts.
constexpr std::int64_t kSearchSpan = 25000;
// Versions of ARJ beyond this one may use what this extractor cannot read.
constexpr std::uint8_t kMaxMinVersion = 3;
// ExternalAttr then holds Unix permissions.
constexpr std::uint16_t kUnixHost = 1;

TFramePolicy arjPolicy() {
    TFramePolicy p;
    p.Verdict = TVerdict::Crc32;
    p.OnUnselected = TFramePolicy::Unselected::Reported;
    p.OnDeclined = TFramePolicy::Declined::Reported;
    p.OnCreateFailure = TFramePolicy::CreateFailure::SkipReported;
    p.EventOrder = TFramePolicy::Order::BeginThenExists;
    p.Restores = TFramePolicy::Restore::TimeAndAttributes;
    p.NothingToDoAtEnd = false;
    return p;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFF;
    Crc32Update(data, n, c);
    return c ^ 0xFFFFFFFF;
}

// Sequential reads of a volume from a part's data onward.
class FileSource : public dec::Source {
public:
    explicit FileSource(plat::File& f) : f_(f) {}
    std::int64_t read(std::uint8_t* buf, std::size_t n) override { return f_.read(buf, n); }

private:
    plat::File& f_;
};

} // namespace

// Passes a split member's parts on to the output and checks each part
// against its own header: its CRC-32, its size and where it starts.
class TUnARJ::PartSink : public dec::Sink {
public:
    explicit PartSink(dec::Sink& out) : out_(out) {}
    bool write(const std::uint8_t* buf, std::size_t n) override {
        Crc32Update(buf, n, part_);
        Crc32Update(buf, n, total_);
        partSize_ += n;
        return out_.write(buf, n);
    }
    void start(const arj::Header& h) {
        if ((h.Flags & arj::kFlagExtFile) && h.ExtFilePos != written()) ok_ = false;
        part_ = 0xFFFFFFFF;
        partSize_ = 0;
    }
    void end(const arj::Header& h) {
        if ((part_ ^ 0xFFFFFFFF) != h.Crc ||
            partSize_ != static_cast<std::uint64_t>(h.UnpackedSize))
            ok_ = false;
        written_ += partSize_;
    }
    bool ok() const { return ok_; }
    std::uint32_t total() const { return total_ ^ 0xFFFFFFFF; }

private:
    std::uint64_t written() const { return written_; }
    dec::Sink& out_;
    std::uint32_t part_ = 0xFFFFFFFF;
    std::uint32_t total_ = 0xFFFFFFFF;
    std::uint64_t partSize_ = 0;
    std::uint64_t written_ = 0;
    bool ok_ = true;
};

TUnARJ::TUnARJ(TComponent* AOwner) : TUnBase(AOwner, arjPolicy()) {}

arj::Status TUnARJ::ReadHeader(std::int64_t pos, arj::Header& h) {
    auto read = [this](std::int64_t p, void* buf, std::size_t n) {
        return Archive_.readAt(p, buf, n) == static_cast<std::int64_t>(n);
    };
    return arj::readHeader(read, pos, Size_, h, crc32);
}

void TUnARJ::CheckHeader(arj::Status s, const arj::Header& h) {
    if (s == arj::Status::End) return;
    if (s != arj::Status::Ok || h.BasicSize > arj::kMaxBasic || h.NextPos() > Size_)
        RaiseError(ArchiveFile_, err::BadFileHeader, VolumeId());
    if (!h.CrcOk) RaiseError(ArchiveFile_, err::HeaderCrcError, VolumeId());
}

void TUnARJ::ExtractMembers() {
    Size_ = Archive_.size();
    if (Size_ < 0) RaiseError(ArchiveFile_, err::ReadError);
    FirstVolume_ = ArchiveFile_;
    Volume_ = arj::volumeNumberOf(ArchiveFile_);
    auto read = [this](std::int64_t p, void* buf, std::size_t n) {
        return Archive_.readAt(p, buf, n) == static_cast<std::int64_t>(n);
    };
    const std::int64_t start =
        arj::findMainHeader(read, ArchiveStart - 1, Size_, kSearchSpan, crc32);
    arj::Header main;
    if (start < 0 || ReadHeader(start, main) != arj::Status::Ok)
        RaiseError(ArchiveFile_, err::UnsupportedArcType);
    Activated();

    std::int64_t pos = main.DataPos;
    while (!Cancel()) {
        arj::Header h;
        const arj::Status s = ReadHeader(pos, h);
        if (s == arj::Status::End) break;
        CheckHeader(s, h);
        Current_ = h;
        Consumed_ = false;

        TMemberDesc d;
        d.StoredName = fmt::storedName(h.Name);
        if (h.FileType == arj::kTypeFolder)
            d.Type = TMemberDesc::Kind::Folder;
        else if (h.FileType == arj::kTypeLabel)
            d.Type = TMemberDesc::Kind::Label;
        d.Method = h.Method;
        d.ModificationTime = h.UnixModificationTime();
        d.ExistsDate = h.DosDateTime();
        d.StoredCrc = h.Crc;
        d.PackedSize = static_cast<std::uint64_t>(h.PackedSize);
        d.UnpackedSize = static_cast<std::uint64_t>(h.UnpackedSize);
        // A split member's size and check are its parts'.
        d.SizeKnown = !h.Continues();
        d.DataOffset = h.DataPos;
        d.VersionMadeBy = h.Version;
        d.ExternalAttr = h.AccessMode;
        if (h.HostOs == arj::kHostUnix) d.Flags = kUnixHost;

        const Next next = ProcessMember(d);
        // A member passed over still has its parts in the next volumes,
        // where the walk goes on.
        if (next == Next::Continue && Current_.Continues() && !Consumed_) {
            arj::Header part = Current_;
            while (part.Continues()) NextVolume(part);
            Current_ = part;
        }
        if (next == Next::Stop) break;
        pos = Current_.NextPos();
    }
}

void TUnARJ::CheckDecodable(const arj::Header& h) {
    if (h.MinVersion > kMaxMinVersion) MemberError(err::VersionError);
    if (h.Garbled()) RaiseError(FileName, err::PasswordProtected, VolumeId());
    if (h.Method > 4 || (h.Method == 4 && h.Version == 1))
        RaiseError(FileName, err::UnsupportedMethod, VolumeId());
    if (h.FileType != arj::kTypeBinary && h.FileType != arj::kTypeText)
        RaiseError(FileName, err::UnknownFileType, VolumeId());
}

void TUnARJ::MemberSelected(TMemberDesc&) {
    CheckDecodable(Current_);
}

void TUnARJ::DecodeMember(TMemberDesc& m, dec::Input& in, dec::Sink& out) {
    Consumed_ = true;
    if (!Current_.Continues()) {
        TUnBase::DecodeMember(m, in, out);
        return;
    }
    PartSink parts(out);
    arj::Header part = Current_;
    auto decodePart = [&](dec::Input& input) {
        const fmt::MethodInfo* method = fmt::findMethod(Methods(), part.Method);
        dec::Decoder* d = method ? Decoders().get(method->Decoder) : nullptr;
        if (!d) DecoderError(err::UnsupportedMethod);
        dec::Params p;
        p.Size = static_cast<std::uint64_t>(part.UnpackedSize);
        p.Variant = method->Variant;
        parts.start(part);
        d->decode(input, parts, p);
        parts.end(part);
    };
    decodePart(in);
    while (part.Continues()) {
        NextVolume(part);
        CheckDecodable(part);
        if (!Archive_.seek(part.DataPos)) RaiseError(FileName, err::SeekError, VolumeId());
        FileSource src(Archive_);
        dec::Input next(src, static_cast<std::uint64_t>(part.PackedSize), nullptr, this);
        decodePart(next);
    }
    Current_ = part;
    // The frame compares the whole output's check with this one.
    m.StoredCrc = parts.ok() ? parts.total() : ~parts.total();
}

void TUnARJ::NextVolume(arj::Header& part) {
    ++Volume_;
    if (Volume_ > 999) RaiseError(ArchiveFile_, err::MaxVolumes, VolumeId());
    const std::string path = arj::volumePath(FirstVolume_, Volume_);
    if (!plat::fileExists(path)) {
        // The owner may bring the volume (a disk) in now.
        ReportError(path, VolumeId(), err::CabNextVolume);
        if (!plat::fileExists(path)) {
            Archive_.close();
            Archive_.open(FirstVolume_, plat::File::Mode::Read);
            RaiseError(path, err::FileNotFound, VolumeId());
        }
    }
    if (!Archive_.close()) RaiseError(ArchiveFile_, err::CloseError, VolumeId());
    if (!Archive_.open(path, plat::File::Mode::Read)) RaiseError(path, err::OpenError, VolumeId());
    Size_ = Archive_.size();
    if (Size_ < 0) RaiseError(path, err::ReadError, VolumeId());

    arj::Header main, next;
    if (ReadHeader(0, main) != arj::Status::Ok) RaiseError(path, err::BadFileHeader, VolumeId());
    const arj::Status s = ReadHeader(main.DataPos, next);
    // The part must be there, and be the same member's.
    if (s != arj::Status::Ok || next.Name != part.Name)
        RaiseError(path, err::BadFileHeader, VolumeId());
    CheckHeader(s, next);
    part = next;
}

void TUnARJ::RestoreAttributes(int fd, const TMemberDesc& m) {
    if (m.Flags & kUnixHost)
        plat::ConfinedDir::setNewFileMode(fd, m.ExternalAttr & 0777);
    else if (m.ExternalAttr & plat::faReadOnly)
        plat::ConfinedDir::setNewFileMode(fd, 0444);
}

void registerUnARJ(ExtractorTable& table) {
    table.add({atARJ, atArjExe}, [] { return std::unique_ptr<TUnBase>(new TUnARJ); });
}
