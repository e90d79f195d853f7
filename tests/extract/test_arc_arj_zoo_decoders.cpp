// ARC's run-length, squeezed and LZW decoders, ARJ's method 4 and ZOO's
// LZW on hand-made streams: the tricky codes, the refusals, and bounded
// work on hostile input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/core/Errors.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/DecoderHarness.h"

using fmt::Codec;
using testsupport::Bytes;
using testsupport::decodeWith;
using testsupport::params;

TEST(ArcPacked, RunsAndTheMarkerItself) {
    struct Case {
        Bytes in;
        std::string out;
    };
    const Case cases[] = {
        {{'a', 0x90, 0x00}, "a\x90"},
        {{'a', 0x90, 5, 'b'}, "aaaaab"},
        // 0x90 0x00 leaves the byte to repeat as it was.
        {{'x', 0x90, 0, 0x90, 3}, "x\x90xx"},
        {{'q', 0x90, 1}, "q"},
    };
    for (const Case& c : cases) {
        auto r = decodeWith(Codec::ArcPacked, c.in, params(c.out.size()));
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.text, c.out);
    }
}

TEST(ArcSqueezed, TreeBitsLeastSignificantFirst) {
    // Node 0: 0 -> 'A', 1 -> node 1; node 1: 0 -> 'B', 1 -> end.
    Bytes s;
    testsupport::put16(s, 2);
    for (int v : {-('A' + 1), 1, -('B' + 1), -(256 + 1)}) testsupport::put16(s, v & 0xFFFF);
    // A B A end: bits 0, 1 0, 0, 1 1 -> 0b11 0 01 0 read from bit 0 up.
    s.push_back(0b110010);
    auto r = decodeWith(Codec::ArcSqueezed, s, params(10));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "ABA");
}

TEST(ArcSqueezed, RefusesTreesItCannotHold) {
    Bytes big;
    testsupport::put16(big, 300);
    EXPECT_EQ(decodeWith(Codec::ArcSqueezed, big, params(10)).code, err::InvalidDecodeTree);
    // A child that names a node beyond the tree.
    Bytes outside;
    testsupport::put16(outside, 1);
    testsupport::put16(outside, 7);
    testsupport::put16(outside, 7);
    outside.push_back(0);
    EXPECT_EQ(decodeWith(Codec::ArcSqueezed, outside, params(10)).code, err::InvalidDecodeTree);
    // No tree at all decodes nothing.
    Bytes none;
    testsupport::put16(none, 0);
    none.push_back(0xFF);
    auto r = decodeWith(Codec::ArcSqueezed, none, params(10));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "");
}

namespace {

// Dynamic LZW codes, least significant bit first, in groups of `width`
// bytes (eight codes), as ARC's methods 8 and 9 write them.
Bytes lzwGroups(const std::vector<unsigned>& codes, int width) {
    testsupport::LsbBitWriter w;
    for (unsigned c : codes) w.put(c, width);
    Bytes b = w.finish();
    b.resize((b.size() + width - 1) / width * width, 0);
    return b;
}

} // namespace

TEST(ArcCrunched, Method8NeedsTwelveBitsAndDecodesRepeats) {
    Bytes bad = {13};
    EXPECT_EQ(decodeWith(Codec::ArcCrunched, bad, params(10, 0, 8)).code, err::IncorrectBits);
    // 'a', 'b', 257 ("ab"), 259 (the code being defined: "ba" + 'b'... )
    Bytes s = {12};
    testsupport::putBytes(s, lzwGroups({'a', 'b', 257, 259}, 9));
    auto r = decodeWith(Codec::ArcCrunched, s, params(7, 0, 8));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "ababab" + std::string("a"));
}

TEST(ArcSquashed, ClearStartsAFreshGroupOfNineBitCodes) {
    // Codes after the clear start a new group of 9-bit codes.
    Bytes s = lzwGroups({'x', 'y', 256}, 9);
    s.resize(9);
    testsupport::putBytes(s, lzwGroups({'z', 'z', 256}, 9));
    auto r = decodeWith(Codec::ArcSquashed, s, params(4));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "xyzz");
}

