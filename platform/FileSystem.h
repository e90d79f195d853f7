// Paths, attributes, time stamps and folders on the POSIX file system, with
// the DOS attribute bits the archive formats carry mapped onto Unix modes.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plat {

constexpr char PathDelim = '/';

// DOS attribute bits.
constexpr int faReadOnly = 0x01;
constexpr int faHidden = 0x02;
constexpr int faSysFile = 0x04;
constexpr int faVolumeID = 0x08;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;

// Path pieces, '/' separated.  extractFilePath keeps the trailing '/'.
std::string extractFileName(const std::string& path);
std::string extractFilePath(const std::string& path);
std::string extractFileDir(const std::string& path); // without the trailing '/'
std::string extractFileExt(const std::string& path); // ".ext" or empty
std::string includeTrailingDelimiter(const std::string& path);
std::string excludeTrailingDelimiter(const std::string& path);

bool fileExists(const std::string& path); // any non-directory entry
bool directoryExists(const std::string& path);
bool pathExists(const std::string& path);

// A file named in a DOS archive, looked up the way DOS did, without regard
// to ASCII case: folder + name when that file exists (or name holds a '/'),
// else folder + the first entry of folder whose name differs only in case,
// else folder + name.  folder ends with '/' or is empty (the current folder).
std::string findNameNoCase(const std::string& folder, const std::string& name);

// The identity of a file on this system.
struct FileId {
    std::uint64_t Device = 0, Inode = 0;
    auto operator<=>(const FileId&) const = default;
};
// Of the file a path names, links followed; nullopt when missing.
std::optional<FileId> fileIdentity(const std::string& path);
// A regular file, links followed (no folder, device, pipe or socket).
bool isRegularFile(const std::string& path);
// The path itself is a symbolic link.
bool isSymlink(const std::string& path);
// The names in a folder without "." and "..", in byte order (directory
// order differs between file systems); empty when it cannot be read.
std::vector<std::string> folderEntries(const std::string& folder);

// DOS attributes of a file as this platform maps them; -1 when missing.
int getAttributes(const std::string& path);
// The Unix mode (file type and permission bits) of a file; nullopt when
// missing.
std::optional<unsigned> fileMode(const std::string& path);
// Applies the read-only bit (owner write permission); other bits ignored.
bool setAttributes(const std::string& path, int dosAttr);
// Applies Unix permission bits (setuid, setgid and sticky are never set).
bool setPermissions(const std::string& path, unsigned mode);
// Gives target the permission bits of model and, where this process may
// change them, its owner and group; false when model is missing or the
// permissions cannot be set.
bool copyOwnerAndPermissions(const std::string& model, const std::string& target);

std::optional<std::int64_t> fileModificationTime(const std::string& path);
bool setFileModificationTime(const std::string& path, std::int64_t unixTime);
std::optional<std::int64_t> fileSize(const std::string& path);

std::string getCurrentDir();
bool setCurrentDir(const std::string& path);
// Creates a folder and every missing parent.
bool forceDirectories(const std::string& path);

// The temporary folder: $TMPDIR, else /tmp.
std::string tempDir();
// Creates a new empty file with a unique name starting with prefix in the
// temporary folder and returns its name; empty on failure.
std::string tempFileName(const std::string& prefix);
// The same for a folder.
std::string tempDirName(const std::string& prefix);
// A new empty file with a unique name starting with prefix inside folder
// (for output that is renamed into place when complete); empty on failure.
std::string tempFileIn(const std::string& folder, const std::string& prefix);
// Gives a file a new name, replacing any entry of that name in one step.
bool renameFile(const std::string& from, const std::string& to);
bool deleteFile(const std::string& path);
// The process's file-creation mask (umask).
unsigned creationMask();

// Folder of the running program, with a trailing '/'.
std::string programDir();
// $XDG_CACHE_HOME/olmek95/ (default ~/.cache/olmek95/).
std::string cacheDir();
std::string homeDir();

// Removes a folder tree; true when it is gone.
bool removeTree(const std::string& path);

} // namespace plat
