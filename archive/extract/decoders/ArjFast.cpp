// ARJ method 4: LZ77 without Huffman codes.  Lengths and positions are
// written in a unary-prefixed variable width (most significant bit first):
// up to 7 one-bits widen a length field from 0 to 7 bits, up to 4 widen a
// position field from 9 to 13 bits, each one-bit adding the next power of
// two to the base.  A length of 0 is a literal byte.
#include <cstdint>

#include "archive/core/Errors.h"
#include "archive/extract/BitReader.h"
#include "archive/extract/Window.h"

namespace dec {

namespace {

// The farthest position: 512 + 1024 + 2048 + 4096 + 8191, plus one.
constexpr std::size_t kHistory = 16384;

class ArjFastDecoder : public Decoder {
public:
    void decode(Input& in, Sink& sink, const Params& p) override {
        if (p.Size == 0) {
            in.finish();
            return;
        }
        MsbBitReader bits(in, 0);
        Window out(sink, kHistory, p.Size);
        // Running out of bytes ends the member; the CRC tells the rest.
        while (!out.full()) {
            bits.need(24);
            std::uint32_t base = 0;
            int width = 0;
            for (std::uint32_t power = 1; width < 7 && bits.bits(1); ++width, power <<= 1)
                base += power;
            const std::uint32_t len = base + bits.bits(width);
            if (len == 0) {
                const auto c = static_cast<std::uint8_t>(bits.bits(8));
                if (bits.dry()) break;
                out.put(c);
                continue;
            }
            bits.need(24);
            base = 0;
            width = 9;
            for (std::uint32_t power = 1u << 9; width < 13 && bits.bits(1); ++width, power <<= 1)
                base += power;
            const std::uint32_t pos = base + bits.bits(width);
            if (bits.dry()) break;
            out.copy(pos + 1, len + 2);
        }
        out.flush();
        in.finish();
    }
};

} // namespace

void registerArjFastDecoder(DecoderTable& table) {
    table.add(fmt::Codec::ArjFast, [] { return std::unique_ptr<Decoder>(new ArjFastDecoder); });
}

} // namespace dec
