#include "archive/extract/UnCAB.h"

#include <algorithm>
#include <cstring>

#include "archive/core/MatchSpec.h"
#include "archive/extract/Extractors.h"
#include "archive/extract/decoders/Inflate.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace {

TFramePolicy cabPolicy() {
    TFramePolicy p;
    p.Verdict = TVerdict::AlwaysPass;
    p.OnUnselected = TFramePolicy::Unselected::Silent;
    p.OnDeclined = TFramePolicy::Declined::Silent;
    p.OnPlainSpec = TFramePolicy::PlainSpec::SelectAll;
    p.Restores = TFramePolicy::Restore::TimeAndAttributes;
    // A file that cannot be created is reported; the others still come.
    p.OnCreateFailure = TFramePolicy::CreateFailure::SkipReported;
    return p;
}

// A block's compressed bytes, and those of a block split between two
// cabinets, never come near this.
constexpr std::size_t kMaxBlockInput = 4 * 65536;

bool continuesFromPrevious(std::uint16_t folderIndex) {
    return folderIndex == cab::kContinuedFromPrevious || folderIndex == cab::kContinuedBoth;
}

bool continuesToNext(std::uint16_t folderIndex) {
    return folderIndex == cab::kContinuedToNext || folderIndex == cab::kContinuedBoth;
}

} // namespace

struct TUnCAB::Part {
    std::size_t Cabinet = 0;
    cab::Folder Folder;
};

// One folder's stream: its part in each cabinet it spans.
struct TUnCAB::FolderChain {
    int Type = cab::kTypeNone;
    std::vector<Part> Parts;
    bool GoesOn = false; // the last part's cabinet says it continues in the next
};

struct TUnCAB::Cabinet {
    std::string Path;
    plat::File File;
    std::int64_t Size = 0;
    cab::Header Header;
    std::vector<cab::Folder> Folders;
    std::vector<std::size_t> Chains; // the chain of each folder
    std::vector<cab::FileEntry> Files;
    bool FilesComplete = true;
    bool FromPrevious = false; // a file began in the cabinet before
    bool ToNext = false;       // a file ends in the cabinet after

    cab::ReadAt reader() {
        return [this](std::int64_t pos, void* buf, std::size_t n) {
            return File.readAt(pos, buf, n) == static_cast<std::int64_t>(n);
        };
    }
};

// Decodes a chain's blocks in order and hands out ranges of its stream.
// The last decoded block is kept, so that files following each other in
// a folder need no block twice; a range before it starts the stream over.
class TUnCAB::FolderStream {
public:
    explicit FolderStream(TUnCAB& x) : x_(x) {}

    // Writes [offset, offset + size) of the chain's stream to out and
    // returns the bytes written (fewer when the data ends first).
    // `damaged` is set when a block used fails its checksum.
    template <class Progress>
    std::uint64_t copy(std::size_t chain, std::uint64_t offset, std::uint64_t size, dec::Sink& out,
                       bool& damaged, Progress&& progress) {
        if (chain != chain_ || offset < pos_) restart(chain);
        std::uint64_t done = 0;
        while (done < size) {
            const std::uint64_t want = offset + done;
            if (want >= pos_ + outLen_) {
                if (!nextBlock()) break;
                continue;
            }
            const auto from = static_cast<std::size_t>(want - pos_);
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(outLen_ - from, size - done));
            dec::writeOrFail(out, out_.data() + from, n);
            if (outBad_) damaged = true;
            done += n;
            progress(done);
        }
        return done;
    }

