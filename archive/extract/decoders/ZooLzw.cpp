// ZOO method 1: LZW with codes of 9 to 13 bits, least significant bit
// first in one continuous stream.  256 clears the table (the next code is a
// plain byte), 257 ends the data; the table has 8192 entries, so no string
// is longer than 8192 - 256 bytes, which is what the stack holds.
#include <cstdint>
#include <vector>

#include "archive/core/Errors.h"
#include "archive/extract/BitReader.h"
#include "archive/extract/Window.h"

namespace dec {

namespace {

constexpr int kMaxBits = 13;
constexpr unsigned kEntries = 1u << kMaxBits;
constexpr unsigned kClear = 256;
constexpr unsigned kEnd = 257;
constexpr unsigned kFirstFree = 258;

class ZooLzwDecoder : public Decoder {
public:
    void decode(Input& in, Sink& sink, const Params& p) override {
        Window out(sink, 1, p.Size);
        LsbBitReader bits(in, 0);
        int width = 9;
        unsigned maxCode = 512;
        unsigned free = kFirstFree;
        unsigned old = 0;
        std::uint8_t last = 0;
        while (!out.full()) {
            unsigned code = bits.bits(width);
            if (bits.dry() || code == kEnd) break;
            if (code == kClear) {
                width = 9;
                maxCode = 512;
                free = kFirstFree;
                code = bits.bits(width);
                if (bits.dry() || code == kEnd) break;
                // After a clear only a plain byte can follow.
                if (code > 255) fail(err::BadBlock);
                old = code;
                last = static_cast<std::uint8_t>(code);
                out.put(last);
                continue;
            }
            // Every string's entries point to lower ones, so its walk ends;
            // a code beyond the next free one would break that.
            if (code > free) fail(err::BadBlock);
            const unsigned read = code;
            std::size_t sp = 0;
            if (code == free) {
                stack_[sp++] = last;
                code = old;
            }
            while (code > 255) {
                stack_[sp++] = suffix_[code];
                code = prefix_[code];
            }
            last = static_cast<std::uint8_t>(code);
            stack_[sp++] = last;
            while (sp) out.put(stack_[--sp]);
            if (free < kEntries) {
                suffix_[free] = last;
                prefix_[free] = static_cast<std::uint16_t>(old);
                if (++free >= maxCode && width < kMaxBits) {
                    ++width;
                    maxCode <<= 1;
                }
            }
            old = read;
        }
        out.flush();
        in.finish();
    }

private:
    std::uint16_t prefix_[kEntries] = {};
    std::uint8_t suffix_[kEntries] = {};
    std::uint8_t stack_[kEntries + 1] = {};
};

} // namespace

void registerZooLzwDecoder(DecoderTable& table) {
    table.add(fmt::Codec::ZooLzw, [] { return std::unique_ptr<Decoder>(new ZooLzwDecoder); });
}

} // namespace dec
