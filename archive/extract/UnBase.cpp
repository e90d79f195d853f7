#include "archive/extract/UnBase.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "archive/core/Crc.h"
#include "archive/core/MatchSpec.h"
#include "archive/extract/Inflate.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace {

bool lexists(const std::string& path, struct stat& st) {
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

// The output writer: the CRC over every byte, then the file (none when
// only testing).
class TUnBase::Sink : public unz::OutputSink {
public:
    Sink(TVerdict verdict, std::uint32_t& crc, plat::File* file)
        : verdict_(verdict), crc_(crc), file_(file) {}
    bool write(const std::uint8_t* buf, std::size_t n) override {
        if (verdict_ == TVerdict::Crc16) {
            std::uint16_t c = static_cast<std::uint16_t>(crc_);
            Crc16Update(buf, n, c);
            crc_ = c;
        } else if (verdict_ != TVerdict::AlwaysPass) {
            Crc32Update(buf, n, crc_);
        }
        return !file_ || file_->write(buf, n);
    }

private:
    TVerdict verdict_;
    std::uint32_t& crc_;
    plat::File* file_;
};

// Sequential reads of the archive from a member's data onward.
class TUnBase::ArchiveSource : public unz::InputSource {
public:
    explicit ArchiveSource(plat::File& f) : f_(f) {}
    std::int64_t read(std::uint8_t* buf, std::size_t n) override { return f_.read(buf, n); }

private:
    plat::File& f_;
};

TUnBase::TUnBase(TComponent* AOwner, TFramePolicy Policy) : TZipCommon(AOwner), Policy_(Policy) {
    ProgressNotify = Ten;
    SetFileSpec("*.*");
    SetDateTo = OrigDate;
    UseStoredDirs = true;
}

TUnBase::~TUnBase() = default;

void TUnBase::DecoderError(int code) {
    throw E_RAISE(ErrorMessage(code), code);
}

void TUnBase::Loaded() {
    TZipCommon::Loaded();
    if (FileSpec().empty()) SetFileSpec("*.*");
}

void TUnBase::Activated() {
    if (OnActivate) OnActivate(this);
}

void TUnBase::Extract() {
    SetCancel(false);
    FileCount = 0;
    NothingDone = true;
    FileName.clear();
    StopCode = 0;
    CurrentPassword_.clear();
    LastPercent = 0;
    LastFolderMade_.clear();

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
    WildSpec_ = Policy_.PlainNameTestsStarOnly ? spec.find('*') != std::string::npos
                                               : spec.find_first_of("*?") != std::string::npos;

    auto finish = [this] {
        Archive_.close();
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

TUnBase::Next TUnBase::ProcessMember(TMemberDesc& m) {
    if (Cancel()) return Next::Stop;
    if (m.StoredName.empty()) return Next::Stop;
    MakeFileName(m.StoredName);
    if (m.IsDirectory || (m.ExternalAttr & 0x18) || m.StoredName.back() == '/')
        return Next::Continue;

    if (!MatchSpec(FileSpec(), m.StoredName, false)) {
        if (Policy_.ReportSkipped) ReportError(FileName, "0", err::SkippedFile);
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
    struct stat st;
    const bool exists = !TestOnly && lexists(FileName, st);
    auto existsTest = [&] {
        if (exists && OnFileExists)
            OnFileExists(this, FileName, ConvertDate(m.ExistsDate), extract);
    };
    auto begin = [&] {
        if (extract && OnBegin) OnBegin(this, FileName, FileCount, extract);
    };
    if (Policy_.BeginBeforeExists) {
        begin();
        if (extract) existsTest();
    } else {
        existsTest();
        begin();
    }

    bool pass = true;
    if (!extract) {
        if (!Policy_.EndForDeclined) {
            if (Policy_.ReportDeclined) ReportError(FileName, "0", err::SkippedFile);
            return (!WildSpec_ && Policy_.StopAfterPlainName) ? Next::Stop : Next::Continue;
        }
    } else {
        if (!MethodSupported(m)) DecoderError(err::UnsupportedMethod);
        if (!TestOnly) {
            std::string folder = plat::extractFilePath(FileName);
            if (folder != LastFolderMade_) {
                if (!ConfineTarget()) {
                    ReportError(FileName, "0", err::InvalidFileName);
                    return Next::Continue;
                }
                if (plat::forceDirectories(folder)) LastFolderMade_ = folder;
            }
        }
        if (m.Encrypted && Policy_.HasPasswords) {
            std::uint8_t header[12];
            if (m.PackedSize < 12 || !Archive_.seek(m.DataOffset) ||
                !Archive_.readExact(header, 12))
                MemberError(err::ReadError);
            ObtainPassword(m, header);
            TMemberDesc data = m;
            data.DataOffset += 12;
            data.PackedSize -= 12;
            try {
                DecodeInto(data, true, !TestOnly, exists);
            } catch (const E_RAISE& e) {
                // A wrong password can pass the one-byte check: garbage
                // ends this member only.  Output failures stop as always.
                if (e.Code == err::OpenError || e.Code == err::WriteError) throw;
            }
        } else {
            DecodeInto(m, false, !TestOnly, exists);
        }
        switch (Policy_.Verdict) {
        case TVerdict::Crc32:
            pass = (Crc_ ^ 0xFFFFFFFFu) == m.StoredCrc;
            break;
        case TVerdict::Crc32NoComplement:
            pass = Crc_ == m.StoredCrc;
            break;
        case TVerdict::Crc16:
            pass = (Crc_ & 0xFFFF) == (m.StoredCrc & 0xFFFF);
            break;
        case TVerdict::AlwaysPass:
            pass = true;
            break;
        }
    }

    if (OnEnd)
        OnEnd(this, FileName, pass);
    else if (extract && !pass)
        ReportError(FileName, "0", err::CrcError);
    return (!WildSpec_ && Policy_.StopAfterPlainName) ? Next::Stop : Next::Continue;
}

bool TUnBase::ObtainPassword(const TMemberDesc& m, const std::uint8_t header[12]) {
    if (Crypt_.tryPassword(CurrentPassword_, header, m.PasswordCheck)) return true;
    for (const auto& p : Passwords)
        if (Crypt_.tryPassword(p, header, m.PasswordCheck)) {
            CurrentPassword_ = p;
            return true;
        }
    if (!OnGetPassword) MemberError(err::EventNotAssigned);
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string password = CurrentPassword_;
        bool tryAgain = true;
        OnGetPassword(this, FileName, password, tryAgain);
        if (!tryAgain) break;
        if (Crypt_.tryPassword(password, header, m.PasswordCheck)) {
            CurrentPassword_ = password;
            Passwords.Strings.insert(Passwords.Strings.begin(), password);
            return true;
        }
        CurrentPassword_.clear();
        ReportError(FileName, "0", err::InvalidPassword);
    }
    MemberError(err::PasswordFailed);
}

bool TUnBase::ConfineTarget() {
    // Every folder between ExtractDir and the file must be a real folder:
    // a symbolic link there could lead out of the target.
    const std::string& root = ExtractDir();
    if (FileName.compare(0, root.size(), root) != 0) return false;
    std::size_t pos = root.size();
    for (;;) {
        std::size_t slash = FileName.find('/', pos);
        if (slash == std::string::npos) break;
        struct stat st;
        std::string dir = FileName.substr(0, slash);
        if (!lexists(dir, st)) break;
        if (S_ISLNK(st.st_mode)) return false;
        pos = slash + 1;
    }
    return true;
}

void TUnBase::DecodeInto(TMemberDesc& m, bool decrypt, bool toFile, bool existed) {
    plat::File out;
    if (toFile) {
        // Replace rather than write through whatever is there: a link, a
        // read-only file, another name of the same file.
        if (existed) ::unlink(FileName.c_str());
        if (!out.open(FileName, plat::File::Mode::Create)) DecoderError(err::OpenError);
    }
    Crc_ = Policy_.Verdict == TVerdict::Crc16 ? 0u : 0xFFFFFFFFu;
    LastPercent = 0;
    Sink sink(Policy_.Verdict, Crc_, toFile ? &out : nullptr);
    ArchiveSource src(Archive_);
    if (!Archive_.seek(m.DataOffset)) MemberError(err::ReadError);
    unz::MemberInput in(src, m.PackedSize, decrypt ? &Crypt_ : nullptr, this);

    auto closeAndStamp = [&]() -> bool {
        if (!toFile) return true;
        bool ok = out.close();
        if (SetDateTo == OrigDate && Policy_.RestoreTime)
            plat::setFileModificationTime(FileName, plat::dosToUnix(m.DosDateTime));
        if (Policy_.RestoreAttributes) RestoreAttributes(FileName, m);
        return ok;
    };
    try {
        DecodeMember(m, in, sink);
    } catch (...) {
        closeAndStamp();
        throw;
    }
    NothingDone = false;
    if (!closeAndStamp()) DecoderError(err::WriteError);
}

void TUnBase::InflateMember(unz::MemberInput& in, unz::OutputSink& out) {
    if (!Inflater_) Inflater_ = std::make_unique<Inflater>();
    Inflater_->Input = [&in](std::uint8_t* buf, std::size_t cap) {
        return static_cast<std::ptrdiff_t>(in.read(buf, cap));
    };
    Inflater_->Output = [&out](const std::uint8_t* data, std::size_t len) {
        return out.write(data, len);
    };
    const int rc = Inflater_->Inflate();
    Inflater_->Input = nullptr;
    Inflater_->Output = nullptr;
    if (rc != 0) DecoderError(rc);
    in.finish();
}

void TUnBase::RestoreAttributes(const std::string& path, const TMemberDesc& m) {
    // Made on Unix: the permission bits ride in the high 16 bits.  A link
    // or device arrives here as a plain file and keeps plain permissions.
    const std::uint32_t mode = m.ExternalAttr >> 16;
    const std::uint32_t type = mode & 0170000;
    if ((m.VersionMadeBy >> 8) == 3 && mode != 0 && (type == 0 || type == 0100000))
        plat::setPermissions(path, mode & 0777);
    else if (m.ExternalAttr & plat::faReadOnly)
        plat::setAttributes(path, plat::faReadOnly);
    // Otherwise the new file already has its owner write bit.
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
