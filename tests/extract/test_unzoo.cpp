// The ZOO extractor on hand-made archives (no ZOO tool ships with the
// system): long names, members side by side in the target folder, deleted
// entries, a damaged chain, shared data and refused methods.  The corpus
// sweep covers ZOO's LZW and method 2.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/core/Crc.h"
#include "archive/extract/UnZOO.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/ExtractFixture.h"

namespace fs = std::filesystem;
using testsupport::Bytes;

namespace {

constexpr std::uint32_t kTag = 0xFDC4A7DC;

std::uint16_t crc16(const std::string& s) {
    std::uint16_t c = 0;
    Crc16Update(s.data(), s.size(), c);
    return c;
}

struct ZooEntry {
    std::string shortName;
    std::string data;
    std::string longName = {};
    std::string dir = {};
    int method = 0;
    bool deleted = false;
    std::uint32_t tag = kTag;
    // Overrides: 0 keeps what the builder works out.
    std::uint32_t dataPos = 0;
    std::uint32_t next = 0;
};

// The archive header, then each entry followed by its data, then the empty
// entry that ends the chain.
Bytes zooArchive(const std::vector<ZooEntry>& entries, bool consistent = true) {
    Bytes out;
    std::string text = "ZOO 2.10 Archive.\x1A";
    text.resize(20, '\0');
    testsupport::putStr(out, text);
    testsupport::put32(out, kTag);
    testsupport::put32(out, 42);
    testsupport::put32(out, consistent ? 0u - 42u : 0u);
    out.insert(out.end(), {2, 1, 1});
    testsupport::put32(out, 0);
    testsupport::put16(out, 0);
    out.push_back(0);
    for (const ZooEntry& e : entries) {
        Bytes var;
        if (!e.longName.empty() || !e.dir.empty()) {
            var.push_back(static_cast<std::uint8_t>(e.longName.size() + 1));
            var.push_back(static_cast<std::uint8_t>(e.dir.size() + 1));
            testsupport::putStr(var, e.longName);
            var.push_back(0);
            testsupport::putStr(var, e.dir);
            var.push_back(0);
            var.insert(var.end(), 7, 0);
        }
        const auto pos = static_cast<std::uint32_t>(out.size());
        const std::uint32_t dataPos =
            pos + 56 + static_cast<std::uint32_t>(var.empty() ? 2 : var.size());
        const std::uint32_t next = dataPos + static_cast<std::uint32_t>(e.data.size());
        Bytes h;
        testsupport::put32(h, e.tag);
        h.push_back(2);
        h.push_back(static_cast<std::uint8_t>(e.method));
        testsupport::put32(h, e.next ? e.next : next);
        testsupport::put32(h, e.dataPos ? e.dataPos : dataPos);
        testsupport::put16(h, (39u << 9) | (6u << 5) | 15u);
        testsupport::put16(h, (10u << 11) | (20u << 5) | 15u);
        testsupport::put16(h, crc16(e.data));
        testsupport::put32(h, static_cast<std::uint32_t>(e.data.size()));
        testsupport::put32(h, static_cast<std::uint32_t>(e.data.size()));
        h.insert(h.end(), {2, 0, static_cast<std::uint8_t>(e.deleted), 0});
        testsupport::put32(h, 0);
        testsupport::put16(h, 0);
        std::string name = e.shortName;
        name.resize(13, '\0');
        testsupport::putStr(h, name);
        testsupport::put16(h, static_cast<std::uint32_t>(var.size()));
        h.insert(h.end(), 3, 0);
        if (var.empty())
            h.insert(h.end(), 2, 0);
        else
            testsupport::putBytes(h, var);
        testsupport::putBytes(out, h);
        testsupport::putStr(out, e.data);
    }
    testsupport::put32(out, kTag);
    out.insert(out.end(), 54, 0);
    return out;
}

class UnZoo : public ExtractFixture {};

} // namespace

