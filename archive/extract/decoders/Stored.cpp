// The block copier of the "stored" method of every family.
#include "archive/extract/Decoder.h"

namespace dec {

namespace {

class StoredDecoder : public Decoder {
public:
    void decode(Input& in, Sink& out, const Params&) override {
        const std::uint8_t* data;
        while (std::size_t n = in.takeBlock(data)) writeOrFail(out, data, n);
    }
};

} // namespace

void registerStoredDecoder(DecoderTable& table) {
    table.add(fmt::Codec::Stored, [] { return std::unique_ptr<Decoder>(new StoredDecoder); });
}

} // namespace dec
