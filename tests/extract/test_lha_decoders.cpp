// LZHUF (-lh1-) and the LArc methods (-lzs-, -lz5-): every corpus member of
// an LHA-family archive whose method has a decoder decodes to its CRC-16;
// hand-made streams show the rings the LArc methods start from.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "archive/core/Crc.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/LhaMembers.h"

namespace fs = std::filesystem;
using testsupport::Bytes;

namespace {

std::uint16_t crc16(const std::string& s) {
    std::uint16_t c = 0;
    Crc16Update(s.data(), s.size(), c);
    return c;
}

} // namespace

TEST(LhaDecoders, EveryCorpusMemberWithADecoder) {
    const std::string dir = std::string(OLMEK_CORPUS_DIR) + "/lha";
    if (!fs::exists(dir)) GTEST_SKIP() << "corpus not found";
    std::map<std::string, int> decoded;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string path = e.path().string();
        // LHARK reuses -lh7- for a method of its own, which no LHA tool reads.
        if (path.ends_with(".peer.txt") || path.find("lhark04d-lh7") != std::string::npos) continue;
        for (const auto& m : testsupport::lhaMembers(path)) {
            const fmt::MethodInfo* info = testsupport::lhaMethod(m.h);
            if (!info || !dec::DecoderTable::instance().has(info->Decoder) || m.h.IsFolder())
                continue;
            // Members cut short by the sample's own damage are the lister's
            // business, not the decoders'.
            if (m.h.NextPos() > static_cast<std::int64_t>(fs::file_size(path))) continue;
            auto r = testsupport::decodeLhaMember(m);
            const std::string what =
                e.path().filename().string() + ": " + m.h.Name + " " + std::string(m.h.MethodId, 5);
            EXPECT_EQ(r.code, 0) << what;
            EXPECT_EQ(r.text.size(), static_cast<std::size_t>(m.h.UnpackedSize)) << what;
            EXPECT_EQ(crc16(r.text), m.h.Crc) << what;
            // The same, the bytes arriving a few and then many at a time.
            auto pieces = testsupport::decodeInPieces(
                info->Decoder, m.data,
                testsupport::params(static_cast<std::uint64_t>(m.h.UnpackedSize), 0,
                                    info->Variant));
            EXPECT_TRUE(pieces.text == r.text) << what;
            decoded[std::string(m.h.MethodId, 5)]++;
        }
    }
    // The corpus has no -lzs- member: LArc's own archives use -lz4- and -lz5-.
    for (const char* method : {"-lh1-", "-lh4-", "-lh5-", "-lh6-", "-lh7-", "-lz5-"})
        EXPECT_GT(decoded[method], 0) << method << " not met in the corpus";
}

TEST(Lz5, MatchesReachTheInitialRing) {
    // Flags 0: all matches.  Ring position 845 = 13 x 'A' holds 13 'A's;
    // position 4078 - 18 = 4060 and on hold spaces; 3328 + 'a' is 'a'.
    Bytes s = {0x00, 0x4D, 0x3A, 0xDC, 0xFF, 0x61, 0xD0};
    auto r = testsupport::decodeWith(fmt::Codec::Lz5, s, testsupport::params(13 + 18 + 3));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, std::string(13, 'A') + std::string(18, ' ') + "abc");
}

TEST(Lz5, LiteralsAndOverlappingMatches) {
    // Literal 'x', then a match of 5 from the ring position just written.
    Bytes s = {0x01, 'x', 0xEE, 0xF2};
    auto r = testsupport::decodeWith(fmt::Codec::Lz5, s, testsupport::params(6));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "xxxxxx");
}

TEST(Lzs, SpacesBeforeTheFirstByteAndLiterals) {
    testsupport::MsbBitWriter w;
    w.put(0, 1);
    w.put(0, 11);
    w.put(3, 4); // 5 spaces
    w.put(1, 1);
    w.put('k', 8);
    w.put(0, 1);
    w.put(2031 + 5, 11); // the 'k' just written
    w.put(0, 4);         // twice
    auto r = testsupport::decodeWith(fmt::Codec::Lzs, w.out, testsupport::params(8));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.text, "     kkk");
}

TEST(LhaDecoders, TruncatedStreamsEndEarly) {
    // Stated sizes far beyond what the bytes hold: decoding ends with the
    // bytes, it does not pad the member out to its stated size.
    for (fmt::Codec c : {fmt::Codec::Lzhuf, fmt::Codec::Lzs, fmt::Codec::Lz5}) {
        Bytes s(7, 0x55);
        auto r = testsupport::decodeWith(c, s, testsupport::params(std::uint64_t{1} << 40));
        EXPECT_EQ(r.code, 0);
        EXPECT_LT(r.text.size(), 200u);
    }
}
