#include "archive/list/ArcLister.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "archive/core/MatchSpec.h"
#include "archive/extract/DecodedStream.h"
#include "archive/format/ArcFormat.h"
#include "archive/format/ArjFormat.h"
#include "archive/format/BhFormat.h"
#include "archive/format/CabFormat.h"
#include "archive/format/GzipFormat.h"
#include "archive/format/HaFormat.h"
#include "archive/format/LhaFormat.h"
#include "archive/format/RarFormat.h"
#include "archive/format/TarFormat.h"
#include "archive/format/ZipFormat.h"
#include "archive/format/ZooFormat.h"
#include "archive/list/DirectoryReader.h"
#include "platform/FileSystem.h"
#include "platform/Utf.h"

std::uint8_t CalcRatio(std::int64_t Packed, std::int64_t Unpacked) {
    if (Packed <= 0 || Unpacked <= 0 || Unpacked <= Packed) return 0;
    if (Unpacked - Packed > 100000) {
        Packed /= 100;
        Unpacked /= 100;
    }
    // Wide arithmetic: sizes can exceed what 32 bits once held.
    const auto wide = static_cast<__int128>(Unpacked - Packed) * 100 / Unpacked;
    auto r = static_cast<std::uint8_t>(wide);
    if (r == 0 && Packed < Unpacked) return 1;
    return r;
}

std::string MethodNameOf(TArcType Family, std::uint32_t Method, std::uint16_t ZipFlags) {
    switch (Family) {
    case atARC:
    case atArcExe:
        return Method > 0xFF ? "Unknown"
                             : arc::methodName(false, static_cast<std::uint8_t>(Method));
    case atPAK:
    case atPakExe:
        return Method > 0xFF ? "Unknown" : arc::methodName(true, static_cast<std::uint8_t>(Method));
    case atARJ:
    case atArjExe:
        return Method > 0xFF ? "Unknown" : arj::methodName(static_cast<std::uint8_t>(Method));
    case atBH:
    case atBHExe:
        return bh::methodName(Method);
    case atCAB:
        return cab::methodName(Method);
    case atGZip:
    case atBzip2:
    case atXz:
    case atLzip:
    case atZstd:
        return gz::methodName(Method);
    case atHA:
        return ha::methodName(Method);
    case atLHA:
    case atLhaExe:
    case atLZH:
    case atLzhExe: {
        // The method's digit, as in -lh5-.
        const fmt::MethodInfo* m =
            fmt::findMethod(lha::methods(), static_cast<std::uint32_t>('h') << 8 | Method);
        return m ? m->Name : "Unknown";
    }
    case atRAR:
    case atRarExe:
        return rar::methodName(Method);
    case atTAR:
        return tar::methodName(Method);
    case atTarGz:
    case atTarBz2:
    case atTarXz:
    case atTarLz:
    case atTarZst:
    case atTarZ:
        // What the file is: a TAR archive inside a compressor.
        return arcTypeDisplayName(Family);
    case atZIP:
    case atZipExe:
    case atZip250:
    case atZip250Exe:
        return Method > 0xFFFF ? "Unknown"
                               : zip::methodName(static_cast<std::uint16_t>(Method), ZipFlags);
    case atZOO:
        return Method > 0xFF ? "Unknown" : zoo::methodName(static_cast<std::uint8_t>(Method));
    default:
        return "Unknown";
    }
}

TArcLister::TArcLister(TComponent* AOwner) : TZipCommon(AOwner) {
    dec::installTarballProbe();
    FileSpec_ = "*.*";
}

TArcLister::~TArcLister() = default;

void TArcLister::clearRecord() {
    FileName.clear();
    PackedSize = UnpackedSize = 0;
    Ratio = 0;
    CRC = 0;
    DateTime = 0;
    Method = 0;
    MethodName.clear();
    Encrypted = false;
    DeflateOption = 0;
    VersionMadeBy = VersionNeeded = 0;
    InternalAttr = 0;
    ExternalAttr = 0;
    FileComment.clear();
}

bool TArcLister::Activate() {
    try {
        if (ArchiveFile_.empty()) return true;
        if (!OnRead) Fail(err::EventNotAssigned);
        if (ArcType_ == atNA || ArcType_ == atUnknown) Fail(err::UnknownFileType);
        if (ArcType_ == atFileError) Fail(err::HeaderIdError);
    } catch (const E_RAISE&) {
        return false;
    }

    bool ok = true;
    try {
        if (!Archive_.open(ArchiveFile_, plat::File::Mode::Read)) Fail(err::ReadError);
        std::int64_t size = Archive_.size();
        if (size < 0) Fail(err::ReadError);
        ArchiveSize = size;
        if (OnActivate) OnActivate(this);
        FileCount = 0;
        ArchiveComment.clear();
        TotalPackedSize = TotalUnpackedSize = 0;
        TotalRatio = 0;
        clearRecord();
        CurrentPos = ArchiveStart;
        EndLimit = ArchiveSize;
        std::unique_ptr<DirectoryReader> reader =
            DirectoryReaderTable::instance().make(ArcType_, *this);
        if (!reader) Fail(err::UnsupportedArcType);
        reader->prepare();
        walk(*reader);
        if (OnTotals) {
            TotalRatio = CalcRatio(TotalPackedSize, TotalUnpackedSize);
            OnTotals(this, FileCount);
        }
        ArchiveComment.clear();
    } catch (const E_RAISE&) {
        ok = false;
    } catch (const std::bad_alloc&) {
        Report(err::OutOfMemory);
        ok = false;
    }
    ReadPos = CurrentPos = EndLimit = HeaderSize = 0;
    Header_.clear();
    Header_.shrink_to_fit();
    FileComment.clear();
    if (OnDeactivate) OnDeactivate(this);
    Archive_.close();
    return ok;
}

