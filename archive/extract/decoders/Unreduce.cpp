#include <cstdint>
#include <cstring>

// Probabilistic follower sets with an LZ expander (ZIP methods 2 to 5).
#include "archive/core/Errors.h"
#include "archive/extract/BitReader.h"
#include "archive/extract/Window.h"

namespace dec {

namespace {

constexpr std::uint8_t kMarker = 144;

int followerBits(int n) {
    if (n <= 2) return 1;
    if (n <= 4) return 2;
    if (n <= 8) return 3;
    if (n <= 16) return 4;
    return 5;
}

constexpr std::size_t kWindow = 4096;

class UnreduceDecoder : public Decoder {
public:
    void decode(Input& in, Sink& out, const Params& p) override;
};

} // namespace

void UnreduceDecoder::decode(Input& in, Sink& sink, const Params& p) {
    const int factor = p.Variant;
    const std::uint64_t unpackedSize = p.Size;
    if (factor < 1 || factor > 4) fail(err::UnsupportedMethod);
    static constexpr std::uint8_t kMask[5] = {0, 0x7F, 0x3F, 0x1F, 0x0F};
    const std::uint8_t mask = kMask[factor];

    // Nothing to produce: an empty member need not carry any tables.
    if (unpackedSize == 0) {
        in.finish();
        return;
    }
    std::uint8_t followers[256][32];
    std::uint8_t counts[256];
    std::memset(followers, 0, sizeof followers);

    LsbBitReader bits(in);
    for (int c = 255; c >= 0; --c) {
        std::uint32_t n = bits.bits(6);
        // Sets hold at most 32 followers; a larger count is a damaged stream.
        if (n > 32) fail(err::BadBlock);
        counts[c] = static_cast<std::uint8_t>(n);
        for (std::uint32_t i = 0; i < n; ++i)
            followers[c][i] = static_cast<std::uint8_t>(bits.bits(8));
    }

    // The window starts cleared; bytes past the stated size are cut when
    // the window is flushed.
    Window out(sink, kWindow, unpackedSize);

    int state = 0;
    std::uint32_t v = 0, len = 0;
    std::uint8_t last = 0;
    while (!out.full()) {
        std::uint8_t byte;
        int n = counts[last];
        if (n == 0) {
            if (!bits.need(8)) break;
            byte = static_cast<std::uint8_t>(bits.bits(8));
        } else {
            if (!bits.need(1)) break;
            if (bits.bits(1)) {
                if (!bits.need(8)) break;
                byte = static_cast<std::uint8_t>(bits.bits(8));
            } else {
                int w = followerBits(n);
                if (!bits.need(w)) break;
                byte = followers[last][bits.bits(w)];
            }
        }
        last = byte;

        switch (state) {
        case 0:
            if (byte != kMarker)
                out.put(byte);
            else
                state = 1;
            break;
        case 1:
            if (byte == 0) {
                out.put(kMarker);
                state = 0;
            } else {
                v = byte;
                len = byte & mask;
                state = len == mask ? 2 : 3;
            }
            break;
        case 2:
            len += byte;
            state = 3;
            break;
        default: {
            std::uint32_t dist = ((v >> (8 - factor)) << 8) + byte + 1;
            out.copy(dist, len + 3);
            state = 0;
            break;
        }
        }
    }
    out.flush();
    in.finish();
}

void registerUnreduceDecoder(DecoderTable& table) {
    table.add(fmt::Codec::Unreduce, [] { return std::unique_ptr<Decoder>(new UnreduceDecoder); });
}

} // namespace dec
