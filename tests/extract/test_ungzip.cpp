// GZIP and compress extraction: files made by gzip (with and without a
// name, concatenated members, empty input) and by ncompress extract
// exactly; headers with every optional field, made here; damaged members
// fail without taking the rest down.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "archive/core/Crc.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/ExtractFixture.h"

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::haveTool;

namespace {

int sh(const std::string& dir, const std::string& cmd) {
    return testsupport::run("cd '" + dir + "' && (" + cmd + ") >/dev/null 2>&1");
}

std::string text(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; s.size() < n; ++i)
        s += "gzip line " + std::to_string(i * 31 % 977) + "\n";
    s.resize(n);
    return s;
}

class UnGzip : public ExtractFixture {
protected:
    std::unique_ptr<TUnBase> extract(const std::string& archive) {
        auto x = extractorFor(archive);
        EXPECT_TRUE(x) << archive;
        if (x) x->Extract();
        return x;
    }

    // The raw Deflate stream, CRC and length gzip makes of data.
    struct Raw {
        Bytes deflate;
        Bytes trailer;
    };
    Raw raw(const std::string& data) {
        testsupport::writeFile(tmp / "raw.in", data);
        EXPECT_EQ(sh(tmp.path(), "gzip -n -c raw.in > raw.gz"), 0);
        Bytes gz = testsupport::readFile(tmp / "raw.gz");
        return {Bytes(gz.begin() + 10, gz.end() - 8), Bytes(gz.end() - 8, gz.end())};
    }

    // A member with the given flags and fields around gzip's stream of data.
    Bytes member(const std::string& data, std::uint8_t flags, const std::string& name = "",
                 const std::string& comment = "", const Bytes& extra = {},
                 bool badHeaderCrc = false) {
        Raw r = raw(data);
        Bytes v = {0x1F, 0x8B, 8, flags};
        testsupport::put32(v, 1300000000);
        v.push_back(0);
        v.push_back(3);
        if (flags & 0x04) {
            testsupport::put16(v, static_cast<std::uint32_t>(extra.size()));
            testsupport::putBytes(v, extra);
        }
        if (flags & 0x08) {
            testsupport::putStr(v, name);
            v.push_back(0);
        }
        if (flags & 0x10) {
            testsupport::putStr(v, comment);
            v.push_back(0);
        }
        if (flags & 0x02) {
            std::uint32_t crc = 0xFFFFFFFFu;
            Crc32Update(v.data(), v.size(), crc);
            testsupport::put16(v, ((crc ^ 0xFFFFFFFFu) & 0xFFFF) ^ (badHeaderCrc ? 1 : 0));
        }
        testsupport::putBytes(v, r.deflate);
        testsupport::putBytes(v, r.trailer);
        return v;
    }
};

std::int64_t mtimeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

} // namespace

TEST_F(UnGzip, GzipWithAndWithoutName) {
    if (!haveTool("gzip")) GTEST_SKIP() << "gzip not installed";
    const std::string data = text(300000);
    testsupport::writeFile(tmp / "named.txt", data);
    ASSERT_EQ(sh(tmp.path(),
                 "touch -d @1234567890 named.txt && gzip -9 -k named.txt && "
                 "gzip -n -c named.txt > nameless.txt.gz && mv named.txt.gz renamed.gz"),
              0);
    auto x = extract(tmp / "renamed.gz");
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(slurp("named.txt"), data);
    EXPECT_EQ(mtimeOf(out + "/named.txt"), 1234567890);
    EXPECT_EQ(log, (std::vector<std::string>{"activate", "begin named.txt 1", "end named.txt pass",
                                             "deactivate"}));
    x = extract(tmp / "nameless.txt.gz");
    ASSERT_TRUE(x);
    EXPECT_EQ(slurp("nameless.txt"), data);
}

TEST_F(UnGzip, ConcatenatedMembersAndEmptyInput) {
    if (!haveTool("gzip")) GTEST_SKIP() << "gzip not installed";
    const std::string a = text(70000), b = "second member\n";
    testsupport::writeFile(tmp / "a", a);
    testsupport::writeFile(tmp / "b", b);
    ASSERT_EQ(sh(tmp.path(), "gzip -c a > both.gz && gzip -1 -c b >> both.gz && "
                             "gzip -c < /dev/null > empty.gz && gzip -c < /dev/null >> both.gz"),
              0);
    auto x = extract(tmp / "both.gz");
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(slurp("a"), a + b);
    x = extract(tmp / "empty.gz");
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_TRUE(fs::exists(out + "/empty"));
    EXPECT_EQ(slurp("empty"), "");
    for (const auto& line : log) EXPECT_EQ(line.find(" fail"), std::string::npos) << line;
}

