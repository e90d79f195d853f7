// Shannon-Fano trees over a 4 or 8 KB window (ZIP method 6).
#include <algorithm>
#include <cstdint>
#include <vector>

#include "archive/core/Errors.h"
#include "archive/extract/BitReader.h"
#include "archive/extract/Window.h"

namespace dec {

namespace {

constexpr std::uint16_t kEmpty = 0xFFFF;

// A Shannon-Fano tree: leaves are the symbols 0..N-1, the root is node
// 2N-1 and internal nodes are numbered downward from 2N-2.
class SfTree {
public:
    void read(LsbBitReader& bits, int symbols) {
        n_ = symbols;
        std::vector<std::uint8_t> lengths;
        lengths.reserve(static_cast<std::size_t>(symbols));
        int descBytes = static_cast<int>(bits.bits(8)) + 1;
        for (int i = 0; i < descBytes; ++i) {
            std::uint32_t d = bits.bits(8);
            int count = static_cast<int>(d >> 4) + 1;
            int len = static_cast<int>(d & 0x0F) + 1;
            if (static_cast<int>(lengths.size()) + count > symbols) fail(err::BadBlock);
            lengths.insert(lengths.end(), static_cast<std::size_t>(count),
                           static_cast<std::uint8_t>(len));
        }
        // The description must give every symbol of the tree its length.
        if (static_cast<int>(lengths.size()) != symbols) fail(err::BadBlock);

        std::vector<int> order(static_cast<std::size_t>(symbols));
        for (int i = 0; i < symbols; ++i) order[static_cast<std::size_t>(i)] = i;
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return lengths[static_cast<std::size_t>(a)] < lengths[static_cast<std::size_t>(b)];
        });

        child_.assign(static_cast<std::size_t>(2 * symbols) * 2, kEmpty);
        nextNode_ = 2 * symbols - 2;
        std::uint32_t code = 0, increment = 0;
        int lastLen = 0;
        for (int i = symbols - 1; i >= 0; --i) {
            int sym = order[static_cast<std::size_t>(i)];
            int len = lengths[static_cast<std::size_t>(sym)];
            code = (code + increment) & 0xFFFF;
            if (len != lastLen) {
                lastLen = len;
                increment = 1u << (16 - len);
            }
            insert(sym, code >> (16 - len), len);
        }
    }

    int decode(LsbBitReader& bits) const {
        int node = 2 * n_ - 1;
        while (node >= n_) {
            std::uint16_t next = child_[static_cast<std::size_t>(node) * 2 + bits.bits(1)];
            if (next == kEmpty) fail(err::AmbiguousTree);
            node = next;
        }
        return node;
    }

private:
    void insert(int sym, std::uint32_t code, int len) {
        int node = 2 * n_ - 1;
        for (int b = len - 1; b >= 0; --b) {
            std::size_t slot = static_cast<std::size_t>(node) * 2 + ((code >> b) & 1);
            if (b == 0) {
                if (child_[slot] != kEmpty) fail(err::AmbiguousTree);
                child_[slot] = static_cast<std::uint16_t>(sym);
                return;
            }
            std::uint16_t next = child_[slot];
            if (next == kEmpty) {
                if (nextNode_ < n_) fail(err::BadBlock);
                next = static_cast<std::uint16_t>(nextNode_--);
                child_[slot] = next;
            } else if (next < n_) {
                fail(err::AmbiguousTree);
            }
            node = next;
        }
    }

    int n_ = 0;
    int nextNode_ = 0;
    std::vector<std::uint16_t> child_; // two per node
};

class ExplodeDecoder : public Decoder {
public:
    void decode(Input& in, Sink& out, const Params& p) override;
};

} // namespace

// Flag bit 1 chooses the 8 KB window, bit 2 the literal tree.
void ExplodeDecoder::decode(Input& in, Sink& sink, const Params& p) {
    const std::uint16_t flags = p.Flags;
    const std::uint64_t unpackedSize = p.Size;
    const bool bigWindow = flags & 2;
    const bool literalTree = flags & 4;
    const int distLowBits = bigWindow ? 7 : 6;
    const std::uint32_t windowMask = bigWindow ? 8191 : 4095;
    const std::uint32_t minMatch = literalTree ? 3 : 2;

    // Nothing to produce: an empty member need not carry any tables.
    if (unpackedSize == 0) {
        in.finish();
        return;
    }
    LsbBitReader bits(in);
    SfTree literals, lengths, distances;
    if (literalTree) literals.read(bits, 256);
    lengths.read(bits, 64);
    distances.read(bits, 64);

    // The window starts cleared; a final match running past the stated size
    // is cut when the window is flushed.
    Window out(sink, windowMask + 1, unpackedSize);
    // A stream that runs dry ends the member; the CRC tells the rest.
    while (!out.full() && !bits.dry()) {
        if (bits.bits(1)) {
            std::uint8_t b = literalTree ? static_cast<std::uint8_t>(literals.decode(bits))
                                         : static_cast<std::uint8_t>(bits.bits(8));
            if (bits.dry()) break;
            out.put(b);
        } else {
            std::uint32_t dist = bits.bits(distLowBits);
            dist |= static_cast<std::uint32_t>(distances.decode(bits)) << distLowBits;
            dist &= windowMask;
            std::uint32_t len = static_cast<std::uint32_t>(lengths.decode(bits));
            if (len == 63) len += bits.bits(8);
            len += minMatch;
            if (bits.dry()) break;
            out.copy(dist + 1, len);
        }
    }
    out.flush();
    in.finish();
}

void registerExplodeDecoder(DecoderTable& table) {
    table.add(fmt::Codec::Explode, [] { return std::unique_ptr<Decoder>(new ExplodeDecoder); });
}

} // namespace dec
