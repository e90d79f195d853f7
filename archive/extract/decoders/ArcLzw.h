// The dynamic LZW of ARC's methods 8 and 9, as in the Unix compress of its
// day: codes of 9 bits up to a maximum (12 or 13), least significant bit
// first, read in groups of as many bytes as the code width, so that a
// group holds eight codes.  When the width grows, or after a clear (code
// 256), the rest of the current group is skipped.  Codes at or above the
// next free one repeat the previous string plus its first byte.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/core/Errors.h"
#include "archive/extract/Decoder.h"

namespace dec {

class ArcDynamicLzw {
public:
    // Decodes the whole member, handing each byte to put(byte); stops when
    // full() holds or the bytes run out.
    template <class Put, class Full> void run(Input& in, int maxBits, Put&& put, Full&& full) {
        maxBits_ = maxBits;
        maxMax_ = 1u << maxBits;
        prefix_.assign(maxMax_, 0);
        suffix_.resize(maxMax_);
        for (unsigned i = 0; i < 256; ++i) suffix_[i] = static_cast<std::uint8_t>(i);
        stack_.resize(maxMax_ + 1);
        in_ = &in;
        width_ = kInitBits;
        maxCode_ = (1u << kInitBits) - 1;
        free_ = kFirst;
        clear_ = false;
        offset_ = size_ = 0;

        int code = next();
        if (code < 0) return;
        unsigned old = static_cast<unsigned>(code);
        std::uint8_t first = static_cast<std::uint8_t>(code);
        put(first);
        while (!full() && (code = next()) >= 0) {
            if (code == kClear) {
                std::fill(prefix_.begin(), prefix_.end(), 0);
                clear_ = true;
                free_ = kFirst - 1;
                if ((code = next()) < 0) break;
            }
            const unsigned in = static_cast<unsigned>(code);
            unsigned c = in;
            std::size_t sp = 0;
            if (c >= free_) {
                stack_[sp++] = first;
                c = old;
            }
            while (c >= 256) {
                // A chain that loops (damaged data) would never end.
                if (sp >= maxMax_) fail(err::StackOverflow);
                stack_[sp++] = suffix_[c];
                c = prefix_[c];
            }
            first = static_cast<std::uint8_t>(c);
            stack_[sp++] = first;
            while (sp) put(stack_[--sp]);
            if (free_ < maxMax_) {
                prefix_[free_] = static_cast<std::uint16_t>(old);
                suffix_[free_] = first;
                ++free_;
            }
            old = in;
        }
    }

private:
    static constexpr int kInitBits = 9;
    static constexpr int kClear = 256;
    static constexpr unsigned kFirst = 257;

    // The next code, or -1 when the bytes run out.
    int next() {
        if (clear_ || offset_ >= size_ || free_ > maxCode_) {
            if (free_ > maxCode_) {
                ++width_;
                maxCode_ = width_ == maxBits_ ? maxMax_ : (1u << width_) - 1;
            }
            if (clear_) {
                width_ = kInitBits;
                maxCode_ = (1u << kInitBits) - 1;
                clear_ = false;
            }
            std::size_t got = 0;
            while (got < static_cast<std::size_t>(width_)) {
                const std::size_t n =
                    in_->read(group_ + got, static_cast<std::size_t>(width_) - got);
                if (n == 0) break;
                got += n;
            }
            if (got == 0) return -1;
            offset_ = 0;
            // Bit positions at which a whole code still starts.
            size_ = static_cast<int>(got * 8) - (width_ - 1);
            if (size_ <= 0) return -1;
        }
        int pos = offset_;
        int code = 0;
        for (int bit = 0; bit < width_; ++bit, ++pos)
            code |= ((group_[pos >> 3] >> (pos & 7)) & 1) << bit;
        offset_ += width_;
        return code;
    }

    Input* in_ = nullptr;
    int maxBits_ = 12;
    unsigned maxMax_ = 4096;
    int width_ = kInitBits;
    unsigned maxCode_ = 511;
    unsigned free_ = kFirst;
    bool clear_ = false;
    std::uint8_t group_[16] = {};
    int offset_ = 0;
    int size_ = 0;
    std::vector<std::uint16_t> prefix_;
    std::vector<std::uint8_t> suffix_;
    std::vector<std::uint8_t> stack_;
};

} // namespace dec
