#include "archive/core/Crc.h"

#include <array>
#include <cstring>

namespace {

// Slicing tables: t[k][n] is the CRC of byte n followed by k zero bytes, so
// that sixteen (CRC-32) or eight (CRC-16) bytes fold in per step.
template <typename T, T Poly, int Slices>
constexpr std::array<std::array<T, 256>, Slices> makeTables() {
    std::array<std::array<T, 256>, Slices> t{};
    for (unsigned n = 0; n < 256; ++n) {
        T c = static_cast<T>(n);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? static_cast<T>((c >> 1) ^ Poly) : static_cast<T>(c >> 1);
        t[0][n] = c;
    }
    for (int s = 1; s < Slices; ++s)
        for (unsigned n = 0; n < 256; ++n)
            t[s][n] = static_cast<T>((t[s - 1][n] >> 8) ^ t[0][t[s - 1][n] & 0xFF]);
    return t;
}

constexpr auto kCrc32 = makeTables<std::uint32_t, 0xEDB88320u, 16>();
constexpr auto kCrc16 = makeTables<std::uint16_t, 0xA001u, 8>();

// Interleaved lanes for long buffers: kLanes independent CRC chains, each
// taking every kLanes-th 8-byte word, so that table look-ups of different
// lanes overlap instead of waiting on one another.  kBraid[j][b] is the
// register after byte b at position j of a word has been followed by the
// rest of its word and by the other lanes' words, i.e. the value to fold
// into the same lane's next word.
constexpr int kLanes = 8;
constexpr int kWord = 8;

constexpr std::array<std::array<std::uint32_t, 256>, kWord> makeBraid() {
    // The last byte of a word passes (kLanes - 1) words of zeros; each
    // earlier position passes one zero byte more than the next.
    std::array<std::array<std::uint32_t, 256>, kWord> t{};
    for (unsigned b = 0; b < 256; ++b) {
        std::uint32_t c = kCrc32[0][b];
        for (int z = 0; z < (kLanes - 1) * kWord; ++z) c = kCrc32[0][c & 0xFF] ^ (c >> 8);
        t[kWord - 1][b] = c;
        for (int j = kWord - 2; j >= 0; --j) {
            c = kCrc32[0][c & 0xFF] ^ (c >> 8);
            t[static_cast<std::size_t>(j)][b] = c;
        }
    }
    return t;
}

constexpr auto kBraid = makeBraid();

inline std::uint64_t load64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline std::uint32_t braidWord(std::uint64_t w) {
    return kBraid[0][w & 0xFF] ^ kBraid[1][(w >> 8) & 0xFF] ^ kBraid[2][(w >> 16) & 0xFF] ^
           kBraid[3][(w >> 24) & 0xFF] ^ kBraid[4][(w >> 32) & 0xFF] ^ kBraid[5][(w >> 40) & 0xFF] ^
           kBraid[6][(w >> 48) & 0xFF] ^ kBraid[7][w >> 56];
}

std::uint32_t crc32Slice16(const unsigned char* p, std::size_t count, std::uint32_t c);

inline std::uint32_t load32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v; // little-endian host
}

} // namespace

constinit const std::uint32_t* const Crc32Table = kCrc32[0].data();
constinit const std::uint16_t* const Crc16Table = kCrc16[0].data();

void Crc32Update(const void* buf, std::size_t count, std::uint32_t& crc) {
    const auto* p = static_cast<const unsigned char*>(buf);
    constexpr std::size_t block = kLanes * kWord;
    if (count < 4 * block) {
        crc = crc32Slice16(p, count, crc);
        return;
    }
    // The register is equivalent to xoring it into the first four data bytes.
    std::uint32_t lane[kLanes] = {crc};
    std::size_t blocks = count / block;
    for (std::size_t n = 1; n < blocks; ++n, p += block) {
        std::uint64_t w[kLanes];
#pragma GCC unroll 16
        for (int k = 0; k < kLanes; ++k) w[k] = load64(p + kWord * k) ^ lane[k];
#pragma GCC unroll 16
        for (int k = 0; k < kLanes; ++k) lane[k] = braidWord(w[k]);
    }
    // Fold the lanes into the last block and finish it and the tail serially.
    unsigned char last[block];
    std::memcpy(last, p, block);
    for (int k = 0; k < kLanes; ++k) {
        std::uint64_t w = load64(last + k * kWord) ^ lane[k];
        std::memcpy(last + k * kWord, &w, 8);
    }
    std::uint32_t c = crc32Slice16(last, block, 0);
    crc = crc32Slice16(p + block, count - blocks * block, c);
}

namespace {

std::uint32_t crc32Slice16(const unsigned char* p, std::size_t count, std::uint32_t c) {
    while (count >= 16) {
        std::uint32_t a = load32(p) ^ c, b = load32(p + 4), d = load32(p + 8), e = load32(p + 12);
        c = kCrc32[15][a & 0xFF] ^ kCrc32[14][(a >> 8) & 0xFF] ^ kCrc32[13][(a >> 16) & 0xFF] ^
            kCrc32[12][a >> 24] ^ kCrc32[11][b & 0xFF] ^ kCrc32[10][(b >> 8) & 0xFF] ^
            kCrc32[9][(b >> 16) & 0xFF] ^ kCrc32[8][b >> 24] ^ kCrc32[7][d & 0xFF] ^
            kCrc32[6][(d >> 8) & 0xFF] ^ kCrc32[5][(d >> 16) & 0xFF] ^ kCrc32[4][d >> 24] ^
            kCrc32[3][e & 0xFF] ^ kCrc32[2][(e >> 8) & 0xFF] ^ kCrc32[1][(e >> 16) & 0xFF] ^
            kCrc32[0][e >> 24];
        p += 16;
        count -= 16;
    }
    while (count--) c = kCrc32[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return c;
}

} // namespace

void Crc16Update(const void* buf, std::size_t count, std::uint16_t& crc) {
    const auto* p = static_cast<const unsigned char*>(buf);
    std::uint32_t c = crc;
    while (count >= 8) {
        std::uint32_t a = load32(p) ^ c, b = load32(p + 4);
        c = kCrc16[7][a & 0xFF] ^ kCrc16[6][(a >> 8) & 0xFF] ^ kCrc16[5][(a >> 16) & 0xFF] ^
            kCrc16[4][a >> 24] ^ kCrc16[3][b & 0xFF] ^ kCrc16[2][(b >> 8) & 0xFF] ^
            kCrc16[1][(b >> 16) & 0xFF] ^ kCrc16[0][b >> 24];
        p += 8;
        count -= 8;
    }
    while (count--) c = kCrc16[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    crc = static_cast<std::uint16_t>(c);
}

std::uint32_t crc32Of(const void* buf, std::size_t count) {
    std::uint32_t c = 0xFFFFFFFFu;
    Crc32Update(buf, count, c);
    return c ^ 0xFFFFFFFFu;
}

std::uint16_t crc16Of(const void* buf, std::size_t count) {
    std::uint16_t c = 0;
    Crc16Update(buf, count, c);
    return c;
}
