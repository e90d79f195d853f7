// ZOO directories: the corpus against lsar and hand-made archives.
#include "test_list_support.h"

using namespace listtest;

namespace {

std::string le16s(std::uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
std::string le32s(std::uint32_t v) {
    return le16s(v & 0xFFFF) + le16s(v >> 16);
}

constexpr std::uint32_t kTag = 0xFDC4A7DC;
constexpr std::uint16_t kDate = (30u << 9) | (1u << 5) | 1u; // 2010-01-01
constexpr std::uint16_t kTime = (8u << 11) | (15u << 5);     // 08:15:00

struct ZooEntry {
    std::string shortName;
    std::string longName;
    std::string dir;
    std::uint32_t packed = 0, unpacked = 0;
    std::uint16_t crc = 0;
    int method = 0;
    std::string comment;
};

// Builds an archive: 42-byte header, entries each followed by their data
// and comment, then the empty entry that ends the chain.
std::string zooArchive(const std::vector<ZooEntry>& entries, const std::string& archiveComment = "",
                       bool brokenHeader = false) {
    std::string out;
    std::string text = "ZOO 2.10 Archive.\x1A";
    text.resize(20, '\0');
    const std::uint32_t first = 42;
    out = text + le32s(kTag) + le32s(first) + le32s(brokenHeader ? 0 : 0u - first) +
          std::string{2, 1, 1} + le32s(0) + le16s(0) + std::string(1, '\0');
    for (const auto& e : entries) {
        const std::uint32_t pos = static_cast<std::uint32_t>(out.size());
        std::string var;
        if (!e.longName.empty() || !e.dir.empty()) {
            var = std::string{static_cast<char>(e.longName.size() + (e.longName.empty() ? 0 : 1)),
                              static_cast<char>(e.dir.size() + (e.dir.empty() ? 0 : 1))};
            if (!e.longName.empty()) var += e.longName + '\0';
            if (!e.dir.empty()) var += e.dir + '\0';
            var += std::string(7, '\0'); // system id, attributes, version flag
        }
        const std::uint32_t dataPos =
            pos + 56 + static_cast<std::uint32_t>(var.empty() ? 2 : var.size());
        const std::uint32_t commentAt = dataPos + e.packed;
        const std::uint32_t next = commentAt + static_cast<std::uint32_t>(e.comment.size());
        std::string name = e.shortName;
        name.resize(13, '\0');
        std::string h = le32s(kTag) + std::string{2, static_cast<char>(e.method)} + le32s(next) +
                        le32s(dataPos) + le16s(kDate) + le16s(kTime) + le16s(e.crc) +
                        le32s(e.unpacked) + le32s(e.packed) + std::string{2, 0, 0, 0} +
                        le32s(e.comment.empty() ? 0 : commentAt) +
                        le16s(static_cast<std::uint32_t>(e.comment.size())) + name +
                        le16s(static_cast<std::uint32_t>(var.size())) + std::string(3, '\0');
        h += var.empty() ? std::string(2, '\0') : var;
        out += h + std::string(e.packed, 'd') + e.comment;
    }
    out += le32s(kTag) + std::string(54, '\0'); // the end of the chain
    if (!archiveComment.empty()) {
        const std::size_t commentPos = out.size();
        out += archiveComment;
        out.replace(35, 4, le32s(static_cast<std::uint32_t>(commentPos)));
        out.replace(39, 2, le16s(static_cast<std::uint32_t>(archiveComment.size())));
    }
    return out;
}

} // namespace

// Every corpus sample lsar lists lists with the same names and sizes; the
// empty entry that ends the chain is not a member.
TEST(ListZooCorpus, MatchesLsar) {
    auto files = samples("zoo");
    if (files.empty()) GTEST_SKIP() << "corpus not found";
    int compared = 0;
    for (auto& f : files) {
        std::string body;
        int status = -1;
        if (!peerSection(slurp(f + ".peer.txt"), "lsar", body, status) || status != 0) continue;
        auto peer = parseLsar(body);
        SCOPED_TRACE(f);
        Listing l = list(f);
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(l.type, atZOO);
        ASSERT_EQ(l.members.size(), peer.size());
        EXPECT_EQ(l.totals, static_cast<int>(peer.size()));
        for (std::size_t i = 0; i < peer.size(); ++i) {
            EXPECT_EQ(l.members[i].name, peer[i].name);
            EXPECT_EQ(l.members[i].unpacked, peer[i].unpacked);
            EXPECT_EQ(l.members[i].packed, peer[i].packed);
        }
        ++compared;
    }
    EXPECT_EQ(compared, 5);
}

TEST(ListZooCorpus, PatoolSampleFields) {
    const std::string f = corpus("zoo/patool__t.zoo");
    if (!fs::exists(f)) GTEST_SKIP() << "corpus sample missing";
    Listing l = list(f);
    ASSERT_EQ(l.members.size(), 2u);
    EXPECT_EQ(l.members[0].name, "t.txt");
    EXPECT_EQ(l.members[0].crc, 0x1597u);
    EXPECT_EQ(l.members[0].methodName, "Stored");
    EXPECT_EQ(l.members[0].offset, 42);
    EXPECT_EQ(l.members[0].versionMadeBy, 1);
    EXPECT_EQ(l.members[1].name, "t2.txt");
    EXPECT_EQ(l.members[1].filenum, 2);
}

// Long names and folders of the variable part make the name; comments.
TEST(ListZooHeaders, LongNamesFoldersAndComments) {
    TempDir dir;
    ZooEntry a{"LONGFI~1.TXT", "long file name.txt", "docs/old", 10, 20, 0x4242, 2, "note"};
    ZooEntry b{"SHORT.DOC", "", "", 5, 5, 7, 0, ""};
    ZooEntry c{"INDIR.TXT", "", "base", 1, 1, 1, 1, ""};
    spit(dir / "a.zoo", zooArchive({a, b, c}, "archive words"));
    Listing l = list(dir / "a.zoo");
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.members.size(), 3u);
    EXPECT_EQ(l.members[0].name, "docs/old/long file name.txt");
    EXPECT_EQ(l.members[0].comment, "note");
    EXPECT_EQ(l.members[0].methodName, "Greatest");
    EXPECT_EQ(l.members[0].ratio, 50);
    EXPECT_EQ(l.members[0].crc, 0x4242u);
    EXPECT_NEAR(l.members[0].date, plat::encodeDateTime(2010, 1, 1, 8, 15, 0), 1e-9);
    EXPECT_EQ(l.members[1].name, "SHORT.DOC");
    EXPECT_EQ(l.members[2].name, "base/INDIR.TXT");
    EXPECT_EQ(l.members[2].methodName, "Fastest");
    EXPECT_EQ(l.comment, "archive words");
    EXPECT_EQ(l.totals, 3);
    EXPECT_EQ(l.totalPacked, 16);