void TArcLister::walk(DirectoryReader& reader) {
    volumeSwitches_ = 0;
    ReadPos = CurrentPos - 1;
    // A header that ends exactly at the limit still fits.
    while (ReadPos + HeaderSize <= EndLimit && ReadPos < EndLimit) {
        const std::int64_t start = ReadPos;
        CurrentPos = ReadPos + 1;
        const auto n = static_cast<std::size_t>(std::max<std::int64_t>(HeaderSize, 0));
        Header_.assign(n, 0);
        std::int64_t got = n ? readAtPos(ReadPos, Header_.data(), n) : 0;
        if (got < 0) Fail(err::ReadError);
        ReadPos += got;
        clearRecord();
        volumeChanged_ = false;
        reader.headerStep();
        FileComment.clear();
        // A step that does not move forward in the same file would repeat
        // itself for ever.
        if (ReadPos <= start && !volumeChanged_) break;
    }
}

// Positioned reads go through the file's read buffer: a directory walk makes
// many small reads close together, and one system call each would dominate.
std::int64_t TArcLister::readAtPos(std::int64_t Pos, void* Buf, std::size_t N) {
    if (!Archive_.seek(Pos)) return -1;
    return Archive_.read(Buf, N);
}

bool TArcLister::ReadBytes(std::int64_t Pos, void* Buf, std::size_t N) {
    if (N == 0) return true;
    if (Pos < 0) return false;
    return readAtPos(Pos, Buf, N) == static_cast<std::int64_t>(N);
}

std::string TArcLister::ReadZString(std::int64_t Pos, std::size_t MaxLen, std::int64_t& After) {
    std::string out;
    After = Pos;
    if (Pos < 0) return out;
    char buf[512];
    while (out.size() < MaxLen) {
        std::size_t want = std::min(sizeof buf, MaxLen - out.size());
        std::int64_t got = readAtPos(After, buf, want);
        if (got <= 0) break;
        auto* zero = static_cast<char*>(std::memchr(buf, 0, static_cast<std::size_t>(got)));
        if (zero) {
            out.append(buf, static_cast<std::size_t>(zero - buf));
            After += (zero - buf) + 1;
            return out;
        }
        out.append(buf, static_cast<std::size_t>(got));
        After += got;
    }
    return out;
}

std::string TArcLister::StoredName(std::string_view Raw) {
    auto zero = Raw.find('\0');
    if (zero != std::string_view::npos) Raw = Raw.substr(0, zero);
    std::string s = plat::decodeStoredName(Raw);
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

std::string TArcLister::CommentText(std::string_view Raw) {
    auto zero = Raw.find('\0');
    if (zero != std::string_view::npos) Raw = Raw.substr(0, zero);
    return plat::decodeStoredName(Raw);
}

bool TArcLister::Shown(const std::string& Name) const {
    return MatchSpec(FileSpec_, Name, true);
}

void TArcLister::CountMember(std::int64_t Packed, std::int64_t Unpacked) {
    ++FileCount;
    // Damaged headers can claim any size; the sums saturate instead of wrapping.
    auto add = [](std::int64_t& sum, std::int64_t v) {
        if (v < 0) v = 0;
        if (__builtin_add_overflow(sum, v, &sum)) sum = INT64_MAX;
    };
    add(TotalPackedSize, Packed);
    add(TotalUnpackedSize, Unpacked);
}

void TArcLister::ReportMember(std::int64_t Offset) {
    if (!OnRead) return;
    if (OnReadBegin) OnReadBegin(this);
    OnRead(this, Offset, FileCount);
    if (OnReadEnd) OnReadEnd(this);
}

void TArcLister::Fail(int ECode, const std::string& VolumeID) {
    RaiseError(ArchiveFile_, ECode, VolumeID);
}

void TArcLister::Report(int ECode, const std::string& VolumeID) {
    ReportError(ArchiveFile_, VolumeID, ECode);
}

bool TArcLister::OpenVolume(const std::string& Path) {
    Archive_.close();
    volumeChanged_ = true;
    if (++volumeSwitches_ > kMaxVolumeSwitches) return false;
    return Archive_.open(Path, plat::File::Mode::Read);
}

std::uint32_t TArcLister::ArchiveAttributes() const {
    int a = plat::getAttributes(ArchiveFile_);
    return a < 0 ? 0u : static_cast<std::uint32_t>(a);
}
