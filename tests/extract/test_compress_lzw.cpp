// The LZW decoder of compress (.Z) against ncompress: every code width,
// block mode and the old mode without clear codes, tables that fill and
// are cleared; refusals of impossible codes and widths.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive/format/GzipFormat.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/DecoderHarness.h"
#include "tests/support/TempDir.h"

using testsupport::haveTool;
using testsupport::TempDir;

namespace {

// Text-like data that fills LZW tables and changes character half way, so
// that block mode clears the table.
std::string sample(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s;
    const char* words[] = {"alpha ", "beta ", "gamma ", "delta\n", "epsilon ", "zeta "};
    while (s.size() < n / 2) s += words[rng() % 6];
    while (s.size() < n) s += static_cast<char>(rng());
    return s;
}

// The file compress makes of data with the given options: magic, flags, codes.
std::vector<std::uint8_t> compressed(const TempDir& dir, const std::string& data,
                                     const std::string& options) {
    testsupport::writeFile(dir / "in", data);
    const int rc = testsupport::run("compress -c " + options + " '" + dir / "in" + "' > '" +
                                    dir / "in.Z" + "' 2>/dev/null");
    EXPECT_TRUE(rc == 0 || rc == 2) << options; // 2: the file grew, still written
    return testsupport::readFile(dir / "in.Z");
}

testsupport::DecodeResult decodeZ(const std::vector<std::uint8_t>& file) {
    if (file.size() < 3) return {err::BadBlock, {}};
    std::vector<std::uint8_t> codes(file.begin() + 3, file.end());
    return testsupport::decodeWith(fmt::Codec::CompressLzw, codes,
                                   testsupport::params(dec::kUnknownSize, file[2]));
}

} // namespace

// ncompress cannot read back what its -b 9 and -C (no block mode) make,
// so those two are tested on hand-made streams below.
TEST(CompressLzw, EveryWidthMatchesNcompress) {
    if (!haveTool("compress")) GTEST_SKIP() << "ncompress not installed";
    TempDir dir;
    const std::string data = sample(600000, 7);
    for (int bits = 10; bits <= 16; ++bits) {
        const std::string options = "-b " + std::to_string(bits);
        const auto file = compressed(dir, data, options);
        ASSERT_GT(file.size(), 3u);
        EXPECT_EQ(file[2], gz::kCompressBlockMode | bits);
        const auto r = decodeZ(file);
        EXPECT_EQ(r.code, 0) << options;
        EXPECT_TRUE(r.text == data) << options << " " << r.text.size();
    }
}

TEST(CompressLzw, OldModeWithoutClearCode) {
    // "abababab": a, b, then 256 = "ab" and 258, the code being defined.
    testsupport::LsbBitWriter w;
    for (std::uint32_t code : {97u, 98u, 256u, 258u, 98u}) w.put(code, 9);
    auto r = testsupport::decodeWith(fmt::Codec::CompressLzw, w.finish(),
                                     testsupport::params(dec::kUnknownSize, 12));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "abababab");
}

TEST(CompressLzw, ClearStepsOverTheRestOfTheGroup) {
    // Block mode: 'x', 'y', clear, then five codes of padding (the rest of
    // the group of eight), then 'z' and "zz" after the new start.
    testsupport::LsbBitWriter w;
    for (std::uint32_t code : {120u, 121u, 256u}) w.put(code, 9);
    for (int i = 0; i < 5; ++i) w.put(0x1FF, 9);
    for (std::uint32_t code : {122u, 257u}) w.put(code, 9);
    auto r = testsupport::decodeWith(fmt::Codec::CompressLzw, w.finish(),
                                     testsupport::params(dec::kUnknownSize, 0x90));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "xyzzz");
}

TEST(CompressLzw, SmallAndRepetitiveInputs) {
    if (!haveTool("compress")) GTEST_SKIP() << "ncompress not installed";
    TempDir dir;
    for (const std::string& data :
         {std::string("a"), std::string("abababababababab"), std::string(100000, 'x'),
          std::string(70000, '\0') + "tail", sample(3000, 3)}) {
        const auto r = decodeZ(compressed(dir, data, "-f"));
        EXPECT_EQ(r.code, 0);
        EXPECT_TRUE(r.text == data) << data.size();
    }
}

TEST(CompressLzw, RefusesImpossibleCodesAndWidths) {
    // 9-bit codes, least significant bit first: 'A' then a code beyond the
    // next free one (300).
    std::vector<std::uint8_t> codes = {0x41, 0x58, 0x02, 0x00};
    auto r = testsupport::decodeWith(fmt::Codec::CompressLzw, codes,
                                     testsupport::params(dec::kUnknownSize, 0x90));
    EXPECT_EQ(r.code, err::InvalidCode);
    EXPECT_EQ(r.text, "A");
    // A first code that is not a byte.
    r = testsupport::decodeWith(fmt::Codec::CompressLzw, {0x00, 0x03},
                                testsupport::params(dec::kUnknownSize, 0x90));
    EXPECT_EQ(r.code, err::InvalidCode);
    EXPECT_EQ(testsupport::decodeWith(fmt::Codec::CompressLzw, codes,
                                      testsupport::params(dec::kUnknownSize, 0x91))
                  .code,
              err::UnsupportedMethod);
    EXPECT_EQ(testsupport::decodeWith(fmt::Codec::CompressLzw, codes,
                                      testsupport::params(dec::kUnknownSize, 0x88))
                  .code,
              err::BadBlock);
    // Nothing at all decodes to nothing.
    r = testsupport::decodeWith(fmt::Codec::CompressLzw, {},
                                testsupport::params(dec::kUnknownSize, 0x90));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "");
}
