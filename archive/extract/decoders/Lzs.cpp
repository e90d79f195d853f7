// LArc -lzs-: a 2 KB ring that starts as spaces with its write position at
// 2031; a 1 bit before each item chooses a literal byte or a match of an
// 11-bit ring position and a 4-bit length (2 to 17).
#include <cstdint>

#include "archive/core/Errors.h"
#include "archive/extract/BitReader.h"
#include "archive/extract/Window.h"

namespace dec {

namespace {

constexpr std::size_t kRing = 2048;
constexpr std::size_t kStart = kRing - 17;

class LzsDecoder : public Decoder {
public:
    void decode(Input& in, Sink& sink, const Params& p) override {
        if (p.Size == 0) {
            in.finish();
            return;
        }
        std::uint8_t ring[kRing];
        std::fill(ring, ring + kRing, ' ');
        std::size_t r = kStart;
        MsbBitReader bits(in, 0);
        // Matches name ring positions, so the ring is kept as it is; the
        // window only gathers the output.
        Window out(sink, 1, p.Size);
        auto emit = [&](std::uint8_t c) {
            ring[r] = c;
            r = (r + 1) & (kRing - 1);
            out.put(c);
        };
        while (!out.full()) {
            if (bits.bits(1)) {
                const auto c = static_cast<std::uint8_t>(bits.bits(8));
                if (bits.dry()) break;
                emit(c);
                continue;
            }
            const std::size_t pos = bits.bits(11);
            const std::size_t len = bits.bits(4) + 2;
            if (bits.dry()) break;
            for (std::size_t k = 0; k < len; ++k) emit(ring[(pos + k) & (kRing - 1)]);
        }
        out.flush();
        in.finish();
    }
};

} // namespace

void registerLzsDecoder(DecoderTable& table) {
    table.add(fmt::Codec::Lzs, [] { return std::unique_ptr<Decoder>(new LzsDecoder); });
}

} // namespace dec
