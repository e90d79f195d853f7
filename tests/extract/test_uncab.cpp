// Cabinet extraction: cabinets made by gcab (stored and MSZIP) extract to
// the files they were made of, with their times; hand-built cabinets for
// placement by folder and offset, reserve areas, methods not decoded,
// checksums, and sets with a file split between two cabinets.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "archive/extract/UnCAB.h"
#include "tests/support/CabBuilder.h"
#include "tests/support/ExtractFixture.h"
#include "tests/support/TreeCompare.h"

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::CabBlock;
using testsupport::CabFile;
using testsupport::CabFolder;
using testsupport::CabSpec;
using testsupport::haveTool;
using testsupport::storedBlock;

namespace {

int sh(const std::string& dir, const std::string& cmd) {
    return testsupport::run("cd '" + dir + "' && (" + cmd + ") >/dev/null 2>&1");
}

class UnCab : public ExtractFixture {
protected:
    std::unique_ptr<TUnBase> extract(const std::string& archive) {
        auto x = extractorFor(archive);
        EXPECT_TRUE(x) << archive;
        if (x) x->Extract();
        return x;
    }
    TUnCAB* cabOf(std::unique_ptr<TUnBase>& x) { return dynamic_cast<TUnCAB*>(x.get()); }

    // A set of two cabinets over one stored folder "aaaaaaaaaa" + 30 b + 10 c;
    // b.txt begins in ONE.CAB and ends in TWO.CAB, across a block split
    // between them.
    void writeSet(std::uint16_t secondSetId = 1234) {
        const std::string a(10, 'a'), b(30, 'b'), c(10, 'c');
        const std::string stream = a + b + c;
        CabSpec one;
        one.next = "two.cab";
        CabFolder f1;
        f1.blocks = {storedBlock(stream.substr(0, 20)), storedBlock(stream.substr(20, 5))};
        f1.blocks[1].uncompressed = 0;
        one.folders = {f1};
        one.files = {{"a.txt", 10, 0, 0}, {"b.txt", 30, 10, cab::kContinuedToNext}};
        CabSpec two;
        two.previous = "one.cab";
        two.index = 1;
        two.setId = secondSetId;
        CabFolder f2;
        f2.blocks = {storedBlock(stream.substr(25, 15)), storedBlock(stream.substr(40, 10))};
        f2.blocks[0].uncompressed = 20;
        two.folders = {f2};
        two.files = {{"b.txt", 30, 10, cab::kContinuedFromPrevious}, {"c.txt", 10, 40, 0}};
        testsupport::writeFile(tmp / "ONE.CAB", makeCab(one));
        testsupport::writeFile(tmp / "TWO.CAB", makeCab(two));
    }
};

std::string randomText(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) s += "word" + std::to_string(rng() % 5000) + (rng() % 9 ? " " : "\n");
    s.resize(n);
    return s;
}

} // namespace

TEST_F(UnCab, GcabStoredAndMszipExtractExactlyWithTimes) {
    if (!haveTool("gcab")) GTEST_SKIP() << "gcab not installed";
    const std::string src = tmp / "src";
    fs::create_directories(src + "/sub/deeper");
    testsupport::writeFile(src + "/big.txt", randomText(300000, 1));
    testsupport::writeFile(src + "/sub/small.txt", std::string("small\n"));
    testsupport::writeFile(src + "/sub/deeper/empty.dat", std::string());
    std::mt19937 rng(5);
    std::string noise(70000, '\0');
    for (char& ch : noise) ch = static_cast<char>(rng());
    testsupport::writeFile(src + "/noise.bin", noise);
    // DOS times have two-second steps.
    ASSERT_EQ(sh(src, "find . -type f -exec touch -d '2020-02-03 04:05:06' {} +"), 0);
    const std::string files = "big.txt sub/small.txt sub/deeper/empty.dat noise.bin";
    ASSERT_EQ(sh(src, "gcab -c ../stored.cab " + files + " && gcab -c -z ../mszip.cab " + files),
              0);
    for (const char* name : {"stored.cab", "mszip.cab"}) {
        SCOPED_TRACE(name);
        fs::remove_all(out);
        log.clear();
        auto x = extract(tmp / name);
        ASSERT_TRUE(x);
        EXPECT_EQ(x->StopCode, 0);
        EXPECT_TRUE(errors.empty());
        for (const auto& d : testsupport::compareTrees(src, out)) ADD_FAILURE() << d;
        for (const auto& line : log) EXPECT_EQ(line.find(" fail"), std::string::npos) << line;
    }
}

