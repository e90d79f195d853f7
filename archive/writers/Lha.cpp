#include "archive/writers/Lha.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>

#include "archive/core/Crc.h"
#include "archive/core/Hooks.h"
#include "archive/core/MatchSpec.h"
#include "archive/format/LhaFormat.h"
#include "archive/list/ArcLister.h"
#include "archive/writers/Lzhuf.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace {

constexpr std::size_t kCopyBlock = 64 * 1024;
constexpr std::int64_t kMax32 = 0xFFFFFFFF;

bool hasWildcards(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

// A folder as stored: no leading '/', no "." parts, ".." taking back the
// part before it and never climbing above the first, '/' between.
std::string storedFolder(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        const std::string part = path.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

std::string joinStored(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + '/' + name;
}

} // namespace

// State of one Compress run; whatever it leaves behind is removed when it
// ends unless the new archive was put in place.
struct TLha::Run {
    std::string Archive; // the file to replace, links resolved
    bool Exists = false;
    std::int64_t Start = 0; // the first header; bytes before it are kept
    std::vector<TCompHeader> Members;
    plat::File Old;
    std::string OutName;
    plat::File Out;
    std::unique_ptr<TTempFileStream> New; // the new members
    std::vector<std::uint8_t> Buf = std::vector<std::uint8_t>(kCopyBlock);
    int Count = 0;
    std::set<std::string> Replaced;            // names of members that new ones replace
    std::map<std::string, plat::FileId> Added; // names written in this run
    std::vector<std::string> Originals;        // files whose contents are now members
    std::set<plat::FileId> Own;                // the archive and the temporary files
    bool Activated = false;

    Run() = default;
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;
    ~Run() {
        Out.close();
        if (!OutName.empty()) plat::deleteFile(OutName);
        if (New) {
            New->close();
            plat::deleteFile(New->Name());
        }
    }

    void own(const std::string& path) {
        if (const auto id = plat::fileIdentity(path)) Own.insert(*id);
    }
};

namespace {

// The input of one member: reads end at the next progress step, so that
// each step is reported as if it were decided byte by byte; updates the
// CRC-16 on the way.
class MemberInput {
public:
    MemberInput(TLha& owner, plat::File& in, const std::string& path, std::int64_t total,
                bool progress)
        : owner_(owner), in_(in), path_(path), total_(total), progress_(progress) {}

    std::size_t read(std::uint8_t* buf, std::size_t n) {
        // A level-0 header holds 32-bit sizes; a file that grew past them
        // while it was read is cut there.
        n = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(n), kMax32 - done_));
        if (progress_ && total_ > 0 && done_ < total_) {
            const std::int64_t step = owner_.ProgressStep();
            const std::int64_t next = (done_ * 100 / total_ / step + 1) * step;
            const std::int64_t boundary = (next * total_ + 99) / 100;
            if (boundary > done_)
                n = static_cast<std::size_t>(
                    std::min<std::int64_t>(static_cast<std::int64_t>(n), boundary - done_));
        }
        if (n == 0) return 0;
        const std::int64_t got = in_.read(buf, n);
        if (got < 0) owner_.RaiseError(path_, err::ReadError);
        Crc16Update(buf, static_cast<std::size_t>(got), crc_);
        done_ += got;
        if (progress_ && got > 0) owner_.DoProgress(false, total_, done_);
        return static_cast<std::size_t>(got);
    }

    // The last step when the file turned out shorter than it was.
    void finish() {
        if (progress_ && done_ > 0 && owner_.LastPercent != 100)
            owner_.DoProgress(false, done_, done_);
    }

    std::int64_t done() const { return done_; }
    std::uint16_t crc() const { return crc_; }

private:
    TLha& owner_;
    plat::File& in_;
    const std::string& path_;
    std::int64_t total_;
    bool progress_;
    std::int64_t done_ = 0;
    std::uint16_t crc_ = 0;
};

} // namespace

