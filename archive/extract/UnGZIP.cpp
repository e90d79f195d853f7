#include "archive/extract/UnGZIP.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/core/Crc.h"
#include "archive/extract/Extractors.h"
#include "archive/extract/decoders/Gzip.h"
#include "archive/extract/decoders/Inflate.h"
#include "platform/Endian.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace {

TFramePolicy gzipPolicy() {
    TFramePolicy p;
    // Each member's CRC is checked as it ends; the frame sees the outcome.
    p.Verdict = TVerdict::AlwaysPass;
    p.OnDeclined = TFramePolicy::Declined::EndPass;
    p.Restores = TFramePolicy::Restore::Time;
    return p;
}

} // namespace

TUnGZIP::TUnGZIP(TComponent* AOwner) : TUnBase(AOwner, gzipPolicy()) {}

TUnGZIP::~TUnGZIP() = default;

void TUnGZIP::ExtractMembers() {
    const std::int64_t size = Archive_.size();
    if (size < 0) RaiseError(ArchiveFile_, err::ReadError);
    ArchiveLength_ = size;
    if (ArcType_ != atGZip) {
        // Today's compressors: one stream from the first byte, named after
        // the file; their own checks are the decoder's.
        std::uint8_t magic[gz::kModernMagicSize] = {};
        if (size < static_cast<std::int64_t>(sizeof magic) ||
            Archive_.readAt(0, magic, sizeof magic) != static_cast<std::int64_t>(sizeof magic))
            RaiseError(ArchiveFile_, err::HeaderIdError);
        TMemberDesc d;
        d.Method = gz::modernMethodCode(magic);
        if (d.Method == 0) RaiseError(ArchiveFile_, err::HeaderIdError);
        Activated();
        d.SizeKnown = false;
        d.PackedSize = static_cast<std::uint64_t>(size);
        const std::string own = plat::extractFileName(ArchiveFile_);
        d.StoredName = gz::nameFromArchive(own);
        if (d.StoredName == own) d.StoredName += ".out";
        d.ModificationTime = Archive_.modificationTime().value_or(0);
        d.ExistsDate = plat::unixToDos(d.ModificationTime);
        ProcessMember(d);
        return;
    }
    std::uint8_t head[3] = {};
    if (size < 2 || Archive_.readAt(0, head, 2) != 2) RaiseError(ArchiveFile_, err::HeaderIdError);
    const std::uint16_t magic = plat::le16(head);
    if (!gz::isKnown(magic)) RaiseError(ArchiveFile_, err::HeaderIdError);

    TMemberDesc d;
    d.SizeKnown = false;
    std::int64_t mtime = Archive_.modificationTime().value_or(0);
    if (gz::isGzip(magic)) {
        auto read = [this](std::int64_t pos, void* buf, std::size_t n) {
            return Archive_.readAt(pos, buf, n) == static_cast<std::int64_t>(n);
        };
        gz::Header h;
        switch (gz::readHeader(read, 0, size, h)) {
        case gz::Status::Ok:
            break;
        case gz::Status::HeaderCrcError:
            RaiseError(ArchiveFile_, err::HeaderCrcError);
        case gz::Status::Truncated:
            RaiseError(ArchiveFile_, err::ReadError);
        case gz::Status::NotGzip:
            RaiseError(ArchiveFile_, err::HeaderIdError);
        }
        if (h.Flags & gz::kFlagsUnknown) RaiseError(ArchiveFile_, err::UnknownFlags);
        Activated();
        if (h.Encrypted()) {
            // Early GZIP's encryption: nothing this program can open.
            ReportError(ArchiveFile_, "0", err::PasswordProtected);
            return;
        }
        d.StoredName = h.FileName();
        if (h.ModificationTime) mtime = h.ModificationTime;
        d.Method = gz::methodCode(magic, h.Method);
        d.DataOffset = h.Length;
        d.PackedSize = static_cast<std::uint64_t>(size - h.Length);
        if (h.Method == gz::kMethodStored)
            d.PackedSize -= std::min<std::uint64_t>(d.PackedSize, gz::kTrailerSize);
        d.Flags = h.Flags;
    } else {
        Activated();
        d.Method = gz::methodCode(magic, 0);
        // compress keeps its widest code and block mode in the byte after
        // the magic; the codes follow.
        const std::int64_t start = magic == gz::kCompress ? 3 : 2;
        if (magic == gz::kCompress && (size < 3 || Archive_.readAt(2, head + 2, 1) != 1))
            RaiseError(ArchiveFile_, err::BadFileHeader);
        d.Flags = head[2];
        d.DataOffset = start;
        d.PackedSize = static_cast<std::uint64_t>(std::max<std::int64_t>(size - start, 0));
    }
    if (d.StoredName.empty()) {
        const std::string own = plat::extractFileName(ArchiveFile_);
        d.StoredName = gz::nameFromArchive(own);
        // Without an extension to drop, the name would be the archive's own.
        if (d.StoredName == own) d.StoredName += ".out";
    }
    d.ModificationTime = mtime;
    d.ExistsDate = plat::unixToDos(mtime);
    ProcessMember(d);
}

void TUnGZIP::DecodeMember(TMemberDesc& m, dec::Input& in, dec::Sink& out) {
    if (m.Method == gz::kMethodDeflate) {
        DecodeGzip(m, in, out);
        return;
    }
    if (m.Method != gz::kMethodStored) {
        TUnBase::DecodeMember(m, in, out);
        return;
    }
    // A stored member: its bytes, then the trailer.
    std::uint32_t crc = 0xFFFFFFFFu;
    std::uint64_t count = 0;
    const std::uint8_t* data;
    while (std::size_t n = in.takeBlock(data)) {
        Crc32Update(data, n, crc);
        count += n;
        dec::writeOrFail(out, data, n);
    }
    std::uint8_t trailer[gz::kTrailerSize];
    if (Archive_.readAt(ArchiveLength_ - 8, trailer, 8) != 8 ||
        plat::le32(trailer) != (crc ^ 0xFFFFFFFFu) ||
        plat::le32(trailer + 4) != static_cast<std::uint32_t>(count))
        m.DataFailed = true;
}

// Member after member: each Deflate stream, its trailer and the next
// header, as long as one follows.
void TUnGZIP::DecodeGzip(TMemberDesc& m, dec::Input& in, dec::Sink& out) {
    if (!Inflater_) Inflater_ = std::make_unique<Inflater>();
    if (!dec::inflateGzipMembers(*Inflater_, in, out, false)) m.DataFailed = true;
}

void registerUnGZIP(ExtractorTable& table) {
    table.add({atGZip, atBzip2, atXz, atLzip, atZstd},
              [] { return std::unique_ptr<TUnBase>(new TUnGZIP); });
}
