// LHA/LZH directories: archives made by jlha at header levels 0 to 2, the
// corpus compared with lhasa's listing, and hand-made headers.
#include <set>

#include "archive/core/Crc.h"
#include "test_list_support.h"

using namespace listtest;

namespace {

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int x : b) s += static_cast<char>(x);
    return s;
}
std::string le16s(std::uint32_t v) {
    return bytes({int(v & 0xFF), int((v >> 8) & 0xFF)});
}
std::string le32s(std::uint32_t v) {
    return le16s(v & 0xFFFF) + le16s(v >> 16);
}

constexpr std::uint32_t kDos2010 = (30u << 25) | (1u << 21) | (1u << 16); // 2010-01-01 00:00

// A level 0 or 1 header; level 1 carries the given extended headers
// (type byte followed by data).
std::string lhaHeader01(int level, const std::string& method, const std::string& name,
                        std::uint32_t packed, std::uint32_t unpacked, std::uint16_t crc,
                        const std::vector<std::string>& exts = {}) {
    std::string extBytes;
    std::vector<std::uint32_t> sizes;
    for (auto& e : exts) sizes.push_back(static_cast<std::uint32_t>(e.size() + 2));
    for (std::size_t i = 0; i < exts.size(); ++i)
        extBytes += exts[i] + le16s(i + 1 < exts.size() ? sizes[i + 1] : 0);
    std::string body = method +
                       le32s(level == 1 ? packed + std::uint32_t(extBytes.size()) : packed) +
                       le32s(unpacked) + le32s(kDos2010) + bytes({0x20, level}) +
                       bytes({int(name.size())}) + name + le16s(crc);
    if (level == 1) {
        body += 'M';
        body += le16s(exts.empty() ? 0 : sizes[0]);
    }
    std::uint8_t sum = 0;
    for (char c : body) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
    return bytes({int(body.size()), sum}) + body + extBytes;
}

std::string lhaHeader2(const std::string& method, std::uint32_t packed, std::uint32_t unpacked,
                       std::uint32_t unixTime, std::uint16_t crc,
                       const std::vector<std::string>& exts) {
    std::string extBytes;
    for (std::size_t i = 0; i < exts.size(); ++i)
        extBytes += exts[i] + le16s(i + 1 < exts.size() ? exts[i + 1].size() + 2 : 0);
    std::string h = method + le32s(packed) + le32s(unpacked) + le32s(unixTime) + bytes({0x20, 2}) +
                    le16s(crc) + "U" + le16s(exts.empty() ? 0 : exts[0].size() + 2) + extBytes;
    return le16s(h.size() + 2) + h;
}

struct Input {
    std::string name;
    std::string data;
    std::int64_t mtime;
};

std::vector<Input> makeInputs(const TempDir& dir) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + " of text\n";
    std::vector<Input> in = {{"a.txt", "hello world\n", 1262347200},
                             {"sub/b.txt", text, 1300000000}};
    for (auto& f : in) {
        spit(dir / f.name, f.data);
        touch(dir / f.name, f.mtime);
    }
    return in;
}

bool plainAscii(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c >= 0x7F || c == '?') return false;
    return true;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

