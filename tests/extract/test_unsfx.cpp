// The self-extractor inspector: the archive name it proposes for a ZIP
// behind an MZ stub and for an ARJ self-extractor, its refusals, the rules
// for a name given to it, and olmek-cli sfx-name.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/core/Hooks.h"
#include "archive/extract/UnSFX.h"
#include "platform/FileSystem.h"
#include "tests/support/PeBuilder.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using testsupport::haveTool;

namespace {

int sh(const std::string& dir, const std::string& cmd) {
    return testsupport::run("cd '" + dir + "' && (" + cmd + ") >/dev/null 2>&1");
}

class UnSfx : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxHook([this](const std::string& text, bool question) {
            shown.push_back(text);
            return question ? answer : true;
        });
        cwd = plat::getCurrentDir();
    }
    void TearDown() override {
        SetMessageBoxHook(nullptr);
        if (!plat::setCurrentDir(cwd)) ADD_FAILURE() << "chdir";
    }

    // An MZ stub with an archive made by a tool appended.
    std::string program(const std::string& name, const std::string& archive) {
        auto exe = testsupport::dosStub(2048);
        auto data = testsupport::readFile(tmp / archive);
        exe.insert(exe.end(), data.begin(), data.end());
        testsupport::writeFile(tmp / name, exe);
        return tmp / name;
    }

    testsupport::TempDir tmp;
    std::vector<std::string> shown;
    bool answer = false;
    std::string cwd;
};

} // namespace

TEST_F(UnSfx, ZipBehindAStubAndArjSelfExtractor) {
    if (!haveTool("zip") || !haveTool("arj")) GTEST_SKIP() << "zip or arj not installed";
    testsupport::writeFile(tmp / "a.txt", std::string("payload\n"));
    ASSERT_EQ(sh(tmp.path(), "zip -q x.zip a.txt && arj a x.arj a.txt"), 0);
    TUnSFX sfx;
    sfx.SetArchiveFile(program("tool.exe", "x.zip"));
    EXPECT_EQ(sfx.ArcType(), atZipExe);
    EXPECT_EQ(sfx.OutFilename(), tmp / "tool.zip");
    sfx.SetArchiveFile(program("SETUP.V2.EXE", "x.zip"));
    EXPECT_EQ(sfx.OutFilename(), tmp / "SETUP.ZIP");
    sfx.SetArchiveFile(program("unarj.exe", "x.arj"));
    EXPECT_EQ(sfx.ArcType(), atArjExe);
    EXPECT_EQ(sfx.OutFilename(), tmp / "unarj.arj");
    EXPECT_TRUE(shown.empty());
}

TEST_F(UnSfx, WhatIsNotASelfExtractorIsRefused) {
    TUnSFX sfx;
    sfx.SetArchiveFile(tmp / "missing.exe");
    EXPECT_EQ(shown, std::vector<std::string>{tmp / "missing.exe" + "\rFile not found."});
    EXPECT_TRUE(sfx.ArchiveFile().empty());
    testsupport::writeFile(tmp / "text.exe", std::string("just some text, no archive"));
    sfx.SetArchiveFile(tmp / "text.exe");
    EXPECT_EQ(shown.back(), "Invalid Archive.");
    EXPECT_EQ(sfx.ArcType(), atNA);
    testsupport::writeFile(tmp / "plain.gz",
                           std::vector<std::uint8_t>{0x1F, 0x8B, 8, 0, 0, 0, 0, 0});
    sfx.SetArchiveFile(tmp / "plain.gz");
    EXPECT_EQ(shown.back(), "Unsupported or invalid archive type.");
    EXPECT_TRUE(sfx.OutFilename().empty());
    // Nothing said for an empty name.
    shown.clear();
    sfx.SetArchiveFile("");
    EXPECT_TRUE(shown.empty());
}

TEST_F(UnSfx, GivenNames) {
    if (!haveTool("zip")) GTEST_SKIP() << "zip not installed";
    testsupport::writeFile(tmp / "a.txt", std::string("payload\n"));
    ASSERT_EQ(sh(tmp.path(), "zip -q x.zip a.txt"), 0);
    TUnSFX sfx;
    sfx.SetOutFilename("orphan.zip");
    EXPECT_EQ(shown, std::vector<std::string>{"ArchiveFile must be defined."});
    EXPECT_TRUE(sfx.OutFilename().empty());
    sfx.SetArchiveFile(program("t.exe", "x.zip"));
    const std::string standard = tmp / "t.zip";
    sfx.SetOutFilename(tmp / "sub/");
    EXPECT_EQ(sfx.OutFilename(), standard);
    fs::create_directories(tmp / "dir");
    sfx.SetOutFilename(tmp / "dir");
    EXPECT_EQ(shown.back(), tmp / "dir" + " is an existing directory.");
    EXPECT_EQ(sfx.OutFilename(), standard);
    sfx.SetOutFilename("bare.zip");
    EXPECT_EQ(sfx.OutFilename(), tmp / "bare.zip");
    sfx.SetOutFilename(tmp / "dir/in.zip");
    EXPECT_EQ(sfx.OutFilename(), tmp / "dir/in.zip");
    // A folder that does not exist: created on Yes, the current folder on No.
    answer = true;
    sfx.SetOutFilename(tmp / "new/deep/made.zip");
    EXPECT_EQ(shown.back(), "Directory NOT found, create?");
    EXPECT_TRUE(fs::is_directory(tmp / "new/deep"));
    EXPECT_EQ(sfx.OutFilename(), tmp / "new/deep/made.zip");
    answer = false;
    ASSERT_TRUE(plat::setCurrentDir(tmp / "dir"));
    sfx.SetOutFilename(tmp / "other/kept.zip");
    EXPECT_FALSE(fs::exists(tmp / "other"));
    EXPECT_EQ(sfx.OutFilename(), tmp / "dir/kept.zip");
}

TEST_F(UnSfx, CommandLine) {
    if (!haveTool("zip")) GTEST_SKIP() << "zip not installed";
    testsupport::writeFile(tmp / "a.txt", std::string("payload\n"));
    ASSERT_EQ(sh(tmp.path(), "zip -q x.zip a.txt"), 0);
    program("Tool.exe", "x.zip");
    const std::string cli = std::string(OLMEK_BINARY_DIR) + "/cli/olmek-cli";
    int status = -1;
    EXPECT_EQ(testsupport::runOutput("'" + cli + "' sfx-name '" + tmp / "Tool.exe" + "'", &status),
              tmp / "Tool.zip\n");
    EXPECT_EQ(status, 0);
    testsupport::runOutput("'" + cli + "' sfx-name '" + tmp / "a.txt" + "' 2>/dev/null", &status);
    EXPECT_EQ(status, 1);
}
