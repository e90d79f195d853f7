// Member insertion from disk files: the record it fills, and archives made
// of its members checked by unzip and python3's zipfile (every deflation
// option and method, with and without a password), plus a member over
// 4 GiB when OLMEK_LARGE_TESTS=1 and the disk has room.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "archive/core/Crc.h"
#include "archive/extract/ZipAes.h"
#include "archive/extract/ZipCrypto.h"
#include "archive/extract/decoders/Inflate.h"
#include "archive/format/ZipFormat.h"
#include "archive/zip/InsertHelper.h"
#include "archive/zip/ZlExceptions.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"
#include "support/TempDir.h"
#include "zip/ZipTestSupport.h"

using testsupport::TempDir;
using ziptest::Bytes;

namespace {

struct Inserted {
    std::unique_ptr<TZlZipItem> item = std::make_unique<TZlZipItem>();
    Bytes data;
};

Inserted insert(const std::string& path, const TZlInsertSettings& s, const std::string& name = "") {
    Inserted r;
    r.item->DiskFileName = path;
    r.item->SetFileName(name.empty() ? plat::extractFileName(path) : name);
    TZlMemoryStream out;
    ZlInsertHelper(s, *r.item, out);
    r.data = out.Data;
    EXPECT_EQ(r.item->CompressedSize(), r.data.size());
    EXPECT_EQ(r.item->Decoder, nullptr);
    return r;
}

TZlInsertSettings settings(TZlZipSupportedMethod m, TZlZipDeflationOption o = doNormal,
                           const std::string& pw = "") {
    TZlInsertSettings s;
    s.CompressionMethodToUse = m;
    s.DeflationOption = o;
    s.Password = pw;
    return s;
}

TEST(InsertHelper, FillsTheRecordOfADeflatedTextFile) {
    TempDir dir;
    const Bytes text = ziptest::textBytes(30000);
    testsupport::writeFile(dir / "a.txt", text);
    const std::int64_t when = plat::dosToUnix(0x52CF5A8F); // 2021-06-15 11:20:30 local
    ASSERT_TRUE(plat::setFileModificationTime(dir / "a.txt", when));
    const Inserted r = insert(dir / "a.txt", settings(smDeflated));
    const TZlZipItem& it = *r.item;
    EXPECT_EQ(it.VersionMadeBy(), 0x0314);
    EXPECT_EQ(it.VersionNeededToExtract(), 20);
    EXPECT_EQ(it.GeneralPurposeBitFlag(), 0);
    EXPECT_EQ(it.CompressionMethod(), 8);
    EXPECT_EQ(it.LastModFileDate(), 0x52CF);
    EXPECT_EQ(it.LastModFileTime(), 0x5A8F);
    EXPECT_EQ(it.CRC32(), crc32Of(text.data(), text.size()));
    EXPECT_EQ(it.UncompressedSize(), text.size());
    EXPECT_EQ(it.InternalFileAttributes(), 1);
    EXPECT_EQ(it.ExternalFileAttributes(), *plat::fileMode(dir / "a.txt") << 16 | 0x20);
    EXPECT_EQ(it.ExternalFileAttributes() >> 16 & 0170000, 0100000u) << "a regular file";
    Bytes out;
    ASSERT_EQ(inflateBuffer(r.data, out), 0);
    EXPECT_EQ(out, text);
}

TEST(InsertHelper, EmptyFileGivesTheTwoByteFinalBlock) {
    TempDir dir;
    testsupport::writeFile(dir / "empty", Bytes());
    const Inserted r = insert(dir / "empty", settings(smDeflated));
    EXPECT_EQ(r.data, (Bytes{0x03, 0x00}));
    EXPECT_EQ(r.item->CRC32(), 0u);
    EXPECT_EQ(r.item->CompressionMethod(), 8);
    EXPECT_EQ(r.item->VersionNeededToExtract(), 20);
}

TEST(InsertHelper, IncompressibleFileWithBestMethodIsStoredPlain) {
    TempDir dir;
    const Bytes noise = ziptest::randomBytes(100000);
    testsupport::writeFile(dir / "noise", noise);
    const Inserted best = insert(dir / "noise", settings(smBestMethod));
    EXPECT_EQ(best.item->CompressionMethod(), 0);
    EXPECT_EQ(best.item->VersionNeededToExtract(), 10);
    EXPECT_EQ(best.data, noise);
    const Inserted deflated = insert(dir / "noise", settings(smDeflated));
    EXPECT_EQ(deflated.item->CompressionMethod(), 8);
    EXPECT_GT(deflated.item->CompressedSize(), noise.size());
}

TEST(InsertHelper, AttributesOfAReadOnlyHiddenFile) {
    TempDir dir;
    testsupport::writeFile(dir / ".hidden", ziptest::textBytes(10));
    ASSERT_EQ(::chmod((dir / ".hidden").c_str(), 0444), 0);
    const Inserted r = insert(dir / ".hidden", settings(smStored));
    EXPECT_EQ(r.item->ExternalFileAttributes(), (0100444u << 16) | 0x23);
    EXPECT_EQ(r.item->InternalFileAttributes(), 0) << "stored members get no text verdict";
}

TEST(InsertHelper, RelativeNamesComeFromTheBaseFolderAndTheNameFlagStays) {
    TempDir dir;
    plat::forceDirectories(dir / "sub");
    testsupport::writeFile(dir / "sub/b.txt", ziptest::textBytes(500));
    TZlInsertSettings s = settings(smDeflated);
    s.BaseDirectory = dir.path();
    TZlZipItem item;
    item.DiskFileName = "sub/b.txt";
    item.SetGeneralPurposeBitFlag(0x0800 | 0x0008);
    TZlMemoryStream out;
    const std::string cwd = plat::getCurrentDir();
    ZlInsertHelper(s, item, out);
    EXPECT_EQ(plat::getCurrentDir(), cwd);
    EXPECT_EQ(item.UncompressedSize(), 500u);
    EXPECT_EQ(item.GeneralPurposeBitFlag(), 0x0800);
}

TEST(InsertHelper, EncryptedMemberCarriesTheHeaderAndFlag) {
    TempDir dir;
    const Bytes text = ziptest::textBytes(20000);
    testsupport::writeFile(dir / "t", text);
    const Inserted r = insert(dir / "t", settings(smDeflated, doMaximum, "geheim"));
    const TZlZipItem& it = *r.item;
    EXPECT_EQ(it.GeneralPurposeBitFlag(), 1);
    EXPECT_TRUE(it.IsEncrypted());
    ZipDecrypter d;
    ASSERT_TRUE(
        d.tryPassword("geheim", r.data.data(), static_cast<std::uint8_t>(it.CRC32() >> 24)));
    Bytes body(r.data.begin() + 12, r.data.end());
    d.decrypt(body.data(), body.size());
    Bytes out;
    ASSERT_EQ(inflateBuffer(body, out), 0);
    EXPECT_EQ(out, text);
}

// AES members: method 99, the AE-2 extra block naming the real method,
// salt and verifier in front, the authentication code behind, CRC 0; an
// incompressible file under "best method" is stored under a fresh salt.
TEST(InsertHelper, AesMembersCarryTheirFrameAndDecryptBack) {
    TempDir dir;
    const Bytes text = ziptest::textBytes(70000);
    const Bytes noise = ziptest::randomBytes(70000, 5);
    testsupport::writeFile(dir / "text", text);
    testsupport::writeFile(dir / "noise", noise);
    testsupport::writeFile(dir / "empty", Bytes());
    const struct {
        const char* file;
        TZlZipSupportedMethod method;
        TZlZipEncryption enc;
        std::uint8_t strength;
        std::uint16_t realMethod;
    } cases[] = {
        {"text", smDeflated, zeAes256, 3, 8},    {"text", smBestMethod, zeAes128, 1, 8},
        {"text", smStored, zeAes256, 3, 0},      {"noise", smBestMethod, zeAes256, 3, 0},
        {"noise", smBestMethod, zeAes128, 1, 0}, {"empty", smBestMethod, zeAes256, 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.method) + " " +
                     std::to_string(c.enc));
        TZlInsertSettings s = settings(c.method, doNormal, "pass word");
        s.Encryption = c.enc;
        const Inserted r = insert(dir / c.file, s);
        const TZlZipItem& it = *r.item;
        EXPECT_EQ(it.CompressionMethod(), zip::kMethodAes);
        EXPECT_EQ(it.GeneralPurposeBitFlag(), 1);
        EXPECT_EQ(it.VersionNeededToExtract(), 51);
        EXPECT_EQ(it.CRC32(), 0u);
        const std::string& x = it.ExtraField();
        std::string block("\x01\x99\x07\x00\x02\x00"
                          "AE",
                          8);
        block += {static_cast<char>(c.strength), static_cast<char>(c.realMethod), '\0'};
        EXPECT_EQ(x, block);
        const auto aes =
            zip::findAesExtra(std::span(reinterpret_cast<const std::uint8_t*>(x.data()), x.size()));
        ASSERT_TRUE(aes);

        const std::size_t head = zipaes::headerSize(c.strength);
        ASSERT_GE(r.data.size(), head + zipaes::kAuthCodeSize);
        zipaes::Decrypter d(c.strength);
        ASSERT_TRUE(d.tryPassword("pass word", r.data.data()));
        Bytes body(r.data.begin() + static_cast<std::ptrdiff_t>(head),
                   r.data.end() - zipaes::kAuthCodeSize);
        d.decrypt(body.data(), body.size());
        EXPECT_TRUE(d.authentic(r.data.data() + r.data.size() - zipaes::kAuthCodeSize));
        const Bytes& want = std::string(c.file) == "text"    ? text
                            : std::string(c.file) == "noise" ? noise
                                                             : Bytes();
        if (c.realMethod == 8) {
            Bytes out;
            ASSERT_EQ(inflateBuffer(body, out), 0);
            EXPECT_EQ(out, want);
        } else {
            EXPECT_EQ(body, want);
        }
    }
}

