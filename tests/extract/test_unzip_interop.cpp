// Archives made at test time by Info-ZIP zip and by 7-Zip extract to
// byte-identical files with their time stamps.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "archive/extract/UnZIP.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

bool haveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

int sh(const std::string& dir, const std::string& cmd) {
    return std::system(("cd '" + dir + "' && " + cmd + " >/dev/null 2>&1").c_str());
}

class UnZipInterop : public ::testing::Test {
protected:
    void SetUp() override {
        char buf[4096];
        if (getcwd(buf, sizeof buf)) cwd_ = buf;
        src = tmp / "src";
        fs::create_directories(src + "/sub/deeper");
        std::string text;
        for (int i = 0; i < 200; ++i)
            text += "line " + std::to_string(i) + " of a small text file\n";
        writeFile(src + "/text.txt", text);
        std::string big;
        for (int i = 0; i < 20000; ++i) big += "record " + std::to_string(i * 7919 % 10007) + ";";
        writeFile(src + "/big.txt", big);
        std::mt19937 rng(42);
        std::vector<std::uint8_t> noise(200000);
        for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
        writeFile(src + "/rand.bin", noise);
        writeFile(src + "/empty.dat", std::string());
        writeFile(src + "/sub/deeper/note.txt", std::string("deep\n"));
        writeFile(src + "/with space.txt", std::string("spaced out\n"));
        sh(src, "find . -type f -exec touch -d '2019-06-15 10:20:30' {} +");
    }
    void TearDown() override {
        if (!cwd_.empty() && chdir(cwd_.c_str()) != 0) ADD_FAILURE();
    }

    // Extracts with the given passwords; returns the failing member count.
    int extract(const std::string& archive, const std::string& target, int& stop) {
        TUnZIP z;
        z.SetArchiveFile(archive);
        z.SetExtractDir(target);
        z.Passwords.Add("secret");
        int failed = 0;
        z.OnEnd = [&](TObject*, const std::string&, bool pass) { failed += !pass; };
        z.Extract();
        stop = z.StopCode;
        return failed;
    }

    void expectSameTree(const std::string& target, bool times = true) {
        int files = 0;
        for (auto& e : fs::recursive_directory_iterator(src)) {
            if (!e.is_regular_file()) continue;
            ++files;
            std::string rel = fs::relative(e.path(), src).string();
            std::string got = target + "/" + rel;
            SCOPED_TRACE(rel);
            ASSERT_TRUE(fs::exists(got));
            EXPECT_TRUE(readFile(e.path().string()) == readFile(got));
            if (times) {
                struct stat a, b;
                ASSERT_EQ(stat(e.path().c_str(), &a), 0);
                ASSERT_EQ(stat(got.c_str(), &b), 0);
                EXPECT_EQ(a.st_mtime, b.st_mtime);
            }
        }
        EXPECT_EQ(files, 6);
    }

    void roundTrip(const std::string& make, const std::string& archive) {
        ASSERT_EQ(sh(src, make), 0) << make;
        int stop = -1;
        std::string target = tmp / ("out_" + fs::path(archive).filename().string());
        EXPECT_EQ(extract(tmp / archive, target, stop), 0);
        EXPECT_EQ(stop, 0);
        expectSameTree(target);
    }

    testsupport::TempDir tmp;
    std::string src;

private:
    std::string cwd_;
};

} // namespace

TEST_F(UnZipInterop, InfoZipStoredAndDeflatedAtSeveralLevels) {
    if (!haveTool("zip")) GTEST_SKIP() << "zip not installed";
    for (const char* level : {"0", "1", "6", "9"})
        roundTrip(std::string("zip -q -r -") + level + " ../z" + level + ".zip .",
                  std::string("z") + level + ".zip");
}

TEST_F(UnZipInterop, InfoZipTraditionalEncryption) {
    if (!haveTool("zip")) GTEST_SKIP() << "zip not installed";
    roundTrip("zip -q -r -P secret ../enc.zip .", "enc.zip");
    roundTrip("zip -q -r -0 -P secret ../enc0.zip .", "enc0.zip");
}

TEST_F(UnZipInterop, InfoZipArchiveComment) {
    if (!haveTool("zip")) GTEST_SKIP() << "zip not installed";
    roundTrip("zip -q -r ../cm.zip . && echo 'a comment for the archive' | zip -q -z ../cm.zip",
              "cm.zip");
}

