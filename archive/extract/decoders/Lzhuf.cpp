// Adaptive Huffman LZ decoder of the LZHUF algorithm (LHA -lh1-): a 4 KB
// history that starts as spaces, 314 symbols (256 literals and the match
// lengths 3 to 60) coded by a tree that is updated after every symbol, and
// positions whose upper 6 bits come from a fixed prefix code.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "archive/core/Errors.h"
#include "archive/extract/BitReader.h"
#include "archive/extract/Window.h"

namespace dec {

namespace {

constexpr int kHistory = 4096;
constexpr int kSymbols = 314;            // 256 literals, lengths 3..60
constexpr int kNodes = 2 * kSymbols - 1; // 627
constexpr int kRoot = kNodes - 1;
constexpr std::uint16_t kRebuildAt = 0x8000;

// For each 8-bit prefix of a position: its upper 6 bits and its code
// length (1 code of 3 bits, 3 of 4, 8 of 5, 12 of 6, 24 of 7, 16 of 8).
struct PositionCodes {
    std::uint8_t upper[256];
    std::uint8_t length[256];
    constexpr PositionCodes() : upper(), length() {
        constexpr int counts[6] = {1, 3, 8, 12, 24, 16};
        int prefix = 0, value = 0;
        for (int l = 3; l <= 8; ++l)
            for (int k = 0; k < counts[l - 3]; ++k, ++value)
                for (int n = 0; n < (1 << (8 - l)); ++n, ++prefix) {
                    upper[prefix] = static_cast<std::uint8_t>(value);
                    length[prefix] = static_cast<std::uint8_t>(l);
                }
    }
};
constexpr PositionCodes kPositions;

// The adaptive code: leaves are nodes whose child is symbol + kNodes;
// internal nodes keep their left child (the right one is the next node);
// frequencies stay sorted in node order.
class AdaptiveTree {
public:
    void reset() {
        for (int i = 0; i < kSymbols; ++i) {
            freq_[i] = 1;
            child_[i] = static_cast<std::uint16_t>(i + kNodes);
            parent_[i + kNodes] = static_cast<std::uint16_t>(i);
        }
        for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
            freq_[j] = static_cast<std::uint16_t>(freq_[i] + freq_[i + 1]);
            child_[j] = static_cast<std::uint16_t>(i);
            parent_[i] = parent_[i + 1] = static_cast<std::uint16_t>(j);
        }
        freq_[kNodes] = 0xFFFF;
        parent_[kRoot] = 0;
    }

    int decode(MsbBitReader& bits) {
        unsigned c = child_[kRoot];
        while (c < kNodes) c = child_[c + bits.bits(1)];
        const int sym = static_cast<int>(c - kNodes);
        update(sym);
        return sym;
    }

private:
    // Halves the leaf frequencies and rebuilds the internal nodes in
    // frequency order.
    void rebuild() {
        int j = 0;
        for (int i = 0; i < kNodes; ++i)
            if (child_[i] >= kNodes) {
                freq_[j] = static_cast<std::uint16_t>((freq_[i] + 1) / 2);
                child_[j] = child_[i];
                ++j;
            }
        for (int i = 0, n = kSymbols; n < kNodes; i += 2, ++n) {
            const std::uint16_t f = static_cast<std::uint16_t>(freq_[i] + freq_[i + 1]);
            int k = n - 1;
            while (f < freq_[k]) --k;
            ++k;
            std::memmove(&freq_[k + 1], &freq_[k], static_cast<std::size_t>(n - k) * 2);
            std::memmove(&child_[k + 1], &child_[k], static_cast<std::size_t>(n - k) * 2);
            freq_[k] = f;
            child_[k] = static_cast<std::uint16_t>(i);
        }
        for (int i = 0; i < kNodes; ++i) {
            const unsigned k = child_[i];
            parent_[k] = static_cast<std::uint16_t>(i);
            if (k < kNodes) parent_[k + 1] = static_cast<std::uint16_t>(i);
        }
    }

    // Counts the symbol and keeps the nodes in frequency order by moving a
    // node that outgrew its neighbours past them.
    void update(int sym) {
        if (freq_[kRoot] == kRebuildAt) rebuild();
        unsigned c = parent_[sym + kNodes];
        do {
            const std::uint16_t k = ++freq_[c];
            unsigned l = c + 1;
            if (k > freq_[l]) {
                while (k > freq_[++l]) {}
                --l;
                freq_[c] = freq_[l];
                freq_[l] = k;
                const unsigned i = child_[c];
                parent_[i] = static_cast<std::uint16_t>(l);
                if (i < kNodes) parent_[i + 1] = static_cast<std::uint16_t>(l);
                const unsigned j = child_[l];
                child_[l] = static_cast<std::uint16_t>(i);
                parent_[j] = static_cast<std::uint16_t>(c);
                if (j < kNodes) parent_[j + 1] = static_cast<std::uint16_t>(c);
                child_[c] = static_cast<std::uint16_t>(j);
                c = l;
            }
        } while ((c = parent_[c]) != 0);
    }

    std::uint16_t freq_[kNodes + 1];
    std::uint16_t parent_[kNodes + kSymbols];
    std::uint16_t child_[kNodes];
};

class LzhufDecoder : public Decoder {
public:
    void decode(Input& in, Sink& out, const Params& p) override;

private:
    AdaptiveTree tree_;
};

} // namespace

void LzhufDecoder::decode(Input& in, Sink& sink, const Params& p) {
    if (p.Size == 0) {
        in.finish();
        return;
    }
    tree_.reset();
    MsbBitReader bits(in, 0);
    Window out(sink, kHistory, p.Size, ' ');
    // Running out of bytes ends the member; the CRC tells the rest.
    while (!out.full()) {
        const int sym = tree_.decode(bits);
        if (sym < 256) {
            if (bits.dry()) break;
            out.put(static_cast<std::uint8_t>(sym));
            continue;
        }
        std::uint32_t i = bits.bits(8);
        const int extra = kPositions.length[i] - 2;
        i = (i << extra) | bits.bits(extra);
        const std::size_t pos = (std::size_t{kPositions.upper[i >> extra]} << 6) | (i & 63);
        if (bits.dry()) break;
        out.copy(pos + 1, static_cast<std::size_t>(sym - 253));
    }
    out.flush();
    in.finish();
}

void registerLzhufDecoder(DecoderTable& table) {
    table.add(fmt::Codec::Lzhuf, [] { return std::unique_ptr<Decoder>(new LzhufDecoder); });
}

} // namespace dec
