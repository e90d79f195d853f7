// LArc -lz5-: byte-aligned LZSS over a 4 KB ring.  A flag byte (least
// significant bit first) tells for each of the next eight items whether it
// is a literal byte or a match of two bytes: a 12-bit ring position and a
// 4-bit length (3 to 18).  The ring starts with a fixed pattern that
// matches may copy from: each byte value 13 times, the values ascending,
// then descending, 128 zeros, spaces up to the write position 4078 and
// zeros behind it.
#include <cstdint>
#include <cstring>

#include "archive/core/Errors.h"
#include "archive/extract/Window.h"

namespace dec {

namespace {

constexpr std::size_t kRing = 4096;
constexpr std::size_t kStart = kRing - 18;

struct InitialRing {
    std::uint8_t bytes[kRing];
    constexpr InitialRing() : bytes() {
        std::size_t p = 0;
        for (int i = 0; i < 256; ++i)
            for (int k = 0; k < 13; ++k) bytes[p++] = static_cast<std::uint8_t>(i);
        for (int i = 0; i < 256; ++i) bytes[p++] = static_cast<std::uint8_t>(i);
        for (int i = 255; i >= 0; --i) bytes[p++] = static_cast<std::uint8_t>(i);
        for (int i = 0; i < 128; ++i) bytes[p++] = 0;
        while (p < kStart) bytes[p++] = ' ';
    }
};
constexpr InitialRing kInitial;

class Lz5Decoder : public Decoder {
public:
    void decode(Input& in, Sink& sink, const Params& p) override {
        if (p.Size == 0) {
            in.finish();
            return;
        }
        std::uint8_t ring[kRing];
        std::memcpy(ring, kInitial.bytes, kRing);
        std::size_t r = kStart;
        Window out(sink, 1, p.Size);
        auto emit = [&](std::uint8_t c) {
            ring[r] = c;
            r = (r + 1) & (kRing - 1);
            out.put(c);
        };
        unsigned flags = 0;
        while (!out.full()) {
            flags >>= 1;
            if (!(flags & 0x100)) {
                const int f = in.getByte();
                if (f < 0) break;
                flags = static_cast<unsigned>(f) | 0xFF00;
            }
            const int b1 = in.getByte();
            if (b1 < 0) break;
            if (flags & 1) {
                emit(static_cast<std::uint8_t>(b1));
                continue;
            }
            const int b2 = in.getByte();
            if (b2 < 0) break;
            const std::size_t pos =
                static_cast<std::size_t>(b1) | (static_cast<std::size_t>(b2 & 0xF0) << 4);
            const std::size_t len = static_cast<std::size_t>(b2 & 0x0F) + 3;
            for (std::size_t k = 0; k < len; ++k) emit(ring[(pos + k) & (kRing - 1)]);
        }
        out.flush();
        in.finish();
    }
};

} // namespace

void registerLz5Decoder(DecoderTable& table) {
    table.add(fmt::Codec::Lz5, [] { return std::unique_ptr<Decoder>(new Lz5Decoder); });
}

} // namespace dec
