// The static Huffman decoder: members of archives made by jlha (lh5, lh6,
// lh7) and of the corpus (lh4) decode to their files; hand-made blocks
// show the single-symbol tables, the history before the first byte, the
// end block and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/core/Crc.h"
#include "archive/format/LhaFormat.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/DecoderHarness.h"
#include "tests/support/LhaMembers.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::MsbBitWriter;

namespace {

using testsupport::LhaMember;

std::uint16_t crc16(const std::string& s) {
    std::uint16_t c = 0;
    Crc16Update(s.data(), s.size(), c);
    return c;
}

// The header of a block: its size and three single-symbol tables (the
// code-length code, the literal/length code, the position code).
void singleSymbolBlock(MsbBitWriter& w, int size, int symbol, int position, int pbit = 4) {
    w.put(static_cast<std::uint32_t>(size), 16);
    w.put(0, 5);
    w.put(0, 5);
    w.put(0, 9);
    w.put(static_cast<std::uint32_t>(symbol), 9);
    w.put(0, static_cast<std::uint32_t>(pbit));
    w.put(static_cast<std::uint32_t>(position), pbit);
}

} // namespace

TEST(LhaStatic, JlhaMembersOfEveryDictionarySize) {
    if (!testsupport::haveTool("jlha")) GTEST_SKIP() << "jlha not installed";
    testsupport::TempDir tmp;
    std::string text;
    for (int i = 0; i < 6000; ++i)
        text += "entry " + std::to_string(i * 7919 % 10007) + " of many\n";
    std::mt19937 rng(5);
    std::string noise(150000, '\0');
    for (char& c : noise) c = static_cast<char>(rng() % 7 == 0 ? rng() : 'x');
    // Far repeats reach across the whole of the larger dictionaries.
    std::string far = noise.substr(0, 70000) + text + noise.substr(0, 70000);
    testsupport::writeFile(tmp / "text.txt", text);
    testsupport::writeFile(tmp / "noise.bin", noise);
    testsupport::writeFile(tmp / "far.bin", far);
    const std::map<std::string, std::string> files = {
        {"text.txt", text}, {"noise.bin", noise}, {"far.bin", far}};
    for (const char* method : {"5", "6", "7"}) {
        SCOPED_TRACE(method);
        const std::string arc = tmp / (std::string("x") + method + ".lzh");
        ASSERT_EQ(testsupport::run("cd '" + tmp.path() + "' && jlha a2o" + method + "q '" + arc +
                                   "' text.txt noise.bin far.bin >/dev/null 2>&1"),
                  0);
        auto members = testsupport::lhaMembers(arc);
        ASSERT_EQ(members.size(), 3u);
        for (const LhaMember& m : members) {
            EXPECT_EQ(m.h.MethodId[3], method[0]);
            auto r = testsupport::decodeLhaMember(m);
            EXPECT_EQ(r.code, 0) << m.h.Name;
            EXPECT_TRUE(r.text == files.at(m.h.Name)) << m.h.Name;
        }
    }
}

TEST(LhaStatic, InputInSmallPiecesDecodesTheSame) {
    if (!testsupport::haveTool("jlha")) GTEST_SKIP() << "jlha not installed";
    testsupport::TempDir tmp;
    std::mt19937 rng(9);
    std::string text;
    while (text.size() < 400000)
        text += "word" + std::to_string(rng() % 5000) + (rng() % 9 ? " " : "\n");
    testsupport::writeFile(tmp / "t.txt", text);
    ASSERT_EQ(testsupport::run("cd '" + tmp.path() + "' && jlha a1o7q t.lzh t.txt >/dev/null 2>&1"),
              0);
    auto members = testsupport::lhaMembers(tmp / "t.lzh");
    ASSERT_EQ(members.size(), 1u);
    for (std::size_t few : {3, 7, 13}) {
        auto r = testsupport::decodeInPieces(fmt::Codec::LhaStatic, members[0].data,
                                             testsupport::params(text.size(), 0, 16), few);
        EXPECT_EQ(r.code, 0);
        EXPECT_TRUE(r.text == text) << few;
    }
}

// lh4 (Amiga) and lh5 to lh7 samples: each member's CRC-16 matches.
TEST(LhaStatic, CorpusMembers) {
    const std::string dir = std::string(OLMEK_CORPUS_DIR) + "/lha";
    if (!fs::exists(dir)) GTEST_SKIP() << "corpus not found";
    int checked = 0;
    for (const char* name :
         {"commons-compress__test-amiga-l0-lh4.lha", "commons-compress__test-macos-l0-lh5.lha",
          "commons-compress__test-macos-l0-lh6.lha", "commons-compress__test-macos-l0-lh7.lha",
          "commons-compress__test-macos-l0-lh5-rle.lha"}) {
        const std::string path = dir + "/" + name;
        if (!fs::exists(path)) continue;
        for (const LhaMember& m : testsupport::lhaMembers(path)) {
            const fmt::MethodInfo* info = testsupport::lhaMethod(m.h);
            if (!info || info->Decoder != fmt::Codec::LhaStatic) continue;
            auto r = testsupport::decodeLhaMember(m);
            EXPECT_EQ(r.code, 0) << name;
            EXPECT_EQ(r.text.size(), static_cast<std::size_t>(m.h.UnpackedSize)) << name;
            EXPECT_EQ(crc16(r.text), m.h.Crc) << name;
            ++checked;
        }
    }
    if (checked == 0) GTEST_SKIP() << "no samples";
}

