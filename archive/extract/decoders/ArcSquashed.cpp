// ARC method 9: dynamic LZW up to 13 bits, no run-length stage.
#include "archive/extract/Window.h"
#include "archive/extract/decoders/ArcLzw.h"

namespace dec {

namespace {

class ArcSquashedDecoder : public Decoder {
public:
    void decode(Input& in, Sink& sink, const Params& p) override {
        Window out(sink, 1, p.Size);
        lzw_.run(
            in, 13, [&](std::uint8_t b) { out.put(b); }, [&] { return out.full(); });
        out.flush();
        in.finish();
    }

private:
    ArcDynamicLzw lzw_;
};

} // namespace

void registerArcSquashedDecoder(DecoderTable& table) {
    table.add(fmt::Codec::ArcSquashed,
              [] { return std::unique_ptr<Decoder>(new ArcSquashedDecoder); });
}

} // namespace dec