TEST_F(UnZipInterop, MembersWrittenThroughAPipeCarryDataDescriptors) {
    if (!haveTool("zip")) GTEST_SKIP() << "zip not installed";
    ASSERT_EQ(sh(src, "cat big.txt | zip -q ../pipe.zip -"), 0);
    ASSERT_EQ(sh(src, "cat rand.bin | zip -q -P secret ../pipe-enc.zip -"), 0);
    int stop = -1;
    EXPECT_EQ(extract(tmp / "pipe.zip", tmp / "p1", stop), 0);
    EXPECT_EQ(stop, 0);
    EXPECT_TRUE(readFile(tmp / "p1/-") == readFile(src + "/big.txt"));
    EXPECT_EQ(extract(tmp / "pipe-enc.zip", tmp / "p2", stop), 0);
    EXPECT_EQ(stop, 0);
    EXPECT_TRUE(readFile(tmp / "p2/-") == readFile(src + "/rand.bin"));
}

TEST_F(UnZipInterop, SevenZipStoredDeflatedAndEncrypted) {
    if (!haveTool("7z")) GTEST_SKIP() << "7z not installed";
    for (const char* level : {"0", "5", "9"})
        roundTrip(std::string("7z a -tzip -mx=") + level + " ../s" + level + ".zip .",
                  std::string("s") + level + ".zip");
    roundTrip("7z a -tzip -psecret -mem=ZipCrypto ../s-enc.zip .", "s-enc.zip");
}

TEST_F(UnZipInterop, ZipAppendedToAnExecutableStub) {
    if (!haveTool("zip")) GTEST_SKIP() << "zip not installed";
    ASSERT_EQ(sh(src, "zip -q -r ../plain.zip ."), 0);
    // A DOS image of two 512-byte pages.
    std::vector<std::uint8_t> stub(1024, 0);
    stub[0] = 'M';
    stub[1] = 'Z';
    stub[4] = 2;
    writeFile(tmp / "stub.bin", stub);
    ASSERT_EQ(sh(tmp.path(), "cat stub.bin plain.zip > sfx.exe && cp sfx.exe sfx-adjusted.exe && "
                             "zip -q -A sfx-adjusted.exe"),
              0);
    for (const char* name : {"sfx.exe", "sfx-adjusted.exe"}) {
        SCOPED_TRACE(name);
        int stop = -1;
        std::string target = tmp / (std::string("out_") + name);
        EXPECT_EQ(extract(tmp / name, target, stop), 0);
        EXPECT_EQ(stop, 0);
        expectSameTree(target);
    }
}

TEST_F(UnZipInterop, Zip64RecordsForcedByInfoZip) {
    if (!haveTool("zip")) GTEST_SKIP() << "zip not installed";
    roundTrip("zip -q -r -fz ../z64.zip .", "z64.zip");
    // Through a pipe as well: sizes in the ZIP64 extra field and descriptor.
    ASSERT_EQ(sh(src, "cat big.txt | zip -q -fz ../z64pipe.zip -"), 0);
    int stop = -1;
    EXPECT_EQ(extract(tmp / "z64pipe.zip", tmp / "p64", stop), 0);
    EXPECT_EQ(stop, 0);
    EXPECT_TRUE(readFile(tmp / "p64/-") == readFile(src + "/big.txt"));
}

TEST_F(UnZipInterop, DeflatedProgressReportsEachStepOnceAndHundredAtTheEnd) {
    if (!haveTool("zip")) GTEST_SKIP() << "zip not installed";
    std::mt19937 rng(3);
    std::string half;
    for (int i = 0; i < 400000; ++i) half += static_cast<char>('a' + rng() % 16);
    writeFile(tmp / "p/half.txt", (fs::create_directories(tmp / "p"), half));
    ASSERT_EQ(sh(tmp / "p", "zip -q -9 ../half.zip half.txt"), 0);
    for (TProgressNotify step : {TwentyFive, Five}) {
        TUnZIP z;
        z.SetArchiveFile(tmp / "half.zip");
        z.TestOnly = true;
        z.ProgressNotify = step;
        std::vector<int> seen;
        z.OnProgress = [&](TObject*, const std::string&, std::uint8_t p) { seen.push_back(p); };
        z.Extract();
        std::vector<int> want;
        int s = step == TwentyFive ? 25 : 5;
        for (int p = s; p <= 100; p += s) want.push_back(p);
        EXPECT_EQ(seen, want);
    }
}
