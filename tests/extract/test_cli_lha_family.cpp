// olmek-cli x and t on LHA, ARJ and ARC archives made by the peer tools:
// the extractors are found through the registry like ZIP's.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/Cli.h"
#include "tests/support/SourceTree.h"

namespace fs = std::filesystem;
using testsupport::CliRun;

namespace {

class CliLhaFamily : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::haveCli()) GTEST_SKIP() << "olmek-cli not built";
        tree = testsupport::makeSourceTree(tmp / "src");
    }
    int make(const std::string& cmd) {
        return testsupport::run("cd '" + tree.root + "' && " + cmd + " >/dev/null 2>&1");
    }
    testsupport::TempDir tmp;
    testsupport::SourceTree tree;
};

} // namespace

TEST_F(CliLhaFamily, ExtractAndTestEachFamily) {
    struct Case {
        const char* tool;
        const char* make;
        const char* archive;
    };
    const Case cases[] = {
        {"jlha", "jlha a1o5q ../a.lzh text.txt noise.bin sub", "a.lzh"},
        {"arj", "arj a -r -m1 ../a.arj text.txt noise.bin sub", "a.arj"},
        {"arc", "arc a ../a.arc text.txt noise.bin", "a.arc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        if (!testsupport::haveTool(c.tool)) continue;
        ASSERT_EQ(make(c.make), 0);
        CliRun x =
            testsupport::runCli(std::string("x -d out_") + c.archive + " " + c.archive, tmp.path());
        EXPECT_EQ(x.status, 0) << x.err;
        EXPECT_NE(x.out.find("text.txt: ok\n"), std::string::npos) << x.out;
        EXPECT_TRUE(testsupport::readFile(tmp / (std::string("out_") + c.archive + "/noise.bin")) ==
                    testsupport::readFile(tree.root + "/noise.bin"));
        CliRun t = testsupport::runCli(std::string("t ") + c.archive, tmp.path());
        EXPECT_EQ(t.status, 0) << t.err;
        EXPECT_EQ(t.out, x.out);
    }
}

TEST_F(CliLhaFamily, GarbledArjMemberAndDamagedData) {
    if (!testsupport::haveTool("arj")) GTEST_SKIP() << "arj not installed";
    ASSERT_EQ(make("arj a -gsecret ../g.arj text.txt"), 0);
    CliRun r = testsupport::runCli("t g.arj", tmp.path());
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("25190"), std::string::npos) << r.err;

    ASSERT_EQ(make("arj a -m0 ../s.arj text.txt"), 0);
    auto bytes = testsupport::readFile(tmp / "s.arj");
    bytes[bytes.size() / 2] ^= 0x55;
    testsupport::writeFile(tmp / "s.arj", bytes);
    r = testsupport::runCli("t s.arj", tmp.path());
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "text.txt: CRC error\n");
}
