// TLha against the LHA tools of this platform: lhasa and jlha test and
// extract what it writes byte for byte, with folders and DOS time stamps;
// archives made by jlha keep their other members intact when TLha adds to
// them, replaces in them and deletes from them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "archive/writers/Lha.h"
#include "platform/FileSystem.h"
#include "tests/writers/LhaTest.h"

using namespace lhatest;
using testsupport::readFile;
using testsupport::shellQuote;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr std::int64_t kTime = 1300000000; // an even second

std::vector<std::string> peers() {
    std::vector<std::string> p;
    for (const char* t : {"lhasa", "jlha"})
        if (havePeer(t)) p.push_back(t);
    return p;
}

// The tree every interoperability test archives.
void makeTree(const std::string& dir) {
    const std::map<std::string, Bytes> files = {
        {"empty.txt", {}},
        {"one.txt", {'1'}},
        {"text/book.txt", text(1 << 20, 3)},
        {"text/deeper/notes.txt", text(7000, 4)},
        {"noise/random.bin", randomBytes(200000, 5)},
        {"noise/zeros.bin", Bytes(65536, 0)},
    };
    for (const auto& [name, data] : files) {
        const std::string p = dir + "/" + name;
        fs::create_directories(fs::path(p).parent_path());
        writeFile(p, data);
        plat::setFileModificationTime(p, kTime);
    }
}

bool write(const std::string& archive, const std::string& base, TCompressMethod method, TSwitch sw,
           const std::vector<std::string>& lines, bool dirs = true) {
    TLha w;
    w.SetArchiveFile(archive);
    w.SetDefaultDir(base);
    w.StoreDirs = dirs;
    w.RecurseDirs = true;
    w.CompressMethod = method;
    w.Switch = sw;
    for (const auto& l : lines) w.FileSpec().Add(l);
    return w.Compress();
}

} // namespace