TEST(InsertHelper, FailuresReleaseTheCipher) {
    TempDir dir;
    TZlZipItem missing;
    missing.DiskFileName = dir / "nope";
    TZlMemoryStream out;
    EXPECT_THROW(ZlInsertHelper(settings(smDeflated), missing, out), EFOpenError);

    testsupport::writeFile(dir / "big", ziptest::textBytes(400000));
    TZlInsertSettings s = settings(smDeflated, doNormal, "pw");
    s.OnProgress = [](std::uint8_t, bool& abort) { abort = true; };
    TZlZipItem item;
    item.DiskFileName = dir / "big";
    EXPECT_THROW(ZlInsertHelper(s, item, out), EZlUserAbort);
    EXPECT_EQ(item.Decoder, nullptr);
}

// ---- peers ------------------------------------------------------------------

const char* kZipfileCheck = R"(
import os, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
pw = sys.argv[3].encode() if len(sys.argv) > 3 else None
for info in z.infolist():
    src = os.path.join(sys.argv[2], info.filename.split('/')[0])
    if z.read(info, pwd=pw) != open(src, 'rb').read():
        print('differs: ' + info.filename)
        sys.exit(1)
print('ok %d' % len(z.infolist()))
)";

struct PeerInput {
    const char* name;
    Bytes data;
};