// jlha at levels 0, 1 and 2 with each method: names, sizes, CRCs and dates
// are those of the inputs; packed sizes agree with lhasa's listing.
TEST(ListLhaInterop, JlhaLevelsAndMethods) {
    if (!haveTool("jlha")) GTEST_SKIP() << "jlha not installed";
    TempDir dir;
    auto inputs = makeInputs(dir);
    struct Variant {
        const char* opts;
        const char* method;
    };
    const Variant variants[] = {
        {"z", "Stored"}, {"o5", "Frozen-5"}, {"o6", "Frozen-6"}, {"o7", "Frozen-7"}};
    for (int level = 0; level <= 2; ++level) {
        const std::string lv = std::to_string(level);
        for (const auto& v : variants) {
            SCOPED_TRACE("level " + lv + " " + v.opts);
            std::string arc = "t" + lv + v.opts + ".lzh";
            ASSERT_TRUE(run(dir.path(), "jlha c" + lv + v.opts + "q " + arc + " a.txt sub/b.txt"));
            Listing l = list(dir / arc);
            ASSERT_TRUE(l.ok);
            EXPECT_EQ(l.type, atLHA);
            ASSERT_EQ(l.members.size(), inputs.size());
            EXPECT_EQ(l.totals, 2);
            for (std::size_t i = 0; i < inputs.size(); ++i) {
                const Member& m = l.members[i];
                EXPECT_EQ(m.name, inputs[i].name);
                EXPECT_EQ(m.unpacked, static_cast<std::int64_t>(inputs[i].data.size()));
                EXPECT_EQ(m.crc, crc16Of(inputs[i].data.data(), inputs[i].data.size()));
                EXPECT_NEAR(m.date, plat::unixToDateTime(inputs[i].mtime), 1e-7);
                EXPECT_EQ(m.externalAttr >> 8, static_cast<std::uint32_t>(level));
                EXPECT_EQ(m.filenum, static_cast<int>(i) + 1);
            }
            EXPECT_EQ(l.members[1].methodName, v.method);
            EXPECT_EQ(l.members[0].methodName, "Stored"); // too small to compress
            EXPECT_EQ(l.members[0].offset, 0);
            if (haveTool("lha")) {
                std::string out = dir / "peer.txt";
                ASSERT_TRUE(run(dir.path(), "lha v " + arc + " > peer.txt; true") ||
                            fs::exists(out));
                auto peer = parseLhaV(slurp(out));
                ASSERT_EQ(peer.size(), l.members.size());
                for (std::size_t i = 0; i < peer.size(); ++i) {
                    EXPECT_EQ(peer[i].name, l.members[i].name);
                    EXPECT_EQ(peer[i].packed, l.members[i].packed);
                    EXPECT_EQ(peer[i].unpacked, l.members[i].unpacked);
                }
                EXPECT_EQ(l.totalPacked, l.members[0].packed + l.members[1].packed);
            }
        }
    }
}

// A folder added by jlha is a -lhd- entry: shown only with ShowBlankDirs.
TEST(ListLhaInterop, JlhaFolderEntries) {
    if (!haveTool("jlha")) GTEST_SKIP() << "jlha not installed";
    TempDir dir;
    makeInputs(dir);
    for (int level = 0; level <= 2; ++level) {
        SCOPED_TRACE(level);
        const std::string lv = std::to_string(level);
        std::string arc = "d" + lv + ".lzh";
        ASSERT_TRUE(run(dir.path(), "jlha c" + lv + "q " + arc + " sub"));
        Listing with = list(dir / arc, "*.*", true);
        ASSERT_TRUE(with.ok);
        Listing without = list(dir / arc, "*.*", false);
        ASSERT_TRUE(without.ok);
        bool sawDir = false;
        for (auto& m : with.members) sawDir |= m.name == "sub/";
        if (!sawDir) GTEST_SKIP() << "jlha stored no folder entry";
        EXPECT_EQ(with.members.size(), without.members.size() + 1);
        for (auto& m : without.members) EXPECT_NE(m.name, "sub/");
        EXPECT_NE(find(without, "sub/b.txt"), nullptr);
    }
}