TEST_F(UnZoo, LongNamesAndMembersSideBySide) {
    ZooEntry a{"LONGNA~1.TXT", "long one", "long name.text", "docs/old"};
    ZooEntry b{"PLAIN.TXT", "plain", "", "some/dir"};
    auto x = extractorFor(write(zooArchive({a, b}), "a.zoo"));
    ASSERT_TRUE(x);
    x->Extract();
    EXPECT_EQ(x->StopCode, 0);
    EXPECT_EQ(slurp("long name.text"), "long one");
    EXPECT_EQ(slurp("PLAIN.TXT"), "plain");
    EXPECT_FALSE(fs::exists(out + "/docs"));
    EXPECT_EQ(log, (std::vector<std::string>{"activate", "begin long name.text 1",
                                             "end long name.text pass", "begin PLAIN.TXT 2",
                                             "end PLAIN.TXT pass", "deactivate"}));
}

TEST_F(UnZoo, DeletedEntriesAreNoLongerMembers) {
    ZooEntry old{"NOTE.TXT", "old text"};
    old.deleted = true;
    ZooEntry now{"NOTE.TXT", "new text"};
    auto x = extractorFor(write(zooArchive({old, now}), "a.zoo"));
    ASSERT_TRUE(x);
    // A plain name picks the member, not the entry it replaced.
    x->SetFileSpec("NOTE.TXT");
    x->Extract();
    EXPECT_EQ(slurp("NOTE.TXT"), "new text");
}

TEST_F(UnZoo, DamagedChainStopsWithBadFileHeader) {
    struct Case {
        const char* what;
        ZooEntry second;
        bool firstExtracted;
    };
    ZooEntry badTag{"B.TXT", "b"};
    badTag.tag = 0x12345678;
    ZooEntry backward{"B.TXT", "b"};
    backward.next = 42; // back to the first entry: a loop
    ZooEntry pastEnd{"B.TXT", "b"};
    pastEnd.dataPos = 1u << 30;
    ZooEntry shared{"B.TXT", "b"};
    shared.dataPos = 42 + 58; // the first member's data
    const Case cases[] = {
        {"a second entry with a bad tag", badTag, true},
        {"a chain that runs backward", backward, true},
        {"data past the end of the file", pastEnd, true},
        {"two members sharing data", shared, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.clear();
        errors.clear();
        fs::remove_all(out);
        auto x = extractorFor(write(zooArchive({{"A.TXT", "alpha"}, c.second}), "d.zoo"));
        ASSERT_TRUE(x);
        x->Extract();
        EXPECT_EQ(x->StopCode, err::BadFileHeader);
        EXPECT_EQ(errors, std::vector<int>{err::BadFileHeader});
        EXPECT_EQ(fs::exists(out + "/A.TXT"), c.firstExtracted);
        EXPECT_FALSE(fs::exists(out + "/B.TXT"));
        EXPECT_EQ(log.back(), "deactivate");
    }
}

TEST_F(UnZoo, ArchiveHeaderChecks) {
    auto x = extractorFor(write(zooArchive({{"A.TXT", "a"}}, false), "h.zoo"));
    ASSERT_TRUE(x);
    x->Extract();
    EXPECT_EQ(x->StopCode, err::BadFileHeader);
    EXPECT_EQ(log, (std::vector<std::string>{"error 25108 h.zoo", "deactivate"}));
}

TEST_F(UnZoo, MethodsWithoutADecoderStopWithOnError) {
    ZooEntry odd{"ODD.TXT", "odd"};
    odd.method = 3;
    auto x = extractorFor(write(zooArchive({{"A.TXT", "a"}, odd, {"C.TXT", "c"}}), "m.zoo"));
    ASSERT_TRUE(x);
    x->Extract();
    EXPECT_EQ(x->StopCode, err::UnsupportedMethod);
    EXPECT_EQ(errors, std::vector<int>{err::UnsupportedMethod});
    EXPECT_EQ(slurp("A.TXT"), "a");
    EXPECT_FALSE(fs::exists(out + "/ODD.TXT"));
    EXPECT_FALSE(fs::exists(out + "/C.TXT"));
}
