// The LHA extractor: archives made by jlha at test time (every method it
// writes at header levels 0, 1 and 2, with folders) rebuild the tree with
// its time stamps, and lhasa extracts the same files; hand-made archives
// show folders, links, Unix permissions, refusals and damage.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "archive/core/Crc.h"
#include "archive/extract/UnLHA.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/ExtractFixture.h"
#include "tests/support/SourceTree.h"

namespace fs = std::filesystem;
using testsupport::Bytes;

namespace {

std::uint16_t crc16(const std::string& s) {
    std::uint16_t c = 0;
    Crc16Update(s.data(), s.size(), c);
    return c;
}

// A level-0 header (DOS time, optionally the Unix extension) and its data.
struct LhaEntry {
    std::string method = "-lh0-";
    std::string name;
    std::string data;
    std::uint32_t packedOverride = 0xFFFFFFFF;
    std::uint32_t unpacked = 0xFFFFFFFF;
    std::uint16_t unixMode = 0; // 0: no Unix extension
};

Bytes lhaArchive(const std::vector<LhaEntry>& entries, bool endMark = true) {
    Bytes out;
    for (const LhaEntry& e : entries) {
        Bytes h;
        testsupport::putStr(h, e.method);
        testsupport::put32(h, e.packedOverride != 0xFFFFFFFF
                                  ? e.packedOverride
                                  : static_cast<std::uint32_t>(e.data.size()));
        testsupport::put32(h, e.unpacked != 0xFFFFFFFF ? e.unpacked
                                                       : static_cast<std::uint32_t>(e.data.size()));
        testsupport::put32(h,
                           (39u << 25) | (6u << 21) | (15u << 16) | (10u << 11) | (20u << 5) | 15u);
        h.push_back(0x20);
        h.push_back(0);
        h.push_back(static_cast<std::uint8_t>(e.name.size()));
        testsupport::putStr(h, e.name);
        testsupport::put16(h, crc16(e.data));
        if (e.unixMode) {
            h.push_back('U');
            h.push_back(0);
            testsupport::put32(h, 1560594030); // 2019-06-15 10:20:30 UTC
            testsupport::put16(h, e.unixMode);
            testsupport::put16(h, 1000);
            testsupport::put16(h, 1000);
        }
        std::uint8_t sum = 0;
        for (auto b : h) sum = static_cast<std::uint8_t>(sum + b);
        out.push_back(static_cast<std::uint8_t>(h.size()));
        out.push_back(sum);
        testsupport::putBytes(out, h);
        testsupport::putStr(out, e.data);
    }
    if (endMark) out.push_back(0);
    return out;
}

class UnLha : public ExtractFixture {
protected:
    // Extracts; returns the members that did not pass.
    int extract(const std::string& archive, const std::string& target) {
        auto x = extractorFor(archive);
        EXPECT_TRUE(x) << archive;
        if (!x) return -1;
        x->SetExtractDir(target);
        int failed = 0;
        x->OnEnd = [&](TObject*, const std::string&, bool pass) { failed += !pass; };
        x->Extract();
        stop = x->StopCode;
        return failed;
    }
    int stop = -1;
};

} // namespace

TEST_F(UnLha, JlhaEveryMethodAndHeaderLevelWithFolders) {
    if (!testsupport::haveTool("jlha")) GTEST_SKIP() << "jlha not installed";
    const auto tree = testsupport::makeSourceTree(tmp / "src", true);
    // jlha options: header level, then the method (z: stored).
    for (const char* method : {"z", "o5", "o6", "o7"})
        for (const char* level : {"0", "1", "2"}) {
            const std::string name = std::string("j") + level + method + ".lzh";
            SCOPED_TRACE(name);
            ASSERT_EQ(testsupport::run("cd '" + tree.root + "' && jlha a" + level + method +
                                       "q ../" + name +
                                       " text.txt noise.bin far.bin empty.txt sub emptydir "
                                       ">/dev/null 2>&1"),
                      0);
            const std::string target = tmp / ("out_" + name);
            EXPECT_EQ(extract(tmp / name, target), 0);
            EXPECT_EQ(stop, 0);
            testsupport::expectSameFiles(tree, target);
            EXPECT_TRUE(fs::is_directory(target + "/emptydir"));
        }
}

// lhasa reads what jlha made the same way: the two extractions agree.
TEST_F(UnLha, LhasaExtractsTheSameFiles) {
    if (!testsupport::haveTool("jlha") || !testsupport::haveTool("lhasa"))
        GTEST_SKIP() << "jlha or lhasa not installed";
    const auto tree = testsupport::makeSourceTree(tmp / "src");
    ASSERT_EQ(testsupport::run("cd '" + tree.root +
                               "' && jlha a1o5q ../p.lzh text.txt noise.bin far.bin sub "
                               ">/dev/null 2>&1"),
              0);
    fs::create_directories(tmp / "peer");
    ASSERT_EQ(testsupport::run("cd '" + (tmp / "peer") + "' && lhasa xq ../p.lzh >/dev/null 2>&1"),
              0);
    EXPECT_EQ(extract(tmp / "p.lzh", tmp / "ours"), 0);
    EXPECT_EQ(stop, 0);
    for (const std::string f : {"text.txt", "noise.bin", "far.bin", "sub/mid.txt"})
        EXPECT_TRUE(testsupport::readFile(tmp / ("peer/" + f)) ==
                    testsupport::readFile(tmp / ("ours/" + f)))
            << f;
}