// Every corpus sample that lhasa lists without error lists with the same
// names and sizes (folders included, as lhasa shows them).  Where lhasa
// stops early (or finds nothing) and 7-Zip lists more, 7-Zip's sizes count.
TEST(ListLhaCorpus, MatchesLhasa) {
    auto files = samples("lha");
    if (files.empty()) GTEST_SKIP() << "corpus not found";
    int compared = 0, undetected = 0, by7z = 0;
    for (auto& f : files) {
        const std::string peerText = slurp(f + ".peer.txt");
        std::string body;
        int status = -1;
        if (!peerSection(peerText, "lha", body, status) || status != 0) continue;
        auto peer = parseLhaV(body);
        bool namesToo = true;
        std::string body7;
        int status7 = -1;
        if (peerSection(peerText, "7zz", body7, status7) && status7 == 0) {
            auto peer7 = parse7z(body7);
            if (peer7.size() > peer.size()) {
                peer = peer7;
                namesToo = false;
                ++by7z;
            }
        }
        SCOPED_TRACE(f);
        Listing l = list(f, "*.*", true);
        if (l.type != atLHA && l.type != atLhaExe) {
            ++undetected; // type detection does not see an archive here
            continue;
        }
        ++compared;
        EXPECT_TRUE(l.ok);
        EXPECT_TRUE(l.errors.empty());
        ASSERT_EQ(l.members.size(), peer.size());
        for (std::size_t i = 0; i < peer.size(); ++i) {
            const auto& p = peer[i];
            const auto& m = l.members[i];
            // lhasa shows all-capital DOS names in small letters, '?' for
            // what is not printable ASCII, and drops ".." parts; the lister
            // shows names as stored.
            if (namesToo && plainAscii(p.name) && m.name.find("..") == std::string::npos) {
                EXPECT_TRUE(sameIgnoringCase(m.name, p.name)) << m.name << " vs " << p.name;
            }
            EXPECT_EQ(m.unpacked, p.unpacked) << m.name;
            EXPECT_EQ(m.packed, std::min(p.packed, p.unpacked)) << m.name;
        }
    }
    EXPECT_GT(compared, 100);
    std::cout << "[ compared " << compared << " samples (" << by7z << " with 7-Zip's sizes); "
              << undetected << " not detected as LHA ]\n";
}

// A level-1 folder extended header makes the folder part of the name; the
// extended headers are not part of the packed size.
TEST(ListLhaHeaders, Level1FolderExtension) {
    TempDir dir;
    std::string data(10, 'x');
    std::string arc = lhaHeader01(1, "-lh0-", "A.TXT", 10, 10, 0x1234,
                                  {bytes({0x02}) + "DOCS\xff", bytes({0x54}) + le32s(1)}) +
                      data + std::string(1, '\0');
    spit(dir / "f.lzh", arc);
    Listing l = list(dir / "f.lzh");
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.members.size(), 1u);
    EXPECT_EQ(l.members[0].name, "DOCS/A.TXT");
    EXPECT_EQ(l.members[0].packed, 10);
    EXPECT_EQ(l.members[0].crc, 0x1234u);
    EXPECT_EQ(l.members[0].externalAttr, 0x20u + 256u);
    EXPECT_NEAR(l.members[0].date, plat::dosToDateTime(kDos2010), 1e-9);
    EXPECT_EQ(l.totalPacked, 10);
}

TEST(ListLhaHeaders, PackedLargerThanUnpacked) {
    TempDir dir;
    std::string arc = lhaHeader01(0, "-lh5-", "X.BIN", 120, 100, 1) + std::string(120, 'z') +
                      lhaHeader01(0, "-lh0-", "Y.BIN", 5, 5, 2) + "12345" + std::string(1, '\0');
    spit(dir / "p.lzh", arc);
    Listing l = list(dir / "p.lzh");
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.members.size(), 2u);
    EXPECT_EQ(l.members[0].packed, 100);
    EXPECT_EQ(l.members[0].unpacked, 100);
    EXPECT_EQ(l.members[0].methodName, "Frozen-5");
    EXPECT_EQ(l.members[1].offset, 24 + 5 + 120);
    EXPECT_EQ(l.members[1].name, "Y.BIN");
    // Totals take the raw sizes.
    EXPECT_EQ(l.totalPacked, 125);
    EXPECT_EQ(l.totalUnpacked, 105);
}

