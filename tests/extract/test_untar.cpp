// TAR extraction: archives made by GNU tar in each of its formats extract
// to the tree they were made from (long names and link names, links as
// links, sparse files with their holes, labels, folders); hand-built
// archives for hostile names, links out of the target and damaged headers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "archive/extract/UnTAR.h"
#include "tests/support/ExtractFixture.h"
#include "tests/support/TarBuilder.h"
#include "tests/support/TreeCompare.h"

namespace fs = std::filesystem;
using testsupport::haveTool;
using testsupport::TarMember;

namespace {

int sh(const std::string& dir, const std::string& cmd) {
    return testsupport::run("cd '" + dir + "' && (" + cmd + ") >/dev/null 2>&1");
}

// Over 100 characters, but every folder of it fits a ustar split.
const std::string kLongName = "deep/" + std::string(60, 'n') + "/" + std::string(60, 'o') + "/" +
                              std::string(60, 'm') + ".txt";
const std::string kLongerName =
    "deep/" + std::string(200, 'o') + "/" + std::string(90, 'p') + ".txt";
const std::string kLongTarget = std::string(150, 't') + "/target.txt";

class UnTar : public ExtractFixture {
protected:
    // A source tree with what the format can hold.
    void makeTree(const std::string& format) {
        src = tmp / "src";
        fs::create_directories(src + "/sub");
        fs::create_directories(src + "/empty-folder");
        std::string text;
        for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + "\n";
        testsupport::writeFile(src + "/alpha.txt", text);
        testsupport::writeFile(src + "/sub/beta.dat", std::string("\0\1\2beta", 7));
        testsupport::writeFile(src + "/empty.txt", std::string());
        ASSERT_EQ(sh(src, "ln -s alpha.txt link && ln sub/beta.dat hard.dat"), 0);
        if (format != "v7") {
            fs::create_directories(fs::path(src + "/" + kLongName).parent_path());
            testsupport::writeFile(src + "/" + kLongName, std::string("long\n"));
        }
        if (format == "gnu" || format == "oldgnu" || format == "pax") {
            fs::create_directories(fs::path(src + "/" + kLongerName).parent_path());
            testsupport::writeFile(src + "/" + kLongerName, std::string("longer\n"));
            ASSERT_EQ(sh(src, "ln -s " + kLongTarget + " longlink"), 0);
            // A file of 3 MB holding 8 KB of data in two places and ending in a hole.
            ASSERT_EQ(sh(src, "truncate -s 3M sparse.bin && "
                              "printf 'head%.0s' $(seq 1024) | dd of=sparse.bin conv=notrunc && "
                              "printf 'mid%.0s' $(seq 1365) | dd of=sparse.bin bs=1 seek=1500000 "
                              "conv=notrunc"),
                      0);
        }
        ASSERT_EQ(sh(src, "find . -exec touch -h -d '2021-03-04 05:06:07' {} +"), 0);
    }

    std::unique_ptr<TUnBase> extract(const std::string& archive) {
        auto x = extractorFor(archive);
        EXPECT_TRUE(x);
        if (!x) return x;
        x->Extract();
        return x;
    }

    std::string src;
};

// A pax record: "LENGTH key=value\n", the length counting itself.
std::string paxRecord(const std::string& key, const std::string& value) {
    const std::string body = " " + key + "=" + value + "\n";
    std::size_t len = body.size() + 1;
    while (std::to_string(len).size() + body.size() != len) ++len;
    return std::to_string(len) + body;
}

std::int64_t allocated(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_blocks) * 512 : -1;
}

} // namespace

TEST_F(UnTar, GnuTarFormatsExtractExactlyWithLinksAsLinks) {
    if (!haveTool("tar")) GTEST_SKIP() << "tar not installed";
    for (std::string format : {"v7", "ustar", "gnu", "oldgnu", "pax"}) {
        SCOPED_TRACE(format);
        fs::remove_all(tmp / "src");
        fs::remove_all(out);
        makeTree(format);
        const bool sparse = format == "gnu" || format == "oldgnu" || format == "pax";
        const std::string archive = tmp / (format + ".tar");
        ASSERT_EQ(
            sh(src, "tar --format=" + format + (sparse ? " -S" : "") + " -cf '" + archive + "' *"),
            0);
        log.clear();
        auto x = extract(archive);
        ASSERT_TRUE(x);
        EXPECT_EQ(x->StopCode, 0);
        EXPECT_TRUE(errors.empty());
        for (const auto& d : testsupport::compareTrees(src, out)) ADD_FAILURE() << d;
        if (sparse) {
            // The holes stay holes.
            const std::string path = out + "/sparse.bin";
            EXPECT_EQ(fs::file_size(path), 3u << 20);
            EXPECT_LT(allocated(path), 1 << 20);
        }
        for (const auto& line : log) EXPECT_EQ(line.find(" fail"), std::string::npos) << line;
    }
}

