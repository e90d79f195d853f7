#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

std::string extractFileName(const std::string& path) {
    auto p = path.find_last_of('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string extractFilePath(const std::string& path) {
    auto p = path.find_last_of('/');
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string extractFileDir(const std::string& path) {
    auto p = path.find_last_of('/');
    if (p == std::string::npos) return {};
    if (p == 0) return "/";
    return path.substr(0, p);
}

std::string extractFileExt(const std::string& path) {
    std::string name = extractFileName(path);
    auto p = name.find_last_of('.');
    return p == std::string::npos ? std::string() : name.substr(p);
}

std::string includeTrailingDelimiter(const std::string& path) {
    if (!path.empty() && path.back() == '/') return path;
    return path + '/';
}

std::string excludeTrailingDelimiter(const std::string& path) {
    if (path.size() > 1 && path.back() == '/') return path.substr(0, path.size() - 1);
    return path;
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool directoryExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool pathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

int getAttributes(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
    int attr = 0;
    if (!(st.st_mode & S_IWUSR)) attr |= faReadOnly;
    std::string name = extractFileName(excludeTrailingDelimiter(path));
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") attr |= faHidden;
    if (S_ISDIR(st.st_mode))
        attr |= faDirectory;
    else
        attr |= faArchive;
    return attr;
}

std::optional<unsigned> fileMode(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<unsigned>(st.st_mode) & 0xFFFFu;
}

std::optional<FileId> fileIdentity(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isSymlink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return names;
    while (const dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool setAttributes(const std::string& path, int dosAttr) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    if (dosAttr & faReadOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (mode == (st.st_mode & 07777)) return true;
    return ::chmod(path.c_str(), mode) == 0;
}

bool setPermissions(const std::string& path, unsigned mode) {
    return ::chmod(path.c_str(), static_cast<mode_t>(mode & 0777)) == 0;
}

bool copyOwnerAndPermissions(const std::string& model, const std::string& target) {
    struct stat st;
    if (::stat(model.c_str(), &st) != 0) return false;
    // Only a privileged process may give a file away; others keep their
    // own user and try the group alone.
    if (::chown(target.c_str(), st.st_uid, st.st_gid) != 0) {
        const int group = ::chown(target.c_str(), static_cast<uid_t>(-1), st.st_gid);
        (void)group;
    }
    return setPermissions(target, st.st_mode);
}

std::optional<std::int64_t> fileModificationTime(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::int64_t>(st.st_mtime);
}

bool setFileModificationTime(const std::string& path, std::int64_t unixTime) {
    struct timespec ts[2];
    ts[0].tv_sec = 0;
    ts[0].tv_nsec = UTIME_OMIT;
    ts[1].tv_sec = static_cast<time_t>(unixTime);
    ts[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), ts, 0) == 0;
}

std::optional<std::int64_t> fileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
}

namespace {

bool equalsNoCase(const char* a, const std::string& b) {
    std::size_t i = 0;
    for (; a[i] != 0 && i < b.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        const auto lx = x >= 'A' && x <= 'Z' ? x + 32 : x, ly = y >= 'A' && y <= 'Z' ? y + 32 : y;
        if (lx != ly) return false;
    }
    return a[i] == 0 && i == b.size();
}

} // namespace

std::string findNameNoCase(const std::string& folder, const std::string& name) {
    std::string exact = folder + name;
    if (fileExists(exact) || name.find('/') != std::string::npos) return exact;
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return exact;
    std::string found = exact;
    while (const dirent* e = ::readdir(d)) {
        if (equalsNoCase(e->d_name, name)) {
            found = folder + e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

std::string getCurrentDir() {
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf)) return {};
    return buf;
}

bool setCurrentDir(const std::string& path) {
    return ::chdir(path.c_str()) == 0;
}

bool forceDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(excludeTrailingDelimiter(path), ec);
    return directoryExists(path);
}

std::string tempDir() {
    const char* t = std::getenv("TMPDIR");
    std::string dir = (t && *t) ? t : "/tmp";
    return excludeTrailingDelimiter(dir);
}

std::string tempFileName(const std::string& prefix) {
    return tempFileIn(tempDir(), prefix);
}

std::string tempFileIn(const std::string& folder, const std::string& prefix) {
    std::string templ = includeTrailingDelimiter(folder.empty() ? "." : folder) + prefix + "XXXXXX";
    int fd = ::mkostemp(templ.data(), O_CLOEXEC);
    if (fd < 0) return {};
    ::close(fd);
    return templ;
}

bool renameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool deleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

// Reading the mask means setting it; the engine runs archive work on one
// thread, so the short window does no harm.
unsigned creationMask() {
    mode_t m = ::umask(022);
    ::umask(m);
    return static_cast<unsigned>(m);
}

std::string tempDirName(const std::string& prefix) {
    std::string templ = tempDir() + "/" + prefix + "XXXXXX";
    if (!::mkdtemp(templ.data())) return {};
    return templ;
}

std::string programDir() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return includeTrailingDelimiter(getCurrentDir());
    buf[n] = 0;
    return extractFilePath(buf);
}

std::string homeDir() {
    const char* h = std::getenv("HOME");
    if (h && *h) return h;
    if (struct passwd* pw = ::getpwuid(::getuid())) return pw->pw_dir;
    return "/";
}

std::string cacheDir() {
    const char* c = std::getenv("XDG_CACHE_HOME");
    std::string base = (c && *c) ? std::string(c) : homeDir() + "/.cache";
    return includeTrailingDelimiter(base) + "olmek95/";
}

bool removeTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return !pathExists(path);
}

} // namespace plat
