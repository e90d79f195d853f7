#include "archive/extract/UnZIP.h"

#include <algorithm>
#include <vector>

#include "archive/extract/LegacyDecoders.h"
#include "platform/Endian.h"
#include "platform/Utf.h"

namespace {

constexpr std::uint32_t kEndSig = 0x06054B50;
constexpr std::uint32_t kCentralSig = 0x02014B50;
constexpr std::uint32_t kLocalSig = 0x04034B50;
constexpr std::uint32_t kZip64LocatorSig = 0x07064B50;
constexpr std::uint32_t kZip64EndSig = 0x06064B50;
constexpr std::int64_t kEndScan = 22 + 65535;

using plat::le16;
using plat::le32;
using plat::le64;

TFramePolicy zipPolicy() {
    TFramePolicy p;
    p.Verdict = TVerdict::Crc32;
    p.RestoreTime = true;
    p.RestoreAttributes = true;
    p.NothingToDoAtEnd = true;
    p.EndForDeclined = true;
    p.HasPasswords = true;
    return p;
}

} // namespace

TUnZIP::TUnZIP(TComponent* AOwner) : TUnBase(AOwner, zipPolicy()) {}

TUnZIP::~TUnZIP() = default;

bool TUnZIP::AcceptsArcType(TArcType t) const {
    return t == atZIP || t == atZipExe || t == atZip250 || t == atZip250Exe;
}

bool TUnZIP::IsSupportedMethod(std::uint16_t method) {
    return method <= 8 && method != 7;
}

void TUnZIP::ExtractMembers() {
    const std::int64_t size = Archive_.size();
    if (size < 0) RaiseError(ArchiveFile_, err::ReadError);
    ArchiveSize = size;

    // The end record, searched backwards over every place an archive
    // comment can put it (an empty archive is nothing but its end record).
    const std::int64_t window = std::min<std::int64_t>(size, kEndScan);
    if (window < 22) RaiseError(ArchiveFile_, err::UnknownFileType);
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(window));
    if (Archive_.readAt(size - window, tail.data(), tail.size()) != window)
        RaiseError(ArchiveFile_, err::ReadError);
    std::int64_t hit = -1;
    for (std::int64_t o = window - 22; o >= 0; --o)
        if (le32(&tail[static_cast<std::size_t>(o)]) == kEndSig) {
            hit = o;
            break;
        }
    if (hit < 0) RaiseError(ArchiveFile_, err::UnknownFileType);
    const std::uint8_t* end = &tail[static_cast<std::size_t>(hit)];
    const std::int64_t endPos = size - window + hit;
    std::uint64_t cdSize = le32(end + 12);
    std::uint64_t cdOffset = le32(end + 16);
    std::int64_t cdEnd = endPos;

    if ((cdOffset == 0xFFFFFFFFu || cdSize == 0xFFFFFFFFu || le16(end + 10) == 0xFFFF) &&
        endPos >= 20) {
        std::uint8_t loc[20];
        if (Archive_.readAt(endPos - 20, loc, 20) == 20 && le32(loc) == kZip64LocatorSig) {
            const std::int64_t guesses[2] = {
                static_cast<std::int64_t>(std::min<std::uint64_t>(le64(loc + 8), INT64_MAX)),
                endPos - 20 - 56};
            for (std::int64_t at : guesses) {
                std::uint8_t rec[56];
                if (at >= 0 && Archive_.readAt(at, rec, 56) == 56 && le32(rec) == kZip64EndSig) {
                    cdSize = le64(rec + 40);
                    cdOffset = le64(rec + 48);
                    cdEnd = at;
                    break;
                }
            }
        }
    }

    // Data in front of the ZIP (a stub): the directory ends where the end
    // record begins, so its size says how far the stored offsets are off.
    // Offsets already adjusted to the whole file give 0 here.
    std::vector<std::int64_t> starts;
    if (cdSize <= static_cast<std::uint64_t>(cdEnd) &&
        cdOffset <= static_cast<std::uint64_t>(cdEnd) - cdSize)
        starts.push_back(cdEnd - static_cast<std::int64_t>(cdSize) -
                         static_cast<std::int64_t>(cdOffset));
    if (ArchiveStart > 1) starts.push_back(ArchiveStart - 1);
    starts.push_back(0);
    std::uint8_t hdr[46];
    bool found = false;
    for (std::int64_t s : starts) {
        if (cdOffset > static_cast<std::uint64_t>(size)) break;
        std::int64_t at = static_cast<std::int64_t>(cdOffset) + s;
        if (Archive_.readAt(at, hdr, 46) == 46 && le32(hdr) == kCentralSig) {
            StartOffset_ = s;
            found = true;
            break;
        }
    }
    // An empty archive has no directory to find; the walk below ends at once.
    if (!found && cdSize == 0 && le16(end + 10) == 0) {
        StartOffset_ = 0;
        found = true;
    }
    if (!found) RaiseError(ArchiveFile_, err::HeaderIdError);
    Activated();

    // The directory is read through a handle of its own, so that its reads
    // and the members' reads each stay sequential in their buffers.
    plat::File dir;
    if (!dir.open(ArchiveFile_, plat::File::Mode::Read)) RaiseError(ArchiveFile_, err::ReadError);
    std::int64_t pos = static_cast<std::int64_t>(cdOffset) + StartOffset_;
    std::vector<std::uint8_t> var;
    while (pos < size) {
        if (!dir.seek(pos) || !dir.readExact(hdr, 46) || le32(hdr) != kCentralSig) break;
        const std::size_t n = le16(hdr + 28), m = le16(hdr + 30), k = le16(hdr + 32);
        var.resize(n + m);
        if (!dir.readExact(var.data(), var.size())) RaiseError(ArchiveFile_, err::ReadError);

        TMemberDesc d;
        std::string raw(reinterpret_cast<const char*>(var.data()), n);
        raw.resize(std::min(raw.size(), raw.find('\0')));
        d.StoredName = plat::decodeStoredName(raw);
        std::replace(d.StoredName.begin(), d.StoredName.end(), '\\', '/');
        d.VersionMadeBy = le16(hdr + 4);
        d.Flags = le16(hdr + 8);
        d.Method = le16(hdr + 10);
        d.DosDateTime = le32(hdr + 12);
        d.ExistsDate = d.DosDateTime;
        d.StoredCrc = le32(hdr + 16);
        d.PackedSize = le32(hdr + 20);
        d.UnpackedSize = le32(hdr + 24);
        d.ExternalAttr = le32(hdr + 38);
        std::uint64_t local = le32(hdr + 42);

        // ZIP64 extra field: only the values saturated in the record follow.
        for (std::size_t e = n; e + 4 <= n + m;) {
            std::uint16_t id = le16(&var[e]);
            std::size_t len = le16(&var[e + 2]);
            std::size_t q = e + 4, qe = std::min(q + len, n + m);
            if (id == 0x0001) {
                if (d.UnpackedSize == 0xFFFFFFFFu && q + 8 <= qe)
                    d.UnpackedSize = le64(&var[q]), q += 8;
                if (d.PackedSize == 0xFFFFFFFFu && q + 8 <= qe)
                    d.PackedSize = le64(&var[q]), q += 8;
                if (local == 0xFFFFFFFFu && q + 8 <= qe) local = le64(&var[q]);
                break;
            }
            e = q + len;
        }
        LocalOffset_ =
            static_cast<std::int64_t>(std::min<std::uint64_t>(local, INT64_MAX / 2)) + StartOffset_;
        d.IsDirectory = (d.ExternalAttr & 0x10) != 0;

        if (ProcessMember(d) == Next::Stop) break;
        pos += static_cast<std::int64_t>(46 + n + m + k);
    }
}

