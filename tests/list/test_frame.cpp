// The lister frame: ratios, method names, the event order and the errors
// raised before and during the walk.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "archive/list/ArcLister.h"
#include "support/TempDir.h"
#include "test_list_support.h"
#include "tests/support/ZipBuilder.h"

using listtest::list;

namespace {

// Setting ArchiveFile moves the process into the archive's folder, which the
// test then removes; later tests start from a folder that still exists.
struct BackToTempFolder : testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override {
        if (chdir(std::filesystem::temp_directory_path().c_str()) != 0) std::perror("chdir");
    }
};

const bool listenerAdded = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new BackToTempFolder);
    return true;
}();

} // namespace

TEST(CalcRatio, Examples) {
    EXPECT_EQ(CalcRatio(400, 1000), 60);
    EXPECT_EQ(CalcRatio(999, 1000), 1);
    EXPECT_EQ(CalcRatio(600, 500), 0);
    EXPECT_EQ(CalcRatio(1000, 1000), 0);
    EXPECT_EQ(CalcRatio(2500000, 10000000), 75);
    EXPECT_EQ(CalcRatio(0, 0), 0);
    EXPECT_EQ(CalcRatio(0, 1000), 0);
    EXPECT_EQ(CalcRatio(1, 1000), 99);
    EXPECT_EQ(CalcRatio(1000, 0), 0);
}

TEST(CalcRatio, LargeSizesDoNotOverflow) {
    EXPECT_EQ(CalcRatio(1LL << 40, 1LL << 42), 75);
    EXPECT_EQ(CalcRatio(1, INT64_MAX), 100); // the packed size vanishes in the scaling
    EXPECT_EQ(CalcRatio(INT64_MAX - 1, INT64_MAX), 1);
    EXPECT_EQ(CalcRatio(-5, 100), 0);
}

TEST(MethodNames, EveryFamily) {
    EXPECT_EQ(MethodNameOf(atZIP, 8, 0), "DeflateN");
    EXPECT_EQ(MethodNameOf(atZipExe, 8, 2), "DeflateX");
    EXPECT_EQ(MethodNameOf(atZip250, 8, 4), "DeflateF");
    EXPECT_EQ(MethodNameOf(atZip250Exe, 8, 6), "DeflateS");
    EXPECT_EQ(MethodNameOf(atZIP, 8, 7), "DeflateS");
    EXPECT_EQ(MethodNameOf(atZIP, 0), "Stored");
    EXPECT_EQ(MethodNameOf(atZIP, 1), "Shrunk");
    EXPECT_EQ(MethodNameOf(atZIP, 2), "Reduce-1");
    EXPECT_EQ(MethodNameOf(atZIP, 5), "Reduce-4");
    EXPECT_EQ(MethodNameOf(atZIP, 6), "Imploded");
    EXPECT_EQ(MethodNameOf(atZIP, 7), "Tokened");
    EXPECT_EQ(MethodNameOf(atZIP, 9), "Deflate64");
    EXPECT_EQ(MethodNameOf(atZIP, 10), "Unknown");
    EXPECT_EQ(MethodNameOf(atARC, 1), "Stored");
    EXPECT_EQ(MethodNameOf(atARC, 5), "crunched");
    EXPECT_EQ(MethodNameOf(atArcExe, 8), "Crunched");
    EXPECT_EQ(MethodNameOf(atARC, 12), "Pack12");
    EXPECT_EQ(MethodNameOf(atARC, 0), "Unknown");
    EXPECT_EQ(MethodNameOf(atARC, 13), "Unknown");
    EXPECT_EQ(MethodNameOf(atPAK, 3), "RLE");
    EXPECT_EQ(MethodNameOf(atPakExe, 9), "VARIBLE");
    EXPECT_EQ(MethodNameOf(atPAK, 11), "Distill");
    EXPECT_EQ(MethodNameOf(atARJ, 2), "2nd Most");
    EXPECT_EQ(MethodNameOf(atArjExe, 4), "Fastest");
    EXPECT_EQ(MethodNameOf(atBH, 1), "Fused");
    EXPECT_EQ(MethodNameOf(atBHExe, 2), "Deflate");
    EXPECT_EQ(MethodNameOf(atCAB, 1), "MSZIP");
    EXPECT_EQ(MethodNameOf(atCAB, 3487), "LZX");
    EXPECT_EQ(MethodNameOf(atCAB, 5490), "LZX");
    EXPECT_EQ(MethodNameOf(atCAB, 2), "Unknown");
    EXPECT_EQ(MethodNameOf(atGZip, 1), "Compress");
    EXPECT_EQ(MethodNameOf(atGZip, 3), "Lzh");
    EXPECT_EQ(MethodNameOf(atGZip, 8), "Deflate");
    EXPECT_EQ(MethodNameOf(atGZip, 10), "Unknown");
    EXPECT_EQ(MethodNameOf(atHA, 2), "HSC");
    EXPECT_EQ(MethodNameOf(atHA, 14), "Dir");
    EXPECT_EQ(MethodNameOf(atHA, 15), "Special");
    EXPECT_EQ(MethodNameOf(atHA, 7), "Unknown");
    EXPECT_EQ(MethodNameOf(atLHA, '0'), "Stored");
    EXPECT_EQ(MethodNameOf(atLzhExe, '5'), "Frozen-5");
    EXPECT_EQ(MethodNameOf(atRAR, 0x30), "Stored");
    EXPECT_EQ(MethodNameOf(atRarExe, 0x35), "Best");
    EXPECT_EQ(MethodNameOf(atRAR, 0x36), "Unknown");
    EXPECT_EQ(MethodNameOf(atTAR, 0), "Stored");
    EXPECT_EQ(MethodNameOf(atZOO, 2), "Greatest");
}

