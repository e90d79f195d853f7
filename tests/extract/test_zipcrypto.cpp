// Traditional decryption: block boundaries do not matter, and the header
// check leaves the keys ready for the data that follows.
#include <gtest/gtest.h>

#include "archive/extract/ZipCrypto.h"
#include "tests/support/ZipBuilder.h"

namespace {

std::vector<std::uint8_t> encrypt(const std::string& pw, const std::vector<std::uint8_t>& plain) {
    ziptest::Encrypter e(pw);
    std::vector<std::uint8_t> out;
    for (std::uint8_t b : plain) out.push_back(e.encrypt(b));
    return out;
}

} // namespace

TEST(ZipCrypto, DecryptsAcrossArbitraryBlockSplits) {
    std::vector<std::uint8_t> plain(5000);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<std::uint8_t>(i * 131 + 7);
    const auto cipher = encrypt("pass word", plain);
    EXPECT_NE(cipher, plain);
    for (std::size_t step : {1u, 7u, 12u, 4096u, 5000u}) {
        ZipDecrypter d;
        d.init("pass word");
        auto buf = cipher;
        for (std::size_t at = 0; at < buf.size(); at += step)
            d.decrypt(buf.data() + at, std::min(step, buf.size() - at));
        EXPECT_EQ(buf, plain) << step;
    }
}

TEST(ZipCrypto, HeaderCheckAcceptsOnlyTheMatchingLastByteAndPrimesTheKeys) {
    std::vector<std::uint8_t> plain = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xC3, 'd', 'a', 't', 'a'};
    const auto cipher = encrypt("s3cret", plain);
    ZipDecrypter d;
    EXPECT_FALSE(d.tryPassword("s3cret", cipher.data(), 0xC4));
    EXPECT_FALSE(d.tryPassword("S3CRET", cipher.data(), 0xC3));
    ASSERT_TRUE(d.tryPassword("s3cret", cipher.data(), 0xC3));
    std::vector<std::uint8_t> rest(cipher.begin() + 12, cipher.end());
    d.decrypt(rest.data(), rest.size());
    EXPECT_EQ(std::string(rest.begin(), rest.end()), "data");
    // Password bytes are taken as 8-bit characters.
    const auto high = encrypt("\xE9t\xE9", plain);
    EXPECT_TRUE(d.tryPassword("\xE9t\xE9", high.data(), 0xC3));
}
