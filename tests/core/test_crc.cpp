#include "archive/core/Crc.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {
std::uint32_t bitwiseCrc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320 : c >> 1;
    }
    return ~c;
}
std::uint16_t bitwiseCrc16(const std::uint8_t* p, std::size_t n) {
    std::uint16_t c = 0;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001)
                        : static_cast<std::uint16_t>(c >> 1);
    }
    return c;
}
} // namespace

TEST(Crc, CheckValues) {
    EXPECT_EQ(crc32Of("abc", 3), 0x352441C2u);
    EXPECT_EQ(crc16Of("abc", 3), 0x9738u);
    EXPECT_EQ(crc32Of("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(crc16Of("123456789", 9), 0xBB3Du);
    EXPECT_EQ(crc32Of("", 0), 0u);
    EXPECT_EQ(Crc32Table[1], 0x77073096u);
    EXPECT_EQ(Crc16Table[1], 0xC0C1u);
}

TEST(Crc, SlicedUpdatesMatchTheBitwiseDefinitionAtEveryLengthAndAlignment) {
    std::mt19937 rng(7);
    std::vector<std::uint8_t> data(4096 + 64);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    for (std::size_t off = 0; off < 17; ++off)
        for (std::size_t len : {0u, 1u, 7u, 8u, 15u, 16u, 17u, 31u, 33u, 100u, 4096u}) {
            EXPECT_EQ(crc32Of(data.data() + off, len), bitwiseCrc32(data.data() + off, len));
            EXPECT_EQ(crc16Of(data.data() + off, len), bitwiseCrc16(data.data() + off, len));
        }
}

TEST(Crc, IncrementalUpdatesEqualOneShot) {
    std::vector<std::uint8_t> data(10000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 7);
    std::uint32_t c32 = 0xFFFFFFFF;
    std::uint16_t c16 = 0;
    std::size_t pos = 0, step = 1;
    while (pos < data.size()) {
        std::size_t n = std::min(step, data.size() - pos);
        Crc32Update(data.data() + pos, n, c32);
        Crc16Update(data.data() + pos, n, c16);
        pos += n;
        step = step * 3 % 97 + 1;
    }
    EXPECT_EQ(c32 ^ 0xFFFFFFFF, crc32Of(data.data(), data.size()));
    EXPECT_EQ(c16, crc16Of(data.data(), data.size()));
}
