// olmek-cli a, d and sfx on ZIP archives, and l, x and t on split sets,
// checked with the peer tools.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "support/Cli.h"
#include "support/TempDir.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

using Tree = std::map<std::string, std::vector<std::uint8_t>>;

Tree readTree(const std::string& root) {
    Tree t;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) t[fs::relative(e.path(), root).string()] = readFile(e.path());
    return t;
}

std::string text(std::size_t n, char seed) {
    std::string s;
    for (std::size_t i = 0; s.size() < n; ++i)
        s += "line " + std::to_string(i * 7 + static_cast<unsigned char>(seed)) + " of text\n";
    s.resize(n);
    return s;
}

class CliZip : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveCli()) GTEST_SKIP() << "olmek-cli not built";
        fs::create_directories(dir / "tree/sub/deep");
        writeFile(dir / "tree/a.txt", text(20000, 'a'));
        writeFile(dir / "tree/.hidden", std::string("h"));
        writeFile(dir / "tree/sub/b.txt", text(3000, 'b'));
        writeFile(dir / "tree/sub/deep/c.bin", std::string(5000, '\0'));
    }
    std::string unzipList(const std::string& zip) {
        return runOutput("unzip -Z1 " + shellQuote(dir / zip));
    }
    TempDir dir;
};

TEST_F(CliZip, AddsATreeThatThePeersExtract) {
    if (!haveTool("unzip")) GTEST_SKIP() << "unzip not installed";
    const CliRun r = runCli("a -r -9 new.zip tree", dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "tree/.hidden: added\ntree/a.txt: added\ntree/sub/b.txt: added\n"
                     "tree/sub/deep/c.bin: added\n");
    EXPECT_EQ(run("unzip -tq " + shellQuote(dir / "new.zip") + " >/dev/null"), 0);
    ASSERT_EQ(run("cd " + shellQuote(dir.path()) + " && unzip -qq new.zip -d out"), 0);
    EXPECT_EQ(readTree(dir / "out/tree"), readTree(dir / "tree"));
    // Without -r a folder gives only its own files.
    EXPECT_EQ(runCli("a flat.zip tree", dir.path()).status, 0);
    EXPECT_EQ(unzipList("flat.zip"), "tree/.hidden\ntree/a.txt\n");
}

TEST_F(CliZip, LevelsPasswordsAndStoredNames) {
    if (!haveTool("unzip")) GTEST_SKIP() << "unzip not installed";
    EXPECT_EQ(runCli("a -0 s.zip tree/a.txt", dir.path()).status, 0);
    EXPECT_NE(runOutput("unzip -v " + shellQuote(dir / "s.zip")).find("Stored"), std::string::npos);
    EXPECT_EQ(runCli("a -1 one.zip tree/a.txt", dir.path()).status, 0);
    EXPECT_EQ(runCli("a -9 nine.zip tree/a.txt", dir.path()).status, 0);
    EXPECT_LE(fs::file_size(dir / "nine.zip"), fs::file_size(dir / "one.zip"));
    EXPECT_EQ(runCli("a -j -p 'se cret' --zipcrypto pw.zip tree/sub/b.txt", dir.path()).status, 0);
    EXPECT_EQ(unzipList("pw.zip"), "b.txt\n");
    EXPECT_EQ(run("unzip -tq -P 'se cret' " + shellQuote(dir / "pw.zip") + " >/dev/null"), 0);
    EXPECT_NE(run("unzip -tq -P wrong " + shellQuote(dir / "pw.zip") + " >/dev/null 2>&1"), 0);
    // Names that climb out are stored without the climbing parts.
    fs::create_directories(dir / "work");
    EXPECT_EQ(runCli("a ../up.zip ../tree/sub/b.txt", dir / "work").status, 0);
    EXPECT_EQ(unzipList("up.zip"), "tree/sub/b.txt\n");
}

