// ARC and PAK directories: archives made by arc, the corpus against lsar,
// hand-made headers.
#include "archive/core/Crc.h"
#include "test_list_support.h"

using namespace listtest;

namespace {

std::string le16s(std::uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
std::string le32s(std::uint32_t v) {
    return le16s(v & 0xFFFF) + le16s(v >> 16);
}

// 2010-01-01 12:30:10 as DOS date and time.
constexpr std::uint16_t kDate = (30u << 9) | (1u << 5) | 1u;
constexpr std::uint16_t kTime = (12u << 11) | (30u << 5) | 5u;

std::string arcHeader(int method, const std::string& name, std::uint32_t packed,
                      std::uint32_t unpacked, std::uint16_t crc) {
    std::string n = name;
    n.resize(13, '\0');
    std::string h = std::string{0x1A, static_cast<char>(method)} + n + le32s(packed) +
                    le16s(kDate) + le16s(kTime) + le16s(crc);
    if (method != 1) h += le32s(unpacked);
    return h;
}
std::string arcEnd() {
    return std::string{0x1A, 0};
}

} // namespace

// arc crunches and stores; names, sizes, CRCs and dates are the inputs'.
// arc sorts by name, so the crunched member comes first: type detection
// knows ARC archives only by a first member crunched or squashed.
TEST(ListArcInterop, ArcTool) {
    if (!haveTool("arc")) GTEST_SKIP() << "arc not installed";
    TempDir dir;
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "entry " + std::to_string(i % 97) + "\n";
    struct Input {
        std::string name, data;
        std::int64_t mtime;
    } inputs[] = {{"big.txt", text, 1300000000}, {"tiny.txt", "hello world\n", 1262349010}};
    for (auto& in : inputs) {
        spit(dir / in.name, in.data);
        touch(dir / in.name, in.mtime);
    }
    ASSERT_TRUE(run(dir.path(), "arc a t.arc big.txt tiny.txt"));
    Listing l = list(dir / "t.arc");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.type, atARC);
    ASSERT_EQ(l.members.size(), 2u);
    EXPECT_EQ(l.totals, 2);
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& m = l.members[i];
        EXPECT_EQ(m.name, inputs[i].name);
        EXPECT_EQ(m.unpacked, static_cast<std::int64_t>(inputs[i].data.size()));
        EXPECT_EQ(m.crc, crc16Of(inputs[i].data.data(), inputs[i].data.size()));
        EXPECT_NEAR(m.date, plat::unixToDateTime(inputs[i].mtime), 1e-7);
        EXPECT_EQ(m.externalAttr, 32u);
    }
    EXPECT_EQ(l.members[0].methodName, "Crunched");
    EXPECT_EQ(l.members[1].methodName, "Stored");
    EXPECT_EQ(l.members[0].offset, 0);
    EXPECT_EQ(l.members[1].offset, 29 + l.members[0].packed);
    EXPECT_LT(l.members[0].packed, l.members[0].unpacked);
    EXPECT_EQ(l.totalPacked, l.members[0].packed + l.members[1].packed);
    if (haveTool("lsar")) {
        ASSERT_TRUE(run(dir.path(), "lsar -L t.arc > peer.txt"));
        auto peer = parseLsar(slurp(dir / "peer.txt"));
        ASSERT_EQ(peer.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(peer[i].packed, l.members[i].packed);
    }
}

// Every ARC and PAK corpus sample that lsar lists lists with the same
// names and sizes, whatever the method of its first member.
TEST(ListArcCorpus, MatchesLsar) {
    int compared = 0, undetected = 0;
    for (const char* folder : {"arc", "pak"}) {
        for (auto& f : samples(folder)) {
            std::string body;
            int status = -1;
            if (!peerSection(slurp(f + ".peer.txt"), "lsar", body, status) || status != 0) continue;
            auto peer = parseLsar(body);
            SCOPED_TRACE(f);
            Listing l = list(f);
            if (l.type == atUnknown) {
                ++undetected;
                continue;
            }
            ASSERT_TRUE(l.ok);
            ASSERT_EQ(l.members.size(), peer.size());
            for (std::size_t i = 0; i < peer.size(); ++i) {
                EXPECT_EQ(l.members[i].name, peer[i].name);
                EXPECT_EQ(l.members[i].unpacked, peer[i].unpacked);
                EXPECT_EQ(l.members[i].packed, peer[i].packed);
            }
            ++compared;
        }
    }
    if (compared + undetected == 0) GTEST_SKIP() << "corpus not found";
    std::cout << "[ compared " << compared << " samples; " << undetected
              << " not detected as ARC or PAK ]\n";
    EXPECT_GE(compared, 10);
    EXPECT_EQ(undetected, 0);
}

