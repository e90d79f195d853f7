// Archive type detection by content.
#include "archive/core/ArcRoot.h"

#include "archive/format/GzipFormat.h"
#include "archive/format/TarFormat.h"
#include "archive/format/ZipFormat.h"
#include "platform/Endian.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/PeResources.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

using plat::le16;
using plat::le32;

bool upperEquals(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

// A number as the string table announces it: at most five characters.
bool parseAnnouncedOffset(std::string s, std::int64_t& value) {
    if (s.size() > 5) s.resize(5);
    if (s.empty()) return false;
    std::size_t i = 0;
    bool neg = false;
    if (s[0] == '-' || s[0] == '+') {
        neg = s[0] == '-';
        i = 1;
    }
    if (i >= s.size()) return false;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    value = neg ? -v : v;
    return true;
}

TTarballProbe& tarballProbe() {
    static TTarballProbe probe = nullptr;
    return probe;
}

// The kind of a single compressed file that the signature table does not
// know, from its magic; atUnknown for anything else.
TArcType modernCompressedType(const std::uint8_t* head) {
    switch (gz::modernMethodCode(head)) {
    case gz::kCodeBzip2:
        return atBzip2;
    case gz::kCodeXz:
        return atXz;
    case gz::kCodeLzip:
        return atLzip;
    case gz::kCodeZstd:
        return atZstd;
    default:
        return atUnknown;
    }
}

} // namespace

void SetTarballProbe(TTarballProbe probe) {
    tarballProbe() = probe;
}

TArcType TZipCommon::SignatureToArcType(int InExecutable, std::uint32_t Signature,
                                        const std::string&, std::int64_t& Start) {
    if (InExecutable != 0 && InExecutable != 1) return atNA;
    const bool exe = InExecutable == 1;
    const std::uint16_t lo = Signature & 0xFFFF, hi = Signature >> 16;
    if (Signature == 0x04034B50) return exe ? atZipExe : atZIP;
    // An empty ZIP archive is nothing but its end record.
    if (Signature == 0x06054B50 && !exe) return atZIP;
    if (Signature == 0x4643534D) return exe ? atNA : atCAB;
    if (Signature == 0x50000000) return exe ? atZip250Exe : atZip250;
    if (Signature == 0x07054842) return exe ? atBHExe : atBH;
    if (lo == 0x4148) return exe ? atNA : atHA;
    // An LHA level-0 header of 31 bytes begins with 0x1F too; its method
    // ("-lh5-", "-lz4-") tells it from the 0x1F compressors.
    if ((lo & 0xFF) == 0x1F && hi == 0x6C2D) return exe ? atLhaExe : atLHA;
    if (lo == 0x8B1F || lo == 0x9D1F || lo == 0x9E1F || lo == 0x1E1F || lo == 0xA01F)
        return exe ? atNA : atGZip;
    if (lo == 0xEA60) return exe ? atArjExe : atARJ;
    if (lo == 0x4F5A) return exe ? atNA : atZOO;
    if (hi == 0x6C2D) return exe ? atLhaExe : atLHA;
    if (lo == 0x6152) return exe ? atRarExe : atRAR;
    if (lo == 0x0A1A || lo == 0x0B1A) return exe ? atPakExe : atPAK;
    if (lo == 0x081A || lo == 0x091A) return exe ? atArcExe : atARC;
    // ARC archives whose first member is stored, packed, squeezed or
    // crunched by the older methods: the marker, a method of 1 to 7 and a
    // printable first name character, so that a lone 0x1A byte is not enough.
    if ((lo & 0xFF) == 0x1A && (lo >> 8) >= 1 && (lo >> 8) <= 7) {
        const unsigned nameStart = hi & 0xFF;
        if (nameStart > 0x20 && nameStart < 0x7F) return exe ? atArcExe : atARC;
    }
    if (lo == 0x92B7 || lo == 0xDFB7) {
        Start = 7717;
        return atArcExe;
    }
    return atUnknown;
}

