// The self-extractor joined to ZIP archives, run as a user runs it: by plain
// concatenation (offsets not adjusted) and adjusted by Info-ZIP's `zip -A`.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/support/Cli.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeCompare.h"
#include "tests/support/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

struct StubRun {
    int status = -1;
    std::string out, err;
};

// Runs `program` in `dir` with `input` on standard input.
StubRun runProgram(const std::string& program, const std::string& args, const std::string& dir,
                   const std::string& input = "") {
    StubRun r;
    const std::string in = dir + "/.in", o = dir + "/.out", e = dir + "/.err";
    writeFile(in, input);
    const std::string cmd = "cd " + shellQuote(dir) + " && " + shellQuote(program) + " " + args +
                            " <" + shellQuote(in) + " >" + shellQuote(o) + " 2>" + shellQuote(e);
    r.status = run("sh -c " + shellQuote(cmd));
    auto a = readFile(o), b = readFile(e);
    r.out.assign(a.begin(), a.end());
    r.err.assign(b.begin(), b.end());
    fs::remove(in);
    fs::remove(o);
    fs::remove(e);
    return r;
}

Bytes concat(const std::string& first, const std::string& second) {
    Bytes a = readFile(first), b = readFile(second);
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The stub followed by the archive, runnable; `adjust` moves the offsets
// by the stub's length the way Info-ZIP does.
std::string join(const TempDir& tmp, const std::string& stub, const std::string& zip,
                 const std::string& name, bool adjust) {
    const std::string out = tmp / name;
    writeFile(out, concat(stub, zip));
    chmod(out.c_str(), 0755);
    if (adjust) {
        EXPECT_EQ(run("zip -qA " + shellQuote(out) + " >/dev/null 2>&1"), 0);
    }
    return out;
}

void makeSourceTree(const std::string& root) {
    fs::create_directories(root + "/docs/deep/er");
    fs::create_directories(root + "/empty folder");
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
    writeFile(root + "/docs/text.txt", text);
    Bytes noise(300000);
    std::uint32_t x = 12345;
    for (auto& b : noise) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    writeFile(root + "/noise.bin", noise);
    writeFile(root + "/docs/deep/er/small.txt", std::string("small\n"));
    writeFile(root + "/zero", std::string());
    writeFile(root + "/name with spaces é.txt", std::string("utf-8 name\n"));
    // An even second: ZIP's DOS time stamps hold two-second steps.
    EXPECT_EQ(run("find " + shellQuote(root) + " -exec touch -h -d @1700000000 {} +"), 0);
}

class Stub : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveTool("zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
    }
    TempDir tmp;
};

TEST_F(Stub, ExtractsItselfByteIdenticallyJoinedEitherWay) {
    const std::string src = tmp / "src";
    makeSourceTree(src);
    for (const char* level : {"-0", "-1", "-9"}) {
        const std::string zip = tmp / (std::string("a") + level + ".zip");
        ASSERT_EQ(
            run("cd " + shellQuote(src) + " && zip -qr " + level + " " + shellQuote(zip) + " ."),
            0);
        for (bool adjust : {false, true}) {
            SCOPED_TRACE(std::string(level) + (adjust ? " adjusted" : " concatenated"));
            const std::string exe = join(tmp, OLMEK_STUB, zip, "self.run", adjust);
            const std::string out = tmp / "out";
            fs::remove_all(out);
            StubRun r = runProgram(exe, "-d " + shellQuote(out) + " -y", tmp.path());
            EXPECT_EQ(r.status, 0) << r.out << r.err;
            EXPECT_TRUE(r.err.empty()) << r.err;
            EXPECT_NE(r.out.find("docs/deep/er/small.txt"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find("5 files and 4 folders extracted"), std::string::npos) << r.out;
            EXPECT_EQ(compareTrees(src, out), std::vector<std::string>{});
        }
    }
}

TEST_F(Stub, DecodesEveryLegacyZipMethod) {
    const std::string dir = std::string(OLMEK_CORPUS_DIR) + "/zip/";
    for (const char* sample :
         {"commons-compress__SHRUNK.ZIP", "sharpcompress__Zip.shrink.zip",
          "sharpcompress__Zip.reduce1.zip", "sharpcompress__Zip.reduce2.zip",
          "sharpcompress__Zip.reduce3.zip", "sharpcompress__Zip.reduce4.zip",
          "sharpcompress__Zip.implode.zip", "commons-compress__imploding-4Kdict-2trees.zip",
          "commons-compress__imploding-8Kdict-3trees.zip", "sharpcompress__Zip.deflate.dd.zip"}) {
        SCOPED_TRACE(sample);
        if (!fs::exists(dir + sample)) GTEST_SKIP() << "corpus sample missing: " << sample;
        const std::string exe = join(tmp, OLMEK_STUB, dir + sample, "legacy.run", false);
        const std::string out = tmp / "legacy";
        fs::remove_all(out);
        StubRun r = runProgram(exe, "-d legacy -y", tmp.path());
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.out.find("\n0 files"), std::string::npos) << r.out;
        // Where Info-ZIP decodes the method too, the bytes must agree.
        const std::string peer = tmp / "peer";
        fs::remove_all(peer);
        if (run("unzip -qq -o " + shellQuote(dir + sample) + " -d " + shellQuote(peer) +
                " >/dev/null 2>&1") == 0) {
            EXPECT_EQ(compareTrees(peer, out, false), std::vector<std::string>{});
        }
    }
}

