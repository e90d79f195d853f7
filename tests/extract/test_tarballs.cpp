// Compressed TAR archives made by GNU tar with each compressor extract to
// the tree they were made from, read as they decode; single compressed
// files extract as their one member; damaged streams and a decompression
// bomb stop cleanly.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "archive/extract/DecodedStream.h"
#include "tests/support/Cli.h"
#include "tests/support/ExtractFixture.h"
#include "tests/support/TarBuilder.h"
#include "tests/support/TreeCompare.h"

namespace fs = std::filesystem;
using testsupport::haveTool;

namespace {

int sh(const std::string& dir, const std::string& cmd) {
    return testsupport::run("cd '" + dir + "' && (" + cmd + ") >/dev/null 2>&1");
}

struct Kind {
    const char* tool;
    const char* option;
    TArcType type;
};

const Kind kKinds[] = {
    {"gzip", "-z", atTarGz},     {"bzip2", "-j", atTarBz2},    {"xz", "-J", atTarXz},
    {"lzip", "--lzip", atTarLz}, {"zstd", "--zstd", atTarZst}, {"compress", "-Z", atTarZ},
};

class Tarballs : public ExtractFixture {
protected:
    void SetUp() override {
        ExtractFixture::SetUp();
        dec::installTarballProbe();
    }

    void makeTree() {
        src = tmp / "src";
        const std::string longName = "deep/" + std::string(150, 'l') + "/" + std::string(120, 'm');
        fs::create_directories(src + "/" + longName);
        fs::create_directories(src + "/empty");
        std::string text;
        for (int i = 0; i < 40000; ++i) text += "line " + std::to_string(i) + "\n";
        testsupport::writeFile(src + "/alpha.txt", text);
        testsupport::writeFile(src + "/" + longName + "/f.txt", std::string("long\n"));
        ASSERT_EQ(sh(src, "head -c 200000 /dev/urandom > noise.bin && ln -s alpha.txt link && "
                          "ln alpha.txt hard.txt && truncate -s 3M sparse.bin && "
                          "printf data | dd of=sparse.bin bs=1 seek=1500000 conv=notrunc && "
                          "find . -exec touch -h -d '2021-03-04 05:06:07' {} +"),
                  0);
    }

    TArcType typeOf(const std::string& path) {
        TZipCommon probe;
        probe.SetArchiveFile(path);
        return probe.ArcType();
    }

    std::string src;
};

std::int64_t allocated(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_blocks) * 512 : -1;
}

TEST_F(Tarballs, EveryCompressorExtractsExactly) {
    if (!haveTool("tar")) GTEST_SKIP() << "tar not installed";
    makeTree();
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.option);
        if (!haveTool(k.tool)) {
            std::printf("skipping %s: %s not installed\n", k.option, k.tool);
            continue;
        }
        fs::remove_all(out);
        const std::string archive = tmp / (std::string("t") + k.option + ".tar.c");
        ASSERT_EQ(sh(src, std::string("tar -S ") + k.option + " -cf '" + archive + "' *"), 0);
        EXPECT_EQ(typeOf(archive), k.type);
        errors.clear();
        auto x = extractorFor(archive);
        ASSERT_TRUE(x);
        x->Extract();
        EXPECT_EQ(x->StopCode, 0);
        EXPECT_TRUE(errors.empty());
        for (const auto& d : testsupport::compareTrees(src, out)) ADD_FAILURE() << d;
        EXPECT_EQ(fs::file_size(out + "/sparse.bin"), 3u << 20);
        EXPECT_LT(allocated(out + "/sparse.bin"), 1 << 20);
    }
}

TEST_F(Tarballs, OneNamedMemberIsTakenFromTheStream) {
    if (!haveTool("xz")) GTEST_SKIP() << "xz not installed";
    makeTree();
    const std::string archive = tmp / "t.tar.xz";
    ASSERT_EQ(sh(src, "tar -cJf '" + archive + "' alpha.txt noise.bin"), 0);
    auto x = extractorFor(archive);
    ASSERT_TRUE(x);
    x->SetFileSpec("noise.bin");
    x->Extract();
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_FALSE(fs::exists(out + "/alpha.txt"));
    EXPECT_EQ(testsupport::readFile(out + "/noise.bin"), testsupport::readFile(src + "/noise.bin"));
}

