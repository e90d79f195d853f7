#include "stub/SfxArchive.h"

#include <algorithm>

#include "archive/core/Crc.h"
#include "archive/core/Errors.h"
#include "archive/extract/ZipCrypto.h"
#include "stub/Names.h"

namespace sfx {

namespace {

constexpr std::uint8_t kHostUnix = 3;
constexpr std::uint32_t kTypeMask = 0170000;
constexpr std::uint32_t kFolderType = 0040000;
constexpr std::uint32_t kLinkType = 0120000;
constexpr std::uint32_t kRegularType = 0100000;
// Stated offsets and sizes are taken up to 2^60, so that sums never overflow.
constexpr std::uint64_t kMaxStated = std::uint64_t{1} << 60;

std::uint32_t unixMode(const zip::CentralHeader& h) {
    return (h.VersionMadeBy >> 8) == kHostUnix ? h.ExternalAttr >> 16 : 0;
}

// The member's compressed bytes, read at their place in the file.
class RangeSource : public dec::Source {
public:
    RangeSource(InFile& f, std::int64_t pos) : f_(f), pos_(pos) {}
    std::int64_t read(std::uint8_t* buf, std::size_t n) override {
        const std::int64_t got = f_.readAt(pos_, buf, n);
        if (got > 0) pos_ += got;
        return got;
    }

private:
    InFile& f_;
    std::int64_t pos_;
};

class Decrypter : public dec::Cipher {
public:
    ZipDecrypter keys;
    void decrypt(std::uint8_t* buf, std::size_t n) override { keys.decrypt(buf, n); }
};

class Progress : public dec::ProgressListener {
public:
    explicit Progress(Ui& ui) : ui_(ui) {}
    void inputConsumed(std::uint64_t total, std::uint64_t, std::uint64_t after, bool) override {
        const int percent = total ? static_cast<int>(after * 100 / total) : 100;
        if (percent != last_) ui_.memberProgress(last_ = percent);
    }

private:
    Ui& ui_;
    int last_ = -1;
};

// Writes the decoded bytes and keeps their CRC; takes no byte past the
// stated size.
class CheckedSink : public dec::Sink {
public:
    CheckedSink(OutFile& out, std::uint64_t limit) : out_(out), limit_(limit) {}
    bool write(const std::uint8_t* buf, std::size_t n) override {
        if (n > limit_ - written_) {
            tooLong = true;
            return false;
        }
        Crc32Update(buf, n, crc_);
        written_ += n;
        return out_.write(buf, n);
    }
    std::uint32_t crc() const { return ~crc_; }
    std::uint64_t written() const { return written_; }
    bool tooLong = false;

private:
    OutFile& out_;
    std::uint64_t limit_;
    std::uint64_t written_ = 0;
    std::uint32_t crc_ = 0xFFFFFFFFu;
};

} // namespace

bool SfxArchive::readExact(std::int64_t pos, void* buf, std::size_t n) {
    return file_.readAt(pos, buf, n) == static_cast<std::int64_t>(n);
}

bool SfxArchive::open(const std::string& path, std::string& error) {
    members_.clear();
    if (!file_.open(path)) {
        error = ErrorMessage(err::OpenError) + ": " + path;
        return false;
    }
    const std::int64_t size = file_.size();
    auto read = [this](std::int64_t pos, void* buf, std::size_t n) {
        return readExact(pos, buf, n);
    };
    switch (zip::locateDirectory(read, size, 0, dir_)) {
    case zip::DirStatus::Ok:
        break;
    case zip::DirStatus::ReadError:
        error = ErrorMessage(err::ReadError);
        return false;
    case zip::DirStatus::NoEndRecord:
        error = "No archive is joined to this program.";
        return false;
    case zip::DirStatus::NoCentralHeader:
        error = ErrorMessage(err::NoCentralHeader);
        return false;
    }
    if (dir_.End.DiskNumber != dir_.End.DirDisk) {
        error = "The archive spans several disks; only a single-disk archive can be extracted.";
        return false;
    }

    std::int64_t pos = dir_.FirstCentral;
    std::vector<std::uint8_t> var;
    for (std::uint64_t i = 0; pos >= 0 && i < dir_.End.Entries; ++i) {
        std::uint8_t fixed[zip::kCentralSize];
        Member m;
        if (!readExact(pos, fixed, sizeof fixed) || !zip::parseCentral(fixed, m.Header)) break;
        var.resize(m.Header.VariableLength());
        if (!readExact(pos + static_cast<std::int64_t>(zip::kCentralSize), var.data(),
                       var.size())) {
            error = ErrorMessage(err::ReadError);
            return false;
        }
        zip::applyZip64Extra(std::span(var.data() + m.Header.NameLength, m.Header.ExtraLength),
                             m.Header);
        m.Name = fmt::storedName(
            std::string_view(reinterpret_cast<const char*>(var.data()), m.Header.NameLength));
        pos += static_cast<std::int64_t>(m.Header.TotalLength());
        members_.push_back(std::move(m));
    }

    // Members whose records overlap would let a small archive write without
    // end (many entries pointing at one record): refused before anything is
    // written.
    struct Range {
        std::uint64_t Begin, End;
    };
    std::vector<Range> ranges;
    for (const Member& m : members_) {
        const std::uint64_t begin = std::min(m.Header.LocalOffset, kMaxStated) +
                                    static_cast<std::uint64_t>(dir_.OffsetDelta);
        ranges.push_back({begin, begin + zip::kLocalSize + m.Header.NameLength +
                                     std::min(m.Header.PackedSize, kMaxStated)});
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const Range& a, const Range& b) { return a.Begin < b.Begin; });
    std::uint64_t end = 0;
    for (const Range& r : ranges) {
        if (r.Begin < end) {
            error = ErrorMessage(err::BadFileHeader);
            return false;
        }
        end = std::max(end, r.End);
    }
    return true;
}

