// olmek-cli l: the table, the TSV form, the mask, folders, errors and the
// exit status.
#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "tests/support/ZipBuilder.h"

#ifdef OLMEK_CLI

using testsupport::runOutput;
using testsupport::TempDir;
using ziptest::Member;

namespace {

std::string cli() {
    return OLMEK_CLI;
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < s.size()) {
        auto nl = s.find('\n', at);
        if (nl == std::string::npos) nl = s.size();
        out.push_back(s.substr(at, nl - at));
        at = nl + 1;
    }
    return out;
}

std::string sample(const TempDir& dir) {
    Member a("docs/a.txt", "hello world");
    a.comment = "tab\there\nnewline";
    Member folder("docs/", "");
    folder.external = 0x10;
    Member b("b.doc", "xyz");
    b.method = 8;
    b.flags = 1;
    b.unpacked = 1000;
    ziptest::Options o;
    o.comment = "The archive comment";
    testsupport::writeFile(dir / "s.zip", ziptest::build({a, folder, b}, o));
    return dir / "s.zip";
}

} // namespace

TEST(CliList, TsvColumnsAndTotals) {
    TempDir dir;
    int status = -1;
    auto out = runOutput(cli() + " l --tsv " + sample(dir), &status);
    EXPECT_EQ(status, 0);
    auto l = lines(out);
    ASSERT_EQ(l.size(), 4u) << out;
    EXPECT_EQ(
        l[0],
        "path\tpacked\tunpacked\tratio\tmethod\tcrc\tdate\ttime\tattr\toffset\tencrypted\tcomment");
    EXPECT_EQ(l[1], "docs/"
                    "a.txt\t11\t11\t0\tStored\t0D4A1185\t2001-02-03\t04:05:"
                    "06\t32\t0\tNo\ttab\\there\\nnewline");
    EXPECT_EQ(l[2], "b.doc\t3\t1000\t99\tDeflateN\tEB8EBA67\t2001-02-03\t04:05:06\t32\t86\tYes\t");
    EXPECT_EQ(l[3], "TOTAL\t2\t14\t1011\t98");
}

TEST(CliList, TableShowsViewerColumnsTotalsAndComment) {
    TempDir dir;
    int status = -1;
    auto out = runOutput(cli() + " l " + sample(dir), &status);
    EXPECT_EQ(status, 0);
    auto l = lines(out);
    ASSERT_GE(l.size(), 6u) << out;
    for (const char* col : {"FileName", "Date", "Time", "Packed", "Unpacked", "Ratio", "Method",
                            "Attr", "Folder", "CRC", "Offset", "Encrypted", "File Comment"})
        EXPECT_NE(l[0].find(col), std::string::npos) << col;
    EXPECT_EQ(l[1].rfind("a.txt ", 0), 0u);
    EXPECT_NE(l[1].find("02-03-01"), std::string::npos);
    EXPECT_NE(l[1].find("04:05"), std::string::npos);
    EXPECT_NE(l[1].find("docs/"), std::string::npos);
    EXPECT_NE(l[1].find("0D4A1185"), std::string::npos);
    EXPECT_NE(l[2].find("99%"), std::string::npos);
    EXPECT_NE(l[2].find("Yes"), std::string::npos);
    EXPECT_EQ(l[3], "Files: 2  Packed: 14  Unpacked: 1011  Ratio: 98%");
    EXPECT_EQ(l[4], "Archive Comment:");
    EXPECT_EQ(l[5], "The archive comment");
}

TEST(CliList, MaskAndFolders) {
    TempDir dir;
    const std::string zip = sample(dir);
    auto masked = lines(runOutput(cli() + " l --tsv -m '*.DOC' " + zip));
    ASSERT_EQ(masked.size(), 3u);
    EXPECT_EQ(masked[1].rfind("b.doc\t", 0), 0u);
    EXPECT_EQ(masked[2], "TOTAL\t1\t3\t1000\t99");

    auto dirs = lines(runOutput(cli() + " l --tsv --dirs " + zip));
    ASSERT_EQ(dirs.size(), 5u);
    EXPECT_EQ(dirs[2].rfind("docs/\t", 0), 0u);
    EXPECT_EQ(dirs[4], "TOTAL\t2\t14\t1011\t98");
}

TEST(CliList, RelativeArchivePath) {
    TempDir dir;
    sample(dir);
    int status = -1;
    auto out = runOutput("cd " + dir.path() + " && " + cli() + " l --tsv s.zip", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("TOTAL\t2\t"), std::string::npos);
}

TEST(CliList, ErrorsGoToStandardErrorWithExitOne) {
    TempDir dir;
    testsupport::writeFile(dir / "junk.bin", std::string("nothing to see here at all"));
    int status = -1;
    auto err = runOutput(cli() + " l " + (dir / "junk.bin") + " 2>&1 >/dev/null", &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "error 25202: Unknown file type\n");

    auto missing = runOutput(cli() + " l " + (dir / "none.zip") + " 2>&1 >/dev/null", &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(missing, "error 25132: File not found\n");

    runOutput(cli() + " l 2>/dev/null", &status);
    EXPECT_EQ(status, 2);
    runOutput(cli() + " l --bogus x.zip 2>/dev/null", &status);
    EXPECT_EQ(status, 2);
}

TEST(CliList, BrokenArchiveListsWhatItCanAndFails) {
    TempDir dir;
    auto bytes = ziptest::build({Member("a.txt", "aaa"), Member("b.txt", "bbb")});
    // Damage the second central record's name length so it runs off the end.
    const std::size_t second = bytes.size() - 22 - (46 + 5);
    bytes[second + 28] = 0xFF;
    bytes[second + 29] = 0xFF;
    testsupport::writeFile(dir / "b.zip", bytes);
    int status = -1;
    auto out = runOutput(cli() + " l --tsv " + (dir / "b.zip") + " 2>&1", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("a.txt\t3"), std::string::npos);
    EXPECT_NE(out.find("error 25135: "), std::string::npos);
}

#endif
