// Inflate decoder: hand-built streams with exact bit layouts, streams made by
// zlib (through python3), gzip, zip and gcab at test time, chained cabinet
// blocks, input split at every byte, window flush sizes, and hostile input.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/core/Crc.h"
#include "archive/core/Errors.h"
#include "archive/extract/decoders/Inflate.h"
#include "tests/support/ByteWriter.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

// ---- helpers -------------------------------------------------------------

// Deflate fields least-significant bit first, Huffman codes
// most-significant bit first, as the format stores them.
using BitWriter = testsupport::LsbBitWriter;

// Fixed-code symbols.
void fixedLit(BitWriter& w, unsigned sym) {
    if (sym < 144)
        w.code(0x30 + sym, 8);
    else if (sym < 256)
        w.code(0x190 + sym - 144, 9);
    else if (sym < 280)
        w.code(sym - 256, 7);
    else
        w.code(0xC0 + sym - 280, 8);
}
void fixedDist(BitWriter& w, unsigned code) {
    w.code(code, 5);
}

void storedBlock(BitWriter& w, bool last, const Bytes& data) {
    w.put(last, 1);
    w.put(0, 2);
    w.align();
    w.put(std::uint32_t(data.size()), 16);
    w.put(std::uint32_t(~data.size() & 0xFFFF), 16);
    for (auto b : data) w.put(b, 8);
}

// Canonical codes of a set of code lengths.
std::vector<std::uint32_t> canonical(const std::vector<unsigned>& lens) {
    unsigned count[16] = {}, next[16] = {};
    for (auto l : lens) count[l]++;
    count[0] = 0;
    for (unsigned l = 1, c = 0; l < 16; ++l) next[l] = c = (c + count[l - 1]) << 1;
    std::vector<std::uint32_t> codes(lens.size());
    for (std::size_t s = 0; s < lens.size(); ++s)
        if (lens[s]) codes[s] = next[lens[s]]++;
    return codes;
}

// A complete code-length code: symbols 0-12 get 4 bits, 13-18 get 5 bits.
const std::vector<unsigned> kLenLens = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5};
const unsigned kLenOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct LenSym {
    unsigned sym, extra = 0;
};

// Dynamic block header; `seq` is the code-length sequence to write (plain
// lengths or repeat codes with their extra values).
void dynamicHeader(BitWriter& w, bool last, unsigned nlit, unsigned ndist,
                   const std::vector<LenSym>& seq,
                   const std::vector<unsigned>& lenLens = kLenLens) {
    w.put(last, 1);
    w.put(2, 2);
    w.put(nlit - 257, 5);
    w.put(ndist - 1, 5);
    w.put(19 - 4, 4);
    for (unsigned i = 0; i < 19; ++i) w.put(lenLens[kLenOrder[i]], 3);
    const auto codes = canonical(lenLens);
    for (const auto& ls : seq) {
        w.code(codes[ls.sym], lenLens[ls.sym]);
        if (ls.sym == 16) w.put(ls.extra, 2);
        if (ls.sym == 17) w.put(ls.extra, 3);
        if (ls.sym == 18) w.put(ls.extra, 7);
    }
}

std::vector<LenSym> plainLens(const std::vector<unsigned>& lens) {
    std::vector<LenSym> seq;
    for (auto l : lens) seq.push_back({l});
    return seq;
}

struct Result {
    int rc;
    Bytes out;
    std::vector<std::size_t> chunks;
    std::size_t unused;
};

// Runs the decoder, feeding at most `step` bytes per input call.
Result run(const Bytes& in, std::size_t step = SIZE_MAX) {
    Inflater inf;
    Result r{};
    std::size_t pos = 0;
    inf.Input = [&](std::uint8_t* buf, std::size_t cap) -> std::ptrdiff_t {
        const std::size_t n = std::min({cap, step, in.size() - pos});
        std::memcpy(buf, in.data() + pos, n);
        pos += n;
        return std::ptrdiff_t(n);
    };
    inf.Output = [&](const std::uint8_t* p, std::size_t n) {
        r.chunks.push_back(n);
        r.out.insert(r.out.end(), p, p + n);
        return true;
    };
    r.rc = inf.Inflate();
    r.unused = inf.UnusedInput();
    return r;
}

// Mixed test data: words, repeats, noise and runs.
Bytes sampleData(std::size_t size, unsigned seed = 1) {
    std::mt19937 rng(seed);
    static const char* words[] = {"archive ", "member ", "window ", "deflate ", "OLMEK ",
                                  "\r\n",     "folder ", "CRC ",    "header ",  "1995 "};
    Bytes d;
    while (d.size() < size) {
        switch (rng() % 4) {
        case 0:
        case 1: {
            const char* w = words[rng() % 10];
            d.insert(d.end(), w, w + std::strlen(w));
            break;
        }
        case 2:
            for (unsigned i = rng() % 64; i-- > 0;) d.push_back(std::uint8_t(rng()));
            break;
        default:
            d.insert(d.end(), rng() % 300, std::uint8_t(rng()));
        }
    }
    d.resize(size);
    return d;
}

