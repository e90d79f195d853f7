#include "archive/extract/UnBase.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "archive/core/Crc.h"
#include "archive/core/MatchSpec.h"
#include "archive/extract/DecodedStream.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace {

// The member decoded to more bytes than its header states.
struct OutputOverrun {};
// The file system cannot take the target's name (too long, a link on the way).
struct NameRefused {};
// The target could not be created and the family passes such members over.
struct CreateSkipped {};

// A symbolic link's target is a path: anything longer is not one.
constexpr std::size_t kMaxLinkTarget = 4096;

// What a failed write or create tells the user.
std::string writeFailure(int e) {
    if (e == ENOSPC || e == EDQUOT || e == EFBIG)
        return std::string("the disk is full (") + std::strerror(e) + ")";
    return std::strerror(e);
}

bool nameRefused(int e) {
    return e == ELOOP || e == ENAMETOOLONG || e == EINVAL || e == EXDEV || e == ENOTDIR;
}

} // namespace

// Where a member goes: its folder, opened beneath the target folder, and
// its name in there.
struct TUnBase::Target {
    std::string folder; // relative to ExtractDir, no trailing '/'
    std::string name;
    plat::DirFd dir;
};

// The output writer: the CRC and the count over every byte, then the file
// (none when only testing) or the memory of a link's target.  Nothing goes
// beyond the member's stated size.
class TUnBase::Output : public dec::Sink {
public:
    Output(TVerdict verdict, std::uint64_t limit, plat::File* file, std::string* memory)
        : verdict_(verdict), limit_(limit), file_(file), memory_(memory) {
        crc_ = verdict == TVerdict::Crc16 ? 0u : 0xFFFFFFFFu;
    }

    bool write(const std::uint8_t* buf, std::size_t n) override {
        bool over = false;
        if (n > limit_ - produced_) {
            n = static_cast<std::size_t>(limit_ - produced_);
            over = true;
        }
        if (verdict_ == TVerdict::Crc16) {
            std::uint16_t c = static_cast<std::uint16_t>(crc_);
            Crc16Update(buf, n, c);
            crc_ = c;
        } else if (verdict_ != TVerdict::AlwaysPass) {
            Crc32Update(buf, n, crc_);
        }
        produced_ += n;
        if (memory_) {
            if (memory_->size() + n > kMaxLinkTarget) throw OutputOverrun{};
            memory_->append(reinterpret_cast<const char*>(buf), n);
        } else if (file_ && n && !file_->write(buf, n)) {
            errno_ = errno;
            return false;
        }
        if (over) throw OutputOverrun{};
        return true;
    }

    // Holes stay unwritten in a file; whatever checks the data sees their zeros.
    bool hole(std::uint64_t n) override {
        if (!file_ || memory_) return dec::Sink::hole(n);
        bool over = false;
        if (n > limit_ - produced_) {
            n = limit_ - produced_;
            over = true;
        }
        if (verdict_ != TVerdict::AlwaysPass) {
            static const std::uint8_t zeros[4096] = {};
            for (std::uint64_t left = n; left;) {
                const auto k = static_cast<std::size_t>(std::min<std::uint64_t>(left, 4096));
                if (verdict_ == TVerdict::Crc16) {
                    std::uint16_t c = static_cast<std::uint16_t>(crc_);
                    Crc16Update(zeros, k, c);
                    crc_ = c;
                } else {
                    Crc32Update(zeros, k, crc_);
                }
                left -= k;
            }
        }
        produced_ += n;
        sparse_ = true;
        if (!file_->seek(file_->tell() + static_cast<std::int64_t>(n))) {
            errno_ = errno;
            return false;
        }
        if (over) throw OutputOverrun{};
        return true;
    }

    // A file that ends in a hole gets its length here.
    bool finishHoles() {
        return !sparse_ || !file_ || file_->truncate(static_cast<std::int64_t>(produced_));
    }