std::vector<PeerInput> peerInputs() {
    return {{"text", ziptest::textBytes(120000)},
            {"binary", ziptest::binaryBytes(120000)},
            {"random", ziptest::randomBytes(60000)},
            {"empty", {}},
            {"one", Bytes{'1'}},
            {"equal", Bytes(70000, 0)},
            {"n65536", ziptest::textBytes(65536)},
            {"n65537", ziptest::binaryBytes(65537)}};
}

void checkWithPeers(const TempDir& dir, const std::string& zip, const std::string& pw,
                    std::size_t members) {
    if (testsupport::haveTool("unzip")) {
        const std::string p = pw.empty() ? "" : " -P " + pw;
        int st = -1;
        const std::string out = testsupport::runOutput("unzip -t" + p + " " + zip + " 2>&1", &st);
        EXPECT_EQ(st, 0) << out;
        EXPECT_NE(out.find("No errors detected"), std::string::npos) << out;
    } else {
        std::printf("unzip not installed: archive not tested with it\n");
    }
    if (testsupport::haveTool("python3")) {
        testsupport::writeFile(dir / "check.py", std::string(kZipfileCheck));
        int st = -1;
        const std::string out = testsupport::runOutput("python3 " + dir / "check.py" + " " + zip +
                                                           " " + dir / "src" + " " + pw + " 2>&1",
                                                       &st);
        EXPECT_EQ(st, 0) << out;
        EXPECT_EQ(out, "ok " + std::to_string(members) + "\n");
    }
}

