// ZIP methods of today's tools (Deflate64, bzip2, LZMA with and without
// its end marker, Zstandard, xz) and WinZip AES encryption: archives made
// by 7-Zip, Info-ZIP and bsdtar extract byte-identical; wrong passwords
// and damaged AES members are told apart.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "archive/extract/UnZIP.h"
#include "archive/extract/ZipAes.h"
#include "archive/format/ZipFormat.h"
#include "tests/support/ExtractFixture.h"
#include "tests/support/ZipBuilder.h"

namespace fs = std::filesystem;
using testsupport::haveTool;
using testsupport::readFile;

namespace {

int sh(const std::string& dir, const std::string& cmd) {
    return testsupport::run("cd '" + dir + "' && (" + cmd + ") >/dev/null 2>&1");
}

class ZipModern : public ExtractFixture {
protected:
    void SetUp() override {
        ExtractFixture::SetUp();
        src = tmp / "src";
        fs::create_directories(src);
        std::string text;
        for (int i = 0; i < 60000; ++i) text += "record " + std::to_string(i * 7919 % 10007) + "\n";
        testsupport::writeFile(src + "/text.txt", text);
        std::mt19937 rng(7);
        std::vector<std::uint8_t> noise(150000);
        for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
        testsupport::writeFile(src + "/noise.bin", noise);
        // Repeats 40 KB back and runs of zeros: Deflate64's far distances
        // and long lengths.
        std::vector<std::uint8_t> far(noise.begin(), noise.begin() + 40000);
        for (int i = 0; i < 4; ++i) far.insert(far.end(), noise.begin(), noise.begin() + 40000);
        far.resize(far.size() + 300000, 0);
        testsupport::writeFile(src + "/far.bin", far);
        testsupport::writeFile(src + "/tiny.txt", std::string("tiny\n"));
        testsupport::writeFile(src + "/empty.txt", std::string());
    }

    // Extracts everything with the password; the failed members' names.
    std::vector<std::string> extractAll(const std::string& archive, const std::string& password,
                                        int& stop) {
        fs::remove_all(out);
        log.clear();
        errors.clear();
        TUnZIP z;
        prepare(z, archive);
        if (!password.empty()) z.Passwords.Add(password);
        z.OnGetPassword = [](TObject*, const std::string&, std::string&, bool& again) {
            again = false;
        };
        z.Extract();
        stop = z.StopCode;
        std::vector<std::string> failed;
        for (const auto& line : log)
            if (line.rfind("end ", 0) == 0 && line.size() > 5 && line.ends_with(" fail"))
                failed.push_back(line.substr(4, line.size() - 9));
        return failed;
    }

    void expectSameFiles(const std::vector<std::string>& names) {
        for (const auto& n : names)
            EXPECT_EQ(readFile(out + "/" + n), readFile(src + "/" + n)) << n;
    }

