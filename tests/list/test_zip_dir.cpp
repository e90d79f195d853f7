// The ZIP directory: end record search, comments, folders, selection,
// method names, archives behind executables, ZIP64, and archives made by
// zip and 7z at test time.
#include <gtest/gtest.h>

#include <map>

#include "archive/core/Crc.h"
#include "platform/Time.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"
#include "test_list_support.h"
#include "tests/support/ZipBuilder.h"

using listtest::list;
using testsupport::TempDir;
using ziptest::Member;

namespace {

listtest::Listing listBytes(TempDir& dir, const ziptest::Bytes& bytes,
                            const std::string& spec = "*.*", bool dirs = false,
                            const std::string& name = "t.zip") {
    testsupport::writeFile(dir / name, bytes);
    return list(dir / name, spec, dirs);
}

std::string repeat(char c, std::size_t n) {
    return std::string(n, c);
}

} // namespace

TEST(ZipDirectory, RecordFieldsAndDate) {
    TempDir dir;
    Member e("DOCS/A.TXT", "some text");
    e.madeBy = 0x0314;
    e.external = 0x21;
    e.comment = "member note";
    auto r = listBytes(dir, ziptest::build({e}));
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 1u);
    const auto& m = r.members[0];
    EXPECT_EQ(m.name, "DOCS/A.TXT");
    EXPECT_EQ(m.packed, 9);
    EXPECT_EQ(m.unpacked, 9);
    EXPECT_EQ(m.crc, crc32Of("some text", 9));
    EXPECT_EQ(m.methodName, "Stored");
    EXPECT_EQ(m.versionMadeBy, 0x0314);
    EXPECT_EQ(m.versionNeeded, 20);
    EXPECT_EQ(m.externalAttr, 0x21u);
    EXPECT_EQ(m.comment, "member note");
    EXPECT_EQ(m.offset, 0);
    auto t = plat::decodeDateTime(m.date);
    EXPECT_EQ(t.year, 2001);
    EXPECT_EQ(t.month, 2);
    EXPECT_EQ(t.day, 3);
    EXPECT_EQ(t.hour, 4);
    EXPECT_EQ(t.minute, 5);
    EXPECT_EQ(t.second, 6);
}

TEST(ZipDirectory, CommentOfThirtyBytesEndsTheWalkQuietly) {
    TempDir dir;
    ziptest::Options o;
    o.comment = "This comment has 30 bytes.....";
    ASSERT_EQ(o.comment.size(), 30u);
    auto r = listBytes(dir, ziptest::build({{"a.txt", "aaa"}, {"b.txt", "bbbb"}}, o));
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.totals, 2);
    EXPECT_EQ(r.comment, o.comment);
}

TEST(ZipDirectory, CommentStopsAtZeroByte) {
    TempDir dir;
    ziptest::Options o;
    o.comment = std::string("visible\0hidden", 14);
    auto r = listBytes(dir, ziptest::build({{"a.txt", "aaa"}}, o));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.comment, "visible");
}

TEST(ZipDirectory, CommentsLongerThan32KAreFound) {
    TempDir dir;
    ziptest::Options o;
    o.comment = repeat('c', 40000);
    auto r = listBytes(dir, ziptest::build({{"a.txt", "aaa"}}, o));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.totals, 1);
    EXPECT_EQ(r.comment.size(), 40000u);
    o.comment = repeat('d', 65535);
    r = listBytes(dir, ziptest::build({{"a.txt", "aaa"}}, o));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.comment.size(), 65535u);
}

TEST(ZipDirectory, FolderOnlyArchive) {
    TempDir dir;
    Member a("docs/", ""), b("docs/sub/", "");
    a.external = b.external = 0x10;
    ziptest::Options o;
    o.comment = "a comment longer than twenty-four bytes";
    auto hidden = listBytes(dir, ziptest::build({a, b}, o));
    // The walk meets the end record: a closing record, not damage.
    EXPECT_TRUE(hidden.ok);
    EXPECT_TRUE(hidden.errors.empty());
    EXPECT_TRUE(hidden.members.empty());
    EXPECT_EQ(hidden.totals, 0);

    auto shown = listBytes(dir, ziptest::build({a, b}, o), "*.*", true);
    EXPECT_TRUE(shown.ok);
    ASSERT_EQ(shown.members.size(), 2u);
    EXPECT_EQ(shown.members[0].name, "docs/");
    EXPECT_EQ(shown.members[0].filenum, 0);
    EXPECT_EQ(shown.members[1].filenum, 0);
    EXPECT_EQ(shown.totals, 0);
}