    std::uint32_t crc() const { return crc_; }
    std::uint64_t produced() const { return produced_; }
    int writeErrno() const { return errno_; }

private:
    TVerdict verdict_;
    std::uint64_t limit_;
    plat::File* file_;
    std::string* memory_;
    std::uint32_t crc_ = 0;
    std::uint64_t produced_ = 0;
    int errno_ = 0;
    bool sparse_ = false;
};

// Sequential reads of the archive from a member's data onward.
class TUnBase::ArchiveSource : public dec::Source {
public:
    explicit ArchiveSource(plat::File& f) : f_(f) {}
    std::int64_t read(std::uint8_t* buf, std::size_t n) override { return f_.read(buf, n); }

private:
    plat::File& f_;
};

TUnBase::TUnBase(TComponent* AOwner, TFramePolicy Policy) : TZipCommon(AOwner), Policy_(Policy) {
    dec::installTarballProbe();
    ProgressNotify = Ten;
    SetFileSpec("*.*");
    SetDateTo = OrigDate;
    UseStoredDirs = true;
}

TUnBase::~TUnBase() = default;

void TUnBase::DecoderError(int code) {
    dec::fail(code);
}

void TUnBase::Loaded() {
    TZipCommon::Loaded();
    if (FileSpec().empty()) SetFileSpec("*.*");
}

void TUnBase::Activated() {
    if (OnActivate) OnActivate(this);
}

bool TUnBase::CanDecode(const TMemberDesc& m) const {
    return dec::canDecode(fmt::findMethod(Methods(), m.Method));
}

void TUnBase::DecodeMember(TMemberDesc& m, dec::Input& in, dec::Sink& out) {
    const fmt::MethodInfo* method = fmt::findMethod(Methods(), m.Method);
    dec::Decoder* d = method ? Decoders_.get(method->Decoder) : nullptr;
    if (!d) DecoderError(err::UnsupportedMethod);
    dec::Params p;
    p.Size = m.SizeKnown ? m.UnpackedSize : dec::kUnknownSize;
    p.Flags = m.Flags;
    p.Variant = method->Variant;
    d->decode(in, out, p);
}

void TUnBase::RestoreAttributes(int, const TMemberDesc&) {}

dec::Source& TUnBase::MemberData(const TMemberDesc& m) {
    if (!Archive_.seek(m.DataOffset)) MemberError(err::ReadError);
    if (!ArchiveData_) ArchiveData_ = std::make_unique<ArchiveSource>(Archive_);
    return *ArchiveData_;
}

bool TUnBase::RangesOverlap(std::vector<TByteRange>& ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const TByteRange& a, const TByteRange& b) { return a.Begin < b.Begin; });
    std::uint64_t end = 0;
    for (const TByteRange& r : ranges) {
        if (r.Begin < end) return true;
        end = std::max(end, r.End);
    }
    return false;
}