// A password gives AES-256 unless told otherwise; 7z and the program's
// own extractor read the members back, adding and deleting keep the
// others whole, and the old encryption stays a choice.
TEST_F(CliZip, PasswordsEncryptWithAes) {
    if (!haveTool("7z")) GTEST_SKIP() << "7z not installed";
    const auto method = [&](const std::string& zip) {
        const std::string l = runOutput("7z l -slt -pwho " + shellQuote(dir / zip));
        std::string m;
        for (std::size_t at = 0; (at = l.find("\nMethod = ", at)) != std::string::npos; ++at)
            m += l.substr(at + 10, l.find('\n', at + 1) - at - 10) + ";";
        return m;
    };
    const auto sevenZipTest = [&](const std::string& zip, const std::string& pw) {
        return run("7z t -p" + shellQuote(pw) + " " + shellQuote(dir / zip) + " >/dev/null 2>&1");
    };
    ASSERT_EQ(runCli("a -r -p 'pa ss' aes.zip tree", dir.path()).status, 0);
    EXPECT_EQ(method("aes.zip"), "AES-256 Store;AES-256 Deflate;AES-256 Deflate;AES-256 Deflate;");
    EXPECT_EQ(sevenZipTest("aes.zip", "pa ss"), 0);
    EXPECT_NE(sevenZipTest("aes.zip", "pa sS"), 0);
    ASSERT_EQ(run("cd " + shellQuote(dir.path()) + " && 7z x -y '-ppa ss' -o7z aes.zip >/dev/null"),
              0);
    EXPECT_EQ(readTree(dir / "7z/tree"), readTree(dir / "tree"));
    CliRun r = runCli("x -d own -p 'pa ss' aes.zip", dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readTree(dir / "own/tree"), readTree(dir / "tree"));
    r = runCli("t -p wrong aes.zip", dir.path());
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err.find("CRC"), std::string::npos) << r.err;

    // Another member, AES-128, then a deletion: the others are untouched.
    writeFile(dir / "new.txt", text(9000, 'n'));
    ASSERT_EQ(runCli("a -p 'pa ss' --aes=128 aes.zip new.txt", dir.path()).status, 0);
    ASSERT_EQ(runCli("d aes.zip tree/sub/b.txt", dir.path()).status, 0);
    EXPECT_EQ(method("aes.zip"), "AES-256 Store;AES-256 Deflate;AES-256 Deflate;AES-128 Deflate;");
    EXPECT_EQ(sevenZipTest("aes.zip", "pa ss"), 0);
    fs::remove_all(dir / "own");
    r = runCli("x -d own -p 'pa ss' aes.zip", dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    Tree want = readTree(dir / "tree");
    want.erase("sub/b.txt");
    EXPECT_EQ(readTree(dir / "own/tree"), want);
    EXPECT_EQ(readFile(dir / "own/new.txt"), readFile(dir / "new.txt"));

    ASSERT_EQ(runCli("a -j -p pw --aes old.zip tree/a.txt", dir.path()).status, 0);
    EXPECT_EQ(method("old.zip"), "AES-256 Deflate;");
    ASSERT_EQ(runCli("a -j -p pw --zipcrypto old.zip tree/sub/b.txt", dir.path()).status, 0);
    EXPECT_EQ(method("old.zip"), "AES-256 Deflate;ZipCrypto Deflate;");
    EXPECT_EQ(runCli("a --aes no.zip tree/a.txt", dir.path()).status, 2);
    EXPECT_EQ(runCli("a -p x --aes --zipcrypto no.zip tree/a.txt", dir.path()).status, 2);
    EXPECT_EQ(runCli("a -p x --aes no.lzh tree/a.txt", dir.path()).status, 2);
    EXPECT_FALSE(fs::exists(dir / "no.zip"));
}

TEST_F(CliZip, AddingANameAgainReplacesTheMember) {
    if (!haveTool("unzip")) GTEST_SKIP() << "unzip not installed";
    EXPECT_EQ(runCli("a r.zip tree/a.txt tree/sub/b.txt", dir.path()).status, 0);
    writeFile(dir / "tree/a.txt", std::string("changed"));
    EXPECT_EQ(runCli("a r.zip tree/a.txt", dir.path()).status, 0);
    EXPECT_EQ(unzipList("r.zip"), "tree/sub/b.txt\ntree/a.txt\n");
    EXPECT_EQ(runOutput("unzip -p " + shellQuote(dir / "r.zip") + " tree/a.txt"), "changed");
}

