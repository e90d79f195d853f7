// Compressed TAR archives list member by member, the same members GNU tar
// lists; single compressed files list as their one member.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "test_list_support.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using listtest::haveTool;
using listtest::list;
using listtest::run;

struct Kind {
    const char* tool;   // needed by tar for the option
    const char* option; // tar's option
    TArcType type;
    const char* method;
};

const Kind kKinds[] = {
    {"gzip", "-z", atTarGz, "TAR+GZ"},       {"bzip2", "-j", atTarBz2, "TAR+BZ2"},
    {"xz", "-J", atTarXz, "TAR+XZ"},         {"lzip", "--lzip", atTarLz, "TAR+LZ"},
    {"zstd", "--zstd", atTarZst, "TAR+ZST"}, {"compress", "-Z", atTarZ, "TAR+Z"},
};

std::set<std::string> tarFiles(const std::string& dir, const std::string& archive) {
    // Regular files and hard links, as tar -tv shows them.
    std::set<std::string> names;
    FILE* p = popen(("cd '" + dir + "' && tar -tvf '" + archive + "' 2>/dev/null").c_str(), "r");
    char line[4096];
    while (p && std::fgets(line, sizeof line, p)) {
        std::string s(line);
        if (s.empty() || (s[0] != '-' && s[0] != 'h')) continue;
        // The name follows the time (HH:MM) and a blank.
        const auto colon = s.find(':', 20);
        std::string name = s.substr(colon + 4);
        name.pop_back();
        const auto arrow = name.find(" link to ");
        if (arrow != std::string::npos) name.resize(arrow);
        names.insert(name);
    }
    if (p) pclose(p);
    return names;
}

TEST(ListTarballs, EveryCompressorListsTheMembersTarLists) {
    if (!haveTool("tar")) GTEST_SKIP() << "tar not installed";
    testsupport::TempDir tmp;
    const std::string src = tmp / "src";
    const std::string longName = std::string(120, 'n') + ".txt";
    ASSERT_TRUE(run(tmp.path(), "mkdir -p src/sub && seq 1 20000 > src/a.txt && ln src/a.txt "
                                "src/hard.txt && ln -s a.txt src/link && echo x > 'src/sub/" +
                                    longName + "' && truncate -s 2M src/sparse.bin"));
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.option);
        if (!haveTool(k.tool)) continue;
        const std::string archive = tmp / (std::string("t") + k.option + ".tar.c");
        ASSERT_TRUE(run(src, std::string("tar -S ") + k.option + " -cf '" + archive + "' *"));
        const auto l = list(archive);
        EXPECT_TRUE(l.ok);
        EXPECT_EQ(l.type, k.type);
        std::set<std::string> names;
        for (const auto& m : l.members) {
            names.insert(m.name);
            EXPECT_EQ(m.methodName, k.method);
        }
        EXPECT_EQ(names, tarFiles(tmp.path(), archive));
        const auto* sparse = listtest::find(l, "sparse.bin");
        ASSERT_TRUE(sparse);
        EXPECT_EQ(sparse->unpacked, 2 << 20);
        EXPECT_EQ(l.totals, static_cast<int>(names.size()));
    }
}

TEST(ListTarballs, ASingleCompressedFileIsItsOneMember) {
    testsupport::TempDir tmp;
    ASSERT_TRUE(run(tmp.path(), "seq 1 5000 > notes.txt"));
    const struct {
        const char* tool;
        const char* ext;
        TArcType type;
        const char* method;
    } files[] = {{"bzip2", "bz2", atBzip2, "BZip2"},
                 {"xz", "xz", atXz, "XZ"},
                 {"lzip", "lz", atLzip, "LZip"},
                 {"zstd", "zst", atZstd, "Zstd"}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.ext);
        if (!haveTool(f.tool)) continue;
        ASSERT_TRUE(run(tmp.path(), std::string(f.tool) + " -k -f -q notes.txt"));
        const auto l = list(tmp / (std::string("notes.txt.") + f.ext));
        EXPECT_TRUE(l.ok);
        EXPECT_EQ(l.type, f.type);
        ASSERT_EQ(l.members.size(), 1u);
        EXPECT_EQ(l.members[0].name, "notes.txt");
        EXPECT_EQ(l.members[0].methodName, f.method);
        // What the file's own records state; bzip2 states nothing.
        const auto size = static_cast<std::int64_t>(fs::file_size(tmp / "notes.txt"));
        EXPECT_EQ(l.members[0].unpacked, f.type == atBzip2 ? 0 : size);
    }
}

