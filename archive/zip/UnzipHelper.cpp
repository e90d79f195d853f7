#include "archive/zip/UnzipHelper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "archive/core/Crc.h"
#include "archive/core/Errors.h"
#include "archive/extract/Decoder.h"
#include "archive/extract/ZipCrypto.h"
#include "archive/zip/ZlExceptions.h"
#include "platform/ConfinedDir.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Random.h"
#include "platform/Time.h"

namespace {

constexpr std::uint8_t kHostUnix = 3;
constexpr std::uint32_t kTypeMask = 0170000;
constexpr std::uint32_t kRegular = 0100000;
constexpr std::uint32_t kSymlink = 0120000;
constexpr std::uint32_t kFolder = 0040000;
// A symbolic link's target is a path: anything longer is not one.
constexpr std::size_t kMaxLinkTarget = 4096;

// The member decoded to more bytes than it states.
struct Overrun {};

std::uint32_t unixMode(const TZlZipDirectoryFileHeader& r) {
    return (r.VersionMadeBy >> 8) == kHostUnix ? r.ExternalFileAttributes >> 16 : 0;
}

[[noreturn]] void ioFailure(const std::string& what, const std::string& name, int e) {
    throw EInOutError(what + " \"" + name + "\": " + std::strerror(e), e);
}

class ReaderSource : public dec::Source {
public:
    explicit ReaderSource(TZlDiskReader& r) : r_(r) {}
    std::int64_t read(std::uint8_t* buf, std::size_t n) override {
        return static_cast<std::int64_t>(r_.Read(buf, n));
    }

private:
    TZlDiskReader& r_;
};

class Decrypter : public dec::Cipher {
public:
    bool tryPassword(const std::string& pw, const std::uint8_t* header, std::uint8_t check) {
        return d_.tryPassword(pw, header, check);
    }
    void decrypt(std::uint8_t* buf, std::size_t n) override { d_.decrypt(buf, n); }

private:
    ZipDecrypter d_;
};

// CRC and count over every byte, then the file (or a link's target, or
// nothing when testing); nothing beyond the stated size; per-member
// progress when the percentage changes.
class Output : public dec::Sink {
public:
    Output(TZlZipArchive& a, TZlZipItem& item, plat::File* file, std::string* memory)
        : a_(a), item_(item), file_(file), memory_(memory), limit_(item.UncompressedSize()) {}

    bool write(const std::uint8_t* buf, std::size_t n) override {
        bool over = false;
        if (n > limit_ - produced_) {
            n = static_cast<std::size_t>(limit_ - produced_);
            over = true;
        }
        Crc32Update(buf, n, crc_);
        produced_ += n;
        if (memory_) {
            if (memory_->size() + n > kMaxLinkTarget) throw Overrun{};
            memory_->append(reinterpret_cast<const char*>(buf), n);
        } else if (file_ && n && !file_->write(buf, n)) {
            ioFailure("Cannot write", file_->path(), errno ? errno : EIO);
        }
        if (over) throw Overrun{};
        const std::uint8_t pct =
            ZlPercentage(static_cast<std::int64_t>(produced_), static_cast<std::int64_t>(limit_));
        if (pct != last_) {
            last_ = pct;
            a_.ItemProgress(&item_, pct);
        }
        return true;
    }

    // Some writers stated sizes of 4 GiB and more in their low 32 bits
    // only: whole 4 GiB steps short with a matching CRC are theirs.
    bool passed() const {
        const bool size =
            produced_ == limit_ || (produced_ < limit_ && ((limit_ - produced_) & 0xFFFFFFFF) == 0);
        return size && (crc_ ^ 0xFFFFFFFFu) == item_.CRC32();
    }

private:
    TZlZipArchive& a_;
    TZlZipItem& item_;
    plat::File* file_;
    std::string* memory_;
    std::uint64_t limit_;
    std::uint64_t produced_ = 0;
    std::uint32_t crc_ = 0xFFFFFFFF;
    std::uint8_t last_ = 0;
};

std::string randomName() {
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uint8_t r[12] = {};
    plat::randomBytes(r, sizeof r);
    std::string s = ".olmek-";
    for (std::uint8_t c : r) s += digits[c % 36];
    return s;
}

std::string join(const std::vector<std::string>& parts, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        if (i) s += '/';
        s += parts[i];
    }
    return s;
}

// Where the member goes: its folder beneath the root, opened, and its name.
struct Target {
    std::vector<std::string> parts;
    plat::DirFd dir;
    std::string path; // shown to the overwrite handler
};

