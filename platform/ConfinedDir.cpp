#include "platform/ConfinedDir.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace plat {

namespace {

int retryOpenat(int dir, const char* name, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::openat(dir, name, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// -1 with ENOSYS when the kernel has no openat2.
int openBeneath(int dir, const std::string& rel) {
    static bool missing = false;
    if (missing) {
        errno = ENOSYS;
        return -1;
    }
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd;
    do {
        fd = ::syscall(SYS_openat2, dir, rel.c_str(), &how, sizeof how);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && (errno == ENOSYS || errno == EPERM)) {
        // Seccomp filters answer EPERM for system calls they do not know.
        missing = true;
        errno = ENOSYS;
    }
    return static_cast<int>(fd);
}

// One component at a time: each step resolves a single name, O_NOFOLLOW
// refuses a link there, and no part is "." or "..".
int walk(int root, const std::string& rel, bool create) {
    int cur = ::fcntl(root, F_DUPFD_CLOEXEC, 0);
    if (cur < 0) return -1;
    std::size_t start = 0;
    while (start < rel.size()) {
        std::size_t slash = rel.find('/', start);
        if (slash == std::string::npos) slash = rel.size();
        const std::string part = rel.substr(start, slash - start);
        start = slash + 1;
        int next = retryOpenat(cur, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(cur, part.c_str(), 0777) != 0 && errno != EEXIST) {
                const int e = errno;
                ::close(cur);
                errno = e;
                return -1;
            }
            next = retryOpenat(cur, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        const int e = errno;
        ::close(cur);
        if (next < 0) {
            // O_NOFOLLOW with O_PATH opens a link itself; O_DIRECTORY then
            // refuses it with ENOTDIR.  Say what it is.
            errno = e == ENOTDIR ? ELOOP : e;
            return -1;
        }
        cur = next;
    }
    return cur;
}

bool validRel(const std::string& rel) {
    if (rel.empty()) return true;
    if (rel.front() == '/' || rel.back() == '/') return false;
    std::size_t start = 0;
    while (start <= rel.size()) {
        std::size_t slash = rel.find('/', start);
        if (slash == std::string::npos) slash = rel.size();
        const std::string_view part(rel.data() + start, slash - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = slash + 1;
    }
    return true;
}

} // namespace

DirFd::~DirFd() {
    if (fd_ >= 0) ::close(fd_);
}

DirFd& DirFd::operator=(DirFd&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

bool ConfinedDir::open(const std::string& root) {
    int fd = retryOpenat(AT_FDCWD, root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    root_ = DirFd(fd);
    rootPath_ = root;
    return true;
}

DirFd ConfinedDir::folder(const std::string& rel, bool create) {
    if (!validRel(rel)) {
        errno = EINVAL;
        return DirFd();
    }
    if (rel.empty()) return DirFd(::fcntl(root_.get(), F_DUPFD_CLOEXEC, 0));
    int fd = openBeneath(root_.get(), rel);
    if (fd >= 0) return DirFd(fd);
    if (errno == ENOENT && create) return DirFd(walk(root_.get(), rel, true));
    if (errno == ENOSYS) return DirFd(walk(root_.get(), rel, create));
    // openat2 says EXDEV when a resolution would leave the folder.
    if (errno == EXDEV) errno = ELOOP;
    return DirFd();
}

EntryInfo ConfinedDir::entry(int dir, const std::string& name) {
    EntryInfo info;
    struct stat st;
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return info;
    info.Links = st.st_nlink;
    info.ModificationTime = st.st_mtim.tv_sec;
    if (S_ISREG(st.st_mode))
        info.Kind = EntryKind::File;
    else if (S_ISDIR(st.st_mode))
        info.Kind = EntryKind::Folder;
    else if (S_ISLNK(st.st_mode))
        info.Kind = EntryKind::Link;
    else
        info.Kind = EntryKind::Other;
    return info;
}

int ConfinedDir::createFile(int dir, const std::string& name, bool exists) {
    const char* n = name.c_str();
    constexpr int kNew = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    if (!exists) {
        int fd = retryOpenat(dir, n, kNew, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
        // Something appeared since the caller looked: replace it as below.
    }
    // Whatever stands there goes first, so that nothing is written through
    // a link or into another name of a file.  (Truncating a regular file in
    // place would save nothing: ext4 then flushes the file when it is
    // closed, which makes overwriting many small files several times slower.)
    if (::unlinkat(dir, n, 0) != 0 && errno != ENOENT) {
        if (errno == EISDIR || errno == EPERM) {
            if (entry(dir, name).Kind == EntryKind::Folder) errno = EISDIR;
        }
        return -1;
    }
    return retryOpenat(dir, n, kNew, 0666);
}

bool ConfinedDir::createSymlink(int dir, const std::string& name, const std::string& target) {
    if (::symlinkat(target.c_str(), dir, name.c_str()) == 0) return true;
    if (errno != EEXIST) return false;
    if (entry(dir, name).Kind == EntryKind::Folder) {
        errno = EISDIR;
        return false;
    }
    if (::unlinkat(dir, name.c_str(), 0) != 0) return false;
    return ::symlinkat(target.c_str(), dir, name.c_str()) == 0;
}

bool ConfinedDir::createHardLink(int fromDir, const std::string& from, int dir,
                                 const std::string& name) {
    if (entry(fromDir, from).Kind != EntryKind::File) {
        errno = EPERM;
        return false;
    }
    if (::linkat(fromDir, from.c_str(), dir, name.c_str(), 0) == 0) return true;
    if (errno != EEXIST) return false;
    if (entry(dir, name).Kind == EntryKind::Folder) {
        errno = EISDIR;
        return false;
    }
    if (::unlinkat(dir, name.c_str(), 0) != 0) return false;
    return ::linkat(fromDir, from.c_str(), dir, name.c_str(), 0) == 0;
}

bool ConfinedDir::removeEntry(int dir, const std::string& name) {
    return ::unlinkat(dir, name.c_str(), 0) == 0;
}

unsigned ConfinedDir::umaskValue() {
    static const unsigned value = [] {
        // Without changing it, where the kernel tells.
        if (FILE* f = std::fopen("/proc/self/status", "r")) {
            char line[256];
            unsigned mask = 0;
            bool found = false;
            while (std::fgets(line, sizeof line, f))
                if (std::sscanf(line, "Umask: %o", &mask) == 1) {
                    found = true;
                    break;
                }
            std::fclose(f);
            if (found) return mask;
        }
        static std::mutex m;
        std::lock_guard<std::mutex> lock(m);
        const mode_t old = ::umask(022);
        ::umask(old);
        return static_cast<unsigned>(old);
    }();
    return value;
}

bool ConfinedDir::setNewFileMode(int fd, unsigned mode) {
    const unsigned wanted = mode & 0777 & ~umaskValue();
    // Files made by createFile start as 0666 less the umask.
    if (wanted == (0666 & ~umaskValue())) return true;
    return ::fchmod(fd, static_cast<mode_t>(wanted)) == 0;
}

bool ConfinedDir::setModificationTime(int fd, std::int64_t unixTime) {
    struct timespec ts[2];
    ts[0].tv_sec = 0;
    ts[0].tv_nsec = UTIME_OMIT;
    ts[1].tv_sec = static_cast<time_t>(unixTime);
    ts[1].tv_nsec = 0;
    return ::futimens(fd, ts) == 0;
}

bool ConfinedDir::setFolderTime(int dir, const std::string& name, std::int64_t unixTime) {
    struct timespec ts[2];
    ts[0].tv_sec = 0;
    ts[0].tv_nsec = UTIME_OMIT;
    ts[1].tv_sec = static_cast<time_t>(unixTime);
    ts[1].tv_nsec = 0;
    return ::utimensat(dir, name.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace plat
