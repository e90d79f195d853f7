// Unshrink, unreduce and explode on hand-made bit streams: the tricky codes,
// the refusals, and bounded work on hostile sizes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/core/Errors.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/DecoderHarness.h"

using BitWriter = testsupport::LsbBitWriter;
using testsupport::StringSink;

namespace {

enum class Method { Shrink, Reduce, Implode };

// Runs a decoder over a stream; returns the error code (0 when none).
int decode(Method m, const std::vector<std::uint8_t>& stream, StringSink& sink,
           std::uint64_t unpacked = 0, int arg = 0) {
    testsupport::DecodeResult r;
    switch (m) {
    case Method::Shrink:
        r = testsupport::decodeWith(fmt::Codec::Unshrink, stream, {}, sink.limit);
        break;
    case Method::Reduce:
        r = testsupport::decodeWith(
            fmt::Codec::Unreduce, stream,
            testsupport::params(unpacked, 0, static_cast<std::uint8_t>(arg)), sink.limit);
        break;
    case Method::Implode:
        r = testsupport::decodeWith(fmt::Codec::Explode, stream,
                                    testsupport::params(unpacked, static_cast<std::uint16_t>(arg)),
                                    sink.limit);
        break;
    }
    sink.text += r.text;
    return r.code;
}

// Every 64-symbol tree in these tests gives all symbols 6 bits: symbol s
// then has the code 63 - s, read most significant bit first.
void flatTree(BitWriter& w) {
    w.put(3, 8);
    for (int i = 0; i < 4; ++i) w.put(0xF5, 8);
}
void flatSymbol(BitWriter& w, int s) {
    int code = 63 - s;
    for (int b = 5; b >= 0; --b) w.put((code >> b) & 1, 1);
}

} // namespace

TEST(Unshrink, LiteralsKnownCodesAndTheCodeBeingDefined) {
    BitWriter w;
    for (int c : std::initializer_list<int>{'a', 'b', 257, 259})
        w.put(static_cast<std::uint32_t>(c), 9);
    StringSink s;
    EXPECT_EQ(decode(Method::Shrink, w.out, s), 0);
    EXPECT_EQ(s.text, "abababa");
}

TEST(Unshrink, CodeSizeGrowsOnControlCode) {
    BitWriter w;
    w.put('x', 9);
    w.put(256, 9);
    w.put(1, 9);
    w.put('y', 10);
    w.put(257, 10);
    StringSink s;
    EXPECT_EQ(decode(Method::Shrink, w.out, s), 0);
    EXPECT_EQ(s.text, "xyxy");
}

TEST(Unshrink, PartialClearReusesFreedCodesLowestFirst) {
    BitWriter w;
    // ab -> 257, ba -> 258, abc -> 259 (child of 257); the clear frees the
    // leaves 258 and 259 and keeps 257.
    for (int c : std::initializer_list<int>{'a', 'b', 257, 'c'})
        w.put(static_cast<std::uint32_t>(c), 9);
    w.put(256, 9);
    w.put(2, 9);
    // 'd' makes "cd" in 258 (the lowest free code); then 258 and 257.
    for (int c : std::initializer_list<int>{'d', 258, 257}) w.put(static_cast<std::uint32_t>(c), 9);
    StringSink s;
    EXPECT_EQ(decode(Method::Shrink, w.out, s), 0);
    EXPECT_EQ(s.text, "ababcdcdab");
}

TEST(Unshrink, Refusals) {
    StringSink s;
    EXPECT_EQ(decode(Method::Shrink, {}, s), err::BadBlock);

    BitWriter bad;
    bad.put('a', 9);
    bad.put(256, 9);
    bad.put(3, 9);
    EXPECT_EQ(decode(Method::Shrink, bad.out, s), err::BadBlock);

    // Five size increases would announce 14-bit codes.
    BitWriter big;
    big.put('a', 9);
    for (int size = 9; size <= 13; ++size) {
        big.put(256, static_cast<int>(size));
        big.put(1, static_cast<int>(size));
    }
    EXPECT_EQ(decode(Method::Shrink, big.out, s), err::InvalidCode);

    // A code that names an entry nobody defined.
    BitWriter undefined;
    for (int c : std::initializer_list<int>{'a', 300})
        undefined.put(static_cast<std::uint32_t>(c), 9);
    EXPECT_EQ(decode(Method::Shrink, undefined.out, s), 0); // the code being defined
    BitWriter worse;
    for (int c : std::initializer_list<int>{'a', 'b', 400})
        worse.put(static_cast<std::uint32_t>(c), 9);
    StringSink t;
    EXPECT_EQ(decode(Method::Shrink, worse.out, t), 0);
}

