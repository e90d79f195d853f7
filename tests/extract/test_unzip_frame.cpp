// The member loop of the ZIP extractor on hand-built archives: selection,
// events and their order, error semantics, passwords, paths, attributes.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "archive/extract/UnZIP.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"
#include "tests/support/ExtractFixture.h"
#include "tests/support/ZipBuilder.h"

using namespace ziptest;
namespace fs = std::filesystem;

using UnZipFrame = ExtractFixture;

TEST_F(UnZipFrame, ExtractsStoredMembersWithFoldersInOrder) {
    Builder b;
    b.add(stored("A.TXT", "alpha"));
    b.add(stored("DOCS/B.TXT", "bravo"));
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.Extract();
    EXPECT_EQ(z.StopCode, 0);
    EXPECT_EQ(slurp("A.TXT"), "alpha");
    EXPECT_EQ(slurp("DOCS/B.TXT"), "bravo");
    std::vector<std::string> want = {"activate",           "begin A.TXT 1",       "end A.TXT pass",
                                     "begin DOCS/B.TXT 2", "end DOCS/B.TXT pass", "deactivate"};
    EXPECT_EQ(log, want);
}

TEST_F(UnZipFrame, BackslashNamesAndUseStoredDirsOff) {
    Builder b;
    b.add(stored("X\\ONE.TXT", "1"));
    b.add(stored("Y/ONE.TXT", "2"));
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.UseStoredDirs = false;
    z.Extract();
    // Both land in ExtractDir; the second overwrites the first after asking.
    EXPECT_EQ(slurp("ONE.TXT"), "2");
    EXPECT_NE(std::find(log.begin(), log.end(), "exists ONE.TXT"), log.end());
    EXPECT_FALSE(fs::exists(out + "/X"));
}

TEST_F(UnZipFrame, DeclinedMembersGetPassingEndAndNoFile) {
    Builder b;
    b.add(stored("A.TXT", "alpha"));
    b.add(stored("B.TXT", "bravo"));
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.OnBegin = [this](TObject*, const std::string& fn, int, bool& extract) {
        log.push_back("begin " + rel(fn));
        extract = rel(fn) != "A.TXT";
    };
    z.Extract();
    EXPECT_FALSE(fs::exists(out + "/A.TXT"));
    EXPECT_EQ(slurp("B.TXT"), "bravo");
    EXPECT_EQ(log[1], "begin A.TXT");
    EXPECT_EQ(log[2], "end A.TXT pass");
}

TEST_F(UnZipFrame, ExistingFileDeclinedKeepsItAndAllDeclinedIsNothingToDo) {
    Builder b;
    b.add(stored("A.TXT", "new"));
    std::string arc = write(b.finish());
    fs::create_directories(out);
    testsupport::writeFile(out + "/A.TXT", std::string("old"));
    TUnZIP z;
    prepare(z, arc);
    acceptExisting = false;
    z.Extract();
    EXPECT_EQ(slurp("A.TXT"), "old");
    std::vector<std::string> want = {"activate", "exists A.TXT", "end A.TXT pass",
                                     "error 26999 a.zip", "deactivate"};
    EXPECT_EQ(log, want);
    EXPECT_EQ(z.StopCode, err::NothingToDo);
}

TEST_F(UnZipFrame, NoMatchIsNothingToDoAfterActivate) {
    Builder b;
    b.add(stored("A.TXT", "x"));
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.SetFileSpec("*.DOC");
    z.Extract();
    std::vector<std::string> want = {"activate", "error 26999 a.zip", "deactivate"};
    EXPECT_EQ(log, want);
}

TEST_F(UnZipFrame, EmptyArchiveIsNothingToDo) {
    Builder b;
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.Extract();
    std::vector<std::string> want = {"activate", "error 26999 a.zip", "deactivate"};
    EXPECT_EQ(log, want);
}

TEST_F(UnZipFrame, EndRecordBehindALongCommentIsFound) {
    Builder b;
    b.add(stored("A.TXT", "x"));
    TUnZIP z;
    prepare(z, write(b.finish(std::string(40000, 'c'))));
    z.Extract();
    EXPECT_EQ(log.front(), "activate");
    EXPECT_EQ(std::count(log.begin(), log.end(), "end A.TXT pass"), 1)
        << ::testing::PrintToString(log);
}

TEST_F(UnZipFrame, PlainSpecStopsAfterFirstMatchWildcardsAreCaseInsensitive) {
    Builder b;
    b.add(stored("D/A.TXT", "1"));
    b.add(stored("D/A.TXT", "2"));
    b.add(stored("B.txt", "3"));
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.SetFileSpec("d\\a.txt");
    z.Extract();
    EXPECT_EQ(slurp("D/A.TXT"), "1");
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](auto& s) { return s.rfind("end", 0) == 0; }),
              1);

    log.clear();
    z.SetFileSpec("*.TXT");
    z.Extract();
    EXPECT_EQ(slurp("B.txt"), "3");
}

