// The LZHUF coder and the level-0 header layout: streams that the
// program's own decoder, lhasa and jlha decode to the original bytes, for inputs that reach every
// corner of the coder (long matches, the farthest distance, model rebuilds, window slides,
// incompressible data), and the header bytes as written.
#include <gtest/gtest.h>

#include "archive/format/LhaFormat.h"
#include "tests/writers/LhaTest.h"

using namespace lhatest;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

struct Sample {
    const char* name;
    Bytes data;
};

// A block repeated at a fixed period: every match lies exactly that far back.
Bytes periodic(std::size_t period, std::size_t n, unsigned seed) {
    const Bytes block = randomBytes(period, seed);
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = block[i % period];
    return b;
}

std::vector<Sample> samples() {
    Bytes all;
    for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 256; ++c) all.push_back(static_cast<std::uint8_t>(c));
    Bytes skewed = randomBytes(200000, 7);
    for (auto& c : skewed) c = static_cast<std::uint8_t>(c % 3 == 0 ? 'e' : c % 7);
    return {
        {"one byte", {'x'}},
        {"three bytes", {'a', 'b', 'c'}},
        {"a run", Bytes(100000, 0)},
        {"every byte value", all},
        {"incompressible", randomBytes(300000, 3)},
        {"text crossing window slides", text(1 << 20, 5)},
        {"farthest distance", periodic(4035, 60000, 11)},
        {"just out of reach", periodic(4036, 60000, 12)},
        {"skewed symbols (deep codes)", skewed},
    };
}

} // namespace

TEST(LzhufCoder, PiecewiseInputCodesLikeWholeInput) {
    const Bytes data = text(300000, 9);
    const Bytes whole = lzhuf::encode(data);
    Bytes pieces;
    std::size_t at = 0, turn = 0;
    lzhuf::Encoder e;
    const std::uint64_t n = e.encode(
        [&](std::uint8_t* buf, std::size_t want) {
            // 1, 2, 3, ... bytes at a time: short reads are not the end.
            const std::size_t take = std::min({want, data.size() - at, ++turn % 700 + 1});
            std::memcpy(buf, data.data() + at, take);
            at += take;
            return take;
        },
        [&](const std::uint8_t* b, std::size_t k) { pieces.insert(pieces.end(), b, b + k); });
    EXPECT_EQ(n, pieces.size());
    EXPECT_EQ(pieces, whole);
    // One encoder codes member after member from a clean state.
    at = 0;
    Bytes again;
    e.encode(
        [&](std::uint8_t* buf, std::size_t want) {
            const std::size_t take = std::min(want, data.size() - at);
            std::memcpy(buf, data.data() + at, take);
            at += take;
            return take;
        },
        [&](const std::uint8_t* b, std::size_t k) { again.insert(again.end(), b, b + k); });
    EXPECT_EQ(again, whole);
    EXPECT_TRUE(lzhuf::encode({}).empty());
}

TEST(LzhufCoder, Ratios) {
    EXPECT_LT(lzhuf::encode(Bytes(100000, 0)).size(), 2500u);
    EXPECT_LT(lzhuf::encode(text(1 << 20)).size(), (1u << 20) * 35 / 100);
    // Random bytes cost about a byte each, plus the model's start-up.
    EXPECT_LT(lzhuf::encode(randomBytes(100000, 1)).size(), 100000u * 101 / 100);
}

