#include "platform/DataFiles.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

using namespace plat;
using testsupport::TempDir;

namespace {

// A program folder a few levels down, so that the installed layout found
// from it stays inside the temporary folder.
struct Layout {
    TempDir root;
    std::string bin = root / "a/b/c/usr/bin/";
    std::string share, libexec;
    Layout() {
        std::filesystem::create_directories(bin);
        share = dataFolders(bin).at(1);
        libexec = dataFolders(bin).at(2);
        std::filesystem::create_directories(share);
        std::filesystem::create_directories(libexec);
    }
};

} // namespace

TEST(DataFiles, FoldersInOrder) {
    Layout l;
    const auto folders = dataFolders(l.bin);
    ASSERT_EQ(folders.size(), 5u);
    EXPECT_EQ(folders[0], l.bin);
    // The moved installation, then the configured one.
    EXPECT_EQ(folders[1].rfind(l.root.path() + "/", 0), 0u) << folders[1];
    EXPECT_EQ(folders[2].rfind(l.root.path() + "/", 0), 0u) << folders[2];
    EXPECT_NE(folders[1], folders[2]);
    EXPECT_EQ(folders[3].front(), '/');
    EXPECT_EQ(folders[4].front(), '/');
    for (std::size_t i = 0; i < folders.size(); ++i) {
        EXPECT_EQ(folders[i].back(), '/') << folders[i];
        EXPECT_EQ(folders[i].find("/../"), std::string::npos) << folders[i];
        if (i > 0) {
            EXPECT_NE(folders[i].find("/olmek95/"), std::string::npos) << folders[i];
        }
    }
    // Without a trailing delimiter the same folders.
    EXPECT_EQ(dataFolders(excludeTrailingDelimiter(l.bin)), folders);
}

TEST(DataFiles, ProgramFolderBeforeInstalledFolder) {
    Layout l;
    testsupport::writeFile(l.share + "STUB.EXE", "installed");
    EXPECT_EQ(findDataFile("STUB.EXE", l.bin), l.share + "STUB.EXE");
    testsupport::writeFile(l.bin + "STUB.EXE", "beside");
    EXPECT_EQ(findDataFile("STUB.EXE", l.bin), l.bin + "STUB.EXE");
}

TEST(DataFiles, MissingFoldersAndNonFilesGiveNothing) {
    Layout l;
    EXPECT_EQ(findDataFile("STUB.EXE", l.bin), "");
    EXPECT_EQ(findDataFile("", l.bin), "");
    // A folder of that name is not the data file; a file further on is.
    std::filesystem::create_directories(l.bin + "olmek-stub");
    EXPECT_EQ(findDataFile("olmek-stub", l.bin), "");
    testsupport::writeFile(l.libexec + "olmek-stub", "x");
    EXPECT_EQ(findDataFile("olmek-stub", l.bin), l.libexec + "olmek-stub");
    // Names are matched exactly.
    EXPECT_EQ(findDataFile("stub.exe", l.bin), "");
    EXPECT_EQ(findDataFile("STUB.EXE", l.root / "nowhere/bin"), "");
}

TEST(DataFiles, BesideTheRunningProgram) {
    const std::string name = "olmek-data-test-" + std::to_string(::getpid());
    const std::string beside = programDir() + name;
    EXPECT_EQ(findDataFile(name), "");
    testsupport::writeFile(beside, "dummy");
    EXPECT_EQ(findDataFile(name), beside);
    EXPECT_EQ(dataFolders().front(), programDir());
    std::filesystem::remove(beside);
}

TEST(DataFiles, BuildFolderStubsWhenRunFromTheBuild) {
    TempDir root;
    const std::string build = root / "build";
    const std::string cli = root / "build/cli/";
    std::filesystem::create_directories(cli);
    std::filesystem::create_directories(root / "build/stub");
    const auto folders = dataFolders(cli, build);
    ASSERT_GE(folders.size(), 2u);
    EXPECT_EQ(folders[0], cli);
    EXPECT_EQ(folders[1], root / "build/stub/");
    // A stand-in for the stub the build makes.
    EXPECT_EQ(findDataFile("olmek-stub", dataFolders(cli, build)), "");
    testsupport::writeFile(root / "build/stub/olmek-stub", "stand-in");
    EXPECT_EQ(findDataFile("olmek-stub", dataFolders(cli, build)), root / "build/stub/olmek-stub");
    // Programs elsewhere, also in a folder whose name only begins alike, do
    // not look into the build.
    for (const std::string& other : {root / "build-package/cli/", root / "usr/bin/"})
        for (const auto& f : dataFolders(other, build))
            EXPECT_EQ(f.find(root / "build/"), std::string::npos) << f;
}
