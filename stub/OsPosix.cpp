// The self-extractor's system layer on Linux: the target folder is written
// through descriptors that never follow a link (plat::ConfinedDir).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/ConfinedDir.h"
#include "platform/Time.h"
#include "stub/Names.h"
#include "stub/Os.h"

namespace sfx {

std::string selfPath() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

std::vector<std::string> commandLine(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool outputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void prepareConsole() {}

void waitBeforeClosing() {}

struct InFile::Handle {
    int fd = -1;
    ~Handle() {
        if (fd >= 0) ::close(fd);
    }
};

InFile::InFile() = default;
InFile::~InFile() = default;

bool InFile::open(const std::string& path) {
    auto h = std::make_unique<Handle>();
    h->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (h->fd < 0 || ::fstat(h->fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size_ = st.st_size;
    h_ = std::move(h);
    return true;
}

std::int64_t InFile::readAt(std::int64_t pos, void* buf, std::size_t n) {
    if (!h_ || pos < 0) return -1;
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(h_->fd, static_cast<char*>(buf) + done, n - done,
                                    static_cast<off_t>(pos) + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

namespace {

std::string parentOf(const PathParts& path) {
    return joinPath(PathParts(path.begin(), path.end() - 1));
}

class PosixFile : public OutFile {
public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    bool write(const std::uint8_t* buf, std::size_t n) override {
        while (n) {
            const ssize_t k = ::write(fd_, buf, n);
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) return false;
            buf += k;
            n -= static_cast<std::size_t>(k);
        }
        return true;
    }
    bool finish(std::uint32_t dosTime, unsigned unixMode, bool readOnly) override {
        bool ok = true;
        if (unixMode)
            ok = plat::ConfinedDir::setNewFileMode(fd_, unixMode);
        else if (readOnly)
            ok = plat::ConfinedDir::setNewFileMode(fd_, 0444);
        ok = plat::ConfinedDir::setModificationTime(fd_, plat::dosToUnix(dosTime)) && ok;
        ok = ::close(fd_) == 0 && ok;
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

class PosixTarget : public Target {
public:
    bool open(const std::string& root) override {
        // The folder the user named, with its missing parents.
        std::string sofar;
        std::size_t start = 0;
        while (start <= root.size()) {
            std::size_t slash = root.find('/', start);
            if (slash == std::string::npos) slash = root.size();
            sofar = root.substr(0, slash);
            if (!sofar.empty() && ::mkdir(sofar.c_str(), 0777) != 0 && errno != EEXIST)
                return fail();
            start = slash + 1;
        }
        return dir_.open(root) || fail();
    }
    EntryKind kind(const PathParts& path) override {
        plat::DirFd parent = dir_.folder(parentOf(path), false);
        if (!parent.valid()) {
            if (errno == ENOENT) return EntryKind::None;
            fail();
            return EntryKind::Other;
        }
        switch (plat::ConfinedDir::entry(parent.get(), path.back()).Kind) {
        case plat::EntryKind::None:
            return EntryKind::None;
        case plat::EntryKind::File:
            return EntryKind::File;
        case plat::EntryKind::Folder:
            return EntryKind::Folder;
        case plat::EntryKind::Link:
            // A link is replaced like a file, never followed.
            return EntryKind::File;
        case plat::EntryKind::Other:
            break;
        }
        return EntryKind::Other;
    }
    bool makeFolders(const PathParts& path) override {
        return dir_.folder(joinPath(path), true).valid() || fail();
    }
    std::unique_ptr<OutFile> create(const PathParts& path) override {
        plat::DirFd parent = dir_.folder(parentOf(path), true);
        if (!parent.valid()) {
            fail();
            return nullptr;
        }
        const bool exists =
            plat::ConfinedDir::entry(parent.get(), path.back()).Kind != plat::EntryKind::None;
        const int fd = plat::ConfinedDir::createFile(parent.get(), path.back(), exists);
        if (fd < 0) {
            fail();
            return nullptr;
        }
        return std::make_unique<PosixFile>(fd);
    }
    void remove(const PathParts& path) override {
        plat::DirFd parent = dir_.folder(parentOf(path), false);
        if (parent.valid()) plat::ConfinedDir::removeEntry(parent.get(), path.back());
    }
    std::string lastError() const override { return error_; }

private:
    bool fail() {
        error_ = std::strerror(errno);
        return false;
    }
    plat::ConfinedDir dir_;
    std::string error_;
};

} // namespace

std::unique_ptr<Target> makeTarget() {
    return std::make_unique<PosixTarget>();
}

} // namespace sfx
