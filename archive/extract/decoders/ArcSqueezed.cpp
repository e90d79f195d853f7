// ARC method 4: a Huffman tree stored in front of the data (a count, then
// two signed 16-bit children per node: a node number, or -(value + 1) for
// a leaf), bits taken least significant first, value 256 ending the data;
// the decoded bytes then go through the run-length stage.
#include <cstdint>
#include <vector>

#include "archive/core/Errors.h"
#include "archive/extract/BitReader.h"
#include "archive/extract/decoders/ArcRle.h"

namespace dec {

namespace {

constexpr int kMaxNodes = 256;
constexpr int kEnd = 256;

class ArcSqueezedDecoder : public Decoder {
public:
    void decode(Input& in, Sink& sink, const Params& p) override {
        auto word = [&]() -> int {
            const int lo = in.getByte();
            const int hi = in.getByte();
            if (lo < 0 || hi < 0) return -1;
            return lo | hi << 8;
        };
        const int count = word();
        if (count > kMaxNodes) fail(err::InvalidDecodeTree);
        std::int16_t child[kMaxNodes][2];
        // No tree at all decodes nothing: node 0 ends the data.
        child[0][0] = child[0][1] = -(kEnd + 1);
        for (int i = 0; i < count; ++i)
            for (int side = 0; side < 2; ++side) {
                const int v = word();
                if (v < 0) fail(err::InvalidDecodeTree);
                child[i][side] = static_cast<std::int16_t>(v);
            }
        Window out(sink, 1, p.Size);
        ArcRle rle(out);
        LsbBitReader bits(in, 0);
        const int nodes = count > 0 ? count : 1;
        int node = 0;
        while (!out.full()) {
            const int next = child[node][bits.bits(1)];
            if (bits.dry()) break;
            if (next >= 0) {
                if (next >= nodes) fail(err::InvalidDecodeTree);
                node = next;
                continue;
            }
            const int value = -(next + 1);
            if (value == kEnd) break;
            if (value > kEnd) fail(err::InvalidDecodeTree);
            rle.put(static_cast<std::uint8_t>(value));
            node = 0;
        }
        out.flush();
        in.finish();
    }
};

} // namespace

void registerArcSqueezedDecoder(DecoderTable& table) {
    table.add(fmt::Codec::ArcSqueezed,
              [] { return std::unique_ptr<Decoder>(new ArcSqueezedDecoder); });
}

} // namespace dec
