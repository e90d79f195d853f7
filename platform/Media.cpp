#include "platform/Media.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/FileSystem.h"

namespace plat {

namespace {

bool readFlag(const std::string& file) {
    std::ifstream f(file);
    char c = 0;
    return f.get(c) && c == '1';
}

// The path itself, else its folder (a file about to be created).
bool statPathOrFolder(const std::string& path, struct stat& st) {
    if (::stat(path.c_str(), &st) == 0) return true;
    const std::string dir = extractFileDir(path);
    return ::stat(dir.empty() ? "." : dir.c_str(), &st) == 0;
}

} // namespace

bool isOnRemovableMedia(const std::string& path) {
    struct stat st;
    if (!statPathOrFolder(path, st)) return false;
    const std::string dev = "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                            std::to_string(minor(st.st_dev));
    char real[PATH_MAX];
    if (!::realpath(dev.c_str(), real)) return false;
    const std::string sys = real;
    // USB disks often do not call themselves removable.
    if (sys.find("/usb") != std::string::npos) return true;
    if (readFlag(sys + "/removable")) return true;
    // A partition: the flag is its disk's.
    return ::access((sys + "/partition").c_str(), F_OK) == 0 &&
           readFlag(extractFileDir(sys) + "/removable");
}

bool setVolumeLabel(const std::string& path, const std::string& label) {
    std::string dir = path;
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) dir = extractFileDir(path);
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[FSLABEL_MAX] = {};
    std::strncpy(buf, label.c_str(), sizeof buf - 1);
    const bool ok = ::ioctl(fd, FS_IOC_SETFSLABEL, buf) == 0;
    ::close(fd);
    return ok;
}

} // namespace plat