struct TempDir {
    fs::path path;
    TempDir() {
        std::string t = (fs::temp_directory_path() / "olmek-inflate-XXXXXX").string();
        if (!mkdtemp(t.data())) throw std::runtime_error("mkdtemp");
        path = t;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

void writeFile(const fs::path& p, const Bytes& d) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
}
Bytes readFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), {});
}
bool sh(const std::string& cmd) {
    return std::system(("{ " + cmd + "; } >/dev/null 2>&1").c_str()) == 0;
}
bool haveTool(const std::string& t) {
    return sh("command -v " + t);
}

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}
std::uint16_t le16(const Bytes& b, std::size_t at) {
    return std::uint16_t(b[at] | (b[at + 1] << 8));
}

// Raw Deflate streams made by zlib through python3 (one process for all):
// one stream per (level, strategy) pair.
bool zlibDeflate(const TempDir& t, const Bytes& data, const std::vector<std::pair<int, int>>& modes,
                 std::vector<Bytes>& out) {
    const fs::path in = t.path / "z.in";
    writeFile(in, data);
    std::string list;
    for (const auto& [level, strategy] : modes)
        list += "(" + std::to_string(level) + "," + std::to_string(strategy) + "),";
    const std::string py = "import zlib,sys\n"
                           "d=open(sys.argv[1],'rb').read()\n"
                           "for i,(l,s) in enumerate([" +
                           list +
                           "]):\n"
                           "  c=zlib.compressobj(l,zlib.DEFLATED,-15,9,s)\n"
                           "  open(sys.argv[1]+'.%d'%i,'wb').write(c.compress(d)+c.flush())\n";
    std::ofstream(t.path / "z.py") << py;
    if (!sh("python3 " + (t.path / "z.py").string() + " " + in.string())) return false;
    out.clear();
    for (std::size_t i = 0; i < modes.size(); ++i)
        out.push_back(readFile(in.string() + "." + std::to_string(i)));
    return true;
}

bool zlibDeflate(const TempDir& t, const Bytes& data, int level, int strategy, Bytes& out) {
    std::vector<Bytes> v;
    if (!zlibDeflate(t, data, {{level, strategy}}, v)) return false;
    out = v[0];
    return true;
}

#define NEED_PYTHON_ZLIB()                                                                         \
    if (!sh("python3 -c 'import zlib'")) GTEST_SKIP() << "python3 with zlib is not available"

// ---- stored blocks -------------------------------------------------------

TEST(InflateStored, EmptyFinalBlockGivesNoOutputAndNoWrite) {
    BitWriter w;
    storedBlock(w, true, {});
    const Bytes s = w.finish();
    EXPECT_EQ(s, (Bytes{0x01, 0x00, 0x00, 0xFF, 0xFF}));
    const Result r = run(s);
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(r.chunks.empty());
    EXPECT_EQ(crc32Of(r.out.data(), 0), 0u);
}

TEST(InflateStored, LargestBlockAndChainOfBlocks) {
    const Bytes a = sampleData(65535, 7), b = sampleData(1000, 8);
    BitWriter w;
    storedBlock(w, false, a);
    storedBlock(w, false, {});
    storedBlock(w, true, b);
    const Result r = run(w.finish());
    ASSERT_EQ(r.rc, 0);
    Bytes want = a;
    want.insert(want.end(), b.begin(), b.end());
    EXPECT_EQ(r.out, want);
}

TEST(InflateStored, LengthCheckFailureIsBadBlock) {
    Bytes s = {0x01, 0x05, 0x00, 0xFA, 0xFE, 1, 2, 3, 4, 5};
    EXPECT_EQ(run(s).rc, err::BadBlock);
    s[4] = 0xFF;
    EXPECT_EQ(run(s).rc, 0);
}

TEST(InflateStored, ShortStoredDataIsReadError) {
    const Bytes s = {0x01, 0x05, 0x00, 0xFA, 0xFF, 1, 2, 3};
    EXPECT_EQ(run(s).rc, err::ReadError);
}

TEST(InflateStored, BlockTypeThreeIsBadBlock) {
    EXPECT_EQ(run({0x07, 0, 0, 0}).rc, err::BadBlock);
    EXPECT_EQ(run({0x06, 0, 0, 0}).rc, err::BadBlock);
}

// ---- fixed blocks --------------------------------------------------------

TEST(InflateFixed, DistanceOneLength258RepeatsThePreviousByte) {
    BitWriter w;
    w.put(1, 1);
    w.put(1, 2);
    fixedLit(w, 'x');
    fixedLit(w, 285);
    fixedDist(w, 0);
    fixedLit(w, 256);
    const Result r = run(w.finish());
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, Bytes(259, 'x'));
}

