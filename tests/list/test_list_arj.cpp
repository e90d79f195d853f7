// ARJ directories: archives made by arj with every method, folders, a
// comment and a volume set; the corpus against lsar; hand-made headers.
#include <random>

#include "archive/core/Crc.h"
#include "platform/FileSystem.h"
#include "test_list_support.h"

using namespace listtest;

namespace {

std::string le16s(std::uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
std::string le32s(std::uint32_t v) {
    return le16s(v & 0xFFFF) + le16s(v >> 16);
}

constexpr std::uint32_t kDos2010 = (30u << 25) | (1u << 21) | (1u << 16);

// One ARJ header: fixed part (firstSize bytes from offset 4), name,
// comment, header CRC, no extended header.
std::string arjHeader(const std::string& name, const std::string& comment, std::uint32_t packed,
                      std::uint32_t unpacked, std::uint8_t flags = 0, std::uint8_t host = 0,
                      std::uint8_t fileType = 0, std::uint32_t stamp = kDos2010,
                      std::uint8_t firstSize = 30, std::uint8_t method = 1) {
    std::string fixed;
    fixed += static_cast<char>(firstSize);
    fixed += static_cast<char>(11);
    fixed += static_cast<char>(1);
    fixed += static_cast<char>(host);
    fixed += static_cast<char>(flags);
    fixed += static_cast<char>(method);
    fixed += static_cast<char>(fileType);
    fixed += '\0';
    fixed += le32s(stamp) + le32s(packed) + le32s(unpacked) + le32s(0xCAFEF00D) + le16s(0) +
             le16s(0x20) + le16s(0);
    fixed.resize(firstSize, '\0');
    std::string basic = fixed + name + '\0' + comment + '\0';
    return le16s(0xEA60) + le16s(static_cast<std::uint32_t>(basic.size())) + basic + le32s(0) +
           le16s(0);
}

std::string arjMain(const std::string& comment = "") {
    return arjHeader("T.ARJ", comment, 0, 0, 0, 0, 2, kDos2010, 34, 0);
}
std::string arjEnd() {
    return le16s(0xEA60) + le16s(0);
}

struct Input {
    std::string name;
    std::string data;
    std::int64_t mtime;
};

std::vector<Input> makeInputs(const TempDir& dir) {
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "row " + std::to_string(i * 31 % 977) + " value\n";
    std::vector<Input> in = {{"a.txt", "hello world\n", 1262347201},
                             {"sub/b.txt", text, 1300000001}};
    for (auto& f : in) {
        spit(dir / ("src/" + f.name), f.data);
        touch(dir / ("src/" + f.name), f.mtime);
    }
    return in;
}

} // namespace

// arj -m0 to -m4 with a folder and an archive comment.  ARJ for Unix keeps
// Unix times, so the dates are exact.
TEST(ListArjInterop, MethodsFoldersAndComment) {
    if (!haveTool("arj")) GTEST_SKIP() << "arj not installed";
    TempDir dir;
    auto inputs = makeInputs(dir);
    spit(dir / "cmt.txt", "Archive remark\n");
    const char* names[] = {"Stored", "Most", "2nd Most", "2nd Fast", "Fastest"};
    for (int m = 0; m <= 4; ++m) {
        SCOPED_TRACE(m);
        const std::string method = std::to_string(m);
        std::string arc = dir / ("m" + method + ".arj");
        ASSERT_TRUE(
            run(dir / "src", "arj a -y -a1 -r -m" + method + " -z../cmt.txt " + arc + " '*'"));
        Listing l = list(arc, "*.*", true);
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(l.type, atARJ);
        ASSERT_EQ(l.members.size(), 3u);
        EXPECT_EQ(l.totals, 3); // the folder counts like a file
        EXPECT_NE(l.comment.find("Archive remark"), std::string::npos);
        for (auto& in : inputs) {
            const Member* got = find(l, in.name);
            ASSERT_NE(got, nullptr) << in.name;
            EXPECT_EQ(got->unpacked, static_cast<std::int64_t>(in.data.size()));
            EXPECT_EQ(got->crc, crc32Of(in.data.data(), in.data.size()));
            EXPECT_NEAR(got->date, plat::unixToDateTime(in.mtime), 1e-7);
            EXPECT_FALSE(got->encrypted);
        }
        EXPECT_NE(find(l, "sub"), nullptr);
        EXPECT_EQ(find(l, "sub/b.txt")->methodName, names[m]);
        EXPECT_EQ(find(l, "sub/b.txt")->method, m);

        // Packed sizes as arj itself lists them.
        if (haveTool("lsar")) {
            ASSERT_TRUE(run(dir.path(), "lsar -L " + arc + " > peer.txt"));
            for (auto& p : parseLsar(slurp(dir / "peer.txt"))) {
                const Member* got = find(l, p.name);
                ASSERT_NE(got, nullptr) << p.name;
                if (p.packed >= 0) {
                    EXPECT_EQ(got->packed, p.packed) << p.name;
                }
            }
        }

        Listing txt = list(arc, "*.TXT", false);
        ASSERT_EQ(txt.members.size(), 2u);
        Listing txtDirs = list(arc, "*.TXT", true);
        EXPECT_EQ(txtDirs.members.size(), 3u);
        EXPECT_EQ(txtDirs.totals, 3);
    }
}

// A member that spans the volumes of a set is listed once with the summed
// sizes; the members after it (in the last volume) follow.
TEST(ListArjInterop, VolumeSet) {
    if (!haveTool("arj")) GTEST_SKIP() << "arj not installed";
    TempDir dir;
    makeInputs(dir);
    std::string big(150000, '\0');
    std::mt19937 rng(7);
    for (auto& c : big) c = static_cast<char>(rng());
    spit(dir / "src/big.bin", big);
    ASSERT_TRUE(run(dir / "src", "arj a -y -m0 -v50k ../vol.arj big.bin a.txt"));
    ASSERT_TRUE(fs::exists(dir / "vol.a02"));
    Listing l = list(dir / "vol.arj");
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.members.size(), 2u);
    EXPECT_EQ(l.members[0].name, "big.bin");
    EXPECT_EQ(l.members[0].unpacked, 150000);
    EXPECT_EQ(l.members[0].packed, 150000);
    EXPECT_EQ(l.members[1].name, "a.txt");
    EXPECT_EQ(l.members[1].unpacked, 12);
    EXPECT_EQ(l.totals, 2);
    EXPECT_EQ(l.totalUnpacked, 150012);
    EXPECT_TRUE(l.errors.empty());

