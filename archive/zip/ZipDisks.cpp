// The ZIP archive's files and disks: opening the archive, the disks of a
// spanned set (floppies asked for at the same name, or split files beside
// each other) and reading across them, items and per-member progress.
#include <algorithm>
#include <cctype>

#include "archive/zip/ZipArchive.h"
#include "archive/zip/ZlExceptions.h"
#include "platform/FileSystem.h"
#include "platform/Media.h"

TZlZipArchive::TZlZipArchive(const std::string& FileName, std::uint16_t Mode)
    : TZlArchive(FileName, Mode) {}

TZlZipArchive::TZlZipArchive(TZlStream* Stream, bool OwnsStream) : TZlArchive(Stream, OwnsStream) {}

TZlZipArchive::~TZlZipArchive() = default;

std::unique_ptr<TZlStream> TZlZipArchive::OpenFile(const std::string& Name, std::uint16_t Mode) {
    return std::make_unique<TZlFileStream>(Name, Mode);
}

bool TZlZipArchive::OnRemovableDisk() {
    return !fileName_.empty() && plat::isOnRemovableMedia(fileName_);
}

void TZlZipArchive::SetVolumeLabel(const std::string& Label) {
    plat::setVolumeLabel(fileName_, Label.substr(0, 11));
}

void TZlZipArchive::OpenStream() {
    if (mode_ == fmCreate) return;
    ownedStream_ = OpenFile(fileName_, mode_);
    stream_ = ownedStream_.get();
}

void TZlZipArchive::reopen() {
    ownedStream_.reset();
    stream_ = nullptr;
    ownedStream_ = OpenFile(fileName_, mode_);
    stream_ = ownedStream_.get();
}

void TZlZipArchive::requestDisk(bool last, std::uint32_t disk) {
    bool abort = false;
    if (last) {
        if (OnRequestLastDisk)
            OnRequestLastDisk(this, abort);
        else
            ZlPromptLastDisk();
    } else {
        const auto shown = static_cast<std::uint8_t>(std::min<std::uint32_t>(disk + 1, 255));
        if (OnRequestNthDisk)
            OnRequestNthDisk(this, shown, abort);
        else
            ZlPromptNthDisk(disk);
    }
    if (abort) {
        State = stInvalid;
        throw EZlUserAbort();
    }
}

std::string TZlZipArchive::DiskFileName(std::uint32_t Disk) const {
    if (!IsSplit || Disk >= Footer.NumberOfThisDisk) return fileName_;
    const std::string ext = plat::extractFileExt(fileName_);
    const bool upperCase = ext.size() > 1 && std::isupper(static_cast<unsigned char>(ext[1]));
    char num[16];
    std::snprintf(num, sizeof num, "%02u", Disk + 1);
    return fileName_.substr(0, fileName_.size() - ext.size()) + (upperCase ? ".Z" : ".z") + num;
}

void TZlZipArchive::ChangeDisk(std::uint32_t Disk) {
    if (Disk == CurrentDisk && stream_) return;
    if (!ownsStream_ || fileName_.empty()) throw EZlZipBadSpanStream();
    CurrentDisk = Disk;
    ownedStream_.reset();
    stream_ = nullptr;
    if (IsSplit) {
        ownedStream_ = OpenFile(DiskFileName(Disk), fmOpenRead | fmShareDenyNone);
        stream_ = ownedStream_.get();
        return;
    }
    requestDisk(false, Disk);
    reopen();
}

std::uint64_t TZlZipArchive::FindLocalHeader(const TZlZipItem& Item, zip::LocalHeader& Header) {
    std::uint8_t fixed[zip::kLocalSize];
    auto at = [&](std::uint64_t pos) {
        TZlDiskReader r(*this, Item.DiskNumberStart(), pos);
        std::size_t got = 0;
        while (got < sizeof fixed) {
            const std::size_t n = r.Read(fixed + got, sizeof fixed - got);
            if (n == 0) return false;
            got += n;
        }
        return zip::parseLocal(fixed, Header);
    };
    const std::uint64_t pos = Item.RelativeOffsetOfLocalHeader();
    if (at(pos)) return pos;
    const std::uint64_t stated = pos - static_cast<std::uint64_t>(offsetDelta_);
    if (offsetDelta_ != 0 && stated <= pos && at(stated)) return stated;
    throw EZlZipInvalid();
}

void TZlZipArchive::ItemProgress(TZlArchiveItem* Item, std::uint8_t Percent) {
    if (!OnArchiveItemProgress) return;
    bool abort = false;
    OnArchiveItemProgress(this, Item, Percent, abort);
    if (abort) throw EZlUserAbort();
}

std::unique_ptr<TZlArchiveItem> TZlZipArchive::CreateItem(const std::string& FileName) {
    auto item = std::make_unique<TZlZipItem>();
    item->SetCompressionMethod(8);
    item->SetGeneralPurposeBitFlag(0);
    item->SetCompressedSize(0);
    item->SetCRC32(0);
    item->SetExtraField("");
    item->DiskFileName = ExpandFileName(FileName);
    item->SetFileName(FixName(FileName));
    item->SetRelativeOffsetOfLocalHeader(0);
    return item;
}

void TZlZipArchive::ExtractItem(TZlArchiveItem& Item, const std::string& NewName) {
    if (!ExtractHelper) throw EZlZipNoExtraction();
    try {
        ExtractHelper(this, static_cast<TZlZipItem&>(Item), NewName);
    } catch (const EZlUserAbort&) {
        State = stInvalid;
        throw;
    }
}

TZlDiskReader::TZlDiskReader(TZlZipArchive& Archive, std::uint32_t Disk, std::uint64_t Offset)
    : a_(Archive), disk_(Disk), offset_(Offset) {}

std::size_t TZlDiskReader::Read(void* Buffer, std::size_t Count) {
    if (Count == 0) return 0;
    for (;;) {
        if (a_.IsSpanned) a_.ChangeDisk(disk_);
        TZlStream* s = a_.Stream();
        if (!s) return 0;
        const auto size = static_cast<std::uint64_t>(s->Size());
        if (offset_ < size) {
            s->SetPosition(static_cast<std::int64_t>(offset_));
            const std::size_t n = s->Read(Buffer, Count);
            if (n > 0) {
                offset_ += n;
                return n;
            }
        }
        // Past the end of this disk: the next one goes on.
        if (!a_.IsSpanned || disk_ >= a_.Footer.NumberOfThisDisk) return 0;
        ++disk_;
        offset_ = offset_ > size ? offset_ - size : 0;
    }
}

void TZlDiskReader::ReadBuffer(void* Buffer, std::size_t Count) {
    auto* p = static_cast<std::uint8_t*>(Buffer);
    while (Count) {
        const std::size_t n = Read(p, Count);
        if (n == 0) throw EZlZipInvalid();
        p += n;
        Count -= n;
    }
}
