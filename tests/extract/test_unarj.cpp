// The ARJ extractor: archives made by arj at test time (methods 0 to 4,
// folders, a volume set that splits a member, a garbled member) and
// hand-made damage: the events, the errors and their order.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "archive/core/Crc.h"
#include "archive/extract/UnARJ.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/ExtractFixture.h"
#include "tests/support/SourceTree.h"

namespace fs = std::filesystem;
using testsupport::Bytes;

namespace {

class UnArj : public ExtractFixture {
protected:
    void SetUp() override {
        ExtractFixture::SetUp();
        if (!testsupport::haveTool("arj")) GTEST_SKIP() << "arj not installed";
        tree = testsupport::makeSourceTree(tmp / "src");
    }
    int arj(const std::string& args) {
        return testsupport::run("cd '" + tree.root + "' && arj " + args + " >/dev/null 2>&1");
    }
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
    testsupport::SourceTree tree;
    int stop = -1;
};

std::uint32_t crc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFF;
    Crc32Update(p, n, c);
    return c ^ 0xFFFFFFFF;
}

// A header of the given fixed fields, name and comment, with its CRC.
Bytes arjHeader(std::uint8_t fileType, std::uint8_t method, const std::string& name,
                std::uint32_t packed, std::uint32_t unpacked, std::uint32_t crc,
                std::uint8_t flags = 0, std::uint8_t minVersion = 1) {
    Bytes basic = {30, 11, minVersion, 0, flags, method, fileType, 0};
    testsupport::put32(basic, (39u << 25) | (6u << 21) | (15u << 16) | (10u << 11));
    testsupport::put32(basic, packed);
    testsupport::put32(basic, unpacked);
    testsupport::put32(basic, crc);
    testsupport::put16(basic, 0);
    testsupport::put16(basic, 0x20);
    testsupport::put16(basic, 0);
    testsupport::putStr(basic, name);
    basic.push_back(0);
    basic.push_back(0); // comment
    Bytes h;
    testsupport::put16(h, 0xEA60);
    testsupport::put16(h, static_cast<std::uint32_t>(basic.size()));
    testsupport::putBytes(h, basic);
    testsupport::put32(h, crc32(basic.data(), basic.size()));
    testsupport::put16(h, 0);
    return h;
}

Bytes storedMember(const std::string& name, const std::string& data, std::uint8_t flags = 0) {
    Bytes h =
        arjHeader(0, 0, name, static_cast<std::uint32_t>(data.size()),
                  static_cast<std::uint32_t>(data.size()),
                  crc32(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()), flags);
    testsupport::putStr(h, data);
    return h;
}

Bytes arjArchive(const std::vector<Bytes>& members) {
    Bytes a = arjHeader(2, 0, "a.arj", 0, 0, 0);
    for (const Bytes& m : members) testsupport::putBytes(a, m);
    testsupport::put16(a, 0xEA60);
    testsupport::put16(a, 0);
    return a;
}

} // namespace

TEST_F(UnArj, EveryMethodWithFolders) {
    for (int method = 0; method <= 4; ++method) {
        const std::string name = "m" + std::to_string(method) + ".arj";
        SCOPED_TRACE(name);
        ASSERT_EQ(arj("a -r -y -m" + std::to_string(method) + " ../" + name + " '*'"), 0);
        const std::string target = tmp / ("out_" + name);
        EXPECT_EQ(extract(tmp / name, target), 0);
        EXPECT_EQ(stop, 0);
        EXPECT_TRUE(errors.empty());
        testsupport::expectSameFiles(tree, target);
    }
}

TEST_F(UnArj, AVolumeSetSplitsAMemberOverTheFirstTwoVolumes) {
    ASSERT_EQ(arj("a -v60K -y -m1 ../ARCHIVE.ARJ noise.bin text.txt far.bin"), 0);
    ASSERT_TRUE(fs::exists(tmp / "ARCHIVE.A01"));
    EXPECT_EQ(extract(tmp / "ARCHIVE.ARJ", tmp / "out"), 0);
    EXPECT_EQ(stop, 0);
    for (const char* f : {"noise.bin", "text.txt", "far.bin"})
        EXPECT_TRUE(testsupport::readFile(tmp / (std::string("out/") + f)) ==
                    testsupport::readFile(tree.root + "/" + f))
            << f;
    // Passing over the split member still reaches the members behind it.
    log.clear();
    auto x = extractorFor(tmp / "ARCHIVE.ARJ");
    ASSERT_TRUE(x);
    x->SetExtractDir(tmp / "only");
    x->SetFileSpec("f*.bin");
    x->Extract();
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_TRUE(testsupport::readFile(tmp / "only/far.bin") ==
                testsupport::readFile(tree.root + "/far.bin"));
    EXPECT_FALSE(fs::exists(tmp / "only/noise.bin"));
}

TEST_F(UnArj, AMissingVolumeIsAskedForThenNotFound) {
    ASSERT_EQ(arj("a -v40K -y -m0 ../SET.ARJ noise.bin"), 0);
    ASSERT_TRUE(fs::exists(tmp / "SET.A01"));
    fs::remove(tmp / "SET.A01");
    auto x = extractorFor(tmp / "SET.ARJ");
    ASSERT_TRUE(x);
    std::vector<std::string> volumes;
    x->OnError = [&](TObject*, const std::string&, const std::string& vol, int code) {
        errors.push_back(code);
        volumes.push_back(vol);
    };
    x->Extract();
    EXPECT_EQ(errors, (std::vector<int>{err::CabNextVolume, err::FileNotFound}));
    EXPECT_EQ(volumes, (std::vector<std::string>{"1", "1"}));
    EXPECT_EQ(x->StopCode, err::FileNotFound);
}