    // Starting in the middle of the set lists from that volume on.
    Listing mid = list(dir / "vol.a01");
    ASSERT_TRUE(mid.ok);
    ASSERT_EQ(mid.members.size(), 2u);
    EXPECT_EQ(mid.members[0].name, "big.bin");
    EXPECT_LT(mid.members[0].unpacked, 150000);

    // A missing volume: reported as the next volume of the set, then
    // "File not found".
    fs::remove(dir / "vol.a02");
    Listing broken = list(dir / "vol.arj");
    EXPECT_FALSE(broken.ok);
    ASSERT_EQ(broken.errors.size(), 2u);
    EXPECT_EQ(broken.errors[0], err::CabNextVolume);
    EXPECT_EQ(broken.errorVolumes[0], "2");
    EXPECT_EQ(broken.errors[1], err::FileNotFound);
    EXPECT_TRUE(broken.members.empty());
    EXPECT_EQ(broken.events.back(), "deactivate");
}

// lsar lists a volume set volume by volume; a member that continues into
// the next volume appears at the end of one and the start of the next.
static std::vector<PeerMember> peerOfSet(const std::string& first) {
    std::vector<PeerMember> all;
    const std::string base = first.substr(0, first.size() - 4);
    for (int v = 0;; ++v) {
        std::string f = v == 0 ? first : base + (v < 10 ? ".a0" : ".a") + std::to_string(v);
        if (!fs::exists(f + ".peer.txt")) break;
        std::string body;
        int status = -1;
        if (!peerSection(slurp(f + ".peer.txt"), "lsar", body, status) || status != 0) break;
        auto part = parseLsar(body);
        for (std::size_t i = 0; i < part.size(); ++i) {
            if (i == 0 && v > 0 && !all.empty() && all.back().name == part[i].name) {
                all.back().packed += part[i].packed;
                all.back().unpacked += part[i].unpacked;
            } else {
                all.push_back(part[i]);
            }
        }
    }
    return all;
}