    std::string src;
    const std::vector<std::string> all{"text.txt", "noise.bin", "far.bin", "tiny.txt", "empty.txt"};
};

TEST_F(ZipModern, SevenZipMethodsExtractByteIdentical) {
    if (!haveTool("7z")) GTEST_SKIP() << "7z not installed";
    for (std::string method : {"Deflate64", "BZip2", "LZMA", "LZMA:eos=off"}) {
        SCOPED_TRACE(method);
        const std::string archive = tmp / "m.zip";
        fs::remove(archive);
        ASSERT_EQ(sh(src, "7z a -tzip -mm=" + method + " '" + archive + "' *"), 0);
        int stop = -1;
        EXPECT_TRUE(extractAll(archive, "", stop).empty());
        EXPECT_EQ(stop, 0);
        EXPECT_TRUE(errors.empty());
        expectSameFiles(all);
    }
}

TEST_F(ZipModern, ZstandardAndXzMembers) {
    for (auto [tool, method] : {std::pair{"zstd", 93}, std::pair{"xz", 95}}) {
        SCOPED_TRACE(tool);
        if (!haveTool(tool)) continue;
        ASSERT_EQ(sh(src, std::string(tool) + " -c text.txt > text.c"), 0);
        ziptest::Member m("text.txt", std::string());
        m.data = readFile(src + "/text.c");
        const auto plain = readFile(src + "/text.txt");
        m.crc = crc32Of(plain.data(), plain.size());
        m.unpacked = plain.size();
        m.method = static_cast<std::uint16_t>(method);
        int stop = -1;
        EXPECT_TRUE(extractAll(write(ziptest::build({m}), "z.zip"), "", stop).empty());
        EXPECT_EQ(stop, 0);
        expectSameFiles({"text.txt"});
    }
}

TEST_F(ZipModern, MethodNamesInTheTable) {
    EXPECT_EQ(zip::methodName(9, 0), "Deflate64");
    EXPECT_EQ(zip::methodName(12, 0), "BZip2");
    EXPECT_EQ(zip::methodName(14, 2), "LZMA");
    EXPECT_EQ(zip::methodName(93, 0), "Zstd");
    EXPECT_EQ(zip::methodName(95, 0), "XZ");
    EXPECT_EQ(zip::methodName(99, 1), "AES");
}

TEST_F(ZipModern, AesArchivesOfThreeToolsExtract) {
    struct Maker {
        const char* tool;
        std::string cmd;
    };
    const Maker makers[] = {
        {"7z", "7z a -tzip -mem=AES256 -psecret"},
        {"7z", "7z a -tzip -mem=AES128 -psecret"},
        {"7z", "7z a -tzip -mem=AES192 -mm=BZip2 -psecret"},
        {"bsdtar", "bsdtar --format zip --options zip:encryption=aes256 --passphrase secret -cf"},
        {"zip", "zip -q -P secret"},
    };
    for (const Maker& m : makers) {
        SCOPED_TRACE(m.cmd);
        if (!haveTool(m.tool)) continue;
        const std::string archive = tmp / "e.zip";
        fs::remove(archive);
        ASSERT_EQ(
            sh(src, m.cmd + " '" + archive + "' text.txt noise.bin far.bin tiny.txt empty.txt"), 0);
        int stop = -1;
        EXPECT_TRUE(extractAll(archive, "secret", stop).empty());
        EXPECT_EQ(stop, 0);
        EXPECT_TRUE(errors.empty());
        expectSameFiles(all);
    }
}

TEST_F(ZipModern, AWrongAesPasswordIsReportedAsSuch) {
    if (!haveTool("7z")) GTEST_SKIP() << "7z not installed";
    const std::string archive = tmp / "e.zip";
    ASSERT_EQ(sh(src, "7z a -tzip -mem=AES256 -psecret '" + archive + "' text.txt"), 0);
    int stop = -1;
    extractAll(archive, "guess", stop);
    EXPECT_EQ(stop, err::PasswordFailed);
    for (int e : errors) EXPECT_NE(e, err::CrcError);
    EXPECT_FALSE(fs::exists(out + "/text.txt"));
}

TEST_F(ZipModern, AFailedAuthenticationIsDamageAndLeavesNoFile) {
    if (!haveTool("7z")) GTEST_SKIP() << "7z not installed";
    const std::string archive = tmp / "e.zip";
    // Stored, so that a changed byte decodes without complaint and only
    // the authentication code can tell.
    ASSERT_EQ(sh(src, "7z a -tzip -mx=0 -mem=AES256 -psecret '" + archive + "' text.txt tiny.txt"),
              0);
    auto bytes = readFile(archive);
    bytes[30 + 8 + 100] ^= 0x01; // inside text.txt's encrypted data
    testsupport::writeFile(archive, bytes);
    int stop = -1;
    const auto failed = extractAll(archive, "secret", stop);
    EXPECT_EQ(failed, std::vector<std::string>{"text.txt"});
    EXPECT_EQ(stop, 0);
    EXPECT_FALSE(fs::exists(out + "/text.txt"));
    expectSameFiles({"tiny.txt"});
}

// Members encrypted by the program's own AES side, built into an archive
// by hand: the extractor and 7-Zip both read them.
TEST_F(ZipModern, OwnAesEncryptionRoundTrips) {
    const auto plain = readFile(src + "/text.txt");
    std::vector<ziptest::Member> members;
    for (std::uint8_t strength : {1, 2, 3}) {
        for (std::uint16_t version : {1, 2}) {
            zipaes::Encrypter enc;
            ziptest::Member m("s" + std::to_string(strength) + "v" + std::to_string(version) +
                                  ".txt",
                              std::string());
            m.data.resize(zipaes::headerSize(strength));
            ASSERT_TRUE(enc.start("pässword", strength, m.data.data()));
            testsupport::Bytes body = plain;
            // In uneven pieces, as a writer meets them.
            for (std::size_t at = 0; at < body.size(); at += 1000 + at % 7)
                enc.encrypt(body.data() + at,
                            std::min<std::size_t>(1000 + at % 7, body.size() - at));
            testsupport::putBytes(m.data, body);
            std::uint8_t code[zipaes::kAuthCodeSize];
            enc.finish(code);
            m.data.insert(m.data.end(), code, code + sizeof code);
            m.crc = version == 2 ? 0 : crc32Of(plain.data(), plain.size());
            m.unpacked = plain.size();
            m.method = zip::kMethodAes;
            m.flags = 1;
            testsupport::put16(m.extra, zip::kAesExtraId);
            testsupport::put16(m.extra, 7);
            testsupport::put16(m.extra, version);
            testsupport::putStr(m.extra, "AE");
            testsupport::put8(m.extra, strength);
            testsupport::put16(m.extra, 0);
            members.push_back(m);
        }
    }
    const std::string archive = write(ziptest::build(members), "own.zip");
    int stop = -1;
    EXPECT_TRUE(extractAll(archive, "pässword", stop).empty());
    EXPECT_EQ(stop, 0);
    for (const auto& m : members) EXPECT_EQ(readFile(out + "/" + m.name), plain) << m.name;
    if (haveTool("7z")) {
        EXPECT_EQ(sh(tmp.path(), "7z t -p'pässword' own.zip"), 0);
        EXPECT_NE(sh(tmp.path(), "7z t -pwrong own.zip"), 0);
    }
}

TEST(ZipAesPrimitive, KeyStreamAndCodeMatchBothDirections) {
    std::uint8_t header[zipaes::headerSize(3)];
    zipaes::Encrypter enc;
    ASSERT_TRUE(enc.start("pw", 3, header));
    std::vector<std::uint8_t> data(70000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31);
    auto cipher = data;
    enc.encrypt(cipher.data(), cipher.size());
    EXPECT_NE(cipher, data);
    std::uint8_t code[zipaes::kAuthCodeSize];
    enc.finish(code);

    zipaes::Decrypter wrong(3);
    zipaes::Decrypter dec(3);
    EXPECT_TRUE(dec.tryPassword("pw", header));
    auto back = cipher;
    dec.decrypt(back.data(), 12345);
    dec.decrypt(back.data() + 12345, back.size() - 12345);
    EXPECT_EQ(back, data);
    EXPECT_TRUE(dec.authentic(code));
    // Another password almost never passes the 2-byte verifier; when it
    // does, the data it makes fails the code.
    if (wrong.tryPassword("pw2", header)) {
        auto junk = cipher;
        wrong.decrypt(junk.data(), junk.size());
        EXPECT_FALSE(wrong.authentic(code));
    }
}

} // namespace