TLha::TLha(TComponent* AOwner) : TCompBase(AOwner) {
    ArcType_ = atLHA;
}

TLha::~TLha() = default;

std::string TLha::DefaultExt() const {
    return DefaultExt_.empty() ? "LZH" : DefaultExt_;
}

void TLha::SetDefaultExt(const std::string& Value) {
    const auto dot = Value.find('.');
    std::string ext = dot == std::string::npos ? Value : Value.substr(dot + 1);
    if (ext.size() > 3) ext.resize(3);
    DefaultExt_ = ext;
}

void TLha::SetArcType(TArcType) {
    ArcType_ = atLHA;
}

void TLha::SetArchiveFile(const std::string& Value) {
    TCompBase::SetArchiveFile(Value);
    Detected_ = ArcType_;
    CurrentPos = isLhaFamily() ? ArchiveStart : 1;
    ArcType_ = atLHA;
}

void TLha::detectExisting() {
    Detected_ = atNA;
    if (!ArchiveFile_.empty()) {
        DetectArcType();
        Detected_ = ArcType_;
    }
    CurrentPos = isLhaFamily() ? ArchiveStart : 1;
    ArcType_ = atLHA;
}

bool TLha::isLhaFamily() const {
    return Detected_ == atLHA || Detected_ == atLhaExe || Detected_ == atLZH ||
           Detected_ == atLzhExe;
}

void TLha::MakeFileName(const std::string& StoredName) {
    FileName =
        StoreDirs && !StoredName.empty() ? joinStored(GatherStored_, StoredName) : StoredName;
}

bool TLha::ReadHeader(TCompHeader& Header, plat::File& Stream, bool) {
    LastReadDamaged_ = false;
    const std::int64_t pos = Header.NextHeaderPos;
    const std::int64_t size = Stream.size();
    auto read = [&](std::int64_t p, void* buf, std::size_t n) {
        return Stream.readAt(p, buf, n) == static_cast<std::int64_t>(n);
    };
    lha::Header h;
    const lha::Status status = lha::readHeader(read, pos, size, h);
    if (status != lha::Status::Ok) {
        // The walk may end at the end of the file or at an end mark; any
        // other bytes there are a header this writer cannot carry over.
        std::uint8_t b = 0;
        LastReadDamaged_ = status == lha::Status::Damaged ||
                           (pos < size && (!read(pos, &b, 1) || b != lha::kEndMark));
        return false;
    }
    if (h.NextPos() > size) {
        LastReadDamaged_ = true;
        return false;
    }
    Header.Name = h.Path();
    // From level 2 on the stamp is Unix time.
    Header.DosDate = h.Level >= 2 ? plat::unixToDos(h.UnixModificationTime()) : h.Stamp;
    Header.Size = h.UnpackedSize;
    Header.Attr = h.DosAttr ? (*h.DosAttr & 0xFF) : h.Attr;
    Header.HeaderPos = pos;
    Header.NextHeaderPos = h.NextPos();
    Header.PackedSize = h.PackedSize;
    Header.Crc = h.Crc;
    Header.Method.assign(h.MethodId, 5);
    Stream.seek(h.DataPos());
    return true;
}

void TLha::NextEntry(TCompHeader& Header) {
    FileName = Header.Name;
    DateTime = Header.DosDate ? ConvertDate(Header.DosDate) : 0;
    PackedSize = Header.PackedSize;
    UnpackedSize = Header.Size;
    CRC = static_cast<std::uint16_t>(Header.Crc);
    Attr = Header.Attr;
    Method = Header.Method.size() >= 5 ? Header.Method[3] : 0;
    MethodName = "Unknown";
    if (Header.Method.size() >= 5) {
        const auto code =
            static_cast<std::uint32_t>(static_cast<std::uint8_t>(Header.Method[2]) << 8 |
                                       static_cast<std::uint8_t>(Header.Method[3]));
        if (const fmt::MethodInfo* m = fmt::findMethod(lha::methods(), code)) MethodName = m->Name;
    }
    Ratio = CalcRatio(PackedSize, UnpackedSize);
}