// Every corpus sample lsar lists without error lists with the same names
// and sizes; a volume set is listed through all its volumes, with the sizes
// of a spanning member summed over its parts.
TEST(ListArjCorpus, MatchesLsar) {
    auto files = samples("arj");
    if (files.empty()) GTEST_SKIP() << "corpus not found";
    int compared = 0, sets = 0;
    for (auto& f : files) {
        if (plat::extractFileExt(f) != ".arj") continue; // later volumes follow the first
        std::string body;
        int status = -1;
        if (!peerSection(slurp(f + ".peer.txt"), "lsar", body, status) || status != 0) continue;
        const bool set = fs::exists(f.substr(0, f.size() - 4) + ".a01");
        auto peer = set ? peerOfSet(f) : parseLsar(body);
        sets += set;
        SCOPED_TRACE(f);
        Listing l = list(f, "*.*", true);
        ASSERT_TRUE(l.ok);
        EXPECT_TRUE(l.errors.empty());
        ASSERT_EQ(l.members.size(), peer.size());
        ++compared;
        for (std::size_t i = 0; i < peer.size(); ++i) {
            EXPECT_EQ(l.members[i].name, peer[i].name);
            EXPECT_EQ(l.members[i].unpacked, peer[i].unpacked);
            EXPECT_EQ(l.members[i].packed, peer[i].packed);
        }
    }
    EXPECT_GE(compared, 20);
    EXPECT_EQ(sets, 2);
}

TEST(ListArjCorpus, SplitSetMember) {
    const std::string first = corpus("arj/sharpcompress__Arj.store.split.arj");
    if (!fs::exists(first)) GTEST_SKIP() << "corpus sample missing";
    Listing l = list(first);
    ASSERT_TRUE(l.ok);
    ASSERT_GE(l.members.size(), 1u);
    EXPECT_EQ(l.members[0].name, "EXE/TEST.EXE");
    EXPECT_EQ(l.members[0].unpacked, 19261 + 19261 + 6534);
    // Listing from the second volume starts with the member's second part.
    Listing mid = list(corpus("arj/sharpcompress__Arj.store.split.a01"));
    ASSERT_TRUE(mid.ok);
    ASSERT_GE(mid.members.size(), 1u);
    EXPECT_EQ(mid.members[0].unpacked, 19261 + 6534);
}

// The name starts at the first-header size, so extra fixed fields are
// stepped over; DOS hosts keep DOS date-times; flags and comments.
TEST(ListArjHeaders, FieldsAndLayout) {
    TempDir dir;
    std::string arc = arjMain("Main comment") +
                      arjHeader("DIR\\A.TXT", "first", 4, 10, 0x01, 0, 0, kDos2010, 38) + "abcd" +
                      arjHeader("B.DOC", "", 2, 2, 0x08, 0, 0, kDos2010, 34) + "xy" + arjEnd();
    spit(dir / "h.arj", arc);
    Listing l = list(dir / "h.arj");
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.members.size(), 2u);
    EXPECT_EQ(l.comment, "Main comment");
    EXPECT_EQ(l.members[0].name, "DIR/A.TXT");
    EXPECT_EQ(l.members[0].comment, "first");
    EXPECT_TRUE(l.members[0].encrypted);
    EXPECT_EQ(l.members[0].packed, 4);
    EXPECT_EQ(l.members[0].unpacked, 10);
    EXPECT_EQ(l.members[0].ratio, 60);
    EXPECT_EQ(l.members[0].crc, 0xCAFEF00Du);
    EXPECT_EQ(l.members[0].methodName, "Most");
    EXPECT_EQ(l.members[0].versionMadeBy, 11);
    EXPECT_EQ(l.members[0].versionNeeded, 1);
    EXPECT_NEAR(l.members[0].date, plat::dosToDateTime(kDos2010), 1e-9);
    EXPECT_EQ(l.members[0].offset, static_cast<std::int64_t>(arjMain("Main comment").size()));
    EXPECT_EQ(l.members[1].name, "B.DOC");
    EXPECT_FALSE(l.members[1].encrypted);
    EXPECT_EQ(l.totals, 2);
    EXPECT_EQ(l.totalPacked, 6);
    EXPECT_EQ(l.totalUnpacked, 12);
    const std::vector<std::string> order = {"activate", "begin", "read",   "end",       "begin",
                                            "read",     "end",   "totals", "deactivate"};
    EXPECT_EQ(l.events, order);
}

