#include "archive/extract/UnGZIP.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/core/Crc.h"
#include "archive/extract/Extractors.h"
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

// A member's compressed bytes, handed to the inflater in chunks; what the
// inflater fetched beyond its stream's end can be given back, so that the
// trailer and the next member are read from where the stream really ended.
class PushbackStream {
public:
    explicit PushbackStream(dec::Input& in) : in_(in), buf_(kKeep + dec::kBlockSize) {}

    std::ptrdiff_t give(std::uint8_t* dst, std::size_t cap) {
        if (pos_ == end_ && !refill()) return 0;
        const std::size_t n = std::min(cap, end_ - pos_);
        std::memcpy(dst, buf_.data() + pos_, n);
        pos_ += n;
        return static_cast<std::ptrdiff_t>(n);
    }
    // Gives back the last n bytes handed out (n never exceeds what the
    // inflater holds: one chunk and a few bytes).
    void unread(std::size_t n) { pos_ -= std::min(n, pos_); }
    int next() {
        if (pos_ == end_ && !refill()) return -1;
        return buf_[pos_++];
    }
    bool read(std::uint8_t* dst, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const int c = next();
            if (c < 0) return false;
            dst[i] = static_cast<std::uint8_t>(c);
        }
        return true;
    }

private:
    // Bytes handed out that stay available to be given back.
    static constexpr std::size_t kKeep = 2 * dec::kBlockSize;

    bool refill() {
        const std::size_t keep = std::min(end_, kKeep);
        std::memmove(buf_.data(), buf_.data() + end_ - keep, keep);
        pos_ = end_ = keep;
        const std::size_t got = in_.read(buf_.data() + end_, buf_.size() - end_);
        end_ += got;
        return got > 0;
    }

    dec::Input& in_;
    std::vector<std::uint8_t> buf_;
    std::size_t pos_ = 0, end_ = 0;
};

} // namespace

TUnGZIP::TUnGZIP(TComponent* AOwner) : TUnBase(AOwner, gzipPolicy()) {}

TUnGZIP::~TUnGZIP() = default;

void TUnGZIP::ExtractMembers() {
    const std::int64_t size = Archive_.size();
    if (size < 0) RaiseError(ArchiveFile_, err::ReadError);
    ArchiveLength_ = size;
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

// Member after member: each Deflate stream, its trailer (CRC-32 and length
// of that member's data), and the next header, as long as one follows.
// Zeros or other bytes behind the last member are not data and are left.
void TUnGZIP::DecodeGzip(TMemberDesc& m, dec::Input& in, dec::Sink& out) {
    if (!Inflater_) Inflater_ = std::make_unique<Inflater>();
    Inflater& inf = *Inflater_;
    PushbackStream stream(in);
    std::uint32_t crc = 0;
    std::uint64_t count = 0;
    inf.Input = [&](std::uint8_t* buf, std::size_t cap) { return stream.give(buf, cap); };
    inf.Output = [&](const std::uint8_t* data, std::size_t n) {
        Crc32Update(data, n, crc);
        count += n;
        return out.write(data, n);
    };
    struct Reset {
        Inflater& inf;
        ~Reset() {
            inf.Input = nullptr;
            inf.Output = nullptr;
        }
    } reset{inf};

    for (;;) {
        crc = 0xFFFFFFFFu;
        count = 0;
        if (const int rc = inf.Inflate()) dec::fail(rc);
        stream.unread(inf.UnusedInput());
        std::uint8_t trailer[gz::kTrailerSize];
        if (!stream.read(trailer, sizeof trailer) || plat::le32(trailer) != (crc ^ 0xFFFFFFFFu) ||
            plat::le32(trailer + 4) != static_cast<std::uint32_t>(count)) {
            m.DataFailed = true;
            return;
        }
        // Another member?
        const int b0 = stream.next();
        if (b0 < 0) break;
        const int b1 = stream.next();
        if (b1 < 0 || !gz::isGzip(static_cast<std::uint16_t>(b0 | b1 << 8))) break;
        stream.unread(2);
        gz::Header h;
        if (gz::parseHeader([&] { return stream.next(); }, h) != gz::Status::Ok ||
            h.Method != gz::kMethodDeflate ||
            (h.Flags & (gz::kFlagsUnknown | gz::kFlagEncrypted))) {
            m.DataFailed = true;
            return;
        }
    }
    in.finish();
}

void registerUnGZIP(ExtractorTable& table) {
    table.add({atGZip}, [] { return std::unique_ptr<TUnBase>(new TUnGZIP); });
}