TEST(InflateFixed, OverlappingShortDistancesReplicatePatterns) {
    for (unsigned dist = 2; dist <= 20; ++dist) {
        BitWriter w;
        w.put(1, 1);
        w.put(1, 2);
        Bytes want;
        for (unsigned i = 0; i < dist; ++i) {
            fixedLit(w, 'a' + i);
            want.push_back(std::uint8_t('a' + i));
        }
        // length 100: symbol 279 (base 99, 4 extra bits) with extra 1
        fixedLit(w, 279);
        w.put(1, 4);
        // distance: code with base <= dist, extra bits for the rest
        static const unsigned base[] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25};
        static const unsigned extra[] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3};
        unsigned c = 0;
        while (c + 1 < 10 && base[c + 1] <= dist) ++c;
        fixedDist(w, c);
        w.put(dist - base[c], extra[c]);
        fixedLit(w, 256);
        for (unsigned i = 0; i < 100; ++i) want.push_back(want[want.size() - dist]);
        const Result r = run(w.finish());
        ASSERT_EQ(r.rc, 0) << dist;
        EXPECT_EQ(r.out, want) << dist;
    }
}

TEST(InflateFixed, MatchAtDistance32768ReachesTheFirstByte) {
    const Bytes head = sampleData(32768, 3);
    BitWriter w;
    storedBlock(w, false, head);
    w.put(1, 1);
    w.put(1, 2);
    fixedLit(w, 285);
    fixedDist(w, 29);
    w.put(32768 - 24577, 13);
    fixedLit(w, 256);
    const Result r = run(w.finish());
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.out.size(), 32768u + 258u);
    EXPECT_TRUE(std::equal(head.begin(), head.begin() + 258, r.out.begin() + 32768));
}

TEST(InflateFixed, DistanceBeyondTheWrittenOutputIsRefused) {
    BitWriter w;
    w.put(1, 1);
    w.put(1, 2);
    fixedLit(w, 'a');
    fixedLit(w, 257);
    fixedDist(w, 1); // distance 2, only one byte written
    fixedLit(w, 256);
    EXPECT_EQ(run(w.finish()).rc, err::BadBlock);
}

TEST(InflateFixed, ReservedLengthAndDistanceCodesAreBadBlock) {
    for (unsigned sym : {286u, 287u}) {
        BitWriter w;
        w.put(1, 1);
        w.put(1, 2);
        fixedLit(w, 'a');
        fixedLit(w, sym);
        fixedDist(w, 0);
        fixedLit(w, 256);
        EXPECT_EQ(run(w.finish()).rc, err::BadBlock) << sym;
    }
    for (unsigned d : {30u, 31u}) {
        BitWriter w;
        w.put(1, 1);
        w.put(1, 2);
        fixedLit(w, 'a');
        fixedLit(w, 257);
        fixedDist(w, d);
        fixedLit(w, 256);
        EXPECT_EQ(run(w.finish()).rc, err::BadBlock) << d;
    }
}

// ---- dynamic blocks ------------------------------------------------------

// Literal/length lengths giving 'a' one bit and end-of-block and length 3 two
// bits each.
std::vector<unsigned> tinyLitLens() {
    std::vector<unsigned> l(258, 0);
    l['a'] = 1;
    l[256] = 2;
    l[257] = 2;
    return l;
}

TEST(InflateDynamic, SingleDistanceCodeOfLengthOneIsAccepted) {
    auto lens = tinyLitLens();
    lens.push_back(1); // one distance code
    BitWriter w;
    dynamicHeader(w, true, 258, 1, plainLens(lens));
    const auto lc = canonical(tinyLitLens());
    w.code(lc['a'], 1);
    w.code(lc[257], 2); // length 3
    w.code(0, 1);       // distance 1
    w.code(lc[256], 2);
    const Result r = run(w.finish());
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, Bytes(4, 'a'));
}

TEST(InflateDynamic, RepeatCodesFillTheLengths) {
    // 'a'..'d' of length 3 (the last three by repeating the previous length),
    // zero runs of both kinds up to 256, then 256 = 2, 257 = 3, 258 = 3.
    const std::vector<LenSym> seq = {
        {18, 97 - 11}, {3}, {16, 0}, {18, 138 - 11}, {17, 10 - 3}, {17, 7 - 3}, {2}, {3}, {3}, {1}};
    std::vector<unsigned> lens(259, 0);
    for (unsigned c = 'a'; c <= 'd'; ++c) lens[c] = 3;
    lens[256] = 2;
    lens[257] = lens[258] = 3;
    BitWriter w;
    dynamicHeader(w, true, 259, 1, seq);
    const auto lc = canonical(lens);
    w.code(lc['d'], 3);
    w.code(lc['a'], 3);
    w.code(lc[258], 3); // length 4
    w.code(0, 1);       // distance 1
    w.code(lc[256], 2);
    const Result r = run(w.finish());
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, (Bytes{'d', 'a', 'a', 'a', 'a', 'a'}));
}

TEST(InflateDynamic, RepeatRunningPastTheLengthsIsRefused) {
    std::vector<LenSym> seq = {{18, 97 - 11}, {1}, {18, 127 - 11}, {18, 138 - 11}};
    BitWriter w;
    dynamicHeader(w, true, 257, 1, seq);
    EXPECT_EQ(run(w.finish()).rc, err::IncompleteCodeSet);
}