TEST(ListArjHeaders, UnixHostTakesUnixTime) {
    TempDir dir;
    spit(dir / "u.arj", arjMain() + arjHeader("U.TXT", "", 0, 0, 0, 2, 0, 1623764731) + arjEnd());
    Listing l = list(dir / "u.arj");
    ASSERT_EQ(l.members.size(), 1u);
    EXPECT_NEAR(l.members[0].date, plat::unixToDateTime(1623764731), 1e-9);
}

TEST(ListArjHeaders, DamagedArchivesEndInOrder) {
    TempDir dir;
    const std::string good = arjMain() + arjHeader("A.TXT", "", 1, 1) + "a";
    struct Case {
        const char* what;
        std::string tail;
    };
    std::vector<Case> cases = {
        {"no end header", ""},
        {"wrong id", std::string("\x61\xEA\x30\x00", 4) + std::string(40, 'x')},
        {"first size beyond the basic header",
         le16s(0xEA60) + le16s(20) + std::string(1, char(60)) + std::string(40, '\0')},
        {"first size too small",
         le16s(0xEA60) + le16s(40) + std::string(1, char(10)) + std::string(40, '\0')},
        {"truncated header", arjHeader("B.TXT", "", 1, 1).substr(0, 36)},
        {"data beyond the end", arjHeader("B.TXT", "", 0x7FFFFFFF, 1)},
        {"extended header chain past the end",
         arjHeader("B.TXT", "", 0, 0).substr(0, arjHeader("B.TXT", "", 0, 0).size() - 2) +
             le16s(0xFFF0)},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        spit(dir / "d.arj", good + c.tail);
        Listing l = list(dir / "d.arj");
        EXPECT_TRUE(l.ok);
        EXPECT_TRUE(l.errors.empty());
        ASSERT_GE(l.members.size(), 1u);
        EXPECT_EQ(l.members[0].name, "A.TXT");
        EXPECT_LE(l.members.size(), 2u);
    }
}

// Volume names: A01 to A99, then 100 up; the 1000th volume cannot be named.
TEST(ListArjHeaders, VolumeNamingAndLimit) {
    TempDir dir;
    // Volume 99 continues into volume 100 (named .100), which ends the set.
    spit(dir / "s.a99", arjMain() + arjHeader("P.BIN", "", 1, 1, 0x04) + "p" + arjEnd());
    spit(dir / "s.100", arjMain() + arjHeader("P.BIN", "", 2, 2, 0x08) + "pq" + arjEnd());
    Listing l = list(dir / "s.a99");
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.members.size(), 1u);
    EXPECT_EQ(l.members[0].unpacked, 3);

    spit(dir / "s.999", arjMain() + arjHeader("P.BIN", "", 1, 1, 0x04) + "p" + arjEnd());
    Listing limit = list(dir / "s.999");
    EXPECT_FALSE(limit.ok);
    ASSERT_EQ(limit.errors.size(), 1u);
    EXPECT_EQ(limit.errors[0], err::OpenError);
    EXPECT_EQ(limit.errorVolumes[0], "1000");
}
