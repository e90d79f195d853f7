// olmek-cli a and d on LHA archives, as a user runs them: names stored as
// given, the method options, what they print, and runs that fail (a full
// disk, an unreadable file) leaving the archive as it was.
#include <gtest/gtest.h>

#include "tests/support/Cli.h"
#include "tests/writers/LhaTest.h"

using namespace lhatest;
using testsupport::CliRun;
using testsupport::readFile;
using testsupport::runCli;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

class CliLha : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::haveCli()) GTEST_SKIP() << "olmek-cli not built";
        fs::create_directories(tmp / "docs/sub");
        fs::create_directories(tmp / "tmp");
        writeFile(tmp / "docs/a.txt", text(20000, 1));
        writeFile(tmp / "docs/sub/b.txt", text(5000, 2));
        writeFile(tmp / "top.txt", std::string("top\n"));
    }

    CliRun cli(const std::string& args, const std::string& prefix = "") {
        return runCli(args, tmp.path(),
                      "export TMPDIR=" + testsupport::shellQuote(tmp / "tmp") +
                          (prefix.empty() ? "" : " && " + prefix));
    }

    std::vector<std::string> names(const std::string& archive) {
        std::vector<std::string> n;
        for (const Member& m : members(tmp / archive)) n.push_back(m.h.Path());
        return n;
    }

    // Whatever a run left beside the archive or in TMPDIR.
    std::size_t leftovers() {
        std::size_t n = 0;
        for (const auto& e : fs::directory_iterator(tmp / "tmp")) n += e.exists();
        for (const auto& e : fs::directory_iterator(tmp.path()))
            n += e.path().filename().string().starts_with(".olmek");
        return n;
    }

    TempDir tmp;
};

} // namespace

TEST_F(CliLha, AddStoresNamesAsGiven) {
    CliRun r = cli("a -r x.lzh docs top.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "docs/a.txt: added\ndocs/sub/b.txt: added\ntop.txt: added\n");
    EXPECT_EQ(names("x.lzh"),
              (std::vector<std::string>{"docs/a.txt", "docs/sub/b.txt", "top.txt"}));
    EXPECT_EQ(std::string(members(tmp / "x.lzh")[0].h.MethodId, 5), "-lh1-");

    // Without -r a folder gives the files in it; -j drops the folders; -0 stores.
    r = cli("a -0 -j y.lzh docs");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names("y.lzh"), (std::vector<std::string>{"a.txt"}));
    EXPECT_EQ(std::string(members(tmp / "y.lzh")[0].h.MethodId, 5), "-lh0-");

    // Wildcards as LHA tools take them, '..' never climbs out.
    r = cli("a Z.LHA 'docs/sub/*.TXT' ./docs/../top.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names("Z.LHA"), (std::vector<std::string>{"docs/sub/b.txt", "top.txt"}));

    if (havePeer("lhasa")) {
        ASSERT_TRUE(peerExtracts("lhasa", tmp / "x.lzh", tmp / "out"));
        EXPECT_EQ(readFile(tmp / "out/docs/sub/b.txt"), readFile(tmp / "docs/sub/b.txt"));
    }
}

TEST_F(CliLha, AddReportsWhatItCannotDo) {
    ASSERT_EQ(cli("a x.lzh top.txt").status, 0);
    const Bytes before = readFile(tmp / "x.lzh");
    CliRun r = cli("a x.lzh top.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error 26999: Nothing to do (x.lzh)\n");
    r = cli("a x.lzh missing.txt top.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("error 25132: File not found (missing.txt)"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(tmp / "x.lzh"), before);

    r = cli("a -p secret x.lzh top.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot be encrypted"), std::string::npos) << r.err;
    // Any name but .lzh and .lha goes to the ZIP writer.
    r = cli("a x.zip top.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(fs::exists(tmp / "x.zip"));
    const Bytes zip = readFile(tmp / "x.zip");
    ASSERT_GE(zip.size(), 4u);
    EXPECT_EQ(Bytes(zip.begin(), zip.begin() + 4), (Bytes{'P', 'K', 3, 4}));
    EXPECT_EQ(cli("a x.lzh").status, 2);
    EXPECT_EQ(cli("a -7 x.lzh top.txt").status, 2);
    EXPECT_EQ(readFile(tmp / "x.lzh"), before);
}

TEST_F(CliLha, Delete) {
    ASSERT_EQ(cli("a -r x.lzh docs top.txt").status, 0);
    CliRun r = cli("d x.lzh '*.TXT' nothing");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "docs/a.txt: deleted\ndocs/sub/b.txt: deleted\ntop.txt: deleted\n"
                     "x.lzh: no members left, removed\n");
    EXPECT_FALSE(fs::exists(tmp / "x.lzh"));

    ASSERT_EQ(cli("a -r x.lzh docs top.txt").status, 0);
    r = cli("d x.lzh docs/sub/b.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names("x.lzh"), (std::vector<std::string>{"docs/a.txt", "top.txt"}));
    r = cli("d x.lzh nothing");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error 26999: Nothing to do (x.lzh)\n");
    r = cli("d none.lzh a.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error 25132: File not found (none.lzh)\n");
    r = cli("d x.zip a");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error 25132: File not found (x.zip)\n");
    EXPECT_EQ(cli("d x.lzh").status, 2);
}

TEST_F(CliLha, FailuresLeaveTheArchiveAsItWas) {
    ASSERT_EQ(cli("a x.lzh top.txt").status, 0);
    const Bytes before = readFile(tmp / "x.lzh");

    // A full disk: the file size limit stops the writes at 100 KB.
    writeFile(tmp / "big.bin", randomBytes(2 << 20, 4));
    CliRun r = cli("a x.lzh big.bin", "ulimit -f 200");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("error 25114: Error writing to file"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(tmp / "x.lzh"), before);
    EXPECT_EQ(leftovers(), 0u);

    // A file the kernel will not read.
    fs::create_symlink("/proc/self/mem", tmp / "mem");
    r = cli("a x.lzh docs/a.txt mem");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("error 25135: Error reading file or unexpected end of file (mem)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(tmp / "x.lzh"), before);
    EXPECT_EQ(leftovers(), 0u);

    // The same limit on deleting from an archive bigger than it.
    fs::remove(tmp / "mem");
    ASSERT_EQ(cli("a -0 x.lzh big.bin").status, 0);
    const Bytes withBig = readFile(tmp / "x.lzh");
    r = cli("d x.lzh top.txt", "ulimit -f 200");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(readFile(tmp / "x.lzh"), withBig);
    EXPECT_EQ(leftovers(), 0u);
}