TEST(InflateDynamic, IncompleteAndOverSubscribedSetsAreRefused) {
    // incomplete literal/length set: 'a' and 256 of length 2 only
    std::vector<unsigned> lens(257, 0);
    lens['a'] = lens[256] = 2;
    lens.push_back(1);
    BitWriter w;
    dynamicHeader(w, true, 257, 1, plainLens(lens));
    EXPECT_EQ(run(w.finish()).rc, err::IncompleteCodeSet);

    // over-subscribed literal/length set: three codes of length 1
    lens.assign(257, 0);
    lens['a'] = lens['b'] = lens[256] = 1;
    lens.push_back(1);
    BitWriter w2;
    dynamicHeader(w2, true, 257, 1, plainLens(lens));
    EXPECT_EQ(run(w2.finish()).rc, err::IncompleteCodeSet);

    // over-subscribed distance set
    lens = tinyLitLens();
    lens.push_back(1);
    lens.push_back(1);
    lens.push_back(1);
    BitWriter w3;
    dynamicHeader(w3, true, 258, 3, plainLens(lens));
    EXPECT_EQ(run(w3.finish()).rc, err::IncompleteCodeSet);

    // over-subscribed code-length code: every symbol of length 1
    BitWriter w4;
    dynamicHeader(w4, true, 257, 1, {}, std::vector<unsigned>(19, 1));
    w4.put(0, 32);
    EXPECT_EQ(run(w4.finish()).rc, err::IncompleteCodeSet);

    // incomplete code-length code: two symbols of length 2
    std::vector<unsigned> ll(19, 0);
    ll[1] = ll[2] = 2;
    BitWriter w5;
    dynamicHeader(w5, true, 257, 1, {}, ll);
    w5.put(0, 32);
    EXPECT_EQ(run(w5.finish()).rc, err::IncompleteCodeSet);
}

TEST(InflateDynamic, DistanceBeyondOutputAndReservedCodesAreRefused) {
    auto lens = tinyLitLens();
    lens.push_back(1);
    BitWriter w;
    dynamicHeader(w, true, 258, 1, plainLens(lens));
    const auto lc = canonical(tinyLitLens());
    w.code(lc[257], 2); // a match before any byte was written
    w.code(0, 1);
    w.code(lc[256], 2);
    EXPECT_EQ(run(w.finish()).rc, err::IncompleteCodeSet);

    // distance code 30 given a length: accepted in the set, refused in use
    lens = tinyLitLens();
    std::vector<unsigned> dl(31, 0);
    dl[0] = 1;
    dl[30] = 1;
    lens.insert(lens.end(), dl.begin(), dl.end());
    BitWriter w2;
    dynamicHeader(w2, true, 258, 31, plainLens(lens));
    w2.code(lc['a'], 1);
    w2.code(lc[257], 2);
    w2.code(1, 1); // distance code 30
    w2.code(lc[256], 2);
    EXPECT_EQ(run(w2.finish()).rc, err::IncompleteCodeSet);
}

TEST(InflateDynamic, EmptyDistanceSetAllowsLiteralOnlyBlocks) {
    std::vector<unsigned> lens(257, 0);
    lens['a'] = 1;
    lens[256] = 1;
    lens.push_back(0);
    BitWriter w;
    dynamicHeader(w, true, 257, 1, plainLens(lens));
    w.code(0, 1);
    w.code(0, 1);
    w.code(1, 1);
    const Result r = run(w.finish());
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, Bytes(2, 'a'));
}

// ---- output flushes, callbacks and trailing data -------------------------

TEST(InflateWindow, OutputArrivesInWhole32KChunks) {
    const Bytes data = sampleData(65536, 11);
    BitWriter w;
    storedBlock(w, false, Bytes(data.begin(), data.begin() + 40000));
    storedBlock(w, true, Bytes(data.begin() + 40000, data.end()));
    Result r = run(w.finish());
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, data);
    EXPECT_EQ(r.chunks, (std::vector<std::size_t>{32768, 32768}));

    BitWriter w2;
    storedBlock(w2, true, Bytes(data.begin(), data.begin() + 40000));
    r = run(w2.finish());
    EXPECT_EQ(r.chunks, (std::vector<std::size_t>{32768, 40000 - 32768}));
}