TEST_F(UnTar, PaxSparseFormatsAndVolumeLabel) {
    if (!haveTool("tar")) GTEST_SKIP() << "tar not installed";
    makeTree("pax");
    for (std::string version : {"0.0", "0.1", "1.0"}) {
        SCOPED_TRACE(version);
        fs::remove_all(out);
        const std::string archive = tmp / ("s" + version + ".tar");
        ASSERT_EQ(sh(src, "tar --format=pax -S --sparse-version=" + version + " -cf '" + archive +
                              "' sparse.bin alpha.txt"),
                  0);
        auto x = extract(archive);
        ASSERT_TRUE(x);
        EXPECT_EQ(x->StopCode, 0);
        EXPECT_EQ(testsupport::readFile(out + "/sparse.bin"),
                  testsupport::readFile(src + "/sparse.bin"));
        EXPECT_EQ(testsupport::readFile(out + "/alpha.txt"),
                  testsupport::readFile(src + "/alpha.txt"));
    }
    fs::remove_all(out);
    const std::string labelled = tmp / "label.tar";
    ASSERT_EQ(sh(src, "tar --format=gnu -V 'My Label' -cf '" + labelled + "' alpha.txt"), 0);
    auto x = extract(labelled);
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_TRUE(fs::exists(out + "/alpha.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
}

TEST_F(UnTar, LinkOutOfTheTargetIsNeverWrittenThrough) {
    const std::string outside = tmp / "outside";
    fs::create_directories(outside);
    auto bytes = testsupport::tarArchive({
        {"escape", '2', "", outside},
        {"escape/pwned.txt", '0', "gotcha"},
        {"up", '2', "", "../outside"},
        {"up/also.txt", '0', "gotcha"},
        {"hard", '1', "", outside + "/victim"},
        {"safe.txt", '0', "fine"},
    });
    testsupport::writeFile(outside + "/victim", std::string("keep"));
    auto x = extract(write(bytes, "evil.tar"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    // Only the victim that was there before.
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
    EXPECT_EQ(fs::read_symlink(out + "/escape"), outside);
    EXPECT_EQ(slurp("safe.txt"), "fine");
    EXPECT_FALSE(fs::exists(out + "/hard"));
    EXPECT_GE(errors.size(), 3u);
}

TEST_F(UnTar, AbsoluteAndClimbingNamesStayInside) {
    auto bytes = testsupport::tarArchive({
        {"/abs/root.txt", '0', "abs"},
        {"../../climb.txt", '0', "climb"},
        {"a/../../b/./c.txt", '0', "mixed"},
        {"C:\\dos\\d.txt", '0', "dos"},
    });
    auto x = extract(write(bytes, "names.tar"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(slurp("abs/root.txt"), "abs");
    EXPECT_EQ(slurp("climb.txt"), "climb");
    EXPECT_EQ(slurp("a/b/c.txt"), "mixed");
    EXPECT_EQ(slurp("dos/d.txt"), "dos");
    for (const auto& e : fs::directory_iterator(tmp.path()))
        EXPECT_TRUE(e.path().filename() == "out" || e.path().filename() == "names.tar") << e.path();
}

TEST_F(UnTar, DevicesAreSkippedWithAMessage) {
    auto bytes = testsupport::tarArchive({
        {"dev/null", '3'},
        {"fifo", '6'},
        {"real.txt", '0', "real"},
    });
    auto x = extract(write(bytes, "dev.tar"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(errors, (std::vector<int>{err::SkippedFile, err::SkippedFile}));
    EXPECT_FALSE(fs::exists(out + "/fifo"));
    EXPECT_EQ(slurp("real.txt"), "real");
}

TEST_F(UnTar, HeaderChecksumIsVerified) {
    auto bytes = testsupport::tarArchive({{"one.txt", '0', "1"}, {"two.txt", '0', "2"}});
    bytes[512 + 512 + 10] ^= 1; // the second header's name
    auto x = extract(write(bytes, "bad.tar"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, err::HeaderCrcError);
    EXPECT_EQ(errors, std::vector<int>{err::HeaderCrcError});
    EXPECT_EQ(slurp("one.txt"), "1");
    EXPECT_FALSE(fs::exists(out + "/two.txt"));
}

TEST_F(UnTar, NumbersLongRecordsAndTimes) {
    TarMember big{"b256.txt", '0', "base-256 size"};
    big.base256Size = true;
    TarMember pax{"PaxHeaders/x", 'x',
                  paxRecord("path", "pax/named/by/record.txt") +
                      paxRecord("mtime", "1234567890.5") + paxRecord("size", "5")};
    TarMember target{"short", '0', "paxed, and more than the record says"};
    const std::string longName = "long/" + std::string(150, 'L') + "/" + std::string(140, 'M');
    TarMember gnuName{"././@LongLink", 'L', longName + std::string(1, '\0')};
    TarMember named{"cut", '0', "long"};
    TarMember exec{"run.sh", '0', "#!/bin/sh\n"};
    exec.mode = 0755;
    auto bytes = testsupport::tarArchive({big, pax, target, gnuName, named, exec});
    auto x = extract(write(bytes, "n.tar"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(slurp("b256.txt"), "base-256 size");
    // The record's size wins over the header's.
    EXPECT_EQ(slurp("pax/named/by/record.txt"), "paxed");
    struct stat st;
    ASSERT_EQ(stat((out + "/pax/named/by/record.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1234567890);
    EXPECT_EQ(slurp(longName), "long");
    ASSERT_EQ(stat((out + "/run.sh").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
}

TEST_F(UnTar, PlainSpecStopsAfterTheFirstMatch) {
    auto bytes = testsupport::tarArchive({{"a.txt", '0', "1"}, {"a.txt", '0', "2"}});
    auto x = extractorFor(write(bytes, "twice.tar"));
    ASSERT_TRUE(x);
    x->SetFileSpec("a.txt");
    x->Extract();
    EXPECT_EQ(slurp("a.txt"), "1");
    EXPECT_EQ(log, (std::vector<std::string>{"activate", "begin a.txt 1", "end a.txt pass",
                                             "deactivate"}));
}
