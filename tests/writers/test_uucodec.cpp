// The text layouts byte for byte, the decoders' tolerance and their
// refusals, and round trips over every line-end and header combination.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "tests/writers/TextCodec.h"

using namespace texttest;
using uucodec::Scheme;

TEST(TextLayout, EmptyInputGivesHeaderZeroLineAndTrailer) {
    EXPECT_EQ(encode({}, Scheme::UU, true, false, 644, "empty.txt"),
              "begin 0644 empty.txt\n`\nend\n");
    EXPECT_EQ(encode({}, Scheme::UU, true, true, 644, "empty.txt"),
              "begin 0644 empty.txt\r\n`\r\nend\r\n");
    EXPECT_EQ(encode({}, Scheme::XX, true, false, 644, "e"), "begin 0644 e\n+\nend\n");
    EXPECT_EQ(encode({}, Scheme::Base64, true, false, 644, "e"), "begin-base64 0644 e\n====\n");
}

TEST(TextLayout, FullLineIsFollowedByTheZeroLengthLine) {
    const Bytes data(45, 0);
    const std::string uu = encode(data, Scheme::UU);
    EXPECT_EQ(uu, "begin 0644 data.bin\nM" + std::string(60, '`') + "\n`\nend\n");
    const std::string xx = encode(data, Scheme::XX);
    EXPECT_EQ(xx, "begin 0644 data.bin\nh" + std::string(60, '+') + "\n+\nend\n");
}

// Vectors worked out from the alphabets: "Cat" is 0x43 0x61 0x74, six-bit
// values 16 54 5 52; "s" (0x73) gives 28 48 and nothing more.
TEST(TextLayout, KnownVectors) {
    EXPECT_EQ(encode(bytes("Cat"), Scheme::UU, true, false, 644, "c"),
              "begin 0644 c\n#0V%T\n`\nend\n");
    EXPECT_EQ(encode(bytes("Cats"), Scheme::XX, true, false, 644, "cats.txt"),
              "begin 0644 cats.txt\n2Eq3oQk\n+\nend\n");
    EXPECT_EQ(encode(bytes("Cats"), Scheme::Base64, false), "Q2F0cw==\n\n");
}

TEST(TextLayout, LastGroupCarriesOnlyItsDataExceptBase64Padding) {
    EXPECT_EQ(encode(bytes("a"), Scheme::UU, false), "!80\n`\n\n");
    EXPECT_EQ(encode(bytes("ab"), Scheme::UU, false), "\"86(\n`\n\n");
    EXPECT_EQ(encode(bytes("a"), Scheme::Base64, false), "YQ==\n\n");
    EXPECT_EQ(encode(bytes("ab"), Scheme::Base64, false), "YWI=\n\n");
    EXPECT_EQ(encode(bytes("a"), Scheme::Base64, true, false, 644, "a"),
              "begin-base64 0644 a\nYQ==\n====\n");
}

TEST(TextLayout, HeaderLineShowsModeDigitsAndASafeName) {
    EXPECT_EQ(encode({}, Scheme::UU, true, false, 755, "x").substr(0, 13), "begin 0755 x\n");
    EXPECT_EQ(encode({}, Scheme::Base64, true, false, 10644, "x").substr(0, 20),
              "begin-base64 10644 x");
    const uucodec::Layout l{Scheme::UU, true, false};
    EXPECT_EQ(uucodec::headerLine(l, 644, "a\nend\r\tb"), "begin 0644 a_end__b\n");
}

TEST(TextLayout, LineEndsAndHeaders) {
    const Bytes data = randomBytes(1000, 1);
    for (Scheme s : {Scheme::UU, Scheme::XX, Scheme::Base64}) {
        const std::string lf = encode(data, s, true, false);
        EXPECT_EQ(lf.find('\r'), std::string::npos);
        const std::string crlf = encode(data, s, true, true);
        std::size_t lines = 0;
        for (std::size_t i = 0; i < crlf.size(); ++i)
            if (crlf[i] == '\n') {
                ++lines;
                ASSERT_TRUE(i > 0 && crlf[i - 1] == '\r') << "at " << i;
            }
        EXPECT_EQ(lines, static_cast<std::size_t>(std::count(lf.begin(), lf.end(), '\n')));
        // Without headers: no begin line, no trailer, an empty last line.
        const std::string bare = encode(data, s, false, false);
        EXPECT_EQ(bare.find("begin"), std::string::npos);
        EXPECT_EQ(bare.find("end"), std::string::npos);
        EXPECT_EQ(bare.find("===="), std::string::npos);
        EXPECT_EQ(bare.substr(bare.size() - 2), "\n\n");
        // Full lines: 61 characters (uu, xx) or 76 (Base64).
        const std::size_t first = lf.find('\n') + 1;
        EXPECT_EQ(lf.find('\n', first) - first, s == Scheme::Base64 ? 76u : 61u);
    }
}