bool TLha::readMembers(plat::File& in, std::vector<TCompHeader>& members) {
    members.clear();
    TCompHeader h;
    bool more = FirstHeader(h, in, false);
    while (more) {
        members.push_back(h);
        more = ReadHeader(h, in, true);
    }
    return !LastReadDamaged_;
}

bool TLha::Compress() {
    // Reading the name also clears a Cancel left from an earlier run.
    if (ArchiveFile().empty()) return false;
    bool ok = false;
    std::unique_ptr<Run> run;
    try {
        detectExisting();
        if (Switch == swRead) {
            ListExisting();
            return true;
        }
        if (FileSpecList_.Count() == 0) return false;
        run = std::make_unique<Run>();
        if (!prepare(*run)) return false;
        LastPercent = 0;
        FileCount = 0;
        run->Activated = true;
        if (OnActivate) OnActivate(this);
        if (run->Start > 0) copyOut(*run, run->Old, 0, run->Start);
        const Outcome outcome = Switch == swDelete ? deleteMembers(*run) : addFiles(*run);
        if (outcome == Outcome::Write) commit(*run);
        ok = outcome != Outcome::Nothing;
    } catch (const E_RAISE&) {
        ok = false;
    } catch (const std::bad_alloc&) {
        ReportError(FileName, "0", err::OutOfMemory);
        ok = false;
    }
    Encoder_.reset();
    const bool activated = run && run->Activated;
    run.reset();
    if (activated && OnDeactivate) OnDeactivate(this);
    return ok;
}

bool TLha::prepare(Run& r) {
    r.Archive = ArchiveFile_;
    r.Exists = plat::pathExists(ArchiveFile_);
    if (r.Exists) {
        // Read-only files and anything but a file (a folder, a device) are
        // no archive to replace.  A name starting with a dot is no reason
        // here: the rename replaces such a file like any other.
        const int attr = plat::getAttributes(ArchiveFile_);
        if (attr < 0 || (attr & (plat::faReadOnly | plat::faSysFile | plat::faVolumeID)) ||
            !plat::isRegularFile(ArchiveFile_)) {
            ReportError(ArchiveFile_, "0", err::WriteError);
            return false;
        }
        // The new archive replaces what a link points at, not the link.
        std::error_code ec;
        const auto real = std::filesystem::canonical(ArchiveFile_, ec);
        if (!ec) r.Archive = real.string();
    }
    if (Switch == swDelete && !r.Exists) {
        ReportError(ArchiveFile_, "0", err::NothingToDo);
        return false;
    }

    if (r.Exists) {
        if (!r.Old.open(r.Archive, plat::File::Mode::Read)) {
            ReportError(ArchiveFile_, "0", err::OpenError);
            return false;
        }
        r.own(r.Archive);
        const std::int64_t size = r.Old.size();
        std::uint8_t first = 0;
        if (isLhaFamily()) {
            r.Start = CurrentPos - 1;
            if (!readMembers(r.Old, r.Members)) {
                ReportError(ArchiveFile_, "0", err::BadFileHeader);
                return false;
            }
        } else if (!(size == 0 ||
                     (size == 1 && r.Old.readAt(0, &first, 1) == 1 && first == lha::kEndMark))) {
            // Anything else would be lost under the new archive.
            ReportError(ArchiveFile_, "0", err::UnsupportedArcType);
            return false;
        }
    }
    ExistingEntries = r.Members;

    r.OutName = plat::tempFileIn(plat::extractFileDir(r.Archive), ".olmek");
    if (r.OutName.empty() || !r.Out.open(r.OutName, plat::File::Mode::Create)) {
        ReportError(ArchiveFile_, "0", err::WriteError);
        return false;
    }
    r.own(r.OutName);
    return true;
}