TEST(ZipDirectory, GarbageAfterDirectoryBeforeAnyFileIsBadHeader) {
    TempDir dir;
    Member a("docs/", "");
    a.external = 0x10;
    auto bytes = ziptest::build({a});
    // Move the end record away and put junk where the next record would be.
    const std::size_t endAt = bytes.size() - 22;
    ziptest::Bytes end(bytes.begin() + static_cast<std::ptrdiff_t>(endAt), bytes.end());
    bytes.resize(endAt);
    bytes.insert(bytes.end(), 64, 'J');
    bytes.insert(bytes.end(), end.begin(), end.end());
    auto r = listBytes(dir, bytes);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, std::vector<int>{25108});
    EXPECT_EQ(r.events.back(), "deactivate");
}

TEST(ZipDirectory, FileSpecComparesNamesOnly) {
    TempDir dir;
    auto bytes =
        ziptest::build({{"DOCS/A.TXT", "1234567890"}, {"B.DOC", "12345"}, {"c.txt", "12"}});
    auto r = listBytes(dir, bytes, "*.TXT");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[0].name, "DOCS/A.TXT");
    EXPECT_EQ(r.members[1].name, "c.txt");
    EXPECT_EQ(r.totals, 2);
    EXPECT_EQ(r.totalUnpacked, 12);
}

TEST(ZipDirectory, SizesAndRatios) {
    TempDir dir;
    Member empty("empty.txt", ""), tiny("tiny.bin", "x");
    tiny.unpacked = 1000;
    tiny.method = 8;
    auto r = listBytes(dir, ziptest::build({empty, tiny}));
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[0].ratio, 0);
    EXPECT_EQ(r.members[1].ratio, 99);
    EXPECT_EQ(r.totalRatio, 99);
}

TEST(ZipDirectory, DeflateNamesAndFlags) {
    TempDir dir;
    auto r = listBytes(
        dir,
        ziptest::build({Member("s.txt", "abc").with(8, 6), Member("n.txt", "abc").with(8, 1),
                        Member("f.txt", "abc").with(8, 4), Member("x.txt", "abc").with(8, 2)}));
    ASSERT_EQ(r.members.size(), 4u);
    EXPECT_EQ(r.members[0].methodName, "DeflateS");
    EXPECT_FALSE(r.members[0].encrypted);
    EXPECT_EQ(r.members[1].methodName, "DeflateN");
    EXPECT_TRUE(r.members[1].encrypted);
    EXPECT_EQ(r.members[2].methodName, "DeflateF");
    EXPECT_EQ(r.members[3].methodName, "DeflateX");

    TArcLister l;
    std::vector<int> options;
    l.OnRead = [&](TObject*, std::int64_t, int) { options.push_back(l.DeflateOption); };
    l.SetArchiveFile(dir / "t.zip");
    ASSERT_TRUE(l.Activate());
    EXPECT_EQ(options, (std::vector<int>{6, 0, 4, 2}));
}

TEST(ZipDirectory, NamesBecomeUtf8WithSlashes) {
    TempDir dir;
    auto r = listBytes(
        dir, ziptest::build({{"DIR\\N\x84ME.TXT", "x"}, {"ok/\xc3\xa9t\xc3\xa9.txt", "y"}}));
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[0].name, "DIR/N\xc3\xa4ME.TXT"); // CP437 0x84 is a-umlaut
    EXPECT_EQ(r.members[1].name, "ok/\xc3\xa9t\xc3\xa9.txt");
}

TEST(ZipDirectory, EmptyArchiveListsNothing) {
    // An empty archive is only its end record; it lists without members.
    TempDir dir;
    auto r = listBytes(dir, ziptest::build({}));
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_TRUE(r.members.empty());
}

TEST(ZipDirectory, MissingEndRecordAndBadCentralOffset) {
    TempDir dir;
    auto bytes = ziptest::build({{"a.txt", "aaa"}});
    auto cut = bytes;
    cut.resize(cut.size() - 22);
    auto r = listBytes(dir, cut);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, std::vector<int>{25137});
    EXPECT_EQ(r.events.back(), "deactivate");

    auto moved = bytes;
    moved[moved.size() - 6] += 3; // central directory offset
    r = listBytes(dir, moved);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, std::vector<int>{25137});
}