TEST(ListArcHeaders, MethodsNamesAndEndMarker) {
    TempDir dir;
    std::string arc = arcHeader(8, "ONE.TXT", 3, 10, 0x1111) + "abc" +
                      arcHeader(9, "TWO.DOC", 2, 4, 0x2222) + "de" +
                      arcHeader(3, "THREE.TXT", 1, 1, 0x3333) + "f" + arcEnd() +
                      "trailing bytes after the end marker are not members";
    spit(dir / "m.arc", arc);
    Listing l = list(dir / "m.arc");
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.members.size(), 3u);
    EXPECT_EQ(l.totals, 3);
    EXPECT_EQ(l.members[0].methodName, "Crunched");
    EXPECT_EQ(l.members[1].methodName, "Squashed");
    EXPECT_EQ(l.members[2].methodName, "Packed");
    EXPECT_EQ(l.members[0].ratio, 70);
    EXPECT_EQ(l.members[1].crc, 0x2222u);
    EXPECT_NEAR(l.members[0].date, plat::encodeDateTime(2010, 1, 1, 12, 30, 10), 1e-9);
    EXPECT_EQ(l.members[1].offset, 29 + 3);
    EXPECT_EQ(l.members[2].filenum, 3);

    Listing txt = list(dir / "m.arc", "*.TXT");
    ASSERT_EQ(txt.members.size(), 2u);
    EXPECT_EQ(txt.members[1].name, "THREE.TXT");
    EXPECT_EQ(txt.members[1].filenum, 2);
    EXPECT_EQ(txt.totalUnpacked, 11);
}

// Method 1 is the old 25-byte header without the uncompressed size.
TEST(ListArcHeaders, OldStoredHeader) {
    TempDir dir;
    spit(dir / "o.arc", arcHeader(8, "FIRST.COM", 1, 2, 6) + "f" +
                            arcHeader(1, "OLD.COM", 4, 0, 7) + "wxyz" +
                            arcHeader(2, "NEW.COM", 1, 1, 8) + "n" + arcEnd());
    Listing l = list(dir / "o.arc");
    ASSERT_EQ(l.members.size(), 3u);
    EXPECT_EQ(l.members[1].unpacked, 4);
    EXPECT_EQ(l.members[1].methodName, "Stored");
    EXPECT_EQ(l.members[2].name, "NEW.COM");
    EXPECT_EQ(l.members[2].offset, 30 + 25 + 4);
}

// PAK shares the layout; its own method names apply.
TEST(ListArcHeaders, PakMethodNames) {
    TempDir dir;
    spit(dir / "p.pak", arcHeader(10, "A.TXT", 1, 2, 0) + "a" + arcHeader(11, "B.TXT", 1, 2, 0) +
                            "b" + arcHeader(12, "C.TXT", 1, 2, 0) + "c" + arcEnd());
    Listing l = list(dir / "p.pak");
    if (l.type != atPAK) GTEST_SKIP() << "detection did not see PAK";
    ASSERT_EQ(l.members.size(), 3u);
    EXPECT_EQ(l.members[0].methodName, "Crushed");
    EXPECT_EQ(l.members[1].methodName, "Distill");
    EXPECT_EQ(l.members[2].methodName, "Unknown");
}

TEST(ListArcHeaders, DamagedArchivesEndInOrder) {
    TempDir dir;
    const std::string good = arcHeader(8, "A.TXT", 1, 1, 0) + "a";
    for (const std::string& tail :
         {std::string(), std::string("\x1A"), arcHeader(2, "B.TXT", 1, 1, 0).substr(0, 20),
          std::string("\x1B\x02") + std::string(40, 'x'),
          arcHeader(2, "NONAME-TERMINATOR", 0x7FFFFFFF, 1, 0),
          arcHeader(2, "B.TXT", 0xFFFFFFFF, 1, 0) + std::string(40, '\0')}) {
        spit(dir / "d.arc", good + tail);
        Listing l = list(dir / "d.arc");
        EXPECT_TRUE(l.ok);
        EXPECT_TRUE(l.errors.empty());
        ASSERT_GE(l.members.size(), 1u);
        EXPECT_EQ(l.members[0].name, "A.TXT");
        EXPECT_LE(l.members.size(), 2u);
    }
}
