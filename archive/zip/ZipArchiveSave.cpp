// Saving a ZIP archive: the whole archive is written anew in one pass,
// kept members copied, new ones compressed, into a temporary file in the
// archive's folder that then replaces the archive in one rename.  A save
// that fails or is stopped leaves the archive as it was.  A new archive on
// a removable disk is written in place instead, going on to further disks
// (a spanned set) when one fills.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "archive/zip/VirtualMemoryStream.h"
#include "archive/zip/ZipArchive.h"
#include "archive/zip/ZlExceptions.h"
#include "platform/Endian.h"
#include "platform/FileSystem.h"

namespace {

constexpr std::size_t kChunk = 32768;
// The smallest piece of member data a full disk is tried with.
constexpr std::size_t kMinPiece = 256;

bool readAt(TZlStream& s, std::int64_t pos, void* buf, std::size_t n) {
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

// The file a path names, through symbolic links, so that a save replaces
// the archive rather than a link to it.
std::string resolved(const std::string& path) {
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf)) return buf;
    return path;
}

} // namespace

// Where the new archive goes: a temporary file, a memory stream, or (in
// place) the archive on its removable disk, which may give way to further
// disks.  After a failed write nothing more is written: the save fails.
class TZlZipArchive::Output {
public:
    explicit Output(TZlZipArchive& a) : a_(a) {}

    TZlStream* s = nullptr;
    std::unique_ptr<TZlStream> own;
    std::string tempName;
    bool inPlace = false;
    bool broken = false;
    std::uint32_t disk = 0;

    std::int64_t Position() { return s->Position(); }

    // Writes all of it; false when the removable disk is full (the
    // stream is then back where the write began).
    bool Write(const void* p, std::size_t n) {
        if (broken) throw EZlZipStreamFull();
        const std::int64_t at = s->Position();
        bool ok = s->Write(p, n) == n;
        if (ok && inPlace) {
            try {
                s->Flush();
            } catch (const EZlZipStreamFull&) {
                ok = false;
            }
        }
        if (ok) return true;
        if (!inPlace) {
            broken = true;
            throw EZlZipStreamFull();
        }
        // Back to where the write began, for a smaller piece or a new disk.
        failedAt_ = at;
        try {
            s->SetSize(at);
            s->SetPosition(at);
        } catch (const std::exception&) {}
        return false;
    }

    // A record stays whole: when the disk is full it goes to the next.
    template <typename Build> void Record(Build build) {
        std::vector<std::uint8_t> b = build();
        if (Write(b.data(), b.size())) return;
        NextDisk();
        b = build();
        if (!Write(b.data(), b.size())) throw EZlZipStreamFull();
    }

    // Member data fills a disk to its last few bytes: a piece that does
    // not fit is written in halves before the set goes on to the next disk.
    void Data(const void* p, std::size_t n) {
        if (Write(p, n)) return;
        if (n > kMinPiece) {
            const auto* b = static_cast<const std::uint8_t*>(p);
            Data(b, n / 2);
            Data(b + n / 2, n - n / 2);
            return;
        }
        NextDisk();
        if (!Write(p, n)) throw EZlZipStreamFull();
    }

    // Copies n bytes of the old archive from pos.
    void Copy(TZlStream& from, std::int64_t pos, std::uint64_t n) {
        auto* src = dynamic_cast<TZlFileStream*>(&from);
        auto* dst = dynamic_cast<TZlFileStream*>(s);
        if (src && dst && !inPlace) {
            std::uint64_t done = 0;
            try {
                done = dst->CopyFrom(*src, pos, n);
            } catch (...) {
                broken = true;
                throw;
            }
            if (done != n) throw EZlZipInvalid();
            return;
        }
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::uint64_t>(n, kChunk)));
        while (n) {
            const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, kChunk));
            if (!readAt(from, pos, buf.data(), k)) throw EZlZipInvalid();
            Data(buf.data(), k);
            pos += static_cast<std::int64_t>(k);
            n -= k;
        }
    }

    // The removable disk is full: the set goes on on a blank disk.
    void NextDisk() {
        if (disk == 0) {
            std::uint8_t sig[4];
            for (int i = 0; i < 4; ++i)
                sig[i] = static_cast<std::uint8_t>(zip::kSpanSig >> (8 * i));
            s->SetPosition(0);
            s->Write(sig, 4);
        }
        s->SetSize(failedAt_);
        s->Flush();
        a_.ownedStream_.reset();
        a_.stream_ = s = nullptr;
        if (disk == 0) a_.SetVolumeLabel("PKBACK# 001");
        a_.CurrentDisk = ++disk;
        bool abort = false;
        if (a_.OnRequestBlankDisk)
            a_.OnRequestBlankDisk(&a_, abort);
        else
            ZlPromptBlankDisk();
        if (abort) {
            a_.State = stInvalid;
            throw EZlUserAbort();
        }
        char label[32];
        std::snprintf(label, sizeof label, "PKBACK# %03u", disk + 1);
        a_.SetVolumeLabel(label);
        a_.ownedStream_ = a_.OpenFile(a_.fileName_, fmCreate);
        a_.stream_ = s = a_.ownedStream_.get();
    }