private:
    void restart(std::size_t chain) {
        chain_ = chain;
        part_ = 0;
        block_ = 0;
        const Part& p = x_.Chains_[chain].Parts[0];
        blockPos_ = x_.Cabinets_[p.Cabinet]->Header.Base + p.Folder.DataOffset;
        pos_ = 0;
        outLen_ = 0;
        ended_ = false;
        inflater_.Reset();
    }

    // Moves to the part the next block is in, loading the next cabinet of
    // the set when the chain goes on there; false at the end of the chain.
    bool atBlock() {
        for (;;) {
            FolderChain& ch = x_.Chains_[chain_];
            if (block_ < ch.Parts[part_].Folder.BlockCount) return true;
            if (part_ + 1 >= ch.Parts.size()) {
                const std::size_t cab = ch.Parts[part_].Cabinet;
                if (!ch.GoesOn || cab + 1 != x_.Cabinets_.size() || !x_.LoadNext(cab)) return false;
                if (part_ + 1 >= x_.Chains_[chain_].Parts.size()) return false;
            }
            ++part_;
            block_ = 0;
            const Part& p = x_.Chains_[chain_].Parts[part_];
            blockPos_ = x_.Cabinets_[p.Cabinet]->Header.Base + p.Folder.DataOffset;
        }
    }

    // Reads the next block's bytes (joining a block split between two
    // cabinets) and decodes them; false at the end of the data.
    bool nextBlock() {
        pos_ += outLen_;
        outLen_ = 0;
        outBad_ = false;
        if (ended_) return false;
        in_.clear();
        std::uint16_t uncompressed = 0;
        for (;;) {
            if (!atBlock()) {
                ended_ = true;
                return false;
            }
            const Part& p = x_.Chains_[chain_].Parts[part_];
            Cabinet& c = *x_.Cabinets_[p.Cabinet];
            cab::DataBlock b;
            const std::size_t at = in_.size();
            if (!cab::readDataBlock(c.reader(), c.Header, blockPos_, c.Size, b) ||
                at + b.CompressedSize > kMaxBlockInput) {
                ended_ = true;
                return false;
            }
            in_.resize(at + b.CompressedSize);
            if (b.CompressedSize && c.File.readAt(b.DataPos, in_.data() + at, b.CompressedSize) !=
                                        static_cast<std::int64_t>(b.CompressedSize)) {
                ended_ = true;
                return false;
            }
            if (!cab::blockChecksumOk(b, in_.data() + at)) outBad_ = true;
            blockPos_ = b.NextPos();
            ++block_;
            // The last block of a part with no length of its own goes on
            // as the first block of the next part.
            const bool lastOfPart = block_ == p.Folder.BlockCount;
            const bool chainGoesOn =
                part_ + 1 < x_.Chains_[chain_].Parts.size() || x_.Chains_[chain_].GoesOn;
            if (b.UncompressedSize == 0 && lastOfPart && chainGoesOn) continue;
            uncompressed = b.UncompressedSize;
            break;
        }
        if (x_.Chains_[chain_].Type == cab::kTypeNone) {
            out_.swap(in_);
            outLen_ = out_.size();
            return true;
        }
        // MSZIP: "CK", then a Deflate stream whose matches may reach into
        // the blocks before.
        if (in_.size() < 2 || in_[0] != 'C' || in_[1] != 'K') x_.MemberError(err::BadBlock);
        std::size_t given = 2;
        inflater_.Input = [&](std::uint8_t* buf, std::size_t cap) {
            const std::size_t n = std::min(cap, in_.size() - given);
            std::memcpy(buf, in_.data() + given, n);
            given += n;
            return static_cast<std::ptrdiff_t>(n);
        };
        if (out_.size() < cab::kMaxBlockOutput) out_.resize(cab::kMaxBlockOutput);
        inflater_.Output = [&](const std::uint8_t* data, std::size_t n) {
            if (n > out_.size() - outLen_) return false;
            std::memcpy(out_.data() + outLen_, data, n);
            outLen_ += n;
            return true;
        };
        int rc = inflater_.InflateNext();
        inflater_.Input = nullptr;
        inflater_.Output = nullptr;
        if (rc == err::WriteError || (rc == 0 && outLen_ != uncompressed)) rc = err::BadBlock;
        if (rc) x_.MemberError(rc);
        return true;
    }

    TUnCAB& x_;
    std::size_t chain_ = SIZE_MAX;
    std::size_t part_ = 0;
    unsigned block_ = 0;
    std::int64_t blockPos_ = 0;
    std::uint64_t pos_ = 0; // stream offset of out_[0]
    std::vector<std::uint8_t> out_;
    std::size_t outLen_ = 0;
    bool outBad_ = false;
    bool ended_ = false;
    std::vector<std::uint8_t> in_;
    Inflater inflater_;
};

TUnCAB::TUnCAB(TComponent* AOwner) : TUnBase(AOwner, cabPolicy()) {}

TUnCAB::~TUnCAB() = default;