void TUnBase::Extract() {
    SetCancel(false);
    FileCount = 0;
    NothingDone = true;
    FileName.clear();
    StopCode = 0;
    StopReason.clear();
    CurrentPassword_.clear();
    LastPercent = 0;
    Root_ = plat::ConfinedDir();

    try {
        if (ArchiveFile_.empty()) RaiseError(ArchiveFile_, err::InvalidFileName);
        if (!AcceptsArcType(ArcType_)) RaiseError(ArchiveFile_, err::UnsupportedArcType);
        if (!Archive_.open(ArchiveFile_, plat::File::Mode::Read))
            RaiseError(ArchiveFile_, err::OpenError);
    } catch (const E_RAISE& e) {
        StopCode = e.Code;
        return;
    }

    const std::string& spec = FileSpec();
    WildSpec_ = Policy_.OnPlainSpec == TFramePolicy::PlainSpec::StopAfterOneStarOnly
                    ? spec.find('*') != std::string::npos
                    : spec.find_first_of("*?") != std::string::npos;

    auto finish = [this] {
        Archive_.close();
        Root_ = plat::ConfinedDir();
        if (OnDeactivate) OnDeactivate(this);
    };
    try {
        ExtractMembers();
        if (Policy_.NothingToDoAtEnd && NothingDone) RaiseError(ArchiveFile_, err::NothingToDo);
    } catch (const E_RAISE& e) {
        StopCode = e.Code;
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

TUnBase::Next TUnBase::AfterMember() const {
    const bool stops = Policy_.OnPlainSpec != TFramePolicy::PlainSpec::SelectAll;
    return (!WildSpec_ && stops) ? Next::Stop : Next::Continue;
}

// Splits FileName into the folder under ExtractDir and the name, and opens
// the folder (creating it when asked).  False with errno when the folder
// cannot be opened; ENOENT when it does not exist and was not to be made.
bool TUnBase::ResolveTarget(Target& t, bool create) {
    const std::string& root = ExtractDir();
    if (FileName.compare(0, root.size(), root) != 0) {
        errno = EINVAL;
        return false;
    }
    const std::string rel = FileName.substr(root.size());
    const std::size_t slash = rel.rfind('/');
    t.folder = slash == std::string::npos ? std::string() : rel.substr(0, slash);
    t.name = slash == std::string::npos ? rel : rel.substr(slash + 1);
    if (!Root_.isOpen()) {
        const std::string dir = plat::excludeTrailingDelimiter(root);
        if (!create && !plat::directoryExists(dir)) {
            errno = ENOENT;
            return false;
        }
        if (create && !plat::directoryExists(dir)) plat::forceDirectories(dir);
        if (!Root_.open(dir)) return false;
    }
    t.dir = Root_.folder(t.folder, create);
    return t.dir.valid();
}

TUnBase::Next TUnBase::MakeFolder(const TMemberDesc& m) {
    if (TestOnly || !UseStoredDirs) return Next::Continue;
    std::string name = m.StoredName;
    while (!name.empty() && name.back() == '/') name.pop_back();
    if (name.empty() || !MatchSpec(FileSpec(), name, false)) return Next::Continue;
    // FileName ends with '/': its folder part is the member.
    Target t;
    if (!ResolveTarget(t, true)) {
        if (nameRefused(errno))
            ReportError(FileName, "0", err::InvalidFileName);
        else
            ReportError(FileName, "0", err::CreateDirError);
    } else if (SetDateTo == OrigDate && !t.folder.empty()) {
        // Files written into it later move its time again; the stamp is
        // mainly for folders that stay empty.
        const std::size_t slash = t.folder.rfind('/');
        const std::string parent = slash == std::string::npos ? "" : t.folder.substr(0, slash);
        const std::string leaf = slash == std::string::npos ? t.folder : t.folder.substr(slash + 1);
        plat::DirFd p = Root_.folder(parent, false);
        if (p.valid()) plat::ConfinedDir::setFolderTime(p.get(), leaf, m.ModificationTime);
    }
    return Next::Continue;
}

TUnBase::Next TUnBase::ProcessMember(TMemberDesc& m) {
    if (Cancel()) return Next::Stop;
    if (m.StoredName.empty()) return Next::Stop;
    MakeFileName(m.StoredName);
    if (m.Type == TMemberDesc::Kind::Label) return Next::Continue;
    if (m.Type == TMemberDesc::Kind::Folder || m.StoredName.back() == '/') return MakeFolder(m);

    if (!MatchSpec(FileSpec(), m.StoredName, false)) {
        if (Policy_.OnUnselected == TFramePolicy::Unselected::Reported)
            ReportError(FileName, "0", err::SkippedFile);
        return Next::Continue;
    }
    // A name that leaves nothing once its climbing parts are dropped.
    if (FileName.empty() || FileName.back() == '/') {
        ReportError(FileName.empty() ? m.StoredName : FileName + m.StoredName, "0",
                    err::InvalidFileName);
        return Next::Continue;
    }

    MemberSelected(m);
    ++FileCount;
    bool extract = true;
    bool exists = false;
    Target target;
    auto existsTest = [&] {
        if (TestOnly || !OnFileExists) return;
        exists =
            ResolveTarget(target, false) &&
            plat::ConfinedDir::entry(target.dir.get(), target.name).Kind != plat::EntryKind::None;
        if (exists) OnFileExists(this, FileName, ConvertDate(m.ExistsDate), extract);
    };
    auto begin = [&] {
        if (extract && OnBegin) OnBegin(this, FileName, FileCount, extract);
    };
    if (Policy_.EventOrder == TFramePolicy::Order::BeginThenExists) {
        begin();
        if (extract) existsTest();
    } else {
        existsTest();
        begin();
    }

    if (!extract) {
        switch (Policy_.OnDeclined) {
        case TFramePolicy::Declined::EndPass:
            if (OnEnd) OnEnd(this, FileName, true);
            break;
        case TFramePolicy::Declined::Reported:
            ReportError(FileName, "0", err::SkippedFile);
            break;
        case TFramePolicy::Declined::Silent:
            break;
        }
        return AfterMember();
    }

    if (!CanDecode(m)) DecoderError(err::UnsupportedMethod);
    if (!TestOnly && !target.dir.valid()) {
        if (!ResolveTarget(target, true)) {
            if (nameRefused(errno)) {
                ReportError(FileName, "0", err::InvalidFileName);
                return Next::Continue;
            }
            StopReason = std::strerror(errno);
            DecoderError(err::OpenError);
        }
    }

    bool pass = false;
    try {
        pass = DecodeSelected(m, target, exists);
    } catch (const NameRefused&) {
        ReportError(FileName, "0", err::InvalidFileName);
        return Next::Continue;
    } catch (const CreateSkipped&) {
        return AfterMember();
    }

    if (OnEnd)
        OnEnd(this, FileName, pass);
    else if (!pass)
        ReportError(FileName, "0", err::CrcError);
    return AfterMember();
}

// Decodes a selected member, obtaining its password first when it is
// encrypted; tells whether it passed its checks.
bool TUnBase::DecodeSelected(TMemberDesc& m, Target& target, bool exists) {
    const bool targetKnown = !TestOnly;
    bool pass = false;
    TMemberCipher* cipher = m.Encrypted ? MemberCipher(m) : nullptr;
    if (cipher) {
        const std::size_t headerSize = cipher->HeaderSize();
        std::vector<std::uint8_t> header(headerSize);
        if (m.PackedSize < headerSize || !Archive_.seek(m.DataOffset) ||
            (headerSize && !Archive_.readExact(header.data(), headerSize)))
            MemberError(err::ReadError);
        const std::size_t trailerSize = cipher->TrailerSize();
        if (m.PackedSize - headerSize < trailerSize) MemberError(err::ReadError);
        TMemberDesc data = m;
        data.DataOffset += static_cast<std::int64_t>(headerSize);
        data.PackedSize -= headerSize + trailerSize;
        // A wrong password can pass a check byte: the data then fails its
        // check, and the password is treated as wrong.  A cipher whose test
        // is certain takes a failure of the data as damage.
        std::set<std::string> wrong;
        bool accepted = false;
        auto attempt = [&](const std::string& password) {
            if (wrong.count(password) || !cipher->TryPassword(password, header.data(), m))
                return false;
            bool ok = false;
            data.DataFailed = false;
            try {
                ok = Decode(data, cipher, targetKnown ? &target : nullptr, exists);
            } catch (const E_RAISE& e) {
                if (e.Code == err::OpenError || e.Code == err::WriteError) throw;
            }
            exists = true;
            if (!ok && cipher->PasswordCertain()) {
                // Damaged: what was written of it is of no use.
                if (!TestOnly && target.dir.valid())
                    plat::ConfinedDir::removeEntry(target.dir.get(), target.name);
                pass = false;
                return true;
            }
            if (!ok) wrong.insert(password);
            pass = ok;
            return ok;
        };
        accepted = attempt(CurrentPassword_);
        for (std::size_t i = 0; !accepted && i < Passwords.Strings.size(); ++i)
            if (attempt(Passwords.Strings[i])) {
                accepted = true;
                CurrentPassword_ = Passwords.Strings[i];
            }
        if (!accepted) {
            if (!OnGetPassword) MemberError(err::EventNotAssigned);
            for (int asked = 0; asked < 3 && !accepted; ++asked) {
                std::string password = CurrentPassword_;
                bool tryAgain = true;
                OnGetPassword(this, FileName, password, tryAgain);
                if (!tryAgain) break;
                if (attempt(password)) {
                    accepted = true;
                    CurrentPassword_ = password;
                    Passwords.Strings.insert(Passwords.Strings.begin(), password);
                } else {
                    CurrentPassword_.clear();
                    ReportError(FileName, "0", err::InvalidPassword);
                }
            }
            if (!accepted) {
                // What the wrong passwords made of the data is of no use.
                if (!TestOnly && exists && target.dir.valid())
                    plat::ConfinedDir::removeEntry(target.dir.get(), target.name);
                MemberError(err::PasswordFailed);
            }
        }
    } else {
        pass = Decode(m, nullptr, targetKnown ? &target : nullptr, exists);
    }
    return pass;
}

bool TUnBase::CheckVerdict(const TMemberDesc& m, const Output& out) const {
    if (m.DataFailed) return false;
    // Fewer bytes than stated fail too; some writers stated sizes of 4 GiB
    // and more only in their low 32 bits, so a difference of whole 4 GiB
    // steps with a matching check value is theirs, not the data's.
    if (m.SizeKnown && out.produced() != m.UnpackedSize &&
        (out.produced() > m.UnpackedSize || ((m.UnpackedSize - out.produced()) & 0xFFFFFFFF) != 0))
        return false;
    if (m.CrcUnchecked) return true;
    switch (Policy_.Verdict) {
    case TVerdict::Crc32:
        return (out.crc() ^ 0xFFFFFFFFu) == m.StoredCrc;
    case TVerdict::Crc32NoComplement:
        return out.crc() == m.StoredCrc;
    case TVerdict::Crc16:
        return (out.crc() & 0xFFFF) == (m.StoredCrc & 0xFFFF);
    case TVerdict::AlwaysPass:
        return true;
    }
    return true;
}

// Decodes the member into its target (or nowhere when only testing) and
// tells whether it passed its checks.  Decoder errors and write errors
// propagate; the file is stamped and closed whatever happens.
bool TUnBase::Decode(TMemberDesc& m, TMemberCipher* cipher, Target* target, bool existed) {
    const bool toFile = target != nullptr && !TestOnly;
    const bool link = m.Type == TMemberDesc::Kind::Symlink || m.Type == TMemberDesc::Kind::HardLink;
    plat::File out;
    std::string linkData;
    if (toFile && !link) {
        const int fd = plat::ConfinedDir::createFile(target->dir.get(), target->name, existed);
        if (fd < 0) {
            if (nameRefused(errno)) throw NameRefused{};
            StopReason = writeFailure(errno);
            switch (Policy_.OnCreateFailure) {
            case TFramePolicy::CreateFailure::Stop:
                DecoderError(err::OpenError);
            case TFramePolicy::CreateFailure::StopReported:
                RaiseError(FileName, Policy_.CreateFailureCode);
            case TFramePolicy::CreateFailure::SkipReported:
                ReportError(FileName, "0", Policy_.CreateFailureCode);
                throw CreateSkipped{};
            }
        }
        out.adopt(fd, FileName, true);
    }
    const std::uint64_t limit = m.SizeKnown ? m.UnpackedSize : dec::kUnknownSize;
    Output sink(Policy_.Verdict, limit, toFile && !link ? &out : nullptr,
                m.Type == TMemberDesc::Kind::Symlink ? &linkData : nullptr);
    LastPercent = 0;

    auto closeAndStamp = [&]() -> bool {
        if (!toFile || link) return true;
        bool ok = sink.finishHoles() && out.flush();
        if (!ok) StopReason = writeFailure(errno);
        if (SetDateTo == OrigDate)
            plat::ConfinedDir::setModificationTime(out.descriptor(), m.ModificationTime);
        if (Policy_.Restores == TFramePolicy::Restore::TimeAndAttributes)
            RestoreAttributes(out.descriptor(), m);
        return out.close() && ok;
    };

    bool overrun = false;
    // A link whose target the header gives has no data to decode (a hard
    // link's data is the earlier member's).
    const bool headerOnly = m.Type == TMemberDesc::Kind::HardLink ||
                            (m.Type == TMemberDesc::Kind::Symlink && !m.LinkTarget.empty());
    if (!headerOnly) {
        dec::Input in(MemberData(m), m.PackedSize, cipher, this);
        try {
            DecodeMember(m, in, sink);
            if (cipher && cipher->TrailerSize()) {
                // Every encrypted byte counts for the authentication code,
                // also those the decoder left.
                const std::uint8_t* rest;
                while (in.takeBlock(rest, false)) {}
                std::vector<std::uint8_t> trailer(cipher->TrailerSize());
                const std::int64_t at = m.DataOffset + static_cast<std::int64_t>(m.PackedSize);
                if (Archive_.readAt(at, trailer.data(), trailer.size()) !=
                        static_cast<std::int64_t>(trailer.size()) ||
                    !cipher->Authentic(trailer.data()))
                    m.DataFailed = true;
            }
        } catch (const OutputOverrun&) {
            overrun = true;
        } catch (const E_RAISE& e) {
            if (e.Code == err::WriteError && sink.writeErrno())
                StopReason = writeFailure(sink.writeErrno());
            closeAndStamp();
            // A file cut short by a full disk is of no use and holds space.
            if (e.Code == err::WriteError && toFile && !link)
                plat::ConfinedDir::removeEntry(target->dir.get(), target->name);
            throw;
        } catch (...) {
            closeAndStamp();
            throw;
        }
    }
    NothingDone = false;
    if (!closeAndStamp()) {
        if (toFile) plat::ConfinedDir::removeEntry(target->dir.get(), target->name);
        DecoderError(err::WriteError);
    }

    if (link && toFile) {
        const int dir = target->dir.get();
        if (m.Type == TMemberDesc::Kind::Symlink) {
            const std::string& to = m.LinkTarget.empty() ? linkData : m.LinkTarget;
            if (overrun || to.empty() || to.find('\0') != std::string::npos) return false;
            if (!plat::ConfinedDir::createSymlink(dir, target->name, to)) {
                ReportError(FileName, "0", err::OpenError);
                return false;
            }
            if (SetDateTo == OrigDate)
                plat::ConfinedDir::setFolderTime(dir, target->name, m.ModificationTime);
        } else {
            // The earlier member, confined as every stored name is.
            const std::string saved = FileName;
            MakeFileName(m.LinkTarget);
            Target from;
            const bool found =
                !FileName.empty() && FileName.back() != '/' && ResolveTarget(from, false);
            FileName = saved;
            if (!found ||
                !plat::ConfinedDir::createHardLink(from.dir.get(), from.name, dir, target->name)) {
                ReportError(FileName, "0", err::OpenError);
                return false;
            }
            return true;
        }
    }
    if (overrun) return false;
    if (headerOnly) return true;
    return CheckVerdict(m, sink);
}

void TUnBase::inputConsumed(std::uint64_t total, std::uint64_t before, std::uint64_t after,
                            bool force) {
    if (total == 0 || after == 0) return;
    if (force) {
        if (after == total && LastPercent == 100) return;
        DoProgress(true, static_cast<std::int64_t>(total), static_cast<std::int64_t>(after));
        return;
    }
    // The decoders test after every byte; a block at a time, report each
    // step that those tests would have hit.  100 comes with the final test.
    const int step = ProgressStep();
    for (int pct = step; pct < 100; pct += step) {
        if (pct <= LastPercent) continue;
        std::uint64_t d = (static_cast<std::uint64_t>(pct) * total + 99) / 100;
        if (d > after) break;
        if (d <= before || d >= total) continue;
        if (d * 100 / total != static_cast<std::uint64_t>(pct)) continue;
        LastPercent = static_cast<std::uint8_t>(pct);
        if (OnProgress) OnProgress(this, FileName, LastPercent);
    }
}