private:
    TZlZipArchive& a_;
    std::int64_t failedAt_ = 0;
};

namespace {

void abortSave(TZlArchive& a) {
    a.State = stInvalid;
}

} // namespace

void TZlZipArchive::writeKept(Output& out, TZlZipItem& item, std::size_t index) {
    TZlStream& src = *stream_;
    zip::LocalHeader old;
    const auto pos = static_cast<std::int64_t>(FindLocalHeader(item, old));
    const std::int64_t data = pos + static_cast<std::int64_t>(old.TotalLength());

    const TZlZipDirectoryFileHeader& rec = item.Record();
    const std::string extra = zip::withoutExtraBlocks(rec.ExtraField, {zip::kZip64ExtraId});
    Placement& place = placements_[index];
    out.Record([&] {
        place.Offset = static_cast<std::uint64_t>(out.Position());
        place.Disk = out.disk;
        std::vector<std::uint8_t> b;
        zip::appendLocal(b, rec.ToLocal(), rec.FileName, extra);
        return b;
    });
    out.Copy(src, data, rec.CompressedSize);
    if (rec.GeneralPurposeBitFlag & zip::kFlagDescriptor)
        out.Record([&] {
            std::vector<std::uint8_t> b;
            zip::appendDescriptor(b, rec.CRC32, rec.CompressedSize, rec.UncompressedSize, false);
            return b;
        });
}

void TZlZipArchive::writeNew(Output& out, TZlZipItem& item, std::size_t index) {
    const std::int64_t start = out.Position();
    const std::uint32_t startDisk = out.disk;
    try {
        if (!InsertHelper) throw EZlZipNoInsertion();
        TZlVirtualMemoryStream scratch;
        InsertHelper(this, item, scratch);
        const TZlZipDirectoryFileHeader& rec = item.Record();
        Placement& place = placements_[index];
        out.Record([&] {
            place.Offset = static_cast<std::uint64_t>(out.Position());
            place.Disk = out.disk;
            std::vector<std::uint8_t> b;
            zip::appendLocal(b, rec.ToLocal(), rec.FileName, rec.ExtraField);
            return b;
        });
        std::uint64_t left = rec.CompressedSize;
        const std::size_t bufSize = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
        std::unique_ptr<std::uint8_t[]> buf(new std::uint8_t[bufSize ? bufSize : 1]);
        scratch.SetPosition(0);
        while (left) {
            const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
            scratch.SetPosition(static_cast<std::int64_t>(rec.CompressedSize - left));
            scratch.ReadBuffer(buf.get(), k);
            out.Data(buf.get(), k);
            left -= k;
        }
    } catch (const EZlUserAbort&) {
        item.Action = iaFailed;
        abortSave(*this);
        throw;
    } catch (const std::exception& e) {
        // A broken output, or a member that already filled disks, ends the
        // save; any other failure costs only this member.
        if (out.broken || out.disk != startDisk || !out.s) throw;
        out.s->SetPosition(start);
        TZlErrorClass cls;
        int code;
        ZlClassifyException(e, cls, code);
        const TZlProcessType type = item.Action == iaFreshen ? ptFreshen : ptAdd;
        item.Action = iaFailed;
        ItemFailure(&item, type, cls, code);
        // The member it was to replace stays.
        if (auto* old = static_cast<TZlZipItem*>(item.Replaces); old && old->Action == iaDelete) {
            old->Action = iaNone;
            writeKept(out, *old, static_cast<std::size_t>(IndexOf(old)));
        }
    }
}

void TZlZipArchive::writeMember(Output& out, TZlZipItem& item, std::size_t index) {
    switch (item.Action) {
    case iaNone:
    case iaMove:
        writeKept(out, item, index);
        break;
    case iaAdd:
    case iaFreshen:
        writeNew(out, item, index);
        break;
    case iaDelete:
    case iaFailed:
        break;
    }
}