TEST(LhaInterop, PeersTestAndExtractWhatTLhaWrites) {
    const auto tools = peers();
    if (tools.empty()) GTEST_SKIP() << "neither lhasa nor jlha is installed";
    TempDir tmp;
    const std::string src = tmp / "src";
    makeTree(src);
    const auto want = tree(src);
    // A zone away from UTC, for this process and the peers it starts.
    const char* oldTz = getenv("TZ");
    const std::string savedTz = oldTz ? oldTz : "";
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    tzset();
    for (TCompressMethod method : {mtFrozen, mtStore}) {
        const std::string archive = tmp / (method == mtStore ? "stored.lzh" : "frozen.lzh");
        ASSERT_TRUE(write(archive, src, method, swAdd, {"./*"}));
        // 07:06:40 UTC is 03:06:40 daylight time in that zone.
        EXPECT_EQ(members(archive)[0].h.Stamp >> 11 & 31, 3u);
        for (const std::string& peer : tools) {
            const std::string what = peer + " " + archive;
            EXPECT_TRUE(peerTests(peer, archive)) << what;
            const std::string out = archive + "." + peer;
            ASSERT_TRUE(peerExtracts(peer, archive, out)) << what;
            EXPECT_TRUE(tree(out) == want) << what;
            // The DOS stamp is local time, read back as the same instant
            // (jlha sets no times, not even from its own archives).
            if (peer == "lhasa") {
                EXPECT_EQ(plat::fileModificationTime(out + "/text/book.txt"), kTime) << what;
            }
        }
    }
    if (oldTz)
        setenv("TZ", savedTz.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(LhaInterop, BackslashIsTheFolderSeparatorBothPeersRead) {
    const auto tools = peers();
    if (tools.empty()) GTEST_SKIP() << "neither lhasa nor jlha is installed";
    TempDir tmp;
    makeTree(tmp / "src");
    ASSERT_TRUE(write(tmp / "a.lzh", tmp / "src", mtFrozen, swAdd, {"./text/deeper/*"}));
    ASSERT_EQ(members(tmp / "a.lzh")[0].h.Name, "text\\deeper\\notes.txt");
    for (const std::string& peer : tools) {
        const std::string listing =
            testsupport::runOutput(peer + " l " + shellQuote(tmp / "a.lzh"));
        EXPECT_NE(listing.find("text/deeper/notes.txt"), std::string::npos) << peer << listing;
    }
}

TEST(LhaInterop, AddingToAndDeletingFromJlhaArchivesKeepsTheirMembers) {
    if (!havePeer("jlha")) GTEST_SKIP() << "jlha is not installed";
    TempDir tmp;
    const std::string src = tmp / "src";
    makeTree(src);
    for (const char* level : {"0", "1", "2"}) {
        const std::string archive = tmp / (std::string("j") + level + ".lzh");
        ASSERT_EQ(testsupport::run("cd " + shellQuote(src) + " && jlha a" + level + "q " +
                                   shellQuote(archive) +
                                   " one.txt text/book.txt noise/random.bin >/dev/null 2>&1"),
                  0);
        const auto original = members(archive);
        ASSERT_EQ(original.size(), 3u) << level;
        const Bytes bytes = readFile(archive);
        auto raw = [&](const Member& m) {
            return Bytes(bytes.begin() + m.h.Pos, bytes.begin() + m.h.NextPos());
        };

        // Add one file and replace another (a newer one.txt).
        const std::string more = tmp / "more";
        fs::create_directories(more + "/text");
        writeFile(more + "/text/new.txt", text(30000, 8));
        writeFile(more + "/one.txt", std::string("one, changed\n"));
        ASSERT_TRUE(write(archive, more, mtFrozen, swAdd, {"./text/new.txt", "./one.txt"}))
            << level;
        auto after = members(archive);
        ASSERT_EQ(after.size(), 4u) << level;
        const Bytes added = readFile(archive);
        // The jlha members come first, copied whole: header and data.
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(Bytes(added.begin() + after[i].h.Pos, added.begin() + after[i].h.NextPos()),
                      raw(original[i + 1]))
                << level;
        }
        EXPECT_EQ(after[2].h.Path(), "text/new.txt");
        EXPECT_EQ(after[3].h.Path(), "one.txt");
        EXPECT_TRUE(peerTests("jlha", archive)) << level;
        const std::string out = archive + ".x";
        ASSERT_TRUE(peerExtracts("jlha", archive, out)) << level;
        EXPECT_EQ(readFile(out + "/text/book.txt"), readFile(src + "/text/book.txt"));
        EXPECT_EQ(readFile(out + "/noise/random.bin"), readFile(src + "/noise/random.bin"));
        EXPECT_EQ(readFile(out + "/text/new.txt"), readFile(more + "/text/new.txt"));
        EXPECT_EQ(readFile(out + "/one.txt"), readFile(more + "/one.txt"));

        // Delete the new file and the big text: the rest stays as it was.
        ASSERT_TRUE(write(archive, more, mtFrozen, swDelete, {"*new*", "TEXT/BOOK.TXT"})) << level;
        after = members(archive);
        ASSERT_EQ(after.size(), 2u) << level;
        const Bytes deleted = readFile(archive);
        EXPECT_EQ(Bytes(deleted.begin(), deleted.begin() + after[0].h.NextPos()), raw(original[2]))
            << level;
        EXPECT_TRUE(peerTests("jlha", archive)) << level;
        if (havePeer("lhasa")) {
            EXPECT_TRUE(peerTests("lhasa", archive)) << level;
        }
        const std::string out2 = archive + ".y";
        ASSERT_TRUE(peerExtracts("jlha", archive, out2)) << level;
        EXPECT_EQ(tree(out2).size(), 2u);
        EXPECT_EQ(readFile(out2 + "/noise/random.bin"), readFile(src + "/noise/random.bin"));
    }
}