TEST(Unshrink, EndOfInputInsideACodeEndsNormally) {
    BitWriter w;
    w.put('a', 9);
    w.put('b', 9);
    w.put(1, 3); // not a whole code
    StringSink s;
    EXPECT_EQ(decode(Method::Shrink, w.out, s), 0);
    EXPECT_EQ(s.text, "ab");
}

namespace {

BitWriter reduceStream(const std::vector<int>& bytes) {
    BitWriter w;
    for (int c = 255; c >= 0; --c) w.put(0, 6); // no follower sets
    for (int b : bytes) w.put(static_cast<std::uint32_t>(b), 8);
    return w;
}

} // namespace

TEST(Unreduce, LiteralsMarkerAndCopies) {
    // A B, marker 0 (a literal 144), marker V=1 then 1: copy 4 from 2 back.
    auto w = reduceStream({'A', 'B', 144, 0, 144, 1, 1});
    StringSink s;
    EXPECT_EQ(decode(Method::Reduce, w.out, s, 7, 1), 0);
    EXPECT_EQ(s.text, std::string("AB\x90") + "B\x90"
                                              "B\x90");
}

TEST(Unreduce, LongLengthsAndFactors) {
    // Factor 4: V = 0x1F has the length mask 0x0F, so one more byte adds to
    // the length; the distance's high bits are V >> 4 = 1.
    std::vector<int> bytes = {'Z', 144, 0x1F, 2, 0};
    auto w = reduceStream(bytes);
    StringSink s;
    // Distance 1*256 + 0 + 1 = 257 reaches before the first byte: zeros.
    EXPECT_EQ(decode(Method::Reduce, w.out, s, 1 + 15 + 2 + 3, 4), 0);
    ASSERT_EQ(s.text.size(), 21u);
    EXPECT_EQ(s.text[0], 'Z');
    EXPECT_EQ(s.text.substr(1), std::string(20, '\0'));
}

TEST(Unreduce, FollowerSetsSelectByIndex) {
    BitWriter w;
    for (int c = 255; c >= 0; --c) {
        if (c == 0) {
            w.put(2, 6); // after byte 0 (the start): followers 'p', 'q'
            w.put('p', 8);
            w.put('q', 8);
        } else {
            w.put(0, 6);
        }
    }
    w.put(0, 1);   // from the set, 1-bit index
    w.put(1, 1);   // 'q'
    w.put('r', 8); // 'q' has no set: 8 bits
    StringSink s;
    EXPECT_EQ(decode(Method::Reduce, w.out, s, 2, 2), 0);
    EXPECT_EQ(s.text, "qr");
}

TEST(Unreduce, DecodesUpToTheUnpackedSizeAndNoFurther) {
    auto w = reduceStream({'a', 'b', 'c', 'd'});
    StringSink s;
    EXPECT_EQ(decode(Method::Reduce, w.out, s, 3, 1), 0);
    EXPECT_EQ(s.text, "abc");
    // The last symbol of the stream is decoded too.
    StringSink all;
    EXPECT_EQ(decode(Method::Reduce, w.out, all, 4, 1), 0);
    EXPECT_EQ(all.text, "abcd");
    // A hostile size does not make it run on past the stream.
    StringSink hostile;
    EXPECT_EQ(decode(Method::Reduce, w.out, hostile, std::uint64_t{1} << 40, 1), 0);
    EXPECT_EQ(hostile.text, "abcd");
}

TEST(Unreduce, FollowerCountAbove32IsRefused) {
    BitWriter w;
    w.put(33, 6);
    StringSink s;
    EXPECT_EQ(decode(Method::Reduce, w.out, s, 10, 1), err::BadBlock);
}

