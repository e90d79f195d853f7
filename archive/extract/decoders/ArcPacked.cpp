// ARC method 3: run-length coding alone.
#include "archive/extract/decoders/ArcRle.h"

namespace dec {

namespace {

class ArcPackedDecoder : public Decoder {
public:
    void decode(Input& in, Sink& sink, const Params& p) override {
        Window out(sink, 1, p.Size);
        ArcRle rle(out);
        const std::uint8_t* data;
        while (!out.full()) {
            const std::size_t n = in.takeBlock(data, false);
            if (n == 0) break;
            for (std::size_t i = 0; i < n && !out.full(); ++i) rle.put(data[i]);
        }
        out.flush();
        in.finish();
    }
};

} // namespace

void registerArcPackedDecoder(DecoderTable& table) {
    table.add(fmt::Codec::ArcPacked, [] { return std::unique_ptr<Decoder>(new ArcPackedDecoder); });
}

} // namespace dec