// A match that runs across the 32 KB flush point at the very end of a call
// must still come out as a full chunk and a short one.
TEST(InflateWindow, MatchCrossingTheFlushPointAtTheEnd) {
    const Bytes head = sampleData(32700, 12);
    auto stream = [&](bool withHead) {
        BitWriter w;
        if (withHead) storedBlock(w, false, head);
        w.put(1, 1);
        w.put(1, 2);
        if (!withHead) fixedLit(w, 'q');
        fixedLit(w, 280); // length 115 + 3 extra bits
        w.put(7, 3);      // 122
        fixedDist(w, 0);
        fixedLit(w, 256);
        return w.finish();
    };
    const Result r = run(stream(true));
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.out.size(), 32700u + 122u);
    EXPECT_EQ(r.chunks, (std::vector<std::size_t>{32768, 32700 + 122 - 32768}));
    EXPECT_EQ(r.out.back(), head.back());

    // The same in a chain: each call ends past the flush point in turn.
    Inflater inf;
    Bytes cur, out;
    std::size_t pos = 0;
    std::vector<std::size_t> chunks;
    inf.Input = [&](std::uint8_t* b, std::size_t cap) -> std::ptrdiff_t {
        const std::size_t n = std::min(cap, cur.size() - pos);
        std::memcpy(b, cur.data() + pos, n);
        pos += n;
        return std::ptrdiff_t(n);
    };
    inf.Output = [&](const std::uint8_t* p, std::size_t n) {
        chunks.push_back(n);
        out.insert(out.end(), p, p + n);
        return true;
    };
    inf.Reset();
    Bytes want;
    for (int i = 0; i < 6; ++i) {
        cur = stream(true);
        pos = 0;
        ASSERT_EQ(inf.InflateNext(), 0) << i;
        want.insert(want.end(), head.begin(), head.end());
        want.insert(want.end(), 122, head.back());
        cur = stream(false);
        pos = 0;
        ASSERT_EQ(inf.InflateNext(), 0) << i;
        want.insert(want.end(), 1 + 122, 'q');
    }
    EXPECT_EQ(out, want);
    for (auto n : chunks) EXPECT_LE(n, Inflater::kWindowSize);
}

TEST(InflateWindow, ShortWriteStopsWithWriteError) {
    BitWriter w;
    storedBlock(w, true, sampleData(50000));
    const Bytes s = w.finish();
    Inflater inf;
    std::size_t pos = 0;
    inf.Input = [&](std::uint8_t* b, std::size_t cap) -> std::ptrdiff_t {
        const std::size_t n = std::min(cap, s.size() - pos);
        std::memcpy(b, s.data() + pos, n);
        pos += n;
        return std::ptrdiff_t(n);
    };
    int calls = 0;
    inf.Output = [&](const std::uint8_t*, std::size_t) { return ++calls < 2; };
    EXPECT_EQ(inf.Inflate(), err::WriteError);
    EXPECT_EQ(calls, 2);
}

TEST(InflateWindow, InputErrorIsReadErrorAndExceptionsPassThrough) {
    Inflater inf;
    inf.Output = [](const std::uint8_t*, std::size_t) { return true; };
    inf.Input = [](std::uint8_t*, std::size_t) -> std::ptrdiff_t { return -1; };
    EXPECT_EQ(inf.Inflate(), err::ReadError);
    inf.Input = [](std::uint8_t*, std::size_t) -> std::ptrdiff_t {
        throw std::runtime_error("io");
    };
    EXPECT_THROW(inf.Inflate(), std::runtime_error);
    // the object stays usable after an exception
    inf.Input = [](std::uint8_t* b, std::size_t) -> std::ptrdiff_t {
        const std::uint8_t s[] = {0x03, 0x00};
        std::memcpy(b, s, 2);
        return 2;
    };
    EXPECT_EQ(inf.Inflate(), 0);
}

TEST(InflateWindow, BytesAfterTheStreamAreLeftUnused) {
    BitWriter w;
    storedBlock(w, true, {1, 2, 3});
    Bytes s = w.finish();
    const Bytes trailer = {9, 8, 7, 6, 5, 4, 3, 2};
    s.insert(s.end(), trailer.begin(), trailer.end());
    for (std::size_t step : {std::size_t(1), std::size_t(3), SIZE_MAX}) {
        const Result r = run(s, step);
        ASSERT_EQ(r.rc, 0);
        EXPECT_EQ(r.out, (Bytes{1, 2, 3}));
        EXPECT_LE(r.unused, trailer.size());
    }
    EXPECT_EQ(run(s).unused, trailer.size());
}

// ---- streams made by zlib ------------------------------------------------

TEST(InflateZlib, EveryLevelAndStrategyRoundTrips) {
    NEED_PYTHON_ZLIB();
    TempDir t;
    const Bytes data = sampleData(300000, 5);
    // strategies: 0 default, 1 filtered, 2 Huffman only, 3 RLE, 4 fixed codes
    std::vector<std::pair<int, int>> modes;
    for (int level = 0; level <= 9; ++level) modes.push_back({level, 0});
    for (int strategy = 1; strategy <= 4; ++strategy) modes.push_back({6, strategy});
    std::vector<Bytes> packed;
    ASSERT_TRUE(zlibDeflate(t, data, modes, packed));
    for (std::size_t i = 0; i < modes.size(); ++i) {
        const Result r = run(packed[i]);
        ASSERT_EQ(r.rc, 0) << "level " << modes[i].first << " strategy " << modes[i].second;
        EXPECT_EQ(r.out, data) << "level " << modes[i].first << " strategy " << modes[i].second;
        EXPECT_EQ(r.unused, 0u);
    }
}