TEST(LhaStatic, SingleSymbolTablesAndSpacesBeforeTheFirstByte) {
    // A literal block, then a block of length-3 matches at distance 1: the
    // first copies the spaces that stand before the first byte.
    MsbBitWriter w;
    singleSymbolBlock(w, 2, 'A', 0);
    singleSymbolBlock(w, 1, 256, 0);
    auto r = testsupport::decodeWith(fmt::Codec::LhaStatic, w.out, testsupport::params(5, 0, 13));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "AAAAA");
    MsbBitWriter v;
    singleSymbolBlock(v, 2, 257, 0);
    r = testsupport::decodeWith(fmt::Codec::LhaStatic, v.out, testsupport::params(8, 0, 13));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "        ");
}

TEST(LhaStatic, LongestMatchAndFarthestPosition) {
    // 0xFF, then length 256 from 2^(bits) back (position code 16 for 64 KB
    // dictionaries: 2^15 + 32767): 256 spaces.
    MsbBitWriter w;
    singleSymbolBlock(w, 1, 0xFF, 0, 5);
    singleSymbolBlock(w, 1, 509, 16, 5);
    w.put(32767, 15);
    auto r = testsupport::decodeWith(fmt::Codec::LhaStatic, w.out, testsupport::params(257, 0, 16));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "\xFF" + std::string(256, ' '));
}

TEST(LhaStatic, StopsAtTheStatedSizeAndAtTheEndBlock) {
    MsbBitWriter w;
    singleSymbolBlock(w, 100, 'z', 0);
    auto r = testsupport::decodeWith(fmt::Codec::LhaStatic, w.out, testsupport::params(7, 0, 13));
    EXPECT_EQ(r.text, "zzzzzzz");
    // A block size of 0 ends the data early: what came before stays.
    MsbBitWriter e;
    singleSymbolBlock(e, 3, 'q', 0);
    e.put(0, 16);
    r = testsupport::decodeWith(fmt::Codec::LhaStatic, e.out, testsupport::params(50, 0, 13));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "qqq");
    // Running out of bytes ends it too.
    MsbBitWriter t;
    t.put(40000, 16);
    t.put(0, 5);
    r = testsupport::decodeWith(fmt::Codec::LhaStatic, t.out, testsupport::params(50, 0, 13));
    EXPECT_LE(r.text.size(), 50u);
}

TEST(LhaStatic, RefusesCodesThatAreNotComplete) {
    struct Case {
        const char* what;
        std::function<void(MsbBitWriter&)> write;
    };
    const Case cases[] = {
        {"code-length code with lengths 1 and 2",
         [](MsbBitWriter& w) {
             w.put(10, 16);
             w.put(2, 5);
             w.put(1, 3);
             w.put(2, 3);
         }},
        {"code-length code over-full",
         [](MsbBitWriter& w) {
             w.put(10, 16);
             w.put(3, 5);
             w.put(1, 3);
             w.put(1, 3);
             w.put(1, 3);
             w.put(0, 2);
         }},
        {"a single code-length symbol out of range",
         [](MsbBitWriter& w) {
             w.put(10, 16);
             w.put(0, 5);
             w.put(25, 5);
         }},
        {"more position lengths than positions",
         [](MsbBitWriter& w) {
             w.put(10, 16);
             w.put(0, 5);
             w.put(0, 5);
             w.put(0, 9);
             w.put('a', 9);
             w.put(15, 4);
         }},
        {"a length of 20 bits",
         [](MsbBitWriter& w) {
             w.put(10, 16);
             w.put(1, 5);
             w.put(0xFFFF, 16);
         }},
    };
    for (const Case& c : cases) {
        MsbBitWriter w;
        c.write(w);
        for (int i = 0; i < 8; ++i) w.put(0, 8);
        auto r =
            testsupport::decodeWith(fmt::Codec::LhaStatic, w.out, testsupport::params(10, 0, 13));
        EXPECT_EQ(r.code, err::BadHuffmanCode) << c.what;
    }
}

TEST(LhaStatic, RefusesUnknownDictionarySizes) {
    MsbBitWriter w;
    singleSymbolBlock(w, 1, 'a', 0);
    for (int bits : {0, 9, 17}) {
        auto r =
            testsupport::decodeWith(fmt::Codec::LhaStatic, w.out,
                                    testsupport::params(1, 0, static_cast<std::uint8_t>(bits)));
        EXPECT_EQ(r.code, err::UnsupportedMethod) << bits;
    }
}
