#include "archive/extract/ZipCrypto.h"

#include "archive/core/Crc.h"

namespace {

inline void step(std::uint32_t& k0, std::uint32_t& k1, std::uint32_t& k2, std::uint8_t c) {
    k0 = Crc32Table[(k0 ^ c) & 0xFF] ^ (k0 >> 8);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1u;
    k2 = Crc32Table[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8);
}

} // namespace

void ZipKeys::init(const std::string& password) {
    k0_ = 0x12345678u;
    k1_ = 0x23456789u;
    k2_ = 0x34567890u;
    for (char c : password) step(k0_, k1_, k2_, static_cast<std::uint8_t>(c));
}

void ZipKeys::cipher(std::uint8_t* buf, std::size_t n, bool encrypt) {
    // Local keys: stores through buf could otherwise alias them.
    std::uint32_t k0 = k0_, k1 = k1_, k2 = k2_;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t t = (k2 & 0xFFFF) | 2;
        const std::uint8_t key = static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
        const std::uint8_t in = buf[i];
        buf[i] = in ^ key;
        step(k0, k1, k2, encrypt ? in : static_cast<std::uint8_t>(in ^ key));
    }
    k0_ = k0;
    k1_ = k1;
    k2_ = k2;
}

bool ZipDecrypter::tryPassword(const std::string& password, const std::uint8_t header[12],
                               std::uint8_t check) {
    std::uint8_t h[12];
    for (int i = 0; i < 12; ++i) h[i] = header[i];
    init(password);
    decrypt(h, 12);
    return h[11] == check;
}