void TZipCommon::DetectArcType() {
    if (ArchiveFile_.empty()) {
        ArcType_ = atNA;
        return;
    }
    ArcType_ = atNA;
    plat::File f;
    if (!f.open(ArchiveFile_, plat::File::Mode::Read)) {
        ArcType_ = atFileError;
        return;
    }
    ArchiveStart = 1;
    ArchiveSize = f.size();
    if (ArchiveSize < 0) {
        ArchiveSize = 0;
        f.close();
        return;
    }
    auto mtime = f.modificationTime();
    ArchiveDate = mtime ? plat::unixToDos(*mtime) : plat::kDosEpoch;

    auto readAt = [&](std::int64_t pos, std::uint8_t* buf, std::size_t n) {
        return pos >= 0 && f.readAt(pos, buf, n) == static_cast<std::int64_t>(n);
    };

    std::uint8_t head[6];
    if (ArchiveSize < 6 || !readAt(0, head, 6)) {
        ArcType_ = atFileError;
    } else if (head[0] == 'M' && head[1] == 'Z') {
        ArcType_ = atUnknown;
        SfxZipOffset = 0;

        // Offsets announced in the executable's string table.
        if (auto strings = plat::readPeStrings(ArchiveFile_, 1, 4)) {
            for (const std::string& s : *strings) {
                std::int64_t pos;
                if (!parseAnnouncedOffset(s, pos)) break;
                ArchiveStart = pos;
                if (pos >= ArchiveSize) break;
                std::uint8_t sig[4];
                if (pos < 0) continue;
                if (!readAt(pos, sig, 4)) continue;
                ArcType_ = SignatureToArcType(1, le32(sig), ArchiveFile_, ArchiveStart);
                if (ArcType_ != atUnknown) {
                    if (isZipType(ArcType_)) SfxZipOffset = ArchiveStart;
                    ++ArchiveStart;
                    break;
                }
            }
        }

        // Data right after the DOS image.
        if (ArcType_ == atUnknown) {
            std::int64_t lastPage = le16(head + 2), pages = le16(head + 4);
            std::int64_t e = lastPage == 0 ? pages * 512 : (pages - 1) * 512 + lastPage;
            std::uint8_t sig[4];
            if (e >= 0 && e < ArchiveSize && readAt(e, sig, 4)) {
                ArchiveStart = (sig[2] == 0x60 && sig[3] == 0xEA) ? e + 3 : e + 1;
                if (readAt(ArchiveStart - 1, sig, 4))
                    ArcType_ = SignatureToArcType(1, le32(sig), ArchiveFile_, ArchiveStart);
            }
        }

        // A ZIP end record near the end of the file, found by the same rule
        // the lister and the extractor use.
        if (ArcType_ == atUnknown) {
            auto zipRead = [&](std::int64_t pos, void* buf, std::size_t n) {
                return readAt(pos, static_cast<std::uint8_t*>(buf), n);
            };
            zip::Directory dir;
            std::uint8_t cen[zip::kCentralSize];
            zip::CentralHeader first;
            if (zip::locateDirectory(zipRead, ArchiveSize, 0, dir) == zip::DirStatus::Ok &&
                dir.FirstCentral >= 0 && readAt(dir.FirstCentral, cen, sizeof cen) &&
                zip::parseCentral(cen, first)) {
                ArchiveStart = static_cast<std::int64_t>(std::min<std::uint64_t>(
                                   first.LocalOffset, std::uint64_t{1} << 60)) +
                               dir.OffsetDelta;
                ArcType_ = atZipExe;
            }
        }
    } else {
        ArcType_ = SignatureToArcType(0, le32(head), ArchiveFile_, ArchiveStart);
        if (ArcType_ == atUnknown) ArcType_ = modernCompressedType(head);
        // A compressed file that decodes to a TAR archive is one.
        if (isCompressedFileType(ArcType_) && tarballProbe()) {
            const std::uint16_t magic = le16(head);
            const TArcType tarType = magic == gz::kCompress ? atTarZ
                                     : ArcType_ == atGZip && !gz::isGzip(magic)
                                         ? atUnknown
                                         : tarballTypeOf(ArcType_);
            if (tarType != atUnknown && tarballProbe()(ArchiveFile_, tarType)) ArcType_ = tarType;
        }
        std::string ext = plat::extractFileExt(ArchiveFile_);
        if (ArcType_ == atUnknown && ArchiveSize > 512 && upperEquals(ext, ".TAR")) {
            std::uint8_t block[512];
            if (readAt(0, block, 512)) {
                bool ok = true;
                if (block[156] == 'V') {
                    ArchiveStart = 513;
                    ok = readAt(512, block, 512);
                }
                if (ok && tar::checksumOk(block))
                    ArcType_ = atTAR;
                else
                    ArchiveStart = 1;
            }
        }
    }
    if (!f.close()) RaiseError(ArchiveFile_, err::CloseError);
}