TEST(InflateZlib, InputSplitAtEveryByteBoundary) {
    NEED_PYTHON_ZLIB();
    TempDir t;
    const Bytes data = sampleData(12000, 9);
    Bytes packed;
    ASSERT_TRUE(zlibDeflate(t, data, 6, 0, packed));
    // one byte per call
    Result r = run(packed, 1);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, data);
    // a first call of k bytes, then the rest
    for (std::size_t k = 1; k < packed.size(); ++k) {
        Inflater inf;
        std::size_t pos = 0;
        inf.Input = [&](std::uint8_t* b, std::size_t cap) -> std::ptrdiff_t {
            const std::size_t n = std::min({cap, packed.size() - pos, pos == 0 ? k : SIZE_MAX});
            std::memcpy(b, packed.data() + pos, n);
            pos += n;
            return std::ptrdiff_t(n);
        };
        Bytes out;
        inf.Output = [&](const std::uint8_t* p, std::size_t n) {
            out.insert(out.end(), p, p + n);
            return true;
        };
        ASSERT_EQ(inf.Inflate(), 0) << k;
        ASSERT_EQ(out, data) << k;
    }
}

TEST(InflateZlib, EveryTruncationFailsWithoutHanging) {
    NEED_PYTHON_ZLIB();
    TempDir t;
    const Bytes data = sampleData(20000, 13);
    std::vector<Bytes> streams;
    ASSERT_TRUE(zlibDeflate(t, data, {{9, 0}, {9, 4}}, streams));
    for (const Bytes& packed : streams) {
        for (std::size_t n = 0; n < packed.size(); ++n) {
            const Bytes cut(packed.begin(), packed.begin() + std::ptrdiff_t(n));
            const Result r = run(cut);
            ASSERT_NE(r.rc, 0) << n;
            EXPECT_LE(r.out.size(), data.size());
        }
    }
}

// Cabinet MSZIP blocks: 32 KB of output each, compressed with the previous
// block as preset dictionary, each prefixed with "CK".
TEST(InflateChained, MszipBlocksShareTheWindow) {
    NEED_PYTHON_ZLIB();
    TempDir t;
    const Bytes data = sampleData(5 * 32768 + 1234, 17);
    writeFile(t.path / "m.in", data);
    const std::string py =
        "import zlib,sys,struct\n"
        "d=open(sys.argv[1],'rb').read(); o=open(sys.argv[2],'wb'); prev=b''\n"
        "for i in range(0,len(d),32768):\n"
        "  b=d[i:i+32768]\n"
        "  c=zlib.compressobj(6,zlib.DEFLATED,-15,9,0,prev) if prev else "
        "zlib.compressobj(6,zlib.DEFLATED,-15)\n"
        "  z=b'CK'+c.compress(b)+c.flush(); o.write(struct.pack('<H',len(z))+z); prev=b\n";
    std::ofstream(t.path / "m.py") << py;
    ASSERT_TRUE(sh("python3 " + (t.path / "m.py").string() + " " + (t.path / "m.in").string() +
                   " " + (t.path / "m.out").string()));
    const Bytes packed = readFile(t.path / "m.out");

    std::vector<Bytes> blocks;
    for (std::size_t at = 0; at + 2 <= packed.size();) {
        const std::size_t n = le16(packed, at);
        blocks.emplace_back(packed.begin() + std::ptrdiff_t(at + 4),
                            packed.begin() + std::ptrdiff_t(at + 2 + n));
        at += 2 + n;
    }
    ASSERT_EQ(blocks.size(), 6u);

    Inflater inf;
    const Bytes* cur = nullptr;
    std::size_t pos = 0;
    inf.Input = [&](std::uint8_t* b, std::size_t cap) -> std::ptrdiff_t {
        const std::size_t n = std::min(cap, cur->size() - pos);
        std::memcpy(b, cur->data() + pos, n);
        pos += n;
        return std::ptrdiff_t(n);
    };
    Bytes out;
    std::vector<std::size_t> perBlock;
    inf.Output = [&](const std::uint8_t* p, std::size_t n) {
        out.insert(out.end(), p, p + n);
        return true;
    };
    for (int pass = 0; pass < 2; ++pass) {
        inf.Reset();
        out.clear();
        perBlock.clear();
        for (const auto& b : blocks) {
            cur = &b;
            pos = 0;
            ASSERT_EQ(inf.InflateNext(), 0);
            perBlock.push_back(out.size());
        }
        EXPECT_EQ(out, data);
        // every block's output is delivered before the call returns
        EXPECT_EQ(perBlock,
                  (std::vector<std::size_t>{32768, 65536, 98304, 131072, 163840, data.size()}));
    }

    // Without the shared window the second block reaches back too far.
    cur = &blocks[1];
    pos = 0;
    out.clear();
    EXPECT_NE(inf.Inflate(), 0);
}

// ---- peer tools ----------------------------------------------------------

// Offset of the Deflate data in a GZIP member, or 0 when the header is bad.
std::size_t gzipDataStart(const Bytes& gz) {
    if (gz.size() < 18 || gz[0] != 0x1F || gz[1] != 0x8B || gz[2] != 8) return 0;
    std::size_t at = 10;
    auto skipString = [&] {
        while (at < gz.size() && gz[at]) ++at;
        ++at;
    };
    if (gz[3] & 0x04) at += 2 + le16(gz, at);
    if (gz[3] & 0x08) skipString();
    if (gz[3] & 0x10) skipString();
    if (gz[3] & 0x02) at += 2;
    return at + 8 <= gz.size() ? at : 0;
}