TEST(Explode, TwoTreesSmallWindow) {
    BitWriter w;
    flatTree(w); // lengths
    flatTree(w); // distances
    w.put(1, 1);
    w.put('A', 8);
    w.put(1, 1);
    w.put('B', 8);
    w.put(0, 1);
    w.put(1, 6);      // distance low bits: 1 (copy from two back)
    flatSymbol(w, 0); // distance high bits 0
    flatSymbol(w, 2); // length 2 + minimum 2
    StringSink s;
    EXPECT_EQ(decode(Method::Implode, w.out, s, 6, 0), 0);
    EXPECT_EQ(s.text, "ABABAB");
}

TEST(Explode, ThreeTreesBigWindowUseSevenRawBitsAndMinimumThree) {
    BitWriter w;
    // Literal tree: 256 symbols of 8 bits, 16 description bytes.
    w.put(15, 8);
    for (int i = 0; i < 16; ++i) w.put(0xF7, 8);
    flatTree(w);
    flatTree(w);
    auto literal = [&](int c) {
        w.put(1, 1);
        int code = 255 - c;
        for (int b = 7; b >= 0; --b) w.put((code >> b) & 1, 1);
    };
    literal('x');
    literal('y');
    w.put(0, 1);
    w.put(1, 7);
    flatSymbol(w, 0);
    flatSymbol(w, 0); // length 0 + minimum 3
    StringSink s;
    EXPECT_EQ(decode(Method::Implode, w.out, s, 5, 6), 0);
    EXPECT_EQ(s.text, "xyxyx");
}

TEST(Explode, LengthSymbol63TakesAnExtraByte) {
    BitWriter w;
    flatTree(w);
    flatTree(w);
    w.put(1, 1);
    w.put('z', 8);
    w.put(0, 1);
    w.put(0, 6);
    flatSymbol(w, 0);
    flatSymbol(w, 63);
    w.put(10, 8); // 63 + 10 + 2 = 75
    StringSink s;
    EXPECT_EQ(decode(Method::Implode, w.out, s, 76, 0), 0);
    EXPECT_EQ(s.text, std::string(76, 'z'));
}

TEST(Explode, BadTreesAreRefused) {
    StringSink s;
    BitWriter shortTree; // describes 48 of the 64 symbols
    shortTree.put(2, 8);
    for (int i = 0; i < 3; ++i) shortTree.put(0xF5, 8);
    EXPECT_EQ(decode(Method::Implode, shortTree.out, s, 10, 0), err::BadBlock);

    BitWriter longTree; // 80 symbols
    longTree.put(4, 8);
    for (int i = 0; i < 5; ++i) longTree.put(0xF5, 8);
    EXPECT_EQ(decode(Method::Implode, longTree.out, s, 10, 0), err::BadBlock);

    BitWriter ambiguous; // 64 codes of one bit
    ambiguous.put(3, 8);
    for (int i = 0; i < 4; ++i) ambiguous.put(0xF0, 8);
    EXPECT_EQ(decode(Method::Implode, ambiguous.out, s, 10, 0), err::AmbiguousTree);
}

TEST(Explode, HostileSizeStopsWhenTheStreamRunsDry) {
    BitWriter w;
    flatTree(w);
    flatTree(w);
    w.put(1, 1);
    w.put('A', 8);
    StringSink s;
    EXPECT_EQ(decode(Method::Implode, w.out, s, std::uint64_t{1} << 62, 0), 0);
    EXPECT_LT(s.text.size(), 1000u);
}

TEST(Stored, ShortWriteIsWriteError) {
    std::vector<std::uint8_t> data(70000, 7);
    auto r = testsupport::decodeWith(fmt::Codec::Stored, data, {}, 40000);
    EXPECT_EQ(r.code, err::WriteError);
}

TEST(LegacyDecoders, EmptyMembersNeedNoTables) {
    StringSink s;
    EXPECT_EQ(decode(Method::Reduce, {}, s, 0, 3), 0);
    EXPECT_EQ(decode(Method::Implode, {}, s, 0, 6), 0);
    EXPECT_EQ(s.text, "");
}
