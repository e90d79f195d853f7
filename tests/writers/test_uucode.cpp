// The text encoder component: usage errors, progress, names taken from
// "begin" lines, consent before replacing, and what a failed run leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "archive/writers/UUCode.h"
#include "tests/support/TempDir.h"
#include "tests/writers/TextCodec.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
using texttest::Bytes;

namespace {

std::string text(const std::string& path) {
    auto v = readFile(path);
    return std::string(v.begin(), v.end());
}

std::set<std::string> entries(const std::string& dir) {
    std::set<std::string> s;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        s.insert(fs::relative(e.path(), dir).string());
    return s;
}

class UUCodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedMask_ = umask(022);
        fs::create_directories(in);
    }
    void TearDown() override { umask(savedMask_); }

    // Decodes `body` saved as in/<file> with a fresh component.
    bool decode(const std::string& body, TAlgorithm a = uudecode,
                const std::string& file = "t.uue") {
        writeFile(in + "/" + file, body);
        uu.Algorithm = a;
        uu.InputFile = in + "/" + file;
        return uu.Execute();
    }

    TempDir tmp;
    const std::string in = tmp / "in";
    TUUCode uu;

private:
    mode_t savedMask_ = 022;
};

} // namespace

TEST_F(UUCodeTest, UsageErrorsWriteNothing) {
    const auto before = entries(tmp.path());
    try {
        uu.Algorithm = uuencode;
        uu.Execute();
        FAIL();
    } catch (const EUUCode& e) {
        EXPECT_STREQ(e.what(), "InputFileName is empty");
    }
    writeFile(in + "/a", std::string("abc"));
    uu.InputFile = in + "/a";
    for (TAlgorithm a : {filecopy, uuencode, xxencode, base64encode}) {
        uu.Algorithm = a;
        try {
            uu.Execute();
            FAIL() << a;
        } catch (const EUUCode& e) {
            EXPECT_STREQ(e.what(), "OutputFileName is empty");
        }
    }
    uu.Algorithm = base64decode;
    uu.Headers = false;
    EXPECT_THROW(uu.Execute(), EUUCode) << "without headers the caller names the output";
    EXPECT_EQ(entries(tmp.path()).size(), before.size() + 1);
}

