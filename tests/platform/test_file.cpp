#include "platform/File.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <numeric>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using plat::File;
using testsupport::TempDir;

TEST(File, WriteSeekReadAcrossBufferBoundaries) {
    TempDir dir;
    std::string path = dir / "data.bin";
    std::vector<std::uint8_t> data(300000);
    std::iota(data.begin(), data.end(), 0);
    File f;
    ASSERT_TRUE(f.open(path, File::Mode::Create));
    // Mixed small and large writes exercise both the buffer and the direct path.
    ASSERT_TRUE(f.write(data.data(), 10));
    ASSERT_TRUE(f.write(data.data() + 10, 100000));
    ASSERT_TRUE(f.write(data.data() + 100010, data.size() - 100010));
    EXPECT_EQ(f.size(), static_cast<std::int64_t>(data.size()));
    ASSERT_TRUE(f.seek(65530));
    std::uint8_t buf[20];
    ASSERT_TRUE(f.readExact(buf, sizeof buf));
    EXPECT_TRUE(std::equal(buf, buf + 20, data.begin() + 65530));
    EXPECT_EQ(f.tell(), 65550);
    // Overwrite in the middle, then read it back through the buffer.
    ASSERT_TRUE(f.seek(65535));
    std::uint8_t patch[3] = {1, 2, 3};
    ASSERT_TRUE(f.write(patch, 3));
    ASSERT_TRUE(f.seek(65534));
    ASSERT_TRUE(f.readExact(buf, 5));
    EXPECT_EQ(buf[0], data[65534]);
    EXPECT_EQ(buf[1], 1);
    EXPECT_EQ(buf[3], 3);
    EXPECT_EQ(buf[4], data[65538]);
    ASSERT_TRUE(f.close());

    auto whole = plat::readWholeFile(path);
    ASSERT_TRUE(whole);
    data[65535] = 1;
    data[65536] = 2;
    data[65537] = 3;
    EXPECT_EQ(*whole, data);
}

TEST(File, ShortReadsAndFailures) {
    TempDir dir;
    File f;
    EXPECT_FALSE(f.open(dir / "missing", File::Mode::Read));
    EXPECT_FALSE(f.open(dir.path(), File::Mode::Read)) << "a folder is not a file";
    EXPECT_EQ(f.read(nullptr, 0), -1) << "closed file";
    std::string path = dir / "small";
    ASSERT_TRUE(plat::writeWholeFile(path, "abc", 3));
    ASSERT_TRUE(f.open(path, File::Mode::Read));
    std::uint8_t buf[10];
    EXPECT_EQ(f.read(buf, 10), 3);
    EXPECT_EQ(f.read(buf, 10), 0);
    EXPECT_FALSE(f.readExact(buf, 1));
    EXPECT_FALSE(f.seek(-1));
    EXPECT_FALSE(f.write("x", 1)) << "read-only";
    EXPECT_EQ(f.readAt(1, buf, 10), 2);
}

TEST(File, ModificationTimeAndTruncate) {
    TempDir dir;
    std::string path = dir / "t";
    File f;
    ASSERT_TRUE(f.open(path, File::Mode::Create));
    ASSERT_TRUE(f.write("hello world", 11));
    ASSERT_TRUE(f.setModificationTime(1000000000));
    ASSERT_TRUE(f.truncate(5));
    EXPECT_EQ(f.size(), 5);
    ASSERT_TRUE(f.setModificationTime(1000000000));
    ASSERT_TRUE(f.close());
    File g;
    ASSERT_TRUE(g.open(path, File::Mode::ReadWrite));
    EXPECT_EQ(g.modificationTime().value_or(0), 1000000000);
}

TEST(File, WritesBeyondTheFileSizeLimitFailInsteadOfEndingTheProcess) {
    TempDir dir;
    const std::string path = dir / "big.bin";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Exit codes: 0 = the write failed and the process lived on.
        rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(3);
        plat::failWritesAtFileSizeLimit();
        std::vector<std::uint8_t> data(200000, 'x');
        File f;
        if (!f.open(path, File::Mode::Create)) ::_exit(4);
        const bool wrote = f.write(data.data(), data.size()) && f.close();
        ::_exit(wrote ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