void TLha::copyOut(Run& r, plat::File& from, std::int64_t pos, std::int64_t len) {
    while (len > 0) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::int64_t>(len, static_cast<std::int64_t>(r.Buf.size())));
        if (from.readAt(pos, r.Buf.data(), n) != static_cast<std::int64_t>(n))
            RaiseError(ArchiveFile_, err::ReadError);
        if (!r.Out.write(r.Buf.data(), n)) RaiseError(ArchiveFile_, err::WriteError);
        pos += static_cast<std::int64_t>(n);
        len -= static_cast<std::int64_t>(n);
    }
}

TLha::Outcome TLha::addFiles(Run& r) {
    try {
        r.New = std::make_unique<TTempFileStream>();
    } catch (const EFOpenError&) {
        RaiseError(plat::tempDir(), err::OpenError);
    }
    r.own(r.New->Name());
    for (int i = 0; i < FileSpecList_.Count(); ++i) {
        ProcessMessages();
        if (Cancel_) break;
        gatherLine(r, FileSpecList_[i]);
    }
    FileCount = r.Count;
    if (r.Count == 0) {
        ReportError(ArchiveFile_, "0", err::NothingToDo);
        return Outcome::Nothing;
    }
    // The members kept, in their order, then the new ones.
    for (const TCompHeader& m : r.Members)
        if (!r.Replaced.count(m.Name))
            copyOut(r, r.Old, m.HeaderPos, m.NextHeaderPos - m.HeaderPos);
    const std::int64_t added = r.New->size();
    if (added < 0) RaiseError(ArchiveFile_, err::ReadError);
    copyOut(r, *r.New, 0, added);
    return Outcome::Write;
}

TLha::Outcome TLha::deleteMembers(Run& r) {
    int deleted = 0;
    for (const TCompHeader& m : r.Members) {
        int line = -1;
        // Cancelling keeps the members not yet looked at.
        if (!Cancel_) {
            for (int j = 0; j < FileSpecList_.Count() && line < 0; ++j)
                if (MatchSpec(FileSpecList_[j], m.Name, false)) line = j;
        }
        if (line >= 0) {
            FileName = m.Name;
            bool extract = true;
            if (OnBegin) OnBegin(this, FileName, line, extract);
            if (OnEnd) OnEnd(this, FileName, true);
            ++deleted;
        } else {
            copyOut(r, r.Old, m.HeaderPos, m.NextHeaderPos - m.HeaderPos);
            ++r.Count;
        }
    }
    FileCount = r.Count;
    if (deleted > 0 && r.Count > 0) return Outcome::Write;
    if (deleted > 0 && r.Start == 0) {
        // Nothing left: the archive goes.
        r.Old.close();
        if (!plat::deleteFile(r.Archive)) {
            ReportError(ArchiveFile_, "0", err::DeleteError);
            return Outcome::Nothing;
        }
        SetArchiveFile("");
        return Outcome::Removed;
    }
    // Nothing matched, or only the program in front of the archive would be left.
    ReportError(ArchiveFile_, "0", err::NothingToDo);
    return Outcome::Nothing;
}

void TLha::commit(Run& r) {
    const std::uint8_t end = lha::kEndMark;
    if (!r.Out.write(&end, 1) || !r.Out.close()) RaiseError(ArchiveFile_, err::WriteError);
    // A new archive gets the permissions any new file would; a replaced
    // one keeps its own, and its owner where this process may say so.
    if (!r.Exists || !plat::copyOwnerAndPermissions(r.Archive, r.OutName))
        plat::setPermissions(r.OutName, 0666 & ~plat::creationMask());
    r.Old.close();
    if (!plat::renameFile(r.OutName, r.Archive)) RaiseError(ArchiveFile_, err::WriteError);
    r.OutName.clear();
    if (Switch == swDelete) return;

    detectExisting();
    plat::File again;
    if (again.open(ArchiveFile_, plat::File::Mode::Read)) {
        readMembers(again, ExistingEntries);
        if (OnRead) {
            for (std::size_t i = 0; i < ExistingEntries.size(); ++i) {
                NextEntry(ExistingEntries[i]);
                OnRead(this, ExistingEntries[i].HeaderPos, static_cast<int>(i + 1));
            }
        }
    }
    if (Switch == swMove) moveOriginals(r);
}