TEST_F(UUCodeTest, EncodesWithLineFeedsByDefaultAndCrlfOnRequest) {
    writeFile(in + "/Cats", std::string("Cats"));
    uu.InputFile = in + "/Cats";
    uu.OutputFile = tmp / "cats.xxe";
    uu.Algorithm = xxencode;
    EXPECT_EQ(uu.FileMode, 644);
    EXPECT_TRUE(uu.Execute());
    EXPECT_EQ(text(tmp / "cats.xxe"), "begin 0644 Cats\n2Eq3oQk\n+\nend\n");
    uu.UnixCRLF = CRLF;
    uu.FileMode = 755;
    uu.Headers = false;
    uu.Algorithm = base64encode;
    EXPECT_TRUE(uu.Execute());
    EXPECT_EQ(text(tmp / "cats.xxe"), "Q2F0cw==\r\n\r\n");
    struct stat st;
    ASSERT_EQ(stat((tmp / "cats.xxe").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "a new text gets the usual permissions";
}

TEST_F(UUCodeTest, ActiveRunsOnceAndReadsFalseAfterwards) {
    writeFile(in + "/a", texttest::randomBytes(100000, 5));
    uu.InputFile = in + "/a";
    uu.OutputFile = tmp / "a.uue";
    uu.Algorithm = uuencode;
    int runs = 0;
    uu.OnProgress = [&](TObject* sender, std::uint16_t p) {
        EXPECT_EQ(sender, &uu);
        EXPECT_TRUE(uu.Active());
        if (p == 0) ++runs;
        uu.SetActive(true); // ignored while running
    };
    uu.SetActive(true);
    EXPECT_FALSE(uu.Active());
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(fs::exists(tmp / "a.uue"));
}

TEST_F(UUCodeTest, ProgressReportsEveryPercentOnceEndingWithHundred) {
    const Bytes data = texttest::randomBytes(1 << 20, 9);
    writeFile(in + "/big", data);
    for (TAlgorithm a : {uuencode, base64encode, filecopy}) {
        std::vector<int> seen;
        uu.OnProgress = [&](TObject*, std::uint16_t p) { seen.push_back(p); };
        uu.Algorithm = a;
        uu.InputFile = in + "/big";
        uu.OutputFile = tmp / "big.txt";
        ASSERT_TRUE(uu.Execute());
        std::vector<int> all(101);
        for (int i = 0; i <= 100; ++i) all[static_cast<std::size_t>(i)] = i;
        EXPECT_EQ(seen, all) << a;

        if (a == filecopy) break;
        seen.clear();
        uu.Algorithm = a == uuencode ? uudecode : base64decode;
        uu.InputFile = tmp / "big.txt";
        uu.OutputDir = tmp / "out";
        fs::create_directories(uu.OutputDir);
        ASSERT_TRUE(uu.Execute());
        EXPECT_EQ(seen, all) << a;
        EXPECT_EQ(readFile(tmp / "out/big"), data);
        fs::remove(tmp / "out/big");
    }
}

TEST_F(UUCodeTest, DecodesIntoTheInputFolderOrOutputDir) {
    EXPECT_TRUE(decode("begin 644 abc.txt\n#86)C\n`\nend\n"));
    EXPECT_EQ(uu.OutputFile, in + "/abc.txt");
    EXPECT_EQ(text(in + "/abc.txt"), "abc");
    uu.OutputDir = tmp.path();
    EXPECT_TRUE(decode("begin-base64 644 b.txt\nYWJj\n====\n", base64decode));
    EXPECT_EQ(uu.OutputFile, tmp / "b.txt");
    EXPECT_EQ(text(tmp / "b.txt"), "abc");
}

TEST_F(UUCodeTest, NamesFromBeginLinesStayInsideTheFolder) {
    const struct {
        const char* name;
        const char* lands;
    } cases[] = {
        {"../../.bashrc", ".bashrc"}, {"/etc/passwd", "passwd"}, {"C:\\TEMP\\x.txt", "x.txt"},
        {"..\\..\\evil", "evil"},     {"sub/../../z", "z"},      {"\"../quoted\"", "quoted"},
        {"~/.profile", ".profile"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(decode(std::string("begin 644 ") + c.name + "\n!80\n`\nend\n")) << c.name;
        EXPECT_EQ(uu.OutputFile, in + "/" + c.lands);
        EXPECT_EQ(text(in + "/" + c.lands), "a");
    }
    EXPECT_EQ(entries(tmp.path()).count(".bashrc"), 0u);
    EXPECT_EQ(entries(tmp.path()).count("evil"), 0u);

    const auto before = entries(tmp.path());
    for (const char* bad : {"..", ".", "dir/", "a\tb", "x/..", ""}) {
        try {
            decode(std::string("begin 644 ") + bad + "\n!80\n`\nend\n", uudecode, "bad.uue");
            FAIL() << bad;
        } catch (const EUUCode& e) {
            EXPECT_TRUE(std::string(e.what()) == "Invalid file name in the begin line" ||
                        std::string(e.what()) == "OutputFileName is empty")
                << e.what();
        }
    }
    EXPECT_EQ(entries(tmp.path()).size(), before.size() + 1) << "only bad.uue is new";
}

TEST_F(UUCodeTest, ExistingFilesNeedConsent) {
    writeFile(in + "/keep.txt", std::string("old"));
    // A name from a "begin" line: kept unless a handler agrees.
    EXPECT_FALSE(decode("begin 644 keep.txt\n!80\n`\nend\n"));
    EXPECT_EQ(text(in + "/keep.txt"), "old");
    std::vector<std::string> asked;
    bool answer = false;
    uu.OnFileExists = [&](TObject*, const std::string& fn, TDateTime date, bool& accept) {
        asked.push_back(fn + (accept ? " yes" : " no"));
        EXPECT_GT(date, 40000.0);
        accept = answer;
    };
    EXPECT_FALSE(decode("begin 644 keep.txt\n!80\n`\nend\n"));
    EXPECT_EQ(text(in + "/keep.txt"), "old");
    answer = true;
    EXPECT_TRUE(decode("begin 644 keep.txt\n!80\n`\nend\n"));
    EXPECT_EQ(text(in + "/keep.txt"), "a");
    EXPECT_EQ(asked, (std::vector<std::string>{in + "/keep.txt no", in + "/keep.txt no"}));

    // A name the caller chose: replaced unless the handler declines.
    asked.clear();
    answer = false;
    uu.Algorithm = uuencode;
    uu.InputFile = in + "/keep.txt";
    uu.OutputFile = in + "/t.uue";
    const std::string before = text(in + "/t.uue");
    EXPECT_FALSE(uu.Execute());
    EXPECT_EQ(text(in + "/t.uue"), before);
    EXPECT_EQ(asked, (std::vector<std::string>{in + "/t.uue yes"}));
    uu.OnFileExists = nullptr;
    EXPECT_TRUE(uu.Execute());
    EXPECT_EQ(text(in + "/t.uue"), "begin 0644 keep.txt\n!80\n`\nend\n");
}

TEST_F(UUCodeTest, ASymlinkInTheWayIsReplacedNotFollowed) {
    writeFile(tmp / "outside", std::string("precious"));
    fs::create_symlink(tmp / "outside", in + "/link");
    uu.OnFileExists = [](TObject*, const std::string&, TDateTime, bool& accept) { accept = true; };
    EXPECT_TRUE(decode("begin 644 link\n!80\n`\nend\n"));
    EXPECT_EQ(text(tmp / "outside"), "precious");
    EXPECT_FALSE(fs::is_symlink(in + "/link"));
    EXPECT_EQ(text(in + "/link"), "a");
}

TEST_F(UUCodeTest, AFailedRunLeavesTheOldFileAndNoPartialOne) {
    writeFile(in + "/target", std::string("old contents"));
    uu.OnFileExists = [](TObject*, const std::string&, TDateTime, bool& accept) { accept = true; };
    std::string body = texttest::encode(texttest::randomBytes(500000, 2), uucodec::Scheme::UU, true,
                                        false, 644, "target");
    const auto before = entries(tmp.path());
    std::string damaged = body;
    damaged[damaged.find('\n', damaged.size() / 2) + 3] = 'a'; // not a uuencode character
    const std::string cut = body.substr(0, body.size() - 200);
    for (const std::string& t : {damaged, cut}) {
        EXPECT_THROW(decode(t, uudecode, "t.uue"), EUUCode);
        EXPECT_EQ(text(in + "/target"), "old contents");
        EXPECT_EQ(entries(tmp.path()).size(), before.size() + 1) << "no temporary file is left";
    }
    EXPECT_TRUE(decode(body, uudecode, "t.uue"));
    EXPECT_NE(text(in + "/target"), "old contents");
}

TEST_F(UUCodeTest, PermissionsFollowTheBeginLineWithinTheMask) {
    const struct {
        const char* mode;
        unsigned perms;
    } cases[] = {{"755", 0755}, {"0600", 0600}, {"4777", 0755}, {"666", 0644}, {"rw-", 0644}};
    for (const auto& c : cases) {
        EXPECT_TRUE(decode(std::string("begin ") + c.mode + " m\n`\nend\n")) << c.mode;
        struct stat st;
        ASSERT_EQ(stat((in + "/m").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.perms) << c.mode;
        fs::remove(in + "/m");
    }
}

TEST_F(UUCodeTest, FileErrorsNameTheFile) {
    uu.Algorithm = base64encode;
    uu.InputFile = tmp / "missing";
    uu.OutputFile = tmp / "x.b64";
    try {
        uu.Execute();
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 25134);
        EXPECT_STREQ(e.what(), "Error opening file");
        EXPECT_EQ(e.FileName, tmp / "missing");
    }
    writeFile(in + "/a", std::string("a"));
    uu.InputFile = in + "/a";
    uu.OutputFile = tmp / "no/such/dir/x.b64";
    try {
        uu.Execute();
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 25134);
        EXPECT_EQ(e.FileName, tmp / "no/such/dir/x.b64");
    }
    fs::create_directories(in + "/d");
    uu.OnFileExists = [](TObject*, const std::string&, TDateTime, bool& accept) { accept = true; };
    try {
        decode("begin 644 d\n`\nend\n");
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 25105) << "a folder is never replaced";
    }
}

TEST_F(UUCodeTest, FileCopyAndHeaderlessDecodingUseOutputFile) {
    const Bytes data = texttest::randomBytes(70000, 4);
    writeFile(in + "/src", data);
    uu.Algorithm = filecopy;
    uu.InputFile = in + "/src";
    uu.OutputFile = tmp / "copy";
    EXPECT_TRUE(uu.Execute());
    EXPECT_EQ(readFile(tmp / "copy"), data);

    writeFile(in + "/bare.txt", texttest::encode(data, uucodec::Scheme::XX, false, true));
    uu.Algorithm = xxdecode;
    uu.Headers = false;
    uu.InputFile = in + "/bare.txt";
    uu.OutputFile = tmp / "bare.bin";
    EXPECT_TRUE(uu.Execute());
    EXPECT_EQ(readFile(tmp / "bare.bin"), data);
}
