// BH extraction on hand-built archives: stored members, "fused" members
// (the -lh5- data jlha makes, behind BH headers), traditional encryption of
// both, members left out by the file spec, and a BH self-extractor.
#include <gtest/gtest.h>

#include "archive/core/Crc.h"
#include "archive/format/LhaFormat.h"
#include "platform/File.h"
#include "tests/support/ExtractFixture.h"
#include "tests/support/PeBuilder.h"
#include "tests/support/ZipBuilder.h"

using testsupport::Bytes;
using testsupport::haveTool;

namespace {

constexpr std::uint32_t kStamp = (2004u - 1980) << 25 | 5u << 21 | 6u << 16 | 7u << 11 | 8u << 5;

// The CRC-32 as BH keeps it: without the final complement.
std::uint32_t bhCrc(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    Crc32Update(data.data(), data.size(), crc);
    return crc;
}

// A member: header, name and the data as given (encrypted here when a
// password is given, behind the 12-byte header that checks it).
Bytes bhMember(const std::string& name, const std::string& plain, const Bytes& packed,
               std::uint8_t method, const std::string& password = "") {
    const std::uint32_t crc = bhCrc(plain);
    Bytes data = packed;
    if (!password.empty()) {
        ziptest::Encrypter e(password);
        Bytes enc;
        for (int i = 0; i < 11; ++i)
            enc.push_back(e.encrypt(static_cast<std::uint8_t>(i * 29 + 3)));
        enc.push_back(e.encrypt(static_cast<std::uint8_t>(crc >> 24)));
        for (std::uint8_t b : packed) enc.push_back(e.encrypt(b));
        data = enc;
    }
    Bytes v;
    testsupport::put32(v, 0x07054842);
    testsupport::put16(v, static_cast<std::uint32_t>(37 + name.size()));
    v.push_back(0);
    v.push_back(1);
    v.push_back(1);
    v.push_back(password.empty() ? 0 : 1);
    v.push_back(method);
    testsupport::put32(v, kStamp);
    testsupport::put32(v, static_cast<std::uint32_t>(data.size()));
    testsupport::put32(v, static_cast<std::uint32_t>(plain.size()));
    testsupport::put32(v, crc);
    testsupport::put16(v, 0x20);
    testsupport::put32(v, 0);
    testsupport::put16(v, static_cast<std::uint32_t>(name.size()));
    testsupport::put16(v, 0);
    testsupport::putStr(v, name);
    testsupport::putBytes(v, data);
    return v;
}

Bytes bytesOf(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

std::string sampleText() {
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "bh line " + std::to_string(i * 7919 % 10007) + "\n";
    return text;
}

class UnBh : public ExtractFixture {
protected:
    // The -lh5- data jlha makes of text.
    Bytes fused(const std::string& text) {
        testsupport::writeFile(tmp / "fuse.txt", text);
        EXPECT_EQ(testsupport::run("cd '" + tmp.path() +
                                   "' && jlha a2o5q fuse.lzh fuse.txt >/dev/null 2>&1"),
                  0);
        plat::File f;
        EXPECT_TRUE(f.open(tmp / "fuse.lzh", plat::File::Mode::Read));
        auto read = [&](std::int64_t pos, void* buf, std::size_t n) {
            return f.readAt(pos, buf, n) == static_cast<std::int64_t>(n);
        };
        lha::Header h;
        EXPECT_EQ(lha::readHeader(read, 0, f.size(), h), lha::Status::Ok);
        EXPECT_EQ(std::string(h.MethodId), "-lh5-");
        Bytes data(static_cast<std::size_t>(h.PackedSize));
        EXPECT_TRUE(read(h.DataPos(), data.data(), data.size()));
        return data;
    }

    std::unique_ptr<TUnBase> extract(const std::string& archive) {
        auto x = extractorFor(archive);
        EXPECT_TRUE(x) << archive;
        if (x) x->Extract();
        return x;
    }
};

} // namespace

TEST_F(UnBh, StoredAndFusedMembers) {
    if (!haveTool("jlha")) GTEST_SKIP() << "jlha not installed";
    const std::string text = sampleText();
    Bytes a = bhMember("DIR\\STORED.TXT", "stored bytes", bytesOf("stored bytes"), 0);
    testsupport::putBytes(a, bhMember("FUSED.TXT", text, fused(text), 1));
    auto x = extract(write(a, "t.bh"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(slurp("DIR/STORED.TXT"), "stored bytes");
    EXPECT_EQ(slurp("FUSED.TXT"), text);
    EXPECT_EQ(log, (std::vector<std::string>{"activate", "begin DIR/STORED.TXT 1",
                                             "end DIR/STORED.TXT pass", "begin FUSED.TXT 2",
                                             "end FUSED.TXT pass", "deactivate"}));
}

TEST_F(UnBh, EncryptedMembersOfBothMethods) {
    if (!haveTool("jlha")) GTEST_SKIP() << "jlha not installed";
    const std::string text = sampleText();
    Bytes a = bhMember("S.TXT", "secret stored", bytesOf("secret stored"), 0, "pw");
    testsupport::putBytes(a, bhMember("F.TXT", text, fused(text), 1, "pw"));
    auto x = extractorFor(write(a, "enc.bh"));
    ASSERT_TRUE(x);
    x->Passwords.Add("wrong");
    x->Passwords.Add("pw");
    int asked = 0;
    x->OnGetPassword = [&](TObject*, const std::string&, std::string&, bool& again) {
        ++asked;
        again = false;
    };
    x->Extract();
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(slurp("S.TXT"), "secret stored");
    EXPECT_EQ(slurp("F.TXT"), text);
}

TEST_F(UnBh, UnselectedMembersAreReportedAndOtherMethodsStop) {
    Bytes a = bhMember("ONE.TXT", "1", bytesOf("1"), 0);
    testsupport::putBytes(a, bhMember("TWO.DOC", "2", bytesOf("2"), 0));
    testsupport::putBytes(a, bhMember("THREE.TXT", "3", bytesOf("3"), 2));
    auto x = extractorFor(write(a, "m.bh"));
    ASSERT_TRUE(x);
    x->SetFileSpec("*.TXT");
    x->Extract();
    EXPECT_EQ(errors, std::vector<int>{err::SkippedFile});
    EXPECT_EQ(slurp("ONE.TXT"), "1");
    EXPECT_EQ(x->StopCode, err::UnsupportedMethod);
}

TEST_F(UnBh, SelfExtractingProgram) {
    Bytes exe = testsupport::dosStub(1024);
    testsupport::putBytes(exe, bhMember("IN.TXT", "inside", bytesOf("inside"), 0));
    auto x = extract(write(exe, "setup.exe"));
    ASSERT_TRUE(x);
    TZipCommon probe;
    probe.SetArchiveFile(tmp / "setup.exe");
    EXPECT_EQ(probe.ArcType(), atBHExe);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(slurp("IN.TXT"), "inside");
}
