#include "archive/zip/SfxJoin.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/format/ZipFormat.h"
#include "archive/zip/ZlExceptions.h"
#include "platform/Endian.h"

namespace {

using plat::le16;
using plat::le32;
using plat::le64;

constexpr std::size_t kChunk = 1 << 16;

bool readAt(TZlStream& s, std::int64_t pos, void* buf, std::size_t n) {
    if (pos < 0) return false;
    s.SetPosition(pos);
    auto* p = static_cast<std::uint8_t*>(buf);
    while (n) {
        const std::size_t got = s.Read(p, n);
        if (got == 0) return false;
        p += got;
        n -= got;
    }
    return true;
}

void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put64(std::uint8_t* p, std::uint64_t v) {
    put32(p, static_cast<std::uint32_t>(v));
    put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

void copy(TZlStream& from, std::int64_t pos, std::uint64_t n, TZlStream& to) {
    std::vector<std::uint8_t> buf(kChunk);
    while (n) {
        const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, kChunk));
        if (!readAt(from, pos, buf.data(), k)) throw EZlZipInvalid();
        to.WriteBuffer(buf.data(), k);
        pos += static_cast<std::int64_t>(k);
        n -= k;
    }
}

// Where the local-header offset stands inside a ZIP64 extra field, or
// npos when the record has none for it.
std::size_t zip64OffsetAt(const std::uint8_t* fixed, const std::vector<std::uint8_t>& extra) {
    std::size_t skip = 0;
    if (le32(fixed + 24) == zip::kSaturated32) skip += 8;
    if (le32(fixed + 20) == zip::kSaturated32) skip += 8;
    std::size_t i = 0;
    while (i + 4 <= extra.size()) {
        const std::uint16_t id = le16(&extra[i]), size = le16(&extra[i + 2]);
        if (id == zip::kZip64ExtraId)
            return skip + 8 <= size && i + 4 + skip + 8 <= extra.size() ? i + 4 + skip
                                                                        : std::string::npos;
        i += 4 + size;
    }
    return std::string::npos;
}

} // namespace

