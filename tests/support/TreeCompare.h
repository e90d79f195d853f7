// Compares an extracted folder tree with the tree it was made from: the
// same entries, files with the same bytes (and time stamps when asked),
// symbolic links with the same targets, hard links sharing their file.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace testsupport {

struct TreeEntry {
    char kind = '?';  // 'f' file, 'd' folder, 'l' symbolic link
    std::string data; // a file's bytes or a link's target
    std::int64_t mtime = 0;
    ino_t inode = 0;
};

// Every entry below root by its relative path, links not followed.
inline std::map<std::string, TreeEntry> scanTree(const std::string& root) {
    namespace fs = std::filesystem;
    std::map<std::string, TreeEntry> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::end(it);
         it.increment(ec)) {
        const std::string path = it->path().string();
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        TreeEntry e;
        e.mtime = st.st_mtime;
        e.inode = st.st_ino;
        if (S_ISLNK(st.st_mode)) {
            e.kind = 'l';
            e.data = fs::read_symlink(path, ec).string();
        } else if (S_ISDIR(st.st_mode)) {
            e.kind = 'd';
        } else if (S_ISREG(st.st_mode)) {
            e.kind = 'f';
            auto bytes = readFile(path);
            e.data.assign(bytes.begin(), bytes.end());
        }
        out[fs::relative(it->path(), root).string()] = e;
    }
    return out;
}

// The differences, one line each; empty when the trees agree.  Folder
// times are not compared (writing into a folder moves its time).
inline std::vector<std::string> compareTrees(const std::string& expected, const std::string& actual,
                                             bool times = true) {
    std::vector<std::string> diffs;
    const auto a = scanTree(expected), b = scanTree(actual);
    std::map<ino_t, std::string> firstOfA, firstOfB;
    for (const auto& [name, e] : a) {
        auto it = b.find(name);
        if (it == b.end()) {
            diffs.push_back("missing " + name);
            continue;
        }
        const TreeEntry& f = it->second;
        if (e.kind != f.kind)
            diffs.push_back("kind of " + name + ": " + e.kind + " vs " + f.kind);
        else if (e.data != f.data)
            diffs.push_back("content of " + name);
        else if (times && e.kind == 'f' && e.mtime != f.mtime)
            diffs.push_back("time of " + name + ": " + std::to_string(e.mtime) + " vs " +
                            std::to_string(f.mtime));
        // Names sharing a file in the source share one in the copy.
        if (e.kind == 'f') {
            auto [ai, newA] = firstOfA.emplace(e.inode, name);
            auto [bi, newB] = firstOfB.emplace(f.inode, name);
            if (!newA && (newB || bi->second != ai->second))
                diffs.push_back("hard link " + name + " not linked to " + ai->second);
        }
    }
    for (const auto& [name, e] : b)
        if (!a.count(name)) diffs.push_back("extra " + name);
    return diffs;
}

} // namespace testsupport