TEST_F(UnZipFrame, ErrorsBeforeOpeningHaveNoActivateOrDeactivate) {
    TUnZIP z;
    prepare(z, write({'n', 'o', 't', ' ', 'z', 'i', 'p', '!'}));
    z.Extract();
    std::vector<std::string> want = {"error 25139 a.zip"};
    EXPECT_EQ(log, want);

    errors.clear();
    TUnZIP e;
    e.OnError = [this](TObject*, const std::string&, const std::string&, int code) {
        errors.push_back(code);
    };
    e.Extract();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], err::InvalidFileName);
}

TEST_F(UnZipFrame, DirectoryErrorsAreFatalAndFollowedByDeactivate) {
    // A local header signature but no end record.
    std::vector<std::uint8_t> junk(64, 0x11);
    const std::uint8_t signature[] = {'P', 'K', 3, 4};
    std::copy(std::begin(signature), std::end(signature), junk.begin());
    TUnZIP z;
    prepare(z, write(junk));
    ASSERT_EQ(z.ArcType(), atZIP);
    z.Extract();
    std::vector<std::string> want = {"error 25202 a.zip", "deactivate"};
    EXPECT_EQ(log, want);

    // An end record whose directory offset points at nothing.
    Builder b;
    b.add(stored("A.TXT", "alpha"));
    auto bytes = b.finish();
    bytes[bytes.size() - 6] ^= 0x40;
    log.clear();
    TUnZIP y;
    prepare(y, write(bytes, "b.zip"));
    y.Extract();
    want = {"error 25137 b.zip", "deactivate"};
    EXPECT_EQ(log, want);
}

TEST_F(UnZipFrame, BadLocalHeaderIsFatalWithOnError) {
    Builder b;
    b.add(stored("A.TXT", "alpha"));
    b.add(stored("B.TXT", "bravo"));
    auto bytes = b.finish();
    std::size_t second = 30 + 5 + 5;
    bytes[second] = 'X';
    TUnZIP z;
    prepare(z, write(bytes));
    z.Extract();
    EXPECT_EQ(z.StopCode, err::InconsistentLocalHeader);
    std::vector<std::string> want = {"activate", "begin A.TXT 1", "end A.TXT pass",
                                     "error 25145 B.TXT", "deactivate"};
    EXPECT_EQ(log, want);
}

TEST_F(UnZipFrame, UnsupportedMethodStopsWithoutOnErrorAndWithoutFile) {
    Builder b;
    b.add(stored("A.TXT", "alpha"));
    Member t = stored("T.TXT", "token");
    t.method = 7;
    b.add(t);
    b.add(stored("C.TXT", "charlie"));
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.Extract();
    EXPECT_EQ(z.StopCode, err::UnsupportedMethod);
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(fs::exists(out + "/T.TXT"));
    EXPECT_FALSE(fs::exists(out + "/C.TXT"));
    EXPECT_EQ(log.back(), "deactivate");
    EXPECT_EQ(log[log.size() - 2], "begin T.TXT 2");
}

TEST_F(UnZipFrame, CrcMismatchWithoutOnEndReportsAndGoesOn) {
    Builder b;
    Member bad = stored("BAD.TXT", "damaged");
    bad.crc ^= 1;
    b.add(bad);
    b.add(stored("OK.TXT", "fine"));
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.OnEnd = nullptr;
    z.Extract();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], err::CrcError);
    // The damaged file stays; the walk went on.
    EXPECT_EQ(slurp("BAD.TXT"), "damaged");
    EXPECT_EQ(slurp("OK.TXT"), "fine");
}

TEST_F(UnZipFrame, CancelInOnEndStopsBeforeNextMember) {
    Builder b;
    b.add(stored("A.TXT", "a"));
    b.add(stored("B.TXT", "b"));
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.OnEnd = [&](TObject*, const std::string& fn, bool) {
        log.push_back("end " + rel(fn));
        z.SetCancel(true);
    };
    z.Extract();
    std::vector<std::string> want = {"activate", "begin A.TXT 1", "end A.TXT", "deactivate"};
    EXPECT_EQ(log, want);
    EXPECT_FALSE(fs::exists(out + "/B.TXT"));
}

TEST_F(UnZipFrame, ProgressStepsAndEmptyMembers) {
    Builder b;
    b.add(stored("EMPTY", ""));
    b.add(stored("BIG", std::string(100000, 'x')));
    TUnZIP z;
    prepare(z, write(b.finish()));
    std::vector<int> seen;
    z.OnProgress = [&](TObject*, const std::string& fn, std::uint8_t p) {
        EXPECT_EQ(rel(fn), "BIG");
        seen.push_back(p);
    };
    z.ProgressNotify = TwentyFive;
    z.Extract();
    // The copier reports every change, one 32 KB block at a time.
    std::vector<int> want = {32, 65, 98, 100};
    EXPECT_EQ(seen, want);
}