TEST_F(UnLha, FoldersLinksAndUnixPermissions) {
    LhaEntry dir{"-lhd-", "docs\\", "", 0xFFFFFFFF, 0xFFFFFFFF, 040755};
    LhaEntry run{"-lh0-", "docs\\run.sh", "#!/bin/sh\n", 0xFFFFFFFF, 0xFFFFFFFF, 0100755};
    LhaEntry link{"-lhd-", "docs\\latest|run.sh", "", 0xFFFFFFFF, 0xFFFFFFFF, 0120777};
    LhaEntry plain{"-lh0-", "readme", "read me\n"};
    auto x = extractorFor(write(lhaArchive({dir, run, link, plain}), "a.lzh"));
    ASSERT_TRUE(x);
    x->Extract();
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(fs::is_directory(out + "/docs"));
    EXPECT_EQ(slurp("docs/run.sh"), "#!/bin/sh\n");
    struct stat st;
    ASSERT_EQ(stat((out + "/docs/run.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0100, 0100u);
    EXPECT_EQ(st.st_mtime, 1560594030);
    ASSERT_TRUE(fs::is_symlink(out + "/docs/latest"));
    EXPECT_EQ(fs::read_symlink(out + "/docs/latest").string(), "run.sh");
    EXPECT_EQ(slurp("readme"), "read me\n");
    // Every member ended with a pass, the link and the folder included.
    EXPECT_EQ(std::count(log.begin(), log.end(), "end docs/latest pass"), 1);
}

TEST_F(UnLha, StoredNamesStayInsideTheTarget) {
    LhaEntry up{"-lh0-", "..\\..\\evil.txt", "x"};
    LhaEntry abs{"-lh0-", "\\etc\\passwd.txt", "y"};
    auto x = extractorFor(write(lhaArchive({up, abs}), "a.lzh"));
    ASSERT_TRUE(x);
    x->Extract();
    EXPECT_EQ(slurp("evil.txt"), "x");
    EXPECT_EQ(slurp("etc/passwd.txt"), "y");
    EXPECT_FALSE(fs::exists(tmp / "evil.txt"));
}

TEST_F(UnLha, UnsupportedMethodStopsWithOnErrorBeforeAnythingIsMade) {
    LhaEntry ok{"-lh0-", "first.txt", "one"};
    LhaEntry odd{"-lh2-", "second.txt", "two"};
    LhaEntry after{"-lh0-", "third.txt", "three"};
    auto x = extractorFor(write(lhaArchive({ok, odd, after}), "a.lzh"));
    ASSERT_TRUE(x);
    x->Extract();
    EXPECT_EQ(x->StopCode, err::UnsupportedMethod);
    EXPECT_EQ(errors, std::vector<int>{err::UnsupportedMethod});
    EXPECT_EQ(slurp("first.txt"), "one");
    EXPECT_FALSE(fs::exists(out + "/second.txt"));
    EXPECT_FALSE(fs::exists(out + "/third.txt"));
    EXPECT_EQ(log.back(), "deactivate");
}

TEST_F(UnLha, DamagedHeadersAndDataPastTheEndStopTheWalk) {
    struct Case {
        const char* what;
        Bytes archive;
    };
    LhaEntry ok{"-lh0-", "first.txt", "one"};
    LhaEntry big{"-lh0-", "big.txt", "data", 1u << 30};
    Bytes cutHeader = lhaArchive({ok, LhaEntry{"-lh0-", "second.txt", "two"}}, false);
    cutHeader.resize(cutHeader.size() - 7);
    const Case cases[] = {
        {"data past the end", lhaArchive({ok, big})},
        {"a header cut short", cutHeader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.clear();
        errors.clear();
        fs::remove_all(out);
        auto x = extractorFor(write(c.archive, "d.lzh"));
        ASSERT_TRUE(x);
        x->Extract();
        EXPECT_EQ(slurp("first.txt"), "one");
        EXPECT_EQ(errors, std::vector<int>{err::BadFileHeader});
        EXPECT_EQ(x->StopCode, 0);
        EXPECT_EQ(log.back(), "deactivate");
    }
}

TEST_F(UnLha, UnselectedMembersPassSilentlyAndNothingToDoIsNeverReported) {
    auto x = extractorFor(
        write(lhaArchive({{"-lh0-", "a.txt", "a"}, {"-lh0-", "b.doc", "b"}}), "a.lzh"));
    ASSERT_TRUE(x);
    x->SetFileSpec("*.none");
    x->Extract();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(log, (std::vector<std::string>{"activate", "deactivate"}));
    log.clear();
    x->SetFileSpec("*.doc");
    x->Extract();
    EXPECT_EQ(log, (std::vector<std::string>{"activate", "begin b.doc 1", "end b.doc pass",
                                             "deactivate"}));
}

TEST_F(UnLha, CrcFailureWithoutAnEndHandlerIsReported) {
    LhaEntry bad{"-lh0-", "bad.txt", "abc"};
    Bytes a = lhaArchive({bad, {"-lh0-", "next.txt", "n"}});
    // The data byte changes; the header's CRC stays.
    const auto at = std::search(a.begin(), a.end(), bad.data.begin(), bad.data.end());
    *at = 'x';
    auto x = extractorFor(write(a, "a.lzh"));
    ASSERT_TRUE(x);
    x->OnEnd = nullptr;
    x->Extract();
    EXPECT_EQ(errors, std::vector<int>{err::CrcError});
    EXPECT_EQ(slurp("next.txt"), "n");
}