// Level 2: the name and folder come from extended headers, the time is a
// Unix time; -lhd- entries follow the ShowBlankDirs rule; a backslash and
// a 0xFF in stored names become '/'.
TEST(ListLhaHeaders, Level2NamesFoldersAndMasks) {
    TempDir dir;
    std::string arc = lhaHeader2("-lhd-", 0, 0, 1000000000, 0, {bytes({0x02}) + "DOCS\xff"}) +
                      lhaHeader2("-lh0-", 3, 3, 1000000000, 7,
                                 {bytes({0x01}) + "NOTE.TXT", bytes({0x02}) + "DOCS\xffOLD\xff"}) +
                      "abc" + lhaHeader01(0, "-lh0-", "BIN\\TOOL.EXE", 2, 2, 9) + "zz" +
                      std::string(1, '\0');
    spit(dir / "l2.lzh", arc);
    Listing all = list(dir / "l2.lzh", "*.*", true);
    ASSERT_TRUE(all.ok);
    ASSERT_EQ(all.members.size(), 3u);
    EXPECT_EQ(all.members[0].name, "DOCS/");
    EXPECT_EQ(all.members[1].name, "DOCS/OLD/NOTE.TXT");
    EXPECT_NEAR(all.members[1].date, plat::unixToDateTime(1000000000), 1e-9);
    EXPECT_EQ(all.members[2].name, "BIN/TOOL.EXE");
    EXPECT_EQ(all.totals, 3);

    Listing files = list(dir / "l2.lzh", "*.*", false);
    ASSERT_EQ(files.members.size(), 2u);
    EXPECT_EQ(files.members[0].filenum, 1);

    Listing txt = list(dir / "l2.lzh", "*.TXT", true);
    ASSERT_EQ(txt.members.size(), 2u); // the folder, and NOTE.TXT by its name part
    EXPECT_EQ(txt.members[1].name, "DOCS/OLD/NOTE.TXT");
}

// Stored names that are not UTF-8 are taken as CP437.
TEST(ListLhaHeaders, Cp437Names) {
    TempDir dir;
    spit(dir / "c.lzh", lhaHeader01(0, "-lh0-", "\x84\x94.TXT", 0, 0, 0) + std::string(1, '\0'));
    Listing l = list(dir / "c.lzh");
    ASSERT_EQ(l.members.size(), 1u);
    EXPECT_EQ(l.members[0].name, "\xc3\xa4\xc3\xb6.TXT");
}

// Damaged archives end the walk in order: what came before is listed.
TEST(ListLhaHeaders, DamagedArchivesEndInOrder) {
    TempDir dir;
    const std::string good = lhaHeader01(0, "-lh0-", "A.TXT", 3, 3, 1) + "abc";
    struct Case {
        const char* what;
        std::string tail;
    };
    std::vector<Case> cases = {
        {"truncated header", lhaHeader01(1, "-lh5-", "B.TXT", 10, 10, 1).substr(0, 23)},
        {"bad method id", lhaHeader01(0, "xlh5x", "B.TXT", 1, 1, 1) + "q"},
        {"level 1 extension past the end",
         lhaHeader01(1, "-lh0-", "B.TXT", 1, 1, 1, {bytes({0x02}) + "D\xff"}).substr(0, 33)},
        {"level 2 extension size beyond the header", le16s(30) + "-lh0-" + le32s(0) + le32s(0) +
                                                         le32s(0) + bytes({0x20, 2}) + le16s(0) +
                                                         "U" + le16s(200) + "abcd"},
        {"level 2 extension of size 1", le16s(30) + "-lh0-" + le32s(0) + le32s(0) + le32s(0) +
                                            bytes({0x20, 2}) + le16s(0) + "U" + le16s(1) + "abcd"},
        {"level 3 huge header", le16s(4) + "-lh0-" + le32s(0) + le32s(0) + le32s(0) +
                                    bytes({0x20, 3}) + le16s(0) + "U" + le32s(0x7FFFFFFF) +
                                    le32s(0) + std::string(8, '\0')},
        {"unknown level",
         lhaHeader01(0, "-lh0-", "B.TXT", 1, 1, 1).replace(20, 1, 1, '\x07') + "q"},
        {"member data beyond the end", lhaHeader01(0, "-lh0-", "B.TXT", 0x7FFFFFF0, 1, 1)},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        spit(dir / "d.lzh", good + c.tail);
        Listing l = list(dir / "d.lzh");
        EXPECT_TRUE(l.errors.empty());
        ASSERT_GE(l.members.size(), 1u);
        EXPECT_EQ(l.members[0].name, "A.TXT");
        EXPECT_LE(l.members.size(), 2u);
        EXPECT_EQ(l.events.back(), "deactivate");
    }
}