TEST_F(UnGzip, EveryOptionalHeaderField) {
    if (!haveTool("gzip")) GTEST_SKIP() << "gzip not installed";
    const std::string data = text(5000);
    Bytes v =
        member(data, 0x1E, "inner.txt", "a comment, as RFC 1952 allows", {'A', 'B', 2, 0, 1, 2});
    // A second member with only a comment, then zeros as tape padding.
    Bytes second = member("more", 0x10, "", "second comment");
    testsupport::putBytes(v, second);
    v.insert(v.end(), 100, 0);
    auto x = extract(write(v, "fields.gz"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(slurp("inner.txt"), data + "more");
    EXPECT_EQ(mtimeOf(out + "/inner.txt"), 1300000000);
    EXPECT_EQ(errors, std::vector<int>{});
}

TEST_F(UnGzip, StoredNameIsReducedToItsLastPart) {
    if (!haveTool("gzip")) GTEST_SKIP() << "gzip not installed";
    auto x = extract(write(member("x", 0x08, "../../etc/evil.txt"), "evil.gz"));
    ASSERT_TRUE(x);
    EXPECT_EQ(slurp("evil.txt"), "x");
    x = extract(write(member("y", 0x08, "C:\\DOS\\NAME.TXT"), "dos.gz"));
    EXPECT_EQ(slurp("NAME.TXT"), "y");
    // Nothing is left of "..": the archive's own name is taken.
    x = extract(write(member("z", 0x08, "dir/.."), "fallback.tgz"));
    EXPECT_EQ(slurp("fallback.tar"), "z");
    // Never the archive's own name.
    x = extract(write(member("n", 0), "noext"));
    EXPECT_EQ(slurp("noext.out"), "n");
    for (const auto& e : fs::directory_iterator(tmp.path())) EXPECT_NE(e.path().filename(), "etc");
}

TEST_F(UnGzip, DamagedMembersFail) {
    if (!haveTool("gzip")) GTEST_SKIP() << "gzip not installed";
    // A CRC that does not match: the data is written, the member fails.
    Bytes bad = member("checked data", 0x08, "bad.txt");
    bad[bad.size() - 6] ^= 0xFF;
    auto x = extract(write(bad, "bad.gz"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(log[2], "end bad.txt fail");
    // The same in the second of two members.
    Bytes two = member("one", 0x08, "two.txt");
    Bytes second = member("two", 0);
    second[second.size() - 2] ^= 1; // its length
    testsupport::putBytes(two, second);
    log.clear();
    x = extract(write(two, "two.gz"));
    EXPECT_EQ(log[2], "end two.txt fail");
    // A wrong header CRC, flags nobody defined, early encryption.
    x = extract(write(member("h", 0x0A, "h.txt", "", {}, true), "hcrc.gz"));
    EXPECT_EQ(x->StopCode, err::HeaderCrcError);
    x = extract(write(member("h", 0x48, "h.txt"), "flags.gz"));
    EXPECT_EQ(x->StopCode, err::UnknownFlags);
    errors.clear();
    x = extract(write(member("h", 0x28, "h.txt"), "crypt.gz"));
    EXPECT_EQ(errors, std::vector<int>{err::PasswordProtected});
    EXPECT_FALSE(fs::exists(out + "/h.txt"));
    // A truncated stream is a decoder error; what was decoded stays.
    Bytes cut = member(text(1000000), 0x08, "cut.txt");
    cut.resize(cut.size() / 2);
    x = extract(write(cut, "cut.gz"));
    EXPECT_EQ(x->StopCode, err::ReadError);
    EXPECT_GT(fs::file_size(out + "/cut.txt"), 0u);
}

TEST_F(UnGzip, CompressedWithNcompress) {
    if (!haveTool("compress")) GTEST_SKIP() << "ncompress not installed";
    const std::string data = text(400000) + std::string(10000, '\0');
    testsupport::writeFile(tmp / "DATA.TXT", data);
    ASSERT_EQ(sh(tmp.path(), "touch -d @1111111111 DATA.TXT && compress -f DATA.TXT"), 0);
    auto x = extract(tmp / "DATA.TXT.Z");
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(slurp("DATA.TXT"), data);
    // compress keeps the time stamp on the file itself.
    EXPECT_EQ(mtimeOf(out + "/DATA.TXT"), 1111111111);
}

TEST_F(UnGzip, PackAndOtherMethodsAreUnsupported) {
    auto x = extract(write(Bytes{0x1F, 0x1E, 0, 0, 0, 9, 1, 2}, "p.z"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, err::UnsupportedMethod);
    Bytes odd = {0x1F, 0x8B, 7, 0, 0, 0, 0, 0, 0, 3, 1, 2, 3, 4, 5, 6, 7, 8};
    x = extract(write(odd, "odd.gz"));
    EXPECT_EQ(x->StopCode, err::UnsupportedMethod);
}