void TLha::gatherLine(Run& run, const std::string& line) {
    std::string l = line;
    std::replace(l.begin(), l.end(), '\\', '/');
    const auto slash = l.rfind('/');
    const std::string mask = slash == std::string::npos ? l : l.substr(slash + 1);
    if (mask.empty()) return;
    std::string dir, stored;
    if (slash == std::string::npos) {
        dir = DefaultDir();
        stored = dir;
    } else {
        // The folder as the caller named it, relative ones under DefaultDir.
        const std::string folder = l.substr(0, slash + 1);
        dir = folder[0] == '/' ? folder : plat::includeTrailingDelimiter(DefaultDir()) + folder;
        stored = folder;
    }
    if (!plat::directoryExists(dir)) return;
    gatherFolder(run, plat::excludeTrailingDelimiter(dir), storedFolder(stored), mask);
}

void TLha::gatherFolder(Run& run, const std::string& dir, const std::string& stored,
                        const std::string& mask) {
    const bool wild = hasWildcards(mask);
    std::vector<std::string> subfolders;
    for (const std::string& name : plat::folderEntries(dir)) {
        if (Cancel_) return;
        const std::string path = plat::includeTrailingDelimiter(dir) + name;
        const auto id = plat::fileIdentity(path);
        if (!id) {
            // A link to nothing has nothing to keep; a file that went away
            // since the folder was read ends the run like one that cannot
            // be opened.
            if (plat::pathExists(path)) continue;
            RaiseError(path, err::OpenError);
        }
        if (plat::directoryExists(path)) {
            // Linked folders are not followed: they may lead back up.
            if (RecurseDirs && name[0] != '.' && !plat::isSymlink(path)) subfolders.push_back(name);
            continue;
        }
        // Devices, pipes and sockets have no contents to keep.
        if (!plat::isRegularFile(path) || run.Own.count(*id)) continue;
        const int attr = plat::getAttributes(path);
        if (attr < 0) continue;
        const int special = attr & (plat::faHidden | plat::faSysFile | plat::faVolumeID);
        if (special & ~FileAttribute_.Mask) continue;
        if (!(FileAttribute_.Mask & plat::faArchive) && attr == plat::faArchive) continue;
        // Names are case-sensitive here: a plain name means that file only.
        if (wild ? !MatchSpec(mask, name, true) : name != mask) continue;
        GatherStored_ = stored;
        MakeFileName(name);
        addFile(run, path, FileName);
    }
    for (const std::string& sub : subfolders) {
        if (Cancel_) return;
        const std::string path = plat::includeTrailingDelimiter(dir) + sub;
        if (OnRecurseDir) OnRecurseDir(this, path);
        gatherFolder(run, path, joinStored(stored, sub), mask);
    }
}

