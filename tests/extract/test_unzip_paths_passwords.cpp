// Target paths that stay inside ExtractDir whatever the stored names say,
// and the password rules of traditional encryption.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "archive/extract/UnZIP.h"
#include "archive/extract/ZipCrypto.h"
#include "tests/support/ExtractFixture.h"
#include "tests/support/ZipBuilder.h"

using namespace ziptest;
namespace fs = std::filesystem;

using UnZipPaths = ExtractFixture;
using UnZipPasswords = ExtractFixture;

namespace {

// Every regular file below root, relative to it.
std::vector<std::string> filesBelow(const std::string& root) {
    std::vector<std::string> v;
    if (!fs::exists(root)) return v;
    for (auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) v.push_back(fs::relative(e.path(), root).string());
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

TEST(MakeFileName, BuildsTargetsUnderExtractDir) {
    TUnZIP z;
    z.SetExtractDir("/t/out");
    EXPECT_EQ(z.ExtractDir(), "/t/out/");
    struct Case {
        const char* stored;
        const char* target;
    } cases[] = {
        {"A.TXT", "/t/out/A.TXT"},
        {"DATA\\A.TXT", "/t/out/DATA/A.TXT"},
        {"C:\\DATA\\A.TXT", "/t/out/DATA/A.TXT"},
        {"C:DATA\\A.TXT", "/t/out/DATA/A.TXT"},
        {"\\DATA\\A.TXT", "/t/out/DATA/A.TXT"},
        {"/etc/passwd", "/t/out/etc/passwd"},
        {"../../evil", "/t/out/evil"},
        {"a/../../b/./c", "/t/out/a/b/c"},
        {"..\\..\\x", "/t/out/x"},
        {"//server/share/f", "/t/out/server/share/f"},
        {"not:a:drive", "/t/out/not:a:drive"},
        {"..", "/t/out/"},
        {"a/.", "/t/out/a/"},
    };
    for (const auto& c : cases) {
        z.MakeFileName(c.stored);
        EXPECT_EQ(z.FileName, c.target) << c.stored;
    }
    z.UseStoredDirs = false;
    z.MakeFileName("../deep/er/A.TXT");
    EXPECT_EQ(z.FileName, "/t/out/A.TXT");
}

TEST(MakeFileName, EmptyExtractDirTakesArchiveFolderOrCurrentDir) {
    TUnZIP z;
    z.SetExtractDir("");
    EXPECT_EQ(z.ExtractDir(), "");
    z.MakeFileName("A");
    char buf[4096];
    ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
    EXPECT_EQ(z.FileName, std::string(buf) + "/A");
}

TEST_F(UnZipPaths, HostileNamesNeverLeaveExtractDir) {
    Builder b;
    b.add(stored("../../evil", "1"));
    b.add(stored("/etc/x", "2"));
    b.add(stored("C:\\x", "3"));
    b.add(stored("..", "4"));
    b.add(stored("ok/../../../y", "5"));
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.Extract();
    EXPECT_EQ(z.StopCode, 0);
    std::vector<std::string> want = {"etc/x", "evil", "ok/y", "x"};
    EXPECT_EQ(filesBelow(out), want);
    // Nothing appeared beside the target folder.
    for (auto& e : fs::directory_iterator(tmp.path())) {
        if (e.path().filename() != "out") {
            EXPECT_EQ(e.path().filename().string(), "a.zip");
        }
    }
    EXPECT_EQ(slurp("evil"), "1");
    // ".." has nothing left to name: refused on its own, the walk goes on.
    EXPECT_EQ(std::count(errors.begin(), errors.end(), err::InvalidFileName), 1);
}

TEST_F(UnZipPaths, PlantedSymlinksAreNotFollowed) {
    fs::create_directories(out);
    fs::create_directories(tmp / "elsewhere");
    fs::create_directory_symlink(tmp / "elsewhere", out + "/link");
    testsupport::writeFile(tmp / "target.txt", std::string("precious"));
    fs::create_symlink(tmp / "target.txt", out + "/file");
    Builder b;
    b.add(stored("link/x.txt", "through the link"));
    b.add(stored("file", "replaces the link"));
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.Extract();
    EXPECT_TRUE(fs::is_empty(tmp / "elsewhere"));
    EXPECT_EQ(testsupport::readFile(tmp / "target.txt").size(), 8u);
    EXPECT_FALSE(fs::is_symlink(out + "/file"));
    EXPECT_EQ(slurp("file"), "replaces the link");
    EXPECT_EQ(std::count(errors.begin(), errors.end(), err::InvalidFileName), 1);
}

TEST_F(UnZipPasswords, ListedPasswordIsFoundAndRemembered) {
    Builder b;
    Member a = stored("A.TXT", "secret a");
    a.password = "right";
    Member c = stored("C.TXT", "secret c");
    c.password = "right";
    b.add(a);
    b.add(c);
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.Passwords.Add("wrong");
    z.Passwords.Add("right");
    int asked = 0;
    z.OnGetPassword = [&](TObject*, const std::string&, std::string&, bool&) { ++asked; };
    z.Extract();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(slurp("A.TXT"), "secret a");
    EXPECT_EQ(slurp("C.TXT"), "secret c");
    EXPECT_TRUE(errors.empty());
}

TEST_F(UnZipPasswords, AskedPasswordRetriesAndGoesFirstInList) {
    Builder b;
    Member a = stored("A.TXT", "secret");
    a.password = "pw";
    b.add(a);
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.Passwords.Add("other");
    std::vector<std::string> answers = {"bad", "pw"};
    std::size_t k = 0;
    z.OnGetPassword = [&](TObject*, const std::string& fn, std::string& pw, bool& again) {
        EXPECT_TRUE(again);
        log.push_back("password " + rel(fn));
        pw = answers[k++];
    };
    z.Extract();
    std::vector<std::string> want = {"activate",          "begin A.TXT 1",  "password A.TXT",
                                     "error 26517 A.TXT", "password A.TXT", "end A.TXT pass",
                                     "deactivate"};
    EXPECT_EQ(log, want);
    ASSERT_EQ(z.Passwords.Count(), 2);
    EXPECT_EQ(z.Passwords[0], "pw");
}

TEST_F(UnZipPasswords, GivingUpIsPasswordFailedAndNoHandlerIsEventNotAssigned) {
    Builder b;
    Member a = stored("A.TXT", "secret");
    a.password = "pw";
    b.add(a);
    b.add(stored("B.TXT", "plain"));
    std::string arc = write(b.finish());
    {
        TUnZIP z;
        prepare(z, arc);
        z.OnGetPassword = [](TObject*, const std::string&, std::string&, bool& again) {
            again = false;
        };
        z.Extract();
        EXPECT_EQ(z.StopCode, err::PasswordFailed);
        EXPECT_EQ(errors, std::vector<int>{err::PasswordFailed});
        EXPECT_FALSE(fs::exists(out + "/B.TXT"));
    }
    errors.clear();
    {
        TUnZIP z;
        prepare(z, arc);
        z.Extract();
        EXPECT_EQ(z.StopCode, err::EventNotAssigned);
        EXPECT_EQ(errors, std::vector<int>{err::EventNotAssigned});
    }
}

TEST_F(UnZipPasswords, DataDescriptorMembersCheckAgainstTheTime) {
    Builder b;
    Member a = stored("A.TXT", "described later");
    a.password = "pw";
    a.flags = 8;
    a.time = 0xA55A;
    b.add(a);
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.Passwords.Add("pw");
    z.Extract();
    EXPECT_EQ(slurp("A.TXT"), "described later");
}

// A wrong password can pass the one-byte check; the data then fails, and
// the password is treated as wrong: the owner is asked again.
TEST_F(UnZipPasswords, APasswordThatPassesTheCheckByteButFailsTheDataIsWrong) {
    Member a = stored("A.TXT", std::string(200, 'q'));
    a.method = 8; // decoding the garbage as Deflate fails
    a.password = "pw";
    std::string fake;
    for (int i = 0; i < 100000 && fake.empty(); ++i) {
        std::string cand = "x" + std::to_string(i);
        Builder probe;
        probe.add(a);
        auto bytes = probe.finish();
        std::uint8_t hdr[12];
        std::copy(bytes.begin() + 30 + 5, bytes.begin() + 30 + 5 + 12, hdr);
        ZipDecrypter d;
        if (d.tryPassword(cand, hdr, static_cast<std::uint8_t>(a.crc >> 24))) fake = cand;
    }
    ASSERT_FALSE(fake.empty());
    a.method = 0;
    a.data.assign(200, 'q');
    Builder b;
    b.add(a);
    b.add(stored("B.TXT", "plain"));
    const std::string arc = write(b.finish());

    for (const bool giveUp : {false, true}) {
        SCOPED_TRACE(giveUp);
        log.clear();
        errors.clear();
        fs::remove_all(out);
        TUnZIP z;
        prepare(z, arc);
        z.Passwords.Add(fake);
        int asked = 0;
        z.OnGetPassword = [&](TObject*, const std::string&, std::string& pw, bool& again) {
            ++asked;
            if (giveUp)
                again = false;
            else
                pw = "pw";
        };
        z.Extract();
        EXPECT_EQ(asked, 1);
        if (giveUp) {
            EXPECT_EQ(z.StopCode, err::PasswordFailed);
            EXPECT_FALSE(fs::exists(out + "/A.TXT")) << "garbage is not left behind";
        } else {
            EXPECT_EQ(z.StopCode, 0);
            EXPECT_EQ(slurp("A.TXT"), std::string(200, 'q'));
            EXPECT_EQ(slurp("B.TXT"), "plain");
        }
    }
}

TEST(UnBaseProperties, DefaultsAndLoadedFileSpec) {
    TUnZIP z;
    EXPECT_EQ(z.FileSpec(), "*.*");
    EXPECT_TRUE(z.UseStoredDirs);
    EXPECT_EQ(z.ProgressNotify, Ten);
    EXPECT_EQ(z.SetDateTo, OrigDate);
    z.SetFileSpec("");
    EXPECT_EQ(z.FileSpec(), "");
    z.Loaded();
    EXPECT_EQ(z.FileSpec(), "*.*");
    z.SetFileSpec("a\\b/*.txt");
    EXPECT_EQ(z.FileSpec(), "a/b/*.txt");
}