TEST(ZipDirectory, TruncatedCentralRecordIsAReadError) {
    TempDir dir;
    Member e("a.txt", "aaa");
    e.comment = repeat('n', 300);
    auto bytes = ziptest::build({e});
    // The record claims a longer comment than the file still holds.
    const std::size_t cd = bytes.size() - 22 - (46 + 5 + 300);
    bytes[cd + 32] = 0xFF;
    bytes[cd + 33] = 0x7F;
    auto r = listBytes(dir, bytes);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, std::vector<int>{25135});
}

TEST(ZipDirectory, ArchiveBehindExecutableAnnouncedByStringTable) {
    TempDir dir;
    auto exe = testsupport::peWithStrings({"40000"}, 40000);
    ASSERT_EQ(exe.size(), 40000u);
    ziptest::Options o;
    o.base = 0; // offsets relative to the announced start
    auto bytes = ziptest::build({{"a.txt", "aaa"}, {"b.txt", "bbbb"}}, o, exe);
    testsupport::writeFile(dir / "sfx.exe", bytes);
    auto r = list(dir / "sfx.exe");
    EXPECT_EQ(r.type, atZipExe);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[0].name, "a.txt");
    EXPECT_EQ(r.members[1].offset, 30 + 5 + 3); // stored, not corrected
}

TEST(ZipDirectory, ZipAdjustedWithZipDashA) {
    if (!testsupport::haveTool("zip")) GTEST_SKIP() << "zip not installed";
    TempDir dir;
    testsupport::writeFile(dir / "a.txt", std::string("hello hello hello hello"));
    ASSERT_EQ(testsupport::run("cd " + dir.path() + " && zip -q plain.zip a.txt"), 0);
    auto stub = testsupport::dosStub(5000);
    auto zip = testsupport::readFile(dir / "plain.zip");
    stub.insert(stub.end(), zip.begin(), zip.end());
    testsupport::writeFile(dir / "sfx.exe", stub);
    ASSERT_EQ(testsupport::run("cd " + dir.path() + " && zip -q -A sfx.exe"), 0);
    auto r = list(dir / "sfx.exe");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].name, "a.txt");
    EXPECT_EQ(r.members[0].offset, 5000);
}

TEST(ZipDirectory, Zip64RecordsAreResolved) {
    TempDir dir;
    ziptest::Options o;
    o.zip64 = true;
    o.comment = "zip64";
    Member big("big.bin", "abc");
    big.unpacked = 5'000'000'000LL;
    big.method = 8;
    auto r = listBytes(dir, ziptest::build({Member("a.txt", "hello"), big}, o));
    ASSERT_TRUE(r.ok) << (r.errors.empty() ? 0 : r.errors[0]);
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[0].unpacked, 5);
    EXPECT_EQ(r.members[1].unpacked, 5'000'000'000LL);
    EXPECT_EQ(r.members[1].packed, 3);
    EXPECT_EQ(r.members[1].offset, 30 + 5 + 5);
    EXPECT_EQ(r.members[1].ratio, 100); // 3 bytes vanish in the scaling
    EXPECT_EQ(r.totalUnpacked, 5'000'000'005LL);
    EXPECT_EQ(r.comment, "zip64");
}

TEST(ZipDirectory, Zip64FromZipStream) {
    if (!testsupport::haveTool("zip")) GTEST_SKIP() << "zip not installed";
    TempDir dir;
    testsupport::writeFile(dir / "in.txt", std::string("streamed data\n"));
    // -fz forces ZIP64 records; input from a pipe has no name ("-").
    if (testsupport::run("cd " + dir.path() + " && cat in.txt | zip -q -fz s.zip - 2>/dev/null") !=
        0)
        GTEST_SKIP() << "this zip cannot force ZIP64";
    auto r = list(dir / "s.zip");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.members.size(), 1u);
    EXPECT_EQ(r.members[0].name, "-");
    EXPECT_EQ(r.members[0].unpacked, 14);
    EXPECT_EQ(r.members[0].crc, crc32Of("streamed data\n", 14));
}

