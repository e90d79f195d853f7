#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <map>
#include <sstream>

using namespace testsupport;

namespace {
std::map<std::string, std::string> verdicts(const std::string& output) {
    std::map<std::string, std::string> m;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        auto t1 = line.find('\t'), t2 = line.find('\t', t1 + 1);
        if (t1 == std::string::npos || t2 == std::string::npos) continue;
        std::string name = line.substr(t2 + 1);
        name = name.substr(name.find_last_of('/') + 1);
        m[name] = line.substr(0, t2);
    }
    return m;
}
} // namespace

TEST(CliType, PrintsTypeStartAndNameForAFolderOfFiles) {
    TempDir dir;
    std::string text(5000, 'q');
    writeFile(dir / "a.txt", text);
    writeFile(dir / "tiny", std::string("abc"));
    std::vector<std::uint8_t> sfx = peWithStrings({"2048"}, 2048);
    const char sig[] = {0x50, 0x4B, 3, 4, 0, 0};
    sfx.insert(sfx.end(), sig, sig + 6);
    writeFile(dir / "sfx.exe", sfx);
    std::string cmds = "cd '" + dir.path() + "' && ";
    if (haveTool("zip")) run(cmds + "zip -q a.zip a.txt");
    if (haveTool("gzip")) run(cmds + "gzip -k a.txt");
    if (haveTool("tar")) run(cmds + "tar --format=ustar -cf a.tar a.txt");
    if (haveTool("gcab")) run(cmds + "gcab -c a.cab a.txt >/dev/null");
    if (haveTool("arj")) run(cmds + "arj a a.arj a.txt >/dev/null");

    int status = -1;
    std::string out = runOutput(std::string(OLMEK_CLI) + " type " + dir.path() + "/*", &status);
    EXPECT_EQ(status, 0);
    auto v = verdicts(out);
    EXPECT_EQ(v["a.txt"], "Unknown\t1");
    EXPECT_EQ(v["tiny"], "File Error\t1");
    EXPECT_EQ(v["sfx.exe"], "ZIP SFX\t2049");
    if (haveTool("zip")) {
        EXPECT_EQ(v["a.zip"], "ZIP\t1");
    }
    if (haveTool("gzip")) {
        EXPECT_EQ(v["a.txt.gz"], "GZip\t1");
    }
    if (haveTool("tar")) {
        EXPECT_EQ(v["a.tar"], "TAR\t1");
    }
    if (haveTool("gcab")) {
        EXPECT_EQ(v["a.cab"], "CAB\t1");
    }
    if (haveTool("arj")) {
        EXPECT_EQ(v["a.arj"], "ARJ\t1");
    }
}

TEST(CliType, UsageAndUnknownVerbs) {
    int status = -1;
    std::string help = runOutput(std::string(OLMEK_CLI) + " --help", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(help.find("type FILE..."), std::string::npos);
    runOutput(std::string(OLMEK_CLI) + " frobnicate 2>/dev/null", &status);
    EXPECT_EQ(status, 2);
    runOutput(std::string(OLMEK_CLI) + " type 2>/dev/null", &status);
    EXPECT_EQ(status, 2);
}

// Relative names in other folders: each is looked up from where the program
// was started, whatever the archive before it was.
TEST(CliType, RelativePathsInOtherFolders) {
    TempDir dir;
    run("mkdir -p '" + dir.path() + "/sub' '" + dir.path() + "/other'");
    const char zip[] = {0x50, 0x4B, 3, 4, 0, 0, 0, 0};
    writeFile(dir / "sub/b.zip", std::vector<std::uint8_t>(zip, zip + sizeof zip));
    const char arc[] = {0x1A, 0x08, 'A', '.', 'T', 'X', 'T', 0};
    writeFile(dir / "other/c.arc", std::vector<std::uint8_t>(arc, arc + sizeof arc));
    writeFile(dir / "sub/a.zip", std::vector<std::uint8_t>(zip, zip + sizeof zip));
    int status = -1;
    std::string out = runOutput("cd '" + dir.path() + "' && " + OLMEK_CLI +
                                    " type sub/a.zip other/c.arc sub/b.zip",
                                &status);
    EXPECT_EQ(status, 0);
    auto v = verdicts(out);
    EXPECT_EQ(v["a.zip"], "ZIP\t1");
    EXPECT_EQ(v["c.arc"], "ARC\t1");
    EXPECT_EQ(v["b.zip"], "ZIP\t1");
}