std::unique_ptr<TUnCAB::Cabinet> TUnCAB::OpenCabinet(const std::string& path, std::int64_t base,
                                                     int& error) {
    auto c = std::make_unique<Cabinet>();
    c->Path = path;
    if (!c->File.open(path, plat::File::Mode::Read) || (c->Size = c->File.size()) < 0) {
        error = err::OpenError;
        return nullptr;
    }
    auto read = c->reader();
    if (cab::readHeader(read, base, c->Size, c->Header) != cab::Status::Ok) {
        error = err::BadFileHeader;
        return nullptr;
    }
    c->Folders.resize(c->Header.FolderCount);
    for (unsigned i = 0; i < c->Header.FolderCount; ++i)
        if (!cab::readFolder(read, c->Header, i, c->Size, c->Folders[i])) {
            error = err::BadFileHeader;
            return nullptr;
        }
    std::int64_t pos = base + c->Header.FirstFile;
    for (unsigned i = 0; i < c->Header.FileCount; ++i) {
        cab::FileEntry e;
        if (!cab::readFileEntry(read, pos, c->Size, e)) {
            c->FilesComplete = false;
            break;
        }
        pos = e.NextPos;
        c->FromPrevious = c->FromPrevious || continuesFromPrevious(e.FolderIndex);
        c->ToNext = c->ToNext || continuesToNext(e.FolderIndex);
        c->Files.push_back(std::move(e));
    }
    return c;
}

void TUnCAB::AddCabinet(std::unique_ptr<Cabinet> c) {
    const std::size_t index = Cabinets_.size();
    c->Chains.resize(c->Folders.size());
    for (std::size_t i = 0; i < c->Folders.size(); ++i) {
        const Part part{index, c->Folders[i]};
        if (i == 0 && index > 0) {
            const Cabinet& prev = *Cabinets_[index - 1];
            if (!prev.Chains.empty() && (prev.ToNext || c->FromPrevious)) {
                const std::size_t chain = prev.Chains.back();
                Chains_[chain].Parts.push_back(part);
                Chains_[chain].GoesOn = false;
                c->Chains[i] = chain;
                continue;
            }
        }
        FolderChain chain;
        chain.Type = c->Folders[i].Type();
        chain.Parts.push_back(part);
        c->Chains[i] = Chains_.size();
        Chains_.push_back(std::move(chain));
    }
    if (!c->Chains.empty()) Chains_[c->Chains.back()].GoesOn = c->ToNext && c->Header.HasNext();
    Cabinets_.push_back(std::move(c));
}

bool TUnCAB::LoadNext(std::size_t index) {
    if (index + 1 < Cabinets_.size()) return true;
    if (SetEnded_) return false;
    const Cabinet& c = *Cabinets_[index];
    if (!c.Header.HasNext() || c.Header.NextName.empty()) return false;
    const std::string folder = plat::extractFilePath(c.Path);
    const std::string disk = c.Header.NextDisk;
    std::string path = plat::findNameNoCase(folder, c.Header.NextName);
    // A set that names a cabinet already walked would go round for ever.
    if (Visited_.count(path)) {
        SetEnded_ = true;
        return false;
    }
    if (!plat::fileExists(path)) {
        if (OnNextCabinet) {
            bool cancel = false;
            OnNextCabinet(this, path, disk, cancel);
            if (cancel) {
                SetEnded_ = true;
                return false;
            }
        }
        path = plat::findNameNoCase(folder, c.Header.NextName);
        if (!plat::fileExists(path)) {
            ReportError(path, disk, err::FileNotFound);
            SetEnded_ = true;
            return false;
        }
    }
    int error = 0;
    std::unique_ptr<Cabinet> next = OpenCabinet(path, 0, error);
    if (!next) {
        if (error != err::OpenError) RaiseError(path, error);
        ReportError(path, disk, err::ReadError);
        SetEnded_ = true;
        return false;
    }
    if (next->Header.SetId != SetId_) RaiseError(path, err::CabWrongSet);
    Visited_.insert(path);
    AddCabinet(std::move(next));
    return true;
}

void TUnCAB::ReportFile(const std::string& storedName, int code) {
    if (!MatchSpec(FileSpec(), storedName, false)) return;
    MakeFileName(storedName);
    ReportError(FileName, "0", code);
}

void TUnCAB::ExtractMembers() {
    Cabinets_.clear();
    Chains_.clear();
    Visited_.clear();
    SetEnded_ = false;
    Stream_ = std::make_unique<FolderStream>(*this);
    // The cabinets stay open only while the extraction runs.
    struct Release {
        TUnCAB& x;
        ~Release() {
            x.Stream_.reset();
            x.Cabinets_.clear();
            x.Chains_.clear();
        }
    } release{*this};

    Activated();
    int error = 0;
    std::unique_ptr<Cabinet> first =
        OpenCabinet(ArchiveFile_, std::max<std::int64_t>(ArchiveStart - 1, 0), error);
    if (!first) RaiseError(ArchiveFile_, error);
    SetId_ = first->Header.SetId;
    Visited_.insert(ArchiveFile_);
    AddCabinet(std::move(first));

    for (std::size_t i = 0; i < Cabinets_.size() && !SetEnded_ && !Cancel(); ++i) {
        ExtractCabinet(i);
        if (SetEnded_ || Cancel()) break;
        if (Cabinets_[i]->Header.HasNext() && !LoadNext(i)) break;
    }
}