class RoundTrip : public ::testing::TestWithParam<std::tuple<Scheme, bool, bool>> {};

TEST_P(RoundTrip, EverySizeUpToSeveralLines) {
    const auto [s, headers, crlf] = GetParam();
    const uucodec::Layout l{s, headers, crlf};
    for (std::size_t n = 0; n <= 240; ++n) {
        const Bytes data = randomBytes(n, static_cast<unsigned>(n));
        const std::string text = encode(data, s, headers, crlf, 600, "f");
        const std::size_t header = headers ? uucodec::headerLine(l, 600, "f").size() : 0;
        ASSERT_EQ(text.size(), uucodec::textSize(l, n, header)) << n;
        Decoded d = decode(text, s, headers);
        ASSERT_TRUE(d.ok) << n << ": " << d.error;
        ASSERT_EQ(d.data, data) << n;
        if (headers) {
            EXPECT_EQ(d.name, "f");
            EXPECT_EQ(d.mode, 0600);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, RoundTrip,
                         ::testing::Combine(::testing::Values(Scheme::UU, Scheme::XX,
                                                              Scheme::Base64),
                                            ::testing::Bool(), ::testing::Bool()));

TEST(TextDecode, PiecesOfAnySizeGiveTheSameBytes) {
    const Bytes data = randomBytes(5000, 7);
    for (Scheme s : {Scheme::UU, Scheme::XX, Scheme::Base64}) {
        const std::string text = "From: someone\n\n" + encode(data, s, true, true) + "-- \nbye\n";
        for (std::size_t piece : {1u, 2u, 3u, 61u, 77u, 1000u}) {
            Decoded d = decode(text, s, true, piece);
            ASSERT_TRUE(d.ok) << piece << ": " << d.error;
            EXPECT_EQ(d.data, data) << piece;
        }
    }
}

TEST(TextDecode, Base64PaddedUnpaddedAndAcrossLines) {
    const struct {
        const char* text;
        const char* bytes;
    } cases[] = {
        {"begin-base64 644 a\nYQ\nend\n", "a"},             // unpadded, old trailer
        {"begin-base64 644 a\nYWI\n====\n", "ab"},          // unpadded, new trailer
        {"begin-base64 644 a\nYWJj\nZA==\n====\n", "abcd"}, // padded
        {"begin-base64 644 a\nYW\nJjZA\n====\n", "abcd"},   // groups across lines
        {"begin-base64 644 a\nY W\tJj\r\n====\n", "abc"},   // blanks inside
        {"begin-base64 644 a\nYQ==YQ==\n====\n", "aa"},     // concatenated
        {"begin-base64 644 a\nYQ==\n\n====\n", "a"},        // empty line
        {"begin-base64 644 a\nendx\n====\n", "zwq"},        // data that starts like "end"
    };
    for (const auto& c : cases) {
        Decoded d = decode(c.text, Scheme::Base64);
        EXPECT_TRUE(d.ok) << c.text << d.error;
        EXPECT_EQ(d.data, bytes(c.bytes)) << c.text;
    }
}

TEST(TextDecode, UUGroupsCutPaddedOrShortOfBlanks) {
    using namespace std::string_literals;
    const struct {
        const char* text;
        std::string bytes;
    } cases[] = {
        {"begin 644 a\n#86)C\n`\nend\n", "abc"},
        {"begin 644 a\n!80``\n`\nend\n", "a"},           // padded group
        {"begin 644 a\n!80\n`\nend\n", "a"},             // cut group
        {"begin 644 a\n#86)C=\n \nend\n", "abc"},        // checksum char, blank zero line
        {"begin 644 a\n$80  \n\nend\n", "a\0\0\0"s},     // blanks for zero, then stripped
        {"begin 644 a\r\n#86)C\r\n`\r\nend\r\n", "abc"}, // CRLF
        {"begin 644 a\n#86)C\nend  \n", "abc"},          // no zero-length line
    };
    for (const auto& c : cases) {
        Decoded d = decode(c.text, Scheme::UU);
        EXPECT_TRUE(d.ok) << c.text << d.error;
        EXPECT_EQ(d.data, Bytes(c.bytes.begin(), c.bytes.end())) << c.text;
    }
}

TEST(TextDecode, BeginLineNameAndMode) {
    Decoded d = decode("preamble\nbegin 0755 \"my file.txt\"\r\n`\nend\n", Scheme::UU);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.name, "my file.txt");
    EXPECT_EQ(d.mode, 0755);
    d = decode("begin 64x ../../.bashrc\n`\nend\n", Scheme::UU);
    EXPECT_EQ(d.name, "../../.bashrc") << "the decoder reports; the component confines";
    EXPECT_EQ(d.mode, -1);
    d = decode("begin-base64 644 b64\n====\n", Scheme::UU);
    EXPECT_FALSE(d.ok) << "a Base64 text is no uuencoded text";
    d = decode("begin 644 uu\n`\nend\n", Scheme::Base64);
    EXPECT_FALSE(d.ok);
}

TEST(TextDecode, RefusesDamagedOrCutText) {
    const struct {
        Scheme s;
        const char* text;
        const char* error;
    } cases[] = {
        {Scheme::UU, "no header here\n", "No begin line found"},
        {Scheme::UU, "", "No begin line found"},
        {Scheme::UU, "begin 644 a\n#86)C\n", "The text ends before its end line"},
        {Scheme::Base64, "begin-base64 644 a\nYWJj\n", "The text ends before its end line"},
        {Scheme::UU, "begin 644 a\n#8a)C\n`\nend\n", "Line 2 is damaged"},
        {Scheme::UU, "begin 644 a\n`\nxyz\nend\n", "Line 3 is damaged"},
        {Scheme::XX, "begin 644 a\n1E!3o\n+\nend\n", "Line 2 is damaged"},
        {Scheme::Base64, "begin-base64 644 a\nYW*j\n====\n", "Line 2 is damaged"},
        {Scheme::Base64, "begin-base64 644 a\nYWJjZ\n====\n", "Line 3 is damaged"},
        {Scheme::Base64, "begin-base64 644 a\nY===\n====\n", "Line 2 is damaged"},
    };
    for (const auto& c : cases) {
        Decoded d = decode(c.text, c.s);
        EXPECT_FALSE(d.ok) << c.text;
        EXPECT_EQ(d.error, c.error) << c.text;
    }
}

TEST(TextDecode, WithoutHeadersTheWholeTextIsData) {
    EXPECT_EQ(decode("#86)C\n`\n", Scheme::UU, false).data, bytes("abc"));
    EXPECT_EQ(decode("YWJj", Scheme::Base64, false).data, bytes("abc"));
    EXPECT_EQ(decode("YWJj\nend\ntrailing junk", Scheme::Base64, false).data, bytes("abc"));
    EXPECT_TRUE(decode("", Scheme::XX, false).ok);
}

TEST(TextDecode, OverLongLinesAreConsumedWithBoundedLookahead) {
    using uucodec::Decoder;
    // A preamble line far longer than the look-ahead, then the text.
    std::string text(3 * Decoder::kMaxHold, 'x');
    text += "\nbegin 644 a\n#86)C" + std::string(2 * Decoder::kMaxHold, '!') + "\n`\nend\n";
    for (std::size_t piece : {100u, 5000u}) {
        Decoded d = decode(text, Scheme::UU, true, piece);
        EXPECT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.data, bytes("abc"));
    }
    // One Base64 line of 400 KB, as `base64 -w0` writes.
    const Bytes data = randomBytes(300000, 3);
    std::string b64 = encode(data, Scheme::Base64, false);
    b64.erase(std::remove(b64.begin(), b64.end(), '\n'), b64.end());
    b64 = "begin-base64 644 big\n" + b64 + "\n====\n";
    Decoded d = decode(b64, Scheme::Base64, true, 4 * Decoder::kMaxHold);
    EXPECT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.data, data);
    // A "begin" line too long for any name.
    d = decode("begin 644 " + std::string(Decoder::kMaxHold, 'n'), Scheme::UU, true, 100);
    EXPECT_EQ(d.error, "Invalid file name in the begin line");
}

TEST(TextDetect, TellsTheThreeApartByTheirLines) {
    for (std::size_t n : {0u, 1u, 3u, 44u, 45u, 46u, 1000u}) {
        const Bytes data = randomBytes(n, static_cast<unsigned>(n) + 11);
        for (Scheme s : {Scheme::UU, Scheme::XX, Scheme::Base64}) {
            const std::string text = "Subject: file\n\n" + encode(data, s);
            Scheme found = s == Scheme::UU ? Scheme::XX : Scheme::UU;
            ASSERT_TRUE(uucodec::detectScheme(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size(), found));
            EXPECT_EQ(found, s) << n;
        }
    }
    Scheme found;
    const std::string none = "begin-not\nbeginning\n";
    EXPECT_FALSE(uucodec::detectScheme(reinterpret_cast<const std::uint8_t*>(none.data()),
                                       none.size(), found));
}