TEST_F(UnArj, AGarbledMemberStopsTheExtraction) {
    ASSERT_EQ(arj("a -y ../plain.arj text.txt"), 0);
    ASSERT_EQ(arj("a -y -gsecret ../plain.arj noise.bin"), 0);
    ASSERT_EQ(arj("a -y ../plain.arj far.bin"), 0);
    auto x = extractorFor(tmp / "plain.arj");
    ASSERT_TRUE(x);
    x->Extract();
    EXPECT_EQ(x->StopCode, err::PasswordProtected);
    EXPECT_EQ(errors, std::vector<int>{err::PasswordProtected});
    EXPECT_TRUE(fs::exists(out + "/text.txt"));
    EXPECT_FALSE(fs::exists(out + "/noise.bin"));
    EXPECT_FALSE(fs::exists(out + "/far.bin"));
}

TEST_F(UnArj, UnixHostTimesAndPermissions) {
    testsupport::run("chmod 750 '" + tree.root + "/text.txt'");
    ASSERT_EQ(arj("a -y ../u.arj text.txt"), 0);
    EXPECT_EQ(extract(tmp / "u.arj", tmp / "u"), 0);
    struct stat a, b;
    ASSERT_EQ(stat((tree.root + "/text.txt").c_str(), &a), 0);
    ASSERT_EQ(stat((tmp / "u/text.txt").c_str(), &b), 0);
    EXPECT_EQ(a.st_mtime, b.st_mtime);
    EXPECT_EQ(b.st_mode & 0700, 0700u);
}

// Hand-made archives need no peer tool.
class UnArjMade : public ExtractFixture {};

TEST_F(UnArjMade, UnselectedAndDeclinedMembersAreReportedAsSkipped) {
    auto x = extractorFor(write(
        arjArchive({storedMember("a.txt", "alpha"), storedMember("b.doc", "beta")}), "a.arj"));
    ASSERT_TRUE(x);
    x->SetFileSpec("*.doc");
    x->Extract();
    EXPECT_EQ(log, (std::vector<std::string>{"activate", "error 26900 a.txt", "begin b.doc 1",
                                             "end b.doc pass", "deactivate"}));
    // OnBegin comes before the exists test; declining there is a skip too.
    log.clear();
    x->SetFileSpec("*.*");
    x->OnBegin = [this](TObject*, const std::string& fn, int, bool& go) {
        log.push_back("begin " + rel(fn));
        go = rel(fn) != "a.txt";
    };
    x->Extract();
    EXPECT_EQ(log, (std::vector<std::string>{"activate", "begin a.txt", "error 26900 a.txt",
                                             "begin b.doc", "exists b.doc", "end b.doc pass",
                                             "deactivate"}));
}

TEST_F(UnArjMade, HeaderDamageStopsWithItsError) {
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        int code;
    };
    const Case cases[] = {
        {"a file header's CRC", [](Bytes& a) { a[a.size() - 30] ^= 1; }, err::HeaderCrcError},
        {"a file header's id", [](Bytes& a) { a[a.size() - 4 - 51] = 0; }, err::BadFileHeader},
        {"data past the end", [](Bytes& a) { a.resize(a.size() - 6); }, err::BadFileHeader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        errors.clear();
        Bytes a = arjArchive({storedMember("a.txt", "alpha"), storedMember("b.txt", "beta")});
        c.damage(a);
        auto x = extractorFor(write(a, "d.arj"));
        ASSERT_TRUE(x);
        x->Extract();
        EXPECT_EQ(x->StopCode, c.code);
        EXPECT_EQ(errors, std::vector<int>{c.code});
        EXPECT_EQ(slurp("a.txt"), "alpha");
    }
}

TEST_F(UnArjMade, MemberRefusals) {
    struct Case {
        const char* what;
        Bytes member;
        int code;
    };
    const Case cases[] = {
        {"a newer version", arjHeader(0, 0, "v.txt", 0, 0, 0, 0, 9), err::VersionError},
        {"method 7", arjHeader(0, 7, "m.txt", 0, 0, 0), err::UnsupportedMethod},
        {"a chapter label", arjHeader(5, 0, "c.txt", 0, 0, 0), err::UnknownFileType},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        errors.clear();
        auto x = extractorFor(write(arjArchive({c.member, storedMember("z.txt", "z")}), "r.arj"));
        ASSERT_TRUE(x);
        x->Extract();
        EXPECT_EQ(x->StopCode, c.code);
        EXPECT_EQ(errors, std::vector<int>{c.code});
        EXPECT_FALSE(fs::exists(out + "/z.txt"));
    }
}

TEST_F(UnArjMade, ASelfExtractingProgram) {
    // A DOS image of two 512-byte pages, two bytes, then the archive.
    Bytes a(1026, 0);
    a[0] = 'M';
    a[1] = 'Z';
    a[4] = 2;
    testsupport::putBytes(a, arjArchive({storedMember("a.txt", "alpha")}));
    auto x = extractorFor(write(a, "s.exe"));
    ASSERT_TRUE(x);
    x->Extract();
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(slurp("a.txt"), "alpha");
}
