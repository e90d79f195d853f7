// Bit readers over a member's Input, least or most significant bit first.
// Both keep up to 64 bits and refill a machine word at a time while the
// current input block has eight bytes left, a byte at a time near its end.
// Past the end of the member they supply a padding byte (all ones for the
// old ZIP methods, zero for most others) and remember that a padding bit
// was consumed.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "archive/extract/Decoder.h"

namespace dec {

namespace detail {
inline std::uint64_t load64le(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}
inline std::uint64_t load64be(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}
} // namespace detail

// Least significant bit first (Deflate order; the old ZIP methods).
class LsbBitReader {
public:
    explicit LsbBitReader(Input& in, std::uint8_t pad = 0xFF) : in_(in), pad_(pad) {}

    // Makes n (<= 56) bits available; false when some of them are padding.
    bool need(int n) {
        if (count_ < n) refill();
        return n <= count_ - padBits_;
    }
    std::uint32_t peek(int n) const {
        return static_cast<std::uint32_t>(buf_ & ((std::uint64_t{1} << n) - 1));
    }
    void drop(int n) {
        buf_ >>= n;
        count_ -= n;
        if (count_ < padBits_) {
            dry_ = true;
            padBits_ = count_;
        }
    }
    std::uint32_t bits(int n) {
        need(n);
        std::uint32_t v = peek(n);
        drop(n);
        return v;
    }
    // A padding bit has been consumed: the member's bytes ran out.
    bool dry() const { return dry_; }
    // Drops the bits up to the next byte boundary.
    void alignToByte() { drop(count_ & 7); }

private:
    void refill() {
        if (padBits_ == 0 && e_ - p_ >= 8) {
            buf_ |= detail::load64le(p_) << count_;
            const int take = (63 - count_) >> 3;
            p_ += take;
            count_ += take * 8;
            return;
        }
        // Near the end of a block: whole bytes, clearing what a word load
        // may have left above the valid bits.
        buf_ &= count_ ? (~std::uint64_t{0} >> (64 - count_)) : 0;
        while (count_ <= 56) {
            std::uint8_t b;
            if (p_ == e_ && !nextBlock()) {
                b = pad_;
                padBits_ += 8;
            } else {
                b = *p_++;
            }
            buf_ |= static_cast<std::uint64_t>(b) << count_;
            count_ += 8;
        }
    }
    bool nextBlock() {
        if (padBits_) return false;
        const std::uint8_t* data;
        std::size_t n = in_.takeBlock(data, false);
        if (n == 0) return false;
        p_ = data;
        e_ = data + n;
        return true;
    }

    Input& in_;
    const std::uint8_t* p_ = nullptr;
    const std::uint8_t* e_ = nullptr;
    std::uint64_t buf_ = 0;
    int count_ = 0;
    int padBits_ = 0; // the topmost bits of the buffer that are padding
    bool dry_ = false;
    std::uint8_t pad_;
};

// Most significant bit first (LHA, ARJ, ZOO and the other static Huffman
// and LZW formats).
class MsbBitReader {
public:
    explicit MsbBitReader(Input& in, std::uint8_t pad = 0) : in_(in), pad_(pad) {}

    // Makes n (<= 56) bits available; false when some of them are padding.
    bool need(int n) {
        if (count_ < n) refill();
        return n <= count_ - padBits_;
    }
    // The next n (1 to 32) bits.
    std::uint32_t peek(int n) const { return static_cast<std::uint32_t>(buf_ >> (64 - n)); }
    void drop(int n) {
        buf_ <<= n;
        count_ -= n;
        if (count_ < padBits_) {
            dry_ = true;
            padBits_ = count_;
        }
    }
    std::uint32_t bits(int n) {
        if (n == 0) return 0;
        need(n);
        std::uint32_t v = peek(n);
        drop(n);
        return v;
    }
    bool dry() const { return dry_; }

private:
    void refill() {
        if (padBits_ == 0 && e_ - p_ >= 8) {
            buf_ |= detail::load64be(p_) >> count_;
            const int take = (63 - count_) >> 3;
            p_ += take;
            count_ += take * 8;
            return;
        }
        buf_ &= count_ ? (~std::uint64_t{0} << (64 - count_)) : 0;
        while (count_ <= 56) {
            std::uint8_t b;
            if (p_ == e_ && !nextBlock()) {
                b = pad_;
                padBits_ += 8;
            } else {
                b = *p_++;
            }
            buf_ |= static_cast<std::uint64_t>(b) << (56 - count_);
            count_ += 8;
        }
    }
    bool nextBlock() {
        if (padBits_) return false;
        const std::uint8_t* data;
        std::size_t n = in_.takeBlock(data, false);
        if (n == 0) return false;
        p_ = data;
        e_ = data + n;
        return true;
    }

    Input& in_;
    const std::uint8_t* p_ = nullptr;
    const std::uint8_t* e_ = nullptr;
    std::uint64_t buf_ = 0;
    int count_ = 0;
    int padBits_ = 0;
    bool dry_ = false;
    std::uint8_t pad_;
};

} // namespace dec