void TZlZipArchive::writeDirectory(Output& out) {
    std::uint32_t dirDisk = out.disk;
    std::uint64_t dirOffset = static_cast<std::uint64_t>(out.Position());
    std::uint64_t entries = 0, onDisk = 0, dirSize = 0;
    const int n = Count();
    for (int i = 0; i < n; ++i) {
        TZlZipItem& item = *ZipItems(i);
        if (item.Action == iaFailed || item.Action == iaDelete) continue;
        TZlZipDirectoryFileHeader rec = item.Record();
        const Placement& place = placements_[static_cast<std::size_t>(i)];
        rec.RelativeOffsetOfLocalHeader = place.Offset;
        rec.DiskNumberStart = place.Disk;
        const std::string extra = zip::withoutExtraBlocks(rec.ExtraField, {zip::kZip64ExtraId});
        std::size_t size = 0;
        const std::uint32_t before = out.disk;
        out.Record([&] {
            std::vector<std::uint8_t> b;
            zip::appendCentral(b, rec.ToCentral(), rec.FileName, extra, rec.FileComment);
            size = b.size();
            return b;
        });
        if (out.disk != before) {
            onDisk = 0;
            if (entries == 0) {
                dirDisk = out.disk;
                dirOffset = 0;
            }
        }
        ++entries;
        ++onDisk;
        dirSize += size;
        try {
            Progress(static_cast<std::uint8_t>(90 + ZlPercentage((i + 1) * 5, n * 100)));
        } catch (const EZlUserAbort&) {
            abortSave(*this);
            throw;
        }
    }
    const std::uint32_t before = out.disk;
    out.Record([&] {
        if (out.disk != before) onDisk = 0;
        zip::EndValues v;
        v.DiskNumber = out.disk;
        v.DirDisk = dirDisk;
        v.EntriesOnDisk = onDisk;
        v.Entries = entries;
        v.DirSize = dirSize;
        v.DirOffset = dirOffset;
        std::vector<std::uint8_t> b;
        zip::appendEnd(b, v, Footer.Comment, static_cast<std::uint64_t>(out.Position()));
        return b;
    });
    Footer.NumberOfThisDisk = out.disk;
    Footer.DiskWithDirectory = dirDisk;
    Footer.EntriesOnThisDisk = onDisk;
    Footer.TotalEntries = entries;
    Footer.DirectorySize = dirSize;
    Footer.DirectoryOffset = dirOffset;
}

void TZlZipArchive::replaceArchive(Output& out, const std::string& tempName) {
    if (out.inPlace) {
        out.s->SetSize(out.Position());
        out.s->Flush();
        IsSpanned = out.disk > 0;
        if (mode_ == fmCreate) mode_ = fmOpenReadWrite | fmShareDenyWrite;
        return;
    }
    if (auto* mem = dynamic_cast<TZlMemoryStream*>(out.own.get())) {
        auto* target = dynamic_cast<TZlMemoryStream*>(stream_);
        if (!target) throw EZlBadStream();
        target->Data = std::move(mem->Data);
        target->SetPosition(0);
        return;
    }
    auto* temp = dynamic_cast<TZlFileStream*>(out.own.get());
    if (temp) temp->Close();
    out.own.reset();

    // The new archive gets the old one's permissions (and owner, where
    // allowed); a new one the usual permissions of a new file.
    const std::string target = resolved(fileName_);
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) {
        if (::chown(tempName.c_str(), st.st_uid, st.st_gid) != 0) {
            // Only the owner's group may be kept, or nothing: the file is
            // the saver's then.
        }
        ::chmod(tempName.c_str(), st.st_mode & 07777);
    } else {
        ::chmod(tempName.c_str(), 0666 & ~plat::creationMask());
    }
    ownedStream_.reset();
    stream_ = nullptr;
    if (!plat::renameFile(tempName, target)) {
        const int e = errno;
        if (mode_ != fmCreate) reopen();
        throw EInOutError("Cannot replace \"" + fileName_ + "\": " + std::strerror(e), e);
    }
    if (mode_ == fmCreate) mode_ = fmOpenReadWrite | fmShareDenyWrite;
    reopen();
}

void TZlZipArchive::tidyAfterSave() {
    for (std::size_t i = 0; i < ItemList.size(); ++i) {
        auto& item = static_cast<TZlZipItem&>(*ItemList[i]);
        if (item.Action == iaDelete || item.Action == iaFailed) continue;
        item.SetRelativeOffsetOfLocalHeader(placements_[i].Offset);
        item.SetDiskNumberStart(placements_[i].Disk);
    }
    // Failed members were reported and are not in the archive: they leave
    // the list with the deleted ones.
    std::erase_if(ItemList, [](const std::unique_ptr<TZlArchiveItem>& i) {
        return i->Action == iaDelete || i->Action == iaFailed;
    });
    for (auto& i : ItemList) {
        i->Action = iaNone;
        i->Replaces = nullptr;
    }
    CurrentItem = nullptr;
    offsetDelta_ = 0;
}