    Listing txt = list(dir / "a.zoo", "*.TXT");
    ASSERT_EQ(txt.members.size(), 2u);
    EXPECT_EQ(txt.members[1].name, "base/INDIR.TXT");
}

TEST(ListZooHeaders, InconsistentHeaderListsNothing) {
    TempDir dir;
    spit(dir / "b.zoo", zooArchive({{"A.TXT", "", "", 1, 1, 0, 0, ""}}, "", true));
    Listing l = list(dir / "b.zoo");
    EXPECT_TRUE(l.ok);
    EXPECT_TRUE(l.errors.empty());
    EXPECT_TRUE(l.members.empty());
    EXPECT_EQ(l.totals, 0);
}

TEST(ListZooHeaders, DamagedChainsEndInOrder) {
    TempDir dir;
    const std::string good =
        zooArchive({{"A.TXT", "", "", 1, 1, 0, 0, ""}, {"B.TXT", "", "", 1, 1, 0, 0, ""}});
    const std::size_t second = 42 + 58 + 1;
    struct Case {
        const char* what;
        std::string data;
    };
    auto patched = [&](std::size_t at, const std::string& bytes) {
        std::string s = good;
        s.replace(at, bytes.size(), bytes);
        return s;
    };
    std::vector<Case> cases = {
        {"chain points backwards", patched(second + 6, le32s(42))},
        {"chain points at itself", patched(second + 6, le32s(second))},
        {"chain points past the end", patched(second + 6, le32s(0x7FFFFFF0))},
        {"negative next position", patched(second + 6, le32s(0xFFFFFFF0))},
        {"wrong tag", patched(second, le32s(0x12345678))},
        {"comment past the end", patched(second + 32, le32s(0x7FFFFFF0) + le16s(0xFFFF))},
        {"long name past the end", patched(second + 51, le16s(600)).substr(0, second + 60)},
        {"truncated", good.substr(0, second + 30)},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        spit(dir / "d.zoo", c.data);
        Listing l = list(dir / "d.zoo");
        EXPECT_TRUE(l.ok);
        EXPECT_TRUE(l.errors.empty());
        ASSERT_GE(l.members.size(), 1u);
        EXPECT_EQ(l.members[0].name, "A.TXT");
        EXPECT_LE(l.members.size(), 2u);
    }
}
