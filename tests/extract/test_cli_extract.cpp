// olmek-cli x and t as a user runs them: member lines, error lines, exit
// status, target folders, overwrite and password choices without a terminal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/Cli.h"
#include "tests/support/TempDir.h"
#include "tests/support/ZipBuilder.h"

namespace fs = std::filesystem;
using namespace ziptest;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

using testsupport::CliRun;

class CliExtract : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::haveCli()) GTEST_SKIP() << "olmek-cli not built";
        Builder b;
        b.add(stored("A.TXT", "alpha\n"));
        b.add(stored("DIR/B.TXT", "bravo\n"));
        Member enc = stored("S.TXT", "secret\n");
        enc.password = "pw";
        encrypted_.add(enc);
        writeFile(tmp / "plain.zip", b.finish());
        writeFile(tmp / "enc.zip", encrypted_.finish());
    }

    // Runs the program in `dir` with standard input from /dev/null.
    CliRun run(const std::string& args, const std::string& dir = "") {
        return testsupport::runCli(args, dir.empty() ? tmp.path() : dir);
    }
    std::string text(const std::string& path) {
        auto v = readFile(path);
        return std::string(v.begin(), v.end());
    }

    testsupport::TempDir tmp;
    Builder encrypted_;
};

} // namespace

TEST_F(CliExtract, ExtractsIntoTargetFolderAndPrintsOneLinePerMember) {
    CliRun r = run("x -d out plain.zip");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "A.TXT: ok\nDIR/B.TXT: ok\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(text(tmp / "out/A.TXT"), "alpha\n");
    EXPECT_EQ(text(tmp / "out/DIR/B.TXT"), "bravo\n");
}

TEST_F(CliExtract, DefaultTargetIsTheCurrentFolderNotTheArchiveFolder) {
    fs::create_directories(tmp / "work");
    CliRun r = run("x ../plain.zip '*.TXT'", tmp / "work");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(tmp / "work/A.TXT"));
    EXPECT_FALSE(fs::exists(tmp / "A.TXT"));
}

TEST_F(CliExtract, JunkPathsAndMask) {
    CliRun r = run("x -j -d flat plain.zip 'dir/*'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "B.TXT: ok\n");
    EXPECT_TRUE(fs::exists(tmp / "flat/B.TXT"));
    EXPECT_FALSE(fs::exists(tmp / "flat/A.TXT"));
}

TEST_F(CliExtract, ExistingFilesKeptWithoutATerminalOrWithNAndReplacedWithY) {
    fs::create_directories(tmp / "out");
    writeFile(tmp / "out/A.TXT", std::string("mine"));
    CliRun keep = run("x -d out plain.zip");
    EXPECT_EQ(keep.status, 0) << keep.err;
    EXPECT_EQ(keep.out, "A.TXT: skipped\nDIR/B.TXT: ok\n");
    EXPECT_EQ(text(tmp / "out/A.TXT"), "mine");

    CliRun never = run("x -n -d out plain.zip");
    EXPECT_EQ(never.status, 0) << never.err;
    EXPECT_EQ(never.out, "A.TXT: skipped\nDIR/B.TXT: skipped\n");

    CliRun always = run("x -y -d out plain.zip");
    EXPECT_EQ(always.status, 0);
    EXPECT_EQ(text(tmp / "out/A.TXT"), "alpha\n");
}

TEST_F(CliExtract, PasswordsFromTheCommandLineOrRefused) {
    CliRun ok = run("x -p nope -p pw -d out enc.zip");
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out, "S.TXT: ok\n");
    EXPECT_EQ(text(tmp / "out/S.TXT"), "secret\n");

    CliRun refused = run("x -d out2 enc.zip");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "S.TXT: Password failed\n");
    EXPECT_NE(refused.err.find("error 26522: Password failed"), std::string::npos);
}

