// Little-endian fields and bit streams for hand-built archives and decoder
// inputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

inline void put8(Bytes& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
}
inline void put16(Bytes& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
inline void put32(Bytes& v, std::uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}
inline void put64(Bytes& v, std::uint64_t x) {
    put32(v, static_cast<std::uint32_t>(x));
    put32(v, static_cast<std::uint32_t>(x >> 32));
}
inline void putStr(Bytes& v, const std::string& s) {
    v.insert(v.end(), s.begin(), s.end());
}
inline void putBytes(Bytes& v, const Bytes& b) {
    v.insert(v.end(), b.begin(), b.end());
}
// Overwrites a field already written.
inline void set16(Bytes& v, std::size_t at, std::uint32_t x) {
    v[at] = static_cast<std::uint8_t>(x);
    v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
inline void set32(Bytes& v, std::size_t at, std::uint32_t x) {
    set16(v, at, x & 0xFFFF);
    set16(v, at + 2, x >> 16);
}

// Writes bit fields least significant bit first (Deflate and the old ZIP
// methods).
class LsbBitWriter {
public:
    void put(std::uint32_t value, int n) {
        for (int i = 0; i < n; ++i) {
            if (bit_ == 0) out.push_back(0);
            if ((value >> i) & 1) out.back() |= static_cast<std::uint8_t>(1u << bit_);
            bit_ = (bit_ + 1) & 7;
        }
    }
    // A Huffman code, most significant bit first, as Deflate stores codes.
    void code(std::uint32_t c, unsigned len) {
        for (unsigned i = len; i-- > 0;) put((c >> i) & 1, 1);
    }
    void align() { bit_ = 0; }
    Bytes finish() {
        align();
        return out;
    }
    Bytes out;

private:
    int bit_ = 0;
};

// Writes bit fields most significant bit first (LHA, ARJ and LZW formats).
class MsbBitWriter {
public:
    void put(std::uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (bit_ == 0) out.push_back(0);
            if ((value >> i) & 1) out.back() |= static_cast<std::uint8_t>(0x80u >> bit_);
            bit_ = (bit_ + 1) & 7;
        }
    }
    Bytes out;

private:
    int bit_ = 0;
};

} // namespace testsupport