TEST_F(UnZipFrame, TimeStampsAndAttributes) {
    Builder b;
    Member ro = stored("RO.TXT", "read only");
    ro.external = 0x21;
    ro.time = (13 << 11) | (45 << 5) | 10; // 13:45:20
    ro.date = ((2001 - 1980) << 9) | (2 << 5) | 3;
    b.add(ro);
    Member ux = stored("UX.SH", "#!/bin/sh\n");
    ux.madeBy = 0x031E;
    ux.external = (0104755u << 16); // setuid must not survive
    b.add(ux);
    Member link = stored("LINK", "UX.SH");
    link.madeBy = 0x031E;
    link.external = 0120777u << 16;
    b.add(link);
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.Extract();
    struct stat st;
    ASSERT_EQ(stat((out + "/RO.TXT").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IWUSR, 0u);
    EXPECT_EQ(st.st_mtime, plat::dosToUnix(static_cast<std::uint32_t>(ro.date) << 16 | ro.time));
    ASSERT_EQ(stat((out + "/UX.SH").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    // A member with the link mode becomes a symbolic link to its data.
    ASSERT_EQ(lstat((out + "/LINK").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(fs::read_symlink(out + "/LINK").string(), "UX.SH");

    // A read-only file from an earlier run is replaced, not refused.
    log.clear();
    z.Extract();
    EXPECT_EQ(z.StopCode, 0);
    EXPECT_EQ(slurp("RO.TXT"), "read only");
}

TEST_F(UnZipFrame, CurDateLeavesTimeOfWriting) {
    Builder b;
    b.add(stored("A.TXT", "a"));
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.SetDateTo = CurDate;
    z.Extract();
    struct stat st;
    ASSERT_EQ(stat((out + "/A.TXT").c_str(), &st), 0);
    EXPECT_GT(st.st_mtime, plat::dosToUnix(0x5A216000));
}

TEST_F(UnZipFrame, TestOnlyWritesNothing) {
    Builder b;
    b.add(stored("D/A.TXT", "a"));
    Member bad = stored("B.TXT", "b");
    bad.crc ^= 0x100;
    b.add(bad);
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.TestOnly = true;
    z.Extract();
    EXPECT_FALSE(fs::exists(out));
    EXPECT_NE(std::find(log.begin(), log.end(), "end D/A.TXT pass"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "end B.TXT fail"), log.end());
}

TEST_F(UnZipFrame, Zip64ExtraFieldGivesSizesAndOffset) {
    Builder b;
    b.add(stored("A.TXT", "first"));
    Member big = stored("B.TXT", "sizes in the extra field");
    big.zip64 = true;
    b.add(big);
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.Extract();
    EXPECT_EQ(z.StopCode, 0);
    EXPECT_EQ(slurp("B.TXT"), "sizes in the extra field");
}

TEST_F(UnZipFrame, DecoderErrorKeepsThePartlyWrittenFileClosedAndStamped) {
    Builder b;
    Member bad = stored("BAD.BIN", "");
    bad.method = 8;
    bad.data = {0xFF, 0xFF, 0xFF, 0xFF}; // final block of the reserved type 3
    bad.unpacked = 100;
    b.add(bad);
    b.add(stored("NEXT.TXT", "never reached"));
    TUnZIP z;
    prepare(z, write(b.finish()));
    z.Extract();
    EXPECT_EQ(z.StopCode, err::BadBlock);
    EXPECT_TRUE(errors.empty()); // decoder errors bypass OnError
    struct stat st;
    ASSERT_EQ(stat((out + "/BAD.BIN").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, plat::dosToUnix(static_cast<std::uint32_t>(bad.date) << 16 | bad.time));
    EXPECT_FALSE(fs::exists(out + "/NEXT.TXT"));
    std::vector<std::string> want = {"activate", "begin BAD.BIN 1", "deactivate"};
    EXPECT_EQ(log, want);
}

TEST_F(UnZipFrame, TruncatedArchiveGivesTheBytesThereAndACrcFailure) {
    Builder b;
    b.add(stored("A.TXT", std::string(5000, 'a')));
    auto bytes = b.finish();
    // Keep the directory but claim more data than the member has.
    std::size_t sizeField = bytes.size() - 22 - (46 + 5) + 20;
    bytes[sizeField + 1] = 0x40; // compressed size 0x4000 + low byte
    TUnZIP z;
    prepare(z, write(bytes));
    z.Extract();
    EXPECT_EQ(z.StopCode, 0);
    EXPECT_NE(std::find(log.begin(), log.end(), "end A.TXT fail"), log.end());
    EXPECT_GE(slurp("A.TXT").size(), 5000u);
}