TEST(LzhufCoder, DecodersReadTheStreams) {
    std::vector<std::string> peers;
    for (const char* t : {"lhasa", "jlha"})
        if (havePeer(t)) peers.push_back(t);
    TempDir tmp;
    int i = 0;
    for (const Sample& s : samples()) {
        // The program's own decoder.
        const auto r = testsupport::decodeWith(fmt::Codec::Lzhuf, lzhuf::encode(s.data),
                                               testsupport::params(s.data.size()));
        EXPECT_EQ(r.code, 0) << s.name;
        EXPECT_TRUE(Bytes(r.text.begin(), r.text.end()) == s.data) << s.name;
        // The peers, from a one-member archive.
        const std::string archive = tmp / ("s" + std::to_string(i++) + ".lzh");
        writeFile(archive, lh1Archive(s.data));
        for (const std::string& peer : peers) {
            const std::string dir = archive + "." + peer;
            ASSERT_TRUE(peerExtracts(peer, archive, dir)) << peer << ": " << s.name;
            EXPECT_TRUE(testsupport::readFile(dir + "/data.bin") == s.data)
                << peer << ": " << s.name;
        }
    }
    if (peers.empty()) GTEST_SKIP() << "neither lhasa nor jlha is installed";
}

TEST(LhaLevel0Header, LayoutChecksumAndRoundTrip) {
    lha::Header h;
    std::memcpy(h.MethodId, "-lh1-", 5);
    h.PackedSize = 0x01020304;
    h.UnpackedSize = 0x0A0B0C0D;
    h.Stamp = 0x5A2B6000;
    h.Attr = 0x21;
    h.Name = "SUB\\A.TXT";
    h.Crc = 0xBEEF;
    const Bytes b = lha::writeLevel0(h);
    const Bytes expect = {31,   0,    '-',  'l',  'h',  '1',  '-',  4,    3,    2,    1,
                          0x0D, 0x0C, 0x0B, 0x0A, 0x00, 0x60, 0x2B, 0x5A, 0x21, 0,    9,
                          'S',  'U',  'B',  '\\', 'A',  '.',  'T',  'X',  'T',  0xEF, 0xBE};
    ASSERT_EQ(b.size(), expect.size());
    EXPECT_TRUE(std::equal(b.begin() + 2, b.end(), expect.begin() + 2));
    EXPECT_EQ(b[0], 31) << "22 + name length";
    EXPECT_EQ(b[1], lha::headerChecksum(b.data() + 2, b.size() - 2));

    auto read = [&](std::int64_t pos, void* buf, std::size_t n) {
        if (pos < 0 || pos + static_cast<std::int64_t>(n) > static_cast<std::int64_t>(b.size()))
            return false;
        std::memcpy(buf, b.data() + pos, n);
        return true;
    };
    lha::Header back;
    ASSERT_EQ(lha::readHeader(read, 0, static_cast<std::int64_t>(b.size()), back), lha::Status::Ok);
    EXPECT_TRUE(back.ChecksumOk);
    EXPECT_EQ(back.Level, 0);
    EXPECT_EQ(std::string(back.MethodId, 5), "-lh1-");
    EXPECT_EQ(back.PackedSize, h.PackedSize);
    EXPECT_EQ(back.UnpackedSize, h.UnpackedSize);
    EXPECT_EQ(back.Stamp, h.Stamp);
    EXPECT_EQ(back.Attr, 0x21);
    EXPECT_EQ(back.Crc, 0xBEEF);
    EXPECT_EQ(back.Path(), "SUB/A.TXT");
    EXPECT_EQ(back.HeaderLength, 33);
}

TEST(LhaLevel0Header, RefusesWhatDoesNotFit) {
    lha::Header h;
    std::memcpy(h.MethodId, "-lh0-", 5);
    h.Name = std::string(lha::kMaxLevel0Name, 'n');
    EXPECT_EQ(lha::writeLevel0(h).size(), 255u + 2);
    EXPECT_EQ(lha::writeLevel0(h)[0], 255);
    h.Name += 'n';
    EXPECT_TRUE(lha::writeLevel0(h).empty()) << "name too long for the size byte";
    h.Name = "a";
    h.UnpackedSize = std::int64_t{1} << 32;
    EXPECT_TRUE(lha::writeLevel0(h).empty()) << "size beyond 32 bits";
    h.UnpackedSize = 0xFFFFFFFF;
    EXPECT_FALSE(lha::writeLevel0(h).empty());
}