TEST(ArcLzw, HostileStreamsEndOrFailBounded) {
    // A clear makes the entry at 256 point to an older one that points
    // back: the chain loops.  It must end with an error, not hang.
    std::vector<unsigned> codes = {'a', 'b', 257, 258, 259, 256, 300, 256};
    for (int i = 0; i < 40; ++i) codes.push_back(256 + i % 5);
    for (Codec c : {Codec::ArcSquashed}) {
        auto r = decodeWith(c, lzwGroups(codes, 9), params(std::uint64_t{1} << 40), 1 << 20);
        EXPECT_TRUE(r.code == 0 || r.code == err::StackOverflow || r.code == err::WriteError);
    }
}

TEST(ArjFast, LiteralsAndMatches) {
    testsupport::MsbBitWriter w;
    // A single 0 bit: length code 0, a literal.
    w.put(0, 1);
    w.put('k', 8);
    // Length code "10" + 1 bit 1: base 1 + 1 = 2, length 4; position "0" +
    // 9 bits 0: distance 1.
    w.put(0b10, 2);
    w.put(1, 1);
    w.put(0, 1);
    w.put(0, 9);
    auto r = decodeWith(Codec::ArjFast, w.out, params(5));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "kkkkk");
}

TEST(ArjFast, FarthestPositionAndLongestLength) {
    testsupport::MsbBitWriter w;
    w.put(0, 1);
    w.put('z', 8);
    // Seven one-bits: base 127, then 7 bits of 127: 254, length 256.
    w.put(0x7F, 7);
    w.put(0x7F, 7);
    // Four one-bits: base 7680, then 13 bits: 8191; position 15871.
    w.put(0xF, 4);
    w.put(8191, 13);
    auto r = decodeWith(Codec::ArjFast, w.out, params(257));
    EXPECT_EQ(r.code, 0);
    ASSERT_EQ(r.text.size(), 257u);
    EXPECT_EQ(r.text[0], 'z');
}

namespace {

Bytes zooCodes(const std::vector<std::pair<unsigned, int>>& codes) {
    testsupport::LsbBitWriter w;
    for (auto [c, width] : codes) w.put(c, width);
    return w.finish();
}

} // namespace

TEST(ZooLzw, ClearInMidStreamGoesBackToNineBits) {
    // 256 'a' 'b' 258 ("ab") 256 'c' 'c' 257: after the second clear the
    // codes are 9 bits again and 258 is free once more.
    auto s =
        zooCodes({{256, 9}, {'a', 9}, {'b', 9}, {258, 9}, {256, 9}, {'c', 9}, {258, 9}, {257, 9}});
    auto r = decodeWith(Codec::ZooLzw, s, params(100));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "ababccc");
}

TEST(ZooLzw, CodesWidenAsTheTableFills) {
    // 254 literals define 258..511; the next code is 10 bits wide.
    std::vector<std::pair<unsigned, int>> codes = {{256, 9}};
    std::string want;
    for (int i = 0; i < 255; ++i) {
        codes.push_back({static_cast<unsigned>('a' + i % 26), 9});
        want += static_cast<char>('a' + i % 26);
    }
    codes.push_back({258, 10}); // "ab"
    want += "ab";
    codes.push_back({257, 10});
    auto r = decodeWith(Codec::ZooLzw, zooCodes(codes), params(1000));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, want);
}

TEST(ZooLzw, RefusesCodesNotYetDefined) {
    auto s = zooCodes({{256, 9}, {'a', 9}, {400, 9}, {257, 9}});
    EXPECT_EQ(decodeWith(Codec::ZooLzw, s, params(100)).code, err::BadBlock);
    auto t = zooCodes({{256, 9}, {300, 9}});
    EXPECT_EQ(decodeWith(Codec::ZooLzw, t, params(100)).code, err::BadBlock);
}
