// The LZ77 match copy the sliding-window decoders share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dec {

// Copies a match of len bytes from dist back; overlapping copies repeat the
// pattern.  Works in 8- and 16-byte steps, so it may write up to 15 bytes
// past dst + len: the callers' windows keep that margin.
inline void copyMatch(std::uint8_t* dst, std::size_t dist, std::size_t len) {
    const std::uint8_t* src = dst - dist;
    std::uint8_t* const end = dst + len;
    if (dist >= 16) {
        do {
            std::uint8_t tmp[16];
            std::memcpy(tmp, src, 16);
            std::memcpy(dst, tmp, 16);
            src += 16;
            dst += 16;
        } while (dst < end);
    } else if (dist >= 8) {
        do {
            std::uint64_t v;
            std::memcpy(&v, src, 8);
            std::memcpy(dst, &v, 8);
            src += 8;
            dst += 8;
        } while (dst < end);
    } else if (dist == 1) {
        std::memset(dst, *src, len);
    } else {
        do *dst++ = *src++;
        while (dst < end);
    }
}

} // namespace dec