TEST_F(Stub, ConfinesHostileNamesAndNeverWritesThroughLinks) {
    using ziptest::stored;
    const std::string zip = tmp / "hostile.zip";
    writeFile(zip, ziptest::build({stored("../up.txt", "up"), stored("/abs.txt", "abs"),
                                   stored("C:\\dos\\drive.txt", "drive"),
                                   stored("a/../../b.txt", "climb"), stored("..", "dots"),
                                   stored("link/through.txt", "through"),
                                   stored("filelink", "replaced")}));
    const std::string exe = join(tmp, OLMEK_STUB, zip, "hostile.run", false);
    const std::string target = tmp / "t/in";
    const std::string outside = tmp / "t/outside";
    fs::create_directories(target);
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, target + "/link");
    writeFile(outside + "/victim", std::string("keep"));
    fs::create_symlink(outside + "/victim", target + "/filelink");

    StubRun r = runProgram(exe, "-d " + shellQuote(target) + " -y", tmp.path());
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    auto text = [](const std::string& p) {
        auto b = readFile(p);
        return std::string(b.begin(), b.end());
    };
    EXPECT_EQ(text(target + "/up.txt"), "up");
    EXPECT_EQ(text(target + "/abs.txt"), "abs");
    EXPECT_EQ(text(target + "/dos/drive.txt"), "drive");
    EXPECT_EQ(text(target + "/a/b.txt"), "climb");
    // The link to a file was replaced, not written through.
    EXPECT_FALSE(fs::is_symlink(target + "/filelink"));
    EXPECT_EQ(text(target + "/filelink"), "replaced");
    EXPECT_EQ(text(outside + "/victim"), "keep");
    // Nothing was written beside the target or behind the folder link.
    EXPECT_FALSE(fs::exists(outside + "/through.txt"));
    EXPECT_FALSE(fs::exists(tmp / "t/up.txt"));
    EXPECT_FALSE(fs::exists(tmp / "up.txt"));
    EXPECT_FALSE(fs::exists("/abs.txt") && text("/abs.txt") == "abs");
    // The name with nothing left and the member behind the link failed.
    EXPECT_NE(r.err.find("..: Invalid file name"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("link/through.txt"), std::string::npos) << r.err;
}

