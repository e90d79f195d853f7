// The member compressor on memory streams: methods and the fall-back to
// storing, the text verdict, progress and abort, and encryption.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/core/Crc.h"
#include "archive/extract/ZipCrypto.h"
#include "archive/extract/decoders/Inflate.h"
#include "archive/zip/ZDecoder.h"
#include "archive/zip/ZipHelper.h"
#include "archive/zip/ZlExceptions.h"
#include "zip/ZipTestSupport.h"

using ziptest::Bytes;

namespace {

struct Compressed {
    TZlMemoryStream in, out;
    std::uint8_t method = 0;
    std::uint8_t fileType = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressed = 0, bytesIn = 0;
};

Compressed compress(const Bytes& data, std::uint8_t method, TZlZipDeflationOption option = doNormal,
                    TZlZDecoder* enc = nullptr, TZlProgressEvent progress = nullptr) {
    Compressed r;
    r.in.Data = data;
    TZlZipHelper h(r.in, enc, r.out);
    h.Method = method;
    h.DeflationOption = option;
    h.OnProgress = std::move(progress);
    h.Execute();
    r.method = h.Method;
    r.fileType = h.FileType;
    r.crc = h.CRC;
    r.compressed = h.CompressedSize;
    r.bytesIn = h.BytesIn;
    EXPECT_EQ(h.InSize, data.size());
    return r;
}

Bytes inflated(const Bytes& packed) {
    Bytes out;
    EXPECT_EQ(inflateBuffer(packed, out), 0);
    return out;
}

struct MethodCase {
    const char* name;
    Bytes data;
    std::uint8_t asked, used;
};

TEST(ZipHelper, MethodsAndTheFallBackToStoring) {
    const Bytes text = ziptest::textBytes(50000), noise = ziptest::randomBytes(50000);
    const MethodCase cases[] = {
        {"stored text", text, 0, 0},
        {"deflated text", text, 8, 8},
        {"best text", text, 11, 8},
        {"deflated noise stays deflated", noise, 8, 8},
        {"best noise is stored", noise, 11, 0},
        {"deflated empty", {}, 8, 8},
        {"best empty is stored", {}, 11, 0},
    };
    for (const MethodCase& c : cases) {
        for (auto option : {doSuperFast, doFast, doNormal, doMaximum}) {
            Compressed r = compress(c.data, c.asked, option);
            EXPECT_EQ(r.method, c.used) << c.name;
            EXPECT_EQ(r.crc, crc32Of(c.data.data(), c.data.size())) << c.name;
            EXPECT_EQ(r.bytesIn, c.data.size()) << c.name;
            EXPECT_EQ(r.compressed, r.out.Data.size()) << c.name;
            if (c.used == 0)
                EXPECT_EQ(r.out.Data, c.data) << c.name;
            else
                EXPECT_EQ(inflated(r.out.Data), c.data) << c.name;
        }
    }
}

TEST(ZipHelper, EmptyInputDeflatesToTwoBytesWithCrcZero) {
    Compressed r = compress({}, 8);
    EXPECT_EQ(r.out.Data, (Bytes{0x03, 0x00}));
    EXPECT_EQ(r.crc, 0u);
    EXPECT_EQ(r.method, 8);
}

TEST(ZipHelper, DeflatedNoiseIsLargerThanTheInputButKeepsMethod8) {
    Compressed r = compress(ziptest::randomBytes(100000), 8);
    EXPECT_EQ(r.method, 8);
    EXPECT_GT(r.compressed, 100000u);
}

TEST(ZipHelper, TextVerdictComesFromTheFirstBlockAndOnlyFromDeflating) {
    Bytes high(40000);
    for (std::size_t i = 0; i < high.size(); ++i)
        high[i] = static_cast<std::uint8_t>(128 + i * 7 % 128);
    EXPECT_EQ(compress(ziptest::textBytes(40000), 8).fileType, 1);
    EXPECT_EQ(compress(high, 8).fileType, 0);
    EXPECT_EQ(compress(ziptest::binaryBytes(40000), 8).fileType, 0);
    // Storing never reads the data for a verdict; a member stored after a
    // Deflate attempt keeps that attempt's verdict.
    EXPECT_EQ(compress(ziptest::textBytes(40000), 0).fileType, 2);
    EXPECT_EQ(compress(ziptest::randomBytes(40000), 11).fileType, 0);
}

TEST(ZipHelper, UnknownMethodIsRefused) {
    try {
        compress(ziptest::textBytes(100), 6);
        FAIL() << "no exception";
    } catch (const EZlZipUnsupported& e) {
        EXPECT_EQ(e.ErrorCode, 8);
        EXPECT_STREQ(e.what(), "Cannot insert file - unsupported compression method");
    }
}

TEST(ZipHelper, ProgressComesAtMostOncePerKilobyteAndOnlyOnChange) {
    for (std::uint8_t method : {0, 8}) {
        const Bytes data = ziptest::textBytes(700000);
        std::vector<int> seen;
        compress(data, method, doNormal, nullptr,
                 [&](std::uint8_t p, bool&) { seen.push_back(p); });
        ASSERT_FALSE(seen.empty());
        EXPECT_LE(seen.size(), data.size() / 1024);
        for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_NE(seen[i], seen[i - 1]);
        EXPECT_EQ(seen.back(), 100);
    }
}

TEST(ZipHelper, AbortStopsWithUserAbort) {
    for (std::uint8_t method : {0, 8, 11}) {
        int calls = 0;
        try {
            compress(ziptest::textBytes(500000), method, doNormal, nullptr,
                     [&](std::uint8_t, bool& abort) { abort = ++calls == 2; });
            FAIL() << "no exception";
        } catch (const EZlUserAbort& e) {
            EXPECT_EQ(e.ErrorCode, 9);
            EXPECT_STREQ(e.what(), "Process aborted by user");
        }
        EXPECT_EQ(calls, 2);
    }
}

// Decrypts a member written after its 12-byte header; checks the header's
// last byte against the CRC's top byte.
Bytes decrypt(const Bytes& all, const std::string& pw, std::uint32_t crc) {
    EXPECT_GE(all.size(), 12u);
    ZipDecrypter d;
    EXPECT_TRUE(d.tryPassword(pw, all.data(), static_cast<std::uint8_t>(crc >> 24)));
    Bytes body(all.begin() + 12, all.end());
    d.decrypt(body.data(), body.size());
    return body;
}

TEST(ZipHelper, EncryptedMembersDecryptWithTheExtractorsCipher) {
    const Bytes text = ziptest::textBytes(60000);
    const std::uint32_t crc = crc32Of(text.data(), text.size());
    for (std::uint8_t method : {0, 8, 11}) {
        TZlMemoryStream in, out;
        in.Data = text;
        TZlZDecoder enc("s3cret", crc);
        enc.WriteEncryptionHeader(out);
        TZlZipHelper h(in, &enc, out);
        h.Method = method;
        h.Execute();
        EXPECT_EQ(out.Data.size(), h.CompressedSize + 12);
        const Bytes plain = decrypt(out.Data, "s3cret", crc);
        EXPECT_EQ(h.Method == 0 ? plain : inflated(plain), text);
    }
}

TEST(ZipHelper, EncryptedFallBackToStoringGetsAFreshHeaderAndKeys) {
    const Bytes noise = ziptest::randomBytes(80000, 3);
    const std::uint32_t crc = crc32Of(noise.data(), noise.size());
    TZlMemoryStream in, out;
    in.Data = noise;
    const Bytes before{'P', 'K'};
    out.Data = before;
    out.SetPosition(2);
    TZlZDecoder enc("pw", crc);
    enc.WriteEncryptionHeader(out);
    const Bytes firstHeader(out.Data.begin() + 2, out.Data.end());
    TZlZipHelper h(in, &enc, out);
    h.Method = 11;
    h.Execute();
    ASSERT_EQ(h.Method, 0);
    // What came before the header is untouched; the discarded attempt is gone.
    ASSERT_EQ(out.Data.size(), 2 + 12 + noise.size());
    EXPECT_EQ(Bytes(out.Data.begin(), out.Data.begin() + 2), before);
    EXPECT_NE(Bytes(out.Data.begin() + 2, out.Data.begin() + 14), firstHeader);
    EXPECT_EQ(decrypt(Bytes(out.Data.begin() + 2, out.Data.end()), "pw", crc), noise);
}

TEST(ZipHelper, EncryptionHeaderCarriesTheCrcAndRandomBytes) {
    TZlZDecoder enc("abc", 0xA1B2C3D4);
    std::uint8_t h1[12], h2[12];
    enc.MakeEncryptionHeader(h1);
    enc.MakeEncryptionHeader(h2);
    EXPECT_NE(Bytes(h1, h1 + 10), Bytes(h2, h2 + 10));
    ZipDecrypter d;
    ASSERT_TRUE(d.tryPassword("abc", h1, 0xA1));
    std::uint8_t plain[12];
    std::copy(h1, h1 + 12, plain);
    d.init("abc");
    d.decrypt(plain, 12);
    EXPECT_EQ(plain[10], 0xB2);
    EXPECT_EQ(plain[11], 0xA1);
}

TEST(ZipHelper, PercentagesScaleLargeWholes) {
    EXPECT_EQ(ZlPercentage(0, 0), 0);
    EXPECT_EQ(ZlPercentage(5, -1), 0);
    EXPECT_EQ(ZlPercentage(10, 10), 100);
    EXPECT_EQ(ZlPercentage(11, 10), 100);
    EXPECT_EQ(ZlPercentage(1, 3), 33);
    EXPECT_EQ(ZlPercentage(std::int64_t(3) << 40, std::int64_t(4) << 40), 75);
}

} // namespace
