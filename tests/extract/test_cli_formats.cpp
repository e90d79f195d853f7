// olmek-cli x and t on the families beyond ZIP: the registry hands them to
// their extractors; member lines, messages and exit status as for ZIP.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/CabBuilder.h"
#include "tests/support/Cli.h"
#include "tests/support/TarBuilder.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using testsupport::CliRun;
using testsupport::TarMember;

namespace {

class CliFormats : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::haveCli()) GTEST_SKIP() << "olmek-cli not built";
    }
    CliRun run(const std::string& args) { return testsupport::runCli(args, tmp.path()); }
    std::string text(const std::string& rel) {
        auto v = testsupport::readFile(tmp / rel);
        return std::string(v.begin(), v.end());
    }
    testsupport::TempDir tmp;
};

} // namespace

TEST_F(CliFormats, TarWithLinksAndADevice) {
    testsupport::writeFile(tmp / "t.tar", testsupport::tarArchive({
                                              {"dir/", '5'},
                                              {"dir/a.txt", '0', "alpha\n"},
                                              {"dir/link", '2', "", "a.txt"},
                                              {"fifo", '6'},
                                          }));
    CliRun r = run("t t.tar");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "dir/a.txt: ok\ndir/link: ok\n");
    r = run("x -d out t.tar");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "dir/a.txt: ok\ndir/link: ok\n");
    EXPECT_NE(r.err.find("error 26900"), std::string::npos) << r.err;
    EXPECT_EQ(text("out/dir/a.txt"), "alpha\n");
    EXPECT_EQ(fs::read_symlink(tmp / "out/dir/link"), "a.txt");
}

TEST_F(CliFormats, CabinetWithAnLzxFolder) {
    testsupport::CabSpec c;
    c.folders = {{0, {testsupport::storedBlock("stored!")}}, {0x1503, {{{1, 2, 3}, 3}}}};
    c.files = {{"s.txt", 7, 0, 0}, {"x.txt", 3, 0, 1}};
    testsupport::writeFile(tmp / "c.cab", testsupport::makeCab(c));
    CliRun r = run("x -d out c.cab");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "s.txt: ok\n");
    EXPECT_NE(r.err.find("error 25148: LZX method not supported"), std::string::npos) << r.err;
    EXPECT_EQ(text("out/s.txt"), "stored!");
}

TEST_F(CliFormats, GzipAndCompress) {
    if (!testsupport::haveTool("gzip") || !testsupport::haveTool("compress"))
        GTEST_SKIP() << "gzip or ncompress not installed";
    testsupport::writeFile(tmp / "notes.txt", std::string("notes, twice: notes\n"));
    ASSERT_EQ(testsupport::run("cd '" + tmp.path() +
                               "' && gzip -k notes.txt && compress -c notes.txt > n.Z"),
              0);
    CliRun r = run("x -d out notes.txt.gz");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "notes.txt: ok\n");
    r = run("t n.Z");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "n: ok\n");
}