namespace {

struct Input {
    std::string name, data;
    std::int64_t mtime;
};

// Files with known contents and times, in a "src" folder of dir.
std::vector<Input> makeInputs(TempDir& dir) {
    std::vector<Input> in = {
        {"readme.txt", std::string(3000, 'r') + "end", 1000000000},
        {"docs/guide.txt", "guide text that compresses poorly? no: " + std::string(500, 'g'),
         1100000000},
        {"docs/empty.dat", "", 1200000000},
        {"bin/random.bin", "", 1300000000},
    };
    std::uint32_t x = 12345;
    for (int i = 0; i < 4000; ++i) {
        x = x * 1103515245 + 12345;
        in[3].data += static_cast<char>(x >> 24);
    }
    for (auto& f : in) {
        listtest::spit(dir / ("src/" + f.name), f.data);
        listtest::touch(dir / ("src/" + f.name), f.mtime);
    }
    return in;
}

void expectInputs(const listtest::Listing& r, const std::vector<Input>& in) {
    ASSERT_TRUE(r.ok);
    std::map<std::string, listtest::Member> got;
    for (const auto& m : r.members) got[m.name] = m;
    EXPECT_EQ(r.totals, static_cast<int>(in.size()));
    for (const auto& f : in) {
        auto it = got.find(f.name);
        ASSERT_NE(it, got.end()) << f.name;
        EXPECT_EQ(it->second.unpacked, static_cast<std::int64_t>(f.data.size())) << f.name;
        EXPECT_EQ(it->second.crc, crc32Of(f.data.data(), f.data.size())) << f.name;
        // DOS times have two-second steps.
        auto diff = plat::dateTimeToUnix(it->second.date) - f.mtime;
        EXPECT_LE(diff < 0 ? -diff : diff, 2) << f.name;
    }
}

} // namespace

TEST(ZipPeers, InfoZipStoredDeflatedFoldersComments) {
    if (!testsupport::haveTool("zip")) GTEST_SKIP() << "zip not installed";
    TempDir dir;
    auto in = makeInputs(dir);
    ASSERT_EQ(testsupport::run("cd " + dir.path() +
                               "/src && zip -q -r ../d.zip . && zip -q -r -0 ../s.zip ."),
              0);
    ASSERT_EQ(testsupport::run("cd " + dir.path() +
                               " && echo 'archive note' | zip -q -z d.zip && printf 'file note\\n' "
                               "| zip -q -c d.zip readme.txt"),
              0);
    auto d = list(dir / "d.zip");
    expectInputs(d, in);
    EXPECT_EQ(d.comment, "archive note");
    for (const auto& m : d.members) {
        if (m.name == "readme.txt") {
            EXPECT_EQ(m.methodName, "DeflateN");
            EXPECT_EQ(m.comment, "file note");
            EXPECT_GT(m.ratio, 90);
        }
        // zip keeps what does not shrink
        if (m.name == "bin/random.bin") {
            EXPECT_EQ(m.methodName, "Stored");
        }
    }
    auto s = list(dir / "s.zip");
    expectInputs(s, in);
    for (const auto& m : s.members) {
        EXPECT_EQ(m.methodName, "Stored") << m.name;
    }

    auto withDirs = list(dir / "s.zip", "*.*", true);
    int folders = 0;
    for (const auto& m : withDirs.members) folders += m.name.back() == '/';
    EXPECT_EQ(folders, 2);
    EXPECT_EQ(withDirs.totals, static_cast<int>(in.size()));
}

TEST(ZipPeers, SevenZipStoredAndDeflated) {
    if (!testsupport::haveTool("7z")) GTEST_SKIP() << "7z not installed";
    TempDir dir;
    auto in = makeInputs(dir);
    ASSERT_EQ(testsupport::run("cd " + dir.path() +
                               "/src && 7z a -tzip -mx=9 ../d.zip . >/dev/null && 7z a -tzip -mx=0 "
                               "../s.zip . >/dev/null"),
              0);
    auto d = list(dir / "d.zip");
    expectInputs(d, in);
    bool deflated = false;
    for (const auto& m : d.members) deflated |= m.methodName.rfind("Deflate", 0) == 0;
    EXPECT_TRUE(deflated);
    expectInputs(list(dir / "s.zip"), in);
}

TEST(ZipPeers, UnzipAgreesOnManyMembers) {
    if (!testsupport::haveTool("zip") || !testsupport::haveTool("unzip"))
        GTEST_SKIP() << "zip/unzip not installed";
    TempDir dir;
    for (int i = 0; i < 300; ++i)
        listtest::spit(dir / ("m/f" + std::to_string(i) + ".txt"), std::string(i, 'x'));
    ASSERT_EQ(testsupport::run("cd " + dir.path() + " && zip -q -r many.zip m"), 0);
    auto r = list(dir / "many.zip");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.totals, 300);
    std::int64_t sum = 0;
    for (int i = 0; i < 300; ++i) sum += i;
    EXPECT_EQ(r.totalUnpacked, sum);
}
