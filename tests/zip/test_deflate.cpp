// The Deflate compressor: every level on every kind of input decodes to the
// input again through the project's Inflate and through zlib; edge cases
// of the stream layout; length-limited Huffman codes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "archive/extract/decoders/Inflate.h"
#include "archive/zip/Deflate.h"
#include "archive/zip/DeflateBlock.h"
#include "zip/ZipTestSupport.h"

using ziptest::Bytes;

namespace {

Bytes zlibInflate(const Bytes& packed, std::size_t expect) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    Bytes out(expect + 16);
    z.next_in = const_cast<Bytef*>(packed.data());
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    EXPECT_EQ(rc, Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the final block";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

Bytes ownInflate(const Bytes& packed) {
    Bytes out;
    std::size_t unused = 0;
    EXPECT_EQ(inflateBuffer(packed, out, SIZE_MAX, &unused), 0);
    EXPECT_EQ(unused, 0u);
    return out;
}

// Input in reads of `step` bytes.
Bytes deflateInSteps(const Bytes& in, int level, std::size_t step) {
    Deflater d(level);
    std::size_t pos = 0;
    Bytes out;
    d.Input = [&](std::uint8_t* buf, std::size_t cap) {
        const std::size_t n = std::min({cap, step, in.size() - pos});
        std::memcpy(buf, in.data() + pos, n);
        pos += n;
        return n;
    };
    d.Output = [&](std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); };
    const std::uint64_t n = d.Deflate();
    EXPECT_EQ(n, out.size());
    return out;
}

struct Input {
    const char* name;
    Bytes (*make)();
};

Bytes mixed(std::size_t n) {
    Bytes b = ziptest::textBytes(n / 2);
    Bytes r = ziptest::randomBytes(n / 4, 7);
    b.insert(b.end(), r.begin(), r.end());
    Bytes t = ziptest::binaryBytes(n - b.size());
    b.insert(b.end(), t.begin(), t.end());
    return b;
}

const Input kInputs[] = {
    {"text", [] { return ziptest::textBytes(300000); }},
    {"binary", [] { return ziptest::binaryBytes(300000); }},
    {"random", [] { return ziptest::randomBytes(200000); }},
    {"empty", [] { return Bytes(); }},
    {"oneByte", [] { return Bytes{'x'}; }},
    {"allEqual", [] { return Bytes(200000, 0x41); }},
    {"size65536", [] { return mixed(65536); }},
    {"size65537", [] { return mixed(65537); }},
    // Past the window buffer: slides, block limits and refills.
    {"mixed3MiB", [] { return mixed(3u << 20); }},
};

class DeflateRoundTrip : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(DeflateRoundTrip, DecodesToTheInputWithOursAndZlib) {
    const auto [which, level] = GetParam();
    const Bytes in = kInputs[which].make();
    Deflater::Stats stats;
    const Bytes packed = deflateBuffer(in, level, &stats);
    EXPECT_EQ(ownInflate(packed), in);
    EXPECT_EQ(zlibInflate(packed, in.size()), in);
    // Never much larger than storing: 5 bytes per stored block at worst.
    EXPECT_LE(packed.size(), in.size() + 5 * (in.size() / 65535 + 1) + 8);
}

INSTANTIATE_TEST_SUITE_P(AllLevels, DeflateRoundTrip,
                         ::testing::Combine(::testing::Range(0, int(std::size(kInputs))),
                                            ::testing::Range(1, 10)),
                         [](const auto& info) {
                             return std::string(kInputs[std::get<0>(info.param)].name) + "_level" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST(Deflate, EmptyInputIsOneFinalFixedBlock) {
    for (int level = 1; level <= 9; ++level)
        EXPECT_EQ(deflateBuffer({}, level), (Bytes{0x03, 0x00})) << "level " << level;
}

TEST(Deflate, OutputDoesNotDependOnHowTheInputArrives) {
    const Bytes in = mixed(200000);
    for (int level : {1, 3, 5, 9}) {
        const Bytes whole = deflateBuffer(in, level);
        for (std::size_t step : {1u, 7u, 4096u})
            EXPECT_EQ(deflateInSteps(in, level, step), whole)
                << "level " << level << " step " << step;
    }
}

TEST(Deflate, IncompressibleDataIsStoredAndCompressibleDataIsNot) {
    Deflater::Stats stats;
    deflateBuffer(ziptest::randomBytes(300000), 5, &stats);
    EXPECT_GT(stats.storedBlocks, 0u);
    EXPECT_EQ(stats.dynamicBlocks + stats.fixedBlocks, 0u);
    deflateBuffer(ziptest::textBytes(300000), 5, &stats);
    EXPECT_EQ(stats.storedBlocks, 0u);
}

// Text, then random data that starts with a copy of the text's last bytes,
// then text again: the stored block in the middle begins or ends at a
// match, and every byte up to that match's end must be in the stream.
TEST(Deflate, StoredBlocksBesideMatchesKeepEveryByte) {
    for (int level : {1, 3, 5, 9}) {
        Bytes in = ziptest::textBytes(80000);
        Bytes mid(in.end() - 300, in.end());
        Bytes r = ziptest::randomBytes(150000, 11);
        mid.insert(mid.end(), r.begin(), r.end());
        mid.insert(mid.end(), in.begin(), in.begin() + 500);
        in.insert(in.end(), mid.begin(), mid.end());
        Bytes t = ziptest::textBytes(80000, 5);
        in.insert(in.end(), t.begin(), t.end());
        Deflater::Stats stats;
        const Bytes packed = deflateBuffer(in, level, &stats);
        EXPECT_GT(stats.storedBlocks, 0u) << "level " << level;
        EXPECT_GT(stats.dynamicBlocks, 0u) << "level " << level;
        EXPECT_EQ(ownInflate(packed), in) << "level " << level;
    }
}

TEST(Deflate, HigherLevelsAreNotLarger) {
    const Bytes in = mixed(1u << 20);
    std::size_t last = SIZE_MAX;
    for (int level : {1, 3, 5, 9}) {
        const std::size_t n = deflateBuffer(in, level).size();
        EXPECT_LE(n, last) << "level " << level;
        last = n;
    }
}

// Small inputs, where levels 7 to 9 look one position ahead: still no
// larger than level 5, and they decode; either side of the size where the
// parse changes.
TEST(Deflate, SmallInputsAtTheHighLevels) {
    for (std::size_t n : {std::size_t(4000), std::size_t(65535), std::size_t(65536)}) {
        const Bytes in = mixed(n);
        const std::size_t five = deflateBuffer(in, 5).size();
        for (int level : {7, 9}) {
            const Bytes packed = deflateBuffer(in, level);
            EXPECT_LE(packed.size(), five) << n << " level " << level;
            EXPECT_EQ(ownInflate(packed), in) << n << " level " << level;
        }
    }
}

TEST(Deflate, WorkingSetIsFixedAndSmall) {
    for (int level = 1; level <= 9; ++level) {
        EXPECT_GT(Deflater::WorkingSetBytes(level), 1u << 20);
        EXPECT_LT(Deflater::WorkingSetBytes(level), 3u << 20);
    }
}

// ---- Huffman codes ------------------------------------------------------

struct CodeCase {
    const char* name;
    std::vector<std::uint32_t> freq;
    int maxLen;
};

std::vector<std::uint32_t> fibonacci(int n) {
    std::vector<std::uint32_t> f(static_cast<std::size_t>(n));
    std::uint32_t a = 1, b = 1;
    for (auto& x : f) {
        x = a;
        const std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    return f;
}

TEST(DeflateHuffman, CodesAreCompleteAndWithinTheLengthLimit) {
    std::vector<std::uint32_t> flat(286, 5), one(30, 0), two(30, 0), sparse(286, 0);
    one[7] = 100;
    two[0] = 1;
    two[29] = 1000000;
    for (int i = 0; i < 286; i += 37)
        sparse[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i + 1);
    const CodeCase cases[] = {
        {"fibonacci30", fibonacci(30), 15},
        {"fibonacci286",
         [] {
             auto f = fibonacci(40);
             f.resize(286, 1);
             return f;
         }(),
         15},
        {"precode19", fibonacci(19), 7},
        {"flat", flat, 15},
        {"oneSymbol", one, 15},
        {"twoSymbols", two, 15},
        {"sparse", sparse, 15},
    };
    for (const CodeCase& c : cases) {
        std::uint8_t lens[zdef::kNumLitLen] = {};
        const int n = static_cast<int>(c.freq.size());
        zdef::buildLengths(c.freq.data(), n, c.maxLen, lens);
        std::uint64_t kraft = 0;
        int used = 0;
        for (int s = 0; s < n; ++s) {
            EXPECT_LE(lens[s], c.maxLen) << c.name;
            if (c.freq[static_cast<std::size_t>(s)]) {
                EXPECT_GT(lens[s], 0) << c.name << " symbol " << s;
            }
            if (lens[s]) {
                kraft += 1ull << (c.maxLen - lens[s]);
                ++used;
            }
        }
        EXPECT_GE(used, 2) << c.name;
        EXPECT_EQ(kraft, 1ull << c.maxLen) << c.name << ": the code must be complete";
    }
}

} // namespace
