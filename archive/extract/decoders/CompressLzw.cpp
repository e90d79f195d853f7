// LZW of compress (.Z): codes of 9 up to 9..16 bits, least significant bit
// first, widening as the table fills; in block mode code 256 clears the
// table.  The compressor writes codes in groups of eight: when the width
// changes or the table is cleared, the rest of the current group is
// padding and is stepped over.
#include <algorithm>
#include <memory>
#include <vector>

#include "archive/core/Errors.h"
#include "archive/extract/BitReader.h"
#include "archive/format/GzipFormat.h"

namespace dec {

namespace {

constexpr int kClear = 256;
constexpr std::size_t kMaxCodes = 1 << 16;
// Output is handed on in chunks of about this size; the buffer also holds
// the longest string a code can stand for.
constexpr std::size_t kChunk = 1 << 16;

struct Tables {
    std::uint16_t prefix[kMaxCodes];
    std::uint8_t suffix[kMaxCodes];
    std::uint8_t first[kMaxCodes];
    std::uint16_t length[kMaxCodes]; // of the string, at most 2^16 - 256
};

class CompressLzwDecoder : public Decoder {
public:
    CompressLzwDecoder() {
        for (int c = 0; c < 256; ++c) {
            t_->suffix[c] = t_->first[c] = static_cast<std::uint8_t>(c);
            t_->length[c] = 1;
        }
    }
    void decode(Input& in, Sink& out, const Params& p) override;

private:
    std::unique_ptr<Tables> t_ = std::make_unique<Tables>();
    std::vector<std::uint8_t> buf_ = std::vector<std::uint8_t>(kChunk + kMaxCodes);
};

// Steps over the rest of the group of eight codes of `width` bits in which
// the `count`th code of this width ended.
void skipGroupRest(LsbBitReader& bits, unsigned count, int width) {
    int skip = static_cast<int>((8 - count % 8) % 8) * width;
    while (skip > 0) {
        const int d = std::min(skip, 32);
        bits.need(d);
        bits.drop(d);
        skip -= d;
    }
}

void CompressLzwDecoder::decode(Input& in, Sink& out, const Params& p) {
    const int maxBits = p.Flags & gz::kCompressBitsMask;
    const bool blockMode = p.Flags & gz::kCompressBlockMode;
    if (maxBits > gz::kCompressMaxBits) fail(err::UnsupportedMethod);
    if (maxBits < gz::kCompressMinBits) fail(err::BadBlock);
    const std::uint32_t maxMax = 1u << maxBits;

    Tables& t = *t_;
    std::uint8_t* const buf = buf_.data();
    std::size_t pos = 0;
    LsbBitReader bits(in, 0);
    int width = gz::kCompressMinBits;
    // The table widens when the next free code no longer fits; at the
    // widest, the table simply stops growing.
    auto limitOf = [&](int w) { return w == maxBits ? maxMax : (1u << w) - 1; };
    std::uint32_t maxCode = limitOf(width);
    std::uint32_t next = blockMode ? 257 : 256;
    unsigned count = 0; // codes read at the current width
    int old = -1;
    // What was decoded before a bad code still goes out.
    auto bad = [&](int code) {
        writeOrFail(out, buf, pos);
        fail(code);
    };

    for (;;) {
        if (next > maxCode) {
            skipGroupRest(bits, count, width);
            ++width;
            maxCode = limitOf(width);
            count = 0;
        }
        if (!bits.need(width)) break;
        const std::uint32_t code = bits.peek(width);
        bits.drop(width);
        ++count;

        if (pos >= kChunk) {
            writeOrFail(out, buf, pos);
            pos = 0;
        }
        if (old < 0) {
            if (code > 255) bad(err::InvalidCode);
            buf[pos++] = static_cast<std::uint8_t>(code);
            old = static_cast<int>(code);
            continue;
        }
        if (blockMode && code == kClear) {
            skipGroupRest(bits, count, width);
            width = gz::kCompressMinBits;
            maxCode = limitOf(width);
            next = 257;
            count = 0;
            old = -1;
            continue;
        }
        std::uint32_t c = code;
        if (code >= next) {
            // The code being defined: the previous string and its own first byte.
            if (code > next) bad(err::InvalidCode);
            c = static_cast<std::uint32_t>(old);
        }
        const std::uint8_t firstByte = t.first[c];
        const std::size_t len = t.length[c];
        std::uint8_t* w = buf + pos + len;
        std::uint32_t k = c;
        while (k > 255) {
            *--w = t.suffix[k];
            k = t.prefix[k];
        }
        *--w = static_cast<std::uint8_t>(k);
        pos += len;
        if (code >= next) buf[pos++] = firstByte;

        if (next < maxMax) {
            t.prefix[next] = static_cast<std::uint16_t>(old);
            t.suffix[next] = firstByte;
            t.first[next] = t.first[old];
            t.length[next] = static_cast<std::uint16_t>(t.length[old] + 1);
            ++next;
        }
        old = static_cast<int>(code);
    }
    writeOrFail(out, buf, pos);
    in.finish();
}

} // namespace

void registerCompressLzwDecoder(DecoderTable& table) {
    table.add(fmt::Codec::CompressLzw,
              [] { return std::unique_ptr<Decoder>(new CompressLzwDecoder); });
}

} // namespace dec