void TLha::addFile(Run& run, const std::string& path, const std::string& name) {
    std::string raw = name;
    std::replace(raw.begin(), raw.end(), '/', '\\');
    // LHA tools read '\' as the folder separator of level-0 names.
    const std::string key = fmt::storedName(raw);
    FileName = key;
    if (raw.empty() || raw.size() > lha::kMaxLevel0Name) {
        ReportError(path, "0", err::InvalidFileName);
        return;
    }

    plat::File in;
    if (!in.open(path, plat::File::Mode::Read)) RaiseError(path, err::OpenError);
    const auto mtime = in.modificationTime();
    const std::int64_t size = in.size();
    const auto id = plat::fileIdentity(path);
    if (!mtime || size < 0 || !id) RaiseError(path, err::ReadError);
    if (auto it = run.Added.find(key); it != run.Added.end()) {
        // Two files under one name: the first one stays.
        if (it->second != *id) ReportError(path, "0", err::SkippedFile);
        return;
    }
    if (size > kMax32) {
        ReportError(path, "0", err::SkippedFile);
        return;
    }
    const std::uint32_t stamp = plat::unixToDos(*mtime);
    const int attr = plat::getAttributes(path) & 0xFF;

    const auto existing = std::find_if(ExistingEntries.begin(), ExistingEntries.end(),
                                       [&](const TCompHeader& h) { return h.Name == key; });
    if (!ReplaceDecision(key, stamp, size, attr)) {
        if (existing != ExistingEntries.end() && existing->DosDate == stamp &&
            existing->Size == size && existing->Attr == attr)
            run.Originals.push_back(path);
        return;
    }
    bool extract = true;
    if (OnBegin) OnBegin(this, FileName, run.Count + 1, extract);
    if (!extract) return;

    lha::Header h;
    std::memcpy(h.MethodId, "-lh1-", 5);
    h.UnpackedSize = size;
    h.Stamp = stamp;
    h.Attr = static_cast<std::uint8_t>(attr);
    h.Name = raw;
    plat::File& out = *run.New;
    const std::int64_t headerPos = out.tell();
    std::vector<std::uint8_t> header = lha::writeLevel0(h);
    if (!out.write(header.data(), header.size())) RaiseError(FileName, err::WriteError);
    const std::int64_t dataPos = out.tell();
    auto write = [&](const std::uint8_t* b, std::size_t n) {
        if (!out.write(b, n)) RaiseError(FileName, err::WriteError);
    };
    auto store = [&](bool progress) {
        MemberInput input(*this, in, path, size, progress);
        for (;;) {
            const std::size_t got = input.read(run.Buf.data(), run.Buf.size());
            if (got == 0) break;
            write(run.Buf.data(), got);
        }
        input.finish();
        std::memcpy(h.MethodId, "-lh0-", 5);
        h.PackedSize = h.UnpackedSize = input.done();
        h.Crc = input.crc();
    };

    LastPercent = 0;
    if (CompressMethod == mtStore) {
        if (OnProgress) OnProgress(this, FileName, 0);
        store(true);
    } else {
        // Every method but storing codes with LZHUF, the writer's one coder.
        if (!Encoder_) {
            try {
                Encoder_ = std::make_unique<lzhuf::Encoder>();
            } catch (const std::bad_alloc&) {
                RaiseError(FileName, err::OutOfMemory);
            }
        }
        MemberInput input(*this, in, path, size, true);
        const std::uint64_t packed = Encoder_->encode(
            [&](std::uint8_t* b, std::size_t n) { return input.read(b, n); }, write);
        input.finish();
        if (input.done() > 0 && packed >= static_cast<std::uint64_t>(input.done())) {
            // Data that does not shrink is stored, as LHA does; this also
            // keeps the packed size inside its 32 bits.
            if (!out.seek(dataPos) || !out.truncate(dataPos) || !in.seek(0))
                RaiseError(FileName, err::WriteError);
            store(false);
        } else {
            h.PackedSize = static_cast<std::int64_t>(packed);
            h.UnpackedSize = input.done();
            h.Crc = input.crc();
        }
    }
    if (h.UnpackedSize == 0) {
        std::memcpy(h.MethodId, "-lh1-", 5);
        h.PackedSize = 0;
        h.Crc = 0;
    }
    header = lha::writeLevel0(h);
    if (header.empty() || !out.seek(headerPos) || !out.write(header.data(), header.size()) ||
        !out.seek(dataPos + h.PackedSize))
        RaiseError(FileName, err::WriteError);
    in.close();

    ++run.Count;
    run.Added.emplace(key, *id);
    if (existing != ExistingEntries.end()) run.Replaced.insert(key);
    run.Originals.push_back(path);
    if (OnEnd) OnEnd(this, FileName, true);
}

void TLha::moveOriginals(const Run& run) {
    std::set<std::string> done;
    for (const std::string& path : run.Originals) {
        if (!done.insert(path).second) continue;
        if (!plat::deleteFile(path)) ReportError(path, "0", err::DeleteError);
    }
}