TEST(InsertHelperPeers, EveryOptionAndMethodTestsCleanWithUnzipAndZipfile) {
    TempDir dir;
    plat::forceDirectories(dir / "src");
    const auto inputs = peerInputs();
    for (const auto& in : inputs) testsupport::writeFile(dir / "src/" + in.name, in.data);
    const std::pair<const char*, TZlZipDeflationOption> options[] = {
        {"superfast", doSuperFast}, {"fast", doFast}, {"normal", doNormal}, {"maximum", doMaximum}};
    const std::pair<const char*, TZlZipSupportedMethod> methods[] = {
        {"stored", smStored}, {"deflated", smDeflated}, {"best", smBestMethod}};
    for (const std::string pw : {"", "Pass word!"}) {
        std::vector<Inserted> all;
        for (const auto& in : inputs)
            for (auto [oname, o] : options)
                for (auto [mname, m] : methods)
                    all.push_back(insert(dir / "src/" + in.name, settings(m, o, pw),
                                         std::string(in.name) + "/" + oname + "-" + mname));
        const std::string zip = dir / (pw.empty() ? "plain.zip" : "secret.zip");
        ziptest::ZipWriter w(zip);
        for (const auto& r : all) w.add(*r.item, r.data);
        w.finish();
        checkWithPeers(dir, zip, pw.empty() ? "" : "'" + pw + "'", all.size());
    }
}

// A sparse file a little over 4 GiB with data at a few places.
TEST(InsertHelperPeers, MemberOver4GiB) {
    if (!std::getenv("OLMEK_LARGE_TESTS"))
        GTEST_SKIP() << "set OLMEK_LARGE_TESTS=1 to compress a 4 GiB sparse file (a minute or two)";
    TempDir dir;
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(dir.path().c_str(), &fs), 0);
    if (std::uint64_t(fs.f_bavail) * fs.f_frsize < (256u << 20))
        GTEST_SKIP() << "less than 256 MiB free in " << dir.path();
    const std::string big = dir / "big";
    const std::uint64_t size = (std::uint64_t(4) << 30) + 4099;
    {
        plat::File f;
        ASSERT_TRUE(f.open(big, plat::File::Mode::Create));
        const Bytes text = ziptest::textBytes(100000);
        for (std::uint64_t at :
             {std::uint64_t(0), std::uint64_t(1) << 31, (std::uint64_t(4) << 30) + 10}) {
            ASSERT_TRUE(f.seek(static_cast<std::int64_t>(at)));
            ASSERT_TRUE(f.write(text.data(), at ? 3000 : text.size()));
        }
        ASSERT_TRUE(f.truncate(static_cast<std::int64_t>(size)));
        ASSERT_TRUE(f.close());
    }
    TZlZipItem item;
    item.DiskFileName = big;
    item.SetFileName("big");
    TZlFileStream scratch(dir / "scratch", fmCreate);
    ZlInsertHelper(settings(smDeflated, doSuperFast), item, scratch);
    EXPECT_EQ(item.UncompressedSize(), size);
    EXPECT_EQ(item.CompressionMethod(), 8);
    Bytes data(static_cast<std::size_t>(item.CompressedSize()));
    scratch.SetPosition(0);
    scratch.ReadBuffer(data.data(), data.size());
    ziptest::ZipWriter w(dir / "big.zip");
    w.add(item, data);
    w.finish();
    ::unlink(big.c_str());
    if (!testsupport::haveTool("unzip")) GTEST_SKIP() << "unzip not installed";
    int st = -1;
    const std::string out = testsupport::runOutput("unzip -t " + dir / "big.zip" + " 2>&1", &st);
    EXPECT_EQ(st, 0) << out;
    EXPECT_NE(out.find("No errors detected"), std::string::npos) << out;
}

} // namespace