TEST(ListTarballs, ConcatenatedStreamsStateTheirWholeSize) {
    testsupport::TempDir tmp;
    ASSERT_TRUE(run(tmp.path(), "seq 1 5000 > a && seq 1 900 > b"));
    const auto size =
        static_cast<std::int64_t>(fs::file_size(tmp / "a") + fs::file_size(tmp / "b"));
    for (const char* tool : {"xz", "lzip"}) {
        SCOPED_TRACE(tool);
        if (!haveTool(tool)) continue;
        // The second stream in blocks of its own, with padding between.
        const std::string second = std::string(tool) == "xz"
                                       ? "head -c 4 /dev/zero; xz --block-size=1000 -c b"
                                       : "lzip -c b";
        ASSERT_EQ(testsupport::run("cd '" + tmp.path() + "' && (" + tool + " -c a; " + second +
                                   ") > ab.c"),
                  0);
        const auto l = list(tmp / "ab.c");
        ASSERT_EQ(l.members.size(), 1u);
        EXPECT_EQ(l.members[0].unpacked, size);
    }
}

TEST(ListTarballs, ACompressedFileThatIsNoTarballStaysGzip) {
    testsupport::TempDir tmp;
    ASSERT_TRUE(run(tmp.path(), "seq 1 5000 > notes.txt && gzip -k notes.txt"));
    EXPECT_EQ(list(tmp / "notes.txt.gz").type, atGZip);
}

TEST(ListTarballs, ADamagedStreamListsWhatItHoldsAndReports) {
    if (!haveTool("xz")) GTEST_SKIP() << "xz not installed";
    testsupport::TempDir tmp;
    ASSERT_TRUE(run(tmp.path(),
                    "mkdir src && seq 1 100000 > src/a.txt && head -c 300000 "
                    "/dev/urandom > src/b.bin && tar -C src -cJf t.tar.xz a.txt b.bin"));
    // Cut the stream in the middle of the second member.
    auto bytes = testsupport::readFile(tmp / "t.tar.xz");
    bytes.resize(bytes.size() * 3 / 4);
    testsupport::writeFile(tmp / "t.tar.xz", bytes);
    const auto l = list(tmp / "t.tar.xz");
    EXPECT_EQ(l.type, atTarXz);
    EXPECT_FALSE(l.ok);
    EXPECT_FALSE(l.errors.empty());
    EXPECT_TRUE(listtest::find(l, "a.txt"));
}

TEST(ListTarballs, CorpusTarballsListWhatTarLists) {
    if (!haveTool("tar")) GTEST_SKIP() << "tar not installed";
    int compared = 0;
    for (const std::string folder : {"gzip", "compress"})
        for (const auto& path : listtest::samples(folder)) {
            const auto l = list(path);
            if (!isTarballType(l.type)) continue;
            SCOPED_TRACE(path);
            const std::string dir = path.substr(0, path.rfind('/'));
            // Regular files and hard links, as tar lists them.
            int status = -1;
            const std::string out = testsupport::runOutput(
                "tar -tvf '" + path + "' 2>/dev/null | grep -c '^[-h]'", &status);
            if (std::system(("tar -tf '" + path + "' >/dev/null 2>&1").c_str()) != 0) continue;
            EXPECT_TRUE(l.ok);
            EXPECT_EQ(static_cast<int>(l.members.size()), std::stoi(out));
            ++compared;
        }
    EXPECT_GE(compared, 4);
}

} // namespace
