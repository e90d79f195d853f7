// Detection of archives made by real tools at test time.
#include "archive/core/ArcRoot.h"
#include "platform/FileSystem.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace testsupport;
using Bytes = std::vector<std::uint8_t>;

namespace {

class PeerDetect : public ::testing::Test {
protected:
    void SetUp() override {
        cwd_ = plat::getCurrentDir();
        run("mkdir -p '" + dir / "in/sub" + "'");
        std::string text;
        for (int i = 0; i < 200; ++i) text += "line " + std::to_string(i) + " of the sample text\n";
        writeFile(dir / "in/hello.txt", text);
        writeFile(dir / "in/sub/data.bin", std::string(3000, 'z'));
    }
    void TearDown() override { plat::setCurrentDir(cwd_); }

    TArcType detect(const std::string& path, std::int64_t* start = nullptr) {
        TZipCommon c;
        c.SetArchiveFile(path);
        plat::setCurrentDir(cwd_);
        if (start) *start = c.ArchiveStart;
        return c.ArcType();
    }
    // Runs cmd inside the input folder.
    bool make(const std::string& tool, const std::string& cmd) {
        if (!haveTool(tool)) return false;
        return run("cd '" + dir / "in" + "' && " + cmd + " >/dev/null 2>&1") == 0;
    }

    TempDir dir;
    std::string cwd_;
};

#define NEED(tool, cmd)                                                                            \
    if (!make(tool, cmd)) GTEST_SKIP() << tool << " is not installed or failed: " << cmd

} // namespace

TEST_F(PeerDetect, Zip) {
    NEED("zip", "zip -q -r ../plain.zip .");
    EXPECT_EQ(detect(dir / "plain.zip"), atZIP);
}

TEST_F(PeerDetect, ZipAppendedToAnExecutableAndAdjusted) {
    NEED("zip", "zip -q -r ../part.zip .");
    Bytes stub = dosStub(1024);
    Bytes zip = readFile(dir / "part.zip");
    stub.insert(stub.end(), zip.begin(), zip.end());
    writeFile(dir / "sfx.exe", stub);
    ASSERT_EQ(run("zip -q -A '" + dir / "sfx.exe" + "' >/dev/null 2>&1"), 0);
    std::int64_t start = 0;
    EXPECT_EQ(detect(dir / "sfx.exe", &start), atZipExe);
    EXPECT_EQ(start, 1025);
}

TEST_F(PeerDetect, SevenZipZip) {
    NEED("7z", "7z a -tzip ../seven.zip . ");
    EXPECT_EQ(detect(dir / "seven.zip"), atZIP);
}

TEST_F(PeerDetect, Arj) {
    NEED("arj", "arj a -r ../plain.arj hello.txt sub");
    EXPECT_EQ(detect(dir / "plain.arj"), atARJ);
}

TEST_F(PeerDetect, Lha) {
    NEED("jlha", "jlha -ao5 ../plain.lzh hello.txt");
    EXPECT_EQ(detect(dir / "plain.lzh"), atLHA);
}

TEST_F(PeerDetect, Arc) {
    // arc picks crunching (method 8) or squashing for compressible text.
    NEED("arc", "arc a ../plain.arc hello.txt");
    EXPECT_EQ(detect(dir / "plain.arc"), atARC);
}

TEST_F(PeerDetect, Cabinet) {
    NEED("gcab", "gcab -c -z ../plain.cab hello.txt");
    EXPECT_EQ(detect(dir / "plain.cab"), atCAB);
}

TEST_F(PeerDetect, TarFormatsAndNames) {
    NEED("tar", "tar --format=v7 -cf ../v7.tar hello.txt sub");
    ASSERT_TRUE(make("tar", "tar --format=ustar -cf ../ustar.tar hello.txt sub"));
    ASSERT_TRUE(make("tar", "cp ../ustar.tar ../UPPER.TAR && cp ../ustar.tar ../noext"));
    ASSERT_TRUE(make("tar", "tar --format=ustar -czf ../packed.tgz hello.txt"));
    EXPECT_EQ(detect(dir / "v7.tar"), atTAR);
    EXPECT_EQ(detect(dir / "ustar.tar"), atTAR);
    EXPECT_EQ(detect(dir / "UPPER.TAR"), atTAR);
    EXPECT_EQ(detect(dir / "noext"), atUnknown);
    EXPECT_EQ(detect(dir / "packed.tgz"), atGZip);
}

TEST_F(PeerDetect, GzipAndCompress) {
    NEED("gzip", "gzip -k hello.txt && mv hello.txt.gz ..");
    EXPECT_EQ(detect(dir / "hello.txt.gz"), atGZip);
    NEED("compress", "cp hello.txt h.txt && compress h.txt && mv h.txt.Z ../hello.txt.Z");
    EXPECT_EQ(detect(dir / "hello.txt.Z"), atGZip);
}