TEST_F(CliExtract, TestVerbChecksWithoutLeavingFiles) {
    Builder b;
    b.add(stored("GOOD.TXT", "good"));
    Member bad = stored("BAD.TXT", "bad");
    bad.crc ^= 0xFF;
    b.add(bad);
    writeFile(tmp / "mixed.zip", b.finish());
    CliRun r = run("t mixed.zip");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "GOOD.TXT: ok\nBAD.TXT: CRC error\n");
    EXPECT_FALSE(fs::exists(tmp / "GOOD.TXT"));

    CliRun clean = run("t -p pw enc.zip");
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(clean.out, "S.TXT: ok\n");
}

TEST_F(CliExtract, DecoderErrorsAndBadArchivesAreReported) {
    Builder b;
    b.add(stored("A.TXT", "a"));
    Member odd = stored("ODD.BIN", "?");
    odd.method = 98; // PPMd
    b.add(odd);
    writeFile(tmp / "odd.zip", b.finish());
    CliRun r = run("x -d out odd.zip");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "A.TXT: ok\nODD.BIN: Unsupported compression method\n");
    EXPECT_NE(r.err.find("error 25200: Unsupported compression method"), std::string::npos);

    writeFile(tmp / "junk.bin", std::string("definitely not an archive"));
    CliRun junk = run("t junk.bin");
    EXPECT_EQ(junk.status, 1);
    EXPECT_NE(junk.err.find("error 25139"), std::string::npos);

    CliRun none = run("t plain.zip '*.DOC'");
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("error 26999: Nothing to do"), std::string::npos);

    EXPECT_EQ(run("x").status, 2);
    EXPECT_EQ(run("x -q plain.zip").status, 2);
}

TEST_F(CliExtract, HostileNamesAreConfinedAndReported) {
    Builder b;
    b.add(stored("../../escape.txt", "x"));
    b.add(stored("..", "y"));
    writeFile(tmp / "evil.zip", b.finish());
    fs::create_directories(tmp / "deep/er");
    CliRun r = run("x -d out ../../evil.zip", tmp / "deep/er");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(fs::exists(tmp / "deep/er/out/escape.txt"));
    EXPECT_FALSE(fs::exists(tmp / "escape.txt"));
    EXPECT_FALSE(fs::exists(tmp / "deep/escape.txt"));
    EXPECT_NE(r.err.find("error 25140: Invalid file name"), std::string::npos);
    EXPECT_EQ(r.out, "escape.txt: ok\n..: Invalid file name\n");
}

TEST_F(CliExtract, OnATerminalItAsksForPasswordsAndOverwrites) {
    if (std::system("command -v script >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "script not installed";
    const std::string cli = std::string(OLMEK_BINARY_DIR) + "/cli/olmek-cli";
    auto onTty = [&](const std::string& input, const std::string& args) {
        std::string cmd = "cd '" + tmp.path() + "' && printf '" + input + "' | script -qec \"'" +
                          cli + "' " + args + "\" /dev/null >'" + (tmp / ".tty") + "' 2>&1";
        int rc = std::system(cmd.c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    };
    EXPECT_EQ(onTty("wrong\\npw\\n", "x -d tty enc.zip"), 0);
    EXPECT_EQ(text(tmp / "tty/S.TXT"), "secret\n");
    const std::string talk = text(tmp / ".tty");
    EXPECT_NE(talk.find("password for S.TXT: "), std::string::npos);
    EXPECT_NE(talk.find("error 26517: Invalid password"), std::string::npos);

    writeFile(tmp / "tty/S.TXT", std::string("keep me"));
    EXPECT_EQ(onTty("n\\n", "x -p pw -d tty enc.zip"), 0);
    EXPECT_EQ(text(tmp / "tty/S.TXT"), "keep me");
    EXPECT_EQ(onTty("y\\n", "x -p pw -d tty enc.zip"), 0);
    EXPECT_EQ(text(tmp / "tty/S.TXT"), "secret\n");
}