TEST_F(Stub, ReportsACorruptedMemberAndExtractsTheOthers) {
    const std::string src = tmp / "src";
    fs::create_directories(src);
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "row " + std::to_string(i) + "\n";
    writeFile(src + "/a.txt", text);
    writeFile(src + "/b.txt", text + "tail\n");
    const std::string zip = tmp / "c.zip";
    ASSERT_EQ(run("cd " + shellQuote(src) + " && zip -q -9 " + shellQuote(zip) + " a.txt b.txt"),
              0);
    // Flip a byte in the middle of a.txt's compressed data.
    Bytes bytes = readFile(zip);
    bytes[30 + 5 + 200] ^= 0x55;
    writeFile(zip, bytes);
    const std::string exe = join(tmp, OLMEK_STUB, zip, "corrupt.run", false);
    StubRun r = runProgram(exe, "-d out -y", tmp.path());
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("a.txt: "), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("1 failed"), std::string::npos) << r.out;
    // A member that failed its check is not left behind looking whole.
    EXPECT_FALSE(fs::exists(tmp / "out/a.txt"));
    auto b = readFile(tmp / "out/b.txt");
    EXPECT_EQ(std::string(b.begin(), b.end()), text + "tail\n");
}

TEST_F(Stub, WrongCrcIsReportedAndTheFileRemoved) {
    ziptest::Member m = ziptest::stored("bad.txt", "payload");
    m.crc ^= 1;
    const std::string zip = tmp / "crc.zip";
    writeFile(zip, ziptest::build({m, ziptest::stored("good.txt", "fine")}));
    const std::string exe = join(tmp, OLMEK_STUB, zip, "crc.run", false);
    StubRun r = runProgram(exe, "-d out -y", tmp.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad.txt: File fails CRC check"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(tmp / "out/bad.txt"));
    EXPECT_TRUE(fs::exists(tmp / "out/good.txt"));
}

TEST_F(Stub, AsksBeforeReplacingAFile) {
    const std::string zip = tmp / "o.zip";
    writeFile(zip, ziptest::build(
                       {ziptest::stored("one.txt", "new1"), ziptest::stored("two.txt", "new2")}));
    const std::string exe = join(tmp, OLMEK_STUB, zip, "o.run", false);
    fs::create_directories(tmp / "out");
    writeFile(tmp / "out/one.txt", std::string("old1"));
    writeFile(tmp / "out/two.txt", std::string("old2"));
    auto text = [&](const std::string& n) {
        auto b = readFile(tmp / ("out/" + n));
        return std::string(b.begin(), b.end());
    };
    StubRun r = runProgram(exe, "-d out", tmp.path(), "n\ny\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Replace existing one.txt?"), std::string::npos) << r.out;
    EXPECT_EQ(text("one.txt"), "old1");
    EXPECT_EQ(text("two.txt"), "new2");
    // No answer at all keeps every file; -y replaces without a question.
    writeFile(tmp / "out/two.txt", std::string("old2"));
    r = runProgram(exe, "-d out", tmp.path());
    EXPECT_EQ(text("two.txt"), "old2");
    r = runProgram(exe, "-d out -y", tmp.path());
    EXPECT_EQ(r.out.find("Replace"), std::string::npos);
    EXPECT_EQ(text("one.txt"), "new1");
}

TEST_F(Stub, AsksForTheFolderWhenNoneIsGiven) {
    const std::string zip = tmp / "f.zip";
    writeFile(zip, ziptest::build({ziptest::stored("x.txt", "x")}));
    const std::string exe = join(tmp, OLMEK_STUB, zip, "pack.run", false);
    StubRun r = runProgram(exe, "", tmp.path(), "\n");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Extract 1 members to folder [" + tmp.path() + "/pack]"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(fs::exists(tmp / "pack/x.txt"));
    r = runProgram(exe, "", tmp.path(), "chosen\n");
    EXPECT_TRUE(fs::exists(tmp / "chosen/x.txt"));
    // The end of input chooses nothing.
    r = runProgram(exe, "", tmp.path());
    EXPECT_EQ(r.status, 2);
}

TEST_F(Stub, EncryptedMembersTakeThePassword) {
    const std::string src = tmp / "src";
    fs::create_directories(src);
    writeFile(src + "/secret.txt", std::string(5000, 's'));
    const std::string zip = tmp / "e.zip";
    ASSERT_EQ(run("cd " + shellQuote(src) + " && zip -q -P pw1 " + shellQuote(zip) + " secret.txt"),
              0);
    const std::string exe = join(tmp, OLMEK_STUB, zip, "e.run", false);
    StubRun r = runProgram(exe, "-d given -p pw1", tmp.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(tmp / "given/secret.txt").size(), 5000u);
    r = runProgram(exe, "-d asked", tmp.path(), "wrong\npw1\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Wrong password"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(tmp / "asked/secret.txt").size(), 5000u);
    r = runProgram(exe, "-d skipped", tmp.path(), "\n");
    EXPECT_FALSE(fs::exists(tmp / "skipped/secret.txt"));
}