void ZlMakeSelfExtractor(TZlStream& Stub, TZlStream& Source, TZlStream& Target) {
    std::uint8_t mz[2] = {};
    if (!readAt(Stub, 0, mz, 2) || mz[0] != 'M' || mz[1] != 'Z') throw EZlZipInvalidStub();
    const std::int64_t stubSize = Stub.Size();
    const auto shift = static_cast<std::uint64_t>(stubSize);

    std::uint8_t pk[2] = {};
    if (!readAt(Source, 0, pk, 2) || pk[0] != 'P' || pk[1] != 'K') throw EZlZipInvalid();
    const std::int64_t size = Source.Size();
    auto read = [&Source](std::int64_t pos, void* buf, std::size_t n) {
        return readAt(Source, pos, buf, n);
    };
    const auto end = zip::findEndRecord(read, size);
    if (!end || end->DiskNumber != 0 || end->DirDisk != 0) throw EZlZipInvalid();
    const std::int64_t dir = static_cast<std::int64_t>(
        std::min<std::uint64_t>(end->DirOffset, static_cast<std::uint64_t>(end->DirEnd)));
    std::uint8_t sig[4];
    if (end->Entries != 0 && (!readAt(Source, dir, sig, 4) || le32(sig) != zip::kCentralSig))
        throw EZlZipInvalid();

    copy(Stub, 0, shift, Target);
    copy(Source, 0, static_cast<std::uint64_t>(dir), Target);

    // The central headers, their local-header offsets moved.
    std::int64_t pos = dir;
    std::vector<std::uint8_t> var;
    while (pos + static_cast<std::int64_t>(zip::kCentralSize) <= end->DirEnd) {
        std::uint8_t fixed[zip::kCentralSize];
        zip::CentralHeader h;
        if (!readAt(Source, pos, fixed, sizeof fixed) || !zip::parseCentral(fixed, h)) break;
        var.resize(h.VariableLength());
        if (!var.empty() && !readAt(Source, pos + static_cast<std::int64_t>(zip::kCentralSize),
                                    var.data(), var.size()))
            throw EZlZipInvalid();
        pos += static_cast<std::int64_t>(h.TotalLength());
        std::vector<std::uint8_t> extra(var.begin() + h.NameLength,
                                        var.begin() + h.NameLength + h.ExtraLength);
        const std::uint32_t raw = le32(fixed + 42);
        if (raw != zip::kSaturated32 && raw + shift < zip::kSaturated32) {
            put32(fixed + 42, static_cast<std::uint32_t>(raw + shift));
        } else if (const std::size_t at =
                       raw == zip::kSaturated32 ? zip64OffsetAt(fixed, extra) : std::string::npos;
                   at != std::string::npos) {
            put64(&var[h.NameLength + at], le64(&extra[at]) + shift);
        } else {
            // The offset no longer fits the record: written again with a
            // ZIP64 field for it.
            zip::applyZip64Extra(extra, h);
            h.LocalOffset += shift;
            std::vector<std::uint8_t> b;
            const auto* v = reinterpret_cast<const char*>(var.data());
            zip::appendCentral(
                b, h, std::string_view(v, h.NameLength),
                zip::withoutExtraBlocks(std::string_view(v + h.NameLength, h.ExtraLength),
                                        {zip::kZip64ExtraId}),
                std::string_view(v + h.NameLength + h.ExtraLength, h.CommentLength));
            Target.WriteBuffer(b.data(), b.size());
            continue;
        }
        Target.WriteBuffer(fixed, sizeof fixed);
        if (!var.empty()) Target.WriteBuffer(var.data(), var.size());
    }

    const std::uint64_t newDir = static_cast<std::uint64_t>(dir) + shift;
    if (end->Zip64) {
        // The ZIP64 end record and its locator, moved too; whatever else
        // stands between them and the end record is copied.
        std::vector<std::uint8_t> rest(static_cast<std::size_t>(end->Pos - pos));
        if (!rest.empty() && !readAt(Source, pos, rest.data(), rest.size())) throw EZlZipInvalid();
        const std::int64_t rec = end->DirEnd - pos;
        if (rec >= 0 && rec + static_cast<std::int64_t>(zip::kEnd64Size) <=
                            static_cast<std::int64_t>(rest.size()))
            put64(&rest[static_cast<std::size_t>(rec) + 48], newDir);
        const std::int64_t loc =
            static_cast<std::int64_t>(rest.size()) - static_cast<std::int64_t>(zip::kLocator64Size);
        if (loc >= 0 && le32(&rest[static_cast<std::size_t>(loc)]) == zip::kLocator64Sig)
            put64(&rest[static_cast<std::size_t>(loc) + 8],
                  le64(&rest[static_cast<std::size_t>(loc) + 8]) + shift);
        if (!rest.empty()) Target.WriteBuffer(rest.data(), rest.size());
        std::uint8_t e[zip::kEndSize];
        if (!readAt(Source, end->Pos, e, sizeof e)) throw EZlZipInvalid();
        if (le32(e + 16) != zip::kSaturated32)
            put32(e + 16, newDir >= zip::kSaturated32 ? zip::kSaturated32
                                                      : static_cast<std::uint32_t>(newDir));
        Target.WriteBuffer(e, sizeof e);
        if (!end->Comment.empty()) Target.WriteBuffer(end->Comment.data(), end->Comment.size());
        return;
    }
    // Anything between the directory and the end record (a digital
    // signature) is kept.
    if (end->Pos > pos) copy(Source, pos, static_cast<std::uint64_t>(end->Pos - pos), Target);
    zip::EndValues v;
    v.DiskNumber = end->DiskNumber;
    v.DirDisk = end->DirDisk;
    std::uint8_t e[zip::kEndSize];
    if (!readAt(Source, end->Pos, e, sizeof e)) throw EZlZipInvalid();
    v.EntriesOnDisk = le16(e + 8);
    v.Entries = end->Entries;
    v.DirSize = end->DirSize;
    v.DirOffset = newDir;
    std::vector<std::uint8_t> b;
    zip::appendEnd(b, v, end->Comment, static_cast<std::uint64_t>(Target.Position()));
    Target.WriteBuffer(b.data(), b.size());
}