void TUnZIP::MemberSelected(TMemberDesc& d) {
    std::uint8_t h[30];
    // Some writers leave the signature's first bytes empty.
    auto localAt = [&](std::int64_t at) {
        return at >= 0 && Archive_.seek(at) && Archive_.readExact(h, 30) &&
               (le32(h) == kLocalSig || (h[0] == 0 && h[1] == 0 && h[2] == 0 && h[3] == 0x50));
    };
    if (!localAt(LocalOffset_)) {
        // A directory size that is off makes the start offset wrong for
        // the members although their own offsets are right.
        if (StartOffset_ == 0 || !localAt(LocalOffset_ - StartOffset_))
            MemberError(err::InconsistentLocalHeader);
        LocalOffset_ -= StartOffset_;
    }
    const std::uint16_t flags = le16(h + 6);
    const std::uint16_t time = le16(h + 10);
    d.Encrypted = flags & 1;
    d.ExistsDate = static_cast<std::uint32_t>(le16(h + 12)) << 16 | time;
    d.PasswordCheck = (flags & 8) ? static_cast<std::uint8_t>(time >> 8)
                                  : static_cast<std::uint8_t>(d.StoredCrc >> 24);
    d.DataOffset = LocalOffset_ + 30 + le16(h + 26) + le16(h + 28);
}

void TUnZIP::DecodeMember(TMemberDesc& m, unz::MemberInput& in, unz::OutputSink& out) {
    switch (m.Method) {
    case 0:
        unz::CopyStored(in, out);
        break;
    case 1:
        unz::Unshrink(in, out);
        break;
    case 2:
    case 3:
    case 4:
    case 5:
        unz::Unreduce(in, out, m.Method - 1, m.UnpackedSize);
        break;
    case 6:
        unz::Explode(in, out, m.Flags, m.UnpackedSize);
        break;
    case 8:
        InflateMember(in, out);
        break;
    default:
        DecoderError(err::UnsupportedMethod);
    }
}