void TUnCAB::ExtractCabinet(std::size_t index) {
    struct Item {
        Placement Where;
        const cab::FileEntry* Entry;
    };
    std::vector<Item> items;
    {
        const Cabinet& c = *Cabinets_[index];
        for (const cab::FileEntry& e : c.Files) {
            const std::string name = e.Path();
            if (continuesFromPrevious(e.FolderIndex)) {
                // Written whole with the cabinet it began in, when that was walked.
                const bool joined =
                    !c.Chains.empty() && Chains_[c.Chains[0]].Parts[0].Cabinet < index;
                if (!joined) ReportFile(name, err::CabFirstDisk);
                continue;
            }
            const std::size_t folder =
                e.FolderIndex == cab::kContinuedToNext ? c.Folders.size() - 1 : e.FolderIndex;
            if (c.Folders.empty() || folder >= c.Folders.size()) {
                ReportFile(name, err::BadFileHeader);
                continue;
            }
            // The first folder began in a cabinet before this one: its
            // offsets count from there.
            if (index == 0 && folder == 0 && c.FromPrevious) {
                ReportFile(name, err::CabFirstDisk);
                continue;
            }
            items.push_back({{c.Chains[folder], e.Offset, e.Size}, &e});
        }
    }
    // Each folder's files in stream order, whatever order the list has.
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.Where.Chain != b.Where.Chain ? a.Where.Chain < b.Where.Chain
                                              : a.Where.Offset < b.Where.Offset;
    });
    // Files sharing bytes of a folder would let a small cabinet write the
    // same data again and again: such a cabinet is damaged.
    {
        std::vector<TByteRange> ranges;
        for (const Item& item : items)
            if (item.Where.Size) {
                // Chains are separate streams; offsets and sizes are 32-bit.
                const std::uint64_t base = static_cast<std::uint64_t>(item.Where.Chain) << 34;
                ranges.push_back(
                    {base + item.Where.Offset, base + item.Where.Offset + item.Where.Size});
            }
        if (RangesOverlap(ranges)) RaiseError(Cabinets_[index]->Path, err::BadFileHeader);
    }
    for (const Item& item : items) {
        if (Cancel() || SetEnded_) return;
        const cab::FileEntry& e = *item.Entry;
        TMemberDesc d;
        d.StoredName = e.Path();
        if (d.StoredName.empty()) continue;
        const int type = Chains_[item.Where.Chain].Type;
        if (type != cab::kTypeNone && type != cab::kTypeMszip) {
            ReportFile(d.StoredName,
                       type == cab::kTypeLzx ? err::LzxNotSupported : err::UnsupportedMethod);
            continue;
        }
        d.Method = static_cast<std::uint32_t>(type);
        d.ModificationTime = plat::dosToUnix(e.DosStamp());
        d.ExistsDate = e.DosStamp();
        d.UnpackedSize = e.Size;
        d.ExternalAttr = e.Attributes;
        Current_ = item.Where;
        if (ProcessMember(d) == Next::Stop) return;
    }
    if (!Cabinets_[index]->FilesComplete) {
        ReportError(Cabinets_[index]->Path, "0", err::ReadError);
        SetEnded_ = true;
    }
}

void TUnCAB::DecodeMember(TMemberDesc& m, dec::Input&, dec::Sink& out) {
    dec::ProgressListener& progress = *this;
    const std::uint64_t total = Current_.Size;
    std::uint64_t reported = 0;
    bool damaged = false;
    const std::uint64_t got = Stream_->copy(
        Current_.Chain, Current_.Offset, Current_.Size, out, damaged, [&](std::uint64_t done) {
            progress.inputConsumed(total, reported, done, false);
            reported = done;
        });
    if (damaged) m.DataFailed = true;
    if (got == total && total) progress.inputConsumed(total, reported, total, true);
}

void TUnCAB::RestoreAttributes(int fd, const TMemberDesc& m) {
    const bool exec = m.ExternalAttr & cab::kAttrExecute;
    const bool readOnly = m.ExternalAttr & cab::kAttrReadOnly;
    if (!exec && !readOnly) return;
    unsigned mode = exec ? 0755 : 0644;
    if (readOnly) mode &= ~0222u;
    plat::ConfinedDir::setNewFileMode(fd, mode);
}

void registerUnCAB(ExtractorTable& table) {
    table.add({atCAB}, [] { return std::unique_ptr<TUnBase>(new TUnCAB); });
}
