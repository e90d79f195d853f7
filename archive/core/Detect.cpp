// Archive type detection by content.
#include "archive/core/ArcRoot.h"

#include "platform/Endian.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/PeResources.h"

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

bool tarChecksumMatches(const std::uint8_t* block) {
    std::uint32_t stored = 0;
    for (int i = 148; i < 156; ++i)
        if (block[i] >= '0' && block[i] <= '7') stored = stored * 8 + (block[i] - '0');
    std::uint32_t sum = 0;
    for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32u : block[i];
    return sum == stored;
}

} // namespace

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

        // 1. Offsets announced in the executable's string table.
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

        // 2. Data right after the DOS image.
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

        // 3. A ZIP end record near the end of the file.
        if (ArcType_ == atUnknown) {
            std::int64_t w;
            if (ZipCmntBufSize_ + 23 <= ArchiveSize)
                w = ZipCmntBufSize_ + 23;
            else if (ZipCmntBufSize_ == 0)
                w = 23;
            else
                w = ArchiveSize - 76;
            if (w >= 22 && w <= ArchiveSize) {
                std::vector<std::uint8_t> win(static_cast<std::size_t>(w));
                std::int64_t base = ArchiveSize - w;
                if (readAt(base, win.data(), win.size())) {
                    for (std::int64_t i = w - 21; i >= 1; --i) {
                        if (i + 4 > w || le32(&win[static_cast<std::size_t>(i)]) != 0x06054B50)
                            continue;
                        std::uint8_t end[22], cen[46];
                        if (readAt(base + i, end, 22) && le32(end) == 0x06054B50 &&
                            readAt(le32(end + 16), cen, 46) && le32(cen) == 0x02014B50) {
                            ArchiveStart = le32(cen + 42);
                            ArcType_ = atZipExe;
                        }
                        break;
                    }
                }
            }
        }
    } else {
        ArcType_ = SignatureToArcType(0, le32(head), ArchiveFile_, ArchiveStart);
        std::string ext = plat::extractFileExt(ArchiveFile_);
        if (ArcType_ == atUnknown && ArchiveSize > 512 && upperEquals(ext, ".TAR")) {
            std::uint8_t block[512];
            if (readAt(0, block, 512)) {
                bool ok = true;
                if (block[156] == 'V') {
                    ArchiveStart = 513;
                    ok = readAt(512, block, 512);
                }
                if (ok && tarChecksumMatches(block))
                    ArcType_ = atTAR;
                else
                    ArchiveStart = 1;
            }
        }
    }
    if (!f.close()) RaiseError(ArchiveFile_, err::CloseError);
}