std::string SfxArchive::comment() const {
    return fmt::commentText(dir_.End.Comment);
}

Result SfxArchive::extractAll(Target& target, Ui& ui, const Options& options) {
    Result r;
    password_ = options.Password;
    overwriteAll_ = options.OverwriteAll;
    overwriteNone_ = false;
    for (const Member& m : members_) {
        std::string error;
        switch (extractOne(m, target, ui, error)) {
        case Outcome::File:
            ++r.Files;
            break;
        case Outcome::Folder:
            ++r.Folders;
            break;
        case Outcome::Skipped:
            ++r.Skipped;
            break;
        case Outcome::Failed:
            ++r.Errors;
            ui.memberEnd(m.Name, error);
            break;
        }
    }
    return r;
}

SfxArchive::Outcome SfxArchive::extractOne(const Member& m, Target& target, Ui& ui,
                                           std::string& error) {
    const zip::CentralHeader& h = m.Header;
    const std::uint32_t type = unixMode(h) & kTypeMask;
    // A volume label names the disk, not a file.
    if ((h.ExternalAttr & 0x08) && !(h.ExternalAttr & 0x10)) return Outcome::Skipped;

    const auto path = confinedPath(m.Name);
    if (!path) {
        error = ErrorMessage(err::InvalidFileName);
        return Outcome::Failed;
    }
    const bool folder =
        (h.ExternalAttr & 0x10) || type == kFolderType || (!m.Name.empty() && m.Name.back() == '/');
    if (folder) {
        if (!target.makeFolders(*path)) {
            error = ErrorMessage(err::CreateDirError) + ": " + target.lastError();
            return Outcome::Failed;
        }
        return Outcome::Folder;
    }
    if (type == kLinkType) {
        ui.notice(m.Name + ": a symbolic link, skipped");
        return Outcome::Skipped;
    }

    const fmt::MethodInfo* method = fmt::findMethod(zip::methods(), h.Method);
    dec::Decoder* decoder = method ? decoders_.get(method->Decoder) : nullptr;
    if (!decoder || (h.Flags & zip::kFlagStrongEncryption)) {
        error = ErrorMessage(err::UnsupportedMethod);
        return Outcome::Failed;
    }

    auto read = [this](std::int64_t pos, void* buf, std::size_t n) {
        return readExact(pos, buf, n);
    };
    zip::LocalHeader local;
    const std::int64_t at = zip::findLocalHeader(read, dir_, h.LocalOffset, local);
    if (at < 0) {
        error = ErrorMessage(err::InconsistentLocalHeader);
        return Outcome::Failed;
    }
    std::int64_t dataPos = at + static_cast<std::int64_t>(local.TotalLength());
    std::uint64_t packed = std::min(h.PackedSize, kMaxStated);

    switch (target.kind(*path)) {
    case EntryKind::None:
        break;
    case EntryKind::File: {
        if (overwriteNone_) return Outcome::Skipped;
        if (overwriteAll_) break;
        const Overwrite a = ui.askOverwrite(joinPath(*path));
        if (a == Overwrite::All) overwriteAll_ = true;
        if (a == Overwrite::None) overwriteNone_ = true;
        if (a == Overwrite::No || a == Overwrite::None) return Outcome::Skipped;
        break;
    }
    case EntryKind::Folder:
        error = ErrorMessage(err::FileDirectory);
        return Outcome::Failed;
    case EntryKind::Other:
        error = ErrorMessage(err::OpenError) + ": " + target.lastError();
        return Outcome::Failed;
    }

    Decrypter decrypter;
    if (h.Flags & zip::kFlagEncrypted) {
        std::uint8_t header[12];
        if (packed < sizeof header || !readExact(dataPos, header, sizeof header)) {
            error = ErrorMessage(err::ReadError);
            return Outcome::Failed;
        }
        // The last header byte checks the password against the CRC, or, when
        // a descriptor follows the data, against the time.
        const std::uint8_t check = (local.Flags & zip::kFlagDescriptor)
                                       ? static_cast<std::uint8_t>(local.DosDateTime >> 8)
                                       : static_cast<std::uint8_t>(h.Crc >> 24);
        bool ok = !password_.empty() && decrypter.keys.tryPassword(password_, header, check);
        for (int attempt = 0; !ok && attempt < 3; ++attempt) {
            auto pw = ui.askPassword(m.Name, attempt > 0 || !password_.empty());
            if (!pw || pw->empty()) return Outcome::Skipped;
            if (decrypter.keys.tryPassword(*pw, header, check)) {
                password_ = *pw;
                ok = true;
            }
        }
        if (!ok) {
            error = ErrorMessage(err::PasswordFailed);
            return Outcome::Failed;
        }
        dataPos += sizeof header;
        packed -= sizeof header;
    }

    auto out = target.create(*path);
    if (!out) {
        error = ErrorMessage(err::OpenError) + ": " + target.lastError();
        return Outcome::Failed;
    }
    ui.memberBegin(m.Name, h.UnpackedSize);
    RangeSource source(file_, dataPos);
    Progress progress(ui);
    dec::Input in(source, packed, (h.Flags & zip::kFlagEncrypted) ? &decrypter : nullptr,
                  &progress);
    CheckedSink sink(*out, h.UnpackedSize);
    dec::Params params;
    params.Size = h.UnpackedSize;
    params.Flags = h.Flags;
    params.Variant = method->Variant;
    try {
        decoder->decode(in, sink, params);
    } catch (const E_RAISE& e) {
        error = sink.tooLong ? ErrorMessage(err::CrcError) : e.what();
    }
    if (error.empty() && (sink.written() != h.UnpackedSize || sink.crc() != h.Crc))
        error = ErrorMessage(err::CrcError);
    const std::uint32_t mode = unixMode(h);
    const std::uint32_t fileType = mode & kTypeMask;
    const unsigned perms =
        (mode != 0 && (fileType == 0 || fileType == kRegularType)) ? mode & 0777 : 0;
    if (!out->finish(h.DosDateTime, perms, h.ExternalAttr & 0x01) && error.empty())
        error = ErrorMessage(err::WriteError) + ": " + target.lastError();
    out.reset();
    if (!error.empty()) {
        // A file that failed its check is not left behind looking whole.
        target.remove(*path);
        return Outcome::Failed;
    }
    ui.memberEnd(m.Name, {});
    return Outcome::File;
}

} // namespace sfx