TEST_F(Stub, ReadsZip64RecordsAndShowsTheComment) {
    ziptest::Options o;
    o.zip64 = true;
    o.comment = "Welcome to the sample";
    const std::string zip = tmp / "z64.zip";
    writeFile(zip, ziptest::build({ziptest::stored("dir/one.txt", "first"),
                                   ziptest::stored("two.txt", std::string(70000, 'z'))},
                                  o));
    const std::string exe = join(tmp, OLMEK_STUB, zip, "z64.run", false);
    StubRun r = runProgram(exe, "-d out -y", tmp.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Welcome to the sample"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(tmp / "out/dir/one.txt").size(), 5u);
    EXPECT_EQ(readFile(tmp / "out/two.txt").size(), 70000u);
    // The listing names the members and extracts nothing.
    r = runProgram(exe, "-l", tmp.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("70000  two.txt"), std::string::npos) << r.out;
}

TEST_F(Stub, WithoutAnArchiveItSaysSo) {
    StubRun r = runProgram(OLMEK_STUB, "-d out", tmp.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("No archive is joined to this program."), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(tmp / "out"));
}

TEST_F(Stub, RefusesMembersSharingTheirData) {
    // Two entries pointing at one record would let a small file write without end.
    Bytes zip = ziptest::build({ziptest::stored("a.txt", "aaaa"), ziptest::stored("b.txt", "bb")});
    // Point the second central entry at the first local record.
    const std::size_t second = zip.size() - 22 - (46 + 5);
    ASSERT_EQ(zip[second], 0x50);
    zip[second + 42] = zip[second + 43] = zip[second + 44] = zip[second + 45] = 0;
    writeFile(tmp / "overlap.zip", zip);
    const std::string exe = join(tmp, OLMEK_STUB, tmp / "overlap.zip", "ov.run", false);
    StubRun r = runProgram(exe, "-d out -y", tmp.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Bad file header"), std::string::npos) << r.err;
}

TEST(StubExe, IsAWindowsProgramWhoseJoinedArchivePassesThePeers) {
    if (!fs::exists(OLMEK_STUB_EXE))
        GTEST_SKIP() << "STUB.EXE was not built (no MinGW-w64 cross compiler)";
    auto head = readFile(OLMEK_STUB_EXE);
    ASSERT_GE(head.size(), 2u);
    EXPECT_EQ(head[0], 'M');
    EXPECT_EQ(head[1], 'Z');
    if (!haveTool("zip") || !haveTool("unzip")) GTEST_SKIP() << "Info-ZIP is not installed";

    TempDir tmp;
    const std::string src = tmp / "src";
    makeSourceTree(src);
    const std::string zip = tmp / "w.zip";
    ASSERT_EQ(run("cd " + shellQuote(src) + " && zip -qr -9 " + shellQuote(zip) + " ."), 0);
    const std::string exe = join(tmp, OLMEK_STUB_EXE, zip, "W.EXE", true);
    EXPECT_EQ(run("unzip -tqq " + shellQuote(exe) + " >/dev/null 2>&1"), 0);
    if (haveTool("7z")) {
        EXPECT_EQ(run("7z t " + shellQuote(exe) + " >/dev/null 2>&1"), 0);
    }
    // Joined without adjusting, the archive is still whole for 7-Zip.
    const std::string plain = join(tmp, OLMEK_STUB_EXE, zip, "P.EXE", false);
    if (haveTool("7z")) {
        EXPECT_EQ(run("7z t " + shellQuote(plain) + " >/dev/null 2>&1"), 0);
    }

    if (!haveTool("wine")) GTEST_SKIP() << "wine is not installed: STUB.EXE was not run";
    StubRun r = runProgram("wine", shellQuote(exe) + " -d out -y", tmp.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(compareTrees(src, tmp / "out", false), std::vector<std::string>{});
}

} // namespace