void openTarget(plat::ConfinedDir& root, Target& t, bool create) {
    const std::string rel = join(t.parts, t.parts.size() - 1);
    t.dir = root.folder(rel, create);
    if (!t.dir.valid()) {
        if (errno == ENOENT) throw EZlNoSuchDirectory();
        ioFailure("Cannot open the folder", plat::includeTrailingDelimiter(root.root()) + rel,
                  errno);
    }
    t.path = plat::includeTrailingDelimiter(root.root()) + join(t.parts, t.parts.size());
}

// The decoders keep their tables between members.
dec::DecoderSet& decoders() {
    static thread_local dec::DecoderSet set;
    return set;
}

} // namespace

std::vector<std::string> ZlConfinedParts(const std::string& StoredName) {
    std::string name = StoredName;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
        name.erase(0, 2);
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t slash = name.find('/', start);
        if (slash == std::string::npos) slash = name.size();
        std::string part = name.substr(start, slash - start);
        start = slash + 1;
        if (!part.empty() && part != "." && part != "..") parts.push_back(std::move(part));
    }
    return parts;
}

void ZlExtractHelper(TZlExtractSettings& S, TZlZipArchive& A, TZlZipItem& Item,
                     const std::string& NewName) {
    const TZlZipDirectoryFileHeader& rec = Item.Record();
    const std::uint32_t type = unixMode(rec) & kTypeMask;
    const std::string stored = fmt::storedName(NewName);
    const bool folder = (!stored.empty() && stored.back() == '/') ||
                        (rec.ExternalFileAttributes & 0x10) || type == kFolder;
    const bool restorePath = S.ExtractOptions.Contains(eoRestorePath);
    const bool createDirs = S.ExtractOptions.Contains(eoCreateDirs);

    // Folders: made when the stored folders are kept, nothing else.
    if (folder) {
        if (S.TestOnly || !restorePath || !createDirs) return;
        const std::vector<std::string> parts = ZlConfinedParts(stored);
        if (parts.empty()) return;
        plat::ConfinedDir root;
        if (!root.open(S.BaseDirectory.empty() ? "." : S.BaseDirectory)) throw EZlNoSuchDirectory();
        const plat::DirFd d = root.folder(join(parts, parts.size()), true);
        if (!d.valid()) ioFailure("Cannot create the folder", stored, errno);
        return;
    }

    // What cannot be decoded is refused before anything is written.
    if (rec.GeneralPurposeBitFlag & zip::kFlagStrongEncryption) throw EZlZipVersion();
    const fmt::MethodInfo* method = fmt::findMethod(zip::methods(), rec.CompressionMethod);
    if (!dec::canDecode(method)) throw EZlZipInvalidMethod();

    zip::LocalHeader local;
    const std::uint64_t at = A.FindLocalHeader(Item, local);
    TZlDiskReader r(A, rec.DiskNumberStart, at + local.TotalLength());

    // The target, beneath the base folder.
    Target t;
    plat::ConfinedDir root;
    if (!S.TestOnly) {
        t.parts = ZlConfinedParts(stored);
        if (t.parts.empty()) throw EZlZipInvalid();
        if (!restorePath) t.parts.erase(t.parts.begin(), t.parts.end() - 1);
        if (!root.open(S.BaseDirectory.empty() ? "." : S.BaseDirectory)) throw EZlNoSuchDirectory();
        openTarget(root, t, createDirs);
        const plat::EntryInfo there = plat::ConfinedDir::entry(t.dir.get(), t.parts.back());
        if (there.Kind != plat::EntryKind::None && S.OnConfirmOverwrite) {
            std::string name = t.path;
            bool confirm = true;
            S.OnConfirmOverwrite(name, confirm);
            if (!confirm) return;
            if (name != t.path) {
                // Another name, still beneath the base folder.
                const std::string rootPrefix = plat::includeTrailingDelimiter(root.root());
                if (name.compare(0, rootPrefix.size(), rootPrefix) == 0)
                    name = name.substr(rootPrefix.size());
                t.parts = ZlConfinedParts(name);
                if (t.parts.empty()) throw EZlZipInvalid();
                openTarget(root, t, createDirs);
            }
        }
    }

    // The data, behind the encryption header when encrypted.
    std::uint64_t packed = rec.CompressedSize;
    const bool encrypted = rec.GeneralPurposeBitFlag & zip::kFlagEncrypted;
    std::uint8_t header[12] = {};
    if (encrypted) {
        if (packed < sizeof header) throw EZlZipInvalid();
        r.ReadBuffer(header, sizeof header);
        packed -= sizeof header;
    }
    const std::uint32_t dataDisk = r.Disk();
    const std::uint64_t dataOffset = r.Offset();
    const std::uint8_t check = (local.Flags & zip::kFlagDescriptor)
                                   ? static_cast<std::uint8_t>(local.DosDateTime >> 8)
                                   : static_cast<std::uint8_t>(rec.CRC32 >> 24);

    const bool link = type == kSymlink;
    std::string tempName;
    plat::File out;
    auto removeTemp = [&] {
        if (out.isOpen()) out.close();
        if (!tempName.empty()) plat::ConfinedDir::removeEntry(t.dir.get(), tempName);
        tempName.clear();
    };

    Decrypter cipher;
    const int attempts = std::max<int>(1, S.PasswordRetries);
    std::string linkTarget;
    try {
        for (int attempt = 1;; ++attempt) {
            if (encrypted) {
                if (attempt > 1 || S.Password.empty()) {
                    if (!S.OnNeedPassword) throw EZlZipInvalidPassword();
                    std::string password = S.Password;
                    S.OnNeedPassword(S.Sender, password);
                    S.Password = password;
                }
                if (!cipher.tryPassword(S.Password, header, check)) {
                    if (attempt >= attempts) throw EZlZipInvalidPassword();
                    continue;
                }
            }
            if (!S.TestOnly && !link) {
                if (tempName.empty()) {
                    tempName = randomName();
                    const int fd = plat::ConfinedDir::createFile(t.dir.get(), tempName, false);
                    if (fd < 0) {
                        const int e = errno;
                        tempName.clear();
                        ioFailure("Cannot create", t.path, e);
                    }
                    out.adopt(fd, t.path, true);
                } else if (!out.truncate(0) || !out.seek(0)) {
                    ioFailure("Cannot write", t.path, errno);
                }
            }
            linkTarget.clear();
            TZlDiskReader data(A, dataDisk, dataOffset);
            ReaderSource src(data);
            dec::Input in(src, packed, encrypted ? &cipher : nullptr);
            Output sink(A, Item, out.isOpen() ? &out : nullptr, link ? &linkTarget : nullptr);
            bool overrun = false;
            try {
                dec::Params p;
                p.Size = rec.UncompressedSize;
                p.Flags = rec.GeneralPurposeBitFlag;
                p.Variant = method->Variant;
                decoders().get(method->Decoder)->decode(in, sink, p);
            } catch (const Overrun&) {
                overrun = true;
            } catch (const E_RAISE&) {
                // A password that passed the check byte can still be wrong.
                if (encrypted && attempt < attempts && S.OnNeedPassword) continue;
                if (rec.CompressionMethod == 8) throw EZlZipInflateBlock();
                throw EZlZipBadCRC();
            }
            if (!overrun && sink.passed()) break;
            if (encrypted && attempt < attempts && S.OnNeedPassword) continue;
            throw EZlZipBadCRC();
        }

        if (S.TestOnly) return;
        const std::int64_t when = plat::dosToUnix(rec.DosDateTime());
        const std::string& name = t.parts.back();
        if (link) {
            if (linkTarget.empty() || linkTarget.find('\0') != std::string::npos)
                throw EZlZipBadCRC();
            if (!plat::ConfinedDir::createSymlink(t.dir.get(), name, linkTarget))
                ioFailure("Cannot create the link", t.path, errno);
            plat::ConfinedDir::setFolderTime(t.dir.get(), name, when);
            return;
        }
        if (!out.flush()) ioFailure("Cannot write", t.path, errno);
        plat::ConfinedDir::setModificationTime(out.descriptor(), when);
        const std::uint32_t mode = unixMode(rec);
        if (mode != 0 && ((mode & kTypeMask) == 0 || (mode & kTypeMask) == kRegular))
            plat::ConfinedDir::setNewFileMode(out.descriptor(), mode & 0777);
        else if (rec.ExternalFileAttributes & plat::faReadOnly)
            plat::ConfinedDir::setNewFileMode(out.descriptor(), 0444);
        if (!out.close()) ioFailure("Cannot write", t.path, errno);
        if (::renameat(t.dir.get(), tempName.c_str(), t.dir.get(), name.c_str()) != 0)
            ioFailure("Cannot replace", t.path, errno);
        tempName.clear();
    } catch (...) {
        removeTemp();
        throw;
    }
}