void TZlZipArchive::SaveArchive() {
    if (IsSpanned) throw EZlZipSpanOverwrite();
    TZlStream* src = Stream();
    const bool isNew = !src || src->Size() == 0;
    const bool anyLive = std::any_of(ItemList.begin(), ItemList.end(), [](const auto& i) {
        return i->Action != iaDelete && i->Action != iaFailed;
    });
    // A new archive with nothing to hold is not written at all.
    if (isNew && !anyLive) {
        ItemList.clear();
        return;
    }

    Output out(*this);
    const bool named = ownsStream_ && !fileName_.empty();
    if (isNew && named && OnRemovableDisk()) {
        out.inPlace = true;
        if (!src) {
            ownedStream_ = OpenFile(fileName_, fmCreate);
            stream_ = ownedStream_.get();
        }
        out.s = stream_;
        out.s->SetPosition(0);
    } else if (named) {
        const std::string folder = plat::extractFileDir(resolved(fileName_));
        out.tempName = plat::tempFileIn(folder.empty() ? "." : folder, "abr");
        if (out.tempName.empty())
            throw EFCreateError("Cannot create a temporary file in \"" + folder +
                                "\": " + std::strerror(errno));
        try {
            out.own = OpenFile(out.tempName, fmCreate);
        } catch (...) {
            plat::deleteFile(out.tempName);
            throw;
        }
        out.s = out.own.get();
    } else if (dynamic_cast<TZlMemoryStream*>(src)) {
        out.own = std::make_unique<TZlMemoryStream>();
        out.s = out.own.get();
    } else {
        throw EZlBadStream();
    }

    placements_.assign(ItemList.size(), Placement());
    const std::uint32_t diskBefore = CurrentDisk;
    const TZlZipDirectoryFileFooter footerBefore = Footer;
    try {
        CurrentDisk = 0;
        if (out.inPlace) {
            std::uint8_t mark[4];
            for (int i = 0; i < 4; ++i)
                mark[i] = static_cast<std::uint8_t>(zip::kTempSpanSig >> (8 * i));
            out.Data(mark, sizeof mark);
        }
        if (IsExecutable && StubSize > 0) out.Copy(*src, 0, static_cast<std::uint64_t>(StubSize));
        const int n = Count();
        for (int i = 0; i < n; ++i) {
            TZlZipItem& item = *ZipItems(i);
            CurrentItem = &item;
            writeMember(out, item, static_cast<std::size_t>(i));
            try {
                Progress(ZlPercentage((std::int64_t{i} + 1) * 9, std::int64_t{n} * 10));
            } catch (const EZlUserAbort&) {
                abortSave(*this);
                throw;
            }
        }
        // Nothing changed after all (every new member failed): the archive
        // stays as it was, and a new one is not made.
        const bool changed = std::any_of(ItemList.begin(), ItemList.end(), [](const auto& i) {
            return i->Action != iaNone && i->Action != iaFailed;
        });
        if (!changed && out.disk == 0) {
            out.own.reset();
            if (!out.tempName.empty()) plat::deleteFile(out.tempName);
            if (out.inPlace) {
                ownedStream_.reset();
                stream_ = nullptr;
                plat::deleteFile(fileName_);
                opened_ = false;
            }
            placements_.clear();
            std::erase_if(ItemList, [](const auto& i) { return i->Action == iaFailed; });
            for (auto& i : ItemList) i->Replaces = nullptr;
            CurrentItem = nullptr;
            Progress(100);
            return;
        }
        writeDirectory(out);
        if (!out.inPlace) {
            out.s->Flush();
            out.s->SetSize(out.Position());
        }
        replaceArchive(out, out.tempName);
    } catch (...) {
        placements_.clear();
        out.own.reset();
        if (!out.tempName.empty()) plat::deleteFile(out.tempName);
        if (out.inPlace && out.disk == 0) {
            // No half-written archive stays on the disk.
            ownedStream_.reset();
            stream_ = nullptr;
            plat::deleteFile(fileName_);
            opened_ = false;
        }
        if (!out.inPlace) {
            CurrentDisk = diskBefore;
            Footer = footerBefore;
        }
        // Members compressed in this save are compressed again next time.
        for (auto& i : ItemList) {
            if (i->Action == iaFailed && State != stInvalid)
                i->Action = i->Replaces ? iaFreshen : iaAdd;
            if (i->Replaces && (i->Action == iaFreshen || i->Action == iaAdd))
                i->Replaces->Action = iaDelete;
        }
        throw;
    }
    tidyAfterSave();
    placements_.clear();
    try {
        Progress(100);
    } catch (const EZlUserAbort&) {
        // Too late to stop: the archive is written.
    }
}
