// Writing extracted files under one folder without ever following a
// symbolic link on the way: every folder is opened relative to the target
// folder's descriptor (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS
// where the kernel has it, else one component at a time with O_NOFOLLOW),
// and files are created with O_NOFOLLOW, after removing whatever link or
// other name of a file stood in their place.  Every call reports failure
// through its result and errno; nothing here throws.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace plat {

// An open folder descriptor, closed when it goes.
class DirFd {
public:
    DirFd() = default;
    explicit DirFd(int fd) : fd_(fd) {}
    ~DirFd();
    DirFd(DirFd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    DirFd& operator=(DirFd&& o) noexcept;
    DirFd(const DirFd&) = delete;
    DirFd& operator=(const DirFd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

enum class EntryKind { None, File, Folder, Link, Other };

struct EntryInfo {
    EntryKind Kind = EntryKind::None;
    std::uint64_t Links = 0;
    std::int64_t ModificationTime = 0;
};

class ConfinedDir {
public:
    // Opens the target folder itself (following links there: the user chose it).
    bool open(const std::string& root);
    bool isOpen() const { return root_.valid(); }
    const std::string& root() const { return rootPath_; }

    // Opens the folder `rel` ('/'-separated, relative to the root, without
    // empty, "." or ".." parts; empty for the root), creating missing parts
    // when asked.  A link anywhere on the way fails with ELOOP.
    DirFd folder(const std::string& rel, bool create);

    // What stands at `name` in a folder, without following a link.
    static EntryInfo entry(int dir, const std::string& name);

    // Creates a new file for writing (O_EXCL, O_NOFOLLOW); whatever stood at
    // the name (a file, a link, another name of a file) is removed first.
    // -1 on failure.
    static int createFile(int dir, const std::string& name, bool exists);
    // Replaces whatever stands at `name` by a symbolic link.
    static bool createSymlink(int dir, const std::string& name, const std::string& target);
    // A hard link at `name` to the file `from` (in folder `fromDir`), which
    // must not be a link itself.
    static bool createHardLink(int fromDir, const std::string& from, int dir,
                               const std::string& name);
    static bool removeEntry(int dir, const std::string& name);

    // Sets the mode of a file createFile made.  Modes pass through the
    // process umask; setuid, setgid and sticky never survive.
    static bool setNewFileMode(int fd, unsigned mode);
    static bool setModificationTime(int fd, std::int64_t unixTime);
    static bool setFolderTime(int dir, const std::string& name, std::int64_t unixTime);
    // The process umask (read once).
    static unsigned umaskValue();

private:
    DirFd root_;
    std::string rootPath_;
};

} // namespace plat