TEST_F(Tarballs, SingleCompressedFilesExtractAsTheirOneMember) {
    ASSERT_EQ(sh(tmp.path(), "seq 1 50000 > notes.txt"), 0);
    const auto original = testsupport::readFile(tmp / "notes.txt");
    const struct {
        const char* tool;
        const char* ext;
        TArcType type;
    } files[] = {{"bzip2", "bz2", atBzip2},
                 {"xz", "xz", atXz},
                 {"lzip", "lz", atLzip},
                 {"zstd", "zst", atZstd}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.ext);
        if (!haveTool(f.tool)) continue;
        fs::remove_all(out);
        ASSERT_EQ(sh(tmp.path(), std::string(f.tool) + " -k -f notes.txt"), 0);
        // Two streams one after another decode as one.
        ASSERT_EQ(sh(tmp.path(), std::string("cat notes.txt.") + f.ext + " notes.txt." + f.ext +
                                     " > twice." + f.ext),
                  0);
        const std::string once = tmp / (std::string("notes.txt.") + f.ext);
        EXPECT_EQ(typeOf(once), f.type);
        auto x = extractorFor(once);
        ASSERT_TRUE(x);
        x->Extract();
        EXPECT_EQ(x->StopCode, 0);
        EXPECT_EQ(testsupport::readFile(out + "/notes.txt"), original);
        auto y = extractorFor(tmp / (std::string("twice.") + f.ext));
        ASSERT_TRUE(y);
        y->Extract();
        EXPECT_EQ(y->StopCode, 0);
        auto doubled = original;
        doubled.insert(doubled.end(), original.begin(), original.end());
        EXPECT_EQ(testsupport::readFile(out + "/twice"), doubled);
    }
}

TEST_F(Tarballs, AWrongGzipTrailerIsReported) {
    auto tar = testsupport::tarArchive({{"a.txt", '0', std::string(5000, 'a')}});
    testsupport::writeFile(tmp / "t.tar", tar);
    ASSERT_EQ(sh(tmp.path(), "gzip -n t.tar"), 0);
    auto gz = testsupport::readFile(tmp / "t.tar.gz");
    gz[gz.size() - 6] ^= 0x55; // the CRC
    const std::string archive = write(gz, "t.tgz");
    EXPECT_EQ(typeOf(archive), atTarGz);
    auto x = extractorFor(archive);
    ASSERT_TRUE(x);
    x->Extract();
    EXPECT_EQ(x->StopCode, err::CrcError);
    EXPECT_EQ(slurp("a.txt"), std::string(5000, 'a'));
}

TEST_F(Tarballs, ACutStreamStopsWithAnError) {
    for (const char* tool : {"gzip", "bzip2", "xz", "zstd"}) {
        SCOPED_TRACE(tool);
        if (!haveTool(tool)) continue;
        fs::remove_all(out);
        std::string data;
        for (int i = 0; i < 20000; ++i) data += std::to_string(i * 7919) + "\n";
        // Data no compressor shrinks, so that the cut falls inside it.
        std::string noise(200000, '\0');
        std::uint32_t r = 1;
        for (char& c : noise) c = static_cast<char>((r = r * 1103515245 + 12345) >> 24);
        testsupport::writeFile(
            tmp / "t.tar", testsupport::tarArchive({{"a.txt", '0', data}, {"b.bin", '0', noise}}));
        ASSERT_EQ(sh(tmp.path(), std::string(tool) + " -c t.tar > t.c"), 0);
        auto bytes = testsupport::readFile(tmp / "t.c");
        bytes.resize(bytes.size() * 3 / 4);
        const std::string archive = write(bytes, "cut.c");
        auto x = extractorFor(archive);
        ASSERT_TRUE(x);
        x->Extract();
        EXPECT_NE(x->StopCode, 0);
        // bzip2 decodes nothing of a block that is cut.
        if (std::string(tool) != "bzip2") {
            EXPECT_TRUE(slurp("a.txt") == data);
        }
    }
}

TEST(TarballCli, ADecompressionBombStopsAtTheFullDisk) {
    if (!testsupport::haveCli() || !haveTool("xz")) GTEST_SKIP() << "olmek-cli or xz missing";
    testsupport::TempDir tmp;
    // A TAR header announcing 6 GB, then xz streams of 64 MB of zeros one
    // after another: a few hundred KB that decode to gigabytes.
    testsupport::TarMember big("zeros.bin");
    auto header = testsupport::tarHeader(big);
    testsupport::tarOctal(&header[124], 12, 6ull << 30);
    std::memset(&header[148], ' ', 8);
    unsigned sum = 0;
    for (auto b : header) sum += b;
    char buf[8];
    std::snprintf(buf, sizeof buf, "%06o", sum);
    std::memcpy(&header[148], buf, 7);
    testsupport::writeFile(tmp / "head.tar", header);
    ASSERT_EQ(sh(tmp.path(), "xz -0 -k head.tar && head -c 67108864 /dev/zero | xz -0 > z.xz && "
                             "cat head.tar.xz > bomb.tar.xz && for i in $(seq 96); do cat z.xz "
                             ">> bomb.tar.xz; done"),
              0);
    EXPECT_LT(fs::file_size(tmp / "bomb.tar.xz"), 2u << 20);
    // 8 MB of disk (in 512-byte blocks) and 512 MB of address space.
    auto r = testsupport::runCli("x -d out bomb.tar.xz", tmp.path(),
                                 "ulimit -f 16384 && ulimit -v 524288");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("error 25114: Error writing to file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("disk is full"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(tmp / "out/zeros.bin")) << "the part-written file is removed";
}

} // namespace