TEST(InflatePeers, GzipMembersAtEveryLevel) {
    if (!haveTool("gzip")) GTEST_SKIP() << "gzip is not installed";
    TempDir t;
    const Bytes data = sampleData(200000, 21);
    writeFile(t.path / "f", data);
    for (int level = 1; level <= 9; ++level) {
        ASSERT_TRUE(sh("gzip -c -" + std::to_string(level) + " " + (t.path / "f").string() + " > " +
                       (t.path / "f.gz").string()));
        const Bytes gz = readFile(t.path / "f.gz");
        ASSERT_GE(gz.size(), 18u);
        ASSERT_EQ(gz[0], 0x1F);
        ASSERT_EQ(gz[1], 0x8B);
        const std::size_t at = gzipDataStart(gz);
        ASSERT_NE(at, 0u);
        const Result r = run(Bytes(gz.begin() + std::ptrdiff_t(at), gz.end()));
        ASSERT_EQ(r.rc, 0) << level;
        EXPECT_EQ(r.out, data);
        ASSERT_EQ(r.unused, 8u);
        EXPECT_EQ(le32(gz, gz.size() - 8), crc32Of(r.out.data(), r.out.size()));
        EXPECT_EQ(le32(gz, gz.size() - 4), std::uint32_t(data.size()));
    }
}

// The compressed documentation shipped with the system: streams made by many
// compressor versions and settings, checked against their own trailers.
TEST(InflatePeers, SystemGzipFilesMatchTheirTrailers) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const char* root : {"/usr/share/doc", "/usr/share/man/man1"}) {
        for (auto it = fs::recursive_directory_iterator(root, ec);
             !ec && it != fs::recursive_directory_iterator() && files.size() < 400;
             it.increment(ec))
            if (it->path().extension() == ".gz" && it->is_regular_file(ec))
                files.push_back(it->path());
    }
    if (files.empty()) GTEST_SKIP() << "no .gz files below /usr/share";
    std::size_t checked = 0;
    for (const auto& p : files) {
        const Bytes gz = readFile(p);
        const std::size_t at = gzipDataStart(gz);
        if (!at) continue;
        const Result r = run(Bytes(gz.begin() + std::ptrdiff_t(at), gz.end()));
        ASSERT_EQ(r.rc, 0) << p;
        // a single member: the trailer follows the stream
        if (r.unused != 8) continue;
        EXPECT_EQ(le32(gz, gz.size() - 8), crc32Of(r.out.data(), r.out.size())) << p;
        EXPECT_EQ(le32(gz, gz.size() - 4), std::uint32_t(r.out.size())) << p;
        ++checked;
    }
    EXPECT_GT(checked, 0u);
}

TEST(InflatePeers, ZipDeflatedMember) {
    if (!haveTool("zip")) GTEST_SKIP() << "zip is not installed";
    TempDir t;
    const Bytes data = sampleData(150000, 23);
    writeFile(t.path / "m.bin", data);
    ASSERT_TRUE(sh("cd " + t.path.string() + " && zip -q -X -9 a.zip m.bin"));
    const Bytes z = readFile(t.path / "a.zip");
    ASSERT_GE(z.size(), 30u);
    ASSERT_EQ(le32(z, 0), 0x04034b50u);
    ASSERT_EQ(le16(z, 8), 8); // deflated
    const std::uint32_t crc = le32(z, 14), packedSize = le32(z, 18);
    const std::size_t at = 30 + le16(z, 26) + le16(z, 28);
    ASSERT_LE(at + packedSize, z.size());
    const Result r =
        run(Bytes(z.begin() + std::ptrdiff_t(at), z.begin() + std::ptrdiff_t(at + packedSize)));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, data);
    EXPECT_EQ(crc32Of(r.out.data(), r.out.size()), crc);
}

TEST(InflatePeers, GcabMszipFolder) {
    if (!haveTool("gcab")) GTEST_SKIP() << "gcab is not installed";
    TempDir t;
    const Bytes data = sampleData(100000, 29);
    writeFile(t.path / "c.bin", data);
    ASSERT_TRUE(sh("cd " + t.path.string() + " && gcab -c -z -n x.cab c.bin"));
    const Bytes cab = readFile(t.path / "x.cab");
    ASSERT_GE(cab.size(), 44u);
    ASSERT_EQ(le32(cab, 0), 0x4643534Du); // "MSCF"
    ASSERT_EQ(le16(cab, 30) & 4, 0) << "reserve fields not expected";
    const std::uint32_t first = le32(cab, 36);
    const unsigned nblocks = le16(cab, 40);
    ASSERT_EQ(le16(cab, 42) & 0x0F, 1) << "MSZIP folder expected";

    Inflater inf;
    Bytes block, out;
    std::size_t pos = 0;
    inf.Input = [&](std::uint8_t* b, std::size_t cap) -> std::ptrdiff_t {
        const std::size_t n = std::min(cap, block.size() - pos);
        std::memcpy(b, block.data() + pos, n);
        pos += n;
        return std::ptrdiff_t(n);
    };
    inf.Output = [&](const std::uint8_t* p, std::size_t n) {
        out.insert(out.end(), p, p + n);
        return true;
    };
    inf.Reset();
    std::size_t at = first;
    for (unsigned i = 0; i < nblocks; ++i) {
        ASSERT_LE(at + 8, cab.size());
        const std::size_t n = le16(cab, at + 4);
        ASSERT_LE(at + 8 + n, cab.size());
        ASSERT_EQ(cab[at + 8], 'C');
        ASSERT_EQ(cab[at + 9], 'K');
        block.assign(cab.begin() + std::ptrdiff_t(at + 10),
                     cab.begin() + std::ptrdiff_t(at + 8 + n));
        pos = 0;
        const std::size_t before = out.size();
        ASSERT_EQ(inf.InflateNext(), 0) << "block " << i;
        EXPECT_EQ(out.size() - before, le16(cab, at + 6));
        at += 8 + n;
    }
    EXPECT_EQ(out, data);
}