TEST_F(UnCab, FilesArePlacedByFolderAndOffsetNotListOrder) {
    CabSpec c;
    c.folders = {{0, {storedBlock("0123456789")}},
                 {0, {storedBlock("ABCDEFGHIJ"), storedBlock("KL")}}};
    c.files = {{"late.txt", 4, 6, 0},
               {"second.txt", 7, 5, 1},
               {"early.txt", 3, 0, 0},
               {"empty.txt", 0, 3, 0},
               {"first.txt", 5, 0, 1}};
    auto x = extract(write(makeCab(c), "order.cab"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(slurp("early.txt"), "012");
    EXPECT_EQ(slurp("late.txt"), "6789");
    EXPECT_EQ(slurp("empty.txt"), "");
    EXPECT_EQ(slurp("first.txt"), "ABCDE");
    EXPECT_EQ(slurp("second.txt"), "FGHIJKL");
    // Times and attributes of the entries.
    struct stat st;
    ASSERT_EQ(stat((out + "/first.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime,
              plat::dosToUnix(static_cast<std::uint32_t>(CabFile{}.date) << 16 | CabFile{}.time));
}

TEST_F(UnCab, FilesSharingFolderBytesAreRefusedBeforeAnythingIsWritten) {
    // Many entries over the same bytes would write them again and again.
    for (const std::uint32_t secondAt : {6u, 7u, 9u}) {
        CabSpec c;
        c.folders = {{0, {storedBlock("0123456789")}}, {0, {storedBlock("ABCDEFGHIJ")}}};
        c.files = {{"a.txt", 10, 0, 1}, {"b.txt", 4, 6, 0}, {"c.txt", 1, secondAt, 0}};
        auto x = extract(write(makeCab(c), "overlap.cab"));
        ASSERT_TRUE(x);
        EXPECT_EQ(x->StopCode, err::BadFileHeader) << secondAt;
        EXPECT_FALSE(fs::exists(out + "/a.txt")) << secondAt;
    }
}

TEST_F(UnCab, ReserveAreasAreSteppedOver) {
    CabSpec c;
    c.headerReserve = 20;
    c.folderReserve = 4;
    c.dataReserve = 8;
    c.folders = {{0, {storedBlock("hello "), storedBlock("world")}}, {0, {storedBlock("two")}}};
    c.files = {{"hw.txt", 11, 0, 0}, {"two.txt", 3, 0, 1}};
    auto x = extract(write(makeCab(c), "reserve.cab"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(slurp("hw.txt"), "hello world");
    EXPECT_EQ(slurp("two.txt"), "two");
}

TEST_F(UnCab, AttributesBecomeModes) {
    CabSpec c;
    c.folders = {{0, {storedBlock("rx")}}};
    c.files = {{"ro.txt", 1, 0, 0, 0x21}, {"run.sh", 1, 1, 0, 0x60}};
    auto x = extract(write(makeCab(c), "attr.cab"));
    ASSERT_TRUE(x);
    struct stat st;
    ASSERT_EQ(stat((out + "/ro.txt").c_str(), &st), 0);
    EXPECT_FALSE(st.st_mode & S_IWUSR);
    ASSERT_EQ(stat((out + "/run.sh").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    fs::permissions(out + "/ro.txt", fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(UnCab, LzxAndQuantumFoldersAreReported) {
    CabSpec c;
    c.folders = {{0x1503, {{Bytes(10, 1), 10}}},
                 {0x1572, {{Bytes(10, 2), 10}}},
                 {0, {storedBlock("plain")}}};
    c.files = {{"lzx.txt", 10, 0, 0}, {"qtm.txt", 10, 0, 1}, {"plain.txt", 5, 0, 2}};
    auto x = extract(write(makeCab(c), "methods.cab"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(errors, (std::vector<int>{err::LzxNotSupported, err::UnsupportedMethod}));
    EXPECT_EQ(slurp("plain.txt"), "plain");
    EXPECT_FALSE(fs::exists(out + "/lzx.txt"));
}

TEST_F(UnCab, ChecksumMismatchFailsTheFilesOfTheBlock) {
    CabSpec c;
    c.folders = {{0, {storedBlock("good"), storedBlock("bad!")}}};
    c.folders[0].blocks[1].badChecksum = true;
    c.files = {{"good.txt", 4, 0, 0}, {"bad.txt", 4, 4, 0}};
    auto x = extract(write(makeCab(c), "sum.cab"));
    ASSERT_TRUE(x);
    EXPECT_EQ(log, (std::vector<std::string>{"activate", "begin good.txt 1", "end good.txt pass",
                                             "begin bad.txt 2", "end bad.txt fail", "deactivate"}));
}

TEST_F(UnCab, MszipDamageStopsWithAnError) {
    CabSpec c;
    c.folders = {{1, {{Bytes{'C', 'K', 0xFF, 0xFF, 0xFF}, 100}}}};
    c.files = {{"x.txt", 100, 0, 0}};
    auto x = extract(write(makeCab(c), "bad.cab"));
    ASSERT_TRUE(x);
    EXPECT_NE(x->StopCode, 0);
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(UnCab, FileSplitBetweenCabinetsIsWrittenOnce) {
    writeSet();
    auto x = extract(tmp / "ONE.CAB");
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(slurp("a.txt"), std::string(10, 'a'));
    EXPECT_EQ(slurp("b.txt"), std::string(30, 'b'));
    EXPECT_EQ(slurp("c.txt"), std::string(10, 'c'));
    EXPECT_EQ(log, (std::vector<std::string>{"activate", "begin a.txt 1", "end a.txt pass",
                                             "begin b.txt 2", "end b.txt pass", "begin c.txt 3",
                                             "end c.txt pass", "deactivate"}));
}

TEST_F(UnCab, SecondCabinetAloneReportsTheSplitFile) {
    writeSet();
    auto x = extract(tmp / "TWO.CAB");
    ASSERT_TRUE(x);
    EXPECT_EQ(errors, (std::vector<int>{err::CabFirstDisk, err::CabFirstDisk}));
    EXPECT_FALSE(fs::exists(out + "/b.txt"));
}

TEST_F(UnCab, MissingNextCabinet) {
    writeSet();
    fs::rename(tmp / "TWO.CAB", tmp / "elsewhere.cab");
    // Without a handler: reported, and the split file fails.
    auto x = extract(tmp / "ONE.CAB");
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(errors, std::vector<int>{err::FileNotFound});
    EXPECT_EQ(log[5], "end b.txt fail");
    // The handler is asked and may bring the cabinet.
    auto y = extractorFor(tmp / "ONE.CAB");
    std::vector<std::string> asked;
    cabOf(y)->OnNextCabinet = [&](TObject*, const std::string& fn, const std::string& disk, bool&) {
        asked.push_back(fs::path(fn).filename().string() + " " + disk);
        fs::rename(tmp / "elsewhere.cab", tmp / "two.cab");
    };
    errors.clear();
    y->Extract();
    EXPECT_EQ(asked, std::vector<std::string>{"two.cab 1"});
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(slurp("c.txt"), std::string(10, 'c'));
    // Or cancel the rest: no error.
    fs::rename(tmp / "two.cab", tmp / "elsewhere.cab");
    auto z = extractorFor(tmp / "ONE.CAB");
    cabOf(z)->OnNextCabinet = [](TObject*, const std::string&, const std::string&, bool& cancel) {
        cancel = true;
    };
    errors.clear();
    z->Extract();
    EXPECT_EQ(z->StopCode, 0);
    EXPECT_TRUE(errors.empty());
}

TEST_F(UnCab, CabinetOfAnotherSetStops) {
    writeSet(999);
    auto x = extract(tmp / "ONE.CAB");
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, err::CabWrongSet);
    EXPECT_EQ(slurp("a.txt"), std::string(10, 'a'));
}

TEST_F(UnCab, OutputThatCannotBeCreatedIsReported) {
    CabSpec c;
    c.folders = {{0, {storedBlock("xy")}}};
    c.files = {{"taken", 1, 0, 0}, {"free.txt", 1, 1, 0}};
    fs::create_directories(out + "/taken/inside");
    auto x = extract(write(makeCab(c), "taken.cab"));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(errors, std::vector<int>{err::OpenError});
    EXPECT_EQ(slurp("free.txt"), "y");
}
