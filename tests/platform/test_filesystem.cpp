#include "platform/FileSystem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace plat;
using testsupport::TempDir;

TEST(Paths, Pieces) {
    EXPECT_EQ(extractFileName("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(extractFilePath("/a/b/c.txt"), "/a/b/");
    EXPECT_EQ(extractFileDir("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(extractFileDir("/c.txt"), "/");
    EXPECT_EQ(extractFileExt("/a.b/c.tar"), ".tar");
    EXPECT_EQ(extractFileExt("/a.b/c"), "");
    EXPECT_EQ(includeTrailingDelimiter("/x"), "/x/");
    EXPECT_EQ(includeTrailingDelimiter("/x/"), "/x/");
    EXPECT_EQ(excludeTrailingDelimiter("/x/"), "/x");
    EXPECT_EQ(excludeTrailingDelimiter("/"), "/");
}

TEST(Attributes, MapToUnixModes) {
    TempDir dir;
    std::string f = dir / "file.txt", hidden = dir / ".hidden";
    testsupport::writeFile(f, "x");
    testsupport::writeFile(hidden, "x");
    EXPECT_EQ(getAttributes(f), faArchive);
    EXPECT_EQ(getAttributes(hidden), faArchive | faHidden);
    EXPECT_EQ(getAttributes(dir.path()), faDirectory);
    EXPECT_EQ(getAttributes(dir / "missing"), -1);

    ASSERT_TRUE(setAttributes(f, faReadOnly | faSysFile | faVolumeID));
    struct stat st;
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_FALSE(st.st_mode & S_IWUSR);
    EXPECT_EQ(getAttributes(f), faArchive | faReadOnly);
    ASSERT_TRUE(setAttributes(f, faArchive));
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);

    ASSERT_TRUE(setPermissions(f, 04755));
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u) << "setuid is never set";
}

TEST(Folders, ForceDirectoriesAndCurrentDir) {
    TempDir dir;
    std::string deep = dir / "a/b/c";
    EXPECT_TRUE(forceDirectories(deep));
    EXPECT_TRUE(directoryExists(deep));
    EXPECT_TRUE(forceDirectories(deep + "/")) << "already there";
    std::string old = getCurrentDir();
    ASSERT_TRUE(setCurrentDir(deep));
    EXPECT_EQ(getCurrentDir(), std::string(realpath(deep.c_str(), nullptr)));
    setCurrentDir(old);
    EXPECT_FALSE(forceDirectories(""));
}

TEST(Folders, TempNamesCarryThePrefixAndHonourTmpdir) {
    TempDir dir;
    setenv("TMPDIR", dir.path().c_str(), 1);
    std::string a = tempFileName("BH"), b = tempFileName("BH");
    EXPECT_NE(a, b);
    EXPECT_EQ(extractFilePath(a), dir.path() + "/");
    EXPECT_EQ(extractFileName(a).substr(0, 2), "BH");
    EXPECT_TRUE(fileExists(a));
    std::string d = tempDirName("VMS");
    EXPECT_TRUE(directoryExists(d));
    EXPECT_EQ(extractFileName(d).substr(0, 3), "VMS");
    unsetenv("TMPDIR");
}

TEST(Folders, FilesBesideATargetAndReplacingRenames) {
    TempDir dir;
    std::string t = tempFileIn(dir.path(), ".x");
    EXPECT_EQ(extractFilePath(t), dir.path() + "/");
    EXPECT_EQ(extractFileName(t).substr(0, 2), ".x");
    testsupport::writeFile(dir / "target", std::string("old"));
    testsupport::writeFile(t, std::string("new"));
    EXPECT_TRUE(renameFile(t, dir / "target"));
    EXPECT_FALSE(pathExists(t));
    auto v = testsupport::readFile(dir / "target");
    EXPECT_EQ(std::string(v.begin(), v.end()), "new");
    EXPECT_TRUE(tempFileIn(dir / "missing", ".x").empty());
    EXPECT_TRUE(deleteFile(dir / "target"));
    EXPECT_FALSE(deleteFile(dir / "target"));
    mode_t old = umask(027);
    EXPECT_EQ(creationMask(), 027u);
    EXPECT_EQ(creationMask(), 027u) << "reading leaves the mask as it was";
    umask(old);
}

TEST(Times, PathTimeStamps) {
    TempDir dir;
    std::string f = dir / "t";
    testsupport::writeFile(f, "x");
    ASSERT_TRUE(setFileModificationTime(f, 946684800));
    EXPECT_EQ(fileModificationTime(f).value_or(0), 946684800);
    EXPECT_EQ(fileSize(f).value_or(-1), 1);
    EXPECT_FALSE(fileModificationTime(dir / "none"));
}

TEST(Folders, CacheDirFollowsXdg) {
    setenv("XDG_CACHE_HOME", "/tmp/xdgcache", 1);
    EXPECT_EQ(cacheDir(), "/tmp/xdgcache/olmek95/");
    unsetenv("XDG_CACHE_HOME");
    setenv("HOME", "/tmp/home", 1);
    EXPECT_EQ(cacheDir(), "/tmp/home/.cache/olmek95/");
}

TEST(Folders, DosNamesAreFoundWithoutRegardToCase) {
    TempDir dir;
    const std::string folder = dir.path() + "/";
    testsupport::writeFile(dir / "DISK2.CAB", "x");
    testsupport::writeFile(dir / "exact.cab", "x");
    testsupport::writeFile(dir / "EXACT.CAB", "x");
    ASSERT_TRUE(forceDirectories(dir / "sub"));
    struct Row {
        std::string name, want;
    };
    const Row rows[] = {
        {"disk2.cab", "DISK2.CAB"}, // only the case differs
        {"DISK2.CAB", "DISK2.CAB"},
        {"exact.cab", "exact.cab"}, // an exact match wins over the others
        {"Exact.Cab", ""},          // one of the two, whichever the folder lists first
        {"disk3.cab", "disk3.cab"}, // none: the name as given
        {"disk2.ca", "disk2.ca"},   // a prefix is no match
        {"sub/x.cab", "sub/x.cab"}, // paths are not searched
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string got = findNameNoCase(folder, r.name);
        if (r.want.empty())
            EXPECT_TRUE(got == folder + "exact.cab" || got == folder + "EXACT.CAB") << got;
        else
            EXPECT_EQ(got, folder + r.want);
    }
    EXPECT_EQ(findNameNoCase(dir / "missing/", "a.cab"), dir / "missing/a.cab");

    // An empty folder is the current one.
    const std::string cwd = getCurrentDir();
    ASSERT_TRUE(setCurrentDir(dir.path()));
    EXPECT_EQ(findNameNoCase("", "disk2.cab"), "DISK2.CAB");
    ASSERT_TRUE(setCurrentDir(cwd));
}

TEST(FileSystem, KindsIdentitiesAndFolderEntries) {
    TempDir dir;
    testsupport::writeFile(dir / "b.txt", "b");
    testsupport::writeFile(dir / "A.txt", "a");
    ASSERT_TRUE(forceDirectories(dir / "sub"));
    ASSERT_EQ(symlink((dir / "b.txt").c_str(), (dir / "link").c_str()), 0);
    ASSERT_EQ(symlink((dir / "gone").c_str(), (dir / "dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);

    EXPECT_EQ(folderEntries(dir.path()),
              (std::vector<std::string>{"A.txt", "b.txt", "dangling", "link", "pipe", "sub"}));
    EXPECT_TRUE(folderEntries(dir / "missing").empty());

    EXPECT_TRUE(isRegularFile(dir / "b.txt"));
    EXPECT_TRUE(isRegularFile(dir / "link")) << "links are followed";
    EXPECT_FALSE(isRegularFile(dir / "pipe"));
    EXPECT_FALSE(isRegularFile(dir / "sub"));
    EXPECT_FALSE(isRegularFile(dir / "dangling"));
    EXPECT_TRUE(isSymlink(dir / "link"));
    EXPECT_TRUE(isSymlink(dir / "dangling"));
    EXPECT_FALSE(isSymlink(dir / "b.txt"));

    ASSERT_TRUE(fileIdentity(dir / "b.txt"));
    EXPECT_EQ(fileIdentity(dir / "link"), fileIdentity(dir / "b.txt"));
    EXPECT_NE(fileIdentity(dir / "A.txt"), fileIdentity(dir / "b.txt"));
    EXPECT_FALSE(fileIdentity(dir / "dangling"));
}

TEST(FileSystem, CopyOwnerAndPermissions) {
    TempDir dir;
    testsupport::writeFile(dir / "model", "m");
    testsupport::writeFile(dir / "target", "t");
    ASSERT_EQ(chmod((dir / "model").c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown((dir / "model").c_str(), 65534, 65534), 0);
    }
    ASSERT_TRUE(copyOwnerAndPermissions(dir / "model", dir / "target"));
    struct stat st;
    ASSERT_EQ(stat((dir / "target").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
    EXPECT_FALSE(copyOwnerAndPermissions(dir / "missing", dir / "target"));
}