TEST(ListerFrame, EmptyArchiveNameSucceedsWithoutEvents) {
    TArcLister l;
    bool any = false;
    l.OnActivate = [&](TObject*) { any = true; };
    l.OnRead = [&](TObject*, std::int64_t, int) { any = true; };
    EXPECT_TRUE(l.Activate());
    EXPECT_FALSE(any);
    EXPECT_EQ(l.FileSpec(), "*.*");
}

TEST(ListerFrame, MissingReadEventIsAnError) {
    testsupport::TempDir dir;
    auto zip = ziptest::build({{"a.txt", "hello"}});
    testsupport::writeFile(dir / "a.zip", zip);
    TArcLister l;
    std::vector<int> codes;
    bool deactivated = false;
    l.OnError = [&](TObject*, const std::string&, const std::string&, int c) {
        codes.push_back(c);
    };
    l.OnDeactivate = [&](TObject*) { deactivated = true; };
    l.SetArchiveFile(dir / "a.zip");
    EXPECT_FALSE(l.Activate());
    EXPECT_EQ(codes, std::vector<int>{25170});
    EXPECT_FALSE(deactivated);
}

TEST(ListerFrame, UnknownAndMissingFiles) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "plain.txt", std::string("just some text, not an archive"));
    auto unknown = list(dir / "plain.txt");
    EXPECT_FALSE(unknown.ok);
    EXPECT_EQ(unknown.errors, std::vector<int>{25202});
    EXPECT_EQ(unknown.events, std::vector<std::string>{"error 25202"});

    auto missing = list(dir / "missing.zip");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.errors, std::vector<int>{25137});
}

TEST(ListerFrame, EventOrderAndTotals) {
    testsupport::TempDir dir;
    auto zip = ziptest::build({{"a.txt", "hello"}, {"b.txt", "world!"}});
    testsupport::writeFile(dir / "a.zip", zip);
    auto r = list(dir / "a.zip");
    ASSERT_TRUE(r.ok);
    std::vector<std::string> want = {"activate", "begin", "read",   "end",       "begin",
                                     "read",     "end",   "totals", "deactivate"};
    EXPECT_EQ(r.events, want);
    EXPECT_EQ(r.totals, 2);
    EXPECT_EQ(r.totalPacked, 11);
    EXPECT_EQ(r.totalUnpacked, 11);
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[0].filenum, 1);
    EXPECT_EQ(r.members[1].filenum, 2);
}

TEST(ListerFrame, ActivateTwiceListsAgain) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "a.zip", ziptest::build({{"a.txt", "hello"}}));
    TArcLister l;
    int reads = 0, totals = 0;
    l.OnRead = [&](TObject*, std::int64_t, int) { ++reads; };
    l.OnTotals = [&](TObject*, int n) { totals += n; };
    l.SetArchiveFile(dir / "a.zip");
    EXPECT_TRUE(l.Activate());
    EXPECT_TRUE(l.Activate());
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(totals, 2);
    EXPECT_EQ(l.ReadPos, 0);
    EXPECT_EQ(l.EndLimit, 0);
    EXPECT_EQ(l.HeaderSize, 0);
}