TEST_F(CliZip, MissingFilesAreReportedAndTheRestAdded) {
    const CliRun r = runCli("a m.zip nothere.txt tree/a.txt", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("File not found (nothere.txt)"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "tree/a.txt: added\n");
    // Only missing files: no archive at all.
    EXPECT_EQ(runCli("a none.zip nothere.txt", dir.path()).status, 1);
    EXPECT_FALSE(fs::exists(dir / "none.zip"));
    // Names other than .lzh and .lha are written as ZIP archives.
    EXPECT_EQ(runCli("a x.pk tree/a.txt", dir.path()).status, 0);
    EXPECT_EQ(runCli("l x.pk", dir.path()).status, 0);
}

TEST_F(CliZip, DeletesByMask) {
    if (!haveTool("unzip")) GTEST_SKIP() << "unzip not installed";
    ASSERT_EQ(runCli("a -r d.zip tree", dir.path()).status, 0);
    const CliRun r = runCli("d d.zip '*.txt'", dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "tree/a.txt: deleted\ntree/sub/b.txt: deleted\n");
    EXPECT_EQ(unzipList("d.zip"), "tree/.hidden\ntree/sub/deep/c.bin\n");
    const auto before = readFile(dir / "d.zip");
    EXPECT_EQ(runCli("d d.zip '*.doc'", dir.path()).status, 1);
    EXPECT_EQ(readFile(dir / "d.zip"), before);
    EXPECT_EQ(runCli("d d.zip '*'", dir.path()).status, 0);
    EXPECT_EQ(fs::file_size(dir / "d.zip"), 22u) << "an empty archive is left";
}

TEST_F(CliZip, SelfExtractorJoin) {
    ASSERT_EQ(runCli("a -r j.zip tree", dir.path()).status, 0);
    std::vector<std::uint8_t> stub(3000, 0x90);
    stub[0] = 'M';
    stub[1] = 'Z';
    writeFile(dir / "STUB.EXE", stub);
    const CliRun r = runCli("sfx STUB.EXE j.zip j.exe", dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "j.exe: ok\n");
    EXPECT_EQ(fs::file_size(dir / "j.exe"), fs::file_size(dir / "j.zip") + 3000);
    if (haveTool("unzip")) {
        EXPECT_EQ(run("unzip -tq " + shellQuote(dir / "j.exe") + " >/dev/null"), 0);
    }
    if (haveTool("7z")) {
        EXPECT_EQ(run("7z t " + shellQuote(dir / "j.exe") + " >/dev/null"), 0);
    }
    // The program's own lister and extractor read it too.
    EXPECT_EQ(runCli("t j.exe", dir.path()).status, 0);

    const CliRun bad = runCli("sfx j.zip j.zip bad.exe", dir.path());
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("Stub must be an executable"), std::string::npos) << bad.err;
    const CliRun notZip = runCli("sfx STUB.EXE tree/a.txt bad.exe", dir.path());
    EXPECT_NE(notZip.err.find("Invalid file - not a PKZip file"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "bad.exe"));
    EXPECT_EQ(runCli("sfx STUB.EXE j.zip", dir.path()).status, 2);
}

// zip -s sets are listed, tested and extracted from their last file (or
// their first).
TEST_F(CliZip, SplitSetsListTestAndExtract) {
    if (!haveTool("zip")) GTEST_SKIP() << "zip not installed";
    std::mt19937 rng(5);
    std::string noise;
    for (int i = 0; i < 300000; ++i) noise += static_cast<char>(rng());
    writeFile(dir / "tree/noise.bin", noise);
    ASSERT_EQ(run("cd " + shellQuote(dir / "tree") + " && zip -q -r -s 64k ../set.zip ."), 0);
    ASSERT_TRUE(fs::exists(dir / "set.z04"));
    for (const char* name : {"set.zip", "set.z01"}) {
        SCOPED_TRACE(name);
        const CliRun l = runCli(std::string("l --tsv ") + name, dir.path());
        EXPECT_EQ(l.status, 0) << l.err;
        EXPECT_NE(l.out.find("noise.bin\t"), std::string::npos) << l.out;
        EXPECT_NE(l.out.find("TOTAL\t5\t"), std::string::npos) << l.out;
        const CliRun t = runCli(std::string("t ") + name, dir.path());
        EXPECT_EQ(t.status, 0) << t.err;
        EXPECT_NE(t.out.find("noise.bin: ok"), std::string::npos);
    }
    const CliRun x = runCli("x -d out set.zip", dir.path());
    EXPECT_EQ(x.status, 0) << x.err;
    EXPECT_EQ(readTree(dir / "out"), readTree(dir / "tree"));
    const CliRun again = runCli("x -n -d out set.zip '*.bin'", dir.path());
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "noise.bin: skipped\nsub/deep/c.bin: skipped\n");
}

} // namespace