// ---- hostile input -------------------------------------------------------

TEST(InflateHostile, RandomAndMutatedStreamsNeverMisbehave) {
    std::mt19937 rng(99);
    Bytes base;
    {
        // a valid stream of every block type to mutate
        BitWriter w;
        storedBlock(w, false, {1, 2, 3});
        w.put(0, 1);
        w.put(1, 2);
        for (int i = 0; i < 40; ++i) fixedLit(w, 'a' + i % 7);
        fixedLit(w, 270);
        w.put(1, 2);
        fixedDist(w, 4);
        w.put(1, 1);
        fixedLit(w, 256);
        auto lens = tinyLitLens();
        lens.push_back(1);
        dynamicHeader(w, true, 258, 1, plainLens(lens));
        const auto lc = canonical(tinyLitLens());
        w.code(lc['a'], 1);
        w.code(lc[257], 2);
        w.code(0, 1);
        w.code(lc[256], 2);
        base = w.finish();
        ASSERT_EQ(run(base).rc, 0);
    }
    for (int i = 0; i < 20000; ++i) {
        Bytes s;
        if (i % 2) {
            s.resize(rng() % 200);
            for (auto& b : s) b = std::uint8_t(rng());
        } else {
            s = base;
            for (unsigned k = rng() % 4 + 1; k-- > 0;)
                s[rng() % s.size()] ^= std::uint8_t(1u << (rng() % 8));
        }
        Bytes out;
        const int rc = inflateBuffer(s, out, 1u << 20);
        EXPECT_TRUE(rc == 0 || rc == err::BadBlock || rc == err::IncompleteCodeSet ||
                    rc == err::ReadError || rc == err::WriteError)
            << rc;
        EXPECT_LE(out.size(), 1u << 20);
    }
}

// One decoder object serves member after member, whatever the previous one
// left behind: an error in the middle of a block, a half-used bit buffer.
TEST(InflateHostile, DecoderIsReusableAfterErrors) {
    NEED_PYTHON_ZLIB();
    TempDir t;
    const Bytes data = sampleData(70000, 31);
    std::vector<Bytes> good;
    ASSERT_TRUE(zlibDeflate(t, data, {{6, 0}, {1, 4}, {0, 0}}, good));
    std::mt19937 rng(5);
    Inflater inf;
    const Bytes* cur = nullptr;
    std::size_t pos = 0;
    inf.Input = [&](std::uint8_t* b, std::size_t cap) -> std::ptrdiff_t {
        const std::size_t n = std::min(cap, cur->size() - pos);
        std::memcpy(b, cur->data() + pos, n);
        pos += n;
        return std::ptrdiff_t(n);
    };
    Bytes out;
    inf.Output = [&](const std::uint8_t* p, std::size_t n) {
        out.insert(out.end(), p, p + n);
        return true;
    };
    for (int round = 0; round < 30; ++round) {
        Bytes bad = good[std::size_t(round) % good.size()];
        bad.resize(bad.size() / 2 + rng() % (bad.size() / 2));
        bad[rng() % bad.size()] ^= 0x5A;
        cur = &bad;
        pos = 0;
        out.clear();
        (void)inf.Inflate();
        cur = &good[std::size_t(round) % good.size()];
        pos = 0;
        out.clear();
        ASSERT_EQ(inf.Inflate(), 0) << round;
        ASSERT_EQ(out, data) << round;
        EXPECT_EQ(inf.TotalOut(), data.size());
    }
}

TEST(InflateHostile, OutputLimitStopsAHugeExpansion) {
    // A fixed block of maximal matches expands about 1000-fold.
    BitWriter w;
    w.put(1, 1);
    w.put(1, 2);
    fixedLit(w, 0);
    for (int i = 0; i < 20000; ++i) {
        fixedLit(w, 285);
        fixedDist(w, 0);
    }
    fixedLit(w, 256);
    const Bytes s = w.finish();
    Bytes out;
    EXPECT_EQ(inflateBuffer(s, out, 100000), err::WriteError);
    EXPECT_LE(out.size(), 100000u);
    out.clear();
    EXPECT_EQ(inflateBuffer(s, out), 0);
    EXPECT_EQ(out.size(), 1u + 20000u * 258u);
}

} // namespace
